#include "LiveTrendWindow.h"

#include "Main.h"
#include "NumberFormat.h"
#include "Tools.h"
#include "TrendPlot.h"

#include <QButtonGroup>
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

namespace {

struct TSpan {
    const char *text;
    int64_t ms; // 0: all
};
constexpr TSpan kSpans[] = {{"1 min", 60'000}, {"10 min", 600'000}, {"1 h", 3'600'000}, {"All", 0}};
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
        return QStringLiteral("%1 h %2 min").arg(ms / 3'600'000).arg(ms % 3'600'000 / 60'000);
    if (ms >= 60'000)
        return QStringLiteral("%1 min %2 s").arg(ms / 60'000).arg(ms % 60'000 / 1000);
    return QStringLiteral("%1 s").arg(ms / 1000);
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
    setWindowTitle(TForm1::ProductName() + QStringLiteral(" — Live trend"));

    auto *top = new QHBoxLayout;
    top->setSpacing(4);
    top->addWidget(new QLabel(QStringLiteral("Span:"), this));
    m_spans = new QButtonGroup(this);
    for (int i = 0; i < int(std::size(kSpans)); ++i) {
        auto *b = MakeToolBarButton(QString::fromUtf8(kSpans[i].text),
                             kSpans[i].ms ? QStringLiteral("Show the last %1").arg(QString::fromUtf8(kSpans[i].text))
                                          : QStringLiteral("Show the whole history"),
                             this, true);
        m_spans->addButton(b, i);
        top->addWidget(b);
    }
    top->addSpacing(12);
    m_pauseButton = MakeToolBarButton(QStringLiteral("Pause"), QStringLiteral("Freeze the view; polls keep being recorded (Space)"), this, true);
    m_liveButton = MakeToolBarButton(QStringLiteral("Follow"), QStringLiteral("Back to live: the view follows the newest poll (End)"), this);
    top->addWidget(m_pauseButton);
    top->addWidget(m_liveButton);
    top->addSpacing(12);
    m_fitButton = MakeToolBarButton(QStringLiteral("Fit mA"),
                             QStringLiteral("Fit the current axis to the visible values instead of the 4–20 mA loop range"), this, true);
    top->addWidget(m_fitButton);
    top->addStretch(1);
    m_logButton = MakeToolBarButton(QStringLiteral("Log to CSV"), QStringLiteral("Write every answered poll to a CSV file, one flushed row each"),
                             this, true);
    m_fileButton = MakeToolBarButton(QStringLiteral("File…"), QStringLiteral("Choose the CSV file (an existing log is appended to)"), this);
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

    UpdateView();
    ShowLogState();
    resize(940, 560);
}

TLiveTrendWindow::~TLiveTrendWindow() = default;

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
    if (m_form.SettingsRead.InputCode == 1)
        m_plot->SetValueName(QStringLiteral("Temperature"), QStringLiteral("°C"));
    else
        m_plot->SetValueName(QStringLiteral("Pressure"), QStringLiteral("Pa"));
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
        text += QStringLiteral("min <b>%1</b>%5max <b>%2</b>%5mean <b>%3</b> %4")
                    .arg(Fixed(st.value.min, d), Fixed(st.value.max, d), Fixed(st.value.Mean(), d + 1), unit, sep);
        text += sep + sep + QStringLiteral("<span style='color:#ffb74d'>■</span> ");
        text += QStringLiteral("min <b>%1</b>%4max <b>%2</b>%4mean <b>%3</b> mA")
                    .arg(Fixed(st.milliAmps.min, 3), Fixed(st.milliAmps.max, 3), Fixed(st.milliAmps.Mean(), 4), sep);
    } else {
        text += QStringLiteral("no answered polls in view");
    }
    text += sep + sep + QStringLiteral("%1 polls in %2").arg(st.value.count).arg(SpanText(end - start));
    if (st.failed)
        text += QStringLiteral(", <span style='color:%2'><b>%1 failed</b></span>").arg(st.failed).arg(Colour(this, false));
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
    const QString path = QFileDialog::getSaveFileName(this, QStringLiteral("Log to CSV (an existing log is appended to)"), suggested,
                                                      QStringLiteral("CSV files (*.csv);;All files (*)"), nullptr,
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

void TLiveTrendWindow::OnLogFailed(int session, int error, const QString &message, qint64 rows)
{
    if (session != m_logSession)
        return; // (also once stopped: rows still queued then may be the ones lost)
    m_rowsWritten = rows;
    const qint64 lost = m_rowsSent - rows;
    m_logging = false;
    m_logButton->setChecked(false);

    QString fix;
    switch (static_cast<trend::TCsvError>(error)) {
    case trend::TCsvError::OtherColumns: fix = QStringLiteral("Choose a new file: rows are appended only to a log written by this window."); break;
    case trend::TCsvError::CannotWrite: fix = QStringLiteral("Free some disk space (or put the medium back), or choose another file with \"File…\", then press \"Log to CSV\" again."); break;
    case trend::TCsvError::CannotOpen: fix = QStringLiteral("Choose a file in a folder you may write to, with \"File…\"."); break;
    case trend::TCsvError::NotRegular: fix = QStringLiteral("Choose a plain file (or the name of a new one) with \"File…\"."); break;
    default: fix = QStringLiteral("Choose another file with \"File…\"."); break;
    }
    QString text = m_logOpened ? QStringLiteral("Logging stopped: %1.").arg(message) : QStringLiteral("Logging did not start: %1.").arg(message);
    if (m_logOpened || rows)
        text += QStringLiteral(" Rows in the file: %1.").arg(rows);
    if (lost > 0)
        text += QStringLiteral(" Answered polls not written: %1 (the trend still shows them).").arg(lost);
    text += QLatin1Char(' ') + fix;
    m_logLabel->setStyleSheet(QStringLiteral("color: %1; font-weight: bold").arg(Colour(this, false)));
    m_logLabel->setText(text);
    emit LogFailed(text);

    auto *box = new QMessageBox(QMessageBox::Warning, windowTitle(), text, QMessageBox::Ok, this);
    box->setAttribute(Qt::WA_DeleteOnClose);
    box->setModal(false);
    box->show();
}

void TLiveTrendWindow::ShowLogState()
{
    m_logLabel->setStyleSheet(QString());
    const QString path = QDir::toNativeSeparators(m_logPath);
    if (m_logging) {
        if (!m_logOpened)
            m_logLabel->setText(QStringLiteral("Opening %1…").arg(path));
        else
            m_logLabel->setText(QStringLiteral("Logging to %1%2 — %3 rows written")
                                    .arg(path, m_logLabel->property("appended").toBool() ? QStringLiteral(" (appending)") : QString())
                                    .arg(m_rowsWritten));
        m_logLabel->setStyleSheet(QStringLiteral("color: %1").arg(Colour(this, true)));
    } else if (!m_logPath.isEmpty()) {
        m_logLabel->setText(QStringLiteral("Not logging (last file: %1, %2 rows this time).").arg(path).arg(m_rowsWritten));
    } else {
        m_logLabel->setText(QStringLiteral("Not logging. \"Log to CSV\" writes time, pressure, mA and the five flags of every answered poll."));
    }
}

QWidget *MakeLiveTrendWindow(TForm1 &form)
{
    return new TLiveTrendWindow(form);
}
