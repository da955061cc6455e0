#pragma once

#include "hrv/stats/AnalysisParameters.h"
#include "hrv/stats/Histogram.h"

#include <cstdint>
#include <vector>

namespace HRV {

// Bits of the change mask that select the work of IntervalStats::Compute.
constexpr uint32_t kStatsSums = 0x10000;
constexpr uint32_t kStatsHistograms = 0x20000;
constexpr uint32_t kStatsThresholdAndMedian = 0x40000;
constexpr uint32_t kStatsMask = 0x00FF0000;

// Running sums, histograms, counts and median of the RR, delta-RR and rate series, from which
// every time-domain and Poincare measure is read. All times are in seconds, rates in beats per
// second.
struct IntervalStats {
    // Two differences closer than this are the same difference: RR intervals come from sample
    // positions, and no recording is sampled at a gigahertz. The tolerance absorbs only the
    // rounding of RR minus previous RR, so that a difference of exactly the threshold (say 18
    // samples at 360 Hz against 50 ms) is a tie and is not counted, whichever way it rounds.
    static constexpr double kThresholdTieTolerance = 1e-9;

    // Batch computation over the finished series (the bits above select what). False, with
    // nothing changed, when none of bits 16-23 of `what` is set.
    bool Compute(uint32_t what, const std::vector<double>& rr, const std::vector<double>& deltaRR,
        const std::vector<double>& rate, const AnalysisParameters& settings);

    // Online update with one more interval. A NaN deltaRR updates only the RR and rate parts.
    void AddInterval(double rr, double deltaRR, double rate);

    // True when abs(deltaRR) is greater than the threshold, ties (within
    // kThresholdTieTolerance) excluded.
    static bool ExceedsThreshold(double deltaRR, double threshold);

    // Median of the values (mean of the two middle ones for an even count), 0 for none, NaN
    // when a value is NaN.
    static double MedianOf(const std::vector<double>& values);

    // Median interpolated inside the bins of a histogram that holds `count` values; 0 for an
    // unusable histogram or no values, NaN when the histogram does not hold all `count` values.
    static double HistogramMedian(const Histogram& histogram, uint64_t count);

    double SDRR() const;
    double SDSD() const;
    // SDRR over the mean RR, a ratio; not finite when there are no intervals.
    double CVRR() const;
    // Poincare plot axes (Brennan, McDonald, Clarke; IEEE Trans Biomed Eng 48(11):1342-1347, 2001):
    // SD1^2 = SDSD^2 / 2 and SD2^2 = 2 SDRR^2 - SDSD^2 / 2. SD2 is NaN (no value) when its
    // radicand is below zero by more than kSD2Tolerance of 2 SDRR^2 + SDSD^2 / 2 (rounding), and
    // 0 when within it. Every output of SD2 takes it from here.
    double SD1() const;
    double SD2() const;
    static constexpr double kSD2Tolerance = 1e-9;

    Histogram mRRHistogram;
    Histogram mDeltaRRHistogram;
    double mSumRR = 0.0;
    double mSumDeltaRR = 0.0;
    double mSumRate = 0.0;
    double mSumSqRR = 0.0;
    double mSumSqDeltaRR = 0.0;
    double mSumSqRate = 0.0;
    double mM2RR = 0.0;
    double mM2DeltaRR = 0.0;
    double mM2Rate = 0.0;
    uint64_t mCount = 0; // number of intervals n
    uint64_t mCountOverThreshold = 0; // pRRx numerator
    double mThreshold = 0.05;
    double mMedianRR = 0.0;
    // Number of delta-RR values in the delta sums. Equal to mCount except when the online path
    // is handed an interval without a delta; the running moments must count what they hold.
    uint64_t mDeltaCount = 0;
};

} // namespace HRV
