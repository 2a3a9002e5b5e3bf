// Frame building, end to end: a master builds a query from the input, a slave
// receives it (cut into chunks) and answers, the master receives the answer; in
// binary framing a diagnostic listener hears both. Every line written must equal
// an encoding made independently here, and what arrives must be what was sent.
//
// Input: [0] flags: bit 0 binary framing, bit 1 query mode, bit 2 the handler
//            answers "unknown command", bit 3 the slave has another ID, bit 4 the
//            slave delays its answer
//        [1] address  [2] ID  [3] command  [4] chunk seed  [5] extra answer bytes
//        [6..] the query payload (up to 8187 bytes)
#include "FuzzSupport.h"

#include <algorithm>
#include <functional>
#include <memory>
#include <string>
#include <vector>

using fuzz::Check;
using namespace mbcore;

namespace {

void Feed(TMBEngine &mb, const std::string &line, uint8_t seed)
{
    size_t at = 0;
    for (size_t n : fuzz::SplitPoints(line.size(), seed)) {
        DecodeRx(mb, std::string_view(line).substr(at, n));
        at += n;
        Check(mb.MBNumberOfReceivedBytes() <= RxBufferSize, "receive count above 8192");
    }
}

std::vector<uint8_t> Payload(const TMBEngine &mb, bool fromRx, int count)
{
    const auto &area = fromRx ? mb.RXDataBuffer() : mb.TXDataBuffer();
    const int first = 1 + Core(mb).m_PayloadOffset;
    return std::vector<uint8_t>(area.begin() + first, area.begin() + first + count);
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    if (size < 6)
        return 0;
    const uint8_t flags = data[0], address = data[1], id = data[2], command = data[3], seed = data[4];
    const int extra = data[5] & 63;
    const std::vector<uint8_t> query(data + 6, data + std::min<size_t>(size, 6 + MaxPayload));
    const bool binary = flags & 1;
    const bool delayed = flags & 16;

    static std::vector<std::string> masterWrites, slaveWrites;
    masterWrites.clear();
    slaveWrites.clear();
    fuzz::TEngineForRun masterRun, slaveRun, listenerRun;
    TMBEngine &master = masterRun.engine, &slave = slaveRun.engine, &listener = listenerRun.engine;
    fuzz::Prepare(master, binary ? modeMaster : modeASCIIMaster, &masterWrites);
    fuzz::Open(master);
    master.setMBMasterAddressToSlave(address); // held at 15 in binary framing
    const uint8_t to = master.MBMasterAddressToSlave();
    fuzz::Prepare(slave, binary ? modeSlave : modeASCIISlave, &slaveWrites);
    slave.setMBSlaveOwnAddress(to);
    slave.setMBSlaveID((flags & 8) ? uint8_t(id + 1) : id);
    slave.setMBSlaveDelayTime(delayed ? 20 : 0);
    fuzz::Open(slave);
    fuzz::Prepare(listener, modeDiagnostic, nullptr);
    fuzz::Open(listener);

    // The slave's application: checks the request, answers with part of it.
    std::vector<uint8_t> answer;
    bool handled = false;
    // A frame longer than the receive buffer loses its last bytes on the way in;
    // what was kept must never pass for a frame, even when its last two bytes
    // happen to be the CRC of the rest.
    const size_t queryFrame = (binary ? 5 : 6) + query.size();
    slave.OnMBSlaveReceivedCommand = [&](uint8_t cmd, bool queryMode, uint16_t received) {
        Check(queryFrame <= size_t(RxBufferSize), "a frame that overflowed the receive buffer was accepted",
              std::to_string(queryFrame) + " bytes sent, " + std::to_string(received) + " payload bytes accepted");
        handled = true;
        Check(cmd == command, "the slave was handed another command");
        Check(received == query.size(), "the slave was handed another payload length");
        if (binary)
            Check(queryMode == bool(flags & 2), "the query-mode bit was lost");
        for (uint16_t i = 0; i < received; ++i)
            Check(slave.MBGetByte() == query[i], "the slave read another payload than was sent");
        answer.assign(query.begin(), query.begin() + std::min<size_t>(query.size(), 64));
        for (int i = 0; i < extra; ++i)
            answer.push_back(uint8_t(0x5A ^ i));
        for (uint8_t b : answer)
            slave.MBPutByte(b);
        if (flags & 4)
            slave.setMBSlaveErrorCode(binary ? 131 : 254);
    };
    int accepted = 0;
    slave.OnMBStatusNowChanged = [&](TMBStatusNow now, const std::string &) {
        accepted += now == stnReceivedCommand;
    };
    std::vector<uint16_t> heard;
    listener.OnMBDiagnosticReceivedAFrame = [&](uint16_t received) { heard.push_back(received); };

    // The query.
    int ends = 0;
    TMBStatus endStatus = stTimeOut;
    master.OnMBMasterEndOfEvent = [&](TMBStatus status, const std::string &) {
        ++ends;
        endStatus = status;
    };
    master.setMBMasterIDToSlave(id);
    master.setMBMasterCommandToSlave(command);
    master.setMBMasterQueryMode(flags & 2);
    master.MBClearTxData();
    for (uint8_t b : query)
        master.MBPutByte(b);
    master.setMBDataNumberToSend(uint16_t(query.size()));
    master.MBMasterStart(0);

    Check(masterWrites.size() == 1, "a query went out in other than one piece");
    std::vector<uint8_t> header = binary ? std::vector<uint8_t>{uint8_t(to | ((flags & 2) ? 0x40 : 0)), id, command}
                                        : std::vector<uint8_t>{to, id, command, 0};
    std::vector<uint8_t> frame = header;
    frame.insert(frame.end(), query.begin(), query.end());
    const std::string expectedQuery = binary ? fuzz::BinaryLine(frame) : fuzz::AsciiLine('M', frame);
    Check(masterWrites[0] == expectedQuery, "the query differs from its definition",
          "\n got  " + fuzz::Hex(masterWrites[0]) + "\n want " + fuzz::Hex(expectedQuery));
    const bool broadcast = to == 0;
    Check(ends == (broadcast ? 1 : 0), "a query ended before its answer");

    // The slave hears it and answers (at once, or when its delay expires).
    Feed(slave, masterWrites[0], seed);
    if (binary)
        Feed(listener, masterWrites[0], uint8_t(seed + 1));
    // An ASCII frame with the largest payload is 8193 bytes: one more than a
    // receiver holds, so it cannot pass the check on the other side.
    if (!binary && frame.size() + 2 > size_t(RxBufferSize)) {
        Check(accepted == 0 && slaveWrites.empty(), "a frame longer than the receive buffer was accepted");
        return 0;
    }
    Check(accepted == 1, "the slave did not accept a well-formed query addressed to it exactly once");
    if (delayed)
        Core(slave).StartTimer.Fire();
    if ((to & 0x0F) == 0) {
        Check(slaveWrites.empty(), "a broadcast (address nibble 0) was answered");
        return 0;
    }
    Check(slaveWrites.size() == 1, "the slave answered other than once");

    // The answer is what the definitions say for what the slave did.
    const uint8_t slaveId = slave.MBSlaveID();
    const uint8_t code = slave.MBSlaveErrorCode();
    const int answerLength = slave.MBDataNumberToSend();
    std::vector<uint8_t> back = binary ? std::vector<uint8_t>{uint8_t(0x80 | (slave.MBSlaveOwnAddress() & 0x0F)), slaveId, code}
                                      : std::vector<uint8_t>{slave.MBSlaveOwnAddress(), slaveId, command, code};
    const std::vector<uint8_t> sentBack = Payload(slave, false, answerLength);
    back.insert(back.end(), sentBack.begin(), sentBack.end());
    const std::string expectedAnswer = binary ? fuzz::BinaryLine(back) : fuzz::AsciiLine('S', back);
    Check(slaveWrites[0] == expectedAnswer, "the answer differs from its definition",
          "\n got  " + fuzz::Hex(slaveWrites[0]) + "\n want " + fuzz::Hex(expectedAnswer));
    if (handled && code == 0)
        Check(sentBack == answer, "the answer carries another payload than the handler built");

    // The master takes it.
    Feed(master, slaveWrites[0], uint8_t(seed ^ 0x55));
    Check(ends == 1, "the master did not end exactly once on a well-formed answer");
    Check(!Core(master).m_awaitingAnswer, "the master still waits after its answer");
    const bool idError = !binary && id != 0 && slaveId != id;
    const bool slaveError = binary ? code > 128 : (idError || code == 254 || code == 255);
    Check(endStatus == (slaveError ? stSlaveError : stOK), "the answer ended with another status");
    Check(master.MBReceivedDataNumber() == answerLength, "the master received another payload length");
    if (!slaveError)
        Check(Payload(master, true, answerLength) == sentBack, "the master received another payload");

    if (binary) {
        Feed(listener, slaveWrites[0], uint8_t(seed + 2));
        Check(heard.size() == 2 && heard[0] == query.size() && heard[1] == answerLength,
              "the listener did not hear the query and the answer");
    }
    return 0;
}
