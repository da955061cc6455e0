#pragma once
// The beat detector as a chain of seven named formula channels of the host: low-pass filter,
// derivative, a resampled transform of the derivative, envelope, normalisation, peak detection
// and the fiducial stage, whose formula calls this extension's fiducial enumerator.
#include <cstdint>
#include <string>

#include "hostframework/interfaces/AnalysisHostInterfaces.h"

namespace HRV {

class Settings;

// A position in a recording: record and sample offset.
struct RecordPosition {
    int32_t mRecord = 0x7FFFFFFF;
    int32_t mOffset = 0x7FFFFFFF;
};

// Stage flags of the change mask.
constexpr uint32_t kStagesFilter = 0x1000000; // stages 1-4
constexpr uint32_t kStagesDetection = 0x2000000; // stages 5-6
constexpr uint32_t kStageFiducial = 0x4000000; // stage 7

// The settings the detector reads, under the names of the document's settings object;
// DetectorSettingsFrom fills it from that object. It has no defaults of its own:
// DefaultDetectorSettings() reads those of new settings (their field table).
struct DetectorSettings {
    uint32_t mSourceChannel {};
    uint32_t mSourceChannelFlags {};
    bool mShowEventMarkers {};
    RecordPosition mRangeStart;
    RecordPosition mRangeEnd;
    bool mExcludeEctopics {};
    double mRRMin {};
    double mRRMax {};
    double mComplexityMin {};
    double mComplexityMax {};
    double mLowPassCutoff {};
    double mLevellingWindow {};
    double mNoiseLevel {};
    double mMinPeakHeight {};
    double mQRSWidth {};
    double mMinPeriod {};
};

// The detector's settings of new settings.
DetectorSettings DefaultDetectorSettings();

template <class SettingsT> DetectorSettings DetectorSettingsFrom(const SettingsT& s)
{
    DetectorSettings d;
    d.mSourceChannel = s.mSourceChannel;
    d.mSourceChannelFlags = s.mSourceChannelFlags;
    d.mShowEventMarkers = s.mShowEventMarkers != 0;
    d.mRangeStart = { s.mRangeStart.mRecord, s.mRangeStart.mOffset };
    d.mRangeEnd = { s.mRangeEnd.mRecord, s.mRangeEnd.mOffset };
    d.mExcludeEctopics = s.mExcludeEctopics != 0;
    d.mRRMin = s.mRRMin;
    d.mRRMax = s.mRRMax;
    d.mComplexityMin = s.mComplexityMin;
    d.mComplexityMax = s.mComplexityMax;
    d.mLowPassCutoff = s.mLowPassCutoff;
    d.mLevellingWindow = s.mLevellingWindow;
    d.mNoiseLevel = s.mNoiseLevel;
    d.mMinPeakHeight = s.mMinPeakHeight;
    d.mQRSWidth = s.mQRSWidth;
    d.mMinPeriod = s.mMinPeriod;
    return d;
}

// Number text of the formulas, in the classic locale: positions and counts exactly as integers,
// real-valued settings with six significant digits.
std::wstring FormulaInteger(int64_t value);
std::wstring FormulaReal(double value);
// The window of the transform stage: 2 * QRS width / interval samples, at least 21; 21 for an
// interval that is not a positive number, at most the largest 32-bit integer.
int32_t TransformWindow(double qrsWidth, double interval);

class DetectorBase {
public:
    explicit DetectorBase(IDetectorHost* host)
        : mHost(host)
    {
    }
    virtual ~DetectorBase() = default;
    // Stage names, 1 to 7.
    virtual std::wstring StageName(int stage) const = 0;

    bool BuildDetectorChannels(uint32_t flags, const DetectorSettings* settings);
    bool BuildDetectionStages(uint32_t flags, const DetectorSettings* settings);
    bool BuildFiducialStage(uint32_t flags, const DetectorSettings* settings);
    bool Update(uint32_t flags, const DetectorSettings* settings);
    bool RemoveChannels(uint32_t flags, const DetectorSettings* settings);
    bool SyncFiducialChannel(const DetectorSettings* settings);
    ChannelRef GetFiducialChannel();
    // The channel of a stage (1-7); not set when the host has none.
    ChannelRef GetStageChannel(int stage);
    bool DetachChannels();
    // After the host has loaded the document: finds the seven stage channels the host kept and
    // marks the fiducial channel as kept by the extension, under `group`. True when every step
    // succeeded.
    bool AttachChannels(const wchar_t* group);

    // The same operations with the document's settings object.
    bool BuildDetectorChannels(uint32_t flags, const Settings* settings);
    bool BuildDetectionStages(uint32_t flags, const Settings* settings);
    bool BuildFiducialStage(uint32_t flags, const Settings* settings);
    bool Update(uint32_t flags, const Settings* settings);
    bool RemoveChannels(uint32_t flags, const Settings* settings);
    bool SyncFiducialChannel(const Settings* settings);

    // The formula text of a stage for the settings and the transform window (stages 1-7).
    std::wstring StageFormula(int stage, const DetectorSettings& s, int32_t window) const;

private:
    IDetectorHost* mHost;
};

class HRVDetector final : public DetectorBase {
public:
    using DetectorBase::DetectorBase;
    std::wstring StageName(int stage) const override;
};

// The detector of the detector-settings preview.
class PreviewDetector final : public DetectorBase {
public:
    using DetectorBase::DetectorBase;
    std::wstring StageName(int stage) const override;
};

} // namespace HRV
