// kv508-sim: a KV508 I transmitter on a pseudo-terminal.
#include "Console.h"
#include "Instrument.h"
#include "Options.h"
#include "PortProbe.h"
#include "PtyPort.h"
#include "QtWaitHost.h"
#include "Simulator.h"

#include <kv508/Version.h>

#include <QCoreApplication>
#include <QSocketNotifier>
#include <QTimer>

#include <cerrno>
#include <csignal>
#include <cstdio>
#include <functional>
#include <memory>
#include <optional>

#include <fcntl.h>
#include <sys/prctl.h>
#include <sys/stat.h>
#include <sys/syscall.h>
#include <unistd.h>

namespace {

int g_signalPipe[2] = {-1, -1};

extern "C" void OnSignal(int signal)
{
    const int saved = errno;
    const char byte = static_cast<char>(signal);
    [[maybe_unused]] const ssize_t n = ::write(g_signalPipe[1], &byte, 1);
    errno = saved;
}

bool InstallSignals()
{
    if (::pipe2(g_signalPipe, O_CLOEXEC | O_NONBLOCK) != 0)
        return false;
    struct sigaction sa {};
    sa.sa_handler = OnSignal;
    sigemptyset(&sa.sa_mask);
    sa.sa_flags = SA_RESTART;
    for (int s : {SIGINT, SIGTERM, SIGHUP})
        if (::sigaction(s, &sa, nullptr) != 0)
            return false;
    // A background simulator must not be stopped for touching the terminal;
    // reading it then fails instead, and the console is switched off.
    ::signal(SIGTTIN, SIG_IGN);
    ::signal(SIGPIPE, SIG_IGN);
    return true;
}

void Say(const QString &text)
{
    const QByteArray line = "kv508-sim: " + text.toLocal8Bit() + '\n';
    std::fwrite(line.constData(), 1, static_cast<size_t>(line.size()), stderr); // whole, even past a NUL
    std::fflush(stderr);
}

// Standard output and error lead to the same place (both the terminal).
bool SameFile(int a, int b)
{
    struct stat sa {}, sb {};
    return ::fstat(a, &sa) == 0 && ::fstat(b, &sb) == 0 && sa.st_dev == sb.st_dev && sa.st_ino == sb.st_ino;
}

// A console reply: on standard error after the prefix; a line for programs as
// it is on standard output (where the first line is the path), and on standard
// error only when that is somewhere else.
void Answer(const sim::ConsoleReply &reply)
{
    if (reply.forPrograms) {
        const QByteArray bare = reply.text.toLocal8Bit() + '\n';
        std::fwrite(bare.constData(), 1, static_cast<size_t>(bare.size()), stdout);
        std::fflush(stdout);
        if (SameFile(STDOUT_FILENO, STDERR_FILENO))
            return;
    }
    Say(reply.text);
}

// A console line longer than this is a paste gone wrong, not a command.
constexpr qsizetype kMaxConsoleLine = 4096;

// Commands on standard input, a line each, run as they come; an over-long
// line is ignored whole.
class ConsoleInput
{
public:
    explicit ConsoleInput(sim::Simulator &simulator)
        : m_simulator(simulator), m_notifier(STDIN_FILENO, QSocketNotifier::Read)
    {
        QObject::connect(&m_notifier, &QSocketNotifier::activated, [this] { Read(); });
    }
    ConsoleInput(const ConsoleInput &) = delete;
    ConsoleInput &operator=(const ConsoleInput &) = delete;

private:
    void Read()
    {
        char buffer[512];
        const ssize_t n = ::read(STDIN_FILENO, buffer, sizeof buffer);
        if (n <= 0) {
            if (n < 0 && errno == EINTR)
                return;
            m_notifier.setEnabled(false); // end of input, or not ours to read
            return;
        }
        m_pending.append(buffer, n);
        RunWholeLines();
    }

    void RunWholeLines()
    {
        const QString tooLong = QStringLiteral("console line longer than %1 characters ignored whole; "
                                               "type one command per line")
                                    .arg(kMaxConsoleLine);
        for (;;) {
            const qsizetype end = m_pending.indexOf('\n');
            if (end < 0) {
                // Never run the tail of a line whose head was lost.
                if (m_pending.size() > kMaxConsoleLine) {
                    if (!m_overlong)
                        Say(tooLong);
                    m_overlong = true;
                    m_pending.clear();
                }
                return;
            }
            const QByteArray line = m_pending.left(end);
            m_pending.remove(0, end + 1);
            if (m_overlong || line.size() > kMaxConsoleLine) {
                if (!m_overlong)
                    Say(tooLong);
                m_overlong = false;
                continue;
            }
            Answer(sim::RunConsoleCommand(m_simulator, QString::fromLocal8Bit(line)));
        }
    }

    sim::Simulator &m_simulator;
    QSocketNotifier m_notifier;
    QByteArray m_pending;
    bool m_overlong = false; // the rest of an over-long line is still coming
};

// Watches the process the simulator serves, so that no simulator outlives its
// tool: a pidfd turns readable when the process ends; without pidfd_open
// (kernels before 5.3) the process is asked after once a second.
class PidWatch
{
public:
    explicit PidWatch(pid_t pid) : m_pid(pid) {}
    ~PidWatch()
    {
        m_notifier.reset();
        if (m_fd >= 0)
            ::close(m_fd);
    }
    PidWatch(const PidWatch &) = delete;
    PidWatch &operator=(const PidWatch &) = delete;

    // False with a reason when the process does not run (any more).
    bool Start(std::function<void()> onEnded, QString &error)
    {
        m_onEnded = std::move(onEnded);
        m_fd = static_cast<int>(::syscall(SYS_pidfd_open, m_pid, 0)); // close-on-exec by default
        if (m_fd >= 0) {
            m_notifier = std::make_unique<QSocketNotifier>(m_fd, QSocketNotifier::Read);
            QObject::connect(m_notifier.get(), &QSocketNotifier::activated, [this] { Ended(); });
            return true;
        }
        if (errno == ESRCH || (::kill(m_pid, 0) != 0 && errno == ESRCH)) {
            error = QStringLiteral("--watch-pid: process %1 is not running; start the simulator while it runs").arg(m_pid);
            return false;
        }
        m_poll.setInterval(1000);
        QObject::connect(&m_poll, &QTimer::timeout, [this] {
            if (::kill(m_pid, 0) != 0 && errno == ESRCH)
                Ended();
        });
        m_poll.start();
        return true;
    }

private:
    void Ended()
    {
        if (m_notifier)
            m_notifier->setEnabled(false);
        m_poll.stop();
        Say(QStringLiteral("process %1 ended").arg(m_pid));
        if (m_onEnded)
            m_onEnded();
    }

    pid_t m_pid;
    int m_fd = -1;
    std::unique_ptr<QSocketNotifier> m_notifier;
    QTimer m_poll;
    std::function<void()> m_onEnded;
};

// Qt's complaint about a missing runtime directory says nothing about the
// simulator; everything else passes.
void FilterMessages(QtMsgType type, const QMessageLogContext &context, const QString &message)
{
    if (message.startsWith(QLatin1String("QStandardPaths: XDG_RUNTIME_DIR not set")))
        return;
    std::fprintf(stderr, "%s\n", qFormatLogMessage(type, context, message).toLocal8Bit().constData());
}

// What the options ask for instead of a run: help, the version, or a wrong
// option (exit code 2); nothing for a run.
std::optional<int> EndEarly(sim::ParseOutcome outcome, const QString &error)
{
    switch (outcome) {
    case sim::ParseOutcome::Help:
        std::fputs(sim::HelpText().toLocal8Bit().constData(), stdout);
        return 0;
    case sim::ParseOutcome::Version:
        std::printf("kv508-sim %s\nplays firmware %u\n", KV508_VERSION, static_cast<unsigned>(sim::FirmwareDateCode));
        return 0;
    case sim::ParseOutcome::Error:
        Say(error + QStringLiteral(" (see --help)"));
        return 2;
    case sim::ParseOutcome::Run: break;
    }
    return std::nullopt;
}

// The terminal as kv508sim<N> among the virtual ports; the device path serves without it.
void Publish(sim::PtyPort &pty, const sim::Options &options)
{
    if (!options.publish)
        return;
    QString error;
    const QString dir = QString::fromStdString(PortProbe::VirtualPortDir(true));
    if (dir.isEmpty())
        Say(QStringLiteral("no usable virtual-port directory; use the device path"));
    else if (!pty.Publish(dir, options.adapterSerial, error))
        Say(error + QStringLiteral("; use the device path"));
}

QString Banner(const sim::PtyPort &pty, const sim::Options &options)
{
    const sim::LineConfig &line = options.sim.line;
    return QStringLiteral("KV508 I (address %1, ID %2) on %3, port name %4; %5 baud, line time %6%7. Ctrl+C ends.")
        .arg(kv508::Address)
        .arg(kv508::Id)
        .arg(pty.SlavePath(), pty.PortName())
        .arg(line.baud)
        .arg(line.lineTime ? QStringLiteral("on") : QStringLiteral("off"))
        .arg(line.faults.Any() ? QStringLiteral(", faults on (seed %1)").arg(line.faults.seed) : QString());
}

} // namespace

int main(int argc, char **argv)
{
    QStringList args;
    for (int i = 1; i < argc; ++i)
        args << QString::fromLocal8Bit(argv[i]);
    sim::Options options;
    QString error;
    if (const std::optional<int> code = EndEarly(sim::ParseOptions(args, options, error), error))
        return *code;

    qInstallMessageHandler(FilterMessages);
    QCoreApplication app(argc, argv);

    // Characters are due to the microsecond; the default timer slack (50 us)
    // would make each wake-up that much later.
    ::prctl(PR_SET_TIMERSLACK, 1UL, 0UL, 0UL, 0UL);
    if (!InstallSignals()) {
        Say(QStringLiteral("cannot install the signal handlers"));
        return 1;
    }

    sim::PtyPort pty;
    if (!pty.Open(error)) {
        Say(error);
        return 1;
    }
    Publish(pty, options);

    const int master = pty.MasterFd();
    sim::Simulator simulator(options.sim, [master]() -> std::unique_ptr<TMBLink> {
        const int fd = ::fcntl(master, F_DUPFD_CLOEXEC, 0);
        return fd < 0 ? nullptr : MakeFdLink(fd);
    });
    if (options.verbose)
        simulator.OnLog = [](const QString &text) { Say(text); };
    simulator.OnSaveFailed = [](const QString &text) {
        Say(text + QStringLiteral("; the instrument's memory is not kept (check the --state file and its directory)"));
    };
    if (!simulator.Start(error)) {
        Say(error);
        return 1;
    }

    QSocketNotifier signalNotifier(g_signalPipe[0], QSocketNotifier::Read);
    QObject::connect(&signalNotifier, &QSocketNotifier::activated, [&] {
        char byte = 0;
        while (::read(g_signalPipe[0], &byte, 1) > 0) {
        }
        app.quit();
    });

    std::unique_ptr<PidWatch> watch;
    if (options.watchPid > 0) {
        watch = std::make_unique<PidWatch>(static_cast<pid_t>(options.watchPid));
        if (!watch->Start([&app] { app.quit(); }, error)) {
            Say(error);
            simulator.Stop();
            return 1;
        }
    }

    std::optional<ConsoleInput> console;
    if (options.stdinCommands)
        console.emplace(simulator);

    // The path first, as ever; then where the reference instruments listen.
    std::printf("%s\n", pty.SlavePath().toLocal8Bit().constData());
    if (const sim::References *refs = simulator.Refs()) {
        if (refs->Meter())
            std::printf("meter: tcp:127.0.0.1:%u\n", static_cast<unsigned>(refs->Meter()->Port()));
        if (refs->Controller())
            std::printf("controller: tcp:127.0.0.1:%u\n", static_cast<unsigned>(refs->Controller()->Port()));
    }
    std::fflush(stdout);
    Say(Banner(pty, options));

    int rc = app.exec();
    simulator.Stop();
    pty.Unpublish();
    if (simulator.LastSaveFailed()) {
        Say(QStringLiteral("stopped; the last save of the memory failed, so %1 is not up to date").arg(options.sim.stateFile));
        return rc != 0 ? rc : 1;
    }
    Say(QStringLiteral("stopped"));
    return rc;
}
