#include "SerialLink.h"

#include "PortProbe.h"
#include "SysCall.h"

#include <algorithm>
#include <cerrno>
#include <cstdlib>
#include <cstring>

#include <fcntl.h>
#include <poll.h>
#include <sys/file.h>
#include <sys/ioctl.h>
#include <sys/stat.h>
#include <sys/timerfd.h>
#include <unistd.h>

namespace {

std::string SystemText(int error)
{
    return std::strerror(error);
}

int64_t MonotonicNs()
{
    timespec t{};
    ::clock_gettime(CLOCK_MONOTONIC, &t);
    return int64_t(t.tv_sec) * 1'000'000'000 + t.tv_nsec;
}

using sys::Ioctl;

} // namespace

// Lets a hand-over learn that a callback has closed or destroyed its link.
struct TSerialLink::TAnchor {
    TSerialLink *link = nullptr;
};

TSerialLink::TSerialLink(TWaitHost &host) : m_host(host) {}

TSerialLink::TSerialLink(TWaitHost &host, int adoptedFd) : m_adopted(true), m_adoptedFd(adoptedFd), m_host(host)
{
}

TSerialLink::~TSerialLink()
{
    Close();
    if (m_adoptedFd >= 0)
        ::close(m_adoptedFd);
}

bool TSerialLink::Open(const std::string &port, uint32_t baud, std::string &errorText)
{
    if (m_open) {
        errorText = SystemText(EBUSY);
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
            const std::string why = SerialTermios::SetUp(fd, baud, false);
            if (!why.empty()) {
                errorText = why;
                return false;
            }
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
        const std::string path = PortProbe::ResolvePortPath(port);
        struct stat st {};
        if (path.empty()) {
            errorText = SystemText(ENOENT);
            return false;
        }
        // A stale simulator link, or a program that has the port without a lock:
        // never opened, and the user learns which.
        bool unseen = false;
        const std::string inUse = PortProbe::InUseReason(path, &unseen);
        if (!inUse.empty()) {
            errorText = inUse;
            return false;
        }
        if (::stat(path.c_str(), &st) != 0) {
            errorText = SystemText(errno);
            return false;
        }
        if (!S_ISCHR(st.st_mode) || !PortProbe::IsSerialTerminal(st.st_rdev)) {
            errorText = SystemText(ENOTTY); // never open anything but a serial terminal
            return false;
        }
        const int fd = sys::OpenDevice(path);
        if (fd < 0) {
            const int e = errno;
            errorText = SystemText(e);
            if (e == EBUSY) // held exclusively (TIOCEXCL) by a program we could not name
                errorText += ": " + PortProbe::BusyReason(unseen);
            return false;
        }
        if (::flock(fd, LOCK_EX | LOCK_NB) != 0) {
            const int e = errno == EWOULDBLOCK ? EBUSY : errno; // another program holds it
            ::close(fd);
            errorText = SystemText(e);
            if (e == EBUSY)
                errorText += ": " + PortProbe::BusyReason(unseen);
            return false;
        }
        m_savedTermios = SerialTermios::Save(fd);
        if (m_savedTermios.empty()) {
            ::close(fd);
            errorText = SystemText(ENOTTY);
            return false;
        }
        // Exclusive mode keeps programs that take no lock off a real port. On a
        // pseudo-terminal whose simulator keeps its own end open it would outlive
        // a program that was killed and lock everyone else out until the
        // simulator restarts; the flock, which dies with its process, guards it.
        if (!PortProbe::IsPseudoTerminal(st.st_rdev))
            Ioctl(fd, TIOCEXCL, nullptr);
        // A port left at another rate than asked would time out every request
        // with no hint: each step is checked, and the port closed with the reason.
        m_fd = fd;
        const std::string why = SerialTermios::SetUp(fd, baud, true);
        if (!why.empty()) {
            errorText = why;
            ReleasePort();
            return false;
        }
    }

    m_haveCounts = SerialTermios::ReadCounts(m_fd, m_counts);
    m_haveModem = SerialTermios::ModemLines(m_fd, m_modem);
    m_lineGone = false;
    m_hangUpReported = false;
    m_pending.clear();
    m_inboxStart = m_inboxCount = 0;
    m_inHandOver = false;
    m_paused = false;
    m_holding = false;
    m_charNs = baud > 0 ? int64_t(10) * 1'000'000'000 / baud : 0; // start, 8 data, stop
    m_lastReadNs = 0;
    m_anchor = std::make_shared<TAnchor>();
    m_anchor->link = this;
    std::string why;
    m_watch = m_host.Watch(m_fd, true, false, [this](short revents) { HandOver(revents); }, why);
    if (!m_watch) {
        errorText = why;
        ReleasePort();
        return false;
    }
    m_open = true;
    return true;
}

void TSerialLink::Close()
{
    if (!m_open)
        return;
    m_open = false;
    m_anchor->link = nullptr; // a hand-over that called us touches nothing more
    m_watch.reset();          // before the descriptor goes
    m_holdWatch.reset();
    if (m_holdFd >= 0)
        ::close(m_holdFd);
    m_holdFd = -1;
    m_holding = false;
    ReleasePort();
    m_pending.clear();
    m_inboxStart = m_inboxCount = 0;
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

// The host's thread. The link may be closed, even destroyed, by any callback:
// keep the anchor and look at it after each one.
void TSerialLink::HandOver(short revents)
{
    if (m_inHandOver) { // a callback runs an event loop of its own: wait until it returns
        m_paused = true;
        UpdateWatch();
        return;
    }
    if (revents == 0 && m_pending.empty() && !m_lineGone && m_inboxCount == 0) {
        // Only reading is watched: a read says all there is to know, and the
        // bytes it brings are what the callback reads next (no count asked of
        // the driver, no poll() per event). Nothing read may mean a hang-up.
        if (FillInbox() > 0)
            revents = POLLIN;
    }
    if (revents == 0 && m_lineGone)
        revents = POLLHUP; // the read found the line gone
    if (revents == 0)
        revents = PollNow();
    if (revents == 0)
        return; // the other notifier of the same round found it all done

    const std::shared_ptr<TAnchor> anchor = m_anchor;
    const bool gone = (revents & (POLLHUP | POLLERR | POLLNVAL)) != 0;
    m_inHandOver = true;

    if ((revents & POLLOUT) && !gone && !m_lineGone)
        Flush();

    if ((revents & (POLLIN | POLLHUP | POLLERR)) && !m_lineGone && m_inboxCount == 0)
        FillInbox();
    // Announced until the reader takes them all or stops taking any.
    while (m_inboxCount > 0) {
        const std::size_t before = m_inboxCount;
        if (const auto callback = OnDataAvailable) {
            callback(static_cast<uint32_t>(before));
            if (!anchor->link)
                return;
        } else {
            m_inboxCount = 0; // nobody listens (closing): dropped, as the next ones will be
        }
        if (m_inboxCount >= before)
            break;
    }

    if (!m_lineGone && !gone) {
        CheckLineEvents();
        if (!anchor->link)
            return;
    }

    m_inHandOver = false;
    m_paused = false;
    if (gone)
        m_lineGone = true;
    if (m_lineGone) {
        m_watch.reset(); // it will not get better: never spin on it
        m_pending.clear();
    }
    UpdateWatch();

    if (m_lineGone && !m_hangUpReported) {
        m_hangUpReported = true;
        if (const auto callback = OnHangUp)
            callback();
    }
}

// One read of what waits into the link's own buffer; its count (0: nothing
// waits, or the line is gone).
std::size_t TSerialLink::FillInbox()
{
    m_inboxStart = 0;
    m_inboxCount = 0;
    for (;;) {
        const ssize_t r = ::read(m_fd, m_inbox.data(), m_inbox.size());
        if (r > 0) {
            m_inboxCount = static_cast<std::size_t>(r);
            m_lastReadNs = MonotonicNs();
            break;
        }
        if (r < 0 && errno == EINTR)
            continue;
        if (r == 0 || errno != EAGAIN)
            m_lineGone = true; // end of file or I/O error: the line is gone
        break;
    }
    return m_inboxCount;
}

// Reading always; writing while bytes wait, or once a write found the line
// gone, so that the next event reports the hang-up.
void TSerialLink::UpdateWatch()
{
    if (m_watch)
        m_watch->Want(!m_paused && !m_holding, !m_paused && (!m_pending.empty() || m_lineGone));
}

// The reader's hint: leave the port alone until count characters can have
// come, counted from the last read that brought some (they follow it at the
// line's pace at the earliest), then read them in one go.
void TSerialLink::ExpectChars(uint32_t count)
{
    if (!m_open || m_lineGone || !m_watch || count < 2 || m_charNs <= 0)
        return;
    if (m_holdFd < 0) {
        m_holdFd = ::timerfd_create(CLOCK_MONOTONIC, TFD_NONBLOCK | TFD_CLOEXEC);
        if (m_holdFd < 0)
            return; // announced as they come, as without the hint
        std::string why;
        // Watched for good: a disarmed timerfd is never ready, and changing a
        // watch costs some hosts (glib) a wake-up of their own.
        m_holdWatch = m_host.Watch(m_holdFd, true, false, [this](short) { HoldEnded(); }, why);
        if (!m_holdWatch) {
            ::close(m_holdFd);
            m_holdFd = -1;
            return;
        }
    }
    const int64_t since = m_lastReadNs > 0 ? m_lastReadNs : MonotonicNs();
    const int64_t due = since + int64_t(count) * m_charNs;
    m_holdCount = count;
    m_holdDueNs = due;
    itimerspec when{};
    when.it_value.tv_sec = static_cast<time_t>(due / 1'000'000'000);
    when.it_value.tv_nsec = static_cast<long>(due % 1'000'000'000);
    if (::timerfd_settime(m_holdFd, TFD_TIMER_ABSTIME, &when, nullptr) != 0)
        return;
    m_holding = true;
    UpdateWatch();
}

void TSerialLink::HoldEnded()
{
    uint64_t expirations = 0;
    if (::read(m_holdFd, &expirations, sizeof expirations) <= 0 || !m_holding)
        return; // disarmed since it became ready
    EndHold();
    // All that was expected came: the last of them came at the line's pace,
    // by the due time, not when this late wake-up read it. Counting the next
    // wait from there keeps timer latencies from adding up over a frame.
    if (m_inboxCount == 0 && !m_lineGone && FillInbox() >= m_holdCount)
        m_lastReadNs = m_holdDueNs;
    HandOver(m_inboxCount > 0 ? POLLIN : 0); // announces what was read, or finds out why nothing was
}

// Back to announcing each character as it comes.
void TSerialLink::EndHold()
{
    if (!m_holding)
        return;
    m_holding = false;
    UpdateWatch();
}

// What the descriptor is ready for now, for hosts that do not tell.
short TSerialLink::PollNow() const
{
    const bool write = !m_pending.empty() || m_lineGone; // as UpdateWatch asked
    pollfd p{m_fd, static_cast<short>(POLLIN | (write ? POLLOUT : 0)), 0};
    int r;
    do {
        r = ::poll(&p, 1, 0);
    } while (r < 0 && errno == EINTR);
    if (r < 0)
        return POLLERR; // cannot even ask: the line is as good as gone
    return p.revents;
}

void TSerialLink::CheckLineEvents()
{
    uint32_t mask = 0;
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
        uint32_t lines = 0;
        if (SerialTermios::ModemLines(m_fd, lines)) {
            if (!m_haveCounts) { // no transition counters: compare states
                const uint32_t changed = lines ^ m_modem;
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

bool TSerialLink::WriteBytes(const char *data, std::ptrdiff_t count)
{
    if (!m_open || m_lineGone)
        return false;
    if (count <= 0)
        return true;
    if (QueuedOutput() + count > MaxQueuedOutput)
        return false;
    std::ptrdiff_t done = 0;
    if (m_pending.empty()) { // nothing ahead of these bytes: give them to the driver now
        done = WriteNow(data, count);
        if (done < 0) {
            m_lineGone = true;
            UpdateWatch(); // the next event reports the hang-up
            return false;
        }
    }
    if (done < count) {
        m_pending.append(data + done, static_cast<std::size_t>(count - done));
        UpdateWatch();
    }
    return true;
}

std::ptrdiff_t TSerialLink::WriteNow(const char *data, std::ptrdiff_t count)
{
    std::ptrdiff_t done = 0;
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
    const std::ptrdiff_t w = WriteNow(m_pending.data(), QueuedOutput());
    if (w < 0) {
        m_lineGone = true;
        m_pending.clear();
    } else {
        m_pending.erase(0, static_cast<std::size_t>(w));
    }
    UpdateWatch();
}

std::ptrdiff_t TSerialLink::ReadBytes(char *buffer, std::ptrdiff_t count)
{
    if (!m_open || count <= 0)
        return 0;
    if (m_holding) { // the reader takes what has come before the hint's time
        const itimerspec off{};
        ::timerfd_settime(m_holdFd, 0, &off, nullptr);
        EndHold();
    }
    // What the last event brought first, then what has come since.
    const std::size_t fromInbox = std::min(m_inboxCount, static_cast<std::size_t>(count));
    std::memcpy(buffer, m_inbox.data() + m_inboxStart, fromInbox);
    m_inboxStart += fromInbox;
    m_inboxCount -= fromInbox;
    std::ptrdiff_t got = static_cast<std::ptrdiff_t>(fromInbox);
    while (got < count && !m_lineGone) {
        const ssize_t r = ::read(m_fd, buffer + got, static_cast<size_t>(count - got));
        if (r > 0) {
            got += r;
            m_lastReadNs = MonotonicNs();
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
