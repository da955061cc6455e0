#include <gtest/gtest.h>

#include <clocale>
#include <locale.h>
#include <string>
#include <vector>

#include "com/LastError.h"
#include "text/CodePage.h"
#include "text/SystemMessage.h"
#include "text/Unicode.h"

namespace {

std::wstring ToWide(UINT cp, const std::string& bytes, DWORD flags = 0)
{
    const int n = MultiByteToWideChar(cp, flags, bytes.data(), static_cast<int>(bytes.size()), nullptr, 0);
    std::wstring out(static_cast<std::size_t>(n), L'\0');
    if (n > 0) {
        EXPECT_EQ(MultiByteToWideChar(cp, flags, bytes.data(), static_cast<int>(bytes.size()), out.data(), n), n);
    }
    return out;
}

std::string ToNarrow(UINT cp, const std::wstring& text)
{
    const int n = WideCharToMultiByte(cp, 0, text.data(), static_cast<int>(text.size()), nullptr, 0, nullptr, nullptr);
    std::string out(static_cast<std::size_t>(n), '\0');
    if (n > 0) {
        EXPECT_EQ(
            WideCharToMultiByte(cp, 0, text.data(), static_cast<int>(text.size()), out.data(), n, nullptr, nullptr), n);
    }
    return out;
}

} // namespace

TEST(CodePage, DecodesEachCodePage)
{
    struct Case {
        UINT cp;
        std::string bytes;
        std::wstring text;
    };
    const Case cases[] = {
        { CP_ACP, "caf\xE9", L"caf\u00E9" },
        { CP_ACP, "\x80\x81\x8A\x9F\xFF", L"\u20AC\u0081\u0160\u0178\u00FF" },
        { CP_WINDOWS_1252, "\x93quoted\x94", L"\u201Cquoted\u201D" },
        { CP_UTF8, "\xE2\x82\xAC", L"\u20AC" },
        { CP_UTF8, "\xF0\x9F\x98\x80", L"\U0001F600" },
        // Ill-formed input: one U+FFFD per maximal ill-formed subpart.
        { CP_UTF8,
            "a\xFF"
            "b",
            L"a\uFFFDb" },
        { CP_UTF8, "\xED\xA0\x80", L"\uFFFD\uFFFD\uFFFD" },
        { CP_UTF8, "\xE2\x82", L"\uFFFD" },
        { CP_UTF8, "\xC0\xAF", L"\uFFFD\uFFFD" },
        { CP_UTF8, "\xF4\x90\x80\x80", L"\uFFFD\uFFFD\uFFFD\uFFFD" },
    };
    for (const Case& c : cases)
        EXPECT_EQ(ToWide(c.cp, c.bytes), c.text) << c.bytes;
}

TEST(CodePage, EncodesEachCodePage)
{
    EXPECT_EQ(ToNarrow(CP_ACP, L"caf\u00E9 \u20AC\u2122"), "caf\xE9 \x80\x99");
    EXPECT_EQ(ToNarrow(CP_UTF8, L"\u00E9\U0001F600"), "\xC3\xA9\xF0\x9F\x98\x80");
    // Lone surrogates and values beyond U+10FFFF become U+FFFD; a pair left by UTF-16 is joined.
    EXPECT_EQ(ToNarrow(CP_UTF8, std::wstring { L'a', wchar_t(0xDC00), L'b' }),
        "a\xEF\xBF\xBD"
        "b");
    EXPECT_EQ(ToNarrow(CP_UTF8, std::wstring { wchar_t(0x110000) }), "\xEF\xBF\xBD");
    EXPECT_EQ(ToNarrow(CP_UTF8, std::wstring { wchar_t(0xD83D), wchar_t(0xDE00) }), "\xF0\x9F\x98\x80");
}

// Each unit stands for itself: a surrogate pair is not joined here, unlike CP_UTF8 above.
TEST(Unicode, UnitsToUtf8ReplacesEveryUnitThatIsNoCodePoint)
{
    EXPECT_EQ(vx::text::UnitsToUtf8(L"a\u00E9\u20AC\U0001F600"), "a\xC3\xA9\xE2\x82\xAC\xF0\x9F\x98\x80");
    EXPECT_EQ(vx::text::UnitsToUtf8(std::wstring { wchar_t(0xD83D), wchar_t(0xDE00) }), "\xEF\xBF\xBD\xEF\xBF\xBD");
    EXPECT_EQ(vx::text::UnitsToUtf8(std::wstring { wchar_t(0x110000), wchar_t(-1) }), "\xEF\xBF\xBD\xEF\xBF\xBD");
    EXPECT_EQ(vx::text::UnitsToUtf8(L""), "");
}

TEST(Unicode, JsonQuotedIsAValidLiteralWhateverTheBytes)
{
    struct Case {
        std::string in, out;
    };
    const std::vector<Case> cases {
        { "", R"("")" },
        { "plain \xC3\xA9\xF0\x9F\x98\x80", "\"plain \xC3\xA9\xF0\x9F\x98\x80\"" },
        { "q\"b\\s/", R"("q\"b\\s/")" },
        { "\n\r\t\b\f", R"("\n\r\t\b\f")" },
        { std::string("\x01\x1F\x7F", 3) + std::string(1, '\0'), "\"\\u0001\\u001f\x7F\\u0000\"" },
        { "a\xE2\x80\xA8"
          "b\xE2\x80\xA9",
            R"("a\u2028b\u2029")" },
        // One U+FFFD per ill-formed part: a lone trail byte, a cut sequence, an encoded surrogate.
        { "a\x80"
          "b\xE2\x82"
          "c\xED\xA0\x80",
            "\"a\xEF\xBF\xBD"
            "b\xEF\xBF\xBD"
            "c\xEF\xBF\xBD\xEF\xBF\xBD\xEF\xBF\xBD\"" },
    };
    for (const Case& c : cases)
        EXPECT_EQ(vx::text::JsonQuoted(c.in), c.out) << c.in;
}

TEST(CodePage, TerminatorCountsWhenLengthIsMinusOne)
{
    wchar_t out[8];
    EXPECT_EQ(MultiByteToWideChar(CP_UTF8, 0, "ab", -1, nullptr, 0), 3);
    ASSERT_EQ(MultiByteToWideChar(CP_UTF8, 0, "ab", -1, out, 8), 3);
    EXPECT_EQ(std::wstring(out), L"ab");
    char bytes[8];
    ASSERT_EQ(WideCharToMultiByte(CP_UTF8, 0, L"\u00E9", -1, bytes, 8, nullptr, nullptr), 3);
    EXPECT_EQ(std::string(bytes), "\xC3\xA9");
}

TEST(CodePage, MissingCharacterTakesTheDefault)
{
    char bytes[8] = {};
    BOOL used = 0;
    ASSERT_EQ(WideCharToMultiByte(CP_ACP, 0, L"a\u0100", 2, bytes, 8, nullptr, &used), 2);
    EXPECT_EQ(std::string(bytes, 2), "a?");
    EXPECT_TRUE(used);
    const char star = '*';
    ASSERT_EQ(WideCharToMultiByte(CP_ACP, 0, L"\u4E2D", 1, bytes, 8, &star, &used), 1);
    EXPECT_EQ(bytes[0], '*');
}

TEST(CodePage, FailuresReportTheirReason)
{
    wchar_t wide[2];
    char narrow[2];
    BOOL used = 0;
    struct Case {
        const char* what;
        int result;
    };
    const Case cases[] = {
        { "short wide buffer", MultiByteToWideChar(CP_UTF8, 0, "abc", 3, wide, 2) },
        { "short narrow buffer", WideCharToMultiByte(CP_UTF8, 0, L"\u00E9", 1, narrow, 1, nullptr, nullptr) },
        { "strict UTF-8", MultiByteToWideChar(CP_UTF8, MB_ERR_INVALID_CHARS, "\xFF", 1, wide, 2) },
        { "strict lone surrogate",
            WideCharToMultiByte(CP_UTF8, WC_ERR_INVALID_CHARS, L"\xDC00", 1, narrow, 2, nullptr, nullptr) },
        { "default char with UTF-8", WideCharToMultiByte(CP_UTF8, 0, L"a", 1, narrow, 2, nullptr, &used) },
        { "zero length", MultiByteToWideChar(CP_UTF8, 0, "a", 0, wide, 2) },
        { "null source", MultiByteToWideChar(CP_UTF8, 0, nullptr, 1, wide, 2) },
        { "unknown code page", MultiByteToWideChar(437, 0, "a", 1, wide, 2) },
        { "unknown flag", MultiByteToWideChar(CP_UTF8, 0x40, "a", 1, wide, 2) },
    };
    for (const Case& c : cases) {
        EXPECT_EQ(c.result, 0) << c.what;
    }
    // The reason is kept per thread until the next failure; check a few right after their call.
    SetLastError(0);
    EXPECT_EQ(MultiByteToWideChar(CP_UTF8, 0, "abc", 3, wide, 2), 0);
    EXPECT_EQ(GetLastError(), ERROR_INSUFFICIENT_BUFFER);
    EXPECT_EQ(MultiByteToWideChar(CP_UTF8, MB_ERR_INVALID_CHARS, "\xFF", 1, wide, 2), 0);
    EXPECT_EQ(GetLastError(), ERROR_NO_UNICODE_TRANSLATION);
    EXPECT_EQ(WideCharToMultiByte(CP_UTF8, 0, L"a", 1, narrow, 2, nullptr, &used), 0);
    EXPECT_EQ(GetLastError(), ERROR_INVALID_PARAMETER);
    EXPECT_EQ(MultiByteToWideChar(CP_UTF8, 0x40, "a", 1, wide, 2), 0);
    EXPECT_EQ(GetLastError(), ERROR_INVALID_FLAGS);
}

TEST(CodePage, ThreadCodePageFollowsTheLocale)
{
    EXPECT_EQ(GetACP(), 1252u);
    // The classic locale's ASCII is read as UTF-8, its superset.
    EXPECT_EQ(vx::text::ThreadAnsiCodePage(), CP_UTF8);
    locale_t utf8 = newlocale(LC_CTYPE_MASK, "C.UTF-8", nullptr);
    ASSERT_NE(utf8, nullptr);
    locale_t previous = uselocale(utf8);
    EXPECT_EQ(vx::text::ThreadAnsiCodePage(), CP_UTF8);
    EXPECT_EQ(ToWide(CP_THREAD_ACP, "\xC3\xA9"), L"\u00E9");
    uselocale(previous);
    freelocale(utf8);
}

TEST(SystemMessage, KnownCodesAndFailures)
{
    wchar_t buffer[512];
    const DWORD flags = FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS;
    ASSERT_EQ(FormatMessageW(flags, nullptr, 0x80004005u, 0x400, buffer, 512, nullptr), 19u);
    EXPECT_EQ(std::wstring(buffer), L"Unspecified error\r\n");
    ASSERT_GT(FormatMessageW(flags, nullptr, 5, 0x400, buffer, 512, nullptr), 0u);
    EXPECT_EQ(std::wstring(buffer), L"Access is denied.\r\n");
    ASSERT_GT(FormatMessageW(flags, nullptr, 0x80030002u, 0x400, buffer, 512, nullptr), 0u);
    EXPECT_EQ(std::wstring(buffer), L"%1 could not be found.\r\n"); // inserts stay

    EXPECT_EQ(FormatMessageW(flags, nullptr, 0x12345678u, 0, buffer, 512, nullptr), 0u);
    EXPECT_EQ(GetLastError(), ERROR_MR_MID_NOT_FOUND);
    EXPECT_EQ(FormatMessageW(flags, nullptr, 5, 0, buffer, 5, nullptr), 0u);
    EXPECT_EQ(GetLastError(), ERROR_INSUFFICIENT_BUFFER);
    EXPECT_EQ(FormatMessageW(FORMAT_MESSAGE_FROM_STRING, L"x", 0, 0, buffer, 512, nullptr), 0u);
    EXPECT_EQ(GetLastError(), ERROR_INVALID_PARAMETER);
}
