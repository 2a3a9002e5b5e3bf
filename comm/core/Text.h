// Plain text helpers shared by the engine, the link and the programs: UTF-8 read
// one code point at a time (strictly: no overlong form, surrogate or value
// beyond U+10FFFF), and joining.
#pragma once

#include <cstddef>
#include <string>
#include <string_view>
#include <vector>

namespace mbcore {

inline constexpr char32_t kNotUtf8 = 0xFFFFFFFF;

// The code point at text[at], advancing at past it; kNotUtf8 for a malformed,
// overlong, surrogate, out-of-range or cut sequence, and at then moves one byte
// on (each byte of it shows as one replacement character).
char32_t NextCodePoint(std::string_view text, std::size_t &at);

std::string Join(const std::vector<std::string> &parts, std::string_view separator);

} // namespace mbcore
