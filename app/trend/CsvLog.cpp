#include "CsvLog.h"

#include "KV508Commands.h"

#include <QCoreApplication>
#include <QFileInfo>

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <iterator>
#include <utility>

#ifndef _WIN32
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>
#endif

namespace trend {

QString CsvErrorText(TCsvError error)
{
    switch (error) {
    case TCsvError::None: return QCoreApplication::translate("TrendLog", "no error");
    case TCsvError::CannotOpen: return QCoreApplication::translate("TrendLog", "the file cannot be opened for writing");
    case TCsvError::NotRegular:
        return QCoreApplication::translate("TrendLog", "not a regular file (a pipe, FIFO, device or folder): no log is kept there");
    case TCsvError::CannotRead: return QCoreApplication::translate("TrendLog", "the existing file cannot be read to check its columns");
    case TCsvError::OtherColumns: return QCoreApplication::translate("TrendLog", "the existing file has other columns than this log");
    case TCsvError::CannotWrite: return QCoreApplication::translate("TrendLog", "a row could not be written");
    case TCsvError::NotOpen: return QCoreApplication::translate("TrendLog", "no log file is open");
    }
    return QCoreApplication::translate("TrendLog", "unknown error");
}

QByteArray CsvHeader()
{
    // The command-line program's names for the same columns.
    static const char *const flagNames[] = {"not_calibrated", "sensor_fault", "settings_missing", "sensor_overload",
                                            "output_out_of_range"};
    static_assert(std::size(flagNames) == kv508::ErrorFlags.size());
    QByteArray header = "time,pressure,output_ma"; // untranslated: file format
    for (const char *name : flagNames)
        header += QByteArray(",") + name;
    return header + '\n';
}

QByteArray FormatFixed(int value, int decimals)
{
    QByteArray digits = QByteArray::number(std::abs(value));
    if (decimals > 0) {
        if (digits.size() <= decimals)
            digits.prepend(QByteArray(decimals + 1 - digits.size(), '0'));
        digits.insert(digits.size() - decimals, '.');
    }
    return value < 0 ? '-' + digits : digits;
}

QByteArray IsoTime(const QDateTime &time)
{
    const int offset = time.offsetFromUtc() / 60;
    const int magnitude = std::abs(offset);
    return time.toString(QStringLiteral("yyyy-MM-ddTHH:mm:ss.zzz")).toLatin1() + (offset < 0 ? '-' : '+') +
           QByteArray::number(magnitude / 60).rightJustified(2, '0') + ':' +
           QByteArray::number(magnitude % 60).rightJustified(2, '0');
}

QByteArray CsvRow(const TLogRow &row)
{
    QByteArray line = IsoTime(row.time) + ',' + FormatFixed(row.value, row.decimals) + ',' + FormatFixed(row.microAmps, 3);
    for (const kv508::TErrorFlag &flag : kv508::ErrorFlags)
        line += (row.flags & flag.bit) ? ",1" : ",0";
    return line + '\n';
}

// ---- TCsvLog ----------------------------------------------------------------------

TCsvError TCsvLog::Fail(TCsvError error, const QString &systemError)
{
    m_systemError = systemError;
    m_file.close();
    return error;
}

TCsvError TCsvLog::OpenRegular(QIODevice::OpenMode mode)
{
    const TCsvError failure = mode & QIODevice::WriteOnly ? TCsvError::CannotOpen : TCsvError::CannotRead;
#ifdef _WIN32
    m_file.setFileName(m_path);
    if (!m_file.open(mode))
        return Fail(failure, m_file.errorString());
    return TCsvError::None;
#else
    // Non-blocking: should a FIFO have taken the file's place since it was
    // looked at, the open does not wait for a reader; fstat then refuses it.
    const int flags = mode & QIODevice::WriteOnly ? O_WRONLY | O_CREAT | O_APPEND : O_RDONLY;
    const int fd = ::open(QFile::encodeName(m_path).constData(), flags | O_NONBLOCK | O_CLOEXEC, 0666);
    if (fd < 0) {
        const int err = errno;
        if (err == ENXIO || err == EISDIR) // a FIFO without a reader, a folder
            return Fail(TCsvError::NotRegular, QString());
        return Fail(failure, QString::fromLocal8Bit(std::strerror(err)));
    }
    struct stat st {};
    if (::fstat(fd, &st) != 0 || !S_ISREG(st.st_mode)) {
        ::close(fd);
        return Fail(TCsvError::NotRegular, QString());
    }
    ::fcntl(fd, F_SETFL, ::fcntl(fd, F_GETFL) & ~O_NONBLOCK);
    if (!m_file.open(fd, mode, QFileDevice::AutoCloseHandle)) {
        ::close(fd);
        return Fail(failure, m_file.errorString());
    }
    return TCsvError::None;
#endif
}

TCsvError TCsvLog::Open(const QString &path)
{
    Close();
    m_systemError.clear();
    m_appended = false;
    m_path = path;

    // Only a plain file: a FIFO would hang the open (and the window's close
    // waiting for it), and a pipe whose reader goes away ends every write.
    const QFileInfo info(path);
    if (info.exists() && !info.isFile())
        return Fail(TCsvError::NotRegular, QString());

    // Rows of an existing log are kept; anything else is not written into.
    bool endsInNewline = true;
    if (info.exists() && info.size() > 0) {
        if (const TCsvError error = OpenRegular(QIODevice::ReadOnly); error != TCsvError::None)
            return error;
        const QByteArray first = m_file.readLine(4096);
        if (m_file.error() != QFileDevice::NoError)
            return Fail(TCsvError::CannotRead, m_file.errorString());
        QByteArray firstTrimmed = first;
        while (firstTrimmed.endsWith('\n') || firstTrimmed.endsWith('\r'))
            firstTrimmed.chop(1);
        if (firstTrimmed + '\n' != CsvHeader())
            return Fail(TCsvError::OtherColumns, QString());
        // A row cut short (the program was killed mid-write) is ended, not continued.
        if (!m_file.seek(m_file.size() - 1))
            return Fail(TCsvError::CannotRead, m_file.errorString());
        char last = '\n';
        if (!m_file.getChar(&last))
            return Fail(TCsvError::CannotRead, m_file.errorString());
        endsInNewline = last == '\n';
        m_file.close();
        m_appended = true;
    }
    if (const TCsvError error = OpenRegular(QIODevice::WriteOnly | QIODevice::Append); error != TCsvError::None)
        return error;
    if (!m_appended)
        return Write(CsvHeader());
    if (!endsInNewline)
        return Write("\n");
    return TCsvError::None;
}

TCsvError TCsvLog::Write(const QByteArray &bytes)
{
    if (!m_file.isOpen())
        return TCsvError::NotOpen;
    // A short write or a failed flush is a lost row: the log stops there.
    if (m_file.write(bytes) != bytes.size() || !m_file.flush())
        return Fail(TCsvError::CannotWrite, m_file.errorString());
    return TCsvError::None;
}

TCsvError TCsvLog::Append(const TLogRow &row)
{
    if (!m_file.isOpen())
        return TCsvError::NotOpen;
    // Emptied by another program ("> file", a log rotation): rows without the
    // header would be refused as other columns the next time.
    if (m_file.size() == 0)
        if (const TCsvError error = Write(CsvHeader()); error != TCsvError::None)
            return error;
    return Write(CsvRow(row));
}

void TCsvLog::Close()
{
    if (m_file.isOpen())
        m_file.close();
}

// ---- TCsvLogWriter ----------------------------------------------------------------

class TCsvLogWriter::TWorker : public QObject
{
public:
    explicit TWorker(TCsvLogWriter *owner) : m_owner(owner) {}

    void Start(int session, const QString &path)
    {
        m_session = session;
        m_rows = 0;
        const TCsvError error = m_log.Open(path);
        m_live = error == TCsvError::None;
        if (m_live)
            Post([o = m_owner, session, path, appended = m_log.Appended()] { emit o->Opened(session, path, appended); });
        else
            Report(error);
    }

    void Write(const TLogRow &row)
    {
        if (!m_live)
            return; // the window counts these as not written
        const TCsvError error = m_log.Append(row);
        if (error != TCsvError::None) {
            m_live = false;
            Report(error);
            return;
        }
        ++m_rows;
        Post([o = m_owner, s = m_session, n = m_rows] { emit o->Written(s, n); });
    }

    void Stop()
    {
        m_live = false;
        m_log.Close();
    }

private:
    template <class F>
    void Post(F &&f)
    {
        QMetaObject::invokeMethod(m_owner, std::forward<F>(f), Qt::QueuedConnection);
    }

    // The text is made where it is shown, in the language chosen there.
    void Report(TCsvError error)
    {
        Post([o = m_owner, s = m_session, e = static_cast<int>(error), why = m_log.SystemError(), n = m_rows] {
            emit o->Failed(s, e, why, n);
        });
    }

    TCsvLogWriter *m_owner;
    TCsvLog m_log;
    int m_session = 0;
    qint64 m_rows = 0;
    bool m_live = false;
};

TCsvLogWriter::TCsvLogWriter(QObject *parent) : QObject(parent), m_worker(new TWorker(this))
{
    m_thread.setObjectName(QStringLiteral("csv log"));
    m_worker->moveToThread(&m_thread);
    m_thread.start();
}

TCsvLogWriter::~TCsvLogWriter()
{
    // After every row already queued: posted work would be dropped by a plain quit.
    QMetaObject::invokeMethod(
        m_worker,
        [w = m_worker] {
            w->Stop();
            QThread::currentThread()->quit();
        },
        Qt::QueuedConnection);
    m_thread.wait();
    delete m_worker;
}

int TCsvLogWriter::Start(const QString &path)
{
    const int session = ++m_session;
    QMetaObject::invokeMethod(m_worker, [w = m_worker, session, path] { w->Start(session, path); }, Qt::QueuedConnection);
    return session;
}

void TCsvLogWriter::Write(const TLogRow &row)
{
    QMetaObject::invokeMethod(m_worker, [w = m_worker, row] { w->Write(row); }, Qt::QueuedConnection);
}

void TCsvLogWriter::Stop()
{
    QMetaObject::invokeMethod(m_worker, [w = m_worker] { w->Stop(); }, Qt::QueuedConnection);
}

} // namespace trend
