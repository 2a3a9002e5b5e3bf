#include "Interrupt.h"

#include "EventLoop.h"

#include <csignal>

#if defined(_WIN32)
#include <atomic>
#else
#include <fcntl.h>
#include <unistd.h>
#endif

namespace ctl {

namespace {

volatile std::sig_atomic_t g_requested = 0;
#if defined(_WIN32)
// Windows calls the handler on a thread of its own, where posting is safe.
std::atomic<TEventLoop *> g_loop{nullptr};
#else
int g_pipe[2] = {-1, -1};
#endif

extern "C" void OnSignal(int signal)
{
    if (g_requested) { // the second one: no more waiting
        std::signal(signal, SIG_DFL);
        std::raise(signal);
        return;
    }
    g_requested = 1;
#if defined(_WIN32)
    if (TEventLoop *loop = g_loop.load()) // wakes the loop, which then sees the flag
        loop->Post([] {});
#else
    const char byte = 1;
    [[maybe_unused]] const ssize_t n = ::write(g_pipe[1], &byte, 1);
#endif
}

} // namespace

struct TInterrupt::TImpl {
#if !defined(_WIN32)
    std::unique_ptr<TFdWatch> watch;
#endif
};

TInterrupt::TInterrupt(TEventLoop &loop) : m_impl(std::make_unique<TImpl>())
{
#if !defined(_WIN32)
    // The pipe wakes the loop, which then sees the flag.
    if (g_pipe[0] < 0 && ::pipe2(g_pipe, O_CLOEXEC | O_NONBLOCK) != 0)
        return;
    m_impl->watch = std::make_unique<TFdWatch>(loop, g_pipe[0], [](unsigned) {});
    m_impl->watch->WaitRead();
#else
    g_loop = &loop;
#endif
    std::signal(SIGINT, OnSignal);
    std::signal(SIGTERM, OnSignal);
#if !defined(_WIN32)
    std::signal(SIGHUP, OnSignal); // the terminal closed: end as for Ctrl+C
#endif
}

TInterrupt::~TInterrupt()
{
    std::signal(SIGINT, SIG_DFL);
    std::signal(SIGTERM, SIG_DFL);
#if !defined(_WIN32)
    std::signal(SIGHUP, SIG_DFL);
#endif
#if defined(_WIN32)
    g_loop = nullptr;
#endif
}

bool TInterrupt::Requested() const
{
    return g_requested != 0;
}

} // namespace ctl
