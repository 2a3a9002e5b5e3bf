// The line monitor's rows as text lines (the clipboard, "Save as text") and as
// CSV, and the writing of a file of them. Qt Core only; Save runs on any thread.
#pragma once

#include "FrameRing.h"

#include <QByteArray>
#include <QString>

#include <atomic>
#include <utility>
#include <vector>

namespace linemon {

// no is the number the list shows (from 1).
//
// "17 1234 2026-12-09T03:30:01.234 > M0127010000000030D7; query poll force=0 pwm=0":
// number, ms since the port opened, local time, then as `kv508ctl monitor`
// prints a frame (direction, raw characters with junk escaped, verdict,
// decoded command and fields). No line end.
QByteArray TextLine(uint64_t no, const TRow &row);

// The CSV header and one row, each with its line end:
// frame,ms_since_open,time,direction,verdict,address,id,command,status,decoded,raw
// time in local ISO-8601 with milliseconds and offset; direction tx/rx;
// address..status empty for characters that make no frame; raw escaped as in
// the text, and a first character a spreadsheet would take for a formula
// (= + - @) written as \xHH.
QByteArray CsvHeader();
QByteArray CsvLine(uint64_t no, const TRow &row);

enum class TFormat { Text, Csv };
// Csv for a name ending in .csv (any case), else Text.
TFormat FormatOf(const QString &path);

enum class TSaveError { None, CannotOpen, CannotWrite, Cancelled };
struct TSaveResult {
    TSaveError error = TSaveError::None;
    QString systemError; // the system's reason ("No space left on device")
    qint64 rows = 0;     // rows in the file (0 unless saved)
};
// What failed and what to do about it, for a message box.
QString SaveErrorText(const TSaveResult &result, const QString &path);

using TNumberedRows = std::vector<std::pair<uint64_t, TRow>>; // (no, row)

// Writes the rows to path, all or nothing: the file appears complete or an
// existing one stays as it was. cancel is polled between rows.
TSaveResult Save(const QString &path, TFormat format, const TNumberedRows &rows, const std::atomic<bool> &cancel);

} // namespace linemon
