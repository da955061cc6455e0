#include "hrv/stats/RunningMoments.h"

namespace HRV {

void UpdateRunningMoments(uint64_t n, double x, double& sum, double& sumSq, double& m2)
{
    if (n == 0)
        return;
    if (n == 1) {
        sum = x;
        sumSq = x * x;
        m2 = 0.0;
        return;
    }
    const double meanOld = sum / static_cast<double>(n - 1);
    sum += x;
    sumSq += x * x;
    const double meanNew = sum / static_cast<double>(n);
    m2 += (x - meanOld) * (x - meanNew);
}

double SumOf(const std::vector<double>& values)
{
    double s = 0.0;
    for (double v : values)
        s += v;
    return s;
}

double SumOfSquares(const std::vector<double>& values)
{
    double s = 0.0;
    for (double v : values)
        s += v * v;
    return s;
}

double SumOfSquaredDeviations(const std::vector<double>& values)
{
    const std::size_t n = values.size();
    if (n < 2)
        return 0.0;
    // The textbook form sum(v^2) - n*mean^2 cancels catastrophically for RR values (a spread of
    // milliseconds on a level near one second) and can even turn negative for a constant series,
    // which makes the square root a NaN. The corrected two-pass form of Chan, Golub and LeVeque
    // (Am. Stat. 37(3):242-247, 1983) is exact to rounding and never negative.
    const double mean = SumOf(values) / static_cast<double>(n);
    double sumDev = 0.0;
    double sumDevSq = 0.0;
    for (double v : values) {
        const double d = v - mean;
        sumDev += d;
        sumDevSq += d * d;
    }
    const double m2 = sumDevSq - sumDev * sumDev / static_cast<double>(n);
    return m2 < 0.0 ? 0.0 : m2;
}

} // namespace HRV
