#include <gtest/gtest.h>

#include <cmath>
#include <cstdint>
#include <limits>
#include <string>

#include "foundation/BestRationalApproximation.h"
#include "foundation/OSInfo.h"
#include "foundation/Utf.h"

namespace {

struct Decoded {
    KEL::ConversionResult result;
    std::u16string units;
    std::ptrdiff_t consumed;
};

Decoded Decode(const std::string& bytes, std::size_t room = 16)
{
    std::u16string target(room, u'\0');
    const auto* source = reinterpret_cast<const unsigned char*>(bytes.data());
    const auto* start = source;
    char16_t* out = target.data();
    const auto result = KEL::ConvertUtf8ToUtf16(&source, start + bytes.size(), &out, target.data() + room);
    return { result, std::u16string(target.data(), out), source - start };
}

} // namespace

TEST(Utf8, ConvertReportsWhereAndWhyItStopped)
{
    struct Case {
        std::string bytes;
        std::size_t room;
        KEL::ConversionResult result;
        std::u16string units;
        std::ptrdiff_t consumed;
    };
    const Case cases[] = {
        { "\xE2\x82\xAC", 16, KEL::conversionOK, u"\u20AC", 3 },
        { "\xF0\x9F\x98\x80", 16, KEL::conversionOK, u"\xD83D\xDE00", 4 },
        { "a\xED\xA0\x80", 16, KEL::sourceIllegal, u"a", 1 }, // an encoded surrogate
        { "a\xC0\x80", 16, KEL::sourceIllegal, u"a", 1 }, // overlong
        { "a\xF8\x88\x80\x80\x80", 16, KEL::sourceIllegal, u"a", 1 }, // five bytes are never legal
        { "ab\xE2\x82", 16, KEL::sourceExhausted, u"ab", 2 },
        { "a\xF0\x9F\x98\x80", 2, KEL::targetExhausted, u"a", 1 }, // no room for the pair
        { "ab", 1, KEL::targetExhausted, u"a", 1 },
    };
    for (const Case& c : cases) {
        const Decoded d = Decode(c.bytes, c.room);
        EXPECT_EQ(d.result, c.result) << c.bytes;
        EXPECT_EQ(d.units, c.units) << c.bytes;
        EXPECT_EQ(d.consumed, c.consumed) << c.bytes;
    }
}

TEST(Utf8, LegalSequences)
{
    struct Case {
        std::string bytes;
        bool legal;
    };
    const Case cases[] = {
        { "A", true },
        { "\x80", false },
        { "\xC1\xBF", false },
        { "\xC2\x80", true },
        { "\xE0\x9F\x80", false },
        { "\xE0\xA0\x80", true },
        { "\xED\x9F\xBF", true },
        { "\xED\xA0\x80", false },
        { "\xF0\x8F\xBF\xBF", false },
        { "\xF0\x90\x80\x80", true },
        { "\xF4\x8F\xBF\xBF", true },
        { "\xF4\x90\x80\x80", false },
        { "\xF5\x80\x80\x80", false },
        { "\xE2\x28\xA1", false },
        { "\xF4\x5E\xA7\x9E", false },
        { "\xED\x41\x80", false },
    };
    for (const Case& c : cases)
        EXPECT_EQ(
            KEL::IsLegalUtf8(reinterpret_cast<const unsigned char*>(c.bytes.data()), int(c.bytes.size())), c.legal)
            << c.bytes;
}

TEST(Utf8, WideConversionsReplaceWhatIsIllFormed)
{
    EXPECT_EQ(KEL::Utf8ToWide("caf\xC3\xA9 \xF0\x9F\x98\x80"), L"caf\u00E9 \U0001F600");
    // Nothing after a bad byte is lost.
    EXPECT_EQ(KEL::Utf8ToWide("a\xFF"
                              "b\xED\xA0\x80"
                              "c"),
        L"a\uFFFDb\uFFFD\uFFFD\uFFFDc");
    EXPECT_EQ(KEL::Utf8ToWide("ab\xE2\x82"), L"ab\uFFFD");
    EXPECT_EQ(KEL::Utf8ToWide("\xE2\x82"
                              "A"),
        L"\uFFFDA");
    EXPECT_EQ(KEL::Utf8ToWide(""), L"");
    const std::string big(1000, 'x');
    EXPECT_EQ(KEL::Utf8ToWide(big), std::wstring(1000, L'x'));

    const char16_t pair[] = { 0xD83D, 0xDE00 };
    EXPECT_EQ(KEL::Utf16ToUtf8(pair, 2), "\xF0\x9F\x98\x80");
    const char16_t lone[] = { u'a', 0xDC00, u'b' };
    EXPECT_EQ(KEL::Utf16ToUtf8(lone, 3),
        "a\xEF\xBF\xBD"
        "b");
    const char16_t trailingHigh[] = { u'a', 0xD83D };
    EXPECT_EQ(KEL::Utf16ToUtf8(trailingHigh, 2), "a\xEF\xBF\xBD");
    EXPECT_EQ(KEL::Utf16ToUtf8(L"\u00E9\U0001F600", 2), "\xC3\xA9\xF0\x9F\x98\x80");
    EXPECT_EQ(KEL::Utf16ToUtf8(static_cast<const char16_t*>(nullptr), 3), "");

    const std::wstring text = L"\u00C5ngstr\u00F6m \U0001D11E";
    EXPECT_EQ(KEL::WideToUtf16(text.data(), text.size()), u"\u00C5ngstr\u00F6m \U0001D11E");
    const std::u16string units = KEL::WideToUtf16(text.data(), text.size());
    EXPECT_EQ(KEL::Utf16ToWide(units.data(), units.size()), text);
}

TEST(RationalApproximation, ConvergentsAndBounds)
{
    constexpr double inf = std::numeric_limits<double>::infinity();
    struct Case {
        double x;
        std::int32_t n, d;
    };
    const Case cases[] = {
        { 0.75, 3, 4 },
        { -0.5, -1, 2 },
        { 3.0, 3, 1 },
        { 0.1, 1, 10 },
        { 1.0 / 3.0, 1, 3 },
        { 0.0, 0, 1 },
        { 1e-12, 0, 1 },
        { 2147483647.0, 2147483647, 1 },
        { 2147483648.0, 2147483647, 1 },
        { 1e300, 2147483647, 1 },
        { inf, 2147483647, 1 },
        { -2147483648.0, std::numeric_limits<std::int32_t>::min(), 1 },
        { -inf, std::numeric_limits<std::int32_t>::min(), 1 },
        { std::nan(""), 0, 1 },
    };
    for (const Case& c : cases) {
        std::int32_t n = -7, d = -7;
        KEL::BestRationalApproximation(c.x, &n, &d);
        EXPECT_EQ(n, c.n) << c.x;
        EXPECT_EQ(d, c.d) << c.x;
    }
    // Irrational values: a close approximation whose terms stay within 32 bits.
    for (double x : { M_PI, -M_E, std::sqrt(2.0), 1e-9, 123456.789 }) {
        std::int32_t n = 0, d = 0;
        KEL::BestRationalApproximation(x, &n, &d);
        ASSERT_GT(d, 0) << x;
        EXPECT_NEAR(double(n) / d, x, std::fabs(x) * 1e-9 + 1e-9) << x;
    }
}

TEST(OSInfo, ReadOnceWithTheAllocationMask)
{
    const KEL::OSInfo* info = KEL::GetOSInfo();
    ASSERT_EQ(info, KEL::GetOSInfo());
    EXPECT_EQ(info->allocationMask, 0u - info->systemInfo.dwAllocationGranularity);
    EXPECT_EQ(info->allocationMask & 0x12345u, 0x12345u & ~(info->systemInfo.dwAllocationGranularity - 1));
    EXPECT_EQ(info->versionInfo.dwOSVersionInfoSize, sizeof(OSVERSIONINFOW));
    EXPECT_EQ(info->versionInfo.dwPlatformId, VER_PLATFORM_WIN32_NT);
}
