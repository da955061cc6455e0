#pragma once
// Sending and posting messages, and the per-thread message queue.
//
// Every thread that uses the window system has one queue, made on first use. A message sent to a
// window of the calling thread calls its window procedure directly; one sent to a window of
// another thread waits until that thread looks for messages (GetMessage, PeekMessage, or a
// SendMessage of its own) and has run it. Posting is thread-safe and never waits.
//
// Retrieval order, as on the original platform: messages sent from other threads (run inside the
// retrieval, never returned), posted messages in the order posted, WM_QUIT, WM_PAINT, WM_TIMER.
// WM_PAINT and WM_TIMER are made on demand from the windows' update areas and the thread's timers,
// so a timer that fell due several times since it was last seen gives one WM_TIMER.
#include <functional>

#include "ui/Messages.h"

namespace vx::ui {

// A per-thread number standing in for the original platform's thread id (never 0).
DWORD GetCurrentThreadId();

LRESULT SendMessage(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam);
// A null window posts to the calling thread's queue. False for a stale handle.
bool PostMessage(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam);
bool PostThreadMessage(DWORD threadId, UINT message, WPARAM wParam, LPARAM lParam);
void PostQuitMessage(int exitCode);

// Filters: a null window takes every message of the thread; a window takes its own messages and
// its descendants'; reinterpret_cast<HWND>(-1) takes only messages posted without a window.
// First and last 0 take every number; otherwise numbers in [first, last]. WM_QUIT passes every
// filter. PM_NOREMOVE leaves a message (and a due timer) where it is; WM_PAINT stays until the
// window is validated.
bool PeekMessage(MSG* msg, HWND hwnd, UINT first, UINT last, UINT remove);
// Waits for a message. 0 for WM_QUIT, -1 for a stale window filter, else 1.
int GetMessage(MSG* msg, HWND hwnd, UINT first, UINT last);
// Calls the window procedure (or, for WM_TIMER of a timer with a callback, the callback) of the
// message's window. A message of a destroyed window is dropped and gives 0.
LRESULT DispatchMessage(const MSG* msg);

// Runs a call on the thread that owns a window, in order with the messages sent to it from other
// threads. PostCall returns at once; SendCall waits until the call has run (directly when the
// caller owns the window). A call whose window is destroyed before its turn is dropped; SendCall
// then gives false.
bool PostCall(HWND hwnd, std::function<void()> call);
bool SendCall(HWND hwnd, std::function<void()> call);

} // namespace vx::ui
