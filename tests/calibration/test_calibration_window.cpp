// The calibration record window without an instrument: the form's
// transactions are played to it as the serial link would end them. What the
// store refuses reaches the technician with its cause; a taken certificate
// number is not kept; the overall verdict waits for As-Left after an
// adjustment; a finished record shows that it cannot be typed into.
#include "CalibrationWindow.h"
#include "FieldLook.h"
#include "Language.h"
#include "Main.h"
#include "PointTable.h"
#include "Pty.h"
#include "RecordStore.h"
#include "TextFit.h"

#include <QCheckBox>
#include <QComboBox>
#include <QDateEdit>
#include <QFile>
#include <QLabel>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QPrinter>
#include <QProcess>
#include <QPushButton>
#include <QRegularExpression>
#include <QStandardPaths>
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

    QPushButton *Button(const QString &text) const
    {
        for (QPushButton *b : window->findChildren<QPushButton *>())
            if (b->text() == text)
                return b;
        ADD_FAILURE() << "no button " << text.toStdString();
        return nullptr;
    }

    // A finished record by Kovács Éva.
    void FinishedRecord()
    {
        Instrument();
        ASSERT_TRUE(StartRecord());
        window->TechnicianEdit()->setText(QStringLiteral("Kovács Éva"));
        emit window->TechnicianEdit()->editingFinished();
        EnterAll(TPhase::AsFound);
        ASSERT_TRUE(window->Finish());
        ASSERT_TRUE(Settled());
        ASSERT_TRUE(window->Record().finished) << window->LastMessage().toStdString();
    }

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

// Approval is a second person's: refused for the technician's own name
// (however typed), given by another, shown, and there after the record is
// read again by a window opened afresh; the button is for a finished record
// not approved yet.
TEST_F(CalibrationWindowTest, ApprovalIsASecondPersonsAndIsShownAfterReloading)
{
    const QString db = dir.filePath(QStringLiteral("records.sqlite"));
    Open(db);
    EXPECT_FALSE(Button(QStringLiteral("Approve…"))->isEnabled());
    FinishedRecord();
    const qint64 id = window->Record().id;
    EXPECT_TRUE(Button(QStringLiteral("Approve…"))->isEnabled());

    EXPECT_FALSE(window->Approve(QStringLiteral("KOVÁCS ÉVA")));
    EXPECT_TRUE(window->LastMessage().contains(QStringLiteral("approval is a second person's"))) << window->LastMessage().toStdString();
    ASSERT_TRUE(Settled());
    EXPECT_TRUE(window->Record().approvedBy.isEmpty());
    EXPECT_TRUE(TRecordStore(db).Load(id)->approvedBy.isEmpty());

    ASSERT_TRUE(window->Approve(QStringLiteral("Nagy Anna")));
    ASSERT_TRUE(Settled());
    EXPECT_EQ(window->Record().approvedBy, QStringLiteral("Nagy Anna"));
    EXPECT_TRUE(Overall().contains(QStringLiteral("approved by <b>Nagy Anna</b>"))) << Overall().toStdString();
    EXPECT_FALSE(Button(QStringLiteral("Approve…"))->isEnabled()) << "approved once";

    delete window;
    window = nullptr;
    Open(db);
    window->Load(id);
    ASSERT_TRUE(QTest::qWaitFor([&] { return window->Record().id == id; }, kWait));
    EXPECT_EQ(window->Record().approvedBy, QStringLiteral("Nagy Anna"));
    EXPECT_TRUE(window->Record().approvedAt.isValid());
    EXPECT_TRUE(Overall().contains(QStringLiteral("approved by <b>Nagy Anna</b> on %1")
                                       .arg(window->Record().approvedAt.toLocalTime().toString(QStringLiteral("yyyy-MM-dd HH:mm")))))
        << Overall().toStdString();
    EXPECT_FALSE(Button(QStringLiteral("Approve…"))->isEnabled());
}

// The references' U is typed in the header's last column: every point shows
// its U at once, a U that is no number in its unit is marked and gives none,
// and the U carries over to the next record with the other columns.
TEST_F(CalibrationWindowTest, TheReferencesUncertaintyGivesEachPointsAndIsRemembered)
{
    Open(dir.filePath(QStringLiteral("records.sqlite")));
    Instrument();
    ASSERT_TRUE(StartRecord());
    EnterAll(TPhase::AsFound);
    QTableWidget *refs = window->References();
    ASSERT_EQ(refs->columnCount(), 6);
    EXPECT_EQ(refs->horizontalHeaderItem(5)->text(), QStringLiteral("Uncertainty (k = 2)"));
    const auto uOf = [&](int row) { return window->Table(TPhase::AsFound)->item(row, TPointTable::ColUncertainty)->text(); };
    EXPECT_EQ(uOf(2), QStringLiteral("—")) << "no U stated yet";
    QTableWidgetItem *halfTyped = window->Table(TPhase::AsLeft)->item(0, TPointTable::ColApplied);
    halfTyped->setText(QStringLiteral("0.0")); // the ammeter's reading still to come
    refs->item(0, 5)->setText(QStringLiteral("0.25"));
    refs->item(1, 5)->setText(QStringLiteral("0.006"));
    ASSERT_TRUE(Settled());
    EXPECT_EQ(window->Record().references[0].uncertainty, QStringLiteral("0.25"));
    // 125.0 Pa typed to 0.1 Pa and 12.0 mA to 0.1 mA, no spread: sqrt(0.008^2 + 0.003^2 +
    // 0.00184752^2 + 0.0288675^2) = sqrt(909.747e-6) = 0.0301620 mA; U = 0.377025 %, stated as 0.378.
    EXPECT_EQ(uOf(2), QStringLiteral("± 0.378"));
    EXPECT_EQ(window->Table(TPhase::AsLeft)->item(0, TPointTable::ColApplied)->text(), QStringLiteral("0.0")) << "what is typed stays";

    refs->item(1, 5)->setText(QStringLiteral("0.006 Pa"));
    ASSERT_TRUE(Settled());
    EXPECT_EQ(uOf(2), QStringLiteral("—")) << "the ammeter's U is in mA";
    EXPECT_EQ(refs->item(1, 5)->foreground().color(), QColor(Colour(window, TVerdict::Fail)));
    refs->item(1, 5)->setText(QStringLiteral("0.006 mA"));
    ASSERT_TRUE(Settled());
    EXPECT_EQ(uOf(2), QStringLiteral("± 0.378"));
    EXPECT_NE(refs->item(1, 5)->foreground().color(), QColor(Colour(window, TVerdict::Fail)));

    ASSERT_TRUE(window->Finish());
    ASSERT_TRUE(StartRecord());
    EXPECT_EQ(window->References()->item(0, 5)->text(), QStringLiteral("0.25"));
    EXPECT_EQ(window->Record().references[1].uncertainty, QStringLiteral("0.006 mA"));
}

// Printing paints the same pages as the PDF writer (here a printer writing a
// PDF), on the store's thread; both go into the record's audit trail.
TEST_F(CalibrationWindowTest, APrintedCertificateIsThePdfsAndIsNoted)
{
    if (QStandardPaths::findExecutable(QStringLiteral("pdftotext")).isEmpty())
        GTEST_SKIP() << "pdftotext (poppler-utils) is not installed";
    const QString db = dir.filePath(QStringLiteral("records.sqlite"));
    Open(db);
    FinishedRecord();
    const QString pdf = dir.filePath(QStringLiteral("written.pdf"));
    const QString printed = dir.filePath(QStringLiteral("printed.pdf"));
    QSignalSpy exported(window, &TCalibrationWindow::Exported);
    window->ExportPdf(pdf);
    ASSERT_TRUE(exported.wait(kWait));
    auto printer = std::make_shared<QPrinter>(QPrinter::HighResolution);
    printer->setOutputFormat(QPrinter::PdfFormat);
    printer->setOutputFileName(printed);
    printer->setPageSize(QPageSize(QPageSize::A4));
    window->Print(printer);
    ASSERT_TRUE(exported.wait(kWait));
    ASSERT_EQ(exported.size(), 2);
    EXPECT_TRUE(exported.at(1).at(0).toBool()) << window->LastMessage().toStdString();
    EXPECT_EQ(window->LastMessage(), QStringLiteral("Certificate sent to %1.").arg(QDir::toNativeSeparators(printed)));
    printer.reset();
    ASSERT_TRUE(Settled());

    const auto text = [](const QString &file) {
        QProcess p;
        p.start(QStringLiteral("pdftotext"), {QStringLiteral("-enc"), QStringLiteral("UTF-8"), QStringLiteral("-layout"), file, QStringLiteral("-")});
        EXPECT_TRUE(p.waitForFinished(120000));
        // Line by line; the gaps between columns come out by the device's resolution.
        static const QRegularExpression blanks(QStringLiteral(" +"));
        return QString::fromUtf8(p.readAllStandardOutput()).replace(blanks, QStringLiteral(" "));
    };
    const QString written = text(pdf);
    EXPECT_TRUE(written.contains(QStringLiteral("Calibration Certificate")));
    EXPECT_EQ(text(printed).toStdString(), written.toStdString());

    QStringList noted;
    for (const TAuditRow &row : TRecordStore(db).Audit(window->Record().id))
        if (row.what == QLatin1String("certificate"))
            noted << row.newValue;
    EXPECT_EQ(noted, QStringList({QDir::toNativeSeparators(pdf), QStringLiteral("printed on %1").arg(QDir::toNativeSeparators(printed))}));
}

// The window in each language: every caption fits, a new record's
// certificate speaks the window's language until another is chosen, and a
// switch with a record open and fields typed loses nothing and stores nothing.
TEST_F(CalibrationWindowTest, BothLanguagesFitAndASwitchKeepsWhatIsTyped)
{
    using Language::TLanguage;
    const auto apply = [](TLanguage language) {
        ASSERT_TRUE(Language::Apply(language)) << "a translation file is missing from the build";
        QCoreApplication::sendPostedEvents(nullptr, QEvent::LanguageChange);
        // The layouts the new texts asked for, outside in.
        for (int i = 0; i < 3; ++i)
            QCoreApplication::sendPostedEvents(nullptr, QEvent::LayoutRequest);
    };
    apply(TLanguage::Hungarian);
    Open(dir.filePath(QStringLiteral("records.sqlite")));
    window->show();
    Instrument();
    ASSERT_TRUE(StartRecord());
    EXPECT_EQ(window->Record().certificateLanguage, TCertificateLanguage::Hungarian);
    auto *language = window->findChild<QComboBox *>(QStringLiteral("CertificateLanguage"));
    ASSERT_NE(language, nullptr);
    EXPECT_EQ(language->currentText(), QStringLiteral("Magyar"));
    language->setCurrentIndex(language->findData(int(TCertificateLanguage::Bilingual)));
    emit language->activated(language->currentIndex());
    window->TagEdit()->setText(QStringLiteral("PT-7"));
    emit window->TagEdit()->editingFinished();
    ASSERT_TRUE(window->EnterPoint(TPhase::AsFound, 0, QStringLiteral("0.0"), QStringLiteral("4.0"))) << window->LastMessage().toStdString();
    ASSERT_TRUE(Settled());
    const TRecord stored = *TRecordStore(dir.filePath(QStringLiteral("records.sqlite"))).Load(window->Record().id);
    EXPECT_EQ(stored.certificateLanguage, TCertificateLanguage::Bilingual);
    // Typed and not yet left: still only in the fields.
    window->SerialEdit()->setText(QStringLiteral("SN 99"));
    window->RemarksEdit()->setPlainText(QStringLiteral("megjegyzés"));

    for (const TLanguage l : {TLanguage::Hungarian, TLanguage::English, TLanguage::Hungarian}) {
        apply(l);
        const bool hu = l == TLanguage::Hungarian;
        EXPECT_EQ(window->windowTitle().contains(QStringLiteral("Kalibrálási jegyzőkönyv")), hu) << window->windowTitle().toStdString();
        EXPECT_TRUE(Button(hu ? QStringLiteral("Új jegyzőkönyv") : QStringLiteral("New record")));
        EXPECT_EQ(language->currentData().toInt(), int(TCertificateLanguage::Bilingual));
        EXPECT_EQ(language->currentText(), hu ? QStringLiteral("Magyar és angol") : QStringLiteral("Hungarian and English"));
        EXPECT_EQ(window->TagEdit()->text(), QStringLiteral("PT-7"));
        EXPECT_EQ(window->SerialEdit()->text(), QStringLiteral("SN 99"));
        EXPECT_EQ(window->RemarksEdit()->toPlainText(), QStringLiteral("megjegyzés"));
        EXPECT_EQ(window->Table(TPhase::AsFound)->item(0, TPointTable::ColApplied)->text(), QStringLiteral("0.0"));
        EXPECT_EQ(window->References()->item(0, 0)->text(), hu ? QStringLiteral("Nyomás etalon") : QStringLiteral("Pressure standard"));
        EXPECT_EQ(ClippedTexts(window).join(QLatin1Char('\n')).toStdString(), "") << (hu ? "in Hungarian" : "in English");
    }
    ASSERT_TRUE(Settled());
    EXPECT_EQ(window->PendingWrites(), 0);
    const TRecord after = *TRecordStore(dir.filePath(QStringLiteral("records.sqlite"))).Load(window->Record().id);
    EXPECT_EQ(after.serial, stored.serial) << "a switch stores nothing";
    EXPECT_EQ(after.references, stored.references) << "the roles stay as stored";
    EXPECT_EQ(after.entered, stored.entered);
    apply(TLanguage::English); // the other tests read the English captions
}

} // namespace
