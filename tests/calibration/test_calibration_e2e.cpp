// The calibration record end to end: the window on the real serial link
// against kv508-sim with an output that reads high at 4 mA. As-Found finds it,
// the eleven steps calibrate it (noticed by the record, with the new date),
// As-Left passes; the simulator's loop current is the reference ammeter.
// With KV508_CALIBRATION_DOCS=DIR it also leaves the certificate PDF and a
// picture of the window there (for the documentation).
#include "CalibrationWindow.h"
#include "Language.h"
#include "Main.h"
#include "Pty.h"
#include "RecordStore.h"
#include "Simulator.h"
#include "StoreRunner.h"
#include "TestPeer.h"
#include "AppDrive.h"
#include "SimProcess.h"

#include <QFile>
#include <QJsonDocument>
#include <QLabel>
#include <QLocale>
#include <QTableWidget>
#include <QDir>
#include <QRegularExpression>
#include <QScopeGuard>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTest>

#include <gtest/gtest.h>

#include <cmath>
#include <memory>

namespace {

using namespace calib;

constexpr int kWait = 30000;

class CalibrationRecordTest : public ::testing::Test
{
protected:
    void SetUp() override
    {
        QLocale::setDefault(QLocale(QLocale::Hungarian, QLocale::Hungary));
        form = std::make_unique<TForm1>();
        mb = form->MB1;
        mb->setMBRefreshListOnStartup(false);
        UseScratchVirtualPortDir();
        pollCounter = QObject::connect(form.get(), &TForm1::TransactionEnded, [this](quint8 command, TMBStatus status) {
            if (command == TForm1::Cmd_Poll && status == TMB::stOK)
                ++polls;
        });
    }

    void TearDown() override
    {
        window = nullptr;
        form.reset();
        QLocale::setDefault(QLocale::c());
    }

    // The factory instrument with its 4 mA point stored 20 drive steps high
    // (about +0.37 % of span at the bottom of the range).
    QString DriftedState()
    {
        sim::Memory m = sim::Memory::Factory();
        *m.output4mA += 20;
        const QString path = dir.filePath(QStringLiteral("instrument.json"));
        QFile f(path);
        EXPECT_TRUE(f.open(QIODevice::WriteOnly));
        f.write(QJsonDocument(m.ToJson()).toJson());
        return path;
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
        const qsizetype seen = sim.Stderr().size();
        sim.Command(QStringLiteral("ammeter"));
        QString value;
        const QRegularExpression line(QStringLiteral("^kv508-sim: ammeter loop_ma=(-?[0-9]+\\.[0-9]{4}) "), QRegularExpression::MultilineOption);
        (void)QTest::qWaitFor(
            [&] {
                const QRegularExpressionMatch m = line.match(sim.Stderr().mid(seen));
                value = m.captured(1);
                return m.hasMatch();
            },
            kWait);
        EXPECT_FALSE(value.isEmpty()) << sim.Stderr().toStdString();
        return value;
    }

    double AmmeterMilliAmps()
    {
        EXPECT_TRUE(Polls(2));
        return Ammeter().toDouble();
    }

    // Applies each test point, waits for the instrument to settle, and enters
    // the applied value and the ammeter's reading as a technician would.
    void CheckPhase(TPhase phase)
    {
        const TSpan span{form->SettingsRead.iFizFor4mA, form->SettingsRead.iFizFor20mA, form->LiveData.Decimals};
        const std::vector<TDecimal> seq = window->Record().Sequence();
        for (int i = 0; i < int(seq.size()); ++i) {
            const QString applied = QString::fromStdString(span.At(seq[size_t(i)]).Text());
            sim.Command(QStringLiteral("pressure %1").arg(applied));
            ASSERT_TRUE(QTest::qWaitFor(
                [&] {
                    return window->InstrumentStable() && std::abs(form->LiveData.MeasuredValue - span.At(seq[size_t(i)]).units) <= 2;
                },
                kWait))
                << "point " << i << ": " << form->LiveData.MeasuredValue;
            ASSERT_TRUE(window->EnterPoint(phase, i, applied, Ammeter())) << window->LastMessage().toStdString();
        }
        ASSERT_TRUE(QTest::qWaitFor([&] { return window->PendingWrites() == 0; }, kWait));
    }

    double SetOutputTo(double target) { return DriveOutputTo(*form, target, [this] { return AmmeterMilliAmps(); }); }

    // The eleven steps of the calibration page, as the main window's procedure has them.
    void Calibrate()
    {
        const double fullScale = sim::PressureSensor(form->SettingsRead.SensorCode).fullScale;
        ASSERT_TRUE(Request(form->SpeedButton_WriteSettings));                      // 1, 2
        ASSERT_TRUE(QTest::qWaitFor([&] { return !form->SpeedButton_ReadSettings->isChecked(); }, kWait));
        sim.Command(QStringLiteral("pressure 0"));
        ASSERT_TRUE(QTest::qWaitFor([&] { return window->InstrumentStable() && std::abs(form->LiveData.MeasuredValue) <= 2; }, kWait));
        ASSERT_TRUE(Request(form->SpeedButton_SetAs0));                             // 3
        sim.Command(QStringLiteral("pressure %1").arg(fullScale));
        ASSERT_TRUE(QTest::qWaitFor([&] { return window->InstrumentStable() && form->LiveData.MeasuredValue > 2400; }, kWait));
        ASSERT_TRUE(Request(form->SpeedButton_SetAsScaleEnd));                      // 4
        form->SpeedButton_PWMForce->click();                                        // 5
        form->Button_Out50Percents->click();
        EXPECT_NEAR(SetOutputTo(4.0), 4.0, 0.003);
        ASSERT_TRUE(Request(form->SpeedButton_SetAs4mA));                           // 6
        EXPECT_NEAR(SetOutputTo(20.0), 20.0, 0.003);
        ASSERT_TRUE(Request(form->SpeedButton_SetAs20mA));                          // 7
        form->SpeedButton_PWMForce->click();                                        // 8
        ASSERT_TRUE(Request(form->SpeedButton_Reset));                              // 9
        sim.Command(QStringLiteral("pressure 0"));
        ASSERT_TRUE(Polls(8));
        ASSERT_TRUE(Request(form->SpeedButton_Zero));                               // 10
        ASSERT_TRUE(Request(form->SpeedButton_Reset));                              // 11
        ASSERT_TRUE(Polls(3));
    }

    QTemporaryDir dir;
    std::unique_ptr<TForm1> form;
    TMB *mb = nullptr;
    TCalibrationWindow *window = nullptr;
    TSimProcess sim;
    int polls = 0;
    QMetaObject::Connection pollCounter;
};

TEST_F(CalibrationRecordTest, AsFoundCalibrationAsLeftAgainstTheSimulator)
{
    ASSERT_TRUE(sim.Start({QStringLiteral("--state"), DriftedState()})) << sim.Stderr().toStdString();
    mb->setPort(sim.Path());
    form->Button_OpenOrCloceSerialPort->click();
    ASSERT_TRUE(mb->MBPortOpen());
    ASSERT_TRUE(Polls(2));
    ASSERT_TRUE(QTest::qWaitFor([&] { return !form->SpeedButton_ReadSettings->isChecked(); }, kWait));

    // Where a technician's records are, in a home of its own (the window shows it as ~/...).
    const std::optional<QByteArray> home = qEnvironmentVariableIsSet("HOME") ? std::optional(qgetenv("HOME")) : std::nullopt;
    const auto restoreHome = qScopeGuard([home] { home ? qputenv("HOME", *home) : qunsetenv("HOME"); });
    const QString technician = dir.filePath(QStringLiteral("technician"));
    qputenv("HOME", QFile::encodeName(technician));
    const QString db = QDir(technician).filePath(QStringLiteral(".local/share/kv508/calibration-records.sqlite"));
    window = new TCalibrationWindow(*form, db);
    window->show();
    EXPECT_EQ(window->findChild<QLabel *>(QStringLiteral("RecordsPath"))->text(),
              QStringLiteral("Records: ~/.local/share/kv508/calibration-records.sqlite"));
    ASSERT_TRUE(window->NewRecord());
    ASSERT_TRUE(QTest::qWaitFor([&] { return window->HasRecord(); }, kWait)) << window->LastMessage().toStdString();
    const QString certificate = window->Record().certificate;
    EXPECT_TRUE(certificate.startsWith(QStringLiteral("KV-%1-").arg(QDate::currentDate().year())));
    EXPECT_EQ(window->Record().firmware, 20170105u);
    EXPECT_EQ(window->Record().foundCalibrationDate, 20170112u);
    EXPECT_TRUE(window->Record().sensor.startsWith(QStringLiteral("5 = ")));
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
    // The expanded uncertainties from the references' certificates (k = 2).
    const QString uncertainties[] = {QStringLiteral("0.05"), QStringLiteral("0.0012"), QStringLiteral("0.3 °C / 2 % RH")};
    for (int row = 0; row < 3; ++row)
        window->References()->item(row, 5)->setText(uncertainties[row]);
    emit window->TagEdit()->editingFinished();

    // As found: the bottom of the range is out.
    CheckPhase(TPhase::AsFound);
    EXPECT_EQ(window->Record().Verdict(TPhase::AsFound), TVerdict::Fail);
    const TPoint *bottom = window->Record().Find(TPhase::AsFound, 0);
    ASSERT_TRUE(bottom);
    EXPECT_FALSE(window->Record().Result(*bottom)->pass);
    EXPECT_GT(window->Record().Result(*bottom)->errorPercent, 0.3);
    EXPECT_TRUE(bottom->stable);
    ASSERT_TRUE(bottom->instrumentMilliAmps);
    EXPECT_NEAR(*bottom->instrumentMilliAmps, 4.0, 0.01) << "the instrument believes its output";
    EXPECT_FALSE(window->Record().calibrated);

    // The eleven steps: the record notices them and reads the new date.
    Calibrate();
    const quint32 today = TForm1::DateCodeOf(QDate::currentDate());
    EXPECT_TRUE(window->Record().calibrated);
    ASSERT_TRUE(QTest::qWaitFor([&] { return window->Record().newCalibrationDate == today; }, kWait));
    EXPECT_EQ(window->Record().foundCalibrationDate, 20170112u) << "as found stays as found";

    // As left: within tolerance everywhere.
    CheckPhase(TPhase::AsLeft);
    EXPECT_EQ(window->Record().Verdict(TPhase::AsLeft), TVerdict::Pass);
    EXPECT_EQ(window->Record().Overall(), TVerdict::Pass);

    const QString docs = qEnvironmentVariable("KV508_CALIBRATION_DOCS");
    if (!docs.isEmpty()) {
        window->resize(1440, 900);
        for (TPhase phase : {TPhase::AsFound, TPhase::AsLeft}) {
            window->Table(phase)->setCurrentCell(-1, -1);
            window->Table(phase)->clearSelection();
        }
        window->IssuerEdit()->setCursorPosition(0);
        QTest::qWait(50); // let the layout settle before the picture
        window->grab().save(QDir(docs).filePath(QStringLiteral("calibration-record.png")));
        // The same window in Hungarian; the record keeps the certificate language it was made with.
        for (const Language::TLanguage l : {Language::TLanguage::Hungarian, Language::TLanguage::English}) {
            ASSERT_TRUE(Language::Apply(l));
            QCoreApplication::sendPostedEvents(nullptr, QEvent::LanguageChange);
            QTest::qWait(50);
            if (l == Language::TLanguage::Hungarian)
                window->grab().save(QDir(docs).filePath(QStringLiteral("calibration-record-hu.png")));
        }
    }

    // Each point has its U: the references' are stated and the polls were a full window.
    for (const TPoint &p : window->Record().entered)
        EXPECT_TRUE(window->Record().Uncertainty(p)) << PhaseName(p.phase) << " " << p.index;

    // Finished and approved by a second person, then the certificate (an open record's would be a draft).
    ASSERT_TRUE(window->Finish());
    ASSERT_TRUE(QTest::qWaitFor([&] { return window->PendingWrites() == 0; }, kWait));
    ASSERT_TRUE(window->Approve(QStringLiteral("Nagy Anna")));
    ASSERT_TRUE(QTest::qWaitFor([&] { return window->PendingWrites() == 0; }, kWait));
    ASSERT_EQ(window->Record().approvedBy, QStringLiteral("Nagy Anna")) << window->LastMessage().toStdString();
    const QString pdf = docs.isEmpty() ? dir.filePath(QStringLiteral("certificate.pdf")) : QDir(docs).filePath(QStringLiteral("calibration-certificate.pdf"));
    QSignalSpy exported(window, &TCalibrationWindow::Exported);
    window->ExportPdf(pdf);
    ASSERT_TRUE(exported.wait(kWait));
    EXPECT_TRUE(exported.at(0).at(0).toBool()) << window->LastMessage().toStdString();
    if (!docs.isEmpty())
        for (const auto &[language, name] : {std::pair{TCertificateLanguage::Hungarian, "hu"}, std::pair{TCertificateLanguage::Bilingual, "hu-en"}}) {
            TRecord other = window->Record();
            other.certificateLanguage = language;
            QString error;
            EXPECT_TRUE(WriteCertificatePdf(other, window->Issuer(),
                                            QDir(docs).filePath(QStringLiteral("calibration-certificate-%1.pdf").arg(QLatin1String(name))), error))
                << error.toStdString();
        }

    // Everything is on disk: another store on the file sees the whole record.
    ASSERT_TRUE(QTest::qWaitFor([&] { return window->PendingWrites() == 0; }, kWait));
    TRecordStore store(db);
    ASSERT_TRUE(store.IsOpen()) << store.ErrorMessage().toStdString();
    const std::optional<TRecord> r = store.Load(window->Record().id);
    ASSERT_TRUE(r);
    EXPECT_EQ(r->entered.size(), 10u);
    EXPECT_EQ(r->tag, QStringLiteral("PT-101"));
    EXPECT_EQ(r->references[0].certificate, QStringLiteral("DKD-K-1234/26"));
    EXPECT_TRUE(r->calibrated);
    EXPECT_EQ(r->newCalibrationDate, today);
    EXPECT_EQ(r->Verdict(TPhase::AsFound), TVerdict::Fail);
    EXPECT_EQ(r->Verdict(TPhase::AsLeft), TVerdict::Pass);
    EXPECT_TRUE(r->finished);
    EXPECT_EQ(store.History(QStringLiteral("PT-101")).size(), 1u);

    // The reference instruments are remembered for the next record.
    ASSERT_TRUE(window->NewRecord());
    ASSERT_TRUE(QTest::qWaitFor([&] { return window->HasRecord() && window->Record().certificate != certificate; }, kWait));
    EXPECT_EQ(window->References()->item(1, 2)->text(), QStringLiteral("MM-90112"));
    EXPECT_EQ(window->Record().references[1].serial, QStringLiteral("MM-90112"));
}

// What the database did not take is not kept, and a late history load does not
// become the record started after it.
TEST_F(CalibrationRecordTest, NothingUnsavedIsKeptAndALateLoadIsDropped)
{
    ASSERT_TRUE(sim.Start()) << sim.Stderr().toStdString();
    mb->setPort(sim.Path());
    form->Button_OpenOrCloceSerialPort->click();
    ASSERT_TRUE(Polls(2));
    ASSERT_TRUE(QTest::qWaitFor([&] { return !form->SpeedButton_ReadSettings->isChecked(); }, kWait));
    const QString db = dir.filePath(QStringLiteral("records.sqlite"));
    window = new TCalibrationWindow(*form, db);
    ASSERT_TRUE(window->NewRecord());
    ASSERT_TRUE(QTest::qWaitFor([&] { return window->HasRecord(); }, kWait));
    const qint64 first = window->Record().id;
    window->TagEdit()->setText(QStringLiteral("PT-FIRST"));
    emit window->TagEdit()->editingFinished();
    ASSERT_TRUE(window->EnterPoint(TPhase::AsFound, 0, QStringLiteral("0.0"), QStringLiteral("4.0000")));
    ASSERT_TRUE(QTest::qWaitFor([&] { return window->PendingWrites() == 0; }, kWait));

    // Another instance finishes the record: the next point cannot be stored.
    {
        TRecordStore other(db);
        std::optional<TRecord> r = other.Load(first);
        ASSERT_TRUE(r);
        r->finished = true;
        ASSERT_TRUE(other.SaveHeader(*r)) << other.ErrorMessage().toStdString();
    }
    QSignalSpy saved(window, &TCalibrationWindow::Saved);
    ASSERT_TRUE(window->EnterPoint(TPhase::AsFound, 1, QStringLiteral("62.3"), QStringLiteral("8.0000")));
    ASSERT_TRUE(QTest::qWaitFor([&] { return window->PendingWrites() == 0; }, kWait));
    ASSERT_FALSE(saved.isEmpty());
    EXPECT_FALSE(saved.last().at(0).toBool());
    EXPECT_FALSE(window->Record().Find(TPhase::AsFound, 1)) << "shown and exported, but not on disk";
    EXPECT_TRUE(window->Record().Find(TPhase::AsFound, 0));

    // A load still on its way when a new record is asked for is for the record left.
    window->Load(first);
    ASSERT_TRUE(window->NewRecord());
    ASSERT_TRUE(QTest::qWaitFor([&] { return window->HasRecord() && window->Record().id != first; }, kWait));
    ASSERT_TRUE(QTest::qWaitFor([&] { return window->PendingWrites() == 0; }, kWait));
    EXPECT_TRUE(window->Record().tag.isEmpty()) << window->Record().tag.toStdString();
    EXPECT_TRUE(window->Record().entered.empty());
    EXPECT_FALSE(window->Record().finished);
}

// Entering a point is refused, with the cause, when the span cannot be checked.
TEST_F(CalibrationRecordTest, AZeroSpanIsRefusedWithItsCause)
{
    ASSERT_TRUE(sim.Start()) << sim.Stderr().toStdString();
    mb->setPort(sim.Path());
    form->Button_OpenOrCloceSerialPort->click();
    ASSERT_TRUE(Polls(2));
    ASSERT_TRUE(QTest::qWaitFor([&] { return !form->SpeedButton_ReadSettings->isChecked(); }, kWait));
    form->Edit_iFizFor4mA->setText(QStringLiteral("100"));
    form->Edit_iFizFor20mA->setText(QStringLiteral("100"));
    ASSERT_TRUE(Request(form->SpeedButton_WriteSettings2));
    ASSERT_TRUE(QTest::qWaitFor([&] { return !form->SpeedButton_ReadSettings->isChecked(); }, kWait));

    window = new TCalibrationWindow(*form, dir.filePath(QStringLiteral("records.sqlite")));
    ASSERT_TRUE(window->NewRecord());
    ASSERT_TRUE(QTest::qWaitFor([&] { return window->HasRecord(); }, kWait));
    EXPECT_FALSE(window->EnterPoint(TPhase::AsFound, 0, QStringLiteral("10.0"), QStringLiteral("4.0")));
    EXPECT_TRUE(window->LastMessage().contains(QStringLiteral("span is zero"))) << window->LastMessage().toStdString();
    EXPECT_TRUE(window->LastMessage().contains(QStringLiteral("user page")));
    EXPECT_FALSE(window->Record().HasPoints(TPhase::AsFound));
}

} // namespace
