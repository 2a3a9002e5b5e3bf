// The instrument's command set: command numbers, the payloads of the requests
// and the layouts of the answers, the stored settings and the rules that keep
// them in range. Shared by the window and the command-line program; plain C++.
//
// The put and get helpers take any component with the engine's payload
// operations (MBClearTxData, MBPutByte, ..., MBGetWord): the engine itself or
// its Qt face.
#pragma once

#include <array>
#include <cstdint>
#include <string>
#include <string_view>

namespace kv508 {

enum TCommand : uint8_t {
    Cmd_Poll = 1,
    Cmd_Zero = 2,
    Cmd_SetAs0 = 3,
    Cmd_SetAs4mA = 4,
    Cmd_SetAs20mA = 5,
    Cmd_EraseEEPROM = 6,
    Cmd_WriteSettings = 7,
    Cmd_ReadSettings = 8,
    Cmd_SetAsScaleEnd = 9,
    Cmd_WriteSettings2 = 10,
    Cmd_Reset = 251
};

constexpr uint8_t Address = 1;
constexpr uint8_t Id = 39;
constexpr uint16_t RequestDelay = 50; // ms between two transactions
constexpr uint16_t PWMMax = 8191;

// Payload sizes in bytes: the poll's request and its answer, the settings
// (command 7 and the read), command 10's first four, a calibration point's date code.
constexpr uint16_t PollRequestSize = 3, LiveDataSize = 20, SettingsSize = 10, Settings2Size = 6, DateCodeSize = 4;

// Stored settings: sent by commands 7 (all) and 10 (the first four), read by 8.
struct TSettings {
    int16_t iFizFor4mA = 0;          // physical value at 4 mA, scaled integer
    int16_t iFizFor20mA = 0;         // physical value at 20 mA
    bool bErrorCurrentValue = false; // true: 22 mA, false: 3,2 mA
    bool bErrorCurrentMode = false;  // true: error current disabled
    uint8_t SensorCode = 0;          // 1..12
    uint16_t Averaging = 0;          // 1..1600
    uint8_t InputCode = 0;           // 0 pressure, 1 temperature
    bool operator==(const TSettings &) const = default;
};

// The answer of a poll.
struct TLiveData {
    uint32_t FirmwareDateCode = 0;
    uint32_t CalibrationDateCode = 0;
    uint8_t Decimals = 0;
    int16_t MeasuredValue = 0; // x 10^Decimals
    int16_t OutputValue = 0;   // uA
    uint8_t ErrorBits = 0;
    int16_t ScaleEnd = 0; // x 10^Decimals
    int16_t BridgeDataAveraged = 0;
    uint16_t SPS = 0;
};

// The poll's request: the force flag and the drive value it carries.
struct TPollRequest {
    uint8_t force = 0; // 1: the output is driven at pwm
    uint16_t pwm = 0;
};

// The error flags of a poll answer.
enum TErrorBit : uint8_t {
    Err_NotCalibrated = 1,
    Err_SensorFault = 2,
    Err_SettingsMissing = 4,
    Err_SensorOverload = 8,
    Err_OutputOutOfRange = 16
};

// The five flags in the window's order.
struct TErrorFlag {
    uint8_t bit;
    const char *name; // the window's label (UTF-8)
    const char *key;  // the command line's name (JSON and CSV keys)
};
constexpr std::array<TErrorFlag, 5> ErrorFlags{{{Err_NotCalibrated, "Nincs kalibrálva", "not-calibrated"},
                                                {Err_SensorFault, "Hibás szenzor", "sensor-fault"},
                                                {Err_SettingsMissing, "Hiányzó beállítások", "settings-missing"},
                                                {Err_SensorOverload, "Szenzor túlterhelés", "sensor-overload"},
                                                {Err_OutputOutOfRange, "Kimenet tartományon kívül", "output-out-of-range"}}};

// ---- the window's entry rules ----
constexpr int32_t PressureLow = -9999, PressureHigh = 9999; // 4 mA and 20 mA entries
constexpr int32_t AveragingLow = 1, AveragingHigh = 1600, AveragingDefault = 80;
constexpr int SensorCount = 12;
constexpr uint8_t SensorDefault = 5;
// Integer entry: optional leading blanks and sign, then decimal digits or a
// hexadecimal number after "$", "x" or "0x". False when the text is anything else.
bool TryStrToInt(std::string_view text, int32_t &value);
// The value of an entry: the text's number limited to low..high, fallback when it is no number.
int32_t Entry(std::string_view text, int32_t fallback, int32_t low, int32_t high);

// ---- dates ----
// year * 10000 + month * 100 + day; 0 for a year before 0.
uint32_t DateCodeOf(int year, int month, int day);
std::string FormatDateCode(uint32_t code); // 20161011 -> "2016.10.11."

// numerator / denominator rounded to the nearest integer, halves to even (denominator > 0).
int64_t RoundHalfEven(int64_t numerator, int64_t denominator);

// value / 10^decimals with exactly that many decimals: 345, 1 -> "34.5"; 7, 3 -> "0.007".
std::string FormatScaled(int64_t value, unsigned decimals);

// ---- payloads ----
template <class C>
void PutPoll(C &mb, uint8_t pwmForce, uint16_t pwmValue)
{
    mb.setMBMasterCommandToSlave(Cmd_Poll);
    mb.MBClearTxData();
    mb.MBPutByte(pwmForce);
    mb.MBPutWord(pwmValue);
}

template <class C>
void PutSettings(C &mb, const TSettings &s, bool full)
{
    mb.MBPutSmallInt(s.iFizFor4mA);
    mb.MBPutSmallInt(s.iFizFor20mA);
    mb.MBPutBoolean(s.bErrorCurrentValue);
    mb.MBPutBoolean(s.bErrorCurrentMode);
    if (!full)
        return;
    mb.MBPutByte(s.SensorCode);
    mb.MBPutWord(s.Averaging);
    mb.MBPutByte(s.InputCode);
}

// Any request but the poll: its command and payload (the calibration points
// carry today's DateCode, the writes the settings).
template <class C>
void PutRequest(C &mb, uint8_t command, uint32_t todayCode, const TSettings &toWrite)
{
    mb.setMBMasterCommandToSlave(command);
    mb.MBClearTxData();
    switch (command) {
    case Cmd_SetAs0:
    case Cmd_SetAs4mA:
    case Cmd_SetAs20mA:
    case Cmd_SetAsScaleEnd: mb.MBPutDWord(todayCode); break;
    case Cmd_WriteSettings: PutSettings(mb, toWrite, true); break;
    case Cmd_WriteSettings2: PutSettings(mb, toWrite, false); break;
    default: break; // 2, 6, 8 and 251 carry no payload
    }
}

// The other side of the poll (the simulator, the monitor): the request as it
// is read, and the answer as the instrument sends it.
template <class C>
TPollRequest GetPollRequest(C &mb)
{
    TPollRequest r;
    r.force = mb.MBGetByte();
    r.pwm = mb.MBGetWord();
    return r;
}

template <class C>
void PutLiveData(C &mb, const TLiveData &d)
{
    mb.MBPutDWord(d.FirmwareDateCode);
    mb.MBPutDWord(d.CalibrationDateCode);
    mb.MBPutByte(d.Decimals);
    mb.MBPutSmallInt(d.MeasuredValue);
    mb.MBPutSmallInt(d.OutputValue);
    mb.MBPutByte(d.ErrorBits);
    mb.MBPutSmallInt(d.ScaleEnd);
    mb.MBPutSmallInt(d.BridgeDataAveraged);
    mb.MBPutWord(d.SPS);
}

template <class C>
TLiveData GetLiveData(C &mb)
{
    TLiveData d;
    d.FirmwareDateCode = mb.MBGetDWord();
    d.CalibrationDateCode = mb.MBGetDWord();
    d.Decimals = mb.MBGetByte();
    d.MeasuredValue = mb.MBGetSmallInt();
    d.OutputValue = mb.MBGetSmallInt();
    d.ErrorBits = mb.MBGetByte();
    d.ScaleEnd = mb.MBGetSmallInt();
    d.BridgeDataAveraged = mb.MBGetSmallInt();
    d.SPS = mb.MBGetWord();
    return d;
}

template <class C>
TSettings GetSettings(C &mb)
{
    TSettings s;
    s.iFizFor4mA = mb.MBGetSmallInt();
    s.iFizFor20mA = mb.MBGetSmallInt();
    s.bErrorCurrentValue = mb.MBGetBoolean();
    s.bErrorCurrentMode = mb.MBGetBoolean();
    s.SensorCode = mb.MBGetByte();
    s.Averaging = mb.MBGetWord();
    s.InputCode = mb.MBGetByte();
    return s;
}

} // namespace kv508
