// The files kv508ctl reads and writes: backups in, backups out (atomically,
// through symbolic links), and the monitor's record file.
#pragma once

#include <cstdio>
#include <string>

namespace ctl {

// The whole file ("-": standard input), at most 1 MiB: restore /dev/zero must
// not eat the memory. Throws TFailure exitUsage.
std::string ReadFile(const std::string &file);

// Written beside the target and renamed over it: a crash leaves the old file
// or the new one. A symbolic link is written through to its target, which is
// made when missing; the target's mode is kept. The temporary file goes on
// SIGINT, SIGTERM and SIGHUP; those a SIGKILL or a power cut left behind go
// at the next write. Returns how many such leftovers it removed. "-" writes
// to standard output. Throws TFailure exitUsage.
int WriteFileAtomically(const std::string &file, const std::string &content);

// The monitor's --output, opened for appending without waiting: a named pipe
// nobody reads is refused (its open would wait for a reader forever), as is
// anything but a regular file, a pipe or a terminal. Throws TFailure exitUsage.
std::FILE *OpenAppendOutput(const std::string &file);

} // namespace ctl
