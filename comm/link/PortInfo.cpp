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

} // namespace PortProbe
