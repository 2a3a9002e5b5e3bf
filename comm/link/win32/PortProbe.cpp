// The probe on Windows: every COM number is tried with an exclusive open, as
// the user's own open would do it. The registry's SERIALCOMM list would be
// quicker, but it names ports that another program holds, and it misses
// ports that Wine maps by hand; the opens are what decide either way.
#include "PortProbe.h"
#include "Text.h"

#include "WinText.h"

#include <string_view>

#include <windows.h>

namespace PortProbe {

namespace {

// Win64 runs on the NT family only, so every number up to 255 is tried.
constexpr int kHighestPort = 255;

std::string PortName(int number)
{
    // From 10 on only the device path opens; that is also what the list shows.
    return (number <= 9 ? "COM" : "\\\\.\\COM") + std::to_string(number);
}

std::string_view WithoutDevicePrefix(std::string_view name)
{
    if (name.substr(0, 4) == "\\\\.\\")
        name.remove_prefix(4);
    return name;
}

using mbcore::Join;

} // namespace

std::string ResolvePortPath(const std::string &name)
{
    if (name.empty())
        return {};
    if (name.substr(0, 2) == "\\\\")
        return name;
    return "\\\\.\\" + name;
}

TProbeResult Probe()
{
    TProbeResult result;
    std::vector<std::string> busy;
    for (int i = 1; i <= kHighestPort; ++i) {
        const std::string name = PortName(i);
        const HANDLE h = ::CreateFileW(wintext::Wide(ResolvePortPath(name)).c_str(), GENERIC_READ | GENERIC_WRITE, 0,
                                       nullptr, OPEN_EXISTING, 0, nullptr);
        if (h == INVALID_HANDLE_VALUE) {
            if (::GetLastError() == ERROR_ACCESS_DENIED) // present, and another program has it
                busy.push_back(name);
            continue;
        }
        ::CloseHandle(h);
        result.ports.push_back(name);
        TPortInfo info;
        info.name = name;
        result.infos.push_back(info);
    }
    if (!busy.empty())
        result.hint = Join(busy, ", ") + (busy.size() == 1 ? " is " : " are ") + BusyReason(false);
    return result;
}

// Windows keeps no holder list that could be read without opening the port;
// the open itself says "access denied" for a port in use.
std::string InUseReason(const std::string &, bool *unseen)
{
    if (unseen)
        *unseen = false;
    return {};
}

std::string BusyReason(bool)
{
    return "in use by another program";
}

bool NaturalLess(const std::string &a, const std::string &b)
{
    const auto split = [](std::string_view name) -> std::pair<std::string_view, long long> {
        name = WithoutDevicePrefix(name);
        std::size_t i = name.size();
        while (i > 0 && name[i - 1] >= '0' && name[i - 1] <= '9')
            --i;
        if (i == name.size() || name.size() - i > 18)
            return {name, -1};
        long long number = 0;
        for (const char c : name.substr(i))
            number = number * 10 + (c - '0');
        return {name.substr(0, i), number};
    };
    const auto lower = [](std::string_view s) {
        std::string out(s);
        for (char &c : out)
            if (c >= 'A' && c <= 'Z')
                c = static_cast<char>(c - 'A' + 'a');
        return out;
    };
    const auto [fa, na] = split(a);
    const auto [fb, nb] = split(b);
    const std::string la = lower(fa), lb = lower(fb);
    if (la != lb)
        return la < lb;
    if (na != nb)
        return na < nb;
    return a < b;
}

} // namespace PortProbe
