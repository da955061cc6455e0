#include "MessageLog.h"

#include <atomic>
#include <future>
#include <thread>

#include "log/Log.h"
#include "ui/Backend.h"

using namespace uitest;

namespace {

class Threads : public UiTest { };

TEST_F(Threads, PostsFromOtherThreadsKeepEachThreadsOrder)
{
    HWND w = Top(L"w");
    Take();
    constexpr int kThreads = 4;
    constexpr int kPerThread = 200;
    std::vector<std::thread> threads;
    for (int t = 0; t < kThreads; ++t)
        threads.emplace_back([w, t] {
            for (int i = 0; i < kPerThread; ++i)
                PostMessage(w, WM_USER + static_cast<UINT>(t), static_cast<WPARAM>(i), 0);
        });
    for (auto& thread : threads)
        thread.join();
    EXPECT_EQ(RunUntilIdle(), kThreads * kPerThread);
    std::vector<int> next(kThreads, 0);
    for (const auto& r : Take()) {
        const int t = static_cast<int>(r.message - WM_USER);
        ASSERT_GE(t, 0);
        ASSERT_LT(t, kThreads);
        EXPECT_EQ(r.wParam, static_cast<WPARAM>(next[t]++));
    }
    EXPECT_EQ(next, std::vector<int>(kThreads, kPerThread));
}

TEST_F(Threads, AWaitingGetMessageWakesForAPostFromAnotherThread)
{
    HWND w = Top(L"w");
    std::thread poster([w] { PostMessage(w, WM_USER + 7, 1, 2); });
    MSG msg;
    ASSERT_EQ(GetMessage(&msg, nullptr, 0, 0), 1);
    EXPECT_EQ(msg.hwnd, w);
    EXPECT_EQ(msg.message, WM_USER + 7);
    poster.join();
}

TEST_F(Threads, SendFromAnotherThreadRunsOnTheOwnerAndReturnsItsAnswer)
{
    HWND w = Top(L"w");
    const DWORD owner = GetCurrentThreadId();
    std::atomic<DWORD> ranOn { 0 };
    SetHook([&](HWND, UINT message, WPARAM wParam, LPARAM lParam) -> std::optional<LRESULT> {
        if (message != WM_USER)
            return std::nullopt;
        ranOn = GetCurrentThreadId();
        return static_cast<LRESULT>(wParam) * 100 + lParam;
    });
    std::atomic<LRESULT> answer { 0 };
    std::atomic<bool> called { false };
    std::thread sender([&] {
        answer = SendMessage(w, WM_USER, 3, 4);
        called = SendCall(w, [&] { EXPECT_EQ(GetCurrentThreadId(), owner); });
        PostThreadMessage(owner, WM_QUIT, 0, 0);
    });
    EXPECT_EQ(RunMessageLoop(), 0);
    sender.join();
    EXPECT_EQ(answer, 304);
    EXPECT_EQ(ranOn, owner);
    EXPECT_TRUE(called);
    EXPECT_NE(GetWindowThreadId(w), 0u);
    EXPECT_EQ(GetWindowThreadId(w), owner);
}

TEST_F(Threads, TwoThreadsSendingToEachOtherDoNotDeadlock)
{
    HWND mainWindow = Top(L"main");
    const DWORD owner = GetCurrentThreadId();
    std::promise<HWND> workerWindow;
    auto workerReady = workerWindow.get_future();
    std::atomic<HWND> worker { nullptr };
    SetHook([&](HWND hwnd, UINT message, WPARAM, LPARAM) -> std::optional<LRESULT> {
        if (hwnd == mainWindow && message == WM_USER + 1) // runs on the main thread
            return SendMessage(worker.load(), WM_USER + 2, 0, 0) + 1;
        if (message == WM_USER + 2) // runs on the worker while it waits for its own send
            return 41;
        return std::nullopt;
    });
    std::atomic<LRESULT> answer { 0 };
    std::thread thread([&] {
        HWND own = CreateWindowEx(0, kClass, L"worker", WS_POPUP, 0, 0, 10, 10, nullptr, 0, nullptr);
        worker = own;
        answer = SendMessage(mainWindow, WM_USER + 1, 0, 0);
        DestroyWindow(own);
        PostThreadMessage(owner, WM_QUIT, 0, 0);
    });
    RunMessageLoop();
    thread.join();
    EXPECT_EQ(answer, 42);
}

TEST_F(Threads, OnlyTheOwnerMayChangeAWindow)
{
    HWND w = Top(L"w");
    HWND child = Child(w, L"child", 1, WS_CHILD);
    std::thread([w, child] {
        EXPECT_FALSE(DestroyWindow(w));
        EXPECT_EQ(SetTimer(w, 1, 100), 0u);
        EXPECT_FALSE(ShowWindow(w, SW_SHOW));
        EXPECT_FALSE(SetWindowPos(w, nullptr, 1, 1, 1, 1, 0));
        EXPECT_FALSE(InvalidateRect(w, nullptr, true));
        EXPECT_EQ(CreateWindowEx(0, kClass, L"x", WS_CHILD, 0, 0, 1, 1, w, 0, nullptr), nullptr);
        EXPECT_EQ(SetWindowLongPtr(w, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(&DefWindowProc)), 0);
        // Queries are fine from any thread.
        EXPECT_TRUE(IsWindow(w));
        EXPECT_EQ(GetParent(child), w);
        EXPECT_EQ(static_cast<DWORD>(GetWindowLongPtr(w, GWL_STYLE)), WS_POPUP);
    }).join();
    EXPECT_TRUE(IsWindow(w));
}

TEST_F(Threads, AThreadThatEndsTakesItsWindowsWithIt)
{
    vx::log::Capture capture;
    HWND leftOver = nullptr;
    std::thread([&] {
        leftOver = CreateWindowEx(0, kClass, L"left", WS_POPUP, 0, 0, 10, 10, nullptr, 0, nullptr);
    }).join();
    EXPECT_FALSE(IsWindow(leftOver));
    EXPECT_FALSE(PostMessage(leftOver, WM_USER, 0, 0));
    EXPECT_EQ(SendMessage(leftOver, WM_USER, 0, 0), 0);
    EXPECT_FALSE(SendCall(leftOver, [] {}));
    EXPECT_EQ(capture.Lines(), std::vector<std::string> { "ui: a thread ended with 1 window(s) not destroyed" });
}

TEST_F(Threads, AdvancingTheManualClockWakesAThreadWaitingForItsTimer)
{
    std::promise<void> timerSet;
    auto ready = timerSet.get_future();
    std::atomic<UINT> got { 0 };
    std::thread waiter([&] {
        SetTimer(nullptr, 0, 100, {});
        timerSet.set_value();
        MSG msg;
        if (GetMessage(&msg, nullptr, 0, 0) > 0)
            got = msg.message;
    });
    ready.wait();
    mClock.Advance(100);
    waiter.join();
    EXPECT_EQ(got, WM_TIMER);
}

TEST_F(Threads, ABackendThatWaitsItselfIsPumpedAndWoken)
{
    struct Waiter {
        std::mutex mutex;
        std::condition_variable cv;
        bool woken = false;
        int waits = 0;
        int pumps = 0;
    } spy;
    auto backend = std::make_shared<Backend>();
    backend->name = "waiting";
    backend->PumpEvents = [&] {
        std::lock_guard lock(spy.mutex);
        ++spy.pumps;
    };
    backend->WaitEvents = [&](int) {
        std::unique_lock lock(spy.mutex);
        ++spy.waits;
        spy.cv.wait(lock, [&] { return spy.woken; });
        spy.woken = false;
    };
    backend->SendWakeup = [&](DWORD) {
        std::lock_guard lock(spy.mutex);
        spy.woken = true;
        spy.cv.notify_all();
    };
    auto previous = SetBackend(backend);
    HWND w = Top(L"w");
    std::thread poster([w] { PostMessage(w, WM_USER, 0, 0); });
    MSG msg;
    ASSERT_EQ(GetMessage(&msg, nullptr, 0, 0), 1);
    EXPECT_EQ(msg.message, WM_USER);
    poster.join();
    {
        std::lock_guard lock(spy.mutex);
        EXPECT_GE(spy.pumps, 1);
        EXPECT_LE(spy.waits, 1); // at most one wait, ended by the wakeup
    }
    DestroyWindow(w);
    SetBackend(previous);
}

} // namespace

namespace {

class Boundaries : public UiTest { };

TEST_F(Boundaries, AnExceptionFromAProcedureOrCallEndsAtTheWindowSystem)
{
    vx::log::Capture capture;
    HWND w = Top(L"w");
    SetHook([](HWND, UINT message, WPARAM, LPARAM) -> std::optional<LRESULT> {
        if (message == WM_USER)
            throw std::runtime_error("bad state");
        return std::nullopt;
    });
    EXPECT_EQ(SendMessage(w, WM_USER, 0, 0), 0);
    PostMessage(w, WM_USER, 0, 0);
    EXPECT_EQ(RunUntilIdle(), 1);
    const UINT_PTR timer = SetTimer(nullptr, 0, 10, [](HWND, UINT, UINT_PTR, DWORD) { throw 7; });
    RunFor(10);
    KillTimer(nullptr, timer);

    // A call sent from another thread that throws still releases the waiting sender.
    const DWORD owner = GetCurrentThreadId();
    std::atomic<bool> ran { false };
    std::thread sender([&] {
        ran = SendCall(w, [] { throw std::logic_error("call failed"); });
        PostThreadMessage(owner, WM_QUIT, 0, 0);
    });
    RunMessageLoop();
    sender.join();
    EXPECT_TRUE(ran);
    const std::vector<std::string> expected = {
        "ui: the window procedure for message 0x0400 threw: bad state",
        "ui: the window procedure for message 0x0400 threw: bad state",
        "ui: a timer callback threw an unknown exception",
        "ui: a call on the window's thread threw: call failed",
    };
    EXPECT_EQ(capture.Lines(), expected);
}

} // namespace
