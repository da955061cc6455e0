#include "ui/EventLoop.h"

#include <algorithm>
#include <chrono>
#include <map>
#include <optional>

#include "ui/Clock.h"
#include "ui/Input.h"
#include "ui/MessageQueue.h"
#include "ui/WindowSystemState.h"

namespace vx::ui {

namespace {

struct Translators {
    std::map<int, MessageTranslator> list;
    std::map<int, std::function<void()>> idle;
    int next = 1;
};

Translators& ThreadTranslators()
{
    thread_local Translators translators;
    return translators;
}

} // namespace

int AddMessageTranslator(MessageTranslator translator)
{
    Translators& t = ThreadTranslators();
    const int id = t.next++;
    t.list.emplace(id, std::move(translator));
    return id;
}

void RemoveMessageTranslator(int id)
{
    ThreadTranslators().list.erase(id);
}

int AddIdleHandler(std::function<void()> handler)
{
    Translators& t = ThreadTranslators();
    const int id = t.next++;
    t.idle.emplace(id, std::move(handler));
    return id;
}

void RemoveIdleHandler(int id)
{
    ThreadTranslators().idle.erase(id);
}

void RunIdleHandlers()
{
    auto handlers = ThreadTranslators().idle; // a handler may remove itself
    for (auto& [id, handler] : handlers)
        if (handler)
            handler();
}

void ProcessMessage(const MSG& msg)
{
    if (!PassKeyFilters(msg))
        return;
    // The latest translator first (a modal dialog's before its owner's accelerators). A copy, as
    // translators come and go while they run.
    auto translators = ThreadTranslators().list;
    for (auto it = translators.rbegin(); it != translators.rend(); ++it)
        if (it->second && it->second(msg))
            return;
    DispatchMessage(&msg);
}

namespace {

// Runs until idle; false when WM_QUIT ended the run (it is put back, so it stays pending).
bool DrainQueue(int* dispatched)
{
    MSG msg;
    while (PeekMessage(&msg, nullptr, 0, 0, PM_REMOVE)) {
        if (msg.message == WM_QUIT) {
            PostQuitMessage(static_cast<int>(msg.wParam));
            return false;
        }
        ProcessMessage(msg);
        ++*dispatched;
    }
    return true;
}

// The due time of the calling thread's earliest timer, if it has one.
std::optional<std::uint64_t> NextTimerDue()
{
    auto queue = detail::CurrentQueue();
    detail::Lock lock(detail::GetState().lock);
    std::optional<std::uint64_t> due;
    for (const auto& timer : queue->timers)
        due = std::min(due.value_or(timer.dueMs), timer.dueMs);
    return due;
}

} // namespace

int RunUntilIdle()
{
    int dispatched = 0;
    if (DrainQueue(&dispatched)) {
        // Idle once, and then what the idle handlers posted.
        RunIdleHandlers();
        DrainQueue(&dispatched);
    }
    return dispatched;
}

int RunMessageLoop()
{
    MSG msg;
    for (;;) {
        // The idle handlers run each time the queue has run dry, before the loop waits.
        if (!PeekMessage(&msg, nullptr, 0, 0, PM_NOREMOVE))
            RunIdleHandlers();
        const int result = GetMessage(&msg, nullptr, 0, 0);
        if (result <= 0)
            return result == 0 ? static_cast<int>(msg.wParam) : -1;
        ProcessMessage(msg);
    }
}

void RunFor(std::uint64_t ms)
{
    Clock& clock = GetClock();
    const std::uint64_t end = clock.NowMs() + ms;
    int dispatched = 0;
    if (auto* manual = dynamic_cast<ManualClock*>(&clock)) {
        while (DrainQueue(&dispatched)) {
            auto due = NextTimerDue();
            const std::uint64_t now = manual->NowMs();
            if (!due || *due > end) {
                if (now < end)
                    manual->Advance(end - now);
                DrainQueue(&dispatched);
                return;
            }
            manual->Advance(*due > now ? *due - now : 1);
        }
        return;
    }
    auto queue = detail::CurrentQueue();
    while (DrainQueue(&dispatched)) {
        const std::uint64_t now = clock.NowMs();
        if (now >= end)
            return;
        std::uint64_t until = end;
        if (auto due = NextTimerDue())
            until = std::clamp(*due, now, end);
        detail::Lock lock(detail::GetState().lock);
        // Anything that arrived since the queue was drained must not wait for the timeout.
        if (queue->posted.empty() && queue->incoming.empty() && !queue->quitPending)
            queue->wake.wait_for(lock, std::chrono::milliseconds(until - now));
    }
}

} // namespace vx::ui
