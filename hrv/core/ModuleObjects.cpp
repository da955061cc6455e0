#include "hrv/core/ModuleObjects.h"

#include <atomic>
#include <mutex>

#include "foundation/ResString.h"

namespace HRV {

const KEL::String kUnitSeconds(L"s");
const KEL::String kUnitBPM(L"BPM");
const KEL::String kUnitPercent(L"%");
const KEL::String kUnitHertz(L"Hz");
const KEL::String kUnitSecondsSquared = KEL::String(L"s") + KEL::String(L"\u00B2");

namespace {
std::atomic<HMODULE> gModule{nullptr};

const KEL::String& Title(UINT id, KEL::String& slot, std::once_flag& once)
{
    std::call_once(once, [&] { slot = KEL::GetResString(ModuleInstance(), id, true); });
    return slot;
}
} // namespace

void SetModuleInstance(HMODULE module) { gModule.store(module); }
HMODULE ModuleInstance() { return gModule.load(); }

const KEL::String& ModuleTitle()
{
    static KEL::String text;
    static std::once_flag once;
    return Title(1, text, once);
}

const KEL::String& CalculationTitle()
{
    static KEL::String text;
    static std::once_flag once;
    return Title(8, text, once);
}

const KEL::String& RRExportExtension()
{
    static KEL::String text;
    static std::once_flag once;
    return Title(5, text, once);
}

const KEL::String& RRExportTypeName()
{
    static KEL::String text;
    static std::once_flag once;
    return Title(6, text, once);
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
