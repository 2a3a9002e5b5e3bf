// Port names, the virtual-port directory and the probe, on real pseudo-terminals.
#include "PortProbe.h"
#include "Pty.h"

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

    const QString fallback = QStringLiteral("/tmp/kv508-ports-%1").arg(::geteuid());
    qunsetenv("XDG_RUNTIME_DIR");
    EXPECT_EQ(PortProbe::VirtualPortDir(false), fallback);
    qputenv("XDG_RUNTIME_DIR", "relative/dir"); // not usable: fall back
    EXPECT_EQ(PortProbe::VirtualPortDir(false), fallback);
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
