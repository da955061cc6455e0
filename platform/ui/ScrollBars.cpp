#include "ui/ScrollBars.h"

#include <algorithm>

#include "ui/Backend.h"
#include "ui/Controls.h"
#include "ui/Desktop.h"
#include "ui/Input.h"
#include "ui/MessageQueue.h"
#include "ui/Paint.h"
#include "ui/Window.h"

namespace vx::ui {

namespace {

struct BarGeometry {
    Rect bar; // window coordinates
    Rect before, after; // the arrows
    Rect thumb;
    int trackStart = 0, trackLength = 0; // along the bar, between the arrows
};

bool Vertical(int bar)
{
    return bar == SB_VERT;
}

BarGeometry Geometry(HWND hwnd, int bar)
{
    BarGeometry g;
    g.bar = NonClientScrollBarRect(hwnd, bar);
    if (g.bar.IsEmpty())
        return g;
    const bool v = Vertical(bar);
    const int length = v ? g.bar.Height() : g.bar.Width();
    const int arrow = std::min(v ? g.bar.Width() : g.bar.Height(), length / 2);
    if (v) {
        g.before = { g.bar.left, g.bar.top, g.bar.right, g.bar.top + arrow };
        g.after = { g.bar.left, g.bar.bottom - arrow, g.bar.right, g.bar.bottom };
    } else {
        g.before = { g.bar.left, g.bar.top, g.bar.left + arrow, g.bar.bottom };
        g.after = { g.bar.right - arrow, g.bar.top, g.bar.right, g.bar.bottom };
    }
    g.trackStart = (v ? g.bar.top : g.bar.left) + arrow;
    g.trackLength = std::max(0, length - 2 * arrow);
    SCROLLINFO info;
    info.fMask = SIF_ALL;
    GetScrollInfo(hwnd, bar, &info);
    const long long range = static_cast<long long>(info.nMax) - info.nMin + 1;
    if (range <= 0 || g.trackLength <= 0 || (info.nPage && info.nPage >= range))
        return g; // nothing to scroll: no thumb
    const int minimum = std::min(g.trackLength, std::max(8, arrow / 2));
    const int size = info.nPage
        ? std::max<int>(minimum, static_cast<int>(g.trackLength * static_cast<long long>(info.nPage) / range))
        : minimum;
    const long long positions = range - std::max<long long>(static_cast<long long>(info.nPage) - 1, 0) - 1;
    const int offset
        = positions > 0 ? static_cast<int>((g.trackLength - size) * (info.nPos - info.nMin) / positions) : 0;
    const int from = g.trackStart + offset;
    g.thumb
        = v ? Rect { g.bar.left, from, g.bar.right, from + size } : Rect { from, g.bar.top, from + size, g.bar.bottom };
    return g;
}

int PositionAt(HWND hwnd, int bar, const BarGeometry& g, int along, int grab)
{
    SCROLLINFO info;
    info.fMask = SIF_ALL;
    GetScrollInfo(hwnd, bar, &info);
    const int size = Vertical(bar) ? g.thumb.Height() : g.thumb.Width();
    const long long range = static_cast<long long>(info.nMax) - info.nMin + 1;
    const long long positions = range - std::max<long long>(static_cast<long long>(info.nPage) - 1, 0) - 1;
    const int room = g.trackLength - size;
    if (room <= 0 || positions <= 0)
        return info.nMin;
    const int offset = std::clamp(along - grab - g.trackStart, 0, room);
    return static_cast<int>(info.nMin + (offset * positions + room / 2) / room);
}

} // namespace

int ScrollBarSize(HWND hwnd)
{
    return MulDiv(17, GetDpiForWindow(hwnd), 96);
}

Rect NonClientScrollBarRect(HWND hwnd, int bar)
{
    const auto style = static_cast<DWORD>(GetWindowLongPtr(hwnd, GWL_STYLE));
    Rect window, client;
    if (!GetWindowRect(hwnd, &window) || !GetClientRect(hwnd, &client))
        return {};
    Point origin {};
    ClientToScreen(hwnd, &origin);
    const Rect c = client.Offset(origin.x - window.left, origin.y - window.top);
    const int size = ScrollBarSize(hwnd);
    if (bar == SB_VERT && (style & WS_VSCROLL))
        return { c.right, c.top, std::min<int>(c.right + size, window.Width()), c.bottom };
    if (bar == SB_HORZ && (style & WS_HSCROLL))
        return { c.left, c.bottom, c.right, std::min<int>(c.bottom + size, window.Height()) };
    return {};
}

void PaintNonClientScrollBars(HWND hwnd)
{
    const Rect v = NonClientScrollBarRect(hwnd, SB_VERT), h = NonClientScrollBarRect(hwnd, SB_HORZ);
    if (v.IsEmpty() && h.IsEmpty())
        return;
    WindowDC dc(hwnd, true);
    if (!dc.HasTarget())
        return;
    for (int bar : { SB_VERT, SB_HORZ }) {
        const BarGeometry g = Geometry(hwnd, bar);
        if (g.bar.IsEmpty())
            continue;
        dc.FillSolidRect(g.bar, GetSysColor(COLOR_SCROLLBAR));
        theme::PaintScrollArrow(dc, g.before, Vertical(bar) ? 0 : 2, true);
        theme::PaintScrollArrow(dc, g.after, Vertical(bar) ? 1 : 3, true);
        if (!g.thumb.IsEmpty())
            theme::PaintButton(dc, g.thumb, theme::ButtonState::Normal, L"", Font {});
    }
    // The corner where both bars meet.
    if (!v.IsEmpty() && !h.IsEmpty())
        dc.FillSolidRect({ v.left, h.top, v.right, h.bottom }, GetSysColor(COLOR_BTNFACE));
}

void TrackNonClientScrollBar(HWND hwnd, int bar, Point screen)
{
    const BarGeometry g = Geometry(hwnd, bar);
    if (g.bar.IsEmpty())
        return;
    Rect window;
    GetWindowRect(hwnd, &window);
    const Point p { screen.x - window.left, screen.y - window.top };
    const UINT message = Vertical(bar) ? WM_VSCROLL : WM_HSCROLL;
    const auto scroll = [&](WPARAM code, int pos = 0) {
        SendMessage(hwnd, message, MAKEWPARAM(static_cast<unsigned>(code), static_cast<unsigned>(pos) & 0xFFFF), 0);
    };
    const int along = Vertical(bar) ? p.y : p.x;
    if (g.before.Contains(p)) {
        scroll(SB_LINEUP);
    } else if (g.after.Contains(p)) {
        scroll(SB_LINEDOWN);
    } else if (!g.thumb.IsEmpty() && g.thumb.Contains(p)) {
        // Dragging the thumb: the window follows with SB_THUMBTRACK until the button comes up.
        const int grab = along - (Vertical(bar) ? g.thumb.top : g.thumb.left);
        int pos = PositionAt(hwnd, bar, g, along, grab);
        SetCapture(hwnd);
        const bool canWait = GetBackend()->name != "headless";
        for (;;) {
            MSG m;
            if (!PeekMessage(&m, nullptr, WM_MOUSEMOVE, WM_LBUTTONUP, PM_REMOVE)
                && !PeekMessage(&m, nullptr, WM_NCMOUSEMOVE, WM_NCLBUTTONUP, PM_REMOVE)) {
                if (!canWait || GetCapture() != hwnd || GetMessage(&m, nullptr, WM_MOUSEMOVE, WM_LBUTTONUP) <= 0)
                    break;
            }
            // Client messages carry client coordinates, non-client ones the screen's.
            Point at { static_cast<short>(LOWORD(m.lParam)), static_cast<short>(HIWORD(m.lParam)) };
            if (m.message >= WM_MOUSEMOVE)
                ClientToScreen(m.hwnd, &at);
            else
                m.message = m.message - WM_NCMOUSEMOVE + WM_MOUSEMOVE;
            const int a = Vertical(bar) ? at.y - window.top : at.x - window.left;
            pos = PositionAt(hwnd, bar, g, a, grab);
            if (m.message == WM_LBUTTONUP)
                break;
            if (m.message == WM_MOUSEMOVE)
                scroll(SB_THUMBTRACK, pos);
        }
        if (GetCapture() == hwnd)
            ReleaseCapture();
        scroll(SB_THUMBPOSITION, pos);
    } else if (!g.thumb.IsEmpty()) {
        const int thumbStart = Vertical(bar) ? g.thumb.top : g.thumb.left;
        scroll(along < thumbStart ? SB_PAGEUP : SB_PAGEDOWN);
    } else {
        return;
    }
    scroll(SB_ENDSCROLL);
}

} // namespace vx::ui
