#include <gtest/gtest.h>

#include <cmath>
#include <cwchar>
#include <unordered_set>

#include "com/Bstr.h"
#include "com/Variant.h"

using vx::com::TryParseGuid;

TEST(Guid, ParsesAndFormatsTheRegistryForm)
{
    constexpr GUID g = vx::com::MakeGuid("{EA881A0C-B5E6-42DD-9B2E-4714888D1B5B}");
    static_assert(g.Data1 == 0xEA881A0C && g.Data2 == 0xB5E6 && g.Data3 == 0x42DD);
    EXPECT_EQ(g.Data4[0], 0x9B);
    EXPECT_EQ(g.Data4[7], 0x5B);
    EXPECT_EQ(vx::com::GuidToString(g), "{EA881A0C-B5E6-42DD-9B2E-4714888D1B5B}");
    EXPECT_EQ(vx::com::GuidToWString(g), L"{EA881A0C-B5E6-42DD-9B2E-4714888D1B5B}");
    EXPECT_EQ(TryParseGuid("ea881a0c-b5e6-42dd-9b2e-4714888d1b5b"), g);
}

TEST(Guid, RejectsMalformedText)
{
    for (const char* bad : { "", "{}", "{EA881A0C-B5E6-42DD-9B2E-4714888D1B5}",
             "{EA881A0C-B5E6-42DD-9B2E-4714888D1B5BX}", "{EA881A0CXB5E6-42DD-9B2E-4714888D1B5B}",
             "{EA881A0C-B5E6-42DD-9B2E-4714888D1B5G}", "(EA881A0C-B5E6-42DD-9B2E-4714888D1B5B)" })
        EXPECT_FALSE(TryParseGuid(bad).has_value()) << bad;
}

TEST(Guid, OrdersAndHashes)
{
    const GUID a = *TryParseGuid("{00000001-0000-0000-0000-000000000000}");
    const GUID b = *TryParseGuid("{00000001-0000-0000-0000-000000000001}");
    EXPECT_TRUE(a < b);
    EXPECT_FALSE(b < a);
    EXPECT_FALSE(a == b);
    std::unordered_set<GUID> set { a, b, a };
    EXPECT_EQ(set.size(), 2u);
}

TEST(Bstr, AllocationLengthsAndFree)
{
    const long before = vx::com::LiveBstrCount();
    BSTR s = SysAllocString(L"heart");
    ASSERT_NE(s, nullptr);
    EXPECT_EQ(SysStringLen(s), 5u);
    EXPECT_EQ(SysStringByteLen(s), 5 * sizeof(wchar_t));
    EXPECT_EQ(std::wcscmp(s, L"heart"), 0);

    // Embedded zeros are kept: the length comes from the prefix.
    const wchar_t withZero[] = { L'a', 0, L'b' };
    BSTR z = SysAllocStringLen(withZero, 3);
    EXPECT_EQ(SysStringLen(z), 3u);
    EXPECT_EQ(z[2], L'b');
    EXPECT_EQ(z[3], 0);

    BSTR blank = SysAllocStringLen(nullptr, 4);
    EXPECT_EQ(SysStringLen(blank), 4u);
    EXPECT_EQ(blank[0], 0);

    EXPECT_TRUE(SysReAllocString(&s, L"rate"));
    EXPECT_EQ(std::wcscmp(s, L"rate"), 0);

    EXPECT_EQ(SysAllocString(nullptr), nullptr);
    EXPECT_EQ(SysStringLen(nullptr), 0u);
    EXPECT_EQ(vx::com::LiveBstrCount(), before + 3);
    SysFreeString(s);
    SysFreeString(z);
    SysFreeString(blank);
    SysFreeString(nullptr);
    EXPECT_EQ(vx::com::LiveBstrCount(), before);
}

TEST(Variant, CopyDuplicatesTextAndClearFreesIt)
{
    const long before = vx::com::LiveBstrCount();
    VARIANT a;
    a.vt = VT_BSTR;
    a.bstrVal = SysAllocString(L"RMSSD");
    VARIANT b;
    ASSERT_EQ(VariantCopy(&b, &a), S_OK);
    EXPECT_NE(a.bstrVal, b.bstrVal);
    EXPECT_EQ(std::wcscmp(b.bstrVal, L"RMSSD"), 0);
    EXPECT_EQ(VariantCopy(&a, &a), S_OK);
    VariantClear(&a);
    VariantClear(&b);
    EXPECT_EQ(a.vt, VT_EMPTY);
    EXPECT_EQ(vx::com::LiveBstrCount(), before);
    EXPECT_EQ(VariantCopy(nullptr, &a), E_INVALIDARG);
}

TEST(Variant, ChangeTypeTable)
{
    struct Case {
        VARIANT (*make)();
        VARTYPE to;
        HRESULT hr;
        double expected;
    };
    const Case cases[] = {
        { [] {
             VARIANT x;
             x.vt = VT_R8;
             x.dblVal = 2.5;
             return x;
         },
            VT_I4, S_OK, 2 }, // half to even
        { [] {
             VARIANT x;
             x.vt = VT_R8;
             x.dblVal = 3.5;
             return x;
         },
            VT_I4, S_OK, 4 },
        { [] {
             VARIANT x;
             x.vt = VT_R8;
             x.dblVal = 1e12;
             return x;
         },
            VT_I4, DISP_E_OVERFLOW, 0 },
        { [] {
             VARIANT x;
             x.vt = VT_R8;
             x.dblVal = NAN;
             return x;
         },
            VT_I4, DISP_E_OVERFLOW, 0 },
        { [] {
             VARIANT x;
             x.vt = VT_I4;
             x.lVal = -7;
             return x;
         },
            VT_R8, S_OK, -7 },
        { [] {
             VARIANT x;
             x.vt = VT_BSTR;
             x.bstrVal = SysAllocString(L" 0.25 ");
             return x;
         },
            VT_R8, S_OK, 0.25 },
        { [] {
             VARIANT x;
             x.vt = VT_BSTR;
             x.bstrVal = SysAllocString(L"0,25");
             return x;
         },
            VT_R8, DISP_E_TYPEMISMATCH, 0 },
        { [] {
             VARIANT x;
             x.vt = VT_BSTR;
             x.bstrVal = SysAllocString(L"abc");
             return x;
         },
            VT_I4, DISP_E_TYPEMISMATCH, 0 },
        { [] {
             VARIANT x;
             x.vt = VT_BOOL;
             x.boolVal = VARIANT_TRUE;
             return x;
         },
            VT_I4, S_OK, -1 },
    };
    for (const Case& c : cases) {
        VARIANT src = c.make();
        VARIANT dst;
        EXPECT_EQ(VariantChangeType(&dst, &src, 0, c.to), c.hr);
        if (SUCCEEDED(c.hr)) {
            EXPECT_EQ(dst.vt, c.to);
            VARIANT asDouble;
            ASSERT_EQ(VariantChangeType(&asDouble, &dst, 0, VT_R8), S_OK);
            EXPECT_EQ(asDouble.dblVal, c.expected);
        } else {
            EXPECT_EQ(dst.vt, VT_EMPTY);
        }
        VariantClear(&src);
        VariantClear(&dst);
    }
}

TEST(Variant, NumbersToTextUseTheClassicLocale)
{
    VARIANT src;
    src.vt = VT_R8;
    src.dblVal = 1234.5;
    VARIANT dst;
    ASSERT_EQ(VariantChangeType(&dst, &src, 0, VT_BSTR), S_OK);
    EXPECT_EQ(std::wcscmp(dst.bstrVal, L"1234.5"), 0);
    // In place.
    ASSERT_EQ(VariantChangeType(&dst, &dst, 0, VT_R8), S_OK);
    EXPECT_EQ(dst.dblVal, 1234.5);
}
