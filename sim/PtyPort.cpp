#include "PtyPort.h"

#include <QFile>
#include <QFileInfo>

#include <cerrno>
#include <climits>
#include <cstdlib>
#include <cstring>

#include <fcntl.h>
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

bool PtyPort::Publish(const QString &dir, QString &error)
{
    const QByteArray target = QFile::encodeName(m_slavePath);
    for (int n = 0; n < kMaxLinks; ++n) {
        const QString link = QStringLiteral("%1/kv508sim%2").arg(dir).arg(n);
        const QByteArray path = QFile::encodeName(link);
        for (int attempt = 0; attempt < 2; ++attempt) {
            if (::symlink(target.constData(), path.constData()) == 0) {
                m_linkPath = link;
                return true;
            }
            if (errno != EEXIST) {
                error = QStringLiteral("cannot create %1: %2").arg(link, SystemError(errno));
                return false;
            }
            struct stat st {};
            struct stat lst {};
            const bool dangling = ::lstat(path.constData(), &lst) == 0 && S_ISLNK(lst.st_mode) &&
                                  ::stat(path.constData(), &st) != 0 && errno == ENOENT;
            if (!dangling || ::unlink(path.constData()) != 0)
                break; // taken: try the next number
        }
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
    m_linkPath.clear();
}

QString PtyPort::PortName() const
{
    return m_linkPath.isEmpty() ? m_slavePath : QFileInfo(m_linkPath).fileName();
}

} // namespace sim
