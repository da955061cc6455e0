// Scrolling and zooming a data window over 24 hours: MIT-BIH record 100's two channels repeated
// 48 times (31.1 M samples each, 360 Hz), shown in a 1920-pixel data window with a grid and a
// trace per channel and the time scale. Each iteration is one repaint of the whole window, the
// way WM_PAINT runs it: page by page at 10 s per screen, and the whole record in one screen once
// its pairs are cached. The target is a repaint under 16 ms (60 frames a second).
#include <benchmark/benchmark.h>

#include <filesystem>

#include "host/import/Wfdb.h"
#include "host/tracedraw/TraceHost.h"
#include "tracedraw/DataWin.h"
#include "tracedraw/Graticule.h"
#include "tracedraw/TraceDrawer.h"
#include "ui/Window.h"

namespace {

constexpr int kWidth = 1920;
constexpr int kHeight = 400;
constexpr int kRepeats = 48;

std::shared_ptr<vx::host::Recording> DayLongRecording()
{
    static std::shared_ptr<vx::host::Recording> recording = [] {
        const auto record = vx::import::ReadRecord(std::filesystem::path(VX_SOURCE_DIR) / "testdata/mitdb/100.hea");
        auto r = std::make_shared<vx::host::Recording>();
        for (std::size_t c = 0; c < 2; ++c) {
            vx::host::ChannelSetup setup;
            setup.unit = L"mV";
            setup.factor = 1.0 / record.header.signals[c].gain;
            setup.offset = -record.header.signals[c].baseline;
            r->AddChannel(setup);
        }
        const int index = r->AddRecord(1.0 / record.header.frequency);
        for (std::size_t c = 0; c < 2; ++c) {
            const auto& adc = record.samples[c];
            std::vector<int16_t> day;
            day.reserve(adc.size() * kRepeats);
            for (int i = 0; i < kRepeats; ++i)
                day.insert(day.end(), adc.begin(), adc.end());
            r->records[index].length = static_cast<int64_t>(day.size());
            r->records[index].channels[c] = vx::host::SampleStore(std::move(day));
        }
        return r;
    }();
    return recording;
}

vx::ui::LRESULT TopProc(vx::ui::HWND h, UINT m, vx::ui::WPARAM w, vx::ui::LPARAM l)
{
    return vx::ui::DefWindowProc(h, m, w, l);
}

// A data window on a top-level window, with a graticule and a trace in each channel strip.
struct Window {
    Window()
        : document(new vx::host::HostPaneDocument(DayLongRecording()))
        , image(vx::ui::Bitmap::Create(kWidth, kHeight))
        , dc(image)
    {
        document->AddRef();
        static const bool registered = vx::ui::RegisterClass({ L"BenchTop", 0, &TopProc });
        (void)registered;
        top = vx::ui::CreateWindowEx(0, L"BenchTop", L"", vx::ui::WS_POPUP, 0, 0, kWidth, kHeight, nullptr, 0, nullptr);
        pane = std::make_unique<VarnDraw::DataWin<VarnDraw::SimpleDataPane>>(0u, document);
        pane->paintingSuppressed = true;
        pane->SetStripCount(2);
        pane->Create(top, { 0, 0, kWidth, kHeight });
        for (int strip = 0; strip < 2; ++strip) {
            const auto id = VarnDraw::MakeIdentity(static_cast<std::uint32_t>(strip), 0);
            for (VarnDraw::IVarnRecordDrawer* d :
                { static_cast<VarnDraw::IVarnRecordDrawer*>(new VarnDraw::GraticuleDrawer(0, id, 0, 0, 0xFFFFFF)),
                    static_cast<VarnDraw::IVarnRecordDrawer*>(new VarnDraw::PolyLineTraceDrawer(0, id, 1)) }) {
                d->AddRef();
                pane->AddDrawer(strip, 0, d);
                d->Release();
            }
            vx::hf::DisplayRange range { -2.5, 2.5 };
            pane->ChannelStrip(strip)->ScaleRangeChanged(1, 0, &range);
        }
    }
    ~Window()
    {
        pane.reset();
        vx::ui::DestroyWindow(top);
        document->Release();
    }
    void Repaint()
    {
        pane->ResetStrips();
        pane->Paint(dc, { 0, 0, kWidth, kHeight });
        dc.Flush();
    }

    vx::host::HostPaneDocument* document;
    vx::ui::HWND top = nullptr;
    std::unique_ptr<VarnDraw::DataWin<VarnDraw::SimpleDataPane>> pane;
    vx::ui::BitmapPtr image;
    vx::ui::DC dc;
};

// 10 s per screen: 3600 samples over 1920 pixels is 15:8. One page further per repaint; the
// last page wraps to the first.
void BM_PageByPageAt10sPerScreen(benchmark::State& state)
{
    Window w;
    w.pane->SetCompression(KEL::Rational(15, 8), nullptr, false);
    const std::int64_t page = w.pane->PlotWidth();
    w.Repaint();
    std::int64_t pages = 0;
    for (auto _ : state) {
        std::int64_t next = w.pane->RightEdge() + page;
        if (next > w.pane->LatestExtent())
            next = page;
        w.pane->ScrollToPosition(next - page, 2);
        w.Repaint();
        ++pages;
    }
    state.counters["pages"] = static_cast<double>(pages);
    state.counters["extent_px"] = static_cast<double>(w.pane->LatestExtent());
}

// The whole record in one screen, warm: the per-column pairs of that zoom are cached.
void BM_WholeDayInOneScreenWarm(benchmark::State& state)
{
    Window w;
    const std::int64_t samples = DayLongRecording()->records[0].length;
    w.pane->SetCompression(KEL::Rational(samples, w.pane->PlotWidth()), nullptr, false);
    w.Repaint(); // makes the pairs
    for (auto _ : state)
        w.Repaint();
    state.counters["extent_px"] = static_cast<double>(w.pane->LatestExtent());
}

} // namespace

BENCHMARK(BM_PageByPageAt10sPerScreen)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_WholeDayInOneScreenWarm)->Unit(benchmark::kMillisecond);
BENCHMARK_MAIN();
