// A Google Benchmark reporter that prints one line per figure, "name: value unit",
// from the median of the repetitions, and keeps the figures for derived ratios.
#pragma once

#include <benchmark/benchmark.h>

#include <cmath>
#include <cstdio>
#include <functional>
#include <map>
#include <string>
#include <vector>

class LineReporter : public benchmark::BenchmarkReporter
{
public:
    // How a benchmark's figure is printed: which counter, scaled by what, in which unit.
    struct Figure {
        std::string counter; // "bytes_per_second", "items_per_second" or a user counter
        double scale;
        std::string unit;
    };

    void Describe(const std::string &benchmark, const std::string &figure, Figure how)
    {
        m_figures[benchmark] = {figure, std::move(how)};
    }

    // A line computed from printed figures after all runs (ratios and the like).
    void Derive(std::function<void(const std::map<std::string, double> &)> derive) { m_derive.push_back(std::move(derive)); }

    bool ReportContext(const Context &) override { return true; }

    void ReportRuns(const std::vector<Run> &runs) override
    {
        for (const Run &run : runs) {
            if (run.error_occurred) {
                std::printf("%s: failed (%s)\n", run.benchmark_name().c_str(), run.error_message.c_str());
                continue;
            }
            // With repetitions only the median counts; a single run counts as it is.
            if (run.run_type == Run::RT_Aggregate && run.aggregate_name != "median")
                continue;
            if (run.run_type == Run::RT_Iteration && run.repetitions > 1)
                continue;
            const auto it = m_figures.find(run.run_name.function_name);
            if (it == m_figures.end())
                continue;
            const auto &[name, how] = it->second;
            const auto c = run.counters.find(how.counter);
            if (c == run.counters.end())
                continue;
            const double value = c->second.value / how.scale;
            m_values[name] = value;
            std::printf("%s: %s %s\n", name.c_str(), Format(value).c_str(), how.unit.c_str());
            std::fflush(stdout);
        }
    }

    void Finalize() override
    {
        for (const auto &derive : m_derive)
            derive(m_values);
    }

    static std::string Format(double v)
    {
        char buf[64];
        if (v == std::floor(v) || std::fabs(v) >= 100)
            std::snprintf(buf, sizeof buf, "%.0f", v);
        else if (v >= 10)
            std::snprintf(buf, sizeof buf, "%.1f", v);
        else
            std::snprintf(buf, sizeof buf, "%.2f", v);
        return buf;
    }

    static void Line(const std::string &name, double value, const std::string &unit)
    {
        std::printf("%s: %s %s\n", name.c_str(), Format(value).c_str(), unit.c_str());
        std::fflush(stdout);
    }

private:
    std::map<std::string, std::pair<std::string, Figure>> m_figures;
    std::map<std::string, double> m_values;
    std::vector<std::function<void(const std::map<std::string, double> &)>> m_derive;
};
