#pragma once
// LocaleInfo: the user's number, date and time conventions as the platform reports them, and the
// stream locale built from them: the classic locale with the user's decimal separator, no digit
// grouping, and the library's own time parser. The locale is never installed as the global one:
// the code that shows numbers to the user imbues it in its own streams, so every other stream
// (numbers in formulas, scripts, files) keeps the classic format.
#include <cstdint>
#include <functional>
#include <locale>

#include "foundation/String.h"

namespace KEL {

// Numbers without grouping, with the given decimal point and thousands separator.
template <class CharT> class NoThousandsSep : public std::numpunct<CharT> {
public:
    NoThousandsSep(CharT decimalPoint, CharT thousandsSep, std::size_t refs = 0)
        : std::numpunct<CharT>(refs)
        , mDecimalPoint(decimalPoint)
        , mThousandsSep(thousandsSep)
    {
    }

protected:
    CharT do_decimal_point() const override { return mDecimalPoint; }
    CharT do_thousands_sep() const override { return mThousandsSep; }
    std::string do_grouping() const override { return {}; }

private:
    CharT mDecimalPoint;
    CharT mThousandsSep;
};

// Resource ids of the host's string table for the build's messages.
enum LocaleInfoText : UINT {
    kLocaleCaption = 20007,
    kLocaleReadFailed = 20008,
    kLocaleDateSepIsDecimal = 20009,
    kLocaleListSepIsDecimal = 20010,
    kLocaleUnusualDecimal = 20011, // format: %1 is the separator's character codes
    kLocaleWideDecimalLost = 20012,
    kLocaleNarrowDecimalLost = 20013,
};

class LocaleInfo {
public:
    enum DateOrder : std::uint16_t { kMonthDayYear = 0, kDayMonthYear = 1, kYearMonthDay = 2 };

    // The process-wide record, built on the first call from the settings in force then.
    static const LocaleInfo& Build();

    // A record read and built from the settings in force now; its warning (if any) goes to the
    // warning handler.
    LocaleInfo();
    virtual ~LocaleInfo();
    LocaleInfo(const LocaleInfo&) = delete;
    LocaleInfo& operator=(const LocaleInfo&) = delete;

    char mDecimalSeparatorA[8] = {};
    wchar_t mDecimalSeparator[8] = {};
    wchar_t mThousandsSeparator[8] = {};
    wchar_t mTimeSeparator[8] = {};
    wchar_t mDateSeparator[8] = {};
    wchar_t mListSeparator[8] = {};
    wchar_t mAMDesignator[16] = {};
    wchar_t mPMDesignator[16] = {};
    String mTimeFormat;
    String mShortDateFormat;
    String mLongDateFormat;
    // The built locale; the classic locale when the settings could not be read.
    std::locale mLocale;
    std::uint16_t mDateOrder = kMonthDayYear;
    bool mClock24 = false;
    bool mAMPMBeforeTime = false;
    bool mBuilt = false;
    // The warning shown at the end of the build; empty when there was none.
    String mWarning;

private:
    bool ReadSettings();
    void BuildLocale();
    void CheckSeparators();
};

// Where the build's warning goes: (text, caption). The default writes a boot-log line; the host
// puts a message box here. Returns the handler it replaces.
using LocaleWarningHandler = std::function<void(const String& text, const String& caption)>;
LocaleWarningHandler SetLocaleWarningHandler(LocaleWarningHandler handler);

} // namespace KEL
