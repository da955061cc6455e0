#include "tracedraw/ChildPane.h"

#include <algorithm>
#include <cmath>
#include <cstring>
#include <limits>

#include "foundation/XKEL.h"
#include "tracedraw/TraceDrawer.h"

namespace VarnDraw {

using vx::ui::Rect;

namespace {
int OrderOf(IVarnRecordDrawer* d)
{
    std::int32_t order = 0;
    d->GetDrawOrder(&order);
    return order;
}

int LayerOf(IVarnRecordDrawer* d)
{
    return OrderOf(d) / 256;
}

// A layer's bitmap is cleared where it is drawn again: what its drawers leave untouched stays
// transparent and shows the layers below.
void ClearToTransparent(ScreenBitMapDC& layer, const Rect& area)
{
    const vx::ui::BitmapPtr bitmap = layer.GetBitmap();
    if (!bitmap)
        return;
    layer.Flush();
    const Rect pixels = area.Intersect({ 0, 0, bitmap->Width(), bitmap->Height() });
    for (int y = pixels.top; y < pixels.bottom; ++y)
        for (int x = pixels.left; x < pixels.right; ++x)
            bitmap->SetArgb(x, y, 0);
    bitmap->MarkDirty();
}

} // namespace

// ---- ChildPaneBase ------------------------------------------------------------------------

ChildPaneBase::ChildPaneBase(const ChildPaneBaseInit& init)
    : ChildPaneBaseInit(init)
{
}

ChildPaneBase::~ChildPaneBase()
{
    SetDataPane(nullptr);
}

void ChildPaneBase::SetDataPane(DrawerDataPane* pane)
{
    mPane = pane;
    for (std::uint32_t i = 0; i < mDrawers.Count(); ++i)
        mDrawers[i]->SetDataPane(pane);
}

HRESULT ChildPaneBase::AddDrawer(DWORD addFlags, IVarnRecordDrawer* drawer, int blend)
{
    if (!drawer)
        return E_INVALIDARG;
    const int order = OrderOf(drawer);
    if (order < 0 || order >= kLayerCount * 256)
        return E_INVALIDARG;
    drawer->SetDataPane(mPane);
    drawer->SetChannelIndex(0, channelIndex);
    drawer->SetBounds(widthValue, &rect2);
    // Appended, then sorted stably by draw order: equal orders keep the order they came in.
    std::vector<IVarnRecordDrawer*> sorted;
    for (std::uint32_t i = 0; i < mDrawers.Count(); ++i)
        sorted.push_back(mDrawers[i]);
    sorted.push_back(drawer);
    std::stable_sort(sorted.begin(), sorted.end(),
        [](IVarnRecordDrawer* a, IVarnRecordDrawer* b) { return OrderOf(a) < OrderOf(b); });
    for (auto* d : sorted)
        d->AddRef();
    mDrawers.RemoveRange(0, mDrawers.Count());
    for (auto* d : sorted) {
        mDrawers.Add(d);
        d->Release();
    }
    if ((addFlags & 0x80000000u) && mPane && mPane->IsLayerBuffering()) {
        StripLayer& layer = mLayers[static_cast<std::size_t>(order / 256)];
        layer.flags = (layer.flags | 0xC0000000u) & ~kLayerDrawn;
        layer.blend = blend;
        if (blend != 255)
            layer.flags &= ~kLayerOpaque;
        layer.flags |= addFlags & kLayerFromAddFlags;
    }
    RecomputeLayers();
    layoutDirty = true;
    return S_OK;
}

void ChildPaneBase::RecomputeLayers()
{
    for (auto& layer : mLayers)
        layer.first = layer.end = -1;
    for (std::uint32_t i = 0; i < mDrawers.Count(); ++i) {
        StripLayer& layer = mLayers[static_cast<std::size_t>(LayerOf(mDrawers[i]))];
        if (layer.first < 0)
            layer.first = static_cast<int>(i);
        layer.end = static_cast<int>(i) + 1;
    }
}

void ChildPaneBase::RemoveDrawers(DWORD kindMask, std::int64_t identity)
{
    for (std::uint32_t i = mDrawers.Count(); i > 0; --i) {
        IVarnRecordDrawer* d = mDrawers[i - 1];
        DWORD kind = 0;
        d->GetKind(nullptr, &kind, nullptr, nullptr);
        std::int64_t id = 0;
        const bool anyId = identity == kNoIdentity;
        // A drawer matches when its kind holds every bit of the mask: the trace mask 0x60000000 takes
        // the traces and leaves the event drawers (0x40000000) and the graticule.
        const bool kindMatches = kindMask == 0 || (kind & kindMask) == kindMask;
        if (kindMatches && (anyId || (d->GetSourceId(&id) == S_OK && id == identity)))
            mDrawers.RemoveAt(i - 1);
    }
    RecomputeLayers();
    layoutDirty = true;
}

void ChildPaneBase::Margins(int orderFrom, int orderTo, vx::ui::DC* dc, int& left, int& right) const
{
    left = right = 0;
    for (std::uint32_t i = 0; i < mDrawers.Count(); ++i) {
        const int order = OrderOf(mDrawers[i]);
        if (order < orderFrom || order >= orderTo)
            continue;
        std::int32_t l = 0, r = 0;
        DWORD kind = 0;
        mDrawers[i]->GetKind(dc, &kind, &l, &r);
        left = std::max(left, static_cast<int>(l));
        right = std::max(right, static_cast<int>(r));
    }
}

void ChildPaneBase::DecideBuffering()
{
    const bool buffered = mPane && mPane->IsLayerBuffering() && !mPane->IsDrawingForOutput();
    for (auto& layer : mLayers) {
        if (buffered)
            layer.flags = (layer.flags | 0xC0000000u) & ~kLayerDrawn;
        else
            layer.flags &= ~kLayerBuffered;
    }
}

void ChildPaneBase::SetBounds(std::int64_t width, std::int64_t, const Rect& r)
{
    widthValue = width;
    rect = r;
    rect2 = { 0, 0, r.Width(), r.Height() };
    DecideBuffering();
    for (auto& layer : mLayers) {
        if (!(layer.flags & kLayerBuffered)) {
            layer.bitmap.reset();
            continue;
        }
        if (!layer.bitmap || layer.bitmap->Width() != r.Width() || layer.bitmap->Height() != r.Height())
            layer.bitmap = MakeLayerBitmap(r.Width(), r.Height());
    }
    for (std::uint32_t i = 0; i < mDrawers.Count(); ++i)
        mDrawers[i]->SetBounds(widthValue, &rect2);
    // The drawers' backgrounds (the graticule's pre-trigger hatch) follow the strip's height.
    CreateBackgrounds(0);
    InvalidateAll();
    layoutDirty = true;
}

void ChildPaneBase::SetLayerBlend(int index, int value)
{
    StripLayer& layer = mLayers[static_cast<std::size_t>(index)];
    layer.blend = value;
    if (value != 255)
        layer.flags &= ~kLayerOpaque;
    else
        layer.flags |= kLayerOpaque;
}

void ChildPaneBase::InvalidateAll()
{
    for (auto& layer : mLayers) {
        layer.flags = (layer.flags | kLayerNeedsDrawing) & ~kLayerDrawn;
        layer.invalid = rect2;
    }
}

void ChildPaneBase::InvalidateColumns(int x0, int x1)
{
    const Rect columns { x0, 0, x1, rect2.bottom };
    for (int i = 5; i < kLayerCount; ++i) {
        mLayers[static_cast<std::size_t>(i)].invalid = mLayers[static_cast<std::size_t>(i)].invalid.Union(columns);
        if (i <= 6)
            mLayers[static_cast<std::size_t>(i)].flags |= kLayerNeedsDrawing;
    }
    mPaneInvalid = mPaneInvalid.Union(columns);
    if (mPane)
        mPane->redraws.emplace_back(channelIndex, columns);
}

void ChildPaneBase::Scroll(int dx)
{
    for (auto& layer : mLayers) {
        if ((layer.flags & kLayerBuffered) && (layer.flags & kLayerOpaque) && layer.bitmap
            && layer.bitmap->HasBitmap()) {
            const vx::ui::BitmapPtr copy = layer.bitmap->GetBitmap()->Copy();
            layer.bitmap->BitBlt({ dx, 0, dx + rect2.Width(), rect2.Height() }, copy, { 0, 0 });
        }
        layer.invalid = layer.invalid.Offset(dx, 0).Intersect(rect2);
        const Rect exposed
            = dx > 0 ? Rect { 0, 0, dx, rect2.bottom } : Rect { rect2.right + dx, 0, rect2.right, rect2.bottom };
        layer.invalid = layer.invalid.Union(exposed.Intersect(rect2));
        if (layer.flags & kLayerDrawn)
            layer.flags = (layer.flags | kLayerNeedsDrawing) & ~kLayerDrawn;
    }
}

void ChildPaneBase::UpdateSettings(IUnknown* channelSettings, IUnknown* displaySettings, int channel)
{
    for (std::uint32_t i = 0; i < mDrawers.Count(); ++i)
        mDrawers[i]->UpdateSettings(channelSettings, displaySettings, channel);
}

void ChildPaneBase::Refresh(DWORD flags)
{
    for (std::uint32_t i = 0; i < mDrawers.Count(); ++i)
        mDrawers[i]->Refresh(flags);
}

void ChildPaneBase::CreateBackgrounds(DWORD)
{
    for (std::uint32_t i = 0; i < mDrawers.Count(); ++i)
        mDrawers[i]->CreateBackground();
}

void ChildPaneBase::SetRecord(LONG record, DWORD flag)
{
    for (std::uint32_t i = 0; i < mDrawers.Count(); ++i)
        mDrawers[i]->SetRecord(record, flag);
}

void ChildPaneBase::ClearRecord()
{
    for (std::uint32_t i = 0; i < mDrawers.Count(); ++i)
        mDrawers[i]->ClearRecord();
}

void ChildPaneBase::SetDrawerOption(DWORD value)
{
    for (std::uint32_t i = 0; i < mDrawers.Count(); ++i)
        mDrawers[i]->Reserved28(value);
}

void ChildPaneBase::DrawBackground(vx::ui::DC& dc, const DrawParams& params)
{
    Paint(dc, rect, 0, 1u, params);
}

void ChildPaneBase::DrawLayer(vx::ui::DC& dc, int index, const DrawParams& params)
{
    const StripLayer& layer = mLayers[static_cast<std::size_t>(index)];
    for (int i = layer.first; i >= 0 && i < layer.end; ++i)
        mDrawers[static_cast<std::uint32_t>(i)]->Draw(&dc, &params);
}

void ChildPaneBase::Paint(
    vx::ui::DC& dc, const Rect& paintRect, DWORD drawFlags, unsigned layers, const DrawParams& base)
{
    if (rect.Height() <= 0 || paintRect.Intersect(rect).IsEmpty() || layers == 0)
        return;
    int lowest = 0;
    while (lowest < kLayerCount && !(layers & (1u << lowest)))
        ++lowest;
    int highest = kLayerCount - 1;
    while (highest > lowest && !(layers & (1u << highest)))
        --highest;
    const Rect local = paintRect.Intersect(rect).Offset(-rect.left, -rect.top);
    for (int index = lowest; index <= highest; ++index) {
        StripLayer& layer = mLayers[static_cast<std::size_t>(index)];
        if (!(layers & (1u << index)) || layer.first < 0 || layer.invalid.IsEmpty())
            continue;
        const Rect area = layer.invalid.Intersect(local);
        if (area.IsEmpty())
            continue;
        DrawParams p = base;
        p.xFrom = area.left;
        p.xTo = area.right;
        p.strip = rect2;
        p.flags = drawFlags;
        // Output (a printer, a recording standing in for a picture) is always drawn afresh.
        const bool output = dc.IsRecording() || (mPane && mPane->IsDrawingForOutput());
        const bool buffered = !output && (layer.flags & kLayerBuffered) && layer.bitmap && layer.bitmap->HasBitmap();
        if (buffered) {
            if (layer.flags & kLayerNeedsDrawing) {
                ClearToTransparent(*layer.bitmap, area);
                DrawLayer(*layer.bitmap, index, p);
                layer.bitmap->Flush();
            }
            // Composed at once over what the layers below left, so that the layers above land on
            // top of it: each pixel by its own alpha (a layer holds only what its drawers drew),
            // the whole layer by its blend value.
            dc.AlphaBlend(area.Offset(rect.left, rect.top), layer.bitmap->GetBitmap(), area,
                std::clamp(layer.blend, 0, 255), true);
        } else {
            const int saved = dc.SaveDC();
            const vx::ui::Point origin = dc.GetViewportOrg();
            dc.IntersectClipRect(area.Offset(rect.left, rect.top));
            dc.SetViewportOrg({ origin.x + rect.left, origin.y + rect.top });
            DrawLayer(dc, index, p);
            dc.RestoreDC(saved);
        }
        layer.flags = (layer.flags | kLayerDrawn) & ~kLayerNeedsDrawing;
    }
}

// ---- ChannelPane --------------------------------------------------------------------------

namespace {
std::mutex gFactoryLock;
IScaleFactory* gFactory = nullptr;
} // namespace

void SetHostScaleFactory(IScaleFactory* factory)
{
    std::lock_guard lock(gFactoryLock);
    if (factory)
        factory->AddRef();
    if (gFactory)
        gFactory->Release();
    gFactory = factory;
}

IScaleFactory* GetHostScaleFactory()
{
    std::lock_guard lock(gFactoryLock);
    if (gFactory)
        gFactory->AddRef();
    return gFactory;
}

ChannelPane::ChannelPane(const ChannelPaneInit& init)
    : ChildPaneBase(init)
    , mInit(init)
{
}

ChannelPane::~ChannelPane()
{
    for (auto& slot : mScale)
        if (slot.scale) {
            slot.scale->SetObserver(nullptr);
            slot.scale->Release();
        }
}

IHostScale* ChannelPane::GetScale1()
{
    if (mScale[0].scale)
        mScale[0].scale->AddRef();
    return mScale[0].scale;
}

IHostScale* ChannelPane::GetScale2()
{
    if (mScale[1].scale)
        mScale[1].scale->AddRef();
    return mScale[1].scale;
}

HRESULT ChannelPane::CreateScales(vx::ui::HWND window, DWORD)
{
    IScaleFactory* factory = GetHostScaleFactory();
    if (!factory)
        return E_FAIL;
    const bool output = mPane && mPane->IsDrawingForOutput();
    const LONG inset = (mInit.scaleStyle & (1u << 14)) ? -2 : 0;
    DWORD style = mInit.scaleStyle;
    if (output)
        style = (style & ~(1u << 4)) | (1u << 3);
    HRESULT hr = S_OK;
    for (int number = 1; number <= 2; ++number) {
        const DWORD bit = number == 1 ? 0x80000000u : 0x40000000u;
        if (!(mInit.scaleOptions & bit))
            continue;
        const DWORD s = number == 2 ? style | 2u : style;
        IHostScale* scale = nullptr;
        hr = output || !window ? factory->CreateWindowlessScale(s, number, 0, &scale)
                               : factory->CreateScaleWindow(window, inset, inset, s, number, &scale);
        if (FAILED(hr) || !scale)
            break;
        scale->SetObserver(this);
        scale->SetChannel(channelIndex);
        ScaleSlot& slot = mScale[number - 1];
        if (slot.scale) {
            slot.scale->SetObserver(nullptr);
            slot.scale->Release();
        }
        slot.scale = scale;
    }
    factory->Release();
    return hr;
}

void ChannelPane::SetBounds(std::int64_t width, std::int64_t position, const Rect& r)
{
    ChildPaneBase::SetBounds(width, position, r);
    const int inset = (mInit.scaleStyle & (1u << 14)) ? -2 : 0;
    Rect s1 { r.left - mLeftMargin, r.top + inset, r.left, r.bottom - inset };
    if (mScale[0].scale && !(mInit.scaleOptions & (1u << 28)))
        mScale[0].scale->Place(&s1);
    if (mScale[1].scale) {
        Rect s2 { r.right + 2 * mBorder, r.top + inset, r.right + 2 * mBorder + mRightMargin, r.bottom - inset };
        mScale[1].scale->Place(&s2);
    }
}

HRESULT ChannelPane::ScaleDragged(DWORD flags, LONG a, LONG b)
{
    if (mPane)
        mPane->ScaleDragged(channelIndex, (flags & ~0xFFu) | 1u, a, b);
    return S_OK;
}

HRESULT ChannelPane::ScaleSelected(LONG scaleNumber, LONG)
{
    if (!mPane)
        return S_OK;
    IHostScale* scale = scaleNumber == 1 ? GetScale1() : scaleNumber == 2 ? GetScale2() : nullptr;
    mPane->ScaleSelected(channelIndex, scaleNumber, scale);
    if (scale)
        scale->Release();
    return S_OK;
}

HRESULT ChannelPane::ScaleRangeChanged(LONG scaleNumber, DWORD, const vx::hf::DisplayRange* range)
{
    if (!range)
        return E_POINTER;
    std::unique_lock<std::recursive_mutex> lock;
    if (mPane)
        lock = std::unique_lock(mPane->Lock());
    ScaleSlot* slot = Slot(scaleNumber);
    IUnknown* scale = slot ? slot->scale : nullptr;
    // The scale shows its prefixed unit; the drawers map values in base units.
    const double factor = ScaleFactor(scaleNumber);
    const vx::hf::DisplayRange base { range->bottom / factor, range->top / factor };
    bool accepted = false;
    for (std::uint32_t i = 0; i < mDrawers.Count(); ++i)
        accepted |= mDrawers[i]->SetScaleRange(scaleNumber, 0, &base, scale) == S_OK;
    if (accepted) {
        InvalidateAll();
        layoutDirty = true;
    }
    return S_OK;
}

HRESULT ChannelPane::SendScaleCommand(LONG scaleNumber)
{
    ScaleSlot* slot = Slot(scaleNumber);
    if (!slot || !slot->scale)
        return E_FAIL;
    return slot->scale->Command(47);
}

HRESULT ChannelPane::GetAutoRange(DWORD, vx::hf::DisplayRange* range, WORD* flag)
{
    if (!range)
        return E_POINTER;
    if (flag)
        *flag = 0xFFFF;
    bool any = false;
    vx::hf::DisplayRange all { std::numeric_limits<double>::infinity(), -std::numeric_limits<double>::infinity() };
    for (std::uint32_t i = 0; i < mDrawers.Count(); ++i) {
        int number = 1;
        if (mDrawers[i]->GetScaleNumber(&number) != S_OK)
            number = 1;
        vx::hf::DisplayRange r;
        if (mDrawers[i]->QueryValues(0x10000u, number, &r) == S_OK) {
            all.bottom = std::min(all.bottom, r.bottom);
            all.top = std::max(all.top, r.top);
            any = true;
        }
    }
    if (!any)
        return S_FALSE;
    *range = all;
    return S_OK;
}

void ChannelPane::Refresh(DWORD flags)
{
    for (int number = 1; number <= 2; ++number) {
        ScaleSlot& slot = mScale[number - 1];
        IScaleRange* range = nullptr;
        if (slot.scale && slot.scale->QueryInterface(IScaleRange::kIid, reinterpret_cast<void**>(&range)) == S_OK) {
            vx::hf::DisplayRange r;
            if (range->GetRange(&r) == S_OK)
                ScaleRangeChanged(number, 0, &r);
            range->Release();
        }
    }
    ChildPaneBase::Refresh(flags);
}

HRESULT ChannelPane::SetScaleUnit(const wchar_t*, int scaleNumber, int prefixIndex)
{
    ScaleSlot* slot = Slot(scaleNumber);
    if (!slot)
        return E_FAIL;
    const SiPrefix prefix = SiPrefixOf(prefixIndex);
    slot->letter = prefix.letter;
    slot->factor = prefix.factor;
    slot->prefix = prefixIndex;
    if (!slot->scale)
        return E_FAIL;
    BSTR text = nullptr;
    slot->scale->GetUnitText(&text);
    const HRESULT hr = slot->scale->SetTransform(slot->factor, 0.0, text ? text : L"");
    SysFreeString(text);
    layoutDirty = true;
    return hr;
}

bool ChannelPane::SetScaleRange(DWORD, int scaleNumber, vx::hf::DisplayRange range, bool notify, bool force)
{
    if (range.bottom == range.top)
        return false;
    ScaleSlot* slot = Slot(scaleNumber);
    if (!slot || !slot->scale)
        return false;
    if (slot->prefix != 0 && slot->prefix != 1 && slot->prefix != 8) {
        range.bottom *= slot->factor;
        range.top *= slot->factor;
    }
    if (notify) {
        IScaleRange* r = nullptr;
        if (slot->scale->QueryInterface(IScaleRange::kIid, reinterpret_cast<void**>(&r)) == S_OK) {
            r->SetRange(&range);
            r->Release();
        }
    }
    const std::uint8_t bit = scaleNumber == 1 ? 1 : 2;
    if (force || (mPending & bit)) {
        if (FAILED(slot->scale->SetRange(&range)))
            return false;
        mPending &= static_cast<std::uint8_t>(~bit);
    }
    return true;
}

ChannelPane* ChannelPane::Clone() const
{
    auto* copy = new ChannelPane(mInit);
    copy->ChildPaneBaseInit::operator=(*this);
    copy->mLeftMargin = mLeftMargin;
    copy->mRightMargin = mRightMargin;
    for (int i = 0; i < 2; ++i) {
        copy->mScale[i].letter = mScale[i].letter;
        copy->mScale[i].factor = mScale[i].factor;
        copy->mScale[i].prefix = mScale[i].prefix;
    }
    for (std::uint32_t i = 0; i < mDrawers.Count(); ++i) {
        IVarnRecordDrawer* clone = nullptr;
        if (mDrawers[i]->Clone(0x40000000u, &clone) == S_OK && clone) {
            copy->AddDrawer(0, clone, 255);
            clone->Release();
        }
    }
    return copy;
}

void ChannelPane::Save(IBinOutStream* stream) const
{
    if (stream)
        stream->WriteInt32(kChannelPaneVersion);
}

void ChannelPane::Load(IBinInStream* stream)
{
    if (!stream)
        return;
    ULONG version = 0;
    stream->ReadUInt32(&version);
    if (version > kChannelPaneVersion)
        throw XKEL(kStreamTooNew);
    if (version == 2)
        for (int i = 0; i < 4; ++i) {
            double ignored = 0;
            stream->ReadDouble(&ignored);
        }
}

void ChannelPane::UpdateScales(LONG first, LONG last)
{
    IRecordChannelScale* settings = nullptr;
    IRecordSource* source = nullptr;
    if (mPane && mPane->GetRecordSource(&source) == S_OK && source) {
        source->QueryInterface(IRecordChannelScale::kIid, reinterpret_cast<void**>(&settings));
        source->Release();
    }
    for (int number = 1; number <= 2; ++number) {
        ScaleSlot& slot = mScale[number - 1];
        if (!slot.scale)
            continue;
        BSTR unit = nullptr;
        vx::hf::DisplayRange range;
        bool found = false;
        // Scale 1 searches forwards, scale 2 backwards.
        for (LONG i = 0; settings && first <= last && i <= last - first && !found; ++i) {
            const LONG record = number == 1 ? first + i : last - i;
            SysFreeString(unit);
            unit = nullptr;
            found = settings->GetChannelScale(record, channelIndex, &unit, &range) == S_OK;
        }
        if (found) {
            IScaleRange* rangeSide = nullptr;
            if (slot.scale->QueryInterface(IScaleRange::kIid, reinterpret_cast<void**>(&rangeSide)) == S_OK) {
                rangeSide->SetRange(&range);
                rangeSide->Release();
            }
            slot.scale->SetTransform(slot.factor, 0.0, unit ? unit : L"");
            slot.scale->SetChannel(channelIndex);
        }
        SysFreeString(unit);
        slot.scale->Show(found ? 0xFFFF : 0);
    }
    if (settings)
        settings->Release();
    layoutDirty = true;
}

// ---- DrawerDataPane -----------------------------------------------------------------------

DrawerDataPane::DrawerDataPane() = default;

DrawerDataPane::~DrawerDataPane()
{
    // The strips may outlive the pane (a reference elsewhere): they and their drawers forget it.
    for (ChildPaneBase* strip : mStrips) {
        strip->SetDataPane(nullptr);
        strip->Release();
    }
    if (mSource)
        mSource->Release();
}

HRESULT DrawerDataPane::QueryInterface(REFIID iid, void** out)
{
    if (!out)
        return E_POINTER;
    *out = nullptr;
    if (iid == IUnknown::kIid || iid == IDrawerDataPane::kIid) {
        *out = static_cast<IDrawerDataPane*>(this);
        return S_OK;
    }
    return E_NOINTERFACE;
}

void DrawerDataPane::SetRecordSource(IRecordSource* source)
{
    if (source)
        source->AddRef();
    if (mSource)
        mSource->Release();
    mSource = source;
}

int DrawerDataPane::AddStrip(ChildPaneBase* strip)
{
    strip->AddRef();
    mStrips.push_back(strip);
    mLayerValues.emplace_back();
    strip->SetDataPane(this);
    return StripCount() - 1;
}

void DrawerDataPane::RemoveLastStrip()
{
    if (mStrips.empty())
        return;
    std::lock_guard lock(mLock);
    ChildPaneBase* strip = mStrips.back();
    mStrips.pop_back();
    mLayerValues.pop_back();
    strip->SetDataPane(nullptr);
    strip->Release();
}

ChildPaneBase* DrawerDataPane::Strip(int i) const
{
    return Past(i) ? nullptr : mStrips[static_cast<std::size_t>(i)];
}

HRESULT DrawerDataPane::AddDrawer(int strip, DWORD addFlags, IVarnRecordDrawer* drawer, int blend)
{
    if (Past(strip) || !drawer)
        return E_INVALIDARG;
    std::lock_guard lock(mLock);
    drawer->SetSource(0, mSource);
    const HRESULT hr = mStrips[static_cast<std::size_t>(strip)]->AddDrawer(addFlags, drawer, blend);
    if (SUCCEEDED(hr) && record != -1)
        drawer->SetRecord(record, 0);
    return hr;
}

void DrawerDataPane::PaintAll(vx::ui::DC& dc, DrawParams params)
{
    std::lock_guard lock(mLock);
    // The time scale lays out the ticks first; the channel strips draw their grid from them.
    for (ChildPaneBase* strip : mStrips)
        if (strip->LayoutGrid(dc, params, params.grid))
            strip->Paint(dc, strip->StripRect(), params.flags, 0xFFu, params);
    for (ChildPaneBase* strip : mStrips)
        if (strip->ChannelIndex() != -1)
            strip->Paint(dc, strip->StripRect(), params.flags, 0xFFu, params);
}

HRESULT DrawerDataPane::GetRecordSource(IRecordSource** out)
{
    if (!out)
        return E_POINTER;
    *out = mSource;
    if (mSource)
        mSource->AddRef();
    return mSource ? S_OK : S_FALSE;
}

HRESULT DrawerDataPane::GetDeviceSize(double* x, double* y)
{
    if (!x || !y)
        return E_POINTER;
    *x = *y = deviceScale > 0 ? deviceScale : 1.0;
    return S_OK;
}

HRESULT DrawerDataPane::GetPrintMode(WORD* printMode)
{
    const bool on = (optionFlags & (1u << 23)) != 0;
    if (!printMode)
        return on ? S_OK : S_FALSE;
    *printMode = on ? 0xFFFF : 0;
    return S_OK;
}

HRESULT DrawerDataPane::StoreLayerValue(int strip, int layer, const void* value16)
{
    if (Past(strip) || layer < 0 || layer >= kLayerCount || !value16)
        return E_INVALIDARG;
    std::lock_guard lock(mLock);
    std::memcpy(mLayerValues[static_cast<std::size_t>(strip)][static_cast<std::size_t>(layer)].data(), value16, 16);
    return S_OK;
}

HRESULT DrawerDataPane::SetBlend(int strip, int layer, int value)
{
    if (Past(strip) || layer < 0 || layer >= kLayerCount)
        return E_INVALIDARG;
    std::lock_guard lock(mLock);
    mStrips[static_cast<std::size_t>(strip)]->SetLayerBlend(layer, value);
    return S_OK;
}

HRESULT DrawerDataPane::RedrawStrip(int strip, const Rect* range)
{
    redraws.emplace_back(strip < 0 ? -1 : strip, range ? *range : Rect {});
    return S_OK;
}

HRESULT DrawerDataPane::RedrawStripNow(int strip, const Rect* range)
{
    return RedrawStrip(strip, range);
}

HRESULT DrawerDataPane::GetBackgroundColour(DWORD* colour)
{
    if (!colour)
        return E_POINTER;
    const bool print = (optionFlags & (1u << 23)) != 0;
    *colour = print && (background & 0xFFFFFF) == 0 ? 0xFFFFFF : background;
    return S_OK;
}

HRESULT DrawerDataPane::TraceColourForBackground(DWORD colour, DWORD* out)
{
    if (!out)
        return E_POINTER;
    DWORD back = 0;
    GetBackgroundColour(&back);
    if ((back & 0xFFFFFF) != 0) {
        *out = colour;
        return S_OK;
    }
    const vx::ui::Colour c { colour };
    const int lift = (765 - 2 * (c.Red() + c.Green() + c.Blue())) / 3;
    auto up = [lift](int v) { return static_cast<std::uint8_t>(std::clamp(v + lift, 0, 255)); };
    *out = vx::ui::Colour::Rgb(up(c.Red()), up(c.Green()), up(c.Blue())).value;
    return S_OK;
}

HRESULT DrawerDataPane::GetScaleIdentity(int strip, std::int64_t* identity)
{
    if (Past(strip))
        return E_INVALIDARG;
    if (!identity)
        return E_POINTER;
    *identity = mStrips[static_cast<std::size_t>(strip)]->ChannelIndex();
    return S_OK;
}

HRESULT DrawerDataPane::GetScaleObject(int strip, int scaleNumber, IUnknown** out)
{
    if (!out)
        return E_POINTER;
    *out = nullptr;
    if (scaleOverride) {
        IDrawerDataPane* overridePane = nullptr;
        if (scaleOverride->QueryInterface(IDrawerDataPane::kIid, reinterpret_cast<void**>(&overridePane)) == S_OK) {
            const HRESULT hr = overridePane->GetScaleObject(strip, scaleNumber, out);
            overridePane->Release();
            return hr;
        }
    }
    if (Past(strip))
        return E_INVALIDARG;
    ChildPaneBase* s = mStrips[static_cast<std::size_t>(strip)];
    *out = scaleNumber == 1 ? s->GetScale1() : s->GetScale2();
    return S_OK;
}

HRESULT DrawerDataPane::QueryStripDrawing(int strip, DWORD* answer)
{
    if (Past(strip))
        return E_INVALIDARG;
    if (answer)
        *answer = mStrips[static_cast<std::size_t>(strip)]->DrawerCount();
    return S_OK;
}

HRESULT DrawerDataPane::GetStripWidth(int strip, std::int32_t* width)
{
    if (Past(strip))
        return E_INVALIDARG;
    if (!width)
        return E_POINTER;
    *width = mStrips[static_cast<std::size_t>(strip)]->StripRect().Width();
    return S_OK;
}

HRESULT DrawerDataPane::GetOptionFlags(DWORD* first, DWORD* second)
{
    if (first)
        *first = optionFlags;
    if (second)
        *second = optionFlags2;
    return S_OK;
}

} // namespace VarnDraw
