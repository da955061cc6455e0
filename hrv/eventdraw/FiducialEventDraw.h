#pragma once
// The beat event-draw class "PkStimEventDrawClass": colours the host's beat marks by the beat's
// class and gives the beat hint text when the user points at one.
#include "hostframework/services/CafFrameWork.h"
#include "hrv/analysis/Enumerators.h"
#include "hrv/analysis/FiducialEvent.h"
#include "hrv/eventdraw/TEventDrawClass.h"

#include <string>

namespace HRV {

struct FiducialDrawPolicy {
    static constexpr const wchar_t* kClassName = L"PkStimEventDrawClass";
    static DWORD Colour(const FiducialEvent& event) noexcept;
    static std::wstring HintText(const FiducialEvent& event);
};

// Number 1 of GUID_HRVEnumObj is the event type of a beat, as the fiducial enumerator reports it;
// the host's type index comes from the framework's type registry.
using FiducialEventDrawClass
    = VarnClient::TEventDrawClass<FiducialEvent, TypeIdClass<&GUID_HRVEnumObj, 1>, FiducialDrawPolicy>;

// A new beat event-draw class object with a count of 0, answered through its class-object
// interface (the one the host is given).
IEventDrawClass* CreateFiducialEventDrawClass();

} // namespace HRV
