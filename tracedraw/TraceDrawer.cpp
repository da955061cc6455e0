#include "tracedraw/TraceDrawer.h"

#include <algorithm>
#include <cmath>
#include <vector>

namespace VarnDraw {

using vx::ui::Colour;

SiPrefix SiPrefixOf(int index)
{
    static constexpr SiPrefix kPrefixes[] = { { L'?', 1.0 }, { 0, 1.0 }, { L'a', 1e18 }, { L'f', 1e15 }, { L'p', 1e12 },
        { L'n', 1e9 }, { L'\u00B5', 1e6 }, { L'm', 1e3 }, { 0, 1.0 }, { L'k', 1e-3 }, { L'M', 1e-6 }, { L'G', 1e-9 },
        { L'T', 1e-12 }, { L'P', 1e-15 }, { L'E', 1e-18 } };
    if (index < 0 || index > 14)
        return { 0, 1.0 };
    return kPrefixes[index];
}

PolyLineTraceDrawer::PolyLineTraceDrawer(DWORD, std::int64_t identity, int scaleNumber, std::optional<Colour> colour,
    std::int64_t alternate, const TracePalette& palette)
    : DrawerBase({ 513, static_cast<std::int32_t>(identity & 0xFFFFFFFF), static_cast<std::uint32_t>(identity >> 32),
        alternate })
    , mScaleNumber(scaleNumber)
{
    mColour = colour ? colour->value : palette.ForChannel(channel).value;
}

PolyLineTraceDrawer::PolyLineTraceDrawer(const PolyLineTraceDrawer& other)
    : DrawerBase(other)
    , mRange(other.mRange)
    , mStyle(other.mStyle)
    , mColour(other.mColour)
    , mScaleNumber(other.mScaleNumber)
    , mPenWidth(other.mPenWidth)
{
}

PolyLineTraceDrawer::~PolyLineTraceDrawer()
{
    ResetIterator();
    if (mColourSource)
        mColourSource->Release();
}

HRESULT PolyLineTraceDrawer::SetSource(DWORD flags, IRecordSource* source)
{
    DrawerBase::SetSource(flags, source);
    if (mColourSource) {
        mColourSource->Release();
        mColourSource = nullptr;
    }
    if (source)
        source->QueryInterface(IColourSource::kIid, reinterpret_cast<void**>(&mColourSource));
    ResetIterator();
    mDrawnPosition = 0;
    return S_OK;
}

HRESULT PolyLineTraceDrawer::GetKind(vx::ui::DC*, DWORD* kind, std::int32_t* left, std::int32_t* right)
{
    if (kind)
        *kind = kKindTrace;
    if (left)
        *left = 1;
    if (right)
        *right = 0;
    return S_OK;
}

HRESULT PolyLineTraceDrawer::ReadValue(std::int64_t position, double& value, std::wstring& unit)
{
    if (channel < 0 || !mRecordData)
        return S_FALSE;
    BSTR text = nullptr;
    const HRESULT hr = mRecordData->GetValue(static_cast<ULONG>(channel), position, &value, &text);
    unit = text ? text : L"";
    SysFreeString(text);
    return hr;
}

HRESULT PolyLineTraceDrawer::GetData(int scaleNumber, std::int64_t, IUnknown** out, DWORD* flag)
{
    if (out)
        *out = nullptr;
    if (flag)
        *flag = 0;
    if (channel < 0 || scaleNumber != mScaleNumber || !mRecordData || !out)
        return S_FALSE;
    mRecordData->AddRef();
    *out = mRecordData;
    return S_OK;
}

HRESULT PolyLineTraceDrawer::SetScaleRange(int scaleNumber, DWORD, const vx::hf::DisplayRange* range, IUnknown*)
{
    if (scaleNumber != mScaleNumber || !range)
        return S_FALSE;
    mRange = *range;
    ResetIterator();
    return S_OK;
}

HRESULT PolyLineTraceDrawer::Refresh(DWORD)
{
    if (mRecordSet && mSource)
        mSource->GetCurrentPosition(&mDrawnPosition);
    ResetIterator();
    return S_OK;
}

HRESULT PolyLineTraceDrawer::GetDrawnPosition(DWORD, DWORD, std::int64_t* position)
{
    if (!mIterator)
        return S_FALSE;
    if (!position)
        return E_POINTER;
    std::int64_t consumed = 0;
    mIterator->GetSamplesConsumed(&consumed);
    *position = mDrawnPosition + consumed;
    return S_OK;
}

HRESULT PolyLineTraceDrawer::ClearRecord()
{
    DrawerBase::ClearRecord();
    ResetIterator();
    return S_OK;
}

HRESULT PolyLineTraceDrawer::QueryValues(DWORD flags, int scaleNumber, vx::hf::DisplayRange* range)
{
    if (scaleNumber != mScaleNumber || channel < 0 || !mRecordData)
        return S_FALSE;
    DWORD request = mRequestFlags;
    if (mOption)
        request &= ~0x3000u;
    request = (request & ~0xFFu) | (selector & 0xFFu);
    return mRecordData->QueryValues((flags | request) | 0x82000100u, static_cast<ULONG>(channel), range);
}

HRESULT PolyLineTraceDrawer::GetScaleNumber(int* number)
{
    if (!number)
        return E_POINTER;
    *number = mScaleNumber;
    return S_OK;
}

HRESULT PolyLineTraceDrawer::ResetIterator()
{
    if (mIterator) {
        mIterator->Release();
        mIterator = nullptr;
    }
    return S_OK;
}

HRESULT PolyLineTraceDrawer::UpdateSettings(IUnknown* channelSettings, IUnknown*, int channelIndex)
{
    const bool useAlternate = (selector & 0xFFu) == 4 && static_cast<std::uint32_t>(alternate) != 0x80000000u;
    const std::int64_t identity
        = useAlternate ? alternate : MakeIdentity(static_cast<std::uint32_t>(channel), selector);
    const LONG identityChannel = static_cast<LONG>(identity & 0xFFFFFFFF);
    if (!channelSettings || (channelIndex != -1 && channelIndex != identityChannel))
        return S_OK;
    IChannelDrawSettings* cs = nullptr;
    if (channelSettings->QueryInterface(IChannelDrawSettings::kIid, reinterpret_cast<void**>(&cs)) != S_OK)
        return S_OK;
    LONG style = mStyle;
    if (cs->GetTraceStyle(2, identityChannel, &style) == S_OK)
        mStyle = style;
    DWORD colour = mColour;
    if (cs->GetTraceColour(0x80000000u, identity, &colour) == S_OK)
        mColour = colour;
    LONG width = mPenWidth;
    if (cs->GetPenWidth(identityChannel, &width) == S_OK && width > 0)
        mPenWidth = width;
    cs->Release();
    ResetIterator();
    return S_OK;
}

HRESULT PolyLineTraceDrawer::Clone(DWORD, IVarnRecordDrawer** out)
{
    if (!out)
        return E_INVALIDARG;
    return HandOut(new PolyLineTraceDrawer(*this), out);
}

DWORD PolyLineTraceDrawer::SegmentColour(DWORD mode) const
{
    DWORD colour = mColour;
    if (mColourSource) {
        if (mode == 3)
            colour = MapColour(mColour);
        else if (mode == 2) {
            colour = 0;
            if (mStyle == 1) {
                const Colour c { colour };
                const int d = static_cast<int>((720 - c.Red() - c.Green() - c.Blue()) * 0.2777777777777778 / 3);
                auto lift = [d](int v) { return static_cast<std::uint8_t>(std::clamp(v + d, 0, 240)); };
                colour = Colour::Rgb(lift(c.Red()), lift(c.Green()), lift(c.Blue())).value;
            }
        }
    }
    return ForBackground(colour);
}

HRESULT PolyLineTraceDrawer::Draw(vx::ui::DC* dc, const DrawParams* params)
{
    if (!dc || !params)
        return E_POINTER;
    const DrawParams& p = *params;
    if (channel < 0 || !mRecordData || !(p.samplesPerPixel > 0) || !std::isfinite(p.samplesPerPixel))
        return S_FALSE;
    DWORD request = mRequestFlags;
    if (mOption)
        request &= ~0x3000u;
    request = (((request & ~0xFFu) | (selector & 0xFFu)) | 0x02000000u) & 0x7DFFFFFFu;

    if (p.flags & 0x08000000u)
        ResetIterator();

    vx::hf::StripGeometry g;
    g.firstSample = p.firstSample + p.xFrom * p.samplesPerPixel;
    g.samplesPerPixel = p.samplesPerPixel;
    g.firstColumn = p.xFrom;
    g.columns = std::max(0, p.xTo - p.xFrom);
    g.height = mBounds.Height();

    // A view that starts before the record: drawing starts at the record's first sample.
    bool clipped = false;
    std::optional<vx::ui::Region> oldClip;
    if (g.firstSample < 0) {
        const int skip = static_cast<int>(std::ceil(-g.firstSample / g.samplesPerPixel));
        g.firstSample += skip * g.samplesPerPixel;
        g.firstColumn += skip;
        g.columns = std::max(0, g.columns - skip);
        oldClip = dc->GetClipRegion();
        dc->IntersectClipRect(p.strip);
        clipped = true;
    }

    DWORD mode = 0;
    if (mColourSource)
        mColourSource->GetColourMode(&mode);
    HRESULT hr = S_OK;
    if (mIterator && !mColourSource) {
        // Continuation while data arrives: only the new columns are drawn.
        mIterator->AdvanceTo(static_cast<std::int64_t>(std::floor(g.firstSample)));
    } else {
        ResetIterator();
        hr = mRecordData->CreateSegmentIterator(
            request, static_cast<ULONG>(channel), &mRange, mDrawnPosition, &g, &mIterator);
    }
    if (SUCCEEDED(hr) && mIterator) {
        RangeStarts();
        mLastColumns = DrawSegments(*dc, g.columns, g.firstColumn, mode, 0);
    }
    if (clipped)
        dc->SelectClipRegion(oldClip);
    if (!(p.flags & 0x80000000u))
        ResetIterator();
    return hr;
}

int PolyLineTraceDrawer::DrawSegments(vx::ui::DC& dc, int columns, int, DWORD mode, int)
{
    WORD print = 0;
    if (mPane)
        mPane->GetPrintMode(&print);
    double scale = 1.0;
    if (print && mPane) {
        double x = 1.0, y = 1.0;
        mPane->GetDeviceSize(&x, &y);
        if (x > 0 && std::isfinite(x))
            scale = x;
    }
    const Colour colour { SegmentColour(mode) };
    vx::ui::Pen pen = vx::ui::Pen::Solid(colour);
    if (print) {
        pen.width = static_cast<int>(mPenWidth * scale);
        pen.geometric = true;
        pen.cap = vx::ui::PS_ENDCAP_FLAT;
    }
    const vx::ui::Pen old = dc.SelectPen(pen);
    vx::ui::Point points[kBatchPoints];
    static const std::vector<int> kTwos(kBatchPoints / 2, 2);
    int drawn = 0;
    BeforeRun();
    while (drawn < columns) {
        ULONG count = 0, covered = 0;
        if (FAILED(mIterator->Next(kBatchPoints, points, &count, &covered)))
            break;
        count &= ~1u;
        if (print && mStyle != 1)
            for (ULONG i = 0; i + 1 < count; i += 2)
                if (points[i].x == points[i + 1].x)
                    points[i + 1].y = static_cast<int>(points[i + 1].y + scale - 1);
        if (count > 0)
            dc.PolyPolyline({ points, count }, { kTwos.data(), count / 2 });
        drawn += static_cast<int>(covered);
        // A batch that covers no column, or a short batch that stops before the end, ends it.
        if (covered == 0
            || (static_cast<int>(covered) < columns - drawn + static_cast<int>(covered) && count < kBatchPoints))
            break;
    }
    AfterRun();
    dc.SelectPen(old);
    return drawn;
}

CustomUnitsPolyLineTraceDrawer::CustomUnitsPolyLineTraceDrawer(std::unique_ptr<UnitMapper> mapper, DWORD addFlags,
    std::int64_t identity, int scaleNumber, std::optional<Colour> colour, std::int64_t alternate)
    : PolyLineTraceDrawer(addFlags, identity, scaleNumber, colour, alternate)
    , mMapper(std::move(mapper))
{
}

HRESULT CustomUnitsPolyLineTraceDrawer::ReadMappedValue(
    std::int64_t position, double& value, std::wstring& unit, int prefixIndex)
{
    std::wstring raw;
    const HRESULT hr = ReadValue(position, value, raw);
    if (hr != S_OK || !mMapper)
        return hr;
    int mapped = prefixIndex;
    std::wstring out;
    unit = mMapper->Map(out, raw, prefixIndex, &mapped);
    value *= SiPrefixOf(mapped).factor;
    return S_OK;
}

HRESULT CustomUnitsPolyLineTraceDrawer::Clone(DWORD, IVarnRecordDrawer** out)
{
    if (!out)
        return E_INVALIDARG;
    return HandOut(new CustomUnitsPolyLineTraceDrawer(*this), out);
}

} // namespace VarnDraw
