#pragma once
// A detected beat as the tests of the beat's texts, colours and drawing need it: at sample 1000,
// with its interval, the interval's change, its complexity and its class.
#include <cstdint>

#include "hostframework/interfaces/BeatEvents.h"

namespace HRV::test {

inline FiducialEvent Beat(double rr, double deltaRR, double complexity, uint32_t cls, int32_t number = 12)
{
    FiducialEvent e;
    e.mPosition = 1000;
    e.mPeakValue = 1.0;
    e.mBeatNumber = number;
    e.mComplexity = complexity;
    e.mRR = rr;
    e.mDeltaRR = deltaRR;
    e.mClass = cls;
    return e;
}

} // namespace HRV::test
