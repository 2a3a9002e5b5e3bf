#include "PtyTools.h"

#include "PortProbe.h"

#include <cerrno>
#include <csignal>
#include <cstdlib>
#include <map>

#include <fcntl.h>
#include <ftw.h>
#include <poll.h>
#include <spawn.h>
#include <sys/file.h>
#include <sys/inotify.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

extern char **environ;

namespace PtyTools {

namespace {

std::map<std::string, int> &HeldLocks()
{
    static std::map<std::string, int> locks;
    return locks;
}

std::string Parent(const std::string &path)
{
    const std::size_t slash = path.rfind('/');
    return slash == std::string::npos ? std::string() : path.substr(0, slash);
}

bool Link(const std::string &target, const std::string &link)
{
    return MakePath(Parent(link)) && ::symlink(target.c_str(), link.c_str()) == 0;
}

} // namespace

TPtyPair::TPtyPair()
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
    m_slavePath = name;
}

TPtyPair::~TPtyPair()
{
    Hangup();
}

bool TPtyPair::Write(std::string_view bytes)
{
    std::size_t done = 0;
    while (done < bytes.size()) {
        const ssize_t w = ::write(m_master, bytes.data() + done, bytes.size() - done);
        if (w > 0) {
            done += static_cast<std::size_t>(w);
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

std::string TPtyPair::ReadAvailable()
{
    std::string out;
    char buf[4096];
    for (;;) {
        const ssize_t r = ::read(m_master, buf, sizeof buf);
        if (r > 0)
            out.append(buf, static_cast<std::size_t>(r));
        else if (!(r < 0 && errno == EINTR))
            break;
    }
    return out;
}

void TPtyPair::Hangup()
{
    if (m_master >= 0)
        ::close(m_master);
    m_master = -1;
}

int TPtyPair::TakeMaster()
{
    const int fd = m_master;
    m_master = -1;
    return fd;
}

TScratchDir::TScratchDir()
{
    const char *tmp = std::getenv("TMPDIR");
    std::string templ = std::string(tmp && *tmp == '/' ? tmp : "/tmp") + "/kv508-test-XXXXXX";
    if (::mkdtemp(templ.data()))
        m_path = templ;
}

TScratchDir::~TScratchDir()
{
    if (!m_path.empty())
        RemoveTree(m_path);
}

bool MakePath(const std::string &path)
{
    struct stat st {};
    if (path.empty() || ::stat(path.c_str(), &st) == 0)
        return path.empty() || S_ISDIR(st.st_mode);
    if (!MakePath(Parent(path)))
        return false;
    return ::mkdir(path.c_str(), 0777) == 0 || errno == EEXIST;
}

void RemoveTree(const std::string &path)
{
    const auto remove = [](const char *at, const struct stat *, int, FTW *) {
        ::remove(at); // what cannot go stays: the rest is still removed
        return 0;
    };
    ::nftw(path.c_str(), remove, 16, FTW_DEPTH | FTW_PHYS);
}

bool WriteFile(const std::string &path, std::string_view content)
{
    const int fd = ::open(path.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644);
    if (fd < 0)
        return false;
    const bool ok = ::write(fd, content.data(), content.size()) == static_cast<ssize_t>(content.size());
    return ::close(fd) == 0 && ok;
}

bool PublishVirtualPort(const std::string &name, const std::string &target, const std::string &serial)
{
    const std::string dir = PortProbe::VirtualPortDir(true);
    if (dir.empty())
        return false;
    const std::string link = dir + '/' + name;
    ReleaseVirtualPortLock(name);
    if (PortProbe::IsSimulatorPortName(name)) {
        const std::string lock = PortProbe::VirtualPortLockPath(link);
        const int fd = ::open(lock.c_str(), O_RDWR | O_CREAT | O_CLOEXEC, 0600);
        if (fd < 0 || ::flock(fd, LOCK_EX | LOCK_NB) != 0)
            return false;
        const std::string identity = serial.empty() ? std::string() : "product=kv508-sim\nserial=" + serial + "\n";
        if (::ftruncate(fd, 0) != 0 || ::write(fd, identity.data(), identity.size()) != static_cast<ssize_t>(identity.size()))
            return false;
        HeldLocks()[name] = fd;
    }
    ::unlink(link.c_str());
    return ::symlink(target.c_str(), link.c_str()) == 0;
}

void ReleaseVirtualPortLock(const std::string &name)
{
    const auto held = HeldLocks().find(name);
    if (held == HeldLocks().end())
        return;
    if (held->second > 0)
        ::close(held->second);
    HeldLocks().erase(held);
}

pid_t SpawnHolder(const std::vector<std::string> &paths, int fd)
{
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    int next = 3;
    for (const std::string &path : paths)
        posix_spawn_file_actions_addopen(&actions, next++, path.c_str(), O_RDWR | O_NOCTTY, 0);
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

TOpenWatch::TOpenWatch(const std::string &path) : m_fd(::inotify_init1(IN_NONBLOCK | IN_CLOEXEC))
{
    if (m_fd >= 0)
        m_watch = ::inotify_add_watch(m_fd, path.c_str(), IN_OPEN);
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

bool AddFakeSerialPort(const std::string &root, const std::string &name, const std::string &target,
                       const std::string &driver, const TFakeUsb *usb)
{
    const std::string sys = root + "/sys";
    std::string device;
    if (usb) {
        const std::string usbDir = sys + "/devices/pci0000:00/usb1/1-" + name;
        const bool ok = MakePath(usbDir) && WriteFile(usbDir + "/idVendor", usb->vid + '\n')
                        && WriteFile(usbDir + "/idProduct", usb->pid + '\n')
                        && WriteFile(usbDir + "/manufacturer", usb->manufacturer + '\n')
                        && WriteFile(usbDir + "/product", usb->product + '\n')
                        && WriteFile(usbDir + "/serial", usb->serial + '\n');
        if (!ok)
            return false;
        device = usbDir + "/1-0:1.0/" + name; // interface, then the port
    } else {
        device = sys + "/devices/platform/serial-" + name;
    }
    if (!MakePath(device) || !MakePath(sys + "/class/tty/" + name))
        return false;
    if (!driver.empty()) {
        const std::string drv = sys + "/bus/platform/drivers/" + driver;
        if (!MakePath(drv) || !Link(drv, device + "/driver"))
            return false;
    }
    return Link(device, sys + "/class/tty/" + name + "/device") && Link(target, root + "/dev/" + name);
}

std::string UseScratchVirtualPortDir()
{
    static TScratchDir runtime; // lives as long as the test program
    while (!HeldLocks().empty())
        ReleaseVirtualPortLock(HeldLocks().begin()->first);
    RemoveTree(runtime.Path() + "/kv508-ports");
    ::setenv("XDG_RUNTIME_DIR", runtime.Path().c_str(), 1);
    return PortProbe::VirtualPortDir(true);
}

} // namespace PtyTools
