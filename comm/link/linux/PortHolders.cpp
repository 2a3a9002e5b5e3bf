#include "PortHolders.h"

#include <algorithm>
#include <cerrno>
#include <climits>
#include <csignal>
#include <cstdlib>
#include <cstring>

#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <sys/sysmacros.h>
#include <unistd.h>

namespace PortProbe::detail {

std::string HolderText(pid_t pid, const std::string &extra)
{
    std::string command = ReadLine("/proc/" + std::to_string(pid) + "/comm");
    if (command.empty())
        command = "another program";
    return "in use by " + command + " (pid " + std::to_string(pid) + extra + ")";
}

bool IsPtySlave(dev_t device)
{
    return major(device) >= kPtySlaveFirstMajor && major(device) <= kPtySlaveLastMajor;
}

namespace {

int PtyIndex(dev_t device)
{
    return static_cast<int>((major(device) - kPtySlaveFirstMajor) * 256 + minor(device));
}

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

} // namespace

THolderScan ScanHolders(const std::set<dev_t> &devices)
{
    THolderScan scan;
    if (devices.empty())
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
        const std::string base = std::string("/proc/") + p->d_name;
        DIR *fds = ::opendir((base + "/fd").c_str());
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
                    fdinfo = ::open((base + "/fdinfo").c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
                scan.ptyMasters[static_cast<pid_t>(pid)].push_back(fdinfo >= 0 ? MasterIndex(fdinfo, f->d_name) : -1);
                continue;
            }
            struct stat st {};
            if (::fstatat(::dirfd(fds), f->d_name, &st, 0) == 0 && S_ISCHR(st.st_mode) && devices.count(st.st_rdev)) {
                std::vector<pid_t> &list = scan.holders[st.st_rdev];
                if (std::find(list.begin(), list.end(), static_cast<pid_t>(pid)) == list.end())
                    list.push_back(static_cast<pid_t>(pid));
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
    const auto holders = scan.holders.find(device);
    if (holders == scan.holders.end())
        return 0;
    for (const pid_t pid : holders->second) {
        if (IsPtySlave(device)) {
            if (const auto masters = scan.ptyMasters.find(pid); masters != scan.ptyMasters.end()) {
                const std::vector<int> &m = masters->second;
                if (std::find(m.begin(), m.end(), PtyIndex(device)) != m.end() || std::find(m.begin(), m.end(), -1) != m.end())
                    continue;
            }
        }
        return pid;
    }
    return 0;
}

namespace {

// The pid in a UUCP lock file: ASCII (the usual form) or a binary int (old
// programs); 0 when there is none.
pid_t LockOwner(const std::string &path)
{
    const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK | O_NOFOLLOW);
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

} // namespace

// A live UUCP lock on any of the names: "in use by ...", else empty. A lock
// whose process is gone is stale and ignored. The probe makes no lock files.
std::string UucpHolder(const std::vector<std::string> &lockDirs, const std::vector<std::string> &names)
{
    for (const std::string &dir : lockDirs)
        for (const std::string &name : names) {
            const std::string path = dir + "/LCK.." + name;
            const pid_t pid = LockOwner(path);
            if (pid <= 0 || pid == ::getpid())
                continue;
            if (::kill(pid, 0) == 0 || errno == EPERM)
                return HolderText(pid, ", lock file " + ValidUtf8(path));
        }
    return {};
}

// The names UUCP lock files use for the device: its /dev name ("ttyUSB0"),
// with "/" as "_" below /dev ("pts_3").
std::vector<std::string> LockNames(const std::string &devName, const std::string &path)
{
    std::vector<std::string> names;
    if (!devName.empty())
        names.push_back(devName);
    const std::string real = RealPath(path);
    if (StartsWith(real, "/dev/")) {
        std::string name = real.substr(5);
        std::replace(name.begin(), name.end(), '/', '_');
        if (!Contains(names, name))
            names.push_back(name);
    }
    return names;
}

std::string OtherUsersNote()
{
    return "programs of other users cannot be seen without privileges";
}

} // namespace PortProbe::detail
