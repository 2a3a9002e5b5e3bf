// The calibration record window without an instrument: the form's
// transactions are played to it as the serial link would end them. What the
// store refuses reaches the technician with its cause; a taken certificate
// number is not kept; the overall verdict waits for As-Left after an
// adjustment; a finished record shows that it cannot be typed into.
#include "CalibrationWindow.h"
#include "Main.h"
#include "Pty.h"
#include "RecordStore.h"

#include <QCheckBox>
#include <QDateEdit>
#include <QFile>
#include <QLabel>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QSignalSpy>
#include <QTableWidget>
#include <QTemporaryDir>
#include <QTest>

#include <gtest/gtest.h>

#include <memory>

namespace {

using namespace calib;

constexpr int kWait = 30000;

class CalibrationWindowTest : public ::testing::Test
{
protected:
    void SetUp() override
    {
        form = std::make_unique<TForm1>();
        form->MB1->setMBRefreshListOnStartup(false);
        UseScratchVirtualPortDir();
    }

    void TearDown() override
    {
        delete window;
        form.reset();
    }

    TCalibrationWindow *Open(const QString &path)
    {
        window = new TCalibrationWindow(*form, path);
        return window;
    }

    bool Settled() const
    {
        return QTest::qWaitFor([&] { return window->PendingWrites() == 0; }, kWait);
    }

    bool StartRecord()
    {
        return window->NewRecord() && QTest::qWaitFor([&] { return window->HasRecord(); }, kWait) && Settled();
    }

    // An instrument of 0.0 .. 250.0 Pa that has answered its settings and a few polls.
    void Instrument()
    {
        form->SettingsRead.iFizFor4mA = 0;
        form->SettingsRead.iFizFor20mA = 2500;
        form->SettingsRead.SensorCode = 1;
        form->LiveData.FirmwareDateCode = 20170105;
        form->LiveData.CalibrationDateCode = 20170112;
        form->LiveData.Decimals = 1;
        emit form->TransactionEnded(TForm1::Cmd_ReadSettings, TMB::stOK, form->Snapshot());
        for (int i = 0; i < 5; ++i)
            emit form->TransactionEnded(TForm1::Cmd_Poll, TMB::stOK, form->Snapshot());
    }

    void EnterAll(TPhase phase)
    {
        const char *applied[] = {"0.0", "62.5", "125.0", "187.5", "250.0"};
        const char *milliAmps[] = {"4.0", "8.0", "12.0", "16.0", "20.0"};
        for (int i = 0; i < 5; ++i)
            ASSERT_TRUE(window->EnterPoint(phase, i, QString::fromLatin1(applied[i]), QString::fromLatin1(milliAmps[i])))
                << window->LastMessage().toStdString();
        ASSERT_TRUE(Settled());
    }

    QString Overall() const { return window->findChild<QLabel *>(QStringLiteral("Overall"))->text(); }

    QTemporaryDir dir;
    std::unique_ptr<TForm1> form;
    TCalibrationWindow *window = nullptr;
};

// A file the store cannot use: the window says what is wrong with it, and a
// new record is refused with that cause, not a bare "cannot be opened".
TEST_F(CalibrationWindowTest, AStoreThatCannotOpenSaysWhy)
{
    Open(QStringLiteral("/dev/null"));
    ASSERT_TRUE(QTest::qWaitFor([&] { return !window->LastMessage().isEmpty(); }, kWait));
    EXPECT_TRUE(window->LastMessage().contains(QStringLiteral("/dev/null is not a regular file"))) << window->LastMessage().toStdString();
    QSignalSpy saved(window, &TCalibrationWindow::Saved);
    ASSERT_TRUE(window->NewRecord());
    ASSERT_TRUE(saved.wait(kWait));
    EXPECT_FALSE(saved.at(0).at(0).toBool());
    EXPECT_FALSE(window->HasRecord());
    EXPECT_TRUE(window->LastMessage().startsWith(QStringLiteral("The record could not be started: ")));
    EXPECT_TRUE(window->LastMessage().contains(QStringLiteral("not a regular file"))) << window->LastMessage().toStdString();
    EXPECT_TRUE(window->Record().remarks.isEmpty());
}

// A number typed over the generated one that another record has: refused with
// that record named, the field back to the record's own number, and the rest
// of what was typed saved all the same.
TEST_F(CalibrationWindowTest, ATakenCertificateNumberIsRefusedNamingItsRecord)
{
    const QString db = dir.filePath(QStringLiteral("records.sqlite"));
    Open(db);
    ASSERT_TRUE(StartRecord());
    const QString first = window->Record().certificate;
    window->TagEdit()->setText(QStringLiteral("PT-101"));
    window->SerialEdit()->setText(QStringLiteral("SN-4711"));
    emit window->TagEdit()->editingFinished();
    ASSERT_TRUE(Settled());

    ASSERT_TRUE(StartRecord());
    const QString second = window->Record().certificate;
    ASSERT_NE(second, first);
    window->TagEdit()->setText(QStringLiteral("PT-102"));
    window->CertificateEdit()->setText(first);
    emit window->CertificateEdit()->editingFinished();
    ASSERT_TRUE(Settled());
    EXPECT_TRUE(window->LastMessage().contains(QStringLiteral("PT-101 (serial SN-4711)"))) << window->LastMessage().toStdString();
    EXPECT_TRUE(window->LastMessage().contains(QStringLiteral("keeps %1").arg(second))) << window->LastMessage().toStdString();
    EXPECT_EQ(window->CertificateEdit()->text(), second);
    EXPECT_EQ(window->Record().certificate, second);

    TRecordStore store(db);
    const std::vector<TRecordSummary> all = store.History(QString());
    ASSERT_EQ(all.size(), 2u);
    EXPECT_EQ(all[0].certificate, second);
    EXPECT_EQ(all[0].tag, QStringLiteral("PT-102")) << "the tag typed with it is saved";
    EXPECT_EQ(all[1].certificate, first);

    // A free number is taken as typed.
    window->CertificateEdit()->setText(QStringLiteral("LAB-7/2026"));
    emit window->CertificateEdit()->editingFinished();
    ASSERT_TRUE(Settled());
    EXPECT_EQ(store.Load(window->Record().id)->certificate, QStringLiteral("LAB-7/2026"));
}

// The tolerance's message, and the overall verdict: As-Found's until an
// adjustment, then pending until As-Left is complete.
TEST_F(CalibrationWindowTest, TheOverallVerdictWaitsForAsLeftAfterAnAdjustment)
{
    Open(dir.filePath(QStringLiteral("records.sqlite")));
    Instrument();
    ASSERT_TRUE(StartRecord());
    window->ToleranceEdit()->setText(QStringLiteral("0"));
    emit window->ToleranceEdit()->editingFinished();
    EXPECT_TRUE(window->LastMessage().contains(QStringLiteral("at most 100 (% of span)"))) << window->LastMessage().toStdString();

    EnterAll(TPhase::AsFound);
    EXPECT_TRUE(Overall().contains(QStringLiteral(">PASS<"))) << Overall().toStdString();
    emit form->TransactionEnded(TForm1::Cmd_Zero, TMB::stOK, form->Snapshot()); // the eleven steps began
    ASSERT_TRUE(window->Record().calibrated);
    EXPECT_TRUE(Overall().contains(QStringLiteral(">pending<"))) << Overall().toStdString();
    ASSERT_TRUE(window->EnterPoint(TPhase::AsLeft, 0, QStringLiteral("0.0"), QStringLiteral("4.0")));
    EXPECT_TRUE(Overall().contains(QStringLiteral(">pending<"))) << Overall().toStdString();

    const QString csv = dir.filePath(QStringLiteral("r.csv"));
    QSignalSpy exported(window, &TCalibrationWindow::Exported);
    window->ExportCsv(csv);
    ASSERT_TRUE(exported.wait(kWait));
    QFile f(csv);
    ASSERT_TRUE(f.open(QIODevice::ReadOnly));
    const QByteArray text = f.readAll();
    EXPECT_TRUE(text.contains("verdict_as_found,PASS\r\n"));
    EXPECT_TRUE(text.contains("verdict_overall,pending\r\n")) << text.toStdString();

    EnterAll(TPhase::AsLeft);
    EXPECT_TRUE(Overall().contains(QStringLiteral(">PASS<"))) << Overall().toStdString();
}

// Finished: every field of the record is read-only and looks it (no white
// entry field inviting typing that is then ignored).
TEST_F(CalibrationWindowTest, AFinishedRecordShowsItsFieldsReadOnly)
{
    Open(dir.filePath(QStringLiteral("records.sqlite")));
    Instrument();
    ASSERT_TRUE(StartRecord());
    const QColor editable = window->TagEdit()->palette().color(QPalette::Base);
    ASSERT_TRUE(window->Finish());
    ASSERT_TRUE(Settled());
    ASSERT_TRUE(window->Record().finished) << window->LastMessage().toStdString();
    const QColor background = window->palette().color(QPalette::Window);
    for (QLineEdit *e : {window->CertificateEdit(), window->TagEdit(), window->SerialEdit(), window->TechnicianEdit(), window->TemperatureEdit(),
                         window->HumidityEdit(), window->ToleranceEdit(), window->PointsEdit()}) {
        EXPECT_TRUE(e->isReadOnly()) << e->toolTip().toStdString();
        EXPECT_EQ(e->palette().color(QPalette::Base), background) << e->toolTip().toStdString();
        EXPECT_NE(e->palette().color(QPalette::Base), editable) << e->toolTip().toStdString();
    }
    EXPECT_TRUE(window->RemarksEdit()->isReadOnly());
    EXPECT_EQ(window->RemarksEdit()->palette().color(QPalette::Base), background);
    EXPECT_TRUE(window->NextDueEdit()->isReadOnly());
    EXPECT_EQ(window->NextDueEdit()->palette().color(QPalette::Base), background);
    EXPECT_FALSE(window->HysteresisBox()->isEnabled());
    EXPECT_EQ(window->References()->editTriggers(), QAbstractItemView::NoEditTriggers);
    EXPECT_EQ(window->References()->palette().color(QPalette::Base), background);
    for (TPhase phase : {TPhase::AsFound, TPhase::AsLeft})
        EXPECT_EQ(window->Table(phase)->editTriggers(), QAbstractItemView::NoEditTriggers);

    // The issuer is the tool's setting, not the record's: it stays editable.
    EXPECT_FALSE(window->IssuerEdit()->isReadOnly());

    // The next record is typed into again, and looks it.
    ASSERT_TRUE(StartRecord());
    EXPECT_FALSE(window->TagEdit()->isReadOnly());
    EXPECT_EQ(window->TagEdit()->palette().color(QPalette::Base), editable);
}

} // namespace
