#include "NumberFormat.h"

#include <QLocale>

#include <algorithm>
#include <array>
#include <charconv>
#include <cmath>
#include <cstdlib>
#include <string>
#include <string_view>

namespace NumberFormat {

QChar LocaleDecimalSeparator()
{
    const QString sep = QLocale().decimalPoint();
    return sep.isEmpty() ? QChar('.') : sep.at(0);
}

static bool IsDigitPos(QChar c)
{
    return c == QLatin1Char('0') || c == QLatin1Char('#');
}

QString Format(double value, const QString &pattern, QChar decimalSeparator)
{
    // Views, not copies: the window formats several readouts at every poll.
    const QStringView pat(pattern);
    const qsizetype dot = pat.indexOf(QLatin1Char('.'));
    const QStringView intPat = dot < 0 ? pat : pat.left(dot);
    const QStringView fracPat = dot < 0 ? QStringView() : pat.mid(dot + 1);

    int decimals = 0;
    for (QChar c : fracPat)
        if (IsDigitPos(c))
            ++decimals;

    if (!std::isfinite(value))
        return QString::number(value);

    // Round the magnitude to the pattern's decimals on its decimal representation.
    const QString digits = QString::number(std::fabs(value), 'f', decimals);
    const qsizetype digDot = digits.indexOf(QLatin1Char('.'));
    QStringView intDigits = digDot < 0 ? QStringView(digits) : QStringView(digits).left(digDot);
    const QStringView fracDigits = digDot < 0 ? QStringView() : QStringView(digits).mid(digDot + 1);
    if (intDigits == QLatin1String("0"))
        intDigits = QStringView(); // a leading zero is significant only where a "0" asks for it

    // Integer part, filled from the right.
    QString intOut;
    intOut.reserve(intPat.size() + intDigits.size());
    qsizetype next = intDigits.size() - 1;
    qsizetype firstDigitPos = -1;
    for (qsizetype i = intPat.size() - 1; i >= 0; --i) {
        const QChar c = intPat.at(i);
        if (!IsDigitPos(c)) {
            intOut.prepend(c);
            continue;
        }
        if (next >= 0)
            intOut.prepend(intDigits.at(next--));
        else if (c == QLatin1Char('0'))
            intOut.prepend(QLatin1Char('0'));
        firstDigitPos = intOut.size();
    }
    if (next >= 0) {
        // Digits beyond the pattern's positions go in front of the first digit position.
        const QStringView extra = intDigits.left(next + 1);
        if (firstDigitPos < 0)
            intOut.append(extra);
        else
            intOut.insert(intOut.size() - firstDigitPos, extra);
    }

    // Fraction: "0" always, "#" only while significant (trailing zeros dropped).
    QString result = intOut;
    if (dot >= 0) {
        int lastSignificant = -1; // index among digit positions of the last digit to print
        int k = 0;
        for (QChar c : fracPat) {
            if (!IsDigitPos(c))
                continue;
            if (c == QLatin1Char('0') || fracDigits.at(k) != QLatin1Char('0'))
                lastSignificant = k;
            ++k;
        }
        if (lastSignificant >= 0)
            result.append(decimalSeparator);
        // A "#" before a printed digit prints too.
        k = 0;
        for (QChar c : fracPat) {
            if (!IsDigitPos(c)) {
                result.append(c);
                continue;
            }
            if (k <= lastSignificant)
                result.append(fracDigits.at(k));
            ++k;
        }
    }

    bool nonZero = false;
    for (QStringView part : {intDigits, fracDigits})
        for (QChar c : part)
            if (c != QLatin1Char('0'))
                nonZero = true;
    if (value < 0 && nonZero)
        result.prepend(QLatin1Char('-'));
    return result;
}

QString Format(double value, const QString &pattern)
{
    return Format(value, pattern, LocaleDecimalSeparator());
}

QString General(double value, QChar decimalSeparator)
{
    if (!std::isfinite(value))
        return QString::number(value);
    if (value == 0)
        return QStringLiteral("0");

    // Round to 15 significant digits first: the rounded exponent decides the notation
    // (999999999999999.9 becomes 1E15). to_chars ignores the C locale.
    char buf[32];
    const auto [end, ec] = std::to_chars(buf, buf + sizeof buf, std::fabs(value), std::chars_format::scientific, 14);
    if (ec != std::errc())
        return QString::number(value, 'g', 15);
    const std::string_view text(buf, static_cast<size_t>(end - buf)); // d.dddddddddddddde[+-]x
    const size_t e = text.find('e');
    // The significant digits without the point, in a plain array: GCC 12 at -O3
    // warns falsely (-Wrestrict) about std::string's inlined copies here.
    std::array<char, 16> digits{};
    int count = 0;
    digits[count++] = text[0];
    for (size_t i = 2; i < e && count < static_cast<int>(digits.size()); ++i)
        digits[count++] = text[i];
    while (count > 1 && digits[count - 1] == '0')
        --count;
    int exponent = 0;
    std::from_chars(text.data() + e + (text[e + 1] == '+' ? 2 : 1), text.data() + text.size(), exponent);

    QString s = value < 0 ? QStringLiteral("-") : QString();
    if (exponent >= -5 && exponent < 15) {
        if (exponent < 0) {
            s += QLatin1Char('0') + QString(decimalSeparator) + QString(-exponent - 1, QLatin1Char('0')) +
                 QString::fromLatin1(digits.data(), count);
        } else {
            const int whole = exponent + 1;
            s += QString::fromLatin1(digits.data(), std::min(whole, count));
            if (count < whole)
                s += QString(whole - count, QLatin1Char('0'));
            else if (count > whole)
                s += decimalSeparator + QString::fromLatin1(digits.data() + whole, count - whole);
        }
        return s;
    }
    s += QLatin1Char(digits[0]);
    if (count > 1)
        s += decimalSeparator + QString::fromLatin1(digits.data() + 1, count - 1);
    s += QLatin1Char('E');
    if (exponent < 0)
        s += QLatin1Char('-');
    return s + QString::number(std::abs(exponent));
}

QString General(double value)
{
    return General(value, LocaleDecimalSeparator());
}

} // namespace NumberFormat
