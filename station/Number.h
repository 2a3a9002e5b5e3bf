// Numbers as instruments write them, whatever the process's locale (the
// window sets the user's, where 4,5 may be a number).
#pragma once

#include <optional>
#include <string>
#include <string_view>

namespace station {

// A whole text as one finite number: surrounding blanks and a leading '+'
// allowed, nothing else ("+4.00012345E-03", "101325", " -1.5e2 ").
std::optional<double> ParseNumber(std::string_view text);
// value with digits after the point, '.' always.
std::string FixedText(double value, int digits);
// The shortest text that reads back as value, '.' always.
std::string ShortText(double value);

} // namespace station
