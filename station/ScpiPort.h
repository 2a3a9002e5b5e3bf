// One SCPI instrument on a line: a command goes out as one line ending in
// "\n", a query's answer is the next line that comes back. A bench meter or a
// pressure controller on a raw LAN socket (tcp:HOST:PORT) or a serial line
// (serial:PORT[:BAUD], 8-N-1, on the instrument's own serial link).
//
// Synchronous, as kv508ctl's session is: each call runs the given event loop
// until it is done or its time-out has passed, so a caller on the loop's
// thread reads as a script and a Ctrl+C (an event of that loop) still gets
// through. No Qt: the window runs it on a thread of its own.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <optional>
#include <string>

class TEventLoop;

namespace station {

struct TScpiAddress {
    enum class TKind { Tcp, Serial };
    TKind kind = TKind::Tcp;
    std::string host;    // tcp: a name or an address
    uint16_t port = 0;   // tcp: 5025 when the text gives none
    std::string device;  // serial: the port's name (/dev/ttyUSB0, COM3)
    uint32_t baud = 9600;

    // "tcp:HOST:PORT" or "serial:PORT:BAUD", as it was parsed.
    std::string Text() const;
};

// "tcp:HOST[:PORT]", "tcp:[V6ADDR]:PORT", "serial:PORT[:BAUD]". Empty result
// and error set (naming the accepted forms) for anything else.
std::optional<TScpiAddress> ParseScpiAddress(const std::string &text, std::string &error);

class TScpiPort
{
public:
    explicit TScpiPort(TEventLoop &loop);
    ~TScpiPort();
    TScpiPort(const TScpiPort &) = delete;
    TScpiPort &operator=(const TScpiPort &) = delete;

    // Connects (tcp) or opens the port (serial) within timeoutMs. False with
    // the failed step and the system's reason in error.
    bool Open(const TScpiAddress &address, int timeoutMs, std::string &error);
    void Close();
    bool IsOpen() const;
    const TScpiAddress &Address() const;

    // Sends one command that has no answer.
    bool Send(const std::string &command, std::string &error);
    // Sends one query and returns its answer line without the line end. No
    // answer within timeoutMs, a lost line, or an answer that is not text
    // (control characters, longer than 4096 bytes): empty, with error saying
    // which. A late answer to an earlier query is not taken for this one's.
    std::optional<std::string> Query(const std::string &command, int timeoutMs, std::string &error);

    // Late answers: what came in before a command is sent is never its
    // answer, and is dropped. After a time-out (or a broken answer) the next
    // call first lets the line fall quiet for settleMs, dropping what comes,
    // so an answer still on its way is not taken for the next query's.
    int settleMs = 200;
    static constexpr std::size_t maxLine = 4096;

private:
    struct TImpl;
    std::unique_ptr<TImpl> m_d;
};

} // namespace station
