#pragma once
// Window timers and window-less timers on the window system's Clock. A due timer becomes a
// WM_TIMER message (wParam = timer id) of its thread at the lowest priority; with a callback the
// dispatch calls the callback in place of the window procedure (the callback receives the window,
// WM_TIMER, the id and the message time). The next period is counted from the due time, skipping
// periods that passed unseen.
#include <functional>

#include "ui/Messages.h"

namespace vx::ui {

using TimerCallback = std::function<void(HWND, UINT, UINT_PTR, DWORD)>;

// With a window: starts or restarts the window's timer `id` and returns `id`; 0 for a stale window
// or a window of another thread. Without a window: restarts the thread's window-less timer `id`
// when it exists, otherwise starts one with a new id; returns the id. Periods are clamped to
// [USER_TIMER_MINIMUM, USER_TIMER_MAXIMUM] milliseconds.
UINT_PTR SetTimer(HWND hwnd, UINT_PTR id, UINT elapseMs, TimerCallback callback = {});
// False when the calling thread has no such timer.
bool KillTimer(HWND hwnd, UINT_PTR id);

} // namespace vx::ui
