// The detector through the framework's channel manager on the host's document, with the
// enumerator classes registered in the document's engine, and the analysis engine reading the
// beats through the document's source objects, on record 100 split into two records that start
// at different times.
#include "host/import/Wfdb.h"
#include "host/recording/HostDocument.h"
#include "hostframework/interfaces/TickPosition.h"
#include "hrv/analysis/ManagerDetectorHost.h"
#include "hrv/analysis/RecordingAnalysisHost.h"
#include "hrv/core/Settings.h"
#include "integration/ExtensionChain.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstdlib>
#include <filesystem>

using namespace vx;

namespace {

constexpr DWORD kCalcKey = 0x00070000u, kSettingsKey = 0x00070001u;
constexpr int64_t kSplit = 300000;
constexpr double kSecondStart = 5000.0; // seconds: the second record starts long after the first ends

class TestManager final : public ExtLib::ArithmeticChannelManager {
public:
    explicit TestManager(IObjectFactory* f)
        : factory(f)
    {
    }
    IObjectFactory* factory;
    IObjectFactory* ObjectFactory() override { return factory; }
    DWORD CalcClassKey() override { return kCalcKey; }
    DWORD SettingsClassKey() override { return kSettingsKey; }
};

std::shared_ptr<host::Recording> SplitRecord100()
{
    const char* data = std::getenv("VX_TEST_DATA");
    const std::filesystem::path dir = data ? data : VX_TEST_DATA_DIR;
    const import::WfdbRecord wfdb = import::ReadRecord(dir / "mitdb" / "100.hea");
    auto r = std::make_shared<host::Recording>();
    host::ChannelSetup ecg;
    ecg.title = L"ECG";
    ecg.unit = L"mV";
    ecg.factor = 1.0 / wfdb.header.signals[0].gain;
    ecg.offset = -static_cast<double>(wfdb.header.signals[0].baseline);
    r->AddChannel(ecg);
    const auto& s = wfdb.samples[0];
    const double interval = 1.0 / wfdb.header.frequency;
    r->AddRecord(interval, 0.0);
    r->AddRecord(interval, kSecondStart);
    r->records[0].channels[0] = host::SampleStore(std::vector<int16_t>(s.begin(), s.begin() + kSplit));
    r->records[0].length = kSplit;
    r->records[1].channels[0] = host::SampleStore(std::vector<int16_t>(s.begin() + kSplit, s.end()));
    r->records[1].length = static_cast<int64_t>(s.size()) - kSplit;
    return r;
}

TEST(DocumentChain, BeatTimesAgreeWithTheHostsClockAcrossRecords)
{
    auto* doc = new host::HostDocument(SplitRecord100());
    auto* factory = new host::HostObjectFactory(kCalcKey, kSettingsKey);
    {
        // The document's beat-number cache lets numbers go on from record to record.
        auto context = std::make_shared<HRV::FiducialContext>();
        context->numbers = std::make_shared<HRV::BeatNumberCache>();
        ASSERT_EQ(integration::InstallExtensionEnumerators(doc->Engine(), context), 2);
        TestManager manager(factory);
        manager.SetChannelSource(static_cast<IChannelNames*>(doc));
        HRV::ManagerDetectorHost detectorHost(manager, doc);
        HRV::HRVDetector detector(&detectorHost);
        HRV::DetectorSettings settings = HRV::DefaultDetectorSettings();
        settings.mRangeStart = { 0, 0 };
        settings.mRangeEnd = { 0x7FFFFFFE, 0x7FFFFFFF };
        ASSERT_TRUE(detector.Update(0xFFFFFFFF, &settings));
        EXPECT_EQ(doc->Engine().Formula(L"HRV_vFID"),
            L"fiducial(HRV_vLPF,HRV_vDET,0.08,0,0.8,1.2,1,1.5,0,0,2147483646,2147483647,1)");
        const HRV::ChannelRef fid = detector.GetFiducialChannel();
        ASSERT_TRUE(fid.IsSet());
        EXPECT_TRUE(detectorHost.HasChannelLink(fid, { 0, 0xC0000000u })); // beat marks on the ECG

        // The engine reads the beats through the document's source objects.
        HRV::RecordingAnalysisHost analysisHost(doc, { 0, 0xC0000000u });
        HRV::AnalysisEngine engine;
        const std::size_t used = engine.Analyse(
            0xFFFFFFFF, &analysisHost, fid, settings.mRangeStart, settings.mRangeEnd, HRV::DefaultAnalysisParameters());
        ASSERT_GT(used, 700u);
        ASSERT_EQ(engine.mBeatTimes.size(), engine.mPoincarePoints.size());
        bool second = false;
        for (std::size_t i = 0; i < used; ++i) {
            const auto& p = engine.mPoincarePoints[i];
            double hostTime = 0;
            ASSERT_EQ(doc->GetTickTime(hf::MakeTickPosition(p.mRecord, p.mOffset), &hostTime), S_OK);
            ASSERT_DOUBLE_EQ(engine.mBeatTimes[i], hostTime) << "beat " << p.mBeatNumber;
            second = second || p.mRecord == 1;
        }
        EXPECT_TRUE(second);
        // Beat numbers go on in the second record: record 100 has 2273 beats.
        EXPECT_NEAR(engine.mBeats.back().mBeatNumber, 2273, 5);

        EXPECT_TRUE(detector.RemoveChannels(0xFFFFFFFF, &settings));
        EXPECT_FALSE(detectorHost.HasChannelLink(fid, { 0, 0xC0000000u }));
        manager.SetChannelSource(nullptr);
    }
    EXPECT_EQ(doc->Release(), 0u);
    factory->Release();
}

} // namespace
