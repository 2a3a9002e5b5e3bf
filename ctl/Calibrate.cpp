// The calibration requests: the points that take the instrument's reading
// (waiting for it to settle first), reset, erase, and the forced output.
#include "Commands.h"

#include "Checks.h"
#include "Clock.h"
#include "Interrupt.h"
#include "Output.h"
#include "Values.h"

#include <algorithm>
#include <cstdio>
#include <optional>

namespace ctl {

namespace {

using kv508::TLiveData;

std::string StateText(const TLiveData &d)
{
    std::string flags;
    for (const kv508::TErrorFlag &f : kv508::ErrorFlags)
        if (d.ErrorBits & f.bit)
            flags += (flags.empty() ? "" : ", ") + std::string(f.name);
    return "calibrated " + kv508::FormatDateCode(d.CalibrationDateCode) + ", output " + FormatMilliAmps(d.OutputValue) +
           " mA, errors: " + (flags.empty() ? "none" : flags);
}

std::string Seconds(int64_t ms)
{
    char text[32];
    std::snprintf(text, sizeof text, "%.1f s", double(ms) / 1000.0);
    return text;
}

const char *FlagLabel(uint8_t bit)
{
    for (const kv508::TErrorFlag &f : kv508::ErrorFlags)
        if (f.bit == bit)
            return f.name;
    return "?";
}

// A point takes the instrument's averaged reading, a moving mean over the
// last "averaging" samples: a pressure applied moments ago is only partly in
// it. Polls until the reading has stayed put for that long.
TLiveData WaitSettled(TSession &s, TLiveData d, uint8_t command, const TPointOptions &o, const TInterrupt &interrupt)
{
    const kv508::TSettings settings = s.ReadSettings();
    // An erased instrument's 65535: as long as the longest averaging, to be safe.
    const uint16_t averaging = std::clamp<uint16_t>(settings.Averaging, kv508::AveragingLow, kv508::AveragingHigh);
    const int64_t window = std::max<int64_t>(SettleWindowMs(averaging, d.SPS), 500);
    const std::string what = CommandName(command);
    if (window > o.maxWaitMs)
        throw TFailure(exitNotCalibrated, what + ": averaging " + std::to_string(averaging) + " at " + std::to_string(d.SPS) +
                                              " SPS takes " + Seconds(window) + " to settle, longer than --max-wait " +
                                              std::to_string(o.maxWaitMs) + "; raise --max-wait; no point was taken");
    s.Note("waiting for the reading to settle (averaging " + std::to_string(averaging) + " at " + std::to_string(d.SPS) +
           " SPS: " + Seconds(window) + " at least; --no-wait does not wait)");
    TSettle settle(window);
    const int64_t started = TEventLoop::NowMs();
    settle.Add(started, d);
    while (!settle.Settled()) {
        if (TEventLoop::NowMs() - started >= o.maxWaitMs)
            throw TFailure(exitNotCalibrated, what + ": the reading did not settle within " + Seconds(o.maxWaitMs) + ": it " +
                                                  settle.MovementText() + "; hold the pressure steady and run it again "
                                                  "(--max-wait MS waits longer, --no-wait takes the reading as it is); "
                                                  "no point was taken");
        if (!Pause(s.Loop(), interrupt, 100))
            throw TFailure(exitUsage, "interrupted while waiting for the reading to settle: no point was taken");
        d = s.Poll();
        settle.Add(TEventLoop::NowMs(), d);
    }
    s.Note("the reading settled at " + FormatScaled(d.MeasuredValue, d.Decimals) + " after " +
           Seconds(TEventLoop::NowMs() - started));
    return d;
}

} // namespace

TLiveData CalibrationPointOn(TSession &s, uint8_t command, const TPointOptions &o, const TInterrupt *interrupt)
{
    TLiveData before = s.Poll();
    const bool takesReading = command == kv508::Cmd_Zero || command == kv508::Cmd_SetAs0 || command == kv508::Cmd_SetAsScaleEnd;
    if (takesReading && o.wait) {
        // A second handler of our own would drop the caller's cleanup when it ends.
        std::optional<TInterrupt> own;
        before = WaitSettled(s, before, command, o, interrupt ? *interrupt : own.emplace(s.Loop()));
    } else if (takesReading) {
        s.Note("--no-wait: the point takes the reading as it is now, settled or not");
    }
    s.Request(command);
    // The poll after it shows the result; after a reset it waits (with the
    // tries) until the instrument answers again, so the next command finds it up.
    const TLiveData after = s.Poll();
    s.Note(CommandName(command) + ": done; " + StateText(after));
    // The last steps of a calibration: an instrument that still says it is not
    // calibrated, or drives its output out of range, has not taken a point.
    const uint8_t notCalibrated = kv508::Err_NotCalibrated, outOfRange = kv508::Err_OutputOutOfRange;
    if ((command == kv508::Cmd_Reset || command == kv508::Cmd_Zero) && (after.ErrorBits & notCalibrated))
        throw TFailure(exitNotCalibrated, "the instrument still reports \"" + std::string(FlagLabel(notCalibrated)) +
                                              "\" (not calibrated): a point of the calibration did not take; run set-zero "
                                              "and scale-end (the input) and set-4ma and set-20ma (the output) again");
    if (command == kv508::Cmd_Reset && (after.ErrorBits & outOfRange))
        throw TFailure(exitNotCalibrated, "the instrument reports \"" + std::string(FlagLabel(outOfRange)) +
                                              "\" (output out of range) at " + FormatScaled(after.MeasuredValue, after.Decimals) +
                                              ": the pressure applied lies outside the span (settings get), or the "
                                              "set-zero or scale-end point did not take");
    return after;
}

int RunCalibrationPoint(const TLinkOptions &link, uint8_t command, const TPointOptions &o)
{
    TSession s(link);
    s.Open();
    CalibrationPointOn(s, command, o);
    return exitOK;
}

bool ReleaseOutput(TSession &s, const std::string &undone)
{
    try {
        const TLiveData d = s.Poll(false, 0);
        s.Note("the output is released: the instrument reports " + FormatMilliAmps(d.OutputValue) + " mA");
        return true;
    } catch (const TFailure &f) {
        std::fprintf(stderr, "kv508ctl: %s (the release failed: %s)\n", undone.c_str(), f.what());
        std::fflush(stderr);
        return false;
    }
}

TLiveData ForcedPointOn(TSession &s, uint16_t pwm, uint8_t point)
{
    s.Request(point);
    const TLiveData d = s.Poll(true, pwm);
    s.Note(CommandName(point) + " at drive " + std::to_string(pwm) + ": done; " + StateText(d));
    return d;
}

int RunForceOutput(const TLinkOptions &link, const TForceOptions &o)
{
    TForce force;
    try {
        force = ParseForce(o.value, static_cast<uint16_t>(o.onPwm));
    } catch (const std::invalid_argument &e) {
        throw TFailure(exitUsage, e.what());
    }
    if (o.then != 0 && !force.on)
        throw TFailure(exitUsage, "the output must be forced to take the " + std::string(o.then == kv508::Cmd_SetAs4mA ? "4" : "20") +
                                      " mA point: give a drive value");
    TSession s(link);
    s.Open();
    TInterrupt interrupt(s.Loop());
    // From the first forced poll on, every way out but success releases the output.
    const std::string undone = "the output may still be forced at drive " + std::to_string(force.pwm) +
                               ": kv508ctl calibrate force-output off releases it";
    if (force.on)
        interrupt.SetCleanup("the output is released when the present request ends; interrupt once more to end at once "
                             "and leave it forced",
                             undone);
    bool taken = false;
    TLiveData d;
    try {
        d = s.Poll(force.on, force.pwm);
        const std::string what = force.on ? "output forced at drive " + std::to_string(force.pwm) + " of 8191" : "output released";
        s.Note(what + ": the instrument reports " + FormatMilliAmps(d.OutputValue) + " mA");
        // Held: forced polls back to back, each answer on standard output.
        const int64_t until = TEventLoop::NowMs() + o.holdMs;
        while (o.holdMs > 0 && TEventLoop::NowMs() < until && !interrupt.Requested()) {
            d = s.Poll(force.on, force.pwm);
            Out(LiveLine(d, IsoNow()));
        }
        if (o.then != 0 && !interrupt.Requested()) {
            taken = true;
            d = ForcedPointOn(s, force.pwm, o.then);
        }
    } catch (...) {
        if (force.on)
            ReleaseOutput(s, undone);
        throw;
    }
    if (interrupt.Requested()) {
        const bool released = !force.on || ReleaseOutput(s, undone);
        throw TFailure(exitUsage, std::string("interrupted: ") + (released ? "the output is released" : "the output may still be forced") +
                                      (o.then == 0 ? "" : taken ? "; the point was taken" : "; no point was taken"));
    }
    interrupt.SetCleanup({}, {}); // forced on purpose from here on
    if (force.on)
        s.Note("the output stays forced until the next command (kv508ctl calibrate force-output off releases it)");
    return exitOK;
}

} // namespace ctl
