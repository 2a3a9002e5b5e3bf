// Framing, checks and the pairing of queries with answers.
#include "FrameMonitor.h"

#include "FrameDecode.h"
#include "MBProtocol.h"

#include <algorithm>
#include <array>
#include <cstdio>
#include <optional>
#include <utility>
#include <vector>

namespace kv508 {

const char *VerdictText(TVerdict v)
{
    switch (v) {
    case TVerdict::Query: return "query";
    case TVerdict::Answer: return "answer";
    case TVerdict::UnexpectedAnswer: return "unexpected-answer";
    case TVerdict::CrcError: return "crc-error";
    case TVerdict::ForeignAddress: return "foreign-address";
    case TVerdict::Malformed: return "malformed";
    case TVerdict::TimeOut: return "time-out";
    case TVerdict::ForeignId: return "foreign-id";
    }
    return "?";
}

namespace {

int HexValue(char c)
{
    // upper case only: the line never carries lower-case digits
    return c >= '0' && c <= '9' ? c - '0' : c >= 'A' && c <= 'F' ? c - 'A' + 10 : -1;
}

bool IsStart(char c)
{
    return c == 'M' || c == 'S';
}

constexpr std::size_t MinFrameBytes = 6; // address, ID, command, status, CRC

// The bytes of a frame's digits; the position (from 1) of the first character
// that is no digit, or 0.
std::size_t ParseDigits(std::string_view digits, std::vector<uint8_t> &bytes)
{
    bytes.clear();
    bytes.reserve(digits.size() / 2);
    for (std::size_t i = 0; i < digits.size(); ++i) {
        const int v = HexValue(digits[i]);
        if (v < 0)
            return i + 1;
        if (i % 2 == 0)
            bytes.push_back(static_cast<uint8_t>(v << 4));
        else
            bytes.back() = static_cast<uint8_t>(bytes.back() | v);
    }
    return 0;
}

} // namespace

struct TFrameMonitor::TState {
    // The characters of one direction not yet reported: a frame being
    // received (inFrame) or characters that start none.
    struct TLine {
        std::string pending;
        bool inFrame = false;
        bool skipTail = false; // joined mid-line: pending is the rest of an unseen frame
        int64_t lastMs = 0;
    };

    uint8_t address;
    uint8_t id; // 0: any
    int timeoutMs;
    int quietGapMs;
    std::array<TLine, 2> lines;
    std::optional<TFrameRecord> waiting; // the query whose answer is due
    bool haveBase = false;
    int64_t baseMs = 0;
    bool haveWall = false;
    int64_t wallSteadyMs = 0, wallMs = 0;
    std::vector<TFrameRecord> out; // reported once the input is consumed

    TState(uint8_t a, int t, uint8_t i) : address(a), id(i), timeoutMs(std::max(t, 0)), quietGapMs(timeoutMs) {}

    void Push(TFrameRecord r)
    {
        if (!haveBase) {
            haveBase = true;
            baseMs = r.timeMs;
        }
        r.elapsedMs = r.timeMs - baseMs;
        r.hasWallClock = haveWall;
        r.wallMs = haveWall ? wallMs + (r.timeMs - wallSteadyMs) : 0;
        out.push_back(std::move(r));
    }

    void TimedOut(int64_t atMs)
    {
        TFrameRecord r = std::move(*waiting);
        waiting.reset();
        r.verdict = TVerdict::TimeOut;
        r.timeMs = std::min(atMs, r.timeMs + timeoutMs);
        Push(std::move(r));
    }

    // Whatever happens at nowMs happens after a due answer failed to come:
    // reporting that first keeps the records in time order whatever the
    // caller's Tick rate.
    void ExpireUntil(int64_t nowMs)
    {
        if (waiting && nowMs - waiting->timeMs > timeoutMs)
            TimedOut(nowMs);
    }

    void Emit(TFrameRecord r)
    {
        ExpireUntil(r.timeMs);
        Push(std::move(r));
    }

    void ReportPending(TDirection d, std::string why)
    {
        TLine &line = lines[std::size_t(d)];
        if (line.skipTail && !line.pending.empty()) {
            line.skipTail = false;
            line.pending.clear();
            return;
        }
        if (line.pending.empty())
            return;
        TFrameRecord r;
        r.timeMs = line.lastMs;
        r.direction = d;
        r.raw = std::move(line.pending);
        r.verdict = TVerdict::Malformed;
        r.decoded = std::move(why);
        line.pending.clear();
        line.inFrame = false;
        Emit(std::move(r));
    }

    void ReportPending(TDirection d)
    {
        ReportPending(d, lines[std::size_t(d)].inFrame ? "cut frame" : "noise");
    }

    // Both directions' pending characters (all, or those after a quiet gap),
    // the older first so that records stay in time order.
    void ReportPendingUntil(int64_t nowMs, bool all)
    {
        std::array<TDirection, 2> order{TDirection::Tx, TDirection::Rx};
        if (lines[1].lastMs < lines[0].lastMs)
            std::swap(order[0], order[1]);
        for (TDirection d : order)
            if (all || nowMs - lines[std::size_t(d)].lastMs >= quietGapMs)
                ReportPending(d);
    }

    void Char(TDirection d, char c, int64_t nowMs)
    {
        TLine &line = lines[std::size_t(d)];
        if (IsStart(c)) {
            ReportPending(d);
            line.skipTail = false;
            line.inFrame = true;
        }
        line.pending += c;
        line.lastMs = nowMs;
        if (line.inFrame && c == ';') {
            Frame(d, nowMs);
        } else if (line.skipTail && c == ';') {
            ReportPending(d); // the end of a frame begun before the monitor: skipped
            // Most likely the answer to the query not seen either: it waits no more.
            if (waiting && !waiting->querySeen && waiting->direction != d)
                waiting.reset();
        } else if (line.pending.size() >= MaxFrameChars) {
            // longer than any frame: report it and look for the next start
            line.skipTail = false;
            ReportPending(d, line.inFrame ? "too long" : "noise");
        }
    }

    void Frame(TDirection d, int64_t nowMs)
    {
        TLine &line = lines[std::size_t(d)];
        TFrameRecord r;
        r.timeMs = nowMs;
        r.direction = d;
        r.raw = std::move(line.pending);
        line.pending.clear();
        line.inFrame = false;

        std::string_view digits = std::string_view(r.raw).substr(1, r.raw.size() - 2);
        std::vector<uint8_t> bytes;
        if (const std::size_t bad = ParseDigits(digits, bytes)) {
            r.decoded = "bad digit at " + std::to_string(bad);
            return Emit(std::move(r));
        }
        // The engine's receiver drops a lone digit before ';' (its byte never
        // completes); so does the monitor, or an answer the form took would
        // show as malformed and its query as timed out.
        const bool loneDigit = digits.size() % 2 != 0;
        if (loneDigit) {
            digits.remove_suffix(1);
            bytes.pop_back();
        }
        const char *const loneNote = " (a lone digit before ';' ignored)";
        if (bytes.size() < MinFrameBytes) {
            r.decoded = "too short (" + std::to_string(bytes.size()) + " bytes)";
            if (loneDigit)
                r.decoded += loneNote;
            return Emit(std::move(r));
        }

        r.hasHeader = true;
        r.address = bytes[0];
        r.id = bytes[1];
        r.command = bytes[2];
        r.status = bytes[3];
        r.payloadHex.assign(digits.substr(8, digits.size() - 12));
        const std::size_t n = bytes.size();
        const uint16_t got = static_cast<uint16_t>(bytes[n - 2] | (bytes[n - 1] << 8));
        const uint16_t want = mbcore::Crc16(bytes.data(), n - 2);
        const bool query = r.raw[0] == 'M';
        if (got != want) {
            char text[48];
            std::snprintf(text, sizeof text, "crc %04X, computed %04X", unsigned(got), unsigned(want));
            r.verdict = TVerdict::CrcError;
            r.decoded = text;
            if (loneDigit)
                r.decoded += loneNote;
            return Emit(std::move(r));
        }

        const std::vector<uint8_t> payload(bytes.begin() + 4, bytes.end() - 2);
        r.decoded = detail::DecodeFrame(!query, r.id, r.command, r.status, payload);
        if (loneDigit)
            r.decoded += loneNote;
        if (r.address != address) {
            r.verdict = TVerdict::ForeignAddress;
            return Emit(std::move(r));
        }
        ExpireUntil(nowMs);
        if (id != 0 && r.id != id) {
            // The master takes an answer to its query whatever its ID (and
            // ends the transaction with a slave error); anything else is not ours.
            if (!query && waiting && waiting->command == r.command)
                waiting.reset();
            r.verdict = TVerdict::ForeignId;
            return Push(std::move(r));
        }
        if (query && d == TDirection::Rx && waiting && waiting->direction == TDirection::Tx) {
            // Our own query heard back (an echoing two-wire adapter) or another
            // master's: neither gives up the query we wait on.
            r.verdict = TVerdict::Query;
            return Push(std::move(r));
        }
        if (query) {
            // a new query gives up the one before
            if (waiting)
                TimedOut(nowMs);
            r.verdict = TVerdict::Query;
            waiting = r;
        } else if (waiting && waiting->command == r.command) {
            r.verdict = TVerdict::Answer;
            r.querySeen = waiting->querySeen;
            waiting.reset();
        } else {
            r.verdict = TVerdict::UnexpectedAnswer;
        }
        Push(std::move(r));
    }
};

TFrameMonitor::TFrameMonitor(uint8_t address, int timeoutMs, uint8_t id)
    : m_state(std::make_shared<TState>(address, timeoutMs, id))
{
}

namespace {

// Records go to OnFrame only after the state is consistent again, so a
// handler may feed the monitor itself.
void Deliver(const std::function<void(const TFrameRecord &)> &onFrame, std::vector<TFrameRecord> &out)
{
    std::vector<TFrameRecord> records = std::move(out);
    out.clear();
    if (onFrame)
        for (const TFrameRecord &r : records)
            onFrame(r);
}

} // namespace

void TFrameMonitor::Feed(TDirection direction, std::string_view chars, int64_t nowMs)
{
    for (char c : chars)
        m_state->Char(direction, c, nowMs);
    Deliver(OnFrame, m_state->out);
}

void TFrameMonitor::Tick(int64_t nowMs)
{
    m_state->ReportPendingUntil(nowMs, false);
    m_state->ExpireUntil(nowMs);
    Deliver(OnFrame, m_state->out);
}

void TFrameMonitor::Flush(int64_t nowMs)
{
    TState &s = *m_state;
    s.ReportPendingUntil(nowMs, true);
    s.ExpireUntil(nowMs);
    if (s.waiting)
        s.TimedOut(nowMs);
    Deliver(OnFrame, s.out);
}

void TFrameMonitor::GiveUp(int64_t nowMs)
{
    TState &s = *m_state;
    s.ExpireUntil(nowMs);
    if (s.waiting)
        s.TimedOut(nowMs);
    Deliver(OnFrame, s.out);
}

void TFrameMonitor::Closed(int64_t nowMs)
{
    TState &s = *m_state;
    s.ReportPendingUntil(nowMs, true);
    s.ExpireUntil(nowMs);
    s.waiting.reset();
    for (TState::TLine &line : s.lines)
        line.skipTail = false; // the next opening starts with whole frames
    Deliver(OnFrame, s.out);
}

void TFrameMonitor::JoinMidLine(int64_t nowMs, std::optional<uint8_t> awaited)
{
    TState &s = *m_state;
    for (TState::TLine &line : s.lines)
        line.skipTail = !line.inFrame && line.pending.empty();
    if (!awaited)
        return;
    s.ExpireUntil(nowMs);
    if (s.waiting)
        s.TimedOut(nowMs);
    TFrameRecord r;
    r.timeMs = nowMs;
    r.direction = TDirection::Tx;
    r.verdict = TVerdict::Query;
    r.hasHeader = true;
    r.address = s.address;
    r.id = s.id;
    r.command = *awaited;
    r.querySeen = false;
    r.decoded = "query sent before the monitor started";
    s.waiting = std::move(r);
    Deliver(OnFrame, s.out);
}

std::string TFrameMonitor::DecodeRaw(std::string_view raw)
{
    if (raw.size() < 2 || !IsStart(raw.front()) || raw.back() != ';')
        return {};
    std::string_view digits = raw.substr(1, raw.size() - 2);
    if (digits.size() % 2 != 0)
        digits.remove_suffix(1); // as the engine does
    std::vector<uint8_t> bytes;
    if (ParseDigits(digits, bytes) != 0 || bytes.size() < MinFrameBytes)
        return {};
    const std::size_t n = bytes.size();
    if (static_cast<uint16_t>(bytes[n - 2] | (bytes[n - 1] << 8)) != mbcore::Crc16(bytes.data(), n - 2))
        return {};
    const std::vector<uint8_t> payload(bytes.begin() + 4, bytes.end() - 2);
    return detail::DecodeFrame(raw.front() == 'S', bytes[1], bytes[2], bytes[3], payload);
}

void TFrameMonitor::SetQuietGapMs(int ms)
{
    m_state->quietGapMs = std::max(ms, 0);
}

void TFrameMonitor::SetWallClockBase(int64_t steadyMs, int64_t wallMs)
{
    m_state->haveWall = true;
    m_state->wallSteadyMs = steadyMs;
    m_state->wallMs = wallMs;
}

} // namespace kv508
