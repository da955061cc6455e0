#include "host/calc/Parser.h"

#include "host/calc/CalcError.h"

#include <charconv>
#include <cwctype>
#include <string>

namespace vx::calc {
namespace {

// Deeper nesting than this is refused rather than risking the stack on hostile input.
constexpr int kMaxDepth = 200;
// Every later walk of the tree (compiling it, freeing it, reading the signals it compiles to)
// recurses through it, and a chain of operators builds it one level deeper per operator. Bounding
// the nodes bounds that depth whatever the shape; a formula a person writes has a few dozen.
constexpr std::size_t kMaxNodes = 2048;

bool IsNameStart(wchar_t c)
{
    return (c >= L'a' && c <= L'z') || (c >= L'A' && c <= L'Z') || c == L'_' || c > 127;
}
bool IsNameChar(wchar_t c)
{
    return IsNameStart(c) || (c >= L'0' && c <= L'9');
}
bool IsDigit(wchar_t c)
{
    return c >= L'0' && c <= L'9';
}

std::string Narrow(std::wstring_view text)
{
    std::string out;
    for (wchar_t c : text)
        out += (c >= 32 && c < 127) ? static_cast<char>(c) : '?';
    return out;
}

wchar_t Lower(wchar_t c)
{
    return (c >= L'A' && c <= L'Z') ? static_cast<wchar_t>(c - L'A' + L'a') : c;
}

bool StartsWithNoCase(std::wstring_view text, std::wstring_view prefix)
{
    if (text.size() < prefix.size())
        return false;
    for (std::size_t i = 0; i < prefix.size(); ++i)
        if (Lower(text[i]) != prefix[i])
            return false;
    return true;
}

class Parser {
public:
    explicit Parser(std::wstring_view text)
        : mText(text)
    {
    }

    NodePtr Run()
    {
        SkipSpace();
        if (AtEnd())
            throw FormulaError(mPos, "the formula is empty");
        NodePtr tree = Expr(0);
        SkipSpace();
        if (!AtEnd())
            throw FormulaError(mPos, "unexpected '" + Narrow(mText.substr(mPos, 1)) + "' after a complete expression");
        return tree;
    }

private:
    bool AtEnd() const { return mPos >= mText.size(); }
    wchar_t Peek() const { return AtEnd() ? L'\0' : mText[mPos]; }

    void SkipSpace()
    {
        while (!AtEnd() && std::iswspace(static_cast<wint_t>(mText[mPos])))
            ++mPos;
    }

    NodePtr Make(std::size_t position, auto&& value)
    {
        if (++mNodes > kMaxNodes)
            throw FormulaError(position,
                "the formula is too long: it may hold at most " + std::to_string(kMaxNodes) + " values and operations");
        auto node = std::make_unique<Node>();
        node->position = position;
        node->value = std::forward<decltype(value)>(value);
        return node;
    }

    NodePtr Expr(int depth)
    {
        if (depth > kMaxDepth)
            throw FormulaError(mPos, "the formula is nested too deeply");
        NodePtr left = Term(depth);
        for (;;) {
            SkipSpace();
            wchar_t op = Peek();
            if (op != L'+' && op != L'-')
                return left;
            std::size_t at = mPos++;
            NodePtr right = Term(depth);
            left = Make(at, BinaryNode { op, std::move(left), std::move(right) });
        }
    }

    NodePtr Term(int depth)
    {
        NodePtr left = Unary(depth);
        for (;;) {
            SkipSpace();
            wchar_t op = Peek();
            if (op != L'*' && op != L'/')
                return left;
            std::size_t at = mPos++;
            NodePtr right = Unary(depth);
            left = Make(at, BinaryNode { op, std::move(left), std::move(right) });
        }
    }

    NodePtr Unary(int depth)
    {
        SkipSpace();
        wchar_t op = Peek();
        if (op == L'-' || op == L'+') {
            if (depth > kMaxDepth)
                throw FormulaError(mPos, "the formula is nested too deeply");
            std::size_t at = mPos++;
            return Make(at, UnaryNode { op, Unary(depth + 1) });
        }
        return Primary(depth);
    }

    NodePtr Primary(int depth)
    {
        SkipSpace();
        if (AtEnd())
            throw FormulaError(mPos, "the formula ends where a value was expected");
        wchar_t c = Peek();
        if (c == L'(') {
            std::size_t open = mPos++;
            NodePtr inner = Expr(depth + 1);
            SkipSpace();
            if (Peek() != L')')
                throw FormulaError(
                    AtEnd() ? mPos : mPos, "missing ')' for the '(' at position " + std::to_string(open));
            ++mPos;
            return inner;
        }
        if (IsDigit(c) || c == L'.')
            return Number();
        if (IsNameStart(c))
            return NameOrCall(depth);
        throw FormulaError(mPos, "unexpected '" + Narrow(mText.substr(mPos, 1)) + "' where a value was expected");
    }

    NodePtr Number()
    {
        std::size_t start = mPos;
        while (IsDigit(Peek()))
            ++mPos;
        if (Peek() == L'.') {
            ++mPos;
            while (IsDigit(Peek()))
                ++mPos;
        }
        if (mPos - start == 1 && mText[start] == L'.')
            throw FormulaError(start, "a number needs at least one digit");
        if (Peek() == L'e' || Peek() == L'E') {
            std::size_t e = mPos++;
            if (Peek() == L'+' || Peek() == L'-')
                ++mPos;
            if (!IsDigit(Peek()))
                throw FormulaError(e, "the exponent of a number needs digits");
            while (IsDigit(Peek()))
                ++mPos;
        }
        if (IsNameStart(Peek()))
            throw FormulaError(mPos, "a number runs into a name");
        std::string digits = Narrow(mText.substr(start, mPos - start));
        double value = 0;
        auto [end, ec] = std::from_chars(digits.data(), digits.data() + digits.size(), value);
        if (ec != std::errc() || end != digits.data() + digits.size())
            throw FormulaError(start, "the number '" + digits + "' is out of range");
        return Make(start, NumberNode { value });
    }

    NodePtr NameOrCall(int depth)
    {
        std::size_t start = mPos;
        while (IsNameChar(Peek()))
            ++mPos;
        std::wstring name(mText.substr(start, mPos - start));
        SkipSpace();
        if (Peek() == L'(')
            return Call(start, std::move(name), depth);
        if (NodePtr channel = Channel(start, name))
            return channel;
        return Make(start, NameNode { std::move(name) });
    }

    NodePtr Call(std::size_t start, std::wstring name, int depth)
    {
        ++mPos; // '('
        CallNode call { std::move(name), {} };
        SkipSpace();
        if (Peek() == L')') {
            ++mPos;
            return Make(start, std::move(call));
        }
        for (;;) {
            call.args.push_back(Expr(depth + 1));
            SkipSpace();
            if (Peek() == L',') {
                ++mPos;
                continue;
            }
            if (Peek() == L')') {
                ++mPos;
                return Make(start, std::move(call));
            }
            if (AtEnd())
                throw FormulaError(mPos, "missing ')' to close the call of '" + Narrow(call.name) + "'");
            throw FormulaError(mPos, "expected ',' or ')' in the call of '" + Narrow(call.name) + "'");
        }
    }

    // Channel references: an optional 'r' (raw) or 'v' (view) prefix, then "ch" or "channel",
    // then a 1-based decimal number. Anything else is a channel name.
    NodePtr Channel(std::size_t start, std::wstring_view name)
    {
        ChannelNode::Kind kind = ChannelNode::Kind::Plain;
        std::wstring_view rest = name;
        if (!rest.empty() && (Lower(rest[0]) == L'r' || Lower(rest[0]) == L'v')) {
            if (StartsWithNoCase(rest.substr(1), L"ch")) {
                kind = Lower(rest[0]) == L'r' ? ChannelNode::Kind::Raw : ChannelNode::Kind::View;
                rest.remove_prefix(1);
            }
        }
        if (StartsWithNoCase(rest, L"channel") && rest.size() > 7 && IsDigit(rest[7]))
            rest.remove_prefix(7);
        else if (StartsWithNoCase(rest, L"ch") && rest.size() > 2 && IsDigit(rest[2]))
            rest.remove_prefix(2);
        else
            return nullptr;
        for (wchar_t c : rest)
            if (!IsDigit(c))
                return nullptr;
        long long number = 0;
        for (wchar_t c : rest) {
            number = number * 10 + (c - L'0');
            if (number > 1000000)
                throw FormulaError(start, "the channel number in '" + Narrow(name) + "' is too large");
        }
        if (number < 1)
            throw FormulaError(start, "channel numbers start at 1 ('" + Narrow(name) + "')");
        return Make(start, ChannelNode { kind, static_cast<int>(number - 1) });
    }

    std::wstring_view mText;
    std::size_t mPos = 0;
    std::size_t mNodes = 0;
};

} // namespace

NodePtr ParseFormula(std::wstring_view text)
{
    return Parser(text).Run();
}

} // namespace vx::calc
