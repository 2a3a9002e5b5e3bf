// Whether the instrument's reading has settled before a calibration point
// takes it: kv508ctl waits for it, the window's calibration guide shows it.
// Plain C++.
#pragma once

#include "KV508Commands.h"

#include <cstdint>
#include <string>
#include <vector>

namespace kv508 {

// Polls of the instrument's reading while a calibration point waits for it:
// settled when the polls of the last windowMs (at least three, reaching back
// that far) lie within the tolerance. The instrument's averaging is a moving
// mean, so a pressure step shows until averaging / SPS after it.
class TSettle
{
public:
    explicit TSettle(int64_t windowMs) : m_windowMs(windowMs) {}
    void Add(int64_t ms, const TLiveData &d);
    bool Settled() const;
    // The tolerance in the reading's digits: 0.2 % of the scale end, 2 digits at least.
    static int32_t Tolerance(const TLiveData &d);
    // "moved between 12.3 and 45.6 over the last 1.0 s" of the polls kept.
    std::string MovementText() const;
    int64_t WindowMs() const { return m_windowMs; }

private:
    struct TPoint {
        int64_t ms;
        int16_t value;
    };
    int64_t m_windowMs;
    std::vector<TPoint> m_points;
    TLiveData m_last;
};
// How long the moving mean of the instrument takes to follow a step: averaging / SPS.
int64_t SettleWindowMs(uint16_t averaging, uint16_t sps);

// value x 10^-decimals with exactly that many decimals: 2491, 1 -> "249.1"
// (past 9 decimals, which no instrument shows, the digits as sent: "2491e-12").
std::string ScaledText(int16_t value, uint8_t decimals);

} // namespace kv508
