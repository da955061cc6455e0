#include <gtest/gtest.h>

#include <ctime>
#include <locale>
#include <sstream>
#include <string>
#include <vector>

#include "foundation/LocaleInfo.h"
#include "foundation/TimeGet.h"
#include "locale/LocaleSettings.h"
#include "log/Log.h"
#include "res/Resource.h"

namespace {

using KEL::LocaleInfo;
using KEL::String;
using vx::locale::Settings;

// The host's texts for the build's messages, marked so a test sees which one was shown.
const vx::res::StringTableRegistrar kHostTexts(MAKELANGID(LANG_NEUTRAL, SUBLANG_NEUTRAL),
    {
        { 20007, L"VARN settings" },
        { 20008, L"read failed" },
        { 20009, L"date separator" },
        { 20010, L"list separator" },
        { 20011, L"unusual:%1 (100%%)" },
        { 20012, L"wide lost" },
        { 20013, L"narrow lost" },
    });

Settings German()
{
    Settings s;
    s.mDecimalSeparator = L",";
    s.mThousandsSeparator = L".";
    s.mListSeparator = L";";
    s.mDateSeparator = L".";
    s.mShortDateFormat = L"dd.MM.yyyy";
    s.mDateOrder = vx::locale::DateOrder::DayMonthYear;
    s.mMonthNames = { L"Januar", L"Februar", L"M\u00E4rz", L"April", L"Mai", L"Juni", L"Juli", L"August", L"September",
        L"Oktober", L"November", L"Dezember" };
    s.mAbbrevMonthNames
        = { L"Jan", L"Feb", L"M\u00E4r", L"Apr", L"Mai", L"Jun", L"Jul", L"Aug", L"Sep", L"Okt", L"Nov", L"Dez" };
    s.mDayNames = { L"Sonntag", L"Montag", L"Dienstag", L"Mittwoch", L"Donnerstag", L"Freitag", L"Samstag" };
    s.mAbbrevDayNames = { L"So", L"Mo", L"Di", L"Mi", L"Do", L"Fr", L"Sa" };
    return s;
}

// Builds a record under the given settings and collects what the warning handler was shown.
struct Built {
    explicit Built(Settings settings)
    {
        vx::locale::ScopedSettings scoped(std::move(settings));
        KEL::LocaleWarningHandler previous
            = KEL::SetLocaleWarningHandler([this](const String& text, const String& caption) {
                  mShown.push_back(caption.ToWString() + L"|" + text.ToWString());
              });
        mInfo = std::make_unique<LocaleInfo>();
        KEL::SetLocaleWarningHandler(std::move(previous));
    }
    std::unique_ptr<LocaleInfo> mInfo;
    std::vector<std::wstring> mShown;
};

TEST(LocaleInfoTest, SettingsAreReadIntoTheRecord)
{
    Settings s = German();
    s.mClock24 = false;
    s.mDesignatorBeforeTime = true;
    s.mAmDesignator = L"vorm.";
    Built built(s);
    const LocaleInfo& info = *built.mInfo;
    EXPECT_TRUE(info.mBuilt);
    EXPECT_STREQ(info.mDecimalSeparatorA, ",");
    EXPECT_STREQ(info.mDecimalSeparator, L",");
    EXPECT_STREQ(info.mThousandsSeparator, L".");
    EXPECT_STREQ(info.mListSeparator, L";");
    EXPECT_STREQ(info.mDateSeparator, L".");
    EXPECT_STREQ(info.mTimeSeparator, L":");
    EXPECT_STREQ(info.mAMDesignator, L"vorm.");
    EXPECT_EQ(info.mShortDateFormat, L"dd.MM.yyyy");
    EXPECT_EQ(info.mTimeFormat, L"HH:mm:ss");
    EXPECT_EQ(info.mDateOrder, LocaleInfo::kDayMonthYear);
    EXPECT_FALSE(info.mClock24);
    EXPECT_TRUE(info.mAMPMBeforeTime);
    EXPECT_TRUE(built.mShown.empty());
    EXPECT_TRUE(info.mWarning.IsEmpty());
}

// The built locale is handed to the streams that show numbers; the process's global locale and
// every plain stream keep the classic format.
TEST(LocaleInfoTest, BuiltLocaleWritesTheUsersSeparatorOnlyWhereImbued)
{
    const std::string globalBefore = std::locale().name();
    Built built(German());
    std::wostringstream plain;
    plain << 1234.5 << L' ' << 1234567;
    EXPECT_EQ(plain.str(), L"1234.5 1234567");

    std::wostringstream user;
    user.imbue(built.mInfo->mLocale);
    user << 1234.5 << L' ' << 1234567;
    EXPECT_EQ(user.str(), L"1234,5 1234567"); // no grouping

    std::ostringstream narrow;
    narrow.imbue(built.mInfo->mLocale);
    narrow << 0.25;
    EXPECT_EQ(narrow.str(), "0,25");

    std::wistringstream in(L"2,75");
    in.imbue(built.mInfo->mLocale);
    double read = 0;
    in >> read;
    EXPECT_DOUBLE_EQ(read, 2.75);

    EXPECT_EQ(std::locale().name(), globalBefore);
    EXPECT_TRUE(std::has_facet<KEL::time_getEx>(built.mInfo->mLocale));
}

TEST(LocaleInfoTest, SeparatorChecksShowTheLastWarningThatFired)
{
    struct Case {
        const wchar_t* decimal;
        const wchar_t* date;
        const wchar_t* list;
        const wchar_t* shown; // empty: nothing shown
    };
    const Case cases[] = {
        { L".", L"/", L",", L"" },
        { L",", L".", L";", L"" },
        { L",", L",", L";", L"date separator" },
        { L",", L",", L",", L"list separator" },
        { L"'", L"/", L",", L"unusual: 27 (100%)" },
        { L"\u066B", L"/", L",", L"narrow lost" },
        { L", ", L"/", L";", L"wide lost" },
    };
    for (const Case& c : cases) {
        Settings s;
        s.mDecimalSeparator = c.decimal;
        s.mDateSeparator = c.date;
        s.mListSeparator = c.list;
        Built built(s);
        SCOPED_TRACE(testing::Message() << "decimal code " << static_cast<unsigned>(c.decimal[0]));
        EXPECT_TRUE(built.mInfo->mBuilt);
        EXPECT_EQ(built.mInfo->mWarning, c.shown);
        if (*c.shown) {
            ASSERT_EQ(built.mShown.size(), 1u);
            EXPECT_EQ(built.mShown[0], std::wstring(L"Varnex settings|") + c.shown);
        } else {
            EXPECT_TRUE(built.mShown.empty());
        }
    }
}

TEST(LocaleInfoTest, UnreadableSettingsKeepTheClassicLocaleAndSayWhy)
{
    Settings tooLong; // a separator that does not fit the record's 8 characters
    tooLong.mTimeSeparator = L"::::::::";
    Built built(tooLong);
    EXPECT_FALSE(built.mInfo->mBuilt);
    EXPECT_STREQ(built.mInfo->mDecimalSeparator, L"."); // what could be read is kept
    EXPECT_EQ(built.mInfo->mLocale, std::locale::classic());
    ASSERT_EQ(built.mShown.size(), 1u);
    EXPECT_EQ(built.mShown[0], L"Varnex settings|read failed");

    // Without a handler the warning is one boot-log line.
    vx::log::Capture capture;
    {
        vx::locale::ScopedSettings scoped(tooLong);
        LocaleInfo info;
    }
    ASSERT_EQ(capture.Lines().size(), 1u);
    EXPECT_EQ(capture.Lines()[0], "KELBOOTLOG: Varnex settings: read failed");
}

// ---- the time parser -------------------------------------------------------------------------

class TimeGetTest : public ::testing::Test {
protected:
    void SetUp() override { mBuilt = std::make_unique<Built>(German()); }

    // Runs one of the parser's operations on `text`; returns the state.
    template <class Op> std::ios_base::iostate Parse(const std::wstring& text, std::tm& tm, Op op)
    {
        std::wistringstream in(text);
        in.imbue(mBuilt->mInfo->mLocale);
        const auto& facet = std::use_facet<KEL::time_getEx>(in.getloc());
        std::ios_base::iostate state = std::ios_base::goodbit;
        op(facet, std::istreambuf_iterator<wchar_t>(in), std::istreambuf_iterator<wchar_t>(), in, state, &tm);
        return state;
    }
    std::unique_ptr<Built> mBuilt;
};

TEST_F(TimeGetTest, YearsUpTo9999)
{
    struct Case {
        const wchar_t* text;
        int tmYear; // -1: fails
    };
    const Case cases[] = {
        { L"34", 134 },
        { L"1999", 99 },
        { L"150", -1 },
        { L"0", 100 },
        { L"35", 35 },
        { L"135", 135 },
        { L"136", -1 },
        { L"1899", -1 },
        { L"1900", 0 },
        { L"2035", 135 },
        { L"2036", 136 },
        { L"9999", 8099 },
        { L"10000", -1 },
        { L"0034", 134 },
        { L"-5", -1 },
        { L"x", -1 },
    };
    for (const Case& c : cases) {
        std::tm tm {};
        tm.tm_year = -77;
        auto state = Parse(
            c.text, tm, [](auto& f, auto b, auto e, auto& io, auto& st, std::tm* t) { f.get_year(b, e, io, st, t); });
        EXPECT_EQ((state & std::ios_base::failbit) != 0, c.tmYear < 0) << std::wstring(c.text).size();
        EXPECT_EQ(tm.tm_year, c.tmYear < 0 ? -77 : c.tmYear);
    }
}

TEST_F(TimeGetTest, DatesFollowTheUsersOrderAndNames)
{
    struct Case {
        const wchar_t* text;
        bool ok;
        int day, month, year; // tm fields
    };
    const Case cases[] = {
        { L"29.02.2000", true, 29, 1, 100 },
        { L"3/4/34", true, 3, 3, 134 },
        { L"1. M\u00E4rz 1999", true, 1, 2, 99 },
        { L"M\u00E4rz 7, 2001", true, 7, 2, 101 }, // a leading month name: month-day-year
        { L"7 okt 1960", true, 7, 9, 60 }, // names without regard to case
        { L"32.01.2000", false, 0, 0, 0 },
        { L"01.13.2000", false, 0, 0, 0 },
        { L"01.01.1850", false, 0, 0, 0 },
        { L"1. Foo 2000", false, 0, 0, 0 },
    };
    for (const Case& c : cases) {
        std::tm tm {};
        auto state = Parse(
            c.text, tm, [](auto& f, auto b, auto e, auto& io, auto& st, std::tm* t) { f.get_date(b, e, io, st, t); });
        SCOPED_TRACE(testing::Message() << "case " << (&c - cases));
        ASSERT_EQ((state & std::ios_base::failbit) == 0, c.ok);
        if (c.ok) {
            EXPECT_EQ(tm.tm_mday, c.day);
            EXPECT_EQ(tm.tm_mon, c.month);
            EXPECT_EQ(tm.tm_year, c.year);
            EXPECT_TRUE(state & std::ios_base::eofbit);
        }
    }
}

TEST_F(TimeGetTest, TimesWeekdaysAndMonthNames)
{
    std::tm tm {};
    tm.tm_mday = 1;
    auto get = [](auto& f, auto b, auto e, auto& io, auto& st, std::tm* t) { f.get_time(b, e, io, st, t); };
    EXPECT_EQ(Parse(L"13:05:09", tm, get), std::ios_base::eofbit);
    EXPECT_EQ(tm.tm_hour, 13);
    EXPECT_EQ(tm.tm_min, 5);
    EXPECT_EQ(tm.tm_sec, 9);
    EXPECT_EQ(Parse(L"7:30", tm, get), std::ios_base::eofbit); // hours and minutes
    EXPECT_EQ(tm.tm_hour, 7);
    EXPECT_EQ(tm.tm_sec, 9);
    EXPECT_TRUE(Parse(L"24:00:00", tm, get) & std::ios_base::failbit);
    EXPECT_EQ(tm.tm_hour, 7); // unchanged
    EXPECT_TRUE(Parse(L"12:60", tm, get) & std::ios_base::failbit);
    tm.tm_mday = 0; // a duration: any hour
    EXPECT_FALSE(Parse(L"36:15:00", tm, get) & std::ios_base::failbit);
    EXPECT_EQ(tm.tm_hour, 36);

    auto weekday = [](auto& f, auto b, auto e, auto& io, auto& st, std::tm* t) { f.get_weekday(b, e, io, st, t); };
    EXPECT_FALSE(Parse(L"Dienstag", tm, weekday) & std::ios_base::failbit);
    EXPECT_EQ(tm.tm_wday, 2);
    EXPECT_FALSE(Parse(L"SA", tm, weekday) & std::ios_base::failbit);
    EXPECT_EQ(tm.tm_wday, 6);
    EXPECT_TRUE(Parse(L"Tuesday", tm, weekday) & std::ios_base::failbit);

    auto month = [](auto& f, auto b, auto e, auto& io, auto& st, std::tm* t) { f.get_monthname(b, e, io, st, t); };
    EXPECT_FALSE(Parse(L"Juni", tm, month) & std::ios_base::failbit);
    EXPECT_EQ(tm.tm_mon, 5);
    EXPECT_FALSE(Parse(L"jul", tm, month) & std::ios_base::failbit);
    EXPECT_EQ(tm.tm_mon, 6);
    EXPECT_EQ(std::use_facet<KEL::time_getEx>(mBuilt->mInfo->mLocale).date_order(), std::time_base::dmy);
}

} // namespace
