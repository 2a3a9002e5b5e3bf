// The tool as a whole: the main window (offscreen) polling kv508-sim at 4800 baud
// with line-time emulation, against the ideal period of the line; CPU time idle
// and while polling, wake-ups per poll, and beside them what the machine charges
// for the same wake-ups (BenchFloors.h); resident memory; start-up to the window
// shown; probe time.
//
// --count-polls N runs only the polling, for counts that do not move with the
// machine's load: exactly N polls, from one end event to the N-th after it,
// between CALLGRIND_START/STOP_INSTRUMENTATION (under `valgrind
// --tool=callgrind --instr-atstart=no`: instructions per poll) and between two
// marks in a system-call trace, failed writes to descriptor -1 that name the
// process's threads (under `strace -f -s 256`: system calls per poll).
// scripts/bench runs both.
//
//   bench_chain [--seconds S] [--idle-seconds S] [--platform P]   the measurement
//                  (offscreen unless P names another platform, e.g. xcb under Xvfb)
//   bench_chain --count-polls N [--platform P]      the counted polls alone
//   bench_chain --startup-child                    builds and shows the window, says "shown"
#include "BenchFloors.h"
#include "BenchProcess.h"
#include "BenchReport.h"
#include "Main.h"
#include "MB.h"
#include "PortProbe.h"
#include "QtWaitHost.h"

#include <QApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QListWidget>
#include <QPushButton>
#include <QWindow>
#include <QTest>

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#if __has_include(<valgrind/callgrind.h>)
#include <valgrind/callgrind.h>
#else
#define CALLGRIND_START_INSTRUMENTATION
#define CALLGRIND_STOP_INSTRUMENTATION
#endif

#ifndef KV508_SIM_PATH
#error "KV508_SIM_PATH names the simulator"
#endif

namespace {

constexpr int kBaud = 4800;
constexpr int kPollChars = 20 + 54; // query and answer of a poll, on the line
constexpr int kTurnaroundMs = 3;     // the simulator's default pause before an answer

double Median(std::vector<double> v)
{
    if (v.empty())
        return 0;
    std::sort(v.begin(), v.end());
    return v[v.size() / 2];
}

double Mean(const std::vector<double> &v)
{
    double sum = 0;
    for (double x : v)
        sum += x;
    return v.empty() ? 0 : sum / double(v.size());
}

// Quits a loop as soon as the window it watches is exposed (first shown on screen).
class ExposeWatcher : public QObject
{
public:
    ExposeWatcher(QWindow *window, QEventLoop *loop) : m_window(window), m_loop(loop) { window->installEventFilter(this); }
    bool eventFilter(QObject *, QEvent *event) override
    {
        if (event->type() == QEvent::Expose)
            QTimer::singleShot(0, m_loop, [this] {
                if (m_window->isExposed())
                    m_loop->quit();
            });
        return false;
    }

private:
    QWindow *m_window;
    QEventLoop *m_loop;
};

int StartupChild(int argc, char **argv)
{
    QApplication app(argc, argv);
    TForm1 window;
    Form1 = &window;
    window.show();
    QEventLoop loop;
    ExposeWatcher watcher(window.windowHandle(), &loop);
    QTimer::singleShot(20000, &loop, &QEventLoop::quit);
    if (!window.windowHandle()->isExposed())
        loop.exec();
    const bool shown = window.windowHandle()->isExposed();
    std::printf("%s\n", shown ? "shown" : "not shown");
    std::fflush(stdout);
    Form1 = nullptr;
    return shown ? 0 : 1;
}

// Process start to window shown, as the parent sees it (fork, exec, loading,
// construction, first exposure), median of a few starts.
double StartupMs(const QString &self)
{
    std::vector<double> times;
    for (int i = 0; i < 5; ++i) {
        QElapsedTimer clock;
        clock.start();
        bench::Peer child;
        if (!child.Start(self, {QStringLiteral("--startup-child")}) || child.FirstLine() != QLatin1String("shown"))
            return -1;
        times.push_back(clock.nsecsElapsed() / 1e6);
        child.Process().waitForFinished(10000);
    }
    return Median(times);
}

// When the window's bytes cross its link: each write, and each read that holds
// an answer's first ('S') or last (';') character.
struct TLineStamps {
    const QElapsedTimer *clock = nullptr;
    std::vector<qint64> writes, answerStarts, answerEnds;
};

// The window's own link, passed through, with its crossings stamped.
class StampLink : public TMBLink
{
public:
    StampLink(std::unique_ptr<TMBLink> inner, TLineStamps &stamps) : m_inner(std::move(inner)), m_stamps(stamps)
    {
        m_inner->OnDataAvailable = [this](uint32_t count) {
            if (OnDataAvailable)
                OnDataAvailable(count);
        };
        m_inner->OnLineEvent = [this](uint32_t mask, uint32_t modem) {
            if (OnLineEvent)
                OnLineEvent(mask, modem);
        };
        m_inner->OnHangUp = [this] {
            if (OnHangUp)
                OnHangUp();
        };
    }
    bool Open(const std::string &port, uint32_t baud, std::string &errorText) override
    {
        return m_inner->Open(port, baud, errorText);
    }
    void Close() override { m_inner->Close(); }
    bool IsOpen() const override { return m_inner->IsOpen(); }
    void ExpectChars(uint32_t count) override { m_inner->ExpectChars(count); }
    bool WriteBytes(const char *data, std::ptrdiff_t count) override
    {
        const bool ok = m_inner->WriteBytes(data, count);
        m_stamps.writes.push_back(m_stamps.clock->nsecsElapsed());
        return ok;
    }
    std::ptrdiff_t ReadBytes(char *buffer, std::ptrdiff_t count) override
    {
        const std::ptrdiff_t n = m_inner->ReadBytes(buffer, count);
        const qint64 now = m_stamps.clock->nsecsElapsed();
        if (n > 0 && std::memchr(buffer, 'S', size_t(n)))
            m_stamps.answerStarts.push_back(now);
        if (n > 0 && std::memchr(buffer, ';', size_t(n)))
            m_stamps.answerEnds.push_back(now);
        return n;
    }

private:
    std::unique_ptr<TMBLink> m_inner;
    TLineStamps &m_stamps;
};

// The first stamp after t (or -1).
qint64 After(const std::vector<qint64> &stamps, qint64 t)
{
    const auto it = std::upper_bound(stamps.begin(), stamps.end(), t);
    return it == stamps.end() ? -1 : *it;
}

// CPU time this process spends over a span of the event loop, in ms per second.
double CpuOver(double seconds)
{
    const double before = bench::CpuMs();
    bench::RunFor(int(seconds * 1000));
    return (bench::CpuMs() - before) / seconds;
}

// A mark in a system-call trace: a write to no descriptor, which strace shows
// with its text. With threads, the text names this process's threads, so that
// the count can leave out the simulator, which `strace -f` follows as well
// (reading them costs system calls: not inside the counted span).
void TraceMark(const char *what, bool threads)
{
    std::string text = what;
    if (threads)
        for (const QString &tid : QDir(QStringLiteral("/proc/self/task")).entryList(QDir::Dirs | QDir::NoDotAndDotDot))
            text += ' ' + tid.toStdString();
    const ssize_t written = ::write(-1, text.data(), text.size());
    (void)written; // fails, as it should
}

// The simulator at the line's pace, on its pseudo-terminal.
bool StartSim(bench::Peer &sim)
{
    if (sim.Start(QStringLiteral(KV508_SIM_PATH), {QStringLiteral("--baud"), QString::number(kBaud)}))
        return true;
    std::fprintf(stderr, "bench_chain: the simulator did not start\n");
    return false;
}

// Shows the window and lets it settle.
void ShowForm(TForm1 &form)
{
    Form1 = &form;
    form.show();
    (void)bench::RunUntil([&form] { return form.windowHandle() && form.windowHandle()->isExposed(); }, 20000);
}

// Opens the simulator's port the way a user does: pick it in the list.
void PickPort(TMB &mb, const QString &simPath)
{
    mb.RefreshPortList();
    bool picked = false;
    for (int i = 0; i < mb.PortList->count(); ++i) {
        if (PortProbe::ResolvePortPath(mb.PortList->item(i)->text().toStdString()) == simPath.toStdString()) {
            mb.PortList->setCurrentRow(i);
            picked = true;
        }
    }
    if (!picked) {
        mb.PortList->clear();
        mb.setPort(simPath);
    }
}

// CPU time idle: the port closed, and a second component with its port open
// and nothing on the line, where the event loop waits on the port and nothing
// else should run.
bool IdleFigures(double idleSeconds)
{
    LineReporter::Line("cpu_window_idle_port_closed", CpuOver(idleSeconds), "ms CPU/s");
    QString path;
    const int peer = bench::OpenPty(path);
    TMB quiet;
    quiet.setMBRefreshListOnStartup(false);
    quiet.setMBMode(TMB::modeASCIIMaster);
    quiet.setPort(path);
    quiet.MBOpenPort();
    const bool ok = quiet.MBPortOpen();
    // Past its start-up step (its first speed tick sets up the panel, its
    // baud list, its fonts), which is no part of waiting idle.
    bench::RunFor(1500);
    LineReporter::Line("cpu_window_idle_plus_component_open_no_traffic", CpuOver(idleSeconds), "ms CPU/s");
    quiet.MBClosePort();
    ::close(peer);
    return ok;
}

void ProbeFigures()
{
    std::vector<double> probes;
    for (int i = 0; i < 20; ++i) {
        QElapsedTimer clock;
        clock.start();
        const PortProbe::TProbeResult found = PortProbe::Probe();
        probes.push_back(clock.nsecsElapsed() / 1e6);
        if (i == 0)
            LineReporter::Line("probe_ports_listed", double(found.ports.size()), "ports");
    }
    LineReporter::Line("probe_time", Median(probes), "ms");
}

// What the machine charges for the same wake-ups, measured while the window is
// idle: the window's figures stand beside these.
void FloorFigures(double idleSeconds)
{
    const double floorSeconds = std::max(idleSeconds, 5.0);
    const bench::TWakeFloor bare = bench::BareCharacterWakeUps(floorSeconds);
    const bench::TWakeFloor qt = bench::QtCharacterWakeUps(floorSeconds);
    const bench::TLatencyFloor latency = bench::WakeLatencies(40);
    LineReporter::Line("floor_wakeups_per_second", bare.wakeUpsPerSecond, "wake-ups/s");
    LineReporter::Line("floor_cpu_bare_poll_read_per_character", bare.cpuMsPerSecond, "ms CPU/s");
    LineReporter::Line("floor_cpu_qt_loop_per_character", qt.cpuMsPerSecond, "ms CPU/s");
    LineReporter::Line("floor_timer_late_after_sleep", latency.timerLateUs / 1000, "ms");
    LineReporter::Line("floor_pty_hop_to_sleeping_reader", latency.ptyHopUs / 1000, "ms");
}

// The window's polling as it happens: each end event (and when the window's
// handler of it returned), each query handed to the port, the link's crossings.
struct TEnd {
    qint64 ns;
    qint64 handledNs; // the window's handler has returned (the next start delay runs)
    quint8 command;
    TMB::TMBStatus status;
};

class TPollRecorder
{
public:
    explicit TPollRecorder(TMB &mb) : m_mb(mb), m_nowChanged(mb.OnMBStatusNowChanged), m_chain(mb.OnMBMasterEndOfEvent)
    {
        m_clock.start();
        line.clock = &m_clock;
        mb.SetLinkFactory([this] { return std::make_unique<StampLink>(MakeSerialLink(), line); });
        mb.OnMBStatusNowChanged = [this](TMB::TMBStatusNow now, const QString &text) {
            if (now == TMB::stnSending)
                sends.push_back(m_clock.nsecsElapsed());
            if (m_nowChanged)
                m_nowChanged(now, text);
        };
        mb.OnMBMasterEndOfEvent = [this](TMB::TMBStatus status, const QString &text) {
            ends.push_back({m_clock.nsecsElapsed(), 0, m_mb.MBMasterCommandToSlave(), status});
            if (m_chain)
                m_chain(status, text);
            ends.back().handledNs = m_clock.nsecsElapsed();
        };
    }
    ~TPollRecorder()
    {
        m_mb.OnMBMasterEndOfEvent = m_chain;
        m_mb.OnMBStatusNowChanged = m_nowChanged;
    }

    std::vector<TEnd> ends;
    std::vector<qint64> sends; // each query handed to the port
    TLineStamps line;

private:
    TMB &m_mb;
    QElapsedTimer m_clock;
    const TMB::TStatusNowChanged m_nowChanged;
    const TMB::TMasterEvent m_chain;
};

// The poll period against the ideal, split into the gap (end event to the next
// query: the 50 ms start delay and the tool's work) and the exchange (query to
// answer accepted: the line, the simulator's turnaround, both programs' handling).
bool PeriodFigures(const TPollRecorder &r, size_t first, size_t last)
{
    const std::vector<TEnd> &ends = r.ends;
    std::vector<double> periods, gaps, exchanges;
    int failed = 0;
    for (size_t i = first + 1; i < last; ++i) {
        if (ends[i].status != TMB::stOK)
            ++failed;
        if (ends[i].command == 1 && ends[i - 1].command == 1 && ends[i].status == TMB::stOK &&
            ends[i - 1].status == TMB::stOK)
            periods.push_back((ends[i].ns - ends[i - 1].ns) / 1e6);
        const auto send = std::upper_bound(r.sends.begin(), r.sends.end(), ends[i - 1].ns);
        if (send == r.sends.end() || *send > ends[i].ns || ends[i].command != 1)
            continue;
        gaps.push_back((*send - ends[i - 1].ns) / 1e6);
        exchanges.push_back((ends[i].ns - *send) / 1e6);
    }
    const double mean = Mean(periods);
    const double ideal = kPollChars * 10.0 * 1000 / kBaud + TForm1::RequestDelay + kTurnaroundMs;
    LineReporter::Line("poll_transactions_measured", double(periods.size()), "polls");
    LineReporter::Line("poll_failed_transactions", double(failed), "transactions");
    LineReporter::Line("poll_period_mean", mean, "ms");
    LineReporter::Line("poll_period_median", Median(periods), "ms");
    LineReporter::Line("poll_period_ideal", ideal, "ms");
    LineReporter::Line("poll_tool_overhead", mean - ideal, "ms");
    // A typical poll: the mean also carries the few the shared machine stalled.
    LineReporter::Line("poll_tool_overhead_median", Median(periods) - ideal, "ms");
    LineReporter::Line("poll_gap_end_to_next_query", Median(gaps), "ms");
    LineReporter::Line("poll_gap_ideal", TForm1::RequestDelay, "ms");
    LineReporter::Line("poll_exchange_query_to_answer", Median(exchanges), "ms");
    LineReporter::Line("poll_exchange_ideal", kPollChars * 10.0 * 1000 / kBaud + kTurnaroundMs, "ms");
    return !periods.empty() && failed == 0;
}

// Where the overhead goes. The gap: the window's handler of the end event
// (reading and showing the answer), then the start delay until the query is
// written. The exchange: query written to the answer's first character read
// (the query's line time, the simulator's turnaround and its first character),
// to its last character read, to the end event. Each part's mean excess over
// its ideal: together they make up the overhead (the same polls, bar the few
// whose stamps are incomplete).
void SplitFigures(const TPollRecorder &r, size_t first, size_t last)
{
    const std::vector<TEnd> &ends = r.ends;
    std::vector<double> handler, delay, toFirst, firstToLast, lastToEnd;
    for (size_t i = first + 1; i < last; ++i) {
        if (ends[i].command != 1 || ends[i - 1].command != 1 || ends[i].status != TMB::stOK)
            continue;
        const qint64 write = After(r.line.writes, ends[i - 1].handledNs);
        const qint64 start = After(r.line.answerStarts, write);
        const qint64 stop = After(r.line.answerEnds, start);
        if (write < 0 || start < 0 || stop < 0 || stop > ends[i].ns)
            continue;
        handler.push_back((ends[i - 1].handledNs - ends[i - 1].ns) / 1e6);
        delay.push_back((write - ends[i - 1].handledNs) / 1e6);
        toFirst.push_back((start - write) / 1e6);
        firstToLast.push_back((stop - start) / 1e6);
        lastToEnd.push_back((ends[i].ns - stop) / 1e6);
    }
    const double charMs = 10.0 * 1000 / kBaud;
    LineReporter::Line("poll_split_polls", double(handler.size()), "polls");
    LineReporter::Line("poll_split_gap_window_handler", Mean(handler), "ms");
    LineReporter::Line("poll_split_gap_start_delay_late", Mean(delay) - TForm1::RequestDelay, "ms");
    LineReporter::Line("poll_split_exchange_first_char_late", Mean(toFirst) - (21 * charMs + kTurnaroundMs), "ms");
    LineReporter::Line("poll_split_exchange_last_char_late", Mean(firstToLast) - 53 * charMs, "ms");
    LineReporter::Line("poll_split_exchange_last_char_to_end_event", Mean(lastToEnd), "ms");
}

// The window polling the simulator for `seconds`: period, split, CPU,
// wake-ups, memory.
bool PollingFigures(TForm1 &form, const QString &simPath, double seconds)
{
    TMB &mb = *form.MB1;
    PickPort(mb, simPath);
    bool ok = true;
    size_t first = 0, last = 0;
    double cpuPolling = 0;
    long wakeUps = 0, rss = 0, hwm = 0;
    {
        TPollRecorder recorder(mb);
        form.Button_OpenOrCloceSerialPort->click();
        ok &= mb.MBPortOpen();
        bench::RunFor(2000); // the first poll and the settings read
        first = recorder.ends.size();
        const long wakeUpsBefore = bench::ThreadWakeUps();
        cpuPolling = CpuOver(seconds);
        last = recorder.ends.size();
        wakeUps = bench::ThreadWakeUps() - wakeUpsBefore;
        rss = bench::StatusKb("VmRSS");
        hwm = bench::StatusKb("VmHWM");
        form.Button_OpenOrCloceSerialPort->click();
        ok &= PeriodFigures(recorder, first, last);
        SplitFigures(recorder, first, last);
    }
    LineReporter::Line("cpu_window_polling_4800", cpuPolling, "ms CPU/s");
    const double polls = double(last - first);
    LineReporter::Line("poll_window_wakeups", polls > 0 ? double(wakeUps) / polls : 0, "per poll");
    LineReporter::Line("poll_window_cpu", polls > 0 ? cpuPolling * seconds / polls : 0, "ms per poll");
    LineReporter::Line("memory_resident_polling", rss / 1024.0, "MiB");
    LineReporter::Line("memory_resident_peak", hwm / 1024.0, "MiB");
    return ok;
}

// --count-polls: the window polling, N polls counted from one end event to the
// N-th after it, past the first polls and the settings read. Each end event's
// handler falls in the count once. Prints how many were counted and whether
// all were polls answered.
int CountPolls(int argc, char **argv, int polls)
{
    QApplication app(argc, argv);
    TForm1 form;
    ShowForm(form);
    bench::Peer sim;
    if (!StartSim(sim))
        return 1;
    TMB &mb = *form.MB1;
    PickPort(mb, sim.FirstLine());

    constexpr int kSkipped = 8; // the settings read and the first polls: about 1.7 s
    int seen = 0, counted = 0, unanswered = 0;
    bool counting = false;
    QEventLoop loop;
    const auto chain = mb.OnMBMasterEndOfEvent;
    mb.OnMBMasterEndOfEvent = [&](TMB::TMBStatus status, const QString &text) {
        if (counting) {
            ++counted;
            if (status != TMB::stOK || mb.MBMasterCommandToSlave() != 1)
                ++unanswered;
            if (counted == polls) {
                CALLGRIND_STOP_INSTRUMENTATION;
                TraceMark("kv-count-stop", false);
                TraceMark("kv-count-threads", true); // the same as at the start, or the count misses some
                counting = false;
                loop.quit();
            }
        } else if (seen++ == kSkipped) {
            TraceMark("kv-count-start", true);
            CALLGRIND_START_INSTRUMENTATION;
            counting = true;
        }
        if (chain)
            chain(status, text);
    };
    form.Button_OpenOrCloceSerialPort->click();
    const bool opened = mb.MBPortOpen();
    // Slow under valgrind, but each poll ends within its answer time-out.
    QTimer::singleShot((kSkipped + polls) * 5000 + 60000, &loop, &QEventLoop::quit);
    if (opened)
        loop.exec();
    form.Button_OpenOrCloceSerialPort->click();
    mb.OnMBMasterEndOfEvent = chain;
    Form1 = nullptr;
    LineReporter::Line("count_polls", double(counted), "polls");
    LineReporter::Line("count_polls_unanswered", double(unanswered), "polls");
    if (!opened || counted != polls || unanswered != 0) {
        std::fprintf(stderr, "bench_chain: %d of %d polls counted, %d not answered%s\n", counted, polls, unanswered,
                     opened ? "" : "; the port did not open");
        return 1;
    }
    return 0;
}

} // namespace

int main(int argc, char **argv)
{
    const char *platform = "offscreen";
    double seconds = 30, idleSeconds = 10;
    int countPolls = 0;
    for (int i = 1; i + 1 < argc; ++i) {
        if (std::strcmp(argv[i], "--platform") == 0)
            platform = argv[i + 1];
        if (std::strcmp(argv[i], "--seconds") == 0)
            seconds = std::atof(argv[i + 1]);
        if (std::strcmp(argv[i], "--idle-seconds") == 0)
            idleSeconds = std::atof(argv[i + 1]);
        if (std::strcmp(argv[i], "--count-polls") == 0)
            countPolls = std::atoi(argv[i + 1]);
    }
    qputenv("QT_QPA_PLATFORM", platform);
    if (argc >= 2 && std::strcmp(argv[1], "--startup-child") == 0)
        return StartupChild(argc, argv);
    if (countPolls > 0)
        return CountPolls(argc, argv, countPolls);

    QApplication app(argc, argv);
    const QString self = QCoreApplication::applicationFilePath();
    bool ok = true;

    const double startup = StartupMs(self);
    LineReporter::Line("startup_to_window_shown", startup, "ms");
    ok &= startup > 0;

    TForm1 form;
    ShowForm(form);
    bench::RunFor(1500); // past the component's start-up step (its first port probe)
    ok &= IdleFigures(idleSeconds);

    bench::Peer sim;
    if (!StartSim(sim))
        return 1;
    ProbeFigures();
    FloorFigures(idleSeconds);
    ok &= PollingFigures(form, sim.FirstLine(), seconds);
    Form1 = nullptr;
    return ok ? 0 : 1;
}
