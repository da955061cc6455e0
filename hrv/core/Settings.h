#pragma once
// HRV::Settings: what to analyse and how. The document owns one; the host stores it with the
// recording through IPersistStreamInit. Views, dialogs, the detector and the engine read and
// write the fields directly.
#include <cstdint>
#include <span>
#include <string>
#include <string_view>

#include "com/Persist.h"
#include "foundation/base/SimpleUnknownImp.h"
#include "hrv/core/HRVInterfaces.h"
#include "hrv/stats/AnalysisParameters.h"

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

class Settings;

// One field of the settings, as every operation on all of them reads it: its name (the member
// without its "m"), its default (what InitNew sets; every position starts unset), how the stream
// stores it and from which stream version on, which parts of the analysis a change of it redoes,
// and the values it may take (in the unit it is stored in; the settings dialogs' limits).
struct SettingsField {
    enum class Kind { U32, I32, Flag, F64, Position };
    const wchar_t* name;
    Kind kind;
    double initial;
    std::uint32_t since;
    std::uint32_t changeMask;
    double min, max;
    const wchar_t* unit;
    std::uint32_t Settings::*u32 = nullptr;
    std::int32_t Settings::*i32 = nullptr;
    bool Settings::*flag = nullptr;
    double Settings::*f64 = nullptr;
    Position Settings::*position = nullptr;
};

// Every field, in the order of the settings stream.
std::span<const SettingsField> SettingsFields();
// The field of a name; null when there is none.
const SettingsField* FindSettingsField(std::wstring_view name);

// The statistics' and the spectrum's parameters of new settings: the field table's defaults.
AnalysisParameters DefaultAnalysisParameters();

class Settings : public SimpleUnknownImp2_1<IPersistStreamInit, IPersist, IHRVSettings, 0> {
public:
    Settings();

    // IPersistStreamInit.
    HRESULT GetClassID(CLSID* clsid) override;
    HRESULT IsDirty() override { return mDirty ? S_OK : S_FALSE; }
    HRESULT Load(IStream* stream) override;
    HRESULT Save(IStream* stream, BOOL clearDirty) override;
    HRESULT GetSizeMax(ULARGE_INTEGER*) override { return E_NOTIMPL; }
    // Every field's default from the field table, except the three flags and the loaded version.
    HRESULT InitNew() override;

    // New settings with every analysis field and the three flags copied, with one reference for
    // the caller (the out pointer may be null).
    HRESULT Clone(Settings** copy) const;
    // Which parts of the analysis must be redone when going from `other` to these settings;
    // 0 for null.
    std::uint32_t Compare(const Settings* other) const;
    // Every field holds a value of its range (which also rules out NaNs and infinities), and each
    // minimum is not above its maximum.
    bool IsValid() const { return Validate(nullptr); }
    // IsValid, with the reason of the first failure ("NumFrequencies must be from 10 to 10000,
    // not 20000000").
    bool Validate(std::wstring* reason) const;
    // Sets a field by name from its text (a number; 0, 1, true or false for a flag). Refused, with
    // the reason and nothing changed, for an unknown name, a position, a text that is not a value
    // of the field's type and a value outside the field's range.
    bool SetField(std::wstring_view name, std::wstring_view text, std::wstring* reason);
    // The text of a field's value, as SetField reads it; empty for an unknown name.
    std::wstring FieldText(std::wstring_view name) const;
    // Stores minimum and maximum of each pair (beat box, bands) in order, as the settings dialog
    // stores swapped entries.
    void OrderPairs();
    // Every field of the table from `from` (not the three flags and not the loaded version).
    void CopyFields(const Settings& from);
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
