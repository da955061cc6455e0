#include "plotcontrol/compiler/FormulaEvaluator.h"

#include "log/Log.h"

#include <gtest/gtest.h>

#include <bit>
#include <cmath>
#include <limits>
#include <string>
#include <vector>

namespace {

constexpr double kInf = std::numeric_limits<double>::infinity();
constexpr std::uint64_t kFillNaNBits = 0x7FF8600000000000;

struct ValueCase {
    const char* expression;
    double start;
    double step;
    std::int32_t count;
    std::vector<double> expected;
};

const ValueCase kValueCases[] = {
    { "t", 0, 0.5, 3, { 0, 0.5, 1 } },
    { " t * 2 ", 1, 1, 2, { 2, 4 } },
    { "2+3*4", 0, 1, 1, { 14 } },
    { "(2+3)*4", 0, 1, 1, { 20 } },
    { "10-4-3", 0, 1, 1, { 3 } },
    { "8/4/2", 0, 1, 1, { 1 } },
    { "2^3^2", 0, 1, 1, { 64 } },
    { "-2^2", 0, 1, 1, { 4 } },
    { "-t^2", 3, 1, 1, { 9 } },
    { "7%3", 0, 1, 1, { 1 } },
    { "-7%3", 0, 1, 1, { 2 } },
    { "7.5%-2", 0, 1, 1, { -0.5 } },
    { "round(2.5)", 0, 1, 1, { 3 } },
    { "round(-2.5)", 0, 1, 1, { -2 } },
    { "ceil(1.2)+floor(-1.2)", 0, 1, 1, { 0 } },
    { "sqrt(16)+log(1000)+ln(1)", 0, 1, 1, { 7 } },
    { "sin(0)+cos(0)+tan(0)", 0, 1, 1, { 1 } },
    { "pi", 0, 1, 1, { 3.14159265 } },
    { "e", 0, 1, 1, { 2.71828183 } },
    { "2*-t", 1, 1, 2, { -2, -4 } },
    { "--t", 1, 1, 1, { 1 } },
    { "+-+t", 1, 1, 1, { -1 } },
    { "1/0", 0, 1, 1, { kInf } },
    { "-1/t", 0, 1, 1, { -kInf } },
    // t advances by adding the step after each value, so rounding accumulates as it does when
    // the page steps along its pixels.
    { "t", 0, 0.1, 11,
        { 0, 0.1, 0.2, 0.30000000000000004, 0.4, 0.5, 0.6, 0.7, 0.7999999999999999, 0.8999999999999999,
            0.9999999999999999 } },
};

TEST(FormulaEvaluator, ComputesValues)
{
    for (const ValueCase& c : kValueCases) {
        SCOPED_TRACE(c.expression);
        std::vector<double> values { 99 };
        EXPECT_TRUE(Etch::EvaluateFormula(c.expression, c.start, c.step, c.count, values));
        EXPECT_EQ(values, c.expected);
    }
    std::vector<double> values;
    EXPECT_TRUE(Etch::EvaluateFormula("sqrt(-1)", 0, 1, 1, values));
    ASSERT_EQ(values.size(), 1u);
    EXPECT_TRUE(std::isnan(values[0]));
}

// Each rejected expression gives `count` copies of one particular NaN and false.
TEST(FormulaEvaluator, SyntaxErrorsGiveTheFillNaNs)
{
    const char* const rejected[] = { "sin(t", "", "   ", "exp(1)", "2e", "t t", "2*", "(1+2", "1 +", "sinx(1)",
        "sin (t)", "T", "1e999", "1e999+t", "x" };
    const vx::log::Capture log; // the expectation failures among them are logged
    for (const char* expression : rejected) {
        SCOPED_TRACE(expression);
        std::vector<double> values { 1, 2, 3, 4, 5 };
        EXPECT_FALSE(Etch::EvaluateFormula(expression, 0, 1, 3, values));
        ASSERT_EQ(values.size(), 3u);
        for (double v : values)
            EXPECT_EQ(std::bit_cast<std::uint64_t>(v), kFillNaNBits);
    }
}

TEST(FormulaEvaluator, ExpectationFailuresGoToTheDiagnosticLog)
{
    vx::log::Capture log;
    testing::internal::CaptureStdout();
    std::vector<double> values;
    EXPECT_FALSE(Etch::EvaluateFormula("sin(t", 0, 1, 1, values));
    EXPECT_FALSE(Etch::EvaluateFormula("2 * ", 0, 1, 1, values));
    EXPECT_FALSE(Etch::EvaluateFormula("(" + std::string(500, 'x'), 0, 1, 1, values));
    EXPECT_EQ(testing::internal::GetCapturedStdout(), "");
    EXPECT_EQ(log.Lines(),
        (std::vector<std::string> { "Expecting \")\" here: \"\"", "Expecting <power> here: \" \"",
            "Expecting <expression> here: \"" + std::string(200, 'x') + "...\"" }));
}

TEST(FormulaEvaluator, CountsAreBounded)
{
    std::vector<double> values { 1 };
    EXPECT_TRUE(Etch::EvaluateFormula("t", 0, 1, 0, values));
    EXPECT_TRUE(values.empty());
    values = { 1 };
    EXPECT_FALSE(Etch::EvaluateFormula("(", 0, 1, 0, values));
    EXPECT_TRUE(values.empty());
    EXPECT_TRUE(Etch::EvaluateFormula("t", 0, 1, -5, values));
    EXPECT_TRUE(values.empty());

    // A page asking for every value there might be gets at most the bound, valid or not.
    EXPECT_TRUE(Etch::EvaluateFormula("t", 0, 1, 2147483647, values));
    ASSERT_EQ(values.size(), static_cast<std::size_t>(Etch::kMaxFormulaValues));
    EXPECT_EQ(values.back(), Etch::kMaxFormulaValues - 1);
    EXPECT_FALSE(Etch::EvaluateFormula("sin(", 0, 1, 2147483647, values));
    EXPECT_EQ(values.size(), static_cast<std::size_t>(Etch::kMaxFormulaValues));
    EXPECT_LE(values.capacity(), static_cast<std::size_t>(Etch::kMaxFormulaValues) * 2);
}

std::string Repeat(const std::string& part, int times)
{
    std::string text;
    for (int i = 0; i < times; ++i)
        text += part;
    return text;
}

TEST(FormulaEvaluator, NestingIsLimitedNotAStackOverflow)
{
    struct Case {
        std::string open, inner, close;
    };
    const Case cases[]
        = { { "(", "t", ")" }, { "sin(", "t", ")" }, { "-", "t", "" }, { "+", "t", "" }, { "2^(", "1", ")" } };
    vx::log::Capture log;
    for (const Case& c : cases) {
        SCOPED_TRACE(c.open);
        const int max = Etch::kMaxFormulaNesting;
        std::vector<double> values;
        EXPECT_TRUE(Etch::EvaluateFormula(Repeat(c.open, max) + c.inner + Repeat(c.close, max), 1, 1, 1, values));
        EXPECT_FALSE(
            Etch::EvaluateFormula(Repeat(c.open, max + 1) + c.inner + Repeat(c.close, max + 1), 1, 1, 1, values));
        EXPECT_FALSE(
            Etch::EvaluateFormula(Repeat(c.open, 100000) + c.inner + Repeat(c.close, 100000), 1, 1, 1, values));
        ASSERT_FALSE(log.Lines().empty());
        EXPECT_TRUE(log.Lines().back().starts_with("Expecting <at most 64 levels of nesting> here: "))
            << log.Lines().back();
    }
}

TEST(FormulaEvaluator, CompilesToPostfixOperationCodes)
{
    struct Case {
        const char* expression;
        Etch::FormulaProgram program;
    };
    const Case cases[] = {
        { "2+3*4", { 17, 2.0, 17, 3.0, 17, 4.0, 3, 1 } },
        { "-t", { 16, 0 } },
        { "sin(t)^pi", { 16, 7, 17, 3.14159265, 6 } },
        { "round(t)%ceil(t)-floor(t)/sqrt(t)", { 16, 13, 16, 14, 5, 16, 15, 16, 10, 4, 2 } },
        { "log(t)+ln(e)", { 16, 11, 17, 2.71828183, 12, 1 } },
        { "cos(t)*tan(+t)", { 16, 8, 16, 9, 3 } },
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.expression);
        Etch::FormulaProgram program;
        EXPECT_TRUE(Etch::CompileFormula(c.expression, program));
        EXPECT_EQ(program, c.program);
    }
}

// Programs that do not come from the grammar: too few operands, a missing number cell or an
// unknown code leave NaN on top of the stack instead of reading past its end.
TEST(FormulaEvaluator, MalformedProgramsYieldNaN)
{
    const Etch::FormulaProgram programs[] = { { 1 }, { 16, 6 }, { 0 }, { 17 }, { 16, 99 }, { 16, -1 } };
    for (const Etch::FormulaProgram& program : programs) {
        std::vector<double> stack;
        Etch::RunFormulaProgram(program, 2.0, stack);
        ASSERT_FALSE(stack.empty());
        EXPECT_TRUE(std::isnan(stack.back()));
    }
    std::vector<double> stack;
    Etch::RunFormulaProgram({ 16, 17, 3.0, 6 }, 2.0, stack);
    EXPECT_EQ(stack, std::vector<double> { 8.0 });
}

} // namespace
