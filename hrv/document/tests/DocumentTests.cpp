// The HRV document on the stand-in host: commands, named messages and notifications through the
// document's table, the analysis-changing/changed sequences, what each settings change rebuilds
// (detector stages, beat marks, engine work) on the real detector chain and engine, and an online
// run of a recording against the offline analysis of the same range.
#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <cmath>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <functional>
#include <limits>
#include <map>
#include <tuple>

#include "caf/CafHost.h"
#include "caf/Documents.h"
#include "caf/FrameworkServices.h"
#include "com/ClassObjects.h"
#include "host/caf/tests/RegisteredFramework.h"
#include "host/hrvdoc/HrvDataPadHost.h"
#include "host/hrvdoc/HrvHostDocument.h"
#include "host/recording/Import.h"
#include "hostframework/services/CafFrameWork.h"
#include "hrv/analysis/ValueFormatter.h"
#include "hrv/core/EventIdCache.h"
#include "hrv/core/HRVInterfaces.h"
#include "hrv/core/UserEventData.h"
#include "hrv/document/BeatMarks.h"
#include "hrv/document/Document.h"
#include "hrv/document/Menus.h"
#include "hrv/document/NamedMessages.h"
#include "hrv/document/SettingsDialogHook.h"
#include "hrv/eventdraw/BeatMarkDraw.h"
#include "hrv/eventdraw/FiducialEventDraw.h"
#include "hrv_ui/Dialogs.h"
#include "integration/ExtensionChain.h"
#include "log/Log.h"
#include "ui/Controls.h"
#include "ui/Desktop.h"
#include "ui/Dialog.h"
#include "ui/Input.h"
#include "ui/MessageQueue.h"
#include "ui/Window.h"

using namespace HRV;
using vx::host::HrvHostDocument;
using vx::host::Recording;

namespace {

std::filesystem::path TestData()
{
    const char* dir = std::getenv("VX_TEST_DATA");
    return dir ? dir : VX_TEST_DATA_DIR;
}

// The first `seconds` of MIT-BIH record 100, one record.
std::shared_ptr<Recording> Mitdb100(double seconds, double skipSeconds = 0.0)
{
    static const Recording full = vx::host::ImportWfdb(TestData() / "mitdb" / "100.hea", {});
    auto r = std::make_shared<Recording>();
    r->channels = full.channels;
    const vx::host::Record& src = full.records[0];
    const int record = r->AddRecord(src.interval, 0.0);
    const auto skip = static_cast<int64_t>(skipSeconds / src.interval);
    const auto n = std::min<int64_t>(static_cast<int64_t>(seconds / src.interval), src.length - skip);
    std::vector<float> values(static_cast<std::size_t>(n));
    for (int c = 0; c < full.ChannelCount(); ++c) {
        src.channels[static_cast<std::size_t>(c)].Read(skip, values);
        r->records[static_cast<std::size_t>(record)].channels[static_cast<std::size_t>(c)].Append(values);
    }
    r->records[static_cast<std::size_t>(record)].length = n;
    return r;
}

class Enabler final : public SimpleUnknownImp1<ICommandEnabler, 1> {
public:
    HRESULT SetText(const wchar_t* t) override
    {
        text = t;
        return S_OK;
    }
    HRESULT Enable(WORD e) override
    {
        enabled = e;
        return S_OK;
    }
    HRESULT SetCheck(WORD c) override
    {
        checked = c;
        return S_OK;
    }
    std::wstring text;
    int enabled = -1;
    int checked = -1;
};

class Menu final : public IPopupMenu {
public:
    int Count() override { return static_cast<int>(items.size()); }
    void RemoveAt(int i) override { items.erase(items.begin() + i); }
    void Append(DWORD id, const std::wstring& text) override { items.emplace_back(id, text); }
    std::vector<std::pair<DWORD, std::wstring>> items;
};

struct HostAndDocument {
    explicit HostAndDocument(std::shared_ptr<Recording> recording, vx::host::HrvHostOptions options = {})
        : host(std::move(recording), std::move(options))
    {
        // The settings command runs the user interface's settings dialog, as the module gives it.
        HRV::InstallSettingsDialog();
        host.AttachRecorder(&recorded);
        // The enumerators reach the host's data-child store, as the host makes them: the
        // fiducial stage merges the user's beat marks.
        vx::integration::RegistrationCollector collector;
        // The enumerators' event types carry the host's type index, as the extension registers them.
        EXPECT_EQ(HRV::RegisterEnumeratorClasses(&collector, CAFFrameWork::GetTypeIdRegistry(), {}), S_OK);
        EXPECT_EQ(vx::extcalc::RegisterExtensionEnumerators(host.Engine(), collector.mObjects, host.DataStore()), 2);
        doc = new Document(static_cast<IRecordingDocument*>(parent), nullptr, 0);
        doc->AddRef();
        host.Attach(static_cast<ICAFCommandHandler*>(doc));
    }
    ~HostAndDocument()
    {
        doc->Close();
        host.Detach();
        doc->Release();
        parent->Release();
    }
    // Runs a command as the host's menu does.
    HRESULT Command(DWORD n) { return doc->OnCommand(Document::CommandId(n)); }
    std::vector<std::pair<DWORD, DWORD>> TakeUpdates()
    {
        auto u = std::move(recorded.updates);
        recorded.updates.clear();
        return u;
    }
    // What the document tells and asks the host.
    vx::host::HrvHostRecorder recorded;
    HrvHostDocument host;
    // The recording document the host hands its HRV document (count 1, the fixture's).
    vx::host::HrvHostDocumentObject* parent = new vx::host::HrvHostDocumentObject(host);
    Document* doc;
};

std::pair<DWORD, DWORD> Changing(DWORD code)
{
    return { Document::MsgIdAnalysisChanging(), code };
}
std::pair<DWORD, DWORD> Changed(DWORD code)
{
    return { Document::MsgIdAnalysisChanged(), code };
}

class DocumentTest : public caf::test::RegisteredFramework { };

} // namespace

TEST_F(DocumentTest, IdsCarryTheDocumentTypeIndex)
{
    const DWORD d = DWORD(HostTypeIndex(GUID_HRVDocumentObj)) << 16;
    ASSERT_NE(d, 0u);
    EXPECT_EQ(Document::MsgIdAnalysisChanged(), d);
    EXPECT_EQ(Document::MsgIdAnalysisChanging(), d | 1);
    EXPECT_EQ(UserEventData::ChildDataId(), d | 2);
    EXPECT_EQ(EventIdCache::ChildDataId(), d | 3);
    EXPECT_EQ(Document::CommandId(18), d | 18);
}

TEST_F(DocumentTest, TheDocumentClassOpensADocumentOnTheHostDocumentsServices)
{
    HrvHostDocument host(Mitdb100(30));
    EXPECT_EQ(vx::integration::InstallExtensionEnumerators(host.Engine(), {}, CAFFrameWork::GetTypeIdRegistry()), 2);
    auto* parent = new vx::host::HrvHostDocumentObject(host);
    auto* documentClass = new CAFDocumentClass<Document>(
        KEL::String(L"HRV2 Document"), 0, &GUID_HRVDocumentObj, Document::CommandId(0), 1, 0);
    documentClass->AddRef();
    auto* hostDocument = new caf::HostDocument(L"Record 100", static_cast<IRecordingDocument*>(parent));
    hostDocument->AddRef();

    HRESULT hr = E_FAIL;
    ICustomDocument2* opened = hostDocument->OpenDocument(static_cast<ICustomDocClass*>(documentClass), 0, &hr);
    ASSERT_EQ(hr, S_OK);
    ASSERT_NE(opened, nullptr);
    auto* doc = static_cast<Document*>(opened);
    EXPECT_EQ(doc->ClassObject(), static_cast<ICustomDocClass*>(documentClass));

    // Its own interface and the online sink are its own parts; the framework interfaces come from
    // the document base, with one identity for all.
    void* out = nullptr;
    ASSERT_EQ(opened->QueryInterface(IHRVDocument::kIid, &out), S_OK);
    EXPECT_EQ(out, static_cast<IHRVDocument*>(doc));
    IUnknown* identity = nullptr;
    static_cast<IHRVDocument*>(out)->QueryInterface(IUnknown::kIid, reinterpret_cast<void**>(&identity));
    static_cast<IHRVDocument*>(out)->Release();
    ASSERT_EQ(opened->QueryInterface(IOnlineDataSink::kIid, &out), S_OK);
    EXPECT_EQ(out, doc->OnlineSink());
    IUnknown* sinkIdentity = nullptr;
    static_cast<IOnlineDataSink*>(out)->QueryInterface(IUnknown::kIid, reinterpret_cast<void**>(&sinkIdentity));
    static_cast<IOnlineDataSink*>(out)->Release();
    EXPECT_NE(identity, nullptr);
    EXPECT_EQ(identity, sinkIdentity);
    identity->Release();
    sinkIdentity->Release();
    ASSERT_EQ(static_cast<IHRVDocument*>(doc)->QueryInterface(ICustomDocument2::kIid, &out), S_OK);
    EXPECT_EQ(out, opened);
    opened->Release();
    EXPECT_EQ(static_cast<IHRVDocument*>(doc)->QueryInterface(IHostDocumentData::kIid, &out), E_NOINTERFACE);
    EXPECT_EQ(out, nullptr);

    // The host's services arrive through the parent's recording document.
    host.Attach(opened);
    EXPECT_EQ(doc->OnCommand(Document::CommandId(kCmdAnalyse)), S_OK);
    EXPECT_FALSE(doc->Engine().mBeats.empty());
    EXPECT_GT(host.UpdateCount(), 0u);
    doc->OnCommand(Document::CommandId(kCmdOnlineMode));
    EXPECT_EQ(host.onlineSink, doc->OnlineSink());

    // Closed by the host: out of the online registry, and the recording document is let go of.
    const ULONG heldBefore = parent->AddRef() - 1;
    parent->Release();
    EXPECT_EQ(opened->DisconnectSender(), S_OK);
    EXPECT_EQ(host.onlineSink, nullptr);
    EXPECT_EQ(parent->AddRef() - 1, heldBefore - 1);
    parent->Release();
    const std::size_t updatesBefore = host.UpdateCount();
    doc->OnCommand(Document::CommandId(kCmdAnalyse));
    EXPECT_EQ(host.UpdateCount(), updatesBefore);

    host.Detach();

    // The class inserts the HRV menu with the host object made for it; a second insertion
    // replaces that object.
    HostClassObjectPair menu;
    ASSERT_EQ(CreateHostObjectForClass(menu, GUID_HRVDocumentObj, nullptr, nullptr), S_OK);
    ASSERT_EQ(InsertDocumentCommands(menu), S_OK);
    const std::size_t menuItems = static_cast<caf::HostClassCounterpart*>(menu.object)->Commands().size();
    menu.object->Release();
    ASSERT_GT(menuItems, 0u);
    // The host object keeps the class's own command handler without a reference: the class keeps
    // the host object, so a reference back would keep both alive for ever.
    const ULONG classCount = documentClass->AddRef() - 1;
    documentClass->Release();
    for (int round = 0; round < 2; ++round) {
        EXPECT_EQ(documentClass->InsertCommands(0), S_OK);
        EXPECT_EQ(documentClass->AddRef() - 1, classCount);
        documentClass->Release();
        EXPECT_EQ(documentClass->HostObject().flag, 1);
        ASSERT_NE(documentClass->HostObject().object, nullptr);
        EXPECT_EQ(
            static_cast<caf::HostClassCounterpart*>(documentClass->HostObject().object)->Commands().size(), menuItems);
    }

    hostDocument->Release();
    documentClass->Release();
    parent->Release();
}

TEST_F(DocumentTest, AnalyseThenClearSendsTheirSequencesAndStoresOnce)
{
    HostAndDocument hd(Mitdb100(120));
    EXPECT_EQ(hd.Command(kCmdAnalyse), S_OK);
    EXPECT_EQ(hd.TakeUpdates(), (std::vector { Changing(4), Changed(4) }));
    const Settings& s = hd.doc->GetSettings();
    EXPECT_EQ(s.mRangeStart, (Position { 0, 0 }));
    EXPECT_EQ(s.mRangeEnd, hd.host.DataEnd());
    EXPECT_TRUE(s.mDirty);
    EXPECT_GT(hd.doc->Engine().mBeats.size(), 130u); // about 75 beats a minute
    EXPECT_GT(hd.doc->Engine().mRR.size(), 50u);
    EXPECT_TRUE(hd.host.HasDataChild(UserEventData::ChildDataId()));
    EXPECT_TRUE(hd.host.HasDataChild(EventIdCache::ChildDataId()));
    EXPECT_EQ(hd.host.stored.size(), 2u);

    // Analysing again: the clear before it resets the range, so it counts as changed, but each
    // object goes to the host's store only once.
    const auto stores = std::count(hd.recorded.log.begin(), hd.recorded.log.end(), "persist.store 0");
    EXPECT_EQ(hd.Command(kCmdAnalyse), S_OK);
    EXPECT_EQ(std::count(hd.recorded.log.begin(), hd.recorded.log.end(), "persist.store 0"), stores);
    hd.TakeUpdates();

    EXPECT_EQ(hd.Command(kCmdClearAnalysis), S_OK);
    EXPECT_EQ(hd.TakeUpdates(), (std::vector { Changing(5), Changed(5) }));
    EXPECT_FALSE(s.HasValidRange());
    EXPECT_TRUE(hd.doc->Engine().mRR.empty());
    EXPECT_FALSE(hd.host.Engine().HasChannel(L"HRV_vFID"));
    // A second clear does nothing: no range.
    EXPECT_EQ(hd.Command(kCmdClearAnalysis), S_OK);
    EXPECT_TRUE(hd.TakeUpdates().empty());
}

TEST_F(DocumentTest, BusyHostChangesNothing)
{
    HostAndDocument hd(Mitdb100(30));
    hd.host.busy = true;
    for (DWORD n : { kCmdAnalyse, kCmdShowMarkers, kCmdOnlineMode, kCmdClearAnalysis })
        hd.Command(n);
    EXPECT_TRUE(hd.recorded.updates.empty());
    EXPECT_FALSE(hd.doc->GetSettings().HasValidRange());
    EXPECT_FALSE(hd.doc->GetSettings().mDirty);
    Enabler e;
    hd.doc->OnCommandEnable(Document::CommandId(kCmdAnalyse), &e);
    EXPECT_EQ(e.enabled, 0);
}

TEST_F(DocumentTest, EveryCommandAndMessageDispatches)
{
    HostAndDocument hd(Mitdb100(30));
    // Every command of the table runs (S_OK); outside the table S_FALSE.
    for (DWORD n = 1; n <= 18; ++n) {
        if (n == kCmdAnalysisPlots)
            continue; // a popup, reached through its notifications
        EXPECT_EQ(hd.Command(n), S_OK) << n;
    }
    EXPECT_EQ(hd.doc->OnCommand(Document::CommandId(19)), S_FALSE);

    // The five named messages: the routed message ids, in the order the commands sent them.
    std::vector<std::string> messages;
    for (const auto& line : hd.recorded.log)
        if (line.rfind("message ", 0) == 0)
            messages.push_back(line.substr(12));
    EXPECT_EQ(messages, (std::vector<std::string> { "0104", "0103", "0102", "0101", "0100" }));

    // A message of the document's type outside 0x100-0x104 is not handled.
    EXPECT_EQ(hd.host.SendDocumentMessage(Document::MessageId(0x105), 0), 0);

    // Enable answers.
    struct Case {
        DWORD command;
        int enabled;
    };
    hd.Command(kCmdAnalyse); // range set
    for (Case c : std::vector<Case> { { 1, 0xFFFF }, { 2, 0xFFFF }, { 5, 0xFFFF }, { 10, 0 }, { 12, 0xFFFF }, { 14, 0 },
             { 15, 0xFFFF }, { 16, 0xFFFF }, { 17, 0xFFFF }, { 18, 0xFFFF } }) {
        Enabler e;
        EXPECT_EQ(hd.doc->OnCommandEnable(Document::CommandId(c.command), &e), S_OK) << c.command;
        EXPECT_EQ(e.enabled, c.enabled) << c.command;
    }
    Enabler analyse;
    hd.doc->OnCommandEnable(Document::CommandId(kCmdAnalyse), &analyse);
    EXPECT_EQ(analyse.text, L"Analyze Channel");
    // Show markers and online mode carry their flag as a check mark.
    Enabler markers, online;
    hd.doc->OnCommandEnable(Document::CommandId(kCmdShowMarkers), &markers);
    EXPECT_EQ(markers.checked, hd.doc->GetSettings().mShowEventMarkers ? 0xFFFF : 0);
    hd.host.canSample = 0;
    hd.doc->OnCommandEnable(Document::CommandId(kCmdOnlineMode), &online);
    EXPECT_EQ(online.enabled, 0);
    EXPECT_EQ(online.checked, hd.doc->GetSettings().mAnalyzeWhileSampling ? 0xFFFF : 0);

    // The plots popup is rebuilt with exactly five items whatever it held; unknown items fail.
    Menu menu;
    menu.items = { { 1, L"old" }, { 2, L"older" } };
    EXPECT_EQ(
        hd.doc->OnCommandNotify(Document::CommandId(kCmdAnalysisPlots), 6, reinterpret_cast<std::uintptr_t>(&menu), 0),
        0);
    const std::vector<std::pair<DWORD, std::wstring>> plots = { { 5, L"Tachogram Plot" }, { 6, L"RR Histogram Plot" },
        { 7, L"Delta RR Histogram Plot" }, { 8, L"Poincaré Plot" }, { 9, L"Power Spectrum Plot" } };
    EXPECT_EQ(menu.items, plots); // plain items: the command numbers 5 to 9
    EXPECT_EQ(hd.doc->OnCommandNotify(Document::CommandId(kCmdAnalysisPlots), 7, 9, 0), 0);
    EXPECT_EQ(hd.doc->OnCommandNotify(Document::CommandId(kCmdAnalysisPlots), 7, Document::CommandId(3), 0), E_FAIL);
}

TEST_F(DocumentTest, ReselectSelectsTheAnalysedRegionAndTheSourceChannel)
{
    HostAndDocument hd(Mitdb100(30));
    hd.Command(kCmdAnalyse);
    hd.recorded.log.clear();
    hd.host.SendDocumentMessage(Document::MessageId(kMsgReselectAnalyzedRegion), 0);
    const Position end = hd.host.DataEnd();
    char id[16];
    std::snprintf(id, sizeof id, "%08X", Document::MessageId(kMsgReselectAnalyzedRegion));
    EXPECT_EQ(hd.recorded.log,
        (std::vector<std::string> { std::string("message ") + id, "selection.clear",
            "selection.region 0:0-0:" + std::to_string(end.mOffset), "selection.channel 0" }));
}

TEST_F(DocumentTest, NotificationsClearWhatTheyTouch)
{
    HostAndDocument hd(Mitdb100(60));
    // The attach notification of the document's own site registers it and analyses (nothing yet:
    // no range).
    hd.doc->OnNotify(nullptr, 0x80000000u, hd.host.ChildSite(), hd.host.ChildSite() + 1); // another site
    EXPECT_EQ(hd.doc->ClientId(), -1);
    hd.doc->OnNotify(nullptr, 0x80000000u, hd.host.ChildSite(), hd.host.ChildSite());
    EXPECT_NE(hd.doc->ClientId(), -1);
    EXPECT_TRUE(hd.recorded.updates.empty());
    hd.Command(kCmdAnalyse);
    hd.TakeUpdates();

    const DWORD h = DWORD(HostTypeIndex(GUID_HostRecordingEvents)) << 16;
    // A changed region that ends in the record before the analysis start: nothing. (The range
    // starts in record 0, so take a region of record -1.)
    const auto pos
        = [](int32_t record, int32_t offset) { return (ULONGLONG(uint32_t(record)) << 32) | uint32_t(offset); };
    hd.doc->OnNotify(nullptr, h | 14, pos(-1, 0), pos(-1, 100));
    EXPECT_TRUE(hd.TakeUpdates().empty());
    // Another channel changed: nothing; the source channel: cleared with notification.
    DWORD channel = 1;
    hd.doc->OnNotify(nullptr, h | 20, 0, reinterpret_cast<std::uintptr_t>(&channel));
    EXPECT_TRUE(hd.TakeUpdates().empty());
    channel = 0;
    hd.doc->OnNotify(nullptr, h | 22, 0, reinterpret_cast<std::uintptr_t>(&channel));
    EXPECT_EQ(hd.TakeUpdates(), (std::vector { Changing(5), Changed(5) }));

    // A region inside the range clears; the range check clears when the recording lost data.
    hd.Command(kCmdAnalyse);
    hd.TakeUpdates();
    hd.doc->OnNotify(nullptr, h | 16, pos(0, 100), pos(0, 200));
    EXPECT_EQ(hd.TakeUpdates(), (std::vector { Changing(5), Changed(5) }));
    hd.Command(kCmdAnalyse);
    hd.TakeUpdates();
    hd.doc->OnNotify(nullptr, h | 4, 0, 0);
    EXPECT_TRUE(hd.TakeUpdates().empty());
    hd.host.GetRecording().records[0].length /= 2;
    hd.doc->OnNotify(nullptr, h | 4, 0, 0);
    EXPECT_EQ(hd.TakeUpdates(), (std::vector { Changing(5), Changed(5) }));
}

namespace {

// One row of the settings-change table: what the dialog changes, the mask it gives, the detector
// stages removed and rebuilt, whether the user's beat marks are cleared, and whether the engine
// reads the beats again (else it only recomputes from the intervals it holds).
struct ChangeCase {
    const char* name;
    // Edits the open dialog, given the document's settings.
    std::function<void(ISettingsEditor&, const Settings&)> change;
    uint32_t mask;
    std::vector<int> stages;
    bool marksCleared;
    bool beatsReread;
};

std::vector<std::wstring> StageRequests(const std::vector<int>& stages, const HRVDetector& detector)
{
    std::vector<std::wstring> out;
    for (int s : stages)
        out.push_back(L"-" + detector.StageName(s));
    for (int s : stages)
        out.push_back(L"+" + detector.StageName(s));
    return out;
}

} // namespace

TEST_F(DocumentTest, SettingsChangesRebuildWhatTheirMaskSays)
{
    const auto set = [](const wchar_t* name, const wchar_t* value) {
        return
            [=](ISettingsEditor& editor, const Settings&) { EXPECT_EQ(editor.SetValue(name, value, nullptr), S_OK); };
    };
    const std::vector<ChangeCase> cases = {
        { "nothing", [](ISettingsEditor&, const Settings&) {}, 0, {}, false, false },
        { "QRS width", set(L"QRSWidth", L"0.1"), 0x4FFFFFF, { 7 }, true, true },
        { "exclude ectopics",
            [](ISettingsEditor& editor, const Settings& s) {
                EXPECT_EQ(editor.SetValue(L"ExcludeEctopics", s.mExcludeEctopics ? L"0" : L"1", nullptr), S_OK);
            },
            0x4FFFFFF, { 7 }, true, true },
        { "peak height", set(L"MinPeakHeight", L"2.5"), 0x6FFFFFF, { 5, 6, 7 }, true, true },
        { "low-pass cutoff", set(L"LowPassCutoff", L"25"), 0xFFFFFFFF, { 1, 2, 3, 4, 5, 6, 7 }, true, true },
        { "max frequency", set(L"MaxFrequency", L"0.6"), 3, {}, false, false },
        { "LF band", set(L"LFHigh", L"0.16"), 2, {}, false, false },
        { "pRR threshold", set(L"PRRThreshold", L"0.02"), 0x40000, {}, false, false },
        { "histogram bins", set(L"HistogramBinWidth", L"0.02"), 0x20000, {}, false, false },
        { "SDARR length", set(L"SDARRAveraging", L"60"), 0x100, {}, false, false },
    };
    for (const ChangeCase& c : cases) {
        SCOPED_TRACE(c.name);
        vx::host::HrvHostOptions options;
        HostAndDocument* current = nullptr;
        bool armed = false;
        options.settingsDialog = [&](ISettingsEditor& editor) {
            DWORD channels = 0;
            EXPECT_EQ(editor.GetChannelCount(&channels), S_OK);
            EXPECT_EQ(channels, 2u);
            if (armed)
                c.change(editor, current->doc->GetSettings());
            return 1;
        };
        HostAndDocument hd(Mitdb100(120), options);
        current = &hd;
        hd.Command(kCmdAnalyse);
        const std::size_t beats = hd.doc->Engine().mBeats.size();
        ASSERT_GT(beats, 0u);
        const Position start = hd.doc->GetSettings().mRangeStart, end = hd.doc->GetSettings().mRangeEnd;
        // A beat mark of the user, a sentinel beat in the engine, clean flags.
        const Position mark { 1000, 0 };
        hd.doc->GetData().GetUserEvents()->Add(&mark, 0);
        hd.doc->Engine().mBeats.push_back({ 9.0, 1.0, -1, 1, 0 });
        hd.doc->GetSettings().mDirty = false;
        hd.doc->GetData().mDirty = 0;
        const double spacing = hd.doc->Engine().mSpectrum.mFrequencyStep;
        hd.TakeUpdates();
        hd.host.channelRequests.clear();

        Settings* before = nullptr;
        ASSERT_EQ(hd.doc->GetSettings().Clone(&before), S_OK);
        armed = true;
        EXPECT_EQ(hd.Command(kCmdSettings), S_OK);
        EXPECT_EQ(hd.doc->GetSettings().Compare(before), c.mask);
        before->Release();
        // The detector settings' preview makes channels of its own and removes them on closing.
        std::vector<std::wstring> analysis;
        PreviewDetector preview(nullptr);
        for (const std::wstring& request : hd.host.channelRequests)
            if (request.compare(1, 5, preview.StageName(1), 0, 5) != 0) // "HRV_p..."
                analysis.push_back(request);
        EXPECT_EQ(analysis, StageRequests(c.stages, hd.doc->Detector()));
        EXPECT_FALSE(hd.host.Engine().HasChannel(preview.StageName(7)));
        WORD empty = 0;
        hd.doc->GetData().GetUserEvents()->IsEmpty(&empty);
        EXPECT_EQ(empty != 0, c.marksCleared);
        // Cleared marks are marked changed, so what is stored matches what is shown.
        EXPECT_EQ(hd.doc->GetData().mDirty != 0, c.marksCleared);
        const bool sentinel = hd.doc->Engine().mBeats.back().mRR == 9.0;
        EXPECT_EQ(!sentinel, c.beatsReread);
        EXPECT_EQ(hd.doc->Engine().mBeats.size(), c.beatsReread ? hd.doc->Engine().mBeats.size() : beats + 1);
        // The range stays; the settings are dirty exactly when something changed.
        EXPECT_EQ(hd.doc->GetSettings().mRangeStart, start);
        EXPECT_EQ(hd.doc->GetSettings().mRangeEnd, end);
        EXPECT_EQ(hd.doc->GetSettings().mDirty, c.mask != 0);
        if (c.mask == 3) {
            EXPECT_NE(hd.doc->Engine().mSpectrum.mFrequencyStep, spacing);
        }
        // The views hear: Changing(5) from the clear (no Changed: it is followed at once by the
        // re-analysis), then the re-analysis pair; nothing when nothing changed.
        std::vector<std::pair<DWORD, DWORD>> expected;
        if (c.mask > 0xFFFFFF)
            expected.push_back(Changing(5));
        if (c.mask)
            expected.insert(expected.end(), { Changing(4), Changed(4) });
        EXPECT_EQ(hd.TakeUpdates(), expected);
        if (c.beatsReread) {
            EXPECT_GT(hd.doc->Engine().mBeats.size(), 0u);
        }
    }
}

TEST_F(DocumentTest, AnalyseClearsTheUserMarksAndMarksTheDataChanged)
{
    HostAndDocument hd(Mitdb100(30));
    hd.Command(kCmdAnalyse);
    const Position mark { 500, 0 };
    hd.doc->GetData().GetUserEvents()->Add(&mark, 1);
    hd.doc->GetData().mDirty = 0;
    hd.Command(kCmdAnalyse);
    WORD empty = 0;
    hd.doc->GetData().GetUserEvents()->IsEmpty(&empty);
    EXPECT_TRUE(empty);
    EXPECT_NE(hd.doc->GetData().mDirty, 0);
}

TEST_F(DocumentTest, CancelledDialogChangesNothing)
{
    HostAndDocument hd(Mitdb100(30)); // no dialog answer: cancelled
    hd.Command(kCmdAnalyse);
    hd.doc->GetSettings().mDirty = false;
    hd.TakeUpdates();
    hd.Command(kCmdSettings);
    EXPECT_TRUE(hd.recorded.updates.empty());
    EXPECT_FALSE(hd.doc->GetSettings().mDirty);
}

TEST_F(DocumentTest, WithoutASettingsDialogTheCommandChangesNothingAndSaysSo)
{
    // As before the module has given the document its dialog: the host's answer is never asked.
    bool asked = false;
    vx::host::HrvHostOptions options;
    options.settingsDialog = [&](ISettingsEditor& editor) {
        asked = true;
        editor.SetValue(L"RRMin", L"0.5", nullptr);
        return 1;
    };
    HostAndDocument hd(Mitdb100(30), options);
    HRV::SetSettingsDialog(nullptr);
    const double rrMin = hd.doc->GetSettings().mRRMin;
    hd.TakeUpdates();
    vx::log::Capture capture;
    EXPECT_EQ(hd.Command(kCmdSettings), S_OK);
    HRV::InstallSettingsDialog();
    EXPECT_FALSE(asked);
    EXPECT_EQ(hd.doc->GetSettings().mRRMin, rrMin);
    EXPECT_TRUE(hd.recorded.updates.empty());
    EXPECT_EQ(
        capture.Lines(), std::vector<std::string> { "HRV Settings: no settings dialog was given to the document" });
}

TEST_F(DocumentTest, ToggleMessagesFlipTheirFlagAndTheOnlineRegistration)
{
    HostAndDocument hd(Mitdb100(30));
    hd.Command(kCmdAnalyse);
    ASSERT_TRUE(hd.doc->GetSettings().mShowEventMarkers);
    EXPECT_EQ(hd.host.links.size(), 1u);
    hd.Command(kCmdShowMarkers);
    EXPECT_FALSE(hd.doc->GetSettings().mShowEventMarkers);
    EXPECT_TRUE(hd.host.links.empty());
    hd.Command(kCmdOnlineMode);
    EXPECT_TRUE(hd.doc->GetSettings().mAnalyzeWhileSampling);
    EXPECT_EQ(hd.host.onlineSink, hd.doc->OnlineSink());
    hd.Command(kCmdOnlineMode);
    EXPECT_EQ(hd.host.onlineSink, nullptr);

    // Closing leaves no sink, no detector channel and no analysis behind.
    hd.Command(kCmdOnlineMode);
    ASSERT_EQ(hd.host.Document().SinkCount(), 1u);
    EXPECT_EQ(hd.doc->Close(), S_OK);
    EXPECT_EQ(hd.host.Document().SinkCount(), 0u);
    for (int stage = 1; stage <= 7; ++stage)
        EXPECT_FALSE(hd.host.Engine().HasChannel(hd.doc->Detector().StageName(stage))) << stage;
    EXPECT_FALSE(hd.doc->GetSettings().HasValidRange());
}

TEST_F(DocumentTest, OnlineSinkWithTheFlagOffIsNeutral)
{
    HostAndDocument hd(Mitdb100(30));
    IOnlineDataSink* sink = hd.doc->OnlineSink();
    WORD verdict = 0;
    EXPECT_EQ(sink->MaySamplingStart(nullptr, &verdict), 0);
    EXPECT_EQ(verdict, 0xFFFF);
    EXPECT_EQ(sink->RecordStart(1, 0, 1), 0);
    EXPECT_EQ(sink->NewData(), 0);
    EXPECT_EQ(sink->RecordEnd(), 0);
    EXPECT_EQ(sink->SamplingEnd(), 0);
    EXPECT_EQ(sink->SamplingFinished(), 0);
    EXPECT_TRUE(hd.recorded.updates.empty());
    DWORD value = 0;
    EXPECT_EQ(sink->GetValue13(&value), S_OK);
    EXPECT_EQ(value, 200u);
    EXPECT_EQ(sink->GetValue14(1, 2, 3, &value), S_OK);
    EXPECT_EQ(value, 0x80000000u);
    EXPECT_EQ(sink->Reserved9(), S_OK);
    EXPECT_EQ(sink->Reserved10(), E_NOTIMPL);
    EXPECT_EQ(sink->Reserved11(), E_NOTIMPL);
    EXPECT_EQ(sink->Reserved12(), S_OK);
}

TEST_F(DocumentTest, DiscontinuousSamplingAsksAndFollowsTheAnswer)
{
    for (int answer : { 0, 1, 2 }) {
        SCOPED_TRACE(answer);
        vx::host::HrvHostOptions options;
        options.messageBoxAnswer = answer;
        HostAndDocument hd(Mitdb100(30), options);
        hd.doc->GetSettings().mUseSelection = true;
        hd.host.hasSelection = true;
        hd.host.selectionStart = { 0, 0 };
        hd.host.selectionEnd = { 3600, 0 }; // ends before the data does
        hd.Command(kCmdAnalyse);
        hd.Command(kCmdOnlineMode);
        hd.TakeUpdates();
        WORD verdict = 0;
        const HRESULT hr = hd.doc->OnlineSink()->MaySamplingStart(nullptr, &verdict);
        EXPECT_EQ(std::count_if(hd.recorded.log.begin(), hd.recorded.log.end(),
                      [](const std::string& l) { return l.rfind("messagebox HRV 00002031 800B0004", 0) == 0; }),
            1);
        // 0: the host cannot show it, which counts as OK.
        const bool ok = answer != 2;
        EXPECT_EQ(verdict, ok ? 0xFFFF : 0);
        EXPECT_EQ(hr, ok ? 0 : 1);
        EXPECT_EQ(hd.doc->GetSettings().HasValidRange(), !ok);
        const std::vector<std::pair<DWORD, DWORD>> cleared { Changing(5) };
        const std::vector<std::pair<DWORD, DWORD>> none;
        EXPECT_EQ(hd.TakeUpdates(), ok ? cleared : none);
    }
}

TEST_F(DocumentTest, RecordEndWithoutNewIntervalsStillSendsChanged)
{
    HostAndDocument hd(Mitdb100(30));
    hd.Command(kCmdAnalyse);
    hd.Command(kCmdOnlineMode);
    // A record of nothing: the engine adds no interval.
    hd.host.GetRecording().AddRecord(hd.host.GetRecording().records[0].interval, 30.0);
    hd.host.GetRecording().samplingRecord = 1;
    hd.TakeUpdates();
    ASSERT_EQ(hd.doc->OnlineSink()->RecordStart(1, 0, 1), 0);
    EXPECT_EQ(hd.doc->OnlineSink()->RecordEnd(), 1);
    EXPECT_EQ(hd.TakeUpdates(), (std::vector { Changing(1), Changed(1) }));
}

TEST_F(DocumentTest, OnlineRunMatchesTheOfflineAnalysisOfTheSameRange)
{
    // Ten minutes recorded and analysed, then ten more sampled online into a second record.
    const double first = 600, second = 600;
    auto source = Mitdb100(second, first);
    HostAndDocument online(Mitdb100(first));
    online.Command(kCmdAnalyse);
    online.Command(kCmdOnlineMode);
    online.TakeUpdates();
    ASSERT_TRUE(online.host.PlayOnline(*source, 0, 30.0));

    // The sequence the views hear: new data per block, the record end, the sampling end, and the
    // re-analysis in online mode when sampling has finished.
    const auto updates = online.TakeUpdates();
    std::vector<std::pair<DWORD, DWORD>> expected;
    for (int i = 0; i < second / 30; ++i)
        expected.insert(expected.end(), { Changing(3), Changed(3) });
    expected.insert(expected.end(), { Changing(1), Changed(1), Changing(2), Changed(2), Changing(0), Changed(0) });
    EXPECT_EQ(updates, expected);
    const Settings& s = online.doc->GetSettings();
    EXPECT_EQ(s.mRangeStart, (Position { 0, 0 }));
    EXPECT_EQ(s.mRangeEnd, (Position { 0x7FFFFFFF, kLastRecord }));

    // The same twenty minutes as two recorded records, analysed offline.
    auto both = Mitdb100(first);
    both->AddRecord(both->records[0].interval, first);
    for (int c = 0; c < both->ChannelCount(); ++c) {
        std::vector<float> values(static_cast<std::size_t>(source->records[0].length));
        source->records[0].channels[static_cast<std::size_t>(c)].Read(0, values);
        both->records[1].channels[static_cast<std::size_t>(c)].Append(values);
    }
    both->records[1].length = source->records[0].length;
    HostAndDocument offline(both);
    offline.Command(kCmdAnalyse);

    const AnalysisEngine& a = online.doc->Engine();
    const AnalysisEngine& b = offline.doc->Engine();
    ASSERT_GT(b.mBeats.size(), 1200u);
    // Where the online results are defined differently: the online path keeps in the beat list
    // the sampled record's second beat, whose delta-RR is NaN (a record starts without a
    // previous beat); the batch leaves it out. It never enters the interval series.
    const auto fiducial = vx::integration::ReadBeats(offline.host.Engine(), L"HRV_vFID", 1, 0, 1 << 20);
    ASSERT_GE(fiducial.size(), 3u);
    ASSERT_TRUE(std::isnan(fiducial[1].mDeltaRR));
    std::vector<BeatPoint> onlineBeats = a.mBeats;
    const auto extra
        = std::find_if(onlineBeats.begin(), onlineBeats.end(), [](const BeatPoint& p) { return p.mRecord == 1; });
    ASSERT_NE(extra, onlineBeats.end());
    EXPECT_EQ(extra->mOffset, fiducial[1].mPosition);
    onlineBeats.erase(extra);
    ASSERT_EQ(onlineBeats.size(), b.mBeats.size());
    for (std::size_t i = 0; i < onlineBeats.size(); ++i) {
        ASSERT_EQ(onlineBeats[i].mOffset, b.mBeats[i].mOffset) << i;
        ASSERT_EQ(onlineBeats[i].mRecord, b.mBeats[i].mRecord) << i;
        ASSERT_DOUBLE_EQ(onlineBeats[i].mRR, b.mBeats[i].mRR) << i;
    }
    ASSERT_EQ(a.mRR, b.mRR);
    ASSERT_EQ(a.mBeatTimes.size(), b.mBeatTimes.size());
    for (std::size_t i = 0; i < a.mBeatTimes.size(); ++i)
        EXPECT_NEAR(a.mBeatTimes[i], b.mBeatTimes[i], 1e-9);
    EXPECT_EQ(a.mNormalCount, b.mNormalCount);
    EXPECT_EQ(a.mEctopicCount, b.mEctopicCount);
    // Statistics: the online path adds the second record's intervals one by one to the sums of
    // the first record's batch.
    EXPECT_EQ(a.mStats.mCount, b.mStats.mCount);
    EXPECT_NEAR(a.mStats.mSumRR / a.mStats.mCount, b.mStats.mSumRR / b.mStats.mCount, 1e-12);
    EXPECT_NEAR(a.mStats.SDRR(), b.mStats.SDRR(), 1e-9);
    EXPECT_NEAR(a.mStats.SDSD(), b.mStats.SDSD(), 1e-9);
    EXPECT_NEAR(a.mStats.SD1(), b.mStats.SD1(), 1e-9);
    EXPECT_NEAR(a.mStats.SD2(), b.mStats.SD2(), 1e-9);
    EXPECT_EQ(a.mStats.mCountOverThreshold, b.mStats.mCountOverThreshold);
    // SDARR: the online segments continue the first record's and close at the sampling end.
    EXPECT_EQ(a.mSegments.mNumSegments, b.mSegments.mNumSegments);
    EXPECT_NEAR(a.mSegments.mSumOfMeans, b.mSegments.mSumOfMeans, 1e-12);
    EXPECT_NEAR(a.mSegments.mM2OfMeans, b.mSegments.mM2OfMeans, 1e-12);
    // The spectrum is recomputed over the whole series at the record end.
    ASSERT_EQ(a.mSpectrum.mPower.size(), b.mSpectrum.mPower.size());
    for (std::size_t i = 0; i < a.mSpectrum.mPower.size(); ++i)
        EXPECT_NEAR(a.mSpectrum.mPower[i], b.mSpectrum.mPower[i], 1e-9 * (1 + std::abs(b.mSpectrum.mPower[i])));
}

TEST_F(DocumentTest, NamedMessageClassesDescribeTheFiveMessages)
{
    const auto& classes = NamedMessageClasses();
    const wchar_t* names[] = { L"HRV_Analyze", L"HRV_ClearAnalysis", L"HRV_ReselectAnalyzedRegion",
        L"HRV_ToggleOnlineMode", L"HRV_ToggleEventMarkers" };
    for (std::size_t i = 0; i < classes.size(); ++i) {
        IMsgIdMessageClassObject* c = classes[i];
        DWORD id = 0;
        EXPECT_EQ(c->GetMessageId(&id), S_OK);
        EXPECT_EQ(id, Document::MessageId(0x100 + DWORD(i)));
        KEL::String text;
        c->GetName(&text);
        EXPECT_EQ(text.ToWString(), names[i]);
        c->GetGroup(&text);
        EXPECT_EQ(text.ToWString(), L"HRV");
        WORD v1 = 0, v2 = 7;
        c->GetValue1(&v1);
        c->GetValue2(&v2);
        EXPECT_EQ(v1, 65535);
        EXPECT_EQ(v2, 0);
        // Static objects: releasing the last reference deletes nothing, and the count stays
        // usable after a surplus release.
        EXPECT_EQ(c->AddRef(), 1u);
        EXPECT_EQ(c->Release(), 0u);
        EXPECT_EQ(c->Release(), 0u);
        EXPECT_EQ(c->AddRef(), 1u);
        EXPECT_EQ(c->Release(), 0u);
        EXPECT_EQ(c->GetMessageId(&id), S_OK);
    }
    IKELString* description = nullptr;
    classes[0]->GetDescription(&description);
    EXPECT_EQ(KEL::String(description).ToWString(), L"Performs the analysis currently set up in the HRV module");
    description->Release();
    EXPECT_EQ(classes[0]->WriteMessage(nullptr, nullptr, 0), E_FAIL);
}

TEST_F(DocumentTest, NamedMessageCreationChecksItsArguments)
{
    IMsgIdMessageClassObject* analyze = NamedMessageClasses()[0];
    IMessage* message = reinterpret_cast<IMessage*>(1);
    VARIANT two[2];
    VariantInit(&two[0]);
    VariantInit(&two[1]);
    const MessageArguments named { two, 0, 1 }, tooMany { two, 2, 0 };
    EXPECT_EQ(analyze->CreateMessage(nullptr, &message), DISP_E_BADPARAMCOUNT);
    EXPECT_EQ(message, nullptr);
    EXPECT_EQ(analyze->CreateMessage(&named, &message), DISP_E_BADPARAMCOUNT);
    EXPECT_EQ(analyze->CreateMessage(&tooMany, &message), DISP_E_BADPARAMCOUNT);

    const auto payloadOf = [](IMessage* m) {
        IMessagePayload* p = nullptr;
        EXPECT_EQ(m->QueryInterface(IMessagePayload::kIid, reinterpret_cast<void**>(&p)), S_OK);
        DWORD type = 9, count = 9;
        p->GetPayload(&type, &count);
        p->Release();
        return std::pair { type, count };
    };
    // No argument: no payload.
    const MessageArguments none { nullptr, 0, 0 };
    ASSERT_EQ(analyze->CreateMessage(&none, &message), S_OK);
    DWORD id = 0;
    message->GetId(&id);
    EXPECT_EQ(id, Document::MessageId(kMsgAnalyze));
    EXPECT_EQ(payloadOf(message), (std::pair<DWORD, DWORD> { 0, 0 }));
    message->Release();
    // A text argument names a host type; no view class is registered here, so the id stays 0.
    VARIANT text;
    VariantInit(&text);
    text.vt = VT_BSTR;
    text.bstrVal = SysAllocString(L"HRV Report View");
    const MessageArguments one { &text, 1, 0 };
    ASSERT_EQ(analyze->CreateMessage(&one, &message), S_OK);
    EXPECT_EQ(payloadOf(message), (std::pair<DWORD, DWORD> { 0, 1 }));
    message->Release();
    VariantClear(&text);
    // A number is turned into text first.
    VARIANT number;
    VariantInit(&number);
    number.vt = VT_I4;
    number.lVal = 12;
    const MessageArguments numeric { &number, 1, 0 };
    ASSERT_EQ(analyze->CreateMessage(&numeric, &message), S_OK);
    message->Release();

    // Arguments that cannot be copied or turned into text give their result, not an exception.
    VARIANT bad;
    VariantInit(&bad);
    bad.vt = 99;
    const MessageArguments badType { &bad, 1, 0 };
    EXPECT_EQ(analyze->CreateMessage(&badType, &message), DISP_E_BADVARTYPE);
    EXPECT_EQ(message, nullptr);
    VARIANT object;
    VariantInit(&object);
    object.vt = VT_UNKNOWN;
    object.punkVal = nullptr;
    const MessageArguments unconvertible { &object, 1, 0 };
    EXPECT_TRUE(FAILED(analyze->CreateMessage(&unconvertible, &message)));
    EXPECT_EQ(message, nullptr);
}

TEST_F(DocumentTest, HeadlessDialogsAnswerFromTheHostsOptions)
{
    // The settings dialog: a species chosen in it applies its preset to the settings it edits only.
    vx::host::HrvHostOptions options;
    options.settingsDialog = [](ISettingsEditor& editor) {
        EXPECT_EQ(editor.SelectSpecies(7), S_OK); // "Rat"
        return 1;
    };
    HostAndDocument hd(Mitdb100(30), options);
    Settings* working = nullptr;
    ASSERT_EQ(hd.doc->GetSettings().Clone(&working), S_OK);
    {
        SettingsDialog settings(nullptr, { L"ECG" }, *working, &hd.host);
        EXPECT_EQ(settings.Execute(), 1);
    }
    EXPECT_EQ(working->mSpecies, 7u);
    EXPECT_NE(working->mQRSWidth, hd.doc->GetSettings().mQRSWidth);
    EXPECT_EQ(hd.doc->GetSettings().mSpecies, 0u);

    // Without an answer the dialog is cancelled and changes nothing; without a service too.
    vx::host::HrvHostOptions silent;
    HostAndDocument quiet(Mitdb100(30), silent);
    for (IDialogService* service :
        { static_cast<IDialogService*>(&quiet.host), static_cast<IDialogService*>(nullptr) }) {
        working->mSpecies = 3;
        SettingsDialog settings(nullptr, { L"ECG" }, *working, service);
        EXPECT_EQ(settings.Execute(), 2);
        EXPECT_EQ(working->mSpecies, 3u);
    }
    working->Release();
}

TEST_F(DocumentTest, TheDetectorNamesItsSourceChannelAsTheHostDoes)
{
    HostAndDocument hd(Mitdb100(10));
    vx::hf::ChannelRef named;
    ASSERT_EQ(hd.host.Document().CreateNamedChannel(0, L"ECG_clean", nullptr, &named), S_OK);
    struct Case {
        uint32_t channel, kind;
        const wchar_t* formula;
    };
    const Case cases[] = {
        { 1, 0xC0000000u, L"lowpass(Ch2,30)" }, { 2, 0x00000001u, L"lowpass(RCh3,30)" },
        { named.number, 4, L"lowpass(ECG_clean,30)" }, // a named channel
    };
    for (const Case& c : cases) {
        DetectorSettings settings = DefaultDetectorSettings();
        settings.mSourceChannel = c.channel;
        settings.mSourceChannelFlags = c.kind;
        EXPECT_EQ(hd.doc->Detector().StageFormula(1, settings, 21), c.formula);
    }
}

TEST_F(DocumentTest, SettingsDialogTakesOnlyValuesWithinTheirRanges)
{
    const auto text = [](BSTR b) {
        std::wstring t = b ? b : L"";
        SysFreeString(b);
        return t;
    };
    // Through the settings command: refused values are named, swapped entries stored in order.
    vx::host::HrvHostOptions options;
    std::vector<std::wstring> refusals;
    options.settingsDialog = [&](ISettingsEditor& editor) {
        for (const auto& [name, value] : std::vector<std::pair<const wchar_t*, const wchar_t*>> {
                 { L"NumFrequencies", L"20000000" }, { L"SourceChannel", L"2" }, { L"NoiseLevel", L"-1" } }) {
            BSTR reason = nullptr;
            EXPECT_EQ(editor.SetValue(name, value, &reason), E_INVALIDARG);
            refusals.push_back(text(reason));
        }
        BSTR value = nullptr;
        EXPECT_EQ(editor.GetValue(L"NumFrequencies", &value), S_OK);
        EXPECT_EQ(text(value), L"500");
        EXPECT_EQ(editor.SetValue(L"RRMin", L"1.2", nullptr), S_OK);
        EXPECT_EQ(editor.SetValue(L"RRMax", L"0.3", nullptr), S_OK);
        EXPECT_EQ(editor.SelectSpecies(9), E_INVALIDARG);
        return 1;
    };
    HostAndDocument hd(Mitdb100(30), options);
    EXPECT_EQ(hd.Command(kCmdSettings), S_OK);
    ASSERT_EQ(refusals.size(), 3u);
    EXPECT_EQ(refusals[0], L"NumFrequencies must be from 10 to 10000, not 20000000");
    EXPECT_EQ(refusals[1], L"SourceChannel must be from 0 to 1, not 2");
    EXPECT_EQ(refusals[2], L"NoiseLevel must be from 0 to 10, not -1");
    EXPECT_EQ(hd.doc->GetSettings().mNumFrequencies, 500);
    EXPECT_EQ(hd.doc->GetSettings().mRRMin, 0.3);
    EXPECT_EQ(hd.doc->GetSettings().mRRMax, 1.2);

    // A stored channel that the list does not offer is kept on OK.
    Settings* working = nullptr;
    ASSERT_EQ(hd.doc->GetSettings().Clone(&working), S_OK);
    working->mSourceChannel = 1;
    hd.host.options.settingsDialog = [](ISettingsEditor&) { return 1; };
    {
        SettingsDialog dialog(nullptr, { L"ECG" }, *working, &hd.host, &hd.host);
        EXPECT_EQ(dialog.Execute(), 1);
    }
    EXPECT_EQ(working->mSourceChannel, 1u);
    working->Release();
}

TEST_F(DocumentTest, AnalysisManagerRequestsAndPersistedObjects)
{
    HostAndDocument hd(Mitdb100(60));
    const DWORD m = DWORD(HostTypeIndex(GUID_AnalysisManagerEvents)) << 16;
    DWORD value = 77;
    const auto notify = [&](DWORD n) { hd.doc->OnNotify(nullptr, m | n, 0, reinterpret_cast<std::uintptr_t>(&value)); };
    // Without a manager (not attached yet) the requests do nothing.
    notify(6);
    EXPECT_TRUE(hd.recorded.updates.empty());

    hd.doc->OnNotify(nullptr, 0x80000000u, hd.host.ChildSite(), hd.host.ChildSite());
    ASSERT_EQ(hd.doc->ClientId(), 1);
    EXPECT_NE(std::find(hd.recorded.log.begin(), hd.recorded.log.end(), "manager.stored 1 0"), hd.recorded.log.end());
    // Until the settings are stored with the host, the manager's requests are not for this
    // analysis.
    notify(6);
    EXPECT_TRUE(hd.recorded.updates.empty());
    hd.Command(kCmdAnalyse);
    hd.TakeUpdates();
    notify(7);
    EXPECT_EQ(hd.recorded.log.back(), "manager.range 1 77");
    notify(6);
    EXPECT_EQ(hd.TakeUpdates(), (std::vector { Changing(4), Changed(4) }));
    notify(5);
    EXPECT_EQ(hd.TakeUpdates(), (std::vector { Changing(5), Changed(5) }));

    // Persisted objects: index 0 the settings, 1 the data, each with type 2.
    DWORD word = 9;
    IUnknown* object = nullptr;
    EXPECT_EQ(hd.doc->GetPersistedObject(0, 2, &word, &object), S_OK);
    EXPECT_EQ(word, 0u);
    EXPECT_EQ(object, static_cast<IPersistStreamInit*>(&hd.doc->GetSettings()));
    object->Release();
    EXPECT_EQ(hd.doc->GetPersistedObject(1, 2, &word, &object), S_OK);
    EXPECT_EQ(object, static_cast<IPersistStreamInit*>(&hd.doc->GetData()));
    object->Release();
    EXPECT_EQ(hd.doc->GetPersistedObject(2, 2, &word, &object), S_FALSE);
    EXPECT_EQ(object, nullptr);
    EXPECT_EQ(hd.doc->GetPersistedObject(0, 1, &word, &object), S_FALSE);

    // After a load: only settings from a legacy stream (versions 101 to 105) tell the host.
    for (uint32_t version : { 100u, 101u, 105u, 106u }) {
        hd.recorded.log.clear();
        hd.doc->GetSettings().mLoadedVersion = version;
        EXPECT_EQ(hd.doc->OnHostLoaded(), S_OK);
        EXPECT_EQ(hd.recorded.log.size(), version >= 101 && version <= 105 ? 1u : 0u) << version;
    }
    char legacy[32];
    std::snprintf(legacy, sizeof legacy, "legacy %08X", Document::CommandId(26));
    EXPECT_EQ(hd.recorded.log, std::vector<std::string> {});
    hd.doc->GetSettings().mLoadedVersion = 103;
    hd.doc->OnHostLoaded();
    EXPECT_EQ(hd.recorded.log, std::vector<std::string> { legacy });

    // QueryInterface: the document's own interface and the sink as its own sub-object.
    IHRVDocument* own = nullptr;
    ASSERT_EQ(hd.doc->QueryInterface(IHRVDocument::kIid, reinterpret_cast<void**>(&own)), S_OK);
    EXPECT_EQ(own, static_cast<IHRVDocument*>(hd.doc));
    own->Release();
    IUnknown* unknown = reinterpret_cast<IUnknown*>(1);
    EXPECT_EQ(hd.doc->QueryInterface(IPersist::kIid, reinterpret_cast<void**>(&unknown)), E_NOINTERFACE);
    EXPECT_EQ(unknown, nullptr);
    IOnlineDataSink* sink = nullptr;
    ASSERT_EQ(hd.doc->QueryInterface(IOnlineDataSink::kIid, reinterpret_cast<void**>(&sink)), S_OK);
    EXPECT_EQ(sink, hd.doc->OnlineSink());
    sink->Release();
}

TEST_F(DocumentTest, MenuInsertionRegistersTheItemsInOrder)
{
    HostClassObjectPair pair;
    ASSERT_EQ(CreateHostObjectForClass(pair, GUID_HRVDocumentObj, nullptr, nullptr), S_OK);
    ASSERT_EQ(InsertDocumentCommands(pair), S_OK);
    EXPECT_EQ(pair.flag, 1); // the host placed the items
    const auto& items = static_cast<caf::HostClassCounterpart*>(pair.object)->Commands();

    struct Item {
        std::wstring caption;
        DWORD number; // 0: no id
        DWORD textId;
        std::wstring attribute;
        DWORD first, second;
    };
    const std::vector<Item> expected = {
        { L"HRV^EXTENSION|", 0, 27, L"", 0, 0 },
        { L"HRV|Settings", 1, 30, L"settings", 10, 1003 },
        { L"HRV|-", 0, 0, L"", 0, 0 },
        { L"HRV|ClassifierView", 2, 33, L"window_BPClass", 10, 1006 },
        { L"HRV|Report", 3, 36, L"Spiro_Report", 10, 1007 },
        { L"HRV|AnalysisPlots|", 4, 39, L"windows_graphsmenu", 522, 1005 },
        { L"HRV|AnalysisPlots|Tachogram", 5, 45, L"", 0, 0 },
        { L"HRV|AnalysisPlots|RRHistogram", 6, 48, L"", 0, 0 },
        { L"HRV|AnalysisPlots|DeltaRRHistogram", 7, 51, L"", 0, 0 },
        { L"HRV|AnalysisPlots|Poincare", 8, 54, L"", 0, 0 },
        { L"HRV|AnalysisPlots|Spectrum", 9, 57, L"", 0, 0 },
        { L"HRV|-", 0, 0, L"", 0, 0 },
        { L"HRV|AddMarker", 10, 60, L"", 0, 0 },
        { L"HRV|RemoveMarker", 11, 63, L"", 0, 0 },
        { L"HRV|ShowMarkers", 12, 66, L"", 0, 0 },
        { L"HRV|AllBeatsNormal", 13, 69, L"", 0, 0 },
        { L"HRV|-", 0, 0, L"", 0, 0 },
        { L"HRV|OnlineMode", 15, 74, L"", 0, 0 },
        { L"HRV|-", 0, 0, L"", 0, 0 },
        { L"HRV|Reselect", 16, 77, L"", 0, 0 },
        { L"HRV|ClearAnalysis", 17, 80, L"", 0, 0 },
        { L"HRV|Analyse", 18, 42, L"analyse", 10, 1004 },
    };
    ASSERT_EQ(items.size(), expected.size() + 1);
    const auto& group = dynamic_cast<caf::HostCommand&>(*items[0]).Describe();
    EXPECT_EQ(group.kind, caf::HostCommand::Kind::Group);
    EXPECT_EQ(group.caption, L"HRV");
    EXPECT_EQ(group.separator, L"HRV");
    EXPECT_EQ(group.style, 0x38u);
    EXPECT_EQ(group.order, 10000u);
    for (std::size_t i = 0; i < expected.size(); ++i) {
        const auto& f = dynamic_cast<caf::HostCommand&>(*items[i + 1]).Describe();
        const Item& e = expected[i];
        SCOPED_TRACE(std::string(e.caption.begin(), e.caption.end()));
        EXPECT_EQ(f.caption, e.caption);
        EXPECT_EQ(f.id, e.number ? Document::CommandId(e.number) : 0u);
        EXPECT_EQ(f.textId, e.textId);
        EXPECT_EQ(f.attribute, e.attribute);
        EXPECT_EQ(f.first, e.first);
        EXPECT_EQ(f.second, e.second);
        EXPECT_EQ(f.group, e.attribute.empty() ? L"" : L"HRV");
        // Each command's text is three entries: the menu text, then twice its short form.
        if (e.number) {
            std::wstring shortForm = DocumentText(e.textId).ToWString();
            std::erase(shortForm, L'&');
            if (shortForm.ends_with(L"..."))
                shortForm.resize(shortForm.size() - 3);
            EXPECT_EQ(DocumentText(e.textId + 1).ToWString(), shortForm);
            EXPECT_EQ(DocumentText(e.textId + 2).ToWString(), shortForm);
        }
    }
    // The texts the items name are the module's.
    EXPECT_EQ(DocumentText(30).ToWString(), L"&Settings...");
    EXPECT_EQ(DocumentText(84).ToWString(), L"Analyze Selection");
    pair.object->Release();

    // Without the host's object nothing is inserted.
    HostClassObjectPair empty;
    EXPECT_EQ(InsertDocumentCommands(empty), E_POINTER);
}

namespace {

// Reads the fiducial channel of the record being sampled after each block, as a view would.
class LiveReader final : public IOnlineDataSink {
public:
    LiveReader(HrvHostDocument& host, std::wstring channel)
        : mHost(host)
        , mChannel(std::move(channel))
    {
    }
    HRESULT QueryInterface(REFIID, void**) override { return E_NOINTERFACE; }
    ULONG AddRef() override { return 1; }
    ULONG Release() override { return 1; }
    HRESULT MaySamplingStart(IUnknown**, WORD* verdict) override { return *verdict = 0xFFFF, S_OK; }
    HRESULT SamplingFinished() override { return S_OK; }
    HRESULT RecordStart(LONG, DWORD, WORD) override { return S_OK; }
    HRESULT RecordEnd() override { return S_OK; }
    HRESULT SamplingEnd() override { return S_OK; }
    HRESULT NewData() override
    {
        ChannelRef fid;
        const int32_t record = mHost.GetRecording().samplingRecord;
        if (!mHost.FindChannel(mChannel.c_str(), fid) || record < 0)
            return S_OK;
        IEnumEventEx* events = mHost.OpenEvents(fid, record, 0, 0x7FFFFFFF);
        if (!events)
            return S_OK;
        Read read { mHost.GetRecording().records[static_cast<std::size_t>(record)].length, {} };
        DWORD size = 0;
        events->GetRecordSize(&size);
        std::vector<std::byte> buffer(size * 8);
        for (;;) {
            DWORD count = 0;
            LONG next = 0;
            const HRESULT hr = events->Next(static_cast<DWORD>(buffer.size()), -1, buffer.data(), &count, &next);
            for (DWORD i = 0; i < count; ++i) {
                FiducialEvent e;
                std::memcpy(&e, buffer.data() + i * size, std::min<std::size_t>(size, sizeof e));
                read.events.push_back(e);
            }
            if (hr != S_OK || count == 0)
                break;
        }
        events->Release();
        reads.push_back(std::move(read));
        return S_OK;
    }
    HRESULT Reserved9() override { return S_OK; }
    HRESULT Reserved10() override { return S_OK; }
    HRESULT Reserved11() override { return S_OK; }
    HRESULT Reserved12() override { return S_OK; }
    HRESULT GetValue13(DWORD*) override { return S_OK; }
    HRESULT GetValue14(DWORD, DWORD, DWORD, DWORD*) override { return S_OK; }

    struct Read {
        int64_t length; // samples in the record when read
        std::vector<FiducialEvent> events;
    };
    std::vector<Read> reads;

private:
    HrvHostDocument& mHost;
    std::wstring mChannel;
};

} // namespace

TEST_F(DocumentTest, WhileSamplingTheHostHandsOutOnlySettledBeats)
{
    const double first = 120, second = 180;
    auto source = Mitdb100(second, first);
    HostAndDocument hd(Mitdb100(first));
    hd.Command(kCmdAnalyse);
    hd.Command(kCmdOnlineMode);
    LiveReader reader(hd.host, hd.doc->Detector().StageName(7));
    ASSERT_EQ(hd.host.Document().AddSink(&reader), S_OK);
    ASSERT_TRUE(hd.host.PlayOnline(*source, 0, 20.0));
    hd.host.Document().RemoveSink(&reader);

    // What the record holds at the end, read anew.
    const auto finished = vx::integration::ReadBeats(hd.host.Engine(), hd.doc->Detector().StageName(7), 1, 0, 1 << 20);
    ASSERT_GT(finished.size(), 150u);
    ASSERT_EQ(reader.reads.size(), 9u);
    const auto settle = static_cast<int64_t>(10.0 / source->records[0].interval);
    std::size_t previous = 0;
    for (const auto& read : reader.reads) {
        // Every beat handed out lies at least the settle time behind the data, and is the beat
        // the finished record has there: later samples did not change it.
        ASSERT_LE(read.events.size(), finished.size());
        EXPECT_GE(read.events.size(), previous);
        previous = read.events.size();
        for (std::size_t i = 0; i < read.events.size(); ++i) {
            EXPECT_LT(read.events[i].mPosition, read.length - settle);
            ASSERT_EQ(read.events[i].mPosition, finished[i].mPosition) << i;
            EXPECT_EQ(std::isnan(read.events[i].mRR), std::isnan(finished[i].mRR));
            if (!std::isnan(finished[i].mRR)) {
                EXPECT_DOUBLE_EQ(read.events[i].mRR, finished[i].mRR);
            }
        }
    }
    EXPECT_GT(previous, finished.size() - 20); // the last read trails the end by the settle time
}

TEST_F(DocumentTest, ADocumentWithoutHostOwnsFreshStateAndDoesNothing)
{
    auto* doc = new Document(nullptr, nullptr, 0);
    doc->AddRef();
    EXPECT_FALSE(doc->GetSettings().HasValidRange());
    EXPECT_TRUE(doc->Engine().mBeats.empty());
    for (DWORD n = 1; n <= 18; ++n)
        doc->OnCommand(Document::CommandId(n));
    EXPECT_EQ(doc->Reanalyse(0xFFFFFFFF, 4), 0);
    EXPECT_FALSE(doc->ClearAnalysis(0xFFFFFFFF, true));
    EXPECT_FALSE(doc->AttachOnlineSink());
    doc->GetSettings().mAnalyzeWhileSampling = true;
    WORD verdict = 0;
    EXPECT_EQ(doc->OnlineSink()->MaySamplingStart(nullptr, &verdict), 0);
    EXPECT_EQ(doc->OnlineSink()->RecordStart(0, 0, 1), 0);
    EXPECT_EQ(doc->OnlineSink()->NewData(), 0);
    EXPECT_EQ(doc->OnlineSink()->RecordEnd(), 1); // no interval added
    EXPECT_EQ(doc->OnlineSink()->SamplingEnd(), 0);
    EXPECT_EQ(doc->Close(), S_OK);
    EXPECT_EQ(doc->Release(), 0u);
}

TEST_F(DocumentTest, LiveEventSourceFindsClonesAndReportsItsTimeBase)
{
    HostAndDocument hd(Mitdb100(60));
    ASSERT_EQ(hd.Command(kCmdAnalyse), S_OK);
    ChannelRef fid;
    ASSERT_TRUE(hd.host.FindChannel(L"HRV_vFID", fid));
    IEnumEventEx* events = hd.host.OpenEvents(fid, 0, 0, 0x7FFFFFFF);
    ASSERT_NE(events, nullptr);

    // Every position, read straight through.
    ULONG size = 0;
    ASSERT_EQ(events->GetRecordSize(&size), S_OK);
    ASSERT_GE(size, sizeof(int32_t));
    std::vector<LONG> positions;
    std::vector<std::byte> buffer(size * 16);
    for (;;) {
        ULONG count = 0;
        LONG next = 0;
        const HRESULT hr = events->Next(static_cast<ULONG>(buffer.size()), -1, buffer.data(), &count, &next);
        for (ULONG i = 0; i < count; ++i) {
            int32_t p = 0;
            std::memcpy(&p, buffer.data() + i * size, sizeof p);
            positions.push_back(p);
        }
        if (hr != S_OK || count == 0)
            break;
    }
    ASSERT_GT(positions.size(), 50u);

    // Forward: the first event at or after the start; backward: the last one before it.
    const std::size_t k = positions.size() / 2;
    LONG at = 0;
    ASSERT_EQ(events->Find(0, positions[k] - 1, 0, 0x7FFFFFFF), S_OK);
    ASSERT_EQ(events->GetPosition(&at), S_OK);
    EXPECT_EQ(at, positions[k]);
    ASSERT_EQ(events->Find(1, positions[k] + 1, 0, 0x7FFFFFFF), S_OK);
    ASSERT_EQ(events->GetPosition(&at), S_OK);
    EXPECT_EQ(at, positions[k]);
    ASSERT_EQ(events->Find(1, positions[k], 0, 0x7FFFFFFF), S_OK);
    ASSERT_EQ(events->GetPosition(&at), S_OK);
    EXPECT_EQ(at, positions[k]);

    // A clone continues from the same place, independently.
    IEnumEventEx* copy = nullptr;
    ASSERT_EQ(events->Clone(&copy), S_OK);
    ULONG count = 0;
    LONG next = 0;
    ASSERT_EQ(copy->Next(size, -1, buffer.data(), &count, &next), S_OK);
    ASSERT_EQ(count, 1u);
    EXPECT_EQ(next, positions[k + 1]);
    ASSERT_EQ(events->GetPosition(&at), S_OK);
    EXPECT_EQ(at, positions[k]);
    copy->Release();

    vx::hf::RateRatio ratio;
    ASSERT_EQ(events->GetTimeBase(&ratio), S_OK);
    EXPECT_EQ(ratio.numerator, 1);
    EXPECT_EQ(ratio.denominator, 360);
    EXPECT_EQ(events->GetTimeBase(nullptr), E_POINTER);
    events->Release();
}

namespace {

// A recording of six records whose events the beat-mark walk reads: 20 events in each record
// (positions 0, 10, ... 190, each a 16-byte record with its position first), record 3 refusing.
class WalkedHost final : public IAnalysisHost {
public:
    class Events final : public SimpleUnknownImp1<IEnumEventEx, 1> {
    public:
        Events(int32_t start, int32_t end)
            : mNext(start)
            , mEnd(end)
        {
        }
        HRESULT Next(ULONG bytes, LONG endOffset, void* buffer, ULONG* count, LONG* next) override
        {
            *count = 0;
            auto* out = static_cast<int32_t*>(buffer);
            for (; mNext < 200 && mNext < std::min<LONG>(mEnd, endOffset) && (*count + 1) * 16 <= bytes; mNext += 1) {
                if (mNext % 10)
                    continue;
                out[4 * *count] = mNext;
                ++*count;
            }
            *next = mNext;
            return S_OK;
        }
        HRESULT Find(LONG, LONG, LONG, LONG) override { return E_NOTIMPL; }
        HRESULT GetPosition(LONG* p) override { return *p = mNext, S_OK; }
        HRESULT Reserved6(LONG*) override { return E_NOTIMPL; }
        HRESULT Clone(IEnumEventEx**) override { return E_NOTIMPL; }
        HRESULT GetRecordSize(ULONG* size) override { return *size = 16, S_OK; }
        HRESULT GetEventType(DWORD* type) override { return *type = 0, S_OK; }
        HRESULT Reserved10(LONG*) override { return E_NOTIMPL; }
        HRESULT GetTimeBase(vx::hf::RateRatio*) override { return E_NOTIMPL; }

    private:
        int32_t mNext, mEnd;
    };

    int32_t RecordCount() override { return 6; }
    bool GetRecordInfo(int32_t, RecordInfo&) override { return false; }
    IEnumEventEx* OpenEvents(const ChannelRef& channel, int32_t record, int32_t start, int32_t end) override
    {
        opened.push_back({ record, start, end });
        kinds.push_back(channel.mKind);
        return record == 3 ? nullptr : new Events(start, end);
    }
    int32_t SampledRecord() override { return -1; }

    std::vector<std::array<int32_t, 3>> opened;
    std::vector<uint32_t> kinds;
};

} // namespace

TEST(BeatMarkWalk, WalksEachRecordOfTheStretchFromItsStartToItsEnd)
{
    constexpr int32_t kOpen = 0x7FFFFFFF;
    struct Case {
        const char* name;
        Position start, end;
        std::vector<std::array<int32_t, 3>> opened;
        std::size_t events; // handed to the handler
    };
    const Case cases[] = {
        // Record 2 from its start offset, record 3 whole (refused, skipped), record 4 up to the end.
        { "records 2 to 4", { 100, 2 }, { 50, 4 }, { { 2, 100, kOpen }, { 3, 0, kOpen }, { 4, 0, 50 } }, 10 + 5 },
        { "within one record", { 35, 1 }, { 75, 1 }, { { 1, 35, 75 } }, 4 },
        { "start after end", { 0, 4 }, { 0, 2 }, {}, 0 },
        // An end that names the last record, or lies past it, walks no further than the last one.
        { "open end", { 0, 4 }, { kOpen, kLastRecord }, { { 4, 0, kOpen }, { 5, 0, kOpen } }, 40 },
        // An unfilled selection: no walk up to record 0x7FFFFFFF.
        { "unset end", { 0, 0 }, kUnsetPosition, {}, 0 },
        { "unset start", kUnsetPosition, { 0, 5 }, {}, 0 },
    };
    for (const Case& c : cases) {
        WalkedHost host;
        std::vector<std::pair<int32_t, int32_t>> seen;
        ForEachEventInRange(&host, { 7, 0xC0000000u }, c.start, c.end, [&](int32_t record, const void* event) {
            int32_t position = 0;
            std::memcpy(&position, event, sizeof position);
            seen.emplace_back(record, position);
        });
        EXPECT_EQ(host.opened, c.opened) << c.name;
        EXPECT_EQ(seen.size(), c.events) << c.name;
        EXPECT_TRUE(std::is_sorted(seen.begin(), seen.end())) << c.name;
    }
    // An event channel (kind word ending in 4) is asked for as such.
    WalkedHost host;
    ForEachEventInRange(&host, { 7, 0x40000004u }, { 0, 0 }, { 10, 0 }, [](int32_t, const void*) {});
    EXPECT_EQ(host.kinds, (std::vector<uint32_t> { 0x80000004u }));
}

TEST_F(DocumentTest, BeatMarkCommandsEditTheBeatsOfTheSelection)
{
    HostAndDocument hd(Mitdb100(30));
    UserEventData& marks = *hd.doc->GetData().GetUserEvents();
    const auto enabled = [&](DWORD n) {
        Enabler e;
        hd.doc->OnCommandEnable(Document::CommandId(n), &e);
        return e.enabled;
    };
    // Without an analysis nothing is enabled.
    hd.host.hasSelection = true;
    hd.host.selectionStart = { 3600, 0 };
    hd.host.selectionEnd = { 7200, 0 };
    EXPECT_EQ(enabled(kCmdRemoveMarker), 0);
    hd.host.hasSelection = false;
    hd.Command(kCmdAnalyse);
    // The beats of the fiducial channel, from 10 s to 20 s and in all.
    const auto count = [&](int32_t from, int32_t to) {
        std::size_t n = 0;
        ForEachEventInRange(hd.host.AnalysisHost(), hd.doc->Detector().GetFiducialChannel(), { from, 0 }, { to, 0 },
            [&](int32_t, const void*) { ++n; });
        return n;
    };
    const std::size_t beats = count(0, 0x7FFFFFFF);
    ASSERT_GT(beats, 30u);

    // No selection: both edits are disabled and do nothing when run.
    hd.TakeUpdates();
    EXPECT_EQ(enabled(kCmdAddMarker), 0);
    EXPECT_EQ(enabled(kCmdRemoveMarker), 0);
    hd.Command(kCmdAddMarker);
    hd.Command(kCmdRemoveMarker);
    EXPECT_TRUE(hd.TakeUpdates().empty());
    WORD empty = 0;
    marks.IsEmpty(&empty);
    EXPECT_TRUE(empty);

    // A stretch of 10 s to 20 s: its beats are removed, and only those.
    hd.host.hasSelection = true;
    hd.host.selectionStart = { 3600, 0 };
    hd.host.selectionEnd = { 7200, 0 };
    EXPECT_EQ(enabled(kCmdRemoveMarker), 0xFFFF);
    EXPECT_EQ(enabled(kCmdAddMarker), 0) << "a stretch is no place for one beat";
    const std::size_t inStretch = count(3600, 7200);
    ASSERT_GT(inStretch, 5u);
    hd.doc->GetData().mDirty = 0;
    hd.Command(kCmdRemoveMarker);
    EXPECT_EQ(hd.TakeUpdates(), (std::vector<std::pair<DWORD, DWORD>> { Changing(6), Changed(6) }));
    EXPECT_EQ(marks.Set(1).size(), inStretch);
    EXPECT_TRUE(marks.Set(0).empty());
    for (const Position& p : marks.Set(1))
        EXPECT_TRUE(p.mRecord == 0 && p.mOffset >= 3600 && p.mOffset <= 7200) << p.mOffset;
    EXPECT_EQ(count(0, 0x7FFFFFFF), beats - inStretch);
    EXPECT_EQ(count(3600, 7200), 0u);
    EXPECT_NE(hd.doc->GetData().mDirty, 0);
    EXPECT_EQ(hd.host.stored.count(1), 1u) << "the corrections go to the host's store";

    // A cursor on a removed beat brings it back: it moves from the removed to the added set.
    const Position back = *marks.Set(1).begin();
    hd.host.selectionStart = back;
    hd.host.selectionEnd = back;
    hd.host.selectionIsPoint = true;
    EXPECT_EQ(enabled(kCmdAddMarker), 0xFFFF);
    hd.Command(kCmdAddMarker);
    EXPECT_EQ(hd.TakeUpdates(), (std::vector<std::pair<DWORD, DWORD>> { Changing(6), Changed(6) }));
    EXPECT_EQ(marks.Set(1).count(back), 0u);
    EXPECT_EQ(marks.Set(0).count(back), 1u);
    EXPECT_EQ(count(0, 0x7FFFFFFF), beats - inStretch + 1);

    // A one-sample stretch is a place for one beat too; a busy host edits nothing.
    hd.host.selectionIsPoint = false;
    hd.host.selectionEnd = { back.mOffset + 1, back.mRecord };
    EXPECT_EQ(enabled(kCmdAddMarker), 0xFFFF);
    hd.host.busy = true;
    EXPECT_EQ(enabled(kCmdAddMarker), 0);
    hd.Command(kCmdAddMarker);
    hd.Command(kCmdRemoveMarker);
    EXPECT_TRUE(hd.TakeUpdates().empty());
}

TEST_F(DocumentTest, AllBeatsNormalWidensTheBoxAndMarksTheSettingsForSaving)
{
    HostAndDocument hd(Mitdb100(30));
    const auto enabled = [&] {
        Enabler e;
        hd.doc->OnCommandEnable(Document::CommandId(kCmdAllBeatsNormal), &e);
        return e.enabled;
    };
    hd.Command(kCmdAnalyse);
    AnalysisEngine& engine = hd.doc->Engine();
    engine.mMinComplexity = std::numeric_limits<double>::quiet_NaN();
    EXPECT_EQ(enabled(), 0);
    hd.TakeUpdates();
    EXPECT_FALSE(hd.doc->AllBeatsNormal());
    EXPECT_TRUE(hd.TakeUpdates().empty());

    engine.mMinRR = 0.5;
    engine.mMaxRR = 1.0;
    engine.mMinComplexity = 0.02;
    engine.mMaxComplexity = 2.0;
    EXPECT_EQ(enabled(), 0xFFFF);
    hd.doc->GetSettings().mDirty = false;
    hd.Command(kCmdAllBeatsNormal);
    const Settings& s = hd.doc->GetSettings();
    EXPECT_DOUBLE_EQ(s.mRRMin, 0.45);
    EXPECT_DOUBLE_EQ(s.mRRMax, 1.05);
    EXPECT_DOUBLE_EQ(s.mComplexityMin, 0.0); // 0.02 - 0.1, not below 0
    EXPECT_DOUBLE_EQ(s.mComplexityMax, 2.1);
    EXPECT_TRUE(s.mDirty);
    EXPECT_EQ(hd.TakeUpdates(), (std::vector<std::pair<DWORD, DWORD>> { Changing(4), Changed(4) }));
}

TEST_F(DocumentTest, ViewCommandsAskTheHostToOpenTheirView)
{
    HostAndDocument hd(Mitdb100(10));
    std::vector<DWORD> opened;
    hd.host.options.openView = [&](DWORD classId) {
        opened.push_back(classId);
        return S_OK;
    };
    const DWORD w = DWORD(HostTypeIndex(GUID_HRVViewClass)) << 16;
    ASSERT_NE(w, 0u);
    // Command -> view class: classifier 5, report 0, tachogram 1, RR histogram 3, delta-RR 4,
    // Poincaré 6, spectrum 2.
    for (DWORD n : { 2, 3, 5, 6, 7, 8, 9 })
        EXPECT_EQ(hd.Command(n), S_OK);
    EXPECT_EQ(opened, (std::vector<DWORD> { w | 5, w | 0, w | 1, w | 3, w | 4, w | 6, w | 2 }));
    // The plots submenu's items run the same commands.
    opened.clear();
    hd.doc->PlotsPopupChosen(kCmdPoincare, 0);
    EXPECT_EQ(opened, (std::vector<DWORD> { w | 6 }));
}

TEST_F(DocumentTest, GuideLinesReachTheHostAsPackedRecords)
{
    HostAndDocument hd(Mitdb100(10));
    Settings& s = hd.doc->GetSettings();
    s.mRRMin = 0.8;
    s.mRRMax = 1.2;
    hd.doc->RefreshChannelCalcGuides(3, { 0, true });
    std::vector<std::string> sent;
    for (const auto& line : hd.recorded.log)
        if (line.rfind("hostmessage ", 0) == 0)
            sent.push_back(line.substr(12));
    EXPECT_EQ(sent,
        (std::vector<std::string> {
            "800C0086 00000001", "800C0086 00000001", "800C0084 00000001", "800C0084 00000001", "800C0085 00000001" }));
    const vx::host::ChannelGuides& g = hd.host.guides.at(3);
    EXPECT_EQ(g.lines[0].value, 1.2);
    EXPECT_EQ(g.lines[1].value, 0.8);
    EXPECT_EQ(g.lines[0].label, L"s");
    EXPECT_EQ(g.lines[0].secondLabel, L"");
    EXPECT_TRUE(g.lines[0].shown && g.lines[1].shown);
    EXPECT_EQ(g.lines[0].colour, 0x898989u);
    EXPECT_TRUE(g.band);
    EXPECT_EQ(g.bandColour, 0xC2C2FEu);

    // The rate parameter with RRMin 0 takes 0.01 s: 6000 BPM.
    s.mRRMin = 0.0;
    hd.doc->RefreshChannelCalcGuides(4, { 2, true });
    EXPECT_DOUBLE_EQ(hd.host.guides.at(4).lines[1].value, 6000.0);
    EXPECT_DOUBLE_EQ(hd.host.guides.at(4).lines[0].value, 50.0);
    EXPECT_EQ(hd.host.guides.at(4).lines[0].label, L"BPM");

    // Clearing hides both lines and the band, and sends no values.
    hd.recorded.log.clear();
    hd.doc->RefreshChannelCalcGuides(3, { 0, false });
    sent.clear();
    for (const auto& line : hd.recorded.log)
        if (line.rfind("hostmessage ", 0) == 0)
            sent.push_back(line.substr(12, 8));
    EXPECT_EQ(sent, (std::vector<std::string> { "800C0084", "800C0084", "800C0085" }));
    EXPECT_FALSE(
        hd.host.guides.at(3).lines[0].shown || hd.host.guides.at(3).lines[1].shown || hd.host.guides.at(3).band);
    // A measure without guide lines (the change of the beat period) clears them too.
    hd.recorded.log.clear();
    hd.doc->RefreshChannelCalcGuides(4, { 1, true });
    EXPECT_FALSE(hd.host.guides.at(4).band);
}

TEST_F(DocumentTest, AfterTheHostLoadsItTheDocumentAttachesTheStageChannelsItKept)
{
    HostAndDocument hd(Mitdb100(10));
    // A fresh document: no stage channels yet, nothing to attach.
    EXPECT_EQ(hd.doc->OnOpened(), S_OK);
    EXPECT_TRUE(hd.host.keptChannels.empty());

    // Channels the host kept (an analysed recording): the fiducial channel is marked as the
    // extension's, under its group name; a legacy stream also tells the host id 26.
    hd.Command(kCmdAnalyse);
    hd.doc->GetSettings().mLoadedVersion = 103;
    EXPECT_EQ(hd.doc->OnOpened(), S_OK);
    ASSERT_EQ(hd.host.keptChannels.count(L"HRV_vFID"), 1u);
    EXPECT_EQ(hd.host.keptChannels.at(L"HRV_vFID"), (std::pair<WORD, std::wstring>(0xFFFF, L"HRV")));
    EXPECT_EQ(hd.host.keptChannels.size(), 1u);
    char legacy[32];
    std::snprintf(legacy, sizeof legacy, "legacy %08X", unsigned(Document::CommandId(26)));
    EXPECT_NE(std::find(hd.recorded.log.begin(), hd.recorded.log.end(), legacy), hd.recorded.log.end());
}

TEST_F(DocumentTest, AClickShowsTheCommentOfTheFirstEventAtOrAfterIt)
{
    // The beat event-draw class registered with the host, as the extension registers it: the
    // comment takes its colour and text from it through the host's object factory.
    ASSERT_EQ(ObjectFactoryAccessor::Get()->RegisterClassObject(CreateFiducialEventDrawClass()), S_OK);
    HostAndDocument hd(Mitdb100(30));
    hd.Command(kCmdAnalyse);
    // The first beat at or after 10 s, read from the fiducial channel.
    int32_t firstBeat = -1, lastBeat = -1;
    FiducialEvent first {};
    ForEachEventInRange(hd.host.AnalysisHost(), hd.doc->Detector().GetFiducialChannel(), { 3600, 0 }, { 0x7FFFFFFF, 0 },
        [&](int32_t, const void* event) {
            int32_t p = 0;
            std::memcpy(&p, event, sizeof p);
            if (firstBeat < 0) {
                firstBeat = p;
                std::memcpy(&first, event, sizeof first);
            }
            lastBeat = p;
        });
    ASSERT_GE(firstBeat, 3600);

    hd.doc->ShowBeatComment({ 3600, 0 });
    ASSERT_EQ(hd.host.shownComments.size(), 1u);
    const vx::host::ShownComment& shown = hd.host.shownComments[0];
    EXPECT_EQ(shown.position, (int64_t(firstBeat) << 32) | 0);
    EXPECT_EQ(shown.value, 0xE0000000u);
    // Its kind is the beat enumerator's event type; its text and colour those of that beat.
    EXPECT_EQ(shown.kind, (TypeIdClass<&GUID_HRVEnumObj, 1>::Id()));
    EXPECT_EQ(shown.text, BeatHintText(first));
    EXPECT_EQ(shown.text.rfind(L"HRV Beat " + std::to_wstring(first.mBeatNumber) + L": RR = ", 0), 0u) << shown.text;
    EXPECT_EQ(shown.fill, BeatMarkColour(first));
    EXPECT_NE(shown.fill, 0xFFFFFFu) << "a beat's mark is never left white";

    // A host comment on the source channel at the click comes first.
    hd.host.comments.push_back({ 0, 0, 3600, L"electrode moved" });
    hd.doc->ShowBeatComment({ 3600, 0 });
    ASSERT_EQ(hd.host.shownComments.size(), 2u);
    EXPECT_EQ(hd.host.shownComments[1].text, L"electrode moved");
    EXPECT_EQ(hd.host.shownComments[1].position, (int64_t(3600) << 32) | 0);

    // After the last event nothing is shown; nor while the beat markers are hidden.
    hd.doc->ShowBeatComment({ lastBeat + 1, 0 });
    EXPECT_EQ(hd.host.shownComments.size(), 2u);
    hd.doc->GetSettings().mShowEventMarkers = false;
    hd.doc->ShowBeatComment({ 3600, 0 });
    EXPECT_EQ(hd.host.shownComments.size(), 2u);
}

TEST_F(DocumentTest, AFullAnalysisRunsUnderTheWaitCursorAndGivesTheCursorBack)
{
    HostAndDocument hd(Mitdb100(10));
    vx::ui::SetCursor(vx::ui::IDC_CROSS);
    hd.Command(kCmdAnalyse);
    ASSERT_GT(hd.doc->Engine().mRR.size(), 0u);
    EXPECT_EQ(vx::ui::SetCursor(vx::ui::IDC_ARROW), vx::ui::IDC_CROSS);
}

// ---- The dialogs, run through the settings command and driven as a user would ----------------------

namespace {

namespace Item = HRV::ControlId;

// Types a text into an edit as a user would: the old text selected away, then key by key.
void Type(HWND dialog, int id, const std::wstring& text)
{
    HWND edit = vx::ui::GetDlgItem(dialog, id);
    vx::ui::SetWindowText(edit, L"");
    for (wchar_t c : text)
        vx::ui::SendMessage(edit, vx::ui::WM_CHAR, static_cast<vx::ui::WPARAM>(c), 0);
}

std::wstring TextOf(HWND dialog, int id)
{
    return vx::ui::GetWindowText(vx::ui::GetDlgItem(dialog, id));
}

void Click(HWND dialog, int id)
{
    vx::ui::SendMessage(dialog, vx::ui::WM_COMMAND, vx::ui::MAKEWPARAM(static_cast<unsigned>(id), vx::ui::BN_CLICKED),
        reinterpret_cast<vx::ui::LPARAM>(vx::ui::GetDlgItem(dialog, id)));
}

bool Shown(HWND dialog, int id)
{
    return vx::ui::IsWindowVisible(vx::ui::GetDlgItem(dialog, id));
}

constexpr int kMarkers[] = { Item::kBinWidthMarker, Item::kPRRThresholdMarker, Item::kSDARRAveragingMarker,
    Item::kMaxFrequencyMarker, Item::kNumFrequenciesMarker, Item::kVLFLowMarker, Item::kVLFHighMarker,
    Item::kLFLowMarker, Item::kLFHighMarker, Item::kHFLowMarker, Item::kHFHighMarker, Item::kRRMinMarker,
    Item::kRRMaxMarker, Item::kComplexityMinMarker, Item::kComplexityMaxMarker };

// Calls `run` for every modal dialog that comes up (with its caption) while it lives.
struct DialogWatch {
    explicit DialogWatch(std::function<void(HWND, const std::wstring&)> run)
    {
        previous = vx::ui::SetDialogScript([run](HWND dialog) { run(dialog, vx::ui::GetWindowText(dialog)); });
    }
    ~DialogWatch() { vx::ui::SetDialogScript(previous); }
    vx::ui::DialogScript previous;
};

// Every settings field as text, but the analysed range (which the document sets itself).
std::map<std::wstring, std::wstring> FieldsOf(const Settings& s)
{
    std::map<std::wstring, std::wstring> out;
    for (const SettingsField& f : SettingsFields())
        if (f.kind != SettingsField::Kind::Position)
            out[f.name] = s.FieldText(f.name);
    return out;
}

} // namespace

TEST_F(DocumentTest, SettingsDialogOkHandsBackExactlyTheEditedSettingsAndCancelNothing)
{
    const std::vector<std::pair<const wchar_t*, const wchar_t*>> edits = {
        { L"RRMin", L"1.2" },
        { L"RRMax", L"0.3" }, // swapped: stored in order
        { L"SDARRAveraging", L"60" },
        { L"NumFrequencies", L"256" },
        { L"HFHigh", L"0.42" },
        { L"HistogramBinWidth", L"0.012" },
        { L"PRRThreshold", L"0.03" },
        { L"ComplexityMax", L"4" },
        { L"SourceChannel", L"1" },
        { L"AutoBinWidth", L"1" },
        { L"ExcludeEctopics", L"0" },
        { L"UseSelection", L"1" },
    };
    for (const int answer : { 1, 2 }) {
        SCOPED_TRACE(answer);
        vx::host::HrvHostOptions options;
        options.settingsDialog = [&](ISettingsEditor& editor) {
            for (const auto& [name, value] : edits)
                EXPECT_EQ(editor.SetValue(name, value, nullptr), S_OK) << name;
            return answer;
        };
        HostAndDocument hd(Mitdb100(30), options);
        Settings expected;
        expected.CopyFields(hd.doc->GetSettings());
        ASSERT_FALSE(expected.mAutoBinWidth);
        ASSERT_TRUE(expected.mExcludeEctopics);
        if (answer == 1) {
            for (const auto& [name, value] : edits)
                ASSERT_TRUE(expected.SetField(name, value, nullptr));
            expected.OrderPairs();
        }
        EXPECT_EQ(hd.Command(kCmdSettings), S_OK);
        EXPECT_EQ(FieldsOf(hd.doc->GetSettings()), FieldsOf(expected));
    }
}

TEST_F(DocumentTest, SettingsDialogPresetsRewriteTheFieldsAndOnlyCustomOpensAdvanced)
{
    HWND settings = nullptr;
    DialogWatch watch([&](HWND dialog, const std::wstring& caption) {
        if (caption == L"HRV Settings")
            settings = dialog;
    });
    vx::host::HrvHostOptions options;
    options.settingsDialog = [&](ISettingsEditor& editor) {
        const auto shownValue = [&](int id) { return std::wcstod(TextOf(settings, id).c_str(), nullptr); };
        for (LONG preset = 0; preset < 8; ++preset) {
            SCOPED_TRACE(preset);
            EXPECT_EQ(editor.SelectSpecies(preset), S_OK);
            Settings expected;
            EXPECT_TRUE(expected.ApplySpeciesPreset(preset));
            EXPECT_NEAR(shownValue(Item::kRRMin), expected.mRRMin * 1000, 1e-6);
            EXPECT_NEAR(shownValue(Item::kRRMax), expected.mRRMax * 1000, 1e-6);
            EXPECT_NEAR(shownValue(Item::kMaxFrequency), expected.mMaxFrequency, 1e-9);
            EXPECT_NEAR(shownValue(Item::kVLFLow), expected.mVLFLow, 1e-9);
            EXPECT_NEAR(shownValue(Item::kHFHigh), expected.mHFHigh, 1e-9);
            // Every preset's values lie within the fields' bounds, the bands' too.
            for (int marker : kMarkers)
                EXPECT_FALSE(Shown(settings, marker)) << marker;
            EXPECT_FALSE(vx::ui::IsWindowEnabled(vx::ui::GetDlgItem(settings, Item::kAdvanced)));
        }
        const std::wstring rr = TextOf(settings, Item::kRRMin);
        EXPECT_EQ(editor.SelectSpecies(8), S_OK); // "Custom" keeps the values
        EXPECT_TRUE(vx::ui::IsWindowEnabled(vx::ui::GetDlgItem(settings, Item::kAdvanced)));
        EXPECT_EQ(TextOf(settings, Item::kRRMin), rr);
        EXPECT_EQ(editor.SelectSpecies(9), E_INVALIDARG);
        return 2;
    };
    HostAndDocument hd(Mitdb100(30), options);
    EXPECT_EQ(hd.Command(kCmdSettings), S_OK);
    ASSERT_NE(settings, nullptr);
    EXPECT_EQ(hd.doc->GetSettings().mSpecies, 0u);
}

TEST_F(DocumentTest, SettingsDialogKeepsInvalidFieldsOpenWithMarkersAndTheWarning)
{
    struct Case {
        const char* what;
        int field;
        const wchar_t* text;
        int marker;
        bool keepsOpen;
    };
    const Case cases[] = {
        // The averaging period alone does not hold the dialog: it is left as it was, the rest is taken.
        { "averaging period below 1 s", Item::kSDARRAveraging, L"0", Item::kSDARRAveragingMarker, false },
        { "too few frequencies", Item::kNumFrequencies, L"5", Item::kNumFrequenciesMarker, true },
        { "RR interval above a minute", Item::kRRMin, L"70000", Item::kRRMinMarker, true },
        { "HF band beyond the maximum frequency", Item::kMaxFrequency, L"0.3", Item::kHFHighMarker, true },
        { "empty pRR threshold", Item::kPRRThreshold, L"", Item::kPRRThresholdMarker, true },
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        HWND settings = nullptr;
        bool warned = false, markedWhenWarned = false;
        DialogWatch watch([&](HWND dialog, const std::wstring& caption) {
            if (caption == L"HRV Settings")
                settings = dialog;
            else if (caption == L"Varnex") { // the invalid-settings warning
                warned = true;
                markedWhenWarned = Shown(settings, c.marker);
            }
        });
        vx::host::HrvHostOptions options;
        options.settingsDialog = [&](ISettingsEditor& editor) {
            EXPECT_EQ(editor.SetValue(L"RRMax", L"1.4", nullptr), S_OK); // a valid edit beside it
            Type(settings, c.field, c.text);
            return 1;
        };
        HostAndDocument hd(Mitdb100(30), options);
        Settings before;
        before.CopyFields(hd.doc->GetSettings());
        vx::log::Capture capture;
        EXPECT_EQ(hd.Command(kCmdSettings), S_OK);
        const std::vector<std::string> lines = capture.Lines();
        const bool refused = std::find_if(lines.begin(), lines.end(), [](const std::string& l) {
            return l.rfind("HRV Settings: OK refused: ", 0) == 0;
        }) != lines.end();
        EXPECT_EQ(refused, c.keepsOpen);
        EXPECT_EQ(warned, c.keepsOpen);
        if (c.keepsOpen) {
            EXPECT_TRUE(markedWhenWarned);
            // The dialog stayed open until it was closed without OK: nothing was taken.
            EXPECT_EQ(FieldsOf(hd.doc->GetSettings()), FieldsOf(before));
            continue;
        }
        Settings expected;
        expected.CopyFields(before);
        expected.mRRMax = 1.4;
        EXPECT_EQ(FieldsOf(hd.doc->GetSettings()), FieldsOf(expected));
    }
}

TEST_F(DocumentTest, DetectorSettingsCoupleFieldsAndSlidersInWholeSteps)
{
    HWND settings = nullptr;
    int runs = 0;
    bool warned = false;
    DialogWatch watch([&](HWND dialog, const std::wstring& caption) {
        using namespace vx::ui;
        if (caption == L"HRV Settings") {
            settings = dialog;
            return;
        }
        if (caption == L"Varnex") {
            warned = true;
            return;
        }
        if (caption != L"HRV Detector Settings")
            return;
        ++runs;
        const auto slider = [&](int id) { return SendMessage(GetDlgItem(dialog, id), TBM_GETPOS, 0, 0); };
        if (runs == 1) {
            EXPECT_EQ(TextOf(dialog, Item::kNoiseUnit), L"mV"); // the noise level is in the source channel's unit
            // Fields move their sliders by whole steps (0.1 s and 0.05 S.D.), never one short.
            const std::tuple<int, const wchar_t*, int, LRESULT> typed[] = {
                { Item::kWindow, L"2.35", Item::kWindowSlider, 23 },
                { Item::kWindow, L"0.3", Item::kWindowSlider, 3 },
                { Item::kWindow, L"20", Item::kWindowSlider, 200 },
                { Item::kPeakHeight, L"0.15", Item::kPeakSlider, 3 },
                { Item::kPeakHeight, L"2.35", Item::kPeakSlider, 47 },
            };
            for (const auto& [field, text, id, position] : typed) {
                Type(dialog, field, text);
                EXPECT_EQ(slider(id), position) << text;
            }
            // Sliders write their fields.
            SendMessage(GetDlgItem(dialog, Item::kWindowSlider), WM_KEYDOWN, VK_HOME, 0);
            EXPECT_EQ(TextOf(dialog, Item::kWindow), L"0.1");
            SendMessage(GetDlgItem(dialog, Item::kWindowSlider), WM_KEYDOWN, VK_END, 0);
            EXPECT_EQ(TextOf(dialog, Item::kWindow), L"20");
            SendMessage(GetDlgItem(dialog, Item::kPeakSlider), WM_KEYDOWN, VK_RIGHT, 0);
            EXPECT_EQ(TextOf(dialog, Item::kPeakHeight), L"2.4");
            // Dragging the thumb writes the field as it goes: position 150 is 15 s.
            HWND window = GetDlgItem(dialog, Item::kWindowSlider);
            Rect track;
            GetClientRect(window, &track);
            SendMessage(window, WM_LBUTTONDOWN, 0, MAKELPARAM(6, 4));
            EXPECT_EQ(TextOf(dialog, Item::kWindow), L"0.1");
            for (int x = 6; x < track.right && slider(Item::kWindowSlider) != 150; ++x)
                SendMessage(window, WM_MOUSEMOVE, 0, MAKELPARAM(static_cast<unsigned>(x), 4));
            EXPECT_EQ(slider(Item::kWindowSlider), 150);
            EXPECT_EQ(TextOf(dialog, Item::kWindow), L"15");
            SendMessage(window, WM_LBUTTONUP, 0, 0);
            EXPECT_EQ(TextOf(dialog, Item::kWindow), L"15");
            SendMessage(window, WM_KEYDOWN, VK_END, 0);
            // The arrows step the peak height by 0.05 and stop at 0.05 and 9.
            HWND spin = GetDlgItem(dialog, Item::kPeakSpin);
            const LRESULT rest = SendMessage(spin, UDM_GETPOS32, 0, 0);
            const LPARAM up = MAKELPARAM(2, 1), down = MAKELPARAM(2, 100);
            Type(dialog, Item::kPeakHeight, L"8.98");
            SendMessage(spin, WM_LBUTTONDOWN, 0, up);
            SendMessage(spin, WM_LBUTTONDOWN, 0, up);
            EXPECT_EQ(TextOf(dialog, Item::kPeakHeight), L"9");
            Type(dialog, Item::kPeakHeight, L"0.07");
            SendMessage(spin, WM_LBUTTONDOWN, 0, down);
            EXPECT_EQ(TextOf(dialog, Item::kPeakHeight), L"0.05");
            // The dialog takes each step over: the up-down itself stays where it was.
            EXPECT_EQ(SendMessage(spin, UDM_GETPOS32, 0, 0), rest);
            Type(dialog, Item::kQRSWidth, L"120");
            Click(dialog, IDOK);
        } else if (runs == 2) {
            // An invalid window keeps the dialog open with the warning; Cancel then takes nothing.
            EXPECT_EQ(TextOf(dialog, Item::kQRSWidth), L"120");
            Type(dialog, Item::kQRSWidth, L"300");
            Type(dialog, Item::kWindow, L"50");
            Click(dialog, IDOK);
            EXPECT_TRUE(warned);
            EXPECT_TRUE(Shown(dialog, Item::kWindowMarker));
            EXPECT_TRUE(IsWindowVisible(dialog));
            Click(dialog, IDCANCEL);
        }
    });
    vx::host::HrvHostOptions options;
    options.settingsDialog = [&](ISettingsEditor& editor) {
        EXPECT_EQ(editor.SelectSpecies(8), S_OK);
        Click(settings, Item::kAdvanced);
        Click(settings, Item::kAdvanced);
        return 1;
    };
    HostAndDocument hd(Mitdb100(30), options);
    EXPECT_EQ(hd.Command(kCmdSettings), S_OK);
    EXPECT_EQ(runs, 2);
    const Settings& s = hd.doc->GetSettings();
    EXPECT_EQ(s.mSpecies, 8u);
    EXPECT_DOUBLE_EQ(s.mLevellingWindow, 20);
    EXPECT_DOUBLE_EQ(s.mMinPeakHeight, 0.05);
    EXPECT_DOUBLE_EQ(s.mQRSWidth, 0.12);
}
