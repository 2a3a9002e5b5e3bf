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

} // namespace ctlrec
