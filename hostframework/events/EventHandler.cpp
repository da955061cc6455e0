#include "hostframework/events/EventHandler.h"

#include "hostframework/services/CafFrameWork.h"

// ---- CAFEventHandlerT<1>

CAFEventHandlerT<1>::CAFEventHandlerT()
{
    // Fetched here so that the registry is at hand when the destructor needs it.
    CAFFrameWork::GetEventHandlerRegistry();
}

CAFEventHandlerT<1>::~CAFEventHandlerT()
{
    if (ISubjectRegistry* registry = CAFFrameWork::GetEventHandlerRegistry())
        registry->ForgetObserver(static_cast<IObserver*>(this));
}

HRESULT CAFEventHandlerT<1>::OnCommand(DWORD id)
{
    return DispatchCommand(this, id);
}

HRESULT CAFEventHandlerT<1>::OnCommandEnable(DWORD id, ICommandEnabler* enabler)
{
    return DispatchCommandEnable(this, id, enabler);
}

HRESULT CAFEventHandlerT<1>::OnCommandNotify(DWORD id, DWORD code, ULONGLONG a, ULONGLONG b)
{
    return DispatchCommandNotify(this, id, code, a, b);
}

HRESULT CAFEventHandlerT<1>::OnAttach(ISubject* subject)
{
    RegisterAction action(subject, static_cast<IObserver*>(this));
    ForEachEntry(action);
    return 0;
}

HRESULT CAFEventHandlerT<1>::OnNotify(ISubject*, DWORD eventId, ULONGLONG a, ULONGLONG b)
{
    DispatchObserverEvent(this, eventId, a, b);
    return 0;
}

HRESULT CAFEventHandlerT<1>::HandleMessage(IMessage* message)
{
    if (Accepts(message) != S_OK)
        return 0;
    if (DispatchMessageEvent(this, message))
        return 1;
    return CAFMessageHandler::HandleMessage(message);
}

HRESULT CAFEventHandlerT<1>::HandleTableMessage(IMessage* message)
{
    return static_cast<IMessageHandler*>(this)->HandleMessage(message);
}

// ---- CAFCppEventHandler

CAFCppEventHandler::~CAFCppEventHandler()
{
    DetachProxy();
    // The subjects are listed, not owned.
    mSubjects.RemoveRange(0, mSubjects.Count());
}

void CAFCppEventHandler::SetProxy(CAFProxyEventHandlerBase* proxy)
{
    DetachProxy();
    if (!proxy)
        return;
    proxy->AsObserver()->AddRef();
    mProxy = proxy;
    proxy->mHandler = this;
    IMessageHandler* source = nullptr;
    static_cast<IMessageHandler*>(proxy)->GetSource(&source);
    SetSource(source, true);
    if (source)
        source->Release();
    for (std::uint32_t i = 0; i < mSubjects.Count(); ++i)
        if (ISubject* subject = mSubjects[i])
            subject->Attach(proxy->AsObserver());
}

void CAFCppEventHandler::DetachProxy()
{
    if (CAFProxyEventHandlerBase* proxy = mProxy) {
        mProxy = nullptr;
        proxy->mHandler = nullptr;
        proxy->AsObserver()->Release();
    }
}

void CAFCppEventHandler::AddSubject(ISubject* subject)
{
    if (subject)
        mSubjects.Add(subject);
}

// ---- CAFProxyEventHandlerBase

CAFProxyEventHandlerBase::~CAFProxyEventHandlerBase()
{
    if (mHandler)
        mHandler->DetachProxy();
    if (ISubjectRegistry* registry = CAFFrameWork::GetEventHandlerRegistry())
        registry->ForgetObserver(static_cast<IObserver*>(this));
}

HRESULT CAFProxyEventHandlerBase::OnCommand(DWORD id)
{
    return mHandler ? DispatchCommand(mHandler, id) : 0;
}

HRESULT CAFProxyEventHandlerBase::OnCommandEnable(DWORD id, ICommandEnabler* enabler)
{
    return mHandler ? DispatchCommandEnable(mHandler, id, enabler) : 0;
}

HRESULT CAFProxyEventHandlerBase::OnCommandNotify(DWORD id, DWORD code, ULONGLONG a, ULONGLONG b)
{
    return mHandler ? DispatchCommandNotify(mHandler, id, code, a, b) : 0;
}

HRESULT CAFProxyEventHandlerBase::OnAttach(ISubject* subject)
{
    if (!mHandler)
        return 1;
    RegisterAction action(subject, static_cast<IObserver*>(this));
    mHandler->ForEachEntry(action);
    return 0;
}

HRESULT CAFProxyEventHandlerBase::OnNotify(ISubject*, DWORD eventId, ULONGLONG a, ULONGLONG b)
{
    if (mHandler)
        DispatchObserverEvent(mHandler, eventId, a, b);
    return 0;
}

HRESULT CAFProxyEventHandlerBase::HandleMessage(IMessage* message)
{
    if (Accepts(message) != S_OK)
        return 0;
    if (mHandler) {
        // The connected object's own messages are not delivered back to it either.
        DWORD flags = 0;
        message->GetFlags(&flags);
        if (flags & IMessage::kFlagNotToSender) {
            WORD isSender = 0;
            message->IsSender(mHandler->SenderToken(), &isSender);
            if (isSender)
                return 0;
        }
        if (const HRESULT handled = mHandler->HandleTableMessage(message))
            return handled;
    }
    return CAFMessageHandler::HandleMessage(message);
}

// ---- CAFProxyEventHandler

const KEL::InterfaceMapEntry* CAFProxyEventHandler::GetInterfaceMap()
{
    static const KEL::InterfaceMapEntry map[] = {
        KEL::MapEntry<CAFProxyEventHandler, ICAFCommandHandler>(),
        KEL::MapEntry<CAFProxyEventHandler, IObserver>(),
        KEL::MapEntry<CAFProxyEventHandler, IMessageHandler>(),
        KEL::kMapEnd,
    };
    return map;
}

CAFProxyEventHandler* CAFProxyEventHandler::Create()
{
    auto* proxy = new KEL::CComObject<CAFProxyEventHandler>();
    proxy->AddRef();
    return proxy;
}
