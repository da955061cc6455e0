#include "plotcontrol/compiler/EtchMarkup.h"

#include <gtest/gtest.h>

#include <string>

namespace {

using namespace Etch::Markup;

struct ParseResult {
    bool ok = false;
    AST ast;
    std::string error_text;
    int error_line = -1;
};

ParseResult Parse(const std::string& markup)
{
    ParseResult r;
    r.ok = Etch::ParseEtchMarkup(markup, r.ast, r.error_text, r.error_line);
    return r;
}

struct ErrorCase {
    const char* markup;
    const char* error_text;
    int error_line;
};

// Every markup here is rejected with exactly this text and line; the text shows the line with
// "_" just after the last significant character before the fault.
const ErrorCase kErrorCases[] = {
    { "a: 1 b: 2", "Missing comma on line 1: a: 1_ b: 2", 1 },
    { "a: nullx", "Missing comma on line 1: a: null_x", 1 },
    { "a: [0:1:end) extra", "Missing comma on line 1: a: [0:1:end)_ extra", 1 },
    { "a: 1,\nb: 2 // two\n  c: 3", "Missing comma on line 2: b: 2_ // two", 2 },
    { "a: 1 // one\n// two\nb: 2", "Missing comma on line 1: a: 1_ // one", 1 },
    { "a: 1,\nb:\n\n  // nothing here\n", "Expected <a datatype> on line 2: b:_", 2 },
    { "a 1", "Expected \":\" on line 1: a_ 1", 1 },
    { "a: #ff0000", "Expected <xdigit> on line 1: a: #_ff0000", 1 },
    { "a: #ff0000zz", "Expected <xdigit> on line 1: a: #_ff0000zz", 1 },
    { "a: { 1 }", "Expected \"}\" on line 1: a: {_ 1 }", 1 },
    { "a: {b 1}", "Expected \":\" on line 1: a: {b_ 1}", 1 },
    { "a: [1 2]", "Expected \"]\" on line 1: a: [1_ 2]", 1 },
    { "a: [1:2]", "Expected \":\" on line 1: a: [1:2_]", 1 },
    { "a: [0:1:10", "Expected <alternative><an open interval><a closed interval> on line 1: a: [0:1:10_", 1 },
    { "a: [end, 1]", "Expected <a tick position> on line 1: a: [end,_ 1]", 1 },
    { "a: [0|x, end]", "Expected <alternative><real><the 'end' keyword> on line 1: a: [0|_x, end]", 1 },
    { "a: 'unterminated", "Expected \"'\" on line 1: a: 'unterminated_", 1 },
    { "a: \"open", "Expected \"\"\" on line 1: a: \"open_", 1 },
    // A backslash escapes only a backslash or the string's own quote.
    { "a: 'x\\q'", "Expected \"'\" on line 1: a: 'x_\\q'", 1 },
    // Numbers must be finite: the library's nan, inf and overflowing literals are not numbers.
    { "a: nan", "Expected <a datatype> on line 1: a:_ nan", 1 },
    { "a: -inf", "Expected <a datatype> on line 1: a:_ -inf", 1 },
    { "a: 1.8e308", "Expected <a datatype> on line 1: a:_ 1.8e308", 1 },
    { "a: [0:1e999:end)", "Expected <real> on line 1: a: [0:_1e999:end)", 1 },
    { "a: [0|inf, end]", "Expected <alternative><real><the 'end' keyword> on line 1: a: [0|_inf, end]", 1 },
    // An out-of-range exponent must not leave the parser half-way into the number.
    { "a: 1e999'x'", "Expected <a datatype> on line 1: a:_ 1e999'x'", 1 },
    // Nothing that starts a declaration: no expectation was involved, so there is no text.
    { "", "", 0 },
    { "  // only a comment\n", "", 0 },
    { "2name: 1", "", 0 },
    { ": 1", "", 0 },
};

TEST(MarkupParser, RejectsWithErrorTextAndLine)
{
    for (const ErrorCase& c : kErrorCases) {
        SCOPED_TRACE(c.markup);
        const ParseResult r = Parse(c.markup);
        EXPECT_FALSE(r.ok);
        EXPECT_EQ(r.error_text, c.error_text);
        EXPECT_EQ(r.error_line, c.error_line);
        EXPECT_TRUE(r.ast.empty());
    }
}

TEST(MarkupParser, AcceptsTheLanguagesForms)
{
    const char* const accepted[] = {
        "a: 1, b: 'x',",
        "name-2: 1",
        "_x: 1",
        "'quoted name': 1, \"double\": 2",
        "a: {}, b: [], c: {d: [1, {e: null},],},",
        "a: .5, b: 5., c: -1e-3, d: +2, e: 1E3",
        "a: true, b: false, c: null",
        "a: #00ff00FF",
        "a: 1 // comment\n, b: 2 // comment at the end without a line feed",
        "a:1,b:'x'[0:1:end),c:'y'#00000000",
        "\r\n\ta : 1 \r\n",
    };
    for (const char* markup : accepted) {
        SCOPED_TRACE(markup);
        const ParseResult r = Parse(markup);
        EXPECT_TRUE(r.ok) << r.error_text;
    }
}

TEST(MarkupParser, ValuesTakeTheirAlternatives)
{
    const ParseResult r = Parse("n: 5, t: true, s: 'x', g: 'sin(t)' [0:1:end), l: 'x' #01020304, o: {}, c: #ffffffff, "
                                "i: [begin:1:end], a: [1], z: null");
    ASSERT_TRUE(r.ok) << r.error_text;
    const int expected[]
        = { kDouble, kBoolean, kText, kGenerator, kTextGenerator, kObject, kColour, kInterval, kArray, kNull };
    ASSERT_EQ(r.ast.size(), std::size(expected));
    for (std::size_t i = 0; i < r.ast.size(); ++i)
        EXPECT_EQ(r.ast[i].value.which(), expected[i]) << r.ast[i].name;
    // An integer literal is a double.
    EXPECT_EQ(boost::get<double>(r.ast[0].value), 5.0);
}

TEST(MarkupParser, StringEscapesYieldTheEscapedCharacter)
{
    struct Case {
        const char* markup;
        std::string value;
    };
    const Case cases[] = {
        { "a: 'it\\'s'", "it's" },
        { "a: 'back\\\\slash'", "back\\slash" },
        { "a: 'ends with \\\\'", "ends with \\" },
        { "a: \"say \\\"hi\\\"\"", "say \"hi\"" },
        { "a: \"it's\"", "it's" },
        { "a: 'say \"hi\"'", "say \"hi\"" },
        { "a: 'Gr\xC3\xBC\xC3\x9F"
          "e // no comment'",
            "Gr\xC3\xBC\xC3\x9F"
            "e // no comment" },
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.markup);
        const ParseResult r = Parse(c.markup);
        ASSERT_TRUE(r.ok) << r.error_text;
        EXPECT_EQ(boost::get<std::string>(r.ast[0].value), c.value);
    }
    // A byte zero is an ordinary character inside a string.
    const ParseResult nul = Parse(std::string("a: 'x\0y'", 8));
    ASSERT_TRUE(nul.ok) << nul.error_text;
    EXPECT_EQ(boost::get<std::string>(nul.ast[0].value), std::string("x\0y", 3));
    // A quoted name is the string's text.
    const ParseResult name = Parse("'my \\'key\\'': 1");
    ASSERT_TRUE(name.ok) << name.error_text;
    EXPECT_EQ(name.ast[0].name, "my 'key'");
}

TEST(MarkupParser, IntervalsKeepTheirBoundsAndEndType)
{
    const ParseResult r = Parse("f: [begin:0.5:10), s: [0|2.5, 3|end], e: [end, end)");
    ASSERT_TRUE(r.ok) << r.error_text;

    const Interval& f = boost::get<Interval>(r.ast[0].value);
    const FloatInterval& fr = boost::get<FloatInterval>(f.range);
    EXPECT_EQ(fr.begin.which(), 1); // begin
    EXPECT_EQ(fr.step, 0.5);
    EXPECT_EQ(boost::get<double>(fr.end), 10.0);
    EXPECT_EQ(f.end_type.which(), 0); // open

    const Interval& s = boost::get<Interval>(r.ast[1].value);
    const TickInterval& sr = boost::get<TickInterval>(s.range);
    const FiniteTickPosition& first = boost::get<FiniteTickPosition>(sr.first);
    EXPECT_EQ(first.record, 0);
    EXPECT_EQ(boost::get<double>(first.offset), 2.5);
    const FiniteTickPosition& last = boost::get<FiniteTickPosition>(sr.last);
    EXPECT_EQ(last.record, 3);
    EXPECT_EQ(last.offset.which(), 1); // end of the record
    EXPECT_EQ(s.end_type.which(), 1); // closed

    const TickInterval& er = boost::get<TickInterval>(boost::get<Interval>(r.ast[2].value).range);
    EXPECT_EQ(er.first.which(), 0);
    EXPECT_EQ(er.last.which(), 0);
}

TEST(MarkupParser, NestedValuesKeepTheirStructure)
{
    const ParseResult r = Parse("o: { k: [1, 'two', { deep: #0A0b0C0d }] }");
    ASSERT_TRUE(r.ok) << r.error_text;
    const Object& o = boost::get<Object>(r.ast[0].value);
    ASSERT_EQ(o.size(), 1u);
    EXPECT_EQ(o[0].name, "k");
    const Array& a = boost::get<Array>(o[0].value);
    ASSERT_EQ(a.size(), 3u);
    EXPECT_EQ(boost::get<std::string>(a[1]), "two");
    const Object& inner = boost::get<Object>(a[2]);
    const Colour& colour = boost::get<Colour>(inner[0].value);
    EXPECT_EQ(std::string(colour.digits.begin(), colour.digits.end()), "0A0b0C0d");
}

std::string Nested(const std::string& open, int depth, const std::string& inner, const std::string& close)
{
    std::string text = "a: ";
    for (int i = 0; i < depth; ++i)
        text += open;
    text += inner;
    for (int i = 0; i < depth; ++i)
        text += close;
    return text;
}

TEST(MarkupParser, NestingIsLimitedNotAStackOverflow)
{
    struct Case {
        std::string open, inner, close;
    };
    const Case cases[] = { { "[", "1", "]" }, { "{b: ", "1", "}" }, { "[{b: ", "1", "}]" } };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.open);
        // Levels count objects and arrays alike; the mixed case has two per repetition.
        const int levels_per_step = c.open.size() == 5 ? 2 : 1;
        const int allowed = Etch::kMaxMarkupNesting / levels_per_step;
        EXPECT_TRUE(Parse(Nested(c.open, allowed, c.inner, c.close)).ok);

        const ParseResult over = Parse(Nested(c.open, allowed + 1, c.inner, c.close));
        EXPECT_FALSE(over.ok);
        EXPECT_EQ(over.error_line, 1);
        EXPECT_TRUE(over.error_text.starts_with("Expected <at most 64 levels of nesting> on line 1: a: "))
            << over.error_text.substr(0, 200);

        const std::string deep_markup = Nested(c.open, 100000, c.inner, c.close);
        const ParseResult deep = Parse(deep_markup);
        EXPECT_FALSE(deep.ok);
        EXPECT_EQ(deep.error_line, 1);
        // The mark sits just after the bracket or brace that opens the 65th level.
        const std::string expected = "Expected <at most 64 levels of nesting> on line 1: "
            + deep_markup.substr(0, 3 + allowed * c.open.size() + 1) + "_";
        EXPECT_EQ(deep.error_text.substr(0, expected.size()), expected);
    }
}

} // namespace
