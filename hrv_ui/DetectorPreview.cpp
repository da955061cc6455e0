#include "hrv_ui/DetectorPreview.h"

#include <algorithm>
#include <cmath>
#include <limits>

#include "hostframework/calcglue/ChannelManager.h"
#include "hostframework/events/ComQuery.h"
#include "hostframework/interfaces/RecordingInterfaces.h"
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
    // The channel's value range as the host reports it; without one the last range stays.
    const vx::com::Ref<IRecordingDoc> document = vx::hf::Query<IRecordingDoc>(HostDocument());
    double low = 0, high = 0;
    if (ExtLib::GetChannelValueRange(document.Get(), mSource, low, high) && low < high) {
        mLow = low;
        mHigh = high;
    }
    mRangeRead = true;
}

// Each trace on its own scale over the whole strip: the source over its value range, the stage
// over its fixed range in standard deviations.
void HRVPreviewPane::SetRanges()
{
    SetRange(0, { mLow, mHigh });
    SetRange(1, { kStageBottom, kStageTop });
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
