// records init, list, show, audit and certificate: the store read (and the
// certificate noted) without the instrument.
#include "Records.h"

#include "Certificate.h"
#include "Commands.h"
#include "Output.h"

#include <QDir>
#include <QFileInfo>

#include <cctype>
#include <cstdio>

namespace ctlrec {

using calib::TPhase;
using calib::TRecord;
using nlohmann::ordered_json;

namespace {

std::string JsonText(const ordered_json &j)
{
    return j.dump(2, ' ', false, ordered_json::error_handler_t::replace) + "\n";
}

ordered_json OrNull(const std::string &text)
{
    return text.empty() ? ordered_json() : ordered_json(text);
}

QDate ParseDay(const std::string &text, const char *option)
{
    const QDate d = QDate::fromString(Q(text), QStringLiteral("yyyy-MM-dd"));
    if (text.size() != 10 || !d.isValid())
        throw TFailure(ctl::exitUsage, std::string(option) + " " + text + ": not a day as YYYY-MM-DD (2027-01-31)");
    return d;
}

std::string SpanText(const TRecord &r, TPhase phase)
{
    const std::optional<calib::TSpan> &s = r.span[int(phase)];
    if (!s)
        return {};
    return s->Lower().Text() + " .. " + s->Upper().Text() + " " + Utf8(r.unit);
}

} // namespace

int RunInit(const QString &location)
{
    const std::unique_ptr<calib::TRecordStore> store = OpenStore(location, calib::TOpenMode::Init);
    NeedWritable(*store);
    ctl::Out("records schema version " + std::to_string(store->Version()) + " ready at " + Utf8(store->Location().Text()) + "\n");
    return ctl::exitOK;
}

int RunList(const QString &location, const TListOptions &o)
{
    calib::TRecordFilter filter;
    filter.tag = Q(o.tag);
    if (!o.dueBefore.empty())
        filter.dueBefore = ParseDay(o.dueBefore, "--due-before");
    if (!o.verdict.empty())
        filter.passed = o.verdict == "pass";
    const std::unique_ptr<calib::TRecordStore> store = OpenStore(location);
    const std::vector<calib::TRecordSummary> list = store->List(filter);
    if (store->Error() != calib::TStoreError::None)
        StoreFailed(*store, "the records cannot be listed");
    if (o.format == "json") {
        ordered_json all = ordered_json::array();
        for (const calib::TRecordSummary &s : list) {
            ordered_json j;
            j["certificate"] = Utf8(s.certificate);
            j["tag"] = Utf8(s.tag);
            j["serial"] = Utf8(s.serial);
            j["created"] = IsoUtc(s.created);
            j["verdict"] = Verdict(s.overall);
            j["as-found"] = Verdict(s.found);
            j["as-left"] = Verdict(s.left);
            j["calibrated"] = s.calibrated;
            j["finished"] = s.finished;
            j["next-due"] = OrNull(DateText(s.nextDue));
            j["technician"] = Utf8(s.technician);
            j["approved-by"] = OrNull(Utf8(s.approvedBy));
            all.push_back(j);
        }
        ctl::Out(JsonText(all));
        return ctl::exitOK;
    }
    std::vector<std::vector<std::string>> rows;
    if (o.format == "csv")
        rows.push_back({"certificate", "tag", "serial", "created", "verdict", "next-due", "technician"});
    else
        rows.push_back({"CERTIFICATE", "TAG", "SERIAL", "CREATED", "VERDICT", "NEXT DUE", "TECHNICIAN"});
    for (const calib::TRecordSummary &s : list)
        rows.push_back({Utf8(s.certificate), Utf8(s.tag), Utf8(s.serial), LocalDate(s.created), Verdict(s.overall),
                        DateText(s.nextDue), Utf8(s.technician)});
    ctl::Out(Rows(rows, o.format));
    return ctl::exitOK;
}

namespace {

std::vector<std::vector<std::string>> HeaderLines(const TRecord &r)
{
    const auto code = [](quint32 c) { return Utf8(calib::DateCodeText(c)); };
    return {{"certificate:", Utf8(r.certificate)},
            {"tag:", Utf8(r.tag)},
            {"serial:", Utf8(r.serial)},
            {"created:", Utf8(r.created.toLocalTime().toString(QStringLiteral("yyyy-MM-dd HH:mm")))},
            {"technician:", Utf8(r.technician)},
            {"firmware:", code(r.firmware)},
            {"calibration date as found:", code(r.foundCalibrationDate)},
            {"calibrated:", r.calibrated ? "yes, new calibration date " + code(r.newCalibrationDate) : "no"},
            {"sensor:", Utf8(r.sensor)},
            {"tolerance:", r.tolerance.Text() + " % of span"},
            {"points:", calib::PointsText(r.points) + (r.hysteresis ? " and down again" : "")},
            {"span as found:", SpanText(r, TPhase::AsFound)},
            {"span as left:", SpanText(r, TPhase::AsLeft)},
            {"ambient temperature:", Utf8(r.ambientTemperature)},
            {"humidity:", Utf8(r.humidity)},
            {"remarks:", Utf8(r.remarks)},
            {"next due:", DateText(r.nextDue)},
            {"certificate language:", calib::CertificateLanguageCode(r.certificateLanguage)},
            {"finished:", r.finished ? "yes" : "no"},
            {"approved by:", r.approvedBy.isEmpty() ? std::string() : Utf8(r.approvedBy) + " at " + IsoUtc(r.approvedAt)},
            {"As-Found:", Verdict(r.Verdict(TPhase::AsFound))},
            {"As-Left:", Verdict(r.Verdict(TPhase::AsLeft))},
            {"verdict:", Verdict(r.Overall())}};
}

ordered_json RecordJson(const TRecord &r)
{
    ordered_json j;
    j["certificate"] = Utf8(r.certificate);
    j["tag"] = Utf8(r.tag);
    j["serial"] = Utf8(r.serial);
    j["created"] = IsoUtc(r.created);
    j["technician"] = Utf8(r.technician);
    j["firmware"] = OrNull(Utf8(calib::DateCodeText(r.firmware)));
    j["found-calibration-date"] = OrNull(Utf8(calib::DateCodeText(r.foundCalibrationDate)));
    j["calibrated"] = r.calibrated;
    j["new-calibration-date"] = OrNull(Utf8(calib::DateCodeText(r.newCalibrationDate)));
    j["sensor"] = Utf8(r.sensor);
    j["unit"] = Utf8(r.unit);
    j["tolerance-percent"] = ordered_json::parse(r.tolerance.Text());
    ordered_json points = ordered_json::array();
    for (const calib::TDecimal &p : r.points)
        points.push_back(ordered_json::parse(p.Text()));
    j["test-points"] = points;
    j["hysteresis"] = r.hysteresis;
    for (const TPhase phase : {TPhase::AsFound, TPhase::AsLeft}) {
        const std::optional<calib::TSpan> &s = r.span[int(phase)];
        j[phase == TPhase::AsFound ? "span-as-found" : "span-as-left"] =
            s ? ordered_json{{"at-4ma", ordered_json::parse(s->Lower().Text())}, {"at-20ma", ordered_json::parse(s->Upper().Text())}}
              : ordered_json();
    }
    j["ambient-temperature"] = Utf8(r.ambientTemperature);
    j["humidity"] = Utf8(r.humidity);
    j["remarks"] = Utf8(r.remarks);
    j["next-due"] = OrNull(DateText(r.nextDue));
    j["certificate-language"] = calib::CertificateLanguageCode(r.certificateLanguage);
    j["finished"] = r.finished;
    j["approved-by"] = OrNull(Utf8(r.approvedBy));
    j["approved-at"] = OrNull(IsoUtc(r.approvedAt));
    j["as-found"] = Verdict(r.Verdict(TPhase::AsFound));
    j["as-left"] = Verdict(r.Verdict(TPhase::AsLeft));
    j["verdict"] = Verdict(r.Overall());
    ordered_json refs = ordered_json::array();
    for (const calib::TReference &ref : r.references)
        refs.push_back({{"role", Utf8(ref.role)}, {"name", Utf8(ref.name)}, {"serial", Utf8(ref.serial)},
                        {"certificate", Utf8(ref.certificate)}, {"due", OrNull(DateText(ref.due))},
                        {"uncertainty", OrNull(Utf8(ref.uncertainty))}});
    j["references"] = refs;
    ordered_json entered = ordered_json::array();
    for (const calib::TPoint &p : r.entered)
        entered.push_back(PointJson(r, p));
    j["points"] = entered;
    return j;
}

} // namespace

int RunShow(const QString &location, const std::string &certificate, const std::string &format)
{
    const std::unique_ptr<calib::TRecordStore> store = OpenStore(location);
    const TRecord r = LoadCertificate(*store, certificate);
    if (format == "json") {
        ctl::Out(JsonText(RecordJson(r)));
        return ctl::exitOK;
    }
    std::string out = Table(HeaderLines(r));
    std::vector<std::vector<std::string>> refs{{"REFERENCE", "NAME", "SERIAL", "CERTIFICATE", "DUE", "UNCERTAINTY (k = 2)"}};
    for (const calib::TReference &ref : r.references)
        refs.push_back({Utf8(ref.role), Utf8(ref.name), Utf8(ref.serial), Utf8(ref.certificate), DateText(ref.due),
                        ref.uncertainty.isEmpty() ? std::string()
                                                  : Utf8((ref.uncertainty + QLatin1Char(' ') + calib::UncertaintyUnit(r.unit, ref.role)).trimmed())});
    out += '\n';
    out += Table(refs);
    std::vector<std::vector<std::string>> points{PointHeader()};
    for (std::string &h : points.front())
        for (char &c : h)
            c = char(std::toupper(static_cast<unsigned char>(c)));
    for (const calib::TPoint &p : r.entered)
        points.push_back(PointCells(r, p));
    out += '\n';
    out += r.entered.empty() ? std::string("no points entered yet\n") : Table(points);
    ctl::Out(out);
    return ctl::exitOK;
}

int RunAudit(const QString &location, const std::string &certificate, const std::string &format)
{
    const std::unique_ptr<calib::TRecordStore> store = OpenStore(location);
    const TRecord r = LoadCertificate(*store, certificate);
    const std::vector<calib::TAuditRow> rows = store->Audit(r.id);
    if (store->Error() != calib::TStoreError::None)
        StoreFailed(*store, "the audit trail of " + certificate + " cannot be read");
    if (format == "json") {
        ordered_json all = ordered_json::array();
        for (const calib::TAuditRow &a : rows)
            all.push_back({{"at", IsoUtc(a.at)}, {"os-user", Utf8(a.osUser)}, {"technician", Utf8(a.technician)},
                           {"bench", Utf8(a.bench)}, {"what", Utf8(a.what)}, {"field", Utf8(a.field)},
                           {"old", Utf8(a.oldValue)}, {"new", Utf8(a.newValue)}});
        ctl::Out(JsonText(all));
        return ctl::exitOK;
    }
    std::vector<std::vector<std::string>> table;
    if (format == "csv")
        table.push_back({"at", "os-user", "technician", "bench", "what", "field", "old", "new"});
    else
        table.push_back({"AT (UTC)", "OS USER", "TECHNICIAN", "BENCH", "WHAT", "FIELD", "OLD", "NEW"});
    for (const calib::TAuditRow &a : rows)
        table.push_back({IsoUtc(a.at), Utf8(a.osUser), Utf8(a.technician), Utf8(a.bench), Utf8(a.what), Utf8(a.field),
                         Utf8(a.oldValue), Utf8(a.newValue)});
    ctl::Out(Rows(table, format));
    return ctl::exitOK;
}

std::string WriteCertificate(calib::TRecordStore &store, const TRecord &r, const std::string &file, const std::string &issuer)
{
    const QString path = QFileInfo(Q(file)).absoluteFilePath();
    const calib::TIssuer by{Q(issuer).trimmed(), QStringLiteral("KV508 I configuration tool %1").arg(QString::fromUtf8(ctl::ToolVersion))};
    QString error;
    if (!calib::WriteCertificatePdf(r, by, path, error))
        throw TFailure(ctl::exitUsage, "the certificate was not written: " + Utf8(error));
    if (!store.NoteCertificate(r.id, path))
        StoreFailed(store, "the certificate was written to " + Utf8(QDir::toNativeSeparators(path)) +
                               " but could not be noted in the record's audit trail");
    return Utf8(QDir::toNativeSeparators(path));
}

int RunCertificate(const QString &location, const std::string &certificate, const std::string &file, const std::string &issuer)
{
    const std::unique_ptr<calib::TRecordStore> store = OpenStore(location);
    NeedWritable(*store); // a certificate given out is noted in the record's audit trail
    const TRecord r = LoadCertificate(*store, certificate);
    const std::string path = WriteCertificate(*store, r, file, issuer);
    if (!r.finished)
        std::fprintf(stderr, "kv508ctl: %s is not finished: the certificate is marked as a draft\n", certificate.c_str());
    ctl::Out("certificate " + Utf8(r.certificate) + " written to " + path + "\n");
    return ctl::exitOK;
}

} // namespace ctlrec
