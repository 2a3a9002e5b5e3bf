#include "CtlProcess.h"

#include <chrono>
#include <cmath>
#include <csignal>
#include <cstring>

#include <fcntl.h>
#include <poll.h>
#include <spawn.h>
#include <sys/resource.h>
#include <sys/syscall.h>
#include <sys/wait.h>
#include <unistd.h>

extern char **environ;

namespace ctltest {

namespace {

using Clock = std::chrono::steady_clock;

int MsLeft(Clock::time_point deadline)
{
    const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(deadline - Clock::now()).count();
    return left < 0 ? 0 : static_cast<int>(left);
}

struct TPipes {
    int in[2] = {-1, -1}, out[2] = {-1, -1}, err[2] = {-1, -1};
};

pid_t Spawn(const std::string &program, const std::vector<std::string> &args, TPipes &p)
{
    if (::pipe2(p.in, O_CLOEXEC) != 0 || ::pipe2(p.out, O_CLOEXEC) != 0 || ::pipe2(p.err, O_CLOEXEC) != 0)
        return -1;
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_adddup2(&actions, p.in[0], 0);
    posix_spawn_file_actions_adddup2(&actions, p.out[1], 1);
    posix_spawn_file_actions_adddup2(&actions, p.err[1], 2);
    std::vector<char *> argv;
    argv.push_back(const_cast<char *>(program.c_str()));
    for (const std::string &a : args)
        argv.push_back(const_cast<char *>(a.c_str()));
    argv.push_back(nullptr);
    pid_t pid = -1;
    if (posix_spawn(&pid, program.c_str(), &actions, nullptr, argv.data(), environ) != 0)
        pid = -1;
    posix_spawn_file_actions_destroy(&actions);
    ::close(p.in[0]);
    ::close(p.out[1]);
    ::close(p.err[1]);
    return pid;
}

} // namespace

TRun Run(const std::string &program, const std::vector<std::string> &args, int timeoutMs, const std::string &input)
{
    TRun r;
    TPipes p;
    const pid_t pid = Spawn(program, args, p);
    if (pid < 0)
        return r;
    if (!input.empty())
        [[maybe_unused]] const ssize_t n = ::write(p.in[1], input.data(), input.size());
    ::close(p.in[1]);
    const auto deadline = Clock::now() + std::chrono::milliseconds(timeoutMs);
    int fds[2] = {p.out[0], p.err[0]};
    std::string *sinks[2] = {&r.out, &r.err};
    while ((fds[0] >= 0 || fds[1] >= 0) && MsLeft(deadline) > 0) {
        pollfd pfd[2] = {{fds[0], POLLIN, 0}, {fds[1], POLLIN, 0}};
        if (::poll(pfd, 2, MsLeft(deadline)) <= 0)
            continue;
        for (int i = 0; i < 2; ++i) {
            if (fds[i] < 0 || !(pfd[i].revents & (POLLIN | POLLHUP | POLLERR)))
                continue;
            char buffer[4096];
            const ssize_t n = ::read(fds[i], buffer, sizeof buffer);
            if (n > 0) {
                sinks[i]->append(buffer, static_cast<size_t>(n));
            } else {
                ::close(fds[i]);
                fds[i] = -1;
            }
        }
    }
    for (int fd : fds)
        if (fd >= 0) {
            ::kill(pid, SIGKILL);
            ::close(fd);
        }
    int status = 0;
    rusage usage{};
    if (::wait4(pid, &status, 0, &usage) == pid && WIFEXITED(status))
        r.code = WEXITSTATUS(status);
    r.maxRssKb = usage.ru_maxrss;
    return r;
}

TProcess::~TProcess()
{
    Stop();
}

bool TProcess::Start(const std::string &program, const std::vector<std::string> &args)
{
    TPipes p;
    m_pid = Spawn(program, args, p);
    m_in = p.in[1];
    m_out = p.out[0];
    m_err = p.err[0];
    return m_pid > 0;
}

bool TProcess::ReadLine(int &fd, std::string &buffer, std::string &line, int timeoutMs)
{
    const auto deadline = Clock::now() + std::chrono::milliseconds(timeoutMs);
    for (;;) {
        if (const auto nl = buffer.find('\n'); nl != std::string::npos) {
            line = buffer.substr(0, nl);
            buffer.erase(0, nl + 1);
            return true;
        }
        if (fd < 0 || MsLeft(deadline) == 0)
            return false;
        pollfd pfd{fd, POLLIN, 0};
        if (::poll(&pfd, 1, MsLeft(deadline)) <= 0)
            continue;
        char chunk[4096];
        const ssize_t n = ::read(fd, chunk, sizeof chunk);
        if (n <= 0) {
            ::close(fd);
            fd = -1;
            continue;
        }
        buffer.append(chunk, static_cast<size_t>(n));
    }
}

bool TProcess::Write(const std::string &text)
{
    return m_in >= 0 && ::write(m_in, text.data(), text.size()) == static_cast<ssize_t>(text.size());
}

int TProcess::Stop(int timeoutMs)
{
    if (m_pid <= 0)
        return -1;
    ::kill(m_pid, SIGTERM);
    // Its output stays open until it has ended: a last word must not meet a closed pipe.
    if (m_in >= 0) {
        ::close(m_in);
        m_in = -1;
    }
    return Reap(timeoutMs, nullptr);
}

int TProcess::Wait(int timeoutMs, long *maxRssKb)
{
    if (m_pid <= 0)
        return -1;
    return Reap(timeoutMs, maxRssKb);
}

int TProcess::Reap(int timeoutMs, long *maxRssKb)
{
    // The end of the child as an event: its pidfd turns readable.
    int status = 0;
    bool ended = false;
    const int pidfd = static_cast<int>(::syscall(SYS_pidfd_open, m_pid, 0));
    if (pidfd >= 0) {
        pollfd pfd{pidfd, POLLIN, 0};
        ended = ::poll(&pfd, 1, timeoutMs) > 0;
        ::close(pidfd);
    } else {
        ended = true; // no pidfd (kernel before 5.3): a plain blocking wait, under the test's own time-out
    }
    if (!ended)
        ::kill(m_pid, SIGKILL);
    rusage usage{};
    ::wait4(m_pid, &status, 0, &usage);
    if (maxRssKb)
        *maxRssKb = usage.ru_maxrss;
    m_pid = -1;
    for (int *fd : {&m_in, &m_out, &m_err})
        if (*fd >= 0) {
            ::close(*fd);
            *fd = -1;
        }
    return ended && WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

TSim::TSim(const std::vector<std::string> &options)
{
    if (!m_process.Start(KV508_SIM_PATH, options))
        return;
    std::string line;
    if (m_process.ReadOutLine(line, 15000) && line.rfind("/dev/", 0) == 0)
        m_path = line;
}

std::string TSim::Console(const std::string &command, const std::string &expect, int timeoutMs)
{
    if (!m_process.Write(command + "\n"))
        return {};
    const auto deadline = Clock::now() + std::chrono::milliseconds(timeoutMs);
    const std::string prefix = "kv508-sim: " + expect;
    std::string line;
    while (m_process.ReadErrLine(line, MsLeft(deadline)))
        if (line.rfind(prefix, 0) == 0)
            return line.substr(std::strlen("kv508-sim: "));
    return {};
}

double TSim::LoopMilliAmps()
{
    const std::string status = Console("status", "pressure");
    const auto at = status.find(", loop ");
    if (at == std::string::npos)
        return std::nan("");
    return std::strtod(status.c_str() + at + 7, nullptr);
}

} // namespace ctltest
