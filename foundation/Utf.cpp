#include "foundation/Utf.h"

#include <cstdint>

#include "text/Unicode.h"

namespace KEL {
namespace {

// The tables of the Unicode Consortium's reference conversion routines (ConvertUTF.c, 2004):
// trailing bytes by lead byte, the offsets that remove the lead marks after accumulation.
constexpr int TrailingBytes(unsigned char lead)
{
    return lead < 0xC0 ? 0 : lead < 0xE0 ? 1 : lead < 0xF0 ? 2 : lead < 0xF8 ? 3 : lead < 0xFC ? 4 : 5;
}
constexpr std::uint32_t kOffsetsFromUtf8[6]
    = { 0x00000000u, 0x00003080u, 0x000E2080u, 0x03C82080u, 0xFA082080u, 0x82082080u };

constexpr char32_t kReplacement = 0xFFFD;

// The bytes allowed to follow in a sequence. Every trailing byte is 0x80-0xBF; the second is
// narrowed further after E0, ED, F0 and F4 so that overlong forms, encoded surrogates and values
// beyond U+10FFFF are refused.
struct TrailRange {
    unsigned char low = 0x80;
    unsigned char high = 0xBF;
};

constexpr TrailRange SecondByteRange(unsigned char lead)
{
    switch (lead) {
    case 0xE0:
        return { 0xA0, 0xBF };
    case 0xED:
        return { 0x80, 0x9F };
    case 0xF0:
        return { 0x90, 0xBF };
    case 0xF4:
        return { 0x80, 0x8F };
    default:
        return {};
    }
}

template <class Unit> std::string ToUtf8(const Unit* units, std::size_t count)
{
    std::string out;
    if (!units)
        return out;
    out.reserve(count);
    for (std::size_t i = 0; i < count;) {
        char32_t c;
        vx::text::AppendUtf8(out, vx::text::ReadCodePoint(units, count, i, c) ? c : kReplacement);
    }
    return out;
}

} // namespace

bool IsLegalUtf8(const unsigned char* bytes, int length)
{
    if (!bytes || length < 1 || length > 4)
        return false;
    const unsigned char lead = bytes[0];
    for (int i = length - 1; i >= 2; --i)
        if (bytes[i] < 0x80 || bytes[i] > 0xBF)
            return false;
    if (length >= 2) {
        const TrailRange range = SecondByteRange(lead);
        if (bytes[1] < range.low || bytes[1] > range.high)
            return false;
    }
    if (lead >= 0x80 && lead < 0xC2)
        return false;
    return lead <= 0xF4;
}

ConversionResult ConvertUtf8ToUtf16(
    const unsigned char** sourceStart, const unsigned char* sourceEnd, char16_t** targetStart, char16_t* targetEnd)
{
    ConversionResult result = conversionOK;
    const unsigned char* source = *sourceStart;
    char16_t* target = *targetStart;
    while (source < sourceEnd) {
        const int extra = TrailingBytes(*source);
        if (extra >= sourceEnd - source) {
            result = sourceExhausted;
            break;
        }
        if (!IsLegalUtf8(source, extra + 1)) {
            result = sourceIllegal;
            break;
        }
        std::uint32_t ch = 0;
        for (int i = 0; i <= extra; ++i) {
            ch += *source++;
            if (i < extra)
                ch <<= 6;
        }
        ch -= kOffsetsFromUtf8[extra];
        if (target >= targetEnd) {
            source -= extra + 1;
            result = targetExhausted;
            break;
        }
        if (ch <= 0xFFFF) {
            *target++ = static_cast<char16_t>(ch >= 0xD800 && ch <= 0xDFFF ? kReplacement : ch);
        } else if (ch > 0x10FFFF) {
            *target++ = static_cast<char16_t>(kReplacement);
        } else {
            if (target + 1 >= targetEnd) {
                source -= extra + 1;
                result = targetExhausted;
                break;
            }
            ch -= 0x10000;
            *target++ = static_cast<char16_t>((ch >> 10) + 0xD800);
            *target++ = static_cast<char16_t>((ch & 0x3FF) + 0xDC00);
        }
    }
    *sourceStart = source;
    *targetStart = target;
    return result;
}

std::wstring Utf8ToWide(const std::string& utf8)
{
    std::wstring out;
    out.reserve(utf8.size());
    const auto* p = reinterpret_cast<const unsigned char*>(utf8.data());
    const auto* end = p + utf8.size();
    while (p < end) {
        // Ill-formed or cut short: one U+FFFD for the maximal subpart, then carry on.
        char32_t c;
        out.push_back(static_cast<wchar_t>(vx::text::DecodeUtf8(p, end, c) ? c : kReplacement));
    }
    return out;
}

std::string Utf16ToUtf8(const char16_t* units, std::size_t count)
{
    return ToUtf8(units, count);
}

std::string Utf16ToUtf8(const wchar_t* text, std::size_t count)
{
    return ToUtf8(text, count);
}

std::u16string WideToUtf16(const wchar_t* text, std::size_t count)
{
    std::u16string out;
    if (!text)
        return out;
    out.reserve(count);
    for (std::size_t i = 0; i < count;) {
        char32_t c;
        vx::text::AppendUtf16(out, vx::text::ReadCodePoint(text, count, i, c) ? c : kReplacement);
    }
    return out;
}

std::wstring Utf16ToWide(const char16_t* units, std::size_t count)
{
    std::wstring out;
    if (!units)
        return out;
    out.reserve(count);
    for (std::size_t i = 0; i < count;) {
        char32_t c;
        out.push_back(static_cast<wchar_t>(vx::text::ReadCodePoint(units, count, i, c) ? c : kReplacement));
    }
    return out;
}

} // namespace KEL
