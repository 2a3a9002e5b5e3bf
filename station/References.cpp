#include "References.h"

#include "Number.h"

#include <algorithm>
#include <cmath>

namespace station {

namespace {

// An instrument's answer quoted in a message: short, whatever it sent.
std::string Quoted(const std::string &answer)
{
    return "\"" + (answer.size() > 40 ? answer.substr(0, 40) + "..." : answer) + "\"";
}

// ASCII only: the user's locale (the window sets it) must not change "pa" into another text.
std::string Upper(std::string text)
{
    for (char &c : text)
        if (c >= 'a' && c <= 'z')
            c = static_cast<char>(c - 'a' + 'A');
    return text;
}

std::string Trimmed(const std::string &text)
{
    const auto first = text.find_first_not_of(" \t");
    if (first == std::string::npos)
        return {};
    return text.substr(first, text.find_last_not_of(" \t") - first + 1);
}

// Opens the port and learns the identity; prefix names the instrument in errors.
bool OpenReference(TScpiPort &port, const TScpiAddress &address, int timeoutMs, const std::string &prefix,
                   TIdentity &identity, std::string &error)
{
    identity = {};
    std::string reason;
    if (!port.Open(address, timeoutMs, reason)) {
        error = prefix + reason;
        return false;
    }
    const auto idn = port.Query("*IDN?", timeoutMs, reason);
    if (!idn || Trimmed(*idn).empty()) {
        error = prefix + (idn ? address.Text() + ": an empty answer to *IDN?; check that this is the instrument meant"
                              : reason);
        port.Close();
        return false;
    }
    identity.text = Trimmed(*idn);
    return true;
}

// The meter's overload answer (9.9E37), either sign.
constexpr double kOverload = 9.0e37;

} // namespace

TMeter::TMeter(TEventLoop &loop, TMeterCommands commands) : m_port(loop), m_commands(std::move(commands)) {}

bool TMeter::Open(const TScpiAddress &address, std::string &error)
{
    if (!OpenReference(m_port, address, timeoutMs, "meter at ", m_identity, error))
        return false;
    std::string reason;
    if (!m_commands.configure.empty() && !m_port.Send(m_commands.configure, reason)) {
        error = "meter at " + reason;
        Close();
        return false;
    }
    return true;
}

void TMeter::Close()
{
    m_port.Close();
}

std::optional<double> TMeter::ReadMilliAmps(std::string &error)
{
    std::string reason;
    const auto answer = m_port.Query(m_commands.read, timeoutMs, reason);
    if (!answer) {
        error = "meter at " + reason;
        return std::nullopt;
    }
    const std::string where = "meter at " + m_port.Address().Text() + ": ";
    const auto amps = ParseNumber(*answer);
    if (!amps) {
        error = where + "the answer to " + m_commands.read + ", " + Quoted(*answer) +
                ", is not a number; set the meter to measure DC current";
        return std::nullopt;
    }
    if (std::fabs(*amps) >= kOverload) {
        error = where + "overload: the current is beyond the meter's range; set it to a DC current range of 30 mA "
                        "or more";
        return std::nullopt;
    }
    return *amps * 1000.0;
}

TPressureController::TPressureController(TEventLoop &loop, TControllerCommands commands)
    : m_port(loop), m_commands(std::move(commands))
{
}

bool TPressureController::Open(const TScpiAddress &address, std::string &error)
{
    return OpenReference(m_port, address, timeoutMs, "pressure controller at ", m_identity, error);
}

void TPressureController::Close()
{
    if (m_port.IsOpen()) {
        std::string ignored; // best effort: the connection may be what failed
        ControlOff(ignored);
    }
    m_port.Close();
}

bool TPressureController::UseUnit(const std::string &unit, std::string &error)
{
    static const char *const pressureUnits[] = {"PA", "KPA", "MPA", "HPA", "BAR", "MBAR", "PSI"};
    const std::string wanted = Upper(Trimmed(unit));
    const std::string where = "pressure controller at " + m_port.Address().Text() + ": ";
    if (std::find(std::begin(pressureUnits), std::end(pressureUnits), wanted) == std::end(pressureUnits)) {
        error = where + Quoted(unit) + " is not a pressure unit; use PA or KPA";
        return false;
    }
    std::string reason;
    if (!m_port.Send(m_commands.unit + " " + wanted, reason)) {
        error = "pressure controller at " + reason;
        return false;
    }
    const auto answer = m_port.Query(m_commands.unit + "?", timeoutMs, reason);
    if (!answer) {
        error = "pressure controller at " + reason;
        return false;
    }
    if (Upper(Trimmed(*answer)) != wanted) {
        error = where + "asked for " + wanted + ", it keeps " + Quoted(*answer) +
                "; set the unit on the controller by hand or choose the one it has";
        return false;
    }
    return true;
}

bool TPressureController::SetPoint(double value, std::string &error)
{
    if (!std::isfinite(value)) {
        error = "pressure controller at " + m_port.Address().Text() + ": the set point is not a number";
        return false;
    }
    std::string command = m_commands.setPoint;
    const auto mark = command.find("%1");
    if (mark == std::string::npos) {
        command += ' ';
        command += ShortText(value);
    } else {
        command.replace(mark, 2, ShortText(value));
    }
    std::string reason;
    if (!m_port.Send(command, reason)) {
        error = "pressure controller at " + reason;
        return false;
    }
    return true;
}

bool TPressureController::ControlOn(std::string &error)
{
    std::string reason;
    if (m_port.Send(m_commands.outputOn, reason))
        return true;
    error = "pressure controller at " + reason;
    return false;
}

bool TPressureController::ControlOff(std::string &error)
{
    std::string reason;
    if (m_port.Send(m_commands.outputOff, reason))
        return true;
    error = "pressure controller at " + reason;
    return false;
}

std::optional<TPressureReading> TPressureController::Read(std::string &error)
{
    const bool withFlag = !m_commands.readInLimits.empty();
    const std::string &command = withFlag ? m_commands.readInLimits : m_commands.read;
    std::string reason;
    const auto answer = m_port.Query(command, timeoutMs, reason);
    if (!answer) {
        error = "pressure controller at " + reason;
        return std::nullopt;
    }
    const std::string where = "pressure controller at " + m_port.Address().Text() + ": ";
    const auto comma = answer->find(',');
    if (withFlag != (comma != std::string::npos) || (withFlag && answer->find(',', comma + 1) != std::string::npos)) {
        error = where + "the answer to " + command + ", " + Quoted(*answer) + ", is not " +
                (withFlag ? "VALUE,FLAG" : "one number") + "; check the controller's command set in the station's settings";
        return std::nullopt;
    }
    const auto value = ParseNumber(answer->substr(0, comma));
    const auto flag = withFlag ? ParseNumber(answer->substr(comma + 1)) : std::optional<double>(0);
    if (!value || !flag || (*flag != 0 && *flag != 1)) {
        error = where + "the answer to " + command + ", " + Quoted(*answer) + ", is not " +
                (withFlag ? "a pressure and a flag 0 or 1" : "a pressure") +
                "; check the controller's command set in the station's settings";
        return std::nullopt;
    }
    return TPressureReading{*value, *flag == 1};
}

} // namespace station
