#pragma once
// The handler bases that answer the host's commands, observer events and messages from an event
// table: CAFEventHandlerT<1> for reference-counted objects (documents, class objects), and the
// proxy pair CAFProxyEventHandler / CAFCppEventHandler through which an object that is not
// reference-counted itself (a window) receives host events.
#include "foundation/core/Array.h"
#include "hostframework/base/ComObjectRoot.h"
#include "hostframework/events/EventTable.h"
#include "hostframework/events/MessageChain.h"

template <int N> class CAFEventHandlerT;

// Commands, observer events and messages from the table of the derived class. The IUnknown
// operations are the derived class's.
template <>
class CAFEventHandlerT<1>
    : public ICAFCommandHandler, public IObserver, public CAFEventHandlerBase, public CAFMessageHandler {
public:
    CAFEventHandlerT();
    ~CAFEventHandlerT() override;

    // ICAFCommandHandler
    HRESULT OnCommand(DWORD id) override;
    HRESULT OnCommandEnable(DWORD id, ICommandEnabler* enabler) override;
    HRESULT OnCommandNotify(DWORD id, DWORD code, ULONGLONG a, ULONGLONG b) override;

    // IObserver: attaching subscribes to the events of the table's observer rows.
    HRESULT OnAttach(ISubject* subject) override;
    HRESULT OnNotify(ISubject* subject, DWORD eventId, ULONGLONG a, ULONGLONG b) override;

    // IMessageHandler: the table first, then the attached handlers.
    HRESULT HandleMessage(IMessage* message) override;

    HRESULT HandleTableMessage(IMessage* message) override;

    IObserver* AsObserver() noexcept { return this; }
    IMessageHandler* AsMessageHandler() noexcept { return this; }
};

class CAFProxyEventHandlerBase;

// Embedded in an ordinary object (a window): the object's table answers through a connected
// proxy, which is the reference-counted face the host holds.
class CAFCppEventHandler : public CAFEventHandlerBase, public CAFMessageSender {
public:
    CAFCppEventHandler() = default;
    ~CAFCppEventHandler() override;

    // Connects the proxy (dropping any previous one), takes its message source and attaches it
    // to every subject this object observes.
    void SetProxy(CAFProxyEventHandlerBase* proxy);
    void DetachProxy();
    CAFProxyEventHandlerBase* Proxy() const noexcept { return mProxy; }

    // Subjects whose events this object follows (not held).
    void AddSubject(ISubject* subject);
    const WeakInterfaceArray<ISubject>& Subjects() const noexcept { return mSubjects; }

private:
    CAFProxyEventHandlerBase* mProxy = nullptr; // held through its IObserver part
    WeakInterfaceArray<ISubject> mSubjects;
};

class CAFProxyEventHandlerBase : public ICAFCommandHandler, public IObserver, public CAFMessageHandler {
public:
    CAFProxyEventHandlerBase() = default;
    ~CAFProxyEventHandlerBase() override;

    HRESULT OnCommand(DWORD id) override;
    HRESULT OnCommandEnable(DWORD id, ICommandEnabler* enabler) override;
    HRESULT OnCommandNotify(DWORD id, DWORD code, ULONGLONG a, ULONGLONG b) override;
    HRESULT OnAttach(ISubject* subject) override;
    HRESULT OnNotify(ISubject* subject, DWORD eventId, ULONGLONG a, ULONGLONG b) override;
    HRESULT HandleMessage(IMessage* message) override;

    CAFCppEventHandler* Handler() const noexcept { return mHandler; }
    IObserver* AsObserver() noexcept { return this; }

private:
    friend class CAFCppEventHandler;
    CAFCppEventHandler* mHandler = nullptr; // not owned
};

// The proxy the host holds.
class CAFProxyEventHandler : public CAFProxyEventHandlerBase, public KEL::CComObjectRoot {
public:
    static const KEL::InterfaceMapEntry* GetInterfaceMap();
    static CAFProxyEventHandler* Create(); // one reference for the caller
};
