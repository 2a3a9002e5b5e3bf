#include "Pty.h"

#include "PortProbe.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <QTest>

#include <cerrno>
#include <cstdlib>

#include <fcntl.h>
#include <poll.h>
#include <unistd.h>

TPty::TPty()
{
    m_master = ::posix_openpt(O_RDWR | O_NOCTTY | O_CLOEXEC);
    if (m_master < 0)
        return;
    char name[128];
    if (::grantpt(m_master) != 0 || ::unlockpt(m_master) != 0 || ::ptsname_r(m_master, name, sizeof name) != 0) {
        ::close(m_master);
        m_master = -1;
        return;
    }
    ::fcntl(m_master, F_SETFL, ::fcntl(m_master, F_GETFL) | O_NONBLOCK);
    m_slavePath = QString::fromLocal8Bit(name);
}

TPty::~TPty()
{
    Hangup();
}

bool TPty::Write(const QByteArray &bytes)
{
    qsizetype done = 0;
    while (done < bytes.size()) {
        const ssize_t w = ::write(m_master, bytes.constData() + done, static_cast<size_t>(bytes.size() - done));
        if (w > 0) {
            done += w;
        } else if (w < 0 && errno == EAGAIN) {
            pollfd p{m_master, POLLOUT, 0};
            if (::poll(&p, 1, 5000) <= 0)
                return false;
        } else if (!(w < 0 && errno == EINTR)) {
            return false;
        }
    }
    return true;
}

QByteArray TPty::ReadAvailable()
{
    QByteArray out;
    char buf[4096];
    for (;;) {
        const ssize_t r = ::read(m_master, buf, sizeof buf);
        if (r > 0)
            out.append(buf, r);
        else if (!(r < 0 && errno == EINTR))
            break;
    }
    return out;
}

QByteArray TPty::Read(qsizetype count, int timeoutMs)
{
    QByteArray out = ReadAvailable();
    (void)QTest::qWaitFor(
        [&] {
            out += ReadAvailable();
            return out.size() >= count;
        },
        timeoutMs);
    return out;
}

void TPty::Hangup()
{
    if (m_master >= 0)
        ::close(m_master);
    m_master = -1;
}

int TPty::TakeMaster()
{
    const int fd = m_master;
    m_master = -1;
    return fd;
}

bool PublishVirtualPort(const QString &name, const QString &target)
{
    const QString dir = PortProbe::VirtualPortDir(true);
    if (dir.isEmpty())
        return false;
    const QByteArray link = QFile::encodeName(dir + QLatin1Char('/') + name);
    ::unlink(link.constData());
    return ::symlink(QFile::encodeName(target).constData(), link.constData()) == 0;
}

QString UseScratchVirtualPortDir()
{
    static QTemporaryDir runtime; // lives as long as the test program
    QDir(runtime.path() + QStringLiteral("/kv508-ports")).removeRecursively();
    qputenv("XDG_RUNTIME_DIR", QFile::encodeName(runtime.path()));
    return PortProbe::VirtualPortDir(true);
}
