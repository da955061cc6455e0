// The detector chain of the extension on the host's engine, on MIT-BIH record 100 (testdata).
#include "bench/WfdbRecording.h"
#include "hrv/core/Settings.h"
#include "integration/ExtensionChain.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstdlib>
#include <filesystem>

using namespace vx;

namespace {

struct Chain {
    std::shared_ptr<bench::WfdbRecording> recording;
    std::unique_ptr<calc::Engine> engine;
    std::unique_ptr<integration::EngineDetectorHost> host;
    int64_t length = 0;

    Chain()
    {
        const char* data = std::getenv("VX_TEST_DATA");
        const std::filesystem::path dir = data ? data : VX_TEST_DATA_DIR;
        auto record = std::make_shared<import::WfdbRecord>(import::ReadRecord(dir / "mitdb" / "100.hea"));
        length = record->Length();
        recording = std::make_shared<bench::WfdbRecording>(record);
        engine = std::make_unique<calc::Engine>(recording);
        EXPECT_EQ(integration::InstallExtensionEnumerators(*engine), 2);
        host = std::make_unique<integration::EngineDetectorHost>(*engine, recording);
        HRV::HRVDetector detector(host.get());
        HRV::DetectorSettings settings = HRV::DefaultDetectorSettings();
        settings.mRangeStart = { 0, 0 };
        settings.mRangeEnd = { 0, 0x7FFFFFFF };
        EXPECT_TRUE(detector.Update(0xFFFFFFFF, &settings)) << host->mLastError;
    }
    std::vector<HRV::FiducialEvent> Beats(int64_t from, int64_t to)
    {
        return integration::ReadBeats(*engine, L"HRV_vFID", 0, from, to);
    }
};

std::vector<HRV::FiducialEvent> Slice(const std::vector<HRV::FiducialEvent>& all, int64_t from, int64_t to)
{
    std::vector<HRV::FiducialEvent> out;
    for (const auto& b : all)
        if (b.mPosition >= from && b.mPosition < to)
            out.push_back(b);
    return out;
}

void ExpectSameBeats(const std::vector<HRV::FiducialEvent>& a, const std::vector<HRV::FiducialEvent>& b)
{
    ASSERT_EQ(a.size(), b.size());
    for (std::size_t i = 0; i < a.size(); ++i) {
        EXPECT_EQ(a[i].mPosition, b[i].mPosition) << i;
        EXPECT_EQ(a[i].mBeatNumber, b[i].mBeatNumber) << i;
        EXPECT_EQ(std::isnan(a[i].mRR), std::isnan(b[i].mRR)) << i;
        if (!std::isnan(a[i].mRR)) {
            EXPECT_EQ(a[i].mRR, b[i].mRR) << i;
        }
        EXPECT_EQ(a[i].mClass, b[i].mClass) << i;
    }
}

TEST(ExtensionChain, FormulasAcceptedByTheHost)
{
    Chain chain;
    ASSERT_EQ(chain.host->mFormulas.size(), 7u);
    EXPECT_EQ(chain.host->mFormulas[2].second, L"resample(HRV_vDIF,1,1,1,57,0,2)"); // 360 Hz
    EXPECT_EQ(chain.host->mFormulas[6].second, L"fiducial(HRV_vLPF,HRV_vDET,0.08,0,0.8,1.2,1,1.5,0,0,0,2147483647,1)");
    // The host refuses a width that would make an empty window, before the formula is accepted.
    EXPECT_FALSE(chain.host->AddChannel(L"bad", L"fiducial(HRV_vLPF,HRV_vDET,0,0,0.8,1.2,1,1.5,0,0,0,0,1)"));
}

TEST(ExtensionChain, SeekIntoALongRecordGivesTheSameBeats)
{
    Chain whole;
    const auto all = whole.Beats(0, whole.length);
    // Record 100 has 2273 annotated beats; the chain finds them all (the scorer checks the match).
    EXPECT_NEAR(static_cast<double>(all.size()), 2273.0, 3.0);
    for (std::size_t i = 1; i < all.size(); ++i)
        ASSERT_LT(all[i - 1].mPosition, all[i].mPosition);

    Chain fresh;
    ExpectSameBeats(fresh.Beats(432109, whole.length), Slice(all, 432109, whole.length));
    ExpectSameBeats(fresh.Beats(123456, 130000), Slice(all, 123456, 130000));
    ExpectSameBeats(fresh.Beats(0, 50000), Slice(all, 0, 50000));
    // The same engine again, now with checkpoints in place.
    ExpectSameBeats(whole.Beats(300001, 310000), Slice(all, 300001, 310000));
}

TEST(ExtensionChain, EngineStatisticsEqualThoseOfTheRRSeries)
{
    Chain chain;
    const auto all = chain.Beats(0, chain.length);
    std::vector<double> rr, deltaRR, rate, times;
    for (const auto& b : all)
        if (!std::isnan(b.mRR) && !std::isnan(b.mDeltaRR) && b.IsUsed()) {
            rr.push_back(b.mRR);
            deltaRR.push_back(b.mDeltaRR);
            rate.push_back(b.mRate);
            times.push_back(b.mPosition * (1.0 / 360.0)); // the host's time of the sample
        }
    // Record 100 beats at about 0.79 s, so with the Human box (0.8-1.2 s) and ectopic exclusion
    // about a third of its intervals are used.
    ASSERT_GT(rr.size(), 700u);

    integration::EngineAnalysisHost host(*chain.engine, chain.recording, L"HRV_vFID");
    HRV::AnalysisEngine engine;
    const HRV::AnalysisParameters params = HRV::DefaultAnalysisParameters();
    ASSERT_EQ(engine.Analyse(0xFFFFFFFF, &host, {}, { 0, 0 }, { 0, 0x7FFFFFFF }, params), rr.size());
    EXPECT_EQ(engine.mRR, rr);
    EXPECT_EQ(engine.mDeltaRR, deltaRR);
    EXPECT_EQ(engine.mBeatTimes, times);

    HRV::IntervalStats direct;
    direct.Compute(0xFFFFFFFF, rr, deltaRR, rate, params);
    EXPECT_EQ(engine.mStats.mCount, direct.mCount);
    EXPECT_EQ(engine.mStats.SDRR(), direct.SDRR());
    EXPECT_EQ(engine.mStats.SDSD(), direct.SDSD());
    EXPECT_EQ(engine.mStats.mMedianRR, direct.mMedianRR);
    EXPECT_EQ(engine.mStats.mCountOverThreshold, direct.mCountOverThreshold);
    EXPECT_EQ(engine.mStats.mSumRR, direct.mSumRR);
    for (double v : rr) // with ectopic exclusion only intervals inside the box are used
        ASSERT_TRUE(v >= 0.8 && v <= 1.2) << v;

    HRV::SegmentStats segments;
    segments.Compute(0xFFFFFFFF, rr, times, 0.0, chain.length / 360.0, params);
    EXPECT_EQ(engine.mSegments.mNumSegments, segments.mNumSegments);
    EXPECT_EQ(engine.mSegments.mSumOfMeans, segments.mSumOfMeans);

    HRV::Spectrum spectrum;
    HRV::ComputeSpectrum(spectrum, 0xFF, rr, times, params);
    EXPECT_EQ(engine.mSpectrum.mPower, spectrum.mPower);
    EXPECT_EQ(engine.mSpectrum.mHFPower, spectrum.mHFPower);
    EXPECT_GT(spectrum.mHFPower, 0.0);
}

} // namespace
