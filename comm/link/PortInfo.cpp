// What the probe tells about a port, as the port list shows it; the same on
// every platform.
#include "PortProbe.h"

namespace PortProbe {

std::string TPortInfo::Description() const
{
    std::string text;
    const auto line = [&](const char *label, const std::string &value) {
        if (value.empty())
            return;
        if (!text.empty())
            text += '\n';
        text += label + value;
    };
    line("manufacturer: ", manufacturer);
    line("product: ", product);
    line("serial number: ", serialNumber);
    line("USB ID: ", usbId);
    line("driver: ", driver);
    return text;
}

std::string TPortInfo::Identity() const
{
    if (!usbId.empty() && !serialNumber.empty())
        return "usb " + usbId + " serial " + serialNumber;
    if (!usbId.empty() && !usbPath.empty())
        return "usb " + usbId + " at " + usbPath;
    if (usbId.empty() && !product.empty() && !serialNumber.empty())
        return "virtual " + product + " serial " + serialNumber;
    return {};
}

int FindPort(const TProbeResult &probe, const std::string &identity, const std::string &port)
{
    if (!identity.empty()) {
        for (std::size_t i = 0; i < probe.ports.size() && i < probe.infos.size(); ++i)
            if (probe.infos[i].Identity() == identity)
                return static_cast<int>(i);
        return -1;
    }
    if (port.empty())
        return -1;
    const std::string path = ResolvePortPath(port);
    for (std::size_t i = 0; i < probe.ports.size(); ++i)
        if (probe.ports[i] == port || (!path.empty() && ResolvePortPath(probe.ports[i]) == path))
            return static_cast<int>(i);
    return -1;
}

} // namespace PortProbe
