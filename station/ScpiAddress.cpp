#include "ScpiPort.h"

#include <algorithm>

namespace station {

namespace {

bool AllDigits(const std::string &s)
{
    return !s.empty() && s.size() <= 9 &&
           std::all_of(s.begin(), s.end(), [](char c) { return c >= '0' && c <= '9'; });
}

bool ParsePort(const std::string &s, uint16_t &port)
{
    if (!AllDigits(s))
        return false;
    const unsigned long value = std::stoul(s);
    if (value == 0 || value > 65535)
        return false;
    port = static_cast<uint16_t>(value);
    return true;
}

bool ParseTcp(const std::string &rest, TScpiAddress &address)
{
    address.kind = TScpiAddress::TKind::Tcp;
    address.port = 5025;
    std::string portText;
    if (!rest.empty() && rest.front() == '[') {
        const auto close = rest.find(']');
        if (close == std::string::npos || close == 1)
            return false;
        address.host = rest.substr(1, close - 1);
        const std::string after = rest.substr(close + 1);
        if (after.empty())
            return true;
        if (after.front() != ':')
            return false;
        portText = after.substr(1);
    } else {
        const auto colon = rest.find(':');
        if (colon != rest.rfind(':'))
            return false; // an IPv6 address needs its brackets, or its last part reads as the port
        address.host = rest.substr(0, colon);
        if (colon != std::string::npos)
            portText = rest.substr(colon + 1);
        else
            return !address.host.empty();
    }
    const bool hostOk = !address.host.empty() && std::none_of(address.host.begin(), address.host.end(), [](unsigned char c) {
        return c <= ' ' || c == 0x7f || c == '/';
    });
    return hostOk && ParsePort(portText, address.port);
}

bool ParseSerial(const std::string &rest, TScpiAddress &address)
{
    address.kind = TScpiAddress::TKind::Serial;
    address.device = rest;
    const auto colon = rest.rfind(':');
    if (colon != std::string::npos && AllDigits(rest.substr(colon + 1))) {
        address.device = rest.substr(0, colon);
        address.baud = static_cast<uint32_t>(std::stoul(rest.substr(colon + 1)));
        if (address.baud == 0)
            return false;
    }
    return !address.device.empty() && std::none_of(address.device.begin(), address.device.end(), [](unsigned char c) {
        return c < ' ' || c == 0x7f;
    });
}

} // namespace

std::string TScpiAddress::Text() const
{
    if (kind == TKind::Serial)
        return "serial:" + device + ":" + std::to_string(baud);
    const bool v6 = host.find(':') != std::string::npos;
    return "tcp:" + (v6 ? "[" + host + "]" : host) + ":" + std::to_string(port);
}

std::optional<TScpiAddress> ParseScpiAddress(const std::string &text, std::string &error)
{
    TScpiAddress address;
    bool ok = false;
    if (text.rfind("tcp:", 0) == 0)
        ok = ParseTcp(text.substr(4), address);
    else if (text.rfind("serial:", 0) == 0)
        ok = ParseSerial(text.substr(7), address);
    if (ok)
        return address;
    error = "\"" + text + "\" is not an instrument's address: write tcp:HOST[:PORT] (port 5025 when left out), "
            "tcp:[IPV6-ADDRESS]:PORT or serial:PORT[:BAUD] (9600 when left out)";
    return std::nullopt;
}

} // namespace station
