#include "plotcontrol/compiler/MarkupScript.h"

#include <charconv>
#include <cmath>
#include <locale>
#include <sstream>

namespace Etch {
namespace {

// Classic punctuation, stated explicitly: a decimal point and no digit grouping, whatever
// locale the user's process runs in.
class NoCommaSeparator : public std::numpunct<char> {
protected:
    char do_decimal_point() const override { return '.'; }
    char do_thousands_sep() const override { return '\0'; }
    std::string do_grouping() const override { return {}; }
};

std::locale ScriptLocale()
{
    return std::locale(std::locale::classic(), new NoCommaSeparator);
}

// Object keys stay bare when they are script identifiers; markup names may also hold hyphens or
// be any quoted text, and those are written as quoted keys.
bool IsScriptIdentifier(std::string_view name)
{
    auto is_start = [](char c) { return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || c == '_' || c == '$'; };
    auto is_part = [&](char c) { return is_start(c) || (c >= '0' && c <= '9'); };
    if (name.empty() || !is_start(name.front()))
        return false;
    for (char c : name.substr(1))
        if (!is_part(c))
            return false;
    return true;
}

// Writes one value, by its alternative, into a stream that carries the script locale.
class ScriptWriter : public boost::static_visitor<void> {
public:
    explicit ScriptWriter(std::ostream& out)
        : mOut(out)
    {
    }

    // The parser admits only finite numbers; a tree built by hand may still hold one that is
    // not, and "nan" or "inf" would not be script.
    void operator()(double value) const
    {
        if (std::isfinite(value))
            mOut << value;
        else
            mOut << "null";
    }
    void operator()(std::int32_t value) const { mOut << value; }
    void operator()(bool value) const { mOut << (value ? "true" : "false"); }
    void operator()(const std::string& text) const { Quoted(text); }
    void operator()(const Markup::NullType&) const { mOut << "null"; }

    void operator()(const Markup::Object& object) const
    {
        mOut << "{\n";
        const char* separator = "";
        for (const Markup::Declaration& declaration : object) {
            mOut << separator;
            Key(declaration.name);
            mOut << ": ";
            Value(declaration.value);
            separator = ",\n";
        }
        mOut << "\n}";
    }

    void operator()(const Markup::Array& array) const
    {
        mOut << '[';
        const char* separator = "";
        for (const Markup::Value& element : array) {
            mOut << separator;
            Value(element);
            separator = ", ";
        }
        mOut << ']';
    }

    void operator()(const Markup::Colour& colour) const
    {
        const auto& d = colour.digits;
        mOut << "new etch.Colour(";
        for (std::size_t i = 0; i < d.size(); i += 2) {
            int component = 0;
            std::from_chars(d.data() + i, d.data() + i + 2, component, 16);
            mOut << (i == 0 ? "" : ", ") << component;
        }
        mOut << ')';
    }

    void operator()(const Markup::Generator& generator) const
    {
        Source("generator", generator.expression, generator.interval);
    }

    void operator()(const Markup::TextGenerator& generator) const
    {
        Source("text_generator", generator.expression, generator.colour);
    }

    void operator()(const Markup::Interval& interval) const
    {
        mOut << "['interval', ";
        boost::apply_visitor(*this, interval.range);
        boost::apply_visitor(*this, interval.end_type);
        mOut << ']';
    }

    void operator()(const Markup::FloatInterval& range) const
    {
        boost::apply_visitor(*this, range.begin);
        mOut << ", ";
        (*this)(range.step);
        mOut << ", ";
        boost::apply_visitor(*this, range.end);
    }

    // Tick positions have no meaning on the page's pixel axis: a sampled interval is written as
    // one with no usable bounds and no step, which the page reads as unbounded.
    void operator()(const Markup::TickInterval&) const { mOut << "null, null, null"; }

    void operator()(const Markup::BeginType&) const { mOut << "null"; }
    void operator()(const Markup::EndType&) const { mOut << "null"; }
    void operator()(const Markup::OpenInterval&) const { mOut << ", etch.kOpenInterval"; }
    void operator()(const Markup::ClosedInterval&) const { mOut << ", etch.kClosedInterval"; }

    // "['<kind>', '<expression>', <interval or colour>]"
    template <typename Over> void Source(const char* kind, const std::string& expression, const Over& over) const
    {
        mOut << "['" << kind << "', ";
        Quoted(expression);
        mOut << ", ";
        (*this)(over);
        mOut << ']';
    }

    void Value(const Markup::Value& value) const { boost::apply_visitor(*this, value); }

    void Quoted(std::string_view text) const { mOut << '\'' << EscapeScriptText(text) << '\''; }

    void Key(std::string_view name) const
    {
        if (IsScriptIdentifier(name))
            mOut << name;
        else
            Quoted(name);
    }

private:
    std::ostream& mOut;
};

} // namespace

std::string EscapeScriptText(std::string_view text)
{
    std::string out;
    out.reserve(text.size());
    for (std::size_t i = 0; i < text.size(); ++i) {
        const char c = text[i];
        switch (c) {
        case '\\':
            out += "\\\\";
            continue;
        case '\'':
            out += "\\'";
            continue;
        case '\r':
            out += "\\r";
            continue;
        case '\n':
            out += "\\n";
            continue;
        default:
            break;
        }
        // U+2028 and U+2029 end a line in script source; in UTF-8 they are E2 80 A8 and E2 80 A9.
        if (c == '\xE2' && i + 2 < text.size() && text[i + 1] == '\x80'
            && (text[i + 2] == '\xA8' || text[i + 2] == '\xA9')) {
            out += text[i + 2] == '\xA8' ? "\\u2028" : "\\u2029";
            i += 2;
            continue;
        }
        out += c;
    }
    return out;
}

std::string WriteMarkupScript(const Markup::AST& ast)
{
    std::ostringstream out;
    out.imbue(ScriptLocale());
    const ScriptWriter writer(out);
    out << "[\n";
    const char* separator = "";
    for (const Markup::Declaration& declaration : ast) {
        out << separator << "{\nproperty_name: ";
        writer.Quoted(declaration.name);
        out << ",\nmarkup:\n";
        writer.Value(declaration.value);
        out << "\n}";
        separator = ",\n";
    }
    out << "\n]";
    return out.str();
}

std::string WriteValueScript(const Markup::Value& value)
{
    std::ostringstream out;
    out.imbue(ScriptLocale());
    ScriptWriter(out).Value(value);
    return out.str();
}

bool CompileEtchMarkup(std::string_view markup, std::string& script)
{
    Markup::AST ast;
    std::string error_text;
    int error_line = 0;
    if (!ParseEtchMarkup(markup, ast, error_text, error_line))
        return false;
    script = WriteMarkupScript(ast);
    return true;
}

bool GetSetMarkupJS(std::string_view markup, std::string_view plot_id, std::string& script)
{
    std::string translation;
    if (!CompileEtchMarkup(markup, translation))
        return false;
    script = "etch.get_plot('" + EscapeScriptText(plot_id) + "').setup(" + translation + ");";
    return true;
}

void GetShowErrorJS(std::string_view message, std::string_view plot_id, std::string& script)
{
    script = "etch.get_plot('" + EscapeScriptText(plot_id) + "').show_error('" + EscapeScriptText(message) + "');";
}

} // namespace Etch
