#pragma once
// The narrow interface between the window system's core and whatever shows its windows. Every
// operation is optional: the core checks whether a backend offers one before calling it and does
// without it otherwise, so a backend fills in only what it can do (the headless backend almost
// nothing). Operations are called without any lock of the core held, on the thread that owns the
// window concerned, except SendWakeup, which any thread may call.
#include <functional>
#include <memory>
#include <string>

#include "ui/Messages.h"
#include "ui/Region.h"

namespace vx::ui {

struct Backend {
    std::string name;

    // Top-level windows only (child windows live inside their top-level window's image).
    // WindowCreated runs before the window's first message; false makes the creation fail.
    std::function<bool(HWND)> WindowCreated;
    std::function<void(HWND)> WindowDestroyed;
    std::function<void(HWND, bool visible)> WindowShown;
    std::function<void(HWND, const Rect& screenRect)> WindowMoved;
    std::function<void(HWND, const std::wstring& text)> WindowTextChanged;
    // Part of a top-level window's image was painted (window coordinates).
    std::function<void(HWND, const Rect& area)> WindowPainted;
    // The window region of a top-level window was set (window coordinates) or removed (null):
    // the display shows only its pixels.
    std::function<void(HWND, const Region* shape)> WindowShapeChanged;
    // A top-level window's opacity (0 transparent to 255 opaque) changed while it fades.
    std::function<void(HWND, int opacity)> WindowOpacityChanged;
    // The cursor shown over the windows changed (a cursor id, IDC_ARROW...).
    std::function<void(int cursorId)> CursorChanged;
    // The menu bar of a top-level window was set or changed (DrawMenuBar); the menu is opaque here.
    std::function<void(HWND, void* menu)> MenuBarChanged;
    // Any window, child windows included, was moved or sized, shown or hidden, re-parented or
    // destroyed (called after the change): for a backend that keeps native widgets over windows.
    std::function<void(HWND)> WindowLayoutChanged;

    // The screen area a maximised top-level window fills, and the default size of a new one.
    std::function<Rect()> GetDisplayBounds;
    // Where the pointer is on the screen now, also over what the window system does not see (a
    // web view's own widget); false when the backend cannot tell.
    std::function<bool(Point&)> QueryPointer;

    // Event integration. PumpEvents turns the backend's pending input into messages; it runs each
    // time a thread looks for messages. A backend that offers WaitEvents and SendWakeup waits in
    // place of the core: WaitEvents blocks the calling thread until the timeout (milliseconds,
    // negative = none) passes or SendWakeup is called for that thread; a wakeup sent while the
    // thread is not waiting must end its next wait at once.
    std::function<void()> PumpEvents;
    std::function<void(int timeoutMs)> WaitEvents;
    std::function<void(DWORD threadId)> SendWakeup;
};

// The backend in use; the headless backend until another is installed. SetBackend(nullptr)
// restores the headless one. Install a backend before creating windows: windows made under one
// backend are not handed to the next.
std::shared_ptr<Backend> SetBackend(std::shared_ptr<Backend> backend);
std::shared_ptr<Backend> GetBackend();

} // namespace vx::ui
