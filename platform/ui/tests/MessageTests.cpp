#include "MessageLog.h"

using namespace uitest;

namespace {

class Messages : public UiTest { };

TEST_F(Messages, SendRunsAtOncePostRunsLaterInOrder)
{
    HWND a = Top(L"a");
    HWND b = Top(L"b");
    // While handling WM_USER+2, the window posts one message and sends another: the sent one nests
    // inside, the posted one waits behind what was posted before.
    SetHook([&](HWND hwnd, UINT message, WPARAM, LPARAM) -> std::optional<LRESULT> {
        if (hwnd == a && message == WM_USER + 2) {
            PostMessage(b, WM_USER + 4, 0, 0);
            SendMessage(b, WM_USER + 5, 0, 0);
            return 22;
        }
        return std::nullopt;
    });
    Take();
    EXPECT_TRUE(PostMessage(a, WM_USER + 1, 1, 2));
    EXPECT_EQ(SendMessage(a, WM_USER + 2, 3, 4), 22);
    Mark("sent");
    EXPECT_TRUE(PostMessage(b, WM_USER + 3, 5, 6));
    EXPECT_EQ(RunUntilIdle(), 3);
    Mark("idle");
    static const Expected kSequence[] = {
        { "a", WM_USER + 2, kW | kL, 3, 4 },
        { "b", WM_USER + 5 },
        { "sent", kMarker },
        { "a", WM_USER + 1, kW | kL, 1, 2 },
        { "b", WM_USER + 4 },
        { "b", WM_USER + 3, kW | kL, 5, 6 },
        { "idle", kMarker },
    };
    EXPECT_TRUE(SequenceIs(Take(), kSequence));
}

TEST_F(Messages, PeekFiltersByWindowTreeAndRange)
{
    HWND parent = Top(L"parent");
    HWND child = Child(parent, L"child", 1, WS_CHILD);
    HWND other = Top(L"other");
    PostMessage(other, WM_USER + 2, 0, 0);
    PostMessage(child, WM_USER + 1, 0, 0);
    PostThreadMessage(GetCurrentThreadId(), WM_USER + 3, 0, 0);
    const HWND threadOnly = reinterpret_cast<HWND>(-1);
    struct Case {
        HWND filter;
        UINT first;
        UINT last;
        HWND window;
        UINT message; // 0: nothing matches
    };
    const Case kCases[] = {
        { nullptr, 0, 0, other, WM_USER + 2 },
        { parent, 0, 0, child, WM_USER + 1 }, // a child's message passes its parent's filter
        { child, 0, 0, child, WM_USER + 1 },
        { threadOnly, 0, 0, nullptr, WM_USER + 3 },
        { nullptr, WM_USER + 3, WM_USER + 9, nullptr, WM_USER + 3 },
        { other, WM_USER + 1, WM_USER + 1, nullptr, 0 },
        { child, WM_USER + 2, WM_USER + 3, nullptr, 0 },
    };
    for (const auto& c : kCases) {
        MSG msg;
        const bool found = PeekMessage(&msg, c.filter, c.first, c.last, PM_NOREMOVE);
        EXPECT_EQ(found, c.message != 0) << "filter " << c.filter << " range " << c.first << "-" << c.last;
        if (found && c.message != 0) {
            EXPECT_EQ(msg.hwnd, c.window);
            EXPECT_EQ(msg.message, c.message);
        }
    }
    // Nothing was removed: each message is still there, and PM_REMOVE takes it away.
    MSG msg;
    ASSERT_TRUE(PeekMessage(&msg, child, 0, 0, PM_REMOVE));
    EXPECT_FALSE(PeekMessage(&msg, child, 0, 0, PM_NOREMOVE));
    EXPECT_EQ(RunUntilIdle(), 2);
    Take();
}

TEST_F(Messages, QuitComesAfterPostedMessagesAndPassesEveryFilter)
{
    HWND a = Top(L"a");
    PostQuitMessage(3);
    PostMessage(a, WM_USER, 0, 0);
    MSG msg;
    ASSERT_TRUE(PeekMessage(&msg, nullptr, 0, 0, PM_NOREMOVE));
    EXPECT_EQ(msg.message, WM_USER);
    ASSERT_TRUE(PeekMessage(&msg, a, WM_PAINT, WM_PAINT, PM_NOREMOVE)); // filter excludes WM_USER
    EXPECT_EQ(msg.message, WM_QUIT);
    // RunUntilIdle stops at WM_QUIT and leaves it for the loop.
    EXPECT_EQ(RunUntilIdle(), 1);
    EXPECT_EQ(RunUntilIdle(), 0);
    EXPECT_EQ(GetMessage(&msg, nullptr, 0, 0), 0);
    EXPECT_EQ(msg.wParam, 3u);
    EXPECT_FALSE(PeekMessage(&msg, nullptr, 0, 0, PM_REMOVE));
    EXPECT_EQ(GetMessage(&msg, reinterpret_cast<HWND>(0x999), 0, 0), -1);
}

TEST_F(Messages, RunMessageLoopEndsWithTheQuitCode)
{
    HWND a = Top(L"a");
    SetHook([](HWND, UINT message, WPARAM wParam, LPARAM) -> std::optional<LRESULT> {
        if (message == WM_USER)
            PostQuitMessage(static_cast<int>(wParam));
        return std::nullopt;
    });
    PostMessage(a, WM_USER, 17, 0);
    EXPECT_EQ(RunMessageLoop(), 17);
}

TEST_F(Messages, PaintComesAfterPostedMessagesOnceUntilValidated)
{
    HWND top = Top(L"top", WS_POPUP | WS_VISIBLE, { 0, 0, 100, 100 });
    RunUntilIdle(); // the paint of the first show
    Take();
    const Rect dirty { 5, 5, 10, 10 };
    InvalidateRect(top, &dirty, true);
    const Rect outside { 200, 200, 300, 300 };
    InvalidateRect(top, &outside, true); // clipped away
    Rect update;
    ASSERT_TRUE(GetUpdateRect(top, &update, false));
    EXPECT_EQ(update, dirty);
    PostMessage(top, WM_USER, 0, 0);
    EXPECT_EQ(RunUntilIdle(), 2);
    static const Expected kSequence[] = { { "top", WM_USER }, { "top", WM_PAINT } };
    EXPECT_TRUE(SequenceIs(Take(), kSequence));
    EXPECT_FALSE(GetUpdateRect(top, nullptr, false));

    // A procedure that does not validate is asked again; UpdateWindow paints at once.
    SetHook([](HWND, UINT message, WPARAM, LPARAM) -> std::optional<LRESULT> {
        if (message == WM_PAINT)
            return 0;
        return std::nullopt;
    });
    InvalidateRect(top, nullptr, false);
    MSG msg;
    ASSERT_TRUE(PeekMessage(&msg, nullptr, 0, 0, PM_REMOVE));
    DispatchMessage(&msg);
    ASSERT_TRUE(PeekMessage(&msg, nullptr, 0, 0, PM_REMOVE));
    EXPECT_EQ(msg.message, WM_PAINT);
    SetHook({});
    Take();
    UpdateWindow(top);
    static const Expected kUpdate[] = { { "top", WM_PAINT } };
    EXPECT_TRUE(SequenceIs(Take(), kUpdate));
    EXPECT_FALSE(PeekMessage(&msg, nullptr, 0, 0, PM_NOREMOVE));
}

TEST_F(Messages, HiddenWindowsAreNotPainted)
{
    HWND top = Top(L"top", WS_POPUP, { 0, 0, 100, 100 });
    HWND child = Child(top, L"child", 1, WS_CHILD | WS_VISIBLE);
    InvalidateRect(child, nullptr, true);
    EXPECT_FALSE(GetUpdateRect(child, nullptr, false));
    Take();
    ShowWindow(top, SW_SHOW);
    InvalidateRect(child, nullptr, true);
    RunUntilIdle();
    auto got = Take();
    EXPECT_EQ(std::count_if(got.begin(), got.end(), [](const Recorded& r) { return r.message == WM_PAINT; }), 2);
    ShowWindow(child, SW_HIDE);
    InvalidateRect(top, nullptr, true);
    ShowWindow(top, SW_HIDE);
    Take();
    EXPECT_EQ(RunUntilIdle(), 0);
}

TEST_F(Messages, MessagesOfADestroyedWindowAreDropped)
{
    HWND a = Top(L"a");
    PostMessage(a, WM_USER, 0, 0);
    MSG retrieved;
    PostMessage(a, WM_USER + 1, 0, 0);
    ASSERT_TRUE(PeekMessage(&retrieved, nullptr, 0, 0, PM_REMOVE));
    DestroyWindow(a);
    Take();
    EXPECT_EQ(DispatchMessage(&retrieved), 0);
    EXPECT_EQ(RunUntilIdle(), 0);
    EXPECT_TRUE(Take().empty());
}

TEST_F(Messages, PostCallRunsInOrderWithSentMessagesAndIsDroppedWithItsWindow)
{
    HWND a = Top(L"a");
    int calls = 0;
    EXPECT_TRUE(SendCall(a, [&] { ++calls; })); // same thread: at once
    EXPECT_EQ(calls, 1);
    EXPECT_TRUE(PostCall(a, [&] { ++calls; }));
    EXPECT_EQ(calls, 1);
    RunUntilIdle();
    EXPECT_EQ(calls, 2);
    EXPECT_TRUE(PostCall(a, [&] { ++calls; }));
    DestroyWindow(a);
    RunUntilIdle();
    EXPECT_EQ(calls, 2);
    EXPECT_FALSE(PostCall(a, [&] { ++calls; }));
}

} // namespace
