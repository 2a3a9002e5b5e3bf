// The store as the subcommands use it, and the formats they print in.
#include "Records.h"

#include <QTimeZone>

#include <algorithm>
#include <cmath>

namespace ctlrec {

using calib::TRecordStore;
using calib::TStoreError;

// ---- the store ---------------------------------------------------------------------------------

QString LocationOf(const std::string &given)
{
    return given.empty() ? calib::TRecordsLocation::Configured() : Q(given);
}

std::unique_ptr<TRecordStore> OpenStore(const QString &location, calib::TOpenMode mode)
{
    const calib::TResult<calib::TRecordsLocation> parsed = calib::TRecordsLocation::Parse(location);
    if (!parsed.Ok())
        throw TFailure(ctl::exitUsage, "--records " + Utf8(location) + ": " + Utf8(parsed.ErrorMessage()));
    auto store = std::make_unique<TRecordStore>(location, mode);
    if (!store->IsOpen())
        throw TFailure(ctl::exitRecords, "the records at " + Utf8(parsed.Value().Text()) + " cannot be used: " +
                                             Utf8(store->ErrorMessage()));
    return store;
}

void NeedWritable(const TRecordStore &store)
{
    if (store.ReadOnly())
        throw TFailure(ctl::exitRecords, "the records at " + Utf8(store.Location().Text()) + " were written by a newer version "
                                         "of the tool (schema " + std::to_string(store.Version()) + "): they can be read, not "
                                         "changed; install the newer version to change them");
}

void StoreFailed(const TRecordStore &store, const std::string &what)
{
    ctl::TExit code = ctl::exitRecords;
    switch (store.Error()) {
    case TStoreError::NotFound:
    case TStoreError::Finished:
    case TStoreError::CertificateTaken:
    case TStoreError::Refused: code = ctl::exitUsage; break;
    default: break;
    }
    throw TFailure(code, what + ": " + Utf8(store.ErrorMessage()));
}

calib::TRecord LoadCertificate(TRecordStore &store, const std::string &certificate)
{
    const QString number = Q(certificate).trimmed();
    if (number.isEmpty())
        throw TFailure(ctl::exitUsage, "no certificate number given (records list shows them)");
    std::optional<calib::TRecord> r = store.LoadCertificate(number);
    if (r)
        return std::move(*r);
    if (store.Error() == TStoreError::NotFound)
        throw TFailure(ctl::exitUsage, "no record has certificate number " + Utf8(number) + " at " + Utf8(store.Location().Text()) +
                                           " (records list shows the numbers there; --records names another location)");
    StoreFailed(store, "record " + Utf8(number) + " cannot be read");
}

// ---- formats -----------------------------------------------------------------------------------

std::string Utf8(const QString &text)
{
    return text.toUtf8().toStdString();
}

QString Q(const std::string &text)
{
    return QString::fromUtf8(text.data(), qsizetype(text.size()));
}

std::string DateText(const QDate &date)
{
    return date.isValid() ? Utf8(date.toString(Qt::ISODate)) : std::string();
}

std::string LocalDate(const QDateTime &utc)
{
    return utc.isValid() ? Utf8(utc.toLocalTime().date().toString(Qt::ISODate)) : std::string();
}

std::string IsoUtc(const QDateTime &utc)
{
    return utc.isValid() ? Utf8(utc.toUTC().toString(Qt::ISODate)) : std::string();
}

std::string UncertaintyText(const calib::TRecord &r, const calib::TPoint &p)
{
    const std::optional<calib::TUncertainty> u = r.Uncertainty(p);
    return u ? "± " + calib::FormatUncertainty(u->expandedPercent) : std::string("-");
}

std::string Verdict(calib::TVerdict verdict)
{
    return calib::VerdictText(verdict);
}

std::string Table(const std::vector<std::vector<std::string>> &rows)
{
    std::vector<qsizetype> width;
    for (const auto &row : rows)
        for (size_t i = 0; i < row.size(); ++i) {
            width.resize(std::max(width.size(), row.size()));
            width[i] = std::max(width[i], Q(row[i]).size());
        }
    std::string out;
    for (const auto &row : rows) {
        std::string line;
        for (size_t i = 0; i < row.size(); ++i) {
            line += row[i];
            if (i + 1 < row.size())
                line += std::string(size_t(width[i] - Q(row[i]).size()) + 2, ' ');
        }
        while (!line.empty() && line.back() == ' ')
            line.pop_back();
        out += line + "\n";
    }
    return out;
}

std::string CsvLine(const std::vector<std::string> &fields)
{
    std::string line;
    for (size_t i = 0; i < fields.size(); ++i) {
        const std::string &f = fields[i];
        if (i)
            line += ',';
        if (f.find_first_of(",\"\r\n") == std::string::npos) {
            line += f;
            continue;
        }
        line += '"';
        for (char c : f)
            line += c == '"' ? std::string("\"\"") : std::string(1, c);
        line += '"';
    }
    return line + "\r\n";
}

std::string Rows(const std::vector<std::vector<std::string>> &rows, const std::string &format)
{
    if (format != "csv")
        return Table(rows);
    std::string out;
    for (const auto &row : rows)
        out += CsvLine(row);
    return out;
}

namespace {

std::string Number(double v, int decimals)
{
    return Utf8(QString::number(v, 'f', decimals));
}

} // namespace

std::vector<std::string> PointHeader()
{
    return {"phase", "point", "percent", "applied", "expected-ma", "meter-ma", "error-%", "u-%", "instrument", "instrument-ma", "stable",
            "result"};
}

std::vector<std::string> PointCells(const calib::TRecord &r, const calib::TPoint &p)
{
    const std::optional<calib::TPointResult> res = r.Result(p);
    std::string instrument, instrumentMa;
    if (p.instrumentValue)
        instrument = Number(*p.instrumentValue, r.span[int(p.phase)] ? r.span[int(p.phase)]->decimals + 1 : 2);
    if (p.instrumentMilliAmps)
        instrumentMa = Number(*p.instrumentMilliAmps, 4);
    return {calib::PhaseName(p.phase),
            std::to_string(p.index + 1),
            p.percent.Text(),
            p.applied.Text() + " " + Utf8(r.unit),
            res ? Number(res->expectedMilliAmps, 4) : std::string("-"),
            p.milliAmps.Text(),
            res ? calib::FormatError(res->errorPercent, res->pass, r.tolerance) : std::string("-"),
            UncertaintyText(r, p),
            instrument,
            instrumentMa,
            p.stable ? "yes" : "no",
            res ? (res->pass ? "PASS" : "FAIL") : "no span"};
}

nlohmann::ordered_json PointJson(const calib::TRecord &r, const calib::TPoint &p)
{
    nlohmann::ordered_json j;
    const std::optional<calib::TPointResult> res = r.Result(p);
    j["phase"] = calib::PhaseName(p.phase);
    j["point"] = p.index + 1;
    j["percent"] = nlohmann::ordered_json::parse(p.percent.Text());
    j["applied"] = nlohmann::ordered_json::parse(p.applied.Text());
    j["unit"] = Utf8(r.unit);
    j["meter-ma"] = nlohmann::ordered_json::parse(p.milliAmps.Text());
    j["expected-ma"] = res ? nlohmann::ordered_json(res->expectedMilliAmps) : nlohmann::ordered_json();
    j["error-percent"] = res ? nlohmann::ordered_json(res->errorPercent) : nlohmann::ordered_json();
    j["error-text"] = res ? calib::FormatError(res->errorPercent, res->pass, r.tolerance) : std::string();
    const std::optional<calib::TUncertainty> u = r.Uncertainty(p);
    j["uncertainty-percent"] = u ? nlohmann::ordered_json(u->expandedPercent) : nlohmann::ordered_json(); // U, k = 2
    j["instrument-value"] = p.instrumentValue ? nlohmann::ordered_json(*p.instrumentValue) : nlohmann::ordered_json();
    j["instrument-ma"] = p.instrumentMilliAmps ? nlohmann::ordered_json(*p.instrumentMilliAmps) : nlohmann::ordered_json();
    j["instrument-spread-ma"] =
        p.instrumentSpreadMilliAmps ? nlohmann::ordered_json(*p.instrumentSpreadMilliAmps) : nlohmann::ordered_json();
    j["stable"] = p.stable;
    j["taken"] = IsoUtc(p.taken);
    j["result"] = res ? (res->pass ? "PASS" : "FAIL") : nullptr;
    return j;
}

} // namespace ctlrec
