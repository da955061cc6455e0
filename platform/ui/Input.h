#pragma once
// Input: focus, capture, key state, cursors, mouse tracking, keyboard filters and the entry points
// through which a backend (or a test) delivers mouse and keyboard input as messages.
#include <functional>

#include "ui/Messages.h"

namespace vx::ui {

constexpr UINT WM_SYSKEYDOWN = 0x0104;
constexpr UINT WM_SYSKEYUP = 0x0105;
constexpr UINT WM_MOUSEHOVER = 0x02A1;
constexpr UINT WM_RBUTTONDBLCLK = 0x0206;
constexpr UINT WM_MBUTTONUP = 0x0208;
constexpr UINT WM_GETDLGCODE = 0x0087;
constexpr UINT WM_NEXTDLGCTL = 0x0028;
constexpr UINT WM_CONTEXTMENU = 0x007B;

constexpr WPARAM MK_LBUTTON = 0x0001, MK_RBUTTON = 0x0002, MK_SHIFT = 0x0004, MK_CONTROL = 0x0008, MK_MBUTTON = 0x0010;

// Virtual keys the system and the dialogs use.
constexpr int VK_LBUTTON = 0x01, VK_RBUTTON = 0x02, VK_MBUTTON = 0x04, VK_BACK = 0x08, VK_TAB = 0x09, VK_RETURN = 0x0D,
              VK_SHIFT = 0x10, VK_CONTROL = 0x11, VK_MENU = 0x12, VK_ESCAPE = 0x1B, VK_SPACE = 0x20, VK_PRIOR = 0x21,
              VK_NEXT = 0x22, VK_END = 0x23, VK_HOME = 0x24, VK_LEFT = 0x25, VK_UP = 0x26, VK_RIGHT = 0x27,
              VK_DOWN = 0x28, VK_DELETE = 0x2E, VK_F1 = 0x70;

// Focus (per thread): WM_KILLFOCUS to the old window, then WM_SETFOCUS to the new one. Returns the
// previous focus; null for a stale or disabled window (focus unchanged).
HWND SetFocus(HWND hwnd);
HWND GetFocus();

// The active top-level window of the thread (WM_ACTIVATE to the old and the new one).
HWND SetActiveWindow(HWND hwnd);
HWND GetActiveWindow();

// Capture: mouse input goes to the capturing window wherever the mouse is. The window that loses
// the capture gets WM_CAPTURECHANGED (lParam = the new capture window).
HWND SetCapture(HWND hwnd);
bool ReleaseCapture();
HWND GetCapture();

// Key state as input delivered it: bit 15 set while down, bit 0 toggled at each press.
short GetKeyState(int virtualKey);
short GetAsyncKeyState(int virtualKey);
void SetKeyDown(int virtualKey, bool down); // backends and tests

// Mouse tracking: once asked, the window gets WM_MOUSELEAVE when the mouse leaves it (and the
// request ends).
constexpr DWORD TME_LEAVE = 0x00000002;
constexpr DWORD TME_CANCEL = 0x80000000;
struct TRACKMOUSEEVENT {
    DWORD dwFlags = 0;
    HWND hwndTrack = nullptr;
};
bool TrackMouseEvent(TRACKMOUSEEVENT* request);

// Cursors by id.
constexpr int IDC_ARROW = 32512, IDC_IBEAM = 32513, IDC_WAIT = 32514, IDC_CROSS = 32515, IDC_SIZENWSE = 32642,
              IDC_SIZENESW = 32643, IDC_SIZEWE = 32644, IDC_SIZENS = 32645, IDC_SIZEALL = 32646, IDC_NO = 32648,
              IDC_HAND = 32649;
int SetCursor(int cursorId); // returns the previous one
int GetCursor();
Point GetCursorPos();
// Where the pointer is on the screen now, as the backend sees it (the pointer may have moved only
// over a web view's own widget, whose input never becomes a message); without a backend that can
// tell, GetCursorPos.
Point GetPointerPos();

// Keyboard filters (thread keyboard hooks): called with every key message before it is
// dispatched; true swallows it. Returns an id for RemoveKeyFilter.
using KeyFilter = std::function<bool(const MSG&)>;
int AddKeyFilter(KeyFilter filter);
void RemoveKeyFilter(int id);
// What the message loop runs for a key message: false when a filter swallowed it.
bool PassKeyFilters(const MSG& msg);

// Delivery of input from a backend or a test. Mouse positions are in the top-level window's
// client coordinates; the message goes to the capture window, or else to the deepest visible,
// enabled child under the point (a window region excludes pixels outside it). Mouse moves also
// produce WM_SETCURSOR and the tracked WM_MOUSELEAVE. Keys go to the focus window (or the active
// window). Both are posted; the caller runs the loop.
void InjectMouse(HWND topLevel, UINT message, Point client, WPARAM keys = 0);
void InjectKey(UINT message, int virtualKey, wchar_t character = 0);

// The deepest visible, enabled window under a screen point among the children of `parent`
// (the parent itself when none).
HWND ChildWindowFromPointDeep(HWND parent, Point screen);

} // namespace vx::ui
