// Making the framework reachable: with the framework registered by the host, loaded from the
// host executable's folder, and when the library is missing or unusable.
#include <gtest/gtest.h>

#include <dlfcn.h>

#include <string>
#include <vector>

#include "foundation/XKEL.h"
#include "foundation/base/SimpleUnknownImp.h"
#include "hostframework/services/CafFrameWork.h"
#include "log/Log.h"

using vx::hf::FrameworkLoader;
using vx::hf::FrameworkLoaderHooks;

namespace {

const std::string kHosts = TEST_HOSTS_DIR;

// Everything the loader did through its hooks.
struct HookLog {
    int oleCalls = 0;
    HRESULT oleResult = S_OK;
    std::vector<std::wstring> messageBoxes; // "caption|text"
    std::vector<int> exitCodes;
};

FrameworkLoaderHooks HooksFor(const std::string& executable, HookLog& log)
{
    FrameworkLoaderHooks hooks;
    hooks.executablePath = [executable] { return executable; };
    hooks.showPlainMessageBox = [&log](const std::wstring& text, const std::wstring& caption) {
        log.messageBoxes.push_back(caption + L"|" + text);
    };
    hooks.exitProcess = [&log](int code) { log.exitCodes.push_back(code); };
    hooks.oleInitialize = [&log](void*) {
        ++log.oleCalls;
        return log.oleResult;
    };
    return hooks;
}

bool FrameworkReachable()
{
    void* out = nullptr;
    if (FAILED(CoGetClassObject(CLSID_CAFFrameWork, kCafClassContext, nullptr, IUnknown::kIid, &out)))
        return false;
    static_cast<IUnknown*>(out)->Release();
    return true;
}

// The test library's own counters, reached through the same loaded instance as the loader's.
class TestLibrary {
public:
    TestLibrary()
        : mHandle(dlopen((kHosts + "/good/libcaf.so").c_str(), RTLD_NOW | RTLD_LOCAL))
    {
    }
    ~TestLibrary()
    {
        if (mHandle) {
            SetResult(S_OK);
            dlclose(mHandle);
        }
    }
    int Calls() const { return reinterpret_cast<int (*)()>(dlsym(mHandle, "TestCafCalls"))(); }
    void SetResult(HRESULT hr) const { reinterpret_cast<void (*)(HRESULT)>(dlsym(mHandle, "TestCafSetResult"))(hr); }
    bool Loaded() const { return mHandle != nullptr; }

private:
    void* mHandle;
};

class HostFramework final : public SimpleUnknownImp1<IUnknown, 1> { };

} // namespace

TEST(FrameworkLoader, RegisteredFrameworkNeedsNeitherOleNorTheLibrary)
{
    HostFramework framework;
    DWORD cookie = 0;
    ASSERT_EQ(
        CoRegisterClassObject(CLSID_CAFFrameWork, &framework, CLSCTX_INPROC_SERVER, REGCLS_MULTIPLEUSE, &cookie), S_OK);
    HookLog log;
    {
        FrameworkLoader loader(HooksFor(kHosts + "/good/varnex", log));
        loader.EnsureLoaded();
        loader.EnsureLoaded();
        EXPECT_EQ(loader.Holder(), nullptr);
    }
    EXPECT_EQ(log.oleCalls, 0);
    EXPECT_TRUE(log.messageBoxes.empty());
    EXPECT_TRUE(log.exitCodes.empty());
    EXPECT_EQ(framework.RefCount(), 2u); // the registration's reference only: the probe let go
    CoRevokeClassObject(cookie);
}

TEST(FrameworkLoader, UnregisteredFrameworkIsLoadedOnceFromTheExecutablesFolder)
{
    TestLibrary library;
    ASSERT_TRUE(library.Loaded());
    const int callsBefore = library.Calls();
    const std::size_t registrationsBefore = vx::com::RegisteredClassObjectCount();
    ASSERT_FALSE(FrameworkReachable());
    HookLog log;
    {
        // The folder part is canonicalised: the library comes from the executable's own folder.
        FrameworkLoader loader(HooksFor(kHosts + "/good/sub/../varnex", log));
        EXPECT_EQ(loader.LibraryPath(), kHosts + "/good/libcaf.so");
        loader.EnsureLoaded();
        ASSERT_NE(loader.Holder(), nullptr);
        EXPECT_NE(loader.Holder()->library, nullptr);
        EXPECT_NE(loader.Holder()->cookie, 0u);
        EXPECT_TRUE(FrameworkReachable());
        loader.EnsureLoaded();
        loader.EnsureLoaded();
        EXPECT_EQ(log.oleCalls, 1);
        EXPECT_EQ(library.Calls(), callsBefore + 1);
        EXPECT_EQ(vx::com::RegisteredClassObjectCount(), registrationsBefore + 1);
    }
    // Releasing the loader revokes the registration (its object is freed with it).
    EXPECT_FALSE(FrameworkReachable());
    EXPECT_EQ(vx::com::RegisteredClassObjectCount(), registrationsBefore);
    EXPECT_TRUE(log.messageBoxes.empty());
    EXPECT_TRUE(log.exitCodes.empty());
}

TEST(FrameworkLoader, OleAlreadyInitialisedIsASuccess)
{
    // Through the hook, and through the platform itself on a thread that initialised OLE first.
    HookLog log;
    log.oleResult = S_FALSE;
    {
        FrameworkLoader loader(HooksFor(kHosts + "/good/varnex", log));
        EXPECT_NO_THROW(loader.EnsureLoaded());
        EXPECT_TRUE(FrameworkReachable());
    }
    ASSERT_EQ(OleInitialize(nullptr), S_OK);
    {
        FrameworkLoaderHooks hooks = HooksFor(kHosts + "/good/varnex", log);
        hooks.oleInitialize = vx::hf::DefaultFrameworkLoaderHooks().oleInitialize;
        FrameworkLoader loader(std::move(hooks));
        EXPECT_NO_THROW(loader.EnsureLoaded());
        EXPECT_TRUE(FrameworkReachable());
    }
    OleUninitialize();
    EXPECT_FALSE(FrameworkReachable());
}

TEST(FrameworkLoader, FailedOleInitialisationIsThrownAndNothingIsLoaded)
{
    HookLog log;
    log.oleResult = E_OUTOFMEMORY;
    FrameworkLoader loader(HooksFor(kHosts + "/good/varnex", log));
    vx::log::Capture bootLog;
    try {
        loader.EnsureLoaded();
        ADD_FAILURE() << "no exception";
    } catch (const XKEL& e) {
        EXPECT_EQ(e.GetHResult(), E_OUTOFMEMORY);
    }
    ASSERT_EQ(bootLog.Lines().size(), 1u);
    EXPECT_EQ(bootLog.Lines()[0].rfind("KELBOOTLOG: XKEL: ", 0), 0u);
    EXPECT_EQ(loader.Holder(), nullptr);
    EXPECT_FALSE(FrameworkReachable());
    // A failed initialisation is not remembered as done: the next fetch tries again.
    log.oleResult = S_OK;
    loader.EnsureLoaded();
    EXPECT_EQ(log.oleCalls, 2);
    EXPECT_TRUE(FrameworkReachable());
}

TEST(FrameworkLoader, MissingOrUnusableLibraryIsReportedOnceAndEndsTheProcess)
{
    const std::string missing = kHosts + "/missing";
    const std::string noExport = kHosts + "/noexport";
    for (const std::string& folder : { missing, noExport }) {
        HookLog log;
        FrameworkLoader loader(HooksFor(folder + "/varnex", log));
        loader.EnsureLoaded();
        loader.EnsureLoaded();
        const std::wstring path(folder.begin(), folder.end());
        ASSERT_EQ(log.messageBoxes.size(), 1u) << folder;
        EXPECT_EQ(log.messageBoxes[0], L"Varn load failed|Varn failed to load " + path + L"/libcaf.so");
        EXPECT_EQ(log.exitCodes, std::vector<int> { -1 }) << folder;
        EXPECT_FALSE(FrameworkReachable());
    }
}

TEST(FrameworkLoader, LoadFailureTextIsCutToItsBuffer)
{
    HookLog log;
    const std::string longFolder = "/" + std::string(600, 'd');
    FrameworkLoader loader(HooksFor(longFolder + "/varnex", log));
    loader.EnsureLoaded();
    ASSERT_EQ(log.messageBoxes.size(), 1u);
    const std::wstring text = log.messageBoxes[0].substr(std::wstring(L"Varn load failed|").size());
    EXPECT_EQ(text.size(), 511u);
    EXPECT_EQ(text.rfind(L"Varn failed to load /ddd", 0), 0u);
    // The library path itself is never cut.
    EXPECT_EQ(loader.LibraryPath(), longFolder + "/libcaf.so");
}

TEST(FrameworkLoader, FailingDllGetClassObjectIsThrownWithItsResult)
{
    TestLibrary library;
    library.SetResult(CLASS_E_CLASSNOTAVAILABLE);
    const std::size_t registrationsBefore = vx::com::RegisteredClassObjectCount();
    HookLog log;
    FrameworkLoader loader(HooksFor(kHosts + "/good/varnex", log));
    try {
        loader.EnsureLoaded();
        ADD_FAILURE() << "no exception";
    } catch (const XHResult& e) {
        EXPECT_EQ(e.hr, CLASS_E_CLASSNOTAVAILABLE);
    }
    EXPECT_EQ(vx::com::RegisteredClassObjectCount(), registrationsBefore);
    EXPECT_TRUE(log.messageBoxes.empty());
}
