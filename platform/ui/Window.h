#pragma once
// Windows: a tree of window objects, each owned by the thread that created it, reached through
// handles. The calls keep the original platform's names and semantics where the extension relies
// on them (creation and destruction message order, parent notifications, show/move/size messages,
// window longs, invalidation), so that the class-library layers built on top read as designed.
//
// Thread rules: a window is created, changed and destroyed by its own thread; the query calls
// (IsWindow, GetParent, GetWindowLongPtr, ...) may be made from any thread. A child's parent must
// belong to the same thread.
#include <string>

#include "ui/Messages.h"

namespace vx::ui {

struct WindowClass {
    std::wstring name;
    UINT style = 0;
    WNDPROC proc = nullptr;
};

// Registers a class for the whole process. False when the name is empty or taken, or no window
// procedure is given.
bool RegisterClass(const WindowClass& windowClass);
// False while windows of the class exist or when it is not registered.
bool UnregisterClass(const std::wstring& name);

// Creates a window of a registered class. Messages, in order: WM_NCCREATE (a zero answer fails
// the creation), WM_NCCALCSIZE, WM_CREATE (-1 fails it), WM_SIZE, WM_MOVE, WM_PARENTNOTIFY to the
// parents (children without WS_EX_NOPARENTNOTIFY), then the show messages when the style has
// WS_VISIBLE or WS_MAXIMIZE. A failed creation sends WM_NCDESTROY, not WM_DESTROY, and gives null.
// For a child the position is in the parent's client coordinates and `id` is its control id; a
// window without WS_CHILD is top-level and `parent` is ignored. CW_USEDEFAULT for the size of an
// overlapped top-level window gives three quarters of the display.
HWND CreateWindowEx(DWORD exStyle, const wchar_t* className, const wchar_t* text, DWORD style, int x, int y, int cx,
    int cy, HWND parent, LONG_PTR id, void* createParam);

// Destroys a window and its descendants: WM_PARENTNOTIFY to the parents, hiding, then WM_DESTROY
// to the window and its descendants parent first, then WM_NCDESTROY children first. The window's
// timers and queued messages go with it. False for a stale handle or a window of another thread.
bool DestroyWindow(HWND hwnd);

bool IsWindow(HWND hwnd);
DWORD GetWindowThreadId(HWND hwnd); // 0 for a stale handle

// The default handling of a message (text, close, paint validation, move and size messages,
// hit testing).
LRESULT DefWindowProc(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam);
LRESULT CallWindowProc(WNDPROC proc, HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam);

// The tree. Children are kept in z-order, top first; a new child goes to the bottom, so the
// first child is the first created.
HWND GetParent(HWND hwnd);
// The owner of a top-level window made with a parent (null for others).
HWND GetOwner(HWND hwnd);
HWND SetParent(HWND hwnd, HWND newParent); // previous parent, or null on failure
HWND GetAncestor(HWND hwnd, UINT relation);
HWND GetWindow(HWND hwnd, UINT relation);
bool IsChild(HWND parent, HWND hwnd); // true for any descendant
HWND GetDlgItem(HWND parent, int id);
int GetDlgCtrlID(HWND hwnd);
std::wstring GetClassName(HWND hwnd);

// Window longs: GWLP_WNDPROC, GWLP_ID, GWL_STYLE, GWL_EXSTYLE, GWLP_USERDATA. Setting one returns
// the previous value; a stale handle or unknown index gives 0 and changes nothing.
LONG_PTR GetWindowLongPtr(HWND hwnd, int index);
LONG_PTR SetWindowLongPtr(HWND hwnd, int index, LONG_PTR value);

// Text travels through WM_SETTEXT and WM_GETTEXT, so a window procedure may keep its own.
bool SetWindowText(HWND hwnd, const std::wstring& text);
std::wstring GetWindowText(HWND hwnd);

// Geometry. The window rectangle is in screen coordinates; the client rectangle starts at 0, 0.
// Windows have no non-client area unless their procedure answers WM_NCCALCSIZE with one (or has
// scroll bars). A window with one gets WM_NCPAINT (wParam 1) after each WM_PAINT and draws its
// frame through WindowDC(hwnd, true), whose coordinates are the window's.
bool GetWindowRect(HWND hwnd, Rect* rect);
bool GetClientRect(HWND hwnd, Rect* rect);
bool ClientToScreen(HWND hwnd, Point* point);
bool ScreenToClient(HWND hwnd, Point* point);
// SetWindowPos sends WM_WINDOWPOSCHANGING (the procedure may change the record), WM_NCCALCSIZE when
// the size changes or with SWP_FRAMECHANGED, and WM_WINDOWPOSCHANGED, whose default handling sends
// WM_MOVE and WM_SIZE for what really changed (the client area's size counts). The z-order is not changed
// (`insertAfter` is passed on in the record only).
bool SetWindowPos(HWND hwnd, HWND insertAfter, int x, int y, int cx, int cy, UINT flags);
bool MoveWindow(HWND hwnd, int x, int y, int cx, int cy, bool repaint);

// Showing: returns whether the window was visible before. SW_MAXIMIZE fills the parent's client
// area (the display for a top-level window); SW_RESTORE and SW_SHOWNORMAL bring back the
// rectangle it had before.
bool ShowWindow(HWND hwnd, int command);
bool IsWindowVisible(HWND hwnd); // the window and all its ancestors are visible
bool IsZoomed(HWND hwnd);
bool IsWindowEnabled(HWND hwnd);
// Sends WM_ENABLE when the state changes; returns whether the window was disabled before.
bool EnableWindow(HWND hwnd, bool enable);

// Invalidation. The update area is kept as one bounding rectangle within the client area; a
// visible window with a non-empty update area gets WM_PAINT when its thread has no other messages
// but timers. DefWindowProc validates on WM_PAINT; a window procedure that handles WM_PAINT itself
// must validate, or it is asked again. Invisible windows ignore invalidation.
bool InvalidateRect(HWND hwnd, const Rect* rect, bool erase);
bool ValidateRect(HWND hwnd, const Rect* rect);
bool GetUpdateRect(HWND hwnd, Rect* rect, bool erase);
// Sends WM_PAINT now to the window and then its descendants that need painting.
bool UpdateWindow(HWND hwnd);

} // namespace vx::ui
