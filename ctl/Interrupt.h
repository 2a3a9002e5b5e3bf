// Ctrl+C and SIGTERM as an event of the loop, so a watch or a hold ends
// between two transactions (the forced output released, the last CSV line
// whole). A second signal ends the program at once.
#pragma once

#include <memory>

class TEventLoop;

namespace ctl {

class TInterrupt
{
public:
    explicit TInterrupt(TEventLoop &loop);
    ~TInterrupt();
    TInterrupt(const TInterrupt &) = delete;
    TInterrupt &operator=(const TInterrupt &) = delete;

    bool Requested() const;

private:
    struct TImpl;
    std::unique_ptr<TImpl> m_impl;
};

} // namespace ctl
