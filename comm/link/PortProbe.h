// Port names and discovery of the serial ports that can be opened now.
//
// On Windows a port name is "COM1".."COM9" or "\\.\COM10" upward, and the
// probe tries each number (win32/PortProbe.cpp). Elsewhere a port name is a
// bare device name (ttyS0, ttyUSB3, kv508sim0) or a path.
// Virtual ports are symbolic links to terminal devices kept in one directory;
// a simulator or a socat pair shows up in the list by putting a link there.
//
// Names, paths and texts are UTF-8 std::string; a path is used byte for byte.
#pragma once

#include <string>
#include <vector>

#if !defined(_WIN32)
#include <sys/types.h>
#endif

namespace PortProbe {

#if !defined(_WIN32)

// The directory of virtual ports (symbolic links to terminal devices):
// $XDG_RUNTIME_DIR/kv508-ports, else ~/.cache/kv508/ports (never a shared
// directory such as /tmp, where another user could take the name first). With
// create, it is made (mode 0700, parents as needed) when missing. Empty when it
// cannot be used safely (not a directory of ours, or writable by others).
std::string VirtualPortDir(bool create = false);
#endif

// The device path a port name stands for: a name with "/" is a path; a bare
// name is looked up in the virtual-port directory first, then in /dev. On
// Windows "COM5" stands for \\.\COM5 and a name starting "\\" is a path.
std::string ResolvePortPath(const std::string &name);

#if !defined(_WIN32)

// A program that publishes a virtual port NAME holds DIR/.NAME.lock with
// flock() for as long as it runs, so the proof of life dies with it (SIGKILL
// included). The lock file is made and locked before the link, and removed
// after it.
std::string VirtualPortLockPath(const std::string &linkPath);

// Names that only a simulator publishes: such a link without a held lock is stale.
bool IsSimulatorPortName(const std::string &name);

// A virtual port is alive when its lock file is held by a running process, or,
// for a link a user made by hand (no lock file, not a simulator's name), always.
bool IsVirtualPortAlive(const std::string &linkPath);

// True for a terminal character device that is safe to open: a pseudo-terminal
// or a port of a serial driver. Consoles, /dev/tty and /dev/ptmx are not.
bool IsSerialTerminal(dev_t device);
// A Unix98 pseudo-terminal's slave side (a simulator's port).
bool IsPseudoTerminal(dev_t device);

// Where the probe looks. Tests point it at a fake tree: the environment
// variable KV508_PROBE_ROOT=DIR makes it DIR/sys, DIR/dev, DIR/run/lock and
// DIR/var/lock.
struct TProbeRoots {
    std::string sys = "/sys";
    std::string dev = "/dev";
    std::vector<std::string> lockDirs = {"/run/lock", "/var/lock"}; // UUCP LCK..NAME files
};
TProbeRoots DefaultRoots();
#endif

// What sysfs tells about a port; empty fields are unknown.
struct TPortInfo {
    std::string name;
    std::string driver;       // the kernel driver behind the port (ch341-uart, cdc_acm, serial8250)
    std::string manufacturer; // USB descriptors of the device the port belongs to
    std::string product;
    std::string serialNumber;
    std::string usbId;        // "1a86:7523"
    std::string usbPath;      // where the USB device is plugged in ("1-1.2"), for adapters without a serial
    // One line per known field, for a tooltip; empty when nothing is known.
    std::string Description() const;
    // Who the adapter is, whatever its device name: USB ID with serial number
    // (or, lacking one, with the socket it is plugged into), or the product and
    // serial a virtual port's publisher gives. Empty when nothing tells it
    // apart from its name (a built-in port, a port on Windows).
    std::string Identity() const;
};

struct TProbeResult {
    std::vector<std::string> ports; // ascending: lowest number first
    std::vector<TPortInfo> infos;   // one per port, in the order of ports
    std::string hint;               // why a present device was left out, and the fix; empty if none
};

// Lists the ports that can be opened exclusively right now: the terminals of
// /sys/class/tty with a driver behind them (and the classic serial families of
// /dev), then the virtual ports whose publisher is alive. A port that another
// process has open (seen in /proc, as fuser does) or that a live UUCP lock file
// claims is left out. Never waits on a port and never opens anything that is
// not a serial terminal. Each port is opened and closed once, as an open by the
// user would.
TProbeResult Probe();
#if !defined(_WIN32)
TProbeResult Probe(const TProbeRoots &roots);
#endif

// Why the port at path (as ResolvePortPath gives it) must not be opened now:
// a stale simulator link, another process that has the device open, or a live
// UUCP lock. Empty when nothing speaks against it. Never opens the device.
// unseen tells whether some processes (other users') could not be looked into.
std::string InUseReason(const std::string &path, bool *unseen = nullptr);
// The reason for a port found locked without a visible holder.
std::string BusyReason(bool unseen);

// The listed port that is the adapter with this identity, under whatever name
// it has now; without an identity, the port of that name or path. -1 when it
// is not listed: the one way a lost adapter is found again.
int FindPort(const TProbeResult &probe, const std::string &identity, const std::string &port);

// Orders port names by family, then by number: ttyUSB9 before ttyUSB10.
bool NaturalLess(const std::string &a, const std::string &b);

} // namespace PortProbe
