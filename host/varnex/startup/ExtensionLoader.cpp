#include "varnex/startup/ExtensionLoader.h"

#include <dlfcn.h>

#include <cstdio>
#include <ostream>

#include "caf/CafHost.h"
#include "com/ClassObjects.h"
#include "hostframework/interfaces/FrameworkIds.h"
#include "res/Resource.h"

namespace varnex {
namespace {

constexpr DWORD kProcessAttach = 1;
constexpr DWORD kProcessDetach = 0;

std::string Hex(DWORD value)
{
    char text[16];
    std::snprintf(text, sizeof text, "0x%08X", value);
    return text;
}

// "class 0x00010001 {GUID}": the class id and the GUID its type index stands for.
std::string DescribeClassObject(IUnknown* object, IUnknown* framework)
{
    void* out = nullptr;
    if (FAILED(object->QueryInterface(ICAFClassObject::kIid, &out)))
        return "class (no class id)";
    auto* classObject = static_cast<ICAFClassObject*>(out);
    DWORD id = 0;
    const HRESULT hr = classObject->GetClassId(&id);
    classObject->Release();
    if (FAILED(hr))
        return "class (no class id)";
    std::string line = "class " + Hex(id);
    void* types = nullptr;
    if (framework && SUCCEEDED(framework->QueryInterface(ITypeIdRegistry::kIid, &types))) {
        GUID guid;
        if (SUCCEEDED(static_cast<ITypeIdRegistry*>(types)->GetTypeGuid(WORD(id >> 16), &guid))) {
            line += ' ';
            line += vx::com::GuidToString(guid);
        }
        static_cast<ITypeIdRegistry*>(types)->Release();
    }
    return line;
}

} // namespace

Extension::Extension(void* library, DllMainFn entry, RegisterFn registerClassObjects)
    : mLibrary(library)
    , mEntry(entry)
    , mRegister(registerClassObjects)
{
}

std::unique_ptr<Extension> Extension::Load(const std::string& path, std::string& error)
{
    void* library = dlopen(path.c_str(), RTLD_NOW | RTLD_LOCAL);
    if (!library) {
        const char* reason = dlerror();
        error = "cannot load " + path + ": " + (reason ? reason : "unknown reason");
        return nullptr;
    }
    auto entry = reinterpret_cast<DllMainFn>(dlsym(library, "DllMain"));
    auto registerFn = reinterpret_cast<RegisterFn>(dlsym(library, "DllRegisterClassObjects"));
    if (!registerFn) {
        error = path + " is not an extension: it has no DllRegisterClassObjects";
        dlclose(library);
        return nullptr;
    }
    std::unique_ptr<Extension> extension(new Extension(library, entry, registerFn));
    // The instance handle of a library is its module: the base its image is loaded at, by which
    // its resources are kept.
    if (entry)
        entry(vx::res::ModuleOf(reinterpret_cast<const void*>(registerFn)), kProcessAttach, nullptr);
    return extension;
}

Extension::~Extension()
{
    if (mEntry)
        mEntry(mLibrary, kProcessDetach, nullptr);
    dlclose(mLibrary);
}

HRESULT Extension::RegisterClassObjects(IUnknown* framework)
{
    return mRegister(framework);
}

RegisteredExtension::~RegisteredExtension()
{
    caf::ReleaseRegistrations();
    mExtension.reset();
}

HostFramework::HostFramework(FrameworkSource source)
{
    void* out = nullptr;
    mResult = DllGetClassObject(CLSID_CAFFrameWork, IUnknown::kIid, &out);
    if (FAILED(mResult))
        return;
    mObject = static_cast<IUnknown*>(out);
    if (source == FrameworkSource::Host)
        mResult
            = CoRegisterClassObject(CLSID_CAFFrameWork, mObject, CLSCTX_INPROC_SERVER, REGCLS_MULTIPLEUSE, &mCookie);
}

HostFramework::~HostFramework()
{
    if (mCookie)
        CoRevokeClassObject(mCookie);
    if (mObject)
        mObject->Release();
}

int ListClasses(const std::string& extensionPath, FrameworkSource source, std::ostream& out, std::ostream& err)
{
    HostFramework framework(source);
    if (FAILED(framework.Result())) {
        err << "varnex: the framework is not available (" << Hex(DWORD(framework.Result())) << ")\n";
        return 1;
    }
    std::string error;
    std::unique_ptr<Extension> loaded = Extension::Load(extensionPath, error);
    if (!loaded) {
        err << "varnex: " << error << "\n";
        return 1;
    }
    // Shuts down as the host does: lets go of the class objects, then unloads the extension.
    const RegisteredExtension extension(std::move(loaded));
    const HRESULT hr = extension->RegisterClassObjects(framework.Object());
    out << "DllRegisterClassObjects " << Hex(DWORD(hr)) << "\n";
    for (const caf::Registration& r : caf::Registrations()) {
        switch (r.kind) {
        case caf::Registration::Kind::ClassObject:
            out << DescribeClassObject(r.object, framework.Object()) << "\n";
            break;
        case caf::Registration::Kind::MessageClass:
            out << "message-class\n";
            break;
        case caf::Registration::Kind::UnitTest:
            out << "unit-test\n";
            break;
        }
    }
    return FAILED(hr) ? 1 : 0;
}

} // namespace varnex
