#include "plotcontrol/compiler/FormulaEvaluator.h"

#include "plotcontrol/compiler/RealNumber.h"

#include "log/Log.h"

#include <boost/phoenix/bind.hpp>
#include <boost/phoenix/core.hpp>
#include <boost/phoenix/operator.hpp>
#include <boost/spirit/include/qi.hpp>

#include <algorithm>
#include <bit>
#include <cmath>
#include <exception>
#include <limits>
#include <sstream>

namespace Etch {
namespace {

namespace qi = boost::spirit::qi;
namespace phx = boost::phoenix;

using Iterator = const char*;
using Skipper = qi::ascii::space_type;

// The constants as the formula language has always defined them: eight decimals, not the full
// double precision.
constexpr double kPi = 3.14159265;
constexpr double kE = 2.71828183;

// Precedence, loosest first: + and -, then * / %, then ^ (left to right, so 2^3^2 is 64), then a
// factor: a number, pi, e, a parenthesised expression, a function call, t, or a sign and a
// factor. Every operation is emitted after its operands, so the program runs as postfix.
class FormulaGrammar : public qi::grammar<Iterator, Skipper> {
    qi::rule<Iterator, Skipper> formula, expression, term, power, factor, deeper, shallower;

    auto Emit(FormulaOp op) { return phx::bind(&FormulaGrammar::EmitOp, this, op); }

    auto Call(const char* name, FormulaOp op)
    {
        return qi::copy((qi::lit(name) > deeper > expression > qi::lit(')') > shallower)[Emit(op)]);
    }

public:
    FormulaGrammar(std::string_view text, FormulaProgram& program)
        : FormulaGrammar::base_type(formula, "formula")
        , mText(text)
        , mProgram(program)
    {
        using qi::lit;
        formula = expression.alias();
        expression = term >> *((lit('+') > term)[Emit(kFormulaAdd)] | (lit('-') > term)[Emit(kFormulaSubtract)]);
        term = power >> *((lit('*') > power)[Emit(kFormulaMultiply)] | (lit('/') > power)[Emit(kFormulaDivide)]
                   | (lit('%') > power)[Emit(kFormulaModulo)]);
        power = factor >> *((lit('^') > factor)[Emit(kFormulaPower)]);
        factor = mReal[phx::bind(&FormulaGrammar::EmitNumber, this, qi::_1)]
            | lit("pi")[phx::bind(&FormulaGrammar::EmitNumber, this, kPi)]
            | lit("e")[phx::bind(&FormulaGrammar::EmitNumber, this, kE)]
            | (lit('(') > deeper > expression > lit(')') > shallower) | Call("sin(", kFormulaSin)
            | Call("cos(", kFormulaCos) | Call("tan(", kFormulaTan) | Call("round(", kFormulaRound)
            | Call("ceil(", kFormulaCeil) | Call("floor(", kFormulaFloor) | Call("sqrt(", kFormulaSqrt)
            | Call("log(", kFormulaLog) | Call("ln(", kFormulaLn) | lit('t')[Emit(kFormulaVariable)]
            | (lit('-') > deeper > factor > shallower)[Emit(kFormulaNegate)] | (lit('+') > deeper > factor > shallower);
        deeper = qi::eps[qi::_pass = phx::bind(&FormulaGrammar::Enter, this)];
        shallower = qi::eps[phx::bind(&FormulaGrammar::Leave, this)];

        expression.name("expression");
        term.name("term");
        power.name("power");
        factor.name("factor");
        deeper.name("at most 64 levels of nesting");

        qi::on_error<qi::fail>(formula, phx::bind(&FormulaGrammar::OnExpectationFailure, this, qi::_3, qi::_4));
    }

private:
    void EmitOp(FormulaOp op) { mProgram.emplace_back(static_cast<std::int32_t>(op)); }

    void EmitNumber(double value)
    {
        mProgram.emplace_back(static_cast<std::int32_t>(kFormulaNumber));
        mProgram.emplace_back(value);
    }

    bool Enter() { return ++mDepth <= kMaxFormulaNesting; }
    void Leave() { --mDepth; }

    void OnExpectationFailure(Iterator where, const boost::spirit::info& what)
    {
        // A page may send any text; the line shows enough of the rest to find the place.
        constexpr std::size_t kShownRest = 200;
        const std::string_view rest = mText.substr(static_cast<std::size_t>(where - mText.data()));
        std::ostringstream line;
        line << "Expecting " << what << " here: \"" << rest.substr(0, kShownRest)
             << (rest.size() > kShownRest ? "..." : "") << '"';
        vx::log::WriteLine(line.str());
    }

    RealNumber mReal;
    std::string_view mText;
    FormulaProgram& mProgram;
    int mDepth = 0;
};

double Pop(std::vector<double>& stack)
{
    const double value = stack.back();
    stack.pop_back();
    return value;
}

// Applies one operation to the stack; false when the stack holds too few operands.
bool Apply(std::int32_t op, std::vector<double>& stack)
{
    const std::size_t operands = op >= kFormulaAdd && op <= kFormulaPower ? 2 : 1;
    if (stack.size() < operands)
        return false;
    if (operands == 2) {
        const double b = Pop(stack);
        double& a = stack.back();
        switch (op) {
        case kFormulaAdd:
            a = a + b;
            break;
        case kFormulaSubtract:
            a = a - b;
            break;
        case kFormulaMultiply:
            a = a * b;
            break;
        case kFormulaDivide:
            a = a / b;
            break;
        case kFormulaModulo:
            a = a - std::floor(a / b) * b;
            break;
        default:
            a = std::pow(a, b);
            break;
        }
        return true;
    }
    double& top = stack.back();
    switch (op) {
    case kFormulaNegate:
        top = -top;
        break;
    case kFormulaSin:
        top = std::sin(top);
        break;
    case kFormulaCos:
        top = std::cos(top);
        break;
    case kFormulaTan:
        top = std::tan(top);
        break;
    case kFormulaSqrt:
        top = std::sqrt(top);
        break;
    case kFormulaLog:
        top = std::log10(top);
        break;
    case kFormulaLn:
        top = std::log(top);
        break;
    case kFormulaRound:
        top = std::floor(top + 0.5);
        break;
    case kFormulaCeil:
        top = std::ceil(top);
        break;
    case kFormulaFloor:
        top = std::floor(top);
        break;
    default:
        return false;
    }
    return true;
}

} // namespace

bool CompileFormula(std::string_view expression, FormulaProgram& program)
{
    program.clear();
    try {
        FormulaGrammar grammar(expression, program);
        Iterator first = expression.data();
        const Iterator last = expression.data() + expression.size();
        if (qi::phrase_parse(first, last, grammar, qi::ascii::space) && first == last)
            return true;
    } catch (const std::exception& e) {
        vx::log::WriteLine(std::string("CompileFormula: ") + e.what());
    }
    program.clear();
    return false;
}

void RunFormulaProgram(const FormulaProgram& program, double variable, std::vector<double>& stack)
{
    for (std::size_t i = 0; i < program.size(); ++i) {
        const std::int32_t op = std::get<std::int32_t>(program[i]);
        bool applied = true;
        if (op == kFormulaVariable)
            stack.push_back(variable);
        else if (op == kFormulaNumber && ++i < program.size())
            stack.push_back(std::get<double>(program[i]));
        else if (op == kFormulaNumber)
            applied = false; // the number cell is missing
        else
            applied = Apply(op, stack);
        if (!applied) {
            stack.push_back(std::numeric_limits<double>::quiet_NaN());
            return;
        }
    }
}

bool EvaluateFormula(
    std::string_view expression, double start, double step, std::int32_t count, std::vector<double>& values)
{
    const std::size_t n = static_cast<std::size_t>(std::clamp(count, 0, kMaxFormulaValues));
    FormulaProgram program;
    if (!CompileFormula(expression, program)) {
        values.assign(n, std::bit_cast<double>(std::uint64_t { 0x7FF8600000000000 }));
        return false;
    }
    values.clear();
    values.reserve(n);
    std::vector<double> stack;
    stack.reserve(4096);
    double t = start;
    for (std::size_t i = 0; i < n; ++i) {
        stack.clear();
        RunFormulaProgram(program, t, stack);
        values.push_back(stack.empty() ? std::numeric_limits<double>::quiet_NaN() : stack.back());
        t += step;
    }
    return true;
}

} // namespace Etch
