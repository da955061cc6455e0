// The extension's registration with the host, its RR-interval export and the values of the 27
// data-pad parameters for a known engine state.
#include <gtest/gtest.h>

#include <cmath>
#include <filesystem>
#include <fstream>
#include <sstream>

#include "caf/CafHost.h"
#include "caf/Documents.h"
#include "com/ClassObjects.h"
#include "host/caf/tests/RegisteredFramework.h"
#include "hostframework/interfaces/FrameworkIds.h"
#include "hostframework/interfaces/SelfTestInterfaces.h"
#include "hostframework/services/CafFrameWork.h"
#include "hrv/analysis/Enumerators.h"
#include "hrv/core/HRVInterfaces.h"
#include "hrv/datapad/ClassObjects.h"
#include "hrv/document/NamedMessages.h"
#include "hrv/eventdraw/FiducialEventDraw.h"
#include "hrv/module/ChannelCalc.h"
#include "hrv/module/ModuleEntry.h"
#include "hrv/module/RRExport.h"
#include "hrv/module/ViewClasses.h"
#include "log/Log.h"

using namespace HRV;

namespace {

class ModuleTest : public caf::test::RegisteredFramework { };

std::string Narrow(IKELString* rep)
{
    KEL::String s;
    s.AssignRep(rep);
    std::string out;
    for (const wchar_t* p = s.c_str(); *p; ++p)
        out += static_cast<char>(*p);
    return out;
}

// What a registered class object is, as the host would list it.
std::string Describe(IUnknown* object)
{
    void* out = nullptr;
    if (SUCCEEDED(object->QueryInterface(IDataPadFunctionClass2::kIid, &out))) {
        auto* c = static_cast<IDataPadFunctionClass2*>(out);
        IKELString* id = nullptr;
        c->GetIdText(&id);
        c->Release();
        return "datapad " + Narrow(id);
    }
    if (SUCCEEDED(object->QueryInterface(IUnitTest::kIid, &out))) {
        auto* t = static_cast<IUnitTest*>(out);
        t->Initialise(0, 0, 0);
        IKELString* name = nullptr;
        t->GetTestName(0, &name);
        t->Release();
        std::string first = Narrow(name);
        return "selftest " + first.substr(0, first.find("::"));
    }
    if (SUCCEEDED(object->QueryInterface(ICustomDocClass::kIid, &out))) {
        auto* c = static_cast<ICustomDocClass*>(out);
        IKELString* name = nullptr;
        c->GetName(&name);
        c->Release();
        return "document " + Narrow(name);
    }
    if (SUCCEEDED(object->QueryInterface(IDocViewClass::kIid, &out))) {
        auto* c = static_cast<IDocViewClass*>(out);
        IKELString* name = nullptr;
        c->GetName(&name);
        c->Release();
        return "view " + Narrow(name);
    }
    if (SUCCEEDED(object->QueryInterface(IDocFileDescr::kIid, &out))) {
        auto* c = static_cast<IDocFileDescr*>(out);
        IKELString* name = nullptr;
        c->GetTypeName(&name);
        c->Release();
        return "save-as " + Narrow(name);
    }
    if (SUCCEEDED(object->QueryInterface(ICalculationClass::kIid, &out))) {
        auto* c = static_cast<ICalculationClass*>(out);
        IKELString* name = nullptr;
        c->GetIdText(&name);
        c->Release();
        return "calculation " + Narrow(name);
    }
    if (SUCCEEDED(object->QueryInterface(IPersistClassObject::kIid, &out))) {
        auto* c = static_cast<IPersistClassObject*>(out);
        IKELString* name = nullptr;
        c->GetIdText(&name);
        c->Release();
        return "calculation settings " + Narrow(name);
    }
    if (SUCCEEDED(object->QueryInterface(IEventDrawClass::kIid, &out))) {
        auto* c = static_cast<IEventDrawClass*>(out);
        BSTR name = nullptr;
        c->GetName(&name);
        // The host is given the class-object interface, not the object's first base.
        std::string what
            = (static_cast<IUnknown*>(c) == object ? "eventdraw " : "eventdraw (not its class interface) ");
        for (const wchar_t* p = name; p && *p; ++p)
            what += static_cast<char>(*p);
        SysFreeString(name);
        c->Release();
        return what;
    }
    if (SUCCEEDED(object->QueryInterface(ICalcEnumClass2::kIid, &out))) {
        static_cast<IUnknown*>(out)->Release();
        if (object == static_cast<ICalcEnumClass2*>(&FiducialEnumClass()))
            return "enumerator HRVFiducialEnum";
        if (object == static_cast<ICalcEnumClass2*>(&SelectorEnumClass()))
            return "enumerator HRVSelectorEnum";
        return "enumerator ?";
    }
    return "?";
}

// The order in which the host hears of the extension's class objects.
const char* const kExpectedRegistrations[] = {
    "datapad LFHFRatio",
    "datapad HFPowerNU",
    "datapad HFPowerPercent",
    "datapad HFPower",
    "datapad LFPowerNU",
    "datapad LFPowerPercent",
    "datapad LFPower",
    "datapad VLFPowerPercent",
    "datapad VLFPower",
    "datapad TotalPower",
    "datapad SDARR",
    "datapad SD2",
    "datapad SD1",
    "datapad pNNx",
    "datapad RMSSD",
    "datapad SDSD",
    "datapad SDRate",
    "datapad MeanRate",
    "datapad CVRR",
    "datapad SDRR",
    "datapad MedianRR",
    "datapad MeanRR",
    "datapad EctopicCount",
    "datapad NormalCount",
    "datapad TotalCount",
    "datapad AnalysisEnd",
    "datapad AnalysisStart",
    "calculation settings HRVSettings",
    "calculation HRV",
    "message 0x104",
    "message 0x103",
    "message 0x102",
    "message 0x101",
    "message 0x100",
    "document HRV2 Document",
    "enumerator HRVFiducialEnum",
    "enumerator HRVSelectorEnum",
    "eventdraw PkStimEventDrawClass",
    "view HRV Report View",
    "view HRV Tachogram View",
    "view HRV Spectrum View",
    "view HRV RR Histogram View",
    "view HRV Delta RR Histogram View",
    "view HRV Classifier View",
    "view HRV Poincare View",
    "save-as HRV RR Interval Text File",
    "selftest HRV_TestFiducialEnum",
};

// A host whose class-object service refuses everything.
class RefusingHost final : public SimpleUnknownImp1<IHostClassObject, 1> {
public:
    HRESULT CreateObject(DWORD, REFIID, void**) override { return E_NOTIMPL; }
    HRESULT RegisterClassObject(IUnknown* object) override
    {
        offered.push_back(Describe(object));
        return E_ACCESSDENIED;
    }
    std::vector<std::string> offered;
};

} // namespace

TEST_F(ModuleTest, RegistrationFollowsTheRecordedTable)
{
    caf::ReleaseRegistrations();
    EXPECT_EQ(RegisterModuleClassObjects(nullptr), E_FAIL);
    EXPECT_TRUE(caf::Registrations().empty());

    ASSERT_EQ(RegisterModuleClassObjects(sFramework), S_OK);
    std::vector<std::string> seen;
    for (const caf::Registration& r : caf::Registrations()) {
        if (r.kind == caf::Registration::Kind::MessageClass) {
            void* out = nullptr;
            ASSERT_EQ(r.object->QueryInterface(IMsgIdMessageClassObject::kIid, &out), S_OK);
            DWORD id = 0;
            static_cast<IMsgIdMessageClassObject*>(out)->GetMessageId(&id);
            static_cast<IMsgIdMessageClassObject*>(out)->Release();
            char text[16];
            std::snprintf(text, sizeof text, "message 0x%X", id & 0xFFFF);
            seen.push_back(text);
        } else {
            seen.push_back(Describe(r.object));
        }
    }
    EXPECT_EQ(seen, std::vector<std::string>(std::begin(kExpectedRegistrations), std::end(kExpectedRegistrations)));

    // The host finds the document class by its GUID; it reports its class id, value and options.
    ICustomDocClass* documentClass = caf::FindDocumentClass(GUID_HRVDocumentObj);
    ASSERT_NE(documentClass, nullptr);
    DWORD classId = 0, options = 0;
    std::uintptr_t value = 0;
    EXPECT_EQ(documentClass->GetClassId(&classId), S_OK);
    EXPECT_EQ(classId, DWORD(HostTypeIndex(GUID_HRVDocumentObj)) << 16);
    EXPECT_EQ(documentClass->GetOptions(&options), S_OK);
    EXPECT_EQ(options, 1u);
    EXPECT_EQ(documentClass->GetValue(&value), S_OK);
    ASSERT_NE(value, 0u);
    EXPECT_EQ(*reinterpret_cast<const GUID*>(value), vx::com::MakeGuid("{D6F52E84-B34D-11D3-80C7-005004AD3C53}"));
    const GUID copy = GUID_HRVDocumentObj;
    EXPECT_EQ(documentClass->IsClass(&copy), S_OK);
    documentClass->Release();
    caf::ReleaseRegistrations();

    // A second registration in the same process offers the same objects again.
    ASSERT_EQ(RegisterModuleClassObjects(sFramework), S_OK);
    EXPECT_EQ(caf::Registrations().size(), std::size(kExpectedRegistrations));
    caf::ReleaseRegistrations();
}

TEST_F(ModuleTest, RefusedRegistrationsAreReportedOneLineEachAndStillSucceed)
{
    RefusingHost host;
    host.AddRef();
    vx::log::Capture capture;
    EXPECT_EQ(RegisterModuleClassObjectsWith(&host, nullptr, nullptr), S_OK);
    // Every class object is offered; the messages go to the message factory, of which this host
    // has none: each of them is reported too.
    // (The self-test goes to the test registry of the full registration, not to this host.)
    EXPECT_EQ(host.offered.size(), std::size(kExpectedRegistrations) - 6);
    const auto lines = capture.Lines();
    ASSERT_EQ(lines.size(), std::size(kExpectedRegistrations) - 1);
    EXPECT_NE(lines.front().find("\"LFHFRatio\""), std::string::npos) << lines.front();
    EXPECT_NE(lines.back().find("HRV RR Interval Text File"), std::string::npos) << lines.back();
}

TEST_F(ModuleTest, TheBeatEventDrawClassServesTheFiducialEventType)
{
    caf::ReleaseRegistrations();
    ASSERT_EQ(RegisterModuleClassObjects(sFramework), S_OK);
    IEventDrawClass* draw = nullptr;
    for (const caf::Registration& r : caf::Registrations()) {
        void* out = nullptr;
        if (r.kind == caf::Registration::Kind::ClassObject
            && SUCCEEDED(r.object->QueryInterface(IEventDrawClass::kIid, &out))) {
            ASSERT_EQ(draw, nullptr) << "one event-draw class";
            draw = static_cast<IEventDrawClass*>(out);
        }
    }
    ASSERT_NE(draw, nullptr);
    // The framework holds the one reference of its registration; the query above took a second.
    EXPECT_EQ(draw->Release(), 1u);

    DWORD type = 0, enumId = 0;
    EXPECT_EQ(draw->GetEventType(&type), S_OK);
    EXPECT_EQ(FiducialEnumClass().GetClassId(&enumId), S_OK);
    EXPECT_NE(enumId & 0xFFFF0000u, 0u);
    EXPECT_EQ(type, (enumId & 0xFFFF0000u) | 1u);
    EXPECT_EQ(DWORD(HostTypeIndex(GUID_HRVEnumObj)) << 16 | 1u, type);
    // The host's shut-down lets go of it; the sanitizer build sees it freed.
    caf::ReleaseRegistrations();
}

TEST_F(ModuleTest, ClassIdsAndCategories)
{
    const DWORD document = DWORD(HostTypeIndex(GUID_HRVDocumentObj)) << 16;
    const DWORD parameter = DWORD(HostTypeIndex(GUID_DataPadFunctionType)) << 16;
    ASSERT_NE(document, 0u);
    ASSERT_NE(parameter, 0u);
    for (DataPadFuncClass* c : DataPadFunctionClasses()) {
        DWORD id = 0, group = 0, second = 0;
        EXPECT_EQ(c->GetClassId(&id), S_OK);
        EXPECT_EQ(id, parameter);
        EXPECT_EQ(c->GetIds(&group, &second), S_OK);
        EXPECT_EQ(group, document | 5);
    }
    DataPadFuncClass& c = *DataPadFunctionClasses()[0];
    const GUID copy = GUID_DataPadFunctionCategory;
    EXPECT_EQ(c.IsCategory(&copy), S_OK);
    EXPECT_EQ(c.IsCategory(nullptr), S_FALSE);
    EXPECT_EQ(c.IsCategory(&GUID_HRVDocumentObj), S_FALSE);
    // Static objects: a release to zero leaves them usable.
    c.AddRef();
    EXPECT_EQ(c.Release(), 0u);
    DWORD id = 0;
    EXPECT_EQ(c.GetClassId(&id), S_OK);

    IUnknown* function = reinterpret_cast<IUnknown*>(1);
    EXPECT_EQ(c.CreateFunction(nullptr, 0, nullptr, &function), E_FAIL);
    EXPECT_EQ(function, nullptr);
    EXPECT_EQ(c.CreateFunction2(sFramework, 0, 7, sFramework, &function), E_FAIL);
    EXPECT_EQ(c.CreateAux(0, 0, 0, nullptr, &function), E_NOTIMPL);

    // The channel calculation and its settings: T << 16 and T << 16 | 1 of their own type.
    const DWORD calculation = DWORD(HostTypeIndex(GUID_HRVCalculationType)) << 16;
    ASSERT_NE(calculation, 0u);
    EXPECT_EQ(CalculationClassId(), calculation);
    EXPECT_EQ(CalculationSettingsClassId(), calculation | 1);

    auto* save = new RRIntervalSaveClassObject;
    save->AddRef();
    EXPECT_EQ(save->GetClassId(&id), S_OK);
    EXPECT_EQ(id, document | 4);
    // Both save-as forms; the first passes 0 before the document: without a document both
    // refuse alike.
    for (const IID& iid : { IUnknown::kIid, ICAFClassObject::kIid, IFileSaveAsClass::kIid, IFileSaveAsClass2::kIid,
             IDocFileDescr::kIid }) {
        void* out = nullptr;
        ASSERT_EQ(save->QueryInterface(iid, &out), S_OK);
        static_cast<IUnknown*>(out)->Release();
    }
    const KEL::String name(L"unused.txt");
    const HRESULT second = static_cast<IFileSaveAsClass2*>(save)->Save(nullptr, name.Rep(), 0, 0, nullptr);
    EXPECT_TRUE(FAILED(second));
    EXPECT_EQ(static_cast<IFileSaveAsClass*>(save)->Save(nullptr, name.Rep(), 0, nullptr), second);
    save->Release();
}

// The values of every parameter for one engine state, in the units the data pad shows.
TEST(ParameterValues, EveryParameterForAKnownEngineState)
{
    AnalysisEngine e;
    e.mNormalCount = 9;
    e.mEctopicCount = 1;
    e.mStats.mCount = 10;
    e.mStats.mSumRR = 8.0; // mean 0.8 s
    e.mStats.mMedianRR = 0.79;
    e.mStats.mM2RR = 0.0009; // SDRR sqrt(0.0001) = 10 ms
    e.mStats.mSumRate = 12.5; // 60 x 1.25 = 75 BPM
    e.mStats.mM2Rate = 0.0036; // 60 x sqrt(0.0004) = 1.2 BPM
    e.mStats.mM2DeltaRR = 0.0009; // SDSD sqrt(0.0001) = 10 ms
    e.mStats.mSumSqDeltaRR = 0.004; // RMSSD sqrt(0.0004) = 20 ms
    e.mStats.mCountOverThreshold = 3; // 30 %
    e.mSegments.mNumSegments = 3;
    e.mSegments.mM2OfMeans = 0.0002; // SDARR sqrt(0.0001) = 10 ms
    e.mSpectrum.mTotalPower = 0.0012;
    e.mSpectrum.mVLFPower = 0.0002;
    e.mSpectrum.mLFPower = 0.0006;
    e.mSpectrum.mHFPower = 0.0003;

    struct Case {
        const char* id;
        double value;
        const char* unit;
    };
    const Case cases[] = {
        { "TotalCount", 10, "" },
        { "NormalCount", 9, "" },
        { "EctopicCount", 1, "" },
        { "MeanRR", 800.0, "ms" },
        { "MedianRR", 790.0, "ms" },
        { "SDRR", 10.0, "ms" },
        { "CVRR", 0.0125, "" }, // 10 ms / 800 ms
        { "MeanRate", 75.0, "BPM" },
        { "SDRate", 1.2, "BPM" },
        { "SDSD", 10.0, "ms" },
        { "RMSSD", 20.0, "ms" },
        { "pNNx", 30.0, "%" },
        { "SD1", 7.0710678118654755, "ms" }, // SDSD / sqrt(2)
        { "SD2", 12.247448713915890, "ms" }, // sqrt(2 SDRR^2 - SDSD^2 / 2) = sqrt(150) ms
        { "SDARR", 10.0, "ms" },
        { "TotalPower", 1200.0, "ms\xC2\xB2" },
        { "VLFPower", 200.0, "ms\xC2\xB2" },
        { "VLFPowerPercent", 100.0 * 0.0002 / 0.0012, "" },
        { "LFPower", 600.0, "ms\xC2\xB2" },
        { "LFPowerPercent", 50.0, "" },
        { "LFPowerNU", 60.0, "" },
        { "HFPower", 300.0, "ms\xC2\xB2" },
        { "HFPowerPercent", 25.0, "" },
        { "HFPowerNU", 30.0, "" },
        { "LFHFRatio", 2.0, "" },
    };
    EXPECT_EQ(std::size(cases) + 2, ParameterTable().size()); // and the two times
    for (const Case& c : cases) {
        std::wstring wide(c.id, c.id + std::strlen(c.id));
        const ParameterDesc* d = FindParameter(wide);
        ASSERT_NE(d, nullptr) << c.id;
        VARIANT v;
        HRVDPFuncBase::ValueOf(*d, e, &v);
        if (d->kind == ParameterKind::Count) {
            ASSERT_EQ(v.vt, VT_I4) << c.id;
            EXPECT_EQ(v.lVal, static_cast<LONG>(c.value)) << c.id;
        } else {
            ASSERT_EQ(v.vt, VT_R8) << c.id;
            EXPECT_NEAR(v.dblVal, c.value, 1e-9 * std::max(1.0, std::abs(c.value))) << c.id;
        }
        std::string unit;
        for (const wchar_t* p = d->unit; *p; ++p) {
            if (*p < 0x80)
                unit += static_cast<char>(*p);
            else
                unit += "\xC2\xB2";
        }
        EXPECT_EQ(unit, c.unit) << c.id;
    }

    // No interval: means and spreads are 0; with one, the spreads are 0 and the means defined.
    AnalysisEngine empty;
    for (const char* id : { "MeanRR", "SDRR", "RMSSD", "pNNx", "SDARR", "MeanRate" }) {
        VARIANT v;
        HRVDPFuncBase::ValueOf(*FindParameter(std::wstring(id, id + std::strlen(id))), empty, &v);
        EXPECT_EQ(v.dblVal, 0.0) << id;
    }
    // A zero denominator gives the missing value, never an infinity.
    e.mSpectrum.mHFPower = 0.0;
    e.mSpectrum.mTotalPower = e.mSpectrum.mVLFPower = 0.0;
    for (const char* id : { "LFHFRatio", "LFPowerPercent", "HFPowerNU", "VLFPowerPercent" }) {
        VARIANT v;
        HRVDPFuncBase::ValueOf(*FindParameter(std::wstring(id, id + std::strlen(id))), e, &v);
        EXPECT_TRUE(std::isnan(v.dblVal)) << id;
    }
}

TEST(RRExport, LinesInGeneralFormatEndedByCrLf)
{
    const auto path = std::filesystem::temp_directory_path() / ("hrv-rr-" + std::to_string(::getpid()) + ".txt");
    EXPECT_EQ(WriteRRIntervals(path.string(), { 0.8, 0.8234567, 1.2, 1.0, 0.0001, 1.5e-05 }), S_OK);
    std::ifstream in(path, std::ios::binary);
    std::stringstream text;
    text << in.rdbuf();
    EXPECT_EQ(text.str(), "0.8\r\n0.823457\r\n1.2\r\n1\r\n0.0001\r\n1.5e-05\r\n");
    in.close();

    // Saving again replaces the content; no interval leaves an empty file.
    EXPECT_EQ(WriteRRIntervals(path.string(), {}), S_FALSE);
    EXPECT_EQ(std::filesystem::file_size(path), 0u);
    std::filesystem::remove(path);

    // A file that cannot be opened is a failure, not a silent success.
    EXPECT_EQ(WriteRRIntervals("/nonexistent-dir/rr.txt", { 0.8 }), E_FAIL);
    if (std::filesystem::exists("/dev/full")) {
        EXPECT_EQ(WriteRRIntervals("/dev/full", std::vector<double>(10000, 0.8)), E_FAIL);
    }
}

TEST_F(ModuleTest, ViewClassesIdsTitlesAndOpenViews)
{
    const DWORD w = DWORD(HostTypeIndex(GUID_HRVViewClass)) << 16;
    ASSERT_NE(w, 0u);
    for (const ViewClassDesc& d : ViewClassTable()) {
        auto* c = new ViewClass(d);
        c->AddRef();
        DWORD id = 0;
        EXPECT_EQ(c->GetClassId(&id), S_OK);
        EXPECT_EQ(id, w | d.number);
        c->Release();
    }

    auto* tachogram = new ViewClass(ViewClassTable()[1]);
    tachogram->AddRef();
    IEnumInterface* ids = nullptr;
    ASSERT_EQ(tachogram->GetRequiredInterfaces(&ids), S_OK);
    GUID got[4] = {};
    ULONG fetched = 0;
    ids->Next(4, got, &fetched);
    EXPECT_EQ(fetched, 2u);
    ids->Release();

    // Two views open, one closed: one left. Without a window the title is the fallback one.
    IDocView2* a = nullptr;
    IDocView2* b = nullptr;
    ASSERT_EQ(tachogram->CreateView(nullptr, nullptr, &a), S_OK);
    ASSERT_EQ(tachogram->CreateView(nullptr, nullptr, &b), S_OK);
    DWORD count = 0;
    tachogram->GetViewCount(0, &count);
    EXPECT_EQ(count, 2u);
    IKELString* title = nullptr;
    ASSERT_EQ(a->GetTitle(&title), S_OK);
    EXPECT_EQ(Narrow(title), "HRV Tachogram Plot");
    b->Release();
    tachogram->GetViewCount(0, &count);
    EXPECT_EQ(count, 1u);
    a->Release();
    tachogram->Release();
}
