#include "ui/Timer.h"

#include <algorithm>

#include "ui/Clock.h"
#include "ui/WindowSystemState.h"

namespace vx::ui {

using detail::Lock;

UINT_PTR SetTimer(HWND hwnd, UINT_PTR id, UINT elapseMs, TimerCallback callback)
{
    auto queue = detail::CurrentQueue();
    auto& state = detail::GetState();
    Lock lock(state.lock);
    if (hwnd != nullptr && detail::FindOwnWindowLocked(hwnd, *queue) == nullptr)
        return 0;
    auto existing = std::find_if(queue->timers.begin(), queue->timers.end(),
        [&](const detail::TimerRecord& timer) { return timer.hwnd == hwnd && timer.id == id; });
    if (hwnd == nullptr && existing == queue->timers.end()) {
        // A new window-less timer gets an id no other window-less timer of the process has.
        id = state.nextThreadTimerId++;
    }
    detail::TimerRecord timer;
    timer.hwnd = hwnd;
    timer.id = id;
    timer.periodMs = std::clamp(elapseMs, USER_TIMER_MINIMUM, USER_TIMER_MAXIMUM);
    timer.dueMs = GetClock().NowMs() + timer.periodMs;
    timer.callback = std::move(callback);
    timer.token = state.nextTimerToken++;
    if (existing != queue->timers.end())
        *existing = std::move(timer);
    else
        queue->timers.push_back(std::move(timer));
    // A thread waiting in real time must learn of a timer due sooner than it expected.
    detail::WakeLocked(*queue);
    return id;
}

bool KillTimer(HWND hwnd, UINT_PTR id)
{
    auto queue = detail::CurrentQueue();
    Lock lock(detail::GetState().lock);
    return std::erase_if(queue->timers, [&](const detail::TimerRecord& timer) {
        return timer.hwnd == hwnd && timer.id == id;
    }) != 0;
}

} // namespace vx::ui
