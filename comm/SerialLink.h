// The POSIX serial link: a port opened by name, watched by a worker thread
// (TCommThread) that hands every event over to the GUI thread synchronously.
#pragma once

#include "MBLink.h"

#include <memory>

// The link the component uses unless told otherwise: opens a port by name.
std::unique_ptr<TMBLink> MakeSerialLink();

// A link over a descriptor that is already open (the simulator's own side of a
// pseudo-terminal). The link takes ownership; Open ignores the port name.
std::unique_ptr<TMBLink> MakeFdLink(int fd);
