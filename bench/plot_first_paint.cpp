// Setup to first paint of the two largest plots of a 24-hour recording, through the real plot
// control in WebKitGTK under a virtual display of its own: the tachogram (a time plot of every RR
// interval) and the Poincaré plot (each interval against the next), with about 110,000 values
// each, and 1,000,000 as a stretch. The targets are under 1 s for 110,000 values and under 3 s
// for 1,000,000.
//
// "open": a new control is made and handed its markup at once, as a view opening does; the time
// runs from the markup to the plot painted with all its values (page load, compile, every value
// fetched in blocks through the data binding, compressed to the pixels, drawn).
// "refresh": the same control is handed the markup again, as after a re-analysis.
//
// Run: bench/plot_first_paint [--benchmark_filter=...]; needs Xvfb, like the end-to-end tests.
#include <benchmark/benchmark.h>

#include <chrono>
#include <cmath>
#include <cstdlib>
#include <iostream>
#include <map>
#include <thread>

#include "PlotControlHarness.h"
#include "VirtualDisplay.h"
#include "ui/Backend.h"
#include "ui/gtk/GtkBackend.h"
#include "webview/WebKitEngine.h"

namespace {

using namespace vx::e2e;
using Clock = std::chrono::steady_clock;

bool gReady = false;
std::string gWhy;

constexpr int kTimeoutMs = 60000;

// RR intervals of a day: a slow rhythm, breathing and some beat-to-beat scatter.
std::vector<float> DayOfIntervals(std::int64_t n)
{
    std::vector<float> rr(static_cast<std::size_t>(n));
    std::uint32_t seed = 12345;
    for (std::int64_t i = 0; i < n; ++i) {
        seed = seed * 1664525u + 1013904223u;
        const float noise = static_cast<float>(seed >> 8) / 16777216.0f - 0.5f;
        rr[std::size_t(i)]
            = 0.85f + 0.12f * std::sin(float(i) / 4000.0f) + 0.03f * std::sin(float(i) / 4.0f) + 0.04f * noise;
    }
    return rr;
}

enum Kind { kTachogram, kPoincare };

const wchar_t* Markup(Kind kind)
{
    return kind == kTachogram
        ? L"topmargin: 40, rightmargin: 40, tplot: {id: 'hrv_tachogram_view', cursor: { readout: 'RR Interval {0} = "
          L"{1} s' }, "
          L"xdata: [0:1:end], ydata: '$RR' [0:1:2147483647], colour: #1f3fbfff}, graticule: { colour:#c8c8c8ff }, "
          L"xlabel: 'Interval Number', ylabel: 'RR Interval (s)', "
        : L"topmargin: 40, rightmargin: 40, scatter: {id: 'hrv_poincare_view', cursor: { readout: 'RR Interval: {0} s, "
          L"Next RR "
          L"Interval: {1} s' }, ellipse: {x:0.85, y:0.85, a:0.1, b:0.04, rotate: 45, colour: #000000ff, draw_axes: "
          L"true}, "
          L"xdata: '$PX' [0:1:2147483647], ydata: '$PY' [0:1:2147483647], colour: #1f3fbfff}, "
          L"graticule: { colour:#c8c8c8ff, style: 'dashed' }, xlabel: 'RR Interval (s)', ylabel: 'Next RR Interval "
          L"(s)', ";
}

void AddSources(PlotWindow& window, Kind kind, const std::vector<float>& rr)
{
    if (kind == kTachogram) {
        window.AddSource(L"$RR", rr);
        return;
    }
    window.AddSource(L"$PX", std::vector<float>(rr.begin(), rr.end() - 1));
    window.AddSource(L"$PY", std::vector<float>(rr.begin() + 1, rr.end()));
}

// The values the page holds once painted must be all of them.
bool AllValues(const nlohmann::json& painted, std::int64_t expected)
{
    for (const auto& p : painted["plotters"])
        if ((p[0] == "timeplot" || p[0] == "scatter") && p[1].get<std::int64_t>() < expected)
            return false;
    return true;
}

void FirstPaint(benchmark::State& state, Kind kind, bool refresh)
{
    if (!gReady) {
        state.SkipWithError(("no web view here: " + gWhy).c_str());
        return;
    }
    const std::int64_t n = state.range(0);
    const std::vector<float> rr = DayOfIntervals(n);
    const std::int64_t shown = kind == kTachogram ? n : n - 1;
    std::unique_ptr<PlotWindow> kept;
    std::map<std::string, double> steps;
    for (auto _ : state) {
        std::unique_ptr<PlotWindow> window = std::move(kept);
        const bool fresh = !window;
        if (fresh) {
            window = std::make_unique<PlotWindow>(L"first paint", 20, 20, 1000, 600);
            AddSources(*window, kind, rr);
        }
        if (!window->Ok()) {
            state.SkipWithError("no plot control");
            return;
        }
        if (refresh && fresh) {
            // The first markup of the control: its page loaded and painted once before timing.
            if (!window->SetMarkupAndWatch(Markup(kind)) || !window->WaitForReport("painted", kTimeoutMs)) {
                state.SkipWithError("the plot did not paint");
                return;
            }
        }
        const std::size_t before = window->Reports().size();
        const auto start = Clock::now();
        if (!window->SetMarkupAndWatch(Markup(kind))) {
            state.SkipWithError("the markup was not handed over");
            return;
        }
        std::optional<nlohmann::json> painted;
        vx::ui::RunGtkUntil(
            [&] {
                for (std::size_t i = before; i < window->Reports().size(); ++i)
                    if (window->Reports()[i].value("kind", "") == "painted") {
                        painted = window->Reports()[i];
                        return true;
                    }
                return false;
            },
            kTimeoutMs);
        const double seconds = std::chrono::duration<double>(Clock::now() - start).count();
        if (!painted || !AllValues(*painted, shown) || !window->ScriptErrors().empty()) {
            state.SkipWithError(
                painted ? ("not all values drawn: " + painted->dump()).c_str() : "the plot did not paint");
            return;
        }
        state.SetIterationTime(seconds);
        // Where the time went, in the page, from the markup's arrival there.
        for (const char* step : { "setup", "data", "painted" })
            steps[std::string(step) + "_ms"] += (*painted)["times"][step].get<double>();
        if (refresh)
            kept = std::move(window);
    }
    state.counters["values"] = double(shown);
    for (const auto& [name, sum] : steps)
        state.counters[name] = benchmark::Counter(sum, benchmark::Counter::kAvgIterations);
}

void Register()
{
    struct Entry {
        const char* name;
        Kind kind;
        bool refresh;
    };
    for (const Entry& e : { Entry { "tachogram/open", kTachogram, false }, Entry { "poincare/open", kPoincare, false },
             Entry { "tachogram/refresh", kTachogram, true }, Entry { "poincare/refresh", kPoincare, true } })
        benchmark::RegisterBenchmark(e.name, [e](benchmark::State& s) { FirstPaint(s, e.kind, e.refresh); })
            ->Arg(110000)
            ->Arg(1000000)
            ->UseManualTime()
            ->Unit(benchmark::kMillisecond)
            ->Iterations(3);
}

} // namespace

int main(int argc, char** argv)
{
    benchmark::Initialize(&argc, argv);
    TemporaryHome home("vx_plot_bench_");
    home.Apply();
    VirtualDisplay display;
    gReady = StartWebViewsOnDisplay(display, gWhy);
    RegisterHostFramework();
    std::cout << "cores: " << std::thread::hardware_concurrency() << "\n";
    Register();
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    RevokeHostFramework();
    std::fflush(stdout);
    display.Stop();
    home.Remove();
    std::_Exit(0);
}
