#include "Values.h"

#include "Checks.h"

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <limits>
#include <stdexcept>

namespace ctl {

using kv508::TSettings;
using nlohmann::json;
using nlohmann::ordered_json;

namespace {

std::string Lower(std::string_view s)
{
    std::string out(s);
    std::transform(out.begin(), out.end(), out.begin(), [](unsigned char c) { return char(std::tolower(c)); });
    return out;
}

[[noreturn]] void Bad(const std::string &text)
{
    throw std::invalid_argument(text);
}

// A whole decimal (or window-style hexadecimal) number; nothing else.
bool WholeNumber(std::string_view text, int32_t &value)
{
    return !text.empty() && text.front() != ' ' && kv508::TryStrToInt(text, value);
}

int32_t Clamped(TKey key, std::string_view text, int32_t low, int32_t high, std::string &note)
{
    int32_t v = 0;
    if (!WholeNumber(text, v))
        Bad(std::string(KeyName(key)) + "=" + std::string(text) + ": not a whole number (" + std::to_string(low) + " .. " +
            std::to_string(high) + ")");
    const int32_t clamped = kv508::Entry(text, v, low, high);
    if (clamped != v)
        note = std::string(KeyName(key)) + " " + std::to_string(v) + " is " + (v < low ? "below " : "above ") +
               std::to_string(clamped) + ": " + std::to_string(clamped) + " is written, as the window would";
    return clamped;
}

bool Boolean(std::string_view text, bool &value)
{
    const std::string t = Lower(text);
    if (t == "on" || t == "yes" || t == "true" || t == "1" || t == "enabled") {
        value = true;
        return true;
    }
    if (t == "off" || t == "no" || t == "false" || t == "0" || t == "disabled") {
        value = false;
        return true;
    }
    return false;
}

} // namespace

// ---- settings ----------------------------------------------------------------------------------

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

TEdit ParseEdit(std::string_view keyValue)
{
    const auto eq = keyValue.find('=');
    if (eq == std::string_view::npos || eq == 0)
        Bad("\"" + std::string(keyValue) + "\" is not KEY=VALUE (keys: 4ma, 20ma, error-current, error-level, sensor, "
                                           "averaging, input)");
    const std::string key = Lower(keyValue.substr(0, eq));
    const std::string_view value = keyValue.substr(eq + 1);
    TEdit e{TKey::At4mA, 0, {}};
    bool known = false;
    for (TKey k : AllKeys)
        if (key == KeyName(k)) {
            e.key = k;
            known = true;
        }
    if (!known)
        Bad("unknown setting \"" + key + "\" (keys: 4ma, 20ma, error-current, error-level, sensor, averaging, input)");

    switch (e.key) {
    case TKey::At4mA:
    case TKey::At20mA: e.value = Clamped(e.key, value, kv508::PressureLow, kv508::PressureHigh, e.note); break;
    case TKey::Averaging: e.value = Clamped(e.key, value, kv508::AveragingLow, kv508::AveragingHigh, e.note); break;
    case TKey::ErrorCurrent: {
        bool on = false;
        if (!Boolean(value, on))
            Bad("error-current=" + std::string(value) + ": takes on or off (whether the error current is used)");
        e.value = on ? 0 : 1; // the stored flag means "disabled"
        break;
    }
    case TKey::ErrorLevel: {
        std::string t = Lower(value);
        if (t.size() > 2 && t.ends_with("ma"))
            t.resize(t.size() - 2);
        std::replace(t.begin(), t.end(), ',', '.');
        if (t == "3.2")
            e.value = 0;
        else if (t == "22" || t == "22.0")
            e.value = 1;
        else
            Bad("error-level=" + std::string(value) + ": takes 3.2 or 22 (mA)");
        break;
    }
    case TKey::Sensor: {
        int32_t v = 0;
        if (!WholeNumber(value, v) || v < 1 || v > kv508::SensorCount)
            Bad("sensor=" + std::string(value) + ": takes a sensor type 1 .. 12");
        e.value = v;
        break;
    }
    case TKey::Input: {
        const std::string t = Lower(value);
        if (t == "pressure" || t == "0")
            e.value = 0;
        else if (t == "temperature" || t == "1")
            e.value = 1;
        else
            Bad("input=" + std::string(value) + ": takes pressure or temperature");
        break;
    }
    }
    return e;
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
    case TKey::At20mA: return v >= kv508::PressureLow && v <= kv508::PressureHigh;
    case TKey::Sensor: return v >= 1 && v <= kv508::SensorCount;
    case TKey::Averaging: return v >= kv508::AveragingLow && v <= kv508::AveragingHigh;
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

TWritePlan PlanWrite(const TSettings &stored, const std::vector<TEdit> &edits)
{
    TWritePlan plan;
    plan.settings = stored;
    bool longKeyEdited = false;
    for (const TEdit &e : edits) {
        SetField(plan.settings, e.key, e.value);
        longKeyEdited = longKeyEdited || !IsShortWriteKey(e.key);
    }
    const bool tailValid = InWindowRange(stored, TKey::Sensor) && InWindowRange(stored, TKey::Averaging) &&
                           InWindowRange(stored, TKey::Input);
    plan.command = !longKeyEdited && tailValid ? kv508::Cmd_WriteSettings2 : kv508::Cmd_WriteSettings;
    if (plan.command == kv508::Cmd_WriteSettings) {
        // What the window's CollectSettings does with a stored value it cannot show.
        TSettings &s = plan.settings;
        auto replaced = [&](TKey key, const std::string &was) {
            plan.notes.push_back("the stored " + std::string(KeyName(key)) + " " + was + " is out of range: " +
                                 ShowField(s, key) + " is written");
        };
        if (!InWindowRange(s, TKey::Sensor)) {
            const std::string was = ShowField(s, TKey::Sensor);
            s.SensorCode = kv508::SensorDefault;
            replaced(TKey::Sensor, was);
        }
        if (!InWindowRange(s, TKey::Averaging)) {
            const std::string was = ShowField(s, TKey::Averaging);
            // An erased 65535 is no value anyone chose: the window's default for a
            // missing one, not its clamp (1600 would take the reading ~16 s to settle).
            s.Averaging = kv508::AveragingDefault;
            replaced(TKey::Averaging, was);
        }
        if (!InWindowRange(s, TKey::Input)) {
            const std::string was = ShowField(s, TKey::Input);
            s.InputCode = 0;
            replaced(TKey::Input, was);
        }
    }
    plan.changes = !(plan.settings == stored);
    return plan;
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

std::string SettingsText(const TSettings &s)
{
    std::string out;
    for (TKey k : AllKeys)
        out += std::string(KeyName(k)) + ": " + ShowField(s, k) + "\n";
    return out;
}

// ---- backups ------------------------------------------------------------------------------------

std::string BackupJson(const TIdentity &who, const TSettings &s, const std::string &time, const std::string &toolVersion)
{
    ordered_json j;
    j["format"] = BackupFormat;
    j["tool"] = "kv508ctl " + toolVersion;
    j["time"] = time;
    ordered_json w;
    w["address"] = who.address;
    w["id"] = who.id;
    w["firmware"] = kv508::FormatDateCode(who.firmware);
    w["firmware-code"] = who.firmware;
    w["calibration-date"] = kv508::FormatDateCode(who.calibrationDate);
    w["calibration-code"] = who.calibrationDate;
    w["decimals"] = who.decimals;
    w["scale-end"] = FormatScaled(who.scaleEnd, who.decimals);
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

// ---- live data ------------------------------------------------------------------------------------

std::string FormatScaled(int16_t value, uint8_t decimals)
{
    if (decimals > 9)
        return std::to_string(value) + "e-" + std::to_string(decimals);
    return kv508::FormatScaled(value, decimals);
}

std::string FormatMilliAmps(int16_t microAmps)
{
    return FormatScaled(microAmps, 3);
}

namespace {

std::string FlagsText(uint8_t bits)
{
    std::string out;
    for (const kv508::TErrorFlag &f : kv508::ErrorFlags)
        if (bits & f.bit)
            out += (out.empty() ? "" : ", ") + std::string(f.name) + " (" + f.key + ")";
    return out.empty() ? "none" : out;
}

std::string Csv(std::string s)
{
    if (s.find_first_of(",\"\n") == std::string::npos)
        return s;
    std::string out = "\"";
    for (char c : s)
        out += c == '"' ? std::string("\"\"") : std::string(1, c);
    return out + "\"";
}

} // namespace

std::string LiveText(const kv508::TLiveData &d)
{
    std::string out;
    out += "pressure: " + FormatScaled(d.MeasuredValue, d.Decimals) + "\n";
    out += "output: " + FormatMilliAmps(d.OutputValue) + " mA\n";
    out += "errors: " + FlagsText(d.ErrorBits) + "\n";
    out += "firmware: " + kv508::FormatDateCode(d.FirmwareDateCode) + "\n";
    out += "calibrated: " + kv508::FormatDateCode(d.CalibrationDateCode) + "\n";
    out += "scale-end: " + FormatScaled(d.ScaleEnd, d.Decimals) + "\n";
    out += "adc: " + std::to_string(d.BridgeDataAveraged) + "\n";
    out += "sps: " + std::to_string(d.SPS) + "\n";
    return out;
}

std::string LiveLine(const kv508::TLiveData &d, const std::string &time)
{
    return time + "  pressure " + FormatScaled(d.MeasuredValue, d.Decimals) + "  output " + FormatMilliAmps(d.OutputValue) +
           " mA  adc " + std::to_string(d.BridgeDataAveraged) + "  sps " + std::to_string(d.SPS) + "  errors " +
           FlagsText(d.ErrorBits) + "\n";
}

std::string CsvHeader()
{
    std::string h = "time,pressure,output_ma";
    for (const kv508::TErrorFlag &f : kv508::ErrorFlags) {
        std::string key = f.key;
        std::replace(key.begin(), key.end(), '-', '_');
        h += "," + key;
    }
    return h + ",firmware,calibration_date,scale_end,adc,sps\n";
}

std::string CsvRow(const kv508::TLiveData &d, const std::string &time)
{
    std::string r = Csv(time) + "," + FormatScaled(d.MeasuredValue, d.Decimals) + "," + FormatMilliAmps(d.OutputValue);
    for (const kv508::TErrorFlag &f : kv508::ErrorFlags)
        r += (d.ErrorBits & f.bit) ? ",1" : ",0";
    return r + "," + Csv(kv508::FormatDateCode(d.FirmwareDateCode)) + "," + Csv(kv508::FormatDateCode(d.CalibrationDateCode)) +
           "," + FormatScaled(d.ScaleEnd, d.Decimals) + "," + std::to_string(d.BridgeDataAveraged) + "," +
           std::to_string(d.SPS) + "\n";
}

ordered_json LiveJson(const kv508::TLiveData &d, const std::string &time)
{
    ordered_json j;
    j["time"] = time;
    // A number with the instrument's decimals; the digits as sent beside it.
    j["pressure"] = ordered_json::parse(FormatScaled(d.MeasuredValue, d.Decimals));
    j["pressure-digits"] = d.MeasuredValue;
    j["decimals"] = d.Decimals;
    j["output-ma"] = d.OutputValue / 1000.0;
    ordered_json errors = ordered_json::object();
    for (const kv508::TErrorFlag &f : kv508::ErrorFlags)
        errors[f.key] = (d.ErrorBits & f.bit) != 0;
    j["errors"] = errors;
    ordered_json labels = ordered_json::array();
    for (const kv508::TErrorFlag &f : kv508::ErrorFlags)
        if (d.ErrorBits & f.bit)
            labels.push_back(f.name);
    j["error-labels"] = labels;
    j["firmware"] = kv508::FormatDateCode(d.FirmwareDateCode);
    j["calibration-date"] = kv508::FormatDateCode(d.CalibrationDateCode);
    j["calibration-code"] = d.CalibrationDateCode;
    j["scale-end"] = ordered_json::parse(FormatScaled(d.ScaleEnd, d.Decimals));
    j["adc"] = d.BridgeDataAveraged;
    j["sps"] = d.SPS;
    return j;
}

// ---- forced output --------------------------------------------------------------------------------

TForce ParseForce(std::string_view text, uint16_t onValue)
{
    const std::string t = Lower(text);
    if (t == "off")
        return {false, 0};
    if (t == "on")
        return {true, onValue};
    if (t == "f")
        return {true, kv508::PWMMax};
    if (t == "50%")
        return {true, 4095}; // the window's button, not 8191 / 2 rounded
    int32_t v = 0;
    if (WholeNumber(t, v) && v >= 0 && v <= kv508::PWMMax)
        return {true, static_cast<uint16_t>(v)};
    Bad("force-output " + std::string(text) + ": takes on, off, a drive value 0 .. 8191, F (8191) or 50% (4095)");
}

} // namespace ctl
