#pragma once
// Beat-detection scores as ANSI/AAMI EC57 defines them: each reference beat takes the nearest
// unmatched detection within a window (150 ms in the standard); sensitivity Se = TP / (TP + FN)
// and positive predictivity +P = TP / (TP + FP), in percent.
#include <cstdint>
#include <utility>
#include <vector>

namespace vx::ec57 {

struct Score {
    long tp = 0, fn = 0, fp = 0;
    std::vector<double> offsetsMs; // detection minus reference of each matched pair

    void Add(const Score& s);
    // 100 when there is nothing to find (or nothing found).
    double Se() const;
    double PP() const;
    // Median and 95th percentile of the absolute timing error of the matched detections, ms.
    std::pair<double, double> Timing() const;
};

// Scores detections against reference beats (both sample numbers in ascending order) at `rate`
// samples per second; missed references and extra detections are listed when asked for.
Score Match(const std::vector<std::int64_t>& reference, const std::vector<std::int64_t>& detected, std::int64_t window,
    double rate, std::vector<std::int64_t>* missed = nullptr, std::vector<std::int64_t>* extra = nullptr);

} // namespace vx::ec57
