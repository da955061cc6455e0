#include "foundation/TimeGet.h"

#include <utility>

namespace KEL {

std::locale::id time_getEx::id;

namespace {

using Iter = std::istreambuf_iterator<wchar_t>;
using State = std::ios_base::iostate;

// Case folding for name matching, independent of the process's C locale: ASCII and Latin-1
// letters; other characters match exactly.
wchar_t Fold(wchar_t c)
{
    if ((c >= L'A' && c <= L'Z') || (c >= 0xC0 && c <= 0xDE && c != 0xD7))
        return static_cast<wchar_t>(c + 32);
    return c;
}

std::wstring Fold(const std::wstring& text)
{
    std::wstring out(text);
    for (wchar_t& c : out)
        c = Fold(c);
    return out;
}

bool IsDigit(wchar_t c)
{
    return c >= L'0' && c <= L'9';
}

void SkipSpaces(Iter& it, Iter end)
{
    while (it != end && (*it == L' ' || *it == L'\t'))
        ++it;
}

// An optional sign and decimal digits, leading zeros skipped; more than `maxDigits` significant
// digits is out of range.
bool ReadInt(Iter& it, Iter end, int maxDigits, long& value)
{
    bool negative = false;
    if (it != end && (*it == L'+' || *it == L'-')) {
        negative = *it == L'-';
        ++it;
    }
    if (it == end || !IsDigit(*it))
        return false;
    long result = 0;
    int digits = 0;
    bool tooLong = false;
    for (; it != end && IsDigit(*it); ++it) {
        if (result == 0 && *it == L'0')
            continue;
        if (++digits > maxDigits)
            tooLong = true;
        else
            result = result * 10 + (*it - L'0');
    }
    if (tooLong)
        return false;
    value = negative ? -result : result;
    return true;
}

// Reads the longest run of characters that starts one of the names (without regard to case)
// and gives the index of the name it spells, or -1.
template <std::size_t N> int MatchName(Iter& it, Iter end, const std::array<std::wstring, N>& names)
{
    std::array<std::wstring, N> folded;
    for (std::size_t i = 0; i < N; ++i)
        folded[i] = Fold(names[i]);
    std::wstring read;
    while (it != end) {
        std::wstring next = read + Fold(*it);
        bool prefix = false;
        for (const std::wstring& name : folded)
            if (!name.empty() && name.compare(0, next.size(), next) == 0 && name.size() >= next.size())
                prefix = true;
        if (!prefix)
            break;
        read = std::move(next);
        ++it;
    }
    for (std::size_t i = 0; i < N; ++i)
        if (!read.empty() && folded[i] == read)
            return static_cast<int>(i);
    return -1;
}

Iter Finish(Iter it, Iter end, State& state, bool ok)
{
    if (!ok)
        state |= std::ios_base::failbit;
    if (it == end)
        state |= std::ios_base::eofbit;
    return it;
}

bool Expect(Iter& it, Iter end, wchar_t c)
{
    if (it == end || *it != c)
        return false;
    ++it;
    return true;
}

} // namespace

bool YearToTm(long year, int& tmYear)
{
    if (year < 0 || year > 9999 || (year > 135 && year < 1900))
        return false;
    if (year >= 1900)
        tmYear = static_cast<int>(year - 1900);
    else if (year < 35)
        tmYear = static_cast<int>(year + 100);
    else
        tmYear = static_cast<int>(year);
    return true;
}

time_get::time_get(dateorder order, Names names, wchar_t dateSeparator, std::size_t refs)
    : std::time_get<wchar_t>(refs)
    , mOrder(order)
    , mNames(std::move(names))
    , mDateSeparator(dateSeparator)
{
}

time_get::iter_type time_get::do_get_time(iter_type it, iter_type end, std::ios_base&, State& state, std::tm* out) const
{
    long hours = 0, minutes = 0, seconds = 0;
    SkipSpaces(it, end);
    // Durations may pass 24 hours: a tm without a day of the month takes any hour.
    if (!ReadInt(it, end, 9, hours) || hours < 0 || (out->tm_mday != 0 && hours > 23))
        return Finish(it, end, state, false);
    out->tm_hour = static_cast<int>(hours);
    if (!Expect(it, end, L':') || !ReadInt(it, end, 2, minutes) || minutes < 0 || minutes > 59)
        return Finish(it, end, state, false);
    out->tm_min = static_cast<int>(minutes);
    // The seconds are optional: "12:30" is half past twelve.
    if (it != end && *it == L':') {
        ++it;
        if (!ReadInt(it, end, 2, seconds) || seconds < 0 || seconds > 59)
            return Finish(it, end, state, false);
        out->tm_sec = static_cast<int>(seconds);
    }
    return Finish(it, end, state, true);
}

time_get::iter_type time_get::do_get_date(iter_type it, iter_type end, std::ios_base&, State& state, std::tm* out) const
{
    enum Field { kDay, kMonth, kYear };
    Field fields[3] = { kMonth, kDay, kYear };
    switch (mOrder) {
    case dmy:
        fields[0] = kDay, fields[1] = kMonth;
        break;
    case ymd:
        fields[0] = kYear, fields[1] = kMonth, fields[2] = kDay;
        break;
    case ydm:
        fields[0] = kYear, fields[1] = kDay, fields[2] = kMonth;
        break;
    default:
        break;
    }
    for (int i = 0; i < 3; ++i) {
        SkipSpaces(it, end);
        if (i > 0 && it != end
            && (*it == L':' || *it == L',' || *it == L'/' || (mDateSeparator && *it == mDateSeparator))) {
            ++it;
            SkipSpaces(it, end);
        }
        if (it == end)
            return Finish(it, end, state, false);
        if (!IsDigit(*it) && *it != L'+' && *it != L'-') {
            // A month name: the order adapts to put the month here.
            int monthAt = 0;
            while (fields[monthAt] != kMonth)
                ++monthAt;
            if (i == 0) {
                fields[0] = kMonth, fields[1] = kDay, fields[2] = kYear;
            } else if (monthAt < i) {
                return Finish(it, end, state, false);
            } else {
                std::swap(fields[i], fields[monthAt]);
            }
            int index = MatchName(it, end, mNames.mMonths);
            if (index < 0)
                return Finish(it, end, state, false);
            out->tm_mon = index / 2;
            continue;
        }
        long value = 0;
        switch (fields[i]) {
        case kDay:
            if (!ReadInt(it, end, 2, value) || value < 1 || value > 31)
                return Finish(it, end, state, false);
            out->tm_mday = static_cast<int>(value);
            break;
        case kMonth:
            if (!ReadInt(it, end, 2, value) || value < 1 || value > 12)
                return Finish(it, end, state, false);
            out->tm_mon = static_cast<int>(value - 1);
            break;
        case kYear: {
            int year = 0;
            if (!ReadInt(it, end, 4, value) || !YearToTm(value, year))
                return Finish(it, end, state, false);
            out->tm_year = year;
            break;
        }
        }
    }
    return Finish(it, end, state, true);
}

time_get::iter_type time_get::do_get_weekday(
    iter_type it, iter_type end, std::ios_base&, State& state, std::tm* out) const
{
    SkipSpaces(it, end);
    int index = MatchName(it, end, mNames.mDays);
    if (index >= 0)
        out->tm_wday = index / 2;
    return Finish(it, end, state, index >= 0);
}

time_get::iter_type time_get::do_get_monthname(
    iter_type it, iter_type end, std::ios_base&, State& state, std::tm* out) const
{
    SkipSpaces(it, end);
    int index = MatchName(it, end, mNames.mMonths);
    if (index >= 0)
        out->tm_mon = index / 2;
    return Finish(it, end, state, index >= 0);
}

time_get::iter_type time_get::do_get_year(iter_type it, iter_type end, std::ios_base&, State& state, std::tm* out) const
{
    SkipSpaces(it, end);
    long value = 0;
    int year = 0;
    bool ok = ReadInt(it, end, 4, value) && YearToTm(value, year);
    if (ok)
        out->tm_year = year;
    return Finish(it, end, state, ok);
}

} // namespace KEL
