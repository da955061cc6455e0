#pragma once
// The data pane: channel strips above a time-axis strip that share one horizontal axis of display
// pixels. It takes its data from a document's record source, follows online data while the host
// samples, scrolls and zooms, keeps its scroll bar and zoom strip in step and passes window input
// to its interactive objects. It is not a window: the data window that holds it gives it the
// window services.
#include <cstdint>
#include <functional>
#include <map>
#include <memory>
#include <vector>

#include "foundation/core/Rational.h"
#include "hostframework/interfaces/DataPaneInterfaces.h"
#include "tracedraw/ChildPane.h"
#include "tracedraw/PaneControls.h"
#include "tracedraw/TimeScale.h"

namespace VarnDraw {

// What the pane tells its interactive objects, listeners and observers.
struct PaneNotification {
    enum Kind {
        kPrePaint,
        kPreScroll,
        kScrolled, // a = shift, b = flag (0x80000000 repainted, 0x40000000 scrolled pixels, 0x20000000 not)
        kRelayout,
        kSource, // the record source changed
        kRecord, // a = record
        kDataArrived,
        kScrollBar, // the scroll bar was updated
        kStripCount, // a = count
        kCompression, // a = numerator, b = denominator
        kFollow, // a = follow latest data
        kSampling, // a = 1 started, 0 stopped
        kMouseLeave,
        kStripRequest, // the host message 46: a = the strip's channel reference, b and c = the request's values
        kDisplayValue, // a = the host's display value
        kScaleDragged, // a = channel, b = the drag's first value
        kScaleSelected, // a = channel, b = scale number
    };
    Kind kind;
    std::int64_t a = 0;
    std::int64_t b = 0;
    std::int64_t c = 0;
};

// The host message index of a strip request (kStripRequest).
inline constexpr WORD kStripRequestMessage = 46;

// Something drawn over the strips that takes the mouse (a selection, comments, cursors).
class InteractiveObject {
public:
    virtual ~InteractiveObject() = default;
    virtual void Notify(class DataPane&, const PaneNotification&) { }
    // Mouse messages with the key flags and the point in the window's client coordinates; true
    // when handled.
    virtual bool OnMouse(class DataPane&, UINT, DWORD, vx::ui::Point) { return false; }
    // Sets a cursor; true to stop the walk.
    virtual bool OnSetCursor(class DataPane&, vx::ui::Point) { return false; }
    virtual bool OnTimer(class DataPane&, UINT) { return false; }
    virtual void Paint(class DataPane&, vx::ui::DC&) { }
    virtual void Save(IBinOutStream*) { }
    virtual void Load(IBinInStream*) { }
};

// Option bits of the pane.
inline constexpr DWORD kPaneFrozen = 1u << 18;
inline constexpr DWORD kPaneNoControls = 1u << 19;
inline constexpr DWORD kPanePrint = 1u << 23;
inline constexpr DWORD kPaneNoInitialFollow = 1u << 27;
inline constexpr DWORD kPaneQuietData = 1u << 29;
inline constexpr DWORD kPaneNoRangeWhileSampling = 1u << 30;

// The range a strip shows, in display pixels; kNoRange when none.
struct StripRange {
    std::int64_t left = 0x7FFFFFFE;
    std::int64_t right = 0x7FFFFFFE;
    bool operator==(const StripRange&) const = default;
};
inline constexpr StripRange kNoRange {};

// Holds `value` in `slot` (a reference added to the new, the old one released).
template <class T> void HoldInterface(T*& slot, T* value)
{
    if (value)
        value->AddRef();
    if (slot)
        slot->Release();
    slot = value;
}

class DataPane : public DrawerDataPane, public IPaneDataSink {
public:
    // A version above this in a stored state is refused.
    static constexpr ULONG kStateVersion = 2;
    static constexpr double kMinRatio = 0.1;
    static constexpr double kMaxRatio = 500000.0;

    explicit DataPane(DWORD options = 0, IPaneDocument* document = nullptr);
    ~DataPane() override;

    // IUnknown of the pane's interfaces: not counted (the window owns the pane).
    HRESULT QueryInterface(REFIID iid, void** out) override;
    ULONG AddRef() override { return 1; }
    ULONG Release() override { return 1; }

    // IPaneDataSink
    HRESULT SamplingStarted(LONG record) override;
    HRESULT RecordBegins(
        LONG record, std::int64_t position, double time, const void* format, ULONG count, LONG flag) override;
    HRESULT DataAdded(LONG record) override;
    HRESULT RecordChanged(LONG record, LONG value) override;
    HRESULT SamplingStopped(DWORD flag) override;
    HRESULT RangeChanged(LONG first, LONG second) override;

    // ---- Window services, given by the data window ----
    virtual bool WsSetTimer(UINT id, UINT periodMs) = 0;
    virtual void WsKillTimer(UINT id) = 0;
    virtual void WsInvalidateRect(const vx::ui::Rect& rect, bool erase) = 0;
    virtual void WsInvalidateAll(bool erase) = 0;
    // Scrolls the window contents by dx inside `rect`; false when it could not.
    virtual bool WsScrollPixels(int dx, const vx::ui::Rect& rect) = 0;
    virtual bool WsIsEnabled() = 0;
    virtual std::unique_ptr<ScrollBar> WsCreateScrollBar() = 0;
    virtual std::unique_ptr<ZoomControl> WsCreateZoomControl(DWORD argument) = 0;
    virtual void WsMove(const vx::ui::Rect& rect) = 0;
    virtual void WsUpdate() = 0;

    // ---- Document and drawers ----
    virtual void SetDocument(DWORD flags, IPaneDocument* document, const std::int64_t* start = nullptr);
    IPaneDocument* Document() const { return mDocument; }
    // Strip -1 is the time-axis strip; E_INVALIDARG past the channel strips.
    HRESULT AddDrawer(int strip, DWORD addFlags, IVarnRecordDrawer* drawer);
    HRESULT GetScale(int strip, int scaleNumber, IHostScale** out);
    HRESULT SetScaleUnit(int scaleNumber, const wchar_t* unit, int prefixIndex);
    HRESULT SetScaleRange(int scaleNumber, const vx::hf::DisplayRange& range);
    HRESULT SetScaleColor(int scaleNumber, WORD on, DWORD colour);
    // A scale of a strip whose range is set on the next paint from its drawers.
    void RequestAutoscale(int strip, int scaleNumber);

    // ---- Strips ----
    void SetStripCount(int count);
    int ChannelStripCount() const { return StripCount(); }
    ChannelPane* ChannelStrip(int i) const { return static_cast<ChannelPane*>(Strip(i)); }
    TimeScale* TimeStrip() const { return mTimeScale; }
    // Tops and heights of the channel strips; ignored when shorter than the strip count.
    void SetDraggableRects(const std::vector<int>& tops, const std::vector<int>& heights);
    // 0x80000000 outside every strip, -1 on the time axis, else the channel strip.
    int HitTest(vx::ui::Point point) const;
    const StripRange& RangeOf(int strip) const;

    // ---- Geometry ----
    virtual int Border() const { return 1; }
    int PlotWidth() const { return std::max(0, mWidth - 2 * Border()); }
    int PlotLeft() const { return mLeft + Border(); }
    const vx::ui::Rect& PaneRect() const { return mRect; }
    // The pane's rectangle in the window (layout of strips, scroll bar and zoom strip).
    virtual void SizeChanged(const vx::ui::Rect& rect);
    void SetMinimumMargins(int left, int right)
    {
        mMinLeft = left;
        mMinRight = right;
    }

    // ---- Position, scrolling and zoom ----
    std::int64_t LatestExtent() const { return mLatest; }
    std::int64_t RightEdge() const { return mRightEdge; }
    std::int64_t LeftEdge() const { return mRightEdge - PlotWidth(); }
    int WritePosition() const { return mWritePos; }
    int ScrollUnit() const { return mScrollUnit; }
    bool Following() const { return mFollow; }
    bool Sampling() const { return mSampling != 0; }
    WORD SamplingSwitch() const { return mSampling; }
    const KEL::Rational& Compression() const { return mCompression; }
    double Ratio() const;
    // Display pixel position of a sample and back, at the current compression.
    double SampleOf(double position) const { return position * Ratio(); }
    void SetCompressionLock(bool locked) { mCompressionLock = locked; }
    void SetAutoShowLatest(bool on) { mAutoShowLatest = on; }

    void ScrollBy(std::int64_t shift);
    // Every layer of every strip is drawn again at the next paint.
    void ResetStrips();
    void UpdateScrollBar();
    void InvalidateControls();
    void SetFollow(bool follow, bool notify);
    void ShowLatest();
    // mode 0: centre unless already shown; 1: centre; 2: at the left edge.
    void ScrollToPosition(std::int64_t position, int mode);
    // The scroll bar's codes (SB_LINELEFT ... SB_ENDSCROLL) with a multiplier of the steps.
    void HScroll(int code, double amount = 1.0);
    // key state (bit 8: Ctrl), signed delta, cursor in the window's client coordinates.
    void OnMouseWheel(DWORD keys, int delta, vx::ui::Point cursor);
    // One zoom step about the default anchor: expand (smaller ratio) or compress.
    void Zoom(bool expand);
    // Sets a menu ratio (1130-1150).
    void SetRatioCommand(UINT command);
    virtual void SetCompression(const KEL::Rational& compression, const vx::ui::Point* anchor, bool notify);
    virtual KEL::Rational NaturalCompression() const { return KEL::Rational(10, 1); }
    // The show-latest button: stop following, jump to the newest data.
    void JumpToLatest();
    // Horizontal auto-scale: the smallest menu ratio at which all the data fits the plot width,
    // the newest data at the right edge.
    void FitHorizontally();
    // Enabling of the zoom strip's commands (1 expand, 2 compress, 3 ratio menu, 4 auto-scale,
    // 5 show latest).
    bool CommandEnabled(int which) const;

    // ---- Window, painting and input ----
    virtual void AttachWindow(vx::ui::HWND parent, vx::ui::HWND window);
    vx::ui::HWND Window() const { return mWindow; }
    void Paint(vx::ui::DC& dc, const vx::ui::Rect& rect);
    bool OnMouse(UINT message, DWORD keys, vx::ui::Point point);
    bool OnSetCursor(vx::ui::Point point);
    void OnTimer(UINT id);
    void OnMouseLeave();
    virtual void Close() { }
    void FillZoomMenu(vx::ui::HMENU menu) const;
    ScrollBar* GetScrollBar() const { return mScrollBar.get(); }
    ZoomControl* GetZoomControl() const { return mZoom.get(); }

    // ---- Interactive objects, listeners, observers ----
    void AddInteractiveObject(int id, std::shared_ptr<InteractiveObject> object);
    void RemoveInteractiveObject(int id);
    void NotifyObjects(const PaneNotification& n);
    using Listener = std::function<void(const PaneNotification&)>;
    void SetLayoutListener(Listener listener) { mLayoutListener = std::move(listener); }
    void SetRecordListener(Listener listener) { mRecordListener = std::move(listener); }
    void SetSamplingIndicator(std::function<void(int)> indicator) { mSamplingIndicator = std::move(indicator); }
    // Observers of every change (the pane's subject).
    int AddObserver(Listener observer);
    void RemoveObserver(int id);
    void NotifyObservers(const PaneNotification& n);
    // A request about a strip: the strip's handler takes it when it has one, else the observers
    // hear it as the host message 46 with the strip's channel reference.
    using StripRequestHandler = std::function<bool(int strip, LONG a, LONG b)>;
    void SetStripRequestHandler(int strip, StripRequestHandler handler);
    void StripRequest(int strip, LONG a, LONG b);
    // The strips' scales: a drag or a selection goes to the observers.
    void ScaleDragged(int channel, DWORD flags, LONG a, LONG b) override;
    void ScaleSelected(int channel, int scaleNumber, IHostScale* scale) override;
    // Called once with the first block of online data.
    std::function<void()> firstDataHook;
    std::function<void(LONG, std::int64_t, double, const void*, ULONG, LONG)> recordBeginCallback;

    // ---- Printing and settings ----
    // Print mode: the layers are drawn afresh for the device; the background a printer shows.
    void BeginPrinting();
    void EndPrinting();
    bool IsPrinting() const { return (optionFlags & kPanePrint) != 0; }
    // Paints the plot area clipped to `rect` (all of it without one) for the positions up to the
    // latest data, for a printer or an image.
    void DrawPrintable(vx::ui::DC& dc, DWORD flags, const vx::ui::Rect* rect);
    // Channel drawing and display settings (an object answering IChannelDrawSettings and
    // IDisplaySettings), handed to every strip's drawers.
    void UpdateChannelSettings(IUnknown* settings);

    // ---- State ----
    void Save(IBinOutStream* stream) const;
    void Load(IBinInStream* stream);

    DWORD options;
    // The amplitude scales of new channel strips (bit 31 scale 1, bit 30 scale 2).
    DWORD stripScaleOptions = 0x80000000u;

protected:
    // Per-strip hooks.
    virtual void SetupStrip(int strip);
    virtual void OnStripRemoved(int) { }
    virtual void RelayoutVertical();
    void RelayoutHorizontal();
    void ReadLatest();
    IPaneRecordSource* PaneSource() const { return mPaneSource; }
    void ReplaceSource(IRecordSource* source);
    void TellCompression();
    void ApplyPendingAutoscale();
    void LayoutTimeScale();
    // The view of the strips for one paint: samples per pixel, first sample, sample interval.
    DrawParams ViewParams(DWORD flags) const;

    vx::ui::Rect mRect {};
    int mLeft = 0, mWidth = 0, mHeight = 0;
    int mMinLeft = 0, mMinRight = 0;
    std::int64_t mLatest = 0;
    std::int64_t mRightEdge = 0;
    int mWritePos = 0;
    int mScrollUnit = 1;
    WORD mSampling = 0;
    bool mFollow = true;
    bool mAutoShowLatest = true;
    bool mScrolling = false;
    bool mFirstBlockPending = false;
    bool mRecordSet = false;
    LONG mRecord = 0;
    WORD mRecordFlag = 0;
    std::uint64_t mLastNotifyMs = 0;
    std::uint64_t mLastWheelMs = 0;
    int mWheelDelta = 0;
    bool mCompressionLock = false;
    KEL::Rational mCompression { 10, 1 };
    IPaneDocument* mDocument = nullptr;
    IPaneRecordSource* mPaneSource = nullptr;
    std::unique_ptr<ZoomControl> mZoom;
    std::unique_ptr<ScrollBar> mScrollBar;
    TimeScale* mTimeScale = nullptr;
    std::vector<StripRange> mRanges;
    std::uint64_t mPendingScale[2] { 0, 0 };
    std::vector<std::pair<int, int>> mDragged; // (top, height) of the channel strips
    vx::ui::HWND mParent = nullptr;
    vx::ui::HWND mWindow = nullptr;
    std::map<int, std::shared_ptr<InteractiveObject>> mObjects;
    std::map<int, Listener> mObservers;
    std::map<int, StripRequestHandler> mStripHandlers;
    int mNextObserver = 1;
    Listener mLayoutListener, mRecordListener;
    std::function<void(int)> mSamplingIndicator;
    DWORD mZoomArgument = 0x80000000u;
};

} // namespace VarnDraw
