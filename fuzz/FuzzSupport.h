// Shared pieces of the fuzz targets: one headless application object, a link that
// records what the component writes, chunk splitting driven by the input, and
// the checks that stop a run with a message when an invariant breaks.
#pragma once

#include "MB.h"
#include "MBLink.h"
#include "TestPeer.h"

#include <QApplication>
#include <QByteArray>

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <functional>
#include <memory>
#include <string>
#include <vector>

namespace fuzz {

// A broken invariant: print why and abort, so libFuzzer keeps the input.
[[noreturn]] inline void Fail(const char *what, const std::string &detail = {})
{
    std::fprintf(stderr, "\nINVARIANT BROKEN: %s %s\n", what, detail.c_str());
    std::fflush(stderr);
    std::abort();
}

inline void Check(bool ok, const char *what, const std::string &detail = {})
{
    if (!ok)
        Fail(what, detail);
}

// The component is a widget: one application object for the whole process.
inline void InitApplication(int *argc, char ***argv)
{
    qputenv("QT_QPA_PLATFORM", "offscreen");
    qputenv("QT_LOGGING_RULES", "*.debug=false;qt.qpa.*=false");
    static QApplication *app = new QApplication(*argc, *argv);
    (void)app;
}

// Records every write as one entry of the trace it is given.
class CaptureLink : public TMBLink
{
public:
    explicit CaptureLink(std::vector<std::string> *writes,
                         const std::function<void(const std::string &)> *onWrite = nullptr)
        : m_writes(writes), m_onWrite(onWrite)
    {
    }
    bool Open(const std::string &, uint32_t, std::string &) override { return m_open = true; }
    void Close() override { m_open = false; }
    bool IsOpen() const override { return m_open; }
    bool WriteBytes(const char *data, std::ptrdiff_t count) override
    {
        if (!m_writes)
            return true;
        m_writes->emplace_back(data, size_t(count));
        if (m_onWrite && *m_onWrite)
            (*m_onWrite)(m_writes->back());
        return true;
    }
    std::ptrdiff_t ReadBytes(char *, std::ptrdiff_t) override { return 0; }

private:
    std::vector<std::string> *m_writes;
    const std::function<void(const std::string &)> *m_onWrite;
    bool m_open = false;
};

// Component instances live for the whole run: building a widget per input
// would spend nearly all the time in the widget toolkit. Prepare brings one
// back to a known state before every input, so that a run depends on its input only.
inline TMB &Instance(int slot)
{
    static TMB *instances[4] = {};
    if (!instances[slot])
        instances[slot] = new TMB;
    return *instances[slot];
}

// Closes mb, clears every handler and the receive state that no mode change
// touches, then opens it in the given mode on a capture link (every timer
// manual, so nothing happens behind the input's back). Set the properties
// that matter before calling: the open reads some of them.
// Clears every handler and closes the port, so that nothing of a finished run
// (its handlers, its capture buffers) is reached again.
inline void Release(TMB &mb)
{
    mb.OnMBMasterEndOfEvent = nullptr;
    mb.OnMBPortOpenedOrClosed = nullptr;
    mb.OnMBStatusNowChanged = nullptr;
    mb.OnMBBusyChanged = nullptr;
    mb.OnMBDiagnosticReceivedAFrame = nullptr;
    mb.OnMBSlaveReceivedCommand = nullptr;
    mb.OnMBReceivedAByte = nullptr;
    mb.OnMBReceivedAString = nullptr;
    mb.OnMBASCIISlaveTimeOut = nullptr;
    mb.MBClosePort();
}

inline void Prepare(TMB &mb, TMB::TMBMode mode, std::vector<std::string> *writes,
                    const std::function<void(const std::string &)> *onWrite = nullptr)
{
    Release(mb);
    mb.SetManualTimers(true);
    mb.setMBRefreshListOnStartup(false);
    mb.MBClosePort();
    Core(mb).StartTimer.Stop();
    Core(mb).AnswerTimer.Stop();
    mb.SetLinkFactory([] { return std::make_unique<CaptureLink>(nullptr); });
    const QByteArray zero(1, '\0');
    // A string reception still armed ends at the stop byte 0.
    mb.setMBMode(TMB::modeString);
    mb.setMBStopByteInStringMode(0);
    mb.MBOpenPort();
    DecodeRx(mb, zero);
    mb.MBClosePort();
    // A low-nibble character 0 clears the pending nibble of the binary receivers.
    mb.setMBMode(TMB::modeMaster);
    mb.MBOpenPort();
    DecodeRx(mb, zero);
    mb.MBClosePort();
    mb.setMBMode(mode == TMB::modeByte ? TMB::modeSlave : TMB::modeByte);
    mb.setMBMode(mode); // a real change: counters, status and the awaited answer start afresh
    mb.MBClearTxData();
    mb.setMBSlaveErrorCode(0);
    mb.SetLinkFactory([writes, onWrite] { return std::make_unique<CaptureLink>(writes, onWrite); });
}

inline void Open(TMB &mb)
{
    mb.MBOpenPort();
    Check(mb.MBPortOpen(), "the capture link did not open");
    Core(mb).ResetReceiver();
}

// The chunk lengths a stream is cut into: small, mixed and single characters,
// chosen by one seed byte of the input.
inline std::vector<size_t> SplitPoints(size_t length, uint8_t seed)
{
    std::vector<size_t> sizes;
    uint32_t x = 0x9E3779B9u ^ (uint32_t(seed) * 0x01000193u);
    const size_t widest = size_t(1) << (seed & 7); // 1 .. 128
    size_t done = 0;
    while (done < length) {
        x ^= x << 13;
        x ^= x >> 17;
        x ^= x << 5;
        const size_t n = std::min(length - done, 1 + size_t(x % widest));
        sizes.push_back(n);
        done += n;
    }
    return sizes;
}

inline quint16 Crc(const quint8 *p, int n)
{
    return TMB::MBCrc16(p, n);
}

// The CRC exactly as defined, one bit at a time.
inline quint16 BitwiseCrc16(const uint8_t *p, size_t count)
{
    quint16 crc = 0xFFFF;
    for (size_t i = 0; i < count; ++i) {
        crc ^= p[i];
        for (int k = 0; k < 8; ++k)
            crc = (crc & 1) ? static_cast<quint16>((crc >> 1) ^ 0xA001) : static_cast<quint16>(crc >> 1);
    }
    return crc;
}

// The frame the receiver holds right now passes the CRC check (checked
// independently of the component's own check).
inline void CheckHeldFrame(const TMB &mb, int header)
{
    const int n = mb.MBNumberOfReceivedBytes();
    Check(n >= header, "accepted frame shorter than its header", std::to_string(n));
    Check(n <= TMB::RxBufferSize, "receive count above 8192", std::to_string(n));
    const quint8 *rx = Core(mb).m_RxBuffer.data();
    const quint16 crc = BitwiseCrc16(rx, size_t(n - 2));
    Check(rx[n - 2] == (crc & 0xFF) && rx[n - 1] == (crc >> 8), "accepted frame fails the CRC check");
    Check(mb.MBReceivedDataNumber() == n - header, "payload length differs from the frame length");
}

inline std::string Hex(const quint8 *p, int n)
{
    static const char digits[] = "0123456789ABCDEF";
    std::string s;
    s.reserve(size_t(n) * 2);
    for (int i = 0; i < n; ++i) {
        s += digits[p[i] >> 4];
        s += digits[p[i] & 15];
    }
    return s;
}

inline std::string Hex(const std::string &bytes)
{
    return Hex(reinterpret_cast<const quint8 *>(bytes.data()), int(bytes.size()));
}

// Line encodings written independently of the component, for comparing frames.
inline std::string AsciiLine(char start, const std::vector<quint8> &bytes)
{
    std::vector<quint8> all = bytes;
    const quint16 crc = BitwiseCrc16(all.data(), all.size());
    all.push_back(quint8(crc & 0xFF));
    all.push_back(quint8(crc >> 8));
    return std::string(1, start) + Hex(all.data(), int(all.size())) + ";";
}

inline std::string BinaryLine(const std::vector<quint8> &bytes)
{
    std::vector<quint8> all = bytes;
    const quint16 crc = BitwiseCrc16(all.data(), all.size());
    all.push_back(quint8(crc & 0xFF));
    all.push_back(quint8(crc >> 8));
    std::string line;
    for (size_t i = 0; i < all.size(); ++i) {
        const quint8 marker = i == 0 ? 0xC0 : (i == all.size() - 1 ? 0x60 : 0x40);
        line += char(all[i] & 0x0F);
        line += char(marker | (all[i] >> 4));
    }
    return line;
}

} // namespace fuzz
