#include "CertificateWords.h"

#include "Language.h"

#include <QCoreApplication>

namespace calib::words {

namespace {

constexpr char kContext[] = "Certificate";

thread_local TCertificateLanguage t_language = TCertificateLanguage::English;

// The words the record's own code gives in English, for the lookup.
const char *const kVerdicts[] = {
    QT_TRANSLATE_NOOP("Certificate", "not done"), QT_TRANSLATE_NOOP("Certificate", "incomplete"),
    QT_TRANSLATE_NOOP("Certificate", "PASS"),     QT_TRANSLATE_NOOP("Certificate", "FAIL"),
    QT_TRANSLATE_NOOP("Certificate", "pending"),
};
const char *const kRoles[] = {
    QT_TRANSLATE_NOOP("Certificate", "Pressure standard"),
    QT_TRANSLATE_NOOP("Certificate", "Ammeter (loop current)"),
    QT_TRANSLATE_NOOP("Certificate", "Thermohygrometer"),
};

} // namespace

TLanguageScope::TLanguageScope(TCertificateLanguage language) : m_saved(t_language)
{
    t_language = language;
}

TLanguageScope::~TLanguageScope()
{
    t_language = m_saved;
}

bool Bilingual()
{
    return t_language == TCertificateLanguage::Bilingual;
}

bool EnglishOnly()
{
    return t_language == TCertificateLanguage::English;
}

QStringList Words(const char *source)
{
    QStringList out;
    if (t_language != TCertificateLanguage::English)
        out << Language::Translate(Language::TLanguage::Hungarian, kContext, source);
    if (t_language != TCertificateLanguage::Hungarian)
        out << Language::Translate(Language::TLanguage::English, kContext, source);
    return out;
}

QString Line(const char *source)
{
    return Words(source).join(QStringLiteral(" / "));
}

QString Number(const QString &text)
{
    if (t_language != TCertificateLanguage::Hungarian)
        return text;
    QString t = text;
    return t.replace(QLatin1Char('.'), QLatin1Char(','));
}

QString Number(const std::string &text)
{
    return Number(QString::fromStdString(text));
}

QString Typed(const QString &text)
{
    return ParseDecimal(text.trimmed().toStdString(), 9) ? Number(text) : text;
}

QStringList Verdict(TVerdict verdict)
{
    return Words(kVerdicts[int(verdict)]);
}

QString Role(const QString &role)
{
    for (const char *known : kRoles)
        if (role == QLatin1String(known))
            return Words(known).join(QLatin1Char('\n'));
    return role;
}

QString SpanText(const TRecord &r, const std::optional<TSpan> &span)
{
    if (!span)
        return QStringLiteral("—");
    return QStringLiteral("%1 … %2 %3 = 4 … 20 mA").arg(Number(span->Lower().Text()), Number(span->Upper().Text()), r.unit);
}

QString UncertaintyText(const TRecord &r, const TPoint &p)
{
    const std::optional<TUncertainty> u = r.Uncertainty(p);
    return u ? QStringLiteral("± ") + Number(FormatUncertainty(u->expandedPercent)) : QStringLiteral("—");
}

// A reference's U as typed, with its unit when only the number was typed.
QString ReferenceUncertainty(const TRecord &r, const TReference &ref)
{
    const QString typed = ref.uncertainty.trimmed();
    if (typed.isEmpty())
        return Line(QT_TRANSLATE_NOOP("Certificate", "not stated"));
    const QString unit = UncertaintyUnit(r.unit, ref.role);
    if (!unit.isEmpty() && ParseDecimal(typed.toStdString(), 9))
        return Number(typed) + QLatin1Char(' ') + unit;
    return typed;
}

} // namespace calib::words
