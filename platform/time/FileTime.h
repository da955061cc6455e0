#pragma once
// Calendar times as the extension's platform knows them: FILETIME (100-nanosecond ticks since
// 1601-01-01 00:00 UTC) and SYSTEMTIME (a broken-down date and time with milliseconds), and the
// conversions between them. Day numbers are 64-bit throughout.
#include <cstdint>

#include "com/HResult.h"

struct FILETIME {
    DWORD dwLowDateTime = 0;
    DWORD dwHighDateTime = 0;
};

struct SYSTEMTIME {
    WORD wYear = 0;
    WORD wMonth = 0; // 1-12
    WORD wDayOfWeek = 0; // 0 Sunday - 6 Saturday
    WORD wDay = 0; // 1-31
    WORD wHour = 0;
    WORD wMinute = 0;
    WORD wSecond = 0;
    WORD wMilliseconds = 0;
};

// Fails (0) for a field out of range or a date before 1601 or after 30827; the day of the
// week is ignored.
// Both return 1 on success.
BOOL SystemTimeToFileTime(const SYSTEMTIME* systemTime, FILETIME* fileTime);
// Fails for a null pointer or a time at or beyond 0x8000000000000000 ticks.
BOOL FileTimeToSystemTime(const FILETIME* fileTime, SYSTEMTIME* systemTime);

namespace vx::time {

constexpr std::uint64_t kTicksPerSecond = 10'000'000;
// Ticks from 1601-01-01 to 1970-01-01.
constexpr std::uint64_t kUnixEpochTicks = 116'444'736'000'000'000;

constexpr std::uint64_t Ticks(const FILETIME& t)
{
    return (std::uint64_t { t.dwHighDateTime } << 32) | t.dwLowDateTime;
}
constexpr FILETIME FromTicks(std::uint64_t ticks)
{
    return FILETIME { static_cast<DWORD>(ticks), static_cast<DWORD>(ticks >> 32) };
}

// Days from 1970-01-01 to a date of the proleptic Gregorian calendar (negative before it).
// H. Hinnant, "chrono-Compatible Low-Level Date Algorithms", days_from_civil.
constexpr std::int64_t DaysFromCivil(std::int64_t year, unsigned month, unsigned day)
{
    year -= month <= 2;
    const std::int64_t era = (year >= 0 ? year : year - 399) / 400;
    const std::int64_t yoe = year - era * 400;
    const std::int64_t doy = (153 * (month > 2 ? month - 3 : month + 9) + 2) / 5 + day - 1;
    const std::int64_t doe = yoe * 365 + yoe / 4 - yoe / 100 + doy;
    return era * 146097 + doe - 719468;
}

struct CivilDate {
    std::int64_t year;
    unsigned month;
    unsigned day;
};

// The inverse of DaysFromCivil (same source, civil_from_days).
constexpr CivilDate CivilFromDays(std::int64_t days)
{
    days += 719468;
    const std::int64_t era = (days >= 0 ? days : days - 146096) / 146097;
    const std::int64_t doe = days - era * 146097;
    const std::int64_t yoe = (doe - doe / 1460 + doe / 36524 - doe / 146096) / 365;
    const std::int64_t doy = doe - (365 * yoe + yoe / 4 - yoe / 100);
    const std::int64_t mp = (5 * doy + 2) / 153;
    const unsigned day = static_cast<unsigned>(doy - (153 * mp + 2) / 5 + 1);
    const unsigned month = static_cast<unsigned>(mp < 10 ? mp + 3 : mp - 9);
    return CivilDate { yoe + era * 400 + (month <= 2), month, day };
}

// 0 Sunday - 6 Saturday.
constexpr unsigned WeekDay(std::int64_t daysFrom1970)
{
    return static_cast<unsigned>(((daysFrom1970 + 4) % 7 + 7) % 7);
}

constexpr bool IsLeapYear(std::int64_t year)
{
    return (year % 4 == 0 && year % 100 != 0) || year % 400 == 0;
}

constexpr unsigned DaysInMonth(std::int64_t year, unsigned month)
{
    constexpr unsigned kDays[12] = { 31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31 };
    return month == 2 && IsLeapYear(year) ? 29 : kDays[month - 1];
}

// A date that SYSTEMTIME can hold: 1601-30827, month 1-12, a day of that month.
bool IsValidSystemDate(const SYSTEMTIME& t);

} // namespace vx::time
