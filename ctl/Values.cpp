#include "Values.h"

#include "Checks.h"
#include "KV508Settle.h"

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
    return kv508::BackupText(who, s, time, "kv508ctl " + toolVersion);
}

// ---- live data ------------------------------------------------------------------------------------

std::string FormatScaled(int16_t value, uint8_t decimals)
{
    return kv508::ScaledText(value, decimals);
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
