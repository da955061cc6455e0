#include <gtest/gtest.h>

#include <cmath>
#include <limits>

#include "foundation/stream/MemoryStream.h"
#include "foundation/stream/StorageBinStream.h"
#include "foundation/units/Prefix.h"
#include "foundation/units/UnitEntry.h"

using namespace KEL;

namespace {
String Take(IKELString* rep)
{
    String s(rep);
    if (rep)
        rep->Release();
    return s;
}

struct EntryHolder {
    EntryHolder(const wchar_t* name, std::uint32_t index)
        : entry(new UnitEntry(String(name), index))
    {
        entry->AddRef();
    }
    ~EntryHolder() { entry->Release(); }
    UnitEntry* entry;
};

constexpr double kNaN = std::numeric_limits<double>::quiet_NaN();
constexpr double kInf = std::numeric_limits<double>::infinity();
} // namespace

TEST(Prefix, LettersPowersAndScalesAgreeBothWays)
{
    struct Case {
        wchar_t letter;
        int power;
        double scale;
        std::uint32_t index;
    };
    const Case cases[] = {
        { L'a', -18, 1e18, 2 },
        { L'f', -15, 1e15, 3 },
        { L'p', -12, 1e12, 4 },
        { L'n', -9, 1e9, 5 },
        { kMicroSign, -6, 1e6, 6 },
        { L'm', -3, 1000, 7 },
        { L'k', 3, 0.001, 9 },
        { L'M', 6, 1e-6, 10 },
        { L'G', 9, 1e-9, 11 },
        { L'T', 12, 1e-12, 12 },
        { L'P', 15, 1e-15, 13 },
        { L'E', 18, 1e-18, 14 },
    };
    for (const auto& c : cases) {
        EXPECT_EQ(c.letter, PrefixCharFromExponent(c.power));
        EXPECT_EQ(c.power, ExponentFromPrefixChar(c.letter));
        EXPECT_EQ(c.scale, PrefixScaleFromChar(c.letter));
        EXPECT_EQ(c.index, PrefixIndexFromChar(c.letter));
        EXPECT_EQ(c.letter, PrefixCharFromIndex(c.index));
        EXPECT_EQ(c.letter, PrefixedUnit(L"V", c.index).Prefix()) << c.index; // T, P and E too
        EXPECT_EQ(c.index, PrefixedUnit(L"V", c.letter).PrefixIndex());
    }
    // u is another spelling of micro; y, z, Z, Y have powers but no scale or index.
    EXPECT_EQ(-6, ExponentFromPrefixChar(L'u'));
    EXPECT_EQ(6u, PrefixIndexFromChar(L'u'));
    for (wchar_t unknown : { L'y', L'z', L'Z', L'Y', L'K', L'x' }) {
        EXPECT_EQ(0.0, PrefixScaleFromChar(unknown));
        EXPECT_EQ(0, ExponentFromPrefixChar(unknown));
        EXPECT_EQ(0u, PrefixIndexFromChar(unknown));
    }
    EXPECT_EQ(L'y', PrefixCharFromExponent(-24));
    EXPECT_EQ(0, PrefixCharFromExponent(0));
    EXPECT_EQ(0, PrefixCharFromExponent(4));
    EXPECT_EQ(1.0, PrefixScaleFromChar(0));
    EXPECT_EQ(1.0, PrefixScaleFromChar(L'\u00A0'));
    EXPECT_EQ(2.5, 2500 * PrefixScaleFromChar(L'k'));
    EXPECT_EQ(0, PrefixCharFromIndex(1));
    EXPECT_EQ(0, PrefixCharFromIndex(8));
    EXPECT_EQ(1u, PrefixIndexFromChar(0));
    EXPECT_EQ(L"mV", PrefixedUnit(L"V", 7u).Text());
    EXPECT_EQ(L"V", PrefixedUnit(L"V", 8u).Text());
    EXPECT_EQ(String(L"kHz"), PrefixedUnitText(3, String(L"Hz")));
    EXPECT_EQ(String(L"Hz"), PrefixedUnitText(2, String(L"Hz")));
}

TEST(Prefix, EngineeringIndexKeepsTheMantissaInOneToAThousand)
{
    const std::pair<double, std::uint32_t> cases[] = {
        { 0.0042, 7 },
        { 0.042, 7 },
        { 0.42, 7 },
        { 1.0, 8 },
        { 420, 8 },
        { 4200, 9 },
        { -4200, 9 },
        { 999.0, 8 },
        { 1000.0, 9 },
        { 2e-18, 2 },
        { 3e18, 14 },
        { 1e-21, 1 },
        { 1e21, 1 },
        { 0.0, 1 },
        { kNaN, 1 },
        { kInf, 1 },
        { -kInf, 1 },
        { std::numeric_limits<double>::denorm_min(), 1 },
        { std::numeric_limits<double>::max(), 1 },
    };
    for (const auto& [value, index] : cases)
        EXPECT_EQ(index, EngineeringPrefixIndex(value)) << value;
}

TEST(UnitEntry, TextAndFormatting)
{
    EntryHolder s(L"s", 0);
    IUnitName* unit = s.entry;
    EXPECT_EQ(String(L"?s"), Take([&] {
        IKELString* t = nullptr;
        unit->GetText(1, &t);
        return t;
    }()));
    struct Case {
        std::uint32_t index;
        DWORD flags;
        double value;
        const wchar_t* text;
    };
    const Case cases[] = {
        { 0, 0x0F03, 0.0042, L"4.2 ms" }, { 0, 0x0F03, 0.0, L"0 s" }, // no prefix for zero
        { 0, 0x0F03, 1e-21, L"1e-21 s" }, // outside the table
        { 0, 0x0F03, kNaN, L"nan s" }, // no prefix and no integer conversion of a NaN
        { 0, 0x0F03, kInf, L"inf s" },
        { 0, 0x0703, 0.0042, L"0.0042 s" }, // without automatic prefix index 0 is no prefix
        { 9, 0x0500, 2500, L"2.5" }, { 9, 0x0700, 2500, L"2.5 ks" },
        { 9, 0x0300, 2500, L"2500 s" }, // not scaled: the bare unit
        { 12, 0x0700, 3e12, L"3 Ts" }, { 8, 0x0700, 2, L"2 s" },
        { 99, 0x0F00, 1234.5, L"1234.5 s" }, // an index naming no prefix: base units, never times 0
        { 7, 0x0600, 1, L"ms" }, { 7, 0x0200, 1, L"s" }, { 1, 0x0100, 1.0 / 3, L"0.3333333" }, // 7 digits by default
    };
    for (const auto& c : cases) {
        unit->SetPrefixIndex(c.index);
        IKELString* text = nullptr;
        ASSERT_EQ(S_OK, unit->Format(c.flags, c.value, &text));
        EXPECT_EQ(String(c.text).Utf8(), Take(text).Utf8()) << c.index << " " << c.value;
    }
    for (auto [index, text] : { std::pair { 1u, L"s" }, { 8u, L"s" }, { 0u, L"?s" }, { 10u, L"Ms" }, { 14u, L"Es" } }) {
        unit->SetPrefixIndex(index);
        IKELString* t = nullptr;
        unit->GetText(1, &t);
        EXPECT_EQ(String(text), Take(t));
        unit->GetText(0, &t);
        EXPECT_EQ(String(L"s"), Take(t));
    }
    EXPECT_EQ(E_INVALIDARG, unit->Format(0, 1, nullptr));
    EXPECT_EQ(E_INVALIDARG, unit->GetText(1, nullptr));
    EXPECT_EQ(E_INVALIDARG, unit->GetPrefixIndex(nullptr));
    EXPECT_EQ(E_INVALIDARG, unit->GetFlag(nullptr));
    EXPECT_EQ(E_INVALIDARG, unit->Clone(nullptr));
}

TEST(UnitEntry, SharesTheNameClonesAndRoundTrips)
{
    EntryHolder hz(L"x", 0);
    String name(L"Hz");
    EXPECT_EQ(S_OK, hz.entry->SetUnitName(name.Rep()));
    EXPECT_EQ(name.c_str(), hz.entry->UnitName().c_str()); // shared, not copied
    hz.entry->SetPrefixIndex(9);
    hz.entry->SetFlag(42);
    ULONG flag = 0;
    hz.entry->GetFlag(&flag);
    EXPECT_EQ(1u, flag);

    IUnitName* copy = nullptr;
    ASSERT_EQ(S_OK, hz.entry->Clone(&copy));
    ULONG index = 0;
    copy->GetPrefixIndex(&index);
    copy->GetFlag(&flag);
    EXPECT_EQ(9u, index);
    EXPECT_EQ(1u, flag);
    EXPECT_EQ(0u, copy->Release());

    auto* mem = MemoryStream::Create();
    {
        StorageBinOStreamLite out(mem);
        ASSERT_EQ(S_OK, hz.entry->Save(&out));
    }
    mem->Rewind();
    EntryHolder back(L"old", 3);
    {
        StorageBinIStreamLite in(mem);
        ASSERT_EQ(S_OK, back.entry->Load(&in));
    }
    // The stored layout after the stream's header word: prefix index, the name as a tagged
    // UTF-16LE string (tag, count with the terminator, its negation, the units), then the flag;
    // little-endian words.
    const std::vector<std::uint8_t> expected = { 0xAA, 0xAA, 0x15, 0x55, 9, 0, 0, 0, 0x01, 0, 0, 0x80, 3, 0, 0, 0, 0xFD,
        0xFF, 0xFF, 0xFF, 'H', 0, 'z', 0, 0, 0, 1, 0, 0, 0 };
    EXPECT_EQ(expected, std::vector<std::uint8_t>(mem->Bytes().begin(), mem->Bytes().end()));
    EXPECT_EQ(String(L"Hz"), back.entry->UnitName());
    back.entry->GetPrefixIndex(&index);
    back.entry->GetFlag(&flag);
    EXPECT_EQ(9u, index);
    EXPECT_EQ(1u, flag);

    // A stream cut short leaves the entry as it was.
    std::vector<std::uint8_t> cut(mem->Bytes().begin(), mem->Bytes().end() - 2);
    mem->Release();
    auto* shortMem = MemoryStream::Create(cut);
    {
        StorageBinIStreamLite in(shortMem);
        EXPECT_EQ(E_FAIL, back.entry->Load(&in));
    }
    shortMem->Release();
    EXPECT_EQ(String(L"Hz"), back.entry->UnitName());
    EXPECT_EQ(E_FAIL, back.entry->Load(nullptr));
    EXPECT_EQ(E_FAIL, back.entry->Save(nullptr));
}

// The unit class's persisted id carries the type index the lookup given answers for the unit
// class's GUID; without a lookup the index is 0.
namespace {
WORD gIndexOfUnitClass = 0;
WORD LookUp(const GUID& type)
{
    return type == vx::com::MakeGuid("{C203FC30-7AAA-11D3-80B9-005004AD3C53}") ? gIndexOfUnitClass : 0x7777;
}
} // namespace

TEST(UnitEntry, ClassIdCarriesTheTypeIndexTheLookupGives)
{
    EntryHolder unit(L"s", 1);
    DWORD id = 0;
    ASSERT_EQ(S_OK, unit.entry->GetClassId(&id));
    EXPECT_EQ(19u, id);
    SetTypeIndexLookup(&LookUp);
    for (const WORD index : { WORD(0x2A), WORD(0xFFFF) }) {
        gIndexOfUnitClass = index;
        ASSERT_EQ(S_OK, unit.entry->GetClassId(&id));
        EXPECT_EQ((DWORD(index) << 16) | 19u, id);
    }
    SetTypeIndexLookup(nullptr);
    ASSERT_EQ(S_OK, unit.entry->GetClassId(&id));
    EXPECT_EQ(19u, id);
    EXPECT_EQ(E_INVALIDARG, unit.entry->GetClassId(nullptr));
}
