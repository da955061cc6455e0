#pragma once

#include <cstdint>
#include <vector>

namespace HRV {

// Adds the n-th value x (n counted from 1) to a running sum, sum of squares and sum of squared
// deviations from the mean (Welford, Technometrics 4(3):419-420, 1962). n = 0 adds nothing.
void UpdateRunningMoments(uint64_t n, double x, double& sum, double& sumSq, double& m2);

// Plain sums; 0 for an empty vector.
double SumOf(const std::vector<double>& values);
double SumOfSquares(const std::vector<double>& values);

// Sum of squared deviations from the mean, sum((v - mean)^2); 0 for fewer than 2 values. Never
// negative for finite values; a NaN among the values gives NaN.
double SumOfSquaredDeviations(const std::vector<double>& values);

} // namespace HRV
