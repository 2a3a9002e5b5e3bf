#include "SerialLink.h"

#include "PortProbe.h"

#include <QCoreApplication>
#include <QFile>
#include <QMetaObject>

#include <atomic>
#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <functional>
#include <system_error>
#include <thread>

#include <fcntl.h>
#include <poll.h>
#include <sys/eventfd.h>
#include <sys/file.h>
#include <sys/ioctl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

QString SystemText(int error)
{
    return QString::fromLocal8Bit(std::strerror(error));
}

void SignalEvent(int efd)
{
    const uint64_t one = 1;
    while (::write(efd, &one, sizeof one) < 0 && errno == EINTR) {
    }
}

void DrainEvent(int efd)
{
    uint64_t value;
    while (::read(efd, &value, sizeof value) < 0 && errno == EINTR) {
    }
}

int Ioctl(int fd, unsigned long request, void *arg)
{
    int r;
    do {
        r = ::ioctl(fd, request, arg);
    } while (r < 0 && errno == EINTR);
    return r;
}

} // namespace

// The worker: waits, hands over, waits for the hand-over to finish. It touches
// nothing of the link but the descriptor it polls and its own flags.
class TCommThread
{
public:
    // Called on the worker for each event; must arrange for the GUI thread to
    // run the hand-over, which ends with HandOverDone().
    using TPoster = std::function<void(short revents)>;

    TCommThread(int fd, TPoster post)
        : m_fd(fd), m_post(std::move(post)), m_wakeFd(::eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK)),
          m_doneFd(::eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK))
    {
    }
    TCommThread(const TCommThread &) = delete;
    TCommThread &operator=(const TCommThread &) = delete;
    ~TCommThread()
    {
        Stop();
        Join();
        if (m_wakeFd >= 0)
            ::close(m_wakeFd);
        if (m_doneFd >= 0)
            ::close(m_doneFd);
    }

    bool Valid() const { return m_wakeFd >= 0 && m_doneFd >= 0; }
    // Throws std::system_error when no thread can be made.
    void Start() { m_thread = std::thread([this] { Body(); }); }
    // Safe at any time, also before the body runs: the flag and the event exist
    // from construction, so an early stop is never lost.
    void Stop()
    {
        m_stop.store(true);
        if (m_wakeFd >= 0)
            SignalEvent(m_wakeFd);
    }
    void Join()
    {
        if (m_thread.joinable())
            m_thread.join();
    }
    // GUI thread: bytes are (or are no longer) waiting to go out.
    void WantWrite(bool on)
    {
        if (m_wantWrite.exchange(on) != on && on)
            SignalEvent(m_wakeFd);
    }
    // GUI thread, inside a hand-over: the line is gone, stop polling it.
    void StopWatching() { m_watching.store(false); }
    void HandOverDone() { SignalEvent(m_doneFd); }

private:
    void Body()
    {
        while (!m_stop.load()) {
            pollfd p[2] = {{m_wakeFd, POLLIN, 0}, {m_fd, 0, 0}};
            nfds_t n = 1;
            if (m_watching.load()) {
                p[1].events = static_cast<short>(POLLIN | (m_wantWrite.load() ? POLLOUT : 0));
                n = 2;
            }
            if (::poll(p, n, -1) < 0) {
                if (errno == EINTR)
                    continue;
                if (n == 1)
                    return; // cannot even wait for the stop: end, Close still joins
                p[1].revents = POLLERR; // the wait itself failed: the line is as good as gone
            }
            if (p[0].revents) {
                DrainEvent(m_wakeFd); // stop or write wish: look again
                continue;
            }
            if (n == 2 && p[1].revents) {
                if (p[1].revents & (POLLHUP | POLLERR | POLLNVAL))
                    m_watching.store(false); // it will not get better; never spin on it
                m_post(p[1].revents);
                if (!WaitHandOverDone())
                    return;
            }
        }
    }

    // Blocks until the GUI thread has run the hand-over; false on stop.
    bool WaitHandOverDone()
    {
        for (;;) {
            pollfd p[2] = {{m_wakeFd, POLLIN, 0}, {m_doneFd, POLLIN, 0}};
            if (::poll(p, 2, -1) < 0) {
                if (errno == EINTR)
                    continue;
                return false;
            }
            if (p[1].revents) {
                DrainEvent(m_doneFd);
                return !m_stop.load();
            }
            if (p[0].revents) {
                DrainEvent(m_wakeFd);
                if (m_stop.load())
                    return false;
            }
        }
    }

    const int m_fd;
    const TPoster m_post;
    const int m_wakeFd;
    const int m_doneFd;
    std::atomic<bool> m_stop{false};
    std::atomic<bool> m_wantWrite{false};
    std::atomic<bool> m_watching{true};
    std::thread m_thread;
};

// Lets a queued hand-over find its link, or learn that the link has closed.
struct TSerialLink::TAnchor {
    TSerialLink *link = nullptr;
};

TSerialLink::TSerialLink() = default;

TSerialLink::TSerialLink(int adoptedFd) : m_adopted(true), m_adoptedFd(adoptedFd) {}

TSerialLink::~TSerialLink()
{
    Close();
    if (m_adoptedFd >= 0)
        ::close(m_adoptedFd);
}

bool TSerialLink::Open(const QString &port, quint32 baud, QString &errorText)
{
    if (m_open) {
        errorText = SystemText(EBUSY);
        return false;
    }
    if (!QCoreApplication::instance()) {
        errorText = QStringLiteral("no application object to hand events to");
        return false;
    }

    if (m_adopted) {
        // The simulator's own side: no exclusivity games, just a raw line.
        const int fd = m_adoptedFd;
        if (fd < 0) {
            errorText = SystemText(EBADF);
            return false;
        }
        if (::fcntl(fd, F_SETFL, ::fcntl(fd, F_GETFL) | O_NONBLOCK) != 0) {
            errorText = SystemText(errno);
            return false;
        }
        ::fcntl(fd, F_SETFD, FD_CLOEXEC);
        if (SerialTermios::IsTerminal(fd)) {
            SerialTermios::MakeRaw(fd);
            SerialTermios::SetRate(fd, baud);
        }
        if (::unlockpt(fd) == 0) {
            m_peerFd = ::ioctl(fd, TIOCGPTPEER, O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
            if (m_peerFd < 0) {
                char name[128];
                if (::ptsname_r(fd, name, sizeof name) == 0)
                    m_peerFd = ::open(name, O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
            }
        }
        m_fd = fd;
    } else {
        const QString resolved = PortProbe::ResolvePortPath(port);
        const QByteArray path = QFile::encodeName(resolved);
        struct stat st {};
        if (path.isEmpty()) {
            errorText = SystemText(ENOENT);
            return false;
        }
        // A stale simulator link, or a program that has the port without a lock:
        // never opened, and the user learns which.
        bool unseen = false;
        const QString inUse = PortProbe::InUseReason(resolved, &unseen);
        if (!inUse.isEmpty()) {
            errorText = inUse;
            return false;
        }
        if (::stat(path.constData(), &st) != 0) {
            errorText = SystemText(errno);
            return false;
        }
        if (!S_ISCHR(st.st_mode) || !PortProbe::IsSerialTerminal(st.st_rdev)) {
            errorText = SystemText(ENOTTY); // never open anything but a serial terminal
            return false;
        }
        int fd;
        do {
            fd = ::open(path.constData(), O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
        } while (fd < 0 && errno == EINTR);
        if (fd < 0) {
            const int e = errno;
            errorText = SystemText(e);
            if (e == EBUSY) // held exclusively (TIOCEXCL) by a program we could not name
                errorText += QStringLiteral(": ") + PortProbe::BusyReason(unseen);
            return false;
        }
        if (::flock(fd, LOCK_EX | LOCK_NB) != 0) {
            const int e = errno == EWOULDBLOCK ? EBUSY : errno; // another program holds it
            ::close(fd);
            errorText = SystemText(e);
            if (e == EBUSY)
                errorText += QStringLiteral(": ") + PortProbe::BusyReason(unseen);
            return false;
        }
        m_savedTermios = SerialTermios::Save(fd);
        if (m_savedTermios.isEmpty()) {
            ::close(fd);
            errorText = SystemText(ENOTTY);
            return false;
        }
        Ioctl(fd, TIOCEXCL, nullptr);
        SerialTermios::MakeRaw(fd);
        SerialTermios::SetRate(fd, baud);
        SerialTermios::DropDtrRts(fd);
        SerialTermios::Purge(fd);
        m_fd = fd;
    }

    m_haveCounts = SerialTermios::ReadCounts(m_fd, m_counts);
    m_haveModem = SerialTermios::ModemLines(m_fd, m_modem);
    m_lineGone = false;
    m_hangUpReported = false;
    m_pending.clear();
    if (!StartWorker(errorText)) {
        ReleasePort();
        return false;
    }
    m_open = true;
    return true;
}

bool TSerialLink::StartWorker(QString &errorText)
{
    m_anchor = std::make_shared<TAnchor>();
    m_anchor->link = this;
    std::shared_ptr<TAnchor> anchor = m_anchor;
    auto post = [anchor](short revents) {
        QMetaObject::invokeMethod(
            QCoreApplication::instance(),
            [anchor, revents] {
                if (TSerialLink *link = anchor->link)
                    link->HandOver(revents);
            },
            Qt::QueuedConnection);
    };
    auto thread = std::make_unique<TCommThread>(m_fd, std::move(post));
    if (!thread->Valid()) {
        errorText = SystemText(errno);
        return false;
    }
    try {
        thread->Start();
    } catch (const std::system_error &e) {
        errorText = QString::fromLocal8Bit(e.what());
        return false;
    }
    m_thread = std::move(thread);
    return true;
}

void TSerialLink::Close()
{
    if (!m_open)
        return;
    m_open = false;
    m_anchor->link = nullptr; // hand-overs still queued now do nothing
    m_thread->Stop();
    m_thread->Join(); // prompt: the worker only ever waits together with the stop event
    m_thread.reset();
    ReleasePort();
    m_pending.clear();
}

void TSerialLink::ReleasePort()
{
    if (m_fd >= 0 && !m_adopted) {
        SerialTermios::Purge(m_fd); // unsent output would make close() wait for the line
        SerialTermios::Restore(m_fd, m_savedTermios); // after a hang-up this may fail: nothing to do then
        Ioctl(m_fd, TIOCNXCL, nullptr);
        ::close(m_fd); // also drops the flock
    }
    if (m_peerFd >= 0)
        ::close(m_peerFd);
    m_peerFd = -1;
    m_fd = -1;
    m_savedTermios.clear();
}

// GUI thread. The link may be closed, even destroyed, by any callback: keep the
// anchor and look at it after each one.
void TSerialLink::HandOver(short revents)
{
    const std::shared_ptr<TAnchor> anchor = m_anchor;
    const bool gone = (revents & (POLLHUP | POLLERR | POLLNVAL)) != 0;

    if ((revents & POLLOUT) && !gone && !m_lineGone)
        Flush();

    if ((revents & (POLLIN | POLLHUP | POLLERR)) && !m_lineGone) {
        int queued = 0;
        if (Ioctl(m_fd, FIONREAD, &queued) != 0) {
            m_lineGone = true;
            queued = 0;
        }
        if (queued > 0) {
            if (const auto callback = OnDataAvailable) {
                callback(static_cast<quint32>(queued));
                if (!anchor->link)
                    return;
            } else {
                Discard(queued); // nobody listens (closing): never leave them to wake us again
            }
        }
    }

    if (!m_lineGone && !gone) {
        CheckLineEvents();
        if (!anchor->link)
            return;
    }

    if (gone)
        m_lineGone = true;
    if (m_lineGone) {
        m_thread->StopWatching();
        m_pending.clear();
    }
    m_thread->HandOverDone();

    if (m_lineGone && !m_hangUpReported) {
        m_hangUpReported = true;
        if (const auto callback = OnHangUp)
            callback();
    }
}

void TSerialLink::CheckLineEvents()
{
    quint32 mask = 0;
    if (m_haveCounts) {
        SerialTermios::TLineCounts now;
        if (SerialTermios::ReadCounts(m_fd, now) && !(now == m_counts)) {
            if (now.cts != m_counts.cts)
                mask |= MBLineEvent::CTS;
            if (now.dsr != m_counts.dsr)
                mask |= MBLineEvent::DSR;
            if (now.carrier != m_counts.carrier)
                mask |= MBLineEvent::RLSD;
            if (now.ring != m_counts.ring)
                mask |= MBLineEvent::RING;
            if (now.errors != m_counts.errors)
                mask |= MBLineEvent::ERR;
            m_counts = now;
        }
    }
    if (m_haveModem) {
        quint32 lines = 0;
        if (SerialTermios::ModemLines(m_fd, lines)) {
            if (!m_haveCounts) { // no transition counters: compare states
                const quint32 changed = lines ^ m_modem;
                if (changed & MBModemStatus::CTS_ON)
                    mask |= MBLineEvent::CTS;
                if (changed & MBModemStatus::DSR_ON)
                    mask |= MBLineEvent::DSR;
                if (changed & MBModemStatus::RLSD_ON)
                    mask |= MBLineEvent::RLSD;
                if (changed & MBModemStatus::RING_ON)
                    mask |= MBLineEvent::RING;
            }
            m_modem = lines;
        }
    }
    if (mask != 0)
        if (const auto callback = OnLineEvent)
            callback(mask, m_modem);
}

bool TSerialLink::WriteBytes(const char *data, qsizetype count)
{
    if (!m_open || m_lineGone)
        return false;
    if (count <= 0)
        return true;
    if (m_pending.size() + count > MaxQueuedOutput)
        return false;
    qsizetype done = 0;
    if (m_pending.isEmpty()) { // nothing ahead of these bytes: give them to the driver now
        done = WriteNow(data, count);
        if (done < 0) {
            m_lineGone = true;
            m_thread->WantWrite(true); // get a hand-over soon, which reports the hang-up
            return false;
        }
    }
    if (done < count) {
        m_pending.append(data + done, count - done);
        m_thread->WantWrite(true);
    }
    return true;
}

qsizetype TSerialLink::WriteNow(const char *data, qsizetype count)
{
    qsizetype done = 0;
    while (done < count) {
        const ssize_t w = ::write(m_fd, data + done, static_cast<size_t>(count - done));
        if (w > 0) {
            done += w;
            continue;
        }
        if (w < 0 && errno == EINTR)
            continue;
        if (w < 0 && errno == EAGAIN)
            break;
        return -1;
    }
    return done;
}

void TSerialLink::Flush()
{
    const qsizetype w = WriteNow(m_pending.constData(), m_pending.size());
    if (w < 0) {
        m_lineGone = true;
        m_pending.clear();
    } else {
        m_pending.remove(0, w);
    }
    m_thread->WantWrite(!m_pending.isEmpty());
}

qsizetype TSerialLink::ReadBytes(char *buffer, qsizetype count)
{
    if (!m_open || count <= 0)
        return 0;
    qsizetype got = 0;
    while (got < count) {
        const ssize_t r = ::read(m_fd, buffer + got, static_cast<size_t>(count - got));
        if (r > 0) {
            got += r;
            continue;
        }
        if (r < 0 && errno == EINTR)
            continue;
        if (r == 0 || errno != EAGAIN)
            m_lineGone = true; // end of file or I/O error: the line is gone
        break;
    }
    return got;
}

void TSerialLink::Discard(qsizetype count)
{
    char sink[512];
    while (count > 0) {
        const qsizetype got = ReadBytes(sink, std::min<qsizetype>(count, sizeof sink));
        if (got <= 0)
            break;
        count -= got;
    }
}

std::unique_ptr<TMBLink> MakeSerialLink()
{
    return std::make_unique<TSerialLink>();
}

std::unique_ptr<TMBLink> MakeFdLink(int fd)
{
    return std::make_unique<TSerialLink>(fd);
}
