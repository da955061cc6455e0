// Unit names that the framework glue asks of the host's object factory.
#include <gtest/gtest.h>

#include <string>

#include "foundation/String.h"
#include "foundation/units/IUnitName.h"
#include "foundation/units/Prefix.h"
#include "host/caf/tests/RegisteredFramework.h"
#include "hostframework/services/CafFrameWork.h"

namespace {

class HostUnitNames : public caf::test::RegisteredFramework { };

std::wstring TextOf(IUnitName* unit, DWORD withPrefix)
{
    IKELString* text = nullptr;
    EXPECT_EQ(unit->GetText(withPrefix, &text), S_OK);
    KEL::String s;
    s.AssignRep(text);
    return std::wstring(s.c_str());
}

TEST_F(HostUnitNames, CreateUnitNameGivesTheHostsUnitWithThePrefixIndexOfTheLetter)
{
    struct Case {
        wchar_t letter;
        ULONG index;
        const wchar_t* text;
    };
    const Case cases[] = { { 0, 1, L"s" }, { L'a', 2, L"as" }, { L'f', 3, L"fs" }, { L'p', 4, L"ps" },
        { L'n', 5, L"ns" }, { L'u', 6, L"\u00B5s" }, { L'\u00B5', 6, L"\u00B5s" }, { L'm', 7, L"ms" },
        { L'k', 9, L"ks" }, { L'M', 10, L"Ms" }, { L'G', 11, L"Gs" }, { L'x', 0, L"?s" }, { L'K', 0, L"?s" } };
    for (const Case& c : cases) {
        IUnitName* unit = KEL::CreateUnitName(KEL::PrefixedUnit(L"s", c.letter));
        ASSERT_NE(unit, nullptr) << int(c.letter);
        ULONG index = 99;
        EXPECT_EQ(unit->GetPrefixIndex(&index), S_OK);
        EXPECT_EQ(index, c.index) << int(c.letter);
        EXPECT_EQ(TextOf(unit, 1), c.text);
        EXPECT_EQ(TextOf(unit, 0), L"s");
        unit->Release();
    }
}

TEST_F(HostUnitNames, TheHostsUnitKeepsItsFieldsAndClonesThem)
{
    IUnitName* unit = KEL::CreateUnitName(KEL::PrefixedUnit(L"V", L'm'));
    ASSERT_NE(unit, nullptr);
    EXPECT_EQ(unit->SetFlag(5), S_OK);
    EXPECT_EQ(unit->SetPrefixIndex(9), S_OK);
    EXPECT_EQ(unit->SetPrefixIndex(15), E_INVALIDARG); // beyond the table: kept as it was
    IUnitName* copy = nullptr;
    ASSERT_EQ(unit->Clone(&copy), S_OK);
    unit->Release();
    ULONG flag = 0, index = 0;
    EXPECT_EQ(copy->GetFlag(&flag), S_OK);
    EXPECT_EQ(flag, 1u);
    EXPECT_EQ(copy->GetPrefixIndex(&index), S_OK);
    EXPECT_EQ(index, 9u);
    EXPECT_EQ(TextOf(copy, 1), L"kV");
    EXPECT_EQ(copy->GetPrefixIndex(nullptr), E_INVALIDARG);
    copy->Release();
}

} // namespace
