// The port list: probing, selection, and the last port used.
#include "MB.h"
#include "PortProbe.h"

#include <QApplication>
#include <QListWidget>
#include <QPushButton>

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
    if (MBPortOpen())
        PortList->addItem(Port());

    if (PortList->count() > 0) {
        int selected = 0;
        for (int i = 0; i < PortList->count(); ++i)
            if (PortList->item(i)->text().compare(MBLastUsedPort(), Qt::CaseInsensitive) == 0) {
                selected = i;
                break;
            }
        PortList->setCurrentRow(selected);
        setMBLastUsedPort(PortList->item(selected)->text());
    }

    RefreshButton->setEnabled(true);
    OpenButton->setEnabled(PortList->count() > 0);
    QApplication::restoreOverrideCursor();
}

void TMB::SelectPort()
{
    if (QListWidgetItem *item = PortList->currentItem())
        setMBLastUsedPort(item->text());
}
