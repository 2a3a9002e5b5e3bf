// kv508ctl station: a whole calibration without a person. The meter in the
// loop and the pressure controller (station/) beside the instrument's session;
// the record, its points and its certificate as record and records make them.
#pragma once

#include "Interrupt.h"
#include "Records.h"
#include "References.h"
#include "Trim.h"

#include <memory>
#include <optional>
#include <string>
#include <vector>

namespace ctlrec {

struct TStationOptions {
    std::string meter;    // tcp:HOST:PORT or serial:PORT:BAUD
    std::string pressure; // empty: the operator applies each pressure
    TNewOptions record;
    std::string trimTolerance = "0.001"; // mA
    station::TMeterCommands meterCommands;
    std::string controllerUnit = "PA";
    int settleTimeoutMs = 60000; // the controller's in-limits flag, and the instrument's reading
    std::string certificate;     // the PDF; empty: CERT.pdf in the working directory
    std::string issuer;
    std::string format = "text";
};

int RunStation(const QString &location, const ctl::TLinkOptions &link, const TStationOptions &o);

// value with that many decimals, never "-0.00".
std::string Fixed(double value, int decimals);

struct TTrimResult {
    int drive = 0;
    double milliAmps = 0;
    int steps = 0;
};

// One run's instruments and what the instrument has taken so far.
class TStation
{
public:
    TStation(const TStationOptions &o, const ctl::TLinkOptions &link);

    // The instrument, the meter and the controller, open; the references in r.
    void Open(calib::TRecord &r);
    // The points of one phase, each stored as it is taken.
    void Check(calib::TRecordStore &store, calib::TRecord &r, calib::TPhase phase);
    // The eleven steps, the output trimmed against the meter.
    void Calibrate();
    // Releases a forced output and turns the controller's control off; what did not work, said on standard error.
    void CleanUp();
    // "set-zero, scale-end" or "none": the calibration requests the instrument acknowledged.
    std::string Acknowledged() const;
    bool CalibrationChanged() const { return !m_acknowledged.empty() || !m_pending.empty(); }
    void Progress(const std::string &text) const;
    // Throws when Ctrl+C was pressed.
    void CheckInterrupt(const std::string &where) const;

    ctl::TSession &Session() { return m_session; }
    const TTrimResult &Trim4() const { return m_trim[0]; }
    const TTrimResult &Trim20() const { return m_trim[1]; }

private:
    double MeterMilliAmps(int readings);
    // Brings the pressure to value (the instrument's unit); the value applied, as the controller reads it.
    double Apply(double value, const std::string &what);
    double ControllerReading();
    double AskOperator(double value, const std::string &what);
    [[noreturn]] void ReferenceFailed(const std::string &which, const std::string &error) const;
    kv508::TLiveData Poll(bool force = false, uint16_t drive = 0);
    void Point(uint8_t command);
    TTrimResult TrimAndSet(double target, int startDrive, uint8_t point);
    std::pair<int, int> InstrumentOutputPoints();

    const TStationOptions &m_o;
    ctl::TSession m_session;
    std::optional<ctl::TInterrupt> m_interrupt;
    station::TMeter m_meter;
    std::optional<station::TPressureController> m_controller;
    std::string m_meterAt, m_controllerAt;
    double m_unitScale = 1; // the instrument's unit per controller unit
    double m_trimTolerance = 0.001;
    bool m_controlOn = false;
    bool m_forced = false;
    int m_forcedDrive = 0;
    std::string m_unit = "Pa";
    int m_decimals = 0;
    double m_fullScale = 0;
    std::vector<std::string> m_acknowledged;
    std::string m_pending; // a request sent and not (yet) acknowledged
    std::string m_input;   // the operator's typing not yet taken
    bool m_inputEnded = false;
    TTrimResult m_trim[2];
};

} // namespace ctlrec
