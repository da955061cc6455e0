#include "hrv/eventdraw/BeatMarkDraw.h"

#include "hrv/analysis/ValueFormatter.h"

#include <cmath>

namespace HRV {

uint32_t BeatMarkColour(const FiducialEvent& e)
{
    if (e.mPosition == kEventEnd || (e.mClass & 0xFF) == kClassUnclassified || std::isnan(e.mRR)
        || std::isnan(e.mDeltaRR))
        return kMarkGrey;
    if ((e.mClass & 0xFFFF0000u) == kClassUserAdded)
        return kMarkGreen;
    const uint32_t outside = e.mClass & (kClassRROutside | kClassComplexityOutside);
    if (outside == (kClassRROutside | kClassComplexityOutside))
        return kMarkRed;
    if (outside == kClassRROutside)
        return kMarkOrange;
    if (outside == kClassComplexityOutside)
        return kMarkPurple;
    if ((e.mClass & 0xFF) == 0 && e.IsUsed())
        return kMarkBlue;
    return kMarkGrey;
}

HRESULT BeatMarkHint(const FiducialEvent* event, std::wstring& text)
{
    if (!event)
        return E_FAIL;
    text = BeatHintText(*event);
    return S_OK;
}

} // namespace HRV
