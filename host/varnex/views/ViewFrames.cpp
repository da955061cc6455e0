#include "varnex/views/ViewFrames.h"

#include "caf/CafHost.h"
#include "caf/FrameworkServices.h"
#include "foundation/String.h"
#include "foundation/Utf.h"
#include "foundation/base/SimpleUnknownImp.h"
#include "hostframework/interfaces/DocViewInterfaces.h"
#include "hostframework/interfaces/MessageInterfaces.h"
#include "ui/Window.h"
#include "ui/gtk/GtkBackend.h"

namespace varnex {

namespace {
template <class T> T* QueryFor(IUnknown* object)
{
    void* out = nullptr;
    return object && SUCCEEDED(object->QueryInterface(T::kIid, &out)) ? static_cast<T*>(out) : nullptr;
}

std::wstring TitleOf(IDocView2* view)
{
    IKELString* title = nullptr;
    if (!view || FAILED(view->GetTitle(&title)))
        return {};
    KEL::String text;
    text.AssignRep(title);
    return text.ToWString();
}
} // namespace

ViewFrames::ViewFrames(std::vector<IUnknown*> classObjects, IUnknown* document, IUnknown* hostDocument)
    : mClassObjects(std::move(classObjects))
    , mDocument(document)
    , mHostDocument(hostDocument)
{
}

ViewFrames::~ViewFrames()
{
    CloseAll();
}

void ViewFrames::CloseAll()
{
    for (auto it = mSites.rbegin(); it != mSites.rend(); ++it) {
        (*it)->CloseViews();
        (*it)->Release();
    }
    mSites.clear();
}

HRESULT ViewFrames::Open(DWORD classId)
{
    IDocViewClass* viewClass = nullptr;
    for (IUnknown* object : mClassObjects) {
        auto* c = QueryFor<IDocViewClass>(object);
        DWORD id = 0;
        if (c && SUCCEEDED(c->GetClassId(&id)) && id == classId) {
            viewClass = c;
            break;
        }
        if (c)
            c->Release();
    }
    if (!viewClass)
        return E_INVALIDARG;
    auto* site = new caf::HostViewSite(mDocument);
    site->AddRef();
    HRESULT hr = E_FAIL;
    IDocView2* view = site->OpenView(viewClass, &hr, mHostDocument);
    viewClass->Release();
    if (FAILED(hr) || !view) {
        site->Release();
        return FAILED(hr) ? hr : E_FAIL;
    }
    vx::ui::SetWindowText(site->Frame(), TitleOf(view));
    vx::ui::ShowWindow(site->Frame(), vx::ui::SW_SHOW);
    vx::ui::UpdateWindow(site->Frame());
    mSites.push_back(site);
    return S_OK;
}

// The latch reset the plot views answer once every view has had the change.
constexpr DWORD kResetRefreshLatch = 0x8001000Cu;

std::vector<IDocView2*> ViewFrames::HeldViews() const
{
    // A view may close while it is told: callers walk a copy of the list.
    std::vector<IDocView2*> views;
    for (caf::HostViewSite* site : mSites)
        for (IDocView2* view : site->Views()) {
            view->AddRef();
            views.push_back(view);
        }
    return views;
}

HRESULT ViewFrames::SendMessageTo(IDocView2* view, DWORD messageId, DWORD code)
{
    auto* handler = QueryFor<IMessageHandler>(view);
    if (!handler)
        return E_FAIL;
    auto* message = new caf::HostMessage(0, messageId, code, nullptr);
    message->AddRef();
    const HRESULT hr = handler->HandleMessage(message);
    message->Release();
    handler->Release();
    return hr;
}

void ViewFrames::DeliverUpdate(DWORD messageId, DWORD code)
{
    const std::vector<IDocView2*> views = HeldViews();
    for (IDocView2* view : views)
        SendMessageTo(view, messageId, code);
    for (IDocView2* view : views) {
        SendCommand(view, kResetRefreshLatch);
        view->Release();
    }
}

HRESULT ViewFrames::SendCommand(IDocView2* view, DWORD command)
{
    auto* handler = QueryFor<ICAFCommandHandler>(view);
    if (!handler)
        return S_FALSE;
    const HRESULT hr = handler->OnCommand(command);
    handler->Release();
    return hr;
}

IDocView2* ViewFrames::LastView() const
{
    for (auto it = mSites.rbegin(); it != mSites.rend(); ++it)
        if (!(*it)->Views().empty())
            return (*it)->Views().back();
    return nullptr;
}

std::wstring ViewFrames::ClassNameOf(IDocView2* view)
{
    KEL::String name;
    IUnknown* object = nullptr;
    if (view && SUCCEEDED(view->GetViewClass(&object)) && object) {
        if (auto* viewClass = QueryFor<IDocViewClass>(object)) {
            IKELString* rep = nullptr;
            if (SUCCEEDED(viewClass->GetName(&rep)))
                name.AssignRep(rep);
            viewClass->Release();
        }
        object->Release();
    }
    return name.ToWString();
}

HRESULT ViewFrames::RunMenuCommand(MenuCommand command)
{
    constexpr DWORD kPlotPrint = 0x80010008u, kReportCopy = 0x80010008u, kReportPrint = 0x8001000Bu;
    IDocView2* view = LastView();
    if (!view)
        return S_FALSE;
    // The report view takes Copy and Print as messages, as its event table has them.
    if (ClassNameOf(view) == L"HRV Report View")
        return SendToActiveView(command == MenuCommand::Copy ? kReportCopy : kReportPrint);
    DWORD id = 0;
    if (command == MenuCommand::Copy)
        id = mPlotCopy;
    else
        id = kPlotPrint;
    return id ? SendCommand(view, id) : S_FALSE;
}

std::string ViewFrames::Screenshots(const std::string& folder) const
{
    // Frames open on top of each other: each is shot alone, with the others hidden meanwhile, so
    // the picture is the view's own and not what covers it.
    std::string failed;
    for (caf::HostViewSite* site : mSites) {
        for (caf::HostViewSite* other : mSites)
            vx::ui::ShowWindow(other->Frame(), other == site ? vx::ui::SW_SHOW : vx::ui::SW_HIDE);
        vx::ui::RunGtkUntil([] { return false; }, 800);
        for (IDocView2* view : site->Views()) {
            const std::wstring name = ClassNameOf(view);
            const std::string file = folder + "/" + KEL::Utf16ToUtf8(name.c_str(), name.size()) + ".png";
            vx::ui::BitmapPtr shot = vx::ui::ScreenshotWindow(site->Frame());
            if ((!shot || !shot->SavePng(file)) && failed.empty())
                failed = "cannot write the screenshot " + file;
        }
    }
    for (caf::HostViewSite* site : mSites)
        vx::ui::ShowWindow(site->Frame(), vx::ui::SW_SHOW);
    return failed;
}

std::wstring ViewFrames::Describe() const
{
    std::wstring text;
    for (caf::HostViewSite* site : mSites)
        for (IDocView2* view : site->Views()) {
            const vx::ui::HWND client = site->ClientWindowOf(view);
            const vx::ui::HWND window = client ? vx::ui::GetWindow(client, vx::ui::GW_CHILD) : nullptr;
            vx::ui::Rect area;
            if (window)
                vx::ui::GetClientRect(window, &area);
            text += L"View: " + TitleOf(view) + L" ("
                + (window ? std::to_wstring(area.right) + L"x" + std::to_wstring(area.bottom) : L"no window") + L")\n";
        }
    return text;
}

void ViewFrames::Notify(DWORD eventId, ULONGLONG value)
{
    const std::vector<IDocView2*> views = HeldViews();
    for (IDocView2* view : views) {
        if (auto* observer = QueryFor<IObserver>(view)) {
            observer->OnNotify(nullptr, eventId, 0, value);
            observer->Release();
        }
        view->Release();
    }
}

vx::ui::HWND ViewFrames::ActiveFrame() const
{
    for (auto site = mSites.rbegin(); site != mSites.rend(); ++site)
        if (!(*site)->Views().empty())
            return (*site)->Frame();
    return nullptr;
}

HRESULT ViewFrames::SendToActiveView(DWORD messageId)
{
    IDocView2* view = LastView();
    auto* handler = QueryFor<IMessageHandler>(view);
    if (!handler)
        return E_FAIL;
    handler->Release();
    return SendMessageTo(view, messageId, 0) == 1 ? S_OK : S_FALSE;
}

namespace {
class Enabler final : public SimpleUnknownImp1<ICommandEnabler, 0> {
public:
    HRESULT SetText(const wchar_t* t) override
    {
        text = t ? t : L"";
        return S_OK;
    }
    HRESULT Enable(WORD e) override
    {
        enabled = e != 0;
        answered = true;
        return S_OK;
    }
    std::wstring text;
    bool enabled = false;
    bool answered = false;
};
} // namespace

bool ViewFrames::EnableOnActiveView(DWORD commandId, bool& enabled, std::wstring& text)
{
    auto* handler = QueryFor<ICAFCommandHandler>(LastView());
    if (!handler)
        return false;
    auto* enabler = new Enabler;
    enabler->AddRef();
    const HRESULT hr = handler->OnCommandEnable(commandId, enabler);
    handler->Release();
    const bool answered = hr == S_OK && enabler->answered;
    if (answered) {
        enabled = enabler->enabled;
        text = enabler->text;
    }
    enabler->Release();
    return answered;
}

} // namespace varnex
