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

// Sums over the samples per frequency. The cosine and sine sums of squares are kept as their
// difference d = sum(c^2 - s^2), since CC = (n + d) / 2 and SS = (n - d) / 2.
struct TrigSums {
    explicit TrigSums(std::size_t size)
        : yc(size, 0.0)
        , ys(size, 0.0)
        , d(size, 0.0)
        , cs(size, 0.0)
    {
    }
    std::vector<double> yc, ys, d, cs;
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
        const double scale = std::max(std::fabs(omega[k]), std::fabs(omega[0]) + std::fabs(static_cast<double>(k) * step));
        if (!(std::fabs(expected - omega[k]) <= 8.0 * DBL_EPSILON * scale))
            return false;
    }
    return true;
}

// One pass over the samples; for each sample the phases of all frequencies come from rotating
// by the grid step instead of calling sin and cos per term. Each block of kLanes frequencies
// rotates by kLanes steps at once (independent lanes, so the compiler can vectorise them), and
// every kAnchorSpacing frequencies the first lane restarts from an exact sin/cos.
void AccumulateOnGrid(const double* t, const double* y, std::size_t n, const double* omega, double step, TrigSums& sums)
{
    const std::size_t padded = sums.yc.size(); // nfreq rounded up to whole blocks
    for (std::size_t i = 0; i < n; ++i) {
        const double ti = t[i];
        const double yi = y[i];
        const double stepPhase = step * ti;
        const double cStep = std::cos(stepPhase);
        const double sStep = std::sin(stepPhase);
        const double cBlock = std::cos(static_cast<double>(kLanes) * stepPhase);
        const double sBlock = std::sin(static_cast<double>(kLanes) * stepPhase);
        for (std::size_t k0 = 0; k0 < padded; k0 += kAnchorSpacing) {
            double c[kLanes];
            double s[kLanes];
            const double anchor = omega[k0] * ti; // k0 < nfreq: padding is less than one block
            c[0] = std::cos(anchor);
            s[0] = std::sin(anchor);
            for (std::size_t j = 1; j < kLanes; ++j) {
                c[j] = c[j - 1] * cStep - s[j - 1] * sStep;
                s[j] = s[j - 1] * cStep + c[j - 1] * sStep;
            }
            const std::size_t kEnd = std::min(k0 + kAnchorSpacing, padded);
            for (std::size_t k = k0; k < kEnd; k += kLanes) {
                double* yc = sums.yc.data() + k;
                double* ys = sums.ys.data() + k;
                double* d = sums.d.data() + k;
                double* cs = sums.cs.data() + k;
                for (std::size_t j = 0; j < kLanes; ++j) {
                    yc[j] += yi * c[j];
                    ys[j] += yi * s[j];
                    d[j] += c[j] * c[j] - s[j] * s[j];
                    cs[j] += c[j] * s[j];
                }
                for (std::size_t j = 0; j < kLanes; ++j) {
                    const double cj = c[j] * cBlock - s[j] * sBlock;
                    s[j] = s[j] * cBlock + c[j] * sBlock;
                    c[j] = cj;
                }
            }
        }
    }
}

// The plain evaluation, for frequencies that are not equally spaced.
void AccumulateDirect(const double* t, const double* y, std::size_t n, const double* omega, std::size_t nfreq,
    TrigSums& sums)
{
    for (std::size_t k = 0; k < nfreq; ++k) {
        for (std::size_t i = 0; i < n; ++i) {
            const double phase = omega[k] * t[i];
            const double c = std::cos(phase);
            const double s = std::sin(phase);
            sums.yc[k] += y[i] * c;
            sums.ys[k] += y[i] * s;
            sums.d[k] += c * c - s * s;
            sums.cs[k] += c * s;
        }
    }
}

double PowerAt(const TrigSums& sums, std::size_t k, std::size_t n)
{
    const double count = static_cast<double>(n);
    const double yc = sums.yc[k];
    const double ys = sums.ys[k];
    const double cs = sums.cs[k];
    const double cc = 0.5 * (count + sums.d[k]);
    const double ss = 0.5 * (count - sums.d[k]);
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
        TrigSums sums((nfreq + kLanes - 1) / kLanes * kLanes);
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
