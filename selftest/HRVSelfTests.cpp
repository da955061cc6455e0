#include "selftest/HRVSelfTests.h"

#include <locale>

#include "foundation/FormatStream.h"
#include "hrv/analysis/FiducialEvent.h"
#include "log/Log.h"
#include "selftest/EventEnumTests.h"

namespace HRV {

HRV_TestFiducialEnum::HRV_TestFiducialEnum() = default;

std::wstring HRV_TestFiducialEnum::FiducialFormula()
{
    KEL::OFormatStringStream out(KEL::String(L"fiducial(%1,%2,%3,%4,%5,%6,%7,%8,%9,%10,%11,%12,%13)"));
    out.imbue(std::locale::classic());
    out << std::setprecision(4) << L"ch1" << L"cmpeakdet(ch1,0.5,0.01,10.0)" << 0.1 << 0.0 << 0.0 << 2.0 << 0.0 << 2.0
        << std::int32_t(0) << std::int32_t(0) << std::int32_t(2147483647) << std::int32_t(2147483647) << 0.0;
    return out.Str().ToWString();
}

void HRV_TestFiducialEnum::Setup()
{
    mConfig = EnumTestConfig(L"sinewave(0.9)", FiducialFormula());
    mEventSize = sizeof(FiducialEvent);
}

void HRV_TestFiducialEnum::FillAuthor()
{
    SetAuthor(KEL::String(L"hrvtests"), true);
}

void HRV_TestFiducialEnum::AddTests()
{
    const std::pair<void (HRV_TestFiducialEnum::*)(), const char*> cases[] = {
        { &HRV_TestFiducialEnum::EventEnumBounceTest, "HRV_TestFiducialEnum::EventEnumBounceTest" },
        { &HRV_TestFiducialEnum::EventEnumBounceTest2, "HRV_TestFiducialEnum::EventEnumBounceTest2" },
        { &HRV_TestFiducialEnum::EventEnumTestNextOffline, "HRV_TestFiducialEnum::EventEnumTestNextOffline" },
        { &HRV_TestFiducialEnum::EventEnumTestNextOnline, "HRV_TestFiducialEnum::EventEnumTestNextOnline" },
        { &HRV_TestFiducialEnum::EventEnumOnlineOfflineComparison,
            "HRV_TestFiducialEnum::EventEnumOnlineOfflineComparison" },
        { &HRV_TestFiducialEnum::EventEnumTestFind, "HRV_TestFiducialEnum::EventEnumTestFind" },
        { &HRV_TestFiducialEnum::EventEnumTestSetSourcesMirwell,
            "HRV_TestFiducialEnum::EventEnumTestSetSourcesMirwell" },
    };
    for (const auto& [member, name] : cases)
        AddTest([this, m = member] { (this->*m)(); }, name, 60.0);
}

void HRV_TestFiducialEnum::EventEnumBounceTest()
{
    EventEnumTests::EventEnumBounceTest<FiducialEvent>(mConfig, 0, Seed());
}
void HRV_TestFiducialEnum::EventEnumBounceTest2()
{
    EventEnumTests::EventEnumBounceTest<FiducialEvent>(mConfig, 1, Seed());
}
void HRV_TestFiducialEnum::EventEnumTestNextOffline()
{
    EventEnumTests::EventEnumTestNextOffline<FiducialEvent>(mConfig, mEventSize);
}
void HRV_TestFiducialEnum::EventEnumTestNextOnline()
{
    EventEnumTests::EventEnumTestNextOnline<FiducialEvent>(mConfig, mEventSize);
}
void HRV_TestFiducialEnum::EventEnumOnlineOfflineComparison()
{
    EventEnumTests::EventEnumOnlineOfflineComparison<FiducialEvent>(mConfig);
}
void HRV_TestFiducialEnum::EventEnumTestFind()
{
    EventEnumTests::EventEnumTestFind<FiducialEvent>(mConfig, Seed());
}
void HRV_TestFiducialEnum::EventEnumTestSetSourcesMirwell()
{
    EventEnumTests::EventEnumTestSetSources<FiducialEvent>(mConfig);
}

HRESULT RegisterSelfTests(IUnitTestRegistry* registry)
{
    auto* test = new HRV_TestFiducialEnum;
    test->AddRef();
    HRESULT hr = E_NOINTERFACE;
    if (registry)
        hr = registry->AddTest(static_cast<IUnitTest*>(test));
    else
        vx::log::WriteLine("HRV: no test registry is reachable; the self-test HRV_TestFiducialEnum is not offered");
    test->Release();
    return hr;
}

} // namespace HRV
