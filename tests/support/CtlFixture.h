// The setting of every end-to-end test of kv508ctl: a private virtual-port
// directory and an empty device tree for the probe (so only the simulators of
// this test program are listed), and helpers that run the real program.
#pragma once

#include "CtlProcess.h"
#include "PtyTools.h"

#include <gtest/gtest.h>

#include <ctime>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include <stdlib.h>

class CtlTest : public ::testing::Test
{
protected:
    static void SetUpTestSuite()
    {
        PtyTools::UseScratchVirtualPortDir();
        static PtyTools::TScratchDir emptyTree;
        ::setenv("KV508_PROBE_ROOT", emptyTree.Path().c_str(), 1);
    }

    static ctltest::TRun Ctl(const std::vector<std::string> &args, const std::string &input = {})
    {
        return ctltest::Run(KV508CTL_PATH, args, 30000, input);
    }
    // The program on the simulator's terminal.
    static ctltest::TRun On(const ctltest::TSim &sim, std::vector<std::string> args)
    {
        args.insert(args.begin(), {"--port", sim.Path()});
        return Ctl(args);
    }

    static uint32_t TodayCode()
    {
        const std::time_t t = std::time(nullptr);
        std::tm tm{};
        localtime_r(&t, &tm);
        return static_cast<uint32_t>((tm.tm_year + 1900) * 10000 + (tm.tm_mon + 1) * 100 + tm.tm_mday);
    }

    static std::vector<std::string> Lines(const std::string &text)
    {
        std::vector<std::string> lines;
        std::string::size_type start = 0;
        while (start < text.size()) {
            const auto nl = text.find('\n', start);
            lines.push_back(text.substr(start, nl == std::string::npos ? std::string::npos : nl - start));
            if (nl == std::string::npos)
                break;
            start = nl + 1;
        }
        return lines;
    }

    // The requests a --verbose run sent, in order: "poll (1);read settings (8);".
    static std::string Sent(const std::string &err)
    {
        std::string out;
        for (const std::string &line : Lines(err))
            if (line.rfind("kv508ctl: > ", 0) == 0)
                out += line.substr(12) + ";";
        return out;
    }

    static bool Has(const std::string &text, const std::string &part) { return text.find(part) != std::string::npos; }

    // The whole file (empty when it cannot be read).
    static std::string Slurp(const std::string &path)
    {
        std::ifstream in(path);
        std::ostringstream s;
        s << in.rdbuf();
        return s.str();
    }
};

// Standard output and error of a run, for failure messages.
inline std::string Shown(const ctltest::TRun &r)
{
    return "exit " + std::to_string(r.code) + "\n--- stdout\n" + r.out + "--- stderr\n" + r.err;
}
