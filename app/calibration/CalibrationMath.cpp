#include "CalibrationMath.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstdlib>

namespace calib {

namespace {

// Products of a span, a current and a tolerance can pass 2^63 in the extreme;
// the verdict must stay exact there too.
__extension__ typedef __int128 TWide;

int64_t Pow10(int n)
{
    int64_t p = 1;
    for (int i = 0; i < n; ++i)
        p *= 10;
    return p;
}

TWide Abs(TWide v)
{
    return v < 0 ? -v : v;
}

std::string Fixed(double v, int decimals)
{
    char buffer[64];
    std::snprintf(buffer, sizeof buffer, "%.*f", decimals, v);
    std::string text = buffer;
    if (text.find_first_not_of("-0.") == std::string::npos && text.front() == '-')
        text.erase(0, 1); // no "-0.000"
    return text;
}

bool Blank(char c)
{
    return c == ' ' || c == '\t';
}

} // namespace

double TDecimal::Value() const
{
    return static_cast<double>(units) / static_cast<double>(Pow10(scale));
}

int64_t TDecimal::At(int s) const
{
    return units * Pow10(std::max(0, s - scale));
}

std::string TDecimal::Text() const
{
    const int64_t p = Pow10(scale);
    const uint64_t magnitude = units < 0 ? uint64_t(0) - uint64_t(units) : uint64_t(units);
    std::string text = std::string(units < 0 ? "-" : "") + std::to_string(magnitude / uint64_t(p));
    if (scale > 0) {
        std::string fraction = std::to_string(magnitude % uint64_t(p));
        text += '.' + std::string(size_t(scale) - fraction.size(), '0') + fraction;
    }
    return text;
}

std::optional<TDecimal> ParseDecimal(std::string_view text, int maxScale)
{
    size_t i = 0, end = text.size();
    while (i < end && Blank(text[i]))
        ++i;
    while (end > i && Blank(text[end - 1]))
        --end;
    bool negative = false;
    if (i < end && (text[i] == '-' || text[i] == '+'))
        negative = text[i++] == '-';
    TDecimal d;
    int digits = 0;
    bool point = false;
    for (; i < end; ++i) {
        const char c = text[i];
        if (c == '.' || c == ',') {
            if (point)
                return std::nullopt;
            point = true;
        } else if (c >= '0' && c <= '9') {
            if (++digits > 12 || (point && d.scale == maxScale))
                return std::nullopt;
            d.units = d.units * 10 + (c - '0');
            if (point)
                ++d.scale;
        } else {
            return std::nullopt;
        }
    }
    if (digits == 0)
        return std::nullopt;
    if (negative)
        d.units = -d.units;
    return d;
}

TDecimal TSpan::At(const TDecimal &percent) const
{
    // lower + percent x (upper - lower) / 100, at the instrument's decimals
    const TWide den = TWide(100) * Pow10(percent.scale);
    const TWide total = TWide(lower) * den + TWide(percent.units) * (int64_t(upper) - lower);
    TWide q = total / den;
    const TWide r = total % den;
    if (2 * Abs(r) >= den)
        q += total < 0 ? -1 : 1;
    return {int64_t(q), decimals};
}

TSpanError CheckSpan(const TSpan &span)
{
    if (span.decimals < 0 || span.decimals > 4)
        return TSpanError::Decimals;
    if (span.upper == span.lower)
        return TSpanError::Zero;
    if (span.upper < span.lower)
        return TSpanError::Inverted;
    return TSpanError::None;
}

const char *SpanErrorText(TSpanError error)
{
    switch (error) {
    case TSpanError::None: return "the span is usable";
    case TSpanError::Zero: return "the span is zero: the instrument assigns the same value to 4 mA and to 20 mA";
    case TSpanError::Inverted:
        return "the span is inverted: the instrument's value at 20 mA is below its value at 4 mA (a reverse-acting output is not checked here)";
    case TSpanError::Decimals: return "the instrument reports more than 4 decimals";
    }
    return "unknown span error";
}

std::optional<double> ExpectedMilliAmps(const TSpan &span, const TDecimal &applied)
{
    if (CheckSpan(span) != TSpanError::None)
        return std::nullopt;
    const int s = std::max(span.decimals, applied.scale);
    const double l = double(span.Lower().At(s)), u = double(span.Upper().At(s));
    return 4.0 + 16.0 * (double(applied.At(s)) - l) / (u - l);
}

std::optional<TPointResult> Evaluate(const TSpan &span, const TDecimal &applied, const TDecimal &milliAmps,
                                     const TDecimal &tolerancePercent)
{
    if (CheckSpan(span) != TSpanError::None || applied.scale > span.decimals + kExtraPressureDecimals ||
        milliAmps.scale > kCurrentDecimals || tolerancePercent.scale > kToleranceDecimals)
        return std::nullopt;
    const int s = std::max(span.decimals, applied.scale);
    const TWide l = span.Lower().At(s), u = span.Upper().At(s), a = applied.At(s);
    const TWide d = u - l;                         // > 0
    const TWide m = milliAmps.At(kCurrentDecimals); // 0.1 uA
    const TWide t = tolerancePercent.At(kToleranceDecimals);
    // error % = (m/10^4 - 4 - 16 (a - l) / d) / 16 x 100 = n / (1600 d)
    const TWide n = (m - 40000) * d - 160000 * (a - l);
    TPointResult r;
    r.expectedMilliAmps = 4.0 + 16.0 * double(a - l) / double(d);
    r.errorPercent = double(n) / (1600.0 * double(d));
    // |n| / (1600 d) <= t / 1000  <=>  5 |n| <= 8 d t
    r.pass = 5 * Abs(n) <= 8 * d * Abs(t);
    return r;
}

std::string FormatError(double errorPercent, bool pass, const TDecimal &tolerancePercent)
{
    const double tol = std::abs(tolerancePercent.Value());
    // An error can lie within a millionth of the tolerance on wide spans: as many
    // decimals as it takes.
    for (int decimals = 3; decimals < 12; ++decimals) {
        const std::string text = Fixed(errorPercent, decimals);
        const double shown = std::abs(std::strtod(text.c_str(), nullptr));
        // Rounding must not show a failing error on the tolerance or a passing one beyond it.
        if (pass ? shown <= tol : shown > tol)
            return text;
    }
    return Fixed(errorPercent, 12);
}

std::optional<std::vector<TDecimal>> ParsePoints(std::string_view text)
{
    std::vector<TDecimal> points;
    size_t i = 0;
    while (i < text.size()) {
        const auto separator = [](char c) { return c == ',' || c == ';' || c == ' ' || c == '\t'; };
        while (i < text.size() && separator(text[i]))
            ++i;
        size_t j = i;
        while (j < text.size() && !separator(text[j]))
            ++j;
        if (j == i)
            break;
        std::string token(text.substr(i, j - i));
        if (!token.empty() && token.back() == '%')
            token.pop_back();
        const std::optional<TDecimal> p = ParseDecimal(token, 2);
        if (!p || p->At(2) < -1000 || p->At(2) > 11000)
            return std::nullopt;
        points.push_back(*p);
        i = j;
    }
    if (points.empty() || points.size() > 21)
        return std::nullopt;
    return points;
}

std::string PointsText(const std::vector<TDecimal> &points)
{
    std::string text;
    for (const TDecimal &p : points) {
        if (!text.empty())
            text += ", ";
        text += p.Text();
    }
    return text;
}

std::vector<TDecimal> Sequence(const std::vector<TDecimal> &points, bool hysteresis)
{
    std::vector<TDecimal> all = points;
    if (hysteresis && points.size() > 1)
        all.insert(all.end(), points.rbegin() + 1, points.rend());
    return all;
}

void TReadings::Add(int32_t scaledValue, int decimals, int32_t microAmps)
{
    if (decimals != m_decimals)
        m_count = 0; // another sensor or input: the old polls mean something else
    m_decimals = decimals;
    m_polls[m_next] = {scaledValue, microAmps};
    m_next = (m_next + 1) % kPolls;
    m_count = std::min(m_count + 1, kPolls);
}

double TReadings::MeanValue() const
{
    if (m_count == 0)
        return 0;
    double sum = 0;
    for (int i = 0; i < m_count; ++i)
        sum += m_polls[(m_next + kPolls - 1 - i) % kPolls].value;
    return sum / m_count / double(Pow10(m_decimals));
}

double TReadings::MeanMilliAmps() const
{
    if (m_count == 0)
        return 0;
    double sum = 0;
    for (int i = 0; i < m_count; ++i)
        sum += m_polls[(m_next + kPolls - 1 - i) % kPolls].microAmps;
    return sum / m_count / 1000.0;
}

std::optional<double> TReadings::SpreadMilliAmps() const
{
    if (m_count < 2)
        return std::nullopt;
    const double mean = MeanMilliAmps();
    double squares = 0;
    for (int i = 0; i < m_count; ++i) {
        const double d = m_polls[(m_next + kPolls - 1 - i) % kPolls].microAmps / 1000.0 - mean;
        squares += d * d;
    }
    return std::sqrt(squares / (m_count - 1));
}

bool TReadings::Stable(const TSpan &span, const TDecimal &tolerancePercent) const
{
    if (m_count < kPolls || CheckSpan(span) != TSpanError::None)
        return false;
    int32_t vMin = m_polls[0].value, vMax = vMin, iMin = m_polls[0].microAmps, iMax = iMin;
    for (int i = 1; i < m_count; ++i) {
        vMin = std::min(vMin, m_polls[i].value);
        vMax = std::max(vMax, m_polls[i].value);
        iMin = std::min(iMin, m_polls[i].microAmps);
        iMax = std::max(iMax, m_polls[i].microAmps);
    }
    const double quarter = std::abs(tolerancePercent.Value()) / 100.0 / 4.0;
    // The span in the polls' own scale (the settings may carry other decimals).
    const double spanUnits = double(span.upper - span.lower) * std::pow(10.0, m_decimals - span.decimals);
    const double valueLimit = std::max(1.0, spanUnits * quarter);
    const double currentLimit = std::max(1.0, 16000.0 * quarter);
    return vMax - vMin <= valueLimit && iMax - iMin <= currentLimit;
}

std::optional<TUncertainty> PointUncertainty(const TSpan &span, const TDecimal &applied, const TDecimal &milliAmps,
                                             const TUncertaintyInputs &in)
{
    if (CheckSpan(span) != TSpanError::None || in.standardU.units < 0 || in.ammeterU.units < 0 || !(in.spreadMilliAmps >= 0) ||
        in.polls < 2)
        return std::nullopt;
    const double toMilliAmps = 16.0 / (span.Upper().Value() - span.Lower().Value()); // mA per unit of the instrument
    const double rectangular = 2.0 * std::sqrt(3.0);
    TUncertainty u;
    u.standard = in.standardU.Value() / 2.0 * toMilliAmps;
    u.ammeter = in.ammeterU.Value() / 2.0;
    u.appliedDigit = TDecimal{1, applied.scale}.Value() / rectangular * toMilliAmps;
    u.ammeterDigit = TDecimal{1, milliAmps.scale}.Value() / rectangular;
    u.repeatability = in.spreadMilliAmps;
    u.combinedMilliAmps = std::sqrt(u.standard * u.standard + u.ammeter * u.ammeter + u.appliedDigit * u.appliedDigit +
                                    u.ammeterDigit * u.ammeterDigit + u.repeatability * u.repeatability);
    u.expandedPercent = 2.0 * u.combinedMilliAmps / 16.0 * 100.0;
    return u;
}

std::optional<TDecimal> ParseUncertainty(std::string_view text, std::string_view unit)
{
    size_t begin = 0, end = text.size();
    while (begin < end && Blank(text[begin]))
        ++begin;
    while (end > begin && Blank(text[end - 1]))
        --end;
    text = text.substr(begin, end - begin);
    for (std::string_view sign : {std::string_view("\xc2\xb1") /* ± */, std::string_view("+/-"), std::string_view("+")})
        if (text.substr(0, sign.size()) == sign) {
            text.remove_prefix(sign.size());
            break;
        }
    if (!unit.empty() && text.size() > unit.size() && text.substr(text.size() - unit.size()) == unit)
        text.remove_suffix(unit.size());
    const std::optional<TDecimal> u = ParseDecimal(text, 9);
    if (!u || u->units < 0 || (!text.empty() && text.find('-') != std::string_view::npos))
        return std::nullopt;
    return u;
}

std::string FormatUncertainty(double percent)
{
    // Up to the next thousandth; a hair above one (float noise) stays on it.
    const double thousandths = std::ceil(percent * 1000.0 - 1e-6);
    return Fixed(std::max(0.0, thousandths) / 1000.0, 3);
}

std::string_view CertificateSerial(std::string_view certificate, int year)
{
    const std::string prefix = "KV-" + std::to_string(year) + "-";
    if (certificate.size() <= prefix.size() || certificate.substr(0, prefix.size()) != prefix)
        return {};
    const std::string_view tail = certificate.substr(prefix.size());
    if (!std::all_of(tail.begin(), tail.end(), [](char c) { return c >= '0' && c <= '9'; }))
        return {};
    const size_t first = tail.find_first_not_of('0');
    return first == std::string_view::npos ? tail.substr(tail.size() - 1) : tail.substr(first);
}

std::string NextCertificateNumber(std::string_view last, int year)
{
    // Counted in decimal text: a typed number of any length is still a number,
    // and the next one is above it (never 0001 again).
    const std::string_view serial = CertificateSerial(last, year);
    std::string next(serial.empty() ? std::string_view("0") : serial);
    int at = int(next.size()) - 1;
    for (; at >= 0 && next[size_t(at)] == '9'; --at)
        next[size_t(at)] = '0';
    if (at < 0)
        next.insert(next.begin(), '1');
    else
        ++next[size_t(at)];
    if (next.size() < 4)
        next.insert(0, 4 - next.size(), '0');
    return std::string("KV-") + std::to_string(year) + "-" + next;
}

} // namespace calib
