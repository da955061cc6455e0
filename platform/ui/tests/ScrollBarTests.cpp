// The scroll bars of a window's frame: room beside the client area, painted from the scroll
// information, and clicks on arrows, trough and thumb turned into WM_VSCROLL / WM_HSCROLL.
#include <gtest/gtest.h>

#include <vector>

#include "ui/Controls.h"
#include "ui/EventLoop.h"
#include "ui/Input.h"
#include "ui/Paint.h"
#include "ui/ScrollBars.h"
#include "ui/Window.h"

using namespace vx::ui;

namespace {

struct Scroll {
    UINT message;
    WPARAM code;
    int pos;
    friend bool operator==(const Scroll&, const Scroll&) = default;
};
std::vector<Scroll> gScrolls;

LRESULT ScrolledProc(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam)
{
    if (message == WM_VSCROLL || message == WM_HSCROLL) {
        gScrolls.push_back({ message, LOWORD(wParam), static_cast<short>(HIWORD(wParam)) });
        return 0;
    }
    if (message == WM_PAINT) {
        PaintDC dc(hwnd);
        Rect r;
        GetClientRect(hwnd, &r);
        dc.FillSolidRect(r, Colour::Rgb(255, 255, 255));
        return 0;
    }
    return DefWindowProc(hwnd, message, wParam, lParam);
}

std::ostream& operator<<(std::ostream& out, const Scroll& s)
{
    return out << (s.message == WM_VSCROLL ? "V" : "H") << " code " << s.code << " pos " << s.pos;
}

TEST(FrameScrollBars, TakeRoomPaintAndTurnClicksIntoScrollMessages)
{
    RegisterClass({ L"Scrolled", 0, ScrolledProc });
    HWND hwnd = CreateWindowEx(
        0, L"Scrolled", L"", WS_POPUP | WS_VISIBLE | WS_VSCROLL | WS_HSCROLL, 100, 100, 217, 117, nullptr, 0, nullptr);
    ASSERT_TRUE(hwnd);
    Rect client;
    GetClientRect(hwnd, &client);
    EXPECT_EQ(client, (Rect { 0, 0, 200, 100 })); // 17 pixels for each bar at 96 DPI
    EXPECT_EQ(NonClientScrollBarRect(hwnd, SB_VERT), (Rect { 200, 0, 217, 100 }));
    EXPECT_EQ(NonClientScrollBarRect(hwnd, SB_HORZ), (Rect { 0, 100, 200, 117 }));

    SCROLLINFO info;
    info.fMask = SIF_RANGE | SIF_PAGE | SIF_POS;
    info.nMin = 0;
    info.nMax = 99;
    info.nPage = 20; // the thumb: a fifth of the track between the arrows (100 - 2 x 17 = 66)
    info.nPos = 0;
    SetScrollInfo(hwnd, SB_VERT, info, true);
    RunUntilIdle();
    BitmapPtr image = CaptureWindow(hwnd);
    ASSERT_TRUE(image);
    EXPECT_EQ(image->Pixel(100, 50), Colour::Rgb(255, 255, 255)); // the client area
    EXPECT_EQ(image->Pixel(208, 17 + 66 - 5), GetSysColor(COLOR_SCROLLBAR)); // trough below the thumb
    EXPECT_NE(image->Pixel(208, 17 + 5), GetSysColor(COLOR_SCROLLBAR)); // the thumb at the top
    EXPECT_EQ(image->Pixel(100, 108), GetSysColor(COLOR_SCROLLBAR)); // the horizontal bar's trough

    // Clicks (top-level client coordinates, outside the client area): arrows, trough, thumb.
    auto click = [&](Point p) {
        InjectMouse(hwnd, WM_LBUTTONDOWN, p, MK_LBUTTON);
        InjectMouse(hwnd, WM_LBUTTONUP, p);
        RunUntilIdle();
    };
    gScrolls.clear();
    click({ 208, 95 }); // the down arrow
    click({ 208, 5 }); // the up arrow
    click({ 208, 70 }); // the trough below the thumb
    click({ 5, 108 }); // the left arrow of the other bar
    const std::vector<Scroll> clicks = {
        { WM_VSCROLL, SB_LINEDOWN, 0 },
        { WM_VSCROLL, SB_ENDSCROLL, 0 },
        { WM_VSCROLL, SB_LINEUP, 0 },
        { WM_VSCROLL, SB_ENDSCROLL, 0 },
        { WM_VSCROLL, SB_PAGEDOWN, 0 },
        { WM_VSCROLL, SB_ENDSCROLL, 0 },
        { WM_HSCROLL, SB_LINEUP, 0 },
        { WM_HSCROLL, SB_ENDSCROLL, 0 },
    };
    EXPECT_EQ(gScrolls, clicks);

    // Dragging the thumb down by half the room it has (66 - 13 = 53 pixels, 80 positions)
    // tracks it, then sets the position where the button comes up.
    gScrolls.clear();
    InjectMouse(hwnd, WM_LBUTTONDOWN, { 208, 20 }, MK_LBUTTON);
    InjectMouse(hwnd, WM_MOUSEMOVE, { 208, 30 }, MK_LBUTTON);
    InjectMouse(hwnd, WM_MOUSEMOVE, { 208, 46 }, MK_LBUTTON);
    InjectMouse(hwnd, WM_LBUTTONUP, { 208, 46 });
    RunUntilIdle();
    ASSERT_EQ(gScrolls.size(), 4u);
    EXPECT_EQ(gScrolls[0].code, SB_THUMBTRACK);
    EXPECT_EQ(gScrolls[1].code, SB_THUMBTRACK);
    EXPECT_LT(gScrolls[0].pos, gScrolls[1].pos);
    EXPECT_EQ(gScrolls[2], (Scroll { WM_VSCROLL, SB_THUMBPOSITION, gScrolls[1].pos }));
    EXPECT_NEAR(gScrolls[2].pos, 26 * 80 / 53, 1);
    EXPECT_EQ(gScrolls[3].code, SB_ENDSCROLL);
    EXPECT_FALSE(GetCapture());

    DestroyWindow(hwnd);
    UnregisterClass(L"Scrolled");
}

} // namespace
