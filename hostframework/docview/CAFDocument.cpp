#include "hostframework/docview/CAFDocument.h"

#include "hostframework/events/ComQuery.h"
#include "hostframework/services/CafFrameWork.h"

using vx::hf::Query;
using vx::hf::QueryUnheld;

namespace {

template <class I> I* MakeFactory(DWORD classKey)
{
    IHostClassObject* host = ObjectFactoryAccessor::Get();
    if (!host)
        return nullptr;
    void* out = nullptr;
    if (FAILED(host->CreateObject(classKey, vx::com::IidOf<I>(), &out)))
        return nullptr;
    return static_cast<I*>(out);
}

HRESULT CopyString(const KEL::String& text, IKELString** out)
{
    if (!out)
        return E_POINTER;
    *out = text.CopyRep();
    return S_OK;
}

// Keeps an object's count raised while it is handed to the host during its own construction,
// so that a reference the host takes and gives back cannot destroy it; the count is lowered
// again without destroying anything.
class ConstructionGuard {
public:
    explicit ConstructionGuard(std::atomic<ULONG>& count)
        : mCount(count)
    {
        mCount.fetch_add(1);
    }
    ~ConstructionGuard() { mCount.fetch_sub(1); }
    ConstructionGuard(const ConstructionGuard&) = delete;
    ConstructionGuard& operator=(const ConstructionGuard&) = delete;

private:
    std::atomic<ULONG>& mCount;
};

} // namespace

// ---- CAFDocument

CAFDocument::CAFDocument(IUnknown* hostDocument, IUnknown* classObject, DWORD flags)
    : mFlags(flags)
{
    mHostDocument = hostDocument;
    mHostDocumentData = QueryUnheld<IHostDocumentData>(hostDocument);
    mClassObject = classObject;
    if (mClassObject)
        mClassObject->AddRef();
    mClassData = Query<IDocumentClassData>(classObject);

    ConstructionGuard guard(mRefCount);
    if (auto* factory = MakeFactory<IDocumentCounterpartFactory>(kDocumentCounterpartClassKey)) {
        factory->CreateCounterpart(classObject, hostDocument, static_cast<ICustomDocument2*>(this),
            (flags & (1u << 30)) ? 1 : 0, &mCounterpart);
        factory->Release();
    }
}

CAFDocument::~CAFDocument()
{
    if (mClassObject)
        mClassObject->Release();
    if (mCounterpart)
        mCounterpart->Release();
}

const KEL::InterfaceMapEntry* CAFDocument::GetInterfaceMap()
{
    static const KEL::InterfaceMapEntry map[] = {
        KEL::MapEntry<CAFDocument, ICustomDocument2>(),
        KEL::MapEntry<CAFDocument, ICustomDocument>(),
        KEL::MapEntry<CAFDocument, ICAFCommandHandler>(),
        KEL::MapEntry<CAFDocument, IObserver>(),
        KEL::MapEntry<CAFDocument, IMessageHandler>(),
        KEL::kMapEnd,
    };
    return map;
}

HRESULT CAFDocument::QueryInterface(REFIID iid, void** out)
{
    return InternalQueryInterface(this, GetInterfaceMap(), iid, out);
}

ULONG CAFDocument::AddRef()
{
    return InternalAddRef();
}

ULONG CAFDocument::Release()
{
    return ReleaseObject(this);
}

HRESULT CAFDocument::GetName(IKELString** out)
{
    return CopyString(mName, out);
}

HRESULT CAFDocument::CanClose(WORD* canClose)
{
    if (!canClose)
        return E_POINTER;
    *canClose = 0xFFFF;
    return S_OK;
}

HRESULT CAFDocument::DisconnectSender()
{
    CAFMessageSender::Disconnect();
    return S_OK;
}

HRESULT CAFDocument::GetView(IUnknown** out)
{
    if (out)
        *out = nullptr;
    return E_NOTIMPL;
}

HRESULT CAFDocument::GetFlags(DWORD* flags)
{
    if (!flags)
        return E_POINTER;
    *flags = mFlags;
    return S_OK;
}

HRESULT CAFDocument::GetHostDocumentLink(IHostDocumentLink** out)
{
    if (!out)
        return E_POINTER;
    if (!mHostDocumentLink)
        mHostDocumentLink = QueryUnheld<IHostDocumentLink>(mHostDocument);
    *out = mHostDocumentLink;
    if (*out)
        (*out)->AddRef();
    return *out ? S_OK : E_NOINTERFACE;
}

HRESULT CAFDocument::GetChildObject(DWORD, DWORD, IUnknown** out, DWORD* cookie)
{
    if (out)
        *out = nullptr;
    if (cookie)
        *cookie = 0;
    return E_NOTIMPL;
}

HRESULT CAFDocument::SetTitle(DWORD, IKELString* title)
{
    mTitle = KEL::String(title);
    return S_OK;
}

HRESULT CAFDocument::GetTitle(IKELString** out)
{
    return CopyString(mTitle, out);
}

HRESULT CAFDocument::GetState(DWORD* state)
{
    if (!state)
        return E_POINTER;
    *state = mState;
    return S_OK;
}

HRESULT CAFDocument::GetStore(IUnknown** out)
{
    if (out)
        *out = nullptr;
    return E_NOTIMPL;
}

IMessageHandler* CAFDocument::CounterpartHandler()
{
    if (!mHandlerFetched) {
        mCounterpartHandler = QueryUnheld<IMessageHandler>(mCounterpart);
        mHandlerFetched = true;
    }
    return mCounterpartHandler;
}

IObserver* CAFDocument::CounterpartObserver()
{
    if (!mObserverFetched) {
        mCounterpartObserver = QueryUnheld<IObserver>(mCounterpart);
        mObserverFetched = true;
    }
    return mCounterpartObserver;
}

ISubject* CAFDocument::CounterpartSubject()
{
    if (!mCounterpartSubject)
        mCounterpartSubject = QueryUnheld<ISubject>(mCounterpart);
    return mCounterpartSubject;
}

HRESULT CAFDocument::HandleMessage(IMessage* message)
{
    if (Accepts(message) == S_OK) {
        if (DispatchMessageEvent(this, message))
            return 1;
        if (CAFMessageHandler::HandleMessage(message))
            return 1;
    }
    IMessageHandler* counterpart = CounterpartHandler();
    return counterpart ? counterpart->HandleMessage(message) : 0;
}

HRESULT CAFDocument::OnAttach(ISubject* subject)
{
    if (IObserver* counterpart = CounterpartObserver())
        counterpart->OnAttach(subject);
    return CAFEventHandlerT<1>::OnAttach(subject);
}

HRESULT CAFDocument::OnNotify(ISubject* subject, DWORD eventId, ULONGLONG a, ULONGLONG b)
{
    if (IObserver* counterpart = CounterpartObserver())
        counterpart->OnNotify(subject, eventId, a, b);
    return CAFEventHandlerT<1>::OnNotify(subject, eventId, a, b);
}

HRESULT CAFDocument::SendUpdate(const DWORD* record)
{
    if (!record)
        return E_POINTER;
    ISubject* subject = CounterpartSubject();
    if (!subject)
        return E_FAIL;
    return subject->Notify(record[0], reinterpret_cast<std::uintptr_t>(record + 1));
}

// ---- CAFDocumentClassBase

CAFDocumentClassBase::CAFDocumentClassBase(const KEL::String& name, std::uintptr_t value, const GUID* classGuid,
    DWORD kind, DWORD options, std::uintptr_t argument)
    : mName(name)
    , mValue(value)
    , mClassGuid(classGuid)
    , mKind(kind)
    , mOptions(options)
{
    ConstructionGuard guard(mRefCount);
    if (auto* factory = MakeFactory<IClassCounterpartFactory>(kClassCounterpartClassKey)) {
        factory->CreateCounterpart(&mCounterpart, static_cast<ICustomDocClass*>(this), argument);
        mCounterpartData = QueryUnheld<IDocumentClassData>(mCounterpart);
        factory->Release();
    }
}

CAFDocumentClassBase::~CAFDocumentClassBase()
{
    if (mHostObject.object)
        mHostObject.object->Release();
    if (mCounterpart)
        mCounterpart->Release();
}

const KEL::InterfaceMapEntry* CAFDocumentClassBase::GetInterfaceMap()
{
    static const KEL::InterfaceMapEntry map[] = {
        KEL::MapEntry<CAFDocumentClassBase, ICustomDocClass>(),
        KEL::MapEntry<CAFDocumentClassBase, ICAFClassObject>(),
        KEL::MapEntry<CAFDocumentClassBase, ICAFCommandHandler>(),
        KEL::MapEntry<CAFDocumentClassBase, IObserver>(),
        KEL::MapEntry<CAFDocumentClassBase, IMessageHandler>(),
        KEL::kMapEnd,
    };
    return map;
}

HRESULT CAFDocumentClassBase::QueryInterface(REFIID iid, void** out)
{
    const HRESULT hr = InternalQueryInterface(this, GetInterfaceMap(), iid, out);
    // What the class does not answer itself, its counterpart may (the class data it is asked for).
    if (hr == E_NOINTERFACE && mCounterpart && iid == IDocumentClassData::kIid)
        return mCounterpart->QueryInterface(iid, out);
    return hr;
}

ULONG CAFDocumentClassBase::AddRef()
{
    return InternalAddRef();
}

ULONG CAFDocumentClassBase::Release()
{
    return ReleaseObject(this);
}

HRESULT CAFDocumentClassBase::GetClassGuid(const GUID** out)
{
    if (!out)
        return E_POINTER;
    *out = mClassGuid;
    return S_OK;
}

HRESULT CAFDocumentClassBase::GetClassId(DWORD* id)
{
    if (!id)
        return E_POINTER;
    *id = mKind;
    return S_OK;
}

HRESULT CAFDocumentClassBase::IsClass(const GUID* guid)
{
    if (!guid || !mClassGuid)
        return S_FALSE;
    return guid == mClassGuid || *guid == *mClassGuid ? S_OK : S_FALSE;
}

HRESULT CAFDocumentClassBase::GetName(IKELString** out)
{
    return CopyString(mName, out);
}

HRESULT CAFDocumentClassBase::GetOptions(DWORD* options)
{
    if (!options)
        return E_POINTER;
    *options = mOptions;
    return S_OK;
}

HRESULT CAFDocumentClassBase::InsertCommands(std::uintptr_t argument)
{
    const auto handler = Query<ICAFCommandHandler>(static_cast<ICustomDocClass*>(this));
    RegisterCommands(handler.Get(), argument);
    return 0;
}

HRESULT CAFDocumentClassBase::GetValue(std::uintptr_t* value)
{
    if (!value)
        return E_POINTER;
    *value = mValue;
    return S_OK;
}

ICAFCommandHandler* CAFDocumentClassBase::CounterpartCommands()
{
    return Query<ICAFCommandHandler>(mCounterpart).Detach();
}

HRESULT CAFDocumentClassBase::OnCommand(DWORD id)
{
    ICAFCommandHandler* counterpart = CounterpartCommands();
    if (!counterpart)
        return S_FALSE;
    const HRESULT hr = counterpart->OnCommand(id);
    counterpart->Release();
    return hr == 0 ? 0 : DispatchCommand(this, id);
}

HRESULT CAFDocumentClassBase::OnCommandEnable(DWORD id, ICommandEnabler* enabler)
{
    ICAFCommandHandler* counterpart = CounterpartCommands();
    if (!counterpart)
        return S_FALSE;
    const HRESULT hr = counterpart->OnCommandEnable(id, enabler);
    counterpart->Release();
    return hr == 0 ? 0 : DispatchCommandEnable(this, id, enabler);
}

HRESULT CAFDocumentClassBase::OnCommandNotify(DWORD id, DWORD code, ULONGLONG a, ULONGLONG b)
{
    ICAFCommandHandler* counterpart = CounterpartCommands();
    if (!counterpart)
        return S_FALSE;
    const HRESULT hr = counterpart->OnCommandNotify(id, code, a, b);
    counterpart->Release();
    return hr == 0 ? 0 : DispatchCommandNotify(this, id, code, a, b);
}
