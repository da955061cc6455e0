#include "varnex/ViewFrames.h"

#include "caf/FrameworkServices.h"
#include "foundation/String.h"
#include "hostframework/base/SimpleUnknownImp.h"
#include "hostframework/interfaces/MessageInterfaces.h"
#include "hostframework/interfaces/DocViewInterfaces.h"
#include "ui/Window.h"

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

ViewFrames::ViewFrames(std::vector<IUnknown*> classObjects, IUnknown* document)
    : mClassObjects(std::move(classObjects))
    , mDocument(document)
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
    auto* site = new caf::HostViewSite;
    site->AddRef();
    HRESULT hr = E_FAIL;
    IDocView2* view = site->OpenView(viewClass, &hr, mDocument);
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
            text += L"View: " + TitleOf(view) + L" (" + (window ? std::to_wstring(area.right) + L"x" + std::to_wstring(area.bottom) : L"no window")
                + L")\n";
        }
    return text;
}

void ViewFrames::Notify(DWORD eventId, ULONGLONG value)
{
    // A view may close while it is told: walk a copy of the list.
    std::vector<IDocView2*> views;
    for (caf::HostViewSite* site : mSites)
        for (IDocView2* view : site->Views()) {
            view->AddRef();
            views.push_back(view);
        }
    for (IDocView2* view : views) {
        if (auto* observer = QueryFor<IObserver>(view)) {
            observer->OnNotify(nullptr, eventId, 0, value);
            observer->Release();
        }
        view->Release();
    }
}

IDocView2* ViewFrames::ActiveView() const
{
    for (auto site = mSites.rbegin(); site != mSites.rend(); ++site)
        if (!(*site)->Views().empty())
            return (*site)->Views().back();
    return nullptr;
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
    IDocView2* view = ActiveView();
    auto* handler = QueryFor<IMessageHandler>(view);
    if (!handler)
        return E_FAIL;
    auto* message = new caf::HostMessage(0, messageId, 0, nullptr);
    message->AddRef();
    const HRESULT hr = handler->HandleMessage(message);
    message->Release();
    handler->Release();
    return hr == 1 ? S_OK : S_FALSE;
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
    auto* handler = QueryFor<ICAFCommandHandler>(ActiveView());
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
