// The simulator: line emulation, options, state file, and the simulated
// instrument answering a TMB master over a real pseudo-terminal, in-process and
// as the kv508-sim program.
#include "FakeLink.h"
#include "Frames.h"
#include "Console.h"
#include "LineEmulator.h"
#include "MB.h"
#include "Options.h"
#include "PortProbe.h"
#include "Pty.h"
#include "PtyPort.h"
#include "QtWaitHost.h"
#include "Simulator.h"
#include "StateFile.h"

#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QFileInfo>
#include <QJsonDocument>
#include <QProcess>
#include <QTemporaryDir>
#include <QTest>
#include <QtEndian>

#include <gtest/gtest.h>

#include <cstdio>
#include <vector>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

using namespace sim;

namespace {

QString LockPathOf(const QString &link)
{
    return QString::fromStdString(PortProbe::VirtualPortLockPath(link.toStdString()));
}

QByteArray AsciiAnswer(const QByteArray &bytes)
{
    return AsciiLine('S', bytes);
}

QByteArray DateBytes(quint32 code)
{
    QByteArray b(4, '\0');
    qToLittleEndian(code, b.data());
    return b;
}

// ---- line emulation ------------------------------------------------------------------------

struct EmulatorBench {
    explicit EmulatorBench(LineConfig config)
    {
        state = std::make_shared<FakeLinkState>();
        auto fake = std::make_unique<FakeLink>(state);
        inner = fake.get();
        line = std::make_unique<LineEmulator>(std::move(fake), config);
        std::string error;
        EXPECT_TRUE(line->Open("x", config.baud, error));
        line->OnDataAvailable = [this](quint32 n) {
            QByteArray b(n, Qt::Uninitialized);
            b.resize(line->ReadBytes(b.data(), n));
            received += b;
        };
    }
    QByteArray Sent() const { return state->Written(); }
    bool WaitSent(qsizetype n, int ms = 5000)
    {
        return QTest::qWaitFor([&] { return Sent().size() >= n; }, ms);
    }

    std::shared_ptr<FakeLinkState> state;
    FakeLink *inner = nullptr;
    std::unique_ptr<LineEmulator> line;
    QByteArray received;
};

LineConfig Instant()
{
    LineConfig c;
    c.lineTime = false;
    return c;
}

TEST(LineEmulator, WithoutLineTimeBytesPassUnchanged)
{
    EmulatorBench b(Instant());
    const QByteArray answer = AsciiAnswer(QByteArray::fromHex("01270800"));
    b.line->WriteBytes(answer.constData(), answer.size());
    ASSERT_TRUE(b.WaitSent(answer.size()));
    EXPECT_EQ(b.Sent(), answer);
    b.inner->Deliver("M01270800B613;");
    ASSERT_TRUE(QTest::qWaitFor([&] { return b.received.size() >= 14; }, 5000));
    EXPECT_EQ(b.received, QByteArray("M01270800B613;"));
}

TEST(LineEmulator, PollAnswerTakesItsLineTimeAt4800Baud)
{
    LineConfig c;
    c.baud = 4800;
    c.turnaroundMs = 3;
    EmulatorBench b(c);
    const QByteArray answer(54, 'A'); // a poll's answer: 20 payload bytes, 54 characters
    QElapsedTimer clock;
    clock.start();
    b.line->WriteBytes(answer.constData(), answer.size());
    std::vector<qint64> arrivals;
    ASSERT_TRUE(QTest::qWaitFor(
        [&] {
            while (arrivals.size() < static_cast<size_t>(b.state->writes.size()))
                arrivals.push_back(clock.elapsed());
            return b.Sent().size() >= answer.size();
        },
        5000));
    const qint64 total = clock.elapsed();
    std::printf("[ measured ] 54 characters at 4800 baud: %lld ms from hand-over to the last character, "
                "%lld writes\n",
                static_cast<long long>(total), static_cast<long long>(b.state->writes.size()));
    EXPECT_EQ(b.Sent(), answer);
    // 3 ms turnaround + 54 x 10 bits / 4800 = 115.5 ms; the margin is wide on purpose.
    EXPECT_GE(total, 110);
    EXPECT_LE(total, 400);
    // Paced in slices, not in one piece: the first characters left long before the last.
    EXPECT_GE(b.state->writes.size(), 3);
    ASSERT_FALSE(arrivals.empty());
    EXPECT_LE(arrivals.front(), total - 50);
}

TEST(LineEmulator, ReceivedCharactersArriveAtLinePace)
{
    LineConfig c;
    c.baud = 9600;
    EmulatorBench b(c);
    QElapsedTimer clock;
    clock.start();
    b.inner->Deliver(QByteArray(96, 'x')); // 100 ms of characters at 9600 baud
    ASSERT_TRUE(QTest::qWaitFor([&] { return b.received.size() >= 96; }, 5000));
    EXPECT_GE(clock.elapsed(), 95);
}

TEST(LineEmulator, FaultsChangeAnswersAsAsked)
{
    const QByteArray answer = AsciiAnswer(QByteArray::fromHex("012701000102030405060708090A0B0C0D0E0F1011121314"));
    struct Row {
        const char *name;
        FaultPlan plan;
    };
    auto plan = [](double FaultPlan::*which) {
        FaultPlan p;
        p.*which = 1.0;
        p.seed = 5;
        return p;
    };
    for (const Row &row : {Row{"drop", plan(&FaultPlan::drop)}, Row{"corrupt", plan(&FaultPlan::corrupt)},
                           Row{"noise", plan(&FaultPlan::noise)}, Row{"split", plan(&FaultPlan::split)}}) {
        LineConfig c = Instant();
        c.faults = row.plan;
        EmulatorBench b(c);
        b.line->WriteBytes(answer.constData(), answer.size());
        ASSERT_TRUE(QTest::qWaitFor([&] { return b.line->PendingOut() == 0; }, 5000)) << row.name;
        const QByteArray sent = b.Sent();
        const LineStats &s = b.line->Stats();
        if (row.plan.drop > 0) {
            EXPECT_TRUE(sent.isEmpty());
            EXPECT_EQ(s.dropped, 1u);
        } else if (row.plan.corrupt > 0) {
            ASSERT_EQ(sent.size(), answer.size());
            int changed = 0;
            for (int i = 0; i < sent.size(); ++i)
                changed += sent[i] != answer[i];
            EXPECT_EQ(changed, 1);
            EXPECT_EQ(s.corrupted, 1u);
        } else if (row.plan.noise > 0) {
            ASSERT_GT(sent.size(), answer.size());
            EXPECT_LE(sent.size(), answer.size() + 8);
            EXPECT_TRUE(sent.endsWith(answer));
            const QByteArray junk = sent.left(sent.size() - answer.size());
            EXPECT_FALSE(junk.contains(';'));
            EXPECT_FALSE(junk.contains('S'));
        } else {
            EXPECT_EQ(sent, answer);
            EXPECT_GT(b.state->writes.size(), 3); // several chunks
            EXPECT_EQ(s.split, 1u);
        }
    }
}

TEST(LineEmulator, LateAnswerWaitsAndTheSameSeedRepeatsTheSameFaults)
{
    LineConfig c = Instant();
    c.faults.late = 1.0;
    c.faults.lateMs = 120;
    EmulatorBench b(c);
    QElapsedTimer clock;
    clock.start();
    b.line->WriteBytes("S;", 2);
    ASSERT_TRUE(b.WaitSent(2));
    EXPECT_GE(clock.elapsed(), 115);

    auto corrupted = [](quint32 seed) {
        LineConfig k = Instant();
        k.faults.corrupt = 0.5;
        k.faults.seed = seed;
        EmulatorBench e(k);
        const QByteArray answer(30, '0');
        for (int i = 0; i < 20; ++i)
            e.line->WriteBytes(answer.constData(), answer.size());
        EXPECT_TRUE(e.WaitSent(20 * 30));
        return e.Sent();
    };
    EXPECT_EQ(corrupted(11), corrupted(11));
    EXPECT_NE(corrupted(11), corrupted(12));
}

TEST(LineEmulator, RestartIgnoresTheLineForItsDuration)
{
    EmulatorBench b(Instant());
    bool restarted = false;
    b.line->RestartAfterNextFrame(150, [&] { restarted = true; });
    b.line->WriteBytes("S;", 2);
    ASSERT_TRUE(QTest::qWaitFor([&] { return b.line->Restarting(); }, 5000));
    b.inner->Deliver("M0127");
    EXPECT_TRUE(QTest::qWaitFor([&] { return b.line->Stats().deafBytes >= 5; }, 5000));
    EXPECT_EQ(b.line->Stats().deafBytes, 5u);
    EXPECT_TRUE(b.received.isEmpty());
    ASSERT_TRUE(QTest::qWaitFor([&] { return restarted; }, 5000));
    EXPECT_FALSE(b.line->Restarting());
    b.inner->Deliver("M");
    EXPECT_TRUE(QTest::qWaitFor([&] { return b.received == "M"; }, 5000));
}

TEST(LineEmulator, JunkFloodOverrunsTheBoundedBacklogAndTheLineRecovers)
{
    LineConfig c;
    c.baud = 115200;
    EmulatorBench b(c);
    const qsizetype backlog = 11520; // one second of line time
    const QByteArray junk(100000, 'x');
    b.inner->Deliver(junk);
    EXPECT_EQ(b.line->Stats().overrun, quint64(junk.size() - backlog));
    ASSERT_TRUE(QTest::qWaitFor([&] { return b.received.size() >= backlog; }, 5000));
    const QByteArray poll("M01270800B613;");
    b.inner->Deliver(poll);
    QElapsedTimer clock;
    clock.start();
    ASSERT_TRUE(QTest::qWaitFor([&] { return b.received.endsWith(poll); }, 5000));
    EXPECT_LE(clock.elapsed(), 500); // behind nothing but its own line time
    EXPECT_EQ(b.received.size(), backlog + poll.size());
}

// ---- options -----------------------------------------------------------------------------------

TEST(SimOptions, ParsesEveryOptionAndRejectsNonsense)
{
    Options o;
    QString error;
    ASSERT_EQ(ParseOptions({"--baud", "9600", "--no-line-time", "--turnaround=5", "--pressure", "-12.5", "--temperature",
                            "40", "--sensor-fault", "--blank", "--state", "/tmp/x.json", "--restart-ms", "100", "--seed",
                            "42", "--drop", "10%", "--corrupt", "0.2", "--late", "0.3", "--late-ms", "900", "--split", "1",
                            "--noise", "0", "--no-link", "--no-stdin", "--verbose"},
                           o, error),
              ParseOutcome::Run)
        << error.toStdString();
    EXPECT_EQ(o.sim.line.baud, 9600u);
    EXPECT_FALSE(o.sim.line.lineTime);
    EXPECT_EQ(o.sim.line.turnaroundMs, 5);
    EXPECT_DOUBLE_EQ(o.sim.pressurePa, -12.5);
    EXPECT_DOUBLE_EQ(o.sim.temperatureC, 40);
    EXPECT_TRUE(o.sim.sensorFault);
    EXPECT_TRUE(o.sim.blank);
    EXPECT_EQ(o.sim.stateFile, QStringLiteral("/tmp/x.json"));
    EXPECT_EQ(o.sim.restartMs, 100);
    EXPECT_EQ(o.sim.line.faults.seed, 42u);
    EXPECT_DOUBLE_EQ(o.sim.line.faults.drop, 0.1);
    EXPECT_DOUBLE_EQ(o.sim.line.faults.corrupt, 0.2);
    EXPECT_DOUBLE_EQ(o.sim.line.faults.late, 0.3);
    EXPECT_EQ(o.sim.line.faults.lateMs, 900);
    EXPECT_DOUBLE_EQ(o.sim.line.faults.split, 1.0);
    EXPECT_FALSE(o.publish);
    EXPECT_FALSE(o.stdinCommands);
    EXPECT_TRUE(o.verbose);

    Options defaults;
    EXPECT_EQ(ParseOptions({}, defaults, error), ParseOutcome::Run);
    EXPECT_EQ(defaults.sim.line.baud, 4800u);
    EXPECT_TRUE(defaults.sim.line.lineTime);
    EXPECT_FALSE(defaults.sim.line.faults.Any());

    EXPECT_EQ(ParseOptions({"--help"}, defaults, error), ParseOutcome::Help);
    EXPECT_EQ(ParseOptions({"--version"}, defaults, error), ParseOutcome::Version);
    for (const QStringList &bad : std::vector<QStringList>{{"--baud", "5000"}, {"--baud"}, {"--drop", "1.5"}, {"--drop", "x"},
                                                           {"--split", "-1%"}, {"--late-ms", "-3"}, {"--pressure", "nan"},
                                                           {"--state", ""}, {"--blank=1"}, {"--frobnicate"}, {"stray"}}) {
        Options o2;
        error.clear();
        EXPECT_EQ(ParseOptions(bad, o2, error), ParseOutcome::Error) << bad.join(' ').toStdString();
        EXPECT_FALSE(error.isEmpty());
    }
    for (const char *option : {"--baud", "--no-line-time", "--pressure", "--state", "--seed", "--drop", "--corrupt", "--late",
                               "--split", "--noise", "--sensor-fault"})
        EXPECT_TRUE(HelpText().contains(QLatin1String(option))) << option;
}

// ---- state file --------------------------------------------------------------------------------

TEST(SimStateFile, SavedAtomicallyAndLoadedBack)
{
    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("memory.json"));
    Memory m;
    QString error;
    EXPECT_EQ(LoadMemory(path, m, error), LoadResult::Missing);

    Memory saved = Memory::Factory();
    saved.calibrationDate = 20240229;
    ASSERT_TRUE(SaveMemory(path, saved, error)) << error.toStdString();
    ASSERT_EQ(LoadMemory(path, m, error), LoadResult::Loaded);
    EXPECT_EQ(m, saved);
    EXPECT_EQ(QDir(dir.path()).entryList(QDir::Files), QStringList{QStringLiteral("memory.json")}); // no temporaries left

    // A failed save leaves the old file as it was.
    EXPECT_FALSE(WriteFileAtomically(dir.filePath(QStringLiteral("missing/dir/memory.json")), "x", error));
    EXPECT_TRUE(error.contains(QLatin1String("missing/dir")));

    QFile junk(path);
    ASSERT_TRUE(junk.open(QIODevice::WriteOnly));
    junk.write("{\"format\":");
    junk.close();
    EXPECT_EQ(LoadMemory(path, m, error), LoadResult::Invalid);
    EXPECT_TRUE(error.contains(path));
}

TEST(SimStateFile, SavedThroughASymbolicLinkKeepingTheFileMode)
{
    QTemporaryDir dir;
    ASSERT_TRUE(QDir(dir.path()).mkdir(QStringLiteral("real")));
    const QString target = dir.filePath(QStringLiteral("real/memory.json"));
    const QString link = dir.filePath(QStringLiteral("memory.json"));
    QString error;
    ASSERT_TRUE(SaveMemory(target, Memory::Factory(), error)) << error.toStdString();
    ASSERT_EQ(::chmod(QFile::encodeName(target).constData(), 0640), 0);
    ASSERT_TRUE(QFile::link(QStringLiteral("real/memory.json"), link));

    Memory saved = Memory::Factory();
    saved.calibrationDate = 20250102;
    ASSERT_TRUE(SaveMemory(link, saved, error)) << error.toStdString();
    EXPECT_TRUE(QFileInfo(link).isSymLink());
    Memory back;
    ASSERT_EQ(LoadMemory(target, back, error), LoadResult::Loaded) << error.toStdString();
    EXPECT_EQ(back, saved);
    struct stat st {};
    ASSERT_EQ(::stat(QFile::encodeName(target).constData(), &st), 0);
    EXPECT_EQ(st.st_mode & 07777, 0640u);
    EXPECT_EQ(QDir(dir.filePath(QStringLiteral("real"))).entryList(QDir::Files), QStringList{QStringLiteral("memory.json")});

    // a read-only file is a failed save, not silently replaced
    ASSERT_EQ(::chmod(QFile::encodeName(target).constData(), 0444), 0);
    saved.calibrationDate = 20260101;
    EXPECT_FALSE(SaveMemory(link, saved, error));
    EXPECT_TRUE(error.contains(QStringLiteral("read-only"))) << error.toStdString();
    ASSERT_EQ(LoadMemory(target, back, error), LoadResult::Loaded) << error.toStdString();
    EXPECT_EQ(back.calibrationDate, 20250102u);
}

// ---- the simulated instrument behind a TMB master ------------------------------------------------

struct Answer {
    TMB::TMBStatus status = TMB::stClosedPort;
    QByteArray payload;
    quint8 command = 0;
    int tries = 0;
};

class Master
{
public:
    explicit Master(const QString &port, TMB::TMBBaud baud = TMB::baud004800)
    {
        mb.setMBRefreshListOnStartup(false);
        mb.setMBMode(TMB::modeASCIIMaster);
        mb.setMBMasterAddressToSlave(1);
        mb.setMBMasterIDToSlave(39);
        mb.setMBBaud(baud);
        mb.setPort(port);
        mb.OnMBMasterEndOfEvent = [this](TMB::TMBStatus status, const QString &) {
            m_status = status;
            m_done = true;
        };
        mb.MBOpenPort();
    }
    Answer Ask(quint8 command, const QByteArray &payload = QByteArray(), int waitMs = 15000)
    {
        mb.setMBMasterCommandToSlave(command);
        mb.MBClearTxData();
        for (const char b : payload)
            mb.MBPutByte(static_cast<quint8>(b));
        m_done = false;
        mb.MBMasterStart(0);
        EXPECT_TRUE(QTest::qWaitFor([&] { return m_done; }, waitMs)) << "no end of transaction for command " << int(command);
        Answer a;
        a.status = m_status;
        a.command = Core(mb).m_RXDataBuffer[2];
        a.tries = mb.MBMasterTryNumber();
        if (m_status == TMB::stOK)
            for (int i = 0; i < mb.MBReceivedDataNumber(); ++i)
                a.payload.append(static_cast<char>(mb.MBGetByte()));
        return a;
    }
    kv508::TLiveData Poll()
    {
        const Answer a = Ask(kv508::Cmd_Poll, QByteArray::fromHex("000000"));
        EXPECT_EQ(a.status, TMB::stOK);
        EXPECT_EQ(a.payload.size(), kv508::LiveDataSize);
        return LiveDataFromPayload(a.payload);
    }

    TMB mb;

private:
    bool m_done = false;
    TMB::TMBStatus m_status = TMB::stClosedPort;
};

class InProcessSim : public ::testing::Test
{
protected:
    void StartSim(SimConfig config)
    {
        QString error;
        ASSERT_TRUE(pty.Open(error)) << error.toStdString();
        const int master = pty.MasterFd();
        simulator = std::make_unique<Simulator>(config, [master]() -> std::unique_ptr<TMBLink> {
            return MakeFdLink(::fcntl(master, F_DUPFD_CLOEXEC, 0));
        });
        ASSERT_TRUE(simulator->Start(error)) << error.toStdString();
    }
    static SimConfig Fast()
    {
        SimConfig c;
        c.line.lineTime = false;
        return c;
    }

    sim::PtyPort pty;
    std::unique_ptr<Simulator> simulator;
};

TEST_F(InProcessSim, AnswersEveryCommandWithItsLayout)
{
    StartSim(Fast());
    Master m(pty.SlavePath());
    ASSERT_TRUE(m.mb.MBPortOpen()) << m.mb.LastOpenError().toStdString();

    const kv508::TLiveData live = m.Poll();
    EXPECT_EQ(live.FirmwareDateCode, FirmwareDateCode);
    EXPECT_EQ(live.ErrorBits, 0);

    struct Row {
        quint8 command;
        QByteArray request;
        int answerSize;
    };
    Settings s = FactorySettings();
    s.SensorCode = 9;
    s.iFizFor20mA = 1250;
    const std::vector<Row> rows = {
        {kv508::Cmd_ReadSettings, QByteArray(), kv508::SettingsSize}, {kv508::Cmd_Zero, QByteArray(), 1},
        {kv508::Cmd_SetAs0, DateBytes(20240101), 1},                       {kv508::Cmd_SetAs4mA, DateBytes(20240101), 1},
        {kv508::Cmd_SetAs20mA, DateBytes(20240101), 1},                    {kv508::Cmd_WriteSettings, SettingsImage(s), 1},
        {kv508::Cmd_SetAsScaleEnd, DateBytes(20240101), 1},                {kv508::Cmd_WriteSettings2, SettingsImage(s).left(6), 1},
        {kv508::Cmd_EraseEEPROM, QByteArray(), 1}, {kv508::Cmd_Poll, QByteArray::fromHex("000000"), kv508::LiveDataSize},
    };
    for (const Row &row : rows) {
        const Answer a = m.Ask(row.command, row.request);
        EXPECT_EQ(a.status, TMB::stOK) << int(row.command);
        EXPECT_EQ(a.command, row.command);
        ASSERT_EQ(a.payload.size(), row.answerSize) << int(row.command);
        if (row.answerSize == 1) {
            EXPECT_EQ(quint8(a.payload[0]), row.command);
        }
    }
    const Answer unknown = m.Ask(11);
    EXPECT_EQ(unknown.status, TMB::stSlaveError);
    EXPECT_EQ(m.mb.MBStatusString(), QStringLiteral("Unknown Command"));
    // The component's own identify still answers.
    EXPECT_EQ(m.Ask(250).payload, QByteArray::fromHex("E0070A0B"));
}

TEST_F(InProcessSim, WritesAreReflectedAndCalibrationStampsTheDate)
{
    StartSim(Fast());
    Master m(pty.SlavePath());

    Settings s = SettingsFromImage(m.Ask(kv508::Cmd_ReadSettings).payload);
    EXPECT_TRUE(SettingsUsable(s));
    s.iFizFor4mA = -250;
    s.iFizFor20mA = 2491;
    s.bErrorCurrentValue = true;
    s.bErrorCurrentMode = true;
    s.SensorCode = 12; // not sent by command 10
    ASSERT_EQ(m.Ask(kv508::Cmd_WriteSettings2, SettingsImage(s).left(6)).status, TMB::stOK);
    Settings read = SettingsFromImage(m.Ask(kv508::Cmd_ReadSettings).payload);
    EXPECT_EQ(read.iFizFor4mA, -250);
    EXPECT_TRUE(read.bErrorCurrentValue);
    EXPECT_TRUE(read.bErrorCurrentMode);
    EXPECT_EQ(read.SensorCode, 5);

    ASSERT_EQ(m.Ask(kv508::Cmd_WriteSettings, SettingsImage(s)).status, TMB::stOK);
    EXPECT_EQ(m.Ask(kv508::Cmd_ReadSettings).payload, SettingsImage(s));
    EXPECT_EQ(m.Poll().SPS, PressureSensor(12).sps);

    ASSERT_EQ(m.Ask(kv508::Cmd_SetAs4mA, DateBytes(20161011)).status, TMB::stOK);
    EXPECT_EQ(m.Poll().CalibrationDateCode, 20161011u);

    ASSERT_EQ(m.Ask(kv508::Cmd_EraseEEPROM).status, TMB::stOK);
    const kv508::TLiveData erased = m.Poll();
    EXPECT_EQ(erased.ErrorBits, kv508::Err_NotCalibrated | kv508::Err_SettingsMissing);
    EXPECT_EQ(erased.CalibrationDateCode, 0u);
    EXPECT_EQ(m.Ask(kv508::Cmd_ReadSettings).payload, QByteArray(kv508::SettingsSize, char(0xFF)));
}

TEST_F(InProcessSim, ResetAnswersThenStaysSilentWhileRestarting)
{
    SimConfig c = Fast();
    c.restartMs = 300;
    StartSim(c);
    Master m(pty.SlavePath());
    m.Poll();
    m.mb.setMBMasterMaxTryNumber(1);
    m.mb.setMBMasterTimeOut(150);

    ASSERT_EQ(m.Ask(kv508::Cmd_Reset).status, TMB::stOK);
    EXPECT_EQ(m.Ask(kv508::Cmd_Poll, QByteArray::fromHex("000000")).status, TMB::stTimeOut);
    EXPECT_GT(simulator->Line()->Stats().deafBytes, 0u);
    ASSERT_TRUE(QTest::qWaitFor([&] { return !simulator->Line()->Restarting(); }, 5000));
    m.mb.setMBMasterTimeOut(1000);
    EXPECT_EQ(m.Poll().FirmwareDateCode, FirmwareDateCode);
}

TEST_F(InProcessSim, MalformedRequestGetsNoAnswerAndTheNextOneDoes)
{
    StartSim(Fast());
    Master m(pty.SlavePath());
    m.mb.setMBMasterMaxTryNumber(1);
    m.mb.setMBMasterTimeOut(200);
    EXPECT_EQ(m.Ask(kv508::Cmd_SetAs0, QByteArray::fromHex("01")).status, TMB::stTimeOut);
    EXPECT_EQ(m.Ask(kv508::Cmd_ReadSettings).status, TMB::stOK);
}

TEST_F(InProcessSim, PollTimingAt4800BaudOverThePseudoTerminal)
{
    SimConfig c; // line time on, 4800 baud
    StartSim(c);
    Master m(pty.SlavePath());
    m.Poll(); // settle

    // Time the answer on the tool's side: from the first to the last character.
    QElapsedTimer clock;
    qint64 first = -1;
    qint64 last = -1;
    qsizetype seen = 0;
    m.mb.OnMBStatusNowChanged = nullptr;
    TMBLink *link = LinkOf(m.mb);
    ASSERT_NE(link, nullptr);
    auto deliver = link->OnDataAvailable;
    link->OnDataAvailable = [&](quint32 count) {
        const qint64 t = clock.elapsed();
        if (first < 0)
            first = t;
        last = t;
        seen += count;
        deliver(count);
    };
    clock.start();
    const Answer a = m.Ask(kv508::Cmd_Poll, QByteArray::fromHex("000000"));
    const qint64 roundTrip = clock.elapsed();
    link->OnDataAvailable = deliver;
    ASSERT_EQ(a.status, TMB::stOK);
    std::printf("[ measured ] poll at 4800 baud: answer spread over %lld ms (first to last character), "
                "round trip %lld ms\n",
                static_cast<long long>(last - first), static_cast<long long>(roundTrip));
    // 54 characters: 112.5 ms on the line, the first one complete after 2 ms.
    EXPECT_GE(last - first, 95);
    EXPECT_LE(last - first, 400);
    // Request (20 characters, 42 ms) + turnaround + answer.
    EXPECT_GE(roundTrip, 150);
}

TEST_F(InProcessSim, ConsoleChangesTheWorld)
{
    StartSim(Fast());
    Master m(pty.SlavePath());
    EXPECT_TRUE(ConsoleCommand(*simulator, QStringLiteral("pressure 124.55")).contains(QLatin1String("124.55")));
    ASSERT_TRUE(QTest::qWaitFor([&] { return std::abs(m.Poll().MeasuredValue - 1246) <= 5; }, 10000));
    ConsoleCommand(*simulator, QStringLiteral("fault on"));
    EXPECT_TRUE(QTest::qWaitFor([&] { return (m.Poll().ErrorBits & kv508::Err_SensorFault) != 0; }, 10000));
    const QString status = ConsoleCommand(*simulator, QStringLiteral("status"));
    EXPECT_TRUE(status.contains(QLatin1String("sensor fault"))) << status.toStdString();
    EXPECT_TRUE(ConsoleCommand(*simulator, QStringLiteral("bogus")).startsWith(QLatin1String("not understood")));
    EXPECT_TRUE(ConsoleCommand(*simulator, QStringLiteral("pressure x")).startsWith(QLatin1String("not understood")));
}

// ---- kv508-sim as a program --------------------------------------------------------------------

class SimProcess
{
public:
    explicit SimProcess(const QStringList &args)
    {
        process.setProgram(QStringLiteral(KV508_SIM_PATH));
        process.setArguments(args);
        process.setProcessChannelMode(QProcess::SeparateChannels);
        process.start();
        EXPECT_TRUE(process.waitForStarted(10000));
        EXPECT_TRUE(QTest::qWaitFor([&] { return process.canReadLine() || process.state() == QProcess::NotRunning; }, 15000));
        path = QString::fromLocal8Bit(process.readLine()).trimmed();
    }
    ~SimProcess()
    {
        if (process.state() != QProcess::NotRunning) {
            process.kill();
            process.waitForFinished(5000);
        }
    }
    bool Terminate()
    {
        process.terminate(); // SIGTERM
        return QTest::qWaitFor([&] { return process.state() == QProcess::NotRunning; }, 15000) &&
               process.exitStatus() == QProcess::NormalExit && process.exitCode() == 0;
    }

    QProcess process;
    QString path;
};

TEST(SimProgram, HelpDescribesTheOptions)
{
    QProcess p;
    p.start(QStringLiteral(KV508_SIM_PATH), {QStringLiteral("--help")});
    ASSERT_TRUE(p.waitForFinished(15000));
    EXPECT_EQ(p.exitCode(), 0);
    const QByteArray text = p.readAllStandardOutput();
    for (const char *option : {"--baud", "--no-line-time", "--pressure", "--state", "--seed", "--drop", "--corrupt", "--late",
                               "--split", "--noise", "--sensor-fault"})
        EXPECT_TRUE(text.contains(option)) << option;

    QProcess bad;
    bad.start(QStringLiteral(KV508_SIM_PATH), {QStringLiteral("--drop"), QStringLiteral("2")});
    ASSERT_TRUE(bad.waitForFinished(15000));
    EXPECT_EQ(bad.exitCode(), 2);
    EXPECT_TRUE(bad.readAllStandardError().contains("--drop"));
}

TEST(SimProgram, PublishesAnswersAndKeepsItsMemoryAcrossRuns)
{
    const QString ports = UseScratchVirtualPortDir();
    ASSERT_FALSE(ports.isEmpty());
    QTemporaryDir dir;
    const QString state = dir.filePath(QStringLiteral("kv508.json"));
    const QStringList args = {QStringLiteral("--no-stdin"), QStringLiteral("--no-line-time"), QStringLiteral("--state"), state};
    {
        SimProcess sim(args);
        ASSERT_TRUE(sim.path.startsWith(QLatin1String("/dev/pts/"))) << sim.path.toStdString();
        const QString link = ports + QStringLiteral("/kv508sim0");
        EXPECT_EQ(QFileInfo(link).symLinkTarget(), sim.path);

        // The tool's way: the port name resolves through the virtual-port directory.
        Master m(QStringLiteral("kv508sim0"));
        ASSERT_TRUE(m.mb.MBPortOpen()) << m.mb.LastOpenError().toStdString();
        EXPECT_EQ(m.Poll().FirmwareDateCode, FirmwareDateCode);
        ASSERT_EQ(m.Ask(kv508::Cmd_SetAsScaleEnd, DateBytes(20250607)).status, TMB::stOK);
        EXPECT_EQ(m.Poll().CalibrationDateCode, 20250607u);
        m.mb.MBClosePort();

        // A second simulator takes the next free name.
        SimProcess second({QStringLiteral("--no-stdin")});
        EXPECT_TRUE(QFileInfo::exists(ports + QStringLiteral("/kv508sim1")));
        EXPECT_TRUE(second.Terminate());
        EXPECT_FALSE(QFileInfo(ports + QStringLiteral("/kv508sim1")).isSymLink());

        EXPECT_TRUE(sim.Terminate());
        EXPECT_FALSE(QFileInfo(link).isSymLink());
    }
    ASSERT_TRUE(QFileInfo::exists(state));
    {
        SimProcess sim(args);
        Master m(sim.path);
        EXPECT_EQ(m.Poll().CalibrationDateCode, 20250607u); // remembered
        EXPECT_TRUE(sim.Terminate());
    }
}

TEST(SimProgram, StaleLinksOfKilledSimulatorsAreReplacedAndNotListed)
{
    const QString ports = UseScratchVirtualPortDir();
    ASSERT_FALSE(ports.isEmpty());
    const QString link0 = ports + QStringLiteral("/kv508sim0");
    {
        SimProcess killed({QStringLiteral("--no-stdin")});
        ASSERT_TRUE(QFileInfo(link0).isSymLink());
        EXPECT_TRUE(QFileInfo::exists(LockPathOf(link0)));
        EXPECT_TRUE(PortProbe::IsVirtualPortAlive(link0.toStdString()));
        killed.process.kill(); // SIGKILL: no chance to unpublish
        ASSERT_TRUE(killed.process.waitForFinished(5000));
        ASSERT_TRUE(QFileInfo(link0).isSymLink());
        EXPECT_FALSE(PortProbe::IsVirtualPortAlive(link0.toStdString()));
    }
    // A stale name pointing at a live terminal that is no simulator (its number reused).
    TPty terminal;
    ASSERT_TRUE(QFile::link(terminal.SlavePath(), ports + QStringLiteral("/kv508sim1")));

    SimProcess live({QStringLiteral("--no-stdin")});
    EXPECT_EQ(QFileInfo(link0).symLinkTarget(), live.path);
    EXPECT_FALSE(QFileInfo(ports + QStringLiteral("/kv508sim1")).isSymLink());
    EXPECT_FALSE(QFileInfo::exists(ports + QStringLiteral("/kv508sim2")));
    // The list shows the live simulator only (relies on the probe checking the proof of life).
    std::vector<std::string> listed;
    for (const std::string &port : PortProbe::Probe().ports)
        if (port.find("kv508sim") != std::string::npos)
            listed.push_back(port);
    EXPECT_EQ(listed, std::vector<std::string>{"kv508sim0"});
    EXPECT_TRUE(live.Terminate());
    EXPECT_FALSE(QFileInfo(link0).isSymLink());
    EXPECT_FALSE(QFileInfo::exists(LockPathOf(link0)));
}

TEST(SimProgram, EndsCleanlyWhenTheWatchedProcessEnds)
{
    const QString ports = UseScratchVirtualPortDir();
    QProcess watched;
    watched.start(QStringLiteral("sleep"), {QStringLiteral("600")});
    ASSERT_TRUE(watched.waitForStarted(10000));
    SimProcess sim({QStringLiteral("--no-stdin"), QStringLiteral("--watch-pid"), QString::number(watched.processId())});
    ASSERT_TRUE(QFileInfo(ports + QStringLiteral("/kv508sim0")).isSymLink());
    watched.kill();
    ASSERT_TRUE(watched.waitForFinished(5000));
    ASSERT_TRUE(QTest::qWaitFor([&] { return sim.process.state() == QProcess::NotRunning; }, 10000));
    EXPECT_EQ(sim.process.exitStatus(), QProcess::NormalExit);
    EXPECT_EQ(sim.process.exitCode(), 0);
    EXPECT_FALSE(QFileInfo(ports + QStringLiteral("/kv508sim0")).isSymLink());
}

TEST(SimProgram, StateFileFailuresAreReportedAndRefused)
{
    UseScratchVirtualPortDir();
    QTemporaryDir dir;
    // A save that fails is reported at once, without --verbose, and the exit code says so.
    const QString unwritable = dir.filePath(QStringLiteral("missing/kv508.json"));
    {
        SimProcess sim({QStringLiteral("--no-stdin"), QStringLiteral("--no-line-time"), QStringLiteral("--state"), unwritable});
        Master m(sim.path);
        ASSERT_EQ(m.Ask(kv508::Cmd_SetAs4mA, DateBytes(20250607)).status, TMB::stOK);
        QByteArray err;
        EXPECT_TRUE(QTest::qWaitFor(
            [&] {
                err += sim.process.readAllStandardError();
                return err.contains("missing/kv508.json") && err.contains("No such file or directory");
            },
            5000))
            << err.toStdString();
        sim.process.terminate();
        ASSERT_TRUE(sim.process.waitForFinished(10000));
        EXPECT_NE(sim.process.exitCode(), 0);
    }
    // A FIFO is no memory: refused at once instead of waiting for a writer.
    const QByteArray fifo = QFile::encodeName(dir.filePath(QStringLiteral("fifo.json")));
    ASSERT_EQ(::mkfifo(fifo.constData(), 0600), 0);
    QProcess p;
    p.start(QStringLiteral(KV508_SIM_PATH), {QStringLiteral("--no-stdin"), QStringLiteral("--state"), QFile::decodeName(fifo)});
    const bool ended = p.waitForFinished(5000);
    if (!ended) {
        p.kill();
        p.waitForFinished(5000);
    }
    ASSERT_TRUE(ended);
    EXPECT_NE(p.exitCode(), 0);
    EXPECT_TRUE(p.readAllStandardError().contains("not a regular file"));
}

TEST(SimProgram, ConsoleDiscardsOverlongLinesAndEchoesPastNul)
{
    UseScratchVirtualPortDir();
    SimProcess sim({QStringLiteral("--no-line-time")});
    sim.process.write(QByteArray(4608, 'x') + "fault on\n");
    sim.process.write(QByteArray("bogus\0tail\n", 11));
    sim.process.write("status\n");
    QByteArray err;
    ASSERT_TRUE(QTest::qWaitFor(
        [&] {
            err += sim.process.readAllStandardError();
            return err.contains("errors:");
        },
        10000))
        << err.toStdString();
    EXPECT_TRUE(err.contains("ignored whole")) << err.toStdString();
    EXPECT_FALSE(err.contains("sensor fault")) << err.toStdString();
    EXPECT_TRUE(err.contains("tail")) << err.toStdString();
    EXPECT_TRUE(sim.Terminate());
}

} // namespace
