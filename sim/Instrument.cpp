#include "Instrument.h"

#include "KV508Payload.h"

#include <QJsonValue>
#include <QRegularExpression>

#include <algorithm>
#include <cmath>

namespace sim {

namespace {

// The real DAC of the current loop: a little gain and offset error that only the
// output calibration takes out.
constexpr double kDacGain = 24000.0 / kv508::PWMMax * 1.012; // µA per drive step
constexpr double kDacOffset = -35.0;                         // µA
// What the firmware assumes for an uncalibrated output: 0..8191 spans 0..24 mA.
constexpr double kNominalGain = 24000.0 / kv508::PWMMax;

constexpr double kOutputLow = 3800.0; // the loop's limits, µA
constexpr double kOutputHigh = 20500.0;
constexpr double kErrorLow = 3200.0;
constexpr double kErrorHigh = 22000.0;
constexpr double kOverload = 1.1; // the bridge saturates at 110 % of full scale
constexpr int kOpenBridge = 32767;
constexpr int kMinCalibrationSpan = 100;
constexpr size_t kRing = 1600;
constexpr quint32 kFactoryCalibrationDate = 20170112;
// The largest count a memory field may hold; the loader refuses anything beyond.
constexpr int kMemoryCountLimit = 1000000;

// The twelve sensor types. Full scales follow the type names; a shown value
// must fit the signed 16-bit field, hence kPa for the 10 psi type.
const std::array<SensorSpec, kv508::SensorCount> kSensors = {{
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

kv508::TPayloadReader Reader(const QByteArray &bytes)
{
    return kv508::TPayloadReader(bytes.constData(), static_cast<std::size_t>(bytes.size()));
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

Settings FactorySettings()
{
    Settings s;
    s.SensorCode = kv508::SensorDefault;
    s.Averaging = kv508::AveragingDefault;
    s.iFizFor4mA = 0;
    s.iFizFor20mA = static_cast<qint16>(PressureSensor(kv508::SensorDefault).ScaleEndShown());
    return s;
}

Settings SettingsFromImage(const QByteArray &image)
{
    QByteArray b = image.left(kv508::SettingsSize);
    b.append(QByteArray(kv508::SettingsSize - b.size(), char(0xFF)));
    kv508::TPayloadReader in = Reader(b);
    return kv508::GetSettings(in);
}

QByteArray SettingsImage(const Settings &s)
{
    QByteArray b;
    kv508::TPayloadWriter out(b);
    kv508::PutSettings(out, s, true);
    return b;
}

bool SettingsUsable(const Settings &s)
{
    return s.SensorCode >= 1 && s.SensorCode <= kv508::SensorCount && s.Averaging >= kv508::AveragingLow &&
           s.Averaging <= kv508::AveragingHigh && s.InputCode <= 1 && s.iFizFor4mA != s.iFizFor20mA;
}

int SensorSpec::ScaleEndShown() const
{
    return static_cast<int>(std::lround(fullScale / unit * std::pow(10.0, decimals)));
}

const SensorSpec &PressureSensor(quint8 code)
{
    if (code < 1 || code > kv508::SensorCount)
        code = kv508::SensorDefault;
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
    const SensorSpec &sensor = PressureSensor(kv508::SensorDefault);
    m.settingsImage = SettingsImage(FactorySettings());
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
    m.settingsImage = QByteArray(kv508::SettingsSize, char(0xFF));
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

QByteArray LiveDataPayload(const kv508::TLiveData &d)
{
    QByteArray b;
    kv508::TPayloadWriter out(b);
    kv508::PutLiveData(out, d);
    return b;
}

kv508::TLiveData LiveDataFromPayload(const QByteArray &payload)
{
    kv508::TPayloadReader in = Reader(payload);
    return kv508::GetLiveData(in);
}

// ---- the instrument ---------------------------------------------------------------------------

Instrument::Instrument(quint32 seed, Memory memory)
    : m_memory(std::move(memory)), m_rng(seed), m_samples(kRing, 0), m_dacGain(kDacGain), m_dacOffset(kDacOffset)
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
    return SettingsUsable(stored) ? stored : FactorySettings();
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
    return std::max(0.0, m_dacOffset + m_drivePwm * m_dacGain);
}

void Instrument::SetOutputStage(double gainScale, double offsetMicroAmps)
{
    m_dacGain = kDacGain * gainScale;
    m_dacOffset = offsetMicroAmps;
}

double Instrument::LoopCurrentAt(qint64 nowMs)
{
    Live(nowMs); // sets the drive of this moment
    return LoopCurrent();
}

kv508::TLiveData Instrument::Live(qint64 nowMs)
{
    TakeSamples(nowMs);
    const Settings s = EffectiveSettings();
    const SensorSpec &sensor = SensorInUse();
    const bool settingsMissing = !SettingsUsable(StoredSettings());
    const int latest = m_samples[(m_next + kRing - 1) % kRing];
    const bool fault = latest == kOpenBridge;
    const bool overload = !fault && std::abs(latest - sensor.offsetCounts) >= std::lround(kOverload * sensor.spanCounts);
    const double averaged = AveragedCounts();

    kv508::TLiveData d;
    d.FirmwareDateCode = FirmwareDateCode;
    d.CalibrationDateCode = m_memory.calibrationDate;
    d.Decimals = sensor.decimals;
    d.ScaleEnd = ClampI16(sensor.ScaleEndShown());
    d.BridgeDataAveraged = ClampI16(averaged);
    d.SPS = sensor.sps;

    // Input: two-point calibration, or the nominal sensitivity from zero counts.
    const double zero = InputCalibrated() ? *m_memory.inputZero : 0.0;
    const double span = InputCalibrated() ? *m_memory.inputScaleEnd - *m_memory.inputZero : sensor.spanCounts;
    const double shown = (averaged - zero - m_memory.zeroOffset) / span * sensor.ScaleEndShown();
    d.MeasuredValue = ClampI16(shown);

    quint8 bits = 0;
    if (!InputCalibrated() || !OutputCalibrated())
        bits |= kv508::Err_NotCalibrated;
    if (fault)
        bits |= kv508::Err_SensorFault;
    if (settingsMissing)
        bits |= kv508::Err_SettingsMissing;
    if (overload)
        bits |= kv508::Err_SensorOverload;

    double current;
    if (m_forced) {
        m_drivePwm = m_forcedPwm;
        current = DriveToCurrent(m_forcedPwm);
        if (current < kOutputLow || current > kOutputHigh)
            bits |= kv508::Err_OutputOutOfRange;
    } else {
        if ((fault || overload || settingsMissing) && !s.bErrorCurrentMode) {
            current = s.bErrorCurrentValue ? kErrorHigh : kErrorLow;
        } else {
            current = 4000.0 + (d.MeasuredValue - s.iFizFor4mA) * 16000.0 / (s.iFizFor20mA - s.iFizFor4mA);
            if (current < kOutputLow || current > kOutputHigh)
                bits |= kv508::Err_OutputOutOfRange;
            current = std::clamp(current, kOutputLow, kOutputHigh);
        }
        m_drivePwm = static_cast<int>(std::clamp(std::lround(CurrentToDrive(current)), 0L, long(kv508::PWMMax)));
    }
    d.OutputValue = ClampI16(current);
    d.ErrorBits = bits;
    return d;
}

void Instrument::Stamp(const QByteArray &request)
{
    m_memory.calibrationDate = Reader(request).MBGetDWord();
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
    case kv508::Cmd_Poll: {
        if (!needs(kv508::PollRequestSize))
            break;
        kv508::TPayloadReader in = Reader(request);
        const kv508::TPollRequest poll = kv508::GetPollRequest(in);
        m_forced = poll.force == 1;
        m_forcedPwm = std::min<int>(poll.pwm, kv508::PWMMax);
        r.payload = LiveDataPayload(Live(nowMs));
        break;
    }
    case kv508::Cmd_Zero:
        TakeSamples(nowMs);
        // Against a stored zero point far off the bridge's range the difference
        // could leave what the memory holds (and what the loader accepts).
        m_memory.zeroOffset = static_cast<int>(
            std::clamp(std::lround(AveragedCounts() - (InputCalibrated() ? *m_memory.inputZero : 0)),
                       -long(kMemoryCountLimit), long(kMemoryCountLimit)));
        r.memoryChanged = true;
        r.payload = Echo(command);
        break;
    case kv508::Cmd_SetAs0:
    case kv508::Cmd_SetAsScaleEnd:
        if (!needs(kv508::DateCodeSize))
            break;
        TakeSamples(nowMs);
        (command == kv508::Cmd_SetAs0 ? m_memory.inputZero : m_memory.inputScaleEnd) =
            static_cast<int>(std::lround(AveragedCounts()));
        if (command == kv508::Cmd_SetAs0)
            m_memory.zeroOffset = 0; // a new zero point replaces the old adjustment
        Stamp(request);
        r.memoryChanged = true;
        r.payload = Echo(command);
        break;
    case kv508::Cmd_SetAs4mA:
    case kv508::Cmd_SetAs20mA:
        if (!needs(kv508::DateCodeSize))
            break;
        Live(nowMs); // the drive value of this moment
        (command == kv508::Cmd_SetAs4mA ? m_memory.output4mA : m_memory.output20mA) = m_drivePwm;
        Stamp(request);
        r.memoryChanged = true;
        r.payload = Echo(command);
        break;
    case kv508::Cmd_EraseEEPROM:
        m_memory = Memory::Erased();
        r.memoryChanged = true;
        r.payload = Echo(command);
        break;
    case kv508::Cmd_WriteSettings:
        if (!needs(kv508::SettingsSize))
            break;
        TakeSamples(nowMs); // samples so far belong to the old settings
        m_memory.settingsImage = request.left(kv508::SettingsSize);
        r.memoryChanged = true;
        r.payload = Echo(command);
        break;
    case kv508::Cmd_WriteSettings2:
        if (!needs(kv508::Settings2Size))
            break;
        m_memory.settingsImage.replace(0, kv508::Settings2Size, request.left(kv508::Settings2Size));
        r.memoryChanged = true;
        r.payload = Echo(command);
        break;
    case kv508::Cmd_ReadSettings:
        r.payload = m_memory.settingsImage;
        break;
    case kv508::Cmd_Reset:
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
