// Round trips over a kernel pseudo-terminal pair, two processes per pair:
//  - a TMB master chaining MBMasterStart(0) from its end event against a TMB
//    slave (ASCII and binary framing; the poll: 3 bytes out, 20 bytes back);
//  - libmodbus's RTU client reading 10 registers (20 bytes) from libmodbus's RTU
//    server on the same kind of pair, as the reference.
// libmodbus is only the yardstick here; nothing of it goes into the product.
//
//   bench_roundtrip [--seconds S]            the measurement (prints figures)
//   bench_roundtrip --tmb-slave ascii|binary  the TMB peer (prints its line's path)
//   bench_roundtrip --modbus-server           the libmodbus peer (prints its line's path)
#include "BenchProcess.h"
#include "BenchReport.h"
#include "MB.h"
#include "QtWaitHost.h"

#include <QApplication>
#include <QCoreApplication>
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

constexpr quint8 kAddress = 1;
constexpr quint8 kId = 39;
constexpr int kRegisters = 10; // 20 bytes, as a poll's answer

// ---- the peers -----------------------------------------------------------------------

int TmbSlave(int argc, char **argv, bool binary)
{
    QApplication app(argc, argv);
    QString path;
    const int fd = bench::OpenPty(path);
    if (fd < 0) {
        std::perror("pty");
        return 1;
    }
    TMB mb;
    mb.setMBRefreshListOnStartup(false);
    mb.SetLinkFactory([fd] { return MakeFdLink(fd); });
    mb.setMBMode(binary ? TMB::modeSlave : TMB::modeASCIISlave);
    mb.setMBSlaveOwnAddress(kAddress);
    mb.setMBSlaveID(kId);
    mb.setMBASCIISlaveTimeOut(0);
    mb.setMBBaud(TMB::baud115200);
    mb.OnMBSlaveReceivedCommand = [&mb](quint8, bool, quint16) {
        for (int i = 0; i < 2 * kRegisters; ++i)
            mb.MBPutByte(quint8(i));
    };
    mb.MBOpenPort();
    if (!mb.MBPortOpen()) {
        std::fprintf(stderr, "tmb slave: %s\n", qPrintable(mb.LastOpenError()));
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
        map->tab_registers[i] = quint16(i * 257);
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
    double switches = 0; // voluntary context switches of the measuring process per round trip
};

long VoluntarySwitches()
{
    rusage u{};
    getrusage(RUSAGE_SELF, &u);
    return u.ru_nvcsw;
}

TResult MeasureTmb(const QString &program, const QStringList &args, bool binary, double seconds)
{
    bench::Peer peer;
    if (!peer.Start(program, args))
        return {};
    TMB mb;
    mb.setMBRefreshListOnStartup(false);
    mb.setMBMode(binary ? TMB::modeMaster : TMB::modeASCIIMaster);
    mb.setMBBaud(TMB::baud115200);
    mb.setPort(peer.FirstLine());
    mb.setMBMasterAddressToSlave(kAddress);
    mb.setMBMasterIDToSlave(kId);
    mb.MBOpenPort();
    if (!mb.MBPortOpen()) {
        std::fprintf(stderr, "tmb master: %s\n", qPrintable(mb.LastOpenError()));
        return {};
    }

    QEventLoop loop;
    QElapsedTimer clock;
    qint64 done = 0, errors = 0, warm = 200;
    long switchesBefore = 0, switchesAfter = 0;
    bool measuring = false;
    auto start = [&mb] {
        mb.setMBMasterCommandToSlave(1);
        mb.MBClearTxData();
        mb.MBPutByte(0);
        mb.MBPutWord(4000);
        mb.MBMasterStart(0);
    };
    mb.OnMBMasterEndOfEvent = [&](TMB::TMBStatus status, const QString &) {
        if (status != TMB::stOK || mb.MBReceivedDataNumber() != 2 * kRegisters)
            ++errors;
        if (!measuring) {
            if (--warm == 0) {
                measuring = true;
                switchesBefore = VoluntarySwitches();
                clock.start();
            }
        } else {
            ++done;
            if (clock.elapsed() >= seconds * 1000) {
                switchesAfter = VoluntarySwitches();
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
    const long switchesBefore = VoluntarySwitches();
    qint64 done = 0;
    while (clock.elapsed() < seconds * 1000) {
        r.errors += modbus_read_registers(ctx, 0, kRegisters, regs) != kRegisters;
        ++done;
    }
    r.perSecond = done * 1000.0 / clock.elapsed();
    r.switches = double(VoluntarySwitches() - switchesBefore) / done;
    modbus_close(ctx);
    modbus_free(ctx);
    return r;
}

} // namespace

int main(int argc, char **argv)
{
    if (argc >= 3 && std::strcmp(argv[1], "--tmb-slave") == 0) {
        qputenv("QT_QPA_PLATFORM", "offscreen");
        return TmbSlave(argc, argv, std::strcmp(argv[2], "binary") == 0);
    }
    if (argc >= 2 && std::strcmp(argv[1], "--modbus-server") == 0)
        return ModbusServer();

    double seconds = 3;
    for (int i = 1; i + 1 < argc; ++i)
        if (std::strcmp(argv[i], "--seconds") == 0)
            seconds = std::atof(argv[i + 1]);
    qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    const QString self = QCoreApplication::applicationFilePath();

    const TResult ascii = MeasureTmb(self, {QStringLiteral("--tmb-slave"), QStringLiteral("ascii")}, false, seconds);
    const TResult binary = MeasureTmb(self, {QStringLiteral("--tmb-slave"), QStringLiteral("binary")}, true, seconds);
    // The same master against the instrument simulator with its line emulation off.
    const TResult sim = MeasureTmb(QStringLiteral(KV508_SIM_PATH),
                                   {QStringLiteral("--no-line-time"), QStringLiteral("--no-link"),
                                    QStringLiteral("--no-stdin")},
                                   false, seconds);
    const TResult modbus = MeasureModbus(self, seconds);

    LineReporter::Line("roundtrip_tmb_ascii", ascii.perSecond, "round trips/s");
    LineReporter::Line("roundtrip_tmb_binary", binary.perSecond, "round trips/s");
    LineReporter::Line("roundtrip_libmodbus_rtu", modbus.perSecond, "round trips/s");
    LineReporter::Line("roundtrip_tmb_ascii_vs_simulator", sim.perSecond, "round trips/s");
    if (modbus.perSecond > 0) {
        LineReporter::Line("roundtrip_ratio_tmb_ascii_to_libmodbus", ascii.perSecond / modbus.perSecond, "x");
        LineReporter::Line("roundtrip_ratio_tmb_binary_to_libmodbus", binary.perSecond / modbus.perSecond, "x");
    }
    LineReporter::Line("roundtrip_thread_switches_tmb_ascii", ascii.switches, "per round trip");
    LineReporter::Line("roundtrip_thread_switches_libmodbus", modbus.switches, "per round trip");
    const qint64 errors = ascii.errors + binary.errors + modbus.errors + sim.errors;
    LineReporter::Line("roundtrip_failed_transactions", double(errors), "transactions");
    return ascii.perSecond > 0 && binary.perSecond > 0 && modbus.perSecond > 0 && errors == 0 ? 0 : 1;
}
