#include "controls/BmpTxtButton.h"

#include <algorithm>
#include <cmath>

#include "ui/Controls.h"
#include "ui/Input.h"
#include "ui/MessageQueue.h"
#include "ui/Paint.h"
#include "ui/Resources.h"
#include "ui/Timer.h"
#include "ui/Window.h"

using namespace vx::ui;

namespace KELControls {

BitmapPtr GreyGlyph(const BitmapPtr& glyph)
{
    if (!glyph)
        return nullptr;
    BitmapPtr grey = glyph->Copy();
    const double rg = 0.22288311, b = 0.24626459, offset = 0.4;
    for (int y = 0; y < grey->Height(); ++y)
        for (int x = 0; x < grey->Width(); ++x) {
            const std::uint32_t argb = grey->Argb(x, y);
            const unsigned a = argb >> 24;
            if (a == 0)
                continue;
            auto channel = [&](int shift) { return std::min(255u, ((argb >> shift) & 0xFF) * 255 / a) / 255.0; };
            const double r0 = channel(16), g0 = channel(8), b0 = channel(0);
            if (argb == 0xFFC0C0C0) {
                grey->SetArgb(x, y, 0);
                continue;
            }
            const double sum = r0 + g0 + b0;
            // The matrix gives more than 1 for light pixels: a channel saturates at white.
            auto out = [&](double k) { return std::uint32_t(std::lround(std::min(1.0, k * sum + offset) * a)); };
            grey->SetArgb(x, y, (a << 24) | (out(rg) << 16) | (out(rg) << 8) | out(b));
        }
    grey->MarkDirty();
    return grey;
}

TBmpTxtButton::TBmpTxtButton(HWND parent, int id, std::wstring tooltip)
    : mTooltip(std::move(tooltip))
{
    HWND hwnd = GetDlgItem(parent, id);
    if (hwnd && Attach(hwnd)) {
        if (!IsWindowEnabled(hwnd))
            mState |= kDisabled;
        if ((GetWindowLongPtr(hwnd, GWL_STYLE) & BS_TYPEMASK) == BS_DEFPUSHBUTTON)
            mState |= kDefault;
    }
}

TBmpTxtButton::~TBmpTxtButton()
{
    CloseTooltip();
}

bool TBmpTxtButton::SetBitmap(WORD id, HMODULE module)
{
    BitmapPtr bitmap = LoadPngResource(module, MAKEINTRESOURCEW(id), RT_BITMAP);
    if (!bitmap)
        return false;
    SetGlyph(std::move(bitmap));
    return true;
}

void TBmpTxtButton::SetGlyph(BitmapPtr glyph)
{
    mGlyph = std::move(glyph);
    Repaint();
}

void TBmpTxtButton::SetThemeClass(const std::wstring& themeClass)
{
    mThemeClass = themeClass == L"TOOLBAR" ? L"TOOLBAR" : L"BUTTON";
    Repaint();
}

void TBmpTxtButton::Repaint()
{
    if (GetHandle())
        InvalidateRect(GetHandle(), nullptr, true);
}

void TBmpTxtButton::SetPressed(bool pressed)
{
    if (pressed)
        mState |= kPressed;
    else
        mState &= ~kPressed;
}

void TBmpTxtButton::CloseTooltip()
{
    if (mTimerRunning && GetHandle())
        KillTimer(GetHandle(), kTooltipTimer);
    mTimerRunning = false;
    mPopup.reset();
}

void TBmpTxtButton::HotOff()
{
    mHot = false;
    if (!mToggleMode && (mState & kPressed))
        SetPressed(false);
    mState &= ~kHighlighted;
    Repaint();
}

void TBmpTxtButton::OnMouseMove(Point p)
{
    if (!mTracking) {
        TRACKMOUSEEVENT request { TME_LEAVE, GetHandle() };
        mTracking = TrackMouseEvent(&request);
    }
    if (!mTooltipShown && !mTooltip.empty() && !mSuppressed && !mTimerRunning) {
        SetTimer(GetHandle(), kTooltipTimer, kTooltipPeriodMs);
        mTimerRunning = true;
    }
    if (mSuppressed)
        return;
    Rect client;
    GetClientRect(GetHandle(), &client);
    if (client.Contains(p)) {
        if (!mHot) {
            mHot = true;
            mState |= kHighlighted;
            Repaint();
        }
    } else if (mHot || (mState & kHighlighted)) {
        HotOff();
    }
}

void TBmpTxtButton::OnTimer()
{
    const bool pressedPlain = !mToggleMode && (mState & kPressed);
    if (pressedPlain || mSuppressed) {
        CloseTooltip();
        return;
    }
    mElapsedMs += kTooltipPeriodMs;
    if (mElapsedMs > kTooltipLifetimeMs) {
        CloseTooltip();
        mElapsedMs = 0;
    } else if (mElapsedMs >= int(kTooltipPeriodMs) && !mTooltipShown) {
        Point at = GetCursorPos();
        mPopup = std::make_unique<KEL::Popup>(GetHandle(), Point { at.x - 3, at.y + 19 }, mTooltip);
        mTooltipShown = true;
    }
}

LRESULT TBmpTxtButton::WindowProc(UINT message, WPARAM wParam, LPARAM lParam)
{
    HWND hwnd = GetHandle();
    const Point p { short(LOWORD(lParam)), short(HIWORD(lParam)) };
    switch (message) {
    case WM_PAINT: {
        PaintDC dc(hwnd);
        Paint(dc);
        return 0;
    }
    case WM_ERASEBKGND:
        return 1;
    case WM_MOUSEMOVE:
        OnMouseMove(p);
        return 0;
    case WM_LBUTTONDOWN:
        SetFocus(hwnd);
        SetCapture(hwnd);
        if (mTooltipShown) {
            CloseTooltip();
            mTooltipShown = false;
        }
        SetPressed(true);
        mHot = true;
        mState |= kHighlighted;
        Repaint();
        return 0;
    case WM_LBUTTONUP:
    case WM_LBUTTONDBLCLK:
        if (GetCapture() == hwnd) {
            if (!mToggleMode || mToggleOn)
                SetPressed(false);
            if (mToggleMode)
                mToggleOn = !mToggleOn;
            Rect client;
            GetClientRect(hwnd, &client);
            if (client.Contains(p))
                SendMessage(GetParent(hwnd), WM_COMMAND, MAKEWPARAM(GetDlgCtrlID(hwnd), BN_CLICKED), LPARAM(hwnd));
            ReleaseCapture();
            mSuppressed = true;
            Repaint();
        }
        return 0;
    case WM_KEYUP:
        if (wParam == WPARAM(VK_TAB)) {
            mKeyboardFocus = true;
            mState &= ~kDefault;
        }
        Repaint();
        return DefaultProc(message, wParam, lParam);
    case WM_KEYDOWN:
        if (!mTooltip.empty())
            CloseTooltip();
        Repaint();
        return DefaultProc(message, wParam, lParam);
    case WM_MOUSELEAVE:
        if (!mTooltip.empty()) {
            CloseTooltip();
            mTooltipShown = false;
        }
        if (mHot) {
            const bool wasPressed = mState & kPressed;
            HotOff();
            if (wasPressed && !mToggleMode && GetCapture() == hwnd)
                ReleaseCapture();
        }
        mTracking = false;
        mSuppressed = false;
        return 0;
    case WM_TIMER:
        if (wParam == kTooltipTimer) {
            OnTimer();
            return 0;
        }
        break;
    case WM_RBUTTONDOWN:
    case WM_MBUTTONDOWN:
        if (!mTooltip.empty())
            CloseTooltip();
        return 0;
    case WM_CANCELMODE:
        return 0;
    case WM_KILLFOCUS:
        mState &= ~kHighlighted;
        if (!(mState & kPressed))
            Repaint();
        return DefaultProc(message, wParam, lParam);
    case WM_ENABLE:
        if (wParam)
            mState &= ~kDisabled;
        else
            mState |= kDisabled;
        Repaint();
        return 0;
    case WM_THEMECHANGED:
        Repaint();
        return 0;
    default:
        break;
    }
    return DefaultProc(message, wParam, lParam);
}

void TBmpTxtButton::Paint(DC& dc)
{
    Rect client;
    GetClientRect(GetHandle(), &client);
    // The background: the parent's button brush, or the face colour under the themed part.
    Brush background = Brush::Solid(GetSysColor(COLOR_BTNFACE));
    if (mParentBackground) {
        if (auto* brush = reinterpret_cast<const Brush*>(
                SendMessage(GetParent(GetHandle()), WM_CTLCOLORBTN, 0, LPARAM(GetHandle()))))
            background = *brush;
    }
    dc.FillRect(client, background);
    theme::ButtonState state = theme::ButtonState::Normal;
    if (mState & kDisabled)
        state = theme::ButtonState::Disabled;
    else if (mState & kPressed)
        state = theme::ButtonState::Pressed;
    else if (mState & kHighlighted)
        state = theme::ButtonState::Hot;
    else if (mState & kDefault)
        state = theme::ButtonState::Default;
    if (IsToolbar()) {
        if (state != theme::ButtonState::Normal && state != theme::ButtonState::Default)
            theme::PaintToolbarButton(dc, client, state);
    } else {
        theme::PaintButton(dc, client, state, L"", ControlFont(GetHandle()));
    }
    PaintFace(dc, client);
    if ((mState & kHighlighted) || mKeyboardFocus) {
        dc.DrawFocusRect(client.Inflate(-3, -3));
        mKeyboardFocus = false;
    }
}

void TBmpTxtButton::PaintFace(DC& dc, const Rect& client)
{
    const std::wstring caption = (mState & kShowText) ? GetWindowText(GetHandle()) : std::wstring();
    dc.SelectFont(ControlFont(GetHandle()));
    Rect text { 0, 0, std::max(1, client.Width() - 8), 0 };
    if (!caption.empty())
        dc.DrawText(caption, text, DT_CALCRECT | DT_WORDBREAK);
    const Size glyph = mGlyph ? mGlyph->GetSize() : Size {};
    const int gap = glyph.cx > 0 && !caption.empty() ? 4 : 0;
    const int width = glyph.cx + gap + (caption.empty() ? 0 : text.Width());
    int x = client.left + (client.Width() - width) / 2;
    const int shift = (!IsToolbar() && (mState & kPressed)) ? 1 : 0;
    x += shift;
    const int top = client.top + shift;
    if (mGlyph) {
        BitmapPtr image = (mState & kDisabled) ? GreyGlyph(mGlyph) : mGlyph;
        const int y = top + (client.Height() - glyph.cy) / 2;
        dc.AlphaBlend({ x, y, x + glyph.cx, y + glyph.cy }, image, { 0, 0, glyph.cx, glyph.cy }, 255, true);
    }
    if (caption.empty())
        return;
    // The drawing layer centres vertically only single lines: the measured block is placed itself.
    const int textTop = top + (client.Height() - text.Height()) / 2;
    Rect box { x + glyph.cx + gap, textTop, x + width, textTop + text.Height() };
    const UINT format = DT_CENTER | DT_VCENTER | DT_WORDBREAK;
    dc.SetBkMode(TRANSPARENT);
    if (mState & kDisabled) {
        Rect raised = box.Offset(1, 1);
        dc.SetTextColor(GetSysColor(COLOR_BTNHIGHLIGHT));
        dc.DrawText(caption, raised, format);
        dc.SetTextColor(GetSysColor(COLOR_BTNSHADOW));
    } else {
        dc.SetTextColor(GetSysColor(COLOR_BTNTEXT));
    }
    dc.DrawText(caption, box, format);
}

} // namespace KELControls
