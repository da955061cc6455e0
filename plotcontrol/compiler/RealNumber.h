// A number in the standard real form, as the markup and the formulas write it: an optional sign,
// digits with an optional decimal point (a leading or a trailing point allowed) and an optional
// exponent. "nan", "inf" and hexadecimal forms are not numbers.
//
// The numeral is matched here and converted correctly rounded. The parsing library's own real
// parser is not used: it scales a long fraction wrongly (".", 700 zeros and "13" read as
// 1.3e-306) and stops on an assertion in debug builds.
#pragma once

#include <boost/range/iterator_range.hpp>
#include <boost/spirit/include/qi.hpp>

#include <string_view>

namespace Etch {

// The value of a numeral in the form above. False when it is too large for a double (1e999,
// 1.8e308); one too small for a double is zero with its sign.
bool RealValue(std::string_view numeral, double& value);

// Matches a numeral and yields its value; fails, consuming nothing, on a number too large for a
// double. As a rule without a skipper it skips only before the number. Its name in error texts
// is "real".
struct RealNumber : boost::spirit::qi::grammar<const char*, double()> {
    RealNumber();

private:
    boost::spirit::qi::rule<const char*, boost::iterator_range<const char*>()> mNumeral;
    boost::spirit::qi::rule<const char*, double()> mNumber;
};

} // namespace Etch
