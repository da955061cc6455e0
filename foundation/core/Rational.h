#pragma once
// Exact fractions of two 64-bit integers, used for time-base ratios.
#include <cstdint>
#include <stdexcept>

namespace KELRationalImp {

// Thrown for a zero denominator or a division by zero.
class bad_rational : public std::domain_error {
public:
    bad_rational()
        : std::domain_error("bad rational: zero denominator")
    {
    }
};

} // namespace KELRationalImp

namespace KEL {

// Always reduced, denominator positive, zero is 0/1. A result whose numerator or denominator
// does not fit in 64 bits (such as 1 / -2^63) throws std::overflow_error rather than wrapping.
class Rational {
public:
    Rational() = default;
    Rational(std::int64_t numerator, std::int64_t denominator = 1);

    std::int64_t Numerator() const noexcept { return mNumerator; }
    std::int64_t Denominator() const noexcept { return mDenominator; }

    Rational& operator/=(const Rational& divisor);

    friend bool operator==(const Rational&, const Rational&) = default;

private:
    std::int64_t mNumerator = 0;
    std::int64_t mDenominator = 1;
};

} // namespace KEL
