// The framework library's entry: its process-wide state, DllGetClassObject and the host API.
#include <mutex>
#include <new>

#include "caf/FrameworkServices.h"
#include "com/ClassObjects.h"
#include "foundation/base/ExceptionBoundary.h"
#include "res/Resource.h"

namespace caf {
namespace {

template <class T> T* Held(T* object)
{
    object->AddRef();
    return object;
}

// Every service of the framework, built once. The framework's companion classes (application
// services, unit-test registry) are registered in the process's class table when the framework
// class object is first handed out, so that whoever can reach the framework can reach them too;
// they are revoked when the library goes away.
class FrameworkState {
public:
    FrameworkState()
        : mSubjects(Held(new SubjectRegistry))
        , mTypes(Held(new TypeIdRegistry))
        , mCreator(Held(new MessageCreator))
        , mRouter(Held(new MessageRouter))
        , mShared(Held(new SharedHostObject))
        , mFactory(Held(new ObjectFactory))
        , mCommands(Held(new HostCommandFactory))
        , mClasses(Held(new HostClassFactory))
        , mHost(
              Held(new HostClassObject(mRegistrations, *mTypes, *mCreator, *mShared, *mFactory, *mCommands, *mClasses)))
        , mMessages(Held(new MessageFactory(mRegistrations)))
        , mTests(Held(new UnitTestRegistry(mRegistrations)))
        , mApp(Held(new AppServices))
        , mFramework(Held(new FrameworkClassObject(*mSubjects, *mHost, *mTypes, *mRouter, *mMessages)))
    {
    }

    ~FrameworkState()
    {
        for (DWORD cookie : mCompanionCookies)
            CoRevokeClassObject(cookie);
        mRegistrations.ReleaseAll();
        mFramework->Release();
        mApp->Release();
        mTests->Release();
        mMessages->Release();
        mHost->Release();
        mClasses->Release();
        mCommands->Release();
        mFactory->Release();
        mShared->Release();
        mRouter->Release();
        mCreator->Release();
        mTypes->Release();
        mSubjects->Release();
    }

    void RegisterCompanions()
    {
        std::call_once(mCompanionsOnce, [this] {
            for (auto [clsid, object] :
                { std::pair<CLSID, IUnknown*> { CLSID_CAFAppServices, static_cast<IAppServices*>(mApp) },
                    std::pair<CLSID, IUnknown*> { CLSID_UnitTestRegistry, mTests } }) {
                DWORD cookie = 0;
                if (SUCCEEDED(CoRegisterClassObject(clsid, object, CLSCTX_INPROC_SERVER, REGCLS_MULTIPLEUSE, &cookie)))
                    mCompanionCookies.push_back(cookie);
            }
        });
    }

    RegistrationList mRegistrations;
    SubjectRegistry* mSubjects;
    TypeIdRegistry* mTypes;
    MessageCreator* mCreator;
    MessageRouter* mRouter;
    SharedHostObject* mShared;
    ObjectFactory* mFactory;
    HostCommandFactory* mCommands;
    HostClassFactory* mClasses;
    HostClassObject* mHost;
    MessageFactory* mMessages;
    UnitTestRegistry* mTests;
    AppServices* mApp;
    FrameworkClassObject* mFramework;

private:
    std::once_flag mCompanionsOnce;
    std::vector<DWORD> mCompanionCookies;
};

FrameworkState& State()
{
    static FrameworkState state;
    return state;
}

} // namespace

HRESULT GetClassObject(REFCLSID clsid, REFIID iid, void** out);

std::vector<Registration> Registrations()
{
    return State().mRegistrations.Snapshot();
}

void ReleaseRegistrations()
{
    State().mRegistrations.ReleaseAll();
}

MessageBoxHandler SetMessageBoxHandler(MessageBoxHandler handler)
{
    return State().mApp->SetHandler(std::move(handler));
}

HelpHandler SetHelpHandler(HelpHandler handler)
{
    return State().mApp->SetHelpHandler(std::move(handler));
}

void QueueMessageBoxAnswer(int buttonId)
{
    State().mApp->QueueAnswer(buttonId);
}

void ClearMessageBoxAnswers()
{
    State().mApp->ClearAnswers();
}

void SetApplicationFlag(const std::wstring& name, bool value)
{
    State().mApp->SetFlag(name, value);
}

void SetBuildLabelsHidden(bool hidden)
{
    State().mApp->SetBuildLabelsHidden(hidden);
}

std::vector<std::wstring> BuildLabels()
{
    return State().mApp->BuildLabels();
}

void SetUILanguage(WORD language)
{
    State().mApp->SetLanguage(language);
    // Resource texts are loaded in the language the host reports.
    vx::res::SetUserInterfaceLanguage(language);
}

void AddMessageReceiver(IMessageHandler* handler)
{
    State().mRouter->AddReceiver(handler);
}

void RemoveMessageReceiver(IMessageHandler* handler)
{
    State().mRouter->RemoveReceiver(handler);
}

} // namespace caf

extern "C" __attribute__((visibility("default"))) HRESULT DllGetClassObject(REFCLSID clsid, REFIID iid, void** out)
{
    if (!out)
        return E_POINTER;
    *out = nullptr;
    return vx::hf::Guarded("DllGetClassObject", [&] { return caf::GetClassObject(clsid, iid, out); });
}

HRESULT caf::GetClassObject(REFCLSID clsid, REFIID iid, void** out)
{
    caf::FrameworkState& state = caf::State();
    if (clsid == CLSID_CAFFrameWork) {
        state.RegisterCompanions();
        return state.mFramework->QueryInterface(iid, out);
    }
    if (clsid == CLSID_CAFAppServices)
        return state.mApp->QueryInterface(iid, out);
    if (clsid == CLSID_UnitTestRegistry)
        return state.mTests->QueryInterface(iid, out);
    return CLASS_E_CLASSNOTAVAILABLE;
}
