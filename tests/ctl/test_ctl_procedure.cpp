// kv508ctl on a bad line and through the whole calibration: the real program
// against kv508-sim with lost and damaged answers, a rig's script that
// calibrates an erased instrument from start to end, and the man page's
// script run as written.
#include "CtlFixture.h"

#include <nlohmann/json.hpp>

#include <cmath>
#include <fstream>
#include <regex>
#include <sstream>

using ctltest::TRun;
using ctltest::TSim;
using nlohmann::json;

namespace {

// Retries the engine needed over a --verbose run ("after 3 tries").
int Retries(const std::string &err)
{
    int extra = 0;
    const std::regex tries(R"(after (\d+) tries)");
    for (auto it = std::sregex_iterator(err.begin(), err.end(), tries); it != std::sregex_iterator(); ++it)
        extra += std::stoi((*it)[1]) - 1;
    return extra;
}

std::string StoredSettingsHex(const std::string &stateFile)
{
    std::ifstream in(stateFile);
    std::ostringstream s;
    s << in.rdbuf();
    return json::parse(s.str())["settings"].get<std::string>();
}

// ---- faults ------------------------------------------------------------------------------------------

TEST_F(CtlTest, LostAndDamagedAnswersAreRetriedAndEveryWriteIsVerified)
{
    PtyTools::TScratchDir dir;
    const std::string backup = dir.Path() + "/b.json";
    TSim sim({"--no-line-time", "--no-link", "--drop", "0.2", "--corrupt", "0.2", "--seed", "11"});
    ASSERT_TRUE(sim.Ok());
    const std::vector<std::string> fast = {"--verbose", "--timeout", "100", "--tries", "8"};
    auto run = [&](std::vector<std::string> args) {
        args.insert(args.begin(), fast.begin(), fast.end());
        return On(sim, args);
    };
    int retries = 0;
    for (int round = 0; round < 2; ++round) {
        const std::string sensor = std::to_string(3 + round);
        const TRun set = run({"settings", "set", "sensor=" + sensor, "averaging=" + std::to_string(40 + round)});
        ASSERT_EQ(set.code, 0) << Shown(set);
        EXPECT_TRUE(Has(set.err, "verified"));
        const TRun saved = run({"backup", backup});
        ASSERT_EQ(saved.code, 0) << Shown(saved);
        ASSERT_EQ(run({"settings", "set", "sensor=9"}).code, 0);
        const TRun restored = run({"restore", backup});
        ASSERT_EQ(restored.code, 0) << Shown(restored);
        const TRun get = run({"settings", "get"});
        ASSERT_EQ(get.code, 0) << Shown(get);
        EXPECT_TRUE(Has(get.out, "sensor: " + sensor + "\n")) << get.out;
        retries += Retries(set.err) + Retries(saved.err) + Retries(restored.err) + Retries(get.err);
    }
    EXPECT_GT(retries, 0) << "a fifth of the answers lost and a fifth damaged, yet no retry";
    EXPECT_TRUE(Has(sim.Console("status", "pressure"), "dropped"));
}

TEST_F(CtlTest, WatchReportsAFailedPollAndGoesOn)
{
    TSim sim({"--no-line-time", "--no-link", "--drop", "0.4", "--seed", "5"});
    ASSERT_TRUE(sim.Ok());
    const TRun r = On(sim, {"--tries", "1", "--timeout", "100", "read", "--watch", "--count", "12", "--interval", "0", "-f", "csv"});
    ASSERT_EQ(r.code, 0) << Shown(r);
    std::size_t failed = 0;
    for (const std::string &line : Lines(r.err))
        failed += line.find("failed: no answer to poll (1)") != std::string::npos;
    const std::size_t rows = Lines(r.out).size() - 1;
    EXPECT_GT(failed, 0u) << r.err;
    EXPECT_GT(rows, 0u);
    EXPECT_EQ(rows + failed, 12u) << Shown(r);
    EXPECT_TRUE(Has(r.err, std::to_string(failed) + " of 12 polls failed")) << r.err;
}

TEST_F(CtlTest, WithoutAnyAnswerNothingIsWritten)
{
    PtyTools::TScratchDir dir;
    const std::string state = dir.Path() + "/memory.json";
    {
        TSim first({"--no-line-time", "--no-link", "--state", state});
        ASSERT_TRUE(first.Ok());
        ASSERT_EQ(first.Stop(), 0);
    }
    const std::string before = StoredSettingsHex(state);
    {
        // Every request reaches the instrument, no answer comes back.
        TSim deaf({"--no-line-time", "--no-link", "--state", state, "--drop", "1"});
        ASSERT_TRUE(deaf.Ok());
        const std::vector<std::string> fast = {"--timeout", "100", "--tries", "2"};
        for (const std::vector<std::string> &args : {std::vector<std::string>{"settings", "set", "sensor=2"},
                                                    {"calibrate", "set-zero"},
                                                    {"calibrate", "erase", "--yes"},
                                                    {"read", "--watch", "--count", "2", "--interval", "0"}}) {
            std::vector<std::string> all = fast;
            all.insert(all.end(), args.begin(), args.end());
            const TRun r = On(deaf, all);
            EXPECT_EQ(r.code, 3) << Shown(r);
        }
        ASSERT_EQ(deaf.Stop(), 0);
    }
    EXPECT_EQ(StoredSettingsHex(state), before);

    TSim garbled({"--no-line-time", "--no-link", "--corrupt", "1"});
    ASSERT_TRUE(garbled.Ok());
    const TRun r = On(garbled, {"--timeout", "100", "--tries", "3", "settings", "get"});
    EXPECT_EQ(r.code, 3) << Shown(r);
}

// ---- the whole calibration, as a rig scripts it --------------------------------------------------------------

TEST_F(CtlTest, TheElevenStepsCalibrateAnErasedInstrumentWithTodaysDate)
{
    TSim sim({"--no-line-time", "--no-link", "--blank"});
    ASSERT_TRUE(sim.Ok());
    auto step = [&](const std::vector<std::string> &args) {
        const TRun r = On(sim, args);
        EXPECT_EQ(r.code, 0) << Shown(r);
        return r;
    };
    auto pressure = [&](const char *pa) { ASSERT_FALSE(sim.Console(std::string("pressure ") + pa, "pressure").empty()); };
    {
        const TRun before = step({"read"});
        ASSERT_TRUE(Has(before.out, "Nincs kalibrálva")) << before.out;
    }

    // 1-2: the sensor, then the settings (a short averaging settles within one request).
    step({"settings", "set", "sensor=5"});
    step({"settings", "set", "4ma=0", "20ma=2491", "error-current=on", "error-level=3.2", "averaging=4", "input=pressure"});
    // 3-4: zero pressure, "set as 0"; full scale, "set as scale end".
    pressure("0");
    step({"calibrate", "set-zero"});
    pressure("249.1");
    step({"calibrate", "scale-end"});

    // 5: force the output and find the drive values of 4 and 20 mA with the ammeter.
    step({"calibrate", "force-output", "1000"});
    const double at1000 = sim.LoopMilliAmps();
    step({"calibrate", "force-output", "7000"});
    const double at7000 = sim.LoopMilliAmps();
    ASSERT_FALSE(std::isnan(at1000) || std::isnan(at7000));
    ASSERT_GT(at7000, at1000);
    auto driveFor = [&](double mA) { return std::lround(1000 + (mA - at1000) * 6000 / (at7000 - at1000)); };
    // 6-7: the 4 mA and 20 mA points, each taken while forced.
    step({"calibrate", "set-4ma", "--pwm", std::to_string(driveFor(4.0))});
    EXPECT_NEAR(sim.LoopMilliAmps(), 4.0, 0.01);
    step({"calibrate", "set-20ma", "--pwm", std::to_string(driveFor(20.0))});
    EXPECT_NEAR(sim.LoopMilliAmps(), 20.0, 0.01);
    // 8-9: release the force, restart.
    step({"calibrate", "force-output", "off"});
    step({"calibrate", "reset"});
    // 10-11: zero adjustment at zero pressure, restart.
    pressure("0");
    step({"calibrate", "zero"});
    step({"calibrate", "reset"});

    const TRun after = step({"read", "--format", "json"});
    const json j = json::parse(after.out);
    for (const auto &[flag, set] : j["errors"].items())
        EXPECT_FALSE(set.get<bool>()) << flag;
    EXPECT_TRUE(j["error-labels"].empty()) << j["error-labels"];
    EXPECT_EQ(j["calibration-code"].get<uint32_t>(), TodayCode());
    EXPECT_NEAR(j["pressure"].get<double>(), 0.0, 1.0);
    EXPECT_FALSE(Has(step({"read"}).out, "Nincs kalibrálva"));
    // What an ammeter reads now follows the pressure through the new points.
    EXPECT_NEAR(sim.LoopMilliAmps(), 4.0, 0.1);
    pressure("249.1");
    step({"read"}); // a poll after the change
    EXPECT_NEAR(sim.LoopMilliAmps(), 20.0, 0.1);
    EXPECT_TRUE(Has(sim.Console("status", "pressure"), "errors: none"));
}

// ---- the man page's script, as written ------------------------------------------------------------------

// The lines of the CALIBRATION section's script.
std::vector<std::string> ManPageScript()
{
    std::ifstream in(KV508CTL_MAN_SOURCE);
    std::vector<std::string> lines;
    std::string line;
    bool section = false, inBlock = false;
    while (std::getline(in, line)) {
        if (line.rfind("# ", 0) == 0 && !inBlock)
            section = line == "# CALIBRATION";
        else if (section && line == "```" && inBlock)
            break;
        else if (section && line == "```")
            inBlock = true;
        else if (inBlock)
            lines.push_back(line);
    }
    return lines;
}

std::vector<std::string> Words(const std::string &line)
{
    std::istringstream in(line.substr(0, line.find(" #")));
    std::vector<std::string> words;
    for (std::string w; in >> w;)
        words.push_back(w);
    return words;
}

// Each step right after the pressure changes, as an impatient rig would run it.
TEST_F(CtlTest, TheManPagesCalibrationScriptCalibratesAnErasedInstrumentAsWritten)
{
    const std::vector<std::string> script = ManPageScript();
    ASSERT_GE(script.size(), 11u) << "no script in the CALIBRATION section of " << KV508CTL_MAN_SOURCE;
    TSim sim({"--no-line-time", "--no-link", "--blank"});
    ASSERT_TRUE(sim.Ok());
    std::string port;
    int steps = 0;
    for (const std::string &line : script) {
        SCOPED_TRACE(line);
        const std::vector<std::string> words = Words(line);
        if (line == "# zero pressure applied" || line == "# full scale applied") {
            const std::string pa = line == "# zero pressure applied" ? "0" : "249.1"; // sensor 5's full scale
            ASSERT_FALSE(sim.Console("pressure " + pa, "pressure").empty());
        } else if (line.rfind("port=", 0) == 0) {
            port = sim.Path(); // the simulator's in place of the example's
        } else if (!words.empty() && words[0] == "kv508ctl") {
            std::vector<std::string> args(words.begin() + 1, words.end());
            for (std::string &a : args)
                if (a == "$port")
                    a = port;
            ASSERT_TRUE(args.size() >= 2 && args[0] == "--port" && args[1] == sim.Path()) << "a step without --port $port";
            const TRun r = Ctl(args);
            ASSERT_EQ(r.code, 0) << "the step did not take:\n" << Shown(r); // set -e stops here
            ++steps;
        } else {
            ASSERT_TRUE(words.empty() || words[0] == "set" || words[0][0] == '#') << "a line the test does not know";
        }
    }
    EXPECT_EQ(steps, 11);
    const json j = json::parse(On(sim, {"read", "--format", "json"}).out);
    for (const auto &[flag, set] : j["errors"].items())
        EXPECT_FALSE(set.get<bool>()) << flag;
    EXPECT_NEAR(j["pressure"].get<double>(), 0.0, 0.5);
    EXPECT_NEAR(j["output-ma"].get<double>(), 4.0, 0.02);
    EXPECT_EQ(j["calibration-code"].get<uint32_t>(), TodayCode());
    // Full scale reads as full scale once the mean has followed (averaging 80: 0.8 s).
    ASSERT_FALSE(sim.Console("pressure 249.1", "pressure").empty());
    const TRun watch = On(sim, {"read", "--watch", "--count", "15", "--interval", "100", "--format", "json"});
    ASSERT_EQ(watch.code, 0) << Shown(watch);
    const json last = json::parse(Lines(watch.out).back());
    EXPECT_NEAR(last["pressure"].get<double>(), 249.1, 0.5) << last.dump();
    EXPECT_NEAR(last["output-ma"].get<double>(), 20.0, 0.05) << last.dump();
}

} // namespace
