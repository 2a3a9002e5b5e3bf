#include "LineMonitorWindow.h"

#include "Main.h"
#include "MonitorModel.h"
#include "Tools.h"

#include <QAction>
#include <QCache>
#include <QApplication>
#include <QClipboard>
#include <QComboBox>
#include <QDateTime>
#include <QDir>
#include <QFileDialog>
#include <QFileInfo>
#include <QFontDatabase>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QKeyEvent>
#include <QLabel>
#include <QLocale>
#include <QMenu>
#include <QMessageBox>
#include <QPainter>
#include <QScrollBar>
#include <QShortcut>
#include <QStandardPaths>
#include <QStaticText>
#include <QStyledItemDelegate>
#include <QTableView>
#include <QThread>
#include <QToolButton>
#include <QVBoxLayout>

#include <algorithm>
#include <chrono>

using kv508::TVerdict;

namespace {

int64_t SteadyMs()
{
    return std::chrono::duration_cast<std::chrono::milliseconds>(std::chrono::steady_clock::now().time_since_epoch()).count();
}

// The list catches up at most this often: a fast line costs one insertion per
// batch, not one per frame.
constexpr int SyncMs = 100;
constexpr int StatusMs = 500;
// The component's end event marks time-outs at its own moment (GiveUp); the
// monitor's deadline only backs it up, so it lies well after the component's.
constexpr int DeadlineGraceMs = 1000;
// Junk after this long without a character is reported.
constexpr int QuietGapMs = 200;

// Draws a cell from the text laid out when it was first shown: rows never
// change, and a fast line scrolls the list by a few rows ten times a second,
// which would otherwise shape every visible cell's text anew each time.
class TFrameDelegate : public QStyledItemDelegate
{
public:
    TFrameDelegate(const TMonitorModel &model, QObject *parent) : QStyledItemDelegate(parent), m_model(model)
    {
        m_cells.setMaxCost(1500); // some 180 rows of 8 cells: the rows in view and a few pages more
    }
    // Column widths or fonts changed: the laid-out texts no longer fit.
    void Forget() { m_cells.clear(); }

    void paint(QPainter *p, const QStyleOptionViewItem &option, const QModelIndex &index) const override
    {
        const bool selected = option.state & QStyle::State_Selected;
        const QPalette::ColorGroup group = option.state & QStyle::State_Active ? QPalette::Active : QPalette::Inactive;
        if (selected)
            p->fillRect(option.rect, option.palette.brush(group, QPalette::Highlight));
        else if (const QVariant tint = index.data(Qt::BackgroundRole); tint.isValid())
            p->fillRect(option.rect, tint.value<QColor>());

        const quint64 key = (quint64(m_model.NumberAt(index.row())) << 4) | quint64(index.column());
        TCell *cell = m_cells.object(key);
        const QVariant fontData = index.data(Qt::FontRole);
        const QFont font = fontData.isValid() ? fontData.value<QFont>() : option.font;
        if (!cell) {
            const QFontMetrics fm(font);
            cell = new TCell;
            cell->text.setTextFormat(Qt::PlainText);
            cell->text.setPerformanceHint(QStaticText::AggressiveCaching);
            const QString text = index.data(Qt::DisplayRole).toString();
            const int room = option.rect.width() - 2 * Margin;
            // Eliding lays the text out once more: only where it may not fit.
            cell->text.setText(text.size() * fm.maxWidth() <= room ? text : fm.elidedText(text, Qt::ElideRight, room));
            cell->text.prepare(QTransform(), font);
            cell->right = index.data(Qt::TextAlignmentRole).toInt() & Qt::AlignRight;
            cell->ascentGap = (option.rect.height() - fm.height()) / 2;
            m_cells.insert(key, cell);
        }
        QColor colour = option.palette.color(group, selected ? QPalette::HighlightedText : QPalette::Text);
        if (!selected)
            if (const QVariant c = index.data(Qt::ForegroundRole); c.isValid())
                colour = c.value<QColor>();
        p->save();
        p->setClipRect(option.rect);
        p->setFont(font);
        p->setPen(colour);
        const qreal x = cell->right ? option.rect.right() - Margin - cell->text.size().width() : option.rect.left() + Margin;
        p->drawStaticText(QPointF(x, option.rect.top() + cell->ascentGap), cell->text);
        p->restore();
    }

private:
    static constexpr int Margin = 4;
    struct TCell {
        QStaticText text;
        bool right = false;
        int ascentGap = 0;
    };
    const TMonitorModel &m_model;
    mutable QCache<quint64, TCell> m_cells;
};

// Copy on the keyboard's copy keys, in whole rows.
class TFrameView : public QTableView
{
public:
    using QTableView::QTableView;
    std::function<void()> OnCopy;

protected:
    void keyPressEvent(QKeyEvent *event) override
    {
        if (event->matches(QKeySequence::Copy) && OnCopy) {
            OnCopy();
            event->accept();
            return;
        }
        QTableView::keyPressEvent(event);
    }
};

constexpr uint32_t Bit(TVerdict v)
{
    return 1u << int(v);
}
constexpr uint32_t ProblemVerdicts = linemon::TFilter::AllVerdicts & ~Bit(TVerdict::Query) & ~Bit(TVerdict::Answer);

// The order of the verdict menu.
constexpr TVerdict MenuVerdicts[] = {TVerdict::Query,          TVerdict::Answer,    TVerdict::TimeOut,
                                     TVerdict::UnexpectedAnswer, TVerdict::CrcError, TVerdict::Malformed,
                                     TVerdict::ForeignAddress,   TVerdict::ForeignId};
static_assert(std::size(MenuVerdicts) == kv508::VerdictCount);

} // namespace

TLineMonitorWindow::TLineMonitorWindow(TForm1 &form, std::size_t capacity)
    : QWidget(&form, Qt::Window), m_form(form), m_mb(form.MB1), m_ring(capacity),
      m_monitor(form.MB1->MBMasterAddressToSlave(),
                form.MB1->MBMasterTimeOut() + TMB::SendingTimeEstimate(16, TMB::BaudRateOf(form.MB1->MBBaud())) +
                    DeadlineGraceMs,
                form.MB1->MBMasterIDToSlave())
{
    setObjectName(QStringLiteral("LineMonitorWindow"));
    setWindowTitle(TForm1::ProductName() + QStringLiteral(" — Line monitor"));

    QHBoxLayout *top = BuildToolBar();
    BuildList();
    m_status = new QLabel(this);
    m_status->setTextFormat(Qt::PlainText);
    m_status->setTextInteractionFlags(Qt::TextSelectableByMouse);

    auto *layout = new QVBoxLayout(this);
    layout->setContentsMargins(6, 6, 6, 6);
    layout->setSpacing(4);
    layout->addLayout(top);
    layout->addWidget(m_view, 1);
    layout->addWidget(m_status);
    connect(new QShortcut(QKeySequence(Qt::Key_Space), this), &QShortcut::activated, m_pauseButton, &QToolButton::click);

    m_sync.setSingleShot(true);
    m_sync.setInterval(SyncMs);
    connect(&m_sync, &QTimer::timeout, this, &TLineMonitorWindow::SyncNow);
    m_statusTimer.setSingleShot(true);
    m_statusTimer.setInterval(StatusMs);
    connect(&m_statusTimer, &QTimer::timeout, this, &TLineMonitorWindow::ShowStatus);
    m_tick.setInterval(250);
    connect(&m_tick, &QTimer::timeout, this, [this] { m_monitor.Tick(SteadyMs()); });

    StartFeed();
    m_model->SetBase(m_view->palette().color(QPalette::Base));
    ShowVerdictFilter();
    ShowStatus();
    resize(1320, 560);
}

// Pause and Clear, the command and verdict filters, Copy and Save.
QHBoxLayout *TLineMonitorWindow::BuildToolBar()
{
    auto *top = new QHBoxLayout;
    top->setSpacing(4);
    m_pauseButton = MakeToolBarButton(QStringLiteral("Pause"),
                               QStringLiteral("Freeze the list; frames are still recorded and shown on resuming (Space)"), this, true);
    auto *clearButton = MakeToolBarButton(QStringLiteral("Clear"), QStringLiteral("Forget the frames recorded so far"), this);
    top->addWidget(m_pauseButton);
    top->addWidget(clearButton);
    top->addSpacing(12);
    top->addWidget(new QLabel(QStringLiteral("Command:"), this));
    m_commandBox = new QComboBox(this);
    m_commandBox->setToolTip(QStringLiteral("Show the frames of one command only"));
    m_commandBox->addItem(QStringLiteral("All"), linemon::TFilter::AnyCommand);
    for (int c = 0; c < 256; ++c)
        if (const char *name = kv508::CommandName(uint8_t(c)))
            m_commandBox->addItem(QStringLiteral("%1 %2").arg(c).arg(QLatin1String(name)), c);
    m_commandBox->addItem(QStringLiteral("Other commands"), linemon::TFilter::OtherCommands);
    m_commandBox->addItem(QStringLiteral("No frame (noise, cut)"), linemon::TFilter::NoFrame);
    top->addWidget(m_commandBox);
    top->addSpacing(8);
    top->addWidget(new QLabel(QStringLiteral("Verdicts:"), this));
    m_verdictButton = MakeToolBarButton(QString(), QStringLiteral("Show the frames of the checked verdicts only"), this);
    m_verdictButton->setPopupMode(QToolButton::InstantPopup);
    BuildVerdictMenu();
    m_verdictButton->setMenu(m_verdictMenu);
    top->addWidget(m_verdictButton);
    top->addStretch(1);
    auto *copyButton = MakeToolBarButton(QStringLiteral("Copy"), QStringLiteral("Copy the selected rows as text (Ctrl+C)"), this);
    auto *saveButton = MakeToolBarButton(QStringLiteral("Save…"),
                                  QStringLiteral("Save the rows the list shows as text or CSV (Ctrl+S)"), this);
    top->addWidget(copyButton);
    top->addWidget(saveButton);

    // Connected once filled: filling the box is no choice of the user's.
    connect(m_pauseButton, &QToolButton::toggled, this, &TLineMonitorWindow::SetPaused);
    connect(clearButton, &QToolButton::clicked, this, &TLineMonitorWindow::Clear);
    connect(m_commandBox, &QComboBox::currentIndexChanged, this, &TLineMonitorWindow::ApplyFilterControls);
    connect(copyButton, &QToolButton::clicked, this, &TLineMonitorWindow::CopySelection);
    connect(saveButton, &QToolButton::clicked, this, &TLineMonitorWindow::ChooseFile);
    return top;
}

// One checkable entry per verdict (all checked), then the two presets.
void TLineMonitorWindow::BuildVerdictMenu()
{
    m_verdictMenu = new QMenu(this);
    m_verdictMenu->setToolTipsVisible(true);
    const auto addVerdict = [this](const QString &label, int bit) {
        QAction *a = m_verdictMenu->addAction(label);
        a->setCheckable(true);
        a->setChecked(true);
        a->setData(bit);
        connect(a, &QAction::toggled, this, &TLineMonitorWindow::ApplyFilterControls);
    };
    for (TVerdict v : MenuVerdicts) {
        addVerdict(TMonitorModel::VerdictLabel(v), int(v));
        if (v == TVerdict::Answer)
            addVerdict(QStringLiteral("answer: slave error"), linemon::TFilter::SlaveErrorIndex);
    }
    m_verdictMenu->addSeparator();
    const auto preset = [this](uint32_t verdicts) {
        for (QAction *a : m_verdictMenu->actions())
            if (a->isCheckable()) {
                const QSignalBlocker block(a);
                a->setChecked(verdicts & (1u << a->data().toInt()));
            }
        ApplyFilterControls();
    };
    connect(m_verdictMenu->addAction(QStringLiteral("All")), &QAction::triggered, this,
            [preset] { preset(linemon::TFilter::AllVerdicts); });
    connect(m_verdictMenu->addAction(QStringLiteral("Problems only")), &QAction::triggered, this,
            [preset] { preset(ProblemVerdicts); });
}

// The table on the ring, its fixed geometry, and its copy, select and save actions.
void TLineMonitorWindow::BuildList()
{
    m_model = new TMonitorModel(m_ring, this);
    auto *view = new TFrameView(this);
    view->OnCopy = [this] { CopySelection(); };
    m_view = view;
    m_view->setModel(m_model);
    auto *delegate = new TFrameDelegate(*m_model, m_view);
    m_view->setItemDelegate(delegate);
    connect(m_view->horizontalHeader(), &QHeaderView::sectionResized, this, [delegate] { delegate->Forget(); });
    m_view->setSelectionBehavior(QAbstractItemView::SelectRows);
    m_view->setSelectionMode(QAbstractItemView::ExtendedSelection);
    m_view->setShowGrid(false);
    m_view->setWordWrap(false);
    m_view->setCornerButtonEnabled(false);
    m_view->setHorizontalScrollMode(QAbstractItemView::ScrollPerPixel);
    SizeColumns();
    m_view->setContextMenuPolicy(Qt::ActionsContextMenu);
    auto *copyAction = new QAction(QStringLiteral("Copy rows"), m_view);
    copyAction->setShortcut(QKeySequence::Copy);
    copyAction->setShortcutContext(Qt::WidgetShortcut); // the view's own key handling copies
    auto *selectAllAction = new QAction(QStringLiteral("Select all"), m_view);
    selectAllAction->setShortcut(QKeySequence::SelectAll);
    selectAllAction->setShortcutContext(Qt::WidgetShortcut);
    auto *saveAction = new QAction(QStringLiteral("Save…"), this);
    saveAction->setShortcut(QKeySequence::Save);
    addAction(saveAction);
    m_view->addActions({copyAction, selectAllAction, saveAction});
    connect(copyAction, &QAction::triggered, this, &TLineMonitorWindow::CopySelection);
    connect(selectAllAction, &QAction::triggered, m_view, &QTableView::selectAll);
    connect(saveAction, &QAction::triggered, this, &TLineMonitorWindow::ChooseFile);
}

// Fixed row heights and column widths: nothing is measured per row, so
// 100,000 rows cost what the visible ones cost.
void TLineMonitorWindow::SizeColumns()
{
    QHeaderView *rows = m_view->verticalHeader();
    rows->hide();
    rows->setSectionResizeMode(QHeaderView::Fixed);
    rows->setDefaultSectionSize(fontMetrics().height() + 4);
    QHeaderView *columns = m_view->horizontalHeader();
    columns->setStretchLastSection(true);
    columns->setHighlightSections(false);
    const QFontMetrics fm = fontMetrics();
    const auto width = [&fm](const char *sample) { return fm.horizontalAdvance(QString::fromUtf8(sample)) + 16; };
    m_view->setColumnWidth(TMonitorModel::ColNo, width("1000000"));
    m_view->setColumnWidth(TMonitorModel::ColMs, width("10000000"));
    m_view->setColumnWidth(TMonitorModel::ColTime, width("00:00:00.000"));
    m_view->setColumnWidth(TMonitorModel::ColDirection, width("RX ←"));
    QFont bold = font();
    bold.setBold(true);
    const QFontMetrics boldMetrics(bold);
    m_view->setColumnWidth(TMonitorModel::ColVerdict, std::max(boldMetrics.horizontalAdvance(QStringLiteral("late answer, dropped")),
                                                               boldMetrics.horizontalAdvance(QStringLiteral("answer (query not seen)"))) +
                                                          16);
    m_view->setColumnWidth(TMonitorModel::ColCommand, width("9 set-as-scale-end"));
    // A poll's answer, the longest frame of the chain, whole.
    const QFontMetrics fixed(QFontDatabase::systemFont(QFontDatabase::FixedFont));
    m_view->setColumnWidth(TMonitorModel::ColRaw, fixed.horizontalAdvance(QString(54, QLatin1Char('0'))) + 16);
}

// The feed: from now on, for as long as the window exists.
void TLineMonitorWindow::StartFeed()
{
    m_steadyBase = SteadyMs();
    m_wallBase = QDateTime::currentMSecsSinceEpoch();
    m_openedMs = m_form.PortOpenedAtMs() >= 0 ? m_form.PortOpenedAtMs() : m_steadyBase;
    m_monitor.SetQuietGapMs(QuietGapMs);
    m_monitor.OnFrame = [this](const kv508::TFrameRecord &r) { OnFrame(r); };
    connect(&m_form, &TForm1::PortOpenedOrClosed, this, &TLineMonitorWindow::OnPortOpenedOrClosed);
    connect(&m_form, &TForm1::TransactionEnded, this, &TLineMonitorWindow::OnTransaction);
    m_mb->OnLineTap = [this](bool tx, const uint8_t *bytes, std::size_t count) { OnLine(tx, bytes, count); };
    if (m_mb->MBPortOpen()) {
        // Opened in the middle of the traffic: an answer may be on its way to a
        // query the tap never saw.
        const TMB::TMBStatusNow now = m_mb->MBStatusNow();
        const bool inFlight = now == TMB::stnSending || now == TMB::stnWaitingForAnswer || now == TMB::stnReceiving;
        m_monitor.JoinMidLine(m_steadyBase, inFlight ? std::optional<uint8_t>(m_mb->MBMasterCommandToSlave()) : std::nullopt);
        m_tick.start();
    }
}

TLineMonitorWindow::~TLineMonitorWindow()
{
    // The component may already be gone when the form closes.
    if (m_mb)
        m_mb->OnLineTap = nullptr;
    if (m_saveThread) {
        m_saveCancel->store(true);
        m_saveThread->wait();
        delete m_saveThread;
    }
}

void TLineMonitorWindow::OnLine(bool tx, const uint8_t *bytes, std::size_t count)
{
    m_monitor.Feed(tx ? kv508::TDirection::Tx : kv508::TDirection::Rx,
                   std::string_view(reinterpret_cast<const char *>(bytes), count), SteadyMs());
}

void TLineMonitorWindow::OnFrame(const kv508::TFrameRecord &r)
{
    const int64_t since = r.timeMs - m_openedMs;
    const int64_t wall = m_wallBase + (r.timeMs - m_steadyBase);
    m_ring.Add(linemon::RowOf(r, since, wall));
    ++m_recorded;
    if (isVisible() && !m_sync.isActive())
        m_sync.start();
}

void TLineMonitorWindow::OnPortOpenedOrClosed(bool open)
{
    const int64_t now = SteadyMs();
    if (open) {
        m_openedMs = m_form.PortOpenedAtMs() >= 0 ? m_form.PortOpenedAtMs() : now;
        // Wall time follows the system clock from each opening on.
        m_steadyBase = now;
        m_wallBase = QDateTime::currentMSecsSinceEpoch();
        m_tick.start();
    } else {
        m_tick.stop();
        m_monitor.Closed(now);
    }
}

void TLineMonitorWindow::OnTransaction(quint8, TMBStatus status)
{
    // The query is timed out at the component's moment, so an answer after it
    // reads as dropped, as it was.
    if (status == TMB::stTimeOut)
        m_monitor.GiveUp(SteadyMs());
}

void TLineMonitorWindow::SyncNow()
{
    m_sync.stop();
    QScrollBar *bar = m_view->verticalScrollBar();
    const bool follow = bar->value() >= bar->maximum();
    const int value = bar->value();
    const TMonitorModel::TSync done = m_model->Sync(!m_paused);
    if (follow && !m_paused) {
        if (done.added)
            m_view->scrollToBottom();
    } else if (done.removed) {
        // The rows looked at stay in place while older ones go.
        bar->setValue(std::max(0, value - done.removed));
    }
    // The counts need not move with every batch: a new text lays the window out again.
    if (!m_statusTimer.isActive()) {
        ShowStatus();
        m_statusTimer.start();
    }
}

void TLineMonitorWindow::SetPaused(bool paused)
{
    m_paused = paused;
    {
        const QSignalBlocker block(m_pauseButton);
        m_pauseButton->setChecked(paused);
    }
    m_pauseButton->setText(paused ? QStringLiteral("Resume") : QStringLiteral("Pause"));
    if (!paused)
        SyncNow();
    ShowStatus();
}

void TLineMonitorWindow::Clear()
{
    m_ring.Clear();
    m_model->Reset();
    ShowStatus();
}

void TLineMonitorWindow::SetFilter(const linemon::TFilter &filter)
{
    if (filter == m_model->Filter())
        return;
    {
        const QSignalBlocker blockBox(m_commandBox);
        const int at = m_commandBox->findData(filter.command);
        m_commandBox->setCurrentIndex(std::max(at, 0));
        for (QAction *a : m_verdictMenu->actions())
            if (a->isCheckable()) {
                const QSignalBlocker block(a);
                a->setChecked(filter.verdicts & (1u << a->data().toInt()));
            }
    }
    m_model->SetFilter(filter);
    ShowVerdictFilter();
    SyncNow();
    m_view->scrollToBottom();
}

void TLineMonitorWindow::ApplyFilterControls()
{
    linemon::TFilter filter;
    filter.command = m_commandBox->currentData().toInt();
    filter.verdicts = 0;
    for (QAction *a : m_verdictMenu->actions())
        if (a->isCheckable() && a->isChecked())
            filter.verdicts |= 1u << a->data().toInt();
    SetFilter(filter);
}

void TLineMonitorWindow::ShowVerdictFilter()
{
    const uint32_t v = m_model->Filter().verdicts;
    QString text;
    if (v == linemon::TFilter::AllVerdicts)
        text = QStringLiteral("All");
    else if (v == ProblemVerdicts)
        text = QStringLiteral("Problems only");
    else if (v == 0)
        text = QStringLiteral("None");
    else {
        QStringList names;
        for (const QAction *a : m_verdictMenu->actions())
            if (a->isCheckable() && (v & (1u << a->data().toInt())))
                names << a->text();
        text = names.size() <= 2 ? names.join(QStringLiteral(", ")) : QStringLiteral("%1 verdicts").arg(names.size());
    }
    m_verdictButton->setText(text);
}

void TLineMonitorWindow::ShowStatus()
{
    const QLocale locale;
    QString text = QStringLiteral("%1 frames recorded, the last %2 kept (at most %3)")
                       .arg(locale.toString(qulonglong(m_recorded)), locale.toString(qulonglong(m_ring.Size())),
                            locale.toString(qulonglong(m_ring.Capacity())));
    if (!m_model->Filter().All())
        text += QStringLiteral("; %1 shown by the filter").arg(locale.toString(m_model->rowCount()));
    if (m_paused)
        text += QStringLiteral(". Paused: %1 new frames wait for Resume").arg(locale.toString(qulonglong(m_model->Unseen())));
    if (m_saveThread)
        text += QStringLiteral(". Saving to %1…").arg(QDir::toNativeSeparators(m_savePath));
    else if (!m_lastSave.isEmpty())
        text += QStringLiteral(". ") + m_lastSave;
    m_status->setText(text);
}

// ---- copy and save -------------------------------------------------------------------------------

namespace {

// The selected rows in the list's order, from the selection's ranges (a
// selection of 100,000 rows is a single range).
std::vector<int> SelectedRows(const QTableView *view)
{
    std::vector<int> rows;
    for (const QItemSelectionRange &range : view->selectionModel()->selection())
        for (int r = range.top(); r <= range.bottom(); ++r)
            rows.push_back(r);
    std::sort(rows.begin(), rows.end());
    rows.erase(std::unique(rows.begin(), rows.end()), rows.end());
    return rows;
}

} // namespace

QString TLineMonitorWindow::SelectedText() const
{
    QByteArray text;
    for (int r : SelectedRows(m_view))
        if (m_ring.Has(m_model->NumberAt(r))) // the ring may have moved on since the list's last batch
            text += linemon::TextLine(m_model->NumberAt(r) + 1, m_model->RowAt(r)) + '\n';
    return QString::fromUtf8(text);
}

void TLineMonitorWindow::CopySelection()
{
    SyncNow(); // rows the ring has dropped leave the selection
    // Some 100,000 rows take a moment to format.
    QApplication::setOverrideCursor(Qt::WaitCursor);
    QApplication::clipboard()->setText(SelectedText());
    QApplication::restoreOverrideCursor();
}

void TLineMonitorWindow::ChooseFile()
{
    if (m_saveThread)
        return;
    const QString suggested =
        QDir(QStandardPaths::writableLocation(QStandardPaths::DocumentsLocation))
            .filePath(QStringLiteral("kv508-line-%1.csv").arg(QDateTime::currentDateTime().toString(QStringLiteral("yyyyMMdd-HHmmss"))));
    const QString csv = QStringLiteral("CSV (*.csv)"), text = QStringLiteral("Text (*.txt)");
    QString filter = csv;
    QString path = QFileDialog::getSaveFileName(this, QStringLiteral("Save the frames the list shows"), suggested,
                                                csv + QStringLiteral(";;") + text + QStringLiteral(";;All files (*)"), &filter);
    if (path.isEmpty())
        return;
    if (QFileInfo(path).suffix().isEmpty())
        path += filter == text ? QStringLiteral(".txt") : QStringLiteral(".csv");
    SaveTo(path);
}

bool TLineMonitorWindow::SaveTo(const QString &path)
{
    if (m_saveThread)
        return false;
    SyncNow(); // only rows the ring still has
    // A copy of the rows shown, so the ring may move on meanwhile.
    auto rows = std::make_shared<linemon::TNumberedRows>();
    rows->reserve(std::size_t(m_model->rowCount()));
    for (int r = 0; r < m_model->rowCount(); ++r)
        rows->emplace_back(m_model->NumberAt(r) + 1, m_model->RowAt(r));
    m_savePath = path;
    m_saveCancel = std::make_shared<std::atomic<bool>>(false);
    m_saveResult = std::make_shared<linemon::TSaveResult>();
    const linemon::TFormat format = linemon::FormatOf(path);
    m_saveThread = QThread::create([rows, path, format, cancel = m_saveCancel, result = m_saveResult] {
        *result = linemon::Save(path, format, *rows, *cancel);
    });
    connect(m_saveThread, &QThread::finished, this, &TLineMonitorWindow::OnSaveDone);
    setCursor(Qt::BusyCursor);
    m_saveThread->start();
    ShowStatus();
    return true;
}

void TLineMonitorWindow::OnSaveDone()
{
    m_saveThread->wait();
    delete m_saveThread;
    m_saveThread = nullptr;
    unsetCursor();
    const linemon::TSaveResult result = *m_saveResult;
    const QString path = QDir::toNativeSeparators(m_savePath);
    if (result.error == linemon::TSaveError::None) {
        m_lastSave = QStringLiteral("Saved %1 frames to %2").arg(QLocale().toString(result.rows), path);
        ShowStatus();
        emit Saved(m_savePath, result.rows);
        return;
    }
    const QString message = linemon::SaveErrorText(result, path);
    m_lastSave = QStringLiteral("Not saved");
    ShowStatus();
    emit SaveFailed(message);
    auto *box = new QMessageBox(QMessageBox::Warning, windowTitle(), message, QMessageBox::Ok, this);
    box->setAttribute(Qt::WA_DeleteOnClose);
    box->setModal(false);
    box->show();
}

// ---- shown, hidden, themes -----------------------------------------------------------------------

void TLineMonitorWindow::showEvent(QShowEvent *event)
{
    SyncNow();
    m_view->scrollToBottom();
    QWidget::showEvent(event);
}

void TLineMonitorWindow::hideEvent(QHideEvent *event)
{
    m_sync.stop(); // hidden, the ring fills and the list waits
    QWidget::hideEvent(event);
}

void TLineMonitorWindow::changeEvent(QEvent *event)
{
    if (event->type() == QEvent::PaletteChange && m_model)
        m_model->SetBase(m_view->palette().color(QPalette::Base));
    if (event->type() == QEvent::FontChange && m_view)
        static_cast<TFrameDelegate *>(m_view->itemDelegate())->Forget();
    QWidget::changeEvent(event);
}

QWidget *MakeLineMonitorWindow(TForm1 &form)
{
    return new TLineMonitorWindow(form);
}
