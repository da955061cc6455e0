// The functions of GtkBackend.h and WebKitEngine.h for programs that link the loader: each
// forwards to the desktop module, which is mapped on the first call (see DesktopModule.h).
#include "ui/gtk/DesktopModule.h"
#include "ui/gtk/GtkBackend.h"
#include "webview/WebKitEngine.h"

#include <dlfcn.h>
#include <unistd.h>

#include <filesystem>
#include <mutex>
#include <system_error>

namespace vx::ui {
namespace {

struct LoadedModule {
    const DesktopEntryPoints* entries = nullptr;
    std::string error;
};

std::filesystem::path ExecutableFolder()
{
    std::error_code ec;
    const std::filesystem::path exe = std::filesystem::read_symlink("/proc/self/exe", ec);
    return ec ? std::filesystem::path() : exe.parent_path();
}

const LoadedModule& Module()
{
    static LoadedModule module;
    static std::once_flag once;
    std::call_once(once, [] {
        void* handle = nullptr;
        std::string reasons;
        const std::filesystem::path folder = ExecutableFolder();
        if (!folder.empty()) {
            handle = ::dlopen((folder / kDesktopModuleFile).c_str(), RTLD_NOW | RTLD_LOCAL);
            if (!handle)
                reasons = ::dlerror();
        }
        if (!handle) {
            handle = ::dlopen(kDesktopModuleFile, RTLD_NOW | RTLD_LOCAL);
            if (!handle)
                reasons += (reasons.empty() ? "" : "; ") + std::string(::dlerror());
        }
        if (!handle) {
            module.error = std::string("the desktop module ") + kDesktopModuleFile + " cannot be loaded: " + reasons;
            return;
        }
        // The module stays mapped for the life of the process: the backend's objects live in it.
        using EntryFunction = const DesktopEntryPoints* (*)();
        auto entry = reinterpret_cast<EntryFunction>(::dlsym(handle, kDesktopEntryPointsSymbol));
        const DesktopEntryPoints* table = entry ? entry() : nullptr;
        if (!table || table->version != kDesktopEntryPointsVersion) {
            module.error = std::string("the desktop module ") + kDesktopModuleFile + " is not of this build";
            return;
        }
        module.entries = table;
    });
    return module;
}

const DesktopEntryPoints* Entries()
{
    return Module().entries;
}

} // namespace

std::shared_ptr<Backend> CreateGtkBackend(std::string& error)
{
    const LoadedModule& module = Module();
    if (!module.entries) {
        error = module.error;
        return nullptr;
    }
    return module.entries->createGtkBackend(error);
}

BitmapPtr ScreenshotWindow(HWND hwnd)
{
    const DesktopEntryPoints* e = Entries();
    return e ? e->screenshotWindow(hwnd) : nullptr;
}

BitmapPtr ScreenshotDisplay(const Rect& screen)
{
    const DesktopEntryPoints* e = Entries();
    return e ? e->screenshotDisplay(screen) : nullptr;
}

bool ActivateMenuPath(HWND hwnd, const std::wstring& path)
{
    const DesktopEntryPoints* e = Entries();
    return e && e->activateMenuPath(hwnd, path);
}

bool ActivateMenuCommand(HWND hwnd, UINT id)
{
    const DesktopEntryPoints* e = Entries();
    return e && e->activateMenuCommand(hwnd, id);
}

std::vector<MenuItemPlace> MenuItemPlaces(HWND hwnd)
{
    const DesktopEntryPoints* e = Entries();
    return e ? e->menuItemPlaces(hwnd) : std::vector<MenuItemPlace> {};
}

void EmbedWidget(HWND anchor, void* widget)
{
    if (const DesktopEntryPoints* e = Entries())
        e->embedWidget(anchor, widget);
}

void UnembedWidget(HWND anchor)
{
    if (const DesktopEntryPoints* e = Entries())
        e->unembedWidget(anchor);
}

bool RunGtkUntil(const std::function<bool()>& done, int timeoutMs)
{
    const DesktopEntryPoints* e = Entries();
    return e && e->runGtkUntil(done, timeoutMs);
}

} // namespace vx::ui

namespace vx::webview {

bool InstallWebKitEngine(std::string& error)
{
    const vx::ui::LoadedModule& module = vx::ui::Module();
    if (!module.entries) {
        error = module.error;
        return false;
    }
    return module.entries->installWebKitEngine(error);
}

} // namespace vx::webview
