// kv508ctl-records: the calibration records from the command line (kv508ctl
// records ..., kv508ctl record ... run it). The store, the record and the
// certificate are the window's own (app/calibration); the instrument is read
// through kv508ctl's session. Failures end the run as ctl::TFailure with the
// exit code kv508ctl uses; exitRecords when the location cannot be used.
#pragma once

#include "RecordStore.h"
#include "Session.h"

#include <nlohmann/json.hpp>

#include <QString>

#include <memory>
#include <optional>
#include <string>
#include <vector>

namespace ctl {
class TInterrupt;
}

namespace ctlrec {

using ctl::TFailure;

// ---- the store ---------------------------------------------------------------------------------

// The location given, else KV508_RECORDS, else the window's file.
QString LocationOf(const std::string &given);
// The store at location, open; throws exitRecords naming the cause (and exitUsage for a malformed location).
std::unique_ptr<calib::TRecordStore> OpenStore(const QString &location, calib::TOpenMode mode = calib::TOpenMode::Use);
// Throws when the store cannot take changes (a newer schema).
void NeedWritable(const calib::TRecordStore &store);
// The store's last error as the run's end: what was being done, its message, the exit code by its kind.
[[noreturn]] void StoreFailed(const calib::TRecordStore &store, const std::string &what);
// The record of that certificate number; unknown: exitUsage naming where it was looked for.
calib::TRecord LoadCertificate(calib::TRecordStore &store, const std::string &certificate);

// ---- formats -----------------------------------------------------------------------------------

std::string Utf8(const QString &text);
QString Q(const std::string &text);
std::string DateText(const QDate &date); // "2026-12-09", "" when not set
std::string LocalDate(const QDateTime &utc);
std::string IsoUtc(const QDateTime &utc); // "2026-12-09T08:15:02Z", "" when not set
std::string Verdict(calib::TVerdict verdict);
std::string UncertaintyText(const calib::TRecord &record, const calib::TPoint &point); // "± 0.013" (% of span, k = 2), "-"
// Columns padded to their widest cell (by characters, not bytes); the last is not padded.
std::string Table(const std::vector<std::vector<std::string>> &rows);
// One RFC 4180 line (CRLF).
std::string CsvLine(const std::vector<std::string> &fields);
std::string Rows(const std::vector<std::vector<std::string>> &rows, const std::string &format); // text or csv

// A point as one line and as JSON, with its result as the certificate shows it.
std::vector<std::string> PointCells(const calib::TRecord &record, const calib::TPoint &point);
std::vector<std::string> PointHeader();
nlohmann::ordered_json PointJson(const calib::TRecord &record, const calib::TPoint &point);

// ---- the subcommands ---------------------------------------------------------------------------

struct TListOptions {
    std::string tag;
    std::string dueBefore; // YYYY-MM-DD
    std::string verdict;   // pass, fail
    std::string format = "text";
};

int RunInit(const QString &location);
int RunList(const QString &location, const TListOptions &o);
int RunShow(const QString &location, const std::string &certificate, const std::string &format);
int RunAudit(const QString &location, const std::string &certificate, const std::string &format);
int RunCertificate(const QString &location, const std::string &certificate, const std::string &file, const std::string &issuer);
int RunCopy(const QString &from, const QString &to);

struct TNewOptions {
    std::string tag, serial, technician;
    std::string points = "0,25,50,75,100";
    std::string tolerance = "0.25";
    bool hysteresis = false;
};
int RunNew(const QString &location, const ctl::TLinkOptions &link, const TNewOptions &o);

struct TPointOptions {
    std::string certificate;
    std::string phase; // as-found, as-left
    std::string applied, meterMilliAmps;
    int index = 0;          // 1-based; 0: the next not yet entered
    int maxWaitMs = 60000;  // for the reading to settle
};
int RunPoint(const QString &location, const ctl::TLinkOptions &link, const TPointOptions &o);
int RunMarkCalibrated(const QString &location, const ctl::TLinkOptions &link, const std::string &certificate);
int RunFinish(const QString &location, const std::string &certificate);

// The window's names of the sensor codes (its settings page), "5 = DLVR-L01D E1BD-C".
QString SensorName(const kv508::TSettings &settings);

// ---- the pieces record and station share ---------------------------------------------------------

// The record record new starts, from its options (checked: exitUsage), with the default references.
calib::TRecord NewRecord(const TNewOptions &o);
// Creates r in the store for the instrument on s: its firmware, calibration date, sensor and unit.
void CreateRecord(calib::TRecordStore &store, ctl::TSession &s, calib::TRecord &r);
// Polls until the instrument's mean over the last polls has settled (as the window's page takes
// it): exitNotCalibrated after maxWaitMs (waitOption names the option that waits longer),
// exitUsage when interrupted.
calib::TReadings Settled(ctl::TSession &s, kv508::TLiveData d, const calib::TSpan &span, const calib::TRecord &r, int maxWaitMs,
                         const ctl::TInterrupt &interrupt, const std::string &waitOption);
// The phase's span: the record's, else the instrument's settings (exitUsage when unusable).
calib::TSpan PhaseSpan(calib::TRecord &r, ctl::TSession &s, const kv508::TLiveData &d, calib::TPhase phase);
struct TPointTaken {
    calib::TPhase phase;
    int index;
    calib::TSpan span;
    calib::TDecimal applied, milliAmps;
    calib::TReadings readings;
};
// Stores the point (with the record's header before a phase's first one); r gets it too.
calib::TPoint StorePoint(calib::TRecordStore &store, calib::TRecord &r, const TPointTaken &taken, const kv508::TLiveData &d);
// Notes the new calibration date. Unless the requests were seen acknowledged (a second
// calibration on the same day keeps the date): exitNotCalibrated when it has not changed.
void MarkCalibrated(calib::TRecordStore &store, calib::TRecord &r, const kv508::TLiveData &d, bool acknowledged = false);
void FinishRecord(calib::TRecordStore &store, calib::TRecord &r);
// Writes r's certificate as PDF and notes it in the record's audit trail; the path written.
std::string WriteCertificate(calib::TRecordStore &store, const calib::TRecord &r, const std::string &file, const std::string &issuer);

} // namespace ctlrec
