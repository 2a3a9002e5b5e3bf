// The component's own panel: a view over the engine's state.
#include "MB.h"
#include "NumberFormat.h"

#include <QComboBox>
#include <QFrame>
#include <QLabel>
#include <QListWidget>
#include <QPushButton>

namespace {

QLabel *MakeLabel(QWidget *parent, int x, int y, int w, int h, const QString &text)
{
    auto *l = new QLabel(text, parent);
    l->setGeometry(x, y, w, h);
    return l;
}

} // namespace

void TMB::CreatePanel()
{
    TxIdLabel = MakeLabel(this, 12, 13, 28, 13, QStringLiteral("---"));
    RxIdLabel = MakeLabel(this, 12, 26, 28, 13, QStringLiteral("---"));
    TxLamp = MakeLabel(this, 4, 13, 8, 13, QStringLiteral("T"));
    RxLamp = MakeLabel(this, 4, 26, 8, 13, QStringLiteral("R"));
    SpeedLabel = MakeLabel(this, 5, 40, 120, 13, QStringLiteral("0"));
    PortList = new QListWidget(this);
    PortList->setGeometry(5, 56, 88, 44);
    QObject::connect(PortList, &QListWidget::itemClicked, this, [this] { SelectPort(); });
    OpenFrame = new QFrame(this);
    OpenFrame->setGeometry(97, 56, 55, 21);
    RefreshButton = new QPushButton(QStringLiteral("Ref"), this);
    RefreshButton->setGeometry(97, 81, 28, 19);
    RefreshButton->setToolTip(QStringLiteral("Refresh list"));
    QObject::connect(RefreshButton, &QPushButton::clicked, this, [this] { RefreshPortList(); });
    OpenButton = new QPushButton(QStringLiteral("Open"), this);
    OpenButton->setGeometry(99, 58, 51, 17);
    OpenButton->setCheckable(true);
    OpenButton->setEnabled(false);
    QObject::connect(OpenButton, &QPushButton::clicked, this, [this] { OpenButtonClick(); });
    BaudCombo = new QComboBox(this);
    BaudCombo->setGeometry(5, 119, 144, 25);
    BaudCombo->hide();
    BaudLabel = MakeLabel(this, 5, 115, 143, 15, QString());
    BaudLabel->hide();
    TryLabel = MakeLabel(this, 131, 40, 24, 13, QString());
    TryLabel->hide();
    TxFramesLabel = MakeLabel(this, 68, 13, 85, 13, QStringLiteral("0 F"));
    RxFramesLabel = MakeLabel(this, 68, 26, 85, 13, QStringLiteral("0 F"));
    StatusLine = MakeLabel(this, 2, 103, 149, 13, QStringLiteral("Last status: Closed Port"));
    HistoryLabel = MakeLabel(this, 6, 129, 145, 13, QString());
    OpenViewPanel = new QFrame(this);
    OpenViewPanel->setGeometry(5, 56, 88, 44);
    OpenViewPanel->hide();
    PortLabel = MakeLabel(OpenViewPanel, 2, 0, 84, 13, QString());
    TrafficLabel = MakeLabel(OpenViewPanel, 2, 11, 84, 13, QString());
    TxCountLabel = MakeLabel(this, 43, 13, 21, 13, QStringLiteral("0"));
    RxCountLabel = MakeLabel(this, 43, 26, 21, 13, QStringLiteral("0"));
    ClearButton = new QPushButton(QStringLiteral("C"), this);
    ClearButton->setGeometry(128, 81, 23, 19);
    ClearButton->setToolTip(QStringLiteral("Clear all counters"));
    QObject::connect(ClearButton, &QPushButton::clicked, this, [this] { ClearAllCounters(); });
    ChartImage = MakeLabel(OpenViewPanel, 1, 24, 86, 19, QString());
    ChartBufferPixels = QImage(86, 19, QImage::Format_RGB32);
    ChartImagePixels = QImage(86, 19, QImage::Format_RGB32);
}

void TMB::ResetLamp(bool) {}
void TMB::SelectBaudInCombo() {}
void TMB::ApplyTryVisibility()
{
    TryLabel->setVisible(m_TryDisplayEnabled && m_MBPortOpen);
}
void TMB::SetOpenFrameColor(const QColor &) {}
void TMB::FlashTxLamp() {}
void TMB::FlashRxLamp() {}
void TMB::ShowTxCount()
{
    TxCountLabel->setText(m_MBDataNumberToSend > 999 ? QStringLiteral(">1k") : QString::number(m_MBDataNumberToSend));
}
void TMB::ShowRxCount(quint16 length)
{
    RxCountLabel->setText(length > 999 ? QStringLiteral(">1k") : QString::number(length));
}
void TMB::ShowTry(quint8 n)
{
    if (n > m_MBMasterTryNumberMax)
        m_MBMasterTryNumberMax = n;
    TryLabel->setText(QString::number(n) + QLatin1Char('/') + QString::number(m_MBMasterTryNumberMax));
}
void TMB::ShowTraffic(quint8, quint8) {}
void TMB::PushHistory() {}
void TMB::ClearHistory() {}
void TMB::ResetPanelState()
{
    m_MBMasterTryNumberMax = 0;
    ShowTry(0);
}
void TMB::UpdateView()
{
    PortList->setVisible(!m_MBPortOpen);
    OpenViewPanel->setVisible(m_MBPortOpen);
}
void TMB::ShowBaudRate() {}
void TMB::ShowStatusLine()
{
    StatusLine->setText(QStringLiteral("Last status: ") + m_MBStatusString);
}
void TMB::ShowRxId(const QString &text) { RxIdLabel->setText(text); }
void TMB::ShowTxId(quint8 id) { TxIdLabel->setText(QStringLiteral("%1").arg(id, 3, 10, QLatin1Char('0'))); }
void TMB::StartUp() { m_startUpPending = false; }
void TMB::SpeedTimerTick()
{
    if (m_startUpPending)
        StartUp();
    else
        SampleSpeed();
}

// ---- counters and speed ----
void TMB::ShowCounters() {}
void TMB::CountSpeedEvent()
{
    ++m_SpeedCount;
    ShowCounters();
}
void TMB::RestartSpeedWindow()
{
    SpeedTimer.Stop();
    m_SpeedCount = 0;
    SpeedTimer.Start();
}
void TMB::ResetSpeedRange()
{
    m_SpeedMin = m_MBSpeed;
    m_MBSpeedMax = m_MBSpeed;
    ShowSpeed();
}
void TMB::ShowSpeed() {}
void TMB::SampleSpeed()
{
    m_MBSpeed = m_MBPortOpen ? m_SpeedCount : 0;
    m_SpeedCount = 0;
    ShowSpeed();
}
void TMB::DrawChart() {}
void TMB::ClearChart(QImage &) {}
void TMB::ClearAllCounters() {}
QString TMB::FormatSpeed(quint32 value) const
{
    return value < 1000 ? QString::number(value) : NumberFormat::Format(value / 1000.0, QStringLiteral("0.0")) + QLatin1Char('k');
}
