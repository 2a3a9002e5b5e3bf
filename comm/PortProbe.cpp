#include "PortProbe.h"

#include <QByteArray>
#include <QFile>
#include <QRegularExpression>

#include <algorithm>
#include <cerrno>

#include <dirent.h>
#include <fcntl.h>
#include <grp.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <sys/sysmacros.h>
#include <unistd.h>

namespace PortProbe {

namespace {

constexpr unsigned kPtySlaveFirstMajor = 136; // Unix98 pseudo-terminal slaves: 136..143
constexpr unsigned kPtySlaveLastMajor = 143;

QByteArray Local(const QString &s)
{
    return QFile::encodeName(s);
}

// A directory we own, not a symbolic link, that nobody else can write into.
bool IsPrivateDir(const QByteArray &path)
{
    struct stat st {};
    if (::lstat(path.constData(), &st) != 0)
        return false;
    return S_ISDIR(st.st_mode) && st.st_uid == ::geteuid() && (st.st_mode & (S_IWGRP | S_IWOTH)) == 0;
}

int OpenPort(const QByteArray &path)
{
    int fd;
    do {
        fd = ::open(path.constData(), O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
    } while (fd < 0 && errno == EINTR);
    return fd;
}

struct TCandidate {
    QString name; // what the list shows
    QString path; // what is opened
};

struct TDenied {
    QString name;
    QString group; // owning group of the device; empty when it is root's or unknown
};

enum class TProbeOutcome { Listed, Absent, Busy, Denied };

TProbeOutcome ProbeOne(const TCandidate &c, QString &group)
{
    const QByteArray path = Local(c.path);
    struct stat st {};
    if (::stat(path.constData(), &st) != 0 || !S_ISCHR(st.st_mode) || !IsSerialTerminal(st.st_rdev))
        return TProbeOutcome::Absent; // never opened
    const int fd = OpenPort(path);
    if (fd < 0) {
        if (errno == EACCES || errno == EPERM) {
            if (st.st_gid != 0)
                if (const struct group *g = ::getgrgid(st.st_gid))
                    group = QString::fromLocal8Bit(g->gr_name);
            return TProbeOutcome::Denied;
        }
        return errno == EBUSY ? TProbeOutcome::Busy : TProbeOutcome::Absent;
    }
    TProbeOutcome outcome = TProbeOutcome::Listed;
    struct stat opened {};
    if (::fstat(fd, &opened) != 0 || opened.st_rdev != st.st_rdev || !::isatty(fd))
        outcome = TProbeOutcome::Absent; // swapped under us
    else if (::flock(fd, LOCK_EX | LOCK_NB) != 0)
        outcome = TProbeOutcome::Busy; // another program holds it
    ::close(fd);
    return outcome;
}

// Names the ports and the fix. When some of them belong to a group, that group
// is the fix and only its ports are named.
QString PermissionHint(const QList<TDenied> &denied)
{
    if (denied.isEmpty())
        return QString();
    QString group;
    for (const TDenied &d : denied)
        if (!d.group.isEmpty()) {
            group = d.group;
            break;
        }
    QStringList names;
    for (const TDenied &d : denied)
        if (d.group == group)
            names << d.name;
    constexpr int kShown = 3;
    QString which = names.mid(0, kShown).join(QStringLiteral(", "));
    if (names.size() > kShown)
        which += QStringLiteral(" (and %1 more)").arg(names.size() - kShown);
    if (group.isEmpty())
        return QStringLiteral("no permission to open %1: ask the administrator for access to the port").arg(which);
    return QStringLiteral("no permission to open %1: add your user to the \"%2\" group "
                          "(sudo usermod -aG %2 $USER) and log in again")
        .arg(which, group);
}

QList<TCandidate> DevCandidates()
{
    static const QRegularExpression family(QStringLiteral("^(ttyS|ttyUSB|ttyACM|ttyAMA|ttyXRUSB|rfcomm)[0-9]+$"));
    QList<TCandidate> out;
    DIR *dir = ::opendir("/dev");
    if (!dir)
        return out;
    while (const dirent *e = ::readdir(dir)) {
        const QString name = QFile::decodeName(e->d_name);
        if (family.match(name).hasMatch())
            out.append({name, QStringLiteral("/dev/") + name});
    }
    ::closedir(dir);
    return out;
}

QList<TCandidate> VirtualCandidates()
{
    QList<TCandidate> out;
    const QString dirPath = VirtualPortDir(false);
    if (dirPath.isEmpty())
        return out;
    DIR *dir = ::opendir(Local(dirPath).constData());
    if (!dir)
        return out;
    while (const dirent *e = ::readdir(dir)) {
        if (e->d_name[0] == '.')
            continue;
        const QString name = QFile::decodeName(e->d_name);
        const QString path = dirPath + QLatin1Char('/') + name;
        struct stat st {};
        if (::lstat(Local(path).constData(), &st) == 0 && S_ISLNK(st.st_mode))
            out.append({name, path});
    }
    ::closedir(dir);
    return out;
}

void SortNaturally(QList<TCandidate> &list)
{
    std::sort(list.begin(), list.end(), [](const TCandidate &a, const TCandidate &b) { return NaturalLess(a.name, b.name); });
}

// Splits "ttyUSB10" into "ttyUSB" and 10; a name without a trailing number gets -1.
std::pair<QString, qint64> SplitName(const QString &name)
{
    qsizetype i = name.size();
    while (i > 0 && name.at(i - 1).isDigit())
        --i;
    if (i == name.size() || name.size() - i > 18)
        return {name, -1};
    return {name.left(i), name.mid(i).toLongLong()};
}

} // namespace

QString VirtualPortDir(bool create)
{
    const QByteArray runtime = qgetenv("XDG_RUNTIME_DIR");
    QByteArray path;
    if (!runtime.isEmpty() && runtime.startsWith('/'))
        path = runtime + "/kv508-ports";
    else
        path = "/tmp/kv508-ports-" + QByteArray::number(::geteuid());
    if (create && ::mkdir(path.constData(), 0700) != 0 && errno != EEXIST)
        return QString();
    struct stat st {};
    if (::lstat(path.constData(), &st) != 0)
        return create ? QString() : QFile::decodeName(path); // nothing there yet: nothing to list
    return IsPrivateDir(path) ? QFile::decodeName(path) : QString();
}

QString ResolvePortPath(const QString &name)
{
    if (name.isEmpty() || name == QLatin1String(".") || name == QLatin1String(".."))
        return QString();
    if (name.contains(QLatin1Char('/')))
        return name;
    const QString dir = VirtualPortDir(false);
    if (!dir.isEmpty()) {
        const QString path = dir + QLatin1Char('/') + name;
        struct stat st {};
        if (::lstat(Local(path).constData(), &st) == 0)
            return path;
    }
    return QStringLiteral("/dev/") + name;
}

QString VirtualPortLockPath(const QString &linkPath)
{
    const qsizetype slash = linkPath.lastIndexOf(QLatin1Char('/'));
    return linkPath.left(slash + 1) + QLatin1Char('.') + linkPath.mid(slash + 1) + QStringLiteral(".lock");
}

bool IsSimulatorPortName(const QString &name)
{
    return name.startsWith(QLatin1String("kv508sim"));
}

bool IsVirtualPortAlive(const QString &linkPath)
{
    const QByteArray lock = Local(VirtualPortLockPath(linkPath));
    const int fd = ::open(lock.constData(), O_RDONLY | O_NOFOLLOW | O_CLOEXEC | O_NONBLOCK);
    if (fd < 0) {
        const QString name = linkPath.mid(linkPath.lastIndexOf(QLatin1Char('/')) + 1);
        return errno == ENOENT && !IsSimulatorPortName(name);
    }
    // A shared lock is refused only while the publisher holds its exclusive one.
    const bool held = ::flock(fd, LOCK_SH | LOCK_NB) != 0 && errno == EWOULDBLOCK;
    ::close(fd);
    return held;
}

bool IsSerialTerminal(dev_t device)
{
    const unsigned maj = major(device);
    const unsigned min = minor(device);
    if (maj >= kPtySlaveFirstMajor && maj <= kPtySlaveLastMajor)
        return true;
    // A serial driver's port is a tty with a device behind it; consoles,
    // /dev/tty and /dev/ptmx are virtual and have none.
    const QByteArray sys = "/sys/dev/char/" + QByteArray::number(maj) + ':' + QByteArray::number(min);
    struct stat st {};
    if (::stat("/sys/dev/char", &st) == 0) {
        char target[PATH_MAX];
        const ssize_t n = ::readlink((sys + "/subsystem").constData(), target, sizeof target - 1);
        if (n <= 0)
            return false;
        target[n] = '\0';
        const QByteArray subsystem(target, n);
        return subsystem.endsWith("/tty") && ::stat((sys + "/device").constData(), &st) == 0;
    }
    // Without sysfs: the well-known serial majors only.
    return (maj == 4 && min >= 64) || maj == 166 || maj == 188 || maj == 204 || maj == 216;
}

bool NaturalLess(const QString &a, const QString &b)
{
    const auto [fa, na] = SplitName(a);
    const auto [fb, nb] = SplitName(b);
    const int c = fa.compare(fb, Qt::CaseInsensitive);
    if (c != 0)
        return c < 0;
    if (na != nb)
        return na < nb;
    return a < b;
}

TProbeResult Probe()
{
    QList<TCandidate> dev = DevCandidates();
    QList<TCandidate> virt = VirtualCandidates();
    SortNaturally(dev);
    SortNaturally(virt);

    TProbeResult result;
    QList<TDenied> denied;
    for (const QList<TCandidate> *list : {&dev, &virt}) {
        for (const TCandidate &c : *list) {
            QString group;
            switch (ProbeOne(c, group)) {
            case TProbeOutcome::Listed: result.ports << c.name; break;
            case TProbeOutcome::Denied: denied.append({list == &dev ? c.path : c.name, group}); break;
            case TProbeOutcome::Absent:
            case TProbeOutcome::Busy: break;
            }
        }
    }
    result.hint = PermissionHint(denied);
    return result;
}

} // namespace PortProbe
