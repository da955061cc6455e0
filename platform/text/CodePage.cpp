#include "text/CodePage.h"

#include <langinfo.h>

#include <cstring>
#include <string_view>

#include "com/LastError.h"
#include "text/Unicode.h"

namespace {

constexpr DWORD MB_PRECOMPOSED = 0x00000001;
constexpr char32_t kReplacement = 0xFFFD;

// Windows-1252 positions 0x80-0x9F. The five positions the code page leaves undefined map to the
// C1 control of the same value, as the Windows tables do, so every byte round-trips.
constexpr char16_t kCp1252High[32] = { 0x20AC, 0x0081, 0x201A, 0x0192, 0x201E, 0x2026, 0x2020, 0x2021, 0x02C6, 0x2030,
    0x0160, 0x2039, 0x0152, 0x008D, 0x017D, 0x008F, 0x0090, 0x2018, 0x2019, 0x201C, 0x201D, 0x2022, 0x2013, 0x2014,
    0x02DC, 0x2122, 0x0161, 0x203A, 0x0153, 0x009D, 0x017E, 0x0178 };

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
template <class T> struct Output {
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

int MultiByteToWideChar(
    UINT codePage, DWORD flags, const char* source, int sourceLength, wchar_t* target, int targetLength)
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
    Output<wchar_t> out { target, targetLength };
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
    Output<char> out { target, targetLength };
    for (int i = 0; i < length;) {
        char32_t c;
        const bool valid = vx::text::ReadCodePoint(source, length, i, c);
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

UINT GetACP() noexcept
{
    return CP_WINDOWS_1252;
}

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
