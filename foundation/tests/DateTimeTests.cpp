#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <vector>

#include "foundation/DateTime.h"
#include "foundation/LocaleInfo.h"
#include "foundation/tests/LocaleFixture.h"
#include "locale/LocaleSettings.h"
#include "time/Clock.h"

namespace {

using KEL::String;
using testlocale::MakeLocale;

TEST(DateTimeTest, JulianDayNumbersOfKnownDates)
{
    struct Case {
        int month, day, year;
        std::int64_t jdn;
    };
    const Case cases[] = {
        { 1, 1, 2000, 2451545 },
        { 1, 1, 1970, 2440588 },
        { 12, 30, 1899, 2415019 },
        { 1, 1, 1, 1721426 },
        { 12, 31, 9999, 5373484 },
        { 2, 29, 2000, 2451604 },
        { 3, 1, 1900, 2415080 },
        { 2, 29, 1900, 0 },
        { 13, 1, 2000, 0 },
        { 4, 31, 2000, 0 },
        { 1, 0, 2000, 0 },
        { 1, 1, 0, 0 },
    };
    for (const Case& c : cases)
        EXPECT_EQ(KEL::JulianDayNumber(c.month, c.day, c.year), c.jdn) << c.year << "-" << c.month << "-" << c.day;
}

TEST(DateTimeTest, LeapYears)
{
    struct Case {
        int year;
        bool leap;
    };
    for (const Case& c : { Case { 2000, true }, Case { 1900, false }, Case { 2004, true }, Case { 2100, false },
             Case { 2023, false }, Case { 1600, true }, Case { 4, true }, Case { 9996, true } }) {
        EXPECT_EQ(KEL::IsValidDate(2, 29, c.year), c.leap) << c.year;
        EXPECT_TRUE(KEL::IsValidDate(2, 28, c.year));
    }
}

// Every day of the years 1 to 9999 against an independent day count (H. Hinnant's
// days_from_civil), and back through the inverse.
TEST(DateTimeTest, JulianDayRoundTripsForYears1To9999)
{
    for (int year = 1; year <= 9999; ++year)
        for (int month = 1; month <= 12; ++month) {
            const int days = static_cast<int>(vx::time::DaysInMonth(year, static_cast<unsigned>(month)));
            for (int day = 1; day <= days; ++day) {
                const std::int64_t jdn = KEL::JulianDayNumber(month, day, year);
                ASSERT_EQ(jdn,
                    vx::time::DaysFromCivil(year, static_cast<unsigned>(month), static_cast<unsigned>(day))
                        + KEL::kJulianDay1970)
                    << year << "-" << month << "-" << day;
                int m = 0, d = 0, y = 0;
                KEL::DateFromJulianDay(jdn, m, d, y);
                ASSERT_TRUE(m == month && d == day && y == year) << year << "-" << month << "-" << day;
            }
        }
}

vx::locale::Settings German()
{
    vx::locale::Settings s;
    s.mDecimalSeparator = L",";
    s.mThousandsSeparator = L".";
    s.mListSeparator = L";";
    s.mDateSeparator = L".";
    s.mShortDateFormat = L"dd.MM.yyyy";
    return s;
}

TEST(DateTimeTest, TimeOfDayRoundsCarriesAndUsesTheUsersClock)
{
    vx::locale::Settings twelve;
    twelve.mClock24 = false;
    twelve.mAmDesignator = L"AM";
    twelve.mPmDesignator = L"PM";
    vx::locale::Settings dots = German();
    dots.mTimeSeparator = L".";
    const auto clock24 = MakeLocale(vx::locale::Settings {});
    const auto clock12 = MakeLocale(twelve);
    const auto dotted = MakeLocale(dots);
    struct Case {
        double seconds;
        const KEL::LocaleInfo* locale;
        const wchar_t* text;
    };
    const Case cases[] = {
        { 3723.4, clock24.get(), L"1:02:03" },
        { 59.6, clock24.get(), L"0:01:00" }, // the carry reaches the minute
        { 30.5, clock24.get(), L"0:00:31" },
        { 30.4, clock24.get(), L"0:00:30" },
        { 30.491, clock24.get(), L"0:00:31" }, // the step is 0.49, not 0.5
        { 30.48, clock24.get(), L"0:00:30" },
        { 3599.5, clock24.get(), L"1:00:00" }, // and the hour
        { -90, clock24.get(), L"-0:01:30" },
        { -0.6, clock24.get(), L"-0:00:01" },
        { 90000, clock24.get(), L"1:00:00" }, // hours of the day
        { 0, clock24.get(), L"0:00:00" },
        { 13 * 3600, clock12.get(), L"1:00:00 PM" },
        { 0, clock12.get(), L"12:00:00 AM" },
        { 12 * 3600, clock12.get(), L"12:00:00 PM" },
        { 43199.6, clock12.get(), L"12:00:00 PM" }, // the carry moves the designator too
        { 11 * 3600 + 5 * 60 + 7, clock12.get(), L"11:05:07 AM" },
        { 3723.4, dotted.get(), L"1.02.03" },
    };
    for (const Case& c : cases) {
        String text;
        KEL::FormatTimeOfDay(c.seconds, text, *c.locale);
        EXPECT_EQ(text, c.text) << c.seconds << " gave " << text.Utf8();
    }
    String nan(L"x");
    KEL::FormatTimeOfDay(std::numeric_limits<double>::quiet_NaN(), nan, *clock24);
    EXPECT_TRUE(nan.IsEmpty());
}

TEST(DateTimeTest, DatesInTheUsersShortFormat)
{
    vx::locale::ScopedSettings scoped(German());
    const double y2000 = (2451545.0 - 2440588.0) * 86400.0;
    struct Case {
        double seconds;
        const wchar_t* text;
    };
    const Case cases[] = {
        { y2000, L"01.01.2000" },
        { y2000 - 0.5, L"01.01.2000" }, // half a second before midnight already counts as the next day
        { y2000 - 1.0, L"31.12.1999" },
        { y2000 + 59 * 86400.0 + 43200.0, L"29.02.2000" },
        { 365 * 86400.0, L"01.01.1971" },
        { 365 * 86400.0 - 1.0, L"" }, // 1970: no date
        { 0.0, L"" },
        { -86400.0 * 365 * 100, L"" },
        { (5373484.0 - 2440588.0) * 86400.0, L"31.12.9999" },
        { 1e12, L"" }, // beyond the dates the platform can write
        { std::numeric_limits<double>::infinity(), L"" },
    };
    for (const Case& c : cases) {
        String text(L"stale");
        KEL::FormatDate(c.seconds, text);
        EXPECT_EQ(text, c.text) << c.seconds << " gave " << text.Utf8();
    }
}

TEST(DateTimeTest, FormatInto32)
{
    wchar_t buffer[32];
    EXPECT_EQ(KEL::FormatInto32(buffer, L"%d:%02d", 7, 5), 4);
    EXPECT_STREQ(buffer, L"7:05");
    EXPECT_EQ(KEL::FormatInto32(buffer, L"%0*.*lf", 2, 0, 7.4), 2);
    EXPECT_STREQ(buffer, L"07");
    EXPECT_EQ(KEL::FormatInto32(buffer, L"%040d", 1), -1); // does not fit
}

// A clock whose local and UTC reads follow a script (the last entry repeats).
struct ScriptedClock : vx::time::FixedClock {
    SYSTEMTIME LocalTime() override
    {
        ++mLocalReads;
        return mLocals[std::min(mLocalReads, mLocals.size()) - 1];
    }
    SYSTEMTIME UniversalTime() override
    {
        ++mUtcReads;
        return mUtcs[std::min(mUtcReads, mUtcs.size()) - 1];
    }
    std::vector<SYSTEMTIME> mLocals, mUtcs;
    std::size_t mLocalReads = 0, mUtcReads = 0;
};

SYSTEMTIME At(WORD hour, WORD minute, WORD ms = 0, WORD day = 1)
{
    return SYSTEMTIME { 2000, 1, 6, day, hour, minute, 0, ms };
}

TEST(DateTimeTest, PreciseLocalTimeRepeatsUntilTheOffsetIsSettled)
{
    const double y2000 = (2451545.0 - 2440588.0) * 86400.0;
    struct Case {
        std::vector<SYSTEMTIME> locals, utcs;
        std::size_t passes;
        double local;
        std::int64_t offset;
    };
    const Case cases[] = {
        // steady: two reads agree
        { { At(1, 0, 250) }, { At(0, 0, 250) }, 2, y2000 + 3600.25, -3600 },
        // the offset changes after the first read: a third read confirms the second
        { { At(2, 59, 999), At(2, 0, 5) }, { At(0, 59, 999), At(1, 0, 5) }, 3, y2000 + 7200.005, -3600 },
        // it never settles: four reads, the last one counts
        { { At(3, 0), At(4, 0), At(3, 0), At(4, 0) }, { At(0, 0) }, 4, y2000 + 4 * 3600.0, -4 * 3600 },
        // west of UTC across midnight
        { { At(19, 0, 0, 1) }, { At(0, 30, 0, 2) }, 2, y2000 + 19 * 3600.0, 5 * 3600 + 30 * 60 },
    };
    for (const Case& c : cases) {
        ScriptedClock clock;
        clock.mLocals = c.locals;
        clock.mUtcs = c.utcs;
        clock.mCounter = 100;
        clock.mCounterStep = 10;
        vx::time::ScopedClock scoped(clock);
        double local = 0;
        std::int64_t offset = 0;
        const LONGLONG counter = KEL::GetPreciseLocalTime(local, offset);
        SCOPED_TRACE(testing::Message() << "case " << (&c - cases));
        EXPECT_EQ(clock.mLocalReads, c.passes);
        EXPECT_EQ(clock.mUtcReads, c.passes);
        EXPECT_DOUBLE_EQ(local, c.local);
        EXPECT_EQ(offset, c.offset);
        // The middle of the last pass's two counter readings.
        EXPECT_EQ(counter, 100 + static_cast<LONGLONG>(c.passes - 1) * 20 + 5);
    }
}

TEST(DateTimeTest, PreciseLocalTimeFallsBackToTheTickCount)
{
    for (bool counterWorks : { true, false }) {
        ScriptedClock clock;
        clock.mLocals = { At(0, 0) };
        clock.mUtcs = { At(0, 0) };
        clock.mCounterWorks = counterWorks;
        clock.mFrequency = 1000; // a millisecond counter is no better than the tick count
        clock.mCounter = 5'000'000;
        clock.mTicks = 7000;
        clock.mTickStep = 4;
        vx::time::ScopedClock scoped(clock);
        double local = 0;
        std::int64_t offset = -1;
        EXPECT_EQ(KEL::GetPreciseLocalTime(local, offset), 7000 + 8 + 2);
        EXPECT_EQ(offset, 0);
        EXPECT_EQ(clock.mCounter, 5'000'000); // never read
    }
}

} // namespace
