#pragma once
// The bases that make an extension window into a host document view: the client window that
// puts the extension's window into the host's client object, the document view with its
// identity and its links to its class object and view site, the two together with closing, the
// view class object, and the enumerator over interface ids that view classes hand to the host.
#include <atomic>

#include "foundation/String.h"
#include "hostframework/events/EventHandler.h"

// The window an extension view shows. The window system stays behind this interface: a view
// knows its window only by handle, creation, the question whether it may close and destruction.
class IExtensionWindow {
public:
    virtual ~IExtensionWindow() = default;
    // Creates the platform window; false when it cannot be made.
    virtual bool Create() = 0;
    virtual WindowHandle Handle() const = 0;
    virtual bool CanClose() = 0;
    // Destroys the platform window (the object itself is deleted by its owner).
    virtual void Destroy() = 0;
};

class OwlExtClientWindowBase : public IClientWindow {
public:
    explicit OwlExtClientWindowBase(void* module)
        : mModule(module)
    {
    }
    virtual ~OwlExtClientWindowBase();

    // Creates the extension's window inside the client's parent window. A second attach while a
    // window is attached is refused before anything is stored.
    HRESULT Attach(IHostClient* client, WindowHandle* window) override;
    // Deletes the window this object created and lets go of the client.
    HRESULT Detach() override;
    HRESULT Activate() override { return S_OK; }

    // Makes the extension's window for the parent window, or null.
    virtual IExtensionWindow* CreateExtensionWindow(WindowHandle parent, void* module) = 0;

    IExtensionWindow* Window() const noexcept { return mWindow; }
    IHostClient* Client() const noexcept { return mClient; }

protected:
    // Destroys and deletes the attached window, if any.
    void DestroyWindow();
    void ClearClient() noexcept { mClient = nullptr; }

private:
    void* mModule;
    IHostClient* mClient = nullptr; // not held
    IExtensionWindow* mWindow = nullptr; // owned while attached
};

class OwlDocViewClassBase;

class DocViewBase : public IDocView2, public CAFProxyEventHandlerBase, public KEL::CComObjectRoot {
public:
    // Holds the class object and the site; counts itself into the class object's open views.
    DocViewBase(OwlDocViewClassBase* viewClass, IViewSite* site);
    ~DocViewBase() override;

    HRESULT QueryInterface(REFIID iid, void** out) override;
    ULONG AddRef() override;
    ULONG Release() override;

    // IView
    HRESULT GetTitle(IKELString** out) override;
    HRESULT CanClose(WORD* canClose) override;
    HRESULT Close() override;
    // IDocView
    HRESULT SetNumberA(DWORD a) override;
    HRESULT GetNumberA(DWORD* a) override;
    HRESULT GetViewId(DWORD* classNumber, DWORD* instance) override;
    HRESULT Initialise() override;
    HRESULT GetViewClass(IUnknown** out) override;
    HRESULT GetSite(IViewSite** out) override;
    // IDocView2
    HRESULT GetExtra(IUnknown** out) override;
    HRESULT GetNumberB(DWORD* b) override;
    HRESULT SetNumberB(DWORD b) override;

    IViewSite* Site() const noexcept { return mSite; }

protected:
    static const KEL::InterfaceMapEntry* GetInterfaceMap();
    // Tells the site that the view has closed and lets go of it; the site is null afterwards.
    void ReleaseSite();

private:
    DWORD mA = 0;
    DWORD mB = 0;
    OwlDocViewClassBase* mViewClass; // held
    IViewSite* mSite; // held until close
};

class DocWindowViewBase : public OwlExtClientWindowBase, public DocViewBase {
public:
    DocWindowViewBase(OwlDocViewClassBase* viewClass, IViewSite* site, void* module);

    HRESULT QueryInterface(REFIID iid, void** out) override;
    ULONG AddRef() override { return DocViewBase::AddRef(); }
    ULONG Release() override { return DocViewBase::Release(); }

    // Asks the window, then the site.
    HRESULT CanClose(WORD* canClose) override;
    // Closes once: lets go of the client, destroys the window, tells the site and lets go of it.
    // Later calls do nothing and answer S_OK.
    HRESULT Close() override;

    bool IsClosed() const noexcept { return mClosed != 0; }

private:
    BYTE mClosed = 0;
};

class OwlDocViewClassBase : public IDocViewClass, public KEL::CComObjectRoot {
public:
    // `category` is the view category's GUID (kept by pointer), `value` what GetValue reports;
    // without a title the name serves.
    OwlDocViewClassBase(const KEL::String& name, const GUID* category, DWORD value, const wchar_t* title = nullptr);
    ~OwlDocViewClassBase() override;

    // What the class does not answer itself its host counterpart answers.
    HRESULT QueryInterface(REFIID iid, void** out) override;
    ULONG AddRef() override;
    ULONG Release() override;

    HRESULT GetCategory(const GUID** out) override;
    HRESULT GetTitle(IKELString** out) override;
    HRESULT IsCategory(const GUID* guid) override;
    HRESULT GetName(IKELString** out) override;
    HRESULT GetModuleInstance(void** out) override;
    HRESULT GetValue(DWORD* value) override;
    HRESULT Initialise() override;
    HRESULT AddViewRef(IDocView2* view) override;
    HRESULT ReleaseViewRef(IDocView2* view) override;
    HRESULT GetViewCount(DWORD reserved, DWORD* count) override;
    HRESULT InsertCommands(ICAFCommandHandler*) override { return S_OK; }

    IUnknown* Counterpart() const noexcept { return mCounterpart; }
    void SetCommandObject(BYTE flag, IUnknown* object);
    IUnknown* CommandObject() const noexcept { return mCommandObject; }

protected:
    static const KEL::InterfaceMapEntry* GetInterfaceMap();

private:
    BYTE mFlag = 0;
    IUnknown* mCommandObject = nullptr; // held
    KEL::String mName;
    KEL::String mTitle;
    IUnknown* mCounterpart = nullptr; // held
    const GUID* mCategory;
    DWORD mValue;
    std::atomic<DWORD> mViewCount { 0 };
};

namespace KELCOM {
// The module's lock count: raised while enumerators exist.
std::atomic<long>& ModuleLockCount();
} // namespace KELCOM

// An enumerator over [ids, ids + count) with no owner, at the start, with one reference for the
// caller. The ids must outlive the enumerator.
HRESULT CreateInterfaceIdEnumerator(const GUID* const* ids, ULONG count, IEnumInterface** out);
