#include "ui/WindowSystemState.h"

#include <algorithm>
#include <cstdio>
#include <exception>

#include "log/Log.h"
#include "ui/headless/HeadlessBackend.h"

namespace vx::ui::detail {

State& GetState()
{
    // Never destroyed: threads may still use the window system while the process exits.
    static State* state = new State;
    return *state;
}

namespace {

// Ends a thread's queue when the thread ends, as the original platform does: its windows vanish
// (without messages: their procedures may belong to objects already gone), and threads waiting
// for it to run a sent message get 0.
void EndQueue(const std::shared_ptr<ThreadQueue>& queue)
{
    State& state = GetState();
    Lock lock(state.lock);
    queue->alive = false;
    for (auto& sent : queue->incoming) {
        sent->done = true;
        if (sent->sender)
            sent->sender->wake.notify_all();
    }
    queue->incoming.clear();
    queue->posted.clear();
    queue->timers.clear();
    std::vector<HWND> dropped;
    for (auto& [handle, window] : state.windows)
        if (window->queue == queue)
            dropped.push_back(window->handle);
    for (HWND hwnd : dropped)
        EraseWindowLocked(hwnd);
    state.queues.erase(queue->threadId);
    lock.unlock();
    if (!dropped.empty())
        vx::log::WriteLine("ui: a thread ended with " + std::to_string(dropped.size()) + " window(s) not destroyed");
}

struct QueueHolder {
    std::shared_ptr<ThreadQueue> queue;
    ~QueueHolder()
    {
        if (queue)
            EndQueue(queue);
    }
};

thread_local QueueHolder tQueue;

} // namespace

std::shared_ptr<ThreadQueue> CurrentQueue()
{
    if (!tQueue.queue) {
        auto queue = std::make_shared<ThreadQueue>();
        State& state = GetState();
        Lock lock(state.lock);
        queue->threadId = state.nextThreadId++;
        state.queues[queue->threadId] = queue;
        tQueue.queue = std::move(queue);
    }
    return tQueue.queue;
}

ThreadQueue* ExistingQueue()
{
    return tQueue.queue.get();
}

Window* FindWindowLocked(HWND hwnd)
{
    State& state = GetState();
    auto it = state.windows.find(reinterpret_cast<std::uintptr_t>(hwnd));
    return it == state.windows.end() ? nullptr : it->second.get();
}

Window* FindOwnWindowLocked(HWND hwnd, const ThreadQueue& queue)
{
    Window* window = FindWindowLocked(hwnd);
    return window != nullptr && window->queue.get() == &queue ? window : nullptr;
}

bool IsDescendantLocked(HWND ancestor, HWND hwnd)
{
    for (Window* window = FindWindowLocked(hwnd); window != nullptr && window->parent != nullptr;
         window = FindWindowLocked(window->parent)) {
        if (window->parent == ancestor)
            return true;
    }
    return false;
}

bool IsVisibleLocked(const Window& window)
{
    for (const Window* w = &window; w != nullptr; w = w->parent ? FindWindowLocked(w->parent) : nullptr) {
        if ((w->style & WS_VISIBLE) == 0)
            return false;
    }
    return true;
}

void WakeLocked(ThreadQueue& queue)
{
    queue.wake.notify_all();
}

void WakeBackend(DWORD threadId)
{
    auto backend = BackendSnapshot();
    if (backend->SendWakeup)
        backend->SendWakeup(threadId);
}

void EraseWindowLocked(HWND hwnd)
{
    auto& windows = GetState().windows;
    auto it = windows.find(reinterpret_cast<std::uintptr_t>(hwnd));
    if (it == windows.end())
        return;
    --it->second->windowClass->windowCount;
    windows.erase(it);
}

void ForgetWindowLocked(Window& window)
{
    ThreadQueue& queue = *window.queue;
    std::erase_if(queue.posted, [&](const MSG& msg) { return msg.hwnd == window.handle; });
    std::erase_if(queue.timers, [&](const TimerRecord& timer) { return timer.hwnd == window.handle; });
}

void ProcessIncomingLocked(Lock& lock, ThreadQueue& queue)
{
    while (!queue.incoming.empty()) {
        auto sent = queue.incoming.front();
        queue.incoming.pop_front();
        Window* window = FindOwnWindowLocked(sent->hwnd, queue);
        WNDPROC proc = window != nullptr ? window->proc : nullptr;
        if (window != nullptr) {
            lock.unlock();
            if (sent->call)
                RunGuarded(sent->call, "a call on the window's thread");
            else
                sent->result = CallProc(proc, sent->hwnd, sent->message, sent->wParam, sent->lParam);
            lock.lock();
            sent->delivered = true;
        }
        sent->done = true;
        if (sent->sender)
            sent->sender->wake.notify_all();
    }
}

namespace {

void ReportThrow(const std::string& where) noexcept
{
    try {
        throw;
    } catch (const std::exception& e) {
        vx::log::WriteLine("ui: " + where + " threw: " + e.what());
    } catch (...) {
        vx::log::WriteLine("ui: " + where + " threw an unknown exception");
    }
}

} // namespace

LRESULT CallProc(WNDPROC proc, HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam) noexcept
{
    try {
        return proc(hwnd, message, wParam, lParam);
    } catch (...) {
        char text[64];
        std::snprintf(text, sizeof text, "the window procedure for message 0x%04X", message);
        ReportThrow(text);
        return 0;
    }
}

void RunGuarded(const std::function<void()>& call, const char* what) noexcept
{
    try {
        call();
    } catch (...) {
        ReportThrow(what);
    }
}

std::shared_ptr<Backend> BackendLocked()
{
    State& state = GetState();
    if (!state.backend)
        state.backend = CreateHeadlessBackend();
    return state.backend;
}

std::shared_ptr<Backend> BackendSnapshot()
{
    Lock lock(GetState().lock);
    return BackendLocked();
}

} // namespace vx::ui::detail

namespace vx::ui {

std::shared_ptr<Backend> SetBackend(std::shared_ptr<Backend> backend)
{
    if (!backend)
        backend = CreateHeadlessBackend();
    auto& state = detail::GetState();
    detail::Lock lock(state.lock);
    std::swap(state.backend, backend);
    return backend;
}

std::shared_ptr<Backend> GetBackend()
{
    return detail::BackendSnapshot();
}

} // namespace vx::ui
