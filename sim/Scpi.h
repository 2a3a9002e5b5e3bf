// The reference instruments of a calibration station as the simulator plays
// them over SCPI: a DC ammeter in the current loop and a pressure controller
// driving the simulated pressure. Plain models, no I/O: a command line in, the
// answer line (if any) out, at a time on the simulator's millisecond clock.
#pragma once

#include <QByteArray>
#include <QList>
#include <QString>

#include <optional>
#include <random>

namespace sim {

class Instrument;

// How a reference instrument misbehaves, for the tests.
enum class ReferenceFault { None, Silent, Garbage, Late, Overload };

struct FaultSetting {
    ReferenceFault mode = ReferenceFault::None;
    int after = 0; // queries answered normally before the fault starts (MODE@N)
};

// "none", "silent", "garbage", "late" (and "overload" for the meter), each with
// an optional "@N"; false for anything else.
bool ParseFault(const QString &text, bool meter, FaultSetting &out);
QString FaultName(const FaultSetting &fault);

// Lines of a byte stream, ending in "\n" (a "\r" before it dropped). A line
// longer than kMaxLine marks the stream as overlong: the peer is not speaking SCPI.
class ScpiLines
{
public:
    static constexpr qsizetype kMaxLine = 4096;
    // The whole lines in data so far; false once a line grew past kMaxLine.
    bool Append(const QByteArray &data, QList<QByteArray> &lines);
    void Clear() { m_pending.clear(); }

private:
    QByteArray m_pending;
};

// An instrument's SCPI core: headers in their short or long form, any case,
// several commands in one line separated by ";", the error queue.
class ScpiDevice
{
public:
    explicit ScpiDevice(QByteArray identity) : m_identity(std::move(identity)) {}
    virtual ~ScpiDevice() = default;

    // The answer to a line, or nothing when it holds no query (or none understood).
    std::optional<QByteArray> Respond(const QByteArray &line, qint64 nowMs);
    // Whether a line holds a query (a header ending in "?").
    static bool IsQuery(const QByteArray &line);
    // Over range: reading queries answer +9.9E+37 (the meter's overload fault).
    bool overload = false;

protected:
    // A header's parts, upper case, without the leading ":"; "CURR" or
    // "CURRENT" both match the mnemonic CURRent given as ("CURR", "CURRENT").
    static bool Matches(const QList<QByteArray> &parts, std::initializer_list<std::pair<const char *, const char *>> nodes);
    // Runs one command; false when the header is unknown or its parameter is wrong
    // (the error is queued by the caller).
    virtual bool Execute(const QList<QByteArray> &header, bool query, const QByteArray &argument, qint64 nowMs,
                         QByteArray &answer) = 0;
    void QueueError(const char *error);

private:
    QByteArray m_identity;
    QList<QByteArray> m_errors;
};

// "%+.8E", as the instruments answer numbers.
QByteArray ScpiNumber(double value);

// The ammeter: the loop current in amperes, with an offset and Gaussian noise.
class MeterModel : public ScpiDevice
{
public:
    MeterModel(Instrument &instrument, quint32 seed, double offsetUa, double noiseUa);
    // What it reads now, in amperes.
    double Reading(qint64 nowMs);

protected:
    bool Execute(const QList<QByteArray> &header, bool query, const QByteArray &argument, qint64 nowMs,
                 QByteArray &answer) override;

private:
    Instrument &m_instrument;
    std::mt19937 m_rng;
    std::normal_distribution<double> m_noise{0.0, 1.0};
    double m_offsetUa;
    double m_noiseUa;
};

struct ControllerConfig {
    int settleMs = 2000;      // from a set point change until within limits
    double overshoot = 0.05;  // fraction of the step
    bool neverSettles = false; // keeps oscillating past the limits
};

// The pressure controller: while control is on, the pressure follows a
// second-order step response from where it was toward the set point.
class ControllerModel : public ScpiDevice
{
public:
    ControllerModel(Instrument &instrument, ControllerConfig config);
    // The pressure at nowMs; while control is on it is also the instrument's.
    double PressureAt(qint64 nowMs);
    // Within the limits of the set point for the last 200 ms.
    bool InLimitsAt(qint64 nowMs);
    bool ControlOn() const { return m_on; }
    double SetPoint() const { return m_setPoint; }
    // Within the limits: 0.02 % of the set point's magnitude or 0.05 Pa.
    static double Limit(double setPoint);

protected:
    bool Execute(const QList<QByteArray> &header, bool query, const QByteArray &argument, qint64 nowMs,
                 QByteArray &answer) override;

private:
    double Response(qint64 nowMs) const; // the pressure while controlling
    void StartStep(qint64 nowMs);

    Instrument &m_instrument;
    ControllerConfig m_config;
    bool m_kilo = false; // answers and set points in kPa
    bool m_on = false;
    double m_setPoint = 0.0;
    // the step in progress
    double m_from = 0.0;
    qint64 m_stepMs = 0;
    double m_decay = 1.0; // 1/s
    double m_omega = 1.0; // damped angular frequency, rad/s
    double m_zeta = 1.0;
};

} // namespace sim
