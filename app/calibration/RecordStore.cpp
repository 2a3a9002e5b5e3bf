// The store's writes: each one transaction with its rows of the audit trail,
// so a change and the record of who made it are committed together or not at all.
#include "RecordStore.h"

#include "RecordRows.h"

#include <QSqlDatabase>
#include <QSqlDriver>
#include <QSqlError>
#include <QSqlQuery>
#include <QVariant>

namespace calib {

using namespace rows;

namespace {

QString SpanText(const std::optional<TSpan> &s)
{
    return s ? QStringLiteral("%1 .. %2").arg(QString::fromStdString(s->Lower().Text()), QString::fromStdString(s->Upper().Text())) : QString();
}

QString ReferenceText(const TReference &r)
{
    return QStringList{r.name, r.serial, r.certificate, DateText(r.due), r.uncertainty}.join(QStringLiteral(" | "));
}

QString PointText(const TPoint &p)
{
    return QStringLiteral("%1 applied, %2 mA (instrument %3, %4 mA)")
        .arg(DecimalText(p.applied), DecimalText(p.milliAmps),
             p.instrumentValue ? QString::number(*p.instrumentValue, 'g', 10) : QStringLiteral("-"),
             p.instrumentMilliAmps ? QString::number(*p.instrumentMilliAmps, 'f', 4) : QStringLiteral("-"));
}

QString PointField(TPhase phase, int index)
{
    return QStringLiteral("%1 %2").arg(QString::fromLatin1(PhaseName(phase))).arg(index + 1);
}

// The first text field holding a NUL character, which a server cannot keep.
QString NulField(const TRecord &r)
{
    const std::pair<const char *, const QString *> fields[] = {
        {"certificate number", &r.certificate}, {"tag", &r.tag}, {"serial", &r.serial}, {"sensor", &r.sensor}, {"unit", &r.unit},
        {"technician", &r.technician}, {"ambient temperature", &r.ambientTemperature}, {"humidity", &r.humidity}, {"remarks", &r.remarks}};
    for (const auto &[name, text] : fields)
        if (text->contains(QChar(0)))
            return QString::fromLatin1(name);
    for (const TReference &ref : r.references)
        for (const QString *text : {&ref.role, &ref.name, &ref.serial, &ref.certificate, &ref.uncertainty})
            if (text->contains(QChar(0)))
                return QStringLiteral("reference instrument (%1)").arg(ref.role);
    return QString();
}

QString Flag(bool b)
{
    return b ? QStringLiteral("yes") : QStringLiteral("no");
}

} // namespace

const char *StoreErrorText(TStoreError error)
{
    switch (error) {
    case TStoreError::None: return "no error";
    case TStoreError::NoDriver: return "Qt's database driver is missing";
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
    case TStoreError::Unreachable: return "the records server cannot be reached";
    }
    return "unknown error";
}

bool TRecordStore::Begin()
{
    QSqlDatabase db = QSqlDatabase::database(m_connection, false);
    if (IsServer())
        return db.transaction() || Failed(TStoreError::WriteFailed, db.lastError());
    // The file's write lock at once: a transaction that reads first and then
    // writes would be refused outright ("database is locked") when another
    // tool writes meanwhile, instead of waiting its turn.
    QSqlQuery q(db);
    return q.exec(QStringLiteral("BEGIN IMMEDIATE")) || Failed(TStoreError::WriteFailed, q.lastError());
}

bool TRecordStore::WriteAudit(qint64 recordId, const QString &technician, const QString &what, const QString &field,
                              const QString &oldValue, const QString &newValue)
{
    QSqlQuery q(QSqlDatabase::database(m_connection, false));
    q.prepare(QStringLiteral("INSERT INTO audit (record_id, os_user, technician, bench, what, field, old_value, new_value)"
                             " VALUES (?, coalesce(?, ''), coalesce(?, ''), coalesce(?, ''), ?, coalesce(?, ''), coalesce(?, ''), coalesce(?, ''))"));
    for (const QVariant &v : {QVariant(recordId), QVariant(m_actor.osUser), QVariant(technician), QVariant(m_actor.bench), QVariant(what),
                              QVariant(field), QVariant(oldValue), QVariant(newValue)})
        q.addBindValue(v);
    if (!q.exec())
        return Failed(TStoreError::WriteFailed, q.lastError());
    return true;
}

bool TRecordStore::AuditHeader(const TRecord &b, const TRecord &a)
{
    const std::pair<const char *, std::pair<QString, QString>> fields[] = {
        {"certificate", {b.certificate, a.certificate}},
        {"tag", {b.tag, a.tag}},
        {"serial", {b.serial, a.serial}},
        {"technician", {b.technician, a.technician}},
        {"ambient temperature", {b.ambientTemperature, a.ambientTemperature}},
        {"humidity", {b.humidity, a.humidity}},
        {"remarks", {b.remarks, a.remarks}},
        {"next due", {DateText(b.nextDue), DateText(a.nextDue)}},
        {"tolerance", {DecimalText(b.tolerance), DecimalText(a.tolerance)}},
        {"points", {PointsOf(b.points), PointsOf(a.points)}},
        {"hysteresis", {Flag(b.hysteresis), Flag(a.hysteresis)}},
        {"As-Found span", {SpanText(b.span[0]), SpanText(a.span[0])}},
        {"As-Left span", {SpanText(b.span[1]), SpanText(a.span[1])}},
        {"calibrated", {Flag(b.calibrated), Flag(a.calibrated)}},
        {"new calibration date", {DateCodeText(b.newCalibrationDate), DateCodeText(a.newCalibrationDate)}},
        {"certificate language", {QString::fromLatin1(CertificateLanguageCode(b.certificateLanguage)),
                                  QString::fromLatin1(CertificateLanguageCode(a.certificateLanguage))}},
    };
    for (const auto &[name, values] : fields)
        if (values.first != values.second && !WriteAudit(a.id, a.technician, QStringLiteral("header"), QString::fromLatin1(name), values.first, values.second))
            return false;
    const size_t n = std::max(b.references.size(), a.references.size());
    for (size_t i = 0; i < n; ++i) {
        const QString before = i < b.references.size() ? ReferenceText(b.references[i]) : QString();
        const QString after = i < a.references.size() ? ReferenceText(a.references[i]) : QString();
        const QString role = i < a.references.size() ? a.references[i].role : b.references[i].role;
        if (before != after && !WriteAudit(a.id, a.technician, QStringLiteral("header"), QStringLiteral("reference: ") + role, before, after))
            return false;
    }
    return true;
}

bool TRecordStore::WriteReferences(const TRecord &record)
{
    QSqlDatabase db = QSqlDatabase::database(m_connection, false);
    QSqlQuery del(db);
    del.prepare(QStringLiteral("DELETE FROM reference_instruments WHERE record_id = ?"));
    del.addBindValue(record.id);
    if (!del.exec())
        return Failed(TStoreError::WriteFailed, del.lastError());
    QSqlQuery q(db);
    q.prepare(QStringLiteral("INSERT INTO reference_instruments (record_id, position, role, name, serial, certificate, due, uncertainty)"
                             " VALUES (?, ?, coalesce(?, ''), coalesce(?, ''), coalesce(?, ''), coalesce(?, ''), coalesce(?, ''), coalesce(?, ''))"));
    for (size_t i = 0; i < record.references.size(); ++i) {
        const TReference &r = record.references[i];
        const QVariant values[] = {record.id, int(i), r.role, r.name, r.serial, r.certificate, DateText(r.due), r.uncertainty};
        for (int v = 0; v < int(std::size(values)); ++v)
            q.bindValue(v, values[v]);
        if (!q.exec())
            return Failed(TStoreError::WriteFailed, q.lastError());
    }
    return true;
}

bool TRecordStore::Refuse(const TRecord &record)
{
    const QString field = IsServer() ? NulField(record) : QString();
    if (field.isEmpty())
        return false;
    Fail(TStoreError::Refused, QStringLiteral("the %1 holds a NUL character (code 0), which the records server cannot keep. Remove it and save again.")
                                   .arg(field));
    return true;
}

bool TRecordStore::Create(TRecord &record, int certificateYear)
{
    if (!Ready(true) || Refuse(record))
        return false;
    QSqlDatabase db = QSqlDatabase::database(m_connection, false);
    if (!Begin())
        return false;
    const auto undo = [&](bool result) {
        db.rollback();
        record.id = 0;
        return result;
    };
    if (IsServer()) {
        // Benches number one at a time: the lock lasts until this transaction ends.
        QSqlQuery lock(db);
        if (!lock.exec(QStringLiteral("SELECT pg_advisory_xact_lock(5080001)")))
            return undo(Failed(TStoreError::WriteFailed, lock.lastError()));
    }
    QSqlQuery q(db);
    // On a file the insert takes its write lock: nobody else numbers meanwhile.
    if (!q.exec(QStringLiteral("INSERT INTO records (certificate, tag, serial, created, tolerance, points) VALUES ('', '', '', '', '', '') RETURNING id")) ||
        !q.next())
        return undo(Failed(TStoreError::WriteFailed, q.lastError()));
    record.id = q.value(0).toLongLong();
    q.finish();
    if (certificateYear != 0) {
        record.certificate = NextCertificateNumber(certificateYear);
        if (record.certificate.isEmpty())
            return undo(Fail(TStoreError::WriteFailed, QStringLiteral("the last certificate number could not be read")));
    } else if (!CertificateFree(record.id, record.certificate)) {
        return undo(false);
    }
    QSqlQuery u(db);
    u.prepare(QStringLiteral("UPDATE records SET %1 WHERE id = :id").arg(QString::fromLatin1(kHeaderColumns)));
    BindHeader(u, record);
    u.bindValue(QStringLiteral(":id"), record.id);
    if (!u.exec())
        return undo(WriteFailed(u.lastError(), record.certificate));
    if (!WriteReferences(record) || !WriteAudit(record.id, record.technician, QStringLiteral("created"), QString(), QString(), record.certificate))
        return undo(false);
    if (!db.commit())
        return undo(Failed(TStoreError::WriteFailed, db.lastError()));
    return true;
}

bool TRecordStore::SaveHeader(const TRecord &record)
{
    return WriteHeader(record, false);
}

bool TRecordStore::Finish(const TRecord &record)
{
    return WriteHeader(record, true);
}

bool TRecordStore::WriteHeader(const TRecord &given, bool finishing)
{
    if (!Ready(true) || Refuse(given))
        return false;
    QSqlDatabase db = QSqlDatabase::database(m_connection, false);
    if (!Begin())
        return false;
    const auto undo = [&](bool result) {
        db.rollback();
        return result;
    };
    // A finished record stays as it was signed; a number typed over the one
    // it had must be nobody else's.
    const std::optional<TRecord> old = Load(given.id);
    if (!old)
        return undo(false);
    if (old->finished)
        return undo(Fail(TStoreError::Finished, QStringLiteral("record %1").arg(given.id)));
    TRecord record = given;
    record.finished = finishing || given.finished;
    const bool renumbered = old->certificate != record.certificate;
    if (renumbered && !CertificateFree(record.id, record.certificate))
        return undo(false);
    // The references first: once the header says finished, nothing of the record changes.
    if (!WriteReferences(record))
        return undo(false);
    QSqlQuery u(db);
    u.prepare(QStringLiteral("UPDATE records SET %1 WHERE id = :id AND finished = 0").arg(QString::fromLatin1(kHeaderColumns)));
    BindHeader(u, record);
    u.bindValue(QStringLiteral(":id"), record.id);
    if (!u.exec())
        return undo(WriteFailed(u.lastError(), record.certificate));
    if (u.numRowsAffected() != 1)
        return undo(Fail(TStoreError::Finished, QStringLiteral("record %1").arg(record.id)));
    // A number stored twice before numbers were unique, left for a free one:
    // that one is the record's alone (a repeat of it never existed).
    if (renumbered) {
        QSqlQuery reset(db);
        reset.prepare(QStringLiteral("UPDATE records SET certificate_repeat = 0 WHERE id = ?"));
        reset.addBindValue(record.id);
        if (!reset.exec())
            return undo(Failed(TStoreError::WriteFailed, reset.lastError()));
    }
    if (!AuditHeader(*old, record))
        return undo(false);
    TRecord stored = record; // the verdict of the points stored, whatever the caller holds
    stored.entered = old->entered;
    if (record.finished && !WriteAudit(record.id, record.technician, QStringLiteral("finished"), QString(), QString(),
                                 QString::fromLatin1(VerdictText(stored.Overall()))))
        return undo(false);
    if (!db.commit())
        return undo(Failed(TStoreError::WriteFailed, db.lastError()));
    return true;
}

bool TRecordStore::WriteFailed(const QSqlError &error, const QString &certificate)
{
    // The unique index refused the number: another tool took it between the check and the write.
    const QString text = error.text();
    if ((text.contains(QStringLiteral("UNIQUE")) && text.contains(QStringLiteral("records.certificate"))) ||
        (error.nativeErrorCode() == QLatin1String("23505") && text.contains(QStringLiteral("records_certificate"))) ||
        text.contains(QStringLiteral("\"records_certificate\"")))
        return Fail(TStoreError::CertificateTaken, QStringLiteral("%1 was just given to another record. Type another number.").arg(certificate));
    return Failed(TStoreError::WriteFailed, error);
}

bool TRecordStore::SavePoint(qint64 recordId, const TPoint &p)
{
    if (!Ready(true))
        return false;
    QSqlDatabase db = QSqlDatabase::database(m_connection, false);
    if (!Begin())
        return false;
    const auto undo = [&](bool result) {
        db.rollback();
        return result;
    };
    QSqlQuery old(db);
    old.prepare(QStringLiteral("SELECT r.technician, r.finished, %1 FROM records AS r LEFT JOIN points AS p"
                               " ON p.record_id = r.id AND p.phase = ? AND p.idx = ? WHERE r.id = ?")
                    .arg(QStringLiteral("p.") + QString::fromLatin1(kPointColumns).replace(QStringLiteral(", "), QStringLiteral(", p."))));
    old.addBindValue(int(p.phase));
    old.addBindValue(p.index);
    old.addBindValue(recordId);
    if (!old.exec())
        return undo(Failed(TStoreError::WriteFailed, old.lastError()));
    if (!old.next())
        return undo(Fail(TStoreError::NotFound, QStringLiteral("record %1").arg(recordId)));
    const QString technician = old.value(0).toString();
    if (old.value(1).toInt() != 0)
        return undo(Fail(TStoreError::Finished, QStringLiteral("record %1 is finished").arg(recordId)));
    const QString before = old.value(2).isNull() ? QString() : PointText(PointOf(old, 2));
    old.finish();
    QSqlQuery q(db);
    q.prepare(QStringLiteral("INSERT INTO points (record_id, phase, idx, percent, applied, milliamps, instrument_value,"
                             " instrument_milliamps, stable, taken, instrument_spread_milliamps)"
                             " VALUES (?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?)"
                             " ON CONFLICT (record_id, phase, idx) DO UPDATE SET percent = excluded.percent, applied = excluded.applied,"
                             " milliamps = excluded.milliamps, instrument_value = excluded.instrument_value,"
                             " instrument_milliamps = excluded.instrument_milliamps, stable = excluded.stable, taken = excluded.taken,"
                             " instrument_spread_milliamps = excluded.instrument_spread_milliamps"));
    q.addBindValue(recordId);
    q.addBindValue(int(p.phase));
    q.addBindValue(p.index);
    q.addBindValue(DecimalText(p.percent));
    q.addBindValue(DecimalText(p.applied));
    q.addBindValue(DecimalText(p.milliAmps));
    q.addBindValue(Optional(p.instrumentValue));
    q.addBindValue(Optional(p.instrumentMilliAmps));
    q.addBindValue(p.stable ? 1 : 0);
    q.addBindValue(p.taken.toUTC().toString(Qt::ISODateWithMs));
    q.addBindValue(Optional(p.instrumentSpreadMilliAmps));
    if (!q.exec())
        return undo(Failed(TStoreError::WriteFailed, q.lastError()));
    if (!WriteAudit(recordId, technician, QStringLiteral("point"), PointField(p.phase, p.index), before, PointText(p)))
        return undo(false);
    if (!db.commit())
        return undo(Failed(TStoreError::WriteFailed, db.lastError()));
    return true;
}

bool TRecordStore::RemovePoint(qint64 recordId, TPhase phase, int index)
{
    if (!Ready(true))
        return false;
    QSqlDatabase db = QSqlDatabase::database(m_connection, false);
    if (!Begin())
        return false;
    const std::optional<TRecord> r = Load(recordId);
    if (!r || r->finished) {
        db.rollback();
        return r ? Fail(TStoreError::Finished, QStringLiteral("record %1").arg(recordId)) : false;
    }
    const TPoint *p = r->Find(phase, index);
    if (!p) {
        db.rollback();
        return true;
    }
    QSqlQuery q(db);
    q.prepare(QStringLiteral("DELETE FROM points WHERE record_id = ? AND phase = ? AND idx = ?"));
    q.addBindValue(recordId);
    q.addBindValue(int(phase));
    q.addBindValue(index);
    if (!q.exec() || !WriteAudit(recordId, r->technician, QStringLiteral("point taken back"), PointField(phase, index), PointText(*p), QString()) ||
        !db.commit()) {
        const QSqlError error = q.lastError().isValid() ? q.lastError() : db.lastError();
        db.rollback();
        return m_error != TStoreError::None && !error.isValid() ? false : Failed(TStoreError::WriteFailed, error);
    }
    return true;
}

bool TRecordStore::Approve(qint64 recordId, const QString &approver)
{
    if (!Ready(true))
        return false;
    const QString name = approver.trimmed();
    if (name.isEmpty())
        return Fail(TStoreError::Refused, QStringLiteral("type the approver's name"));
    QSqlDatabase db = QSqlDatabase::database(m_connection, false);
    if (!Begin())
        return false;
    const std::optional<TRecord> r = Load(recordId);
    const auto undo = [&](bool result) {
        db.rollback();
        return result;
    };
    if (!r)
        return undo(false);
    if (!r->finished)
        return undo(Fail(TStoreError::Refused, QStringLiteral("finish the record before it is approved")));
    if (!r->approvedBy.isEmpty())
        return undo(Fail(TStoreError::Finished, QStringLiteral("it was approved by %1 already").arg(r->approvedBy)));
    if (name.compare(r->technician.trimmed(), Qt::CaseInsensitive) == 0)
        return undo(Fail(TStoreError::Refused, QStringLiteral("%1 made the record; a second person approves it").arg(name)));
    const QString at = QDateTime::currentDateTimeUtc().toString(Qt::ISODateWithMs);
    QSqlQuery q(db);
    q.prepare(QStringLiteral("UPDATE records SET approved_by = ?, approved_at = ? WHERE id = ? AND finished <> 0 AND approved_by = ''"));
    q.addBindValue(name);
    q.addBindValue(at);
    q.addBindValue(recordId);
    if (!q.exec())
        return undo(Failed(TStoreError::WriteFailed, q.lastError()));
    if (q.numRowsAffected() != 1)
        return undo(Fail(TStoreError::Finished, QStringLiteral("it was approved meanwhile")));
    if (!WriteAudit(recordId, r->technician, QStringLiteral("approved"), QString(), QString(), name) || !db.commit())
        return undo(m_error == TStoreError::None ? Failed(TStoreError::WriteFailed, db.lastError()) : false);
    return true;
}

bool TRecordStore::NoteCertificate(qint64 recordId, const QString &file)
{
    if (!Ready(true))
        return false;
    const std::optional<TRecord> r = Load(recordId);
    if (!r)
        return false;
    // One statement: its own transaction.
    return WriteAudit(recordId, r->technician, QStringLiteral("certificate"), QString(), QString(), file);
}

} // namespace calib
