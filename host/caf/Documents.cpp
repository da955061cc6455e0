#include "caf/Documents.h"

#include <algorithm>
#include <mutex>

#include "hostframework/events/ComQuery.h"
#include "ui/Window.h"

namespace caf {
using vx::hf::Query;

namespace {

// The framework's subject registry, without a reference (the framework keeps it for the life
// of the library).
ISubjectRegistry* Registry()
{
    void* out = nullptr;
    if (FAILED(DllGetClassObject(CLSID_CAFFrameWork, ISubjectRegistry::kIid, &out)))
        return nullptr;
    auto* registry = static_cast<ISubjectRegistry*>(out);
    registry->Release();
    return registry;
}

// One object for the three counterpart class keys; it lives as long as the library.
class CounterpartFactory final : public SimpleUnknownImp1<IUnknown, 1>,
                                 public IDocumentCounterpartFactory,
                                 public IClassCounterpartFactory,
                                 public IGenericClassObject {
public:
    HRESULT QueryInterface(REFIID iid, void** out) override
    {
        if (!out)
            return E_POINTER;
        *out = nullptr;
        if (iid == IDocumentCounterpartFactory::kIid)
            *out = static_cast<IDocumentCounterpartFactory*>(this);
        else if (iid == IClassCounterpartFactory::kIid)
            *out = static_cast<IClassCounterpartFactory*>(this);
        else if (iid == IGenericClassObject::kIid || iid == ICAFClassObject::kIid)
            *out = static_cast<IGenericClassObject*>(this);
        else
            return SimpleUnknownImp1::QueryInterface(iid, out);
        AddRef();
        return S_OK;
    }
    ULONG AddRef() override { return SimpleUnknownImp1::AddRef(); }
    ULONG Release() override { return SimpleUnknownImp1::Release(); }

    HRESULT CreateCounterpart(IUnknown*, IUnknown* hostDocument, IUnknown*, WORD, IUnknown** out) override
    {
        if (!out)
            return E_POINTER;
        // The host document outlives its documents' counterparts: the subject is not held.
        ISubject* subject = vx::hf::QueryUnheld<ISubject>(hostDocument);
        return Hand(static_cast<IMessageHandler*>(new DocumentCounterpart(hostDocument, subject)), out);
    }
    HRESULT CreateCounterpart(IUnknown** out, IUnknown* classObject, std::uintptr_t) override
    {
        if (!out)
            return E_POINTER;
        return Hand(static_cast<IDocumentClassData*>(new DocumentClassCounterpart(classObject)), out);
    }
    HRESULT GetClassId(DWORD* id) override
    {
        if (!id)
            return E_POINTER;
        *id = kViewClassCounterpartClassKey;
        return S_OK;
    }
    // A counterpart for the view class given as the outer object.
    HRESULT CreateInstance(IUnknown*, REFIID iid, void** out) override
    {
        if (!out)
            return E_POINTER;
        *out = nullptr;
        auto* counterpart = new ViewClassCounterpart;
        counterpart->AddRef();
        const HRESULT hr = counterpart->QueryInterface(iid, out);
        counterpart->Release();
        return hr;
    }

private:
    template <class I> static HRESULT Hand(I* object, IUnknown** out)
    {
        object->AddRef();
        *out = object;
        return S_OK;
    }
};

CounterpartFactory& Factory()
{
    static CounterpartFactory* factory = new CounterpartFactory; // kept for the life of the library
    return *factory;
}

constexpr const wchar_t* kFrameClass = L"VarnexViewFrame";
constexpr const wchar_t* kClientClass = L"VarnexViewClient";

// A view's client window keeps the extension's window filling it.
vx::ui::LRESULT ClientWindowProc(vx::ui::HWND hwnd, UINT message, vx::ui::WPARAM wParam, vx::ui::LPARAM lParam)
{
    if (message == vx::ui::WM_SIZE)
        for (vx::ui::HWND child = vx::ui::GetWindow(hwnd, vx::ui::GW_CHILD); child;
             child = vx::ui::GetWindow(child, vx::ui::GW_HWNDNEXT))
            vx::ui::MoveWindow(
                child, 0, 0, vx::ui::LOWORD(std::uintptr_t(lParam)), vx::ui::HIWORD(std::uintptr_t(lParam)), true);
    return vx::ui::DefWindowProc(hwnd, message, wParam, lParam);
}

void RegisterWindowClasses()
{
    static std::once_flag once;
    std::call_once(once, [] {
        vx::ui::RegisterClass({ kFrameClass, 0, &vx::ui::DefWindowProc });
        vx::ui::RegisterClass({ kClientClass, 0, &ClientWindowProc });
    });
}

} // namespace

IUnknown* CounterpartFactoryFor(DWORD classKey)
{
    switch (classKey) {
    case kDocumentCounterpartClassKey:
    case kClassCounterpartClassKey:
    case kViewClassCounterpartClassKey:
        return static_cast<IDocumentCounterpartFactory*>(&Factory());
    default:
        return nullptr;
    }
}

// ---- DocumentCounterpart

DocumentCounterpart::DocumentCounterpart([[maybe_unused]] IUnknown* hostDocument, ISubject* hostSubject)
    : mHostSubject(hostSubject)
{
}

HRESULT DocumentCounterpart::QueryInterface(REFIID iid, void** out)
{
    if (!out)
        return E_POINTER;
    *out = nullptr;
    if (iid == IObserver::kIid)
        *out = static_cast<IObserver*>(this);
    else if (iid == ISubject::kIid)
        *out = static_cast<ISubject*>(this);
    else if (iid == ICAFCommandHandler::kIid)
        *out = static_cast<ICAFCommandHandler*>(this);
    else
        return SimpleUnknownImp1::QueryInterface(iid, out);
    AddRef();
    return S_OK;
}

HRESULT DocumentCounterpart::HandleMessage(IMessage* message)
{
    DWORD id = 0;
    if (message)
        message->GetId(&id);
    mPassedOn.push_back(id);
    return 0;
}

HRESULT DocumentCounterpart::GetSource(IMessageHandler** out)
{
    if (!out)
        return E_POINTER;
    *out = this;
    AddRef();
    return S_OK;
}

HRESULT DocumentCounterpart::Notify(DWORD eventId, ULONGLONG value)
{
    return mHostSubject ? mHostSubject->Notify(eventId, value) : E_FAIL;
}

HRESULT DocumentCounterpart::Attach(IObserver* observer)
{
    return mHostSubject ? mHostSubject->Attach(observer) : E_FAIL;
}

HRESULT DocumentCounterpart::Detach(IObserver* observer)
{
    return mHostSubject ? mHostSubject->Detach(observer) : E_FAIL;
}

HRESULT DocumentCounterpart::AttachForEvent(IObserver* observer, DWORD eventId, LONG flags)
{
    return mHostSubject ? mHostSubject->AttachForEvent(observer, eventId, flags) : E_FAIL;
}

// ---- DocumentClassCounterpart, ViewClassCounterpart

HRESULT DocumentClassCounterpart::GetClassGuid(const GUID** out)
{
    if (!out)
        return E_POINTER;
    *out = nullptr;
    const auto documentClass = Query<ICustomDocClass>(mClassObject);
    if (!documentClass)
        return E_NOINTERFACE;
    return documentClass->GetClassGuid(out);
}

HRESULT ViewClassCounterpart::ViewInitialised(IDocView2*)
{
    ++mViews;
    return S_OK;
}

HRESULT ViewClassCounterpart::ClassInitialised()
{
    mClassInitialised = true;
    return S_OK;
}

// ---- HostDocument

HostDocument::HostDocument(std::wstring title, IUnknown* recording)
    : mTitle(std::move(title))
    , mRecording(recording)
{
    if (mRecording)
        mRecording->AddRef();
}

HostDocument::~HostDocument()
{
    CloseDocuments();
    if (ISubjectRegistry* registry = Registry())
        registry->ForgetSubject(this);
    if (mRecording)
        mRecording->Release();
}

HRESULT HostDocument::QueryInterface(REFIID iid, void** out)
{
    if (out && iid == IHostDocumentLink::kIid) {
        *out = static_cast<IHostDocumentLink*>(this);
        AddRef();
        return S_OK;
    }
    const HRESULT hr = SimpleUnknownImp2::QueryInterface(iid, out);
    if (hr != E_NOINTERFACE || !mRecording || iid == IUnknown::kIid)
        return hr;
    return mRecording->QueryInterface(iid, out);
}

HRESULT HostDocument::GetHostDocument(IUnknown** out)
{
    if (!out)
        return E_POINTER;
    *out = static_cast<IHostDocumentData*>(this);
    AddRef();
    return S_OK;
}

HRESULT HostDocument::GetTitle(IKELString** out)
{
    if (!out)
        return E_POINTER;
    *out = KEL::String(mTitle).CopyRep();
    return S_OK;
}

HRESULT HostDocument::Notify(DWORD eventId, ULONGLONG value)
{
    ISubjectRegistry* registry = Registry();
    return registry ? registry->Notify(this, eventId, value) : E_FAIL;
}

HRESULT HostDocument::Attach(IObserver* observer)
{
    ISubjectRegistry* registry = Registry();
    return registry ? registry->Attach(this, observer) : E_FAIL;
}

HRESULT HostDocument::Detach(IObserver* observer)
{
    ISubjectRegistry* registry = Registry();
    return registry ? registry->Detach(this, observer) : E_FAIL;
}

HRESULT HostDocument::AttachForEvent(IObserver* observer, DWORD eventId, LONG flags)
{
    ISubjectRegistry* registry = Registry();
    return registry ? registry->AttachForEvent(this, observer, eventId, flags) : E_FAIL;
}

ICustomDocument2* HostDocument::OpenDocument(ICustomDocClass* documentClass, DWORD flags, HRESULT* result)
{
    HRESULT hr = E_POINTER;
    ICustomDocument2* document = nullptr;
    if (documentClass) {
        hr = documentClass->CreateDocument(static_cast<IHostDocumentData*>(this), flags, &document);
        if (SUCCEEDED(hr) && !document)
            hr = E_FAIL;
    }
    if (result)
        *result = hr;
    if (FAILED(hr))
        return nullptr;
    mDocuments.push_back(document);
    if (const auto handler = Query<IMessageHandler>(document))
        AddMessageReceiver(handler.Get());
    // An observer subscribes to the events it wants when it is told it has been attached.
    if (const auto observer = Query<IObserver>(document))
        observer->OnAttach(this);
    return document;
}

ICustomDocument2* HostDocument::OpenDocument(REFGUID classGuid, DWORD flags, HRESULT* result)
{
    ICustomDocClass* documentClass = FindDocumentClass(classGuid);
    if (!documentClass) {
        if (result)
            *result = CLASS_E_CLASSNOTAVAILABLE;
        return nullptr;
    }
    ICustomDocument2* document = OpenDocument(documentClass, flags, result);
    documentClass->Release();
    return document;
}

void HostDocument::CloseDocuments()
{
    std::vector<ICustomDocument2*> documents;
    documents.swap(mDocuments);
    ISubjectRegistry* registry = Registry();
    for (auto it = documents.rbegin(); it != documents.rend(); ++it) {
        ICustomDocument2* document = *it;
        document->OnClosing();
        if (const auto handler = Query<IMessageHandler>(document))
            RemoveMessageReceiver(handler.Get());
        if (const auto observer = Query<IObserver>(document); observer && registry)
            registry->ForgetObserver(observer.Get());
        document->Release();
    }
}

ICustomDocClass* FindDocumentClass(REFGUID classGuid)
{
    for (const Registration& row : Registrations()) {
        if (row.kind != Registration::Kind::ClassObject)
            continue;
        auto documentClass = Query<ICustomDocClass>(row.object);
        if (documentClass && documentClass->IsClass(&classGuid) == S_OK)
            return documentClass.Detach(); // the caller's reference
    }
    return nullptr;
}

// ---- Views

HRESULT HostViewFrame::CanPrint(WORD* canPrint)
{
    if (!canPrint)
        return E_POINTER;
    *canPrint = printable ? 0xFFFF : 0;
    return S_OK;
}

HRESULT HostViewFrame::GetCaption(IKELString** out)
{
    if (!out)
        return E_POINTER;
    *out = KEL::String(L"Varnex").CopyRep();
    return S_OK;
}

HRESULT HostClient::GetParentWindow(WindowHandle* out)
{
    if (!out)
        return E_POINTER;
    *out = mWindow;
    return S_OK;
}

HostViewSite::HostViewSite(IUnknown* document)
    : mDocument(document)
    , mFrame(new HostViewFrame)
{
    if (mDocument)
        mDocument->AddRef();
    mFrame->AddRef();
    RegisterWindowClasses();
    mFrameWindow = vx::ui::CreateWindowEx(0, kFrameClass, L"Varnex", vx::ui::WS_CAPTION | vx::ui::WS_CLIPCHILDREN,
        vx::ui::CW_USEDEFAULT, vx::ui::CW_USEDEFAULT, vx::ui::CW_USEDEFAULT, vx::ui::CW_USEDEFAULT, nullptr, 0,
        nullptr);
}

HostViewSite::~HostViewSite()
{
    CloseViews();
    if (mFrameWindow)
        vx::ui::DestroyWindow(mFrameWindow);
    mFrame->Release();
    if (mDocument)
        mDocument->Release();
}

HRESULT HostViewSite::QueryInterface(REFIID iid, void** out)
{
    const HRESULT hr = SimpleUnknownImp1::QueryInterface(iid, out);
    if (hr != E_NOINTERFACE || !mDocument)
        return hr;
    return mDocument->QueryInterface(iid, out);
}

WindowHandle HostViewSite::ClientWindowOf(IDocView2* view) const
{
    const auto it = std::find(mViews.begin(), mViews.end(), view);
    return it == mViews.end() ? nullptr : mClients[std::size_t(it - mViews.begin())]->Window();
}

HRESULT HostViewSite::GetFrame(IViewFrame** out)
{
    if (!out)
        return E_POINTER;
    *out = mFrame;
    mFrame->AddRef();
    return S_OK;
}

HRESULT HostViewSite::QueryClose(IDocView2*, WORD* canClose)
{
    // The host itself never keeps a view open; the view's own answer stands.
    return canClose ? S_OK : E_POINTER;
}

HRESULT HostViewSite::ViewClosed(IDocView2* view)
{
    const auto it = std::find(mViews.begin(), mViews.end(), view);
    if (it == mViews.end())
        return S_FALSE;
    const std::size_t i = std::size_t(it - mViews.begin());
    IClientWindow* window = mWindows[i];
    HostClient* client = mClients[i];
    mViews.erase(it);
    mWindows.erase(mWindows.begin() + std::ptrdiff_t(i));
    mClients.erase(mClients.begin() + std::ptrdiff_t(i));
    if (const auto handler = Query<IMessageHandler>(view))
        RemoveMessageReceiver(handler.Get());
    if (window)
        window->Release();
    // The client window goes with its view (and with it any window the view left behind).
    vx::ui::DestroyWindow(client->Window());
    client->Release();
    view->Release();
    return S_OK;
}

HRESULT HostViewSite::ViewInitialised(IDocView2*, IViewSite*)
{
    return S_OK;
}

IDocView2* HostViewSite::OpenView(IDocViewClass* viewClass, HRESULT* result, IUnknown* document)
{
    HRESULT hr = E_POINTER;
    IDocView2* view = nullptr;
    if (viewClass) {
        hr = viewClass->CreateView(document, this, &view);
        if (SUCCEEDED(hr) && !view)
            hr = E_FAIL;
    }
    IClientWindow* window = nullptr;
    vx::ui::Rect area;
    vx::ui::GetClientRect(mFrameWindow, &area);
    const vx::ui::HWND clientWindow
        = vx::ui::CreateWindowEx(0, kClientClass, L"", vx::ui::WS_CHILD | vx::ui::WS_VISIBLE | vx::ui::WS_CLIPCHILDREN,
            0, 0, area.right - area.left, area.bottom - area.top, mFrameWindow, 0, nullptr);
    auto* client = new HostClient(clientWindow);
    client->AddRef();
    if (SUCCEEDED(hr)) {
        window = Query<IClientWindow>(view).Detach();
        if (window) {
            WindowHandle handle = 0;
            hr = window->Attach(client, &handle);
        }
    }
    if (FAILED(hr)) {
        if (window)
            window->Release();
        if (view)
            view->Release();
        vx::ui::DestroyWindow(clientWindow);
        client->Release();
        if (result)
            *result = hr;
        return nullptr;
    }
    mViews.push_back(view);
    mWindows.push_back(window);
    mClients.push_back(client);
    // Views receive routed messages as documents do.
    if (const auto handler = Query<IMessageHandler>(view))
        AddMessageReceiver(handler.Get());
    view->Initialise();
    if (result)
        *result = hr;
    return view;
}

void HostViewSite::CloseViews()
{
    while (!mViews.empty()) {
        IDocView2* view = mViews.back();
        view->AddRef();
        // A view that refuses to let go of its client stays open: take it out all the same.
        if (view->Close() != S_OK || (!mViews.empty() && mViews.back() == view))
            ViewClosed(view);
        view->Release();
    }
}

} // namespace caf
