#include "Commands.h"

#include "Clock.h"
#include "Interrupt.h"
#include "PortProbe.h"
#include "Values.h"

#if defined(KV508CTL_HAVE_MONITOR)
#include "FrameMonitor.h"
#include "LoopHost.h"
#include "SerialLink.h"
#endif

#include <nlohmann/json.hpp>

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <algorithm>
#include <climits>
#include <fstream>
#include <iostream>
#include <sstream>

#if !defined(_WIN32)
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>
#endif

namespace ctl {

#if defined(KV508CTL_VERSION)
const char *const ToolVersion = KV508CTL_VERSION;
#else
const char *const ToolVersion = "unknown";
#endif

namespace {

using kv508::TLiveData;
using kv508::TSettings;

// Standard output that cannot be written (a full disk, a closed pipe) ends the
// run with an error: a log must not go on losing rows behind an exit code 0.
struct TOutputFailure : TFailure {
    using TFailure::TFailure;
};

[[noreturn]] void OutputFailed(const char *what, int error)
{
    throw TOutputFailure(exitUsage, std::string("cannot write ") + what + ": " + std::strerror(error) +
                                        (error == EPIPE ? " (the reading program ended)" : "; free some space or write elsewhere"));
}

void Out(const std::string &text)
{
    errno = 0;
    if (std::fwrite(text.data(), 1, text.size(), stdout) != text.size() || std::fflush(stdout) != 0) // tail -f sees each row
        OutputFailed("the output", errno != 0 ? errno : EIO);
}

constexpr std::size_t MaxInputBytes = 1 << 20; // a backup is a few hundred bytes

// Waits ms on the loop (a timer, not a spin); false when interrupted.
bool Pause(TEventLoop &loop, const TInterrupt &interrupt, int ms)
{
    if (ms <= 0)
        return !interrupt.Requested();
    bool expired = false;
    TLoopTimer timer(loop, [&] { expired = true; });
    timer.Start(ms);
    loop.RunUntil([&] { return expired || interrupt.Requested(); }, ms + 1000);
    return !interrupt.Requested();
}

// At most MaxInputBytes: restore /dev/zero must not eat the memory.
std::string ReadFile(const std::string &file)
{
    std::ifstream in;
    if (file != "-") {
        in.open(file, std::ios::binary);
        if (!in)
            throw TFailure(exitUsage, "cannot read " + file + ": no such file or no permission");
    }
    std::istream &from = file == "-" ? std::cin : in;
    std::string text(MaxInputBytes + 1, '\0');
    from.read(text.data(), static_cast<std::streamsize>(text.size()));
    text.resize(static_cast<std::size_t>(from.gcount()));
    if (text.size() > MaxInputBytes)
        throw TFailure(exitUsage, file + ": larger than 1 MiB, so not a backup of this tool; nothing was written to the instrument");
    return text;
}

// Written beside the target and renamed over it: a crash leaves the old file or the new one.
void WriteFileAtomically(const std::string &file, const std::string &content)
{
    if (file == "-") {
        Out(content);
        return;
    }
#if !defined(_WIN32)
    namespace fs = std::filesystem;
    std::error_code ec;
    const fs::path resolved = fs::weakly_canonical(fs::path(file), ec); // a link's target is replaced, not the link
    const std::string target = ec ? file : resolved.string();
    struct stat old {};
    const bool exists = ::stat(target.c_str(), &old) == 0;
    if (exists && !S_ISREG(old.st_mode))
        throw TFailure(exitUsage, "cannot write " + file + ": it is not a regular file");
    std::string temporary = target + ".XXXXXX";
    const int fd = ::mkostemp(temporary.data(), O_CLOEXEC); // a fresh name: never a link someone planted
    if (fd < 0)
        throw TFailure(exitUsage, "cannot write " + file + ": " + std::strerror(errno) + "; check the directory exists and is writable");
    int err = 0;
    mode_t mode = old.st_mode & 07777;
    if (!exists) { // as a new file would be made: 0666 less the umask
        const mode_t mask = ::umask(0);
        ::umask(mask);
        mode = 0666 & ~mask;
    }
    if (::fchmod(fd, mode) != 0)
        err = errno;
    for (std::size_t done = 0; err == 0 && done < content.size();) {
        const ssize_t n = ::write(fd, content.data() + done, content.size() - done);
        if (n < 0 && errno != EINTR)
            err = errno;
        else if (n > 0)
            done += static_cast<std::size_t>(n);
    }
    if (err == 0 && ::fsync(fd) != 0) // on disk before it replaces the old one
        err = errno;
    if (::close(fd) != 0 && err == 0)
        err = errno;
    if (err == 0 && ::rename(temporary.c_str(), target.c_str()) != 0)
        err = errno;
    if (err != 0) {
        ::unlink(temporary.c_str());
        throw TFailure(exitUsage, "cannot write " + file + ": " + std::strerror(err));
    }
    const std::string dir = fs::path(target).parent_path().string();
    const int dfd = ::open(dir.empty() ? "." : dir.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (dfd >= 0) { // and the rename too
        ::fsync(dfd);
        ::close(dfd);
    }
#else
    const std::string temporary = file + ".kv508ctl-new";
    {
        std::ofstream out(temporary, std::ios::binary | std::ios::trunc);
        out << content;
        out.flush();
        if (!out) {
            std::error_code ignored;
            std::filesystem::remove(temporary, ignored);
            throw TFailure(exitUsage, "cannot write " + file + ": check the directory exists and is writable");
        }
    }
    std::error_code error;
    std::filesystem::rename(temporary, file, error);
    if (error) {
        std::filesystem::remove(temporary, error);
        throw TFailure(exitUsage, "cannot write " + file + ": " + error.message());
    }
#endif
}

TBackup LoadBackup(const std::string &file)
{
    try {
        return ParseBackup(ReadFile(file));
    } catch (const std::invalid_argument &e) {
        throw TFailure(exitUsage, file + ": " + e.what() + "; nothing was written to the instrument");
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
// reads back; a difference is exit code 5.
void WriteAndVerify(TSession &s, uint8_t command, const TSettings &wanted)
{
    TSettings back;
    try {
        s.Request(command, wanted);
        back = s.ReadSettings();
    } catch (const TFailure &f) {
        if (f.code != exitNoAnswer)
            throw;
        throw TFailure(f.code, std::string(f.what()) + "; the settings may or may not have been stored: check with "
                                                        "kv508ctl settings get, or write again");
    }
    const std::vector<TDifference> diff = Differences(wanted, back);
    if (!diff.empty())
        throw TFailure(exitMismatch, "the instrument holds other values than were written:\n" +
                                         DifferenceLines(diff, "written", "read back") +
                                         "check the instrument (kv508ctl read) and write again");
}

std::string StateText(const TLiveData &d)
{
    std::string flags;
    for (const TFlagName &f : FlagNames())
        if (d.ErrorBits & f.bit)
            flags += (flags.empty() ? "" : ", ") + std::string(f.label);
    return "calibrated " + kv508::FormatDateCode(d.CalibrationDateCode) + ", output " + FormatMilliAmps(d.OutputValue) +
           " mA, errors: " + (flags.empty() ? "none" : flags);
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
    for (std::size_t i = 0; i < probe.ports.size(); ++i) {
        const std::string d = oneLine(probe.infos[i]);
        std::string line = probe.ports[i];
        if (!d.empty())
            line += std::string(line.size() < 12 ? 12 - line.size() : 1, ' ') + d;
        Out(line + "\n");
    }
    if (probe.ports.empty())
        std::fprintf(stderr, "kv508ctl: no serial port found\n");
    if (!probe.hint.empty())
        std::fprintf(stderr, "kv508ctl: left out: %s\n", probe.hint.c_str());
    return exitOK;
}

// ---- read -----------------------------------------------------------------------------------------

namespace {

#if defined(KV508CTL_HAVE_MONITOR)
// Later parts of the monitor's interface, used where its header has them.
template <class M>
void UseWallClock(M &m)
{
    if constexpr (requires { m.SetWallClockBase(int64_t{}, int64_t{}); })
        m.SetWallClockBase(TEventLoop::NowMs(), LocalWallMs());
}
template <class M>
void FlushMonitor(M &m)
{
    if constexpr (requires { m.Flush(int64_t{}); })
        m.Flush(TEventLoop::NowMs());
    else
        m.Tick(TEventLoop::NowMs());
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
    ~TTrace() { FlushMonitor(monitor); }
    TTrace(const TTrace &) = delete;
    TTrace &operator=(const TTrace &) = delete;
    TLinkWrapper Wrapper()
    {
        return [this](std::unique_ptr<TMBLink> inner) { return kv508::MakeSpyLink(std::move(inner), monitor, TEventLoop::NowMs); };
    }
    kv508::TFrameMonitor monitor;
};
#endif

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

int RunRead(const TLinkOptions &link, const TReadOptions &o)
{
    TLinkWrapper wrap;
#if defined(KV508CTL_HAVE_MONITOR)
    std::unique_ptr<TTrace> trace;
    if (o.trace) {
        trace = std::make_unique<TTrace>(link);
        wrap = trace->Wrapper();
    }
#else
    if (o.trace)
        throw TFailure(exitUsage, "--trace needs the line monitor, which this kv508ctl was built without");
#endif
    TSession s(link, wrap);
    s.Open(o.watch && o.reconnect);
    if (!o.watch) {
        PrintOne(s.Poll(), o.format);
        return exitOK;
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
            if (f.code == exitPort && !o.reconnect)
                throw; // the line is gone: nothing more to watch
            if (f.code == exitPort) {
                // The log pauses, says so, and goes on when the adapter is back.
                const std::string lost = s.Port();
                std::fprintf(stderr, "kv508ctl: %s; waiting for %s to return (Ctrl+C ends)\n", f.what(),
                             s.Identity().empty() ? ("port " + lost).c_str() : ("the adapter " + s.Identity()).c_str());
                std::fflush(stderr);
                bool back = false;
                while (!back && Pause(s.Loop(), interrupt, ReconnectLookMs))
                    back = s.Reopen();
                if (!back)
                    break;
                std::fprintf(stderr, "kv508ctl: %s is back%s; the watch goes on\n", lost.c_str(),
                             s.Port() == lost ? "" : (" as " + s.Port()).c_str());
                std::fflush(stderr);
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

int RunSettingsSet(const TLinkOptions &link, const std::vector<std::string> &keyValues)
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
    WriteFileAtomically(file, BackupJson(who, settings, IsoNow(), ToolVersion));
    if (file != "-")
        s.Note("settings of " + s.Port() + " saved to " + file);
    for (TKey k : AllKeys)
        if (!InWindowRange(settings, k)) {
            s.Note("the instrument holds no valid settings (" + std::string(KeyName(k)) + " " + ShowField(settings, k) +
                   "; erased?): restore will refuse this file");
            break;
        }
    return exitOK;
}

int RunRestore(const TLinkOptions &link, const std::string &file, bool dryRun)
{
    const TBackup backup = LoadBackup(file);
    for (TKey k : AllKeys)
        if (!InWindowRange(backup.settings, k))
            throw TFailure(exitUsage, file + ": " + KeyName(k) + " " + ShowField(backup.settings, k) +
                                          " is out of range: the instrument had no valid settings when it was backed "
                                          "up; nothing was written");
    TSession s(link);
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
    s.Note("restored from " + file + " and verified");
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

// ---- calibration -----------------------------------------------------------------------------------

int RunCalibrationPoint(const TLinkOptions &link, uint8_t command)
{
    TSession s(link);
    s.Open();
    s.Poll();
    s.Request(command);
    // The poll after it shows the result; after a reset it waits (with the
    // tries) until the instrument answers again, so the next command finds it up.
    const TLiveData after = s.Poll();
    s.Note(CommandName(command) + ": done; " + StateText(after));
    return exitOK;
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
    TLiveData d = s.Poll(force.on, force.pwm);
    const std::string what = force.on ? "output forced at drive " + std::to_string(force.pwm) + " of 8191" : "output released";
    s.Note(what + ": the instrument reports " + FormatMilliAmps(d.OutputValue) + " mA");
    // Held: forced polls back to back, each answer on standard output.
    const int64_t until = TEventLoop::NowMs() + o.holdMs;
    while (o.holdMs > 0 && TEventLoop::NowMs() < until && !interrupt.Requested()) {
        d = s.Poll(force.on, force.pwm);
        Out(LiveLine(d, IsoNow()));
    }
    if (interrupt.Requested()) {
        s.Poll(false, 0);
        throw TFailure(exitUsage, "interrupted: the output is released and no point was taken");
    }
    if (o.then != 0) {
        s.Request(o.then);
        d = s.Poll(force.on, force.pwm);
        s.Note(CommandName(o.then) + " at drive " + std::to_string(force.pwm) + ": done; " + StateText(d));
    }
    if (force.on)
        s.Note("the output stays forced until the next command (kv508ctl calibrate force-output off releases it)");
    return exitOK;
}

// ---- monitor ----------------------------------------------------------------------------------------

bool MonitorAvailable()
{
#if defined(KV508CTL_HAVE_MONITOR)
    return true;
#else
    return false;
#endif
}

int RunMonitor(const TLinkOptions &link, const TMonitorOptions &o)
{
#if defined(KV508CTL_HAVE_MONITOR)
    std::FILE *out = stdout;
    if (!o.output.empty() && o.output != "-") {
        out = std::fopen(o.output.c_str(), "a");
        if (!out)
            throw TFailure(exitUsage, "cannot write " + o.output + ": check the directory exists and is writable");
    }
    const std::string port = ChoosePort(link.port);
    TEventLoop loop;
    TLoopHost host(loop);
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
    TSerialLink serial(host);
    std::string error;
    if (!serial.Open(port, link.baud, error))
        throw TFailure(exitPort, "cannot open " + port + ": " + error);
    serial.OnDataAvailable = [&](uint32_t count) {
        std::string chars(count, '\0');
        chars.resize(static_cast<std::size_t>(serial.ReadBytes(chars.data(), static_cast<std::ptrdiff_t>(count))));
        monitor.Feed(kv508::TDirection::Rx, chars, TEventLoop::NowMs());
    };
    bool hungUp = false;
    serial.OnHangUp = [&] { hungUp = true; };
    TInterrupt interrupt(loop);
    if (!link.quiet)
        std::fprintf(stderr, "kv508ctl: monitoring %s at %u baud; Ctrl+C ends\n", port.c_str(), link.baud);
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
    FlushMonitor(monitor);
    serial.Close();
    if (out != stdout)
        std::fclose(out);
    if (!link.quiet)
        std::fprintf(stderr, "kv508ctl: %ld frames\n", frames);
    if (writeError != 0)
        OutputFailed(out == stdout ? "the output" : o.output.c_str(), writeError);
    if (hungUp)
        throw TFailure(exitPort, "the port " + port + " went away: reconnect the adapter");
    return exitOK;
#else
    (void)link;
    (void)o;
    throw TFailure(exitUsage, "this kv508ctl was built without the line monitor (library kv508monitor); "
                              "build it from a tree that has ctl/monitor to use monitor and read --trace");
#endif
}

} // namespace ctl
