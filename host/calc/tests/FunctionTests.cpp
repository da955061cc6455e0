#include "host/calc/CalcError.h"
#include "host/calc/Engine.h"
#include "host/calc/tests/TestRecording.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <limits>
#include <numbers>

using namespace vx::calc;
using namespace vx::calc::test;

namespace {

constexpr double kPi = std::numbers::pi;

// Amplitude and phase (radians) of the f Hz component of y[a, b), by projection on sin and cos.
std::pair<double, double> Component(const std::vector<float>& y, double rate, double f, std::size_t a, std::size_t b)
{
    double s = 0, c = 0;
    for (std::size_t i = a; i < b; ++i) {
        const double t = 2 * kPi * f * static_cast<double>(i) / rate;
        s += y[i] * std::sin(t);
        c += y[i] * std::cos(t);
    }
    const double n = static_cast<double>(b - a);
    return { 2 * std::hypot(s, c) / n, std::atan2(c, s) };
}

// The detector's default chain with a quadrature kernel of the given length.
void InstallChain(Engine& e, int hilbertPoints)
{
    e.SetFormula(L"HRV_vLPF", L"lowpass(Ch1,30)");
    e.SetFormula(L"HRV_vDIF", L"differentiate(HRV_vLPF,3)");
    e.SetFormula(L"HRV_vHLB", L"resample(HRV_vDIF,1,1,1," + std::to_wstring(hilbertPoints) + L",0,2)");
    e.SetFormula(L"HRV_vENV", L"HRV_vDIF * HRV_vDIF + HRV_vHLB * HRV_vHLB");
    e.SetFormula(L"HRV_vNRM", L"normalizeSec(HRV_vENV,5,2.5,0)");
    e.SetFormula(L"HRV_vDET", L"cmpeakdet(HRV_vNRM,3,0.3,30)");
}

std::vector<float> Evaluate(std::vector<float> input, double rate, const std::wstring& formula)
{
    Engine engine(OneChannel(std::move(input), rate));
    engine.SetFormula(L"Y", formula);
    return ReadAll(engine, L"Y");
}

// Zero phase and the designed magnitude: a sine keeps its amplitude and phase in the passband, is
// at -3 dB at the cut-off and gone in the stopband, at two sample rates.
TEST(LowPass, MagnitudeAndZeroPhase)
{
    const struct {
        double rate, f, gain, tolerance;
    } cases[] = {
        { 1000, 5, 1.0, 0.005 },
        { 1000, 30, std::sqrt(0.5), 0.01 },
        { 1000, 120, 0.0, 0.002 },
        { 360, 5, 1.0, 0.005 },
        { 360, 30, std::sqrt(0.5), 0.01 },
        { 360, 100, 0.0, 0.005 },
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(std::to_string(c.rate) + " Hz rate, " + std::to_string(c.f) + " Hz");
        const int64_t n = static_cast<int64_t>(20 * c.rate);
        auto y = Evaluate(
            Generate(n, c.rate, [&](double t) { return std::sin(2 * kPi * c.f * t); }), c.rate, L"lowpass(Ch1,30)");
        const std::size_t edge = static_cast<std::size_t>(2 * c.rate);
        auto [gain, phase] = Component(y, c.rate, c.f, edge, y.size() - edge);
        EXPECT_NEAR(gain, c.gain, c.tolerance);
        if (c.gain > 0.5) {
            EXPECT_NEAR(phase, 0.0, 0.002);
        }
    }
}

// A QRS-like pulse keeps its peak position.
TEST(LowPass, PeakStaysInPlace)
{
    auto y = Evaluate(Generate(4000, 1000, [](double t) { return std::exp(-0.5 * std::pow((t - 2.0) / 0.015, 2)); }),
        1000, L"lowpass(Ch1,30)");
    EXPECT_EQ(std::max_element(y.begin(), y.end()) - y.begin(), 2000);
}

TEST(Differentiate, SlopeOfRampsAndParabolas)
{
    const double rate = 500;
    auto ramp = Generate(2000, rate, [](double t) { return 3 * t + 1; });
    for (const wchar_t* formula : { L"differentiate(Ch1,3)", L"differentiate(Ch1,7)" }) {
        auto d = Evaluate(ramp, rate, formula);
        for (std::size_t i = 10; i < d.size() - 10; i += 97)
            EXPECT_NEAR(d[i], 3.0, 1e-3) << i;
    }
    // A least-squares slope over symmetric points is exact for a parabola at the centre.
    auto parabola = Evaluate(Generate(2000, rate, [](double t) { return t * t; }), rate, L"differentiate(Ch1,5)");
    for (std::size_t i = 10; i < parabola.size() - 10; i += 101)
        EXPECT_NEAR(parabola[i], 2.0 * static_cast<double>(i) / rate, 1e-3) << i;
}

// Oracle: the Hilbert transform of sin is -cos and of cos is sin (Oppenheim and Schafer).
TEST(Hilbert, QuadratureOfSineAndCosine)
{
    const double rate = 1000, f = 20;
    auto hs = Evaluate(Generate(6000, rate, [&](double t) { return std::sin(2 * kPi * f * t); }), rate,
        L"resample(Ch1,1,1,1,160,0,2)");
    auto hc = Evaluate(Generate(6000, rate, [&](double t) { return std::cos(2 * kPi * f * t); }), rate,
        L"resample(Ch1,1,1,1,160,0,2)");
    for (std::size_t i = 200; i < 5800; i += 7) {
        const double t = 2 * kPi * f * static_cast<double>(i) / rate;
        ASSERT_NEAR(hs[i], -std::cos(t), 0.02) << i;
        ASSERT_NEAR(hc[i], std::sin(t), 0.02) << i;
    }
}

// The envelope of the chain's stages 2-4 is flat for a sine: sin^2 + cos^2.
TEST(Hilbert, EnvelopeOfASineIsFlat)
{
    Engine engine(OneChannel(Generate(6000, 1000, [](double t) { return 2 * std::sin(2 * kPi * 25 * t); }), 1000));
    engine.SetFormula(L"H", L"resample(Ch1,1,1,1,160,0,2)");
    engine.SetFormula(L"E", L"Ch1*Ch1 + H*H");
    auto e = ReadAll(engine, L"E");
    for (std::size_t i = 200; i < 5800; i += 11)
        ASSERT_NEAR(e[i], 4.0, 0.1) << i;
}

// An energy-like signal: noise with sparse strong bursts.
std::vector<float> Bursts(double gainAfterHalf)
{
    std::mt19937 rng(3);
    std::normal_distribution<double> noise(0, 1);
    std::vector<float> x(60000);
    for (std::size_t i = 0; i < x.size(); ++i) {
        double v = noise(rng);
        if (i % 800 < 40)
            v += 30 * std::sin(kPi * static_cast<double>(i % 800) / 40.0);
        if (i >= x.size() / 2)
            v *= gainAfterHalf;
        x[i] = static_cast<float>(v * v);
    }
    return x;
}

TEST(NormalizeSec, GainDoesNotMatter)
{
    auto a = Evaluate(Bursts(1.0), 1000, L"normalizeSec(Ch1,5,2.5,0)");
    auto scaled = Bursts(1.0);
    for (float& v : scaled)
        v *= 1000.0f;
    auto b = Evaluate(scaled, 1000, L"normalizeSec(Ch1,5,2.5,0)");
    for (std::size_t i = 0; i < a.size(); i += 13)
        ASSERT_NEAR(a[i], b[i], 1e-3 * (1 + std::abs(a[i]))) << i;
    // Signed input: any positive gain and offset give the same standard scores.
    auto sine
        = Generate(20000, 1000, [](double t) { return std::sin(2 * kPi * 3 * t) + 0.1 * std::sin(2 * kPi * 41 * t); });
    auto shifted = sine;
    for (float& v : shifted)
        v = 50 * v + 3;
    auto c = Evaluate(sine, 1000, L"normalizeSec(Ch1,2,1,0)");
    auto d = Evaluate(shifted, 1000, L"normalizeSec(Ch1,2,1,0)");
    for (std::size_t i = 0; i < c.size(); i += 7)
        ASSERT_NEAR(c[i], d[i], 1e-3) << i;
}

// Bursts stand far above 3 SD and the quiet stretches below it, also after a 100-fold gain step
// halfway (the level follows within one window).
TEST(NormalizeSec, BurstsStandOutAcrossAGainStep)
{
    auto z = Evaluate(Bursts(100.0), 1000, L"normalizeSec(Ch1,5,2.5,0)");
    std::size_t quietAbove = 0, quiet = 0;
    for (std::size_t i = 0; i < z.size(); ++i) {
        const bool nearStep = i > 24000 && i < 36000;
        if (nearStep)
            continue;
        if (i % 800 == 20) {
            ASSERT_GT(z[i], 10.0f) << i;
        }
        if (i % 800 > 100) {
            ++quiet;
            quietAbove += z[i] > 3.0f;
        }
    }
    // The scale comes from the quiet 90 % of each window, so Gaussian noise alone exceeds 3 such
    // SD in about 3 % of its samples (the tail of a half-normal amplitude beyond its trimmed mean
    // plus three trimmed SD); bursts exceed 10.
    EXPECT_LT(quietAbove, quiet / 20);
}

TEST(NormalizeSec, NoiseFloorAndFlatInput)
{
    auto floored = Evaluate(Bursts(1.0), 1000, L"normalizeSec(Ch1,5,2.5,1e6)");
    for (float v : floored)
        ASSERT_LT(std::abs(v), 1e-3f);
    auto flat = Evaluate(std::vector<float>(10000, 2.0f), 1000, L"normalizeSec(Ch1,5,2.5,0)");
    for (float v : flat)
        ASSERT_EQ(v, 0.0f);
}

// A spike train exercising each rule of cmpeakdet: height, minimum period (the larger peak
// wins), and the T-wave percentage.
TEST(PeakDetector, SpikeTrain)
{
    const struct {
        int at;
        float height;
    } spikes[] = { { 1000, 10 }, { 2000, 10 }, { 2100, 12 }, { 3000, 2 }, { 4000, 10 }, { 5000, 10 }, { 5400, 4 },
        { 7000, 20 }, { 7400, 4 }, { 7750, 4 } };
    std::vector<float> x(10000, 0.0f);
    for (const auto& s : spikes)
        for (int k = -5; k <= 5; ++k)
            x[static_cast<std::size_t>(s.at + k)] = s.height * (1.0f - std::abs(k) / 6.0f);
    const struct {
        const wchar_t* formula;
        std::vector<int32_t> expected;
    } cases[] = {
        { L"cmpeakdet(Ch1,3,0.3,30)", { 1000, 2100, 4000, 5000, 5400, 7000, 7750 } },
        { L"cmpeakdet(Ch1,3,0.3,0)", { 1000, 2100, 4000, 5000, 5400, 7000, 7400, 7750 } },
        { L"cmpeakdet(Ch1,3,0.3,50)", { 1000, 2100, 4000, 5000, 7000, 7750 } },
        { L"cmpeakdet(Ch1,1,0.05,0)", { 1000, 2000, 2100, 3000, 4000, 5000, 5400, 7000, 7400, 7750 } },
        { L"cmpeakdet(Ch1,11,0.3,30)", { 2100, 7000 } },
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(std::string(c.formula, c.formula + std::wcslen(c.formula)));
        Engine engine(OneChannel(x, 1000));
        engine.SetFormula(L"P", c.formula);
        EXPECT_EQ(EventPositions(engine, L"P"), c.expected);
    }
    Engine engine(OneChannel(x, 1000));
    engine.SetFormula(L"P", L"cmpeakdet(Ch1,3,0.3,30)");
    EventBuffer events;
    engine.Channel(L"P").events->Read(0, 0, 3000, events);
    ASSERT_EQ(events.Count(), 2u);
    EXPECT_EQ(EventValue(events, 1), 12.0);
}

// Clean beats every 0.8 s with two bursts of beat-sized artefacts: one 230 ms after a beat and
// larger, so that the refractory period hides the beat; one halfway between two beats. Inside the
// bursts the artefact takes the beat's place back and the extra goes; every beat is found, and the
// result is the same when the events are read in pieces across the block boundary. Bigeminy in
// the same kind of noise is no regular rhythm, and its premature beats stay where they are.
TEST(PeakDetector, NoiseRuleKeepsTheRhythmInsideBursts)
{
    auto spike = [](std::vector<float>& x, int at, float height) {
        for (int k = -5; k <= 5; ++k) {
            float& v = x[static_cast<std::size_t>(at + k)];
            v = std::max(v, height * (1.0f - std::abs(k) / 6.0f));
        }
    };
    std::vector<float> x(32000, 0.0f);
    std::vector<int32_t> beats;
    for (int at = 1000; at < 31000; at += 800) {
        spike(x, at, 10);
        beats.push_back(at);
    }
    for (const auto& [at, height] :
        { std::pair { 14030, 14.0f }, { 14180, 6.0f }, { 19000, 9.0f }, { 18850, 6.0f }, { 19150, 6.0f } })
        spike(x, at, height);
    Engine engine(OneChannel(x, 1000));
    engine.SetFormula(L"P", L"cmpeakdet(Ch1,3,0.3,30)");
    const auto whole = EventPositions(engine, L"P");
    EXPECT_EQ(whole, beats);

    Engine pieces(OneChannel(x, 1000));
    pieces.SetFormula(L"P", L"cmpeakdet(Ch1,3,0.3,30)");
    std::vector<int32_t> assembled;
    for (int64_t s : { 19000, 0, 14100, 3000, 16383, 30000, 9000 }) {
        EventBuffer events;
        pieces.Channel(L"P").events->Read(0, s, std::min<int64_t>(s + 2000, 32000), events);
        for (std::size_t i = 0; i < events.Count(); ++i)
            assembled.push_back(events.Position(i));
    }
    std::sort(assembled.begin(), assembled.end());
    std::vector<int32_t> covered;
    for (int32_t b : whole)
        for (int64_t s : { 19000, 0, 14100, 3000, 16383, 30000, 9000 })
            if (b >= s && b < s + 2000) {
                covered.push_back(b);
                break;
            }
    EXPECT_EQ(assembled, covered);

    std::vector<float> bigeminy(40000, 0.0f);
    beats.clear();
    for (int at = 1000; at < 38000; at += 1400) {
        spike(bigeminy, at, 10);
        spike(bigeminy, at + 450, 12); // premature, then the compensatory pause
        spike(bigeminy, at + 700, 6); // noise where an even rhythm would put the beat
        beats.insert(beats.end(), { at, at + 450 });
    }
    Engine ectopy(OneChannel(bigeminy, 1000));
    ectopy.SetFormula(L"P", L"cmpeakdet(Ch1,3,0.3,30)");
    EXPECT_EQ(EventPositions(ectopy, L"P"), beats);
}

TEST(SineWave, FollowsTheRecordTimeBase)
{
    Engine engine(OneChannel(std::vector<float>(5000, 0.0f), 1000));
    engine.SetFormula(L"S", L"sinewave(0.9)");
    auto s = ReadAll(engine, L"S");
    ASSERT_EQ(s.size(), 5000u);
    for (std::size_t i = 0; i < s.size(); i += 37)
        ASSERT_NEAR(s[i], std::sin(2 * kPi * 0.9 * static_cast<double>(i) / 1000.0), 1e-6) << i;
    // The self-test's detection stage finds one peak per cycle at the crests.
    engine.SetFormula(L"P", L"cmpeakdet(S,0.5,0.01,10.0)");
    std::vector<int32_t> expected;
    for (double t = 0.25 / 0.9; t < 5.0; t += 1 / 0.9)
        expected.push_back(static_cast<int32_t>(std::lround(t * 1000)));
    auto peaks = EventPositions(engine, L"P");
    ASSERT_EQ(peaks.size(), expected.size());
    for (std::size_t i = 0; i < peaks.size(); ++i)
        EXPECT_NEAR(peaks[i], expected[i], 1);
}

// Any partition of a record into requests, in any order, gives the samples and events of one
// whole-record request, for every stage of the detector chain.
TEST(Streaming, BlockPartitionAndSeekOrderDoNotMatter)
{
    const double rate = 1000;
    auto ecg = SyntheticEcg(330000, rate, nullptr);
    auto install = [](Engine& e) { InstallChain(e, 160); };
    Engine whole(OneChannel(ecg, rate));
    install(whole);
    std::mt19937 rng(11);
    for (const wchar_t* stage : { L"HRV_vLPF", L"HRV_vDIF", L"HRV_vHLB", L"HRV_vENV", L"HRV_vNRM" }) {
        SCOPED_TRACE(std::string(stage, stage + std::wcslen(stage)));
        const auto reference = ReadAll(whole, stage);
        Engine pieces(OneChannel(ecg, rate));
        install(pieces);
        // Random cut points, visited in random order.
        std::vector<int64_t> cuts = { 0, static_cast<int64_t>(ecg.size()) };
        std::uniform_int_distribution<int64_t> at(1, static_cast<int64_t>(ecg.size()) - 1);
        for (int i = 0; i < 40; ++i)
            cuts.push_back(at(rng));
        std::sort(cuts.begin(), cuts.end());
        std::vector<std::size_t> order(cuts.size() - 1);
        std::iota(order.begin(), order.end(), 0);
        std::shuffle(order.begin(), order.end(), rng);
        std::vector<float> assembled(ecg.size());
        Compiled c = pieces.Channel(stage);
        for (std::size_t k : order)
            c.samples->Read(0, cuts[k],
                std::span<float>(assembled).subspan(
                    static_cast<std::size_t>(cuts[k]), static_cast<std::size_t>(cuts[k + 1] - cuts[k])));
        ASSERT_TRUE(assembled == reference);
    }
    const auto reference = EventPositions(whole, L"HRV_vDET");
    EXPECT_GT(reference.size(), 300u);
    Engine pieces(OneChannel(ecg, rate));
    install(pieces);
    Compiled det = pieces.Channel(L"HRV_vDET");
    std::vector<int32_t> assembled;
    for (int64_t s : { 250000, 7000, 64000, 130000, 0, 190000, 65536, 300000 }) {
        const int64_t e = std::min<int64_t>(s + 60000, static_cast<int64_t>(ecg.size()));
        EventBuffer events;
        det.events->Read(0, s, e, events);
        for (std::size_t i = 0; i < events.Count(); ++i)
            assembled.push_back(events.Position(i));
    }
    std::sort(assembled.begin(), assembled.end());
    assembled.erase(std::unique(assembled.begin(), assembled.end()), assembled.end());
    std::vector<int32_t> covered;
    for (int32_t p : reference)
        for (int64_t s : { 250000, 7000, 64000, 130000, 0, 190000, 65536, 300000 })
            if (p >= s && p < s + 60000) {
                covered.push_back(p);
                break;
            }
    EXPECT_EQ(assembled, covered);
}

// A stretch deep inside a long record costs a bounded window of input, not a pass from the
// record's start, for every stage of the chain.
TEST(Streaming, SeekingReadsABoundedWindow)
{
    auto recording = OneChannel(SyntheticEcg(3000000, 1000, nullptr), 1000);
    Engine engine(recording);
    engine.SetFormula(L"L", L"lowpass(Ch1,30)");
    engine.SetFormula(L"D", L"differentiate(L,3)");
    engine.SetFormula(L"H", L"resample(D,1,1,1,160,0,2)");
    engine.SetFormula(L"N", L"normalizeSec(D*D+H*H,5,2.5,0)");
    engine.SetFormula(L"P", L"cmpeakdet(N,3,0.3,30)");
    std::vector<int64_t> costs;
    for (int64_t at : { 2500000, 1500000, 2000000 }) {
        recording->samplesRead = 0;
        EventBuffer events;
        engine.Channel(L"P").events->Read(0, at, at + 5000, events);
        EXPECT_GE(events.Count(), 4u);
        costs.push_back(recording->samplesRead);
    }
    // Each stage's look-around reaches into the neighbouring block of the stage below, so the
    // input read is a cone of a few blocks, the same wherever the stretch lies.
    EXPECT_LT(costs[0], 16 * BlockSignal::kBlock);
    EXPECT_EQ(costs[1], costs[0]);
    EXPECT_EQ(costs[2], costs[0]);
}

// Non-finite samples are gaps: a NaN, an infinity or a stretch of them costs the beats in the gap
// at most, every stage's output away from the gap stays what it was, and a gap stays a gap.
TEST(Gaps, NonFiniteSamplesLeaveBeatsAwayFromThemUnchanged)
{
    const double rate = 360;
    std::vector<int64_t> beats;
    const auto clean = SyntheticEcg(static_cast<int64_t>(120 * rate), rate, &beats);
    auto install = [](Engine& e) { InstallChain(e, 57); };
    Engine reference(OneChannel(clean, rate));
    install(reference);
    const auto cleanPeaks = EventPositions(reference, L"HRV_vDET");
    ASSERT_GT(cleanPeaks.size(), 100u);

    // Gaps between two beats in the middle of a block of every stage.
    const std::size_t at = static_cast<std::size_t>((beats[80] + beats[81]) / 2);
    const struct {
        const char* what;
        float value;
        std::size_t length;
    } cases[] = {
        { "one NaN", std::numeric_limits<float>::quiet_NaN(), 1 },
        { "one infinity", std::numeric_limits<float>::infinity(), 1 },
        { "minus infinity", -std::numeric_limits<float>::infinity(), 1 },
        { "a 0.1 s stretch of NaN", std::numeric_limits<float>::quiet_NaN(), 36 },
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        auto gapped = clean;
        std::fill_n(gapped.begin() + static_cast<std::ptrdiff_t>(at), c.length, c.value);
        Engine engine(OneChannel(gapped, rate));
        install(engine);
        // Every beat is still found where it was.
        EXPECT_EQ(EventPositions(engine, L"HRV_vDET"), cleanPeaks);
        // Each stage is a gap where its input is, and unchanged a second away from the gap
        // (normalizeSec's windows lose the gap's samples, so its values move slightly there).
        for (const wchar_t* stage : { L"HRV_vLPF", L"HRV_vDIF", L"HRV_vHLB", L"HRV_vNRM" }) {
            SCOPED_TRACE(std::string(stage, stage + std::wcslen(stage)));
            const auto want = ReadAll(reference, stage);
            const auto got = ReadAll(engine, stage);
            ASSERT_EQ(got.size(), want.size());
            EXPECT_TRUE(std::isnan(got[at]));
            const float tolerance = std::wcscmp(stage, L"HRV_vNRM") == 0 ? 0.05f : 1e-4f;
            std::size_t differing = 0;
            for (std::size_t i = 0; i < got.size(); ++i) {
                const std::size_t distance = i < at ? at - i : i - (at + c.length - 1);
                if (i >= at && i < at + c.length)
                    continue;
                const float scale = std::max(1.0f, std::abs(want[i]));
                if (distance > static_cast<std::size_t>(rate) && !(std::abs(got[i] - want[i]) <= tolerance * scale))
                    ++differing;
            }
            EXPECT_EQ(differing, 0u);
        }
    }
}

// Detection on the synthetic ECG: every beat found within 50 ms, nothing else.
TEST(Chain, FindsTheBeatsOfASyntheticEcg)
{
    std::vector<int64_t> beats;
    Engine engine(OneChannel(SyntheticEcg(120000, 500, &beats), 500));
    engine.SetFormula(L"L", L"lowpass(Ch1,30)");
    engine.SetFormula(L"D", L"differentiate(L,3)");
    engine.SetFormula(L"H", L"resample(D,1,1,1,80,0,2)");
    engine.SetFormula(L"P", L"cmpeakdet(normalizeSec(D*D+H*H,5,2.5,0),3,0.3,30)");
    auto peaks = EventPositions(engine, L"P");
    ASSERT_EQ(peaks.size(), beats.size());
    for (std::size_t i = 0; i < beats.size(); ++i)
        EXPECT_NEAR(peaks[i], beats[i], 25) << i;
}

} // namespace
