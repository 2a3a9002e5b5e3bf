// The wall clock as the instrument and the logs want it: today's date code
// and ISO-8601 local timestamps.
#pragma once

#include <cstdint>
#include <string>

namespace ctl {

// Today's date code (year * 10000 + month * 100 + day), local time.
uint32_t TodayCode();
// Now as 2024-05-01T12:34:56.789+02:00.
std::string IsoNow();

} // namespace ctl
