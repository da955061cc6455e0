#pragma once
// Painting windows. Every top-level window keeps an image of itself (its window rectangle); a
// window and its children paint into it through contexts whose origin is the window's client
// origin and whose clip is its client area, and the backend shows the image.
#include "ui/Gdi.h"
#include "ui/Messages.h"

namespace vx::ui {

// BeginPaint/EndPaint: the paint area is the window's update area, validated when the context
// goes; the backend is told which part of the image changed.
class PaintDC : public DC {
public:
    explicit PaintDC(HWND hwnd);
    ~PaintDC() override;
    const Rect& PaintRect() const { return mPaint; } // client coordinates
    bool Erase() const { return mErase; }

private:
    HWND mWindow;
    Rect mPaint;
    bool mErase = false;
};

// GetDC: the client area, without validating anything; GetWindowDC (`wholeWindow`): the window
// rectangle, frame included, in window coordinates.
class WindowDC : public DC {
public:
    explicit WindowDC(HWND hwnd, bool wholeWindow = false);
    ~WindowDC() override;

private:
    HWND mWindow;
    Rect mArea;
};

// The image of a top-level window (null for a child or a stale handle).
BitmapPtr GetWindowImage(HWND hwnd);
// Paints what needs painting and gives a copy of the window's image (tests, screenshots).
BitmapPtr CaptureWindow(HWND hwnd);

// Scrolls the pixels of a client area by (dx, dy) and invalidates what was uncovered; `scroll`
// limits the moved area (null: the whole client area). Children move with the pixels when
// `moveChildren`.
bool ScrollWindowEx(HWND hwnd, int dx, int dy, const Rect* scroll, bool moveChildren = false);

// Window regions: the window's shape in window coordinates (pixels outside are not the window's:
// hit testing passes them by and the backend shows them transparent). Null removes it.
bool SetWindowRgn(HWND hwnd, const Region* region, bool redraw);
bool GetWindowRgn(HWND hwnd, Region* region);

} // namespace vx::ui
