// kv508-sim's console as the scripts beside kv508ctl use it: the reference
// ammeter in the loop, which follows the pressure whether or not anything
// polls, its line for programs on standard output, and values from the
// command line shown in messages without their control characters.
#include "Console.h"
#include "Options.h"
#include "Pty.h"
#include "PtyPort.h"
#include "QtWaitHost.h"
#include "Simulator.h"

#include <QProcess>
#include <QRegularExpression>
#include <QTest>

#include <gtest/gtest.h>

#include <cmath>
#include <memory>

#include <fcntl.h>

using namespace sim;

namespace {

// A simulator on a terminal nobody opens: no poll reaches the instrument.
struct ConsoleBench {
    explicit ConsoleBench(bool blank = false)
    {
        QString error;
        EXPECT_TRUE(pty.Open(error)) << error.toStdString();
        const int master = pty.MasterFd();
        SimConfig config;
        config.line.lineTime = false;
        config.blank = blank;
        simulator = std::make_unique<Simulator>(config, [master]() -> std::unique_ptr<TMBLink> {
            return MakeFdLink(::fcntl(master, F_DUPFD_CLOEXEC, 0));
        });
        EXPECT_TRUE(simulator->Start(error)) << error.toStdString();
    }
    ~ConsoleBench() { simulator->Stop(); }

    PtyPort pty;
    std::unique_ptr<Simulator> simulator;
};

TEST(SimConsole, TheAmmeterFollowsThePressureWithNothingPolling)
{
    ConsoleBench bench;
    Simulator &simulator = *bench.simulator;
    auto loopMa = [&] {
        const ConsoleReply r = RunConsoleCommand(simulator, QStringLiteral("ammeter"));
        EXPECT_TRUE(r.forPrograms);
        const QRegularExpressionMatch m =
            QRegularExpression(QStringLiteral("^ammeter loop_ma=(-?[0-9]+\\.[0-9]{4}) forced=0 drive=[0-9]+$")).match(r.text);
        EXPECT_TRUE(m.hasMatch()) << r.text.toStdString();
        return m.captured(1).toDouble();
    };
    ConsoleCommand(simulator, QStringLiteral("pressure 249.1"));
    EXPECT_TRUE(QTest::qWaitFor([&] { return std::abs(loopMa() - 20.0) < 0.05; }, 5000)) << loopMa();
    ConsoleCommand(simulator, QStringLiteral("pressure 0"));
    EXPECT_TRUE(QTest::qWaitFor([&] { return std::abs(loopMa() - 4.0) < 0.05; }, 5000)) << loopMa();
    EXPECT_FALSE(RunConsoleCommand(simulator, QStringLiteral("status")).forPrograms);
}

// The flags by the names kv508ctl gives them (words, not its keys), in the
// instrument's order, and the calibration date as the instrument's date code.
TEST(SimConsole, StatusNamesTheErrorFlagsAndTheCalibrationDate)
{
    ConsoleBench factory;
    const QString calibrated = ConsoleCommand(*factory.simulator, QStringLiteral("status"));
    EXPECT_TRUE(calibrated.contains(QLatin1String("; errors: none; calibrated 2017.01.12.;"))) << calibrated.toStdString();

    ConsoleBench erased(true);
    ConsoleCommand(*erased.simulator, QStringLiteral("fault on"));
    QString status; // the fault shows from the next sample on
    EXPECT_TRUE(QTest::qWaitFor(
        [&] {
            status = ConsoleCommand(*erased.simulator, QStringLiteral("status"));
            return status.contains(QLatin1String("sensor fault"));
        },
        5000));
    EXPECT_TRUE(status.contains(QStringLiteral("; errors: not calibrated, sensor fault, settings missing; calibrated 0000.00.00.;")))
        << status.toStdString();
}

TEST(SimConsole, TheAmmeterLineGoesToStandardOutputAsItIs)
{
    UseScratchVirtualPortDir();
    QProcess sim;
    sim.start(QStringLiteral(KV508_SIM_PATH), {QStringLiteral("--no-line-time"), QStringLiteral("--no-link")});
    ASSERT_TRUE(sim.waitForStarted(10000));
    ASSERT_TRUE(QTest::qWaitFor([&] { return sim.canReadLine(); }, 15000));
    const QByteArray path = sim.readLine();
    ASSERT_TRUE(path.startsWith("/dev/")) << path.toStdString();
    sim.write("ammeter\n");
    QByteArray out, err;
    ASSERT_TRUE(QTest::qWaitFor(
        [&] {
            out += sim.readAllStandardOutput();
            err += sim.readAllStandardError();
            return out.contains('\n') && err.contains("ammeter");
        },
        10000));
    EXPECT_TRUE(QRegularExpression(QStringLiteral("^ammeter loop_ma=[0-9]+\\.[0-9]{4} forced=0 drive=[0-9]+\\n$"))
                    .match(QString::fromLatin1(out))
                    .hasMatch())
        << out.toStdString();
    // Standard error, a pipe of its own here, keeps its copy as before.
    EXPECT_TRUE(err.contains("kv508-sim: ammeter loop_ma=")) << err.toStdString();
    sim.terminate();
    EXPECT_TRUE(sim.waitForFinished(15000));
}

TEST(SimConsole, ValuesOfTheCommandLineAreShownWithoutControlCharacters)
{
    for (const QStringList &args : {QStringList{QStringLiteral("--serial"), QStringLiteral("RIG\x1b[2J\x07")},
                                    QStringList{QStringLiteral("--drop"), QStringLiteral("5\x1b]0;x\x07")},
                                    QStringList{QStringLiteral("--\x1b[31mred")}}) {
        QProcess p;
        p.start(QStringLiteral(KV508_SIM_PATH), args);
        ASSERT_TRUE(p.waitForFinished(15000));
        EXPECT_EQ(p.exitCode(), 2);
        const QByteArray err = p.readAllStandardError();
        EXPECT_FALSE(err.contains('\x1b') || err.contains('\x07')) << err.toStdString();
        EXPECT_TRUE(err.contains("\\x1b")) << err.toStdString();
    }
    EXPECT_EQ(ShownText(QString(300, QLatin1Char('s'))).size(), 81); // cut, with "…"
}

} // namespace
