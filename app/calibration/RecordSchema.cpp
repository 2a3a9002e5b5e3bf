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

// Each step takes the schema from version i to i + 1 inside one transaction.
// Never edit a step once released: add one.
const char *const kMigrations[] = {
    // 1: the first schema: a record with its two reference instruments as columns.
    "CREATE TABLE records ("
    " id INTEGER PRIMARY KEY,"
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
    " instrument_value REAL, instrument_milliamps REAL, stable INTEGER NOT NULL DEFAULT 0, taken TEXT NOT NULL,"
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
};
static_assert(std::size(kMigrations) == TRecordStore::kSchemaVersion);


// The version whose open reports the numbers stored twice before they were unique.
constexpr int kUniqueCertificates = 3;

// Every column this tool reads, per table: a file that lacks one is not ours.
const char *const kColumns[] = {
    "SELECT id, certificate, certificate_repeat, tag, serial, created, firmware, found_calibration_date, sensor, unit,"
    " ambient_temperature, humidity, technician, remarks, next_due, tolerance, points, hysteresis, found_lower, found_upper,"
    " found_decimals, left_lower, left_upper, left_decimals, calibrated, new_calibration_date, finished FROM records LIMIT 0",
    "SELECT record_id, phase, idx, percent, applied, milliamps, instrument_value, instrument_milliamps, stable, taken FROM points LIMIT 0",
    "SELECT record_id, position, role, name, serial, certificate, due FROM reference_instruments LIMIT 0",
};

const QString kMoveAside = QStringLiteral("it was damaged or made by another program; move it aside and the tool starts a new one");

// The serial of an automatic number of the year whose prefix has prefixLength
// characters, without leading zeros ('0' for zero); NULL for any other text.
// Binds one value: the prefix.
QString SerialSql(qsizetype prefixLength)
{
    return QStringLiteral("(CASE WHEN substr(certificate, 1, %1) = ? AND length(certificate) > %1 AND substr(certificate, %2) NOT GLOB '*[^0-9]*'"
                          " THEN coalesce(nullif(ltrim(substr(certificate, %2), '0'), ''), '0') END)")
        .arg(prefixLength)
        .arg(prefixLength + 1);
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

TRecordStore::TRecordStore(const QString &path) : m_path(path)
{
    static QAtomicInteger<int> counter;
    m_connection = QStringLiteral("kv508-records-%1").arg(counter.fetchAndAddRelaxed(1));
    m_open = Open();
    if (!m_open) {
        QSqlDatabase db = QSqlDatabase::database(m_connection, false);
        if (db.isOpen())
            db.close();
    }
}

TRecordStore::~TRecordStore()
{
    {
        QSqlDatabase db = QSqlDatabase::database(m_connection, false);
        if (db.isOpen())
            db.close();
    }
    QSqlDatabase::removeDatabase(m_connection);
}

bool TRecordStore::Fail(TStoreError error, const QString &detail)
{
    m_error = error;
    m_message = QString::fromUtf8(StoreErrorText(error));
    if (!detail.isEmpty())
        m_message += QStringLiteral(": ") + detail;
    return false;
}

bool TRecordStore::Open()
{
    if (!QSqlDatabase::isDriverAvailable(QStringLiteral("QSQLITE")))
        return Fail(TStoreError::NoDriver, QStringLiteral("Install Qt's SQLite driver (Debian: libqt6sql6-sqlite)."));
    const QFileInfo info(m_path);
    const QString file = QDir::toNativeSeparators(m_path);
    // SQLite takes a device or a pipe for a file and fails later with nothing to go by.
    if (info.exists() && !info.isFile())
        return Fail(TStoreError::CannotOpen, QStringLiteral("%1 is not a regular file but %2. Remove or rename it; the tool then starts a new records file there.")
                                                 .arg(file, info.isDir() ? QStringLiteral("a folder") : QStringLiteral("a device, a pipe or a socket")));
    if (!QDir().mkpath(info.absolutePath()))
        return Fail(TStoreError::CannotCreate, QStringLiteral("%1: check that you may write there.").arg(QDir::toNativeSeparators(info.absolutePath())));
    QSqlDatabase db = QSqlDatabase::addDatabase(QStringLiteral("QSQLITE"), m_connection);
    db.setDatabaseName(m_path);
    if (!db.open())
        return Fail(TStoreError::CannotOpen, QStringLiteral("%1: %2").arg(file, db.lastError().text()));
    // A file that is not a database fails here, at its first read.
    {
        QSqlQuery check(db);
        if (!check.exec(QStringLiteral("SELECT count(*) FROM sqlite_master")))
            return Fail(TStoreError::CannotOpen, QStringLiteral("%1 is not a record database (%2). Move it aside; the tool then starts a new one.")
                                                     .arg(file, check.lastError().text()));
    }
    // A point is on the disk when its commit returns; a second window of the
    // tool waits briefly for the file instead of failing at once.
    for (const char *pragma : {"PRAGMA foreign_keys = ON", "PRAGMA synchronous = FULL", "PRAGMA busy_timeout = 3000"}) {
        QSqlQuery q(db);
        if (!q.exec(QString::fromLatin1(pragma)))
            return Fail(TStoreError::CannotOpen, QStringLiteral("%1: %2").arg(file, q.lastError().text()));
    }
    return Migrate();
}

std::optional<int> TRecordStore::ReadVersion(QString &error) const
{
    QSqlQuery q(QSqlDatabase::database(m_connection, false));
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
    const QString file = QDir::toNativeSeparators(m_path);
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
    if (found > kSchemaVersion)
        return Fail(TStoreError::NewerSchema,
                    QStringLiteral("%1 has schema version %2, this tool knows up to %3. Use the newer tool, or move the file aside to start a new one.")
                        .arg(file)
                        .arg(found)
                        .arg(kSchemaVersion));
    if (!HasTablesOf(found))
        return false;
    for (int v = found; v < kSchemaVersion; ++v) {
        if (!db.transaction())
            return Fail(TStoreError::MigrationFailed, db.lastError().text());
        // Qt runs one statement per exec.
        const QStringList statements = QString::fromUtf8(kMigrations[v]).split(QLatin1Char(';'), Qt::SkipEmptyParts);
        for (const QString &sql : statements) {
            if (sql.trimmed().isEmpty())
                continue;
            QSqlQuery q(db);
            if (!q.exec(sql)) {
                const QString stepError = q.lastError().text();
                q.finish();
                db.rollback();
                return Fail(TStoreError::MigrationFailed,
                            QStringLiteral("step to version %1: %2 (the file is left as it was)").arg(v + 1).arg(stepError));
            }
        }
        QSqlQuery q(db);
        if (!q.exec(QStringLiteral("PRAGMA user_version = %1").arg(v + 1)) || !db.commit()) {
            db.rollback();
            return Fail(TStoreError::MigrationFailed, db.lastError().text());
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
    if (!q.exec(QStringLiteral("SELECT name FROM sqlite_master WHERE type = 'table' AND name NOT LIKE 'sqlite\\_%' ESCAPE '\\' ORDER BY name")))
        return Fail(TStoreError::CannotOpen, QStringLiteral("%1: %2").arg(QDir::toNativeSeparators(m_path), q.lastError().text()));
    QStringList tables;
    while (q.next())
        tables << q.value(0).toString();
    const QString file = QDir::toNativeSeparators(m_path);
    if (version == 0 && !tables.isEmpty())
        return Fail(TStoreError::CannotOpen, QStringLiteral("%1 is not a records file of this tool: it has tables (%2) but no schema version; %3.")
                                                 .arg(file, tables.join(QStringLiteral(", ")), kMoveAside));
    QStringList wanted;
    if (version >= 1)
        wanted << QStringLiteral("records") << QStringLiteral("points");
    if (version >= 2)
        wanted << QStringLiteral("reference_instruments");
    for (const QString &table : wanted)
        if (!tables.contains(table))
            return Fail(TStoreError::CannotOpen,
                        QStringLiteral("%1 has schema version %2 but no %3 table: %4.").arg(file).arg(version).arg(table, kMoveAside));
    return true;
}

bool TRecordStore::HasColumns()
{
    QSqlDatabase db = QSqlDatabase::database(m_connection, false);
    const QString file = QDir::toNativeSeparators(m_path);
    for (const char *sql : kColumns) {
        QSqlQuery q(db);
        if (!q.exec(QString::fromLatin1(sql)))
            return Fail(TStoreError::CannotOpen, QStringLiteral("%1 has schema version %2 but not this tool's tables (%3): %4.")
                                                     .arg(file)
                                                     .arg(kSchemaVersion)
                                                     .arg(q.lastError().text(), kMoveAside));
    }
    QSqlQuery index(db);
    if (!index.exec(QStringLiteral("SELECT 1 FROM sqlite_master WHERE type = 'index' AND name = 'records_certificate'")) || !index.next())
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
                  .arg(serial.isEmpty() ? QString() : QStringLiteral(" OR %1 = ?").arg(SerialSql(prefix.size()))));
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
    q.prepare(QStringLiteral("SELECT certificate FROM (SELECT certificate, %1 AS serial FROM records) WHERE serial IS NOT NULL"
                             " ORDER BY length(serial) DESC, serial DESC LIMIT 1")
                  .arg(SerialSql(prefix.size())));
    q.addBindValue(prefix);
    if (!q.exec())
        return QString(); // not "0001" again: that number may be taken
    QString last;
    if (q.next())
        last = q.value(0).toString();
    return QString::fromStdString(calib::NextCertificateNumber(last.toStdString(), year));
}

} // namespace calib
