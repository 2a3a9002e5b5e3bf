// Port names, the virtual-port directory and the probe, on real pseudo-terminals,
// without Qt.
#include "EventLoop.h"
#include "LoopWaitHost.h"
#include "PortProbe.h"
#include "PtyTools.h"
#include "SerialLink.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <cstdlib>
#include <memory>
#include <string>
#include <vector>

#include <fcntl.h>
#include <sys/file.h>
#include <sys/inotify.h>
#include <sys/stat.h>
#include <sys/sysmacros.h>
#include <unistd.h>

using namespace PtyTools;

using TNames = std::vector<std::string>;

namespace {

// Restores an environment variable when the test ends.
class TEnvGuard
{
public:
    explicit TEnvGuard(const char *name) : m_name(name)
    {
        if (const char *value = std::getenv(name)) {
            m_had = true;
            m_value = value;
        }
    }
    ~TEnvGuard()
    {
        if (m_had)
            ::setenv(m_name, m_value.c_str(), 1);
        else
            ::unsetenv(m_name);
    }

private:
    const char *m_name;
    bool m_had = false;
    std::string m_value;
};

TNames Virtual(const TNames &ports, const std::string &prefix)
{
    TNames out;
    for (const std::string &p : ports)
        if (p.starts_with(prefix))
            out.push_back(p);
    return out;
}

bool Has(const TNames &ports, const std::string &name)
{
    return std::find(ports.begin(), ports.end(), name) != ports.end();
}

bool Contains(const std::string &text, const std::string &part)
{
    return text.find(part) != std::string::npos;
}

std::string Joined(const TNames &names)
{
    std::string out;
    for (const std::string &n : names)
        out += (out.empty() ? "" : " ") + n;
    return out;
}

// A link that would wait in a plain event loop: these cases only open it.
struct TLinkHost {
    TEventLoop loop;
    TLoopWaitHost host{loop};
};

} // namespace

TEST(PortProbe, VirtualPortDirFollowsTheRuntimeDirectory)
{
    TEnvGuard guard("XDG_RUNTIME_DIR");
    TScratchDir runtime;
    ::setenv("XDG_RUNTIME_DIR", runtime.Path().c_str(), 1);
    const std::string dir = PortProbe::VirtualPortDir(true);
    EXPECT_EQ(dir, runtime.Path() + "/kv508-ports");
    struct stat st {};
    ASSERT_EQ(::stat(dir.c_str(), &st), 0);
    EXPECT_EQ(st.st_mode & 0777, 0700u);
    EXPECT_EQ(st.st_uid, ::geteuid());

    // Without it: the user's own home, never a shared directory where another
    // user could take the name first.
    TEnvGuard home("HOME");
    TScratchDir homeDir;
    ::setenv("HOME", homeDir.Path().c_str(), 1);
    const std::string fallback = homeDir.Path() + "/.cache/kv508/ports";
    ::unsetenv("XDG_RUNTIME_DIR");
    EXPECT_EQ(PortProbe::VirtualPortDir(false), fallback);
    ::setenv("XDG_RUNTIME_DIR", "relative/dir", 1); // not usable: fall back
    EXPECT_EQ(PortProbe::VirtualPortDir(true), fallback);
    ASSERT_EQ(::stat(fallback.c_str(), &st), 0);
    EXPECT_EQ(st.st_mode & 0777, 0700u);
    ASSERT_EQ(::chmod(fallback.c_str(), 0777), 0); // others could plant links
    EXPECT_TRUE(PortProbe::VirtualPortDir(true).empty());
}

TEST(PortProbe, AVirtualPortDirThatOthersControlIsNotUsed)
{
    TEnvGuard guard("XDG_RUNTIME_DIR");
    TScratchDir runtime;
    ::setenv("XDG_RUNTIME_DIR", runtime.Path().c_str(), 1);
    const std::string dir = runtime.Path() + "/kv508-ports";

    ASSERT_EQ(::mkdir(dir.c_str(), 0700), 0);
    ASSERT_EQ(::chmod(dir.c_str(), 0777), 0); // anyone could plant links
    EXPECT_TRUE(PortProbe::VirtualPortDir(false).empty());
    EXPECT_TRUE(PortProbe::VirtualPortDir(true).empty());
    ASSERT_EQ(::rmdir(dir.c_str()), 0);

    TScratchDir elsewhere;
    ASSERT_EQ(::symlink(elsewhere.Path().c_str(), dir.c_str()), 0);
    EXPECT_TRUE(PortProbe::VirtualPortDir(true).empty());
    ASSERT_EQ(::unlink(dir.c_str()), 0);

    if (::geteuid() == 0) { // only root can give it away
        ASSERT_EQ(::mkdir(dir.c_str(), 0700), 0);
        ASSERT_EQ(::chown(dir.c_str(), 65534, 65534), 0);
        EXPECT_TRUE(PortProbe::VirtualPortDir(true).empty());
    }
}

TEST(PortProbe, PortNamesResolveToDevicePaths)
{
    TEnvGuard guard("XDG_RUNTIME_DIR");
    const std::string dir = UseScratchVirtualPortDir();
    ASSERT_FALSE(dir.empty());
    ASSERT_TRUE(PublishVirtualPort("kv508sim0", "/dev/null"));
    ASSERT_TRUE(PublishVirtualPort("ttyS0", "/dev/null")); // a virtual port wins

    const struct {
        const char *name;
        std::string path;
    } cases[] = {
        {"ttyUSB3", "/dev/ttyUSB3"},
        {"kv508sim0", dir + "/kv508sim0"},
        {"ttyS0", dir + "/ttyS0"},
        {"/dev/pts/7", "/dev/pts/7"},
        {"pts/7", "pts/7"},
        {"", ""},
        {"..", ""},
    };
    for (const auto &c : cases)
        EXPECT_EQ(PortProbe::ResolvePortPath(c.name), c.path) << c.name;
}

TEST(PortProbe, NamesSortByFamilyThenNumber)
{
    TNames names = {"ttyUSB10", "ttyS1", "ttyUSB9", "ttyACM0", "ttyS10", "ttyS2", "rfcomm0", "ttyUSB0", "kv508sim"};
    std::sort(names.begin(), names.end(), PortProbe::NaturalLess);
    EXPECT_EQ(names, (TNames{"kv508sim", "rfcomm0", "ttyACM0", "ttyS1", "ttyS2", "ttyS10", "ttyUSB0", "ttyUSB9", "ttyUSB10"}));

    // The family is compared without case, then the number; equal ones by name.
    names = {"TTYs3", "ttyS2", "ttyS02", "COM1", "com10", "com2", "port", "Port"};
    std::sort(names.begin(), names.end(), PortProbe::NaturalLess);
    EXPECT_EQ(names, (TNames{"COM1", "com2", "com10", "Port", "port", "ttyS02", "ttyS2", "TTYs3"}));
}

TEST(PortProbe, VirtualPortsAreListedInNaturalOrderAfterTheDevicePorts)
{
    TEnvGuard guard("XDG_RUNTIME_DIR");
    UseScratchVirtualPortDir();
    std::vector<std::unique_ptr<TPtyPair>> ptys;
    for (const char *name : {"kv508sim10", "kv508sim2", "kv508sim9"}) {
        ptys.push_back(std::make_unique<TPtyPair>());
        ASSERT_TRUE(PublishVirtualPort(name, ptys.back()->SlavePath()));
    }
    const TNames ports = PortProbe::Probe().ports;
    EXPECT_EQ(Virtual(ports, "kv508sim"), (TNames{"kv508sim2", "kv508sim9", "kv508sim10"}));
    ASSERT_FALSE(ports.empty());
    EXPECT_EQ(ports.back(), "kv508sim10");

    ptys.pop_back(); // kv508sim9's line is gone: its link dangles
    EXPECT_EQ(Virtual(PortProbe::Probe().ports, "kv508sim"), (TNames{"kv508sim2", "kv508sim10"}));
}

// The whole probe stays quick: it runs while the user waits for the list.
TEST(PortProbe, AProbeTakesWellUnderATenthOfASecond)
{
    TEnvGuard guard("XDG_RUNTIME_DIR");
    UseScratchVirtualPortDir();
    std::vector<std::unique_ptr<TPtyPair>> ptys;
    for (int i = 0; i < 8; ++i) {
        ptys.push_back(std::make_unique<TPtyPair>());
        ASSERT_TRUE(PublishVirtualPort("kv508sim" + std::to_string(i), ptys.back()->SlavePath()));
    }
    std::vector<double> ms;
    for (int i = 0; i < 5; ++i) {
        const auto start = std::chrono::steady_clock::now();
        const PortProbe::TProbeResult result = PortProbe::Probe();
        ms.push_back(std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - start).count());
        EXPECT_EQ(Virtual(result.ports, "kv508sim").size(), 8u);
    }
    std::sort(ms.begin(), ms.end());
    RecordProperty("probe_ms_median", std::to_string(ms[ms.size() / 2]));
    EXPECT_LT(ms[ms.size() / 2], 100.0);
}

// Opening some devices has side effects (a new pseudo-terminal for /dev/ptmx, a
// console grab): a link to anything but a serial terminal is never opened.
// Private device nodes let inotify tell whether anyone opened them.
TEST(PortProbe, LinksToAnythingButASerialTerminalAreNeverOpened)
{
    TEnvGuard guard("XDG_RUNTIME_DIR");
    UseScratchVirtualPortDir();
    TScratchDir targets;
    const std::string base = targets.Path() + '/';

    TNames watched;
    ASSERT_TRUE(WriteFile(base + "plain", ""));
    watched.push_back(base + "plain");
    ASSERT_EQ(::mkfifo((base + "fifo").c_str(), 0600), 0);
    watched.push_back(base + "fifo");
    const struct {
        const char *name;
        unsigned maj, min;
    } nodes[] = {{"null", 1, 3}, {"tty", 5, 0}, {"console", 5, 1}, {"ptmx", 5, 2}, {"tty1", 4, 1}};
    for (const auto &n : nodes) {
        const std::string path = base + n.name;
        if (::mknod(path.c_str(), S_IFCHR | 0666, makedev(n.maj, n.min)) == 0)
            watched.push_back(path);
        else
            watched.push_back(std::string("/dev/") + n.name); // not root: listing only
    }

    const int in = ::inotify_init1(IN_NONBLOCK | IN_CLOEXEC);
    ASSERT_GE(in, 0);
    int i = 0;
    for (const std::string &target : watched) {
        if (target.starts_with(base)) {
            ASSERT_GE(::inotify_add_watch(in, target.c_str(), IN_OPEN), 0);
        }
        ASSERT_TRUE(PublishVirtualPort("bad" + std::to_string(i++), target));
    }
    ASSERT_TRUE(PublishVirtualPort("bad" + std::to_string(i++), targets.Path())); // a directory
    ASSERT_TRUE(PublishVirtualPort("bad" + std::to_string(i++), base + "missing"));
    TPtyPair pty;
    ASSERT_TRUE(PublishVirtualPort("good", pty.SlavePath()));

    const TNames ports = PortProbe::Probe().ports;
    EXPECT_TRUE(Virtual(ports, "bad").empty()) << Joined(ports);
    EXPECT_TRUE(Has(ports, "good"));
    char events[4096];
    EXPECT_LT(::read(in, events, sizeof events), 0) << "the probe opened a device it must not touch";
    ::close(in);
}

TEST(PortProbe, APortHeldByAnotherProgramIsNotListed)
{
    TEnvGuard guard("XDG_RUNTIME_DIR");
    UseScratchVirtualPortDir();
    TPtyPair pty;
    ASSERT_TRUE(PublishVirtualPort("kv508sim0", pty.SlavePath()));
    const int other = ::open(pty.SlavePath().c_str(), O_RDWR | O_NOCTTY | O_CLOEXEC);
    ASSERT_GE(other, 0);
    ASSERT_EQ(::flock(other, LOCK_EX | LOCK_NB), 0);
    const PortProbe::TProbeResult held = PortProbe::Probe();
    EXPECT_FALSE(Has(held.ports, "kv508sim0"));
    // The hint reads as a sentence: which port, and why.
    EXPECT_NE(held.hint.find("kv508sim0 is in use by another program"), std::string::npos) << held.hint;
    ::close(other);
    EXPECT_TRUE(Has(PortProbe::Probe().ports, "kv508sim0"));
}

// A user who sees an empty list must learn why. Run as an ordinary user: root
// takes the identity of "nobody" for the probe.
TEST(PortProbe, APortWithoutPermissionIsLeftOutWithTheReasonAndTheFix)
{
    if (::geteuid() != 0)
        GTEST_SKIP() << "needs root to take another identity";
    TEnvGuard guard("XDG_RUNTIME_DIR");
    TPtyPair pty; // slave owned by root, group tty, mode 0620
    ASSERT_EQ(::chown(pty.SlavePath().c_str(), 0, 5), 0);
    ASSERT_EQ(::chmod(pty.SlavePath().c_str(), 0620), 0);
    char runtime[] = "/tmp/kv508-probe-XXXXXX";
    ASSERT_NE(::mkdtemp(runtime), nullptr);
    ASSERT_EQ(::chown(runtime, 65534, 65534), 0);
    ::setenv("XDG_RUNTIME_DIR", runtime, 1);

    PortProbe::TProbeResult result;
    ASSERT_EQ(::setegid(65534), 0);
    ASSERT_EQ(::seteuid(65534), 0);
    const bool published = PublishVirtualPort("kv508perm0", pty.SlavePath());
    if (published)
        result = PortProbe::Probe();
    ASSERT_EQ(::seteuid(0), 0);
    ASSERT_EQ(::setegid(0), 0);
    RemoveTree(runtime);

    ASSERT_TRUE(published);
    EXPECT_FALSE(Has(result.ports, "kv508perm0"));
    EXPECT_TRUE(result.hint.starts_with("no permission to open ")) << result.hint;
    EXPECT_TRUE(Contains(result.hint, "kv508perm0")) << result.hint;
    EXPECT_TRUE(Contains(result.hint, "add your user to the \"tty\" group (sudo usermod -aG tty $USER)")) << result.hint;

    // With the permission there, the same probe lists it and has nothing to explain.
    UseScratchVirtualPortDir();
    ASSERT_TRUE(PublishVirtualPort("kv508perm0", pty.SlavePath()));
    EXPECT_TRUE(Has(PortProbe::Probe().ports, "kv508perm0"));
}

namespace {

// A fake /sys, /dev and lock directory for the probe, removed at the end.
struct TFakeRoot {
    TScratchDir dir;
    PortProbe::TProbeRoots Roots() const
    {
        PortProbe::TProbeRoots r;
        r.sys = dir.Path() + "/sys";
        r.dev = dir.Path() + "/dev";
        r.lockDirs = {dir.Path() + "/run/lock"};
        MakePath(r.dev);
        MakePath(r.lockDirs.front());
        return r;
    }
};

const PortProbe::TPortInfo *InfoOf(const PortProbe::TProbeResult &r, const std::string &name)
{
    for (const PortProbe::TPortInfo &i : r.infos)
        if (i.name == name)
            return &i;
    return nullptr;
}

} // namespace

// Any serial driver counts, not just a few families; the tty class tells which
// terminals have a driver behind them, and USB descriptors tell adapters apart.
TEST(PortProbe, PortsOfAnySerialDriverAreFoundWithTheirUsbDescriptors)
{
    TEnvGuard guard("XDG_RUNTIME_DIR");
    UseScratchVirtualPortDir();
    TFakeRoot root;
    const PortProbe::TProbeRoots roots = root.Roots();
    TPtyPair usb, uart, console, padded;
    const TFakeUsb ch341{"1a86", "7523", "QinHeng Electronics", "USB Serial", "A1B2C3"};
    ASSERT_TRUE(AddFakeSerialPort(root.dir.Path(), "ttyCH341USB0", usb.SlavePath(), "ch341-uart", &ch341));
    ASSERT_TRUE(AddFakeSerialPort(root.dir.Path(), "ttymxc0", uart.SlavePath(), "imx-uart"));
    ASSERT_TRUE(AddFakeSerialPort(root.dir.Path(), "tty5", console.SlavePath(), "")); // no driver
    // Descriptors padded with blanks, one of them not valid UTF-8.
    const TFakeUsb cheap{" 0403 ", "6001\t", "  FTDI\xc2\xa0", "\xe2\x80\x83" "FT232R\xff" "UART ", "AB\xed\xa0\x80" "C"};
    ASSERT_TRUE(AddFakeSerialPort(root.dir.Path(), "ttyUSB1", padded.SlavePath(), "ftdi_sio", &cheap));

    const PortProbe::TProbeResult result = PortProbe::Probe(roots);
    EXPECT_EQ(result.ports, (TNames{"ttyCH341USB0", "ttymxc0", "ttyUSB1"}));
    ASSERT_EQ(result.infos.size(), result.ports.size());
    const PortProbe::TPortInfo *a = InfoOf(result, "ttyCH341USB0");
    ASSERT_NE(a, nullptr);
    EXPECT_EQ(a->driver, "ch341-uart");
    EXPECT_EQ(a->manufacturer, "QinHeng Electronics");
    EXPECT_EQ(a->product, "USB Serial");
    EXPECT_EQ(a->serialNumber, "A1B2C3");
    EXPECT_EQ(a->usbId, "1a86:7523");
    EXPECT_EQ(a->Description(), "manufacturer: QinHeng Electronics\nproduct: USB Serial\nserial number: A1B2C3\n"
                                "USB ID: 1a86:7523\ndriver: ch341-uart");
    const PortProbe::TPortInfo *b = InfoOf(result, "ttymxc0");
    ASSERT_NE(b, nullptr);
    EXPECT_EQ(b->driver, "imx-uart");
    EXPECT_TRUE(b->usbId.empty());
    EXPECT_EQ(b->Description(), "driver: imx-uart");
    const PortProbe::TPortInfo *p = InfoOf(result, "ttyUSB1");
    ASSERT_NE(p, nullptr);
    EXPECT_EQ(p->usbId, "0403:6001");
    EXPECT_EQ(p->manufacturer, "FTDI");
    EXPECT_EQ(p->product, "FT232R\xef\xbf\xbd" "UART"); // each bad byte one replacement character
    EXPECT_EQ(p->serialNumber, "AB\xef\xbf\xbd\xef\xbf\xbd\xef\xbf\xbd" "C");

    // Newer kernels: tty -> serial-base port -> serial-base ctrl -> the real device.
    const std::string sys = root.dir.Path() + "/sys";
    const std::string dev = sys + "/devices/pnp0/00:00";
    const std::string port = dev + "/00:00:0/00:00:0.0";
    const auto link = [](const std::string &target, const std::string &at) {
        MakePath(target);
        return ::symlink(target.c_str(), at.c_str()) == 0;
    };
    ASSERT_TRUE(MakePath(port) && MakePath(sys + "/class/tty/ttyS4"));
    const std::string base = sys + "/bus/serial-base";
    ASSERT_TRUE(link(base, port + "/subsystem") && link(base + "/drivers/port", port + "/driver") &&
                link(base, dev + "/00:00:0/subsystem") && link(base + "/drivers/ctrl", dev + "/00:00:0/driver") &&
                link(sys + "/bus/pnp", dev + "/subsystem") && link(sys + "/bus/pnp/drivers/serial", dev + "/driver") &&
                link(port, sys + "/class/tty/ttyS4/device") && link(uart.SlavePath(), root.dir.Path() + "/dev/ttyS4"));
    const PortProbe::TProbeResult later = PortProbe::Probe(roots);
    const PortProbe::TPortInfo *c = InfoOf(later, "ttyS4");
    ASSERT_NE(c, nullptr);
    EXPECT_EQ(c->driver, "serial");
}

// An adapter plugged back in often gets another name (ttyUSB0 becomes
// ttyUSB1): its identity stays, and differs from every other adapter's.
// A serial console (console=ttyS0) looks like any free UART, yet frames sent
// there mix with the kernel's messages: it is left out, and the hint says why.
TEST(PortProbe, TheKernelsSerialConsoleIsLeftOutAndSaidSo)
{
    TEnvGuard guard("XDG_RUNTIME_DIR");
    UseScratchVirtualPortDir();
    TFakeRoot root;
    TPtyPair console, spare;
    ASSERT_TRUE(AddFakeSerialPort(root.dir.Path(), "ttyS0", console.SlavePath(), "serial8250"));
    ASSERT_TRUE(AddFakeSerialPort(root.dir.Path(), "ttyS1", spare.SlavePath(), "serial8250"));
    const std::string active = root.dir.Path() + "/sys/class/tty/console";
    ASSERT_TRUE(MakePath(active) && WriteFile(active + "/active", "tty0 ttyS0\n"));

    const PortProbe::TProbeResult result = PortProbe::Probe(root.Roots());
    EXPECT_EQ(result.ports, (TNames{"ttyS1"}));
    EXPECT_NE(result.hint.find("ttyS0 is the kernel's console (console=ttyS0"), std::string::npos) << result.hint;
}

TEST(PortProbe, AnAdapterKeepsItsIdentityUnderAnyName)
{
    TEnvGuard guard("XDG_RUNTIME_DIR");
    UseScratchVirtualPortDir();
    TFakeRoot first, second, nothing;
    TPtyPair a, b, plain, sim, other;
    const TFakeUsb ftdi{"0403", "6001", "FTDI", "FT232R USB UART", "A50285BI"};
    const TFakeUsb noSerial{"1a86", "7523", "QinHeng", "USB Serial", ""};
    ASSERT_TRUE(AddFakeSerialPort(first.dir.Path(), "ttyUSB0", a.SlavePath(), "ftdi_sio", &ftdi));
    ASSERT_TRUE(AddFakeSerialPort(first.dir.Path(), "ttyUSB1", plain.SlavePath(), "ch341-uart", &noSerial));
    ASSERT_TRUE(AddFakeSerialPort(first.dir.Path(), "ttyS0", b.SlavePath(), "serial8250"));
    ASSERT_TRUE(AddFakeSerialPort(second.dir.Path(), "ttyUSB3", b.SlavePath(), "ftdi_sio", &ftdi));

    const PortProbe::TProbeResult before = PortProbe::Probe(first.Roots());
    const PortProbe::TProbeResult after = PortProbe::Probe(second.Roots());
    const PortProbe::TPortInfo *was = InfoOf(before, "ttyUSB0");
    const PortProbe::TPortInfo *now = InfoOf(after, "ttyUSB3");
    ASSERT_NE(was, nullptr);
    ASSERT_NE(now, nullptr);
    EXPECT_EQ(was->Identity(), "usb 0403:6001 serial A50285BI");
    EXPECT_EQ(now->Identity(), was->Identity());
    // Without a serial number the socket it is plugged into tells it apart.
    const PortProbe::TPortInfo *cheap = InfoOf(before, "ttyUSB1");
    ASSERT_NE(cheap, nullptr);
    EXPECT_EQ(cheap->Identity().rfind("usb 1a86:7523 at ", 0), 0u) << cheap->Identity();
    EXPECT_GT(cheap->Identity().size(), std::string("usb 1a86:7523 at ").size());
    // A built-in port is known by its name only.
    const PortProbe::TPortInfo *builtIn = InfoOf(before, "ttyS0");
    ASSERT_NE(builtIn, nullptr);
    EXPECT_EQ(builtIn->Identity(), "");

    // A simulator's port says who it is in its lock file; a hand-made link does not.
    ASSERT_TRUE(PublishVirtualPort("kv508sim0", sim.SlavePath(), "BENCH-7"));
    ASSERT_TRUE(PublishVirtualPort("kv508sim1", other.SlavePath(), "BENCH-8"));
    const PortProbe::TProbeResult virt = PortProbe::Probe(nothing.Roots());
    const PortProbe::TPortInfo *s0 = InfoOf(virt, "kv508sim0");
    const PortProbe::TPortInfo *s1 = InfoOf(virt, "kv508sim1");
    ASSERT_NE(s0, nullptr);
    ASSERT_NE(s1, nullptr);
    EXPECT_EQ(s0->Identity(), "virtual kv508-sim serial BENCH-7");
    EXPECT_EQ(s1->Identity(), "virtual kv508-sim serial BENCH-8");
    ReleaseVirtualPortLock("kv508sim0");
    ReleaseVirtualPortLock("kv508sim1");
}

// A simulator killed with SIGKILL leaves its link, and the pseudo-terminal
// number goes to someone's new terminal window: that terminal is never touched.
TEST(PortProbe, ASimulatorLinkIsListedAndOpenedOnlyWhileItsPublisherLives)
{
    TEnvGuard guard("XDG_RUNTIME_DIR");
    const std::string dir = UseScratchVirtualPortDir();
    TPtyPair pty;
    ASSERT_TRUE(PublishVirtualPort("kv508sim3", pty.SlavePath()));
    EXPECT_TRUE(Has(PortProbe::Probe().ports, "kv508sim3"));

    ReleaseVirtualPortLock("kv508sim3");
    TOpenWatch watch(pty.SlavePath());
    ASSERT_TRUE(watch.Valid());
    EXPECT_FALSE(Has(PortProbe::Probe().ports, "kv508sim3"));
    TLinkHost host;
    TSerialLink link(host.host);
    std::string error;
    EXPECT_FALSE(link.Open("kv508sim3", 4800, error));
    EXPECT_EQ(error, "stale simulator link: its simulator is no longer running; start the simulator again");
    ASSERT_EQ(::unlink((dir + "/.kv508sim3.lock").c_str()), 0); // no lock file at all
    EXPECT_FALSE(Has(PortProbe::Probe().ports, "kv508sim3"));
    EXPECT_FALSE(link.Open("kv508sim3", 4800, error));
    EXPECT_FALSE(watch.Opened()) << "the terminal behind a stale link was opened";

    // A link made by hand has no lock file and no simulator's name: it lives
    // as long as its target, and a dead one is said to be the publisher's.
    ASSERT_EQ(::symlink(pty.SlavePath().c_str(), (dir + "/bench").c_str()), 0);
    EXPECT_TRUE(PortProbe::IsVirtualPortAlive(dir + "/bench"));
    EXPECT_TRUE(Has(PortProbe::Probe().ports, "bench"));
    ASSERT_TRUE(WriteFile(dir + "/.bench.lock", "")); // a lock file nobody holds
    EXPECT_FALSE(PortProbe::IsVirtualPortAlive(dir + "/bench"));
    EXPECT_FALSE(link.Open("bench", 4800, error));
    EXPECT_EQ(error, "stale virtual port: the program that published it is no longer running");
}

// A program that opened a port without any lock (a terminal program, a
// script): the port is not offered, and the user learns who has it. The
// program on the other end of a pseudo-terminal (a simulator, socat) keeps the
// slave open only to hold the line up: it does not count.
TEST(PortProbe, APortOpenInAnotherProgramIsLeftOutAndTheProgramNamed)
{
    TEnvGuard guard("XDG_RUNTIME_DIR");
    UseScratchVirtualPortDir();
    TPtyPair held, bridged;
    ASSERT_TRUE(PublishVirtualPort("held0", held.SlavePath()));
    ASSERT_TRUE(PublishVirtualPort("bridged0", bridged.SlavePath()));
    const pid_t reader = SpawnHolder({held.SlavePath()});
    const pid_t bridge = SpawnHolder({bridged.SlavePath()}, bridged.Master());
    ASSERT_GT(reader, 0);
    ASSERT_GT(bridge, 0);
    const std::string inUse = "in use by sleep (pid " + std::to_string(reader) + ")";

    const PortProbe::TProbeResult result = PortProbe::Probe();
    EXPECT_FALSE(Has(result.ports, "held0"));
    EXPECT_TRUE(Has(result.ports, "bridged0"));
    EXPECT_TRUE(Contains(result.hint, "held0 is " + inUse)) << result.hint;
    TLinkHost host;
    TSerialLink link(host.host);
    std::string error;
    EXPECT_FALSE(link.Open("held0", 4800, error));
    EXPECT_EQ(error, inUse + ": close that program, then open the port again");
    bool unseen = true;
    EXPECT_EQ(PortProbe::InUseReason(PortProbe::ResolvePortPath("held0"), &unseen), error);
    if (::geteuid() == 0) {
        EXPECT_FALSE(unseen); // root sees every process
    }
    EXPECT_EQ(PortProbe::InUseReason(PortProbe::ResolvePortPath("bridged0")), "");

    EndHolder(reader);
    EXPECT_TRUE(Has(PortProbe::Probe().ports, "held0"));
    EndHolder(bridge);
}

// Terminal programs that take a UUCP lock file instead: a live lock keeps the
// port out, a lock left by a dead process does not.
TEST(PortProbe, ALiveUucpLockKeepsAPortOutAndAStaleOneIsIgnored)
{
    TEnvGuard guard("XDG_RUNTIME_DIR");
    UseScratchVirtualPortDir();
    TFakeRoot root;
    const PortProbe::TProbeRoots roots = root.Roots();
    TPtyPair pty;
    ASSERT_TRUE(AddFakeSerialPort(root.dir.Path(), "ttyUSB5", pty.SlavePath(), "ftdi_sio"));
    const pid_t owner = SpawnHolder({});
    ASSERT_GT(owner, 0);
    const std::string lock = roots.lockDirs.front() + "/LCK..ttyUSB5";
    const auto asText = [](pid_t pid) {
        const std::string digits = std::to_string(pid);
        return std::string(digits.size() < 10 ? 10 - digits.size() : 0, ' ') + digits + '\n';
    };

    ASSERT_TRUE(WriteFile(lock, asText(owner)));
    PortProbe::TProbeResult result = PortProbe::Probe(roots);
    EXPECT_FALSE(Has(result.ports, "ttyUSB5"));
    EXPECT_TRUE(Contains(result.hint, "ttyUSB5 is in use by sleep (pid " + std::to_string(owner) + ", lock file " + lock + ")"))
        << result.hint;
    const int binary = owner; // the old binary form
    ASSERT_TRUE(WriteFile(lock, std::string_view(reinterpret_cast<const char *>(&binary), sizeof binary)));
    EXPECT_FALSE(Has(PortProbe::Probe(roots).ports, "ttyUSB5"));

    EndHolder(owner); // the lock outlives its owner: stale
    ASSERT_TRUE(WriteFile(lock, asText(owner)));
    EXPECT_TRUE(Has(PortProbe::Probe(roots).ports, "ttyUSB5"));
}

// A name with a line break would show as two lines; an undecodable one cannot
// be shown at all. Both are skipped, and the hint says so.
TEST(PortProbe, NamesWithControlCharactersOrAnUnknownEncodingAreSkippedAndSaidSo)
{
    TEnvGuard guard("XDG_RUNTIME_DIR");
    const std::string dir = UseScratchVirtualPortDir();
    TFakeRoot root;
    const PortProbe::TProbeRoots roots = root.Roots();
    TPtyPair pty;
    ASSERT_TRUE(PublishVirtualPort("two\nlines", pty.SlavePath()));
    const std::string twoLineDevice = root.dir.Path() + "/dev/ttyUSB7\n";
    ASSERT_EQ(::symlink(pty.SlavePath().c_str(), twoLineDevice.c_str()), 0);
    ASSERT_TRUE(PublishVirtualPort("one\u2028two", pty.SlavePath())); // shown as two lines
    ASSERT_TRUE(PublishVirtualPort("evil\u202Emis", pty.SlavePath())); // shown reversed
    ASSERT_TRUE(PublishVirtualPort("S\u00fcd-2", pty.SlavePath()));  // a plain accented name is fine
    PortProbe::TProbeResult result = PortProbe::Probe(roots);
    for (const std::string &port : result.ports) {
        EXPECT_FALSE(Contains(port, "two")) << Joined(result.ports);
        EXPECT_FALSE(Contains(port, "mis")) << Joined(result.ports);
        EXPECT_FALSE(Contains(port, "\n")) << port;
    }
    EXPECT_TRUE(Has(result.ports, "S\u00fcd-2")) << Joined(result.ports);
    EXPECT_TRUE(Contains(result.hint, "skipped")) << result.hint;

    // Bytes that are no UTF-8: stray, overlong, an encoded surrogate, a cut-off
    // sequence; and characters that hide themselves or steer the text.
    for (const std::string bad : {"bad\xff\xfe", "over\xc0\xaflong", "sur\xed\xa0\x80gate", "cut\xe2\x82",
                                  "zero\u200bwidth", "soft\u00adhyphen", "bom\ufeff", "del\x7f", "c1\xc2\x85"}) {
        SCOPED_TRACE(bad);
        UseScratchVirtualPortDir();
        ASSERT_EQ(::symlink(pty.SlavePath().c_str(), (dir + '/' + bad).c_str()), 0);
        result = PortProbe::Probe();
        EXPECT_TRUE(Contains(result.hint, "skipped")) << result.hint;
        EXPECT_FALSE(Has(result.ports, bad));
    }
}
