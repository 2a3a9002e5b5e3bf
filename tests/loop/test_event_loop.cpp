// The Qt-free event loop: posted work, one-shot timers, descriptor waits on
// pipes and a pseudo-terminal. Timer cases compare timers with each other, not
// with the wall clock, so a slow machine changes nothing.
#include "EventLoop.h"

#include <gtest/gtest.h>

#include <atomic>
#include <memory>
#include <string>
#include <thread>
#include <vector>

#if !defined(_WIN32)
#include <fcntl.h>
#include <stdlib.h>
#include <termios.h>
#include <unistd.h>
#endif

namespace {

// Long enough to live on the heap, so a callback used after being freed shows
// under AddressSanitizer.
const std::string kCapture(64, 'x');

// Runs the loop for a while, long enough for any ready descriptor or expired
// timer to be seen many times over; used where the point is that nothing happens.
constexpr int kQuietMs = 30;

#if !defined(_WIN32) // descriptor watches are POSIX only
struct TPipe
{
    int fd[2] = {-1, -1};
    TPipe() { EXPECT_EQ(::pipe2(fd, O_NONBLOCK | O_CLOEXEC), 0); }
    ~TPipe() { CloseRead(), CloseWrite(); }
    void CloseRead() { Close(fd[0]); }
    void CloseWrite() { Close(fd[1]); }
    static void Close(int &f)
    {
        if (f >= 0)
            ::close(f);
        f = -1;
    }
    int r() const { return fd[0]; }
    int w() const { return fd[1]; }
};

std::string Drain(int fd)
{
    std::string got;
    char buf[4096];
    for (ssize_t n; (n = ::read(fd, buf, sizeof buf)) > 0;)
        got.append(buf, static_cast<size_t>(n));
    return got;
}
#endif

} // namespace

TEST(EventLoopPost, RunsInOrderNestedPostsLast)
{
    TEventLoop loop;
    std::vector<int> seen;
    loop.Post([&] {
        seen.push_back(1);
        loop.Post([&] { seen.push_back(4); loop.Stop(); });
    });
    loop.Post([&] { seen.push_back(2); });
    loop.Post([&] { seen.push_back(3); });
    loop.Run();
    EXPECT_EQ(seen, (std::vector<int>{1, 2, 3, 4}));
}

TEST(EventLoopPost, FromAnotherThreadArrivesInOrder)
{
    TEventLoop loop;
    constexpr int count = 2000;
    std::vector<int> seen;
    std::thread producer([&] {
        for (int i = 0; i < count; ++i)
            loop.Post([&seen, i] { seen.push_back(i); });
        loop.Stop();
    });
    loop.Run(); // a Stop() landing before Run() starts still ends it
    producer.join();
    loop.RunUntil([&] { return seen.size() == count; }, 5000);
    ASSERT_EQ(seen.size(), size_t(count));
    for (int i = 0; i < count; ++i)
        ASSERT_EQ(seen[size_t(i)], i);
}

TEST(EventLoopRun, StopFromCallbackEndsOnlyThatRun)
{
    TEventLoop loop;
    int fired = 0;
    TLoopTimer stopper(loop, [&] { ++fired; loop.Stop(); });
    stopper.Start(1);
    loop.Run();
    EXPECT_EQ(fired, 1);

    // The loop runs again afterwards, and a deadline ends RunUntil with false.
    stopper.Start(1);
    EXPECT_TRUE(loop.RunUntil([&] { return fired == 2; }, 5000));
    const auto before = TEventLoop::NowMs();
    EXPECT_FALSE(loop.RunUntil([] { return false; }, 20));
    EXPECT_GE(TEventLoop::NowMs() - before, 20);
}

TEST(LoopTimer, RestartPostponesAndStopCancels)
{
    TEventLoop loop;
    std::string order;
    TLoopTimer restarted(loop, [&] { order += 'R'; });
    TLoopTimer stopped(loop, [&] { order += 'S'; });
    TLoopTimer reference(loop, [&] { order += 'M'; });
    TLoopTimer end(loop, [&] { loop.Stop(); });

    restarted.Start(10);
    stopped.Start(5);
    EXPECT_TRUE(stopped.Enabled());
    stopped.Stop();
    EXPECT_FALSE(stopped.Enabled());
    restarted.Start(80); // restart: the first countdown no longer counts
    reference.Start(40);
    end.Start(120);
    loop.Run();
    EXPECT_EQ(order, "MR");
    EXPECT_FALSE(restarted.Enabled());
}

TEST(LoopTimer, StopOrDestroyAfterExpiryIsAlreadyQueued)
{
    // Both timers expire before the loop looks, so the second one's completion
    // is already queued when the first one's callback stops or destroys it.
    TEventLoop loop;
    int late = 0;
    auto victim = std::make_unique<TLoopTimer>(loop, [&] { ++late; });
    TLoopTimer first(loop, [&] { victim->Stop(); });
    first.Start(0);
    victim->Start(0);
    loop.RunFor(kQuietMs);
    EXPECT_EQ(late, 0);

    first.SetOnTimer([&] { victim.reset(); });
    first.Start(0);
    victim->Start(0);
    loop.RunFor(kQuietMs);
    EXPECT_EQ(late, 0);
    EXPECT_FALSE(victim);
}

TEST(LoopTimer, CallbackMayRestartOrDestroyItsTimer)
{
    TEventLoop loop;
    int fired = 0;
    bool enabledInside = true;
    TLoopTimer self(loop);
    self.SetOnTimer([&] {
        enabledInside = self.Enabled();
        if (++fired < 3)
            self.Start(1);
    });
    self.Start(1);
    EXPECT_TRUE(loop.RunUntil([&] { return fired == 3; }, 5000));
    EXPECT_FALSE(enabledInside);

    std::unique_ptr<TLoopTimer> doomed;
    size_t used = 0;
    doomed = std::make_unique<TLoopTimer>(loop, [&, capture = kCapture] {
        doomed.reset();
        used = capture.size(); // the callback's own captures outlive its timer
    });
    doomed->Start(0);
    EXPECT_TRUE(loop.RunUntil([&] { return used == kCapture.size(); }, 5000));

    // A timer destroyed while counting down never fires.
    auto pending = std::make_unique<TLoopTimer>(loop, [&] { ++fired; });
    pending->Start(0);
    pending.reset();
    loop.RunFor(kQuietMs);
    EXPECT_EQ(fired, 3);
}

#if !defined(_WIN32)
TEST(FdWatch, ReadIsOneShotLevelTriggeredAndCancellable)
{
    TEventLoop loop;
    TPipe pipe;
    std::vector<unsigned> events;
    std::string got;
    bool rearm = true;
    TFdWatch watch(loop, pipe.r(), [&](unsigned ev) {
        events.push_back(ev);
        char c;
        if (::read(pipe.r(), &c, 1) == 1) // one byte at a time: the rest must not be lost
            got += c;
        if (rearm)
            watch.WaitRead();
    });

    ASSERT_EQ(::write(pipe.w(), "ab", 2), 2); // already there when the wait starts
    ASSERT_TRUE(watch.WaitRead());
    EXPECT_TRUE(loop.RunUntil([&] { return got == "ab"; }, 5000));
    loop.RunFor(kQuietMs);
    EXPECT_EQ(events, (std::vector<unsigned>{TFdWatch::fdRead, TFdWatch::fdRead}));

    // Not re-armed: data waits, unseen, until the next WaitRead.
    rearm = false;
    ASSERT_EQ(::write(pipe.w(), "c", 1), 1);
    EXPECT_TRUE(loop.RunUntil([&] { return got == "abc"; }, 5000)); // the wait still armed
    ASSERT_EQ(::write(pipe.w(), "d", 1), 1);
    loop.RunFor(kQuietMs);
    EXPECT_EQ(got, "abc");

    // Cancelled: nothing is reported, though data waits; a new wait sees it.
    watch.WaitRead();
    watch.Cancel();
    ASSERT_EQ(::write(pipe.w(), "e", 1), 1);
    loop.RunFor(kQuietMs);
    EXPECT_EQ(got, "abc");
    watch.WaitRead();
    EXPECT_TRUE(loop.RunUntil([&] { return got == "abcd"; }, 5000));
    EXPECT_EQ(events.size(), 4u);
}

TEST(FdWatch, WriteReportedOnlyWhileAskedAndWhenRoomReturns)
{
    TEventLoop loop;
    TPipe pipe;
    int writable = 0;
    TFdWatch watch(loop, pipe.w(), [&](unsigned ev) {
        EXPECT_EQ(ev, TFdWatch::fdWrite);
        ++writable;
    });
    watch.WaitWrite();
    loop.RunFor(kQuietMs); // always writable, yet reported once per wait
    EXPECT_EQ(writable, 1);

    const std::string block(4096, 'z');
    while (::write(pipe.w(), block.data(), block.size()) > 0) {
    }
    watch.WaitWrite();
    loop.RunFor(kQuietMs);
    EXPECT_EQ(writable, 1);
    Drain(pipe.r());
    EXPECT_TRUE(loop.RunUntil([&] { return writable == 2; }, 5000));

    // Destroyed from inside its own callback; the descriptor stays open.
    std::unique_ptr<TFdWatch> doomed;
    size_t used = 0;
    doomed = std::make_unique<TFdWatch>(loop, pipe.w(), [&, capture = kCapture](unsigned) {
        doomed.reset();
        used = capture.size();
    });
    doomed->WaitWrite();
    EXPECT_TRUE(loop.RunUntil([&] { return used == kCapture.size(); }, 5000));
    EXPECT_NE(::fcntl(pipe.w(), F_GETFD), -1);
}

TEST(FdWatch, HangUpAndErrorReportedOnceThenEnded)
{
    TEventLoop loop;

    // A careless caller re-arms every time; the loop must still go quiet.
    TPipe pipe;
    std::vector<unsigned> events;
    TFdWatch reader(loop, pipe.r(), [&](unsigned ev) {
        events.push_back(ev);
        Drain(pipe.r());
        EXPECT_FALSE(reader.WaitRead());
    });
    ASSERT_EQ(::write(pipe.w(), "last", 4), 4);
    reader.WaitRead();
    pipe.CloseWrite();
    loop.RunFor(kQuietMs);
    ASSERT_EQ(events.size(), 1u);
    EXPECT_EQ(events[0], TFdWatch::fdRead | TFdWatch::fdHangUp); // what was left can still be read
    EXPECT_TRUE(reader.Ended());

    // The write side of a pipe whose reader is gone, asked only for reading.
    TPipe orphan;
    orphan.CloseRead();
    unsigned writerEvents = 0;
    int writerCalls = 0;
    TFdWatch writer(loop, orphan.w(), [&](unsigned ev) { writerEvents = ev, ++writerCalls; });
    writer.WaitRead();
    loop.RunFor(kQuietMs);
    EXPECT_EQ(writerCalls, 1);
    EXPECT_TRUE(writerEvents & TFdWatch::fdError);

    // A descriptor that is not open ends in an error rather than silence.
    int badCalls = 0;
    TFdWatch bad(loop, 1 << 20, [&](unsigned ev) {
        EXPECT_TRUE(ev & TFdWatch::fdError);
        ++badCalls;
    });
    bad.WaitRead();
    loop.RunFor(kQuietMs);
    EXPECT_EQ(badCalls, 1);
}

TEST(FdWatch, PseudoTerminalDataThenHangUpWhenMasterCloses)
{
    // The tool's side of a serial line is the terminal (slave) side.
    int master = ::posix_openpt(O_RDWR | O_NOCTTY | O_CLOEXEC);
    ASSERT_GE(master, 0);
    ASSERT_EQ(::grantpt(master), 0);
    ASSERT_EQ(::unlockpt(master), 0);
    const int tty = ::open(::ptsname(master), O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
    ASSERT_GE(tty, 0);
    termios raw{};
    ASSERT_EQ(::tcgetattr(tty, &raw), 0);
    ::cfmakeraw(&raw);
    ASSERT_EQ(::tcsetattr(tty, TCSANOW, &raw), 0);

    TEventLoop loop;
    std::string got;
    std::vector<unsigned> gone;
    TFdWatch watch(loop, tty, [&](unsigned ev) {
        if (ev & (TFdWatch::fdHangUp | TFdWatch::fdError))
            gone.push_back(ev);
        else
            got += Drain(tty);
        watch.WaitRead();
    });
    watch.WaitRead();
    ASSERT_EQ(::write(master, "ping", 4), 4);
    EXPECT_TRUE(loop.RunUntil([&] { return got == "ping"; }, 5000));

    ::close(master); // the adapter pulled out
    EXPECT_TRUE(loop.RunUntil([&] { return !gone.empty(); }, 5000));
    loop.RunFor(kQuietMs);
    ASSERT_EQ(gone.size(), 1u);
    EXPECT_TRUE(gone[0] & TFdWatch::fdHangUp);

    ::close(tty);
}
#endif
