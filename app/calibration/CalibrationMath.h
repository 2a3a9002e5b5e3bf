// The arithmetic of the As-Found / As-Left check, in scaled integers so that a
// reading exactly on the tolerance passes and one a digit beyond fails, with no
// floating-point rounding deciding a verdict. Plain C++.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace calib {

// A decimal number as typed: units x 10^-scale (12.345 is {12345, 3}).
struct TDecimal {
    int64_t units = 0;
    int scale = 0;

    double Value() const;
    // The same number with more decimals (scale >= this->scale).
    int64_t At(int scale) const;
    std::string Text() const; // "12.345", "-0.5": always '.', all its decimals
    bool operator==(const TDecimal &) const = default;
};

// Parses "12.3", "-0,25", " 4 " (either separator; no exponent, no thousands
// separators). Null when the text is no number, has more than maxScale decimals
// or more than 12 digits in all.
std::optional<TDecimal> ParseDecimal(std::string_view text, int maxScale);

// The instrument's span: the values at 4 mA and 20 mA from its settings, as
// scaled integers with the instrument's decimals.
struct TSpan {
    int32_t lower = 0; // at 4 mA
    int32_t upper = 0; // at 20 mA
    int decimals = 0;

    TDecimal Lower() const { return {lower, decimals}; }
    TDecimal Upper() const { return {upper, decimals}; }
    bool Usable() const { return upper > lower; }
    // The value at pct % of the span, rounded to the instrument's decimals (halves away from zero).
    TDecimal At(const TDecimal &percent) const;
};

enum class TSpanError { None, Zero, Inverted, Decimals };
TSpanError CheckSpan(const TSpan &span);
const char *SpanErrorText(TSpanError error);

// Decimals the technician may type beyond the instrument's for an applied value
// (a reference is usually finer than the instrument it checks).
constexpr int kExtraPressureDecimals = 3;
constexpr int kCurrentDecimals = 4;   // mA, to 0.1 uA
constexpr int kToleranceDecimals = 3; // % of span
constexpr TDecimal kDefaultTolerance{25, 2};

// One point's result. errorPercent is exact as N / D (shown with Value()).
struct TPointResult {
    double expectedMilliAmps = 0;
    double errorPercent = 0; // (measured - expected) / 16 mA x 100
    bool pass = false;
};

// Expected current 4 + 16 x (applied - lower) / (upper - lower) mA, the error in
// % of span, and the verdict |error| <= tolerance. Null for an unusable span.
std::optional<TPointResult> Evaluate(const TSpan &span, const TDecimal &applied, const TDecimal &milliAmps,
                                     const TDecimal &tolerancePercent);

// The expected current alone (null for an unusable span).
std::optional<double> ExpectedMilliAmps(const TSpan &span, const TDecimal &applied);

// The error shown with as many decimals (3 at least) as it takes for the text
// not to contradict the verdict: 0.2500004 against 0.25 fails and shows 0.250000 + 1 digit.
std::string FormatError(double errorPercent, bool pass, const TDecimal &tolerancePercent);

// Test points in % of span: "0, 25, 50, 75, 100" (comma, semicolon or blank
// separated; each -10..110 with up to two decimals). Null when any is not.
std::optional<std::vector<TDecimal>> ParsePoints(std::string_view text);
std::string PointsText(const std::vector<TDecimal> &points);
// The points up, then (with hysteresis) down again without repeating the top one.
std::vector<TDecimal> Sequence(const std::vector<TDecimal> &points, bool hysteresis);

// The expanded uncertainty (k = 2) of one point's error, in % of span: the
// root sum of squares of the standard uncertainties in mA of the pressure
// standard (its stated U / 2, through the span), the ammeter (U / 2), the
// last digit of each typed reading (rectangular: digit / (2 sqrt 3)) and the
// instrument's repeatability (the spread of its polls: the ammeter reads the
// fluctuating output once, so the spread itself, not that of the polls' mean).
struct TUncertaintyInputs {
    TDecimal standardU; // the pressure standard's U (k = 2), in the instrument's unit
    TDecimal ammeterU;  // the ammeter's U (k = 2), mA
    double spreadMilliAmps = 0; // sample standard deviation of the instrument's current
    int polls = 0;              // the polls it was taken over (2 at least for a spread)
};

struct TUncertainty {
    // Standard uncertainties, mA.
    double standard = 0;
    double ammeter = 0;
    double appliedDigit = 0;
    double ammeterDigit = 0;
    double repeatability = 0;
    double combinedMilliAmps = 0; // root sum of squares
    double expandedPercent = 0;   // 2 x combined / 16 mA x 100
};

// Null for an unusable span, a negative U or spread, or fewer than 2 polls.
std::optional<TUncertainty> PointUncertainty(const TSpan &span, const TDecimal &applied, const TDecimal &milliAmps,
                                             const TUncertaintyInputs &inputs);

// A reference's U as typed: "0.05", "±0,05", "0.05 Pa" (with unit, the one
// given). Null when it is no such non-negative number.
std::optional<TDecimal> ParseUncertainty(std::string_view text, std::string_view unit);

// U in % of span rounded up to 3 decimals: a stated uncertainty is never below the computed one.
std::string FormatUncertainty(double percent);

// The instrument's own reading over the last few polls: the mean, and whether
// it has settled (enough polls, and their spread within a quarter of the
// tolerance band or one digit of the instrument, whichever is larger).
class TReadings
{
public:
    static constexpr int kPolls = 5;

    void Add(int32_t scaledValue, int decimals, int32_t microAmps);
    void Clear() { m_count = 0; }
    int Count() const { return m_count; }
    int Decimals() const { return m_decimals; }
    double MeanValue() const;     // in the instrument's units
    double MeanMilliAmps() const;
    // Sample standard deviation of the current over the polls, mA (null below 2 polls).
    std::optional<double> SpreadMilliAmps() const;
    bool Stable(const TSpan &span, const TDecimal &tolerancePercent) const;

private:
    struct TPoll {
        int32_t value;
        int32_t microAmps;
    };
    TPoll m_polls[kPolls]{};
    int m_next = 0;
    int m_count = 0;
    int m_decimals = 0;
};

// The serial part of one of the year's automatic numbers as a plain decimal
// without leading zeros ("KV-2026-0000003" -> "3"); empty for any other text.
std::string_view CertificateSerial(std::string_view certificate, int year);

// Next certificate number after the last one used: "KV-2026-0007" follows
// "KV-2026-0006", "KV-2026-1234568" follows "KV-2026-0001234567"; a new year
// starts again at 0001; a number of another form gives the first of this year.
std::string NextCertificateNumber(std::string_view last, int year);

} // namespace calib
