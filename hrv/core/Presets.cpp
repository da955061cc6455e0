// The species presets of the settings: detector, beat box and spectrum blocks per species.
#include <array>

#include "hrv/core/Settings.h"

namespace HRV {

namespace {

constexpr std::uint32_t kCustom = 8;

struct DetectorBlock {
    double lowPassCutoff, levellingWindow, minPeakHeight, qrsWidth, minPeriod;
};
struct BeatBox {
    double rrMin, rrMax, complexityMin, complexityMax;
};
struct SpectrumBlock {
    double maxFrequency, vlfHighLfLow, lfHighHfLow, hfHigh;
};

// Human, Large Dog, Small Dog, Guinea Pig, Mouse, Pig, Rabbit, Rat.
constexpr std::array<DetectorBlock, 8> kDetector { {
    { 30, 5.0, 3.0, 0.08, 0.3 },
    { 30, 4.0, 3.0, 0.06, 0.18 },
    { 30, 3.5, 3.0, 0.04, 0.15 },
    { 60, 3.3, 3.0, 0.035, 0.15 },
    { 150, 1.0, 3.0, 0.01, 0.06 },
    { 30, 3.7, 3.0, 0.04, 0.2 },
    { 60, 3.4, 3.0, 0.035, 0.1 },
    { 150, 1.5, 3.0, 0.015, 0.1 },
} };

constexpr std::array<BeatBox, 8> kBeatBox { {
    { 0.8, 1.2, 1.0, 1.5 },
    { 0.5, 1.2, 1.0, 1.5 },
    { 0.5, 1.2, 1.0, 1.5 },
    { 0.35, 0.55, 1.1, 1.3 },
    { 0.09, 0.12, 0.9, 1.1 },
    { 0.5, 1.2, 1.0, 1.5 },
    { 0.25, 0.35, 1.1, 1.3 },
    { 0.1, 0.2, 1.0, 1.8 },
} };

constexpr std::array<SpectrumBlock, 8> kSpectrum { {
    { 0.5, 0.04, 0.15, 0.45 },
    { 0.5, 0.04, 0.15, 0.45 },
    { 0.5, 0.04, 0.15, 0.45 },
    { 3.0, 0.2, 0.75, 2.5 },
    { 5.0, 0.15, 1.5, 5.0 },
    { 2.0, 0.01, 0.09, 2.0 },
    { 2.0, 0.05, 0.15, 2.0 },
    { 3.0, 0.2, 0.75, 2.5 },
} };

} // namespace

bool Settings::ApplyDetectorPreset(std::uint32_t index)
{
    if (index > kCustom)
        return false;
    mSpecies = index;
    if (index == kCustom)
        return true;
    const DetectorBlock& d = kDetector[index];
    mLowPassCutoff = d.lowPassCutoff;
    mLevellingWindow = d.levellingWindow;
    mMinPeakHeight = d.minPeakHeight;
    mQRSWidth = d.qrsWidth;
    mMinPeriod = d.minPeriod;
    mNoiseLevel = 0.0;
    return true;
}

bool Settings::ApplySpeciesPreset(std::int32_t index)
{
    if (index < 0 || !ApplyDetectorPreset(static_cast<std::uint32_t>(index)))
        return false;
    if (static_cast<std::uint32_t>(index) == kCustom)
        return true;
    const BeatBox& b = kBeatBox[index];
    mRRMin = b.rrMin;
    mRRMax = b.rrMax;
    mComplexityMin = b.complexityMin;
    mComplexityMax = b.complexityMax;
    const SpectrumBlock& s = kSpectrum[index];
    mMaxFrequency = s.maxFrequency;
    mVLFLow = 0.0;
    mVLFHigh = mLFLow = s.vlfHighLfLow;
    mLFHigh = mHFLow = s.lfHighHfLow;
    mHFHigh = s.hfHigh;
    return true;
}

} // namespace HRV
