// The serial link's host on the plain event loop. POSIX: the loop waits on
// the port's descriptor. Windows: the Win32 link's worker waits on the port
// and hands each event over through the loop's queue.
#pragma once

#if defined(_WIN32)
#include "LoopLinkHost.h"
#else
#include "LoopWaitHost.h"
#endif

namespace ctl {

#if defined(_WIN32)
using TLoopHost = TLoopLinkHost;
#else
using TLoopHost = TLoopWaitHost;
#endif

} // namespace ctl
