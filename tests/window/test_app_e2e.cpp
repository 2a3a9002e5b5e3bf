// The main window end to end: offscreen, on the real serial link, against the
// simulator on a pseudo-terminal (the kv508-sim program, or its core in this
// process where a test must decide which answers get lost).
#include "Main.h"
#include "Pty.h"
#include "TestPeer.h"
#include "Simulator.h"
#include "AppDrive.h"
#include "SimProcess.h"

#include "QtWaitHost.h"

#include <QElapsedTimer>
#include <QListWidget>
#include <QLocale>
#include <QRadioButton>
#include <QRegularExpression>
#include <QTest>

#include <gtest/gtest.h>

#include <QFile>
#include <QProcess>
#include <QTemporaryDir>

#include <fcntl.h>
#include <signal.h>
#include <sys/resource.h>

#include <cmath>
#include <memory>
#include <vector>

namespace {

using Cmd = TForm1::TCommand;

constexpr int kWait = 30000; // wide: the line runs at 4800 baud, and the build may be instrumented

struct TTransaction {
    int command;
    TMBStatus status;
};

bool operator==(const TTransaction &a, const TTransaction &b)
{
    return a.command == b.command && a.status == b.status;
}

void PrintTo(const TTransaction &t, std::ostream *os)
{
    *os << "(" << t.command << ", " << int(t.status) << ")";
}

class SimTest : public ::testing::Test
{
protected:
    void SetUp() override
    {
        QLocale::setDefault(QLocale(QLocale::Hungarian, QLocale::Hungary));
        form = std::make_unique<TForm1>();
        mb = form->MB1;
        // Every transaction the window sees, in order.
        mb->OnMBMasterEndOfEvent = [this](TMBStatus status, const QString &text) {
            log.push_back({mb->MBMasterCommandToSlave(), status});
            form->MB1MBMasterEndOfEvent(status, text);
        };
        // The port is named directly; the list is left alone.
        mb->setMBRefreshListOnStartup(false);
        // Simulators publish their ports in a directory of this test program.
        UseScratchVirtualPortDir();
    }

    void TearDown() override
    {
        form.reset();
        QLocale::setDefault(QLocale::c());
    }

    bool Open(const QString &port)
    {
        mb->setPort(port);
        form->Button_OpenOrCloceSerialPort->click();
        return mb->MBPortOpen();
    }

    // Waits for n more successful polls.
    bool Polls(int n)
    {
        const size_t from = log.size();
        return QTest::qWaitFor(
            [&] {
                int seen = 0;
                for (size_t i = from; i < log.size(); ++i)
                    if (log[i] == TTransaction{Cmd::Cmd_Poll, TMB::stOK})
                        ++seen;
                return seen >= n;
            },
            kWait);
    }

    // Latches a request button and waits until its answer has released it.
    bool Request(TSpeedButton *button)
    {
        button->click();
        EXPECT_TRUE(button->isChecked());
        return QTest::qWaitFor([&] { return !button->isChecked(); }, kWait);
    }

    std::vector<TTransaction> Since(size_t from) const
    {
        return std::vector<TTransaction>(log.begin() + static_cast<std::ptrdiff_t>(from), log.end());
    }

    std::unique_ptr<TForm1> form;
    TMB *mb = nullptr;
    std::vector<TTransaction> log;
};

const TTransaction PollOK{Cmd::Cmd_Poll, TMB::stOK};

// The newcomer's path: the simulator's port is in the list, one press of the
// window's button opens it, and live values follow.
TEST_F(SimTest, OpeningThroughThePortListShowsLiveValuesAndTheSettings)
{
    TSimProcess sim;
    ASSERT_TRUE(sim.Start({QStringLiteral("--pressure"), QStringLiteral("34.5")})) << sim.Stderr().toStdString();
    mb->setMBRefreshListOnStartup(true);
    form->show();
    // The component lists the ports at its first tick.
    ASSERT_TRUE(QTest::qWaitFor([&] { return mb->PortList->count() > 0; }, kWait));
    ASSERT_TRUE(mb->PortList->currentItem());
    EXPECT_EQ(mb->PortList->currentItem()->text(), sim.PortName());

    QElapsedTimer clock;
    clock.start();
    form->Button_OpenOrCloceSerialPort->click();
    ASSERT_TRUE(mb->MBPortOpen()) << mb->LastOpenError().toStdString();
    ASSERT_TRUE(QTest::qWaitFor([&] { return form->Label_Firmware->text() != QStringLiteral("Förmver: v"); }, kWait));
    const qint64 firstValuesMs = clock.elapsed();
    ASSERT_TRUE(Polls(4));
    const double pollsPerSecond = 4000.0 / static_cast<double>(clock.elapsed() - firstValuesMs);
    RecordProperty("first_values_ms", static_cast<int>(firstValuesMs));
    std::printf("first live values after %lld ms; about %.1f polls per second at 4800 baud\n",
                static_cast<long long>(firstValuesMs), pollsPerSecond);

    ASSERT_GE(log.size(), 6u);
    EXPECT_EQ(Since(0)[0], PollOK);
    EXPECT_EQ(Since(0)[1], (TTransaction{Cmd::Cmd_ReadSettings, TMB::stOK}));
    for (size_t i = 2; i < log.size(); ++i)
        EXPECT_EQ(log[i], PollOK) << i;

    // The factory settings of the instrument fill the controls.
    EXPECT_FALSE(form->Edit_iFizFor4mA->text().isEmpty());
    EXPECT_FALSE(form->Edit_Averaging->text().isEmpty());
    EXPECT_GE(form->RadioGroup_Sensor->ItemIndex(), 0);
    EXPECT_GE(form->RadioGroup_ErrorCurrentMode->ItemIndex(), 0);
    EXPECT_GE(form->RadioGroup_ErrorCurrentValue->ItemIndex(), 0);
    EXPECT_TRUE(form->Panel1->isVisibleTo(form->TabSheet2));

    EXPECT_EQ(form->Label_Firmware->text(), QStringLiteral("Förmver: v2017.01.05."));
    EXPECT_TRUE(QRegularExpression(QStringLiteral("^-?\\d+,\\d{3} mA$")).match(form->Label_OutputValue->text()).hasMatch())
        << form->Label_OutputValue->text().toStdString();
}

// Pulled and plugged back: the simulator killed and started again on a new
// terminal (the same adapter serial); the window takes the port back by
// itself and the chain goes on, while waiting it costs next to nothing.
TEST_F(SimTest, AKilledSimulatorStartedAgainIsTakenBackAndPollingResumes)
{
    auto sim = std::make_unique<TSimProcess>();
    ASSERT_TRUE(sim->Start()) << sim->Stderr().toStdString();
    mb->setMBRefreshListOnStartup(true);
    form->show();
    ASSERT_TRUE(QTest::qWaitFor([&] { return mb->PortList->count() > 0; }, kWait));
    form->Button_OpenOrCloceSerialPort->click();
    ASSERT_TRUE(mb->MBPortOpen());
    ASSERT_TRUE(Polls(2));

    sim->Kill();
    ASSERT_TRUE(QTest::qWaitFor([&] { return mb->Reconnecting(); }, kWait));
    const auto cpuMs = [] {
        rusage ru{};
        ::getrusage(RUSAGE_SELF, &ru);
        return (ru.ru_utime.tv_sec + ru.ru_stime.tv_sec) * 1000 + (ru.ru_utime.tv_usec + ru.ru_stime.tv_usec) / 1000;
    };
    const long cpuBefore = cpuMs();
    QTest::qWait(2000); // the wait whose cost is measured
    const long waitingCpuMs = cpuMs() - cpuBefore;
    EXPECT_FALSE(mb->MBPortOpen());

    auto again = std::make_unique<TSimProcess>();
    ASSERT_TRUE(again->Start()) << again->Stderr().toStdString();
    QElapsedTimer clock;
    clock.start();
    ASSERT_TRUE(QTest::qWaitFor([&] { return mb->MBPortOpen(); }, kWait));
    const qint64 reopenedMs = clock.elapsed();
    ASSERT_TRUE(Polls(2));
    const qint64 pollingMs = clock.elapsed();
    EXPECT_FALSE(mb->Reconnecting());
    EXPECT_EQ(mb->Port(), again->PortName());
    RecordProperty("reconnect_waiting_cpu_ms_per_2s", static_cast<int>(waitingCpuMs));
    RecordProperty("reconnect_reopened_ms", static_cast<int>(reopenedMs));
    std::printf("waiting for the port: %ld ms CPU in 2 s; reopened %lld ms after the simulator was back, "
                "polling again after %lld ms\n",
                waitingCpuMs, static_cast<long long>(reopenedMs), static_cast<long long>(pollingMs));
}

TEST_F(SimTest, DisplaysFollowTheInstrument)
{
    TSimProcess sim;
    ASSERT_TRUE(sim.Start({QStringLiteral("--pressure"), QStringLiteral("34.5")}));
    ASSERT_TRUE(Open(sim.Path()));
    ASSERT_TRUE(Polls(2));
    // The factory sensor shows one decimal: 34.5 Pa reads 034,5 give or take the noise.
    ASSERT_TRUE(QTest::qWaitFor([&] { return std::abs(form->LiveData.MeasuredValue - 345) <= 2; }, kWait));
    EXPECT_TRUE(QRegularExpression(QStringLiteral("^03\\d,\\d$")).match(form->Label_MeasuredValue->text()).hasMatch())
        << form->Label_MeasuredValue->text().toStdString();
    EXPECT_EQ(form->Label_ScaleEnd->text(), QStringLiteral("Scale end = 249,1"));

    // A broken sensor colours the second flag; mending it clears it.
    const QColor red(255, 0, 0);
    EXPECT_EQ(form->Label_ErrorBitValue2->palette().color(QPalette::Window), TMB::FaceColor());
    sim.Command(QStringLiteral("fault on"));
    ASSERT_TRUE(QTest::qWaitFor([&] { return form->Label_ErrorBitValue2->palette().color(QPalette::Window) == red; }, kWait));
    sim.Command(QStringLiteral("fault off"));
    ASSERT_TRUE(QTest::qWaitFor([&] { return form->Label_ErrorBitValue2->palette().color(QPalette::Window) == TMB::FaceColor(); }, kWait));
    EXPECT_TRUE(form->Image_OutputCalibrationOK->isVisibleTo(form->TabSheet2)); // factory calibrated
}

// A write is followed directly by a read that shows what the instrument stored.
TEST_F(SimTest, WritingSettingsIsFollowedByAReadOfWhatWasStored)
{
    TSimProcess sim;
    ASSERT_TRUE(sim.Start());
    ASSERT_TRUE(Open(sim.Path()));
    ASSERT_TRUE(Polls(2));

    form->Edit_iFizFor4mA->setText(QStringLiteral("-100"));
    form->Edit_iFizFor20mA->setText(QStringLiteral("12345")); // limited to 9999 when collected
    form->RadioGroup_ErrorCurrentMode->setItemIndex(1);
    form->RadioGroup_ErrorCurrentValue->setItemIndex(1);
    size_t from = log.size();
    form->SpeedButton_WriteSettings2->click();
    EXPECT_EQ(form->Edit_iFizFor20mA->text(), QStringLiteral("9999"));
    form->Edit_iFizFor4mA->setText(QStringLiteral("1")); // typed after latching: not sent, overwritten by the read
    ASSERT_TRUE(QTest::qWaitFor([&] { return !form->SpeedButton_WriteSettings2->isChecked() && !form->SpeedButton_ReadSettings->isChecked(); }, kWait));
    std::vector<TTransaction> seen = Since(from);
    ASSERT_GE(seen.size(), 3u);
    auto write = std::find(seen.begin(), seen.end(), TTransaction{Cmd::Cmd_WriteSettings2, TMB::stOK});
    ASSERT_NE(write, seen.end());
    ASSERT_NE(write + 1, seen.end());
    EXPECT_EQ(write[1], (TTransaction{Cmd::Cmd_ReadSettings, TMB::stOK}));
    EXPECT_EQ(form->Edit_iFizFor4mA->text(), QStringLiteral("-100"));
    EXPECT_EQ(form->Edit_iFizFor20mA->text(), QStringLiteral("9999"));
    EXPECT_EQ(form->SettingsRead.bErrorCurrentMode, true);
    EXPECT_EQ(form->SettingsRead.bErrorCurrentValue, true);

    // The full set from the calibration page (command 7) likewise.
    form->RadioGroup_Sensor->setItemIndex(10);
    form->Edit_Averaging->setText(QStringLiteral("2000"));
    form->RadioGroup_Input->setItemIndex(1);
    from = log.size();
    form->SpeedButton_WriteSettings->click();
    ASSERT_TRUE(QTest::qWaitFor([&] { return !form->SpeedButton_WriteSettings->isChecked() && !form->SpeedButton_ReadSettings->isChecked(); }, kWait));
    seen = Since(from);
    write = std::find(seen.begin(), seen.end(), TTransaction{Cmd::Cmd_WriteSettings, TMB::stOK});
    ASSERT_NE(write, seen.end());
    ASSERT_NE(write + 1, seen.end());
    EXPECT_EQ(write[1], (TTransaction{Cmd::Cmd_ReadSettings, TMB::stOK}));
    EXPECT_EQ(form->SettingsRead.SensorCode, 11);
    EXPECT_EQ(form->SettingsRead.Averaging, 1600);
    EXPECT_EQ(form->Edit_Averaging->text(), QStringLiteral("1600"));
    EXPECT_EQ(form->RadioGroup_Input->ItemIndex(), 1);
    EXPECT_FALSE(form->RadioGroup_Sensor->isVisibleTo(form->TabSheet2));
}

// What the technician types is normalised before it is sent, and the value set
// with the track bar is what the instrument drives.
TEST_F(SimTest, EntriesAreNormalisedAndTheForcedValueReachesTheInstrument)
{
    TSimProcess sim;
    ASSERT_TRUE(sim.Start());
    ASSERT_TRUE(Open(sim.Path()));
    form->show();
    form->activateWindow();
    ASSERT_TRUE(QTest::qWaitForWindowActive(form.get(), kWait));
    ASSERT_TRUE(Polls(2));

    form->PageControl1->setCurrentWidget(form->TabSheet2);
    const std::pair<TEdit *, const char *> typed[] = {{form->Edit_Averaging, ""}, {form->Edit_Averaging, "0"}};
    for (const auto &[edit, text] : typed) {
        edit->setFocus();
        edit->selectAll();
        QTest::keyClick(edit, Qt::Key_Backspace);
        QTest::keyClicks(edit, QString::fromLatin1(text));
        form->Memo1->setFocus();
    }
    EXPECT_EQ(form->Edit_Averaging->text(), QStringLiteral("1"));
    form->Edit_iFizFor4mA->setText(QStringLiteral("abc"));
    ASSERT_TRUE(Request(form->SpeedButton_WriteSettings));
    ASSERT_TRUE(QTest::qWaitFor([&] { return !form->SpeedButton_ReadSettings->isChecked(); }, kWait));
    EXPECT_EQ(form->SettingsRead.Averaging, 1);
    EXPECT_EQ(form->SettingsRead.iFizFor4mA, 0);
    EXPECT_EQ(form->Edit_iFizFor4mA->text(), QStringLiteral("0"));

    form->SpeedButton_PWMForce->click();
    form->TrackBar_PWM->setFocus();
    form->TrackBar_PWM->setValue(50);
    EXPECT_EQ(form->PWMValue, 4096);
    EXPECT_EQ(form->Label_BeallitottPWM->text(), QStringLiteral("4 096"));
    ASSERT_TRUE(Polls(2));
    EXPECT_TRUE(sim.Status().contains(QStringLiteral("forced, drive 4096"))) << sim.Stderr().toStdString();
    form->SpeedButton_PWMForce->click();
    ASSERT_TRUE(Polls(2));
    EXPECT_FALSE(sim.Status().contains(QStringLiteral("forced")));
}

// The technician's whole calibration, steps 1 to 11, on an erased instrument.
class CalibrationTest : public SimTest
{
protected:
    // Waits until the averaged bridge value is within 1 % of the span from target.
    bool BridgeNear(int target, int span)
    {
        return QTest::qWaitFor([&] { return std::abs(form->LiveData.BridgeDataAveraged - target) <= span / 100; }, kWait);
    }

    // The loop current once the instrument drives the value now set.
    double Ammeter()
    {
        EXPECT_TRUE(Polls(2));
        const std::optional<double> mA = sim.LoopCurrent();
        EXPECT_TRUE(mA.has_value()) << sim.Stderr().toStdString();
        return mA.value_or(0.0);
    }

    double SetOutputTo(double target) { return DriveOutputTo(*form, target, [this] { return Ammeter(); }); }

    TSimProcess sim;
};

TEST_F(CalibrationTest, FullProcedureLeavesTheInstrumentCalibratedWithTodaysDate)
{
    ASSERT_TRUE(sim.Start({QStringLiteral("--blank")}));
    ASSERT_TRUE(Open(sim.Path()));
    ASSERT_TRUE(Polls(2));
    const QColor red(255, 0, 0);
    EXPECT_EQ(form->Label_ErrorBitValue1->palette().color(QPalette::Window), red);
    EXPECT_EQ(form->Label_ErrorBitValue4->palette().color(QPalette::Window), red);
    EXPECT_FALSE(form->Image_OutputCalibrationOK->isVisibleTo(form->TabSheet2));

    // The settings the instrument will run with.
    form->Edit_iFizFor4mA->setText(QStringLiteral("0"));
    form->Edit_iFizFor20mA->setText(QStringLiteral("2500"));
    form->RadioGroup_ErrorCurrentMode->setItemIndex(0);
    form->RadioGroup_ErrorCurrentValue->setItemIndex(0);
    form->Edit_Averaging->setText(QStringLiteral("80"));
    form->RadioGroup_Input->setItemIndex(0);

    // 1. the sensor in use: item 1, +-250.0 Pa
    form->RadioGroup_Sensor->Button(0)->click();
    // 2. stored: 7, then the read
    ASSERT_TRUE(Request(form->SpeedButton_WriteSettings));
    ASSERT_TRUE(QTest::qWaitFor([&] { return !form->SpeedButton_ReadSettings->isChecked(); }, kWait));
    EXPECT_EQ(form->SettingsRead.SensorCode, 1);
    ASSERT_TRUE(Polls(2));
    EXPECT_EQ(form->Label_ErrorBitValue4->palette().color(QPalette::Window), TMB::FaceColor());

    // 3. zero pressure
    sim.Command(QStringLiteral("pressure 0"));
    ASSERT_TRUE(Polls(2));
    const int zero = form->LiveData.BridgeDataAveraged;
    ASSERT_TRUE(Request(form->SpeedButton_SetAs0));
    // 4. full-scale pressure, once the averaged value has followed it
    const int span = sim::PressureSensor(1).spanCounts;
    sim.Command(QStringLiteral("pressure %1").arg(sim::PressureSensor(1).fullScale));
    ASSERT_TRUE(BridgeNear(zero + span, span)) << form->LiveData.BridgeDataAveraged;
    ASSERT_TRUE(Request(form->SpeedButton_SetAsScaleEnd));

    // 5. output calibration begins
    form->SpeedButton_PWMForce->click();
    ASSERT_TRUE(form->SpeedButton_SetAs4mA->isVisibleTo(form->TabSheet2));
    form->Button_Out50Percents->click();
    // 6. 4 mA on the ammeter, stored
    const double at4 = SetOutputTo(4.0);
    EXPECT_NEAR(at4, 4.0, 0.003);
    ASSERT_TRUE(Request(form->SpeedButton_SetAs4mA));
    // 7. 20 mA likewise
    const double at20 = SetOutputTo(20.0);
    EXPECT_NEAR(at20, 20.0, 0.003);
    ASSERT_TRUE(Request(form->SpeedButton_SetAs20mA));
    // 8. output calibration ends
    form->SpeedButton_PWMForce->click();
    EXPECT_FALSE(form->SpeedButton_SetAs4mA->isVisibleTo(form->TabSheet2));
    // 9. restart with the new calibration
    ASSERT_TRUE(Request(form->SpeedButton_Reset));
    // 10. zero pressure, zero
    sim.Command(QStringLiteral("pressure 0"));
    ASSERT_TRUE(BridgeNear(zero, span)) << form->LiveData.BridgeDataAveraged;
    ASSERT_TRUE(Request(form->SpeedButton_Zero));
    // 11. restart again
    ASSERT_TRUE(Request(form->SpeedButton_Reset));

    ASSERT_TRUE(Polls(2));
    EXPECT_EQ(form->LiveData.ErrorBits & 1, 0);
    EXPECT_EQ(form->Label_ErrorBitValue1->palette().color(QPalette::Window), TMB::FaceColor());
    EXPECT_TRUE(form->Image_OutputCalibrationOK->isVisibleTo(form->TabSheet2));
    const QString today = TForm1::FormatDateCode(TForm1::DateCodeOf(QDate::currentDate()));
    EXPECT_EQ(form->Label_CalibrationDate->text(), QStringLiteral("Kalibrálás dátuma: ") + today);
    EXPECT_LE(std::abs(form->LiveData.MeasuredValue), 3) << "zeroed";
    // With 0 and 2500 assigned to 4 and 20 mA, zero pressure drives 4 mA.
    EXPECT_NEAR(form->LiveData.OutputValue, 4000, 20);
    const std::optional<double> loop = sim.LoopCurrent();
    ASSERT_TRUE(loop.has_value());
    EXPECT_NEAR(*loop, 4.0, 0.02);
}

// Closing the window while a transaction waits for its answer closes the port
// and leaves nothing to be sent.
TEST_F(SimTest, ClosingTheWindowInFlightClosesThePort)
{
    TSimProcess sim;
    ASSERT_TRUE(sim.Start());
    form->show();
    ASSERT_TRUE(Open(sim.Path()));
    ASSERT_TRUE(Polls(2));
    ASSERT_TRUE(QTest::qWaitFor([&] { return mb->MBStatusNow() == TMB::stnWaitingForAnswer; }, kWait));
    const size_t before = log.size();
    EXPECT_TRUE(form->close());
    EXPECT_FALSE(mb->MBPortOpen());
    EXPECT_EQ(LinkOf(*mb), nullptr);
    ASSERT_EQ(log.size(), before + 1);
    EXPECT_EQ(log.back().status, TMB::stClosedPort);
    EXPECT_FALSE(Core(*mb).AnswerTimer.Enabled());
    EXPECT_FALSE(Core(*mb).StartTimer.Enabled());
    EXPECT_EQ(form->Button_OpenOrCloceSerialPort->text(), QStringLiteral("Soros port megnyitása"));
}

// The simulator's core in this process, so a test can lose chosen answers.
class LossyLineTest : public SimTest
{
protected:
    void StartSimulator(bool open = true)
    {
        ASSERT_TRUE(m_pty.Valid());
        sim::SimConfig config;
        const int master = m_pty.Master();
        m_sim = std::make_unique<sim::Simulator>(config, [master]() -> std::unique_ptr<TMBLink> {
            const int fd = ::fcntl(master, F_DUPFD_CLOEXEC, 0);
            return fd < 0 ? nullptr : MakeFdLink(fd);
        });
        QString error;
        ASSERT_TRUE(m_sim->Start(error)) << error.toStdString();
        // Answers to the commands in m_lose never reach the line.
        mbcore::TMBEngine &slave = m_sim->Component();
        auto received = slave.OnMBSlaveReceivedCommand;
        slave.OnMBSlaveReceivedCommand = [this, received](uint8_t command, bool queryMode, uint16_t count) {
            if (std::find(m_lose.begin(), m_lose.end(), command) != m_lose.end())
                m_sim->Line()->DropNextFrame();
            received(command, queryMode, count);
        };
        // Keep the test short: a lost answer is given up on after a fifth of a second.
        mb->setMBMasterTimeOut(200);
        if (!open)
            return;
        ASSERT_TRUE(Open(m_pty.SlavePath()));
        ASSERT_TRUE(Polls(2));
    }

    void TearDown() override
    {
        form.reset();
        if (m_sim)
            m_sim->Stop();
        m_sim.reset();
        SimTest::TearDown();
    }

    TPty m_pty;
    std::unique_ptr<sim::Simulator> m_sim;
    std::vector<int> m_lose;
};

TEST_F(LossyLineTest, ATimedOutRequestStaysLatchedAndGoesOutAfterTheNextGoodPoll)
{
    StartSimulator();
    m_lose = {Cmd::Cmd_SetAs0};
    const size_t from = log.size();
    form->SpeedButton_SetAs0->click();
    const TTransaction lost{Cmd::Cmd_SetAs0, TMB::stTimeOut};
    ASSERT_TRUE(QTest::qWaitFor([&] { return std::find(log.begin() + static_cast<std::ptrdiff_t>(from), log.end(), lost) != log.end(); }, kWait));
    EXPECT_TRUE(form->SpeedButton_SetAs0->isChecked());
    EXPECT_FALSE(form->Panel1->isVisibleTo(form->TabSheet2));
    m_lose.clear();
    ASSERT_TRUE(QTest::qWaitFor([&] { return !form->SpeedButton_SetAs0->isChecked(); }, kWait));
    const std::vector<TTransaction> seen = Since(from);
    ASSERT_GE(seen.size(), 4u);
    // poll, the lost request, the poll that ends the failed cycle, the request again
    EXPECT_EQ(seen[seen.size() - 4], PollOK);
    EXPECT_EQ(seen[seen.size() - 3], (TTransaction{Cmd::Cmd_SetAs0, TMB::stTimeOut}));
    EXPECT_EQ(seen[seen.size() - 2], PollOK);
    EXPECT_EQ(seen[seen.size() - 1], (TTransaction{Cmd::Cmd_SetAs0, TMB::stOK}));
    EXPECT_TRUE(form->Panel1->isVisibleTo(form->TabSheet2));
}

// Settings typed and latched for writing while the port is closed reach the
// instrument at opening, before the read the opening asks for.
TEST_F(LossyLineTest, AWriteLatchedWhileClosedGoesOutFirstAndIsStored)
{
    form->Edit_iFizFor4mA->setText(QStringLiteral("1234"));
    form->Edit_iFizFor20mA->setText(QStringLiteral("4321"));
    form->RadioGroup_ErrorCurrentMode->Button(1)->click(); // "Tiltva"
    form->SpeedButton_WriteSettings2->click();
    StartSimulator(false);
    ASSERT_TRUE(Open(m_pty.SlavePath()));
    ASSERT_TRUE(QTest::qWaitFor(
        [&] { return !form->SpeedButton_WriteSettings2->isChecked() && !form->SpeedButton_ReadSettings->isChecked(); }, kWait));
    const std::vector<TTransaction> expected = {
        PollOK, {Cmd::Cmd_WriteSettings2, TMB::stOK}, {Cmd::Cmd_ReadSettings, TMB::stOK}};
    EXPECT_EQ(Since(0), expected);
    const sim::Settings held = m_sim->Model().StoredSettings();
    EXPECT_EQ(held.iFizFor4mA, 1234);
    EXPECT_EQ(held.iFizFor20mA, 4321);
    EXPECT_TRUE(held.bErrorCurrentMode);
    EXPECT_FALSE(held.bErrorCurrentValue);
    EXPECT_EQ(form->Edit_iFizFor4mA->text(), QStringLiteral("1234"));
    EXPECT_EQ(form->Edit_iFizFor20mA->text(), QStringLiteral("4321"));
    EXPECT_EQ(form->RadioGroup_ErrorCurrentMode->ItemIndex(), 1);
}

TEST_F(LossyLineTest, ResetAndZeroTogetherSendZeroThenResetWithNoPollBetween)
{
    StartSimulator();
    const size_t from = log.size();
    form->SpeedButton_Reset->click();
    form->SpeedButton_Zero->click();
    ASSERT_TRUE(QTest::qWaitFor([&] { return !form->SpeedButton_Reset->isChecked(); }, kWait));
    const std::vector<TTransaction> seen = Since(from);
    ASSERT_GE(seen.size(), 3u);
    EXPECT_EQ(seen[seen.size() - 3], PollOK);
    EXPECT_EQ(seen[seen.size() - 2], (TTransaction{Cmd::Cmd_Zero, TMB::stOK}));
    EXPECT_EQ(seen[seen.size() - 1], (TTransaction{Cmd::Cmd_Reset, TMB::stOK}));
    // The instrument restarts: polling resumes after it.
    ASSERT_TRUE(Polls(2));
}

// A write whose reader went away (a log or a save into a pipe) must fail where
// it is made, not end the window with SIGPIPE: the program ignores the signal.
TEST(AppProgram, ABrokenPipeDoesNotEndTheWindow)
{
    QTemporaryDir home;
    QProcess window;
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("offscreen"));
    env.insert(QStringLiteral("HOME"), home.path());
    env.insert(QStringLiteral("XDG_CONFIG_HOME"), home.filePath(QStringLiteral("config")));
    window.setProcessEnvironment(env);
    // Whatever this test program does with the signal, the window starts with the default.
    window.setChildProcessModifier([] { ::signal(SIGPIPE, SIG_DFL); });
    window.start(QStringLiteral(KV508_APP_PATH), {});
    ASSERT_TRUE(window.waitForStarted(10000));
    const auto ignoresPipe = [&] {
        QFile status(QStringLiteral("/proc/%1/status").arg(window.processId()));
        if (!status.open(QIODevice::ReadOnly))
            return false;
        for (const QByteArray &line : status.readAll().split('\n'))
            if (line.startsWith("SigIgn:"))
                return ((line.mid(7).trimmed().toULongLong(nullptr, 16) >> (SIGPIPE - 1)) & 1) != 0;
        return false;
    };
    EXPECT_TRUE(QTest::qWaitFor(ignoresPipe, kWait));
    ::kill(static_cast<pid_t>(window.processId()), SIGPIPE);
    EXPECT_FALSE(window.waitForFinished(1000)) << "ended by SIGPIPE";
    window.kill();
    EXPECT_TRUE(window.waitForFinished(kWait));
}

} // namespace
