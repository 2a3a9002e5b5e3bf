#include "MBTimer.h"

namespace mbcore {

TTimer::TTimer(int intervalMs, std::function<void()> onExpiry)
    : m_onExpiry(std::move(onExpiry)), m_interval(intervalMs)
{
}

void TTimer::SetBackend(const TTimerFactory &factory)
{
    if (m_backend)
        m_backend->Stop();
    m_backend = factory ? factory([this] { Expired(); }) : nullptr;
    Run();
}

void TTimer::Run()
{
    if (!m_backend)
        return;
    if (m_enabled && !m_manual)
        m_backend->Start(m_interval);
    else
        m_backend->Stop();
}

void TTimer::SetInterval(int ms)
{
    m_interval = ms < 0 ? 0 : ms;
    if (m_enabled)
        Run();
}

void TTimer::SetEnabled(bool on)
{
    m_enabled = on;
    Run();
}

void TTimer::Arm(int ms)
{
    m_enabled = false;
    m_interval = ms < 0 ? 0 : ms;
    SetEnabled(true);
}

void TTimer::SetManual(bool manual)
{
    m_manual = manual;
    Run();
}

bool TTimer::Fire()
{
    if (!m_enabled)
        return false;
    Expired();
    return true;
}

void TTimer::Expired()
{
    // A periodic timer (the speed timer) stays enabled; re-arm before the
    // handler so that a handler which disables the timer has the last word.
    if (m_enabled && !m_manual && m_backend)
        m_backend->Start(m_interval);
    if (m_onExpiry)
        m_onExpiry();
}

} // namespace mbcore
