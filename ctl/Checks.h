// Checks kv508ctl makes on what it is told, without any I/O: whether the
// instrument's reading has settled before a calibration point takes it, and
// names from outside made fit to be shown in a message.
#pragma once

#include "KV508Commands.h"

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace ctl {

// ---- the reading settling --------------------------------------------------------------------------

// Polls of the instrument's reading while a calibration point waits for it:
// settled when the polls of the last windowMs (at least three, reaching back
// that far) lie within the tolerance. The instrument's averaging is a moving
// mean, so a pressure step shows until averaging / SPS after it.
class TSettle
{
public:
    explicit TSettle(int64_t windowMs) : m_windowMs(windowMs) {}
    void Add(int64_t ms, const kv508::TLiveData &d);
    bool Settled() const;
    // The tolerance in the reading's digits: 0.2 % of the scale end, 2 digits at least.
    static int32_t Tolerance(const kv508::TLiveData &d);
    // "moved between 12.3 and 45.6 over the last 1.0 s" of the polls kept.
    std::string MovementText() const;

private:
    struct TPoint {
        int64_t ms;
        int16_t value;
    };
    int64_t m_windowMs;
    std::vector<TPoint> m_points;
    kv508::TLiveData m_last;
};
// How long the moving mean of the instrument takes to follow a step: averaging / SPS.
int64_t SettleWindowMs(uint16_t averaging, uint16_t sps);

// ---- names in messages ----------------------------------------------------------------------------

// A name from outside (a port, an adapter's serial, a file) fit for a message:
// control characters (C0, DEL, C1, bidirectional overrides) and bytes that are
// no UTF-8 shown as \xNN, and past maxBytes cut with "…".
std::string ShownName(std::string_view text, std::size_t maxBytes = 80);

} // namespace ctl
