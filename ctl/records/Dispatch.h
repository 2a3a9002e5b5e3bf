// kv508ctl records ..., record ... and station ...: run kv508ctl-records
// (beside kv508ctl) with the same arguments, so kv508ctl itself starts without Qt.
#pragma once

#include <optional>

namespace ctl {

// When the command line's subcommand is records, record or station (also after help),
// the program's exit code; nullopt for every other command line.
std::optional<int> RunRecordsProgram(int argc, char **argv);

} // namespace ctl
