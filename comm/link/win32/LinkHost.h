// Where the Win32 link's worker hands its events over.
//
// The worker thread waits on the port; everything else (reading, writing,
// the component, its timers) belongs to the thread that opened the link. For
// each event the worker posts one hand-over to that thread and then waits
// until it has run, or until the link is closed. Because that wait also wakes
// on the close, a close from the host thread never waits for a hand-over that
// the host thread itself would have to run: no deadlock, and no blocking
// cross-thread call is needed. Nothing here depends on Qt.
#pragma once

#include <functional>
#include <memory>
#include <string>

// The host thread's end of the hand-over, made on that thread by Attach.
class THostQueue
{
public:
    THostQueue() = default;
    THostQueue(const THostQueue &) = delete;
    THostQueue &operator=(const THostQueue &) = delete;
    virtual ~THostQueue() = default;

    // Runs fn later on the host's thread, in the order posted. Safe from any
    // thread while the queue exists; fn may find its link closed by then.
    virtual void Post(std::function<void()> fn) = 0;
};

class TLinkHost
{
public:
    TLinkHost() = default;
    TLinkHost(const TLinkHost &) = delete;
    TLinkHost &operator=(const TLinkHost &) = delete;
    virtual ~TLinkHost() = default;

    // A queue to the calling thread, which must run the host's event loop. On
    // failure returns null and says why in error.
    virtual std::unique_ptr<THostQueue> Attach(std::string &error) = 0;
};
