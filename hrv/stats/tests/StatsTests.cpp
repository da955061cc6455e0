#include "hrv/stats/tests/TestData.h"

#include "hrv/core/Settings.h"
#include "hrv/stats/Histogram.h"
#include "hrv/stats/IntervalStats.h"
#include "hrv/stats/RunningMoments.h"
#include "hrv/stats/SegmentStats.h"

#include <gtest/gtest.h>

#include <cmath>
#include <limits>

using namespace HRV;

namespace {

constexpr uint32_t kAllStats = kStatsSums | kStatsHistograms | kStatsThresholdAndMedian;

std::vector<double> RatesOf(const std::vector<double>& rr)
{
    std::vector<double> r;
    for (double v : rr)
        r.push_back(1.0 / v);
    return r;
}

// Hand-computable series. The deltas are given explicitly (the first one refers to an interval
// before the series).
struct StatsCase {
    const char* name;
    std::vector<double> rr;
    std::vector<double> deltaRR;
    double median, sdrr, sdsd, sd1, sd2;
    uint64_t overThreshold;
};

const StatsCase kStatsCases[] = {
    { "none", {}, {}, 0.0, 0.0, 0.0, 0.0, 0.0, 0 },
    { "one", { 0.8 }, { 0.02 }, 0.8, 0.0, 0.0, 0.0, 0.0, 0 },
    // SDRR = SDSD = sqrt(0.005); SD1 = 0.05; SD2 = sqrt(2 * 0.005 - 0.5 * 0.005).
    { "two", { 0.8, 0.9 }, { 0.0, 0.1 }, 0.85, std::sqrt(0.005), std::sqrt(0.005), 0.05, std::sqrt(0.0075), 1 },
    // RR mean 0.9, var 0.01; deltas mean 0.1/3, M2 = 0.05 - 0.01/3, var = M2 / 2.
    { "three", { 0.8, 1.0, 0.9 }, { 0.0, 0.2, -0.1 }, 0.9, 0.1, std::sqrt((0.05 - 0.01 / 3) / 2),
        std::sqrt((0.05 - 0.01 / 3) / 4), std::sqrt(0.02 - (0.05 - 0.01 / 3) / 4), 2 },
};

TEST(IntervalStatsTest, HandComputedSeries)
{
    for (const StatsCase& c : kStatsCases) {
        SCOPED_TRACE(c.name);
        IntervalStats s;
        ASSERT_TRUE(s.Compute(kAllStats, c.rr, c.deltaRR, RatesOf(c.rr), DefaultAnalysisParameters()));
        EXPECT_EQ(s.mCount, c.rr.size());
        EXPECT_NEAR(s.mMedianRR, c.median, 1e-15);
        EXPECT_NEAR(s.SDRR(), c.sdrr, 1e-15);
        EXPECT_NEAR(s.SDSD(), c.sdsd, 1e-15);
        EXPECT_NEAR(s.SD1(), c.sd1, 1e-15);
        EXPECT_NEAR(s.SD2(), c.sd2, 1e-15);
        EXPECT_EQ(s.mCountOverThreshold, c.overThreshold);
        EXPECT_EQ(s.mThreshold, 0.05);
        if (c.rr.empty())
            EXPECT_FALSE(std::isfinite(s.CVRR()));
        else
            EXPECT_NEAR(s.CVRR(), c.sdrr / (SumOf(c.rr) / static_cast<double>(c.rr.size())), 1e-15);
    }
}

TEST(IntervalStatsTest, ComputeDoesNothingWithoutItsBits)
{
    IntervalStats s;
    EXPECT_FALSE(s.Compute(0xFF00FFFF, { 0.8 }, { 0.0 }, { 1.25 }, DefaultAnalysisParameters()));
    EXPECT_EQ(s.mCount, 0u);
    // Only the threshold bit: the sums stay as they were.
    EXPECT_TRUE(s.Compute(
        kStatsThresholdAndMedian, { 0.8, 0.9 }, { 0.0, 0.1 }, { 1.25, 1.0 / 0.9 }, DefaultAnalysisParameters()));
    EXPECT_EQ(s.mCount, 2u);
    EXPECT_EQ(s.mSumRR, 0.0);
    EXPECT_EQ(s.mCountOverThreshold, 1u);
}

// RR from sample counts at 360 Hz; every difference is exactly 18 samples = 50 ms, a tie with
// the threshold, yet the subtraction of the rounded RR values lands on either side of 0.05.
TEST(IntervalStatsTest, DifferenceEqualToThresholdIsNotCounted)
{
    const int samples[] = { 288, 306, 324, 306, 288, 306, 324, 342, 324 };
    std::vector<double> rr, delta;
    for (std::size_t i = 1; i < std::size(samples); ++i) {
        rr.push_back(samples[i] / 360.0);
        delta.push_back(samples[i] / 360.0 - samples[i - 1] / 360.0);
    }
    std::size_t naive = 0;
    for (double d : delta)
        naive += std::fabs(d) > 0.05;
    ASSERT_GT(naive, 0u) << "the fixture must contain a tie that a plain comparison counts";

    IntervalStats batch;
    batch.Compute(kAllStats, rr, delta, RatesOf(rr), DefaultAnalysisParameters());
    EXPECT_EQ(batch.mCountOverThreshold, 0u);

    IntervalStats online;
    online.mThreshold = 0.05;
    for (std::size_t i = 0; i < rr.size(); ++i)
        online.AddInterval(rr[i], delta[i], 1.0 / rr[i]);
    EXPECT_EQ(online.mCountOverThreshold, 0u);

    // One sample more than the threshold counts.
    EXPECT_TRUE(IntervalStats::ExceedsThreshold(19 / 360.0, 0.05));
    EXPECT_TRUE(IntervalStats::ExceedsThreshold(-0.0500001, 0.05));
    EXPECT_FALSE(IntervalStats::ExceedsThreshold(std::nan(""), 0.05));
}

TEST(IntervalStatsTest, DegenerateSeriesGiveExactZerosNotNaN)
{
    // A constant series: the textbook sum(v^2) - n mean^2 is not 0 here and can be negative.
    const std::vector<double> constant(100000, 0.8);
    double sum = 0, sumSq = 0;
    for (double v : constant) {
        sum += v;
        sumSq += v * v;
    }
    ASSERT_LT(sumSq - sum * sum / 1e5, 0.0) << "the fixture must defeat the textbook formula";
    IntervalStats s;
    s.Compute(kAllStats, constant, std::vector<double>(100000, 0.0), RatesOf(constant), DefaultAnalysisParameters());
    EXPECT_GE(s.mM2RR, 0.0);
    EXPECT_LT(s.SDRR(), 1e-13);
    EXPECT_EQ(s.SDSD(), 0.0);
    EXPECT_FALSE(std::isnan(s.SD2()));
    EXPECT_EQ(s.mMedianRR, 0.8);
}

TEST(IntervalStatsTest, SD2HasNoValueWhenItsRadicandIsBelowZero)
{
    // 2 varRR - varDeltaRR / 2: zero for a strictly alternating series (deltas taken against the
    // interval before the series), where rounding may leave it a hair either side of zero; below
    // zero when the changes vary more than the intervals allow.
    const struct {
        const char* name;
        std::vector<double> rr, deltaRR;
        double sd2; // NaN: no value
    } cases[] = {
        { "alternating", { 0.8, 0.9, 0.8, 0.9, 0.8, 0.9 }, { -0.1, 0.1, -0.1, 0.1, -0.1, 0.1 }, 0.0 },
        { "alternating, in steps no binary fraction holds", { 0.7, 1.1, 0.7, 1.1 }, { -0.4, 0.4, -0.4, 0.4 }, 0.0 },
        // varRR = 0.01 / 3, varDeltaRR = 0.11 / 3: 2 varRR - varDeltaRR / 2 = -0.07 / 6.
        { "a first change far larger than the rest", { 0.85, 0.95, 0.85, 0.95 }, { -0.3, 0.1, -0.1, 0.1 },
            std::numeric_limits<double>::quiet_NaN() },
        // varRR = 0.0025, varDeltaRR = (0.005 / 3) / 2.
        { "rising", { 0.8, 0.85, 0.9 }, { 0.0, 0.05, 0.05 }, std::sqrt(2 * 0.0025 - 0.5 * 0.005 / 6) },
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        IntervalStats batch;
        batch.Compute(kAllStats, c.rr, c.deltaRR, RatesOf(c.rr), DefaultAnalysisParameters());
        IntervalStats online;
        for (std::size_t i = 0; i < c.rr.size(); ++i)
            online.AddInterval(c.rr[i], c.deltaRR[i], 1.0 / c.rr[i]);
        for (const IntervalStats* s : { &batch, &online }) {
            if (std::isnan(c.sd2))
                EXPECT_TRUE(std::isnan(s->SD2())) << s->SD2();
            else
                EXPECT_NEAR(s->SD2(), c.sd2, 1e-7);
        }
    }
    // Within the tolerance of the two terms a radicand below zero is rounding, beyond it a fact.
    IntervalStats s;
    s.mCount = 3;
    s.mM2RR = 1e-20;
    s.mM2DeltaRR = 4e-20 * (1 + 1e-12);
    EXPECT_EQ(s.SD2(), 0.0);
    s.mM2DeltaRR = 4e-20 * (1 + 1e-6);
    EXPECT_TRUE(std::isnan(s.SD2()));
}

TEST(IntervalStatsTest, AutoBinWidthFollowsScottsRule)
{
    AnalysisParameters p = DefaultAnalysisParameters();
    p.mAutoBinWidth = true;
    IntervalStats one;
    one.Compute(kAllStats, { 0.8 }, { 0.0 }, { 1.25 }, p);
    EXPECT_TRUE(one.mRRHistogram.mCounts.empty()) << "n = 1 gives a width of 0: no histogram";

    const std::vector<double> rr = { 0.8, 0.9, 1.0, 0.85, 0.95, 0.9, 0.8, 1.1 };
    std::vector<double> delta = { 0.0 };
    for (std::size_t i = 1; i < rr.size(); ++i)
        delta.push_back(rr[i] - rr[i - 1]);
    IntervalStats s;
    s.Compute(kAllStats, rr, delta, RatesOf(rr), p);
    EXPECT_DOUBLE_EQ(s.mRRHistogram.mBinWidth, 3.5 * s.SDRR() / 2.0); // cbrt(8) = 2
    EXPECT_DOUBLE_EQ(s.mDeltaRRHistogram.mBinWidth, 3.5 * s.SDSD() / 2.0);
    EXPECT_EQ(s.mRRHistogram.Total(), 8.0);
}

TEST(HistogramTest, BuildAndAdd)
{
    Histogram h;
    EXPECT_FALSE(h.Build({ 0.8 }, 0.0));
    EXPECT_FALSE(h.Build({ 0.8 }, -0.01));
    EXPECT_FALSE(h.Build({ 0.8 }, std::nan("")));
    EXPECT_FALSE(h.Build({}, 0.01));
    EXPECT_FALSE(h.Build({ 0.8, std::numeric_limits<double>::infinity() }, 0.01));
    EXPECT_FALSE(h.Add(0.8)) << "no bin width yet";

    ASSERT_TRUE(h.Build({ 0.25, 0.75, 0.7, -0.1 }, 0.5));
    EXPECT_EQ(h.mFirstBin, -1);
    EXPECT_EQ(h.mCounts, (std::vector<double> { 1, 1, 2 }));

    // Below the first bin: leading bins are inserted; above the last: trailing bins appended.
    ASSERT_TRUE(h.Add(-1.2));
    EXPECT_EQ(h.mFirstBin, -3);
    EXPECT_EQ(h.mCounts, (std::vector<double> { 1, 0, 1, 1, 2 }));
    ASSERT_TRUE(h.Add(2.0));
    EXPECT_EQ(h.mCounts, (std::vector<double> { 1, 0, 1, 1, 2, 0, 0, 1 }));
    EXPECT_FALSE(h.Add(std::nan("")));

    Histogram fresh;
    fresh.mBinWidth = 0.01;
    ASSERT_TRUE(fresh.Add(0.805));
    EXPECT_EQ(fresh.mFirstBin, 80);
    EXPECT_EQ(fresh.mCounts, (std::vector<double> { 1 }));
}

TEST(HistogramTest, RefusesMoreThanTheMaximumNumberOfBins)
{
    const double w = 1.0 / 1024; // exact in binary, so the bin of each value is known
    Histogram h;
    ASSERT_TRUE(h.Build({ 0.0, 99999 * w }, w)); // exactly 100000 bins
    EXPECT_EQ(h.mCounts.size(), Histogram::kMaxBins);
    const Histogram before = h;
    EXPECT_FALSE(h.Build({ 0.0, 100000 * w }, w)); // 100001 bins
    EXPECT_EQ(h.mCounts, before.mCounts);
    EXPECT_FALSE(h.Add(100000 * w));
    EXPECT_FALSE(h.Add(-w));
    EXPECT_EQ(h.mCounts, before.mCounts);
    EXPECT_FALSE(h.Build({ 0.0, 1e12 }, 1e-3)) << "indexes beyond 32 bits";

    // The statistics do not depend on the histogram.
    AnalysisParameters p = DefaultAnalysisParameters();
    p.mHistogramBinWidth = 1e-9;
    IntervalStats s;
    EXPECT_TRUE(s.Compute(kAllStats, { 0.8, 0.9 }, { 0.0, 0.1 }, { 1.25, 1 / 0.9 }, p));
    EXPECT_TRUE(s.mRRHistogram.mCounts.empty());
    EXPECT_NEAR(s.SDRR(), std::sqrt(0.005), 1e-15);
    EXPECT_DOUBLE_EQ(s.mMedianRR, 0.85);
}

TEST(IntervalStatsTest, OnlineMedianFromTheHistogram)
{
    IntervalStats s;
    s.mRRHistogram.mBinWidth = 0.01;
    s.mDeltaRRHistogram.mBinWidth = 0.01;
    s.AddInterval(0.805, std::nan(""), 1 / 0.805);
    EXPECT_NEAR(s.mMedianRR, 0.805, 1e-12) << "half of the one value's bin";
    EXPECT_EQ(s.mDeltaCount, 0u);
    EXPECT_EQ(s.mSumSqDeltaRR, 0.0);
    s.AddInterval(0.815, 0.01, 1 / 0.815);
    s.AddInterval(0.835, 0.02, 1 / 0.835);
    // Bins 80, 81, 83 with one value each; half = 1.5 falls in the middle of bin 81.
    EXPECT_NEAR(s.mMedianRR, 0.815, 1e-12);
    EXPECT_EQ(s.mDeltaCount, 2u);
    EXPECT_NEAR(s.mM2DeltaRR, 0.00005, 1e-18) << "running moments count the deltas they hold";

    // A value the histogram refuses makes the histogram median unknowable.
    s.AddInterval(2000.0, 0.0, 1 / 2000.0);
    EXPECT_TRUE(std::isnan(s.mMedianRR));
    EXPECT_EQ(s.mCount, 4u);

    IntervalStats noWidth;
    noWidth.AddInterval(0.8, 0.0, 1.25);
    EXPECT_EQ(noWidth.mMedianRR, 0.0);
}

TEST(RunningMomentsTest, MatchesTheBatchSums)
{
    const std::vector<double> v = { 0.81, 0.79, 0.95, 1.02, 0.77, 0.84, 0.88 };
    double sum = 0, sumSq = 0, m2 = 0;
    for (std::size_t i = 0; i < v.size(); ++i)
        UpdateRunningMoments(i + 1, v[i], sum, sumSq, m2);
    EXPECT_NEAR(sum, SumOf(v), 1e-15);
    EXPECT_NEAR(sumSq, SumOfSquares(v), 1e-15);
    EXPECT_NEAR(m2, SumOfSquaredDeviations(v), 1e-16);
    UpdateRunningMoments(0, 5.0, sum, sumSq, m2);
    EXPECT_NEAR(sum, SumOf(v), 1e-15) << "n = 0 adds nothing";
    EXPECT_EQ(SumOf({}), 0.0);
    EXPECT_EQ(SumOfSquaredDeviations({ 3.0 }), 0.0);
}

// Beats every second with RR 1 at times 1, 2, ... (the time of the beat that ends the interval).
void Beats(double from, double to, double rr, std::vector<double>& rrs, std::vector<double>& times)
{
    for (double t = from; t < to; t += 1.0) {
        rrs.push_back(rr);
        times.push_back(t);
    }
}

TEST(SegmentStatsTest, CompleteSegmentsOnly)
{
    struct Case {
        const char* name;
        std::vector<double> rr, times;
        double start, end;
        uint64_t segments;
        std::vector<double> means;
    };
    std::vector<Case> cases;
    {
        // 12 minutes: two complete 5-minute segments; the third is dropped.
        Case c { "twelve minutes", {}, {}, 0.0, 720.0, 2, { 0.8, 1.0 } };
        Beats(0.5, 300, 0.8, c.rr, c.times);
        Beats(300, 600, 1.0, c.rr, c.times);
        Beats(600, 720, 1.3, c.rr, c.times);
        cases.push_back(c);
    }
    {
        // A gap of two segments without beats gives no means for them.
        Case c { "gap", {}, {}, 0.0, 1200.0, 2, { 0.8, 1.1 } };
        Beats(0.5, 300, 0.8, c.rr, c.times);
        Beats(900, 1200, 1.1, c.rr, c.times);
        cases.push_back(c);
    }
    {
        // The first beat lies two segments after the start; the analysis ends exactly on an end.
        Case c { "late start", {}, {}, 100.0, 1000.0, 1, { 0.9 } };
        Beats(750, 1000, 0.9, c.rr, c.times);
        cases.push_back(c);
    }
    cases.push_back({ "no beats", {}, {}, 0.0, 1000.0, 0, {} });

    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        SegmentStats s;
        EXPECT_EQ(s.Compute(kSegmentSums, c.rr, c.times, c.start, c.end, DefaultAnalysisParameters()), c.segments);
        EXPECT_EQ(s.mNumSegments, c.segments);
        EXPECT_NEAR(s.mSumOfMeans, SumOf(c.means), 1e-12);
        EXPECT_NEAR(s.mM2OfMeans, SumOfSquaredDeviations(c.means), 1e-12);
        EXPECT_EQ(s.mSumSqOfMeans, 0.0);
    }
}

TEST(SegmentStatsTest, BitsAndDegenerateLengths)
{
    std::vector<double> rr, times;
    Beats(0.5, 600, 0.8, rr, times);
    SegmentStats s;
    s.mNumSegments = 7;
    EXPECT_EQ(s.Compute(0xFFFF00FF, rr, times, 0, 600, DefaultAnalysisParameters()), 7u);
    EXPECT_EQ(s.Compute(0x200, rr, times, 0, 600, DefaultAnalysisParameters()), 2u);
    EXPECT_NEAR(s.mSumOfMeans, 1.6, 1e-12) << "sums formed with the segments, bit 8 or not";

    for (double length : { 0.0, -300.0, std::nan(""), std::numeric_limits<double>::infinity() }) {
        AnalysisParameters p = DefaultAnalysisParameters();
        p.mSDARRAveraging = length;
        EXPECT_EQ(s.Compute(0x100, rr, times, 0, 600, p), 0u);
    }
    // A tiny length must not take a loop turn per empty segment.
    AnalysisParameters tiny = DefaultAnalysisParameters();
    tiny.mSDARRAveraging = 1e-9;
    EXPECT_EQ(s.Compute(0x100, { 0.8, 0.8 }, { 1e5, 2e5 }, 0, 1e5 + 0.5, tiny), 1u);
}

TEST(SegmentStatsTest, OnlineCountsASegmentWhenTheNextBegins)
{
    SegmentStats s;
    s.mSegmentLength = 300;
    s.mSegmentEnd = 300;
    std::vector<double> rr, times;
    Beats(0.5, 300, 0.8, rr, times);
    Beats(900, 1201, 1.1, rr, times); // a gap of two empty segments, then one beat past 1200
    for (std::size_t i = 0; i < rr.size(); ++i)
        s.AddInterval(rr[i], times[i]);
    EXPECT_EQ(s.mNumSegments, 2u);
    EXPECT_NEAR(s.mSumOfMeans, 1.9, 1e-12);
    EXPECT_NEAR(s.mSumSqOfMeans, 0.64 + 1.21, 1e-12);
    EXPECT_NEAR(s.mM2OfMeans, 0.045, 1e-12);
    EXPECT_EQ(s.mSegmentEnd, 1500.0);
    EXPECT_EQ(s.mSegmentCount, 1u);

    // A first beat past the first end: the empty segment gives no mean (no 0/0 in the sums).
    SegmentStats late;
    late.mSegmentLength = 300;
    late.mSegmentEnd = 300;
    late.AddInterval(0.8, 650);
    EXPECT_EQ(late.mNumSegments, 0u);
    EXPECT_EQ(late.mSegmentEnd, 900.0);
    EXPECT_TRUE(late.CloseSegment());
    EXPECT_EQ(late.mNumSegments, 1u);
    EXPECT_EQ(late.mSumOfMeans, 0.8);
}

// Independent oracle: MIT-BIH record 100 (all beats). Expected values from
// tools/hrv_oracle.py with numpy 1.24.2 and scipy 1.10.1 (Python 3.11, Debian 12): numpy.mean,
// numpy.median, numpy.std(ddof=1); pRR50 from exact integer sample differences (> 18 samples).
TEST(IntervalStatsTest, AgreesWithNumpyOnMitdb100)
{
    const auto samples = HRVTest::ReadBeatSamples("mitdb100_beats.txt");
    ASSERT_EQ(samples.size(), 2273u);
    const HRVTest::RRSeries s = HRVTest::SeriesFromSamples(samples, 360.0);

    IntervalStats st;
    ASSERT_TRUE(st.Compute(kAllStats, s.rr, s.deltaRR, s.rate, DefaultAnalysisParameters()));
    const double n = static_cast<double>(st.mCount);
    const auto rel = [](double expected) { return std::fabs(expected) * 1e-12; };
    EXPECT_EQ(st.mCount, 2271u);
    EXPECT_NEAR(st.mSumRR / n, 0.79458510690346884, rel(0.79458510690346884));
    EXPECT_NEAR(st.mMedianRR, 0.79722222222222228, rel(0.79722222222222228));
    EXPECT_NEAR(st.SDRR(), 0.048855224991474565, rel(0.048855224991474565));
    EXPECT_NEAR(st.SDSD(), 0.063245699103132255, rel(0.063245699103132255));
    EXPECT_NEAR(std::sqrt(st.mSumSqDeltaRR / n), 0.063231788265446648, rel(0.063231788265446648));
    EXPECT_NEAR(st.mSumRate / n, 1.2636299795923041, rel(1.2636299795923041));
    EXPECT_NEAR(std::sqrt(st.mM2Rate / (n - 1)), 0.08475896528322481, rel(0.08475896528322481));
    EXPECT_EQ(st.mCountOverThreshold, 218u) << "33 differences of exactly 50 ms are ties";
    EXPECT_NEAR(st.SD1(), 0.044721462716708765, rel(0.044721462716708765));
    EXPECT_NEAR(st.SD2(), 0.05266551803992086, rel(0.05266551803992086));
    EXPECT_EQ(st.mRRHistogram.mFirstBin, 52);
    const std::vector<double> counts = { 2, 5, 1, 1, 1, 2, 2, 4, 4, 3, 2, 1, 3, 3, 1, 2, 9, 13, 24, 36, 37, 39, 59, 117,
        163, 167, 265, 215, 261, 237, 174, 167, 117, 65, 24, 7, 6, 2, 2, 1, 0, 2, 1, 4, 3, 1, 4, 2, 5, 0, 4, 0, 0, 0, 0,
        0, 0, 0, 0, 0, 0, 1 };
    EXPECT_EQ(st.mRRHistogram.mCounts, counts);

    SegmentStats seg;
    ASSERT_EQ(seg.Compute(0xFFFFFFFF, s.rr, s.times, 0.0, 650000 / 360.0, DefaultAnalysisParameters()), 6u);
    EXPECT_NEAR(std::sqrt(seg.mM2OfMeans / 5.0), 0.016092757728578402, rel(0.016092757728578402));

    // The online path reaches the same sums; its median is read from 10 ms bins.
    IntervalStats online;
    online.mRRHistogram.mBinWidth = 0.01;
    online.mDeltaRRHistogram.mBinWidth = 0.01;
    for (std::size_t i = 0; i < s.rr.size(); ++i)
        online.AddInterval(s.rr[i], s.deltaRR[i], s.rate[i]);
    EXPECT_NEAR(online.SDRR(), st.SDRR(), rel(st.SDRR()));
    EXPECT_NEAR(online.SDSD(), st.SDSD(), rel(st.SDSD()));
    EXPECT_NEAR(online.mSumRate, st.mSumRate, rel(st.mSumRate));
    EXPECT_EQ(online.mCountOverThreshold, 218u);
    EXPECT_EQ(online.mRRHistogram.mCounts, counts);
    EXPECT_NEAR(online.mMedianRR, st.mMedianRR, 0.01);
}

struct FakeSettings {
    double mHistogramBinWidth = 0.02;
    uint8_t mAutoBinWidth = 1;
    double mPRRThreshold = 0.03;
    double mSDARRAveraging = 60.0;
    double mMaxFrequency = 0.4;
    double mVLFLow = 0.001, mVLFHigh = 0.05, mLFLow = 0.05, mLFHigh = 0.2, mHFLow = 0.2, mHFHigh = 0.35;
    int32_t mNumFrequencies = 400;
    int32_t mDataWindow = 2;
};

TEST(AnalysisParametersTest, DefaultsAndCopyFromSettings)
{
    const AnalysisParameters d = DefaultAnalysisParameters();
    EXPECT_EQ(d.mHistogramBinWidth, 0.01);
    EXPECT_EQ(d.mPRRThreshold, 0.05);
    EXPECT_EQ(d.mSDARRAveraging, 300.0);
    EXPECT_EQ(d.mNumFrequencies, 500);
    EXPECT_EQ(d.mDataWindow, 5);
    EXPECT_EQ(d.mHFHigh, 0.45);
    const AnalysisParameters p = AnalysisParametersFrom(FakeSettings {});
    EXPECT_TRUE(p.mAutoBinWidth);
    EXPECT_EQ(p.mHistogramBinWidth, 0.02);
    EXPECT_EQ(p.mSDARRAveraging, 60.0);
    EXPECT_EQ(p.mVLFLow, 0.001);
    EXPECT_EQ(p.mHFHigh, 0.35);
    EXPECT_EQ(p.mNumFrequencies, 400);
    EXPECT_EQ(p.mDataWindow, 2);
}

} // namespace
