// What kv508ctl reads, writes and prints, without any I/O: the settings as
// keys and values, the window's entry rules applied to them, the choice of
// write command, backups and their differences, and the live data as text,
// CSV and JSON.
#pragma once

#include "KV508Commands.h"

#include <nlohmann/json.hpp>

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace ctl {

// ---- settings ----------------------------------------------------------------------------------

// The keys of "settings set", in the order of the instrument's layout; the
// first four are all that command 10 writes.
enum class TKey { At4mA, At20mA, ErrorCurrent, ErrorLevel, Sensor, Averaging, Input };
constexpr TKey AllKeys[] = {TKey::At4mA,  TKey::At20mA,    TKey::ErrorCurrent, TKey::ErrorLevel,
                            TKey::Sensor, TKey::Averaging, TKey::Input};
const char *KeyName(TKey key); // "4ma", "20ma", "error-current", ...
bool IsShortWriteKey(TKey key); // one of the four that command 10 carries

// One KEY=VALUE of the command line, after the window's rules: numbers clamped
// to their range (note tells when), words mapped to the stored codes.
struct TEdit {
    TKey key;
    int32_t value; // the stored field's value
    std::string note; // "averaging 5000 is above 1600: 1600 is written"; empty when taken as given
};
// Throws std::invalid_argument with a message naming the key and what it takes.
TEdit ParseEdit(std::string_view keyValue);

int32_t FieldOf(const kv508::TSettings &s, TKey key);
void SetField(kv508::TSettings &s, TKey key, int32_t value);
// The field as "settings get" prints it and "settings set" takes it back.
std::string ShowField(const kv508::TSettings &s, TKey key);

// True when every field lies where the window can put it (sensor 1..12,
// averaging 1..1600, input 0/1, pressures within +-9999).
bool InWindowRange(const kv508::TSettings &s, TKey key);

// The output's span, 4ma to 20ma: equal values give every pressure the same
// current; an inverted pair makes the current fall as the pressure rises.
enum class TSpanFault { None, Zero, Inverted };
TSpanFault SpanFault(const kv508::TSettings &s);
// "4ma 2491 and 20ma 0: the span is inverted (...)"; empty for a usable span.
std::string SpanFaultText(const kv508::TSettings &s);

// The write that "settings set" sends: what to store and with which command.
struct TWritePlan {
    kv508::TSettings settings;  // what the instrument should hold afterwards
    uint8_t command = kv508::Cmd_WriteSettings;
    std::vector<std::string> notes; // stored values replaced by the window's defaults
    bool changes = false;           // false: the instrument already holds it
};
// Command 10 when only the first four fields change and the stored last three
// are ones the window could have set; else command 7, whose last three come
// from the edits or, when the stored ones are out of range, the window's
// defaults for a missing value (sensor 5, averaging 80, input pressure).
TWritePlan PlanWrite(const kv508::TSettings &stored, const std::vector<TEdit> &edits);

// Fields that differ between what was meant and what was read back (for
// command 10 the last three must simply be unchanged, so they are compared too).
struct TDifference {
    TKey key;
    std::string wanted, actual;
};
std::vector<TDifference> Differences(const kv508::TSettings &wanted, const kv508::TSettings &actual);

nlohmann::ordered_json SettingsJson(const kv508::TSettings &s);
// Throws std::invalid_argument naming the key that is missing or wrong.
kv508::TSettings SettingsFromJson(const nlohmann::json &j);
std::string SettingsText(const kv508::TSettings &s); // "key: value" lines

// ---- backups ------------------------------------------------------------------------------------

constexpr const char *BackupFormat = "kv508ctl backup 1";

struct TIdentity {
    uint8_t address = kv508::Address, id = kv508::Id;
    uint32_t firmware = 0, calibrationDate = 0;
    uint8_t decimals = 0;
    int16_t scaleEnd = 0;
};

std::string BackupJson(const TIdentity &who, const kv508::TSettings &s, const std::string &time,
                       const std::string &toolVersion);
struct TBackup {
    TIdentity who;
    kv508::TSettings settings;
    std::string time;
};
// Throws std::invalid_argument with the reason (not JSON, a key given twice,
// not a backup, a key missing or out of range, settings no window could have written).
TBackup ParseBackup(std::string_view text);

// ---- live data ------------------------------------------------------------------------------------

// value x 10^-decimals with exactly that many decimals: 2491, 1 -> "249.1"
// (past 9 decimals, which no instrument shows, the digits as sent: "2491e-12").
std::string FormatScaled(int16_t value, uint8_t decimals);
std::string FormatMilliAmps(int16_t microAmps); // 4000 -> "4.000"

std::string LiveText(const kv508::TLiveData &d);                 // "key: value" lines
std::string LiveLine(const kv508::TLiveData &d, const std::string &time); // one line of a watch
std::string CsvHeader();
std::string CsvRow(const kv508::TLiveData &d, const std::string &time);
nlohmann::ordered_json LiveJson(const kv508::TLiveData &d, const std::string &time);

// ---- forced output --------------------------------------------------------------------------------

struct TForce {
    bool on = false;
    uint16_t pwm = 0;
};
// "off", "on" (at onValue), 0..8191, "F" (8191), "50%" (4095), as the
// window's buttons. Throws std::invalid_argument.
TForce ParseForce(std::string_view text, uint16_t onValue);

} // namespace ctl
