// Drawing a 24-hour channel into a 1920-pixel strip: MIT-BIH record 100 (360 Hz) repeated 48
// times in memory, 31.2 M samples, drawn by a trace drawer from the host's record data. Reports
// the time from raw samples (every sample read once into the per-column pairs), the time once
// the pairs of that zoom are cached, and the memory the drawing holds (the cached pairs and the
// read buffer) beside the process's peak growth.
#include <benchmark/benchmark.h>

#include <sys/resource.h>

#include <filesystem>

#include "host/import/Wfdb.h"
#include "host/tracedraw/TraceHost.h"
#include "tracedraw/ChildPane.h"
#include "tracedraw/TraceDrawer.h"

namespace {

constexpr int kWidth = 1920;
constexpr int kHeight = 200;
constexpr int kRepeats = 48;

long PeakRssKb()
{
    rusage usage {};
    getrusage(RUSAGE_SELF, &usage);
    return usage.ru_maxrss;
}

std::shared_ptr<vx::host::Recording> DayLongRecording()
{
    static std::shared_ptr<vx::host::Recording> recording = [] {
        const auto record = vx::import::ReadRecord(std::filesystem::path(VX_SOURCE_DIR) / "testdata/mitdb/100.hea");
        const auto& adc = record.samples[0];
        std::vector<int16_t> day;
        day.reserve(adc.size() * kRepeats);
        for (int i = 0; i < kRepeats; ++i)
            day.insert(day.end(), adc.begin(), adc.end());
        auto r = std::make_shared<vx::host::Recording>();
        vx::host::ChannelSetup setup;
        setup.unit = L"mV";
        setup.factor = 1.0 / record.header.signals[0].gain;
        setup.offset = -record.header.signals[0].baseline;
        r->AddChannel(setup);
        const int index = r->AddRecord(1.0 / record.header.frequency);
        r->records[index].length = static_cast<int64_t>(day.size());
        r->records[index].channels[0] = vx::host::SampleStore(std::move(day));
        return r;
    }();
    return recording;
}

// One strip with one trace drawer over a record source of its own (so its own pair cache).
struct Strip {
    explicit Strip(std::shared_ptr<vx::host::Recording> recording)
        : source(new vx::host::HostRecordSource(recording, 0))
        , bitmap(vx::ui::Bitmap::Create(kWidth, kHeight))
        , dc(bitmap)
    {
        source->AddRef();
        const double perPixel = static_cast<double>(recording->records[0].length) / kWidth;
        source->SetView(0.0, perPixel);
        pane.SetRecordSource(source);
        pane.record = 0;
        strip = new VarnDraw::ChannelPane(VarnDraw::ChannelPaneInit {});
        pane.AddStrip(strip);
        strip->SetBounds(kWidth, 0, { 0, 0, kWidth, kHeight });
        auto* trace
            = new VarnDraw::PolyLineTraceDrawer(0, VarnDraw::MakeIdentity(0, 0), 1, vx::ui::Colour::Rgb(0, 0, 160));
        trace->AddRef();
        pane.AddDrawer(0, 0, trace, 255);
        trace->Release();
        vx::hf::DisplayRange range { -2.5, 2.5 };
        strip->ScaleRangeChanged(1, 0, &range);
        params.samplesPerPixel = perPixel;
        params.secondsPerSample = recording->records[0].interval;
    }
    ~Strip() { source->Release(); }
    void Draw()
    {
        strip->InvalidateAll();
        strip->Paint(dc, strip->StripRect(), 0, 0xFFu, params);
        dc.Flush();
    }

    vx::host::HostRecordSource* source;
    VarnDraw::DrawerDataPane pane;
    VarnDraw::ChannelPane* strip;
    VarnDraw::DrawParams params;
    vx::ui::BitmapPtr bitmap;
    vx::ui::DC dc;
};

void BM_DayInStripFromRawSamples(benchmark::State& state)
{
    auto recording = DayLongRecording();
    const long before = PeakRssKb();
    std::size_t held = 0;
    for (auto _ : state) {
        state.PauseTiming();
        Strip strip(recording); // a fresh cache: every sample is read
        state.ResumeTiming();
        strip.Draw();
        held = strip.source->Cache()->Bytes();
    }
    state.counters["samples"] = static_cast<double>(recording->records[0].length);
    state.counters["pairs_bytes"] = static_cast<double>(held);
    state.counters["peak_growth_kb"] = static_cast<double>(PeakRssKb() - before);
}

void BM_DayInStripFromCachedPairs(benchmark::State& state)
{
    Strip strip(DayLongRecording());
    strip.Draw(); // makes the pairs of this zoom
    for (auto _ : state)
        strip.Draw();
    state.counters["pairs_bytes"] = static_cast<double>(strip.source->Cache()->Bytes());
}

} // namespace

BENCHMARK(BM_DayInStripFromRawSamples)->Unit(benchmark::kMillisecond)->Iterations(5);
BENCHMARK(BM_DayInStripFromCachedPairs)->Unit(benchmark::kMillisecond);
BENCHMARK_MAIN();
