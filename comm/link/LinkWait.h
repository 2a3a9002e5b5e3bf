// Waiting on a link's descriptor in the host's own event loop.
//
// A link does not wait by itself: the host that runs its thread's event loop
// (a Qt application, a plain poll() loop) watches the descriptor and calls the
// link back there. An event then costs one wake-up of that thread and no
// hand-over between threads. Nothing here depends on Qt.
#pragma once

#include <functional>
#include <memory>
#include <string>

// One descriptor being watched. Destroying it stops the watch: no callback
// runs after the destructor returns, and it may be destroyed from inside its
// own callback.
class TWaitWatch
{
public:
    TWaitWatch() = default;
    TWaitWatch(const TWaitWatch &) = delete;
    TWaitWatch &operator=(const TWaitWatch &) = delete;
    virtual ~TWaitWatch() = default;

    // What to wait for from now on; neither pauses the watch.
    virtual void Want(bool read, bool write) = 0;
};

class TWaitHost
{
public:
    // Runs on the host's thread while the descriptor is ready in a wanted way
    // (level-triggered: it runs again as long as that stays so). revents are
    // poll()'s bits when the host knows them exactly; a host that only knows
    // "ready" passes 0 and the watcher asks poll() itself. Hang-up and errors
    // count as ready for reading.
    using TReady = std::function<void(short revents)>;

    TWaitHost() = default;
    TWaitHost(const TWaitHost &) = delete;
    TWaitHost &operator=(const TWaitHost &) = delete;
    virtual ~TWaitHost() = default;

    // Starts watching fd on the calling thread, which must be the host's. On
    // failure returns null and says why in error.
    virtual std::unique_ptr<TWaitWatch> Watch(int fd, bool read, bool write, TReady onReady,
                                              std::string &error) = 0;
};
