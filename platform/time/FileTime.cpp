#include "time/FileTime.h"

namespace vx::time {

bool IsValidSystemDate(const SYSTEMTIME& t)
{
    return t.wYear >= 1601 && t.wYear <= 30827 && t.wMonth >= 1 && t.wMonth <= 12 && t.wDay >= 1
        && t.wDay <= DaysInMonth(t.wYear, t.wMonth);
}

} // namespace vx::time

namespace {
constexpr std::int64_t kDays1601To1970 = 134774;
constexpr std::uint64_t kTicksPerMs = 10'000;
constexpr std::uint64_t kTicksPerDay = 86'400 * vx::time::kTicksPerSecond;
} // namespace

BOOL SystemTimeToFileTime(const SYSTEMTIME* t, FILETIME* out)
{
    if (!t || !out || !vx::time::IsValidSystemDate(*t) || t->wHour > 23 || t->wMinute > 59 || t->wSecond > 59
        || t->wMilliseconds > 999)
        return 0;
    std::int64_t days = vx::time::DaysFromCivil(t->wYear, t->wMonth, t->wDay) + kDays1601To1970;
    std::uint64_t ms = ((std::uint64_t { t->wHour } * 60 + t->wMinute) * 60 + t->wSecond) * 1000 + t->wMilliseconds;
    *out = vx::time::FromTicks(static_cast<std::uint64_t>(days) * kTicksPerDay + ms * kTicksPerMs);
    return 1;
}

BOOL FileTimeToSystemTime(const FILETIME* in, SYSTEMTIME* t)
{
    if (!in || !t)
        return 0;
    std::uint64_t ticks = vx::time::Ticks(*in);
    if (ticks >= 0x8000000000000000ull)
        return 0;
    std::int64_t days = static_cast<std::int64_t>(ticks / kTicksPerDay) - kDays1601To1970;
    std::uint64_t ms = ticks % kTicksPerDay / kTicksPerMs;
    vx::time::CivilDate date = vx::time::CivilFromDays(days);
    t->wYear = static_cast<WORD>(date.year);
    t->wMonth = static_cast<WORD>(date.month);
    t->wDay = static_cast<WORD>(date.day);
    t->wDayOfWeek = static_cast<WORD>(vx::time::WeekDay(days));
    t->wMilliseconds = static_cast<WORD>(ms % 1000);
    t->wSecond = static_cast<WORD>(ms / 1000 % 60);
    t->wMinute = static_cast<WORD>(ms / 60'000 % 60);
    t->wHour = static_cast<WORD>(ms / 3'600'000);
    return 1;
}
