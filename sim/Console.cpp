#include "Console.h"

#include "Options.h"
#include "Scpi.h"

#include <cmath>

namespace sim {

namespace {

QString Status(Simulator &simulator)
{
    Instrument &model = simulator.Model();
    const kv508::TLiveData live = model.Live(simulator.NowMs());
    const double shown = live.MeasuredValue / std::pow(10.0, live.Decimals);
    QStringList errors;
    for (const kv508::TErrorFlag &flag : kv508::ErrorFlags)
        if (live.ErrorBits & flag.bit)
            errors << QString::fromLatin1(flag.key).replace(QLatin1Char('-'), QLatin1Char(' '));
    QString text = QStringLiteral("pressure %1 Pa, temperature %2 C; shows %3 (bridge %4, %5 SPS); output %6 mA")
                       .arg(model.Pressure())
                       .arg(model.Temperature())
                       .arg(shown, 0, 'f', live.Decimals)
                       .arg(live.BridgeDataAveraged)
                       .arg(live.SPS)
                       .arg(live.OutputValue / 1000.0, 0, 'f', 3);
    text += QStringLiteral(", loop %1 mA%2").arg(model.LoopCurrentAt(simulator.NowMs()) / 1000.0, 0, 'f', 3)
                .arg(model.Forced() ? QStringLiteral(" (forced, drive %1)").arg(model.DrivePwm()) : QString());
    text += QStringLiteral("; errors: %1; calibrated %2")
                .arg(errors.isEmpty() ? QStringLiteral("none") : errors.join(QStringLiteral(", ")),
                     QString::fromStdString(kv508::FormatDateCode(live.CalibrationDateCode)));
    if (const LineEmulator *line = simulator.Line()) {
        const LineStats &s = line->Stats();
        text += QStringLiteral("; answers %1 (dropped %2, corrupted %3, late %4, split %5, noisy %6)"
                               "; input overruns %7 characters")
                    .arg(s.frames)
                    .arg(s.dropped)
                    .arg(s.corrupted)
                    .arg(s.late)
                    .arg(s.split)
                    .arg(s.noisy)
                    .arg(s.overrun);
    }
    if (const References *refs = simulator.Refs()) {
        if (refs->Meter())
            text += QStringLiteral("; meter on port %1, fault %2").arg(refs->Meter()->Port()).arg(FaultName(refs->Meter()->Fault()));
        if (const ControllerModel *c = refs->ControllerState())
            text += QStringLiteral("; controller on port %1, set point %2 Pa, control %3, fault %4")
                        .arg(refs->Controller()->Port())
                        .arg(c->SetPoint())
                        .arg(c->ControlOn() ? QStringLiteral("on") : QStringLiteral("off"), FaultName(refs->Controller()->Fault()));
    }
    return text;
}

// "meter fault MODE[@N]" or "controller fault MODE[@N]".
ConsoleReply ReferenceFaultCommand(Simulator &simulator, const QStringList &words)
{
    const bool meter = words.at(0).toLower() == QLatin1String("meter");
    References *refs = simulator.Refs();
    ScpiServer *server = refs ? (meter ? refs->Meter() : refs->Controller()) : nullptr;
    const QString name = meter ? QStringLiteral("meter") : QStringLiteral("controller");
    if (!server)
        return {QStringLiteral("no %1 is played; start the simulator with --%1-port").arg(name)};
    FaultSetting fault;
    if (!ParseFault(words.at(2), meter, fault))
        return {QStringLiteral("%1 fault: \"%2\" is not %3").arg(name, ShownText(words.at(2)),
                                                              meter ? QStringLiteral("none, silent, garbage, late or overload (optionally @N)")
                                                                    : QStringLiteral("none, silent, garbage or late (optionally @N)"))};
    server->SetFault(fault);
    return {QStringLiteral("%1 fault %2").arg(name, FaultName(fault))};
}

const char *const kCommands =
    "commands: pressure PA, temperature C, fault on|off, meter fault MODE, controller fault MODE, status, ammeter, help";

} // namespace

QString ConsoleCommand(Simulator &simulator, const QString &line)
{
    return RunConsoleCommand(simulator, line).text;
}

ConsoleReply RunConsoleCommand(Simulator &simulator, const QString &line)
{
    const QStringList words = line.simplified().split(QLatin1Char(' '), Qt::SkipEmptyParts);
    if (words.isEmpty())
        return {QString::fromLatin1(kCommands)};
    const QString verb = words.at(0).toLower();
    bool ok = false;
    const double value = words.size() == 2 ? words.at(1).toDouble(&ok) : 0.0;
    if ((verb == QLatin1String("pressure") || verb == QLatin1String("p")) && ok && std::isfinite(value) &&
        std::abs(value) <= 1e6) {
        simulator.Model().SetPressure(value);
        return {QStringLiteral("pressure %1 Pa").arg(value)};
    }
    if ((verb == QLatin1String("temperature") || verb == QLatin1String("t")) && ok && value >= -273.15 && value <= 1000) {
        simulator.Model().SetTemperature(value);
        return {QStringLiteral("temperature %1 C").arg(value)};
    }
    if (verb == QLatin1String("fault") && words.size() == 2 &&
        (words.at(1) == QLatin1String("on") || words.at(1) == QLatin1String("off"))) {
        simulator.Model().SetSensorFault(words.at(1) == QLatin1String("on"));
        return {QStringLiteral("sensor fault %1").arg(words.at(1))};
    }
    if ((verb == QLatin1String("meter") || verb == QLatin1String("controller")) && words.size() == 3 &&
        words.at(1).toLower() == QLatin1String("fault"))
        return ReferenceFaultCommand(simulator, words);
    if (verb == QLatin1String("status") && words.size() == 1)
        return {Status(simulator)};
    // One line for programs: what a reference ammeter in the loop reads now,
    // the loop following the pressure whether or not anything polls.
    if (verb == QLatin1String("ammeter") && words.size() == 1) {
        Instrument &model = simulator.Model();
        const double microAmps = model.LoopCurrentAt(simulator.NowMs());
        return {QStringLiteral("ammeter loop_ma=%1 forced=%2 drive=%3")
                    .arg(microAmps / 1000.0, 0, 'f', 4)
                    .arg(model.Forced() ? 1 : 0)
                    .arg(model.DrivePwm()),
                true};
    }
    if (verb == QLatin1String("help") && words.size() == 1)
        return {QString::fromLatin1(kCommands)};
    // Control characters shown, not sent: a NUL would cut the reply short.
    return {QStringLiteral("not understood: \"%1\" (try help)").arg(ShownText(line.simplified(), 200))};
}

} // namespace sim
