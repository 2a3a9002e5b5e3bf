// The KV508 I transmitter as the simulator plays it: a plain model with no I/O.
// It answers one request at a time (command number and request payload in,
// status byte and answer payload out) and keeps the instrument's memory
// (settings image, calibration points, calibration date) apart from its
// running state, so that the memory can be saved and loaded. The command set
// (numbers, layouts, flags) is the instrument's own, shared with the tool.
#pragma once

#include "KV508Commands.h"

#include <QByteArray>
#include <QJsonObject>
#include <QString>

#include <array>
#include <optional>
#include <random>
#include <vector>

namespace sim {

constexpr quint8 StatusUnknownCommand = 254;
constexpr quint32 FirmwareDateCode = 20170105; // the firmware it plays

using Settings = kv508::TSettings; // the stored fields, as the tool reads them
// A factory instrument's settings, which it also runs with when the stored ones are unusable.
Settings FactorySettings();
// The settings in a memory image; what the image lacks reads as erased (0xFF).
Settings SettingsFromImage(const QByteArray &image);
// The settings in the layout of the settings read and write (10 bytes).
QByteArray SettingsImage(const Settings &s);
// Usable by the instrument: every field in range and a non-empty output span.
bool SettingsUsable(const Settings &s);

// The 20-byte answer of the poll, and back (what the payload lacks reads as zero).
QByteArray LiveDataPayload(const kv508::TLiveData &d);
kv508::TLiveData LiveDataFromPayload(const QByteArray &payload);

// What a sensor type delivers and how the instrument shows it.
struct SensorSpec {
    double fullScale;   // Pa (or degrees Celsius for the temperature input)
    double unit;        // Pa per shown unit (1000 for kPa)
    quint8 decimals;    // decimals of the shown value
    int spanCounts;     // bridge counts at full scale, above the offset
    int offsetCounts;   // bridge counts at zero, this sensor's own offset
    double noiseCounts; // standard deviation of one sample
    quint16 sps;        // samples per second

    // Full scale as the instrument shows it: scaled integer with the decimals.
    int ScaleEndShown() const;
};

const SensorSpec &PressureSensor(quint8 code); // 1..12; others give the default type
const SensorSpec &TemperatureInput();

// The instrument's non-volatile memory.
struct Memory {
    QByteArray settingsImage;           // 10 bytes as written by commands 7 and 10
    std::optional<int> inputZero;       // averaged bridge counts at zero (command 3)
    std::optional<int> inputScaleEnd;   // averaged bridge counts at full scale (command 9)
    std::optional<int> output4mA;       // drive value giving 4 mA (command 4)
    std::optional<int> output20mA;      // drive value giving 20 mA (command 5)
    int zeroOffset = 0;                 // counts removed by the zero adjustment (command 2)
    quint32 calibrationDate = 0;        // DateCode of the last calibration point

    static Memory Factory(); // calibrated, with sensible settings
    static Memory Erased();  // what command 6 leaves: all bytes 0xFF, nothing calibrated

    QJsonObject ToJson() const;
    // Rejects anything malformed with a readable reason.
    static std::optional<Memory> FromJson(const QJsonObject &json, QString &error);
    bool operator==(const Memory &other) const = default;
};

// One answer: the status byte, the payload, and what the simulator must do around it.
struct Reply {
    quint8 status = 0;
    QByteArray payload;
    bool answer = true;         // false: a request the instrument could not parse is ignored
    bool restart = false;       // after the answer the instrument restarts
    bool memoryChanged = false; // the non-volatile memory was written
};

class Instrument
{
public:
    explicit Instrument(quint32 seed, Memory memory = Memory::Factory());

    // The world around the instrument.
    void SetPressure(double pascal) { m_pressure = pascal; }
    double Pressure() const { return m_pressure; }
    void SetTemperature(double celsius) { m_temperature = celsius; }
    double Temperature() const { return m_temperature; }
    void SetSensorFault(bool fault) { m_sensorFault = fault; }
    bool SensorFault() const { return m_sensorFault; }

    // Handles one request at time nowMs (a monotonic millisecond clock).
    Reply Handle(quint8 command, const QByteArray &request, qint64 nowMs);
    // The live data as a poll would report it at nowMs (the samples up to then taken).
    kv508::TLiveData Live(qint64 nowMs);
    // Power-on or restart: the running state starts afresh, the memory stays.
    void Boot(qint64 nowMs);

    const Memory &memory() const { return m_memory; }
    Settings StoredSettings() const { return SettingsFromImage(m_memory.settingsImage); }
    // Settings the instrument runs with: the stored ones, or defaults when they are missing.
    Settings EffectiveSettings() const;
    bool Forced() const { return m_forced; }
    int DrivePwm() const { return m_drivePwm; }
    // What an ammeter in the loop would read, in µA (the drive through the real DAC),
    // as of the last poll or LoopCurrentAt.
    double LoopCurrent() const;
    // The same at nowMs: the loop follows the pressure all the time, polled or not.
    double LoopCurrentAt(qint64 nowMs);
    // The output stage's own slope and offset: gainScale times the usual µA per
    // drive step, offset in µA. The memory keeps its points, so a stage unlike
    // the usual one reads off until the output is trimmed.
    void SetOutputStage(double gainScale, double offsetMicroAmps);

private:
    const SensorSpec &SensorInUse() const;
    void TakeSamples(qint64 nowMs);
    int SampleCounts();
    double AveragedCounts() const;
    bool InputCalibrated() const;
    bool OutputCalibrated() const;
    double DriveToCurrent(double pwm) const; // through the output calibration
    double CurrentToDrive(double microAmps) const;
    void Stamp(const QByteArray &request);
    QByteArray Echo(quint8 command) const;

    Memory m_memory;
    std::mt19937 m_rng;
    std::normal_distribution<double> m_noise{0.0, 1.0};
    double m_pressure = 0.0;
    double m_temperature = 23.5;
    bool m_sensorFault = false;

    // running state
    std::vector<int> m_samples; // ring of the latest samples
    size_t m_next = 0;
    size_t m_count = 0;
    qint64 m_lastSampleMs = 0;
    bool m_forced = false;
    int m_forcedPwm = 0;
    int m_drivePwm = 0;
    double m_dacGain;   // µA per drive step
    double m_dacOffset; // µA
};

} // namespace sim
