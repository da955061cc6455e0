#include "ui/Clock.h"

#include <chrono>

#include "ui/WindowSystemState.h"

namespace vx::ui {

namespace {
SteadyClock gSteadyClock;
std::atomic<Clock*> gClock { &gSteadyClock };
} // namespace

std::uint64_t SteadyClock::NowMs() const
{
    return static_cast<std::uint64_t>(
        std::chrono::duration_cast<std::chrono::milliseconds>(std::chrono::steady_clock::now().time_since_epoch())
            .count());
}

void ManualClock::Advance(std::uint64_t ms)
{
    mNow += ms;
    std::vector<DWORD> threads;
    {
        auto& state = detail::GetState();
        detail::Lock lock(state.lock);
        for (auto& [id, weak] : state.queues) {
            if (auto queue = weak.lock()) {
                detail::WakeLocked(*queue);
                threads.push_back(id);
            }
        }
    }
    for (DWORD id : threads)
        detail::WakeBackend(id);
}

Clock* SetClock(Clock* clock)
{
    return gClock.exchange(clock != nullptr ? clock : &gSteadyClock);
}

Clock& GetClock()
{
    return *gClock.load();
}

} // namespace vx::ui
