#pragma once

#include <cstdint>

namespace HRV {

// The analysis settings that the interval statistics and the spectrum read. The field names and
// units are those of the document's settings object, so that an engine holding the full settings
// fills this block with AnalysisParametersFrom() and nothing else changes. It has no defaults of
// its own: the settings' field table holds them (HRV::DefaultAnalysisParameters(), in
// hrv/core/Settings.h, reads them).
struct AnalysisParameters {
    double mHistogramBinWidth {}; // seconds, both histograms
    bool mAutoBinWidth {}; // Scott's rule instead of mHistogramBinWidth
    double mPRRThreshold {}; // seconds, pRRx threshold
    double mSDARRAveraging {}; // seconds, SDARR segment length
    double mMaxFrequency {}; // Hz, top of the spectrum grid
    double mVLFLow {}; // Hz
    double mVLFHigh {};
    double mLFLow {};
    double mLFHigh {};
    double mHFLow {};
    double mHFHigh {};
    int32_t mNumFrequencies {}; // grid points
    int32_t mDataWindow {}; // data window type, 5 = Hann

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
