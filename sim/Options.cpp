#include "Options.h"

#include "MBProtocol.h"

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
        "\n"
        "Faults (each a probability per answer, 0..1 or a percentage such as 5%):\n"
        "  --seed N           seed of the fault and noise generator (default 1)\n"
        "  --drop P           the answer is never sent\n"
        "  --corrupt P        one character of the answer is changed\n"
        "  --late P           the answer leaves --late-ms later\n"
        "  --late-ms MS       delay of a late answer (default 1500)\n"
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
        "  ammeter: one line \"ammeter loop_ma=4.0000 forced=0|1 drive=N\", the loop current now,\n"
        "           for programs on standard output\n"
        "\n"
        "Point the tool at the port name (kv508sim0) or at the printed path.\n");
}

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
        auto takeValue = [&]() -> bool {
            if (hasValue)
                return true;
            if (i + 1 >= args.size()) {
                error = QStringLiteral("%1 needs a value").arg(ShownText(name));
                return false;
            }
            value = args.at(++i);
            return true;
        };
        auto bad = [&](const QString &what) {
            error = QStringLiteral("%1: \"%2\" is not %3").arg(name, ShownText(value), what);
            return ParseOutcome::Error;
        };
        auto flag = [&]() {
            if (hasValue) {
                error = QStringLiteral("%1 takes no value").arg(ShownText(name));
                return false;
            }
            return true;
        };

        qint64 n = 0;
        double d = 0;
        FaultPlan &f = options.sim.line.faults;
        if (name == QLatin1String("--help") || name == QLatin1String("-h")) {
            return ParseOutcome::Help;
        } else if (name == QLatin1String("--version")) {
            return ParseOutcome::Version;
        } else if (name == QLatin1String("--baud")) {
            if (!takeValue())
                return ParseOutcome::Error;
            if (!ParseInt(value, 1, 921600, n) || !KnownBaud(n))
                return bad(QStringLiteral("a baud rate of the component (75 .. 921600)"));
            options.sim.line.baud = static_cast<quint32>(n);
        } else if (name == QLatin1String("--no-line-time")) {
            if (!flag())
                return ParseOutcome::Error;
            options.sim.line.lineTime = false;
        } else if (name == QLatin1String("--turnaround")) {
            if (!takeValue())
                return ParseOutcome::Error;
            if (!ParseInt(value, 0, 10000, n))
                return bad(QStringLiteral("a time of 0 .. 10000 ms"));
            options.sim.line.turnaroundMs = static_cast<int>(n);
        } else if (name == QLatin1String("--pressure")) {
            if (!takeValue())
                return ParseOutcome::Error;
            if (!ParseNumber(value, -1e6, 1e6, d))
                return bad(QStringLiteral("a pressure in Pa"));
            options.sim.pressurePa = d;
        } else if (name == QLatin1String("--temperature")) {
            if (!takeValue())
                return ParseOutcome::Error;
            if (!ParseNumber(value, -273.15, 1000, d))
                return bad(QStringLiteral("a temperature in degrees Celsius"));
            options.sim.temperatureC = d;
        } else if (name == QLatin1String("--sensor-fault")) {
            if (!flag())
                return ParseOutcome::Error;
            options.sim.sensorFault = true;
        } else if (name == QLatin1String("--blank")) {
            if (!flag())
                return ParseOutcome::Error;
            options.sim.blank = true;
        } else if (name == QLatin1String("--state")) {
            if (!takeValue())
                return ParseOutcome::Error;
            if (value.isEmpty())
                return bad(QStringLiteral("a file name"));
            options.sim.stateFile = value;
        } else if (name == QLatin1String("--restart-ms")) {
            if (!takeValue())
                return ParseOutcome::Error;
            if (!ParseInt(value, 0, 60000, n))
                return bad(QStringLiteral("a time of 0 .. 60000 ms"));
            options.sim.restartMs = static_cast<int>(n);
        } else if (name == QLatin1String("--seed")) {
            if (!takeValue())
                return ParseOutcome::Error;
            if (!ParseInt(value, 0, std::numeric_limits<quint32>::max(), n))
                return bad(QStringLiteral("a seed of 0 .. 4294967295"));
            options.sim.seed = static_cast<quint32>(n);
            f.seed = static_cast<quint32>(n);
        } else if (name == QLatin1String("--late-ms")) {
            if (!takeValue())
                return ParseOutcome::Error;
            if (!ParseInt(value, 0, 60000, n))
                return bad(QStringLiteral("a time of 0 .. 60000 ms"));
            f.lateMs = static_cast<int>(n);
        } else if (name == QLatin1String("--drop") || name == QLatin1String("--corrupt") ||
                   name == QLatin1String("--late") || name == QLatin1String("--split") ||
                   name == QLatin1String("--noise")) {
            if (!takeValue())
                return ParseOutcome::Error;
            if (!ParseProbability(value, d))
                return bad(QStringLiteral("a probability (0 .. 1, or 0% .. 100%)"));
            double &target = name == QLatin1String("--drop")      ? f.drop
                             : name == QLatin1String("--corrupt") ? f.corrupt
                             : name == QLatin1String("--late")    ? f.late
                             : name == QLatin1String("--split")   ? f.split
                                                                  : f.noise;
            target = d;
        } else if (name == QLatin1String("--no-link")) {
            if (!flag())
                return ParseOutcome::Error;
            options.publish = false;
        } else if (name == QLatin1String("--no-stdin")) {
            if (!flag())
                return ParseOutcome::Error;
            options.stdinCommands = false;
        } else if (name == QLatin1String("--watch-pid")) {
            if (!takeValue())
                return ParseOutcome::Error;
            if (!ParseInt(value, 1, std::numeric_limits<pid_t>::max(), n))
                return bad(QStringLiteral("a process id"));
            options.watchPid = n;
        } else if (name == QLatin1String("--serial")) {
            if (!takeValue())
                return ParseOutcome::Error;
            // One printable line: it is written into the port's lock file.
            const bool printable = !value.isEmpty() && value.size() <= 64 &&
                                   std::all_of(value.begin(), value.end(), [](QChar c) { return c.isPrint(); });
            if (!printable)
                return bad(QStringLiteral("1 to 64 printable characters"));
            options.adapterSerial = value;
        } else if (name == QLatin1String("--verbose") || name == QLatin1String("-v")) {
            if (!flag())
                return ParseOutcome::Error;
            options.verbose = true;
        } else {
            error = QStringLiteral("unknown option %1").arg(ShownText(args.at(i)));
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
