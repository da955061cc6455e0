#pragma once
// The graticule: everything behind a channel's traces (background, guide-line bands, the areas
// outside the scale's valid range, the pre-trigger hatch, the time and amplitude grids and the
// record-start marker). On screen the grid lines are stamped from one-pixel-wide column bitmaps;
// the metafile form draws real dotted lines and never fills the background.
#include <limits>
#include <memory>
#include <string>
#include <utility>
#include <vector>

#include "tracedraw/Drawer.h"
#include "tracedraw/ScreenBitMapDC.h"

namespace VarnDraw {

struct GraticuleSettings {
    double guideValue[2] { std::numeric_limits<double>::quiet_NaN(), std::numeric_limits<double>::quiet_NaN() };
    std::wstring texts[4];
    DWORD guideColour[2] { vx::ui::Colour::Rgb(137, 137, 137).value, vx::ui::Colour::Rgb(137, 137, 137).value };
    DWORD bandColour[3] { vx::ui::Colour::Rgb(254, 194, 194).value, vx::ui::Colour::Rgb(177, 254, 197).value,
        vx::ui::Colour::Rgb(254, 194, 194).value };
    DWORD flags = 0;
    int guideRow[2] { 0, 0 };
    bool guideRowValid[2] { false, false };
};

// Reads the guide lines and bands of a channel from the display settings.
void ReadGraticuleSettings(GraticuleSettings& settings, IDisplaySettings* display, int channel);

class GraticuleDrawer : public DrawerBase {
public:
    static constexpr vx::ui::Colour kOutOfRange = vx::ui::Colour::Rgb(245, 242, 230);
    static constexpr vx::ui::Colour kSampling = vx::ui::Colour::Rgb(235, 235, 220);
    static constexpr vx::ui::Colour kMarker = vx::ui::Colour::Rgb(0, 0, 128);

    // Flags: bit 29 metafile output, bit 30 no out-of-range fill, bit 23 skip the presence check.
    GraticuleDrawer(DWORD ignored, std::int64_t identity, DWORD ignored2, DWORD flags, DWORD background);
    ~GraticuleDrawer() override;

    HRESULT SetSource(DWORD flags, IRecordSource* source) override;
    HRESULT SetBounds(std::int64_t widthValue, const vx::ui::Rect* rect) override;
    HRESULT GetKind(vx::ui::DC* dc, DWORD* kind, std::int32_t* left, std::int32_t* right) override;
    HRESULT SetScaleRange(int scaleNumber, DWORD ignored, const vx::hf::DisplayRange* range, IUnknown* scale) override;
    HRESULT Refresh(DWORD flags) override;
    HRESULT Draw(vx::ui::DC* dc, const DrawParams* params) override;
    // The pre-trigger hatch, made by CreateBackground for the strip's height; null before.
    const DrawPreTriggerBackground* PreTrigger() const { return mPreTrigger.get(); }
    HRESULT CreateBackground() override;
    HRESULT UpdateSettings(IUnknown* channelSettings, IUnknown* displaySettings, int channel) override;
    HRESULT SetDataPane(IDrawerDataPane* pane) override;
    HRESULT Clone(DWORD flags, IVarnRecordDrawer** out) override;
    void* GetSettings() override { return &mSettings; }

    const std::vector<std::pair<int, int>>& GridRows() const { return mRows; }
    void SetDarkGrid(bool dark) { mDarkGrid = dark ? 1 : 0; }

protected:
    GraticuleDrawer(const GraticuleDrawer& other);
    virtual void RebuildBitmaps();
    virtual void DrawHorizontalGrid(vx::ui::DC& dc, int xFrom, int xTo, vx::ui::Colour colour, bool major);
    virtual void DrawVerticalGrid(vx::ui::DC& dc, int xFrom, int xTo, int pixelOffset, double first, double spacing,
        vx::ui::Colour colour, bool major, bool& drew);
    bool IsMetafile() const { return (mFlags & 0x20000000u) != 0; }

    void Layout();
    void ComputeRows(IScaleRange* scale, double factor, double offset);
    // With the option word set: the displayed range of the shown record's own scale.
    void UpdateRecordScale();
    void FillColumns();
    void DrawTimeGrid(vx::ui::DC& dc, const DrawParams& p, bool present);
    void DrawBands(vx::ui::DC& dc, int x0, int x1, int height);
    void DrawMarker(vx::ui::DC& dc, const DrawParams& p);
    double DeviceScale() const;

    std::int64_t mPosition = 0;
    int mScaleNumber = 1;
    DWORD mBackground;
    vx::ui::BitmapPtr mMinorColumn, mMajorColumn, mLineColumn[2];
    double mFactor = 1.0, mOffset = 0.0;
    double mRecordFactor = 1.0, mRecordOffset = 0.0;
    IHostScale* mRecordScale = nullptr; // window-less, from the host's scale factory
    std::unique_ptr<DrawPreTriggerBackground> mPreTrigger;
    int mMarkerOffset = 0;
    GraticuleSettings mSettings;
    std::int64_t mLastBlock = -1;
    std::vector<std::pair<int, int>> mRows; // (row, kind), kind 2 = major
    DWORD mFlags;
    int mDarkGrid = 1;
    int mUpperRow = 0, mLowerRow = 0;
    bool mUpperInside = false, mLowerInside = false;
    bool mShowGrid = true;
    bool mShowMarker = true;
    int mColumnHeight = 0;
};

// The same drawer for metafile and printer output: real dotted grid lines, no background fill.
class MetafileGraticuleDrawer final : public GraticuleDrawer {
public:
    explicit MetafileGraticuleDrawer(const GraticuleDrawer& screen);

protected:
    void RebuildBitmaps() override { }
    void DrawHorizontalGrid(vx::ui::DC& dc, int xFrom, int xTo, vx::ui::Colour colour, bool major) override;
    void DrawVerticalGrid(vx::ui::DC& dc, int xFrom, int xTo, int pixelOffset, double first, double spacing,
        vx::ui::Colour colour, bool major, bool& drew) override;
};

} // namespace VarnDraw
