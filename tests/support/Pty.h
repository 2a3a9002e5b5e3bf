// The test tools of PtyTools.h with Qt's strings, for the Qt tests; reads run
// the Qt event loop meanwhile.
#pragma once

#include "PtyTools.h"

#include <QByteArray>
#include <QString>
#include <QStringList>

#include <sys/types.h>

class TPty
{
public:
    TPty() = default;
    TPty(const TPty &) = delete;
    TPty &operator=(const TPty &) = delete;

    bool Valid() const { return m_pair.Valid(); }
    int Master() const { return m_pair.Master(); }
    QString SlavePath() const { return QString::fromStdString(m_pair.SlavePath()); }

    // Writes all of bytes to the master side (the line), waiting for room as needed.
    bool Write(const QByteArray &bytes);
    // Reads what the slave side sent until count bytes have come or timeoutMs has
    // passed, running the Qt event loop meanwhile (so hand-overs keep flowing).
    QByteArray Read(qsizetype count, int timeoutMs = 5000);
    // Whatever is waiting now, without waiting.
    QByteArray ReadAvailable();
    // Closes the master: the slave side sees a hang-up.
    void Hangup() { m_pair.Hangup(); }
    // Gives the master away (for a link that adopts it); the pair forgets it.
    int TakeMaster() { return m_pair.TakeMaster(); }

private:
    PtyTools::TPtyPair m_pair;
};

// Points name in the virtual-port directory at target (replacing an old link).
// A simulator's name (kv508sim...) is published as the simulator does: with
// its lock file, held by this process until ReleaseVirtualPortLock.
bool PublishVirtualPort(const QString &name, const QString &target, const QString &serial = {});
// Lets go of the lock as a killed simulator would; the files stay behind.
void ReleaseVirtualPortLock(const QString &name);

// Another program ("sleep") that has paths open, and fd as its descriptor 9
// when given; it runs until EndHolder. Returns its pid, or -1.
pid_t SpawnHolder(const QStringList &paths, int fd = -1);
using PtyTools::EndHolder;

// Tells whether anyone opened a file since the watch began.
class TOpenWatch : public PtyTools::TOpenWatch
{
public:
    explicit TOpenWatch(const QString &path) : PtyTools::TOpenWatch(path.toStdString()) {}
};

// A serial port in a fake /sys and /dev under root: see PtyTools.h.
struct TFakeUsb {
    QString vid, pid, manufacturer, product, serial;
};
bool AddFakeSerialPort(const QString &root, const QString &name, const QString &target, const QString &driver,
                       const TFakeUsb *usb = nullptr);

// Makes the virtual-port directory a fresh private directory for this test
// program ($XDG_RUNTIME_DIR points into a temporary directory) and returns it.
QString UseScratchVirtualPortDir();
