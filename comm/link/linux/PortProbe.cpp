#include "PortProbe.h"

#include "PortHolders.h"
#include "SysCall.h"
#include "Text.h"

#include <algorithm>
#include <cerrno>
#include <climits>
#include <csignal>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <set>
#include <string_view>
#include <unordered_map>
#include <utility>

#include <dirent.h>
#include <fcntl.h>
#include <grp.h>
#include <pwd.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <sys/sysmacros.h>
#include <unistd.h>

namespace PortProbe {

using namespace detail;

namespace {



bool EndsWith(std::string_view s, std::string_view suffix)
{
    return s.size() >= suffix.size() && s.substr(s.size() - suffix.size()) == suffix;
}

using mbcore::Join;


// Up to the last '/' (all of it when there is none), and what follows it.
std::string DirPart(const std::string &path)
{
    const std::size_t slash = path.rfind('/');
    return slash == std::string::npos ? path : path.substr(0, slash);
}

std::string NamePart(const std::string &path)
{
    const std::size_t slash = path.rfind('/');
    return slash == std::string::npos ? path : path.substr(slash + 1);
}

// Cuts at the last '/'; nothing is left when there is none.
void CutLast(std::string &path)
{
    const std::size_t slash = path.rfind('/');
    path.resize(slash == std::string::npos ? 0 : slash);
}

// ---- UTF-8 -------------------------------------------------------------------------------

using mbcore::kNotUtf8;
using mbcore::NextCodePoint;


// White space as a text field knows it: ASCII's, next line, and the Unicode
// space and separator characters.
bool IsSpace(char32_t c)
{
    return c == 0x20 || (c >= 0x09 && c <= 0x0D) || c == 0x85 || c == 0xA0 || c == 0x1680 || (c >= 0x2000 && c <= 0x200A)
           || c == 0x2028 || c == 0x2029 || c == 0x202F || c == 0x205F || c == 0x3000;
}

// Valid UTF-8 in, without white space at either end.
std::string Trimmed(const std::string &s)
{
    std::size_t begin = s.size();
    std::size_t end = 0;
    for (std::size_t at = 0; at < s.size();) {
        const std::size_t from = at;
        if (!IsSpace(NextCodePoint(s, at))) {
            begin = std::min(begin, from);
            end = at;
        }
    }
    return begin < end ? s.substr(begin, end - begin) : std::string();
}

// Invisible characters that steer or hide text: bidirectional marks and
// overrides, zero-width characters and the like (the format characters of the
// Basic Multilingual Plane).
bool IsFormatCharacter(char32_t c)
{
    return c == 0x00AD || (c >= 0x0600 && c <= 0x0605) || c == 0x061C || c == 0x06DD || c == 0x070F
           || (c >= 0x0890 && c <= 0x0891) || c == 0x08E2 || c == 0x180E || (c >= 0x200B && c <= 0x200F)
           || (c >= 0x202A && c <= 0x202E) || (c >= 0x2060 && c <= 0x2064) || (c >= 0x2066 && c <= 0x206F)
           || c == 0xFEFF || (c >= 0xFFF9 && c <= 0xFFFB);
}

// ---- files -------------------------------------------------------------------------------

// A directory we own, not a symbolic link, that nobody else can write into.
bool IsPrivateDir(const std::string &path)
{
    struct stat st {};
    if (::lstat(path.c_str(), &st) != 0)
        return false;
    return S_ISDIR(st.st_mode) && st.st_uid == ::geteuid() && (st.st_mode & (S_IWGRP | S_IWOTH)) == 0;
}

int OpenPort(const std::string &path)
{
    return sys::OpenDevice(path);
}

struct TCandidate {
    std::string name;  // what the list shows
    std::string path;  // what is opened
    bool virt = false; // a link in the virtual-port directory
    TPortInfo info;
    dev_t device = 0; // filled in once it is known to be a serial terminal
};

struct TDenied {
    std::string name;
    std::string group; // owning group of the device; empty when it is root's or unknown
};

enum class TProbeOutcome { Listed, Absent, Busy, Denied };

// Only called for a serial terminal, after the holder checks.
TProbeOutcome ProbeOne(const TCandidate &c, std::string &group)
{
    struct stat st {};
    if (::stat(c.path.c_str(), &st) != 0 || st.st_rdev != c.device)
        return TProbeOutcome::Absent; // never opened
    const int fd = OpenPort(c.path);
    if (fd < 0) {
        if (errno == EACCES || errno == EPERM) {
            if (st.st_gid != 0)
                if (const struct group *g = ::getgrgid(st.st_gid))
                    group = g->gr_name;
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
std::string PermissionHint(const std::vector<TDenied> &denied)
{
    if (denied.empty())
        return {};
    std::string group;
    for (const TDenied &d : denied)
        if (!d.group.empty()) {
            group = d.group;
            break;
        }
    std::vector<std::string> names;
    for (const TDenied &d : denied)
        if (d.group == group)
            names.push_back(d.name);
    constexpr std::size_t kShown = 3;
    std::string which = Join(std::vector<std::string>(names.begin(), names.begin() + std::min(kShown, names.size())), ", ");
    if (names.size() > kShown)
        which += " (and " + std::to_string(names.size() - kShown) + " more)";
    if (group.empty())
        return "no permission to open " + which + ": ask the administrator for access to the port";
    return "no permission to open " + which + ": add your user to the \"" + group + "\" group (sudo usermod -aG " + group
           + " $USER) and log in again";
}

// A name the list can show: valid UTF-8, without control characters (a line
// break would show as two entries), line separators or bidirectional marks,
// which would break or disguise the name in the list.
bool DecodeName(const char *raw, std::string &name)
{
    const std::string_view s(raw);
    if (s.empty())
        return false;
    for (std::size_t at = 0; at < s.size();) {
        const char32_t c = NextCodePoint(s, at);
        if (c == kNotUtf8 || c < 0x20 || (c >= 0x7f && c < 0xa0) || c == 0x2028 || c == 0x2029 || IsFormatCharacter(c))
            return false;
    }
    name = s;
    return true;
}


std::string BaseName(const std::string &path)
{
    return NamePart(path);
}


bool Exists(const std::string &path)
{
    struct stat st {};
    return ::stat(path.c_str(), &st) == 0;
}

// What sysfs knows about tty NAME; false when no driver is behind it (virtual
// consoles, /dev/tty, pseudo-terminals).
bool SysfsInfo(const std::string &sysRoot, const std::string &rawName, TPortInfo &info)
{
    const std::string device = RealPath(sysRoot + "/class/tty/" + rawName + "/device");
    if (device.empty())
        return false;
    std::string driver = RealPath(device + "/driver");
    if (driver.empty())
        return false;
    // Newer kernels put a generic serial-base "port" device between the tty and
    // the device of the real driver.
    for (std::string up = device; BaseName(RealPath(up + "/subsystem")) == "serial-base";) {
        CutLast(up);
        if (const std::string d = RealPath(up + "/driver"); !d.empty() && BaseName(RealPath(up + "/subsystem")) != "serial-base")
            driver = d;
    }
    info.driver = BaseName(driver);
    // The USB device sits a level or two above the port (port, interface, device).
    const std::string devices = RealPath(sysRoot) + "/devices/";
    std::string dir = device;
    for (int up = 0; up < 4 && StartsWith(dir, devices); ++up, CutLast(dir)) {
        if (!Exists(dir + "/idVendor"))
            continue;
        info.manufacturer = ReadLine(dir + "/manufacturer");
        info.product = ReadLine(dir + "/product");
        info.serialNumber = ReadLine(dir + "/serial");
        info.usbId = ReadLine(dir + "/idVendor") + ':' + ReadLine(dir + "/idProduct");
        info.usbPath = BaseName(dir);
        break;
    }
    return true;
}

// The classic serial families of /dev: ttyS0, ttyUSB12, rfcomm3 ...
bool IsClassicSerialName(std::string_view name)
{
    for (const std::string_view family : {"ttyS", "ttyUSB", "ttyACM", "ttyAMA", "ttyXRUSB", "rfcomm"}) {
        if (!StartsWith(name, family))
            continue;
        const std::string_view number = name.substr(family.size());
        if (!number.empty() && std::all_of(number.begin(), number.end(), [](char c) { return c >= '0' && c <= '9'; }))
            return true;
    }
    return false;
}

// The terminals with a driver behind them (as udev finds serial ports), and
// the classic serial families of /dev for systems without sysfs and for
// drivers that register no device (rfcomm).
std::vector<TCandidate> DevCandidates(const TProbeRoots &roots, int &skipped)
{
    std::vector<TCandidate> out;
    std::set<std::string> seen;
    const auto add = [&](const std::string &name, const TPortInfo &info) {
        if (!seen.insert(name).second)
            return;
        TCandidate c{name, roots.dev + '/' + name, false, info, 0};
        c.info.name = name;
        out.push_back(std::move(c));
    };
    if (DIR *dir = ::opendir((roots.sys + "/class/tty").c_str())) {
        while (const dirent *e = ::readdir(dir)) {
            if (e->d_name[0] == '.' || std::strchr(e->d_name, '!')) // '!' stands for '/': not a plain /dev name
                continue;
            TPortInfo info;
            if (!SysfsInfo(roots.sys, e->d_name, info))
                continue;
            std::string name;
            if (!DecodeName(e->d_name, name)) {
                ++skipped;
                continue;
            }
            add(name, info);
        }
        ::closedir(dir);
    }
    if (DIR *dir = ::opendir(roots.dev.c_str())) {
        while (const dirent *e = ::readdir(dir)) {
            std::string name;
            if (DecodeName(e->d_name, name) && IsClassicSerialName(name))
                add(name, TPortInfo());
        }
        ::closedir(dir);
    }
    return out;
}

// What a virtual port's publisher says of it in its lock file: "product=" and
// "serial=" lines, as sysfs tells them of a USB adapter.
void PublisherInfo(const std::string &lockPath, TPortInfo &info)
{
    const int fd = ::open(lockPath.c_str(), O_RDONLY | O_NOFOLLOW | O_CLOEXEC | O_NONBLOCK);
    if (fd < 0)
        return;
    char buffer[256];
    const ssize_t n = ::read(fd, buffer, sizeof buffer);
    ::close(fd);
    if (n <= 0)
        return;
    std::string_view rest(buffer, static_cast<std::size_t>(n));
    while (!rest.empty()) {
        const std::size_t eol = rest.find('\n');
        const std::string_view line = rest.substr(0, eol);
        rest = eol == std::string_view::npos ? std::string_view() : rest.substr(eol + 1);
        if (StartsWith(line, "product="))
            info.product = Trimmed(ValidUtf8(line.substr(8)));
        else if (StartsWith(line, "serial="))
            info.serialNumber = Trimmed(ValidUtf8(line.substr(7)));
    }
}

std::vector<TCandidate> VirtualCandidates(int &skipped)
{
    std::vector<TCandidate> out;
    const std::string dirPath = VirtualPortDir(false);
    if (dirPath.empty())
        return out;
    DIR *dir = ::opendir(dirPath.c_str());
    if (!dir)
        return out;
    while (const dirent *e = ::readdir(dir)) {
        if (e->d_name[0] == '.')
            continue;
        std::string name;
        if (!DecodeName(e->d_name, name)) {
            ++skipped;
            continue;
        }
        const std::string path = dirPath + '/' + name;
        struct stat st {};
        if (::lstat(path.c_str(), &st) == 0 && S_ISLNK(st.st_mode)) {
            TCandidate c{name, path, true, TPortInfo(), 0};
            c.info.name = name;
            PublisherInfo(VirtualPortLockPath(path), c.info);
            out.push_back(std::move(c));
        }
    }
    ::closedir(dir);
    return out;
}

void SortNaturally(std::vector<TCandidate> &list)
{
    std::sort(list.begin(), list.end(), [](const TCandidate &a, const TCandidate &b) { return NaturalLess(a.name, b.name); });
}

// Splits "ttyUSB10" into "ttyUSB" and 10; a name without a trailing number gets -1.
std::pair<std::string_view, int64_t> SplitName(std::string_view name)
{
    std::size_t i = name.size();
    while (i > 0 && name[i - 1] >= '0' && name[i - 1] <= '9')
        --i;
    if (i == name.size() || name.size() - i > 18)
        return {name, -1};
    int64_t number = 0;
    for (const char c : name.substr(i))
        number = number * 10 + (c - '0');
    return {name.substr(0, i), number};
}

// Letters compared without their case (ASCII's; other bytes as they are).
int CompareNoCase(std::string_view a, std::string_view b)
{
    const auto lower = [](char c) { return static_cast<unsigned char>(c >= 'A' && c <= 'Z' ? c - 'A' + 'a' : c); };
    for (std::size_t i = 0; i < a.size() && i < b.size(); ++i)
        if (lower(a[i]) != lower(b[i]))
            return lower(a[i]) < lower(b[i]) ? -1 : 1;
    return a.size() == b.size() ? 0 : (a.size() < b.size() ? -1 : 1);
}

} // namespace

// ---- shared with PortHolders.cpp ------------------------------------------------------------

namespace detail {

bool StartsWith(std::string_view s, std::string_view prefix)
{
    return s.substr(0, prefix.size()) == prefix;
}

bool Contains(const std::vector<std::string> &list, const std::string &item)
{
    return std::find(list.begin(), list.end(), item) != list.end();
}

// Text as read from the system, with each malformed sequence shown as U+FFFD.
std::string ValidUtf8(std::string_view s)
{
    std::string out;
    out.reserve(s.size());
    for (std::size_t at = 0; at < s.size();) {
        const std::size_t from = at;
        if (NextCodePoint(s, at) == kNotUtf8)
            out += "\xEF\xBF\xBD";
        else
            out.append(s, from, at - from);
    }
    return out;
}

std::string RealPath(const std::string &path)
{
    char resolved[PATH_MAX];
    return ::realpath(path.c_str(), resolved) ? std::string(resolved) : std::string();
}

// The first line of a small file (sysfs attributes, /proc/PID/comm).
std::string ReadLine(const std::string &path)
{
    const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK);
    if (fd < 0)
        return {};
    char buffer[256];
    const ssize_t n = ::read(fd, buffer, sizeof buffer);
    ::close(fd);
    if (n <= 0)
        return {};
    std::string_view line(buffer, static_cast<std::size_t>(n));
    if (const std::size_t eol = line.find('\n'); eol != std::string_view::npos)
        line = line.substr(0, eol);
    return Trimmed(ValidUtf8(line));
}

} // namespace detail

std::string VirtualPortDir(bool create)
{
    const char *runtime = std::getenv("XDG_RUNTIME_DIR");
    std::string base;
    std::vector<std::string> parts;
    if (runtime && runtime[0] == '/') {
        base = runtime;
        parts = {"kv508-ports"};
    } else {
        if (const char *home = std::getenv("HOME"))
            base = home;
        if (!StartsWith(base, "/"))
            if (const struct passwd *pw = ::getpwuid(::geteuid()))
                base = pw->pw_dir ? pw->pw_dir : "";
        if (!StartsWith(base, "/"))
            return {};
        parts = {".cache", "kv508", "ports"};
    }
    std::string path = base;
    for (const std::string &part : parts) {
        path += '/' + part;
        if (create && ::mkdir(path.c_str(), 0700) != 0 && errno != EEXIST)
            return {};
    }
    struct stat st {};
    if (::lstat(path.c_str(), &st) != 0)
        return create ? std::string() : path; // nothing there yet: nothing to list
    return IsPrivateDir(path) ? path : std::string();
}

std::string ResolvePortPath(const std::string &name)
{
    if (name.empty() || name == "." || name == "..")
        return {};
    if (name.find('/') != std::string::npos)
        return name;
    const std::string dir = VirtualPortDir(false);
    if (!dir.empty()) {
        const std::string path = dir + '/' + name;
        struct stat st {};
        if (::lstat(path.c_str(), &st) == 0)
            return path;
    }
    return DefaultRoots().dev + '/' + name;
}

std::string VirtualPortLockPath(const std::string &linkPath)
{
    const std::size_t slash = linkPath.rfind('/');
    const std::size_t name = slash == std::string::npos ? 0 : slash + 1;
    return linkPath.substr(0, name) + '.' + linkPath.substr(name) + ".lock";
}

bool IsSimulatorPortName(const std::string &name)
{
    return StartsWith(name, "kv508sim");
}

bool IsVirtualPortAlive(const std::string &linkPath)
{
    const std::string lock = VirtualPortLockPath(linkPath);
    const int fd = ::open(lock.c_str(), O_RDONLY | O_NOFOLLOW | O_CLOEXEC | O_NONBLOCK);
    if (fd < 0)
        return errno == ENOENT && !IsSimulatorPortName(NamePart(linkPath));
    // A shared lock is refused only while the publisher holds its exclusive one.
    const bool held = ::flock(fd, LOCK_SH | LOCK_NB) != 0 && errno == EWOULDBLOCK;
    ::close(fd);
    return held;
}

bool IsPseudoTerminal(dev_t device)
{
    return IsPtySlave(device);
}

bool IsSerialTerminal(dev_t device)
{
    const unsigned maj = major(device);
    const unsigned min = minor(device);
    if (maj >= kPtySlaveFirstMajor && maj <= kPtySlaveLastMajor)
        return true;
    // A serial driver's port is a tty with a device behind it; consoles,
    // /dev/tty and /dev/ptmx are virtual and have none.
    const std::string sys = "/sys/dev/char/" + std::to_string(maj) + ':' + std::to_string(min);
    struct stat st {};
    if (::stat("/sys/dev/char", &st) == 0) {
        char target[PATH_MAX];
        const ssize_t n = ::readlink((sys + "/subsystem").c_str(), target, sizeof target - 1);
        if (n <= 0)
            return false;
        const std::string_view subsystem(target, static_cast<std::size_t>(n));
        return EndsWith(subsystem, "/tty") && ::stat((sys + "/device").c_str(), &st) == 0;
    }
    // Without sysfs: the well-known serial majors only.
    return (maj == 4 && min >= 64) || maj == 166 || maj == 188 || maj == 204 || maj == 216;
}

bool NaturalLess(const std::string &a, const std::string &b)
{
    const auto [fa, na] = SplitName(a);
    const auto [fb, nb] = SplitName(b);
    const int c = CompareNoCase(fa, fb);
    if (c != 0)
        return c < 0;
    if (na != nb)
        return na < nb;
    return a < b;
}

TProbeRoots DefaultRoots()
{
    TProbeRoots roots;
    const char *root = std::getenv("KV508_PROBE_ROOT");
    if (root && *root) {
        const std::string r = root;
        roots.sys = r + "/sys";
        roots.dev = r + "/dev";
        roots.lockDirs = {r + "/run/lock", r + "/var/lock"};
    }
    return roots;
}

// Why a terminal that is the kernel's console (console=ttyS0 on its command
// line) must not be taken: the instrument's frames and the kernel's messages
// would share the line. Empty for any other name.
std::string ConsoleReason(const std::string &sysRoot, const std::string &name)
{
    const std::string active = ' ' + ReadLine(sysRoot + "/class/tty/console/active") + ' ';
    if (active.find(' ' + name + ' ') == std::string::npos)
        return {};
    return "the kernel's console (console=" + name + " on its command line): its messages would mix with the "
           "instrument's frames; start the computer without that to use the port";
}

TProbeResult Probe()
{
    return Probe(DefaultRoots());
}

TProbeResult Probe(const TProbeRoots &roots)
{
    int skipped = 0;
    std::vector<TCandidate> dev = DevCandidates(roots, skipped);
    std::vector<TCandidate> virt = VirtualCandidates(skipped);
    SortNaturally(dev);
    SortNaturally(virt);

    // Serial terminals only, and virtual ports only while their publisher
    // lives: nothing else is ever opened.
    std::vector<TCandidate> candidates;
    std::set<dev_t> devices;
    for (std::vector<TCandidate> *list : {&dev, &virt})
        for (TCandidate &c : *list) {
            struct stat st {};
            if (::stat(c.path.c_str(), &st) != 0 || !S_ISCHR(st.st_mode) || !IsSerialTerminal(st.st_rdev))
                continue;
            if (c.virt && !IsVirtualPortAlive(c.path))
                continue;
            c.device = st.st_rdev;
            devices.insert(c.device);
            candidates.push_back(c);
        }
    const THolderScan scan = ScanHolders(devices);

    TProbeResult result;
    std::vector<TDenied> denied;
    std::vector<std::string> inUse;
    std::vector<std::string> busy;
    for (const TCandidate &c : candidates) {
        std::string holder;
        if (const pid_t pid = OtherHolder(scan, c.device))
            holder = HolderText(pid);
        else
            holder = UucpHolder(roots.lockDirs, LockNames(c.virt ? std::string() : c.name, c.path));
        if (holder.empty() && !c.virt)
            holder = ConsoleReason(roots.sys, c.name);
        if (!holder.empty()) {
            inUse.push_back(c.name + " is " + holder);
            continue;
        }
        std::string group;
        switch (ProbeOne(c, group)) {
        case TProbeOutcome::Listed:
            result.ports.push_back(c.name);
            result.infos.push_back(c.info);
            break;
        case TProbeOutcome::Denied: denied.push_back({c.virt ? c.name : c.path, group}); break;
        case TProbeOutcome::Busy: busy.push_back(c.name); break;
        case TProbeOutcome::Absent: break;
        }
    }

    std::vector<std::string> hint;
    if (std::string permission = PermissionHint(denied); !permission.empty())
        hint.push_back(std::move(permission));
    hint.insert(hint.end(), inUse.begin(), inUse.end());
    if (!busy.empty())
        hint.push_back(Join(busy, ", ") + (busy.size() == 1 ? " is " : " are ") + BusyReason(scan.unseen));
    if (skipped > 0)
        hint.push_back("a port name with control characters or in an unknown encoding was skipped; rename it");
    result.hint = Join(hint, "; ");
    return result;
}

std::string InUseReason(const std::string &path, bool *unseen)
{
    if (unseen)
        *unseen = false;
    const std::string dir = DirPart(path);
    const std::string name = NamePart(path);
    struct stat st {};
    if (::lstat(path.c_str(), &st) == 0 && S_ISLNK(st.st_mode) && !dir.empty() && dir == VirtualPortDir(false)
        && !IsVirtualPortAlive(path)) {
        if (IsSimulatorPortName(name))
            return "stale simulator link: its simulator is no longer running; start the simulator again";
        return "stale virtual port: the program that published it is no longer running";
    }
    if (::stat(path.c_str(), &st) != 0 || !S_ISCHR(st.st_mode) || !IsSerialTerminal(st.st_rdev))
        return {}; // not a port at all: the open says so
    const THolderScan scan = ScanHolders({st.st_rdev});
    if (unseen)
        *unseen = scan.unseen;
    const TProbeRoots roots = DefaultRoots();
    std::string holder;
    if (const pid_t pid = OtherHolder(scan, st.st_rdev))
        holder = HolderText(pid);
    else
        holder = UucpHolder(roots.lockDirs, LockNames(dir == roots.dev ? name : std::string(), path));
    if (holder.empty() && dir == roots.dev)
        if (std::string console = ConsoleReason(roots.sys, name); !console.empty())
            return name + " is " + console;
    if (holder.empty())
        return {};
    return holder + ": close that program, then open the port again";
}

std::string BusyReason(bool unseen)
{
    std::string text = "in use by another program";
    if (unseen)
        text += " (" + OtherUsersNote() + ')';
    return text;
}

} // namespace PortProbe
