#include "hrv/stats/Histogram.h"

#include <algorithm>
#include <cmath>
#include <limits>

namespace HRV {

namespace {

// floor(value / width) as a bin index, or false when it is not a finite 32-bit index.
bool BinIndex(double value, double width, int64_t& index)
{
    const double b = std::floor(value / width);
    if (!(b >= static_cast<double>(std::numeric_limits<int32_t>::min())
            && b <= static_cast<double>(std::numeric_limits<int32_t>::max())))
        return false;
    index = static_cast<int64_t>(b);
    return true;
}

bool UsableWidth(double width)
{
    return width > 0.0 && std::isfinite(width);
}

} // namespace

bool Histogram::Build(const std::vector<double>& values, double binWidth)
{
    if (!UsableWidth(binWidth) || values.empty())
        return false;
    const auto [lo, hi] = std::minmax_element(values.begin(), values.end());
    for (double v : values)
        if (!std::isfinite(v))
            return false;
    int64_t first = 0;
    int64_t last = 0;
    if (!BinIndex(*lo, binWidth, first) || !BinIndex(*hi, binWidth, last))
        return false;
    if (last - first + 1 > static_cast<int64_t>(kMaxBins))
        return false;

    std::vector<double> counts(static_cast<std::size_t>(last - first + 1), 0.0);
    for (double v : values) {
        // Division and floor are monotonic, so every index lies between those of lo and hi.
        const auto j = static_cast<int64_t>(std::floor(v / binWidth)) - first;
        counts[static_cast<std::size_t>(j)] += 1.0;
    }
    mBinWidth = binWidth;
    mFirstBin = static_cast<int32_t>(first);
    mCounts = std::move(counts);
    return true;
}

bool Histogram::Add(double value)
{
    if (!UsableWidth(mBinWidth) || !std::isfinite(value))
        return false;
    int64_t b = 0;
    if (!BinIndex(value, mBinWidth, b))
        return false;
    if (mCounts.empty()) {
        mFirstBin = static_cast<int32_t>(b);
        mCounts.assign(1, 1.0);
        return true;
    }
    const int64_t first = mFirstBin;
    const int64_t last = first + static_cast<int64_t>(mCounts.size()) - 1;
    if (b > last) {
        if (b - first + 1 > static_cast<int64_t>(kMaxBins))
            return false;
        mCounts.resize(static_cast<std::size_t>(b - first + 1), 0.0);
    } else if (b < first) {
        if (last - b + 1 > static_cast<int64_t>(kMaxBins))
            return false;
        mCounts.insert(mCounts.begin(), static_cast<std::size_t>(first - b), 0.0);
        mFirstBin = static_cast<int32_t>(b);
    }
    mCounts[static_cast<std::size_t>(b - mFirstBin)] += 1.0;
    return true;
}

double Histogram::Total() const
{
    double total = 0.0;
    for (double c : mCounts)
        total += c;
    return total;
}

void Histogram::Clear()
{
    mBinWidth = 0.0;
    mFirstBin = 0;
    mCounts.clear();
}

} // namespace HRV
