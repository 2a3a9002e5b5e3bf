// kv508ctl as a rig runs it: "read --watch --count N --interval 0" against
// kv508-sim at 4800 baud with line timing. Prints the poll rate against the
// line's ideal, the time from start to the first answer, and the program's
// peak resident memory, as "name: value unit" lines.
//
//   bench_ctl [--count N]   (default 100)
#include "CtlProcess.h"

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

namespace {

using Clock = std::chrono::steady_clock;

double MsBetween(Clock::time_point a, Clock::time_point b)
{
    return std::chrono::duration<double, std::milli>(b - a).count();
}

// One poll exchange on the line: a 3-byte request and a 20-byte answer make
// 74 characters of 10 bits at 4800 baud, after the 50 ms start delay and the
// simulator's 3 ms turnaround.
constexpr double kIdealPeriodMs = 74 * 10 * 1000.0 / 4800 + 50 + 3;

} // namespace

int main(int argc, char **argv)
{
    long count = 100;
    for (int i = 1; i + 1 < argc; ++i)
        if (std::strcmp(argv[i], "--count") == 0)
            count = std::strtol(argv[i + 1], nullptr, 10);
    if (count < 2) {
        std::fprintf(stderr, "bench_ctl: --count must be 2 or more\n");
        return 1;
    }

    ctltest::TSim sim({"--baud", "4800", "--no-link", "--no-stdin"});
    if (!sim.Ok()) {
        std::fprintf(stderr, "bench_ctl: kv508-sim did not start\n");
        return 1;
    }
    ctltest::TProcess ctl;
    const Clock::time_point started = Clock::now();
    if (!ctl.Start(KV508CTL_PATH, {"--port", sim.Path(), "--quiet", "read", "--watch", "--count", std::to_string(count),
                                   "--interval", "0", "--format", "csv"})) {
        std::fprintf(stderr, "bench_ctl: kv508ctl did not start\n");
        return 1;
    }
    std::string line;
    std::vector<Clock::time_point> arrivals;
    if (!ctl.ReadOutLine(line, 10000)) { // the header
        std::fprintf(stderr, "bench_ctl: no output from kv508ctl\n");
        return 1;
    }
    // Every row is a poll answered; the rows come as they are flushed.
    const int perPollMs = 5 * 1000 + 1000; // a poll that takes every try still ends within this
    while (static_cast<long>(arrivals.size()) < count && ctl.ReadOutLine(line, perPollMs))
        arrivals.push_back(Clock::now());
    long rssKb = 0;
    const int code = ctl.Wait(10000, &rssKb);
    if (code != 0 || static_cast<long>(arrivals.size()) != count) {
        std::string err;
        while (ctl.ReadErrLine(line, 0))
            err += line + "\n";
        std::fprintf(stderr, "bench_ctl: kv508ctl ended with %d after %zu of %ld answers\n%s", code, arrivals.size(), count,
                     err.c_str());
        return 1;
    }

    const double periodMs = MsBetween(arrivals.front(), arrivals.back()) / static_cast<double>(count - 1);
    std::printf("ctl_polls_per_second_4800: %.3f polls/s\n", 1000.0 / periodMs);
    std::printf("ctl_poll_period_4800: %.1f ms\n", periodMs);
    std::printf("ctl_poll_period_ideal_4800: %.1f ms\n", kIdealPeriodMs);
    std::printf("ctl_poll_rate_of_ideal_4800: %.1f %%\n", 100.0 * kIdealPeriodMs / periodMs);
    std::printf("ctl_startup_to_first_answer_4800: %.1f ms\n", MsBetween(started, arrivals.front()));
    std::printf("ctl_startup_overhead_4800: %.1f ms\n", MsBetween(started, arrivals.front()) - kIdealPeriodMs);
    std::printf("ctl_max_rss: %.1f MB\n", static_cast<double>(rssKb) / 1024.0);
    return 0;
}
