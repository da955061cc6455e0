#include "hrv/stats/LombScargle.h"

#include <algorithm>
#include <cfloat>
#include <cmath>
#include <limits>
#include <numbers>
#include <vector>

namespace HRV {

namespace {

constexpr double kTwoPi = 2.0 * std::numbers::pi;

// A tau-shifted sum below this share of n (= CC + SS) is rounding noise: dividing by it would
// turn noise into power.
constexpr double kVanishingShare = 1e-10;

// Frequencies advanced together by one rotation, and the spacing of exact sin/cos anchors that
// bound the drift of the rotations (a multiple of kLanes).
constexpr std::size_t kLanes = 8;
constexpr std::size_t kAnchorSpacing = 256;

struct TrendFit {
    bool fitted = false;
    double slope = 0.0;
    double meanT = 0.0;
    double meanX = 0.0;
};

// Least squares on centred values: the raw sums (sum t^2 - n mean_t^2) lose most of their digits
// when a short stretch of beats lies hours into a recording.
TrendFit FitTrend(const double* t, const double* x, std::size_t n)
{
    TrendFit fit;
    if (n < 2)
        return fit;
    double sumT = 0.0;
    double sumX = 0.0;
    bool spread = false;
    for (std::size_t i = 0; i < n; ++i) {
        sumT += t[i];
        sumX += x[i];
        spread = spread || t[i] != t[0];
    }
    const double meanT = sumT / static_cast<double>(n);
    const double meanX = sumX / static_cast<double>(n);
    double stt = 0.0;
    double stx = 0.0;
    for (std::size_t i = 0; i < n; ++i) {
        const double dt = t[i] - meanT;
        stt += dt * dt;
        stx += dt * (x[i] - meanX);
    }
    if (!spread || !(stt > DBL_EPSILON))
        return fit;
    fit.fitted = true;
    fit.slope = stx / stt;
    fit.meanT = meanT;
    fit.meanX = meanX;
    return fit;
}

// Two doubles operated on together: the SIMD width every x86-64 and AArch64 processor has. The
// vector extension of g++ and clang maps it to one register without intrinsics.
typedef double Pair __attribute__((vector_size(2 * sizeof(double))));
constexpr std::size_t kPairs = kLanes / 2;

// Sums over the samples per frequency, in pairs of frequencies. The cosine and sine sums of
// squares are kept as their difference d = sum(c^2 - s^2), since CC = (n + d) / 2 and
// SS = (n - d) / 2.
struct TrigSums {
    explicit TrigSums(std::size_t nfreq)
        : yc(Pairs(nfreq), Pair {})
        , ys(Pairs(nfreq), Pair {})
        , d(Pairs(nfreq), Pair {})
        , cs(Pairs(nfreq), Pair {})
    {
    }
    // Whole blocks of kLanes frequencies, so that the grid loop has no tail.
    static std::size_t Pairs(std::size_t nfreq) { return (nfreq + kLanes - 1) / kLanes * kPairs; }
    static double At(const std::vector<Pair>& v, std::size_t k) { return v[k / 2][k % 2]; }
    static void Add(std::vector<Pair>& v, std::size_t k, double x) { v[k / 2][k % 2] += x; }
    std::vector<Pair> yc, ys, d, cs;
};

// Equal spacing to within a few units in the last place, so that the rotated phases match the
// products omega_k * t to the rounding of the products themselves.
bool IsUniformGrid(const double* omega, std::size_t nfreq, double& step)
{
    step = 0.0;
    if (nfreq < 2)
        return true;
    step = (omega[nfreq - 1] - omega[0]) / static_cast<double>(nfreq - 1);
    if (!std::isfinite(step))
        return false;
    for (std::size_t k = 0; k < nfreq; ++k) {
        const double expected = omega[0] + static_cast<double>(k) * step;
        const double scale
            = std::max(std::fabs(omega[k]), std::fabs(omega[0]) + std::fabs(static_cast<double>(k) * step));
        if (!(std::fabs(expected - omega[k]) <= 8.0 * DBL_EPSILON * scale))
            return false;
    }
    return true;
}

// One pass over the samples; for each sample the phases of all frequencies come from rotating
// by the grid step instead of calling sin and cos per term. Each block of kLanes frequencies
// rotates by kLanes steps at once (independent lanes, so they run in SIMD registers), and every
// kAnchorSpacing frequencies the first lane restarts from an exact sin/cos.
void AccumulateOnGrid(const double* t, const double* y, std::size_t n, const double* omega, double step, TrigSums& sums)
{
    const std::size_t blocks = sums.yc.size() / kPairs;
    constexpr std::size_t kBlocksPerAnchor = kAnchorSpacing / kLanes;
    for (std::size_t i = 0; i < n; ++i) {
        const double ti = t[i];
        const double stepPhase = step * ti;
        const double cStep = std::cos(stepPhase);
        const double sStep = std::sin(stepPhase);
        const double cBlockScalar = std::cos(static_cast<double>(kLanes) * stepPhase);
        const double sBlockScalar = std::sin(static_cast<double>(kLanes) * stepPhase);
        const Pair cBlock = { cBlockScalar, cBlockScalar };
        const Pair sBlock = { sBlockScalar, sBlockScalar };
        const Pair yi = { y[i], y[i] };
        for (std::size_t b0 = 0; b0 < blocks; b0 += kBlocksPerAnchor) {
            // b0 * kLanes < nfreq: the padding is less than one block.
            const double anchor = omega[b0 * kLanes] * ti;
            double cl[kLanes];
            double sl[kLanes];
            cl[0] = std::cos(anchor);
            sl[0] = std::sin(anchor);
            for (std::size_t j = 1; j < kLanes; ++j) {
                cl[j] = cl[j - 1] * cStep - sl[j - 1] * sStep;
                sl[j] = sl[j - 1] * cStep + cl[j - 1] * sStep;
            }
            Pair c[kPairs];
            Pair s[kPairs];
            for (std::size_t p = 0; p < kPairs; ++p) {
                c[p] = Pair { cl[2 * p], cl[2 * p + 1] };
                s[p] = Pair { sl[2 * p], sl[2 * p + 1] };
            }
            const std::size_t bEnd = std::min(b0 + kBlocksPerAnchor, blocks);
            for (std::size_t b = b0; b < bEnd; ++b) {
                Pair* yc = sums.yc.data() + b * kPairs;
                Pair* ys = sums.ys.data() + b * kPairs;
                Pair* d = sums.d.data() + b * kPairs;
                Pair* cs = sums.cs.data() + b * kPairs;
                for (std::size_t p = 0; p < kPairs; ++p) {
                    yc[p] += yi * c[p];
                    ys[p] += yi * s[p];
                    d[p] += c[p] * c[p] - s[p] * s[p];
                    cs[p] += c[p] * s[p];
                    const Pair cNext = c[p] * cBlock - s[p] * sBlock;
                    s[p] = s[p] * cBlock + c[p] * sBlock;
                    c[p] = cNext;
                }
            }
        }
    }
}

// The plain evaluation, for frequencies that are not equally spaced.
void AccumulateDirect(
    const double* t, const double* y, std::size_t n, const double* omega, std::size_t nfreq, TrigSums& sums)
{
    for (std::size_t k = 0; k < nfreq; ++k) {
        for (std::size_t i = 0; i < n; ++i) {
            const double phase = omega[k] * t[i];
            const double c = std::cos(phase);
            const double s = std::sin(phase);
            TrigSums::Add(sums.yc, k, y[i] * c);
            TrigSums::Add(sums.ys, k, y[i] * s);
            TrigSums::Add(sums.d, k, c * c - s * s);
            TrigSums::Add(sums.cs, k, c * s);
        }
    }
}

double PowerAt(const TrigSums& sums, std::size_t k, std::size_t n)
{
    const double count = static_cast<double>(n);
    const double yc = TrigSums::At(sums.yc, k);
    const double ys = TrigSums::At(sums.ys, k);
    const double cs = TrigSums::At(sums.cs, k);
    const double d = TrigSums::At(sums.d, k);
    const double cc = 0.5 * (count + d);
    const double ss = 0.5 * (count - d);
    // tan(2 omega tau) = 2 CS / (CC - SS); atan2 keeps the quadrant and has no 0/0.
    const double omegaTau = 0.5 * std::atan2(2.0 * cs, cc - ss);
    const double c = std::cos(omegaTau);
    const double s = std::sin(omegaTau);
    const double bigC = c * yc + s * ys;
    const double bigS = c * ys - s * yc;
    const double ccTau = c * c * cc + 2.0 * c * s * cs + s * s * ss;
    const double ssTau = c * c * ss - 2.0 * c * s * cs + s * s * cc;
    const double vanishing = kVanishingShare * count;
    double p = 0.0;
    if (ccTau > vanishing)
        p += bigC * bigC / ccTau;
    if (ssTau > vanishing)
        p += bigS * bigS / ssTau;
    return p / count;
}

} // namespace

double DataWindowWeight(int windowType, double u)
{
    switch (windowType) {
    case kWindowTriangular:
        return 1.0 - 2.0 * std::fabs(u - 0.5);
    case kWindowHamming:
        return 0.54 - 0.46 * std::cos(kTwoPi * u);
    case kWindowBlackman:
        return 0.42 - 0.5 * std::cos(kTwoPi * u) + 0.08 * std::cos(2.0 * kTwoPi * u);
    case kWindowWelch: {
        const double a = 2.0 * std::fabs(u - 0.5);
        return 1.0 - a * a;
    }
    case kWindowHann:
        return 0.5 - 0.5 * std::cos(kTwoPi * u);
    default:
        return 1.0;
    }
}

double ApplyDataWindow(int windowType, const double* t, double* weights, std::size_t n)
{
    if (t == nullptr || weights == nullptr || n < 1)
        return 0.0;
    const double span = t[n - 1] - t[0];
    const bool placed = span != 0.0 && std::isfinite(span);
    double sumSq = 0.0;
    for (std::size_t i = 0; i < n; ++i) {
        const double w = placed ? DataWindowWeight(windowType, (t[i] - t[0]) / span) : 1.0;
        weights[i] = w;
        sumSq += w * w;
    }
    const double meanSquare = sumSq / static_cast<double>(n);
    if (meanSquare > 0.0 && std::isfinite(meanSquare)) {
        const double scale = 1.0 / std::sqrt(meanSquare);
        for (std::size_t i = 0; i < n; ++i)
            weights[i] *= scale;
    }
    return meanSquare;
}

bool LinearRegression(const double* t, const double* x, std::size_t n, double* slope, double* intercept)
{
    if (t == nullptr || x == nullptr || slope == nullptr)
        return false;
    const TrendFit fit = FitTrend(t, x, n);
    if (!fit.fitted)
        return false;
    *slope = fit.slope;
    if (intercept != nullptr)
        *intercept = fit.meanX - fit.slope * fit.meanT;
    return true;
}

void LombScarglePeriodogram(int windowType, const double* t, const double* x, const double* omega, double* power,
    std::size_t n, std::size_t nfreq)
{
    if (power == nullptr || nfreq == 0)
        return;
    if (t == nullptr || x == nullptr || omega == nullptr || n < 2) {
        std::fill(power, power + nfreq, std::numeric_limits<double>::quiet_NaN());
        return;
    }

    // Detrended (and so centred) values. The line is taken in its centred form, which is the
    // same line as slope * t + intercept without the cancellation of two large terms. Without
    // a fit (no time spread) the values are used as they are.
    const TrendFit fit = FitTrend(t, x, n);
    std::vector<double> y(n);
    ApplyDataWindow(windowType, t, y.data(), n);
    for (std::size_t i = 0; i < n; ++i) {
        const double residual = fit.fitted ? (x[i] - fit.meanX) - fit.slope * (t[i] - fit.meanT) : x[i];
        y[i] *= residual;
    }

    double step = 0.0;
    if (IsUniformGrid(omega, nfreq, step)) {
        TrigSums sums(nfreq);
        AccumulateOnGrid(t, y.data(), n, omega, step, sums);
        for (std::size_t k = 0; k < nfreq; ++k)
            power[k] = omega[k] == 0.0 ? 0.0 : PowerAt(sums, k, n);
    } else {
        TrigSums sums(nfreq);
        AccumulateDirect(t, y.data(), n, omega, nfreq, sums);
        for (std::size_t k = 0; k < nfreq; ++k)
            power[k] = omega[k] == 0.0 ? 0.0 : PowerAt(sums, k, n);
    }
}

} // namespace HRV
