// What the soak and fault tests watch of the process itself: descriptors,
// threads, resident memory, CPU time; and how big a run is.
#pragma once

#include "RunUntil.h"

#include <QByteArray>
#include <QDir>
#include <QFile>
#include <QThreadPool>

#include <cstdlib>
#include <sys/resource.h>

namespace robust {

using eventwait::RunFor;
using eventwait::RunUntil;

// Full-size runs are documented and run by hand: KV_SOAK_FULL=1.
inline bool FullSize()
{
    const char *v = std::getenv("KV_SOAK_FULL");
    return v && *v && *v != '0';
}

inline int Count(const char *dir)
{
    return int(QDir(QString::fromLatin1(dir)).entryList(QDir::AllEntries | QDir::NoDotAndDotDot | QDir::System).size());
}

// Idle threads of Qt's global pool, left by earlier cases of the same program,
// end on their own timer (30 s) in the middle of a later case: joined first,
// so that the counts see only what the case under test leaves.
inline void RetireIdlePoolThreads() { QThreadPool::globalInstance()->waitForDone(5000); }

inline int OpenDescriptors()
{
    RetireIdlePoolThreads();
    return Count("/proc/self/fd");
}

inline int Threads()
{
    RetireIdlePoolThreads();
    return Count("/proc/self/task");
}

inline long ResidentKb()
{
    QFile f(QStringLiteral("/proc/self/status"));
    if (!f.open(QIODevice::ReadOnly))
        return -1;
    for (const QByteArray &line : f.readAll().split('\n'))
        if (line.startsWith("VmRSS:"))
            return line.mid(6).trimmed().split(' ').value(0).toLong();
    return -1;
}

inline double CpuMs()
{
    rusage u{};
    getrusage(RUSAGE_SELF, &u);
    return (u.ru_utime.tv_sec + u.ru_stime.tv_sec) * 1e3 + (u.ru_utime.tv_usec + u.ru_stime.tv_usec) / 1e3;
}

// Memory figures mean nothing under AddressSanitizer (its quarantine holds freed blocks).
inline bool Sanitized()
{
#if defined(__SANITIZE_ADDRESS__)
    return true;
#elif defined(__has_feature)
#if __has_feature(address_sanitizer)
    return true;
#else
    return false;
#endif
#else
    return false;
#endif
}

} // namespace robust
