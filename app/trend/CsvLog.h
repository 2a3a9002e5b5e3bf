// The trend's CSV log: one row per answered poll, flushed as written, so a
// spreadsheet or `tail -f` can follow it and a crash loses at most the row in
// hand. Qt Core only. TCsvLog writes in the caller's thread; TCsvLogWriter
// runs it on a thread of its own so a slow disk never stalls the window.
#pragma once

#include <QByteArray>
#include <QDateTime>
#include <QFile>
#include <QObject>
#include <QString>
#include <QThread>

#include <cstdint>

namespace trend {

struct TLogRow {
    QDateTime time;        // local time; written with its offset
    int16_t value = 0;     // pressure x 10^decimals
    uint8_t decimals = 0;
    int16_t microAmps = 0;
    uint8_t flags = 0;     // the five error bits
};

enum class TCsvError {
    None,
    CannotOpen,    // permission, missing folder
    NotRegular,    // a pipe, FIFO, device or folder: no log can be kept there
    CannotRead,    // an existing file whose header cannot be checked
    OtherColumns,  // an existing file that is not this log's
    CannotWrite,   // disk full, medium gone
    NotOpen,
};
QString CsvErrorText(TCsvError error); // in the language the window speaks

// The header line, with its line end.
QByteArray CsvHeader();
// One row, with its line end: "2024-05-01T12:00:00.125+02:00,-12.5,4.000,0,1,0,0,0".
// The point is always '.', whatever the locale: the file is for programs.
QByteArray CsvRow(const TLogRow &row);
// value / 10^decimals with exactly `decimals` digits after the point.
QByteArray FormatFixed(int value, int decimals);
// ISO-8601 with milliseconds and the UTC offset.
QByteArray IsoTime(const QDateTime &time);

class TCsvLog
{
public:
    TCsvLog() = default;
    TCsvLog(const TCsvLog &) = delete;
    TCsvLog &operator=(const TCsvLog &) = delete;

    // Opens path for appending. A new or empty file gets the header; an existing
    // one must begin with it (its rows are kept, the header is not repeated).
    // Only a regular file is taken: the open never waits, as on a FIFO.
    TCsvError Open(const QString &path);
    // A file another program emptied since gets the header again first.
    TCsvError Append(const TLogRow &row);
    void Close();

    bool IsOpen() const { return m_file.isOpen(); }
    bool Appended() const { return m_appended; } // the file had rows of its own
    QString Path() const { return m_path; }
    // The system's reason for the last failure ("No space left on device").
    QString SystemError() const { return m_systemError; }

private:
    TCsvError Write(const QByteArray &bytes);
    TCsvError Fail(TCsvError error, const QString &systemError);
    TCsvError OpenRegular(QIODevice::OpenMode mode);

    QString m_path;
    QFile m_file;
    bool m_appended = false;
    QString m_systemError;
};

// A TCsvLog on its own thread. Calls are queued in order; results come back as
// signals tagged with the session that Start returned.
class TCsvLogWriter : public QObject
{
    Q_OBJECT

public:
    explicit TCsvLogWriter(QObject *parent = nullptr);
    ~TCsvLogWriter() override; // closes the file and ends the thread

    int Start(const QString &path);
    void Write(const TLogRow &row);
    void Stop();

signals:
    void Opened(int session, const QString &path, bool appended);
    // rowsWritten counts this session's rows now safely in the file.
    void Written(int session, qint64 rowsWritten);
    // error: a TCsvError (CsvErrorText says it); systemError: the system's reason, or empty.
    void Failed(int session, int error, const QString &systemError, qint64 rowsWritten);

private:
    class TWorker;
    QThread m_thread;
    TWorker *m_worker = nullptr;
    int m_session = 0;
};

} // namespace trend
