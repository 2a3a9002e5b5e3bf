#include "FrameExport.h"

#include "CsvLog.h"

#include <QCoreApplication>
#include <QDateTime>
#include <QSaveFile>

#include <cstdio>

namespace linemon {

namespace {

QDateTime LocalTime(int64_t wallMs)
{
    return QDateTime::fromMSecsSinceEpoch(wallMs, Qt::LocalTime);
}

QByteArray Number(uint64_t v)
{
    return QByteArray::number(static_cast<qulonglong>(v));
}

// A CSV field, quoted when it holds a separator, a quote, a line end or
// blanks at its ends.
QByteArray CsvField(QByteArray text)
{
    const bool quote = text.contains(',') || text.contains('"') || text.contains('\n') || text.contains('\r') ||
                       text.startsWith(' ') || text.endsWith(' ');
    if (!quote)
        return text;
    text.replace("\"", "\"\"");
    return '"' + text + '"';
}

QByteArray RawForCsv(const std::string &raw)
{
    QByteArray text = QByteArray::fromStdString(kv508::TFrameMonitor::EscapeRaw(raw));
    if (!text.isEmpty() && (text[0] == '=' || text[0] == '+' || text[0] == '-' || text[0] == '@')) {
        char hex[8];
        std::snprintf(hex, sizeof hex, "\\x%02X", unsigned(static_cast<unsigned char>(text[0])));
        text.replace(0, 1, hex);
    }
    return text;
}

} // namespace

QByteArray TextLine(uint64_t no, const TRow &row)
{
    kv508::TFrameRecord r;
    r.direction = row.direction;
    r.raw = row.raw;
    r.verdict = row.verdict;
    r.querySeen = row.querySeen;
    r.decoded = Decoded(row);
    r.hasWallClock = true;
    r.wallMs = row.wallMs + int64_t(LocalTime(row.wallMs).offsetFromUtc()) * 1000;
    return Number(no) + ' ' + QByteArray::number(static_cast<qlonglong>(row.sinceOpenMs)) + ' ' +
           QByteArray::fromStdString(kv508::TFrameMonitor::FormatText(r));
}

QByteArray CsvHeader()
{
    return "frame,ms_since_open,time,direction,verdict,address,id,command,status,decoded,raw\n"; // untranslated: file format
}

QByteArray CsvLine(uint64_t no, const TRow &row)
{
    QByteArray line = Number(no) + ',' + QByteArray::number(static_cast<qlonglong>(row.sinceOpenMs)) + ',' +
                      trend::IsoTime(LocalTime(row.wallMs)) + ',' +
                      (row.direction == kv508::TDirection::Tx ? "tx," : "rx,") + kv508::VerdictText(row.verdict) + ',';
    if (row.hasHeader)
        line += Number(row.address) + ',' + Number(row.id) + ',' + Number(row.command) + ',' + Number(row.status) + ',';
    else
        line += ",,,,";
    line += CsvField(QByteArray::fromStdString(Decoded(row))) + ',' + CsvField(RawForCsv(row.raw)) + '\n';
    return line;
}

TFormat FormatOf(const QString &path)
{
    return path.endsWith(QStringLiteral(".csv"), Qt::CaseInsensitive) ? TFormat::Csv : TFormat::Text;
}

QString SaveErrorText(const TSaveResult &result, const QString &path)
{
    const QString reason = result.systemError.isEmpty() ? QString() : QStringLiteral(" (%1)").arg(result.systemError);
    switch (result.error) {
    case TSaveError::None: return {};
    case TSaveError::CannotOpen:
        return QCoreApplication::translate("LineMonitor", "Cannot create %1%2. Choose a folder you may write to.").arg(path, reason);
    case TSaveError::CannotWrite:
        return QCoreApplication::translate("LineMonitor", "Cannot write %1%2; nothing was saved and an existing file was left "
                                                          "as it was. Free some disk space or choose another place.")
            .arg(path, reason);
    case TSaveError::Cancelled: return QCoreApplication::translate("LineMonitor", "Saving %1 was cancelled; nothing was saved.").arg(path);
    }
    return {};
}

TSaveResult Save(const QString &path, TFormat format, const TNumberedRows &rows, const std::atomic<bool> &cancel)
{
    TSaveResult result;
    QSaveFile file(path);
    if (!file.open(QIODevice::WriteOnly)) {
        result.error = TSaveError::CannotOpen;
        result.systemError = file.errorString();
        return result;
    }
    // Written in blocks: one system call per row would cost more than the rows.
    QByteArray block;
    constexpr qsizetype BlockBytes = 1 << 16;
    const auto flush = [&] {
        const bool ok = file.write(block) == block.size();
        block.clear();
        return ok;
    };
    bool ok = true;
    if (format == TFormat::Csv)
        block = CsvHeader();
    for (const auto &[no, row] : rows) {
        if (cancel.load(std::memory_order_relaxed)) {
            file.cancelWriting();
            result.error = TSaveError::Cancelled;
            return result;
        }
        if (format == TFormat::Csv)
            block += CsvLine(no, row);
        else
            block += TextLine(no, row) + '\n';
        if (block.size() >= BlockBytes && !(ok = flush()))
            break;
    }
    if (ok)
        ok = flush();
    if (!ok) {
        result.error = TSaveError::CannotWrite;
        result.systemError = file.errorString();
        file.cancelWriting(); // the temporary file goes, an existing one stays
        return result;
    }
    if (!file.commit()) {
        result.error = TSaveError::CannotWrite;
        result.systemError = file.errorString();
        return result;
    }
    result.rows = qint64(rows.size());
    return result;
}

} // namespace linemon
