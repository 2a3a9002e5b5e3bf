#include "LoopTimers.h"

#include "EventLoop.h"

#include <memory>
#include <utility>

namespace {

class TLoopTimerBackend final : public mbcore::TTimerBackend
{
public:
    TLoopTimerBackend(TEventLoop &loop, std::function<void()> expired) : m_timer(loop, std::move(expired)) {}
    void Start(int ms) override { m_timer.Start(ms); }
    void Stop() override { m_timer.Stop(); }

private:
    TLoopTimer m_timer;
};

} // namespace

mbcore::TTimerFactory LoopTimers(TEventLoop &loop)
{
    return [&loop](std::function<void()> expired) -> std::unique_ptr<mbcore::TTimerBackend> {
        return std::make_unique<TLoopTimerBackend>(loop, std::move(expired));
    };
}
