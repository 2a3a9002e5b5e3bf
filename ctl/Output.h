// What the subcommands share beside the session: standard output that fails
// loudly, and a wait on the loop that an interrupt ends.
#pragma once

#include "Session.h"

#include <string>

namespace ctl {

class TInterrupt;

// Standard output that cannot be written (a full disk, a closed pipe) ends the
// run with an error: a log must not go on losing rows behind an exit code 0.
struct TOutputFailure : TFailure {
    using TFailure::TFailure;
};
[[noreturn]] void OutputFailed(const std::string &what, int error);
// Writes and flushes (tail -f sees each row); throws TOutputFailure.
void Out(const std::string &text);

// Waits ms on the loop (a timer, not a spin); false when interrupted.
bool Pause(TEventLoop &loop, const TInterrupt &interrupt, int ms);

} // namespace ctl
