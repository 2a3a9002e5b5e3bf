#include "TrendHistory.h"

#include <algorithm>
#include <cmath>

namespace trend {

double TSample::Value() const
{
    return value / std::pow(10.0, decimals);
}

void TRange::Add(double v)
{
    if (count == 0) {
        min = max = v;
    } else {
        min = std::min(min, v);
        max = std::max(max, v);
    }
    sum += v;
    ++count;
}

THistory::THistory(std::size_t capacity) : m_ring(std::max<std::size_t>(capacity, 1)) {}

void THistory::Add(TSample sample)
{
    if (m_size > 0)
        sample.timeMs = std::max(sample.timeMs, Last().timeMs);
    if (sample.kind == TKind::Ok)
        m_lastDecimals = sample.decimals;
    if (m_size < m_ring.size()) {
        m_ring[(m_head + m_size) % m_ring.size()] = sample;
        ++m_size;
    } else {
        m_ring[m_head] = sample;
        m_head = (m_head + 1) % m_ring.size();
        ++m_dropped;
    }
}

void THistory::Clear()
{
    m_head = 0;
    m_size = 0;
    m_dropped = 0;
    m_lastDecimals = -1;
}

std::size_t THistory::LowerBound(int64_t timeMs) const
{
    std::size_t low = 0, high = m_size;
    while (low < high) {
        const std::size_t mid = low + (high - low) / 2;
        if (At(mid).timeMs < timeMs)
            low = mid + 1;
        else
            high = mid;
    }
    return low;
}

TStats THistory::Stats(int64_t fromMs, int64_t toMs) const
{
    TStats stats;
    for (std::size_t i = LowerBound(fromMs); i < m_size; ++i) {
        const TSample &s = At(i);
        if (s.timeMs > toMs)
            break;
        if (s.kind == TKind::Ok) {
            stats.value.Add(s.Value());
            stats.milliAmps.Add(s.MilliAmps());
            stats.decimals = s.decimals;
        } else if (s.kind == TKind::Failed) {
            ++stats.failed;
        }
    }
    return stats;
}

std::vector<TColumn> THistory::Decimate(int64_t fromMs, int64_t toMs, int columns) const
{
    std::vector<TColumn> out;
    if (fromMs >= toMs || columns <= 0)
        return out;
    out.resize(static_cast<std::size_t>(columns));
    const int64_t span = toMs - fromMs;
    bool haveLine = false; // an answered poll the next one may join
    int64_t lineTime = 0;
    for (std::size_t i = LowerBound(fromMs); i < m_size; ++i) {
        const TSample &s = At(i);
        if (s.timeMs > toMs)
            break;
        // Exact integer mapping: no sample lands outside 0..columns-1.
        const auto c = static_cast<std::size_t>(std::min<int64_t>((s.timeMs - fromMs) * columns / span, columns - 1));
        TColumn &col = out[c];
        if (s.kind != TKind::Ok) {
            (s.kind == TKind::Failed ? col.failed : col.closed) = true;
            haveLine = false;
            continue;
        }
        const double v = s.Value(), m = s.MilliAmps();
        if (col.count == 0) {
            col.vMin = col.vMax = col.vFirst = v;
            col.mMin = col.mMax = col.mFirst = m;
            // A line within a column is its min..max bar; only a column's first poll joins.
            col.joins = haveLine && s.timeMs - lineTime <= JoinGapMs;
        } else {
            col.vMin = std::min(col.vMin, v);
            col.vMax = std::max(col.vMax, v);
            col.mMin = std::min(col.mMin, m);
            col.mMax = std::max(col.mMax, m);
        }
        col.vLast = v;
        col.mLast = m;
        ++col.count;
        haveLine = true;
        lineTime = s.timeMs;
    }
    return out;
}

} // namespace trend
