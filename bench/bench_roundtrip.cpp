// Round trips over a kernel pseudo-terminal pair, two processes per pair:
//  - the portable engine (mbcore::TMBEngine) as master, chaining MBMasterStart(0)
//    from its end event, against the engine as slave (ASCII and binary framing;
//    the poll: 3 bytes out, 20 bytes back). Each side is a QCoreApplication with
//    Qt timers and the serial link waiting in Qt's event loop: no widgets;
//  - the same engines on the host-neutral event loop (TEventLoop, the serial
//    link waiting in it), as kv508ctl runs the engine: the core without Qt's loop;
//  - libmodbus's RTU client reading 10 registers (20 bytes) from libmodbus's RTU
//    server on the same kind of pair, as the reference.
// libmodbus is only the yardstick here; nothing of it goes into the product.
//
//   bench_roundtrip [--seconds S] [--pin]     the measurement (prints figures); with
//                                             --pin every master runs on the first CPU and
//                                             every peer on the second, so that both
//                                             contenders' pairs sit alike
//                                             (a round's ratio then spreads less)
//   bench_roundtrip --core-slave ascii|binary  the engine peer (prints its line's path)
//   bench_roundtrip --loop-slave ascii|binary  the same on the host-neutral loop
//   bench_roundtrip --modbus-server            the libmodbus peer (prints its line's path)
#include "BenchProcess.h"
#include "BenchReport.h"
#include "EventLoop.h"
#include "LoopTimers.h"
#include "LoopWaitHost.h"
#include "MBEngine.h"
#include "QtTimers.h"
#include "QtWaitHost.h"
#include "SerialLink.h"

#include <QCoreApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QTimer>

#include <modbus/modbus.h>

#include <algorithm>
#include <cerrno>
#include <csignal>
#include <cstdio>
#include <cstring>
#include <vector>

#include <poll.h>
#include <sched.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

namespace {

constexpr uint8_t kAddress = 1;
constexpr uint8_t kId = 39;
constexpr int kRegisters = 10; // 20 bytes, as a poll's answer

// ---- the peers -----------------------------------------------------------------------

// The slave's settings, the same on either host.
bool StartSlave(mbcore::TMBEngine &mb, bool binary)
{
    mb.setMBRefreshListOnStartup(false);
    mb.setMBMode(binary ? mbcore::modeSlave : mbcore::modeASCIISlave);
    mb.setMBSlaveOwnAddress(kAddress);
    mb.setMBSlaveID(kId);
    mb.setMBASCIISlaveTimeOut(0);
    mb.setMBBaud(mbcore::baud115200);
    mb.OnMBSlaveReceivedCommand = [&mb](uint8_t, bool, uint16_t) {
        for (int i = 0; i < 2 * kRegisters; ++i)
            mb.MBPutByte(uint8_t(i));
    };
    mb.MBOpenPort();
    if (!mb.MBPortOpen()) {
        std::fprintf(stderr, "core slave: %s\n", mb.LastOpenError().c_str());
        return false;
    }
    return true;
}

int CoreSlave(int argc, char **argv, bool binary)
{
    QCoreApplication app(argc, argv);
    QString path;
    const int fd = bench::OpenPty(path);
    if (fd < 0) {
        std::perror("pty");
        return 1;
    }
    mbcore::TMBEngine mb;
    mb.SetTimerFactory(QtTimerFactory());
    mb.SetLinkFactory([fd] { return MakeFdLink(fd); });
    if (!StartSlave(mb, binary))
        return 1;
    std::printf("%s\n", qPrintable(path));
    std::fflush(stdout);
    return app.exec();
}

int LoopSlave(bool binary)
{
    QString path;
    const int fd = bench::OpenPty(path);
    if (fd < 0) {
        std::perror("pty");
        return 1;
    }
    TEventLoop loop;
    TLoopWaitHost host(loop);
    mbcore::TMBEngine mb;
    mb.SetTimerFactory(LoopTimers(loop));
    mb.SetLinkFactory([&host, fd] { return std::make_unique<TSerialLink>(host, fd); });
    if (!StartSlave(mb, binary))
        return 1;
    std::printf("%s\n", qPrintable(path));
    std::fflush(stdout);
    loop.Run();
    return 0;
}

int ModbusServer()
{
    QString path;
    const int fd = bench::OpenPty(path);
    if (fd < 0) {
        std::perror("pty");
        return 1;
    }
    // Keep the slave side open ourselves, so the line stays up between the
    // client's open and close.
    const int keep = ::open(path.toLocal8Bit().constData(), O_RDWR | O_NOCTTY | O_CLOEXEC);
    (void)keep;
    modbus_t *ctx = modbus_new_rtu("/dev/null", 115200, 'N', 8, 1);
    modbus_set_slave(ctx, kAddress);
    modbus_set_socket(ctx, fd);
    modbus_mapping_t *map = modbus_mapping_new(0, 0, kRegisters, 0);
    for (int i = 0; i < kRegisters; ++i)
        map->tab_registers[i] = uint16_t(i * 257);
    std::printf("%s\n", qPrintable(path));
    std::fflush(stdout);
    uint8_t query[MODBUS_RTU_MAX_ADU_LENGTH];
    for (;;) {
        const int n = modbus_receive(ctx, query);
        if (n > 0)
            modbus_reply(ctx, query, n, map);
        else if (n < 0 && errno != EMBBADCRC && errno != ETIMEDOUT)
            break;
    }
    return 0;
}

// ---- the measurements ------------------------------------------------------------------

struct TResult {
    double perSecond = 0;
    qint64 done = 0;
    qint64 errors = 0;
    long switches = 0;     // voluntary context switches of the master's process
    long peerSwitches = 0; // the same for the peer's process
    double cpuMs = 0;      // CPU time of the master's process
    double peerCpuMs = 0;  // the same for the peer's process
};

long VoluntarySwitches()
{
    rusage u{};
    getrusage(RUSAGE_SELF, &u);
    return u.ru_nvcsw;
}

// Every thread of another process, from /proc (getrusage sees only our own).
long VoluntarySwitches(qint64 pid)
{
    long sum = 0;
    const QDir tasks(QStringLiteral("/proc/%1/task").arg(pid));
    for (const QString &task : tasks.entryList(QDir::Dirs | QDir::NoDotAndDotDot)) {
        QFile f(tasks.filePath(task) + QStringLiteral("/status"));
        if (!f.open(QIODevice::ReadOnly))
            continue;
        for (const QByteArray &line : f.readAll().split('\n'))
            if (line.startsWith("voluntary_ctxt_switches:"))
                sum += line.mid(24).trimmed().toLong();
    }
    return sum;
}

// CPU time (user and system) of another process so far, in ms (clock ticks).
double CpuMs(qint64 pid)
{
    QFile f(QStringLiteral("/proc/%1/stat").arg(pid));
    if (!f.open(QIODevice::ReadOnly))
        return 0;
    const QByteArray stat = f.readAll();
    // the fields after the command's closing parenthesis; utime and stime are the 12th and 13th
    const QList<QByteArray> fields = stat.mid(stat.lastIndexOf(')') + 2).split(' ');
    if (fields.size() < 13)
        return 0;
    return (fields[11].toDouble() + fields[12].toDouble()) * 1000.0 / double(sysconf(_SC_CLK_TCK));
}

// A peer process that prints its line's path first. Unlike a QProcess it
// leaves nothing of its own in our event loop (no pipe, no exit watch): the
// engine's loop then waits on its line alone, as libmodbus's client does.
// Where peers run (-1: where the scheduler puts them).
int g_peerCpu = -1;

void PinTo(int cpu)
{
    cpu_set_t set;
    CPU_ZERO(&set);
    CPU_SET(cpu, &set);
    sched_setaffinity(0, sizeof set, &set);
}

class RawPeer
{
public:
    ~RawPeer() { Stop(); }
    bool Start(const QString &program, const QStringList &args)
    {
        int out[2];
        if (::pipe2(out, O_CLOEXEC) != 0)
            return false;
        std::vector<QByteArray> argv8{program.toLocal8Bit()};
        for (const QString &a : args)
            argv8.push_back(a.toLocal8Bit());
        std::vector<char *> argv;
        for (QByteArray &a : argv8)
            argv.push_back(a.data());
        argv.push_back(nullptr);
        m_pid = ::fork();
        if (m_pid == 0) {
            if (g_peerCpu >= 0)
                PinTo(g_peerCpu);
            ::dup2(out[1], STDOUT_FILENO);
            ::execv(argv[0], argv.data());
            ::_exit(127);
        }
        ::close(out[1]);
        if (m_pid < 0) {
            ::close(out[0]);
            return false;
        }
        QByteArray line;
        char c;
        pollfd p{out[0], POLLIN, 0};
        while (::poll(&p, 1, 20000) > 0 && ::read(out[0], &c, 1) == 1 && c != '\n')
            line.append(c);
        ::close(out[0]); // the peer prints nothing more
        m_line = QString::fromLocal8Bit(line).trimmed();
        return !m_line.isEmpty();
    }
    QString FirstLine() const { return m_line; }
    qint64 Pid() const { return m_pid; }
    void Stop()
    {
        if (m_pid <= 0)
            return;
        ::kill(m_pid, SIGTERM);
        ::waitpid(m_pid, nullptr, 0);
        m_pid = -1;
    }

private:
    pid_t m_pid = -1;
    QString m_line;
};

// The engine as master on a line to a peer process, chaining polls from its
// end event; in Qt's event loop, or on the host-neutral loop.
class CoreMaster
{
public:
    explicit CoreMaster(bool plainLoop = false) : m_plainLoop(plainLoop), m_host(m_loop) {}

    bool Start(const QString &program, const QStringList &args, bool binary)
    {
        if (!m_peer.Start(program, args))
            return false;
        if (m_plainLoop) {
            m_mb.SetTimerFactory(LoopTimers(m_loop));
            m_mb.SetLinkFactory([this] { return std::make_unique<TSerialLink>(m_host); });
        } else {
            m_mb.SetTimerFactory(QtTimerFactory());
            m_mb.SetLinkFactory([] { return MakeSerialLink(); });
        }
        m_mb.setMBRefreshListOnStartup(false);
        m_mb.setMBMode(binary ? mbcore::modeMaster : mbcore::modeASCIIMaster);
        m_mb.setMBBaud(mbcore::baud115200);
        m_mb.setPort(m_peer.FirstLine().toStdString());
        m_mb.setMBMasterAddressToSlave(kAddress);
        m_mb.setMBMasterIDToSlave(kId);
        m_mb.MBOpenPort();
        if (!m_mb.MBPortOpen()) {
            std::fprintf(stderr, "core master: %s\n", m_mb.LastOpenError().c_str());
            return false;
        }
        // Open only while measured, so that the event loop of one measurement
        // waits on its own line alone.
        m_mb.MBClosePort();
        return true;
    }

    ~CoreMaster()
    {
        m_mb.OnMBMasterEndOfEvent = nullptr;
        m_mb.MBClosePort();
    }

    TResult Measure(double seconds)
    {
        TResult r;
        m_mb.MBOpenPort();
        if (!m_mb.MBPortOpen())
            return r;
        QEventLoop loop;
        bool finished = false;
        QElapsedTimer clock;
        qint64 warm = 200;
        long switchesBefore = 0, peerBefore = 0;
        double cpuBefore = 0, peerCpuBefore = 0;
        bool measuring = false;
        auto start = [this] {
            m_mb.setMBMasterCommandToSlave(1);
            m_mb.MBClearTxData();
            m_mb.MBPutByte(0);
            m_mb.MBPutWord(4000);
            m_mb.MBMasterStart(0);
        };
        m_mb.OnMBMasterEndOfEvent = [&](mbcore::TMBStatus status, const std::string &) {
            if (status != mbcore::stOK || m_mb.MBReceivedDataNumber() != 2 * kRegisters)
                ++r.errors;
            if (!measuring) {
                if (--warm == 0) {
                    measuring = true;
                    peerBefore = VoluntarySwitches(m_peer.Pid());
                    peerCpuBefore = CpuMs(m_peer.Pid());
                    switchesBefore = VoluntarySwitches();
                    cpuBefore = bench::CpuMs();
                    clock.start();
                }
            } else {
                ++r.done;
                if (clock.elapsed() >= seconds * 1000) {
                    r.perSecond = r.done * 1e9 / clock.nsecsElapsed();
                    r.switches = VoluntarySwitches() - switchesBefore;
                    r.cpuMs = bench::CpuMs() - cpuBefore;
                    r.peerSwitches = VoluntarySwitches(m_peer.Pid()) - peerBefore;
                    r.peerCpuMs = CpuMs(m_peer.Pid()) - peerCpuBefore;
                    m_mb.OnMBMasterEndOfEvent = nullptr;
                    finished = true;
                    loop.quit();
                    return;
                }
            }
            start();
        };
        const int deadlineMs = int(seconds * 1000) + 20000;
        if (m_plainLoop) {
            m_loop.Post(start);
            (void)m_loop.RunUntil([&finished] { return finished; }, deadlineMs);
        } else {
            QTimer::singleShot(0, start);
            QTimer guard;
            guard.setSingleShot(true);
            QObject::connect(&guard, &QTimer::timeout, &loop, &QEventLoop::quit);
            guard.start(deadlineMs);
            loop.exec();
        }
        m_mb.OnMBMasterEndOfEvent = nullptr;
        m_mb.MBClosePort();
        return r;
    }

private:
    const bool m_plainLoop;
    TEventLoop m_loop;
    TLoopWaitHost m_host;
    RawPeer m_peer;
    mbcore::TMBEngine m_mb; // last: its link waits in m_host
};

class ModbusClient
{
public:
    bool Start(const QString &self)
    {
        if (!m_peer.Start(self, {QStringLiteral("--modbus-server")}))
            return false;
        m_ctx = modbus_new_rtu(m_peer.FirstLine().toLocal8Bit().constData(), 115200, 'N', 8, 1);
        modbus_set_slave(m_ctx, kAddress);
        if (modbus_connect(m_ctx) != 0) {
            std::fprintf(stderr, "modbus client: %s\n", modbus_strerror(errno));
            modbus_free(m_ctx);
            m_ctx = nullptr;
            return false;
        }
        return true;
    }

    ~ModbusClient()
    {
        if (!m_ctx)
            return;
        modbus_close(m_ctx);
        modbus_free(m_ctx);
    }

    TResult Measure(double seconds)
    {
        TResult r;
        if (!m_ctx)
            return r;
        uint16_t regs[kRegisters];
        for (int i = 0; i < 200; ++i)
            r.errors += modbus_read_registers(m_ctx, 0, kRegisters, regs) != kRegisters;
        QElapsedTimer clock;
        clock.start();
        const long peerBefore = VoluntarySwitches(m_peer.Pid());
        const double peerCpuBefore = CpuMs(m_peer.Pid());
        const long switchesBefore = VoluntarySwitches();
        const double cpuBefore = bench::CpuMs();
        while (clock.elapsed() < seconds * 1000) {
            r.errors += modbus_read_registers(m_ctx, 0, kRegisters, regs) != kRegisters;
            ++r.done;
        }
        r.perSecond = r.done * 1e9 / clock.nsecsElapsed();
        r.switches = VoluntarySwitches() - switchesBefore;
        r.cpuMs = bench::CpuMs() - cpuBefore;
        r.peerSwitches = VoluntarySwitches(m_peer.Pid()) - peerBefore;
        r.peerCpuMs = CpuMs(m_peer.Pid()) - peerCpuBefore;
        return r;
    }

private:
    RawPeer m_peer;
    modbus_t *m_ctx = nullptr;
};

// Rounds of one measurement, summed and their rates kept.
struct TSeries {
    std::vector<double> rates;
    qint64 done = 0, errors = 0;
    long switches = 0, peerSwitches = 0;
    double cpuMs = 0, peerCpuMs = 0;
    bool failed = false;

    void Add(const TResult &r)
    {
        failed |= r.perSecond <= 0;
        rates.push_back(r.perSecond);
        done += r.done;
        errors += r.errors;
        switches += r.switches;
        peerSwitches += r.peerSwitches;
        cpuMs += r.cpuMs;
        peerCpuMs += r.peerCpuMs;
    }
    double Median() const
    {
        std::vector<double> v = rates;
        std::sort(v.begin(), v.end());
        return v.empty() ? 0 : v[v.size() / 2];
    }
    double Switches() const { return done > 0 ? double(switches) / done : 0; }
    double PeerSwitches() const { return done > 0 ? double(peerSwitches) / done : 0; }
    double CpuUs() const { return done > 0 ? cpuMs * 1000 / done : 0; }
    double PeerCpuUs() const { return done > 0 ? peerCpuMs * 1000 / done : 0; }
};

double MedianRatio(const TSeries &a, const TSeries &b)
{
    std::vector<double> v;
    for (size_t i = 0; i < a.rates.size() && i < b.rates.size(); ++i)
        if (b.rates[i] > 0)
            v.push_back(a.rates[i] / b.rates[i]);
    std::sort(v.begin(), v.end());
    return v.empty() ? 0 : v[v.size() / 2];
}

} // namespace

int main(int argc, char **argv)
{
    if (argc >= 3 && std::strcmp(argv[1], "--core-slave") == 0)
        return CoreSlave(argc, argv, std::strcmp(argv[2], "binary") == 0);
    if (argc >= 3 && std::strcmp(argv[1], "--loop-slave") == 0)
        return LoopSlave(std::strcmp(argv[2], "binary") == 0);
    if (argc >= 2 && std::strcmp(argv[1], "--modbus-server") == 0)
        return ModbusServer();

    double seconds = 3;
    bool pin = false;
    for (int i = 1; i < argc; ++i) {
        if (i + 1 < argc && std::strcmp(argv[i], "--seconds") == 0)
            seconds = std::atof(argv[i + 1]);
        pin |= std::strcmp(argv[i], "--pin") == 0;
    }
    if (pin && sysconf(_SC_NPROCESSORS_ONLN) >= 2) {
        PinTo(0);
        g_peerCpu = 1;
    }
    QCoreApplication app(argc, argv);
    const QString self = QCoreApplication::applicationFilePath();

    // Rounds of a quarter of a second for each, measuring them side by side, so
    // that a change of load on the shared machine weighs on every figure of a
    // round alike; the figures are medians over the rounds, the ratios medians
    // of each round's ratio.
    const int rounds = std::max(1, int(seconds * 4 + 0.5));
    const double each = seconds / rounds;
    CoreMaster asciiMaster, binaryMaster, simMaster;
    CoreMaster asciiLoopMaster(true), binaryLoopMaster(true);
    ModbusClient modbusClient;
    bool started = asciiMaster.Start(self, {QStringLiteral("--core-slave"), QStringLiteral("ascii")}, false);
    started &= binaryMaster.Start(self, {QStringLiteral("--core-slave"), QStringLiteral("binary")}, true);
    started &= asciiLoopMaster.Start(self, {QStringLiteral("--loop-slave"), QStringLiteral("ascii")}, false);
    started &= binaryLoopMaster.Start(self, {QStringLiteral("--loop-slave"), QStringLiteral("binary")}, true);
    started &= modbusClient.Start(self);
    // The same master against the instrument simulator with its line emulation off.
    started &= simMaster.Start(QStringLiteral(KV508_SIM_PATH),
                               {QStringLiteral("--no-line-time"), QStringLiteral("--no-link"),
                                QStringLiteral("--no-stdin")},
                               false);
    if (!started) {
        std::fprintf(stderr, "bench_roundtrip: a peer did not start\n");
        return 1;
    }
    TSeries ascii, binary, modbus, sim, asciiLoop, binaryLoop;
    for (int i = 0; i < rounds; ++i) {
        ascii.Add(asciiMaster.Measure(each));
        modbus.Add(modbusClient.Measure(each));
        binary.Add(binaryMaster.Measure(each));
        sim.Add(simMaster.Measure(each));
        asciiLoop.Add(asciiLoopMaster.Measure(each));
        binaryLoop.Add(binaryLoopMaster.Measure(each));
    }

    LineReporter::Line("roundtrip_rounds", rounds, "rounds");
    LineReporter::Line("roundtrip_core_ascii", ascii.Median(), "round trips/s");
    LineReporter::Line("roundtrip_core_binary", binary.Median(), "round trips/s");
    LineReporter::Line("roundtrip_libmodbus_rtu", modbus.Median(), "round trips/s");
    LineReporter::Line("roundtrip_core_ascii_vs_simulator", sim.Median(), "round trips/s");
    LineReporter::Line("roundtrip_ratio_core_ascii_to_libmodbus", MedianRatio(ascii, modbus), "x");
    LineReporter::Line("roundtrip_ratio_core_binary_to_libmodbus", MedianRatio(binary, modbus), "x");
    // The core on the host-neutral loop: the same engines without Qt's event loop.
    LineReporter::Line("roundtrip_core_ascii_plain_loop", asciiLoop.Median(), "round trips/s");
    LineReporter::Line("roundtrip_core_binary_plain_loop", binaryLoop.Median(), "round trips/s");
    LineReporter::Line("roundtrip_ratio_core_ascii_plain_loop_to_libmodbus", MedianRatio(asciiLoop, modbus), "x");
    LineReporter::Line("roundtrip_ratio_core_binary_plain_loop_to_libmodbus", MedianRatio(binaryLoop, modbus), "x");
    LineReporter::Line("roundtrip_thread_switches_core_ascii_plain_loop_master", asciiLoop.Switches(), "per round trip");
    LineReporter::Line("roundtrip_thread_switches_core_ascii_plain_loop_slave", asciiLoop.PeerSwitches(), "per round trip");
    LineReporter::Line("roundtrip_cpu_core_ascii_plain_loop_master", asciiLoop.CpuUs(), "us per round trip");
    LineReporter::Line("roundtrip_cpu_core_ascii_plain_loop_slave", asciiLoop.PeerCpuUs(), "us per round trip");
    LineReporter::Line("roundtrip_thread_switches_core_ascii_master", ascii.Switches(), "per round trip");
    LineReporter::Line("roundtrip_thread_switches_core_ascii_slave", ascii.PeerSwitches(), "per round trip");
    LineReporter::Line("roundtrip_thread_switches_core_binary_master", binary.Switches(), "per round trip");
    LineReporter::Line("roundtrip_thread_switches_core_binary_slave", binary.PeerSwitches(), "per round trip");
    LineReporter::Line("roundtrip_thread_switches_libmodbus_client", modbus.Switches(), "per round trip");
    LineReporter::Line("roundtrip_thread_switches_libmodbus_server", modbus.PeerSwitches(), "per round trip");
    // CPU time per round trip: what each side costs, apart from waiting.
    LineReporter::Line("roundtrip_cpu_core_ascii_master", ascii.CpuUs(), "us per round trip");
    LineReporter::Line("roundtrip_cpu_core_ascii_slave", ascii.PeerCpuUs(), "us per round trip");
    LineReporter::Line("roundtrip_cpu_core_binary_master", binary.CpuUs(), "us per round trip");
    LineReporter::Line("roundtrip_cpu_core_binary_slave", binary.PeerCpuUs(), "us per round trip");
    LineReporter::Line("roundtrip_cpu_libmodbus_client", modbus.CpuUs(), "us per round trip");
    LineReporter::Line("roundtrip_cpu_libmodbus_server", modbus.PeerCpuUs(), "us per round trip");
    const qint64 errors = ascii.errors + binary.errors + modbus.errors + sim.errors + asciiLoop.errors + binaryLoop.errors;
    LineReporter::Line("roundtrip_failed_transactions", double(errors), "transactions");
    return !ascii.failed && !binary.failed && !modbus.failed && !sim.failed && !asciiLoop.failed && !binaryLoop.failed &&
                   errors == 0
               ? 0
               : 1;
}
