#include <gtest/gtest.h>

#include <memory>
#include <sstream>

#include "foundation/LocaleInfo.h"
#include "foundation/TimeOfDay.h"
#include "foundation/tests/LocaleFixture.h"
#include "locale/LocaleSettings.h"

namespace {

using KEL::String;
using KEL::TimeOfDay;
using testlocale::MakeLocale;

vx::locale::Settings German()
{
    vx::locale::Settings s;
    s.mDecimalSeparator = L",";
    s.mThousandsSeparator = L".";
    s.mListSeparator = L";";
    s.mDateSeparator = L".";
    return s;
}

TEST(TimeOfDayTest, SplitRoundsIntoTheNextMinuteAndGivesTheValueBack)
{
    struct Case {
        double value;
        int decimals;
        bool negative;
        int hours, minutes;
        double seconds, correction;
    };
    const Case cases[] = {
        { 59.9996, 3, false, 0, 1, 0.0, 0.0004 }, { -3725.5, 1, true, 1, 2, 5.5, 0.0 },
        { -59.9996, 3, true, 0, 1, 0.0, -0.0004 }, { 3599.7, 0, false, 1, 0, 0.0, 0.3 },
        { 3599.4, 0, false, 0, 59, 59.4, 0.0 }, { 59.9999996, 6, false, 0, 1, 0.0, 0.0000004 },
        { 7.5 * 86400, 0, false, 180, 0, 0.0, 0.0 }, // hours are not limited to a day
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(testing::Message() << c.value);
        TimeOfDay t(c.value, c.decimals);
        EXPECT_EQ(t.Negative(), c.negative);
        EXPECT_EQ(t.Hours(), c.hours);
        EXPECT_EQ(t.Minutes(), c.minutes);
        EXPECT_NEAR(t.Seconds(), c.seconds, 1e-9);
        EXPECT_NEAR(t.Correction(), c.correction, 1e-9);
        EXPECT_NEAR(t.GetSeconds(0), c.value, 1e-9);
    }
    TimeOfDay day(90000.0);
    EXPECT_DOUBLE_EQ(day.GetSeconds(TimeOfDay::kHoursOfDay), 3600.0);
}

TEST(TimeOfDayTest, AddSecondsCarriesAndChangesSign)
{
    struct Case {
        double start, delta;
        int decimals;
        double result;
        bool negative;
        int hours, minutes;
    };
    const Case cases[] = {
        { -0.5, 1.0, 1, 0.5, false, 0, 0 }, { 59.5, 1.0, 1, 60.5, false, 0, 1 },
        { 3599.0, 1.0, 0, 3600.0, false, 1, 0 }, { 30.0, -90.0, 0, -60.0, true, 0, 1 },
        { -3600.0, 7200.5, 1, 3600.5, false, 1, 0 },
        { 59.9996, 1.0, 3, 60.9996, false, 0, 1 }, // the correction is taken back out first
        { 58.0, 1.9997, 3, 59.9997, false, 0, 1 }, // and recorded again when the sum rounds up
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(testing::Message() << c.start << " + " << c.delta);
        TimeOfDay t(c.start, c.decimals);
        t.AddSeconds(c.delta);
        EXPECT_NEAR(t.GetSeconds(0), c.result, 1e-9);
        EXPECT_EQ(t.Negative(), c.negative);
        EXPECT_EQ(t.Hours(), c.hours);
        EXPECT_EQ(t.Minutes(), c.minutes);
    }
    TimeOfDay plain(5.0, 0, 0, TimeOfDay::kSecondsOnly);
    plain.AddSeconds(-7.25);
    EXPECT_DOUBLE_EQ(plain.GetSeconds(0), -2.25);
}

TEST(TimeOfDayTest, TextInEveryForm)
{
    const auto classic = MakeLocale(vx::locale::Settings {});
    const auto german = MakeLocale(German());
    vx::locale::Settings dotted;
    dotted.mTimeSeparator = L".";
    const auto dots = MakeLocale(dotted);
    constexpr std::uint32_t kCompactLetters = TimeOfDay::kCompact | TimeOfDay::kUnitLetters;
    struct Case {
        double value;
        int decimals;
        std::uint32_t flags;
        std::uint32_t valueFlags;
        const KEL::LocaleInfo* locale;
        const wchar_t* text;
    };
    const Case cases[] = {
        // The leading zero is decided after rounding.
        { 3729.96, 1, 0, 0, classic.get(), L"1:02:10" },
        { 3729.96, 1, TimeOfDay::kAlwaysHoursMinutes, 0, classic.get(), L"1:02:10.0" },
        { 3729.96, 1, TimeOfDay::kKeepTrailingZeros, 0, classic.get(), L"1:02:10.0" },
        { 3729.94, 1, 0, 0, classic.get(), L"1:02:09.9" },
        { 3723.25, 3, 0, 0, classic.get(), L"1:02:03.25" },
        { 3723.0, 3, TimeOfDay::kAlwaysHoursMinutes, 0, classic.get(), L"1:02:03.0" },
        { 3723.5, 1, 0, 0, german.get(), L"1:02:03,5" },
        { 3723.0, 0, 0, 0, dots.get(), L"1.02.03" },
        { 90000.0, 0, 0, 0, classic.get(), L"1:00:00" },
        { -90.0, 0, 0, 0, classic.get(), L"-0:01:30" },
        { -0.0000001, 3, 0, 0, classic.get(), L"0:00:00" },
        // Compact forms.
        { 3725.5, 1, kCompactLetters, 0, classic.get(), L"1h02m05.5s" },
        { 3730.0, 0, kCompactLetters, 0, classic.get(), L"1h02m10s" },
        { 65.0, 0, kCompactLetters, 0, classic.get(), L"1m05s" },
        { 65.0, 0, TimeOfDay::kCompact, 0, classic.get(), L"1:05" },
        { 5.5, 1, TimeOfDay::kCompact | TimeOfDay::kUnitSuffix, 0, classic.get(), L"5.5 s" },
        { 90000.0, 0, TimeOfDay::kCompact, 0, classic.get(), L"25:00:00" },
        { -5.5, 1, TimeOfDay::kCompact, 0, classic.get(), L"-5.5" },
        // The 12-hour clock.
        { 13 * 3600.0, 0, TimeOfDay::kTwelveHour, 0, classic.get(), L"1:00:00 PM" },
        { 0.0, 0, TimeOfDay::kTwelveHour, 0, classic.get(), L"12:00:00 AM" },
        { 12 * 3600.0 - 0.4, 0, TimeOfDay::kTwelveHour, 0, classic.get(), L"12:00:00 PM" },
        { 13 * 3600.0, 0, TimeOfDay::kTwelveHour | TimeOfDay::kCompact, 0, classic.get(), L"13:00:00" },
        // Milliseconds, plain seconds, seconds only, universal time.
        { 1.2345, 1, TimeOfDay::kUnitSuffix, TimeOfDay::kMilliseconds, classic.get(), L"1234.5 ms" },
        { 1.5, 0, 0, TimeOfDay::kMilliseconds | 3, classic.get(), L"0:00:02" },
        { 3723.25, 2, TimeOfDay::kUnitSuffix, TimeOfDay::kPlainSeconds, classic.get(), L"3723.25 s" },
        { 12.0, 3, 0, TimeOfDay::kSecondsOnly, classic.get(), L"12.0" },
        { 12.5, 3, 0, TimeOfDay::kSecondsOnly, german.get(), L"12,5" },
        { 3600.0, 0, TimeOfDay::kShowUT, TimeOfDay::kUniversalTime, classic.get(), L"1:00:00 UT" },
        { 3600.0, 0, TimeOfDay::kShowUT | TimeOfDay::kCompact, TimeOfDay::kUniversalTime, classic.get(), L"1:00:00" },
        { 3600.0, 0, TimeOfDay::kShowUT, 0, classic.get(), L"1:00:00" },
    };
    for (const Case& c : cases) {
        TimeOfDay t(c.value, c.decimals, c.flags, c.valueFlags);
        String text = t.ToString(*c.locale);
        EXPECT_EQ(text, c.text) << "case " << (&c - cases) << " gave " << text.Utf8();
    }
}

TEST(TimeOfDayTest, ToTextUsesTheTargetStreamsDecimalPoint)
{
    const auto german = MakeLocale(German());
    TimeOfDay t(3723.5, 1);
    std::wostringstream plain;
    t.ToText(plain, 0, *german);
    EXPECT_EQ(plain.str(), L"1:02:03.5"); // a plain stream keeps the classic format
    std::wostringstream user;
    user.imbue(german->mLocale);
    t.ToText(user, 0, *german);
    EXPECT_EQ(user.str(), L"1:02:03,5");
}

TEST(TimeOfDayTest, MicrosecondResolution)
{
    const auto classic = MakeLocale(vx::locale::Settings {});
    TimeOfDay t(3723.000123, 0);
    EXPECT_EQ(t.ToString(*classic), L"1:02:03");
    t.SetMicrosecondResolution();
    EXPECT_EQ(t.Decimals(), 6);
    EXPECT_EQ(t.ToString(*classic), L"1:02:03.000123");

    TimeOfDay carry(59.9999996, 6);
    EXPECT_EQ(carry.ToString(*classic), L"0:01:00");

    // With hours of the day in the default flags the value is folded into one day.
    TimeOfDay day(90000.25, 0, TimeOfDay::kHoursOfDay);
    day.SetMicrosecondResolution();
    EXPECT_NEAR(day.GetSeconds(0), 3600.25, 1e-9);
}

TEST(TimeOfDayTest, EpochConstants)
{
    const KEL::EpochConstants& e = KEL::Epochs();
    EXPECT_EQ(vx::time::Ticks(e.mFileTime1970), 116444736000000000ull);
    EXPECT_EQ(vx::time::Ticks(e.mFileTime1899), 94353120000000000ull);
    EXPECT_DOUBLE_EQ(e.mSeconds1899To1970, 2209161600.0);
    EXPECT_EQ(e.mJulianDay1970, 2440588);
    EXPECT_EQ(e.mJulianDay1899, 2415019);
    EXPECT_EQ(e.mSeconds1904To1970, 2082844800);
    EXPECT_EQ(e.mTicks0001To1970, 621355968000000000ull);
    EXPECT_EQ(&KEL::Epochs(), &e);
}

} // namespace
