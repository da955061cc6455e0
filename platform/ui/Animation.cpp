#include "ui/Animation.h"

#include <algorithm>
#include <map>
#include <memory>
#include <mutex>

#include "ui/Backend.h"
#include "ui/Clock.h"
#include "ui/Timer.h"
#include "ui/Window.h"

namespace vx::ui {

namespace {

std::mutex gMutex;
TooltipEffects gEffects;
std::map<HWND, int> gOpacity; // windows that are or were fading
std::map<HWND, UINT_PTR> gFades; // the running fade's timer of a window

void SetOpacity(HWND hwnd, int opacity)
{
    {
        std::lock_guard lock(gMutex);
        gOpacity[hwnd] = opacity;
    }
    if (auto backend = GetBackend(); backend->WindowOpacityChanged)
        backend->WindowOpacityChanged(hwnd, opacity);
}

} // namespace

TooltipEffects GetTooltipEffects()
{
    std::lock_guard lock(gMutex);
    return gEffects;
}

void SetTooltipEffects(TooltipEffects effects)
{
    std::lock_guard lock(gMutex);
    gEffects = effects;
}

int GetWindowOpacity(HWND hwnd)
{
    std::lock_guard lock(gMutex);
    auto it = gOpacity.find(hwnd);
    return it != gOpacity.end() && IsWindow(hwnd) ? it->second : 255;
}

bool AnimateWindow(HWND hwnd, DWORD ms, DWORD flags, std::function<void()> done)
{
    if (!IsWindow(hwnd) || !(flags & AW_BLEND))
        return false;
    const bool hide = flags & AW_HIDE;
    {
        // A new fade replaces the one running.
        std::lock_guard lock(gMutex);
        if (auto it = gFades.find(hwnd); it != gFades.end()) {
            KillTimer(nullptr, it->second);
            gFades.erase(it);
        }
    }
    if (!hide) {
        SetOpacity(hwnd, 0);
        ShowWindow(hwnd, SW_SHOWNA);
    }
    const std::uint64_t start = GetClock().NowMs();
    const int from = hide ? GetWindowOpacity(hwnd) : 0, to = hide ? 0 : 255;
    auto finish = std::make_shared<std::function<void()>>(std::move(done));
    const UINT_PTR timer = SetTimer(
        nullptr, 0, 16, [hwnd, start, ms, from, to, hide, finish](HWND, UINT, UINT_PTR id, DWORD) {
            const std::uint64_t elapsed = GetClock().NowMs() - start;
            const bool over = !IsWindow(hwnd) || elapsed >= ms;
            if (IsWindow(hwnd))
                SetOpacity(hwnd,
                    over ? to
                         : from
                            + static_cast<int>((to - from) * static_cast<long long>(elapsed) / std::max<DWORD>(1, ms)));
            if (!over)
                return;
            KillTimer(nullptr, id);
            {
                std::lock_guard lock(gMutex);
                gFades.erase(hwnd);
                if (!IsWindow(hwnd))
                    gOpacity.erase(hwnd);
            }
            if (hide && IsWindow(hwnd))
                ShowWindow(hwnd, SW_HIDE);
            if (*finish)
                (*finish)();
        });
    std::lock_guard lock(gMutex);
    gFades[hwnd] = timer;
    return true;
}

} // namespace vx::ui
