// Every frame on the line, decoded: a monitor fed with the characters that
// cross a link (with their direction and time) turns them into one record per
// frame, with the raw frame, the instrument command and fields it carries, and
// a verdict. A spy link puts the monitor between the engine and a real link,
// so a program watches its own traffic without a second program.
// Plain C++.
#pragma once

#include "KV508Commands.h"
#include "MBLink.h"

#include <cstddef>
#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <string_view>

namespace kv508 {

enum class TDirection { Tx, Rx }; // Tx: from this program to the line

enum class TVerdict {
    Query,          // a well-formed request ("M" frame)
    Answer,         // a well-formed answer that matches the last query
    UnexpectedAnswer, // well formed, but no query of that command is waiting
    CrcError,
    ForeignAddress, // well formed, for another address than the monitored one
    Malformed,      // characters that make no frame (noise, a cut frame)
    TimeOut,        // a query whose answer did not come within the time-out
    ForeignId       // our address, another ID than the monitored one (an engine
                    // master takes such an answer as a slave error)
};
const char *VerdictText(TVerdict v); // "query", "answer", "unexpected-answer", "crc-error", ...
constexpr int VerdictCount = int(TVerdict::ForeignId) + 1;

// The instrument's name of a command ("poll", "read-settings"), null when it has none.
const char *CommandName(uint8_t command);

struct TFrameRecord {
    int64_t timeMs = 0; // time of the frame's last character
    TDirection direction = TDirection::Rx;
    std::string raw;    // the characters as they crossed, e.g. "M0127010000000030D7;"
    TVerdict verdict = TVerdict::Malformed;
    bool hasHeader = false;
    uint8_t address = 0, id = 0, command = 0, status = 0;
    std::string payloadHex; // payload bytes, two hex digits each
    // The command's name and fields, e.g. "poll force=0 pwm=0"; for a malformed
    // record why ("noise", "cut frame", "bad digit at 5" ...).
    std::string decoded;
    // False for a query sent before the monitor joined the line (its time-out
    // record has no characters) and for the answer paired with it.
    bool querySeen = true;

    // Filled by the monitor for the formatters: timeMs less the time of the
    // monitor's first record, and, with a wall-clock base, the wall time.
    int64_t elapsedMs = 0;
    bool hasWallClock = false;
    int64_t wallMs = 0; // ms since 1970-01-01T00:00:00, as it is to be shown
};

// The longest frame the engine can send: start, 8194 bytes as digits, end.
constexpr std::size_t MaxFrameChars = 1 + 2 * (4 + 8188 + 2) + 1;

class TFrameMonitor
{
public:
    // id 0 takes frames of any ID, as the engine's master does.
    explicit TFrameMonitor(uint8_t address = Address, int timeoutMs = 1000, uint8_t id = 0);

    // Characters as they crossed the line, at time nowMs (any steady clock, ms).
    void Feed(TDirection direction, std::string_view chars, int64_t nowMs);
    // Reports queries whose answer is overdue at nowMs, and characters that
    // make no frame and have been followed by a quiet gap (call it from a timer).
    void Tick(int64_t nowMs);
    // Nothing more comes (exit, port closed): reports every partial frame as
    // malformed and a query still waiting as timed out.
    void Flush(int64_t nowMs);
    // The master in this program has stopped waiting (its own time-out ended
    // the transaction): the waiting query is reported as timed out now, so an
    // answer that comes later is reported as unexpected, as the master drops it.
    void GiveUp(int64_t nowMs);
    // The port closed: partial frames are reported as malformed, and a query
    // still waiting is forgotten (the close, not a time-out, ended it).
    void Closed(int64_t nowMs);
    // The monitor starts on a line already in use: in each direction the
    // characters before the first frame start or ';' are the rest of a frame
    // begun before it and are skipped, not reported as noise. awaited: the
    // command of a query this program's master sent before and still waits on,
    // so its answer reads as an answer whose query was not seen, not as late.
    void JoinMidLine(int64_t nowMs, std::optional<uint8_t> awaited = std::nullopt);

    // Characters that start no frame, or a frame cut short, are reported after
    // this long without a character in their direction (default: the time-out).
    void SetQuietGapMs(int ms);
    // Records then carry wall times: wallMs is the wall time at steadyMs (add
    // the zone's offset for local time). Without it texts show seconds since
    // the first record.
    void SetWallClockBase(int64_t steadyMs, int64_t wallMs);

    std::function<void(const TFrameRecord &)> OnFrame;

    // One line per record, without a newline:
    // "2026-12-09T03:30:01.234 > M0127010000000030D7; query poll force=0 pwm=0"
    // (or "0.042 > ..." without a wall clock; control characters, spaces and
    // bytes above 0x7E of the raw part escaped as \r, \n, \t, \\ or \xHH), or a
    // JSON object with time, direction, raw, verdict, address, id, command,
    // status, payload and decoded.
    static std::string FormatText(const TFrameRecord &r);
    static std::string FormatJson(const TFrameRecord &r);
    // The raw part of FormatText: "M01...;", junk escaped.
    static std::string EscapeRaw(std::string_view raw);
    // The decoded text of a frame with a header and a good CRC, made again from
    // its raw characters (for records kept without it); empty for any other.
    static std::string DecodeRaw(std::string_view raw);

private:
    struct TState;
    std::shared_ptr<TState> m_state;
};

// A link that passes everything to inner and shows every character to the
// monitor; the monitor must outlive it.
std::unique_ptr<TMBLink> MakeSpyLink(std::unique_ptr<TMBLink> inner, TFrameMonitor &monitor,
                                     std::function<int64_t()> nowMs);

} // namespace kv508
