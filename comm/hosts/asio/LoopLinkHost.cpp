#include "LoopLinkHost.h"

#include "EventLoop.h"

namespace {

class TLoopQueue final : public THostQueue
{
public:
    explicit TLoopQueue(TEventLoop &loop) : m_loop(loop) {}
    void Post(std::function<void()> fn) override { m_loop.Post(std::move(fn)); }

private:
    TEventLoop &m_loop;
};

} // namespace

std::unique_ptr<THostQueue> TLoopLinkHost::Attach(std::string &)
{
    return std::make_unique<TLoopQueue>(m_loop);
}
