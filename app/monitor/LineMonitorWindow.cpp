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
#include <QStyle>
#include <QStyledItemDelegate>
#include <QTableView>
#include <QThread>
#include <QToolButton>
#include <QVBoxLayout>

#include <algorithm>
#include <chrono>
#include <climits>

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
    Retranslate();
    resize(1320, 560);
}

// Pause and Clear, the command and verdict filters, Copy and Save.
QHBoxLayout *TLineMonitorWindow::BuildToolBar()
{
    auto *top = new QHBoxLayout;
    top->setSpacing(4);
    // Texts and tooltips come from Retranslate().
    m_pauseButton = MakeToolBarButton(QString(), QString(), this, true);
    m_clearButton = MakeToolBarButton(QString(), QString(), this);
    top->addWidget(m_pauseButton);
    top->addWidget(m_clearButton);
    top->addSpacing(12);
    m_commandLabel = new QLabel(this);
    top->addWidget(m_commandLabel);
    m_commandBox = new QComboBox(this);
    m_commandBox->addItem(QString(), linemon::TFilter::AnyCommand);
    for (int c = 0; c < 256; ++c)
        if (const char *name = kv508::CommandName(uint8_t(c)))
            m_commandBox->addItem(QStringLiteral("%1 %2").arg(c).arg(QLatin1String(name)), c);
    m_commandBox->addItem(QString(), linemon::TFilter::OtherCommands);
    m_commandBox->addItem(QString(), linemon::TFilter::NoFrame);
    m_commandBox->setSizeAdjustPolicy(QComboBox::AdjustToContents);
    top->addWidget(m_commandBox);
    top->addSpacing(8);
    m_verdictsLabel = new QLabel(this);
    top->addWidget(m_verdictsLabel);
    m_verdictButton = MakeToolBarButton(QString(), QString(), this);
    m_verdictButton->setPopupMode(QToolButton::InstantPopup);
    BuildVerdictMenu();
    m_verdictButton->setMenu(m_verdictMenu);
    top->addWidget(m_verdictButton);
    top->addStretch(1);
    m_copyButton = MakeToolBarButton(QString(), QString(), this);
    m_saveButton = MakeToolBarButton(QString(), QString(), this);
    top->addWidget(m_copyButton);
    top->addWidget(m_saveButton);

    // Connected once filled: filling the box is no choice of the user's.
    connect(m_pauseButton, &QToolButton::toggled, this, &TLineMonitorWindow::SetPaused);
    connect(m_clearButton, &QToolButton::clicked, this, &TLineMonitorWindow::Clear);
    connect(m_commandBox, &QComboBox::currentIndexChanged, this, &TLineMonitorWindow::ApplyFilterControls);
    connect(m_copyButton, &QToolButton::clicked, this, &TLineMonitorWindow::CopySelection);
    connect(m_saveButton, &QToolButton::clicked, this, &TLineMonitorWindow::ChooseFile);
    return top;
}

// One checkable entry per verdict (all checked), then the two presets.
void TLineMonitorWindow::BuildVerdictMenu()
{
    m_verdictMenu = new QMenu(this);
    m_verdictMenu->setToolTipsVisible(true);
    // The entries' texts come from Retranslate(), by their verdict.
    const auto addVerdict = [this](int bit) {
        QAction *a = m_verdictMenu->addAction(QString());
        a->setCheckable(true);
        a->setChecked(true);
        a->setData(bit);
        connect(a, &QAction::toggled, this, &TLineMonitorWindow::ApplyFilterControls);
    };
    for (TVerdict v : MenuVerdicts) {
        addVerdict(int(v));
        if (v == TVerdict::Answer)
            addVerdict(linemon::TFilter::SlaveErrorIndex);
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
    m_allVerdicts = m_verdictMenu->addAction(QString());
    m_problemVerdicts = m_verdictMenu->addAction(QString());
    connect(m_allVerdicts, &QAction::triggered, this, [preset] { preset(linemon::TFilter::AllVerdicts); });
    connect(m_problemVerdicts, &QAction::triggered, this, [preset] { preset(ProblemVerdicts); });
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
    m_copyAction = new QAction(m_view);
    m_copyAction->setShortcut(QKeySequence::Copy);
    m_copyAction->setShortcutContext(Qt::WidgetShortcut); // the view's own key handling copies
    m_selectAllAction = new QAction(m_view);
    m_selectAllAction->setShortcut(QKeySequence::SelectAll);
    m_selectAllAction->setShortcutContext(Qt::WidgetShortcut);
    m_saveAction = new QAction(this);
    m_saveAction->setShortcut(QKeySequence::Save);
    addAction(m_saveAction);
    m_view->addActions({m_copyAction, m_selectAllAction, m_saveAction});
    connect(m_copyAction, &QAction::triggered, this, &TLineMonitorWindow::CopySelection);
    connect(m_selectAllAction, &QAction::triggered, m_view, &QTableView::selectAll);
    connect(m_saveAction, &QAction::triggered, this, &TLineMonitorWindow::ChooseFile);
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
    m_view->setColumnWidth(TMonitorModel::ColVerdict, 0); // WidenColumnsForTexts() fits the verdicts
    m_view->setColumnWidth(TMonitorModel::ColCommand, width("9 set-as-scale-end"));
    // A poll's answer, the longest frame of the chain, whole.
    const QFontMetrics fixed(QFontDatabase::systemFont(QFontDatabase::FixedFont));
    m_view->setColumnWidth(TMonitorModel::ColRaw, fixed.horizontalAdvance(QString(54, QLatin1Char('0'))) + 16);
}

// Widens the columns whose heading or verdicts the language's words do not
// fit; never narrows one (the technician may have widened it).
void TLineMonitorWindow::WidenColumnsForTexts()
{
    const auto widen = [this](int column, int width) {
        if (m_view->columnWidth(column) < width)
            m_view->setColumnWidth(column, width);
    };
    QFont bold = font();
    bold.setBold(true);
    const QFontMetrics boldMetrics(bold);
    int verdicts = 0;
    for (TVerdict v : MenuVerdicts)
        verdicts = std::max(verdicts, boldMetrics.horizontalAdvance(TMonitorModel::VerdictLabel(v)));
    for (const QString &label : TMonitorModel::SpecialVerdictLabels())
        verdicts = std::max(verdicts, boldMetrics.horizontalAdvance(label));
    widen(TMonitorModel::ColVerdict, verdicts + 16);
    const QFontMetrics heading = m_view->horizontalHeader()->fontMetrics();
    const int margin = 2 * m_view->horizontalHeader()->style()->pixelMetric(QStyle::PM_HeaderMargin) + 8;
    for (int c = 0; c < TMonitorModel::ColumnCount - 1; ++c)
        widen(c, heading.horizontalAdvance(m_model->headerData(c, Qt::Horizontal).toString()) + margin);
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
    m_pauseButton->setText(paused ? tr("Resume") : tr("Pause"));
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
        text = tr("All");
    else if (v == ProblemVerdicts)
        text = tr("Problems only");
    else if (v == 0)
        text = tr("None");
    else {
        QStringList names;
        for (const QAction *a : m_verdictMenu->actions())
            if (a->isCheckable() && (v & (1u << a->data().toInt())))
                names << a->text();
        text = names.size() <= 2 ? names.join(QStringLiteral(", ")) : tr("%n verdicts", nullptr, int(names.size()));
    }
    m_verdictButton->setText(text);
}

void TLineMonitorWindow::ShowStatus()
{
    const QLocale locale;
    // The counts go in with the locale's digit grouping; n only picks the noun's form.
    const auto count = [](uint64_t n) { return int(std::min<uint64_t>(n, uint64_t(INT_MAX))); };
    QStringList parts;
    parts << tr("%1 frames recorded, the last %2 kept (at most %3)", nullptr, count(m_recorded))
                 .arg(locale.toString(qulonglong(m_recorded)), locale.toString(qulonglong(m_ring.Size())),
                      locale.toString(qulonglong(m_ring.Capacity())));
    if (!m_model->Filter().All())
        parts.last() = tr("%1; %2 shown by the filter").arg(parts.last(), locale.toString(m_model->rowCount()));
    if (m_paused)
        parts << tr("Paused: %1 new frames wait for Resume", nullptr, count(m_model->Unseen()))
                     .arg(locale.toString(qulonglong(m_model->Unseen())));
    if (m_saveThread)
        parts << tr("Saving to %1…").arg(QDir::toNativeSeparators(m_savePath));
    else if (m_lastSave == TLastSave::Saved)
        parts << tr("Saved %1 frames to %2", nullptr, count(uint64_t(m_lastSaveRows)))
                     .arg(locale.toString(m_lastSaveRows), QDir::toNativeSeparators(m_savePath));
    else if (m_lastSave == TLastSave::Failed)
        parts << tr("Not saved");
    m_status->setText(parts.join(QStringLiteral(". ")));
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
    if (event->type() == QEvent::LanguageChange && m_model)
        Retranslate();
    QWidget::changeEvent(event);
}

void TLineMonitorWindow::Retranslate()
{
    setWindowTitle(tr("%1 — Line monitor").arg(TForm1::ProductName()));
    m_pauseButton->setText(m_paused ? tr("Resume") : tr("Pause"));
    m_pauseButton->setToolTip(tr("Freeze the list; frames are still recorded and shown on resuming (Space)"));
    m_clearButton->setText(tr("Clear"));
    m_clearButton->setToolTip(tr("Forget the frames recorded so far"));
    m_commandLabel->setText(tr("Command:"));
    m_commandBox->setToolTip(tr("Show the frames of one command only"));
    m_commandBox->setItemText(0, tr("All"));
    m_commandBox->setItemText(m_commandBox->findData(linemon::TFilter::OtherCommands), tr("Other commands"));
    m_commandBox->setItemText(m_commandBox->findData(linemon::TFilter::NoFrame), tr("No frame (noise, cut)"));
    m_verdictsLabel->setText(tr("Verdicts:"));
    m_verdictButton->setToolTip(tr("Show the frames of the checked verdicts only"));
    for (QAction *a : m_verdictMenu->actions())
        if (a->isCheckable())
            a->setText(a->data().toInt() == linemon::TFilter::SlaveErrorIndex ? TMonitorModel::SpecialVerdictLabels()[1]
                                                                                : TMonitorModel::VerdictLabel(TVerdict(a->data().toInt())));
    m_allVerdicts->setText(tr("All"));
    m_problemVerdicts->setText(tr("Problems only"));
    m_copyButton->setText(tr("Copy"));
    m_copyButton->setToolTip(tr("Copy the selected rows as text (Ctrl+C)"));
    m_saveButton->setText(tr("Save…"));
    m_saveButton->setToolTip(tr("Save the rows the list shows as text or CSV (Ctrl+S)"));
    m_copyAction->setText(tr("Copy rows"));
    m_selectAllAction->setText(tr("Select all"));
    m_saveAction->setText(tr("Save…"));
    // The rows' verdicts and headings are laid out anew in the new words.
    static_cast<TFrameDelegate *>(m_view->itemDelegate())->Forget();
    m_model->Retranslate();
    WidenColumnsForTexts();
    ShowVerdictFilter();
    ShowStatus();
}

QWidget *MakeLineMonitorWindow(TForm1 &form)
{
    return new TLineMonitorWindow(form);
}
