// A calibration check without a window: the record and the instrument's
// readings, a point entered (and taken back when the store refuses it), a new
// record, one continued from the history, finishing it and a second person's
// approval, the calibration noticed between As-Found and As-Left from the
// instrument's acknowledged requests, and the store jobs (on TStoreRunner's thread). Qt Core and Qt SQL only: a window
// shows what it reports and hands on what is typed.
#pragma once

#include "CalibrationRecord.h"
#include "KV508Snapshot.h"
#include "RecordStore.h"

#include <QObject>

#include <functional>
#include <map>
#include <optional>
#include <tuple>
#include <vector>

class QTimer;
class TStoreRunner;

namespace calib {

// What a person types into the record's header.
struct THeaderFields {
    QString certificate;
    QString tag;
    QString serial;
    QString technician;
    QString ambientTemperature;
    QString humidity;
    QString remarks;
    QDate nextDue;
    TCertificateLanguage certificateLanguage = TCertificateLanguage::English;
    std::vector<TReference> references;
};

// A record to a file: the writer (run on the store's thread) and what is said
// afterwards ("%1": the file, or the cause). A certificate is noted in the
// record's audit trail once written (note: "%1" the file; empty: not noted).
struct TExport {
    std::function<TResult<bool>(const TRecord &record, const QString &path)> write;
    QString written;
    QString notWritten;
    QString note;
};

class TCalibrationSession : public QObject
{
    Q_OBJECT

public:
    // instrument: what the form knows already (a session may start long after the port opened).
    TCalibrationSession(const QString &databasePath, const kv508::TInstrumentSnapshot &instrument, QObject *parent = nullptr);
    // Lets every store job given finish first: nothing entered is dropped.
    ~TCalibrationSession() override;

    // ---- the instrument ----
    // After each transaction of the form (ok: answered), with what the form knows then.
    void Follow(quint8 command, bool ok, const kv508::TInstrumentSnapshot &instrument);
    // What the form knows now, between transactions (today's date above all).
    void Update(const kv508::TInstrumentSnapshot &instrument) { m_instrument = instrument; }
    const kv508::TInstrumentSnapshot &Instrument() const { return m_instrument; }
    const TReadings &Readings() const { return m_readings; }
    bool PollSeen() const { return m_pollSeen; }
    // The instrument's span as read (not checked); null until a poll and the settings have been seen.
    std::optional<TSpan> SpanNow() const;
    bool InstrumentStable() const;
    QString UnitNow() const;
    QString SensorNow() const; // empty until the settings have been seen
    QDate Today() const;

    // ---- the record ----
    const TRecord &Record() const { return m_record; }
    bool HasRecord() const { return m_record.id != 0; }
    bool Creating() const { return m_creating; }
    // Points are in: the tolerance and the test points stay as they are.
    bool Locked() const { return m_record.HasPoints(TPhase::AsFound) || m_record.HasPoints(TPhase::AsLeft); }

    // A record for the instrument now (refused while one is being started).
    TResult<bool> NewRecord(const QString &technician, std::vector<TReference> references,
                            TCertificateLanguage language = TCertificateLanguage::English);
    // A record from the history: continued, or shown read-only when finished.
    void Load(qint64 id);
    // The typed header into the record (a finished record keeps what it has).
    void SetHeader(const THeaderFields &fields);
    void SaveHeader() { StoreHeader({}); }
    // Tolerance and points as typed, until the first point: what is no valid
    // entry stays as it was, and is said.
    void SetCheck(const QString &tolerance, const QString &points, bool hysteresis);
    // The applied reference value and the ammeter's reading as typed; the
    // instrument's averaged reading is taken now. Stored in the background: a
    // point the store refuses is taken back, and said.
    TResult<bool> EnterPoint(TPhase phase, int index, const QString &applied, const QString &milliAmps);
    // Finished: read-only from then on (back to open when the store refuses it).
    TResult<bool> Finish();
    // A second person's approval of the finished record; the record is read
    // again with it. Refused for the record's own technician.
    TResult<bool> Approve(const QString &approver);
    // Whether name is the record's technician (approval is a second person's).
    bool IsTechnician(const QString &name) const;
    // Notes in the record's audit trail that its certificate went out (a file,
    // a printer) by a way other than Export; said when the store refuses it.
    void NoteCertificate(const QString &where);
    // before runs when the file is done, ahead of the message and Exported.
    void Export(const QString &path, const TExport &how, std::function<void()> before = {});
    void ExportCsv(const QString &path);
    // The history of one tag; empty: of the record's own tag.
    void ShowHistoryOf(const QString &tag);
    // Only records due before day in the history (null: all of them).
    void ShowDueBefore(const QDate &day);
    void RefreshHistory();

    // ---- a records server that stops answering ----
    // Points and a header the server has not acknowledged: kept here (shown,
    // not said stored) and stored once it answers again, tried every few seconds.
    int Unstored() const { return int(m_unstored.size()) + (m_unstoredHeader ? 1 : 0); }
    bool IsStored(TPhase phase, int index) const;
    // The record as it stands, with every point typed, into a records file of
    // this computer instead (kv508ctl records copy takes it to the server later).
    void SaveToFile(const QString &path);
    // Another records location from now on; refused while something is not
    // stored or a record is being started. The open record is closed.
    TResult<bool> UseLocation(const QString &location);
    QString Location() const;

    // What the session said last (Message).
    QString LastMessage() const { return m_lastMessage; }
    // Store jobs still running.
    int PendingWrites() const;
    TStoreRunner *Runner() const { return m_runner; }

signals:
    // The record changed as a whole: show all of it.
    void RecordChanged();
    // A record is being started: nothing may be typed into it meanwhile.
    void EditableChanged();
    // New readings (or a gap in them).
    void LiveChanged();
    // A certificate number another record has was refused: the record keeps this one.
    void CertificateKept(const QString &certificate);
    // A point entered where there was none was refused by the store.
    void PointNotSaved(calib::TPhase phase, int index);
    void Message(const QString &text, bool error);
    // A point, a header or a record went to disk (or failed: ok false).
    void Saved(bool ok, const QString &what);
    void Exported(bool ok, const QString &path);
    // The tags in the file, and the records of tag (every record when empty).
    void HistoryRead(const QStringList &tags, const std::vector<calib::TRecordSummary> &records, const QString &tag);
    // The records file cannot be used: no record can be started.
    void StoreUnusable();
    // The records server stopped answering with something not stored (true),
    // or answers again and holds everything (false).
    void ServerLost(bool lost);
    // Every store job given so far has come back.
    void Idle();

private:
    // then(error) runs once the store has answered (an empty error: saved).
    // A certificate number another record has goes back to the saved one.
    // finishing: the store's Finish (the header with it), else SaveHeader.
    void StoreHeader(std::function<void(const QString &error)> then, bool finishing = false);
    void PointStored(const TResult<bool> &result, TPhase phase, int index, qint64 id, const TPoint &point,
                     const std::optional<TPoint> &previous, bool firstOfPhase);
    // A point or header the server did not get because it cannot be reached:
    // kept for the retry (true), or not such a failure (false).
    bool HoldPoint(const TResult<bool> &result, qint64 id, const TPoint &point, const std::optional<TRecord> &header);
    bool HoldHeader(const TResult<bool> &result, const TRecord &header);
    void Stored(qint64 id, const TPoint &point);
    void Retry();
    void OpenStore();
    void FollowPoll();
    // The instrument's span now, or why it cannot be used.
    TResult<TSpan> CurrentSpan() const;
    void Say(const QString &text, bool error = false);

    TStoreRunner *m_runner = nullptr;
    kv508::TInstrumentSnapshot m_instrument;
    TRecord m_record;
    TReadings m_readings;
    bool m_pollSeen = false;
    bool m_settingsSeen = false;
    bool m_creating = false;
    quint64 m_generation = 0; // bumped when another record is asked for: late answers for the old one are dropped
    QString m_lastMessage;
    QString m_historyTag;
    QDate m_historyDue;
    QString m_savedCertificate; // the record's number on disk
    // Held for the server: per record, phase and index the newest point typed.
    std::map<std::tuple<qint64, int, int>, TPoint> m_unstored;
    std::optional<TRecord> m_unstoredHeader;
    QTimer *m_retry = nullptr;
    bool m_retrying = false;
};

} // namespace calib
