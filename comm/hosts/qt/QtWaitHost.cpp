#include "QtWaitHost.h"

#include "SerialLink.h"

#include <QAbstractEventDispatcher>
#include <QCoreApplication>
#include <QSocketNotifier>
#include <QThread>

namespace {

// Both of Qt's dispatchers (its own and the glib one) activate a Read notifier
// on hang-up and errors too, but do not say which it was: the watcher is told
// 0 and asks poll() itself.
class TQtWatch final : public TWaitWatch
{
public:
    TQtWatch(int fd, TWaitHost::TReady onReady) : m_fd(fd), m_onReady(std::move(onReady)) {}

    void Want(bool read, bool write) override
    {
        Set(m_read, QSocketNotifier::Read, read);
        Set(m_write, QSocketNotifier::Write, write);
    }

private:
    void Set(std::unique_ptr<QSocketNotifier> &notifier, QSocketNotifier::Type type, bool on)
    {
        if (!notifier) {
            if (!on)
                return;
            notifier = std::make_unique<QSocketNotifier>(m_fd, type);
            QObject::connect(notifier.get(), &QSocketNotifier::activated, notifier.get(), [this] { Ready(); });
        }
        notifier->setEnabled(on); // nothing to do when unchanged
    }

    void Ready()
    {
        // A copy: the callback may destroy this watch, and with it m_onReady.
        const TWaitHost::TReady onReady = m_onReady;
        onReady(0);
    }

    const int m_fd;
    const TWaitHost::TReady m_onReady;
    std::unique_ptr<QSocketNotifier> m_read;
    std::unique_ptr<QSocketNotifier> m_write;
};

class TQtWaitHost final : public TWaitHost
{
public:
    std::unique_ptr<TWaitWatch> Watch(int fd, bool read, bool write, TReady onReady, std::string &error) override
    {
        if (!QCoreApplication::instance()) {
            error = "no application object to hand events to";
            return nullptr;
        }
        if (!QAbstractEventDispatcher::instance(QThread::currentThread())) {
            error = "no event loop on this thread to wait in";
            return nullptr;
        }
        auto watch = std::make_unique<TQtWatch>(fd, std::move(onReady));
        watch->Want(read, write);
        return watch;
    }
};

} // namespace

TWaitHost &QtWaitHost()
{
    static TQtWaitHost host;
    return host;
}

// The component's factories wait in Qt's event loop.
std::unique_ptr<TMBLink> MakeSerialLink()
{
    return std::make_unique<TSerialLink>(QtWaitHost());
}

std::unique_ptr<TMBLink> MakeFdLink(int fd)
{
    return std::make_unique<TSerialLink>(QtWaitHost(), fd);
}
