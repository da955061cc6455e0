// What the host tells the extension it loads, seen at the seam: the growing-record flag the
// extension's enumerators are started with (while the desktop plays a record online, in an
// offline analysis and in the built-in self-tests), and the RR export's refusal when there is no
// analysis.
#include <gtest/gtest.h>

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <functional>
#include <memory>
#include <sstream>
#include <string>
#include <vector>

#include "HrvExtensionTest.h"
#include "ScratchHost.h"
#include "VarnexCommand.h"
#include "caf/CafHost.h"
#include "caf/Documents.h"
#include "com/Ref.h"
#include "foundation/String.h"
#include "foundation/base/SimpleUnknownImp.h"
#include "host/hrvdoc/HrvDataPadHost.h"
#include "host/hrvdoc/HrvHostDocument.h"
#include "host/recording/Import.h"
#include "host/synthetic/SyntheticRecordings.h"
#include "hostframework/enumerators/tests/ForwardingEnum.h"
#include "hostframework/interfaces/AnalysisHostInterfaces.h"
#include "hostframework/interfaces/CalcEnumInterfaces.h"
#include "hostframework/interfaces/DataPadHostInterfaces.h"
#include "hostframework/interfaces/FrameworkIds.h"
#include "hostframework/interfaces/SelfTestInterfaces.h"
#include "ui/Clock.h"
#include "ui/EventLoop.h"
#include "varnex/session/SessionFile.h"
#include "varnex/startup/ExtensionLoader.h"

namespace fs = std::filesystem;
using vx::com::Query;
using vx::com::Ref;

namespace {

constexpr DWORD kGrowing = 0x80000000u;

// One Init the host made on the extension's enumerator: its flags, and whether the record was
// growing then (as the host knows it), or the self-test case that was running.
struct InitSeen {
    DWORD flags = 0;
    bool growing = false;
    std::string during;
};

// The extension's enumerator as the host gets it, noting every Init on the way through.
class NotingEnum final : public vx::hf::test::ForwardingEventEnum {
public:
    NotingEnum(ICalcEnum* inner, std::function<void(LONG record, DWORD flags)> note)
        : ForwardingEventEnum(inner)
        , mNote(std::move(note))
    {
    }
    HRESULT Init(
        LONG record, ULONG n, IUnknown* const* sources, IUnitName* const* units, double dt, DWORD flags) override
    {
        mNote(record, flags);
        return ForwardingEventEnum::Init(record, n, sources, units, dt, flags);
    }

private:
    std::function<void(LONG, DWORD)> mNote;
};

// The extension's enumerator class, handed to the host in its place: everything is the
// extension's own, and its enumerators note their Inits.
class NotingClass final : public vx::hf::test::ForwardingEnumClass {
public:
    NotingClass(
        Ref<ICalcEnumClass2> real, Ref<ICalcNumericParamsFuncClass> params, std::function<void(LONG, DWORD)> note)
        : ForwardingEnumClass(real.Get(), params.Get())
        , mRealHeld(std::move(real))
        , mParamsHeld(std::move(params))
        , mNote(std::move(note))
    {
    }

private:
    ICalcEnum* Wrap(ICalcEnum* inner) override { return new NotingEnum(inner, mNote); }

    Ref<ICalcEnumClass2> mRealHeld;
    Ref<ICalcNumericParamsFuncClass> mParamsHeld;
    std::function<void(LONG, DWORD)> mNote;
};

std::wstring FunctionName(IUnknown* object)
{
    const auto params = Query<ICalcNumericParamsFuncClass>(object);
    if (!params)
        return {};
    BSTR name = nullptr;
    params->GetFunctionName(0, &name);
    std::wstring text = name ? name : L"";
    SysFreeString(name);
    return text;
}

// The framework with libhrv.so loaded and registered, as `varnex` loads it.
class ExtensionSeam : public vx::host::test::HrvExtensionTest {
protected:
    void TearDown() override
    {
        mNoting.reset();
        HrvExtensionTest::TearDown();
    }

    // The extension's class objects with its fiducial enumerator's class in the noting form.
    std::vector<IUnknown*> WithNotingFiducial(std::function<void(LONG, DWORD)> note)
    {
        std::vector<IUnknown*> objects;
        for (IUnknown* o : mClassObjects) {
            if (!mNoting && FunctionName(o) == L"Fiducial") {
                mNoting = std::make_unique<NotingClass>(
                    Query<ICalcEnumClass2>(o), Query<ICalcNumericParamsFuncClass>(o), std::move(note));
                objects.push_back(static_cast<ICalcEnumClass2*>(mNoting.get()));
            } else {
                objects.push_back(o);
            }
        }
        EXPECT_TRUE(mNoting) << "the extension registers no Fiducial enumerator";
        return objects;
    }

    Ref<ITypeIdRegistry> Types() { return Query<ITypeIdRegistry>(mFramework->Object()); }

    std::unique_ptr<NotingClass> mNoting;
};

// The HRV document of a recording opened as the desktop opens it (no window), with the commands
// of the document class's menu.
class DesktopDocument {
public:
    DesktopDocument(vx::host::HrvHostDocument& host, ITypeIdRegistry* types)
        : mHost(host)
    {
        mObject = new vx::host::HrvHostDocumentObject(host);
        mRecording = new caf::HostDocument(L"100", static_cast<HRV::IDataPadSource*>(mObject));
        mRecording->AddRef();
        HRESULT hr = E_FAIL;
        ICustomDocument2* document = mRecording->OpenDocument(HRV::GUID_HRVDocumentObj, 0, &hr);
        mCommands = Query<ICAFCommandHandler>(document);
        WORD typeIndex = 0;
        if (types)
            types->GetTypeIndex(HRV::GUID_HRVDocumentObj, &typeIndex);
        mClassKey = DWORD(typeIndex) << 16;
        if (!document || !mCommands)
            return;
        mObject->AttachChild(mClassKey, document);
        host.Attach(document);
        std::ostringstream err;
        varnex::OpenWithSession(host, document, static_cast<ISubject*>(mRecording), nullptr, "", err);
    }
    ~DesktopDocument()
    {
        mHost.Detach();
        mObject->DetachChildren();
        mCommands.Reset();
        static_cast<IHostDocumentData*>(mRecording)->Release();
        static_cast<HRV::IDataPadSource*>(mObject)->Release();
    }
    bool Opened() const { return static_cast<bool>(mCommands); }
    HRESULT Command(DWORD number) { return mCommands->OnCommand(mClassKey | number); }

private:
    vx::host::HrvHostDocument& mHost;
    vx::host::HrvHostDocumentObject* mObject = nullptr;
    caf::HostDocument* mRecording = nullptr;
    Ref<ICAFCommandHandler> mCommands;
    DWORD mClassKey = 0;
};

constexpr DWORD kCmdOnlineMode = 15, kCmdAnalyse = 18;

} // namespace

TEST_F(ExtensionSeam, TheEnumeratorHearsTheRecordGrowsExactlyWhileTheDesktopPlaysIt)
{
    const std::string record = (vx::test::TestData() / "mitdb" / "100.hea").string();
    auto source = std::make_shared<vx::host::Recording>(vx::host::ImportFile(record));
    vx::host::HrvHostOptions options;
    options.messageBoxAnswer = 1;
    vx::host::HrvHostDocument host(std::make_shared<vx::host::Recording>(vx::host::ImportFile(record)), options);
    std::vector<InitSeen> seen;
    host.RegisterEnumerators(WithNotingFiducial([&](LONG r, DWORD flags) {
        seen.push_back({ flags, host.RecordGrowing(static_cast<int32_t>(r)), "record " + std::to_string(r) });
    }));
    DesktopDocument document(host, Types().Get());
    ASSERT_TRUE(document.Opened());

    // Offline: the analysis of the recorded record.
    ASSERT_TRUE(SUCCEEDED(document.Command(kCmdAnalyse)));
    ASSERT_FALSE(seen.empty()) << "the analysis started no enumerator";
    for (const InitSeen& s : seen)
        EXPECT_EQ(s.flags & kGrowing, 0u) << "an offline Init of " << s.during;
    const std::size_t offline = seen.size();

    // Online: the record played into a new record as the desktop's --play plays it, a block per
    // timer tick; after each block the beats of every record are read as the desktop's chart reads
    // them to mark them.
    vx::ui::ManualClock clock;
    vx::ui::Clock* previous = vx::ui::SetClock(&clock);
    ASSERT_TRUE(SUCCEEDED(document.Command(kCmdOnlineMode)));
    ASSERT_TRUE(host.StartOnlinePlay(source, 0, 60.0, 600.0)); // a minute of data every 100 ms
    const auto readBeats = [&] {
        const vx::calc::Compiled beats = host.Engine().Channel(L"HRV_vFID");
        ASSERT_TRUE(beats.events);
        for (int r = 0; r < host.RecordCount(); ++r) {
            vx::calc::EventBuffer events;
            beats.events->Read(r, 0, host.GetRecording().records[static_cast<std::size_t>(r)].length, events);
        }
    };
    for (int tick = 0; tick < 100 && host.OnlinePlaying(); ++tick) {
        vx::ui::RunFor(100);
        readBeats();
    }
    EXPECT_FALSE(host.OnlinePlaying());
    vx::ui::RunUntilIdle();
    vx::ui::SetClock(previous);
    readBeats();

    std::size_t whileGrowing = 0;
    for (std::size_t i = offline; i < seen.size(); ++i) {
        EXPECT_EQ((seen[i].flags & kGrowing) != 0, seen[i].growing) << seen[i].during << ", flags " << seen[i].flags;
        whileGrowing += seen[i].growing ? 1 : 0;
    }
    EXPECT_GT(whileGrowing, 0u) << "no Init was made while the record grew";
    EXPECT_LT(whileGrowing, seen.size() - offline) << "the played record, once complete, is read offline";
    for (const InitSeen& s : seen)
        EXPECT_EQ(s.flags & ~kGrowing, 0u) << "the growing flag is the only one the host sets";
}

TEST_F(ExtensionSeam, TheDocumentHearsOfEveryChannelThatGetsOrLosesItsCalculation)
{
    const std::string record = (vx::test::TestData() / "mitdb" / "100.hea").string();
    vx::host::HrvHostDocument host(std::make_shared<vx::host::Recording>(vx::host::ImportFile(record)));
    host.RegisterEnumerators(mClassObjects);
    const auto types = Types();
    host.RegisterCalculationClasses(mClassObjects, types.Get());
    DesktopDocument document(host, types.Get());
    ASSERT_TRUE(document.Opened());
    ASSERT_TRUE(SUCCEEDED(document.Command(kCmdAnalyse)));

    vx::host::CalculationClassRegistry& classes = host.CalculationClasses();
    const std::vector<DWORD> ids = classes.CalculationClassIds();
    ASSERT_EQ(ids.size(), 1u);
    vx::hf::ChannelRef ref;
    ASSERT_EQ(host.Document().CreateNamedChannel(0, L"HRV Period", nullptr, &ref), S_OK);
    Ref<IUnknown> settings;
    ASSERT_EQ(classes.CreateSettings(ids[0] | 1, settings.Put()), S_OK); // beat period, guide lines on
    ASSERT_EQ(
        classes.ComputeChannel(host.Document(), ref.number, ids[0], settings.Get(), host.CalculationFactory()), S_OK);
    // Only the notification reaches the document here (no analysis runs): it marks the normal-beat
    // box of the Human preset on the new channel.
    const auto guides = host.guides.find(static_cast<std::int32_t>(ref.number));
    ASSERT_NE(guides, host.guides.end()) << "the document set no guide lines";
    EXPECT_TRUE(guides->second.lines[0].shown && guides->second.lines[1].shown);
    EXPECT_DOUBLE_EQ(guides->second.lines[0].value, 1.2);
    EXPECT_DOUBLE_EQ(guides->second.lines[1].value, 0.8);
    EXPECT_EQ(guides->second.lines[0].label, L"s");
    EXPECT_TRUE(guides->second.band);

    // The channel goes: the document takes its guide lines away.
    ASSERT_EQ(host.Document().RemoveName(0, L"HRV Period"), S_OK);
    EXPECT_FALSE(host.guides.at(static_cast<std::int32_t>(ref.number)).lines[0].shown);
    EXPECT_FALSE(host.guides.at(static_cast<std::int32_t>(ref.number)).band);
}

TEST_F(ExtensionSeam, TheSelfTestsRunOfflineUnlessTheyGrowTheirRecord)
{
    std::vector<InitSeen> seen;
    std::string running;
    const std::vector<IUnknown*> objects = WithNotingFiducial([&](LONG, DWORD flags) {
        seen.push_back({ flags, false, running });
    });
    auto recordings = std::make_unique<vx::host::SyntheticRecordingHost>(Types().Get(), objects);

    std::vector<Ref<IUnitTest>> tests;
    for (const caf::Registration& r : caf::Registrations())
        if (r.kind == caf::Registration::Kind::UnitTest)
            if (auto t = Query<IUnitTest>(r.object))
                tests.push_back(std::move(t));
    ASSERT_FALSE(tests.empty());
    std::size_t onlineCases = 0;
    for (const auto& t : tests) {
        t->Initialise(1234, 0, 0);
        ULONG count = 0;
        ASSERT_EQ(t->GetTestCount(&count), S_OK);
        for (ULONG i = 0; i < count; ++i) {
            IKELString* name = nullptr;
            ASSERT_EQ(t->GetTestName(i, &name), S_OK);
            KEL::String text;
            text.AssignRep(name);
            running = text.Utf8();
            const std::size_t before = seen.size();
            ASSERT_EQ(t->RunTest(i), S_OK) << running;
            VARIANT_BOOL passed = VARIANT_FALSE;
            IKELString* message = nullptr;
            t->GetTestResult(&passed, &message);
            KEL::String failure;
            failure.AssignRep(message);
            EXPECT_NE(passed, VARIANT_FALSE) << running << ": " << failure.Utf8();
            ASSERT_GT(seen.size(), before) << running << " started no enumerator";
            std::size_t growing = 0;
            for (std::size_t s = before; s < seen.size(); ++s)
                growing += (seen[s].flags & kGrowing) ? 1 : 0;
            // A case that samples its record online sees the flag on the Inits made while the
            // record grows; every other case runs offline throughout.
            if (running.find("Online") != std::string::npos) {
                ++onlineCases;
                EXPECT_GT(growing, 0u) << running;
            } else {
                EXPECT_EQ(growing, 0u) << running;
            }
        }
    }
    EXPECT_GT(onlineCases, 0u);
    recordings.reset();
}

TEST_F(ExtensionSeam, TheRRExportWithoutAnAnalysisSaysWhyFromItsStringTableAndLeavesNoFile)
{
    Ref<HRV::IFileSaveAsClass2> save;
    for (IUnknown* o : mClassObjects)
        if (!save)
            save = Query<HRV::IFileSaveAsClass2>(o);
    ASSERT_TRUE(save);
    vx::test::ScratchHost scratch("varnex-rr-export");
    const fs::path file = scratch.dir / "rr.txt";
    std::ofstream(file) << "kept from before\n";
    // No HRV document is opened on it.
    const auto object = Ref<HRV::IDataPadSource>::Adopt(new vx::host::HrvHostDocumentObject(*scratch.host));
    std::vector<caf::MessageBoxRequest> shown;
    const caf::MessageBoxHandler previous = caf::SetMessageBoxHandler([&](const caf::MessageBoxRequest& r) {
        shown.push_back(r);
        return 1;
    });
    const KEL::String name(file.wstring());
    const HRESULT hr = save->Save(nullptr, name.Rep(), 0, 0, object.Get());
    caf::SetMessageBoxHandler(previous);

    EXPECT_EQ(static_cast<DWORD>(hr), 0xA004820Fu);
    ASSERT_EQ(shown.size(), 1u);
    EXPECT_EQ(shown[0].text, L"HRV Export RR Interval requires a valid HRV analysis. No data will be saved.");
    EXPECT_EQ(shown[0].caption, L"HRV RR Interval Text File");
    EXPECT_EQ(shown[0].style & 0xF0u, 0x10u) << "the error icon";
    EXPECT_FALSE(fs::exists(file));
}
