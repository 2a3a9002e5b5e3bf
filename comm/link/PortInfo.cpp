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

} // namespace PortProbe
