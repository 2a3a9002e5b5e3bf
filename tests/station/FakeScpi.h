// A SCPI instrument for the station's tests, on a thread of its own: on a
// real TCP socket on 127.0.0.1 (port 0, the system picks), or (Linux) on the
// master side of a pseudo-terminal. Each line it gets goes to a handler that says
// what to answer, when, or whether to hang up.
#pragma once

#include <condition_variable>
#include <cstddef>
#include <cstdint>
#include <functional>
#include <mutex>
#include <optional>
#include <string>
#include <thread>
#include <vector>

struct TFakeReply {
    std::optional<std::string> bytes; // sent as they are, line end included
    int delayMs = 0;                  // sent this much later (other lines wait meanwhile)
    bool hangUp = false;              // close the connection instead
};

class TFakeScpi
{
public:
    using THandler = std::function<TFakeReply(const std::string &line)>;

    // Listens on 127.0.0.1 and serves one connection at a time.
    explicit TFakeScpi(THandler handler);
#if !defined(_WIN32)
    // Serves the descriptor (a pseudo-terminal's master), which it closes.
    TFakeScpi(int fd, THandler handler);
#endif
    ~TFakeScpi();
    TFakeScpi(const TFakeScpi &) = delete;
    TFakeScpi &operator=(const TFakeScpi &) = delete;

    uint16_t Port() const { return m_port; }
    // Every line received so far, without its line end.
    std::vector<std::string> Received();
    // Waits (at most deadlineMs) until line has been received and its answer
    // (if not delayed) written; true if it was.
    bool WaitFor(const std::string &line, int deadlineMs = 5000);
    // Writes bytes to the connection now, from the test's thread.
    void SendNow(const std::string &bytes);

    // Sockets and descriptors as the system has them (SOCKET on Windows).
    using THandle = std::intptr_t;
    static constexpr THandle noHandle = -1;

private:
    void Serve();
    void ServeConnection(THandle fd);

    THandler m_handler;
    THandle m_listen = noHandle;
    THandle m_fixedFd = noHandle;
    THandle m_wake[2] = {noHandle, noHandle}; // written to stop the thread
    uint16_t m_port = 0;
    std::mutex m_mutex;
    std::condition_variable m_changed;
    std::vector<std::string> m_received;
    THandle m_connection = noHandle;
    std::thread m_thread;
};

// A port on 127.0.0.1 that nobody listens on (a connection is refused).
uint16_t UnusedPort();

// A standard handler: *IDN? answers identity; answers maps a command to its
// answer (no entry: no answer, as an instrument ignores what it does not know).
TFakeScpi::THandler Answering(std::string identity, std::vector<std::pair<std::string, std::string>> answers);
