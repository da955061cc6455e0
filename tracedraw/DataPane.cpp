#include "tracedraw/DataPane.h"

#include <algorithm>
#include <cmath>
#include <limits>

#include "foundation/BestRationalApproximation.h"
#include "foundation/XKEL.h"
#include "foundation/ui/PlatformHelpers.h"
#include "ui/Clock.h"
#include "ui/Window.h"

namespace VarnDraw {

using vx::ui::Point;
using vx::ui::Rect;

namespace {
std::uint64_t NowMs()
{
    return vx::ui::GetClock().NowMs();
}
constexpr DWORD kCtrlKey = 0x0008; // MK_CONTROL
} // namespace

DataPane::DataPane(DWORD optionWord, IPaneDocument* document)
    : options(optionWord)
{
    mFollow = !(options & kPaneNoInitialFollow);
    mLastWheelMs = NowMs();
    mTimeScale = new TimeScale(ChildPaneBaseInit { 0, -1 });
    mTimeScale->AddRef();
    mTimeScale->SetDataPane(this);
    if (document)
        SetDocument(0, document);
}

DataPane::~DataPane()
{
    mObjects.clear();
    mZoom.reset();
    mScrollBar.reset();
    if (mTimeScale) {
        mTimeScale->SetDataPane(nullptr);
        mTimeScale->Release();
    }
    if (mDocument) {
        mDocument->DetachPane(this, mRightEdge);
        mDocument->Release();
    }
    if (mPaneSource)
        mPaneSource->Release();
}

HRESULT DataPane::QueryInterface(REFIID iid, void** out)
{
    if (!out)
        return E_POINTER;
    if (iid == IPaneDataSink::kIid) {
        *out = static_cast<IPaneDataSink*>(this);
        return S_OK;
    }
    return DrawerDataPane::QueryInterface(iid, out);
}

double DataPane::Ratio() const
{
    return static_cast<double>(mCompression.Numerator()) / static_cast<double>(mCompression.Denominator());
}

// ---- Document, source and drawers -------------------------------------------------------------

void DataPane::ReplaceSource(IRecordSource* source)
{
    SetRecordSource(source);
    if (mPaneSource)
        mPaneSource->Release();
    mPaneSource = nullptr;
    if (source)
        source->QueryInterface(IPaneRecordSource::kIid, reinterpret_cast<void**>(&mPaneSource));
    TellCompression();
}

void DataPane::TellCompression()
{
    if (mPaneSource)
        mPaneSource->SetCompression(mCompression.Numerator(), mCompression.Denominator());
}

void DataPane::ReadLatest()
{
    std::int64_t extent = 0;
    if (mPaneSource && mPaneSource->GetLatestExtent(&extent) == S_OK)
        mLatest = std::max<std::int64_t>(0, extent);
    else
        mLatest = 0;
}

void DataPane::SetDocument(DWORD flags, IPaneDocument* document, const std::int64_t* start)
{
    std::lock_guard lock(Lock());
    if (mDocument) {
        mDocument->DetachPane(this, mRightEdge);
        mDocument->Release();
        mDocument = nullptr;
    }
    if (document) {
        document->AddRef();
        mDocument = document;
    }
    const bool quiet = (flags & (1u << 30)) != 0;
    if (!document) {
        mRightEdge = 0;
        ReplaceSource(nullptr);
    } else if (!quiet) {
        IUnknown* unknown = nullptr;
        IRecordSource* source = nullptr;
        if (document->GetRecordSource(flags, &unknown) == S_OK && unknown) {
            unknown->QueryInterface(IRecordSource::kIid, reinterpret_cast<void**>(&source));
            unknown->Release();
        }
        ReplaceSource(source);
        if (source) {
            // The record the source shows is the pane's record.
            LONG shown = 0;
            if (source->GetRecordIndex(&shown) == S_OK) {
                record = shown;
                mRecord = shown;
            }
            source->Release();
        }
        ReadLatest();
        // Without a start position a document shows its beginning.
        mRightEdge = start ? *start : PlotWidth();
        document->AttachPane(0x80000000u, this);
    }
    IRecordSource* source = nullptr;
    GetRecordSource(&source);
    const auto each = [&](ChildPaneBase* strip) {
        if (static_cast<LONG>(flags) < 0) {
            for (std::uint32_t i = 0; i < strip->DrawerCount(); ++i)
                strip->Drawer(i)->SetSource(flags, source);
        } else {
            strip->RemoveDrawers(0, kNoIdentity);
        }
    };
    each(mTimeScale);
    if (static_cast<LONG>(flags) >= 0)
        mTimeScale->EnsureLabelDrawer();
    for (int i = 0; i < StripCount(); ++i)
        each(Strip(i));
    if (source)
        source->Release();
    NotifyObjects({ PaneNotification::kSource });
    if (!quiet) {
        RelayoutHorizontal();
        UpdateScrollBar();
        ResetStrips();
        // Not while the pane is being built: the window services are its window's.
        if (mWindow)
            WsInvalidateAll(false);
    }
}

HRESULT DataPane::AddDrawer(int strip, DWORD addFlags, IVarnRecordDrawer* drawer)
{
    if (!drawer || strip < -1 || strip >= StripCount())
        return E_INVALIDARG;
    drawer->AddRef(); // the pane's own reference during the call
    std::lock_guard lock(Lock());
    IRecordSource* source = nullptr;
    GetRecordSource(&source);
    drawer->SetSource(addFlags, source);
    if (source)
        source->Release();
    ChildPaneBase* target = strip == -1 ? static_cast<ChildPaneBase*>(mTimeScale) : Strip(strip);
    const HRESULT hr = target->AddDrawer(addFlags, drawer, 255);
    if (SUCCEEDED(hr)) {
        if (strip >= 0)
            target->InvalidateAll();
        if (mRecordSet || record != -1)
            drawer->SetRecord(record, mRecordFlag);
        if (mRect.Width() > 0)
            SizeChanged(mRect);
    }
    drawer->Release();
    return hr;
}

HRESULT DataPane::GetScale(int strip, int scaleNumber, IHostScale** out)
{
    if (!out)
        return E_POINTER;
    *out = nullptr;
    if (strip < 0 || strip >= StripCount() || (scaleNumber != 1 && scaleNumber != 2))
        return E_INVALIDARG;
    *out = scaleNumber == 1 ? ChannelStrip(strip)->GetScale1() : ChannelStrip(strip)->GetScale2();
    return *out ? S_OK : S_FALSE;
}

HRESULT DataPane::SetScaleUnit(int scaleNumber, const wchar_t* unit, int prefixIndex)
{
    if (StripCount() == 0)
        return E_FAIL;
    const HRESULT hr = ChannelStrip(0)->SetScaleUnit(unit, scaleNumber, prefixIndex);
    RelayoutHorizontal();
    return hr;
}

HRESULT DataPane::SetScaleRange(int scaleNumber, const vx::hf::DisplayRange& range)
{
    if (StripCount() == 0 || range.bottom == range.top || (scaleNumber != 1 && scaleNumber != 2))
        return E_FAIL;
    std::lock_guard lock(Lock());
    // The strip multiplies by the scale's prefix factor.
    ChannelStrip(0)->SetPendingAutoscale(scaleNumber);
    if (!ChannelStrip(0)->SetScaleRange(0, scaleNumber, range, true, true))
        return E_FAIL;
    mPendingScale[scaleNumber - 1] &= ~1ull;
    ChannelStrip(0)->Refresh(0);
    return S_OK;
}

HRESULT DataPane::SetScaleColor(int scaleNumber, WORD on, DWORD colour)
{
    if (StripCount() == 0)
        return E_FAIL;
    IHostScale* scale = nullptr;
    GetScale(0, scaleNumber, &scale);
    if (!scale)
        return E_FAIL;
    const HRESULT hr = on ? scale->SetColour(colour) : scale->SetColour(0);
    scale->Release();
    return hr;
}

void DataPane::RequestAutoscale(int strip, int scaleNumber)
{
    if (strip >= 0 && strip < 64 && (scaleNumber == 1 || scaleNumber == 2))
        mPendingScale[scaleNumber - 1] |= 1ull << strip;
}

void DataPane::ApplyPendingAutoscale()
{
    for (int number = 1; number <= 2; ++number) {
        for (int i = 0; i < StripCount() && i < 64; ++i) {
            if (!(mPendingScale[number - 1] & (1ull << i)))
                continue;
            vx::hf::DisplayRange range;
            ChannelPane* strip = ChannelStrip(i);
            if (strip->GetAutoRange(0, &range, nullptr) == S_OK && range.top != range.bottom) {
                // Base units: the strip applies the prefix.
                strip->SetPendingAutoscale(number);
                strip->SetScaleRange(0, number, { range.bottom, range.top }, true, true);
                strip->Refresh(0);
            }
        }
        mPendingScale[number - 1] = 0;
    }
}

// ---- Strips and layout -----------------------------------------------------------------------

void DataPane::SetStripCount(int count)
{
    count = std::max(0, count);
    if (count == StripCount())
        return;
    {
        std::lock_guard lock(Lock());
        while (StripCount() > count) {
            const int last = StripCount() - 1;
            RemoveLastStrip();
            OnStripRemoved(last);
        }
        while (StripCount() < count) {
            ChannelPaneInit init;
            init.channelIndex = StripCount();
            init.scaleOptions = stripScaleOptions;
            auto* strip = new ChannelPane(init);
            AddStrip(strip); // the pane's reference: strips start counting at 0
            if (mWindow)
                SetupStrip(StripCount() - 1);
        }
        mRanges.assign(static_cast<std::size_t>(StripCount()), kNoRange);
    }
    if (mRect.Width() > 0)
        SizeChanged(mRect);
    NotifyObjects({ PaneNotification::kStripCount, count });
    for (int i = 0; i < StripCount(); ++i)
        Strip(i)->InvalidateAll();
    RelayoutHorizontal();
}

void DataPane::SetupStrip(int strip)
{
    ChannelPane* s = ChannelStrip(strip);
    if (s && !mWindow)
        return;
    if (s) {
        IHostScale* existing = s->GetScale1();
        if (existing)
            existing->Release();
        else
            s->CreateScales(mWindow, 0);
    }
}

void DataPane::LayoutTimeScale()
{
    if (mTimeScale->StripHeight() == 0) {
        auto probe = vx::ui::Bitmap::Create(1, 1);
        vx::ui::DC dc(probe);
        mTimeScale->UpdateFont(dc);
    }
}

void DataPane::SizeChanged(const Rect& rect)
{
    std::lock_guard lock(Lock());
    // Whether the start of the data was at the plot's left edge before the plot changed width
    // (a pane laid out for the first time counts as showing its start).
    const bool showedStart = LeftEdge() <= 0;
    mRect = rect;
    LayoutTimeScale();
    const int zoomHeight = mZoom ? mZoom->GetSize().cy : 0;
    // The margins are the widest label areas the drawers need, at least the pane's minimum.
    int left = mMinLeft, right = mMinRight;
    for (int i = 0; i < StripCount(); ++i) {
        int l = 0, r = 0;
        Strip(i)->Margins(0, kLayerCount * 256, nullptr, l, r);
        IHostScale* s1 = ChannelStrip(i)->GetScale1();
        if (s1) {
            l = std::max(l, 56);
            s1->Release();
        }
        IHostScale* s2 = ChannelStrip(i)->GetScale2();
        if (s2) {
            r = std::max(r, 56);
            s2->Release();
        }
        left = std::max(left, l);
        right = std::max(right, r);
    }
    mLeft = rect.left + left;
    mWidth = std::max(0, rect.Width() - left - right);
    mHeight = std::max(0, rect.Height() - zoomHeight);
    for (int i = 0; i < StripCount(); ++i) {
        ChannelStrip(i)->SetLeftMargin(left);
        ChannelStrip(i)->SetRightMargin(right);
    }
    // Outside sampling, data that fits the plot is shown from its start, and so is data whose
    // start was shown: a narrower plot (a window made smaller, or wider scales once the drawers
    // are added) keeps the start at its left edge instead of its right edge where it was.
    ReadLatest();
    if (!mSampling && (showedStart || mRightEdge < PlotWidth() || mLatest <= PlotWidth()))
        mRightEdge = PlotWidth();
    RelayoutVertical();
    // The scroll bar and the zoom strip share the row under the strips.
    const int barTop = rect.top + mHeight;
    if (mZoom) {
        const vx::ui::Size size = mZoom->GetSize();
        mZoom->SetRect({ rect.right - size.cx, barTop, rect.right, barTop + size.cy });
        if (mScrollBar)
            mScrollBar->SetRect(
                { PlotLeft(), barTop, std::max(PlotLeft(), rect.right - size.cx - 4), barTop + size.cy });
    } else if (mScrollBar) {
        mScrollBar->SetRect({ PlotLeft(), barTop, PlotLeft() + PlotWidth(), barTop + 16 });
    }
    ReadLatest();
    RelayoutHorizontal();
    UpdateScrollBar();
    NotifyObjects({ PaneNotification::kRelayout });
}

void DataPane::RelayoutVertical()
{
    std::lock_guard lock(Lock());
    const int border = Border();
    const int timeHeight = mTimeScale->StripHeight();
    const int plotLeft = PlotLeft(), plotRight = PlotLeft() + PlotWidth();
    const int n = StripCount();
    const int timeTop = mRect.top + std::max(0, mHeight - timeHeight - border);
    mTimeScale->SetBounds(PlotWidth(), LeftEdge(), { plotLeft, timeTop, plotRight, timeTop + timeHeight });
    if (n == 0)
        return;
    const int bottom = timeTop - border - 1;
    if (static_cast<int>(mDragged.size()) == n) {
        for (int i = 0; i < n; ++i) {
            const int top = mRect.top + mDragged[static_cast<std::size_t>(i)].first;
            int end = top + mDragged[static_cast<std::size_t>(i)].second;
            if (i == n - 1)
                end = bottom;
            Strip(i)->SetBounds(PlotWidth(), LeftEdge(), { plotLeft, top, plotRight, std::max(top, end) });
        }
        return;
    }
    const double available = std::max(0, timeTop - mRect.top - 2 * border);
    const double each = available / n;
    for (int i = 0; i < n; ++i) {
        const int top = mRect.top + border + static_cast<int>(std::floor(i * each + 0.5));
        const int end
            = i == n - 1 ? bottom : mRect.top + border + static_cast<int>(std::floor((i + 1) * each + 0.5)) - 1;
        Strip(i)->SetBounds(PlotWidth(), LeftEdge(), { plotLeft, top, plotRight, std::max(top, end) });
    }
}

void DataPane::SetDraggableRects(const std::vector<int>& tops, const std::vector<int>& heights)
{
    const auto n = static_cast<std::size_t>(StripCount());
    if (tops.size() < n || heights.size() < n)
        return;
    std::lock_guard lock(Lock());
    mDragged.clear();
    for (std::size_t i = 0; i < n; ++i)
        mDragged.emplace_back(tops[i], heights[i]);
    RelayoutVertical();
    WsInvalidateAll(false);
}

int DataPane::HitTest(Point point) const
{
    constexpr int outside = static_cast<int>(0x80000000u);
    if (point.x < PlotLeft() || point.x >= mLeft + mWidth - Border() || point.y < mRect.top
        || point.y >= mRect.top + mHeight)
        return outside;
    if (mTimeScale->HitTest(point))
        return -1;
    for (int i = 0; i < StripCount(); ++i)
        if (Strip(i)->HitTest(point))
            return i;
    return outside;
}

const StripRange& DataPane::RangeOf(int strip) const
{
    static const StripRange none;
    return strip >= 0 && strip < static_cast<int>(mRanges.size()) ? mRanges[static_cast<std::size_t>(strip)] : none;
}

void DataPane::RelayoutHorizontal()
{
    std::lock_guard lock(Lock());
    mRanges.resize(static_cast<std::size_t>(StripCount()), kNoRange);
    IRecordSource* source = nullptr;
    GetRecordSource(&source);
    IUnknown* data = nullptr;
    if (source) {
        source->GetCurrentRecord(&data);
        source->Release();
    }
    for (int i = 0; i < StripCount(); ++i) {
        StripRange& range = mRanges[static_cast<std::size_t>(i)];
        const bool takesNone = mSampling && ((options & kPaneNoRangeWhileSampling) || Strip(i)->DrawerCount() == 0);
        range = !data || takesNone ? kNoRange : StripRange { LeftEdge(), mRightEdge };
    }
    if (data)
        data->Release();
    if (mPaneSource)
        mPaneSource->SetViewStart(SampleOf(static_cast<double>(LeftEdge())));
}

void DataPane::ResetStrips()
{
    std::lock_guard lock(Lock());
    mTimeScale->InvalidateAll();
    for (int i = 0; i < StripCount(); ++i)
        Strip(i)->InvalidateAll();
}

// ---- Scrolling ---------------------------------------------------------------------------------

void DataPane::UpdateScrollBar()
{
    if (!mScrollBar)
        return;
    ReadLatest();
    const std::int64_t v = PlotWidth();
    if (mLatest <= v || v <= 0) {
        mScrollBar->Enable(false);
    } else {
        mScrollBar->Enable(true);
        mScrollUnit = static_cast<int>((mLatest + 1) / (std::int64_t(1) << 31) + 1);
        const std::int64_t u = mScrollUnit;
        const int line = static_cast<int>(std::max<std::int64_t>(1, (5 * v / u) / 8));
        const int page = static_cast<int>(std::max<std::int64_t>(1, ((5 * v / u) / 8) / 16));
        mScrollBar->SetPageMagnitude(line, page);
        vx::ui::SCROLLINFO info;
        info.cbSize = 28;
        info.fMask = vx::ui::SIF_ALL;
        info.nMin = 0;
        info.nMax = static_cast<int>(mLatest / u);
        info.nPage = static_cast<UINT>(v / u);
        // Clamped as the scroll bar does: never left of the minimum.
        info.nPos = static_cast<int>(std::max<std::int64_t>(0, (mRightEdge - v) / u));
        mScrollBar->SetScrollInfo(info, true);
    }
    if (mZoom)
        mZoom->SetSamplingState(mFollow);
    NotifyObjects({ PaneNotification::kScrollBar });
    if (mLayoutListener)
        mLayoutListener({ PaneNotification::kScrollBar });
}

void DataPane::HScroll(int code, double amount)
{
    if (!mScrollBar)
        return;
    if (code == vx::ui::SB_ENDSCROLL) {
        mScrolling = false;
        return;
    }
    ReadLatest();
    mScrolling = true;
    vx::ui::SCROLLINFO info;
    info.fMask = vx::ui::SIF_ALL;
    mScrollBar->GetScrollInfo(info);
    const std::int64_t v = PlotWidth();
    const std::int64_t u = std::max(1, mScrollUnit);
    const std::int64_t highest = std::max<std::int64_t>(info.nMin, info.nMax - v / u);
    int line = 1, page = 1;
    mScrollBar->GetPageMagnitude(line, page);
    std::int64_t pos = info.nPos;
    switch (code) {
    case 0:
        pos -= static_cast<std::int64_t>(line * amount);
        break;
    case 1:
        pos += static_cast<std::int64_t>(line * amount);
        break;
    case 2:
        pos -= static_cast<std::int64_t>(page * amount);
        break;
    case 3:
        pos += static_cast<std::int64_t>(page * amount);
        break;
    case 4:
    case 5:
        pos = info.nTrackPos; // the thumb's place as the scroll bar keeps it
        break;
    case 6:
        pos = info.nMin;
        break;
    case 7:
        pos = highest;
        break;
    default:
        break;
    }
    pos = std::clamp<std::int64_t>(pos, info.nMin, highest);
    std::int64_t shift = 0;
    {
        std::lock_guard lock(Lock());
        if (pos >= highest)
            SetFollow(true, true);
        else if (mSampling && mFollow)
            SetFollow(false, true);
        mScrollBar->SetPosition(static_cast<int>(pos), code != 5);
        const std::int64_t edge = std::min(v + u * pos, std::max(mLatest, v));
        shift = edge - mRightEdge;
        mRightEdge = edge;
    }
    ScrollBy(shift);
    if (code != 5)
        mScrolling = false;
    if (mLayoutListener)
        mLayoutListener({ PaneNotification::kScrollBar });
}

void DataPane::ScrollBy(std::int64_t d)
{
    NotifyObjects({ PaneNotification::kPreScroll, d });
    DWORD flag = 0;
    const std::int64_t v = PlotWidth();
    {
        std::lock_guard lock(Lock());
        if (d == 0) {
            flag = 0x40000000u;
        } else if (std::llabs(d) > v) {
            ResetStrips();
            WsInvalidateAll(false);
            flag = 0x80000000u;
        } else {
            const int dx = static_cast<int>(-d);
            const Rect plot { PlotLeft(), mRect.top, PlotLeft() + PlotWidth(), mRect.top + mHeight };
            const bool scrolled = WsScrollPixels(dx, plot);
            mTimeScale->Scroll(dx);
            // The time axis is drawn whole again: a label that now fits at an edge is drawn
            // complete and one that no longer fits goes, as a full repaint has them.
            mTimeScale->InvalidateAll();
            const Rect axis = mTimeScale->StripRect();
            WsInvalidateRect({ plot.left, axis.top, plot.right, axis.bottom }, false);
            for (int i = 0; i < StripCount(); ++i)
                Strip(i)->Scroll(dx);
            flag = scrolled ? 0x40000000u : 0x20000000u;
            if (!scrolled)
                WsInvalidateRect(plot, false);
        }
    }
    if (!mCompressionLock)
        RelayoutHorizontal();
    else if (mPaneSource)
        mPaneSource->SetViewStart(SampleOf(static_cast<double>(LeftEdge())));
    NotifyObjects({ PaneNotification::kScrolled, d, flag });
}

void DataPane::InvalidateControls()
{
    if (mZoom)
        mZoom->InvalidateWindow(true);
    if (mScrollBar)
        mScrollBar->InvalidateWindow(false);
    ResetStrips();
}

void DataPane::SetFollow(bool follow, bool notify)
{
    if (follow == mFollow)
        return;
    mFollow = follow;
    if (notify)
        NotifyObservers({ PaneNotification::kFollow, follow ? 1 : 0 });
    if (mZoom)
        mZoom->SetSamplingState(mFollow);
}

void DataPane::ShowLatest()
{
    ReadLatest();
    mFollow = true;
    const std::int64_t old = mRightEdge;
    mRightEdge = std::max(mLatest, static_cast<std::int64_t>(PlotWidth()));
    ScrollBy(mRightEdge - old);
    UpdateScrollBar();
    NotifyObservers({ PaneNotification::kFollow, 1 });
    if (mZoom)
        mZoom->SetSamplingState(mFollow);
}

void DataPane::JumpToLatest()
{
    SetFollow(false, true);
    ReadLatest();
    const std::int64_t old = mRightEdge;
    mRightEdge = std::max(mLatest, static_cast<std::int64_t>(PlotWidth()));
    ScrollBy(mRightEdge - old);
    UpdateScrollBar();
    WsInvalidateAll(false);
}

void DataPane::ScrollToPosition(std::int64_t position, int mode)
{
    const std::int64_t v = PlotWidth();
    if (mode == 0 && position >= LeftEdge() && position < mRightEdge)
        return;
    std::int64_t edge = mode == 2 ? position + v : position + v / 2;
    ReadLatest();
    edge = std::clamp(edge, v, std::max(v, mLatest));
    const std::int64_t old = mRightEdge;
    mRightEdge = edge;
    ScrollBy(edge - old);
    UpdateScrollBar();
}

// ---- Zoom -----------------------------------------------------------------------------------

void DataPane::OnMouseWheel(DWORD keys, int delta, Point cursor)
{
    mWheelDelta += delta;
    const int lines = std::abs(mWheelDelta) / 120;
    if (lines == 0)
        return;
    const bool forward = mWheelDelta > 0;
    if (!(keys & kCtrlKey)) {
        if (mScrollBar && mScrollBar->IsEnabled()) {
            const std::uint64_t now = NowMs();
            // Two wheel events in the same millisecond count as one millisecond apart.
            const std::uint64_t elapsed = std::max<std::uint64_t>(1, now - std::min(now, mLastWheelMs));
            const double rate = std::max<double>(1.0, 1000.0 / static_cast<double>(elapsed));
            HScroll(forward ? 0 : 1, std::min(100.0, rate) * 0.25 * lines * 0.125);
        }
    } else if (!mCompressionLock) {
        Point client = cursor;
        double ratio = Ratio();
        bool change = false;
        if (forward && ratio > kMinRatio) {
            KEL::RoundDownToNiceStep(ratio);
            change = true;
        } else if (!forward && ratio < kMaxRatio) {
            KEL::RoundUpToNiceStep(ratio);
            change = true;
        }
        if (change) {
            std::int32_t n = 0, d = 1;
            KEL::BestRationalApproximation(ratio, &n, &d);
            if (n > 0)
                SetCompression(KEL::Rational(n, d), &client, true);
        }
    }
    mLastWheelMs = NowMs();
    const int consumed = lines * 120;
    mWheelDelta += forward ? -consumed : consumed;
}

void DataPane::Zoom(bool expand)
{
    double ratio = Ratio();
    if (expand ? !(ratio > kMinRatio) : !(ratio < kMaxRatio))
        return;
    if (expand)
        KEL::RoundDownToNiceStep(ratio);
    else
        KEL::RoundUpToNiceStep(ratio);
    std::int32_t n = 0, d = 1;
    KEL::BestRationalApproximation(ratio, &n, &d);
    if (n > 0)
        SetCompression(KEL::Rational(n, d), nullptr, true);
}

void DataPane::FitHorizontally()
{
    if (mCompressionLock || PlotWidth() <= 0)
        return;
    ReadLatest();
    const double samples = static_cast<double>(mLatest) * Ratio();
    if (!(samples > 0))
        return;
    const double wanted = samples / PlotWidth();
    KEL::Rational ratio;
    for (UINT command = kCmdRatioFirst; command <= kCmdRatioLast; ++command) {
        ZoomControl::RatioForCommand(command, ratio);
        if (static_cast<double>(ratio.Numerator()) / static_cast<double>(ratio.Denominator()) >= wanted)
            break;
    }
    SetCompression(ratio, nullptr, true);
    ReadLatest();
    const std::int64_t old = mRightEdge;
    mRightEdge = std::max(mLatest, static_cast<std::int64_t>(PlotWidth()));
    ScrollBy(mRightEdge - old);
    UpdateScrollBar();
    WsInvalidateAll(false);
}

void DataPane::SetRatioCommand(UINT command)
{
    KEL::Rational ratio;
    if (ZoomControl::RatioForCommand(command, ratio))
        SetCompression(ratio, nullptr, true);
}

void DataPane::SetCompression(const KEL::Rational& compression, const Point* anchor, bool notify)
{
    if (compression == mCompression || compression.Numerator() <= 0)
        return;
    {
        std::lock_guard lock(Lock());
        const std::int64_t v = PlotWidth();
        std::int64_t column = v / 2;
        if (anchor)
            column = std::clamp<std::int64_t>(anchor->x - PlotLeft(), 0, v);
        const double sample = SampleOf(static_cast<double>(LeftEdge() + column));
        mCompression = compression;
        TellCompression();
        ReadLatest();
        const auto position = static_cast<std::int64_t>(std::floor(sample / Ratio() + 0.5));
        std::int64_t edge = position - column + v;
        if (mSampling && mFollow)
            edge = std::max(mLatest, v);
        mRightEdge = std::clamp(edge, v, std::max(v, mLatest));
        ResetStrips();
    }
    RelayoutHorizontal();
    UpdateScrollBar();
    if (mZoom)
        mZoom->SetRatio(mCompression);
    WsInvalidateAll(false);
    if (notify)
        NotifyObservers({ PaneNotification::kCompression, mCompression.Numerator(), mCompression.Denominator() });
}

bool DataPane::CommandEnabled(int which) const
{
    switch (which) {
    case 1:
        return !mCompressionLock && Ratio() > kMinRatio;
    case 2:
        return !mCompressionLock && Ratio() < kMaxRatio;
    case 3:
        return !mCompressionLock;
    case 4:
        return !mCompressionLock && mLatest > 0;
    case 5:
        return mLatest > PlotWidth();
    default:
        return false;
    }
}

// ---- Online data -------------------------------------------------------------------------------

HRESULT DataPane::SamplingStarted(LONG recordIndex)
{
    if (mPaneSource)
        mPaneSource->OnSamplingStarted(recordIndex);
    if (options & kPaneFrozen)
        return S_OK;
    mSampling = 0xFFFF;
    mFirstBlockPending = true;
    ResetStrips();
    ReadLatest();
    record = recordIndex;
    mTimeScale->SetRecord(recordIndex, 0);
    for (int i = 0; i < StripCount(); ++i)
        Strip(i)->SetRecord(recordIndex, 0);
    NotifyObjects({ PaneNotification::kRecord, recordIndex });
    if (!(options & kPaneNoInitialFollow))
        mFollow = true;
    if (mZoom)
        mZoom->SetSamplingState(mFollow);
    RelayoutHorizontal();
    if (mSamplingIndicator)
        mSamplingIndicator(1);
    if (mAutoShowLatest && mFollow && !mCompressionLock) {
        const std::int64_t old = mRightEdge;
        mRightEdge = mLatest;
        ScrollBy(mRightEdge - old);
        UpdateScrollBar();
    }
    return S_OK;
}

HRESULT DataPane::RecordBegins(
    LONG recordIndex, std::int64_t position, double time, const void* format, ULONG count, LONG flag)
{
    if (mPaneSource)
        mPaneSource->OnRecordBegins(recordIndex, position, time);
    if (options & kPaneFrozen)
        return S_OK;
    mRecordSet = true;
    mRecordFlag = flag > 0 ? 1 : 0;
    mRecord = recordIndex;
    record = recordIndex;
    mTimeScale->SetRecord(recordIndex, mRecordFlag);
    for (int i = 0; i < StripCount(); ++i)
        Strip(i)->SetRecord(recordIndex, mRecordFlag);
    if (recordBeginCallback && format && count > 0)
        recordBeginCallback(recordIndex, position, time, format, count, flag);
    mLastNotifyMs = NowMs();
    return S_OK;
}

HRESULT DataPane::DataAdded(LONG recordIndex)
{
    if (mPaneSource)
        mPaneSource->OnDataAdded(recordIndex);
    if (options & kPaneFrozen)
        return S_OK;
    std::int64_t shift = 0;
    {
        std::lock_guard lock(Lock());
        ReadLatest();
        if (mFirstBlockPending) {
            mFirstBlockPending = false;
            if (firstDataHook)
                firstDataHook();
        }
        const std::int64_t v = PlotWidth();
        if (mSampling) {
            const std::int64_t old = mRightEdge;
            if (mLatest < v || mFollow)
                mRightEdge = mLatest;
            shift = mRightEdge - old;
            if (shift != 0) {
                if (shift <= v) {
                    mWritePos += static_cast<int>(std::max<std::int64_t>(1, shift));
                    if (v > 0 && mWritePos > v)
                        mWritePos -= static_cast<int>(v);
                } else {
                    mWritePos = static_cast<int>(v);
                }
            }
        }
    }
    if (shift != 0)
        ScrollBy(shift);
    else
        RelayoutHorizontal();
    // The newest columns are drawn at the right edge.
    const int fresh = static_cast<int>(std::min<std::int64_t>(PlotWidth(), std::max<std::int64_t>(1, shift)));
    for (int i = 0; i < StripCount(); ++i)
        Strip(i)->InvalidateColumns(PlotWidth() - fresh, PlotWidth());
    WsInvalidateRect(
        { PlotLeft() + PlotWidth() - fresh, mRect.top, PlotLeft() + PlotWidth(), mRect.top + mHeight }, false);
    if (!(options & kPaneQuietData)) {
        const std::uint64_t now = NowMs();
        if (now - std::min(now, mLastNotifyMs) > 300) {
            mLastNotifyMs = now;
            NotifyObjects({ PaneNotification::kDataArrived, mLatest });
        }
    }
    UpdateScrollBar();
    if (!mFollow && mRightEdge < PlotWidth()) {
        ResetStrips();
        WsInvalidateAll(false);
    }
    if (mRecordListener)
        mRecordListener({ PaneNotification::kRecord, recordIndex });
    return S_OK;
}

HRESULT DataPane::RecordChanged(LONG recordIndex, LONG value)
{
    if (mPaneSource)
        mPaneSource->OnRecordChanged(recordIndex, value);
    if (options & kPaneFrozen)
        return S_OK;
    mTimeScale->Refresh(0xFF000000u);
    for (int i = 0; i < StripCount(); ++i)
        Strip(i)->Refresh(0xFF000000u);
    mRecordSet = false;
    ReadLatest();
    if (!mSampling && mLatest < mRightEdge) {
        const std::int64_t old = mRightEdge;
        mRightEdge = std::max<std::int64_t>(mLatest, PlotWidth());
        ScrollBy(mRightEdge - old);
        UpdateScrollBar();
    }
    return S_OK;
}

HRESULT DataPane::SamplingStopped(DWORD flag)
{
    if (mPaneSource)
        mPaneSource->OnSamplingStopped(flag);
    if (options & kPaneFrozen)
        return S_OK;
    if (mAutoShowLatest && mFollow && mSampling)
        ResetStrips();
    mWritePos = PlotWidth();
    mSampling = 0;
    mTimeScale->Refresh(0);
    for (int i = 0; i < StripCount(); ++i)
        Strip(i)->Refresh(0);
    NotifyObjects({ PaneNotification::kSampling, 0 });
    UpdateScrollBar();
    if (mLayoutListener)
        mLayoutListener({ PaneNotification::kSampling, 0 });
    if (mSamplingIndicator)
        mSamplingIndicator(0);
    return S_OK;
}

HRESULT DataPane::RangeChanged(LONG first, LONG second)
{
    if (mPaneSource)
        mPaneSource->OnRangeChanged(first, second);
    if (options & kPaneFrozen)
        return S_OK;
    mTimeScale->Refresh(0);
    for (int i = 0; i < StripCount(); ++i)
        Strip(i)->Refresh(0);
    return S_OK;
}

// ---- Window, painting, input ----------------------------------------------------------------------

void DataPane::AttachWindow(vx::ui::HWND parent, vx::ui::HWND window)
{
    if (StripCount() == 0)
        SetStripCount(1);
    mParent = parent;
    mWindow = window;
    if (!(options & (kPaneNoControls | kPanePrint))) {
        mScrollBar = WsCreateScrollBar();
        mZoom = WsCreateZoomControl(mZoomArgument);
    }
    if (mZoom)
        mZoom->SetSamplingState(mFollow);
    for (int i = 0; i < StripCount(); ++i)
        SetupStrip(i);
    if (mZoom)
        mZoom->SetRatio(mCompression);
    NotifyObjects({ PaneNotification::kSource });
    NotifyObjects({ PaneNotification::kRelayout });
}

DrawParams DataPane::ViewParams(DWORD flags) const
{
    DrawParams params;
    params.samplesPerPixel = Ratio();
    params.firstSample = SampleOf(static_cast<double>(LeftEdge()));
    params.flags = flags;
    IRecordSource* source = nullptr;
    const_cast<DataPane*>(this)->GetRecordSource(&source);
    if (source) {
        double interval = 0;
        if (source->GetSampleInterval(&interval) == S_OK && interval > 0)
            params.secondsPerSample = interval;
        source->Release();
    }
    return params;
}

void DataPane::Paint(vx::ui::DC& dc, const Rect& rect)
{
    std::lock_guard lock(Lock());
    if (mPaneSource) {
        DWORD flags = 0;
        if (mPaneSource->GetPendingUpdateFlags(&flags) == S_OK && flags > 0xFFFFFF)
            ResetStrips();
    }
    ApplyPendingAutoscale();
    if (rect.IsEmpty())
        return;
    NotifyObjects({ PaneNotification::kPrePaint });
    DrawParams params = ViewParams(0);
    if (mPaneSource)
        mPaneSource->SetViewStart(params.firstSample);
    dc.FillSolidRect(rect, vx::ui::Colour { background });
    if (mTimeScale->LayoutGrid(dc, params, params.grid))
        mTimeScale->Paint(dc, rect, params.flags, 0xFFu, params);
    for (int i = 0; i < StripCount(); ++i)
        Strip(i)->Paint(dc, rect, params.flags, 0xFFu, params);
    // The write position of online data.
    if (mSampling && mWritePos > 0 && mWritePos < PlotWidth()) {
        dc.SelectPen(vx::ui::Pen::Solid(vx::ui::Colour::Rgb(128, 128, 128)));
        dc.MoveTo({ PlotLeft() + mWritePos, mRect.top });
        dc.LineTo({ PlotLeft() + mWritePos, mRect.top + mHeight });
    }
    for (auto& [id, object] : mObjects)
        object->Paint(*this, dc);
}

bool DataPane::OnMouse(UINT message, DWORD keys, Point point)
{
    bool handled = false;
    for (auto& [id, object] : std::map(mObjects))
        handled |= object->OnMouse(*this, message, keys, point);
    return handled;
}

bool DataPane::OnSetCursor(Point point)
{
    for (auto& [id, object] : std::map(mObjects))
        if (object->OnSetCursor(*this, point))
            return true;
    return false;
}

void DataPane::OnTimer(UINT id)
{
    for (auto& [key, object] : std::map(mObjects))
        object->OnTimer(*this, id);
}

void DataPane::OnMouseLeave()
{
    NotifyObjects({ PaneNotification::kMouseLeave });
}

void DataPane::FillZoomMenu(vx::ui::HMENU menu) const
{
    while (vx::ui::GetMenuItemCount(menu) > 0)
        vx::ui::DeleteMenu(menu, 0, vx::ui::MF_BYPOSITION);
    for (UINT command = kCmdRatioFirst; command <= kCmdRatioLast; ++command) {
        KEL::Rational ratio;
        ZoomControl::RatioForCommand(command, ratio);
        vx::ui::AppendMenu(
            menu, ratio == mCompression ? vx::ui::MF_CHECKED : 0, command, ZoomControl::FormatRatio(ratio));
    }
}

// ---- Printing and settings ------------------------------------------------------------------------

void DataPane::BeginPrinting()
{
    std::lock_guard lock(Lock());
    optionFlags |= kPanePrint;
    ResetStrips();
}

void DataPane::EndPrinting()
{
    std::lock_guard lock(Lock());
    optionFlags &= ~kPanePrint;
    ResetStrips();
    WsInvalidateAll(false);
}

void DataPane::DrawPrintable(vx::ui::DC& dc, DWORD flags, const Rect* rect)
{
    std::lock_guard lock(Lock());
    ReadLatest();
    Rect area { PlotLeft(), mRect.top, PlotLeft() + PlotWidth(), mRect.top + mHeight };
    if (rect)
        area = area.Intersect(*rect);
    // Never past the latest data.
    const std::int64_t latestX = PlotLeft() + (mLatest - LeftEdge());
    area.right = static_cast<int>(std::min<std::int64_t>(area.right, std::max<std::int64_t>(area.left, latestX)));
    if (area.IsEmpty())
        return;
    DrawParams params = ViewParams(flags);
    ResetStrips();
    const int saved = dc.SaveDC();
    const Rect timeRect = mTimeScale->StripRect();
    dc.IntersectClipRect({ area.left, area.top, area.right, std::max(area.bottom, timeRect.bottom) });
    if (mTimeScale->LayoutGrid(dc, params, params.grid))
        mTimeScale->Paint(dc, { area.left, timeRect.top, area.right, timeRect.bottom }, flags, 0xFFu, params);
    for (int i = 0; i < StripCount(); ++i)
        if (!Strip(i)->StripRect().Intersect(area).IsEmpty())
            Strip(i)->Paint(dc, area, flags, 0xFFu, params);
    dc.RestoreDC(saved);
}

void DataPane::UpdateChannelSettings(IUnknown* settings)
{
    IChannelDrawSettings* channel = nullptr;
    if (!settings || settings->QueryInterface(IChannelDrawSettings::kIid, reinterpret_cast<void**>(&channel)) != S_OK)
        return;
    IDisplaySettings* display = nullptr;
    settings->QueryInterface(IDisplaySettings::kIid, reinterpret_cast<void**>(&display));
    {
        std::lock_guard lock(Lock());
        mTimeScale->UpdateSettings(channel, display, -1);
        for (int i = 0; i < StripCount(); ++i) {
            Strip(i)->UpdateSettings(channel, display, Strip(i)->ChannelIndex());
            Strip(i)->InvalidateAll();
        }
    }
    if (display)
        display->Release();
    channel->Release();
    WsInvalidateAll(false);
}

// ---- Objects, observers ---------------------------------------------------------------------------

void DataPane::AddInteractiveObject(int id, std::shared_ptr<InteractiveObject> object)
{
    mObjects[id] = std::move(object);
}

void DataPane::RemoveInteractiveObject(int id)
{
    mObjects.erase(id);
}

void DataPane::NotifyObjects(const PaneNotification& n)
{
    // A copy: an object may add or remove objects while it is told.
    for (auto& [id, object] : std::map(mObjects))
        object->Notify(*this, n);
}

int DataPane::AddObserver(Listener observer)
{
    mObservers[mNextObserver] = std::move(observer);
    return mNextObserver++;
}

void DataPane::RemoveObserver(int id)
{
    mObservers.erase(id);
}

void DataPane::NotifyObservers(const PaneNotification& n)
{
    for (auto& [id, observer] : std::map(mObservers))
        observer(n);
}

void DataPane::SetStripRequestHandler(int strip, StripRequestHandler handler)
{
    if (handler)
        mStripHandlers[strip] = std::move(handler);
    else
        mStripHandlers.erase(strip);
}

void DataPane::StripRequest(int strip, LONG a, LONG b)
{
    if (auto it = mStripHandlers.find(strip); it != mStripHandlers.end() && it->second(strip, a, b))
        return;
    // The strip's channel reference: (index, 0xC0000000) for a channel strip, else none.
    const std::uint32_t channel = strip >= 0 && strip < StripCount() ? static_cast<std::uint32_t>(strip) : 0x80000000u;
    const std::int64_t reference = static_cast<std::int64_t>((std::uint64_t { 0xC0000000u } << 32) | channel);
    NotifyObservers({ PaneNotification::kStripRequest, reference, a, b });
}

void DataPane::ScaleDragged(int channel, DWORD, LONG a, LONG)
{
    NotifyObservers({ PaneNotification::kScaleDragged, channel, a });
}

void DataPane::ScaleSelected(int channel, int scaleNumber, IHostScale*)
{
    NotifyObservers({ PaneNotification::kScaleSelected, channel, scaleNumber });
}

// ---- State ------------------------------------------------------------------------------------

void DataPane::Save(IBinOutStream* stream) const
{
    stream->WriteInt32(kStateVersion);
    stream->WriteInt32(kStateVersion);
    for (const auto& [id, object] : mObjects)
        object->Save(stream);
    for (int i = 0; i < StripCount(); ++i)
        ChannelStrip(i)->Save(stream);
}

void DataPane::Load(IBinInStream* stream)
{
    ULONG first = 0, second = 0;
    stream->ReadUInt32(&first);
    stream->ReadUInt32(&second);
    if (first > kStateVersion || second > kStateVersion)
        throw XKEL(kStreamTooNew);
    if (first < kStateVersion)
        return;
    for (auto& [id, object] : mObjects)
        object->Load(stream);
    for (int i = 0; i < StripCount(); ++i)
        ChannelStrip(i)->Load(stream);
}

} // namespace VarnDraw
