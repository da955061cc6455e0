#include "hostframework/comments/CommentDrawing.h"

#include <algorithm>
#include <chrono>
#include <map>
#include <mutex>
#include <thread>
#include <utility>

#include "foundation/String.h"
#include "foundation/ui/PlatformHelpers.h"
#include "ui/Desktop.h"
#include "ui/Input.h"
#include "ui/Paint.h"
#include "ui/Window.h"

using namespace vx::ui;

namespace vx::hf {

namespace {

constexpr Colour kLineColour { 0xC0C0C0 };
constexpr int kFrames = 10;
constexpr int kHighlightReach = 50;

std::mutex& WaitMutex()
{
    static std::mutex m;
    return m;
}

std::function<void(int)>& Wait()
{
    static std::function<void(int)> wait = [](int ms) { std::this_thread::sleep_for(std::chrono::milliseconds(ms)); };
    return wait;
}

void Pause(int ms)
{
    std::function<void(int)> wait;
    {
        std::lock_guard lock(WaitMutex());
        wait = Wait();
    }
    if (wait)
        wait(ms);
}

std::wstring TextOf(IVarnComment* comment)
{
    IKELString* text = nullptr;
    if (FAILED(comment->GetInfo(nullptr, nullptr, nullptr, &text)))
        return {};
    KEL::String s;
    s.AssignRep(text);
    return s.ToWString();
}

int Scale(int dpi)
{
    return std::max(dpi / 96, 1);
}

Rect MarkerRect(IVarnComment* comment, int dpi, Point at)
{
    LONG r[4] {};
    comment->GetMarkerRect(dpi, at.x, at.y, r);
    return { r[0], r[1], r[2], r[3] };
}

int TextHeight(const DC& dc, const Font& font)
{
    // Measured on a context of the same device; the caller's own context is left as it was.
    DC probe(Bitmap::Create(1, 1), dc.Caps());
    probe.SelectFont(font);
    return probe.GetTextMetrics().height;
}

void DrawLabel(IVarnComment* comment, DC& dc, Point at, LONG bottom, int dpi)
{
    const std::wstring text = TextOf(comment);
    if (text.empty())
        return;
    const CommentFonts& fonts = GetCommentFonts(dc, dpi);
    const int saved = dc.SaveDC();
    dc.SelectFont(fonts.rotated);
    dc.SetTextColor({ 0 });
    dc.SetBkMode(TRANSPARENT);
    dc.SetTextAlign(TA_LEFT | TA_TOP);
    // Reads upwards beside the line, its foot at the bottom.
    dc.TextOut({ at.x - fonts.rotatedHeight - 2, bottom - 1 }, text);
    dc.RestoreDC(saved);
}

void DrawLine(DC& dc, const DC* target, Point at, LONG bottom, int dpi)
{
    Pen pen;
    pen.colour = kLineColour;
    pen.width = Scale(dpi);
    // On the window's own raster display every other pixel; elsewhere (a bitmap for the window, a
    // printer, a recording) a dotted line of the same weight.
    if (target == &dc && dc.GetDeviceCaps(TECHNOLOGY) == DT_RASDISPLAY) {
        pen.style = PS_ALTERNATE;
        pen.geometric = false;
    } else {
        pen.style = PS_DOT;
        pen.geometric = true;
        pen.cap = PS_ENDCAP_FLAT;
    }
    const Pen previous = dc.SelectPen(pen);
    dc.MoveTo(at);
    dc.LineTo({ at.x, bottom });
    dc.SelectPen(previous);
}

// Shown, and neither it nor its top-level window minimised.
bool IsShownUnminimised(HWND window)
{
    if (!IsWindow(window) || !IsWindowVisible(window))
        return false;
    const HWND root = GetAncestor(window, GA_ROOT);
    return !(GetWindowLongPtr(window, GWL_STYLE) & WS_MINIMIZE)
        && !(root && (GetWindowLongPtr(root, GWL_STYLE) & WS_MINIMIZE));
}

// The window to draw the animation on: the first one up from `window` with a sizing border, or
// the top-level window when none has one.
HWND SizingAncestor(HWND window)
{
    for (HWND w = window; w; w = GetParent(w))
        if ((GetWindowLongPtr(w, GWL_STYLE) & kSizingBorderStyle) || !GetParent(w))
            return w;
    return window;
}

Rect Step(const Rect& from, const Rect& to, int i)
{
    auto at = [i](LONG a, LONG b) { return LONG(a + (b - a) * i / kFrames); };
    return { at(from.left, to.left), at(from.top, to.top), at(from.right, to.right), at(from.bottom, to.bottom) };
}

void DrawShape(DC& dc, int shape, const Rect& r)
{
    if (shape == 1) {
        dc.Ellipse(r);
        return;
    }
    const Point outline[]
        = { { r.left, r.top }, { r.right, r.top }, { r.right, r.bottom }, { r.left, r.bottom }, { r.left, r.top } };
    dc.Polyline(outline);
}

} // namespace

const CommentFonts& GetCommentFonts(const DC& dc, int dpi)
{
    const WORD primary = GetApplication().language & 0x3FF;
    const int points = primary == 4 || primary == 17 ? 12 : 10;
    static std::mutex lock;
    static std::map<std::pair<int, int>, CommentFonts> fonts; // lives until exit
    std::lock_guard guard(lock);
    auto found = fonts.find({ points, dpi });
    if (found != fonts.end())
        return found->second;
    DeviceCaps caps = dc.Caps();
    caps.dpiX = caps.dpiY = dpi;
    DC device(Bitmap::Create(1, 1), caps);
    CommentFonts f;
    f.rotated = KEL::CreateDialogFont(device, points, 900);
    f.upright = KEL::CreateDialogFont(device, points, 0);
    f.rotatedHeight = TextHeight(device, f.rotated);
    f.uprightHeight = TextHeight(device, f.upright);
    return fonts.emplace(std::make_pair(points, dpi), f).first->second;
}

void DrawEventComment(IVarnComment* comment, DC& dc, const DC* target, const CommentDrawInfo& info)
{
    const int dpi = dc.GetDeviceCaps(LOGPIXELSY);
    const LONG bottom = (info.flags & CommentDrawInfo::kUseAlternativeBottom) && info.alternativeBottom >= 1
        ? info.alternativeBottom
        : info.bottom;
    DWORD display = 0;
    comment->GetDisplayInfo(&display);
    if (display != 0 && (info.flags & CommentDrawInfo::kLabel))
        DrawLabel(comment, dc, info.point, bottom, dpi);
    if (info.flags & (CommentDrawInfo::kLine | CommentDrawInfo::kLineToo))
        DrawLine(dc, target, info.point, bottom, dpi);
    DWORD fill = 0xFFFFFF;
    comment->GetFillColour((info.flags & CommentDrawInfo::kSelected) ? 1 : 0, &fill);
    const Pen pen = dc.SelectPen(Pen::Solid({ 0 }));
    const Brush brush = dc.SelectBrush(Brush::Solid({ fill }));
    dc.Ellipse(MarkerRect(comment, dpi, info.point));
    dc.SelectBrush(brush);
    dc.SelectPen(pen);
}

void HighlightComment(IVarnComment* comment, HWND window, Point point, int duration)
{
    if (!IsShownUnminimised(window))
        return;
    Point screen = point;
    ClientToScreen(window, &screen);
    // Only when the marker can be seen: the point lies over this very window (or a child of it).
    const HWND root = GetAncestor(window, GA_ROOT);
    const HWND under = ChildWindowFromPointDeep(root, screen);
    if (under != window)
        return;
    const Rect marker = MarkerRect(comment, GetDpiForWindow(window), point);
    const Rect from { marker.left - kHighlightReach, marker.top - kHighlightReach, marker.right + kHighlightReach,
        marker.bottom + kHighlightReach };
    AnimateCommentShape(window, 1, from, marker, duration);
}

void AnimateCommentShape(HWND window, int shape, const Rect& from, const Rect& to, int duration)
{
    if (!IsShownUnminimised(window))
        return;
    Pause(50);
    const HWND host = SizingAncestor(window);
    // Client coordinates of `window` to window coordinates of `host`.
    Point origin {};
    ClientToScreen(window, &origin);
    Rect hostRect;
    GetWindowRect(host, &hostRect);
    const Point shift { origin.x - hostRect.left, origin.y - hostRect.top };
    auto map = [&](const Rect& r) {
        return Rect { r.left + shift.x, r.top + shift.y, r.right + shift.x, r.bottom + shift.y };
    };

    WindowDC dc(host, true);
    const int saved = dc.SaveDC();
    Pen pen = Pen::Solid({ 0 }, 2);
    pen.geometric = true;
    dc.SelectPen(pen);
    dc.SelectBrush(Brush::Null());
    dc.SetROP2(R2_NOT);
    // What lies under the largest frame, to put back after each ellipse.
    const Rect area = map(from).Inflate(2, 2);
    BitmapPtr under;
    if (BitmapPtr image = dc.GetBitmap(); image && !area.IsEmpty()) {
        dc.Flush();
        under = Bitmap::Create(area.Width(), area.Height());
        DC copy(under);
        copy.BitBlt({ 0, 0, area.Width(), area.Height() }, image, area.TopLeft());
    }
    for (int i = 0; i < kFrames; ++i) {
        const Rect r = map(Step(from, to, i));
        DrawShape(dc, shape, r);
        dc.Flush();
        Pause(duration / kFrames);
        if (shape == 1 && under) {
            const int rop = dc.SetROP2(R2_COPYPEN);
            dc.BitBlt(area, under, { 0, 0 });
            dc.SetROP2(rop);
        } else {
            DrawShape(dc, shape, r);
        }
        dc.Flush();
    }
    dc.RestoreDC(saved);
}

void SetCommentAnimationWait(std::function<void(int)> wait)
{
    std::lock_guard lock(WaitMutex());
    Wait() = std::move(wait);
}

} // namespace vx::hf
