// Display number patterns: "0" a digit always shown, "#" a digit shown only when
// significant, "." the decimal separator, anything else copied where it stands.
// The integer part is never cut (extra digits go in front of the first digit
// position) and a minus sign goes in front of the whole result.
#pragma once

#include <QChar>
#include <QString>

namespace NumberFormat {

// The decimal separator of the user's locale.
QChar LocaleDecimalSeparator();

// Formats value by pattern with the given decimal separator.
QString Format(double value, const QString &pattern, QChar decimalSeparator);
// Same, with the locale's decimal separator.
QString Format(double value, const QString &pattern);

// General format: 15 significant digits, trailing zeros dropped; fixed notation
// from 0.00001 up to 15 integer digits, else mantissa and exponent ("1.5E-6").
QString General(double value, QChar decimalSeparator);
QString General(double value);

} // namespace NumberFormat
