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
// Now in ms since 1970 as the local clock shows it (UTC plus the zone's offset).
int64_t LocalWallMs();

} // namespace ctl
