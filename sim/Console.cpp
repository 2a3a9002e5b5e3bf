#include "Console.h"

#include "Options.h"

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
    return text;
}

} // namespace

QString ConsoleCommand(Simulator &simulator, const QString &line)
{
    return RunConsoleCommand(simulator, line).text;
}

ConsoleReply RunConsoleCommand(Simulator &simulator, const QString &line)
{
    const QStringList words = line.simplified().split(QLatin1Char(' '), Qt::SkipEmptyParts);
    if (words.isEmpty())
        return {QStringLiteral("commands: pressure PA, temperature C, fault on|off, status, ammeter, help")};
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
        return {QStringLiteral("commands: pressure PA, temperature C, fault on|off, status, ammeter, help")};
    // Control characters shown, not sent: a NUL would cut the reply short.
    return {QStringLiteral("not understood: \"%1\" (try help)").arg(ShownText(line.simplified(), 200))};
}

} // namespace sim
