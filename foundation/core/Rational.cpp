#include "foundation/core/Rational.h"

namespace KEL {

namespace {

using Wide = __int128;
using UWide = unsigned __int128;

UWide Magnitude(Wide v)
{
    return v < 0 ? -static_cast<UWide>(v) : static_cast<UWide>(v);
}

// Euclid's algorithm on the magnitudes.
UWide Gcd(UWide a, UWide b)
{
    while (b) {
        UWide r = a % b;
        a = b;
        b = r;
    }
    return a;
}

// Reduces n/d (d not 0) and moves the sign to the numerator; the arithmetic is done in 128 bits
// so that the magnitude of -2^63 and the products of a division cannot wrap.
void Reduce(Wide n, Wide d, std::int64_t& outN, std::int64_t& outD)
{
    if (d == 0)
        throw KELRationalImp::bad_rational();
    if (n == 0) {
        outN = 0;
        outD = 1;
        return;
    }
    bool negative = (n < 0) != (d < 0);
    UWide un = Magnitude(n), ud = Magnitude(d);
    UWide g = Gcd(un, ud);
    un /= g;
    ud /= g;
    UWide limitN = negative ? UWide { 1 } << 63 : (UWide { 1 } << 63) - 1;
    if (un > limitN || ud > (UWide { 1 } << 63) - 1)
        throw std::overflow_error("rational overflow");
    outN = static_cast<std::int64_t>(negative ? -static_cast<Wide>(un) : static_cast<Wide>(un));
    outD = static_cast<std::int64_t>(ud);
}

} // namespace

Rational::Rational(std::int64_t numerator, std::int64_t denominator)
{
    Reduce(numerator, denominator, mNumerator, mDenominator);
}

Rational& Rational::operator/=(const Rational& divisor)
{
    // (a/b) / (c/d) = (a d) / (b c); a zero divisor has c = 0 and throws bad_rational.
    Reduce(static_cast<Wide>(mNumerator) * divisor.mDenominator, static_cast<Wide>(mDenominator) * divisor.mNumerator,
        mNumerator, mDenominator);
    return *this;
}

} // namespace KEL
