// The line monitor's store: the frames the monitor decoded, as compact rows in
// a ring of fixed capacity (the oldest go first), numbered in arrival order,
// and the filter the window applies to them. Plain C++ on the frame monitor.
#pragma once

#include "FrameMonitor.h"

#include <cstddef>
#include <cstdint>
#include <deque>
#include <string>

namespace linemon {

// One frame. The decoded text is kept only where the raw characters cannot
// give it again (malformed frames, CRC errors): the rest is decoded when shown,
// which halves the memory of a full ring.
struct TRow {
    int64_t sinceOpenMs = 0; // since the port opened
    int64_t wallMs = 0;      // UTC, ms since 1970
    std::string raw;
    std::string note;
    uint8_t address = 0, id = 0, command = 0, status = 0;
    kv508::TVerdict verdict = kv508::TVerdict::Malformed;
    kv508::TDirection direction = kv508::TDirection::Rx;
    bool hasHeader = false;
    bool querySeen = true; // false: its query went out before the monitor started

    bool SlaveError() const { return verdict == kv508::TVerdict::Answer && (status == 254 || status == 255); }
};

// Characters kept of a row that is no frame (noise, a frame too long).
constexpr std::size_t MaxNoiseChars = 512;

// The record as a row.
TRow RowOf(const kv508::TFrameRecord &r, int64_t sinceOpenMs, int64_t wallMs);
// The command's name and fields ("poll force=0 pwm=0"), or why the characters make no frame.
std::string Decoded(const TRow &row);

constexpr std::size_t DefaultCapacity = 100'000;

class TRing
{
public:
    explicit TRing(std::size_t capacity = DefaultCapacity);

    // Appends a row and returns its number; the oldest row goes when full.
    uint64_t Add(TRow &&row);
    // Forgets every row; numbering goes on.
    void Clear();

    std::size_t Capacity() const { return m_capacity; }
    std::size_t Size() const { return m_rows.size(); }
    // Rows first..end-1 are kept.
    uint64_t First() const { return m_first; }
    uint64_t End() const { return m_end; }
    bool Has(uint64_t number) const { return number >= m_first && number < m_end; }
    const TRow &At(uint64_t number) const { return m_rows[std::size_t(number - m_first)]; }

private:
    std::size_t m_capacity;
    std::deque<TRow> m_rows; // grows as rows come, so an idle monitor costs nothing
    uint64_t m_first = 0, m_end = 0;
};

// Which rows the list shows: one command (or all), and any set of verdicts.
struct TFilter {
    static constexpr int AnyCommand = -1;
    static constexpr int OtherCommands = -2; // frames of commands the instrument does not have
    static constexpr int NoFrame = -3;       // characters that make no frame
    // An answer that is a slave error has a bit of its own: it is a problem, not a plain answer.
    static constexpr int SlaveErrorIndex = kv508::VerdictCount;
    static constexpr uint32_t AllVerdicts = (1u << (SlaveErrorIndex + 1)) - 1;

    int command = AnyCommand;
    uint32_t verdicts = AllVerdicts; // bit 1 << int(TVerdict), or 1 << SlaveErrorIndex

    bool All() const { return command == AnyCommand && (verdicts & AllVerdicts) == AllVerdicts; }
    bool Accepts(const TRow &row) const;
    bool operator==(const TFilter &) const = default;
};

} // namespace linemon
