// The Qt application as a wait host: socket notifiers in the event loop of the
// thread that starts the watch.
#pragma once

#include "LinkWait.h"

// The host that the serial link uses unless it is given another. Stateless,
// so one serves every thread that runs a Qt event loop.
TWaitHost &QtWaitHost();
