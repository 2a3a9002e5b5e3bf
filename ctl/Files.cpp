#include "Files.h"

#include "Checks.h"
#include "Output.h"
#include "Session.h"

#include <cerrno>
#include <csignal>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <iostream>

#if !defined(_WIN32)
#include <climits>
#include <ctime>
#include <dirent.h>
#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>
#endif

namespace ctl {

namespace {

constexpr std::size_t MaxInputBytes = 1 << 20; // a backup is a few hundred bytes

[[noreturn]] void CannotWrite(const std::string &file, const std::string &why)
{
    throw TFailure(exitUsage, "cannot write " + ShownName(file) + ": " + why);
}

} // namespace

std::string ReadFile(const std::string &file)
{
    std::ifstream in;
    if (file != "-") {
        in.open(file, std::ios::binary);
        if (!in)
            throw TFailure(exitUsage, "cannot read " + ShownName(file) + ": no such file or no permission");
    }
    std::istream &from = file == "-" ? std::cin : in;
    std::string text(MaxInputBytes + 1, '\0');
    from.read(text.data(), static_cast<std::streamsize>(text.size()));
    text.resize(static_cast<std::size_t>(from.gcount()));
    if (text.size() > MaxInputBytes)
        throw TFailure(exitUsage, ShownName(file) + ": larger than 1 MiB, so not a backup of this tool; nothing was written to the instrument");
    return text;
}

#if !defined(_WIN32)

namespace {

// ".kv508.json.kv508ctl-" + six characters of mkostemp: hidden, and ours by name.
constexpr const char *TemporaryMark = ".kv508ctl-";
// A leftover younger than this may be a writer's that has not locked it yet.
constexpr time_t StaleAfterSeconds = 10;

// The path a symbolic link (or a chain of them) leads to, existing or not.
std::string ThroughLinks(const std::string &file)
{
    std::string path = file;
    for (int hops = 0; hops < 40; ++hops) {
        struct stat st {};
        if (::lstat(path.c_str(), &st) != 0 || !S_ISLNK(st.st_mode))
            return path;
        std::string target(PATH_MAX, '\0');
        const ssize_t n = ::readlink(path.c_str(), target.data(), target.size());
        if (n < 0 || std::size_t(n) >= target.size())
            CannotWrite(file, "its symbolic link cannot be read (" + std::string(std::strerror(errno)) + ")");
        target.resize(std::size_t(n));
        const std::filesystem::path link(path);
        path = target.front() == '/' || !link.has_parent_path() ? target : (link.parent_path() / target).string();
    }
    CannotWrite(file, "its symbolic links go round in a loop");
}

// The temporary file of the write under way, for the signal handler.
char g_temporary[PATH_MAX + 1] = {};

extern "C" void RemoveTemporaryAndEnd(int signal)
{
    if (g_temporary[0] != '\0')
        ::unlink(g_temporary);
    ::signal(signal, SIG_DFL);
    ::raise(signal);
}

// While it lives, SIGINT, SIGTERM and SIGHUP remove the temporary file before they end the program.
class TTemporaryGuard
{
public:
    explicit TTemporaryGuard(const std::string &path)
    {
        if (path.size() >= sizeof g_temporary)
            return;
        std::memcpy(g_temporary, path.c_str(), path.size() + 1);
        struct sigaction sa {};
        sa.sa_handler = RemoveTemporaryAndEnd;
        sigemptyset(&sa.sa_mask);
        for (std::size_t i = 0; i < std::size(kSignals); ++i)
            ::sigaction(kSignals[i], &sa, &m_old[i]);
        m_installed = true;
    }
    ~TTemporaryGuard()
    {
        if (!m_installed)
            return;
        for (std::size_t i = 0; i < std::size(kSignals); ++i)
            ::sigaction(kSignals[i], &m_old[i], nullptr);
        g_temporary[0] = '\0';
    }
    TTemporaryGuard(const TTemporaryGuard &) = delete;
    TTemporaryGuard &operator=(const TTemporaryGuard &) = delete;

private:
    static constexpr int kSignals[] = {SIGINT, SIGTERM, SIGHUP};
    struct sigaction m_old[3] {};
    bool m_installed = false;
};

// Leftovers of our own pattern for this target: regular, ours, old, and not
// locked by a writer at work.
int RemoveStaleTemporaries(const std::string &dir, const std::string &base)
{
    const std::string prefix = "." + base + TemporaryMark;
    DIR *d = ::opendir(dir.c_str());
    if (!d)
        return 0;
    int removed = 0;
    const time_t now = std::time(nullptr);
    while (const dirent *e = ::readdir(d)) {
        const std::string name = e->d_name;
        if (name.size() != prefix.size() + 6 || name.compare(0, prefix.size(), prefix) != 0)
            continue;
        const int fd = ::openat(::dirfd(d), name.c_str(), O_RDONLY | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC);
        if (fd < 0)
            continue;
        struct stat st {};
        if (::fstat(fd, &st) == 0 && S_ISREG(st.st_mode) && st.st_uid == ::geteuid() &&
            now - st.st_mtime >= StaleAfterSeconds && ::flock(fd, LOCK_EX | LOCK_NB) == 0 &&
            ::unlinkat(::dirfd(d), name.c_str(), 0) == 0)
            ++removed;
        ::close(fd);
    }
    ::closedir(d);
    return removed;
}

} // namespace

int WriteFileAtomically(const std::string &file, const std::string &content)
{
    if (file == "-") {
        Out(content);
        return 0;
    }
    namespace fs = std::filesystem;
    const std::string target = ThroughLinks(file); // a link's target is replaced (or made), not the link
    struct stat old {};
    const bool exists = ::stat(target.c_str(), &old) == 0;
    if (exists && !S_ISREG(old.st_mode))
        CannotWrite(file, "it is not a regular file");
    const fs::path targetPath(target);
    const std::string dir = targetPath.has_parent_path() ? targetPath.parent_path().string() : std::string(".");
    const std::string base = targetPath.filename().string();
    const int removed = RemoveStaleTemporaries(dir, base);
    std::string temporary = dir + "/." + base + TemporaryMark + "XXXXXX";
    const int fd = ::mkostemp(temporary.data(), O_CLOEXEC); // a fresh name: never a link someone planted
    if (fd < 0)
        CannotWrite(file, std::string(std::strerror(errno)) + "; check the directory exists and is writable");
    TTemporaryGuard guard(temporary);
    ::flock(fd, LOCK_EX); // ours while we write: another run's cleanup leaves it alone
    int err = 0;
    mode_t mode = old.st_mode & 07777;
    if (!exists) { // as a new file would be made: 0666 less the umask
        const mode_t mask = ::umask(0);
        ::umask(mask);
        mode = 0666 & ~mask;
    }
    if (::fchmod(fd, mode) != 0)
        err = errno;
    for (std::size_t done = 0; err == 0 && done < content.size();) {
        const ssize_t n = ::write(fd, content.data() + done, content.size() - done);
        if (n < 0 && errno != EINTR)
            err = errno;
        else if (n > 0)
            done += static_cast<std::size_t>(n);
    }
    if (err == 0 && ::fsync(fd) != 0) // on disk before it replaces the old one
        err = errno;
    if (err == 0 && ::rename(temporary.c_str(), target.c_str()) != 0)
        err = errno;
    if (err != 0)
        ::unlink(temporary.c_str());
    ::close(fd);
    if (err != 0)
        CannotWrite(file, std::strerror(err));
    const int dfd = ::open(dir.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (dfd >= 0) { // and the rename too
        ::fsync(dfd);
        ::close(dfd);
    }
    return removed;
}

std::FILE *OpenAppendOutput(const std::string &file)
{
    // O_NONBLOCK for the open only: a named pipe without a reader then fails at
    // once (ENXIO) instead of waiting, deaf to --duration and Ctrl+C.
    const int fd = ::open(file.c_str(), O_WRONLY | O_APPEND | O_CREAT | O_NONBLOCK | O_NOCTTY | O_CLOEXEC, 0666);
    if (fd < 0) {
        const int e = errno;
        if (e == ENXIO)
            CannotWrite(file, "it is a named pipe that no program reads; start the reader first, or write to a file");
        if (e == EISDIR)
            CannotWrite(file, "it is a directory; give a file in it");
        CannotWrite(file, std::string(std::strerror(e)) + "; check the directory exists and is writable");
    }
    struct stat st {};
    if (::fstat(fd, &st) != 0 || !(S_ISREG(st.st_mode) || S_ISFIFO(st.st_mode) || S_ISCHR(st.st_mode))) {
        ::close(fd);
        CannotWrite(file, "it is not a regular file, a pipe or a terminal");
    }
    // Writes then wait for a slow reader, as they do on standard output.
    ::fcntl(fd, F_SETFL, ::fcntl(fd, F_GETFL) & ~O_NONBLOCK);
    std::FILE *out = ::fdopen(fd, "a");
    if (!out) {
        const int e = errno;
        ::close(fd);
        CannotWrite(file, std::strerror(e));
    }
    return out;
}

#else

int WriteFileAtomically(const std::string &file, const std::string &content)
{
    if (file == "-") {
        Out(content);
        return 0;
    }
    const std::string temporary = file + ".kv508ctl-new";
    {
        std::ofstream out(temporary, std::ios::binary | std::ios::trunc);
        out << content;
        out.flush();
        if (!out) {
            std::error_code ignored;
            std::filesystem::remove(temporary, ignored);
            CannotWrite(file, "check the directory exists and is writable");
        }
    }
    std::error_code error;
    std::filesystem::rename(temporary, file, error);
    if (error) {
        std::filesystem::remove(temporary, error);
        CannotWrite(file, error.message());
    }
    return 0;
}

std::FILE *OpenAppendOutput(const std::string &file)
{
    std::FILE *out = std::fopen(file.c_str(), "a");
    if (!out)
        CannotWrite(file, "check the directory exists and is writable");
    return out;
}

#endif

} // namespace ctl
