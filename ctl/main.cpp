// kv508ctl: the KV508 I transmitter from the command line.
#include "Commands.h"
#include "KV508Commands.h"
#include "MBProtocol.h"

#include <CLI/CLI.hpp>

#include <algorithm>
#include <cctype>
#include <csignal>
#include <cstdio>
#include <functional>
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
                               "     reports not calibrated (zero, reset) or output out of range (reset)\n";

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

// zero, set-zero, scale-end, reset and erase: one request each, the first
// three after the reading has settled.
std::vector<std::pair<CLI::App *, uint8_t>> AddPointCommands(CLI::App *calibrate, bool &yes, bool &noWait,
                                                             ctl::TPointOptions &options)
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
    std::vector<std::pair<CLI::App *, uint8_t>> pointCommands;
    for (const TPoint &p : points) {
        CLI::App *sub = calibrate->add_subcommand(p.name, p.text);
        if (p.command == kv508::Cmd_EraseEEPROM)
            sub->add_flag("--yes", yes, "yes, erase it");
        if (p.command == kv508::Cmd_Zero || p.command == kv508::Cmd_SetAs0 || p.command == kv508::Cmd_SetAsScaleEnd) {
            CLI::Option *noWaitFlag = sub->add_flag("--no-wait", noWait, "take the reading as it is, settled or not");
            sub->add_option("--max-wait", options.maxWaitMs, "wait this long at most for the reading to settle")
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
        pointCommands.push_back({sub, p.command});
    }
    return pointCommands;
}

} // namespace

int main(int argc, char **argv)
{
#if !defined(_WIN32)
    // A reader that goes away (| head) is a write error to report, not a death
    // that skips closing the port.
    std::signal(SIGPIPE, SIG_IGN);
#endif
    CLI::App app{"kv508ctl: configures, calibrates and reads the KV508 I transmitter over its serial line.", "kv508ctl"};
    app.get_formatter()->column_width(34);
    app.footer(std::string("Run kv508ctl SUBCOMMAND --help for the subcommand's options.\n\n") + kExitCodes);
    app.set_version_flag("--version", std::string("kv508ctl ") + ctl::ToolVersion);
    app.fallthrough();
    app.require_subcommand(0, 1);

    ctl::TLinkOptions link;
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

    std::vector<std::string> helpTopic;
    CLI::App *help = app.add_subcommand("help", "this text, or a subcommand's (help settings)");
    help->add_option("subcommand", helpTopic, "subcommand");

    bool json = false;
    CLI::App *ports = app.add_subcommand("ports", "list the serial ports, and why a device is left out");
    ports->add_flag("--json", json, "as JSON");
    ports->footer(SubFooter());

    ctl::TReadOptions read;
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

    CLI::App *settings = app.add_subcommand("settings", "read or write the stored settings");
    settings->require_subcommand(1);
    settings->footer(SubFooter());
    CLI::App *settingsGet = settings->add_subcommand("get", "print the stored settings (as settings set takes them)");
    settingsGet->add_flag("--json", json, "as JSON");
    settingsGet->footer(SubFooter());
    std::vector<std::string> keyValues;
    bool forceSpan = false;
    CLI::App *settingsSet = settings->add_subcommand("set", "write settings, read them back and verify");
    settingsSet->add_option("KEY=VALUE", keyValues, "settings to change")->required();
    settingsSet->add_flag("--force", forceSpan, "write an inverted span (20ma below 4ma: a reverse-acting output), with a warning");
    settingsSet->footer(SubFooter(
        "Keys: 4ma=N, 20ma=N (the pressure at 4 and 20 mA as digits, -9999 .. 9999, e.g. 2491 for 249.1),\n"
        "error-current=on|off, error-level=3.2|22 (mA), sensor=1..12, averaging=1..1600,\n"
        "input=pressure|temperature. Numbers beyond their range are clamped as the window does.\n"
        "Only the first four changed: command 10 (the others stay untouched); otherwise command 7.\n"
        "Nothing is written when any KEY=VALUE is wrong, nor when 4ma and 20ma given leave a zero\n"
        "span (equal) or an inverted one (20ma below 4ma; --force writes that, with a warning)."));

    std::string file;
    bool dryRun = false;
    CLI::App *backup = app.add_subcommand("backup", "save the identity and every setting to a JSON file");
    backup->add_option("FILE", file, "the file (- for standard output)")->type_name("FILE")->required();
    backup->footer(SubFooter());
    CLI::App *restore = app.add_subcommand("restore", "write a backup's settings, read back and verify");
    restore->add_option("FILE", file, "a file made by backup")->required();
    restore->add_flag("--dry-run,-n", dryRun, "show the differences only");
    restore->add_flag("--force", forceSpan, "write a backup's inverted span (a reverse-acting output), with a warning");
    restore->footer(SubFooter("Shows the differences first; writes with command 7. Calibration stays with the instrument.\n"
                              "A backup with a zero span, or an inverted one without --force, is refused."));
    CLI::App *diff = app.add_subcommand("diff", "the differences between a backup and the instrument");
    diff->add_option("FILE", file, "a file made by backup")->required();
    diff->add_flag("--json", json, "as JSON");
    diff->footer(SubFooter("Exit code 0 when there is none, 5 when there are."));

    CLI::App *calibrate = app.add_subcommand("calibrate", "the window's calibration requests, with today's date");
    calibrate->require_subcommand(1);
    calibrate->footer(SubFooter(
        "The procedure: settings set sensor=N ...; zero pressure, calibrate set-zero; full scale,\n"
        "calibrate scale-end; calibrate set-4ma --pwm N; calibrate set-20ma --pwm N;\n"
        "calibrate force-output off; calibrate reset; zero pressure, calibrate zero; calibrate reset.\n"
        "zero, set-zero and scale-end first wait until the reading has settled (exit code 7 when it\n"
        "does not within --max-wait); zero and reset end with exit code 7 when the instrument still\n"
        "reports not calibrated, reset also when it reports its output out of range."));
    bool yes = false, noWait = false;
    ctl::TPointOptions pointOptions;
    const std::vector<std::pair<CLI::App *, uint8_t>> pointCommands = AddPointCommands(calibrate, yes, noWait, pointOptions);
    ctl::TForceOptions force;
    std::string pwm;
    const char *forceFooter =
        "The forced output is carried by each poll. force-output leaves the output forced when it ends\n"
        "(the instrument keeps the last poll's force) so an ammeter can be read; the first poll of any\n"
        "later command releases it. set-4ma and set-20ma therefore take the drive value themselves:\n"
        "they force it, take the point while forced, and leave it forced. --hold MS keeps polling\n"
        "forced for MS first (each answer on standard output); Ctrl+C then releases the output.";
    CLI::App *set4 = calibrate->add_subcommand("set-4ma", "take drive value --pwm as the 4 mA point (command 4)");
    set4->add_option("--pwm", pwm, "drive value 0..8191, F or 50%, forced while the point is taken")->type_name("VALUE")->required();
    set4->add_option("--hold", force.holdMs, "keep the output forced this long first")->type_name("MS")->check(Within(0, 86400000));
    set4->footer(SubFooter(forceFooter));
    CLI::App *set20 = calibrate->add_subcommand("set-20ma", "take drive value --pwm as the 20 mA point (command 5)");
    set20->add_option("--pwm", pwm, "drive value 0..8191, F or 50%, forced while the point is taken")->type_name("VALUE")->required();
    set20->add_option("--hold", force.holdMs, "keep the output forced this long first")->type_name("MS")->check(Within(0, 86400000));
    set20->footer(SubFooter(forceFooter));
    std::string then;
    CLI::App *forceCmd = calibrate->add_subcommand("force-output", "force the output current: on|off|VALUE|0|F|50%");
    forceCmd->add_option("VALUE", force.value, "off, on (at --pwm), a drive value 0..8191, F (8191) or 50% (4095)")->required();
    forceCmd->add_option("--pwm", force.onPwm, "the drive value of \"on\", 0..8191")->type_name("VALUE")->check(Within(0, 8191))->capture_default_str();
    forceCmd->add_option("--hold", force.holdMs, "keep the output forced this long")->type_name("MS")->check(Within(0, 86400000));
    forceCmd->add_option("--then", then, "then take a point while forced: set-4ma or set-20ma")->type_name("POINT")
        ->check(CLI::IsMember({"set-4ma", "set-20ma"}));
    forceCmd->footer(SubFooter(forceFooter));

    ctl::TMonitorOptions monitor;
    CLI::App *monitorCmd = app.add_subcommand("monitor", "every frame on the line, decoded, with a verdict");
    monitorCmd->add_option("--output,-o", monitor.output, "append the records to FILE")->type_name("FILE");
    monitorCmd->add_flag("--json", monitor.json, "one JSON object per frame");
    monitorCmd->add_option("--duration", monitor.durationMs, "stop after MS (0: Ctrl+C ends)")->type_name("MS")->check(Within(0, 86400000 * 7));
    monitorCmd->footer(SubFooter(ctl::MonitorAvailable() ? "Listens only: connect a second adapter to the line."
                                                         : "Not in this build: the line monitor library is missing."));

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

    try {
        if (help->parsed()) {
            // Not app.help(): that shows the selected subcommand, "help" itself.
            CLI::App *topic = &app;
            std::string path = "kv508ctl";
            for (const std::string &name : helpTopic) {
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
        if (ports->parsed())
            return ctl::RunPorts(json);
        if (readCmd->parsed())
            return ctl::RunRead(link, read);
        if (settingsGet->parsed())
            return ctl::RunSettingsGet(link, json);
        if (settingsSet->parsed())
            return ctl::RunSettingsSet(link, keyValues, forceSpan);
        if (backup->parsed())
            return ctl::RunBackup(link, file);
        if (restore->parsed())
            return ctl::RunRestore(link, file, dryRun, forceSpan);
        if (diff->parsed())
            return ctl::RunDiff(link, file, json);
        for (auto [sub, command] : pointCommands) {
            if (!sub->parsed())
                continue;
            if (command == kv508::Cmd_EraseEEPROM && !yes)
                throw ctl::TFailure(ctl::exitUsage, "erase wipes the instrument's settings and calibration; add --yes to go "
                                                    "ahead (kv508ctl backup FILE keeps the settings first)");
            pointOptions.wait = !noWait;
            return ctl::RunCalibrationPoint(link, command, pointOptions);
        }
        if (set4->parsed() || set20->parsed()) {
            std::string word = pwm;
            std::transform(word.begin(), word.end(), word.begin(), [](unsigned char c) { return char(std::tolower(c)); });
            if (word == "on" || word == "off") // "on" is force-output's word; here it would take the point at drive 0
                throw ctl::TFailure(ctl::exitUsage, "--pwm " + pwm + ": takes the drive value of the point, 0 .. 8191, F (8191) or 50% (4095)");
            force.value = pwm;
            force.then = set4->parsed() ? kv508::Cmd_SetAs4mA : kv508::Cmd_SetAs20mA;
            return ctl::RunForceOutput(link, force);
        }
        if (forceCmd->parsed()) {
            if (!then.empty())
                force.then = then == "set-4ma" ? kv508::Cmd_SetAs4mA : kv508::Cmd_SetAs20mA;
            return ctl::RunForceOutput(link, force);
        }
        if (monitorCmd->parsed())
            return ctl::RunMonitor(link, monitor);
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
