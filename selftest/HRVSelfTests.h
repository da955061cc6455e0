#pragma once
// The HRV extension's built-in self-test "HRV_TestFiducialEnum": the event-enumerator
// conformance routines run against the extension's fiducial enumerator, reached through the
// host's formula calculation of "fiducial(...)" over a synthetic sine-wave recording.
#include "hostframework/interfaces/HostServices.h"
#include "selftest/EnumTestConfig.h"

namespace HRV {

class HRV_TestFiducialEnum : public ETB {
public:
    HRV_TestFiducialEnum();

    void EventEnumBounceTest();
    void EventEnumBounceTest2();
    void EventEnumTestNextOffline();
    void EventEnumTestNextOnline();
    void EventEnumOnlineOfflineComparison();
    void EventEnumTestFind();
    void EventEnumTestSetSourcesMirwell();

    // The formula the cases enumerate.
    static std::wstring FiducialFormula();

protected:
    void AddTests() override;
    void FillAuthor() override;
    void Setup() override;

private:
    std::uint32_t mEventSize = 0;
};

// Creates the self-test and hands it to the registry, which keeps it. Without a registry the
// test is freed again and one diagnostic line says so. The result is the registry's answer, or
// E_NOINTERFACE without one.
HRESULT RegisterSelfTests(IUnitTestRegistry* registry);

} // namespace HRV
