#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

namespace HRV {

// Counts of values in bins of equal width: a value v falls into bin floor(v / mBinWidth), and
// mCounts[j] holds the count of bin mFirstBin + j. The views draw these fields directly.
class Histogram {
public:
    // A bin width that needs more bins than this for the values at hand is refused: the
    // histogram would cost memory without showing anything a user can read.
    static constexpr std::size_t kMaxBins = 100000;

    // Rebuilds the histogram from the values. False, with the histogram unchanged, when the bin
    // width is not above 0, there are no values, a value is not finite, or more than kMaxBins
    // bins (or bin indexes outside 32 bits) would be needed.
    bool Build(const std::vector<double>& values, double binWidth);

    // Adds one value, growing the bins at either end as needed. False, with the histogram
    // unchanged, when mBinWidth is not above 0, the value is not finite or the histogram would
    // need more than kMaxBins bins.
    bool Add(double value);

    // Sum of all counts.
    double Total() const;

    void Clear();

    double mBinWidth = 0.0; // seconds
    int32_t mFirstBin = 0;
    std::vector<double> mCounts;
};

} // namespace HRV
