// The window's own transaction chain against kv508-sim on a pseudo-terminal,
// with faults injected by the simulator (dropped answers, corrupted characters,
// late answers, answers cut into small chunks, noise between frames), while
// requests are latched as a user would. CI runs a short soak; KV_SOAK_FULL=1 runs
// 100,000 transactions (about 20 minutes).
//
// Only the 50 ms pause between transactions is taken out (the start timer fires
// as soon as the chain arms it) and the answer time-out is shortened, so the
// chain is the window's and the component's, only faster.
#include "Main.h"
#include "MB.h"
#include "TestPeer.h"
#include "SoakSupport.h"

#include <QListWidget>
#include <QProcess>
#include <QRandomGenerator>
#include <QTest>
#include <QTimer>

#include <gtest/gtest.h>

#include <array>
#include <map>
#include <vector>

#ifndef KV508_SIM_PATH
#error "KV508_SIM_PATH names the simulator"
#endif

namespace {

class SimProcess
{
public:
    ~SimProcess()
    {
        if (m_process.state() == QProcess::NotRunning)
            return;
        m_process.terminate();
        if (!m_process.waitForFinished(10000))
            m_process.kill();
        m_process.waitForFinished(10000);
    }
    // The path of the simulator's terminal, empty when it did not start.
    QString Start(const QStringList &args)
    {
        m_process.setProgram(QStringLiteral(KV508_SIM_PATH));
        m_process.setArguments(args);
        m_process.setProcessChannelMode(QProcess::ForwardedErrorChannel);
        m_process.start();
        if (!m_process.waitForStarted(10000))
            return {};
        (void)robust::RunUntil([this] { return m_process.canReadLine() || m_process.state() == QProcess::NotRunning; },
                              20000);
        return m_process.canReadLine() ? QString::fromLocal8Bit(m_process.readLine()).trimmed() : QString();
    }
    bool Running() const { return m_process.state() == QProcess::Running; }

private:
    QProcess m_process;
};

struct TRequest {
    TSpeedButton *TForm1::*button;
    quint8 command;
};

// The order in which the chain serves latched requests.
const std::array<TRequest, 10> kOrder = {{{&TForm1::SpeedButton_Zero, TForm1::Cmd_Zero},
                                          {&TForm1::SpeedButton_SetAs4mA, TForm1::Cmd_SetAs4mA},
                                          {&TForm1::SpeedButton_SetAs20mA, TForm1::Cmd_SetAs20mA},
                                          {&TForm1::SpeedButton_EraseEEPROM, TForm1::Cmd_EraseEEPROM},
                                          {&TForm1::SpeedButton_WriteSettings, TForm1::Cmd_WriteSettings},
                                          {&TForm1::SpeedButton_ReadSettings, TForm1::Cmd_ReadSettings},
                                          {&TForm1::SpeedButton_SetAs0, TForm1::Cmd_SetAs0},
                                          {&TForm1::SpeedButton_SetAsScaleEnd, TForm1::Cmd_SetAsScaleEnd},
                                          {&TForm1::SpeedButton_Reset, TForm1::Cmd_Reset},
                                          {&TForm1::SpeedButton_WriteSettings2, TForm1::Cmd_WriteSettings2}}};

class Soak
{
public:
    explicit Soak(TForm1 &form) : m_form(form), m_mb(*form.MB1), m_random(8) {}

    // Wraps the window's handlers: checks every end of a transaction against what
    // the chain must do, latches requests now and then, and lets the start timer
    // fire as soon as the chain arms it.
    void Install()
    {
        m_chain = m_mb.OnMBMasterEndOfEvent;
        m_portChain = m_mb.OnMBPortOpenedOrClosed;
        Core(m_mb).StartTimer.SetManual(true);
        m_mb.OnMBMasterEndOfEvent = [this](TMB::TMBStatus status, const QString &text) { End(status, text); };
        m_mb.OnMBPortOpenedOrClosed = [this](bool open) {
            const auto before = States();
            m_portChain(open);
            const auto after = States();
            for (size_t i = 0; i < kOrder.size(); ++i)
                m_latched += !before[i] && after[i]; // the settings read after opening
            StartSoon();
        };
    }
    void Uninstall()
    {
        m_mb.OnMBMasterEndOfEvent = m_chain;
        m_mb.OnMBPortOpenedOrClosed = m_portChain;
        Core(m_mb).StartTimer.SetManual(false);
    }

    void SetLatching(bool on) { m_latching = on; }
    qint64 Transactions() const { return m_ends; }
    qint64 TimeOuts() const { return m_timeOuts; }
    qint64 Retried() const { return m_retried; }
    qint64 Latched() const { return m_latched; }
    qint64 Served() const { return m_served; }
    qint64 Withdrawn() const { return m_withdrawn; }
    bool AnyLatched() const
    {
        for (const TRequest &r : kOrder)
            if ((m_form.*r.button)->isChecked())
                return true;
        return false;
    }

private:
    std::array<bool, 10> States() const
    {
        std::array<bool, 10> s{};
        for (size_t i = 0; i < kOrder.size(); ++i)
            s[i] = (m_form.*kOrder[i].button)->isChecked();
        return s;
    }

    void StartSoon()
    {
        if (Core(m_mb).StartTimer.Enabled())
            QTimer::singleShot(0, &m_form, [this] { Core(m_mb).StartTimer.Fire(); });
    }

    void CheckAnswer(quint8 command)
    {
        const auto &rx = Core(m_mb).m_RXDataBuffer;
        const int payload = m_mb.MBReceivedDataNumber();
        EXPECT_EQ(rx[0], 1);
        EXPECT_EQ(rx[1], 39);
        // The answer names the command it answers, and its payload is that command's.
        ASSERT_EQ(rx[2], command) << "an answer was attributed to another command";
        if (command == TForm1::Cmd_Poll) {
            ASSERT_EQ(payload, 20);
            const quint32 firmware = rx[4] | rx[5] << 8 | rx[6] << 16 | quint32(rx[7]) << 24;
            EXPECT_EQ(firmware, 20170105u);
        } else if (command == TForm1::Cmd_ReadSettings) {
            ASSERT_EQ(payload, 10);
        } else {
            ASSERT_EQ(payload, 1);
            EXPECT_EQ(rx[4], command) << "an acknowledgement of another command";
        }
    }

    void End(TMB::TMBStatus status, const QString &text)
    {
        ++m_ends;
        const quint8 command = m_mb.MBMasterCommandToSlave();
        ASSERT_TRUE(status == TMB::stOK || status == TMB::stTimeOut)
            << "transaction " << m_ends << " ended with " << text.toStdString();
        m_timeOuts += status == TMB::stTimeOut;
        m_retried += m_mb.MBMasterTryNumber() > 1;
        if (status == TMB::stOK)
            CheckAnswer(command);

        // Now and then the user latches a request (a sibling may be released).
        if (m_latching && m_random.bounded(5) == 0) {
            const size_t pick = m_random.bounded(int(kOrder.size()));
            TSpeedButton *b = m_form.*kOrder[pick].button;
            if (!b->isChecked()) {
                const auto before = States();
                b->click();
                ++m_latched;
                const auto after = States();
                for (size_t i = 0; i < kOrder.size(); ++i)
                    m_withdrawn += before[i] && !after[i];
            }
        }

        const auto before = States();
        m_chain(status, text);
        const auto after = States();

        // A request's button is released only by an acknowledged answer of its own
        // command; after a settings change the settings are read back, and the read
        // the chain latches leaves a pending short settings write latched.
        const size_t read = 5, write2 = 9;
        for (size_t i = 0; i < kOrder.size(); ++i) {
            const quint8 c = kOrder[i].command;
            const bool servedNow = status == TMB::stOK && c == command;
            ASSERT_FALSE(before[i] && !after[i] && !servedNow) << "request " << int(c) << " released without its answer";
            if (!before[i] && after[i]) {
                ASSERT_TRUE(status == TMB::stOK && c == TForm1::Cmd_ReadSettings &&
                            (command == TForm1::Cmd_EraseEEPROM || command == TForm1::Cmd_WriteSettings ||
                             command == TForm1::Cmd_WriteSettings2))
                    << "request " << int(c) << " latched by the chain after " << int(command);
                ++m_latched;
            }
            if (servedNow && before[i]) {
                ASSERT_FALSE(after[i]) << "request " << int(c) << " still latched after its answer";
                ++m_served;
            }
        }

        // Exactly one next transaction: after an answer the first latched request
        // (a read yields to a waiting short write), else (and after any failure) a poll.
        quint8 expected = TForm1::Cmd_Poll;
        for (size_t i = 0; i < kOrder.size() && status == TMB::stOK; ++i) {
            if (after[i]) {
                expected = i == read && after[write2] ? quint8(TForm1::Cmd_WriteSettings2) : kOrder[i].command;
                break;
            }
        }
        ASSERT_TRUE(Core(m_mb).StartTimer.Enabled()) << "the chain stopped";
        ASSERT_EQ(m_mb.MBMasterCommandToSlave(), expected) << "the chain started the wrong transaction";
        StartSoon();
    }

    TForm1 &m_form;
    TMB &m_mb;
    QRandomGenerator m_random;
    TMB::TMasterEvent m_chain;
    TMB::TPortOpenedOrClosed m_portChain;
    bool m_latching = true;
    qint64 m_ends = 0, m_timeOuts = 0, m_retried = 0, m_latched = 0, m_served = 0, m_withdrawn = 0;
};

TEST(SoakTest, WindowChainSurvivesFaultsWithoutMixingUpAnswers)
{
    const qint64 transactions = robust::FullSize() ? 100000 : 1500;
    SimProcess sim;
    const QString path = sim.Start({QStringLiteral("--no-line-time"), QStringLiteral("--no-link"),
                                    QStringLiteral("--no-stdin"), QStringLiteral("--seed"), QStringLiteral("508"),
                                    QStringLiteral("--drop"), QStringLiteral("5%"), QStringLiteral("--corrupt"),
                                    QStringLiteral("5%"), QStringLiteral("--late"), QStringLiteral("3%"),
                                    QStringLiteral("--late-ms"), QStringLiteral("50"), QStringLiteral("--split"),
                                    QStringLiteral("3%"), QStringLiteral("--noise"), QStringLiteral("5%"),
                                    QStringLiteral("--restart-ms"), QStringLiteral("20")});
    ASSERT_FALSE(path.isEmpty()) << "the simulator did not start";

    TForm1 form;
    TMB &mb = *form.MB1;
    mb.setMBRefreshListOnStartup(false);
    mb.setMBMasterTimeOut(30); // each try waits 34 + 30 ms
    mb.PortList->clear();
    mb.setPort(path);
    Soak soak(form);
    soak.Install();

    form.Button_OpenOrCloceSerialPort->click();
    ASSERT_TRUE(mb.MBPortOpen()) << mb.LastOpenError().toStdString();

    // Warm up, then take the process's measure.
    ASSERT_TRUE(robust::RunUntil([&] { return soak.Transactions() >= 200 || ::testing::Test::HasFatalFailure(); },
                                120000));
    ASSERT_FALSE(::testing::Test::HasFatalFailure());
    const int descriptors = robust::OpenDescriptors();
    const int threads = robust::Threads();
    const long resident = robust::ResidentKb();

    const int budgetMs = int(std::min<qint64>(transactions * 60 + 60000, 7200000));
    const bool done = robust::RunUntil(
        [&] { return soak.Transactions() >= transactions || ::testing::Test::HasFatalFailure() || !sim.Running(); },
        budgetMs);
    ASSERT_FALSE(::testing::Test::HasFatalFailure());
    ASSERT_TRUE(sim.Running()) << "the simulator died";
    ASSERT_TRUE(done) << "only " << soak.Transactions() << " transactions in " << budgetMs << " ms";

    // Stop latching; every request still latched must be served by the chain.
    soak.SetLatching(false);
    ASSERT_TRUE(robust::RunUntil([&] { return !soak.AnyLatched() || ::testing::Test::HasFatalFailure(); }, 60000))
        << "requests still latched";
    ASSERT_FALSE(::testing::Test::HasFatalFailure());
    EXPECT_EQ(soak.Latched(), soak.Served() + soak.Withdrawn());
    EXPECT_GT(soak.Served(), 0);
    EXPECT_GT(soak.Retried(), soak.Transactions() / 50) << "hardly any fault reached the chain";

    EXPECT_EQ(robust::OpenDescriptors(), descriptors);
    EXPECT_EQ(robust::Threads(), threads);
    if (!robust::Sanitized()) {
        EXPECT_LT(robust::ResidentKb() - resident, 1024) << "resident memory growth in kB";
    }
    RecordProperty("transactions", int(soak.Transactions()));
    RecordProperty("time_outs", int(soak.TimeOuts()));
    RecordProperty("retried", int(soak.Retried()));
    RecordProperty("requests_served", int(soak.Served()));
    std::printf("soak: %lld transactions, %lld needed a retry, %lld ended by time-out, %lld requests latched, %lld "
                "served, %lld released by a sibling, resident growth %ld kB\n",
                static_cast<long long>(soak.Transactions()), static_cast<long long>(soak.Retried()),
                static_cast<long long>(soak.TimeOuts()),
                static_cast<long long>(soak.Latched()), static_cast<long long>(soak.Served()),
                static_cast<long long>(soak.Withdrawn()), robust::ResidentKb() - resident);

    soak.Uninstall();
    form.Button_OpenOrCloceSerialPort->click();
    EXPECT_FALSE(mb.MBPortOpen());
}

} // namespace
