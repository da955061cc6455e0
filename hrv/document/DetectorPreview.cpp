#include "hrv/document/DetectorPreview.h"

#include <algorithm>
#include <cmath>
#include <limits>

#include "tracedraw/EventDrawer.h"
#include "tracedraw/Graticule.h"

namespace HRV {

namespace {

// The unit of the detector's stage.
const std::wstring& StandardDeviations()
{
    static const std::wstring text = L"S.D.";
    return text;
}

// Draw order of the beat marks: above the traces.
constexpr std::int32_t kBeatOrder = 0x300;

template <class D> void Hand(D* drawer, const std::function<void(VarnDraw::IVarnRecordDrawer*)>& to)
{
    drawer->AddRef();
    to(drawer);
    drawer->Release();
}

std::int64_t Identity(const ChannelRef& ref)
{
    return VarnDraw::MakeIdentity(ref.mChannel, 0);
}

} // namespace

const std::wstring& SourceUnitMapper::Map(std::wstring& out, const std::wstring& unit, int prefixIndex, int* outIndex)
{
    if (outIndex)
        *outIndex = prefixIndex;
    out = unit;
    return out;
}

const std::wstring& PPUNMapper::Map(std::wstring& out, const std::wstring&, int prefixIndex, int* outIndex)
{
    if (outIndex)
        *outIndex = prefixIndex;
    out = StandardDeviations();
    return out;
}

HRVPreviewPane::HRVPreviewPane(DetectorBase& detector, std::uint32_t sourceChannel)
    : mDetector(detector)
    , mSource(sourceChannel)
{
}

HRVPreviewPane::~HRVPreviewPane() = default;

void HRVPreviewPane::SetScaleUnit()
{
    if (!Window())
        return;
    Window()->SetScaleUnit(1, UnitText().c_str(), 1);
    Window()->SetScaleUnit(2, StandardDeviations().c_str(), 1);
}

void HRVPreviewPane::Setup(std::int64_t first, std::int64_t last)
{
    mFirst = std::max<std::int64_t>(first, 0);
    mLast = std::max(last, mFirst + 1);
    if (!Window())
        return;
    SetScaleUnit();
    ShowStretch();
    ReadSourceRange();
    Rebuild();
}

void HRVPreviewPane::ShowStretch()
{
    auto& pane = *Window();
    const int width = std::max(pane.PlotWidth(), 1);
    // Samples per pixel so that the stretch fills the plot, then its start at the left edge.
    pane.SetCompression(KEL::Rational(mLast - mFirst, width), nullptr, false);
    const double ratio = pane.Ratio();
    if (ratio > 0)
        pane.ScrollToPosition(static_cast<std::int64_t>(std::floor(static_cast<double>(mFirst) / ratio)), 2);
}

void HRVPreviewPane::ReadSourceRange()
{
    auto& pane = *Window();
    // The source's values over the stretch (at most a few thousand of them read).
    double low = std::numeric_limits<double>::infinity(), high = -low;
    IRecordSource* source = nullptr;
    if (pane.GetRecordSource(&source) == S_OK && source) {
        IUnknown* unknown = nullptr;
        IRecordData* data = nullptr;
        if (source->GetCurrentRecord(&unknown) == S_OK && unknown) {
            unknown->QueryInterface(IRecordData::kIid, reinterpret_cast<void**>(&data));
            unknown->Release();
        }
        if (data) {
            const std::int64_t step = std::max<std::int64_t>(1, (mLast - mFirst) / 4000);
            for (std::int64_t p = mFirst; p < mLast; p += step) {
                double v = 0;
                if (data->GetValue(mSource, p, &v, nullptr) == S_OK && std::isfinite(v)) {
                    low = std::min(low, v);
                    high = std::max(high, v);
                }
            }
            data->Release();
        }
        source->Release();
    }
    if (low < high) {
        mLow = low;
        mHigh = high;
    }
    mRangeRead = true;
}

void HRVPreviewPane::SetRanges()
{
    const double margin = (mHigh - mLow) * 0.05;
    const double span = mHigh - mLow + 2 * margin;
    SetRange(0, { mLow - margin - span, mHigh + margin });
    SetRange(1, { kStageBottom, kStageTop + (kStageTop - kStageBottom) });
}

void HRVPreviewPane::Rebuild()
{
    if (!Window())
        return;
    auto& pane = *Window();
    pane.ClearDrawers();
    const auto add = [&pane](VarnDraw::IVarnRecordDrawer* d) { pane.AddDrawer(0, 0, d); };
    const ChannelRef source { mSource, 0xC0000000u };
    Hand(new VarnDraw::GraticuleDrawer(0, Identity(source), 0, 0, 0xFFFFFF), add);

    const DWORD colour = SourceColour();
    Hand(new VarnDraw::CustomUnitsPolyLineTraceDrawer(
             std::make_unique<SourceUnitMapper>(), 0, Identity(source), 1, vx::ui::Colour { colour }),
        [&pane](VarnDraw::IVarnRecordDrawer* d) { pane.AddTraceDrawer(d, VarnDraw::kTraceOverlay); });
    pane.SetScaleColor(1, 0xFFFF, colour);

    mBeats = mDetector.GetFiducialChannel();
    if (mBeats.IsSet())
        Hand(new VarnDraw::EventDrawer(kBeatOrder, Identity(mBeats)), add);

    mStage = mDetector.GetStageChannel(5);
    if (mStage.IsSet()) {
        Hand(new VarnDraw::CustomUnitsPolyLineTraceDrawer(
                 std::make_unique<PPUNMapper>(), 0, Identity(mStage), 2, vx::ui::Colour { kStageColour }),
            [&pane](VarnDraw::IVarnRecordDrawer* d) { pane.AddTraceDrawer(d, VarnDraw::kTraceStack); });
        pane.SetScaleColor(2, 0xFFFF, kStageColour);
    }
    if (mRangeRead)
        SetRanges();
    pane.ResetStrips();
    pane.WsInvalidateAll(true);
}

} // namespace HRV
