// The instrument's reading of a frame: command names and payload fields as
// short texts. Internal to the monitor.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace kv508::detail {

// "poll force=0 pwm=0", "read-settings 4mA=0 20mA=2491 ...", "zero ok",
// "poll slave-error=255", "command 77 (3 bytes)".
std::string DecodeFrame(bool answer, uint8_t id, uint8_t command, uint8_t status,
                        const std::vector<uint8_t> &payload);

} // namespace kv508::detail
