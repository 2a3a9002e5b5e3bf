// One-shot millisecond timer of the component, firing on the GUI thread.
// Tests can switch a timer to manual mode and fire it directly, so time-outs
// and retries are checked without waiting.
#pragma once

#include <QObject>
#include <QTimer>

#include <functional>

class TMBTimer
{
public:
    TMBTimer(int intervalMs, std::function<void()> onExpiry);
    TMBTimer(const TMBTimer &) = delete;
    TMBTimer &operator=(const TMBTimer &) = delete;

    int Interval() const { return m_interval; }
    void SetInterval(int ms);
    bool Enabled() const { return m_enabled; }
    // Enabled := true starts a fresh countdown; false stops it.
    void SetEnabled(bool on);
    void Start() { SetEnabled(true); }
    void Stop() { SetEnabled(false); }
    // Disable, set the interval, enable: a fresh countdown of ms.
    void Arm(int ms);

    // Manual mode: the countdown is only recorded, never runs; Fire() expires it.
    void SetManual(bool manual);
    bool Manual() const { return m_manual; }
    // Runs the expiry as if the interval had passed. Returns false (and does
    // nothing) when the timer is not enabled.
    bool Fire();

private:
    void Expired();

    QTimer m_timer;
    std::function<void()> m_onExpiry;
    int m_interval;
    bool m_enabled = false;
    bool m_manual = false;
};
