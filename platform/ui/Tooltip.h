#pragma once
// The tooltip control's tools: areas of windows (a rectangle of a window's client area, or a
// whole window) that each have a tip text. The owner relays the mouse messages of its windows
// (TTM_RELAYEVENT); once the mouse has rested on a tool for the initial delay, the tooltip shows
// its text below the cursor, until the pop-up delay passes, the mouse leaves the tool or a button
// is pressed.
#include <string>

#include "ui/Messages.h"

namespace vx::ui {

constexpr UINT TTM_ACTIVATE = WM_USER + 1, TTM_SETDELAYTIME = WM_USER + 3, TTM_RELAYEVENT = WM_USER + 7,
               TTM_GETTOOLCOUNT = WM_USER + 13, TTM_POP = WM_USER + 28, TTM_ADDTOOLW = WM_USER + 50,
               TTM_DELTOOLW = WM_USER + 51, TTM_NEWTOOLRECTW = WM_USER + 52, TTM_GETTEXTW = WM_USER + 56,
               TTM_UPDATETIPTEXTW = WM_USER + 57;
constexpr UINT TTF_IDISHWND = 0x0001;
// TTM_SETDELAYTIME: which delay (wParam); lParam the milliseconds.
constexpr WPARAM TTDT_AUTOPOP = 2, TTDT_INITIAL = 3;

// A tool, passed by address (lParam) with the TTM_*TOOL messages. With TTF_IDISHWND `id` is the
// tool's window and the tool is all of it; otherwise the tool is `rect` of `hwnd`'s client area.
struct TOOLINFOW {
    UINT uFlags = 0;
    HWND hwnd = nullptr;
    UINT_PTR uId = 0;
    Rect rect {};
    std::wstring text; // TTM_GETTEXTW fills it
};

// The tooltip control's handling of the TTM_* messages and of its timers; true when it handled
// the message (called by the control's window procedure).
bool TooltipToolMessage(HWND tooltip, UINT message, WPARAM wParam, LPARAM lParam, LRESULT& result);
// The tooltip control's state goes with its window.
void ForgetTooltipTools(HWND tooltip);

} // namespace vx::ui
