// kv508ctl-records: kv508ctl records ... and kv508ctl record ... (kv508ctl
// runs this program, beside it, with its own arguments). A program of its own
// because it needs Qt (the store is Qt SQL, the certificate Qt Gui) and
// kv508ctl starts without it.
#include "Records.h"
#include "Station.h"

#include "Commands.h"
#include "MBProtocol.h"

#include <CLI/CLI.hpp>

#include <QCoreApplication>
#include <QGuiApplication>

#include <csignal>
#include <cstdio>
#include <functional>
#include <memory>
#include <optional>

namespace {

const char *const kExitCodes = "Exit codes:\n"
                               "  0  success\n"
                               "  1  usage: a wrong command line, an unknown certificate number, or a change refused\n"
                               "  2  the port cannot be opened\n"
                               "  3  no answer from the instrument after every try\n"
                               "  4  the instrument answered with an error\n"
                               "  7  record point: the reading did not settle (no point stored); record mark-calibrated:\n"
                               "     the instrument's calibration date has not changed\n"
                               "  8  the records location cannot be used (cannot connect, schema too new or old, no rights)\n"
                               "  9  station: the record is finished and its verdict is FAIL\n"
                               "  10 station: a reference instrument (meter, pressure controller) failed\n";

const char *const kRecordsOption = "Records: --records LOCATION (before or after the subcommand): sqlite:PATH, a path, or\n"
                                   "postgresql://USER@HOST:PORT/DB; default KV508_RECORDS, else the window's file.\n";

struct TArgs {
    std::string records;
    ctl::TLinkOptions link;
    ctlrec::TListOptions list;
    std::string certificate, file, format = "text", issuer, from, to;
    ctlrec::TNewOptions created;
    ctlrec::TPointOptions point;
    ctlrec::TStationOptions station;
    CLI::App *certificateCmd = nullptr; // the ones that need Qt Gui
    CLI::App *stationCmd = nullptr;
};

struct TRoute {
    CLI::App *sub;
    std::function<int()> run;
};
using TRoutes = std::vector<TRoute>;

std::string Footer(bool instrument = false)
{
    return std::string(kRecordsOption) +
           (instrument ? "Port: --port NAME, --address N, --id N, --baud RATE, --timeout MS, --tries N, --quiet, --verbose\n"
                         "as for the other subcommands (kv508ctl help).\n"
                       : "") +
           "\n" + kExitCodes;
}

void AddLinkOptions(CLI::App &app, ctl::TLinkOptions &link)
{
    app.add_option("--port,-p", link.port, "port name (ttyUSB0, kv508sim0) or path; default: the only port listed")->type_name("NAME");
    app.add_option("--address", link.address, "the instrument's address, 1..255")->type_name("N")->check(CLI::Range(1, 255));
    app.add_option("--id", link.id, "the instrument's ID, 0..255")->type_name("N")->check(CLI::Range(0, 255));
    app.add_option("--baud", link.baud, "baud rate of the line")->type_name("RATE")->check([](const std::string &text) {
        mbcore::TMBBaud b;
        try {
            return mbcore::BaudOf(static_cast<uint32_t>(std::stoul(text)), b) ? std::string() : "not a rate of the line";
        } catch (const std::exception &) {
            return std::string("not a number");
        }
    });
    app.add_option("--timeout", link.timeoutMs, "wait for an answer, per try")->type_name("MS")->check(CLI::Range(1, 60000));
    app.add_option("--tries", link.tries, "tries per request, 1..255")->type_name("N")->check(CLI::Range(1, 255));
    app.add_flag("--quiet,-q", link.quiet, "no notes on standard error (errors still)");
    app.add_flag("--verbose,-v", link.verbose, "every request, its tries and time on standard error");
}

QString Where(const TArgs &a)
{
    return ctlrec::LocationOf(a.records);
}

void AddRecords(CLI::App &app, TArgs &a, TRoutes &routes)
{
    CLI::App *records = app.add_subcommand("records", "the calibration records: init, list, show, audit, certificate, copy");
    records->require_subcommand(1);
    records->footer(Footer());
    CLI::App *init = records->add_subcommand("init", "create or bring up to date the records' schema (a server's too)");
    init->footer(Footer());
    routes.push_back({init, [&a] { return ctlrec::RunInit(Where(a)); }});

    CLI::App *list = records->add_subcommand("list", "the records, newest first");
    list->add_option("--tag", a.list.tag, "of this instrument tag only")->type_name("TAG");
    list->add_option("--due-before", a.list.dueBefore, "next due before this day")->type_name("YYYY-MM-DD");
    list->add_option("--verdict", a.list.verdict, "pass or fail only")->type_name("VERDICT")->check(CLI::IsMember({"pass", "fail"}));
    list->add_option("--format,-f", a.list.format, "text, csv or json")->type_name("FORMAT")->check(CLI::IsMember({"text", "csv", "json"}));
    list->footer(Footer());
    routes.push_back({list, [&a] { return ctlrec::RunList(Where(a), a.list); }});

    CLI::App *show = records->add_subcommand("show", "one record: header, references, points and results");
    show->add_option("CERT", a.certificate, "its certificate number")->required();
    show->add_option("--format,-f", a.format, "text or json")->type_name("FORMAT")->check(CLI::IsMember({"text", "json"}));
    show->footer(Footer());
    routes.push_back({show, [&a] { return ctlrec::RunShow(Where(a), a.certificate, a.format); }});

    CLI::App *audit = records->add_subcommand("audit", "every change of one record: when, who, where, what");
    audit->add_option("CERT", a.certificate, "its certificate number")->required();
    audit->add_option("--format,-f", a.format, "text, csv or json")->type_name("FORMAT")->check(CLI::IsMember({"text", "csv", "json"}));
    audit->footer(Footer());
    routes.push_back({audit, [&a] { return ctlrec::RunAudit(Where(a), a.certificate, a.format); }});

    CLI::App *cert = records->add_subcommand("certificate", "write a record's certificate as PDF, as the window does");
    cert->add_option("CERT", a.certificate, "its certificate number")->required();
    cert->add_option("FILE", a.file, "the PDF file")->required();
    cert->add_option("--issuer", a.issuer, "your company or laboratory, at the top of the certificate")->type_name("NAME");
    cert->footer(Footer());
    a.certificateCmd = cert;
    routes.push_back({cert, [&a] { return ctlrec::RunCertificate(Where(a), a.certificate, a.file, a.issuer); }});

    CLI::App *copy = records->add_subcommand("copy", "every record of one location into another; run again, it doubles nothing");
    copy->add_option("--from", a.from, "the records to copy")->type_name("LOCATION")->required();
    copy->add_option("--to", a.to, "where they go")->type_name("LOCATION")->required();
    copy->footer("A record already there (same tag, serial and creation time) is skipped. A number another\n"
                 "record has there is replaced by the next free one of its year, and said.\n\n" + Footer());
    routes.push_back({copy, [&a] { return ctlrec::RunCopy(ctlrec::Q(a.from), ctlrec::Q(a.to)); }});
}

void AddRecord(CLI::App &app, TArgs &a, TRoutes &routes)
{
    CLI::App *record = app.add_subcommand("record", "a check from the command line: new, point, mark-calibrated, finish");
    record->require_subcommand(1);
    record->footer(Footer(true));
    CLI::App *create = record->add_subcommand("new", "start a record for the instrument on the port; prints its number");
    create->add_option("--tag", a.created.tag, "the instrument's tag")->type_name("TAG")->required();
    create->add_option("--serial", a.created.serial, "its serial number")->type_name("SERIAL")->required();
    create->add_option("--technician", a.created.technician, "who checks it")->type_name("NAME")->required();
    create->add_option("--points", a.created.points, "test points in % of span")->type_name("LIST")->capture_default_str();
    create->add_option("--tolerance", a.created.tolerance, "in % of span")->type_name("PERCENT")->capture_default_str();
    create->add_flag("--hysteresis", a.created.hysteresis, "the points up, then down again");
    create->footer(Footer(true));
    routes.push_back({create, [&a] { return ctlrec::RunNew(Where(a), a.link, a.created); }});

    CLI::App *point = record->add_subcommand("point", "take a point: the instrument's settled reading beside yours");
    point->add_option("CERT", a.point.certificate, "the record's certificate number")->required();
    point->add_option("--phase", a.point.phase, "as-found or as-left")->type_name("PHASE")->required()
        ->check(CLI::IsMember({"as-found", "as-left"}));
    point->add_option("--applied", a.point.applied, "the reference value applied, in the instrument's unit")->type_name("VALUE")->required();
    point->add_option("--meter-ma", a.point.meterMilliAmps, "the reference ammeter's reading")->type_name("MA")->required();
    point->add_option("--index", a.point.index, "the point's place in the sequence (default: the next not entered)")
        ->type_name("N")->check(CLI::Range(1, 1000));
    point->add_option("--max-wait", a.point.maxWaitMs, "wait this long at most for the reading to settle")->type_name("MS")
        ->check(CLI::Range(1000, 86400000))->capture_default_str();
    point->footer(Footer(true));
    routes.push_back({point, [&a] { return ctlrec::RunPoint(Where(a), a.link, a.point); }});

    CLI::App *mark = record->add_subcommand("mark-calibrated", "note that the instrument was calibrated since As-Found");
    mark->add_option("CERT", a.certificate, "the record's certificate number")->required();
    mark->footer(Footer(true));
    routes.push_back({mark, [&a] { return ctlrec::RunMarkCalibrated(Where(a), a.link, a.certificate); }});

    CLI::App *finish = record->add_subcommand("finish", "finish a record (read-only from then on); prints its verdict");
    finish->add_option("CERT", a.certificate, "the record's certificate number")->required();
    finish->footer(Footer());
    routes.push_back({finish, [&a] { return ctlrec::RunFinish(Where(a), a.certificate); }});
}

void AddStation(CLI::App &app, TArgs &a, TRoutes &routes)
{
    ctlrec::TStationOptions &o = a.station;
    CLI::App *st = app.add_subcommand("station", "a whole calibration against a meter and a pressure controller, "
                                                 "record and certificate included");
    st->add_option("--meter", o.meter, "the meter in the loop: tcp:HOST[:PORT] or serial:PORT[:BAUD]")->type_name("ADDRESS")->required();
    st->add_option("--pressure", o.pressure, "the pressure controller (without it each pressure is asked for on the terminal)")
        ->type_name("ADDRESS");
    st->add_option("--tag", o.record.tag, "the instrument's tag")->type_name("TAG")->required();
    st->add_option("--serial", o.record.serial, "its serial number")->type_name("SERIAL")->required();
    st->add_option("--technician", o.record.technician, "who is responsible for the calibration")->type_name("NAME")->required();
    st->add_option("--points", o.record.points, "test points in % of span")->type_name("LIST")->capture_default_str();
    st->add_option("--tolerance", o.record.tolerance, "in % of span")->type_name("PERCENT")->capture_default_str();
    st->add_option("--trim-tolerance", o.trimTolerance, "the output trim's aim, in mA")->type_name("MA")->capture_default_str();
    st->add_option("--meter-read", o.meterCommands.read, "the meter's query for one reading (amperes)")->type_name("CMD")
        ->capture_default_str();
    st->add_option("--meter-configure", o.meterCommands.configure, "sent to the meter once after opening (\"\": none)")
        ->type_name("CMD")->capture_default_str();
    st->add_option("--controller-unit", o.controllerUnit, "the controller's pressure unit")->type_name("UNIT")
        ->check(CLI::IsMember({"PA", "KPA"}))->capture_default_str();
    st->add_option("--settle-timeout", o.settleTimeoutMs, "wait this long at most for the pressure to be within limits, "
                                                          "and for the reading to settle")
        ->type_name("MS")->check(CLI::Range(500, 86400000))->capture_default_str();
    st->add_option("--certificate", o.certificate, "the certificate's PDF (default: CERT.pdf here)")->type_name("FILE");
    st->add_option("--issuer", o.issuer, "your company or laboratory, at the top of the certificate")->type_name("NAME");
    st->add_option("--format,-f", o.format, "the summary: text or json")->type_name("FORMAT")->check(CLI::IsMember({"text", "json"}))
        ->capture_default_str();
    st->footer("As-Found at each point, the eleven steps of kv508ctl calibrate with the output trimmed against the\n"
               "meter, As-Left, the record finished and its certificate written; one progress line per step on\n"
               "standard error. On a failure or Ctrl+C the output is released, the controller's control turned\n"
               "off, the record left open, and the message says which calibration requests the instrument took.\n\n" +
               Footer(true));
    a.stationCmd = st;
    routes.push_back({st, [&a] { return ctlrec::RunStation(Where(a), a.link, a.station); }});
}

std::optional<int> Parse(CLI::App &app, int argc, char **argv)
{
    try {
        app.parse(argc, argv);
    } catch (const CLI::ParseError &e) {
        if (e.get_exit_code() == 0 || dynamic_cast<const CLI::CallForHelp *>(&e) || dynamic_cast<const CLI::CallForAllHelp *>(&e) ||
            dynamic_cast<const CLI::CallForVersion *>(&e))
            return app.exit(e) == 0 ? ctl::exitOK : ctl::exitUsage;
        std::fprintf(stderr, "kv508ctl: %s\nRun kv508ctl records --help or kv508ctl record --help for the subcommands.\n", e.what());
        return ctl::exitUsage;
    }
    return std::nullopt;
}

} // namespace

int main(int argc, char **argv)
{
#if !defined(_WIN32)
    std::signal(SIGPIPE, SIG_IGN);
#endif
    CLI::App app{"kv508ctl records, record, station: the calibration records from the command line.", "kv508ctl"};
    app.get_formatter()->column_width(34);
    app.footer(Footer());
    app.set_version_flag("--version", std::string("kv508ctl-records ") + ctl::ToolVersion);
    app.fallthrough();
    app.require_subcommand(1);
    TArgs args;
    TRoutes routes;
    app.add_option("--records", args.records, "the records: sqlite:PATH, a path, or postgresql://USER@HOST:PORT/DB")
        ->type_name("LOCATION");
    AddLinkOptions(app, args.link);
    AddRecords(app, args, routes);
    AddRecord(app, args, routes);
    AddStation(app, args, routes);
    if (const std::optional<int> ended = Parse(app, argc, argv))
        return *ended;

    // The store's default file is the window's: the same application name.
    QCoreApplication::setApplicationName(QStringLiteral("kv508"));
    int qtArgc = 1;
    char *qtArgv[] = {argv[0], nullptr};
    std::unique_ptr<QCoreApplication> qt;
    if (args.certificateCmd->parsed() || args.stationCmd->parsed()) { // a certificate: fonts and painting, no display needed
        if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
            qputenv("QT_QPA_PLATFORM", "offscreen");
        qt = std::make_unique<QGuiApplication>(qtArgc, qtArgv);
    } else {
        qt = std::make_unique<QCoreApplication>(qtArgc, qtArgv);
    }
    QCoreApplication::setApplicationName(QStringLiteral("kv508"));
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
    std::fprintf(stderr, "kv508ctl: a subcommand is needed (kv508ctl records --help lists them)\n");
    return ctl::exitUsage;
}
