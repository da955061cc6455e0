#include "foundation/LocaleInfo.h"

#include <cwchar>
#include <mutex>
#include <sstream>
#include <string>

#include "foundation/ResString.h"
#include "foundation/TimeGet.h"
#include "foundation/XKEL.h"
#include "locale/LocaleSettings.h"

namespace KEL {
namespace {

std::mutex& HandlerMutex()
{
    static std::mutex m;
    return m;
}

LocaleWarningHandler& Handler()
{
    static LocaleWarningHandler handler;
    return handler;
}

void ShowWarning(const String& text, const String& caption)
{
    LocaleWarningHandler handler;
    {
        std::lock_guard lock(HandlerMutex());
        handler = Handler();
    }
    if (handler)
        handler(text, caption);
    else
        BootLog(std::wstring(caption.View()) + L": " + std::wstring(text.View()));
}

// The host's text for `id`; its own words when the host's table has none.
String HostText(UINT id)
{
    String text = GetResString(nullptr, id, true);
    if (!text.IsEmpty())
        return text;
    switch (id) {
    case kLocaleCaption:
        return L"Regional Settings";
    case kLocaleReadFailed:
        return L"The regional settings could not be read. Numbers, dates and times are shown in the default format.";
    case kLocaleDateSepIsDecimal:
        return L"The date separator of the regional settings is the same as the decimal separator. Dates and numbers "
               L"may be misread.";
    case kLocaleListSepIsDecimal:
        return L"The list separator of the regional settings is the same as the decimal separator. Lists of numbers "
               L"may be misread.";
    case kLocaleUnusualDecimal:
        return L"The decimal separator of the regional settings is unusual (character codes:%1). Numbers may be "
               L"shown or read incorrectly.";
    case kLocaleWideDecimalLost:
        return L"The decimal separator of the regional settings cannot be used for numbers on screen; numbers are "
               L"shown with a different separator.";
    case kLocaleNarrowDecimalLost:
        return L"The decimal separator of the regional settings cannot be used in plain text; numbers in it are "
               L"written with a different separator.";
    default:
        return {};
    }
}

// Replaces "%1" by the argument and "%%" by "%".
String FormatOne(const String& format, std::wstring_view argument)
{
    std::wstring out;
    std::wstring_view text = format.View();
    for (std::size_t i = 0; i < text.size(); ++i) {
        if (text[i] == L'%' && i + 1 < text.size() && (text[i + 1] == L'1' || text[i + 1] == L'%')) {
            if (text[i + 1] == L'1')
                out += argument;
            else
                out += L'%';
            ++i;
            continue;
        }
        out += text[i];
    }
    return String(out);
}

bool ReadFixed(LCTYPE type, wchar_t* buffer, int size)
{
    return GetLocaleInfoW(LOCALE_USER_DEFAULT, type, buffer, size) != 0;
}

// A text of any length: its length first, then the text.
bool ReadVariable(LCTYPE type, String& out)
{
    int needed = GetLocaleInfoW(LOCALE_USER_DEFAULT, type, nullptr, 0);
    if (needed <= 0)
        return false;
    wchar_t* buffer = out.GetBuffer(static_cast<std::size_t>(needed));
    bool ok = GetLocaleInfoW(LOCALE_USER_DEFAULT, type, buffer, needed) != 0;
    if (!ok)
        buffer[0] = 0;
    out.ReleaseBuffer();
    return ok;
}

bool ReadNumber(LCTYPE type, long& value)
{
    wchar_t buffer[8] = {};
    if (!ReadFixed(type, buffer, 8))
        return false;
    value = std::wcstol(buffer, nullptr, 10);
    return true;
}

} // namespace

LocaleWarningHandler SetLocaleWarningHandler(LocaleWarningHandler handler)
{
    std::lock_guard lock(HandlerMutex());
    LocaleWarningHandler previous = std::move(Handler());
    Handler() = std::move(handler);
    return previous;
}

const LocaleInfo& LocaleInfo::Build()
{
    static const LocaleInfo info;
    return info;
}

LocaleInfo::LocaleInfo()
    : mLocale(std::locale::classic())
{
    if (!ReadSettings()) {
        mWarning = HostText(kLocaleReadFailed);
        ShowWarning(mWarning, HostText(kLocaleCaption));
        return;
    }
    BuildLocale();
    CheckSeparators();
    if (!mWarning.IsEmpty())
        ShowWarning(mWarning, HostText(kLocaleCaption));
}

LocaleInfo::~LocaleInfo() = default;

bool LocaleInfo::ReadSettings()
{
    // Every setting is read even after a failure, so the record keeps all that could be had.
    bool ok = GetLocaleInfoA(LOCALE_USER_DEFAULT, LOCALE_SDECIMAL, mDecimalSeparatorA, 8) != 0;
    ok &= ReadFixed(LOCALE_SDECIMAL, mDecimalSeparator, 8);
    ok &= ReadFixed(LOCALE_STHOUSAND, mThousandsSeparator, 8);
    ok &= ReadFixed(LOCALE_STIME, mTimeSeparator, 8);
    ok &= ReadFixed(LOCALE_SDATE, mDateSeparator, 8);
    ok &= ReadFixed(LOCALE_SLIST, mListSeparator, 8);
    ok &= ReadFixed(LOCALE_S1159, mAMDesignator, 16);
    ok &= ReadFixed(LOCALE_S2359, mPMDesignator, 16);
    ok &= ReadVariable(LOCALE_STIMEFORMAT, mTimeFormat);
    ok &= ReadVariable(LOCALE_SSHORTDATE, mShortDateFormat);
    ok &= ReadVariable(LOCALE_SLONGDATE, mLongDateFormat);
    long order = 0, clock24 = 0, markFirst = 0;
    ok &= ReadNumber(LOCALE_IDATE, order);
    ok &= ReadNumber(LOCALE_ITIME, clock24);
    ok &= ReadNumber(LOCALE_ITIMEMARKPOSN, markFirst);
    mDateOrder = static_cast<std::uint16_t>(order);
    mClock24 = clock24 == 1;
    mAMPMBeforeTime = markFirst != 0;
    return ok;
}

void LocaleInfo::BuildLocale()
{
    time_get::Names names;
    // The platform numbers days from Monday; the parser keeps them from Sunday, as struct tm.
    for (int day = 0; day < 7; ++day) {
        String abbreviated, full;
        ReadVariable(LOCALE_SABBREVDAYNAME1 + static_cast<LCTYPE>((day + 6) % 7), abbreviated);
        ReadVariable(LOCALE_SDAYNAME1 + static_cast<LCTYPE>((day + 6) % 7), full);
        names.mDays[2 * day] = abbreviated.ToWString();
        names.mDays[2 * day + 1] = full.ToWString();
    }
    for (int month = 0; month < 12; ++month) {
        String abbreviated, full;
        ReadVariable(LOCALE_SABBREVMONTHNAME1 + static_cast<LCTYPE>(month), abbreviated);
        ReadVariable(LOCALE_SMONTHNAME1 + static_cast<LCTYPE>(month), full);
        names.mMonths[2 * month] = abbreviated.ToWString();
        names.mMonths[2 * month + 1] = full.ToWString();
    }
    std::time_base::dateorder order = std::time_base::mdy;
    if (mDateOrder == kDayMonthYear)
        order = std::time_base::dmy;
    else if (mDateOrder == kYearMonthDay)
        order = std::time_base::ymd;

    // One character each; a narrow stream can hold only an ASCII separator.
    wchar_t decimal = mDecimalSeparator[0] ? mDecimalSeparator[0] : L'.';
    wchar_t thousands = mThousandsSeparator[0] ? mThousandsSeparator[0] : L',';
    auto narrow = [](char c, char fallback) { return c > 0 && c < 0x7F ? c : fallback; };
    char decimalA = narrow(mDecimalSeparatorA[0], '.');
    char thousandsA = narrow(static_cast<char>(thousands < 0x7F ? thousands : 0), ',');

    std::locale locale(std::locale::classic(), new NoThousandsSep<wchar_t>(decimal, thousands));
    locale = std::locale(locale, new NoThousandsSep<char>(decimalA, thousandsA));
    locale = std::locale(locale, new time_getEx(order, std::move(names), mDateSeparator[0]));
    mLocale = locale;
    mBuilt = true;
}

void LocaleInfo::CheckSeparators()
{
    // Each check that fires replaces the warning of the one before.
    std::wstring_view decimal(mDecimalSeparator);
    if (std::wstring_view(mDateSeparator) == decimal)
        mWarning = HostText(kLocaleDateSepIsDecimal);
    if (std::wstring_view(mListSeparator) == decimal)
        mWarning = HostText(kLocaleListSepIsDecimal);
    if (decimal != L"," && decimal != L".") {
        std::wostringstream codes;
        codes << std::hex;
        for (wchar_t c : decimal)
            codes << L' ' << static_cast<unsigned long>(c);
        mWarning = FormatOne(HostText(kLocaleUnusualDecimal), codes.str());
    }

    // The built locale must write the user's separator, in narrow and in wide text; the wide
    // text, which the user reads on screen, has the last word.
    std::ostringstream plain;
    plain.imbue(mLocale);
    plain << 1.5;
    std::string expected = "1";
    expected += mDecimalSeparatorA;
    expected += '5';
    if (plain.str() != expected)
        mWarning = HostText(kLocaleNarrowDecimalLost);
    std::wostringstream wide;
    wide.imbue(mLocale);
    wide << 1.5;
    if (wide.str() != L"1" + std::wstring(decimal) + L"5")
        mWarning = HostText(kLocaleWideDecimalLost);
}

} // namespace KEL
