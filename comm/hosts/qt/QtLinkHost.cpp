// The Qt application as the Win32 link's host: hand-overs are queued calls
// into the event loop of the thread that opened the link.
#include "QtWaitHost.h"

#include "SerialLink.h"

#include <QAbstractEventDispatcher>
#include <QCoreApplication>
#include <QObject>
#include <QThread>

namespace {

class TQtQueue final : public THostQueue
{
public:
    void Post(std::function<void()> fn) override
    {
        // Thread-safe; runs in m_context's thread. Calls still queued when
        // the queue goes are dropped with m_context.
        QMetaObject::invokeMethod(&m_context, std::move(fn), Qt::QueuedConnection);
    }

private:
    QObject m_context; // lives in the thread that attached
};

class TQtLinkHost final : public TLinkHost
{
public:
    std::unique_ptr<THostQueue> Attach(std::string &error) override
    {
        if (!QCoreApplication::instance()) {
            error = "no application object to hand events to";
            return nullptr;
        }
        if (!QAbstractEventDispatcher::instance(QThread::currentThread())) {
            error = "no event loop on this thread to hand events to";
            return nullptr;
        }
        return std::make_unique<TQtQueue>();
    }
};

} // namespace

TLinkHost &QtLinkHost()
{
    static TQtLinkHost host;
    return host;
}

std::unique_ptr<TMBLink> MakeSerialLink()
{
    return std::make_unique<TSerialLink>(QtLinkHost());
}
