#include <gtest/gtest.h>

#include <cstdint>
#include <limits>
#include <string>

#include "foundation/core/Rational.h"

namespace {

using KEL::Rational;

TEST(RationalTest, ReducedWithTheSignOnTheNumerator)
{
    struct Case {
        std::int64_t n, d, expectN, expectD;
    };
    constexpr std::int64_t kMin = std::numeric_limits<std::int64_t>::min();
    constexpr std::int64_t kMax = std::numeric_limits<std::int64_t>::max();
    const Case cases[] = {
        { 6, -4, -3, 2 },
        { 0, -7, 0, 1 },
        { -6, -4, 3, 2 },
        { 1000, 48000, 1, 48 },
        { kMin, 2, kMin / 2, 1 },
        { kMin, kMin, 1, 1 },
        { kMax, -kMax, -1, 1 },
    };
    for (const Case& c : cases) {
        Rational r(c.n, c.d);
        EXPECT_EQ(r.Numerator(), c.expectN) << c.n << "/" << c.d;
        EXPECT_EQ(r.Denominator(), c.expectD) << c.n << "/" << c.d;
    }
    // -2^63 cannot be a positive denominator: refused instead of wrapping to a negative one.
    EXPECT_THROW(Rational(1, kMin), std::overflow_error);
}

TEST(RationalTest, ZeroDenominatorAndZeroDivisorThrow)
{
    try {
        Rational r(5, 0);
        FAIL() << "no exception";
    } catch (const KELRationalImp::bad_rational& e) {
        EXPECT_EQ(std::string(e.what()), "bad rational: zero denominator");
        EXPECT_NE(dynamic_cast<const std::domain_error*>(&e), nullptr);
    }
    Rational r(3, 4);
    EXPECT_THROW(r /= Rational(0, 9), KELRationalImp::bad_rational);
    EXPECT_EQ(r, Rational(3, 4)); // unchanged
}

TEST(RationalTest, DivisionIsReducedAndDoesNotWrap)
{
    Rational r(3, 4);
    r /= Rational(-9, 8);
    EXPECT_EQ(r.Numerator(), -2);
    EXPECT_EQ(r.Denominator(), 3);

    // Intermediate products beyond 64 bits reduce to a representable result.
    constexpr std::int64_t kBig = std::int64_t { 1 } << 62;
    Rational big(kBig, 3);
    big /= Rational(kBig, 5);
    EXPECT_EQ(big, Rational(5, 3));

    Rational huge(kBig, 1);
    EXPECT_THROW(huge /= Rational(1, 8), std::overflow_error);
}

} // namespace
