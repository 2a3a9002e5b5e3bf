// The component's own panel: a view over the engine's state. The display
// routines only set texts, colours and visibility; the engine never reads
// anything back from the controls.
#include "MB.h"
#include "MBLamp.h"
#include "NumberFormat.h"

#include <QAbstractItemModel>
#include <QComboBox>
#include <QFont>
#include <QFontMetrics>
#include <QFrame>
#include <QLabel>
#include <QListWidget>
#include <QPalette>
#include <QPushButton>
#include <QStyledItemDelegate>

#include <chrono>

namespace {

// The design's fonts are 8 point at 96 dpi: 11 device-independent pixels.
constexpr int kFontPixels = 11;

const QColor kOrange(249, 124, 0);
const QColor kGreen(0, 128, 0);
const QColor kRed(255, 0, 0);

QFont DesignFont(const QString &family, QFont::StyleHint hint)
{
    QFont f(family);
    f.setStyleHint(hint);
    f.setPixelSize(kFontPixels);
    return f;
}

QFont ArialFont() { return DesignFont(QStringLiteral("Arial"), QFont::SansSerif); }
QFont CourierFont() { return DesignFont(QStringLiteral("Courier New"), QFont::Monospace); }

QLabel *MakeLabel(QWidget *parent, const QRect &geometry, const QString &text, const QFont *font,
                  Qt::Alignment alignment = Qt::AlignLeft)
{
    auto *l = new QLabel(text, parent);
    l->setGeometry(geometry);
    // The design's labels keep their size: a new text then asks the panel for
    // no layout pass (a posted event, a wake-up of the loop, at every count).
    if (geometry.width() > 0)
        l->setFixedSize(geometry.size());
    if (font)
        l->setFont(*font);
    l->setAlignment(alignment | Qt::AlignVCenter);
    return l;
}

// Background of an opaque control; a no-op when the colour is already there,
// so a lamp flashed by every write costs no repaint while it is lit.
void SetBackground(QWidget *w, const QColor &color)
{
    if (w->palette().color(QPalette::Window) == color)
        return;
    QPalette p = w->palette();
    p.setColor(QPalette::Window, color);
    w->setPalette(p);
}

void MakeOpaque(QWidget *w)
{
    w->setAutoFillBackground(true);
    QPalette p = w->palette();
    p.setColor(QPalette::Window, TMB::FaceColor());
    w->setPalette(p);
}

// Rows of a fixed height, as the design's list boxes have.
class TFixedRowDelegate : public QStyledItemDelegate
{
public:
    TFixedRowDelegate(int height, QObject *parent) : QStyledItemDelegate(parent), m_height(height) {}
    QSize sizeHint(const QStyleOptionViewItem &option, const QModelIndex &index) const override
    {
        QSize s = QStyledItemDelegate::sizeHint(option, index);
        s.setHeight(m_height);
        return s;
    }

private:
    int m_height;
};

} // namespace

void TMB::CreatePanel()
{
    // Children take the design's default font unless they name another.
    setFont(ArialFont());
    const QFont arial = ArialFont();
    const QFont courier = CourierFont();

    TxIdLabel = MakeLabel(this, QRect(12, 13, 28, 13), QStringLiteral("---"), &courier);
    RxIdLabel = MakeLabel(this, QRect(12, 26, 28, 13), QStringLiteral("---"), &courier);
    for (QLabel **lamp : {&TxLamp, &RxLamp}) {
        const bool tx = lamp == &TxLamp;
        *lamp = new TMBLamp(tx ? QStringLiteral("T") : QStringLiteral("R"), this);
        (*lamp)->setGeometry(4, tx ? 13 : 26, 8, 13);
        (*lamp)->setFont(courier);
        (*lamp)->setAlignment(Qt::AlignLeft | Qt::AlignVCenter);
        MakeOpaque(*lamp);
    }
    SpeedLabel = MakeLabel(this, QRect(5, 40, 0, 13), QStringLiteral("0"), nullptr);
    SpeedLabel->adjustSize();

    PortList = new QListWidget(this);
    PortList->setGeometry(5, 56, 88, 44);
    PortList->setFont(arial);
    PortList->setUniformItemSizes(true);
    PortList->setItemDelegate(new TFixedRowDelegate(13, PortList));
    PortList->setSelectionMode(QAbstractItemView::SingleSelection);
    QObject::connect(PortList, &QListWidget::itemClicked, this, [this] { StopReconnecting(); SelectPort(); });
    // The probe may run from places the panel does not own (a failed open, a
    // hang-up); any change of the list brings its hint up to date afterwards.
    QAbstractItemModel *ports = PortList->model();
    const auto hintLater = [this] { ShowProbeHint(); };
    QObject::connect(ports, &QAbstractItemModel::modelReset, this, hintLater, Qt::QueuedConnection);
    QObject::connect(ports, &QAbstractItemModel::rowsInserted, this, hintLater, Qt::QueuedConnection);
    QObject::connect(ports, &QAbstractItemModel::rowsRemoved, this, hintLater, Qt::QueuedConnection);

    OpenFrame = new QFrame(this);
    OpenFrame->setGeometry(97, 56, 55, 21);
    OpenFrame->setFrameStyle(QFrame::Box | QFrame::Plain);
    OpenFrame->setLineWidth(1);
    MakeOpaque(OpenFrame);
    {
        QPalette p = OpenFrame->palette();
        p.setColor(QPalette::WindowText, Qt::black); // the outline
        OpenFrame->setPalette(p);
    }

    RefreshButton = new QPushButton(this);
    RefreshButton->setGeometry(97, 81, 28, 19);
    QObject::connect(RefreshButton, &QPushButton::clicked, this, [this] { StopReconnecting(); RefreshButtonClick(); });

    OpenButton = new QPushButton(this); // above OpenFrame: created after it
    OpenButton->setGeometry(99, 58, 51, 17);
    OpenButton->setCheckable(true);
    OpenButton->setEnabled(false);
    QObject::connect(OpenButton, &QPushButton::clicked, this, [this] { StopReconnecting(); OpenButtonClicked(); });

    BaudCombo = new QComboBox(this);
    BaudCombo->setGeometry(5, 119, 144, 25);
    BaudCombo->setEditable(false);
    BaudCombo->setItemDelegate(new TFixedRowDelegate(13, BaudCombo));
    BaudCombo->hide();
    // activated: the user's choice only, never a selection made by the code.
    QObject::connect(BaudCombo, &QComboBox::activated, this, [this](int index) { StopReconnecting(); BaudComboActivated(index); });

    BaudLabel = MakeLabel(this, QRect(5, 115, 143, 15), QString(), nullptr, Qt::AlignHCenter);
    BaudLabel->hide();
    TryLabel = MakeLabel(this, QRect(131, 40, 24, 13), QString(), &courier);
    TryLabel->hide();
    TxFramesLabel = MakeLabel(this, QRect(68, 13, 85, 13), QStringLiteral("0 F"), &arial, Qt::AlignRight);
    RxFramesLabel = MakeLabel(this, QRect(68, 26, 85, 13), QStringLiteral("0 F"), &arial, Qt::AlignRight);
    StatusLine = MakeLabel(this, QRect(2, 103, 149, 13), QString(), &arial, Qt::AlignHCenter);
    MakeOpaque(StatusLine);
    HistoryLabel = MakeLabel(this, QRect(6, 129, 145, 13), QString(), &arial, Qt::AlignRight);

    OpenViewPanel = new QFrame(this);
    OpenViewPanel->setGeometry(5, 56, 88, 44);
    OpenViewPanel->setFrameStyle(QFrame::Panel | QFrame::Sunken);
    OpenViewPanel->setLineWidth(1);
    OpenViewPanel->setFont(arial);
    OpenViewPanel->hide();
    PortLabel = MakeLabel(OpenViewPanel, QRect(2, 0, 84, 13), QString(), &arial, Qt::AlignHCenter);
    TrafficLabel = MakeLabel(OpenViewPanel, QRect(2, 11, 84, 13), QString(), &arial, Qt::AlignHCenter);

    TxCountLabel = MakeLabel(this, QRect(43, 13, 21, 13), QStringLiteral("0"), &courier, Qt::AlignRight);
    RxCountLabel = MakeLabel(this, QRect(43, 26, 21, 13), QStringLiteral("0"), &courier, Qt::AlignRight);

    ClearButton = new QPushButton(this);
    ClearButton->setGeometry(128, 81, 23, 19);
    QObject::connect(ClearButton, &QPushButton::clicked, this, [this] { StopReconnecting(); ClearAllCounters(); });

    ChartImage = MakeLabel(OpenViewPanel, QRect(1, 24, 86, 19), QString(), nullptr);
    ChartImage->setAlignment(Qt::AlignLeft | Qt::AlignTop);
    ChartBufferPixels = QImage(86, 19, QImage::Format_RGB32);
    ChartImagePixels = QImage(86, 19, QImage::Format_RGB32);
    ClearChart(ChartBufferPixels);
    ClearChart(ChartImagePixels);
    RetranslatePanel();
}

void TMB::RetranslatePanel()
{
    RefreshButton->setText(tr("Ref"));
    RefreshButton->setToolTip(tr("Refresh list"));
    ClearButton->setText(tr("C"));
    ClearButton->setToolTip(tr("Clear all counters"));
    OpenButton->setText(m_engine->MBPortOpen() ? tr("Close") : tr("Open"));
    ApplyStatusLineText();
    if (BaudCombo->count() > 0)
        for (int i = 0; i < BaudCombo->count(); ++i)
            BaudCombo->setItemText(i, BaudRateText(i));
    if (!BaudLabel->text().isEmpty())
        ShowBaudRate();
}

QString TMB::BaudRateText(int index)
{
    return tr("%1 baud").arg(BaudRateOf(static_cast<TMBBaud>(index)));
}

// ---- the panel's own inputs ---------------------------------------------------------

void TMB::RefreshButtonClick()
{
    RefreshPortList();
    ShowProbeHint();
}

void TMB::OpenButtonClicked()
{
    // The click has already toggled the button.
    if (OpenButton->isChecked())
        m_engine->MBOpenPort();
    else
        m_engine->MBClosePort();
    ShowProbeHint(); // a failed open probes the list again
}

void TMB::BaudComboActivated(int index)
{
    // Same table as MBBaud; anything outside it (no selection included) is 9600.
    m_engine->SetBaudRate((index >= 0 && index <= 20) ? BaudRateOf(static_cast<TMBBaud>(index)) : 9600);
}

// ---- display routines -----------------------------------------------------------------

qint64 TMB::SteadyMs()
{
    return std::chrono::duration_cast<std::chrono::milliseconds>(std::chrono::steady_clock::now().time_since_epoch())
        .count();
}

void TMB::ResetLamp(bool tx)
{
    static_cast<TMBLamp *>(tx ? TxLamp : RxLamp)->SetColor(FaceColor());
}

// A lamp nearly through its flash goes out with this change of the panel
// rather than alone a moment later: at most a screen frame early, and a poll
// then costs one repaint and one wake-up less (the answer's lamp and the next
// query's).
void TMB::LampOutWithThisChange(bool tx)
{
    constexpr qint64 kFrameMs = 17;
    mbcore::TTimer &timer = tx ? TxLampTimer : RxLampTimer;
    const qint64 litAt = tx ? m_txLitAtMs : m_rxLitAtMs;
    if (timer.Enabled() && !timer.Manual() && SteadyMs() - litAt >= timer.Interval() - kFrameMs) {
        timer.Stop();
        ResetLamp(tx);
    }
}

void TMB::ApplyTryVisibility()
{
    TryLabel->setVisible(m_engine->TryDisplayEnabled() && m_engine->MBPortOpen());
}

void TMB::SetOpenFrameColor(const QColor &color)
{
    SetBackground(OpenFrame, color);
}

void TMB::FlashTxLamp()
{
    LampOutWithThisChange(false);
    TxLampTimer.Stop();
    static_cast<TMBLamp *>(TxLamp)->SetColor(kOrange);
    m_txLitAtMs = SteadyMs();
    TxLampTimer.SetInterval(50);
    TxLampTimer.Start();
}

void TMB::FlashRxLamp()
{
    LampOutWithThisChange(true);
    RxLampTimer.Stop();
    static_cast<TMBLamp *>(RxLamp)->SetColor(kOrange);
    m_rxLitAtMs = SteadyMs();
    RxLampTimer.SetInterval(50);
    RxLampTimer.Start();
}

// The answer's first characters wake the program anyway: a query's lamp
// nearly through its flash goes out now rather than wake it alone.
void TMB::CharactersCame()
{
    LampOutWithThisChange(true);
}

void TMB::TxLampOff()
{
    TxLampTimer.Stop();
    ResetLamp(true);
}

void TMB::ShowTxCount()
{
    const quint16 n = m_engine->MBDataNumberToSend();
    TxCountLabel->setText(n > 999 ? QStringLiteral(">1k") : QString::number(n));
}

void TMB::ShowRxCount(uint16_t length)
{
    RxCountLabel->setText(length > 999 ? QStringLiteral(">1k") : QString::number(length));
}

void TMB::ShowTry(uint8_t n)
{
    TryLabel->setText(QString::number(n) + QLatin1Char('/') + QString::number(m_engine->MBMasterTryNumberMax()));
}

void TMB::ShowTraffic()
{
    TrafficLabel->setText(Q(m_engine->TrafficText()));
    HistoryLabel->setText(Q(m_engine->HistoryText()));
}

void TMB::ResetPanelState()
{
    ResetLamp(true);
    ResetLamp(false);
    SetBackground(StatusLine, FaceColor());
    if (!m_engine->MBPortOpen())
        SetOpenFrameColor(FaceColor());
}

void TMB::UpdateView()
{
    const bool open = m_engine->MBPortOpen();
    const bool combo = m_engine->MBBaudEditVisible() && !open;
    BaudCombo->setVisible(combo);
    BaudLabel->setVisible(!combo);
    PortList->setVisible(!open);
    OpenViewPanel->setVisible(open);
}

void TMB::ShowMode(mbcore::TMBMode mode)
{
    const QString text = ModeText(static_cast<TMBMode>(mode)) + VersionText();
    if (text != title()) {
        ForgetFace(); // the title is part of the face
        setTitle(text);
    }
    ApplyTryVisibility();
}

void TMB::ShowBaudRate()
{
    // Before StartUp the selector has no items; StartUp selects again.
    if (BaudCombo->count() > 0)
        BaudCombo->setCurrentIndex(static_cast<int>(MBBaud()));
    const QString rate = NumberFormat::Format(m_engine->BaudRate(), QStringLiteral("# ### ##0"));
    BaudLabel->setText(tr("%1 bits / second").arg(rate));
}

void TMB::ShowStatusLine()
{
    m_ShownStatus = MBStatusString();
    SetBackground(StatusLine, StatusColor(MBStatus()));
    ApplyStatusLineText();
}

void TMB::ShowProbeHint()
{
    if (PortList->toolTip() != m_probeHint)
        PortList->setToolTip(m_probeHint);
    ApplyStatusLineText();
}

void TMB::ApplyStatusLineText()
{
    // A closed panel with nothing to pick tells why the list is empty instead
    // of the last status; the whole hint is in the tooltip.
    QString tip;
    if (Reconnecting()) {
        StatusLine->setText(tr("Reconnecting…"));
        tip = ReconnectingText();
    } else if (!m_engine->MBPortOpen() && PortList->count() == 0 && !m_probeHint.isEmpty()) {
        const QFontMetrics fm(StatusLine->font());
        StatusLine->setText(fm.elidedText(m_probeHint, Qt::ElideRight, StatusLine->width() - 2));
        tip = m_probeHint;
    } else {
        StatusLine->setText(tr("Last status: %1").arg(m_ShownStatus));
    }
    if (StatusLine->toolTip() != tip)
        StatusLine->setToolTip(tip);
}

void TMB::ShowRxId(const std::string &text)
{
    RxIdLabel->setText(Q(text));
}

void TMB::ShowTxId(uint8_t id)
{
    TxIdLabel->setText(QStringLiteral("%1").arg(id, 3, 10, QLatin1Char('0')));
}

// ---- the open/close sequence as the panel shows it ------------------------------------

void TMB::Opening()
{
    OpenButton->setChecked(true);
    RefreshButton->setEnabled(false);
    PortList->setEnabled(false);
    SetOpenFrameColor(kGreen);
    if (QListWidgetItem *item = PortList->currentItem())
        setPort(item->text());
    m_portKey = PortKeyOf(Port());
    PortLabel->setText(Port());
}

void TMB::Opened()
{
    OpenButton->setText(tr("Close"));
}

void TMB::OpenFailed()
{
    OpenButton->setChecked(false);
    SetOpenFrameColor(kRed);
    OpenButton->setText(tr("Open"));
    RefreshPortList();
    ShowProbeHint();
}

void TMB::Closing()
{
    OpenButton->setChecked(false);
    RefreshButton->setEnabled(true);
    PortList->setEnabled(true);
}

void TMB::Closed()
{
    OpenButton->setText(tr("Open"));
}

void TMB::PortVanished()
{
    RefreshPortList();
    ShowProbeHint();
    if (m_reconnectOnHangUp)
        StartReconnecting();
}

// ---- deferred start-up ----------------------------------------------------------------

void TMB::StartUpPanel()
{
    if (BaudCombo->count() == 0) {
        QStringList rates;
        for (int i = 0; i <= 20; ++i)
            rates << BaudRateText(i);
        BaudCombo->addItems(rates);
    }
    setMBBaud(MBBaud());
    if (MBRefreshListOnStartup()) {
        RefreshPortList();
    } else {
        QFont f = RefreshButton->font();
        f.setBold(true); // the list is stale until the user refreshes it
        RefreshButton->setFont(f);
    }
    RefreshButton->setEnabled(true);
}

void TMB::StartUpDone()
{
    ShowProbeHint();
}
