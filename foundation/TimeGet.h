#pragma once
// The library's time parser: reads times, dates, weekdays, month names and years in the user's
// date order and with the user's day and month names, whatever locales the system has installed.
#include <array>
#include <locale>
#include <string>

namespace KEL {

class time_get : public std::time_get<wchar_t> {
public:
    // Day names Sunday first and month names January first, each abbreviated then full.
    struct Names {
        std::array<std::wstring, 14> mDays; // abbreviated and full alternate: index / 2 is the day
        std::array<std::wstring, 24> mMonths; // likewise: index / 2 is the month
    };

    // `dateSeparator` is the first character of the user's date separator (0 for none).
    time_get(dateorder order, Names names, wchar_t dateSeparator, std::size_t refs = 0);

protected:
    dateorder do_date_order() const override { return mOrder; }
    iter_type do_get_time(
        iter_type begin, iter_type end, std::ios_base& io, std::ios_base::iostate& state, std::tm* out) const override;
    iter_type do_get_date(
        iter_type begin, iter_type end, std::ios_base& io, std::ios_base::iostate& state, std::tm* out) const override;
    iter_type do_get_weekday(
        iter_type begin, iter_type end, std::ios_base& io, std::ios_base::iostate& state, std::tm* out) const override;
    iter_type do_get_monthname(
        iter_type begin, iter_type end, std::ios_base& io, std::ios_base::iostate& state, std::tm* out) const override;
    iter_type do_get_year(
        iter_type begin, iter_type end, std::ios_base& io, std::ios_base::iostate& state, std::tm* out) const override;

private:
    dateorder mOrder;
    Names mNames;
    wchar_t mDateSeparator;
};

// The same parser under a facet identity of its own; this is the one the library's locale holds.
class time_getEx : public time_get {
public:
    static std::locale::id id;
    using time_get::time_get;
};

// Years as the parser reads them, as a tm_year: 1900-9999 are stored as year - 1900, 0-34 as
// year + 100 (2000-2034), 35-135 unchanged (1935-2035); false for 136-1899 and above 9999.
bool YearToTm(long year, int& tmYear);

} // namespace KEL
