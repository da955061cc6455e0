#pragma once
// The conversions between code points and their UTF-8 and UTF-16 forms that the code-page
// functions and the libraries' own text conversions share.
#include <string>
#include <string_view>
#include <type_traits>

namespace vx::text {

constexpr bool IsHighSurrogate(char32_t c)
{
    return c >= 0xD800 && c <= 0xDBFF;
}
constexpr bool IsLowSurrogate(char32_t c)
{
    return c >= 0xDC00 && c <= 0xDFFF;
}

// Reads the code point at units[i] and moves i past it, joining a surrogate pair (UTF-16 units,
// or wide text converted from them, may hold one). False for a lone surrogate or a value beyond
// U+10FFFF; out is then the unit as it stands.
template <class Unit, class Index> bool ReadCodePoint(const Unit* units, Index count, Index& i, char32_t& out)
{
    const auto c = static_cast<char32_t>(static_cast<std::make_unsigned_t<Unit>>(units[i++]));
    if (IsHighSurrogate(c) && i < count) {
        const auto next = static_cast<char32_t>(static_cast<std::make_unsigned_t<Unit>>(units[i]));
        if (IsLowSurrogate(next)) {
            ++i;
            out = 0x10000 + ((c - 0xD800) << 10) + (next - 0xDC00);
            return true;
        }
    }
    out = c;
    return !IsHighSurrogate(c) && !IsLowSurrogate(c) && c <= 0x10FFFF;
}

// Decodes one UTF-8 sequence at p (p < end). Returns false for an ill-formed sequence; p then
// stands behind its maximal ill-formed subpart (at least one byte), the part that one U+FFFD
// replaces as Unicode recommends.
bool DecodeUtf8(const unsigned char*& p, const unsigned char* end, char32_t& out);

// Writes the UTF-8 form of one code point (at most U+10FFFF) to bytes (room for 4) and returns
// the number of bytes written.
int EncodeUtf8(char32_t c, char* bytes);
void AppendUtf8(std::string& out, char32_t c);
// Appends the UTF-16 form of one code point (at most U+10FFFF): a surrogate pair beyond the
// first plane, the unit itself below it.
void AppendUtf16(std::u16string& out, char32_t c);

// Wide text to UTF-8 taking each unit as one code point: a surrogate unit and a value beyond
// U+10FFFF become U+FFFD, so the result is always well-formed.
std::string UnitsToUtf8(const std::wstring& text);

// UTF-8 text as a JSON string literal, which scripts take as a string too: the quote, backslash
// and control characters escaped, U+2028 and U+2029 escaped (older script engines end a line at
// them), and each ill-formed part of the input one U+FFFD, so the literal is valid whatever the
// bytes were.
std::string JsonQuoted(std::string_view utf8);

} // namespace vx::text
