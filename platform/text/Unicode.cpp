#include "text/Unicode.h"

namespace vx::text {

int EncodeUtf8(char32_t c, char* bytes)
{
    if (c < 0x80) {
        bytes[0] = static_cast<char>(c);
        return 1;
    }
    if (c < 0x800) {
        bytes[0] = static_cast<char>(0xC0 | (c >> 6));
        bytes[1] = static_cast<char>(0x80 | (c & 0x3F));
        return 2;
    }
    if (c < 0x10000) {
        bytes[0] = static_cast<char>(0xE0 | (c >> 12));
        bytes[1] = static_cast<char>(0x80 | ((c >> 6) & 0x3F));
        bytes[2] = static_cast<char>(0x80 | (c & 0x3F));
        return 3;
    }
    bytes[0] = static_cast<char>(0xF0 | (c >> 18));
    bytes[1] = static_cast<char>(0x80 | ((c >> 12) & 0x3F));
    bytes[2] = static_cast<char>(0x80 | ((c >> 6) & 0x3F));
    bytes[3] = static_cast<char>(0x80 | (c & 0x3F));
    return 4;
}

void AppendUtf8(std::string& out, char32_t c)
{
    char bytes[4];
    out.append(bytes, static_cast<std::size_t>(EncodeUtf8(c, bytes)));
}

void AppendUtf16(std::u16string& out, char32_t c)
{
    if (c >= 0x10000) {
        out.push_back(static_cast<char16_t>(0xD800 + ((c - 0x10000) >> 10)));
        out.push_back(static_cast<char16_t>(0xDC00 + ((c - 0x10000) & 0x3FF)));
    } else {
        out.push_back(static_cast<char16_t>(c));
    }
}

std::string UnitsToUtf8(const std::wstring& text)
{
    std::string out;
    for (wchar_t wc : text) {
        auto c = static_cast<char32_t>(wc);
        if (c > 0x10FFFF || (c >= 0xD800 && c <= 0xDFFF))
            c = 0xFFFD;
        AppendUtf8(out, c);
    }
    return out;
}

// Unicode 15, section 3.9, "U+FFFD Substitution of Maximal Subparts".
bool DecodeUtf8(const unsigned char*& p, const unsigned char* end, char32_t& out)
{
    const unsigned char lead = *p++;
    if (lead < 0x80) {
        out = lead;
        return true;
    }
    int trail = 0;
    char32_t value = 0;
    unsigned char low = 0x80, high = 0xBF;
    if (lead >= 0xC2 && lead <= 0xDF) {
        trail = 1;
        value = lead & 0x1F;
    } else if (lead >= 0xE0 && lead <= 0xEF) {
        trail = 2;
        value = lead & 0x0F;
        if (lead == 0xE0)
            low = 0xA0;
        else if (lead == 0xED)
            high = 0x9F;
    } else if (lead >= 0xF0 && lead <= 0xF4) {
        trail = 3;
        value = lead & 0x07;
        if (lead == 0xF0)
            low = 0x90;
        else if (lead == 0xF4)
            high = 0x8F;
    } else {
        return false;
    }
    for (int i = 0; i < trail; ++i) {
        if (p == end || *p < low || *p > high)
            return false;
        value = (value << 6) | (*p++ & 0x3F);
        low = 0x80;
        high = 0xBF;
    }
    out = value;
    return true;
}

std::string JsonQuoted(std::string_view utf8)
{
    static const char hex[] = "0123456789abcdef";
    std::string out = "\"";
    out.reserve(utf8.size() + 2);
    const auto* p = reinterpret_cast<const unsigned char*>(utf8.data());
    const auto* end = p + utf8.size();
    while (p < end) {
        char32_t c = 0;
        if (!DecodeUtf8(p, end, c))
            c = 0xFFFD;
        switch (c) {
        case U'"':
            out += "\\\"";
            break;
        case U'\\':
            out += "\\\\";
            break;
        case U'\n':
            out += "\\n";
            break;
        case U'\r':
            out += "\\r";
            break;
        case U'\t':
            out += "\\t";
            break;
        case U'\b':
            out += "\\b";
            break;
        case U'\f':
            out += "\\f";
            break;
        case 0x2028:
            out += "\\u2028";
            break;
        case 0x2029:
            out += "\\u2029";
            break;
        default:
            if (c < 0x20) {
                out += "\\u00";
                out += hex[c >> 4];
                out += hex[c & 15];
            } else {
                AppendUtf8(out, c);
            }
        }
    }
    return out + "\"";
}

} // namespace vx::text
