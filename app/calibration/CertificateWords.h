// The certificate's words in its record's language(s), looked up in the
// translations directly: the window's own language does not matter, and a
// program without widgets writes the same certificate. Hungarian comes first
// when both are printed. Numbers take the decimal comma on a Hungarian-only
// certificate; a bilingual one keeps a single format, the point.
#pragma once

#include "CalibrationRecord.h"

#include <QStringList>
#include <QtGlobal>

namespace calib::words {

// The language of the certificate painted on this thread, for as long as it lives.
class TLanguageScope
{
public:
    explicit TLanguageScope(TCertificateLanguage language);
    ~TLanguageScope();
    TLanguageScope(const TLanguageScope &) = delete;
    TLanguageScope &operator=(const TLanguageScope &) = delete;

private:
    TCertificateLanguage m_saved;
};

bool Bilingual();
bool EnglishOnly();
// source (marked QT_TRANSLATE_NOOP("Certificate", …)) in each language printed.
QStringList Words(const char *source);
// The same, joined on one line ("Hungarian / English").
QString Line(const char *source);
// Each text's placeholders filled with the same values.
template <typename... TArgs>
QStringList Arg(QStringList texts, const TArgs &...args)
{
    for (QString &t : texts)
        t = t.arg(args...);
    return texts;
}
// A number as the certificate writes it ("1.5" or "1,5").
QString Number(const QString &text);
QString Number(const std::string &text);
// A typed value: its decimal point as the certificate writes numbers when it is one, else as typed.
QString Typed(const QString &text);
// A verdict and a reference's role (those a record starts with, a line per language; another as typed).
QStringList Verdict(TVerdict verdict);
QString Role(const QString &role);
// A phase's span ("0.0 … 250.0 Pa = 4 … 20 mA"), a point's U, a reference's U with its unit.
QString SpanText(const TRecord &r, const std::optional<TSpan> &span);
QString UncertaintyText(const TRecord &r, const TPoint &p);
QString ReferenceUncertainty(const TRecord &r, const TReference &ref);

} // namespace calib::words
