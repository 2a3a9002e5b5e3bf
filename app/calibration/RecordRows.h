// The rows of the record tables as values and back: shared by the store's
// writes and its reads. Internal to the store.
#pragma once

#include "CalibrationRecord.h"

#include <QSqlQuery>
#include <QVariant>

namespace calib::rows {

inline QString DateText(const QDate &d)
{
    return d.isValid() ? d.toString(Qt::ISODate) : QString();
}

inline QDate DateOf(const QVariant &v)
{
    return QDate::fromString(v.toString(), Qt::ISODate);
}

inline QString DecimalText(const TDecimal &d)
{
    return QString::fromStdString(d.Text());
}

inline TDecimal DecimalOf(const QVariant &v)
{
    return ParseDecimal(v.toString().toStdString(), 9).value_or(TDecimal{});
}

inline QString PointsOf(const std::vector<TDecimal> &points)
{
    return QString::fromStdString(PointsText(points));
}

inline QVariant Optional(const std::optional<double> &v)
{
    return v ? QVariant(*v) : QVariant(QMetaType(QMetaType::Double));
}

inline std::optional<double> OptionalOf(const QVariant &v)
{
    if (v.isNull())
        return std::nullopt;
    return v.toDouble();
}

inline void BindSpan(QSqlQuery &q, const char *prefix, const std::optional<TSpan> &s)
{
    const QString p = QString::fromLatin1(prefix);
    const QVariant none(QMetaType(QMetaType::Int));
    q.bindValue(QLatin1Char(':') + p + QStringLiteral("_lower"), s ? QVariant(s->lower) : none);
    q.bindValue(QLatin1Char(':') + p + QStringLiteral("_upper"), s ? QVariant(s->upper) : none);
    q.bindValue(QLatin1Char(':') + p + QStringLiteral("_decimals"), s ? QVariant(s->decimals) : none);
}

inline std::optional<TSpan> SpanOf(const QSqlQuery &q, const char *prefix)
{
    const QString p = QString::fromLatin1(prefix);
    const QVariant lower = q.value(p + QStringLiteral("_lower"));
    if (lower.isNull())
        return std::nullopt;
    return TSpan{lower.toInt(), q.value(p + QStringLiteral("_upper")).toInt(), q.value(p + QStringLiteral("_decimals")).toInt()};
}

inline const char *kHeaderColumns = "certificate = coalesce(:certificate, ''), tag = coalesce(:tag, ''), serial = coalesce(:serial, ''), created = coalesce(:created, ''), firmware = :firmware,"
                             " found_calibration_date = :found_calibration_date, sensor = coalesce(:sensor, ''), unit = coalesce(:unit, ''),"
                             " ambient_temperature = coalesce(:ambient_temperature, ''), humidity = coalesce(:humidity, ''), technician = coalesce(:technician, ''),"
                             " remarks = coalesce(:remarks, ''), next_due = coalesce(:next_due, ''), tolerance = :tolerance, points = :points,"
                             " hysteresis = :hysteresis, found_lower = :found_lower, found_upper = :found_upper,"
                             " found_decimals = :found_decimals, left_lower = :left_lower, left_upper = :left_upper,"
                             " left_decimals = :left_decimals, calibrated = :calibrated,"
                             " new_calibration_date = :new_calibration_date, certificate_language = :certificate_language, finished = :finished";

inline void BindHeader(QSqlQuery &q, const TRecord &r)
{
    q.bindValue(QStringLiteral(":certificate"), r.certificate);
    q.bindValue(QStringLiteral(":tag"), r.tag);
    q.bindValue(QStringLiteral(":serial"), r.serial);
    q.bindValue(QStringLiteral(":created"), r.created.toUTC().toString(Qt::ISODateWithMs));
    q.bindValue(QStringLiteral(":firmware"), qint64(r.firmware));
    q.bindValue(QStringLiteral(":found_calibration_date"), qint64(r.foundCalibrationDate));
    q.bindValue(QStringLiteral(":sensor"), r.sensor);
    q.bindValue(QStringLiteral(":unit"), r.unit);
    q.bindValue(QStringLiteral(":ambient_temperature"), r.ambientTemperature);
    q.bindValue(QStringLiteral(":humidity"), r.humidity);
    q.bindValue(QStringLiteral(":technician"), r.technician);
    q.bindValue(QStringLiteral(":remarks"), r.remarks);
    q.bindValue(QStringLiteral(":next_due"), DateText(r.nextDue));
    q.bindValue(QStringLiteral(":tolerance"), DecimalText(r.tolerance));
    q.bindValue(QStringLiteral(":points"), PointsOf(r.points));
    q.bindValue(QStringLiteral(":hysteresis"), r.hysteresis ? 1 : 0);
    BindSpan(q, "found", r.span[0]);
    BindSpan(q, "left", r.span[1]);
    q.bindValue(QStringLiteral(":calibrated"), r.calibrated ? 1 : 0);
    q.bindValue(QStringLiteral(":new_calibration_date"), qint64(r.newCalibrationDate));
    q.bindValue(QStringLiteral(":certificate_language"), QString::fromLatin1(CertificateLanguageCode(r.certificateLanguage)));
    q.bindValue(QStringLiteral(":finished"), r.finished ? 1 : 0);
}

// The header of the record the query stands on (SELECT * FROM records).
inline TRecord HeaderOf(const QSqlQuery &q)
{
    TRecord r;
    r.id = q.value(QStringLiteral("id")).toLongLong();
    r.certificate = q.value(QStringLiteral("certificate")).toString();
    r.tag = q.value(QStringLiteral("tag")).toString();
    r.serial = q.value(QStringLiteral("serial")).toString();
    r.created = QDateTime::fromString(q.value(QStringLiteral("created")).toString(), Qt::ISODateWithMs);
    r.firmware = quint32(q.value(QStringLiteral("firmware")).toLongLong());
    r.foundCalibrationDate = quint32(q.value(QStringLiteral("found_calibration_date")).toLongLong());
    r.sensor = q.value(QStringLiteral("sensor")).toString();
    r.unit = q.value(QStringLiteral("unit")).toString();
    r.ambientTemperature = q.value(QStringLiteral("ambient_temperature")).toString();
    r.humidity = q.value(QStringLiteral("humidity")).toString();
    r.technician = q.value(QStringLiteral("technician")).toString();
    r.remarks = q.value(QStringLiteral("remarks")).toString();
    r.nextDue = DateOf(q.value(QStringLiteral("next_due")));
    r.tolerance = DecimalOf(q.value(QStringLiteral("tolerance")));
    r.points = ParsePoints(q.value(QStringLiteral("points")).toString().toStdString()).value_or(std::vector<TDecimal>{});
    r.hysteresis = q.value(QStringLiteral("hysteresis")).toInt() != 0;
    r.span[0] = SpanOf(q, "found");
    r.span[1] = SpanOf(q, "left");
    r.calibrated = q.value(QStringLiteral("calibrated")).toInt() != 0;
    r.newCalibrationDate = quint32(q.value(QStringLiteral("new_calibration_date")).toLongLong());
    r.finished = q.value(QStringLiteral("finished")).toInt() != 0;
    // A code a newer tool wrote and this one does not know prints as before the choice.
    r.certificateLanguage = CertificateLanguageOf(q.value(QStringLiteral("certificate_language")).toString()).value_or(TCertificateLanguage::English);
    r.approvedBy = q.value(QStringLiteral("approved_by")).toString();
    r.approvedAt = QDateTime::fromString(q.value(QStringLiteral("approved_at")).toString(), Qt::ISODateWithMs);
    return r;
}

// The columns PointOf reads, in its order.
inline const char *kPointColumns = "phase, idx, percent, applied, milliamps, instrument_value, instrument_milliamps, stable, taken, instrument_spread_milliamps";

// One row of SELECT kPointColumns.
inline TPoint PointOf(const QSqlQuery &pts, int first)
{
    TPoint p;
    p.phase = pts.value(first).toInt() == 1 ? TPhase::AsLeft : TPhase::AsFound;
    p.index = pts.value(first + 1).toInt();
    p.percent = DecimalOf(pts.value(first + 2));
    p.applied = DecimalOf(pts.value(first + 3));
    p.milliAmps = DecimalOf(pts.value(first + 4));
    p.instrumentValue = OptionalOf(pts.value(first + 5));
    p.instrumentMilliAmps = OptionalOf(pts.value(first + 6));
    p.stable = pts.value(first + 7).toInt() != 0;
    p.taken = QDateTime::fromString(pts.value(first + 8).toString(), Qt::ISODateWithMs);
    p.instrumentSpreadMilliAmps = OptionalOf(pts.value(first + 9));
    return p;
}


} // namespace calib::rows
