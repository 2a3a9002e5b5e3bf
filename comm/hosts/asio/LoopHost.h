// The serial link's host on the plain event loop, whichever the system: on
// Linux the loop waits on the port's descriptor; on Windows the Win32 link's
// worker waits on the port and hands each event over through the loop's queue.
#pragma once

#if defined(_WIN32)
#include "LoopLinkHost.h"
using TLoopHost = TLoopLinkHost;
#else
#include "LoopWaitHost.h"
using TLoopHost = TLoopWaitHost;
#endif
