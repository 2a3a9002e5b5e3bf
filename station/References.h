// The reference instruments of a calibration station, on SCPI: the meter in
// the loop reads the transmitter's output current, the pressure controller
// applies the pressure. Every command is configurable (other models); the
// defaults are the ones common bench instruments document.
#pragma once

#include "ScpiPort.h"

#include <optional>
#include <string>

namespace station {

struct TMeterCommands {
    std::string configure = "CONF:CURR:DC"; // sent once after opening; empty: none
    std::string read = "READ?";             // answers amperes ("MEAS:CURR:DC?" alone does both)
};

struct TControllerCommands {
    std::string setPoint = ":SOUR:PRES %1";  // %1: the value in the controller's unit
    std::string outputOn = ":OUTP:STAT ON";
    std::string outputOff = ":OUTP:STAT OFF";
    std::string read = ":SENS:PRES?";
    std::string readInLimits = ":SENS:PRES:INL?"; // answers "VALUE,FLAG" (FLAG 1: in limits)
    std::string unit = ":UNIT:PRES";             // "UNIT" sets, "UNIT?" asks
};

// A reference's identity as the certificate names it: the *IDN? answer.
struct TIdentity {
    std::string text; // "MAKER,MODEL,SERIAL,FIRMWARE", as answered
};

class TMeter
{
public:
    explicit TMeter(TEventLoop &loop, TMeterCommands commands = {});

    // Opens, asks *IDN? and sends the configure command. False with error.
    bool Open(const TScpiAddress &address, std::string &error);
    void Close();
    const TIdentity &Identity() const { return m_identity; }
    // One reading in mA (the meter answers amperes). Empty with error on no
    // answer, an answer that is not a number, or an overload (9.9E37).
    std::optional<double> ReadMilliAmps(std::string &error);
    int timeoutMs = 3000;

private:
    TScpiPort m_port;
    TMeterCommands m_commands;
    TIdentity m_identity;
};

struct TPressureReading {
    double value = 0; // in the controller's unit
    bool inLimits = false;
};

class TPressureController
{
public:
    explicit TPressureController(TEventLoop &loop, TControllerCommands commands = {});

    bool Open(const TScpiAddress &address, std::string &error);
    // Turns control off (best effort) and closes.
    void Close();
    const TIdentity &Identity() const { return m_identity; }
    // Sets the controller's pressure unit ("PA", "KPA", "CEL" is refused) and
    // reads it back; false with error when the controller keeps another.
    bool UseUnit(const std::string &unit, std::string &error);
    bool SetPoint(double value, std::string &error);
    bool ControlOn(std::string &error);
    bool ControlOff(std::string &error);
    std::optional<TPressureReading> Read(std::string &error);
    int timeoutMs = 3000;

private:
    TScpiPort m_port;
    TControllerCommands m_commands;
    TIdentity m_identity;
};

} // namespace station
