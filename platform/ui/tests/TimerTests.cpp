#include "MessageLog.h"

using namespace uitest;

namespace {

class Timers : public UiTest { };

TEST_F(Timers, APeriodicTimerTicksOncePerDueTimeAndSkipsMissedPeriods)
{
    HWND w = Top(L"w");
    Take();
    const std::uint64_t start = mClock.NowMs();
    ASSERT_EQ(SetTimer(w, 1, 100), 1u);
    struct Step {
        std::uint64_t advance;
        int ticks;
    };
    static const Step kSteps[] = {
        { 99, 0 }, // not yet due
        { 1, 1 }, // due at +100
        { 250, 1 }, // +350: the ticks due at +200 and +300 come as one
        { 49, 0 }, // +399: the next is due at +400, keeping the phase
        { 1, 1 },
    };
    for (const auto& step : kSteps) {
        mClock.Advance(step.advance);
        RunUntilIdle();
        int ticks = 0;
        for (const auto& r : Take()) {
            EXPECT_EQ(r.message, WM_TIMER);
            EXPECT_EQ(r.wParam, 1u);
            ++ticks;
        }
        EXPECT_EQ(ticks, step.ticks) << "at +" << mClock.NowMs() - start;
    }
}

TEST_F(Timers, RunForDeliversEveryTickOfTheSpanAtItsTime)
{
    HWND w = Top(L"w");
    const std::uint64_t start = mClock.NowMs();
    std::vector<DWORD> times;
    SetHook([&](HWND, UINT message, WPARAM wParam, LPARAM) -> std::optional<LRESULT> {
        if (message == WM_TIMER)
            times.push_back(static_cast<DWORD>(mClock.NowMs() - start) * 10 + static_cast<DWORD>(wParam));
        return std::nullopt;
    });
    SetTimer(w, 1, 100);
    SetTimer(w, 2, 250);
    RunFor(500);
    // time * 10 + timer id
    const std::vector<DWORD> expected = { 1001, 2001, 2502, 3001, 4001, 5001, 5002 };
    EXPECT_EQ(times, expected);
    EXPECT_EQ(mClock.NowMs() - start, 500u);
}

TEST_F(Timers, KilledAndResetTimers)
{
    HWND w = Top(L"w");
    SetHook([&](HWND hwnd, UINT message, WPARAM wParam, LPARAM) -> std::optional<LRESULT> {
        if (message == WM_TIMER && wParam == 3)
            KillTimer(hwnd, 3); // a one-shot: kills itself in its first tick
        return std::nullopt;
    });
    SetTimer(w, 1, 100);
    SetTimer(w, 2, 100);
    SetTimer(w, 3, 100);
    EXPECT_TRUE(KillTimer(w, 2));
    EXPECT_FALSE(KillTimer(w, 2));
    EXPECT_FALSE(KillTimer(w, 99));
    mClock.Advance(50);
    EXPECT_EQ(SetTimer(w, 1, 300), 1u); // re-set: new period counted from now
    RunFor(1000);
    std::vector<WPARAM> ids;
    for (const auto& r : Take())
        if (r.message == WM_TIMER)
            ids.push_back(r.wParam);
    // Timer 3 at +100 only; timer 1 at +350, +650, +950 of the 1050 ms run.
    EXPECT_EQ(ids, (std::vector<WPARAM> { 3, 1, 1, 1 }));
}

TEST_F(Timers, TimersDieWithTheirWindow)
{
    HWND parent = Top(L"parent");
    HWND child = Child(parent, L"child", 1, WS_CHILD);
    HWND other = Top(L"other");
    SetTimer(parent, 1, 100);
    SetTimer(child, 1, 100);
    SetTimer(other, 1, 100);
    mClock.Advance(100);
    // One tick already taken out of the queue before the window goes: dispatching it does nothing.
    MSG pending;
    ASSERT_TRUE(PeekMessage(&pending, child, WM_TIMER, WM_TIMER, PM_REMOVE));
    EXPECT_EQ(pending.hwnd, child);
    DestroyWindow(parent);
    Take();
    EXPECT_EQ(DispatchMessage(&pending), 0);
    RunUntilIdle();
    static const Expected kSequence[] = { { "other", WM_TIMER, kW, 1 } };
    EXPECT_TRUE(SequenceIs(Take(), kSequence));
    EXPECT_FALSE(KillTimer(parent, 1));
}

TEST_F(Timers, PostedMessagesComeBeforeTimersAndTimersRespectFilters)
{
    HWND a = Top(L"a");
    HWND b = Top(L"b");
    SetTimer(a, 1, 100);
    mClock.Advance(100);
    PostMessage(b, WM_USER, 0, 0);
    Take();
    MSG msg;
    EXPECT_FALSE(PeekMessage(&msg, b, WM_TIMER, WM_TIMER, PM_NOREMOVE));
    ASSERT_TRUE(PeekMessage(&msg, a, 0, 0, PM_NOREMOVE)); // without removal the timer stays due
    EXPECT_EQ(msg.message, WM_TIMER);
    RunUntilIdle();
    static const Expected kSequence[] = { { "b", WM_USER }, { "a", WM_TIMER, kW, 1 } };
    EXPECT_TRUE(SequenceIs(Take(), kSequence));
}

TEST_F(Timers, WindowlessTimersCallTheirCallbackAndCanBeReplacedById)
{
    std::vector<std::pair<int, UINT_PTR>> calls;
    const UINT_PTR id = SetTimer(nullptr, 0, 100, [&](HWND hwnd, UINT message, UINT_PTR timerId, DWORD) {
        EXPECT_EQ(hwnd, nullptr);
        EXPECT_EQ(message, WM_TIMER);
        calls.emplace_back(1, timerId);
    });
    ASSERT_NE(id, 0u);
    const UINT_PTR second
        = SetTimer(nullptr, 0, 100, [&](HWND, UINT, UINT_PTR timerId, DWORD) { calls.emplace_back(2, timerId); });
    EXPECT_NE(second, id);
    RunFor(100);
    EXPECT_EQ(calls, (std::vector<std::pair<int, UINT_PTR>> { { 1, id }, { 2, second } }));
    calls.clear();
    // Starting a running timer again by its id replaces its period and callback, keeping one timer.
    EXPECT_EQ(
        SetTimer(nullptr, id, 300, [&](HWND, UINT, UINT_PTR timerId, DWORD) { calls.emplace_back(3, timerId); }), id);
    EXPECT_TRUE(KillTimer(nullptr, second));
    RunFor(600);
    EXPECT_EQ(calls, (std::vector<std::pair<int, UINT_PTR>> { { 3, id }, { 3, id } }));
    EXPECT_TRUE(KillTimer(nullptr, id));
    EXPECT_FALSE(KillTimer(nullptr, id));
}

TEST_F(Timers, PeriodsAreClampedToTheSupportedRange)
{
    struct Case {
        UINT requested;
        std::uint64_t firstTick;
    };
    static const Case kCases[] = {
        { 0, USER_TIMER_MINIMUM },
        { 1, USER_TIMER_MINIMUM },
        { 0xFFFFFFFFu, USER_TIMER_MAXIMUM },
        { 0x80000000u, USER_TIMER_MAXIMUM },
        { USER_TIMER_MAXIMUM, USER_TIMER_MAXIMUM },
    };
    for (const auto& c : kCases) {
        int ticks = 0;
        const UINT_PTR id = SetTimer(nullptr, 0, c.requested, [&](HWND, UINT, UINT_PTR, DWORD) { ++ticks; });
        mClock.Advance(c.firstTick - 1);
        RunUntilIdle();
        EXPECT_EQ(ticks, 0) << c.requested;
        mClock.Advance(1);
        RunUntilIdle();
        EXPECT_EQ(ticks, 1) << c.requested;
        KillTimer(nullptr, id);
    }
}

TEST_F(Timers, AForgedTimerMessageCallsNothing)
{
    int ticks = 0;
    const UINT_PTR id = SetTimer(nullptr, 0, 100, [&](HWND, UINT, UINT_PTR, DWORD) { ++ticks; });
    MSG forged { nullptr, WM_TIMER, id, 0x12345678, 0 };
    EXPECT_EQ(DispatchMessage(&forged), 0);
    EXPECT_EQ(ticks, 0);
    KillTimer(nullptr, id);
}

} // namespace
