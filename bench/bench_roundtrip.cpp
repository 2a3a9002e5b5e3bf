// Round trips over a kernel pseudo-terminal pair, two processes per pair:
//  - the portable engine (mbcore::TMBEngine) as master, chaining MBMasterStart(0)
//    from its end event, against the engine as slave (ASCII and binary framing;
//    the poll: 3 bytes out, 20 bytes back). Each side is a QCoreApplication with
//    Qt timers and the serial link waiting in Qt's event loop: no widgets;
//  - libmodbus's RTU client reading 10 registers (20 bytes) from libmodbus's RTU
//    server on the same kind of pair, as the reference.
// libmodbus is only the yardstick here; nothing of it goes into the product.
//
//   bench_roundtrip [--seconds S]             the measurement (prints figures)
//   bench_roundtrip --core-slave ascii|binary  the engine peer (prints its line's path)
//   bench_roundtrip --modbus-server            the libmodbus peer (prints its line's path)
#include "BenchProcess.h"
#include "BenchReport.h"
#include "MBEngine.h"
#include "QtTimers.h"
#include "SerialLink.h"

#include <QCoreApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QTimer>

#include <modbus/modbus.h>

#include <cerrno>
#include <csignal>
#include <cstdio>
#include <cstring>

#include <sys/resource.h>

namespace {

constexpr uint8_t kAddress = 1;
constexpr uint8_t kId = 39;
constexpr int kRegisters = 10; // 20 bytes, as a poll's answer

// ---- the peers -----------------------------------------------------------------------

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
    mb.setMBRefreshListOnStartup(false);
    mb.SetLinkFactory([fd] { return MakeFdLink(fd); });
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
        return 1;
    }
    std::printf("%s\n", qPrintable(path));
    std::fflush(stdout);
    return app.exec();
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
    qint64 errors = 0;
    double switches = 0;     // voluntary context switches of the master's process per round trip
    double peerSwitches = 0; // the same for the peer's process
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

TResult MeasureCore(const QString &program, const QStringList &args, bool binary, double seconds)
{
    bench::Peer peer;
    if (!peer.Start(program, args))
        return {};
    mbcore::TMBEngine mb;
    mb.SetTimerFactory(QtTimerFactory());
    mb.SetLinkFactory([] { return MakeSerialLink(); });
    mb.setMBRefreshListOnStartup(false);
    mb.setMBMode(binary ? mbcore::modeMaster : mbcore::modeASCIIMaster);
    mb.setMBBaud(mbcore::baud115200);
    mb.setPort(peer.FirstLine().toStdString());
    mb.setMBMasterAddressToSlave(kAddress);
    mb.setMBMasterIDToSlave(kId);
    mb.MBOpenPort();
    if (!mb.MBPortOpen()) {
        std::fprintf(stderr, "core master: %s\n", mb.LastOpenError().c_str());
        return {};
    }

    QEventLoop loop;
    QElapsedTimer clock;
    qint64 done = 0, errors = 0, warm = 200;
    long switchesBefore = 0, switchesAfter = 0, peerBefore = 0, peerAfter = 0;
    bool measuring = false;
    auto start = [&mb] {
        mb.setMBMasterCommandToSlave(1);
        mb.MBClearTxData();
        mb.MBPutByte(0);
        mb.MBPutWord(4000);
        mb.MBMasterStart(0);
    };
    mb.OnMBMasterEndOfEvent = [&](mbcore::TMBStatus status, const std::string &) {
        if (status != mbcore::stOK || mb.MBReceivedDataNumber() != 2 * kRegisters)
            ++errors;
        if (!measuring) {
            if (--warm == 0) {
                measuring = true;
                peerBefore = VoluntarySwitches(peer.Pid());
                switchesBefore = VoluntarySwitches();
                clock.start();
            }
        } else {
            ++done;
            if (clock.elapsed() >= seconds * 1000) {
                switchesAfter = VoluntarySwitches();
                peerAfter = VoluntarySwitches(peer.Pid());
                loop.quit();
                return;
            }
        }
        start();
    };
    QTimer::singleShot(0, start);
    QTimer guard;
    guard.setSingleShot(true);
    QObject::connect(&guard, &QTimer::timeout, &loop, &QEventLoop::quit);
    guard.start(int(seconds * 1000) + 20000);
    loop.exec();
    TResult r;
    r.perSecond = clock.isValid() && clock.elapsed() > 0 ? done * 1000.0 / clock.elapsed() : 0;
    r.errors = errors;
    r.switches = done > 0 ? double(switchesAfter - switchesBefore) / done : 0;
    r.peerSwitches = done > 0 ? double(peerAfter - peerBefore) / done : 0;
    mb.OnMBMasterEndOfEvent = nullptr;
    mb.MBClosePort();
    return r;
}

TResult MeasureModbus(const QString &self, double seconds)
{
    bench::Peer peer;
    if (!peer.Start(self, {QStringLiteral("--modbus-server")}))
        return {};
    modbus_t *ctx = modbus_new_rtu(peer.FirstLine().toLocal8Bit().constData(), 115200, 'N', 8, 1);
    modbus_set_slave(ctx, kAddress);
    if (modbus_connect(ctx) != 0) {
        std::fprintf(stderr, "modbus client: %s\n", modbus_strerror(errno));
        modbus_free(ctx);
        return {};
    }
    uint16_t regs[kRegisters];
    TResult r;
    for (int i = 0; i < 200; ++i)
        r.errors += modbus_read_registers(ctx, 0, kRegisters, regs) != kRegisters;
    QElapsedTimer clock;
    clock.start();
    const long peerBefore = VoluntarySwitches(peer.Pid());
    const long switchesBefore = VoluntarySwitches();
    qint64 done = 0;
    while (clock.elapsed() < seconds * 1000) {
        r.errors += modbus_read_registers(ctx, 0, kRegisters, regs) != kRegisters;
        ++done;
    }
    r.perSecond = done * 1000.0 / clock.elapsed();
    r.switches = double(VoluntarySwitches() - switchesBefore) / done;
    r.peerSwitches = double(VoluntarySwitches(peer.Pid()) - peerBefore) / done;
    modbus_close(ctx);
    modbus_free(ctx);
    return r;
}

} // namespace

int main(int argc, char **argv)
{
    if (argc >= 3 && std::strcmp(argv[1], "--core-slave") == 0)
        return CoreSlave(argc, argv, std::strcmp(argv[2], "binary") == 0);
    if (argc >= 2 && std::strcmp(argv[1], "--modbus-server") == 0)
        return ModbusServer();

    double seconds = 3;
    for (int i = 1; i + 1 < argc; ++i)
        if (std::strcmp(argv[i], "--seconds") == 0)
            seconds = std::atof(argv[i + 1]);
    QCoreApplication app(argc, argv);
    const QString self = QCoreApplication::applicationFilePath();

    // libmodbus between the two engine runs, so that a change of load during
    // the run weighs on both sides of the ratios alike.
    const TResult ascii = MeasureCore(self, {QStringLiteral("--core-slave"), QStringLiteral("ascii")}, false, seconds);
    const TResult modbus = MeasureModbus(self, seconds);
    const TResult binary = MeasureCore(self, {QStringLiteral("--core-slave"), QStringLiteral("binary")}, true, seconds);
    // The same master against the instrument simulator with its line emulation off.
    const TResult sim = MeasureCore(QStringLiteral(KV508_SIM_PATH),
                                    {QStringLiteral("--no-line-time"), QStringLiteral("--no-link"),
                                     QStringLiteral("--no-stdin")},
                                    false, seconds);

    LineReporter::Line("roundtrip_core_ascii", ascii.perSecond, "round trips/s");
    LineReporter::Line("roundtrip_core_binary", binary.perSecond, "round trips/s");
    LineReporter::Line("roundtrip_libmodbus_rtu", modbus.perSecond, "round trips/s");
    LineReporter::Line("roundtrip_core_ascii_vs_simulator", sim.perSecond, "round trips/s");
    if (modbus.perSecond > 0) {
        LineReporter::Line("roundtrip_ratio_core_ascii_to_libmodbus", ascii.perSecond / modbus.perSecond, "x");
        LineReporter::Line("roundtrip_ratio_core_binary_to_libmodbus", binary.perSecond / modbus.perSecond, "x");
    }
    LineReporter::Line("roundtrip_thread_switches_core_ascii_master", ascii.switches, "per round trip");
    LineReporter::Line("roundtrip_thread_switches_core_ascii_slave", ascii.peerSwitches, "per round trip");
    LineReporter::Line("roundtrip_thread_switches_core_binary_master", binary.switches, "per round trip");
    LineReporter::Line("roundtrip_thread_switches_core_binary_slave", binary.peerSwitches, "per round trip");
    LineReporter::Line("roundtrip_thread_switches_libmodbus_client", modbus.switches, "per round trip");
    LineReporter::Line("roundtrip_thread_switches_libmodbus_server", modbus.peerSwitches, "per round trip");
    const qint64 errors = ascii.errors + binary.errors + modbus.errors + sim.errors;
    LineReporter::Line("roundtrip_failed_transactions", double(errors), "transactions");
    return ascii.perSecond > 0 && binary.perSecond > 0 && modbus.perSecond > 0 && errors == 0 ? 0 : 1;
}
