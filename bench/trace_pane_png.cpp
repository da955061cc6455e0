// Renders a channel pane headless to a PNG: ten seconds of MIT-BIH record 100 with its grid,
// amplitude scale, trace, beat annotations and the time scale. Usage: trace_pane_png out.png
#include <cstdio>
#include <filesystem>

#include "host/recording/Import.h"
#include "host/tracedraw/TraceHost.h"
#include "tracedraw/ChildPane.h"
#include "tracedraw/EventDrawer.h"
#include "tracedraw/Graticule.h"
#include "tracedraw/TimeScale.h"
#include "tracedraw/TraceDrawer.h"

using namespace VarnDraw;

int main(int argc, char** argv)
{
    if (argc != 2) {
        std::fprintf(stderr, "usage: trace_pane_png out.png\n");
        return 2;
    }
    auto recording = std::make_shared<vx::host::Recording>(
        vx::host::ImportWfdb(std::filesystem::path(VX_SOURCE_DIR) / "testdata/mitdb/100.hea"));
    const int left = 56, width = 900, height = 220;
    const double perPixel = 3600.0 / width; // ten seconds at 360 Hz

    auto* source = new vx::host::HostRecordSource(recording, 0);
    source->AddRef();
    source->SetView(0.0, perPixel);
    auto* factory = new vx::host::HostScaleFactory;
    factory->AddRef();
    SetHostScaleFactory(factory);
    factory->Release();

    DrawerDataPane pane;
    pane.SetRecordSource(source);
    pane.record = 0;
    auto* channel = new ChannelPane(ChannelPaneInit {});
    pane.AddStrip(channel);
    channel->SetLeftMargin(left);
    channel->CreateScales(nullptr, 0);
    channel->SetBounds(width, 0, { left, 0, left + width, height });
    auto* scale = new TimeScale();
    pane.AddStrip(scale);

    auto add = [&](int strip, IVarnRecordDrawer* drawer) {
        drawer->AddRef();
        pane.AddDrawer(strip, 0, drawer, 255);
        drawer->Release();
    };
    add(0, new GraticuleDrawer(0, MakeIdentity(0, 0), 0, 0, 0xFFFFFF));
    add(0, new PolyLineTraceDrawer(0, MakeIdentity(0, 0), 1));
    add(0, new EventDrawer(0x300, MakeIdentity(static_cast<std::uint32_t>(recording->ChannelCount()), 0)));

    auto image = vx::ui::Bitmap::Create(left + width + 12, height + 40);
    vx::ui::DC dc(image);
    dc.FillSolidRect({ 0, 0, image->Width(), image->Height() }, vx::ui::Colour { 0xFFFFFF });
    scale->UpdateFont(dc);
    scale->SetBounds(width, 0, { left, height, left + width, height + scale->StripHeight() });

    // The record is in millivolts: the scale shows them as they are.
    IHostScale* axis = channel->GetScale1();
    axis->SetTransform(1.0, 0.0, L"mV");
    channel->SetScaleRange(0, 1, { -1.5, 1.5 }, true, true);
    channel->Refresh(0); // the drawers take the scale's range
    channel->CreateBackgrounds(0);

    DrawParams params;
    params.samplesPerPixel = perPixel;
    params.secondsPerSample = recording->records[0].interval;
    pane.PaintAll(dc, params);
    axis->Paint(&dc, nullptr);
    axis->Release();
    dc.Flush();
    const bool saved = image->SavePng(argv[1]);
    SetHostScaleFactory(nullptr);
    source->Release();
    return saved ? 0 : 1;
}
