#pragma once
// The text forms of a message class's parameter description: a comma-separated list of fields,
// read in groups of three per parameter (type name, parameter text, value list). A field that
// holds commas is wrapped in "{{" and "}}". In a parameter text each ";" stands for ","; in a
// value list ";;" stands for ",".
#include <string>
#include <string_view>
#include <vector>

namespace KEL {

// Type codes of parameter type names.
enum ParamType : int {
    kParamTypeOther = 0,
    kParamTypeString = 2,
    kParamTypeSafeArray = 3,
    kParamTypeRect = 4,
    kParamTypeBool = 5,
};

// The type code of a parameter type name, compared character for character ("string", "safearray",
// "rect", "bool"); callers lower-case the name first.
int ParamTypeFromName(std::wstring_view name);

// Cuts the text at each ","; a field that starts with "{{" runs up to the piece that ends with
// "}}" (or to the end of the text), loses its markers, and its pieces are joined with ", ".
// An empty text has no fields.
std::vector<std::wstring> SplitMessageFields(std::wstring_view text);

// Replaces every occurrence of `from`, scanning left to right; the text between occurrences
// stays as it was. An empty `from` replaces nothing.
std::wstring ReplaceAllText(std::wstring_view text, std::wstring_view from, std::wstring_view to);

// The width of the line labels; continuation lines are indented by as many blanks.
inline constexpr std::wstring_view kNameLabel = L"Name:        ";
inline constexpr std::wstring_view kDescriptionLabel = L"Description: ";
inline constexpr std::wstring_view kParametersLabel = L"Parameters:  ";
inline constexpr std::wstring_view kContinuationIndent = L"             ";

// The readable lines describing a message: its name, its description and one line per
// parameter (only when the fields come in whole groups of three), each but the last parameter
// line ending with ",". Empty parts give no line.
std::vector<std::wstring> DescribeMessageLines(
    std::wstring_view name, std::wstring_view description, std::wstring_view parameterText);

} // namespace KEL
