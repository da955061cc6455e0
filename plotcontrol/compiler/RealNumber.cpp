#include "plotcontrol/compiler/RealNumber.h"

#include <boost/phoenix/bind.hpp>
#include <boost/phoenix/core.hpp>
#include <boost/phoenix/operator.hpp>

#include <cerrno>
#include <cmath>
#include <cstdlib>
#include <locale.h>
#include <string>

namespace Etch {

namespace {

// The "C" locale, so that the decimal point is a point whatever the user's locale.
locale_t ClassicLocale()
{
    static const locale_t locale = newlocale(LC_ALL_MASK, "C", static_cast<locale_t>(nullptr));
    return locale;
}

bool Convert(const boost::iterator_range<const char*>& numeral, double& value)
{
    return RealValue(std::string_view(numeral.begin(), static_cast<std::size_t>(numeral.size())), value);
}

} // namespace

bool RealValue(std::string_view numeral, double& value)
{
    const std::string text(numeral);
    char* end = nullptr;
    errno = 0;
    const double parsed = strtod_l(text.c_str(), &end, ClassicLocale());
    if (end != text.c_str() + text.size() || text.empty())
        return false;
    // Out of range: an overflow is infinite (refused), an underflow zero or subnormal (kept).
    if (errno == ERANGE && std::isinf(parsed))
        return false;
    value = parsed;
    return true;
}

RealNumber::RealNumber()
    : RealNumber::base_type(mNumber, "real")
{
    namespace qi = boost::spirit::qi;
    namespace phx = boost::phoenix;
    using qi::lit;
    using qi::ascii::digit;
    mNumeral = qi::raw[-qi::ascii::char_("+-") >> ((+digit >> -(lit('.') >> *digit)) | (lit('.') >> +digit))
        >> -(qi::ascii::char_("eE") >> -qi::ascii::char_("+-") >> +digit)];
    // A failed conversion puts the position back to where the number started.
    mNumber = mNumeral[qi::_pass = phx::bind(&Convert, qi::_1, qi::_val)];
    mNumber.name("real");
}

} // namespace Etch
