// Qt's timers as the engine's countdowns: precise, firing on the thread that
// makes them. Needs Qt Core only.
#pragma once

#include "MBTimer.h"

mbcore::TTimerFactory QtTimerFactory();
