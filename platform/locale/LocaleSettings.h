#pragma once
// The user's number, date and time conventions as one object, and the locale calls that the
// libraries make over it (GetLocaleInfoW/A, GetDateFormatW). The settings come from the user's
// locale (LANG, LC_ALL, LC_NUMERIC, LC_TIME ...) read once through newlocale, never through the
// process's global C locale, which is left alone; tests put their own object in place.
#include <array>
#include <memory>
#include <optional>
#include <string>
#include <string_view>

#include "time/FileTime.h"

namespace vx::locale {

enum class DateOrder : WORD { MonthDayYear = 0, DayMonthYear = 1, YearMonthDay = 2 };

struct Settings {
    std::wstring mDecimalSeparator = L".";
    std::wstring mThousandsSeparator;
    std::wstring mTimeSeparator = L":";
    std::wstring mDateSeparator = L"/";
    std::wstring mListSeparator = L",";
    // Formats in the platform's picture notation: d dd ddd dddd, M MM MMM MMMM, yy yyyy,
    // h hh (12-hour), H HH (24-hour), mm, ss, tt (designator), text in single quotes.
    std::wstring mShortDateFormat = L"MM/dd/yy";
    std::wstring mLongDateFormat = L"dddd, MMMM d, yyyy";
    std::wstring mTimeFormat = L"HH:mm:ss";
    DateOrder mDateOrder = DateOrder::MonthDayYear;
    bool mClock24 = true;
    std::wstring mAmDesignator = L"AM";
    std::wstring mPmDesignator = L"PM";
    bool mDesignatorBeforeTime = false;
    // Sunday first, as in struct tm.
    std::array<std::wstring, 7> mDayNames { L"Sunday", L"Monday", L"Tuesday", L"Wednesday", L"Thursday", L"Friday",
        L"Saturday" };
    std::array<std::wstring, 7> mAbbrevDayNames { L"Sun", L"Mon", L"Tue", L"Wed", L"Thu", L"Fri", L"Sat" };
    std::array<std::wstring, 12> mMonthNames { L"January", L"February", L"March", L"April", L"May", L"June", L"July",
        L"August", L"September", L"October", L"November", L"December" };
    std::array<std::wstring, 12> mAbbrevMonthNames { L"Jan", L"Feb", L"Mar", L"Apr", L"May", L"Jun", L"Jul", L"Aug",
        L"Sep", L"Oct", L"Nov", L"Dec" };

    friend bool operator==(const Settings&, const Settings&) = default;
};

// The settings of the locale `name` ("" is the user's, from the environment); nothing when that
// locale cannot be opened (not installed, or a bad name).
std::optional<Settings> ReadSettings(const char* name);

// Fills the format-derived fields (separators of time and date, date order, 12- or 24-hour
// clock, designator position, short and long date and time formats) from the POSIX strftime
// formats of a locale: its date format, its time format and its 12-hour time format.
void ApplyStrftimeFormats(
    Settings& settings, std::wstring_view dateFormat, std::wstring_view timeFormat, std::wstring_view timeFormat12);

// The settings in force: those put in place by a test, else the user's, read on first use.
// Null when the user's locale cannot be opened.
std::shared_ptr<const Settings> Current();
// Puts `settings` in place (null: the user's again) and returns what it replaces.
std::shared_ptr<const Settings> Inject(std::shared_ptr<const Settings> settings);

class ScopedSettings {
public:
    explicit ScopedSettings(Settings settings)
        : mPrevious(Inject(std::make_shared<const Settings>(std::move(settings))))
    {
    }
    ~ScopedSettings() { Inject(std::move(mPrevious)); }
    ScopedSettings(const ScopedSettings&) = delete;
    ScopedSettings& operator=(const ScopedSettings&) = delete;

private:
    std::shared_ptr<const Settings> mPrevious;
};

// A date as text in a picture (see Settings), with the settings' names. Nothing for a date
// that SYSTEMTIME cannot hold; the day of the week is computed, not read.
std::optional<std::wstring> FormatDatePicture(
    const Settings& settings, const SYSTEMTIME& date, std::wstring_view picture);

} // namespace vx::locale

using LCID = std::uint32_t;
using LCTYPE = std::uint32_t;

constexpr LCID LOCALE_USER_DEFAULT = 0x400;

constexpr LCTYPE LOCALE_SLIST = 12;
constexpr LCTYPE LOCALE_IDATE = 11;
constexpr LCTYPE LOCALE_SDECIMAL = 14;
constexpr LCTYPE LOCALE_STHOUSAND = 15;
constexpr LCTYPE LOCALE_SDATE = 29;
constexpr LCTYPE LOCALE_STIME = 30;
constexpr LCTYPE LOCALE_SSHORTDATE = 31;
constexpr LCTYPE LOCALE_SLONGDATE = 32;
constexpr LCTYPE LOCALE_ITIME = 35;
constexpr LCTYPE LOCALE_S1159 = 40;
constexpr LCTYPE LOCALE_S2359 = 41;
constexpr LCTYPE LOCALE_SDAYNAME1 = 0x2A; // Monday; 7 names to LOCALE_SDAYNAME7 (Sunday)
constexpr LCTYPE LOCALE_SABBREVDAYNAME1 = 0x31;
constexpr LCTYPE LOCALE_SMONTHNAME1 = 0x38; // 12 names
constexpr LCTYPE LOCALE_SABBREVMONTHNAME1 = 0x44;
constexpr LCTYPE LOCALE_STIMEFORMAT = 0x1003;
constexpr LCTYPE LOCALE_ITIMEMARKPOSN = 0x1005;

constexpr DWORD DATE_SHORTDATE = 1;
constexpr DWORD DATE_LONGDATE = 2;

// One setting of the user default locale as text (numbers as decimal text). With `size` 0 the
// characters needed, terminator included; otherwise the characters written, terminator
// included. 0 on failure: another locale, an unknown type, a buffer too small, or settings that
// cannot be read.
int GetLocaleInfoW(LCID locale, LCTYPE type, wchar_t* buffer, int size);
// The same as narrow (UTF-8) text.
int GetLocaleInfoA(LCID locale, LCTYPE type, char* buffer, int size);

// A date of the user default locale: in `format` when given (flags 0), else in the short or long
// date format that the flags choose. A null date is the current local time. Returns as
// GetLocaleInfoW; 0 also for an invalid date.
int GetDateFormatW(LCID locale, DWORD flags, const SYSTEMTIME* date, const wchar_t* format, wchar_t* buffer, int size);
