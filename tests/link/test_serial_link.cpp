// The serial link on real pseudo-terminals, without Qt: configuration, the
// byte stream both ways, the write queue, hang-up, exclusivity, and the wait in
// the host's event loop (the plain event loop, or a bare poll() loop). The Qt
// event loop as host: test_qt_wait_host.cpp; that the link loads no Qt is
// checked on kv508ctl (checks/).
#include "EventLoop.h"
#include "LinkWait.h"
#include "LoopWaitHost.h"
#include "PtyTools.h"
#include "SerialLink.h"
#include "SerialTermios.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <csignal>
#include <chrono>
#include <cstring>
#include <functional>
#include <string>
#include <vector>

#include <fcntl.h>
#include <poll.h>
#include <sys/ioctl.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <termios.h>
#include <unistd.h>

using PtyTools::TPtyPair;

namespace {

constexpr int kTimeoutMs = 10000;

// CPU time (user + system) of the whole process so far, in milliseconds.
int64_t CpuMs()
{
    rusage ru{};
    ::getrusage(RUSAGE_SELF, &ru);
    return (ru.ru_utime.tv_sec + ru.ru_stime.tv_sec) * 1000 + (ru.ru_utime.tv_usec + ru.ru_stime.tv_usec) / 1000;
}

// Runs the loop for ms as a program would, so that anything spinning through
// it shows in the CPU time.
int64_t CpuMsOverEventLoop(TEventLoop &loop, int ms)
{
    const int64_t before = CpuMs();
    loop.RunFor(ms);
    return CpuMs() - before;
}

// Runs what is already queued in the loop, and returns.
void RunQueued(TEventLoop &loop)
{
    loop.Post([&loop] { loop.Stop(); });
    loop.Run();
}

std::string Pattern(std::size_t n, int seed)
{
    std::string b(n, '\0');
    for (std::size_t i = 0; i < n; ++i)
        b[i] = static_cast<char>((i * 31 + static_cast<std::size_t>(seed) * 7 + i / 251) & 0xFF);
    return b;
}

// Collects what the link hands over, as the component does: exactly the count.
struct TReceiver {
    explicit TReceiver(TMBLink &link) : m_link(link)
    {
        link.OnDataAvailable = [this](uint32_t count) {
            std::string chunk(count, '\0');
            const std::ptrdiff_t got = m_link.ReadBytes(chunk.data(), static_cast<std::ptrdiff_t>(chunk.size()));
            chunk.resize(static_cast<std::size_t>(std::max<std::ptrdiff_t>(got, 0)));
            bytes += chunk;
            ++handOvers;
            if (got != static_cast<std::ptrdiff_t>(count))
                ++shortReads;
        };
        link.OnHangUp = [this] { ++hangUps; };
        link.OnLineEvent = [this](uint32_t, uint32_t) { ++lineEvents; };
    }

    TMBLink &m_link;
    std::string bytes;
    int handOvers = 0;
    int shortReads = 0;
    int hangUps = 0;
    int lineEvents = 0;
};

// Reads the line's far end (the master) in the same loop, chunk bytes per
// wake-up, until count bytes have come or the time is up.
std::string ReadLine(TEventLoop &loop, int master, std::size_t count, std::size_t chunk = 4096)
{
    std::string got;
    TFdWatch watch(loop, master, [&](unsigned) {
        char buf[4096];
        const ssize_t r = ::read(master, buf, std::min(chunk, sizeof buf));
        if (r > 0)
            got.append(buf, static_cast<std::size_t>(r));
    });
    loop.RunUntil(
        [&] {
            watch.WaitRead(); // again after every wake-up
            return got.size() >= count;
        },
        kTimeoutMs * 3);
    return got;
}

// A host without any event loop library: each turn is one poll() over the
// watches, with exact revents.
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
    bool RunUntil(const std::function<bool()> &done, int timeoutMs = kTimeoutMs)
    {
        const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeoutMs);
        while (!done()) {
            if (std::chrono::steady_clock::now() > deadline)
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
    bool WantsRead() const
    {
        return std::any_of(m_entries.begin(), m_entries.end(), [](const auto &e) { return e->alive && e->read; });
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

std::unique_ptr<TSerialLink> OpenOn(const TPtyPair &pty, uint32_t baud, TWaitHost &host)
{
    auto link = std::make_unique<TSerialLink>(host);
    std::string error;
    if (!link->Open(pty.SlavePath(), baud, error)) {
        ADD_FAILURE() << "open failed: " << error;
        return nullptr;
    }
    return link;
}

// Each case has its own plain event loop as the link's host.
class SerialLink : public ::testing::Test
{
protected:
    std::unique_ptr<TSerialLink> Open(const TPtyPair &pty, uint32_t baud = 4800) { return OpenOn(pty, baud, host); }
    bool WaitFor(const std::function<bool()> &done, int timeoutMs = kTimeoutMs) { return loop.RunUntil(done, timeoutMs); }

    TEventLoop loop;
    TLoopWaitHost host{loop};
};

} // namespace

// The plain loop as a wait host keeps the contract the link relies on: level-
// triggered (called again while the descriptor stays ready, whether or not the
// callback asks again), only for what is wanted, poll()'s bits for hang-up,
// and no call after the watch is gone, even when the callback destroys it.
TEST(LoopWaitHost, WatchesAreLevelTriggeredForWhatIsWantedAndEndCleanly)
{
    TEventLoop loop;
    TLoopWaitHost host(loop);
    int fds[2];
    ASSERT_EQ(::pipe2(fds, O_NONBLOCK | O_CLOEXEC), 0);
    std::vector<short> seen;
    std::string error;
    std::unique_ptr<TWaitWatch> watch = host.Watch(fds[0], true, false, [&](short revents) {
        seen.push_back(revents);
        char c;
        // One byte at a time: the rest must wake us again (0 at the end, once the writer is closed).
        [[maybe_unused]] const ssize_t n = ::read(fds[0], &c, 1);
    }, error);
    ASSERT_TRUE(watch) << error;
    ASSERT_EQ(::write(fds[1], "abc", 3), 3);
    ASSERT_TRUE(loop.RunUntil([&] { return seen.size() >= 3; }, kTimeoutMs));
    EXPECT_EQ(seen, (std::vector<short>{POLLIN, POLLIN, POLLIN}));

    // Not wanted: data waits unseen; wanted again: it is seen.
    watch->Want(false, false);
    ASSERT_EQ(::write(fds[1], "d", 1), 1);
    loop.RunFor(30);
    EXPECT_EQ(seen.size(), 3u);
    watch->Want(true, false);
    ASSERT_TRUE(loop.RunUntil([&] { return seen.size() >= 4; }, kTimeoutMs));

    // The far end goes: hang-up, once, after which the loop has nothing to do.
    ::close(fds[1]);
    ASSERT_TRUE(loop.RunUntil([&] { return seen.size() >= 5; }, kTimeoutMs));
    EXPECT_TRUE(seen.back() & POLLHUP);
    loop.RunFor(30);
    EXPECT_EQ(seen.size(), 5u);
    watch.reset();

    // Writing is waited for only while wanted; the callback may destroy its watch.
    ASSERT_EQ(::pipe2(fds, O_NONBLOCK | O_CLOEXEC), 0);
    int writable = 0;
    watch = host.Watch(fds[1], false, false, [&](short revents) {
        EXPECT_EQ(revents, POLLOUT);
        ++writable;
        watch.reset();
    }, error);
    ASSERT_TRUE(watch) << error;
    loop.RunFor(30);
    EXPECT_EQ(writable, 0);
    watch->Want(false, true);
    ASSERT_TRUE(loop.RunUntil([&] { return writable > 0; }, kTimeoutMs));
    loop.RunFor(30);
    EXPECT_EQ(writable, 1);
    EXPECT_FALSE(watch);
    ::close(fds[0]);
    ::close(fds[1]);
}

namespace {
class SerialLinkRate : public ::testing::TestWithParam<uint32_t>
{
};
} // namespace

// A fresh pseudo-terminal is cooked; the open must leave it raw 8-N-1 without
// flow control at exactly the rate asked, whether the rate is a classic one or not.
TEST_P(SerialLinkRate, OpenConfiguresRawEightNoneOneAtTheRate)
{
    TEventLoop loop;
    TLoopWaitHost host(loop);
    TPtyPair pty;
    ASSERT_TRUE(pty.Valid());
    auto link = OpenOn(pty, GetParam(), host);
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

TEST_F(SerialLink, EveryByteValuePassesUnchangedBothWays)
{
    TPtyPair pty;
    auto link = Open(pty);
    ASSERT_TRUE(link);
    TReceiver rx(*link);
    std::string all;
    for (int i = 0; i < 256; ++i)
        all += static_cast<char>(i);
    all += all; // 0x03, 0x0D, 0x11, 0x13, 0x7F ... would be eaten or mapped on a cooked line

    ASSERT_TRUE(link->WriteBytes(all.data(), static_cast<std::ptrdiff_t>(all.size())));
    EXPECT_EQ(ReadLine(loop, pty.Master(), all.size()), all);

    ASSERT_TRUE(pty.Write(all));
    ASSERT_TRUE(WaitFor([&] { return rx.bytes.size() >= all.size(); }));
    EXPECT_EQ(rx.bytes, all);
    EXPECT_EQ(rx.lineEvents, 0); // a pseudo-terminal has no line state to report
}

TEST_F(SerialLink, BytesInManySmallChunksArriveCompleteAndInOrder)
{
    TPtyPair pty;
    auto link = Open(pty);
    ASSERT_TRUE(link);
    TReceiver rx(*link);
    const std::string sent = Pattern(6000, 1);
    for (std::size_t at = 0, step = 1; at < sent.size(); at += step, step = step % 7 + 1) {
        ASSERT_TRUE(pty.Write(std::string_view(sent).substr(at, step)));
        if (at % 5 == 0) { // let hand-overs interleave with the writing
            ASSERT_TRUE(WaitFor([&] { return rx.bytes.size() >= std::min(sent.size(), at + step); }));
        }
    }
    ASSERT_TRUE(WaitFor([&] { return rx.bytes.size() >= sent.size(); }));
    EXPECT_EQ(rx.bytes, sent);
    EXPECT_GT(rx.handOvers, 1);
    EXPECT_EQ(rx.shortReads, 0); // each hand-over's count was there to be read
}

// Frames go out as a run of short writes; what the driver cannot take waits in
// order and follows as the other end reads.
TEST_F(SerialLink, WritesBeyondWhatTheDriverTakesGoOutWholeAndInOrder)
{
    TPtyPair pty;
    auto link = Open(pty, 4800);
    ASSERT_TRUE(link);
    TReceiver rx(*link);

    std::string sent;
    std::ptrdiff_t mostQueued = 0;
    for (int frame = 0; frame < 6; ++frame) {
        const std::string big = Pattern(8192, frame);
        ASSERT_TRUE(link->WriteBytes(big.data(), static_cast<std::ptrdiff_t>(big.size())));
        sent += big;
        for (int i = 0; i < 40; ++i) {
            const std::string small = Pattern(3, frame * 100 + i);
            ASSERT_TRUE(link->WriteBytes(small.data(), static_cast<std::ptrdiff_t>(small.size())));
            sent += small;
        }
        mostQueued = std::max(mostQueued, link->QueuedOutput());
    }
    EXPECT_GT(mostQueued, 0) << "the pseudo-terminal took everything at once; the queue was not exercised";

    // A slow reader: a little at a time, with the event loop running between.
    const std::string got = ReadLine(loop, pty.Master(), sent.size(), 700);
    EXPECT_EQ(got.size(), sent.size());
    EXPECT_TRUE(got == sent);
    EXPECT_EQ(link->QueuedOutput(), 0);
}

// Beyond the limit a write is refused whole, and what was taken still goes out.
TEST_F(SerialLink, WritesBeyondTheQueueLimitAreRefusedWhole)
{
    TPtyPair pty;
    auto link = Open(pty);
    ASSERT_TRUE(link);
    const std::string block = Pattern(64 * 1024, 7);
    std::string taken;
    while (link->QueuedOutput() + static_cast<std::ptrdiff_t>(block.size()) <= TSerialLink::MaxQueuedOutput) {
        ASSERT_TRUE(link->WriteBytes(block.data(), static_cast<std::ptrdiff_t>(block.size())));
        taken += block;
    }
    const std::ptrdiff_t queued = link->QueuedOutput();
    EXPECT_FALSE(link->WriteBytes(block.data(), static_cast<std::ptrdiff_t>(block.size())));
    EXPECT_EQ(link->QueuedOutput(), queued);
    EXPECT_EQ(ReadLine(loop, pty.Master(), taken.size()), taken);
}

TEST_F(SerialLink, HangUpIsHandedOverOnceAndThePortIsNoLongerWatched)
{
    struct TCase {
        const char *name;
        bool writing; // bytes queued for writing when the line goes
    };
    for (const TCase c : {TCase{"idle", false}, TCase{"writing", true}}) {
        SCOPED_TRACE(c.name);
        TPtyPair pty;
        auto link = Open(pty);
        ASSERT_TRUE(link);
        TReceiver rx(*link);
        if (c.writing) {
            const std::string big = Pattern(64 * 1024, 3);
            ASSERT_TRUE(link->WriteBytes(big.data(), static_cast<std::ptrdiff_t>(big.size())));
            ASSERT_GT(link->QueuedOutput(), 0);
        }
        pty.Hangup();
        ASSERT_TRUE(WaitFor([&] { return rx.hangUps > 0; }));

        const int64_t used = CpuMsOverEventLoop(loop, 1000);
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

TEST_F(SerialLink, CloseRightAfterOpenLeavesNothingBehind)
{
    TPtyPair pty;
    ASSERT_TRUE(pty.Valid());
    for (int i = 0; i < 300; ++i) {
        TSerialLink link(host);
        std::string error;
        ASSERT_TRUE(link.Open(pty.SlavePath(), 9600, error)) << error;
        if (i % 2)
            link.WriteBytes("ab", 2);
        link.Close();
    }
    // Nothing of all that must linger: no wait on a descriptor that is gone.
    RunQueued(loop);
}

// A program killed while it holds a simulator's port (which keeps its own end
// open) must not leave the port locked for everyone else: only the flock, which
// dies with the process, may guard a pseudo-terminal.
TEST(SerialLinkCrash, AKilledHolderLeavesAPseudoTerminalFree)
{
    TPtyPair pty;
    ASSERT_TRUE(pty.Valid());
    const int keep = ::open(pty.SlavePath().c_str(), O_RDWR | O_NOCTTY | O_CLOEXEC); // the simulator's own end
    ASSERT_GE(keep, 0);
    const pid_t child = ::fork();
    ASSERT_GE(child, 0);
    if (child == 0) {
        TEventLoop loop;
        TLoopWaitHost host(loop);
        TSerialLink link(host);
        std::string error;
        if (!link.Open(pty.SlavePath(), 4800, error))
            ::_exit(1);
        ::raise(SIGKILL); // no close, as after a crash
        ::_exit(2);
    }
    int status = 0;
    ASSERT_EQ(::waitpid(child, &status, 0), child);
    ASSERT_TRUE(WIFSIGNALED(status) && WTERMSIG(status) == SIGKILL) << "the child could not open the port";
    int exclusive = 1;
    ASSERT_EQ(::ioctl(keep, TIOCGEXCL, &exclusive), 0);
    EXPECT_EQ(exclusive, 0) << "the port stays locked after its holder died";
    ::close(keep);
}

// The same link in a bare poll() loop: the loop waits for writing only while
// bytes are queued, hears the hang-up once and then no longer watches the port.
TEST(SerialLinkPollHost, CarriesBothWaysAndTheHangUp)
{
    TPtyPair pty;
    TPollHost host;
    auto link = OpenOn(pty, 4800, host);
    ASSERT_TRUE(link);
    TReceiver rx(*link);
    EXPECT_EQ(host.Watched(), 1);
    EXPECT_FALSE(host.WantsWrite());

    const std::string out = Pattern(64 * 1024, 5);
    ASSERT_TRUE(link->WriteBytes(out.data(), static_cast<std::ptrdiff_t>(out.size())));
    ASSERT_GT(link->QueuedOutput(), 0);
    EXPECT_TRUE(host.WantsWrite());
    std::string got;
    ASSERT_TRUE(host.RunUntil([&] {
        got += pty.ReadAvailable();
        return got.size() >= out.size();
    }));
    EXPECT_TRUE(got == out);
    EXPECT_FALSE(host.WantsWrite());

    const std::string in = Pattern(3000, 6);
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
// again inside it while more bytes come; the watch resumes once it returns.
TEST(SerialLinkPollHost, ACallbackRunningAnEventLoopIsNotEnteredAgain)
{
    TPtyPair pty;
    TPollHost host;
    auto link = OpenOn(pty, 4800, host);
    ASSERT_TRUE(link);
    int depth = 0, deepest = 0, calls = 0;
    bool pausedInside = false;
    std::string bytes;
    link->OnDataAvailable = [&](uint32_t count) {
        ++calls;
        deepest = std::max(deepest, ++depth);
        if (calls == 1) {
            EXPECT_TRUE(pty.Write("ghi"));
            for (int turn = 0; turn < 3; ++turn)
                host.Turn(30); // ready all along
            pausedInside = !host.WantsRead();
        }
        std::string chunk(count, '\0');
        chunk.resize(static_cast<std::size_t>(link->ReadBytes(chunk.data(), static_cast<std::ptrdiff_t>(count))));
        bytes += chunk;
        --depth;
    };
    ASSERT_TRUE(pty.Write("abc"));
    ASSERT_TRUE(host.RunUntil([&] { return bytes.size() >= 3; }));
    EXPECT_TRUE(pausedInside);
    EXPECT_TRUE(host.WantsRead()); // resumed
    ASSERT_TRUE(pty.Write("def"));
    ASSERT_TRUE(host.RunUntil([&] { return bytes.size() >= 9; }));
    EXPECT_EQ(bytes, "abcghidef");
    EXPECT_EQ(deepest, 1);
}

// A callback may close the link or even destroy it; the hand-over that called
// it must not touch it afterwards.
TEST_F(SerialLink, CallbacksMayDestroyTheLink)
{
    {
        TPtyPair pty;
        std::unique_ptr<TSerialLink> link = Open(pty);
        ASSERT_TRUE(link);
        bool destroyed = false;
        link->OnDataAvailable = [&](uint32_t count) {
            std::string sink(count, '\0');
            link->ReadBytes(sink.data(), static_cast<std::ptrdiff_t>(count));
            link.reset();
            destroyed = true;
        };
        ASSERT_TRUE(pty.Write("first"));
        ASSERT_TRUE(WaitFor([&] { return destroyed; }));
        ASSERT_TRUE(pty.Write("second"));
        loop.RunFor(50); // nothing may wake for the destroyed link
    }
    {
        TPtyPair pty;
        std::unique_ptr<TSerialLink> link = Open(pty);
        ASSERT_TRUE(link);
        bool destroyed = false;
        link->OnHangUp = [&] {
            link.reset();
            destroyed = true;
        };
        pty.Hangup();
        ASSERT_TRUE(WaitFor([&] { return destroyed; }));
    }
}

TEST_F(SerialLink, OnlySerialTerminalsAreOpened)
{
    PtyTools::TScratchDir dir;
    ASSERT_TRUE(dir.Valid());
    const std::string file = dir.Path() + "/plain";
    ASSERT_TRUE(PtyTools::WriteFile(file, ""));
    struct TCase {
        std::string port;
        int error;
    };
    for (const TCase &c : {TCase{file, ENOTTY}, TCase{"/dev/null", ENOTTY}, TCase{"/dev/ptmx", ENOTTY},
                           TCase{dir.Path(), ENOTTY}, TCase{dir.Path() + "/missing", ENOENT}}) {
        TSerialLink link(host);
        std::string error;
        EXPECT_FALSE(link.Open(c.port, 9600, error)) << c.port;
        EXPECT_EQ(error, std::strerror(c.error)) << c.port;
    }
}

// A port that was somebody's terminal is left as it was: rate, framing, line
// discipline and control characters all come back at close.
TEST_F(SerialLink, CloseRestoresTheTerminalSettingsFoundAtOpen)
{
    TPtyPair pty;
    const int keep = ::open(pty.SlavePath().c_str(), O_RDWR | O_NOCTTY | O_CLOEXEC);
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

    auto link = Open(pty, 4800);
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

// Told how many characters to expect, the link leaves the line alone until
// that many can have come at its rate and hands them over at once: fewer if
// fewer came, then each as it comes again. A read of the reader's own ends the
// wait early; a hang-up during it is still handed over.
TEST_F(SerialLink, ExpectedCharactersAreHandedOverTogetherOnceTheyCanHaveCome)
{
    using Clock = std::chrono::steady_clock;
    TPtyPair pty;
    auto link = Open(pty); // 4800 baud: 2.083 ms a character
    ASSERT_TRUE(link);
    TReceiver rx(*link);
    const auto collect = link->OnDataAvailable;
    std::vector<Clock::time_point> at;
    std::vector<uint32_t> plan{20, 10}; // the hint after each hand-over
    link->OnDataAvailable = [&](uint32_t count) {
        collect(count);
        at.push_back(Clock::now());
        if (static_cast<std::size_t>(rx.handOvers) <= plan.size())
            link->ExpectChars(plan[static_cast<std::size_t>(rx.handOvers) - 1]);
    };

    const auto sent = Clock::now(); // the link's read of "a", which the wait counts from, is later
    ASSERT_TRUE(pty.Write("a"));
    ASSERT_TRUE(WaitFor([&] { return rx.handOvers == 1; }));
    const std::string rest = Pattern(20, 4);
    ASSERT_TRUE(pty.Write(rest)); // all at once, long before their time on a line
    ASSERT_TRUE(WaitFor([&] { return rx.bytes.size() == 21; }));
    EXPECT_EQ(rx.handOvers, 2);
    EXPECT_GE(at[1] - sent, std::chrono::microseconds(20 * 2083)) << "handed over before they could have come";

    ASSERT_TRUE(pty.Write("xyz")); // 3 of the 10 expected
    ASSERT_TRUE(WaitFor([&] { return rx.bytes.size() == 24; }));
    EXPECT_EQ(rx.handOvers, 3);
    // Counted from when the 20 could have come, not from their late hand-over.
    EXPECT_GE(at[2] - sent, std::chrono::microseconds(30 * 2083));
    ASSERT_TRUE(pty.Write("1"));
    ASSERT_TRUE(WaitFor([&] { return rx.bytes.size() == 25; }));
    EXPECT_EQ(rx.handOvers, 4);

    link->ExpectChars(5000); // over ten seconds
    ASSERT_TRUE(pty.Write("23"));
    loop.RunFor(30);
    EXPECT_EQ(rx.handOvers, 4) << "handed over while it should wait";
    char taken[8];
    EXPECT_EQ(link->ReadBytes(taken, sizeof taken), 2);
    EXPECT_EQ(std::string(taken, 2), "23");
    ASSERT_TRUE(pty.Write("4"));
    ASSERT_TRUE(WaitFor([&] { return rx.bytes.size() == 26; }, 5000)) << "the read did not end the wait";
    EXPECT_EQ(rx.bytes, "a" + rest + "xyz1" + "4");

    link->ExpectChars(50); // a hang-up meanwhile shows when the wait ends
    pty.Hangup();
    ASSERT_TRUE(WaitFor([&] { return rx.hangUps > 0; }));
    EXPECT_EQ(rx.hangUps, 1);
}
