// The subcommands. Each takes the parsed command line, talks to the
// instrument through a TSession and returns the exit code; failures that end
// the program are thrown as TFailure.
#pragma once

#include "Session.h"

#include <string>
#include <vector>

namespace ctl {

extern const char *const ToolVersion;

int RunPorts(bool json);

struct TReadOptions {
    bool watch = false;
    int intervalMs = 1000;
    long count = 0; // 0: until interrupted
    std::string format = "text"; // text, csv, json
    bool trace = false;
    bool reconnect = true; // with watch: wait for a lost adapter and go on
    bool reconnectAny = false; // and go on even when another instrument answers on it
};
int RunRead(const TLinkOptions &link, const TReadOptions &o);

int RunSettingsGet(const TLinkOptions &link, bool json);
// force: an inverted span (a reverse-acting output) is written, with a warning.
int RunSettingsSet(const TLinkOptions &link, const std::vector<std::string> &keyValues, bool force = false);

int RunBackup(const TLinkOptions &link, const std::string &file);
int RunRestore(const TLinkOptions &link, const std::string &file, bool dryRun, bool force = false);
int RunDiff(const TLinkOptions &link, const std::string &file, bool json);

struct TPointOptions {
    bool wait = true;        // zero, set-zero, scale-end: wait for the reading to settle first
    int maxWaitMs = 60000;   // and give up (exit 7, no point taken) after this long
};
// zero (2), set-zero (3), scale-end (9), reset (251), erase (6). After zero and
// reset, an instrument that still reports "not calibrated" (after reset also
// "output out of range") is exit code 7.
int RunCalibrationPoint(const TLinkOptions &link, uint8_t command, const TPointOptions &o = {});

class TInterrupt;
// The same on an open session; the poll after it. interrupt: the caller's
// (its cleanup stays in force while the reading settles), else one of its own.
kv508::TLiveData CalibrationPointOn(TSession &s, uint8_t command, const TPointOptions &o, const TInterrupt *interrupt = nullptr);
// With the output forced at pwm: takes it as the 4 mA (4) or 20 mA (5) point; the forced poll after it.
kv508::TLiveData ForcedPointOn(TSession &s, uint16_t pwm, uint8_t point);
// The poll that ends a force. False (and said on standard error, even with
// --quiet, followed by undone) when it did not reach the instrument.
bool ReleaseOutput(TSession &s, const std::string &undone);

struct TForceOptions {
    std::string value;     // on, off, 0..8191, F, 50%
    int onPwm = 0;         // the drive value "on" forces
    int holdMs = 0;        // keep the output forced (and polled) this long
    uint8_t then = 0;      // 4 or 5: take that point while forced; 0: none
};
int RunForceOutput(const TLinkOptions &link, const TForceOptions &o);

struct TMonitorOptions {
    std::string output; // empty: standard output
    bool json = false;
    int durationMs = 0; // 0: until interrupted
};
int RunMonitor(const TLinkOptions &link, const TMonitorOptions &o);

} // namespace ctl
