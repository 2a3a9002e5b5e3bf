// The Linux serial link: a port opened by name (or a descriptor taken over),
// watched in the event loop of the thread that opens it.
//
// Waiting. The link does not wait itself: a wait host (LinkWait.h: Qt's event
// loop in QtWaitHost.h, the plain event loop in LoopWaitHost.h) watches the descriptor, for reading always
// and for writing only while bytes are queued, and calls the link back on its
// own thread. One event costs one wake-up of that thread. Reading, writing, the
// write queue and every callback belong to that thread alone, so there are no
// locks. The next wait starts only after the host has read: should a callback
// run an event loop of its own, the watch pauses until it returns.
//
// Close() stops the watch before it returns, so no callback follows it; it is
// safe from inside a callback, and so is destroying the link.
//
// Writes go to the driver at once as far as it takes them; the rest is queued
// in order and written as the port becomes writable. Close discards what is
// still unsent, so it never waits for the line.
//
// Hang-up (adapter pulled out, other end of a pseudo-terminal closed): handed
// over once as OnHangUp; the link then stops watching the port, which would
// otherwise stay "ready" for ever.
//
// A frame's characters together: told by the reader how many characters it
// expects next (ExpectChars), the link stops watching the port and arms a
// timerfd, in the same wait host, for when that many can have crossed the line
// at its rate; then it reads what has come in one go and announces it. On a
// line that delivers character by character (a pseudo-terminal, a UART
// without a FIFO) a frame then costs a few wake-ups instead of one per
// character, and its end is read when it has come.
//
// Line events: the driver's error and modem-line counters (TIOCGICOUNT), or the
// modem lines themselves (TIOCMGET), are compared at every event, so a change
// is reported with the next event and nothing is polled. Devices that keep
// neither (pseudo-terminals, many adapters) report none.
#pragma once

#include "LinkWait.h"
#include "MBLink.h"
#include "SerialTermios.h"

#include <array>
#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

class TSerialLink : public TMBLink
{
public:
    // A link that opens ports by name (see PortProbe::ResolvePortPath) and
    // waits in host, which must outlive it.
    explicit TSerialLink(TWaitHost &host);
    // A link over an open descriptor, which it takes over (closes when destroyed).
    TSerialLink(TWaitHost &host, int adoptedFd);
    ~TSerialLink() override;

    bool Open(const std::string &port, uint32_t baud, std::string &errorText) override;
    void Close() override;
    bool IsOpen() const override { return m_open; }
    bool WriteBytes(const char *data, std::ptrdiff_t count) override;
    void ExpectChars(uint32_t count) override;
    std::ptrdiff_t ReadBytes(char *buffer, std::ptrdiff_t count) override;

    // Bytes accepted by WriteBytes that the driver has not taken yet.
    std::ptrdiff_t QueuedOutput() const { return static_cast<std::ptrdiff_t>(m_pending.size()); }
    // True once the line has gone away under the open link.
    bool HungUp() const { return m_hangUpReported; }
    // The open descriptor (-1 while closed).
    int Descriptor() const { return m_open ? m_fd : -1; }

    // More than this waiting to go out means the other end is not reading:
    // further writes are refused rather than held without limit.
    static constexpr std::ptrdiff_t MaxQueuedOutput = 1 << 20;

private:
    struct TAnchor;
    void HandOver(short revents);
    void UpdateWatch();
    short PollNow() const;
    std::size_t FillInbox();
    void Flush();
    // Writes what the driver takes now; the count, or -1 when the line is gone.
    std::ptrdiff_t WriteNow(const char *data, std::ptrdiff_t count);
    void CheckLineEvents();
    void ReleasePort();
    void HoldEnded();
    void EndHold();

    int m_fd = -1;
    bool m_adopted = false;
    int m_adoptedFd = -1;
    int m_peerFd = -1; // our own hold on a pseudo-terminal's slave side (adopted master only)
    std::vector<char> m_savedTermios; // the port's settings before the open, put back at close
    bool m_open = false;
    bool m_lineGone = false;       // a read or write said the line is gone
    bool m_hangUpReported = false;
    std::string m_pending;
    // What the last event read, until the callback reads it (ReadBytes); a
    // terminal hands over at most this much per read.
    std::array<char, 4096> m_inbox{};
    std::size_t m_inboxStart = 0;
    std::size_t m_inboxCount = 0;
    bool m_haveCounts = false;
    bool m_haveModem = false;
    SerialTermios::TLineCounts m_counts;
    uint32_t m_modem = 0;
    TWaitHost &m_host;
    std::unique_ptr<TWaitWatch> m_watch; // null while closed and after a hang-up
    bool m_inHandOver = false;
    bool m_paused = false; // a callback runs an event loop: wait again once it returns
    std::shared_ptr<TAnchor> m_anchor;
    // Waiting for the characters the reader expects (ExpectChars).
    int64_t m_charNs = 0;      // one character's time on the line (10 bits)
    int64_t m_lastReadNs = 0;  // when a read last brought characters (CLOCK_MONOTONIC)
    int m_holdFd = -1;         // the timerfd, made at the first hint
    std::unique_ptr<TWaitWatch> m_holdWatch;
    bool m_holding = false;    // the port is left alone until the timerfd expires
    uint32_t m_holdCount = 0;  // what the reader expects by then
    int64_t m_holdDueNs = 0;
};

// MakeSerialLink() and MakeFdLink(fd), the component's factories, wait in Qt's
// event loop: QtWaitHost.h (kv508qt).
