#include "PortProbe.h"

#include <QByteArray>
#include <QFile>
#include <QHash>
#include <QRegularExpression>
#include <QSet>

#include <algorithm>
#include <cerrno>
#include <climits>
#include <csignal>
#include <cstdlib>
#include <cstring>

#include <dirent.h>
#include <fcntl.h>
#include <grp.h>
#include <pwd.h>
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
    QString name;     // what the list shows
    QString path;     // what is opened
    bool virt = false; // a link in the virtual-port directory
    TPortInfo info;
    dev_t device = 0; // filled in once it is known to be a serial terminal
};

struct TDenied {
    QString name;
    QString group; // owning group of the device; empty when it is root's or unknown
};

enum class TProbeOutcome { Listed, Absent, Busy, Denied };

// Only called for a serial terminal, after the holder checks.
TProbeOutcome ProbeOne(const TCandidate &c, QString &group)
{
    const QByteArray path = Local(c.path);
    struct stat st {};
    if (::stat(path.constData(), &st) != 0 || st.st_rdev != c.device)
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

// A name the list can show: valid in the file-name encoding, without control
// characters (a line break would show as two entries).
bool DecodeName(const char *raw, QString &name)
{
    name = QFile::decodeName(raw);
    if (QFile::encodeName(name) != QByteArray(raw))
        return false;
    // Control characters, line separators and bidirectional marks would break or
    // disguise the name in the list.
    for (const QChar c : name)
        if (c.unicode() < 0x20 || (c.unicode() >= 0x7f && c.unicode() < 0xa0) ||
            c.category() == QChar::Separator_Line || c.category() == QChar::Separator_Paragraph ||
            c.category() == QChar::Other_Format)
            return false;
    return !name.isEmpty();
}

QByteArray RealPath(const QByteArray &path)
{
    char resolved[PATH_MAX];
    return ::realpath(path.constData(), resolved) ? QByteArray(resolved) : QByteArray();
}

QByteArray BaseName(const QByteArray &path)
{
    return path.mid(path.lastIndexOf('/') + 1);
}

// The first line of a small file (sysfs attributes, /proc/PID/comm).
QString ReadLine(const QByteArray &path)
{
    const int fd = ::open(path.constData(), O_RDONLY | O_CLOEXEC | O_NONBLOCK);
    if (fd < 0)
        return QString();
    char buffer[256];
    const ssize_t n = ::read(fd, buffer, sizeof buffer);
    ::close(fd);
    if (n <= 0)
        return QString();
    QByteArray line(buffer, n);
    if (const qsizetype eol = line.indexOf('\n'); eol >= 0)
        line.truncate(eol);
    return QString::fromUtf8(line).trimmed();
}

bool Exists(const QByteArray &path)
{
    struct stat st {};
    return ::stat(path.constData(), &st) == 0;
}

// What sysfs knows about tty NAME; false when no driver is behind it (virtual
// consoles, /dev/tty, pseudo-terminals).
bool SysfsInfo(const QByteArray &sysRoot, const QByteArray &rawName, TPortInfo &info)
{
    const QByteArray device = RealPath(sysRoot + "/class/tty/" + rawName + "/device");
    if (device.isEmpty())
        return false;
    QByteArray driver = RealPath(device + "/driver");
    if (driver.isEmpty())
        return false;
    // Newer kernels put a generic serial-base "port" device between the tty and
    // the device of the real driver.
    for (QByteArray up = device; BaseName(RealPath(up + "/subsystem")) == "serial-base";) {
        up.truncate(up.lastIndexOf('/'));
        if (const QByteArray d = RealPath(up + "/driver"); !d.isEmpty() && BaseName(RealPath(up + "/subsystem")) != "serial-base")
            driver = d;
    }
    info.driver = QFile::decodeName(BaseName(driver));
    // The USB device sits a level or two above the port (port, interface, device).
    const QByteArray devices = RealPath(sysRoot) + "/devices/";
    QByteArray dir = device;
    for (int up = 0; up < 4 && dir.startsWith(devices); ++up, dir.truncate(dir.lastIndexOf('/'))) {
        if (!Exists(dir + "/idVendor"))
            continue;
        info.manufacturer = ReadLine(dir + "/manufacturer");
        info.product = ReadLine(dir + "/product");
        info.serialNumber = ReadLine(dir + "/serial");
        info.usbId = ReadLine(dir + "/idVendor") + QLatin1Char(':') + ReadLine(dir + "/idProduct");
        break;
    }
    return true;
}

// The terminals with a driver behind them (as udev and Qt find serial ports),
// and the classic serial families of /dev for systems without sysfs and for
// drivers that register no device (rfcomm).
QList<TCandidate> DevCandidates(const TProbeRoots &roots, int &skipped)
{
    static const QRegularExpression family(QRegularExpression::anchoredPattern(
        QStringLiteral("(ttyS|ttyUSB|ttyACM|ttyAMA|ttyXRUSB|rfcomm)[0-9]+")));
    const QByteArray sys = Local(roots.sys);
    QList<TCandidate> out;
    QSet<QString> seen;
    const auto add = [&](const QString &name, const TPortInfo &info) {
        if (seen.contains(name))
            return;
        seen.insert(name);
        TCandidate c{name, roots.dev + QLatin1Char('/') + name, false, info, 0};
        c.info.name = name;
        out.append(c);
    };
    if (DIR *dir = ::opendir((sys + "/class/tty").constData())) {
        while (const dirent *e = ::readdir(dir)) {
            if (e->d_name[0] == '.' || std::strchr(e->d_name, '!')) // '!' stands for '/': not a plain /dev name
                continue;
            TPortInfo info;
            if (!SysfsInfo(sys, e->d_name, info))
                continue;
            QString name;
            if (!DecodeName(e->d_name, name)) {
                ++skipped;
                continue;
            }
            add(name, info);
        }
        ::closedir(dir);
    }
    if (DIR *dir = ::opendir(Local(roots.dev).constData())) {
        while (const dirent *e = ::readdir(dir)) {
            QString name;
            if (DecodeName(e->d_name, name) && family.match(name).hasMatch())
                add(name, TPortInfo());
        }
        ::closedir(dir);
    }
    return out;
}

QList<TCandidate> VirtualCandidates(int &skipped)
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
        QString name;
        if (!DecodeName(e->d_name, name)) {
            ++skipped;
            continue;
        }
        const QString path = dirPath + QLatin1Char('/') + name;
        struct stat st {};
        if (::lstat(Local(path).constData(), &st) == 0 && S_ISLNK(st.st_mode)) {
            TCandidate c{name, path, true, TPortInfo(), 0};
            c.info.name = name;
            out.append(c);
        }
    }
    ::closedir(dir);
    return out;
}

// ---- other holders of a device -------------------------------------------------------------

QString HolderText(pid_t pid, const QString &extra = QString())
{
    QString command = ReadLine("/proc/" + QByteArray::number(pid) + "/comm");
    if (command.isEmpty())
        command = QStringLiteral("another program");
    return QStringLiteral("in use by %1 (pid %2%3)").arg(command).arg(pid).arg(extra);
}

bool IsPtySlave(dev_t device)
{
    return major(device) >= kPtySlaveFirstMajor && major(device) <= kPtySlaveLastMajor;
}

int PtyIndex(dev_t device)
{
    return static_cast<int>((major(device) - kPtySlaveFirstMajor) * 256 + minor(device));
}

// Who else has the devices open, found as fuser does: the descriptors in
// /proc/PID/fd. Only links into /dev are looked at, so a descriptor on a
// network file system never makes the probe wait.
struct THolderScan {
    QHash<dev_t, QList<pid_t>> holders;
    QHash<pid_t, QList<int>> ptyMasters; // pseudo-terminal indexes whose master a process holds; -1: unknown
    bool unseen = false;                 // some processes (other users') could not be looked into
};

int MasterIndex(int fdinfoDir, const char *fd)
{
    const int f = ::openat(fdinfoDir, fd, O_RDONLY | O_CLOEXEC);
    if (f < 0)
        return -1;
    char buffer[512];
    const ssize_t n = ::read(f, buffer, sizeof buffer - 1);
    ::close(f);
    if (n <= 0)
        return -1;
    buffer[n] = '\0';
    const char *at = std::strstr(buffer, "tty-index:");
    return at ? std::atoi(at + 10) : -1;
}

THolderScan ScanHolders(const QSet<dev_t> &devices)
{
    THolderScan scan;
    if (devices.isEmpty())
        return scan;
    const bool anyPty = std::any_of(devices.begin(), devices.end(), IsPtySlave);
    const pid_t self = ::getpid();
    DIR *proc = ::opendir("/proc");
    if (!proc)
        return scan;
    while (const dirent *p = ::readdir(proc)) {
        char *end = nullptr;
        const long pid = std::strtol(p->d_name, &end, 10);
        if (pid <= 0 || *end != '\0' || pid == self)
            continue;
        const QByteArray base = "/proc/" + QByteArray(p->d_name);
        DIR *fds = ::opendir((base + "/fd").constData());
        if (!fds) {
            if (errno == EACCES || errno == EPERM)
                scan.unseen = true;
            continue;
        }
        int fdinfo = -1;
        while (const dirent *f = ::readdir(fds)) {
            if (f->d_name[0] == '.')
                continue;
            char target[PATH_MAX];
            const ssize_t n = ::readlinkat(::dirfd(fds), f->d_name, target, sizeof target - 1);
            if (n < 5 || std::strncmp(target, "/dev/", 5) != 0)
                continue;
            target[n] = '\0';
            if (anyPty && (std::strcmp(target, "/dev/ptmx") == 0 || std::strcmp(target, "/dev/pts/ptmx") == 0)) {
                if (fdinfo < 0)
                    fdinfo = ::open((base + "/fdinfo").constData(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
                scan.ptyMasters[static_cast<pid_t>(pid)].append(fdinfo >= 0 ? MasterIndex(fdinfo, f->d_name) : -1);
                continue;
            }
            struct stat st {};
            if (::fstatat(::dirfd(fds), f->d_name, &st, 0) == 0 && S_ISCHR(st.st_mode) && devices.contains(st.st_rdev)) {
                QList<pid_t> &list = scan.holders[st.st_rdev];
                if (!list.contains(static_cast<pid_t>(pid)))
                    list.append(static_cast<pid_t>(pid));
            }
        }
        if (fdinfo >= 0)
            ::close(fdinfo);
        ::closedir(fds);
    }
    ::closedir(proc);
    return scan;
}

// The first process that has device open and is not the other end of it. The
// program holding a pseudo-terminal's master (a simulator, socat) often keeps
// the slave open too, only so that the line stays up: it is the line, not a
// competing reader.
pid_t OtherHolder(const THolderScan &scan, dev_t device)
{
    for (const pid_t pid : scan.holders.value(device)) {
        if (IsPtySlave(device)) {
            const QList<int> masters = scan.ptyMasters.value(pid);
            if (masters.contains(PtyIndex(device)) || masters.contains(-1))
                continue;
        }
        return pid;
    }
    return 0;
}

// The pid in a UUCP lock file: ASCII (the usual form) or a binary int (old
// programs); 0 when there is none.
pid_t LockOwner(const QByteArray &path)
{
    const int fd = ::open(path.constData(), O_RDONLY | O_CLOEXEC | O_NONBLOCK | O_NOFOLLOW);
    if (fd < 0)
        return 0;
    char buffer[64];
    const ssize_t n = ::read(fd, buffer, sizeof buffer - 1);
    ::close(fd);
    if (n <= 0)
        return 0;
    buffer[n] = '\0';
    const bool text = std::all_of(buffer, buffer + n, [](char c) { return c == ' ' || c == '\n' || (c >= '0' && c <= '9'); });
    if (!text && n == sizeof(int)) {
        int pid = 0;
        std::memcpy(&pid, buffer, sizeof pid);
        return pid > 0 ? pid : 0;
    }
    const long pid = std::strtol(buffer, nullptr, 10);
    return pid > 0 && pid <= INT_MAX ? static_cast<pid_t>(pid) : 0;
}

// A live UUCP lock on any of the names: "in use by ...", else empty. A lock
// whose process is gone is stale and ignored. The probe makes no lock files.
QString UucpHolder(const QStringList &lockDirs, const QList<QByteArray> &names)
{
    for (const QString &dir : lockDirs)
        for (const QByteArray &name : names) {
            const QByteArray path = Local(dir) + "/LCK.." + name;
            const pid_t pid = LockOwner(path);
            if (pid <= 0 || pid == ::getpid())
                continue;
            if (::kill(pid, 0) == 0 || errno == EPERM)
                return HolderText(pid, QStringLiteral(", lock file ") + QFile::decodeName(path));
        }
    return QString();
}

// The names UUCP lock files use for the device: its /dev name ("ttyUSB0"),
// with "/" as "_" below /dev ("pts_3").
QList<QByteArray> LockNames(const QByteArray &devName, const QByteArray &path)
{
    QList<QByteArray> names;
    if (!devName.isEmpty())
        names << devName;
    const QByteArray real = RealPath(path);
    if (real.startsWith("/dev/")) {
        QByteArray name = real.mid(5);
        name.replace('/', '_');
        if (!names.contains(name))
            names << name;
    }
    return names;
}

QString OtherUsersNote()
{
    return QStringLiteral("programs of other users cannot be seen without privileges");
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
    QByteArray base;
    QList<QByteArray> parts;
    if (!runtime.isEmpty() && runtime.startsWith('/')) {
        base = runtime;
        parts = {"kv508-ports"};
    } else {
        base = qgetenv("HOME");
        if (!base.startsWith('/'))
            if (const struct passwd *pw = ::getpwuid(::geteuid()))
                base = pw->pw_dir;
        if (!base.startsWith('/'))
            return QString();
        parts = {".cache", "kv508", "ports"};
    }
    QByteArray path = base;
    for (const QByteArray &part : parts) {
        path += '/' + part;
        if (create && ::mkdir(path.constData(), 0700) != 0 && errno != EEXIST)
            return QString();
    }
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
    return DefaultRoots().dev + QLatin1Char('/') + name;
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

TProbeRoots DefaultRoots()
{
    TProbeRoots roots;
    const QString root = qEnvironmentVariable("KV508_PROBE_ROOT");
    if (!root.isEmpty()) {
        roots.sys = root + QStringLiteral("/sys");
        roots.dev = root + QStringLiteral("/dev");
        roots.lockDirs = {root + QStringLiteral("/run/lock"), root + QStringLiteral("/var/lock")};
    }
    return roots;
}

QString TPortInfo::Description() const
{
    QStringList lines;
    const auto line = [&](const char *label, const QString &value) {
        if (!value.isEmpty())
            lines << QLatin1String(label) + value;
    };
    line("manufacturer: ", manufacturer);
    line("product: ", product);
    line("serial number: ", serialNumber);
    line("USB ID: ", usbId);
    line("driver: ", driver);
    return lines.join(QLatin1Char('\n'));
}

TProbeResult Probe()
{
    return Probe(DefaultRoots());
}

TProbeResult Probe(const TProbeRoots &roots)
{
    int skipped = 0;
    QList<TCandidate> dev = DevCandidates(roots, skipped);
    QList<TCandidate> virt = VirtualCandidates(skipped);
    SortNaturally(dev);
    SortNaturally(virt);

    // Serial terminals only, and virtual ports only while their publisher
    // lives: nothing else is ever opened.
    QList<TCandidate> candidates;
    QSet<dev_t> devices;
    for (QList<TCandidate> *list : {&dev, &virt})
        for (TCandidate &c : *list) {
            struct stat st {};
            if (::stat(Local(c.path).constData(), &st) != 0 || !S_ISCHR(st.st_mode) || !IsSerialTerminal(st.st_rdev))
                continue;
            if (c.virt && !IsVirtualPortAlive(c.path))
                continue;
            c.device = st.st_rdev;
            devices.insert(c.device);
            candidates.append(c);
        }
    const THolderScan scan = ScanHolders(devices);

    TProbeResult result;
    QList<TDenied> denied;
    QStringList inUse;
    QStringList busy;
    for (const TCandidate &c : candidates) {
        QString holder;
        if (const pid_t pid = OtherHolder(scan, c.device))
            holder = HolderText(pid);
        else
            holder = UucpHolder(roots.lockDirs, LockNames(c.virt ? QByteArray() : Local(c.name), Local(c.path)));
        if (!holder.isEmpty()) {
            inUse << c.name + QStringLiteral(" is ") + holder;
            continue;
        }
        QString group;
        switch (ProbeOne(c, group)) {
        case TProbeOutcome::Listed:
            result.ports << c.name;
            result.infos << c.info;
            break;
        case TProbeOutcome::Denied: denied.append({c.virt ? c.name : c.path, group}); break;
        case TProbeOutcome::Busy: busy << c.name; break;
        case TProbeOutcome::Absent: break;
        }
    }

    QStringList hint;
    if (const QString permission = PermissionHint(denied); !permission.isEmpty())
        hint << permission;
    hint += inUse;
    if (!busy.isEmpty())
        hint << QStringLiteral("%1 in use by another program%2")
                    .arg(busy.join(QStringLiteral(", ")), busy.size() == 1 ? QStringLiteral(" is") : QStringLiteral(" are"))
                    .arg(scan.unseen ? QStringLiteral(" (") + OtherUsersNote() + QLatin1Char(')') : QString());
    if (skipped > 0)
        hint << QStringLiteral("a port name with control characters or in an unknown encoding was skipped; rename it");
    result.hint = hint.join(QStringLiteral("; "));
    return result;
}

QString InUseReason(const QString &path, bool *unseen)
{
    if (unseen)
        *unseen = false;
    const QByteArray local = Local(path);
    const qsizetype slash = path.lastIndexOf(QLatin1Char('/'));
    const QString dir = path.left(slash);
    const QString name = path.mid(slash + 1);
    struct stat st {};
    if (::lstat(local.constData(), &st) == 0 && S_ISLNK(st.st_mode) && !dir.isEmpty() && dir == VirtualPortDir(false)
        && !IsVirtualPortAlive(path)) {
        if (IsSimulatorPortName(name))
            return QStringLiteral("stale simulator link: its simulator is no longer running; start the simulator again");
        return QStringLiteral("stale virtual port: the program that published it is no longer running");
    }
    if (::stat(local.constData(), &st) != 0 || !S_ISCHR(st.st_mode) || !IsSerialTerminal(st.st_rdev))
        return QString(); // not a port at all: the open says so
    const THolderScan scan = ScanHolders({st.st_rdev});
    if (unseen)
        *unseen = scan.unseen;
    const TProbeRoots roots = DefaultRoots();
    QString holder;
    if (const pid_t pid = OtherHolder(scan, st.st_rdev))
        holder = HolderText(pid);
    else
        holder = UucpHolder(roots.lockDirs, LockNames(dir == roots.dev ? Local(name) : QByteArray(), local));
    if (holder.isEmpty())
        return QString();
    return holder + QStringLiteral(": close that program, then open the port again");
}

QString BusyReason(bool unseen)
{
    QString text = QStringLiteral("in use by another program");
    if (unseen)
        text += QStringLiteral(" (") + OtherUsersNote() + QLatin1Char(')');
    return text;
}

} // namespace PortProbe
