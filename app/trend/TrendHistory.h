// The live trend's samples: every poll's pressure and output current (or the
// mark of a failed poll) in a bounded ring, with the reductions the plot and
// its statistics need. Plain C++, no Qt, so it is tested without a display.
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

namespace trend {

enum class TKind : uint8_t {
    Ok,     // an answered poll
    Failed, // no answer or the instrument's error: a red mark
    Closed  // the port closed under the poll: the line breaks, no fault
};

struct TSample {
    int64_t timeMs = 0;     // wall clock, ms since the epoch
    int16_t value = 0;      // pressure x 10^decimals, as sent
    int16_t microAmps = 0;  // output current
    uint8_t decimals = 0;
    uint8_t flags = 0;      // the five error bits
    TKind kind = TKind::Ok;

    double Value() const;
    double MilliAmps() const { return microAmps / 1000.0; }
};

// Minimum, maximum and mean of one series.
struct TRange {
    std::size_t count = 0;
    double min = 0, max = 0, sum = 0;
    double Mean() const { return count ? sum / static_cast<double>(count) : 0.0; }
    void Add(double v);
};

struct TStats {
    TRange value, milliAmps;
    std::size_t failed = 0;
    int decimals = -1; // of the last answered poll in the span; -1 when none
};

// One pixel column of a decimated span.
struct TColumn {
    uint32_t count = 0; // answered polls in the column
    double vMin = 0, vMax = 0, vFirst = 0, vLast = 0;
    double mMin = 0, mMax = 0, mFirst = 0, mLast = 0;
    bool failed = false;
    bool closed = false;
    // The column's first answered poll continues the line of the one before it
    // (no failure, closing or long silence between).
    bool joins = false;
};

class THistory
{
public:
    // About 27 hours at the window's ~4 polls a second (6.4 MB).
    static constexpr std::size_t DefaultCapacity = 400000;
    // Polls further apart than this are not joined by a line.
    static constexpr int64_t JoinGapMs = 5000;

    explicit THistory(std::size_t capacity = DefaultCapacity);

    // Appends a sample; the oldest goes once the ring is full. A time before the
    // last one (the clock was set back) is taken as the last, so times never decrease.
    void Add(TSample sample);
    void Clear();

    std::size_t Size() const { return m_size; }
    std::size_t Capacity() const { return m_ring.size(); }
    bool Empty() const { return m_size == 0; }
    // Samples overwritten since the last Clear.
    uint64_t Dropped() const { return m_dropped; }
    // i = 0 is the oldest.
    const TSample &At(std::size_t i) const { return m_ring[(m_head + i) % m_ring.size()]; }
    const TSample &Last() const { return At(m_size - 1); }
    // The decimals of the latest answered poll; -1 before the first.
    int LastDecimals() const { return m_lastDecimals; }
    // The index of the first sample at or after timeMs (Size() when none).
    std::size_t LowerBound(int64_t timeMs) const;

    // Over the samples from fromMs to toMs inclusive.
    TStats Stats(int64_t fromMs, int64_t toMs) const;
    // fromMs..toMs cut into `columns` equal columns (toMs falls in the last);
    // each keeps the exact extremes of its polls. Empty unless fromMs < toMs and columns > 0.
    std::vector<TColumn> Decimate(int64_t fromMs, int64_t toMs, int columns) const;

private:
    // Calls visit for each sample from fromMs to toMs, oldest first.
    template <class F>
    void Walk(int64_t fromMs, int64_t toMs, F &&visit) const;

    std::vector<TSample> m_ring;
    std::size_t m_head = 0; // the oldest sample
    std::size_t m_size = 0;
    uint64_t m_dropped = 0;
    int m_lastDecimals = -1;
};

} // namespace trend
