// The eleven steps of kv508ctl calibrate, with the pressures applied by the
// station and the output points found by trimming against the meter.
#include "Station.h"

#include "Commands.h"
#include "Values.h"

#include <algorithm>
#include <cmath>
#include <cstdio>

namespace ctlrec {

void TStation::Point(uint8_t command)
{
    ctl::TPointOptions o;
    o.maxWaitMs = std::max(m_o.settleTimeoutMs, 500);
    m_pending = ctl::CommandName(command);
    try {
        ctl::CalibrationPointOn(m_session, command, o, &*m_interrupt);
    } catch (const TFailure &f) {
        // Refused before it was sent (the reading did not settle, interrupted): nothing was taken. Still
        // not calibrated after it: taken, and the instrument says so. Anything else: it may have been taken.
        const bool notSent = f.code == ctl::exitUsage || std::string(f.what()).find("no point was taken") != std::string::npos;
        if (!notSent && f.code == ctl::exitNotCalibrated)
            m_acknowledged.push_back(m_pending);
        if (notSent || f.code == ctl::exitNotCalibrated)
            m_pending.clear();
        throw;
    }
    m_acknowledged.push_back(m_pending);
    m_pending.clear();
    Progress(ctl::CommandName(command) + ": acknowledged");
}

// Where the instrument itself puts 4 and 20 mA: two forced polls tell its
// stored output points (the current it reports is computed from them).
std::pair<int, int> TStation::InstrumentOutputPoints()
{
    const int low = int(std::lround(4.0 / 24.0 * kv508::PWMMax)), high = int(std::lround(20.0 / 24.0 * kv508::PWMMax));
    const double atLow = Poll(true, uint16_t(low)).OutputValue, atHigh = Poll(true, uint16_t(high)).OutputValue;
    const double perStep = (atHigh - atLow) / (high - low); // µA
    if (!(perStep > 0))
        return {low, high};
    auto drive = [&](double microAmps, int from, double at) {
        return int(std::clamp<long>(std::lround(from + (microAmps - at) / perStep), 0, kv508::PWMMax));
    };
    return {drive(4000, low, atLow), drive(20000, high, atHigh)};
}

TTrimResult TStation::TrimAndSet(double target, int startDrive, uint8_t point)
{
    const std::string what = "trim " + Fixed(target, 0) + " mA";
    station::TTrimOptions options;
    options.targetMilliAmps = target;
    options.toleranceMilliAmps = m_trimTolerance;
    options.readingsPerStep = 2;
    station::TTrim trim(options, startDrive);
    while (trim.State() == station::TTrimState::Running) {
        CheckInterrupt("during the " + what);
        const int drive = trim.Drive();
        Poll(true, uint16_t(drive));
        const double mA = MeterMilliAmps(options.readingsPerStep);
        Progress(what + ": drive " + std::to_string(drive) + ", meter " + Fixed(mA, 4) + " mA");
        trim.Feed(mA);
    }
    if (trim.State() == station::TTrimState::Failed)
        throw TFailure(ctl::exitNotCalibrated, "the " + what + " failed: " + trim.Text());
    Progress(what + ": " + trim.Text());
    const int drive = trim.Drive();
    const std::vector<station::TTrimStep> &steps = trim.Steps();
    TTrimResult result{drive, 0, int(steps.size())};
    for (const station::TTrimStep &s : steps)
        if (s.drive == drive)
            result.milliAmps = s.milliAmps;
    CheckInterrupt("before " + ctl::CommandName(point));
    Poll(true, uint16_t(drive));
    m_pending = ctl::CommandName(point);
    ctl::ForcedPointOn(m_session, uint16_t(drive), point);
    m_acknowledged.push_back(m_pending + " at drive " + std::to_string(drive));
    m_pending.clear();
    Progress(ctl::CommandName(point) + " at drive " + std::to_string(drive) + ": acknowledged");
    return result;
}

void TStation::Calibrate()
{
    const std::optional<calib::TDecimal> tolerance = calib::ParseDecimal(m_o.trimTolerance, calib::kCurrentDecimals);
    m_trimTolerance = tolerance ? tolerance->Value() : 0.001;
    Apply(0, "set-zero");
    Point(kv508::Cmd_SetAs0);
    Apply(m_fullScale, "scale-end");
    Point(kv508::Cmd_SetAsScaleEnd);
    const auto [start4, start20] = InstrumentOutputPoints();
    m_trim[0] = TrimAndSet(4.0, start4, kv508::Cmd_SetAs4mA);
    // The 20 mA point from the 4 mA one found, along the instrument's own slope.
    m_trim[1] = TrimAndSet(20.0, std::clamp(start20 + (m_trim[0].drive - start4), 0, int(kv508::PWMMax)), kv508::Cmd_SetAs20mA);
    const kv508::TLiveData released = Poll();
    Progress("the output is released: the instrument reports " + ctl::FormatMilliAmps(released.OutputValue) + " mA");
    Apply(0, "reset and zero");
    Point(kv508::Cmd_Reset);
    Point(kv508::Cmd_Zero);
    Point(kv508::Cmd_Reset);
}

} // namespace ctlrec
