#include "varnex/desktop/chart/Chart.h"

#include <algorithm>
#include <cmath>
#include <cstring>
#include <cwchar>
#include <limits>
#include <optional>
#include <span>
#include <vector>

#include "host/calc/Signal.h"
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

// The samples of a channel that a channel calculation computes, read through the calculation a
// block at a time; a stretch it has nothing for (before the first beat) is a gap.
class CalculatedSignal final : public vx::calc::BlockSignal {
public:
    CalculatedSignal(vx::host::HostDocument& document, std::uint32_t channel)
        : mDocument(document)
        , mChannel(channel)
    {
        mDocument.AddRef();
    }
    ~CalculatedSignal() override { mDocument.Release(); }
    vx::calc::TimeBase Info(int record) override { return mDocument.Data().RecordInfo(record); }

protected:
    void ComputeBlock(int record, std::int64_t start, std::span<float> out) override
    {
        if (start > 0x7FFFFFFF
            || mDocument.ReadComputedChannel(mChannel, record, static_cast<LONG>(start), out) != S_OK)
            std::fill(out.begin(), out.end(), std::numeric_limits<float>::quiet_NaN());
    }

private:
    vx::host::HostDocument& mDocument;
    std::uint32_t mChannel;
};

// The range of a calculated channel's values in a record and of its guide lines, with a margin;
// -1 to 1 when it has no value.
vx::hf::DisplayRange ValueRange(
    vx::host::HostDocument& document, std::uint32_t channel, int record, const vx::host::ChannelGuides* guides)
{
    double low = std::numeric_limits<double>::infinity(), high = -low;
    const std::int64_t length = std::min<std::int64_t>(document.Data().RecordInfo(record).length, 0x7FFFFFFF);
    // Long stretches: the calculation reads its beats from the record's start at every call.
    constexpr std::int64_t kStretch = 1 << 20;
    std::vector<float> block;
    for (std::int64_t from = 0; from < length; from += kStretch) {
        block.resize(static_cast<std::size_t>(std::min<std::int64_t>(kStretch, length - from)));
        if (document.ReadComputedChannel(channel, record, static_cast<LONG>(from), block) != S_OK)
            continue;
        for (float v : block)
            if (std::isfinite(v)) {
                low = std::min(low, static_cast<double>(v));
                high = std::max(high, static_cast<double>(v));
            }
    }
    if (guides)
        for (const vx::host::GuideLine& line : guides->lines)
            if (line.shown && std::isfinite(line.value)) {
                low = std::min(low, line.value);
                high = std::max(high, line.value);
            }
    if (!(low <= high))
        return { -1.0, 1.0 };
    const double margin = high > low ? (high - low) * 0.1 : std::max(1.0, std::abs(high) * 0.1);
    return { low - margin, high + margin };
}

// The guide lines' display settings as the graticule reads them: each line (shown, with its
// colour and the band beyond it) and its value with the texts. The band marks what lies outside
// the two lines, so the higher line is the first item (its band reaches up to the top) and the
// lower the second, in whichever order the lines came.
void StoreGuides(vx::host::HostChannelSettings::Channel& channel, const vx::host::ChannelGuides* guides)
{
    channel.guides.clear();
    if (!guides)
        return;
    const bool swapped = guides->lines[1].value > guides->lines[0].value;
    for (LONG item = 1; item <= 2; ++item) {
        const vx::host::GuideLine& line = guides->lines[swapped ? 2 - item : item - 1];
        vx::hf::GuideSetting shown;
        shown.on = (line.shown ? 1 : 0) | (line.shown && guides->band ? 2 : 0);
        shown.colour = line.colour;
        channel.guides[{ vx::hf::kGuideBandSetting, item }] = shown;
        vx::hf::GuideSetting value;
        value.value = line.value;
        std::wcsncpy(value.unit, line.label.c_str(), std::size(value.unit) - 1);
        std::wcsncpy(value.label, line.secondLabel.c_str(), std::size(value.label) - 1);
        channel.guides[{ vx::hf::kGuideLineSetting, item }] = value;
    }
}
} // namespace

struct RecordingChart::Parts {
    vx::host::HostPaneDocument* document = nullptr;
    // The calculated channels' samples by host channel, as the panes' record data reads them.
    std::shared_ptr<std::map<int, vx::calc::SignalPtr>> calculated
        = std::make_shared<std::map<int, vx::calc::SignalPtr>>();
    std::vector<std::uint32_t> calculatedChannels; // by strip, after the recorded channels' strips
    std::vector<vx::hf::DisplayRange> calculatedRanges; // their scales' ranges
    // The calculated channels' strips take their ranges again (after the strips' heights changed,
    // so that what the graticule places by value lands where the trace does).
    void ApplyCalculatedRanges()
    {
        for (std::size_t i = 0; i < calculatedRanges.size(); ++i)
            if (VarnDraw::ChannelPane* s = window->ChannelStrip(recordedStrips + static_cast<int>(i))) {
                s->SetScaleRange(0, 1, calculatedRanges[i], true, true);
                s->Refresh(0);
            }
    }
    int recordedStrips = 0;
    vx::host::HostChannelSettings* settings = nullptr; // held
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
    mParts->recordedStrips = channels;
    mParts->document = new vx::host::HostPaneDocument(
        recording, eventDraw, [calculated = mParts->calculated](int channel) -> std::optional<vx::calc::Compiled> {
            const auto it = calculated->find(channel);
            if (it == calculated->end())
                return std::nullopt;
            return vx::calc::Compiled { it->second, nullptr };
        });
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
    if (mParts->settings)
        mParts->settings->Release();
    mParts->calculated->clear();
    VarnDraw::SetHostScaleFactory(nullptr);
}

ui::HWND RecordingChart::Handle() const
{
    return mParts->window->Handle();
}

void RecordingChart::Place(const ui::Rect& rect)
{
    ui::MoveWindow(Handle(), rect.left, rect.top, rect.Width(), rect.Height(), true);
    mParts->ApplyCalculatedRanges();
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

void RecordingChart::ShowCalculatedChannels(
    vx::host::HostDocument& document, const std::map<std::int32_t, vx::host::ChannelGuides>& guides)
{
    auto& pane = *mParts->window;
    const int recorded = mParts->recordedStrips;
    std::map<int, vx::calc::SignalPtr> signals;
    std::vector<std::uint32_t> shown;
    for (const auto& c : document.ComputedChannels()) {
        signals[static_cast<int>(c.channel)] = std::make_shared<CalculatedSignal>(document, c.channel);
        shown.push_back(c.channel);
    }
    // Strips made anew: drawers and scales follow the channels as they are now.
    pane.SetStripCount(recorded);
    *mParts->calculated = signals;
    mParts->calculatedChannels = shown;
    mParts->calculatedRanges.clear();
    pane.SetStripCount(recorded + static_cast<int>(shown.size()));
    if (!mParts->settings) {
        mParts->settings = new vx::host::HostChannelSettings;
        mParts->settings->AddRef();
    }
    for (std::size_t i = 0; i < shown.size(); ++i) {
        const int strip = recorded + static_cast<int>(i);
        const auto identity = VarnDraw::MakeIdentity(shown[i], 0);
        Add(pane, strip, new VarnDraw::GraticuleDrawer(0, identity, 0, 0, 0xFFFFFF));
        Add(pane, strip, new VarnDraw::PolyLineTraceDrawer(0, identity, 1));
        const auto g = guides.find(static_cast<std::int32_t>(shown[i]));
        const vx::host::ChannelGuides* kept = g == guides.end() ? nullptr : &g->second;
        StoreGuides(mParts->settings->At(strip), kept);
        if (VarnDraw::ChannelPane* s = pane.ChannelStrip(strip)) {
            // The unit the guide lines are given in is the channel's.
            if (IHostScale* scale = kept && !kept->lines[0].label.empty() ? s->GetScale1() : nullptr) {
                scale->SetTransform(s->ScaleFactor(1), 0.0, kept->lines[0].label.c_str());
                scale->Release();
            }
        }
        mParts->calculatedRanges.push_back(ValueRange(document, shown[i], 0, kept));
    }
    mParts->ApplyCalculatedRanges();
    pane.UpdateChannelSettings(static_cast<IChannelDrawSettings*>(mParts->settings));
    pane.ResetStrips();
    pane.WsInvalidateAll(false);
}

std::vector<std::uint32_t> RecordingChart::CalculatedChannels() const
{
    return mParts->calculatedChannels;
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
