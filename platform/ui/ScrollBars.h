#pragma once
// The scroll bars of a window's own frame (WS_HSCROLL, WS_VSCROLL): the default window handling
// keeps room for them beside the client area, paints them from the window's scroll information
// (SetScrollInfo with SB_HORZ / SB_VERT), and turns clicks on them into WM_HSCROLL / WM_VSCROLL:
// the arrows scroll by a line, the trough by a page, and dragging the thumb tracks it.
#include "ui/Messages.h"

namespace vx::ui {

constexpr UINT WM_NCMOUSEMOVE = 0x00A0, WM_NCLBUTTONDOWN = 0x00A1, WM_NCLBUTTONUP = 0x00A2;
constexpr LRESULT HTHSCROLL = 6, HTVSCROLL = 7;

// The width of a vertical bar (and height of a horizontal one) at the window's DPI.
int ScrollBarSize(HWND hwnd);
// The bar's rectangle in window coordinates; empty when the window has no such bar.
Rect NonClientScrollBarRect(HWND hwnd, int bar);
// The default handling of the frame's bars (called by DefWindowProc).
void PaintNonClientScrollBars(HWND hwnd);
void TrackNonClientScrollBar(HWND hwnd, int bar, Point screen);

} // namespace vx::ui
