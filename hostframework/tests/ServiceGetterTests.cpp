// The cached host services with a host that has registered its framework: what each getter
// asks of the host, that it asks once, and that the cache keeps no reference.
#include <gtest/gtest.h>

#include <chrono>
#include <map>
#include <mutex>
#include <thread>
#include <vector>

#include "foundation/base/SimpleUnknownImp.h"
#include "hostframework/commands/HostCommands.h"
#include "hostframework/services/CafFrameWork.h"
#include "res/VersionInfo.h"
#include "ui/Desktop.h"

namespace {

constexpr GUID kDocumentGuid = vx::com::MakeGuid("{EA881A0C-B5E6-42DD-9B2E-4714888D1B5B}");
constexpr GUID kOtherGuid = vx::com::MakeGuid("{EA881A0C-B5E6-42DD-9B2E-4714888D1B5C}");

class Subjects final : public SimpleUnknownImp1<ISubjectRegistry, 1> {
public:
    HRESULT Attach(ISubject*, IObserver*) override { return E_NOTIMPL; }
    HRESULT Detach(ISubject*, IObserver*) override { return E_NOTIMPL; }
    HRESULT Notify(ISubject*, DWORD, ULONGLONG) override { return E_NOTIMPL; }
    HRESULT AttachForEvent(ISubject*, IObserver*, DWORD, LONG) override { return E_NOTIMPL; }
    HRESULT ForgetSubject(ISubject*) override { return E_NOTIMPL; }
    HRESULT ForgetObserver(IObserver*) override { return E_NOTIMPL; }
};

class Router final : public SimpleUnknownImp1<IMessageRouter, 1> {
public:
    HRESULT Route(IMessage*, IMessageHandler*) override { return E_NOTIMPL; }
};

class Messages final : public SimpleUnknownImp1<IMessageFactory, 1> {
public:
    HRESULT RegisterMessageClass(DWORD, IUnknown*) override { return E_NOTIMPL; }
};

class Tests final : public SimpleUnknownImp1<IUnitTestRegistry, 1> {
public:
    HRESULT AddTest(IUnknown*) override { return E_NOTIMPL; }
};

class Creator final : public SimpleUnknownImp1<IMessageCreator, 1> {
public:
    HRESULT CreateMessage(WORD, DWORD, DWORD, DWORD, const void*, IMessage**) override { return E_NOTIMPL; }
};

class Shared final : public SimpleUnknownImp1<ISharedHostObject, 1> { };
class Factory final : public SimpleUnknownImp1<IObjectFactory, 1> { };

// Hands out type indexes from 0x21 on and counts the lookups of each GUID.
class Types final : public SimpleUnknownImp1<ITypeIdRegistry, 1> {
public:
    HRESULT GetTypeIndex(REFGUID guid, WORD* index) override
    {
        std::lock_guard lock(mMutex);
        ++lookups[guid];
        auto [it, added] = mIndexes.emplace(guid, WORD(0x21 + mIndexes.size()));
        *index = it->second;
        return S_OK;
    }
    HRESULT GetTypeGuid(WORD, GUID*) override { return E_NOTIMPL; }
    int Lookups(const GUID& guid)
    {
        std::lock_guard lock(mMutex);
        return lookups[guid];
    }

private:
    std::mutex mMutex;
    std::map<GUID, WORD> mIndexes;
    std::map<GUID, int> lookups;
};

// Makes the built-in objects and counts what it is asked for, by class key. Making the shared
// host object takes a while, so that concurrent first uses of its getter overlap.
class HostClass final : public SimpleUnknownImp1<IHostClassObject, 1> {
public:
    HostClass(Types& types, Creator& creator, Shared& shared, Factory& factory)
        : mTypes(types)
        , mCreator(creator)
        , mShared(shared)
        , mFactory(factory)
    {
    }
    HRESULT CreateObject(DWORD key, REFIID iid, void** out) override
    {
        {
            std::lock_guard lock(mMutex);
            ++mAsked[key];
        }
        WORD factoryType = 0;
        mTypes.GetTypeIndex(GUID_ObjectFactoryType, &factoryType);
        if (key == kMessageCreatorClassKey)
            return mCreator.QueryInterface(iid, out);
        if (key == kSharedHostObjectClassKey) {
            std::this_thread::sleep_for(std::chrono::milliseconds(20));
            return mShared.QueryInterface(iid, out);
        }
        if (key == DWORD(factoryType) << 16)
            return mFactory.QueryInterface(iid, out);
        *out = nullptr;
        return CLASS_E_CLASSNOTAVAILABLE;
    }
    HRESULT RegisterClassObject(IUnknown*) override { return E_NOTIMPL; }
    int Asked(DWORD key)
    {
        std::lock_guard lock(mMutex);
        return mAsked[key];
    }

private:
    Types& mTypes;
    Creator& mCreator;
    Shared& mShared;
    Factory& mFactory;
    std::mutex mMutex;
    std::map<DWORD, int> mAsked;
};

struct MessageBoxCall {
    void* owner;
    std::wstring text, caption;
    UINT style;
    std::uintptr_t helpContext;
    std::uintptr_t reserved1, reserved2, options;
};

class App final : public SimpleUnknownImp1<IAppServices, 1> {
public:
    HRESULT MessageBox(void* owner, const wchar_t* text, const wchar_t* caption, UINT style, std::uintptr_t help,
        int* result, std::uintptr_t r1, std::uintptr_t r2, std::uintptr_t options) override
    {
        calls.push_back({ owner, text, caption, style, help, r1, r2, options });
        resultOnEntry = *result;
        *result = 7; // "No"
        return S_OK;
    }
    HRESULT GetUILanguage(WORD* language) override
    {
        *language = 0x0409;
        return S_OK;
    }
    HRESULT ShowHelp(const wchar_t*, const wchar_t*) override { return E_NOTIMPL; }
    HRESULT GetBuildLabelState(DWORD, DWORD* hidden, DWORD* shown) override
    {
        *hidden = labelsHidden;
        *shown = static_cast<DWORD>(labels.size());
        return S_OK;
    }
    HRESULT ShowBuildLabel(DWORD, IKELString* label) override
    {
        labels.push_back(KEL::String(label).ToWString());
        return S_OK;
    }
    std::vector<MessageBoxCall> calls;
    DWORD labelsHidden = 0;
    std::vector<std::wstring> labels;
    int resultOnEntry = 0;
};

// The host's framework class object: answers each service interface with its service.
class Framework final : public SimpleUnknownImp1<IUnknown, 1> {
public:
    HRESULT QueryInterface(REFIID iid, void** out) override
    {
        IUnknown* service = nullptr;
        if (iid == ISubjectRegistry::kIid)
            service = static_cast<ISubjectRegistry*>(&subjects);
        else if (iid == IHostClassObject::kIid)
            service = static_cast<IHostClassObject*>(&host);
        else if (iid == ITypeIdRegistry::kIid)
            service = static_cast<ITypeIdRegistry*>(&types);
        else if (iid == IMessageRouter::kIid)
            service = static_cast<IMessageRouter*>(&router);
        else if (iid == IMessageFactory::kIid)
            service = static_cast<IMessageFactory*>(&messages);
        if (!service)
            return SimpleUnknownImp1<IUnknown, 1>::QueryInterface(iid, out);
        service->AddRef();
        *out = service;
        return S_OK;
    }

    Subjects subjects;
    Types types;
    Router router;
    Messages messages;
    Creator creator;
    Shared shared;
    Factory factory;
    HostClass host { types, creator, shared, factory };
    App app;
    Tests tests;
};

// Made once and never destroyed: the cached getters keep pointing at its services.
Framework* gFramework = nullptr;
DWORD gAppCookie = 0;

} // namespace

// The host registers its framework and companion classes before the extension runs, and
// revokes them when these tests are done (the loader's tests need a host without them).
class ServiceGetters : public ::testing::Test {
protected:
    static void SetUpTestSuite()
    {
        if (!gFramework)
            gFramework = new Framework;
        CoRegisterClassObject(CLSID_CAFFrameWork, gFramework, CLSCTX_INPROC_SERVER, REGCLS_MULTIPLEUSE, &sCookies[0]);
        CoRegisterClassObject(
            CLSID_CAFAppServices, &gFramework->app, CLSCTX_INPROC_SERVER, REGCLS_MULTIPLEUSE, &gAppCookie);
        CoRegisterClassObject(
            CLSID_UnitTestRegistry, &gFramework->tests, CLSCTX_INPROC_SERVER, REGCLS_MULTIPLEUSE, &sCookies[1]);
        // Nothing here may need the framework library.
        vx::hf::FrameworkLoaderHooks hooks = vx::hf::DefaultFrameworkLoaderHooks();
        hooks.exitProcess = [](int) { ADD_FAILURE() << "the framework library was loaded"; };
        vx::hf::SetFrameworkLoaderHooks(std::move(hooks));
    }
    static void TearDownTestSuite()
    {
        CoRevokeClassObject(sCookies[0]);
        CoRevokeClassObject(sCookies[1]);
        CoRevokeClassObject(gAppCookie);
    }
    static inline DWORD sCookies[2] = {};
};

namespace {
} // namespace

TEST_F(ServiceGetters, ReturnTheHostsServicesAndKeepNoReference)
{
    Framework& f = *gFramework;
    struct Case {
        const char* getter;
        IUnknown* (*get)();
        IUnknown* expected;
        ULONG (*count)();
    };
    const Case cases[] = {
        { "GetAppServices", [] { return static_cast<IUnknown*>(CAFFrameWork::GetAppServices()); }, &f.app,
            [] { return gFramework->app.RefCount(); } },
        { "GetEventHandlerRegistry", [] { return static_cast<IUnknown*>(CAFFrameWork::GetEventHandlerRegistry()); },
            &f.subjects, [] { return gFramework->subjects.RefCount(); } },
        { "GetTypeIdRegistry", [] { return static_cast<IUnknown*>(CAFFrameWork::GetTypeIdRegistry()); }, &f.types,
            [] { return gFramework->types.RefCount(); } },
        { "GetCafMessageRouter", [] { return static_cast<IUnknown*>(GetCafMessageRouter()); }, &f.router,
            [] { return gFramework->router.RefCount(); } },
        { "GetMessageFactory", [] { return static_cast<IUnknown*>(CAFFrameWork::GetMessageFactory()); }, &f.messages,
            [] { return gFramework->messages.RefCount(); } },
        { "GetUnitTestRegistry", [] { return static_cast<IUnknown*>(CAFFrameWork::GetUnitTestRegistry()); }, &f.tests,
            [] { return gFramework->tests.RefCount(); } },
        { "ObjectFactoryAccessor::Get", [] { return static_cast<IUnknown*>(ObjectFactoryAccessor::Get()); }, &f.host,
            [] { return gFramework->host.RefCount(); } },
        { "GetMessageCreator", [] { return static_cast<IUnknown*>(CAFFrameWork::GetMessageCreator()); }, &f.creator,
            [] { return gFramework->creator.RefCount(); } },
        { "GetObjectFactory", [] { return static_cast<IUnknown*>(KEL::GetObjectFactory()); }, &f.factory,
            [] { return gFramework->factory.RefCount(); } },
    };
    for (const Case& c : cases) {
        IUnknown* first = c.get();
        EXPECT_EQ(first, c.expected) << c.getter;
        const ULONG after = c.count();
        EXPECT_EQ(c.get(), first) << c.getter;
        EXPECT_EQ(c.count(), after) << c.getter;
    }
    // The host's objects carry only their own references and those of the class table.
    EXPECT_EQ(f.subjects.RefCount(), 1u);
    EXPECT_EQ(f.creator.RefCount(), 1u);
    EXPECT_EQ(f.app.RefCount(), 2u);
}

TEST_F(ServiceGetters, FactoryMadeServicesAreAskedOfTheHostClassObjectOnce)
{
    CAFFrameWork::GetMessageCreator();
    CAFFrameWork::GetMessageCreator();
    KEL::GetObjectFactory();
    KEL::GetObjectFactory();
    HostClass& host = gFramework->host;
    EXPECT_EQ(host.Asked(kMessageCreatorClassKey), 1);
    WORD factoryType = 0;
    gFramework->types.GetTypeIndex(GUID_ObjectFactoryType, &factoryType);
    EXPECT_EQ(host.Asked(DWORD(factoryType) << 16), 1);
}

TEST_F(ServiceGetters, ConcurrentFirstUsesFetchOnce)
{
    std::vector<std::thread> threads;
    std::vector<ISharedHostObject*> seen(8, nullptr);
    for (std::size_t i = 0; i < seen.size(); ++i)
        threads.emplace_back([&seen, i] { seen[i] = CAFFrameWork::GetSharedHostObject(); });
    for (auto& t : threads)
        t.join();
    for (ISharedHostObject* s : seen)
        EXPECT_EQ(s, &gFramework->shared);
    EXPECT_EQ(gFramework->host.Asked(kSharedHostObjectClassKey), 1);
    EXPECT_EQ(gFramework->shared.RefCount(), 1u);
}

TEST_F(ServiceGetters, HostMessageBoxPassesItsArgumentsInTheHostsOrder)
{
    App& app = gFramework->app;
    app.calls.clear();
    int owner = 0;
    const int answer = HostMessageBox(&owner, L"Settings are invalid.", L"Varnex", 0x2031, 5, 6, 7, 8, 9);
    EXPECT_EQ(answer, 7);
    ASSERT_EQ(app.calls.size(), 1u);
    const MessageBoxCall& call = app.calls[0];
    EXPECT_EQ(call.owner, nullptr); // the owner is not passed on
    EXPECT_EQ(call.text, L"Settings are invalid.");
    EXPECT_EQ(call.caption, L"Varnex");
    EXPECT_EQ(call.style, 0x2031u);
    EXPECT_EQ(call.helpContext, 5u);
    EXPECT_EQ(call.reserved1, 0u);
    EXPECT_EQ(call.reserved2, 0u);
    EXPECT_EQ(call.options, 9u);
    EXPECT_EQ(app.resultOnEntry, 1); // the result starts as IDOK
}

TEST_F(ServiceGetters, HostMessageBoxWithoutApplicationServicesAnswersOk)
{
    GTEST_FLAG_SET(death_test_style, "threadsafe");
    // In a fresh process whose host has no application services: the getter finds the
    // framework but not the service, and the message box answers IDOK without asking anybody.
    EXPECT_EXIT(
        {
            CoRevokeClassObject(gAppCookie);
            const int answer = HostMessageBox(nullptr, L"text", L"caption", 0, 0, 0, 0, 0, 0);
            const bool asked = !gFramework->app.calls.empty();
            std::_Exit(answer == 1 && !asked && CAFFrameWork::GetAppServices() == nullptr ? 0 : 1);
        },
        ::testing::ExitedWithCode(0), "");
}

TEST_F(ServiceGetters, HostIdsAskTheTypeIndexOnceAndShiftIt)
{
    using Analyse = TypeIdClass<&kDocumentGuid, 0x100>;
    using Clear = TypeIdClass<&kDocumentGuid, 0x101>;
    const WORD index = TypeIndexOf<&kDocumentGuid>::Get();
    EXPECT_GE(index, 0x21);
    EXPECT_EQ(Analyse::Id(), (DWORD(index) << 16) | 0x100);
    EXPECT_EQ(Clear::Id(), (DWORD(index) << 16) | 0x101);
    EXPECT_EQ(Analyse::Get(), Analyse::Get()); // one id, kept at one address
    EXPECT_EQ(*Analyse::Get(), Analyse::Id());
    EXPECT_EQ(gFramework->types.Lookups(kDocumentGuid), 1);
    EXPECT_NE(TypeIndexOf<&kOtherGuid>::Get(), index);
}

TEST_F(ServiceGetters, BuildLabelOfAPreReleaseModuleReachesAHostThatWantsIt)
{
    App& app = gFramework->app;
    auto version = [](const wchar_t* text, WORD revision) {
        vx::res::ModuleVersionInfo info;
        info.fileVersion[3] = revision;
        info.strings[L"FileVersion"] = text;
        info.strings[L"FileDescription"] = L"HRV Module";
        return info;
    };
    struct Case {
        const char* what;
        DWORD hidden;
        std::optional<vx::res::ModuleVersionInfo> info;
        std::vector<std::wstring> labels;
    };
    const Case cases[] = {
        { "beta", 0, version(L"2.0 beta 1", 5), { L"HRV Module 2.0 beta 1" } },
        { "final", 0, version(L"2.0 final", 1023), { L"HRV Module 2.0 final" } },
        { "host hides labels", 1, version(L"2.0 beta 1", 5), {} },
        { "dev build", 0, version(L"2.0 dev", 5), {} },
        { "release", 0, version(L"2.0 beta", 1024), {} },
        { "no version information", 0, std::nullopt, {} },
    };
    const HMODULE module = vx::res::ModuleOf(reinterpret_cast<const void*>(&ShowModuleVersionInHost));
    for (const Case& c : cases) {
        app.labels.clear();
        app.labelsHidden = c.hidden;
        if (c.info)
            vx::res::SetModuleVersionInfo(module, *c.info);
        else
            vx::res::SetModuleVersionInfo(module, {}); // a zero version with no texts: "N/A"
        ShowModuleVersionInHost(0, 0);
        EXPECT_EQ(app.labels, c.labels) << c.what;
    }
    app.labelsHidden = 0;
}

TEST_F(ServiceGetters, CommandsAndClassObjectsNeedTheHostsFactories)
{
    // This host makes neither factory: nothing is made, and what the caller held is let go.
    EXPECT_EQ(GetHostCommandFactory(), nullptr);
    EXPECT_EQ(GetHostClassFactory(), nullptr);
    auto* previous = new Shared; // any object standing for a command held before
    HostClassObjectPair pair { 7, previous };
    EXPECT_EQ(CreateHostObjectForClass(pair, kDocumentGuid, nullptr, nullptr), S_FALSE);
    EXPECT_EQ(pair.flag, 0);
    EXPECT_EQ(pair.object, nullptr);
    EXPECT_EQ(previous->RefCount(), 1u); // the pair's owner keeps and releases its object

    struct HeldCommand final : SimpleUnknownImp1<ICAFCommand, 1> {
        HRESULT SetId(DWORD) override { return S_OK; }
        HRESULT GetId(DWORD*) override { return S_OK; }
    };
    auto* held = new HeldCommand;
    held->AddRef();
    ICAFCommand* command = held;
    EXPECT_EQ(CreateHostSeparator(command, L"-"), E_FAIL);
    EXPECT_EQ(command, nullptr);
    EXPECT_EQ(held->RefCount(), 1u);
    command = held;
    held->AddRef();
    const DWORD textId = 27;
    EXPECT_EQ(CreateHostCommandSimple(command, 1, &textId, L"HRV|Analyse"), E_FAIL);
    EXPECT_EQ(command, nullptr);
    EXPECT_EQ(held->Release(), 0u);
    previous->Release();
}

TEST(AppName, IsTheRunningApplicationsNameOrEmpty)
{
    vx::ui::Application& app = vx::ui::GetApplication();
    const std::wstring saved = app.name;
    app.name.clear();
    EXPECT_EQ(GetAppName().ToWString(), L"");
    app.name = L"Varnex";
    EXPECT_EQ(GetAppName().ToWString(), L"Varnex");
    app.name = saved;
}
