#pragma once
// Best rational approximation of a floating-point value with 32-bit numerator and denominator.
#include <cstdint>

namespace KEL {

// The last convergent of the continued fraction of x (at most 20 further terms, stopping when the
// remaining fraction is below 2^-31 or the next convergent would leave 32 bits). NaN gives 0/1;
// |x| of 2^31 or more, infinities included, gives the nearest bound, 2147483647/1 or
// -2147483648/1. The denominator is always positive.
void BestRationalApproximation(double x, std::int32_t* numerator, std::int32_t* denominator);

} // namespace KEL
