#pragma once

#include "hrv/stats/AnalysisParameters.h"

#include <cstdint>
#include <vector>

namespace HRV {

// Bits of the change mask that select the work of ComputeSpectrum.
constexpr uint32_t kSpectrumPeriodogram = 0x1; // periodogram and total power
constexpr uint32_t kSpectrumBands = 0x2; // VLF, LF and HF powers

// Lomb-Scargle power spectrum of the RR series on the grid df, 2 df, ... N df and its band
// powers. Powers are in seconds squared.
class Spectrum {
public:
    // Sizes the grid: N values (existing ones kept, new ones 0), df = maxFrequency / N. False,
    // with nothing changed, when N is not above 0 or maxFrequency is not a positive finite number.
    bool SetGrid(double maxFrequency, int32_t count);

    // SetGrid, then the periodogram of rrValues at beatTimes (equal lengths, times ascending)
    // with the data window. False when SetGrid fails or the lengths differ; the spectrum is then
    // unchanged.
    bool Compute(int windowType, const std::vector<double>& rrValues, const std::vector<double>& beatTimes,
        double maxFrequency, int32_t count);

    // df * span * the sum of the periodogram over the grid points from the one nearest lowHz to
    // the one nearest highHz, both included; edges are clamped to the grid. A band that holds no
    // grid point gives 0; a spectrum without values, or a NaN argument, gives NaN.
    //
    // Both edge points belong to the band, so a grid point on an edge that two bands share
    // (0.04 and 0.15 Hz with the defaults) counts in both of them. Users compare band powers
    // with earlier results of this product, so the double counting stays; the percentages of
    // the three bands can therefore add up to slightly more than 100.
    double BandPower(double lowHz, double highHz, double span) const;

    double mFrequencyStep = 0.0; // df, Hz
    int32_t mFirstIndex = 1; // grid index of mPower[0]
    std::vector<double> mPower; // periodogram at (mFirstIndex + k) * df
    double mTotalPower = 0.0;
    double mVLFPower = 0.0;
    double mLFPower = 0.0;
    double mHFPower = 0.0;
};

// The engine's spectrum step: false when `what` is 0. With more than one beat, bit 0 computes
// the periodogram and the total power, bit 1 the three band powers, all over the span from the
// first to the last beat time; with one beat or none the results stay as they were. When the
// grid cannot be built the periodogram is emptied and the powers asked for become NaN, so that
// no value of an earlier analysis passes for one of this.
bool ComputeSpectrum(Spectrum& spectrum, uint32_t what, const std::vector<double>& rrValues,
    const std::vector<double>& beatTimes, const AnalysisParameters& settings);

} // namespace HRV
