#pragma once
// The beat event record that the fiducial enumerator hands to the host and that the analysis
// engine, the beat marks and the hint text read back: a fixed 80-byte little-endian record.
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <limits>

namespace HRV {

constexpr int32_t kEventEnd = 0x7FFFFFFF;

// The quiet NaN written for missing values.
inline double MissingValue()
{
    const uint64_t bits = 0x7FF8600000000000ull;
    double v;
    std::memcpy(&v, &bits, sizeof v);
    return v;
}

// Class bits of a beat.
constexpr uint32_t kClassRROutside = 0x1;
constexpr uint32_t kClassComplexityOutside = 0x2;
constexpr uint32_t kClassIntervalUsable = 0x100;
constexpr uint32_t kClassDeltaUsable = 0x200;
constexpr uint32_t kClassUserAdded = 0x10000;
constexpr uint32_t kClassUnclassified = 255;

struct FiducialEvent {
    int32_t mPosition = kEventEnd;
    float mFraction = 0.0f;
    double mPeakValue = 0.0;
    int32_t mPeakOffset = 0;
    int32_t mBeatNumber = 0;
    double mActivity = 0.0;
    double mMobility = 0.0;
    double mComplexity = 0.0;
    double mRR = 0.0;
    double mDeltaRR = 0.0;
    double mRate = 0.0;
    uint32_t mClass = kClassUnclassified;
    uint32_t mPadding = 0;

    // Both interval bits: the interval takes part in the statistics.
    bool IsUsed() const
    {
        return (mClass & (kClassIntervalUsable | kClassDeltaUsable)) == (kClassIntervalUsable | kClassDeltaUsable);
    }
};
static_assert(sizeof(FiducialEvent) == 80);
static_assert(offsetof(FiducialEvent, mRR) == 48 && offsetof(FiducialEvent, mClass) == 72);

// The 16-byte value event of the selector.
struct SelectorEvent {
    int32_t mPosition = kEventEnd;
    float mFraction = 0.0f;
    double mValue = 0.0;
};
static_assert(sizeof(SelectorEvent) == 16);

} // namespace HRV
