#include "hostframework/docview/ViewBase.h"

#include <algorithm>
#include <mutex>

#include "foundation/base/ExceptionBoundary.h"
#include "hostframework/events/ComQuery.h"
#include "hostframework/interfaces/HostServices.h"
#include "hostframework/services/CafFrameWork.h"
#include "ui/Paint.h"
#include "ui/Window.h"

using namespace vx::ui;

namespace {

// The thickness of the window system's scroll bars, which the size grip matches.
constexpr int kScrollBarThickness = 16;

LRESULT ViewProc(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam)
{
    auto* view = reinterpret_cast<ViewBase*>(GetWindowLongPtr(hwnd, GWLP_USERDATA));
    if (!view)
        return DefWindowProc(hwnd, message, wParam, lParam);
    return view->WindowProc(message, wParam, lParam);
}

// The class names this module's window procedure. The table of classes outlives the module (an
// extension is unloaded and loaded again by its host), so the module takes its class out when it
// goes; a later load registers its own procedure.
struct ViewClassRegistration {
    bool registered = false;
    ~ViewClassRegistration()
    {
        if (registered)
            UnregisterClass(ViewBase::ClassName());
    }
};

void RegisterViewClass()
{
    static ViewClassRegistration registration;
    static std::once_flag once;
    std::call_once(once, [] { registration.registered = RegisterClass({ ViewBase::ClassName(), 0, &ViewProc }); });
}

using Rows = EventRows<ViewBase>;
const EventTableEntry kViewRows[] = {
    Rows::Header(),
    Rows::Enable<&ViewBase::EnableCopy>(EventIdOf(ViewBase::kCmdCopy)),
    Rows::Enable<&ViewBase::EnablePrint>(EventIdOf(ViewBase::kCmdPrint)),
    Rows::Enable<&ViewBase::EnableThird>(EventIdOf(ViewBase::kCmdThird)),
    Rows::Message<&ViewBase::PassToFrame>(EventIdOf(ViewBase::kMsgToFrame)),
    Rows::End(),
};

} // namespace

std::wstring LocalisedPrintText(const std::wstring& text, WORD uiLanguage)
{
    constexpr WORD kSpanish = 10;
    if ((uiLanguage & 0x3FF) == kSpanish && text.starts_with(L"&Print"))
        return L"&Imprimir" + text.substr(6);
    return text;
}

// The view base needs nothing of `module` (the extension's module); callers pass it as they do to
// every view.
ViewBase::ViewBase(
    WindowHandle parent, IUnknown* viewClass, IUnknown* view, IViewSite* site, [[maybe_unused]] void* module)
    : mParent(parent)
    , mSite(site)
    , mViewClass(viewClass)
    , mView(view)
{
    for (IUnknown* held : { static_cast<IUnknown*>(mSite), mViewClass, mView })
        if (held)
            held->AddRef();
    if (const auto c = vx::hf::Query<IDocViewClass>(mViewClass)) {
        IKELString* name = nullptr;
        if (SUCCEEDED(c->GetName(&name)) && name)
            mName.AssignRep(name);
    }
}

ViewBase::~ViewBase()
{
    Destroy();
    DetachProxy();
    for (IUnknown* held : { static_cast<IUnknown*>(mSite), mViewClass, mView })
        if (held)
            held->Release();
}

const wchar_t* ViewBase::ClassName()
{
    return L"VxViewBase";
}

bool ViewBase::Create()
{
    if (mHandle || !IsWindow(mParent))
        return false;
    RegisterViewClass();
    Rect area;
    GetClientRect(mParent, &area);
    mHandle = CreateWindowEx(0, ClassName(), mName.c_str(), WS_CHILD | WS_VISIBLE | WS_CLIPCHILDREN, 0, 0,
        area.right - area.left, area.bottom - area.top, mParent, 0, this);
    if (mHandle)
        SetWindowLongPtr(mHandle, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(this));
    return mHandle != nullptr;
}

void ViewBase::Destroy()
{
    if (WindowHandle handle = mHandle) {
        mHandle = nullptr;
        if (IsWindow(handle)) {
            SetWindowLongPtr(handle, GWLP_USERDATA, 0);
            DestroyWindow(handle);
        }
    }
}

IViewFrame* ViewBase::Frame() const
{
    IViewFrame* frame = nullptr;
    if (mSite && FAILED(mSite->GetFrame(&frame)))
        frame = nullptr;
    return frame;
}

bool ViewBase::CanPrint()
{
    IViewFrame* frame = Frame();
    if (!frame)
        return false;
    WORD can = 0;
    const bool ok = SUCCEEDED(frame->CanPrint(&can)) && can != 0;
    frame->Release();
    return ok;
}

void ViewBase::EnableCopy(ICommandEnabler*& enabler)
{
    enabler->SetText(GetCopyCommandText().c_str());
    enabler->Enable(CanCopy() ? 0xFFFF : 0);
}

void ViewBase::EnablePrint(ICommandEnabler*& enabler)
{
    WORD language = 0;
    if (IAppServices* services = CAFFrameWork::GetAppServices())
        services->GetUILanguage(&language);
    enabler->SetText(LocalisedPrintText(GetPrintCommandText(), language).c_str());
    enabler->Enable(CanPrint() ? 0xFFFF : 0);
}

void ViewBase::EnableThird(ICommandEnabler*& enabler)
{
    enabler->Enable(IsThirdCommandEnabled() ? 0xFFFF : 0);
}

HRESULT ViewBase::PassToFrame()
{
    if (IViewFrame* frame = Frame()) {
        frame->ViewMessage();
        frame->Release();
    }
    return 1;
}

const EventTable& ViewBase::GetEventTable()
{
    static const EventTable table(kViewRows);
    return table;
}

ULONGLONG ViewBase::GetPackedDocPosition() const
{
    const auto c = vx::hf::Query<IDocViewClass>(mViewClass);
    if (!c)
        return 0;
    DWORD id = 0;
    c->GetClassId(&id);
    // The view object's two numbers: where the host placed the view (its frame and its pane).
    DWORD number = 0, second = 0;
    if (const auto v = vx::hf::Query<IDocView2>(mView)) {
        v->GetNumberA(&number);
        v->GetNumberB(&second);
    }
    return ULONGLONG(id) | (ULONGLONG(number & 0xFFFF) << 32) | (ULONGLONG(second & 0xFFFF) << 48);
}

Rect ViewBase::SizeGripRect() const
{
    Rect client;
    if (!mHandle || !GetClientRect(mHandle, &client))
        return {};
    const int m = kScrollBarThickness;
    return { client.right - m, client.bottom - m, client.right, client.bottom };
}

bool ViewBase::FrameMaximised() const
{
    // The view's grandparent is the host's frame window.
    const HWND client = mHandle ? GetParent(mHandle) : nullptr;
    const HWND frame = client ? GetParent(client) : nullptr;
    return frame && IsZoomed(frame);
}

LRESULT ViewBase::EvNCHitTest(Point screen)
{
    if (!FrameMaximised() && mHitTestSizeGrip && mHandle) {
        Point p = screen;
        ScreenToClient(mHandle, &p);
        const Rect grip = SizeGripRect();
        if (p.x >= grip.left && p.x < grip.right && p.y >= grip.top && p.y < grip.bottom)
            return HTBOTTOMRIGHT;
    }
    return DefWindowProc(mHandle, WM_NCHITTEST, 0, MAKELPARAM(std::uint16_t(screen.x), std::uint16_t(screen.y)));
}

void ViewBase::PaintContent(DC& dc, const Rect& client)
{
    dc.FillSolidRect(client, GetSysColor(COLOR_WINDOW));
}

LRESULT ViewBase::WindowProc(UINT message, WPARAM wParam, LPARAM lParam)
{
    return vx::hf::GuardedValue<LRESULT>("view window", 0, [&]() -> LRESULT {
        switch (message) {
        case WM_PAINT: {
            PaintDC dc(mHandle);
            Rect client;
            GetClientRect(mHandle, &client);
            PaintContent(dc, client);
            if (mDrawSizeGrip) {
                const Rect grip = SizeGripRect();
                if (FrameMaximised()) {
                    dc.FillSolidRect(grip, GetSysColor(COLOR_BTNFACE));
                } else {
                    // Three diagonal ridges in the corner, as the window system draws its grips.
                    dc.FillSolidRect(grip, GetSysColor(COLOR_BTNFACE));
                    for (int i = 0; i < 3; ++i) {
                        const int d = 4 + 4 * i;
                        dc.SelectPen(Pen::Solid(GetSysColor(COLOR_BTNSHADOW)));
                        dc.MoveTo({ grip.right - 1, grip.bottom - d });
                        dc.LineTo({ grip.right - d, grip.bottom - 1 });
                        dc.SelectPen(Pen::Solid(GetSysColor(COLOR_BTNHIGHLIGHT)));
                        dc.MoveTo({ grip.right - 1, grip.bottom - d + 1 });
                        dc.LineTo({ grip.right - d + 1, grip.bottom - 1 });
                    }
                }
            }
            return 0;
        }
        case WM_NCHITTEST:
            return EvNCHitTest({ static_cast<std::int16_t>(LOWORD(static_cast<std::uintptr_t>(lParam))),
                static_cast<std::int16_t>(HIWORD(static_cast<std::uintptr_t>(lParam))) });
        default:
            return DefWindowProc(mHandle, message, wParam, lParam);
        }
    });
}
