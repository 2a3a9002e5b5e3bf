#include "ScpiPort.h"

#include "EventLoop.h"
#include "LoopHost.h"
#include "LoopTcp.h"
#include "Number.h"
#include "SerialLink.h"

#include <deque>

namespace station {

namespace {

struct TLine {
    std::string text;
    bool overlong = false;
};

std::string Seconds(int ms)
{
    return FixedText(ms / 1000.0, 1) + " s";
}

// Printable ASCII or well-formed UTF-8; empty when text is fine, else what is wrong.
std::string TextFault(const std::string &text)
{
    for (std::size_t i = 0; i < text.size();) {
        const auto c = static_cast<unsigned char>(text[i]);
        if (c < 0x20 || c == 0x7f) {
            static const char hex[] = "0123456789ABCDEF";
            return std::string("a control character (byte 0x") + hex[c >> 4] + hex[c & 15] + ")";
        }
        int more = c < 0x80 ? 0 : (c >> 5) == 6 ? 1 : (c >> 4) == 14 ? 2 : (c >> 3) == 30 ? 3 : -1;
        if (more < 0 || (more > 0 && i + static_cast<std::size_t>(more) >= text.size()))
            return "bytes that are not text";
        for (int k = 1; k <= more; ++k)
            if ((static_cast<unsigned char>(text[i + k]) >> 6) != 2)
                return "bytes that are not text";
        i += 1 + more;
    }
    return {};
}

// A command is one line of printable text: a line end inside would send two.
bool CommandIsText(const std::string &command)
{
    return !command.empty() && TextFault(command).empty();
}

} // namespace

struct TScpiPort::TImpl
{
    explicit TImpl(TEventLoop &l) : loop(l) {}

    void Receive(const char *data, std::size_t count)
    {
        ++inputCount;
        for (std::size_t i = 0; i < count; ++i) {
            const char c = data[i];
            if (c == '\n') {
                if (!skipping) {
                    if (!partial.empty() && partial.back() == '\r')
                        partial.pop_back();
                    const bool overlong = partial.size() > maxLine;
                    Push({std::move(partial), overlong});
                }
                partial.clear();
                skipping = false;
            } else if (!skipping) {
                partial.push_back(c);
                if (partial.size() > maxLine + 1) { // room for a '\r'
                    Push({{}, true});
                    partial.clear();
                    skipping = true; // the rest of that line is dropped
                }
            }
        }
    }

    void Push(TLine line)
    {
        if (lines.size() >= 64) // nobody asked: an instrument that talks on its own
            lines.pop_front();
        lines.push_back(std::move(line));
    }

    void Lost(const std::string &reason)
    {
        open = false;
        lostReason = reason;
    }

    bool Write(const std::string &bytes)
    {
        if (tcp)
            return tcp->Write(bytes.data(), bytes.size());
        return serial && serial->WriteBytes(bytes.data(), static_cast<std::ptrdiff_t>(bytes.size()));
    }

    bool Prepare(const std::string &command, int settleMs, std::string &error);

    void ClearInput()
    {
        lines.clear();
        partial.clear();
        skipping = false;
    }

    TEventLoop &loop;
    TScpiAddress address;
    std::unique_ptr<TLoopTcpStream> tcp;
    std::unique_ptr<TLoopHost> host; // before serial: the link must go first
    std::unique_ptr<TSerialLink> serial;
    bool open = false;
    std::string lostReason;
    std::string partial;
    bool skipping = false;
    std::deque<TLine> lines;
    unsigned inputCount = 0;
    bool stale = false; // a time-out or a broken answer: an answer may still be on its way
};

TScpiPort::TScpiPort(TEventLoop &loop) : m_d(std::make_unique<TImpl>(loop)) {}

TScpiPort::~TScpiPort()
{
    Close();
}

bool TScpiPort::IsOpen() const
{
    return m_d->open;
}

const TScpiAddress &TScpiPort::Address() const
{
    return m_d->address;
}

void TScpiPort::Close()
{
    TImpl &d = *m_d;
    // What was sent goes out first (a controller's "control off" above all),
    // unless the line does not take it within a second.
    const auto unsent = [&d]() -> std::ptrdiff_t {
        if (d.tcp)
            return static_cast<std::ptrdiff_t>(d.tcp->Unsent());
        return d.serial && d.open ? d.serial->QueuedOutput() : 0;
    };
    if (d.open && unsent() > 0)
        d.loop.RunUntil([&] { return unsent() == 0 || !d.open; }, 1000);
    d.tcp.reset();
    if (d.serial)
        d.serial->Close();
    d.serial.reset();
    d.host.reset();
    d.open = false;
    d.stale = false;
    d.ClearInput();
}

bool TScpiPort::Open(const TScpiAddress &address, int timeoutMs, std::string &error)
{
    Close();
    TImpl &d = *m_d;
    d.address = address;
    d.lostReason.clear();
    const std::string where = address.Text() + ": ";
    if (address.kind == TScpiAddress::TKind::Serial) {
        d.host = std::make_unique<TLoopHost>(d.loop);
        d.serial = std::make_unique<TSerialLink>(*d.host);
        d.serial->OnDataAvailable = [&d](uint32_t) {
            char buffer[4096];
            std::ptrdiff_t n;
            while (d.serial && (n = d.serial->ReadBytes(buffer, sizeof buffer)) > 0)
                d.Receive(buffer, static_cast<std::size_t>(n));
        };
        d.serial->OnHangUp = [&d]() { d.Lost("the serial line hung up (adapter pulled out?)"); };
        std::string reason;
        if (!d.serial->Open(address.device, address.baud, reason)) {
            Close();
            error = where + "cannot open the port: " + reason + "; check the port's name and that no other program has it";
            return false;
        }
        d.open = true;
        return true;
    }

    d.tcp = std::make_unique<TLoopTcpStream>(d.loop);
    d.tcp->OnData = [&d](const char *data, std::size_t n) { d.Receive(data, n); };
    d.tcp->OnClosed = [&d](const std::string &reason) { d.Lost(reason); };
    bool done = false;
    std::string reason;
    d.tcp->Connect(address.host, address.port, timeoutMs, [&done, &reason](const std::string &e) {
        done = true;
        reason = e;
    });
    d.loop.RunUntil([&done] { return done; }, timeoutMs + 1000);
    if (!done || !reason.empty()) {
        Close(); // no callback follows: the locals above may go
        error = where + (done ? reason : std::string("interrupted while connecting")) +
                "; check that the instrument is on, on the network, and listens on this address and port";
        return false;
    }
    d.open = true;
    return true;
}

// Before each command: the port open, the line quiet after a time-out, and
// nothing left over that could pass for the answer.
bool TScpiPort::TImpl::Prepare(const std::string &command, int settleMs, std::string &error)
{
    const std::string where = address.Text() + ": ";
    if (!CommandIsText(command)) {
        error = where + "the command \"" + command + "\" is empty or holds a line end or control character; "
                "correct it in the station's settings";
        return false;
    }
    if (!open) {
        error = where + "cannot send " + command + ": the instrument is not connected; open it again";
        return false;
    }
    if (stale) {
        bool quiet = false;
        TLoopTimer timer(loop, [&quiet] { quiet = true; });
        unsigned seen = inputCount;
        timer.Start(settleMs);
        const int limit = settleMs * 10 + 1000;
        const std::int64_t start = TEventLoop::NowMs();
        loop.RunUntil(
            [&] {
                if (inputCount != seen) {
                    seen = inputCount;
                    timer.Start(settleMs);
                }
                return quiet || !open;
            },
            limit);
        if (!quiet && open && TEventLoop::NowMs() - start < limit) {
            error = where + "interrupted before " + command;
            return false;
        }
        if (!quiet && open) {
            error = where + "the instrument keeps sending after an unanswered query, so no answer can be told "
                    "from another; check that it is set to answer queries only, and open it again";
            return false;
        }
        stale = false;
    }
    loop.RunReady(); // what has come already is no answer to what is not sent yet
    ClearInput();
    return true;
}

bool TScpiPort::Send(const std::string &command, std::string &error)
{
    TImpl &d = *m_d;
    if (!d.Prepare(command, settleMs, error))
        return false;
    if (!d.Write(command + "\n")) {
        error = d.address.Text() + ": cannot send " + command + ": the connection is gone" +
                (d.lostReason.empty() ? std::string() : " (" + d.lostReason + ")") + "; open it again";
        d.open = false;
        return false;
    }
    return true;
}

std::optional<std::string> TScpiPort::Query(const std::string &command, int timeoutMs, std::string &error)
{
    TImpl &d = *m_d;
    if (!Send(command, error))
        return std::nullopt;
    const std::string where = d.address.Text() + ": ";
    const std::int64_t start = TEventLoop::NowMs();
    d.loop.RunUntil([&d] { return !d.lines.empty() || !d.open; }, timeoutMs);
    if (d.lines.empty()) {
        d.stale = true;
        if (!d.open)
            error = where + "the connection closed before the answer to " + command + " (" + d.lostReason +
                    "); check the instrument and open it again";
        else if (TEventLoop::NowMs() - start < timeoutMs)
            error = where + "interrupted while waiting for the answer to " + command;
        else
            error = where + "no answer to " + command + " within " + Seconds(timeoutMs) +
                    "; check that the instrument is on, at this address, and knows the command";
        return std::nullopt;
    }
    TLine line = std::move(d.lines.front());
    d.lines.pop_front();
    if (line.overlong) {
        d.stale = true;
        error = where + "the answer to " + command + " is longer than " + std::to_string(maxLine) +
                " bytes, not an instrument's answer; check the address and the instrument's settings";
        return std::nullopt;
    }
    if (const std::string fault = TextFault(line.text); !fault.empty()) {
        d.stale = true;
        error = where + "the answer to " + command + " holds " + fault +
                ", not an instrument's answer; check the line's speed and that the instrument speaks SCPI";
        return std::nullopt;
    }
    return line.text;
}

} // namespace station
