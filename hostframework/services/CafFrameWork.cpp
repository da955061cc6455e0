#include "hostframework/services/CafFrameWork.h"

#include <dlfcn.h>

#include <cstdlib>
#include <filesystem>
#include <mutex>

#include "foundation/String.h"
#include "foundation/XKEL.h"
#include "foundation/units/Prefix.h"
#include "foundation/units/UnitEntry.h"
#include "hostframework/services/CachedService.h"
#include "log/Log.h"
#include "ui/Desktop.h"

namespace {

using vx::hf::CachedService;

// The message-box result that stands for "OK", returned when nobody is asked.
constexpr int kIdOk = 1;
// The load-failure text is built in a buffer of this many wide characters, terminator included.
constexpr std::size_t kLoadFailureTextLimit = 512;

using DllGetClassObjectFn = HRESULT (*)(REFCLSID, REFIID, void**);

std::mutex& HooksMutex()
{
    static std::mutex m;
    return m;
}

vx::hf::FrameworkLoaderHooks& ProcessHooks()
{
    static vx::hf::FrameworkLoaderHooks hooks = vx::hf::DefaultFrameworkLoaderHooks();
    return hooks;
}

vx::hf::FrameworkLoader& ProcessLoader()
{
    static vx::hf::FrameworkLoader loader([] {
        std::lock_guard lock(HooksMutex());
        return ProcessHooks();
    }());
    return loader;
}

// Fetches a service from a registered class object; when that fails, makes the framework
// reachable and asks once more. Only the pointer of the second call counts.
template <class I> I* FetchFromClass(REFCLSID clsid)
{
    void* out = nullptr;
    if (FAILED(CoGetClassObject(clsid, kCafClassContext, nullptr, vx::com::IidOf<I>(), &out))) {
        EnsureCafLoaded();
        out = nullptr;
        CoGetClassObject(clsid, kCafClassContext, nullptr, vx::com::IidOf<I>(), &out);
    }
    return static_cast<I*>(out);
}

template <class I> I* CachedFromClass(CachedService<I>& cache, REFCLSID clsid)
{
    return cache.Get([&] { return FetchFromClass<I>(clsid); });
}

} // namespace

namespace CAFFrameWork {

IAppServices* GetAppServices()
{
    static CachedService<IAppServices> cache;
    return CachedFromClass(cache, CLSID_CAFAppServices);
}

ISubjectRegistry* GetEventHandlerRegistry()
{
    static CachedService<ISubjectRegistry> cache;
    return CachedFromClass(cache, CLSID_CAFFrameWork);
}

ITypeIdRegistry* GetTypeIdRegistry()
{
    static CachedService<ITypeIdRegistry> cache;
    return CachedFromClass(cache, CLSID_CAFFrameWork);
}

IMessageFactory* GetMessageFactory()
{
    static CachedService<IMessageFactory> cache;
    return CachedFromClass(cache, CLSID_CAFFrameWork);
}

IUnitTestRegistry* GetUnitTestRegistry()
{
    static CachedService<IUnitTestRegistry> cache;
    return CachedFromClass(cache, CLSID_UnitTestRegistry);
}

IMessageCreator* GetMessageCreator()
{
    static CachedService<IMessageCreator> cache;
    return cache.Get([] { return vx::hf::CreateFromHostClass<IMessageCreator>(kMessageCreatorClassKey); });
}

ISharedHostObject* GetSharedHostObject()
{
    static CachedService<ISharedHostObject> cache;
    return cache.Get([] { return vx::hf::CreateFromHostClass<ISharedHostObject>(kSharedHostObjectClassKey); });
}

} // namespace CAFFrameWork

IMessageRouter* GetCafMessageRouter()
{
    static CachedService<IMessageRouter> cache;
    return CachedFromClass(cache, CLSID_CAFFrameWork);
}

IHostClassObject* ObjectFactoryAccessor::Get()
{
    static CachedService<IHostClassObject> cache;
    return CachedFromClass(cache, CLSID_CAFFrameWork);
}

namespace KEL {
IObjectFactory* GetObjectFactory()
{
    static CachedService<IObjectFactory> cache;
    return cache.Get([] {
        const DWORD classKey = DWORD(HostTypeIndex(GUID_ObjectFactoryType)) << 16;
        return vx::hf::CreateFromHostClass<IObjectFactory>(classKey);
    });
}

IUnitName* CreateUnitName(const PrefixedUnit& unit)
{
    IObjectFactory* factory = GetObjectFactory();
    if (!factory)
        return nullptr;
    const String name(unit.UnitName());
    IUnitName* created = nullptr;
    if (FAILED(factory->CreateUnitName(unit.PrefixIndex(), name.Rep(), &created)))
        return nullptr;
    return created;
}

// The unit names persisted by the foundation carry the host's type index of their class.
struct UnitTypeIndexes {
    UnitTypeIndexes() { SetTypeIndexLookup(&HostTypeIndex); }
};
const UnitTypeIndexes kUnitTypeIndexes;
} // namespace KEL

WORD HostTypeIndex(const GUID& guid)
{
    ITypeIdRegistry* registry = CAFFrameWork::GetTypeIdRegistry();
    WORD index = 0;
    if (!registry || FAILED(registry->GetTypeIndex(guid, &index)))
        return 0;
    return index;
}

void EnsureCafLoaded()
{
    ProcessLoader().EnsureLoaded();
}

int HostMessageBox(void*, const wchar_t* text, const wchar_t* caption, UINT style, std::uintptr_t helpContext,
    std::uintptr_t, std::uintptr_t, std::uintptr_t, std::uintptr_t options)
{
    int result = kIdOk;
    if (IAppServices* services = CAFFrameWork::GetAppServices())
        services->MessageBox(nullptr, text, caption, style, helpContext, &result, 0, 0, options);
    return result;
}

namespace vx::hf {

FrameworkLoaderHooks DefaultFrameworkLoaderHooks()
{
    FrameworkLoaderHooks hooks;
    hooks.executablePath = [] {
        std::error_code error;
        const std::filesystem::path path = std::filesystem::read_symlink("/proc/self/exe", error);
        return error ? std::string() : path.string();
    };
    // Headless: the message box becomes one diagnostic line.
    hooks.showPlainMessageBox = [](const std::wstring& text, const std::wstring& caption) {
        vx::log::WriteLine(KEL::String(caption + L": " + text).Utf8());
    };
    hooks.exitProcess = [](int code) { std::exit(code); };
    hooks.oleInitialize = [](void* reserved) { return OleInitialize(reserved); };
    return hooks;
}

FrameworkLoaderHooks SetFrameworkLoaderHooks(FrameworkLoaderHooks hooks)
{
    std::lock_guard lock(HooksMutex());
    FrameworkLoaderHooks previous = std::move(ProcessHooks());
    ProcessHooks() = std::move(hooks);
    return previous;
}

FrameworkLoader::FrameworkLoader(FrameworkLoaderHooks hooks)
    : mHooks(std::move(hooks))
{
}

FrameworkLoader::~FrameworkLoader()
{
    ReleaseHolder();
    if (mOleInitialised)
        OleUninitialize();
}

void FrameworkLoader::EnsureLoaded()
{
    void* probe = nullptr;
    if (SUCCEEDED(CoGetClassObject(CLSID_CAFFrameWork, kCafClassContext, nullptr, IUnknown::kIid, &probe))) {
        static_cast<IUnknown*>(probe)->Release();
        return;
    }
    std::call_once(mOleOnce, [this] {
        // S_FALSE only says that this thread had initialised OLE already: that is a success.
        const HRESULT hr = mHooks.oleInitialize(nullptr);
        if (FAILED(hr))
            throw XKEL(hr);
        mOleInitialised = true;
    });
    std::call_once(mLoadOnce, [this] { LoadCafLibrary(); });
}

std::string FrameworkLoader::LibraryPath() const
{
    std::filesystem::path path(mHooks.executablePath());
    path.replace_filename(kFrameworkLibraryName);
    return path.lexically_normal().string();
}

FrameworkLoader::LibraryHolder* FrameworkLoader::LoadCafLibrary()
{
    const std::string path = LibraryPath();
    void* library = dlopen(path.c_str(), RTLD_NOW | RTLD_LOCAL);
    ReleaseHolder();
    mHolder = new LibraryHolder { library, 0 };

    auto getClassObject
        = library ? reinterpret_cast<DllGetClassObjectFn>(dlsym(library, "DllGetClassObject")) : nullptr;
    if (!getClassObject) {
        std::wstring text = L"Varn failed to load " + KEL::String(path).ToWString();
        if (text.size() > kLoadFailureTextLimit - 1)
            text.resize(kLoadFailureTextLimit - 1);
        mHooks.showPlainMessageBox(text, L"Varn load failed");
        mHooks.exitProcess(-1);
        return nullptr;
    }

    void* object = nullptr;
    HRESULT hr = getClassObject(CLSID_CAFFrameWork, IUnknown::kIid, &object);
    if (FAILED(hr))
        throw XHResult { hr };
    hr = CoRegisterClassObject(
        CLSID_CAFFrameWork, static_cast<IUnknown*>(object), CLSCTX_INPROC_SERVER, REGCLS_MULTIPLEUSE, &mHolder->cookie);
    static_cast<IUnknown*>(object)->Release();
    if (FAILED(hr))
        throw XHResult { hr };
    return mHolder;
}

void FrameworkLoader::ReleaseHolder()
{
    if (!mHolder)
        return;
    if (mHolder->cookie)
        CoRevokeClassObject(mHolder->cookie);
    if (mHolder->library)
        dlclose(mHolder->library);
    delete mHolder;
    mHolder = nullptr;
}

} // namespace vx::hf

KEL::String GetAppName()
{
    return KEL::String(vx::ui::GetApplication().name.c_str());
}
