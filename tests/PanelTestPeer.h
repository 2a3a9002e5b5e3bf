// Test access to the panel's private state, and a started component on a fake link.
#pragma once

#include "FakeLink.h"
#include "MB.h"

#include <QImage>
#include <QLabel>
#include <QPalette>

#include <memory>

struct TPanelTestPeer {
    static void SetFrames(TMB &mb, quint32 tx, quint32 rx)
    {
        mb.m_MBNumberOfTxFrames = tx;
        mb.m_MBNumberOfRxFrames = rx;
    }
    static void SetProbeHint(TMB &mb, const QString &hint)
    {
        mb.m_probeHint = hint;
        mb.ShowProbeHint();
    }
    static quint16 SpeedCount(const TMB &mb) { return mb.m_SpeedCount; }
};

// A component after its start-up tick, with manual timers and a fake link;
// the port list is not probed.
struct TStartedPanel {
    TStartedPanel()
    {
        mb.SetManualTimers(true);
        link = UseFakeLink(mb);
        mb.setMBRefreshListOnStartup(false);
        mb.setPort(QStringLiteral("ttyFAKE0"));
        mb.SpeedTimer.Fire(); // the first tick runs StartUp
    }
    void Open() { mb.MBOpenPort(); }
    void Close() { mb.MBClosePort(); }
    // One second with n receive events.
    void Second(int n)
    {
        for (int i = 0; i < n; ++i)
            mb.CountSpeedEvent();
        mb.SpeedTimer.Fire();
    }
    TMB mb;
    std::shared_ptr<FakeLinkState> link;
};

inline QColor Background(const QWidget *w)
{
    return w->palette().color(QPalette::Window);
}
