// The port list: probing, selection, and the last port used.
#include "MB.h"
#include "PortProbe.h"

#include <QApplication>
#include <QListWidget>
#include <QPushButton>
#include <QTimer>

#include <algorithm>

void TMB::RefreshPortList()
{
    RefreshPortList(true);
}

void TMB::RefreshPortList(bool busyCursor)
{
    if (!RefreshButton->isEnabled())
        return; // the port is open, or a refresh is running
    QFont font = RefreshButton->font();
    font.setBold(false);
    RefreshButton->setFont(font);
    RefreshButton->setEnabled(false);
    OpenButton->setEnabled(false);
    if (busyCursor)
        QApplication::setOverrideCursor(Qt::WaitCursor);

    m_probe = std::make_shared<const PortProbe::TProbeResult>(PortProbe::Probe());
    const PortProbe::TProbeResult &probe = *m_probe;
    m_probeHint = QString::fromStdString(probe.hint);
    PortList->clear();
    for (std::size_t i = probe.ports.size(); i-- > 0;) { // highest number first
        auto *item = new QListWidgetItem(QString::fromStdString(probe.ports[i]));
        // What sysfs knows shows for the item under the mouse; without it the
        // list's own tooltip (the probe hint) applies.
        if (i < probe.infos.size()) {
            item->setToolTip(QString::fromStdString(probe.infos[i].Description()));
            item->setData(Qt::UserRole, QString::fromStdString(probe.infos[i].Identity()));
        }
        PortList->addItem(item);
    }
    if (MBPortOpen()) {
        PortList->addItem(Port());
        PortList->item(PortList->count() - 1)->setData(Qt::UserRole, PortIdentity());
    }

    if (PortList->count() > 0) {
        // The adapter asked for, under whatever name it has now; else the last name used.
        int selected = m_preferredIdentity.isEmpty() ? -1 : FindPort(m_preferredIdentity);
        if (selected < 0)
            for (int i = 0; i < PortList->count(); ++i)
                if (PortList->item(i)->text().compare(MBLastUsedPort(), Qt::CaseInsensitive) == 0) {
                    selected = i;
                    break;
                }
        PortList->setCurrentRow(std::max(selected, 0));
        setMBLastUsedPort(PortList->currentItem()->text());
    }

    RefreshButton->setEnabled(true);
    OpenButton->setEnabled(PortList->count() > 0);
    if (busyCursor)
        QApplication::restoreOverrideCursor();
}

QString TMB::PortKeyOf(const QString &name) const
{
    for (int i = 0; i < PortList->count(); ++i) {
        const QListWidgetItem *item = PortList->item(i);
        if (item->text() == name) {
            const QString identity = item->data(Qt::UserRole).toString();
            if (!identity.isEmpty())
                return identity;
        }
    }
    return QStringLiteral("name ") + name; // nothing better known: the name itself
}

int TMB::FindPort(const QString &key) const
{
    if (!m_probe || key.isEmpty())
        return -1;
    const bool byName = key.startsWith(QLatin1String("name "));
    const int found = PortProbe::FindPort(*m_probe, byName ? std::string() : key.toStdString(),
                                          byName ? key.mid(5).toStdString() : std::string());
    if (found < 0)
        return -1;
    const QString name = QString::fromStdString(m_probe->ports[std::size_t(found)]);
    for (int i = 0; i < PortList->count(); ++i)
        if (PortList->item(i)->text() == name)
            return i;
    return -1;
}

// ---- coming back after a hang-up ---------------------------------------------------------

void TMB::SetReconnectOnHangUp(bool on)
{
    m_reconnectOnHangUp = on;
    if (!on)
        StopReconnecting();
}

QString TMB::PortIdentity() const
{
    return m_portKey.startsWith(QLatin1String("name ")) ? QString() : m_portKey;
}

void TMB::SetPreferredIdentity(const QString &identity)
{
    m_preferredIdentity = identity;
}

bool TMB::Reconnecting() const
{
    return m_reconnectTimer && m_reconnectTimer->isActive();
}

QString TMB::ReconnectingText() const
{
    const QString who = m_portKey.startsWith(QLatin1String("name ")) ? tr("port %1").arg(m_portKey.mid(5)) : m_portKey;
    return tr("Waiting for %1 (lost as %2) to return, for up to a minute; press any button of this panel to stop.")
        .arg(who, m_lostPort);
}

void TMB::StartReconnecting()
{
    if (m_portKey.isEmpty())
        return;
    if (!m_reconnectTimer) {
        m_reconnectTimer = new QTimer(this);
        m_reconnectTimer->setInterval(ReconnectIntervalMs);
        QObject::connect(m_reconnectTimer, &QTimer::timeout, this, [this] { ReconnectTick(); });
    }
    m_lostPort = Port();
    m_reconnectUntil.setRemainingTime(ReconnectWindowMs);
    m_reconnectTimer->start();
    ApplyStatusLineText();
    if (OnReconnectingChanged)
        OnReconnectingChanged(true);
}

void TMB::StopReconnecting()
{
    if (!Reconnecting())
        return;
    m_reconnectTimer->stop();
    ApplyStatusLineText();
    if (OnReconnectingChanged)
        OnReconnectingChanged(false);
}

void TMB::ReconnectTick()
{
    if (MBPortOpen() || m_reconnectUntil.hasExpired()) {
        StopReconnecting();
        return;
    }
    RefreshPortList(false); // the technician sees the list as it is now
    const int row = FindPort(m_portKey);
    if (row < 0)
        return;
    PortList->setCurrentRow(row);
    setMBLastUsedPort(PortList->item(row)->text());
    m_engine->MBOpenPort(); // a failed open keeps waiting: the device may still be settling
    if (MBPortOpen())
        StopReconnecting();
}

void TMB::SelectPort()
{
    if (QListWidgetItem *item = PortList->currentItem())
        setMBLastUsedPort(item->text());
}
