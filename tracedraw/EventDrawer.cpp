#include "tracedraw/EventDrawer.h"

#include <algorithm>
#include <cmath>
#include <cstring>

#include "hostframework/interfaces/HostServices.h"

namespace VarnDraw {

using vx::ui::Colour;

namespace {
template <class I> void ReleaseAndNull(I*& p)
{
    if (p) {
        p->Release();
        p = nullptr;
    }
}
} // namespace

EventDrawer::EventDrawer(std::int32_t order, std::int64_t identity)
    : DrawerBase({ order, static_cast<std::int32_t>(identity & 0xFFFFFFFF), static_cast<std::uint32_t>(identity >> 32),
        kNoIdentity })
{
}

EventDrawer::EventDrawer(const EventDrawer& other)
    : DrawerBase(other)
    , mLastX(other.mLastX)
    , mDrawnPosition(other.mDrawnPosition)
    , mColourSource(other.mColourSource)
    , mEvents(other.mEvents)
    , mRecordSize(other.mRecordSize)
    , mPolicy(other.mPolicy)
    , mPolicyType(other.mPolicyType)
{
    if (mColourSource)
        mColourSource->AddRef();
    if (mPolicy)
        mPolicy->AddRef();
}

EventDrawer::~EventDrawer()
{
    ReleaseAndNull(mEnumerator);
    ReleaseAndNull(mPolicy);
    ReleaseAndNull(mColourSource);
}

int EventDrawer::Radius(int dpiX)
{
    return static_cast<int>(std::max(dpiX / 96.0, 1.0) * 3);
}

HRESULT EventDrawer::SetSource(DWORD flags, IRecordSource* source)
{
    DrawerBase::SetSource(flags, source);
    ReleaseAndNull(mColourSource);
    if (source)
        source->QueryInterface(IColourSource::kIid, reinterpret_cast<void**>(&mColourSource));
    ReleaseAndNull(mEnumerator);
    return S_OK;
}

HRESULT EventDrawer::GetKind(vx::ui::DC*, DWORD* kind, std::int32_t* left, std::int32_t* right)
{
    if (kind)
        *kind = kKindEvents;
    if (left)
        *left = 10;
    if (right)
        *right = 10;
    return S_OK;
}

HRESULT EventDrawer::GetRecordData(std::int64_t, IUnknown** out)
{
    if (out)
        *out = nullptr;
    return S_FALSE;
}

HRESULT EventDrawer::Refresh(DWORD)
{
    mLastX = -1.0;
    return S_OK;
}

HRESULT EventDrawer::SetRecord(LONG record, DWORD flag)
{
    mDrawnPosition = -1;
    return DrawerBase::SetRecord(record, flag);
}

HRESULT EventDrawer::GetDrawnPosition(DWORD, DWORD, std::int64_t* position)
{
    if (!mEnumerator)
        return S_FALSE;
    if (!position)
        return E_POINTER;
    *position = mDrawnPosition;
    return S_OK;
}

HRESULT EventDrawer::ClearRecord()
{
    mRecordSet = false;
    return ResetIterator();
}

HRESULT EventDrawer::ResetIterator()
{
    ReleaseAndNull(mEnumerator);
    return S_OK;
}

HRESULT EventDrawer::Clone(DWORD, IVarnRecordDrawer** out)
{
    if (!out)
        return E_INVALIDARG;
    return HandOut(new EventDrawer(*this), out);
}

void EventDrawer::UpdatePolicy()
{
    DWORD type = 0;
    if (mRecordData)
        mRecordData->GetEventType(static_cast<ULONG>(channel), &type);
    if (type == mPolicyType)
        return;
    ReleaseAndNull(mPolicy);
    mPolicyType = type;
    if (type == 0 || !mSource)
        return;
    IObjectFactory* factory = nullptr;
    if (mSource->QueryInterface(IObjectFactory::kIid, reinterpret_cast<void**>(&factory)) == S_OK) {
        factory->CreateInstance(type, IEventDrawPolicy::kIid, reinterpret_cast<void**>(&mPolicy));
        factory->Release();
    }
}

double EventDrawer::OutputScale(const vx::ui::DC& dc) const
{
    if (!mPane)
        return 1.0;
    const int dpiY = dc.GetDeviceCaps(vx::ui::LOGPIXELSY);
    return dpiY > 0 ? mPane->PixelsPerMm() / (dpiY / 25.4) : 1.0;
}

HRESULT EventDrawer::Draw(vx::ui::DC* dcp, const DrawParams* params)
{
    if (!dcp || !params)
        return E_POINTER;
    vx::ui::DC& dc = *dcp;
    const DrawParams& p = *params;
    if (p.flags & 0x08000000u)
        ReleaseAndNull(mEnumerator);
    if (channel < 0 || !mRecordData || !mSource)
        return S_FALSE;

    // The sample range the strip's pixels cover.
    double first = 0, last = 0;
    const HRESULT range = mColourSource
        ? mColourSource->GetSampleRange(0x80000000u, p.xFrom, p.xTo, mRecord, &first, &last)
        : mSource->PixelsToSamples(0, mRecord, p.xFrom, p.xTo, &first, &last);
    std::int64_t end = 0;
    if (FAILED(range) || FAILED(mRecordData->GetEndPosition(0, &end)))
        return S_FALSE;
    if (last <= 0 || first >= static_cast<double>(vx::hf::TickOffset(end)) + 1)
        return S_FALSE; // the record lies outside

    if (!mEnumerator) {
        const DWORD request = ((mRequestFlags & ~0xFFu) | (selector & 0xFFu)) | 0x80000000u;
        const LONG from = static_cast<LONG>(std::clamp(std::floor(first), 0.0, 2147483646.0));
        if (FAILED(mRecordData->CreateEventEnumerator(
                request, static_cast<ULONG>(channel), 0x40000000u, from, 0x7FFFFFFF, &mEnumerator))
            || !mEnumerator)
            return S_FALSE;
        mRecordSize = 0;
        mEnumerator->GetRecordSize(&mRecordSize);
        mEvents.clear();
        if (mRecordSize >= 4) {
            std::vector<std::byte> block(mRecordSize * 256);
            const LONG stop = static_cast<LONG>(std::clamp(std::ceil(last), 0.0, 2147483646.0)) + 1;
            for (;;) {
                ULONG count = 0;
                LONG next = 0;
                const HRESULT hr
                    = mEnumerator->Next(static_cast<ULONG>(block.size()), stop, block.data(), &count, &next);
                mEvents.insert(mEvents.end(), block.begin(), block.begin() + count * mRecordSize);
                if (FAILED(hr) || count == 0 || next == 0x7FFFFFFF || next >= stop)
                    break;
            }
        }
    }
    UpdatePolicy();

    const bool raster = (dc.GetDeviceCaps(vx::ui::TECHNOLOGY) & 1) != 0;
    const int dpiX = dc.GetDeviceCaps(vx::ui::LOGPIXELSX);
    vx::ui::Pen linePen = raster ? vx::ui::Pen { vx::ui::PS_ALTERNATE, 1, kLineColour, false, vx::ui::PS_ENDCAP_ROUND }
                                 : vx::ui::Pen { vx::ui::PS_DOT, static_cast<int>(std::max(dpiX / 96.0, 1.0)),
                                       kLineColour, true, vx::ui::PS_ENDCAP_ROUND };
    const vx::ui::Pen circlePen = vx::ui::Pen::Solid(Colour { ForBackground(0) });
    const int r = Radius(dpiX);
    const double s = OutputScale(dc);
    const int height = mBounds.Height();
    const vx::ui::Pen oldPen = dc.SelectPen(linePen);
    const vx::ui::Brush oldBrush = dc.GetBrush();

    const std::size_t n = mRecordSize ? mEvents.size() / mRecordSize : 0;
    for (std::size_t i = 0; i < n; ++i) {
        const std::byte* record = mEvents.data() + i * mRecordSize;
        std::int32_t position = 0;
        float fraction = 0;
        std::memcpy(&position, record, 4);
        if (mRecordSize >= 8)
            std::memcpy(&fraction, record + 4, 4);
        if (position == 0x7FFFFFFF)
            continue;
        double x = 0;
        if (FAILED(mSource->SampleToPixel(0x80000000u, mRecord, position + static_cast<double>(fraction), &x)))
            continue;
        if (x < p.xFrom)
            continue;
        if (x >= p.xTo)
            break;
        mDrawnPosition = static_cast<std::int64_t>(x + 1);
        mLastX = x;
        const int column = RoundPixel(x) - p.pixelOffset;
        dc.SelectPen(linePen);
        dc.MoveTo({ column, 0 });
        dc.LineTo({ column, height });

        vx::ui::Rect box { column - r, 0, column + r + 1, 2 * r + 1 };
        // 96 dots per inch gives 1.0 up to the rounding of the panes' pixels per millimetre.
        if (s > 1.0 + 1e-6 && std::isfinite(s)) {
            const int w = static_cast<int>((2 * r + 1) * s + 0.5);
            const int centre = column;
            box = { centre - w / 2, r, centre - w / 2 + w, r + w };
        }
        DWORD fill = 0xFFFFFF;
        if (mPolicy) {
            DWORD c = fill;
            if (mPolicy->GetColour(mRecordSize, record, &c) == S_OK)
                fill = c;
        }
        dc.SelectPen(circlePen);
        dc.SelectBrush(vx::ui::Brush::Solid(Colour { ForBackground(fill) }));
        dc.Ellipse(box);
    }
    dc.SelectPen(oldPen);
    dc.SelectBrush(oldBrush);
    if (!(p.flags & 0x80000000u))
        ReleaseAndNull(mEnumerator);
    return S_OK;
}

} // namespace VarnDraw
