#include "hrv/eventdraw/FiducialEventDraw.h"

#include "hrv/analysis/ValueFormatter.h"
#include "hrv/eventdraw/BeatMarkDraw.h"

namespace HRV {

DWORD FiducialDrawPolicy::Colour(const FiducialEvent& event) noexcept
{
    return BeatMarkColour(event);
}

std::wstring FiducialDrawPolicy::HintText(const FiducialEvent& event)
{
    return BeatHintText(event);
}

IEventDrawClass* CreateFiducialEventDrawClass()
{
    return static_cast<IEventDrawClass*>(new KEL::CComObject<FiducialEventDrawClass>);
}

} // namespace HRV
