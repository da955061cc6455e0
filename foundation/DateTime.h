#pragma once
// Local time read precisely, day numbers, and dates and times of day as text in the user's
// formats. Times are seconds from 1970-01-01 00:00 (Julian day number 2440588) in local time.
#include <cstdint>

#include "com/HResult.h"
#include "foundation/String.h"

namespace KEL {

class LocaleInfo;

constexpr std::int64_t kJulianDay1970 = 2440588;

// Month 1-12 and a day of that month (February 29 in leap years). Years below 1 are refused:
// the day-number arithmetic is not defined for them.
bool IsValidDate(int month, int day, int year);

// The Julian day number of a date; 0 for an invalid date. 2000-01-01 gives 2451545.
std::int64_t JulianDayNumber(int month, int day, int year);

// The date of a Julian day number (the inverse of JulianDayNumber).
void DateFromJulianDay(std::int64_t julianDay, int& month, int& day, int& year);

// Reads the local time (seconds, with milliseconds) and its offset to UTC (seconds, UTC minus
// local, whole minutes), repeating the read until two reads agree on the offset (at most four).
// Returns the performance counter at the middle of the last read (the tick count when there is
// no counter).
LONGLONG GetPreciseLocalTime(double& localSeconds, std::int64_t& offsetSeconds);

// The local date of a time in the user's short date format; empty for years up to 1970.
void FormatDate(double seconds, String& out);

// The time of day: hours, minutes and seconds joined by the user's time separator, with the
// designator on a 12-hour clock; negative times with a leading "-".
void FormatTimeOfDay(double seconds, String& out);
void FormatTimeOfDay(double seconds, String& out, const LocaleInfo& locale);

// swprintf into a buffer of 32 characters: -1 on failure, else the characters written.
int FormatInto32(wchar_t (&buffer)[32], const wchar_t* format, ...);

} // namespace KEL
