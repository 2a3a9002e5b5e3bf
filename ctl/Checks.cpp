#include "Checks.h"

#include "Values.h"

#include "Text.h"

#include <algorithm>
#include <cstdio>
#include <cstdlib>

namespace ctl {

// ---- the reading settling --------------------------------------------------------------------------

int64_t SettleWindowMs(uint16_t averaging, uint16_t sps)
{
    return (int64_t(std::max<uint16_t>(averaging, 1)) * 1000 + std::max<uint16_t>(sps, 1) - 1) / std::max<uint16_t>(sps, 1);
}

int32_t TSettle::Tolerance(const kv508::TLiveData &d)
{
    return std::max<int32_t>(2, std::abs(int32_t(d.ScaleEnd)) / 500);
}

void TSettle::Add(int64_t ms, const kv508::TLiveData &d)
{
    m_points.push_back({ms, d.MeasuredValue});
    m_last = d;
    // Keep the newest poll at or before the window's start: it shows how far back the polls reach.
    while (m_points.size() >= 2 && m_points[1].ms <= ms - m_windowMs)
        m_points.erase(m_points.begin());
}

bool TSettle::Settled() const
{
    if (m_points.size() < 3 || m_points.front().ms > m_points.back().ms - m_windowMs)
        return false;
    const auto [low, high] = std::minmax_element(m_points.begin(), m_points.end(),
                                                 [](const TPoint &a, const TPoint &b) { return a.value < b.value; });
    return high->value - low->value <= Tolerance(m_last);
}

std::string TSettle::MovementText() const
{
    if (m_points.empty())
        return "no reading";
    const auto [low, high] = std::minmax_element(m_points.begin(), m_points.end(),
                                                 [](const TPoint &a, const TPoint &b) { return a.value < b.value; });
    const int64_t span = m_points.back().ms - m_points.front().ms;
    char seconds[32];
    std::snprintf(seconds, sizeof seconds, "%.1f", double(span) / 1000.0);
    return "moved between " + FormatScaled(low->value, m_last.Decimals) + " and " + FormatScaled(high->value, m_last.Decimals) +
           " over the last " + seconds + " s (settled is within " + FormatScaled(int16_t(Tolerance(m_last)), m_last.Decimals) + ")";
}

// ---- names in messages ----------------------------------------------------------------------------

namespace {

bool Hidden(char32_t code)
{
    return code < 0x20 || (code >= 0x7F && code <= 0x9F) || (code >= 0x202A && code <= 0x202E) ||
           (code >= 0x2066 && code <= 0x2069) || code == 0x200E || code == 0x200F;
}

} // namespace

std::string ShownName(std::string_view text, std::size_t maxBytes)
{
    std::string out;
    for (std::size_t i = 0; i < text.size();) {
        std::size_t next = i;
        const char32_t code = mbcore::NextCodePoint(text, next);
        const std::size_t n = code == mbcore::kNotUtf8 ? 0 : next - i;
        std::string piece;
        if (n == 0 || Hidden(code)) {
            for (std::size_t k = 0; k < std::max<std::size_t>(n, 1); ++k) {
                char hex[8];
                std::snprintf(hex, sizeof hex, "\\x%02x", static_cast<unsigned char>(text[i + k]));
                piece += hex;
            }
        } else {
            piece.assign(text.substr(i, n));
        }
        if (out.size() + piece.size() > maxBytes) {
            out += "…";
            break;
        }
        out += piece;
        i += std::max<std::size_t>(n, 1);
    }
    return out;
}

} // namespace ctl
