#include "QtTimers.h"

#include <QTimer>

#include <chrono>

#if defined(__linux__)
#include <QSocketNotifier>

#include <cerrno>
#include <ctime>

#include <sys/timerfd.h>
#include <unistd.h>
#define KV_TIMERFD 1
#endif

namespace {

using TClock = std::chrono::steady_clock; // CLOCK_MONOTONIC, as the timerfd

// Shorter countdowns go to the timerfd at once: they nearly always expire
// (a start delay, a character's line time), and one wake-up beats two.
// Longer ones are time-outs, stopped far more often than they expire.
constexpr int64_t kDirectUs = 100'000;
// A Qt timer wakes up to a millisecond late (whole milliseconds, rounded up,
// counted from when the loop next waits): its part ends this much early.
constexpr int64_t kQtLatenessUs = 2'000;

} // namespace

struct TQtPreciseTimer::TImpl {
    std::function<void()> expired;
    QTimer coarse;
    TClock::time_point due;
#if KV_TIMERFD
    int fd = -1;
    std::unique_ptr<QSocketNotifier> notifier;
    bool fineArmed = false;
    bool noTimerFd = false; // timerfd_create failed: Qt's timer alone
    // A time-out is started and stopped far more often than it expires: the
    // Qt timer is left running across a stop and a new start whose end lies
    // beyond it, and when it fires it looks whether it is still wanted.
    bool coarseWanted = false;
    TClock::time_point coarseEnd;   // where the Qt timer's part ends
    TClock::time_point coarseFires; // when the running Qt timer fires
#endif

    explicit TImpl(std::function<void()> onExpiry) : expired(std::move(onExpiry))
    {
        coarse.setSingleShot(true);
        coarse.setTimerType(Qt::PreciseTimer);
    }

    ~TImpl()
    {
#if KV_TIMERFD
        notifier.reset();
        if (fd >= 0)
            ::close(fd);
#endif
    }

#if KV_TIMERFD
    // Made on first use, so a countdown that never nears its end holds no descriptor.
    bool OpenFd()
    {
        if (fd >= 0)
            return true;
        if (noTimerFd)
            return false;
        fd = ::timerfd_create(CLOCK_MONOTONIC, TFD_NONBLOCK | TFD_CLOEXEC);
        if (fd < 0) {
            noTimerFd = true;
            return false;
        }
        notifier = std::make_unique<QSocketNotifier>(fd, QSocketNotifier::Read);
        QObject::connect(notifier.get(), &QSocketNotifier::activated, notifier.get(), [this] { FdReady(); });
        return true;
    }

    void SetFd(const itimerspec &when)
    {
        while (::timerfd_settime(fd, TFD_TIMER_ABSTIME, &when, nullptr) != 0 && errno == EINTR) {
        }
    }

    // The last stretch, to the nanosecond. A due time already past expires at once.
    void ArmFine()
    {
        if (!OpenFd()) {
            const auto left = std::chrono::ceil<std::chrono::milliseconds>(due - TClock::now()).count();
            coarse.start(int(left > 0 ? left : 0));
            return;
        }
        const auto ns = std::chrono::duration_cast<std::chrono::nanoseconds>(due.time_since_epoch()).count();
        itimerspec when{};
        when.it_value.tv_sec = time_t(ns / 1'000'000'000);
        when.it_value.tv_nsec = long(ns % 1'000'000'000);
        if (when.it_value.tv_sec == 0 && when.it_value.tv_nsec == 0)
            when.it_value.tv_nsec = 1; // all zero would disarm
        SetFd(when);
        fineArmed = true;
    }

    void DisarmFine()
    {
        if (!fineArmed)
            return;
        fineArmed = false;
        SetFd(itimerspec{}); // also forgets an expiry not read yet
    }

    void FdReady()
    {
        uint64_t ticks = 0;
        // Nothing to read: a stop after the poll that saw it ready.
        if (::read(fd, &ticks, sizeof ticks) != sizeof ticks || !fineArmed)
            return;
        fineArmed = false;
        expired();
    }
#endif

#if KV_TIMERFD
    // Runs the Qt timer to the end of its part (whole milliseconds, not beyond).
    void RunCoarse(TClock::time_point now)
    {
        const auto ms = std::chrono::floor<std::chrono::milliseconds>(coarseEnd - now).count();
        if (ms <= 0) {
            ArmFine();
            return;
        }
        coarse.start(int(ms));
        coarseFires = now + std::chrono::milliseconds(ms);
    }
#endif

    void CoarseDone()
    {
#if KV_TIMERFD
        if (!noTimerFd) {
            if (!coarseWanted)
                return; // stopped since: nothing to do
            const TClock::time_point now = TClock::now();
            if (coarseEnd - now >= std::chrono::milliseconds(1)) {
                RunCoarse(now); // started again since, for later
                return;
            }
            coarseWanted = false;
            ArmFine();
            return;
        }
#endif
        expired();
    }

    void Start(int64_t us)
    {
        if (us < 0)
            us = 0;
        const TClock::time_point now = TClock::now();
        due = now + std::chrono::microseconds(us);
#if KV_TIMERFD
        if (!noTimerFd) {
            DisarmFine();
            if (us <= kDirectUs) {
                coarseWanted = false;
                ArmFine();
                return;
            }
            coarseWanted = true;
            coarseEnd = due - std::chrono::microseconds(kQtLatenessUs); // ends before due
            if (!coarse.isActive() || coarseFires > coarseEnd)
                RunCoarse(now);
            return;
        }
#endif
        coarse.start(int((us + 999) / 1000)); // never early
    }

    void Stop()
    {
#if KV_TIMERFD
        if (!noTimerFd) {
            coarseWanted = false; // the Qt timer, if running, finds nothing to do
            DisarmFine();
            return;
        }
#endif
        coarse.stop();
    }

    bool IsActive() const
    {
#if KV_TIMERFD
        if (!noTimerFd)
            return fineArmed || coarseWanted;
#endif
        return coarse.isActive();
    }
};

TQtPreciseTimer::TQtPreciseTimer(std::function<void()> expired) : m_d(std::make_unique<TImpl>(std::move(expired)))
{
    QObject::connect(&m_d->coarse, &QTimer::timeout, [impl = m_d.get()] { impl->CoarseDone(); });
}

TQtPreciseTimer::~TQtPreciseTimer() = default;

void TQtPreciseTimer::StartUs(int64_t us)
{
    m_d->Start(us);
}

void TQtPreciseTimer::Stop()
{
    m_d->Stop();
}

bool TQtPreciseTimer::IsActive() const
{
    return m_d->IsActive();
}

namespace {

// Qt's own timer: to the millisecond, up to one late, and no descriptor.
class TQtMillisecondBackend : public mbcore::TTimerBackend
{
public:
    explicit TQtMillisecondBackend(std::function<void()> expired)
    {
        m_timer.setSingleShot(true);
        m_timer.setTimerType(Qt::PreciseTimer);
        QObject::connect(&m_timer, &QTimer::timeout, std::move(expired));
    }
    // A millisecond later than asked: a countdown due at the same moment (the
    // next request's start delay, as long as a lamp's flash) then runs first,
    // and a lamp it puts out goes in the same repaint.
    void Start(int ms) override { m_timer.start(ms + 1); }
    void Stop() override { m_timer.stop(); }

private:
    QTimer m_timer;
};

class TQtTimerBackend : public mbcore::TTimerBackend
{
public:
    explicit TQtTimerBackend(std::function<void()> expired) : m_timer(std::move(expired)) {}
    void Start(int ms) override { m_timer.StartUs(int64_t(ms) * 1000); }
    void Stop() override { m_timer.Stop(); }

private:
    TQtPreciseTimer m_timer;
};

} // namespace

mbcore::TTimerFactory QtTimerFactory()
{
    return [](std::function<void()> expired) -> std::unique_ptr<mbcore::TTimerBackend> {
        return std::make_unique<TQtTimerBackend>(std::move(expired));
    };
}

mbcore::TTimerFactory QtMillisecondTimerFactory()
{
    return [](std::function<void()> expired) -> std::unique_ptr<mbcore::TTimerBackend> {
        return std::make_unique<TQtMillisecondBackend>(std::move(expired));
    };
}
