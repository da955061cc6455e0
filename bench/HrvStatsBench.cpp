// Statistics and the default 500-point Lomb-Scargle spectrum of a 24-hour beat series: the
// beats of PhysioNet nsr2db record nsr001 (about 106,000 intervals), read from the shared data
// folder next to the repository (or VX_SHARED_DATA).
//
// The spectrum benchmark also reports how far the grid evaluation strays from the classic Lomb
// formula evaluated in long double at every 23rd frequency (counter max_rel_dev_classic), and, when
// HRVSTATS_NSR001_SPECTRUM names the reference file of tools/hrv_oracle.py, from scipy's
// periodogram (counter max_rel_dev_scipy).

#include "hrv/core/Settings.h"
#include "hrv/stats/BandPowers.h"
#include "hrv/stats/IntervalStats.h"
#include "hrv/stats/LombScargle.h"
#include "hrv/stats/SegmentStats.h"

#include <benchmark/benchmark.h>

#include <cmath>
#include <cstdint>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <numbers>
#include <stdexcept>
#include <string>
#include <vector>

namespace {

struct Series {
    std::vector<double> rr, deltaRR, rate, times;
    double endTime = 0.0;
};

std::filesystem::path SharedData()
{
    if (const char* env = std::getenv("VX_SHARED_DATA"))
        return env;
    const std::filesystem::path src(VX_SOURCE_DIR);
    for (const auto& candidate : { src / ".." / "shared" / "data", src / ".." / ".." / "shared" / "data" })
        if (std::filesystem::exists(candidate))
            return candidate;
    throw std::runtime_error("shared data folder not found; set VX_SHARED_DATA");
}

// Sample numbers of the beat annotations of an MIT-format annotation file.
std::vector<int64_t> ReadBeats(const std::filesystem::path& path)
{
    std::ifstream in(path, std::ios::binary);
    const std::vector<unsigned char> d((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    auto word = [&](std::size_t i) { return static_cast<unsigned>(d[i] | (d[i + 1] << 8)); };
    auto isBeat = [](unsigned code) {
        return (code >= 1 && code <= 13) || code == 25 || code == 30 || code == 34 || code == 35 || code == 37
            || code == 38 || code == 41;
    };
    std::vector<int64_t> beats;
    int64_t t = 0;
    for (std::size_t i = 0; i + 1 < d.size();) {
        const unsigned w = word(i);
        i += 2;
        const unsigned code = w >> 10;
        const unsigned inc = w & 0x3FF;
        if (code == 0 && inc == 0)
            break;
        if (code == 59) { // SKIP: 32-bit interval, high word first
            if (i + 3 >= d.size())
                break;
            t += static_cast<int32_t>((word(i) << 16) | word(i + 2));
            i += 4;
        } else if (code == 63) { // AUX: inc bytes, padded to even
            i += inc + (inc & 1);
        } else if (code < 60) {
            t += inc;
            if (isBeat(code))
                beats.push_back(t);
        }
    }
    return beats;
}

const Series& Nsr001()
{
    static const Series series = [] {
        const double fs = 128.0;
        const auto path = SharedData() / "ecg" / "nsr2db" / "nsr001.ecg";
        const auto beats = ReadBeats(path);
        if (beats.size() < 3)
            throw std::runtime_error(
                path.string() + " not found: the shared data folder is absent (set VX_SHARED_DATA)");
        Series s;
        for (std::size_t k = 2; k < beats.size(); ++k) {
            const double rr = static_cast<double>(beats[k] - beats[k - 1]) / fs;
            s.rr.push_back(rr);
            s.deltaRR.push_back(rr - static_cast<double>(beats[k - 1] - beats[k - 2]) / fs);
            s.rate.push_back(1.0 / rr);
            s.times.push_back(static_cast<double>(beats[k]) / fs);
        }
        s.endTime = s.times.empty() ? 0.0 : s.times.back();
        return s;
    }();
    return series;
}

// The classic Lomb formula (sums of cos and sin of omega t per frequency, the tau shift from
// atan2), in long double, over the same detrended and windowed values: the reference the grid
// evaluation is held to (1e-9 relative).
double ClassicPower(const Series& s, double omega)
{
    const std::size_t n = s.rr.size();
    double slope = 0, intercept = 0;
    HRV::LinearRegression(s.times.data(), s.rr.data(), n, &slope, &intercept);
    std::vector<double> w(n);
    HRV::ApplyDataWindow(HRV::kWindowHann, s.times.data(), w.data(), n);
    long double yc = 0, ys = 0, cc = 0, ss = 0, cs = 0;
    for (std::size_t i = 0; i < n; ++i) {
        const long double y = static_cast<long double>(w[i]) * (s.rr[i] - (slope * s.times[i] + intercept));
        const long double phase = static_cast<long double>(omega) * s.times[i];
        const long double c = std::cos(phase), sn = std::sin(phase);
        yc += y * c;
        ys += y * sn;
        cc += c * c;
        ss += sn * sn;
        cs += c * sn;
    }
    const long double tau = 0.5L * std::atan2(2.0L * cs, cc - ss);
    const long double c = std::cos(tau), sn = std::sin(tau);
    const long double bigC = c * yc + sn * ys, bigS = c * ys - sn * yc;
    const long double ccTau = c * c * cc + 2.0L * c * sn * cs + sn * sn * ss;
    const long double ssTau = c * c * ss - 2.0L * c * sn * cs + sn * sn * cc;
    return static_cast<double>((bigC * bigC / ccTau + bigS * bigS / ssTau) / static_cast<long double>(n));
}

double MaxDeviationFromClassic(const HRV::Spectrum& spectrum, const Series& s)
{
    double worst = 0.0;
    for (std::size_t k = 0; k < spectrum.mPower.size(); k += 23) {
        const double omega = 2.0 * std::numbers::pi * spectrum.mFrequencyStep * static_cast<double>(k + 1);
        const double exact = ClassicPower(s, omega);
        worst = std::max(worst, std::fabs(spectrum.mPower[k] - exact) / exact);
    }
    return worst;
}

double MaxDeviationFromScipy(const HRV::Spectrum& spectrum)
{
    const char* path = std::getenv("HRVSTATS_NSR001_SPECTRUM");
    if (path == nullptr)
        return -1.0;
    std::ifstream in(path);
    double worst = 0.0;
    double v = 0.0;
    for (std::size_t k = 0; k < spectrum.mPower.size() && (in >> v); ++k)
        worst = std::max(worst, std::fabs(spectrum.mPower[k] - v) / v);
    return worst;
}

// Skips a benchmark with a message when the shared data folder is absent.
const Series* Nsr001OrSkip(benchmark::State& state)
{
    try {
        return &Nsr001();
    } catch (const std::exception& e) {
        state.SkipWithError(e.what());
        return nullptr;
    }
}

void BM_Spectrum24h(benchmark::State& state)
{
    const Series* series = Nsr001OrSkip(state);
    if (!series)
        return;
    const Series& s = *series;
    const HRV::AnalysisParameters settings = HRV::DefaultAnalysisParameters();
    HRV::Spectrum spectrum;
    for (auto _ : state) {
        HRV::ComputeSpectrum(spectrum, 3, s.rr, s.times, settings);
        // ClobberMemory rather than DoNotOptimize on the double result: with g++ 12 and
        // benchmark 1.7.1 the latter left garbage in mTotalPower.
        benchmark::ClobberMemory();
    }
    state.counters["intervals"] = static_cast<double>(s.rr.size());
    state.counters["max_rel_dev_classic"] = MaxDeviationFromClassic(spectrum, s);
    state.counters["max_rel_dev_scipy"] = MaxDeviationFromScipy(spectrum);
    state.counters["total_ms2"] = spectrum.mTotalPower * 1e6;
}
BENCHMARK(BM_Spectrum24h)->Unit(benchmark::kMillisecond);

void BM_Statistics24h(benchmark::State& state)
{
    const Series* series = Nsr001OrSkip(state);
    if (!series)
        return;
    const Series& s = *series;
    const HRV::AnalysisParameters settings = HRV::DefaultAnalysisParameters();
    HRV::IntervalStats stats;
    HRV::SegmentStats segments;
    for (auto _ : state) {
        stats.Compute(0xFFFFFFFF, s.rr, s.deltaRR, s.rate, settings);
        segments.Compute(0xFFFFFFFF, s.rr, s.times, 0.0, s.endTime, settings);
        benchmark::ClobberMemory();
    }
    state.counters["intervals"] = static_cast<double>(s.rr.size());
    state.counters["SDRR_ms"] = stats.SDRR() * 1e3;
}
BENCHMARK(BM_Statistics24h)->Unit(benchmark::kMillisecond);

} // namespace

BENCHMARK_MAIN();
