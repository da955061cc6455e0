// The Etch Markup grammar. Rules carry the names that error messages print ("Expected <a
// datatype>"); "A > B" is an expectation point, after which a failure ends the whole parse with
// an error text instead of backtracking.
#include "plotcontrol/compiler/EtchMarkup.h"

#include "plotcontrol/compiler/RealNumber.h"

#include "log/Log.h"

#include <boost/fusion/include/adapt_struct.hpp>
#include <boost/phoenix/bind.hpp>
#include <boost/phoenix/core.hpp>
#include <boost/phoenix/operator.hpp>
#include <boost/spirit/include/qi.hpp>

#include <algorithm>
#include <exception>
#include <sstream>

BOOST_FUSION_ADAPT_STRUCT(Etch::Markup::Declaration, name, value)
BOOST_FUSION_ADAPT_STRUCT(Etch::Markup::FloatInterval, begin, step, end)
BOOST_FUSION_ADAPT_STRUCT(Etch::Markup::FiniteTickPosition, record, offset)
BOOST_FUSION_ADAPT_STRUCT(Etch::Markup::TickInterval, first, last)
BOOST_FUSION_ADAPT_STRUCT(Etch::Markup::Interval, range, end_type)
BOOST_FUSION_ADAPT_STRUCT(Etch::Markup::Generator, expression, interval)
BOOST_FUSION_ADAPT_STRUCT(Etch::Markup::TextGenerator, expression, colour)

namespace Etch::Impl {

namespace qi = boost::spirit::qi;
namespace phx = boost::phoenix;
namespace M = Etch::Markup;

using Iterator = const char*;

bool IsMarkupSpace(char c)
{
    return c == ' ' || c == '\t' || c == '\n' || c == '\v' || c == '\f' || c == '\r';
}

// Builds "<message> on line <n>: <line before>_<line after>". The position first moves back
// over white space and over comments that end the line, so that it sits just after the last
// significant character: the user sees where the markup stopped making sense, not where the
// parser happened to look next.
void ComposeErrorText(
    std::string_view text, std::size_t pos, std::string_view message, std::string& error_text, int& error_line)
{
    std::size_t line_start = 0;
    for (;;) {
        while (pos > 0 && IsMarkupSpace(text[pos - 1]))
            --pos;
        const std::size_t feed = pos == 0 ? std::string_view::npos : text.rfind('\n', pos - 1);
        line_start = feed == std::string_view::npos ? 0 : feed + 1;
        const std::size_t comment = text.substr(line_start, pos - line_start).find("//");
        if (comment == std::string_view::npos)
            break;
        pos = line_start + comment;
    }
    std::size_t line_end = text.find('\n', pos);
    if (line_end == std::string_view::npos)
        line_end = text.size();
    error_line = 1 + static_cast<int>(std::count(text.begin(), text.begin() + static_cast<std::ptrdiff_t>(pos), '\n'));
    std::ostringstream out;
    out << message << " on line " << error_line << ": " << text.substr(line_start, pos - line_start) << '_'
        << text.substr(pos, line_end - pos);
    error_text = out.str();
}

// Between tokens: ASCII white space, or a comment from "//" to the end of its line.
struct CommentSkipper : qi::grammar<Iterator> {
    CommentSkipper()
        : CommentSkipper::base_type(skip, "white space or a comment")
    {
        skip = qi::ascii::space | (qi::lit("//") >> *(qi::standard::char_ - qi::eol) >> (qi::eol | qi::eoi));
    }
    qi::rule<Iterator> skip;
};

// One lexeme: '...' or "...". Inside, a backslash pair stands for a backslash and a backslash
// followed by the quote for the quote; a backslash before anything else ends the string early,
// and the missing closing quote is then the error.
struct QuotedString : qi::grammar<Iterator, std::string()> {
    QuotedString()
        : QuotedString::base_type(string, "quoted string")
    {
        using qi::attr;
        using qi::lit;
        using qi::standard::char_;
        single = (lit('\'') >> *((lit("\\\\") >> attr('\\')) | (lit("\\'") >> attr('\'')) | (char_ - '\\' - '\'')))
            > lit('\'');
        double_quoted = (lit('"') >> *((lit("\\\\") >> attr('\\')) | (lit("\\\"") >> attr('"')) | (char_ - '\\' - '"')))
            > lit('"');
        string = single | double_quoted;

        string.name("a string");
        single.name("a single quoted string");
        double_quoted.name("a double quoted string");
    }
    qi::rule<Iterator, std::string()> string, single, double_quoted;
};

// "[" then numbers "begin:step:end" or sampled data "record|offset, record|offset", then ")" for
// an open or "]" for a closed interval.
struct IntervalGrammar : qi::grammar<Iterator, M::Interval(), CommentSkipper> {
    IntervalGrammar()
        : IntervalGrammar::base_type(interval, "interval")
    {
        using qi::attr;
        using qi::lit;
        interval = (lit('[') >> (float_interval | tick_interval)) > (open | closed);
        float_interval
            = ((number | (lit("begin") >> attr(M::BeginType()))) >> lit(':')) > number > lit(':') > float_or_end;
        float_or_end = number | end_keyword;
        end_keyword = lit("end") >> attr(M::EndType());
        tick_interval = tick_position > lit(',') > tick_position;
        tick_position = end_keyword | tick_in_record;
        tick_in_record = (qi::int_ >> lit('|')) > (number | end_keyword);
        open = lit(')') >> attr(M::OpenInterval());
        closed = lit(']') >> attr(M::ClosedInterval());

        interval.name("an interval");
        float_interval.name("an interval over floating-point numbers");
        float_or_end.name("a float or the 'end' keyword");
        end_keyword.name("the 'end' keyword");
        tick_interval.name("an interval of sampled data");
        tick_position.name("a tick position");
        tick_in_record.name("a tick position within a record");
        open.name("an open interval");
        closed.name("a closed interval");
    }
    RealNumber number;
    qi::rule<Iterator, M::Interval(), CommentSkipper> interval;
    qi::rule<Iterator, M::FloatInterval(), CommentSkipper> float_interval;
    qi::rule<Iterator, boost::variant<double, M::EndType>(), CommentSkipper> float_or_end;
    qi::rule<Iterator, M::EndType(), CommentSkipper> end_keyword;
    qi::rule<Iterator, M::TickInterval(), CommentSkipper> tick_interval;
    qi::rule<Iterator, M::TickPosition(), CommentSkipper> tick_position;
    qi::rule<Iterator, M::FiniteTickPosition(), CommentSkipper> tick_in_record;
    qi::rule<Iterator, M::OpenInterval(), CommentSkipper> open;
    qi::rule<Iterator, M::ClosedInterval(), CommentSkipper> closed;
};

// Built per parse: it keeps the text for its error handler and counts the nesting of objects
// and arrays, so that a deeply nested text is an error message rather than a stack overflow.
struct EtchMarkupGrammar : qi::grammar<Iterator, M::AST(), CommentSkipper> {
    explicit EtchMarkupGrammar(std::string_view text)
        : EtchMarkupGrammar::base_type(start, "the beginning of some markup")
        , mText(text)
    {
        using qi::attr;
        using qi::lit;
        start = declarations;
        declarations = (declaration % lit(',')) >> -lit(',');
        declaration = (identifier | string) > lit(':') > datatype;
        identifier = qi::standard::char_("a-zA-Z_") > *qi::standard::char_("a-zA-Z0-9_-");
        // The integer alternative would come after the number, which already reads every
        // integer, so it is left out.
        datatype = number | qi::bool_ | data_generator | text_generator | string | object | colour | interval | array
            | null_keyword;
        data_generator = string >> interval;
        text_generator = string >> colour;
        object = lit('{') > deeper > -declarations > lit('}') > shallower;
        array = lit('[') > deeper > -elements > lit(']') > shallower;
        elements = (datatype % lit(',')) >> -lit(',');
        colour = lit('#') > qi::as_string[qi::repeat(8)[qi::ascii::xdigit]][phx::bind(&SetColour, qi::_val, qi::_1)];
        null_keyword = lit("null") >> attr(M::NullType());
        deeper = qi::eps[qi::_pass = phx::bind(&EtchMarkupGrammar::Enter, this)];
        shallower = qi::eps[phx::bind(&EtchMarkupGrammar::Leave, this)];

        start.name("the beginning of some markup");
        declarations.name("a list of declarations");
        declaration.name("a declaration");
        identifier.name("an identifier");
        datatype.name("a datatype");
        data_generator.name("a data generator");
        text_generator.name("a text or labels source");
        object.name("an object");
        array.name("an array");
        elements.name("a list of elements");
        colour.name("a colour");
        null_keyword.name("the 'null' keyword");
        deeper.name("at most 64 levels of nesting");

        qi::on_error<qi::fail>(start, phx::bind(&EtchMarkupGrammar::OnExpectationFailure, this, qi::_3, qi::_4));
    }

    void OnExpectationFailure(Iterator where, const boost::spirit::info& what)
    {
        std::ostringstream message;
        message << "Expected " << what;
        ComposeErrorText(mText, static_cast<std::size_t>(where - mText.data()), message.str(), error_text, error_line);
    }

    static void SetColour(M::Colour& colour, const std::string& digits)
    {
        std::copy_n(digits.begin(), std::min(digits.size(), colour.digits.size()), colour.digits.begin());
    }

    bool Enter() { return ++mDepth <= kMaxMarkupNesting; }
    void Leave() { --mDepth; }

    std::string error_text;
    int error_line = 0;

    RealNumber number;
    QuotedString string;
    IntervalGrammar interval;
    qi::rule<Iterator, M::AST(), CommentSkipper> start;
    qi::rule<Iterator, std::vector<M::Declaration>(), CommentSkipper> declarations;
    qi::rule<Iterator, M::Declaration(), CommentSkipper> declaration;
    qi::rule<Iterator, std::string()> identifier;
    qi::rule<Iterator, M::Value(), CommentSkipper> datatype;
    qi::rule<Iterator, M::Generator(), CommentSkipper> data_generator;
    qi::rule<Iterator, M::TextGenerator(), CommentSkipper> text_generator;
    qi::rule<Iterator, M::Object(), CommentSkipper> object;
    qi::rule<Iterator, M::Array(), CommentSkipper> array;
    qi::rule<Iterator, std::vector<M::Value>(), CommentSkipper> elements;
    qi::rule<Iterator, M::Colour()> colour;
    qi::rule<Iterator, M::NullType(), CommentSkipper> null_keyword;
    qi::rule<Iterator, CommentSkipper> deeper, shallower;

private:
    std::string_view mText;
    int mDepth = 0;
};

} // namespace Etch::Impl

namespace Etch {

bool ParseEtchMarkup(std::string_view markup, Markup::AST& ast, std::string& error_text, int& error_line)
{
    ast.clear();
    error_text.clear();
    error_line = 0;
    try {
        Impl::CommentSkipper skipper;
        Impl::EtchMarkupGrammar grammar(markup);
        Impl::Iterator first = markup.data();
        const Impl::Iterator last = markup.data() + markup.size();
        Markup::AST result;
        if (!boost::spirit::qi::phrase_parse(first, last, grammar, skipper, result)) {
            error_text = grammar.error_text;
            error_line = grammar.error_line;
            return false;
        }
        if (first != last) {
            Impl::ComposeErrorText(
                markup, static_cast<std::size_t>(first - markup.data()), "Missing comma", error_text, error_line);
            return false;
        }
        ast = std::move(result);
        return true;
    } catch (const std::exception& e) {
        vx::log::WriteLine(std::string("ParseEtchMarkup: ") + e.what());
        error_text.clear();
        error_line = 0;
        return false;
    }
}

} // namespace Etch
