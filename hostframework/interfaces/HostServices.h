#pragma once
// The host framework's service interfaces, as the extension calls them.
#include <cstdint>

#include "com/Unknown.h"
#include "foundation/IKELString.h"
#include "foundation/units/IUnitName.h"
#include "hostframework/interfaces/MessageInterfaces.h"

// Application-wide services of the host.
struct IAppServices : IUnknown {
    static constexpr IID kIid = vx::com::MakeGuid("{70380571-34EA-11D3-8099-005004AD3C53}");
    // Shows a modal message box (style: a message-box style such as 0x2031) and writes the id
    // of the button chosen to *result.
    virtual HRESULT MessageBox(void* owner, const wchar_t* text, const wchar_t* caption, UINT style,
        std::uintptr_t helpContext, int* result, std::uintptr_t reserved1, std::uintptr_t reserved2,
        std::uintptr_t options)
        = 0;
    // The language id of the host's user interface.
    virtual HRESULT GetUILanguage(WORD* language) = 0;
    // *hidden is 0 when the host shows the build labels of pre-release modules; *shown counts
    // the labels shown so far.
    virtual HRESULT GetBuildLabelState(DWORD reserved, DWORD* hidden, DWORD* shown) = 0;
    virtual HRESULT ShowBuildLabel(DWORD reserved, IKELString* label) = 0;
    // Opens a topic of a help file (the HRV dialogs use "HRVHelp"); E_INVALIDARG for a topic
    // the host has no page for.
    virtual HRESULT ShowHelp(const wchar_t* topic, const wchar_t* helpFile) = 0;

protected:
    ~IAppServices() = default;
};

// The host application's value store, reached through its application services: named flags
// such as "kel\application\visible" (false while the host runs without showing itself).
struct IHostValues : IUnknown {
    static constexpr IID kIid = vx::com::MakeGuid("{6E0C2B91-4A7D-4F35-8C1E-93D25A0F7B64}");
    // The flag's value, or `defaultValue` when the store has none by that name.
    virtual HRESULT GetFlag(const wchar_t* name, WORD defaultValue, WORD* value) = 0;

protected:
    ~IHostValues() = default;
};

// The process-wide registry of subjects and their observers. It holds no references: subjects
// and observers remove themselves when they are destroyed.
struct ISubjectRegistry : IUnknown {
    static constexpr IID kIid = vx::com::MakeGuid("{2B389B80-64B6-11D3-80B1-005004AD3C53}");
    virtual HRESULT Attach(ISubject* subject, IObserver* observer) = 0;
    virtual HRESULT Detach(ISubject* subject, IObserver* observer) = 0;
    virtual HRESULT Notify(ISubject* subject, DWORD eventId, ULONGLONG value) = 0;
    virtual HRESULT AttachForEvent(ISubject* subject, IObserver* observer, DWORD eventId, LONG flags) = 0;
    virtual HRESULT ForgetSubject(ISubject* subject) = 0;
    virtual HRESULT ForgetObserver(IObserver* observer) = 0;

protected:
    ~ISubjectRegistry() = default;
};

// The host's class object: makes objects of host classes and takes the extension's class objects.
struct IHostClassObject : IUnknown {
    static constexpr IID kIid = vx::com::MakeGuid("{3CAD4551-2F23-11D1-8CE9-00C0D1570D74}");
    virtual HRESULT CreateObject(DWORD classKey, REFIID iid, void** out) = 0;
    virtual HRESULT RegisterClassObject(IUnknown* classObject) = 0;

protected:
    ~IHostClassObject() = default;
};

// The host's 16-bit type indexes of GUIDs.
struct ITypeIdRegistry : IUnknown {
    static constexpr IID kIid = vx::com::MakeGuid("{E5140871-1524-11D1-8CCE-00C0D1570D74}");
    virtual HRESULT GetTypeIndex(REFGUID guid, WORD* index) = 0;
    virtual HRESULT GetTypeGuid(WORD index, GUID* guid) = 0;

protected:
    ~ITypeIdRegistry() = default;
};

// The host's names of its types (the view classes and document classes registered with it), when
// its type registry has them: a text argument of a named message ("HRV Tachogram View") becomes
// the type id it names.
struct ITypeNameRegistry : IUnknown {
    static constexpr IID kIid = vx::com::MakeGuid("{6E3A1C52-9B0D-4F7E-8A21-5C4D3B2A1908}");
    // E_INVALIDARG for a name the host does not know.
    virtual HRESULT NameToId(const wchar_t* name, DWORD* id) = 0;
    // *name gets a reference; E_INVALIDARG for an id the host does not know.
    virtual HRESULT IdToName(DWORD id, IKELString** name) = 0;

protected:
    ~ITypeNameRegistry() = default;
};

struct IMessageRouter : IUnknown {
    static constexpr IID kIid = vx::com::MakeGuid("{3AEB28D1-CF32-11D1-B2EC-00600894D72A}");
    // Delivers `message`, sent by `source`, to the handlers the host knows.
    virtual HRESULT Route(IMessage* message, IMessageHandler* source) = 0;

protected:
    ~IMessageRouter() = default;
};

struct IMessageCreator : IUnknown {
    static constexpr IID kIid = vx::com::MakeGuid("{3AEB28D2-CF32-11D1-B2EC-00600894D72A}");
    // Makes a message object. `messageId` carries the message flags in the bits the host
    // defines; `payload`, when given, is a pair of 32-bit words (a type id and a count).
    virtual HRESULT CreateMessage(
        WORD typeIndex, DWORD messageId, DWORD reserved1, DWORD reserved2, const void* payload, IMessage** out)
        = 0;

protected:
    ~IMessageCreator() = default;
};

// The process's object factory; its operations are added by the code that uses them. They have
// bodies that refuse, so a factory needs to supply only the operations its callers use.
struct IObjectFactory : IUnknown {
    static constexpr IID kIid = vx::com::MakeGuid("{8CB4ED60-84EB-11D2-8208-00C0DFE13362}");
    // An object of a class aggregated by `outer` (may be null), asked for `iid`.
    virtual HRESULT CreateAggregated(IUnknown* outer, DWORD classKey, REFIID iid, void** out)
    {
        (void)outer, (void)classKey, (void)iid;
        if (out)
            *out = nullptr;
        return E_NOTIMPL;
    }
    virtual HRESULT Reserved4() { return E_NOTIMPL; }
    // An object of a class, asked for `iid`.
    virtual HRESULT CreateInstance(DWORD classKey, REFIID iid, void** out)
    {
        (void)classKey, (void)iid;
        if (out)
            *out = nullptr;
        return E_NOTIMPL;
    }
    // A new unit name of the host with a prefix index (foundation/units/IUnitName.h) and a base unit name.
    virtual HRESULT CreateUnitName(ULONG prefixIndex, IKELString* name, IUnitName** out)
    {
        (void)prefixIndex, (void)name;
        if (out)
            *out = nullptr;
        return E_NOTIMPL;
    }

protected:
    ~IObjectFactory() = default;
};

// The host's shared object; the extension fetches and caches it for the drawing code.
struct ISharedHostObject : IUnknown {
    static constexpr IID kIid = vx::com::MakeGuid("{9D2010C0-F064-11D1-B370-008048E6CE18}");

protected:
    ~ISharedHostObject() = default;
};

// Takes the extension's message class objects.
struct IMessageFactory : IUnknown {
    static constexpr IID kIid = vx::com::MakeGuid("{C7482421-F548-4440-909D-C8E9FAFEEA10}");
    virtual HRESULT RegisterMessageClass(DWORD reserved, IUnknown* messageClass) = 0;

protected:
    ~IMessageFactory() = default;
};

// The host's registry of built-in self-tests; it holds every test it is given.
struct IUnitTestRegistry : IUnknown {
    static constexpr IID kIid = vx::com::MakeGuid("{500FCAA6-ED64-454F-A41B-6AA43047823B}");
    virtual HRESULT AddTest(IUnknown* test) = 0;

protected:
    ~IUnitTestRegistry() = default;
};

// Every class object that the extension hands to the host answers this interface.
struct ICAFClassObject : IUnknown {
    static constexpr IID kIid = vx::com::MakeGuid("{2EC7CEA3-1D34-11D2-B333-008048C36FE8}");
    // The class id: (type index << 16) | n.
    virtual HRESULT GetClassId(DWORD* id) = 0;
    // The category of the class (a static GUID of the class, not a copy). A class without one
    // answers E_NOTIMPL with a null pointer.
    virtual HRESULT GetCategory(const GUID** out)
    {
        if (!out)
            return E_POINTER;
        *out = nullptr;
        return E_NOTIMPL;
    }
    // The text that identifies the class, with a reference for the caller; E_NOTIMPL with null
    // when the class has none.
    virtual HRESULT GetIdText(IKELString** out)
    {
        if (!out)
            return E_POINTER;
        *out = nullptr;
        return E_NOTIMPL;
    }
    // S_OK when the GUID (compared by value) is the class's category, S_FALSE for anything else
    // and for null.
    virtual HRESULT IsCategory(const GUID* category)
    {
        const GUID* own = nullptr;
        if (!category || GetCategory(&own) != S_OK || !own)
            return S_FALSE;
        return category == own || *category == *own ? S_OK : S_FALSE;
    }

protected:
    ~ICAFClassObject() = default;
};

// A class object that makes objects of its class: the host's factories of built-in classes
// (record data, the counterparts of view classes) and the extension's classes of persisted
// objects all answer it, with the create operation right after the class-object operations.
struct IGenericClassObject : ICAFClassObject {
    static constexpr IID kIid = vx::com::MakeGuid("{5FCB46F0-0B1D-11D2-B325-008048C36FE8}");
    // A new object of the class, asked for `iid`; *out gets a reference. `outer` is the object the
    // new one is made for (null when none).
    virtual HRESULT CreateInstance(IUnknown* outer, REFIID iid, void** out) = 0;

protected:
    ~IGenericClassObject() = default;
};
