#pragma once
// Fading windows in and out: the tooltip effects the user chose (both on unless changed), and a
// fade that runs on the window's thread over the window system's clock while the program goes on.
#include <functional>

#include "ui/Messages.h"

namespace vx::ui {

struct TooltipEffects {
    bool animation = true; // tooltips are animated at all
    bool fade = true; // ...by fading (rather than sliding)
};
TooltipEffects GetTooltipEffects();
void SetTooltipEffects(TooltipEffects effects); // tests; a settings change

constexpr DWORD AW_HIDE = 0x00010000, AW_BLEND = 0x00080000;

// With AW_BLEND: shows the window at once, fully transparent, and raises its opacity to full over
// `ms` milliseconds; with AW_HIDE as well, lowers it to nothing and then hides the window. `done`
// runs when the fade has ended (not when the window went first). False for a stale window or
// without AW_BLEND.
bool AnimateWindow(HWND hwnd, DWORD ms, DWORD flags, std::function<void()> done = {});
// 0 (transparent) to 255 (opaque, and the value of a window never faded).
int GetWindowOpacity(HWND hwnd);

} // namespace vx::ui
