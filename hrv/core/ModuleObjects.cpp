#include "hrv/core/ModuleObjects.h"

#include <atomic>

#include "foundation/ResString.h"

namespace HRV {

const KEL::String kUnitSeconds(L"s");
const KEL::String kUnitBPM(L"BPM");
const KEL::String kUnitPercent(L"%");
const KEL::String kUnitHertz(L"Hz");
const KEL::String kUnitSecondsSquared = KEL::String(L"s") + KEL::String(L"\u00B2");

namespace {
std::atomic<HMODULE> gModule { nullptr };

// One string-table entry of the module, loaded once on first use.
template <UINT kId> const KEL::String& TableText()
{
    static const KEL::String text = KEL::GetResString(ModuleInstance(), kId, true);
    return text;
}
} // namespace

void SetModuleInstance(HMODULE module)
{
    gModule.store(module);
}
HMODULE ModuleInstance()
{
    return gModule.load();
}

const KEL::String& ModuleTitle()
{
    return TableText<1>();
}
const KEL::String& CalculationTitle()
{
    return TableText<8>();
}
const KEL::String& RRExportExtension()
{
    return TableText<5>();
}
const KEL::String& RRExportTypeName()
{
    return TableText<6>();
}
const KEL::String& RRExportNoAnalysis()
{
    return TableText<7>();
}

KEL::String TitleOr(const KEL::String& title, const wchar_t* fallback)
{
    return title.Length() ? title : KEL::String(fallback);
}

RegistrationLists RegistrationLists::Link(const ModuleClassObjects& objects)
{
    RegistrationLists lists;
    // Each list is built from its tail: pushing at the head in reverse of the wanted order.
    auto push = [](LinkedClassObject*& head, LinkedClassObject* node) {
        if (!node)
            return;
        node->mNext = head;
        head = node;
    };
    push(lists.selfRegistration, objects.calculation);
    push(lists.selfRegistration, objects.calculationSettings);
    for (LinkedClassObject* function : objects.dataPadFunctions)
        push(lists.selfRegistration, function);
    for (LinkedClassObject* message : objects.messages)
        push(lists.messages, message);
    return lists;
}

void RegistrationLists::PushSelfRegistered(LinkedClassObject* object)
{
    if (!object)
        return;
    object->mNext = selfRegistration;
    selfRegistration = object;
}

RegistrationLists& ModuleLists()
{
    static RegistrationLists lists;
    return lists;
}

} // namespace HRV
