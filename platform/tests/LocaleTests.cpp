#include <gtest/gtest.h>

#include <clocale>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <locale>
#include <string>

#include "locale/LocaleSettings.h"
#include "time/Clock.h"

// glibc keeps the LOCPATH list of a locale loaded from it for the life of the process; that
// allocation is the C library's, not ours.
extern "C" const char* __lsan_default_suppressions()
{
    return "leak:argz_add_sep\n";
}

namespace {

using vx::locale::DateOrder;
using vx::locale::Settings;

TEST(LocaleSettingsTest, ClassicLocaleReadsAsTheDefaults)
{
    for (const char* name : { "C", "POSIX" }) {
        std::optional<Settings> s = vx::locale::ReadSettings(name);
        ASSERT_TRUE(s) << name;
        EXPECT_EQ(s->mDecimalSeparator, L".");
        EXPECT_EQ(s->mThousandsSeparator, L"");
        EXPECT_EQ(s->mTimeSeparator, L":");
        EXPECT_EQ(s->mDateSeparator, L"/");
        EXPECT_EQ(s->mListSeparator, L",");
        EXPECT_EQ(s->mShortDateFormat, L"MM/dd/yy");
        EXPECT_EQ(s->mTimeFormat, L"HH:mm:ss");
        EXPECT_EQ(s->mDateOrder, DateOrder::MonthDayYear);
        EXPECT_TRUE(s->mClock24);
        EXPECT_FALSE(s->mDesignatorBeforeTime);
        EXPECT_EQ(s->mDayNames[0], L"Sunday");
        EXPECT_EQ(s->mAbbrevMonthNames[11], L"Dec");
        EXPECT_EQ(*s, Settings {}); // the built-in defaults are the classic locale's
    }
    EXPECT_FALSE(vx::locale::ReadSettings("xx_NOWHERE.UTF-8"));
}

TEST(LocaleSettingsTest, FormatsOfTheLocaleDataBecomePicturesAndOrders)
{
    struct Case {
        const wchar_t* date;
        const wchar_t* time;
        const wchar_t* time12;
        const wchar_t* shortDate;
        const wchar_t* timeFormat;
        const wchar_t* dateSeparator;
        const wchar_t* timeSeparator;
        DateOrder order;
        bool clock24;
        bool designatorFirst;
    };
    const Case cases[] = {
        { L"%d.%m.%Y", L"%T", L"", L"dd.MM.yyyy", L"HH:mm:ss", L".", L":", DateOrder::DayMonthYear, true, false },
        { L"%m/%d/%Y", L"%r", L"%I:%M:%S %p", L"MM/dd/yyyy", L"hh:mm:ss tt", L"/", L":", DateOrder::MonthDayYear, false,
            false },
        { L"%F", L"%H.%M.%S", L"", L"yyyy-MM-dd", L"HH.mm.ss", L"-", L".", DateOrder::YearMonthDay, true, false },
        { L"%Y. %m. %d.", L"%H:%M:%S", L"", L"yyyy. MM. dd.", L"HH:mm:ss", L". ", L":", DateOrder::YearMonthDay, true,
            false },
        { L"%-d/%-m/%y", L"%-H:%M", L"", L"d/M/yy", L"H:mm", L"/", L":", DateOrder::DayMonthYear, true, false },
        { L"%Y\uB144 %m\uC6D4 %d\uC77C", L"%p %I\uC2DC %M\uBD84 %S\uCD08", L"", L"yyyy\uB144 MM\uC6D4 dd\uC77C",
            L"tt hh\uC2DC mm\uBD84 ss\uCD08", L"\uB144 ", L"\uC2DC ", DateOrder::YearMonthDay, false, true },
        { L"%e %B %Y", L"%l:%M %p", L"", L"d MMMM yyyy", L"h:mm tt", L" ", L":", DateOrder::DayMonthYear, false,
            false },
        { L"%d de %b", L"%Hh%M", L"", L"dd 'd'e MMM", L"HH'h'mm", L" de ", L"h", DateOrder::DayMonthYear, true, false },
    };
    for (const Case& c : cases) {
        Settings s;
        vx::locale::ApplyStrftimeFormats(s, c.date, c.time, c.time12);
        SCOPED_TRACE(testing::Message() << "date format index " << (&c - cases));
        EXPECT_EQ(s.mShortDateFormat, c.shortDate);
        EXPECT_EQ(s.mTimeFormat, c.timeFormat);
        EXPECT_EQ(s.mDateSeparator, c.dateSeparator);
        EXPECT_EQ(s.mTimeSeparator, c.timeSeparator);
        EXPECT_EQ(s.mDateOrder, c.order);
        EXPECT_EQ(s.mClock24, c.clock24);
        EXPECT_EQ(s.mDesignatorBeforeTime, c.designatorFirst);
    }
}

// Real locales, compiled from the system's locale sources into a folder of the test's own (the
// machine may have none installed). Skipped where localedef or the sources are missing.
TEST(LocaleSettingsTest, CompiledLocalesReadWithoutTouchingTheProcessLocale)
{
    namespace fs = std::filesystem;
    if (std::system("command -v localedef >/dev/null 2>&1") != 0 || !fs::exists("/usr/share/i18n/locales/de_DE"))
        GTEST_SKIP() << "no localedef or locale sources";
    fs::path dir = fs::temp_directory_path() / ("vx-locales-" + std::to_string(::getpid()));
    fs::create_directories(dir);
    std::string command;
    for (const char* name : { "de_DE", "en_US" })
        command += "localedef -i " + std::string(name) + " -f UTF-8 '" + (dir / name).string()
            + ".UTF-8' >/dev/null 2>&1; ";
    std::system(command.c_str());
    if (!fs::exists(dir / "de_DE.UTF-8") || !fs::exists(dir / "en_US.UTF-8")) {
        fs::remove_all(dir);
        GTEST_SKIP() << "localedef could not compile the locales";
    }
    const char* oldPath = std::getenv("LOCPATH");
    std::string savedPath = oldPath ? oldPath : "";
    setenv("LOCPATH", dir.c_str(), 1);
    const std::string cBefore = std::setlocale(LC_ALL, nullptr);
    const std::string globalBefore = std::locale().name();

    std::optional<Settings> de = vx::locale::ReadSettings("de_DE.UTF-8");
    std::optional<Settings> en = vx::locale::ReadSettings("en_US.UTF-8");

    if (oldPath)
        setenv("LOCPATH", savedPath.c_str(), 1);
    else
        unsetenv("LOCPATH");
    fs::remove_all(dir);

    ASSERT_TRUE(de);
    EXPECT_EQ(de->mDecimalSeparator, L",");
    EXPECT_EQ(de->mThousandsSeparator, L".");
    EXPECT_EQ(de->mListSeparator, L";");
    EXPECT_EQ(de->mDateSeparator, L".");
    EXPECT_EQ(de->mShortDateFormat, L"dd.MM.yyyy");
    EXPECT_EQ(de->mDateOrder, DateOrder::DayMonthYear);
    EXPECT_TRUE(de->mClock24);
    EXPECT_EQ(de->mDayNames[0], L"Sonntag");
    EXPECT_EQ(de->mMonthNames[2], L"M\u00E4rz");

    ASSERT_TRUE(en);
    EXPECT_EQ(en->mDecimalSeparator, L".");
    EXPECT_EQ(en->mThousandsSeparator, L",");
    EXPECT_EQ(en->mDateOrder, DateOrder::MonthDayYear);
    EXPECT_FALSE(en->mClock24);
    EXPECT_EQ(en->mTimeFormat, L"hh:mm:ss tt");
    EXPECT_EQ(en->mAmDesignator, L"AM");
    EXPECT_EQ(en->mPmDesignator, L"PM");

    EXPECT_EQ(std::setlocale(LC_ALL, nullptr), cBefore);
    EXPECT_EQ(std::locale().name(), globalBefore);
}

Settings German()
{
    Settings s;
    s.mDecimalSeparator = L",";
    s.mThousandsSeparator = L".";
    s.mListSeparator = L";";
    s.mDateSeparator = L".";
    s.mShortDateFormat = L"dd.MM.yyyy";
    s.mLongDateFormat = L"dddd, d. MMMM yyyy";
    s.mDateOrder = DateOrder::DayMonthYear;
    s.mDayNames = { L"Sonntag", L"Montag", L"Dienstag", L"Mittwoch", L"Donnerstag", L"Freitag", L"Samstag" };
    s.mMonthNames[1] = L"Februar";
    s.mMonthNames[2] = L"M\u00E4rz";
    s.mAmDesignator = L"";
    s.mPmDesignator = L"";
    return s;
}

TEST(LocaleCallsTest, GetLocaleInfoAnswersFromTheSettingsInForce)
{
    vx::locale::ScopedSettings scoped(German());
    struct Case {
        LCTYPE type;
        const wchar_t* text;
    };
    const Case cases[] = {
        { LOCALE_SDECIMAL, L"," },
        { LOCALE_STHOUSAND, L"." },
        { LOCALE_SLIST, L";" },
        { LOCALE_SDATE, L"." },
        { LOCALE_STIME, L":" },
        { LOCALE_S1159, L"" },
        { LOCALE_SSHORTDATE, L"dd.MM.yyyy" },
        { LOCALE_STIMEFORMAT, L"HH:mm:ss" },
        { LOCALE_IDATE, L"1" },
        { LOCALE_ITIME, L"1" },
        { LOCALE_ITIMEMARKPOSN, L"0" },
        { LOCALE_SDAYNAME1, L"Montag" },
        { LOCALE_SDAYNAME1 + 6, L"Sonntag" },
        { LOCALE_SMONTHNAME1 + 2, L"M\u00E4rz" },
        { LOCALE_SABBREVMONTHNAME1, L"Jan" },
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(testing::Message() << "type " << c.type);
        int needed = GetLocaleInfoW(LOCALE_USER_DEFAULT, c.type, nullptr, 0);
        ASSERT_EQ(needed, static_cast<int>(std::wcslen(c.text)) + 1);
        std::wstring buffer(static_cast<std::size_t>(needed), L'?');
        ASSERT_EQ(GetLocaleInfoW(LOCALE_USER_DEFAULT, c.type, buffer.data(), needed), needed);
        EXPECT_EQ(std::wstring(buffer.c_str()), c.text);
        if (needed > 1) {
            EXPECT_EQ(GetLocaleInfoW(LOCALE_USER_DEFAULT, c.type, buffer.data(), needed - 1), 0);
        }
    }
    wchar_t buffer[8];
    EXPECT_EQ(GetLocaleInfoW(LOCALE_USER_DEFAULT, 9999, buffer, 8), 0);
    EXPECT_EQ(GetLocaleInfoW(0x409, LOCALE_SDECIMAL, buffer, 8), 0);
    EXPECT_EQ(GetLocaleInfoW(LOCALE_USER_DEFAULT, LOCALE_SDECIMAL, nullptr, 8), 0);

    char narrow[8];
    ASSERT_EQ(GetLocaleInfoA(LOCALE_USER_DEFAULT, LOCALE_SMONTHNAME1 + 2, narrow, 8), 6);
    EXPECT_STREQ(narrow, "M\xC3\xA4rz");
}

TEST(LocaleCallsTest, InjectionIsScopedAndTheUsersSettingsComeBack)
{
    const std::shared_ptr<const Settings> user = vx::locale::Current();
    std::optional<Settings> read = vx::locale::ReadSettings("");
    ASSERT_EQ(static_cast<bool>(user), static_cast<bool>(read));
    if (user) {
        EXPECT_EQ(*user, *read);
    }
    {
        vx::locale::ScopedSettings outer(German());
        {
            Settings other;
            other.mDecimalSeparator = L"\u066B";
            vx::locale::ScopedSettings inner(other);
            EXPECT_EQ(vx::locale::Current()->mDecimalSeparator, L"\u066B");
        }
        EXPECT_EQ(vx::locale::Current()->mDecimalSeparator, L",");
    }
    EXPECT_EQ(vx::locale::Current(), user);
}

TEST(LocaleCallsTest, GetDateFormatWritesPicturesWithTheSettingsNames)
{
    vx::locale::ScopedSettings scoped(German());
    SYSTEMTIME leapDay { 2000, 2, 0, 29, 0, 0, 0, 0 }; // day of week deliberately wrong: computed
    struct Case {
        DWORD flags;
        const wchar_t* picture;
        const wchar_t* text;
    };
    const Case cases[] = {
        { DATE_SHORTDATE, nullptr, L"29.02.2000" },
        { DATE_LONGDATE, nullptr, L"Dienstag, 29. Februar 2000" },
        { 0, L"d/M/y", L"29/2/0" },
        { 0, L"ddd MMM yy", L"Tue Feb 00" },
        { 0, L"'day' d 'of' MMMM', ''yy''' ''yy", L"day 29 of Februar, 'yy' '00" },
        { 0, L"yyyyy gg", L"2000 " },
    };
    for (const Case& c : cases) {
        wchar_t buffer[64];
        int n = GetDateFormatW(LOCALE_USER_DEFAULT, c.flags, &leapDay, c.picture, buffer, 64);
        ASSERT_EQ(n, static_cast<int>(std::wcslen(c.text)) + 1) << (c.picture ? "picture" : "flags");
        EXPECT_STREQ(buffer, c.text);
    }

    wchar_t buffer[64];
    SYSTEMTIME invalid { 1900, 2, 0, 29, 0, 0, 0, 0 };
    EXPECT_EQ(GetDateFormatW(LOCALE_USER_DEFAULT, DATE_SHORTDATE, &invalid, nullptr, buffer, 64), 0);
    EXPECT_EQ(GetDateFormatW(LOCALE_USER_DEFAULT, DATE_SHORTDATE, &leapDay, L"d", buffer, 64), 0);
    EXPECT_EQ(GetDateFormatW(LOCALE_USER_DEFAULT, DATE_SHORTDATE, &leapDay, nullptr, buffer, 5), 0);

    // No date: today's, from the clock in force.
    vx::time::FixedClock clock;
    clock.mLocal = SYSTEMTIME { 1999, 12, 5, 31, 23, 59, 59, 999 };
    vx::time::ScopedClock scopedClock(clock);
    ASSERT_EQ(GetDateFormatW(LOCALE_USER_DEFAULT, DATE_SHORTDATE, nullptr, nullptr, buffer, 64), 11);
    EXPECT_STREQ(buffer, L"31.12.1999");
}

} // namespace
