#pragma once

#include <cstddef>

namespace HRV {

// Data windows of the spectrum, by their settings value; any other value is rectangular.
enum DataWindowType : int {
    kWindowRectangular = 0,
    kWindowTriangular = 1,
    kWindowHamming = 2,
    kWindowBlackman = 3,
    kWindowWelch = 4,
    kWindowHann = 5,
};

// Weight of a window at the normalised position u in [0, 1].
double DataWindowWeight(int windowType, double u);

// Weights of the samples at times t[0..n-1], placed by time (u = (t_i - t_0) / (t_{n-1} - t_0)),
// scaled to a mean square of 1. Returns the mean square of the unscaled weights; all-zero weights
// (a two-sample Hann window, say) stay zero. Times without a span get unit weights, since a
// window over no time cannot place them. Null pointers or n < 1: nothing is written, 0 returned.
double ApplyDataWindow(int windowType, const double* t, double* weights, std::size_t n);

// Least-squares line x = slope * t + intercept over n points. False when n < 2, a pointer is
// null (the intercept's may be) or the times do not spread (their sum of squared deviations is
// not above the double epsilon).
bool LinearRegression(const double* t, const double* x, std::size_t n, double* slope, double* intercept);

// Lomb-Scargle periodogram (Lomb, Astrophys Space Sci 39:447-462, 1976; Scargle, ApJ
// 263:835-853, 1982) of x at times t after a linear detrend and the data window, at the angular
// frequencies omega[0..nfreq-1]:
//   power_k = (C^2 / CC_tau + S^2 / SS_tau) / n.
// A term whose tau-shifted cosine or sine sum vanishes (all samples on a zero of that function,
// as at the Nyquist frequency of regular beats) carries no information and is left out. A zero
// frequency gives 0; fewer than 2 samples give NaN throughout.
void LombScarglePeriodogram(int windowType, const double* t, const double* x, const double* omega, double* power,
    std::size_t n, std::size_t nfreq);

} // namespace HRV
