// What the machine itself charges for waking up, measured beside a figure so
// that a program's own share can be told from the host's: a thread sleeping in
// poll() woken once per character at a line's pace (bare, and in Qt's event
// loop through a socket notifier), a timer's lateness after a poll's sleep,
// and one byte's hop over a pseudo-terminal to a sleeping reader.
//
// On a shared virtual machine these move by a factor of two and more from one
// minute to the next; a figure means little without them.
#pragma once

#include <QCoreApplication>
#include <QEventLoop>
#include <QSocketNotifier>
#include <QTimer>

#include <algorithm>
#include <atomic>
#include <cstdint>
#include <ctime>
#include <thread>
#include <vector>

#include <fcntl.h>
#include <poll.h>
#include <stdlib.h>
#include <sys/resource.h>
#include <sys/timerfd.h>
#include <termios.h>
#include <unistd.h>

namespace bench {

inline int64_t MonotonicNs()
{
    timespec t{};
    clock_gettime(CLOCK_MONOTONIC, &t);
    return int64_t(t.tv_sec) * 1000000000 + t.tv_nsec;
}

inline double ThreadCpuMs()
{
    timespec t{};
    clock_gettime(CLOCK_THREAD_CPUTIME_ID, &t);
    return double(t.tv_sec) * 1e3 + double(t.tv_nsec) / 1e6;
}

inline long ThreadWakeUps()
{
    rusage u{};
    getrusage(RUSAGE_THREAD, &u);
    return u.ru_nvcsw;
}

// A raw pseudo-terminal pair (master, slave), both non-blocking.
struct TPtyPair {
    int master = -1, slave = -1;
    TPtyPair()
    {
        master = posix_openpt(O_RDWR | O_NOCTTY | O_CLOEXEC);
        if (master < 0 || grantpt(master) != 0 || unlockpt(master) != 0)
            return;
        slave = ::open(ptsname(master), O_RDWR | O_NOCTTY | O_CLOEXEC | O_NONBLOCK);
        termios t{};
        if (slave >= 0 && tcgetattr(slave, &t) == 0) {
            cfmakeraw(&t);
            tcsetattr(slave, TCSANOW, &t);
        }
    }
    ~TPtyPair()
    {
        if (slave >= 0)
            ::close(slave);
        if (master >= 0)
            ::close(master);
    }
    bool Valid() const { return master >= 0 && slave >= 0; }
};

// Waits ns on a timer (not a sleep that a signal could cut short).
inline void WaitNs(int timer, int64_t ns)
{
    itimerspec at{};
    at.it_value.tv_sec = time_t(ns / 1000000000);
    at.it_value.tv_nsec = long(ns % 1000000000);
    timerfd_settime(timer, 0, &at, nullptr);
    uint64_t ticks = 0;
    (void)!::read(timer, &ticks, sizeof ticks);
}

// The characters of a poll's answer as a line delivers them: burst characters
// one character time apart, a burst every burstNs, until stopped.
struct TLinePace {
    int burst = 54;
    int64_t characterNs = 2083333; // 10 bits at 4800 baud
    int64_t burstNs = 207200000;   // one poll
};

class TPacedWriter
{
public:
    TPacedWriter(int fd, TLinePace pace) : m_thread([this, fd, pace] { Run(fd, pace); }) {}
    ~TPacedWriter()
    {
        m_stop = true;
        m_thread.join();
    }

private:
    void Run(int fd, TLinePace pace)
    {
        const int timer = timerfd_create(CLOCK_MONOTONIC, TFD_CLOEXEC);
        int64_t due = MonotonicNs();
        while (!m_stop) {
            const int64_t start = due;
            for (int i = 0; i < pace.burst && !m_stop; ++i) {
                due += pace.characterNs;
                WaitNs(timer, std::max<int64_t>(1, due - MonotonicNs()));
                if (::write(fd, "A", 1) != 1)
                    m_stop = true;
            }
            due = start + pace.burstNs;
            WaitNs(timer, std::max<int64_t>(1, due - MonotonicNs()));
        }
        ::close(timer);
    }
    std::atomic<bool> m_stop{false};
    std::thread m_thread;
};

struct TWakeFloor {
    double cpuMsPerSecond = 0;
    double wakeUpsPerSecond = 0;
};

// A bare reader: poll() and read() per character, nothing else; its thread's
// CPU time.
inline TWakeFloor BareCharacterWakeUps(double seconds, TLinePace pace = {})
{
    TWakeFloor floor;
    TPtyPair pty;
    if (!pty.Valid())
        return floor;
    TPacedWriter writer(pty.master, pace);
    std::thread reader([&] {
        const int64_t end = MonotonicNs() + int64_t(seconds * 1e9);
        const double cpu = ThreadCpuMs();
        long wakes = 0;
        while (MonotonicNs() < end) {
            pollfd p{pty.slave, POLLIN, 0};
            if (::poll(&p, 1, 100) > 0) {
                char buffer[64];
                (void)!::read(pty.slave, buffer, sizeof buffer);
                ++wakes;
            }
        }
        floor.cpuMsPerSecond = (ThreadCpuMs() - cpu) / seconds;
        floor.wakeUpsPerSecond = double(wakes) / seconds;
    });
    reader.join();
    return floor;
}

// The same in the calling thread's Qt event loop, through a socket notifier.
inline TWakeFloor QtCharacterWakeUps(double seconds, TLinePace pace = {})
{
    TWakeFloor floor;
    TPtyPair pty;
    if (!pty.Valid())
        return floor;
    TPacedWriter writer(pty.master, pace);
    long wakes = 0;
    QSocketNotifier notifier(pty.slave, QSocketNotifier::Read);
    QObject::connect(&notifier, &QSocketNotifier::activated, [&] {
        char buffer[64];
        (void)!::read(pty.slave, buffer, sizeof buffer);
        ++wakes;
    });
    const double cpu = ThreadCpuMs();
    QEventLoop loop;
    QTimer::singleShot(int(seconds * 1000), &loop, &QEventLoop::quit);
    loop.exec();
    floor.cpuMsPerSecond = (ThreadCpuMs() - cpu) / seconds;
    floor.wakeUpsPerSecond = double(wakes) / seconds;
    return floor;
}

struct TLatencyFloor {
    double timerLateUs = 0; // mean lateness of a timer after a 50 ms sleep
    double ptyHopUs = 0;    // mean time from one byte's write to its reader's wake-up
};

inline TLatencyFloor WakeLatencies(int samples)
{
    TLatencyFloor floor;
    const auto mean = [](const std::vector<double> &v) {
        double sum = 0;
        for (double x : v)
            sum += x;
        return v.empty() ? 0 : sum / double(v.size());
    };
    std::vector<double> late;
    const int timer = timerfd_create(CLOCK_MONOTONIC, TFD_CLOEXEC);
    for (int i = 0; i < samples; ++i) {
        const int64_t due = MonotonicNs() + 50000000;
        itimerspec at{};
        at.it_value.tv_sec = time_t(due / 1000000000);
        at.it_value.tv_nsec = long(due % 1000000000);
        timerfd_settime(timer, TFD_TIMER_ABSTIME, &at, nullptr);
        pollfd p{timer, POLLIN, 0};
        ::poll(&p, 1, -1);
        late.push_back(double(MonotonicNs() - due) / 1e3);
        uint64_t ticks = 0;
        (void)!::read(timer, &ticks, sizeof ticks);
    }
    ::close(timer);
    floor.timerLateUs = mean(late);

    TPtyPair pty;
    if (!pty.Valid())
        return floor;
    std::atomic<int64_t> sent{0};
    std::vector<double> hops;
    std::thread reader([&] {
        for (int i = 0; i < samples; ++i) {
            pollfd p{pty.slave, POLLIN, 0};
            if (::poll(&p, 1, 1000) <= 0)
                break;
            hops.push_back(double(MonotonicNs() - sent.load()) / 1e3);
            char buffer[8];
            (void)!::read(pty.slave, buffer, sizeof buffer);
        }
    });
    const int pause = timerfd_create(CLOCK_MONOTONIC, TFD_CLOEXEC);
    for (int i = 0; i < samples; ++i) {
        WaitNs(pause, 50000000); // the reader falls asleep, as between a line's events
        sent = MonotonicNs();
        if (::write(pty.master, "x", 1) != 1)
            break;
    }
    ::close(pause);
    reader.join();
    floor.ptyHopUs = mean(hops);
    return floor;
}

} // namespace bench
