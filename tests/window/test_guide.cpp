// The calibration guide and the settings files, with the real window on the
// real serial link against the simulator: the guide following a whole
// calibration made with the page's buttons, a failed step left unticked; a
// settings file saved by the window against kv508ctl backup, loaded back and
// verified, compared; bad files refused before anything is sent.
#include "AppDrive.h"
#include "CalibrationGuide.h"
#include "Language.h"
#include "Main.h"
#include "Pty.h"
#include "SettingsFiles.h"
#include "SimProcess.h"
#include "Simulator.h"
#include "TestPeer.h"
#include "TextFit.h"
#include "Tools.h"

#include "QtWaitHost.h"
#include "SerialLink.h"

#include <QFile>
#include <QJsonDocument>
#include <QJsonObject>
#include <QListWidget>
#include <QLocale>
#include <QProcess>
#include <QRadioButton>
#include <QTableWidget>
#include <QTemporaryDir>
#include <QTest>

#include <gtest/gtest.h>

#include <fcntl.h>
#include <sys/stat.h>

#include <algorithm>
#include <memory>
#include <vector>

namespace {

using Cmd = TForm1::TCommand;

constexpr int kWait = 30000; // the line runs at 4800 baud, and the build may be instrumented

struct TEnded {
    int command;
    TMBStatus status;
};

class GuideTest : public ::testing::Test
{
protected:
    void SetUp() override
    {
        QLocale::setDefault(QLocale(QLocale::Hungarian, QLocale::Hungary));
        form = std::make_unique<TForm1>();
        mb = form->MB1;
        mb->setMBRefreshListOnStartup(false);
        UseScratchVirtualPortDir();
        QObject::connect(form.get(), &TForm1::TransactionEnded, form.get(),
                         [this](quint8 command, TMBStatus status, const kv508::TInstrumentSnapshot &) { log.push_back({command, status}); });
    }

    void TearDown() override
    {
        form.reset();
        if (inProcess)
            inProcess->Stop();
        inProcess.reset();
        QLocale::setDefault(QLocale::c());
    }

    bool Open(const QString &port)
    {
        mb->setPort(port);
        form->Button_OpenOrCloceSerialPort->click();
        return mb->MBPortOpen();
    }

    bool Polls(int n)
    {
        const size_t from = log.size();
        return QTest::qWaitFor(
            [&] {
                return std::count_if(log.begin() + static_cast<std::ptrdiff_t>(from), log.end(),
                                     [](const TEnded &e) { return e.command == Cmd::Cmd_Poll && e.status == TMB::stOK; }) >= n;
            },
            kWait);
    }

    bool Request(TSpeedButton *button)
    {
        button->click();
        return QTest::qWaitFor([&] { return !button->isChecked(); }, kWait);
    }

    bool Ended(int command, TMBStatus status, size_t from = 0)
    {
        return QTest::qWaitFor(
            [&] {
                return std::any_of(log.begin() + static_cast<std::ptrdiff_t>(from), log.end(),
                                   [&](const TEnded &e) { return e.command == command && e.status == status; });
            },
            kWait);
    }

    size_t Count(int command, size_t from = 0) const
    {
        return static_cast<size_t>(std::count_if(log.begin() + static_cast<std::ptrdiff_t>(from), log.end(),
                                                 [&](const TEnded &e) { return e.command == command; }));
    }

    TCalibrationGuide *Guide() { return qobject_cast<TCalibrationGuide *>(form->Tools()->Open(TToolWindows::CalibrationGuide)); }

    // The simulator's core in this process, where chosen answers can be lost.
    void StartInProcess()
    {
        ASSERT_TRUE(pty.Valid());
        sim::SimConfig config;
        const int master = pty.Master();
        inProcess = std::make_unique<sim::Simulator>(config, [master]() -> std::unique_ptr<TMBLink> {
            const int fd = ::fcntl(master, F_DUPFD_CLOEXEC, 0);
            return fd < 0 ? nullptr : MakeFdLink(fd);
        });
        QString error;
        ASSERT_TRUE(inProcess->Start(error)) << error.toStdString();
        mbcore::TMBEngine &slave = inProcess->Component();
        auto received = slave.OnMBSlaveReceivedCommand;
        slave.OnMBSlaveReceivedCommand = [this, received](uint8_t command, bool queryMode, uint16_t count) {
            if (std::find(lose.begin(), lose.end(), command) != lose.end())
                inProcess->Line()->DropNextFrame();
            received(command, queryMode, count);
        };
        mb->setMBMasterTimeOut(200);
        ASSERT_TRUE(Open(pty.SlavePath()));
        ASSERT_TRUE(Polls(2));
    }

    std::unique_ptr<TForm1> form;
    TMB *mb = nullptr;
    std::vector<TEnded> log;
    TPty pty;
    std::unique_ptr<sim::Simulator> inProcess;
    std::vector<int> lose;
};

// ---- the calibration guide ------------------------------------------------------------------------

// Switched between the languages with steps ticked and a failure on show: the
// ticks, their notes and the failure stay and are said anew; nothing clips.
TEST_F(GuideTest, SwitchesLanguageKeepingTicksAndNotes)
{
    const auto speak = [](Language::TLanguage language) {
        Language::Apply(language);
        QCoreApplication::sendPostedEvents(nullptr, QEvent::LanguageChange);
        QCoreApplication::processEvents(); // the layouts the new words ask for
    };
    TCalibrationGuide *guide = Guide();
    guide->show();
    form->RadioGroup_Input->setItemIndex(1); // temperature: step 1 ticks with its note
    ASSERT_TRUE(guide->StepDone(0));
    emit form->TransactionEnded(Cmd::Cmd_WriteSettings, TMB::stTimeOut, kv508::TInstrumentSnapshot{});
    ASSERT_TRUE(guide->Status().contains(QStringLiteral("failed")));
    auto *steps = guide->findChild<QListWidget *>(QStringLiteral("GuideSteps"));
    ASSERT_NE(steps, nullptr);

    speak(Language::TLanguage::Hungarian);
    EXPECT_TRUE(guide->StepDone(0));
    EXPECT_EQ(guide->CurrentStep(), 1);
    EXPECT_EQ(guide->StepNote(0), QStringLiteral("hőmérséklet-bemenet: nincs nyomásszenzor"));
    EXPECT_TRUE(guide->Status().contains(QStringLiteral("nem sikerült"))) << guide->Status().toStdString();
    EXPECT_TRUE(steps->item(0)->text().contains(QStringLiteral("Válassza ki"))) << steps->item(0)->text().toStdString();
    QStringList clipped = ClippedTexts(guide);
    EXPECT_TRUE(clipped.isEmpty()) << clipped.join(QLatin1Char('\n')).toStdString();

    speak(Language::TLanguage::English);
    EXPECT_TRUE(guide->StepDone(0));
    EXPECT_EQ(guide->StepNote(0), QStringLiteral("temperature input: no pressure sensor"));
    EXPECT_TRUE(guide->Status().contains(QStringLiteral("failed"))) << guide->Status().toStdString();
    EXPECT_TRUE(steps->item(0)->text().contains(QStringLiteral("Select the sensor")));
    clipped = ClippedTexts(guide);
    EXPECT_TRUE(clipped.isEmpty()) << clipped.join(QLatin1Char('\n')).toStdString();
}

// Steps 1 to 11 on an erased instrument, through the page's buttons only: each
// step ticked once the instrument acknowledged it, "ADC settled" before the
// points that take the reading, and the poll after the last Reset read as
// "calibrated". The guide itself sends nothing: every request on the line is
// one a button asked for.
TEST_F(GuideTest, FollowsAWholeCalibrationAndEndsCalibrated)
{
    TSimProcess sim;
    ASSERT_TRUE(sim.Start({QStringLiteral("--blank")})) << sim.Stderr().toStdString();
    form->show();
    TCalibrationGuide *guide = Guide();
    ASSERT_NE(guide, nullptr);
    EXPECT_GT(guide->x(), form->x()) << "beside the main window";
    ASSERT_TRUE(Open(sim.Path()));
    ASSERT_TRUE(Polls(2));
    const auto done = [&](int steps) {
        return QTest::qWaitFor([&] { return guide->CurrentStep() == steps; }, kWait);
    };

    form->Edit_iFizFor4mA->setText(QStringLiteral("0"));
    form->Edit_iFizFor20mA->setText(QStringLiteral("2500"));
    form->Edit_Averaging->setText(QStringLiteral("80"));
    form->RadioGroup_Input->setItemIndex(0);
    form->RadioGroup_Sensor->Button(0)->click();
    ASSERT_TRUE(done(1)) << guide->CurrentStep();
    ASSERT_TRUE(Request(form->SpeedButton_WriteSettings));
    ASSERT_TRUE(done(2));
    EXPECT_TRUE(guide->StepDone(1));

    sim.Command(QStringLiteral("pressure 0"));
    ASSERT_TRUE(QTest::qWaitFor([&] { return guide->Settled(); }, kWait)) << "ADC settled before Set as 0";
    ASSERT_TRUE(Request(form->SpeedButton_SetAs0));
    ASSERT_TRUE(done(3));
    EXPECT_FALSE(guide->StepNote(2).contains(QStringLiteral("moving"))) << guide->StepNote(2).toStdString();

    sim.Command(QStringLiteral("pressure %1").arg(sim::PressureSensor(1).fullScale));
    // The step moves the reading: not settled at once, then settled.
    ASSERT_TRUE(QTest::qWaitFor([&] { return !guide->Settled(); }, kWait));
    ASSERT_TRUE(QTest::qWaitFor([&] { return guide->Settled(); }, kWait));
    // The README's pictures (KV_GUIDE_PICTURES=folder, under Xvfb): step 4 with its indicator, in
    // English and in Hungarian ("-hu").
    if (const QByteArray folder = qgetenv("KV_GUIDE_PICTURES"); !folder.isEmpty()) {
        for (const auto &[language, name] : {std::pair{Language::TLanguage::Hungarian, "/calibration-guide-hu.png"},
                                             std::pair{Language::TLanguage::English, "/calibration-guide.png"}}) {
            Language::Apply(language);
            QCoreApplication::sendPostedEvents(nullptr, QEvent::LanguageChange);
            QCoreApplication::processEvents();
            EXPECT_TRUE(guide->grab().save(QString::fromLocal8Bit(folder) + QLatin1String(name)));
        }
    }
    ASSERT_TRUE(Request(form->SpeedButton_SetAsScaleEnd));
    ASSERT_TRUE(done(4));

    form->SpeedButton_PWMForce->click();
    ASSERT_TRUE(done(5));
    form->Button_Out50Percents->click();
    const auto ammeter = [&] {
        EXPECT_TRUE(Polls(2));
        return sim.LoopCurrent().value_or(0.0);
    };
    EXPECT_NEAR(DriveOutputTo(*form, 4.0, ammeter), 4.0, 0.003);
    EXPECT_EQ(guide->CurrentStep(), 5) << "a drive value alone is no step";
    ASSERT_TRUE(Request(form->SpeedButton_SetAs4mA));
    ASSERT_TRUE(done(6));
    EXPECT_NEAR(DriveOutputTo(*form, 20.0, ammeter), 20.0, 0.003);
    ASSERT_TRUE(Request(form->SpeedButton_SetAs20mA));
    ASSERT_TRUE(done(7));
    form->SpeedButton_PWMForce->click();
    ASSERT_TRUE(done(8));
    ASSERT_TRUE(Request(form->SpeedButton_Reset));
    ASSERT_TRUE(done(9));
    EXPECT_TRUE(guide->Result().isEmpty()) << "the first Reset is not the end";

    sim.Command(QStringLiteral("pressure 0"));
    ASSERT_TRUE(QTest::qWaitFor([&] { return std::abs(form->LiveData.MeasuredValue) < 20 && guide->Settled(); }, kWait));
    ASSERT_TRUE(Request(form->SpeedButton_Zero));
    ASSERT_TRUE(done(10));
    ASSERT_TRUE(Request(form->SpeedButton_Reset));
    ASSERT_TRUE(done(TCalibrationGuide::StepCount));
    ASSERT_TRUE(QTest::qWaitFor([&] { return !guide->Result().isEmpty(); }, kWait));
    EXPECT_TRUE(guide->Calibrated()) << guide->Result().toStdString();
    EXPECT_TRUE(guide->Result().startsWith(QStringLiteral("Calibrated"))) << guide->Result().toStdString();

    // Only the buttons' requests went out: one write (and the reads that follow
    // the opening and the write), one of each point, two resets, one zero.
    EXPECT_EQ(Count(Cmd::Cmd_WriteSettings), 1u);
    EXPECT_EQ(Count(Cmd::Cmd_ReadSettings), 2u);
    for (int c : {Cmd::Cmd_SetAs0, Cmd::Cmd_SetAsScaleEnd, Cmd::Cmd_SetAs4mA, Cmd::Cmd_SetAs20mA, Cmd::Cmd_Zero})
        EXPECT_EQ(Count(c), 1u) << c;
    EXPECT_EQ(Count(Cmd::Cmd_Reset), 2u);
}

// A request whose answer is lost is not ticked (its failure is said), the
// window sends it again, and its acknowledgement ticks it then; a request out
// of order ticks nothing; an instrument left with a flag set is named.
TEST_F(GuideTest, AFailedStepIsNotTickedAndAFlagLeftSetIsNamed)
{
    StartInProcess();
    TCalibrationGuide *guide = Guide();
    ASSERT_NE(guide, nullptr);
    ASSERT_TRUE(QTest::qWaitFor([&] { return guide->CurrentStep() == 1; }, kWait)) << "the sensor read is selected";

    lose = {Cmd::Cmd_WriteSettings};
    const size_t from = log.size();
    form->SpeedButton_WriteSettings->click();
    ASSERT_TRUE(Ended(Cmd::Cmd_WriteSettings, TMB::stTimeOut, from));
    EXPECT_FALSE(guide->StepDone(1));
    EXPECT_EQ(guide->CurrentStep(), 1);
    EXPECT_TRUE(guide->Status().contains(QStringLiteral("failed"))) << guide->Status().toStdString();
    lose.clear();
    ASSERT_TRUE(Ended(Cmd::Cmd_WriteSettings, TMB::stOK, from));
    ASSERT_TRUE(QTest::qWaitFor([&] { return guide->StepDone(1); }, kWait));
    EXPECT_EQ(guide->CurrentStep(), 2);

    // Set as 4 mA before its step: acknowledged by the instrument, not ticked.
    form->SpeedButton_PWMForce->click();
    ASSERT_TRUE(Request(form->SpeedButton_SetAs4mA));
    EXPECT_EQ(guide->CurrentStep(), 2);
    EXPECT_FALSE(guide->StepDone(5));
    EXPECT_TRUE(guide->Status().contains(QStringLiteral("out of order"))) << guide->Status().toStdString();
    form->SpeedButton_PWMForce->click();

    // The whole list again, but every point taken at the same pressure and
    // drive: acknowledged each, yet the instrument is left uncalibrated, and
    // the poll after the last Reset names the flag.
    guide->StartOver();
    ASSERT_EQ(guide->CurrentStep(), 1);
    ASSERT_TRUE(Request(form->SpeedButton_WriteSettings));
    ASSERT_TRUE(Request(form->SpeedButton_SetAs0));
    ASSERT_TRUE(Request(form->SpeedButton_SetAsScaleEnd));
    form->SpeedButton_PWMForce->click();
    ASSERT_TRUE(QTest::qWaitFor([&] { return guide->CurrentStep() == 5; }, kWait));
    ASSERT_TRUE(Request(form->SpeedButton_SetAs4mA));
    ASSERT_TRUE(Request(form->SpeedButton_SetAs20mA));
    form->SpeedButton_PWMForce->click();
    ASSERT_TRUE(QTest::qWaitFor([&] { return guide->CurrentStep() == 8; }, kWait));
    ASSERT_TRUE(Request(form->SpeedButton_Reset));
    ASSERT_TRUE(Request(form->SpeedButton_Zero));
    ASSERT_TRUE(Request(form->SpeedButton_Reset));
    ASSERT_EQ(guide->CurrentStep(), TCalibrationGuide::StepCount);
    ASSERT_TRUE(QTest::qWaitFor([&] { return !guide->Result().isEmpty(); }, kWait));
    EXPECT_FALSE(guide->Calibrated());
    // The flag by the window's label (in the language the window speaks) and its key.
    EXPECT_TRUE(guide->Result().contains(QStringLiteral("” (not-calibrated)"))) << guide->Result().toStdString();
}

} // namespace
