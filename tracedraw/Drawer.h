#pragma once
// Drawers: the small reference-counted objects that paint one kind of content (grid, trace,
// events, time labels) into a strip of a data pane, in draw order by layer, and what the data
// pane offers them.
#include <cstdint>
#include <span>

#include "com/Unknown.h"
#include "foundation/base/SimpleUnknownImp.h"
#include "hostframework/interfaces/TraceDrawInterfaces.h"
#include "ui/Gdi.h"

namespace VarnDraw {

// The time grid that the time scale chose and the graticules follow: positions in pixels of the
// strip (fractional), a minor line every `minorSpacing` pixels and a major one every
// `majorEvery` minor lines.
struct GridParams {
    double firstMinor = 0.0;
    double firstMajor = 0.0;
    double minorSpacing = 0.0;
    int majorEvery = 0;
};

// What a strip hands its drawers for one paint, in strip coordinates (x = 0 is the plot's left
// edge; row 0 its top).
struct DrawParams {
    std::int64_t block = 0; // sample position of the shown block (negative: the view starts before the record)
    double firstSample = 0.0; // sample at the left edge of pixel column 0
    double samplesPerPixel = 1.0;
    double secondsPerSample = 1.0;
    double startTime = 0.0; // seconds of sample 0
    int xFrom = 0; // visible pixel columns [xFrom, xTo)
    int xTo = 0;
    int pixelOffset = 0; // subtracted from grid positions
    vx::ui::Rect strip; // the strip in its own coordinates (0, 0, width, height)
    GridParams grid;
    DWORD flags = 0; // 0x08000000: full redraw; bit 31: keep iterators for continuation
    bool cursor = false; // the time scale shows a readout at cursorX
    int cursorX = 0;
    double cursorTime = 0.0;
};

// Pixels per millimetre of the panes (96 dots per inch).
inline constexpr double kPixelsPerMm = 3.7795276158179276;

struct IVarnRecordDrawer;

// What a data pane offers the strips and drawers that paint in it. The pane's AddRef and Release
// for it do not count references: drawers hold it without one, and the pane clears their pointers
// before it goes.
struct IDrawerDataPane : IUnknown {
    static constexpr IID kIid = vx::com::MakeGuid("{3B8E5A21-0C4F-4D97-B6E2-8F1A7C905D34}");
    virtual HRESULT GetRecordSource(IRecordSource** out) = 0;
    virtual double PixelsPerMm() = 0;
    virtual double PixelsPerMm2() = 0;
    virtual HRESULT GetDeviceSize(double* x, double* y) = 0;
    // Bit 23 of the option flags; with a null out pointer the bit is the result.
    virtual HRESULT GetPrintMode(WORD* printMode) = 0;
    virtual HRESULT StoreLayerValue(int strip, int layer, const void* value16) = 0;
    virtual HRESULT SetBlend(int strip, int layer, int value) = 0;
    virtual HRESULT RedrawStrip(int strip, const vx::ui::Rect* range) = 0;
    virtual HRESULT RedrawStripNow(int strip, const vx::ui::Rect* range) = 0;
    // Layer buffering on; drawing for output.
    virtual bool IsLayerBuffering() = 0;
    virtual bool IsDrawingForOutput() = 0;
    virtual HRESULT GetBackgroundColour(DWORD* colour) = 0;
    virtual HRESULT TraceColourForBackground(DWORD colour, DWORD* out) = 0;
    virtual HRESULT GetScaleIdentity(int strip, std::int64_t* identity) = 0;
    virtual HRESULT GetScaleObject(int strip, int scaleNumber, IUnknown** out) = 0;
    virtual HRESULT QueryStripDrawing(int strip, DWORD* answer) = 0;
    virtual HRESULT GetStripWidth(int strip, std::int32_t* width) = 0;
    virtual HRESULT GetOptionFlags(DWORD* first, DWORD* second) = 0;

protected:
    ~IDrawerDataPane() = default;
};

struct IVarnRecordDrawer : IUnknown {
    static constexpr IID kIid = vx::com::MakeGuid("{77F7C5B5-1189-4785-AEA1-2D33A6AD18F0}");
    virtual HRESULT SetSource(DWORD flags, IRecordSource* source) = 0;
    virtual HRESULT SetBounds(std::int64_t widthValue, const vx::ui::Rect* rect) = 0;
    virtual HRESULT GetDrawOrder(std::int32_t* order) = 0;
    virtual HRESULT GetKind(vx::ui::DC* dc, DWORD* kind, std::int32_t* left, std::int32_t* right) = 0;
    virtual HRESULT GetChannel(std::int64_t* identity) = 0;
    virtual HRESULT GetData(int scaleNumber, std::int64_t position, IUnknown** out, DWORD* flag) = 0;
    virtual HRESULT GetRecordData(std::int64_t position, IUnknown** out) = 0;
    virtual HRESULT SetScaleRange(int scaleNumber, DWORD ignored, const vx::hf::DisplayRange* range, IUnknown* scale)
        = 0;
    virtual HRESULT Refresh(DWORD flags) = 0;
    virtual HRESULT Draw(vx::ui::DC* dc, const DrawParams* params) = 0;
    virtual HRESULT CreateBackground() = 0;
    virtual HRESULT SetRecord(LONG record, DWORD flag) = 0;
    virtual HRESULT GetDrawnPosition(DWORD a, DWORD b, std::int64_t* position) = 0;
    virtual HRESULT ClearRecord() = 0;
    virtual HRESULT Reserved17() = 0;
    virtual HRESULT Reserved18() = 0;
    virtual HRESULT QueryValues(DWORD flags, int scaleNumber, vx::hf::DisplayRange* range) = 0;
    virtual HRESULT GetScaleNumber(int* number) = 0;
    virtual HRESULT ResetIterator() = 0;
    virtual HRESULT GetSourceId(std::int64_t* identity) = 0;
    virtual HRESULT SetChannelIndex(DWORD ignored, int channelIndex) = 0;
    virtual HRESULT UpdateSettings(IUnknown* channelSettings, IUnknown* displaySettings, int channel) = 0;
    virtual HRESULT GetValue(int scaleNumber, std::int64_t position, IUnknown** out, DWORD* flag) = 0;
    virtual HRESULT SetDataPane(IDrawerDataPane* pane) = 0;
    virtual HRESULT Reserved27() = 0;
    virtual HRESULT Reserved28(DWORD value) = 0;
    virtual HRESULT Clone(DWORD flags, IVarnRecordDrawer** out) = 0;
    virtual HRESULT SetOption(DWORD value) = 0;
    virtual void* GetSettings() = 0;

protected:
    ~IVarnRecordDrawer() = default;
};

// A 64-bit identity from its (channel, selector) halves.
inline constexpr std::int64_t MakeIdentity(std::uint32_t channel, std::uint32_t selector)
{
    return static_cast<std::int64_t>((static_cast<std::uint64_t>(selector) << 32) | channel);
}
inline constexpr std::int64_t kNoIdentity = MakeIdentity(0x80000000u, 0xC0000000u);

// Kind masks.
inline constexpr DWORD kKindGraticule = 0x80000000u;
inline constexpr DWORD kKindTrace = 0x60000000u;
inline constexpr DWORD kKindEvents = 0x40000000u;

// What the drawers share.
struct DrawerBaseInit {
    std::int32_t drawOrder = 0;
    std::int32_t channel = -1; // the data's channel (negative: none)
    std::uint32_t selector = 0;
    std::int64_t alternate = kNoIdentity;
};

class DrawerBase : public SimpleUnknownImp1<IVarnRecordDrawer, 0>, protected DrawerBaseInit {
public:
    explicit DrawerBase(const DrawerBaseInit& init);
    ~DrawerBase() override;

    HRESULT SetSource(DWORD flags, IRecordSource* source) override;
    HRESULT SetBounds(std::int64_t widthValue, const vx::ui::Rect* rect) override;
    HRESULT GetDrawOrder(std::int32_t* order) override;
    HRESULT GetChannel(std::int64_t* identity) override;
    HRESULT GetData(int scaleNumber, std::int64_t position, IUnknown** out, DWORD* flag) override;
    HRESULT GetRecordData(std::int64_t position, IUnknown** out) override;
    HRESULT SetScaleRange(int scaleNumber, DWORD ignored, const vx::hf::DisplayRange* range, IUnknown* scale) override;
    HRESULT Refresh(DWORD flags) override;
    HRESULT CreateBackground() override { return S_OK; }
    HRESULT SetRecord(LONG record, DWORD flag) override;
    HRESULT GetDrawnPosition(DWORD, DWORD, std::int64_t*) override { return S_FALSE; }
    HRESULT ClearRecord() override;
    HRESULT Reserved17() override { return S_OK; }
    HRESULT Reserved18() override { return S_OK; }
    HRESULT QueryValues(DWORD, int, vx::hf::DisplayRange*) override { return S_FALSE; }
    HRESULT GetScaleNumber(int*) override { return E_NOTIMPL; }
    HRESULT ResetIterator() override { return E_NOTIMPL; }
    HRESULT GetSourceId(std::int64_t* identity) override;
    HRESULT SetChannelIndex(DWORD ignored, int channelIndex) override;
    HRESULT UpdateSettings(IUnknown*, IUnknown*, int) override { return S_OK; }
    HRESULT GetValue(int scaleNumber, std::int64_t position, IUnknown** out, DWORD* flag) override;
    HRESULT SetDataPane(IDrawerDataPane* pane) override;
    HRESULT Reserved27() override { return E_NOTIMPL; }
    HRESULT Reserved28(DWORD) override { return E_NOTIMPL; }
    HRESULT SetOption(DWORD value) override;
    void* GetSettings() override { return nullptr; }

    IDrawerDataPane* DataPane() const { return mPane; }
    IRecordSource* Source() const { return mSource; }
    IRecordData* RecordData() const { return mRecordData; }
    const vx::ui::Rect& Bounds() const { return mBounds; }
    int StripChannel() const { return mStripChannel; }
    bool RecordIsSet() const { return mRecordSet; }
    LONG RecordIndex() const { return mRecord; }

protected:
    DrawerBase(const DrawerBase& other); // copies the fields, not the interfaces

    // The pane's trace colour for its background (the colour unchanged without a pane).
    DWORD ForBackground(DWORD colour) const;
    // The request word with the data selector in the low byte.
    DWORD RequestWord() const { return (mRequestFlags & ~0xFFu) | (selector & 0xFFu); }
    // Clone's common end: hand `copy` out with one reference.
    static HRESULT HandOut(DrawerBase* copy, IVarnRecordDrawer** out);

    vx::ui::Rect mBounds {};
    DWORD mRequestFlags = 0x1000;
    std::int64_t mWidthValue = 0;
    std::int32_t mStripChannel = -2;
    std::int64_t mBlock = -1;
    DWORD mOption = 0;
    LONG mRecord = 0;
    bool mRecordSet = false;
    bool mRecordFlag = false;
    IRecordSource* mSource = nullptr;
    IRecordData* mRecordData = nullptr;
    IDrawerDataPane* mPane = nullptr; // not referenced: the pane clears it before it goes
};

// The process-wide trace palette, chosen once from the screen's colour depth: below 9 bits per
// pixel 12 colours of table A, with `twentyColours` 20 colours of table A, otherwise 18 colours of
// table B in their mixed order.
struct TracePalette {
    std::span<const vx::ui::Colour> colours;
    std::span<const int> order;
    int count = 0;
    int offset = 0;
    // The palette entry of a colour index (any sign).
    vx::ui::Colour Entry(std::int64_t index) const;
    // The trace colour of a data channel: P[O[(c mod n) + k] mod n + k].
    vx::ui::Colour ForChannel(std::int64_t channel) const;
};
TracePalette SelectTraceColourTable(int bitsPerPixel, bool twentyColours);
// The palette of this process: chosen on first use from the screen's depth (vx::ui::GetScreenCaps).
const TracePalette& ProcessTracePalette();

// Non-negative remainder.
inline std::int64_t Modulo(std::int64_t a, std::int64_t n)
{
    const std::int64_t r = a % n;
    return r < 0 ? r + n : r;
}

// A double to a whole pixel: floor(x + 0.5).
int RoundPixel(double x);

} // namespace VarnDraw
