#include "tracedraw/Graticule.h"

#include <algorithm>
#include <cmath>

#include "foundation/ui/PlatformHelpers.h"
#include "tracedraw/ChildPane.h"

namespace VarnDraw {

using vx::ui::Colour;

namespace {

// Calls f(x) for the line columns x = floor(position + 0.5) - offset, position = first,
// first + spacing, ..., that lie in [xFrom, xTo). A spacing that is not a positive number draws
// nothing.
template <class F> void ForEachLine(int xFrom, int xTo, int offset, double first, double spacing, F&& f)
{
    if (!(spacing > 0) || !std::isfinite(spacing) || !std::isfinite(first))
        return;
    for (std::int64_t i = 0;; ++i) {
        const int x = RoundPixel(first + static_cast<double>(i) * spacing) - offset;
        if (x >= xTo)
            break;
        if (x >= xFrom)
            f(x);
    }
}

// The first line moved forward to the first visible pixel p.
double MoveToVisible(double first, double spacing, int p)
{
    if (!(spacing > 0) || !std::isfinite(spacing) || !std::isfinite(first))
        return first;
    if (p > std::floor(first + 0.5))
        first += std::floor((p - first) / spacing + 0.5) * spacing;
    return first;
}

double Brightness(Colour c)
{
    return std::max({ c.Red(), c.Green(), c.Blue() }) / 255.0;
}

} // namespace

void ReadGraticuleSettings(GraticuleSettings& settings, IDisplaySettings* display, int channel)
{
    if (!display)
        return;
    settings.flags = 0;
    for (int item = 1; item <= 2; ++item) {
        vx::hf::GuideSetting band;
        if (display->GetSetting(vx::hf::kGuideBandSetting, channel, item, &band) == S_OK && band.on) {
            // Bit 0 of `on`: the line; bit 1: the band beyond it; bit 2: the band between the lines.
            settings.flags |= item == 1 ? 32u | 1u : 64u | 2u;
            settings.guideColour[item - 1] = band.colour;
            if (band.on & 2)
                settings.flags |= item == 1 ? 4u : 8u;
            if (band.on & 4)
                settings.flags |= 16u;
        }
        vx::hf::GuideSetting line;
        if (display->GetSetting(vx::hf::kGuideLineSetting, channel, item, &line) == S_OK) {
            settings.guideValue[item - 1] = line.value;
            settings.texts[(item - 1) * 2] = line.unit;
            settings.texts[(item - 1) * 2 + 1] = line.label;
        }
    }
}

GraticuleDrawer::GraticuleDrawer(DWORD, std::int64_t identity, DWORD, DWORD flags, DWORD background)
    : DrawerBase({ 1, static_cast<std::int32_t>(identity & 0xFFFFFFFF), static_cast<std::uint32_t>(identity >> 32),
        kNoIdentity })
    , mBackground(background)
    , mFlags(flags)
{
}

GraticuleDrawer::~GraticuleDrawer()
{
    if (mRecordScale)
        mRecordScale->Release();
}

GraticuleDrawer::GraticuleDrawer(const GraticuleDrawer& other)
    : DrawerBase(other)
    , mPosition(other.mPosition)
    , mScaleNumber(other.mScaleNumber)
    , mBackground(other.mBackground)
    , mFactor(other.mFactor)
    , mOffset(other.mOffset)
    , mRecordFactor(other.mRecordFactor)
    , mRecordOffset(other.mRecordOffset)
    , mMarkerOffset(other.mMarkerOffset)
    , mSettings(other.mSettings)
    , mRows(other.mRows)
    , mFlags(other.mFlags)
    , mDarkGrid(other.mDarkGrid)
    , mUpperRow(other.mUpperRow)
    , mLowerRow(other.mLowerRow)
    , mUpperInside(other.mUpperInside)
    , mLowerInside(other.mLowerInside)
    , mShowGrid(other.mShowGrid)
    , mShowMarker(other.mShowMarker)
{
    if (mBounds.Height() > 0)
        RebuildBitmaps();
}

MetafileGraticuleDrawer::MetafileGraticuleDrawer(const GraticuleDrawer& screen)
    : GraticuleDrawer(screen)
{
    mFlags |= 0x20000000u;
}

HRESULT GraticuleDrawer::SetSource(DWORD flags, IRecordSource* source)
{
    DrawerBase::SetSource(flags, source);
    mPosition = 0;
    if (mPane)
        Layout();
    return S_OK;
}

HRESULT GraticuleDrawer::SetBounds(std::int64_t widthValue, const vx::ui::Rect* rect)
{
    const HRESULT hr = DrawerBase::SetBounds(widthValue, rect);
    if (FAILED(hr))
        return hr;
    if (mBounds.Height() > 0 && mBounds.Height() != mColumnHeight)
        RebuildBitmaps();
    Layout();
    return S_OK;
}

HRESULT GraticuleDrawer::GetKind(vx::ui::DC*, DWORD* kind, std::int32_t* left, std::int32_t* right)
{
    if (kind)
        *kind = kKindGraticule;
    if (left)
        *left = 0;
    if (right)
        *right = 0;
    return S_OK;
}

double GraticuleDrawer::DeviceScale() const
{
    double x = 1.0, y = 1.0;
    if (mPane)
        mPane->GetDeviceSize(&x, &y);
    return x > 0 && std::isfinite(x) ? x : 1.0;
}

void GraticuleDrawer::Layout()
{
    mMarkerOffset = mShowMarker ? 2 : 0;
    if (!mSource)
        return;
    mSource->SetAxis(0, 0);
    mSource->SetAxis(0x80000001u, static_cast<LONG>(7 * DeviceScale()));
    mSource->SetAxis(0x80000002u, mMarkerOffset + 5);
    mSource->SetAxis(mShowMarker ? 4 : 3, 0);
}

void GraticuleDrawer::RebuildBitmaps()
{
    const int h = mBounds.Height();
    mColumnHeight = h;
    mMinorColumn = vx::ui::Bitmap::Create(1, h, true);
    mMajorColumn = vx::ui::Bitmap::Create(1, h, true);
    for (auto& column : mLineColumn) {
        column = vx::ui::Bitmap::Create(1, h, true);
        if (column)
            for (int y = 0; y < h; ++y)
                column->SetArgb(0, y, 0xFF000000u);
        if (column)
            column->MarkDirty();
    }
    FillColumns();
    if (mPreTrigger)
        mPreTrigger->SetHeight(0, h);
}

void GraticuleDrawer::FillColumns()
{
    for (auto* column : { &mMinorColumn, &mMajorColumn }) {
        if (!*column)
            continue;
        for (int y = 0; y < (*column)->Height(); ++y)
            (*column)->SetArgb(0, y, 0xFFFFFFFFu);
    }
    for (const auto& [row, kind] : mRows) {
        vx::ui::BitmapPtr& column = kind == 2 ? mMajorColumn : mMinorColumn;
        // Only rows inside the column are written.
        if (column && row >= 0 && row < column->Height())
            column->SetArgb(0, row, 0xFF000000u);
    }
    if (mMinorColumn)
        mMinorColumn->MarkDirty();
    if (mMajorColumn)
        mMajorColumn->MarkDirty();
}

HRESULT GraticuleDrawer::SetScaleRange(int scaleNumber, DWORD, const vx::hf::DisplayRange* range, IUnknown* scale)
{
    if (scaleNumber != mScaleNumber || !range)
        return S_FALSE;
    mLastBlock = -1;
    // row = (value + offset) * factor: the top at row 0, the bottom at the strip height.
    mOffset = -range->top;
    mFactor = mBounds.Height() / (range->bottom - range->top);
    IScaleRange* scaleRange = nullptr;
    if (scale)
        scale->QueryInterface(IScaleRange::kIid, reinterpret_cast<void**>(&scaleRange));
    ComputeRows(scaleRange, mFactor, mOffset);
    if (scaleRange)
        scaleRange->Release();
    return S_OK;
}

void GraticuleDrawer::UpdateRecordScale()
{
    IRecordChannelScale* settings = nullptr;
    if (!mSource || channel < 0
        || mSource->QueryInterface(IRecordChannelScale::kIid, reinterpret_cast<void**>(&settings)) != S_OK)
        return;
    BSTR unit = nullptr;
    vx::hf::DisplayRange range;
    const bool found = settings->GetChannelScale(mRecord, channel, &unit, &range) == S_OK;
    settings->Release();
    if (!found || range.top == range.bottom || mBounds.Height() <= 0) {
        SysFreeString(unit);
        return;
    }
    if (!mRecordScale)
        if (IScaleFactory* factory = GetHostScaleFactory()) {
            factory->CreateWindowlessScale(0, 1, 0, &mRecordScale);
            factory->Release();
        }
    IScaleRange* scaleRange = nullptr;
    if (mRecordScale) {
        mRecordScale->SetTransform(1.0, 0.0, unit ? unit : L"");
        mRecordScale->SetRange(&range);
        mRecordScale->QueryInterface(IScaleRange::kIid, reinterpret_cast<void**>(&scaleRange));
    }
    SysFreeString(unit);
    // The same mapping as the strip's scale: the range's top at row 0, its bottom at the strip height.
    mRecordOffset = -range.top;
    mRecordFactor = mBounds.Height() / (range.bottom - range.top);
    ComputeRows(scaleRange, mRecordFactor, mRecordOffset);
    if (scaleRange)
        scaleRange->Release();
}

void GraticuleDrawer::ComputeRows(IScaleRange* scale, double factor, double offset)
{
    mRows.clear();
    mUpperInside = mLowerInside = false;
    const int h = mBounds.Height();
    auto toRow = [&](double value, int& row) {
        const double r = (value + offset) * factor;
        if (!std::isfinite(r) || r < -16000.0 || r > 16000.0)
            return false;
        row = static_cast<int>(r);
        return true;
    };
    if (scale) {
        ULONG count = 0;
        scale->GetGridLineCount(&count);
        for (ULONG i = 0; i < count; ++i) {
            double value = 0;
            LONG kind = 0;
            int row = 0;
            if (scale->GetGridLine(i, &value, &kind) == S_OK && toRow(value, row))
                mRows.emplace_back(row, kind == 2 ? 2 : 1);
        }
        vx::hf::DisplayRange valid;
        if (scale->GetValidRange(&valid) == S_OK) {
            const double upper = (std::max(valid.top, valid.bottom) + offset) * factor;
            const double lower = (std::min(valid.top, valid.bottom) + offset) * factor;
            const double top = std::min(upper, lower), bottom = std::max(upper, lower);
            if (std::isfinite(top) && top > 0 && top < h) {
                mUpperRow = static_cast<int>(top);
                mUpperInside = true;
            }
            if (std::isfinite(bottom) && bottom > 0 && bottom < h) {
                mLowerRow = static_cast<int>(bottom);
                mLowerInside = true;
            }
        }
    }
    FillColumns();
}

HRESULT GraticuleDrawer::Refresh(DWORD)
{
    mLastBlock = -1;
    if (mRecordSet && mSource)
        mSource->GetCurrentPosition(&mPosition);
    return S_OK;
}

HRESULT GraticuleDrawer::CreateBackground()
{
    if (!mPreTrigger)
        mPreTrigger = std::make_unique<DrawPreTriggerBackground>();
    mPreTrigger->SetHeight(0, mBounds.Height());
    return S_OK;
}

HRESULT GraticuleDrawer::UpdateSettings(IUnknown* channelSettings, IUnknown* displaySettings, int channelIndex)
{
    IChannelDrawSettings* cs = nullptr;
    if (channelSettings
        && channelSettings->QueryInterface(IChannelDrawSettings::kIid, reinterpret_cast<void**>(&cs)) == S_OK) {
        DWORD colour = mBackground;
        WORD grid = 0;
        if (cs->GetBackground(&colour, &grid) == S_OK) {
            mBackground = colour;
            mShowGrid = grid != 0;
        }
        WORD marker = 0;
        if (cs->GetRecordStartMarker(&marker) == S_OK && (marker != 0) != mShowMarker) {
            mShowMarker = marker != 0;
            Layout();
        }
        cs->Release();
    }
    IDisplaySettings* ds = nullptr;
    if (displaySettings
        && displaySettings->QueryInterface(IDisplaySettings::kIid, reinterpret_cast<void**>(&ds)) == S_OK) {
        ReadGraticuleSettings(mSettings, ds, channelIndex >= 0 ? channelIndex : channel);
        ds->Release();
    }
    mLastBlock = -1;
    return S_OK;
}

HRESULT GraticuleDrawer::SetDataPane(IDrawerDataPane* pane)
{
    DrawerBase::SetDataPane(pane);
    if (pane)
        Layout();
    return S_OK;
}

HRESULT GraticuleDrawer::Clone(DWORD flags, IVarnRecordDrawer** out)
{
    if (!out)
        return S_OK;
    if (flags & 0x40000000u)
        return HandOut(new MetafileGraticuleDrawer(*this), out);
    return HandOut(new GraticuleDrawer(*this), out);
}

void GraticuleDrawer::DrawBands(vx::ui::DC& dc, int x0, int x1, int height)
{
    GraticuleSettings& s = mSettings;
    for (int i = 0; i < 2; ++i) {
        const double r = (s.guideValue[i] + mOffset) * mFactor;
        // A value that maps to no row gives no line and no band edge.
        s.guideRowValid[i] = std::isfinite(r);
        s.guideRow[i] = s.guideRowValid[i] ? static_cast<int>(std::clamp(r, -16000.0, 16000.0)) : 0;
    }
    const bool upper = s.guideRowValid[0], lower = s.guideRowValid[1];
    const int top = upper ? s.guideRow[0] : 0;
    const int bottom = lower ? s.guideRow[1] : height;
    if ((s.flags & 4u) && upper)
        dc.FillSolidRect({ x0, 0, x1, top }, Colour { s.bandColour[0] });
    if ((s.flags & 0x70u) == 0x70u && upper && lower)
        dc.FillSolidRect({ x0, top, x1, bottom }, Colour { s.bandColour[1] });
    if ((s.flags & 8u) && lower)
        dc.FillSolidRect({ x0, bottom, x1, height }, Colour { s.bandColour[2] });
}

HRESULT GraticuleDrawer::Draw(vx::ui::DC* dcp, const DrawParams* params)
{
    if (!dcp || !params)
        return E_POINTER;
    vx::ui::DC& dc = *dcp;
    const DrawParams& p = *params;
    const int height = mBounds.Height();
    const int x0 = p.xFrom, x1 = p.xTo;

    bool present = true;
    if (!(mFlags & 0x00800000u) && mRecordData && channel >= 0) {
        WORD indicator = 0;
        mRecordData->GetPresence(static_cast<ULONG>(channel), p.block, &indicator);
        present = indicator != 0;
    }

    if (!IsMetafile()) {
        Colour back { mBackground };
        if (mPane) {
            DWORD paneBack = mBackground;
            if (mPane->GetBackgroundColour(&paneBack) == S_OK)
                back = Colour { paneBack };
        }
        if (mRecordSet && !mRecordFlag && p.block == mPosition && mRecord < 0)
            back = kSampling;
        if (!present)
            back = vx::ui::GetSysColor(vx::ui::COLOR_3DLIGHT);
        dc.FillSolidRect({ x0, 0, x1, height }, back);
    }

    if (mOption && p.block != mLastBlock)
        UpdateRecordScale();

    if (mSettings.flags & 0x60u)
        DrawBands(dc, x0, x1, height);

    if (mRecord < 0 && mRecordSet && p.block == mPosition && mPreTrigger && p.samplesPerPixel > 0) {
        const double start = -p.firstSample / p.samplesPerPixel;
        const int end = std::min(x1, RoundPixel(start));
        mPreTrigger->Paint(dc, RoundPixel(start), x0, end);
    }

    if (!(mFlags & 0x40000000u)) {
        if (mUpperInside)
            dc.FillSolidRect({ x0, 0, x1, mUpperRow }, kOutOfRange);
        if (mLowerInside)
            dc.FillSolidRect({ x0, mLowerRow, x1, height }, kOutOfRange);
    }

    if (x0 < x1) {
        DrawTimeGrid(dc, p, present);
        for (int i = 0; i < 2; ++i) {
            const DWORD need = i == 0 ? (32u | 1u) : (64u | 2u);
            if ((mSettings.flags & need) == need && mSettings.guideRowValid[i]) {
                dc.SelectPen(vx::ui::Pen::Solid(Colour { mSettings.guideColour[i] }));
                dc.MoveTo({ x0, mSettings.guideRow[i] });
                dc.LineTo({ x1, mSettings.guideRow[i] });
            }
        }
    }

    if (p.block < 0)
        DrawMarker(dc, p);
    mLastBlock = p.block;
    return S_OK;
}

void GraticuleDrawer::DrawTimeGrid(vx::ui::DC& dc, const DrawParams& p, bool present)
{
    if (!mShowGrid || !present)
        return;
    const GridParams& g = p.grid;
    const double majorSpacing = g.minorSpacing * g.majorEvery;
    const double firstMinor = MoveToVisible(g.firstMinor, g.minorSpacing, p.xFrom);
    const double firstMajor = MoveToVisible(g.firstMajor, majorSpacing, p.xFrom);

    const Colour line { KEL::AdjustColourBrightness(mBackground, mDarkGrid == 1 ? -0.3 : 0.15) };
    const Colour minor { KEL::AdjustColourBrightness(line.value, std::min(Brightness(line) / 1.6, 0.35)) };
    const Colour lineColour { ForBackground(line.value) }, minorColour { ForBackground(minor.value) };

    bool drew = false;
    DrawHorizontalGrid(dc, p.xFrom, p.xTo, minorColour, false);
    DrawVerticalGrid(dc, p.xFrom, p.xTo, p.pixelOffset, firstMinor, g.minorSpacing, minorColour, false, drew);
    DrawHorizontalGrid(dc, p.xFrom, p.xTo, lineColour, true);
    if (g.majorEvery > 0)
        DrawVerticalGrid(dc, p.xFrom, p.xTo, p.pixelOffset, firstMajor, majorSpacing, lineColour, true, drew);
}

void GraticuleDrawer::DrawHorizontalGrid(vx::ui::DC& dc, int xFrom, int xTo, Colour colour, bool major)
{
    const vx::ui::BitmapPtr& column = major ? mMajorColumn : mMinorColumn;
    if (!column || xFrom >= xTo || mBounds.Height() <= 0)
        return;
    // The column stretched across [xFrom, xTo): the brush on every row where the column is
    // black. Each run of black rows is filled once, which paints the same pixels as stretching
    // the column pixel by pixel at a fraction of the cost.
    const int height = column->Height();
    for (int y = 0; y < height;) {
        if ((column->Argb(0, y) & 0x00FFFFFFu) != 0) {
            ++y;
            continue;
        }
        const int top = y;
        while (y < height && (column->Argb(0, y) & 0x00FFFFFFu) == 0)
            ++y;
        dc.FillSolidRect({ xFrom, top, xTo, y }, colour);
    }
}

void GraticuleDrawer::DrawVerticalGrid(
    vx::ui::DC& dc, int xFrom, int xTo, int pixelOffset, double first, double spacing, Colour colour, bool, bool& drew)
{
    const vx::ui::BitmapPtr& column = mLineColumn[mDarkGrid == 1 ? 0 : 1];
    if (!column)
        return;
    const vx::ui::Brush old = dc.SelectBrush(vx::ui::Brush::Solid(colour));
    ForEachLine(xFrom, xTo, pixelOffset, first, spacing, [&](int x) {
        dc.BitBlt({ x, 0, x + 1, column->Height() }, column, { 0, 0 }, vx::ui::ROP_PSDPXAX);
        drew = true;
    });
    dc.SelectBrush(old);
}

void MetafileGraticuleDrawer::DrawHorizontalGrid(vx::ui::DC& dc, int xFrom, int xTo, Colour colour, bool major)
{
    vx::ui::Pen pen { vx::ui::PS_DOT, static_cast<int>((major ? 0.3 : 0.2) * DeviceScale() + 0.5), colour, true,
        vx::ui::PS_ENDCAP_ROUND };
    dc.SelectPen(pen);
    for (const auto& [row, kind] : mRows) {
        if ((kind == 2) != major)
            continue;
        dc.MoveTo({ xFrom, row });
        dc.LineTo({ xTo, row });
    }
}

void MetafileGraticuleDrawer::DrawVerticalGrid(vx::ui::DC& dc, int xFrom, int xTo, int pixelOffset, double first,
    double spacing, Colour colour, bool major, bool& drew)
{
    vx::ui::Pen pen { vx::ui::PS_DOT, static_cast<int>((major ? 0.3 : 0.2) * DeviceScale() + 0.5), colour, true,
        vx::ui::PS_ENDCAP_ROUND };
    dc.SelectPen(pen);
    ForEachLine(xFrom, xTo, pixelOffset, first, spacing, [&](int x) {
        dc.MoveTo({ x, 0 });
        dc.LineTo({ x, mBounds.Height() });
        drew = true;
    });
}

void GraticuleDrawer::DrawMarker(vx::ui::DC& dc, const DrawParams& p)
{
    if (!mShowMarker || !(p.samplesPerPixel > 0))
        return;
    const int start = RoundPixel(-p.firstSample / p.samplesPerPixel) - p.pixelOffset;
    const double scale = DeviceScale();
    const bool high = scale > 1.0;
    const int x = start - (high ? static_cast<int>(3 * scale) : 3);
    if (x < p.xFrom - 3 || x >= p.xTo)
        return;
    vx::ui::Pen pen = vx::ui::Pen::Solid(high ? Colour {} : kMarker, high ? static_cast<int>(0.4 * scale + 0.5) : 2);
    pen.geometric = true;
    dc.SelectPen(pen);
    dc.MoveTo({ x, 2 });
    dc.LineTo({ x, mBounds.Height() - 2 });
}

} // namespace VarnDraw
