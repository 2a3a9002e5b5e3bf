#include "FrameRing.h"

#include <utility>

namespace linemon {

TRow RowOf(const kv508::TFrameRecord &r, int64_t sinceOpenMs, int64_t wallMs)
{
    TRow row;
    row.sinceOpenMs = sinceOpenMs;
    row.wallMs = wallMs;
    row.raw = r.raw;
    row.address = r.address;
    row.id = r.id;
    row.command = r.command;
    row.status = r.status;
    row.verdict = r.verdict;
    row.direction = r.direction;
    row.hasHeader = r.hasHeader;
    row.querySeen = r.querySeen;
    // A query not seen has no characters to decode again.
    if (!r.hasHeader || r.verdict == kv508::TVerdict::CrcError || r.raw.empty())
        row.note = r.decoded;
    // Noise on a floating line comes in rows of up to 16 k characters: keep the
    // ring's memory to about what real frames need.
    if (!r.hasHeader && row.raw.size() > MaxNoiseChars) {
        row.note += (row.note.empty() ? "" : "; ") + std::to_string(row.raw.size()) + " characters, the first " +
                    std::to_string(MaxNoiseChars) + " kept";
        row.raw.resize(MaxNoiseChars);
    }
    return row;
}

std::string Decoded(const TRow &row)
{
    if (!row.note.empty() || !row.hasHeader || row.verdict == kv508::TVerdict::CrcError)
        return row.note;
    return kv508::TFrameMonitor::DecodeRaw(row.raw);
}

TRing::TRing(std::size_t capacity) : m_capacity(capacity > 0 ? capacity : 1) {}

uint64_t TRing::Add(TRow &&row)
{
    if (m_rows.size() == m_capacity) {
        m_rows.pop_front();
        ++m_first;
    }
    m_rows.push_back(std::move(row));
    return m_end++;
}

void TRing::Clear()
{
    m_rows.clear();
    m_rows.shrink_to_fit();
    m_first = m_end;
}

bool TFilter::Accepts(const TRow &row) const
{
    if (!(verdicts & (1u << (row.SlaveError() ? SlaveErrorIndex : int(row.verdict)))))
        return false;
    switch (command) {
    case AnyCommand: return true;
    case NoFrame: return !row.hasHeader;
    case OtherCommands: return row.hasHeader && !kv508::CommandName(row.command);
    default: return row.hasHeader && row.command == command;
    }
}

} // namespace linemon
