// Whole-process measurements: CPU time, resident memory, descriptors, and a
// pseudo-terminal whose other side a program serves.
#pragma once

#include "RunUntil.h"

#include <QByteArray>
#include <QElapsedTimer>
#include <QFile>
#include <QProcess>
#include <QString>
#include <QTest>

#include <fcntl.h>
#include <stdlib.h>
#include <sys/resource.h>
#include <termios.h>
#include <unistd.h>

namespace bench {

using eventwait::RunFor;
using eventwait::RunUntil;

// CPU time (user + system) of this process so far, in milliseconds.
inline double CpuMs()
{
    rusage u{};
    getrusage(RUSAGE_SELF, &u);
    return (u.ru_utime.tv_sec + u.ru_stime.tv_sec) * 1e3 + (u.ru_utime.tv_usec + u.ru_stime.tv_usec) / 1e3;
}

// A line of /proc/self/status ("VmRSS", "VmHWM"), in kB.
inline long StatusKb(const char *field)
{
    QFile f(QStringLiteral("/proc/self/status"));
    if (!f.open(QIODevice::ReadOnly))
        return -1;
    const QByteArray key = QByteArray(field) + ':';
    for (const QByteArray &line : f.readAll().split('\n'))
        if (line.startsWith(key))
            return line.mid(key.size()).trimmed().split(' ').value(0).toLong();
    return -1;
}

// A new pseudo-terminal, raw: returns the master descriptor and the slave's path.
inline int OpenPty(QString &slavePath)
{
    const int fd = posix_openpt(O_RDWR | O_NOCTTY | O_CLOEXEC);
    if (fd < 0 || grantpt(fd) != 0 || unlockpt(fd) != 0) {
        if (fd >= 0)
            ::close(fd);
        return -1;
    }
    slavePath = QString::fromLocal8Bit(ptsname(fd));
    termios t{};
    if (tcgetattr(fd, &t) == 0) {
        cfmakeraw(&t);
        tcsetattr(fd, TCSANOW, &t);
    }
    return fd;
}

// A helper program that prints the path of the line it serves as its first line.
class Peer
{
public:
    ~Peer() { Stop(); }
    bool Start(const QString &program, const QStringList &args, int timeoutMs = 20000)
    {
        m_process.setProgram(program);
        m_process.setArguments(args);
        m_process.setProcessChannelMode(QProcess::ForwardedErrorChannel);
        m_process.start();
        if (!m_process.waitForStarted(timeoutMs))
            return false;
        (void)RunUntil([this] { return m_process.canReadLine() || m_process.state() == QProcess::NotRunning; },
                       timeoutMs);
        if (!m_process.canReadLine())
            return false;
        m_line = QString::fromLocal8Bit(m_process.readLine()).trimmed();
        return true;
    }
    QString FirstLine() const { return m_line; }
    qint64 Pid() const { return m_process.processId(); }
    QProcess &Process() { return m_process; }
    void Stop()
    {
        if (m_process.state() == QProcess::NotRunning)
            return;
        m_process.terminate();
        if (!m_process.waitForFinished(5000))
            m_process.kill();
        m_process.waitForFinished(5000);
    }

private:
    QProcess m_process;
    QString m_line;
};

} // namespace bench
