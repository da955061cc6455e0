#pragma once
// The window system's shared state (private to platform/ui). One mutex guards the window table,
// the class table and every queue; it is never held while a window procedure, a callback or a
// backend operation runs, so those may call back into the window system freely.
#include <condition_variable>
#include <deque>
#include <functional>
#include <map>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <unordered_map>
#include <vector>

#include "ui/Backend.h"
#include "ui/Gdi.h"
#include "ui/Messages.h"
#include "ui/Timer.h"

namespace vx::ui::detail {

struct ThreadQueue;

// A message sent to a window of another thread, or a call to run on a window's thread.
struct SentMessage {
    HWND hwnd = nullptr;
    UINT message = 0;
    WPARAM wParam = 0;
    LPARAM lParam = 0;
    std::function<void()> call; // set for PostCall/SendCall
    LRESULT result = 0;
    bool delivered = false; // the window procedure or call ran
    bool done = false;
    std::shared_ptr<ThreadQueue> sender; // the waiting thread, null when nobody waits
};

struct TimerRecord {
    HWND hwnd = nullptr; // null for a window-less timer
    UINT_PTR id = 0;
    UINT periodMs = 0;
    std::uint64_t dueMs = 0;
    TimerCallback callback;
    LPARAM token = 0; // WM_TIMER's lParam when there is a callback
};

struct ThreadQueue {
    DWORD threadId = 0;
    bool alive = true;
    std::deque<MSG> posted;
    std::deque<std::shared_ptr<SentMessage>> incoming;
    std::vector<TimerRecord> timers;
    bool quitPending = false;
    int quitCode = 0;
    std::condition_variable wake;
};

struct WindowClassRecord {
    std::wstring name;
    UINT style = 0;
    WNDPROC proc = nullptr;
    int windowCount = 0;
};

struct Window {
    HWND handle = nullptr;
    std::shared_ptr<WindowClassRecord> windowClass;
    std::shared_ptr<ThreadQueue> queue;
    HWND parent = nullptr;
    std::vector<HWND> children; // z-order, top first
    DWORD style = 0;
    DWORD exStyle = 0;
    Rect windowRect; // in the parent's client coordinates (screen for top-level windows)
    Rect clientRect; // likewise
    Rect restoreRect; // the window rectangle before maximising
    std::wstring text;
    LONG_PTR id = 0;
    LONG_PTR userData = 0;
    WNDPROC proc = nullptr;
    bool destroying = false;
    Rect update; // client coordinates
    BitmapPtr image; // top-level windows: what the window shows (window rectangle, backing store)
    std::optional<Region> shape; // the window region (window coordinates), when one is set
    HWND owner = nullptr; // owned popups go with their owner
    bool erase = false;

    bool IsTopLevel() const { return (style & WS_CHILD) == 0; }
    // A frame (scroll bars, or what the procedure's WM_NCCALCSIZE took) around the client area:
    // it is painted with WM_NCPAINT after the client area.
    bool HasNonClientArea() const { return clientRect != windowRect; }
};

struct State {
    std::mutex lock;
    std::map<std::uintptr_t, std::unique_ptr<Window>> windows; // ordered: creation order
    std::uintptr_t nextHandle = 0x10000;
    std::unordered_map<std::wstring, std::shared_ptr<WindowClassRecord>> classes;
    std::unordered_map<DWORD, std::weak_ptr<ThreadQueue>> queues;
    DWORD nextThreadId = 1;
    UINT_PTR nextThreadTimerId = 1;
    LPARAM nextTimerToken = 1;
    std::shared_ptr<Backend> backend;
};

using Lock = std::unique_lock<std::mutex>;

State& GetState();
// The calling thread's queue, made on first use. Takes the lock itself: call it unlocked.
std::shared_ptr<ThreadQueue> CurrentQueue();

// The calling thread's queue if it has one yet (a thread without one owns no window). Needs no lock.
ThreadQueue* ExistingQueue();

// The calls below need the lock held.
Window* FindWindowLocked(HWND hwnd);
Window* FindOwnWindowLocked(HWND hwnd, const ThreadQueue& queue); // null unless `queue` owns it
bool IsDescendantLocked(HWND ancestor, HWND hwnd);
bool IsVisibleLocked(const Window& window);
// Wakes a queue's thread where it waits in the core. A backend that waits in place of the core is
// woken by WakeBackend, which the caller calls after unlocking.
void WakeLocked(ThreadQueue& queue);
void WakeBackend(DWORD threadId);
// Removes a window from the table (no messages).
void EraseWindowLocked(HWND hwnd);
// Drops what a destroyed window leaves in its queue (posted messages, timers).
void ForgetWindowLocked(Window& window);
// Waits until something may have arrived for the calling thread: a message, a call, a due timer.
void WaitForMessagesLocked(Lock& lock, ThreadQueue& queue);
// Runs the messages and calls that other threads sent to this queue; unlocks while each runs.
void ProcessIncomingLocked(Lock& lock, ThreadQueue& queue);

// The window system is where window procedures, callbacks and cross-thread calls meet the loop:
// an exception thrown by one ends here with one diagnostic line (and 0 as the answer), so it
// neither unwinds through a message loop nor leaves another thread waiting for a reply.
LRESULT CallProc(WNDPROC proc, HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam) noexcept;
void RunGuarded(const std::function<void()>& call, const char* what) noexcept;

// The backend in use (made on first use); the Locked form needs the lock, the other takes it.
std::shared_ptr<Backend> BackendSnapshot();
std::shared_ptr<Backend> BackendLocked();

} // namespace vx::ui::detail
