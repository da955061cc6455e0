// The entry point of the desktop module: the table of the gtk backend's and the WebKitGTK
// engine's functions (see DesktopModule.h).
#include "ui/gtk/DesktopModule.h"

#include "ui/gtk/GtkBackend.h"
#include "webview/WebKitEngine.h"

extern "C" __attribute__((visibility("default"))) const vx::ui::DesktopEntryPoints* VxDesktopEntryPoints()
{
    static const vx::ui::DesktopEntryPoints table = {
        vx::ui::kDesktopEntryPointsVersion,
        &vx::ui::CreateGtkBackend,
        &vx::ui::ScreenshotWindow,
        &vx::ui::ScreenshotDisplay,
        &vx::ui::ActivateMenuPath,
        &vx::ui::EmbedWidget,
        &vx::ui::UnembedWidget,
        &vx::ui::RunGtkUntil,
        &vx::webview::InstallWebKitEngine,
        &vx::ui::ActivateMenuCommand,
        &vx::ui::MenuItemPlaces,
    };
    return &table;
}
