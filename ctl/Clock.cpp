#include "Clock.h"

#include "KV508Commands.h"

#include <chrono>
#include <cstdio>
#include <ctime>

namespace ctl {

namespace {

std::tm LocalTime(std::time_t t)
{
    std::tm tm{};
#if defined(_WIN32)
    localtime_s(&tm, &t);
#else
    localtime_r(&t, &tm);
#endif
    return tm;
}

} // namespace

uint32_t TodayCode()
{
    const std::tm tm = LocalTime(std::time(nullptr));
    return kv508::DateCodeOf(tm.tm_year + 1900, tm.tm_mon + 1, tm.tm_mday);
}

std::string IsoNow()
{
    using namespace std::chrono;
    const auto now = system_clock::now();
    const std::time_t t = system_clock::to_time_t(now);
    const auto ms = duration_cast<milliseconds>(now.time_since_epoch()).count() % 1000;
    const std::tm tm = LocalTime(t);
    char stamp[32];
    std::strftime(stamp, sizeof stamp, "%Y-%m-%dT%H:%M:%S", &tm);
    char zone[8];
    std::strftime(zone, sizeof zone, "%z", &tm); // +0200
    char out[48];
    std::snprintf(out, sizeof out, "%s.%03d%.3s:%.2s", stamp, static_cast<int>(ms), zone, zone + 3);
    return out;
}

int64_t LocalWallMs()
{
    using namespace std::chrono;
    const auto now = system_clock::now();
    const std::time_t t = system_clock::to_time_t(now);
    std::tm local = LocalTime(t);
    std::tm utc{};
#if defined(_WIN32)
    gmtime_s(&utc, &t);
#else
    gmtime_r(&t, &utc);
#endif
    utc.tm_isdst = local.tm_isdst;
    // The UTC fields read as local time lie the zone's offset before t.
    const auto offsetS = static_cast<int64_t>(std::difftime(std::mktime(&local), std::mktime(&utc)));
    return duration_cast<milliseconds>(now.time_since_epoch()).count() + offsetS * 1000;
}

} // namespace ctl
