#include "LoopTcp.h"

#include "EventLoopImpl.h"

#include <asio/connect.hpp>
#include <asio/ip/tcp.hpp>
#include <asio/steady_timer.hpp>
#include <asio/write.hpp>

#include <array>
#include <chrono>
#include <deque>

// Handlers hold the state weakly, as the loop's timers do: a stream destroyed
// or closed meanwhile finds nothing (closing bumps the generation). Buffers an
// operation still uses are held by the operation itself.
struct TLoopTcpStream::TState
{
    explicit TState(asio::io_context &context) : io(context), socket(context), resolver(context), timer(context) {}

    static void Connected(const std::shared_ptr<TState> &s, const std::string &error)
    {
        s->timer.cancel();
        s->connecting = false;
        if (!error.empty())
            s->Shut();
        else {
            s->open = true;
            Read(s);
        }
        if (const auto done = std::move(s->done))
            done(error);
    }

    static void Read(const std::shared_ptr<TState> &s)
    {
        auto buffer = std::make_shared<std::array<char, 4096>>();
        s->socket.async_read_some(asio::buffer(*buffer), [weak = std::weak_ptr<TState>(s), buffer,
                                                          generation = s->generation](const std::error_code &ec,
                                                                                      std::size_t n) {
            const auto state = weak.lock();
            if (!state || state->generation != generation || !state->open)
                return;
            if (n > 0 && state->onData) {
                const auto onData = state->onData; // a copy: the callback may close or destroy the stream
                onData(buffer->data(), n);
                if (weak.expired() || state->generation != generation || !state->open)
                    return;
            }
            if (ec)
                Lost(state, ec == asio::error::eof ? std::string("the instrument closed the connection") : ec.message());
            else
                Read(state);
        });
    }

    static void Lost(const std::shared_ptr<TState> &s, const std::string &reason)
    {
        s->Shut();
        if (const auto onClosed = s->onClosed)
            onClosed(reason);
    }

    static void Flush(const std::shared_ptr<TState> &s)
    {
        if (s->writing || s->queue.empty() || !s->open)
            return;
        s->writing = true;
        auto chunk = std::make_shared<std::string>(std::move(s->queue.front()));
        s->queue.pop_front();
        asio::async_write(s->socket, asio::buffer(*chunk), [weak = std::weak_ptr<TState>(s), chunk,
                                                            generation = s->generation](const std::error_code &ec,
                                                                                        std::size_t) {
            const auto state = weak.lock();
            if (!state || state->generation != generation || !state->open)
                return;
            state->writing = false;
            state->unsent -= chunk->size();
            if (ec)
                Lost(state, ec.message());
            else
                Flush(state);
        });
    }

    void Shut()
    {
        ++generation;
        open = connecting = writing = false;
        queue.clear();
        unsent = 0;
        std::error_code ignored;
        resolver.cancel();
        timer.cancel();
        socket.shutdown(asio::ip::tcp::socket::shutdown_both, ignored);
        socket.close(ignored);
    }

    asio::io_context &io;
    asio::ip::tcp::socket socket;
    asio::ip::tcp::resolver resolver;
    asio::steady_timer timer;
    std::function<void(const std::string &)> done;
    std::function<void(const char *, std::size_t)> onData;
    std::function<void(const std::string &)> onClosed;
    std::deque<std::string> queue;
    std::size_t unsent = 0;
    unsigned generation = 0;
    bool connecting = false;
    bool open = false;
    bool writing = false;
};

TLoopTcpStream::TLoopTcpStream(TEventLoop &loop) : m_state(std::make_shared<TState>(loop.m_impl->io)) {}

TLoopTcpStream::~TLoopTcpStream()
{
    m_state->Shut();
}

void TLoopTcpStream::Connect(const std::string &host, uint16_t port, int timeoutMs,
                             std::function<void(const std::string &error)> done)
{
    const auto s = m_state;
    s->Shut();
    s->onData = [this](const char *data, std::size_t n) {
        if (OnData)
            OnData(data, n);
    };
    s->onClosed = [this](const std::string &reason) {
        if (OnClosed)
            OnClosed(reason);
    };
    s->done = std::move(done);
    s->connecting = true;
    const unsigned generation = s->generation;
    const std::weak_ptr<TState> weak = s;
    const auto current = [weak, generation]() -> std::shared_ptr<TState> {
        auto state = weak.lock();
        return state && state->generation == generation && state->connecting ? state : nullptr;
    };

    s->timer.expires_after(std::chrono::milliseconds(timeoutMs < 0 ? 0 : timeoutMs));
    s->timer.async_wait([current, timeoutMs](const std::error_code &ec) {
        if (const auto state = current(); state && !ec)
            TState::Connected(state, "no connection within " + std::to_string(timeoutMs / 1000) + "." +
                                               std::to_string(timeoutMs % 1000 / 100) + " s");
    });
    s->resolver.async_resolve(host, std::to_string(port), [current](const std::error_code &ec,
                                                                   asio::ip::tcp::resolver::results_type results) {
        const auto state = current();
        if (!state)
            return;
        if (ec) {
            TState::Connected(state, "cannot find the host: " + ec.message());
            return;
        }
        asio::async_connect(state->socket, results,
                            [current](const std::error_code &ec2, const asio::ip::tcp::endpoint &) {
                                if (const auto state2 = current())
                                    TState::Connected(state2, ec2 ? "cannot connect: " + ec2.message() : std::string());
                            });
    });
}

bool TLoopTcpStream::IsOpen() const
{
    return m_state->open;
}

bool TLoopTcpStream::Write(const char *data, std::size_t count)
{
    if (!m_state->open)
        return false;
    m_state->queue.emplace_back(data, count);
    m_state->unsent += count;
    TState::Flush(m_state);
    return true;
}

std::size_t TLoopTcpStream::Unsent() const
{
    return m_state->unsent;
}

void TLoopTcpStream::Close()
{
    m_state->Shut();
}
