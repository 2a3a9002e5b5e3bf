// What kv508ctl reads, writes and prints, without any I/O: the settings as
// keys and values, the window's entry rules applied to them, the choice of
// write command, backups and their differences, and the live data as text,
// CSV and JSON.
#pragma once

#include "KV508Backup.h"
#include "KV508Commands.h"

#include <nlohmann/json.hpp>

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace ctl {

// ---- settings ----------------------------------------------------------------------------------

// The keys and fields of the settings, their differences, the JSON of the
// settings files: shared with the window (instrument/KV508Backup.h).
using kv508::AllKeys;
using kv508::IsShortWriteKey;
using kv508::KeyName;
using kv508::TKey;
using kv508::FieldOf;
using kv508::SetField;
using kv508::ShowField;
using kv508::InWindowRange;
using kv508::SpanFault;
using kv508::SpanFaultText;
using kv508::TSpanFault;
using kv508::Differences;
using kv508::TDifference;
using kv508::SettingsFromJson;
using kv508::SettingsJson;

// One KEY=VALUE of the command line, after the window's rules: numbers clamped
// to their range (note tells when), words mapped to the stored codes.
struct TEdit {
    TKey key;
    int32_t value; // the stored field's value
    std::string note; // "averaging 5000 is above 1600: 1600 is written"; empty when taken as given
};
// Throws std::invalid_argument with a message naming the key and what it takes.
TEdit ParseEdit(std::string_view keyValue);

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

std::string SettingsText(const kv508::TSettings &s); // "key: value" lines

// ---- backups ------------------------------------------------------------------------------------

using kv508::BackupFormat;
using kv508::ParseBackup;
using kv508::TBackup;
using TIdentity = kv508::TBackupIdentity;

// The file kv508ctl backup writes ("tool": "kv508ctl " + toolVersion).
std::string BackupJson(const TIdentity &who, const kv508::TSettings &s, const std::string &time,
                       const std::string &toolVersion);

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
