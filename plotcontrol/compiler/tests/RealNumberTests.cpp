// Numbers in markup and in formulas: both grammars read them the same way, correctly rounded.
#include "plotcontrol/compiler/EtchMarkup.h"
#include "plotcontrol/compiler/FormulaEvaluator.h"

#include "log/Log.h"

#include <gtest/gtest.h>

#include <cmath>
#include <optional>
#include <string>
#include <vector>

namespace {

std::optional<double> FromMarkup(const std::string& numeral)
{
    Etch::Markup::AST ast;
    std::string error;
    int line = 0;
    const vx::log::Capture log;
    if (!Etch::ParseEtchMarkup("n: " + numeral, ast, error, line) || ast.size() != 1)
        return std::nullopt;
    return boost::get<double>(ast[0].value);
}

std::optional<double> FromFormula(const std::string& numeral)
{
    std::vector<double> values;
    const vx::log::Capture log;
    if (!Etch::EvaluateFormula(numeral, 0, 1, 1, values) || values.size() != 1)
        return std::nullopt;
    return values[0];
}

const std::string kZeros700(700, '0');

TEST(RealNumber, LongAndExtremeNumeralsAreReadCorrectlyRounded)
{
    const struct {
        std::string numeral;
        double expected;
    } cases[] = {
        { "0.1", 0.1 },
        { "794.585", 794.585 },
        { "-1e-3", -1e-3 },
        { "+.5", 0.5 },
        { "5.", 5.0 },
        { "1E3", 1000.0 },
        // A fraction longer than any double: read whole, not scaled by a wrong power of ten.
        { "." + kZeros700 + "13", 0.0 },
        { "5." + kZeros700 + "13", 5.0 },
        { "0.00000000000000000000123456789012345678901234567890",
            0.00000000000000000000123456789012345678901234567890 },
        { "123456789012345678901234567890e-10", 123456789012345678901234567890e-10 },
        { "1e-320", 1e-320 },
        // Too small for a double: zero of its sign.
        { "1e-400", 0.0 },
        { "-1e-400", -0.0 },
        { "1.7976931348623157e308", 1.7976931348623157e308 },
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.numeral.substr(0, 40));
        for (const auto& read : { FromMarkup(c.numeral), FromFormula(c.numeral) }) {
            ASSERT_TRUE(read.has_value());
            EXPECT_EQ(*read, c.expected);
            EXPECT_EQ(std::signbit(*read), std::signbit(c.expected));
        }
    }
}

TEST(RealNumber, WhatIsNoNumberIsRefusedByBoth)
{
    for (const char* text : { "1.8e308", "1e999", "-1e999", "nan", "inf", "-inf", "infinity", "0x10", ".", "e5" }) {
        SCOPED_TRACE(text);
        EXPECT_FALSE(FromMarkup(text).has_value());
        EXPECT_FALSE(FromFormula(text).has_value());
    }
}

} // namespace
