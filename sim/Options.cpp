#include "Options.h"

#include "MBProtocol.h"
#include "Scpi.h"

#include <algorithm>
#include <cmath>
#include <limits>

#include <sys/types.h>

namespace sim {

namespace {

bool ParseProbability(const QString &text, double &out)
{
    QString t = text.trimmed();
    double scale = 1.0;
    if (t.endsWith(QLatin1Char('%'))) {
        t.chop(1);
        scale = 100.0;
    }
    bool ok = false;
    const double v = t.toDouble(&ok) / scale;
    if (!ok || !std::isfinite(v) || v < 0 || v > 1)
        return false;
    out = v;
    return true;
}

bool ParseInt(const QString &text, qint64 low, qint64 high, qint64 &out)
{
    bool ok = false;
    const qint64 v = text.trimmed().toLongLong(&ok);
    if (!ok || v < low || v > high)
        return false;
    out = v;
    return true;
}

bool ParseNumber(const QString &text, double low, double high, double &out)
{
    bool ok = false;
    const double v = text.trimmed().toDouble(&ok);
    if (!ok || !std::isfinite(v) || v < low || v > high)
        return false;
    out = v;
    return true;
}

bool KnownBaud(qint64 rate)
{
    mbcore::TMBBaud baud;
    return rate > 0 && rate <= 0xFFFFFFFF && mbcore::BaudOf(static_cast<uint32_t>(rate), baud);
}

} // namespace

QString HelpText()
{
    return QStringLiteral(
        "Usage: kv508-sim [options]\n"
        "\n"
        "Plays a KV508 I transmitter (ASCII slave, address 1, ID 39) on a pseudo-terminal.\n"
        "The first line written to standard output is the device path of the terminal;\n"
        "the same terminal is published as kv508sim<N> (lowest free N) among the virtual\n"
        "ports, where the tool lists it. Runs until SIGINT or SIGTERM.\n"
        "\n"
        "Line:\n"
        "  --baud RATE        baud rate whose timing is emulated (default 4800)\n"
        "  --no-line-time     answer at once instead of at the pace of the line\n"
        "  --turnaround MS    pause before an answer with line time (default 3)\n"
        "\n"
        "Instrument:\n"
        "  --pressure PA      simulated pressure in Pa (default 0)\n"
        "  --temperature C    simulated temperature for the temperature input (default 23.5)\n"
        "  --sensor-fault     start with a broken sensor (error bit \"Hibás szenzor\")\n"
        "  --blank            start erased: uncalibrated, settings missing\n"
        "  --state FILE       keep the instrument's memory (settings, calibration) in FILE\n"
        "                     across runs; written atomically within 200 ms of a change\n"
        "  --restart-ms MS    how long a reset (command 251) keeps it silent (default 300)\n"
        "  --dac-gain-scale F the output stage's slope, a multiple of the usual (default 1)\n"
        "  --dac-offset-ua X  the output stage's offset in µA (default -35); the stored\n"
        "                     4 and 20 mA points stay, so a changed stage reads off until trimmed\n"
        "\n"
        "Reference instruments (SCPI lines on TCP, 127.0.0.1 only, one client at a time):\n"
        "  --meter-port PORT  play an ammeter in the loop on PORT (0: a free port); prints\n"
        "                     \"meter: tcp:127.0.0.1:PORT\" on standard output after the path\n"
        "  --meter-offset-ua X    the meter's offset in µA (default 0)\n"
        "  --meter-noise-ua X     standard deviation of its noise in µA (default 0.2)\n"
        "  --meter-fault MODE[@N] none, silent, garbage, late or overload, after N good answers\n"
        "  --controller-port PORT play a pressure controller on PORT (0: a free port); prints\n"
        "                     \"controller: tcp:127.0.0.1:PORT\" after the path\n"
        "  --controller-settle-ms MS    time to be within limits of a new set point (default 2000)\n"
        "  --controller-overshoot F     overshoot as a fraction of the step (default 0.05)\n"
        "  --controller-never-settles   keeps oscillating; never reports within limits\n"
        "  --controller-fault MODE[@N]  none, silent, garbage or late, after N good answers\n"
        "  The meter's noise comes from --seed; a late answer leaves --late-ms later (default 5000).\n"
        "\n"
        "Faults (each a probability per answer, 0..1 or a percentage such as 5%):\n"
        "  --seed N           seed of the fault and noise generator (default 1)\n"
        "  --drop P           the answer is never sent\n"
        "  --corrupt P        one character of the answer is changed\n"
        "  --late P           the answer leaves --late-ms later\n"
        "  --late-ms MS       delay of a late answer (default 1500; 5000 for the references)\n"
        "  --split P          the answer leaves in chunks of 1..6 characters, 2..15 ms apart\n"
        "  --noise P          1..8 junk characters go on the line before the answer\n"
        "\n"
        "Other:\n"
        "  --no-link          do not publish the virtual-port link\n"
        "  --serial TEXT      the serial number of the adapter the published port plays\n"
        "                     (default KV508SIM): a tool that lost the port takes it\n"
        "                     back only from a simulator with the same one\n"
        "  --no-stdin         do not read commands from standard input\n"
        "  --watch-pid PID    end (and remove the link) when process PID ends\n"
        "  --verbose          log every request and fault on standard error\n"
        "  --help             this text\n"
        "  --version          the program's version and the firmware date code it reports\n"
        "\n"
        "Commands on standard input, one per line:\n"
        "  pressure PA | temperature C | fault on|off | status | help\n"
        "  meter fault MODE[@N] | controller fault MODE[@N]\n"
        "  ammeter: one line \"ammeter loop_ma=4.0000 forced=0|1 drive=N\", the loop current now,\n"
        "           for programs on standard output\n"
        "\n"
        "Point the tool at the port name (kv508sim0) or at the printed path.\n");
}

namespace {

// An option with a value: what the value must be (for the message) and where
// it goes; false when the text is no such value.
struct ValueOption {
    const char *name;
    const char *what;
    bool (*apply)(const QString &value, Options &options);
};

bool SetTime(const QString &value, qint64 high, int &target)
{
    qint64 n = 0;
    if (!ParseInt(value, 0, high, n))
        return false;
    target = static_cast<int>(n);
    return true;
}

constexpr const char *kProbability = "a probability (0 .. 1, or 0% .. 100%)";

const ValueOption kValueOptions[] = {
    {"--baud", "a baud rate of the component (75 .. 921600)",
     [](const QString &v, Options &o) {
         qint64 n = 0;
         if (!ParseInt(v, 1, 921600, n) || !KnownBaud(n))
             return false;
         o.sim.line.baud = static_cast<quint32>(n);
         return true;
     }},
    {"--turnaround", "a time of 0 .. 10000 ms",
     [](const QString &v, Options &o) { return SetTime(v, 10000, o.sim.line.turnaroundMs); }},
    {"--pressure", "a pressure in Pa",
     [](const QString &v, Options &o) { return ParseNumber(v, -1e6, 1e6, o.sim.pressurePa); }},
    {"--temperature", "a temperature in degrees Celsius",
     [](const QString &v, Options &o) { return ParseNumber(v, -273.15, 1000, o.sim.temperatureC); }},
    {"--state", "a file name",
     [](const QString &v, Options &o) {
         if (v.isEmpty())
             return false;
         o.sim.stateFile = v;
         return true;
     }},
    {"--restart-ms", "a time of 0 .. 60000 ms",
     [](const QString &v, Options &o) { return SetTime(v, 60000, o.sim.restartMs); }},
    {"--seed", "a seed of 0 .. 4294967295",
     [](const QString &v, Options &o) {
         qint64 n = 0;
         if (!ParseInt(v, 0, std::numeric_limits<quint32>::max(), n))
             return false;
         o.sim.seed = o.sim.line.faults.seed = static_cast<quint32>(n);
         return true;
     }},
    {"--late-ms", "a time of 0 .. 60000 ms",
     [](const QString &v, Options &o) {
         return SetTime(v, 60000, o.sim.line.faults.lateMs) && SetTime(v, 60000, o.sim.references.lateMs);
     }},
    {"--drop", kProbability, [](const QString &v, Options &o) { return ParseProbability(v, o.sim.line.faults.drop); }},
    {"--corrupt", kProbability, [](const QString &v, Options &o) { return ParseProbability(v, o.sim.line.faults.corrupt); }},
    {"--late", kProbability, [](const QString &v, Options &o) { return ParseProbability(v, o.sim.line.faults.late); }},
    {"--split", kProbability, [](const QString &v, Options &o) { return ParseProbability(v, o.sim.line.faults.split); }},
    {"--noise", kProbability, [](const QString &v, Options &o) { return ParseProbability(v, o.sim.line.faults.noise); }},
    {"--dac-gain-scale", "a factor of 0.5 .. 2",
     [](const QString &v, Options &o) { return ParseNumber(v, 0.5, 2.0, o.sim.dacGainScale); }},
    {"--dac-offset-ua", "a current of -2000 .. 2000 µA",
     [](const QString &v, Options &o) { return ParseNumber(v, -2000, 2000, o.sim.dacOffsetUa); }},
    {"--meter-port", "a TCP port (0 .. 65535; 0 picks a free one)",
     [](const QString &v, Options &o) {
         qint64 n = 0;
         return ParseInt(v, 0, 65535, n) && (o.sim.references.meterPort = static_cast<int>(n), true);
     }},
    {"--controller-port", "a TCP port (0 .. 65535; 0 picks a free one)",
     [](const QString &v, Options &o) {
         qint64 n = 0;
         return ParseInt(v, 0, 65535, n) && (o.sim.references.controllerPort = static_cast<int>(n), true);
     }},
    {"--meter-offset-ua", "a current of -1000 .. 1000 µA",
     [](const QString &v, Options &o) { return ParseNumber(v, -1000, 1000, o.sim.references.meterOffsetUa); }},
    {"--meter-noise-ua", "a standard deviation of 0 .. 1000 µA",
     [](const QString &v, Options &o) { return ParseNumber(v, 0, 1000, o.sim.references.meterNoiseUa); }},
    {"--meter-fault", "none, silent, garbage, late or overload, each with an optional @N",
     [](const QString &v, Options &o) { return ParseFault(v, true, o.sim.references.meterFault); }},
    {"--controller-fault", "none, silent, garbage or late, each with an optional @N",
     [](const QString &v, Options &o) { return ParseFault(v, false, o.sim.references.controllerFault); }},
    {"--controller-settle-ms", "a time of 1 .. 600000 ms",
     [](const QString &v, Options &o) {
         qint64 n = 0;
         return ParseInt(v, 1, 600000, n) && (o.sim.references.controller.settleMs = static_cast<int>(n), true);
     }},
    {"--controller-overshoot", "a fraction of 0 .. 0.9",
     [](const QString &v, Options &o) { return ParseNumber(v, 0, 0.9, o.sim.references.controller.overshoot); }},
    {"--watch-pid", "a process id",
     [](const QString &v, Options &o) { return ParseInt(v, 1, std::numeric_limits<pid_t>::max(), o.watchPid); }},
    {"--serial", "1 to 64 printable characters",
     [](const QString &v, Options &o) {
         // One printable line: it is written into the port's lock file.
         if (v.isEmpty() || v.size() > 64 || !std::all_of(v.begin(), v.end(), [](QChar c) { return c.isPrint(); }))
             return false;
         o.adapterSerial = v;
         return true;
     }},
};

// A flag: takes no value.
struct FlagOption {
    const char *name;
    const char *alias; // null: none
    void (*set)(Options &options);
};

const FlagOption kFlagOptions[] = {
    {"--no-line-time", nullptr, [](Options &o) { o.sim.line.lineTime = false; }},
    {"--sensor-fault", nullptr, [](Options &o) { o.sim.sensorFault = true; }},
    {"--blank", nullptr, [](Options &o) { o.sim.blank = true; }},
    {"--no-link", nullptr, [](Options &o) { o.publish = false; }},
    {"--no-stdin", nullptr, [](Options &o) { o.stdinCommands = false; }},
    {"--controller-never-settles", nullptr, [](Options &o) { o.sim.references.controller.neverSettles = true; }},
    {"--verbose", "-v", [](Options &o) { o.verbose = true; }},
};

} // namespace

ParseOutcome ParseOptions(const QStringList &args, Options &options, QString &error)
{
    for (int i = 0; i < args.size(); ++i) {
        QString name = args.at(i);
        QString value;
        bool hasValue = false;
        const qsizetype eq = name.indexOf(QLatin1Char('='));
        if (name.startsWith(QLatin1String("--")) && eq > 0) {
            value = name.mid(eq + 1);
            name = name.left(eq);
            hasValue = true;
        }
        if (name == QLatin1String("--help") || name == QLatin1String("-h"))
            return ParseOutcome::Help;
        if (name == QLatin1String("--version"))
            return ParseOutcome::Version;
        const auto flag = std::find_if(std::begin(kFlagOptions), std::end(kFlagOptions), [&](const FlagOption &f) {
            return name == QLatin1String(f.name) || (f.alias && name == QLatin1String(f.alias));
        });
        if (flag != std::end(kFlagOptions)) {
            if (hasValue) {
                error = QStringLiteral("%1 takes no value").arg(ShownText(name));
                return ParseOutcome::Error;
            }
            flag->set(options);
            continue;
        }
        const auto option = std::find_if(std::begin(kValueOptions), std::end(kValueOptions),
                                         [&](const ValueOption &o) { return name == QLatin1String(o.name); });
        if (option == std::end(kValueOptions)) {
            error = QStringLiteral("unknown option %1").arg(ShownText(args.at(i)));
            return ParseOutcome::Error;
        }
        if (!hasValue && i + 1 >= args.size()) {
            error = QStringLiteral("%1 needs a value").arg(ShownText(name));
            return ParseOutcome::Error;
        }
        if (!hasValue)
            value = args.at(++i);
        if (!option->apply(value, options)) {
            error = QStringLiteral("%1: \"%2\" is not %3").arg(name, ShownText(value), QLatin1String(option->what));
            return ParseOutcome::Error;
        }
    }
    return ParseOutcome::Run;
}

QString ShownText(const QString &text, qsizetype maxChars)
{
    QString shown;
    for (const QChar c : text) {
        const char16_t u = c.unicode();
        QString piece(c);
        if (u < 0x20 || (u >= 0x7F && u <= 0x9F))
            piece = QStringLiteral("\\x%1").arg(int(u), 2, 16, QLatin1Char('0'));
        else if ((u >= 0x202A && u <= 0x202E) || (u >= 0x2066 && u <= 0x2069) || u == 0x200E || u == 0x200F)
            piece = QStringLiteral("\\u%1").arg(int(u), 4, 16, QLatin1Char('0'));
        if (shown.size() + piece.size() > maxChars) {
            shown += QStringLiteral("…");
            break;
        }
        shown += piece;
    }
    return shown;
}

} // namespace sim
