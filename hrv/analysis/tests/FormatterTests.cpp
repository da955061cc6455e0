#include "hrv/analysis/ValueFormatter.h"

#include <gtest/gtest.h>

#include "hrv/analysis/tests/TestBeats.h"

#include <cmath>
#include <limits>

using namespace HRV;
using HRV::test::Beat;

namespace {

TEST(ValueFormatter, EngineeringNotationAtGivenExponent)
{
    struct Case {
        double value;
        const wchar_t* unit;
        int exponent;
        const wchar_t* expected;
    };
    const double inf = std::numeric_limits<double>::infinity();
    const Case cases[] = {
        { 0.8, L"s", -3, L"800 ms" },
        { 1234.0, L"s", 3, L"1.234 ks" },
        { 0.012, L"s", -3, L"12 ms" },
        { 0.8, L"s", 0, L"0.8 s" },
        { 0.0, L"s", 0, L"0 s" },
        { 0.0, L"s", -3, L"0 ms" },
        { 0.0012344, L"s", -6, L"1234 \u00B5s" }, // four significant digits
        { 1.5, L"", 0, L"1.5" },
        { 2e-30, L"s", -40, L"2e-06 ys" }, // exponent clamped to -24
        { 5.0, L"V", 1, L"0.5 V" }, // no prefix for an exponent that is not a multiple of 3
        { std::nan(""), L"s", -3, L"no data" },
        { inf, L"s", -3, L"no data" },
        { -inf, L"", 0, L"no data" },
    };
    for (const Case& c : cases) {
        std::wstring out;
        ValueFormatter(c.value, c.unit).Format(out, c.exponent);
        EXPECT_EQ(out, c.expected) << c.value << " at " << c.exponent;
    }
}

TEST(ValueFormatter, ConstructionAndAuto)
{
    ValueFormatter a(0.8);
    EXPECT_DOUBLE_EQ(a.mMantissa, 800.0);
    EXPECT_EQ(a.mExponent, -3);
    ValueFormatter b(1234.0);
    EXPECT_DOUBLE_EQ(b.mMantissa, 1.234);
    EXPECT_EQ(b.mExponent, 3);
    ValueFormatter c(-0.012);
    EXPECT_DOUBLE_EQ(c.mMantissa, -12.0);
    EXPECT_EQ(c.mExponent, -3);
    std::wstring out;
    ValueFormatter(0.0015, L"s").FormatAuto(out);
    EXPECT_EQ(out, L"1.5 ms");
    ValueFormatter(0.0015).FormatAuto(out);
    EXPECT_EQ(out, L"0.0015");
    ValueFormatter(0.0015).FormatAuto(out, L"V");
    EXPECT_EQ(out, L"1.5 mV");
}

TEST(BeatHint, TextsAndClassWords)
{
    const double nan = MissingValue();
    EXPECT_EQ(BeatHintText(Beat(0.8, 0.01, 1.5, 0x300)), L"HRV Beat 12: RR = 800 ms; FF = 1.5 (Normal)");
    EXPECT_EQ(BeatHintText(Beat(nan, nan, 1.2, 255, 1)), L"HRV Beat 1: RR = no data; FF = 1.2 (Unknown)");
    EXPECT_EQ(BeatHintText(Beat(0.8, 0.01, nan, 255)), L"HRV Beat 12: RR = 800 ms; FF = no data (Unknown)");
    // A user-added beat inside both boxes after an ectopic one, with exclusion on: no 0x200.
    EXPECT_EQ(BeatClassWord(Beat(0.9, 0.2, 1.2, 0x10100)), L"Unused");
    EXPECT_EQ(BeatClassWord(Beat(1.4, 0.2, 1.2, 0x1)), L"Ectopic");
    EXPECT_EQ(BeatClassWord(Beat(1.0, 0.0, 2.0, 0x302)), L"Ectopic");
    FiducialEvent none = Beat(0.8, 0.0, 1.2, 0x300);
    none.mPosition = kEventEnd;
    EXPECT_EQ(BeatClassWord(none), L"Unknown");
}

} // namespace
