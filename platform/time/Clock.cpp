#include "time/Clock.h"

#include <atomic>
#include <ctime>

namespace vx::time {
namespace {

std::atomic<IClock*> gInjected { nullptr };

timespec Now(clockid_t id)
{
    timespec ts {};
    clock_gettime(id, &ts);
    return ts;
}

SYSTEMTIME FromTm(const std::tm& tm, long nanoseconds)
{
    SYSTEMTIME t;
    t.wYear = static_cast<WORD>(tm.tm_year + 1900);
    t.wMonth = static_cast<WORD>(tm.tm_mon + 1);
    t.wDayOfWeek = static_cast<WORD>(tm.tm_wday);
    t.wDay = static_cast<WORD>(tm.tm_mday);
    t.wHour = static_cast<WORD>(tm.tm_hour);
    t.wMinute = static_cast<WORD>(tm.tm_min);
    // A leap second (60) is folded into the last second of the minute, as the platform would.
    t.wSecond = static_cast<WORD>(tm.tm_sec > 59 ? 59 : tm.tm_sec);
    t.wMilliseconds = static_cast<WORD>(nanoseconds / 1'000'000);
    return t;
}

class PosixClock final : public IClock {
public:
    std::uint64_t SystemTimeAsFileTime() override
    {
        timespec ts = Now(CLOCK_REALTIME);
        return kUnixEpochTicks + static_cast<std::uint64_t>(ts.tv_sec) * kTicksPerSecond
            + static_cast<std::uint64_t>(ts.tv_nsec) / 100;
    }

    SYSTEMTIME LocalTime() override
    {
        timespec ts = Now(CLOCK_REALTIME);
        std::tm tm {};
        localtime_r(&ts.tv_sec, &tm);
        return FromTm(tm, ts.tv_nsec);
    }

    SYSTEMTIME UniversalTime() override
    {
        timespec ts = Now(CLOCK_REALTIME);
        std::tm tm {};
        gmtime_r(&ts.tv_sec, &tm);
        return FromTm(tm, ts.tv_nsec);
    }

    bool PerformanceCounter(LONGLONG& count) override
    {
        timespec ts = Now(CLOCK_MONOTONIC);
        count = static_cast<LONGLONG>(ts.tv_sec) * 1'000'000'000 + ts.tv_nsec;
        return true;
    }

    bool PerformanceFrequency(LONGLONG& perSecond) override
    {
        perSecond = 1'000'000'000;
        return true;
    }

    DWORD TickCount() override
    {
        timespec ts = Now(CLOCK_MONOTONIC);
        return static_cast<DWORD>(static_cast<std::uint64_t>(ts.tv_sec) * 1000 + ts.tv_nsec / 1'000'000);
    }

    // The zone's rules are only known through localtime: the standard and the daylight
    // offsets are found by looking at the current time and at each month of the year around
    // it.
    DWORD TimeZone(TIME_ZONE_INFORMATION& zone) override
    {
        tzset();
        std::time_t now = std::time(nullptr);
        std::tm current {};
        localtime_r(&now, &current);
        long standard = current.tm_gmtoff, daylight = current.tm_gmtoff;
        bool hasStandard = current.tm_isdst <= 0, hasDaylight = current.tm_isdst > 0;
        for (int month = -6; month <= 6; ++month) {
            std::time_t probe = now + static_cast<std::time_t>(month) * 30 * 86'400;
            std::tm tm {};
            localtime_r(&probe, &tm);
            if (tm.tm_isdst > 0 && !hasDaylight) {
                daylight = tm.tm_gmtoff;
                hasDaylight = true;
            } else if (tm.tm_isdst <= 0 && !hasStandard) {
                standard = tm.tm_gmtoff;
                hasStandard = true;
            }
        }
        zone = TIME_ZONE_INFORMATION {};
        zone.Bias = static_cast<LONG>(-standard / 60);
        if (!hasDaylight)
            return TIME_ZONE_ID_UNKNOWN;
        zone.DaylightBias = static_cast<LONG>(-(daylight - standard) / 60);
        return current.tm_isdst > 0 ? TIME_ZONE_ID_DAYLIGHT : TIME_ZONE_ID_STANDARD;
    }
};

} // namespace

IClock& SystemClock()
{
    static PosixClock clock;
    return clock;
}

IClock& CurrentClock()
{
    IClock* injected = gInjected.load();
    return injected ? *injected : SystemClock();
}

IClock* SetClock(IClock* clock)
{
    return gInjected.exchange(clock);
}

} // namespace vx::time

void GetSystemTimeAsFileTime(FILETIME* out)
{
    if (out)
        *out = vx::time::FromTicks(vx::time::CurrentClock().SystemTimeAsFileTime());
}

void GetLocalTime(SYSTEMTIME* out)
{
    if (out)
        *out = vx::time::CurrentClock().LocalTime();
}

void GetSystemTime(SYSTEMTIME* out)
{
    if (out)
        *out = vx::time::CurrentClock().UniversalTime();
}

BOOL QueryPerformanceCounter(LARGE_INTEGER* count)
{
    if (!count)
        return 0;
    return vx::time::CurrentClock().PerformanceCounter(count->QuadPart) ? 1 : 0;
}

BOOL QueryPerformanceFrequency(LARGE_INTEGER* frequency)
{
    if (!frequency)
        return 0;
    return vx::time::CurrentClock().PerformanceFrequency(frequency->QuadPart) ? 1 : 0;
}

DWORD GetTickCount()
{
    return vx::time::CurrentClock().TickCount();
}

DWORD GetTimeZoneInformation(TIME_ZONE_INFORMATION* out)
{
    if (!out)
        return TIME_ZONE_ID_INVALID;
    return vx::time::CurrentClock().TimeZone(*out);
}
