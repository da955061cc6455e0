#pragma once
// HRV::Settings: what to analyse and how. The document owns one; the host stores it with the
// recording through IPersistStreamInit. Views, dialogs, the detector and the engine read and
// write the fields directly.
#include <cstdint>

#include "com/Persist.h"
#include "hostframework/base/SimpleUnknownImp.h"
#include "hrv/core/HRVInterfaces.h"

namespace KEL {
class BinIStream;
}

namespace HRV {

// The settings stream version that Save writes.
constexpr std::uint32_t kSettingsVersion = 6;

// Change-mask values of Compare; the mask is the flags word of a re-analysis.
constexpr std::uint32_t kChangeEverything = 0xFFFFFFFFu;
constexpr std::uint32_t kChangeBeatClasses = 0x4FFFFFFu;
constexpr std::uint32_t kChangeDetectorLevels = 0x6FFFFFFu;
constexpr std::uint32_t kChangeHistogram = 0x20000u;
constexpr std::uint32_t kChangePRR = 0x40000u;
constexpr std::uint32_t kChangeSDARR = 0x100u;
constexpr std::uint32_t kChangeSpectrumGrid = 3u;
constexpr std::uint32_t kChangeSpectrumBands = 2u;

class Settings : public SimpleUnknownImp2_1<IPersistStreamInit, IPersist, IHRVSettings, 0> {
public:
    Settings();

    // IPersistStreamInit.
    HRESULT GetClassID(CLSID* clsid) override;
    HRESULT IsDirty() override { return mDirty ? S_OK : S_FALSE; }
    HRESULT Load(IStream* stream) override;
    HRESULT Save(IStream* stream, BOOL clearDirty) override;
    HRESULT GetSizeMax(ULARGE_INTEGER*) override { return E_NOTIMPL; }
    // Every default, except the three flags and the loaded version.
    HRESULT InitNew() override;

    // New settings with every analysis field and the three flags copied, with one reference for
    // the caller (the out pointer may be null).
    HRESULT Clone(Settings** copy) const;
    // Which parts of the analysis must be redone when going from `other` to these settings;
    // 0 for null.
    std::uint32_t Compare(const Settings* other) const;
    // None of the beat-box limits is a NaN (an infinity passes).
    bool IsValid() const;
    // Species presets: 0 "Human" to 7 "Rat" rewrite their blocks, 8 "Custom" only records the
    // choice; any other index changes nothing and gives false.
    bool ApplyDetectorPreset(std::uint32_t index);
    bool ApplySpeciesPreset(std::int32_t index);
    // Whether the analysis range is set at both ends.
    bool HasValidRange() const { return mRangeStart.IsSet() && mRangeEnd.IsSet(); }

    std::uint32_t mSourceChannel;
    std::uint32_t mSourceChannelFlags;
    bool mUseSelection;
    bool mShowEventMarkers;
    Position mRangeStart;
    Position mRangeEnd;
    double mHistogramBinWidth;
    bool mAutoBinWidth;
    double mPRRThreshold;
    double mSDARRAveraging;
    bool mExcludeEctopics;
    bool mAnalyzeWhileSampling;
    double mRRMin, mRRMax;
    double mComplexityMin, mComplexityMax;
    std::uint32_t mSpecies;
    double mLowPassCutoff;
    double mLevellingWindow;
    double mNoiseLevel;
    double mMinPeakHeight;
    double mQRSWidth;
    double mMinPeriod;
    double mMaxFrequency;
    double mVLFLow, mVLFHigh;
    double mLFLow, mLFHigh;
    double mHFLow, mHFHigh;
    std::int32_t mNumFrequencies;
    std::int32_t mDataWindow;
    std::uint32_t mLoadedVersion = 0;
    bool mStoredWithHost = false;
    bool mLoaded = false;
    bool mDirty = false;

private:
    void CopyAnalysisFields(const Settings& from);
    void LoadCurrent(KEL::BinIStream& in, std::uint32_t version);
    // The legacy layouts; S_OK when converted, E_FAIL with the object untouched otherwise.
    HRESULT LoadLegacy(KEL::BinIStream& in, std::uint32_t version);
};

} // namespace HRV
