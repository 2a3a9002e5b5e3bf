// A host-neutral event loop for programs without Qt: posted work, one-shot
// millisecond timers and (on POSIX) waiting on a descriptor, all run on the
// thread that runs the loop. Built on standalone Asio, which stays out of this
// header so callers need neither Asio nor Qt.
//
// Lifetimes: timers and descriptor watches must not outlive their loop.
// Destroying one cancels it at once, also from inside its own callback.
#pragma once

#include <cstdint>
#include <functional>
#include <memory>

class TEventLoop
{
public:
    TEventLoop();
    ~TEventLoop();
    TEventLoop(const TEventLoop &) = delete;
    TEventLoop &operator=(const TEventLoop &) = delete;

    // Runs fn later on the loop's thread, after everything posted before it.
    // Safe to call from any thread.
    void Post(std::function<void()> fn);

    // Runs until Stop(). Stop() ends the run in progress, or the next one when
    // none is; safe to call from any thread.
    void Run();
    void Stop();

    // For tests and tools: run for ms (or until Stop()); run until pred() holds,
    // checked after every event, at most deadlineMs. RunUntil returns pred().
    void RunFor(int ms);
    bool RunUntil(const std::function<bool()> &pred, int deadlineMs);
    // Runs what is ready now (input already waiting included), without waiting.
    void RunReady();

    // Steady clock, milliseconds; only differences mean anything.
    static std::int64_t NowMs();

private:
    friend class TLoopTimer;
    friend class TFdWatch;
    friend class TLoopTcpStream;
    struct TImpl;
    std::unique_ptr<TImpl> m_impl;
};

// One-shot timer: Start(ms) (re)starts the countdown, the callback runs once
// when it expires, and the timer is then disabled until started again.
class TLoopTimer
{
public:
    explicit TLoopTimer(TEventLoop &loop, std::function<void()> onTimer = {});
    ~TLoopTimer();
    TLoopTimer(const TLoopTimer &) = delete;
    TLoopTimer &operator=(const TLoopTimer &) = delete;

    void SetOnTimer(std::function<void()> onTimer);
    void Start(int ms);
    void Stop();
    bool Enabled() const;

private:
    struct TState;
    std::shared_ptr<TState> m_state;
};

#if !defined(_WIN32)
// Waits for a descriptor (not owned, not closed) to become readable or
// writable. Each wait is one-shot and is armed again by the caller, typically
// after it has read, so the next wait starts only after the host has read.
// The callback gets the fdXxx bits that hold. Hang-up and error are reported
// whatever was asked, once: the watch then ends and Wait* refuse, so a dead
// line cannot make the loop spin.
class TFdWatch
{
public:
    enum : unsigned { fdRead = 1, fdWrite = 2, fdHangUp = 4, fdError = 8 };

    TFdWatch(TEventLoop &loop, int fd, std::function<void(unsigned events)> onEvent);
    ~TFdWatch();
    TFdWatch(const TFdWatch &) = delete;
    TFdWatch &operator=(const TFdWatch &) = delete;

    // Arm a wait; false once the watch has ended. Arming an armed wait is harmless.
    bool WaitRead();
    bool WaitWrite();
    // Disarm both waits.
    void Cancel();
    // Disarm both and leave the loop's poll set until the next wait: a
    // descriptor nobody waits on then costs no wake-up when bytes come.
    void Release();
    bool Ended() const;

private:
    struct TState;
    std::shared_ptr<TState> m_state;
};
#endif
