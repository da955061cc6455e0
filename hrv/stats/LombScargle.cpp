#include "hrv/stats/LombScargle.h"

#include <algorithm>
#include <cfloat>
#include <cmath>
#include <cstdint>
#include <limits>
#include <memory>
#include <numbers>
#include <vector>

namespace HRV {

namespace {

constexpr double kTwoPi = 2.0 * std::numbers::pi;

// A tau-shifted sum below this share of n (= CC + SS) is rounding noise: dividing by it would
// turn noise into power.
constexpr double kVanishingShare = 1e-10;

// Eight doubles operated on together; the vector extension of g++ and clang maps them to one
// AVX-512 register, two AVX registers or four SSE2 registers, whichever the processor has.
typedef double Lanes __attribute__((vector_size(64)));
typedef int64_t LaneInts __attribute__((vector_size(64)));
constexpr std::size_t kLanes = sizeof(Lanes) / sizeof(double);

// Below this magnitude SinCos reduces its argument exactly (n * the 33-bit leading part of pi/2
// is exact for n < 2^20).
constexpr double kSinCosLimit = 5.0e5;

// Sine and cosine of every lane, to about one unit in the last place: the argument is reduced by
// n pi/2 (pi/2 in three parts, Cody and Waite) and the fdlibm kernel polynomials on
// [-pi/4, pi/4] give the result, the quadrant n mod 4 choosing sign and function. Lanes at or
// above kSinCosLimit in magnitude (and non-finite ones) take the library's sin and cos.
[[gnu::always_inline]] inline void SinCos(const Lanes& x, Lanes& sine, Lanes& cosine)
{
    constexpr double kTwoOverPi = 6.36619772367581382433e-01;
    constexpr double kPio2Hi = 1.57079632673412561417e+00; // first 33 bits of pi/2
    constexpr double kPio2Mid = 6.07710050630396597660e-11; // next 33 bits
    constexpr double kPio2Lo = 2.02226624879595063154e-21; // the rest
    constexpr double kShifter = 6755399441055744.0; // 1.5 * 2^52: rounds to an integer in the low bits
    const Lanes shifted = x * kTwoOverPi + kShifter;
    const Lanes n = shifted - kShifter;
    LaneInts quadrant;
    __builtin_memcpy(&quadrant, &shifted, sizeof quadrant);
    quadrant &= 3;
    const Lanes r = ((x - n * kPio2Hi) - n * kPio2Mid) - n * kPio2Lo;
    const Lanes z = r * r;
    const Lanes sinR = r
        + r * z
            * (-1.66666666666666324348e-01
                + z
                    * (8.33333333332248946124e-03
                        + z
                            * (-1.98412698298579493134e-04
                                + z
                                    * (2.75573137070700676789e-06
                                        + z * (-2.50507602534068634195e-08 + z * 1.58969099521155010221e-10)))));
    const Lanes cosR = 1.0 - 0.5 * z
        + z * z
            * (4.16666666666666019037e-02
                + z
                    * (-1.38888888888741095749e-03
                        + z
                            * (2.48015872894767294178e-05
                                + z
                                    * (-2.75573143513906633035e-07
                                        + z * (2.08757232129817482790e-09 + z * -1.13596475577881948265e-11)))));
    // Quadrants 0..3: (sin, cos) = (s, c), (c, -s), (-s, -c), (-c, s).
    const LaneInts swap = (quadrant & 1) != 0;
    const LaneInts negSin = (quadrant & 2) != 0;
    const LaneInts negCos = ((quadrant + 1) & 2) != 0;
    Lanes s = swap ? cosR : sinR;
    Lanes c = swap ? sinR : cosR;
    s = negSin ? -s : s;
    c = negCos ? -c : c;
    for (std::size_t l = 0; l < kLanes; ++l)
        if (!(std::fabs(x[l]) < kSinCosLimit)) {
            s[l] = std::sin(x[l]);
            c[l] = std::cos(x[l]);
        }
    sine = s;
    cosine = c;
}

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

// The sums over the samples per frequency: sum y cos, sum y sin, sum cos^2 (CC; SS = n - CC) and
// sum cos sin.
struct TrigSums {
    explicit TrigSums(std::size_t nfreq)
        : yc(nfreq, 0.0)
        , ys(nfreq, 0.0)
        , cc(nfreq, 0.0)
        , cs(nfreq, 0.0)
    {
    }
    std::vector<double> yc, ys, cc, cs;
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

// The grid evaluation. With the phase theta_i = step * t_i of sample i, the cosines and sines of
// consecutive grid frequencies follow the three-term recurrence
//   x_{k+1} = 2 cos(theta_i) x_k - x_{k-1}
// (one multiply-add per value instead of the four operations of a rotation). Its rounding errors
// grow with the square of the number of steps, so every kAnchorSpacing frequencies it restarts
// from an anchor phasor that is carried along by exact complex rotations (errors growing only
// linearly). The samples are taken kLanes at a time in SIMD lanes; a tile of kTile frequencies
// keeps its sums in registers while it runs through a chunk of samples that stays in the
// first-level cache, and the per-sample state (the two latest phasors) is handed from tile to
// tile through that chunk.
constexpr std::size_t kTile = 6;
constexpr std::size_t kAnchorSpacing = 8 * kTile;
constexpr std::size_t kChunk = 512; // samples, a multiple of kLanes

// Per-sample data of one chunk, in lanes; padding samples have y = 0 and zero phasors, so they
// add nothing to any sum.
struct alignas(64) Chunk {
    Lanes y[kChunk / kLanes];
    Lanes twoCos[kChunk / kLanes]; // 2 cos(theta)
    Lanes stepC[kChunk / kLanes], stepS[kChunk / kLanes]; // exp(i theta)
    Lanes jumpC[kChunk / kLanes], jumpS[kChunk / kLanes]; // exp(i kAnchorSpacing theta)
    Lanes anchorC[kChunk / kLanes], anchorS[kChunk / kLanes]; // exp(i omega_a t) of the next anchor a
    Lanes curC[kChunk / kLanes], curS[kChunk / kLanes]; // phasor at the tile's first frequency
    Lanes nextC[kChunk / kLanes], nextS[kChunk / kLanes]; // and at the one after it
};

#if defined(__x86_64__)
__attribute__((target_clones("arch=x86-64-v4", "arch=x86-64-v3", "default")))
#endif
void AccumulateChunk(Chunk& chunk, std::size_t vectors, std::size_t tiles, TrigSums& sums)
{
    for (std::size_t tile = 0; tile < tiles; ++tile) {
        const bool anchored = tile * kTile % kAnchorSpacing == 0;
        Lanes yc[kTile] = {}, ys[kTile] = {}, cc[kTile] = {}, cs[kTile] = {};
        for (std::size_t v = 0; v < vectors; ++v) {
            Lanes c, s, nc, ns;
            if (anchored) {
                c = chunk.anchorC[v];
                s = chunk.anchorS[v];
                const Lanes ec = chunk.stepC[v], es = chunk.stepS[v];
                nc = c * ec - s * es;
                ns = s * ec + c * es;
                const Lanes jc = chunk.jumpC[v], js = chunk.jumpS[v];
                chunk.anchorC[v] = c * jc - s * js;
                chunk.anchorS[v] = s * jc + c * js;
            } else {
                c = chunk.curC[v];
                s = chunk.curS[v];
                nc = chunk.nextC[v];
                ns = chunk.nextS[v];
            }
            const Lanes y = chunk.y[v];
            const Lanes t2 = chunk.twoCos[v];
#pragma GCC unroll 16
            for (std::size_t j = 0; j < kTile; ++j) {
                yc[j] += y * c;
                ys[j] += y * s;
                cc[j] += c * c;
                cs[j] += c * s;
                const Lanes c2 = t2 * nc - c;
                const Lanes s2 = t2 * ns - s;
                c = nc;
                s = ns;
                nc = c2;
                ns = s2;
            }
            chunk.curC[v] = c;
            chunk.curS[v] = s;
            chunk.nextC[v] = nc;
            chunk.nextS[v] = ns;
        }
        for (std::size_t j = 0; j < kTile; ++j) {
            const std::size_t k = tile * kTile + j;
            double a = 0, b = 0, d = 0, e = 0;
            for (std::size_t l = 0; l < kLanes; ++l) {
                a += yc[j][l];
                b += ys[j][l];
                d += cc[j][l];
                e += cs[j][l];
            }
            sums.yc[k] += a;
            sums.ys[k] += b;
            sums.cc[k] += d;
            sums.cs[k] += e;
        }
    }
}

// z^m for unit phasors z = (c, s), by repeated squaring: log2(m) complex products, each adding a
// rounding of about one unit in the last place.
[[gnu::always_inline]] inline void PhasorPower(
    const Lanes& zc, const Lanes& zs, std::size_t m, Lanes& outC, Lanes& outS)
{
    Lanes c = zc, s = zs;
    Lanes rc = c - c + 1.0, rs = s - s;
    for (; m != 0; m >>= 1) {
        if (m & 1) {
            const Lanes t = rc * c - rs * s;
            rs = rs * c + rc * s;
            rc = t;
        }
        const Lanes t = c * c - s * s;
        s = 2.0 * c * s;
        c = t;
    }
    outC = rc;
    outS = rs;
}

// The per-sample data of a chunk whose times and values are in chunk.y and chunk.curC (padding
// lanes with y = 0). A grid that starts at a small multiple m of its step (df, 2 df, ... as the
// spectrum uses) takes its first phasors as powers of the step's (powerOfStep = m); otherwise
// (powerOfStep < 0) from the sine and cosine of omega0 t.
#if defined(__x86_64__)
__attribute__((target_clones("arch=x86-64-v4", "arch=x86-64-v3", "default")))
#endif
void PrepareChunk(Chunk& chunk, std::size_t vectors, std::size_t count, double omega0, double step, int powerOfStep)
{
    for (std::size_t v = 0; v < vectors; ++v) {
        const Lanes t = chunk.curC[v];
        Lanes ec, es, jc, js, ac, as;
        SinCos(step * t, es, ec);
        PhasorPower(ec, es, kAnchorSpacing, jc, js);
        if (powerOfStep >= 0)
            PhasorPower(ec, es, static_cast<std::size_t>(powerOfStep), ac, as);
        else
            SinCos(omega0 * t, as, ac);
        chunk.twoCos[v] = 2.0 * ec;
        chunk.stepC[v] = ec;
        chunk.stepS[v] = es;
        chunk.jumpC[v] = jc;
        chunk.jumpS[v] = js;
        chunk.anchorC[v] = ac;
        chunk.anchorS[v] = as;
    }
    // Padding samples: zero phasors stay zero under the recurrence and add nothing.
    for (std::size_t i = count; i < vectors * kLanes; ++i) {
        const std::size_t v = i / kLanes, l = i % kLanes;
        chunk.anchorC[v][l] = chunk.anchorS[v][l] = 0.0;
        chunk.twoCos[v][l] = chunk.stepC[v][l] = chunk.stepS[v][l] = 0.0;
    }
}

void AccumulateOnGrid(
    const double* t, const double* y, std::size_t n, double omega0, double step, std::size_t nfreq, TrigSums& sums)
{
    const std::size_t tiles = (nfreq + kTile - 1) / kTile;
    // The sums hold whole tiles; the caller reads the first nfreq.
    sums.yc.resize(tiles * kTile, 0.0);
    sums.ys.resize(tiles * kTile, 0.0);
    sums.cc.resize(tiles * kTile, 0.0);
    sums.cs.resize(tiles * kTile, 0.0);
    const double multiple = step > 0.0 ? std::round(omega0 / step) : -1.0;
    const int powerOfStep
        = multiple >= 0.0 && multiple <= 64.0 && std::fabs(omega0 - multiple * step) <= 8.0 * DBL_EPSILON * omega0
        ? static_cast<int>(multiple)
        : -1;
    auto chunk = std::make_unique<Chunk>();
    for (std::size_t first = 0; first < n; first += kChunk) {
        const std::size_t count = std::min(kChunk, n - first);
        const std::size_t vectors = (count + kLanes - 1) / kLanes;
        for (std::size_t i = 0; i < vectors * kLanes; ++i) {
            const std::size_t v = i / kLanes, l = i % kLanes;
            chunk->y[v][l] = i < count ? y[first + i] : 0.0;
            chunk->curC[v][l] = i < count ? t[first + i] : t[first];
        }
        PrepareChunk(*chunk, vectors, count, omega0, step, powerOfStep);
        AccumulateChunk(*chunk, vectors, tiles, sums);
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
            sums.yc[k] += y[i] * c;
            sums.ys[k] += y[i] * s;
            sums.cc[k] += c * c;
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
    const double cc = sums.cc[k];
    const double ss = count - cc;
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
    std::size_t i = 0;
    if (placed && (windowType == kWindowHamming || windowType == kWindowHann || windowType == kWindowBlackman)) {
        // The cosine windows, kLanes weights at a time.
        for (; i + kLanes <= n; i += kLanes) {
            Lanes u;
            for (std::size_t l = 0; l < kLanes; ++l)
                u[l] = (t[i + l] - t[0]) / span;
            Lanes s1, c1;
            SinCos(kTwoPi * u, s1, c1);
            Lanes w;
            if (windowType == kWindowHann)
                w = 0.5 - 0.5 * c1;
            else if (windowType == kWindowHamming)
                w = 0.54 - 0.46 * c1;
            else
                w = 0.42 - 0.5 * c1 + 0.08 * (2.0 * c1 * c1 - 1.0); // cos 2a = 2 cos^2 a - 1
            for (std::size_t l = 0; l < kLanes; ++l) {
                weights[i + l] = w[l];
                sumSq += w[l] * w[l];
            }
        }
    }
    for (; i < n; ++i) {
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
    TrigSums sums(nfreq);
    if (IsUniformGrid(omega, nfreq, step))
        AccumulateOnGrid(t, y.data(), n, omega[0], step, nfreq, sums);
    else
        AccumulateDirect(t, y.data(), n, omega, nfreq, sums);
    for (std::size_t k = 0; k < nfreq; ++k)
        power[k] = omega[k] == 0.0 ? 0.0 : PowerAt(sums, k, n);
}

} // namespace HRV
