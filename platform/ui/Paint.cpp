#include "ui/Paint.h"

#include <cstring>

#include "ui/MessageQueue.h"
#include "ui/Window.h"
#include "ui/WindowSystemState.h"

namespace vx::ui {

using detail::Lock;

namespace {

struct Target {
    HWND root = nullptr;
    BitmapPtr image;
    Point clientOrigin; // in the root's image
    Rect clientArea; // in the root's image
};

// The root's image, made or resized to the root's window rectangle, and where the window's client
// area lies in it.
Target TargetLocked(HWND hwnd, bool wholeWindow)
{
    Target t;
    detail::Window* window = detail::FindWindowLocked(hwnd);
    if (!window)
        return t;
    detail::Window* root = window;
    Point origin = window->clientRect.TopLeft();
    Point windowOrigin = window->windowRect.TopLeft();
    while (root->parent) {
        detail::Window* parent = detail::FindWindowLocked(root->parent);
        if (!parent)
            return t;
        origin = origin.Offset(parent->clientRect.left, parent->clientRect.top);
        windowOrigin = windowOrigin.Offset(parent->clientRect.left, parent->clientRect.top);
        root = parent;
    }
    // Offsets so far are screen-relative for the root: make them relative to its window rectangle.
    origin = origin.Offset(-root->windowRect.left, -root->windowRect.top);
    windowOrigin = windowOrigin.Offset(-root->windowRect.left, -root->windowRect.top);
    const Size size = root->windowRect.GetSize();
    if (!root->image || root->image->GetSize() != size) {
        BitmapPtr fresh = Bitmap::Create(std::max(1, size.cx), std::max(1, size.cy));
        if (fresh && root->image) {
            DC copy(fresh);
            copy.BitBlt(Rect::FromPointSize({}, root->image->GetSize()), root->image, {});
        }
        root->image = fresh;
    }
    t.root = root->handle;
    t.image = root->image;
    if (wholeWindow) {
        t.clientOrigin = windowOrigin;
        t.clientArea = Rect::FromPointSize(windowOrigin, window->windowRect.GetSize());
    } else {
        t.clientOrigin = origin;
        t.clientArea = Rect::FromPointSize(origin, window->clientRect.GetSize());
    }
    // A child shows only inside its ancestors' client areas.
    for (detail::Window* w = window; w->parent;) {
        detail::Window* parent = detail::FindWindowLocked(w->parent);
        Point po = parent->clientRect.TopLeft();
        for (detail::Window* a = parent; a->parent;) {
            detail::Window* ap = detail::FindWindowLocked(a->parent);
            po = po.Offset(ap->clientRect.left, ap->clientRect.top);
            a = ap;
        }
        po = po.Offset(-root->windowRect.left, -root->windowRect.top);
        t.clientArea = t.clientArea.Intersect(Rect::FromPointSize(po, parent->clientRect.GetSize()));
        w = parent;
    }
    return t;
}

void Notify(HWND root, const Rect& area)
{
    auto backend = detail::BackendSnapshot();
    if (backend->WindowPainted && root && !area.IsEmpty())
        backend->WindowPainted(root, area);
}

} // namespace

PaintDC::PaintDC(HWND hwnd)
    : DC(nullptr)
    , mWindow(hwnd)
{
    Target t;
    {
        Lock lock(detail::GetState().lock);
        t = TargetLocked(hwnd, false);
        if (detail::Window* w = detail::FindWindowLocked(hwnd)) {
            mPaint = w->update;
            mErase = w->erase;
        }
    }
    if (!t.image)
        return;
    SelectBitmap(t.image);
    const Rect clip = mPaint.Offset(t.clientOrigin.x, t.clientOrigin.y).Intersect(t.clientArea);
    Region area(clip);
    // WS_CLIPCHILDREN: the visible children keep their pixels.
    if (GetWindowLongPtr(hwnd, GWL_STYLE) & WS_CLIPCHILDREN) {
        for (HWND child = GetWindow(hwnd, GW_CHILD); child; child = GetWindow(child, GW_HWNDNEXT)) {
            Rect r;
            if (!IsWindowVisible(child) || !GetWindowRect(child, &r))
                continue;
            Point p = r.TopLeft();
            ScreenToClient(hwnd, &p);
            area = Region::Combine(area,
                Region(Rect::FromPointSize(p, r.GetSize()).Offset(t.clientOrigin.x, t.clientOrigin.y)), RegionOp::Diff);
        }
    }
    SelectClipRegion(area);
    SetViewportOrg(t.clientOrigin);
}

PaintDC::~PaintDC()
{
    Flush();
    ValidateRect(mWindow, nullptr);
    HWND root = GetAncestor(mWindow, GA_ROOT);
    if (auto clip = GetClipRegion())
        Notify(root, clip->Bounds());
}

WindowDC::WindowDC(HWND hwnd, bool wholeWindow)
    : DC(nullptr)
    , mWindow(hwnd)
{
    Target t;
    {
        Lock lock(detail::GetState().lock);
        t = TargetLocked(hwnd, wholeWindow);
    }
    if (!t.image)
        return;
    mArea = t.clientArea;
    SelectBitmap(t.image);
    SelectClipRegion(Region(t.clientArea));
    SetViewportOrg(t.clientOrigin);
}

WindowDC::~WindowDC()
{
    Flush();
    Notify(GetAncestor(mWindow, GA_ROOT), mArea);
}

BitmapPtr GetWindowImage(HWND hwnd)
{
    Lock lock(detail::GetState().lock);
    detail::Window* w = detail::FindWindowLocked(hwnd);
    if (!w || w->parent)
        return nullptr;
    return TargetLocked(hwnd, true).image;
}

BitmapPtr CaptureWindow(HWND hwnd)
{
    UpdateWindow(hwnd);
    BitmapPtr image = GetWindowImage(hwnd);
    return image ? image->Copy() : nullptr;
}

bool ScrollWindowEx(HWND hwnd, int dx, int dy, const Rect* scroll, bool moveChildren)
{
    Rect client;
    if (!GetClientRect(hwnd, &client))
        return false;
    const Rect area = scroll ? scroll->Intersect(client) : client;
    if (area.IsEmpty())
        return true;
    Target t;
    {
        Lock lock(detail::GetState().lock);
        t = TargetLocked(hwnd, false);
    }
    if (t.image) {
        // Copy through a snapshot so overlapping source and target do not smear.
        BitmapPtr snapshot = t.image->Copy();
        DC dc(t.image);
        dc.SetViewportOrg(t.clientOrigin);
        dc.SelectClipRegion(Region(area.Offset(t.clientOrigin.x, t.clientOrigin.y).Intersect(t.clientArea)));
        const Rect moved = area.Offset(dx, dy).Intersect(area);
        if (!moved.IsEmpty())
            dc.BitBlt(moved, snapshot, { t.clientOrigin.x + moved.left - dx, t.clientOrigin.y + moved.top - dy });
        dc.Flush();
        Notify(t.root, area.Offset(t.clientOrigin.x, t.clientOrigin.y));
    }
    // What was uncovered needs painting.
    const Region uncovered = Region::Combine(Region(area), Region(area.Offset(dx, dy)), RegionOp::Diff);
    for (const Rect& r : uncovered.Rects())
        InvalidateRect(hwnd, &r, true);
    if (moveChildren) {
        for (HWND child = GetWindow(hwnd, GW_CHILD); child; child = GetWindow(child, GW_HWNDNEXT)) {
            Rect r;
            GetWindowRect(child, &r);
            Point p = r.TopLeft();
            ScreenToClient(hwnd, &p);
            SetWindowPos(child, nullptr, p.x + dx, p.y + dy, 0, 0, SWP_NOSIZE | SWP_NOZORDER | SWP_NOACTIVATE);
        }
    }
    return true;
}

bool SetWindowRgn(HWND hwnd, const Region* region, bool redraw)
{
    bool topLevel = false;
    {
        Lock lock(detail::GetState().lock);
        detail::Window* w = detail::FindWindowLocked(hwnd);
        if (!w)
            return false;
        w->shape = region ? std::optional<Region>(*region) : std::nullopt;
        topLevel = w->IsTopLevel();
    }
    if (auto backend = detail::BackendSnapshot(); topLevel && backend->WindowShapeChanged)
        backend->WindowShapeChanged(hwnd, region);
    if (redraw)
        InvalidateRect(hwnd, nullptr, true);
    return true;
}

bool GetWindowRgn(HWND hwnd, Region* region)
{
    Lock lock(detail::GetState().lock);
    detail::Window* w = detail::FindWindowLocked(hwnd);
    if (!w || !w->shape)
        return false;
    if (region)
        *region = *w->shape;
    return true;
}

} // namespace vx::ui
