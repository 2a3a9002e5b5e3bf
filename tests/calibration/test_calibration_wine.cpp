// The calibration record end to end on Windows: the window and its store on
// the Win32 link, through a COM port scripts/test-windows maps to a kv508-sim
// it started; the simulator's console is a FIFO the script made and its
// report a log file it writes. The same steps as on Linux: As-Found finds the
// high 4 mA point, the eleven steps calibrate, As-Left passes, the record is
// finished and its certificate written. Without KV508_TEST_PORT it skips.
//   KV508_TEST_PORT          the COM port (COM12)
//   KV508_SIM_CONSOLE        the simulator's console (a FIFO under Z:\)
//   KV508_SIM_LOG            the simulator's standard error, as it is written
//   KV508_TEST_RECORDS       the records file (default: a temporary folder)
//   KV508_TEST_CERTIFICATE   where the certificate goes (default: the same folder)
//   KV508_TEST_PICTURE       a PNG of the finished record's window (optional)
#include "AppDrive.h"
#include "CalibrationWindow.h"
#include "Main.h"
#include "RecordStore.h"

#include <QDir>
#include <QFile>
#include <QFontInfo>
#include <QGuiApplication>
#include <QLabel>
#include <QLocale>
#include <QRegularExpression>
#include <QSignalSpy>
#include <QTableWidget>
#include <QTemporaryDir>
#include <QTest>

#include <gtest/gtest.h>

#include <cmath>
#include <cstdio>
#include <functional>
#include <memory>

namespace {

using namespace calib;

constexpr int kWait = 30000;

// The simulator the script started: commands into its console, its answers
// read back from its log.
class TScriptedSim
{
public:
    bool Open()
    {
        m_console.setFileName(qEnvironmentVariable("KV508_SIM_CONSOLE"));
        m_log.setFileName(qEnvironmentVariable("KV508_SIM_LOG"));
        return m_console.open(QIODevice::WriteOnly | QIODevice::Unbuffered) && m_log.open(QIODevice::ReadOnly);
    }

    void Command(const QString &line)
    {
        const QByteArray bytes = (line + QLatin1Char('\n')).toLatin1();
        EXPECT_EQ(m_console.write(bytes), bytes.size()) << m_console.errorString().toStdString();
    }

    // What the simulator reported since the last look, appended to all before.
    const QString &Log()
    {
        m_text += QString::fromLocal8Bit(m_log.readAll());
        return m_text;
    }

private:
    QFile m_console;
    QFile m_log;
    QString m_text;
};

class CalibrationRecordUnderWine : public ::testing::Test
{
protected:
    void SetUp() override
    {
        if (qEnvironmentVariableIsEmpty("KV508_TEST_PORT"))
            GTEST_SKIP() << "no COM port to a simulator (KV508_TEST_PORT): scripts/test-windows sets it";
        ASSERT_TRUE(sim.Open()) << "the simulator's console or log (KV508_SIM_CONSOLE, KV508_SIM_LOG) cannot be opened";
        QLocale::setDefault(QLocale(QLocale::Hungarian, QLocale::Hungary));
        form = std::make_unique<TForm1>();
        form->MB1->setMBRefreshListOnStartup(false);
        QObject::connect(form.get(), &TForm1::TransactionEnded, [this](quint8 command, TMBStatus status) {
            if (command == TForm1::Cmd_Poll && status == TMB::stOK)
                ++polls;
        });
    }

    void TearDown() override
    {
        window.reset();
        form.reset();
        QLocale::setDefault(QLocale::c());
    }

    bool Polls(int n)
    {
        const int until = polls + n;
        return QTest::qWaitFor([&] { return polls >= until; }, kWait);
    }

    bool Request(TSpeedButton *button)
    {
        button->click();
        return QTest::qWaitFor([&] { return !button->isChecked(); }, kWait);
    }

    // The reference ammeter: the simulator's loop current, from its machine-readable line.
    QString Ammeter()
    {
        const qsizetype seen = sim.Log().size();
        sim.Command(QStringLiteral("ammeter"));
        const QRegularExpression line(QStringLiteral("kv508-sim: ammeter loop_ma=(-?[0-9]+\\.[0-9]{4}) "));
        QString value;
        (void)QTest::qWaitFor(
            [&] {
                value = line.match(sim.Log().mid(seen)).captured(1);
                return !value.isEmpty();
            },
            kWait);
        EXPECT_FALSE(value.isEmpty()) << "no ammeter line from the simulator";
        return value;
    }

    double AmmeterMilliAmps()
    {
        EXPECT_TRUE(Polls(2));
        return Ammeter().toDouble();
    }

    void Settle(const std::function<bool(int)> &there, const char *what)
    {
        ASSERT_TRUE(QTest::qWaitFor([&] { return window->InstrumentStable() && there(form->LiveData.MeasuredValue); }, kWait))
            << what << ": " << form->LiveData.MeasuredValue;
    }

    void CheckPhase(TPhase phase)
    {
        const TSpan span{form->SettingsRead.iFizFor4mA, form->SettingsRead.iFizFor20mA, form->LiveData.Decimals};
        const std::vector<TDecimal> seq = window->Record().Sequence();
        for (int i = 0; i < int(seq.size()); ++i) {
            const QString applied = QString::fromStdString(span.At(seq[size_t(i)]).Text());
            sim.Command(QStringLiteral("pressure %1").arg(applied));
            const int units = span.At(seq[size_t(i)]).units;
            Settle([units](int v) { return std::abs(v - units) <= 2; }, "a test point");
            ASSERT_TRUE(window->EnterPoint(phase, i, applied, Ammeter())) << window->LastMessage().toStdString();
        }
        ASSERT_TRUE(QTest::qWaitFor([&] { return window->PendingWrites() == 0; }, kWait));
    }

    // The eleven steps of the calibration page. The simulator's factory sensor
    // is type 5 (1 inH2O): full scale 249.1 Pa.
    void Calibrate()
    {
        ASSERT_TRUE(Request(form->SpeedButton_WriteSettings));                      // 1, 2
        ASSERT_TRUE(QTest::qWaitFor([&] { return !form->SpeedButton_ReadSettings->isChecked(); }, kWait));
        sim.Command(QStringLiteral("pressure 0"));
        Settle([](int v) { return std::abs(v) <= 2; }, "zero");
        ASSERT_TRUE(Request(form->SpeedButton_SetAs0));                             // 3
        sim.Command(QStringLiteral("pressure 249.1"));
        Settle([](int v) { return v > 2400; }, "full scale");
        ASSERT_TRUE(Request(form->SpeedButton_SetAsScaleEnd));                      // 4
        form->SpeedButton_PWMForce->click();                                        // 5
        form->Button_Out50Percents->click();
        const auto ammeter = [this] { return AmmeterMilliAmps(); };
        EXPECT_NEAR(DriveOutputTo(*form, 4.0, ammeter), 4.0, 0.003);
        ASSERT_TRUE(Request(form->SpeedButton_SetAs4mA));                           // 6
        EXPECT_NEAR(DriveOutputTo(*form, 20.0, ammeter), 20.0, 0.003);
        ASSERT_TRUE(Request(form->SpeedButton_SetAs20mA));                          // 7
        form->SpeedButton_PWMForce->click();                                        // 8
        ASSERT_TRUE(Request(form->SpeedButton_Reset));                              // 9
        sim.Command(QStringLiteral("pressure 0"));
        ASSERT_TRUE(Polls(8));
        ASSERT_TRUE(Request(form->SpeedButton_Zero));                               // 10
        ASSERT_TRUE(Request(form->SpeedButton_Reset));                              // 11
        ASSERT_TRUE(Polls(3));
    }

    void FillHeader()
    {
        window->TagEdit()->setText(QStringLiteral("PT-101"));
        window->SerialEdit()->setText(QStringLiteral("KV-0815"));
        window->TechnicianEdit()->setText(QStringLiteral("Kovács Éva"));
        window->TemperatureEdit()->setText(QStringLiteral("22.5"));
        window->HumidityEdit()->setText(QStringLiteral("41"));
        window->IssuerEdit()->setText(QStringLiteral("Example Instruments Ltd. · Calibration service"));
        window->RemarksEdit()->setPlainText(QStringLiteral("Output read high at 4 mA; input and output recalibrated."));
        const QStringList refs[] = {{QStringLiteral("Pressure calibrator PC-500"), QStringLiteral("PC5-2231"), QStringLiteral("DKD-K-1234/26"), QStringLiteral("2027-05-31")},
                                    {QStringLiteral("Process multimeter 789"), QStringLiteral("MM-90112"), QStringLiteral("C-26-0442"), QStringLiteral("2027-02-28")},
                                    {QStringLiteral("Thermohygrometer TH-2"), QStringLiteral("TH-771"), QStringLiteral("C-26-0097"), QStringLiteral("2027-01-15")}};
        for (int row = 0; row < 3; ++row)
            for (int c = 0; c < 4; ++c)
                window->References()->item(row, c + 1)->setText(refs[row][c]);
        emit window->TagEdit()->editingFinished();
    }

    QTemporaryDir dir;
    TScriptedSim sim;
    std::unique_ptr<TForm1> form;
    std::unique_ptr<TCalibrationWindow> window;
    int polls = 0;
};

TEST_F(CalibrationRecordUnderWine, AsFoundCalibrationAsLeftThroughACOMPort)
{
    form->MB1->setPort(qEnvironmentVariable("KV508_TEST_PORT"));
    form->Button_OpenOrCloceSerialPort->click();
    ASSERT_TRUE(form->MB1->MBPortOpen());
    ASSERT_TRUE(Polls(2));
    ASSERT_TRUE(QTest::qWaitFor([&] { return !form->SpeedButton_ReadSettings->isChecked(); }, kWait));

    const QString db = qEnvironmentVariableIsEmpty("KV508_TEST_RECORDS") ? dir.filePath(QStringLiteral("records.sqlite"))
                                                                          : qEnvironmentVariable("KV508_TEST_RECORDS");
    window = std::make_unique<TCalibrationWindow>(*form, db);
    window->resize(1440, 900);
    window->show();
    EXPECT_EQ(window->findChild<QLabel *>(QStringLiteral("RecordsPath"))->text(), QStringLiteral("Records: %1").arg(QDir::toNativeSeparators(db)));
    ASSERT_TRUE(window->NewRecord());
    ASSERT_TRUE(QTest::qWaitFor([&] { return window->HasRecord(); }, kWait)) << window->LastMessage().toStdString();
    EXPECT_EQ(window->Record().foundCalibrationDate, 20170112u);
    FillHeader();

    // As found: the script's simulator reads high at 4 mA.
    CheckPhase(TPhase::AsFound);
    EXPECT_EQ(window->Record().Verdict(TPhase::AsFound), TVerdict::Fail);
    EXPECT_FALSE(window->Record().calibrated);

    Calibrate();
    const quint32 today = TForm1::DateCodeOf(QDate::currentDate());
    EXPECT_TRUE(window->Record().calibrated);
    ASSERT_TRUE(QTest::qWaitFor([&] { return window->Record().newCalibrationDate == today; }, kWait));

    CheckPhase(TPhase::AsLeft);
    EXPECT_EQ(window->Record().Verdict(TPhase::AsLeft), TVerdict::Pass);
    EXPECT_EQ(window->Record().Overall(), TVerdict::Pass);

    ASSERT_TRUE(window->Finish());
    ASSERT_TRUE(QTest::qWaitFor([&] { return window->PendingWrites() == 0 && window->Record().finished; }, kWait));
    const QString picture = qEnvironmentVariable("KV508_TEST_PICTURE");
    if (!picture.isEmpty()) {
        // Shown, the window was fitted to the screen Wine reports: the tables' headers want it whole.
        window->resize(1440, 900);
        for (TPhase phase : {TPhase::AsFound, TPhase::AsLeft}) {
            window->Table(phase)->setCurrentCell(-1, -1);
            window->Table(phase)->clearSelection();
        }
        window->IssuerEdit()->setCursorPosition(0);
        EXPECT_TRUE(window->grab().save(picture)) << picture.toStdString();
    }

    const QString pdf = qEnvironmentVariableIsEmpty("KV508_TEST_CERTIFICATE") ? dir.filePath(QStringLiteral("certificate.pdf"))
                                                                               : qEnvironmentVariable("KV508_TEST_CERTIFICATE");
    QSignalSpy exported(window.get(), &TCalibrationWindow::Exported);
    window->ExportPdf(pdf);
    ASSERT_TRUE(exported.wait(kWait));
    EXPECT_TRUE(exported.at(0).at(0).toBool()) << window->LastMessage().toStdString();

    // On disk as a whole: another store on the file sees it.
    TRecordStore store(db);
    ASSERT_TRUE(store.IsOpen()) << store.ErrorMessage().toStdString();
    const std::optional<TRecord> r = store.Load(window->Record().id);
    ASSERT_TRUE(r);
    EXPECT_EQ(r->entered.size(), 10u);
    EXPECT_EQ(r->tag, QStringLiteral("PT-101"));
    EXPECT_TRUE(r->calibrated);
    EXPECT_EQ(r->newCalibrationDate, today);
    EXPECT_EQ(r->Verdict(TPhase::AsFound), TVerdict::Fail);
    EXPECT_EQ(r->Verdict(TPhase::AsLeft), TVerdict::Pass);
    EXPECT_TRUE(r->finished);
    const auto verdict = [&](TPhase phase) { return r->Verdict(phase) == TVerdict::Pass ? "pass" : "fail"; };
    std::printf("record %s: As-Found %s, As-Left %s; certificate %s; window on Qt's %s platform in %s\n", qPrintable(r->certificate),
                verdict(TPhase::AsFound), verdict(TPhase::AsLeft), qPrintable(QDir::toNativeSeparators(pdf)), qPrintable(QGuiApplication::platformName()),
                qPrintable(QFontInfo(window->font()).family()));
}

} // namespace
