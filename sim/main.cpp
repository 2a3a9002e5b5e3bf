// kv508-sim: a KV508 I transmitter on a pseudo-terminal.
#include "Console.h"
#include "Instrument.h"
#include "Options.h"
#include "PortProbe.h"
#include "PtyPort.h"
#include "SerialLink.h"
#include "Simulator.h"

#include <QApplication>
#include <QSocketNotifier>

#include <cerrno>
#include <csignal>
#include <cstdio>

#include <fcntl.h>
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
    std::fprintf(stderr, "kv508-sim: %s\n", text.toLocal8Bit().constData());
    std::fflush(stderr);
}

// Qt's complaint about a missing runtime directory says nothing about the
// simulator; everything else passes.
void FilterMessages(QtMsgType type, const QMessageLogContext &context, const QString &message)
{
    if (message.startsWith(QLatin1String("QStandardPaths: XDG_RUNTIME_DIR not set")))
        return;
    std::fprintf(stderr, "%s\n", qFormatLogMessage(type, context, message).toLocal8Bit().constData());
}

} // namespace

int main(int argc, char **argv)
{
    QStringList args;
    for (int i = 1; i < argc; ++i)
        args << QString::fromLocal8Bit(argv[i]);
    sim::Options options;
    QString error;
    switch (sim::ParseOptions(args, options, error)) {
    case sim::ParseOutcome::Help:
        std::fputs(sim::HelpText().toLocal8Bit().constData(), stdout);
        return 0;
    case sim::ParseOutcome::Version:
        std::printf("kv508-sim, firmware %u\n", static_cast<unsigned>(sim::FirmwareDateCode));
        return 0;
    case sim::ParseOutcome::Error:
        Say(error + QStringLiteral(" (see --help)"));
        return 2;
    case sim::ParseOutcome::Run: break;
    }

    // The component is a widget; the simulator never shows it.
    qInstallMessageHandler(FilterMessages);
    qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);

    if (!InstallSignals()) {
        Say(QStringLiteral("cannot install the signal handlers"));
        return 1;
    }

    sim::PtyPort pty;
    if (!pty.Open(error)) {
        Say(error);
        return 1;
    }
    if (options.publish) {
        const QString dir = PortProbe::VirtualPortDir(true);
        if (dir.isEmpty())
            Say(QStringLiteral("no usable virtual-port directory; use the device path"));
        else if (!pty.Publish(dir, error))
            Say(error + QStringLiteral("; use the device path"));
    }

    const int master = pty.MasterFd();
    sim::Simulator simulator(options.sim, [master]() -> std::unique_ptr<TMBLink> {
        const int fd = ::fcntl(master, F_DUPFD_CLOEXEC, 0);
        return fd < 0 ? nullptr : MakeFdLink(fd);
    });
    if (options.verbose)
        simulator.OnLog = [](const QString &text) { Say(text); };
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

    std::unique_ptr<QSocketNotifier> console;
    QByteArray pending;
    if (options.stdinCommands) {
        console = std::make_unique<QSocketNotifier>(STDIN_FILENO, QSocketNotifier::Read);
        QObject::connect(console.get(), &QSocketNotifier::activated, [&] {
            char buffer[512];
            const ssize_t n = ::read(STDIN_FILENO, buffer, sizeof buffer);
            if (n <= 0) {
                if (n < 0 && errno == EINTR)
                    return;
                console->setEnabled(false); // end of input, or not ours to read
                return;
            }
            pending.append(buffer, n);
            qsizetype end;
            while ((end = pending.indexOf('\n')) >= 0) {
                const QString line = QString::fromLocal8Bit(pending.left(end));
                pending.remove(0, end + 1);
                Say(sim::ConsoleCommand(simulator, line));
            }
            if (pending.size() > 4096)
                pending.clear();
        });
    }

    std::printf("%s\n", pty.SlavePath().toLocal8Bit().constData());
    std::fflush(stdout);
    Say(QStringLiteral("KV508 I (address %1, ID %2) on %3, port name %4; %5 baud, line time %6%7. Ctrl+C ends.")
            .arg(sim::SimAddress)
            .arg(sim::SimId)
            .arg(pty.SlavePath(), pty.PortName())
            .arg(options.sim.line.baud)
            .arg(options.sim.line.lineTime ? QStringLiteral("on") : QStringLiteral("off"))
            .arg(options.sim.line.faults.Any() ? QStringLiteral(", faults on (seed %1)").arg(options.sim.line.faults.seed)
                                                : QString()));

    const int rc = app.exec();
    simulator.Stop();
    pty.Unpublish();
    Say(QStringLiteral("stopped"));
    return rc;
}
