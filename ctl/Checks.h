// Checks kv508ctl makes on what it is told, without any I/O: whether the
// instrument's reading has settled before a calibration point takes it, and
// names from outside made fit to be shown in a message.
#pragma once

#include "KV508Backup.h"
#include "KV508Commands.h"
#include "KV508Settle.h"

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace ctl {

// ---- the reading settling --------------------------------------------------------------------------

// Shared with the window's calibration guide (instrument/KV508Settle.h).
using kv508::SettleWindowMs;
using kv508::TSettle;

// ---- names in messages ----------------------------------------------------------------------------

using kv508::ShownName; // instrument/KV508Backup.h

} // namespace ctl
