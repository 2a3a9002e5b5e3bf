// A pseudo-terminal pair for tests that need a real terminal device.
//
// The master side stays with the test (it plays the other end of the line);
// the slave's path is what the code under test opens. Every descriptor is
// close-on-exec: a forked child that inherited the master would keep the line
// up after the test closes it.
#pragma once

#include <QByteArray>
#include <QString>
#include <QStringList>

#include <sys/types.h>

class TPty
{
public:
    TPty();
    TPty(const TPty &) = delete;
    TPty &operator=(const TPty &) = delete;
    ~TPty();

    bool Valid() const { return m_master >= 0; }
    int Master() const { return m_master; }
    QString SlavePath() const { return m_slavePath; }

    // Writes all of bytes to the master side (the line), waiting for room as needed.
    bool Write(const QByteArray &bytes);
    // Reads what the slave side sent until count bytes have come or timeoutMs has
    // passed, running the Qt event loop meanwhile (so hand-overs keep flowing).
    QByteArray Read(qsizetype count, int timeoutMs = 5000);
    // Whatever is waiting now, without waiting.
    QByteArray ReadAvailable();
    // Closes the master: the slave side sees a hang-up.
    void Hangup();
    // Gives the master away (for a link that adopts it); the pair forgets it.
    int TakeMaster();

private:
    int m_master = -1;
    QString m_slavePath;
};

// Points name in the virtual-port directory at target (replacing an old link).
// A simulator's name (kv508sim...) is published as the simulator does: with
// its lock file, held by this process until ReleaseVirtualPortLock.
bool PublishVirtualPort(const QString &name, const QString &target);
// Lets go of the lock as a killed simulator would; the files stay behind.
void ReleaseVirtualPortLock(const QString &name);

// Another program ("sleep") that has paths open, and fd as its descriptor 9
// when given; it runs until EndHolder. Returns its pid, or -1.
pid_t SpawnHolder(const QStringList &paths, int fd = -1);
void EndHolder(pid_t pid);

// Tells whether anyone opened a file since the watch began.
class TOpenWatch
{
public:
    explicit TOpenWatch(const QString &path);
    TOpenWatch(const TOpenWatch &) = delete;
    TOpenWatch &operator=(const TOpenWatch &) = delete;
    ~TOpenWatch();
    bool Valid() const { return m_watch >= 0; }
    bool Opened() const;

private:
    int m_fd = -1;
    int m_watch = -1;
};

// A serial port in a fake /sys and /dev under root (the KV508_PROBE_ROOT
// layout): /dev/NAME links to target, /sys/class/tty/NAME has a device with
// driver behind it (none when driver is empty) and, given vidPid, a USB device
// above it with descriptors.
struct TFakeUsb {
    QString vid, pid, manufacturer, product, serial;
};
bool AddFakeSerialPort(const QString &root, const QString &name, const QString &target, const QString &driver,
                       const TFakeUsb *usb = nullptr);

// Makes the virtual-port directory a fresh private directory for this test
// program ($XDG_RUNTIME_DIR points into a temporary directory) and returns it.
QString UseScratchVirtualPortDir();
