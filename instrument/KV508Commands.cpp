#include "KV508Commands.h"

#include <algorithm>
#include <cstdio>

namespace kv508 {

namespace {

int DigitValue(char c, int base)
{
    int d = -1;
    if (c >= '0' && c <= '9')
        d = c - '0';
    else if (c >= 'a' && c <= 'f')
        d = c - 'a' + 10;
    else if (c >= 'A' && c <= 'F')
        d = c - 'A' + 10;
    return d < base ? d : -1;
}

} // namespace

bool TryStrToInt(std::string_view text, int32_t &value)
{
    const std::size_t n = text.size();
    std::size_t i = 0;
    while (i < n && text[i] == ' ')
        ++i;
    bool negative = false;
    if (i < n && (text[i] == '+' || text[i] == '-')) {
        negative = text[i] == '-';
        ++i;
    }
    int base = 10;
    if (i < n && (text[i] == '$' || text[i] == 'x' || text[i] == 'X')) {
        base = 16;
        ++i;
    } else if (i + 1 < n && text[i] == '0' && (text[i + 1] == 'x' || text[i + 1] == 'X')) {
        base = 16;
        i += 2;
    }
    if (i == n)
        return false;
    // Hexadecimal takes any 32-bit pattern; decimal must fit the signed range.
    const uint64_t limit = base == 16 ? 0xFFFFFFFFull : (negative ? 0x80000000ull : 0x7FFFFFFFull);
    uint64_t magnitude = 0;
    for (; i < n; ++i) {
        const int d = DigitValue(text[i], base);
        if (d < 0)
            return false;
        magnitude = magnitude * static_cast<uint64_t>(base) + static_cast<uint64_t>(d);
        if (magnitude > limit)
            return false;
    }
    const auto bits = static_cast<uint32_t>(magnitude);
    value = static_cast<int32_t>(negative ? 0u - bits : bits);
    return true;
}

int32_t Entry(std::string_view text, int32_t fallback, int32_t low, int32_t high)
{
    int32_t typed = 0;
    return TryStrToInt(text, typed) ? std::clamp(typed, low, high) : fallback;
}

uint32_t DateCodeOf(int year, int month, int day)
{
    if (year < 0)
        return 0;
    return static_cast<uint32_t>(year) * 10000 + static_cast<uint32_t>(month) * 100 + static_cast<uint32_t>(day);
}

std::string FormatDateCode(uint32_t code)
{
    char text[32];
    std::snprintf(text, sizeof text, "%04u.%02u.%02u.", code / 10000, (code % 10000) / 100, code % 100);
    return text;
}

int64_t RoundHalfEven(int64_t numerator, int64_t denominator)
{
    int64_t q = numerator / denominator;
    int64_t r = numerator % denominator;
    if (r < 0) { // floor division
        r += denominator;
        --q;
    }
    if (2 * r > denominator || (2 * r == denominator && (q & 1) != 0))
        ++q;
    return q;
}

std::string FormatScaled(int64_t value, unsigned decimals)
{
    std::string digits = std::to_string(value < 0 ? 0 - static_cast<uint64_t>(value) : static_cast<uint64_t>(value));
    if (digits.size() <= decimals)
        digits.insert(0, decimals + 1 - digits.size(), '0');
    if (decimals > 0)
        digits.insert(digits.size() - decimals, 1, '.');
    return (value < 0 ? "-" : "") + digits;
}

} // namespace kv508
