#include "CalibrationWindow.h"

#include "AutomaticRun.h"
#include "Certificate.h"
#include "CertificateHeader.h"
#include "FieldLook.h"
#include "HistoryPanel.h"
#include "Language.h"
#include "Main.h"
#include "PointTable.h"
#include "ReferencePanel.h"
#include "RecordsLocationDialog.h"
#include "Tools.h"

#include <QApplication>
#include <QCheckBox>
#include <QDir>
#include <QEvent>
#include <QFileDialog>
#include <QGroupBox>
#include <QInputDialog>
#include <QPrintDialog>
#include <QPrintPreviewDialog>
#include <QPrinter>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QMessageBox>
#include <QPushButton>
#include <QSettings>
#include <QSplitter>
#include <QStandardPaths>
#include <QVBoxLayout>

#include <kv508/Version.h>

using namespace calib;

TCalibrationWindow::TCalibrationWindow(TForm1 &form, const QString &databasePath) : QWidget(&form, Qt::Window), m_form(form)
{
    setObjectName(QStringLiteral("CalibrationWindow"));
    // What the form knows already (the window may open long after the port).
    m_session = new TCalibrationSession(databasePath, form.Snapshot(), this);

    QLayout *bar = MakeBar();
    m_header = new TCertificateHeader(this);
    m_refs = new TReferencePanel(this);
    QWidget *check = MakeCheck();
    m_history = new THistoryPanel(databasePath, this);

    auto *left = new QWidget(this);
    auto *leftLayout = new QVBoxLayout(left);
    leftLayout->setContentsMargins(0, 0, 0, 0);
    leftLayout->addWidget(m_header);
    leftLayout->addWidget(m_refs);
    leftLayout->addWidget(check, 1);
    auto *splitter = new QSplitter(this);
    splitter->addWidget(left);
    splitter->addWidget(m_history);
    splitter->setStretchFactor(0, 1);
    splitter->setStretchFactor(1, 0);
    splitter->setSizes({1000, 440}); // the history's six columns without a scroll bar

    auto *layout = new QVBoxLayout(this);
    layout->setContentsMargins(8, 8, 8, 8);
    layout->addLayout(bar);
    layout->addWidget(splitter, 1);

    Retranslate();
    Connect(form);
    m_session->RefreshHistory();
    ShowRecord();
    resize(1440, 900);
}

TCalibrationWindow::~TCalibrationWindow()
{
    // A run under way stops as by Cancel, while the references can still hear it.
    delete m_auto;
    m_auto = nullptr;
    // Closing the window takes the focus from an edit, whose "editing finished"
    // would then reach this half-destroyed window: nothing more reaches it.
    for (QObject *child : findChildren<QObject *>())
        child->disconnect(this);
    m_form.disconnect(this);
}

QLayout *TCalibrationWindow::MakeBar()
{
    m_newButton = new QPushButton(this);
    m_finishButton = new QPushButton(this);
    m_approveButton = new QPushButton(this);
    m_pdfButton = new QPushButton(this);
    m_previewButton = new QPushButton(this);
    m_printButton = new QPushButton(this);
    m_csvButton = new QPushButton(this);
    m_saveHereButton = new QPushButton(this);
    m_saveHereButton->hide();
    m_status = new QLabel(this);
    m_status->setWordWrap(true);
    m_status->setTextInteractionFlags(Qt::TextSelectableByMouse);
    auto *bar = new QHBoxLayout;
    bar->addWidget(m_newButton);
    bar->addWidget(m_finishButton);
    bar->addWidget(m_approveButton);
    bar->addSpacing(12);
    bar->addWidget(m_pdfButton);
    bar->addWidget(m_previewButton);
    bar->addWidget(m_printButton);
    bar->addWidget(m_csvButton);
    bar->addWidget(m_saveHereButton);
    bar->addSpacing(12);
    bar->addWidget(m_status, 1);
    return bar;
}

// The check: span, tolerance and points, the live reading, a table per phase
// with its verdict, the calibration in between, and the overall verdict.
QWidget *TCalibrationWindow::MakeCheck()
{
    m_check = new QGroupBox(this);
    auto *checkLayout = new QVBoxLayout(m_check);
    auto *settings = new QHBoxLayout;
    m_span = new QLabel(this);
    m_tolerance = new QLineEdit(QString::fromStdString(kDefaultTolerance.Text()), this);
    m_tolerance->setMaximumWidth(64);
    m_points = new QLineEdit(this);
    m_points->setMaximumWidth(170);
    m_hysteresis = new QCheckBox(this);
    m_toleranceLabel = new QLabel(this);
    m_pointsLabel = new QLabel(this);
    settings->addWidget(m_span, 1);
    settings->addWidget(m_toleranceLabel);
    settings->addWidget(m_tolerance);
    settings->addWidget(m_pointsLabel);
    settings->addWidget(m_points);
    settings->addWidget(m_hysteresis);
    checkLayout->addLayout(settings);
    m_live = new QLabel(this);
    m_live->setTextFormat(Qt::RichText);
    checkLayout->addWidget(m_live);

    for (int phase = 0; phase < 2; ++phase) {
        m_tables[phase] = new TPointTable(TPhase(phase), this);
        m_verdicts[phase] = new QLabel(this);
        m_verdicts[phase]->setTextFormat(Qt::RichText);
    }
    m_calibration = new QLabel(this);
    m_calibration->setWordWrap(true);
    m_calibration->setTextFormat(Qt::RichText);
    m_calPageButton = new QPushButton(this);
    auto *calRow = new QHBoxLayout;
    calRow->addWidget(m_calibration, 1);
    calRow->addWidget(m_calPageButton);

    for (QLabel *&title : m_phaseTitles)
        title = new QLabel(this);
    checkLayout->addWidget(m_phaseTitles[0]);
    checkLayout->addWidget(m_tables[0], 1);
    checkLayout->addWidget(m_verdicts[0]);
    checkLayout->addLayout(calRow);
    checkLayout->addWidget(m_phaseTitles[1]);
    checkLayout->addWidget(m_tables[1], 1);
    checkLayout->addWidget(m_verdicts[1]);
    m_overall = new QLabel(this);
    m_overall->setObjectName(QStringLiteral("Overall"));
    m_overall->setTextFormat(Qt::RichText);
    checkLayout->addWidget(m_overall);
    return m_check;
}

void TCalibrationWindow::Retranslate()
{
    setWindowTitle(tr("%1 — Calibration record").arg(TForm1::ProductName()));
    m_newButton->setText(tr("New record"));
    m_newButton->setToolTip(tr("Start a record for the instrument on the line: its firmware, calibration date, sensor and span are read from it"));
    m_finishButton->setText(tr("Finish record"));
    m_finishButton->setToolTip(tr("Close the record: it can be exported but no longer changed"));
    m_approveButton->setText(tr("Approve…"));
    m_approveButton->setToolTip(tr("A second person approves the finished record: their name and the time go on the certificate"));
    m_pdfButton->setText(tr("Certificate PDF…"));
    m_previewButton->setText(tr("Print preview…"));
    m_printButton->setText(tr("Print…"));
    m_csvButton->setText(tr("CSV…"));
    m_saveHereButton->setText(tr("Save here…"));
    m_saveHereButton->setToolTip(tr("The records server does not answer: keep this record, with every point typed, in this computer's file"));
    m_check->setTitle(tr("Check"));
    m_tolerance->setToolTip(tr("Permitted error in % of span, either side (fixed once the first point is entered)"));
    m_points->setToolTip(tr("Test points in % of span, separated by commas or blanks (fixed once the first point is entered)"));
    m_hysteresis->setText(tr("down again (hysteresis)"));
    m_toleranceLabel->setText(tr("Tolerance ±"));
    m_pointsLabel->setText(tr("% of span   Points (%)"));
    m_calPageButton->setText(tr("Calibration page"));
    m_calPageButton->setToolTip(tr("Bring the main window's calibration page forward for the eleven steps"));
    m_phaseTitles[0]->setText(tr("<b>As-Found</b> — before any adjustment"));
    m_phaseTitles[1]->setText(tr("<b>As-Left</b> — after the calibration"));
}

void TCalibrationWindow::changeEvent(QEvent *event)
{
    if (event->type() == QEvent::LanguageChange && m_check) {
        // Every text again from the state; nothing typed or entered is touched.
        Retranslate();
        ShowVerdicts();
        ShowLive();
        ShowState();
    }
    QWidget::changeEvent(event);
}

void TCalibrationWindow::Connect(TForm1 &form)
{
    TCalibrationSession *s = m_session;
    connect(m_header, &TCertificateHeader::Edited, this, &TCalibrationWindow::HeaderEdited);
    connect(m_tolerance, &QLineEdit::editingFinished, this, &TCalibrationWindow::CheckSettingsEdited);
    connect(m_points, &QLineEdit::editingFinished, this, &TCalibrationWindow::CheckSettingsEdited);
    connect(m_hysteresis, &QCheckBox::toggled, this, &TCalibrationWindow::CheckSettingsEdited);
    for (int phase = 0; phase < 2; ++phase)
        connect(m_tables[phase], &TPointTable::PointTyped, this,
                [this, phase](int row, const QString &applied, const QString &mA) { PointTyped(TPhase(phase), row, applied, mA); });
    connect(m_calPageButton, &QPushButton::clicked, &form, &TForm1::ShowCalibrationPage);
    connect(m_history, &THistoryPanel::TagChosen, s, &TCalibrationSession::ShowHistoryOf);
    connect(m_history, &THistoryPanel::DueChosen, s, &TCalibrationSession::ShowDueBefore);
    connect(m_history, &THistoryPanel::RecordChosen, this, &TCalibrationWindow::Load);
    connect(m_newButton, &QPushButton::clicked, this, [this] { NewRecord(); });
    connect(m_finishButton, &QPushButton::clicked, this, &TCalibrationWindow::AskFinish);
    connect(m_approveButton, &QPushButton::clicked, this, &TCalibrationWindow::AskApprove);
    connect(m_pdfButton, &QPushButton::clicked, this, [this] { AskExport(true); });
    connect(m_previewButton, &QPushButton::clicked, this, &TCalibrationWindow::AskPreview);
    connect(m_printButton, &QPushButton::clicked, this, &TCalibrationWindow::AskPrint);
    connect(m_csvButton, &QPushButton::clicked, this, [this] { AskExport(false); });
    connect(m_saveHereButton, &QPushButton::clicked, this, [this] {
        if (QMessageBox::question(this, tr("Save here"),
                                  tr("Keep this record, with every point typed, in %1 as well?\n\nThe points are still stored on the "
                                                 "records server once it answers.")
                                      .arg(QDir::toNativeSeparators(TRecordStore::DefaultPath()))) == QMessageBox::Yes)
            m_session->SaveToFile(TRecordStore::DefaultPath());
    });
    connect(m_history, &THistoryPanel::LocationAsked, this, &TCalibrationWindow::AskLocation);
    connect(s, &TCalibrationSession::ServerLost, m_saveHereButton, &QWidget::setVisible);

    connect(s, &TCalibrationSession::RecordChanged, this, &TCalibrationWindow::ShowRecord);
    // A point the server has not acknowledged is never shown as stored.
    connect(s, &TCalibrationSession::RecordChanged, this, [this] {
        for (const TPoint &p : m_session->Record().entered)
            if (!m_session->IsStored(p.phase, p.index))
                m_tables[int(p.phase)]->MarkResult(p.index, tr("not stored yet"));
    });
    connect(s, &TCalibrationSession::EditableChanged, this, &TCalibrationWindow::SetEditable);
    connect(s, &TCalibrationSession::LiveChanged, this, &TCalibrationWindow::ShowLive);
    connect(s, &TCalibrationSession::Idle, this, &TCalibrationWindow::ShowState);
    connect(s, &TCalibrationSession::Message, this, &TCalibrationWindow::Say);
    connect(s, &TCalibrationSession::CertificateKept, m_header, &TCertificateHeader::KeepCertificate);
    connect(s, &TCalibrationSession::PointNotSaved, this,
            [this](TPhase phase, int index) { m_tables[int(phase)]->MarkResult(index, tr("not saved")); });
    connect(s, &TCalibrationSession::StoreUnusable, this, [this] { m_newButton->setEnabled(false); });
    connect(s, &TCalibrationSession::HistoryRead, this, [this](const QStringList &tags, const std::vector<TRecordSummary> &records, const QString &tag) {
        m_history->Show(tags, records, tag, m_session->Record().id);
    });
    connect(s, &TCalibrationSession::Saved, this, [this](bool ok, const QString &what) {
        if (ok && what == QLatin1String("record"))
            m_header->FocusTag(); // on to the tag and serial number
        emit Saved(ok, what);
    });
    connect(s, &TCalibrationSession::Exported, this, &TCalibrationWindow::Exported);
    connect(&form, &TForm1::TransactionEnded, this, [this](quint8 command, TMBStatus status, const kv508::TInstrumentSnapshot &instrument) {
        m_session->Follow(command, status == TMB::stOK, instrument);
    });
    ConnectReferences();
}

QLineEdit *TCalibrationWindow::CertificateEdit() const { return m_header->CertificateEdit(); }
QLineEdit *TCalibrationWindow::TagEdit() const { return m_header->TagEdit(); }
QLineEdit *TCalibrationWindow::SerialEdit() const { return m_header->SerialEdit(); }
QLineEdit *TCalibrationWindow::TechnicianEdit() const { return m_header->TechnicianEdit(); }
QLineEdit *TCalibrationWindow::TemperatureEdit() const { return m_header->TemperatureEdit(); }
QLineEdit *TCalibrationWindow::HumidityEdit() const { return m_header->HumidityEdit(); }
QLineEdit *TCalibrationWindow::IssuerEdit() const { return m_header->IssuerEdit(); }
QPlainTextEdit *TCalibrationWindow::RemarksEdit() const { return m_header->RemarksEdit(); }
QDateEdit *TCalibrationWindow::NextDueEdit() const { return m_header->NextDueEdit(); }
QTableWidget *TCalibrationWindow::References() const { return m_header->References(); }
QTableWidget *TCalibrationWindow::Table(TPhase phase) const { return m_tables[int(phase)]; }
QTreeWidget *TCalibrationWindow::HistoryList() const { return m_history->List(); }

void TCalibrationWindow::Say(const QString &text, bool error)
{
    m_lastMessage = text;
    m_status->setText(text);
    m_status->setStyleSheet(error ? QStringLiteral("color: %1; font-weight: bold").arg(Colour(this, TVerdict::Fail)) : QString());
}

// ---- what the buttons do -------------------------------------------------------------------------

bool TCalibrationWindow::NewRecord()
{
    if (m_session->Creating())
        return false;
    const TRecord &open = m_session->Record();
    if (HasRecord() && !open.finished && m_session->Locked() && isVisible() && QApplication::activeModalWidget() == nullptr) {
        // The open record stays in the history; say so before leaving it.
        const auto answer = QMessageBox::question(
            this, windowTitle(),
            tr("Record %1 is not finished. It stays in the history and can be continued from there. Start a new record?")
                .arg(open.certificate));
        if (answer != QMessageBox::Yes)
            return false;
    }
    m_session->Update(m_form.Snapshot()); // today's date, whether or not the port is open
    // A new record's certificate speaks the window's language until another is chosen.
    const TCertificateLanguage language =
        Language::Current() == Language::TLanguage::Hungarian ? TCertificateLanguage::Hungarian : TCertificateLanguage::English;
    return m_session->NewRecord(TechnicianEdit()->text(), TCertificateHeader::RememberedReferences(), language).Ok();
}

void TCalibrationWindow::Load(qint64 id)
{
    m_session->Load(id);
}

bool TCalibrationWindow::EnterPoint(TPhase phase, int index, const QString &applied, const QString &milliAmps)
{
    const TResult<bool> entered = m_session->EnterPoint(phase, index, applied, milliAmps);
    if (!entered.Ok()) {
        m_lastMessage = entered.ErrorMessage();
        return false;
    }
    m_lastMessage.clear();
    m_tables[int(phase)]->NextPoint(index);
    return true;
}

void TCalibrationWindow::PointTyped(TPhase phase, int row, const QString &applied, const QString &milliAmps)
{
    if (!EnterPoint(phase, row, applied, milliAmps)) {
        Say(m_lastMessage, true);
        m_tables[int(phase)]->MarkResult(row, tr("not entered"));
    }
}

bool TCalibrationWindow::Finish()
{
    if (!HasRecord() || Record().finished)
        return false;
    m_session->SetHeader(m_header->Fields());
    return m_session->Finish().Ok();
}

void TCalibrationWindow::AskFinish()
{
    const TRecord &r = m_session->Record();
    const TVerdict overall = r.Overall();
    const QString question = overall == TVerdict::Incomplete || overall == TVerdict::NotDone || overall == TVerdict::Pending
                                 ? tr("Not every test point has been measured. Finish the record anyway? It cannot be changed afterwards.")
                                 : tr("Finish record %1? It cannot be changed afterwards.").arg(r.certificate);
    const qint64 asked = r.id;
    // A history load may have changed the record while the question was open.
    if (QMessageBox::question(this, windowTitle(), question) == QMessageBox::Yes && m_session->Record().id == asked)
        Finish();
}

void TCalibrationWindow::AskExport(bool pdf)
{
    const QString dir = QStandardPaths::writableLocation(QStandardPaths::DocumentsLocation);
    const QString name = Record().certificate + (pdf ? QStringLiteral(".pdf") : QStringLiteral(".csv"));
    const QString path = pdf ? QFileDialog::getSaveFileName(this, tr("Certificate as PDF"), QDir(dir).filePath(name), tr("PDF (*.pdf)"))
                             : QFileDialog::getSaveFileName(this, tr("Record as CSV"), QDir(dir).filePath(name), tr("CSV (*.csv)"));
    if (path.isEmpty())
        return;
    if (pdf)
        ExportPdf(path);
    else
        ExportCsv(path);
}

TIssuer TCalibrationWindow::Issuer() const
{
    return {m_header->Issuer(), QStringLiteral("%1 configuration tool %2").arg(TForm1::ProductName(), QStringLiteral(KV508_VERSION))};
}

bool TCalibrationWindow::Approve(const QString &approver)
{
    const TResult<bool> asked = m_session->Approve(approver);
    if (!asked.Ok())
        Say(asked.ErrorMessage(), true);
    return asked.Ok();
}

void TCalibrationWindow::AskApprove()
{
    const TRecord &r = Record();
    const qint64 asked = r.id;
    bool ok = false;
    const QString name = QInputDialog::getText(
        this, tr("Approve record %1").arg(r.certificate),
        tr("Record %1 was made by %2.\nApproval is a second person's: type your name.")
            .arg(r.certificate, r.technician.trimmed().isEmpty() ? tr("an unnamed technician") : r.technician),
        QLineEdit::Normal, QString(), &ok);
    // A history load may have changed the record while the question was open.
    if (ok && m_session->Record().id == asked)
        Approve(name);
}

void TCalibrationWindow::Print(std::shared_ptr<QPrinter> printer)
{
    m_session->SetHeader(m_header->Fields());
    printer->setFullPage(true); // the certificate keeps its own margins
    const QString where = printer->outputFormat() == QPrinter::PdfFormat ? printer->outputFileName() : printer->printerName();
    const auto paint = [printer, issuer = Issuer()](const TRecord &r, const QString &) -> TResult<bool> {
        QString error;
        if (!PaintCertificate(*printer, r, issuer, error))
            return TResult<bool>::Failed(TStoreError::WriteFailed, error);
        return true;
    };
    const TExport print{paint, tr("Certificate sent to %1."), tr("The certificate was not printed: %1."),
                        QStringLiteral("printed on %1")};
    QApplication::setOverrideCursor(Qt::BusyCursor);
    m_session->Export(where, print, [] { QApplication::restoreOverrideCursor(); });
}

void TCalibrationWindow::AskPrint()
{
    auto printer = std::make_shared<QPrinter>(QPrinter::HighResolution);
    printer->setPageSize(QPageSize(QPageSize::A4));
    printer->setDocName(tr("Calibration certificate %1").arg(Record().certificate));
    QPrintDialog dialog(printer.get(), this);
    dialog.setWindowTitle(tr("Print certificate %1").arg(Record().certificate));
    if (dialog.exec() == QDialog::Accepted)
        Print(printer);
}

void TCalibrationWindow::AskPreview()
{
    m_session->SetHeader(m_header->Fields());
    QPrinter printer(QPrinter::HighResolution);
    printer.setPageSize(QPageSize(QPageSize::A4));
    printer.setDocName(tr("Calibration certificate %1").arg(Record().certificate));
    printer.setFullPage(true);
    QPrintPreviewDialog preview(&printer, this);
    preview.setWindowTitle(tr("Certificate %1").arg(Record().certificate));
    connect(&preview, &QPrintPreviewDialog::paintRequested, this, [this, r = Record(), issuer = Issuer()](QPrinter *p) {
        p->setFullPage(true);
        QString error;
        if (!PaintCertificate(*p, r, issuer, error))
            Say(tr("The certificate could not be shown or printed: %1.").arg(error), true);
    });
    // Printed from the preview: noted as the Print button's would be.
    if (preview.exec() == QDialog::Accepted)
        m_session->NoteCertificate(QStringLiteral("printed on %1")
                                       .arg(printer.outputFormat() == QPrinter::PdfFormat ? QDir::toNativeSeparators(printer.outputFileName())
                                                                                           : printer.printerName()));
}

void TCalibrationWindow::ExportPdf(const QString &path)
{
    m_session->SetHeader(m_header->Fields());
    const TIssuer issuer = Issuer();
    const auto write = [issuer](const TRecord &r, const QString &to) -> TResult<bool> {
        QString error;
        if (!WriteCertificatePdf(r, issuer, to, error))
            return TResult<bool>::Failed(TStoreError::WriteFailed, error);
        return true;
    };
    const TExport pdf{write, tr("Certificate written to %1."), tr("The certificate was not written: %1."), QStringLiteral("%1")};
    QApplication::setOverrideCursor(Qt::BusyCursor);
    m_session->Export(path, pdf, [] { QApplication::restoreOverrideCursor(); });
}

void TCalibrationWindow::ExportCsv(const QString &path)
{
    m_session->SetHeader(m_header->Fields());
    m_session->ExportCsv(path);
}

// ---- what is typed -------------------------------------------------------------------------------

void TCalibrationWindow::HeaderEdited()
{
    if (m_filling || !HasRecord() || Record().finished)
        return;
    const QString oldTag = Record().tag;
    m_session->SetHeader(m_header->Fields());
    m_header->MarkEntries();
    m_header->RememberReferences(Record().references);
    m_session->SaveHeader();
    for (TPointTable *t : m_tables)
        t->ShowUncertainty(Record()); // the references' U is in every point's
    if (oldTag != Record().tag)
        m_session->RefreshHistory();
}

void TCalibrationWindow::CheckSettingsEdited()
{
    if (m_filling)
        return;
    m_session->SetCheck(m_tolerance->text(), m_points->text(), m_hysteresis->isChecked());
}

// ---- showing it ----------------------------------------------------------------------------------

void TCalibrationWindow::SetEditable()
{
    const bool open = HasRecord() && !Record().finished && !m_session->Creating();
    m_header->SetOpen(open);
    const bool locked = m_session->Locked();
    m_tolerance->setReadOnly(!open || locked);
    m_points->setReadOnly(!open || locked);
    LookReadOnly(m_tolerance, !open || locked);
    LookReadOnly(m_points, !open || locked);
    m_hysteresis->setEnabled(open && !locked);
    for (TPointTable *t : m_tables)
        t->SetOpen(HasRecord(), open);
    m_finishButton->setEnabled(open);
    m_approveButton->setEnabled(HasRecord() && Record().finished && Record().approvedBy.isEmpty() && !m_session->Creating());
    m_pdfButton->setEnabled(HasRecord());
    m_previewButton->setEnabled(HasRecord());
    m_printButton->setEnabled(HasRecord());
    m_csvButton->setEnabled(HasRecord());
}

std::optional<TSpan> TCalibrationWindow::TableSpan(TPhase phase) const
{
    if (const std::optional<TSpan> &own = Record().span[int(phase)])
        return own;
    const std::optional<TSpan> now = m_session->SpanNow();
    if (now && CheckSpan(*now) == TSpanError::None)
        return now;
    return std::nullopt;
}

void TCalibrationWindow::ShowRecord()
{
    const TRecord &r = Record();
    m_filling = true;
    m_header->Show(r, m_session->Today().addYears(1));
    m_tolerance->setText(QString::fromStdString(r.tolerance.Text()));
    m_points->setText(QString::fromStdString(PointsText(r.points)));
    m_hysteresis->setChecked(r.hysteresis);
    for (int phase = 0; phase < 2; ++phase)
        m_tables[phase]->Show(r, HasRecord(), TableSpan(TPhase(phase)));
    m_filling = false;

    ShowVerdicts();
    SetEditable();
    ShowLive();
    ShowState();
}

void TCalibrationWindow::ShowLive()
{
    const TReadings &readings = m_session->Readings();
    const bool stable = m_session->InstrumentStable();
    if (!m_session->PollSeen() || readings.Count() == 0) {
        m_live->setText(tr("Instrument: no answered polls — open the port in the main window."));
    } else {
        const QString sign = stable ? tr("<span style='color:%1'><b>● stable</b></span>").arg(Colour(this, TVerdict::Pass))
                                    : tr("<span style='color:#b26a00'><b>○ settling</b></span>");
        QString flags;
        for (const kv508::TErrorFlag &f : kv508::ErrorFlags)
            if (m_session->Instrument().live.ErrorBits & f.bit)
                flags += (flags.isEmpty() ? QString() : QStringLiteral(", ")) + QString::fromUtf8(f.name);
        m_live->setText(tr("Instrument now: <b>%1 %2</b> · <b>%3 mA</b> (mean of the last %4 polls) %5%6") // untranslated: the flags' markup
                            .arg(Fixed(readings.MeanValue(), readings.Decimals() + 1), m_session->UnitNow(), Fixed(readings.MeanMilliAmps(), 3))
                            .arg(readings.Count())
                            .arg(sign, flags.isEmpty() ? QString()
                                                       : QStringLiteral(" · <span style='color:%1'>%2</span>").arg(Colour(this, TVerdict::Fail), flags)));
    }
    // The rows not entered yet show what the instrument says now.
    const bool live = HasRecord() && !Record().finished && readings.Count() > 0;
    const QString value = live ? Fixed(readings.MeanValue(), readings.Decimals() + 1) : QString();
    const QString mA = live ? Fixed(readings.MeanMilliAmps(), 3) : QString();
    const QString settled = live ? (stable ? QStringLiteral("✓") : QStringLiteral("…")) : QString();
    for (TPointTable *t : m_tables)
        t->ShowLive(Record(), value, mA, settled);
}

void TCalibrationWindow::ShowVerdicts()
{
    const TRecord &r = Record();
    for (int phase = 0; phase < 2; ++phase) {
        const TVerdict v = r.Verdict(TPhase(phase));
        const std::optional<TSpan> &s = r.span[phase];
        m_verdicts[phase]->setText( // untranslated: a pattern of markup, its words are translated
            QStringLiteral("%1: <b><span style='color:%2'>%3</span></b>%4")
                .arg(PhaseWord(TPhase(phase)), Colour(this, v), VerdictWord(v),
                     s ? tr(" — span %1 … %2 %3").arg(QString::fromStdString(s->Lower().Text()), QString::fromStdString(s->Upper().Text()), r.unit)
                       : QString()));
    }
    if (!HasRecord())
        m_calibration->setText(QString());
    else if (r.calibrated)
        m_calibration->setText(tr("<b>Calibrated</b> with the eleven steps; the instrument now reports calibration date <b>%1</b>")
                                   .arg(r.newCalibrationDate ? DateCodeText(r.newCalibrationDate) : tr("(not read yet)")));
    else
        m_calibration->setText(tr("No calibration yet. After As-Found, do the eleven steps on the calibration page "
                                              "(Ctrl+Tab in the main window); the record notes them and the new calibration date."));
    const TVerdict overall = r.Overall();
    QString approval;
    if (!r.approvedBy.isEmpty())
        approval = tr(" · approved by <b>%1</b> on %2")
                       .arg(r.approvedBy.toHtmlEscaped(), r.approvedAt.toLocalTime().toString(QStringLiteral("yyyy-MM-dd HH:mm")));
    else if (r.finished)
        approval = tr(" · finished, not approved yet (\"Approve…\": a second person)");
    m_overall->setText(HasRecord() ? tr("Overall: <b><span style='color:%1; font-size:large'>%2</span></b>%3")
                                         .arg(Colour(this, overall), VerdictWord(overall), approval)
                                   : QString());
    const std::optional<TSpan> spanNow = m_session->SpanNow();
    if (spanNow && CheckSpan(*spanNow) == TSpanError::None)
        m_span->setText(tr("Span of the instrument: %1 … %2 %3 = 4 … 20 mA")
                            .arg(QString::fromStdString(spanNow->Lower().Text()), QString::fromStdString(spanNow->Upper().Text()), m_session->UnitNow()));
    else if (spanNow)
        m_span->setText(tr("<span style='color:%1'>Span unusable: %2</span>")
                            .arg(Colour(this, TVerdict::Fail), QString::fromUtf8(SpanErrorText(CheckSpan(*spanNow)))));
    else
        m_span->setText(tr("Span: not read yet (open the port)"));
}

void TCalibrationWindow::ShowState()
{
    if (!m_lastMessage.isEmpty())
        return;
    if (!HasRecord())
        m_status->setText(tr("No record open: \"New record\" starts one, or double-click one in the history."));
}

void TCalibrationWindow::AskLocation()
{
    auto *dialog = new TRecordsLocationDialog(m_session->Location(), this);
    dialog->setAttribute(Qt::WA_DeleteOnClose);
    connect(dialog, &QDialog::accepted, this, [this, dialog] {
        const QString location = dialog->Location();
        const TResult<bool> moved = m_session->UseLocation(location);
        if (!moved.Ok()) {
            Say(moved.ErrorMessage(), true);
            return;
        }
        // Remembered for the next start; KV508_RECORDS still overrides it.
        TForm1::PortSettings().setValue(QStringLiteral("Calibration/records"), location);
        m_history->SetLocation(location);
        m_newButton->setEnabled(true);
    });
    dialog->open();
}

QWidget *MakeCalibrationWindow(TForm1 &form)
{
    const QString setting = TForm1::PortSettings().value(QStringLiteral("Calibration/records")).toString();
    return new TCalibrationWindow(form, TRecordsLocation::Configured(setting));
}
