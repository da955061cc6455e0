#include "host/calc/Functions.h"

#include "host/calc/CalcError.h"

#include <algorithm>
#include <charconv>
#include <cmath>
#include <cstring>
#include <limits>
#include <numbers>
#include <string>

namespace vx::calc {
namespace {

// Ratio of the -3 dB frequency of the forward-backward low-pass to the design frequency of each
// pass (in pre-warped units): (sqrt(2) - 1)^(1/8).
const double kDesignRatio = std::pow(std::sqrt(2.0) - 1.0, 1.0 / 8.0);

int64_t ToSamples(double seconds, double interval)
{
    return static_cast<int64_t>(std::llround(seconds / interval));
}

// A number for a message, in the classic locale.
std::string Num(double v)
{
    char text[32];
    auto [end, ec] = std::to_chars(text, text + sizeof text, v);
    return ec == std::errc() ? std::string(text, end) : std::string("?");
}

// Non-finite samples (NaN, infinities) are gaps: every stage treats a gap like the edges of the
// record. A stage's output is a gap where its input is, and the finite runs on either side are
// computed as if each were a record of its own (constant extension at its edges), so a gap never
// spreads into the samples around it.
bool AllFinite(std::span<const float> x)
{
    bool finite = true;
    for (float v : x)
        finite &= v - v == 0.0f; // false for NaN and both infinities
    return finite;
}

bool IsFinite(float v)
{
    return v - v == 0.0f;
}

// Calls f(a, b) for every run [a, b) of finite samples of x.
template <class F> void ForEachFiniteRun(std::span<const float> x, F&& f)
{
    std::size_t i = 0;
    while (i < x.size()) {
        while (i < x.size() && !IsFinite(x[i]))
            ++i;
        const std::size_t a = i;
        while (i < x.size() && IsFinite(x[i]))
            ++i;
        if (i > a)
            f(a, i);
    }
}

// A centred filter with a half-width of h samples over input `in`, where in[j] is the sample
// h positions before output j: kernel(x, y, count) writes y[0, count) from x[-h, count + h).
// Gaps in the input: the outputs of each finite run see that run's edge values beyond its ends,
// and gap positions give NaN.
template <class K>
void CentredByRuns(
    std::span<const float> in, std::size_t h, std::span<float> out, std::vector<float>& patch, K&& kernel)
{
    if (AllFinite(in)) {
        kernel(in.data() + h, out.data(), out.size());
        return;
    }
    std::fill(out.begin(), out.end(), std::numeric_limits<float>::quiet_NaN());
    ForEachFiniteRun(in, [&](std::size_t a, std::size_t b) {
        const std::size_t oa = std::max(a, h), ob = std::min(b, h + out.size());
        if (oa >= ob)
            return;
        patch.resize(ob - oa + 2 * h);
        for (std::size_t j = 0; j < patch.size(); ++j)
            patch[j] = in[std::clamp(oa - h + j, a, b - 1)];
        kernel(patch.data() + h, out.data() + (oa - h), ob - oa);
    });
}

// ---------------------------------------------------------------------------------------------
// lowpass(x, fc)
//
// A fourth-order Butterworth low-pass (two biquad sections, bilinear transform with pre-warping)
// run forwards and then backwards over the data. The two passes cancel each other's phase, so
// the filter has no delay at any frequency: QRS peaks stay where they are in time, which the
// fiducial stage relies on. The magnitude is the square of the Butterworth response; its design
// frequency is raised so that the combined response is -3 dB at fc. Against a linear-phase FIR of
// comparable selectivity (hundreds of taps at 1 kHz) this costs five multiplications per section
// and sample in each direction.
// Recursive filters have unbounded memory in principle, but their impulse response decays
// exponentially: each block is computed from an input stretch extended by a margin of 22 time
// constants of the slowest pole (transients below 1e-9 of the signal), starting each pass in the
// steady state of its first input sample. Because blocks lie on a fixed grid, the output never
// depends on the order in which stretches are requested.
// Reference: Gustafsson F., Determining the initial states in forward-backward filtering, IEEE
// Trans. Signal Processing 44(4):988-992 (1996).
// The forward and the backward pass of the two biquad sections (direct form II transposed) over
// kFilterLanes independent stretches stored interleaved (x[i * kFilterLanes + lane]), each pass
// starting in the steady state of its first input.
constexpr std::size_t kFilterLanes = 8;
typedef double FilterLanes __attribute__((vector_size(kFilterLanes * sizeof(double))));

// One pass of both sections over n values of type T (double, or FilterLanes side by side) from
// p on, in steps of `stride` values; their dependency chains are independent, so the processor
// overlaps them. The pass starts in the steady state of its first input. Values are moved with
// memcpy, which assumes no alignment of the buffer.
template <class T>
[[gnu::always_inline]] inline void BiquadPass(
    double* p, std::size_t n, std::ptrdiff_t stride, const Biquad& s, const Biquad& t)
{
    const std::ptrdiff_t step = stride * static_cast<std::ptrdiff_t>(sizeof(T) / sizeof(double));
    T u;
    std::memcpy(&u, p, sizeof u);
    T s1 = (1.0 - s.b0) * u, s2 = (s.b2 - s.a2) * u;
    T t1 = (1.0 - t.b0) * u, t2 = (t.b2 - t.a2) * u;
    for (std::size_t i = 0; i < n; ++i, p += step) {
        T x;
        std::memcpy(&x, p, sizeof x);
        const T y = s.b0 * x + s1;
        s1 = s.b1 * x - s.a1 * y + s2;
        s2 = s.b2 * x - s.a2 * y;
        const T z = t.b0 * y + t1;
        t1 = t.b1 * y - t.a1 * z + t2;
        t2 = t.b2 * y - t.a2 * z;
        std::memcpy(p, &z, sizeof z);
    }
}

#if defined(__x86_64__)
__attribute__((target_clones("arch=x86-64-v4", "arch=x86-64-v3", "default")))
#endif
void PassLanes(double* lanes, std::size_t steps, const Biquad& s, const Biquad& t)
{
    BiquadPass<FilterLanes>(lanes, steps, 1, s, t);
    BiquadPass<FilterLanes>(lanes + (steps - 1) * kFilterLanes, steps, -1, s, t);
}

class LowPass final : public BlockSignal {
public:
    LowPass(SignalPtr x, double cutoff)
        : mInput(std::move(x))
        , mCutoff(cutoff)
    {
    }

    TimeBase Info(int record) override
    {
        TimeBase tb = mInput->Info(record);
        if (tb.interval > 0 && mCutoff >= 0.5 * tb.Rate())
            throw CutoffError(mCutoff, tb.Rate(), record,
                "lowpass: the cut-off " + Num(mCutoff) + " Hz is not below half the sample rate of record "
                    + std::to_string(record + 1) + " (" + Num(tb.Rate()) + " Hz, so its Nyquist frequency is "
                    + Num(0.5 * tb.Rate()) + " Hz)");
        return tb;
    }
    void Trim() override
    {
        BlockSignal::Trim();
        mInput->Trim();
        mIn = {};
        mWork = {};
        mLanes = {};
    }

protected:
    void ComputeBlock(int record, int64_t start, std::span<float> out) override
    {
        const TimeBase tb = Info(record);
        Design(tb.interval);
        const int64_t m = mMargin;
        const std::size_t n = out.size() + 2 * static_cast<std::size_t>(m);
        ReadInto(*mInput, record, start - m, n, mIn);
        const bool finite = AllFinite(mIn);
        if (out.size() == static_cast<std::size_t>(kBlock) && finite) {
            FilterInLanes(out);
            return;
        }
        mWork.resize(n);
        for (std::size_t i = 0; i < n; ++i)
            mWork[i] = mIn[i];
        if (finite) {
            Pass(mWork.data(), n, 1);
            Pass(mWork.data() + n - 1, n, -1);
        } else {
            // Each finite run is filtered on its own, both passes starting in the steady state of
            // the run's edge sample; gap samples stay gaps.
            ForEachFiniteRun(mIn, [&](std::size_t a, std::size_t b) {
                Pass(mWork.data() + a, b - a, 1);
                Pass(mWork.data() + b - 1, b - a, -1);
            });
            for (std::size_t i = 0; i < n; ++i)
                if (!IsFinite(mIn[i]))
                    mWork[i] = std::numeric_limits<double>::quiet_NaN();
        }
        for (std::size_t i = 0; i < out.size(); ++i)
            out[i] = static_cast<float>(mWork[i + static_cast<std::size_t>(m)]);
    }

private:
    void Design(double interval)
    {
        if (interval == mDesignedFor)
            return;
        const double rate = 1.0 / interval;
        mSections = DesignZeroPhaseLowPass(mCutoff, rate);
        // Slowest decay rate of the analogue prototype at the design frequency (Q = 1.3066).
        const double designHz
            = rate / std::numbers::pi * std::atan(std::tan(std::numbers::pi * mCutoff / rate) / kDesignRatio);
        const double sigma = 2.0 * std::numbers::pi * designHz * std::sin(std::numbers::pi / 8.0);
        mMargin = static_cast<int64_t>(std::ceil(22.0 / sigma * rate)) + 8;
        mDesignedFor = interval;
    }

    void Pass(double* data, std::size_t n, std::ptrdiff_t stride)
    {
        BiquadPass<double>(data, n, stride, mSections[0], mSections[1]);
    }

    // A whole block as kFilterLanes stretches side by side, each with its own margins, filtered
    // together in SIMD lanes: the recursion's latency is paid once for all of them.
    void FilterInLanes(std::span<float> out)
    {
        const std::size_t m = static_cast<std::size_t>(mMargin);
        const std::size_t stretch = out.size() / kFilterLanes;
        const std::size_t steps = stretch + 2 * m;
        mLanes.resize(steps * kFilterLanes);
        double* lanes = mLanes.data();
        const float* in = mIn.data();
        for (std::size_t i = 0; i < steps; ++i)
            for (std::size_t j = 0; j < kFilterLanes; ++j)
                lanes[i * kFilterLanes + j] = in[j * stretch + i];
        PassLanes(lanes, steps, mSections[0], mSections[1]);
        float* y = out.data();
        for (std::size_t i = 0; i < stretch; ++i)
            for (std::size_t j = 0; j < kFilterLanes; ++j)
                y[j * stretch + i] = static_cast<float>(lanes[(i + m) * kFilterLanes + j]);
    }

    SignalPtr mInput;
    double mCutoff;
    double mDesignedFor = 0;
    std::vector<Biquad> mSections;
    int64_t mMargin = 0;
    std::vector<float> mIn;
    std::vector<double> mWork;
    std::vector<double> mLanes;
};

// ---------------------------------------------------------------------------------------------
// differentiate(x, n)
//
// The slope of the least-squares straight line through the n samples centred on each sample
// (Savitzky-Golay first derivative of degree 1), in units per second:
//   d[i] = sum_{k=-h..h} k x[i+k] / (dt sum k^2),  h = (n - 1) / 2.
// For n = 3 this is the central difference (x[i+1] - x[i-1]) / (2 dt). Centred, so it adds no
// delay; larger n smooths. Reference: Savitzky A., Golay M.J.E., Anal. Chem. 36:1627 (1964).
class Differentiate final : public BlockSignal {
public:
    Differentiate(SignalPtr x, int points)
        : mInput(std::move(x))
        , mHalf(points / 2)
    {
    }
    TimeBase Info(int record) override { return mInput->Info(record); }
    void Trim() override
    {
        BlockSignal::Trim();
        mInput->Trim();
        mIn = {};
        mPatch = {};
    }

protected:
    void ComputeBlock(int record, int64_t start, std::span<float> out) override
    {
        const double dt = Info(record).interval;
        const std::size_t h = static_cast<std::size_t>(mHalf);
        ReadInto(*mInput, record, start - mHalf, out.size() + 2 * h, mIn);
        double sumK2 = 0;
        for (int k = 1; k <= mHalf; ++k)
            sumK2 += 2.0 * k * k;
        const double scale = dt > 0 ? 1.0 / (dt * sumK2) : 0.0;
        CentredByRuns(mIn, h, out, mPatch, [&](const float* x, float* y, std::size_t count) {
            const auto n = static_cast<std::ptrdiff_t>(count);
            if (mHalf == 1) {
                const float s = static_cast<float>(scale);
                for (std::ptrdiff_t i = 0; i < n; ++i)
                    y[i] = (x[i + 1] - x[i - 1]) * s;
                return;
            }
            for (std::ptrdiff_t i = 0; i < n; ++i) {
                double acc = 0;
                for (std::ptrdiff_t k = 1; k <= mHalf; ++k)
                    acc += static_cast<double>(k) * (static_cast<double>(x[i + k]) - x[i - k]);
                y[i] = static_cast<float>(acc * scale);
            }
        });
    }

private:
    SignalPtr mInput;
    int mHalf;
    std::vector<float> mIn;
    std::vector<float> mPatch;
};

// y[i] = sum_j taps[j] (x[i - k] - x[i + k]), k = 2 j + 1. Tiles of 1024 outputs keep input and
// output in the first-level cache while every tap passes over them; the inner loop vectorises,
// and on processors with AVX2 a wider clone is chosen at load time.
#if defined(__x86_64__)
__attribute__((target_clones("avx2", "default")))
#endif
void HilbertTaps(float* __restrict y, const float* __restrict x, const float* __restrict taps, std::size_t count,
    std::size_t n)
{
    constexpr std::size_t kTile = 1024;
    for (std::size_t t0 = 0; t0 < n; t0 += kTile) {
        const std::size_t t1 = std::min(n, t0 + kTile);
        for (std::size_t i = t0; i < t1; ++i)
            y[i] = 0.0f;
        for (std::size_t j = 0; j < count; ++j) {
            const std::size_t k = 2 * j + 1;
            const float c = taps[j];
            const float* before = x + t0 - k; // x points k or more samples into its buffer
            const float* after = x + t0 + k;
            float* out = y + t0;
            for (std::size_t i = 0; i < t1 - t0; ++i)
                out[i] += c * (before[i] - after[i]);
        }
    }
}

// ---------------------------------------------------------------------------------------------
// resample(x, 1, 1, 1, n, 0, 2): the quadrature transform.
//
// The Hilbert transform shifts every frequency component by -90 degrees (cos -> sin,
// sin -> -cos). Together with x it forms the analytic signal, whose magnitude x^2 + H(x)^2 is an
// envelope without the ripple of squaring alone: the two lobes of a QRS derivative merge into one
// hump centred on the complex. The ideal kernel h[k] = 2 / (pi k) for odd k (0 for even k) is
// truncated to k = -h..h, h = n / 2, and shaped by a Hamming window to limit passband ripple.
// Odd symmetry halves the multiplications; the kernel is centred, so there is no delay.
// Reference: Oppenheim A.V., Schafer R.W., Discrete-Time Signal Processing, 3rd ed., sec. 12.4.
class Hilbert final : public BlockSignal {
public:
    Hilbert(SignalPtr x, int points)
        : mInput(std::move(x))
        , mKernel(DesignHilbert(points))
        , mHalf(points / 2)
    {
        for (int k = 1; k <= mHalf; k += 2)
            mOddTaps.push_back(static_cast<float>(mKernel[static_cast<std::size_t>(mHalf - k)]));
    }
    TimeBase Info(int record) override { return mInput->Info(record); }
    void Trim() override
    {
        BlockSignal::Trim();
        mInput->Trim();
        mIn = {};
        mPatch = {};
    }

protected:
    void ComputeBlock(int record, int64_t start, std::span<float> out) override
    {
        const std::size_t h = static_cast<std::size_t>(mHalf);
        ReadInto(*mInput, record, start - mHalf, out.size() + 2 * h, mIn);
        CentredByRuns(mIn, h, out, mPatch, [&](const float* x, float* y, std::size_t count) {
            HilbertTaps(y, x, mOddTaps.data(), mOddTaps.size(), count);
        });
    }

private:
    SignalPtr mInput;
    std::vector<double> mKernel;
    int mHalf;
    std::vector<float> mOddTaps;
    std::vector<float> mIn;
    std::vector<float> mPatch;
};

// out[i] = (v[i] - centre_i) / max(scale_i, floor) with centre and scale moving linearly; a scale
// of 0 (a flat stretch and no floor) gives 0.
#if defined(__x86_64__)
__attribute__((target_clones("avx2", "default")))
#endif
void Normalise(float* __restrict out, const float* __restrict v, std::size_t n, double centre, double dCentre,
    double scale, double dScale, double floor)
{
    const auto c0 = static_cast<float>(centre), dc = static_cast<float>(dCentre);
    const auto s0 = static_cast<float>(scale), ds = static_cast<float>(dScale), f = static_cast<float>(floor);
    for (std::size_t i = 0; i < n; ++i) {
        const float fi = static_cast<float>(i);
        const float s = std::max(s0 + fi * ds, f);
        const float z = (v[i] - (c0 + fi * dc)) / s;
        out[i] = s > 0.0f ? z : v[i] * 0.0f; // 0, or NaN in a gap
    }
}

// ---------------------------------------------------------------------------------------------
// normalizeSec(x, window, step, noise)
//
// Expresses x in units of the standard deviation of its local surroundings, so that a threshold
// of "3 SD" means the same thing whatever the gain of the recording and however the amplitude
// drifts. Two choices make that level robust on ECG envelopes:
//  - The statistics are taken on the amplitude sqrt(x) when x is an energy (x >= 0), which
//    compresses the 1000-fold dynamic range of QRS energies; for signed x they are taken on x.
//  - The centre and scale come from the quiet part of each window only: the samples below the
//    90th percentile. Beats (and large ectopic beats above all) occupy the top of the
//    distribution; with a plain mean and SD they inflate the scale, and in ventricular
//    bigeminy a 3-SD threshold then misses the normal beats.
// The output is (a - centre) / max(scale, noise), with a = sqrt(x) or x. Statistics are computed
// for windows centred on anchor points every `step` seconds and interpolated linearly between
// anchors, so the level glides instead of jumping. When the quiet part is perfectly flat the SD
// of the whole window is used instead; a flat window gives 0.
// Look-back and look-ahead: window / 2 + step.
class NormalizeSec final : public BlockSignal {
public:
    NormalizeSec(SignalPtr x, double window, double step, double noise)
        : mInput(std::move(x))
        , mWindow(window)
        , mStep(step)
        , mNoise(noise)
    {
    }
    TimeBase Info(int record) override { return mInput->Info(record); }
    void Trim() override
    {
        BlockSignal::Trim();
        mInput->Trim();
        mIn = {};
        mValues = {};
        mSorted = {};
        mAnchors = {};
        mWindows = {};
    }

protected:
    void ComputeBlock(int record, int64_t start, std::span<float> out) override
    {
        const TimeBase tb = Info(record);
        const int64_t step = std::max<int64_t>(1, ToSamples(mStep, tb.interval));
        const int64_t half = std::max<int64_t>(1, ToSamples(mWindow, tb.interval) / 2);
        const int64_t end = start + static_cast<int64_t>(out.size());
        const int64_t firstAnchor = start / step;
        const int64_t lastAnchor = (end - 1) / step + 1;
        // Each anchor's window, slid inside the record at its edges so that it stays full length
        // whenever the record is long enough.
        mWindows.clear();
        int64_t from = start, to = end;
        for (int64_t k = firstAnchor; k <= lastAnchor; ++k) {
            const int64_t a = std::clamp<int64_t>(k * step - half, 0, std::max<int64_t>(0, tb.length - 2 * half));
            const int64_t b = std::min(tb.length, a + 2 * half);
            mWindows.emplace_back(a, b);
            from = std::min(from, a);
            to = std::max(to, b);
        }
        ReadInto(*mInput, record, from, static_cast<std::size_t>(to - from), mIn);
        mValues.resize(mIn.size());
        const float* in = mIn.data();
        float* values = mValues.data();
        const std::size_t count = mIn.size();
        bool energy = true;
        for (std::size_t i = 0; i < count; ++i)
            energy &= !(in[i] < 0.0f); // gaps (NaN) take no part
        // Decided per block from the data of its anchors; an energy channel is non-negative
        // everywhere, so in practice this is constant for a channel.
        if (energy)
            for (std::size_t i = 0; i < count; ++i)
                values[i] = std::sqrt(in[i]);
        else
            std::copy_n(in, count, values);

        mAnchors.clear();
        for (const auto& [a, b] : mWindows)
            mAnchors.push_back(Statistics(static_cast<std::size_t>(a - from), static_cast<std::size_t>(b - from)));
        // Between two anchors the centre and the scale move linearly.
        for (int64_t k = firstAnchor; k < lastAnchor; ++k) {
            const Stat& s0 = mAnchors[static_cast<std::size_t>(k - firstAnchor)];
            const Stat& s1 = mAnchors[static_cast<std::size_t>(k - firstAnchor + 1)];
            const int64_t p0 = std::max(start, k * step);
            const int64_t p1 = std::min(end, (k + 1) * step);
            const double dc = (s1.centre - s0.centre) / static_cast<double>(step);
            const double ds = (s1.scale - s0.scale) / static_cast<double>(step);
            const double f0 = static_cast<double>(p0 - k * step);
            Normalise(out.data() + (p0 - start), mValues.data() + (p0 - from), static_cast<std::size_t>(p1 - p0),
                s0.centre + f0 * dc, dc, s0.scale + f0 * ds, ds, mNoise);
        }
    }

private:
    struct Stat {
        double centre = 0;
        double scale = 0;
    };

    // Mean and SD of the samples below the 90th percentile of values[a, b). Long windows are
    // thinned to at most 1024 samples (every k-th), which leaves the percentile statistics
    // unchanged for all practical purposes and keeps the cost per output sample constant.
    Stat Statistics(std::size_t a, std::size_t b)
    {
        Stat s;
        if (b <= a)
            return s;
        const std::size_t stride = std::max<std::size_t>(1, (b - a + 1023) / 1024);
        mSorted.clear();
        for (std::size_t i = a; i < b; i += stride)
            if (IsFinite(mValues[i])) // gaps take no part
                mSorted.push_back(mValues[i]);
        const std::size_t n = mSorted.size();
        if (n == 0)
            return s;
        const std::size_t q = std::min(n - 1, static_cast<std::size_t>(0.9 * static_cast<double>(n)));
        std::nth_element(mSorted.begin(), mSorted.begin() + static_cast<std::ptrdiff_t>(q), mSorted.end());
        auto moments = [&](std::size_t count) {
            double sum = 0, sum2 = 0;
            for (std::size_t i = 0; i < count; ++i) {
                sum += mSorted[i];
                sum2 += static_cast<double>(mSorted[i]) * mSorted[i];
            }
            const double mean = sum / static_cast<double>(count);
            const double var = std::max(0.0, sum2 / static_cast<double>(count) - mean * mean);
            return Stat { mean, std::sqrt(var) };
        };
        const std::size_t quiet = std::max<std::size_t>(q, 1);
        s = moments(quiet);
        if (!(s.scale > 1e-12 * std::max(1.0, std::abs(s.centre))))
            s.scale = moments(n).scale;
        return s;
    }

    SignalPtr mInput;
    double mWindow, mStep, mNoise;
    std::vector<float> mIn;
    std::vector<float> mValues;
    std::vector<float> mSorted;
    std::vector<Stat> mAnchors;
    std::vector<std::pair<int64_t, int64_t>> mWindows;
};

// ---------------------------------------------------------------------------------------------
// cmpeakdet(x, height, minPeriod, tPercent)
//
// Peak events of x (one 16-byte event per peak: position, fraction 0, the value of x there).
// A sample is a peak when
//  1. x >= height;
//  2. it is the largest value within minPeriod seconds on either side (ties go to the earliest),
//     so peaks are at least minPeriod apart and a small wave just before a large one yields to
//     it (a refractory period that keeps the best-placed peak, not the first);
//  3. (T-wave rule) when an earlier peak lies within 2 x minPeriod before it, it reaches at least
//     tPercent % of that peak's value. After each QRS the repolarisation (T) wave follows at
//     roughly 0.2 to 0.45 s in humans; its energy is a fraction of the QRS's, whereas a real
//     beat that early (tachycardia, an ectopic beat) is of comparable size. tPercent = 0 turns
//     the rule off. The rule looks only at rule-2 peaks, not at accepted ones, so the outcome at
//     any position depends on a bounded neighbourhood.
//  4. (noise rule, for height > 0) Inside noise, a peak keeps to the rhythm of its neighbours.
//     Noise is measured as Pan and Tompkins do, by noise peaks against signal peaks, but over a
//     window instead of running averages: the noise peaks around a rule-3 peak are the other
//     local maxima of x within W = 2.5 s on either side that reach half the median value of the
//     rule-3 peaks there. In an ECG envelope the P and T waves stay well below half the QRS, so
//     a clean stretch has none or one; two or more mean artefacts of beat-like size (electrode
//     motion, muscle), and only there is the peak checked against the local rhythm, with R the
//     median interval between the rule-3 peaks within W. The rhythm must be regular: at least
//     two in five of those intervals within 0.2 R of R (an artefact spoils the two intervals
//     around it, yet the beats between artefacts keep R; in bigeminy or atrial fibrillation
//     hardly any interval is near the median, and the rule stands aside). Then:
//     - a peak less than 0.7 R after its predecessor and less than 0.7 R before its successor,
//       while those two are less than 1.3 R apart, is an extra between two beats one interval
//       apart, and is dropped;
//     - a peak between neighbours that are k = 2 or 3 intervals apart (within 0.2 R), more than
//       R / 4 from its place when the k intervals are made equal, is an artefact that took a
//       beat's place (rule 2 hides a beat next to a larger artefact); it is replaced by the
//       local maximum of at least height within minPeriod of it that lies nearest to that place,
//       when there is one within R / 8 of it.
//     More than 64 rule-3 peaks within W of a peak is no heart rhythm, and the rule leaves it.
//     A premature beat keeps its place (it comes early but is followed by a long interval); an
//     interpolated premature beat inside noise is indistinguishable from an extra and is dropped.
//     Away from noise the rule changes nothing.
// Pan J., Tompkins W.J., A real-time QRS detection algorithm, IEEE Trans. Biomed. Eng.
// 32(3):230-236 (1985) use a 200 ms refractory period and a 360 ms T-wave check in the same way,
// and the interval average for their search-back; Hamilton P.S., Tompkins W.J., Quantitative
// investigation of QRS detection rules using the MIT/BIH arrhythmia database, IEEE Trans.
// Biomed. Eng. 33(12):1157-1165 (1986) compare such noise and interval rules.
// Look-back W + 5 x minPeriod, look-ahead W + 3 x minPeriod (W = 2.5 s).
class PeakDetector final : public EventSignal {
public:
    PeakDetector(SignalPtr x, double height, double minPeriod, double tPercent)
        : mInput(std::move(x))
        , mHeight(height)
        , mMinPeriod(minPeriod)
        , mFraction(tPercent / 100.0)
    {
    }
    TimeBase Info(int record) override { return mInput->Info(record); }
    void Trim() override
    {
        mInput->Trim();
        mIn = {};
        mCandidates = {};
        mBase = {};
        mLocal = {};
        mPart = {};
        mPartLocal = {};
        mMedian = {};
        mCache = {};
        mRuleCache = {};
    }
    uint32_t RecordSize() override { return 16; }

    void Read(int record, int64_t start, int64_t end, EventBuffer& out) override
    {
        const int64_t length = Info(record).length;
        start = std::max<int64_t>(start, 0);
        end = std::min(end, length);
        for (int64_t block = start / kBlock; block * kBlock < end; ++block) {
            const Cached& c = Fetch(record, block, length);
            for (const auto& [pos, value] : c.peaks)
                if (pos >= start && pos < end)
                    AppendValueEvent(out, static_cast<int32_t>(pos), value);
        }
    }

private:
    static constexpr int64_t kBlock = BlockSignal::kBlock;
    static constexpr double kNoiseWindow = 2.5; // W of rule 4, seconds
    using Peaks = std::vector<std::pair<int64_t, double>>;
    struct LocalMax {
        int64_t position;
        float value;
        bool peak; // a rule-3 peak
    };
    struct Cached {
        int record = -1;
        int64_t index = -1;
        uint64_t lastUse = 0;
        Peaks peaks;
        std::vector<LocalMax> local; // blocks of rules 1-3: their local maxima of at least height / 2
    };

    // The block `index` of a cache of four, computed by compute(a, b, slot) when missing.
    template <typename F>
    static const Cached& Fetch(
        std::vector<Cached>& cache, uint64_t& clock, int record, int64_t index, int64_t length, F compute)
    {
        ++clock;
        for (Cached& c : cache)
            if (c.record == record && c.index == index) {
                c.lastUse = clock;
                return c;
            }
        Cached* slot;
        if (cache.size() < 4) {
            cache.emplace_back();
            slot = &cache.back();
        } else
            slot = &*std::min_element(
                cache.begin(), cache.end(), [](const Cached& a, const Cached& b) { return a.lastUse < b.lastUse; });
        slot->record = -1;
        compute(index * kBlock, std::min(length, (index + 1) * kBlock), *slot);
        slot->record = record;
        slot->index = index;
        slot->lastUse = clock;
        return *slot;
    }

    static const Cached* Find(const std::vector<Cached>& cache, int record, int64_t index)
    {
        for (const Cached& c : cache)
            if (c.record == record && c.index == index)
                return &c;
        return nullptr;
    }

    const Cached& Fetch(int record, int64_t index, int64_t length)
    {
        return Fetch(mCache, mClock, record, index, length,
            [&](int64_t a, int64_t b, Cached& slot) { Compute(record, a, b, length, slot.peaks); });
    }

    // Rules 1-4 for the peaks in [a, b).
    void Compute(int record, int64_t a, int64_t b, int64_t length, Peaks& peaks)
    {
        peaks.clear();
        if (!(mHeight > 0)) {
            RulePeaks(record, a, b, peaks, nullptr);
            return;
        }
        const double dt = Info(record).interval;
        const int64_t p = std::max<int64_t>(1, ToSamples(mMinPeriod, dt));
        const int64_t w = std::max<int64_t>(1, ToSamples(kNoiseWindow, dt));
        // A peak in [a, b) comes from a rule-3 peak within minPeriod, which looks at the rule-3
        // peaks within W and at the local maxima within W and within minPeriod of it. Rules 1-3
        // of the block itself are kept; the margins come from the neighbouring blocks when those
        // are kept (the previous one on a walk), else they are computed as stretches of their own,
        // so that a block never costs the stages below more than a few seconds beyond it.
        const int64_t margin = w + 2 * p + 1;
        const int64_t from = std::max<int64_t>(0, a - margin);
        const int64_t to = std::min(length, b + margin);
        mBase.clear();
        mLocal.clear();
        auto take = [&](const Peaks& rulePeaks, const std::vector<LocalMax>& local, int64_t s, int64_t e) {
            for (const auto& peak : rulePeaks)
                if (peak.first >= s && peak.first < e)
                    mBase.push_back(peak);
            for (const LocalMax& m : local)
                if (m.position >= s && m.position < e)
                    mLocal.push_back(m);
        };
        auto stretch = [&](int64_t s, int64_t e) {
            if (s >= e)
                return;
            std::vector<const Cached*> kept;
            for (int64_t block = s / kBlock; block * kBlock < e; ++block) {
                const Cached* c = Find(mRuleCache, record, block);
                if (!c)
                    break;
                kept.push_back(c);
            }
            if (static_cast<int64_t>(kept.size()) == (e - 1) / kBlock - s / kBlock + 1)
                for (const Cached* c : kept)
                    take(c->peaks, c->local, s, e);
            else {
                RulePeaks(record, s, e, mPart, &mPartLocal);
                take(mPart, mPartLocal, s, e);
            }
        };
        stretch(from, a);
        const Cached& own = Fetch(mRuleCache, mRuleClock, record, a / kBlock, length,
            [&](int64_t s, int64_t e, Cached& slot) { RulePeaks(record, s, e, slot.peaks, &slot.local); });
        take(own.peaks, own.local, a, b);
        stretch(b, to);
        for (std::size_t i = 0; i < mBase.size(); ++i) {
            const int64_t c = mBase[i].first;
            if (c < a - p || c > b + p)
                continue;
            const auto at = Rhythm(i, w, p);
            if (at.first >= a && at.first < b)
                peaks.push_back(at);
        }
        std::sort(peaks.begin(), peaks.end());
        peaks.erase(std::unique(peaks.begin(), peaks.end()), peaks.end());
    }

    // Median of mMedian (reordered); the mean of the middle two for an even count.
    double Median()
    {
        const std::size_t n = mMedian.size();
        const auto mid = mMedian.begin() + static_cast<std::ptrdiff_t>(n / 2);
        std::nth_element(mMedian.begin(), mid, mMedian.end());
        if (n % 2)
            return *mid;
        return 0.5 * (*mid + *std::max_element(mMedian.begin(), mid));
    }

    // Rule 4: where the rule-3 peak mBase[i] goes, and its value (position -1: dropped).
    std::pair<int64_t, double> Rhythm(std::size_t i, int64_t w, int64_t p)
    {
        const int64_t c = mBase[i].first;
        // The rule-3 peaks within W: mBase[lo, hi).
        std::size_t lo = i, hi = i + 1;
        // More than kMostPeaks of them is no heart rhythm (above 750 a minute): the rule stands
        // aside, which also bounds its cost on dense peaks.
        constexpr std::size_t kMostPeaks = 64;
        while (lo > 0 && mBase[lo - 1].first >= c - w && hi - lo <= kMostPeaks)
            --lo;
        while (hi < mBase.size() && mBase[hi].first <= c + w && hi - lo <= kMostPeaks)
            ++hi;
        if (hi - lo < 2 || hi - lo > kMostPeaks)
            return mBase[i];
        auto after = [&](int64_t t) {
            return std::lower_bound(
                mLocal.begin(), mLocal.end(), t, [](const LocalMax& m, int64_t u) { return m.position < u; });
        };
        mMedian.clear();
        for (std::size_t k = lo; k < hi; ++k)
            mMedian.push_back(mBase[k].second);
        const double noiseLevel = 0.5 * Median();
        int noise = 0;
        for (auto m = after(c - w); m != mLocal.end() && m->position <= c + w && noise < 2; ++m)
            noise += !m->peak && m->value >= noiseLevel;
        if (noise < 2)
            return mBase[i];
        mMedian.clear();
        for (std::size_t k = lo; k + 1 < hi; ++k)
            mMedian.push_back(static_cast<double>(mBase[k + 1].first - mBase[k].first));
        const double r = Median();
        std::size_t regular = 0;
        for (double interval : mMedian)
            regular += std::abs(interval - r) <= 0.2 * r;
        if (static_cast<double>(regular) < 0.4 * static_cast<double>(mMedian.size()))
            return mBase[i];
        const std::size_t n = i - lo; // c's index in the window
        auto at = [&](std::size_t k) { return static_cast<double>(mBase[lo + k].first); };
        const auto cd = static_cast<double>(c);
        if (n > 0 && lo + n + 1 < hi && cd - at(n - 1) < 0.7 * r && at(n + 1) - cd < 0.7 * r
            && at(n + 1) - at(n - 1) < 1.3 * r)
            return { -1, 0.0 };
        for (std::size_t k = 2; k <= 3; ++k)
            for (std::size_t j = 1; j < k; ++j) {
                if (j > n || lo + n - j + k >= hi)
                    continue;
                const double left = at(n - j), right = at(n - j + k);
                if (!(std::abs((right - left) - static_cast<double>(k) * r) < 0.2 * r))
                    continue;
                const double place = left + static_cast<double>(j) * (right - left) / static_cast<double>(k);
                if (std::abs(cd - place) <= 0.25 * r)
                    continue;
                const LocalMax* best = nullptr;
                double distance = 0;
                for (auto m = after(c - p); m != mLocal.end() && m->position <= c + p; ++m) {
                    const double d = std::abs(static_cast<double>(m->position) - place);
                    if (m->value >= static_cast<float>(mHeight) && (!best || d < distance)) {
                        best = &*m;
                        distance = d;
                    }
                }
                if (best && distance < 0.125 * r)
                    return { best->position, best->value };
            }
        return mBase[i];
    }

    // Rules 1-3 for the peaks in [a, b); with local, also the local maxima in [a, b) of at least
    // height / 2.
    void RulePeaks(int record, int64_t a, int64_t b, Peaks& peaks, std::vector<LocalMax>* local)
    {
        peaks.clear();
        if (local)
            local->clear();
        const double dt = Info(record).interval;
        const int64_t p = std::max<int64_t>(1, ToSamples(mMinPeriod, dt));
        const int64_t tWindow = mFraction > 0 ? 2 * p : 0;
        const int64_t from = a - tWindow - p;
        const int64_t to = b + p;
        ReadInto(*mInput, record, from, static_cast<std::size_t>(to - from), mIn);
        // A gap is never a peak and never outweighs one (a select, so that the loop vectorises).
        for (float& v : mIn)
            v = IsFinite(v) ? v : -std::numeric_limits<float>::infinity();
        auto x = [&](int64_t pos) { return mIn[static_cast<std::size_t>(pos - from)]; };
        const float height = static_cast<float>(mHeight);
        const double halfHeight = 0.5 * mHeight;
        // The float at or below the smaller of height and half of it, to pass over most samples
        // at one comparison.
        const double lowestExact = std::min(mHeight, halfHeight);
        float lowest = static_cast<float>(lowestExact);
        if (static_cast<double>(lowest) > lowestExact)
            lowest = std::nextafter(lowest, -std::numeric_limits<float>::infinity());
        // Rule 2 candidates in [a - tWindow, b).
        mCandidates.clear();
        for (int64_t t = a - tWindow; t < b; ++t) {
            const float v = x(t);
            if (!(v >= lowest) || !(v > x(t - 1)) || !(v >= x(t + 1)))
                continue;
            if (local && t >= a && v >= halfHeight)
                local->push_back({ t, v, false });
            if (!(v >= height) || t < 0)
                continue;
            bool best = true;
            for (int64_t u = std::max(t - p, from); u < t && best; ++u)
                best = x(u) < v;
            for (int64_t u = t + 2; u <= t + p && best; ++u)
                best = x(u) <= v;
            if (best)
                mCandidates.emplace_back(t, v);
        }
        // Rule 3 on the candidates inside [a, b).
        for (std::size_t i = 0; i < mCandidates.size(); ++i) {
            const auto [t, v] = mCandidates[i];
            if (t < a)
                continue;
            bool keep = true;
            for (std::size_t j = i; j-- > 0 && keep;) {
                if (mCandidates[j].first < t - tWindow)
                    break;
                keep = v >= mFraction * mCandidates[j].second;
            }
            if (keep)
                peaks.emplace_back(t, v);
        }
        // Rule-3 peaks are local maxima of at least height.
        if (local) {
            std::size_t k = 0;
            for (LocalMax& m : *local) {
                while (k < peaks.size() && peaks[k].first < m.position)
                    ++k;
                m.peak = k < peaks.size() && peaks[k].first == m.position;
            }
        }
    }

    SignalPtr mInput;
    double mHeight, mMinPeriod, mFraction;
    std::vector<float> mIn;
    Peaks mCandidates;
    Peaks mBase; // rule-3 peaks around the block being computed
    std::vector<LocalMax> mLocal; // and their local maxima
    Peaks mPart; // a margin's rule-3 peaks
    std::vector<LocalMax> mPartLocal; // and local maxima
    std::vector<double> mMedian;
    std::vector<Cached> mCache; // rules 1-4
    std::vector<Cached> mRuleCache; // rules 1-3
    uint64_t mClock = 0, mRuleClock = 0;
};

// ---------------------------------------------------------------------------------------------
// sinewave(f): sin(2 pi f t), t = position x sample interval, on the time base of the formula's
// context. The phase is reduced in double precision before the sine, so that hours into a record
// it is as exact as at its start.
class SineWave final : public Signal {
public:
    SineWave(SignalPtr timeBase, double f)
        : mTimeBase(std::move(timeBase))
        , mFrequency(f)
    {
    }
    TimeBase Info(int record) override { return mTimeBase->Info(record); }
    void Read(int record, int64_t start, std::span<float> out) override
    {
        const TimeBase tb = Info(record);
        const double cycles = mFrequency * tb.interval;
        for (std::size_t i = 0; i < out.size(); ++i) {
            const int64_t pos
                = std::clamp<int64_t>(start + static_cast<int64_t>(i), 0, std::max<int64_t>(tb.length - 1, 0));
            const double turns = cycles * static_cast<double>(pos);
            out[i] = static_cast<float>(std::sin(2.0 * std::numbers::pi * (turns - std::floor(turns))));
        }
    }

private:
    SignalPtr mTimeBase;
    double mFrequency;
};

class Constant final : public Signal {
public:
    Constant(SignalPtr timeBase, double v)
        : mTimeBase(std::move(timeBase))
        , mValue(static_cast<float>(v))
    {
    }
    TimeBase Info(int record) override { return mTimeBase->Info(record); }
    void Read(int, int64_t, std::span<float> out) override { std::fill(out.begin(), out.end(), mValue); }

private:
    SignalPtr mTimeBase;
    float mValue;
};

float Apply(wchar_t op, float a, float b)
{
    switch (op) {
    case L'+':
        return a + b;
    case L'-':
        return a - b;
    case L'*':
        return a * b;
    default:
        return a / b;
    }
}

class Binary final : public Signal {
public:
    Binary(wchar_t op, SignalPtr l, SignalPtr r)
        : mOp(op)
        , mLeft(std::move(l))
        , mRight(std::move(r))
    {
    }
    TimeBase Info(int record) override
    {
        TimeBase a = mLeft->Info(record);
        TimeBase b = mRight->Info(record);
        if (a.interval != b.interval && a.interval > 0 && b.interval > 0)
            throw CalcError("channels with different sample rates (" + Num(a.Rate()) + " Hz and " + Num(b.Rate())
                + " Hz) cannot be combined in record " + std::to_string(record + 1));
        return a.length <= b.length ? a : b;
    }
    void Trim() override
    {
        mLeft->Trim();
        mRight->Trim();
        mTemp = {};
    }
    void Read(int record, int64_t start, std::span<float> out) override
    {
        mLeft->Read(record, start, out);
        mTemp.resize(out.size());
        mRight->Read(record, start, mTemp);
        const float* r = mTemp.data();
        switch (mOp) {
        case L'+':
            for (std::size_t i = 0; i < out.size(); ++i)
                out[i] += r[i];
            break;
        case L'-':
            for (std::size_t i = 0; i < out.size(); ++i)
                out[i] -= r[i];
            break;
        case L'*':
            for (std::size_t i = 0; i < out.size(); ++i)
                out[i] *= r[i];
            break;
        default:
            for (std::size_t i = 0; i < out.size(); ++i)
                out[i] /= r[i];
        }
    }

private:
    wchar_t mOp;
    SignalPtr mLeft, mRight;
    std::vector<float> mTemp;
};

class BinaryConstant final : public Signal {
public:
    BinaryConstant(wchar_t op, SignalPtr x, double c, bool constantOnLeft)
        : mOp(op)
        , mInput(std::move(x))
        , mConstant(static_cast<float>(c))
        , mConstantOnLeft(constantOnLeft)
    {
    }
    TimeBase Info(int record) override { return mInput->Info(record); }
    void Trim() override { mInput->Trim(); }
    void Read(int record, int64_t start, std::span<float> out) override
    {
        mInput->Read(record, start, out);
        for (float& v : out)
            v = mConstantOnLeft ? Apply(mOp, mConstant, v) : Apply(mOp, v, mConstant);
    }

private:
    wchar_t mOp;
    SignalPtr mInput;
    float mConstant;
    bool mConstantOnLeft;
};

class Cached final : public BlockSignal {
public:
    explicit Cached(SignalPtr x)
        : mInput(std::move(x))
    {
    }
    TimeBase Info(int record) override { return mInput->Info(record); }
    void Trim() override
    {
        BlockSignal::Trim();
        mInput->Trim();
    }

protected:
    void ComputeBlock(int record, int64_t start, std::span<float> out) override { mInput->Read(record, start, out); }

private:
    SignalPtr mInput;
};

} // namespace

std::vector<Biquad> DesignZeroPhaseLowPass(double cutoffHz, double sampleRate)
{
    // Forward-backward squares the magnitude: |H(fc)|^2 = 1/sqrt(2) needs
    // (tan(pi fc / fs) / K)^8 = sqrt(2) - 1 for the pre-warped design frequency K of each pass.
    const double k = std::tan(std::numbers::pi * cutoffHz / sampleRate) / kDesignRatio;
    std::vector<Biquad> sections;
    // Fourth-order Butterworth: two sections with Q = 1 / (2 cos(pi/8)) and 1 / (2 cos(3 pi/8)).
    for (double q : { 0.54119610014619698, 1.3065629648763766 }) {
        const double norm = 1.0 / (1.0 + k / q + k * k);
        Biquad s;
        s.b0 = k * k * norm;
        s.b1 = 2.0 * s.b0;
        s.b2 = s.b0;
        s.a1 = 2.0 * (k * k - 1.0) * norm;
        s.a2 = (1.0 - k / q + k * k) * norm;
        sections.push_back(s);
    }
    return sections;
}

std::vector<double> DesignHilbert(int points)
{
    const int h = points / 2;
    std::vector<double> kernel(static_cast<std::size_t>(2 * h + 1), 0.0);
    for (int k = 1; k <= h; k += 2) {
        const double window = 0.54 + 0.46 * std::cos(std::numbers::pi * k / (h + 1));
        const double c = 2.0 / (std::numbers::pi * k) * window;
        kernel[static_cast<std::size_t>(h + k)] = -c; // y[i] = sum_k kernel[h + k] x[i + k]
        kernel[static_cast<std::size_t>(h - k)] = c;
    }
    return kernel;
}

SignalPtr MakeLowPass(SignalPtr x, double cutoffHz)
{
    return std::make_shared<LowPass>(std::move(x), cutoffHz);
}
SignalPtr MakeDifferentiate(SignalPtr x, int points)
{
    return std::make_shared<Differentiate>(std::move(x), points);
}
SignalPtr MakeHilbert(SignalPtr x, int points)
{
    return std::make_shared<Hilbert>(std::move(x), points);
}
SignalPtr MakeNormalizeSec(SignalPtr x, double windowSec, double stepSec, double noiseFloor)
{
    return std::make_shared<NormalizeSec>(std::move(x), windowSec, stepSec, noiseFloor);
}
EventSignalPtr MakePeakDetector(SignalPtr x, double height, double minPeriodSec, double tPercent)
{
    return std::make_shared<PeakDetector>(std::move(x), height, minPeriodSec, tPercent);
}
SignalPtr MakeSineWave(SignalPtr timeBase, double frequencyHz)
{
    return std::make_shared<SineWave>(std::move(timeBase), frequencyHz);
}
SignalPtr MakeConstant(SignalPtr timeBase, double value)
{
    return std::make_shared<Constant>(std::move(timeBase), value);
}
SignalPtr MakeBinary(wchar_t op, SignalPtr left, SignalPtr right)
{
    return std::make_shared<Binary>(op, std::move(left), std::move(right));
}
SignalPtr MakeBinaryConstant(wchar_t op, SignalPtr left, double right, bool constantOnLeft)
{
    return std::make_shared<BinaryConstant>(op, std::move(left), right, constantOnLeft);
}
SignalPtr MakeNegate(SignalPtr x)
{
    return std::make_shared<BinaryConstant>(L'*', std::move(x), -1.0, false);
}
SignalPtr MakeCached(SignalPtr x)
{
    return std::make_shared<Cached>(std::move(x));
}

} // namespace vx::calc
