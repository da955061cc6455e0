#pragma once

#include <cstdint>

namespace HRV {

// The analysis settings that the interval statistics and the spectrum read. The field names,
// units and defaults are those of the document's settings object, so that an engine holding
// the full settings fills this block with AnalysisParametersFrom() and nothing else changes.
struct AnalysisParameters {
    double mHistogramBinWidth = 0.01; // seconds, both histograms
    bool mAutoBinWidth = false; // Scott's rule instead of mHistogramBinWidth
    double mPRRThreshold = 0.05; // seconds, pRRx threshold
    double mSDARRAveraging = 300.0; // seconds, SDARR segment length
    double mMaxFrequency = 0.5; // Hz, top of the spectrum grid
    double mVLFLow = 0.0; // Hz
    double mVLFHigh = 0.04;
    double mLFLow = 0.04;
    double mLFHigh = 0.15;
    double mHFLow = 0.15;
    double mHFHigh = 0.45;
    int32_t mNumFrequencies = 500; // grid points
    int32_t mDataWindow = 5; // data window type, 5 = Hann

    bool operator==(const AnalysisParameters&) const = default;
};

// Copies the fields above from any settings object that has them under the same names.
template <class SettingsT> AnalysisParameters AnalysisParametersFrom(const SettingsT& s)
{
    AnalysisParameters p;
    p.mHistogramBinWidth = s.mHistogramBinWidth;
    p.mAutoBinWidth = s.mAutoBinWidth != 0;
    p.mPRRThreshold = s.mPRRThreshold;
    p.mSDARRAveraging = s.mSDARRAveraging;
    p.mMaxFrequency = s.mMaxFrequency;
    p.mVLFLow = s.mVLFLow;
    p.mVLFHigh = s.mVLFHigh;
    p.mLFLow = s.mLFLow;
    p.mLFHigh = s.mLFHigh;
    p.mHFLow = s.mHFLow;
    p.mHFHigh = s.mHFHigh;
    p.mNumFrequencies = s.mNumFrequencies;
    p.mDataWindow = s.mDataWindow;
    return p;
}

} // namespace HRV
