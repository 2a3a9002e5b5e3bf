// Who else has a port: processes with the device open (as fuser finds them)
// and live UUCP lock files. Private to the Linux probe.
#pragma once

#include <set>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

#include <sys/types.h>

namespace PortProbe::detail {

constexpr unsigned kPtySlaveFirstMajor = 136; // Unix98 pseudo-terminal slaves: 136..143
constexpr unsigned kPtySlaveLastMajor = 143;

// Small helpers of the probe (PortProbe.cpp).
bool StartsWith(std::string_view s, std::string_view prefix);
bool Contains(const std::vector<std::string> &list, const std::string &item);
std::string ValidUtf8(std::string_view s);
std::string RealPath(const std::string &path);
std::string ReadLine(const std::string &path);

// Who else has the devices open, found as fuser does: the descriptors in
// /proc/PID/fd. Only links into /dev are looked at, so a descriptor on a
// network file system never makes the probe wait. Lists keep the order found.
struct THolderScan {
    std::unordered_map<dev_t, std::vector<pid_t>> holders;
    std::unordered_map<pid_t, std::vector<int>> ptyMasters; // pseudo-terminal indexes whose master a process holds; -1: unknown
    bool unseen = false; // some processes (other users') could not be looked into
};

bool IsPtySlave(dev_t device);
THolderScan ScanHolders(const std::set<dev_t> &devices);
// The first process that has device open and is not the other end of it; 0 if none.
pid_t OtherHolder(const THolderScan &scan, dev_t device);
std::string HolderText(pid_t pid, const std::string &extra = {});
// A live UUCP lock on any of the names: "in use by ...", else empty.
std::string UucpHolder(const std::vector<std::string> &lockDirs, const std::vector<std::string> &names);
// The names UUCP lock files use for the device.
std::vector<std::string> LockNames(const std::string &devName, const std::string &path);
std::string OtherUsersNote();

} // namespace PortProbe::detail
