// Test access to the panel's private state, and a started component on a fake link.
#pragma once

#include "FakeLink.h"
#include "MB.h"
#include "TestPeer.h"

#include <QFile>
#include <QImage>
#include <QTemporaryDir>
#include <QLabel>
#include <QPalette>

#include <memory>

struct TPanelTestPeer {
    static void SetFrames(TMB &mb, quint32 tx, quint32 rx)
    {
        Core(mb).m_MBNumberOfTxFrames = tx;
        Core(mb).m_MBNumberOfRxFrames = rx;
    }
    static void SetProbeHint(TMB &mb, const QString &hint) { TMBTestPeer::SetProbeHint(mb, hint); }
    static quint16 SpeedCount(TMB &mb) { return Core(mb).m_SpeedCount; }
};

// A component after its start-up tick, with manual timers and a fake link;
// the port list is not probed.
// The port list it probes (after a failed open) is an empty machine of its
// own, so what runs on the real one cannot change what the panel shows.
struct TQuietMachine {
    TQuietMachine()
    {
        m_probeRoot = qgetenv("KV508_PROBE_ROOT");
        m_runtime = qgetenv("XDG_RUNTIME_DIR");
        qputenv("KV508_PROBE_ROOT", QFile::encodeName(m_dir.path()));
        qputenv("XDG_RUNTIME_DIR", QFile::encodeName(m_dir.path()));
    }
    ~TQuietMachine()
    {
        Restore("KV508_PROBE_ROOT", m_probeRoot);
        Restore("XDG_RUNTIME_DIR", m_runtime);
    }
    static void Restore(const char *name, const QByteArray &value)
    {
        if (value.isNull())
            qunsetenv(name);
        else
            qputenv(name, value);
    }
    QTemporaryDir m_dir;
    QByteArray m_probeRoot, m_runtime;
};

struct TStartedPanel {
    TStartedPanel()
    {
        mb.SetManualTimers(true);
        link = UseFakeLink(mb);
        mb.setMBRefreshListOnStartup(false);
        mb.setPort(QStringLiteral("ttyFAKE0"));
        Core(mb).SpeedTimer.Fire(); // the first tick runs StartUp
    }
    void Open() { mb.MBOpenPort(); }
    void Close() { mb.MBClosePort(); }
    // One second with n receive events.
    void Second(int n)
    {
        for (int i = 0; i < n; ++i)
            Core(mb).CountSpeedEvent();
        Core(mb).SpeedTimer.Fire();
    }
    TQuietMachine machine;
    TMB mb;
    std::shared_ptr<FakeLinkState> link;
};

inline QColor Background(const QWidget *w)
{
    return w->palette().color(QPalette::Window);
}
