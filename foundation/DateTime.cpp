#include "foundation/DateTime.h"

#include <cmath>
#include <cstdarg>
#include <cwchar>

#include "foundation/LocaleInfo.h"
#include "locale/LocaleSettings.h"
#include "time/Clock.h"

namespace KEL {
namespace {

bool IsLeap(int year)
{
    return (year % 4 == 0 && year % 100 != 0) || year % 400 == 0;
}

// Seconds from 1970 of a broken-down time; a year below 100 counts as day number 0.
double SecondsOf(const SYSTEMTIME& t)
{
    std::int64_t day = t.wYear < 100 ? 0 : JulianDayNumber(t.wMonth, t.wDay, t.wYear);
    return t.wHour * 3600.0 + t.wMinute * 60.0 + t.wSecond + t.wMilliseconds / 1000.0
        + static_cast<double>((day - kJulianDay1970) * 86400);
}

LONGLONG ReadCounter(bool useCounter)
{
    if (useCounter) {
        LARGE_INTEGER count;
        if (QueryPerformanceCounter(&count))
            return count.QuadPart;
    }
    return GetTickCount();
}

} // namespace

bool IsValidDate(int month, int day, int year)
{
    static constexpr int kDays[12] = { 31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31 };
    if (year < 1 || month < 1 || month > 12 || day < 1)
        return false;
    return day <= kDays[month - 1] + (month == 2 && IsLeap(year) ? 1 : 0);
}

std::int64_t JulianDayNumber(int month, int day, int year)
{
    if (!IsValidDate(month, day, year))
        return 0;
    // March-based years: January and February count as months 13 and 14 of the year before.
    const std::int64_t y = month <= 2 ? std::int64_t { year } - 1 : year;
    const std::int64_t m = month;
    const std::int64_t monthDays = month <= 2 ? (m * 153 + 1379) / 5 : (m * 153 - 457) / 5;
    return (y / 100 * 146097) / 4 + 1721119 + ((y % 100) * 1461) / 4 + day + monthDays;
}

void DateFromJulianDay(std::int64_t d, int& month, int& day, int& year)
{
    const std::int64_t a = (4 * d - 6884477) / 146097;
    const std::int64_t b = (4 * d - 6884477 - 146097 * a) & ~std::int64_t { 3 };
    const std::int64_t c = (b + 3) / 1461;
    const std::int64_t e = 5 * ((b - 1461 * c + 7) / 4);
    const std::int64_t m = (e - 3) / 153;
    day = static_cast<int>((e - 153 * m + 2) / 5);
    month = static_cast<int>(m < 10 ? m + 3 : m - 9);
    year = static_cast<int>(100 * a + c + (m >= 10 ? 1 : 0));
}

LONGLONG GetPreciseLocalTime(double& localSeconds, std::int64_t& offsetSeconds)
{
    LARGE_INTEGER frequency;
    const bool useCounter = QueryPerformanceFrequency(&frequency) && frequency.QuadPart != 1000;
    LONGLONG before = 0, after = 0;
    std::int64_t offsetMinutes = 0;
    // A read can straddle a change of the offset (the start or end of daylight saving time), so
    // it is repeated until two reads agree.
    for (int pass = 0; pass < 4; ++pass) {
        SYSTEMTIME local, utc;
        before = ReadCounter(useCounter);
        GetLocalTime(&local);
        after = ReadCounter(useCounter);
        GetSystemTime(&utc);
        localSeconds = SecondsOf(local);
        const std::int64_t minutes
            = static_cast<std::int64_t>(std::floor((SecondsOf(utc) - localSeconds) / 60.0 + 0.5));
        const bool agreed = pass > 0 && minutes == offsetMinutes;
        offsetMinutes = minutes;
        if (agreed)
            break;
    }
    offsetSeconds = offsetMinutes * 60;
    return before + (after - before) / 2;
}

void FormatDate(double seconds, String& out)
{
    out = String();
    // Beyond a few hundred thousand years the day number no longer fits the arithmetic.
    if (!std::isfinite(seconds) || std::fabs(seconds) > 1e13)
        return;
    const auto d = static_cast<std::int64_t>((seconds + 0.51) / 86400.0 + static_cast<double>(kJulianDay1970));
    int month = 0, day = 0, year = 0;
    DateFromJulianDay(d, month, day, year);
    if (year <= 1970)
        return;
    SYSTEMTIME date {};
    date.wYear = static_cast<WORD>(year > 0xFFFF ? 0xFFFF : year);
    date.wMonth = static_cast<WORD>(month);
    date.wDay = static_cast<WORD>(day);
    wchar_t buffer[256];
    if (GetDateFormatW(LOCALE_USER_DEFAULT, DATE_SHORTDATE, &date, nullptr, buffer, 256) > 0)
        out = String(buffer);
}

void FormatTimeOfDay(double seconds, String& out)
{
    FormatTimeOfDay(seconds, out, LocaleInfo::Build());
}

void FormatTimeOfDay(double time, String& out, const LocaleInfo& locale)
{
    out = String();
    if (!std::isfinite(time))
        return;
    std::wstring text;
    if (time < 0) {
        text = L"-";
        time = -time;
    }
    // Seconds that would print as the next whole second carry into the minute: 0.75 is added so
    // the minutes and hours below see the carry.
    double x = std::fmod(time, 60.0);
    double secondsOut = x;
    if (x - std::floor(x) >= 0.49) {
        time += 0.75;
        secondsOut = std::floor(x + 0.75);
        if (secondsOut >= 60.0)
            secondsOut = 0.0;
    }
    const auto minutes = static_cast<int>(std::fmod(time / 60.0, 60.0));
    const auto hours = static_cast<int>(std::fmod(time / 3600.0, 24.0));
    int shownHours = hours;
    if (!locale.mClock24) {
        if (shownHours == 0)
            shownHours = 12;
        else if (shownHours > 12)
            shownHours -= 12;
    }
    wchar_t buffer[32];
    const std::wstring separator(locale.mTimeSeparator);
    if (FormatInto32(buffer, L"%d", shownHours) < 0)
        return;
    text += buffer;
    text += separator;
    if (FormatInto32(buffer, L"%02d", minutes) < 0)
        return;
    text += buffer;
    text += separator;
    if (FormatInto32(buffer, L"%0*.*lf", 2, 0, secondsOut) < 0)
        return;
    text += buffer;
    if (!locale.mClock24) {
        text += L' ';
        text += hours < 12 ? locale.mAMDesignator : locale.mPMDesignator;
    }
    out = String(text);
}

int FormatInto32(wchar_t (&buffer)[32], const wchar_t* format, ...)
{
    std::va_list arguments;
    va_start(arguments, format);
    const int written = std::vswprintf(buffer, 32, format, arguments);
    va_end(arguments);
    if (written < 0)
        buffer[0] = 0;
    return written < 0 ? -1 : written;
}

} // namespace KEL
