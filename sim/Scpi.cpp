#include "Scpi.h"

#include "Instrument.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <numbers>

namespace sim {

namespace {

constexpr qsizetype kMaxErrors = 20;
constexpr double kOverloadAnswer = 9.9e37;
constexpr qint64 kStableMs = 200;       // in limits this long before the flag turns 1
constexpr double kWobblePeriodS = 0.8;  // a controller that never settles

struct Fault {
    const char *name;
    ReferenceFault mode;
    bool meterOnly;
};
const Fault kFaults[] = {
    {"none", ReferenceFault::None, false},       {"silent", ReferenceFault::Silent, false},
    {"garbage", ReferenceFault::Garbage, false}, {"late", ReferenceFault::Late, false},
    {"overload", ReferenceFault::Overload, true},
};

QByteArray Upper(QByteArray text)
{
    return text.toUpper();
}

} // namespace

bool ParseFault(const QString &text, bool meter, FaultSetting &out)
{
    const QString t = text.trimmed().toLower();
    const qsizetype at = t.indexOf(QLatin1Char('@'));
    const QString name = at < 0 ? t : t.left(at);
    int after = 0;
    if (at >= 0) {
        bool ok = false;
        after = t.mid(at + 1).toInt(&ok);
        if (!ok || after < 0 || t.mid(at + 1).startsWith(QLatin1Char('+')))
            return false;
    }
    for (const Fault &f : kFaults)
        if (name == QLatin1String(f.name) && (meter || !f.meterOnly)) {
            out = {f.mode, after};
            return true;
        }
    return false;
}

QString FaultName(const FaultSetting &fault)
{
    for (const Fault &f : kFaults)
        if (f.mode == fault.mode)
            return fault.after > 0 ? QStringLiteral("%1 after %2 answers").arg(QLatin1String(f.name)).arg(fault.after)
                                   : QString::fromLatin1(f.name);
    return QStringLiteral("?");
}

bool ScpiLines::Append(const QByteArray &data, QList<QByteArray> &lines)
{
    m_pending.append(data);
    for (;;) {
        const qsizetype end = m_pending.indexOf('\n');
        if (end < 0)
            return m_pending.size() <= kMaxLine;
        if (end > kMaxLine)
            return false;
        QByteArray line = m_pending.left(end);
        m_pending.remove(0, end + 1);
        if (line.endsWith('\r'))
            line.chop(1);
        lines.append(line);
    }
}

QByteArray ScpiNumber(double value)
{
    char text[32];
    std::snprintf(text, sizeof text, "%+.8E", value);
    return QByteArray(text);
}

bool ScpiDevice::IsQuery(const QByteArray &line)
{
    for (const QByteArray &command : line.split(';')) {
        const QByteArray trimmed = command.trimmed();
        const qsizetype space = trimmed.indexOf(' ');
        if ((space < 0 ? trimmed : trimmed.left(space)).endsWith('?'))
            return true;
    }
    return false;
}

bool ScpiDevice::Matches(const QList<QByteArray> &parts,
                         std::initializer_list<std::pair<const char *, const char *>> nodes)
{
    if (parts.size() != static_cast<qsizetype>(nodes.size()))
        return false;
    qsizetype i = 0;
    for (const auto &[shortForm, longForm] : nodes) {
        const QByteArray &part = parts.at(i++);
        if (part != shortForm && part != longForm)
            return false;
    }
    return true;
}

void ScpiDevice::QueueError(const char *error)
{
    if (m_errors.size() >= kMaxErrors) {
        m_errors.last() = "-350,\"Queue overflow\"";
        return;
    }
    m_errors.append(error);
}

std::optional<QByteArray> ScpiDevice::Respond(const QByteArray &line, qint64 nowMs)
{
    QList<QByteArray> answers;
    for (const QByteArray &command : line.split(';')) {
        const QByteArray trimmed = command.trimmed();
        if (trimmed.isEmpty())
            continue;
        const qsizetype space = trimmed.indexOf(' ');
        QByteArray header = Upper(space < 0 ? trimmed : trimmed.left(space));
        const QByteArray argument = space < 0 ? QByteArray() : trimmed.mid(space + 1).trimmed();
        const bool query = header.endsWith('?');
        if (query)
            header.chop(1);
        if (header == "*IDN" && query) {
            answers.append(m_identity);
        } else if (header == "*CLS" || header == "*RST") {
            m_errors.clear();
        } else if (header == "*OPC" && query) {
            answers.append("1");
        } else if (Matches(header.startsWith(':') ? header.mid(1).split(':') : header.split(':'),
                           {{"SYST", "SYSTEM"}, {"ERR", "ERROR"}}) && query) {
            answers.append(m_errors.isEmpty() ? QByteArray("+0,\"No error\"") : m_errors.takeFirst());
        } else {
            QByteArray answer;
            const QList<QByteArray> parts = header.startsWith(':') ? header.mid(1).split(':') : header.split(':');
            if (!Execute(parts, query, argument, nowMs, answer))
                continue; // the error is queued; a bad query gets no answer
            if (query)
                answers.append(answer);
        }
    }
    if (answers.isEmpty())
        return std::nullopt;
    return answers.join(';');
}

// ---- the meter ---------------------------------------------------------------------------------------

MeterModel::MeterModel(Instrument &instrument, quint32 seed, double offsetUa, double noiseUa)
    : ScpiDevice("KV508SIM,AMMETER,SIM0001,1.0"), m_instrument(instrument),
      m_rng(seed ^ 0x6d657472u), // apart from the transmitter's own noise
      m_offsetUa(offsetUa), m_noiseUa(noiseUa)
{
}

double MeterModel::Reading(qint64 nowMs)
{
    const double noise = m_noiseUa > 0 ? m_noise(m_rng) * m_noiseUa : 0.0;
    return (m_instrument.LoopCurrentAt(nowMs) + m_offsetUa + noise) * 1e-6;
}

bool MeterModel::Execute(const QList<QByteArray> &header, bool query, const QByteArray &argument, qint64 nowMs,
                         QByteArray &answer)
{
    (void)argument; // range and resolution: this meter has one of each
    const bool read = Matches(header, {{"READ", "READ"}}) ||
                      Matches(header, {{"MEAS", "MEASURE"}, {"CURR", "CURRENT"}, {"DC", "DC"}}) ||
                      Matches(header, {{"MEAS", "MEASURE"}, {"CURR", "CURRENT"}});
    if (read && query) {
        answer = overload ? ScpiNumber(kOverloadAnswer) : ScpiNumber(Reading(nowMs));
        return true;
    }
    if (!query && (Matches(header, {{"CONF", "CONFIGURE"}, {"CURR", "CURRENT"}, {"DC", "DC"}}) ||
                   Matches(header, {{"CONF", "CONFIGURE"}, {"CURR", "CURRENT"}})))
        return true;
    QueueError("-113,\"Undefined header\"");
    return false;
}

// ---- the pressure controller -----------------------------------------------------------------------

ControllerModel::ControllerModel(Instrument &instrument, ControllerConfig config)
    : ScpiDevice("KV508SIM,PRESSURE CONTROLLER,SIM0002,1.0"), m_instrument(instrument), m_config(config)
{
    const double os = std::clamp(m_config.overshoot, 0.0, 0.9);
    // Damping from the overshoot of a second-order step: os = exp(-zeta pi / sqrt(1 - zeta^2)).
    m_zeta = os > 0 ? -std::log(os) / std::sqrt(std::numbers::pi * std::numbers::pi + std::log(os) * std::log(os)) : 1.0;
}

double ControllerModel::Limit(double setPoint)
{
    return std::max(std::abs(setPoint) * 2e-4, 0.05);
}

void ControllerModel::StartStep(qint64 nowMs)
{
    m_stepMs = nowMs;
    const double step = std::abs(m_setPoint - m_from);
    const double settleS = std::max(m_config.settleMs, 1) / 1000.0;
    // Chosen so that the envelope of the response is within the limits at settleMs.
    const double ratio = std::max(step / Limit(m_setPoint), 1.0);
    if (m_zeta < 1.0) {
        const double envelope = 1.0 / std::sqrt(1.0 - m_zeta * m_zeta);
        m_decay = std::max(std::log(ratio * envelope), 1.0) / settleS;
        m_omega = m_decay * std::sqrt(1.0 - m_zeta * m_zeta) / m_zeta;
    } else {
        // Critically damped: (1 + x) e^-x = 1/ratio, x = decay * settle.
        double x = std::max(std::log(ratio), 1.0);
        for (int i = 0; i < 30; ++i)
            x = std::log(ratio * (1.0 + x));
        m_decay = std::max(x, 1.0) / settleS;
    }
}

double ControllerModel::Response(qint64 nowMs) const
{
    const double t = std::max<qint64>(nowMs - m_stepMs, 0) / 1000.0;
    const double error = m_setPoint - m_from;
    const double fade = std::exp(-m_decay * t);
    double p = m_zeta < 1.0 ? m_setPoint - error * fade * (std::cos(m_omega * t) + m_decay / m_omega * std::sin(m_omega * t))
                            : m_setPoint - error * fade * (1.0 + m_decay * t);
    if (m_config.neverSettles)
        p += 5.0 * Limit(m_setPoint) * std::sin(2.0 * std::numbers::pi * t / kWobblePeriodS);
    return p;
}

double ControllerModel::PressureAt(qint64 nowMs)
{
    if (!m_on)
        return m_instrument.Pressure(); // holds (or what the console set)
    const double p = Response(nowMs);
    m_instrument.SetPressure(p);
    return p;
}

bool ControllerModel::InLimitsAt(qint64 nowMs)
{
    PressureAt(nowMs);
    if (!m_on || m_config.neverSettles || nowMs - m_stepMs < kStableMs)
        return false;
    // The response is a function of time: look back over the last 200 ms.
    const double limit = Limit(m_setPoint);
    for (qint64 back = 0; back <= kStableMs; back += 5)
        if (std::abs(Response(nowMs - back) - m_setPoint) > limit)
            return false;
    return true;
}

bool ControllerModel::Execute(const QList<QByteArray> &header, bool query, const QByteArray &argument, qint64 nowMs,
                              QByteArray &answer)
{
    const double unit = m_kilo ? 1000.0 : 1.0;
    const QByteArray arg = argument.toUpper();
    if (Matches(header, {{"UNIT", "UNIT"}, {"PRES", "PRESSURE"}})) {
        if (query) {
            answer = m_kilo ? "KPA" : "PA";
            return true;
        }
        if (arg != "PA" && arg != "KPA") {
            QueueError("-224,\"Illegal parameter value\"");
            return false;
        }
        m_kilo = arg == "KPA";
        return true;
    }
    if (Matches(header, {{"SOUR", "SOURCE"}, {"PRES", "PRESSURE"}})) {
        if (query) {
            answer = ScpiNumber(m_setPoint / unit);
            return true;
        }
        bool ok = false;
        const double value = argument.toDouble(&ok) * unit;
        if (!ok || !std::isfinite(value) || std::abs(value) > 1e7) {
            QueueError("-224,\"Illegal parameter value\"");
            return false;
        }
        m_from = PressureAt(nowMs);
        m_setPoint = value;
        StartStep(nowMs);
        return true;
    }
    if (Matches(header, {{"OUTP", "OUTPUT"}, {"STAT", "STATE"}}) || Matches(header, {{"OUTP", "OUTPUT"}})) {
        if (query) {
            answer = m_on ? "1" : "0";
            return true;
        }
        if (arg != "ON" && arg != "OFF" && arg != "1" && arg != "0") {
            QueueError("-224,\"Illegal parameter value\"");
            return false;
        }
        const bool on = arg == "ON" || arg == "1";
        if (on != m_on) {
            m_from = PressureAt(nowMs); // from where it is
            m_on = on;
            if (on)
                StartStep(nowMs);
        }
        return true;
    }
    if (query && Matches(header, {{"SENS", "SENSE"}, {"PRES", "PRESSURE"}})) {
        answer = ScpiNumber(PressureAt(nowMs) / unit);
        return true;
    }
    if (query && Matches(header, {{"SENS", "SENSE"}, {"PRES", "PRESSURE"}, {"INL", "INLIMITS"}})) {
        const bool in = InLimitsAt(nowMs);
        answer = ScpiNumber(PressureAt(nowMs) / unit) + (in ? ",1" : ",0");
        return true;
    }
    QueueError("-113,\"Undefined header\"");
    return false;
}

} // namespace sim
