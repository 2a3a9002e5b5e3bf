// The POSIX serial link: a port opened by name, watched by a worker thread
// (TCommThread) that hands every event over to the GUI thread synchronously.
//
// Threads. The worker only waits: in poll() on the port, on its wake-up
// eventfd (stop requests, "bytes are queued for writing") and, while bytes
// wait to go out, on the port's writability. For each event it posts the
// hand-over to the GUI thread and then waits until the GUI thread has run it
// (or until it is told to stop). Reading, writing, the write queue and every
// callback belong to the GUI thread alone, so there are no locks; the
// hand-over is the only meeting point.
//
// Because the worker waits for "hand-over done" in poll() together with the
// stop event, Close() never has to run pending hand-overs to get the worker to
// end: it signals stop and joins at once, also from inside a callback. A
// hand-over still queued for a closed link does nothing.
//
// Writes go to the driver at once as far as it takes them; the rest is queued
// in order and written as the port becomes writable. Close discards what is
// still unsent, so it never waits for the line.
//
// Hang-up (adapter pulled out, other end of a pseudo-terminal closed): handed
// over once as OnHangUp; the worker then stops watching the port and sleeps
// until it is stopped.
//
// Line events: the driver's error and modem-line counters (TIOCGICOUNT), or the
// modem lines themselves (TIOCMGET), are compared at every hand-over, so a
// change is reported with the next event and nothing is polled. Devices that
// keep neither (pseudo-terminals, many adapters) report none.
#pragma once

#include "MBLink.h"
#include "SerialTermios.h"

#include <QByteArray>

#include <memory>

class TCommThread;

class TSerialLink : public TMBLink
{
public:
    // A link that opens ports by name (see PortProbe::ResolvePortPath).
    TSerialLink();
    // A link over an open descriptor, which it takes over (closes when destroyed).
    explicit TSerialLink(int adoptedFd);
    ~TSerialLink() override;

    bool Open(const QString &port, quint32 baud, QString &errorText) override;
    void Close() override;
    bool IsOpen() const override { return m_open; }
    bool WriteBytes(const char *data, qsizetype count) override;
    qsizetype ReadBytes(char *buffer, qsizetype count) override;

    // Bytes accepted by WriteBytes that the driver has not taken yet.
    qsizetype QueuedOutput() const { return m_pending.size(); }
    // True once the line has gone away under the open link.
    bool HungUp() const { return m_hangUpReported; }
    // The open descriptor (-1 while closed).
    int Descriptor() const { return m_open ? m_fd : -1; }

    // More than this waiting to go out means the other end is not reading:
    // further writes are refused rather than held without limit.
    static constexpr qsizetype MaxQueuedOutput = 1 << 20;

private:
    struct TAnchor;
    bool StartWorker(QString &errorText);
    void HandOver(short revents);
    void Flush();
    // Writes what the driver takes now; the count, or -1 when the line is gone.
    qsizetype WriteNow(const char *data, qsizetype count);
    void Discard(qsizetype count);
    void CheckLineEvents();
    void ReleasePort();

    int m_fd = -1;
    bool m_adopted = false;
    int m_adoptedFd = -1;
    int m_peerFd = -1; // our own hold on a pseudo-terminal's slave side (adopted master only)
    QByteArray m_savedTermios; // the port's settings before the open, put back at close
    bool m_open = false;
    bool m_lineGone = false;       // a read, write or FIONREAD said the line is gone
    bool m_hangUpReported = false;
    QByteArray m_pending;
    bool m_haveCounts = false;
    bool m_haveModem = false;
    SerialTermios::TLineCounts m_counts;
    quint32 m_modem = 0;
    std::unique_ptr<TCommThread> m_thread;
    std::shared_ptr<TAnchor> m_anchor;
};

// The link the component uses unless told otherwise: opens a port by name.
std::unique_ptr<TMBLink> MakeSerialLink();

// A link over a descriptor that is already open (the simulator's own side of a
// pseudo-terminal). The link takes ownership and closes fd when destroyed;
// Open ignores the port name, makes the line raw at the rate and starts
// watching. For a pseudo-terminal master the link also holds the slave side
// open while it is open, so the line stays up while programs open and close
// the slave (the probe does exactly that).
std::unique_ptr<TMBLink> MakeFdLink(int fd);
