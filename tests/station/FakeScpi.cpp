#include "FakeScpi.h"

#if defined(_WIN32)
#include <winsock2.h>
#include <ws2tcpip.h>
#else
#include <arpa/inet.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>
#endif

#include <cerrno>
#include <chrono>
#include <deque>
#include <stdexcept>

namespace {

using THandle = TFakeScpi::THandle;

// The few calls that differ between Winsock and POSIX.
#if defined(_WIN32)
using TPollFd = WSAPOLLFD;
SOCKET Sock(THandle h) { return static_cast<SOCKET>(h); }
int PollAll(TPollFd *p, unsigned n, int ms) { return ::WSAPoll(p, n, ms); }
long ReadSome(THandle h, char *buffer, std::size_t n) { return ::recv(Sock(h), buffer, static_cast<int>(n), 0); }
long WriteSome(THandle h, const char *data, std::size_t n) { return ::send(Sock(h), data, static_cast<int>(n), 0); }
void CloseSock(THandle h) { ::closesocket(Sock(h)); }
bool Interrupted() { return false; }
TPollFd PollFd(THandle h) { return {Sock(h), POLLIN, 0}; }
#else
using TPollFd = pollfd;
int Sock(THandle h) { return static_cast<int>(h); }
int PollAll(TPollFd *p, unsigned n, int ms) { return ::poll(p, n, ms); }
long ReadSome(THandle h, char *buffer, std::size_t n) { return ::read(Sock(h), buffer, n); }
long WriteSome(THandle h, const char *data, std::size_t n) { return ::write(Sock(h), data, n); }
void CloseSock(THandle h) { ::close(Sock(h)); }
bool Interrupted() { return errno == EINTR; }
TPollFd PollFd(THandle h) { return {Sock(h), POLLIN, 0}; }
#endif

void WriteAll(THandle fd, const std::string &bytes)
{
    std::size_t done = 0;
    while (done < bytes.size()) {
        const long n = WriteSome(fd, bytes.data() + done, bytes.size() - done);
        if (n < 0 && Interrupted())
            continue;
        if (n <= 0)
            return; // the other side went away: the test sees that on its side
        done += static_cast<std::size_t>(n);
    }
}

std::int64_t NowMs()
{
    using namespace std::chrono;
    return duration_cast<milliseconds>(steady_clock::now().time_since_epoch()).count();
}

// A socket listening on 127.0.0.1 at a port the system picks.
THandle Listen(uint16_t &port)
{
#if defined(_WIN32)
    static const bool started = [] {
        WSADATA data;
        return ::WSAStartup(MAKEWORD(2, 2), &data) == 0;
    }();
    if (!started)
        throw std::runtime_error("WSAStartup");
#endif
    const THandle s = static_cast<THandle>(::socket(AF_INET, SOCK_STREAM, 0));
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    socklen_t length = sizeof address;
    if (s < 0 || ::bind(Sock(s), reinterpret_cast<sockaddr *>(&address), sizeof address) != 0 ||
        ::listen(Sock(s), 4) != 0 || ::getsockname(Sock(s), reinterpret_cast<sockaddr *>(&address), &length) != 0)
        throw std::runtime_error("cannot listen on 127.0.0.1");
    port = ntohs(address.sin_port);
    return s;
}

// Two connected ends: what is written to [1] wakes a wait on [0].
void WakePair(THandle wake[2])
{
#if defined(_WIN32)
    uint16_t port = 0;
    const THandle listener = Listen(port);
    wake[1] = static_cast<THandle>(::socket(AF_INET, SOCK_STREAM, 0));
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    address.sin_port = htons(port);
    if (::connect(Sock(wake[1]), reinterpret_cast<sockaddr *>(&address), sizeof address) != 0)
        throw std::runtime_error("cannot connect the wake-up pair");
    wake[0] = static_cast<THandle>(::accept(Sock(listener), nullptr, nullptr));
    CloseSock(listener);
#else
    int fds[2];
    if (::pipe(fds) != 0)
        throw std::runtime_error("pipe");
    wake[0] = fds[0];
    wake[1] = fds[1];
#endif
}

} // namespace

uint16_t UnusedPort()
{
    uint16_t port = 0;
    CloseSock(Listen(port));
    return port;
}

TFakeScpi::TFakeScpi(THandler handler) : m_handler(std::move(handler))
{
    m_listen = Listen(m_port);
    WakePair(m_wake);
    m_thread = std::thread([this] { Serve(); });
}

#if !defined(_WIN32)
TFakeScpi::TFakeScpi(int fd, THandler handler) : m_handler(std::move(handler)), m_fixedFd(fd)
{
    WakePair(m_wake);
    m_thread = std::thread([this] { Serve(); });
}
#endif

TFakeScpi::~TFakeScpi()
{
    const char stop = 'x';
    WriteSome(m_wake[1], &stop, 1);
    m_thread.join();
    for (THandle fd : {m_listen, m_fixedFd, m_wake[0], m_wake[1]})
        if (fd != noHandle)
            CloseSock(fd);
}

std::vector<std::string> TFakeScpi::Received()
{
    std::lock_guard lock(m_mutex);
    return m_received;
}

bool TFakeScpi::WaitFor(const std::string &line, int deadlineMs)
{
    std::unique_lock lock(m_mutex);
    return m_changed.wait_for(lock, std::chrono::milliseconds(deadlineMs), [&] {
        for (const auto &l : m_received)
            if (l == line)
                return true;
        return false;
    });
}

void TFakeScpi::SendNow(const std::string &bytes)
{
    std::lock_guard lock(m_mutex);
    if (m_connection != noHandle)
        WriteAll(m_connection, bytes);
}

void TFakeScpi::Serve()
{
    if (m_fixedFd != noHandle) {
        ServeConnection(m_fixedFd);
        return;
    }
    for (;;) {
        TPollFd p[2] = {PollFd(m_listen), PollFd(m_wake[0])};
        if (PollAll(p, 2, -1) < 0 && !Interrupted())
            return;
        if (p[1].revents)
            return;
        if (p[0].revents & POLLIN) {
            const auto fd = static_cast<THandle>(::accept(Sock(m_listen), nullptr, nullptr));
            if (fd != noHandle) {
                ServeConnection(fd);
                CloseSock(fd);
            }
        }
    }
}

// Lines in, replies out (the delayed ones in order, at their time), until the
// client goes, the handler hangs up or the fake is destroyed.
void TFakeScpi::ServeConnection(THandle fd)
{
    {
        std::lock_guard lock(m_mutex);
        m_connection = fd;
    }
    std::string partial;
    std::deque<std::pair<std::int64_t, std::string>> due;
    bool open = true;
    while (open) {
        const int wait = due.empty() ? -1 : static_cast<int>(std::max<std::int64_t>(0, due.front().first - NowMs()));
        TPollFd p[2] = {PollFd(fd), PollFd(m_wake[0])};
        if (PollAll(p, 2, wait) < 0 && !Interrupted())
            break;
        if (p[1].revents) {
            // Stop: leave the wake-up byte for the accept loop too.
            break;
        }
        while (!due.empty() && due.front().first <= NowMs()) {
            SendNow(due.front().second);
            due.pop_front();
        }
        if (!(p[0].revents & (POLLIN | POLLHUP | POLLERR)))
            continue;
        char buffer[4096];
        const long n = ReadSome(fd, buffer, sizeof buffer);
        if (n <= 0)
            break;
        partial.append(buffer, static_cast<std::size_t>(n));
        for (std::size_t end; open && (end = partial.find('\n')) != std::string::npos;) {
            std::string line = partial.substr(0, end);
            partial.erase(0, end + 1);
            if (!line.empty() && line.back() == '\r')
                line.pop_back();
            const TFakeReply reply = m_handler(line);
            if (reply.hangUp)
                open = false;
            else if (reply.bytes && reply.delayMs > 0)
                due.emplace_back(NowMs() + reply.delayMs, *reply.bytes);
            else if (reply.bytes && due.empty())
                SendNow(*reply.bytes);
            else if (reply.bytes)
                due.emplace_back(due.back().first, *reply.bytes);
            // Told after the answer went out: a test that waited for the line
            // knows the answer is on the way (on loopback: already arrived).
            {
                std::lock_guard lock(m_mutex);
                m_received.push_back(line);
            }
            m_changed.notify_all();
        }
    }
    std::lock_guard lock(m_mutex);
    m_connection = noHandle;
    if (!open && fd == m_fixedFd) { // a hang-up on a pseudo-terminal: its slave side sees it
        CloseSock(fd);
        m_fixedFd = noHandle;
    }
}

TFakeScpi::THandler Answering(std::string identity, std::vector<std::pair<std::string, std::string>> answers)
{
    return [identity = std::move(identity), answers = std::move(answers)](const std::string &line) {
        TFakeReply reply;
        if (line == "*IDN?")
            reply.bytes = identity + "\n";
        for (const auto &[command, answer] : answers)
            if (command == line)
                reply.bytes = answer;
        return reply;
    };
}
