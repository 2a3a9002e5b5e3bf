// The reference instruments kv508-sim plays for a calibration station: the
// meter in the loop and the pressure controller, as models on a clock of the
// test's own, on loopback TCP in process, and as the program prints and runs them.
#include "Console.h"
#include "Instrument.h"
#include "MB.h"
#include "Options.h"
#include "Pty.h"
#include "PtyPort.h"
#include "QtWaitHost.h"
#include "References.h"
#include "Scpi.h"
#include "Simulator.h"

#include <QElapsedTimer>
#include <QHostAddress>
#include <QProcess>
#include <QRegularExpression>
#include <QTcpSocket>
#include <QTest>

#include <gtest/gtest.h>

#include <cmath>
#include <memory>
#include <optional>

#include <fcntl.h>

using namespace sim;

namespace {

// The loop current the simulated output stage gives for a drive, µA.
double StageCurrent(int drive, double gainScale = 1.0, double offsetUa = -35.0)
{
    return offsetUa + drive * (24000.0 / kv508::PWMMax * 1.012) * gainScale;
}

std::optional<double> Number(const std::optional<QByteArray> &answer)
{
    if (!answer)
        return std::nullopt;
    bool ok = false;
    const double v = answer->toDouble(&ok);
    return ok ? std::optional<double>(v) : std::nullopt;
}

// ---- the models, on the test's clock --------------------------------------------------------------

TEST(ScpiModels, LinesFaultsAndUnknownCommands)
{
    ScpiLines lines;
    QList<QByteArray> got;
    EXPECT_TRUE(lines.Append("*IDN?\r\nREA", got));
    EXPECT_TRUE(lines.Append("D?\n", got));
    EXPECT_EQ(got, (QList<QByteArray>{"*IDN?", "READ?"}));
    EXPECT_FALSE(lines.Append(QByteArray(ScpiLines::kMaxLine + 1, 'x'), got)); // no end in sight
    ScpiLines other;
    EXPECT_FALSE(other.Append(QByteArray(ScpiLines::kMaxLine + 1, 'x') + "\n", got));

    FaultSetting f;
    EXPECT_TRUE(ParseFault(QStringLiteral("silent@3"), false, f));
    EXPECT_EQ(f.mode, ReferenceFault::Silent);
    EXPECT_EQ(f.after, 3);
    EXPECT_TRUE(ParseFault(QStringLiteral("overload"), true, f));
    for (const char *bad : {"overload", "late@", "late@-1", "late@x", "quiet", ""})
        EXPECT_FALSE(ParseFault(QString::fromLatin1(bad), false, f)) << bad;

    Instrument instrument(1);
    MeterModel meter(instrument, 1, 0.0, 0.0);
    EXPECT_FALSE(meter.Respond("FROB:NICATE?", 0).has_value()); // unknown: no answer...
    EXPECT_FALSE(meter.Respond(QByteArray("\x00\xff\x01?", 4), 0).has_value());
    EXPECT_EQ(meter.Respond("SYST:ERR?", 0), QByteArray("-113,\"Undefined header\"")); // ...but an error
    EXPECT_EQ(meter.Respond("syst:err?", 0), QByteArray("-113,\"Undefined header\""));
    EXPECT_EQ(meter.Respond("SYSTEM:ERROR?", 0), QByteArray("+0,\"No error\""));
    EXPECT_FALSE(meter.Respond("CONF:CURR:DC", 0).has_value());
    EXPECT_EQ(meter.Respond("*IDN?", 0)->split(',').size(), 4);
    // Long and short forms, several commands in a line.
    const std::optional<QByteArray> two = meter.Respond("MEASURE:CURRENT:DC?;:READ?", 0);
    ASSERT_TRUE(two);
    EXPECT_EQ(two->split(';').size(), 2) << two->toStdString();
    EXPECT_TRUE(QRegularExpression(QStringLiteral("^[+-][0-9]\\.[0-9]{8}E[+-][0-9]{2}$"))
                    .match(QString::fromLatin1(*meter.Respond("READ?", 0)))
                    .hasMatch());
}

TEST(ScpiModels, MeterNoiseIsSeededAndOffsetAdds)
{
    Instrument instrument(1);
    MeterModel a(instrument, 7, 0.0, 0.2), b(instrument, 7, 0.0, 0.2), c(instrument, 8, 0.0, 0.2);
    MeterModel shifted(instrument, 7, 5.0, 0.0), plain(instrument, 7, 0.0, 0.0);
    bool differs = false;
    for (int i = 0; i < 20; ++i) {
        const double ra = a.Reading(1000), rb = b.Reading(1000), rc = c.Reading(1000);
        EXPECT_EQ(ra, rb); // the same seed repeats the same run
        differs = differs || ra != rc;
        EXPECT_NEAR(ra, plain.Reading(1000), 2e-6); // 0.2 µA noise stays small
    }
    EXPECT_TRUE(differs);
    EXPECT_NEAR(shifted.Reading(1000) - plain.Reading(1000), 5e-6, 1e-12);
}

TEST(ScpiModels, ControllerOvershootsThenSettlesWithinLimits)
{
    Instrument instrument(1);
    ControllerModel controller(instrument, ControllerConfig{}); // 2000 ms, 5 %
    EXPECT_EQ(controller.Respond(":UNIT:PRES?", 0), QByteArray("PA"));
    EXPECT_FALSE(controller.Respond(":SOUR:PRES 100000", 0));
    EXPECT_FALSE(controller.Respond(":OUTP:STAT ON", 0));
    const double limit = ControllerModel::Limit(100000); // 20 Pa
    double highest = 0;
    qint64 firstInLimits = -1, lastOutside = -1;
    for (qint64 t = 0; t <= 4000; t += 10) {
        const std::optional<QByteArray> answer = controller.Respond(":SENS:PRES:INL?", t);
        ASSERT_TRUE(answer);
        const QList<QByteArray> parts = answer->split(',');
        ASSERT_EQ(parts.size(), 2) << answer->toStdString();
        const double p = parts.at(0).toDouble();
        EXPECT_NEAR(instrument.Pressure(), p, 1e-3); // the transmitter feels what the controller reports
        highest = std::max(highest, p);
        if (std::abs(p - 100000) > limit)
            lastOutside = t;
        if (parts.at(1) == "1") {
            if (firstInLimits < 0)
                firstInLimits = t;
            EXPECT_LE(std::abs(p - 100000), limit) << t;
        } else {
            EXPECT_LT(firstInLimits, 0) << "the flag fell back at " << t;
        }
    }
    std::printf("[ measured ] step to 100 kPa: highest %.1f Pa, last outside the limits at %lld ms, "
                "in limits from %lld ms\n",
                highest, static_cast<long long>(lastOutside), static_cast<long long>(firstInLimits));
    EXPECT_GT(highest, 100000 * 1.03); // overshoot on the way
    EXPECT_LT(highest, 100000 * 1.06);
    EXPECT_LE(lastOutside, 2000);
    EXPECT_GE(firstInLimits, lastOutside + 200); // stable for 200 ms first
    EXPECT_LE(firstInLimits, 2000 + 200 + 10);

    // kPa both ways; control off holds the pressure where it is.
    EXPECT_FALSE(controller.Respond(":UNIT:PRES KPA", 4000));
    EXPECT_EQ(controller.Respond(":UNIT:PRES?", 4000), QByteArray("KPA"));
    EXPECT_NEAR(*Number(controller.Respond(":SENS:PRES?", 4000)), 100.0, 0.02);
    EXPECT_FALSE(controller.Respond(":SOUR:PRES 50", 4000));
    EXPECT_FALSE(controller.Respond(":OUTP:STAT OFF", 4300));
    const double held = instrument.Pressure();
    EXPECT_LT(held, 100000 - 1000);
    EXPECT_GT(held, 50000);
    EXPECT_NEAR(*Number(controller.Respond(":SENS:PRES?", 9000)) * 1000, held, 0.01);
    EXPECT_EQ(controller.Respond(":SENS:PRES:INL?", 9000)->split(',').at(1), QByteArray("0"));
    EXPECT_FALSE(controller.Respond(":UNIT:PRES BAR", 9000));
    EXPECT_EQ(controller.Respond(":SYST:ERR?", 9000), QByteArray("-224,\"Illegal parameter value\""));
}

TEST(ScpiModels, ControllerThatNeverSettlesKeepsMovingAndNeverFlags)
{
    Instrument instrument(1);
    ControllerConfig config;
    config.neverSettles = true;
    ControllerModel controller(instrument, config);
    controller.Respond(":SOUR:PRES 2000", 0);
    controller.Respond(":OUTP:STAT ON", 0);
    double low = 1e9, high = -1e9;
    for (qint64 t = 0; t <= 20000; t += 10) {
        EXPECT_FALSE(controller.InLimitsAt(t)) << t;
        if (t > 10000) {
            low = std::min(low, controller.PressureAt(t));
            high = std::max(high, controller.PressureAt(t));
        }
    }
    EXPECT_GT(high - low, 2 * ControllerModel::Limit(2000)); // still oscillating long after
}

// ---- on loopback TCP, in process ------------------------------------------------------------------

class TcpClient
{
public:
    explicit TcpClient(quint16 port)
    {
        socket.connectToHost(QHostAddress::LocalHost, port);
        EXPECT_TRUE(socket.waitForConnected(5000)) << socket.errorString().toStdString();
    }
    void Send(const QByteArray &line) { socket.write(line + '\n'); }
    // The next line within the deadline (and the event loop running meanwhile).
    std::optional<QByteArray> Line(int ms = 5000)
    {
        if (!QTest::qWaitFor([&] { return socket.canReadLine(); }, ms))
            return std::nullopt;
        return socket.readLine().trimmed();
    }
    std::optional<QByteArray> Ask(const QByteArray &line, int ms = 5000)
    {
        Send(line);
        return Line(ms);
    }
    QTcpSocket socket;
};

class ReferenceBench : public ::testing::Test
{
protected:
    void Start(SimConfig config)
    {
        QString error;
        ASSERT_TRUE(pty.Open(error)) << error.toStdString();
        const int master = pty.MasterFd();
        config.line.lineTime = false;
        config.references.meterPort = 0;
        config.references.controllerPort = 0;
        simulator = std::make_unique<Simulator>(config, [master]() -> std::unique_ptr<TMBLink> {
            return MakeFdLink(::fcntl(master, F_DUPFD_CLOEXEC, 0));
        });
        ASSERT_TRUE(simulator->Start(error)) << error.toStdString();
        ASSERT_NE(simulator->Refs(), nullptr);
    }
    quint16 MeterPort() const { return simulator->Refs()->Meter()->Port(); }
    quint16 ControllerPort() const { return simulator->Refs()->Controller()->Port(); }
    // Waits until server has read n lines in all.
    static bool Read(const ScpiServer *server, qint64 n)
    {
        return QTest::qWaitFor([&] { return server->LinesRead() >= n; }, 5000);
    }

    // Forces the output at drive through the terminal, as the tool's trim does.
    void ForceDrive(int drive)
    {
        TMB mb;
        mb.setMBRefreshListOnStartup(false);
        mb.setMBMode(TMB::modeASCIIMaster);
        mb.setMBMasterAddressToSlave(1);
        mb.setMBMasterIDToSlave(39);
        mb.setMBBaud(TMB::baud004800);
        mb.setPort(pty.SlavePath());
        bool done = false;
        TMB::TMBStatus status = TMB::stClosedPort;
        mb.OnMBMasterEndOfEvent = [&](TMB::TMBStatus s, const QString &) {
            status = s;
            done = true;
        };
        mb.MBOpenPort();
        ASSERT_TRUE(mb.MBPortOpen());
        kv508::PutPoll(mb, 1, static_cast<uint16_t>(drive));
        mb.MBMasterStart(0);
        ASSERT_TRUE(QTest::qWaitFor([&] { return done; }, 15000));
        EXPECT_EQ(status, TMB::stOK);
        mb.MBClosePort();
    }

    PtyPort pty;
    std::unique_ptr<Simulator> simulator;
};

TEST_F(ReferenceBench, MeterReadsTheForcedDriveOfEitherOutputStage)
{
    SimConfig config;
    config.dacGainScale = 1.05;
    config.dacOffsetUa = -20.0;
    config.references.meterOffsetUa = 3.0;
    config.references.meterNoiseUa = 0.0;
    Start(config);
    TcpClient meter(MeterPort());
    meter.Send("CONF:CURR:DC"); // no answer to a setting: the next line answers the next query
    EXPECT_TRUE(meter.Ask("*IDN?")->startsWith("KV508SIM,AMMETER"));
    for (int drive : {1365, 6826}) {
        ForceDrive(drive);
        const std::optional<double> amps = Number(meter.Ask("READ?"));
        ASSERT_TRUE(amps);
        EXPECT_NEAR(*amps * 1e6, StageCurrent(drive, 1.05, -20.0) + 3.0, 1e-4) << drive;
        EXPECT_NEAR(*Number(meter.Ask("MEAS:CURR:DC?")) * 1e6, StageCurrent(drive, 1.05, -20.0) + 3.0, 1e-4);
    }
}

TEST_F(ReferenceBench, DefaultOutputStageAndNoiseAsToday)
{
    Start(SimConfig{});
    TcpClient meter(MeterPort());
    ForceDrive(1365);
    const std::optional<double> amps = Number(meter.Ask("READ?"));
    ASSERT_TRUE(amps);
    EXPECT_NEAR(*amps * 1e6, StageCurrent(1365), 1.5); // 0.2 µA of noise
    EXPECT_NEAR(simulator->Model().LoopCurrent(), StageCurrent(1365), 1e-9);
}

TEST_F(ReferenceBench, FaultsStartAfterNAndEachModeMisbehavesAsNamed)
{
    SimConfig config;
    config.references.meterFault = {ReferenceFault::Silent, 2};
    config.references.lateMs = 300;
    Start(config);
    TcpClient meter(MeterPort());
    EXPECT_TRUE(Number(meter.Ask("READ?")));
    EXPECT_TRUE(Number(meter.Ask("READ?")));
    meter.Send("READ?"); // the third: silent
    ASSERT_TRUE(Read(simulator->Refs()->Meter(), 3));
    EXPECT_EQ(ConsoleCommand(*simulator, QStringLiteral("meter fault none")), QStringLiteral("meter fault none"));
    // What comes next answers the next query: the silent one was read and never answered.
    EXPECT_TRUE(meter.Ask("*IDN?")->startsWith("KV508SIM,AMMETER"));

    ConsoleCommand(*simulator, QStringLiteral("meter fault garbage"));
    EXPECT_EQ(meter.Ask("READ?"), QByteArray("#&!ERR"));
    ConsoleCommand(*simulator, QStringLiteral("meter fault overload@1"));
    EXPECT_TRUE(Number(meter.Ask("READ?")));
    EXPECT_EQ(meter.Ask("READ?"), QByteArray("+9.90000000E+37"));
    ConsoleCommand(*simulator, QStringLiteral("meter fault late"));
    QElapsedTimer clock;
    clock.start();
    meter.Send("READ?");
    meter.Send("*IDN?");
    const std::optional<QByteArray> first = meter.Line(5000);
    const qint64 took = clock.elapsed();
    ASSERT_TRUE(first);
    EXPECT_TRUE(Number(first)) << first->toStdString(); // in order
    EXPECT_GE(took, 290);
    EXPECT_TRUE(meter.Line(5000)->startsWith("KV508SIM"));

    // The controller's queries the same way; its commands still act while it is silent.
    TcpClient controller(ControllerPort());
    EXPECT_EQ(ConsoleCommand(*simulator, QStringLiteral("controller fault garbage@1")),
              QStringLiteral("controller fault garbage after 1 answers"));
    EXPECT_TRUE(Number(controller.Ask(":SENS:PRES?")));
    EXPECT_EQ(controller.Ask(":SENS:PRES?"), QByteArray("#&!ERR"));
    ConsoleCommand(*simulator, QStringLiteral("controller fault silent"));
    controller.Send(":SOUR:PRES 123");
    controller.Send(":SOUR:PRES?");
    ASSERT_TRUE(Read(simulator->Refs()->Controller(), 4));
    ConsoleCommand(*simulator, QStringLiteral("controller fault none"));
    EXPECT_NEAR(*Number(controller.Ask(":SOUR:PRES?")), 123.0, 1e-9);
    EXPECT_TRUE(ConsoleCommand(*simulator, QStringLiteral("controller fault overload")).contains(QLatin1String("is not")));
}

TEST_F(ReferenceBench, PressureMovesWithNobodyAsking)
{
    SimConfig config;
    config.references.controller.settleMs = 300;
    Start(config);
    TcpClient controller(ControllerPort());
    controller.Send(":SOUR:PRES 150;:OUTP:STAT ON");
    ASSERT_TRUE(Read(simulator->Refs()->Controller(), 1));
    // The transmitter sees the pressure move although the controller is not asked again.
    EXPECT_TRUE(QTest::qWaitFor([&] { return std::abs(simulator->Model().Pressure() - 150.0) < 0.05; }, 5000))
        << simulator->Model().Pressure();
    EXPECT_EQ(simulator->Refs()->Controller()->LinesRead(), 1);
}

TEST_F(ReferenceBench, NextClientAfterOneLeavesOrTakesOver)
{
    Start(SimConfig{});
    {
        TcpClient first(MeterPort());
        EXPECT_TRUE(first.Ask("*IDN?"));
        first.socket.disconnectFromHost();
    }
    TcpClient second(MeterPort());
    EXPECT_TRUE(Number(second.Ask("READ?")));
    // A client that never closed does not lock the next one out.
    TcpClient third(MeterPort());
    EXPECT_TRUE(Number(third.Ask("READ?")));
    EXPECT_TRUE(QTest::qWaitFor([&] { return second.socket.state() == QAbstractSocket::UnconnectedState; }, 5000));
}

TEST_F(ReferenceBench, OverlongLinesAndBinaryJunkNeitherCrashNorHang)
{
    Start(SimConfig{});
    TcpClient junk(ControllerPort());
    QByteArray binary(300, '\0');
    for (int i = 0; i < binary.size(); ++i)
        binary[i] = static_cast<char>((i * 37) & 0xFF);
    binary.replace('\n', '?');
    junk.Send(binary);
    EXPECT_TRUE(junk.Ask("*IDN?")->startsWith("KV508SIM,PRESSURE")); // the junk got nothing

    TcpClient flood(ControllerPort());
    flood.socket.write(QByteArray(ScpiLines::kMaxLine + 100, 'A'));
    EXPECT_TRUE(QTest::qWaitFor([&] { return flood.socket.state() == QAbstractSocket::UnconnectedState; }, 5000));
    TcpClient after(ControllerPort());
    EXPECT_TRUE(after.Ask("*IDN?"));
}

// ---- the program ------------------------------------------------------------------------------------

TEST(SimReferencesProgram, PrintsItsPortsAfterThePathAndTakesFaultsFromTheConsole)
{
    UseScratchVirtualPortDir();
    QProcess sim;
    sim.start(QStringLiteral(KV508_SIM_PATH),
              {QStringLiteral("--no-line-time"), QStringLiteral("--no-link"), QStringLiteral("--meter-port"), QStringLiteral("0"),
               QStringLiteral("--controller-port=0"), QStringLiteral("--meter-fault"), QStringLiteral("garbage@1")});
    ASSERT_TRUE(sim.waitForStarted(10000));
    QByteArray out;
    ASSERT_TRUE(QTest::qWaitFor(
        [&] {
            out += sim.readAllStandardOutput();
            return out.count('\n') >= 3 || sim.state() == QProcess::NotRunning;
        },
        15000))
        << out.toStdString();
    const QList<QByteArray> lines = out.split('\n');
    ASSERT_GE(lines.size(), 3) << out.toStdString();
    EXPECT_TRUE(lines.at(0).startsWith("/dev/")) << out.toStdString(); // the path stays first
    const QRegularExpression meterLine(QStringLiteral("^meter: tcp:127\\.0\\.0\\.1:([0-9]+)$"));
    const QRegularExpression controllerLine(QStringLiteral("^controller: tcp:127\\.0\\.0\\.1:([0-9]+)$"));
    const QRegularExpressionMatch m = meterLine.match(QString::fromLatin1(lines.at(1)));
    const QRegularExpressionMatch c = controllerLine.match(QString::fromLatin1(lines.at(2)));
    ASSERT_TRUE(m.hasMatch() && c.hasMatch()) << out.toStdString();

    TcpClient meter(static_cast<quint16>(m.captured(1).toUInt()));
    EXPECT_TRUE(Number(meter.Ask("READ?")));
    EXPECT_EQ(meter.Ask("READ?"), QByteArray("#&!ERR"));
    sim.write("meter fault none\n");
    QByteArray err;
    ASSERT_TRUE(QTest::qWaitFor(
        [&] {
            err += sim.readAllStandardError();
            return err.contains("meter fault none");
        },
        10000))
        << err.toStdString();
    EXPECT_TRUE(Number(meter.Ask("READ?")));
    TcpClient controller(static_cast<quint16>(c.captured(1).toUInt()));
    EXPECT_TRUE(controller.Ask("*IDN?")->startsWith("KV508SIM,PRESSURE"));

    sim.terminate();
    EXPECT_TRUE(sim.waitForFinished(15000));
    EXPECT_EQ(sim.exitCode(), 0);
}

TEST(SimReferencesProgram, OptionsAreParsedAndNonsenseRefused)
{
    Options o;
    QString error;
    ASSERT_EQ(ParseOptions({"--meter-port", "0", "--controller-port", "5025", "--meter-offset-ua", "-1.5",
                            "--meter-noise-ua", "0", "--meter-fault", "late@4", "--controller-fault", "silent",
                            "--controller-settle-ms", "500", "--controller-overshoot", "0", "--controller-never-settles",
                            "--dac-gain-scale", "1.1", "--dac-offset-ua", "12", "--late-ms", "250"},
                           o, error),
              ParseOutcome::Run)
        << error.toStdString();
    const ReferenceConfig &r = o.sim.references;
    EXPECT_EQ(r.meterPort, 0);
    EXPECT_EQ(r.controllerPort, 5025);
    EXPECT_EQ(r.meterOffsetUa, -1.5);
    EXPECT_EQ(r.meterNoiseUa, 0.0);
    EXPECT_EQ(r.meterFault.mode, ReferenceFault::Late);
    EXPECT_EQ(r.meterFault.after, 4);
    EXPECT_EQ(r.controllerFault.mode, ReferenceFault::Silent);
    EXPECT_EQ(r.controller.settleMs, 500);
    EXPECT_EQ(r.controller.overshoot, 0.0);
    EXPECT_TRUE(r.controller.neverSettles);
    EXPECT_EQ(r.lateMs, 250);
    EXPECT_EQ(o.sim.dacGainScale, 1.1);
    EXPECT_EQ(o.sim.dacOffsetUa, 12.0);

    Options defaults;
    EXPECT_FALSE(defaults.sim.references.Any()); // nothing listens unless asked
    EXPECT_EQ(defaults.sim.references.lateMs, 5000);
    EXPECT_EQ(defaults.sim.line.faults.lateMs, 1500);
    for (const QStringList &bad : std::initializer_list<QStringList>{
             {"--meter-port", "65536"}, {"--meter-port", "-1"}, {"--controller-fault", "overload"},
             {"--meter-fault", "late@x"}, {"--controller-overshoot", "1.5"}, {"--dac-gain-scale", "0"},
             {"--meter-noise-ua", "nan"}, {"--controller-never-settles=1"}}) {
        Options o2;
        EXPECT_EQ(ParseOptions(bad, o2, error), ParseOutcome::Error) << bad.join(' ').toStdString();
    }
    for (const char *option : {"--meter-port", "--controller-port", "--meter-offset-ua", "--meter-noise-ua", "--meter-fault",
                               "--controller-fault", "--controller-settle-ms", "--controller-overshoot",
                               "--controller-never-settles", "--dac-gain-scale", "--dac-offset-ua"})
        EXPECT_TRUE(HelpText().contains(QLatin1String(option))) << option;
}

} // namespace
