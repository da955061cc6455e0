#include "hostframework/docview/ChildViewWindow.h"

#include <mutex>

#include "ui/Window.h"

using namespace vx::ui;

namespace {

LRESULT ViewWindowProc(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam)
{
    return DefWindowProc(hwnd, message, wParam, lParam);
}

void RegisterViewClass()
{
    static std::once_flag once;
    std::call_once(once, [] { RegisterClass({ ChildViewWindow::ClassName(), 0, &ViewWindowProc }); });
}

} // namespace

ChildViewWindow::ChildViewWindow(WindowHandle parent, std::wstring title)
    : mParent(parent)
    , mTitle(std::move(title))
{
}

ChildViewWindow::~ChildViewWindow()
{
    Destroy();
}

const wchar_t* ChildViewWindow::ClassName()
{
    return L"VxExtensionView";
}

bool ChildViewWindow::Create()
{
    if (mHandle || !IsWindow(mParent))
        return false;
    RegisterViewClass();
    Rect area;
    GetClientRect(mParent, &area);
    mHandle = CreateWindowEx(0, ClassName(), mTitle.c_str(), WS_CHILD | WS_VISIBLE | WS_CLIPCHILDREN, 0, 0,
        area.right - area.left, area.bottom - area.top, mParent, 0, this);
    return mHandle != nullptr;
}

void ChildViewWindow::Destroy()
{
    if (WindowHandle handle = mHandle) {
        mHandle = nullptr;
        if (IsWindow(handle))
            DestroyWindow(handle);
    }
}
