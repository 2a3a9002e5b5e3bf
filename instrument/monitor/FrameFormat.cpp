// The record as a line of text or of JSON.
#include "FrameMonitor.h"

#include <chrono>
#include <cstdio>

namespace kv508 {

namespace {

std::string TimeText(const TFrameRecord &r)
{
    char text[64];
    if (r.hasWallClock) {
        using namespace std::chrono;
        const milliseconds ms{r.wallMs};
        const sys_days day = floor<days>(sys_time<milliseconds>(ms));
        const year_month_day date{day};
        const hh_mm_ss<milliseconds> clock{ms - day.time_since_epoch()};
        std::snprintf(text, sizeof text, "%04d-%02u-%02uT%02d:%02d:%02d.%03d", int(date.year()),
                      unsigned(date.month()), unsigned(date.day()), int(clock.hours().count()),
                      int(clock.minutes().count()), int(clock.seconds().count()),
                      int(clock.subseconds().count()));
    } else {
        const int64_t a = r.elapsedMs < 0 ? -r.elapsedMs : r.elapsedMs;
        std::snprintf(text, sizeof text, "%s%lld.%03d", r.elapsedMs < 0 ? "-" : "", static_cast<long long>(a / 1000),
                      static_cast<int>(a % 1000));
    }
    return text;
}

} // namespace

// Raw characters as one word: junk may hold anything.
std::string TFrameMonitor::EscapeRaw(std::string_view raw)
{
    std::string out;
    for (char ch : raw) {
        const auto c = static_cast<unsigned char>(ch);
        switch (c) {
        case '\\': out += "\\\\"; break;
        case '\r': out += "\\r"; break;
        case '\n': out += "\\n"; break;
        case '\t': out += "\\t"; break;
        default:
            if (c <= 0x20 || c >= 0x7F) {
                char hex[8];
                std::snprintf(hex, sizeof hex, "\\x%02X", unsigned(c));
                out += hex;
            } else {
                out += ch;
            }
        }
    }
    return out;
}

namespace {

// Length of the well-formed UTF-8 sequence at s[i], 0 when there is none.
std::size_t Utf8Length(std::string_view s, std::size_t i)
{
    const auto b = [&s](std::size_t k) { return static_cast<unsigned char>(s[k]); };
    const unsigned char c = b(i);
    std::size_t n;
    unsigned char lo = 0x80, hi = 0xBF; // range of the second byte
    if (c >= 0xC2 && c <= 0xDF)
        n = 2;
    else if (c >= 0xE0 && c <= 0xEF) {
        n = 3;
        lo = c == 0xE0 ? 0xA0 : 0x80;
        hi = c == 0xED ? 0x9F : 0xBF;
    } else if (c >= 0xF0 && c <= 0xF4) {
        n = 4;
        lo = c == 0xF0 ? 0x90 : 0x80;
        hi = c == 0xF4 ? 0x8F : 0xBF;
    } else
        return 0;
    if (i + n > s.size() || b(i + 1) < lo || b(i + 1) > hi)
        return 0;
    for (std::size_t k = 2; k < n; ++k)
        if (b(i + k) < 0x80 || b(i + k) > 0xBF)
            return 0;
    return n;
}

// A JSON string. Bytes: every byte above 0x7F stands for itself (U+0080..U+00FF);
// text: UTF-8 passes, a byte that is none becomes U+FFFD.
std::string JsonString(std::string_view s, bool bytes)
{
    std::string out = "\"";
    for (std::size_t i = 0; i < s.size(); ++i) {
        const auto c = static_cast<unsigned char>(s[i]);
        char hex[8];
        switch (c) {
        case '"': out += "\\\""; break;
        case '\\': out += "\\\\"; break;
        case '\n': out += "\\n"; break;
        case '\r': out += "\\r"; break;
        case '\t': out += "\\t"; break;
        case '\b': out += "\\b"; break;
        case '\f': out += "\\f"; break;
        default:
            if (c < 0x20 || c == 0x7F || (c > 0x7F && bytes)) {
                std::snprintf(hex, sizeof hex, "\\u%04x", unsigned(c));
                out += hex;
            } else if (c > 0x7F) {
                const std::size_t n = Utf8Length(s, i);
                if (n == 0) {
                    out += "\\ufffd";
                } else {
                    out.append(s.substr(i, n));
                    i += n - 1;
                }
            } else {
                out += static_cast<char>(c);
            }
        }
    }
    return out + '"';
}

} // namespace

std::string TFrameMonitor::FormatText(const TFrameRecord &r)
{
    std::string line = TimeText(r);
    line += r.direction == TDirection::Tx ? " > " : " < ";
    line += EscapeRaw(r.raw);
    line += ' ';
    line += VerdictText(r.verdict);
    if (r.verdict == TVerdict::Answer && !r.querySeen)
        line += " (query not seen)";
    if (!r.decoded.empty()) {
        line += ' ';
        // one line whatever the text holds
        for (char ch : r.decoded) {
            const auto c = static_cast<unsigned char>(ch);
            if (c < 0x20 || c == 0x7F) {
                char hex[8];
                std::snprintf(hex, sizeof hex, "\\x%02X", unsigned(c));
                line += hex;
            } else {
                line += ch;
            }
        }
    }
    return line;
}

std::string TFrameMonitor::FormatJson(const TFrameRecord &r)
{
    const auto number = [&r](uint8_t v) { return r.hasHeader ? std::to_string(v) : std::string("null"); };
    return "{\"time\":" + JsonString(TimeText(r), false) +
           ",\"direction\":" + (r.direction == TDirection::Tx ? "\"tx\"" : "\"rx\"") +
           ",\"raw\":" + JsonString(r.raw, true) + ",\"verdict\":\"" + VerdictText(r.verdict) +
           "\",\"address\":" + number(r.address) + ",\"id\":" + number(r.id) + ",\"command\":" + number(r.command) +
           ",\"status\":" + number(r.status) +
           ",\"payload\":" + (r.hasHeader ? JsonString(r.payloadHex, false) : std::string("null")) +
           ",\"decoded\":" + JsonString(r.decoded, false) + "}";
}

} // namespace kv508
