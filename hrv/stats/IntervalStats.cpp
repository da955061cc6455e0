#include "hrv/stats/IntervalStats.h"

#include "hrv/stats/RunningMoments.h"

#include <algorithm>
#include <cmath>
#include <limits>

namespace HRV {

namespace {

double SampleDeviation(double m2, uint64_t n)
{
    return n < 2 ? 0.0 : std::sqrt(m2 / static_cast<double>(n - 1));
}

double Variance(double m2, uint64_t n)
{
    return n < 2 ? 0.0 : m2 / static_cast<double>(n - 1);
}

} // namespace

bool IntervalStats::Compute(uint32_t what, const std::vector<double>& rr, const std::vector<double>& deltaRR,
    const std::vector<double>& rate, const AnalysisParameters& settings)
{
    if ((what & kStatsMask) == 0)
        return false;
    mCount = rr.size();

    if (what & kStatsSums) {
        mSumRR = SumOf(rr);
        mSumDeltaRR = SumOf(deltaRR);
        mSumRate = SumOf(rate);
        mSumSqRR = SumOfSquares(rr);
        mSumSqDeltaRR = SumOfSquares(deltaRR);
        mSumSqRate = SumOfSquares(rate);
        mM2RR = SumOfSquaredDeviations(rr);
        mM2DeltaRR = SumOfSquaredDeviations(deltaRR);
        mM2Rate = SumOfSquaredDeviations(rate);
        mDeltaCount = deltaRR.size();
    }

    if (what & kStatsHistograms) {
        double rrWidth = settings.mHistogramBinWidth;
        double deltaWidth = settings.mHistogramBinWidth;
        if (settings.mAutoBinWidth) {
            // Scott's rule (Biometrika 66(3):605-610, 1979), from the sums as they stand.
            const double root = std::cbrt(static_cast<double>(mCount));
            rrWidth = 3.5 * SDRR() / root;
            deltaWidth = 3.5 * SDSD() / root;
        }
        mRRHistogram.Build(rr, rrWidth);
        mDeltaRRHistogram.Build(deltaRR, deltaWidth);
    }

    if (what & kStatsThresholdAndMedian) {
        mThreshold = settings.mPRRThreshold;
        mCountOverThreshold = static_cast<uint64_t>(std::count_if(
            deltaRR.begin(), deltaRR.end(), [this](double d) { return ExceedsThreshold(d, mThreshold); }));
        mMedianRR = MedianOf(rr);
    }
    return true;
}

void IntervalStats::AddInterval(double rr, double deltaRR, double rate)
{
    ++mCount;
    UpdateRunningMoments(mCount, rr, mSumRR, mSumSqRR, mM2RR);
    UpdateRunningMoments(mCount, rate, mSumRate, mSumSqRate, mM2Rate);
    mRRHistogram.Add(rr);
    mMedianRR = HistogramMedian(mRRHistogram, mCount);
    if (std::isnan(deltaRR))
        return;
    ++mDeltaCount;
    UpdateRunningMoments(mDeltaCount, deltaRR, mSumDeltaRR, mSumSqDeltaRR, mM2DeltaRR);
    mDeltaRRHistogram.Add(deltaRR);
    if (ExceedsThreshold(deltaRR, mThreshold))
        ++mCountOverThreshold;
}

bool IntervalStats::ExceedsThreshold(double deltaRR, double threshold)
{
    return std::fabs(deltaRR) - threshold > kThresholdTieTolerance;
}

double IntervalStats::MedianOf(const std::vector<double>& values)
{
    if (values.empty())
        return 0.0;
    // Sorting with a NaN breaks the ordering the selection relies on; a NaN median is the
    // honest answer.
    if (std::any_of(values.begin(), values.end(), [](double v) { return std::isnan(v); }))
        return std::nan("");
    std::vector<double> copy(values);
    const std::size_t mid = copy.size() / 2;
    std::nth_element(copy.begin(), copy.begin() + static_cast<std::ptrdiff_t>(mid), copy.end());
    const double upper = copy[mid];
    if (copy.size() % 2 == 1)
        return upper;
    const double lower = *std::max_element(copy.begin(), copy.begin() + static_cast<std::ptrdiff_t>(mid));
    return 0.5 * (lower + upper);
}

double IntervalStats::HistogramMedian(const Histogram& histogram, uint64_t count)
{
    const double w = histogram.mBinWidth;
    if (!(w > 0.0) || histogram.mCounts.empty() || count == 0)
        return 0.0;
    // A value the histogram refused (too many bins) is missing from it; a median read from the
    // rest would look right and be wrong.
    if (histogram.Total() != static_cast<double>(count))
        return std::nan("");
    // Grouped-data median: lower edge of the median bin plus the share of that bin still needed.
    const double half = static_cast<double>(count) / 2.0;
    double cum = 0.0;
    for (std::size_t j = 0; j < histogram.mCounts.size(); ++j) {
        const double c = histogram.mCounts[j];
        if (cum + c >= half)
            return ((half - cum) / c) * w + (static_cast<double>(histogram.mFirstBin) + static_cast<double>(j)) * w;
        cum += c;
    }
    return std::nan(""); // unreachable: the total equals count
}

double IntervalStats::SDRR() const
{
    return SampleDeviation(mM2RR, mCount);
}

double IntervalStats::SDSD() const
{
    return SampleDeviation(mM2DeltaRR, mCount);
}

double IntervalStats::CVRR() const
{
    const double mean = mCount == 0 ? 0.0 : mSumRR / static_cast<double>(mCount);
    return SDRR() / mean;
}

double IntervalStats::SD1() const
{
    return SampleDeviation(mM2DeltaRR, mCount) * std::sqrt(0.5);
}

double IntervalStats::SD2() const
{
    // 2 varRR - varDeltaRR / 2 is 0 for a strictly alternating series, and rounding can then take
    // it a hair below zero: within a relative 1e-9 of the two terms it is 0. A radicand clearly
    // below zero (the changes vary more than the intervals allow) leaves SD2 without a value.
    const double twiceVarRR = 2.0 * Variance(mM2RR, mCount);
    const double halfVarDelta = 0.5 * Variance(mM2DeltaRR, mCount);
    const double radicand = twiceVarRR - halfVarDelta;
    if (radicand >= 0.0)
        return std::sqrt(radicand);
    if (radicand >= -kSD2Tolerance * (twiceVarRR + halfVarDelta))
        return 0.0;
    return std::numeric_limits<double>::quiet_NaN();
}

} // namespace HRV
