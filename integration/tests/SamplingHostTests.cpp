// The fiducial enumerators of libhrv.so on a record that the host document is sampling: the host
// starts them in sampling mode while the record grows, so that no beat is handed out from a
// window the data do not fill yet, and starts them again without it once sampling has ended, so
// that the beats at the very end of the record come too.
#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <memory>
#include <span>
#include <string>
#include <vector>

#include "host/hrvdoc/HrvHostDocument.h"
#include "hrv/analysis/FiducialEvent.h"
#include "integration/tests/LoadedExtension.h"

namespace {

constexpr double kInterval = 1.0 / 360.0;
constexpr int64_t kLength = 7200; // 20 s
constexpr int64_t kPeriod = 300;
constexpr int64_t kFirstPeak = 150;

// A train of sharp asymmetric pulses (6 samples up, 10 down, height 1) on a slow baseline wave;
// the last pulse peaks 20 samples before the end.
std::vector<float> PulseTrain()
{
    std::vector<float> x(kLength);
    for (int64_t i = 0; i < kLength; ++i)
        x[static_cast<std::size_t>(i)]
            = static_cast<float>(0.05 * std::sin(2 * M_PI * 1.3 * static_cast<double>(i) * kInterval));
    std::vector<int64_t> peaks;
    for (int64_t p = kFirstPeak; p < kLength - 100; p += kPeriod)
        peaks.push_back(p);
    peaks.push_back(kLength - 20);
    for (int64_t p : peaks)
        for (int64_t d = -6; d <= 10; ++d) {
            const double v = d <= 0 ? 1.0 + static_cast<double>(d) / 6.0 : 1.0 - static_cast<double>(d) / 10.0;
            if (p + d < kLength)
                x[static_cast<std::size_t>(p + d)] += static_cast<float>(v);
        }
    return x;
}

std::shared_ptr<vx::host::Recording> EmptyRecording()
{
    auto r = std::make_shared<vx::host::Recording>();
    vx::host::ChannelSetup channel;
    channel.title = L"ECG";
    r->AddChannel(channel);
    r->AddRecord(kInterval, 0.0); // record 0 stays empty; the data go into record 1
    return r;
}

// The beat channel as the document reads it: the host's formulas over channel 1, with the
// extension's fiducial function.
void AddBeatChannels(vx::host::HrvHostDocument& host)
{
    ASSERT_TRUE(host.AddChannel(L"ref", L"cmpeakdet(Ch1,0.3,0.2,0)"));
    ASSERT_TRUE(host.AddChannel(L"fid", L"fiducial(Ch1,ref,0.08,0,0.5,1.2,0,10,0,0,0,0,0)"));
}

// Every beat of record 1 that the host hands out now, through the analysis host's event source.
std::vector<HRV::FiducialEvent> BeatsNow(vx::host::HrvHostDocument& host)
{
    HRV::ChannelRef ref;
    EXPECT_TRUE(host.FindChannel(L"fid", ref));
    IEnumEventEx* events = host.OpenEvents(ref, 1, 0, 0x7FFFFFFF);
    EXPECT_NE(events, nullptr);
    std::vector<HRV::FiducialEvent> beats;
    if (!events)
        return beats;
    std::vector<HRV::FiducialEvent> buffer(16);
    for (int guard = 0; guard < 1000; ++guard) {
        DWORD count = 0;
        LONG next = 0;
        const HRESULT hr = events->Next(
            static_cast<DWORD>(buffer.size() * sizeof(HRV::FiducialEvent)), 0x7FFFFFFF, buffer.data(), &count, &next);
        EXPECT_TRUE(SUCCEEDED(hr));
        beats.insert(beats.end(), buffer.begin(), buffer.begin() + count);
        if (hr != S_OK || count == 0)
            break;
    }
    events->Release();
    return beats;
}

bool SameBits(double a, double b)
{
    return std::memcmp(&a, &b, sizeof a) == 0;
}

// Position, number, RR, complexity and class of a beat as the document uses them.
bool SameBeat(const HRV::FiducialEvent& a, const HRV::FiducialEvent& b)
{
    return a.mPosition == b.mPosition && a.mBeatNumber == b.mBeatNumber && a.mClass == b.mClass
        && SameBits(a.mRR, b.mRR) && SameBits(a.mComplexity, b.mComplexity) && SameBits(a.mPeakValue, b.mPeakValue);
}

using SamplingHost = vx::integration::test::LoadedExtension;

TEST_F(SamplingHost, BeatsHandedOutWhileTheRecordGrowsAreTheBeatsOfTheWholeRecord)
{
    const std::vector<float> signal = PulseTrain();

    // The record read whole.
    auto whole = EmptyRecording();
    whole->AddRecord(kInterval, 0.0);
    whole->records[1].channels[0] = vx::host::SampleStore(signal);
    whole->records[1].length = kLength;
    vx::host::HrvHostDocument batch(whole);
    ASSERT_EQ(batch.RegisterEnumerators(objects), 2);
    AddBeatChannels(batch);
    const std::vector<HRV::FiducialEvent> expected = BeatsNow(batch);
    ASSERT_EQ(expected.size(), static_cast<std::size_t>((kLength - 100 - kFirstPeak) / kPeriod + 2));
    ASSERT_EQ(expected.back().mPosition, kLength - 20);

    // The same record sampled, read after every block, with no settle time of the host's own:
    // what is handed out comes from the enumerators alone. Blocks end on a rising edge (the last
    // sample looks like a peak), just after a peak (the beat's window is cut short) and in
    // between.
    vx::host::HrvHostOptions options;
    options.onlineSettleSeconds = 0.0;
    vx::host::HrvHostDocument online(EmptyRecording(), options);
    ASSERT_EQ(online.RegisterEnumerators(objects), 2);
    AddBeatChannels(online);
    ASSERT_TRUE(online.Document().StartSampling(kInterval));
    ASSERT_EQ(online.GetRecording().samplingRecord, 1);
    const auto peak = [](int k) { return kFirstPeak + k * kPeriod; };
    const std::vector<int64_t> blockEnds { peak(2) - 2, peak(5) + 4, peak(9) + 1, peak(12) - 1, peak(15) + 8,
        peak(18) + 150, kLength };
    int64_t at = 0;
    std::size_t handedOut = 0;
    for (int64_t end : blockEnds) {
        SCOPED_TRACE("data up to " + std::to_string(end));
        ASSERT_TRUE(online.Document().DeliverBlock(
            { std::span<const float>(signal.data() + at, static_cast<std::size_t>(end - at)) }));
        at = end;
        const std::vector<HRV::FiducialEvent> now = BeatsNow(online);
        ASSERT_LE(now.size(), expected.size());
        for (std::size_t i = 0; i < now.size(); ++i)
            EXPECT_TRUE(SameBeat(now[i], expected[i]))
                << "beat " << i << " at " << now[i].mPosition << ", " << expected[i].mPosition << " read whole";
        handedOut = now.size();
    }
    // The last pulse's window is not whole until sampling has ended.
    EXPECT_EQ(handedOut, expected.size() - 1);

    online.Document().StopSampling();
    const std::vector<HRV::FiducialEvent> after = BeatsNow(online);
    ASSERT_EQ(after.size(), expected.size());
    for (std::size_t i = 0; i < after.size(); ++i)
        EXPECT_TRUE(SameBeat(after[i], expected[i])) << "beat " << i;
}

} // namespace
