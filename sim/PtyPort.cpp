#include "PtyPort.h"

#include "PortProbe.h"

#include <QFile>
#include <QFileInfo>

#include <cerrno>
#include <climits>
#include <cstdlib>
#include <cstring>

#include <dirent.h>
#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <termios.h>
#include <unistd.h>

namespace sim {

namespace {

QString SystemError(int err)
{
    return QString::fromLocal8Bit(std::strerror(err));
}

constexpr int kMaxLinks = 1000;

// Opens (or creates) the lock file and takes its lock without waiting. -1 when
// another process holds it. The lock counts only while the path still names the
// locked file: someone who found it dead may have removed it meanwhile.
int TakeLock(const QByteArray &path, bool &held, int &err)
{
    held = false;
    err = 0;
    for (int attempt = 0; attempt < 8; ++attempt) {
        const int fd = ::open(path.constData(), O_CREAT | O_RDWR | O_CLOEXEC | O_NOFOLLOW, 0600);
        if (fd < 0) {
            err = errno;
            return -1;
        }
        if (::flock(fd, LOCK_EX | LOCK_NB) != 0) {
            err = errno;
            ::close(fd);
            held = err == EWOULDBLOCK;
            return -1;
        }
        struct stat mine {};
        struct stat named {};
        if (::fstat(fd, &mine) == 0 && ::lstat(path.constData(), &named) == 0 && mine.st_dev == named.st_dev &&
            mine.st_ino == named.st_ino)
            return fd;
        ::close(fd); // removed (or replaced) under us: try again with what is there now
    }
    err = EAGAIN;
    return -1;
}

// The lock file that proves the publisher of the link alive.
QByteArray LockPathOf(const QString &link)
{
    return QByteArray::fromStdString(PortProbe::VirtualPortLockPath(QFile::encodeName(link).toStdString()));
}

bool IsLink(const QByteArray &path)
{
    struct stat st {};
    return ::lstat(path.constData(), &st) == 0 && S_ISLNK(st.st_mode);
}

// Removes the kv508sim links whose proof of life is dead, with their lock files.
// Taking the lock first keeps a cleaner from racing a simulator that publishes
// the same name at this moment.
void RemoveDeadLinks(const QString &dir)
{
    DIR *d = ::opendir(QFile::encodeName(dir).constData());
    if (!d)
        return;
    QStringList names;
    while (const dirent *e = ::readdir(d)) {
        if (PortProbe::IsSimulatorPortName(e->d_name))
            names << QFile::decodeName(e->d_name);
    }
    ::closedir(d);
    for (const QString &name : names) {
        const QString link = dir + QLatin1Char('/') + name;
        const QByteArray linkPath = QFile::encodeName(link);
        if (!IsLink(linkPath))
            continue;
        const QByteArray lockPath = LockPathOf(link);
        bool held = false;
        int err = 0;
        const int fd = TakeLock(lockPath, held, err);
        if (fd < 0)
            continue; // alive, or not ours to judge
        ::unlink(linkPath.constData());
        ::unlink(lockPath.constData());
        ::close(fd);
    }
}

} // namespace

PtyPort::~PtyPort()
{
    Unpublish();
    if (m_keep >= 0)
        ::close(m_keep);
    if (m_master >= 0)
        ::close(m_master);
}

bool PtyPort::Open(QString &error)
{
    m_master = ::posix_openpt(O_RDWR | O_NOCTTY | O_CLOEXEC);
    if (m_master < 0) {
        error = QStringLiteral("cannot create a pseudo-terminal: %1").arg(SystemError(errno));
        return false;
    }
    char name[PATH_MAX] = {};
    if (::grantpt(m_master) != 0 || ::unlockpt(m_master) != 0 || ::ptsname_r(m_master, name, sizeof name) != 0) {
        error = QStringLiteral("cannot prepare the pseudo-terminal: %1").arg(SystemError(errno));
        return false;
    }
    m_slavePath = QFile::decodeName(name);
    m_keep = ::open(name, O_RDWR | O_NOCTTY | O_CLOEXEC);
    if (m_keep < 0) {
        error = QStringLiteral("cannot open %1: %2").arg(m_slavePath, SystemError(errno));
        return false;
    }
    termios tio{};
    if (::tcgetattr(m_keep, &tio) != 0) {
        error = QStringLiteral("cannot read the settings of %1: %2").arg(m_slavePath, SystemError(errno));
        return false;
    }
    ::cfmakeraw(&tio); // no echo, no line editing: bytes pass as they are
    tio.c_cflag |= CLOCAL | CREAD;
    if (::tcsetattr(m_keep, TCSANOW, &tio) != 0) {
        error = QStringLiteral("cannot set %1 raw: %2").arg(m_slavePath, SystemError(errno));
        return false;
    }
    // Our side never blocks the event loop: a full terminal refuses instead.
    const int flags = ::fcntl(m_master, F_GETFL);
    if (flags < 0 || ::fcntl(m_master, F_SETFL, flags | O_NONBLOCK) != 0) {
        error = QStringLiteral("cannot make the pseudo-terminal non-blocking: %1").arg(SystemError(errno));
        return false;
    }
    return true;
}

bool PtyPort::Publish(const QString &dir, const QString &serial, QString &error)
{
    RemoveDeadLinks(dir);
    const QByteArray target = QFile::encodeName(m_slavePath);
    for (int n = 0; n < kMaxLinks; ++n) {
        const QString link = QStringLiteral("%1/kv508sim%2").arg(dir).arg(n);
        const QByteArray path = QFile::encodeName(link);
        const QByteArray lockPath = LockPathOf(link);
        bool held = false;
        int err = 0;
        const int fd = TakeLock(lockPath, held, err);
        if (fd < 0) {
            if (held)
                continue; // a live simulator has this number
            error = QStringLiteral("cannot lock %1: %2").arg(QFile::decodeName(lockPath), SystemError(err));
            return false;
        }
        // The lock was free, so whatever link has this name is stale.
        if (::unlink(path.constData()) != 0 && errno != ENOENT) {
            err = errno;
            ::unlink(lockPath.constData());
            ::close(fd);
            error = QStringLiteral("cannot remove the stale %1: %2").arg(link, SystemError(err));
            return false;
        }
        if (::symlink(target.constData(), path.constData()) != 0) {
            err = errno;
            ::unlink(lockPath.constData());
            ::close(fd);
            if (err == EEXIST)
                continue; // made by hand meanwhile: leave it
            error = QStringLiteral("cannot create %1: %2").arg(link, SystemError(err));
            return false;
        }
        // Who the port is, for a tool that lost it. Should this fail, the port
        // still works; it is only not recognised when it returns.
        const QByteArray identity = "product=kv508-sim\nserial=" + serial.toUtf8() + '\n';
        if (::ftruncate(fd, 0) == 0) {
            const ssize_t written = ::write(fd, identity.constData(), size_t(identity.size()));
            (void)written;
        }
        m_linkPath = link;
        m_lock = fd;
        return true;
    }
    error = QStringLiteral("no free kv508sim name in %1").arg(dir);
    return false;
}

void PtyPort::Unpublish()
{
    if (m_linkPath.isEmpty())
        return;
    const QByteArray path = QFile::encodeName(m_linkPath);
    char target[PATH_MAX];
    const ssize_t n = ::readlink(path.constData(), target, sizeof target - 1);
    if (n > 0 && QByteArray(target, n) == QFile::encodeName(m_slavePath))
        ::unlink(path.constData());
    if (m_lock >= 0) {
        const QByteArray lockPath = LockPathOf(m_linkPath);
        struct stat mine {};
        struct stat named {};
        if (::fstat(m_lock, &mine) == 0 && ::lstat(lockPath.constData(), &named) == 0 && mine.st_dev == named.st_dev &&
            mine.st_ino == named.st_ino)
            ::unlink(lockPath.constData());
        ::close(m_lock);
        m_lock = -1;
    }
    m_linkPath.clear();
}

QString PtyPort::PortName() const
{
    return m_linkPath.isEmpty() ? m_slavePath : QFileInfo(m_linkPath).fileName();
}

} // namespace sim
