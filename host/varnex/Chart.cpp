#include "varnex/Chart.h"

#include "host/tracedraw/TraceHost.h"
#include "tracedraw/DataWin.h"
#include "tracedraw/EventDrawer.h"
#include "tracedraw/Graticule.h"
#include "tracedraw/TraceDrawer.h"
#include "ui/Window.h"

namespace varnex {

namespace ui = vx::ui;

struct RecordingChart::Parts {
    vx::host::HostPaneDocument* document = nullptr;
    std::unique_ptr<VarnDraw::DataWin<VarnDraw::SimpleDataPane>> window;
};

namespace {
void Add(VarnDraw::DataPane& pane, int strip, VarnDraw::IVarnRecordDrawer* drawer)
{
    drawer->AddRef();
    pane.AddDrawer(strip, 0, drawer);
    drawer->Release();
}
} // namespace

RecordingChart::RecordingChart(ui::HWND parent, const ui::Rect& rect, std::shared_ptr<vx::host::Recording> recording)
    : mParts(std::make_unique<Parts>())
{
    auto* factory = new vx::host::HostScaleFactory;
    factory->AddRef();
    VarnDraw::SetHostScaleFactory(factory);
    factory->Release();

    const int channels = recording->ChannelCount();
    const bool annotated = !recording->eventChannels.empty();
    mParts->document = new vx::host::HostPaneDocument(recording);
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
        Add(pane, 0, new VarnDraw::EventDrawer(0x300, VarnDraw::MakeIdentity(static_cast<std::uint32_t>(channels), 0)));
    // The scales show each channel's unit, and the range of its samples from the first paint on.
    for (int c = 0; c < channels; ++c) {
        pane.ChannelStrip(c)->UpdateScales(0, recording->RecordCount() - 1);
        pane.ChannelStrip(c)->Refresh(0);
        pane.RequestAutoscale(c, 1);
    }
    pane.SizeChanged({ 0, 0, rect.Width(), rect.Height() });
}

RecordingChart::~RecordingChart()
{
    mParts->window.reset();
    if (mParts->document)
        mParts->document->Release();
    VarnDraw::SetHostScaleFactory(nullptr);
}

ui::HWND RecordingChart::Handle() const { return mParts->window->Handle(); }

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

} // namespace varnex
