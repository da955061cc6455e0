#include "foundation/TimeOfDay.h"

#include <climits>
#include <cmath>
#include <iomanip>
#include <locale>
#include <sstream>

#include "foundation/DateTime.h"
#include "foundation/LocaleInfo.h"

namespace KEL {
namespace {

constexpr double kZero = 1e-6;

// The seconds or the number in fixed notation with `decimals` digits.
std::wstring Fixed(double value, int decimals, const std::locale& locale)
{
    std::wostringstream text;
    text.imbue(locale);
    text << std::fixed << std::setprecision(decimals) << value;
    return text.str();
}

// Trailing zeros go back to, but not including, the first digit after the decimal separator;
// with `dropSingleZero` a lone remaining "0" goes too, with the separator.
void TrimZeros(std::wstring& text, wchar_t decimalPoint, bool dropSingleZero)
{
    const std::size_t point = text.find(decimalPoint);
    if (point == std::wstring::npos)
        return;
    std::size_t end = text.size();
    while (end > point + 2 && text[end - 1] == L'0')
        --end;
    text.resize(end);
    if (dropSingleZero && end == point + 2 && text[point + 1] == L'0')
        text.resize(point);
}

int TwelveHour(int hours)
{
    if (hours == 0)
        return 12;
    return hours > 12 ? hours - 12 : hours;
}

} // namespace

TimeOfDay::TimeOfDay(double seconds, int decimals, std::uint32_t defaultFormatFlags, std::uint32_t valueFlags)
    : mValueFlags(valueFlags)
    , mDefaultFlags(defaultFormatFlags)
    , mDecimals(decimals < 0 ? 0 : decimals)
    , mRoundingStep(0.51 * std::pow(10.0, -mDecimals))
{
    SetSeconds(seconds);
}

int TimeOfDay::SetSeconds(double value)
{
    if (!std::isfinite(value))
        value = 0.0;
    if (SecondsOnly()) {
        mSeconds = value;
        return mHours;
    }
    mNegative = value < 0;
    double x = std::fabs(value);
    mSeconds = std::fmod(x, 60.0);
    mCorrection = 0.0;
    if (60.0 - mSeconds < mRoundingStep) {
        // The seconds would be written as 60: they become the next minute.
        mCorrection = mNegative ? -(60.0 - mSeconds) : 60.0 - mSeconds;
        x += 0.75;
        mSeconds = 0.0;
    }
    mMinutes = static_cast<int>(std::floor(std::fmod(x / 60.0, 60.0)));
    const double hours = std::floor(x / 3600.0);
    mHours = hours > INT_MAX ? INT_MAX : static_cast<int>(hours);
    return mHours;
}

double TimeOfDay::GetSeconds(std::uint32_t formatFlags) const
{
    if (SecondsOnly())
        return mSeconds;
    const double hours = (formatFlags & kHoursOfDay) ? mHours % 24 : mHours;
    // The correction is a magnitude here, as the fields are: -59.9996 is kept as "-1:00" less
    // 0.0004, not more.
    const double magnitude = hours * 3600.0 + mMinutes * 60.0 + mSeconds - std::fabs(mCorrection);
    return mNegative ? -magnitude : magnitude;
}

void TimeOfDay::SetMicrosecondResolution()
{
    mRoundingStep = 0.51e-6;
    if (mDecimals != 6) {
        const double value = GetSeconds(mDefaultFlags);
        mDecimals = 6;
        SetSeconds(value);
    }
}

void TimeOfDay::AddSeconds(double delta)
{
    if (SecondsOnly()) {
        mSeconds += delta;
        return;
    }
    // The sum is split again: the carries into minutes and hours, a change of sign and the
    // rounding into the next minute all follow from the split.
    SetSeconds(GetSeconds(0) + delta);
}

void TimeOfDay::ToText(std::wostream& out, std::uint32_t flags) const
{
    ToText(out, flags, LocaleInfo::Build());
}

void TimeOfDay::ToText(std::wostream& out, std::uint32_t flags, const LocaleInfo& locale) const
{
    const std::locale& streamLocale = out.getloc();
    const wchar_t decimalPoint = std::use_facet<std::numpunct<wchar_t>>(streamLocale).decimal_point();
    const wchar_t separator = locale.mTimeSeparator[0] ? locale.mTimeSeparator[0] : L':';
    std::wstring text;

    if (SecondsOnly()) {
        text = Fixed(mSeconds, mDecimals, streamLocale);
        if (!(flags & kKeepTrailingZeros))
            TrimZeros(text, decimalPoint, false);
        out << text;
        return;
    }

    if (flags & kCompact)
        flags &= ~(kHoursOfDay | kTwelveHour);
    else
        flags |= kHoursOfDay;

    const bool milliseconds = (mValueFlags & kMilliseconds) && (mValueFlags & 0xFFu) != 3;
    const bool compact = (flags & kCompact) != 0;
    int shownHours = 0;
    std::wstring number;
    if (milliseconds) {
        number = Fixed(GetSeconds(flags) * 1000.0, mDecimals, streamLocale);
    } else if (mValueFlags & kPlainSeconds) {
        number = Fixed(GetSeconds(flags), mDecimals, streamLocale);
    } else {
        const bool zero = mSeconds <= kZero && mMinutes == 0 && mHours == 0;
        if (mNegative && !zero)
            text += L'-';
        shownHours = (flags & kHoursOfDay) ? mHours % 24 : mHours;
        const int hoursWritten = (flags & kTwelveHour) ? TwelveHour(shownHours) : shownHours;
        auto twoDigits = [](int v) { return (v < 10 ? L"0" : L"") + std::to_wstring(v); };
        const wchar_t hourMark = (flags & kUnitLetters) ? L'h' : separator;
        const wchar_t minuteMark = (flags & kUnitLetters) ? L'm' : separator;
        if (flags & kAlwaysHoursMinutes) {
            text += std::to_wstring(hoursWritten) + separator + twoDigits(mMinutes) + separator;
        } else if (compact) {
            if (mHours != 0)
                text += std::to_wstring(hoursWritten) + hourMark;
            if (mHours != 0 || mMinutes != 0)
                text += (mHours != 0 ? twoDigits(mMinutes) : std::to_wstring(mMinutes)) + minuteMark;
        } else {
            text += std::to_wstring(hoursWritten) + separator + twoDigits(mMinutes) + separator;
        }
        // The leading zero is decided on the seconds as written, after rounding: 9.96 at one
        // decimal is "10.0", never "010.0".
        number = Fixed(mSeconds <= kZero ? 0.0 : mSeconds, mDecimals, streamLocale);
        const bool anythingBefore = !text.empty() && text != L"-";
        const std::size_t integerDigits = std::min(number.find(decimalPoint), number.size());
        if (anythingBefore && integerDigits < 2)
            number.insert(0, 1, L'0');
    }
    if (!(flags & kKeepTrailingZeros))
        TrimZeros(number, decimalPoint, !(flags & kAlwaysHoursMinutes));
    text += number;

    if (flags & kUnitLetters)
        text += L's';
    if (flags & kTwelveHour) {
        text += L' ';
        text += shownHours % 24 < 12 ? locale.mAMDesignator : locale.mPMDesignator;
    }
    if (flags & kUnitSuffix) {
        if (milliseconds)
            text += L" ms";
        else if ((mValueFlags & kPlainSeconds) || (compact && mHours == 0 && mMinutes == 0))
            text += L" s";
    }
    if ((flags & kShowUT) && (mValueFlags & kUniversalTime) && !compact)
        text += L" UT";
    out << text;
}

String TimeOfDay::ToString() const
{
    return ToString(LocaleInfo::Build());
}

String TimeOfDay::ToString(const LocaleInfo& locale) const
{
    std::wostringstream out;
    out.imbue(locale.mLocale);
    ToText(out, mDefaultFlags, locale);
    return String(out.str());
}

const EpochConstants& Epochs()
{
    static const EpochConstants constants = [] {
        EpochConstants c {};
        SYSTEMTIME t1970 { 1970, 1, 4, 1, 0, 0, 0, 0 };
        SYSTEMTIME t1899 { 1899, 12, 6, 30, 0, 0, 0, 0 };
        SystemTimeToFileTime(&t1970, &c.mFileTime1970);
        SystemTimeToFileTime(&t1899, &c.mFileTime1899);
        c.mSeconds1899To1970
            = static_cast<double>(vx::time::Ticks(c.mFileTime1970) - vx::time::Ticks(c.mFileTime1899)) / 1e7;
        c.mJulianDay1970 = JulianDayNumber(1, 1, 1970);
        c.mJulianDay1899 = JulianDayNumber(12, 30, 1899);
        c.mSeconds1904To1970 = (c.mJulianDay1970 - JulianDayNumber(1, 1, 1904)) * 86400;
        c.mTicks0001To1970
            = static_cast<std::uint64_t>(c.mJulianDay1970 - JulianDayNumber(1, 1, 1)) * 864'000'000'000ull;
        return c;
    }();
    return constants;
}

} // namespace KEL
