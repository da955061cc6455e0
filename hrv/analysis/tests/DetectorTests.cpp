#include "hrv/analysis/Detector.h"
#include "hrv/analysis/SettingsPtr.h"
#include "hrv/core/Settings.h"

#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <map>
#include <set>
#include <vector>

using namespace HRV;

namespace {

class FakeHost final : public IDetectorHost {
public:
    int32_t records = 1;
    double interval = 0.001;
    bool hasData = true;
    std::map<std::wstring, std::wstring> channels;
    std::vector<std::wstring> written; // names, in request order
    std::set<std::pair<uint32_t, uint32_t>> links;
    int32_t askedRecord = -1;

    int32_t RecordCount() override { return records; }
    bool HasData(const ChannelRef&, int32_t) override { return hasData; }
    double SampleInterval(const ChannelRef&, int32_t record) override
    {
        askedRecord = record;
        return interval;
    }
    bool AddChannel(const wchar_t* name, const wchar_t* formula) override
    {
        channels[name] = formula;
        written.push_back(name);
        return true;
    }
    bool RemoveChannel(const wchar_t* name, bool) override { return channels.erase(name) > 0; }
    bool FindChannel(const wchar_t* name, ChannelRef& out) override
    {
        if (!channels.count(name))
            return false;
        out = { 7, 0x40000000 };
        return true;
    }
    bool HasChannelLink(const ChannelRef& a, const ChannelRef&) override
    {
        return links.count({ a.mChannel, a.mKind }) > 0;
    }
    bool AddChannelLink(const ChannelRef& a, const ChannelRef&) override
    {
        return links.insert({ a.mChannel, a.mKind }).second;
    }
    bool RemoveChannelLink(const ChannelRef& a, const ChannelRef&) override
    {
        return links.erase({ a.mChannel, a.mKind }) > 0;
    }
    IUnknown* ChannelSource() override { return nullptr; }
};

DetectorSettings Defaults()
{
    DetectorSettings s = DefaultDetectorSettings();
    s.mRangeStart = { 0, 0 };
    s.mRangeEnd = { 0, 0 };
    return s;
}

TEST(Detector, DefaultChainFormulas)
{
    FakeHost host;
    HRVDetector detector(&host);
    DetectorSettings s = Defaults();
    ASSERT_TRUE(detector.Update(0xFFFFFFFF, &s));
    EXPECT_EQ(host.channels[L"HRV_vLPF"], L"lowpass(Ch1,30)");
    EXPECT_EQ(host.channels[L"HRV_vDIF"], L"differentiate(HRV_vLPF,3)");
    EXPECT_EQ(host.channels[L"HRV_vHLB"], L"resample(HRV_vDIF,1,1,1,160,0,2)");
    EXPECT_EQ(host.channels[L"HRV_vENV"], L"HRV_vDIF * HRV_vDIF + HRV_vHLB * HRV_vHLB");
    EXPECT_EQ(host.channels[L"HRV_vNRM"], L"normalizeSec(HRV_vENV,5,2.5,0)");
    EXPECT_EQ(host.channels[L"HRV_vDET"], L"cmpeakdet(HRV_vNRM,3,0.3,30)");
    EXPECT_EQ(host.channels[L"HRV_vFID"], L"fiducial(HRV_vLPF,HRV_vDET,0.08,0,0.8,1.2,1,1.5,0,0,0,0,1)");
    EXPECT_EQ(host.links.size(), 1u); // the beat marks are shown on the source channel

    // Positions and counts are written exactly; reals with six significant digits.
    s.mRangeStart = { 3, 1234567 };
    s.mRangeEnd = { 2147483647, 2147483647 };
    s.mRRMin = 0.123456789;
    s.mExcludeEctopics = false;
    FakeHost other;
    PreviewDetector preview(&other);
    ASSERT_TRUE(preview.BuildDetectorChannels(0xFFFFFFFF, &s));
    EXPECT_EQ(other.channels[L"HRV_pFID"],
        L"fiducial(HRV_pLPF,HRV_pDET,0.08,0,0.123457,1.2,1,1.5,3,1234567,2147483647,2147483647,0)");
    EXPECT_EQ(other.channels[L"HRV_pHLB"], L"resample(HRV_pDIF,1,1,1,160,0,2)");
}

TEST(Detector, DocumentSettingsGiveTheDefaultChain)
{
    auto* settings = new Settings();
    settings->AddRef();
    settings->mRangeStart.mRecord = 0;
    settings->mRangeStart.mOffset = 0;
    settings->mRangeEnd.mRecord = 0;
    settings->mRangeEnd.mOffset = 0;
    FakeHost host;
    HRVDetector detector(&host);
    ASSERT_TRUE(detector.Update(0xFFFFFFFF, settings));
    EXPECT_EQ(host.channels[L"HRV_vNRM"], L"normalizeSec(HRV_vENV,5,2.5,0)");
    EXPECT_EQ(host.channels[L"HRV_vFID"], L"fiducial(HRV_vLPF,HRV_vDET,0.08,0,0.8,1.2,1,1.5,0,0,0,0,1)");
    // The change mask of the settings selects the stages: a QRS width change rebuilds stage 7.
    Settings* changed = nullptr;
    ASSERT_EQ(settings->Clone(&changed), S_OK);
    changed->mQRSWidth = 0.1;
    host.written.clear();
    detector.Update(changed->Compare(settings), changed);
    EXPECT_EQ(host.written, (std::vector<std::wstring> { L"HRV_vFID" }));
    EXPECT_EQ(host.channels[L"HRV_vFID"], L"fiducial(HRV_vLPF,HRV_vDET,0.1,0,0.8,1.2,1,1.5,0,0,0,0,1)");
    changed->Release();
    settings->Release();
}

TEST(Detector, SettingsPtrCountsItsReference)
{
    SettingsPtr none(nullptr);
    EXPECT_FALSE(none);
    auto* settings = new Settings();
    settings->AddRef();
    {
        SettingsPtr a(settings);
        EXPECT_EQ(settings->RefCount(), 2u);
        SettingsPtr b = a;
        SettingsPtr c = std::move(b);
        EXPECT_EQ(settings->RefCount(), 3u);
        EXPECT_FALSE(b);
        HRVDetector detector(nullptr);
        EXPECT_FALSE(detector.Update(0xFFFFFFFF, c.get())); // no host interface: nothing happens
    }
    EXPECT_EQ(settings->RefCount(), 1u);
    SettingsPtr last(settings);
    settings->Release(); // the pointer holds the last reference and deletes the settings with it
    EXPECT_EQ(last->RefCount(), 1u);
}

TEST(Detector, TransformWindowGuards)
{
    const double nan = std::numeric_limits<double>::quiet_NaN();
    EXPECT_EQ(TransformWindow(0.08, 0.001), 160);
    EXPECT_EQ(TransformWindow(0.005, 0.001), 21); // k = 10
    EXPECT_EQ(TransformWindow(0.08, 1.0 / 360), 57);
    EXPECT_EQ(TransformWindow(0.08, 0.0), 21);
    EXPECT_EQ(TransformWindow(0.08, -0.001), 21);
    EXPECT_EQ(TransformWindow(0.08, nan), 21);
    EXPECT_EQ(TransformWindow(nan, 0.001), 21);
    EXPECT_EQ(TransformWindow(1e6, 1e-9), std::numeric_limits<int32_t>::max());

    // A source without data in any record asks for record 0x7FFFFFFE; its interval 0 gives 21.
    FakeHost host;
    host.records = 3;
    host.hasData = false;
    host.interval = 0.0;
    HRVDetector detector(&host);
    DetectorSettings s = Defaults();
    detector.BuildDetectorChannels(0xFFFFFFFF, &s);
    EXPECT_EQ(host.askedRecord, 0x7FFFFFFE);
    EXPECT_EQ(host.channels[L"HRV_vHLB"], L"resample(HRV_vDIF,1,1,1,21,0,2)");
}

TEST(Detector, StageFlagsRebuildTheirStages)
{
    struct Case {
        uint32_t flags;
        std::vector<std::wstring> stages;
    };
    const Case cases[] = {
        { 0xFFFFFFFF, { L"HRV_vLPF", L"HRV_vDIF", L"HRV_vHLB", L"HRV_vENV", L"HRV_vNRM", L"HRV_vDET", L"HRV_vFID" } },
        { 0xFF000000, { L"HRV_vLPF", L"HRV_vDIF", L"HRV_vHLB", L"HRV_vENV", L"HRV_vNRM", L"HRV_vDET", L"HRV_vFID" } },
        { 0x6FFFFFF, { L"HRV_vNRM", L"HRV_vDET", L"HRV_vFID" } },
        { 0x4FFFFFF, { L"HRV_vFID" } },
        { 0x2000000, { L"HRV_vNRM", L"HRV_vDET" } },
    };
    for (const Case& c : cases) {
        FakeHost host;
        HRVDetector detector(&host);
        DetectorSettings s = Defaults();
        EXPECT_TRUE(detector.BuildDetectorChannels(c.flags, &s));
        EXPECT_EQ(host.written, c.stages) << std::hex << c.flags;
    }
    FakeHost host;
    HRVDetector detector(&host);
    EXPECT_FALSE(detector.BuildDetectorChannels(0xFFFFFFFF, static_cast<const DetectorSettings*>(nullptr)));
    EXPECT_FALSE(detector.Update(0xFFFFFFFF, static_cast<const Settings*>(nullptr)));
    HRVDetector noHost(nullptr);
    DetectorSettings s = Defaults();
    EXPECT_FALSE(noHost.Update(0xFFFFFFFF, &s));
}

TEST(Detector, FiducialChannelLinkAndRemoval)
{
    FakeHost host;
    HRVDetector detector(&host);
    DetectorSettings s = Defaults();
    EXPECT_FALSE(detector.SyncFiducialChannel(&s)); // no fiducial channel yet
    EXPECT_FALSE(detector.GetFiducialChannel().IsSet());
    s.mShowEventMarkers = false;
    ASSERT_TRUE(detector.Update(0xFFFFFFFF, &s));
    EXPECT_TRUE(host.links.empty());
    EXPECT_TRUE(detector.SyncFiducialChannel(&s)); // flag clear, no link: nothing changes
    EXPECT_TRUE(host.links.empty());
    s.mShowEventMarkers = true;
    EXPECT_TRUE(detector.SyncFiducialChannel(&s));
    EXPECT_EQ(host.links.size(), 1u);
    EXPECT_EQ(detector.GetFiducialChannel(), (ChannelRef { 7, 0x40000000 }));
    EXPECT_TRUE(detector.RemoveChannels(0x4FFFFFF, &s));
    EXPECT_TRUE(host.links.empty());
    EXPECT_EQ(host.channels.size(), 6u);
    EXPECT_FALSE(detector.DetachChannels()); // the fiducial stage is gone already
    EXPECT_TRUE(host.channels.empty());
}

} // namespace
