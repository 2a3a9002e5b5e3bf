// The Win32 serial link: a COM port opened for overlapped I/O, watched by a
// worker thread.
//
// Waiting. The worker arms WaitCommEvent and waits for it or for the stop
// event. Each event is handed over to the host's thread (LinkHost.h) and the
// worker waits until that hand-over has run, so the event mask and modem
// status it read stay still meanwhile and the next wait starts only after the
// host has read. An idle line costs nothing: the worker sleeps in the kernel.
//
// Hand-over, on the host's thread: ClearCommError gives the line errors and
// the queued byte count; EV_RXCHAR becomes OnDataAvailable(count), every other
// event bit OnLineEvent(mask, modem status).
//
// Writes start at once with their own overlapped record each and are never
// awaited; the driver sends them in the order issued. Close discards what is
// still unsent.
//
// A device that refuses the event wait (Wine's pseudo-terminals) is waited on
// with a one-byte read instead; it reports no line events.
//
// A frame's characters together: told during a hand-over how many characters
// the reader expects next (ExpectChars), the worker's next wait is one read
// for that many, with time-outs that end it when the last has come or when
// they could have crossed the line at its rate. The driver completes it, so
// the rest of a frame costs one wake-up and one hand-over; its bytes are
// handed out ahead of the queue, like the one-byte read's. A ReadBytes while
// it runs cancels it and hands out what it had read first: nothing is lost or
// reordered. The port's time-outs are changed and restored under the shared
// lock, so a read on the host's thread never runs with the hinted ones.
//
// Hang-up (adapter pulled out, device gone): a failing event wait, status read
// or write is handed over once as OnHangUp and the worker ends, so it never
// spins on a dead handle.
//
// Close() stops the worker and waits for it; no callback follows it. It is
// safe from inside a callback, and so is destroying the link.
#pragma once

#include "LinkHost.h"
#include "MBLink.h"

#include <cstddef>
#include <cstdint>
#include <deque>
#include <memory>
#include <string>
#include <thread>

class TSerialLink : public TMBLink
{
public:
    // A link whose events are handed over to host, which must outlive it.
    explicit TSerialLink(TLinkHost &host);
    ~TSerialLink() override;

    // Driver queue sizes asked for at the next open (SetupComm).
    void SetQueueSizes(uint32_t in, uint32_t out);

    bool Open(const std::string &port, uint32_t baud, std::string &errorText) override;
    void Close() override;
    bool IsOpen() const override { return m_open; }
    bool WriteBytes(const char *data, std::ptrdiff_t count) override;
    std::ptrdiff_t ReadBytes(char *buffer, std::ptrdiff_t count) override;
    // Taken only during a hand-over (the worker's next wait starts right after
    // the characters just read); elsewhere each character is announced as now.
    void ExpectChars(uint32_t count) override;

    // True once the line has gone away under the open link.
    bool HungUp() const { return m_hangUpReported; }
    // The line error flags of the last hand-over (CE_FRAME, CE_OVERRUN, ...).
    uint32_t LineErrors() const { return m_lineErrors; }
    // Bytes handed to the driver whose write has not completed yet.
    std::ptrdiff_t QueuedOutput() const { return m_queuedOutput; }

    // More than this waiting to go out means the other end is not reading:
    // further writes are refused rather than held without limit.
    static constexpr std::ptrdiff_t MaxQueuedOutput = 1 << 20;
    // The component's default driver queues (WinQSizeIn, WinQSizeOut).
    static constexpr uint32_t DefaultQueueSize = 8192;

private:
    struct TShared;
    struct TWrite;
    enum class THintEnd { None, Data, Empty, Taken, Gone, Stopped };
    static void Worker(std::shared_ptr<TShared> shared, THostQueue *queue);
    static THintEnd HintedRead(TShared &s);
    static bool CollectHinted(TShared &s);
    void TakeHeld();
    void HandOver(uint32_t mask, uint32_t modem, bool gone);
    void ReapWrites();
    void LineGone();
    void ReportHangUp();
    void Discard(uint32_t count);
    void ReleasePort();

    TLinkHost &m_host;
    uint32_t m_queueIn = DefaultQueueSize;
    uint32_t m_queueOut = DefaultQueueSize;
    bool m_open = false;
    bool m_lineGone = false;
    bool m_hangUpReported = false;
    uint32_t m_lineErrors = 0;
    std::ptrdiff_t m_queuedOutput = 0;
    std::string m_early;    // taken by the worker's waiting read, handed out before the queue
    uint32_t m_queuedIn = 0; // in the driver's queue, during a hand-over
    void *m_port = nullptr; // the HANDLE; windows.h stays out of this header
    void *m_readEvent = nullptr;
    std::deque<std::unique_ptr<TWrite>> m_writes; // in progress, oldest first
    std::deque<std::unique_ptr<TWrite>> m_spare;  // finished records, kept for their events
    std::unique_ptr<THostQueue> m_queue;
    std::shared_ptr<TShared> m_shared;            // with the worker and the posted hand-overs
    std::thread m_worker;
};

// MakeSerialLink(), the component's factory, hands over in Qt's event loop:
// qt/QtWaitHost.h.
