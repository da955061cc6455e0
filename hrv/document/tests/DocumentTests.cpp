// The HRV document on the stand-in host: commands, named messages and notifications through the
// document's table, the analysis-changing/changed sequences, what each settings change rebuilds
// (detector stages, beat marks, engine work) on the real detector chain and engine, and an online
// run of a recording against the offline analysis of the same range.
#include <gtest/gtest.h>

#include <cmath>
#include <cstdlib>
#include <filesystem>

#include "caf/CafHost.h"
#include "com/ClassObjects.h"
#include "host/hrvdoc/HrvHostDocument.h"
#include "host/recording/Import.h"
#include "hostframework/services/CafFrameWork.h"
#include "hrv/core/EventIdCache.h"
#include "hrv/core/UserEventData.h"
#include "hrv/document/Document.h"
#include "integration/ExtensionChain.h"

using namespace HRV;
using vx::host::HrvHostDocument;
using vx::host::Recording;

namespace {

std::filesystem::path TestData()
{
    const char* dir = std::getenv("VX_TEST_DATA");
    return dir ? dir : "testdata";
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
    std::wstring text;
    int enabled = -1;
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
        EXPECT_EQ(vx::integration::InstallExtensionEnumerators(host.Engine()), 2);
        doc = new Document(&host);
        doc->AddRef();
        host.Attach(static_cast<ICAFCommandHandler*>(doc));
    }
    ~HostAndDocument()
    {
        doc->Close();
        host.Detach();
        doc->Release();
    }
    // Runs a command as the host's menu does.
    HRESULT Command(DWORD n) { return doc->OnCommand(Document::CommandId(n)); }
    std::vector<std::pair<DWORD, DWORD>> TakeUpdates()
    {
        auto u = std::move(host.updates);
        host.updates.clear();
        return u;
    }
    HrvHostDocument host;
    Document* doc;
};

std::pair<DWORD, DWORD> Changing(DWORD code) { return { Document::MsgIdAnalysisChanging(), code }; }
std::pair<DWORD, DWORD> Changed(DWORD code) { return { Document::MsgIdAnalysisChanged(), code }; }

class DocumentTest : public ::testing::Test {
protected:
    static void SetUpTestSuite()
    {
        void* framework = nullptr;
        ASSERT_EQ(DllGetClassObject(CLSID_CAFFrameWork, IUnknown::kIid, &framework), S_OK);
        CoRegisterClassObject(CLSID_CAFFrameWork, static_cast<IUnknown*>(framework), CLSCTX_INPROC_SERVER,
            REGCLS_MULTIPLEUSE, &sCookie);
        static_cast<IUnknown*>(framework)->Release();
    }
    static void TearDownTestSuite()
    {
        caf::ReleaseRegistrations();
        CoRevokeClassObject(sCookie);
    }
    static inline DWORD sCookie = 0;
};

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
    const auto stores = std::count(hd.host.log.begin(), hd.host.log.end(), "persist.store 0");
    EXPECT_EQ(hd.Command(kCmdAnalyse), S_OK);
    EXPECT_EQ(std::count(hd.host.log.begin(), hd.host.log.end(), "persist.store 0"), stores);
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
    EXPECT_TRUE(hd.host.updates.empty());
    EXPECT_FALSE(hd.doc->GetSettings().HasValidRange());
    EXPECT_FALSE(hd.doc->GetSettings().mDirty);
    Enabler e;
    hd.doc->OnCommandEnable(Document::CommandId(kCmdAnalyse), &e);
    EXPECT_EQ(e.enabled, 0);
}

TEST_F(DocumentTest, EveryCommandAndMessageDispatches)
{
    HostAndDocument hd(Mitdb100(30));
    // Commands of the later views and beat-mark editing answer S_FALSE; every other command of
    // the table runs (S_OK); outside the table S_FALSE.
    for (DWORD n = 1; n <= 18; ++n) {
        if (n == kCmdAnalysisPlots)
            continue; // a popup, reached through its notifications
        const bool later = (n >= 2 && n <= 9) || n == 10 || n == 11 || n == 13;
        EXPECT_EQ(hd.Command(n), later ? S_FALSE : S_OK) << n;
    }
    EXPECT_EQ(hd.doc->OnCommand(Document::CommandId(19)), S_FALSE);

    // The five named messages: the routed message ids, in the order the commands sent them.
    std::vector<std::string> messages;
    for (const auto& line : hd.host.log)
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
    for (Case c : std::vector<Case> { { 1, 0xFFFF }, { 2, 0xFFFF }, { 5, 0xFFFF }, { 10, 0 }, { 12, 0xFFFF },
             { 14, 0 }, { 15, 0xFFFF }, { 16, 0xFFFF }, { 17, 0xFFFF }, { 18, 0xFFFF } }) {
        Enabler e;
        EXPECT_EQ(hd.doc->OnCommandEnable(Document::CommandId(c.command), &e), S_OK) << c.command;
        EXPECT_EQ(e.enabled, c.enabled) << c.command;
    }
    Enabler analyse;
    hd.doc->OnCommandEnable(Document::CommandId(kCmdAnalyse), &analyse);
    EXPECT_EQ(analyse.text, L"Analyze Channel");
    hd.host.canSample = 0;
    Enabler online;
    hd.doc->OnCommandEnable(Document::CommandId(kCmdOnlineMode), &online);
    EXPECT_EQ(online.enabled, 0);

    // The plots popup is rebuilt with exactly five items whatever it held; unknown items fail.
    Menu menu;
    menu.items = { { 1, L"old" }, { 2, L"older" } };
    EXPECT_EQ(hd.doc->OnCommandNotify(
                  Document::CommandId(kCmdAnalysisPlots), 6, reinterpret_cast<std::uintptr_t>(&menu), 0),
        0);
    ASSERT_EQ(menu.items.size(), 5u);
    EXPECT_EQ(menu.items[3].second, L"Poincaré Plot");
    EXPECT_EQ(hd.doc->OnCommandNotify(Document::CommandId(kCmdAnalysisPlots), 7, Document::CommandId(9), 0), 0);
    EXPECT_EQ(hd.doc->OnCommandNotify(Document::CommandId(kCmdAnalysisPlots), 7, Document::CommandId(3), 0), E_FAIL);
}

TEST_F(DocumentTest, ReselectSelectsTheAnalysedRegionAndTheSourceChannel)
{
    HostAndDocument hd(Mitdb100(30));
    hd.Command(kCmdAnalyse);
    hd.host.log.clear();
    hd.host.SendDocumentMessage(Document::MessageId(kMsgReselectAnalyzedRegion), 0);
    const Position end = hd.host.DataEnd();
    EXPECT_EQ(hd.host.log, (std::vector<std::string> { "message " + std::string(8, ' ').replace(0, 8, [] {
        char t[16];
        std::snprintf(t, sizeof t, "%08X", Document::MessageId(kMsgReselectAnalyzedRegion));
        return std::string(t);
    }()),
                               "selection.clear",
                               "selection.region 0:0-0:" + std::to_string(end.mOffset), "selection.channel 0" }));
}

TEST_F(DocumentTest, NotificationsClearWhatTheyTouch)
{
    HostAndDocument hd(Mitdb100(60));
    // The attach notification of the document's own site registers it and analyses (nothing yet:
    // no range).
    hd.doc->OnNotify(nullptr, 0x80000000u, Document::kOwnSite, Document::kOwnSite);
    EXPECT_NE(hd.doc->ClientId(), -1);
    EXPECT_TRUE(hd.host.updates.empty());
    hd.Command(kCmdAnalyse);
    hd.TakeUpdates();

    const DWORD h = DWORD(HostTypeIndex(GUID_HostRecordingEvents)) << 16;
    // A changed region that ends in the record before the analysis start: nothing. (The range
    // starts in record 0, so take a region of record -1.)
    const auto pos = [](int32_t record, int32_t offset) {
        return (ULONGLONG(uint32_t(record)) << 32) | uint32_t(offset);
    };
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
