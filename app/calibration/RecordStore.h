// The calibration records in a local SQLite database (Qt SQL). Every call is
// one committed transaction, so a record is never lost further back than the
// last call that returned true: each point is on disk when SavePoint returns.
// The schema carries its version (PRAGMA user_version) and is migrated forward
// on open; a database from a newer tool is refused, never changed.
//
// One store belongs to one thread (Qt SQL connections do); the window runs it
// on a thread of its own (TStoreRunner).
#pragma once

#include "CalibrationRecord.h"
#include "Result.h"

#include <QString>

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
};

class TRecordStore
{
public:
    static constexpr int kSchemaVersion = 3;

    // Opens (creating folder and file) and migrates path; check Error().
    explicit TRecordStore(const QString &path);
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
    QString Path() const { return m_path; }
    int Version() const; // the file's user_version (-1 when it cannot be read)

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
    std::optional<TRecord> Load(qint64 id);
    // Newest first; an empty tag lists every record.
    std::vector<TRecordSummary> History(const QString &tag);
    QStringList Tags();
    // The next free number of the year: KV-2026-0001, KV-2026-0002, ...;
    // empty when the file cannot be read.
    QString NextCertificateNumber(int year);

    // Where the tool keeps its records: QStandardPaths::AppDataLocation.
    static QString DefaultPath();

private:
    bool Fail(TStoreError error, const QString &detail);
    bool WriteFailed(const QString &error, const QString &certificate);
    bool Open();
    std::optional<int> ReadVersion(QString &error) const;
    bool Migrate();
    bool HasTablesOf(int version);
    bool HasColumns();
    void NoteRepeatedCertificates();
    // False (with CertificateTaken) when another record than id holds number.
    bool CertificateFree(qint64 id, const QString &number);
    bool WriteReferences(const TRecord &record);

    QString m_path;
    QString m_connection;
    bool m_open = false;
    TStoreError m_error = TStoreError::None;
    QString m_message;
    QString m_notice;
};

} // namespace calib
