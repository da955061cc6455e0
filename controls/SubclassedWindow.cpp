#include "controls/SubclassedWindow.h"

#include <map>
#include <mutex>

#include "ui/Window.h"

namespace KELControls {

namespace {

std::mutex& MapMutex()
{
    static std::mutex mutex;
    return mutex;
}

std::map<HWND, SubclassedWindow*>& Objects()
{
    static std::map<HWND, SubclassedWindow*> objects;
    return objects;
}

} // namespace

SubclassedWindow::~SubclassedWindow() { Detach(); }

SubclassedWindow* SubclassedWindow::FromHandle(HWND hwnd)
{
    std::lock_guard lock(MapMutex());
    const auto it = Objects().find(hwnd);
    return it == Objects().end() ? nullptr : it->second;
}

bool SubclassedWindow::Attach(HWND hwnd)
{
    if (!hwnd || !vx::ui::IsWindow(hwnd) || mHwnd)
        return false;
    {
        std::lock_guard lock(MapMutex());
        if (!Objects().emplace(hwnd, this).second)
            return false;
    }
    mHwnd = hwnd;
    mPrevious = reinterpret_cast<vx::ui::WNDPROC>(
        vx::ui::SetWindowLongPtr(hwnd, vx::ui::GWLP_WNDPROC, reinterpret_cast<vx::ui::LONG_PTR>(&Proc)));
    return true;
}

void SubclassedWindow::Detach()
{
    if (!mHwnd)
        return;
    if (vx::ui::IsWindow(mHwnd) && mPrevious)
        vx::ui::SetWindowLongPtr(mHwnd, vx::ui::GWLP_WNDPROC, reinterpret_cast<vx::ui::LONG_PTR>(mPrevious));
    std::lock_guard lock(MapMutex());
    Objects().erase(mHwnd);
    mHwnd = nullptr;
}

LRESULT SubclassedWindow::WindowProc(UINT message, WPARAM wParam, LPARAM lParam)
{
    return DefaultProc(message, wParam, lParam);
}

LRESULT SubclassedWindow::DefaultProc(UINT message, WPARAM wParam, LPARAM lParam)
{
    return mPrevious ? vx::ui::CallWindowProc(mPrevious, mHwnd, message, wParam, lParam)
                     : vx::ui::DefWindowProc(mHwnd, message, wParam, lParam);
}

LRESULT SubclassedWindow::Proc(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam)
{
    SubclassedWindow* self = FromHandle(hwnd);
    if (!self)
        return vx::ui::DefWindowProc(hwnd, message, wParam, lParam);
    if (message == vx::ui::WM_NCDESTROY) {
        const LRESULT result = self->DefaultProc(message, wParam, lParam);
        {
            std::lock_guard lock(MapMutex());
            Objects().erase(hwnd);
        }
        self->mHwnd = nullptr;
        self->WindowDestroyed();
        return result;
    }
    return self->WindowProc(message, wParam, lParam);
}

} // namespace KELControls
