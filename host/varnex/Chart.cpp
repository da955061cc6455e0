#include "varnex/Chart.h"

#include <cmath>
#include <cstring>
#include <vector>

#include "host/eventdraw/EventDrawClasses.h"
#include "tracedraw/DataWin.h"
#include "tracedraw/EventDrawer.h"
#include "tracedraw/Graticule.h"
#include "tracedraw/TraceDrawer.h"
#include "ui/MessageQueue.h"
#include "ui/Resources.h"
#include "ui/Tooltip.h"
#include "ui/Window.h"

namespace varnex {

namespace ui = vx::ui;

namespace {
// Interactive objects of the chart, in the order they take the mouse and paint.
constexpr int kBeatHintObject = 10, kSelectionObject = 20;
constexpr std::int32_t kEventOrder = 0x300;

void Add(VarnDraw::DataPane& pane, int strip, VarnDraw::IVarnRecordDrawer* drawer)
{
    drawer->AddRef();
    pane.AddDrawer(strip, 0, drawer);
    drawer->Release();
}
} // namespace

struct RecordingChart::Parts {
    vx::host::HostPaneDocument* document = nullptr;
    std::unique_ptr<VarnDraw::DataWin<VarnDraw::SimpleDataPane>> window;
    std::vector<VarnDraw::IVarnRecordDrawer*> beatDrawers; // held
    std::shared_ptr<SelectionObject> selection;
    std::shared_ptr<BeatHintObject> hint;
    std::function<void(const ChartSelection&)> listener;
    ui::HWND tooltip = nullptr;
};

RecordingChart::RecordingChart(ui::HWND parent, const ui::Rect& rect, std::shared_ptr<vx::host::Recording> recording,
    const vx::eventdraw::EventDrawClasses* eventDraw)
    : mParts(std::make_unique<Parts>())
{
    auto* factory = new vx::host::HostScaleFactory;
    factory->AddRef();
    VarnDraw::SetHostScaleFactory(factory);
    factory->Release();

    const int channels = recording->ChannelCount();
    const bool annotated = !recording->eventChannels.empty();
    mParts->document = new vx::host::HostPaneDocument(recording, eventDraw);
    mParts->document->AddRef();
    mParts->window = std::make_unique<VarnDraw::DataWin<VarnDraw::SimpleDataPane>>(0u, mParts->document);
    auto& pane = *mParts->window;
    pane.SetStripCount(channels);
    pane.Create(parent, rect);
    for (int c = 0; c < channels; ++c) {
        const auto identity = VarnDraw::MakeIdentity(static_cast<std::uint32_t>(c), 0);
        Add(pane, c, new VarnDraw::GraticuleDrawer(0, identity, 0, 0, 0xFFFFFF));
        Add(pane, c, new VarnDraw::PolyLineTraceDrawer(0, identity, 1));
    }
    if (annotated && channels > 0)
        Add(pane, 0,
            new VarnDraw::EventDrawer(kEventOrder, VarnDraw::MakeIdentity(static_cast<std::uint32_t>(channels), 0)));
    // The beats are marked on every strip, so that they can be seen against each signal.
    if (eventDraw)
        for (int c = 0; c < channels; ++c) {
            auto* beats = new VarnDraw::EventDrawer(
                kEventOrder, VarnDraw::MakeIdentity(mParts->document->ComputedChannel(), 0));
            beats->AddRef();
            mParts->beatDrawers.push_back(beats);
            pane.AddDrawer(c, 0, beats);
        }
    // The scales show each channel's unit, and the range of its samples from the first paint on.
    for (int c = 0; c < channels; ++c) {
        pane.ChannelStrip(c)->UpdateScales(0, recording->RecordCount() - 1);
        pane.ChannelStrip(c)->Refresh(0);
        pane.RequestAutoscale(c, 1);
    }

    mParts->selection = std::make_shared<SelectionObject>([parts = mParts.get()](const ChartSelection& s) {
        if (parts->listener)
            parts->listener(s);
    });
    pane.AddInteractiveObject(kSelectionObject, mParts->selection);
    if (eventDraw) {
        mParts->tooltip = ui::CreateWindowEx(
            ui::WS_EX_TOPMOST, ui::kTooltipClass, L"", ui::WS_POPUP, 0, 0, 0, 0, pane.Handle(), 0, nullptr);
        if (mParts->tooltip) {
            ui::TOOLINFOW tool;
            tool.hwnd = pane.Handle();
            tool.uId = 1;
            ui::SendMessage(mParts->tooltip, ui::TTM_ADDTOOLW, 0, reinterpret_cast<ui::LPARAM>(&tool));
        }
        mParts->hint = std::make_shared<BeatHintObject>(*eventDraw, mParts->document->Computed(), mParts->tooltip);
        pane.AddInteractiveObject(kBeatHintObject, mParts->hint);
    }
    pane.SizeChanged({ 0, 0, rect.Width(), rect.Height() });
}

RecordingChart::~RecordingChart()
{
    if (mParts->tooltip && ui::IsWindow(mParts->tooltip))
        ui::DestroyWindow(mParts->tooltip);
    mParts->window.reset();
    for (VarnDraw::IVarnRecordDrawer* d : mParts->beatDrawers)
        d->Release();
    if (mParts->document)
        mParts->document->Release();
    VarnDraw::SetHostScaleFactory(nullptr);
}

ui::HWND RecordingChart::Handle() const
{
    return mParts->window->Handle();
}

void RecordingChart::Place(const ui::Rect& rect)
{
    ui::MoveWindow(Handle(), rect.left, rect.top, rect.Width(), rect.Height(), true);
}

void RecordingChart::AddStripDrawer(int channel, VarnDraw::IVarnRecordDrawer* drawer)
{
    mParts->window->AddDrawer(channel, 0, drawer);
    ui::InvalidateRect(Handle(), nullptr, false);
}

ui::Rect RecordingChart::StripRect(int channel) const
{
    VarnDraw::ChannelPane* strip = mParts->window->ChannelStrip(channel);
    return strip ? strip->StripRect() : ui::Rect {};
}

void RecordingChart::SetBeats(std::shared_ptr<const vx::host::ComputedEvents> beats)
{
    mParts->document->Computed().Set(std::move(beats));
    // The marks are read again from the new snapshot at the next paint.
    for (VarnDraw::IVarnRecordDrawer* d : mParts->beatDrawers) {
        d->ResetIterator();
        d->Refresh(0);
    }
    mParts->window->ResetStrips();
    mParts->window->WsInvalidateAll(false);
}

void RecordingChart::SetSelectionListener(std::function<void(const ChartSelection&)> listener)
{
    mParts->listener = std::move(listener);
}

const ChartSelection& RecordingChart::Selection() const
{
    return mParts->selection->Selection();
}

void RecordingChart::SetSelection(const ChartSelection& selection)
{
    mParts->selection->SetSelection(*mParts->window, selection);
}

ui::Rect RecordingChart::SelectionBand() const
{
    return mParts->selection->Band(*mParts->window);
}

std::wstring RecordingChart::Hint() const
{
    return mParts->hint ? mParts->hint->Hint() : std::wstring();
}

bool RecordingChart::BeatUnderMouse(std::int64_t& tick, ui::Rect& mark) const
{
    if (!mParts->hint || mParts->hint->Beat() < 0)
        return false;
    tick = mParts->hint->Beat();
    mark = mParts->hint->Mark();
    return true;
}

void RecordingChart::Follow(int record, vx::host::HrvHostOptions::OnlineStep step)
{
    using Step = vx::host::HrvHostOptions::OnlineStep;
    vx::host::HostPaneDocument& document = *mParts->document;
    switch (step) {
    case Step::Started:
        document.StartSampling(record);
        break;
    case Step::Block:
        document.BlockAdded(record);
        break;
    case Step::Stopped:
        document.StopSampling();
        break;
    }
}

vx::host::HostPaneDocument& RecordingChart::PaneDocument()
{
    return *mParts->document;
}

VarnDraw::DataPane& RecordingChart::Pane()
{
    return *mParts->window;
}

std::vector<int> RecordingChart::BeatMarksInView() const
{
    std::vector<int> xs;
    const auto beats = mParts->document->Computed().Get();
    auto& pane = *mParts->window;
    IRecordSource* source = nullptr;
    LONG record = 0;
    if (SUCCEEDED(pane.GetRecordSource(&source)) && source) {
        source->GetRecordIndex(&record);
        source->Release();
    }
    if (!beats || beats->recordSize < sizeof(std::int32_t) || record < 0
        || record >= static_cast<LONG>(beats->records.size()) || !beats->records[static_cast<std::size_t>(record)])
        return xs;
    const std::vector<std::byte>& bytes = *beats->records[static_cast<std::size_t>(record)];
    for (std::size_t at = 0; at + beats->recordSize <= bytes.size(); at += beats->recordSize) {
        std::int32_t tick = 0;
        std::memcpy(&tick, bytes.data() + at, sizeof tick);
        const int x = XOf(tick);
        if (x >= pane.PlotLeft() && x < pane.PlotLeft() + pane.PlotWidth())
            xs.push_back(x);
    }
    return xs;
}

int RecordingChart::XOf(std::int64_t tick) const
{
    return static_cast<int>(std::floor(XOfTick(*mParts->window, static_cast<double>(tick)) + 0.5));
}

} // namespace varnex
