// The component's millisecond timers. A timer keeps its own state (interval,
// enabled, manual) and leaves the countdown to a backend that the host
// provides (a Qt timer, a loop timer). Without a backend, or in manual mode,
// nothing counts down and Fire() expires the timer: tests check time-outs
// and retries without waiting.
#pragma once

#include <functional>
#include <memory>

namespace mbcore {

class TTimerBackend
{
public:
    virtual ~TTimerBackend() = default;
    // One countdown of ms; a new Start replaces the running one.
    virtual void Start(int ms) = 0;
    virtual void Stop() = 0;
};

// Makes a backend whose countdown calls expired on the host's thread.
using TTimerFactory = std::function<std::unique_ptr<TTimerBackend>(std::function<void()> expired)>;

class TTimer
{
public:
    TTimer(int intervalMs, std::function<void()> onExpiry);
    TTimer(const TTimer &) = delete;
    TTimer &operator=(const TTimer &) = delete;

    // Gives the timer its countdown; a running one restarts on the new backend.
    void SetBackend(const TTimerFactory &factory);

    int Interval() const { return m_interval; }
    void SetInterval(int ms);
    bool Enabled() const { return m_enabled; }
    // Enabled := true starts a fresh countdown; false stops it. While enabled
    // the timer runs again after each expiry; one-shots disable themselves.
    void SetEnabled(bool on);
    void Start() { SetEnabled(true); }
    void Stop() { SetEnabled(false); }
    // Disable, set the interval, enable: a fresh countdown of ms.
    void Arm(int ms);

    void SetManual(bool manual);
    bool Manual() const { return m_manual || !m_backend; }
    // Runs the expiry as if the interval had passed; false (nothing done)
    // when the timer is not enabled.
    bool Fire();

private:
    void Expired();
    void Run();

    std::unique_ptr<TTimerBackend> m_backend;
    std::function<void()> m_onExpiry;
    int m_interval;
    bool m_enabled = false;
    bool m_manual = false;
};

} // namespace mbcore
