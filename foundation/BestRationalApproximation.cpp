#include "foundation/BestRationalApproximation.h"

#include <cmath>
#include <limits>

namespace KEL {

void BestRationalApproximation(double x, std::int32_t* numerator, std::int32_t* denominator)
{
    std::int32_t n = 0, d = 1;
    constexpr double kLimit = 2147483648.0; // 2^31
    if (std::isnan(x)) {
        n = 0;
    } else if (x >= kLimit) {
        n = std::numeric_limits<std::int32_t>::max();
    } else if (x <= -kLimit) {
        n = std::numeric_limits<std::int32_t>::min();
    } else {
        // Continued fraction of |x| with convergents h/k and the previous ones h1/k1; all in
        // 64 bits so neither the integer part nor a term can overflow.
        constexpr double kTolerance = 4.656612877414201e-10; // 2^-31
        constexpr std::int64_t kBound = 0x7FFFFFFE;
        double value = std::fabs(x);
        std::int64_t h = static_cast<std::int64_t>(value), k = 1, h1 = 1, k1 = 0;
        for (int term = 0; term < 20; ++term) {
            const double f = value - std::trunc(value);
            if (f < kTolerance)
                break;
            value = 1.0 / f;
            const auto a = static_cast<std::int64_t>(value);
            // Both bounds take the previous numerator; the third test also keeps the denominator,
            // whose previous value may exceed the previous numerator, inside 32 bits.
            if ((h > 0 && (kBound - h1) / h <= a) || (k > 0 && (kBound - h1) / k <= a)
                || (k > 0 && (kBound - k1) / k <= a))
                break;
            const std::int64_t h2 = a * h + h1, k2 = a * k + k1;
            h1 = h;
            k1 = k;
            h = h2;
            k = k2;
        }
        n = static_cast<std::int32_t>(x > 0 ? h : -h);
        d = static_cast<std::int32_t>(k);
    }
    if (numerator)
        *numerator = n;
    if (denominator)
        *denominator = d;
}

} // namespace KEL
