// The store's reads: a record whole, the history and the lab's lists (a tag,
// what falls due, a verdict), the audit trail.
#include "RecordStore.h"

#include "RecordRows.h"

#include <QSqlDatabase>
#include <QSqlError>
#include <QSqlQuery>
#include <QVariant>

#include <map>

namespace calib {

using namespace rows;

std::optional<TRecord> TRecordStore::Load(qint64 id)
{
    return LoadWhere(QStringLiteral("id"), id);
}

std::optional<TRecord> TRecordStore::LoadCertificate(const QString &certificate)
{
    return LoadWhere(QStringLiteral("certificate"), certificate);
}

std::optional<TRecord> TRecordStore::LoadWhere(const QString &column, const QVariant &value)
{
    if (!Ready(false))
        return std::nullopt;
    QSqlDatabase db = QSqlDatabase::database(m_connection, false);
    QSqlQuery q(db);
    q.prepare(QStringLiteral("SELECT * FROM records WHERE %1 = ? ORDER BY id LIMIT 1").arg(column));
    q.addBindValue(value);
    if (!q.exec()) {
        Failed(TStoreError::ReadFailed, q.lastError());
        return std::nullopt;
    }
    if (!q.next()) {
        Fail(TStoreError::NotFound, column == QLatin1String("id") ? QStringLiteral("record %1").arg(value.toLongLong())
                                                                  : QStringLiteral("no record has the certificate number %1").arg(value.toString()));
        return std::nullopt;
    }
    TRecord r = HeaderOf(q);
    const qint64 id = r.id;
    q.finish();

    QSqlQuery refs(db);
    refs.prepare(QStringLiteral("SELECT role, name, serial, certificate, due, uncertainty FROM reference_instruments WHERE record_id = ? ORDER BY position"));
    refs.addBindValue(id);
    if (!refs.exec()) {
        Failed(TStoreError::ReadFailed, refs.lastError());
        return std::nullopt;
    }
    while (refs.next())
        r.references.push_back({refs.value(0).toString(), refs.value(1).toString(), refs.value(2).toString(), refs.value(3).toString(),
                                DateOf(refs.value(4)), refs.value(5).toString()});

    QSqlQuery pts(db);
    pts.prepare(QStringLiteral("SELECT %1 FROM points WHERE record_id = ? ORDER BY phase, idx").arg(QString::fromLatin1(kPointColumns)));
    pts.addBindValue(id);
    if (!pts.exec()) {
        Failed(TStoreError::ReadFailed, pts.lastError());
        return std::nullopt;
    }
    while (pts.next())
        r.entered.push_back(PointOf(pts, 0));
    return r;
}

std::vector<TRecordSummary> TRecordStore::History(const QString &tag)
{
    TRecordFilter filter;
    filter.tag = tag;
    return List(filter);
}

std::vector<TRecordSummary> TRecordStore::List(const TRecordFilter &filter)
{
    std::vector<TRecordSummary> out;
    if (!Ready(false))
        return out;
    QSqlDatabase db = QSqlDatabase::database(m_connection, false);
    // Two queries for the whole list: the headers, then every point of them.
    // Due dates are ISO text, so they compare as dates.
    QStringList conditions;
    QVariantList values;
    if (!filter.tag.isEmpty()) {
        conditions << QStringLiteral("tag = ?");
        values << filter.tag;
    }
    if (filter.dueBefore.isValid()) {
        conditions << QStringLiteral("next_due <> '' AND next_due < ?");
        values << DateText(filter.dueBefore);
    }
    const QString where = conditions.isEmpty() ? QString() : QStringLiteral(" WHERE ") + conditions.join(QStringLiteral(" AND "));
    QSqlQuery q(db);
    q.prepare(QStringLiteral("SELECT * FROM records%1 ORDER BY created DESC, id DESC").arg(where));
    for (const QVariant &v : values)
        q.addBindValue(v);
    if (!q.exec()) {
        Failed(TStoreError::ReadFailed, q.lastError());
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
    pts.prepare(QStringLiteral("SELECT record_id, %1 FROM points WHERE record_id IN (SELECT id FROM records%2)").arg(QString::fromLatin1(kPointColumns), where));
    for (const QVariant &v : values)
        pts.addBindValue(v);
    if (!pts.exec()) {
        Failed(TStoreError::ReadFailed, pts.lastError());
        return out;
    }
    while (pts.next()) {
        const auto it = at.find(pts.value(0).toLongLong());
        if (it != at.end())
            records[it->second].entered.push_back(PointOf(pts, 1));
    }
    for (const TRecord &r : records) {
        const TVerdict overall = r.Overall();
        if (filter.passed && overall != (*filter.passed ? TVerdict::Pass : TVerdict::Fail))
            continue;
        out.push_back({r.id, r.certificate, r.tag, r.serial, r.created, r.calibrated, r.finished, r.Verdict(TPhase::AsFound),
                       r.Verdict(TPhase::AsLeft), overall, r.nextDue, r.technician, r.approvedBy});
    }
    return out;
}

QStringList TRecordStore::Tags()
{
    QStringList tags;
    if (!Ready(false))
        return tags;
    QSqlQuery q(QSqlDatabase::database(m_connection, false));
    if (!q.exec(QStringLiteral("SELECT DISTINCT lower(tag), tag FROM records WHERE tag <> '' ORDER BY lower(tag), tag"))) {
        Failed(TStoreError::ReadFailed, q.lastError());
        return tags;
    }
    while (q.next())
        tags << q.value(1).toString();
    return tags;
}

std::vector<TAuditRow> TRecordStore::Audit(qint64 recordId)
{
    std::vector<TAuditRow> out;
    if (!Ready(false))
        return out;
    QSqlQuery q(QSqlDatabase::database(m_connection, false));
    q.prepare(QStringLiteral("SELECT id, record_id, at, os_user, technician, bench, what, field, old_value, new_value FROM audit"
                             " WHERE record_id = ? ORDER BY id"));
    q.addBindValue(recordId);
    if (!q.exec()) {
        Failed(TStoreError::ReadFailed, q.lastError());
        return out;
    }
    while (q.next())
        out.push_back({q.value(0).toLongLong(), q.value(1).toLongLong(), QDateTime::fromString(q.value(2).toString(), Qt::ISODateWithMs),
                       q.value(3).toString(), q.value(4).toString(), q.value(5).toString(), q.value(6).toString(), q.value(7).toString(),
                       q.value(8).toString(), q.value(9).toString()});
    return out;
}

} // namespace calib
