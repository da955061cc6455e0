// A small extension for the host's tests: a beta build that shows its build label when attached,
// registers two class objects, one message class and one self-test through the framework
// services, as an extension does, and asks the host for a message box so the host-routed message
// box can be seen on the way.
#include "foundation/base/SimpleUnknownImp.h"
#include "hostframework/commands/HostCommands.h"
#include "hostframework/services/CafFrameWork.h"
#include "res/VersionInfo.h"

namespace {

const vx::res::VersionInfoRegistrar kVersion([] {
    vx::res::ModuleVersionInfo info;
    info.fileVersion[0] = 1;
    info.fileVersion[3] = 7;
    info.strings[L"FileVersion"] = L"1.0 beta 7";
    info.strings[L"FileDescription"] = L"Test Extension";
    return info;
}());

inline constexpr GUID kTestExtensionGuid = vx::com::MakeGuid("{6E8B4C21-3F0A-4D7B-9C15-2A4E5F6B7C80}");

class TestClassObject final : public SimpleUnknownImp1<ICAFClassObject, 0> {
public:
    explicit TestClassObject(DWORD id)
        : mId(id)
    {
    }
    HRESULT GetClassId(DWORD* id) override
    {
        if (!id)
            return E_POINTER;
        *id = mId;
        return S_OK;
    }

private:
    DWORD mId;
};

// Stands for a message class object and a self-test: the host only keeps them.
class HeldObject final : public SimpleUnknownImp1<IUnknown, 0> { };

// Hands a new object to a registration call, which takes its own reference.
template <class Register> void HandOver(IUnknown* object, Register&& registerObject)
{
    object->AddRef();
    registerObject(object);
    object->Release();
}

} // namespace

extern "C" __attribute__((visibility("default"))) BOOL DllMain(void*, DWORD reason, void*)
{
    constexpr DWORD kProcessAttach = 1;
    if (reason == kProcessAttach)
        ShowModuleVersionInHost(0, 0);
    return 1;
}

extern "C" __attribute__((visibility("default"))) HRESULT DllRegisterClassObjects(IUnknown* host)
{
    if (!host)
        return E_FAIL;
    if (IHostClassObject* classes = ObjectFactoryAccessor::Get()) {
        auto registerClass = [classes](IUnknown* o) { classes->RegisterClassObject(o); };
        HandOver(new TestClassObject(TypeIdClass<&kTestExtensionGuid, 1>::Id()), registerClass);
        HandOver(new TestClassObject(TypeIdClass<&kTestExtensionGuid, 2>::Id()), registerClass);
    }
    if (IMessageFactory* messages = CAFFrameWork::GetMessageFactory())
        HandOver(new HeldObject, [messages](IUnknown* o) { messages->RegisterMessageClass(0, o); });
    if (IUnitTestRegistry* tests = CAFFrameWork::GetUnitTestRegistry())
        HandOver(new HeldObject, [tests](IUnknown* o) { tests->AddTest(o); });
    HostMessageBox(nullptr, L"Test extension registered", L"Varnex", 0x40, 0, 0, 0, 0, 0);
    return S_OK;
}
