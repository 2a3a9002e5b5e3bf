#include "SerialLink.h"

#include "PortProbe.h"
#include "WinText.h"

#include <algorithm>
#include <mutex>
#include <string>

#include <windows.h>

namespace {

constexpr DWORD kEventMask = EV_RXCHAR | EV_CTS | EV_DSR | EV_RLSD | EV_ERR | EV_RING;
constexpr uint32_t kLineEvents =
    MBLineEvent::CTS | MBLineEvent::DSR | MBLineEvent::RLSD | MBLineEvent::ERR | MBLineEvent::RING;
constexpr uint32_t kModemBits =
    MBModemStatus::CTS_ON | MBModemStatus::DSR_ON | MBModemStatus::RING_ON | MBModemStatus::RLSD_ON;

// The MB bits are the classic comm ones: a hand-over passes them through.
static_assert(MBLineEvent::CTS == EV_CTS && MBLineEvent::DSR == EV_DSR && MBLineEvent::RLSD == EV_RLSD &&
              MBLineEvent::ERR == EV_ERR && MBLineEvent::RING == EV_RING);
static_assert(MBModemStatus::CTS_ON == MS_CTS_ON && MBModemStatus::DSR_ON == MS_DSR_ON &&
              MBModemStatus::RING_ON == MS_RING_ON && MBModemStatus::RLSD_ON == MS_RLSD_ON);

HANDLE NewEvent(bool manualReset)
{
    return ::CreateEventW(nullptr, manualReset ? TRUE : FALSE, FALSE, nullptr);
}

void CloseIf(HANDLE &h)
{
    if (h)
        ::CloseHandle(h);
    h = nullptr;
}

// A hinted read asks for no more than the driver's queue would hold anyway.
constexpr uint32_t kMaxHinted = 4096;

// The line's time for count characters (10 bits each, 8-N-1), rounded up,
// and two milliseconds for the driver's timer and the last stop bit.
DWORD HintedTimeoutMs(uint32_t count, uint32_t baud)
{
    const uint64_t bits = uint64_t{count} * 10 * 1000;
    return static_cast<DWORD>((bits + baud - 1) / baud + 2);
}

// How a hinted read may end without the line being at fault: cancelled by a
// ReadBytes or a close, or its time-out (Wine reports one that read nothing
// as an error).
bool QuietEnd(DWORD error)
{
    return error == ERROR_OPERATION_ABORTED || error == ERROR_SEM_TIMEOUT || error == WAIT_TIMEOUT ||
           error == ERROR_TIMEOUT;
}

// Each step that decides what the line is checked: a port left at another rate
// than asked would time out every request with no hint. The queue sizes are
// only advice, and a port without modem lines may refuse to clear them.
std::string SetUpPort(HANDLE h, uint32_t baud, uint32_t queueIn, uint32_t queueOut)
{
    const auto because = [](const std::string &what) { return what + ": " + wintext::SystemText(::GetLastError()); };
    ::SetupComm(h, queueIn, queueOut);
    DCB dcb{};
    dcb.DCBlength = sizeof dcb;
    if (!::GetCommState(h, &dcb))
        return because("cannot read the port's settings");
    dcb.BaudRate = baud;
    dcb.ByteSize = 8;
    dcb.Parity = NOPARITY;
    dcb.StopBits = ONESTOPBIT;
    dcb.fBinary = 1;
    dcb.fParity = 0;
    dcb.fOutxCtsFlow = 0;
    dcb.fOutxDsrFlow = 0;
    dcb.fDtrControl = DTR_CONTROL_DISABLE;
    dcb.fDsrSensitivity = 0;
    dcb.fTXContinueOnXoff = 0;
    dcb.fOutX = 0;
    dcb.fInX = 0;
    dcb.fErrorChar = 0;
    dcb.fNull = 0;
    dcb.fRtsControl = RTS_CONTROL_DISABLE;
    dcb.fAbortOnError = 0;
    if (!::SetCommState(h, &dcb))
        return because("the port does not take " + std::to_string(baud) + " baud, 8-N-1");
    DCB now{};
    now.DCBlength = sizeof now;
    if (!::GetCommState(h, &now))
        return because("cannot read the port's settings back");
    if (now.BaudRate != baud || now.ByteSize != 8 || now.Parity != NOPARITY || now.StopBits != ONESTOPBIT)
        return "the port's driver did not take " + std::to_string(baud) + " baud, 8-N-1 (it set "
               + std::to_string(now.BaudRate) + " baud); use a port or adapter that supports this rate";
    // Reads take what is queued and return at once; writes have no time-out
    // (a missing answer is the transaction's time-out, not the port's).
    COMMTIMEOUTS timeouts{};
    timeouts.ReadIntervalTimeout = MAXDWORD;
    if (!::SetCommTimeouts(h, &timeouts))
        return because("cannot set the port's time-outs");
    if (!::SetCommMask(h, kEventMask))
        return because("cannot watch the port's events");
    ::PurgeComm(h, PURGE_TXABORT | PURGE_RXABORT | PURGE_TXCLEAR | PURGE_RXCLEAR);
    ::EscapeCommFunction(h, CLRDTR);
    ::EscapeCommFunction(h, CLRRTS);
    return {};
}

} // namespace

// Shared by the link, its worker and the hand-overs posted to the host: the
// last of them to let go closes the events.
struct TSerialLink::TShared {
    HANDLE port = INVALID_HANDLE_VALUE;
    HANDLE stop = nullptr; // manual reset: once set, every wait of the worker ends
    HANDLE done = nullptr; // a hand-over has run
    TSerialLink *link = nullptr; // host thread only; null once the link closed
    // Written by the worker before it posts, read by that hand-over.
    uint32_t mask = 0;
    uint32_t modem = 0;
    bool gone = false;
    bool readWaits = false; // set by the worker before its first hand-over
    bool handingOver = false; // host thread only: a hand-over's callbacks run
    uint32_t baud = 0;

    // Shared by both threads. The port's read time-outs change only under it.
    std::mutex lock;
    std::string early;     // the bytes a waiting or hinted read took, in order
    COMMTIMEOUTS plain{};  // the time-outs outside a hinted read
    uint32_t hint = 0;     // characters the reader expects, for the next wait
    bool hintPending = false; // the hinted read is in flight: its record and buffer are in use
    HANDLE hintEvent = nullptr;
    OVERLAPPED hintOv{};
    std::string hintBuffer;

    ~TShared()
    {
        CloseIf(stop);
        CloseIf(done);
        CloseIf(hintEvent);
    }
};

struct TSerialLink::TWrite {
    OVERLAPPED ov{};
    std::string bytes;
};

TSerialLink::TSerialLink(TLinkHost &host) : m_host(host) {}

TSerialLink::~TSerialLink()
{
    Close();
    for (auto &w : m_spare)
        CloseIf(w->ov.hEvent);
}

void TSerialLink::SetQueueSizes(uint32_t in, uint32_t out)
{
    m_queueIn = in;
    m_queueOut = out;
}

bool TSerialLink::Open(const std::string &port, uint32_t baud, std::string &errorText)
{
    if (m_open) {
        errorText = wintext::SystemText(ERROR_BUSY);
        return false;
    }
    const std::string path = PortProbe::ResolvePortPath(port);
    if (path.empty()) {
        errorText = wintext::SystemText(ERROR_FILE_NOT_FOUND);
        return false;
    }
    const HANDLE h = ::CreateFileW(wintext::Wide(path).c_str(), GENERIC_READ | GENERIC_WRITE, 0, nullptr,
                                   OPEN_EXISTING, FILE_FLAG_OVERLAPPED, nullptr);
    if (h == INVALID_HANDLE_VALUE) {
        errorText = wintext::SystemText(::GetLastError());
        return false;
    }

    const std::string setUp = SetUpPort(h, baud, m_queueIn, m_queueOut);
    if (!setUp.empty()) {
        errorText = setUp;
        ::CloseHandle(h);
        return false;
    }

    std::string why;
    std::unique_ptr<THostQueue> queue = m_host.Attach(why);
    auto shared = std::make_shared<TShared>();
    shared->port = h;
    shared->stop = NewEvent(true);
    shared->done = NewEvent(false);
    shared->hintEvent = NewEvent(true);
    shared->baud = baud;
    shared->plain.ReadIntervalTimeout = MAXDWORD; // as SetUpPort left them
    HANDLE readEvent = NewEvent(true);
    if (!queue || !shared->stop || !shared->done || !shared->hintEvent || !readEvent) {
        errorText = queue ? wintext::SystemText(::GetLastError()) : why;
        CloseIf(readEvent);
        ::CloseHandle(h);
        return false;
    }
    shared->link = this;

    m_port = h;
    m_readEvent = readEvent;
    m_lineGone = false;
    m_hangUpReported = false;
    m_lineErrors = 0;
    m_queuedOutput = 0;
    m_early.clear();
    m_queuedIn = 0;
    m_queue = std::move(queue);
    m_shared = shared;
    m_worker = std::thread(Worker, shared, m_queue.get());
    m_open = true;
    return true;
}

void TSerialLink::Close()
{
    if (!m_open)
        return;
    m_open = false;
    m_shared->link = nullptr; // a hand-over still queued touches nothing
    ::SetEvent(m_shared->stop);
    // The worker waits on the stop event in both of its waits, so this join
    // never waits for a hand-over this very thread would have to run.
    if (m_worker.joinable())
        m_worker.join();
    ReleasePort();
    m_queue.reset();
    m_shared.reset();
}

void TSerialLink::ReleasePort()
{
    const HANDLE h = m_port;
    ::PurgeComm(h, PURGE_TXABORT | PURGE_RXABORT | PURGE_TXCLEAR | PURGE_RXCLEAR);
    for (auto &w : m_writes) { // each record must outlive its write
        DWORD n = 0;
        ::CancelIoEx(h, &w->ov);
        ::GetOverlappedResult(h, &w->ov, &n, TRUE);
        CloseIf(w->ov.hEvent);
    }
    m_writes.clear();
    m_queuedOutput = 0;
    ::CloseHandle(h);
    m_port = nullptr;
    HANDLE readEvent = m_readEvent;
    CloseIf(readEvent);
    m_readEvent = nullptr;
}

// The worker: arms the event wait, waits for it or the stop event, and hands
// each event over, waiting until the host has run it.
//
// A device that refuses the event wait from the start (Wine's pseudo-
// terminals: it wants modem lines they do not have) is waited on by a
// one-byte read instead: that byte goes to the host ahead of the queue. Such a device reports no line events, as on
// POSIX.
void TSerialLink::Worker(std::shared_ptr<TShared> s, THostQueue *queue)
{
    ::SetThreadPriority(::GetCurrentThread(), THREAD_PRIORITY_ABOVE_NORMAL);
    OVERLAPPED ov{};
    ov.hEvent = NewEvent(true);
    bool first = true;
    char early = 0;
    for (;;) {
        DWORD mask = 0;
        DWORD modem = 0;
        DWORD got = 0;
        bool gone = ov.hEvent == nullptr;
        bool stopped = false;
        bool hinted = !gone;
        switch (gone ? THintEnd::None : HintedRead(*s)) {
        case THintEnd::None:
            hinted = false;
            break;
        case THintEnd::Data:
            mask = EV_RXCHAR;
            break;
        case THintEnd::Gone:
            gone = true;
            break;
        case THintEnd::Stopped:
            stopped = true;
            break;
        case THintEnd::Empty: // nothing came, or the host took it: wait as before
        case THintEnd::Taken:
            continue;
        }
        if (!gone && !hinted) {
            ::ResetEvent(ov.hEvent);
            BOOL now = FALSE;
            DWORD error = ERROR_SUCCESS;
            if (!s->readWaits) {
                now = ::WaitCommEvent(s->port, &mask, &ov);
                error = now ? ERROR_SUCCESS : ::GetLastError();
                if (first && !now && error != ERROR_IO_PENDING) {
                    s->readWaits = true;
                    ::SetCommMask(s->port, 0);
                    const std::lock_guard<std::mutex> hold(s->lock);
                    s->plain = COMMTIMEOUTS{}; // a read waits until it has all it asked for
                    ::SetCommTimeouts(s->port, &s->plain);
                }
            }
            if (s->readWaits) {
                mask = EV_RXCHAR;
                now = ::ReadFile(s->port, &early, 1, nullptr, &ov); // one byte; the rest is queued
                error = now ? ERROR_SUCCESS : ::GetLastError();
            } else {
                ::GetCommModemStatus(s->port, &modem);
            }
            first = false;
            if (!now && error != ERROR_IO_PENDING) {
                gone = true; // ERROR_OPERATION_ABORTED, ERROR_BAD_COMMAND, ...: the device went away
            } else {
                if (!now) {
                    const HANDLE waits[2] = {s->stop, ov.hEvent};
                    stopped = ::WaitForMultipleObjects(2, waits, FALSE, INFINITE) != WAIT_OBJECT_0 + 1;
                }
                if (!stopped && !::GetOverlappedResult(s->port, &ov, &got, FALSE))
                    gone = true;
            }
        }
        if (stopped) {
            ::SetThreadPriority(::GetCurrentThread(), THREAD_PRIORITY_LOWEST);
            ::SetCommMask(s->port, 0); // completes the armed wait
            ::CancelIoEx(s->port, &ov);
            DWORD n = 0;
            ::GetOverlappedResult(s->port, &ov, &n, TRUE);
            break;
        }
        if (s->readWaits && !gone && !hinted) {
            if (got == 0) {
                gone = true; // end of file: the other end has gone
            } else {
                const std::lock_guard<std::mutex> hold(s->lock);
                s->early.push_back(early);
            }
        }
        if (!gone && mask == 0)
            continue; // the mask changed under the wait: nothing happened on the line
        s->mask = mask;
        s->modem = modem;
        s->gone = gone;
        queue->Post([s] {
            if (TSerialLink *link = s->link) {
                s->handingOver = true;
                link->HandOver(s->mask, s->modem, s->gone);
                s->handingOver = false;
            }
            ::SetEvent(s->done);
        });
        const HANDLE waits[2] = {s->stop, s->done};
        if (::WaitForMultipleObjects(2, waits, FALSE, INFINITE) != WAIT_OBJECT_0 + 1 || gone)
            break;
        if (::WaitForSingleObject(s->stop, 0) == WAIT_OBJECT_0)
            break; // the hand-over reported a hang-up
    }
    CloseIf(ov.hEvent);
}

// The worker, in place of its next wait when the reader gave a hint: one read
// for the characters expected, done by the driver when the last has come or
// the line's time for them has passed.
TSerialLink::THintEnd TSerialLink::HintedRead(TShared &s)
{
    {
        const std::lock_guard<std::mutex> hold(s.lock);
        const uint32_t count = std::min(s.hint, kMaxHinted);
        s.hint = 0;
        if (count < 2 || s.baud == 0)
            return THintEnd::None;
        COMMTIMEOUTS timeouts = s.plain;
        timeouts.ReadIntervalTimeout = 0;
        timeouts.ReadTotalTimeoutMultiplier = 0;
        timeouts.ReadTotalTimeoutConstant = HintedTimeoutMs(count, s.baud);
        if (!::SetCommTimeouts(s.port, &timeouts))
            return THintEnd::None; // each character as it comes, as without the hint
        s.hintBuffer.resize(count);
        s.hintOv = OVERLAPPED{};
        s.hintOv.hEvent = s.hintEvent;
        ::ResetEvent(s.hintEvent);
        if (!::ReadFile(s.port, s.hintBuffer.data(), count, nullptr, &s.hintOv) &&
            ::GetLastError() != ERROR_IO_PENDING) {
            ::SetCommTimeouts(s.port, &s.plain);
            return THintEnd::Gone;
        }
        s.hintPending = true;
    }
    const HANDLE waits[2] = {s.stop, s.hintEvent};
    const bool stopped = ::WaitForMultipleObjects(2, waits, FALSE, INFINITE) != WAIT_OBJECT_0 + 1;
    const std::lock_guard<std::mutex> hold(s.lock);
    if (!s.hintPending)
        return stopped ? THintEnd::Stopped : THintEnd::Taken; // a ReadBytes took its bytes
    if (stopped)
        ::CancelIoEx(s.port, &s.hintOv);
    const std::size_t before = s.early.size();
    const bool sound = CollectHinted(s);
    if (stopped)
        return THintEnd::Stopped;
    if (!sound)
        return THintEnd::Gone;
    return s.early.size() > before ? THintEnd::Data : THintEnd::Empty;
}

// Either thread, under the lock, once the hinted read has completed or been
// cancelled: its bytes join the early ones, the time-outs are restored.
// False when the line failed under it.
bool TSerialLink::CollectHinted(TShared &s)
{
    DWORD got = 0;
    const bool done = ::GetOverlappedResult(s.port, &s.hintOv, &got, TRUE);
    const DWORD error = done ? ERROR_SUCCESS : ::GetLastError();
    s.hintPending = false;
    s.early.append(s.hintBuffer.data(), std::min<std::size_t>(got, s.hintBuffer.size()));
    return ::SetCommTimeouts(s.port, &s.plain) && (done || QuietEnd(error));
}

void TSerialLink::ExpectChars(uint32_t count)
{
    if (!m_open || m_lineGone || !m_shared->handingOver)
        return;
    const std::lock_guard<std::mutex> hold(m_shared->lock);
    m_shared->hint = count;
}

// A read ends the hint: a hinted read still running is cancelled, and what it
// had read is handed out first, before anything queued after it.
void TSerialLink::TakeHeld()
{
    TShared &s = *m_shared;
    bool sound = true;
    {
        const std::lock_guard<std::mutex> hold(s.lock);
        s.hint = 0;
        if (s.hintPending) {
            // A cancelled read completes at once with what it had: the wait
            // in CollectHinted is that short.
            ::CancelIoEx(m_port, &s.hintOv);
            sound = CollectHinted(s);
        }
        m_early += s.early;
        s.early.clear();
    }
    if (!sound)
        LineGone();
}

// The host's thread. A callback may close, even destroy, the link: keep the
// shared state and look at it after each one.
void TSerialLink::HandOver(uint32_t mask, uint32_t modem, bool gone)
{
    const std::shared_ptr<TShared> shared = m_shared;
    if (!gone && !m_lineGone) {
        DWORD errors = 0;
        COMSTAT status{};
        if (!::ClearCommError(m_port, &errors, &status)) {
            gone = true;
        } else {
            m_lineErrors = errors;
            {
                const std::lock_guard<std::mutex> hold(shared->lock);
                m_early += shared->early;
                shared->early.clear();
            }
            m_queuedIn = status.cbInQue;
            const auto count = static_cast<uint32_t>(m_early.size() + status.cbInQue);
            if ((mask & EV_RXCHAR) && count > 0) {
                if (const auto callback = OnDataAvailable) {
                    callback(count);
                    if (!shared->link)
                        return;
                } else {
                    m_early.clear(); // nobody listens: never leave them to wake us again
                    Discard(status.cbInQue);
                }
            }
            m_queuedIn = 0;
            const uint32_t lineMask = mask & kLineEvents;
            if (lineMask != 0)
                if (const auto callback = OnLineEvent) {
                    callback(lineMask, modem & kModemBits);
                    if (!shared->link)
                        return;
                }
        }
    }
    ReapWrites();
    if (gone)
        m_lineGone = true;
    if (m_lineGone)
        ReportHangUp();
}

void TSerialLink::ReportHangUp()
{
    if (m_hangUpReported)
        return;
    m_hangUpReported = true;
    ::SetEvent(m_shared->stop); // the worker ends; it would only wait on a dead handle
    if (const auto callback = OnHangUp)
        callback();
}

// Found outside a hand-over (a write or read failed): reported through the
// host's queue, not from inside the caller's own send or receive.
void TSerialLink::LineGone()
{
    if (m_lineGone)
        return;
    m_lineGone = true;
    const std::shared_ptr<TShared> shared = m_shared;
    m_queue->Post([shared] {
        if (TSerialLink *link = shared->link)
            link->ReportHangUp();
    });
}

void TSerialLink::ReapWrites()
{
    while (!m_writes.empty() && HasOverlappedIoCompleted(&m_writes.front()->ov)) {
        std::unique_ptr<TWrite> w = std::move(m_writes.front());
        m_writes.pop_front();
        DWORD n = 0;
        if (!::GetOverlappedResult(m_port, &w->ov, &n, FALSE))
            LineGone();
        m_queuedOutput -= static_cast<std::ptrdiff_t>(w->bytes.size());
        w->bytes.clear();
        if (m_spare.size() < 16)
            m_spare.push_back(std::move(w));
        else
            CloseIf(w->ov.hEvent);
    }
}

bool TSerialLink::WriteBytes(const char *data, std::ptrdiff_t count)
{
    if (!m_open || m_lineGone)
        return false;
    if (count <= 0)
        return true;
    ReapWrites();
    if (m_lineGone || m_queuedOutput + count > MaxQueuedOutput)
        return false;
    std::unique_ptr<TWrite> w;
    if (!m_spare.empty()) {
        w = std::move(m_spare.back());
        m_spare.pop_back();
    } else {
        w = std::make_unique<TWrite>();
        w->ov.hEvent = NewEvent(true);
        if (!w->ov.hEvent)
            return false;
    }
    const HANDLE event = w->ov.hEvent;
    w->ov = OVERLAPPED{};
    w->ov.hEvent = event;
    ::ResetEvent(event);
    w->bytes.assign(data, static_cast<std::size_t>(count));
    // Its own record per write, alive until the write completes: the driver
    // sends them in the order issued.
    if (!::WriteFile(m_port, w->bytes.data(), static_cast<DWORD>(count), nullptr, &w->ov) &&
        ::GetLastError() != ERROR_IO_PENDING) {
        m_spare.push_back(std::move(w));
        LineGone();
        return false;
    }
    m_queuedOutput += count;
    m_writes.push_back(std::move(w));
    return true;
}

std::ptrdiff_t TSerialLink::ReadBytes(char *buffer, std::ptrdiff_t count)
{
    if (!m_open || count <= 0)
        return 0;
    TakeHeld();
    std::ptrdiff_t taken = 0;
    if (!m_early.empty()) {
        taken = std::min<std::ptrdiff_t>(count, static_cast<std::ptrdiff_t>(m_early.size()));
        std::copy_n(m_early.data(), taken, buffer);
        m_early.erase(0, static_cast<std::size_t>(taken));
        buffer += taken;
        count -= taken;
    }
    // A read there waits until it has all it asked for: ask only for what is queued.
    if (m_shared->readWaits)
        count = std::min<std::ptrdiff_t>(count, m_queuedIn);
    if (count <= 0)
        return taken;
    OVERLAPPED ov{};
    ov.hEvent = m_readEvent;
    DWORD got = 0;
    // The bytes are queued already and the time-outs make the read return at
    // once, so waiting for it here never blocks for long.
    if (!::ReadFile(m_port, buffer, static_cast<DWORD>(count), nullptr, &ov)) {
        if (::GetLastError() != ERROR_IO_PENDING) {
            LineGone();
            return taken;
        }
    }
    if (!::GetOverlappedResult(m_port, &ov, &got, TRUE)) {
        LineGone();
        return taken;
    }
    if (m_shared->readWaits)
        m_queuedIn -= std::min<uint32_t>(m_queuedIn, got);
    return taken + static_cast<std::ptrdiff_t>(got);
}

void TSerialLink::Discard(uint32_t count)
{
    char sink[512];
    while (count > 0) {
        const std::ptrdiff_t got = ReadBytes(sink, std::min<std::ptrdiff_t>(count, sizeof sink));
        if (got <= 0)
            break;
        count -= static_cast<uint32_t>(got);
    }
}
