#include "Output.h"

#include "Interrupt.h"

#include <cerrno>
#include <cstdio>
#include <cstring>

namespace ctl {

void OutputFailed(const std::string &what, int error)
{
    throw TOutputFailure(exitUsage, "cannot write " + what + ": " + std::strerror(error) +
                                        (error == EPIPE ? " (the reading program ended)" : "; free some space or write elsewhere"));
}

void Out(const std::string &text)
{
    errno = 0;
    if (std::fwrite(text.data(), 1, text.size(), stdout) != text.size() || std::fflush(stdout) != 0)
        OutputFailed("the output", errno != 0 ? errno : EIO);
}

bool Pause(TEventLoop &loop, const TInterrupt &interrupt, int ms)
{
    if (ms <= 0)
        return !interrupt.Requested();
    bool expired = false;
    TLoopTimer timer(loop, [&] { expired = true; });
    timer.Start(ms);
    loop.RunUntil([&] { return expired || interrupt.Requested(); }, ms + 1000);
    return !interrupt.Requested();
}

} // namespace ctl
