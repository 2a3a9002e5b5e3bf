// Ctrl+C and SIGTERM as an event of the loop, so a watch or a hold ends
// between two transactions (the forced output released, the last CSV line
// whole). A second signal ends the program at once, unless something must
// still be put right (the forced output released): then the second says it
// will be, and only a third ends at once, saying what was left undone.
#pragma once

#include <memory>
#include <string>

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
    // While undone is set, a second signal does not end the program but says
    // onSecond; a third ends it and says undone (each one line on standard
    // error). An empty undone: the second ends it at once again.
    void SetCleanup(const std::string &onSecond, const std::string &undone);

private:
    struct TImpl;
    std::unique_ptr<TImpl> m_impl;
};

} // namespace ctl
