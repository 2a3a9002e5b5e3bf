// Shared pieces of the fuzz targets: engines built for one input, a link that
// records what the engine writes, chunk splitting driven by the input, and the
// checks that stop a run with a message when an invariant breaks. Plain C++
// on the portable core: no toolkit.
#pragma once

#include "EngineTestPeer.h"
#include "MBEngine.h"
#include "MBLink.h"
#include "PlainFrames.h"

#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <functional>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

namespace fuzz {

using mbcore::TMBEngine;

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

// Clears every handler, then closes the port, so that nothing of a finished run
// (its handlers, its capture buffers) is reached again.
inline void Release(TMBEngine &mb)
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

// An engine for one input: a fresh one per run, so that a run depends on its
// input only. Its handlers capture the run's locals, which go before it does:
// they are dropped before it closes.
struct TEngineForRun {
    TEngineForRun() = default;
    TEngineForRun(const TEngineForRun &) = delete;
    TEngineForRun &operator=(const TEngineForRun &) = delete;
    ~TEngineForRun() { Release(engine); }
    TMBEngine engine;
};

// Puts mb into the given mode on a capture link (every timer manual, so
// nothing happens behind the input's back). Set the properties that matter
// before opening: the open reads some of them.
inline void Prepare(TMBEngine &mb, mbcore::TMBMode mode, std::vector<std::string> *writes,
                    const std::function<void(const std::string &)> *onWrite = nullptr)
{
    mb.SetManualTimers(true);
    mb.setMBRefreshListOnStartup(false);
    // a real change: counters, status and the awaited answer start as after one
    mb.setMBMode(mode == mbcore::modeByte ? mbcore::modeSlave : mbcore::modeByte);
    mb.setMBMode(mode);
    mb.MBClearTxData();
    mb.setMBSlaveErrorCode(0);
    mb.SetLinkFactory([writes, onWrite] { return std::make_unique<CaptureLink>(writes, onWrite); });
}

inline void Open(TMBEngine &mb)
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

using frames::BitwiseCrc16;

// The frame the receiver holds right now passes the CRC check (checked
// independently of the engine's own check).
inline void CheckHeldFrame(const TMBEngine &mb, int header)
{
    const int n = mb.MBNumberOfReceivedBytes();
    Check(n >= header, "accepted frame shorter than its header", std::to_string(n));
    Check(n <= mbcore::RxBufferSize, "receive count above 8192", std::to_string(n));
    const uint8_t *rx = Core(mb).m_RxBuffer.data();
    const uint16_t crc = BitwiseCrc16(rx, size_t(n - 2));
    Check(rx[n - 2] == (crc & 0xFF) && rx[n - 1] == (crc >> 8), "accepted frame fails the CRC check");
    Check(mb.MBReceivedDataNumber() == n - header, "payload length differs from the frame length");
}

inline std::string Hex(const uint8_t *p, int n)
{
    return frames::Hex(p, size_t(n));
}

inline std::string Hex(const std::string &bytes)
{
    return frames::Hex(bytes);
}

inline std::string_view View(const std::vector<uint8_t> &bytes)
{
    return {reinterpret_cast<const char *>(bytes.data()), bytes.size()};
}

// Line encodings written independently of the engine, for comparing frames.
inline std::string AsciiLine(char start, const std::vector<uint8_t> &bytes)
{
    return frames::AsciiLine(start, View(bytes));
}

inline std::string BinaryLine(const std::vector<uint8_t> &bytes)
{
    return frames::BinaryLine(View(bytes));
}

} // namespace fuzz
