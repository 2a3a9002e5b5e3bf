// kv508ctl: the KV508 I transmitter from the command line.
#include "Commands.h"
#include "Dispatch.h"
#include "KV508Commands.h"
#include "MBProtocol.h"

#include <CLI/CLI.hpp>

#include <algorithm>
#include <cctype>
#include <csignal>
#include <cstdio>
#include <functional>
#include <optional>
#include <string>
#include <vector>

namespace {

const char *const kExitCodes = "Exit codes:\n"
                               "  0  success\n"
                               "  1  usage: a wrong command line or file, or an operation refused before anything was sent\n"
                               "  2  the port cannot be opened (the message names the holder or the missing permission)\n"
                               "  3  no answer from the instrument after every try\n"
                               "  4  the instrument answered with an error\n"
                               "  5  verification mismatch: the values read back differ (diff: the instrument differs)\n"
                               "  6  read --watch: another instrument answered after the adapter came back\n"
                               "  7  calibration: the reading did not settle (no point taken), or the instrument still\n"
                               "     reports not calibrated (zero, reset) or output out of range (reset)\n"
                               "  8  records, record: the records location cannot be used (cannot connect, schema\n"
                               "     too new or old, no rights)\n"
                               "  9  station: the record is finished and its verdict is FAIL\n"
                               "  10 station: a reference instrument (meter, pressure controller) failed\n";

const char *const kCommonOptions =
    "Common options (before or after the subcommand): --port NAME, --address N, --id N, --baud RATE,\n"
    "--timeout MS, --tries N, --quiet, --verbose; see kv508ctl help.\n";

std::string SubFooter(const std::string &extra = {})
{
    return (extra.empty() ? std::string() : extra + "\n\n") + kCommonOptions + "\n" + kExitCodes;
}

// A range check whose bounds the help text already gives.
CLI::Validator Within(long low, long high)
{
    return CLI::Range(low, high).description("");
}

// A subcommand (a leaf of the tree) and what runs it when it is the one parsed.
struct TRoute {
    CLI::App *sub;
    std::function<int()> run;
};
using TRoutes = std::vector<TRoute>;

// Where the command line's values land; the routes read them once parsing is done.
struct TArgs {
    ctl::TLinkOptions link;
    std::vector<std::string> helpTopic;
    bool json = false;
    ctl::TReadOptions read;
    std::vector<std::string> keyValues;
    bool forceSpan = false;
    std::string file;
    bool dryRun = false;
    bool yes = false, noWait = false;
    ctl::TPointOptions pointOptions;
    ctl::TForceOptions force;
    std::string pwm, then;
    ctl::TMonitorOptions monitor;
};

void AddCommonOptions(CLI::App &app, ctl::TLinkOptions &link)
{
    app.add_option("--port,-p", link.port, "port name (ttyUSB0, kv508sim0) or path; default: the only port listed")
        ->type_name("NAME");
    app.add_option("--address", link.address, "the instrument's address, 1..255")->type_name("N")->check(Within(1, 255))->capture_default_str();
    app.add_option("--id", link.id, "the instrument's ID, 0..255")->type_name("N")->check(Within(0, 255))->capture_default_str();
    app.add_option("--baud", link.baud, "baud rate of the line")->type_name("RATE")
        ->check([](const std::string &text) {
            mbcore::TMBBaud b;
            try {
                return mbcore::BaudOf(static_cast<uint32_t>(std::stoul(text)), b) ? std::string() : "not a rate of the line";
            } catch (const std::exception &) {
                return std::string("not a number");
            }
        })
        ->capture_default_str();
    app.add_option("--timeout", link.timeoutMs, "wait for an answer, per try")->type_name("MS")->check(Within(1, 60000))->capture_default_str();
    app.add_option("--tries", link.tries, "tries per request, 1..255")->type_name("N")->check(Within(1, 255))->capture_default_str();
    app.add_flag("--quiet,-q", link.quiet, "no notes on standard error (errors still)");
    app.add_flag("--verbose,-v", link.verbose, "every request, its tries and time on standard error");
}

// help [SUBCOMMAND...]: that subcommand's help. Not app.help(): that shows the
// selected subcommand, "help" itself.
int ShowHelp(CLI::App &app, const std::vector<std::string> &topicPath)
{
    CLI::App *topic = &app;
    std::string path = "kv508ctl";
    for (const std::string &name : topicPath) {
        try {
            topic = topic->get_subcommand(name);
        } catch (const CLI::OptionNotFound &) {
            std::fprintf(stderr, "kv508ctl: no subcommand \"%s\" (kv508ctl help lists them)\n", name.c_str());
            return ctl::exitUsage;
        }
        path += " " + name;
    }
    std::fputs(topic->get_formatter()->make_help(topic, path, CLI::AppFormatMode::Normal).c_str(), stdout);
    return ctl::exitOK;
}

void AddHelpAndPorts(CLI::App &app, TArgs &a, TRoutes &routes)
{
    CLI::App *help = app.add_subcommand("help", "this text, or a subcommand's (help settings)");
    help->add_option("subcommand", a.helpTopic, "subcommand");
    routes.push_back({help, [&app, &a] { return ShowHelp(app, a.helpTopic); }});

    CLI::App *ports = app.add_subcommand("ports", "list the serial ports, and why a device is left out");
    ports->add_flag("--json", a.json, "as JSON");
    ports->footer(SubFooter());
    routes.push_back({ports, [&a] { return ctl::RunPorts(a.json); }});
}

void AddRead(CLI::App &app, TArgs &a, TRoutes &routes)
{
    ctl::TReadOptions &read = a.read;
    CLI::App *readCmd = app.add_subcommand("read", "the live values: pressure, output current, error flags, firmware, "
                                                   "calibration date, ADC value, SPS");
    CLI::Option *watch = readCmd->add_flag("--watch,-w", read.watch, "poll again and again (Ctrl+C ends)");
    readCmd->add_option("--interval", read.intervalMs, "with --watch: from one poll's start to the next")->type_name("MS")
        ->check(Within(0, 86400000))
        ->capture_default_str()
        ->needs(watch);
    readCmd->add_option("--count", read.count, "with --watch: stop after N polls (0: never)")
        ->type_name("N")
        ->check(Within(0, 1000000000))
        ->needs(watch);
    readCmd->add_option("--format,-f", read.format, "text, csv (header, ISO-8601 times) or json")->type_name("FORMAT")
        ->check(CLI::IsMember({"text", "csv", "json"}))
        ->capture_default_str();
    readCmd->add_flag("--trace", read.trace, "show this program's own frames on standard error");
    readCmd->add_flag("--reconnect,!--no-reconnect", read.reconnect,
                      "with --watch: when the adapter is pulled, wait for it (under any name) and go on (default)")
        ->needs(watch);
    readCmd->add_flag("--reconnect-any", read.reconnectAny,
                      "with --watch: go on after a reconnect even when another instrument answers (a note says so)")
        ->needs(watch);
    readCmd->footer(SubFooter("While watching, a failed poll is reported on standard error and the watch goes on;\n"
                              "each line is flushed as it is written. Exit code 3 only when no poll was answered.\n"
                              "A pulled adapter pauses the watch with a line on standard error; it goes on when the\n"
                              "same adapter returns, under any name (--no-reconnect: end with exit code 2 instead),\n"
                              "and the instrument behind it reports the firmware, calibration date and settings it\n"
                              "reported before; another instrument ends the watch with exit code 6 (--reconnect-any\n"
                              "goes on with a note)."));
    routes.push_back({readCmd, [&a] { return ctl::RunRead(a.link, a.read); }});
}

void AddSettings(CLI::App &app, TArgs &a, TRoutes &routes)
{
    CLI::App *settings = app.add_subcommand("settings", "read or write the stored settings");
    settings->require_subcommand(1);
    settings->footer(SubFooter());
    CLI::App *settingsGet = settings->add_subcommand("get", "print the stored settings (as settings set takes them)");
    settingsGet->add_flag("--json", a.json, "as JSON");
    settingsGet->footer(SubFooter());
    routes.push_back({settingsGet, [&a] { return ctl::RunSettingsGet(a.link, a.json); }});
    CLI::App *settingsSet = settings->add_subcommand("set", "write settings, read them back and verify");
    settingsSet->add_option("KEY=VALUE", a.keyValues, "settings to change")->required();
    settingsSet->add_flag("--force", a.forceSpan, "write an inverted span (20ma below 4ma: a reverse-acting output), with a warning");
    settingsSet->footer(SubFooter(
        "Keys: 4ma=N, 20ma=N (the pressure at 4 and 20 mA as digits, -9999 .. 9999, e.g. 2491 for 249.1),\n"
        "error-current=on|off, error-level=3.2|22 (mA), sensor=1..12, averaging=1..1600,\n"
        "input=pressure|temperature. Numbers beyond their range are clamped as the window does.\n"
        "Only the first four changed: command 10 (the others stay untouched); otherwise command 7.\n"
        "Nothing is written when any KEY=VALUE is wrong, nor when 4ma and 20ma given leave a zero\n"
        "span (equal) or an inverted one (20ma below 4ma; --force writes that, with a warning)."));
    routes.push_back({settingsSet, [&a] { return ctl::RunSettingsSet(a.link, a.keyValues, a.forceSpan); }});
}

void AddBackups(CLI::App &app, TArgs &a, TRoutes &routes)
{
    CLI::App *backup = app.add_subcommand("backup", "save the identity and every setting to a JSON file");
    backup->add_option("FILE", a.file, "the file (- for standard output)")->type_name("FILE")->required();
    backup->footer(SubFooter());
    routes.push_back({backup, [&a] { return ctl::RunBackup(a.link, a.file); }});
    CLI::App *restore = app.add_subcommand("restore", "write a backup's settings, read back and verify");
    restore->add_option("FILE", a.file, "a file made by backup")->required();
    restore->add_flag("--dry-run,-n", a.dryRun, "show the differences only");
    restore->add_flag("--force", a.forceSpan, "write a backup's inverted span (a reverse-acting output), with a warning");
    restore->footer(SubFooter("Shows the differences first; writes with command 7. Calibration stays with the instrument.\n"
                              "A backup with a zero span, or an inverted one without --force, is refused."));
    routes.push_back({restore, [&a] { return ctl::RunRestore(a.link, a.file, a.dryRun, a.forceSpan); }});
    CLI::App *diff = app.add_subcommand("diff", "the differences between a backup and the instrument");
    diff->add_option("FILE", a.file, "a file made by backup")->required();
    diff->add_flag("--json", a.json, "as JSON");
    diff->footer(SubFooter("Exit code 0 when there is none, 5 when there are."));
    routes.push_back({diff, [&a] { return ctl::RunDiff(a.link, a.file, a.json); }});
}

// zero, set-zero, scale-end, reset and erase: one request each, the first
// three after the reading has settled.
void AddPointCommands(CLI::App *calibrate, TArgs &a, TRoutes &routes)
{
    struct TPoint {
        const char *name, *text;
        uint8_t command;
    };
    const TPoint points[] = {{"zero", "zero adjustment at zero pressure (command 2)", kv508::Cmd_Zero},
                             {"set-zero", "take the present pressure as zero (command 3)", kv508::Cmd_SetAs0},
                             {"scale-end", "take the present pressure as full scale (command 9)", kv508::Cmd_SetAsScaleEnd},
                             {"reset", "restart the instrument (command 251); returns when it answers again", kv508::Cmd_Reset},
                             {"erase", "erase settings and calibration (command 6); needs --yes", kv508::Cmd_EraseEEPROM}};
    for (const TPoint &p : points) {
        CLI::App *sub = calibrate->add_subcommand(p.name, p.text);
        if (p.command == kv508::Cmd_EraseEEPROM)
            sub->add_flag("--yes", a.yes, "yes, erase it");
        if (p.command == kv508::Cmd_Zero || p.command == kv508::Cmd_SetAs0 || p.command == kv508::Cmd_SetAsScaleEnd) {
            CLI::Option *noWaitFlag = sub->add_flag("--no-wait", a.noWait, "take the reading as it is, settled or not");
            sub->add_option("--max-wait", a.pointOptions.maxWaitMs, "wait this long at most for the reading to settle")
                ->type_name("MS")
                ->check(Within(500, 86400000))
                ->capture_default_str()
                ->excludes(noWaitFlag);
            sub->footer(SubFooter("The point takes the instrument's averaged reading: it first polls until the reading\n"
                                  "has stayed within 0.2 % of the scale end for as long as the averaging lasts\n"
                                  "(averaging / SPS). Not settled within --max-wait: exit code 7, no point taken."));
        } else {
            sub->footer(SubFooter());
        }
        const uint8_t command = p.command;
        routes.push_back({sub, [&a, command] {
                              if (command == kv508::Cmd_EraseEEPROM && !a.yes)
                                  throw ctl::TFailure(ctl::exitUsage,
                                                      "erase wipes the instrument's settings and calibration; add --yes to go "
                                                      "ahead (kv508ctl backup FILE keeps the settings first)");
                              a.pointOptions.wait = !a.noWait;
                              return ctl::RunCalibrationPoint(a.link, command, a.pointOptions);
                          }});
    }
}

// set-4ma and set-20ma: the drive value forced while the point is taken.
int RunSetPoint(TArgs &a, uint8_t point)
{
    std::string word = a.pwm;
    std::transform(word.begin(), word.end(), word.begin(), [](unsigned char c) { return char(std::tolower(c)); });
    if (word == "on" || word == "off") // "on" is force-output's word; here it would take the point at drive 0
        throw ctl::TFailure(ctl::exitUsage, "--pwm " + a.pwm + ": takes the drive value of the point, 0 .. 8191, F (8191) or 50% (4095)");
    a.force.value = a.pwm;
    a.force.then = point;
    return ctl::RunForceOutput(a.link, a.force);
}

void AddForceCommands(CLI::App *calibrate, TArgs &a, TRoutes &routes)
{
    const char *forceFooter =
        "The forced output is carried by each poll. force-output leaves the output forced when it ends\n"
        "(the instrument keeps the last poll's force) so an ammeter can be read; the first poll of any\n"
        "later command releases it. set-4ma and set-20ma therefore take the drive value themselves:\n"
        "they force it, take the point while forced, and leave it forced. --hold MS keeps polling\n"
        "forced for MS first (each answer on standard output); Ctrl+C then releases the output.";
    CLI::App *set4 = calibrate->add_subcommand("set-4ma", "take drive value --pwm as the 4 mA point (command 4)");
    set4->add_option("--pwm", a.pwm, "drive value 0..8191, F or 50%, forced while the point is taken")->type_name("VALUE")->required();
    set4->add_option("--hold", a.force.holdMs, "keep the output forced this long first")->type_name("MS")->check(Within(0, 86400000));
    set4->footer(SubFooter(forceFooter));
    routes.push_back({set4, [&a] { return RunSetPoint(a, kv508::Cmd_SetAs4mA); }});
    CLI::App *set20 = calibrate->add_subcommand("set-20ma", "take drive value --pwm as the 20 mA point (command 5)");
    set20->add_option("--pwm", a.pwm, "drive value 0..8191, F or 50%, forced while the point is taken")->type_name("VALUE")->required();
    set20->add_option("--hold", a.force.holdMs, "keep the output forced this long first")->type_name("MS")->check(Within(0, 86400000));
    set20->footer(SubFooter(forceFooter));
    routes.push_back({set20, [&a] { return RunSetPoint(a, kv508::Cmd_SetAs20mA); }});
    CLI::App *forceCmd = calibrate->add_subcommand("force-output", "force the output current: on|off|VALUE|0|F|50%");
    forceCmd->add_option("VALUE", a.force.value, "off, on (at --pwm), a drive value 0..8191, F (8191) or 50% (4095)")->required();
    forceCmd->add_option("--pwm", a.force.onPwm, "the drive value of \"on\", 0..8191")->type_name("VALUE")->check(Within(0, 8191))->capture_default_str();
    forceCmd->add_option("--hold", a.force.holdMs, "keep the output forced this long")->type_name("MS")->check(Within(0, 86400000));
    forceCmd->add_option("--then", a.then, "then take a point while forced: set-4ma or set-20ma")->type_name("POINT")
        ->check(CLI::IsMember({"set-4ma", "set-20ma"}));
    forceCmd->footer(SubFooter(forceFooter));
    routes.push_back({forceCmd, [&a] {
                          if (!a.then.empty())
                              a.force.then = a.then == "set-4ma" ? kv508::Cmd_SetAs4mA : kv508::Cmd_SetAs20mA;
                          return ctl::RunForceOutput(a.link, a.force);
                      }});
}

void AddCalibrate(CLI::App &app, TArgs &a, TRoutes &routes)
{
    CLI::App *calibrate = app.add_subcommand("calibrate", "the window's calibration requests, with today's date");
    calibrate->require_subcommand(1);
    calibrate->footer(SubFooter(
        "The procedure: settings set sensor=N ...; zero pressure, calibrate set-zero; full scale,\n"
        "calibrate scale-end; calibrate set-4ma --pwm N; calibrate set-20ma --pwm N;\n"
        "calibrate force-output off; calibrate reset; zero pressure, calibrate zero; calibrate reset.\n"
        "zero, set-zero and scale-end first wait until the reading has settled (exit code 7 when it\n"
        "does not within --max-wait); zero and reset end with exit code 7 when the instrument still\n"
        "reports not calibrated, reset also when it reports its output out of range."));
    AddPointCommands(calibrate, a, routes);
    AddForceCommands(calibrate, a, routes);
}

// Listed for the help: kv508ctl-records runs them (main hands them on before parsing).
void AddRecords(CLI::App &app)
{
    app.add_subcommand("records", "the calibration records: init, list, show, audit, certificate, copy (records --help)");
    app.add_subcommand("record", "a calibration record made here: new, point, mark-calibrated, finish (record --help)");
    app.add_subcommand("station", "a whole calibration against a meter and a pressure controller (station --help)");
}

void AddMonitor(CLI::App &app, TArgs &a, TRoutes &routes)
{
    ctl::TMonitorOptions &monitor = a.monitor;
    CLI::App *monitorCmd = app.add_subcommand("monitor", "every frame on the line, decoded, with a verdict");
    monitorCmd->add_option("--output,-o", monitor.output, "append the records to FILE")->type_name("FILE");
    monitorCmd->add_flag("--json", monitor.json, "one JSON object per frame");
    monitorCmd->add_option("--duration", monitor.durationMs, "stop after MS (0: Ctrl+C ends)")->type_name("MS")->check(Within(0, 86400000 * 7));
    monitorCmd->footer(SubFooter("Listens only: connect a second adapter to the line."));
    routes.push_back({monitorCmd, [&a] { return ctl::RunMonitor(a.link, a.monitor); }});
}

// The exit code when parsing ends the run (help, version, a wrong command line).
std::optional<int> Parse(CLI::App &app, int argc, char **argv)
{
    try {
        app.parse(argc, argv);
    } catch (const CLI::CallForHelp &e) {
        return app.exit(e) == 0 ? ctl::exitOK : ctl::exitUsage;
    } catch (const CLI::CallForAllHelp &e) {
        return app.exit(e) == 0 ? ctl::exitOK : ctl::exitUsage;
    } catch (const CLI::CallForVersion &e) {
        return app.exit(e) == 0 ? ctl::exitOK : ctl::exitUsage;
    } catch (const CLI::ParseError &e) {
        std::fprintf(stderr, "kv508ctl: %s\nRun kv508ctl help for the subcommands, kv508ctl SUBCOMMAND --help for their options.\n",
                     e.what());
        return ctl::exitUsage;
    }
    return std::nullopt;
}

} // namespace

int main(int argc, char **argv)
{
#if !defined(_WIN32)
    // A reader that goes away (| head) is a write error to report, not a death
    // that skips closing the port.
    std::signal(SIGPIPE, SIG_IGN);
#endif
    if (const std::optional<int> code = ctl::RunRecordsProgram(argc, argv))
        return *code;
    CLI::App app{"kv508ctl: configures, calibrates and reads the KV508 I transmitter over its serial line.", "kv508ctl"};
    app.get_formatter()->column_width(34);
    app.footer(std::string("Run kv508ctl SUBCOMMAND --help for the subcommand's options.\n\n") + kExitCodes);
    app.set_version_flag("--version", std::string("kv508ctl ") + ctl::ToolVersion);
    app.fallthrough();
    app.require_subcommand(0, 1);

    // The help lists the subcommands in the order they are added.
    TArgs args;
    TRoutes routes;
    AddCommonOptions(app, args.link);
    AddHelpAndPorts(app, args, routes);
    AddRead(app, args, routes);
    AddSettings(app, args, routes);
    AddBackups(app, args, routes);
    AddCalibrate(app, args, routes);
    AddMonitor(app, args, routes);
    AddRecords(app);

    if (const std::optional<int> ended = Parse(app, argc, argv))
        return *ended;
    try {
        for (const TRoute &route : routes)
            if (route.sub->parsed())
                return route.run();
    } catch (const ctl::TFailure &f) {
        std::fprintf(stderr, "kv508ctl: %s\n", f.what());
        return f.code;
    } catch (const std::exception &e) {
        std::fprintf(stderr, "kv508ctl: %s\n", e.what());
        return ctl::exitUsage;
    }
    std::fprintf(stderr, "kv508ctl: a subcommand is needed (kv508ctl help lists them)\n");
    return ctl::exitUsage;
}
