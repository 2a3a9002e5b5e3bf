// The serial link on real pseudo-terminals: configuration, the byte stream both
// ways, the write queue, hang-up, exclusivity, the descriptor link, and the
// wait in the host's event loop (Qt's, or a plain poll() loop).
#include "LinkWait.h"
#include "Pty.h"
#include "QtWaitHost.h"
#include "SerialLink.h"
#include "SerialTermios.h"

#include <gtest/gtest.h>

#include <QElapsedTimer>
#include <QEventLoop>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>

#include <algorithm>
#include <cstring>
#include <vector>

#include <fcntl.h>
#include <poll.h>
#include <sys/resource.h>
#include <termios.h>
#include <unistd.h>

namespace {

// CPU time (user + system) of the whole process so far, in milliseconds.
qint64 CpuMs()
{
    rusage ru{};
    ::getrusage(RUSAGE_SELF, &ru);
    return (ru.ru_utime.tv_sec + ru.ru_stime.tv_sec) * 1000 + (ru.ru_utime.tv_usec + ru.ru_stime.tv_usec) / 1000;
}

// Runs the event loop for ms as the application would (not in 10 ms naps), so
// that anything spinning through the event loop shows in the CPU time.
qint64 CpuMsOverEventLoop(int ms)
{
    const qint64 before = CpuMs();
    QEventLoop loop;
    QTimer::singleShot(ms, &loop, &QEventLoop::quit);
    loop.exec();
    return CpuMs() - before;
}

QByteArray Pattern(qsizetype n, int seed)
{
    QByteArray b(n, Qt::Uninitialized);
    for (qsizetype i = 0; i < n; ++i)
        b[i] = static_cast<char>((i * 31 + seed * 7 + i / 251) & 0xFF);
    return b;
}

// Collects what the link hands over, as the component does: exactly the count.
struct TReceiver {
    explicit TReceiver(TMBLink &link) : m_link(link)
    {
        link.OnDataAvailable = [this](quint32 count) {
            QByteArray chunk(static_cast<qsizetype>(count), Qt::Uninitialized);
            const qsizetype got = m_link.ReadBytes(chunk.data(), chunk.size());
            chunk.resize(got);
            bytes += chunk;
            ++handOvers;
            if (got != static_cast<qsizetype>(count))
                ++shortReads;
        };
        link.OnHangUp = [this] { ++hangUps; };
        link.OnLineEvent = [this](quint32, quint32) { ++lineEvents; };
    }
    bool WaitFor(qsizetype n, int timeoutMs = 10000)
    {
        return QTest::qWaitFor([&] { return bytes.size() >= n; }, timeoutMs);
    }

    TMBLink &m_link;
    QByteArray bytes;
    int handOvers = 0;
    int shortReads = 0;
    int hangUps = 0;
    int lineEvents = 0;
};

// A host without Qt: each turn is one poll() over the watches, with exact
// revents, as a plain event loop runs it.
class TPollHost final : public TWaitHost
{
public:
    struct TEntry {
        int fd;
        bool read;
        bool write;
        TReady onReady;
        bool alive = true;
    };

    std::unique_ptr<TWaitWatch> Watch(int fd, bool read, bool write, TReady onReady, std::string &) override
    {
        auto entry = std::make_shared<TEntry>(TEntry{fd, read, write, std::move(onReady)});
        m_entries.push_back(entry);
        return std::make_unique<TWatch>(entry);
    }

    // Turns until done() or the time is up; false on time-out.
    bool RunUntil(const std::function<bool()> &done, int timeoutMs = 10000)
    {
        QElapsedTimer clock;
        clock.start();
        while (!done()) {
            if (clock.elapsed() > timeoutMs)
                return false;
            Turn(50);
        }
        return true;
    }

    // One wait of at most ms; returns how many callbacks ran.
    int Turn(int ms)
    {
        std::erase_if(m_entries, [](const auto &e) { return !e->alive; });
        const std::vector<std::shared_ptr<TEntry>> entries = m_entries;
        std::vector<pollfd> fds;
        for (const auto &e : entries)
            fds.push_back({(e->read || e->write) ? e->fd : -1,
                           static_cast<short>((e->read ? POLLIN : 0) | (e->write ? POLLOUT : 0)), 0});
        if (::poll(fds.data(), fds.size(), ms) <= 0)
            return 0;
        int calls = 0;
        for (std::size_t i = 0; i < fds.size(); ++i) {
            if (fds[i].revents && entries[i]->alive) {
                const TReady onReady = entries[i]->onReady;
                onReady(fds[i].revents);
                ++calls;
            }
        }
        return calls;
    }

    int Watched() const
    {
        return static_cast<int>(std::count_if(m_entries.begin(), m_entries.end(), [](const auto &e) { return e->alive; }));
    }
    bool WantsWrite() const
    {
        return std::any_of(m_entries.begin(), m_entries.end(), [](const auto &e) { return e->alive && e->write; });
    }

private:
    class TWatch final : public TWaitWatch
    {
    public:
        explicit TWatch(std::shared_ptr<TEntry> entry) : m_entry(std::move(entry)) {}
        ~TWatch() override { m_entry->alive = false; }
        void Want(bool read, bool write) override
        {
            m_entry->read = read;
            m_entry->write = write;
        }

    private:
        std::shared_ptr<TEntry> m_entry;
    };

    std::vector<std::shared_ptr<TEntry>> m_entries;
};

std::unique_ptr<TSerialLink> OpenOn(const TPty &pty, quint32 baud = 4800, TWaitHost &host = QtWaitHost())
{
    auto link = std::make_unique<TSerialLink>(host);
    std::string error;
    if (!link->Open(pty.SlavePath().toStdString(), baud, error)) {
        ADD_FAILURE() << "open failed: " << error;
        return nullptr;
    }
    return link;
}

} // namespace

class SerialLinkRate : public ::testing::TestWithParam<quint32>
{
};

// A fresh pseudo-terminal is cooked; the open must leave it raw 8-N-1 without
// flow control at exactly the rate asked, whether the rate is a classic one or not.
TEST_P(SerialLinkRate, OpenConfiguresRawEightNoneOneAtTheRate)
{
    TPty pty;
    ASSERT_TRUE(pty.Valid());
    auto link = OpenOn(pty, GetParam());
    ASSERT_TRUE(link);

    SerialTermios::TLineSettings s;
    ASSERT_TRUE(SerialTermios::Read(pty.Master(), s)); // the master reads the slave's settings
    EXPECT_EQ(s.outputRate, GetParam());
    EXPECT_EQ(s.inputRate, GetParam());
    EXPECT_EQ(s.dataBits, 8);
    EXPECT_FALSE(s.parity);
    EXPECT_FALSE(s.twoStopBits);
    EXPECT_FALSE(s.hardwareFlow);
    EXPECT_FALSE(s.softwareFlowOut);
    EXPECT_FALSE(s.softwareFlowIn);
    EXPECT_TRUE(s.receiverOn);
    EXPECT_TRUE(s.modemLinesIgnored);
    EXPECT_TRUE(s.raw);
    link->Close();
    EXPECT_FALSE(link->IsOpen());
}

INSTANTIATE_TEST_SUITE_P(AllRates, SerialLinkRate,
                         ::testing::Values(75, 110, 134, 150, 300, 600, 1200, 1800, 2400, 4800, 7200, 9600, 14400,
                                           19200, 38400, 57600, 115200, 128000, 230400, 460800, 921600));

TEST(SerialLink, EveryByteValuePassesUnchangedBothWays)
{
    TPty pty;
    auto link = OpenOn(pty);
    ASSERT_TRUE(link);
    TReceiver rx(*link);
    QByteArray all;
    for (int i = 0; i < 256; ++i)
        all.append(static_cast<char>(i));
    all += all; // 0x03, 0x0D, 0x11, 0x13, 0x7F ... would be eaten or mapped on a cooked line

    ASSERT_TRUE(link->WriteBytes(all.constData(), all.size()));
    EXPECT_EQ(pty.Read(all.size()), all);

    ASSERT_TRUE(pty.Write(all));
    ASSERT_TRUE(rx.WaitFor(all.size()));
    EXPECT_EQ(rx.bytes, all);
    EXPECT_EQ(rx.lineEvents, 0); // a pseudo-terminal has no line state to report
}

TEST(SerialLink, BytesInManySmallChunksArriveCompleteAndInOrder)
{
    TPty pty;
    auto link = OpenOn(pty);
    ASSERT_TRUE(link);
    TReceiver rx(*link);
    const QByteArray sent = Pattern(6000, 1);
    for (qsizetype at = 0, step = 1; at < sent.size(); at += step, step = step % 7 + 1) {
        ASSERT_TRUE(pty.Write(sent.mid(at, step)));
        if (at % 5 == 0)
            QCoreApplication::processEvents(); // let hand-overs interleave with the writing
    }
    ASSERT_TRUE(rx.WaitFor(sent.size()));
    EXPECT_EQ(rx.bytes, sent);
    EXPECT_GT(rx.handOvers, 1);
    EXPECT_EQ(rx.shortReads, 0); // each hand-over's count was there to be read
}

// Frames go out as a run of short writes; what the driver cannot take waits in
// order and follows as the other end reads.
TEST(SerialLink, WritesBeyondWhatTheDriverTakesGoOutWholeAndInOrder)
{
    TPty pty;
    auto link = OpenOn(pty, 4800);
    ASSERT_TRUE(link);
    TReceiver rx(*link);

    QByteArray sent;
    qsizetype mostQueued = 0;
    for (int frame = 0; frame < 6; ++frame) {
        const QByteArray big = Pattern(8192, frame);
        ASSERT_TRUE(link->WriteBytes(big.constData(), big.size()));
        sent += big;
        for (int i = 0; i < 40; ++i) {
            const QByteArray small = Pattern(3, frame * 100 + i);
            ASSERT_TRUE(link->WriteBytes(small.constData(), small.size()));
            sent += small;
        }
        mostQueued = std::max(mostQueued, link->QueuedOutput());
    }
    EXPECT_GT(mostQueued, 0) << "the pseudo-terminal took everything at once; the queue was not exercised";

    // A slow reader: a little at a time, with the event loop running between.
    QByteArray got;
    ASSERT_TRUE(QTest::qWaitFor(
        [&] {
            char buf[700];
            const ssize_t r = ::read(pty.Master(), buf, sizeof buf);
            if (r > 0)
                got.append(buf, r);
            return got.size() >= sent.size();
        },
        30000));
    EXPECT_EQ(got.size(), sent.size());
    EXPECT_TRUE(got == sent);
    EXPECT_EQ(link->QueuedOutput(), 0);
}

TEST(SerialLink, HangUpIsHandedOverOnceAndThePortIsNoLongerWatched)
{
    struct TCase {
        const char *name;
        bool writing; // bytes queued for writing when the line goes
    };
    for (const TCase c : {TCase{"idle", false}, TCase{"writing", true}}) {
        SCOPED_TRACE(c.name);
        TPty pty;
        auto link = OpenOn(pty);
        ASSERT_TRUE(link);
        TReceiver rx(*link);
        if (c.writing) {
            const QByteArray big = Pattern(64 * 1024, 3);
            ASSERT_TRUE(link->WriteBytes(big.constData(), big.size()));
            ASSERT_GT(link->QueuedOutput(), 0);
        }
        pty.Hangup();
        ASSERT_TRUE(QTest::qWaitFor([&] { return rx.hangUps > 0; }, 10000));

        const qint64 used = CpuMsOverEventLoop(1000);
        RecordProperty("cpu_ms_after_hangup", static_cast<int>(used));
        EXPECT_LT(used, 150) << "something spins after the hang-up";
        EXPECT_EQ(rx.hangUps, 1);
        EXPECT_TRUE(link->HungUp());
        EXPECT_FALSE(link->WriteBytes("x", 1));
        EXPECT_EQ(link->QueuedOutput(), 0);
        link->Close(); // must not block
        EXPECT_FALSE(link->IsOpen());
    }
}

TEST(SerialLink, CloseRightAfterOpenLeavesNothingBehind)
{
    TPty pty;
    ASSERT_TRUE(pty.Valid());
    for (int i = 0; i < 300; ++i) {
        TSerialLink link;
        std::string error;
        ASSERT_TRUE(link.Open(pty.SlavePath().toStdString(), 9600, error)) << error;
        if (i % 2)
            link.WriteBytes("ab", 2);
        link.Close();
    }
    // Nothing of all that must linger: no watch on a descriptor that is gone.
    QCoreApplication::processEvents();
}

// The same link in a plain poll() loop: the loop waits for writing only while
// bytes are queued, hears the hang-up once and then no longer watches the port.
TEST(SerialLink, APlainPollLoopCarriesBothWaysAndTheHangUp)
{
    TPty pty;
    TPollHost host;
    auto link = OpenOn(pty, 4800, host);
    ASSERT_TRUE(link);
    TReceiver rx(*link);
    EXPECT_EQ(host.Watched(), 1);
    EXPECT_FALSE(host.WantsWrite());

    const QByteArray out = Pattern(64 * 1024, 5);
    ASSERT_TRUE(link->WriteBytes(out.constData(), out.size()));
    ASSERT_GT(link->QueuedOutput(), 0);
    EXPECT_TRUE(host.WantsWrite());
    QByteArray got;
    ASSERT_TRUE(host.RunUntil([&] {
        char buf[4096];
        const ssize_t r = ::read(pty.Master(), buf, sizeof buf);
        if (r > 0)
            got.append(buf, r);
        return got.size() >= out.size();
    }));
    EXPECT_TRUE(got == out);
    EXPECT_FALSE(host.WantsWrite());

    const QByteArray in = Pattern(3000, 6);
    ASSERT_TRUE(pty.Write(in));
    ASSERT_TRUE(host.RunUntil([&] { return rx.bytes.size() >= in.size(); }));
    EXPECT_TRUE(rx.bytes == in);
    EXPECT_EQ(rx.shortReads, 0);

    pty.Hangup();
    ASSERT_TRUE(host.RunUntil([&] { return rx.hangUps > 0; }));
    EXPECT_EQ(host.Watched(), 0);
    EXPECT_EQ(host.Turn(100), 0);
    EXPECT_EQ(rx.hangUps, 1);
}

// A callback that runs an event loop of its own (a dialog, say) is not called
// again inside it while the bytes it was told of wait unread; the watch
// resumes once it returns.
TEST(SerialLink, ACallbackRunningAnEventLoopIsNotEnteredAgain)
{
    TPty pty;
    auto link = OpenOn(pty);
    ASSERT_TRUE(link);
    int depth = 0, deepest = 0, calls = 0;
    QByteArray bytes;
    link->OnDataAvailable = [&](quint32 count) {
        ++calls;
        deepest = std::max(deepest, ++depth);
        if (calls == 1) {
            QEventLoop loop;
            QTimer::singleShot(100, &loop, &QEventLoop::quit);
            loop.exec();
        }
        QByteArray chunk(static_cast<qsizetype>(count), Qt::Uninitialized);
        chunk.resize(link->ReadBytes(chunk.data(), chunk.size()));
        bytes += chunk;
        --depth;
    };
    ASSERT_TRUE(pty.Write("abc"));
    ASSERT_TRUE(QTest::qWaitFor([&] { return bytes.size() >= 3; }, 10000));
    ASSERT_TRUE(pty.Write("def"));
    ASSERT_TRUE(QTest::qWaitFor([&] { return bytes.size() >= 6; }, 10000));
    EXPECT_EQ(bytes, QByteArray("abcdef"));
    EXPECT_EQ(deepest, 1);
}

// A callback may close the link or even destroy it; the hand-over that called
// it must not touch it afterwards.
TEST(SerialLink, CallbacksMayDestroyTheLink)
{
    {
        TPty pty;
        std::unique_ptr<TSerialLink> link = OpenOn(pty);
        ASSERT_TRUE(link);
        bool destroyed = false;
        link->OnDataAvailable = [&](quint32 count) {
            QByteArray sink(static_cast<qsizetype>(count), Qt::Uninitialized);
            link->ReadBytes(sink.data(), sink.size());
            link.reset();
            destroyed = true;
        };
        ASSERT_TRUE(pty.Write("first"));
        ASSERT_TRUE(QTest::qWaitFor([&] { return destroyed; }, 10000));
        ASSERT_TRUE(pty.Write("second"));
        QTest::qWait(50);
    }
    {
        TPty pty;
        std::unique_ptr<TSerialLink> link = OpenOn(pty);
        ASSERT_TRUE(link);
        bool destroyed = false;
        link->OnHangUp = [&] {
            link.reset();
            destroyed = true;
        };
        pty.Hangup();
        ASSERT_TRUE(QTest::qWaitFor([&] { return destroyed; }, 10000));
    }
}

TEST(SerialLink, OnlySerialTerminalsAreOpened)
{
    QTemporaryDir dir;
    const QString file = dir.path() + QStringLiteral("/plain");
    QFile f(file);
    ASSERT_TRUE(f.open(QIODevice::WriteOnly));
    f.close();
    struct TCase {
        QString port;
        int error;
    };
    for (const TCase &c : {TCase{file, ENOTTY}, TCase{QStringLiteral("/dev/null"), ENOTTY},
                           TCase{QStringLiteral("/dev/ptmx"), ENOTTY}, TCase{dir.path(), ENOTTY},
                           TCase{dir.path() + QStringLiteral("/missing"), ENOENT}}) {
        TSerialLink link;
        std::string error;
        EXPECT_FALSE(link.Open(c.port.toStdString(), 9600, error)) << c.port.toStdString();
        EXPECT_EQ(QString::fromStdString(error), QString::fromLocal8Bit(std::strerror(c.error))) << c.port.toStdString();
    }
}

// A port that was somebody's terminal is left as it was: rate, framing, line
// discipline and control characters all come back at close.
TEST(SerialLink, CloseRestoresTheTerminalSettingsFoundAtOpen)
{
    TPty pty;
    const int keep = ::open(pty.SlavePath().toLocal8Bit().constData(), O_RDWR | O_NOCTTY | O_CLOEXEC);
    ASSERT_GE(keep, 0);
    termios before{};
    ASSERT_EQ(::tcgetattr(keep, &before), 0);
    before.c_cflag = (before.c_cflag & ~CSIZE) | CS7 | PARENB | CSTOPB;
    before.c_lflag |= ICANON | ECHO | ISIG;
    before.c_iflag |= ICRNL | IXON;
    before.c_cc[VMIN] = 5;
    before.c_cc[VINTR] = 0x07;
    ::cfsetispeed(&before, B1200);
    ::cfsetospeed(&before, B1200);
    ASSERT_EQ(::tcsetattr(keep, TCSANOW, &before), 0);
    ASSERT_EQ(::tcgetattr(keep, &before), 0);

    auto link = OpenOn(pty, 4800);
    ASSERT_TRUE(link);
    termios during{};
    ASSERT_EQ(::tcgetattr(keep, &during), 0);
    EXPECT_NE(during.c_lflag, before.c_lflag); // the link did make it raw
    link->Close();

    termios after{};
    ASSERT_EQ(::tcgetattr(keep, &after), 0);
    EXPECT_EQ(after.c_iflag, before.c_iflag);
    EXPECT_EQ(after.c_oflag, before.c_oflag);
    EXPECT_EQ(after.c_cflag, before.c_cflag);
    EXPECT_EQ(after.c_lflag, before.c_lflag);
    EXPECT_EQ(::cfgetospeed(&after), static_cast<speed_t>(B1200));
    EXPECT_EQ(std::memcmp(after.c_cc, before.c_cc, sizeof before.c_cc), 0);
    ::close(keep);
}
