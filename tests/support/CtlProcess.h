// Programs under test as child processes: kv508ctl run to its end with its
// output collected, and kv508-sim kept running on its pseudo-terminal with
// its console on a pipe. Every wait has a deadline; nothing sleeps.
#pragma once

#include <string>
#include <vector>

#include <sys/types.h>

namespace ctltest {

struct TRun {
    int code = -1; // exit code; -1 when it did not end by itself
    std::string out, err;
    long maxRssKb = 0;
};

// Runs program with args to its end (killed after timeoutMs), standard input
// from input.
TRun Run(const std::string &program, const std::vector<std::string> &args, int timeoutMs = 30000,
         const std::string &input = {});

class TProcess
{
public:
    TProcess() = default;
    TProcess(const TProcess &) = delete;
    TProcess &operator=(const TProcess &) = delete;
    ~TProcess();

    bool Start(const std::string &program, const std::vector<std::string> &args);
    pid_t Pid() const { return m_pid; }
    // The next whole line of standard output or standard error (without its
    // newline); false when none came within timeoutMs or the stream ended.
    bool ReadOutLine(std::string &line, int timeoutMs) { return ReadLine(m_out, m_outBuffer, line, timeoutMs); }
    bool ReadErrLine(std::string &line, int timeoutMs) { return ReadLine(m_err, m_errBuffer, line, timeoutMs); }
    bool Write(const std::string &text);
    // SIGTERM, then the exit code (-1 when it had to be killed).
    int Stop(int timeoutMs = 10000);
    // Its own end within timeoutMs (else killed): the exit code or -1, and its peak resident memory.
    int Wait(int timeoutMs, long *maxRssKb = nullptr);

private:
    bool ReadLine(int &fd, std::string &buffer, std::string &line, int timeoutMs);
    int Reap(int timeoutMs, long *maxRssKb);

    pid_t m_pid = -1;
    int m_in = -1, m_out = -1, m_err = -1;
    std::string m_outBuffer, m_errBuffer;
};

// kv508-sim with the given options on a fresh pseudo-terminal.
class TSim
{
public:
    explicit TSim(const std::vector<std::string> &options = {"--no-line-time", "--no-link"});
    bool Ok() const { return !m_path.empty(); }
    const std::string &Path() const { return m_path; }
    pid_t Pid() const { return m_process.Pid(); }
    // The next line of its standard output after the path (the console's lines for programs).
    bool ReadOutLine(std::string &line, int timeoutMs) { return m_process.ReadOutLine(line, timeoutMs); }
    // A console command; the reply line that starts with expect (after the
    // "kv508-sim: " prefix), or empty when none came.
    std::string Console(const std::string &command, const std::string &expect, int timeoutMs = 5000);
    // The loop current (mA) of the console's status, NaN when unknown.
    double LoopMilliAmps();
    int Stop() { return m_process.Stop(); }

private:
    TProcess m_process;
    std::string m_path;
};

} // namespace ctltest
