#include "CalibrationWindow.h"

#include "Certificate.h"
#include "FieldLook.h"
#include "Main.h"
#include "StoreRunner.h"
#include "Tools.h"

#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QDateEdit>
#include <QDir>
#include <QFileDialog>
#include <QFormLayout>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QMessageBox>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QSettings>
#include <QSplitter>
#include <QStandardPaths>
#include <QTableWidget>
#include <QTreeWidget>
#include <QVBoxLayout>

#include <kv508/Version.h>

using namespace calib;

namespace {

enum TColumn { ColNo, ColPercent, ColNominal, ColApplied, ColAmmeter, ColInstrument, ColInstrumentMa, ColStable,
               ColExpected, ColError, ColResult, ColCount };

bool IsCalibrationCommand(quint8 command)
{
    switch (command) {
    case TForm1::Cmd_Zero:
    case TForm1::Cmd_SetAs0:
    case TForm1::Cmd_SetAs4mA:
    case TForm1::Cmd_SetAs20mA:
    case TForm1::Cmd_SetAsScaleEnd: return true;
    default: return false;
    }
}

QString Colour(const QWidget *w, TVerdict v)
{
    const bool dark = w->palette().color(QPalette::Window).lightness() < 128;
    switch (v) {
    case TVerdict::Pass: return dark ? QStringLiteral("#81c784") : QStringLiteral("#2e7d32");
    case TVerdict::Fail: return dark ? QStringLiteral("#ff8a80") : QStringLiteral("#c62828");
    default: return w->palette().color(QPalette::WindowText).name();
    }
}

QString Fixed(double v, int decimals)
{
    QString t = QString::number(v, 'f', decimals);
    if (t.startsWith(QLatin1Char('-')) && t.mid(1).remove(QLatin1Char('0')).remove(QLatin1Char('.')).isEmpty())
        t.remove(0, 1);
    return t;
}

QTableWidgetItem *Cell(const QString &text, bool editable = false, Qt::Alignment align = Qt::AlignRight | Qt::AlignVCenter)
{
    auto *item = new QTableWidgetItem(text);
    item->setTextAlignment(align);
    Qt::ItemFlags flags = Qt::ItemIsEnabled | Qt::ItemIsSelectable;
    if (editable)
        flags |= Qt::ItemIsEditable;
    item->setFlags(flags);
    return item;
}

const char *kRefKeys[] = {"name", "serial", "certificate", "due"};

} // namespace

TCalibrationWindow::TCalibrationWindow(TForm1 &form, const QString &databasePath) : QWidget(&form, Qt::Window), m_form(form)
{
    setObjectName(QStringLiteral("CalibrationWindow"));
    setWindowTitle(TForm1::ProductName() + QStringLiteral(" — Calibration record"));
    m_runner = new TStoreRunner(databasePath, this);
    connect(m_runner, &TStoreRunner::Idle, this, &TCalibrationWindow::ShowState);

    // ---- top bar ----
    m_newButton = new QPushButton(QStringLiteral("New record"), this);
    m_newButton->setToolTip(QStringLiteral("Start a record for the instrument on the line: its firmware, calibration date, sensor and span are read from it"));
    m_finishButton = new QPushButton(QStringLiteral("Finish record"), this);
    m_finishButton->setToolTip(QStringLiteral("Close the record: it can be exported but no longer changed"));
    m_pdfButton = new QPushButton(QStringLiteral("Certificate PDF…"), this);
    m_csvButton = new QPushButton(QStringLiteral("CSV…"), this);
    m_status = new QLabel(this);
    m_status->setWordWrap(true);
    m_status->setTextInteractionFlags(Qt::TextSelectableByMouse);
    auto *bar = new QHBoxLayout;
    bar->addWidget(m_newButton);
    bar->addWidget(m_finishButton);
    bar->addSpacing(12);
    bar->addWidget(m_pdfButton);
    bar->addWidget(m_csvButton);
    bar->addSpacing(12);
    bar->addWidget(m_status, 1);

    // ---- header ----
    auto *header = new QGroupBox(QStringLiteral("Certificate"), this);
    auto *grid = new QGridLayout(header);
    grid->setHorizontalSpacing(10);
    grid->setVerticalSpacing(4);
    const auto edit = [this](const QString &tip, int maxLength = 80) {
        auto *e = new QLineEdit(this);
        e->setToolTip(tip);
        e->setMaxLength(maxLength);
        connect(e, &QLineEdit::editingFinished, this, &TCalibrationWindow::HeaderEdited);
        return e;
    };
    m_certificate = edit(QStringLiteral("Generated for each new record; may be changed"), 40);
    m_tag = edit(QStringLiteral("The instrument's tag at the plant (its history is kept under it)"), 40);
    m_serial = edit(QStringLiteral("Serial number from the instrument's nameplate"), 40);
    m_technician = edit(QStringLiteral("Who did the check (printed under the signature line)"));
    m_temperature = edit(QStringLiteral("Ambient temperature in °C"), 10);
    m_humidity = edit(QStringLiteral("Relative humidity in %"), 10);
    m_firmware = new QLabel(QStringLiteral("—"), this);
    m_calDate = new QLabel(QStringLiteral("—"), this);
    m_sensor = new QLabel(QStringLiteral("—"), this);
    m_sensor->setWordWrap(true);
    m_nextDue = new QDateEdit(this);
    m_nextDue->setCalendarPopup(true);
    m_nextDue->setDisplayFormat(QStringLiteral("yyyy-MM-dd"));
    m_nextDue->setToolTip(QStringLiteral("When the instrument is next due for calibration"));
    connect(m_nextDue, &QDateEdit::editingFinished, this, &TCalibrationWindow::HeaderEdited);
    m_remarks = new QPlainTextEdit(this);
    m_remarks->setMaximumHeight(46);
    m_remarks->setTabChangesFocus(true);
    m_remarks->installEventFilter(this);
    connect(m_remarks, &QPlainTextEdit::textChanged, this, [this] {
        if (!m_filling)
            m_remarks->setProperty("dirty", true);
    });
    const auto label = [this](const QString &text) { return new QLabel(text, this); };
    grid->addWidget(label(QStringLiteral("Certificate no.")), 0, 0);
    grid->addWidget(m_certificate, 0, 1);
    grid->addWidget(label(QStringLiteral("Instrument tag")), 0, 2);
    grid->addWidget(m_tag, 0, 3);
    grid->addWidget(label(QStringLiteral("Serial no.")), 0, 4);
    grid->addWidget(m_serial, 0, 5);
    grid->addWidget(label(QStringLiteral("Firmware")), 1, 0);
    grid->addWidget(m_firmware, 1, 1);
    grid->addWidget(label(QStringLiteral("Calibrated (as found)")), 1, 2);
    grid->addWidget(m_calDate, 1, 3);
    grid->addWidget(label(QStringLiteral("Sensor")), 1, 4);
    grid->addWidget(m_sensor, 1, 5);
    grid->addWidget(label(QStringLiteral("Technician")), 2, 0);
    grid->addWidget(m_technician, 2, 1);
    auto *ambient = new QHBoxLayout;
    ambient->addWidget(m_temperature);
    ambient->addWidget(label(QStringLiteral("°C")));
    ambient->addSpacing(8);
    ambient->addWidget(m_humidity);
    ambient->addWidget(label(QStringLiteral("% RH")));
    grid->addWidget(label(QStringLiteral("Ambient")), 2, 2);
    grid->addLayout(ambient, 2, 3);
    grid->addWidget(label(QStringLiteral("Next due")), 2, 4);
    grid->addWidget(m_nextDue, 2, 5);
    m_issuer = new QLineEdit(this);
    m_issuer->setMaxLength(80);
    m_issuer->setToolTip(QStringLiteral("Your company or laboratory, printed at the top of the certificate (remembered)"));
    m_issuer->setText(TForm1::PortSettings().value(QStringLiteral("Calibration/issuer")).toString());
    m_issuer->setCursorPosition(0); // a long name shows from its start
    connect(m_issuer, &QLineEdit::editingFinished, this, [this] {
        QSettings settings = TForm1::PortSettings();
        settings.setValue(QStringLiteral("Calibration/issuer"), m_issuer->text().trimmed());
    });
    grid->addWidget(label(QStringLiteral("Issued by")), 3, 0, Qt::AlignTop);
    grid->addWidget(m_issuer, 3, 1, Qt::AlignTop);
    grid->addWidget(label(QStringLiteral("Remarks")), 3, 2, Qt::AlignTop);
    grid->addWidget(m_remarks, 3, 3, 1, 3);
    grid->setColumnStretch(1, 2);
    grid->setColumnStretch(3, 2);
    grid->setColumnStretch(5, 3);

    m_references = new QTableWidget(3, 5, this);
    m_references->setHorizontalHeaderLabels(
        {QStringLiteral("Reference instrument"), QStringLiteral("Name / model"), QStringLiteral("Serial no."), QStringLiteral("Certificate no."),
         QStringLiteral("Due (yyyy-mm-dd)")});
    m_references->verticalHeader()->hide();
    m_references->horizontalHeader()->setSectionResizeMode(QHeaderView::Stretch);
    m_references->setToolTip(QStringLiteral("Remembered for the next record"));
    m_references->setFixedHeight(m_references->horizontalHeader()->sizeHint().height() + 3 * 26 + 4);
    for (int r = 0; r < 3; ++r)
        m_references->setRowHeight(r, 26);
    connect(m_references, &QTableWidget::itemChanged, this, [this] {
        if (!m_filling)
            HeaderEdited();
    });
    grid->addWidget(m_references, 4, 0, 1, 6);

    // ---- the check ----
    auto *check = new QGroupBox(QStringLiteral("Check"), this);
    auto *checkLayout = new QVBoxLayout(check);
    auto *settings = new QHBoxLayout;
    m_span = new QLabel(this);
    m_tolerance = new QLineEdit(QString::fromStdString(kDefaultTolerance.Text()), this);
    m_tolerance->setMaximumWidth(64);
    m_tolerance->setToolTip(QStringLiteral("Permitted error in % of span, either side (fixed once the first point is entered)"));
    m_points = new QLineEdit(this);
    m_points->setMaximumWidth(170);
    m_points->setToolTip(QStringLiteral("Test points in % of span, separated by commas or blanks (fixed once the first point is entered)"));
    m_hysteresis = new QCheckBox(QStringLiteral("down again (hysteresis)"), this);
    connect(m_tolerance, &QLineEdit::editingFinished, this, &TCalibrationWindow::CheckSettingsEdited);
    connect(m_points, &QLineEdit::editingFinished, this, &TCalibrationWindow::CheckSettingsEdited);
    connect(m_hysteresis, &QCheckBox::toggled, this, &TCalibrationWindow::CheckSettingsEdited);
    settings->addWidget(m_span, 1);
    settings->addWidget(new QLabel(QStringLiteral("Tolerance ±"), this));
    settings->addWidget(m_tolerance);
    settings->addWidget(new QLabel(QStringLiteral("% of span   Points (%)"), this));
    settings->addWidget(m_points);
    settings->addWidget(m_hysteresis);
    checkLayout->addLayout(settings);
    m_live = new QLabel(this);
    m_live->setTextFormat(Qt::RichText);
    checkLayout->addWidget(m_live);

    const QStringList columns = {QStringLiteral("#"), QStringLiteral("% span"), QStringLiteral("Nominal"), QStringLiteral("Applied"),
                                 QStringLiteral("Ammeter mA"), QStringLiteral("Instrument"), QStringLiteral("Instr. mA"),
                                 QStringLiteral("Stable"), QStringLiteral("Expected mA"), QStringLiteral("Error % span"),
                                 QStringLiteral("Result")};
    for (int phase = 0; phase < 2; ++phase) {
        auto *table = new QTableWidget(0, ColCount, this);
        table->setHorizontalHeaderLabels(columns);
        table->verticalHeader()->hide();
        table->horizontalHeader()->setSectionResizeMode(QHeaderView::Stretch);
        table->horizontalHeader()->setSectionResizeMode(ColNo, QHeaderView::ResizeToContents);
        table->setSelectionMode(QAbstractItemView::SingleSelection);
        table->setEditTriggers(QAbstractItemView::AllEditTriggers);
        table->horizontalHeaderItem(ColApplied)->setToolTip(QStringLiteral("The reference pressure applied, as read on the standard"));
        table->horizontalHeaderItem(ColAmmeter)->setToolTip(QStringLiteral("The loop current read on the reference ammeter"));
        table->horizontalHeaderItem(ColInstrument)->setToolTip(QStringLiteral("What the instrument reports, averaged over its last polls"));
        connect(table, &QTableWidget::cellChanged, this, [this, phase](int row, int column) { OnCellChanged(phase, row, column); });
        m_tables[phase] = table;
        m_verdicts[phase] = new QLabel(this);
        m_verdicts[phase]->setTextFormat(Qt::RichText);
    }
    m_calibration = new QLabel(this);
    m_calibration->setWordWrap(true);
    m_calibration->setTextFormat(Qt::RichText);
    m_calPageButton = new QPushButton(QStringLiteral("Calibration page"), this);
    m_calPageButton->setToolTip(QStringLiteral("Bring the main window's calibration page forward for the eleven steps"));
    connect(m_calPageButton, &QPushButton::clicked, this, [this] {
        m_form.PageControl1->setCurrentWidget(m_form.TabSheet2);
        m_form.raise();
        m_form.activateWindow();
    });
    auto *calRow = new QHBoxLayout;
    calRow->addWidget(m_calibration, 1);
    calRow->addWidget(m_calPageButton);

    auto *foundTitle = new QLabel(QStringLiteral("<b>As-Found</b> — before any adjustment"), this);
    auto *leftTitle = new QLabel(QStringLiteral("<b>As-Left</b> — after the calibration"), this);
    checkLayout->addWidget(foundTitle);
    checkLayout->addWidget(m_tables[0], 1);
    checkLayout->addWidget(m_verdicts[0]);
    checkLayout->addLayout(calRow);
    checkLayout->addWidget(leftTitle);
    checkLayout->addWidget(m_tables[1], 1);
    checkLayout->addWidget(m_verdicts[1]);
    m_overall = new QLabel(this);
    m_overall->setObjectName(QStringLiteral("Overall"));
    m_overall->setTextFormat(Qt::RichText);
    checkLayout->addWidget(m_overall);

    // ---- history ----
    auto *historyBox = new QGroupBox(QStringLiteral("History"), this);
    historyBox->setMinimumWidth(400);
    auto *historyLayout = new QVBoxLayout(historyBox);
    m_historyFilter = new QComboBox(this);
    m_historyFilter->setToolTip(QStringLiteral("Records of one instrument tag, or of all"));
    m_history = new QTreeWidget(this);
    m_history->setHeaderLabels({QStringLiteral("Date"), QStringLiteral("Certificate"), QStringLiteral("Tag"), QStringLiteral("As-Found"),
                                QStringLiteral("As-Left"), QString()});
    m_history->setRootIsDecorated(false);
    m_history->setToolTip(QStringLiteral("Double-click a record to open it (an unfinished one can be continued)"));
    historyLayout->addWidget(m_historyFilter);
    historyLayout->addWidget(m_history, 1);
    auto *dbLabel = new QLabel(QStringLiteral("Records: %1").arg(ShownPath(databasePath)), this);
    dbLabel->setObjectName(QStringLiteral("RecordsPath"));
    dbLabel->setWordWrap(true);
    dbLabel->setTextInteractionFlags(Qt::TextSelectableByMouse);
    QFont small = dbLabel->font();
    small.setPointSizeF(small.pointSizeF() * 0.85);
    dbLabel->setFont(small);
    historyLayout->addWidget(dbLabel);
    connect(m_historyFilter, &QComboBox::activated, this, [this] {
        m_historyTag = m_historyFilter->currentData().toString();
        RefreshHistory();
    });
    connect(m_history, &QTreeWidget::itemActivated, this, [this](QTreeWidgetItem *item) { Load(item->data(0, Qt::UserRole).toLongLong()); });

    auto *left = new QWidget(this);
    auto *leftLayout = new QVBoxLayout(left);
    leftLayout->setContentsMargins(0, 0, 0, 0);
    leftLayout->addWidget(header);
    leftLayout->addWidget(check, 1);
    auto *splitter = new QSplitter(this);
    splitter->addWidget(left);
    splitter->addWidget(historyBox);
    splitter->setStretchFactor(0, 1);
    splitter->setStretchFactor(1, 0);
    splitter->setSizes({1000, 440}); // the history's six columns without a scroll bar

    auto *layout = new QVBoxLayout(this);
    layout->setContentsMargins(8, 8, 8, 8);
    layout->addLayout(bar);
    layout->addWidget(splitter, 1);

    connect(m_newButton, &QPushButton::clicked, this, [this] { NewRecord(); });
    connect(m_finishButton, &QPushButton::clicked, this, [this] {
        const TVerdict overall = m_record.Overall();
        const QString question = overall == TVerdict::Incomplete || overall == TVerdict::NotDone || overall == TVerdict::Pending
                                     ? QStringLiteral("Not every test point has been measured. Finish the record anyway? It cannot be changed afterwards.")
                                     : QStringLiteral("Finish record %1? It cannot be changed afterwards.").arg(m_record.certificate);
        const qint64 asked = m_record.id;
        // A history load may have changed the record while the question was open.
        if (QMessageBox::question(this, windowTitle(), question) == QMessageBox::Yes && m_record.id == asked)
            Finish();
    });
    connect(m_pdfButton, &QPushButton::clicked, this, [this] {
        const QString dir = QStandardPaths::writableLocation(QStandardPaths::DocumentsLocation);
        const QString path = QFileDialog::getSaveFileName(this, QStringLiteral("Certificate as PDF"),
                                                          QDir(dir).filePath(m_record.certificate + QStringLiteral(".pdf")),
                                                          QStringLiteral("PDF (*.pdf)"));
        if (!path.isEmpty())
            ExportPdf(path);
    });
    connect(m_csvButton, &QPushButton::clicked, this, [this] {
        const QString dir = QStandardPaths::writableLocation(QStandardPaths::DocumentsLocation);
        const QString path = QFileDialog::getSaveFileName(this, QStringLiteral("Record as CSV"),
                                                          QDir(dir).filePath(m_record.certificate + QStringLiteral(".csv")),
                                                          QStringLiteral("CSV (*.csv)"));
        if (!path.isEmpty())
            ExportCsv(path);
    });

    // What the form knows already (the window may open long after the port).
    m_settingsSeen = m_form.SettingsRead != TForm1::TSettings{};
    m_pollSeen = m_form.LiveData.FirmwareDateCode != 0;
    connect(&m_form, &TForm1::TransactionEnded, this, &TCalibrationWindow::OnTransaction);

    // The store opens on its thread; the first job reports whether it could,
    // and what bringing the file up to date found.
    m_runner->Run<TStoreResult<QString>>(
        [](TRecordStore &s) -> TStoreResult<QString> {
            if (!s.IsOpen())
                return s.Failure<QString>();
            return s.Notice();
        },
        [this](const TStoreResult<QString> &opened) {
            if (!opened.Ok()) {
                Say(opened.ErrorMessage(), true);
                m_newButton->setEnabled(false);
            } else if (!opened.Value().isEmpty()) {
                Say(opened.Value(), true);
            }
        });
    RefreshHistory();
    ShowRecord();
    resize(1440, 900);
}

TCalibrationWindow::~TCalibrationWindow()
{
    // Closing the window takes the focus from an edit, whose "editing finished"
    // would then reach this half-destroyed window: nothing more reaches it.
    m_remarks->removeEventFilter(this);
    for (QObject *child : findChildren<QObject *>())
        child->disconnect(this);
    m_form.disconnect(this);
}

bool TCalibrationWindow::eventFilter(QObject *watched, QEvent *event)
{
    // The remarks have no "editing finished" of their own: leaving them is it.
    if (watched == m_remarks && event->type() == QEvent::FocusOut && m_remarks->property("dirty").toBool()) {
        m_remarks->setProperty("dirty", false);
        HeaderEdited();
    }
    return QWidget::eventFilter(watched, event);
}

int TCalibrationWindow::PendingWrites() const
{
    return m_runner->Pending();
}

bool TCalibrationWindow::InstrumentStable() const
{
    const std::optional<TSpan> &phaseSpan = m_record.span[m_record.HasPoints(TPhase::AsLeft) || m_record.calibrated ? 1 : 0];
    TSpan span = phaseSpan.value_or(TSpan{m_form.SettingsRead.iFizFor4mA, m_form.SettingsRead.iFizFor20mA, m_form.LiveData.Decimals});
    return m_readings.Stable(span, m_record.tolerance);
}

void TCalibrationWindow::Say(const QString &text, bool error)
{
    m_lastMessage = text;
    m_status->setText(text);
    m_status->setStyleSheet(error ? QStringLiteral("color: %1; font-weight: bold").arg(Colour(this, TVerdict::Fail)) : QString());
}

QString TCalibrationWindow::UnitNow() const
{
    return m_form.SettingsRead.InputCode == 1 ? QStringLiteral("°C") : QStringLiteral("Pa");
}

QString TCalibrationWindow::SensorNow() const
{
    if (!m_settingsSeen)
        return {};
    if (m_form.SettingsRead.InputCode == 1)
        return QStringLiteral("Temperature input");
    const QStringList items = m_form.RadioGroup_Sensor->Items();
    const int code = m_form.SettingsRead.SensorCode;
    if (code >= 1 && code <= items.size())
        return items.at(code - 1);
    return QStringLiteral("code %1 (unknown)").arg(code);
}

std::optional<TSpan> TCalibrationWindow::CurrentSpan()
{
    if (!m_pollSeen || !m_settingsSeen) {
        m_lastMessage = QStringLiteral("The instrument's span is not known yet: open the port in the main window and wait until it has "
                                       "read the settings (the values for 4 mA and 20 mA).");
        return std::nullopt;
    }
    const TSpan span{m_form.SettingsRead.iFizFor4mA, m_form.SettingsRead.iFizFor20mA, m_form.LiveData.Decimals};
    const TSpanError error = CheckSpan(span);
    if (error != TSpanError::None) {
        m_lastMessage = QStringLiteral("The check cannot start: %1 (4 mA = %2, 20 mA = %3). Set the values for 4 mA and 20 mA on the "
                                       "user page and write them to the instrument.")
                            .arg(QString::fromUtf8(SpanErrorText(error)), QString::fromStdString(span.Lower().Text()),
                                 QString::fromStdString(span.Upper().Text()));
        return std::nullopt;
    }
    return span;
}

// ---- following the instrument --------------------------------------------------------------------

void TCalibrationWindow::OnTransaction(quint8 command, TMBStatus status)
{
    if (status != TMB::stOK) {
        if (command == TForm1::Cmd_Poll)
            m_readings.Clear(); // a gap: the mean would mix old and new
        ShowLive();
        return;
    }
    if (command == TForm1::Cmd_ReadSettings) {
        m_settingsSeen = true;
        if (HasRecord() && !m_record.finished && m_record.sensor.isEmpty() && !m_record.HasPoints(TPhase::AsFound)) {
            m_record.sensor = SensorNow();
            m_record.unit = UnitNow();
            ShowRecord();
            SaveHeader();
        }
    } else if (command == TForm1::Cmd_Poll) {
        m_pollSeen = true;
        const TForm1::TLiveData &d = m_form.LiveData;
        m_readings.Add(d.MeasuredValue, d.Decimals, d.OutputValue);
        if (HasRecord() && !m_record.finished) {
            bool changed = false;
            if (!m_record.HasPoints(TPhase::AsFound) && !m_record.calibrated &&
                (m_record.firmware != d.FirmwareDateCode || m_record.foundCalibrationDate != d.CalibrationDateCode)) {
                // As found: what the instrument says before anything is changed.
                m_record.firmware = d.FirmwareDateCode;
                m_record.foundCalibrationDate = d.CalibrationDateCode;
                changed = true;
            }
            if (m_record.calibrated && !m_record.HasPoints(TPhase::AsLeft) && m_record.newCalibrationDate != d.CalibrationDateCode) {
                // The date the calibration left behind, read back from the instrument.
                m_record.newCalibrationDate = d.CalibrationDateCode;
                changed = true;
            }
            if (changed) {
                ShowRecord();
                SaveHeader();
            }
        }
    } else if (IsCalibrationCommand(command) && HasRecord() && !m_record.finished && !m_record.HasPoints(TPhase::AsLeft) &&
               !m_record.calibrated) {
        m_record.calibrated = true;
        ShowRecord();
        SaveHeader();
    }
    ShowLive();
}

void TCalibrationWindow::ShowLive()
{
    const TForm1::TLiveData &d = m_form.LiveData;
    if (!m_pollSeen || m_readings.Count() == 0) {
        m_live->setText(QStringLiteral("Instrument: no answered polls — open the port in the main window."));
    } else {
        const bool stable = InstrumentStable();
        const QString sign = stable ? QStringLiteral("<span style='color:%1'><b>● stable</b></span>").arg(Colour(this, TVerdict::Pass))
                                    : QStringLiteral("<span style='color:#b26a00'><b>○ settling</b></span>");
        QString flags;
        for (const kv508::TErrorFlag &f : kv508::ErrorFlags)
            if (d.ErrorBits & f.bit)
                flags += (flags.isEmpty() ? QString() : QStringLiteral(", ")) + QString::fromUtf8(f.name);
        m_live->setText(QStringLiteral("Instrument now: <b>%1 %2</b> · <b>%3 mA</b> (mean of the last %4 polls) %5%6")
                            .arg(Fixed(m_readings.MeanValue(), m_readings.Decimals() + 1), UnitNow(), Fixed(m_readings.MeanMilliAmps(), 3))
                            .arg(m_readings.Count())
                            .arg(sign, flags.isEmpty() ? QString()
                                                       : QStringLiteral(" · <span style='color:%1'>%2</span>").arg(Colour(this, TVerdict::Fail), flags)));
    }
    // The rows not entered yet show what the instrument says now.
    for (int phase = 0; phase < 2; ++phase) {
        QTableWidget *t = m_tables[phase];
        const QSignalBlocker block(t);
        for (int row = 0; row < t->rowCount(); ++row) {
            if (m_record.Find(TPhase(phase), row) || !t->item(row, ColInstrument))
                continue;
            const bool live = HasRecord() && !m_record.finished && m_readings.Count() > 0;
            t->item(row, ColInstrument)->setText(live ? Fixed(m_readings.MeanValue(), m_readings.Decimals() + 1) : QString());
            t->item(row, ColInstrumentMa)->setText(live ? Fixed(m_readings.MeanMilliAmps(), 3) : QString());
            t->item(row, ColStable)->setText(live ? (InstrumentStable() ? QStringLiteral("✓") : QStringLiteral("…")) : QString());
            for (int c : {ColInstrument, ColInstrumentMa, ColStable})
                t->item(row, c)->setForeground(palette().color(QPalette::PlaceholderText));
        }
    }
}

// ---- the record ---------------------------------------------------------------------------------

std::vector<TReference> TCalibrationWindow::RememberedReferences() const
{
    std::vector<TReference> refs = DefaultReferences();
    QSettings settings = TForm1::PortSettings();
    settings.beginGroup(QStringLiteral("CalibrationReferences"));
    for (size_t i = 0; i < refs.size(); ++i) {
        settings.beginGroup(QString::number(i));
        refs[i].name = settings.value(QLatin1String(kRefKeys[0])).toString();
        refs[i].serial = settings.value(QLatin1String(kRefKeys[1])).toString();
        refs[i].certificate = settings.value(QLatin1String(kRefKeys[2])).toString();
        refs[i].due = QDate::fromString(settings.value(QLatin1String(kRefKeys[3])).toString(), Qt::ISODate);
        settings.endGroup();
    }
    return refs;
}

void TCalibrationWindow::RememberReferences()
{
    QSettings settings = TForm1::PortSettings();
    settings.beginGroup(QStringLiteral("CalibrationReferences"));
    for (size_t i = 0; i < m_record.references.size() && i < 3; ++i) {
        const TReference &r = m_record.references[i];
        settings.beginGroup(QString::number(i));
        settings.setValue(QLatin1String(kRefKeys[0]), r.name);
        settings.setValue(QLatin1String(kRefKeys[1]), r.serial);
        settings.setValue(QLatin1String(kRefKeys[2]), r.certificate);
        settings.setValue(QLatin1String(kRefKeys[3]), r.due.isValid() ? r.due.toString(Qt::ISODate) : QString());
        settings.endGroup();
    }
}

bool TCalibrationWindow::NewRecord()
{
    if (m_creating)
        return false;
    if (HasRecord() && !m_record.finished && (m_record.HasPoints(TPhase::AsFound) || m_record.HasPoints(TPhase::AsLeft)) &&
        isVisible() && QApplication::activeModalWidget() == nullptr) {
        // The open record stays in the history; say so before leaving it.
        const auto answer = QMessageBox::question(
            this, windowTitle(),
            QStringLiteral("Record %1 is not finished. It stays in the history and can be continued from there. Start a new record?")
                .arg(m_record.certificate));
        if (answer != QMessageBox::Yes)
            return false;
    }
    TRecord r;
    r.created = QDateTime::currentDateTimeUtc();
    r.references = RememberedReferences();
    r.nextDue = m_form.Today().addYears(1);
    r.points = m_record.id ? m_record.points : r.points; // the technician's points carry over
    r.tolerance = m_record.id ? m_record.tolerance : r.tolerance;
    r.hysteresis = m_record.id ? m_record.hysteresis : false;
    r.technician = m_technician->text();
    if (m_pollSeen) {
        r.firmware = m_form.LiveData.FirmwareDateCode;
        r.foundCalibrationDate = m_form.LiveData.CalibrationDateCode;
    }
    r.sensor = SensorNow();
    r.unit = UnitNow();
    m_creating = true;
    ++m_generation; // a history load still under way is for the record being left
    m_record = r;
    SetEditable();
    Say(QStringLiteral("Starting a new record…"));
    const int year = m_form.Today().year();
    m_runner->Run<TStoreResult<TRecord>>(
        [r, year](TRecordStore &s) mutable -> TStoreResult<TRecord> {
            if (!s.Create(r, year))
                return s.Failure<TRecord>();
            return r;
        },
        [this](const TStoreResult<TRecord> &result) {
            m_creating = false;
            if (!result.Ok()) {
                m_record = TRecord{};
                ShowRecord();
                Say(QStringLiteral("The record could not be started: %1").arg(result.ErrorMessage()), true);
                emit Saved(false, QStringLiteral("record"));
                return;
            }
            const TRecord &created = result.Value();
            m_record.id = created.id;
            m_savedCertificate = created.certificate;
            m_record.certificate = created.certificate;
            m_historyTag.clear();
            ShowRecord();
            RefreshHistory();
            Say(QStringLiteral("Record %1 started. Type the instrument tag and serial number, then apply the first As-Found point.")
                    .arg(created.certificate));
            m_tag->setFocus();
            emit Saved(true, QStringLiteral("record"));
        });
    return true;
}

void TCalibrationWindow::Load(qint64 id)
{
    if (m_creating)
        return;
    const quint64 generation = ++m_generation;
    m_runner->Run<TStoreResult<TRecord>>(
        [id](TRecordStore &s) -> TStoreResult<TRecord> {
            std::optional<TRecord> r = s.Load(id);
            if (!r)
                return s.Failure<TRecord>();
            return std::move(*r);
        },
        [this, generation](const TStoreResult<TRecord> &r) {
            if (generation != m_generation || m_creating)
                return; // another record was asked for meanwhile
            if (!r.Ok()) {
                Say(QStringLiteral("The record could not be read: %1").arg(r.ErrorMessage()), true);
                return;
            }
            m_record = r.Value();
            m_savedCertificate = m_record.certificate;
            ShowRecord();
            Say(m_record.finished ? QStringLiteral("Record %1 (finished: read-only).").arg(m_record.certificate)
                                  : QStringLiteral("Record %1 continued.").arg(m_record.certificate));
        });
}

void TCalibrationWindow::ReadHeaderFields()
{
    if (m_record.finished)
        return; // read-only: the fields show what is stored (or a proposal, for a due date never recorded)
    m_record.certificate = m_certificate->text().trimmed();
    m_record.tag = m_tag->text().trimmed();
    m_record.serial = m_serial->text().trimmed();
    m_record.technician = m_technician->text().trimmed();
    m_record.ambientTemperature = m_temperature->text().trimmed();
    m_record.humidity = m_humidity->text().trimmed();
    m_record.remarks = m_remarks->toPlainText();
    m_record.nextDue = m_nextDue->date();
    m_record.references.resize(size_t(m_references->rowCount()));
    for (int row = 0; row < m_references->rowCount(); ++row) {
        TReference &ref = m_record.references[size_t(row)];
        const auto text = [&](int c) { return m_references->item(row, c) ? m_references->item(row, c)->text().trimmed() : QString(); };
        ref.role = text(0);
        ref.name = text(1);
        ref.serial = text(2);
        ref.certificate = text(3);
        ref.due = QDate::fromString(text(4), Qt::ISODate);
    }
}

void TCalibrationWindow::HeaderEdited()
{
    if (m_filling || !HasRecord() || m_record.finished)
        return;
    const QString oldTag = m_record.tag;
    ReadHeaderFields();
    // A typed number that is no number is shown, not silently kept.
    for (QLineEdit *e : {m_temperature, m_humidity}) {
        const bool bad = !e->text().trimmed().isEmpty() && !ParseDecimal(e->text().toStdString(), 2);
        e->setStyleSheet(bad ? QStringLiteral("color: %1").arg(Colour(this, TVerdict::Fail)) : QString());
        if (!e->property("tip").isValid())
            e->setProperty("tip", e->toolTip());
        e->setToolTip(bad ? QStringLiteral("Not a number (e.g. 23.5)") : e->property("tip").toString());
    }
    for (int row = 0; row < m_references->rowCount(); ++row)
        if (QTableWidgetItem *due = m_references->item(row, 4)) {
            const QSignalBlocker block(m_references);
            const bool bad = !due->text().trimmed().isEmpty() && !QDate::fromString(due->text().trimmed(), Qt::ISODate).isValid();
            due->setForeground(bad ? QColor(Colour(this, TVerdict::Fail)) : palette().color(QPalette::Text));
        }
    RememberReferences();
    SaveHeader();
    if (oldTag != m_record.tag)
        RefreshHistory();
}

void TCalibrationWindow::CheckSettingsEdited()
{
    if (m_filling || !HasRecord() || m_record.finished)
        return;
    const bool locked = m_record.HasPoints(TPhase::AsFound) || m_record.HasPoints(TPhase::AsLeft);
    if (!locked) {
        const std::optional<TDecimal> tol = ParseDecimal(m_tolerance->text().toStdString(), kToleranceDecimals);
        if (tol && tol->units > 0 && tol->At(kToleranceDecimals) <= 100000)
            m_record.tolerance = *tol;
        else
            Say(QStringLiteral("The tolerance must be a number above 0 and at most 100 (% of span), with up to %1 decimals; "
                               "it stays %2.")
                    .arg(kToleranceDecimals)
                    .arg(QString::fromStdString(m_record.tolerance.Text())),
                true);
        if (const std::optional<std::vector<TDecimal>> pts = ParsePoints(m_points->text().toStdString()))
            m_record.points = *pts;
        else
            Say(QStringLiteral("The test points must be percentages of span between -10 and 110, separated by commas or blanks; "
                               "they stay %1.")
                    .arg(QString::fromStdString(PointsText(m_record.points))),
                true);
        m_record.hysteresis = m_hysteresis->isChecked();
        SaveHeader();
    }
    ShowRecord();
}

void TCalibrationWindow::SaveHeader(std::function<void(const QString &error)> then)
{
    if (!HasRecord())
        return;
    const TRecord r = m_record;
    m_runner->Run<TStoreResult<bool>>(
        [r](TRecordStore &s) -> TStoreResult<bool> {
            if (!s.SaveHeader(r))
                return s.Failure<bool>();
            return true;
        },
        [this, r, then = std::move(then)](const TStoreResult<bool> &result) {
            QString error = result.ErrorMessage(); // a sentence to go on from
            if (!error.isEmpty() && !error.endsWith(QLatin1Char('.')))
                error += QLatin1Char('.');
            if (result.Ok()) {
                if (m_record.id == r.id)
                    m_savedCertificate = r.certificate;
            } else if (result.Error() == TStoreError::CertificateTaken && m_record.id == r.id && m_record.certificate == r.certificate) {
                // The number goes back to the one on disk; the rest of what
                // was typed is saved again under it (a finish is asked again).
                m_record.certificate = m_savedCertificate;
                const QSignalBlocker block(m_certificate);
                m_certificate->setText(m_savedCertificate);
                error += QStringLiteral(" This record keeps %1.").arg(m_savedCertificate.isEmpty() ? QStringLiteral("no number") : m_savedCertificate);
                Say(error.left(1).toUpper() + error.mid(1), true);
                if (!r.finished)
                    SaveHeader();
            } else {
                Say(QStringLiteral("The record header was not saved: %1").arg(error), true);
            }
            if (then)
                then(error);
            emit Saved(result.Ok(), QStringLiteral("header"));
        });
}

bool TCalibrationWindow::EnterPoint(TPhase phase, int index, const QString &appliedText, const QString &milliAmpsText)
{
    if (!HasRecord() || m_creating) {
        m_lastMessage = QStringLiteral("Start a record first (\"New record\").");
        return false;
    }
    if (m_record.finished) {
        m_lastMessage = QStringLiteral("The record is finished; start a new one to check again.");
        return false;
    }
    const std::vector<TDecimal> seq = m_record.Sequence();
    if (index < 0 || index >= int(seq.size())) {
        m_lastMessage = QStringLiteral("There is no test point %1.").arg(index + 1);
        return false;
    }
    std::optional<TSpan> span = m_record.span[int(phase)];
    if (!span) {
        span = CurrentSpan();
        if (!span)
            return false;
    }
    const std::optional<TDecimal> applied = ParseDecimal(appliedText.toStdString(), span->decimals + kExtraPressureDecimals);
    if (!applied) {
        m_lastMessage = QStringLiteral("The applied value \"%1\" is not a number with at most %2 decimals.")
                            .arg(appliedText)
                            .arg(span->decimals + kExtraPressureDecimals);
        return false;
    }
    const std::optional<TDecimal> mA = ParseDecimal(milliAmpsText.toStdString(), kCurrentDecimals);
    if (!mA || std::abs(mA->Value()) > 100) {
        m_lastMessage = QStringLiteral("The ammeter reading \"%1\" is not a current in mA with at most %2 decimals.")
                            .arg(milliAmpsText)
                            .arg(kCurrentDecimals);
        return false;
    }
    const bool firstOfPhase = !m_record.span[int(phase)];
    m_record.span[int(phase)] = span;
    TPoint p;
    p.phase = phase;
    p.index = index;
    p.percent = seq[size_t(index)];
    p.applied = *applied;
    p.milliAmps = *mA;
    if (m_readings.Count() > 0) {
        p.instrumentValue = m_readings.MeanValue();
        p.instrumentMilliAmps = m_readings.MeanMilliAmps();
        p.stable = InstrumentStable();
    }
    p.taken = QDateTime::currentDateTimeUtc();
    std::optional<TPoint> previous;
    if (const TPoint *old = m_record.Find(phase, index))
        previous = *old;
    m_record.Put(p);
    const qint64 id = m_record.id;
    const TRecord header = m_record;
    m_runner->Run<QString>(
        [id, p, header, firstOfPhase](TRecordStore &s) {
            // The phase's span goes with its first point, in order before it.
            if (firstOfPhase && !s.SaveHeader(header))
                return s.ErrorMessage();
            return s.SavePoint(id, p) ? QString() : s.ErrorMessage();
        },
        [this, phase, index, id, p, previous, firstOfPhase](const QString &error) {
            if (!error.isEmpty()) {
                // What the database does not hold must not be shown, counted or
                // exported: back to what was there, unless the point was entered again since.
                const TPoint *now = m_record.id == id ? m_record.Find(phase, index) : nullptr;
                if (now && *now == p) {
                    if (previous)
                        m_record.Put(*previous);
                    else
                        m_record.Remove(phase, index);
                    if (firstOfPhase && !m_record.HasPoints(phase))
                        m_record.span[int(phase)].reset();
                    ShowRecord();
                }
                Say(QStringLiteral("Point %1 (%2) was NOT saved: %3. Enter it again once the cause is fixed.")
                        .arg(index + 1)
                        .arg(QString::fromUtf8(PhaseName(phase)), error),
                    true);
                if (QTableWidgetItem *item = m_tables[int(phase)]->item(index, ColResult); item && !previous) {
                    const QSignalBlocker block(m_tables[int(phase)]);
                    item->setText(QStringLiteral("not saved"));
                }
            } else {
                Say(QStringLiteral("%1 point %2 saved.").arg(QString::fromUtf8(PhaseName(phase))).arg(index + 1));
                RefreshHistory();
            }
            emit Saved(error.isEmpty(), QStringLiteral("point"));
        });
    m_lastMessage.clear();
    ShowRecord();
    // On to the next point.
    if (index + 1 < m_tables[int(phase)]->rowCount())
        m_tables[int(phase)]->setCurrentCell(index + 1, ColApplied);
    return true;
}

void TCalibrationWindow::OnCellChanged(int phase, int row, int column)
{
    if (m_filling || (column != ColApplied && column != ColAmmeter))
        return;
    QTableWidget *t = m_tables[phase];
    const QString applied = t->item(row, ColApplied) ? t->item(row, ColApplied)->text().trimmed() : QString();
    const QString mA = t->item(row, ColAmmeter) ? t->item(row, ColAmmeter)->text().trimmed() : QString();
    if (applied.isEmpty() || mA.isEmpty())
        return; // the other half is still to come
    // Not from inside the item's own change: entering the point redraws the table.
    QMetaObject::invokeMethod(
        this,
        [this, phase, row, applied, mA] {
            if (!EnterPoint(TPhase(phase), row, applied, mA)) {
                Say(m_lastMessage, true);
                if (QTableWidgetItem *item = m_tables[phase]->item(row, ColResult)) {
                    const QSignalBlocker block(m_tables[phase]);
                    item->setText(QStringLiteral("not entered"));
                }
            }
        },
        Qt::QueuedConnection);
}

bool TCalibrationWindow::Finish()
{
    if (!HasRecord() || m_record.finished)
        return false;
    ReadHeaderFields();
    m_record.finished = true;
    SaveHeader([this, id = m_record.id](const QString &error) {
        if (error.isEmpty()) {
            RefreshHistory();
            return;
        }
        // Not finished on disk: not finished here either, so it can be tried again.
        if (m_record.id == id) {
            m_record.finished = false;
            ShowRecord();
        }
        Say(QStringLiteral("The record was NOT finished: %1 Press \"Finish record\" again once the cause is fixed.").arg(error), true);
    });
    ShowRecord();
    Say(QStringLiteral("Record %1 finished. Export the certificate with \"Certificate PDF…\".").arg(m_record.certificate));
    return true;
}

void TCalibrationWindow::ExportPdf(const QString &path)
{
    ReadHeaderFields();
    const TRecord r = m_record;
    const TIssuer issuer{m_issuer->text().trimmed(), QStringLiteral("%1 configuration tool %2").arg(TForm1::ProductName(), QStringLiteral(KV508_VERSION))};
    QApplication::setOverrideCursor(Qt::BusyCursor);
    m_runner->Run<QString>(
        [r, issuer, path](TRecordStore &) {
            QString error;
            return WriteCertificatePdf(r, issuer, path, error) ? QString() : error;
        },
        [this, path](const QString &error) {
            QApplication::restoreOverrideCursor();
            if (error.isEmpty())
                Say(QStringLiteral("Certificate written to %1.").arg(QDir::toNativeSeparators(path)));
            else
                Say(QStringLiteral("The certificate was not written: %1.").arg(error), true);
            emit Exported(error.isEmpty(), path);
        });
}

void TCalibrationWindow::ExportCsv(const QString &path)
{
    ReadHeaderFields();
    const TRecord r = m_record;
    m_runner->Run<QString>(
        [r, path](TRecordStore &) {
            QString error;
            return WriteCsv(r, path, error) ? QString() : error;
        },
        [this, path](const QString &error) {
            if (error.isEmpty())
                Say(QStringLiteral("Record written to %1.").arg(QDir::toNativeSeparators(path)));
            else
                Say(QStringLiteral("The CSV was not written: %1.").arg(error), true);
            emit Exported(error.isEmpty(), path);
        });
}

// ---- showing it ----------------------------------------------------------------------------------

void TCalibrationWindow::SetEditable()
{
    const bool open = HasRecord() && !m_record.finished && !m_creating;
    for (QLineEdit *e : {m_certificate, m_tag, m_serial, m_technician, m_temperature, m_humidity})
        e->setReadOnly(!open);
    m_remarks->setReadOnly(!open);
    m_nextDue->setReadOnly(!open);
    m_references->setEditTriggers(open ? QAbstractItemView::AllEditTriggers : QAbstractItemView::NoEditTriggers);
    for (QWidget *w : std::initializer_list<QWidget *>{m_certificate, m_tag, m_serial, m_technician, m_temperature, m_humidity, m_remarks,
                                                       m_nextDue, m_references})
        LookReadOnly(w, !open);
    const bool locked = m_record.HasPoints(TPhase::AsFound) || m_record.HasPoints(TPhase::AsLeft);
    m_tolerance->setReadOnly(!open || locked);
    m_points->setReadOnly(!open || locked);
    LookReadOnly(m_tolerance, !open || locked);
    LookReadOnly(m_points, !open || locked);
    m_hysteresis->setEnabled(open && !locked);
    for (QTableWidget *t : m_tables) {
        t->setEnabled(HasRecord());
        t->setEditTriggers(open ? QAbstractItemView::AllEditTriggers : QAbstractItemView::NoEditTriggers);
    }
    m_finishButton->setEnabled(open);
    m_pdfButton->setEnabled(HasRecord());
    m_csvButton->setEnabled(HasRecord());
}

void TCalibrationWindow::ShowRecord()
{
    m_filling = true;
    const TRecord &r = m_record;
    m_certificate->setText(r.certificate);
    m_tag->setText(r.tag);
    m_serial->setText(r.serial);
    m_technician->setText(r.technician);
    m_temperature->setText(r.ambientTemperature);
    m_humidity->setText(r.humidity);
    if (m_remarks->toPlainText() != r.remarks)
        m_remarks->setPlainText(r.remarks);
    m_nextDue->setDate(r.nextDue.isValid() ? r.nextDue : m_form.Today().addYears(1));
    m_firmware->setText(r.firmware ? DateCodeText(r.firmware) : QStringLiteral("—"));
    m_calDate->setText(r.foundCalibrationDate ? DateCodeText(r.foundCalibrationDate) : QStringLiteral("—"));
    m_sensor->setText(r.sensor.isEmpty() ? QStringLiteral("—") : r.sensor);
    const std::vector<TReference> refs = r.references.empty() ? RememberedReferences() : r.references;
    m_references->setRowCount(int(refs.size()));
    for (int row = 0; row < int(refs.size()); ++row) {
        const TReference &ref = refs[size_t(row)];
        const QStringList cells{ref.role, ref.name, ref.serial, ref.certificate, ref.due.isValid() ? ref.due.toString(Qt::ISODate) : QString()};
        for (int c = 0; c < 5; ++c) {
            auto *item = new QTableWidgetItem(cells[c]);
            if (c == 0)
                item->setFlags(Qt::ItemIsEnabled);
            m_references->setItem(row, c, item);
        }
    }
    m_tolerance->setText(QString::fromStdString(r.tolerance.Text()));
    m_points->setText(QString::fromStdString(PointsText(r.points)));
    m_hysteresis->setChecked(r.hysteresis);
    m_filling = false;

    ShowTable(TPhase::AsFound);
    ShowTable(TPhase::AsLeft);
    ShowVerdicts();
    SetEditable();
    ShowLive();
    ShowState();
}

void TCalibrationWindow::ShowTable(TPhase phase)
{
    QTableWidget *t = m_tables[int(phase)];
    m_filling = true;
    const QSignalBlocker block(t);
    const std::vector<TDecimal> seq = HasRecord() ? m_record.Sequence() : std::vector<TDecimal>{};
    t->setRowCount(int(seq.size()));
    std::optional<TSpan> span = m_record.span[int(phase)];
    if (!span && m_pollSeen && m_settingsSeen) {
        const TSpan now{m_form.SettingsRead.iFizFor4mA, m_form.SettingsRead.iFizFor20mA, m_form.LiveData.Decimals};
        if (CheckSpan(now) == TSpanError::None)
            span = now;
    }
    const bool open = HasRecord() && !m_record.finished;
    for (int row = 0; row < int(seq.size()); ++row) {
        const TPoint *p = m_record.Find(phase, row);
        const bool down = m_record.hysteresis && row >= int(m_record.points.size());
        t->setItem(row, ColNo, Cell(QString::number(row + 1) + (down ? QStringLiteral(" ↓") : QString()), false, Qt::AlignLeft | Qt::AlignVCenter));
        t->setItem(row, ColPercent, Cell(QString::fromStdString(seq[size_t(row)].Text())));
        t->setItem(row, ColNominal, Cell(span ? QString::fromStdString(span->At(seq[size_t(row)]).Text()) : QString()));
        t->setItem(row, ColApplied, Cell(p ? QString::fromStdString(p->applied.Text()) : QString(), open));
        t->setItem(row, ColAmmeter, Cell(p ? QString::fromStdString(p->milliAmps.Text()) : QString(), open));
        t->setItem(row, ColInstrument, Cell(p && p->instrumentValue ? Fixed(*p->instrumentValue, (span ? span->decimals : 1) + 1) : QString()));
        t->setItem(row, ColInstrumentMa, Cell(p && p->instrumentMilliAmps ? Fixed(*p->instrumentMilliAmps, 3) : QString()));
        t->setItem(row, ColStable, Cell(p ? (p->stable ? QStringLiteral("✓") : QStringLiteral("no")) : QString(), false, Qt::AlignCenter));
        std::optional<TPointResult> res;
        if (p)
            res = m_record.Result(*p);
        t->setItem(row, ColExpected, Cell(res ? Fixed(res->expectedMilliAmps, 4) : QString()));
        t->setItem(row, ColError, Cell(res ? QString::fromStdString(FormatError(res->errorPercent, res->pass, m_record.tolerance)) : QString()));
        auto *result = Cell(res ? (res->pass ? QStringLiteral("PASS") : QStringLiteral("FAIL")) : QString(), false, Qt::AlignCenter);
        if (res) {
            result->setForeground(QColor(Colour(this, res->pass ? TVerdict::Pass : TVerdict::Fail)));
            QFont bold = result->font();
            bold.setBold(true);
            result->setFont(bold);
        }
        t->setItem(row, ColResult, result);
        const QString tip = span ? QStringLiteral("Apply %1 %2 (%3 % of span), type the applied value and the ammeter's reading")
                                       .arg(QString::fromStdString(span->At(seq[size_t(row)]).Text()), m_record.unit,
                                            QString::fromStdString(seq[size_t(row)].Text()))
                                 : QString();
        t->item(row, ColApplied)->setToolTip(tip);
    }
    m_filling = false;
}

void TCalibrationWindow::ShowVerdicts()
{
    for (int phase = 0; phase < 2; ++phase) {
        const TVerdict v = m_record.Verdict(TPhase(phase));
        const std::optional<TSpan> &s = m_record.span[phase];
        m_verdicts[phase]->setText(
            QStringLiteral("%1: <b><span style='color:%2'>%3</span></b>%4")
                .arg(QString::fromUtf8(PhaseName(TPhase(phase))), Colour(this, v), QString::fromUtf8(VerdictText(v)),
                     s ? QStringLiteral(" — span %1 … %2 %3").arg(QString::fromStdString(s->Lower().Text()), QString::fromStdString(s->Upper().Text()),
                                                                     m_record.unit)
                       : QString()));
    }
    if (!HasRecord())
        m_calibration->setText(QString());
    else if (m_record.calibrated)
        m_calibration->setText(QStringLiteral("<b>Calibrated</b> with the eleven steps; the instrument now reports calibration date <b>%1</b>")
                                   .arg(m_record.newCalibrationDate ? DateCodeText(m_record.newCalibrationDate) : QStringLiteral("(not read yet)")));
    else
        m_calibration->setText(QStringLiteral("No calibration yet. After As-Found, do the eleven steps on the calibration page "
                                              "(Ctrl+Tab in the main window); the record notes them and the new calibration date."));
    const TVerdict overall = m_record.Overall();
    m_overall->setText(HasRecord() ? QStringLiteral("Overall: <b><span style='color:%1; font-size:large'>%2</span></b>")
                                         .arg(Colour(this, overall), QString::fromUtf8(VerdictText(overall)))
                                   : QString());
    const std::optional<TSpan> spanNow =
        m_pollSeen && m_settingsSeen ? std::optional<TSpan>(TSpan{m_form.SettingsRead.iFizFor4mA, m_form.SettingsRead.iFizFor20mA, m_form.LiveData.Decimals})
                                     : std::nullopt;
    if (spanNow && CheckSpan(*spanNow) == TSpanError::None)
        m_span->setText(QStringLiteral("Span of the instrument: %1 … %2 %3 = 4 … 20 mA")
                            .arg(QString::fromStdString(spanNow->Lower().Text()), QString::fromStdString(spanNow->Upper().Text()), UnitNow()));
    else if (spanNow)
        m_span->setText(QStringLiteral("<span style='color:%1'>Span unusable: %2</span>")
                            .arg(Colour(this, TVerdict::Fail), QString::fromUtf8(SpanErrorText(CheckSpan(*spanNow)))));
    else
        m_span->setText(QStringLiteral("Span: not read yet (open the port)"));
}

void TCalibrationWindow::ShowState()
{
    if (!m_lastMessage.isEmpty())
        return;
    if (!HasRecord())
        m_status->setText(QStringLiteral("No record open: \"New record\" starts one, or double-click one in the history."));
}

void TCalibrationWindow::RefreshHistory()
{
    const QString tag = m_historyTag.isEmpty() ? m_record.tag : m_historyTag;
    m_runner->Run<std::pair<QStringList, std::vector<TRecordSummary>>>(
        [tag](TRecordStore &s) { return std::pair(s.Tags(), s.History(tag)); },
        [this, tag](const std::pair<QStringList, std::vector<TRecordSummary>> &result) {
            const QSignalBlocker block(m_historyFilter);
            m_historyFilter->clear();
            m_historyFilter->addItem(QStringLiteral("All instruments"), QString());
            for (const QString &t : result.first)
                m_historyFilter->addItem(QStringLiteral("Tag %1").arg(t), t);
            const int at = m_historyFilter->findData(tag);
            m_historyFilter->setCurrentIndex(at < 0 ? 0 : at);
            m_history->clear();
            for (const TRecordSummary &s : result.second) {
                auto *item = new QTreeWidgetItem(m_history);
                item->setText(0, s.created.toLocalTime().toString(QStringLiteral("yyyy-MM-dd")));
                item->setText(1, s.certificate);
                item->setText(2, s.tag);
                item->setText(3, QString::fromUtf8(VerdictText(s.found)));
                item->setText(4, QString::fromUtf8(VerdictText(s.left)));
                item->setText(5, s.finished ? QString() : QStringLiteral("open"));
                item->setForeground(3, QColor(Colour(this, s.found)));
                item->setForeground(4, QColor(Colour(this, s.left)));
                item->setData(0, Qt::UserRole, s.id);
                if (s.id == m_record.id) {
                    QFont bold = item->font(1);
                    bold.setBold(true);
                    item->setFont(1, bold);
                }
            }
            for (int c = 0; c < m_history->columnCount(); ++c)
                m_history->resizeColumnToContents(c);
        });
}

QWidget *MakeCalibrationWindow(TForm1 &form)
{
    return new TCalibrationWindow(form, TRecordStore::DefaultPath());
}
