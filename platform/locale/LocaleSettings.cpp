#include "locale/LocaleSettings.h"

#include <langinfo.h>
#include <locale.h>

#include <cstdint>
#include <cstdlib>
#include <cwchar>
#include <mutex>
#include <vector>

#include "text/Unicode.h"
#include "time/Clock.h"

namespace vx::locale {
namespace {

// ---- strftime formats -------------------------------------------------------------------------

// One piece of a strftime format: literal text, or a conversion with its letter and whether it
// asked for no padding ("%-d").
struct Piece {
    bool conversion = false;
    wchar_t letter = 0;
    bool noPadding = false;
    std::wstring text;
};

void Parse(std::wstring_view format, std::wstring_view format12, std::vector<Piece>& out, int depth = 0)
{
    std::wstring literal;
    auto flush = [&] {
        if (!literal.empty())
            out.push_back(Piece { false, 0, false, literal });
        literal.clear();
    };
    for (std::size_t i = 0; i < format.size(); ++i) {
        if (format[i] != L'%' || i + 1 >= format.size()) {
            literal += format[i];
            continue;
        }
        bool noPadding = false;
        std::size_t j = i + 1;
        while (j < format.size() && std::wstring_view(L"-_0^#EO").find(format[j]) != std::wstring_view::npos) {
            noPadding = noPadding || format[j] == L'-';
            ++j;
        }
        if (j >= format.size())
            break;
        wchar_t letter = format[j];
        i = j;
        // Composite conversions are spelt out, so that their hour, minute and date fields take
        // part in the analysis like any other.
        std::wstring_view expansion;
        switch (letter) {
        case L'T':
            expansion = L"%H:%M:%S";
            break;
        case L'R':
            expansion = L"%H:%M";
            break;
        case L'D':
            expansion = L"%m/%d/%y";
            break;
        case L'F':
            expansion = L"%Y-%m-%d";
            break;
        case L'r':
            expansion = format12.empty() ? std::wstring_view(L"%I:%M:%S %p") : format12;
            break;
        case L'%':
            literal += L'%';
            continue;
        case L'n':
            literal += L'\n';
            continue;
        case L't':
            literal += L'\t';
            continue;
        default:
            break;
        }
        flush();
        if (!expansion.empty()) {
            if (depth < 2)
                Parse(expansion, L"%I:%M:%S %p", out, depth + 1);
            continue;
        }
        out.push_back(Piece { true, letter, noPadding, {} });
    }
    flush();
}

bool IsHour(wchar_t c)
{
    return c == L'H' || c == L'k' || c == L'I' || c == L'l';
}
bool IsDay(wchar_t c)
{
    return c == L'd' || c == L'e';
}
bool IsMonth(wchar_t c)
{
    return c == L'm' || c == L'b' || c == L'B' || c == L'h';
}
bool IsYear(wchar_t c)
{
    return c == L'y' || c == L'Y' || c == L'G' || c == L'g';
}

// Literal text in a picture: letters that the picture notation reads are quoted.
void AppendLiteral(std::wstring& picture, const std::wstring& text)
{
    for (wchar_t c : text) {
        if (c == L'\'')
            picture += L"''";
        else if (std::wstring_view(L"dgyMhHmst").find(c) != std::wstring_view::npos)
            picture += std::wstring { L'\'', c, L'\'' };
        else
            picture += c;
    }
}

std::wstring Picture(const std::vector<Piece>& pieces)
{
    std::wstring picture;
    for (const Piece& p : pieces) {
        if (!p.conversion) {
            AppendLiteral(picture, p.text);
            continue;
        }
        switch (p.letter) {
        case L'd':
            picture += p.noPadding ? L"d" : L"dd";
            break;
        case L'e':
            picture += L"d";
            break;
        case L'a':
            picture += L"ddd";
            break;
        case L'A':
            picture += L"dddd";
            break;
        case L'm':
            picture += p.noPadding ? L"M" : L"MM";
            break;
        case L'b':
        case L'h':
            picture += L"MMM";
            break;
        case L'B':
            picture += L"MMMM";
            break;
        case L'y':
        case L'g':
            picture += L"yy";
            break;
        case L'Y':
        case L'G':
            picture += L"yyyy";
            break;
        case L'H':
            picture += p.noPadding ? L"H" : L"HH";
            break;
        case L'k':
            picture += L"H";
            break;
        case L'I':
            picture += p.noPadding ? L"h" : L"hh";
            break;
        case L'l':
            picture += L"h";
            break;
        case L'M':
            picture += L"mm";
            break;
        case L'S':
            picture += L"ss";
            break;
        case L'p':
        case L'P':
            picture += L"tt";
            break;
        default:
            break; // zone names, week numbers and the like have no place in these formats
        }
    }
    // A dropped conversion can leave separators at either end ("%a %b %e %Z" -> "ddd MMM d ").
    while (!picture.empty() && (picture.back() == L' ' || picture.back() == L','))
        picture.pop_back();
    return picture;
}

// The literal text that follows the first conversion matching `is`, up to the next conversion.
template <class Pred> std::wstring SeparatorAfter(const std::vector<Piece>& pieces, Pred is)
{
    for (std::size_t i = 0; i + 1 < pieces.size(); ++i)
        if (pieces[i].conversion && is(pieces[i].letter) && !pieces[i + 1].conversion)
            return pieces[i + 1].text.substr(0, 7);
    return {};
}

bool UsesTwelveHours(const std::vector<Piece>& pieces)
{
    for (const Piece& p : pieces)
        if (p.conversion && (p.letter == L'I' || p.letter == L'l' || p.letter == L'p' || p.letter == L'P'))
            return true;
    return false;
}

// ---- reading a locale -------------------------------------------------------------------------

class LocaleHandle {
public:
    explicit LocaleHandle(const char* name)
        : mLocale(newlocale(LC_ALL_MASK, name, locale_t {}))
    {
    }
    ~LocaleHandle()
    {
        if (mLocale)
            freelocale(mLocale);
    }
    LocaleHandle(const LocaleHandle&) = delete;
    LocaleHandle& operator=(const LocaleHandle&) = delete;

    explicit operator bool() const { return mLocale != locale_t {}; }

    // glibc keeps a wide form of every text item; the _NL_W... items return it.
    std::wstring Wide(nl_item item) const
    {
        const auto* text = reinterpret_cast<const wchar_t*>(nl_langinfo_l(item, mLocale));
        return text ? std::wstring(text) : std::wstring();
    }
    // The numeric punctuation as one wide character (0 for none).
    std::wstring WideChar(nl_item item) const
    {
        auto value = static_cast<wchar_t>(reinterpret_cast<std::uintptr_t>(nl_langinfo_l(item, mLocale)));
        return value ? std::wstring(1, value) : std::wstring();
    }

private:
    locale_t mLocale;
};

nl_item Item(int first, int offset)
{
    return static_cast<nl_item>(first + offset);
}

} // namespace

void ApplyStrftimeFormats(
    Settings& s, std::wstring_view dateFormat, std::wstring_view timeFormat, std::wstring_view timeFormat12)
{
    std::vector<Piece> date, time;
    Parse(dateFormat, timeFormat12, date);
    Parse(timeFormat, timeFormat12, time);

    s.mShortDateFormat = Picture(date);
    s.mTimeFormat = Picture(time);
    s.mClock24 = !UsesTwelveHours(time);

    std::wstring timeSeparator = SeparatorAfter(time, IsHour);
    s.mTimeSeparator = timeSeparator.empty() ? L":" : timeSeparator;
    std::wstring dateSeparator = SeparatorAfter(date, [](wchar_t c) { return IsDay(c) || IsMonth(c) || IsYear(c); });
    s.mDateSeparator = dateSeparator.empty() ? L"/" : dateSeparator;

    int day = -1, month = -1, year = -1;
    for (std::size_t i = 0; i < date.size(); ++i) {
        if (!date[i].conversion)
            continue;
        int at = static_cast<int>(i);
        wchar_t c = date[i].letter;
        if (IsDay(c) && day < 0)
            day = at;
        else if (IsMonth(c) && month < 0)
            month = at;
        else if (IsYear(c) && year < 0)
            year = at;
    }
    if (year >= 0 && (month < 0 || year < month) && (day < 0 || year < day))
        s.mDateOrder = DateOrder::YearMonthDay;
    else if (day >= 0 && month >= 0 && day < month)
        s.mDateOrder = DateOrder::DayMonthYear;
    else
        s.mDateOrder = DateOrder::MonthDayYear;

    s.mDesignatorBeforeTime = false;
    for (const Piece& p : time) {
        if (!p.conversion)
            continue;
        if (IsHour(p.letter))
            break;
        if (p.letter == L'p' || p.letter == L'P') {
            s.mDesignatorBeforeTime = true;
            break;
        }
    }

    // The locale data has no long date format; it is composed in the date order from the full
    // day and month names.
    switch (s.mDateOrder) {
    case DateOrder::MonthDayYear:
        s.mLongDateFormat = L"dddd, MMMM d, yyyy";
        break;
    case DateOrder::DayMonthYear:
        s.mLongDateFormat = L"dddd, d MMMM yyyy";
        break;
    case DateOrder::YearMonthDay:
        s.mLongDateFormat = L"yyyy MMMM d, dddd";
        break;
    }
}

std::optional<Settings> ReadSettings(const char* name)
{
    LocaleHandle locale(name ? name : "");
    if (!locale)
        return std::nullopt;
    Settings s;
    s.mDecimalSeparator = locale.WideChar(_NL_NUMERIC_DECIMAL_POINT_WC);
    if (s.mDecimalSeparator.empty())
        s.mDecimalSeparator = L".";
    s.mThousandsSeparator = locale.WideChar(_NL_NUMERIC_THOUSANDS_SEP_WC);
    // The list separator is not part of the locale data: where the comma is the decimal
    // separator, lists are separated by semicolons.
    s.mListSeparator = s.mDecimalSeparator == L"," ? L";" : L",";
    s.mAmDesignator = locale.Wide(_NL_WAM_STR);
    s.mPmDesignator = locale.Wide(_NL_WPM_STR);
    for (int i = 0; i < 7; ++i) {
        s.mDayNames[i] = locale.Wide(Item(_NL_WDAY_1, i));
        s.mAbbrevDayNames[i] = locale.Wide(Item(_NL_WABDAY_1, i));
    }
    for (int i = 0; i < 12; ++i) {
        s.mMonthNames[i] = locale.Wide(Item(_NL_WMON_1, i));
        s.mAbbrevMonthNames[i] = locale.Wide(Item(_NL_WABMON_1, i));
    }
    ApplyStrftimeFormats(s, locale.Wide(_NL_WD_FMT), locale.Wide(_NL_WT_FMT), locale.Wide(_NL_WT_FMT_AMPM));
    return s;
}

// ---- the settings in force ----------------------------------------------------------------------

namespace {

std::mutex& InjectionMutex()
{
    static std::mutex m;
    return m;
}

std::shared_ptr<const Settings>& Injected()
{
    static std::shared_ptr<const Settings> injected;
    return injected;
}

const std::shared_ptr<const Settings>& UsersSettings()
{
    static const std::shared_ptr<const Settings> user = [] {
        std::optional<Settings> read = ReadSettings("");
        return read ? std::make_shared<const Settings>(std::move(*read)) : std::shared_ptr<const Settings>();
    }();
    return user;
}

} // namespace

std::shared_ptr<const Settings> Current()
{
    {
        std::lock_guard lock(InjectionMutex());
        if (Injected())
            return Injected();
    }
    return UsersSettings();
}

std::shared_ptr<const Settings> Inject(std::shared_ptr<const Settings> settings)
{
    std::lock_guard lock(InjectionMutex());
    std::shared_ptr<const Settings> previous = std::move(Injected());
    Injected() = std::move(settings);
    return previous;
}

// ---- date pictures ------------------------------------------------------------------------------

std::optional<std::wstring> FormatDatePicture(const Settings& s, const SYSTEMTIME& date, std::wstring_view picture)
{
    if (!vx::time::IsValidSystemDate(date))
        return std::nullopt;
    unsigned weekDay = vx::time::WeekDay(vx::time::DaysFromCivil(date.wYear, date.wMonth, date.wDay));
    auto number = [](unsigned value, int width) {
        std::wstring text = std::to_wstring(value);
        if (static_cast<int>(text.size()) < width)
            text.insert(0, static_cast<std::size_t>(width) - text.size(), L'0');
        return text;
    };
    std::wstring out;
    for (std::size_t i = 0; i < picture.size();) {
        wchar_t c = picture[i];
        if (c == L'\'') {
            // Quoted text; two quotes stand for one, inside quoted text or outside it.
            if (i + 1 < picture.size() && picture[i + 1] == L'\'') {
                out += L'\'';
                i += 2;
                continue;
            }
            ++i;
            while (i < picture.size()) {
                if (picture[i] == L'\'') {
                    if (i + 1 < picture.size() && picture[i + 1] == L'\'') {
                        out += L'\'';
                        i += 2;
                        continue;
                    }
                    ++i;
                    break;
                }
                out += picture[i++];
            }
            continue;
        }
        std::size_t run = 1;
        while (i + run < picture.size() && picture[i + run] == c)
            ++run;
        switch (c) {
        case L'd':
            if (run <= 2)
                out += number(date.wDay, static_cast<int>(run));
            else
                out += run == 3 ? s.mAbbrevDayNames[weekDay] : s.mDayNames[weekDay];
            break;
        case L'M':
            if (run <= 2)
                out += number(date.wMonth, static_cast<int>(run));
            else
                out += run == 3 ? s.mAbbrevMonthNames[date.wMonth - 1] : s.mMonthNames[date.wMonth - 1];
            break;
        case L'y':
            if (run == 1)
                out += number(date.wYear % 100, 1);
            else if (run == 2)
                out += number(date.wYear % 100, 2);
            else
                out += number(date.wYear, 4);
            break;
        case L'g':
            break; // no era names in this calendar
        default:
            out.append(run, c);
            break;
        }
        i += run;
    }
    return out;
}

} // namespace vx::locale

// ---- the locale calls ---------------------------------------------------------------------------

namespace {

// The text of one setting; false for an unknown type.
bool SettingText(const vx::locale::Settings& s, LCTYPE type, std::wstring& out)
{
    // The platform numbers day names from Monday; the settings keep them from Sunday.
    if (type >= LOCALE_SDAYNAME1 && type < LOCALE_SDAYNAME1 + 7) {
        out = s.mDayNames[(type - LOCALE_SDAYNAME1 + 1) % 7];
        return true;
    }
    if (type >= LOCALE_SABBREVDAYNAME1 && type < LOCALE_SABBREVDAYNAME1 + 7) {
        out = s.mAbbrevDayNames[(type - LOCALE_SABBREVDAYNAME1 + 1) % 7];
        return true;
    }
    if (type >= LOCALE_SMONTHNAME1 && type < LOCALE_SMONTHNAME1 + 12) {
        out = s.mMonthNames[type - LOCALE_SMONTHNAME1];
        return true;
    }
    if (type >= LOCALE_SABBREVMONTHNAME1 && type < LOCALE_SABBREVMONTHNAME1 + 12) {
        out = s.mAbbrevMonthNames[type - LOCALE_SABBREVMONTHNAME1];
        return true;
    }
    switch (type) {
    case LOCALE_SDECIMAL:
        out = s.mDecimalSeparator;
        return true;
    case LOCALE_STHOUSAND:
        out = s.mThousandsSeparator;
        return true;
    case LOCALE_STIME:
        out = s.mTimeSeparator;
        return true;
    case LOCALE_SDATE:
        out = s.mDateSeparator;
        return true;
    case LOCALE_SLIST:
        out = s.mListSeparator;
        return true;
    case LOCALE_S1159:
        out = s.mAmDesignator;
        return true;
    case LOCALE_S2359:
        out = s.mPmDesignator;
        return true;
    case LOCALE_STIMEFORMAT:
        out = s.mTimeFormat;
        return true;
    case LOCALE_SSHORTDATE:
        out = s.mShortDateFormat;
        return true;
    case LOCALE_SLONGDATE:
        out = s.mLongDateFormat;
        return true;
    case LOCALE_IDATE:
        out = std::to_wstring(static_cast<unsigned>(s.mDateOrder));
        return true;
    case LOCALE_ITIME:
        out = s.mClock24 ? L"1" : L"0";
        return true;
    case LOCALE_ITIMEMARKPOSN:
        out = s.mDesignatorBeforeTime ? L"1" : L"0";
        return true;
    default:
        return false;
    }
}

template <class Char> int CopyOut(const std::basic_string<Char>& text, Char* buffer, int size)
{
    if (size < 0)
        return 0;
    auto needed = static_cast<int>(text.size() + 1);
    if (size == 0)
        return needed;
    if (!buffer || size < needed)
        return 0;
    std::copy(text.begin(), text.end(), buffer);
    buffer[text.size()] = Char {};
    return needed;
}

} // namespace

int GetLocaleInfoW(LCID locale, LCTYPE type, wchar_t* buffer, int size)
{
    std::shared_ptr<const vx::locale::Settings> settings = vx::locale::Current();
    std::wstring text;
    if (locale != LOCALE_USER_DEFAULT || !settings || !SettingText(*settings, type, text))
        return 0;
    return CopyOut(text, buffer, size);
}

int GetLocaleInfoA(LCID locale, LCTYPE type, char* buffer, int size)
{
    std::shared_ptr<const vx::locale::Settings> settings = vx::locale::Current();
    std::wstring text;
    if (locale != LOCALE_USER_DEFAULT || !settings || !SettingText(*settings, type, text))
        return 0;
    return CopyOut(vx::text::UnitsToUtf8(text), buffer, size);
}

int GetDateFormatW(LCID locale, DWORD flags, const SYSTEMTIME* date, const wchar_t* format, wchar_t* buffer, int size)
{
    std::shared_ptr<const vx::locale::Settings> settings = vx::locale::Current();
    if (locale != LOCALE_USER_DEFAULT || !settings)
        return 0;
    std::wstring picture;
    if (format) {
        if (flags != 0)
            return 0;
        picture = format;
    } else if (flags == DATE_SHORTDATE || flags == 0) {
        picture = settings->mShortDateFormat;
    } else if (flags == DATE_LONGDATE) {
        picture = settings->mLongDateFormat;
    } else {
        return 0;
    }
    SYSTEMTIME now;
    if (!date) {
        GetLocalTime(&now);
        date = &now;
    }
    std::optional<std::wstring> text = vx::locale::FormatDatePicture(*settings, *date, picture);
    return text ? CopyOut(*text, buffer, size) : 0;
}
