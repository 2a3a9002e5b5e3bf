// A TCP connection on the plain event loop (TEventLoop), for instruments on a
// raw LAN socket. Everything runs on the loop's thread: the callbacks come
// from inside Run/RunUntil. Asio stays out of this header, as in EventLoop.h.
//
// Destroying the stream or Close() ends the connection at once; no callback
// follows, also when called from inside one.
#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
#include <memory>
#include <string>

class TEventLoop;

class TLoopTcpStream
{
public:
    explicit TLoopTcpStream(TEventLoop &loop);
    ~TLoopTcpStream();
    TLoopTcpStream(const TLoopTcpStream &) = delete;
    TLoopTcpStream &operator=(const TLoopTcpStream &) = delete;

    // Resolves host and connects to the first address that answers, within
    // timeoutMs for the whole. done runs once, from the loop: an empty error
    // when connected, else the step and the system's reason.
    void Connect(const std::string &host, uint16_t port, int timeoutMs,
                 std::function<void(const std::string &error)> done);
    bool IsOpen() const;
    // Queues the bytes; they go out in order. False once the connection is gone.
    bool Write(const char *data, std::size_t count);
    // Bytes accepted by Write that have not gone out yet (run the loop for them).
    std::size_t Unsent() const;
    void Close();

    // Bytes as they come in.
    std::function<void(const char *data, std::size_t count)> OnData;
    // The peer closed the connection or it failed: the reason, once; the
    // stream is closed by then.
    std::function<void(const std::string &reason)> OnClosed;

private:
    struct TState;
    std::shared_ptr<TState> m_state;
};
