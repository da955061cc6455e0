#include "hrv/analysis/AnalysisEngine.h"
#include "hrv/core/Settings.h"

#include "foundation/base/SimpleUnknownImp.h"

#include <gtest/gtest.h>

#include <cmath>
#include <map>
#include <memory>
#include <set>

using namespace HRV;

namespace {

// A host event enumeration over a list of beat events, handed out `chunk` at a time per call.
class ListEvents final : public SimpleUnknownImp1<IEnumEventEx, 0> {
public:
    ListEvents(std::vector<FiducialEvent> events, int32_t start, bool online = false)
        : mEvents(std::move(events))
        , mStart(start)
        , mOnline(online)
    {
    }
    HRESULT Next(ULONG bytes, LONG end, void* buffer, ULONG* count, LONG* next) override
    {
        *count = 0;
        auto* out = static_cast<FiducialEvent*>(buffer);
        while (mIndex < mEvents.size() && *count < bytes / 80) {
            const FiducialEvent& e = mEvents[mIndex];
            if (e.mPosition >= end)
                break;
            ++mIndex;
            if (e.mPosition < mStart)
                continue;
            out[(*count)++] = e;
        }
        *next = mIndex < mEvents.size() || mOnline ? end : 0x7FFFFFFF;
        return !mOnline && *next == 0x7FFFFFFF ? S_FALSE : S_OK;
    }
    HRESULT Find(LONG, LONG, LONG, LONG) override { return E_NOTIMPL; }
    HRESULT GetPosition(LONG* p) override { return *p = 0, S_OK; }
    HRESULT Reserved6(LONG*) override { return E_NOTIMPL; }
    HRESULT Clone(IEnumEventEx**) override { return E_NOTIMPL; }
    HRESULT GetRecordSize(ULONG* b) override { return *b = 80, S_OK; }
    HRESULT GetEventType(DWORD* id) override { return *id = 0, S_OK; }
    HRESULT Reserved10(LONG*) override { return E_NOTIMPL; }
    HRESULT GetTimeBase(vx::hf::RateRatio* r) override { return *r = {}, S_OK; }
    void Add(const FiducialEvent& e) { mEvents.push_back(e); }

private:
    std::vector<FiducialEvent> mEvents;
    std::size_t mIndex = 0;
    int32_t mStart = 0;
    bool mOnline = false;
};

class FakeHost final : public IAnalysisHost {
public:
    std::map<int32_t, std::vector<FiducialEvent>> beats; // by record
    std::map<int32_t, RecordInfo> infos;
    std::vector<int32_t> opened;
    ListEvents* online = nullptr;
    int32_t records = 1;

    int32_t RecordCount() override { return records; }
    bool GetRecordInfo(int32_t r, RecordInfo& info) override
    {
        if (!infos.count(r))
            return false;
        info = infos[r];
        return true;
    }
    IEnumEventEx* OpenEvents(const ChannelRef&, int32_t record, int32_t start, int32_t) override
    {
        opened.push_back(record);
        if (online) {
            online->AddRef();
            return online;
        }
        auto* e = new ListEvents(beats[record], start);
        e->AddRef();
        return e;
    }
    int32_t SampledRecord() override { return 0; }
};

// The beats of a record at the given positions (dt 1 ms), classified as the fiducial core does
// with ectopic exclusion off and a wide box, except the beat indexes marked ectopic.
std::vector<FiducialEvent> MakeBeats(const std::vector<int32_t>& at, const std::set<std::size_t>& ectopic = {})
{
    std::vector<FiducialEvent> out;
    double lastRR = MissingValue();
    for (std::size_t i = 0; i < at.size(); ++i) {
        FiducialEvent e;
        e.mPosition = at[i];
        e.mBeatNumber = static_cast<int32_t>(i + 1);
        e.mComplexity = 1.2;
        e.mRR = i ? (at[i] - at[i - 1]) * 0.001 : MissingValue();
        e.mRate = 1.0 / e.mRR;
        e.mDeltaRR = e.mRR - lastRR;
        lastRR = e.mRR;
        if (std::isnan(e.mRR))
            e.mClass = 255;
        else
            e.mClass = (ectopic.count(i) ? 1u : 0u) | 0x100u | (std::isnan(e.mDeltaRR) ? 0u : 0x200u);
        out.push_back(e);
    }
    return out;
}

TEST(AnalysisEngine, BatchSkipsFirstTwoBeatsOfEachRecordAndCountsClasses)
{
    FakeHost host;
    host.records = 2;
    host.infos[0] = { 0.001, 0.0, 0.0, 0, 10000 };
    host.infos[1] = { 0.001, 100.0, 0.0, 0, 10000 };
    host.beats[0] = MakeBeats({ 100, 900, 1700, 2600, 3400 }, { 3 });
    host.beats[1] = MakeBeats({ 200, 1000, 1900, 2700 });
    AnalysisEngine engine;
    AnalysisParameters params = DefaultAnalysisParameters();
    const std::size_t used = engine.Analyse(0xFFFFFFFF, &host, {}, { 0, 0 }, { 0x7FFFFFFE, 0x7FFFFFFF }, params);
    EXPECT_EQ(used, 5u);
    EXPECT_EQ(host.opened, (std::vector<int32_t> { 0, 1 }));
    EXPECT_EQ(engine.mBeats.size(), 5u);
    EXPECT_EQ(engine.mEctopicCount, 1u);
    EXPECT_EQ(engine.mNormalCount, 4u);
    EXPECT_DOUBLE_EQ(engine.mRR[0], 0.8);
    EXPECT_DOUBLE_EQ(engine.mBeatTimes[0], 1.7);
    // Records that start at different times: the beat's time is the host's time of its sample.
    EXPECT_DOUBLE_EQ(engine.mBeatTimes[3], 100.0 + 1.9);
    EXPECT_DOUBLE_EQ(engine.mMinRR, 0.8);
    EXPECT_DOUBLE_EQ(engine.mMaxRR, 0.9);
    EXPECT_EQ(engine.mStats.mCount, 5u);
    EXPECT_EQ(engine.mPoincarePoints[1].mPreviousRR, 0.8);
}

// Engines that share a memo (the data-pad parameters of one range) compute the statistics and
// the spectrum once; a memo never answers for other beats or other parameters.
TEST(AnalysisEngine, SharedMemoAnswersOnlyForTheSameBeatsAndParameters)
{
    std::vector<int32_t> at;
    for (int32_t i = 0; i < 400; ++i)
        at.push_back(1000 * i + static_cast<int32_t>(60.0 * std::sin(0.3 * i)));
    auto analyse
        = [](const std::vector<int32_t>& positions, const AnalysisParameters& p, std::shared_ptr<AnalysisMemo> memo) {
              FakeHost host;
              host.infos[0] = { 0.001, 0.0, 0.0, 0, 500000 };
              host.beats[0] = MakeBeats(positions);
              auto engine = std::make_unique<AnalysisEngine>();
              engine->mMemo = std::move(memo);
              engine->Analyse(0xFFFFFFFF, &host, {}, { 0, 0 }, { 0, 450000 }, p);
              return engine;
          };
    const AnalysisParameters defaults = DefaultAnalysisParameters();
    AnalysisParameters narrower = DefaultAnalysisParameters();
    narrower.mMaxFrequency = 0.4;
    std::vector<int32_t> moved = at;
    moved[200] += 40;

    auto memo = std::make_shared<AnalysisMemo>();
    const auto first = analyse(at, defaults, memo);
    const struct {
        const char* what;
        const std::vector<int32_t>& beats;
        const AnalysisParameters& params;
    } cases[] = {
        { "the same beats and parameters", at, defaults },
        { "one beat moved", moved, defaults },
        { "another grid", at, narrower },
        { "the first beats again", at, defaults },
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        const auto shared = analyse(c.beats, c.params, memo);
        const auto own = analyse(c.beats, c.params, nullptr);
        EXPECT_EQ(shared->mSpectrum.mPower, own->mSpectrum.mPower);
        EXPECT_EQ(shared->mSpectrum.mTotalPower, own->mSpectrum.mTotalPower);
        EXPECT_EQ(shared->mStats.mCount, own->mStats.mCount);
        EXPECT_EQ(shared->mStats.mMedianRR, own->mStats.mMedianRR);
        EXPECT_EQ(shared->mSegments.mNumSegments, own->mSegments.mNumSegments);
    }
    EXPECT_EQ(first->mRR.size(), 398u);
    EXPECT_NE(analyse(moved, defaults, nullptr)->mSpectrum.mPower, first->mSpectrum.mPower);
}

TEST(AnalysisEngine, RangeWordsNeverWalkPastTheRecordCount)
{
    struct Case {
        RecordPosition start, end;
        std::vector<int32_t> opened;
    };
    const Case cases[] = {
        { { 0, 0 }, { 0x7FFFFFFF, 0x7FFFFFFF }, { 0, 1, 2 } }, // end not set
        { { 0, 0 }, { 0x7FFFFFFE, 500 }, { 0, 1, 2 } }, // the last record
        { { 0x7FFFFFFF, 0x7FFFFFFF }, { 0x7FFFFFFF, 0x7FFFFFFF }, { 0, 1, 2 } },
        { { 1, 0 }, { 1, 2000 }, { 1 } },
        { { 2, 0 }, { 9, 0 }, { 2 } },
    };
    for (const Case& c : cases) {
        FakeHost host;
        host.records = 3;
        for (int r = 0; r < 3; ++r)
            host.infos[r] = { 0.001, 10.0 * r, 0.0, 0, 10000 };
        AnalysisEngine engine;
        engine.Analyse(0xFFFFFFFF, &host, {}, c.start, c.end, DefaultAnalysisParameters());
        EXPECT_EQ(host.opened, c.opened);
    }
}

TEST(AnalysisEngine, BeatTimeSubtractsTheBaseOnce)
{
    const RecordInfo info { 0.002, 50.0, 1.0, 100, 10000 };
    EXPECT_DOUBLE_EQ(TimeOfPosition(info, 100), 49.0);
    EXPECT_DOUBLE_EQ(TimeOfPosition(info, 600), 50.0);
}

TEST(AnalysisEngine, OnlineAddsBeatsAndComputesOneSpectrumPerBlock)
{
    FakeHost host;
    host.infos[0] = { 0.001, 0.0, 0.0, 0, 0 };
    auto* online = new ListEvents({}, 0, true);
    online->AddRef();
    host.online = online;
    AnalysisEngine engine;
    AnalysisParameters params = DefaultAnalysisParameters();
    ASSERT_TRUE(engine.StartOnline(&host, {}, 0, 0, params));
    EXPECT_EQ(engine.Analyse(0xFFFFFFFF, &host, {}, { 0, 0 }, { 0, 0 }, params), 0u); // refused while online
    EXPECT_EQ(engine.ProcessOnline(), 1); // nothing yet

    std::vector<int32_t> at;
    for (int i = 0; i < 40; ++i)
        at.push_back(500 + 800 * i + (i % 3) * 20);
    const auto beats = MakeBeats(at);
    for (std::size_t i = 0; i < 30; ++i)
        online->Add(beats[i]);
    EXPECT_EQ(engine.ProcessOnline(), 0);
    // The second beat (NaN delta-RR) is in the beats but not in the series.
    EXPECT_EQ(engine.mBeats.size(), 29u);
    EXPECT_EQ(engine.mRR.size(), 28u);
    EXPECT_EQ(engine.mStats.mCount, 28u);
    EXPECT_EQ(engine.mSpectrumUpdates, 1u);
    for (std::size_t i = 30; i < 40; ++i)
        online->Add(beats[i]);
    EXPECT_EQ(engine.ProcessOnline(), 0);
    EXPECT_EQ(engine.mSpectrumUpdates, 2u);
    EXPECT_EQ(engine.mRR.size(), 38u);

    // The online spectrum equals the batch spectrum of the same series.
    Spectrum batch;
    ComputeSpectrum(batch, 0xFF, engine.mRR, engine.mBeatTimes, params);
    ASSERT_EQ(batch.mPower.size(), engine.mSpectrum.mPower.size());
    EXPECT_EQ(batch.mPower, engine.mSpectrum.mPower);
    EXPECT_EQ(batch.mLFPower, engine.mSpectrum.mLFPower);
    engine.StopOnline();
    online->Release();
}

TEST(AnalysisEngine, DocumentSettingsGiveRangeAndParameters)
{
    FakeHost host;
    host.records = 3;
    for (int r = 0; r < 3; ++r) {
        host.infos[r] = { 0.001, 10.0 * r, 0.0, 0, 10000 };
        host.beats[r] = MakeBeats({ 100, 900, 1700, 2600, 3400 });
    }
    auto* settings = new Settings();
    settings->AddRef();
    AnalysisEngine engine;
    EXPECT_EQ(engine.Analyse(0xFFFFFFFF, &host, {}, nullptr), 0u);
    settings->mRangeStart.mRecord = 1;
    settings->mRangeStart.mOffset = 0;
    settings->mRangeEnd.mRecord = kLastRecord;
    settings->mRangeEnd.mOffset = 0x7FFFFFFF;
    EXPECT_EQ(engine.Analyse(0xFFFFFFFF, &host, {}, settings), 6u);
    EXPECT_EQ(host.opened, (std::vector<int32_t> { 1, 2 }));
    EXPECT_DOUBLE_EQ(engine.mBeatTimes.front(), 10.0 + 1.7);
    settings->Release();
}

TEST(AnalysisEngine, ResetAndPartialAnalysis)
{
    AnalysisEngine engine;
    EXPECT_EQ(engine.mMinRR, 0.8);
    engine.Reset();
    EXPECT_TRUE(std::isnan(engine.mMinRR) && std::isnan(engine.mMaxComplexity));
    FakeHost host;
    host.infos[0] = { 0.001, 0.0, 0.0, 0, 10000 };
    host.beats[0] = MakeBeats({ 100, 900, 1700, 2600, 3400 });
    EXPECT_EQ(engine.Analyse(0xFF000000, &host, {}, { 0, 0 }, { 0, 0x7FFFFFFF }, DefaultAnalysisParameters()), 0u);
    EXPECT_EQ(engine.Analyse(0xFFFFFFFF, &host, {}, { 0, 0 }, { 0, 0x7FFFFFFF }, DefaultAnalysisParameters()), 3u);
    // Bits 0-23 only: the series stay, only the statistics are recomputed.
    host.opened.clear();
    EXPECT_EQ(engine.Analyse(0x10000, &host, {}, { 0, 0 }, { 0, 0x7FFFFFFF }, DefaultAnalysisParameters()), 3u);
    EXPECT_TRUE(host.opened.empty());
}

} // namespace
