#include "RecordStore.h"

#include <QSqlDatabase>
#include <QSqlError>
#include <QSqlQuery>
#include <QVariant>

#include <map>

namespace calib {

namespace {

QString DateText(const QDate &d)
{
    return d.isValid() ? d.toString(Qt::ISODate) : QString();
}

QDate DateOf(const QVariant &v)
{
    return QDate::fromString(v.toString(), Qt::ISODate);
}

QString DecimalText(const TDecimal &d)
{
    return QString::fromStdString(d.Text());
}

TDecimal DecimalOf(const QVariant &v)
{
    return ParseDecimal(v.toString().toStdString(), 9).value_or(TDecimal{});
}

QString PointsOf(const std::vector<TDecimal> &points)
{
    return QString::fromStdString(PointsText(points));
}

QVariant Optional(const std::optional<double> &v)
{
    return v ? QVariant(*v) : QVariant(QMetaType(QMetaType::Double));
}

std::optional<double> OptionalOf(const QVariant &v)
{
    if (v.isNull())
        return std::nullopt;
    return v.toDouble();
}

void BindSpan(QSqlQuery &q, const char *prefix, const std::optional<TSpan> &s)
{
    const QString p = QString::fromLatin1(prefix);
    const QVariant none(QMetaType(QMetaType::Int));
    q.bindValue(QLatin1Char(':') + p + QStringLiteral("_lower"), s ? QVariant(s->lower) : none);
    q.bindValue(QLatin1Char(':') + p + QStringLiteral("_upper"), s ? QVariant(s->upper) : none);
    q.bindValue(QLatin1Char(':') + p + QStringLiteral("_decimals"), s ? QVariant(s->decimals) : none);
}

std::optional<TSpan> SpanOf(const QSqlQuery &q, const char *prefix)
{
    const QString p = QString::fromLatin1(prefix);
    const QVariant lower = q.value(p + QStringLiteral("_lower"));
    if (lower.isNull())
        return std::nullopt;
    return TSpan{lower.toInt(), q.value(p + QStringLiteral("_upper")).toInt(), q.value(p + QStringLiteral("_decimals")).toInt()};
}

const char *kHeaderColumns = "certificate = coalesce(:certificate, ''), tag = coalesce(:tag, ''), serial = coalesce(:serial, ''), created = coalesce(:created, ''), firmware = :firmware,"
                             " found_calibration_date = :found_calibration_date, sensor = coalesce(:sensor, ''), unit = coalesce(:unit, ''),"
                             " ambient_temperature = coalesce(:ambient_temperature, ''), humidity = coalesce(:humidity, ''), technician = coalesce(:technician, ''),"
                             " remarks = coalesce(:remarks, ''), next_due = coalesce(:next_due, ''), tolerance = :tolerance, points = :points,"
                             " hysteresis = :hysteresis, found_lower = :found_lower, found_upper = :found_upper,"
                             " found_decimals = :found_decimals, left_lower = :left_lower, left_upper = :left_upper,"
                             " left_decimals = :left_decimals, calibrated = :calibrated,"
                             " new_calibration_date = :new_calibration_date, finished = :finished";

void BindHeader(QSqlQuery &q, const TRecord &r)
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
    q.bindValue(QStringLiteral(":finished"), r.finished ? 1 : 0);
}

// The header of the record the query stands on (SELECT * FROM records).
TRecord HeaderOf(const QSqlQuery &q)
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
    return r;
}

// One row of SELECT phase, idx, percent, applied, milliamps, instrument_value, instrument_milliamps, stable, taken.
TPoint PointOf(const QSqlQuery &pts, int first)
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
    return p;
}

} // namespace

const char *StoreErrorText(TStoreError error)
{
    switch (error) {
    case TStoreError::None: return "no error";
    case TStoreError::NoDriver: return "Qt's SQLite driver is missing";
    case TStoreError::CannotCreate: return "the folder for the records cannot be made";
    case TStoreError::CannotOpen: return "the record database cannot be opened";
    case TStoreError::NewerSchema: return "the record database was written by a newer version of this tool";
    case TStoreError::MigrationFailed: return "the record database could not be brought up to date";
    case TStoreError::WriteFailed: return "the record could not be written";
    case TStoreError::ReadFailed: return "the records could not be read";
    case TStoreError::NotFound: return "no such record";
    case TStoreError::Finished: return "the record is finished and is not changed any more";
    case TStoreError::CertificateTaken: return "the certificate number is taken";
    case TStoreError::Refused: return "the request cannot be met now";
    }
    return "unknown error";
}

bool TRecordStore::WriteReferences(const TRecord &record)
{
    QSqlDatabase db = QSqlDatabase::database(m_connection, false);
    QSqlQuery del(db);
    del.prepare(QStringLiteral("DELETE FROM reference_instruments WHERE record_id = ?"));
    del.addBindValue(record.id);
    if (!del.exec())
        return false;
    QSqlQuery q(db);
    q.prepare(QStringLiteral("INSERT INTO reference_instruments (record_id, position, role, name, serial, certificate, due)"
                             " VALUES (?, ?, coalesce(?, ''), coalesce(?, ''), coalesce(?, ''), coalesce(?, ''), coalesce(?, ''))"));
    for (size_t i = 0; i < record.references.size(); ++i) {
        const TReference &r = record.references[i];
        const QVariant values[] = {record.id, int(i), r.role, r.name, r.serial, r.certificate, DateText(r.due)};
        for (int v = 0; v < int(std::size(values)); ++v)
            q.bindValue(v, values[v]);
        if (!q.exec()) {
            m_message = q.lastError().text();
            return false;
        }
    }
    return true;
}

bool TRecordStore::Create(TRecord &record, int certificateYear)
{
    if (!m_open)
        return false;
    QSqlDatabase db = QSqlDatabase::database(m_connection, false);
    if (!db.transaction())
        return Fail(TStoreError::WriteFailed, db.lastError().text());
    QSqlQuery q(db);
    q.prepare(QStringLiteral("INSERT INTO records (certificate, tag, serial, created, tolerance, points) VALUES ('', '', '', '', '', '')"));
    if (!q.exec()) {
        const QString error = q.lastError().text();
        db.rollback();
        return Fail(TStoreError::WriteFailed, error);
    }
    record.id = q.lastInsertId().toLongLong();
    if (certificateYear != 0) {
        // The insert holds the file's write lock: nobody else numbers meanwhile.
        record.certificate = NextCertificateNumber(certificateYear);
        if (record.certificate.isEmpty()) {
            db.rollback();
            record.id = 0;
            return Fail(TStoreError::WriteFailed, QStringLiteral("the last certificate number could not be read"));
        }
    } else if (!CertificateFree(record.id, record.certificate)) {
        db.rollback();
        record.id = 0;
        return false;
    }
    QSqlQuery u(db);
    u.prepare(QStringLiteral("UPDATE records SET %1 WHERE id = :id").arg(QString::fromLatin1(kHeaderColumns)));
    BindHeader(u, record);
    u.bindValue(QStringLiteral(":id"), record.id);
    m_message.clear();
    if (!u.exec() || !WriteReferences(record) || !db.commit()) {
        const QString error = u.lastError().isValid() ? u.lastError().text() : !m_message.isEmpty() ? m_message : db.lastError().text();
        db.rollback();
        record.id = 0;
        return WriteFailed(error, record.certificate);
    }
    return true;
}

bool TRecordStore::SaveHeader(const TRecord &record)
{
    if (!m_open)
        return false;
    QSqlDatabase db = QSqlDatabase::database(m_connection, false);
    if (!db.transaction())
        return Fail(TStoreError::WriteFailed, db.lastError().text());
    // A finished record stays as it was signed; a number typed over the one
    // it had must be nobody else's.
    QSqlQuery old(db);
    old.prepare(QStringLiteral("SELECT certificate, finished FROM records WHERE id = ?"));
    old.addBindValue(record.id);
    if (!old.exec() || !old.next()) {
        const QString error = old.lastError().text();
        old.finish();
        db.rollback();
        return error.isEmpty() ? Fail(TStoreError::NotFound, QStringLiteral("record %1").arg(record.id)) : Fail(TStoreError::WriteFailed, error);
    }
    const bool finished = old.value(1).toInt() != 0;
    const bool renumbered = old.value(0).toString() != record.certificate;
    old.finish();
    if (finished) {
        db.rollback();
        return Fail(TStoreError::Finished, QStringLiteral("record %1").arg(record.id));
    }
    if (renumbered && !CertificateFree(record.id, record.certificate)) {
        db.rollback();
        return false;
    }
    QSqlQuery u(db);
    u.prepare(QStringLiteral("UPDATE records SET %1 WHERE id = :id AND finished = 0").arg(QString::fromLatin1(kHeaderColumns)));
    BindHeader(u, record);
    u.bindValue(QStringLiteral(":id"), record.id);
    if (!u.exec()) {
        const QString error = u.lastError().text();
        db.rollback();
        return WriteFailed(error, record.certificate);
    }
    if (u.numRowsAffected() != 1) {
        db.rollback();
        return Fail(TStoreError::Finished, QStringLiteral("record %1").arg(record.id));
    }
    // A number stored twice before numbers were unique, left for a free one:
    // that one is the record's alone (a repeat of it never existed).
    QSqlQuery reset(db);
    if (renumbered) {
        reset.prepare(QStringLiteral("UPDATE records SET certificate_repeat = 0 WHERE id = ?"));
        reset.addBindValue(record.id);
    }
    m_message.clear();
    if ((renumbered && !reset.exec()) || !WriteReferences(record) || !db.commit()) {
        if (reset.lastError().isValid())
            m_message = reset.lastError().text();
        const QString error = !m_message.isEmpty() ? m_message : db.lastError().text();
        db.rollback();
        return Fail(TStoreError::WriteFailed, error);
    }
    return true;
}

bool TRecordStore::WriteFailed(const QString &error, const QString &certificate)
{
    // The unique index refused the number: another tool on the file took it
    // between the check and the write.
    if (error.contains(QStringLiteral("UNIQUE")) && error.contains(QStringLiteral("records.certificate")))
        return Fail(TStoreError::CertificateTaken, QStringLiteral("%1 was just given to another record. Type another number.").arg(certificate));
    return Fail(TStoreError::WriteFailed, error);
}

bool TRecordStore::SavePoint(qint64 recordId, const TPoint &p)
{
    if (!m_open)
        return false;
    QSqlQuery q(QSqlDatabase::database(m_connection, false));
    // One statement: its own transaction, committed (and synced) when exec returns.
    q.prepare(QStringLiteral("INSERT OR REPLACE INTO points (record_id, phase, idx, percent, applied, milliamps, instrument_value,"
                             " instrument_milliamps, stable, taken)"
                             " SELECT id, ?, ?, ?, ?, ?, ?, ?, ?, ? FROM records WHERE id = ? AND finished = 0"));
    q.addBindValue(int(p.phase));
    q.addBindValue(p.index);
    q.addBindValue(DecimalText(p.percent));
    q.addBindValue(DecimalText(p.applied));
    q.addBindValue(DecimalText(p.milliAmps));
    q.addBindValue(Optional(p.instrumentValue));
    q.addBindValue(Optional(p.instrumentMilliAmps));
    q.addBindValue(p.stable ? 1 : 0);
    q.addBindValue(p.taken.toUTC().toString(Qt::ISODateWithMs));
    q.addBindValue(recordId);
    if (!q.exec())
        return Fail(TStoreError::WriteFailed, q.lastError().text());
    if (q.numRowsAffected() != 1)
        return Fail(TStoreError::Finished, QStringLiteral("record %1 is finished or gone").arg(recordId));
    return true;
}

std::optional<TRecord> TRecordStore::Load(qint64 id)
{
    if (!m_open)
        return std::nullopt;
    QSqlDatabase db = QSqlDatabase::database(m_connection, false);
    QSqlQuery q(db);
    q.prepare(QStringLiteral("SELECT * FROM records WHERE id = ?"));
    q.addBindValue(id);
    if (!q.exec()) {
        Fail(TStoreError::ReadFailed, q.lastError().text());
        return std::nullopt;
    }
    if (!q.next()) {
        Fail(TStoreError::NotFound, QStringLiteral("record %1").arg(id));
        return std::nullopt;
    }
    TRecord r = HeaderOf(q);
    r.id = id;
    q.finish();

    QSqlQuery refs(db);
    refs.prepare(QStringLiteral("SELECT role, name, serial, certificate, due FROM reference_instruments WHERE record_id = ? ORDER BY position"));
    refs.addBindValue(id);
    if (!refs.exec()) {
        Fail(TStoreError::ReadFailed, refs.lastError().text());
        return std::nullopt;
    }
    while (refs.next())
        r.references.push_back({refs.value(0).toString(), refs.value(1).toString(), refs.value(2).toString(),
                                refs.value(3).toString(), DateOf(refs.value(4))});

    QSqlQuery pts(db);
    pts.prepare(QStringLiteral("SELECT phase, idx, percent, applied, milliamps, instrument_value, instrument_milliamps, stable, taken"
                               " FROM points WHERE record_id = ? ORDER BY phase, idx"));
    pts.addBindValue(id);
    if (!pts.exec()) {
        Fail(TStoreError::ReadFailed, pts.lastError().text());
        return std::nullopt;
    }
    while (pts.next())
        r.entered.push_back(PointOf(pts, 0));
    return r;
}

std::vector<TRecordSummary> TRecordStore::History(const QString &tag)
{
    std::vector<TRecordSummary> out;
    if (!m_open)
        return out;
    QSqlDatabase db = QSqlDatabase::database(m_connection, false);
    // Two queries for the whole list: the headers, then every point of them.
    const QString where = tag.isEmpty() ? QString() : QStringLiteral(" WHERE tag = ?");
    QSqlQuery q(db);
    q.prepare(QStringLiteral("SELECT * FROM records%1 ORDER BY created DESC, id DESC").arg(where));
    if (!tag.isEmpty())
        q.addBindValue(tag);
    if (!q.exec()) {
        Fail(TStoreError::ReadFailed, q.lastError().text());
        return out;
    }
    std::vector<TRecord> records;
    std::map<qint64, size_t> at;
    while (q.next()) {
        at[q.value(QStringLiteral("id")).toLongLong()] = records.size();
        records.push_back(HeaderOf(q));
    }
    q.finish();
    QSqlQuery pts(db);
    pts.prepare(QStringLiteral("SELECT record_id, phase, idx, percent, applied, milliamps, instrument_value, instrument_milliamps, stable, taken"
                               " FROM points WHERE record_id IN (SELECT id FROM records%1)").arg(where));
    if (!tag.isEmpty())
        pts.addBindValue(tag);
    if (!pts.exec()) {
        Fail(TStoreError::ReadFailed, pts.lastError().text());
        return out;
    }
    while (pts.next()) {
        const auto it = at.find(pts.value(0).toLongLong());
        if (it != at.end())
            records[it->second].entered.push_back(PointOf(pts, 1));
    }
    for (const TRecord &r : records)
        out.push_back({r.id, r.certificate, r.tag, r.serial, r.created, r.calibrated, r.finished, r.Verdict(TPhase::AsFound),
                       r.Verdict(TPhase::AsLeft)});
    return out;
}

QStringList TRecordStore::Tags()
{
    QStringList tags;
    if (!m_open)
        return tags;
    QSqlQuery q(QSqlDatabase::database(m_connection, false));
    if (!q.exec(QStringLiteral("SELECT DISTINCT tag FROM records WHERE tag <> '' ORDER BY tag COLLATE NOCASE"))) {
        Fail(TStoreError::ReadFailed, q.lastError().text());
        return tags;
    }
    while (q.next())
        tags << q.value(0).toString();
    return tags;
}

} // namespace calib
