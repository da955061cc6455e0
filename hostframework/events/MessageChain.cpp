#include "hostframework/events/MessageChain.h"

#include "hostframework/services/CafFrameWork.h"

namespace {

// Clears the message's sender and gives up the reference taken for the send, also when the
// router throws.
class SendingScope {
public:
    SendingScope(IMessage* message, ULONGLONG sender)
        : mMessage(message)
    {
        mMessage->AddRef();
        mMessage->SetSender(sender);
    }
    ~SendingScope()
    {
        mMessage->SetSender(0);
        mMessage->Release();
    }
    SendingScope(const SendingScope&) = delete;
    SendingScope& operator=(const SendingScope&) = delete;

private:
    IMessage* mMessage;
};

} // namespace

// ---- CAFMessageSender

CAFMessageSender::~CAFMessageSender()
{
    DropSource();
}

HRESULT CAFMessageSender::Send(IMessageHandler* source, IMessage* message)
{
    if (!mEnabled || !message)
        return E_FAIL;
    IMessageRouter* router = GetCafMessageRouter();
    if (!router)
        return E_FAIL;
    SendingScope scope(message, SenderToken());
    return router->Route(message, source);
}

void CAFMessageSender::Disconnect()
{
    DropSource();
}

void CAFMessageSender::SetSource(IMessageHandler* source, bool hold)
{
    IMessageHandler* previous = mHeldSource;
    mHeldSource = nullptr;
    if (hold && source) {
        source->AddRef();
        mHeldSource = source;
    }
    mSource = source;
    if (previous)
        previous->Release();
}

void CAFMessageSender::DropSource()
{
    SetSource(nullptr, false);
}

HRESULT SendCafMessage(CAFMessageSender* sender, IMessageHandler* source, IMessage* message)
{
    if (!sender || !message)
        return E_FAIL;
    struct Hold {
        IMessage* message;
        ~Hold() { message->Release(); }
    } hold { message };
    message->AddRef();
    return sender->Send(source, message);
}

// ---- CAFMessageHandler

CAFMessageHandler::CAFMessageHandler()
{
    SetSource(this, false);
}

CAFMessageHandler::~CAFMessageHandler()
{
    LeaveChain();
}

HRESULT CAFMessageHandler::HandleMessage(IMessage* message)
{
    for (std::uint32_t i = 0; i < mHandlers.Count(); ++i) {
        IMessageHandler* handler = mHandlers[i];
        if (handler && handler->HandleMessage(message) != 0)
            return 1;
    }
    return 0;
}

HRESULT CAFMessageHandler::AddHandler(IMessageHandler* handler)
{
    if (!handler)
        return E_POINTER;
    mHandlers.Add(handler);
    handler->SetParent(this);
    return 0;
}

HRESULT CAFMessageHandler::RemoveHandler(IMessageHandler* handler)
{
    if (!handler)
        return S_FALSE;
    // A handler that is not ours is left alone: it may belong to another chain.
    const std::int64_t index = mHandlers.IndexOf(handler);
    if (index < 0)
        return E_FAIL;
    handler->SetParent(nullptr);
    mHandlers.RemoveAt(static_cast<std::uint32_t>(index));
    return 0;
}

HRESULT CAFMessageHandler::SetParent(IMessageHandler* parent)
{
    mParent = parent;
    if (!parent) {
        SetSource(this, false);
        return 0;
    }
    IMessageHandler* source = nullptr;
    parent->GetSource(&source);
    // The parent itself is not held (it holds us); a source further up the chain is.
    SetSource(source, source && source != parent);
    if (source)
        source->Release();
    return 0;
}

HRESULT CAFMessageHandler::GetSource(IMessageHandler** out)
{
    if (!out)
        return 0;
    *out = Source();
    if (*out)
        (*out)->AddRef();
    return 0;
}

HRESULT CAFMessageHandler::Accepts(IMessage* message)
{
    if (!message)
        return S_FALSE;
    DWORD flags = 0;
    message->GetFlags(&flags);
    if (flags & IMessage::kFlagNotToSender) {
        WORD isSender = 0;
        message->IsSender(SenderToken(), &isSender);
        if (isSender)
            return S_FALSE;
    }
    return S_OK;
}

void CAFMessageHandler::Disconnect()
{
    // Leaving the parent drops the parent's reference, which may be the last one: keep the
    // object alive until the walk is over.
    AddRef();
    LeaveChain();
    CAFMessageSender::Disconnect();
    Release();
}

void CAFMessageHandler::LeaveChain()
{
    if (IMessageHandler* parent = mParent) {
        mParent = nullptr;
        parent->RemoveHandler(this);
    }
    for (std::uint32_t i = 0; i < mHandlers.Count(); ++i)
        if (IMessageHandler* handler = mHandlers[i])
            handler->SetParent(nullptr);
    mHandlers.RemoveRange(0, mHandlers.Count());
}

// ---- CAFSubject

HRESULT CAFSubject::Notify(DWORD eventId, ULONGLONG value)
{
    ISubjectRegistry* registry = CAFFrameWork::GetEventHandlerRegistry();
    return registry ? registry->Notify(this, eventId, value) : E_FAIL;
}

HRESULT CAFSubject::Attach(IObserver* observer)
{
    ISubjectRegistry* registry = CAFFrameWork::GetEventHandlerRegistry();
    return registry ? registry->Attach(this, observer) : E_FAIL;
}

HRESULT CAFSubject::Detach(IObserver* observer)
{
    ISubjectRegistry* registry = CAFFrameWork::GetEventHandlerRegistry();
    return registry ? registry->Detach(this, observer) : E_FAIL;
}

HRESULT CAFSubject::AttachForEvent(IObserver* observer, DWORD eventId, LONG flags)
{
    ISubjectRegistry* registry = CAFFrameWork::GetEventHandlerRegistry();
    return registry ? registry->AttachForEvent(this, observer, eventId, flags) : E_FAIL;
}

CAFSubject::~CAFSubject()
{
    if (ISubjectRegistry* registry = CAFFrameWork::GetEventHandlerRegistry())
        registry->ForgetSubject(this);
}
