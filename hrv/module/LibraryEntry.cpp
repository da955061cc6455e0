// The exports of libhrv.so: the library entry the host's loader calls in place of the Windows
// library entry, and the registration of the extension's class objects.
#include "hostframework/commands/HostCommands.h"
#include "hrv/core/ModuleObjects.h"
#include "hrv/module/ModuleEntry.h"
#include "log/Log.h"

// The library's entry, called by the host's loader with the library's instance handle: attach
// (1) keeps the instance as the module's, through which the module reads its own resources, and
// shows the host the build label of a pre-release build; detach (0) lets the instance go; the
// thread reasons do nothing.
extern "C" __attribute__((visibility("default"))) BOOL DllMain(void* instance, DWORD reason, void*)
{
    constexpr DWORD kProcessDetach = 0, kProcessAttach = 1;
    if (reason == kProcessAttach) {
        HRV::SetModuleInstance(static_cast<HMODULE>(instance));
        ShowModuleVersionInHost(0, 0);
    } else if (reason == kProcessDetach) {
        HRV::SetModuleInstance(nullptr);
    }
    return 1;
}

extern "C" __attribute__((visibility("default"))) HRESULT DllRegisterClassObjects(IUnknown* host)
{
    try {
        return HRV::RegisterModuleClassObjects(host);
    } catch (...) {
        // Nothing is thrown across the library's boundary.
        vx::log::WriteLine("HRV: registration stopped by an unexpected failure");
        return S_OK;
    }
}
