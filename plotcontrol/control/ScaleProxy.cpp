#include "plotcontrol/control/ScaleProxy.h"

#include <cfloat>

namespace KEL {

double ScaleProxy::GetLowestAllowed() const
{
    return -DBL_MAX;
}

double ScaleProxy::GetHighestAllowed() const
{
    return DBL_MAX;
}

double ScaleProxy::GetLower() const
{
    if (mAxis == 0)
        return mTask->XRange().second;
    if (mAxis == 1)
        return mTask->YRange().second;
    return -DBL_MAX;
}

double ScaleProxy::GetUpper() const
{
    if (mAxis == 0)
        return mTask->XRange().first;
    if (mAxis == 1)
        return mTask->YRange().first;
    return DBL_MAX;
}

void ScaleProxy::SetRange(double upper, double lower)
{
    ScaleRangePair x = mTask->XRange(), y = mTask->YRange();
    if (mAxis == 0)
        x = { upper, lower };
    else if (mAxis == 1)
        y = { upper, lower };
    if (!IsScaleRangeEmpty(x))
        mTask->SendXRange(x, false);
    if (!IsScaleRangeEmpty(y))
        mTask->SendYRange(y, false);
}

void ScaleProxy::Swap()
{
    if (mAxis == 0 && !IsScaleRangeEmpty(mTask->XRange()))
        mTask->StoreXRange({ mTask->XRange().second, mTask->XRange().first });
    else if (mAxis == 1 && !IsScaleRangeEmpty(mTask->YRange()))
        mTask->StoreYRange({ mTask->YRange().second, mTask->YRange().first });
}

} // namespace KEL
