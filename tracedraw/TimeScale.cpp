#include "tracedraw/TimeScale.h"

#include <algorithm>
#include <cmath>

#include "foundation/TimeOfDay.h"
#include "foundation/XKEL.h"
#include "foundation/ui/PlatformHelpers.h"

namespace VarnDraw {

namespace {

// nice(y) with the given multipliers: the smallest not below the mantissa + 0.5, times the decade.
double Nice(double y, std::initializer_list<int> multipliers, int& chosen)
{
    const double decade = std::pow(10.0, std::floor(std::log10(y)));
    const double mantissa = y / decade + 0.5;
    chosen = *(multipliers.end() - 1);
    for (int m : multipliers)
        if (m >= mantissa) {
            chosen = m;
            break;
        }
    return chosen * decade;
}

} // namespace

TickSpacing ComputeTickSpacing(double s, double d, int width)
{
    TickSpacing t;
    if (!(s > 0) || !std::isfinite(s) || !(d > 0) || !std::isfinite(d))
        return t;
    const double x = std::trunc(d * 18.001) * s;
    if (!(x > 0) || !std::isfinite(x))
        return t; // no logarithm of zero
    t.target = x;
    int m = 1;
    if (x < 15) {
        t.step = Nice(x, { 1, 2, 5, 10 }, m);
    } else if (x < 900) {
        t.step = 60 * Nice(x / 60, { 1, 2, 5, 10 }, m);
        t.clock = t.step < 61;
    } else if (x < 3601) {
        t.step = 3600;
        t.clock = true;
    } else if (x < 64800) {
        t.step = Nice(x / 3600, { 1, 2, 6, 12, 24 }, m) * 3600;
        t.clock = m >= 6;
    } else if (x < 86401) {
        t.step = 86400;
        t.clock = true;
    } else {
        t.step = 86400 * Nice(x / 86400, { 1, 2, 5, 10 }, m);
    }
    t.multiplier = m;
    t.majorPixels = t.step / s;
    const int candidate = t.clock ? 6 : m == 2 ? 4 : 5;
    t.minorDivision = std::trunc(d * 3.0) > t.majorPixels / candidate ? 2 : candidate;
    t.minorPixels = t.majorPixels / t.minorDivision;
    t.majorCount = static_cast<int>(std::trunc(width / t.majorPixels + 1.0));
    t.covered = t.majorCount * t.step;
    t.valid = std::isfinite(t.majorPixels) && t.majorPixels > 0;
    return t;
}

// ---- TimeLabelDrawer ----------------------------------------------------------------------

TimeLabelDrawer::TimeLabelDrawer(TimeScale* scale)
    : DrawerBase({ 1, -1, 0xC0000000u, kNoIdentity })
    , mScale(scale)
{
}

TimeLabelDrawer::TimeLabelDrawer(const TimeLabelDrawer& other)
    : DrawerBase(other)
    , mFirstMajorTime(other.mFirstMajorTime)
    , mFirstMinorOffset(other.mFirstMinorOffset)
    , mFirstMajorOffset(other.mFirstMajorOffset)
    , mMinorSpacing(other.mMinorSpacing)
    , mMinorPerMajor(other.mMinorPerMajor)
    , mMajorIndex(other.mMajorIndex)
    , mLabelMultiplier(other.mLabelMultiplier)
    , mLabelWidth(other.mLabelWidth)
    , mSpacing(other.mSpacing)
    , mSecondsPerPixel(other.mSecondsPerPixel)
{
}

HRESULT TimeLabelDrawer::Clone(DWORD, IVarnRecordDrawer** out)
{
    if (!out)
        return S_OK;
    return HandOut(new TimeLabelDrawer(*this), out);
}

double TimeLabelDrawer::DeviceScale() const
{
    double x = 1.0, y = 1.0;
    if (mPane)
        mPane->GetDeviceSize(&x, &y);
    return x > 0 && std::isfinite(x) ? x : 1.0;
}

HRESULT TimeLabelDrawer::GetKind(vx::ui::DC* dc, DWORD* kind, std::int32_t* left, std::int32_t* right)
{
    if (dc && mLabelWidth < 0) {
        const vx::ui::Font old = mScale ? dc->SelectFont(mScale->Font()) : dc->GetFont();
        mLabelWidth = dc->GetTextExtent(kSampleText).cx;
        dc->SelectFont(old);
    }
    if (kind)
        *kind = 0;
    const int half = std::max(mLabelWidth, 0) / 2;
    if (left)
        *left = half;
    if (right)
        *right = half;
    return S_OK;
}

std::wstring TimeLabelDrawer::LabelText(double seconds) const
{
    const double step = mSpacing.step * mLabelMultiplier;
    const int decimals = step > 0 && step < 1 ? static_cast<int>(std::ceil(-std::log10(step) - 1e-9)) : 0;
    KEL::TimeOfDay time(seconds, std::clamp(decimals, 0, 6));
    const KEL::String text = time.ToString();
    return std::wstring(text.c_str(), text.Length());
}

GridParams TimeLabelDrawer::Layout(vx::ui::DC& dc, const DrawParams& p)
{
    GridParams grid;
    const double s = p.samplesPerPixel * p.secondsPerSample;
    mSecondsPerPixel = s;
    mSpacing = ComputeTickSpacing(s, DeviceScale(), mBounds.Width());
    mLabelMultiplier = 1;
    if (!mSpacing.valid)
        return grid;
    const double rangeStart = p.startTime + p.firstSample * p.secondsPerSample;

    // Labels are thinned out once when two neighbours would not fit side by side.
    for (int attempt = 0; attempt < 2 && mLabelMultiplier == 1; ++attempt) {
        const double step = mSpacing.step * mLabelMultiplier;
        const double first = std::ceil(rangeStart / step) * step;
        const std::size_t chars = std::max(LabelText(first).size(), LabelText(first + step).size());
        const int width = static_cast<int>(chars) * dc.GetTextMetrics().aveCharWidth;
        if (mSpacing.majorPixels * mLabelMultiplier <= width)
            mLabelMultiplier = 2;
        else
            break;
    }
    const double step = mSpacing.step * mLabelMultiplier;
    const double majorPixels = mSpacing.majorPixels * mLabelMultiplier;
    mMinorPerMajor = mSpacing.minorDivision;
    mMinorSpacing = majorPixels / mMinorPerMajor;
    mFirstMajorTime = std::ceil(rangeStart / step) * step;
    mFirstMajorOffset = std::floor((mFirstMajorTime - rangeStart) / s + 0.5);
    const double back = std::floor(mFirstMajorOffset / mMinorSpacing);
    mFirstMinorOffset = mFirstMajorOffset - back * mMinorSpacing;
    mMajorIndex = static_cast<int>(back) % mMinorPerMajor;
    grid = { mFirstMinorOffset, mFirstMajorOffset, mMinorSpacing, mMinorPerMajor };
    return grid;
}

HRESULT TimeLabelDrawer::Draw(vx::ui::DC* dcp, const DrawParams* params)
{
    if (!dcp || !params)
        return E_POINTER;
    vx::ui::DC& dc = *dcp;
    const DrawParams& p = *params;
    const int width = mBounds.Width(), height = mBounds.Height();
    dc.FillSolidRect({ p.xFrom, 0, p.xTo, height }, vx::ui::Colour { 0xFFFFFF });
    Layout(dc, p);
    if (!mSpacing.valid || !(mMinorSpacing > 0))
        return S_OK;

    const double step = mSpacing.step * mLabelMultiplier;
    const int longTick = std::max(3, height / 4), shortTick = std::max(2, height / 8);
    const int labelRow = longTick + 1;
    dc.SelectPen(vx::ui::Pen::Solid(vx::ui::Colour {}));
    dc.SetBkMode(vx::ui::TRANSPARENT);
    dc.SetTextColor(vx::ui::Colour {});
    int labelLimit = std::numeric_limits<int>::min();
    mDrawn.clear();
    for (int i = 0; i < 1000000; ++i) {
        const int x = RoundPixel(i * mMinorSpacing + mFirstMinorOffset) - p.pixelOffset;
        if (x >= width)
            break;
        const bool major = (i - mMajorIndex) % mMinorPerMajor == 0 && i >= mMajorIndex;
        if (major && x >= -0.5) {
            const double t = mFirstMajorTime + ((i - mMajorIndex) / mMinorPerMajor) * step;
            const std::wstring text = LabelText(t);
            const int w = dc.GetTextExtent(text).cx;
            if (!text.empty() && x - w / 2 > labelLimit && x - w / 2 >= 0 && x + w / 2 <= width) {
                dc.TextOut({ x, labelRow }, text);
                mDrawn.push_back({ text, x });
                labelLimit = x + w / 2 + 2;
            }
        }
        if (x >= 0) {
            dc.MoveTo({ x, 0 });
            dc.LineTo({ x, major ? longTick : shortTick });
        }
    }
    if (p.cursor) {
        const std::wstring text = LabelText(p.cursorTime);
        const vx::ui::Font old = dc.SelectFont([&] {
            vx::ui::Font f;
            f.face = L"MS Shell Dlg 2";
            f.height = -KEL::PointsToLogicalY(dc, 8);
            return f;
        }());
        const UINT align = dc.SetTextAlign(vx::ui::TA_LEFT | vx::ui::TA_TOP);
        const vx::ui::Size size = dc.GetTextExtent(text);
        vx::ui::Rect box
            = vx::ui::Rect { p.cursorX - size.cx / 2, labelRow, p.cursorX - size.cx / 2 + size.cx, labelRow + size.cy }
                  .Inflate(1, 1);
        dc.FillSolidRect(box, vx::ui::Colour::Rgb(30, 30, 108));
        dc.SetTextColor(vx::ui::Colour { 0xFFFFFF });
        dc.DrawText(text, box, vx::ui::DT_CENTER | vx::ui::DT_VCENTER | vx::ui::DT_SINGLELINE);
        dc.SetTextAlign(align);
        dc.SelectFont(old);
    }
    return S_OK;
}

// ---- TimeScale ----------------------------------------------------------------------------

TimeScale::TimeScale(const ChildPaneBaseInit& init)
    : ChildPaneBase([&] {
        ChildPaneBaseInit i = init;
        i.channelIndex = -1;
        return i;
    }())
{
    EnsureLabelDrawer();
}

TimeScale::~TimeScale()
{
    if (TimeLabelDrawer* d = LabelDrawer())
        d->ForgetScale();
}

TimeLabelDrawer* TimeScale::LabelDrawer() const
{
    for (std::uint32_t i = 0; i < mDrawers.Count(); ++i)
        if (auto* d = dynamic_cast<TimeLabelDrawer*>(mDrawers[i]))
            return d;
    return nullptr;
}

void TimeScale::EnsureLabelDrawer()
{
    if (mDrawers.Count() != 0)
        return;
    auto* drawer = new TimeLabelDrawer(this);
    drawer->AddRef(); // the creator's reference, given back once the strip holds its own
    AddDrawer(0, drawer, 255);
    IRecordSource* source = nullptr;
    if (mPane)
        mPane->GetRecordSource(&source);
    drawer->SetSource(0, source);
    if (source)
        source->Release();
    drawer->Release();
}

void TimeScale::RemoveDrawers(DWORD kindMask, std::int64_t identity)
{
    ChildPaneBase::RemoveDrawers(kindMask, identity);
    EnsureLabelDrawer();
}

void TimeScale::SetRecord(LONG record, DWORD flag)
{
    ChildPaneBase::SetRecord(record, flag);
    InvalidateAll();
    layoutDirty = true;
}

void TimeScale::UpdateFont(vx::ui::DC& dc, const vx::ui::Font* paneFont)
{
    mFont = paneFont ? *paneFont : KEL::CreateDialogFont(dc, 0);
    const vx::ui::Font old = dc.SelectFont(mFont);
    double d = 1.0, y = 1.0;
    if (mPane)
        mPane->GetDeviceSize(&d, &y);
    const vx::ui::Size size = dc.GetTextExtent(TimeLabelDrawer::kSampleText);
    mHeight = static_cast<int>(d * 5.0 + size.cy);
    mReserved = 0;
    if (TimeLabelDrawer* label = LabelDrawer())
        label->SetLabelWidth(size.cx);
    dc.SelectFont(old);
}

bool TimeScale::LayoutGrid(vx::ui::DC& dc, const DrawParams& params, GridParams& grid)
{
    TimeLabelDrawer* label = LabelDrawer();
    if (!label)
        return false;
    const vx::ui::Font old = dc.SelectFont(mFont);
    grid = label->Layout(dc, params);
    dc.SelectFont(old);
    return true;
}

void TimeScale::Paint(
    vx::ui::DC& dc, const vx::ui::Rect& paintRect, DWORD drawFlags, unsigned layers, const DrawParams& params)
{
    const vx::ui::Font old = dc.SelectFont(mFont);
    const UINT align = dc.SetTextAlign(vx::ui::TA_CENTER | vx::ui::TA_TOP);
    ChildPaneBase::Paint(dc, paintRect, drawFlags, layers, params);
    dc.SetTextAlign(align);
    dc.SelectFont(old);
}

void TimeScale::DrawUnitLabel(vx::ui::DC& dc)
{
    if (!(option & (1u << 29)) || (option & 0xFFu) == 3)
        return;
    const vx::ui::Font old = dc.SelectFont(mFont);
    const UINT align = dc.SetTextAlign(vx::ui::TA_RIGHT | vx::ui::TA_TOP);
    if (mPane) {
        dc.SetTextColor(vx::ui::Colour {});
        dc.SetBkColor(vx::ui::Colour { 0xFFFFFF });
    }
    dc.TextOut({ rect.right - 2, rect.top + 3 }, L"(ms)");
    dc.SetTextAlign(align);
    dc.SelectFont(old);
}

void TimeScale::Save(IBinOutStream* stream) const
{
    if (stream)
        stream->WriteInt32(2);
}

void TimeScale::Load(IBinInStream* stream)
{
    ULONG version = 0;
    if (stream && stream->ReadUInt32(&version) == S_OK && version > 2)
        throw XKEL(kStreamTooNew);
}

} // namespace VarnDraw
