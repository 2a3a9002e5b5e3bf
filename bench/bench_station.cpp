// kv508ctl station as a calibration lab runs it: one whole run against
// kv508-sim at 4800 baud with line timing, its meter and pressure controller
// on loopback (the controller taking 2 s to settle on each set point), the
// output drifted 20 µA high so that both ends need trimming; points 0, 25, 50,
// 75 and 100 %, the record in a scratch SQLite file, the certificate beside it.
// Prints the run's wall time, the trim steps and the As-Left errors at both
// ends, as "name: value unit" lines. Fails (exit 1, the run's standard error
// on ours) unless the station exits 0 with its JSON summary.
//
//   bench_station
#include "CtlProcess.h"

#include <nlohmann/json.hpp>

#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include <ftw.h>
#include <unistd.h>

namespace {

using Clock = std::chrono::steady_clock;

// A run takes about a minute at this pace; one stuck on a lost reference
// must still end the bench.
constexpr int kRunTimeoutMs = 15 * 60 * 1000;

// A directory of its own under TMPDIR, removed with what it holds.
class TScratch
{
public:
    TScratch()
    {
        const char *tmp = std::getenv("TMPDIR");
        std::string templ = std::string(tmp && *tmp == '/' ? tmp : "/tmp") + "/kv508-bench-station-XXXXXX";
        if (::mkdtemp(templ.data()))
            m_path = templ;
    }
    TScratch(const TScratch &) = delete;
    TScratch &operator=(const TScratch &) = delete;
    ~TScratch()
    {
        if (!m_path.empty()) // depth first, links removed and never followed
            ::nftw(m_path.c_str(), [](const char *p, const struct stat *, int, FTW *) { return ::remove(p); }, 16,
                   FTW_DEPTH | FTW_PHYS);
    }
    const std::string &Path() const { return m_path; }

private:
    std::string m_path;
};

// kv508-sim with line timing and its references on free loopback ports: where they listen.
struct TReferences {
    TReferences()
        : sim({"--baud", "4800", "--no-link", "--no-stdin", "--seed", "7", "--meter-port", "0", "--controller-port", "0",
               "--controller-settle-ms", "2000", "--dac-offset-ua", "20"})
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

    ctltest::TSim sim;
    std::string meter, controller;
};

// A number of the summary (under member when given), or NaN where it is missing or null.
double Number(const nlohmann::json &summary, const char *key, const char *member = nullptr)
{
    const auto at = summary.find(key);
    if (at == summary.end())
        return std::nan("");
    const nlohmann::json *j = &*at;
    if (member) {
        const auto in = j->is_object() ? j->find(member) : j->end();
        if (!j->is_object() || in == j->end())
            return std::nan("");
        j = &*in;
    }
    return j->is_number() ? j->get<double>() : std::nan("");
}

} // namespace

int main()
{
    TScratch dir;
    if (dir.Path().empty()) {
        std::fprintf(stderr, "bench_station: no scratch directory (is TMPDIR writable?)\n");
        return 1;
    }
    TReferences refs;
    if (!refs.Ok()) {
        std::fprintf(stderr, "bench_station: kv508-sim did not start with its meter and controller\n");
        return 1;
    }
    const std::vector<std::string> args{
        "--port", refs.sim.Path(), "--records", "sqlite:" + dir.Path() + "/records.sqlite", "station", "--meter", refs.meter,
        "--pressure", refs.controller, "--tag", "PT-BENCH", "--serial", "KV-BENCH", "--technician", "Bench",
        "--points", "0,25,50,75,100", "--certificate", dir.Path() + "/certificate.pdf", "--format", "json"};
    const Clock::time_point started = Clock::now();
    const ctltest::TRun run = ctltest::Run(KV508CTL_PATH, args, kRunTimeoutMs);
    const double seconds = std::chrono::duration<double>(Clock::now() - started).count();
    if (run.code != 0) {
        std::fprintf(stderr, "bench_station: kv508ctl station ended with %d after %.1f s%s\n%s", run.code, seconds,
                     run.code == -1 ? " (killed at the bench's time limit)" : "", run.err.c_str());
        return 1;
    }
    const nlohmann::json summary = nlohmann::json::parse(run.out, nullptr, false);
    if (!summary.is_object()) {
        std::fprintf(stderr, "bench_station: kv508ctl station's summary is not JSON:\n%s\n%s", run.out.c_str(), run.err.c_str());
        return 1;
    }
    const double steps4 = Number(summary, "trim-4ma", "steps"), steps20 = Number(summary, "trim-20ma", "steps");
    const double error4 = Number(summary, "as-left-error-4ma-percent"), error20 = Number(summary, "as-left-error-20ma-percent");
    std::fputs(run.err.c_str(), stderr); // the run's steps, for the log
    std::printf("station_run_seconds: %.1f s\n", seconds);
    std::printf("station_trim_steps_4mA: %.0f steps\n", steps4);
    std::printf("station_trim_steps_20mA: %.0f steps\n", steps20);
    std::printf("station_as_left_error_4mA_pct: %.4f %%\n", error4);
    std::printf("station_as_left_error_20mA_pct: %.4f %%\n", error20);
    std::fflush(stdout);
    if (std::isnan(steps4) || std::isnan(steps20) || std::isnan(error4) || std::isnan(error20)) {
        std::fprintf(stderr, "bench_station: the summary lacks a trim or an As-Left figure (nan above):\n%s\n", run.out.c_str());
        return 1;
    }
    return 0;
}
