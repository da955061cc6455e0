#pragma once
// The desktop module (libvxdesktop.so): the gtk backend and the WebKitGTK engine of the web view
// in a library of their own. A program that may open windows links the loader instead of the
// backend itself; the loader maps the module (and with it GTK and WebKit) the first time one of
// the functions of GtkBackend.h or WebKitEngine.h is called, so that runs that never open a
// window do not pay for loading and relocating them.
#include <functional>
#include <memory>
#include <string>

#include "ui/Backend.h"
#include "ui/Gdi.h"
#include "ui/gtk/GtkBackend.h"

namespace vx::ui {

// The module's entry points, in the order of GtkBackend.h and WebKitEngine.h.
struct DesktopEntryPoints {
    int version;
    std::shared_ptr<Backend> (*createGtkBackend)(std::string& error);
    BitmapPtr (*screenshotWindow)(HWND hwnd);
    BitmapPtr (*screenshotDisplay)(const Rect& screen);
    bool (*activateMenuPath)(HWND hwnd, const std::wstring& path);
    void (*embedWidget)(HWND anchor, void* widget);
    void (*unembedWidget)(HWND anchor);
    bool (*runGtkUntil)(const std::function<bool()>& done, int timeoutMs);
    bool (*installWebKitEngine)(std::string& error);
    bool (*activateMenuCommand)(HWND hwnd, UINT id);
    std::vector<MenuItemPlace> (*menuItemPlaces)(HWND hwnd);
};

// Raised whenever the table changes; the loader refuses a module of another version.
constexpr int kDesktopEntryPointsVersion = 2;

// The name of the module's one exported function, which returns its table.
constexpr const char* kDesktopEntryPointsSymbol = "VxDesktopEntryPoints";
// The module's file, looked for beside the executable and then on the library path.
constexpr const char* kDesktopModuleFile = "libvxdesktop.so";

} // namespace vx::ui
