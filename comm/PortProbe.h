// Port names and discovery of the serial ports that can be opened now.
//
// A port name is a bare device name (ttyS0, ttyUSB3, kv508sim0) or a path.
// Virtual ports are symbolic links to terminal devices kept in one directory;
// a simulator or a socat pair shows up in the list by putting a link there.
#pragma once

#include <QString>
#include <QStringList>

#include <sys/types.h>

namespace PortProbe {

// The directory of virtual ports (symbolic links to terminal devices):
// $XDG_RUNTIME_DIR/kv508-ports, else /tmp/kv508-ports-<uid>. With create, it is
// made (mode 0700) when missing. Empty when it cannot be used safely (not a
// directory of ours, or writable by others).
QString VirtualPortDir(bool create = false);

// The device path a port name stands for: a name with "/" is a path; a bare
// name is looked up in the virtual-port directory first, then in /dev.
QString ResolvePortPath(const QString &name);

// A program that publishes a virtual port NAME holds DIR/.NAME.lock with
// flock() for as long as it runs, so the proof of life dies with it (SIGKILL
// included). The lock file is made and locked before the link, and removed
// after it.
QString VirtualPortLockPath(const QString &linkPath);

// Names that only a simulator publishes: such a link without a held lock is stale.
bool IsSimulatorPortName(const QString &name);

// A virtual port is alive when its lock file is held by a running process, or,
// for a link a user made by hand (no lock file, not a simulator's name), always.
bool IsVirtualPortAlive(const QString &linkPath);

// True for a terminal character device that is safe to open: a pseudo-terminal
// or a port of a serial driver. Consoles, /dev/tty and /dev/ptmx are not.
bool IsSerialTerminal(dev_t device);

struct TProbeResult {
    QStringList ports; // ascending: lowest number first
    QString hint;      // why a present device was left out, and the fix; empty if none
};

// Lists the ports that can be opened exclusively right now: the serial devices
// of /dev (ttyS, ttyUSB, ttyACM, ttyAMA, ttyXRUSB, rfcomm), then the virtual
// ports. Never waits on a port and never opens anything that is not a serial
// terminal. Each port is opened and closed once, as an open by the user would.
TProbeResult Probe();

// Orders port names by family, then by number: ttyUSB9 before ttyUSB10.
bool NaturalLess(const QString &a, const QString &b);

} // namespace PortProbe
