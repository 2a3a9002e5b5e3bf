// The link's system calls, each retried while a signal interrupts it.
#pragma once

#include <cerrno>
#include <string>

#include <fcntl.h>
#include <sys/ioctl.h>

namespace sys {

template <typename TCall>
auto Retried(TCall call)
{
    decltype(call()) r;
    do {
        r = call();
    } while (r < 0 && errno == EINTR);
    return r;
}

inline int Ioctl(int fd, unsigned long request, void *arg)
{
    return Retried([&] { return ::ioctl(fd, request, arg); });
}

// A serial device as the link and the probe open it: never our controlling
// terminal, never waiting for carrier, not inherited by programs we start.
inline int OpenDevice(const std::string &path)
{
    return Retried([&] { return ::open(path.c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC); });
}

} // namespace sys
