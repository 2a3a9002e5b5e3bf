// The Qt application as a wait host: socket notifiers in the event loop of the
// thread that starts the watch. Needs Qt Core only.
#pragma once

#include "MBLink.h"

#include <memory>

#if defined(_WIN32)
#include "LinkHost.h"

// The host that the Win32 link hands its events to unless given another: the
// Qt event loop of the thread that opens the link (qt/QtLinkHost.cpp).
TLinkHost &QtLinkHost();
#else
#include "LinkWait.h"

// The host that the serial link uses unless it is given another. Stateless,
// so one serves every thread that runs a Qt event loop.
TWaitHost &QtWaitHost();
#endif

// The link the component uses unless told otherwise: opens a port by name.
// Both factories wait in Qt's event loop.
std::unique_ptr<TMBLink> MakeSerialLink();

#if !defined(_WIN32)

// A link over a descriptor that is already open (the simulator's own side of a
// pseudo-terminal). The link takes ownership and closes fd when destroyed;
// Open ignores the port name, makes the line raw at the rate and starts
// watching. For a pseudo-terminal master the link also holds the slave side
// open while it is open, so the line stays up while programs open and close
// the slave (the probe does exactly that).
std::unique_ptr<TMBLink> MakeFdLink(int fd);
#endif
