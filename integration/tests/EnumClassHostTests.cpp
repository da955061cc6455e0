// The extension's calculation-enumerator classes as the host sees them with libhrv.so loaded and
// registered through the framework: their class-object operations, aggregation and the unit of
// what their enumerators hand out.
#include "caf/CafHost.h"
#include "com/ClassObjects.h"
#include "foundation/String.h"
#include "foundation/base/SimpleUnknownImp.h"
#include "hostframework/interfaces/CalcEnumInterfaces.h"
#include "hostframework/interfaces/DataPadHostInterfaces.h"
#include "integration/tests/LoadedExtension.h"

#include <gtest/gtest.h>

#include <cwchar>
#include <map>
#include <set>
#include <string>

namespace {

std::wstring Take(IKELString* text)
{
    KEL::String s;
    s.AssignRep(text);
    return s.ToWString();
}

class EnumClassHost : public vx::integration::test::LoadedExtension {
protected:
    void SetUp() override
    {
        LoadedExtension::SetUp();
        if (HasFatalFailure())
            return;
        for (IUnknown* object : objects) {
            void* out = nullptr;
            if (FAILED(object->QueryInterface(ICalcEnumClass2::kIid, &out)))
                continue;
            auto* c = static_cast<ICalcEnumClass2*>(out);
            BSTR name = nullptr;
            ASSERT_EQ(c->GetName(&name), S_OK);
            classes[name] = c;
            SysFreeString(name);
        }
        ASSERT_EQ(classes.size(), 2u);
    }
    void TearDown() override
    {
        for (auto& [name, c] : classes)
            c->Release();
        LoadedExtension::TearDown();
    }

    std::map<std::wstring, ICalcEnumClass2*> classes;
};

TEST_F(EnumClassHost, ClassesDescribeTheirFamilyNameAndDescription)
{
    constexpr IID kFamily = vx::com::MakeGuid("{8FC37F03-9357-11D4-8112-00A0C9E26433}");
    const std::map<std::wstring, std::wstring> descriptions {
        { L"HRVFiducialEnum", L"Detect fiducial points around a given reference event." },
        { L"HRVSelectorEnum", L"Selects a single HRV parameter" }
    };
    for (auto& [name, c] : classes) {
        SCOPED_TRACE(std::string(name.begin(), name.end()));
        const IID* family = nullptr;
        ASSERT_EQ(c->GetFamily(&family), S_OK);
        ASSERT_NE(family, nullptr);
        EXPECT_EQ(*family, kFamily);
        const IID copy = kFamily; // by value, not by the class's own pointer
        EXPECT_EQ(c->IsFamily(&copy), S_OK);
        EXPECT_EQ(c->IsFamily(&ICalcEnum::kIid), S_FALSE);
        EXPECT_EQ(c->IsFamily(nullptr), S_FALSE);
        IKELString* text = nullptr;
        ASSERT_EQ(c->GetNameString(&text), S_OK);
        EXPECT_EQ(Take(text), name);
        ASSERT_EQ(c->GetDescription(&text), S_OK);
        EXPECT_EQ(Take(text), descriptions.at(name));
        DWORD word = 7;
        EXPECT_EQ(c->GetDescriptorWord(&word), S_OK);
        EXPECT_EQ(word, 0u);
        IUnknown* aux = c;
        EXPECT_EQ(c->GetAuxObject(&aux), E_NOTIMPL);
        EXPECT_EQ(aux, nullptr);
    }
}

// An outer object that counts its references and answers IUnknown itself; everything else
// comes from the enumerator it aggregates.
class Outer final : public IUnknown {
public:
    HRESULT QueryInterface(REFIID iid, void** out) override
    {
        if (iid == IUnknown::kIid) {
            *out = this;
            AddRef();
            return S_OK;
        }
        return inner ? inner->QueryInterface(iid, out) : E_NOINTERFACE;
    }
    ULONG AddRef() override { return ++count; }
    ULONG Release() override { return --count; }
    IUnknown* inner = nullptr;
    ULONG count = 1;
};

TEST_F(EnumClassHost, CreateAggregatedHandsOutTheInnerUnknownWhoseInterfacesDelegate)
{
    for (auto& [name, c] : classes) {
        SCOPED_TRACE(std::string(name.begin(), name.end()));
        Outer outer;
        ASSERT_EQ(c->CreateAggregated(&outer, nullptr, &outer.inner), S_OK);
        ASSERT_NE(outer.inner, nullptr);
        EXPECT_NE(outer.inner, static_cast<IUnknown*>(&outer));
        void* p = nullptr;
        ASSERT_EQ(outer.inner->QueryInterface(ICalcEnum::kIid, &p), S_OK);
        EXPECT_EQ(outer.count, 2u); // the reference went to the outer object
        auto* calc = static_cast<ICalcEnum*>(p);
        void* viaEnum = nullptr;
        ASSERT_EQ(calc->QueryInterface(IUnknown::kIid, &viaEnum), S_OK);
        EXPECT_EQ(viaEnum, static_cast<void*>(&outer)); // identity is the outer's
        outer.Release();
        void* events = nullptr;
        ASSERT_EQ(calc->QueryInterface(IEnumEventEx::kIid, &events), S_OK); // through the outer
        static_cast<IEnumEventEx*>(events)->Release();
        calc->Release();
        EXPECT_EQ(outer.count, 1u);
        outer.inner->Release(); // the outer lets go of its part: the enumerator goes
        outer.inner = nullptr;

        // Without an outer object: a plain enumerator, its own IUnknown.
        IUnknown* plain = nullptr;
        ASSERT_EQ(c->CreateAggregated(nullptr, nullptr, &plain), S_OK);
        ASSERT_NE(plain, nullptr);
        ASSERT_EQ(plain->QueryInterface(ICalcEnum::kIid, &p), S_OK);
        void* identity = nullptr;
        static_cast<ICalcEnum*>(p)->QueryInterface(IUnknown::kIid, &identity);
        EXPECT_EQ(identity, static_cast<void*>(plain));
        static_cast<IUnknown*>(identity)->Release();
        static_cast<ICalcEnum*>(p)->Release();
        plain->Release();
    }
}

TEST_F(EnumClassHost, EnumeratorsReportTheUnitOfTheirValues)
{
    const std::map<std::wstring, std::wstring> units { { L"HRVFiducialEnum", L"s" }, { L"HRVSelectorEnum", L"?" } };
    for (auto& [name, c] : classes) {
        SCOPED_TRACE(std::string(name.begin(), name.end()));
        ICalcEnum* calc = nullptr;
        ASSERT_EQ(c->CreateInstance(nullptr, &calc), S_OK);
        void* p = nullptr;
        ASSERT_EQ(calc->QueryInterface(ICalcEnumUnit::kIid, &p), S_OK);
        auto* source = static_cast<ICalcEnumUnit*>(p);
        IUnitName* unit = nullptr;
        ASSERT_EQ(source->GetUnit(&unit), S_OK);
        ASSERT_NE(unit, nullptr);
        IKELString* text = nullptr;
        ASSERT_EQ(unit->GetText(1, &text), S_OK);
        EXPECT_EQ(Take(text), units.at(name));
        ULONG index = 0;
        unit->GetPrefixIndex(&index);
        EXPECT_EQ(index, 1u); // no prefix
        unit->Release();
        source->Release();
        calc->Release();
    }
}

// The range words of the fiducial function (start record, start offset, end record, end offset)
// are rounded half away from zero; negative starts mean 0, negative ends the end, and four zeros
// the whole recording.
TEST_F(EnumClassHost, FiducialRangeWordsAreRoundedToWholePositions)
{
    const struct {
        const wchar_t* range;
        const wchar_t* kept;
    } cases[] = {
        { L"1.5 2.5 -3 7.49", L"2 3 2147483647 7" },
        { L"2 1000.5 3 -0.5", L"2 1001 3 2147483647" },
        { L"0 0 0 0", L"0 0 2147483647 2147483647" },
        { L"0.4 -0.4 0.2 0", L"0 0 2147483647 2147483647" },
        { L"-1 -1 -1 -1", L"0 0 2147483647 2147483647" },
        { L"3e10 0 1 1", L"2147483647 0 1 1" },
    };
    ICalcEnumClass2* fiducial = classes.at(L"HRVFiducialEnum");
    for (const auto& c : cases) {
        SCOPED_TRACE(std::string(c.range, c.range + std::wcslen(c.range)));
        ICalcEnum* e = nullptr;
        ASSERT_EQ(fiducial->CreateInstance(nullptr, &e), S_OK);
        DWORD flags = 0;
        const std::wstring params = std::wstring(L"Fiducial 2 0.08 0 0.5 1.2 0 10 ") + c.range + L" 1";
        ASSERT_EQ(e->SetParams(params.c_str(), &flags), S_OK);
        BSTR text = nullptr;
        ASSERT_EQ(e->GetParams(&text), S_OK);
        EXPECT_EQ(std::wstring(text, SysStringLen(text)), std::wstring(L"0.08 0 0.5 1.2 0 10 ") + c.kept + L" 1.0");
        SysFreeString(text);
        e->Release();
    }
}

// Every class object the extension registers, asked through the host's class-object interface
// alone: the save-as class, the data-pad parameters and the enumerator classes each tell their
// category and id text and recognise their category by value.
TEST_F(EnumClassHost, ClassObjectsTellTheirCategoryAndIdTextThroughTheClassObjectInterface)
{
    constexpr GUID kSaveAs = vx::com::MakeGuid("{13D86663-7C6C-11D3-A6E1-005004D0F872}");
    constexpr GUID kDataPadFunctions = vx::com::MakeGuid("{08CDA760-E581-11D3-80EC-00A0C9E26433}");
    constexpr GUID kEnumFamily = vx::com::MakeGuid("{8FC37F03-9357-11D4-8112-00A0C9E26433}");
    struct Expected {
        const char* what;
        GUID category; // what GetCategory points at
        std::size_t count;
    };
    const Expected table[] = {
        { "save-as", kSaveAs, 1 },
        { "data pad", kDataPadFunctions, 27 },
        { "enumerators", kEnumFamily, 2 },
    };
    std::map<std::string, std::set<std::wstring>> idTexts;
    std::map<std::string, std::size_t> counts;
    for (IUnknown* object : objects) {
        void* out = nullptr;
        if (FAILED(object->QueryInterface(ICAFClassObject::kIid, &out)))
            continue;
        auto* c = static_cast<ICAFClassObject*>(out);
        EXPECT_EQ(c->IsCategory(nullptr), S_FALSE);
        const GUID* category = nullptr;
        if (c->GetCategory(&category) == S_OK) {
            ASSERT_NE(category, nullptr);
            const GUID* again = nullptr;
            c->GetCategory(&again);
            EXPECT_EQ(again, category); // the class's own static GUID, not a copy
            EXPECT_EQ(c->IsCategory(category), S_OK);
            for (const Expected& e : table) {
                if (*category != e.category)
                    continue;
                const GUID byValue = e.category; // another buffer: compared by value
                EXPECT_EQ(c->IsCategory(&byValue), S_OK) << e.what;
                EXPECT_EQ(c->IsCategory(&ICAFClassObject::kIid), S_FALSE) << e.what;
                IKELString* text = nullptr;
                ASSERT_EQ(c->GetIdText(&text), S_OK) << e.what;
                idTexts[e.what].insert(Take(text));
                ++counts[e.what];
            }
        }
        c->Release();
    }
    for (const Expected& e : table)
        EXPECT_EQ(counts[e.what], e.count) << e.what;
    EXPECT_EQ(idTexts["save-as"], std::set<std::wstring> { L"class HRV::RRIntervalSaveClassObject" });
    EXPECT_EQ(idTexts["enumerators"], (std::set<std::wstring> { L"HRVFiducialEnum", L"HRVSelectorEnum" }));
    EXPECT_EQ(idTexts["data pad"].size(), 27u); // one id text per parameter
    EXPECT_TRUE(idTexts["data pad"].count(L"AnalysisStart"));
}

} // namespace
