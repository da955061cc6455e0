// The tooltip control's tools: the tip of the tool the mouse rests on shows after the initial
// delay, changes with the tool, and goes at a click, when the mouse leaves every tool, or after
// the pop-up delay.
#include <gtest/gtest.h>

#include "ui/Clock.h"
#include "ui/Controls.h"
#include "ui/EventLoop.h"
#include "ui/MessageQueue.h"
#include "ui/Resources.h"
#include "ui/Tooltip.h"
#include "ui/Window.h"

using namespace vx::ui;

namespace {

TEST(TooltipTools, TheTipOfTheToolUnderTheRestingMouseShowsAfterTheDelay)
{
    ManualClock clock;
    Clock* previous = SetClock(&clock);
    InitCommonControls();
    RegisterClass({ L"ToolOwner", 0, &DefWindowProc });
    HWND owner = CreateWindowEx(0, L"ToolOwner", L"", WS_POPUP | WS_VISIBLE, 0, 0, 300, 100, nullptr, 0, nullptr);
    HWND button = CreateWindowEx(0, kButtonClass, L"B", WS_CHILD | WS_VISIBLE, 200, 10, 40, 20, owner, 5, nullptr);
    HWND tip = CreateWindowEx(WS_EX_TOPMOST, kTooltipClass, L"", WS_POPUP, 0, 0, 0, 0, owner, 0, nullptr);
    ASSERT_TRUE(tip);

    TOOLINFOW left;
    left.hwnd = owner;
    left.uId = 1;
    left.rect = { 0, 0, 100, 100 };
    left.text = L"Start Sampling";
    TOOLINFOW whole;
    whole.uFlags = TTF_IDISHWND;
    whole.hwnd = owner;
    whole.uId = reinterpret_cast<UINT_PTR>(button);
    whole.text = L"Varn View";
    EXPECT_EQ(SendMessage(tip, TTM_ADDTOOLW, 0, reinterpret_cast<LPARAM>(&left)), 1);
    EXPECT_EQ(SendMessage(tip, TTM_ADDTOOLW, 0, reinterpret_cast<LPARAM>(&whole)), 1);
    EXPECT_EQ(SendMessage(tip, TTM_ADDTOOLW, 0, reinterpret_cast<LPARAM>(&left)), 0); // once only
    EXPECT_EQ(SendMessage(tip, TTM_GETTOOLCOUNT, 0, 0), 2);

    auto relay = [&](HWND window, UINT message, Point p) {
        MSG m { window, message, 0, MAKELPARAM(static_cast<unsigned>(p.x), static_cast<unsigned>(p.y)), 0 };
        SendMessage(tip, TTM_RELAYEVENT, 0, reinterpret_cast<LPARAM>(&m));
    };
    relay(owner, WM_MOUSEMOVE, { 50, 50 });
    RunFor(400);
    EXPECT_FALSE(IsWindowVisible(tip)); // not yet
    relay(owner, WM_MOUSEMOVE, { 52, 50 }); // still the same tool: the delay keeps running
    RunFor(100);
    EXPECT_TRUE(IsWindowVisible(tip));
    EXPECT_EQ(GetWindowText(tip), L"Start Sampling");

    // The text changes while shown; a click hides it.
    left.text = L"No Trivane available - sampling is disabled";
    SendMessage(tip, TTM_UPDATETIPTEXTW, 0, reinterpret_cast<LPARAM>(&left));
    EXPECT_EQ(GetWindowText(tip), left.text);
    relay(owner, WM_LBUTTONDOWN, { 52, 50 });
    EXPECT_FALSE(IsWindowVisible(tip));

    // Another tool (a whole window) after its own delay; the pop-up delay ends it.
    relay(button, WM_MOUSEMOVE, { 3, 3 });
    RunFor(500);
    EXPECT_TRUE(IsWindowVisible(tip));
    EXPECT_EQ(GetWindowText(tip), L"Varn View");
    RunFor(5000);
    EXPECT_FALSE(IsWindowVisible(tip));

    // Outside every tool nothing shows; a deleted tool shows no more.
    relay(owner, WM_MOUSEMOVE, { 150, 50 });
    RunFor(1000);
    EXPECT_FALSE(IsWindowVisible(tip));
    SendMessage(tip, TTM_DELTOOLW, 0, reinterpret_cast<LPARAM>(&left));
    relay(owner, WM_MOUSEMOVE, { 50, 50 });
    RunFor(1000);
    EXPECT_FALSE(IsWindowVisible(tip));
    EXPECT_EQ(SendMessage(tip, TTM_GETTOOLCOUNT, 0, 0), 1);

    DestroyWindow(owner);
    UnregisterClass(L"ToolOwner");
    SetClock(previous);
}

} // namespace
