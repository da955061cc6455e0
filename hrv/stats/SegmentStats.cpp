#include "hrv/stats/SegmentStats.h"

#include "hrv/stats/RunningMoments.h"

#include <cmath>
#include <limits>

namespace HRV {

namespace {

bool UsableLength(double length)
{
    return length > 0.0 && std::isfinite(length);
}

} // namespace

double SegmentStats::NextSegmentEnd(double end, double length, double time)
{
    if (!UsableLength(length) || !std::isfinite(end) || !std::isfinite(time))
        return std::numeric_limits<double>::quiet_NaN();
    if (end > time)
        return end;
    // Jump by whole lengths instead of stepping: a long gap or a short length must not cost one
    // loop turn per empty segment. The fix-up loop only absorbs rounding of the product.
    double e = end + (std::floor((time - end) / length) + 1.0) * length;
    while (!(e > time)) {
        const double next = e + length;
        e = next > e ? next : std::nextafter(time, std::numeric_limits<double>::infinity());
    }
    return e;
}

uint64_t SegmentStats::Compute(uint32_t what, const std::vector<double>& rr, const std::vector<double>& beatTimes,
    double startTime, double endTime, const AnalysisParameters& settings)
{
    if ((what & kSegmentMask) == 0)
        return mNumSegments;
    *this = SegmentStats {};
    mSegmentLength = settings.mSDARRAveraging;
    mSegmentEnd = 0.0;
    const double length = mSegmentLength;
    if (!UsableLength(length) || !std::isfinite(startTime))
        return 0;

    const std::size_t n = rr.size() < beatTimes.size() ? rr.size() : beatTimes.size();
    double end = startTime + length;
    if (n > 0 && std::isfinite(beatTimes[0]))
        end = NextSegmentEnd(end, length, beatTimes[0]);

    std::vector<double> means;
    double sum = 0.0;
    uint64_t count = 0;
    for (std::size_t i = 0; i < n; ++i) {
        const double t = beatTimes[i];
        if (!std::isfinite(t))
            continue; // an interval without a time belongs to no segment
        if (t < end) {
            sum += rr[i];
            ++count;
            continue;
        }
        if (count > 0)
            means.push_back(sum / static_cast<double>(count));
        sum = rr[i];
        count = 1;
        end = NextSegmentEnd(end, length, t);
    }
    if (count > 0 && endTime >= end) {
        means.push_back(sum / static_cast<double>(count));
        sum = 0.0;
        count = 0;
        end += length;
    }

    // The sums are formed whenever the segments are, not only for bit 8: the reset above has
    // cleared them, and a mean count without its sums would read as an SDARR of 0.
    mSumOfMeans = SumOf(means);
    mM2OfMeans = SumOfSquaredDeviations(means);
    mNumSegments = means.size();
    mSegmentEnd = end;
    mSegmentSum = sum;
    mSegmentCount = count;
    return mNumSegments;
}

bool SegmentStats::CloseSegment()
{
    const bool hadIntervals = mSegmentCount > 0;
    if (hadIntervals) {
        ++mNumSegments;
        UpdateRunningMoments(
            mNumSegments, mSegmentSum / static_cast<double>(mSegmentCount), mSumOfMeans, mSumSqOfMeans, mM2OfMeans);
    }
    mSegmentSum = 0.0;
    mSegmentCount = 0;
    return hadIntervals;
}

void SegmentStats::AddInterval(double rr, double beatTime)
{
    if (!UsableLength(mSegmentLength) || !std::isfinite(mSegmentEnd) || !std::isfinite(beatTime))
        return;
    if (beatTime < mSegmentEnd) {
        mSegmentSum += rr;
        ++mSegmentCount;
        return;
    }
    // A segment the beats skipped entirely has no mean; 0/0 must not enter the SDARR sums.
    CloseSegment();
    mSegmentSum = rr;
    mSegmentCount = 1;
    mSegmentEnd = NextSegmentEnd(mSegmentEnd, mSegmentLength, beatTime);
}

} // namespace HRV
