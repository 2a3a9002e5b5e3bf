#include "EventLoop.h"
#include "EventLoopImpl.h"

#include <asio/post.hpp>
#include <asio/steady_timer.hpp>
#if !defined(_WIN32)
#include <asio/posix/stream_descriptor.hpp>

#include <cerrno>

#include <poll.h>
#endif

#include <chrono>

using std::chrono::milliseconds;
using std::chrono::steady_clock;

TEventLoop::TEventLoop() : m_impl(std::make_unique<TImpl>()) {}

TEventLoop::~TEventLoop() = default;

void TEventLoop::Post(std::function<void()> fn)
{
    if (fn)
        asio::post(m_impl->io, std::move(fn));
}

void TEventLoop::Run()
{
    m_impl->io.run();
    m_impl->AfterRun();
}

void TEventLoop::Stop()
{
    m_impl->io.stop();
}

void TEventLoop::RunFor(int ms)
{
    m_impl->io.run_for(milliseconds(ms));
    m_impl->AfterRun();
}

bool TEventLoop::RunUntil(const std::function<bool()> &pred, int deadlineMs)
{
    const auto deadline = steady_clock::now() + milliseconds(deadlineMs);
    bool done = pred();
    while (!done && !m_impl->io.stopped() && steady_clock::now() < deadline) {
        m_impl->io.run_one_until(deadline);
        done = pred();
    }
    m_impl->AfterRun();
    return done;
}

void TEventLoop::RunReady()
{
    m_impl->io.poll();
    m_impl->AfterRun();
}

std::int64_t TEventLoop::NowMs()
{
    return std::chrono::duration_cast<milliseconds>(steady_clock::now().time_since_epoch()).count();
}

// Completions hold the state weakly: a destroyed timer's wait finds nothing. The
// generation tells a live wait from one overtaken by Start/Stop, whose
// completion may already be queued when it is cancelled.
struct TLoopTimer::TState
{
    explicit TState(asio::io_context &io) : timer(io) {}
    asio::steady_timer timer;
    std::function<void()> onTimer;
    unsigned generation = 0;
    bool enabled = false;
};

TLoopTimer::TLoopTimer(TEventLoop &loop, std::function<void()> onTimer)
    : m_state(std::make_shared<TState>(loop.m_impl->io))
{
    m_state->onTimer = std::move(onTimer);
}

TLoopTimer::~TLoopTimer()
{
    Stop();
}

void TLoopTimer::SetOnTimer(std::function<void()> onTimer)
{
    m_state->onTimer = std::move(onTimer);
}

void TLoopTimer::Start(int ms)
{
    TState &s = *m_state;
    const unsigned generation = ++s.generation;
    s.enabled = true;
    s.timer.expires_after(milliseconds(ms < 0 ? 0 : ms));
    s.timer.async_wait([weak = std::weak_ptr<TState>(m_state), generation](const std::error_code &ec) {
        const auto state = weak.lock();
        if (!state || ec || state->generation != generation)
            return;
        state->enabled = false;
        // A copy, so the callback may restart, re-target or destroy its own timer.
        if (const auto callback = state->onTimer)
            callback();
    });
}

void TLoopTimer::Stop()
{
    ++m_state->generation;
    m_state->enabled = false;
    m_state->timer.cancel();
}

bool TLoopTimer::Enabled() const
{
    return m_state->enabled;
}

#if !defined(_WIN32)

// The wait itself is Asio's (epoll on Linux), which says only "something
// happened"; a poll() without waiting then says what, so hang-up and error can
// be told from data. A direction is "armed" while the caller wants it and
// "pending" while an Asio wait for it is outstanding; a pending wait outliving
// its arming is dropped when it completes.
struct TFdWatch::TState
{
    enum { dirRead = 0, dirWrite = 1 };

    TState(asio::io_context &io, int descriptor) : desc(io), fd(descriptor) { Attach(); }

    void Attach()
    {
        std::error_code ec;
        desc.assign(fd, ec); // on failure every wait completes with an error, reported as fdError
        attached = true;
    }

    // Out of the loop's poll set: Asio's epoll is edge-triggered and would
    // wake the loop at each byte even with no wait armed. The waits it drops
    // complete later as aborted; the new generation tells them apart.
    void Detach()
    {
        armed[dirRead] = armed[dirWrite] = false;
        if (!attached || ended)
            return;
        desc.release();
        attached = false;
        pending[dirRead] = pending[dirWrite] = false;
        ++generation;
    }

    // Arms the wait in one direction; false once the watch has ended.
    static bool Arm(const std::shared_ptr<TState> &s, int dir)
    {
        if (s->ended)
            return false;
        s->armed[dir] = true;
        Issue(s, dir);
        return true;
    }

    static void Issue(const std::shared_ptr<TState> &s, int dir)
    {
        if (s->pending[dir])
            return;
        if (!s->attached)
            s->Attach();
        s->pending[dir] = true;
        s->desc.async_wait(dir == dirRead ? asio::posix::descriptor_base::wait_read
                                          : asio::posix::descriptor_base::wait_write,
                           [weak = std::weak_ptr<TState>(s), dir, gen = s->generation](const std::error_code &ec) {
                               if (const auto state = weak.lock(); state && state->generation == gen)
                                   Ready(state, dir, ec);
                           });
    }

    static void Ready(const std::shared_ptr<TState> &s, int dir, const std::error_code &ec)
    {
        s->pending[dir] = false;
        if (ec == asio::error::operation_aborted || s->ended || !(s->armed[dirRead] || s->armed[dirWrite]))
            return;

        pollfd p{s->fd, static_cast<short>((s->armed[dirRead] ? POLLIN : 0) | (s->armed[dirWrite] ? POLLOUT : 0)), 0};
        int r;
        do
            r = ::poll(&p, 1, 0);
        while (r < 0 && errno == EINTR);

        unsigned events = 0;
        if (r < 0 || (p.revents & (POLLERR | POLLNVAL)))
            events |= fdError;
        if (p.revents & POLLHUP)
            events |= fdHangUp;
        if (s->armed[dirRead] && (p.revents & POLLIN))
            events |= fdRead;
        if (s->armed[dirWrite] && (p.revents & POLLOUT))
            events |= fdWrite;
        if (events == 0 && ec)
            events = fdError; // waiting failed, and waiting again would fail at once
        if (events == 0) {
            for (int d : {dirRead, dirWrite})
                if (s->armed[d])
                    Issue(s, d);
            return;
        }

        if (events & (fdHangUp | fdError)) {
            s->ended = true;
            s->armed[dirRead] = s->armed[dirWrite] = false;
        }
        if (events & fdRead)
            s->armed[dirRead] = false;
        if (events & fdWrite)
            s->armed[dirWrite] = false;
        if (const auto callback = s->onEvent) // a copy, as for timers
            callback(events);
    }

    asio::posix::stream_descriptor desc;
    int fd;
    std::function<void(unsigned)> onEvent;
    bool armed[2] = {};
    bool pending[2] = {};
    bool ended = false;
    bool attached = false;
    unsigned generation = 0;
};

TFdWatch::TFdWatch(TEventLoop &loop, int fd, std::function<void(unsigned events)> onEvent)
    : m_state(std::make_shared<TState>(loop.m_impl->io, fd))
{
    m_state->onEvent = std::move(onEvent);
}

TFdWatch::~TFdWatch()
{
    // Hand the descriptor back (Asio would close it) and drop Asio's waits now,
    // not when a callback still running lets go of the state.
    m_state->ended = true;
    m_state->desc.release();
}

bool TFdWatch::WaitRead()
{
    return TState::Arm(m_state, TState::dirRead);
}

bool TFdWatch::WaitWrite()
{
    return TState::Arm(m_state, TState::dirWrite);
}

void TFdWatch::Cancel()
{
    m_state->armed[TState::dirRead] = m_state->armed[TState::dirWrite] = false;
}

void TFdWatch::Release()
{
    m_state->Detach();
}

bool TFdWatch::Ended() const
{
    return m_state->ended;
}

#endif
