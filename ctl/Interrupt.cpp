#include "Interrupt.h"

#include "EventLoop.h"

#include <algorithm>
#include <cerrno>
#include <csignal>
#include <cstring>

#if defined(_WIN32)
#include <atomic>
#include <cstdio>
#else
#include <fcntl.h>
#include <unistd.h>
#endif

namespace ctl {

namespace {

volatile std::sig_atomic_t g_requested = 0; // signals seen
#if defined(_WIN32)
// Windows calls the handler on a thread of its own, where posting is safe.
std::atomic<TEventLoop *> g_loop{nullptr};
#else
int g_pipe[2] = {-1, -1};
#endif

// What a second signal is told and what a third leaves undone, ready for the
// handler (no allocation there).
struct TLine {
    char text[512] = {};
    volatile std::sig_atomic_t length = 0;
};
TLine g_second, g_undone;

void Say(const char *text, std::size_t length)
{
#if defined(_WIN32)
    std::fwrite(text, 1, length, stderr);
    std::fflush(stderr);
#else
    [[maybe_unused]] const ssize_t n = ::write(STDERR_FILENO, text, length);
#endif
}

void Wake()
{
#if defined(_WIN32)
    if (TEventLoop *loop = g_loop.load()) // wakes the loop, which then sees the flag
        loop->Post([] {});
#else
    const char byte = 1;
    [[maybe_unused]] const ssize_t n = ::write(g_pipe[1], &byte, 1);
#endif
}

extern "C" void OnSignal(int signal)
{
    const int saved = errno;
    const std::sig_atomic_t undone = g_undone.length;
#if defined(SIGQUIT)
    const bool quit = signal == SIGQUIT; // at once, as ever (and its core), but not without a word
#else
    const bool quit = false;
#endif
    if (!quit && (g_requested == 0 || (g_requested == 1 && undone > 0))) {
        const bool second = g_requested == 1;
        g_requested = g_requested + 1;
        if (second)
            Say(g_second.text, static_cast<std::size_t>(g_second.length));
        Wake();
#if defined(_WIN32)
        std::signal(signal, OnSignal); // Windows resets the handler before each call
#endif
        errno = saved;
        return;
    }
    // No more waiting.
    if (undone > 0)
        Say(g_undone.text, static_cast<std::size_t>(undone));
    std::signal(signal, SIG_DFL);
    std::raise(signal);
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
#if !defined(_WIN32)
    // One handler at a time: a SIGTERM on the heels of a SIGINT counts as the second, not as the first again.
    struct sigaction sa {};
    sa.sa_handler = OnSignal;
    sigemptyset(&sa.sa_mask);
    for (int s : {SIGINT, SIGTERM, SIGHUP, SIGQUIT})
        sigaddset(&sa.sa_mask, s);
    sa.sa_flags = SA_RESTART;
    for (int s : {SIGINT, SIGTERM, SIGHUP, SIGQUIT}) // SIGHUP: the terminal closed, as for Ctrl+C
        ::sigaction(s, &sa, nullptr);
#else
    std::signal(SIGINT, OnSignal);
    std::signal(SIGTERM, OnSignal);
#endif
}

TInterrupt::~TInterrupt()
{
    std::signal(SIGINT, SIG_DFL);
    std::signal(SIGTERM, SIG_DFL);
#if !defined(_WIN32)
    std::signal(SIGHUP, SIG_DFL);
    std::signal(SIGQUIT, SIG_DFL);
#endif
    g_undone.length = 0;
    g_second.length = 0;
#if defined(_WIN32)
    g_loop = nullptr;
#endif
}

bool TInterrupt::Requested() const
{
    return g_requested != 0;
}

namespace {

void Keep(TLine &line, const std::string &text)
{
    line.length = 0; // the handler reads none while it changes
    if (text.empty())
        return;
    const std::string whole = "kv508ctl: " + text + "\n";
    const std::size_t length = std::min(whole.size(), sizeof line.text);
    std::memcpy(line.text, whole.data(), length);
    line.length = static_cast<std::sig_atomic_t>(length);
}

} // namespace

void TInterrupt::SetCleanup(const std::string &onSecond, const std::string &undone)
{
    Keep(g_second, undone.empty() ? std::string() : onSecond);
    Keep(g_undone, undone);
}

} // namespace ctl
