// kv508ctl end to end: the real program against kv508-sim on a
// pseudo-terminal, subcommand by subcommand, with its exit codes and messages.
#include "CtlFixture.h"

#include <kv508/Version.h>

#include <nlohmann/json.hpp>

#include <algorithm>
#include <cmath>
#include <memory>
#include <regex>

using ctltest::TRun;
using ctltest::TSim;
using nlohmann::json;

namespace {

const std::regex kIsoTime(R"(\d{4}-\d\d-\d\dT\d\d:\d\d:\d\d\.\d{3}[+-]\d\d:\d\d)");

// ---- read ------------------------------------------------------------------------------------------

TEST_F(CtlTest, ReadOnceGivesTheLiveValuesAsTextJsonAndCsv)
{
    TSim sim({"--no-line-time", "--no-link", "--pressure", "124.5"});
    ASSERT_TRUE(sim.Ok());

    const TRun text = On(sim, {"read"});
    ASSERT_EQ(text.code, 0) << Shown(text);
    for (const char *line : {"output: ", "errors: none", "firmware: 2017.01.05.", "calibrated: 2017.01.12.", "adc: ",
                             "sps: 100", "scale-end: 249.1"})
        EXPECT_TRUE(Has(text.out, line)) << line << "\n" << text.out;
    // Sensor 5 shows one decimal; the simulated 124.5 Pa within its noise.
    std::smatch m;
    ASSERT_TRUE(std::regex_search(text.out, m, std::regex(R"(pressure: (-?\d+\.\d)\n)"))) << text.out;
    EXPECT_NEAR(std::stod(m[1]), 124.5, 1.0);

    const TRun js = On(sim, {"read", "--format", "json"});
    ASSERT_EQ(js.code, 0) << Shown(js);
    const json j = json::parse(js.out);
    EXPECT_NEAR(j["pressure"].get<double>(), 124.5, 1.0);
    EXPECT_NEAR(j["output-ma"].get<double>(), 12.0, 0.2); // half the span of 0 .. 249.1
    EXPECT_EQ(j["decimals"], 1);
    EXPECT_EQ(j["errors"].size(), 5u);
    EXPECT_FALSE(j["errors"]["not-calibrated"].get<bool>());
    EXPECT_EQ(j["calibration-code"], 20170112);
    EXPECT_TRUE(std::regex_match(j["time"].get<std::string>(), kIsoTime)) << j["time"];

    const TRun csv = On(sim, {"read", "-f", "csv"});
    ASSERT_EQ(csv.code, 0) << Shown(csv);
    const auto lines = Lines(csv.out);
    ASSERT_EQ(lines.size(), 2u) << csv.out;
    EXPECT_EQ(lines[0].rfind("time,pressure,output_ma,not_calibrated,", 0), 0u) << lines[0];
    EXPECT_EQ(std::count(lines[0].begin(), lines[0].end(), ','), std::count(lines[1].begin(), lines[1].end(), ','));
    EXPECT_TRUE(std::regex_search(lines[1], std::regex(R"(^\d{4}-\d\d-\d\dT[^,]+,)"))) << lines[1];
}

TEST_F(CtlTest, WatchPollsCountTimesAtTheIntervalAndFlagsShowByName)
{
    TSim sim({"--no-line-time", "--no-link", "--blank"});
    ASSERT_TRUE(sim.Ok());
    const TRun csv = On(sim, {"read", "--watch", "--count", "4", "--interval", "150", "--format", "csv"});
    ASSERT_EQ(csv.code, 0) << Shown(csv);
    const auto lines = Lines(csv.out);
    ASSERT_EQ(lines.size(), 5u) << csv.out;
    // An erased instrument: not calibrated and settings missing, as 1 in their columns.
    EXPECT_TRUE(Has(lines[1], ",1,0,1,0,")) << lines[1];
    // The interval runs from one poll's start to the next: three intervals at least 450 ms.
    auto msOf = [](const std::string &row) {
        const int h = std::stoi(row.substr(11, 2)), mi = std::stoi(row.substr(14, 2));
        return ((h * 60 + mi) * 60) * 1000.0 + std::stod(row.substr(17, 6)) * 1000.0;
    };
    EXPECT_GE(msOf(lines[4]) - msOf(lines[1]), 440.0) << csv.out;

    const TRun text = On(sim, {"read", "--watch", "--count", "2", "--interval", "0"});
    ASSERT_EQ(text.code, 0) << Shown(text);
    ASSERT_EQ(Lines(text.out).size(), 2u);
    EXPECT_TRUE(Has(text.out, "Nincs kalibrálva (not-calibrated)")) << text.out;
    EXPECT_TRUE(Has(text.out, "Hiányzó beállítások (settings-missing)")) << text.out;

    const TRun jsonLines = On(sim, {"read", "--watch", "--count", "3", "--interval", "0", "-f", "json"});
    ASSERT_EQ(jsonLines.code, 0) << Shown(jsonLines);
    const auto objects = Lines(jsonLines.out);
    ASSERT_EQ(objects.size(), 3u);
    for (const std::string &o : objects)
        EXPECT_TRUE(json::parse(o)["errors"]["settings-missing"].get<bool>());
}

TEST_F(CtlTest, AnEndlessWatchEndsCleanlyAtSigterm)
{
    TSim sim;
    ASSERT_TRUE(sim.Ok());
    ctltest::TProcess watch;
    ASSERT_TRUE(watch.Start(KV508CTL_PATH, {"--port", sim.Path(), "read", "--watch", "--interval", "0", "-f", "csv"}));
    std::string header, row;
    ASSERT_TRUE(watch.ReadOutLine(header, 10000));
    ASSERT_TRUE(watch.ReadOutLine(row, 10000));
    EXPECT_EQ(watch.Stop(), 0); // between two polls, not killed in the middle
    EXPECT_EQ(std::count(row.begin(), row.end(), ','), std::count(header.begin(), header.end(), ','));
    // The port is free again at once.
    EXPECT_EQ(On(sim, {"--tries", "1", "read"}).code, 0);
}

// A pulled adapter pauses the log; it goes on when the same adapter returns,
// under whatever name, and not when another one takes the old name.
TEST_F(CtlTest, APulledAdapterPausesTheWatchUntilTheSameOneReturns)
{
    auto lost = std::make_unique<TSim>(std::vector<std::string>{"--no-line-time", "--serial", "RIG-1"});
    ASSERT_TRUE(lost->Ok());
    ctltest::TProcess watch;
    ASSERT_TRUE(watch.Start(KV508CTL_PATH, {"--port", "kv508sim0", "read", "--watch", "--interval", "100", "-f", "csv"}));
    std::string header, row, err;
    ASSERT_TRUE(watch.ReadOutLine(header, 10000));
    ASSERT_TRUE(watch.ReadOutLine(row, 10000));
    lost->Stop();
    lost.reset();
    ASSERT_TRUE(watch.ReadErrLine(err, 10000));
    EXPECT_EQ(err, "kv508ctl: kv508sim0 closed: adapter lost; waiting for it to come back (virtual kv508-sim serial RIG-1; "
                   "Ctrl+C ends)");

    TSim other({"--no-line-time", "--serial", "RIG-2"}); // takes the name kv508sim0
    ASSERT_TRUE(other.Ok());
    EXPECT_FALSE(watch.ReadErrLine(err, 2500)) << "another adapter was taken: " << err; // two looks at least
    TSim same({"--no-line-time", "--serial", "RIG-1"}); // kv508sim1
    ASSERT_TRUE(same.Ok());
    ASSERT_TRUE(watch.ReadErrLine(err, 5000));
    EXPECT_EQ(err, "kv508ctl: kv508sim0 is back as kv508sim1; the watch goes on");
    ASSERT_TRUE(watch.ReadOutLine(row, 10000));
    EXPECT_EQ(std::count(row.begin(), row.end(), ','), std::count(header.begin(), header.end(), ',')); // no second header
    EXPECT_EQ(watch.Stop(), 0);
}

// ---- settings -------------------------------------------------------------------------------------

TEST_F(CtlTest, SettingsGetPrintsWhatSetTakesBack)
{
    TSim sim;
    ASSERT_TRUE(sim.Ok());
    const TRun get = On(sim, {"settings", "get"});
    ASSERT_EQ(get.code, 0) << Shown(get);
    EXPECT_EQ(get.out, "4ma: 0\n20ma: 2491\nerror-current: on\nerror-level: 3.2\nsensor: 5\naveraging: 80\ninput: pressure\n");
    std::vector<std::string> args = {"settings", "set"};
    for (const std::string &line : Lines(get.out))
        args.push_back(std::regex_replace(line, std::regex(": "), "="));
    const TRun same = On(sim, args);
    ASSERT_EQ(same.code, 0) << Shown(same);
    EXPECT_TRUE(Has(same.err, "already holds")) << same.err;
    EXPECT_TRUE(same.out.empty());

    const TRun js = On(sim, {"settings", "get", "--json"});
    ASSERT_EQ(js.code, 0) << Shown(js);
    EXPECT_EQ(json::parse(js.out), json::parse(R"({"4ma":0,"20ma":2491,"error-current":true,"error-level":3.2,)"
                                               R"("sensor":5,"averaging":80,"input":"pressure"})"));
}

TEST_F(CtlTest, SettingsSetClampsWritesTheShortestCommandAndVerifies)
{
    TSim sim;
    ASSERT_TRUE(sim.Ok());
    // Only the first four: command 10, the pressures clamped as the window does.
    const TRun shortWrite = On(sim, {"--verbose", "settings", "set", "4ma=-20000", "20ma=12000", "error-level=22"});
    ASSERT_EQ(shortWrite.code, 0) << Shown(shortWrite);
    EXPECT_TRUE(Has(shortWrite.err, "> write settings (first four) (10)")) << shortWrite.err;
    EXPECT_FALSE(Has(shortWrite.err, "> write settings (7)"));
    EXPECT_TRUE(Has(shortWrite.err, "4ma -20000 is below -9999")) << shortWrite.err;
    EXPECT_TRUE(Has(shortWrite.err, "> read settings (8)"));
    EXPECT_TRUE(Has(shortWrite.out, "4ma: now -9999, was 0")) << shortWrite.out;
    EXPECT_TRUE(Has(shortWrite.out, "20ma: now 9999, was 2491")) << shortWrite.out;

    const TRun longWrite = On(sim, {"--verbose", "settings", "set", "sensor=3", "averaging=0", "input=temperature"});
    ASSERT_EQ(longWrite.code, 0) << Shown(longWrite);
    EXPECT_TRUE(Has(longWrite.err, "> write settings (7)")) << longWrite.err;

    const TRun get = On(sim, {"settings", "get"});
    EXPECT_EQ(get.out, "4ma: -9999\n20ma: 9999\nerror-current: on\nerror-level: 22\nsensor: 3\naveraging: 1\ninput: temperature\n");
}

TEST_F(CtlTest, SettingsSetOnAnErasedInstrumentFillsInTheWindowsDefaults)
{
    TSim sim({"--no-line-time", "--no-link", "--blank"});
    ASSERT_TRUE(sim.Ok());
    const TRun set = On(sim, {"--verbose", "settings", "set", "4ma=0", "20ma=2491", "error-current=on", "error-level=3.2"});
    ASSERT_EQ(set.code, 0) << Shown(set);
    // Command 10 would leave sensor 255 behind; command 7 with the defaults instead.
    EXPECT_TRUE(Has(set.err, "> write settings (7)")) << set.err;
    EXPECT_TRUE(Has(set.err, "the stored sensor 255 is out of range: 5 is written")) << set.err;
    const TRun get = On(sim, {"settings", "get"});
    EXPECT_EQ(get.out, "4ma: 0\n20ma: 2491\nerror-current: on\nerror-level: 3.2\nsensor: 5\naveraging: 80\ninput: pressure\n");
    const TRun read = On(sim, {"read"});
    EXPECT_FALSE(Has(read.out, "Hiányzó beállítások")) << read.out;
}

TEST_F(CtlTest, AWrongKeyValueWritesNothingAtAll)
{
    TSim sim;
    ASSERT_TRUE(sim.Ok());
    for (const std::vector<std::string> &args :
         {std::vector<std::string>{"sensor=3", "averaging=abc"}, {"sensor=3", "bogus=1"}, {"sensor=13"},
          {"4ma=5", "error-level=5"}, {"input=steam"}, {"sensor"}}) {
        std::vector<std::string> all = {"--verbose", "settings", "set"};
        all.insert(all.end(), args.begin(), args.end());
        const TRun r = On(sim, all);
        EXPECT_EQ(r.code, 1) << Shown(r);
        EXPECT_TRUE(Has(r.err, "nothing was written")) << r.err;
        EXPECT_FALSE(Has(r.err, "> ")) << "talked to the instrument:\n" << r.err;
    }
    EXPECT_EQ(On(sim, {"settings", "get"}).out,
              "4ma: 0\n20ma: 2491\nerror-current: on\nerror-level: 3.2\nsensor: 5\naveraging: 80\ninput: pressure\n");
}

// ---- backup, restore, diff ---------------------------------------------------------------------------

TEST_F(CtlTest, BackupEraseRestoreLeavesNoDifference)
{
    PtyTools::TScratchDir dir;
    const std::string state = dir.Path() + "/memory.json", backup = dir.Path() + "/kv508.json";
    TSim sim({"--no-line-time", "--no-link", "--state", state});
    ASSERT_TRUE(sim.Ok());
    ASSERT_EQ(On(sim, {"settings", "set", "sensor=7", "averaging=200", "4ma=-50", "20ma=1245"}).code, 0);

    const TRun saved = On(sim, {"backup", backup});
    ASSERT_EQ(saved.code, 0) << Shown(saved);
    const json b = json::parse(Slurp(backup));
    EXPECT_EQ(b["format"], "kv508ctl backup 1");
    EXPECT_EQ(b["instrument"]["firmware"], "2017.01.05.");
    EXPECT_EQ(b["instrument"]["calibration-date"], "2017.01.12.");
    EXPECT_EQ(b["instrument"]["address"], 1);
    EXPECT_EQ(b["instrument"]["id"], 39);
    EXPECT_TRUE(std::regex_match(b["time"].get<std::string>(), kIsoTime));
    EXPECT_EQ(b["settings"]["sensor"], 7);
    EXPECT_EQ(b["settings"]["averaging"], 200);
    EXPECT_EQ(b["settings"]["4ma"], -50);

    const TRun erase = On(sim, {"calibrate", "erase", "--yes"});
    ASSERT_EQ(erase.code, 0) << Shown(erase);
    const TRun differs = On(sim, {"diff", backup});
    EXPECT_EQ(differs.code, 5) << Shown(differs);
    EXPECT_TRUE(Has(differs.out, "sensor: file 7, instrument 255")) << differs.out;

    const TRun dry = On(sim, {"restore", "--dry-run", backup});
    EXPECT_EQ(dry.code, 0) << Shown(dry);
    EXPECT_EQ(Lines(dry.out).size(), 7u) << dry.out;
    EXPECT_EQ(On(sim, {"diff", backup}).code, 5); // the dry run wrote nothing

    const TRun restored = On(sim, {"--verbose", "restore", backup});
    ASSERT_EQ(restored.code, 0) << Shown(restored);
    EXPECT_TRUE(Has(restored.out, "averaging: backup 200, instrument 65535")) << restored.out;
    EXPECT_TRUE(Has(restored.err, "> write settings (7)"));
    EXPECT_TRUE(Has(restored.err, "verified"));

    const TRun none = On(sim, {"diff", backup});
    EXPECT_EQ(none.code, 0) << Shown(none);
    EXPECT_EQ(none.out, "");
    const TRun noneJson = On(sim, {"diff", "--json", backup});
    EXPECT_EQ(noneJson.code, 0);
    EXPECT_EQ(json::parse(noneJson.out), json::array());
    const TRun again = On(sim, {"--verbose", "restore", backup});
    EXPECT_EQ(again.code, 0);
    EXPECT_FALSE(Has(again.err, "> write settings")) << again.err;
}

TEST_F(CtlTest, RestoreRefusesABadFileBeforeSendingAnything)
{
    PtyTools::TScratchDir dir;
    TSim sim;
    ASSERT_TRUE(sim.Ok());
    const std::string good = dir.Path() + "/good.json";
    ASSERT_EQ(On(sim, {"backup", good}).code, 0);
    const std::string text = Slurp(good);
    struct Case {
        const char *name;
        std::string content;
        const char *message;
    };
    const Case cases[] = {
        {"notjson", "{ sensor: 3", "not JSON"},
        {"format", std::regex_replace(text, std::regex("kv508ctl backup 1"), "something else"), "not a kv508ctl backup"},
        {"missing", std::regex_replace(text, std::regex(R"("averaging": 80,)"), ""), "\"averaging\" is missing"},
        {"range", std::regex_replace(text, std::regex(R"("sensor": 5)"), R"("sensor": 13)"), "sensor 13 is out of range"},
        {"type", std::regex_replace(text, std::regex(R"("4ma": 0)"), R"("4ma": "zero")"), "\"4ma\" must be a whole number"},
    };
    for (const Case &c : cases) {
        const std::string path = dir.Path() + "/" + c.name + ".json";
        ASSERT_TRUE(PtyTools::WriteFile(path, c.content));
        const TRun r = On(sim, {"--verbose", "restore", path});
        EXPECT_EQ(r.code, 1) << c.name << "\n" << Shown(r);
        EXPECT_TRUE(Has(r.err, c.message)) << c.name << "\n" << r.err;
        EXPECT_TRUE(Has(r.err, "nothing was written")) << c.name << "\n" << r.err;
        EXPECT_FALSE(Has(r.err, "> ")) << c.name << ": talked to the instrument";
    }
    EXPECT_EQ(On(sim, {"restore", dir.Path() + "/absent.json"}).code, 1);
    EXPECT_EQ(On(sim, {"diff", good}).code, 0);

    // An erased instrument's backup holds nothing the window could write back.
    TSim blank({"--no-line-time", "--no-link", "--blank"});
    const std::string erased = dir.Path() + "/erased.json";
    ASSERT_EQ(On(blank, {"backup", erased}).code, 0);
    const TRun refused = On(sim, {"restore", erased});
    EXPECT_EQ(refused.code, 1) << Shown(refused);
    EXPECT_TRUE(Has(refused.err, "no valid settings")) << refused.err;
}

// ---- calibration requests ----------------------------------------------------------------------------

TEST_F(CtlTest, ForcedOutputLastsUntilTheNextCommand)
{
    TSim sim;
    ASSERT_TRUE(sim.Ok());
    const TRun full = On(sim, {"calibrate", "force-output", "F"});
    ASSERT_EQ(full.code, 0) << Shown(full);
    EXPECT_TRUE(Has(full.err, "output forced at drive 8191")) << full.err;
    EXPECT_TRUE(Has(sim.Console("status", "pressure"), "(forced, drive 8191)"));
    ASSERT_EQ(On(sim, {"calibrate", "force-output", "50%"}).code, 0);
    EXPECT_TRUE(Has(sim.Console("status", "pressure"), "(forced, drive 4095)"));
    ASSERT_EQ(On(sim, {"calibrate", "force-output", "on", "--pwm", "1234"}).code, 0);
    EXPECT_TRUE(Has(sim.Console("status", "pressure"), "(forced, drive 1234)"));
    ASSERT_EQ(On(sim, {"read"}).code, 0);
    EXPECT_FALSE(Has(sim.Console("status", "pressure"), "forced"));
    ASSERT_EQ(On(sim, {"calibrate", "force-output", "0"}).code, 0);
    EXPECT_TRUE(Has(sim.Console("status", "pressure"), "(forced, drive 0)"));
    ASSERT_EQ(On(sim, {"calibrate", "force-output", "off"}).code, 0);
    EXPECT_FALSE(Has(sim.Console("status", "pressure"), "forced"));

    // Held: forced polls, each on standard output, for the time asked.
    const TRun held = On(sim, {"calibrate", "force-output", "2000", "--hold", "300"});
    ASSERT_EQ(held.code, 0) << Shown(held);
    EXPECT_GE(Lines(held.out).size(), 2u) << held.out;

    for (const char *bad : {"8192", "-1", "half", "50 %"})
        EXPECT_EQ(On(sim, {"calibrate", "force-output", bad}).code, 1) << bad;
}

TEST_F(CtlTest, CalibrationRequestsCarryTodaysDateAndEraseNeedsYes)
{
    TSim sim;
    ASSERT_TRUE(sim.Ok());
    const TRun refused = On(sim, {"--verbose", "calibrate", "erase"});
    EXPECT_EQ(refused.code, 1) << Shown(refused);
    EXPECT_TRUE(Has(refused.err, "--yes"));
    EXPECT_FALSE(Has(refused.err, "> "));
    EXPECT_TRUE(Has(On(sim, {"read"}).out, "errors: none"));

    // A point needs the output forced: set-4ma without a drive value is refused,
    // and so is "on", which would take the point at drive 0.
    EXPECT_EQ(On(sim, {"calibrate", "set-4ma"}).code, 1);
    const TRun on = On(sim, {"--verbose", "calibrate", "set-4ma", "--pwm", "on"});
    EXPECT_EQ(on.code, 1) << Shown(on);
    EXPECT_EQ(Sent(on.err), "") << "nothing may reach the instrument";

    const TRun zero = On(sim, {"--verbose", "calibrate", "set-zero", "--no-wait"});
    ASSERT_EQ(zero.code, 0) << Shown(zero);
    // The window's order: a poll first, then the request, then a poll that shows the result.
    EXPECT_EQ(Sent(zero.err), "poll (1);set as 0 (3);poll (1);") << zero.err;
    const uint32_t today = TodayCode();
    const std::string shown = std::to_string(today / 10000) + "." + std::to_string(today / 100 % 100 + 100).substr(1) + "." +
                              std::to_string(today % 100 + 100).substr(1) + ".";
    EXPECT_TRUE(Has(zero.err, "calibrated " + shown)) << zero.err;
    EXPECT_TRUE(Has(On(sim, {"read"}).out, "calibrated: " + shown));
}

TEST_F(CtlTest, ResetReturnsOnceTheInstrumentAnswersAgain)
{
    TSim sim({"--no-line-time", "--no-link", "--restart-ms", "400"});
    ASSERT_TRUE(sim.Ok());
    const TRun reset = On(sim, {"--verbose", "--timeout", "150", "calibrate", "reset"});
    ASSERT_EQ(reset.code, 0) << Shown(reset);
    EXPECT_TRUE(Has(reset.err, "> reset (251)"));
    // The next command finds it up at its first try.
    const TRun next = On(sim, {"--verbose", "--tries", "1", "read"});
    EXPECT_EQ(next.code, 0) << Shown(next);
}

// ---- ports ----------------------------------------------------------------------------------------------

TEST_F(CtlTest, PortsListsTheSimulatorWhichIsThenTheDefaultPort)
{
    TSim sim({"--no-line-time"}); // published as kv508sim0
    ASSERT_TRUE(sim.Ok());
    const TRun ports = Ctl({"ports"});
    ASSERT_EQ(ports.code, 0) << Shown(ports);
    EXPECT_EQ(ports.out, "kv508sim0   kv508-sim serial KV508SIM\n"); // the simulator's adapter serial
    const TRun js = Ctl({"ports", "--json"});
    ASSERT_EQ(js.code, 0) << Shown(js);
    const json j = json::parse(js.out);
    ASSERT_EQ(j["ports"].size(), 1u);
    EXPECT_EQ(j["ports"][0]["name"], "kv508sim0");
    EXPECT_EQ(j["ports"][0]["path"], sim.Path());
    EXPECT_EQ(j["ports"][0]["identity"], "virtual kv508-sim serial KV508SIM");

    const TRun read = Ctl({"read"});
    EXPECT_EQ(read.code, 0) << Shown(read);
    EXPECT_EQ(Ctl({"--port", "kv508sim0", "read"}).code, 0);

    TSim second({"--no-line-time"});
    ASSERT_TRUE(second.Ok());
    const TRun ambiguous = Ctl({"read"});
    EXPECT_EQ(ambiguous.code, 1) << Shown(ambiguous);
    EXPECT_TRUE(Has(ambiguous.err, "kv508sim0, kv508sim1")) << ambiguous.err;
    EXPECT_TRUE(Has(ambiguous.err, "--port")) << ambiguous.err;
}

// ---- exit codes and messages ------------------------------------------------------------------------------

TEST_F(CtlTest, UsageErrorsExitWithOneAndHelpNamesEverySubcommand)
{
    const TRun help = Ctl({"help"});
    ASSERT_EQ(help.code, 0) << Shown(help);
    for (const char *sub : {"ports", "read", "settings", "backup", "restore", "diff", "calibrate", "monitor", "Exit codes:"})
        EXPECT_TRUE(Has(help.out, sub)) << sub;
    const TRun readHelp = Ctl({"read", "--help"});
    EXPECT_EQ(readHelp.code, 0);
    EXPECT_TRUE(Has(readHelp.out, "--watch"));
    EXPECT_TRUE(Has(readHelp.out, "5  verification mismatch"));
    EXPECT_EQ(Ctl({"help", "calibrate", "force-output"}).code, 0);
    EXPECT_EQ(Ctl({"--version"}).out, "kv508ctl " KV508_VERSION "\n");

    for (const std::vector<std::string> &args :
         {std::vector<std::string>{}, {"frobnicate"}, {"read", "--format", "xml"}, {"--baud", "1234", "read"},
          {"--address", "0", "read"}, {"read", "--count", "3"}, {"settings"}, {"calibrate"}, {"backup"},
          {"help", "nothing"}}) {
        const TRun r = Ctl(args);
        EXPECT_EQ(r.code, 1) << Shown(r);
        EXPECT_FALSE(r.err.empty());
    }
}

TEST_F(CtlTest, EachFailureHasItsExitCodeAndSaysWhatToDo)
{
    TSim sim;
    ASSERT_TRUE(sim.Ok());
    const TRun missing = Ctl({"--port", "ttyNOSUCH9", "read"});
    EXPECT_EQ(missing.code, 2) << Shown(missing);
    EXPECT_TRUE(Has(missing.err, "cannot open ttyNOSUCH9")) << missing.err;
    EXPECT_TRUE(Has(missing.err, "kv508ctl ports")) << missing.err;

    const pid_t holder = PtyTools::SpawnHolder({sim.Path()});
    ASSERT_GT(holder, 0);
    const TRun busy = On(sim, {"read"});
    PtyTools::EndHolder(holder);
    EXPECT_EQ(busy.code, 2) << Shown(busy);
    EXPECT_TRUE(Has(busy.err, "sleep")) << busy.err; // the holder by name
    EXPECT_TRUE(Has(busy.err, "close that program")) << busy.err;

    const TRun silent = On(sim, {"--address", "7", "--timeout", "100", "--tries", "2", "read"});
    EXPECT_EQ(silent.code, 3) << Shown(silent);
    EXPECT_TRUE(Has(silent.err, "no answer to poll (1) from address 7")) << silent.err;
    EXPECT_TRUE(Has(silent.err, "after 2 tries")) << silent.err;

    const TRun wrongId = On(sim, {"--id", "40", "settings", "get"});
    EXPECT_EQ(wrongId.code, 4) << Shown(wrongId);
    const TRun refusedWatch = On(sim, {"--id", "40", "read", "--watch", "--count", "2", "--interval", "0"});
    EXPECT_EQ(refusedWatch.code, 4) << Shown(refusedWatch);
    EXPECT_TRUE(Has(wrongId.err, "ID Error")) << wrongId.err;
    EXPECT_TRUE(Has(wrongId.err, "--id")) << wrongId.err;

    const TRun notAFile = On(sim, {"backup", "/nonexistent-dir/kv508.json"});
    EXPECT_EQ(notAFile.code, 1) << Shown(notAFile);
    EXPECT_TRUE(Has(notAFile.err, "cannot write")) << notAFile.err;

    // Output nobody can take is an error, not a success with the rows gone.
    for (const std::string &command : {std::string("settings get"), std::string("read --watch --count 3 --interval 0 -f csv")}) {
        const TRun full = ctltest::Run("/bin/sh", {"-c", std::string(KV508CTL_PATH) + " --port " + sim.Path() + " " + command + " >/dev/full"});
        EXPECT_EQ(full.code, 1) << command << "\n" << Shown(full);
        EXPECT_TRUE(Has(full.err, "cannot write the output")) << full.err;
    }
}

// ---- the line monitor ---------------------------------------------------------------------------------------

TEST_F(CtlTest, TraceShowsTheProgramsOwnQueriesAndAnswers)
{
    TSim sim;
    ASSERT_TRUE(sim.Ok());
    const TRun r = On(sim, {"read", "--watch", "--count", "2", "--interval", "0", "--trace", "-f", "csv"});
    ASSERT_EQ(r.code, 0) << Shown(r);
    EXPECT_EQ(Lines(r.out).size(), 3u); // standard output stays clean CSV
    EXPECT_TRUE(Has(r.err, "trace: ")) << r.err;
    EXPECT_TRUE(Has(r.err, "query")) << r.err;
    EXPECT_TRUE(Has(r.err, "answer")) << r.err;
}

TEST_F(CtlTest, MonitorRecordsEveryFrameOnTheLineUntilStopped)
{
    PtyTools::TPtyPair line;
    ASSERT_TRUE(line.Valid());
    ctltest::TProcess monitor;
    ASSERT_TRUE(monitor.Start(KV508CTL_PATH, {"--port", line.SlavePath(), "monitor", "--json"}));
    std::string said;
    ASSERT_TRUE(monitor.ReadErrLine(said, 10000));
    ASSERT_TRUE(Has(said, "monitoring")) << said; // the port is open: what comes now is seen
    const std::string query = "M0127010000000030D7;";
    const std::string answer = "S0127010079C5330180C53301016903872500BB0985096400DB41;";
    ASSERT_TRUE(line.Write(query + answer));
    std::string first, second;
    ASSERT_TRUE(monitor.ReadOutLine(first, 10000));
    ASSERT_TRUE(monitor.ReadOutLine(second, 10000));
    EXPECT_TRUE(Has(json::parse(first).dump(), "M0127010000000030D7;")) << first;
    EXPECT_TRUE(Has(json::parse(second).dump(), "S0127010079C5")) << second;
    EXPECT_EQ(monitor.Stop(), 0); // SIGTERM ends it cleanly
}

} // namespace
