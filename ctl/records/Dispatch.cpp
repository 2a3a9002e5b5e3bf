#include "Dispatch.h"

#include "Session.h"

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <string>
#include <string_view>
#include <vector>

#if defined(_WIN32)
#include <windows.h>
#else
#include <unistd.h>
#endif

namespace ctl {

namespace {

// The options before the subcommand that take a value as the next word.
bool TakesValue(std::string_view word)
{
    for (const char *o : {"--port", "-p", "--address", "--id", "--baud", "--timeout", "--tries", "--records"})
        if (word == o)
            return true;
    return false;
}

// Where the subcommand stands (0: none, or not records/record/station).
int RecordsWord(int argc, char **argv, bool &afterHelp)
{
    afterHelp = false;
    for (int i = 1; i < argc; ++i) {
        const std::string_view word = argv[i];
        if (TakesValue(word)) {
            ++i;
            continue;
        }
        if (!word.empty() && word[0] == '-')
            continue;
        if (word == "help" && !afterHelp) {
            afterHelp = true;
            continue;
        }
        return word == "records" || word == "record" || word == "station" ? i : 0;
    }
    return 0;
}

#if defined(_WIN32)

std::wstring Beside()
{
    std::wstring self(32768, L'\0');
    const DWORD n = GetModuleFileNameW(nullptr, self.data(), DWORD(self.size()));
    self.resize(n);
    return self.substr(0, self.find_last_of(L"\\/") + 1) + L"kv508ctl-records.exe";
}

// The command line as typed after the program's name, quoting and all.
std::wstring ArgumentsAsTyped()
{
    const wchar_t *line = GetCommandLineW();
    bool quoted = false;
    for (; *line && (quoted || (*line != L' ' && *line != L'\t')); ++line)
        if (*line == L'"')
            quoted = !quoted;
    return line;
}

int Run(const std::vector<std::string> &args, bool afterHelp)
{
    const std::wstring program = Beside();
    std::wstring line = L"\"" + program + L"\"";
    if (afterHelp) { // help records ...: plain words, without "help"
        for (const std::string &a : args)
            line += L" \"" + std::wstring(a.begin(), a.end()) + L"\"";
    } else {
        line += ArgumentsAsTyped(); // as typed: quoting and characters beyond the code page kept
    }
    STARTUPINFOW si{};
    si.cb = sizeof si;
    PROCESS_INFORMATION pi{};
    if (!CreateProcessW(program.c_str(), line.data(), nullptr, nullptr, TRUE, 0, nullptr, nullptr, &si, &pi)) {
        std::fprintf(stderr, "kv508ctl: records, record and station need kv508ctl-records.exe beside kv508ctl.exe, which cannot be run "
                             "(error %lu); install the tool again\n", GetLastError());
        return exitUsage;
    }
    WaitForSingleObject(pi.hProcess, INFINITE);
    DWORD code = exitUsage;
    GetExitCodeProcess(pi.hProcess, &code);
    CloseHandle(pi.hThread);
    CloseHandle(pi.hProcess);
    return int(code);
}

#else

std::string Beside()
{
    std::string self(4096, '\0');
    const ssize_t n = readlink("/proc/self/exe", self.data(), self.size() - 1);
    self.resize(n > 0 ? size_t(n) : 0);
    return self.substr(0, self.find_last_of('/') + 1) + "kv508ctl-records";
}

int Run(std::vector<std::string> args, bool)
{
    const std::string program = Beside();
    args.insert(args.begin(), program);
    std::vector<char *> argv;
    for (std::string &a : args)
        argv.push_back(a.data());
    argv.push_back(nullptr);
    std::fflush(nullptr);
    execv(program.c_str(), argv.data());
    const int error = errno;
    std::fprintf(stderr, "kv508ctl: records, record and station need %s, which cannot be run: %s; install the kv508 package again\n",
                 program.c_str(), std::strerror(error));
    return exitUsage;
}

#endif

} // namespace

std::optional<int> RunRecordsProgram(int argc, char **argv)
{
    bool afterHelp = false;
    const int at = RecordsWord(argc, argv, afterHelp);
    if (at == 0)
        return std::nullopt;
    std::vector<std::string> args;
    for (int i = 1; i < argc; ++i)
        if (!(afterHelp && std::string_view(argv[i]) == "help"))
            args.emplace_back(argv[i]);
    if (afterHelp)
        args.emplace_back("--help");
    return Run(args, afterHelp);
}

} // namespace ctl
