#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "hrv/core/ModuleObjects.h"

using namespace HRV;

namespace {

// A class object that only knows its name.
class NamedClassObject final : public LinkedClassObject {
public:
    explicit NamedClassObject(std::wstring name)
        : mName(std::move(name))
    {
    }
    IUnknown* ClassObjectInterface() override { return nullptr; }
    std::wstring mName;
};

std::vector<std::wstring> Walk(LinkedClassObject* head)
{
    std::vector<std::wstring> names;
    for (auto* node = head; node; node = node->Next())
        names.push_back(static_cast<NamedClassObject*>(node)->mName);
    return names;
}

} // namespace

TEST(ModuleObjects, RegistrationListsRunInTheDocumentedOrder)
{
    std::vector<NamedClassObject> functions;
    functions.reserve(27);
    for (const wchar_t* id : kDataPadFunctionIds)
        functions.emplace_back(id);
    NamedClassObject settings(L"CalcSettings"), calc(L"Calc");
    std::vector<NamedClassObject> messages;
    for (int n = 256; n <= 260; ++n)
        messages.emplace_back(std::to_wstring(n));

    ModuleClassObjects objects;
    for (std::size_t i = 0; i < functions.size(); ++i)
        objects.dataPadFunctions[i] = &functions[i];
    objects.calculationSettings = &settings;
    objects.calculation = &calc;
    for (std::size_t i = 0; i < messages.size(); ++i)
        objects.messages[i] = &messages[i];

    RegistrationLists lists = RegistrationLists::Link(objects);
    const std::vector<std::wstring> expected = { L"LFHFRatio", L"HFPowerNU", L"HFPowerPercent", L"HFPower",
        L"LFPowerNU", L"LFPowerPercent", L"LFPower", L"VLFPowerPercent", L"VLFPower", L"TotalPower", L"SDARR", L"SD2",
        L"SD1", L"pNNx", L"RMSSD", L"SDSD", L"SDRate", L"MeanRate", L"CVRR", L"SDRR", L"MedianRR", L"MeanRR",
        L"EctopicCount", L"NormalCount", L"TotalCount", L"AnalysisEnd", L"AnalysisStart", L"CalcSettings", L"Calc" };
    EXPECT_EQ(expected, Walk(lists.selfRegistration));
    EXPECT_EQ((std::vector<std::wstring> { L"260", L"259", L"258", L"257", L"256" }), Walk(lists.messages));

    // Class objects built during registration go to the head, after the walk.
    NamedClassObject fiducial(L"HRVFiducialEnum");
    lists.PushSelfRegistered(&fiducial);
    lists.PushSelfRegistered(nullptr);
    EXPECT_EQ(L"HRVFiducialEnum", Walk(lists.selfRegistration).front());
    EXPECT_EQ(expected.size() + 1, Walk(lists.selfRegistration).size());

    // Objects that do not exist yet are left out; the order of the rest stays.
    ModuleClassObjects some;
    some.dataPadFunctions[0] = &functions[0];
    some.dataPadFunctions[26] = &functions[26];
    some.calculation = &calc;
    some.messages[2] = &messages[2];
    RegistrationLists partial = RegistrationLists::Link(some);
    EXPECT_EQ((std::vector<std::wstring> { L"LFHFRatio", L"AnalysisStart", L"Calc" }), Walk(partial.selfRegistration));
    EXPECT_EQ(std::vector<std::wstring> { L"258" }, Walk(partial.messages));
    EXPECT_EQ(nullptr, RegistrationLists::Link(ModuleClassObjects {}).selfRegistration);
}

TEST(ModuleObjects, UnitTexts)
{
    EXPECT_EQ(std::wstring_view(L"s\u00B2"), kUnitSecondsSquared.View());
    EXPECT_EQ(2u, kUnitSecondsSquared.Length());
    EXPECT_EQ(KEL::String(L"s"), kUnitSeconds);
    EXPECT_EQ(KEL::String(L"BPM"), kUnitBPM);
    EXPECT_EQ(KEL::String(L"%"), kUnitPercent);
    EXPECT_EQ(KEL::String(L"Hz"), kUnitHertz);
}

TEST(ModuleObjects, TitlesComeFromTheModulesStringTable)
{
    static const int anchor = 0;
    const HMODULE module = vx::res::ModuleOf(&anchor);
    vx::res::AddStringTable(module, MAKELANGID(LANG_NEUTRAL, SUBLANG_NEUTRAL),
        { { 1, L"HRV" }, { 5, L"txt" }, { 6, L"HRV RR Interval Text File" }, { 8, L"HRV Calculation" } });
    SetModuleInstance(module);
    EXPECT_EQ(module, ModuleInstance());
    EXPECT_EQ(KEL::String(L"HRV"), ModuleTitle());
    EXPECT_EQ(KEL::String(L"HRV Calculation"), CalculationTitle());
    EXPECT_EQ(KEL::String(L"txt"), RRExportExtension());
    EXPECT_EQ(KEL::String(L"HRV RR Interval Text File"), RRExportTypeName());
}
