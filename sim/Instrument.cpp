#include "Instrument.h"

#include <QJsonValue>
#include <QRegularExpression>
#include <QtEndian>

#include <algorithm>
#include <cmath>

namespace sim {

namespace {

// The real DAC of the current loop: a little gain and offset error that only the
// output calibration takes out.
constexpr double kDacGain = 24000.0 / PwmMax * 1.012; // µA per drive step
constexpr double kDacOffset = -35.0;                  // µA
// What the firmware assumes for an uncalibrated output: 0..8191 spans 0..24 mA.
constexpr double kNominalGain = 24000.0 / PwmMax;

constexpr double kOutputLow = 3800.0; // the loop's limits, µA
constexpr double kOutputHigh = 20500.0;
constexpr double kErrorLow = 3200.0;
constexpr double kErrorHigh = 22000.0;
constexpr double kOverload = 1.1; // the bridge saturates at 110 % of full scale
constexpr int kOpenBridge = 32767;
constexpr int kMinCalibrationSpan = 100;
constexpr size_t kRing = 1600;
constexpr quint32 kFactoryCalibrationDate = 20170112;
constexpr quint8 kDefaultSensor = 5;
// The largest count a memory field may hold; the loader refuses anything beyond.
constexpr int kMemoryCountLimit = 1000000;

// The twelve sensor types. Full scales follow the type names; a shown value
// must fit the signed 16-bit field, hence kPa for the 10 psi type.
const std::array<SensorSpec, 12> kSensors = {{
    {250.0, 1.0, 1, 6553, 120, 2.0, 250},     // 1  ±250.0 Pa
    {13789.5, 1.0, 0, 6553, -210, 3.0, 200},  // 2  2 psi
    {68947.6, 1000.0, 2, 6553, 160, 3.0, 200}, // 3  10 psi, shown in kPa
    {1245.4, 1.0, 1, 6553, 90, 2.0, 100},     // 4  5 inH2O
    {249.1, 1.0, 1, 6553, 140, 2.0, 100},     // 5  1 inH2O
    {249.1, 1.0, 2, 6553, 140, 0.6, 25},      // 6  1 inH2O, ten times oversampled
    {124.5, 1.0, 2, 6553, -80, 2.0, 100},     // 7  0.5 inH2O
    {25.0, 1.0, 2, 1316, -80, 2.0, 100},      // 8  the same sensor on ±25.00 Pa
    {1250.0, 1.0, 0, 6553, 60, 2.0, 250},     // 9  ±1250 Pa
    {125.0, 1.0, 1, 6553, -40, 2.0, 250},     // 10 ±125 Pa
    {500.0, 1.0, 1, 6553, 75, 2.0, 250},      // 11 ±500 Pa
    {5000.0, 1.0, 0, 6553, -130, 2.0, 250},   // 12 ±5000 Pa
}};

const SensorSpec kTemperature = {150.0, 1.0, 1, 6000, 200, 1.0, 10}; // 0..150.0 °C

qint16 ClampI16(double v)
{
    return static_cast<qint16>(std::clamp(std::lround(v), -32768L, 32767L));
}

quint32 ReadU32(const QByteArray &b, int at)
{
    return qFromLittleEndian<quint32>(b.constData() + at);
}

quint16 ReadU16(const QByteArray &b, int at)
{
    return qFromLittleEndian<quint16>(b.constData() + at);
}

void Put16(QByteArray &b, quint16 v)
{
    b.append(char(v & 0xFF));
    b.append(char(v >> 8));
}

void Put32(QByteArray &b, quint32 v)
{
    Put16(b, quint16(v & 0xFFFF));
    Put16(b, quint16(v >> 16));
}

QJsonValue Optional(const std::optional<int> &v)
{
    return v ? QJsonValue(*v) : QJsonValue(QJsonValue::Null);
}

bool ReadOptional(const QJsonObject &json, const char *key, std::optional<int> &out, QString &error)
{
    const QJsonValue v = json.value(QLatin1String(key));
    if (v.isNull() || v.isUndefined()) { // not calibrated
        out.reset();
        return true;
    }
    if (!v.isDouble() || std::abs(v.toDouble()) > kMemoryCountLimit || v.toDouble() != std::floor(v.toDouble())) {
        error = QStringLiteral("\"%1\" must be an integer of -%2 .. %2 or null").arg(QLatin1String(key)).arg(kMemoryCountLimit);
        return false;
    }
    out = v.toInt();
    return true;
}

} // namespace

// ---- settings ----------------------------------------------------------------------------

Settings Settings::FromImage(const QByteArray &image)
{
    QByteArray b = image.left(SettingsSize);
    b.append(QByteArray(SettingsSize - b.size(), char(0xFF)));
    Settings s;
    s.iFizFor4mA = static_cast<qint16>(ReadU16(b, 0));
    s.iFizFor20mA = static_cast<qint16>(ReadU16(b, 2));
    s.bErrorCurrentValue = b[4] != 0;
    s.bErrorCurrentMode = b[5] != 0;
    s.SensorCode = static_cast<quint8>(b[6]);
    s.Averaging = ReadU16(b, 7);
    s.InputCode = static_cast<quint8>(b[9]);
    return s;
}

QByteArray Settings::ToImage() const
{
    QByteArray b;
    Put16(b, static_cast<quint16>(iFizFor4mA));
    Put16(b, static_cast<quint16>(iFizFor20mA));
    b.append(char(bErrorCurrentValue ? 1 : 0));
    b.append(char(bErrorCurrentMode ? 1 : 0));
    b.append(char(SensorCode));
    Put16(b, Averaging);
    b.append(char(InputCode));
    return b;
}

bool Settings::Valid() const
{
    return SensorCode >= 1 && SensorCode <= 12 && Averaging >= 1 && Averaging <= 1600 && InputCode <= 1 &&
           iFizFor4mA != iFizFor20mA;
}

int SensorSpec::ScaleEndShown() const
{
    return static_cast<int>(std::lround(fullScale / unit * std::pow(10.0, decimals)));
}

const SensorSpec &PressureSensor(quint8 code)
{
    if (code < 1 || code > 12)
        code = kDefaultSensor;
    return kSensors[code - 1];
}

const SensorSpec &TemperatureInput()
{
    return kTemperature;
}

// ---- memory ---------------------------------------------------------------------------------

Memory Memory::Factory()
{
    Memory m;
    const SensorSpec &sensor = PressureSensor(kDefaultSensor);
    Settings s;
    s.SensorCode = kDefaultSensor;
    s.iFizFor4mA = 0;
    s.iFizFor20mA = static_cast<qint16>(sensor.ScaleEndShown());
    m.settingsImage = s.ToImage();
    m.inputZero = sensor.offsetCounts;
    m.inputScaleEnd = sensor.offsetCounts + sensor.spanCounts;
    m.output4mA = static_cast<int>(std::lround((4000.0 - kDacOffset) / kDacGain));
    m.output20mA = static_cast<int>(std::lround((20000.0 - kDacOffset) / kDacGain));
    m.calibrationDate = kFactoryCalibrationDate;
    return m;
}

Memory Memory::Erased()
{
    Memory m;
    m.settingsImage = QByteArray(SettingsSize, char(0xFF));
    return m;
}

QJsonObject Memory::ToJson() const
{
    QJsonObject o;
    o.insert(QStringLiteral("format"), QStringLiteral("kv508-sim memory 1"));
    o.insert(QStringLiteral("settings"), QString::fromLatin1(settingsImage.toHex()));
    o.insert(QStringLiteral("inputZero"), Optional(inputZero));
    o.insert(QStringLiteral("inputScaleEnd"), Optional(inputScaleEnd));
    o.insert(QStringLiteral("output4mA"), Optional(output4mA));
    o.insert(QStringLiteral("output20mA"), Optional(output20mA));
    o.insert(QStringLiteral("zeroOffset"), zeroOffset);
    o.insert(QStringLiteral("calibrationDate"), static_cast<qint64>(calibrationDate));
    return o;
}

std::optional<Memory> Memory::FromJson(const QJsonObject &json, QString &error)
{
    if (json.value(QStringLiteral("format")).toString() != QLatin1String("kv508-sim memory 1")) {
        error = QStringLiteral("not a kv508-sim memory (\"format\" is missing or unknown)");
        return std::nullopt;
    }
    Memory m;
    const QString hex = json.value(QStringLiteral("settings")).toString();
    static const QRegularExpression hexOnly(QStringLiteral("^[0-9a-fA-F]{20}$"));
    if (!hexOnly.match(hex).hasMatch()) {
        error = QStringLiteral("\"settings\" must be 20 hexadecimal digits");
        return std::nullopt;
    }
    m.settingsImage = QByteArray::fromHex(hex.toLatin1());
    if (!ReadOptional(json, "inputZero", m.inputZero, error) || !ReadOptional(json, "inputScaleEnd", m.inputScaleEnd, error) ||
        !ReadOptional(json, "output4mA", m.output4mA, error) || !ReadOptional(json, "output20mA", m.output20mA, error))
        return std::nullopt;
    std::optional<int> zero;
    if (!ReadOptional(json, "zeroOffset", zero, error))
        return std::nullopt;
    if (!zero) {
        error = QStringLiteral("\"zeroOffset\" must be an integer");
        return std::nullopt;
    }
    m.zeroOffset = *zero;
    const QJsonValue date = json.value(QStringLiteral("calibrationDate"));
    const double d = date.toDouble(-1);
    if (!date.isDouble() || d < 0 || d > 4294967295.0 || d != std::floor(d)) {
        error = QStringLiteral("\"calibrationDate\" must be an unsigned 32-bit integer");
        return std::nullopt;
    }
    m.calibrationDate = static_cast<quint32>(d);
    return m;
}

// ---- live data ------------------------------------------------------------------------------

QByteArray LiveData::ToPayload() const
{
    QByteArray b;
    Put32(b, firmwareDateCode);
    Put32(b, calibrationDateCode);
    b.append(char(decimals));
    Put16(b, static_cast<quint16>(measuredValue));
    Put16(b, static_cast<quint16>(outputValue));
    b.append(char(errorBits));
    Put16(b, static_cast<quint16>(scaleEnd));
    Put16(b, static_cast<quint16>(bridgeDataAveraged));
    Put16(b, sps);
    return b;
}

LiveData LiveData::FromPayload(const QByteArray &payload)
{
    QByteArray b = payload.left(LiveDataSize);
    b.append(QByteArray(LiveDataSize - b.size(), '\0'));
    LiveData d;
    d.firmwareDateCode = ReadU32(b, 0);
    d.calibrationDateCode = ReadU32(b, 4);
    d.decimals = static_cast<quint8>(b[8]);
    d.measuredValue = static_cast<qint16>(ReadU16(b, 9));
    d.outputValue = static_cast<qint16>(ReadU16(b, 11));
    d.errorBits = static_cast<quint8>(b[13]);
    d.scaleEnd = static_cast<qint16>(ReadU16(b, 14));
    d.bridgeDataAveraged = static_cast<qint16>(ReadU16(b, 16));
    d.sps = ReadU16(b, 18);
    return d;
}

// ---- the instrument ---------------------------------------------------------------------------

Instrument::Instrument(quint32 seed, Memory memory) : m_memory(std::move(memory)), m_rng(seed), m_samples(kRing, 0)
{
    Boot(0);
}

void Instrument::Boot(qint64 nowMs)
{
    m_next = 0;
    m_count = 0;
    m_forced = false;
    m_forcedPwm = 0;
    m_lastSampleMs = nowMs;
    m_samples[m_next] = SampleCounts(); // the first conversion right at power-on
    m_next = 1;
    m_count = 1;
}

Settings Instrument::EffectiveSettings() const
{
    const Settings stored = StoredSettings();
    if (stored.Valid())
        return stored;
    Settings fallback;
    fallback.SensorCode = kDefaultSensor;
    fallback.iFizFor20mA = static_cast<qint16>(PressureSensor(kDefaultSensor).ScaleEndShown());
    return fallback;
}

const SensorSpec &Instrument::SensorInUse() const
{
    const Settings s = EffectiveSettings();
    return s.InputCode == 1 ? TemperatureInput() : PressureSensor(s.SensorCode);
}

int Instrument::SampleCounts()
{
    if (m_sensorFault)
        return kOpenBridge;
    const SensorSpec &sensor = SensorInUse();
    const double x = EffectiveSettings().InputCode == 1 ? m_temperature : m_pressure;
    const double ideal = sensor.offsetCounts + x / sensor.fullScale * sensor.spanCounts + m_noise(m_rng) * sensor.noiseCounts;
    const double limit = kOverload * sensor.spanCounts;
    return static_cast<int>(std::lround(std::clamp(ideal, sensor.offsetCounts - limit, sensor.offsetCounts + limit)));
}

void Instrument::TakeSamples(qint64 nowMs)
{
    const double intervalMs = 1000.0 / SensorInUse().sps;
    qint64 due = static_cast<qint64>(std::floor((nowMs - m_lastSampleMs) / intervalMs));
    if (due <= 0)
        return;
    m_lastSampleMs += static_cast<qint64>(std::llround(due * intervalMs));
    if (due > static_cast<qint64>(kRing))
        due = kRing; // older samples would fall out of the ring anyway
    for (qint64 i = 0; i < due; ++i) {
        m_samples[m_next] = SampleCounts();
        m_next = (m_next + 1) % kRing;
        m_count = std::min(m_count + 1, kRing);
    }
}

double Instrument::AveragedCounts() const
{
    const size_t n = std::min<size_t>(EffectiveSettings().Averaging, m_count);
    if (n == 0)
        return 0;
    double sum = 0;
    for (size_t i = 1; i <= n; ++i)
        sum += m_samples[(m_next + kRing - i) % kRing];
    return sum / static_cast<double>(n);
}

bool Instrument::InputCalibrated() const
{
    return m_memory.inputZero && m_memory.inputScaleEnd &&
           std::abs(*m_memory.inputScaleEnd - *m_memory.inputZero) >= kMinCalibrationSpan;
}

bool Instrument::OutputCalibrated() const
{
    return m_memory.output4mA && m_memory.output20mA && *m_memory.output20mA - *m_memory.output4mA >= kMinCalibrationSpan;
}

double Instrument::DriveToCurrent(double pwm) const
{
    if (!OutputCalibrated())
        return pwm * kNominalGain;
    const double p4 = *m_memory.output4mA;
    const double p20 = *m_memory.output20mA;
    return 4000.0 + (pwm - p4) * 16000.0 / (p20 - p4);
}

double Instrument::CurrentToDrive(double microAmps) const
{
    if (!OutputCalibrated())
        return microAmps / kNominalGain;
    const double p4 = *m_memory.output4mA;
    const double p20 = *m_memory.output20mA;
    return p4 + (microAmps - 4000.0) * (p20 - p4) / 16000.0;
}

double Instrument::LoopCurrent() const
{
    return std::max(0.0, kDacOffset + m_drivePwm * kDacGain);
}

double Instrument::LoopCurrentAt(qint64 nowMs)
{
    Live(nowMs); // sets the drive of this moment
    return LoopCurrent();
}

LiveData Instrument::Live(qint64 nowMs)
{
    TakeSamples(nowMs);
    const Settings s = EffectiveSettings();
    const SensorSpec &sensor = SensorInUse();
    const bool settingsMissing = !StoredSettings().Valid();
    const int latest = m_samples[(m_next + kRing - 1) % kRing];
    const bool fault = latest == kOpenBridge;
    const bool overload = !fault && std::abs(latest - sensor.offsetCounts) >= std::lround(kOverload * sensor.spanCounts);
    const double averaged = AveragedCounts();

    LiveData d;
    d.firmwareDateCode = FirmwareDateCode;
    d.calibrationDateCode = m_memory.calibrationDate;
    d.decimals = sensor.decimals;
    d.scaleEnd = ClampI16(sensor.ScaleEndShown());
    d.bridgeDataAveraged = ClampI16(averaged);
    d.sps = sensor.sps;

    // Input: two-point calibration, or the nominal sensitivity from zero counts.
    const double zero = InputCalibrated() ? *m_memory.inputZero : 0.0;
    const double span = InputCalibrated() ? *m_memory.inputScaleEnd - *m_memory.inputZero : sensor.spanCounts;
    const double shown = (averaged - zero - m_memory.zeroOffset) / span * sensor.ScaleEndShown();
    d.measuredValue = ClampI16(shown);

    quint8 bits = 0;
    if (!InputCalibrated() || !OutputCalibrated())
        bits |= ErrNotCalibrated;
    if (fault)
        bits |= ErrSensorFault;
    if (settingsMissing)
        bits |= ErrSettingsMissing;
    if (overload)
        bits |= ErrSensorOverload;

    double current;
    if (m_forced) {
        m_drivePwm = m_forcedPwm;
        current = DriveToCurrent(m_forcedPwm);
        if (current < kOutputLow || current > kOutputHigh)
            bits |= ErrOutputOutOfRange;
    } else {
        if ((fault || overload || settingsMissing) && !s.bErrorCurrentMode) {
            current = s.bErrorCurrentValue ? kErrorHigh : kErrorLow;
        } else {
            current = 4000.0 + (d.measuredValue - s.iFizFor4mA) * 16000.0 / (s.iFizFor20mA - s.iFizFor4mA);
            if (current < kOutputLow || current > kOutputHigh)
                bits |= ErrOutputOutOfRange;
            current = std::clamp(current, kOutputLow, kOutputHigh);
        }
        m_drivePwm = static_cast<int>(std::clamp(std::lround(CurrentToDrive(current)), 0L, long(PwmMax)));
    }
    d.outputValue = ClampI16(current);
    d.errorBits = bits;
    return d;
}

void Instrument::Stamp(const QByteArray &request)
{
    m_memory.calibrationDate = ReadU32(request, 0);
}

QByteArray Instrument::Echo(quint8 command) const
{
    return QByteArray(1, static_cast<char>(command));
}

Reply Instrument::Handle(quint8 command, const QByteArray &request, qint64 nowMs)
{
    Reply r;
    auto needs = [&](int bytes) {
        if (request.size() >= bytes)
            return true;
        r.answer = false; // a request too short for its command is not understood
        return false;
    };

    switch (command) {
    case CmdPoll: {
        if (!needs(3))
            break;
        m_forced = request[0] == 1;
        m_forcedPwm = std::min<int>(ReadU16(request, 1), PwmMax);
        r.payload = Live(nowMs).ToPayload();
        break;
    }
    case CmdZero:
        TakeSamples(nowMs);
        // Against a stored zero point far off the bridge's range the difference
        // could leave what the memory holds (and what the loader accepts).
        m_memory.zeroOffset = static_cast<int>(
            std::clamp(std::lround(AveragedCounts() - (InputCalibrated() ? *m_memory.inputZero : 0)),
                       -long(kMemoryCountLimit), long(kMemoryCountLimit)));
        r.memoryChanged = true;
        r.payload = Echo(command);
        break;
    case CmdSetAs0:
    case CmdSetAsScaleEnd:
        if (!needs(4))
            break;
        TakeSamples(nowMs);
        (command == CmdSetAs0 ? m_memory.inputZero : m_memory.inputScaleEnd) =
            static_cast<int>(std::lround(AveragedCounts()));
        if (command == CmdSetAs0)
            m_memory.zeroOffset = 0; // a new zero point replaces the old adjustment
        Stamp(request);
        r.memoryChanged = true;
        r.payload = Echo(command);
        break;
    case CmdSetAs4mA:
    case CmdSetAs20mA:
        if (!needs(4))
            break;
        Live(nowMs); // the drive value of this moment
        (command == CmdSetAs4mA ? m_memory.output4mA : m_memory.output20mA) = m_drivePwm;
        Stamp(request);
        r.memoryChanged = true;
        r.payload = Echo(command);
        break;
    case CmdEraseEEPROM:
        m_memory = Memory::Erased();
        r.memoryChanged = true;
        r.payload = Echo(command);
        break;
    case CmdWriteSettings:
        if (!needs(SettingsSize))
            break;
        TakeSamples(nowMs); // samples so far belong to the old settings
        m_memory.settingsImage = request.left(SettingsSize);
        r.memoryChanged = true;
        r.payload = Echo(command);
        break;
    case CmdWriteSettings2:
        if (!needs(6))
            break;
        m_memory.settingsImage.replace(0, 6, request.left(6));
        r.memoryChanged = true;
        r.payload = Echo(command);
        break;
    case CmdReadSettings:
        r.payload = m_memory.settingsImage;
        break;
    case CmdReset:
        r.restart = true;
        r.payload = Echo(command);
        break;
    default:
        r.status = StatusUnknownCommand;
        break;
    }
    return r;
}

} // namespace sim
