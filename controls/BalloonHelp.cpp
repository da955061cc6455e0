#include "controls/BalloonHelp.h"

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <optional>

#include "foundation/ui/PlatformHelpers.h"
#include "ui/Animation.h"
#include "ui/Controls.h"
#include "ui/Desktop.h"
#include "ui/Input.h"
#include "ui/MessageQueue.h"
#include "ui/Paint.h"
#include "ui/Timer.h"
#include "ui/Window.h"

namespace WTL {

using namespace vx::ui;
using KELLinkingUtils::UxThemeDLL;

namespace {

constexpr const wchar_t* kClassName = L"BalloonHelp";
constexpr DWORD kToolWindow = 0x00000080;
constexpr UINT_PTR kTimeoutTimer = 1;
constexpr UINT_PTR kCloseHoverTimer = 2;
constexpr int kCloseSize = 14;
// WM_PRINT: the drawing context in wParam; what to draw in lParam.
constexpr LPARAM kPrintNonClient = 0x2, kPrintClient = 0x4;

void RegisterBalloonClass()
{
    static const bool registered = [] {
        WindowClass cls;
        cls.name = kClassName;
        cls.proc = &DefWindowProc;
        return RegisterClass(cls);
    }();
    (void)registered;
}

Font TitleFont(const Font& content)
{
    Font f = content;
    f.weight = FW_BOLD;
    return f;
}

// The pixels of `shape` that lie within `width` by `height` pixels of its edge.
Region FrameOf(const Region& shape, int width, int height)
{
    Region inner = shape;
    for (int d = 1; d <= width; ++d)
        inner = Region::Combine(
            Region::Combine(inner, shape.Offset(d, 0), RegionOp::And), shape.Offset(-d, 0), RegionOp::And);
    for (int d = 1; d <= height; ++d)
        inner = Region::Combine(
            Region::Combine(inner, shape.Offset(0, d), RegionOp::And), shape.Offset(0, -d), RegionOp::And);
    return Region::Combine(shape, inner, RegionOp::Diff);
}

} // namespace

CBalloonHelp::CBalloonHelp() = default;

CBalloonHelp::~CBalloonHelp()
{
    HWND hwnd = GetHandle();
    if (hwnd) {
        Detach();
        DestroyWindow(hwnd);
    }
}

CBalloonHelp* CBalloonHelp::FromWindow(HWND hwnd)
{
    return dynamic_cast<CBalloonHelp*>(FromHandle(hwnd));
}

bool CBalloonHelp::Create(HWND parent, const std::wstring& title, const std::wstring& content, const Point* anchor,
    unsigned options, const std::wstring& linkTarget, unsigned timeoutMs, unsigned layout)
{
    mTitle = title;
    mContent = content;
    mOptions = options;
    mLinkTarget = linkTarget;
    mTimeout = timeoutMs;
    mLayout = layout;
    if (anchor)
        mAnchor = *anchor;
    if (!GetHandle()) {
        RegisterBalloonClass();
        const DWORD ex = kToolWindow | ((options & 0x4) ? WS_EX_TOPMOST : 0);
        HWND hwnd = CreateWindowEx(ex, kClassName, title.c_str(), WS_POPUP, 0, 0, 10, 10, parent, 0, nullptr);
        if (!hwnd || !Attach(hwnd))
            return false;
    } else {
        SetWindowText(GetHandle(), title);
    }
    OpenThemes();
    const double scale
        = std::max(ShcoreDLL::GetDpiForWindow(GetHandle()).x, ShcoreDLL::GetDpiForWindow(GetHandle()).y) / 96.0;
    mMargin = static_cast<int>(std::ceil(8 * scale));
    mTailHeight = static_cast<int>(std::ceil(20 * scale));
    Reposition();
    mShownAt = GetCursorPos();
    SetCapture(GetHandle());
    if (mTimeout)
        SetTimer(GetHandle(), kTimeoutTimer, mTimeout);
    if (mOptions & kNoShow)
        return true;
    const TooltipEffects effects = GetTooltipEffects();
    if (!(mOptions & kNoFadeIn) && effects.animation && effects.fade)
        AnimateWindow(GetHandle(), 200, AW_BLEND);
    else
        ShowWindow(GetHandle(), SW_SHOWNA);
    return true;
}

void CBalloonHelp::OpenThemes()
{
    CloseThemes();
    mTooltipTheme = UxThemeDLL::OpenThemeData(GetHandle(), L"TOOLTIP");
    mTextTheme = UxThemeDLL::OpenThemeData(GetHandle(), L"TEXTSTYLE");
}

void CBalloonHelp::CloseThemes()
{
    for (void** theme : { &mTooltipTheme, &mTextTheme })
        if (*theme) {
            UxThemeDLL::CloseThemeData(*theme);
            *theme = nullptr;
        }
}

void CBalloonHelp::SetIcon(StockIcon icon)
{
    const int dpi = ShcoreDLL::GetDpiForWindow(GetHandle()).x;
    mIcon = LoadStockIcon(icon, false, dpi);
}

void CBalloonHelp::SetLink(const std::wstring& label, std::function<void()> callback)
{
    mLinkLabel = label;
    mLinkCallback = std::move(callback);
}

Size CBalloonHelp::ContentSize(DC& dc, int* linkTop, Size* link) const
{
    const Font content = ControlFont(GetHandle());
    Rect title { 0, 0, 0, 0 };
    if (mTextTheme) {
        dc.SelectFont(content);
        UxThemeDLL::GetThemeTextExtent(mTextTheme, dc, UxThemeDLL::TEXT_BODYTITLE, 0, mTitle,
            DT_NOPREFIX | DT_EXPANDTABS | DT_SINGLELINE, nullptr, &title);
    } else {
        dc.SelectFont(TitleFont(content));
        dc.DrawText(mTitle, title, DT_CALCRECT | DT_NOPREFIX | DT_EXPANDTABS | DT_SINGLELINE);
    }
    int titleWidth = title.Width();
    int titleHeight = title.Height();
    if (mIcon) {
        titleWidth += mIcon->Width() + mMargin;
        titleHeight = std::max(titleHeight, mIcon->Height());
    }
    if (mOptions & kShowCloseButton) {
        titleWidth += kCloseSize + mMargin;
        titleHeight = std::max(titleHeight, kCloseSize);
    }
    dc.SelectFont(content);
    Rect body { 0, 0, 0, 0 };
    if (!mContent.empty()) {
        // Lines as written, wrapped only where one would be wider than the title line or a
        // readable width.
        Rect line { 0, 0, 0, 0 };
        dc.DrawText(mContent, line, DT_CALCRECT | DT_NOPREFIX | DT_EXPANDTABS);
        const int wrap = std::min<int>(line.Width(), std::max(titleWidth, 40 * mMargin));
        body = { 0, 0, wrap, 0 };
        dc.DrawText(mContent, body, DT_CALCRECT | DT_NOPREFIX | DT_EXPANDTABS | DT_WORDBREAK);
    }
    Size size { std::max({ titleWidth, body.Width(), mMinimumWidth }), titleHeight + mMargin + body.Height() };
    if (!mLinkLabel.empty()) {
        Rect label { 0, 0, 0, 0 };
        dc.DrawText(mLinkLabel, label, DT_CALCRECT | DT_NOPREFIX | DT_SINGLELINE);
        if (linkTop)
            *linkTop = size.cy + mMargin;
        if (link)
            *link = label.GetSize();
        size.cx = std::max(size.cx, label.Width());
        size.cy += mMargin + label.Height();
    }
    return size;
}

void CBalloonHelp::Reposition()
{
    HWND hwnd = GetHandle();
    if (!hwnd)
        return;
    std::unique_ptr<DC> dc = DC::CreateMemory();
    int linkTop = 0;
    Size link {};
    const Size content = ContentSize(*dc, &linkTop, &link);
    const int w = content.cx + 2 * mMargin;
    const int h = content.cy + 2 * mMargin + mTailHeight;

    Monitor monitor;
    GetMonitorInfo(MonitorFromPoint(mAnchor, MONITOR_DEFAULTTONEAREST), &monitor);
    const Rect& screen = monitor.bounds;
    const bool upper = mAnchor.y < (screen.top + screen.bottom) / 2;
    const bool left = mAnchor.x < (screen.left + screen.right) / 2;
    const int t = mTailHeight;
    mTailOnTop = upper;

    int baseX = left ? (w - t) / 4 : 3 * (w - t) / 4;
    // The tip lies straight under (or over) the middle of the base; the window is placed so that
    // it touches the anchor, then kept on the monitor with the tip following the shift.
    int tipX = baseX + t / 2;
    int x = mAnchor.x - tipX;
    int y = upper ? mAnchor.y : mAnchor.y - (h - 1);
    const int shiftedX = std::clamp(x, static_cast<int>(screen.left), std::max<int>(screen.left, screen.right - w));
    const int shiftedY = std::clamp(y, static_cast<int>(screen.top), std::max<int>(screen.top, screen.bottom - h));
    tipX += x - shiftedX;
    // With kMoveTailBase the base goes along with the tip, so the tail keeps its slant.
    if (mOptions & kMoveTailBase)
        baseX += x - shiftedX;
    x = shiftedX;
    y = shiftedY;
    const auto clampX = [&](int v) { return std::clamp(v, mMargin, std::max(mMargin, w - mMargin)); };
    const int baseY = upper ? t : h - t;
    const int tipY = upper ? 0 : h - 1;
    mTail[0] = { clampX(baseX), baseY };
    mTail[1] = { clampX(baseX + t), baseY };
    mTail[2] = { clampX(tipX), tipY };

    // The close button in the title line: at the right unless the layout puts it at the left.
    if (mOptions & kShowCloseButton) {
        const int left = (mLayout & 0x1000) ? 0 : content.cx - kCloseSize;
        mCloseRect = { left, 0, left + kCloseSize, kCloseSize };
    } else {
        mCloseRect = {};
    }
    mLinkRect = mLinkLabel.empty() ? Rect {} : Rect::FromPointSize({ 0, linkTop }, link);

    // The frame depends on the tail's side as well as on the size: always asked again.
    SetWindowPos(hwnd, nullptr, x, y, w, h, SWP_NOZORDER | SWP_NOACTIVATE | SWP_FRAMECHANGED);
    if (mHotRect.IsEmpty())
        GetWindowRect(hwnd, &mHotRect);
    // The window is the rounded body and the tail; set again only when it changed.
    const int bodyTop = upper ? t : 0;
    const Rect body { 0, bodyTop, w, bodyTop + h - t };
    Region bodyShape = Region::RoundRect({ body.left, body.top, body.right + 1, body.bottom + 1 }, 10, 10);
    if (mTooltipTheme)
        UxThemeDLL::GetThemeBackgroundRegion(mTooltipTheme, *dc, UxThemeDLL::TTP_BALLOON, 1, body, &bodyShape);
    Region shape = Region::Combine(bodyShape, Region::Polygon({ mTail[0], mTail[1], mTail[2] }), RegionOp::Or);
    shape = Region::Combine(shape, Region({ 0, 0, w, h }), RegionOp::And);
    if (!(shape == mShape)) {
        mShape = shape;
        SetWindowRgn(hwnd, &mShape, true);
    }
    InvalidateRect(hwnd, nullptr, true);
}

void CBalloonHelp::Hide()
{
    HWND hwnd = GetHandle();
    if (!hwnd)
        return;
    const TooltipEffects effects = GetTooltipEffects();
    if (!(mOptions & kNoFadeOut) && effects.animation && effects.fade && IsWindowVisible(hwnd)) {
        AnimateWindow(hwnd, 200, AW_BLEND | AW_HIDE, [hwnd] { PostMessage(hwnd, WM_CLOSE, 0, 0); });
        return;
    }
    ShowWindow(hwnd, SW_HIDE);
    PostMessage(hwnd, WM_CLOSE, 0, 0);
}

Point CBalloonHelp::ClientOffset() const
{
    Rect window;
    GetWindowRect(GetHandle(), &window);
    Point origin {};
    ClientToScreen(GetHandle(), &origin);
    return { origin.x - window.left, origin.y - window.top };
}

void CBalloonHelp::PaintFrame(DC& dc)
{
    Rect window;
    GetWindowRect(GetHandle(), &window);
    const Colour back = GetSysColor(COLOR_INFOBK);
    const Colour text = GetSysColor(COLOR_INFOTEXT);
    dc.FillSolidRect(Rect::FromPointSize({}, window.GetSize()), back);
    if (mOptions & kShadedOutline) {
        // The outline twice more, 2 pixels wide: a darker shade moved down and right, a lighter
        // one moved up and left (each channel: back / 3 - 86 wrapped to a byte, and
        // text / 3 + 2 * (back / 3)).
        const auto shade = [](Colour c, const auto& f) {
            return Colour::Rgb(static_cast<std::uint8_t>(f(c.Red(), 0)), static_cast<std::uint8_t>(f(c.Green(), 1)),
                static_cast<std::uint8_t>(f(c.Blue(), 2)));
        };
        const Colour dark = shade(back, [](int v, int) { return v / 3 - 86; });
        const Colour light = shade(text, [&](int v, int channel) {
            const int b = channel == 0 ? back.Red() : channel == 1 ? back.Green() : back.Blue();
            return v / 3 + 2 * (b / 3);
        });
        dc.FillRegion(FrameOf(mShape.Offset(1, 1), 2, 2), Brush::Solid(dark));
        dc.FillRegion(FrameOf(mShape.Offset(-1, -1), 2, 2), Brush::Solid(light));
    }
    // The body and the tail, outlined in the text colour.
    dc.FillRegion(FrameOf(mShape, 1, 1), Brush::Solid(text));
}

void CBalloonHelp::PaintClient(DC& dc)
{
    Rect inner;
    GetClientRect(GetHandle(), &inner);
    const Colour text = GetSysColor(COLOR_INFOTEXT);
    dc.FillSolidRect(inner, GetSysColor(COLOR_INFOBK));
    int titleLeft = inner.left;
    int titleRight = inner.right;
    if (!mCloseRect.IsEmpty()) {
        DrawFrameControl(dc, mCloseRect, DFC_CAPTION, DFCS_CAPTIONCLOSE | (mCloseState & ~0x200u));
        if (mLayout & 0x1000)
            titleLeft = mCloseRect.right + mMargin;
        else
            titleRight = mCloseRect.left - mMargin;
    }
    const Font content = ControlFont(GetHandle());
    Rect title { inner.left, inner.top, inner.right, inner.top };
    if (mTextTheme) {
        dc.SelectFont(content);
        UxThemeDLL::GetThemeTextExtent(mTextTheme, dc, UxThemeDLL::TEXT_BODYTITLE, 0, mTitle,
            DT_NOPREFIX | DT_EXPANDTABS | DT_SINGLELINE, &title, &title);
    } else {
        dc.SelectFont(TitleFont(content));
        dc.DrawText(mTitle, title, DT_CALCRECT | DT_NOPREFIX | DT_EXPANDTABS | DT_SINGLELINE);
    }
    int titleHeight = title.Height();
    if (mIcon) {
        dc.AlphaBlend({ titleLeft, inner.top, titleLeft + mIcon->Width(), inner.top + mIcon->Height() }, mIcon,
            { 0, 0, mIcon->Width(), mIcon->Height() }, 255, true);
        titleLeft += mIcon->Width() + mMargin;
        titleHeight = std::max(titleHeight, mIcon->Height());
    }
    dc.SetBkMode(TRANSPARENT);
    dc.SetTextColor(text);
    if (!mCloseRect.IsEmpty())
        titleHeight = std::max(titleHeight, mCloseRect.Height());
    Rect titleRect { titleLeft, inner.top, titleRight, inner.top + titleHeight };
    Rect bodyRect { inner.left, inner.top + titleHeight + mMargin, inner.right, inner.bottom };
    const UINT titleFormat = DT_NOPREFIX | DT_EXPANDTABS | DT_SINGLELINE | DT_VCENTER;
    const UINT bodyFormat = DT_NOPREFIX | DT_EXPANDTABS | DT_WORDBREAK;
    if (mTextTheme) {
        dc.SelectFont(content);
        UxThemeDLL::DrawThemeText(mTextTheme, dc, UxThemeDLL::TEXT_BODYTITLE, 0, mTitle, titleFormat, titleRect);
        UxThemeDLL::DrawThemeText(mTextTheme, dc, UxThemeDLL::TEXT_BODYTEXT, 0, mContent, bodyFormat, bodyRect);
    } else {
        dc.DrawText(mTitle, titleRect, titleFormat);
        dc.SelectFont(content);
        dc.DrawText(mContent, bodyRect, bodyFormat);
    }
    if (!mLinkRect.IsEmpty()) {
        const Colour linkColour = Colour::Rgb(0, 0, 132);
        dc.SelectFont(content);
        dc.SetTextColor(linkColour);
        Rect label = mLinkRect;
        dc.DrawText(mLinkLabel, label, DT_NOPREFIX | DT_SINGLELINE);
        dc.SelectPen(Pen::Solid(linkColour));
        dc.MoveTo({ mLinkRect.left, mLinkRect.bottom - 1 });
        dc.LineTo({ mLinkRect.right, mLinkRect.bottom - 1 });
    }
}

void CBalloonHelp::SetCloseState(unsigned state)
{
    if (state == mCloseState)
        return;
    mCloseState = state;
    InvalidateRect(GetHandle(), &mCloseRect, false);
}

void CBalloonHelp::TrackCloseButton(Point client)
{
    if (mCloseRect.IsEmpty())
        return;
    if (mCloseRect.Contains(client)) {
        // Hot while the mouse stays; the timer looks again in case it left without a move here.
        SetTimer(GetHandle(), kCloseHoverTimer, 100);
        SetCloseState(DFCS_HOT | (mCloseState & DFCS_PUSHED));
    } else {
        SetCloseState(DFCS_FLAT | (mCloseState & DFCS_PUSHED));
    }
}

void CBalloonHelp::OnLButtonUp(Point client)
{
    if (!(mCloseState & DFCS_PUSHED)) {
        // A click on the link closes the balloon, then runs what the link does.
        if (!(mOptions & kClickableLink) || mLinkRect.IsEmpty())
            return;
        if (GetCapture() == GetHandle())
            ReleaseCapture();
        if (mLinkRect.Contains(client)) {
            const std::function<void()> callback = mLinkCallback;
            Hide();
            if (callback)
                callback();
        }
        return;
    }
    if (GetCapture() == GetHandle())
        ReleaseCapture();
    SetCloseState(mCloseState & ~DFCS_PUSHED);
    if (mCloseRect.Contains(client))
        Hide();
}

void CBalloonHelp::OnMouseMove()
{
    Point client = GetCursorPos();
    ScreenToClient(GetHandle(), &client);
    TrackCloseButton(client);
    if ((mOptions & kClickableLink) && !mLinkRect.IsEmpty())
        SetCursor(mLinkRect.Contains(client) ? IDC_HAND : IDC_ARROW);
    if (!(mOptions & kCloseOnMouseMove))
        return;
    const Point cursor = GetCursorPos();
    if (mOptions & kUseHotRect) {
        if (mHotRect.IsEmpty() || !mHotRect.Contains(cursor))
            Hide();
        return;
    }
    if (mOptions & kTrackBalloon) {
        Rect window;
        GetWindowRect(GetHandle(), &window);
        window = { window.left - 3, std::min(window.top, mAnchor.y) - 3, window.right + 3,
            std::max(window.bottom, mAnchor.y + 1) + 3 };
        if (!window.Contains(cursor))
            Hide();
        return;
    }
    if (std::abs(cursor.x - mShownAt.x) > 3 || std::abs(cursor.y - mShownAt.y) > 3)
        Hide();
}

LRESULT CBalloonHelp::WindowProc(UINT message, WPARAM wParam, LPARAM lParam)
{
    switch (message) {
    case WM_ERASEBKGND:
        return 1;
    case WM_PAINT: {
        PaintDC dc(GetHandle());
        PaintClient(dc);
        return 0;
    }
    case WM_NCCALCSIZE: {
        // The client area is inside the margin, and the tail lies outside it.
        if (auto* r = reinterpret_cast<Rect*>(lParam)) {
            const int top = r->top + mMargin + (mTailOnTop ? mTailHeight : 0);
            const int bottom = r->bottom - mMargin - (mTailOnTop ? 0 : mTailHeight);
            const int left = r->left + mMargin;
            *r = { left, top, std::max(left, r->right - mMargin), std::max(top, bottom) };
        }
        return 0;
    }
    case WM_NCPAINT: {
        WindowDC dc(GetHandle(), true);
        if (dc.HasTarget()) {
            Rect client;
            GetClientRect(GetHandle(), &client);
            const Point offset = ClientOffset();
            dc.ExcludeClipRect(client.Offset(offset.x, offset.y));
            PaintFrame(dc);
        }
        return 0;
    }
    case WM_PRINT:
        // Into the given context, whose origin is the window's corner.
        if (auto* dc = reinterpret_cast<DC*>(wParam)) {
            if (lParam & kPrintNonClient)
                PaintFrame(*dc);
            if (lParam & kPrintClient) {
                const std::optional<Region> clip = dc->GetClipRegion();
                Rect client;
                GetClientRect(GetHandle(), &client);
                const Point offset = ClientOffset();
                dc->IntersectClipRect(client.Offset(offset.x, offset.y));
                const Point origin = dc->GetViewportOrg();
                dc->SetViewportOrg(origin.Offset(offset.x, offset.y));
                PaintClient(*dc);
                dc->SetViewportOrg(origin);
                dc->SelectClipRegion(clip);
            }
        }
        return 0;
    case WM_DESTROY:
        if (GetCapture() == GetHandle())
            ReleaseCapture();
        CloseThemes();
        break;
    case WM_THEMECHANGED:
    case WM_SYSCOLORCHANGE:
        OpenThemes();
        Reposition();
        return 0;
    case WM_MOUSEMOVE:
        OnMouseMove();
        return 0;
    case WM_LBUTTONDOWN: {
        if (mOptions & kCloseOnLButtonDown) {
            Hide();
            return 0;
        }
        const Point p { static_cast<short>(LOWORD(lParam)), static_cast<short>(HIWORD(lParam)) };
        if (!mCloseRect.IsEmpty() && mCloseRect.Contains(p)) {
            SetCloseState(DFCS_HOT | DFCS_PUSHED);
            SetCapture(GetHandle());
        } else if ((mOptions & kClickableLink) && !mLinkRect.IsEmpty() && mLinkRect.Contains(p)) {
            SetCapture(GetHandle());
            OnMouseMove();
        }
        return 0;
    }
    case WM_LBUTTONUP:
        OnLButtonUp({ static_cast<short>(LOWORD(lParam)), static_cast<short>(HIWORD(lParam)) });
        return 0;
    case WM_CAPTURECHANGED:
        if (!mCloseRect.IsEmpty())
            SetCloseState(DFCS_FLAT);
        return 0;
    case WM_MOUSEACTIVATE:
        return 3; // no activation
    case WM_TIMER:
        if (wParam == kTimeoutTimer) {
            KillTimer(GetHandle(), kTimeoutTimer);
            Hide();
        } else if (wParam == kCloseHoverTimer) {
            KillTimer(GetHandle(), kCloseHoverTimer);
            OnMouseMove();
        }
        return 0;
    case WM_ACTIVATEAPP:
        if (!wParam && (mOptions & kCloseOnDeactivate))
            Hide();
        return 0;
    default:
        break;
    }
    return DefaultProc(message, wParam, lParam);
}

void CBalloonHelp::WindowDestroyed()
{
    if (mOptions & kDeleteThisOnClose)
        delete this;
}

} // namespace WTL
