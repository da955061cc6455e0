// The host document of the HRV document on its own: what it answers to arguments that are out
// of range, null or malformed, through the interfaces the extension calls.
#include <gtest/gtest.h>

#include <cstring>
#include <memory>
#include <string>
#include <utility>
#include <vector>

#include "host/hrvdoc/HrvDataPadHost.h"
#include "host/hrvdoc/HrvHostDocument.h"
#include "log/Log.h"

namespace {

// One record of one channel, 1000 samples at 100 Hz.
std::shared_ptr<vx::host::Recording> SmallRecording()
{
    auto r = std::make_shared<vx::host::Recording>();
    vx::host::ChannelSetup channel;
    channel.title = L"ECG";
    r->channels.push_back(channel);
    const int record = r->AddRecord(0.01, 0.0);
    std::vector<float> values(1000, 0.5f);
    r->records[static_cast<std::size_t>(record)].channels[0].Append(values);
    r->records[static_cast<std::size_t>(record)].length = 1000;
    return r;
}

} // namespace

TEST(HrvHostDocument, RefusesBadArgumentsWithoutTouchingItsState)
{
    vx::log::Capture capture;
    vx::host::HrvHostDocument host(SmallRecording());
    HRV::IDocumentHost& document = host;
    HRV::IDetectorHost& detector = host;
    HRV::IAnalysisHost& analysis = host;
    HRV::IAnalysisManager& manager = host;
    HRV::IDialogService& dialogs = host;

    // Channel titles: one channel; the BSTR is cleared on failure.
    BSTR title = SysAllocString(L"stale");
    SysFreeString(title);
    title = nullptr;
    EXPECT_EQ(document.ChannelTitle(0, &title), S_OK);
    ASSERT_NE(title, nullptr);
    EXPECT_EQ(std::wstring(title), L"ECG");
    SysFreeString(title);
    for (const int32_t channel : { -1, 1, 0x7FFFFFFF }) {
        title = reinterpret_cast<BSTR>(1);
        EXPECT_EQ(document.ChannelTitle(channel, &title), E_INVALIDARG) << channel;
        EXPECT_EQ(title, nullptr);
    }
    EXPECT_EQ(document.ChannelTitle(0, nullptr), E_POINTER);

    // Channel numbers beyond the recording, the "no channel" reference among them.
    for (const HRV::ChannelRef channel :
        { HRV::ChannelRef {}, HRV::ChannelRef { 1, 0 }, HRV::ChannelRef { 0xFFFFFFFFu, 0 } }) {
        EXPECT_FALSE(detector.HasData(channel, 0)) << channel.mChannel;
        EXPECT_EQ(detector.SampleInterval(channel, 0), 0.0) << channel.mChannel;
        EXPECT_FALSE(document.ChannelHasData(channel.mChannel, 0, 0, 0)) << channel.mChannel;
    }
    EXPECT_FALSE(detector.HasData({ 0, 0 }, 1));
    EXPECT_FALSE(detector.HasData({ 0, 0 }, -1));
    EXPECT_TRUE(detector.HasData({ 0, 0 }, 0));
    EXPECT_FALSE(document.ChannelHasData(0, 0, -1, 0));
    EXPECT_FALSE(document.ChannelHasData(0, 0, 0, 5));

    // Named channels: null names, a formula the engine refuses, an unknown name.
    EXPECT_FALSE(detector.AddChannel(nullptr, L"1"));
    EXPECT_FALSE(detector.AddChannel(L"x", nullptr));
    EXPECT_FALSE(detector.RemoveChannel(nullptr, false));
    HRV::ChannelRef found { 7, 7 };
    EXPECT_FALSE(detector.FindChannel(nullptr, found));
    EXPECT_FALSE(detector.FindChannel(L"nothing", found));
    EXPECT_EQ(found, (HRV::ChannelRef { 7, 7 }));
    EXPECT_FALSE(detector.AddChannel(L"broken", L"lowpass((("));
    EXPECT_FALSE(detector.FindChannel(L"broken", found));

    // Records and events.
    HRV::RecordInfo info;
    EXPECT_FALSE(analysis.GetRecordInfo(-1, info));
    EXPECT_FALSE(analysis.GetRecordInfo(1, info));
    EXPECT_EQ(analysis.OpenEvents({ 0, 0 }, 0, 0, 1000), nullptr); // a channel without events
    EXPECT_EQ(analysis.OpenEvents(HRV::ChannelRef {}, 0, 0, 1000), nullptr);

    // The analysis manager, the stores and the dialogs.
    int32_t client = 0;
    EXPECT_EQ(manager.Register(nullptr, L"HRV", &client), E_POINTER);
    EXPECT_EQ(manager.Register(L"HRV", L"HRV", nullptr), E_POINTER);
    EXPECT_TRUE(host.managerClients.empty());
    EXPECT_FALSE(document.AddDataChild(nullptr));
    EXPECT_FALSE(document.StoreObject(0, nullptr));
    EXPECT_FALSE(document.RemoveDataChild(42));
    EXPECT_TRUE(host.dataChildren.empty() && host.stored.empty());
    void* store = nullptr;
    ASSERT_EQ(host.DataStore()->QueryInterface(IDataChildStore::kIid, &store), S_OK);
    IVarnDataChildData* child = reinterpret_cast<IVarnDataChildData*>(1);
    EXPECT_EQ(static_cast<IDataChildStore*>(store)->GetDataChild(42, &child), S_FALSE);
    EXPECT_EQ(child, nullptr);
    EXPECT_EQ(static_cast<IDataChildStore*>(store)->GetDataChild(42, nullptr), E_POINTER);
    void* other = nullptr;
    EXPECT_EQ(host.DataStore()->QueryInterface(IVarnDataChildData::kIid, &other), E_NOINTERFACE);
    EXPECT_EQ(other, nullptr);
    EXPECT_EQ(dialogs.RunSettings(nullptr), 2);
    // A desktop host leaves its dialogs to the user.
    host.options.userAnswersDialogs = true;
    EXPECT_EQ(dialogs.RunSettings(nullptr), 0);
    BSTR unit = nullptr;
    EXPECT_EQ(document.ChannelUnit(1, &unit), E_INVALIDARG);
    EXPECT_EQ(unit, nullptr);
    EXPECT_EQ(document.ChannelUnit(0, nullptr), E_POINTER);
    EXPECT_EQ(document.MessageBox(nullptr, nullptr, 0, 0), 0);
}

namespace {

// Every event an enumeration hands out, in order, asked for `perCall` at a time.
std::vector<int32_t> Drain(IEnumEventEx* events, std::size_t perCall)
{
    std::vector<int32_t> positions;
    DWORD size = 0;
    EXPECT_EQ(events->GetRecordSize(&size), S_OK);
    std::vector<std::byte> buffer(size * perCall);
    for (;;) {
        DWORD count = 0;
        LONG next = 0;
        const HRESULT hr = events->Next(static_cast<DWORD>(buffer.size()), 0x7FFFFFFF, buffer.data(), &count, &next);
        EXPECT_TRUE(SUCCEEDED(hr));
        for (DWORD i = 0; i < count; ++i) {
            int32_t p;
            std::memcpy(&p, buffer.data() + std::size_t(i) * size, sizeof p);
            positions.push_back(p);
        }
        if (hr != S_OK || (count == 0 && next == 0x7FFFFFFF))
            return positions;
    }
}

} // namespace

// A long record is read a stretch at a time (and the data pad's copy is kept in blocks): what the
// enumerations hand out is what the channel holds, across a stretch without events, a block
// boundary and a backward seek.
TEST(HrvHostDocument, LongRecordsEventsAreHandedOutWhole)
{
    auto r = std::make_shared<vx::host::Recording>();
    vx::host::ChannelSetup channel;
    channel.title = L"ECG";
    r->channels.push_back(channel);
    const int record = r->AddRecord(0.001, 0.0);
    // 3,000,000 samples: a pulse every 400 samples, none in [1,200,000, 2,400,000).
    std::vector<float> values(3'000'000, 0.0f);
    for (std::size_t i = 200; i < values.size(); i += 400)
        if (i < 1'200'000 || i >= 2'400'000)
            values[i] = 10.0f;
    r->records[std::size_t(record)].channels[0].Append(values);
    r->records[std::size_t(record)].length = int64_t(values.size());

    vx::host::HrvHostDocument host(r);
    HRV::IDetectorHost& detector = host;
    ASSERT_TRUE(detector.AddChannel(L"Peaks", L"cmpeakdet(Ch1,5,0.1,0)"));
    HRV::ChannelRef peaks;
    ASSERT_TRUE(detector.FindChannel(L"Peaks", peaks));
    vx::calc::EventBuffer direct;
    host.Engine().Channel(L"Peaks").events->Read(0, 0, int64_t(values.size()), direct);
    std::vector<int32_t> expected;
    for (std::size_t i = 0; i < direct.Count(); ++i)
        expected.push_back(direct.Position(i));
    ASSERT_EQ(expected.size(), 4500u);

    HRV::IAnalysisHost& analysis = host;
    vx::host::CachedAnalysisHost cached(host);
    for (HRV::IAnalysisHost* source : { &analysis, static_cast<HRV::IAnalysisHost*>(&cached) })
        for (const std::size_t perCall : { 1u, 64u, 5000u }) {
            IEnumEventEx* events = source->OpenEvents(peaks, 0, 0, 0x7FFFFFFF);
            ASSERT_NE(events, nullptr);
            EXPECT_EQ(Drain(events, perCall), expected) << perCall;
            // Backward from a position inside the last stretch, between two pulses: the pulse before it.
            ASSERT_EQ(events->Find(1, 2'600'100, 0, 0), S_OK);
            LONG position = 0;
            ASSERT_EQ(events->GetPosition(&position), S_OK);
            EXPECT_EQ(position, 2'599'800);
            // Backward from the first pulse after the gap: across the empty stretch to the last one before it.
            ASSERT_EQ(events->Find(1, 2'400'000, 0, 0), S_OK);
            ASSERT_EQ(events->GetPosition(&position), S_OK);
            EXPECT_EQ(position, 1'199'800);
            events->Release();
        }
}

TEST(HrvHostDocument, ItsSidesShareOneStateAndARecorderHearsWhatTheDocumentSays)
{
    std::vector<std::pair<DWORD, DWORD>> toldUpdates;
    std::vector<std::wstring> toldMessages;
    vx::host::HrvHostOptions options;
    options.messageBoxAnswer = 6;
    options.updated = [&](DWORD id, DWORD code) { toldUpdates.emplace_back(id, code); };
    options.messageShown = [&](const std::wstring& text) { toldMessages.push_back(text); };
    vx::host::HrvHostDocument host(SmallRecording(), options);
    HRV::IDocumentHost& document = host;

    // The document side hands out the other sides of the same document.
    EXPECT_EQ(document.Dialogs(), static_cast<HRV::IDialogService*>(&host));
    EXPECT_EQ(document.AnalysisManager(), static_cast<HRV::IAnalysisManager*>(&host));
    EXPECT_EQ(document.DetectorHost(), static_cast<HRV::IDetectorHost*>(&host));
    EXPECT_EQ(document.AnalysisHost(), static_cast<HRV::IAnalysisHost*>(&host));
    // A channel the detector makes is the one the analysis reads, and a link it makes is the one
    // the analysis follows.
    ASSERT_TRUE(document.DetectorHost()->AddChannel(L"Peaks", L"cmpeakdet(Ch1,5,0.1,0)"));
    HRV::ChannelRef peaks, linked;
    ASSERT_TRUE(document.DetectorHost()->FindChannel(L"Peaks", peaks));
    IEnumEventEx* events = document.AnalysisHost()->OpenEvents(peaks, 0, 0, 1000);
    ASSERT_NE(events, nullptr);
    events->Release();
    ASSERT_TRUE(document.DetectorHost()->AddChannelLink(peaks, { 0, 0 }));
    ASSERT_TRUE(document.AnalysisHost()->LinkedEventChannel({ 0, 0 }, 0, linked));
    EXPECT_EQ(linked, peaks);
    EXPECT_EQ(document.AnalysisHost()->RecordCount(), 1);
    EXPECT_EQ(document.DetectorHost()->RecordCount(), 1);

    // Without a recorder the host only counts the updates and tells its options.
    document.SendUpdate(0x10000, 4);
    EXPECT_EQ(document.MessageBox(L"Varnex", L"First", 0, 0), 6);
    EXPECT_EQ(host.UpdateCount(), 1u);

    vx::host::HrvHostRecorder recorded;
    host.AttachRecorder(&recorded);
    document.SendUpdate(0x10000, 6);
    EXPECT_EQ(document.MessageBox(L"Varnex", L"Second", 0x30, 0), 6);
    document.ClearSelection();
    int32_t client = 0;
    ASSERT_EQ(document.AnalysisManager()->Register(L"HRV", L"HRV", &client), S_OK);
    EXPECT_EQ(recorded.updates, (std::vector<std::pair<DWORD, DWORD>> { { 0x10000, 6 } }));
    EXPECT_EQ(recorded.messages, (std::vector<std::wstring> { L"Second" }));
    EXPECT_EQ(recorded.log,
        (std::vector<std::string> {
            "messagebox Varnex 00000030 00000000 Second", "selection.clear", "manager.register 1" }));

    // Let go of: nothing more is recorded, the options still hear everything.
    host.AttachRecorder(nullptr);
    document.SendUpdate(0x10000, 3);
    EXPECT_EQ(recorded.updates.size(), 1u);
    EXPECT_EQ(host.UpdateCount(), 3u);
    EXPECT_EQ(toldUpdates, (std::vector<std::pair<DWORD, DWORD>> { { 0x10000, 4 }, { 0x10000, 6 }, { 0x10000, 3 } }));
    EXPECT_EQ(toldMessages, (std::vector<std::wstring> { L"First", L"Second" }));
}
