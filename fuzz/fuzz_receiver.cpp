// The receiver of one mode fed arbitrary characters, once whole and once cut into
// chunks chosen by the input. Built once per mode (KV_FUZZ_RECEIVER).
//
// Input: five configuration bytes, then the characters on the line.
//   [0] address (master: address to the slave; slave: own address)
//   [1] ID      (master: ID to the slave;      slave: own ID)
//   [2] mode-specific options (below)
//   [3] mode-specific options (below)
//   [4] how the line is cut into chunks
//
// Beyond "no crash" every run checks: an accepted frame passes the CRC check
// (computed bit by bit here), the receive count stays within 8192, a master
// reports an answer only while its transaction waits, slaves accept only what
// is addressed to them and write only well-formed answers, and the whole and the
// chunked run produce the same events, frames and writes.
#include "FuzzSupport.h"

#include <algorithm>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#define KV_ASCII_MASTER 1
#define KV_BINARY_MASTER 2
#define KV_ASCII_SLAVE 3
#define KV_BINARY_SLAVE 4
#define KV_DIAGNOSTIC 5
#define KV_RAW 6

#ifndef KV_FUZZ_RECEIVER
#error "KV_FUZZ_RECEIVER selects the mode under test"
#endif

using fuzz::Check;
using namespace mbcore;

namespace {

struct Config {
    uint8_t address = 0;
    uint8_t id = 0;
    uint8_t optA = 0;
    uint8_t optB = 0;
    uint8_t split = 0;
};

struct Trace {
    std::vector<std::string> events;
    std::vector<std::string> writes;
    std::string rawBytes; // byte mode with a handler: what the handler was shown, in order
    bool operator==(const Trace &o) const
    {
        return events == o.events && writes == o.writes && rawBytes == o.rawBytes;
    }
};

std::string Describe(const Trace &t)
{
    std::string s;
    for (const auto &e : t.events)
        s += "  " + e + "\n";
    for (const auto &w : t.writes)
        s += "  W:" + fuzz::Hex(w) + "\n";
    return s;
}

// An ASCII answer written by a slave: "S", hex pairs, ";", a good CRC.
[[maybe_unused]] void CheckAsciiAnswer(const std::string &w, uint8_t ownAddress, uint8_t command)
{
    Check(w.size() >= 14 && w.front() == 'S' && w.back() == ';' && (w.size() % 2) == 0, "malformed ASCII answer",
          w);
    std::vector<uint8_t> bytes;
    for (size_t i = 1; i + 1 < w.size(); i += 2) {
        auto digit = [&w](char c) {
            Check((c >= '0' && c <= '9') || (c >= 'A' && c <= 'F'), "non-hex digit in an ASCII answer", w);
            return c <= '9' ? c - '0' : c - 'A' + 10;
        };
        bytes.push_back(uint8_t(digit(w[i]) * 16 + digit(w[i + 1])));
    }
    const uint16_t crc = fuzz::BitwiseCrc16(bytes.data(), bytes.size() - 2);
    Check(bytes[bytes.size() - 2] == (crc & 0xFF) && bytes.back() == (crc >> 8), "ASCII answer with a bad CRC", w);
    Check(bytes[0] == ownAddress, "ASCII answer from another address", w);
    Check(bytes[2] == command, "ASCII answer does not echo the command", w);
}

// A binary answer: nibble pairs with start and end marks, answer bit set, good CRC.
[[maybe_unused]] void CheckBinaryAnswer(const std::string &w, uint8_t ownAddress)
{
    Check(w.size() >= 10 && (w.size() % 2) == 0, "malformed binary answer", fuzz::Hex(w));
    std::vector<uint8_t> bytes;
    for (size_t i = 0; i < w.size(); i += 2) {
        const uint8_t lo = uint8_t(w[i]), hi = uint8_t(w[i + 1]);
        const uint8_t marker = i == 0 ? 0xC0 : (i + 2 == w.size() ? 0x60 : 0x40);
        Check(!(lo & 0xF0) && (hi & 0xF0) == marker, "binary answer with wrong marks", fuzz::Hex(w));
        bytes.push_back(uint8_t((hi & 0x0F) << 4 | lo));
    }
    const uint16_t crc = fuzz::BitwiseCrc16(bytes.data(), bytes.size() - 2);
    Check(bytes[bytes.size() - 2] == (crc & 0xFF) && bytes.back() == (crc >> 8), "binary answer with a bad CRC",
          fuzz::Hex(w));
    Check(bytes[0] == (0x80 | (ownAddress & 0x0F)), "binary answer with a wrong address byte", fuzz::Hex(w));
}

Trace Run(const Config &cfg, const std::string &line, bool whole)
{
    Trace t;
    std::function<void(const std::string &)> onWrite;
    fuzz::TEngineForRun run;
    TMBEngine &mb = run.engine;
    bool inDecode = false;

#if KV_FUZZ_RECEIVER == KV_ASCII_MASTER || KV_FUZZ_RECEIVER == KV_BINARY_MASTER
    const bool ascii = KV_FUZZ_RECEIVER == KV_ASCII_MASTER;
    fuzz::Prepare(mb, ascii ? modeASCIIMaster : modeMaster, &t.writes);
    fuzz::Open(mb);
    // optA: the command; optB: bit 0 chains the next transaction from the end
    // event, bit 1 sets the query mode, bits 2..7 the length of the query payload.
    const bool chain = cfg.optB & 1;
    int restarts = 0;
    bool waiting = false;
    auto start = [&](uint8_t command) {
        mb.setMBMasterAddressToSlave(cfg.address);
        mb.setMBMasterIDToSlave(cfg.id);
        mb.setMBMasterCommandToSlave(command);
        mb.setMBMasterQueryMode(cfg.optB & 2);
        mb.MBClearTxData();
        for (int i = 0; i < (cfg.optB >> 2); ++i)
            mb.MBPutByte(uint8_t(i));
        waiting = mb.MBMasterAddressToSlave() != 0;
        mb.MBMasterStart(0);
    };
    mb.OnMBMasterEndOfEvent = [&](TMBStatus status, const std::string &text) {
        t.events.push_back("end:" + std::to_string(status) + ":" + text);
        if (!inDecode)
            return; // the immediate end of a broadcast, not an answer
        Check(waiting, "a master reported an answer while no transaction waited");
        Check(!Core(mb).m_awaitingAnswer, "still awaiting after the answer was reported");
        waiting = false;
        Check(status == stOK || status == stSlaveError, "an answer ended with a non-answer status");
        fuzz::CheckHeldFrame(mb, ascii ? 6 : 5);
        const uint8_t *rx = Core(mb).m_RxBuffer.data();
        const int n = mb.MBNumberOfReceivedBytes();
        t.events.back() += ":" + fuzz::Hex(rx, n);
        if (ascii) {
            Check(rx[0] == mb.MBMasterAddressToSlave(), "ASCII answer from another address accepted");
            Check(rx[2] == Core(mb).m_TXDataBuffer[2], "ASCII answer to another command accepted");
            const bool idError = mb.MBMasterIDToSlave() != 0 && rx[1] != mb.MBMasterIDToSlave();
            const bool slaveError = idError || rx[3] == 254 || rx[3] == 255;
            Check(slaveError == (status == stSlaveError), "ASCII status does not follow the status byte");
        } else {
            Check((rx[0] & 0x80) && (rx[0] & 0x0F) == mb.MBMasterAddressToSlave(),
                  "binary answer from another address accepted");
            Check((rx[2] > 128) == (status == stSlaveError), "binary status does not follow the status byte");
        }
        if (chain && restarts < 40) {
            ++restarts;
            start(uint8_t(cfg.optA + restarts));
        }
    };
    mb.OnMBStatusNowChanged = [&](TMBStatusNow now, const std::string &) {
        t.events.push_back("now:" + std::to_string(now));
    };
    start(cfg.optA);

#elif KV_FUZZ_RECEIVER == KV_ASCII_SLAVE || KV_FUZZ_RECEIVER == KV_BINARY_SLAVE
    const bool ascii = KV_FUZZ_RECEIVER == KV_ASCII_SLAVE;
    // optA: bits 0..3 extra answer bytes, bit 4 the handler answers "unknown
    // command", bit 5 delays the answer, bit 6 switches the watchdog off.
    // optB: bit 0 assigns the command handler.
    fuzz::Prepare(mb, ascii ? modeASCIISlave : modeSlave, &t.writes, &onWrite);
    mb.setMBSlaveOwnAddress(cfg.address);
    mb.setMBSlaveID(cfg.id);
    mb.setMBSlaveDelayTime((cfg.optA & 0x20) ? 10 : 0);
    mb.setMBASCIISlaveTimeOut((cfg.optA & 0x40) ? 0 : 1000);
    fuzz::Open(mb);
    const uint8_t own = mb.MBSlaveOwnAddress();
    // Every write is an answer to the request held in the frame area.
    onWrite = [&](const std::string &w) {
        if (ascii)
            CheckAsciiAnswer(w, own, Core(mb).m_RXDataBuffer[2]);
        else
            CheckBinaryAnswer(w, own);
    };
    auto addressedToMe = [&](uint8_t a) {
        if (ascii)
            return a == own || a == 0;
        return !(a & 0x80) && ((a & 0x0F) == (own & 0x0F) || (a & 0x0F) == 0);
    };
    mb.OnMBStatusNowChanged = [&](TMBStatusNow now, const std::string &) {
        t.events.push_back("now:" + std::to_string(now));
        if (now == stnReceivedCommand) {
            fuzz::CheckHeldFrame(mb, ascii ? 6 : 5);
            Check(addressedToMe(Core(mb).m_RxBuffer[0]), "a slave accepted a request for another address");
            t.events.back() += ":" + fuzz::Hex(Core(mb).m_RxBuffer.data(), mb.MBNumberOfReceivedBytes());
        }
    };
    if (cfg.optB & 1) {
        mb.OnMBSlaveReceivedCommand = [&](uint8_t command, bool queryMode, uint16_t received) {
            t.events.push_back("cmd:" + std::to_string(command) + ":" + std::to_string(queryMode) + ":" +
                               std::to_string(received));
            Check(received == mb.MBReceivedDataNumber(), "handler told another payload length");
            // Echo the request and pad it: the answer is built inside the handler.
            for (int i = 0; i < std::min<int>(received, 64); ++i)
                mb.MBPutByte(mb.MBGetByte());
            for (int i = 0; i < (cfg.optA & 0x0F); ++i)
                mb.MBPutByte(uint8_t(0xA0 + i));
            if (cfg.optA & 0x10)
                mb.setMBSlaveErrorCode(254);
        };
    }

#elif KV_FUZZ_RECEIVER == KV_DIAGNOSTIC
    fuzz::Prepare(mb, modeDiagnostic, &t.writes);
    fuzz::Open(mb);
    mb.OnMBDiagnosticReceivedAFrame = [&](uint16_t received) {
        fuzz::CheckHeldFrame(mb, 5);
        t.events.push_back("diag:" + std::to_string(received) + ":" +
                           fuzz::Hex(Core(mb).m_RxBuffer.data(), mb.MBNumberOfReceivedBytes()));
    };

#elif KV_FUZZ_RECEIVER == KV_RAW
    // address bit 0: string mode (else byte mode); id: the stop byte; optA bit 0
    // assigns the handler, bit 1 arms string reception by a send first, bit 2
    // re-arms it from the string handler.
    const bool stringMode = cfg.address & 1;
    const bool handler = cfg.optA & 1;
    fuzz::Prepare(mb, stringMode ? modeString : modeByte, &t.writes);
    mb.setMBStopByteInStringMode(cfg.id);
    fuzz::Open(mb);
    auto send = [&mb] {
        mb.MBClearTxData();
        mb.MBPutByte('?');
        mb.MBMasterStart(0);
    };
    if (stringMode && handler) {
        mb.OnMBReceivedAString = [&](const std::string &s) {
            // The stop byte ends the string, unless the buffer was full when it came
            // (it is dropped then, and the flag tells).
            Check(!s.empty() && (uint8_t(s.back()) == cfg.id || mb.MBRxBufferFull()),
                  "a string that does not end with the stop byte");
            Check(s.size() <= RxBufferSize, "a string longer than the receive buffer");
            t.events.push_back("str:" + fuzz::Hex(s));
            if (cfg.optA & 4)
                send();
        };
    } else if (handler) {
        mb.OnMBReceivedAByte = [&](uint16_t received) {
            Check(received <= RxBufferSize, "byte mode reported more than the buffer holds");
            t.rawBytes.append(reinterpret_cast<const char *>(mb.RXDataBuffer().data()) + 3, received);
        };
    }
    if (stringMode && (cfg.optA & 2))
        send();
#endif

    auto feed = [&](const char *p, size_t n) {
        inDecode = true;
        DecodeRx(mb, std::string_view(p, n));
        inDecode = false;
        Check(mb.MBNumberOfReceivedBytes() <= RxBufferSize, "receive count above 8192");
        Check(!mb.MBRxBufferFull() || mb.MBNumberOfReceivedBytes() == RxBufferSize ||
                  mb.MBNumberOfReceivedBytes() <= 1,
              "buffer-full flag set on a partly filled buffer");
    };
    if (whole) {
        feed(line.data(), line.size());
    } else {
        size_t at = 0;
        for (size_t n : fuzz::SplitPoints(line.size(), cfg.split)) {
            feed(line.data() + at, n);
            at += n;
        }
    }

#if KV_FUZZ_RECEIVER == KV_ASCII_MASTER || KV_FUZZ_RECEIVER == KV_BINARY_MASTER
    Check(Core(mb).m_awaitingAnswer == waiting, "awaiting flag disagrees with the transactions started and ended");
#elif KV_FUZZ_RECEIVER == KV_ASCII_SLAVE || KV_FUZZ_RECEIVER == KV_BINARY_SLAVE
    // A delayed answer and the watchdog run after the line, the same in both runs.
    Core(mb).StartTimer.Fire();
    Core(mb).AnswerTimer.Fire();
#elif KV_FUZZ_RECEIVER == KV_RAW
    if (!stringMode) {
        const int held = mb.MBNumberOfReceivedBytes();
        const std::string expected = line.substr(0, RxBufferSize);
        if (!handler) {
            // Everything that came is held, up to the buffer's size, in order.
            Check(size_t(held) == expected.size(), "byte mode lost or invented bytes",
                  std::to_string(held) + " held of " + std::to_string(expected.size()));
            const auto first = std::mismatch(expected.begin(), expected.end(), mb.RXDataBuffer().begin() + 3,
                                             [](char a, uint8_t b) { return uint8_t(a) == b; });
            Check(first.first == expected.end(), "byte mode holds other bytes than came",
                  "first difference at byte " + std::to_string(first.first - expected.begin()) +
                      (whole ? " (whole)" : " (chunked)"));
        } else if (whole) {
            Check(t.rawBytes == expected, "byte mode reported other bytes than came");
        } else {
            Check(t.rawBytes == line, "byte mode reported other bytes than came");
        }
        Check(mb.MBNumberOfRxFrames() == uint32_t(line.size()), "byte mode counted other than the bytes that came");
    }
#endif

    t.events.push_back("final:" + std::to_string(mb.MBNumberOfReceivedBytes()) + ":" +
                       std::to_string(mb.MBNumberOfRxFrames()) + ":" + std::to_string(mb.MBNumberOfTxFrames()) +
                       ":" + std::to_string(mb.MBStatus()) + ":" + std::to_string(mb.MBStatusNow()));
    fuzz::Release(mb);
    return t;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    Config cfg;
    uint8_t *fields[] = {&cfg.address, &cfg.id, &cfg.optA, &cfg.optB, &cfg.split};
    const size_t header = std::min<size_t>(size, 5);
    for (size_t i = 0; i < header; ++i)
        *fields[i] = data[i];
    const std::string line(reinterpret_cast<const char *>(data) + header, size - header);

    const Trace whole = Run(cfg, line, true);
    const Trace split = Run(cfg, line, false);
#if KV_FUZZ_RECEIVER == KV_RAW
    // Byte mode reports per chunk by design; compare only what cannot depend on it.
    if (!(cfg.address & 1)) {
        if (line.size() <= size_t(RxBufferSize) || !(cfg.optA & 1))
            Check(whole.rawBytes == split.rawBytes, "byte mode: whole and chunked runs report different bytes");
        return 0;
    }
#endif
    if (!(whole == split))
        fuzz::Fail("whole and chunked runs differ", "\nwhole:\n" + Describe(whole) + "chunked:\n" + Describe(split));
    return 0;
}
