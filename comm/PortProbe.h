// Port names and discovery of the serial ports that can be opened now.
#pragma once

#include <QString>
#include <QStringList>

namespace PortProbe {

// The directory of virtual ports (symbolic links to terminal devices):
// $XDG_RUNTIME_DIR/kv508-ports, else /tmp/kv508-ports-<uid>. With create, it is
// made (mode 0700) when missing. Empty when it cannot be used safely.
QString VirtualPortDir(bool create = false);

// The device path a port name stands for: a name with "/" is a path; a bare
// name is looked up in the virtual-port directory first, then in /dev.
QString ResolvePortPath(const QString &name);

struct TProbeResult {
    QStringList ports; // ascending: lowest number first
    QString hint;      // why a present device was left out, and the fix; empty if none
};

// Lists the ports that can be opened exclusively right now.
TProbeResult Probe();

} // namespace PortProbe
