#pragma once
// Commands, documents, document classes and views: the interfaces through which the host drives
// an extension's documents and views, and the host counterparts and factories they pair with.
// Where the host documents an interface id it is the one used; the others are this framework's
// own, fixed here once.
#include <cstdint>

#include "com/Unknown.h"
#include "foundation/IKELString.h"
#include "hostframework/interfaces/CommandInterfaces.h"
#include "hostframework/interfaces/HostServices.h"
#include "hostframework/interfaces/MessageInterfaces.h"
#include "ui/Messages.h"

// The host's view of a menu command's state while it asks whether the command is enabled.
struct ICommandEnabler : IUnknown {
    static constexpr IID kIid = vx::com::MakeGuid("{5B0E2C61-7F3A-4C1D-9E28-4A6B1D0C3E71}");
    static constexpr WORD kEnabled = 0xFFFF;
    virtual HRESULT SetText(const wchar_t* text) = 0;
    // 0xFFFF enables the command, 0 disables it.
    virtual HRESULT Enable(WORD enabled) = 0;
    // 0xFFFF shows the command checked, 0 unchecked. Enablers without a check mark ignore it.
    virtual HRESULT SetCheck(WORD checked)
    {
        (void)checked;
        return E_NOTIMPL;
    }

protected:
    ~ICommandEnabler() = default;
};

// Menu commands: execute, ask whether enabled, and notifications (popup menus and the like).
// Each answers S_OK when the command was handled and S_FALSE when the receiver has no handler.
struct ICAFCommandHandler : IUnknown {
    static constexpr IID kIid = vx::com::MakeGuid("{812082B5-B7F0-11D3-80C8-005004AD3C53}");
    virtual HRESULT OnCommand(DWORD id) = 0;
    virtual HRESULT OnCommandEnable(DWORD id, ICommandEnabler* enabler) = 0;
    virtual HRESULT OnCommandNotify(DWORD id, DWORD code, ULONGLONG a, ULONGLONG b) = 0;

protected:
    ~ICAFCommandHandler() = default;
};

// ---- Documents

// The host's document (a recording) as seen by an extension document.
inline constexpr IID IID_HostDocumentData = vx::com::MakeGuid("{CD8A64F4-48D2-11D1-8D03-00C0D1570D74}");
inline constexpr IID IID_HostDocumentLink = vx::com::MakeGuid("{376B4751-F226-11D2-B84E-008048C36FE8}");
// Asked of a document class object and of its class counterpart.
inline constexpr IID IID_DocumentClassData = vx::com::MakeGuid("{CD8A64F3-48D2-11D1-8D03-00C0D1570D74}");

struct IHostDocumentData : IUnknown {
    static constexpr IID kIid = IID_HostDocumentData;
    // A text that names the host document (its recording).
    virtual HRESULT GetTitle(IKELString** out) = 0;

protected:
    ~IHostDocumentData() = default;
};

struct IHostDocumentLink : IUnknown {
    static constexpr IID kIid = IID_HostDocumentLink;
    virtual HRESULT GetHostDocument(IUnknown** out) = 0;

protected:
    ~IHostDocumentLink() = default;
};

struct IDocumentClassData : IUnknown {
    static constexpr IID kIid = IID_DocumentClassData;
    virtual HRESULT GetClassGuid(const GUID** out) = 0;

protected:
    ~IDocumentClassData() = default;
};

struct ICustomDocument : IUnknown {
    static constexpr IID kIid = vx::com::MakeGuid("{7B542013-6854-11D1-B2A7-00600894D72A}");
    virtual HRESULT GetName(IKELString** out) = 0;
    // 0xFFFF: the document may close.
    virtual HRESULT CanClose(WORD* canClose) = 0;
    // Disconnects the document's message sender.
    virtual HRESULT DisconnectSender() = 0;
    virtual HRESULT GetView(IUnknown** out) = 0;
    virtual HRESULT GetFlags(DWORD* flags) = 0;
    virtual HRESULT GetHostDocumentLink(IHostDocumentLink** out) = 0;
    virtual HRESULT GetChildObject(DWORD kind, DWORD index, IUnknown** out, DWORD* cookie) = 0;

protected:
    ~ICustomDocument() = default;
};

struct ICustomDocument2 : ICustomDocument {
    static constexpr IID kIid = vx::com::MakeGuid("{7B542014-6854-11D1-B2A7-00600894D72A}");
    virtual HRESULT SetTitle(DWORD reserved, IKELString* title) = 0;
    virtual HRESULT GetTitle(IKELString** out) = 0;
    virtual HRESULT GetState(DWORD* state) = 0;
    // The derived document's (its child objects' store).
    virtual HRESULT GetStore(IUnknown** out) = 0;
    virtual HRESULT OnOpened() = 0;
    virtual HRESULT OnSaving() = 0;
    virtual HRESULT OnSaved() = 0;
    virtual HRESULT OnClosing() = 0;

protected:
    ~ICustomDocument2() = default;
};

struct ICustomDocClass : ICAFClassObject {
    static constexpr IID kIid = vx::com::MakeGuid("{7B542015-6854-11D1-B2A7-00600894D72A}");
    virtual HRESULT GetClassGuid(const GUID** out) = 0;
    // The name again, under the number the host's older callers use.
    virtual HRESULT GetDisplayName(IKELString** out) = 0;
    virtual HRESULT IsClass(const GUID* guid) = 0;
    virtual HRESULT GetName(IKELString** out) = 0;
    virtual HRESULT GetOptions(DWORD* options) = 0;
    // Makes the extension's document for the host document `hostDocument`.
    virtual HRESULT CreateDocument(IUnknown* hostDocument, DWORD flags, ICustomDocument2** out) = 0;
    virtual HRESULT CanCreate(IUnknown* hostDocument) = 0;
    virtual HRESULT InsertCommands(std::uintptr_t argument) = 0;
    virtual HRESULT Initialise() = 0;
    virtual HRESULT GetValue(std::uintptr_t* value) = 0;
    virtual HRESULT RegisterCommands(ICAFCommandHandler* handler, std::uintptr_t argument) = 0;

protected:
    ~ICustomDocClass() = default;
};

// The host's factory of document counterparts (built-in class key 0x80000011).
struct IDocumentCounterpartFactory : IUnknown {
    static constexpr IID kIid = vx::com::MakeGuid("{D6F52E82-B34D-11D3-80C7-005004AD3C53}");
    virtual HRESULT CreateCounterpart(
        IUnknown* documentClass, IUnknown* hostDocument, IUnknown* document, WORD flag30, IUnknown** out)
        = 0;

protected:
    ~IDocumentCounterpartFactory() = default;
};

// The host's factory of document-class counterparts (built-in class key 0x80000012).
struct IClassCounterpartFactory : IUnknown {
    static constexpr IID kIid = vx::com::MakeGuid("{7B542012-6854-11D1-B2A7-00600894D72A}");
    virtual HRESULT CreateCounterpart(IUnknown** out, IUnknown* classObject, std::uintptr_t argument) = 0;

protected:
    ~IClassCounterpartFactory() = default;
};

// ---- Views

inline constexpr DWORD kDocumentCounterpartClassKey = 0x80000011u;
inline constexpr DWORD kClassCounterpartClassKey = 0x80000012u;
inline constexpr DWORD kViewClassCounterpartClassKey = 0x8000000Fu;

struct IViewSite;
struct IViewClassLink;

struct IView : IUnknown {
    static constexpr IID kIid = vx::com::MakeGuid("{CD8A64F2-48D2-11D1-8D03-00C0D1570D74}");
    virtual HRESULT GetTitle(IKELString** out) = 0;
    // Asks whether the view may close; *canClose is 0xFFFF when it may.
    virtual HRESULT CanClose(WORD* canClose) = 0;
    virtual HRESULT Close() = 0;

protected:
    ~IView() = default;
};

struct IDocView : IView {
    static constexpr IID kIid = vx::com::MakeGuid("{216EA590-42AF-11D2-B79C-008048C36FE8}");
    virtual HRESULT SetNumberA(DWORD a) = 0;
    virtual HRESULT GetNumberA(DWORD* a) = 0;
    virtual HRESULT GetViewId(DWORD* classNumber, DWORD* instance) = 0;
    virtual HRESULT Initialise() = 0;
    virtual HRESULT GetViewClass(IUnknown** out) = 0;
    virtual HRESULT GetSite(IViewSite** out) = 0;

protected:
    ~IDocView() = default;
};

struct IDocView2 : IDocView {
    static constexpr IID kIid = vx::com::MakeGuid("{216EA592-42AF-11D2-B79C-008048C36FE8}");
    virtual HRESULT GetExtra(IUnknown** out) = 0;
    virtual HRESULT GetNumberB(DWORD* b) = 0;
    virtual HRESULT SetNumberB(DWORD b) = 0;

protected:
    ~IDocView2() = default;
};

// The host's frame around a view.
struct IViewFrame : IUnknown {
    static constexpr IID kIid = vx::com::MakeGuid("{CD8A64F6-48D2-11D1-8D03-00C0D1570D74}");
    virtual HRESULT CanPrint(WORD* canPrint) = 0;
    virtual HRESULT GetCaption(IKELString** out) = 0;
    // A view passes the frame's message (0x8001000D) on to its frame.
    virtual HRESULT ViewMessage() = 0;

protected:
    ~IViewFrame() = default;
};

// Where the host keeps a view: it answers the view's questions about closing and initialisation.
struct IViewSite : IUnknown {
    static constexpr IID kIid = vx::com::MakeGuid("{CD8A64F5-48D2-11D1-8D03-00C0D1570D74}");
    virtual HRESULT GetFrame(IViewFrame** out) = 0;
    // The view asks whether it may close; the site clears *canClose to refuse.
    virtual HRESULT QueryClose(IDocView2* view, WORD* canClose) = 0;
    // The view has closed; the site lets go of it.
    virtual HRESULT ViewClosed(IDocView2* view) = 0;
    // The view has been initialised.
    virtual HRESULT ViewInitialised(IDocView2* view, IViewSite* site) = 0;

protected:
    ~IViewSite() = default;
};

// A window of the platform's window system.
using WindowHandle = vx::ui::HWND;

// The host's client object in which an extension view puts its window.
struct IHostClient : IUnknown {
    static constexpr IID kIid = vx::com::MakeGuid("{168D30B2-30B5-11D1-8CEB-00C0D1570D74}");
    virtual HRESULT GetParentWindow(WindowHandle* out) = 0;
    // The view lets go of the client; a non-zero answer keeps the view open.
    virtual HRESULT LetGo() = 0;

protected:
    ~IHostClient() = default;
};

struct IClientWindow : IUnknown {
    static constexpr IID kIid = vx::com::MakeGuid("{168D30B1-30B5-11D1-8CEB-00C0D1570D74}");
    virtual HRESULT Attach(IHostClient* client, WindowHandle* window) = 0;
    virtual HRESULT Detach() = 0;
    virtual HRESULT Activate() = 0;

protected:
    ~IClientWindow() = default;
};

// Asked of a view class object; answered by its host counterpart.
struct IViewClassLink : IUnknown {
    static constexpr IID kIid = vx::com::MakeGuid("{165E5211-D987-11D1-B2F2-00600894D72A}");
    virtual HRESULT ViewInitialised(IDocView2* view) = 0;
    // The class object has been initialised.
    virtual HRESULT ClassInitialised() = 0;

protected:
    ~IViewClassLink() = default;
};

struct IEnumInterface : IUnknown {
    static constexpr IID kIid = vx::com::MakeGuid("{0AE13F60-6A62-11D3-80B3-005004AD3C53}");
    virtual HRESULT Next(ULONG count, GUID* items, ULONG* fetched) = 0;
    virtual HRESULT Skip(ULONG count) = 0;
    virtual HRESULT Reset() = 0;
    virtual HRESULT Clone(IEnumInterface** out) = 0;

protected:
    ~IEnumInterface() = default;
};

struct IViewClass : ICAFClassObject {
    static constexpr IID kIid = vx::com::MakeGuid("{CD8A64F1-48D2-11D1-8D03-00C0D1570D74}");
    virtual HRESULT GetCategory(const GUID** out) = 0;
    virtual HRESULT GetTitle(IKELString** out) = 0;
    virtual HRESULT IsCategory(const GUID* guid) = 0;
    virtual HRESULT GetName(IKELString** out) = 0;
    virtual HRESULT GetModuleInstance(void** out) = 0;
    virtual HRESULT GetValue(DWORD* value) = 0;
    virtual HRESULT Initialise() = 0;

protected:
    ~IViewClass() = default;
};

struct IDocViewClass : IViewClass {
    static constexpr IID kIid = vx::com::MakeGuid("{216EA591-42AF-11D2-B79C-008048C36FE8}");
    virtual HRESULT CreateView(IUnknown* reserved, IViewSite* site, IDocView2** out) = 0;
    virtual HRESULT GetRequiredInterfaces(IEnumInterface** out) = 0;
    virtual HRESULT AddViewRef(IDocView2* view) = 0;
    virtual HRESULT ReleaseViewRef(IDocView2* view) = 0;
    virtual HRESULT GetViewCount(DWORD reserved, DWORD* count) = 0;
    virtual HRESULT InsertCommands(ICAFCommandHandler* handler) = 0;

protected:
    ~IDocViewClass() = default;
};

// The host's factory of view-class counterparts (built-in class key 0x8000000F) is an
// IGenericClassObject: its create operation takes the view class as the outer object.
