#pragma once
// Etch Markup: the plot-description language every plot is written in. A markup text is a list
// of named properties whose values are numbers, strings, colours, objects, arrays, data
// generators and intervals. ParseEtchMarkup turns the text into the tree below; the translation
// into the page's set-up script lives in MarkupScript.h.
#include <boost/variant.hpp>

#include <array>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace Etch::Markup {

// Empty marker types: the keywords "null", "begin" and "end" and the two interval end types.
struct NullType { };
struct BeginType { };
struct EndType { };
struct OpenInterval { };
struct ClosedInterval { };

// The eight hexadecimal digit characters of a colour as written: red, green, blue, alpha pairs.
struct Colour {
    std::array<char, 8> digits {};
};

struct FloatInterval {
    boost::variant<double, BeginType> begin;
    double step = 0.0;
    boost::variant<double, EndType> end;
};

struct FiniteTickPosition {
    std::int32_t record = 0;
    boost::variant<double, EndType> offset;
};

using TickPosition = boost::variant<EndType, FiniteTickPosition>;

struct TickInterval {
    TickPosition first;
    TickPosition last;
};

struct Interval {
    boost::variant<FloatInterval, TickInterval> range;
    boost::variant<OpenInterval, ClosedInterval> end_type;
};

// A data source that the page evaluates over an interval.
struct Generator {
    std::string expression;
    Interval interval;
};

// A text or labels source.
struct TextGenerator {
    std::string expression;
    Colour colour;
};

struct Object;
struct Array;

// The alternatives keep this order; their indices are part of the tree's contract. Parsing never
// yields the integer alternative (every integer literal is read as a double), but a tree built
// by hand may hold one and the translation writes it.
using Value = boost::variant<double, std::int32_t, bool, TextGenerator, Generator, std::string,
    boost::recursive_wrapper<Object>, Colour, Interval, boost::recursive_wrapper<Array>, NullType>;

enum ValueKind : int {
    kDouble = 0,
    kInteger,
    kBoolean,
    kTextGenerator,
    kGenerator,
    kText,
    kObject,
    kColour,
    kInterval,
    kArray,
    kNull,
};

struct Declaration {
    std::string name; // an identifier, or the text of a quoted string
    Value value;
};

struct Object : std::vector<Declaration> {
    using std::vector<Declaration>::vector;
};

struct Array : std::vector<Value> {
    using std::vector<Value>::vector;
};

struct AST : std::vector<Declaration> {
    using std::vector<Declaration>::vector;
};

} // namespace Etch::Markup

namespace Etch {

// Objects, arrays and their mix may nest this deep; deeper markup is a parse error.
inline constexpr int kMaxMarkupNesting = 64;

// Parses the whole markup. True: `ast` holds the declarations in source order. False: `ast` is
// left empty, `error_text` holds the message and `error_line` the 1-based line of the error; a
// text that does not even start with a declaration fails with an empty text and line 0.
// Never throws.
bool ParseEtchMarkup(std::string_view markup, Markup::AST& ast, std::string& error_text, int& error_line);

} // namespace Etch
