#include "QtTimers.h"

#include <QTimer>

namespace {

class TQtTimerBackend : public mbcore::TTimerBackend
{
public:
    explicit TQtTimerBackend(std::function<void()> expired)
    {
        m_timer.setSingleShot(true);
        m_timer.setTimerType(Qt::PreciseTimer);
        QObject::connect(&m_timer, &QTimer::timeout, std::move(expired));
    }
    void Start(int ms) override { m_timer.start(ms); }
    void Stop() override { m_timer.stop(); }

private:
    QTimer m_timer;
};

} // namespace

mbcore::TTimerFactory QtTimerFactory()
{
    return [](std::function<void()> expired) -> std::unique_ptr<mbcore::TTimerBackend> {
        return std::make_unique<TQtTimerBackend>(std::move(expired));
    };
}
