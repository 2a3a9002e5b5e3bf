#include "KV508Settle.h"

#include <algorithm>
#include <cstdio>
#include <cstdlib>

namespace kv508 {

std::string ScaledText(int16_t value, uint8_t decimals)
{
    if (decimals > 9)
        return std::to_string(value) + "e-" + std::to_string(decimals);
    return FormatScaled(value, decimals);
}

int64_t SettleWindowMs(uint16_t averaging, uint16_t sps)
{
    return (int64_t(std::max<uint16_t>(averaging, 1)) * 1000 + std::max<uint16_t>(sps, 1) - 1) / std::max<uint16_t>(sps, 1);
}

int32_t TSettle::Tolerance(const TLiveData &d)
{
    return std::max<int32_t>(2, std::abs(int32_t(d.ScaleEnd)) / 500);
}

void TSettle::Add(int64_t ms, const TLiveData &d)
{
    m_points.push_back({ms, d.MeasuredValue});
    m_last = d;
    // Keep the newest poll at or before the window's start: it shows how far back the polls reach.
    while (m_points.size() >= 2 && m_points[1].ms <= ms - m_windowMs)
        m_points.erase(m_points.begin());
}

bool TSettle::Settled() const
{
    if (m_points.size() < 3 || m_points.front().ms > m_points.back().ms - m_windowMs)
        return false;
    const auto [low, high] = std::minmax_element(m_points.begin(), m_points.end(),
                                                 [](const TPoint &a, const TPoint &b) { return a.value < b.value; });
    return high->value - low->value <= Tolerance(m_last);
}

std::string TSettle::MovementText() const
{
    if (m_points.empty())
        return "no reading";
    const auto [low, high] = std::minmax_element(m_points.begin(), m_points.end(),
                                                 [](const TPoint &a, const TPoint &b) { return a.value < b.value; });
    const int64_t span = m_points.back().ms - m_points.front().ms;
    char seconds[32];
    std::snprintf(seconds, sizeof seconds, "%.1f", double(span) / 1000.0);
    return "moved between " + ScaledText(low->value, m_last.Decimals) + " and " + ScaledText(high->value, m_last.Decimals) +
           " over the last " + seconds + " s (settled is within " + ScaledText(int16_t(Tolerance(m_last)), m_last.Decimals) + ")";
}

} // namespace kv508
