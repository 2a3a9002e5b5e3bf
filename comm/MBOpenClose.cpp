// The open/close sequence, the link's lifetime and the port list.
#include "MB.h"
#include "PortProbe.h"

#include <QApplication>
#include <QFrame>
#include <QLabel>
#include <QListWidget>
#include <QPushButton>

void TMB::MBOpenPort()
{
    if (m_MBPortOpen)
        return;
    OpenButton->setChecked(true);
    OpenButtonClick();
}

void TMB::MBClosePort()
{
    if (!m_MBPortOpen)
        return;
    OpenButton->setChecked(false);
    OpenButtonClick();
}

void TMB::OpenLink()
{
    if (m_LinkOpen)
        return;
    std::unique_ptr<TMBLink> link = m_linkFactory ? m_linkFactory() : nullptr;
    std::string error;
    if (!link || !link->Open(m_Port.toStdString(), m_baudRate, error)) {
        if (!link)
            error = "no serial link available";
        throw EComError(QStringLiteral("TMB : cannot open ") + m_Port + QLatin1Char('\r') + QString::fromStdString(error));
    }
    link->OnDataAvailable = [this](quint32 count) {
        if (m_MBPortOpen) {
            HandleRxData(count);
            return;
        }
        // Closing (a close step let events run): these bytes are not for the receiver.
        QByteArray sink(static_cast<qsizetype>(count), Qt::Uninitialized);
        m_link->ReadBytes(sink.data(), sink.size());
    };
    link->OnLineEvent = [this](quint32 mask, quint32 modem) { DispatchLineEvent(mask, modem); };
    link->OnHangUp = [this] { LinkHungUp(); };
    m_link = std::move(link);
    m_LinkOpen = true;
    if (OnPortOpened)
        OnPortOpened(this);
}

void TMB::CloseLink()
{
    if (!m_LinkOpen)
        return;
    m_LinkOpen = false;
    m_link->OnDataAvailable = nullptr;
    m_link->OnLineEvent = nullptr;
    m_link->OnHangUp = nullptr;
    m_link->Close();
    m_link.reset();
    if (OnPortClosed)
        OnPortClosed(this);
}

void TMB::LinkHungUp()
{
    // The line vanished under an open port: close as if asked to, so that a
    // transaction in flight ends and the user sees the closed view.
    if (m_MBPortOpen)
        MBClosePort();
    else
        CloseLink();
    RefreshPortList();
}

void TMB::OpenButtonClick()
{
    const bool wasOpen = m_MBPortOpen;
    if (OpenButton->isChecked()) {
        RefreshButton->setEnabled(false);
        PortList->setEnabled(false);
        SetOpenFrameColor(QColor(0, 128, 0));
        if (QListWidgetItem *item = PortList->currentItem())
            m_Port = item->text();
        PortLabel->setText(m_Port);
        const bool slave = m_MBMode == modeSlave || m_MBMode == modeASCIISlave;
        if (slave) {
            SetMBStatusNow(stnWaitingForCommand);
            ResetReceiver();
        } else {
            SetMBStatusNow(stnReady);
        }
        SetMBBusy(slave || m_MBMode == modeDiagnostic);
        if (m_MBMode == modeASCIISlave) {
            AnswerTimer.Stop();
            if (m_MBASCIISlaveTimeOut != 0)
                AnswerTimer.Arm(m_MBASCIISlaveTimeOut);
        }
        m_MBPortOpen = true;
        UpdateView();
        SetMBStatus(stOK);
        OpenButton->setText(QStringLiteral("Close"));
        try {
            OpenLink();
            m_MBThereWasOpenEvent = true;
            RestartSpeedWindow();
        } catch (const EComError &e) {
            m_lastOpenError = e.Message();
            OpenButton->setChecked(false);
            CloseSteps();
            CloseLink();
            SetOpenFrameColor(QColor(255, 0, 0));
            OpenButton->setText(QStringLiteral("Open"));
            RefreshPortList();
            ApplyTryVisibility();
            return;
        }
    } else {
        CloseSteps();
        OpenButton->setText(QStringLiteral("Open"));
        CloseLink();
    }
    ApplyTryVisibility();
    if (m_MBPortOpen != wasOpen && OnMBPortOpenedOrClosed)
        OnMBPortOpenedOrClosed(m_MBPortOpen);
}

// Close steps shared by a close and a failed open.
void TMB::CloseSteps()
{
    // Only a transaction that is still waiting is cut off. One that already
    // ended after a refused write keeps MBBusy true but has had its end event.
    const bool wasBusy = m_MBBusy && m_awaitingAnswer;
    RefreshButton->setEnabled(true);
    PortList->setEnabled(true);
    AnswerTimer.Stop();
    m_awaitingAnswer = false;
    m_MBPortOpen = false;
    ResetPanelState();
    SetOpenFrameColor(FaceColor());
    SetMBBusy(true);
    SetMBStatusNow(stnPortError);
    SetMBStatus(stClosedPort);
    ShowSpeed();
    UpdateView();
    if ((m_MBMode == modeMaster || m_MBMode == modeASCIIMaster) && wasBusy && OnMBMasterEndOfEvent)
        OnMBMasterEndOfEvent(m_MBStatus, m_MBStatusString);
    PushHistory();
    m_HistoryAddress = m_MBMasterAddressToSlave;
    m_HistoryCommand = m_MBMasterCommandToSlave;
    m_HistoryRepeat = 0;
    TrafficLabel->clear();
}

void TMB::DispatchLineEvent(quint32 mask, quint32 modemStatus)
{
    if ((mask & MBLineEvent::CTS) && OnCTSChange)
        OnCTSChange(!(modemStatus & MBModemStatus::CTS_ON));
    if ((mask & MBLineEvent::DSR) && OnDSRChange)
        OnDSRChange(!(modemStatus & MBModemStatus::DSR_ON));
    if ((mask & MBLineEvent::RLSD) && OnRLSDChange)
        OnRLSDChange(!(modemStatus & MBModemStatus::RLSD_ON));
    if ((mask & MBLineEvent::RING) && OnRingChange)
        OnRingChange(!(modemStatus & MBModemStatus::RING_ON));
    if ((mask & MBLineEvent::ERR) && OnLineError)
        OnLineError(this);
}

void TMB::RefreshPortList()
{
    if (!RefreshButton->isEnabled())
        return; // the port is open, or a refresh is running
    QFont font = RefreshButton->font();
    font.setBold(false);
    RefreshButton->setFont(font);
    RefreshButton->setEnabled(false);
    OpenButton->setEnabled(false);
    QApplication::setOverrideCursor(Qt::WaitCursor);

    const PortProbe::TProbeResult probe = PortProbe::Probe();
    m_probeHint = QString::fromStdString(probe.hint);
    PortList->clear();
    for (std::size_t i = probe.ports.size(); i-- > 0;) { // highest number first
        auto *item = new QListWidgetItem(QString::fromStdString(probe.ports[i]));
        // What sysfs knows shows for the item under the mouse; without it the
        // list's own tooltip (the probe hint) applies.
        if (i < probe.infos.size())
            item->setToolTip(QString::fromStdString(probe.infos[i].Description()));
        PortList->addItem(item);
    }
    if (m_MBPortOpen)
        PortList->addItem(m_Port);

    if (PortList->count() > 0) {
        int selected = 0;
        for (int i = 0; i < PortList->count(); ++i)
            if (PortList->item(i)->text().compare(m_MBLastUsedPort, Qt::CaseInsensitive) == 0) {
                selected = i;
                break;
            }
        PortList->setCurrentRow(selected);
        m_MBLastUsedPort = PortList->item(selected)->text();
    }

    RefreshButton->setEnabled(true);
    OpenButton->setEnabled(PortList->count() > 0);
    QApplication::restoreOverrideCursor();
}

void TMB::SelectPort()
{
    if (QListWidgetItem *item = PortList->currentItem())
        m_MBLastUsedPort = item->text();
}
