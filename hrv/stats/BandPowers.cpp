#include "hrv/stats/BandPowers.h"

#include "hrv/stats/LombScargle.h"

#include <algorithm>
#include <cmath>
#include <limits>
#include <numbers>

namespace HRV {

bool Spectrum::SetGrid(double maxFrequency, int32_t count)
{
    if (count <= 0 || !(maxFrequency > 0.0) || !std::isfinite(maxFrequency))
        return false;
    mPower.resize(static_cast<std::size_t>(count), 0.0);
    mFirstIndex = 1;
    mFrequencyStep = maxFrequency / static_cast<double>(count);
    return true;
}

bool Spectrum::Compute(int windowType, const std::vector<double>& rrValues, const std::vector<double>& beatTimes,
    double maxFrequency, int32_t count)
{
    if (rrValues.size() != beatTimes.size())
        return false;
    if (!SetGrid(maxFrequency, count))
        return false;
    std::vector<double> omega(mPower.size());
    for (std::size_t k = 0; k < omega.size(); ++k)
        omega[k] = 2.0 * std::numbers::pi * mFrequencyStep * static_cast<double>(mFirstIndex + static_cast<int64_t>(k));
    LombScarglePeriodogram(
        windowType, beatTimes.data(), rrValues.data(), omega.data(), mPower.data(), rrValues.size(), omega.size());
    return true;
}

double Spectrum::BandPower(double lowHz, double highHz, double span) const
{
    const double df = mFrequencyStep;
    if (mPower.empty() || !(df > 0.0) || std::isnan(lowHz) || std::isnan(highHz) || std::isnan(span))
        return std::numeric_limits<double>::quiet_NaN();
    const double size = static_cast<double>(mPower.size());
    const double k0 = static_cast<double>(mFirstIndex);
    // Clamped as doubles, so that edges far outside the grid (or infinite) never overflow.
    const double lo = std::clamp(std::floor(lowHz / df - k0 + 0.5), 0.0, size);
    const double hi = std::clamp(std::ceil(highHz / df - k0 + 0.5), 0.0, size);
    if (lo >= hi)
        return 0.0;
    double sum = 0.0;
    for (auto i = static_cast<std::size_t>(lo); i < static_cast<std::size_t>(hi); ++i)
        sum += mPower[i];
    return df * span * sum;
}

bool ComputeSpectrum(Spectrum& spectrum, uint32_t what, const std::vector<double>& rrValues,
    const std::vector<double>& beatTimes, const AnalysisParameters& settings)
{
    if (what == 0)
        return false;
    if (beatTimes.size() < 2)
        return true;
    const double span = beatTimes.back() - beatTimes.front();
    const double nan = std::numeric_limits<double>::quiet_NaN();
    if (what & kSpectrumPeriodogram) {
        if (spectrum.Compute(
                settings.mDataWindow, rrValues, beatTimes, settings.mMaxFrequency, settings.mNumFrequencies)) {
            spectrum.mTotalPower = spectrum.BandPower(0.0, settings.mMaxFrequency, span);
        } else {
            spectrum.mPower.clear();
            spectrum.mTotalPower = nan;
        }
    }
    if (what & kSpectrumBands) {
        spectrum.mVLFPower = spectrum.BandPower(settings.mVLFLow, settings.mVLFHigh, span);
        spectrum.mLFPower = spectrum.BandPower(settings.mLFLow, settings.mLFHigh, span);
        spectrum.mHFPower = spectrum.BandPower(settings.mHFLow, settings.mHFHigh, span);
    }
    return true;
}

} // namespace HRV
