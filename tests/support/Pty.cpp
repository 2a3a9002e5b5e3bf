#include "Pty.h"

#include "PortProbe.h"

#include <QDir>
#include <QFile>
#include <QHash>
#include <QTemporaryDir>
#include <QTest>

#include <cerrno>
#include <csignal>
#include <cstdlib>

#include <fcntl.h>
#include <poll.h>
#include <spawn.h>
#include <sys/file.h>
#include <sys/inotify.h>
#include <sys/wait.h>
#include <unistd.h>

extern char **environ;

namespace {

QHash<QString, int> &HeldLocks()
{
    static QHash<QString, int> locks;
    return locks;
}

bool WriteFile(const QString &path, const QByteArray &content)
{
    QFile f(path);
    return f.open(QIODevice::WriteOnly) && f.write(content) == content.size();
}

bool Link(const QString &target, const QString &link)
{
    return QDir().mkpath(link.left(link.lastIndexOf(QLatin1Char('/'))))
           && ::symlink(QFile::encodeName(target).constData(), QFile::encodeName(link).constData()) == 0;
}

} // namespace

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
    const QString linkPath = dir + QLatin1Char('/') + name;
    const QByteArray link = QFile::encodeName(linkPath);
    ReleaseVirtualPortLock(name);
    if (PortProbe::IsSimulatorPortName(name)) {
        const QByteArray lock = QFile::encodeName(PortProbe::VirtualPortLockPath(linkPath));
        const int fd = ::open(lock.constData(), O_RDWR | O_CREAT | O_CLOEXEC, 0600);
        if (fd < 0 || ::flock(fd, LOCK_EX | LOCK_NB) != 0)
            return false;
        HeldLocks().insert(name, fd);
    }
    ::unlink(link.constData());
    return ::symlink(QFile::encodeName(target).constData(), link.constData()) == 0;
}

void ReleaseVirtualPortLock(const QString &name)
{
    if (const int fd = HeldLocks().take(name); fd > 0)
        ::close(fd);
}

pid_t SpawnHolder(const QStringList &paths, int fd)
{
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    int next = 3;
    for (const QString &path : paths)
        posix_spawn_file_actions_addopen(&actions, next++, QFile::encodeName(path).constData(), O_RDWR | O_NOCTTY, 0);
    if (fd >= 0)
        posix_spawn_file_actions_adddup2(&actions, fd, 9);
    char sleep[] = "sleep";
    char seconds[] = "600";
    char *argv[] = {sleep, seconds, nullptr};
    pid_t pid = -1;
    if (::posix_spawnp(&pid, "sleep", &actions, nullptr, argv, environ) != 0)
        pid = -1;
    posix_spawn_file_actions_destroy(&actions);
    return pid;
}

void EndHolder(pid_t pid)
{
    if (pid <= 0)
        return;
    ::kill(pid, SIGKILL);
    while (::waitpid(pid, nullptr, 0) < 0 && errno == EINTR) {
    }
}

TOpenWatch::TOpenWatch(const QString &path) : m_fd(::inotify_init1(IN_NONBLOCK | IN_CLOEXEC))
{
    if (m_fd >= 0)
        m_watch = ::inotify_add_watch(m_fd, QFile::encodeName(path).constData(), IN_OPEN);
}

TOpenWatch::~TOpenWatch()
{
    if (m_fd >= 0)
        ::close(m_fd);
}

bool TOpenWatch::Opened() const
{
    char events[4096];
    return ::read(m_fd, events, sizeof events) > 0;
}

bool AddFakeSerialPort(const QString &root, const QString &name, const QString &target, const QString &driver,
                       const TFakeUsb *usb)
{
    const QString sys = root + QStringLiteral("/sys");
    QString device;
    if (usb) {
        const QString usbDir = sys + QStringLiteral("/devices/pci0000:00/usb1/1-") + name;
        const bool ok = QDir().mkpath(usbDir) && WriteFile(usbDir + QStringLiteral("/idVendor"), usb->vid.toUtf8() + '\n')
                        && WriteFile(usbDir + QStringLiteral("/idProduct"), usb->pid.toUtf8() + '\n')
                        && WriteFile(usbDir + QStringLiteral("/manufacturer"), usb->manufacturer.toUtf8() + '\n')
                        && WriteFile(usbDir + QStringLiteral("/product"), usb->product.toUtf8() + '\n')
                        && WriteFile(usbDir + QStringLiteral("/serial"), usb->serial.toUtf8() + '\n');
        if (!ok)
            return false;
        device = usbDir + QStringLiteral("/1-0:1.0/") + name; // interface, then the port
    } else {
        device = sys + QStringLiteral("/devices/platform/serial-") + name;
    }
    if (!QDir().mkpath(device) || !QDir().mkpath(sys + QStringLiteral("/class/tty/") + name))
        return false;
    if (!driver.isEmpty()) {
        const QString drv = sys + QStringLiteral("/bus/platform/drivers/") + driver;
        if (!QDir().mkpath(drv) || !Link(drv, device + QStringLiteral("/driver")))
            return false;
    }
    return Link(device, sys + QStringLiteral("/class/tty/") + name + QStringLiteral("/device"))
           && Link(target, root + QStringLiteral("/dev/") + name);
}

QString UseScratchVirtualPortDir()
{
    static QTemporaryDir runtime; // lives as long as the test program
    for (const QString &name : HeldLocks().keys())
        ReleaseVirtualPortLock(name);
    QDir(runtime.path() + QStringLiteral("/kv508-ports")).removeRecursively();
    qputenv("XDG_RUNTIME_DIR", QFile::encodeName(runtime.path()));
    return PortProbe::VirtualPortDir(true);
}
