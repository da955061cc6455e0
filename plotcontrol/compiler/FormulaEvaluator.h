#pragma once
// Formulas of one variable "t" that a plot's data generators name, such as "sin(2*pi*t)". The
// expression is compiled once into a small stack program that then runs for each of a sequence
// of equally spaced values of t.
#include <cstdint>
#include <string_view>
#include <variant>
#include <vector>

namespace Etch {

enum FormulaOp : std::int32_t {
    kFormulaNegate = 0,
    kFormulaAdd = 1,
    kFormulaSubtract = 2,
    kFormulaMultiply = 3,
    kFormulaDivide = 4,
    kFormulaModulo = 5,
    kFormulaPower = 6,
    kFormulaSin = 7,
    kFormulaCos = 8,
    kFormulaTan = 9,
    kFormulaSqrt = 10,
    kFormulaLog = 11,
    kFormulaLn = 12,
    kFormulaRound = 13,
    kFormulaCeil = 14,
    kFormulaFloor = 15,
    kFormulaVariable = 16,
    kFormulaNumber = 17, // the next cell holds the number
};

// A cell is an operation code or, after kFormulaNumber, a number.
using FormulaCell = std::variant<std::int32_t, double>;
using FormulaProgram = std::vector<FormulaCell>;

// Parentheses, function calls and unary signs may nest this deep; deeper is a syntax error.
inline constexpr int kMaxFormulaNesting = 64;

// The most values one evaluation produces, whatever count the page asks for.
inline constexpr std::int32_t kMaxFormulaValues = 1 << 20;

// Compiles the whole expression (only white space may follow it) into `program`. False on a
// syntax error; an expectation failure is also written to the diagnostic log.
bool CompileFormula(std::string_view expression, FormulaProgram& program);

// Runs one program with the variable at `variable` and leaves the result on top of `stack`. A
// program that pops more than it pushed leaves NaN on top instead.
void RunFormulaProgram(const FormulaProgram& program, double variable, std::vector<double>& stack);

// Computes min(count, kMaxFormulaValues) values (none for a negative count), the i-th with t at
// start plus i steps, added one step at a time. True with the values; false when the expression
// does not compile, with as many NaNs (bit pattern 0x7FF8600000000000) instead.
bool EvaluateFormula(
    std::string_view expression, double start, double step, std::int32_t count, std::vector<double>& values);

} // namespace Etch
