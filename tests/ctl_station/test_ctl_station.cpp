// kv508ctl station end to end: kv508-sim plays the instrument, the meter in
// its loop and the pressure controller. A drifted instrument is found out,
// trimmed and passed; references that fail and an instrument lost mid-trim
// end the run with the cause, the output released where the instrument is
// still there, and the record left open.
#include "CtlFixture.h"
#include "Instrument.h"

#include <nlohmann/json.hpp>

#include <QFile>
#include <QJsonDocument>

#include <algorithm>
#include <chrono>
#include <cmath>
#include <csignal>
#include <functional>

#include <arpa/inet.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

using ctltest::TRun;
using ctltest::TSim;
using nlohmann::json;

namespace {

constexpr int kRunMs = 180000;

// kv508-sim with its references on loopback: where they listen.
struct TBench {
    explicit TBench(std::vector<std::string> options)
        : sim([&] {
              options.insert(options.end(), {"--no-line-time", "--no-link", "--meter-port", "0", "--controller-port", "0",
                                             "--controller-settle-ms", "300", "--seed", "7"});
              return options;
          }())
    {
        std::string line;
        while ((meter.empty() || controller.empty()) && sim.ReadOutLine(line, 15000)) {
            if (line.rfind("meter: ", 0) == 0)
                meter = line.substr(7);
            if (line.rfind("controller: ", 0) == 0)
                controller = line.substr(12);
        }
    }
    bool Ok() const { return sim.Ok() && !meter.empty() && !controller.empty(); }

    TSim sim;
    std::string meter, controller;
};

// One SCPI query on a tcp:127.0.0.1:PORT reference, as a bench program would ask it.
std::string Query(const std::string &address, const std::string &command)
{
    const int fd = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    sockaddr_in to{};
    to.sin_family = AF_INET;
    to.sin_port = htons(uint16_t(std::stoi(address.substr(address.rfind(':') + 1))));
    to.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    std::string answer;
    if (::connect(fd, reinterpret_cast<sockaddr *>(&to), sizeof to) == 0 &&
        ::send(fd, (command + "\n").data(), command.size() + 1, MSG_NOSIGNAL) == ssize_t(command.size() + 1)) {
        const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(5);
        pollfd p{fd, POLLIN, 0};
        while (answer.find('\n') == std::string::npos && std::chrono::steady_clock::now() < deadline &&
               ::poll(&p, 1, 1000) >= 0) {
            char chunk[256];
            const ssize_t n = (p.revents & POLLIN) ? ::recv(fd, chunk, sizeof chunk, 0) : 0;
            if ((p.revents & (POLLHUP | POLLERR)) || n < 0 || ((p.revents & POLLIN) && n == 0))
                break;
            answer.append(chunk, size_t(n));
        }
    }
    ::close(fd);
    return answer.substr(0, answer.find_first_of("\r\n"));
}

std::vector<std::string> Split(const std::string &text, char by)
{
    std::vector<std::string> parts;
    std::string::size_type start = 0, at;
    while ((at = text.find(by, start)) != std::string::npos) {
        parts.push_back(text.substr(start, at - start));
        start = at + 1;
    }
    parts.push_back(text.substr(start));
    return parts;
}

} // namespace

class CtlStationTest : public CtlTest
{
protected:
    static void SetUpTestSuite()
    {
        CtlTest::SetUpTestSuite();
        ::unsetenv("KV508_RECORDS");
        ::unsetenv("QT_QPA_PLATFORM"); // the certificate needs no display
        ::unsetenv("DISPLAY");
        ::unsetenv("WAYLAND_DISPLAY");
    }

    void SetUp() override
    {
        ASSERT_TRUE(dir.Valid());
        location = "sqlite:" + dir.Path() + "/records.sqlite";
    }

    // The factory instrument with its 4 mA point stored 20 drive steps high
    // (about +0.37 % of span at the bottom of the range).
    std::string DriftedState() const
    {
        sim::Memory m = sim::Memory::Factory();
        *m.output4mA += 20;
        const std::string path = dir.Path() + "/instrument.json";
        QFile f(QString::fromStdString(path));
        EXPECT_TRUE(f.open(QIODevice::WriteOnly));
        f.write(QJsonDocument(m.ToJson()).toJson());
        return path;
    }

    std::vector<std::string> Station(const TBench &b, const std::vector<std::string> &extra) const
    {
        std::vector<std::string> args{"--port", b.sim.Path(), "--records", location, "station", "--meter", b.meter, "--pressure",
                                      b.controller, "--tag", "PT-101", "--serial", "KV-0815", "--technician", "Kovács Éva",
                                      "--certificate", dir.Path() + "/certificate.pdf"};
        args.insert(args.end(), extra.begin(), extra.end());
        return args;
    }

    json Show(const std::string &certificate) const
    {
        const TRun r = Ctl({"--records", location, "records", "show", certificate, "--format", "json"});
        EXPECT_EQ(r.code, 0) << Shown(r);
        return r.code == 0 ? json::parse(r.out) : json();
    }

    // The simulator's own account of its output: not forced any more.
    static bool Released(TSim &sim)
    {
        const std::string line = sim.Console("ammeter", "ammeter");
        EXPECT_FALSE(line.empty());
        return Has(line, "forced=0");
    }

    PtyTools::TScratchDir dir;
    std::string location;
};

TEST_F(CtlStationTest, ADriftedInstrumentIsTrimmedAgainstTheMeterAndPassesAsLeft)
{
    TBench bench({"--state", DriftedState()});
    ASSERT_TRUE(bench.Ok());
    const TRun run = ctltest::Run(KV508CTL_PATH, Station(bench, {"--points", "0,50,100", "--settle-timeout", "20000", "--format", "json"}),
                                  kRunMs);
    ASSERT_EQ(run.code, 0) << Shown(run);
    const json summary = json::parse(run.out);
    EXPECT_EQ(summary["as-found"], "FAIL");
    EXPECT_EQ(summary["as-left"], "PASS");
    EXPECT_EQ(summary["verdict"], "PASS");
    // Within 0.01 % of span at both ends: a drive step (about 3 µA) is the limit.
    EXPECT_LE(std::abs(summary["as-left-error-4ma-percent"].get<double>()), 0.01) << run.out;
    EXPECT_LE(std::abs(summary["as-left-error-20ma-percent"].get<double>()), 0.01) << run.out;
    EXPECT_GE(summary["trim-4ma"]["steps"].get<int>(), 2) << "the drifted point was not searched: " << run.out;
    // A rig's log shows where it stands.
    EXPECT_TRUE(Has(run.err, "station: As-Found 0 %: applied 0.00 Pa, instrument ")) << run.err;
    EXPECT_TRUE(Has(run.err, "station: trim 4 mA: drive ")) << run.err;
    EXPECT_TRUE(Released(bench.sim));

    // The record and its certificate name the references as they identify themselves.
    const json record = Show(summary["certificate"]);
    EXPECT_EQ(record["finished"], true);
    EXPECT_EQ(record["calibrated"], true);
    EXPECT_EQ(record["points"].size(), 6u);
    for (const auto &[role, address] : {std::pair{"Pressure standard", bench.controller}, {"Ammeter (loop current)", bench.meter}}) {
        const std::vector<std::string> idn = Split(Query(address, "*IDN?"), ',');
        ASSERT_EQ(idn.size(), 4u) << address;
        bool named = false;
        for (const json &ref : record["references"])
            if (ref["role"] == role) {
                named = true;
                const std::string name = ref["name"];
                EXPECT_TRUE(Has(name, idn[0]) && Has(name, idn[1])) << name;
                EXPECT_EQ(ref["serial"], idn[2]);
            }
        EXPECT_TRUE(named) << role;
    }
    EXPECT_EQ(Slurp(dir.Path() + "/certificate.pdf").rfind("%PDF", 0), 0u);
}

TEST_F(CtlStationTest, AFailingReferenceEndsTheRunWithTheOutputReleasedAndTheRecordOpen)
{
    struct TCase {
        const char *what;
        std::vector<std::string> sim, station;
        const char *says;
        bool calibrationChanged;
    };
    // --points 50: *IDN? and three readings As-Found, then two readings per trim step.
    const TCase cases[] = {
        {"meter silent mid-trim", {"--meter-fault", "silent@6"}, {"--settle-timeout", "20000"}, "the meter failed", true},
        {"meter answers junk", {"--meter-fault", "garbage@1"}, {"--settle-timeout", "20000"}, "the meter failed", false},
        {"controller never settles", {"--controller-never-settles"}, {"--settle-timeout", "1500"}, "did not hold 124.55 Pa", false},
    };
    for (const TCase &c : cases) {
        SCOPED_TRACE(c.what);
        TBench bench(c.sim);
        ASSERT_TRUE(bench.Ok());
        std::vector<std::string> extra{"--points", "50"};
        extra.insert(extra.end(), c.station.begin(), c.station.end());
        const TRun run = ctltest::Run(KV508CTL_PATH, Station(bench, extra), kRunMs);
        EXPECT_EQ(run.code, 10) << Shown(run);
        EXPECT_TRUE(Has(run.err, c.says)) << run.err;
        EXPECT_TRUE(Has(run.err, c.calibrationChanged ? "acknowledged these calibration requests: set as 0 (3), set as scale end (9)"
                                                      : "acknowledged no calibration request"))
            << run.err;
        EXPECT_TRUE(Released(bench.sim));
        const std::string certificate = "KV-" + std::to_string(TodayCode() / 10000) + "-000" + std::to_string(&c - cases + 1);
        EXPECT_TRUE(Has(run.err, "record " + certificate + " is left open")) << run.err;
        const json record = Show(certificate);
        ASSERT_TRUE(record.is_object());
        EXPECT_EQ(record["finished"], false);
        EXPECT_EQ(record["points"].size(), c.calibrationChanged ? 1u : 0u);
    }
}

// Runs the station until its first trim step, does what, and returns the exit code with standard error.
int MidTrim(ctltest::TProcess &station, const std::function<void()> &what, std::string &err)
{
    const std::string trimming = "station: trim 4 mA: drive ";
    std::string line;
    while (station.ReadErrLine(line, 60000) && line.find(trimming) == std::string::npos)
        err += line + "\n";
    if (line.find(trimming) == std::string::npos)
        return -2;
    what();
    while (station.ReadErrLine(line, 60000))
        err += line + "\n";
    return station.Wait(60000);
}

TEST_F(CtlStationTest, CtrlCOrTheInstrumentLostMidTrimLeavesTheRecordOpenAndSaysWhatWasTaken)
{
    const std::string year = std::to_string(TodayCode() / 10000);
    {
        TBench bench({"--state", DriftedState()});
        ASSERT_TRUE(bench.Ok());
        ctltest::TProcess station;
        ASSERT_TRUE(station.Start(KV508CTL_PATH, Station(bench, {"--points", "50", "--settle-timeout", "20000"})));
        std::string err;
        const int code = MidTrim(station, [&] { ::kill(station.Pid(), SIGINT); }, err);
        EXPECT_EQ(code, 1) << err;
        EXPECT_TRUE(Has(err, "kv508ctl: interrupted ")) << err;
        EXPECT_TRUE(Has(err, "is left open (not finished)")) << err;
        EXPECT_TRUE(Has(err, "acknowledged these calibration requests: set as 0 (3), set as scale end (9)")) << err;
        EXPECT_TRUE(Released(bench.sim));
    }
    TBench bench({});
    ASSERT_TRUE(bench.Ok());
    ctltest::TProcess station;
    ASSERT_TRUE(station.Start(KV508CTL_PATH, Station(bench, {"--points", "50", "--settle-timeout", "20000"})));
    std::string err;
    // The instrument, its meter and its controller gone at once.
    const int code = MidTrim(station, [&] { ::kill(bench.sim.Pid(), SIGKILL); }, err);
    // Whichever is asked first after the loss: the instrument (no answer, or its port gone) or the meter.
    EXPECT_TRUE(code == 2 || code == 3 || code == 10) << code << "\n" << err;
    EXPECT_TRUE(Has(err, "acknowledged these calibration requests: set as 0 (3), set as scale end (9)")) << err;
    EXPECT_TRUE(Has(err, "the output may still be forced")) << err;
    for (const char *n : {"-0001", "-0002"}) {
        const json record = Show("KV-" + year + n);
        ASSERT_TRUE(record.is_object());
        EXPECT_EQ(record["finished"], false);
        EXPECT_EQ(record["points"].size(), 1u);
    }
    EXPECT_TRUE(Has(err, "record KV-" + year + "-0002 is left open (not finished)")) << err;
}

TEST_F(CtlStationTest, WithoutAControllerTheOperatorAppliesEachPressureAndATemperatureInputIsRefusedOne)
{
    TBench bench({});
    ASSERT_TRUE(bench.Ok());
    std::vector<std::string> args = Station(bench, {"--points", "50", "--settle-timeout", "20000"});
    args.erase(std::find(args.begin(), args.end(), "--pressure"), std::find(args.begin(), args.end(), "--tag"));
    ctltest::TProcess station;
    ASSERT_TRUE(station.Start(KV508CTL_PATH, args));
    // The operator: applies what is asked (the simulator's console) and presses Enter.
    const std::string ask = ": apply ";
    std::string line, err;
    int asked = 0;
    while (station.ReadErrLine(line, 60000)) {
        err += line + "\n";
        const auto at = line.find(ask);
        if (at == std::string::npos)
            continue;
        ++asked;
        // As-Found: another pressure than asked, and typed in; the station waits for the reading to settle.
        const std::string value = asked == 1 ? "124.6" : line.substr(at + ask.size(), line.find(' ', at + ask.size()) - at - ask.size());
        ASSERT_FALSE(bench.sim.Console("pressure " + value, "pressure").empty());
        ASSERT_TRUE(station.Write(asked == 1 ? value + "\n" : "\n"));
    }
    EXPECT_EQ(station.Wait(60000), 0) << err;
    EXPECT_EQ(asked, 5) << err; // As-Found, set-zero, scale-end, zero, As-Left
    EXPECT_TRUE(Has(err, "As-Found 50 %: apply 124.55 Pa and press Enter")) << err;
    const json record = Show("KV-" + std::to_string(TodayCode() / 10000) + "-0001");
    ASSERT_TRUE(record.is_object());
    EXPECT_EQ(record["finished"], true);
    ASSERT_EQ(record["points"].size(), 2u);
    EXPECT_EQ(record["points"][0]["applied"], 124.6);
    for (const json &ref : record["references"]) {
        if (ref["role"] == "Pressure standard") {
            EXPECT_EQ(ref["name"], "") << "nothing invented for a standard not connected";
        }
    }

    ASSERT_EQ(On(bench.sim, {"settings", "set", "input=temperature"}).code, 0);
    const TRun temperature = ctltest::Run(KV508CTL_PATH, Station(bench, {"--points", "50"}), kRunMs);
    EXPECT_EQ(temperature.code, 1) << Shown(temperature);
    EXPECT_TRUE(Has(temperature.err, "has the temperature input: a pressure controller cannot calibrate it")) << temperature.err;
}
