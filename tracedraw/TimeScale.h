#pragma once
// The time-axis strip at the bottom of a data pane and its label drawer: tick marks and time
// labels of the visible range. The tick spacing chosen here is the vertical grid of the channel
// strips, so grid and labels line up.
#include <string>
#include <vector>

#include "tracedraw/ChildPane.h"

namespace VarnDraw {

// The tick spacing for s seconds per pixel, device scale d and a plot W pixels wide. Not valid
// (no ticks, no grid) when s or the target interval is zero, negative or not finite.
struct TickSpacing {
    bool valid = false;
    double target = 0.0; // seconds
    double step = 0.0; // seconds between major ticks
    int multiplier = 0; // 1, 2, 5, 10 (or 6, 12, 24 for hours)
    bool clock = false;
    double majorPixels = 0.0;
    int minorDivision = 0;
    double minorPixels = 0.0;
    int majorCount = 0;
    double covered = 0.0;
};
TickSpacing ComputeTickSpacing(double secondsPerPixel, double deviceScale, int width);

class TimeScale;

class TimeLabelDrawer final : public DrawerBase {
public:
    static constexpr const wchar_t* kSampleText = L"10:00:00.0000 a.m.";

    explicit TimeLabelDrawer(TimeScale* scale);

    HRESULT GetKind(vx::ui::DC* dc, DWORD* kind, std::int32_t* left, std::int32_t* right) override;
    HRESULT Draw(vx::ui::DC* dc, const DrawParams* params) override;
    HRESULT Clone(DWORD flags, IVarnRecordDrawer** out) override;

    // Lays out the ticks of the view (label fitting included) and gives the grid they make.
    GridParams Layout(vx::ui::DC& dc, const DrawParams& params);
    const TickSpacing& Spacing() const { return mSpacing; }
    int LabelWidth() const { return mLabelWidth; }
    void SetLabelWidth(int width) { mLabelWidth = width; }
    void ForgetScale() { mScale = nullptr; }
    // The label of a major tick at `seconds` with the chosen step.
    std::wstring LabelText(double seconds) const;
    // The labels the last drawing put on the axis: text and the x (strip coordinates) it is
    // centred on.
    struct DrawnLabel {
        std::wstring text;
        int x = 0;
    };
    const std::vector<DrawnLabel>& DrawnLabels() const { return mDrawn; }

private:
    TimeLabelDrawer(const TimeLabelDrawer& other);
    double DeviceScale() const;

    double mFirstMajorTime = 0.0;
    double mFirstMinorOffset = 0.0;
    double mFirstMajorOffset = 0.0;
    double mMinorSpacing = 0.0;
    int mMinorPerMajor = 2;
    int mMajorIndex = 0; // index of the first major tick among the minor ones
    int mLabelMultiplier = 1;
    int mLabelWidth = -1;
    TickSpacing mSpacing;
    std::vector<DrawnLabel> mDrawn;
    TimeScale* mScale = nullptr; // not referenced: the scale holds the drawer
    double mSecondsPerPixel = 0.0;
};

class TimeScale final : public ChildPaneBase {
public:
    explicit TimeScale(const ChildPaneBaseInit& init = {});
    ~TimeScale() override;

    void RemoveDrawers(DWORD kindMask, std::int64_t identity) override;
    void SetRecord(LONG record, DWORD flag) override;
    void Paint(vx::ui::DC& dc, const vx::ui::Rect& paintRect, DWORD drawFlags, unsigned layers,
        const DrawParams& params) override;
    bool LayoutGrid(vx::ui::DC& dc, const DrawParams& params, GridParams& grid) override;

    // Builds the label drawer when the strip has none.
    void EnsureLabelDrawer();
    // The font of the pane, or the dialog font of the user-interface language; sets the height.
    void UpdateFont(vx::ui::DC& dc, const vx::ui::Font* paneFont = nullptr);
    void DrawUnitLabel(vx::ui::DC& dc);
    const vx::ui::Font& Font() const { return mFont; }
    int StripHeight() const { return mHeight; }
    TimeLabelDrawer* LabelDrawer() const;
    // Version 2 and nothing else; Load throws XKEL 0xA0048205 for a later version.
    void Save(IBinOutStream* stream) const;
    void Load(IBinInStream* stream);
    DWORD option = 0;

private:
    vx::ui::Font mFont;
    int mHeight = 0;
    int mReserved = 0;
};

} // namespace VarnDraw
