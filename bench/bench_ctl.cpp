// kv508ctl as a rig runs it: "read --watch --count N --interval 0" against
// kv508-sim at 4800 baud with line timing. Prints the poll rate against the
// line's ideal, the time from start to the first answer, the program's
// wake-ups per poll and its peak resident memory, as "name: value unit" lines.
//
// After "--", kv508ctl runs under the command that follows (an absolute path
// and its options, e.g. strace or valgrind), which counts what it counts; the
// timing figures then mean nothing and only the polls are checked and counted.
// Two such runs with different counts give the count per poll, the start-up
// and the ending being the same in both (scripts/bench does this).
//
//   bench_ctl [--count N] [-- WRAPPER ARGS...]   (count: default 100)
#include "CtlProcess.h"

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <string>
#include <vector>

#include <dirent.h>

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

// The times a process's threads have gone to sleep and been woken, so far
// (-1 when it cannot be read).
long VoluntarySwitches(pid_t pid)
{
    const std::string tasks = "/proc/" + std::to_string(pid) + "/task";
    DIR *dir = ::opendir(tasks.c_str());
    if (!dir)
        return -1;
    long total = 0;
    while (const dirent *e = ::readdir(dir)) {
        if (e->d_name[0] == '.')
            continue;
        std::ifstream status(tasks + '/' + e->d_name + "/status");
        for (std::string line; std::getline(status, line);)
            if (line.rfind("voluntary_ctxt_switches:", 0) == 0)
                total += std::strtol(line.c_str() + std::strlen("voluntary_ctxt_switches:"), nullptr, 10);
    }
    ::closedir(dir);
    return total;
}

struct TOptions {
    long count = 100;
    std::vector<std::string> wrapper; // kv508ctl runs under this when given
};

bool Parse(int argc, char **argv, TOptions &o)
{
    for (int i = 1; i < argc; ++i) {
        if (std::strcmp(argv[i], "--") == 0) {
            o.wrapper.assign(argv + i + 1, argv + argc);
            break;
        }
        if (std::strcmp(argv[i], "--count") == 0 && i + 1 < argc)
            o.count = std::strtol(argv[++i], nullptr, 10);
    }
    if (o.count < 3) {
        std::fprintf(stderr, "bench_ctl: --count must be 3 or more\n");
        return false;
    }
    if (o.wrapper.size() == 1 && o.wrapper[0].empty()) // "--" and nothing after it
        o.wrapper.clear();
    return true;
}

void PrintFigures(const std::vector<Clock::time_point> &arrivals, Clock::time_point started, long wakeUps,
                  long simWakeUps, long rssKb)
{
    const long count = static_cast<long>(arrivals.size());
    const double periodMs = MsBetween(arrivals.front(), arrivals.back()) / static_cast<double>(count - 1);
    std::printf("ctl_polls_per_second_4800: %.3f polls/s\n", 1000.0 / periodMs);
    std::printf("ctl_poll_period_4800: %.1f ms\n", periodMs);
    std::printf("ctl_poll_period_ideal_4800: %.1f ms\n", kIdealPeriodMs);
    std::printf("ctl_poll_rate_of_ideal_4800: %.1f %%\n", 100.0 * kIdealPeriodMs / periodMs);
    std::printf("ctl_startup_to_first_answer_4800: %.1f ms\n", MsBetween(started, arrivals.front()));
    std::printf("ctl_startup_overhead_4800: %.1f ms\n", MsBetween(started, arrivals.front()) - kIdealPeriodMs);
    // From the first answer to the last but one: whole polls, and the program
    // still running when its threads are read.
    if (wakeUps >= 0)
        std::printf("poll_ctl_wakeups: %.1f per poll\n", static_cast<double>(wakeUps) / static_cast<double>(count - 2));
    // The simulator paces each answer character on its own timer: a line, not a reader.
    if (simWakeUps >= 0)
        std::printf("poll_sim_wakeups: %.1f per poll\n", static_cast<double>(simWakeUps) / static_cast<double>(count - 2));
    std::printf("ctl_max_rss: %.1f MB\n", static_cast<double>(rssKb) / 1024.0);
}

} // namespace

int main(int argc, char **argv)
{
    TOptions o;
    if (!Parse(argc, argv, o))
        return 1;
    ctltest::TSim sim({"--baud", "4800", "--no-link", "--no-stdin"});
    if (!sim.Ok()) {
        std::fprintf(stderr, "bench_ctl: kv508-sim did not start\n");
        return 1;
    }
    std::vector<std::string> args = o.wrapper;
    args.insert(args.end(), {KV508CTL_PATH, "--port", sim.Path(), "--quiet", "read", "--watch", "--count",
                             std::to_string(o.count), "--interval", "0", "--format", "csv"});
    const std::string program = args.front();
    args.erase(args.begin());
    ctltest::TProcess ctl;
    const Clock::time_point started = Clock::now();
    if (!ctl.Start(program, args)) {
        std::fprintf(stderr, "bench_ctl: %s did not start\n", program.c_str());
        return 1;
    }
    std::string line;
    std::vector<Clock::time_point> arrivals;
    // The header; under valgrind the start takes some seconds.
    if (!ctl.ReadOutLine(line, o.wrapper.empty() ? 10000 : 60000)) {
        std::fprintf(stderr, "bench_ctl: no output from kv508ctl\n");
        return 1;
    }
    // Every row is a poll answered; the rows come as they are flushed.
    const int perPollMs = 5 * 1000 + 1000; // a poll that takes every try still ends within this
    long switchesFirst = -1, switchesLast = -1, simFirst = -1, simLast = -1;
    while (static_cast<long>(arrivals.size()) < o.count && ctl.ReadOutLine(line, perPollMs)) {
        arrivals.push_back(Clock::now());
        if (arrivals.size() == 1) {
            switchesFirst = VoluntarySwitches(ctl.Pid());
            simFirst = VoluntarySwitches(sim.Pid());
        } else if (static_cast<long>(arrivals.size()) == o.count - 1) {
            switchesLast = VoluntarySwitches(ctl.Pid());
            simLast = VoluntarySwitches(sim.Pid());
        }
    }
    long rssKb = 0;
    const int code = ctl.Wait(o.wrapper.empty() ? 10000 : 60000, &rssKb);
    if (code != 0 || static_cast<long>(arrivals.size()) != o.count) {
        std::string err;
        while (ctl.ReadErrLine(line, 0))
            err += line + "\n";
        std::fprintf(stderr, "bench_ctl: kv508ctl ended with %d after %zu of %ld answers\n%s", code, arrivals.size(),
                     o.count, err.c_str());
        return 1;
    }
    if (!o.wrapper.empty()) {
        std::printf("ctl_counted_polls: %ld polls\n", o.count);
        return 0;
    }
    PrintFigures(arrivals, started, switchesFirst >= 0 && switchesLast >= 0 ? switchesLast - switchesFirst : -1,
                 simFirst >= 0 && simLast >= 0 ? simLast - simFirst : -1, rssKb);
    return 0;
}
