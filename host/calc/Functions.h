#pragma once
// The channel functions of the formula language. Each is a Signal (or EventSignal) stage with a
// bounded look-back and look-ahead; see Functions.cpp for what each computes and why.
#include "host/calc/Signal.h"

#include <memory>

namespace vx::calc {

using SignalPtr = std::shared_ptr<Signal>;
using EventSignalPtr = std::shared_ptr<EventSignal>;

// lowpass(x, fc): zero-phase low-pass with a -3 dB cut-off at fc Hz.
SignalPtr MakeLowPass(SignalPtr x, double cutoffHz);
// differentiate(x, n): least-squares slope over n (odd) centred points, in units per second.
SignalPtr MakeDifferentiate(SignalPtr x, int points);
// resample(x, 1, 1, 1, n, 0, 2): quadrature (Hilbert) transform with an n-point centred kernel.
SignalPtr MakeHilbert(SignalPtr x, int points);
// normalizeSec(x, window, step, noise): x in robust local standard-deviation units.
SignalPtr MakeNormalizeSec(SignalPtr x, double windowSec, double stepSec, double noiseFloor);
// cmpeakdet(x, height, minPeriod, tPercent): peak events.
EventSignalPtr MakePeakDetector(SignalPtr x, double height, double minPeriodSec, double tPercent);
// sinewave(f): sin(2 pi f t) on the time base given by timeBase.
SignalPtr MakeSineWave(std::shared_ptr<Signal> timeBase, double frequencyHz);

// Arithmetic and plumbing.
SignalPtr MakeConstant(SignalPtr timeBase, double value);
SignalPtr MakeBinary(wchar_t op, SignalPtr left, SignalPtr right);
SignalPtr MakeBinaryConstant(wchar_t op, SignalPtr left, double right, bool constantOnLeft);
SignalPtr MakeNegate(SignalPtr x);
// A cache in front of a stage that is read many times over overlapping stretches.
SignalPtr MakeCached(SignalPtr x);

// Exposed for tests and the scoring tool: the designed filters.
struct Biquad {
    double b0, b1, b2, a1, a2;
};
// Sections of the low-pass that, run forwards and then backwards, give -3 dB at cutoffHz.
std::vector<Biquad> DesignZeroPhaseLowPass(double cutoffHz, double sampleRate);
// Hamming-windowed ideal Hilbert kernel, taps k = -h..h with h = points / 2.
std::vector<double> DesignHilbert(int points);

} // namespace vx::calc
