#pragma once
// The bases of an extension document and of its class object. Each pairs itself at construction
// with a counterpart that the host makes, and forwards to it what its own table does not handle.
#include <new>

#include "com/Ref.h"
#include "foundation/String.h"
#include "foundation/core/Array.h"
#include "hostframework/commands/HostCommands.h"
#include "hostframework/events/EventHandler.h"

class CAFDocument : public ICustomDocument2, public CAFEventHandlerT<1>, public KEL::CComObjectRoot {
public:
    // `hostDocument` is the host's document (recording) the extension document belongs to,
    // `classObject` the document class object that makes it.
    CAFDocument(IUnknown* hostDocument, IUnknown* classObject, DWORD flags);
    ~CAFDocument() override;

    // IUnknown: ICustomDocument2 (and ICustomDocument), ICAFCommandHandler, IObserver and
    // IMessageHandler; derived documents may answer more.
    HRESULT QueryInterface(REFIID iid, void** out) override;
    ULONG AddRef() override;
    ULONG Release() override;

    // ICustomDocument
    HRESULT GetName(IKELString** out) override;
    HRESULT CanClose(WORD* canClose) override;
    HRESULT DisconnectSender() override;
    HRESULT GetView(IUnknown** out) override;
    HRESULT GetFlags(DWORD* flags) override;
    HRESULT GetHostDocumentLink(IHostDocumentLink** out) override;
    HRESULT GetChildObject(DWORD kind, DWORD index, IUnknown** out, DWORD* cookie) override;
    // ICustomDocument2
    HRESULT SetTitle(DWORD reserved, IKELString* title) override;
    HRESULT GetTitle(IKELString** out) override;
    HRESULT GetState(DWORD* state) override;
    HRESULT GetStore(IUnknown** out) override;
    HRESULT OnOpened() override { return S_OK; }
    HRESULT OnSaving() override { return S_OK; }
    HRESULT OnSaved() override { return S_OK; }
    HRESULT OnClosing() override { return S_OK; }

    // Forwarding to the counterpart: what the document's table and chain do not handle (and what
    // the document refuses) goes to the counterpart's handler; attach and notify reach the
    // counterpart first, then the document's own table.
    HRESULT HandleMessage(IMessage* message) override;
    HRESULT OnAttach(ISubject* subject) override;
    HRESULT OnNotify(ISubject* subject, DWORD eventId, ULONGLONG a, ULONGLONG b) override;

    // Tells the host document's observers: `record` starts with the 32-bit event id, followed by
    // the event's data, whose address is what the observers receive.
    HRESULT SendUpdate(const DWORD* record);

    IUnknown* Counterpart() const noexcept { return mCounterpart; }
    IUnknown* ClassObject() const noexcept { return mClassObject; }
    const KEL::String& Name() const noexcept { return mName; }
    void SetName(const KEL::String& name) { mName = name; }

protected:
    static const KEL::InterfaceMapEntry* GetInterfaceMap();

private:
    IMessageHandler* CounterpartHandler();
    IObserver* CounterpartObserver();
    ISubject* CounterpartSubject();

    IUnknown* mCounterpart = nullptr; // held
    DWORD mFlags;
    DWORD mState = 0;
    KEL::String mTitle;
    KEL::String mName;
    // Fetched from the counterpart or the host document once, kept without a reference.
    IMessageHandler* mCounterpartHandler = nullptr;
    IObserver* mCounterpartObserver = nullptr;
    ISubject* mCounterpartSubject = nullptr;
    IHostDocumentLink* mHostDocumentLink = nullptr;
    bool mHandlerFetched = false;
    bool mObserverFetched = false;
    IUnknown* mHostDocument = nullptr; // not held: it holds this document
    IHostDocumentData* mHostDocumentData = nullptr; // not held
    IUnknown* mClassObject = nullptr; // held
    vx::com::Ref<IDocumentClassData> mClassData;
};

class CAFDocumentClassBase : public ICustomDocClass, public CAFEventHandlerT<1>, public KEL::CComObjectRoot {
public:
    // `value` is what GetValue reports, `kind` and `options` what GetClassId and GetOptions report,
    // `argument` is handed to the host when it makes the class counterpart.
    CAFDocumentClassBase(const KEL::String& name, std::uintptr_t value, const GUID* classGuid, DWORD kind,
        DWORD options, std::uintptr_t argument);
    ~CAFDocumentClassBase() override;

    HRESULT QueryInterface(REFIID iid, void** out) override;
    ULONG AddRef() override;
    ULONG Release() override;

    // ICAFClassObject
    HRESULT GetClassId(DWORD* id) override;
    // ICustomDocClass
    HRESULT GetClassGuid(const GUID** out) override;
    HRESULT GetDisplayName(IKELString** out) override { return GetName(out); }
    HRESULT IsClass(const GUID* guid) override;
    HRESULT GetName(IKELString** out) override;
    HRESULT GetOptions(DWORD* options) override;
    HRESULT InsertCommands(std::uintptr_t argument) override;
    HRESULT Initialise() override { return S_OK; }
    HRESULT GetValue(std::uintptr_t* value) override;

    // ICAFCommandHandler: the class counterpart first; what it does not handle goes to the
    // class's own table. A class whose counterpart the host did not make answers S_FALSE.
    HRESULT OnCommand(DWORD id) override;
    HRESULT OnCommandEnable(DWORD id, ICommandEnabler* enabler) override;
    HRESULT OnCommandNotify(DWORD id, DWORD code, ULONGLONG a, ULONGLONG b) override;

    IUnknown* Counterpart() const noexcept { return mCounterpart; }
    InterfaceArray<ICAFCommand>& Commands() noexcept { return mCommands; }
    // The host object made for the class when it registers its commands (held by the class).
    HostClassObjectPair& HostObject() noexcept { return mHostObject; }

protected:
    static const KEL::InterfaceMapEntry* GetInterfaceMap();

private:
    ICAFCommandHandler* CounterpartCommands();

    IDocumentClassData* mCounterpartData = nullptr; // not held
    IUnknown* mCounterpart = nullptr; // held
    HostClassObjectPair mHostObject; // its object held
    InterfaceArray<ICAFCommand> mCommands;
    KEL::String mName;
    std::uintptr_t mValue;
    const GUID* mClassGuid;
    DWORD mKind;
    DWORD mOptions;
};

// The class object of the extension document `T`. `T(hostDocument, classObject, flags)` makes a
// document; `T::InsertClassCommands(HostClassObjectPair&)` inserts the class's menu commands
// with the host object that the host makes for the class. The class has no commands of its own.
template <class T> class CAFDocumentClass final : public CAFDocumentClassBase {
public:
    using CAFDocumentClassBase::CAFDocumentClassBase;

    static const EventTable& GetEventTable()
    {
        static const EventTableEntry rows[]
            = { EventRows<CAFDocumentClass>::Header(), EventRows<CAFDocumentClass>::End() };
        static const EventTable table(rows);
        return table;
    }
    const EventTableEntry* FindEntry(const EventTrigger& trigger, void** object) override
    {
        return FindInTable(this, trigger, object);
    }
    void ForEachEntry(TableEntryAction& action) override { ForEachInTable(this, action); }

    // A new document for the host document `parent`, with one reference for the caller.
    HRESULT CreateDocument(IUnknown* parent, DWORD flags, ICustomDocument2** out) override
    {
        if (!out)
            return E_POINTER;
        *out = nullptr;
        try {
            T* document = new T(parent, static_cast<ICustomDocClass*>(this), flags);
            *out = static_cast<ICustomDocument2*>(document);
            document->AddRef();
            return S_OK;
        } catch (const std::bad_alloc&) {
            return E_OUTOFMEMORY;
        }
    }
    HRESULT CanCreate(IUnknown*) override { return S_OK; }

    // The host's object for the class replaces the one kept before; the commands are inserted
    // with it.
    HRESULT RegisterCommands(ICAFCommandHandler* handler, std::uintptr_t) override
    {
        HostClassObjectPair& pair = HostObject();
        if (IUnknown* previous = pair.object) {
            pair = HostClassObjectPair {};
            previous->Release();
        }
        const GUID* classGuid = nullptr;
        GetClassGuid(&classGuid);
        if (!classGuid)
            return E_FAIL;
        const HRESULT hr = CreateHostObjectForClass(pair, *classGuid, handler, static_cast<ICustomDocClass*>(this));
        if (FAILED(hr))
            return hr;
        return T::InsertClassCommands(pair);
    }

private:
    ~CAFDocumentClass() override = default;
};
