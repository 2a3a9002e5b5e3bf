#include "KV508Backup.h"

#include "KV508Settle.h"
#include "Text.h"

#include <algorithm>
#include <cstdio>
#include <limits>
#include <stdexcept>
#include <type_traits>

namespace kv508 {

using nlohmann::json;
using nlohmann::ordered_json;

namespace {

[[noreturn]] void Bad(const std::string &text)
{
    throw std::invalid_argument(text);
}

} // namespace

// ---- settings as keys ---------------------------------------------------------------------------

const char *KeyName(TKey key)
{
    switch (key) {
    case TKey::At4mA: return "4ma";
    case TKey::At20mA: return "20ma";
    case TKey::ErrorCurrent: return "error-current";
    case TKey::ErrorLevel: return "error-level";
    case TKey::Sensor: return "sensor";
    case TKey::Averaging: return "averaging";
    case TKey::Input: return "input";
    }
    return "?";
}

bool IsShortWriteKey(TKey key)
{
    return key == TKey::At4mA || key == TKey::At20mA || key == TKey::ErrorCurrent || key == TKey::ErrorLevel;
}

int32_t FieldOf(const TSettings &s, TKey key)
{
    switch (key) {
    case TKey::At4mA: return s.iFizFor4mA;
    case TKey::At20mA: return s.iFizFor20mA;
    case TKey::ErrorCurrent: return s.bErrorCurrentMode ? 1 : 0;
    case TKey::ErrorLevel: return s.bErrorCurrentValue ? 1 : 0;
    case TKey::Sensor: return s.SensorCode;
    case TKey::Averaging: return s.Averaging;
    case TKey::Input: return s.InputCode;
    }
    return 0;
}

void SetField(TSettings &s, TKey key, int32_t value)
{
    switch (key) {
    case TKey::At4mA: s.iFizFor4mA = static_cast<int16_t>(value); break;
    case TKey::At20mA: s.iFizFor20mA = static_cast<int16_t>(value); break;
    case TKey::ErrorCurrent: s.bErrorCurrentMode = value != 0; break;
    case TKey::ErrorLevel: s.bErrorCurrentValue = value != 0; break;
    case TKey::Sensor: s.SensorCode = static_cast<uint8_t>(value); break;
    case TKey::Averaging: s.Averaging = static_cast<uint16_t>(value); break;
    case TKey::Input: s.InputCode = static_cast<uint8_t>(value); break;
    }
}

std::string ShowField(const TSettings &s, TKey key)
{
    switch (key) {
    case TKey::ErrorCurrent: return s.bErrorCurrentMode ? "off" : "on";
    case TKey::ErrorLevel: return s.bErrorCurrentValue ? "22" : "3.2";
    case TKey::Input:
        if (s.InputCode <= 1)
            return s.InputCode == 0 ? "pressure" : "temperature";
        return std::to_string(s.InputCode);
    default: return std::to_string(FieldOf(s, key));
    }
}

bool InWindowRange(const TSettings &s, TKey key)
{
    const int32_t v = FieldOf(s, key);
    switch (key) {
    case TKey::At4mA:
    case TKey::At20mA: return v >= PressureLow && v <= PressureHigh;
    case TKey::Sensor: return v >= 1 && v <= SensorCount;
    case TKey::Averaging: return v >= AveragingLow && v <= AveragingHigh;
    case TKey::Input: return v <= 1;
    default: return true;
    }
}

TSpanFault SpanFault(const TSettings &s)
{
    if (s.iFizFor4mA == s.iFizFor20mA)
        return TSpanFault::Zero;
    return s.iFizFor20mA < s.iFizFor4mA ? TSpanFault::Inverted : TSpanFault::None;
}

std::string SpanFaultText(const TSettings &s)
{
    const std::string pair = "4ma " + std::to_string(s.iFizFor4mA) + " and 20ma " + std::to_string(s.iFizFor20mA);
    switch (SpanFault(s)) {
    case TSpanFault::Zero:
        return pair + ": the span is zero (the same value for 4 mA and 20 mA), so the output means nothing";
    case TSpanFault::Inverted:
        return pair + ": the span is inverted (the value at 20 mA below the one at 4 mA), so the output falls as "
                      "the pressure rises";
    case TSpanFault::None: break;
    }
    return {};
}

std::vector<TDifference> Differences(const TSettings &wanted, const TSettings &actual)
{
    std::vector<TDifference> out;
    for (TKey k : AllKeys)
        if (FieldOf(wanted, k) != FieldOf(actual, k))
            out.push_back({k, ShowField(wanted, k), ShowField(actual, k)});
    return out;
}

ordered_json SettingsJson(const TSettings &s)
{
    ordered_json j;
    j["4ma"] = s.iFizFor4mA;
    j["20ma"] = s.iFizFor20mA;
    j["error-current"] = !s.bErrorCurrentMode;
    j["error-level"] = s.bErrorCurrentValue ? 22.0 : 3.2;
    j["sensor"] = s.SensorCode;
    j["averaging"] = s.Averaging;
    if (s.InputCode <= 1)
        j["input"] = s.InputCode == 0 ? "pressure" : "temperature";
    else
        j["input"] = s.InputCode;
    return j;
}

TSettings SettingsFromJson(const json &j)
{
    if (!j.is_object())
        Bad("\"settings\" is not an object");
    auto integer = [&](const char *key, int64_t low, int64_t high) -> int64_t {
        if (!j.contains(key))
            Bad(std::string("settings: \"") + key + "\" is missing");
        const json &v = j.at(key);
        // (an unsigned number above INT64_MAX would wrap to a negative one)
        if (!v.is_number_integer() || (v.is_number_unsigned() && v.get<uint64_t>() > uint64_t(std::numeric_limits<int64_t>::max())) ||
            v.get<int64_t>() < low || v.get<int64_t>() > high)
            Bad(std::string("settings: \"") + key + "\" must be a whole number " + std::to_string(low) + " .. " +
                std::to_string(high));
        return v.get<int64_t>();
    };
    TSettings s;
    s.iFizFor4mA = static_cast<int16_t>(integer("4ma", std::numeric_limits<int16_t>::min(), std::numeric_limits<int16_t>::max()));
    s.iFizFor20mA = static_cast<int16_t>(integer("20ma", std::numeric_limits<int16_t>::min(), std::numeric_limits<int16_t>::max()));
    if (!j.contains("error-current") || !j.at("error-current").is_boolean())
        Bad("settings: \"error-current\" must be true or false");
    s.bErrorCurrentMode = !j.at("error-current").get<bool>();
    if (!j.contains("error-level") || !j.at("error-level").is_number())
        Bad("settings: \"error-level\" must be 3.2 or 22");
    const double level = j.at("error-level").get<double>();
    if (level != 22.0 && !(level > 3.19 && level < 3.21))
        Bad("settings: \"error-level\" must be 3.2 or 22");
    s.bErrorCurrentValue = level == 22.0;
    s.SensorCode = static_cast<uint8_t>(integer("sensor", 0, 255));
    s.Averaging = static_cast<uint16_t>(integer("averaging", 0, 65535));
    if (!j.contains("input"))
        Bad("settings: \"input\" is missing");
    const json &input = j.at("input");
    if (input == "pressure")
        s.InputCode = 0;
    else if (input == "temperature")
        s.InputCode = 1;
    else
        s.InputCode = static_cast<uint8_t>(integer("input", 0, 255));
    return s;
}

// ---- settings files -----------------------------------------------------------------------------

std::string BackupText(const TBackupIdentity &who, const TSettings &s, const std::string &time, const std::string &tool)
{
    ordered_json j;
    j["format"] = BackupFormat;
    j["tool"] = tool;
    j["time"] = time;
    ordered_json w;
    w["address"] = who.address;
    w["id"] = who.id;
    w["firmware"] = FormatDateCode(who.firmware);
    w["firmware-code"] = who.firmware;
    w["calibration-date"] = FormatDateCode(who.calibrationDate);
    w["calibration-code"] = who.calibrationDate;
    w["decimals"] = who.decimals;
    w["scale-end"] = ScaledText(who.scaleEnd, who.decimals);
    j["instrument"] = w;
    j["settings"] = SettingsJson(s);
    return j.dump(2) + "\n";
}

namespace {

// JSON takes the last of two equal keys silently: a backup edited by hand
// would restore a value nobody sees. Each object's keys so far, by depth.
json ParseRefusingDuplicates(std::string_view text)
{
    std::vector<std::vector<std::string>> keys;
    const json::parser_callback_t check = [&keys](int, json::parse_event_t event, json &parsed) {
        switch (event) {
        case json::parse_event_t::object_start: keys.emplace_back(); break;
        case json::parse_event_t::object_end:
            if (!keys.empty())
                keys.pop_back();
            break;
        case json::parse_event_t::key: {
            const std::string key = parsed.get<std::string>();
            if (keys.empty())
                break;
            std::vector<std::string> &seen = keys.back();
            if (std::find(seen.begin(), seen.end(), key) != seen.end())
                Bad("the key \"" + ShownName(key, 40) + "\" appears twice in one object: keep only the one meant");
            seen.push_back(key);
            break;
        }
        default: break;
        }
        return true;
    };
    try {
        return json::parse(text, check);
    } catch (const json::parse_error &e) {
        Bad(std::string("not JSON: ") + e.what());
    }
}

} // namespace

TBackup ParseBackup(std::string_view text)
{
    const json j = ParseRefusingDuplicates(text);
    if (!j.is_object() || !j.contains("format") || j.at("format") != BackupFormat)
        Bad(std::string("not a kv508ctl backup (\"format\" must be \"") + BackupFormat + "\")");
    if (!j.contains("settings"))
        Bad("\"settings\" is missing");
    TBackup b;
    b.settings = SettingsFromJson(j.at("settings"));
    if (j.contains("time") && j.at("time").is_string())
        b.time = j.at("time").get<std::string>();
    if (j.contains("instrument") && j.at("instrument").is_object()) {
        const json &w = j.at("instrument");
        auto number = [&](const char *key, auto &out) {
            using T = std::remove_reference_t<decltype(out)>;
            if (w.contains(key) && w.at(key).is_number_unsigned() && w.at(key).get<uint64_t>() <= std::numeric_limits<T>::max())
                out = static_cast<T>(w.at(key).get<uint64_t>());
        };
        number("address", b.who.address);
        number("id", b.who.id);
        number("firmware-code", b.who.firmware);
        number("calibration-code", b.who.calibrationDate);
        number("decimals", b.who.decimals);
    }
    return b;
}

// ---- names in messages ----------------------------------------------------------------------------

namespace {

bool Hidden(char32_t code)
{
    return code < 0x20 || (code >= 0x7F && code <= 0x9F) || (code >= 0x202A && code <= 0x202E) ||
           (code >= 0x2066 && code <= 0x2069) || code == 0x200E || code == 0x200F;
}

} // namespace

std::string ShownName(std::string_view text, std::size_t maxBytes)
{
    std::string out;
    for (std::size_t i = 0; i < text.size();) {
        std::size_t next = i;
        const char32_t code = mbcore::NextCodePoint(text, next);
        const std::size_t n = code == mbcore::kNotUtf8 ? 0 : next - i;
        std::string piece;
        if (n == 0 || Hidden(code)) {
            for (std::size_t k = 0; k < std::max<std::size_t>(n, 1); ++k) {
                char hex[8];
                std::snprintf(hex, sizeof hex, "\\x%02x", static_cast<unsigned char>(text[i + k]));
                piece += hex;
            }
        } else {
            piece.assign(text.substr(i, n));
        }
        if (out.size() + piece.size() > maxBytes) {
            out += "…";
            break;
        }
        out += piece;
        i += std::max<std::size_t>(n, 1);
    }
    return out;
}

} // namespace kv508
