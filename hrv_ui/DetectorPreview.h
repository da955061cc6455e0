#pragma once
// The live preview of the detector settings: over the user's selection it draws the source
// channel with the beats that the preview detector finds marked on it, and over it, on the second
// scale, the detector's normalised stage in standard deviations (the stage the minimum peak
// height is measured against); it draws them again after every detector update.
#include <cstdint>
#include <string>

#include "hrv/analysis/Detector.h"
#include "tracedraw/PreviewPaneBase.h"
#include "tracedraw/TraceDrawer.h"

namespace HRV {

// The source trace: the channel's own unit and prefix.
class SourceUnitMapper final : public VarnDraw::UnitMapper {
public:
    const std::wstring& Map(std::wstring& out, const std::wstring& unit, int prefixIndex, int* outIndex) override;
};

// The detector's stage: the channel's prefix, the unit "S.D.".
class PPUNMapper final : public VarnDraw::UnitMapper {
public:
    const std::wstring& Map(std::wstring& out, const std::wstring& unit, int prefixIndex, int* outIndex) override;
};

class HRVPreviewPane final : public ExtLib::PreviewPaneBase {
public:
    // The colour of the source trace when the host gives none, and of the detector's stage.
    static constexpr DWORD kDefaultSourceColour = 0x80'00'FF; // RGB(255, 0, 128)
    static constexpr DWORD kStageColour = 0;
    // The range of the detector's stage, in standard deviations.
    static constexpr double kStageBottom = -10.0, kStageTop = 10.0;

    HRVPreviewPane(DetectorBase& detector, std::uint32_t sourceChannel);
    ~HRVPreviewPane() override;

    // Once the window is created and placed: the scales' units and ranges over the stretch
    // [first, last) of the shown record, which then fills the preview's width; then Rebuild.
    void Setup(std::int64_t first, std::int64_t last);
    // The drawers again: grid, source trace, beat marks, detector stage; then a redraw.
    void Rebuild();
    void SetScaleUnit() override;

    // The source trace's colour: the host's for the channel, else kDefaultSourceColour.
    DWORD SourceColour() const { return HasDisplaySettings() ? TraceColour() : kDefaultSourceColour; }
    std::int64_t First() const { return mFirst; }
    std::int64_t Last() const { return mLast; }
    // The channel the detector's stage is drawn from (not set before the detector made it).
    ChannelRef StageChannel() const { return mStage; }
    ChannelRef BeatChannel() const { return mBeats; }

private:
    void ShowStretch();
    // The source channel's value range as the host document reports it.
    void ReadSourceRange();
    // Scale 1 shows the source's value range, scale 2 the stage's fixed range; the traces take
    // them from their scales.
    void SetRanges();

    DetectorBase& mDetector;
    std::uint32_t mSource;
    std::int64_t mFirst = 0, mLast = 0;
    bool mRangeRead = false;
    double mLow = -1.0, mHigh = 1.0;
    ChannelRef mStage, mBeats;
};

} // namespace HRV
