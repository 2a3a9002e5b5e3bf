// kv508ctl where a slip would leave the instrument, a log or a file in a bad
// state: an output left forced, a span that means nothing, a look-alike that
// takes over a watch, a calibration point taken from a reading still on its
// way, files half written, names that play tricks on the terminal. The real
// program against kv508-sim.
#include "CtlFixture.h"

#include <nlohmann/json.hpp>

#include <csignal>
#include <memory>
#include <regex>

#include <sys/stat.h>
#include <sys/time.h>
#include <unistd.h>

using ctltest::TRun;
using ctltest::TSim;
using nlohmann::json;

namespace {

// Every line of standard error until the program ends.
std::string AllErr(ctltest::TProcess &p, int timeoutMs = 20000)
{
    std::string all, line;
    while (p.ReadErrLine(line, timeoutMs))
        all += line + "\n";
    return all;
}

// The next line of standard error that holds part (empty when none came).
std::string ErrLineWith(ctltest::TProcess &p, const std::string &part, int timeoutMs = 10000)
{
    std::string line;
    while (p.ReadErrLine(line, timeoutMs))
        if (line.find(part) != std::string::npos)
            return line;
    return {};
}

bool Exists(const std::string &path)
{
    struct stat st {};
    return ::lstat(path.c_str(), &st) == 0;
}

// ---- the forced output ----------------------------------------------------------------------------

TEST_F(CtlTest, ASecondInterruptStillReleasesTheForcedOutput)
{
    TSim sim;
    ASSERT_TRUE(sim.Ok());
    ctltest::TProcess hold;
    ASSERT_TRUE(hold.Start(KV508CTL_PATH, {"--port", sim.Path(), "calibrate", "force-output", "2000", "--hold", "60000"}));
    std::string line;
    ASSERT_TRUE(hold.ReadOutLine(line, 10000)); // holding
    ASSERT_TRUE(Has(sim.Console("ammeter", "ammeter"), "forced=1"));
    ::kill(hold.Pid(), SIGINT);
    ::kill(hold.Pid(), SIGTERM); // the second, within a moment of the first
    const std::string err = AllErr(hold);
    EXPECT_EQ(hold.Wait(10000), 1) << err;
    EXPECT_TRUE(Has(err, "the output is released")) << err;
    EXPECT_TRUE(Has(sim.Console("ammeter", "ammeter"), "forced=0"));
}

TEST_F(CtlTest, OutputNobodyReadsStillReleasesTheForcedOutput)
{
    TSim sim;
    ASSERT_TRUE(sim.Ok());
    const TRun r = ctltest::Run("/bin/sh", {"-c", R"({ "$0" --port "$1" calibrate force-output 2000 --hold 5000; echo "exit $?" >&2; } | true)",
                                            KV508CTL_PATH, sim.Path()});
    EXPECT_TRUE(Has(r.err, "cannot write the output")) << r.err;
    EXPECT_TRUE(Has(r.err, "the output is released")) << r.err;
    EXPECT_TRUE(Has(r.err, "exit 1")) << r.err;
    EXPECT_TRUE(Has(sim.Console("ammeter", "ammeter"), "forced=0"));
}

// Where the release cannot reach the instrument, or a third interrupt ends
// the program at once, standard error says the output may still be forced.
TEST_F(CtlTest, AnOutputThatMayStayForcedIsSaid)
{
    TSim sim;
    ASSERT_TRUE(sim.Ok());
    {
        ctltest::TProcess hold;
        ASSERT_TRUE(hold.Start(KV508CTL_PATH, {"--port", sim.Path(), "--timeout", "200", "--tries", "2", "calibrate",
                                               "force-output", "2000", "--hold", "60000"}));
        std::string line;
        ASSERT_TRUE(hold.ReadOutLine(line, 10000));
        ::kill(sim.Pid(), SIGSTOP); // the instrument stops answering
        const std::string err = AllErr(hold);
        ::kill(sim.Pid(), SIGCONT);
        EXPECT_EQ(hold.Wait(10000), 3) << err;
        EXPECT_TRUE(Has(err, "the output may still be forced at drive 2000")) << err;
        EXPECT_TRUE(Has(err, "the release failed")) << err;
    }
    {
        ctltest::TProcess hold;
        ASSERT_TRUE(hold.Start(KV508CTL_PATH, {"--port", sim.Path(), "--timeout", "5000", "calibrate", "force-output", "2000",
                                               "--hold", "60000"}));
        std::string line;
        ASSERT_TRUE(hold.ReadOutLine(line, 10000));
        ::kill(sim.Pid(), SIGSTOP); // a request that takes its time
        ::kill(hold.Pid(), SIGINT);
        ::kill(hold.Pid(), SIGTERM);
        EXPECT_TRUE(Has(ErrLineWith(hold, "interrupt once more"), "the output is released when the present request ends"));
        ::kill(hold.Pid(), SIGHUP);
        EXPECT_EQ(ErrLineWith(hold, "may still be forced"),
                  "kv508ctl: the output may still be forced at drive 2000: kv508ctl calibrate force-output off releases it");
        EXPECT_EQ(hold.Wait(10000), -1); // ended by the signal
        ::kill(sim.Pid(), SIGCONT);
    }
}

// ---- the span ---------------------------------------------------------------------------------------

TEST_F(CtlTest, AZeroOrInvertedSpanIsRefusedAndAnInvertedOneTakesForce)
{
    PtyTools::TScratchDir dir;
    TSim sim;
    ASSERT_TRUE(sim.Ok());
    for (const std::vector<std::string> &args : {std::vector<std::string>{"4ma=2491", "20ma=0"}, {"4ma=2491", "20ma=2491"},
                                                 {"20ma=0"}, {"4ma=3000"}, {"--force", "4ma=100", "20ma=100"}}) {
        std::vector<std::string> all = {"--verbose", "settings", "set"};
        all.insert(all.end(), args.begin(), args.end());
        const TRun r = On(sim, all);
        EXPECT_EQ(r.code, 1) << Shown(r);
        EXPECT_TRUE(Has(r.err, "the span is")) << r.err;
        EXPECT_TRUE(Has(r.err, "nothing was written")) << r.err;
        EXPECT_FALSE(Has(r.err, "> write settings")) << r.err;
    }
    const TRun reverse = On(sim, {"settings", "set", "--force", "4ma=2491", "20ma=0"});
    ASSERT_EQ(reverse.code, 0) << Shown(reverse);
    EXPECT_TRUE(Has(reverse.err, "warning: 4ma 2491 and 20ma 0: the span is inverted")) << reverse.err;

    // A backup of it restores only with --force; one with a zero span not at all.
    const std::string inverted = dir.Path() + "/inverted.json", zero = dir.Path() + "/zero.json";
    ASSERT_EQ(On(sim, {"backup", inverted}).code, 0);
    ASSERT_TRUE(PtyTools::WriteFile(zero, std::regex_replace(Slurp(inverted), std::regex(R"("20ma": 0)"), R"("20ma": 2491)")));
    ASSERT_EQ(On(sim, {"settings", "set", "4ma=0", "20ma=2491"}).code, 0);
    for (const std::vector<std::string> &args : {std::vector<std::string>{"restore", inverted}, {"restore", "--force", zero}}) {
        const TRun r = On(sim, args);
        EXPECT_EQ(r.code, 1) << Shown(r);
        EXPECT_TRUE(Has(r.err, "nothing was written")) << r.err;
    }
    EXPECT_EQ(On(sim, {"restore", "--force", inverted}).code, 0);
    EXPECT_TRUE(Has(On(sim, {"settings", "get"}).out, "4ma: 2491\n20ma: 0\n"));

    // A key given twice: which one is meant is anybody's guess.
    const std::string twice = dir.Path() + "/twice.json";
    ASSERT_TRUE(PtyTools::WriteFile(twice, std::regex_replace(Slurp(inverted), std::regex(R"("sensor": 5,)"), R"("sensor": 9, "sensor": 5,)")));
    const TRun refused = On(sim, {"--verbose", "restore", "--force", twice});
    EXPECT_EQ(refused.code, 1) << Shown(refused);
    EXPECT_TRUE(Has(refused.err, "\"sensor\" appears twice")) << refused.err;
    EXPECT_FALSE(Has(refused.err, "> ")) << refused.err;
}

// ---- a look-alike after a lost adapter -----------------------------------------------------------------

TEST_F(CtlTest, AWatchKnowsTheInstrumentAgainAfterTheAdapterCameBack)
{
    PtyTools::TScratchDir dir;
    const std::string otherMemory = dir.Path() + "/other.json";
    {
        TSim prepare({"--no-line-time", "--no-link", "--state", otherMemory});
        ASSERT_TRUE(prepare.Ok());
        ASSERT_EQ(On(prepare, {"settings", "set", "averaging=40"}).code, 0);
        ASSERT_EQ(prepare.Stop(), 0);
    }
    {
        // Another simulator with the same adapter serial: the settings differ.
        auto lost = std::make_unique<TSim>(std::vector<std::string>{"--no-line-time", "--serial", "RIG-7"});
        ASSERT_TRUE(lost->Ok());
        ctltest::TProcess watch;
        ASSERT_TRUE(watch.Start(KV508CTL_PATH, {"--port", "kv508sim0", "read", "--watch", "--interval", "100", "-f", "csv"}));
        std::string header, row;
        ASSERT_TRUE(watch.ReadOutLine(header, 10000));
        ASSERT_TRUE(watch.ReadOutLine(row, 10000));
        lost.reset();
        std::string line;
        ASSERT_TRUE(watch.ReadErrLine(line, 10000));
        EXPECT_TRUE(Has(line, "adapter lost")) << line;
        TSim other({"--no-line-time", "--serial", "RIG-7", "--state", otherMemory});
        ASSERT_TRUE(other.Ok());
        const std::string err = AllErr(watch);
        EXPECT_EQ(watch.Wait(10000), 6) << err;
        EXPECT_TRUE(Has(err, "another instrument answers")) << err;
        EXPECT_TRUE(Has(err, "averaging 80 before, 40 now")) << err;
        EXPECT_FALSE(watch.ReadOutLine(row, 100)) << "a row of the other instrument: " << row;
    }
    {
        // --reconnect-any goes on, saying what differs (an erased look-alike).
        auto lost = std::make_unique<TSim>(std::vector<std::string>{"--no-line-time", "--serial", "RIG-8"});
        ASSERT_TRUE(lost->Ok());
        ctltest::TProcess watch;
        ASSERT_TRUE(watch.Start(KV508CTL_PATH, {"--port", "kv508sim0", "read", "--watch", "--reconnect-any", "--interval",
                                                "100", "-f", "csv"}));
        std::string row;
        ASSERT_TRUE(watch.ReadOutLine(row, 10000));
        ASSERT_TRUE(watch.ReadOutLine(row, 10000));
        lost.reset();
        TSim blank({"--no-line-time", "--serial", "RIG-8", "--blank"});
        ASSERT_TRUE(blank.Ok());
        const std::string said = ErrLineWith(watch, "another instrument");
        EXPECT_TRUE(Has(said, "calibration date 2017.01.12. before, 0000.00.00. now")) << said;
        EXPECT_TRUE(Has(said, "sensor 5 before, 255 now")) << said;
        EXPECT_TRUE(Has(said, "the watch goes on (--reconnect-any)")) << said;
        ASSERT_TRUE(watch.ReadOutLine(row, 10000));
        EXPECT_TRUE(Has(row, ",1,0,1,0,")) << row; // the erased one's flags: its rows go on
        EXPECT_EQ(watch.Stop(), 0);
    }
}

// ---- calibration points and the reading ------------------------------------------------------------------

TEST_F(CtlTest, CalibrationPointsWaitForTheReadingToSettleAndSayWhenItDoesNot)
{
    TSim sim({"--no-line-time", "--no-link", "--blank"});
    ASSERT_TRUE(sim.Ok());
    auto pressure = [&](const char *pa) { ASSERT_FALSE(sim.Console(std::string("pressure ") + pa, "pressure").empty()); };
    // Averaging 400 at 100 SPS: a pressure step takes 4 s to pass through.
    ASSERT_EQ(On(sim, {"settings", "set", "sensor=5", "averaging=400", "4ma=0", "20ma=2491", "input=pressure"}).code, 0);
    const TRun zero = On(sim, {"calibrate", "set-zero"});
    ASSERT_EQ(zero.code, 0) << Shown(zero);
    EXPECT_TRUE(Has(zero.err, "waiting for the reading to settle (averaging 400 at 100 SPS: 4.0 s")) << zero.err;

    pressure("249.1");
    const TRun tooShort = On(sim, {"calibrate", "scale-end", "--max-wait", "1000"});
    EXPECT_EQ(tooShort.code, 7) << Shown(tooShort);
    EXPECT_TRUE(Has(tooShort.err, "longer than --max-wait")) << tooShort.err;
    EXPECT_TRUE(Has(tooShort.err, "no point was taken")) << tooShort.err;
    // Right after the step: taken only once the mean has caught up with it.
    const TRun full = On(sim, {"calibrate", "scale-end"});
    ASSERT_EQ(full.code, 0) << Shown(full);
    EXPECT_TRUE(Has(full.err, "the reading settled at")) << full.err;
    const json j = json::parse(On(sim, {"read", "--format", "json"}).out);
    EXPECT_NEAR(j["pressure"].get<double>(), 249.1, 1.0) << j.dump();

    // Changed again as the point is asked for, with too little time to settle.
    pressure("0");
    const TRun moving = On(sim, {"calibrate", "zero", "--max-wait", "5000"});
    EXPECT_EQ(moving.code, 7) << Shown(moving);
    EXPECT_TRUE(Has(moving.err, "did not settle within 5.0 s: it moved between")) << moving.err;

    // The output points were never taken: the last step says so.
    const TRun reset = On(sim, {"calibrate", "reset"});
    EXPECT_EQ(reset.code, 7) << Shown(reset);
    EXPECT_TRUE(Has(reset.err, "still reports \"Nincs kalibrálva\"")) << reset.err;
}

// ---- files --------------------------------------------------------------------------------------------

TEST_F(CtlTest, BackupWritesThroughADanglingLinkAndClearsWhatAnInterruptedOneLeft)
{
    PtyTools::TScratchDir dir;
    TSim sim;
    ASSERT_TRUE(sim.Ok());
    const std::string store = dir.Path() + "/store", link = dir.Path() + "/kv508.json", target = store + "/kv508.json";
    ASSERT_TRUE(PtyTools::MakePath(store));
    ASSERT_EQ(::symlink("store/kv508.json", link.c_str()), 0);
    const TRun first = On(sim, {"backup", link});
    ASSERT_EQ(first.code, 0) << Shown(first);
    struct stat st {};
    ASSERT_EQ(::lstat(link.c_str(), &st), 0);
    EXPECT_TRUE(S_ISLNK(st.st_mode)) << "the link was replaced by a file";
    EXPECT_EQ(json::parse(Slurp(target))["format"], "kv508ctl backup 1");

    // One a SIGKILL left an hour ago goes; a fresh one (a writer at work) and other files stay.
    const std::string stale = store + "/.kv508.json.kv508ctl-AbC123", fresh = store + "/.kv508.json.kv508ctl-XyZ789",
                      other = store + "/.kv508.json.other";
    for (const std::string &path : {stale, fresh, other})
        ASSERT_TRUE(PtyTools::WriteFile(path, "{\"half"));
    const timeval hourAgo[2] = {{::time(nullptr) - 3600, 0}, {::time(nullptr) - 3600, 0}};
    ASSERT_EQ(::utimes(stale.c_str(), hourAgo), 0);
    ASSERT_EQ(::utimes(other.c_str(), hourAgo), 0);
    const TRun second = On(sim, {"backup", link});
    ASSERT_EQ(second.code, 0) << Shown(second);
    EXPECT_TRUE(Has(second.err, "removed 1 temporary file(s)")) << second.err;
    EXPECT_FALSE(Exists(stale));
    EXPECT_TRUE(Exists(fresh));
    EXPECT_TRUE(Exists(other));
}

TEST_F(CtlTest, MonitorOpensItsFileAfterThePortAndNeverWaitsForAReader)
{
    PtyTools::TScratchDir dir;
    const std::string log = dir.Path() + "/frames.log";
    const TRun noPort = Ctl({"--port", "ttyNOSUCH9", "monitor", "--output", log, "--duration", "200"});
    EXPECT_EQ(noPort.code, 2) << Shown(noPort);
    EXPECT_FALSE(Exists(log)) << "a port that failed left a file";

    PtyTools::TPtyPair line;
    ASSERT_TRUE(line.Valid());
    const std::string fifo = dir.Path() + "/fifo";
    ASSERT_EQ(::mkfifo(fifo.c_str(), 0600), 0);
    const TRun noReader = ctltest::Run(KV508CTL_PATH, {"--port", line.SlavePath(), "monitor", "--output", fifo, "--duration", "200"}, 10000);
    EXPECT_EQ(noReader.code, 1) << Shown(noReader); // -1: it waited for a reader until killed
    EXPECT_TRUE(Has(noReader.err, "named pipe that no program reads")) << noReader.err;

    const TRun directory = Ctl({"--port", line.SlavePath(), "monitor", "--output", dir.Path(), "--duration", "200"});
    EXPECT_EQ(directory.code, 1) << Shown(directory);

    const TRun file = Ctl({"--port", line.SlavePath(), "monitor", "--output", log, "--duration", "200"});
    EXPECT_EQ(file.code, 0) << Shown(file);
    EXPECT_TRUE(Exists(log));
}

// ---- names in messages -----------------------------------------------------------------------------------

TEST_F(CtlTest, NamesFromOutsideAreShownWithTheirControlCharactersEscaped)
{
    const TRun odd = Ctl({"--port", "tty\x1b[2J\x07odd", "read"});
    EXPECT_EQ(odd.code, 2) << Shown(odd);
    EXPECT_TRUE(Has(odd.err, "tty\\x1b[2J\\x07odd")) << odd.err;
    EXPECT_FALSE(Has(odd.err, "\x1b") || Has(odd.err, "\x07")) << odd.err;

    const TRun longName = Ctl({"--port", std::string(3000, 'p'), "read"});
    EXPECT_EQ(longName.code, 2) << Shown(longName);
    EXPECT_FALSE(Has(longName.err, std::string(100, 'p'))) << longName.err.size() << " bytes";
    EXPECT_TRUE(Has(longName.err, "…")) << longName.err;

    // An adapter's serial number is whatever its maker (or a publisher) wrote.
    PtyTools::TPtyPair line;
    ASSERT_TRUE(line.Valid());
    ASSERT_TRUE(PtyTools::PublishVirtualPort("kv508sim7", line.SlavePath(), "EV\x1b]0;owned\x07IL"));
    const TRun ports = Ctl({"ports"});
    PtyTools::ReleaseVirtualPortLock("kv508sim7");
    EXPECT_EQ(ports.code, 0) << Shown(ports);
    EXPECT_TRUE(Has(ports.out, "serial EV\\x1b]0;owned\\x07IL")) << ports.out;
    EXPECT_FALSE(Has(ports.out, "\x1b")) << ports.out;
}

} // namespace
