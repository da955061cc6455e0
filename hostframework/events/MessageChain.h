#pragma once
// The message chain and the subject of observer notifications.
//
// Outward, an object sends a message through its CAFMessageSender part to the host's message
// router. Inward, a CAFMessageHandler offers a message to the handlers attached to it, in order,
// until one handles it. CAFSubject keeps no list of observers: the host's subject registry does.
#include "foundation/base/SimpleUnknownImp.h"
#include "foundation/core/Array.h"
#include "hostframework/interfaces/HostServices.h"

class CAFMessageSender {
public:
    CAFMessageSender() = default;
    CAFMessageSender(const CAFMessageSender&) = delete;
    CAFMessageSender& operator=(const CAFMessageSender&) = delete;
    virtual ~CAFMessageSender();

    // Routes the message with `source` as its origin and this sender as its sender. E_FAIL while
    // disabled or without a router; otherwise the router's result. The message's sender is
    // cleared again whatever happens.
    virtual HRESULT Send(IMessageHandler* source, IMessage* message);
    // Lets go of the source.
    virtual void Disconnect();

    // Makes `source` the origin of sent messages, holding a reference when `hold` is set.
    void SetSource(IMessageHandler* source, bool hold);
    IMessageHandler* Source() const noexcept { return mSource; }
    void Enable(bool enabled) noexcept { mEnabled = enabled ? 1 : 0; }
    bool IsEnabled() const noexcept { return mEnabled != 0; }

    // How this sender is named in a message (IMessage::SetSender, IMessage::IsSender).
    ULONGLONG SenderToken() const noexcept { return reinterpret_cast<std::uintptr_t>(this); }

protected:
    // Drops the held source and clears the source.
    void DropSource();

private:
    IMessageHandler* mSource = nullptr; // not held by this field
    IMessageHandler* mHeldSource = nullptr; // the same object when held
    BYTE mEnabled = 1;
};

// Adds a reference to the message around CAFMessageSender::Send.
HRESULT SendCafMessage(CAFMessageSender* sender, IMessageHandler* source, IMessage* message);

// An IMessageHandler that handles nothing.
class UnimplementedIMessageHandler : public IMessageHandler {
public:
    HRESULT HandleMessage(IMessage*) override { return 0; }
    HRESULT AddHandler(IMessageHandler*) override { return E_NOTIMPL; }
    HRESULT RemoveHandler(IMessageHandler*) override { return E_NOTIMPL; }
    HRESULT SetParent(IMessageHandler*) override { return E_NOTIMPL; }
    HRESULT GetSource(IMessageHandler** out) override
    {
        if (out)
            *out = nullptr;
        return E_NOTIMPL;
    }
    HRESULT Accepts(IMessage*) override { return S_FALSE; }

protected:
    ~UnimplementedIMessageHandler() = default;
};

// A handler that chains further handlers behind itself. The IUnknown operations are the
// derived class's.
class CAFMessageHandler : public UnimplementedIMessageHandler, public CAFMessageSender {
public:
    CAFMessageHandler();
    ~CAFMessageHandler() override;

    HRESULT HandleMessage(IMessage* message) override;
    HRESULT AddHandler(IMessageHandler* handler) override;
    HRESULT RemoveHandler(IMessageHandler* handler) override;
    HRESULT SetParent(IMessageHandler* parent) override;
    HRESULT GetSource(IMessageHandler** out) override;
    HRESULT Accepts(IMessage* message) override;

    // Also leaves the parent and lets go of every attached handler.
    void Disconnect() override;

    // Sends through this handler's sender part with its own source (the root of its chain).
    HRESULT SendMessage(IMessage* message) { return SendCafMessage(this, Source(), message); }

    IMessageHandler* Parent() const noexcept { return mParent; }
    const InterfaceArray<IMessageHandler>& Handlers() const noexcept { return mHandlers; }

private:
    void LeaveChain();

    InterfaceArray<IMessageHandler> mHandlers; // held, offered in order
    IMessageHandler* mParent = nullptr; // not held
};

// The subject part of an observable object; the host's registry keeps the subscriptions.
class CAFSubject : public ISubject {
public:
    // Each answers E_FAIL when the host has no subject registry.
    HRESULT Notify(DWORD eventId, ULONGLONG value) override;
    HRESULT Attach(IObserver* observer) override;
    HRESULT Detach(IObserver* observer) override;
    HRESULT AttachForEvent(IObserver* observer, DWORD eventId, LONG flags) override;

protected:
    ~CAFSubject();
};

// A stand-alone subject, born holding its creator's reference.
class CAFSubjectObject final : public SimpleUnknownImp1<CAFSubject, 1> { };
