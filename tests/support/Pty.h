// A pseudo-terminal pair for tests that need a real terminal device.
//
// The master side stays with the test (it plays the other end of the line);
// the slave's path is what the code under test opens. Every descriptor is
// close-on-exec: a forked child that inherited the master would keep the line
// up after the test closes it.
#pragma once

#include <QByteArray>
#include <QString>

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
bool PublishVirtualPort(const QString &name, const QString &target);

// Makes the virtual-port directory a fresh private directory for this test
// program ($XDG_RUNTIME_DIR points into a temporary directory) and returns it.
QString UseScratchVirtualPortDir();
