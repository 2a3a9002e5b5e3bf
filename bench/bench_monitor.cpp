// The line monitor's cost. CPU of the window polling kv508-sim at 4800 baud
// with line timing, with the monitor and the trend never opened, open, and
// hidden again (interleaved rounds, medians); resident memory of 100,000 frames
// in the monitor (a child process of its own); and the window following a line
// at 921,600 baud: frames fed through the component's tap at that pace for a
// minute (past the ring's filling), the event loop's lateness meanwhile.
//
//   bench_monitor [--rounds N] [--round-seconds S] [--fast-seconds S] [--platform P]
//   bench_monitor --memory-child | --fast-child S     (run by the above)
#include "BenchProcess.h"
#include "BenchReport.h"
#include "LineMonitorWindow.h"
#include "Main.h"
#include "MB.h"
#include "MonitorModel.h"
#include "Tools.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QListWidget>
#include <QProcess>
#include <QWindow>

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#ifndef KV508_SIM_PATH
#error "KV508_SIM_PATH names the simulator"
#endif

namespace {

double Median(std::vector<double> v)
{
    if (v.empty())
        return 0;
    std::sort(v.begin(), v.end());
    return v[v.size() / 2];
}

double CpuOver(double seconds)
{
    const double before = bench::CpuMs();
    bench::RunFor(int(seconds * 1000));
    return (bench::CpuMs() - before) / seconds;
}

// An ASCII frame of the instrument's (address 1, ID 39) with its CRC.
std::string Frame(char start, uint8_t command, const std::string &payload)
{
    std::string bytes{char(1), char(39), char(command), char(0)};
    bytes += payload;
    const quint16 crc = TMB::MBCrc16(reinterpret_cast<const quint8 *>(bytes.data()), qsizetype(bytes.size()));
    bytes += char(crc & 0xFF);
    bytes += char(crc >> 8);
    static const char hex[] = "0123456789ABCDEF";
    std::string line(1, start);
    for (char b : bytes) {
        line += hex[(uint8_t(b) >> 4) & 0xF];
        line += hex[uint8_t(b) & 0xF];
    }
    return line + ';';
}

// A poll and its answer, the value moving with n.
std::string Exchange(int n)
{
    std::string live(20, '\0');
    live[8] = 1;                        // decimals
    live[9] = char(n & 0xFF);           // the value's low byte
    live[11] = char(0xA0);              // 4000 uA
    live[12] = char(0x0F);
    return Frame('M', 1, std::string(3, '\0')) + Frame('S', 1, live);
}

TForm1 *ShownForm()
{
    auto *form = new TForm1;
    Form1 = form;
    form->show();
    (void)bench::RunUntil([form] { return form->windowHandle() && form->windowHandle()->isExposed(); }, 20000);
    bench::RunFor(1500); // past the component's first port probe
    return form;
}

void Tap(TForm1 &form, bool tx, const std::string &chars)
{
    form.MB1->OnLineTap(tx, reinterpret_cast<const uint8_t *>(chars.data()), chars.size());
}

int MemoryChild()
{
    TForm1 *form = ShownForm();
    const long before = bench::StatusKb("VmRSS");
    auto *w = qobject_cast<TLineMonitorWindow *>(form->Tools()->Open(TToolWindows::LineMonitor));
    bench::RunFor(500);
    const long empty = bench::StatusKb("VmRSS");
    // As a fast line would bring them: batches, the list following each.
    for (int n = 0; n < 50'000; ++n) {
        const std::string x = Exchange(n);
        Tap(*form, true, x.substr(0, 20));
        Tap(*form, false, x.substr(20));
        if (n % 500 == 499) {
            w->SyncNow();
            QCoreApplication::processEvents();
        }
    }
    bench::RunFor(500);
    const long full = bench::StatusKb("VmRSS");
    const uint64_t frames = w->Ring().End();
    LineReporter::Line("monitor_memory_window_empty", (empty - before) / 1024.0, "MiB");
    LineReporter::Line("monitor_memory_frames_kept", double(w->Ring().Size()), "frames");
    LineReporter::Line("monitor_memory_100k_frames", (full - empty) / 1024.0, "MiB");
    LineReporter::Line("monitor_memory_per_frame", (full - empty) * 1024.0 / double(frames), "bytes");
    LineReporter::Line("memory_resident_with_monitor_100k_frames", full / 1024.0, "MiB");
    return w->Model()->rowCount() == 100'000 ? 0 : 1;
}

int FastChild(double seconds)
{
    TForm1 *form = ShownForm();
    auto *w = qobject_cast<TLineMonitorWindow *>(form->Tools()->Open(TToolWindows::LineMonitor));
    bench::RunFor(500);
    // 921,600 baud, 10 bits a character: what is due is fed every 2 ms, cut
    // anywhere, as a driver hands over what has arrived.
    constexpr double CharsPerMs = 92.16;
    std::string stream;
    for (int n = 0; n < 64; ++n)
        stream += Exchange(n);
    const std::size_t queryChars = Frame('M', 1, std::string(3, '\0')).size();
    const std::size_t exchangeChars = Exchange(0).size();
    QElapsedTimer clock;
    uint64_t fed = 0;
    QTimer feed;
    feed.setTimerType(Qt::PreciseTimer);
    QObject::connect(&feed, &QTimer::timeout, [&] {
        const uint64_t due = uint64_t(double(clock.nsecsElapsed()) / 1e6 * CharsPerMs);
        while (fed < due) {
            const std::size_t at = fed % stream.size();
            const std::size_t inExchange = at % exchangeChars;
            // up to the end of the query or the answer, whichever comes first
            const std::size_t end = inExchange < queryChars ? at - inExchange + queryChars : at - inExchange + exchangeChars;
            const std::size_t n = std::min<uint64_t>(end - at, due - fed);
            Tap(*form, inExchange < queryChars, stream.substr(at, n));
            fed += n;
        }
    });
    // The loop's lateness: a 10 ms timer's excess over 10 ms.
    std::vector<double> late;
    QElapsedTimer probeClock;
    QTimer probe;
    probe.setTimerType(Qt::PreciseTimer);
    QObject::connect(&probe, &QTimer::timeout, [&] {
        late.push_back(std::max(0.0, probeClock.nsecsElapsed() / 1e6 - 10.0));
        probeClock.restart();
    });
    const auto p99 = [](std::vector<double> v) {
        std::sort(v.begin(), v.end());
        return v.empty() ? 0 : v[v.size() * 99 / 100];
    };
    // The same without traffic first: what the machine's load alone costs.
    probeClock.start();
    probe.start(10);
    bench::RunFor(5000);
    const double idleP99 = p99(late);
    late.clear();
    clock.start();
    feed.start(2);
    const double cpu = CpuOver(seconds);
    feed.stop();
    probe.stop();
    std::sort(late.begin(), late.end());
    const double frames = double(w->Ring().End());
    LineReporter::Line("monitor_921600_frames_per_second", frames / seconds, "frames/s");
    LineReporter::Line("monitor_921600_frames_kept", double(w->Model()->rowCount()), "frames");
    LineReporter::Line("monitor_921600_cpu", cpu, "ms CPU/s");
    LineReporter::Line("monitor_921600_loop_late_p99", p99(late), "ms");
    LineReporter::Line("monitor_idle_loop_late_p99", idleP99, "ms");
    LineReporter::Line("monitor_921600_loop_late_max", late.empty() ? 0 : late.back(), "ms");
    return frames > 0 ? 0 : 1;
}

// Runs this program again with args; prints its figures.
bool Child(const QStringList &args)
{
    QProcess p;
    p.setProcessChannelMode(QProcess::ForwardedErrorChannel);
    p.start(QCoreApplication::applicationFilePath(), args);
    if (!p.waitForFinished(300'000))
        return false;
    std::fputs(p.readAllStandardOutput().constData(), stdout);
    std::fflush(stdout);
    return p.exitStatus() == QProcess::NormalExit && p.exitCode() == 0;
}

} // namespace

int main(int argc, char **argv)
{
    const char *platform = "offscreen";
    int rounds = 3;
    double roundSeconds = 8, fastSeconds = 60;
    for (int i = 1; i + 1 < argc; ++i) {
        if (std::strcmp(argv[i], "--platform") == 0)
            platform = argv[i + 1];
        if (std::strcmp(argv[i], "--rounds") == 0)
            rounds = std::max(1, std::atoi(argv[i + 1]));
        if (std::strcmp(argv[i], "--round-seconds") == 0)
            roundSeconds = std::atof(argv[i + 1]);
        if (std::strcmp(argv[i], "--fast-seconds") == 0 || std::strcmp(argv[i], "--fast-child") == 0)
            fastSeconds = std::atof(argv[i + 1]);
    }
    qputenv("QT_QPA_PLATFORM", platform);
    QApplication app(argc, argv);
    if (argc >= 2 && std::strcmp(argv[1], "--memory-child") == 0)
        return MemoryChild();
    if (argc >= 2 && std::strcmp(argv[1], "--fast-child") == 0)
        return FastChild(fastSeconds);

    bool ok = Child({QStringLiteral("--memory-child"), QStringLiteral("--platform"), QString::fromLatin1(platform)});
    ok &= Child({QStringLiteral("--fast-child"), QString::number(fastSeconds), QStringLiteral("--platform"),
                 QString::fromLatin1(platform)});

    bench::Peer sim;
    if (!sim.Start(QStringLiteral(KV508_SIM_PATH), {QStringLiteral("--baud"), QStringLiteral("4800"), QStringLiteral("--no-link"),
                                                    QStringLiteral("--no-stdin")})) {
        std::fprintf(stderr, "bench_monitor: the simulator did not start\n");
        return 1;
    }
    TForm1 *form = ShownForm();
    TMB *mb = form->MB1;
    // The simulator's terminal, not whatever the list chose at start.
    mb->PortList->clear();
    mb->setPort(sim.FirstLine());
    int polls = 0;
    QObject::connect(form, &TForm1::TransactionEnded, [&polls](quint8 command, TMBStatus status) {
        polls += command == TForm1::Cmd_Poll && status == TMB::stOK;
    });
    form->Button_OpenOrCloceSerialPort->click();
    if (!mb->MBPortOpen()) {
        std::fprintf(stderr, "bench_monitor: the port did not open\n");
        return 1;
    }
    bench::RunFor(2000); // the first poll and the settings read

    // Each round: the windows never made, the monitor shown, both shown, both
    // hidden; then gone.
    std::vector<double> closed, monitorOnly, open, hidden;
    const int pollsBefore = polls;
    double measured = 0;
    for (int r = 0; r < rounds; ++r) {
        closed.push_back(CpuOver(roundSeconds));
        form->Tools()->Open(TToolWindows::LineMonitor);
        bench::RunFor(300);
        monitorOnly.push_back(CpuOver(roundSeconds));
        form->Tools()->Open(TToolWindows::LiveTrend);
        bench::RunFor(300);
        open.push_back(CpuOver(roundSeconds));
        form->Tools()->Window(TToolWindows::LineMonitor)->close();
        form->Tools()->Window(TToolWindows::LiveTrend)->close();
        bench::RunFor(300);
        hidden.push_back(CpuOver(roundSeconds));
        delete form->Tools()->Window(TToolWindows::LineMonitor);
        delete form->Tools()->Window(TToolWindows::LiveTrend);
        ok &= !mb->OnLineTap;
        bench::RunFor(300);
        measured += 4 * roundSeconds + 1.2;
    }
    const double pollRate = (polls - pollsBefore) / measured;
    form->Button_OpenOrCloceSerialPort->click();
    LineReporter::Line("cpu_polling_4800_tools_never_opened", Median(closed), "ms CPU/s");
    LineReporter::Line("cpu_polling_4800_monitor_open", Median(monitorOnly), "ms CPU/s");
    LineReporter::Line("cpu_polling_4800_monitor_and_trend_open", Median(open), "ms CPU/s");
    LineReporter::Line("cpu_polling_4800_monitor_and_trend_hidden", Median(hidden), "ms CPU/s");
    LineReporter::Line("cpu_polling_4800_cost_of_open_windows", Median(open) - Median(closed), "ms CPU/s");
    LineReporter::Line("cpu_polling_4800_polls_per_second", pollRate, "polls/s");
    delete form;
    Form1 = nullptr;
    return ok && pollRate > 1 ? 0 : 1;
}
