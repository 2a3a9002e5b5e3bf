// The file under the record store: opening it, checking that it is one of
// ours, migrating it forward, and the rules of its certificate numbers (one
// record each; the next automatic one above every number of the year).
#include "RecordStore.h"

#include <QAtomicInteger>
#include <QDir>
#include <QFileInfo>
#include <QRegularExpression>
#include <QSqlDatabase>
#include <QSqlError>
#include <QSqlQuery>
#include <QStandardPaths>
#include <QVariant>

namespace calib {

namespace {

// Each step takes the schema from version i to i + 1 inside one transaction,
// the same steps on both engines: %ID% and %REAL% are each engine's words for
// a row number and a double. Never edit a step once released: add one.
const char *const kMigrations[] = {
    // 1: the first schema: a record with its two reference instruments as columns.
    "CREATE TABLE records ("
    " id %ID%,"
    " certificate TEXT NOT NULL, tag TEXT NOT NULL, serial TEXT NOT NULL, created TEXT NOT NULL,"
    " firmware INTEGER NOT NULL DEFAULT 0, found_calibration_date INTEGER NOT NULL DEFAULT 0,"
    " sensor TEXT NOT NULL DEFAULT '', unit TEXT NOT NULL DEFAULT '',"
    " ref_name TEXT NOT NULL DEFAULT '', ref_serial TEXT NOT NULL DEFAULT '', ref_certificate TEXT NOT NULL DEFAULT '', ref_due TEXT NOT NULL DEFAULT '',"
    " ammeter_name TEXT NOT NULL DEFAULT '', ammeter_serial TEXT NOT NULL DEFAULT '', ammeter_certificate TEXT NOT NULL DEFAULT '', ammeter_due TEXT NOT NULL DEFAULT '',"
    " ambient_temperature TEXT NOT NULL DEFAULT '', humidity TEXT NOT NULL DEFAULT '',"
    " technician TEXT NOT NULL DEFAULT '', remarks TEXT NOT NULL DEFAULT '', next_due TEXT NOT NULL DEFAULT '',"
    " tolerance TEXT NOT NULL, points TEXT NOT NULL, hysteresis INTEGER NOT NULL DEFAULT 0,"
    " found_lower INTEGER, found_upper INTEGER, found_decimals INTEGER,"
    " left_lower INTEGER, left_upper INTEGER, left_decimals INTEGER,"
    " calibrated INTEGER NOT NULL DEFAULT 0, new_calibration_date INTEGER NOT NULL DEFAULT 0,"
    " finished INTEGER NOT NULL DEFAULT 0);"
    "CREATE INDEX records_tag ON records(tag, created);"
    "CREATE TABLE points ("
    " record_id INTEGER NOT NULL REFERENCES records(id) ON DELETE CASCADE,"
    " phase INTEGER NOT NULL, idx INTEGER NOT NULL,"
    " percent TEXT NOT NULL, applied TEXT NOT NULL, milliamps TEXT NOT NULL,"
    " instrument_value %REAL%, instrument_milliamps %REAL%, stable INTEGER NOT NULL DEFAULT 0, taken TEXT NOT NULL,"
    " PRIMARY KEY (record_id, phase, idx));",
    // 2: any number of reference instruments per record (the ambient conditions
    // need a thermohygrometer of their own); the two column sets move there.
    "CREATE TABLE reference_instruments ("
    " record_id INTEGER NOT NULL REFERENCES records(id) ON DELETE CASCADE, position INTEGER NOT NULL,"
    " role TEXT NOT NULL, name TEXT NOT NULL, serial TEXT NOT NULL, certificate TEXT NOT NULL, due TEXT NOT NULL,"
    " PRIMARY KEY (record_id, position));"
    "INSERT INTO reference_instruments SELECT id, 0, 'Pressure standard', ref_name, ref_serial, ref_certificate, ref_due FROM records;"
    "INSERT INTO reference_instruments SELECT id, 1, 'Ammeter (loop current)', ammeter_name, ammeter_serial, ammeter_certificate, ammeter_due FROM records;"
    "ALTER TABLE records DROP COLUMN ref_name; ALTER TABLE records DROP COLUMN ref_serial;"
    "ALTER TABLE records DROP COLUMN ref_certificate; ALTER TABLE records DROP COLUMN ref_due;"
    "ALTER TABLE records DROP COLUMN ammeter_name; ALTER TABLE records DROP COLUMN ammeter_serial;"
    "ALTER TABLE records DROP COLUMN ammeter_certificate; ALTER TABLE records DROP COLUMN ammeter_due;",
    // 3: a certificate number belongs to one record. Numbers stored twice
    // before this step keep their records: the second and later of each count
    // up in certificate_repeat, so the index holds them, and the open names them.
    "ALTER TABLE records ADD COLUMN certificate_repeat INTEGER NOT NULL DEFAULT 0;"
    "UPDATE records SET certificate_repeat = (SELECT count(*) FROM records AS o WHERE o.certificate = records.certificate AND o.id < records.id)"
    " WHERE certificate <> '';"
    "CREATE UNIQUE INDEX records_certificate ON records(certificate, certificate_repeat) WHERE certificate <> '';",
    // 4: the audit trail (append-only), each reference's uncertainty, the
    // instrument's spread per point, the approval; the triggers that keep a
    // finished record as it was signed follow per engine.
    "CREATE TABLE audit ("
    " id %ID%, record_id INTEGER NOT NULL REFERENCES records(id),"
    " at TEXT NOT NULL DEFAULT %NOW%, os_user TEXT NOT NULL DEFAULT '', technician TEXT NOT NULL DEFAULT '',"
    " bench TEXT NOT NULL DEFAULT '', what TEXT NOT NULL, field TEXT NOT NULL DEFAULT '',"
    " old_value TEXT NOT NULL DEFAULT '', new_value TEXT NOT NULL DEFAULT '');"
    "CREATE INDEX audit_record ON audit(record_id, id);"
    "ALTER TABLE reference_instruments ADD COLUMN uncertainty TEXT NOT NULL DEFAULT '';"
    "ALTER TABLE points ADD COLUMN instrument_spread_milliamps %REAL%;"
    "ALTER TABLE records ADD COLUMN approved_by TEXT NOT NULL DEFAULT '';"
    "ALTER TABLE records ADD COLUMN approved_at TEXT NOT NULL DEFAULT '';",
    // 5: the certificate's language per record; the records before it printed English.
    "ALTER TABLE records ADD COLUMN certificate_language TEXT NOT NULL DEFAULT 'en';",
};
static_assert(std::size(kMigrations) == TRecordStore::kSchemaVersion);

// Whole statements (their bodies hold ';') run after a step's common part.
struct TEngineSteps {
    int version;
    std::vector<const char *> file;
    std::vector<const char *> server;
};

// The columns a finished record may still change: its approval, once.
#define KV_RECORD_FIXED_COLUMNS                                                                                                \
    "id, certificate, certificate_repeat, tag, serial, created, firmware, found_calibration_date, sensor, unit,"             \
    " ambient_temperature, humidity, technician, remarks, next_due, tolerance, points, hysteresis, found_lower, found_upper," \
    " found_decimals, left_lower, left_upper, left_decimals, calibrated, new_calibration_date, finished"

// Step 5's: the language is a finished record's too.
#define KV_RECORD_FIXED_COLUMNS_5 KV_RECORD_FIXED_COLUMNS ", certificate_language"

const TEngineSteps kEngineSteps[] = {
    {4,
     {
         "CREATE TRIGGER records_finished BEFORE UPDATE ON records WHEN OLD.finished <> 0 AND NOT (OLD.approved_by = '' AND"
         " NEW.approved_by <> '' AND (SELECT count(*) FROM (SELECT " KV_RECORD_FIXED_COLUMNS " FROM records WHERE id = OLD.id"
         " INTERSECT SELECT NEW.id, NEW.certificate, NEW.certificate_repeat, NEW.tag, NEW.serial, NEW.created, NEW.firmware,"
         " NEW.found_calibration_date, NEW.sensor, NEW.unit, NEW.ambient_temperature, NEW.humidity, NEW.technician, NEW.remarks,"
         " NEW.next_due, NEW.tolerance, NEW.points, NEW.hysteresis, NEW.found_lower, NEW.found_upper, NEW.found_decimals,"
         " NEW.left_lower, NEW.left_upper, NEW.left_decimals, NEW.calibrated, NEW.new_calibration_date, NEW.finished)) = 1)"
         " BEGIN SELECT RAISE(ABORT, 'the record is finished and is not changed any more'); END",
         "CREATE TRIGGER records_finished_delete BEFORE DELETE ON records WHEN OLD.finished <> 0"
         " BEGIN SELECT RAISE(ABORT, 'the record is finished and is not changed any more'); END",
         "CREATE TRIGGER points_finished_insert BEFORE INSERT ON points WHEN (SELECT finished FROM records WHERE id = NEW.record_id) <> 0"
         " BEGIN SELECT RAISE(ABORT, 'the record is finished and is not changed any more'); END",
         "CREATE TRIGGER points_finished_update BEFORE UPDATE ON points WHEN (SELECT finished FROM records WHERE id = OLD.record_id) <> 0"
         " BEGIN SELECT RAISE(ABORT, 'the record is finished and is not changed any more'); END",
         "CREATE TRIGGER points_finished_delete BEFORE DELETE ON points WHEN (SELECT finished FROM records WHERE id = OLD.record_id) <> 0"
         " BEGIN SELECT RAISE(ABORT, 'the record is finished and is not changed any more'); END",
         "CREATE TRIGGER references_finished_insert BEFORE INSERT ON reference_instruments"
         " WHEN (SELECT finished FROM records WHERE id = NEW.record_id) <> 0"
         " BEGIN SELECT RAISE(ABORT, 'the record is finished and is not changed any more'); END",
         "CREATE TRIGGER references_finished_update BEFORE UPDATE ON reference_instruments"
         " WHEN (SELECT finished FROM records WHERE id = OLD.record_id) <> 0"
         " BEGIN SELECT RAISE(ABORT, 'the record is finished and is not changed any more'); END",
         "CREATE TRIGGER references_finished_delete BEFORE DELETE ON reference_instruments"
         " WHEN (SELECT finished FROM records WHERE id = OLD.record_id) <> 0"
         " BEGIN SELECT RAISE(ABORT, 'the record is finished and is not changed any more'); END",
         "CREATE TRIGGER audit_kept_update BEFORE UPDATE ON audit BEGIN SELECT RAISE(ABORT, 'the audit trail is never changed'); END",
         "CREATE TRIGGER audit_kept_delete BEFORE DELETE ON audit BEGIN SELECT RAISE(ABORT, 'the audit trail is never changed'); END",
     },
     {
         "CREATE FUNCTION kv508_record_finished() RETURNS trigger LANGUAGE plpgsql AS $$\n"
         "DECLARE allowed records%ROWTYPE;\n"
         "BEGIN\n"
         "  IF TG_OP = 'DELETE' THEN\n"
         "    IF OLD.finished <> 0 THEN\n"
         "      RAISE EXCEPTION 'the record % is finished and is not changed any more', OLD.certificate USING ERRCODE = 'integrity_constraint_violation';\n"
         "    END IF;\n"
         "    RETURN OLD;\n"
         "  END IF;\n"
         "  IF OLD.finished <> 0 THEN\n"
         "    allowed := OLD;\n"
         "    allowed.approved_by := NEW.approved_by;\n"
         "    allowed.approved_at := NEW.approved_at;\n"
         "    IF OLD.approved_by <> '' OR NEW.approved_by = '' OR allowed IS DISTINCT FROM NEW THEN\n"
         "      RAISE EXCEPTION 'the record % is finished and is not changed any more', OLD.certificate USING ERRCODE = 'integrity_constraint_violation';\n"
         "    END IF;\n"
         "  END IF;\n"
         "  RETURN NEW;\n"
         "END $$",
         "CREATE TRIGGER records_finished BEFORE UPDATE OR DELETE ON records FOR EACH ROW EXECUTE FUNCTION kv508_record_finished()",
         "CREATE FUNCTION kv508_part_finished() RETURNS trigger LANGUAGE plpgsql AS $$\n"
         "BEGIN\n"
         "  IF EXISTS (SELECT 1 FROM records WHERE finished <> 0 AND (id = OLD.record_id OR id = NEW.record_id)) THEN\n"
         "    RAISE EXCEPTION 'the record is finished and is not changed any more' USING ERRCODE = 'integrity_constraint_violation';\n"
         "  END IF;\n"
         "  IF TG_OP = 'DELETE' THEN RETURN OLD; END IF;\n"
         "  RETURN NEW;\n"
         "END $$",
         "CREATE TRIGGER points_finished BEFORE INSERT OR UPDATE OR DELETE ON points FOR EACH ROW EXECUTE FUNCTION kv508_part_finished()",
         "CREATE TRIGGER references_finished BEFORE INSERT OR UPDATE OR DELETE ON reference_instruments FOR EACH ROW"
         " EXECUTE FUNCTION kv508_part_finished()",
         "CREATE FUNCTION kv508_audit_kept() RETURNS trigger LANGUAGE plpgsql AS $$\n"
         "BEGIN\n"
         "  RAISE EXCEPTION 'the audit trail is never changed' USING ERRCODE = 'integrity_constraint_violation';\n"
         "END $$",
         "CREATE TRIGGER audit_kept BEFORE UPDATE OR DELETE ON audit FOR EACH ROW EXECUTE FUNCTION kv508_audit_kept()",
         "CREATE TRIGGER audit_kept_truncate BEFORE TRUNCATE ON audit FOR EACH STATEMENT EXECUTE FUNCTION kv508_audit_kept()",
     }},
    // The server's check compares whole rows, so the new column is kept there already.
    {5,
     {
         "DROP TRIGGER records_finished",
         "CREATE TRIGGER records_finished BEFORE UPDATE ON records WHEN OLD.finished <> 0 AND NOT (OLD.approved_by = '' AND"
         " NEW.approved_by <> '' AND (SELECT count(*) FROM (SELECT " KV_RECORD_FIXED_COLUMNS_5 " FROM records WHERE id = OLD.id"
         " INTERSECT SELECT NEW.id, NEW.certificate, NEW.certificate_repeat, NEW.tag, NEW.serial, NEW.created, NEW.firmware,"
         " NEW.found_calibration_date, NEW.sensor, NEW.unit, NEW.ambient_temperature, NEW.humidity, NEW.technician, NEW.remarks,"
         " NEW.next_due, NEW.tolerance, NEW.points, NEW.hysteresis, NEW.found_lower, NEW.found_upper, NEW.found_decimals,"
         " NEW.left_lower, NEW.left_upper, NEW.left_decimals, NEW.calibrated, NEW.new_calibration_date, NEW.finished,"
         " NEW.certificate_language)) = 1)"
         " BEGIN SELECT RAISE(ABORT, 'the record is finished and is not changed any more'); END",
     },
     {}},
};
#undef KV_RECORD_FIXED_COLUMNS_5
#undef KV_RECORD_FIXED_COLUMNS


// The version whose open reports the numbers stored twice before they were unique.
constexpr int kUniqueCertificates = 3;

// Every column this tool reads, per table: a file that lacks one is not ours.
const char *const kColumns[] = {
    "SELECT id, certificate, certificate_repeat, tag, serial, created, firmware, found_calibration_date, sensor, unit,"
    " ambient_temperature, humidity, technician, remarks, next_due, tolerance, points, hysteresis, found_lower, found_upper,"
    " found_decimals, left_lower, left_upper, left_decimals, calibrated, new_calibration_date, finished, approved_by, approved_at, certificate_language FROM records LIMIT 0",
    "SELECT record_id, phase, idx, percent, applied, milliamps, instrument_value, instrument_milliamps, stable, taken,"
    " instrument_spread_milliamps FROM points LIMIT 0",
    "SELECT record_id, position, role, name, serial, certificate, due, uncertainty FROM reference_instruments LIMIT 0",
    "SELECT id, record_id, at, os_user, technician, bench, what, field, old_value, new_value FROM audit LIMIT 0",
};

// A step's text in one engine's words.
QString InEngine(const char *sql, bool server)
{
    QString s = QString::fromUtf8(sql);
    s.replace(QStringLiteral("%ID%"), server ? QStringLiteral("INTEGER GENERATED BY DEFAULT AS IDENTITY PRIMARY KEY") : QStringLiteral("INTEGER PRIMARY KEY"));
    s.replace(QStringLiteral("%REAL%"), server ? QStringLiteral("DOUBLE PRECISION") : QStringLiteral("REAL"));
    s.replace(QStringLiteral("%NOW%"), server ? QStringLiteral("(to_char(clock_timestamp() AT TIME ZONE 'UTC', 'YYYY-MM-DD\"T\"HH24:MI:SS.MS\"Z\"'))")
                                             : QStringLiteral("(strftime('%Y-%m-%dT%H:%M:%fZ', 'now'))"));
    return s;
}

// Every statement of step v (to version v + 1), in order.
QStringList StepStatements(int v, bool server)
{
    QStringList out;
    for (const QString &sql : InEngine(kMigrations[v], server).split(QLatin1Char(';'), Qt::SkipEmptyParts))
        if (!sql.trimmed().isEmpty())
            out << sql;
    for (const TEngineSteps &steps : kEngineSteps)
        if (steps.version == v + 1)
            for (const char *sql : server ? steps.server : steps.file)
                out << QString::fromUtf8(sql);
    return out;
}

const QString kMoveAside = QStringLiteral("it was damaged or made by another program; move it aside and the tool starts a new one");

// The serial of an automatic number of the year whose prefix has prefixLength
// characters, without leading zeros ('0' for zero); NULL for any other text.
// Binds one value: the prefix.
QString SerialSql(qsizetype prefixLength, bool server)
{
    const QString digitsOnly = server ? QStringLiteral("substr(certificate, %2) !~ '[^0-9]'") : QStringLiteral("substr(certificate, %2) NOT GLOB '*[^0-9]*'");
    return QStringLiteral("(CASE WHEN substr(certificate, 1, %1) = CAST(? AS TEXT) AND length(certificate) > %1 AND %3"
                          " THEN coalesce(nullif(ltrim(substr(certificate, %2), '0'), ''), '0') END)")
        .arg(prefixLength)
        .arg(prefixLength + 1)
        .arg(digitsOnly.arg(prefixLength + 1));
}

// "PT-101 (serial 4711) of 2026-12-09", for a person looking for the record.
QString RecordLabel(const QSqlQuery &q, int first)
{
    const QString tag = q.value(first).toString();
    const QString serial = q.value(first + 1).toString();
    const QDateTime created = QDateTime::fromString(q.value(first + 2).toString(), Qt::ISODateWithMs);
    return QStringLiteral("%1 (serial %2) of %3")
        .arg(tag.isEmpty() ? QStringLiteral("the record without a tag") : tag, serial.isEmpty() ? QStringLiteral("none") : serial,
             created.isValid() ? created.toLocalTime().toString(QStringLiteral("yyyy-MM-dd")) : QStringLiteral("unknown date"));
}

} // namespace

QString TRecordStore::DefaultPath()
{
    return QDir(QStandardPaths::writableLocation(QStandardPaths::AppDataLocation)).filePath(QStringLiteral("calibration-records.sqlite"));
}

std::optional<int> TRecordStore::ReadVersion(QString &error) const
{
    QSqlQuery q(QSqlDatabase::database(m_connection, false));
    if (IsServer()) {
        // The version lives in a table of its own there; none yet: an empty schema.
        if (!q.exec(QStringLiteral("SELECT to_regclass('kv508_schema') IS NOT NULL")) || !q.next()) {
            error = q.lastError().text();
            return std::nullopt;
        }
        if (!q.value(0).toBool())
            return 0;
        if (!q.exec(QStringLiteral("SELECT max(version) FROM kv508_schema")) || !q.next()) {
            error = q.lastError().text();
            return std::nullopt;
        }
        return q.value(0).toInt();
    }
    if (!q.exec(QStringLiteral("PRAGMA user_version")) || !q.next()) {
        error = q.lastError().text();
        return std::nullopt;
    }
    return q.value(0).toInt();
}

int TRecordStore::Version() const
{
    QString error;
    return ReadVersion(error).value_or(-1);
}

bool TRecordStore::Migrate()
{
    QSqlDatabase db = QSqlDatabase::database(m_connection, false);
    const QString file = Where();
    QString error;
    const std::optional<int> read = ReadVersion(error);
    if (!read)
        return Fail(TStoreError::CannotOpen, QStringLiteral("%1: its schema version cannot be read (%2)").arg(file, error));
    const int found = *read;
    if (found < 0)
        return Fail(TStoreError::CannotOpen,
                    QStringLiteral("%1 is not a records file of this tool: schema version %2. Move it aside; the tool then starts a new one.")
                        .arg(file)
                        .arg(found));
    if (found > kSchemaVersion && IsServer()) {
        // Read what a newer tool wrote (steps only ever add), change nothing.
        m_readOnly = true;
        m_notice = QStringLiteral("The records server %1 has schema version %2; this tool knows up to %3, so it only reads the records there. "
                                  "Install the newer tool to make or change records.")
                       .arg(file)
                       .arg(found)
                       .arg(kSchemaVersion);
        return HasColumns();
    }
    if (found > kSchemaVersion)
        return Fail(TStoreError::NewerSchema,
                    QStringLiteral("%1 has schema version %2, this tool knows up to %3. Use the newer tool, or move the file aside to start a new one.")
                        .arg(file)
                        .arg(found)
                        .arg(kSchemaVersion));
    if (!HasTablesOf(found))
        return false;
    if (IsServer() && found < kSchemaVersion && m_mode != TOpenMode::Init)
        return Fail(found == 0 ? TStoreError::CannotOpen : TStoreError::MigrationFailed,
                    found == 0 ? QStringLiteral("%1 has no calibration records yet. Set it up once with: kv508ctl records init --records '%1'").arg(file)
                               : QStringLiteral("%1 has schema version %2, older than this tool's %3. Back it up (pg_dump), then bring it up "
                                                "to date once with: kv508ctl records init --records '%1'")
                                     .arg(file)
                                     .arg(found)
                                     .arg(kSchemaVersion));
    for (int v = found; v < kSchemaVersion; ++v) {
        if (!db.transaction())
            return Fail(TStoreError::MigrationFailed, db.lastError().text());
        QStringList statements = StepStatements(v, IsServer());
        if (IsServer() && v == 0)
            // Every role may read the version: a bench's tool checks it first.
            statements = QStringList{QStringLiteral("CREATE TABLE kv508_schema (version INTEGER NOT NULL)"),
                                     QStringLiteral("GRANT SELECT ON kv508_schema TO PUBLIC")} +
                         statements;
        statements << (IsServer() ? QStringLiteral("DELETE FROM kv508_schema") : QString());
        statements << (IsServer() ? QStringLiteral("INSERT INTO kv508_schema (version) VALUES (%1)") : QStringLiteral("PRAGMA user_version = %1")).arg(v + 1);
        for (const QString &sql : statements) {
            if (sql.isEmpty())
                continue;
            QSqlQuery q(db);
            if (!q.exec(sql)) {
                const QString stepError = q.lastError().text();
                q.finish();
                db.rollback();
                return Fail(TStoreError::MigrationFailed, QStringLiteral("step to version %1: %2 (%3 is left as it was)")
                                                              .arg(v + 1)
                                                              .arg(stepError, IsServer() ? QStringLiteral("the server") : QStringLiteral("the file")));
            }
        }
        if (!db.commit()) {
            const QString commitError = db.lastError().text();
            db.rollback();
            return Fail(TStoreError::MigrationFailed, commitError);
        }
    }
    if (!HasColumns())
        return false;
    if (found < kUniqueCertificates)
        NoteRepeatedCertificates();
    return true;
}

// The tables a file of that version has; a file without a version has none.
bool TRecordStore::HasTablesOf(int version)
{
    QSqlQuery q(QSqlDatabase::database(m_connection, false));
    // A server's database may hold other programs' tables: only ours count there.
    const QString tableList = IsServer() ? QStringLiteral("SELECT table_name FROM information_schema.tables WHERE table_schema = current_schema()"
                                                          " AND table_name IN ('records', 'points', 'reference_instruments', 'audit') ORDER BY 1")
                                         : QStringLiteral("SELECT name FROM sqlite_master WHERE type = 'table' AND name NOT LIKE 'sqlite\\_%' ESCAPE '\\' ORDER BY name");
    if (!q.exec(tableList))
        return Fail(TStoreError::CannotOpen, QStringLiteral("%1: %2").arg(Where(), q.lastError().text()));
    QStringList tables;
    while (q.next())
        tables << q.value(0).toString();
    const QString file = Where();
    if (version == 0 && !tables.isEmpty())
        return Fail(TStoreError::CannotOpen, QStringLiteral("%1 is not a records file of this tool: it has tables (%2) but no schema version; %3.")
                                                 .arg(file, tables.join(QStringLiteral(", ")), kMoveAside));
    QStringList wanted;
    if (version >= 1)
        wanted << QStringLiteral("records") << QStringLiteral("points");
    if (version >= 2)
        wanted << QStringLiteral("reference_instruments");
    if (version >= 4)
        wanted << QStringLiteral("audit");
    for (const QString &table : wanted)
        if (!tables.contains(table))
            return Fail(TStoreError::CannotOpen,
                        QStringLiteral("%1 has schema version %2 but no %3 table: %4.").arg(file).arg(version).arg(table, kMoveAside));
    return true;
}

bool TRecordStore::HasColumns()
{
    QSqlDatabase db = QSqlDatabase::database(m_connection, false);
    const QString file = Where();
    for (const char *sql : kColumns) {
        QSqlQuery q(db);
        if (!q.exec(QString::fromLatin1(sql)))
            return Fail(TStoreError::CannotOpen, QStringLiteral("%1 has schema version %2 but not this tool's tables (%3): %4.")
                                                     .arg(file)
                                                     .arg(kSchemaVersion)
                                                     .arg(q.lastError().text(), kMoveAside));
    }
    QSqlQuery index(db);
    const QString indexSql = IsServer() ? QStringLiteral("SELECT 1 FROM pg_indexes WHERE schemaname = current_schema() AND indexname = 'records_certificate'")
                                        : QStringLiteral("SELECT 1 FROM sqlite_master WHERE type = 'index' AND name = 'records_certificate'");
    if (!index.exec(indexSql) || !index.next())
        return Fail(TStoreError::CannotOpen, QStringLiteral("%1 has schema version %2 but no index that keeps certificate numbers unique: %3.")
                                                 .arg(file)
                                                 .arg(kSchemaVersion)
                                                 .arg(kMoveAside));
    return true;
}

void TRecordStore::NoteRepeatedCertificates()
{
    QSqlQuery q(QSqlDatabase::database(m_connection, false));
    if (!q.exec(QStringLiteral("SELECT certificate, tag, serial, created FROM records"
                               " WHERE certificate IN (SELECT certificate FROM records WHERE certificate_repeat > 0) ORDER BY certificate, id"))) {
        m_notice = QStringLiteral("The records could not be checked for certificate numbers given twice: %1").arg(q.lastError().text());
        return;
    }
    QStringList numbers;
    QString current;
    QStringList holders;
    const auto flush = [&] {
        if (!holders.isEmpty())
            numbers << QStringLiteral("%1 on %2").arg(current, holders.join(QStringLiteral(" and ")));
        holders.clear();
    };
    while (q.next()) {
        if (q.value(0).toString() != current) {
            flush();
            current = q.value(0).toString();
        }
        holders << RecordLabel(q, 1);
    }
    flush();
    if (!numbers.isEmpty())
        m_notice = QStringLiteral("Certificate numbers given to more than one record (before this version checked them): %1. They are kept as "
                                  "they were; new numbers are never given twice. Open an unfinished one of them from the history and give it "
                                  "a number of its own.")
                       .arg(numbers.join(QStringLiteral("; ")));
}

bool TRecordStore::CertificateFree(qint64 id, const QString &number)
{
    if (number.isEmpty())
        return true;
    QSqlDatabase db = QSqlDatabase::database(m_connection, false);
    // The same text, or the same number of the year with other leading zeros.
    static const QRegularExpression automatic(QStringLiteral("^KV-([0-9]{4})-[0-9]+$"));
    const QRegularExpressionMatch m = automatic.match(number);
    const int year = m.hasMatch() ? m.captured(1).toInt() : 0;
    const QString prefix = QStringLiteral("KV-%1-").arg(year);
    const QString serial = m.hasMatch() ? QString::fromStdString(std::string(CertificateSerial(number.toStdString(), year))) : QString();
    QSqlQuery q(db);
    q.prepare(QStringLiteral("SELECT certificate, tag, serial, created FROM records WHERE id <> ? AND (certificate = ?%1) ORDER BY id LIMIT 1")
                  .arg(serial.isEmpty() ? QString() : QStringLiteral(" OR %1 = ?").arg(SerialSql(prefix.size(), IsServer()))));
    q.addBindValue(id);
    q.addBindValue(number);
    if (!serial.isEmpty()) {
        q.addBindValue(prefix);
        q.addBindValue(serial);
    }
    if (!q.exec())
        return Fail(TStoreError::ReadFailed, q.lastError().text());
    if (!q.next())
        return true;
    const QString holder = QStringLiteral("%1 is the number of record %2").arg(q.value(0).toString(), RecordLabel(q, 1));
    q.finish();
    const QString next = serial.isEmpty() ? QString() : NextCertificateNumber(year);
    return Fail(TStoreError::CertificateTaken, next.isEmpty() ? QStringLiteral("%1. Type another number.").arg(holder)
                                                              : QStringLiteral("%1. Type another number; the next free one is %2.").arg(holder, next));
}

QString TRecordStore::NextCertificateNumber(int year)
{
    const QString prefix = QStringLiteral("KV-%1-").arg(year);
    if (!m_open)
        return QString::fromStdString(calib::NextCertificateNumber({}, year));
    // The numerically highest of the year's numbers, whatever was typed over
    // others: compared as digits without their leading zeros, longest first.
    QSqlQuery q(QSqlDatabase::database(m_connection, false));
    q.prepare(QStringLiteral("SELECT certificate FROM (SELECT certificate, %1 AS serial FROM records) AS numbered WHERE serial IS NOT NULL"
                             " ORDER BY length(serial) DESC, serial DESC LIMIT 1")
                  .arg(SerialSql(prefix.size(), IsServer())));
    q.addBindValue(prefix);
    if (!q.exec())
        return QString(); // not "0001" again: that number may be taken
    QString last;
    if (q.next())
        last = q.value(0).toString();
    return QString::fromStdString(calib::NextCertificateNumber(last.toStdString(), year));
}

} // namespace calib
