#include "plotcontrol/compiler/MarkupScript.h"

#include "ScriptCheck.h"

#include <gtest/gtest.h>

#include <locale>
#include <string>

namespace {

using Etch::Test::EvaluateScriptToJson;
using Etch::Test::ScriptSyntaxErrors;

// The whole translation of a markup with the single declaration "a".
std::string OneDeclaration(const std::string& value)
{
    return "[\n{\nproperty_name: 'a',\nmarkup:\n" + value + "\n}\n]";
}

struct TranslationCase {
    const char* markup;
    const char* value; // the translation of a's value
};

const TranslationCase kTranslations[] = {
    // Numbers: classic locale, six significant digits, the shorter of fixed and exponent form.
    { "a: 2", "2" },
    { "a: 1234.5678", "1234.57" },
    { "a: 0.123456789", "0.123457" },
    { "a: 1234567", "1.23457e+06" },
    { "a: 0.00001", "1e-05" },
    { "a: -0.5", "-0.5" },
    { "a: 123456", "123456" },
    { "a: true", "true" },
    { "a: false", "false" },
    { "a: null", "null" },
    { "a: []", "[]" },
    { "a: {}", "{\n\n}" },
    { "a: [1, 'x', [2], null,]", "[1, 'x', [2], null]" },
    { "a: { a: { b: 1 } }", "{\na: {\nb: 1\n}\n}" },
    { "a: { x: 1, y: 'z' }", "{\nx: 1,\ny: 'z'\n}" },
    // Keys that are not script identifiers are quoted; a quote inside one is escaped.
    { "a: { 'b-c': 1, name-2: 2, 'two words': 3, 'it\\'s': 4, '$ok_1': 5, '1st': 6 }",
        "{\n'b-c': 1,\n'name-2': 2,\n'two words': 3,\n'it\\'s': 4,\n$ok_1: 5,\n'1st': 6\n}" },
    { "a: #FF800040", "new etch.Colour(255, 128, 0, 64)" },
    { "a: #00000000", "new etch.Colour(0, 0, 0, 0)" },
    { "a: [0:0.5:end)", "['interval', 0, 0.5, null, etch.kOpenInterval]" },
    { "a: [begin:1:100]", "['interval', null, 1, 100, etch.kClosedInterval]" },
    { "a: 'sin(t)' [begin:1:100]", "['generator', 'sin(t)', ['interval', null, 1, 100, etch.kClosedInterval]]" },
    { "a: 'labels' #00ff00ff", "['text_generator', 'labels', new etch.Colour(0, 255, 0, 255)]" },
    // A sampled interval has no bounds on the page's axis: one explicit form with nulls.
    { "a: [0|0, 3|end]", "['interval', null, null, null, etch.kClosedInterval]" },
    { "a: [end, 2|5)", "['interval', null, null, null, etch.kOpenInterval]" },
    // Texts: backslash, quote, carriage return, line feed and U+2028/U+2029 are escaped.
    { "a: 'q\\'uote'", "'q\\'uote'" },
    { "a: 'back\\\\slash'", "'back\\\\slash'" },
    { "a: 'ends with a backslash\\\\'", "'ends with a backslash\\\\'" },
    { "a: 'l1\r\nl2'", "'l1\\r\\nl2'" },
    { "a: 'x\xE2\x80\xA8y\xE2\x80\xA9z'", "'x\\u2028y\\u2029z'" },
    { "a: \"say \\\"hi\\\"\"", "'say \"hi\"'" },
    { "a: \"it's\" [0:1:end)", "['generator', 'it\\'s', ['interval', 0, 1, null, etch.kOpenInterval]]" },
    { "a: 'a\\\\' #00000000", "['text_generator', 'a\\\\', new etch.Colour(0, 0, 0, 0)]" },
};

TEST(MarkupScript, TranslatesEachValueAndTheScriptEngineAcceptsIt)
{
    std::vector<std::string> scripts;
    for (const TranslationCase& c : kTranslations) {
        SCOPED_TRACE(c.markup);
        std::string translation;
        ASSERT_TRUE(Etch::CompileEtchMarkup(c.markup, translation));
        EXPECT_EQ(translation, OneDeclaration(c.value));

        std::string script;
        ASSERT_TRUE(Etch::GetSetMarkupJS(c.markup, "local", script));
        EXPECT_EQ(script, "etch.get_plot('local').setup(" + translation + ");");
        scripts.push_back(script);
    }
    const std::vector<std::string> errors = ScriptSyntaxErrors(scripts);
    for (std::size_t i = 0; i < errors.size(); ++i)
        EXPECT_EQ(errors[i], "") << kTranslations[i].markup;
}

TEST(MarkupScript, WholeMarkupIsOneRecordPerDeclaration)
{
    std::string script;
    ASSERT_TRUE(Etch::CompileEtchMarkup("title: 'HRV', size: 3,\n'odd \\'name\\'': null", script));
    EXPECT_EQ(script,
        "[\n"
        "{\nproperty_name: 'title',\nmarkup:\n'HRV'\n},\n"
        "{\nproperty_name: 'size',\nmarkup:\n3\n},\n"
        "{\nproperty_name: 'odd \\'name\\'',\nmarkup:\nnull\n}\n"
        "]");
    EXPECT_EQ(ScriptSyntaxErrors(script), "");
}

// The texts the page reads back are the texts the markup held: evaluate the translation in the
// script engine and compare.
TEST(MarkupScript, TextsReadBackUnchangedInTheScriptEngine)
{
    std::string script;
    ASSERT_TRUE(Etch::CompileEtchMarkup("'k\\'ey': 'it\\'s \\\\ \"q\"\r\nnext\xE2\x80\xA8"
                                        "end\\\\', "
                                        "g: 'x\\\\' [0:1:end), o: { 'a-b': 'v' }",
        script));
    EXPECT_EQ(EvaluateScriptToJson(script),
        "[{\"property_name\":\"k'ey\",\"markup\":\"it's \\\\ \\\"q\\\"\\r\\nnext\xE2\x80\xA8"
        "end\\\\\"},"
        "{\"property_name\":\"g\",\"markup\":[\"generator\",\"x\\\\\",[\"interval\",0,1,null,1]]},"
        "{\"property_name\":\"o\",\"markup\":{\"a-b\":\"v\"}}]");
}

TEST(MarkupScript, MarkupThatDoesNotParseGivesNoScript)
{
    std::string script = "unchanged";
    EXPECT_FALSE(Etch::CompileEtchMarkup("a: 1 b: 2", script));
    EXPECT_EQ(script, "unchanged");
    EXPECT_FALSE(Etch::GetSetMarkupJS("a: nan", "local", script));
    EXPECT_EQ(script, "unchanged");
    EXPECT_FALSE(Etch::GetSetMarkupJS("", "local", script));
    EXPECT_EQ(script, "unchanged");
}

TEST(MarkupScript, PlotIdAndErrorMessageAreEscaped)
{
    std::string script;
    ASSERT_TRUE(Etch::GetSetMarkupJS("a: 1", "it's\\", script));
    EXPECT_TRUE(script.starts_with("etch.get_plot('it\\'s\\\\').setup(["));
    EXPECT_EQ(ScriptSyntaxErrors(script), "");

    // An error text quotes the user's markup line, which may hold anything.
    Etch::Markup::AST ast;
    std::string error_text;
    int error_line = 0;
    ASSERT_FALSE(Etch::ParseEtchMarkup("a: 'it\\'s' '); alert(1); //\r\n", ast, error_text, error_line));
    Etch::GetShowErrorJS(error_text, "local", script);
    EXPECT_EQ(script,
        "etch.get_plot('local').show_error('Missing comma on line 1: a: \\'it\\\\\\'s\\'_ \\'); alert(1); //\\r');");
    EXPECT_EQ(ScriptSyntaxErrors(script), "");

    Etch::GetShowErrorJS("line\nbreak \xE2\x80\xA9 and \\", "p'1", script);
    EXPECT_EQ(script, "etch.get_plot('p\\'1').show_error('line\\nbreak \\u2029 and \\\\');");
    EXPECT_EQ(ScriptSyntaxErrors(script), "");
}

TEST(MarkupScript, EscapeLeavesOtherBytesAlone)
{
    struct Case {
        std::string in, out;
    };
    const Case cases[] = {
        { "plain \"double\" quotes", "plain \"double\" quotes" },
        { "\\'\r\n", "\\\\\\'\\r\\n" },
        { "\xE2\x80\xA8\xE2\x80\xA9", "\\u2028\\u2029" },
        { "\xE2\x80", "\xE2\x80" }, // a cut-off sequence is not a separator
        { "\xE2\x80\xAA", "\xE2\x80\xAA" }, // U+202A is no line terminator
        { "\xC3\xBC\t", "\xC3\xBC\t" },
    };
    for (const Case& c : cases)
        EXPECT_EQ(Etch::EscapeScriptText(c.in), c.out);
}

// A process locale with a decimal comma and digit grouping must not reach the script.
class CommaLocale : public std::numpunct<char> {
protected:
    char do_decimal_point() const override { return ','; }
    char do_thousands_sep() const override { return '.'; }
    std::string do_grouping() const override { return "\3"; }
};

TEST(MarkupScript, NumbersIgnoreTheProcessLocale)
{
    const std::locale previous = std::locale::global(std::locale(std::locale::classic(), new CommaLocale));
    std::string script;
    const bool ok = Etch::CompileEtchMarkup("a: [123456, 0.5, 1234567]", script);
    std::locale::global(previous);
    ASSERT_TRUE(ok);
    EXPECT_EQ(script, OneDeclaration("[123456, 0.5, 1.23457e+06]"));
}

// Trees built by hand (not by the parser) can hold an integer or a number that is not finite.
TEST(MarkupScript, HandBuiltValues)
{
    EXPECT_EQ(Etch::WriteValueScript(Etch::Markup::Value(std::int32_t { -42 })), "-42");
    EXPECT_EQ(Etch::WriteValueScript(Etch::Markup::Value(std::numeric_limits<double>::infinity())), "null");
    EXPECT_EQ(Etch::WriteValueScript(Etch::Markup::Value(std::numeric_limits<double>::quiet_NaN())), "null");
}

} // namespace
