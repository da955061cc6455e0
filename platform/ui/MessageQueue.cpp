#include "ui/MessageQueue.h"

#include <algorithm>
#include <chrono>

#include "ui/Clock.h"
#include "ui/WindowSystemState.h"

namespace vx::ui {

using detail::Lock;
using detail::SentMessage;
using detail::ThreadQueue;

namespace {

// A message's time stamp: the window system's clock in milliseconds, wrapping at 2^32 as the
// original platform's message times do.
DWORD MessageTime()
{
    return static_cast<DWORD>(GetClock().NowMs());
}

const HWND kThreadMessagesOnly = reinterpret_cast<HWND>(-1);

bool MatchesWindow(HWND filter, HWND hwnd)
{
    if (filter == nullptr)
        return true;
    if (filter == kThreadMessagesOnly)
        return hwnd == nullptr;
    return hwnd == filter || detail::IsDescendantLocked(filter, hwnd);
}

bool MatchesRange(UINT first, UINT last, UINT message)
{
    return (first == 0 && last == 0) || (message >= first && message <= last);
}

bool FindPostedLocked(ThreadQueue& queue, MSG* msg, HWND filter, UINT first, UINT last, UINT remove)
{
    for (auto it = queue.posted.begin(); it != queue.posted.end(); ++it) {
        if (MatchesWindow(filter, it->hwnd) && MatchesRange(first, last, it->message)) {
            *msg = *it;
            if (remove & PM_REMOVE)
                queue.posted.erase(it);
            return true;
        }
    }
    return false;
}

bool FindPaintLocked(ThreadQueue& queue, MSG* msg, HWND filter)
{
    for (auto& [handle, window] : detail::GetState().windows) {
        if (window->queue.get() == &queue && !window->update.IsEmpty() && detail::IsVisibleLocked(*window)
            && MatchesWindow(filter, window->handle)) {
            *msg = MSG { window->handle, WM_PAINT, 0, 0, MessageTime() };
            return true;
        }
    }
    return false;
}

bool FindTimerLocked(ThreadQueue& queue, MSG* msg, HWND filter, UINT remove)
{
    const std::uint64_t now = GetClock().NowMs();
    detail::TimerRecord* next = nullptr;
    for (auto& timer : queue.timers) {
        if (timer.dueMs <= now && MatchesWindow(filter, timer.hwnd) && (next == nullptr || timer.dueMs < next->dueMs))
            next = &timer;
    }
    if (next == nullptr)
        return false;
    *msg = MSG { next->hwnd, WM_TIMER, next->id, next->callback ? next->token : 0, static_cast<DWORD>(now) };
    if (remove & PM_REMOVE) {
        // The next tick keeps the timer's phase; ticks that passed unseen are not made up for.
        const std::uint64_t missed = (now - next->dueMs) / next->periodMs;
        next->dueMs += (missed + 1) * next->periodMs;
    }
    return true;
}

// Looks for the next message in retrieval order. The lock is held on entry and on return.
bool FindMessageLocked(Lock& lock, ThreadQueue& queue, MSG* msg, HWND filter, UINT first, UINT last, UINT remove)
{
    detail::ProcessIncomingLocked(lock, queue);
    if (FindPostedLocked(queue, msg, filter, first, last, remove))
        return true;
    if (queue.quitPending) {
        *msg = MSG { nullptr, WM_QUIT, static_cast<WPARAM>(queue.quitCode), 0, MessageTime() };
        if (remove & PM_REMOVE)
            queue.quitPending = false;
        return true;
    }
    if (MatchesRange(first, last, WM_PAINT) && FindPaintLocked(queue, msg, filter))
        return true;
    return MatchesRange(first, last, WM_TIMER) && FindTimerLocked(queue, msg, filter, remove);
}

void PumpBackend()
{
    auto backend = detail::BackendSnapshot();
    if (backend->PumpEvents)
        backend->PumpEvents();
}

// Milliseconds until the queue's next timer, or -1 when no timer can end a wait (none, or a
// manual clock, which moves only when a test moves it and then wakes every queue).
int TimeoutLocked(const ThreadQueue& queue)
{
    const Clock& clock = GetClock();
    if (clock.IsManual() || queue.timers.empty())
        return -1;
    std::uint64_t due = UINT64_MAX;
    for (const auto& timer : queue.timers)
        due = std::min(due, timer.dueMs);
    const std::uint64_t now = clock.NowMs();
    return due <= now ? 0 : static_cast<int>(std::min<std::uint64_t>(due - now, USER_TIMER_MAXIMUM));
}

// Posts a sent message or call to its window's thread; false when that thread has ended.
bool Deliver(Lock& lock, ThreadQueue& target, std::shared_ptr<SentMessage> sent)
{
    if (!target.alive)
        return false;
    target.incoming.push_back(std::move(sent));
    detail::WakeLocked(target);
    const DWORD threadId = target.threadId;
    lock.unlock();
    detail::WakeBackend(threadId);
    lock.lock();
    return true;
}

// Waits for another thread to run a message this thread sent, running what is sent to this
// thread meanwhile, so that two threads sending to each other do not wait forever.
void WaitForReplyLocked(Lock& lock, ThreadQueue& queue, const SentMessage& sent)
{
    while (!sent.done) {
        if (!queue.incoming.empty())
            detail::ProcessIncomingLocked(lock, queue);
        else
            queue.wake.wait(lock);
    }
}

} // namespace

namespace detail {

// Waits until something may have arrived for the calling thread (lock held on entry and return).
void WaitForMessagesLocked(Lock& lock, ThreadQueue& queue)
{
    const int timeout = TimeoutLocked(queue);
    auto backend = BackendLocked();
    if (backend->WaitEvents && backend->SendWakeup) {
        lock.unlock();
        backend->WaitEvents(timeout);
        lock.lock();
    } else if (timeout < 0) {
        queue.wake.wait(lock);
    } else {
        queue.wake.wait_for(lock, std::chrono::milliseconds(timeout));
    }
}

} // namespace detail

DWORD GetCurrentThreadId()
{
    return detail::CurrentQueue()->threadId;
}

LRESULT SendMessage(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam)
{
    auto queue = detail::CurrentQueue();
    Lock lock(detail::GetState().lock);
    detail::Window* window = detail::FindWindowLocked(hwnd);
    if (window == nullptr)
        return 0;
    if (window->queue == queue) {
        WNDPROC proc = window->proc;
        lock.unlock();
        return detail::CallProc(proc, hwnd, message, wParam, lParam);
    }
    auto sent = std::make_shared<SentMessage>();
    sent->hwnd = hwnd;
    sent->message = message;
    sent->wParam = wParam;
    sent->lParam = lParam;
    sent->sender = queue;
    auto target = window->queue;
    if (!Deliver(lock, *target, sent))
        return 0;
    WaitForReplyLocked(lock, *queue, *sent);
    return sent->result;
}

bool PostMessage(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam)
{
    if (hwnd == nullptr)
        return PostThreadMessage(GetCurrentThreadId(), message, wParam, lParam);
    Lock lock(detail::GetState().lock);
    detail::Window* window = detail::FindWindowLocked(hwnd);
    if (window == nullptr)
        return false;
    auto target = window->queue;
    target->posted.push_back(MSG { hwnd, message, wParam, lParam, MessageTime() });
    detail::WakeLocked(*target);
    lock.unlock();
    detail::WakeBackend(target->threadId);
    return true;
}

bool PostThreadMessage(DWORD threadId, UINT message, WPARAM wParam, LPARAM lParam)
{
    auto& state = detail::GetState();
    Lock lock(state.lock);
    auto it = state.queues.find(threadId);
    auto target = it == state.queues.end() ? nullptr : it->second.lock();
    if (!target || !target->alive)
        return false;
    target->posted.push_back(MSG { nullptr, message, wParam, lParam, MessageTime() });
    detail::WakeLocked(*target);
    lock.unlock();
    detail::WakeBackend(threadId);
    return true;
}

void PostQuitMessage(int exitCode)
{
    auto queue = detail::CurrentQueue();
    Lock lock(detail::GetState().lock);
    queue->quitPending = true;
    queue->quitCode = exitCode;
}

bool PeekMessage(MSG* msg, HWND hwnd, UINT first, UINT last, UINT remove)
{
    if (msg == nullptr)
        return false;
    auto queue = detail::CurrentQueue();
    PumpBackend();
    Lock lock(detail::GetState().lock);
    return FindMessageLocked(lock, *queue, msg, hwnd, first, last, remove);
}

int GetMessage(MSG* msg, HWND hwnd, UINT first, UINT last)
{
    if (msg == nullptr)
        return -1;
    auto queue = detail::CurrentQueue();
    for (;;) {
        PumpBackend();
        Lock lock(detail::GetState().lock);
        if (hwnd != nullptr && hwnd != kThreadMessagesOnly && detail::FindOwnWindowLocked(hwnd, *queue) == nullptr)
            return -1;
        if (FindMessageLocked(lock, *queue, msg, hwnd, first, last, PM_REMOVE))
            return msg->message == WM_QUIT ? 0 : 1;
        detail::WaitForMessagesLocked(lock, *queue);
    }
}

LRESULT DispatchMessage(const MSG* msg)
{
    if (msg == nullptr)
        return 0;
    auto queue = detail::CurrentQueue();
    Lock lock(detail::GetState().lock);
    if (msg->message == WM_TIMER && msg->lParam != 0) {
        // Only a live timer of this thread is called: the lParam is checked against the timers,
        // never trusted as a callback.
        for (const auto& timer : queue->timers) {
            if (timer.token == msg->lParam && timer.hwnd == msg->hwnd && timer.callback) {
                TimerCallback callback = timer.callback;
                lock.unlock();
                detail::RunGuarded([&] { callback(msg->hwnd, WM_TIMER, msg->wParam, msg->time); }, "a timer callback");
                return 0;
            }
        }
        return 0;
    }
    detail::Window* window = detail::FindOwnWindowLocked(msg->hwnd, *queue);
    if (window == nullptr)
        return 0;
    WNDPROC proc = window->proc;
    // The frame (its scroll bars, or what the window draws there itself) is painted after the
    // client area.
    const bool frameBars = msg->message == WM_PAINT && window->HasNonClientArea();
    lock.unlock();
    const LRESULT result = detail::CallProc(proc, msg->hwnd, msg->message, msg->wParam, msg->lParam);
    if (frameBars)
        detail::CallProc(proc, msg->hwnd, WM_NCPAINT, 1, 0);
    return result;
}

bool PostCall(HWND hwnd, std::function<void()> call)
{
    if (!call)
        return false;
    Lock lock(detail::GetState().lock);
    detail::Window* window = detail::FindWindowLocked(hwnd);
    if (window == nullptr)
        return false;
    auto sent = std::make_shared<SentMessage>();
    sent->hwnd = hwnd;
    sent->call = std::move(call);
    auto target = window->queue;
    return Deliver(lock, *target, std::move(sent));
}

bool SendCall(HWND hwnd, std::function<void()> call)
{
    if (!call)
        return false;
    auto queue = detail::CurrentQueue();
    Lock lock(detail::GetState().lock);
    detail::Window* window = detail::FindWindowLocked(hwnd);
    if (window == nullptr)
        return false;
    if (window->queue == queue) {
        lock.unlock();
        detail::RunGuarded(call, "a call on the window's thread");
        return true;
    }
    auto sent = std::make_shared<SentMessage>();
    sent->hwnd = hwnd;
    sent->call = std::move(call);
    sent->sender = queue;
    auto target = window->queue;
    if (!Deliver(lock, *target, sent))
        return false;
    WaitForReplyLocked(lock, *queue, *sent);
    return sent->delivered;
}

} // namespace vx::ui
