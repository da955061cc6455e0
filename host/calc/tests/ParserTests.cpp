#include "host/calc/CalcError.h"
#include "host/calc/Parser.h"

#include <gtest/gtest.h>

#include <locale>
#include <sstream>
#include <string>

using namespace vx::calc;

namespace {

// Prints a tree in prefix form, so that a table can state the expected structure.
std::string Print(const Node& node)
{
    std::ostringstream out;
    std::visit(
        [&](const auto& n) {
            using T = std::decay_t<decltype(n)>;
            if constexpr (std::is_same_v<T, NumberNode>)
                out << n.value;
            else if constexpr (std::is_same_v<T, ChannelNode>)
                out << (n.kind == ChannelNode::Kind::Raw    ? "raw"
                        : n.kind == ChannelNode::Kind::View ? "view"
                                                            : "ch")
                    << n.index;
            else if constexpr (std::is_same_v<T, NameNode>)
                out << std::string(n.name.begin(), n.name.end());
            else if constexpr (std::is_same_v<T, UnaryNode>)
                out << "(" << static_cast<char>(n.op) << " " << Print(*n.operand) << ")";
            else if constexpr (std::is_same_v<T, BinaryNode>)
                out << "(" << static_cast<char>(n.op) << " " << Print(*n.left) << " " << Print(*n.right) << ")";
            else {
                out << std::string(n.name.begin(), n.name.end()) << "[";
                for (std::size_t i = 0; i < n.args.size(); ++i)
                    out << (i ? " " : "") << Print(*n.args[i]);
                out << "]";
            }
        },
        node.value);
    return out.str();
}

TEST(Parser, GoodFormulas)
{
    const struct {
        const wchar_t* text;
        const char* tree;
    } cases[] = {
        { L"1+2*3", "(+ 1 (* 2 3))" },
        { L"(1+2)*3", "(* (+ 1 2) 3)" },
        { L"1-2-3", "(- (- 1 2) 3)" },
        { L"8/4/2", "(/ (/ 8 4) 2)" },
        { L"-Ch1", "(- ch0)" },
        { L"--2", "(- (- 2))" },
        { L"+ 4", "(+ 4)" },
        { L"2*-3", "(* 2 (- 3))" },
        { L"ch3", "ch2" },
        { L"channel3", "ch2" },
        { L"CHANNEL3", "ch2" },
        { L"RCh2", "raw1" },
        { L"rchannel2", "raw1" },
        { L"vCh10", "view9" },
        { L"Chest", "Chest" },
        { L"Ch1x", "Ch1x" },
        { L"HRV_vLPF", "HRV_vLPF" },
        { L"1.5e-3", "0.0015" },
        { L".5", "0.5" },
        { L"2.", "2" },
        { L"1E+2", "100" },
        { L"  lowpass ( Ch1 , 30 )  ", "lowpass[ch0 30]" },
        { L"f()", "f[]" },
        { L"HRV_vDIF * HRV_vDIF + HRV_vHLB * HRV_vHLB", "(+ (* HRV_vDIF HRV_vDIF) (* HRV_vHLB HRV_vHLB))" },
        { L"fiducial(ch1,cmpeakdet(ch1,0.5,0.01,10.0),0.1,0,0,2,0,2,0,0,2147483647,2147483647,0)",
            "fiducial[ch0 cmpeakdet[ch0 0.5 0.01 10] 0.1 0 0 2 0 2 0 0 2.14748e+09 2.14748e+09 0]" },
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(std::string(c.tree));
        NodePtr tree = ParseFormula(c.text);
        EXPECT_EQ(Print(*tree), c.tree);
    }
}

TEST(Parser, BadFormulasReportTheirPosition)
{
    const struct {
        const wchar_t* text;
        std::size_t position;
        const char* words; // part of the message
    } cases[] = {
        { L"", 0, "empty" },
        { L"   ", 3, "empty" },
        { L"1+", 2, "ends" },
        { L"(1", 2, "missing ')'" },
        { L"1)", 1, "unexpected ')'" },
        { L"lowpass(Ch1", 11, "missing ')'" },
        { L"lowpass(Ch1,)", 12, "unexpected ')'" },
        { L"lowpass(Ch1 30)", 12, "expected ',' or ')'" },
        { L"1e", 1, "exponent" },
        { L"1e+", 1, "exponent" },
        { L"3x", 1, "runs into a name" },
        { L".", 0, "digit" },
        { L"1..2", 2, "after a complete expression" },
        { L"a b", 2, "after a complete expression" },
        { L"@", 0, "unexpected '@'" },
        { L"Ch0", 0, "start at 1" },
        { L"2*Ch99999999", 2, "too large" },
        { L"1e999", 0, "out of range" },
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(std::string(c.text, c.text + std::wcslen(c.text)));
        try {
            ParseFormula(c.text);
            ADD_FAILURE() << "parsed";
        } catch (const FormulaError& e) {
            EXPECT_EQ(e.Position(), c.position) << e.what();
            EXPECT_NE(e.Message().find(c.words), std::string::npos) << e.what();
        }
    }
}

TEST(Parser, DeepNestingIsAnErrorNotACrash)
{
    std::wstring deep(100000, L'(');
    EXPECT_THROW(ParseFormula(deep + L"1"), FormulaError);
    std::wstring minus(100000, L'-');
    EXPECT_THROW(ParseFormula(minus + L"1"), FormulaError);
    std::wstring calls;
    for (int i = 0; i < 5000; ++i)
        calls += L"f(";
    EXPECT_THROW(ParseFormula(calls), FormulaError);
}

// A process locale with a decimal comma must not change how formulas read numbers.
TEST(Parser, NumbersUseTheClassicLocale)
{
    struct CommaPunct : std::numpunct<char> {
        char do_decimal_point() const override { return ','; }
    };
    const std::locale previous = std::locale::global(std::locale(std::locale::classic(), new CommaPunct));
    NodePtr tree = ParseFormula(L"0.25");
    std::locale::global(previous);
    EXPECT_EQ(std::get<NumberNode>(tree->value).value, 0.25);
}

} // namespace
