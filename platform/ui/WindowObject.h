#pragma once
// A C++ object that takes over the window procedure of an existing window (a control made from a
// dialog template, or a window of a class we register), forwarding what it does not handle to
// the procedure it replaced. The object lets go of the window at WM_NCDESTROY.
#include "ui/Messages.h"

namespace vx::ui {

class WindowObject {
public:
    WindowObject() = default;
    virtual ~WindowObject();
    WindowObject(const WindowObject&) = delete;
    WindowObject& operator=(const WindowObject&) = delete;

    // False for a stale handle or one already taken by another object.
    bool Attach(HWND hwnd);
    void Detach();
    HWND GetHandle() const { return mHwnd; }

    // The object attached to a window, or null.
    static WindowObject* FromHandle(HWND hwnd);

protected:
    virtual LRESULT WindowProc(UINT message, WPARAM wParam, LPARAM lParam);
    LRESULT DefaultProc(UINT message, WPARAM wParam, LPARAM lParam);
    // Called after the window is gone (from WM_NCDESTROY).
    virtual void WindowDestroyed() { }

private:
    static LRESULT Proc(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam);
    HWND mHwnd = nullptr;
    WNDPROC mPrevious = nullptr;
};

} // namespace vx::ui
