#include "Commands.h"

#include "Checks.h"
#include "Clock.h"
#include "Files.h"
#include "Interrupt.h"
#include "Output.h"
#include "PortProbe.h"
#include "Values.h"

#include "FrameMonitor.h"
#include "LoopHost.h"
#include "SerialLink.h"

#include <nlohmann/json.hpp>

#include <algorithm>
#include <cerrno>
#include <climits>
#include <cstdio>
#include <filesystem>
#include <memory>

namespace ctl {

#if defined(KV508CTL_VERSION)
const char *const ToolVersion = KV508CTL_VERSION;
#else
const char *const ToolVersion = "unknown";
#endif

namespace {

using kv508::TLiveData;
using kv508::TSettings;

TBackup LoadBackup(const std::string &file)
{
    try {
        return ParseBackup(ReadFile(file));
    } catch (const std::invalid_argument &e) {
        throw TFailure(exitUsage, ShownName(file) + ": " + e.what() + "; nothing was written to the instrument");
    }
}

std::string DifferenceLines(const std::vector<TDifference> &diff, const char *wantedName, const char *actualName)
{
    std::string out;
    for (const TDifference &d : diff)
        out += std::string(KeyName(d.key)) + ": " + wantedName + " " + d.wanted + ", " + actualName + " " + d.actual + "\n";
    return out;
}

// Writes in one request (the instrument takes a frame whole or not at all) and
// reads back; a difference is exit code 5. A lost line (exit code 2) or a
// missing answer (3) says what the instrument may hold now: untouched when the
// write never left this computer, possibly changed once it had.
void WriteAndVerify(TSession &s, uint8_t command, const TSettings &wanted)
{
    TSettings back;
    const uint32_t sentBefore = s.SentFrames();
    bool confirmed = false;
    try {
        s.Request(command, wanted);
        confirmed = true;
        back = s.ReadSettings();
    } catch (const TFailure &f) {
        if (f.code != exitNoAnswer && f.code != exitPort)
            throw;
        std::string outcome;
        if (confirmed)
            outcome = "; the instrument confirmed the write before that, but it was not read back: check with "
                      "kv508ctl settings get";
        else if (s.SentFrames() == sentBefore)
            outcome = "; nothing was written to the instrument: its settings are unchanged";
        else
            outcome = "; the write had been sent, so the instrument may have stored the settings: check with "
                      "kv508ctl settings get (or diff against a backup), or write again";
        throw TFailure(f.code, std::string(f.what()) + outcome);
    }
    const std::vector<TDifference> diff = Differences(wanted, back);
    if (!diff.empty())
        throw TFailure(exitMismatch, "the instrument holds other values than were written:\n" +
                                         DifferenceLines(diff, "written", "read back") +
                                         "check the instrument (kv508ctl read) and write again");
}

} // namespace

// ---- ports ----------------------------------------------------------------------------------------

int RunPorts(bool json)
{
    const PortProbe::TProbeResult probe = PortProbe::Probe();
    auto oneLine = [](const PortProbe::TPortInfo &info) {
        std::string d;
        for (const std::string *part : {&info.manufacturer, &info.product})
            if (!part->empty())
                d += (d.empty() ? "" : " ") + *part;
        if (!info.usbId.empty())
            d += (d.empty() ? "" : " ") + ("(" + info.usbId + ")");
        if (!info.serialNumber.empty())
            d += (d.empty() ? "" : " ") + ("serial " + info.serialNumber);
        if (d.empty() && !info.driver.empty())
            d = info.driver;
        return d;
    };
    if (json) {
        nlohmann::ordered_json j;
        j["ports"] = nlohmann::ordered_json::array();
        for (std::size_t i = 0; i < probe.ports.size(); ++i) {
            const PortProbe::TPortInfo &info = probe.infos[i];
            nlohmann::ordered_json p;
            p["name"] = probe.ports[i];
            std::error_code ignored;
            const std::string link = PortProbe::ResolvePortPath(probe.ports[i]);
            const std::string device = std::filesystem::weakly_canonical(link, ignored).string();
            p["path"] = device.empty() ? link : device; // the device behind a virtual port's link
            p["description"] = oneLine(info);
            p["driver"] = info.driver;
            p["manufacturer"] = info.manufacturer;
            p["product"] = info.product;
            p["serial"] = info.serialNumber;
            p["usb-id"] = info.usbId;
            p["identity"] = info.Identity(); // what a watch knows the adapter by again
            j["ports"].push_back(p);
        }
        j["hint"] = probe.hint;
        Out(j.dump(2) + "\n");
        return exitOK;
    }
    // Names and descriptions come from devices and publishers: control
    // characters escaped (a name stays whole, to be used; a description is cut).
    for (std::size_t i = 0; i < probe.ports.size(); ++i) {
        const std::string d = ShownName(oneLine(probe.infos[i]));
        std::string line = ShownName(probe.ports[i], std::string::npos);
        if (!d.empty())
            line += std::string(line.size() < 12 ? 12 - line.size() : 1, ' ') + d;
        Out(line + "\n");
    }
    if (probe.ports.empty())
        std::fprintf(stderr, "kv508ctl: no serial port found\n");
    if (!probe.hint.empty())
        std::fprintf(stderr, "kv508ctl: left out: %s\n", ShownName(probe.hint, 2000).c_str());
    return exitOK;
}

// ---- read -----------------------------------------------------------------------------------------

namespace {

// Records with the local wall time, as the rest of the output.
void UseWallClock(kv508::TFrameMonitor &m)
{
    m.SetWallClockBase(TEventLoop::NowMs(), LocalWallMs());
}

struct TTrace {
    explicit TTrace(const TLinkOptions &link) : monitor(static_cast<uint8_t>(link.address), link.timeoutMs + 200)
    {
        UseWallClock(monitor);
        monitor.OnFrame = [](const kv508::TFrameRecord &r) {
            std::fprintf(stderr, "trace: %s\n", kv508::TFrameMonitor::FormatText(r).c_str());
            std::fflush(stderr);
        };
    }
    ~TTrace() { monitor.Flush(TEventLoop::NowMs()); }
    TTrace(const TTrace &) = delete;
    TTrace &operator=(const TTrace &) = delete;
    TLinkWrapper Wrapper()
    {
        return [this](std::unique_ptr<TMBLink> inner) { return kv508::MakeSpyLink(std::move(inner), monitor, TEventLoop::NowMs); };
    }
    kv508::TFrameMonitor monitor;
};

void PrintOne(const TLiveData &d, const std::string &format)
{
    const std::string time = IsoNow();
    if (format == "json")
        Out(LiveJson(d, time).dump(2) + "\n");
    else if (format == "csv")
        Out(CsvHeader() + CsvRow(d, time));
    else
        Out(LiveText(d));
}

} // namespace

// How often a watch looks for a lost adapter: the probe costs well under a
// millisecond, and a second is soon enough for a log.
constexpr int ReconnectLookMs = 1000;

namespace {

// The log pauses, says so, and goes on when the adapter is back; false when
// interrupted first. A look-alike behind it ends the watch (TFailure).
bool WaitForAdapter(TSession &s, const TInterrupt &interrupt, const TReadOptions &o)
{
    const std::string lost = s.ShownPort();
    std::fprintf(stderr, "kv508ctl: %s closed: %s lost; waiting for it to come back (%sCtrl+C ends)\n", lost.c_str(),
                 s.Identity().empty() ? "port" : "adapter",
                 s.Identity().empty() ? "" : (ShownName(s.Identity()) + "; ").c_str());
    std::fflush(stderr);
    bool back = false;
    while (!back && Pause(s.Loop(), interrupt, ReconnectLookMs))
        back = s.Reopen(o.reconnectAny);
    if (!back)
        return false;
    std::fprintf(stderr, "kv508ctl: %s is back%s; the watch goes on\n", lost.c_str(),
                 s.ShownPort() == lost ? "" : (" as " + s.ShownPort()).c_str());
    std::fflush(stderr);
    return true;
}

} // namespace

int RunRead(const TLinkOptions &link, const TReadOptions &o)
{
    TLinkWrapper wrap;
    std::unique_ptr<TTrace> trace;
    if (o.trace) {
        trace = std::make_unique<TTrace>(link);
        wrap = trace->Wrapper();
    }
    TSession s(link, wrap);
    s.Open(o.watch && o.reconnect);
    if (!o.watch) {
        PrintOne(s.Poll(), o.format);
        return exitOK;
    }
    if (o.reconnect) {
        // What the instrument holds, to know it again after a loss; a watch
        // that cannot read it now still starts, its polls report.
        try {
            s.ReadSettings();
        } catch (const TFailure &) {
        }
    }

    TInterrupt interrupt(s.Loop());
    if (o.format == "csv")
        Out(CsvHeader());
    long answered = 0, failed = 0;
    TExit lastFailure = exitNoAnswer;
    for (long n = 1; o.count == 0 || n <= o.count; ++n) {
        const int64_t started = TEventLoop::NowMs();
        try {
            const TLiveData d = s.Poll();
            ++answered;
            const std::string time = IsoNow();
            if (o.format == "json")
                Out(LiveJson(d, time).dump() + "\n"); // one object per line
            else if (o.format == "csv")
                Out(CsvRow(d, time));
            else
                Out(LiveLine(d, time));
        } catch (const TOutputFailure &) {
            throw; // nobody reads the rows any more
        } catch (const TFailure &f) {
            if (f.code == exitOtherInstrument || (f.code == exitPort && !o.reconnect))
                throw; // the line is gone, or leads to another instrument: nothing more to watch
            if (f.code == exitPort) {
                if (!WaitForAdapter(s, interrupt, o))
                    break;
                --n; // the poll lost with the adapter is not one of --count
                continue;
            }
            ++failed;
            lastFailure = f.code;
            std::fprintf(stderr, "kv508ctl: poll %ld failed: %s\n", n, f.what());
            std::fflush(stderr);
        }
        if (interrupt.Requested() || (o.count != 0 && n == o.count))
            break;
        if (!Pause(s.Loop(), interrupt, static_cast<int>(started + o.intervalMs - TEventLoop::NowMs())))
            break;
    }
    if (failed > 0)
        s.Note(std::to_string(failed) + " of " + std::to_string(answered + failed) + " polls failed");
    return answered > 0 ? exitOK : lastFailure; // refused every time is 4, not "no answer"
}

// ---- settings -------------------------------------------------------------------------------------

int RunSettingsGet(const TLinkOptions &link, bool json)
{
    TSession s(link);
    s.Open();
    s.Poll();
    const TSettings settings = s.ReadSettings();
    Out(json ? SettingsJson(settings).dump(2) + "\n" : SettingsText(settings));
    return exitOK;
}

namespace {

// The span the write would leave: refused when zero, and when inverted unless
// --force (a reverse-acting output); noted when the edits do not touch it.
void CheckSpan(const TSession &s, const TSettings &result, bool named, bool force, const std::string &nothing)
{
    const TSpanFault fault = SpanFault(result);
    if (fault == TSpanFault::None)
        return;
    const std::string text = SpanFaultText(result);
    if (!named) {
        s.Note(text + "; set 4ma and 20ma to give it one");
        return;
    }
    if (fault == TSpanFault::Zero)
        throw TFailure(exitUsage, text + "; " + nothing);
    if (!force)
        throw TFailure(exitUsage, text + "; " + nothing + " (--force writes it, for an output meant to act in reverse)");
    std::fprintf(stderr, "kv508ctl: warning: %s; written as --force asks\n", text.c_str());
}

} // namespace

int RunSettingsSet(const TLinkOptions &link, const std::vector<std::string> &keyValues, bool force)
{
    std::vector<TEdit> edits;
    for (const std::string &kv : keyValues) {
        try {
            edits.push_back(ParseEdit(kv));
        } catch (const std::invalid_argument &e) {
            throw TFailure(exitUsage, std::string(e.what()) + "; nothing was written");
        }
    }
    if (edits.empty())
        throw TFailure(exitUsage, "settings set needs KEY=VALUE (kv508ctl settings set --help)");
    TSession s(link);
    for (const TEdit &e : edits)
        if (!e.note.empty())
            s.Note(e.note);
    s.Open();
    s.Poll();
    const TSettings stored = s.ReadSettings();
    const TWritePlan plan = PlanWrite(stored, edits);
    const bool spanNamed = std::any_of(edits.begin(), edits.end(),
                                       [](const TEdit &e) { return e.key == TKey::At4mA || e.key == TKey::At20mA; });
    CheckSpan(s, plan.settings, spanNamed, force, "nothing was written");
    if (!plan.changes) {
        s.Note("the instrument already holds these settings; nothing written");
        return exitOK;
    }
    for (const std::string &note : plan.notes)
        s.Note(note);
    WriteAndVerify(s, plan.command, plan.settings);
    Out(DifferenceLines(Differences(plan.settings, stored), "now", "was"));
    s.Note("written with " + CommandName(plan.command) + " and verified");
    return exitOK;
}

// ---- backup, restore, diff ---------------------------------------------------------------------------

int RunBackup(const TLinkOptions &link, const std::string &file)
{
    TSession s(link);
    s.Open();
    const TLiveData live = s.Poll();
    const TSettings settings = s.ReadSettings();
    TIdentity who;
    who.address = static_cast<uint8_t>(link.address);
    who.id = static_cast<uint8_t>(link.id);
    who.firmware = live.FirmwareDateCode;
    who.calibrationDate = live.CalibrationDateCode;
    who.decimals = live.Decimals;
    who.scaleEnd = live.ScaleEnd;
    const int removed = WriteFileAtomically(file, BackupJson(who, settings, IsoNow(), ToolVersion));
    if (removed > 0)
        s.Note("removed " + std::to_string(removed) + " temporary file(s) an interrupted backup had left beside " + ShownName(file));
    if (file != "-")
        s.Note("settings of " + s.ShownPort() + " saved to " + ShownName(file));
    for (TKey k : AllKeys)
        if (!InWindowRange(settings, k)) {
            s.Note("the instrument holds no valid settings (" + std::string(KeyName(k)) + " " + ShowField(settings, k) +
                   "; erased?): restore will refuse this file");
            break;
        }
    return exitOK;
}

int RunRestore(const TLinkOptions &link, const std::string &file, bool dryRun, bool force)
{
    const TBackup backup = LoadBackup(file);
    for (TKey k : AllKeys)
        if (!InWindowRange(backup.settings, k))
            throw TFailure(exitUsage, ShownName(file) + ": " + KeyName(k) + " " + ShowField(backup.settings, k) +
                                          " is out of range: the instrument had no valid settings when it was backed "
                                          "up; nothing was written");
    TSession s(link);
    CheckSpan(s, backup.settings, true, force, ShownName(file) + " holds it; nothing was written");
    s.Open();
    const TLiveData live = s.Poll();
    if (backup.who.firmware != 0 && backup.who.firmware != live.FirmwareDateCode)
        s.Note("the backup comes from firmware " + kv508::FormatDateCode(backup.who.firmware) + ", this instrument runs " +
               kv508::FormatDateCode(live.FirmwareDateCode));
    const TSettings stored = s.ReadSettings();
    const std::vector<TDifference> diff = Differences(backup.settings, stored);
    if (diff.empty()) {
        s.Note("the instrument already holds the backup's settings; nothing written");
        return exitOK;
    }
    Out(DifferenceLines(diff, "backup", "instrument"));
    if (dryRun) {
        s.Note("dry run: nothing written");
        return exitOK;
    }
    WriteAndVerify(s, kv508::Cmd_WriteSettings, backup.settings);
    s.Note("restored from " + ShownName(file) + " and verified");
    return exitOK;
}

int RunDiff(const TLinkOptions &link, const std::string &file, bool json)
{
    const TBackup backup = LoadBackup(file);
    TSession s(link);
    s.Open();
    s.Poll();
    const std::vector<TDifference> diff = Differences(backup.settings, s.ReadSettings());
    if (json) {
        nlohmann::ordered_json j = nlohmann::ordered_json::array();
        for (const TDifference &d : diff)
            j.push_back({{"key", KeyName(d.key)}, {"file", d.wanted}, {"instrument", d.actual}});
        Out(j.dump(2) + "\n");
    } else {
        Out(DifferenceLines(diff, "file", "instrument"));
    }
    return diff.empty() ? exitOK : exitMismatch;
}

// ---- monitor ----------------------------------------------------------------------------------------

int RunMonitor(const TLinkOptions &link, const TMonitorOptions &o)
{
    // The port first: a port that fails leaves no file made or appended to.
    const std::string port = ChoosePort(link.port);
    TEventLoop loop;
    TLoopHost host(loop);
    TSerialLink serial(host);
    std::string error;
    if (!serial.Open(port, link.baud, error))
        throw TFailure(exitPort, "cannot open " + ShownName(port) + ": " + ShownName(error, 400));
    const bool toFile = !o.output.empty() && o.output != "-";
    const std::unique_ptr<std::FILE, int (*)(std::FILE *)> file(toFile ? OpenAppendOutput(o.output) : nullptr, &std::fclose);
    std::FILE *const out = toFile ? file.get() : stdout;
    kv508::TFrameMonitor monitor(static_cast<uint8_t>(link.address), link.timeoutMs + 200);
    UseWallClock(monitor);
    long frames = 0;
    int writeError = 0;
    monitor.OnFrame = [&](const kv508::TFrameRecord &r) {
        if (writeError != 0)
            return;
        const std::string line = (o.json ? kv508::TFrameMonitor::FormatJson(r) : kv508::TFrameMonitor::FormatText(r)) + "\n";
        errno = 0;
        if (std::fwrite(line.data(), 1, line.size(), out) != line.size() || std::fflush(out) != 0)
            writeError = errno != 0 ? errno : EIO; // ends the loop below
        else
            ++frames;
    };
    serial.OnDataAvailable = [&](uint32_t count) {
        std::string chars(count, '\0');
        chars.resize(static_cast<std::size_t>(serial.ReadBytes(chars.data(), static_cast<std::ptrdiff_t>(count))));
        monitor.Feed(kv508::TDirection::Rx, chars, TEventLoop::NowMs());
    };
    bool hungUp = false;
    serial.OnHangUp = [&] { hungUp = true; };
    TInterrupt interrupt(loop);
    if (!link.quiet)
        std::fprintf(stderr, "kv508ctl: monitoring %s at %u baud; Ctrl+C ends\n", ShownName(port).c_str(), link.baud);
    TLoopTimer tick(loop);
    tick.SetOnTimer([&] {
        monitor.Tick(TEventLoop::NowMs());
        tick.Start(200);
    });
    tick.Start(200);
    const int64_t until = o.durationMs > 0 ? TEventLoop::NowMs() + o.durationMs : INT64_MAX;
    while (!interrupt.Requested() && !hungUp && writeError == 0 && TEventLoop::NowMs() < until)
        loop.RunUntil([&] { return interrupt.Requested() || hungUp || writeError != 0; },
                      static_cast<int>(std::min<int64_t>(until - TEventLoop::NowMs(), 60000)));
    monitor.Flush(TEventLoop::NowMs());
    serial.Close();
    if (!link.quiet)
        std::fprintf(stderr, "kv508ctl: %ld frames\n", frames);
    if (writeError != 0)
        OutputFailed(toFile ? ShownName(o.output) : std::string("the output"), writeError);
    if (hungUp)
        throw TFailure(exitPort, "the port " + ShownName(port) + " went away: reconnect the adapter");
    return exitOK;
}

} // namespace ctl
