#pragma once

#include "hrv/stats/AnalysisParameters.h"

#include <cstdint>
#include <vector>

namespace HRV {

// Bits of the change mask that select the work of SegmentStats::Compute.
constexpr uint32_t kSegmentSums = 0x100;
constexpr uint32_t kSegmentMask = 0xFF00;

// Means of the RR intervals in consecutive segments of mSegmentLength seconds, for SDARR (the
// standard deviation of the segment means; Task Force of the ESC and NASPE, Circulation
// 93(5):1043-1065, 1996). An interval belongs to the segment in which its beat time lies.
struct SegmentStats {
    // Batch: the segment means of the whole analysis from startTime to endTime. A last segment
    // that endTime does not reach is dropped; segments without beats give no mean. Returns the
    // number of means; when none of bits 8-15 of `what` is set, returns mNumSegments unchanged
    // without work.
    uint64_t Compute(uint32_t what, const std::vector<double>& rr, const std::vector<double>& beatTimes,
        double startTime, double endTime, const AnalysisParameters& settings);

    // Online: one more interval whose beat ends at beatTime. A beat at or past mSegmentEnd first
    // closes the running segment (when it holds intervals) and moves mSegmentEnd past the beat.
    void AddInterval(double rr, double beatTime);

    // Online: closes the running segment when it holds intervals (its mean joins the running
    // moments) and starts an empty one; true when a mean was added.
    bool CloseSegment();

    // The first segment end after `time` on the grid end + k * length (k >= 0); `end` itself
    // when it already lies past `time`. NaN for an unusable length or time.
    static double NextSegmentEnd(double end, double length, double time);

    double mSumOfMeans = 0.0;
    double mSumSqOfMeans = 0.0; // kept only by the online path
    double mM2OfMeans = 0.0;
    uint64_t mNumSegments = 0;
    double mSegmentEnd = 0.0;
    double mSegmentSum = 0.0;
    uint64_t mSegmentCount = 0;
    double mSegmentLength = 300.0;
};

} // namespace HRV
