// Speed and memory of the beat detector's default formula chain (lowpass, differentiate,
// quadrature transform, envelope, normalizeSec, cmpeakdet) over a 24-hour single-channel
// recording at 1 kHz (synthetic ECG, 86.4 million 16-bit samples held once as the importer
// holds them).
//
// Reported counters: input samples per second (one core), the peak resident memory the chain
// adds beyond the raw samples, and how many of the synthetic beats were detected within 150 ms.
#include "bench/ChainFormulas.h"
#include "bench/SyntheticEcg.h"
#include "host/calc/Engine.h"
#include "integration/ExtensionChain.h"

#include <benchmark/benchmark.h>

#include <fstream>
#include <memory>
#include <string>

namespace {

constexpr double kRate = 1000.0;
constexpr int64_t kSamples = 24LL * 3600 * 1000;

class RawRecording final : public vx::calc::IRecording {
public:
    explicit RawRecording(const std::vector<int16_t>& samples)
        : mSamples(samples)
    {
    }
    int RecordCount() const override { return 1; }
    int ChannelCount() const override { return 1; }
    vx::calc::TimeBase ChannelInfo(int, int) const override
    {
        return { static_cast<int64_t>(mSamples.size()), 1.0 / kRate };
    }
    vx::calc::TimeBase RecordInfo(int) const override { return ChannelInfo(0, 0); }
    void ReadChannel(int, int, int64_t start, std::span<float> out, bool raw) override
    {
        const float scale = raw ? 1.0f : 1.0f / 200.0f;
        for (std::size_t i = 0; i < out.size(); ++i)
            out[i] = static_cast<float>(mSamples[static_cast<std::size_t>(start) + i]) * scale;
    }

private:
    const std::vector<int16_t>& mSamples;
};

// Peak resident memory (kB) since the last reset.
long PeakRssKb()
{
    std::ifstream status("/proc/self/status");
    std::string line;
    while (std::getline(status, line))
        if (line.rfind("VmHWM:", 0) == 0)
            return std::stol(line.substr(6));
    return -1;
}

long CurrentRssKb()
{
    std::ifstream status("/proc/self/status");
    std::string line;
    while (std::getline(status, line))
        if (line.rfind("VmRSS:", 0) == 0)
            return std::stol(line.substr(6));
    return -1;
}

void ResetPeakRss()
{
    std::ofstream("/proc/self/clear_refs") << "5";
}

const vx::bench::SyntheticEcg& Data()
{
    static const vx::bench::SyntheticEcg ecg = vx::bench::MakeSyntheticEcg(kSamples, kRate);
    return ecg;
}

void BM_DefaultChain24h(benchmark::State& state)
{
    const auto& ecg = Data();
    std::size_t found = 0;
    long before = 0, peak = 0;
    for (auto _ : state) {
        state.PauseTiming();
        ResetPeakRss();
        before = CurrentRssKb();
        auto engine = std::make_unique<vx::calc::Engine>(std::make_shared<RawRecording>(ecg.samples));
        vx::bench::InstallDefaultChain(*engine, kRate);
        vx::calc::Compiled det = engine->Channel(L"HRV_vDET");
        state.ResumeTiming();
        vx::calc::EventBuffer events;
        std::vector<int64_t> peaks;
        const int64_t chunk = 1 << 20;
        for (int64_t s = 0; s < kSamples; s += chunk) {
            events.Clear();
            det.events->Read(0, s, std::min(kSamples, s + chunk), events);
            for (std::size_t i = 0; i < events.Count(); ++i)
                peaks.push_back(events.Position(i));
        }
        state.PauseTiming();
        peak = PeakRssKb();
        found = 0;
        std::size_t j = 0;
        for (int64_t b : ecg.beats) {
            while (j < peaks.size() && peaks[j] < b - 150)
                ++j;
            found += j < peaks.size() && peaks[j] <= b + 150;
        }
        state.counters["detections"] = static_cast<double>(peaks.size());
        state.ResumeTiming();
    }
    state.counters["samples_per_s"] = benchmark::Counter(
        static_cast<double>(kSamples) * static_cast<double>(state.iterations()), benchmark::Counter::kIsRate);
    state.counters["peak_MB_beyond_raw"] = static_cast<double>(peak - before) / 1024.0;
    state.counters["beats"] = static_cast<double>(ecg.beats.size());
    state.counters["beats_found_pct"] = 100.0 * static_cast<double>(found) / static_cast<double>(ecg.beats.size());
}
BENCHMARK(BM_DefaultChain24h)->Unit(benchmark::kSecond)->Iterations(3)->UseRealTime();

// The whole chain as the extension writes it, through its fiducial stage: the host evaluates
// "fiducial(...)" by calling the extension's enumerator, which measures and classifies each beat.
void BM_ExtensionChain24h(benchmark::State& state)
{
    const auto& ecg = Data();
    std::size_t found = 0, beats = 0;
    long before = 0, peak = 0;
    for (auto _ : state) {
        state.PauseTiming();
        ResetPeakRss();
        before = CurrentRssKb();
        auto recording = std::make_shared<RawRecording>(ecg.samples);
        auto engine = std::make_unique<vx::calc::Engine>(recording);
        vx::integration::InstallExtensionEnumerators(*engine);
        vx::integration::EngineDetectorHost host(*engine, recording);
        HRV::HRVDetector detector(&host);
        HRV::DetectorSettings settings = HRV::DefaultDetectorSettings();
        settings.mRangeStart = { 0, 0 };
        settings.mRangeEnd = { 0, 0x7FFFFFFF };
        detector.Update(0xFFFFFFFF, &settings);
        state.ResumeTiming();
        const auto events = vx::integration::ReadBeats(*engine, L"HRV_vFID", 0, 0, kSamples);
        state.PauseTiming();
        peak = PeakRssKb();
        beats = events.size();
        found = 0;
        std::size_t j = 0;
        for (int64_t b : ecg.beats) {
            while (j < events.size() && events[j].mPosition < b - 150)
                ++j;
            found += j < events.size() && events[j].mPosition <= b + 150;
        }
        state.ResumeTiming();
    }
    state.counters["samples_per_s"] = benchmark::Counter(
        static_cast<double>(kSamples) * static_cast<double>(state.iterations()), benchmark::Counter::kIsRate);
    state.counters["peak_MB_beyond_raw"] = static_cast<double>(peak - before) / 1024.0;
    state.counters["beat_events"] = static_cast<double>(beats);
    state.counters["beats_found_pct"] = 100.0 * static_cast<double>(found) / static_cast<double>(ecg.beats.size());
}
BENCHMARK(BM_ExtensionChain24h)->Unit(benchmark::kSecond)->Iterations(1)->UseRealTime();

} // namespace

BENCHMARK_MAIN();
