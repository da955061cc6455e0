#pragma once
// Uniform random numbers in [0, 1): the minimal-standard multiplicative generator (16807 mod
// 2^31 - 1, by Schrage's factorisation) with a Bays-Durham shuffle of 32 entries. A seed that is
// not positive restarts the sequence from its magnitude, so one seed always gives one sequence.
#include <algorithm>
#include <cstdint>

class UniformRandom {
public:
    explicit UniformRandom(std::int32_t seed = -1) { Seed(seed); }

    void Seed(std::int32_t seed)
    {
        mValue = seed > 0 ? -seed : seed;
        mLast = 0;
    }

    float Draw()
    {
        constexpr std::int32_t kTable = 32;
        constexpr std::int32_t kDivisor = 1 + (kModulus - 1) / kTable; // 67108864
        if (mValue <= 0 || mLast == 0) {
            mValue = std::max<std::int32_t>(1, mValue == INT32_MIN ? INT32_MAX : -mValue);
            for (std::int32_t j = kTable + 7; j >= 0; --j) {
                Step();
                if (j < kTable)
                    mTable[j] = mValue;
            }
            mLast = mTable[0];
        }
        Step();
        const std::int32_t j = mLast / kDivisor;
        mLast = mTable[j];
        mTable[j] = mValue;
        const float result = static_cast<float>(mLast * (1.0 / kModulus));
        return std::min(result, 0.99999988f);
    }

private:
    static constexpr std::int32_t kModulus = 2147483647;

    void Step()
    {
        const std::int32_t k = mValue / 127773;
        mValue = 16807 * (mValue - k * 127773) - 2836 * k;
        if (mValue < 0)
            mValue += kModulus;
    }

    std::int32_t mValue = -1;
    std::int32_t mLast = 0;
    std::int32_t mTable[32] = {};
};
