#include "CalibrationRecord.h"

#include <QDir>
#include <QRegularExpression>
#include <QSaveFile>

#include <algorithm>

namespace calib {

const char *PhaseName(TPhase phase)
{
    return phase == TPhase::AsFound ? "As-Found" : "As-Left";
}

const char *VerdictText(TVerdict verdict)
{
    switch (verdict) {
    case TVerdict::NotDone: return "not done";
    case TVerdict::Incomplete: return "incomplete";
    case TVerdict::Pass: return "PASS";
    case TVerdict::Fail: return "FAIL";
    case TVerdict::Pending: return "pending";
    }
    return "";
}

const char *CertificateLanguageCode(TCertificateLanguage language)
{
    switch (language) {
    case TCertificateLanguage::English: return "en";
    case TCertificateLanguage::Hungarian: return "hu";
    case TCertificateLanguage::Bilingual: return "hu-en";
    }
    return "en";
}

std::optional<TCertificateLanguage> CertificateLanguageOf(const QString &code)
{
    for (const TCertificateLanguage l : {TCertificateLanguage::English, TCertificateLanguage::Hungarian, TCertificateLanguage::Bilingual})
        if (code == QLatin1String(CertificateLanguageCode(l)))
            return l;
    return std::nullopt;
}

QString DateCodeText(quint32 code)
{
    if (code == 0)
        return {};
    return QStringLiteral("%1.%2.%3.")
        .arg(code / 10000, 4, 10, QLatin1Char('0'))
        .arg(code % 10000 / 100, 2, 10, QLatin1Char('0'))
        .arg(code % 100, 2, 10, QLatin1Char('0'));
}

const TPoint *TRecord::Find(TPhase phase, int index) const
{
    for (const TPoint &p : entered)
        if (p.phase == phase && p.index == index)
            return &p;
    return nullptr;
}

void TRecord::Put(const TPoint &point)
{
    for (TPoint &p : entered)
        if (p.phase == point.phase && p.index == point.index) {
            p = point;
            return;
        }
    entered.push_back(point);
    std::sort(entered.begin(), entered.end(), [](const TPoint &a, const TPoint &b) {
        return std::pair(int(a.phase), a.index) < std::pair(int(b.phase), b.index);
    });
}

void TRecord::Remove(TPhase phase, int index)
{
    std::erase_if(entered, [&](const TPoint &p) { return p.phase == phase && p.index == index; });
}

bool TRecord::HasPoints(TPhase phase) const
{
    return std::any_of(entered.begin(), entered.end(), [phase](const TPoint &p) { return p.phase == phase; });
}

std::optional<TPointResult> TRecord::Result(const TPoint &point) const
{
    const std::optional<TSpan> &s = span[int(point.phase)];
    if (!s)
        return std::nullopt;
    return Evaluate(*s, point.applied, point.milliAmps, tolerance);
}

namespace {

const QString kStandardRole = QStringLiteral("Pressure standard");
const QString kAmmeterRole = QStringLiteral("Ammeter (loop current)");

const TReference *FindRole(const TRecord &r, const QString &role)
{
    for (const TReference &ref : r.references)
        if (ref.role == role)
            return &ref;
    return nullptr;
}

} // namespace

QString UncertaintyUnit(const QString &instrumentUnit, const QString &role)
{
    if (role == kStandardRole)
        return instrumentUnit;
    if (role == kAmmeterRole)
        return QStringLiteral("mA");
    return {};
}

std::optional<TUncertainty> TRecord::Uncertainty(const TPoint &point) const
{
    const std::optional<TSpan> &s = span[int(point.phase)];
    const TReference *standard = FindRole(*this, kStandardRole);
    const TReference *ammeter = FindRole(*this, kAmmeterRole);
    if (!s || !standard || !ammeter || !point.instrumentSpreadMilliAmps)
        return std::nullopt;
    const std::optional<TDecimal> standardU = ParseUncertainty(standard->uncertainty.toStdString(), unit.toStdString());
    const std::optional<TDecimal> ammeterU = ParseUncertainty(ammeter->uncertainty.toStdString(), "mA");
    if (!standardU || !ammeterU)
        return std::nullopt;
    // The session keeps a spread only for a full window of polls (TReadings::kPolls).
    return PointUncertainty(*s, point.applied, point.milliAmps, {*standardU, *ammeterU, *point.instrumentSpreadMilliAmps, TReadings::kPolls});
}

TVerdict TRecord::Verdict(TPhase phase) const
{
    const int wanted = int(Sequence().size());
    int seen = 0;
    bool failed = false;
    for (const TPoint &p : entered) {
        if (p.phase != phase || p.index >= wanted)
            continue;
        ++seen;
        const std::optional<TPointResult> r = Result(p);
        if (!r || !r->pass)
            failed = true;
    }
    if (seen == 0)
        return TVerdict::NotDone;
    if (failed)
        return TVerdict::Fail; // one point out is enough
    return seen == wanted ? TVerdict::Pass : TVerdict::Incomplete;
}

TVerdict TRecord::Overall() const
{
    if (calibrated) {
        // A point out fails As-Left only for now: it may be adjusted and entered again.
        const int wanted = int(Sequence().size());
        const auto done = std::count_if(entered.begin(), entered.end(),
                                        [wanted](const TPoint &p) { return p.phase == TPhase::AsLeft && p.index < wanted; });
        return done == wanted ? Verdict(TPhase::AsLeft) : TVerdict::Pending;
    }
    return HasPoints(TPhase::AsLeft) ? Verdict(TPhase::AsLeft) : Verdict(TPhase::AsFound);
}

std::vector<TReference> DefaultReferences()
{
    return {{kStandardRole, {}, {}, {}, {}, {}},
            {kAmmeterRole, {}, {}, {}, {}, {}},
            {QStringLiteral("Thermohygrometer"), {}, {}, {}, {}, {}}};
}

namespace {

QString Quoted(const QString &field)
{
    if (!field.contains(QLatin1Char(',')) && !field.contains(QLatin1Char('"')) && !field.contains(QLatin1Char('\n')) &&
        !field.contains(QLatin1Char('\r')))
        return field;
    QString q = field;
    q.replace(QLatin1Char('"'), QStringLiteral("\"\""));
    return QLatin1Char('"') + q + QLatin1Char('"');
}

// Free text typed by a person: a leading = + - @ would make a spreadsheet run it
// as a formula. A plain negative number (an ambient of -5) stays a number.
QString Inert(const QString &text)
{
    static const QRegularExpression number(QStringLiteral("^-[0-9]+(\\.[0-9]+)?$"));
    if (text.isEmpty() || !QStringLiteral("=+-@\t\r").contains(text.front()) || number.match(text).hasMatch())
        return text;
    return QLatin1Char('\'') + text;
}

QString Line(const QStringList &fields)
{
    QStringList quoted;
    for (const QString &f : fields)
        quoted << Quoted(f);
    return quoted.join(QLatin1Char(',')) + QStringLiteral("\r\n");
}

QString Number(double v, int decimals)
{
    return QString::number(v, 'f', decimals);
}

QString SpanText(const std::optional<TSpan> &s)
{
    if (!s)
        return {};
    return QString::fromStdString(s->Lower().Text() + " .. " + s->Upper().Text());
}

} // namespace

QString ToCsv(const TRecord &r)
{
    QString out;
    const auto field = [&](const char *key, const QString &value) { out += Line({QString::fromUtf8(key), Inert(value)}); };
    field("certificate", r.certificate);
    field("instrument_tag", r.tag);
    field("serial", r.serial);
    field("created_utc", r.created.toUTC().toString(Qt::ISODate));
    field("firmware", DateCodeText(r.firmware));
    field("calibration_date_as_found", DateCodeText(r.foundCalibrationDate));
    field("sensor", r.sensor);
    field("unit", r.unit);
    for (const TReference &ref : r.references)
        out += Line({QStringLiteral("reference"), Inert(ref.role), Inert(ref.name), Inert(ref.serial), Inert(ref.certificate),
                     ref.due.isValid() ? ref.due.toString(Qt::ISODate) : QString(), Inert(ref.uncertainty)});
    field("ambient_temperature_c", r.ambientTemperature);
    field("relative_humidity_percent", r.humidity);
    field("technician", r.technician);
    field("remarks", r.remarks);
    field("next_due", r.nextDue.isValid() ? r.nextDue.toString(Qt::ISODate) : QString());
    field("tolerance_percent_of_span", QString::fromStdString(r.tolerance.Text()));
    field("span_as_found", SpanText(r.span[0]));
    field("span_as_left", SpanText(r.span[1]));
    field("calibrated", r.calibrated ? QStringLiteral("yes") : QStringLiteral("no"));
    field("calibration_date_new", DateCodeText(r.newCalibrationDate));
    field("verdict_as_found", QString::fromUtf8(VerdictText(r.Verdict(TPhase::AsFound))));
    field("verdict_as_left", QString::fromUtf8(VerdictText(r.Verdict(TPhase::AsLeft))));
    field("verdict_overall", QString::fromUtf8(VerdictText(r.Overall())));
    field("approved_by", r.approvedBy);
    field("approved_utc", r.approvedAt.isValid() ? r.approvedAt.toUTC().toString(Qt::ISODate) : QString());
    out += QStringLiteral("\r\n");
    out += Line({QStringLiteral("phase"), QStringLiteral("point"), QStringLiteral("percent_of_span"), QStringLiteral("applied"),
                 QStringLiteral("reference_ma"), QStringLiteral("instrument_value"), QStringLiteral("instrument_ma"),
                 QStringLiteral("stable"), QStringLiteral("expected_ma"), QStringLiteral("error_percent_of_span"),
                 QStringLiteral("verdict"), QStringLiteral("time_utc")});
    for (const TPoint &p : r.entered) {
        const std::optional<TPointResult> res = r.Result(p);
        out += Line({QString::fromUtf8(PhaseName(p.phase)), QString::number(p.index + 1), QString::fromStdString(p.percent.Text()),
                     QString::fromStdString(p.applied.Text()), QString::fromStdString(p.milliAmps.Text()),
                     p.instrumentValue ? Number(*p.instrumentValue, r.span[int(p.phase)] ? r.span[int(p.phase)]->decimals + 1 : 3) : QString(),
                     p.instrumentMilliAmps ? Number(*p.instrumentMilliAmps, 4) : QString(), p.stable ? QStringLiteral("1") : QStringLiteral("0"),
                     res ? Number(res->expectedMilliAmps, 4) : QString(),
                     res ? QString::fromStdString(FormatError(res->errorPercent, res->pass, r.tolerance)) : QString(),
                     res ? (res->pass ? QStringLiteral("PASS") : QStringLiteral("FAIL")) : QString(),
                     p.taken.toUTC().toString(Qt::ISODateWithMs)});
    }
    return out;
}

bool WriteCsv(const TRecord &record, const QString &path, QString &error)
{
    QSaveFile file(path);
    if (!file.open(QIODevice::WriteOnly)) {
        error = QStringLiteral("%1 cannot be written: %2").arg(QDir::toNativeSeparators(path), file.errorString());
        return false;
    }
    const QByteArray bytes = ToCsv(record).toUtf8();
    if (file.write(bytes) != bytes.size() || !file.commit()) {
        error = QStringLiteral("%1 could not be written: %2").arg(QDir::toNativeSeparators(path), file.errorString());
        return false;
    }
    return true;
}

} // namespace calib
