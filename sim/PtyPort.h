// The simulator's pseudo-terminal and its name among the virtual ports.
#pragma once

#include <QString>

namespace sim {

class PtyPort
{
public:
    PtyPort() = default;
    ~PtyPort();
    PtyPort(const PtyPort &) = delete;
    PtyPort &operator=(const PtyPort &) = delete;

    // Creates the pair, sets the terminal side raw and keeps it open, so that a
    // program closing its own descriptor of the terminal does not hang up ours.
    bool Open(QString &error);
    int MasterFd() const { return m_master; }
    QString SlavePath() const { return m_slavePath; }

    // Links dir/kv508sim<N> (lowest N whose lock is free) to the terminal and
    // holds dir/.kv508sim<N>.lock with flock() as the link's proof of life until
    // Unpublish or the end of the process. First removes every kv508sim link
    // whose proof is dead (left by a simulator that was killed).
    // The lock file also says who the port is (product and adapter serial), as
    // sysfs does for a USB adapter.
    bool Publish(const QString &dir, const QString &serial, QString &error);
    // Removes the link (only while it still points to our terminal), then the
    // lock file, then lets go of the lock.
    void Unpublish();
    QString LinkPath() const { return m_linkPath; }
    QString PortName() const;

private:
    int m_master = -1;
    int m_keep = -1;
    QString m_slavePath;
    QString m_linkPath;
    int m_lock = -1; // the held lock of m_linkPath
};

} // namespace sim
