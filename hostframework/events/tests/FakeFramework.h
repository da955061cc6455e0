#pragma once
// A recording stand-in for the host framework, registered once per test process: subject
// registry, message router, host class object with the counterpart factories, type registry,
// and a counterpart and a message that record what is asked of them. Every call lands in one
// call log as a short line, so a test compares the sequence with a table of expected lines.
#include <gtest/gtest.h>

#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "com/ClassObjects.h"
#include "foundation/base/SimpleUnknownImp.h"
#include "hostframework/interfaces/DocViewInterfaces.h"
#include "hostframework/services/CafFrameWork.h"

namespace fake {

inline std::vector<std::string>& Calls()
{
    static std::vector<std::string> calls;
    return calls;
}
inline void Record(std::string line)
{
    Calls().push_back(std::move(line));
}

inline std::string Hex(DWORD value)
{
    char text[16];
    std::snprintf(text, sizeof text, "%X", value);
    return text;
}

// A host message: id, flags and the sender named while it is sent.
class Message final : public SimpleUnknownImp1<IMessage, 1> {
public:
    Message(DWORD id, DWORD flags = 0)
        : mId(id)
        , mFlags(flags)
    {
    }
    HRESULT GetId(DWORD* id) override
    {
        *id = mId;
        return S_OK;
    }
    HRESULT GetFlags(DWORD* flags) override
    {
        *flags = mFlags;
        return S_OK;
    }
    HRESULT Clone(IMessage**) override { return E_NOTIMPL; }
    HRESULT GetData(IUnknown** out) override
    {
        *out = data;
        if (data)
            data->AddRef();
        return S_OK;
    }
    HRESULT SetSender(ULONGLONG s) override
    {
        sender = s;
        return S_OK;
    }
    HRESULT IsSender(ULONGLONG s, WORD* isSender) override
    {
        *isSender = sender && sender == s ? 0xFFFF : 0;
        return S_OK;
    }
    ULONGLONG sender = 0;
    IUnknown* data = nullptr;

private:
    DWORD mId;
    DWORD mFlags;
};

// Keeps subscriptions and calls observers, recording each call.
class Registry final : public SimpleUnknownImp1<ISubjectRegistry, 1> {
public:
    HRESULT Attach(ISubject* subject, IObserver* observer) override
    {
        Record("registry.attach");
        mRows.push_back({ subject, observer, std::nullopt });
        return S_OK;
    }
    HRESULT Detach(ISubject* subject, IObserver* observer) override
    {
        Record("registry.detach");
        std::erase_if(mRows, [&](const Row& r) { return r.subject == subject && r.observer == observer; });
        return S_OK;
    }
    HRESULT Notify(ISubject* subject, DWORD eventId, ULONGLONG value) override
    {
        Record("registry.notify " + Hex(eventId));
        const std::vector<Row> rows = mRows;
        for (const Row& r : rows)
            if (r.subject == subject && (!r.eventId || *r.eventId == eventId))
                r.observer->OnNotify(subject, eventId, 0, value);
        return S_OK;
    }
    HRESULT AttachForEvent(ISubject* subject, IObserver* observer, DWORD eventId, LONG flags) override
    {
        Record("registry.attachForEvent " + Hex(eventId) + " " + std::to_string(flags));
        mRows.push_back({ subject, observer, eventId });
        return S_OK;
    }
    HRESULT ForgetSubject(ISubject* subject) override
    {
        Record("registry.forgetSubject");
        std::erase_if(mRows, [&](const Row& r) { return r.subject == subject; });
        return S_OK;
    }
    HRESULT ForgetObserver(IObserver* observer) override
    {
        Record("registry.forgetObserver");
        std::erase_if(mRows, [&](const Row& r) { return r.observer == observer; });
        return S_OK;
    }
    void Clear() { mRows.clear(); }

private:
    struct Row {
        ISubject* subject;
        IObserver* observer;
        std::optional<DWORD> eventId;
    };
    std::vector<Row> mRows;
};

// Records each route and offers the message to its receivers in order.
class Router final : public SimpleUnknownImp1<IMessageRouter, 1> {
public:
    HRESULT Route(IMessage* message, IMessageHandler* source) override
    {
        DWORD id = 0;
        message->GetId(&id);
        ULONGLONG sender = 0;
        if (auto* m = dynamic_cast<Message*>(message))
            sender = m->sender;
        Record(
            "router.route " + Hex(id) + (sender ? " with sender" : " without sender") + (source ? " from source" : ""));
        lastSource = source;
        if (onRoute)
            onRoute();
        for (IMessageHandler* receiver : receivers)
            if (receiver->HandleMessage(message))
                return S_OK;
        return result;
    }
    std::vector<IMessageHandler*> receivers; // not held
    HRESULT result = S_FALSE;
    IMessageHandler* lastSource = nullptr;
    std::function<void()> onRoute;
};

class Types final : public SimpleUnknownImp1<ITypeIdRegistry, 1> {
public:
    HRESULT GetTypeIndex(REFGUID guid, WORD* index) override
    {
        for (std::size_t i = 0; i < mGuids.size(); ++i)
            if (mGuids[i] == guid) {
                *index = WORD(0x21 + i);
                return S_OK;
            }
        mGuids.push_back(guid);
        *index = WORD(0x21 + mGuids.size() - 1);
        return S_OK;
    }
    HRESULT GetTypeGuid(WORD index, GUID* guid) override
    {
        if (index < 0x21 || index - 0x21u >= mGuids.size())
            return E_INVALIDARG;
        *guid = mGuids[index - 0x21];
        return S_OK;
    }

private:
    std::vector<GUID> mGuids;
};

// A host counterpart of documents, document classes and view classes. Each answer is set by the
// test; every call is recorded with the counterpart's name.
class Counterpart final : public SimpleUnknownImp1<IUnknown, 0>,
                          public IMessageHandler,
                          public IObserver,
                          public ISubject,
                          public ICAFCommandHandler,
                          public IViewClassLink {
public:
    explicit Counterpart(std::string name)
        : mName(std::move(name))
    {
    }
    HRESULT QueryInterface(REFIID iid, void** out) override
    {
        *out = nullptr;
        if (iid == IMessageHandler::kIid)
            *out = static_cast<IMessageHandler*>(this);
        else if (iid == IObserver::kIid)
            *out = static_cast<IObserver*>(this);
        else if (iid == ISubject::kIid)
            *out = static_cast<ISubject*>(this);
        else if (iid == ICAFCommandHandler::kIid && answersCommands)
            *out = static_cast<ICAFCommandHandler*>(this);
        else if (iid == IViewClassLink::kIid && answersLink)
            *out = static_cast<IViewClassLink*>(this);
        else
            return SimpleUnknownImp1<IUnknown, 0>::QueryInterface(iid, out);
        AddRef();
        return S_OK;
    }
    ULONG AddRef() override { return SimpleUnknownImp1<IUnknown, 0>::AddRef(); }
    ULONG Release() override { return SimpleUnknownImp1<IUnknown, 0>::Release(); }

    // IMessageHandler
    HRESULT HandleMessage(IMessage* m) override
    {
        DWORD id = 0;
        m->GetId(&id);
        Record(mName + ".message " + Hex(id));
        return messageAnswer;
    }
    HRESULT AddHandler(IMessageHandler*) override { return E_NOTIMPL; }
    HRESULT RemoveHandler(IMessageHandler*) override { return E_NOTIMPL; }
    HRESULT SetParent(IMessageHandler*) override { return E_NOTIMPL; }
    HRESULT GetSource(IMessageHandler** out) override
    {
        *out = nullptr;
        return E_NOTIMPL;
    }
    HRESULT Accepts(IMessage*) override { return S_OK; }
    // IObserver
    HRESULT OnAttach(ISubject*) override
    {
        Record(mName + ".attach");
        return S_OK;
    }
    HRESULT OnNotify(ISubject*, DWORD eventId, ULONGLONG, ULONGLONG) override
    {
        Record(mName + ".notify " + Hex(eventId));
        return S_OK;
    }
    // ISubject
    HRESULT Notify(DWORD eventId, ULONGLONG value) override
    {
        Record(mName + ".subjectNotify " + Hex(eventId));
        lastValue = value;
        return S_OK;
    }
    HRESULT Attach(IObserver*) override { return E_NOTIMPL; }
    HRESULT Detach(IObserver*) override { return E_NOTIMPL; }
    HRESULT AttachForEvent(IObserver*, DWORD, LONG) override { return E_NOTIMPL; }
    // ICAFCommandHandler
    HRESULT OnCommand(DWORD id) override
    {
        Record(mName + ".command " + Hex(id));
        return commandAnswer;
    }
    HRESULT OnCommandEnable(DWORD id, ICommandEnabler*) override
    {
        Record(mName + ".enable " + Hex(id));
        return commandAnswer;
    }
    HRESULT OnCommandNotify(DWORD id, DWORD code, ULONGLONG, ULONGLONG) override
    {
        Record(mName + ".commandNotify " + Hex(id) + " " + std::to_string(code));
        return commandAnswer;
    }
    // IViewClassLink
    HRESULT ViewInitialised(IDocView2*) override
    {
        Record(mName + ".viewInitialised");
        return S_OK;
    }
    HRESULT ClassInitialised() override
    {
        Record(mName + ".classInitialised");
        return S_OK;
    }

    HRESULT messageAnswer = 0;
    HRESULT commandAnswer = S_FALSE;
    bool answersCommands = true;
    bool answersLink = true;
    ULONGLONG lastValue = 0;

private:
    std::string mName;
};

// Makes counterparts and keeps the last one made for the test to steer.
class CounterpartFactories final : public SimpleUnknownImp1<IUnknown, 1>,
                                   public IDocumentCounterpartFactory,
                                   public IClassCounterpartFactory,
                                   public IGenericClassObject {
public:
    HRESULT QueryInterface(REFIID iid, void** out) override
    {
        *out = nullptr;
        if (iid == IDocumentCounterpartFactory::kIid)
            *out = static_cast<IDocumentCounterpartFactory*>(this);
        else if (iid == IClassCounterpartFactory::kIid)
            *out = static_cast<IClassCounterpartFactory*>(this);
        else if (iid == IGenericClassObject::kIid || iid == ICAFClassObject::kIid)
            *out = static_cast<IGenericClassObject*>(this);
        else
            return SimpleUnknownImp1<IUnknown, 1>::QueryInterface(iid, out);
        AddRef();
        return S_OK;
    }
    ULONG AddRef() override { return SimpleUnknownImp1<IUnknown, 1>::AddRef(); }
    ULONG Release() override { return SimpleUnknownImp1<IUnknown, 1>::Release(); }

    HRESULT CreateCounterpart(IUnknown*, IUnknown*, IUnknown* document, WORD flag30, IUnknown** out) override
    {
        Record("factory.document flag30=" + std::to_string(flag30));
        // The document is asked for nothing while it is being built, but may be counted.
        document->AddRef();
        document->Release();
        return Make("documentCounterpart", out);
    }
    HRESULT CreateCounterpart(IUnknown** out, IUnknown*, std::uintptr_t argument) override
    {
        Record("factory.class " + std::to_string(argument));
        return Make("classCounterpart", out);
    }
    HRESULT GetClassId(DWORD* id) override
    {
        *id = kViewClassCounterpartClassKey;
        return S_OK;
    }
    HRESULT CreateInstance(IUnknown*, REFIID, void** out) override
    {
        Record("factory.viewClass");
        IUnknown* made = nullptr;
        const HRESULT hr = Make("viewClassCounterpart", &made);
        *out = made;
        return hr;
    }

    bool makeCounterparts = true;
    Counterpart* last = nullptr; // not held

private:
    HRESULT Make(const char* name, IUnknown** out)
    {
        *out = nullptr;
        if (!makeCounterparts)
            return E_FAIL;
        last = new Counterpart(name);
        last->AddRef();
        *out = static_cast<IMessageHandler*>(last);
        return S_OK;
    }
};

class HostClass final : public SimpleUnknownImp1<IHostClassObject, 1> {
public:
    explicit HostClass(CounterpartFactories& factories)
        : mFactories(factories)
    {
    }
    HRESULT CreateObject(DWORD classKey, REFIID iid, void** out) override
    {
        *out = nullptr;
        if (classKey == kDocumentCounterpartClassKey || classKey == kClassCounterpartClassKey
            || classKey == kViewClassCounterpartClassKey)
            return mFactories.QueryInterface(iid, out);
        return CLASS_E_CLASSNOTAVAILABLE;
    }
    HRESULT RegisterClassObject(IUnknown*) override { return E_NOTIMPL; }

private:
    CounterpartFactories& mFactories;
};

class Framework final : public SimpleUnknownImp1<IUnknown, 1> {
public:
    HRESULT QueryInterface(REFIID iid, void** out) override
    {
        *out = nullptr;
        IUnknown* service = nullptr;
        if (iid == ISubjectRegistry::kIid)
            service = static_cast<ISubjectRegistry*>(&registry);
        else if (iid == IHostClassObject::kIid)
            service = static_cast<IHostClassObject*>(&host);
        else if (iid == ITypeIdRegistry::kIid)
            service = static_cast<ITypeIdRegistry*>(&types);
        else if (iid == IMessageRouter::kIid)
            service = static_cast<IMessageRouter*>(&router);
        if (!service)
            return SimpleUnknownImp1<IUnknown, 1>::QueryInterface(iid, out);
        service->AddRef();
        *out = service;
        return S_OK;
    }
    Registry registry;
    Router router;
    Types types;
    CounterpartFactories factories;
    HostClass host { factories };
};

// The process's framework: registered on first use, never destroyed (the cached service
// getters keep pointing at it).
inline Framework& TheFramework()
{
    static Framework* framework = [] {
        auto* f = new Framework;
        DWORD cookie = 0;
        CoRegisterClassObject(CLSID_CAFFrameWork, f, CLSCTX_INPROC_SERVER, REGCLS_MULTIPLEUSE, &cookie);
        vx::hf::FrameworkLoaderHooks hooks = vx::hf::DefaultFrameworkLoaderHooks();
        hooks.exitProcess = [](int) { ADD_FAILURE() << "the framework library was loaded"; };
        vx::hf::SetFrameworkLoaderHooks(std::move(hooks));
        return f;
    }();
    return *framework;
}

// Each test starts with an empty call log, no receivers and no subscriptions.
class FrameworkTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        framework = &TheFramework();
        framework->router.receivers.clear();
        framework->router.result = S_FALSE;
        framework->router.onRoute = nullptr;
        framework->registry.Clear();
        framework->factories.makeCounterparts = true;
        Calls().clear();
    }
    Framework* framework = nullptr;
};

using Lines = std::vector<std::string>;

} // namespace fake
