#pragma once
// A synthetic ECG for speed measurements: beats built from Gaussian P, Q, R, S and T waves
// (after McSharry P.E. et al., A dynamical model for generating synthetic electrocardiogram
// signals, IEEE Trans. Biomed. Eng. 50(3):289-294, 2003), with respiratory and slow RR
// variability, amplitude modulation, baseline wander and noise, as 16-bit ADC samples
// (200 units per mV).
#include <cmath>
#include <cstdint>
#include <numbers>
#include <random>
#include <vector>

namespace vx::bench {

struct SyntheticEcg {
    std::vector<int16_t> samples;
    std::vector<int64_t> beats; // R-peak positions
};

inline SyntheticEcg MakeSyntheticEcg(int64_t count, double rate, uint32_t seed = 1)
{
    SyntheticEcg ecg;
    ecg.samples.assign(static_cast<std::size_t>(count), 0);
    std::mt19937 rng(seed);
    std::normal_distribution<double> noise(0.0, 0.02);
    struct Wave {
        double at, width, mv;
    };
    const Wave waves[] = { { -0.20, 0.025, 0.15 }, { -0.03, 0.010, -0.12 }, { 0.0, 0.012, 1.2 }, { 0.03, 0.010, -0.25 },
        { 0.28, 0.045, 0.30 } };
    // Beat template, -0.35 s .. +0.5 s around the R peak.
    const auto before = static_cast<int64_t>(0.35 * rate), after = static_cast<int64_t>(0.5 * rate);
    std::vector<double> shape(static_cast<std::size_t>(before + after));
    for (int64_t i = 0; i < before + after; ++i) {
        const double t = static_cast<double>(i - before) / rate;
        double v = 0;
        for (const Wave& w : waves)
            v += w.mv * std::exp(-0.5 * (t - w.at) * (t - w.at) / (w.width * w.width));
        shape[static_cast<std::size_t>(i)] = v;
    }
    std::vector<double> gains;
    double t = 0.5;
    std::uniform_real_distribution<double> jitter(-0.03, 0.03);
    while (true) {
        const auto r = static_cast<int64_t>(t * rate);
        if (r + after >= count)
            break;
        ecg.beats.push_back(r);
        gains.push_back(1.0 + 0.15 * std::sin(2 * std::numbers::pi * t / 4.0));
        t += 0.85 + 0.05 * std::sin(2 * std::numbers::pi * t / 4.0) + 0.08 * std::sin(2 * std::numbers::pi * t / 300.0)
            + jitter(rng);
    }
    // Sample by sample, adding the (at most two) beats whose template covers the sample.
    std::size_t first = 0;
    for (int64_t i = 0; i < count; ++i) {
        while (first < ecg.beats.size() && ecg.beats[first] + after <= i)
            ++first;
        double v = 0.2 * std::sin(2 * std::numbers::pi * 0.15 * static_cast<double>(i) / rate) + noise(rng);
        for (std::size_t b = first; b < ecg.beats.size() && ecg.beats[b] - before <= i; ++b)
            v += gains[b] * shape[static_cast<std::size_t>(i - ecg.beats[b] + before)];
        ecg.samples[static_cast<std::size_t>(i)] = static_cast<int16_t>(std::lround(v * 200.0));
    }
    return ecg;
}

} // namespace vx::bench
