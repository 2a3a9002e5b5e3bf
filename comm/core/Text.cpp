#include "Text.h"

namespace mbcore {

char32_t NextCodePoint(std::string_view s, std::size_t &at)
{
    const auto byte = [&](std::size_t i) { return static_cast<unsigned char>(s[i]); };
    const unsigned char lead = byte(at);
    if (lead < 0x80) {
        ++at;
        return lead;
    }
    int length = 0;
    char32_t cp = 0;
    unsigned char low = 0x80, high = 0xBF; // allowed range of the second byte
    if (lead >= 0xC2 && lead <= 0xDF) {
        length = 2;
        cp = lead & 0x1F;
    } else if (lead >= 0xE0 && lead <= 0xEF) {
        length = 3;
        cp = lead & 0x0F;
        if (lead == 0xE0)
            low = 0xA0; // overlong
        else if (lead == 0xED)
            high = 0x9F; // surrogates
    } else if (lead >= 0xF0 && lead <= 0xF4) {
        length = 4;
        cp = lead & 0x07;
        if (lead == 0xF0)
            low = 0x90; // overlong
        else if (lead == 0xF4)
            high = 0x8F; // beyond U+10FFFF
    } else {
        ++at;
        return kNotUtf8;
    }
    std::size_t i = at + 1;
    for (int n = 1; n < length; ++n, ++i) {
        const unsigned char lo = n == 1 ? low : 0x80;
        const unsigned char hi = n == 1 ? high : 0xBF;
        if (i >= s.size() || byte(i) < lo || byte(i) > hi) {
            ++at;
            return kNotUtf8;
        }
        cp = (cp << 6) | (byte(i) & 0x3F);
    }
    at = i;
    return cp;
}

std::string Join(const std::vector<std::string> &parts, std::string_view separator)
{
    std::string out;
    for (std::size_t i = 0; i < parts.size(); ++i) {
        if (i > 0)
            out += separator;
        out += parts[i];
    }
    return out;
}

} // namespace mbcore
