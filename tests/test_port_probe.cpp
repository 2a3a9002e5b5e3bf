// Port names, the virtual-port directory and the probe, on real pseudo-terminals.
#include "PortProbe.h"
#include "Pty.h"
#include "SerialLink.h"

#include <gtest/gtest.h>

#include <QDir>
#include <QFile>
#include <QTemporaryDir>

#include <memory>

#include <fcntl.h>
#include <sys/file.h>
#include <sys/inotify.h>
#include <sys/stat.h>
#include <sys/sysmacros.h>
#include <unistd.h>

namespace {

// Restores an environment variable when the test ends.
class TEnvGuard
{
public:
    explicit TEnvGuard(const char *name) : m_name(name), m_had(qEnvironmentVariableIsSet(name)), m_value(qgetenv(name)) {}
    ~TEnvGuard()
    {
        if (m_had)
            qputenv(m_name, m_value);
        else
            qunsetenv(m_name);
    }

private:
    const char *m_name;
    bool m_had;
    QByteArray m_value;
};

QStringList Virtual(const QStringList &ports, const QString &prefix)
{
    QStringList out;
    for (const QString &p : ports)
        if (p.startsWith(prefix))
            out << p;
    return out;
}

QByteArray Local(const QString &s)
{
    return QFile::encodeName(s);
}

} // namespace

TEST(PortProbe, VirtualPortDirFollowsTheRuntimeDirectory)
{
    TEnvGuard guard("XDG_RUNTIME_DIR");
    QTemporaryDir runtime;
    qputenv("XDG_RUNTIME_DIR", Local(runtime.path()));
    const QString dir = PortProbe::VirtualPortDir(true);
    EXPECT_EQ(dir, runtime.path() + QStringLiteral("/kv508-ports"));
    struct stat st {};
    ASSERT_EQ(::stat(Local(dir).constData(), &st), 0);
    EXPECT_EQ(st.st_mode & 0777, 0700u);
    EXPECT_EQ(st.st_uid, ::geteuid());

    // Without it: the user's own home, never a shared directory where another
    // user could take the name first.
    TEnvGuard home("HOME");
    QTemporaryDir homeDir;
    qputenv("HOME", Local(homeDir.path()));
    const QString fallback = homeDir.path() + QStringLiteral("/.cache/kv508/ports");
    qunsetenv("XDG_RUNTIME_DIR");
    EXPECT_EQ(PortProbe::VirtualPortDir(false), fallback);
    qputenv("XDG_RUNTIME_DIR", "relative/dir"); // not usable: fall back
    EXPECT_EQ(PortProbe::VirtualPortDir(true), fallback);
    ASSERT_EQ(::stat(Local(fallback).constData(), &st), 0);
    EXPECT_EQ(st.st_mode & 0777, 0700u);
    ASSERT_EQ(::chmod(Local(fallback).constData(), 0777), 0); // others could plant links
    EXPECT_TRUE(PortProbe::VirtualPortDir(true).isEmpty());
}

TEST(PortProbe, AVirtualPortDirThatOthersControlIsNotUsed)
{
    TEnvGuard guard("XDG_RUNTIME_DIR");
    QTemporaryDir runtime;
    qputenv("XDG_RUNTIME_DIR", Local(runtime.path()));
    const QByteArray dir = Local(runtime.path() + QStringLiteral("/kv508-ports"));

    ASSERT_EQ(::mkdir(dir.constData(), 0700), 0);
    ASSERT_EQ(::chmod(dir.constData(), 0777), 0); // anyone could plant links
    EXPECT_TRUE(PortProbe::VirtualPortDir(false).isEmpty());
    EXPECT_TRUE(PortProbe::VirtualPortDir(true).isEmpty());
    ASSERT_EQ(::rmdir(dir.constData()), 0);

    QTemporaryDir elsewhere;
    ASSERT_EQ(::symlink(Local(elsewhere.path()).constData(), dir.constData()), 0);
    EXPECT_TRUE(PortProbe::VirtualPortDir(true).isEmpty());
    ASSERT_EQ(::unlink(dir.constData()), 0);

    if (::geteuid() == 0) { // only root can give it away
        ASSERT_EQ(::mkdir(dir.constData(), 0700), 0);
        ASSERT_EQ(::chown(dir.constData(), 65534, 65534), 0);
        EXPECT_TRUE(PortProbe::VirtualPortDir(true).isEmpty());
    }
}

TEST(PortProbe, PortNamesResolveToDevicePaths)
{
    TEnvGuard guard("XDG_RUNTIME_DIR");
    const QString dir = UseScratchVirtualPortDir();
    ASSERT_FALSE(dir.isEmpty());
    ASSERT_TRUE(PublishVirtualPort(QStringLiteral("kv508sim0"), QStringLiteral("/dev/null")));
    ASSERT_TRUE(PublishVirtualPort(QStringLiteral("ttyS0"), QStringLiteral("/dev/null"))); // a virtual port wins

    const struct {
        const char *name;
        QString path;
    } cases[] = {
        {"ttyUSB3", QStringLiteral("/dev/ttyUSB3")},
        {"kv508sim0", dir + QStringLiteral("/kv508sim0")},
        {"ttyS0", dir + QStringLiteral("/ttyS0")},
        {"/dev/pts/7", QStringLiteral("/dev/pts/7")},
        {"pts/7", QStringLiteral("pts/7")},
        {"", QString()},
        {"..", QString()},
    };
    for (const auto &c : cases)
        EXPECT_EQ(PortProbe::ResolvePortPath(QString::fromLatin1(c.name)), c.path) << c.name;
}

TEST(PortProbe, NamesSortByFamilyThenNumber)
{
    QStringList names = {QStringLiteral("ttyUSB10"), QStringLiteral("ttyS1"),   QStringLiteral("ttyUSB9"),
                         QStringLiteral("ttyACM0"),  QStringLiteral("ttyS10"),  QStringLiteral("ttyS2"),
                         QStringLiteral("rfcomm0"),  QStringLiteral("ttyUSB0"), QStringLiteral("kv508sim")};
    std::sort(names.begin(), names.end(), PortProbe::NaturalLess);
    EXPECT_EQ(names, (QStringList{QStringLiteral("kv508sim"), QStringLiteral("rfcomm0"), QStringLiteral("ttyACM0"),
                                  QStringLiteral("ttyS1"), QStringLiteral("ttyS2"), QStringLiteral("ttyS10"),
                                  QStringLiteral("ttyUSB0"), QStringLiteral("ttyUSB9"), QStringLiteral("ttyUSB10")}));
}

TEST(PortProbe, VirtualPortsAreListedInNaturalOrderAfterTheDevicePorts)
{
    TEnvGuard guard("XDG_RUNTIME_DIR");
    UseScratchVirtualPortDir();
    std::vector<std::unique_ptr<TPty>> ptys;
    for (const char *name : {"kv508sim10", "kv508sim2", "kv508sim9"}) {
        ptys.push_back(std::make_unique<TPty>());
        ASSERT_TRUE(PublishVirtualPort(QString::fromLatin1(name), ptys.back()->SlavePath()));
    }
    const QStringList ports = PortProbe::Probe().ports;
    EXPECT_EQ(Virtual(ports, QStringLiteral("kv508sim")),
              (QStringList{QStringLiteral("kv508sim2"), QStringLiteral("kv508sim9"), QStringLiteral("kv508sim10")}));
    EXPECT_TRUE(ports.endsWith(QStringLiteral("kv508sim10")));

    ptys.pop_back(); // kv508sim9's line is gone: its link dangles
    EXPECT_EQ(Virtual(PortProbe::Probe().ports, QStringLiteral("kv508sim")),
              (QStringList{QStringLiteral("kv508sim2"), QStringLiteral("kv508sim10")}));
}

// Opening some devices has side effects (a new pseudo-terminal for /dev/ptmx, a
// console grab): a link to anything but a serial terminal is never opened.
// Private device nodes let inotify tell whether anyone opened them.
TEST(PortProbe, LinksToAnythingButASerialTerminalAreNeverOpened)
{
    TEnvGuard guard("XDG_RUNTIME_DIR");
    UseScratchVirtualPortDir();
    QTemporaryDir targets;
    const QString base = targets.path() + QLatin1Char('/');

    QStringList watched;
    QFile plain(base + QStringLiteral("plain"));
    ASSERT_TRUE(plain.open(QIODevice::WriteOnly));
    plain.close();
    watched << plain.fileName();
    ASSERT_EQ(::mkfifo(Local(base + QStringLiteral("fifo")).constData(), 0600), 0);
    watched << base + QStringLiteral("fifo");
    const struct {
        const char *name;
        unsigned maj, min;
    } nodes[] = {{"null", 1, 3}, {"tty", 5, 0}, {"console", 5, 1}, {"ptmx", 5, 2}, {"tty1", 4, 1}};
    for (const auto &n : nodes) {
        const QString path = base + QString::fromLatin1(n.name);
        if (::mknod(Local(path).constData(), S_IFCHR | 0666, makedev(n.maj, n.min)) == 0)
            watched << path;
        else
            watched << QStringLiteral("/dev/") + QString::fromLatin1(n.name); // not root: listing only
    }

    const int in = ::inotify_init1(IN_NONBLOCK | IN_CLOEXEC);
    ASSERT_GE(in, 0);
    int i = 0;
    for (const QString &target : watched) {
        if (target.startsWith(base)) {
            ASSERT_GE(::inotify_add_watch(in, Local(target).constData(), IN_OPEN), 0);
        }
        ASSERT_TRUE(PublishVirtualPort(QStringLiteral("bad%1").arg(i++), target));
    }
    ASSERT_TRUE(PublishVirtualPort(QStringLiteral("bad%1").arg(i++), targets.path())); // a directory
    ASSERT_TRUE(PublishVirtualPort(QStringLiteral("bad%1").arg(i++), base + QStringLiteral("missing")));
    TPty pty;
    ASSERT_TRUE(PublishVirtualPort(QStringLiteral("good"), pty.SlavePath()));

    const QStringList ports = PortProbe::Probe().ports;
    EXPECT_TRUE(Virtual(ports, QStringLiteral("bad")).isEmpty()) << ports.join(QLatin1Char(' ')).toStdString();
    EXPECT_TRUE(ports.contains(QStringLiteral("good")));
    char events[4096];
    EXPECT_LT(::read(in, events, sizeof events), 0) << "the probe opened a device it must not touch";
    ::close(in);
}

TEST(PortProbe, APortHeldByAnotherProgramIsNotListed)
{
    TEnvGuard guard("XDG_RUNTIME_DIR");
    UseScratchVirtualPortDir();
    TPty pty;
    ASSERT_TRUE(PublishVirtualPort(QStringLiteral("kv508sim0"), pty.SlavePath()));
    const int other = ::open(Local(pty.SlavePath()).constData(), O_RDWR | O_NOCTTY | O_CLOEXEC);
    ASSERT_GE(other, 0);
    ASSERT_EQ(::flock(other, LOCK_EX | LOCK_NB), 0);
    EXPECT_FALSE(PortProbe::Probe().ports.contains(QStringLiteral("kv508sim0")));
    ::close(other);
    EXPECT_TRUE(PortProbe::Probe().ports.contains(QStringLiteral("kv508sim0")));
}

// A user who sees an empty list must learn why. Run as an ordinary user: root
// takes the identity of "nobody" for the probe.
TEST(PortProbe, APortWithoutPermissionIsLeftOutWithTheReasonAndTheFix)
{
    if (::geteuid() != 0)
        GTEST_SKIP() << "needs root to take another identity";
    TEnvGuard guard("XDG_RUNTIME_DIR");
    TPty pty; // slave owned by root, group tty, mode 0620
    ASSERT_EQ(::chown(Local(pty.SlavePath()).constData(), 0, 5), 0);
    ASSERT_EQ(::chmod(Local(pty.SlavePath()).constData(), 0620), 0);
    char runtime[] = "/tmp/kv508-probe-XXXXXX";
    ASSERT_NE(::mkdtemp(runtime), nullptr);
    ASSERT_EQ(::chown(runtime, 65534, 65534), 0);
    qputenv("XDG_RUNTIME_DIR", runtime);

    PortProbe::TProbeResult result;
    ASSERT_EQ(::setegid(65534), 0);
    ASSERT_EQ(::seteuid(65534), 0);
    const bool published = PublishVirtualPort(QStringLiteral("kv508perm0"), pty.SlavePath());
    if (published)
        result = PortProbe::Probe();
    ASSERT_EQ(::seteuid(0), 0);
    ASSERT_EQ(::setegid(0), 0);
    QDir(QString::fromLatin1(runtime)).removeRecursively();

    ASSERT_TRUE(published);
    EXPECT_FALSE(result.ports.contains(QStringLiteral("kv508perm0")));
    EXPECT_TRUE(result.hint.startsWith(QStringLiteral("no permission to open "))) << result.hint.toStdString();
    EXPECT_TRUE(result.hint.contains(QStringLiteral("kv508perm0"))) << result.hint.toStdString();
    EXPECT_TRUE(result.hint.contains(QStringLiteral("add your user to the \"tty\" group (sudo usermod -aG tty $USER)")))
        << result.hint.toStdString();

    // With the permission there, the same probe lists it and has nothing to explain.
    UseScratchVirtualPortDir();
    ASSERT_TRUE(PublishVirtualPort(QStringLiteral("kv508perm0"), pty.SlavePath()));
    EXPECT_TRUE(PortProbe::Probe().ports.contains(QStringLiteral("kv508perm0")));
}

namespace {

// A fake /sys, /dev and lock directory for the probe, removed at the end.
struct TFakeRoot {
    QTemporaryDir dir;
    PortProbe::TProbeRoots Roots() const
    {
        PortProbe::TProbeRoots r;
        r.sys = dir.path() + QStringLiteral("/sys");
        r.dev = dir.path() + QStringLiteral("/dev");
        r.lockDirs = {dir.path() + QStringLiteral("/run/lock")};
        QDir().mkpath(r.dev);
        QDir().mkpath(r.lockDirs.first());
        return r;
    }
};

const PortProbe::TPortInfo *InfoOf(const PortProbe::TProbeResult &r, const QString &name)
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
    TPty usb, uart, console;
    const TFakeUsb ch341{QStringLiteral("1a86"), QStringLiteral("7523"), QStringLiteral("QinHeng Electronics"),
                         QStringLiteral("USB Serial"), QStringLiteral("A1B2C3")};
    ASSERT_TRUE(AddFakeSerialPort(root.dir.path(), QStringLiteral("ttyCH341USB0"), usb.SlavePath(),
                                  QStringLiteral("ch341-uart"), &ch341));
    ASSERT_TRUE(AddFakeSerialPort(root.dir.path(), QStringLiteral("ttymxc0"), uart.SlavePath(), QStringLiteral("imx-uart")));
    ASSERT_TRUE(AddFakeSerialPort(root.dir.path(), QStringLiteral("tty5"), console.SlavePath(), QString())); // no driver

    const PortProbe::TProbeResult result = PortProbe::Probe(roots);
    EXPECT_EQ(result.ports, (QStringList{QStringLiteral("ttyCH341USB0"), QStringLiteral("ttymxc0")}));
    ASSERT_EQ(result.infos.size(), result.ports.size());
    const PortProbe::TPortInfo *a = InfoOf(result, QStringLiteral("ttyCH341USB0"));
    ASSERT_NE(a, nullptr);
    EXPECT_EQ(a->driver, QStringLiteral("ch341-uart"));
    EXPECT_EQ(a->manufacturer, QStringLiteral("QinHeng Electronics"));
    EXPECT_EQ(a->product, QStringLiteral("USB Serial"));
    EXPECT_EQ(a->serialNumber, QStringLiteral("A1B2C3"));
    EXPECT_EQ(a->usbId, QStringLiteral("1a86:7523"));
    EXPECT_TRUE(a->Description().contains(QStringLiteral("A1B2C3")));
    const PortProbe::TPortInfo *b = InfoOf(result, QStringLiteral("ttymxc0"));
    ASSERT_NE(b, nullptr);
    EXPECT_EQ(b->driver, QStringLiteral("imx-uart"));
    EXPECT_TRUE(b->usbId.isEmpty());

    // Newer kernels: tty -> serial-base port -> serial-base ctrl -> the real device.
    const QString sys = root.dir.path() + QStringLiteral("/sys");
    const QString dev = sys + QStringLiteral("/devices/pnp0/00:00");
    const QString port = dev + QStringLiteral("/00:00:0/00:00:0.0");
    const auto link = [](const QString &target, const QString &at) {
        QDir().mkpath(target);
        return ::symlink(Local(target).constData(), Local(at).constData()) == 0;
    };
    ASSERT_TRUE(QDir().mkpath(port) && QDir().mkpath(sys + QStringLiteral("/class/tty/ttyS4")));
    const QString base = sys + QStringLiteral("/bus/serial-base");
    ASSERT_TRUE(link(base, port + QStringLiteral("/subsystem")) && link(base + QStringLiteral("/drivers/port"), port + QStringLiteral("/driver")) &&
                link(base, dev + QStringLiteral("/00:00:0/subsystem")) &&
                link(base + QStringLiteral("/drivers/ctrl"), dev + QStringLiteral("/00:00:0/driver")) &&
                link(sys + QStringLiteral("/bus/pnp"), dev + QStringLiteral("/subsystem")) &&
                link(sys + QStringLiteral("/bus/pnp/drivers/serial"), dev + QStringLiteral("/driver")) &&
                link(port, sys + QStringLiteral("/class/tty/ttyS4/device")) &&
                link(uart.SlavePath(), root.dir.path() + QStringLiteral("/dev/ttyS4")));
    const PortProbe::TProbeResult later = PortProbe::Probe(roots);
    const PortProbe::TPortInfo *c = InfoOf(later, QStringLiteral("ttyS4"));
    ASSERT_NE(c, nullptr);
    EXPECT_EQ(c->driver, QStringLiteral("serial"));
}

// A simulator killed with SIGKILL leaves its link, and the pseudo-terminal
// number goes to someone's new terminal window: that terminal is never touched.
TEST(PortProbe, ASimulatorLinkIsListedAndOpenedOnlyWhileItsPublisherLives)
{
    TEnvGuard guard("XDG_RUNTIME_DIR");
    const QString dir = UseScratchVirtualPortDir();
    TPty pty;
    ASSERT_TRUE(PublishVirtualPort(QStringLiteral("kv508sim3"), pty.SlavePath()));
    EXPECT_TRUE(PortProbe::Probe().ports.contains(QStringLiteral("kv508sim3")));

    ReleaseVirtualPortLock(QStringLiteral("kv508sim3"));
    TOpenWatch watch(pty.SlavePath());
    ASSERT_TRUE(watch.Valid());
    EXPECT_FALSE(PortProbe::Probe().ports.contains(QStringLiteral("kv508sim3")));
    TSerialLink link;
    std::string error;
    EXPECT_FALSE(link.Open("kv508sim3", 4800, error));
    EXPECT_TRUE(error.starts_with("stale simulator link: its simulator is no longer running")) << error;
    ASSERT_EQ(::unlink(Local(dir + QStringLiteral("/.kv508sim3.lock")).constData()), 0); // no lock file at all
    EXPECT_FALSE(PortProbe::Probe().ports.contains(QStringLiteral("kv508sim3")));
    EXPECT_FALSE(link.Open("kv508sim3", 4800, error));
    EXPECT_FALSE(watch.Opened()) << "the terminal behind a stale link was opened";
}

// A program that opened a port without any lock (a terminal program, a
// script): the port is not offered, and the user learns who has it. The
// program on the other end of a pseudo-terminal (a simulator, socat) keeps the
// slave open only to hold the line up: it does not count.
TEST(PortProbe, APortOpenInAnotherProgramIsLeftOutAndTheProgramNamed)
{
    TEnvGuard guard("XDG_RUNTIME_DIR");
    UseScratchVirtualPortDir();
    TPty held, bridged;
    ASSERT_TRUE(PublishVirtualPort(QStringLiteral("held0"), held.SlavePath()));
    ASSERT_TRUE(PublishVirtualPort(QStringLiteral("bridged0"), bridged.SlavePath()));
    const pid_t reader = SpawnHolder({held.SlavePath()});
    const pid_t bridge = SpawnHolder({bridged.SlavePath()}, bridged.Master());
    ASSERT_GT(reader, 0);
    ASSERT_GT(bridge, 0);
    const QString inUse = QStringLiteral("in use by sleep (pid %1)").arg(reader);

    const PortProbe::TProbeResult result = PortProbe::Probe();
    EXPECT_FALSE(result.ports.contains(QStringLiteral("held0")));
    EXPECT_TRUE(result.ports.contains(QStringLiteral("bridged0")));
    EXPECT_TRUE(result.hint.contains(QStringLiteral("held0 is ") + inUse)) << result.hint.toStdString();
    TSerialLink link;
    std::string error;
    EXPECT_FALSE(link.Open("held0", 4800, error));
    EXPECT_TRUE(QString::fromStdString(error).startsWith(inUse)) << error;

    EndHolder(reader);
    EXPECT_TRUE(PortProbe::Probe().ports.contains(QStringLiteral("held0")));
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
    TPty pty;
    ASSERT_TRUE(AddFakeSerialPort(root.dir.path(), QStringLiteral("ttyUSB5"), pty.SlavePath(), QStringLiteral("ftdi_sio")));
    const pid_t owner = SpawnHolder({});
    ASSERT_GT(owner, 0);
    const QString lock = roots.lockDirs.first() + QStringLiteral("/LCK..ttyUSB5");
    const auto writeLock = [&](const QByteArray &content) {
        QFile f(lock);
        ASSERT_TRUE(f.open(QIODevice::WriteOnly | QIODevice::Truncate));
        f.write(content);
    };

    writeLock(QByteArray::number(owner).rightJustified(10, ' ') + '\n');
    PortProbe::TProbeResult result = PortProbe::Probe(roots);
    EXPECT_FALSE(result.ports.contains(QStringLiteral("ttyUSB5")));
    EXPECT_TRUE(result.hint.contains(QStringLiteral("ttyUSB5 is in use by sleep (pid %1").arg(owner)))
        << result.hint.toStdString();
    const int binary = owner; // the old binary form
    writeLock(QByteArray(reinterpret_cast<const char *>(&binary), sizeof binary));
    EXPECT_FALSE(PortProbe::Probe(roots).ports.contains(QStringLiteral("ttyUSB5")));

    EndHolder(owner); // the lock outlives its owner: stale
    writeLock(QByteArray::number(owner).rightJustified(10, ' ') + '\n');
    EXPECT_TRUE(PortProbe::Probe(roots).ports.contains(QStringLiteral("ttyUSB5")));
}

// A name with a line break would show as two lines; an undecodable one cannot
// be shown at all. Both are skipped, and the hint says so.
TEST(PortProbe, NamesWithControlCharactersOrAnUnknownEncodingAreSkippedAndSaidSo)
{
    TEnvGuard guard("XDG_RUNTIME_DIR");
    const QString dir = UseScratchVirtualPortDir();
    TFakeRoot root;
    const PortProbe::TProbeRoots roots = root.Roots();
    TPty pty;
    ASSERT_TRUE(PublishVirtualPort(QStringLiteral("two\nlines"), pty.SlavePath()));
    const QByteArray twoLineDevice = Local(root.dir.path() + QStringLiteral("/dev/ttyUSB7\n"));
    ASSERT_EQ(::symlink(Local(pty.SlavePath()).constData(), twoLineDevice.constData()), 0);
    ASSERT_TRUE(PublishVirtualPort(QStringLiteral("one\u2028two"), pty.SlavePath())); // shown as two lines
    ASSERT_TRUE(PublishVirtualPort(QStringLiteral("evil\u202Emis"), pty.SlavePath())); // shown reversed
    PortProbe::TProbeResult result = PortProbe::Probe(roots);
    EXPECT_TRUE(result.ports.filter(QStringLiteral("two")).isEmpty()) << result.ports.join(' ').toStdString();
    EXPECT_TRUE(result.ports.filter(QStringLiteral("mis")).isEmpty()) << result.ports.join(' ').toStdString();
    for (const QString &port : result.ports)
        EXPECT_FALSE(port.contains(QLatin1Char('\n'))) << port.toStdString();
    EXPECT_TRUE(result.hint.contains(QStringLiteral("skipped"))) << result.hint.toStdString();

    UseScratchVirtualPortDir();
    const QByteArray badName = Local(dir) + "/bad\xff\xfe";
    ASSERT_EQ(::symlink(Local(pty.SlavePath()).constData(), badName.constData()), 0);
    result = PortProbe::Probe();
    ::unlink(badName.constData()); // Qt cannot name it to remove it
    EXPECT_TRUE(result.hint.contains(QStringLiteral("skipped"))) << result.hint.toStdString();
}
