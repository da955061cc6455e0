#include "hostframework/commands/HostCommands.h"

#include "hostframework/commands/BuildLabel.h"
#include "hostframework/services/CachedService.h"
#include "hostframework/services/CafFrameWork.h"

namespace {

constexpr DWORD kSeparatorKind = 2;
constexpr DWORD kCommandFlag = 1;

void ReleaseCommand(ICAFCommand*& command)
{
    if (command) {
        command->Release();
        command = nullptr;
    }
}

// Calls `use` with the command's interface I when it offers one.
template <class I, class Use> void WithInterface(ICAFCommand* command, Use&& use)
{
    void* out = nullptr;
    if (FAILED(command->QueryInterface(vx::com::IidOf<I>(), &out)) || !out)
        return;
    use(static_cast<I*>(out));
    static_cast<I*>(out)->Release();
}

} // namespace

IHostClassFactory* GetHostClassFactory()
{
    static vx::hf::CachedService<IHostClassFactory> cache;
    return cache.Get([] { return vx::hf::CreateFromHostClass<IHostClassFactory>(kHostClassFactoryClassKey); });
}

IHostCommandFactory* GetHostCommandFactory()
{
    static vx::hf::CachedService<IHostCommandFactory> cache;
    return cache.Get([] { return vx::hf::CreateFromHostClass<IHostCommandFactory>(kHostCommandFactoryClassKey); });
}

HRESULT CreateHostObjectForClass(HostClassObjectPair& out, REFGUID classGuid, IUnknown* handler, IUnknown* owner)
{
    out = HostClassObjectPair {};
    IHostClassFactory* factory = GetHostClassFactory();
    if (!factory)
        return S_FALSE;
    return factory->CreateClassObject(classGuid, handler, owner, &out.object);
}

HRESULT CreateHostSeparator(ICAFCommand*& out, const KEL::String& text)
{
    ReleaseCommand(out);
    IHostCommandFactory* factory = GetHostCommandFactory();
    if (!factory)
        return E_FAIL;
    const bool plain = text == L"-";
    return factory->CreateGroup(
        0, 0, plain ? nullptr : text.Rep(), 0, 0, 0, plain ? text.Rep() : nullptr, 0, 0, 0, kSeparatorKind, 0, 0, &out);
}

HRESULT CreateHostCommand(ICAFCommand*& out, DWORD commandId, const DWORD* textId, const KEL::String& caption,
    HostCommandId id, DWORD first, DWORD second, const KEL::String& attribute, const KEL::String& group,
    const KEL::String& text)
{
    ReleaseCommand(out);
    IHostCommandFactory* factory = GetHostCommandFactory();
    if (!factory)
        return E_FAIL;
    // The command's resources (its texts by id) come from the module that holds this code.
    const HMODULE module = vx::res::ModuleOf(reinterpret_cast<const void*>(&CreateHostCommand));
    const HRESULT hr = factory->CreateCommand(commandId, module, textId ? *textId : 0, caption.Rep(), second,
        group.Rep(), text.Rep(), first, 0, 0, &out, kCommandFlag);
    if (FAILED(hr) || !out)
        return FAILED(hr) ? hr : E_FAIL;

    DWORD fullId = (DWORD(id.typeIndex) << 16) | id.number;
    if (fullId == 0) {
        DWORD own = 0;
        if (out->GetId(&own) == S_OK && own != 0)
            fullId = own;
    }
    out->SetId(fullId);
    WithInterface<ICAFCommandId>(out, [fullId](ICAFCommandId* c) { c->SetId(0, fullId); });
    WithInterface<ICAFCommandAttribute>(
        out, [&attribute](ICAFCommandAttribute* c) { c->SetAttribute(attribute.Rep()); });
    return S_OK;
}

HRESULT CreateHostCommandSimple(ICAFCommand*& out, DWORD commandId, const DWORD* textId, const KEL::String& caption)
{
    return CreateHostCommand(
        out, commandId, textId, caption, HostCommandId {}, 0, 0, KEL::String(), KEL::String(), KEL::String());
}

void ShowModuleVersionInHost(std::uintptr_t, std::uintptr_t)
{
    IAppServices* services = CAFFrameWork::GetAppServices();
    if (!services)
        return;
    // Only a host that answers "labels wanted" (0) gets one.
    DWORD hidden = 1;
    DWORD shown = 0;
    services->GetBuildLabelState(0, &hidden, &shown);
    if (hidden != 0)
        return;
    const HMODULE module = vx::res::ModuleOf(reinterpret_cast<const void*>(&ShowModuleVersionInHost));
    const std::optional<std::wstring> label = vx::hf::PreReleaseBuildLabel(vx::res::GetModuleVersionInfo(module));
    if (label)
        services->ShowBuildLabel(0, KEL::String(*label).Rep());
}
