#include "hrv/stats/tests/TestData.h"

#include "hrv/core/Settings.h"
#include "hrv/stats/BandPowers.h"
#include "hrv/stats/LombScargle.h"

#include <gtest/gtest.h>

#include <cmath>
#include <fstream>
#include <limits>
#include <numbers>
#include <sstream>

using namespace HRV;

namespace {

constexpr double kPi = std::numbers::pi;
constexpr double kNaN = std::numeric_limits<double>::quiet_NaN();

TEST(DataWindowTest, WeightsOfEveryType)
{
    struct Case {
        int type;
        double at0, atQuarter, atHalf, at1;
    };
    const Case cases[] = {
        { kWindowRectangular, 1, 1, 1, 1 },
        { kWindowTriangular, 0, 0.5, 1, 0 },
        { kWindowHamming, 0.08, 0.54, 1, 0.08 },
        { kWindowBlackman, 0, 0.34, 1, 0 },
        { kWindowWelch, 0, 0.75, 1, 0 },
        { kWindowHann, 0, 0.5, 1, 0 },
        { 6, 1, 1, 1, 1 },
        { -1, 1, 1, 1, 1 },
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.type);
        EXPECT_NEAR(DataWindowWeight(c.type, 0.0), c.at0, 1e-15);
        EXPECT_NEAR(DataWindowWeight(c.type, 0.25), c.atQuarter, 1e-15);
        EXPECT_NEAR(DataWindowWeight(c.type, 0.5), c.atHalf, 1e-15);
        EXPECT_NEAR(DataWindowWeight(c.type, 1.0), c.at1, 1e-15);
    }
}

TEST(DataWindowTest, PlacedByTimeAndScaledToUnitMeanSquare)
{
    // Times 0, 1, 3, 4: positions 0, 0.25, 0.75, 1 (by time, not by index).
    const double t[] = { 0, 1, 3, 4 };
    double w[4];
    EXPECT_NEAR(ApplyDataWindow(kWindowHann, t, w, 4), 0.125, 1e-15);
    EXPECT_NEAR(w[0], 0.0, 1e-15);
    EXPECT_NEAR(w[1], std::sqrt(2.0), 1e-14);
    EXPECT_NEAR(w[2], std::sqrt(2.0), 1e-14);
    EXPECT_NEAR(w[3], 0.0, 1e-15);

    // Two samples under a Hann window weigh nothing, and stay zero rather than 0/0.
    EXPECT_EQ(ApplyDataWindow(kWindowHann, t, w, 2), 0.0);
    EXPECT_EQ(w[0], 0.0);
    EXPECT_EQ(w[1], 0.0);

    // No time span: no position to place a sample at, unit weights.
    const double same[] = { 5, 5, 5 };
    EXPECT_EQ(ApplyDataWindow(kWindowHann, same, w, 3), 1.0);
    EXPECT_EQ(w[0], 1.0);
    EXPECT_EQ(w[2], 1.0);

    EXPECT_EQ(ApplyDataWindow(kWindowHann, nullptr, w, 3), 0.0);
    EXPECT_EQ(ApplyDataWindow(kWindowHann, t, w, 0), 0.0);
}

TEST(LinearRegressionTest, FitsWheneverTheTimesSpread)
{
    double slope = 0, intercept = 0;
    const double t[] = { 1, 2, 4, 8 };
    const double x[] = { 3, 5, 9, 17 };
    ASSERT_TRUE(LinearRegression(t, x, 4, &slope, &intercept));
    EXPECT_NEAR(slope, 2.0, 1e-15);
    EXPECT_NEAR(intercept, 1.0, 1e-14);
    EXPECT_TRUE(LinearRegression(t, x, 4, &slope, nullptr));

    // Constant values are fitted too (slope 0), so they are centred.
    const double flat[] = { 0.8, 0.8, 0.8, 0.8 };
    ASSERT_TRUE(LinearRegression(t, flat, 4, &slope, &intercept));
    EXPECT_EQ(slope, 0.0);
    EXPECT_NEAR(intercept, 0.8, 1e-15);

    const double same[] = { 0.1, 0.1, 0.1 };
    EXPECT_FALSE(LinearRegression(same, x, 3, &slope, &intercept)) << "times without spread";
    EXPECT_FALSE(LinearRegression(t, x, 1, &slope, &intercept));
    EXPECT_FALSE(LinearRegression(t, x, 4, nullptr, &intercept));

    // A stretch of beats late in a day: the centred sums keep the slope's digits.
    std::vector<double> lt, lx;
    for (int i = 0; i < 400; ++i) {
        lt.push_back(86000.0 + 0.8 * i);
        lx.push_back(0.8 + 1e-5 * (lt.back() - 86000.0));
    }
    ASSERT_TRUE(LinearRegression(lt.data(), lx.data(), lt.size(), &slope, &intercept));
    EXPECT_NEAR(slope, 1e-5, 1e-5 * 1e-9);
}

// Beat times and RR of a series whose RR is modulated sinusoidally: RR(t) = rr0 + a sin(2 pi f t).
// With `noise` above 0, a uniform pseudo-random variation of that amplitude is added, so that
// every frequency carries power.
HRVTest::RRSeries Modulated(double rr0, double a, double f, double duration, double start = 0.0, double noise = 0.0)
{
    HRVTest::RRSeries s;
    double t = start;
    uint64_t state = 12345;
    while (t < start + duration) {
        state = state * 6364136223846793005ULL + 1442695040888963407ULL;
        const double u = static_cast<double>(state >> 11) / 9007199254740992.0 - 0.5;
        const double rr = rr0 + a * std::sin(2 * kPi * f * t) + noise * u;
        t += rr;
        s.rr.push_back(rr);
        s.times.push_back(t);
    }
    return s;
}

TEST(SpectrumTest, ModulationPowerLandsInItsBand)
{
    struct Case {
        const char* name;
        double f;
        double minutes;
        int band; // 0 VLF, 1 LF, 2 HF
    };
    const Case cases[] = {
        { "VLF 0.02 Hz", 0.02, 5, 0 },
        { "LF 0.1 Hz", 0.1, 5, 1 },
        { "HF 0.25 Hz", 0.25, 5, 2 },
    };
    const double a = 0.05;
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        const HRVTest::RRSeries s = Modulated(0.8, a, c.f, c.minutes * 60);
        for (int window : { kWindowHann, kWindowRectangular, kWindowHamming, kWindowBlackman }) {
            SCOPED_TRACE(window);
            AnalysisParameters p = DefaultAnalysisParameters();
            p.mDataWindow = window;
            Spectrum sp;
            ASSERT_TRUE(ComputeSpectrum(sp, 3, s.rr, s.times, p));
            const double bands[] = { sp.mVLFPower, sp.mLFPower, sp.mHFPower };
            EXPECT_NEAR(bands[c.band], a * a / 2, 0.03 * a * a / 2);
            EXPECT_NEAR(sp.mTotalPower, a * a / 2, 0.03 * a * a / 2);
            for (int b = 0; b < 3; ++b) {
                if (b != c.band) {
                    EXPECT_LT(bands[b], 0.02 * a * a / 2) << "band " << b;
                }
            }
        }
    }
}

std::vector<std::pair<double, double>> ReadScipySpectrum()
{
    std::ifstream in(HRVTest::TestDataPath("mitdb100_lombscargle.txt"));
    std::vector<std::pair<double, double>> rows;
    std::string line;
    while (std::getline(in, line)) {
        if (line.empty() || line[0] == '#')
            continue;
        std::istringstream fields(line);
        double hann = 0, rect = 0;
        fields >> hann >> rect;
        rows.emplace_back(hann, rect);
    }
    return rows;
}

// Independent oracle: the classic periodogram of scipy.signal.lombscargle (scipy 1.10.1, numpy
// 1.24.2, Debian 12) on the RR series of MIT-BIH record 100 after numpy.polyfit detrending and
// the window, made by tools/hrv_oracle.py: our power is 2/n times scipy's (precenter=False,
// normalize=False), which the file holds.
TEST(SpectrumTest, AgreesWithScipyOnMitdb100)
{
    const auto rows = ReadScipySpectrum();
    ASSERT_EQ(rows.size(), 500u);
    const HRVTest::RRSeries s = HRVTest::SeriesFromSamples(HRVTest::ReadBeatSamples("mitdb100_beats.txt"), 360.0);

    struct Case {
        int window;
        double total, vlf, lf, hf;
    };
    const Case cases[] = {
        { kWindowHann, 0.001932534839212457, 0.000377633927923069, 0.00010139522447491895, 0.0012562060320271821 },
        { kWindowRectangular, 0.0018223505967158125, 0.00061727385374104444, 0.00010093598696593355,
            0.00096476479780913636 },
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.window);
        AnalysisParameters p = DefaultAnalysisParameters();
        p.mDataWindow = c.window;
        Spectrum sp;
        ASSERT_TRUE(ComputeSpectrum(sp, 3, s.rr, s.times, p));
        ASSERT_EQ(sp.mPower.size(), 500u);
        EXPECT_EQ(sp.mFirstIndex, 1);
        EXPECT_DOUBLE_EQ(sp.mFrequencyStep, 0.001);
        double worst = 0;
        for (std::size_t k = 0; k < 500; ++k) {
            const double expected = c.window == kWindowHann ? rows[k].first : rows[k].second;
            worst = std::max(worst, std::fabs(sp.mPower[k] - expected) / expected);
        }
        EXPECT_LT(worst, 1e-9);
        EXPECT_NEAR(sp.mTotalPower, c.total, 1e-9 * c.total);
        EXPECT_NEAR(sp.mVLFPower, c.vlf, 1e-9 * c.vlf);
        EXPECT_NEAR(sp.mLFPower, c.lf, 1e-9 * c.lf);
        EXPECT_NEAR(sp.mHFPower, c.hf, 1e-9 * c.hf);
    }
}

// The grid is evaluated by rotating phases; a single frequency is evaluated with exact sin and
// cos. Beat times late in a day make the phases large, where drift would show.
TEST(SpectrumTest, RotatedPhasesMatchExactOnesLateInADay)
{
    const HRVTest::RRSeries s = Modulated(0.8, 0.04, 0.11, 2400, 84000.0, 0.05);
    const std::size_t n = s.rr.size();
    const std::size_t nfreq = 1000;
    std::vector<double> omega(nfreq);
    for (std::size_t k = 0; k < nfreq; ++k)
        omega[k] = 2 * kPi * 0.0005 * static_cast<double>(k + 1);
    std::vector<double> grid(nfreq);
    LombScarglePeriodogram(kWindowHann, s.times.data(), s.rr.data(), omega.data(), grid.data(), n, nfreq);
    double worst = 0;
    for (std::size_t k = 0; k < nfreq; k += 7) {
        double single = 0;
        LombScarglePeriodogram(kWindowHann, s.times.data(), s.rr.data(), &omega[k], &single, n, 1);
        worst = std::max(worst, std::fabs(grid[k] - single) / single);
    }
    EXPECT_LT(worst, 1e-9);

    // Frequencies that are not equally spaced take the plain path and agree as well.
    const double uneven[] = { omega[10], omega[11], omega[500], omega[999] };
    double power[4];
    LombScarglePeriodogram(kWindowHann, s.times.data(), s.rr.data(), uneven, power, n, 4);
    EXPECT_NEAR(power[0], grid[10], 1e-9 * grid[10]);
    EXPECT_NEAR(power[2], grid[500], 1e-9 * grid[500]);
    EXPECT_NEAR(power[3], grid[999], 1e-9 * grid[999]);
}

TEST(SpectrumTest, RegularBeatsGiveNoPower)
{
    // All RR equal: the series is centred, so its spectrum is zero (to rounding), including the
    // Nyquist frequency of the beats (0.5 Hz at 1 s), where the sine sum vanishes.
    HRVTest::RRSeries s;
    for (int i = 1; i <= 600; ++i) {
        s.rr.push_back(1.0);
        s.times.push_back(i);
    }
    for (int window : { kWindowHann, kWindowRectangular }) {
        Spectrum sp;
        AnalysisParameters p = DefaultAnalysisParameters();
        p.mDataWindow = window;
        ASSERT_TRUE(ComputeSpectrum(sp, 3, s.rr, s.times, p));
        for (double v : sp.mPower) {
            EXPECT_TRUE(std::isfinite(v));
            EXPECT_LT(v, 1e-25);
        }
        EXPECT_LT(sp.mTotalPower, 1e-25);
        EXPECT_LT(sp.mHFPower, 1e-25);
    }
}

TEST(SpectrumTest, VanishingSineSumIsLeftOut)
{
    // Regular times with alternating values: at the Nyquist frequency every sine is (nearly) 0,
    // so only the cosine term carries power: (sum y (-1)^i)^2 / n / n with y = +-0.1.
    const std::size_t n = 200;
    std::vector<double> t(n), x(n);
    for (std::size_t i = 0; i < n; ++i) {
        t[i] = static_cast<double>(i);
        x[i] = 1.0 + (i % 2 ? -0.1 : 0.1);
    }
    const double omega[] = { kPi, 0.5 * kPi };
    double power[2];
    LombScarglePeriodogram(kWindowRectangular, t.data(), x.data(), omega, power, n, 2);
    // The detrend takes out a slope of -0.2/(n-1)-ish; compute the cosine term directly.
    double slope = 0, intercept = 0;
    ASSERT_TRUE(LinearRegression(t.data(), x.data(), n, &slope, &intercept));
    double c = 0;
    for (std::size_t i = 0; i < n; ++i)
        c += (x[i] - slope * t[i] - intercept) * (i % 2 ? -1.0 : 1.0);
    EXPECT_NEAR(power[0], c * c / n / n, 1e-12);
    EXPECT_TRUE(std::isfinite(power[1]));
}

TEST(SpectrumTest, GridAndBandEdges)
{
    Spectrum sp;
    EXPECT_FALSE(sp.SetGrid(0.5, 0));
    EXPECT_FALSE(sp.SetGrid(0.5, -3));
    EXPECT_FALSE(sp.SetGrid(0.0, 500));
    EXPECT_FALSE(sp.SetGrid(kNaN, 500));
    EXPECT_TRUE(sp.mPower.empty());
    EXPECT_TRUE(std::isnan(sp.BandPower(0.0, 0.5, 100))) << "no spectrum, no power";

    ASSERT_TRUE(sp.SetGrid(0.5, 500));
    for (std::size_t k = 0; k < 500; ++k)
        sp.mPower[k] = static_cast<double>(k + 1); // power k+1 at (k+1) mHz
    const double T = 1000.0; // df * T = 1
    auto sum = [](int from, int to) { return (from + to) * (to - from + 1) / 2.0; }; // of k+1 over [from-1, to-1]
    // Defaults: VLF indexes 0-39, LF 39-149, HF 149-449; 0.04 and 0.15 Hz are counted twice.
    EXPECT_DOUBLE_EQ(sp.BandPower(0.0, 0.04, T), sum(1, 40));
    EXPECT_DOUBLE_EQ(sp.BandPower(0.04, 0.15, T), sum(40, 150));
    EXPECT_DOUBLE_EQ(sp.BandPower(0.15, 0.45, T), sum(150, 450));
    EXPECT_DOUBLE_EQ(sp.BandPower(0.0, 0.5, T), sum(1, 500));
    EXPECT_DOUBLE_EQ(
        sp.BandPower(0.0, 0.04, T) + sp.BandPower(0.04, 0.15, T) + sp.BandPower(0.15, 0.45, T), sum(1, 450) + 40 + 150);
    // Edges above the grid are clamped; a band within one grid point's rounding is empty.
    EXPECT_DOUBLE_EQ(sp.BandPower(0.3, 7.0, T), sum(300, 500));
    EXPECT_DOUBLE_EQ(sp.BandPower(0.3, std::numeric_limits<double>::infinity(), T), sum(300, 500));
    EXPECT_EQ(sp.BandPower(0.05, 0.04, T), 0.0);
    EXPECT_EQ(sp.BandPower(-5.0, -1.0, T), 0.0);
    EXPECT_TRUE(std::isnan(sp.BandPower(kNaN, 0.1, T)));

    // A band whose edges both round to the same grid index holds no point: on a grid of
    // df = 2^-10 Hz, both edges exactly halfway between the points at 40 df and 41 df.
    Spectrum binary;
    ASSERT_TRUE(binary.SetGrid(0.5, 512));
    binary.mPower.assign(512, 1.0);
    EXPECT_EQ(binary.BandPower(40.5 / 1024, 40.5 / 1024, T), 0.0);
    EXPECT_EQ(binary.BandPower(40.5 / 1024, 41.5 / 1024, T), T / 1024);

    // SetGrid keeps existing values and zero-fills new ones.
    ASSERT_TRUE(sp.SetGrid(1.0, 502));
    EXPECT_EQ(sp.mPower[499], 500.0);
    EXPECT_EQ(sp.mPower[501], 0.0);
    EXPECT_DOUBLE_EQ(sp.mFrequencyStep, 1.0 / 502);
}

TEST(SpectrumTest, EngineStepKeepsOrClearsResults)
{
    const HRVTest::RRSeries s = Modulated(0.8, 0.05, 0.25, 300);
    AnalysisParameters p = DefaultAnalysisParameters();
    Spectrum sp;
    EXPECT_FALSE(ComputeSpectrum(sp, 0, s.rr, s.times, p));
    ASSERT_TRUE(ComputeSpectrum(sp, 3, s.rr, s.times, p));
    const Spectrum before = sp;

    // One beat or none: nothing is recomputed.
    EXPECT_TRUE(ComputeSpectrum(sp, 3, { 0.8 }, { 0.8 }, p));
    EXPECT_EQ(sp.mPower, before.mPower);
    EXPECT_EQ(sp.mHFPower, before.mHFPower);

    // Only the bands: the periodogram stays, the new edges apply.
    AnalysisParameters narrow = p;
    narrow.mHFLow = 0.2;
    narrow.mHFHigh = 0.3;
    ASSERT_TRUE(ComputeSpectrum(sp, 2, s.rr, s.times, narrow));
    EXPECT_EQ(sp.mPower, before.mPower);
    EXPECT_EQ(sp.mTotalPower, before.mTotalPower);
    EXPECT_LT(sp.mHFPower, before.mHFPower);

    // A grid that cannot be built leaves no value of the earlier series standing.
    AnalysisParameters bad = p;
    bad.mNumFrequencies = 0;
    ASSERT_TRUE(ComputeSpectrum(sp, 3, s.rr, s.times, bad));
    EXPECT_TRUE(sp.mPower.empty());
    EXPECT_TRUE(std::isnan(sp.mTotalPower));
    EXPECT_TRUE(std::isnan(sp.mHFPower));

    // Spectrum::Compute refuses series of different lengths and a grid of 0 points.
    Spectrum fresh;
    EXPECT_FALSE(fresh.Compute(5, s.rr, { 1.0, 2.0 }, 0.5, 500));
    EXPECT_FALSE(fresh.Compute(5, s.rr, s.times, 0.5, 0));
    EXPECT_TRUE(fresh.mPower.empty());
}

TEST(SpectrumTest, BeatsWithoutTimeSpanGiveFiniteBands)
{
    for (int window : { kWindowHann, kWindowRectangular, kWindowWelch }) {
        Spectrum sp;
        AnalysisParameters p = DefaultAnalysisParameters();
        p.mDataWindow = window;
        ASSERT_TRUE(ComputeSpectrum(sp, 3, { 0.8, 0.9, 0.7 }, { 5.0, 5.0, 5.0 }, p));
        for (double v : sp.mPower)
            EXPECT_TRUE(std::isfinite(v));
        EXPECT_EQ(sp.mTotalPower, 0.0);
        EXPECT_EQ(sp.mVLFPower, 0.0);
        EXPECT_EQ(sp.mHFPower, 0.0);
    }
    // Two beats under a Hann window: no weight, no power, no NaN.
    Spectrum two;
    ASSERT_TRUE(ComputeSpectrum(two, 3, { 0.8, 0.9 }, { 1.0, 1.9 }, DefaultAnalysisParameters()));
    EXPECT_EQ(two.mTotalPower, 0.0);
    // Fewer than two samples have no periodogram.
    double power = 0;
    const double omega = 1.0, t = 1.0, x = 0.8;
    LombScarglePeriodogram(kWindowHann, &t, &x, &omega, &power, 1, 1);
    EXPECT_TRUE(std::isnan(power));
}

} // namespace
