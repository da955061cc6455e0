// The host document of the HRV document on its own: what it answers to arguments that are out
// of range, null or malformed, through the interfaces the extension calls.
#include <gtest/gtest.h>

#include <memory>
#include <vector>

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
    for (const HRV::ChannelRef channel : { HRV::ChannelRef {}, HRV::ChannelRef { 1, 0 }, HRV::ChannelRef { 0xFFFFFFFFu, 0 } }) {
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
