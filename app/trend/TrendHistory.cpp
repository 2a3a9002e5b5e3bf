#include "TrendHistory.h"

#include <algorithm>
#include <cmath>
#include <iterator>

namespace trend {

double TSample::Value() const
{
    // pow per sample would cost more than the rest of a decimation.
    static constexpr double scale[] = {1e0, 1e1, 1e2, 1e3, 1e4, 1e5, 1e6, 1e7, 1e8, 1e9};
    return decimals < std::size(scale) ? value / scale[decimals] : value / std::pow(10.0, decimals);
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

template <class F>
void THistory::Walk(int64_t fromMs, int64_t toMs, F &&visit) const
{
    // Physical positions, wrapped by hand: no division per sample.
    const std::size_t capacity = m_ring.size();
    const std::size_t first = LowerBound(fromMs);
    std::size_t p = (m_head + first) % capacity;
    for (std::size_t i = first; i < m_size; ++i) {
        const TSample &s = m_ring[p];
        if (s.timeMs > toMs)
            break;
        visit(s);
        if (++p == capacity)
            p = 0;
    }
}

TStats THistory::Stats(int64_t fromMs, int64_t toMs) const
{
    TStats stats;
    Walk(fromMs, toMs, [&](const TSample &s) {
        if (s.kind == TKind::Ok) {
            stats.value.Add(s.Value());
            stats.milliAmps.Add(s.MilliAmps());
            stats.decimals = s.decimals;
        } else if (s.kind == TKind::Failed) {
            ++stats.failed;
        }
    });
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
    // Column c holds the times t with (t - fromMs) * columns / span == c; the
    // samples come in order, so only each column's end is computed (once).
    int64_t c = 0;
    auto columnEnd = [&](int64_t column) { return fromMs + ((column + 1) * span + columns - 1) / columns; };
    int64_t end = columnEnd(0);
    Walk(fromMs, toMs, [&](const TSample &s) {
        while (s.timeMs >= end && c < columns - 1)
            end = columnEnd(++c);
        TColumn &col = out[static_cast<std::size_t>(c)];
        if (s.kind != TKind::Ok) {
            (s.kind == TKind::Failed ? col.failed : col.closed) = true;
            haveLine = false;
            return;
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
    });
    return out;
}

} // namespace trend
