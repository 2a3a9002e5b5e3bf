// The calibration records in a local SQLite file or on a shared PostgreSQL
// server (Qt SQL; see RecordsLocation.h). Every call is one committed
// transaction, so a record is never lost further back than the last call that
// returned true: each point is committed when SavePoint returns. The schema
// carries its version and is migrated forward: a file on open, a server only
// when asked (TOpenMode::Init, `kv508ctl records init`). A schema from a newer
// tool is opened read-only with a message, never changed. Every change is
// written to the audit trail in the same transaction; a finished record is
// not changed (on the server a trigger refuses it to any role).
//
// One store belongs to one thread (Qt SQL connections do); the window runs it
// on a thread of its own (TStoreRunner).
#pragma once

#include "CalibrationRecord.h"
#include "RecordsLocation.h"
#include "Result.h"

#include <QString>
#include <QVariant>

class QSqlError;

#include <optional>
#include <vector>

namespace calib {

// A line of the history list.
struct TRecordSummary {
    qint64 id = 0;
    QString certificate;
    QString tag;
    QString serial;
    QDateTime created;
    bool calibrated = false;
    bool finished = false;
    TVerdict found = TVerdict::NotDone;
    TVerdict left = TVerdict::NotDone;
    TVerdict overall = TVerdict::NotDone;
    QDate nextDue;
    QString technician;
    QString approvedBy;
};

// Which records a list shows; empty fields do not filter.
struct TRecordFilter {
    QString tag;
    QDate dueBefore;             // next due date before this day
    std::optional<bool> passed;  // overall verdict PASS (true) or FAIL (false)
};

// One change of a record, as the audit trail keeps it.
struct TAuditRow {
    qint64 id = 0;
    qint64 recordId = 0;
    QDateTime at; // UTC, the server's (the file's: this computer's) clock
    QString osUser;
    QString technician;
    QString bench; // the computer's host name
    QString what;  // "created", "header", "point", "finished", "approved", "certificate"
    QString field; // the header field or the point ("As-Found 3"); empty otherwise
    QString oldValue;
    QString newValue;
};

// Who is making the changes: the OS user and the computer (host name), from
// the environment unless set (KV508_BENCH names a bench otherwise).
struct TActor {
    QString osUser;
    QString bench;
    static TActor FromEnvironment();
};

enum class TOpenMode {
    Use,  // a file is created and migrated; a server must be ready
    Init, // a server's schema is created or migrated too
};

class TRecordStore
{
public:
    static constexpr int kSchemaVersion = 5;

    // Opens location (a path or a location text, see RecordsLocation.h): a file
    // is created and migrated; check Error().
    explicit TRecordStore(const QString &location, TOpenMode mode = TOpenMode::Use);
    ~TRecordStore();
    TRecordStore(const TRecordStore &) = delete;
    TRecordStore &operator=(const TRecordStore &) = delete;

    bool IsOpen() const { return m_open; }
    TStoreError Error() const { return m_error; }
    // The last error with its cause and what to do, for a person.
    QString ErrorMessage() const { return m_message; }
    // The last error as a result for a job to hand back.
    template <class T>
    TStoreResult<T> Failure() const
    {
        return TStoreResult<T>::Failed(m_error, m_message.isEmpty() ? QString::fromUtf8(StoreErrorText(m_error)) : m_message);
    }
    // Set by the open that brought the file up to date when it found
    // something a person must know (certificate numbers given twice before
    // they were checked); empty otherwise.
    QString Notice() const { return m_notice; }
    QString Path() const { return m_path; } // the location as given
    const TRecordsLocation &Location() const { return m_location; }
    bool IsServer() const { return m_location.IsServer(); }
    // A schema newer than this tool's: reading works, every change is refused.
    bool ReadOnly() const { return m_readOnly; }
    int Version() const; // the schema version (-1 when it cannot be read)
    void SetActor(const TActor &actor) { m_actor = actor; }

    // Inserts the record's header and references (record.id is set). With a
    // year, the record gets that year's next certificate number in the same
    // transaction, so two tools on one file never hand out the same number.
    bool Create(TRecord &record, int certificateYear = 0);
    // Rewrites the header fields and references (not the points). A
    // certificate number another record has (the same text, or the same
    // number of a year written with other leading zeros) is refused with
    // CertificateTaken, naming that record; nothing is written then.
    bool SaveHeader(const TRecord &record);
    // Inserts or replaces one point.
    bool SavePoint(qint64 recordId, const TPoint &point);
    // Takes an entered point out of an unfinished record.
    bool RemovePoint(qint64 recordId, TPhase phase, int index);
    // The record finished (header and references as given): read-only from then on.
    bool Finish(const TRecord &record);
    // A second person's approval of a finished record, once.
    bool Approve(qint64 recordId, const QString &approver);
    // Notes in the audit trail that the certificate was written to file.
    bool NoteCertificate(qint64 recordId, const QString &file);
    std::optional<TRecord> Load(qint64 id);
    // The record holding that certificate number (NotFound when none does).
    std::optional<TRecord> LoadCertificate(const QString &certificate);
    // Newest first; an empty tag lists every record.
    std::vector<TRecordSummary> History(const QString &tag);
    std::vector<TRecordSummary> List(const TRecordFilter &filter);
    // Oldest first.
    std::vector<TAuditRow> Audit(qint64 recordId);
    QStringList Tags();
    // The next free number of the year: KV-2026-0001, KV-2026-0002, ...;
    // empty when the file cannot be read.
    QString NextCertificateNumber(int year);

    // Where the tool keeps its records: QStandardPaths::AppDataLocation.
    static QString DefaultPath();
    // Plain words for a failed server connection or statement (libpq's text):
    // the host cannot be reached, the password, the database missing, no rights.
    static QString ServerErrorText(const QString &libpqText, const TRecordsLocation &where);

private:
    bool Fail(TStoreError error, const QString &detail);
    // An error of a statement: on the server in plain words, a lost connection noted.
    bool Failed(TStoreError error, const QSqlError &sqlError);
    bool Lost(const QSqlError &error);
    // Open (and, for write, not read-only); after a lost connection, connected again.
    bool Ready(bool write);
    bool WriteFailed(const QSqlError &error, const QString &certificate);
    QString Where() const; // the file or the server, for a message
    bool OpenFile();
    bool OpenServer();
    // Writes one row of the audit trail (inside the caller's transaction).
    bool WriteAudit(qint64 recordId, const QString &technician, const QString &what, const QString &field, const QString &oldValue,
                    const QString &newValue);
    // Audit rows for what changed between the stored header and record.
    bool AuditHeader(const TRecord &before, const TRecord &after);
    std::optional<TRecord> LoadWhere(const QString &where, const QVariant &value);
    std::optional<int> ReadVersion(QString &error) const;
    bool Migrate();
    bool HasTablesOf(int version);
    bool HasColumns();
    void NoteRepeatedCertificates();
    // False (with CertificateTaken) when another record than id holds number.
    bool CertificateFree(qint64 id, const QString &number);
    bool WriteReferences(const TRecord &record);
    bool WriteHeader(const TRecord &record, bool finishing);
    // A write transaction: on a file with its write lock taken at once.
    bool Begin();
    // True (with Refused) when the record holds what this engine cannot keep.
    bool Refuse(const TRecord &record);

    QString m_path;
    TRecordsLocation m_location;
    TOpenMode m_mode = TOpenMode::Use;
    TActor m_actor = TActor::FromEnvironment();
    QString m_connection;
    bool m_open = false;
    bool m_readOnly = false;
    bool m_lost = false; // the server's connection broke: made again by the next call
    TStoreError m_error = TStoreError::None;
    QString m_message;
    QString m_notice;
};

} // namespace calib
