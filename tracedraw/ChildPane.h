#pragma once
// The strips of a data pane: what every strip shares (its rectangle, its drawers sorted by draw
// order, eight drawing layers optionally kept in off-screen bitmaps), the channel strip with its
// two amplitude scales, and the drawer services of the pane that holds them.
#include <array>
#include <memory>
#include <mutex>
#include <vector>

#include "foundation/core/Array.h"
#include "foundation/stream/BinStreamInterfaces.h"
#include "tracedraw/Drawer.h"
#include "tracedraw/ScreenBitMapDC.h"

namespace VarnDraw {

class DrawerDataPane;

struct ChildPaneBaseInit {
    std::int64_t widthValue = 0;
    std::int32_t channelIndex = 0;
    DWORD options = 0;
    DWORD options2 = 0;
    vx::ui::Rect rect {};
    vx::ui::Rect rect2 {};
    bool switch1 = false;
    bool switch2 = false;
    bool layoutDirty = true;
};

// Layer flags.
inline constexpr DWORD kLayerBuffered = 0x80000000u;
inline constexpr DWORD kLayerNeedsDrawing = 0x40000000u;
inline constexpr DWORD kLayerOpaque = 0x20000000u;
inline constexpr DWORD kLayerDrawn = 0x10000000u;
inline constexpr DWORD kLayerFromAddFlags = 0x08000000u;
inline constexpr int kLayerCount = 8;

struct StripLayer {
    std::shared_ptr<ScreenBitMapDC> bitmap;
    vx::ui::Rect invalid {};
    int first = -1;
    int end = -1;
    DWORD flags = kLayerOpaque;
    int blend = 255;
};

class ChildPaneBase : public SimpleUnknownImp1<IDragScaleObserver, 0>, protected ChildPaneBaseInit {
public:
    explicit ChildPaneBase(const ChildPaneBaseInit& init);

    HRESULT ScaleDragged(DWORD, LONG, LONG) override { return E_NOTIMPL; }
    HRESULT ScaleSelected(LONG, LONG) override { return E_NOTIMPL; }
    HRESULT ScaleRangeChanged(LONG, DWORD, const vx::hf::DisplayRange*) override { return E_NOTIMPL; }
    HRESULT SendScaleCommand(LONG) override { return E_NOTIMPL; }
    HRESULT GetAutoRange(DWORD, vx::hf::DisplayRange*, WORD*) override { return E_NOTIMPL; }

    ~ChildPaneBase() override;
    virtual void DrawBackground(vx::ui::DC& dc, const DrawParams& params);
    virtual void SetBounds(std::int64_t widthValue, std::int64_t position, const vx::ui::Rect& rect);
    virtual void UpdateSettings(IUnknown* channelSettings, IUnknown* displaySettings, int channel);
    // E_INVALIDARG for a null drawer or a draw order outside 0..2047.
    virtual HRESULT AddDrawer(DWORD addFlags, IVarnRecordDrawer* drawer, int blend);
    virtual void RemoveDrawers(DWORD kindMask, std::int64_t identity);
    virtual void Refresh(DWORD flags);
    virtual void CreateBackgrounds(DWORD flags);
    virtual void SetRecord(LONG record, DWORD flag);
    virtual void ClearRecord();
    // Paints the layers in `layers` (bit per layer) that need it; `paintRect` in pane coordinates.
    virtual void Paint(
        vx::ui::DC& dc, const vx::ui::Rect& paintRect, DWORD drawFlags, unsigned layers, const DrawParams& params);
    virtual IHostScale* GetScale1() { return nullptr; }
    virtual IHostScale* GetScale2() { return nullptr; }
    virtual void SetDrawerOption(DWORD value);
    virtual bool HitTest(vx::ui::Point point) const { return rect.Contains(point); }
    // The time grid for the view in `params` (the time scale's; false for other strips).
    virtual bool LayoutGrid(vx::ui::DC&, const DrawParams&, GridParams&) { return false; }

    // The pane (not referenced); clearing it clears the drawers' pointers too.
    void SetDataPane(DrawerDataPane* pane);
    DrawerDataPane* DataPane() const { return mPane; }
    int ChannelIndex() const { return channelIndex; }
    const vx::ui::Rect& StripRect() const { return rect; }
    bool LayoutDirty() const { return layoutDirty; }
    std::uint32_t DrawerCount() const { return mDrawers.Count(); }
    IVarnRecordDrawer* Drawer(std::uint32_t i) const { return mDrawers[i]; }
    const StripLayer& Layer(int i) const { return mLayers[static_cast<std::size_t>(i)]; }
    // The largest left and right margins of the drawers whose order lies in [orderFrom, orderTo).
    void Margins(int orderFrom, int orderTo, vx::ui::DC* dc, int& left, int& right) const;
    // A layer's blend value; any value but 255 makes it translucent.
    void SetLayerBlend(int layer, int value);
    void InvalidateAll();
    void InvalidateColumns(int x0, int x1);
    void Scroll(int dx);

protected:
    void RecomputeLayers();
    void DecideBuffering();
    // The strip-local drawing of one layer's drawers.
    void DrawLayer(vx::ui::DC& dc, int layer, const DrawParams& params);

    DrawerDataPane* mPane = nullptr;
    InterfaceArray<IVarnRecordDrawer> mDrawers;
    std::array<StripLayer, kLayerCount> mLayers;
    vx::ui::Rect mPaneInvalid {};
};

struct ChannelPaneInit : ChildPaneBaseInit {
    DWORD scaleOptions = 0x80000000u; // bit 31 scale 1, bit 30 scale 2, bit 28 keep scale 1 in place
    DWORD scaleStyle = 0; // bit 14: scales 2 pixels taller at both ends
};

// The host's scale factory that channel strips make their scales with (set once by the host).
void SetHostScaleFactory(IScaleFactory* factory);
IScaleFactory* GetHostScaleFactory(); // with a reference; null when none is set

class ChannelPane : public ChildPaneBase {
public:
    explicit ChannelPane(const ChannelPaneInit& init);
    ~ChannelPane() override;

    HRESULT ScaleDragged(DWORD flags, LONG a, LONG b) override;
    HRESULT ScaleSelected(LONG scaleNumber, LONG value) override;
    HRESULT ScaleRangeChanged(LONG scaleNumber, DWORD ignored, const vx::hf::DisplayRange* range) override;
    HRESULT SendScaleCommand(LONG scaleNumber) override;
    HRESULT GetAutoRange(DWORD flags, vx::hf::DisplayRange* range, WORD* flag) override;

    void SetBounds(std::int64_t widthValue, std::int64_t position, const vx::ui::Rect& rect) override;
    void Refresh(DWORD flags) override;
    IHostScale* GetScale1() override;
    IHostScale* GetScale2() override;

    // Makes the scales through the host's scale factory (window-less when drawing for output).
    HRESULT CreateScales(vx::ui::HWND window, DWORD option);
    // Stores the prefix of a scale and gives the scale object the transform with its unit text.
    HRESULT SetScaleUnit(const wchar_t* unit, int scaleNumber, int prefixIndex);
    // False for an empty range; the range is given in base units.
    bool SetScaleRange(DWORD ignored, int scaleNumber, vx::hf::DisplayRange range, bool notify, bool force);
    // A copy with clones of the drawers and the same scale settings (scales made anew).
    ChannelPane* Clone() const;
    // The strip's state: version 3 holds nothing else. Load throws XKEL 0xA0048205 for a later
    // version; version 2 streams held the two displayed ranges (four doubles), read and dropped.
    void Save(IBinOutStream* stream) const;
    void Load(IBinInStream* stream);
    // Scale 1 from the first record in [first, last] whose channel settings can be read, scale 2
    // from the last such one; a scale without such a record is hidden.
    void UpdateScales(LONG first, LONG last);

    void SetLeftMargin(int margin) { mLeftMargin = margin; }
    void SetRightMargin(int margin) { mRightMargin = margin; }
    void SetPendingAutoscale(int scaleNumber) { mPending |= scaleNumber == 1 ? 1 : 2; }
    // The factor from base units to what a scale shows (1.0 without a prefix of its own).
    double ScaleFactor(int scaleNumber) const
    {
        const ScaleSlot* slot = scaleNumber == 1 ? &mScale[0] : scaleNumber == 2 ? &mScale[1] : nullptr;
        return slot && slot->prefix >= 1 && slot->prefix <= 14 && slot->prefix != 8 ? slot->factor : 1.0;
    }

private:
    struct ScaleSlot {
        wchar_t letter = 0;
        double factor = 1.0;
        int prefix = 1;
        IHostScale* scale = nullptr;
    };
    ScaleSlot* Slot(int number) { return number == 1 ? &mScale[0] : number == 2 ? &mScale[1] : nullptr; }

    ChannelPaneInit mInit;
    ScaleSlot mScale[2];
    int mLeftMargin = 0;
    int mRightMargin = 0;
    int mBorder = 0;
    std::uint8_t mPending = 0;
};

// The version that strips write, and the code for a stream too new to read.
inline constexpr ULONG kChannelPaneVersion = 3;
inline constexpr HRESULT kStreamTooNew = static_cast<HRESULT>(0xA0048205u);

// The drawer services of a data pane, with its strips. It holds its strips with a reference and
// clears their and their drawers' back-pointers before it goes.
class DrawerDataPane : public IDrawerDataPane {
public:
    DrawerDataPane();
    virtual ~DrawerDataPane();
    DrawerDataPane(const DrawerDataPane&) = delete;
    DrawerDataPane& operator=(const DrawerDataPane&) = delete;

    HRESULT QueryInterface(REFIID iid, void** out) override;
    ULONG AddRef() override { return 1; }
    ULONG Release() override { return 1; }

    HRESULT GetRecordSource(IRecordSource** out) override;
    double PixelsPerMm() override { return kPixelsPerMm; }
    double PixelsPerMm2() override { return kPixelsPerMm; }
    HRESULT GetDeviceSize(double* x, double* y) override;
    HRESULT GetPrintMode(WORD* printMode) override;
    HRESULT StoreLayerValue(int strip, int layer, const void* value16) override;
    HRESULT SetBlend(int strip, int layer, int value) override;
    HRESULT RedrawStrip(int strip, const vx::ui::Rect* range) override;
    HRESULT RedrawStripNow(int strip, const vx::ui::Rect* range) override;
    bool IsLayerBuffering() override { return layerBuffering; }
    // Drawing for output: for a device other than the screen, or in print mode.
    bool IsDrawingForOutput() override { return drawingForOutput || (optionFlags & (1u << 23)) != 0; }
    HRESULT GetBackgroundColour(DWORD* colour) override;
    HRESULT TraceColourForBackground(DWORD colour, DWORD* out) override;
    HRESULT GetScaleIdentity(int strip, std::int64_t* identity) override;
    HRESULT GetScaleObject(int strip, int scaleNumber, IUnknown** out) override;
    HRESULT QueryStripDrawing(int strip, DWORD* answer) override;
    HRESULT GetStripWidth(int strip, std::int32_t* width) override;
    HRESULT GetOptionFlags(DWORD* first, DWORD* second) override;

    void SetRecordSource(IRecordSource* source);
    // Takes a reference on the strip and becomes its pane; the strip's index is its place.
    int AddStrip(ChildPaneBase* strip);
    ChildPaneBase* Strip(int i) const;
    // Takes the last strip away (its pane and its drawers' pane cleared, its reference dropped).
    void RemoveLastStrip();
    int StripCount() const { return static_cast<int>(mStrips.size()); }
    // Adds a drawer to a strip after telling it the source (the pane's flags and source) and,
    // when a record is shown, the record.
    HRESULT AddDrawer(int strip, DWORD addFlags, IVarnRecordDrawer* drawer, int blend);
    // Paints every strip with the view in `params` (the time scale's grid handed to the others).
    void PaintAll(vx::ui::DC& dc, DrawParams params);

    std::recursive_mutex& Lock() { return mLock; }

    // A channel strip's scale was dragged (flags with low byte 1, the drag's two values) or
    // selected (its number and interface, null when the strip has no such scale).
    virtual void ScaleDragged(int /*channel*/, DWORD /*flags*/, LONG /*a*/, LONG /*b*/) { }
    virtual void ScaleSelected(int /*channel*/, int /*scaleNumber*/, IHostScale* /*scale*/) { }

    DWORD optionFlags = 0; // bit 23: print mode
    DWORD optionFlags2 = 0;
    DWORD background = 0xFFFFFF;
    bool layerBuffering = false;
    bool drawingForOutput = false;
    double deviceScale = 0.0; // 0: no device known
    LONG record = -1; // the shown record, -1: none
    IUnknown* scaleOverride = nullptr;
    std::vector<std::pair<int, vx::ui::Rect>> redraws; // (strip, range) asked for

private:
    bool Past(int strip) const { return strip < 0 || strip >= StripCount(); }

    IRecordSource* mSource = nullptr;
    std::vector<ChildPaneBase*> mStrips;
    std::vector<std::array<std::array<std::uint8_t, 16>, kLayerCount>> mLayerValues;
    std::recursive_mutex mLock;
};

} // namespace VarnDraw
