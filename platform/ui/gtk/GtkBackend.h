#pragma once
// The gtk backend: each top-level window becomes a GtkWindow whose drawing area shows the
// window's image and turns GTK input into messages; menu bars, popup menus and message boxes are
// real GTK widgets; the clipboard is published to the display; monitors report 96 x the
// display's scale as their DPI. Everything runs on the thread that installed the backend.
#include <memory>
#include <string>
#include <vector>

#include "ui/Backend.h"
#include "ui/Gdi.h"

namespace vx::ui {

// Null, with the reason in `error`, when no display can be opened.
std::shared_ptr<Backend> CreateGtkBackend(std::string& error);

// The on-screen picture of a top-level window as the display shows it (title bar excluded,
// menu bar included); null when the window is not shown.
BitmapPtr ScreenshotWindow(HWND hwnd);

// What the display shows in a screen rectangle, every window on it included; null when it cannot
// be read.
BitmapPtr ScreenshotDisplay(const Rect& screen);

// Activates the menu-bar item whose path of texts (without mnemonic markers) is `path`, e.g.
// "HRV|Analyse", through the real GTK menu item; false when there is none or it is disabled.
bool ActivateMenuPath(HWND hwnd, const std::wstring& path);

// Activates the menu-bar item of command `id` through the real GTK menu item, whatever its text
// is now (a command enabler may have renamed it); false when there is none or it is disabled.
bool ActivateMenuCommand(HWND hwnd, UINT id);

// A menu item of a window's menu bar as the display shows it: its path of texts (without
// mnemonic markers, "HRV|Show Beat Markers"), its place on the screen, and whether it is enabled
// and shows a check mark. Items of closed menus are not shown and have no place.
struct MenuItemPlace {
    std::wstring path;
    Rect screen;
    bool shown = false;
    bool enabled = false;
    bool checked = false;
};
std::vector<MenuItemPlace> MenuItemPlaces(HWND hwnd);

// Shows `widget` (a GtkWidget*) over the child window `anchor`, in whichever top-level window
// holds it, at the window's place and size and clipped to its parents' client areas. It follows
// the window when it is moved, sized, shown, hidden or re-parented, and leaves the screen when
// the window or its top-level window is destroyed. The backend keeps a reference to the widget
// until UnembedWidget, which gives it back without a parent.
void EmbedWidget(HWND anchor, void* widget);
void UnembedWidget(HWND anchor);

// The window's status texts for a bar at the bottom are the application's own; this is only the
// widget side: runs the GTK main loop until `done` returns true or `timeoutMs` passes.
bool RunGtkUntil(const std::function<bool()>& done, int timeoutMs);

} // namespace vx::ui
