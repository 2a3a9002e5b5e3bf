// Qt's timers as the engine's countdowns, firing on the thread that makes
// them. Needs Qt Core only.
#pragma once

#include "MBTimer.h"

#include <cstdint>
#include <functional>
#include <memory>

mbcore::TTimerFactory QtTimerFactory();
// Qt's timers as they are, to the millisecond: for what only a person sees
// (a panel's lamps), which then never delays a countdown due at the same time.
mbcore::TTimerFactory QtMillisecondTimerFactory();

// A single-shot countdown that ends on time. Qt's timers wake in whole
// milliseconds, up to one late; on Linux the last stretch goes to a timerfd,
// which wakes within the system's timer slack. A long countdown runs on a Qt
// timer until about a millisecond before its end, so starting and stopping
// it (a time-out that rarely expires) costs no system call.
class TQtPreciseTimer
{
public:
    explicit TQtPreciseTimer(std::function<void()> expired);
    ~TQtPreciseTimer();
    TQtPreciseTimer(const TQtPreciseTimer &) = delete;
    TQtPreciseTimer &operator=(const TQtPreciseTimer &) = delete;

    // A new start replaces the running countdown; 0 expires on the next turn
    // of the event loop, never inside the call.
    void StartUs(int64_t us);
    void Stop();
    bool IsActive() const;

private:
    struct TImpl;
    std::unique_ptr<TImpl> m_d;
};
