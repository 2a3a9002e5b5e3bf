// Every frame on the line, decoded: a monitor fed with the characters that
// cross a link (with their direction and time) turns them into one record per
// frame, with the raw frame, the instrument command and fields it carries, and
// a verdict. A spy link puts the monitor between the engine and a real link,
// so a program watches its own traffic without a second program.
// Plain C++.
#pragma once

#include "KV508Commands.h"
#include "MBLink.h"

#include <cstdint>
#include <functional>
#include <memory>
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
    TimeOut         // a query whose answer did not come within the time-out
};
const char *VerdictText(TVerdict v); // "query", "answer", "crc-error", ...

struct TFrameRecord {
    int64_t timeMs = 0; // time of the frame's last character
    TDirection direction = TDirection::Rx;
    std::string raw;    // the characters as they crossed, e.g. "M0127010000000030D7;"
    TVerdict verdict = TVerdict::Malformed;
    bool hasHeader = false;
    uint8_t address = 0, id = 0, command = 0, status = 0;
    std::string payloadHex; // payload bytes, two hex digits each
    std::string decoded;    // the command's name and fields, e.g. "poll: p=034.5 out=6.216 mA flags=-"
};

class TFrameMonitor
{
public:
    explicit TFrameMonitor(uint8_t address = Address, int timeoutMs = 1000);

    // Characters as they crossed the line, at time nowMs (any steady clock, ms).
    void Feed(TDirection direction, std::string_view chars, int64_t nowMs);
    // Reports queries whose answer is overdue at nowMs (call it from a timer or before exiting).
    void Tick(int64_t nowMs);

    std::function<void(const TFrameRecord &)> OnFrame;

    // One line per record: "12:00:01.234 > M0127...; query poll ..." for text,
    // or a JSON object; both without a newline.
    static std::string FormatText(const TFrameRecord &r);
    static std::string FormatJson(const TFrameRecord &r);

private:
    struct TState;
    std::shared_ptr<TState> m_state;
};

// A link that passes everything to inner and shows every character to the monitor.
std::unique_ptr<TMBLink> MakeSpyLink(std::unique_ptr<TMBLink> inner, TFrameMonitor &monitor,
                                     std::function<int64_t()> nowMs);

} // namespace kv508
