#include "text/CodePage.h"

#include <langinfo.h>

#include <cstring>
#include <string_view>

#include "com/LastError.h"

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

} // namespace vx::text

namespace {

constexpr DWORD MB_PRECOMPOSED = 0x00000001;
constexpr char32_t kReplacement = 0xFFFD;

// Windows-1252 positions 0x80-0x9F. The five positions the code page leaves undefined map to the
// C1 control of the same value, as the Windows tables do, so every byte round-trips.
constexpr char16_t kCp1252High[32] = {
    0x20AC, 0x0081, 0x201A, 0x0192, 0x201E, 0x2026, 0x2020, 0x2021, 0x02C6, 0x2030, 0x0160, 0x2039, 0x0152, 0x008D,
    0x017D, 0x008F, 0x0090, 0x2018, 0x2019, 0x201C, 0x201D, 0x2022, 0x2013, 0x2014, 0x02DC, 0x2122, 0x0161, 0x203A,
    0x0153, 0x009D, 0x017E, 0x0178};

enum class Page { Cp1252, Utf8 };

bool ResolvePage(UINT codePage, Page& page)
{
    if (codePage == CP_THREAD_ACP)
        codePage = vx::text::ThreadAnsiCodePage();
    switch (codePage) {
    case CP_ACP:
    case CP_WINDOWS_1252:
        page = Page::Cp1252;
        return true;
    case CP_UTF8:
        page = Page::Utf8;
        return true;
    default:
        return false;
    }
}

int Fail(DWORD error)
{
    SetLastError(error);
    return 0;
}

bool IsHighSurrogate(char32_t c) { return c >= 0xD800 && c <= 0xDBFF; }
bool IsLowSurrogate(char32_t c) { return c >= 0xDC00 && c <= 0xDFFF; }

// Reads the code point at source[i], joining a surrogate pair that UTF-16 text may have left in
// wide text. Returns false for a lone surrogate or a value beyond U+10FFFF.
bool ReadWide(const wchar_t* source, int length, int& i, char32_t& out)
{
    const char32_t c = static_cast<char32_t>(source[i++]);
    if (IsHighSurrogate(c) && i < length && IsLowSurrogate(static_cast<char32_t>(source[i]))) {
        out = 0x10000 + ((c - 0xD800) << 10) + (static_cast<char32_t>(source[i++]) - 0xDC00);
        return true;
    }
    out = c;
    return !(IsHighSurrogate(c) || IsLowSurrogate(c) || c > 0x10FFFF);
}

bool EncodeCp1252(char32_t c, char& out)
{
    if (c < 0x80 || (c >= 0xA0 && c <= 0xFF)) {
        out = static_cast<char>(c);
        return true;
    }
    for (int i = 0; i < 32; ++i)
        if (kCp1252High[i] == c) {
            out = static_cast<char>(0x80 + i);
            return true;
        }
    return false;
}

// Collects output units, counting only when there is no buffer; false once the buffer is full.
template <class T>
struct Output {
    T* target;
    int capacity;
    int count = 0;
    bool Put(const T* units, int n)
    {
        if (target) {
            if (n > capacity - count)
                return false;
            std::memcpy(target + count, units, sizeof(T) * n);
        }
        count += n;
        return true;
    }
};

bool CheckLengths(const void* source, int sourceLength, const void* target, int targetLength)
{
    return source && sourceLength != 0 && sourceLength >= -1 && targetLength >= 0 && (target || targetLength == 0);
}

} // namespace

int MultiByteToWideChar(UINT codePage, DWORD flags, const char* source, int sourceLength, wchar_t* target,
    int targetLength)
{
    if (!CheckLengths(source, sourceLength, target, targetLength))
        return Fail(ERROR_INVALID_PARAMETER);
    Page page;
    if (!ResolvePage(codePage, page))
        return Fail(ERROR_INVALID_PARAMETER);
    if (flags & ~(MB_ERR_INVALID_CHARS | MB_PRECOMPOSED))
        return Fail(ERROR_INVALID_FLAGS);
    const std::size_t length = sourceLength == -1 ? std::strlen(source) + 1 : std::size_t(sourceLength);
    const auto* p = reinterpret_cast<const unsigned char*>(source);
    const auto* end = p + length;
    Output<wchar_t> out{target, targetLength};
    while (p < end) {
        char32_t c;
        if (page == Page::Cp1252) {
            const unsigned char b = *p++;
            c = b >= 0x80 && b < 0xA0 ? kCp1252High[b - 0x80] : b;
        } else if (!vx::text::DecodeUtf8(p, end, c)) {
            if (flags & MB_ERR_INVALID_CHARS)
                return Fail(ERROR_NO_UNICODE_TRANSLATION);
            c = kReplacement;
        }
        const wchar_t unit = static_cast<wchar_t>(c);
        if (!out.Put(&unit, 1))
            return Fail(ERROR_INSUFFICIENT_BUFFER);
    }
    return out.count;
}

int WideCharToMultiByte(UINT codePage, DWORD flags, const wchar_t* source, int sourceLength, char* target,
    int targetLength, const char* defaultChar, BOOL* usedDefault)
{
    if (!CheckLengths(source, sourceLength, target, targetLength))
        return Fail(ERROR_INVALID_PARAMETER);
    Page page;
    if (!ResolvePage(codePage, page))
        return Fail(ERROR_INVALID_PARAMETER);
    if (page == Page::Utf8 && (defaultChar || usedDefault))
        return Fail(ERROR_INVALID_PARAMETER);
    if ((flags & ~WC_ERR_INVALID_CHARS) != 0 || (page != Page::Utf8 && flags != 0))
        return Fail(ERROR_INVALID_FLAGS);
    const int length = sourceLength == -1 ? static_cast<int>(std::wcslen(source)) + 1 : sourceLength;
    if (usedDefault)
        *usedDefault = 0;
    const char fallback = defaultChar ? *defaultChar : '?';
    Output<char> out{target, targetLength};
    for (int i = 0; i < length;) {
        char32_t c;
        const bool valid = ReadWide(source, length, i, c);
        char bytes[4];
        int n = 1;
        if (page == Page::Utf8) {
            if (!valid && (flags & WC_ERR_INVALID_CHARS))
                return Fail(ERROR_NO_UNICODE_TRANSLATION);
            n = vx::text::EncodeUtf8(valid ? c : kReplacement, bytes);
        } else if (!valid || !EncodeCp1252(c, bytes[0])) {
            bytes[0] = fallback;
            if (usedDefault)
                *usedDefault = 1;
        }
        if (!out.Put(bytes, n))
            return Fail(ERROR_INSUFFICIENT_BUFFER);
    }
    return out.count;
}

UINT GetACP() noexcept { return CP_WINDOWS_1252; }

namespace vx::text {

UINT ThreadAnsiCodePage() noexcept
{
    // nl_langinfo answers for the calling thread's locale (uselocale) or the global one.
    const std::string_view codeset = nl_langinfo(CODESET);
    if (codeset == "ISO-8859-1" || codeset == "CP1252")
        return CP_WINDOWS_1252;
    return CP_UTF8;
}

} // namespace vx::text
