#pragma once
// KEL::TimeOfDay: a signed time split into hours, minutes and seconds with a chosen number of
// decimals, written as a time of day or a duration (the time labels of the trace views), and the
// library's epoch constants.
#include <cstdint>
#include <iosfwd>

#include "foundation/String.h"
#include "time/FileTime.h"

namespace KEL {

class LocaleInfo;

class TimeOfDay {
public:
    // Value flags.
    static constexpr std::uint32_t kSecondsOnly = 1u << 28;
    static constexpr std::uint32_t kMilliseconds = 1u << 29; // unless the low byte is 3
    static constexpr std::uint32_t kUniversalTime = 1u << 30;
    static constexpr std::uint32_t kPlainSeconds = 1u << 31;
    // Format flags.
    static constexpr std::uint32_t kUnitLetters = 1u << 19;
    static constexpr std::uint32_t kKeepTrailingZeros = 1u << 20;
    static constexpr std::uint32_t kShowUT = 1u << 21;
    static constexpr std::uint32_t kHoursOfDay = 1u << 25;
    static constexpr std::uint32_t kTwelveHour = 1u << 26;
    static constexpr std::uint32_t kAlwaysHoursMinutes = 1u << 27;
    static constexpr std::uint32_t kUnitSuffix = 1u << 28;
    static constexpr std::uint32_t kCompact = 1u << 29;

    explicit TimeOfDay(
        double seconds = 0.0, int decimals = 0, std::uint32_t defaultFormatFlags = 0, std::uint32_t valueFlags = 0);

    // Splits the value; returns the hours. Seconds that would be written as 60 become the next
    // minute, and the amount they were rounded up by is kept as the correction.
    int SetSeconds(double seconds);
    // The value again (hours modulo 24 with kHoursOfDay in the flags).
    double GetSeconds(std::uint32_t formatFlags) const;
    // Six decimals, the value split again for them.
    void SetMicrosecondResolution();
    void AddSeconds(double delta);

    // Writes the value to the stream, with the separators of the user (`locale`, by default the
    // process's LocaleInfo) and the decimal point of the stream's locale.
    void ToText(std::wostream& out, std::uint32_t formatFlags) const;
    void ToText(std::wostream& out, std::uint32_t formatFlags, const LocaleInfo& locale) const;
    // The text with the default format flags, numbers in the user's format (the built locale).
    String ToString() const;
    String ToString(const LocaleInfo& locale) const;

    double Seconds() const noexcept { return mSeconds; }
    int Minutes() const noexcept { return mMinutes; }
    int Hours() const noexcept { return mHours; }
    int Decimals() const noexcept { return mDecimals; }
    double Correction() const noexcept { return mCorrection; }
    bool Negative() const noexcept { return mNegative; }
    std::uint32_t ValueFlags() const noexcept { return mValueFlags; }
    std::uint32_t DefaultFormatFlags() const noexcept { return mDefaultFlags; }

private:
    bool SecondsOnly() const noexcept { return (mValueFlags & kSecondsOnly) != 0; }

    double mSeconds = 0.0;
    std::uint32_t mValueFlags = 0;
    std::uint32_t mDefaultFlags = 0;
    int mMinutes = 0;
    int mHours = 0;
    int mDecimals = 0;
    double mRoundingStep = 0.51;
    double mCorrection = 0.0;
    bool mNegative = false;
};

// The epoch constants, computed once.
struct EpochConstants {
    FILETIME mFileTime1970;
    FILETIME mFileTime1899; // 1899-12-30, day 0 of the spreadsheet and automation dates
    double mSeconds1899To1970;
    std::int64_t mJulianDay1970;
    std::int64_t mJulianDay1899;
    std::int64_t mSeconds1904To1970;
    std::uint64_t mTicks0001To1970; // 100-nanosecond ticks
};
const EpochConstants& Epochs();

} // namespace KEL
