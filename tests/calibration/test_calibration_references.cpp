// The calibration record's reference instruments on a line: the window
// against kv508-sim with its meter and pressure controller on loopback. The
// references' *IDN? fills the record's references, Read (and "Read
// automatically") takes the meter's loop current into a point, and a meter
// that never answers is said while the window keeps turning.
#include "AutomaticRun.h"
#include "CalibrationWindow.h"
#include "CertificateHeader.h"
#include "Main.h"
#include "PointTable.h"
#include "Pty.h"
#include "ReferencePanel.h"
#include "Simulator.h"

#include <QCheckBox>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QJsonDocument>
#include <QLineEdit>
#include <QProcess>
#include <QPushButton>
#include <QRegularExpression>
#include <QSettings>
#include <QSignalSpy>
#include <QTableWidget>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>

#include <gtest/gtest.h>

#include <memory>

namespace {

using namespace calib;

constexpr int kReferenceWait = 30000;

// kv508-sim with its references: the terminal's path, then where the meter
// and the controller listen, all on standard output.
class TStationSim
{
public:
    ~TStationSim()
    {
        if (m_process.state() == QProcess::NotRunning)
            return;
        m_process.terminate();
        if (!m_process.waitForFinished(10000))
            m_process.kill();
        m_process.waitForFinished(10000);
    }

    bool Start(const QStringList &args)
    {
        m_process.setProgram(QStringLiteral(KV508_SIM_PATH));
        m_process.setArguments(args);
        m_process.start();
        if (!m_process.waitForStarted(10000))
            return false;
        const bool controller = args.contains(QStringLiteral("--controller-port"));
        (void)QTest::qWaitFor(
            [&] {
                m_out += QString::fromLocal8Bit(m_process.readAllStandardOutput());
                return (m_out.contains(QStringLiteral("meter: ")) && (!controller || m_out.contains(QStringLiteral("controller: ")))) ||
                       m_process.state() == QProcess::NotRunning;
            },
            20000);
        path = m_out.section(QLatin1Char('\n'), 0, 0).trimmed();
        meter = Address(QStringLiteral("meter"));
        this->controller = Address(QStringLiteral("controller"));
        return path.startsWith(QLatin1Char('/')) && !meter.isEmpty();
    }

    void Command(const QString &line) { m_process.write((line + QLatin1Char('\n')).toLocal8Bit()); }

    // The loop current a meter reads now, from the simulator's own line.
    double LoopMilliAmps()
    {
        const qsizetype seen = Stderr().size();
        Command(QStringLiteral("ammeter"));
        const QRegularExpression line(QStringLiteral("ammeter loop_ma=(-?[0-9]+\\.[0-9]+) "));
        QRegularExpressionMatch m;
        (void)QTest::qWaitFor([&] { return (m = line.match(Stderr().mid(seen))).hasMatch(); }, kReferenceWait);
        EXPECT_TRUE(m.hasMatch()) << Stderr().toStdString();
        return m.captured(1).toDouble();
    }

    QString Stderr()
    {
        m_err += QString::fromLocal8Bit(m_process.readAllStandardError());
        return m_err;
    }

    QString path, meter, controller;

private:
    QString Address(const QString &name) const
    {
        const QRegularExpression re(QStringLiteral("^%1: (tcp:\\S+)$").arg(name), QRegularExpression::MultilineOption);
        return re.match(m_out).captured(1);
    }

    QProcess m_process;
    QString m_out, m_err;
};

class CalibrationStationTest : public ::testing::Test
{
protected:
    void SetUp() override
    {
        form = std::make_unique<TForm1>();
        form->MB1->setMBRefreshListOnStartup(false);
        UseScratchVirtualPortDir();
        QObject::connect(form.get(), &TForm1::TransactionEnded, [this](quint8 command, TMBStatus status) {
            if (command == TForm1::Cmd_Poll && status == TMB::stOK)
                ++polls;
        });
    }

    void TearDown() override
    {
        window = nullptr;
        form.reset();
    }

    // The simulator with args, the port open, a record started in a window.
    void Open(const QStringList &args)
    {
        ASSERT_TRUE(sim.Start(args)) << sim.Stderr().toStdString();
        form->MB1->setPort(sim.path);
        form->Button_OpenOrCloceSerialPort->click();
        ASSERT_TRUE(form->MB1->MBPortOpen());
        ASSERT_TRUE(QTest::qWaitFor([&] { return polls >= 2 && !form->SpeedButton_ReadSettings->isChecked(); }, kReferenceWait));
        window = new TCalibrationWindow(*form, dir.filePath(QStringLiteral("records.sqlite")));
        window->show();
        ASSERT_TRUE(window->NewRecord());
        ASSERT_TRUE(QTest::qWaitFor([&] { return window->HasRecord() && window->PendingWrites() == 0; }, kReferenceWait))
            << window->LastMessage().toStdString();
    }

    // Connects what is typed into the panel; true once every one named has answered.
    bool ConnectReferences(const QString &meter, const QString &controller = {})
    {
        TReferencePanel *refs = window->ReferencePanel();
        refs->MeterEdit()->setText(meter);
        refs->ControllerEdit()->setText(controller);
        refs->ConnectButton()->click();
        return QTest::qWaitFor([&] { return !refs->Connecting(); }, kReferenceWait);
    }

    QString Cell(TPhase phase, int row, int column) const
    {
        const QTableWidgetItem *item = window->Table(phase)->item(row, column);
        return item ? item->text() : QString();
    }

    // The pressure of a point of the record's sequence, applied and settled.
    QString Apply(int index)
    {
        const TSpan span{form->SettingsRead.iFizFor4mA, form->SettingsRead.iFizFor20mA, form->LiveData.Decimals};
        const TDecimal value = span.At(window->Record().Sequence().at(size_t(index)));
        const QString text = QString::fromStdString(value.Text());
        sim.Command(QStringLiteral("pressure %1").arg(text));
        EXPECT_TRUE(QTest::qWaitFor(
            [&] { return window->InstrumentStable() && std::abs(form->LiveData.MeasuredValue - value.units) <= 2; }, kReferenceWait));
        return text;
    }

    // The factory instrument with its 4 mA point stored 20 drive steps high,
    // and both references (a controller quick to settle).
    QStringList DriftedStation()
    {
        sim::Memory m = sim::Memory::Factory();
        *m.output4mA += 20;
        const QString path = dir.filePath(QStringLiteral("instrument.json"));
        QFile f(path);
        EXPECT_TRUE(f.open(QIODevice::WriteOnly));
        f.write(QJsonDocument(m.ToJson()).toJson());
        return {QStringLiteral("--state"), path, QStringLiteral("--meter-port"), QStringLiteral("0"), QStringLiteral("--controller-port"),
                QStringLiteral("0"), QStringLiteral("--controller-settle-ms"), QStringLiteral("300")};
    }

    // Whether the simulator's output is forced now, from its own line.
    bool Forced()
    {
        const qsizetype seen = sim.Stderr().size();
        sim.Command(QStringLiteral("ammeter"));
        const QRegularExpression line(QStringLiteral("ammeter loop_ma=\\S+ forced=([01])"));
        QRegularExpressionMatch m;
        EXPECT_TRUE(QTest::qWaitFor([&] { return (m = line.match(sim.Stderr().mid(seen))).hasMatch(); }, kReferenceWait));
        return m.captured(1) == QLatin1String("1");
    }

    // Connects both references and starts the automatic run at the sensor's full scale.
    void StartAutomatic()
    {
        ASSERT_TRUE(ConnectReferences(sim.meter, sim.controller));
        ASSERT_TRUE(window->ReferencePanel()->AutomaticButton()->isEnabled()) << window->LastMessage().toStdString();
        const double fullScale = sim::PressureSensor(form->SettingsRead.SensorCode).fullScale;
        window->ReferencePanel()->FullScaleEdit()->setText(QString::number(fullScale, 'f', 1));
        window->ReferencePanel()->AutomaticButton()->click();
        ASSERT_TRUE(window->Automatic()->Running()) << window->LastMessage().toStdString();
    }

    QTemporaryDir dir;
    std::unique_ptr<TForm1> form;
    TCalibrationWindow *window = nullptr;
    TStationSim sim;
    int polls = 0;
};

// Connect names both references in the record and remembers their addresses;
// Read takes the meter's loop current (and the controller's reading as the
// applied value) into the point, which is entered.
TEST_F(CalibrationStationTest, ConnectedReferencesNameThemselvesAndReadPoints)
{
    Open({QStringLiteral("--meter-port"), QStringLiteral("0"), QStringLiteral("--controller-port"), QStringLiteral("0")});
    ASSERT_FALSE(sim.controller.isEmpty());
    ASSERT_TRUE(ConnectReferences(sim.meter, sim.controller));
    QTableWidget *refs = window->References();
    EXPECT_EQ(refs->item(1, 1)->text(), QStringLiteral("KV508SIM AMMETER")) << window->LastMessage().toStdString();
    EXPECT_EQ(refs->item(1, 2)->text(), QStringLiteral("SIM0001"));
    EXPECT_EQ(refs->item(0, 1)->text(), QStringLiteral("KV508SIM PRESSURE CONTROLLER"));
    EXPECT_EQ(refs->item(0, 2)->text(), QStringLiteral("SIM0002"));
    ASSERT_TRUE(QTest::qWaitFor([&] { return window->PendingWrites() == 0; }, kReferenceWait));
    ASSERT_GE(window->Record().references.size(), 2u);
    EXPECT_EQ(window->Record().references[1].serial, QStringLiteral("SIM0001")) << "the certificate names the meter";
    EXPECT_EQ(TForm1::PortSettings().value(QStringLiteral("Calibration/meter")).toString(), sim.meter);
    EXPECT_EQ(TForm1::PortSettings().value(QStringLiteral("Calibration/controller")).toString(), sim.controller);
    EXPECT_EQ(TCertificateHeader::RememberedReferences().at(1).serial, QStringLiteral("SIM0001")) << "and the next record too";

    // The controller's reading is the applied value (it holds what the simulator applies).
    const QString applied = Apply(2);
    QSignalSpy read(window, &TCalibrationWindow::ReferenceRead);
    ASSERT_TRUE(window->ReadPoint(TPhase::AsFound, 2)) << window->LastMessage().toStdString();
    ASSERT_TRUE(read.wait(kReferenceWait));
    ASSERT_TRUE(read.at(0).at(0).toBool()) << window->LastMessage().toStdString();
    const double loop = sim.LoopMilliAmps();
    EXPECT_NEAR(Cell(TPhase::AsFound, 2, TPointTable::ColAmmeter).toDouble(), loop, 0.002);
    EXPECT_NEAR(Cell(TPhase::AsFound, 2, TPointTable::ColApplied).toDouble(), applied.toDouble(), 0.5);
    ASSERT_TRUE(QTest::qWaitFor([&] { return window->Record().Find(TPhase::AsFound, 2) != nullptr; }, kReferenceWait)) << window->LastMessage().toStdString();
    EXPECT_NEAR(window->Record().Find(TPhase::AsFound, 2)->milliAmps.Value(), loop, 0.002);

    // A picture of the window with its references connected (for the documentation).
    const QString docs = qEnvironmentVariable("KV508_CALIBRATION_DOCS");
    if (!docs.isEmpty()) {
        window->resize(1440, 900);
        window->grab().save(QDir(docs).filePath(QStringLiteral("calibration-references.png")));
    }
}

// "Read automatically": once the applied value is typed, the meter is read as
// soon as the instrument is stable, and the point goes in with its reading.
TEST_F(CalibrationStationTest, ReadsByItselfOnceTheAppliedValueIsTyped)
{
    Open({QStringLiteral("--meter-port"), QStringLiteral("0")});
    ASSERT_TRUE(ConnectReferences(sim.meter));
    EXPECT_EQ(window->References()->item(1, 2)->text(), QStringLiteral("SIM0001"));
    window->ReferencePanel()->AutoReadBox()->setChecked(true);
    for (int index : {0, 4}) {
        const QString applied = Apply(index);
        window->Table(TPhase::AsFound)->item(index, TPointTable::ColApplied)->setText(applied);
        ASSERT_TRUE(QTest::qWaitFor([&] { return window->Record().Find(TPhase::AsFound, index) != nullptr; }, kReferenceWait))
            << index << ": " << window->LastMessage().toStdString();
        const TPoint &p = *window->Record().Find(TPhase::AsFound, index);
        EXPECT_EQ(QString::fromStdString(p.applied.Text()), applied);
        EXPECT_NEAR(p.milliAmps.Value(), sim.LoopMilliAmps(), 0.002) << index;
        EXPECT_TRUE(p.stable);
    }
    // Without a controller an empty applied value is refused, saying what to type.
    window->Table(TPhase::AsFound)->item(1, TPointTable::ColApplied)->setText(QString());
    EXPECT_FALSE(window->ReadPoint(TPhase::AsFound, 1));
    EXPECT_TRUE(window->LastMessage().contains(QStringLiteral("Type the applied value of point 2"))) << window->LastMessage().toStdString();
}

// A meter that stops answering: the read fails with the cause and the fix,
// the window keeps turning meanwhile, and closing it does not wait the
// time-out out. An address that is no address is refused as typed.
TEST_F(CalibrationStationTest, AMeterThatDoesNotAnswerIsSaidAndNeverFreezesTheWindow)
{
    Open({QStringLiteral("--meter-port"), QStringLiteral("0"), QStringLiteral("--meter-fault"), QStringLiteral("silent@1"), QStringLiteral("--verbose")});
    TReferencePanel *refs = window->ReferencePanel();
    refs->MeterEdit()->setText(QStringLiteral("tcp:"));
    refs->ConnectButton()->click();
    EXPECT_FALSE(refs->Connecting());
    EXPECT_TRUE(window->LastMessage().startsWith(QStringLiteral("The meter's address is not usable: "))) << window->LastMessage().toStdString();

    ASSERT_TRUE(ConnectReferences(sim.meter));
    ASSERT_TRUE(refs->MeterConnected()) << window->LastMessage().toStdString();
    const QString applied = Apply(0);
    window->Table(TPhase::AsFound)->item(0, TPointTable::ColApplied)->setText(applied);
    int ticks = 0;
    QTimer ticker;
    QObject::connect(&ticker, &QTimer::timeout, [&] { ++ticks; });
    ticker.start(50);
    QSignalSpy read(window, &TCalibrationWindow::ReferenceRead);
    QElapsedTimer clock;
    clock.start();
    ASSERT_TRUE(window->ReadPoint(TPhase::AsFound, 0)) << window->LastMessage().toStdString();
    ASSERT_TRUE(read.wait(kReferenceWait));
    const qint64 waited = clock.elapsed();
    EXPECT_FALSE(read.at(0).at(0).toBool());
    EXPECT_GE(waited, 2500) << "the meter's time-out";
    EXPECT_GE(ticks, waited / 50 / 2) << "the window's events kept being handled while the meter was waited for";
    const QString message = window->LastMessage();
    EXPECT_TRUE(message.contains(QStringLiteral("Point 1 not read: meter at ")) && message.contains(QStringLiteral("no answer to READ?")) &&
                message.contains(QStringLiteral("check that the instrument is on")))
        << message.toStdString();
    EXPECT_EQ(window->Record().Find(TPhase::AsFound, 0), nullptr);
    EXPECT_TRUE(Cell(TPhase::AsFound, 0, TPointTable::ColAmmeter).isEmpty());

    // Closing the window in the middle of another such wait (the meter has the query): done at once.
    const qsizetype asked = sim.Stderr().count(QStringLiteral("\"READ?\""));
    ASSERT_TRUE(window->ReadPoint(TPhase::AsFound, 0)) << window->LastMessage().toStdString();
    ASSERT_TRUE(QTest::qWaitFor([&] { return sim.Stderr().count(QStringLiteral("\"READ?\"")) > asked; }, kReferenceWait)) << sim.Stderr().toStdString();
    clock.restart();
    delete window;
    window = nullptr;
    EXPECT_LT(clock.elapsed(), 2000);
}

// The automatic run on an instrument whose 4 mA point drifted: As-Found finds
// it, the eleven steps (the output trimmed on the meter) put it right, As-Left
// passes, and the output is released with the controller's control off.
TEST_F(CalibrationStationTest, AutomaticRunCalibratesADriftedInstrument)
{
    Open(DriftedStation());
    QStringList trims; // what each trim converged to
    StartAutomatic();
    QObject::connect(window->Automatic(), &TAutomaticRun::Progress, [&](const QString &text) {
        if (text.contains(QStringLiteral(" at drive ")))
            trims << text;
    });
    QSignalSpy ended(window->Automatic(), &TAutomaticRun::Ended);
    ASSERT_TRUE(QTest::qWaitFor([&] { return !ended.isEmpty(); }, 240000));
    ASSERT_EQ(trims.size(), 2) << trims.join(QLatin1Char('\n')).toStdString();
    EXPECT_TRUE(trims.at(0).startsWith(QStringLiteral("Automatic: 4.00"))) << trims.at(0).toStdString();
    EXPECT_TRUE(trims.at(1).startsWith(QStringLiteral("Automatic: 20.00"))) << trims.at(1).toStdString();
    ASSERT_TRUE(ended.at(0).at(0).toBool()) << ended.at(0).at(1).toString().toStdString();
    const TRecord &r = window->Record();
    EXPECT_EQ(r.Verdict(TPhase::AsFound), TVerdict::Fail) << "the drift is found";
    EXPECT_EQ(r.Verdict(TPhase::AsLeft), TVerdict::Pass);
    EXPECT_TRUE(r.calibrated);
    EXPECT_FALSE(r.finished) << "finishing is the technician's";
    EXPECT_EQ(window->Automatic()->Acknowledged(),
              QStringList({QStringLiteral("Write settings"), QStringLiteral("Set as 0"), QStringLiteral("Set as scale end"),
                           QStringLiteral("Set as 4 mA"), QStringLiteral("Set as 20 mA"), QStringLiteral("Reset"), QStringLiteral("Zero"),
                           QStringLiteral("Reset")}));
    EXPECT_FALSE(form->SpeedButton_PWMForce->isChecked());
    EXPECT_FALSE(Forced()) << "the output follows the pressure again";
    for (const TPoint &p : r.entered)
        EXPECT_TRUE(p.stable) << PhaseName(p.phase) << " " << p.index;
}

// Pause holds the run after the step under way; Cancel in the middle of the
// 4 mA trim releases the output (no "Set as 4 mA" left latched), keeps the
// record open and names what the instrument acknowledged; closing the window
// in the middle of another run does the same.
TEST_F(CalibrationStationTest, PauseHoldsAndCancelOrCloseMidTrimReleaseTheOutput)
{
    Open(DriftedStation());
    QStringList progress;
    StartAutomatic();
    QObject::connect(window->Automatic(), &TAutomaticRun::Progress, [&](const QString &text) { progress << text; });
    QSignalSpy ended(window->Automatic(), &TAutomaticRun::Ended);
    const auto reached = [&](const QString &text) {
        return QTest::qWaitFor([&] { return !ended.isEmpty() || progress.filter(text).size() > 0; }, 240000) && ended.isEmpty();
    };

    window->ReferencePanel()->PauseButton()->click();
    ASSERT_TRUE(reached(QStringLiteral("Paused after "))) << window->LastMessage().toStdString();
    const size_t entered = window->Record().entered.size();
    const qsizetype said = progress.size();
    const int until = polls + 8;
    ASSERT_TRUE(QTest::qWaitFor([&] { return polls >= until; }, kReferenceWait));
    EXPECT_EQ(window->Record().entered.size(), entered) << "no point while paused";
    EXPECT_EQ(progress.size(), said) << progress.join(QLatin1Char('\n')).toStdString();
    window->ReferencePanel()->PauseButton()->click();

    ASSERT_TRUE(reached(QStringLiteral("trimming the output to 4 mA"))) << ended.value(0).value(1).toString().toStdString();
    ASSERT_TRUE(QTest::qWaitFor([&] { return form->SpeedButton_PWMForce->isChecked() && Forced(); }, kReferenceWait));
    window->ReferencePanel()->CancelButton()->click();
    ASSERT_EQ(ended.size(), 1);
    EXPECT_FALSE(ended.at(0).at(0).toBool());
    const QString message = ended.at(0).at(1).toString();
    EXPECT_TRUE(message.contains(QStringLiteral("cancelled at trimming the output to 4 mA"))) << message.toStdString();
    EXPECT_TRUE(message.contains(QStringLiteral("acknowledged: Write settings, Set as 0, Set as scale end."))) << message.toStdString();
    EXPECT_EQ(window->LastMessage(), message);
    const auto released = [&] {
        EXPECT_FALSE(form->SpeedButton_PWMForce->isChecked());
        EXPECT_FALSE(form->SpeedButton_SetAs4mA->isChecked());
        const int after = polls + 2;
        ASSERT_TRUE(QTest::qWaitFor([&] { return polls >= after; }, kReferenceWait));
        EXPECT_FALSE(Forced());
        EXPECT_TRUE(window->HasRecord());
        EXPECT_FALSE(window->Record().finished);
        EXPECT_FALSE(window->Automatic()->Running());
    };
    released();

    // Again, and the window closed in the middle of the trim.
    progress.clear();
    ended.clear();
    window->ReferencePanel()->AutomaticButton()->click();
    ASSERT_TRUE(window->Automatic()->Running()) << window->LastMessage().toStdString();
    ASSERT_TRUE(reached(QStringLiteral("trimming the output to 4 mA"))) << ended.value(0).value(1).toString().toStdString();
    ASSERT_TRUE(QTest::qWaitFor([&] { return form->SpeedButton_PWMForce->isChecked() && Forced(); }, kReferenceWait));
    window->close();
    ASSERT_EQ(ended.size(), 1);
    EXPECT_TRUE(ended.at(0).at(1).toString().contains(QStringLiteral("the window was closed"))) << ended.at(0).at(1).toString().toStdString();
    released();
}

} // namespace
