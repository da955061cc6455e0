#pragma once
#include "foundation/String.h"
// The extension's road to its host: making the framework class object reachable, the cached
// host services, the host-routed message box and host ids built from GUIDs.
//
// Every getter returns the service without a reference for the caller (do not release it), or
// null when the host cannot supply it even after the framework library has been loaded.
#include <cstdint>
#include <functional>
#include <mutex>
#include <string>

#include "com/ClassObjects.h"
#include "hostframework/interfaces/FrameworkIds.h"
#include "hostframework/interfaces/HostServices.h"

// An exception carrying one HRESULT and nothing else.
struct XHResult {
    HRESULT hr;
};

namespace CAFFrameWork {
IAppServices* GetAppServices();
ISubjectRegistry* GetEventHandlerRegistry();
ITypeIdRegistry* GetTypeIdRegistry();
IMessageCreator* GetMessageCreator();
ISharedHostObject* GetSharedHostObject();
IMessageFactory* GetMessageFactory();
IUnitTestRegistry* GetUnitTestRegistry();
} // namespace CAFFrameWork

IMessageRouter* GetCafMessageRouter();

struct ObjectFactoryAccessor {
    static IHostClassObject* Get();
};

namespace KEL {
class PrefixedUnit;
IObjectFactory* GetObjectFactory();
// A new unit name of the host's object factory (one reference for the caller) with the unit's
// name and the prefix index of its letter (PrefixIndexFromChar); null when the host has no
// factory or refuses.
IUnitName* CreateUnitName(const PrefixedUnit& unit);
} // namespace KEL

// Makes CLSID_CAFFrameWork reachable: when nobody has registered it, initialises OLE once and
// loads the framework library from the host executable's folder (once per process). Ends the
// process when the library cannot be used. Throws XKEL when OLE cannot be initialised (an OLE
// already initialised on this thread is a success), XHResult when the library refuses to give
// or the process refuses to register its class object.
void EnsureCafLoaded();

// Shows a message box through the host's application services and returns the button id; 1
// (IDOK) when the host has no application services. The owner is not passed on.
int HostMessageBox(void* owner, const wchar_t* text, const wchar_t* caption, UINT style, std::uintptr_t helpContext,
    std::uintptr_t arg6, std::uintptr_t arg7, std::uintptr_t arg8, std::uintptr_t options);

// The caption of plain message boxes: the running application's name, empty when there is none.
KEL::String GetAppName();

// The host's type index of a GUID; 0 when the host has no type registry or refuses the GUID.
WORD HostTypeIndex(const GUID& guid);

// Host ids: (type index of *G << 16) | N, each computed once. Get() returns the address of the
// id, which is what event tables keep until they are resolved.
template <const GUID* G> struct TypeIndexOf {
    static WORD Get()
    {
        static const WORD index = HostTypeIndex(*G);
        return index;
    }
};

template <const GUID* G, DWORD N> struct TypeIdClass {
    static const DWORD* Get()
    {
        static const DWORD id = (DWORD(TypeIndexOf<G>::Get()) << 16) | N;
        return &id;
    }
    static DWORD Id() { return *Get(); }
};

namespace vx::hf {

// One object of a host class, made by the host class object, with one reference for the caller;
// null without a host or when the host refuses.
template <class I> I* CreateFromHostClass(DWORD classKey)
{
    IHostClassObject* host = ObjectFactoryAccessor::Get();
    void* out = nullptr;
    if (!host || FAILED(host->CreateObject(classKey, vx::com::IidOf<I>(), &out)))
        return nullptr;
    return static_cast<I*>(out);
}

// What the framework loader needs from the platform. Tests replace these to point the loader at
// another folder, to see the load-failure message and to keep the process alive.
struct FrameworkLoaderHooks {
    // Full path of the host executable.
    std::function<std::string()> executablePath;
    // The plain (not host-routed) message box for a framework library that cannot be used.
    std::function<void(const std::wstring& text, const std::wstring& caption)> showPlainMessageBox;
    // Ends the process with the given code.
    std::function<void(int code)> exitProcess;
    std::function<HRESULT(void*)> oleInitialize;
};

// The defaults: /proc/self/exe, a diagnostic line, std::exit and OleInitialize.
FrameworkLoaderHooks DefaultFrameworkLoaderHooks();

// Replaces the hooks of the process-wide loader (before its first use); returns the previous ones.
FrameworkLoaderHooks SetFrameworkLoaderHooks(FrameworkLoaderHooks hooks);

// The file name of the framework library, looked for only in the host executable's folder.
inline constexpr const char* kFrameworkLibraryName = "libcaf.so";

// Loads the framework library and registers its framework class object. EnsureCafLoaded uses
// one process-wide instance; tests make their own.
class FrameworkLoader {
public:
    struct LibraryHolder {
        void* library = nullptr; // owned: closed when the holder is released
        DWORD cookie = 0; // class-object registration, 0 when none
    };

    explicit FrameworkLoader(FrameworkLoaderHooks hooks);
    ~FrameworkLoader(); // revokes the registration, closes the library, balances OLE
    FrameworkLoader(const FrameworkLoader&) = delete;
    FrameworkLoader& operator=(const FrameworkLoader&) = delete;

    // EnsureCafLoaded for this loader.
    void EnsureLoaded();
    // Loads the library and registers its class object. The load-failure message box and the
    // process exit happen here; when the exit hook returns, the result is null.
    LibraryHolder* LoadCafLibrary();

    // The path the library is (or would be) loaded from.
    std::string LibraryPath() const;
    const LibraryHolder* Holder() const { return mHolder; }

private:
    void ReleaseHolder();

    FrameworkLoaderHooks mHooks;
    std::once_flag mOleOnce;
    std::once_flag mLoadOnce;
    bool mOleInitialised = false;
    LibraryHolder* mHolder = nullptr;
};

} // namespace vx::hf
