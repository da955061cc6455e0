#pragma once
// Host messages, message handlers, subjects and observers.
#include "com/Unknown.h"

// A host message. Flag bit 8: the message is not delivered back to its own sender.
struct IMessage : IUnknown {
    static constexpr IID kIid = vx::com::MakeGuid("{D0C7F633-2902-11CF-8E78-00C0DF48DF77}");
    static constexpr DWORD kFlagNotToSender = 8;
    virtual HRESULT GetId(DWORD* id) = 0;
    virtual HRESULT GetFlags(DWORD* flags) = 0;
    virtual HRESULT Clone(IMessage** out) = 0;
    virtual HRESULT GetData(IUnknown** out) = 0;
    // The sender is an opaque value naming the object that sends the message (0 clears it).
    virtual HRESULT SetSender(ULONGLONG sender) = 0;
    // *isSender is 0xFFFF when `sender` sent the message, 0 otherwise.
    virtual HRESULT IsSender(ULONGLONG sender, WORD* isSender) = 0;

protected:
    ~IMessage() = default;
};

// The payload a message may carry: a host type id and a count ({0, 0} without one).
struct IMessagePayload : IUnknown {
    static constexpr IID kIid = vx::com::MakeGuid("{D24434F0-6C8A-11D3-80B4-005004AD3C53}");
    virtual HRESULT GetPayload(DWORD* typeId, DWORD* count) = 0;

protected:
    ~IMessagePayload() = default;
};

// Receives host messages and chains further handlers behind itself.
struct IMessageHandler : IUnknown {
    static constexpr IID kIid = vx::com::MakeGuid("{35D41FE2-B563-11D2-B801-008048C36FE8}");
    // 1 when the message was handled, 0 otherwise.
    virtual HRESULT HandleMessage(IMessage* message) = 0;
    virtual HRESULT AddHandler(IMessageHandler* handler) = 0;
    virtual HRESULT RemoveHandler(IMessageHandler* handler) = 0;
    virtual HRESULT SetParent(IMessageHandler* parent) = 0;
    virtual HRESULT GetSource(IMessageHandler** out) = 0;
    // S_OK when the handler takes the message, S_FALSE when it refuses it.
    virtual HRESULT Accepts(IMessage* message) = 0;

protected:
    ~IMessageHandler() = default;
};

struct IObserver;

// An object whose events observers can follow; subscriptions live in the host's registry.
struct ISubject : IUnknown {
    static constexpr IID kIid = vx::com::MakeGuid("{F7D6C0D1-331F-11D1-8CEC-00C0D1570D74}");
    virtual HRESULT Notify(DWORD eventId, ULONGLONG value) = 0;
    virtual HRESULT Attach(IObserver* observer) = 0;
    virtual HRESULT Detach(IObserver* observer) = 0;
    virtual HRESULT AttachForEvent(IObserver* observer, DWORD eventId, LONG flags) = 0;

protected:
    ~ISubject() = default;
};

struct IObserver : IUnknown {
    static constexpr IID kIid = vx::com::MakeGuid("{F7D6C0D2-331F-11D1-8CEC-00C0D1570D74}");
    // The observer has been attached to `subject`.
    virtual HRESULT OnAttach(ISubject* subject) = 0;
    // An event of `subject`: `flags` are those given when the observer subscribed, `value` is
    // what the subject notified.
    virtual HRESULT OnNotify(ISubject* subject, DWORD eventId, ULONGLONG flags, ULONGLONG value) = 0;

protected:
    ~IObserver() = default;
};
