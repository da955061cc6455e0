#include "ui/WindowObject.h"

#include <map>
#include <mutex>

#include "ui/Window.h"

namespace vx::ui {

namespace {

std::mutex& MapMutex()
{
    static std::mutex mutex;
    return mutex;
}

std::map<HWND, WindowObject*>& Objects()
{
    static std::map<HWND, WindowObject*> objects;
    return objects;
}

} // namespace

WindowObject::~WindowObject()
{
    Detach();
}

WindowObject* WindowObject::FromHandle(HWND hwnd)
{
    std::lock_guard lock(MapMutex());
    const auto it = Objects().find(hwnd);
    return it == Objects().end() ? nullptr : it->second;
}

bool WindowObject::Attach(HWND hwnd)
{
    if (!hwnd || !IsWindow(hwnd) || mHwnd)
        return false;
    {
        std::lock_guard lock(MapMutex());
        if (!Objects().emplace(hwnd, this).second)
            return false;
    }
    mHwnd = hwnd;
    mPrevious = reinterpret_cast<WNDPROC>(SetWindowLongPtr(hwnd, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(&Proc)));
    return true;
}

void WindowObject::Detach()
{
    if (!mHwnd)
        return;
    if (IsWindow(mHwnd) && mPrevious)
        SetWindowLongPtr(mHwnd, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(mPrevious));
    std::lock_guard lock(MapMutex());
    Objects().erase(mHwnd);
    mHwnd = nullptr;
}

LRESULT WindowObject::WindowProc(UINT message, WPARAM wParam, LPARAM lParam)
{
    return DefaultProc(message, wParam, lParam);
}

LRESULT WindowObject::DefaultProc(UINT message, WPARAM wParam, LPARAM lParam)
{
    return mPrevious ? CallWindowProc(mPrevious, mHwnd, message, wParam, lParam)
                     : DefWindowProc(mHwnd, message, wParam, lParam);
}

LRESULT WindowObject::Proc(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam)
{
    WindowObject* self = FromHandle(hwnd);
    if (!self)
        return DefWindowProc(hwnd, message, wParam, lParam);
    if (message == WM_NCDESTROY) {
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

} // namespace vx::ui
