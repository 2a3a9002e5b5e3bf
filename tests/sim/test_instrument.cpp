// The simulated instrument's model: layouts, memory, calibration, live data.
#include "Instrument.h"

#include <QJsonDocument>
#include <QtEndian>

#include <gtest/gtest.h>

#include <cmath>
#include <vector>

using namespace kv508;
using namespace sim;

namespace {

QByteArray Date(quint32 code)
{
    QByteArray b(4, '\0');
    qToLittleEndian(code, b.data());
    return b;
}

QByteArray PollRequest(bool force = false, quint16 pwm = 0)
{
    QByteArray b(1, char(force ? 1 : 0));
    b.append(char(pwm & 0xFF));
    b.append(char(pwm >> 8));
    return b;
}

Settings Sensor(quint8 code, quint16 averaging = 1)
{
    Settings s;
    s.SensorCode = code;
    s.Averaging = averaging;
    s.iFizFor4mA = 0;
    s.iFizFor20mA = static_cast<qint16>(PressureSensor(code).ScaleEndShown());
    return s;
}

// Drives an instrument through requests with its own clock.
struct Bench {
    explicit Bench(Memory memory = Memory::Factory(), quint32 seed = 7) : instrument(seed, std::move(memory)) {}

    Reply Send(quint8 command, const QByteArray &request = QByteArray())
    {
        return instrument.Handle(command, request, now);
    }
    TLiveData Poll(bool force = false, quint16 pwm = 0)
    {
        const Reply r = Send(Cmd_Poll, PollRequest(force, pwm));
        EXPECT_EQ(r.payload.size(), LiveDataSize);
        return LiveDataFromPayload(r.payload);
    }
    // Lets the filter settle, then polls.
    TLiveData Settle(qint64 ms = 20000, bool force = false, quint16 pwm = 0)
    {
        now += ms;
        return Poll(force, pwm);
    }
    void Write(const Settings &s) { ASSERT_TRUE(Send(Cmd_WriteSettings, SettingsImage(s)).memoryChanged); }

    Instrument instrument;
    qint64 now = 1000;
};

TEST(Instrument, LiveDataLayoutIsTheTwentyByteAnswer)
{
    TLiveData d;
    d.FirmwareDateCode = 20170105;
    d.CalibrationDateCode = 20161011;
    d.Decimals = 1;
    d.MeasuredValue = -345;
    d.OutputValue = 20000;
    d.ErrorBits = 0x15;
    d.ScaleEnd = 2491;
    d.BridgeDataAveraged = -2;
    d.SPS = 100;
    const QByteArray p = LiveDataPayload(d);
    EXPECT_EQ(p.toHex(), QByteArray("79c53301" "f3a13301" "01" "a7fe" "204e" "15" "bb09" "feff" "6400"));
    const TLiveData back = LiveDataFromPayload(p);
    EXPECT_EQ(back.MeasuredValue, -345);
    EXPECT_EQ(back.BridgeDataAveraged, -2);
    EXPECT_EQ(back.SPS, 100);
}

TEST(Instrument, AnswersRevealTheirCommand)
{
    Bench b;
    struct Row {
        quint8 command;
        QByteArray request;
        int payloadSize;
    };
    const std::vector<Row> rows = {
        {Cmd_Poll, PollRequest(), LiveDataSize},
        {Cmd_ReadSettings, QByteArray(), SettingsSize},
        {Cmd_Zero, QByteArray(), 1},
        {Cmd_SetAs0, Date(20240101), 1},
        {Cmd_SetAs4mA, Date(20240101), 1},
        {Cmd_SetAs20mA, Date(20240101), 1},
        {Cmd_WriteSettings, SettingsImage(Sensor(5)), 1},
        {Cmd_SetAsScaleEnd, Date(20240101), 1},
        {Cmd_WriteSettings2, SettingsImage(Sensor(5)).left(6), 1},
        {Cmd_EraseEEPROM, QByteArray(), 1},
        {Cmd_Reset, QByteArray(), 1},
    };
    for (const Row &row : rows) {
        const Reply r = b.Send(row.command, row.request);
        EXPECT_TRUE(r.answer) << int(row.command);
        EXPECT_EQ(r.status, 0) << int(row.command);
        ASSERT_EQ(r.payload.size(), row.payloadSize) << int(row.command);
        if (row.payloadSize == 1) {
            EXPECT_EQ(quint8(r.payload[0]), row.command); // the echo
        }
    }
    EXPECT_TRUE(b.Send(Cmd_Reset).restart);
    const Reply unknown = b.Send(11);
    EXPECT_EQ(unknown.status, StatusUnknownCommand);
    EXPECT_TRUE(unknown.payload.isEmpty());
}

TEST(Instrument, RequestsTooShortForTheirCommandAreNotAnswered)
{
    Bench b;
    const Memory before = b.instrument.memory();
    for (const auto &[command, size] : std::vector<std::pair<quint8, int>>{
             {Cmd_Poll, 2}, {Cmd_SetAs0, 3}, {Cmd_SetAs4mA, 0}, {Cmd_SetAs20mA, 3}, {Cmd_WriteSettings, 9},
             {Cmd_SetAsScaleEnd, 1}, {Cmd_WriteSettings2, 5}}) {
        const Reply r = b.Send(command, QByteArray(size, '\x01'));
        EXPECT_FALSE(r.answer) << int(command);
        EXPECT_FALSE(r.memoryChanged) << int(command);
    }
    EXPECT_EQ(b.instrument.memory(), before);
}

TEST(Instrument, FactoryInstrumentReadsZeroAndFourMilliamps)
{
    Bench b;
    const TLiveData d = b.Settle();
    EXPECT_EQ(d.FirmwareDateCode, FirmwareDateCode);
    EXPECT_EQ(d.CalibrationDateCode, 20170112u);
    EXPECT_EQ(d.Decimals, 1);
    EXPECT_EQ(d.ScaleEnd, 2491);
    EXPECT_EQ(d.SPS, 100);
    EXPECT_EQ(d.ErrorBits, 0);
    EXPECT_NEAR(d.MeasuredValue, 0, 3);
    EXPECT_NEAR(d.OutputValue, 4000, 25);
    EXPECT_NEAR(d.BridgeDataAveraged, PressureSensor(5).offsetCounts, 3);
    EXPECT_NEAR(b.instrument.LoopCurrent(), 4000, 25);
}

TEST(Instrument, SettingsWriteAndPartialWriteAreReadBack)
{
    Bench b;
    Settings s = Sensor(11, 400);
    s.iFizFor4mA = -100;
    s.bErrorCurrentValue = true;
    s.InputCode = 1;
    b.Write(s);
    EXPECT_EQ(b.Send(Cmd_ReadSettings).payload, SettingsImage(s));

    Settings user;
    user.iFizFor4mA = 12;
    user.iFizFor20mA = 345;
    user.bErrorCurrentValue = false;
    user.bErrorCurrentMode = true;
    b.Send(Cmd_WriteSettings2, SettingsImage(user).left(6));
    const Settings read = SettingsFromImage(b.Send(Cmd_ReadSettings).payload);
    EXPECT_EQ(read.iFizFor4mA, 12);
    EXPECT_EQ(read.iFizFor20mA, 345);
    EXPECT_FALSE(read.bErrorCurrentValue);
    EXPECT_TRUE(read.bErrorCurrentMode);
    EXPECT_EQ(read.SensorCode, 11); // untouched by the partial write
    EXPECT_EQ(read.Averaging, 400);
    EXPECT_EQ(read.InputCode, 1);
}

TEST(Instrument, EraseLeavesAnUncalibratedInstrumentWithMissingSettings)
{
    Bench b;
    b.Send(Cmd_EraseEEPROM);
    EXPECT_EQ(b.Send(Cmd_ReadSettings).payload, QByteArray(SettingsSize, char(0xFF)));
    TLiveData d = b.Settle();
    EXPECT_EQ(d.ErrorBits, Err_NotCalibrated | Err_SettingsMissing);
    EXPECT_EQ(d.CalibrationDateCode, 0u);
    EXPECT_EQ(d.OutputValue, 3200); // missing settings drive the error current

    b.Write(Sensor(5));
    d = b.Settle();
    EXPECT_EQ(d.ErrorBits, Err_NotCalibrated);
    EXPECT_NE(d.OutputValue, 3200);
}

TEST(Instrument, CalibrationWalkThroughLikeATechnician)
{
    Bench b(Memory::Erased());
    b.Write(Sensor(5, 50)); // step 1-2: sensor and averaging

    b.instrument.SetPressure(0); // step 3
    b.Settle();
    ASSERT_TRUE(b.Send(Cmd_SetAs0, Date(20240311)).memoryChanged);
    b.instrument.SetPressure(249.1); // step 4
    TLiveData d = b.Settle();
    EXPECT_EQ(d.CalibrationDateCode, 20240311u);
    ASSERT_TRUE(b.Send(Cmd_SetAsScaleEnd, Date(20240312)).memoryChanged);
    EXPECT_EQ(b.Settle().CalibrationDateCode, 20240312u);
    EXPECT_NEAR(b.Settle().MeasuredValue, 2491, 3);

    // Steps 5-7: force the output and find 4 mA and 20 mA with an ammeter in the loop.
    auto find = [&](double microAmps) {
        quint16 best = 0;
        for (int pwm = 0; pwm <= PWMMax; ++pwm) {
            b.Poll(true, static_cast<quint16>(pwm));
            if (b.instrument.LoopCurrent() >= microAmps) {
                best = static_cast<quint16>(pwm);
                break;
            }
        }
        return best;
    };
    const quint16 pwm4 = find(4000);
    b.Poll(true, pwm4);
    b.Send(Cmd_SetAs4mA, Date(20240313));
    const quint16 pwm20 = find(20000);
    b.Poll(true, pwm20);
    b.Send(Cmd_SetAs20mA, Date(20240314));
    EXPECT_EQ(b.Poll(true, pwm4).OutputValue, 4000);
    EXPECT_EQ(b.Poll(true, pwm20).OutputValue, 20000);
    EXPECT_TRUE(b.instrument.Forced());

    // Step 8-9: release the force, restart: calibrated, no errors, the loop is right.
    b.Poll(false);
    b.instrument.Boot(b.now);
    EXPECT_FALSE(b.instrument.Forced());
    b.instrument.SetPressure(124.55);
    d = b.Settle();
    EXPECT_EQ(d.ErrorBits, 0);
    EXPECT_EQ(d.CalibrationDateCode, 20240314u);
    EXPECT_NEAR(d.MeasuredValue, 1246, 3);
    EXPECT_NEAR(d.OutputValue, 12000, 25);
    EXPECT_NEAR(b.instrument.LoopCurrent(), d.OutputValue, 5);

    // Step 10: a zero adjustment removes an offset; a new zero point replaces it.
    b.instrument.SetPressure(10);
    b.Settle();
    b.Send(Cmd_Zero);
    EXPECT_NEAR(b.Settle().MeasuredValue, 0, 3);
    b.instrument.SetPressure(20);
    EXPECT_NEAR(b.Settle().MeasuredValue, 100, 3);
    EXPECT_EQ(b.Settle().CalibrationDateCode, 20240314u); // zero stamps no date
    b.instrument.SetPressure(0);
    b.Settle();
    b.Send(Cmd_SetAs0, Date(20240315));
    EXPECT_EQ(b.instrument.memory().zeroOffset, 0);
}

TEST(Instrument, MeasurementFollowsSensorTypeAndCalibration)
{
    for (quint8 code = 1; code <= 12; ++code) {
        Bench b(Memory::Erased());
        const SensorSpec &sensor = PressureSensor(code);
        b.Write(Sensor(code, 200));
        b.instrument.SetPressure(0);
        b.Settle();
        b.Send(Cmd_SetAs0, Date(20240101));
        b.instrument.SetPressure(sensor.fullScale);
        b.Settle();
        b.Send(Cmd_SetAsScaleEnd, Date(20240101));
        b.instrument.SetPressure(-sensor.fullScale / 2);
        const TLiveData d = b.Settle();
        EXPECT_EQ(d.Decimals, sensor.decimals) << int(code);
        EXPECT_EQ(d.ScaleEnd, sensor.ScaleEndShown()) << int(code);
        EXPECT_EQ(d.SPS, sensor.sps) << int(code);
        // Half a count of noise is a tiny fraction of the span.
        EXPECT_NEAR(d.MeasuredValue, -sensor.ScaleEndShown() / 2.0, sensor.ScaleEndShown() * 0.002 + 1) << int(code);
    }
}

double SpreadOfReadings(quint16 averaging)
{
    Bench b(Memory::Factory(), 99);
    b.Write(Sensor(5, averaging));
    b.instrument.SetPressure(100);
    b.Settle();
    double sum = 0;
    double sum2 = 0;
    constexpr int n = 60;
    for (int i = 0; i < n; ++i) {
        const double v = b.Settle(20000).MeasuredValue; // independent windows
        sum += v;
        sum2 += v * v;
    }
    const double mean = sum / n;
    EXPECT_NEAR(mean, 1000, 5);
    return std::sqrt(std::max(0.0, sum2 / n - mean * mean));
}

TEST(Instrument, AveragingReducesTheNoise)
{
    const double single = SpreadOfReadings(1);
    const double averaged = SpreadOfReadings(400);
    EXPECT_GT(single, 0.5);
    EXPECT_LT(averaged * 4, single);
}

TEST(Instrument, AveragedValueFollowsAStepOverTheWindow)
{
    Bench b;
    b.Write(Sensor(5, 100)); // 100 samples at 100 SPS: one second
    b.instrument.SetPressure(0);
    b.Settle();
    b.instrument.SetPressure(200);
    EXPECT_NEAR(b.Settle(500).MeasuredValue, 1000, 40);
    EXPECT_NEAR(b.Settle(600).MeasuredValue, 2000, 10);
}

TEST(Instrument, ErrorBitsAndErrorCurrent)
{
    struct Row {
        const char *what;
        double pressure;
        bool sensorFault;
        bool errorHigh;
        bool errorDisabled;
        qint16 fiz20;
        quint8 bits;
        int output; // µA, -1: not checked
    };
    const int scaleEnd = PressureSensor(5).ScaleEndShown();
    const std::vector<Row> rows = {
        {"fault, low error current", 50, true, false, false, 0, Err_SensorFault, 3200},
        {"fault, high error current", 50, true, true, false, 0, Err_SensorFault, 22000},
        {"overload", 600, false, false, false, 0, Err_SensorOverload, 3200},
        {"overload, high", -600, false, true, false, 0, Err_SensorOverload, 22000},
        {"overload, error current off", 600, false, false, true, 0, Err_SensorOverload | Err_OutputOutOfRange, 20500},
        {"above the range", 200, false, false, false, 1000, Err_OutputOutOfRange, 20500},
        {"below the range", -50, false, false, false, 0, Err_OutputOutOfRange, 3800},
        {"in range", 124.55, false, false, false, 0, 0, 12000},
    };
    for (const Row &row : rows) {
        Bench b;
        Settings s = Sensor(5, 10);
        s.bErrorCurrentValue = row.errorHigh;
        s.bErrorCurrentMode = row.errorDisabled;
        if (row.fiz20 != 0)
            s.iFizFor20mA = row.fiz20;
        else
            s.iFizFor20mA = static_cast<qint16>(scaleEnd);
        b.Write(s);
        b.instrument.SetPressure(row.pressure);
        b.instrument.SetSensorFault(row.sensorFault);
        const TLiveData d = b.Settle();
        EXPECT_EQ(d.ErrorBits, row.bits) << row.what;
        EXPECT_NEAR(d.OutputValue, row.output, 30) << row.what;
    }
}

TEST(Instrument, ForcedDriveIgnoresErrorsAndStopsWithTheFlag)
{
    Bench b;
    b.instrument.SetSensorFault(true);
    const Memory &m = b.instrument.memory();
    const TLiveData forced = b.Settle(20000, true, static_cast<quint16>(*m.output20mA));
    EXPECT_EQ(forced.OutputValue, 20000);
    EXPECT_EQ(b.instrument.DrivePwm(), *m.output20mA);
    EXPECT_EQ(b.Poll(true, 60000).OutputValue, b.Poll(true, PWMMax).OutputValue); // clamped to 13 bits
    EXPECT_EQ(b.Poll(false).OutputValue, 3200);
}

TEST(Instrument, TemperatureInputHasItsOwnScale)
{
    Bench b;
    Settings s = Sensor(5, 10);
    s.InputCode = 1;
    b.Write(s);
    const TLiveData d = b.Settle();
    EXPECT_EQ(d.Decimals, TemperatureInput().decimals);
    EXPECT_EQ(d.ScaleEnd, 1500);
    EXPECT_EQ(d.SPS, 10);
}

TEST(Instrument, MemoryJsonRoundTripAndRejection)
{
    Bench b;
    b.Send(Cmd_SetAs0, Date(20250101));
    Memory m = b.instrument.memory();
    m.output20mA.reset();
    QString error;
    const std::optional<Memory> back = Memory::FromJson(m.ToJson(), error);
    ASSERT_TRUE(back) << error.toStdString();
    EXPECT_EQ(*back, m);

    const std::vector<std::pair<const char *, const char *>> bad = {
        {"format", "{\"settings\":\"00000000000000000000\"}"},
        {"settings", R"({"format":"kv508-sim memory 1","settings":"00","zeroOffset":0,"calibrationDate":0})"},
        {"settings", R"({"format":"kv508-sim memory 1","settings":"zz000000000000000000","zeroOffset":0,"calibrationDate":0})"},
        {"inputZero", R"({"format":"kv508-sim memory 1","settings":"00000000000000000000","inputZero":"x","zeroOffset":0,"calibrationDate":0})"},
        {"inputZero", R"({"format":"kv508-sim memory 1","settings":"00000000000000000000","inputZero":1.5,"zeroOffset":0,"calibrationDate":0})"},
        {"zeroOffset", R"({"format":"kv508-sim memory 1","settings":"00000000000000000000","calibrationDate":0})"},
        {"calibrationDate", R"({"format":"kv508-sim memory 1","settings":"00000000000000000000","zeroOffset":0,"calibrationDate":-1})"},
        {"calibrationDate", R"({"format":"kv508-sim memory 1","settings":"00000000000000000000","zeroOffset":0,"calibrationDate":5000000000})"},
    };
    // A zero adjustment against a stored zero point at the edge of the loader's range
    // must not save an offset that the next start refuses.
    Memory edge = Memory::Factory();
    edge.inputZero = -1000000;
    edge.inputScaleEnd = -999000;
    Bench z(edge);
    z.Settle();
    ASSERT_TRUE(z.Send(Cmd_Zero).memoryChanged);
    EXPECT_TRUE(Memory::FromJson(z.instrument.memory().ToJson(), error)) << error.toStdString();

    for (const auto &[field, text] : bad) {
        error.clear();
        EXPECT_FALSE(Memory::FromJson(QJsonDocument::fromJson(text).object(), error)) << text;
        EXPECT_TRUE(error.contains(QLatin1String(field))) << error.toStdString();
    }
}

} // namespace
