// One calibration record: the header of the certificate, the As-Found and
// As-Left points with what the instrument reported beside them, and the
// verdicts drawn from them. Plain values (Qt Core); the store keeps them and
// the certificate prints them.
#pragma once

#include "CalibrationMath.h"

#include <QDate>
#include <QDateTime>
#include <QString>
#include <QStringList>

#include <optional>
#include <vector>

namespace calib {

enum class TPhase { AsFound = 0, AsLeft = 1 };
const char *PhaseName(TPhase phase); // "As-Found", "As-Left"

// Pending: the instrument was adjusted and As-Left is not complete yet, so
// nothing is known about it as left (its As-Found verdict no longer applies).
enum class TVerdict { NotDone, Incomplete, Pass, Fail, Pending };
const char *VerdictText(TVerdict verdict); // "not done", "incomplete", "PASS", "FAIL", "pending"

// The language(s) of a record's certificate, chosen per record. Records from
// before the choice printed English, so that is what they keep.
enum class TCertificateLanguage { English, Hungarian, Bilingual };
const char *CertificateLanguageCode(TCertificateLanguage language); // "en", "hu", "hu-en"
std::optional<TCertificateLanguage> CertificateLanguageOf(const QString &code);

// A reference instrument of the check (pressure standard, ammeter, thermohygrometer).
struct TReference {
    QString role;
    QString name;
    QString serial;
    QString certificate;
    QDate due;
    // Expanded uncertainty (k = 2) from its certificate, in its own unit (the
    // instrument's pressure unit, mA, or °C), as typed; empty when not stated.
    QString uncertainty;
    bool operator==(const TReference &) const = default;
};

// One entered point: what the technician applied and read, and the
// instrument's own averaged reading at that moment.
struct TPoint {
    TPhase phase = TPhase::AsFound;
    int index = 0;      // position in the phase's sequence
    TDecimal percent;   // of span
    TDecimal applied;   // reference pressure, the instrument's unit
    TDecimal milliAmps; // reference ammeter
    std::optional<double> instrumentValue;     // mean of the last polls
    std::optional<double> instrumentMilliAmps; // mean of the last polls
    bool stable = false;
    // Sample standard deviation of the instrument's current over the averaged polls.
    std::optional<double> instrumentSpreadMilliAmps;
    QDateTime taken; // UTC
    bool operator==(const TPoint &) const = default;
};

struct TRecord {
    qint64 id = 0;
    QString certificate;
    QString tag;
    QString serial;
    QDateTime created; // UTC
    quint32 firmware = 0;             // DateCode as read
    quint32 foundCalibrationDate = 0; // DateCode as read before the check
    QString sensor;
    QString unit = QStringLiteral("Pa");
    std::vector<TReference> references;
    QString ambientTemperature; // degrees Celsius, as typed
    QString humidity;           // % RH, as typed
    QString technician;
    QString remarks;
    QDate nextDue;
    TCertificateLanguage certificateLanguage = TCertificateLanguage::English;
    TDecimal tolerance = kDefaultTolerance;
    std::vector<TDecimal> points{{0, 0}, {25, 0}, {50, 0}, {75, 0}, {100, 0}};
    bool hysteresis = false;
    std::optional<TSpan> span[2]; // per phase: taken when its first point is entered
    bool calibrated = false;          // calibration requests were acknowledged between the phases
    quint32 newCalibrationDate = 0;   // DateCode read after them
    bool finished = false;
    // A second person's approval of the finished record (empty: not approved).
    QString approvedBy;
    QDateTime approvedAt; // UTC
    std::vector<TPoint> entered;

    std::vector<TDecimal> Sequence() const { return calib::Sequence(points, hysteresis); }
    const TPoint *Find(TPhase phase, int index) const;
    // Sets or replaces the point of its phase and index.
    void Put(const TPoint &point);
    void Remove(TPhase phase, int index);
    bool HasPoints(TPhase phase) const;
    std::optional<TPointResult> Result(const TPoint &point) const;
    // U (k = 2) of the point's error; null while the pressure standard's or the
    // ammeter's U is not stated (or is no number) or the point has no spread.
    std::optional<TUncertainty> Uncertainty(const TPoint &point) const;
    TVerdict Verdict(TPhase phase) const;
    // After an adjustment: As-Left once all its points are in, pending until
    // then. Without one: As-Left when it was checked, else As-Found.
    TVerdict Overall() const;
};

// The reference instruments a new record starts with.
std::vector<TReference> DefaultReferences();
// The unit a reference's U is typed in (by its role): the instrument's for the
// pressure standard, mA for the ammeter, empty (as typed) for the others.
QString UncertaintyUnit(const QString &instrumentUnit, const QString &role);

// The record as CSV: header fields as key,value lines, then one row per point
// (RFC 4180 quoting, '.' as the decimal point, UTF-8).
QString ToCsv(const TRecord &record);
// ToCsv written whole or not at all (QSaveFile): a failed export never leaves
// half a file under the chosen name. False with the cause in error.
bool WriteCsv(const TRecord &record, const QString &path, QString &error);

QString DateCodeText(quint32 code); // 20161011 -> "2016.10.11.", 0 -> ""

} // namespace calib
