// The station's instruments: the references opened and read, the pressure
// brought and held, the output trimmed against the meter, and the eleven
// steps of kv508ctl calibrate on the one open session.
#include "Station.h"

#include "Commands.h"
#include "Output.h"
#include "Values.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <iostream>

#if !defined(_WIN32)
#include <unistd.h>
#endif

namespace ctlrec {

namespace {


// "MAKER,MODEL,SERIAL,FIRMWARE": the name and the serial as the record's references show them.
calib::TReference Reference(const QString &role, const station::TIdentity &identity)
{
    const QStringList parts = Q(identity.text).split(QLatin1Char(','));
    calib::TReference ref;
    ref.role = role;
    if (parts.size() >= 3) {
        ref.name = (parts[0].trimmed() + QLatin1Char(' ') + parts[1].trimmed()).trimmed();
        ref.serial = parts[2].trimmed();
        if (parts.size() >= 4 && !parts[3].trimmed().isEmpty())
            ref.name += QStringLiteral(" (firmware %1)").arg(parts.mid(3).join(QLatin1Char(',')).trimmed());
    } else {
        ref.name = Q(identity.text).trimmed();
    }
    return ref;
}

const QString kStandard = QStringLiteral("Pressure standard");
const QString kAmmeter = QStringLiteral("Ammeter (loop current)");

} // namespace

std::string Fixed(double value, int decimals)
{
    char text[64];
    std::snprintf(text, sizeof text, "%.*f", decimals, value);
    const std::string shown = text;
    // No "-0.00": a reading that rounds to zero is zero.
    return shown.find_first_not_of("-0.") == std::string::npos && shown[0] == '-' ? shown.substr(1) : shown;
}

TStation::TStation(const TStationOptions &o, const ctl::TLinkOptions &link)
    : m_o(o), m_session(link), m_meter(m_session.Loop(), o.meterCommands)
{
}

void TStation::Progress(const std::string &text) const
{
    if (m_session.Options().quiet)
        return;
    std::fprintf(stderr, "station: %s\n", text.c_str());
    std::fflush(stderr);
}

void TStation::CheckInterrupt(const std::string &where) const
{
    if (m_interrupt && m_interrupt->Requested())
        throw TFailure(ctl::exitUsage, "interrupted " + where);
}

void TStation::ReferenceFailed(const std::string &which, const std::string &error) const
{
    throw TFailure(ctl::exitReference, which + ": " + error);
}

void TStation::Open(calib::TRecord &r)
{
    std::string error;
    const std::optional<station::TScpiAddress> meterAt = station::ParseScpiAddress(m_o.meter, error);
    if (!meterAt)
        throw TFailure(ctl::exitUsage, "--meter " + m_o.meter + ": " + error);
    std::optional<station::TScpiAddress> controllerAt;
    if (!m_o.pressure.empty() && !(controllerAt = station::ParseScpiAddress(m_o.pressure, error)))
        throw TFailure(ctl::exitUsage, "--pressure " + m_o.pressure + ": " + error);
    m_session.Open();
    m_interrupt.emplace(m_session.Loop());
    m_interrupt->SetCleanup("the output is released and the controller's control turned off when the present request ends; "
                            "interrupt once more to end at once and leave them as they are",
                            "the output may still be forced (kv508ctl calibrate force-output off releases it) and the "
                            "pressure controller's control on");
    const kv508::TLiveData d = Poll();
    const kv508::TSettings settings = m_session.ReadSettings();
    m_decimals = d.Decimals;
    m_fullScale = d.ScaleEnd / std::pow(10.0, d.Decimals);
    m_unit = settings.InputCode == 1 ? "°C" : "Pa";
    if (settings.InputCode == 1 && controllerAt)
        throw TFailure(ctl::exitUsage, "the instrument on " + m_session.ShownPort() + " has the temperature input: a pressure "
                                       "controller cannot calibrate it; leave out --pressure (each temperature is then asked "
                                       "for on the terminal) or set input=pressure with kv508ctl settings set");

    m_meterAt = meterAt->Text();
    if (!m_meter.Open(*meterAt, error))
        ReferenceFailed("the meter cannot be used", error + "; check that it is on, connected and at that "
                                                                                 "address (--meter)");
    Progress("meter: " + m_meter.Identity().text + " on " + m_meterAt);
    for (calib::TReference &ref : r.references)
        if (ref.role == kAmmeter)
            ref = Reference(kAmmeter, m_meter.Identity());
    if (!controllerAt)
        return;
    m_controllerAt = controllerAt->Text();
    m_controller.emplace(m_session.Loop());
    if (!m_controller->Open(*controllerAt, error))
        ReferenceFailed("the pressure controller cannot be used",
                        error + "; check that it is on, connected and at that address (--pressure)");
    if (!m_controller->UseUnit(m_o.controllerUnit, error))
        ReferenceFailed("the pressure controller on " + m_controllerAt + " does not take the unit " + m_o.controllerUnit,
                        error + "; set it on the controller or give --controller-unit");
    m_unitScale = m_o.controllerUnit == "KPA" ? 1000.0 : 1.0;
    Progress("pressure controller: " + m_controller->Identity().text + " on " + m_controllerAt);
    for (calib::TReference &ref : r.references)
        if (ref.role == kStandard)
            ref = Reference(kStandard, m_controller->Identity());
}

double TStation::MeterMilliAmps(int readings)
{
    double sum = 0;
    for (int i = 0; i < readings; ++i) {
        std::string error;
        const std::optional<double> mA = m_meter.ReadMilliAmps(error);
        if (!mA)
            ReferenceFailed("the meter failed", error + "; check the meter and its connection, and that it "
                                                                               "measures DC current in the loop");
        sum += *mA;
    }
    return sum / readings;
}

double TStation::ControllerReading()
{
    std::string error;
    const std::optional<station::TPressureReading> p = m_controller->Read(error);
    if (!p)
        ReferenceFailed("the pressure controller failed", error + "; check the controller and its connection");
    return p->value * m_unitScale;
}

double TStation::Apply(double value, const std::string &what)
{
    CheckInterrupt("before " + what);
    if (!m_controller)
        return AskOperator(value, what);
    std::string error;
    if (!m_controller->SetPoint(value / m_unitScale, error))
        ReferenceFailed("the pressure controller on " + m_controllerAt + " did not take the set point " + Fixed(value, 2) + " " +
                            m_unit, error);
    if (!m_controlOn) {
        if (!m_controller->ControlOn(error))
            ReferenceFailed("the pressure controller on " + m_controllerAt + " did not turn its control on", error);
        m_controlOn = true;
    }
    const int64_t started = TEventLoop::NowMs();
    for (;;) {
        const std::optional<station::TPressureReading> p = m_controller->Read(error);
        if (!p)
            ReferenceFailed("the pressure controller failed", error + "; check the controller and its connection");
        if (p->inLimits)
            return p->value * m_unitScale;
        if (TEventLoop::NowMs() - started >= m_o.settleTimeoutMs)
            ReferenceFailed("the pressure controller on " + m_controllerAt + " did not hold " + Fixed(value, 2) + " " + m_unit,
                            "not within its limits after " + std::to_string(m_o.settleTimeoutMs / 1000) + " s (last " +
                                Fixed(p->value * m_unitScale, 3) + " " + m_unit + "); check the pneumatics for leaks and the "
                                "controller's limits, or give it longer with --settle-timeout MS");
        if (!ctl::Pause(m_session.Loop(), *m_interrupt, 200))
            CheckInterrupt("while the pressure controller brought " + Fixed(value, 2) + " " + m_unit);
    }
}

double TStation::AskOperator(double value, const std::string &what)
{
    const std::string asked = Fixed(value, std::max(2, m_decimals));
    std::fprintf(stderr, "station: %s: apply %s %s and press Enter (or type the value applied, in %s)\n", what.c_str(),
                 asked.c_str(), m_unit.c_str(), m_unit.c_str());
    std::fflush(stderr);
    for (;;) {
        std::string line;
        bool ended = false;
#if !defined(_WIN32)
        // Read on the loop, so that Ctrl+C still ends the wait; what follows the line is kept for the next question.
        size_t nl = m_input.find('\n');
        if (nl == std::string::npos && !m_inputEnded) {
            TFdWatch watch(m_session.Loop(), STDIN_FILENO, [&](unsigned) {
                char chunk[256];
                const ssize_t n = ::read(STDIN_FILENO, chunk, sizeof chunk);
                if (n <= 0)
                    m_inputEnded = true;
                else
                    m_input.append(chunk, size_t(n));
            });
            while ((nl = m_input.find('\n')) == std::string::npos && !m_inputEnded) {
                const size_t had = m_input.size();
                watch.WaitRead();
                m_session.Loop().RunUntil([&] { return m_input.size() != had || m_inputEnded || m_interrupt->Requested(); }, 1000);
                CheckInterrupt("while waiting for " + asked + " " + m_unit + " to be applied");
            }
        }
        line = m_input.substr(0, nl);
        m_input.erase(0, nl == std::string::npos ? std::string::npos : nl + 1);
        ended = nl == std::string::npos;
#else
        ended = !std::getline(std::cin, line);
        CheckInterrupt("while waiting for " + asked + " " + m_unit + " to be applied");
#endif
        if (ended && line.empty())
            throw TFailure(ctl::exitUsage, "standard input ended while waiting for " + asked + " " + m_unit +
                                               " to be applied: run it on a terminal, or give --pressure");
        const QString typed = Q(line).trimmed();
        if (typed.isEmpty())
            return value;
        bool ok = false;
        const double applied = typed.toDouble(&ok);
        if (ok && std::isfinite(applied))
            return applied;
        std::fprintf(stderr, "station: \"%s\" is not a number: press Enter when %s %s is applied, or type the value applied\n",
                     line.c_str(), asked.c_str(), m_unit.c_str());
        std::fflush(stderr);
    }
}

kv508::TLiveData TStation::Poll(bool force, uint16_t drive)
{
    if (force) {
        m_forced = true; // from the request on: its answer may be lost after the instrument took it
        m_forcedDrive = drive;
    }
    const kv508::TLiveData d = m_session.Poll(force, drive);
    if (!force)
        m_forced = false;
    return d;
}

void TStation::CleanUp()
{
    if (m_forced)
        m_forced = !ctl::ReleaseOutput(m_session, "the output may still be forced at drive " + std::to_string(m_forcedDrive) +
                                                      ": kv508ctl calibrate force-output off releases it");
    if (m_controller && m_controlOn) {
        std::string error;
        if (m_controller->ControlOff(error))
            m_controlOn = false;
        else
            std::fprintf(stderr, "kv508ctl: the pressure controller on %s may still be controlling (turning it off failed: %s); "
                                 "turn its control off on the controller\n", m_controllerAt.c_str(), error.c_str());
    }
}

std::string TStation::Acknowledged() const
{
    std::string text;
    for (const std::string &a : m_acknowledged)
        text += (text.empty() ? "" : ", ") + a;
    if (!m_pending.empty())
        text += (text.empty() ? "" : ", ") + m_pending + " (sent, not acknowledged: it may have been taken)";
    return text.empty() ? "none" : text;
}

} // namespace ctlrec
