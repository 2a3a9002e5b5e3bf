// The instrument's settings as named keys, and the JSON settings files that
// kv508ctl backup / restore / diff and the window's "Save / Load / Compare
// settings" read and write: one format, one parser. Plain C++, no I/O.
#pragma once

#include "KV508Commands.h"

#include <nlohmann/json.hpp>

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace kv508 {

// ---- settings as keys ---------------------------------------------------------------------------

// The keys of the settings, in the order of the instrument's layout; the
// first four are all that command 10 writes.
enum class TKey { At4mA, At20mA, ErrorCurrent, ErrorLevel, Sensor, Averaging, Input };
constexpr TKey AllKeys[] = {TKey::At4mA,  TKey::At20mA,    TKey::ErrorCurrent, TKey::ErrorLevel,
                            TKey::Sensor, TKey::Averaging, TKey::Input};
const char *KeyName(TKey key);  // "4ma", "20ma", "error-current", ...
bool IsShortWriteKey(TKey key); // one of the four that command 10 carries

int32_t FieldOf(const TSettings &s, TKey key);
void SetField(TSettings &s, TKey key, int32_t value);
// The field as kv508ctl prints it and takes it back ("on", "3.2", "pressure", numbers).
std::string ShowField(const TSettings &s, TKey key);

// True when the field lies where the window can put it (sensor 1..12,
// averaging 1..1600, input 0/1, pressures within +-9999).
bool InWindowRange(const TSettings &s, TKey key);

// The output's span, 4ma to 20ma: equal values give every pressure the same
// current; an inverted pair makes the current fall as the pressure rises.
enum class TSpanFault { None, Zero, Inverted };
TSpanFault SpanFault(const TSettings &s);
// "4ma 2491 and 20ma 0: the span is inverted (...)"; empty for a usable span.
std::string SpanFaultText(const TSettings &s);

// Fields that differ between what was meant and what was read back (for
// command 10 the last three must simply be unchanged, so they are compared too).
struct TDifference {
    TKey key;
    std::string wanted, actual;
};
std::vector<TDifference> Differences(const TSettings &wanted, const TSettings &actual);

nlohmann::ordered_json SettingsJson(const TSettings &s);
// Throws std::invalid_argument naming the key that is missing or wrong.
TSettings SettingsFromJson(const nlohmann::json &j);

// ---- settings files -----------------------------------------------------------------------------

constexpr const char *BackupFormat = "kv508ctl backup 1";

// Who the settings came from, as a poll shows it.
struct TBackupIdentity {
    uint8_t address = Address, id = Id;
    uint32_t firmware = 0, calibrationDate = 0;
    uint8_t decimals = 0;
    int16_t scaleEnd = 0;
};

// The file's text; tool names the program that wrote it ("kv508ctl 1.0.0"),
// time is ISO 8601 local time with its offset.
std::string BackupText(const TBackupIdentity &who, const TSettings &s, const std::string &time, const std::string &tool);
struct TBackup {
    TBackupIdentity who;
    TSettings settings;
    std::string time;
};
// Throws std::invalid_argument with the reason (not JSON, a key given twice,
// not a backup, a key missing or out of range, settings no window could have written).
TBackup ParseBackup(std::string_view text);

// ---- names in messages ----------------------------------------------------------------------------

// A name from outside (a port, an adapter's serial, a file) fit for a message:
// control characters (C0, DEL, C1, bidirectional overrides) and bytes that are
// no UTF-8 shown as \xNN, and past maxBytes cut with "…".
std::string ShownName(std::string_view text, std::size_t maxBytes = 80);

} // namespace kv508
