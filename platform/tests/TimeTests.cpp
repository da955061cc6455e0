#include <gtest/gtest.h>

#include <cstdlib>
#include <ctime>
#include <string>

#include "time/Clock.h"

namespace {

SYSTEMTIME Date(WORD y, WORD m, WORD d, WORD h = 0, WORD mi = 0, WORD s = 0, WORD ms = 0)
{
    SYSTEMTIME t;
    t.wYear = y;
    t.wMonth = m;
    t.wDay = d;
    t.wHour = h;
    t.wMinute = mi;
    t.wSecond = s;
    t.wMilliseconds = ms;
    return t;
}

TEST(FileTimeTest, KnownInstantsAndRoundTrips)
{
    struct Case {
        SYSTEMTIME time;
        std::uint64_t ticks;
        WORD weekDay;
    };
    const Case cases[] = {
        { Date(1601, 1, 1), 0, 1 },
        { Date(1970, 1, 1), 116444736000000000ull, 4 },
        { Date(1899, 12, 30), 94353120000000000ull, 6 },
        { Date(2000, 2, 29, 12, 34, 56, 789), 125963012967890000ull, 2 },
        { Date(1900, 3, 1), 94405824000000000ull, 4 },
        { Date(9999, 12, 31, 23, 59, 59, 999), 2650467743999990000ull, 5 },
        { Date(30827, 12, 31, 23, 59, 59, 999), 9223149887999990000ull, 5 },
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(testing::Message() << c.time.wYear << "-" << c.time.wMonth << "-" << c.time.wDay);
        FILETIME ft;
        ASSERT_EQ(SystemTimeToFileTime(&c.time, &ft), 1);
        EXPECT_EQ(vx::time::Ticks(ft), c.ticks);
        SYSTEMTIME back;
        ASSERT_EQ(FileTimeToSystemTime(&ft, &back), 1);
        EXPECT_EQ(back.wYear, c.time.wYear);
        EXPECT_EQ(back.wMonth, c.time.wMonth);
        EXPECT_EQ(back.wDay, c.time.wDay);
        EXPECT_EQ(back.wHour, c.time.wHour);
        EXPECT_EQ(back.wMinute, c.time.wMinute);
        EXPECT_EQ(back.wSecond, c.time.wSecond);
        EXPECT_EQ(back.wMilliseconds, c.time.wMilliseconds);
        EXPECT_EQ(back.wDayOfWeek, c.weekDay);
    }
}

TEST(FileTimeTest, EveryDayOfFourCenturiesRoundTrips)
{
    // 1601-2001 covers every leap-year rule; each day must map to the next tick day.
    std::uint64_t expected = 0;
    for (WORD y = 1601; y <= 2001; ++y)
        for (WORD m = 1; m <= 12; ++m)
            for (WORD d = 1; d <= vx::time::DaysInMonth(y, m); ++d) {
                SYSTEMTIME t = Date(y, m, d);
                FILETIME ft;
                ASSERT_EQ(SystemTimeToFileTime(&t, &ft), 1);
                ASSERT_EQ(vx::time::Ticks(ft), expected) << y << "-" << m << "-" << d;
                expected += 864000000000ull;
            }
}

TEST(FileTimeTest, InvalidInputsFail)
{
    const SYSTEMTIME bad[] = {
        Date(1900, 2, 29),
        Date(2001, 2, 29),
        Date(2000, 13, 1),
        Date(2000, 0, 1),
        Date(2000, 4, 31),
        Date(1600, 12, 31),
        Date(2000, 1, 0),
        Date(2000, 1, 1, 24),
        Date(2000, 1, 1, 0, 60),
        Date(2000, 1, 1, 0, 0, 60),
        Date(2000, 1, 1, 0, 0, 0, 1000),
    };
    for (const SYSTEMTIME& t : bad) {
        FILETIME ft;
        EXPECT_EQ(SystemTimeToFileTime(&t, &ft), 0) << t.wYear << "-" << t.wMonth << "-" << t.wDay << " " << t.wHour;
    }
    FILETIME tooLate = vx::time::FromTicks(0x8000000000000000ull);
    SYSTEMTIME out;
    EXPECT_EQ(FileTimeToSystemTime(&tooLate, &out), 0);
    EXPECT_EQ(FileTimeToSystemTime(nullptr, &out), 0);
    EXPECT_EQ(SystemTimeToFileTime(nullptr, &tooLate), 0);
}

TEST(ClockTest, InjectedClockFeedsEveryCallAndIsRemovedWithItsScope)
{
    vx::time::FixedClock fixed;
    fixed.mFileTime = 125963828967890000ull;
    fixed.mLocal = Date(2000, 2, 29, 13, 34, 56, 789);
    fixed.mUniversal = Date(2000, 2, 29, 12, 34, 56, 789);
    fixed.mCounter = 1000;
    fixed.mCounterStep = 7;
    fixed.mFrequency = 3'579'545;
    fixed.mTicks = 0xFFFFFFFFu;
    fixed.mZone.Bias = -60;
    fixed.mZone.DaylightBias = -60;
    fixed.mZoneId = TIME_ZONE_ID_STANDARD;
    {
        vx::time::ScopedClock scoped(fixed);
        FILETIME ft;
        GetSystemTimeAsFileTime(&ft);
        EXPECT_EQ(vx::time::Ticks(ft), fixed.mFileTime);
        SYSTEMTIME local, utc;
        GetLocalTime(&local);
        GetSystemTime(&utc);
        EXPECT_EQ(local.wHour, 13);
        EXPECT_EQ(utc.wHour, 12);
        LARGE_INTEGER before, after, frequency;
        EXPECT_TRUE(QueryPerformanceCounter(&before));
        EXPECT_TRUE(QueryPerformanceCounter(&after));
        EXPECT_EQ(before.QuadPart, 1000);
        EXPECT_EQ(after.QuadPart, 1007);
        EXPECT_TRUE(QueryPerformanceFrequency(&frequency));
        EXPECT_EQ(frequency.QuadPart, 3'579'545);
        EXPECT_EQ(GetTickCount(), 0xFFFFFFFFu);
        EXPECT_EQ(GetTickCount(), 0u); // wraps
        TIME_ZONE_INFORMATION zone;
        EXPECT_EQ(GetTimeZoneInformation(&zone), TIME_ZONE_ID_STANDARD);
        EXPECT_EQ(zone.Bias, -60);

        fixed.mCounterWorks = false;
        EXPECT_FALSE(QueryPerformanceFrequency(&frequency));
    }
    EXPECT_EQ(&vx::time::CurrentClock(), &vx::time::SystemClock());
    EXPECT_EQ(GetTimeZoneInformation(nullptr), TIME_ZONE_ID_INVALID);
    EXPECT_FALSE(QueryPerformanceCounter(nullptr));
}

TEST(ClockTest, SystemClockAgreesWithTheCLibrary)
{
    FILETIME ft;
    std::time_t before = std::time(nullptr);
    GetSystemTimeAsFileTime(&ft);
    SYSTEMTIME utc;
    GetSystemTime(&utc);
    std::time_t after = std::time(nullptr);
    std::int64_t seconds = static_cast<std::int64_t>((vx::time::Ticks(ft) - vx::time::kUnixEpochTicks) / 10'000'000);
    // time() reads the coarse kernel clock, which may lag the precise one by a few milliseconds
    // across a second boundary: allow one second of slack on the upper side.
    EXPECT_GE(seconds, before);
    EXPECT_LE(seconds, after + 1);

    SYSTEMTIME fromFileTime;
    ASSERT_EQ(FileTimeToSystemTime(&ft, &fromFileTime), 1);
    FILETIME utcAsFileTime;
    ASSERT_EQ(SystemTimeToFileTime(&utc, &utcAsFileTime), 1);
    EXPECT_LT(vx::time::Ticks(utcAsFileTime) - vx::time::Ticks(ft) + 10'000'000, 30'000'000u);

    LARGE_INTEGER c1, c2, f;
    ASSERT_TRUE(QueryPerformanceFrequency(&f));
    EXPECT_GT(f.QuadPart, 1000);
    ASSERT_TRUE(QueryPerformanceCounter(&c1));
    ASSERT_TRUE(QueryPerformanceCounter(&c2));
    EXPECT_LE(c1.QuadPart, c2.QuadPart);
}

// The zone is read from the TZ rules; a POSIX TZ string needs no zone database.
class TimeZoneTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        const char* tz = std::getenv("TZ");
        mHadTz = tz != nullptr;
        if (tz)
            mOldTz = tz;
    }
    void TearDown() override
    {
        if (mHadTz)
            setenv("TZ", mOldTz.c_str(), 1);
        else
            unsetenv("TZ");
        tzset();
    }
    static void Use(const char* tz)
    {
        setenv("TZ", tz, 1);
        tzset();
    }
    bool mHadTz = false;
    std::string mOldTz;
};

TEST_F(TimeZoneTest, BiasAndDaylightBiasFollowTheRules)
{
    TIME_ZONE_INFORMATION zone;
    Use("UTC0");
    EXPECT_EQ(GetTimeZoneInformation(&zone), TIME_ZONE_ID_UNKNOWN);
    EXPECT_EQ(zone.Bias, 0);
    EXPECT_EQ(zone.DaylightBias, 0);

    Use("IST-5:30");
    EXPECT_EQ(GetTimeZoneInformation(&zone), TIME_ZONE_ID_UNKNOWN);
    EXPECT_EQ(zone.Bias, -330);

    // Which of the two is in force depends on the day the test runs.
    Use("CET-1CEST,M3.5.0,M10.5.0/3");
    DWORD id = GetTimeZoneInformation(&zone);
    EXPECT_TRUE(id == TIME_ZONE_ID_STANDARD || id == TIME_ZONE_ID_DAYLIGHT);
    EXPECT_EQ(zone.Bias, -60);
    EXPECT_EQ(zone.DaylightBias, -60);

    // Local minus UTC as the clock reads them matches the zone's offset in force.
    SYSTEMTIME local, utc;
    GetLocalTime(&local);
    GetSystemTime(&utc);
    FILETIME lf, uf;
    ASSERT_EQ(SystemTimeToFileTime(&local, &lf), 1);
    ASSERT_EQ(SystemTimeToFileTime(&utc, &uf), 1);
    double minutes
        = (static_cast<double>(vx::time::Ticks(lf)) - static_cast<double>(vx::time::Ticks(uf))) / 600'000'000.0;
    long expected = -(zone.Bias + (id == TIME_ZONE_ID_DAYLIGHT ? zone.DaylightBias : 0));
    EXPECT_NEAR(minutes, expected, 0.5);

    Use("EST5EDT,M3.2.0,M11.1.0");
    GetTimeZoneInformation(&zone);
    EXPECT_EQ(zone.Bias, 300);
    EXPECT_EQ(zone.DaylightBias, -60);
}

} // namespace
