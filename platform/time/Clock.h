#pragma once
// The clock, the performance counter and the time zone. Every read goes through the current
// IClock: the system's by default, or one that a test puts in place to feed fixed values.
#include "time/FileTime.h"

struct LARGE_INTEGER {
    LONGLONG QuadPart = 0;
};

// UTC = local time + Bias (+ DaylightBias while daylight saving time is in effect), in minutes.
struct TIME_ZONE_INFORMATION {
    LONG Bias = 0;
    LONG StandardBias = 0;
    LONG DaylightBias = 0;
};

constexpr DWORD TIME_ZONE_ID_UNKNOWN = 0; // the zone has no daylight saving time
constexpr DWORD TIME_ZONE_ID_STANDARD = 1;
constexpr DWORD TIME_ZONE_ID_DAYLIGHT = 2;
constexpr DWORD TIME_ZONE_ID_INVALID = 0xFFFFFFFFu;

// Wall time in 100-nanosecond ticks since 1601-01-01 UTC.
void GetSystemTimeAsFileTime(FILETIME* out);
// The current local and UTC date and time, each from a read of its own.
void GetLocalTime(SYSTEMTIME* out);
void GetSystemTime(SYSTEMTIME* out);
// Non-zero on success; the counter is monotonic and counts `frequency` units per second.
BOOL QueryPerformanceCounter(LARGE_INTEGER* count);
BOOL QueryPerformanceFrequency(LARGE_INTEGER* frequency);
// Milliseconds since an arbitrary start, wrapping at 2^32.
DWORD GetTickCount();
// Fills the zone and returns which part of the year is in effect (TIME_ZONE_ID_...).
DWORD GetTimeZoneInformation(TIME_ZONE_INFORMATION* out);

namespace vx::time {

class IClock {
public:
    virtual ~IClock() = default;
    virtual std::uint64_t SystemTimeAsFileTime() = 0;
    virtual SYSTEMTIME LocalTime() = 0;
    virtual SYSTEMTIME UniversalTime() = 0;
    virtual bool PerformanceCounter(LONGLONG& count) = 0;
    virtual bool PerformanceFrequency(LONGLONG& perSecond) = 0;
    virtual DWORD TickCount() = 0;
    virtual DWORD TimeZone(TIME_ZONE_INFORMATION& zone) = 0;
};

// The system's clock: CLOCK_REALTIME, CLOCK_MONOTONIC (in nanoseconds) and the TZ rules.
IClock& SystemClock();
// The clock that the functions above read.
IClock& CurrentClock();
// Puts `clock` in place (null: the system's again) and returns the one it replaces (null for
// the system's). The caller keeps `clock` alive while it is in place.
IClock* SetClock(IClock* clock);

class ScopedClock {
public:
    explicit ScopedClock(IClock& clock)
        : mPrevious(SetClock(&clock))
    {
    }
    ~ScopedClock() { SetClock(mPrevious); }
    ScopedClock(const ScopedClock&) = delete;
    ScopedClock& operator=(const ScopedClock&) = delete;

private:
    IClock* mPrevious;
};

// A clock of fixed values for tests. The performance counter and the tick count advance by
// their steps on every read, so a "before" and an "after" reading differ.
class FixedClock : public IClock {
public:
    std::uint64_t SystemTimeAsFileTime() override { return mFileTime; }
    SYSTEMTIME LocalTime() override { return mLocal; }
    SYSTEMTIME UniversalTime() override { return mUniversal; }
    bool PerformanceCounter(LONGLONG& count) override
    {
        count = mCounter;
        mCounter += mCounterStep;
        return mCounterWorks;
    }
    bool PerformanceFrequency(LONGLONG& perSecond) override
    {
        perSecond = mFrequency;
        return mCounterWorks;
    }
    DWORD TickCount() override
    {
        DWORD now = mTicks;
        mTicks += mTickStep;
        return now;
    }
    DWORD TimeZone(TIME_ZONE_INFORMATION& zone) override
    {
        zone = mZone;
        return mZoneId;
    }

    std::uint64_t mFileTime = kUnixEpochTicks;
    SYSTEMTIME mLocal { 1970, 1, 4, 1, 0, 0, 0, 0 };
    SYSTEMTIME mUniversal { 1970, 1, 4, 1, 0, 0, 0, 0 };
    LONGLONG mCounter = 0;
    LONGLONG mCounterStep = 1;
    LONGLONG mFrequency = 10'000'000;
    bool mCounterWorks = true;
    DWORD mTicks = 0;
    DWORD mTickStep = 1;
    TIME_ZONE_INFORMATION mZone {};
    DWORD mZoneId = TIME_ZONE_ID_UNKNOWN;
};

} // namespace vx::time
