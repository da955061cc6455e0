#pragma once
#include "host/calc/Ast.h"

#include <string_view>

namespace vx::calc {

// Parses a formula into its tree. Grammar (whitespace is free between tokens):
//   expr    := term (('+' | '-') term)*
//   term    := unary (('*' | '/') unary)*
//   unary   := ('-' | '+') unary | primary
//   primary := number | name | name '(' [expr (',' expr)*] ')' | '(' expr ')'
// Numbers are read in the classic locale ("." decimal point, optional exponent) whatever the
// process locale is. Names matching [r|v](ch|channel)<digits> in any case are channel references.
// Throws FormulaError with the position of the first problem; never returns a partial tree.
NodePtr ParseFormula(std::wstring_view text);

} // namespace vx::calc
