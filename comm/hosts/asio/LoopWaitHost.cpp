#include "LoopWaitHost.h"

#include "EventLoop.h"

#include <poll.h>

namespace {

// The loop's waits are one-shot; the link expects a level-triggered watch, so
// each wait is armed again once the callback has returned (and has read). The
// loop says exactly what holds, so the link is told poll()'s bits.
class TLoopWatch final : public TWaitWatch
{
public:
    TLoopWatch(TEventLoop &loop, int fd, TWaitHost::TReady onReady)
        : m_onReady(std::move(onReady)), m_alive(std::make_shared<bool>(true)),
          m_watch(loop, fd, [this](unsigned events) { Ready(events); })
    {
    }

    ~TLoopWatch() override { *m_alive = false; }

    void Want(bool read, bool write) override
    {
        if (!read && !write)
            m_watch.Release(); // nothing wanted: no wake-ups for it at all
        else if ((m_read && !read) || (m_write && !write))
            m_watch.Cancel(); // disarms both: the one still wanted is armed again below
        m_read = read;
        m_write = write;
        Arm();
    }

private:
    void Arm()
    {
        if (m_read)
            m_watch.WaitRead();
        if (m_write)
            m_watch.WaitWrite();
    }

    void Ready(unsigned events)
    {
        short revents = 0;
        if (events & TFdWatch::fdRead)
            revents |= POLLIN;
        if (events & TFdWatch::fdWrite)
            revents |= POLLOUT;
        if (events & TFdWatch::fdHangUp)
            revents |= POLLHUP;
        if (events & TFdWatch::fdError)
            revents |= POLLERR;
        // Copies: the callback may destroy this watch.
        const std::shared_ptr<bool> alive = m_alive;
        const TWaitHost::TReady onReady = m_onReady;
        onReady(revents);
        if (*alive)
            Arm();
    }

    const TWaitHost::TReady m_onReady;
    const std::shared_ptr<bool> m_alive;
    bool m_read = false;
    bool m_write = false;
    TFdWatch m_watch; // last: its callback uses the members above
};

} // namespace

std::unique_ptr<TWaitWatch> TLoopWaitHost::Watch(int fd, bool read, bool write, TReady onReady, std::string &)
{
    auto watch = std::make_unique<TLoopWatch>(m_loop, fd, std::move(onReady));
    watch->Want(read, write);
    return watch;
}
