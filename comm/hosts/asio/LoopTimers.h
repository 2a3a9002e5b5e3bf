// The engine's countdowns as one-shot timers of the plain event loop, for
// programs without Qt (kv508ctl, the benchmarks, the Windows tests).
#pragma once

#include "MBTimer.h"

class TEventLoop;

// Timers that run on loop, which must outlive every engine given them.
mbcore::TTimerFactory LoopTimers(TEventLoop &loop);
