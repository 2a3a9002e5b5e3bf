#include "LiveTrendWindow.h"

#include "Main.h"
#include "NumberFormat.h"
#include "Tools.h"
#include "TrendPlot.h"

#include <QButtonGroup>
#include <QCoreApplication>
#include <QDateTime>
#include <QDir>
#include <QFileDialog>
#include <QFileInfo>
#include <QHBoxLayout>
#include <QLabel>
#include <QMessageBox>
#include <QShortcut>
#include <QStandardPaths>
#include <QToolButton>
#include <QVBoxLayout>

#include <algorithm>
#include <climits>

namespace {

struct TSpan {
    const char *text; // translated where shown
    int64_t ms;       // 0: all
};
constexpr TSpan kSpans[] = {{QT_TRANSLATE_NOOP("TLiveTrendWindow", "1 min"), 60'000},
                            {QT_TRANSLATE_NOOP("TLiveTrendWindow", "10 min"), 600'000},
                            {QT_TRANSLATE_NOOP("TLiveTrendWindow", "1 h"), 3'600'000},
                            {QT_TRANSLATE_NOOP("TLiveTrendWindow", "All"), 0}};
constexpr int kDefaultSpan = 1;

QString Fixed(double v, int decimals)
{
    QString pattern = QStringLiteral("0");
    if (decimals > 0)
        pattern += QLatin1Char('.') + QString(decimals, QLatin1Char('0'));
    return NumberFormat::Format(v, pattern);
}

QString SpanText(int64_t ms)
{
    if (ms >= 3'600'000)
        return QCoreApplication::translate("TLiveTrendWindow", "%1 h %2 min").arg(ms / 3'600'000).arg(ms % 3'600'000 / 60'000);
    if (ms >= 60'000)
        return QCoreApplication::translate("TLiveTrendWindow", "%1 min %2 s").arg(ms / 60'000).arg(ms % 60'000 / 1000);
    return QCoreApplication::translate("TLiveTrendWindow", "%1 s").arg(ms / 1000);
}

// Status colours readable on the desktop's theme, light or dark.
QString Colour(const QWidget *w, bool good)
{
    const bool dark = w->palette().color(QPalette::Window).lightness() < 128;
    if (good)
        return dark ? QStringLiteral("#81c784") : QStringLiteral("#2e7d32");
    return dark ? QStringLiteral("#ff8a80") : QStringLiteral("#c62828");
}

} // namespace

TLiveTrendWindow::TLiveTrendWindow(TForm1 &form) : QWidget(&form, Qt::Window), m_form(form)
{
    setObjectName(QStringLiteral("LiveTrendWindow"));

    // Texts and tooltips come from Retranslate().
    auto *top = new QHBoxLayout;
    top->setSpacing(4);
    m_spanLabel = new QLabel(this);
    top->addWidget(m_spanLabel);
    m_spans = new QButtonGroup(this);
    for (int i = 0; i < int(std::size(kSpans)); ++i) {
        auto *b = MakeToolBarButton(QString(), QString(), this, true);
        m_spans->addButton(b, i);
        top->addWidget(b);
    }
    top->addSpacing(12);
    m_pauseButton = MakeToolBarButton(QString(), QString(), this, true);
    m_liveButton = MakeToolBarButton(QString(), QString(), this);
    top->addWidget(m_pauseButton);
    top->addWidget(m_liveButton);
    top->addSpacing(12);
    m_fitButton = MakeToolBarButton(QString(), QString(), this, true);
    top->addWidget(m_fitButton);
    top->addStretch(1);
    m_logButton = MakeToolBarButton(QString(), QString(), this, true);
    m_fileButton = MakeToolBarButton(QString(), QString(), this);
    top->addWidget(m_logButton);
    top->addWidget(m_fileButton);

    m_plot = new TTrendPlot(m_history, this);
    m_statsLabel = new QLabel(this);
    m_statsLabel->setTextFormat(Qt::RichText);
    m_statsLabel->setTextInteractionFlags(Qt::TextSelectableByMouse);
    m_logLabel = new QLabel(this);
    m_logLabel->setTextFormat(Qt::PlainText);
    m_logLabel->setWordWrap(true);
    m_logLabel->setTextInteractionFlags(Qt::TextSelectableByMouse);

    auto *layout = new QVBoxLayout(this);
    layout->setContentsMargins(6, 6, 6, 6);
    layout->setSpacing(4);
    layout->addLayout(top);
    layout->addWidget(m_plot, 1);
    layout->addWidget(m_statsLabel);
    layout->addWidget(m_logLabel);

    m_spans->button(kDefaultSpan)->setChecked(true);
    m_plot->SetSpan(kSpans[kDefaultSpan].ms);

    connect(m_spans, &QButtonGroup::idClicked, this, [this](int id) { m_plot->SetSpan(kSpans[id].ms); });
    connect(m_pauseButton, &QToolButton::clicked, this, [this](bool paused) { m_plot->SetLive(!paused); });
    connect(m_liveButton, &QToolButton::clicked, this, [this] { m_plot->SetLive(true); });
    connect(m_fitButton, &QToolButton::toggled, m_plot, &TTrendPlot::SetFitOutput);
    connect(m_plot, &TTrendPlot::ViewChanged, this, &TLiveTrendWindow::UpdateView);
    connect(new QShortcut(QKeySequence(Qt::Key_Space), this), &QShortcut::activated, m_pauseButton, &QToolButton::click);
    connect(new QShortcut(QKeySequence(Qt::Key_End), this), &QShortcut::activated, m_liveButton, &QToolButton::click);
    connect(m_logButton, &QToolButton::clicked, this, &TLiveTrendWindow::OnLogToggled);
    connect(m_fileButton, &QToolButton::clicked, this, &TLiveTrendWindow::ChooseFile);
    connect(&m_log, &trend::TCsvLogWriter::Opened, this, &TLiveTrendWindow::OnLogOpened);
    connect(&m_log, &trend::TCsvLogWriter::Written, this, &TLiveTrendWindow::OnLogWritten);
    connect(&m_log, &trend::TCsvLogWriter::Failed, this, &TLiveTrendWindow::OnLogFailed);

    // Recording starts now and goes on while the window is hidden.
    connect(&m_form, &TForm1::TransactionEnded, this, &TLiveTrendWindow::OnTransaction);

    // The clock moves the live view on also when no poll comes.
    m_tick.setInterval(500);
    connect(&m_tick, &QTimer::timeout, this, [this] {
        if (m_plot->Live())
            UpdateView();
    });

    Retranslate();
    resize(940, 560);
}

TLiveTrendWindow::~TLiveTrendWindow() = default;

void TLiveTrendWindow::changeEvent(QEvent *event)
{
    if (event->type() == QEvent::LanguageChange && m_plot)
        Retranslate();
    QWidget::changeEvent(event);
}

void TLiveTrendWindow::Retranslate()
{
    setWindowTitle(tr("%1 — Live trend").arg(TForm1::ProductName()));
    m_spanLabel->setText(tr("Span:"));
    for (int i = 0; i < int(std::size(kSpans)); ++i) {
        QAbstractButton *b = m_spans->button(i);
        b->setText(tr(kSpans[i].text));
        b->setToolTip(kSpans[i].ms ? tr("Show the last %1").arg(tr(kSpans[i].text)) : tr("Show the whole history"));
    }
    m_pauseButton->setText(tr("Pause"));
    m_pauseButton->setToolTip(tr("Freeze the view; polls keep being recorded (Space)"));
    m_liveButton->setText(tr("Follow"));
    m_liveButton->setToolTip(tr("Back to live: the view follows the newest poll (End)"));
    m_fitButton->setText(tr("Fit mA"));
    m_fitButton->setToolTip(tr("Fit the current axis to the visible values instead of the 4–20 mA loop range"));
    m_logButton->setText(tr("Log to CSV"));
    m_logButton->setToolTip(tr("Write every answered poll to a CSV file, one flushed row each"));
    m_fileButton->setText(tr("File…"));
    m_fileButton->setToolTip(tr("Choose the CSV file (an existing log is appended to)"));
    UpdateView();
    if (m_failure)
        m_logLabel->setText(FailureText());
    else
        ShowLogState();
}

void TLiveTrendWindow::showEvent(QShowEvent *event)
{
    m_tick.start();
    UpdateView();
    QWidget::showEvent(event);
}

void TLiveTrendWindow::hideEvent(QHideEvent *event)
{
    m_tick.stop();
    QWidget::hideEvent(event);
}

void TLiveTrendWindow::OnTransaction(quint8 command, TMBStatus status)
{
    if (command != TForm1::Cmd_Poll)
        return;
    const QDateTime now = QDateTime::currentDateTime();
    trend::TSample s;
    s.timeMs = now.toMSecsSinceEpoch();
    if (status == TMB::stOK) {
        const TForm1::TLiveData &d = m_form.LiveData;
        s.value = d.MeasuredValue;
        s.decimals = d.Decimals;
        s.microAmps = d.OutputValue;
        s.flags = d.ErrorBits;
        if (m_logging) {
            m_log.Write({now, d.MeasuredValue, d.Decimals, d.OutputValue, d.ErrorBits});
            ++m_rowsSent;
        }
    } else {
        s.kind = status == TMB::stClosedPort ? trend::TKind::Closed : trend::TKind::Failed;
    }
    m_history.Add(s);
    m_plot->SetTemperature(m_form.SettingsRead.InputCode == 1);
    if (isVisible())
        UpdateView();
}

void TLiveTrendWindow::UpdateView()
{
    SyncSpanButtons();
    m_pauseButton->setChecked(!m_plot->Live());
    m_liveButton->setEnabled(!m_plot->Live());
    m_plot->update();
    UpdateStats();
}

void TLiveTrendWindow::SyncSpanButtons()
{
    // A zoomed span matches none of the buttons.
    int match = -1;
    for (int i = 0; i < int(std::size(kSpans)); ++i)
        if (kSpans[i].ms == 0 ? m_plot->AllSpan() : !m_plot->AllSpan() && m_plot->SpanSetting() == kSpans[i].ms)
            match = i;
    if (match >= 0) {
        m_spans->button(match)->setChecked(true);
    } else if (QAbstractButton *checked = m_spans->checkedButton()) {
        m_spans->setExclusive(false);
        checked->setChecked(false);
        m_spans->setExclusive(true);
    }
}

void TLiveTrendWindow::UpdateStats()
{
    const int64_t start = m_plot->ViewStart(), end = m_plot->ViewEnd();
    const trend::TStats st = m_history.Stats(start, end);
    const QString sep = QStringLiteral("&nbsp;&nbsp;&nbsp;");
    QString text = QStringLiteral("<span style='color:#4fc3f7'>■</span> ");
    const QString unit = m_form.SettingsRead.InputCode == 1 ? QStringLiteral("°C") : QStringLiteral("Pa");
    if (st.value.count) {
        const int d = st.decimals;
        text += tr("min <b>%1</b>%5max <b>%2</b>%5mean <b>%3</b> %4")
                    .arg(Fixed(st.value.min, d), Fixed(st.value.max, d), Fixed(st.value.Mean(), d + 1), unit, sep);
        text += sep + sep + QStringLiteral("<span style='color:#ffb74d'>■</span> ");
        text += tr("min <b>%1</b>%5max <b>%2</b>%5mean <b>%3</b> %4")
                    .arg(Fixed(st.milliAmps.min, 3), Fixed(st.milliAmps.max, 3), Fixed(st.milliAmps.Mean(), 4), QStringLiteral("mA"), sep);
    } else {
        text += tr("no answered polls in view");
    }
    text += sep + sep + tr("%n polls in %1", nullptr, int(st.value.count)).arg(SpanText(end - start));
    if (st.failed)
        text += tr(", <span style='color:%1'><b>%n failed</b></span>", nullptr, int(st.failed)).arg(Colour(this, false));
    m_statsLabel->setText(text);
}

// ---- the CSV log ---------------------------------------------------------------------------------

void TLiveTrendWindow::OnLogToggled(bool on)
{
    if (!on) {
        StopLog();
        return;
    }
    if (m_logPath.isEmpty())
        ChooseFile(); // starts the log once a file is chosen
    else
        StartLog(m_logPath);
    m_logButton->setChecked(m_logging);
}

void TLiveTrendWindow::ChooseFile()
{
    const QString suggested = m_logPath.isEmpty()
                                  ? QDir(QStandardPaths::writableLocation(QStandardPaths::DocumentsLocation))
                                        .filePath(QStringLiteral("kv508-trend-%1.csv")
                                                      .arg(QDateTime::currentDateTime().toString(QStringLiteral("yyyyMMdd-HHmm"))))
                                  : m_logPath;
    // An existing log is appended to, never overwritten: no overwrite question.
    const QString path = QFileDialog::getSaveFileName(this, tr("Log to CSV (an existing log is appended to)"), suggested,
                                                      tr("CSV files (*.csv);;All files (*)"), nullptr,
                                                      QFileDialog::DontConfirmOverwrite);
    if (path.isEmpty()) {
        m_logButton->setChecked(m_logging);
        return;
    }
    StartLog(path);
}

void TLiveTrendWindow::StartLog(const QString &path)
{
    if (m_logging)
        m_log.Stop();
    m_logPath = path;
    m_logSession = m_log.Start(path);
    m_logging = true;
    m_logOpened = false;
    m_rowsSent = 0;
    m_rowsWritten = 0;
    m_failure.reset();
    m_logButton->setChecked(true);
    ShowLogState();
}

void TLiveTrendWindow::StopLog()
{
    if (m_logging)
        m_log.Stop();
    m_logging = false;
    m_logButton->setChecked(false);
    ShowLogState();
}

void TLiveTrendWindow::OnLogOpened(int session, const QString &, bool appended)
{
    if (session != m_logSession || !m_logging)
        return;
    m_logOpened = true;
    m_logLabel->setProperty("appended", appended);
    ShowLogState();
}

void TLiveTrendWindow::OnLogWritten(int session, qint64 rows)
{
    if (session != m_logSession)
        return;
    m_rowsWritten = rows;
    ShowLogState(); // also after Stop: the rows still queued then are written now
    emit LogWritten(rows);
}

void TLiveTrendWindow::OnLogFailed(int session, int error, const QString &systemError, qint64 rows)
{
    if (session != m_logSession)
        return; // (also once stopped: rows still queued then may be the ones lost)
    m_rowsWritten = rows;
    m_logging = false;
    m_logButton->setChecked(false);
    m_failure = TFailure{static_cast<trend::TCsvError>(error), systemError, m_logOpened, m_rowsSent - rows};
    const QString text = FailureText();
    m_logLabel->setStyleSheet(QStringLiteral("color: %1; font-weight: bold").arg(Colour(this, false)));
    m_logLabel->setText(text);
    emit LogFailed(text);

    auto *box = new QMessageBox(QMessageBox::Warning, windowTitle(), text, QMessageBox::Ok, this);
    box->setAttribute(Qt::WA_DeleteOnClose);
    box->setModal(false);
    box->show();
}

// The failure in the language now chosen: what happened, what was kept, what to do.
QString TLiveTrendWindow::FailureText() const
{
    const TFailure &f = *m_failure;
    QString fix;
    switch (f.error) {
    case trend::TCsvError::OtherColumns: fix = tr("Choose a new file: rows are appended only to a log written by this window."); break;
    case trend::TCsvError::CannotWrite: fix = tr("Free some disk space (or put the medium back), or choose another file with \"File…\", then press \"Log to CSV\" again."); break;
    case trend::TCsvError::CannotOpen: fix = tr("Choose a file in a folder you may write to, with \"File…\"."); break;
    case trend::TCsvError::NotRegular: fix = tr("Choose a plain file (or the name of a new one) with \"File…\"."); break;
    default: fix = tr("Choose another file with \"File…\"."); break;
    }
    QString message = tr("%1: %2").arg(QDir::toNativeSeparators(m_logPath), trend::CsvErrorText(f.error));
    if (!f.systemError.isEmpty())
        message = tr("%1 (%2)").arg(message, f.systemError);
    QString text = f.opened ? tr("Logging stopped: %1.").arg(message) : tr("Logging did not start: %1.").arg(message);
    QStringList parts{text};
    if (f.opened || m_rowsWritten)
        parts << tr("Rows in the file: %1.").arg(m_rowsWritten);
    if (f.lost > 0)
        parts << tr("Answered polls not written: %1 (the trend still shows them).").arg(f.lost);
    parts << fix;
    return parts.join(QLatin1Char(' '));
}

void TLiveTrendWindow::ShowLogState()
{
    m_failure.reset(); // news of the log's state replace the failure's
    m_logLabel->setStyleSheet(QString());
    const QString path = QDir::toNativeSeparators(m_logPath);
    if (m_logging) {
        if (!m_logOpened)
            m_logLabel->setText(tr("Opening %1…").arg(path));
        else
        {
            const bool appended = m_logLabel->property("appended").toBool();
            const int rows = int(std::min<qint64>(m_rowsWritten, INT_MAX));
            m_logLabel->setText((appended ? tr("Logging to %1 (appending) — %n rows written", nullptr, rows)
                                          : tr("Logging to %1 — %n rows written", nullptr, rows))
                                    .arg(path));
        }
        m_logLabel->setStyleSheet(QStringLiteral("color: %1").arg(Colour(this, true)));
    } else if (!m_logPath.isEmpty()) {
        m_logLabel->setText(tr("Not logging (last file: %1, %n rows this time).", nullptr, int(std::min<qint64>(m_rowsWritten, INT_MAX)))
                                .arg(path));
    } else {
        m_logLabel->setText(tr("Not logging. \"Log to CSV\" writes time, pressure, mA and the five flags of every answered poll."));
    }
}

QWidget *MakeLiveTrendWindow(TForm1 &form)
{
    return new TLiveTrendWindow(form);
}
