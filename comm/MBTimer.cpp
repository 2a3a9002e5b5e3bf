#include "MBTimer.h"

TMBTimer::TMBTimer(int intervalMs, std::function<void()> onExpiry)
    : m_onExpiry(std::move(onExpiry)), m_interval(intervalMs)
{
    m_timer.setSingleShot(true);
    m_timer.setTimerType(Qt::PreciseTimer);
    QObject::connect(&m_timer, &QTimer::timeout, [this] { Expired(); });
}

void TMBTimer::SetInterval(int ms)
{
    m_interval = ms < 0 ? 0 : ms;
    if (m_enabled && !m_manual)
        m_timer.start(m_interval);
}

void TMBTimer::SetEnabled(bool on)
{
    m_enabled = on;
    if (on && !m_manual)
        m_timer.start(m_interval);
    else
        m_timer.stop();
}

void TMBTimer::Arm(int ms)
{
    SetEnabled(false);
    SetInterval(ms);
    SetEnabled(true);
}

void TMBTimer::SetManual(bool manual)
{
    m_manual = manual;
    if (manual)
        m_timer.stop();
    else if (m_enabled)
        m_timer.start(m_interval);
}

bool TMBTimer::Fire()
{
    if (!m_enabled)
        return false;
    Expired();
    return true;
}

void TMBTimer::Expired()
{
    // A periodic timer (the speed timer) stays enabled; re-arm before the handler
    // so that a handler which disables the timer has the last word.
    if (m_enabled && !m_manual)
        m_timer.start(m_interval);
    if (m_onExpiry)
        m_onExpiry();
}
