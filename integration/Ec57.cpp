#include "integration/Ec57.h"

#include <algorithm>
#include <cmath>
#include <cstdlib>

namespace vx::ec57 {

void Score::Add(const Score& s)
{
    tp += s.tp;
    fn += s.fn;
    fp += s.fp;
    offsetsMs.insert(offsetsMs.end(), s.offsetsMs.begin(), s.offsetsMs.end());
}

double Score::Se() const
{
    return tp + fn ? 100.0 * static_cast<double>(tp) / static_cast<double>(tp + fn) : 100.0;
}

double Score::PP() const
{
    return tp + fp ? 100.0 * static_cast<double>(tp) / static_cast<double>(tp + fp) : 100.0;
}

std::pair<double, double> Score::Timing() const
{
    std::vector<double> a;
    for (double v : offsetsMs)
        a.push_back(std::abs(v));
    if (a.empty())
        return { 0, 0 };
    std::sort(a.begin(), a.end());
    return { a[a.size() / 2], a[std::min(a.size() - 1, a.size() * 95 / 100)] };
}

Score Match(const std::vector<std::int64_t>& reference, const std::vector<std::int64_t>& detected, std::int64_t window,
    double rate, std::vector<std::int64_t>* missed, std::vector<std::int64_t>* extra)
{
    Score s;
    std::vector<bool> used(detected.size(), false);
    std::size_t lo = 0;
    for (std::int64_t r : reference) {
        while (lo < detected.size() && detected[lo] < r - window)
            ++lo;
        std::size_t best = detected.size();
        for (std::size_t j = lo; j < detected.size() && detected[j] <= r + window; ++j)
            if (!used[j] && (best == detected.size() || std::llabs(detected[j] - r) < std::llabs(detected[best] - r)))
                best = j;
        if (best < detected.size()) {
            used[best] = true;
            ++s.tp;
            s.offsetsMs.push_back(1000.0 * static_cast<double>(detected[best] - r) / rate);
        } else {
            ++s.fn;
            if (missed)
                missed->push_back(r);
        }
    }
    for (std::size_t j = 0; j < detected.size(); ++j)
        if (!used[j]) {
            ++s.fp;
            if (extra)
                extra->push_back(detected[j]);
        }
    return s;
}

} // namespace vx::ec57
