#include "controls/Popup.h"

#include <algorithm>

#include "ui/Controls.h"
#include "ui/Desktop.h"
#include "ui/Paint.h"
#include "ui/Resources.h"
#include "ui/Window.h"

namespace KEL {

using namespace vx::ui;

namespace {

constexpr const wchar_t* kClassName = L"KELPopup";
constexpr DWORD kDisabled = 0x08000000, kBorder = 0x00800000;

void RegisterPopupClass()
{
    static const bool registered = RegisterClass({ kClassName, 0, &DefWindowProc });
    (void)registered;
}

} // namespace

bool IsHostApplicationVisible()
{
    HWND main = GetApplication().mainWindow;
    return !main || IsWindowVisible(main);
}

Popup::Popup(HWND parent, Point screen, const std::wstring& text)
    : mParent(parent)
    , mAt { screen.x + 2, screen.y + 2 }
    , mText(text)
{
    int dpi = 96, dpiY = 96;
    GetDpiForMonitor(MonitorFromPoint(mAt, MONITOR_DEFAULTTONEAREST), &dpi, &dpiY);
    mFont = DialogFont(8, mFont.face, dpiY);
    Create();
}

bool Popup::Create()
{
    if (GetHandle() && IsWindow(GetHandle())) {
        if (IsHostApplicationVisible())
            ShowWindow(GetHandle(), SW_SHOWNOACTIVATE);
        return true;
    }
    if (GetHandle())
        Detach();
    std::unique_ptr<DC> dc = DC::CreateMemory();
    dc->SelectFont(mFont);
    Rect measured { 0, 0, 300, 0 };
    dc->DrawText(mText, measured, DT_CALCRECT | DT_WORDBREAK);
    const int w = measured.Width() + 5;
    const int h = measured.Height() + 2;

    // Kept inside the work area: pulled left to stay 10 pixels inside the right edge, shown above
    // the point when it would pass the bottom, and never left of or above the work area.
    Monitor monitor;
    GetMonitorInfo(MonitorFromPoint(mAt, MONITOR_DEFAULTTONEAREST), &monitor);
    const Rect& work = monitor.workArea;
    int x = std::min(mAt.x, static_cast<int>(work.right) - 10 - w);
    int y = mAt.y + h > work.bottom ? mAt.y - h - 3 : mAt.y;
    x = std::max(x, static_cast<int>(work.left));
    y = std::max(y, static_cast<int>(work.top));

    RegisterPopupClass();
    HWND hwnd = CreateWindowEx(0, kClassName, L"", WS_POPUP | kDisabled | kBorder, x, y, w, h, mParent, 0, nullptr);
    if (!hwnd || !Attach(hwnd))
        return false;
    if (IsHostApplicationVisible())
        ShowWindow(hwnd, SW_SHOWNOACTIVATE);
    return true;
}

Popup::~Popup()
{
    HWND hwnd = GetHandle();
    Detach();
    if (hwnd && IsWindow(hwnd))
        DestroyWindow(hwnd);
}

LRESULT Popup::WindowProc(UINT message, WPARAM wParam, LPARAM lParam)
{
    if (message == WM_PAINT) {
        PaintDC dc(GetHandle());
        Rect client;
        GetClientRect(GetHandle(), &client);
        dc.FillSolidRect(client, kBackground);
        dc.SelectFont(mFont);
        dc.SetBkColor(kBackground);
        dc.SetTextColor(Colour::Rgb(0, 0, 0));
        dc.SetTextAlign(0);
        dc.SetBkMode(TRANSPARENT);
        Rect text { client.left + 1, client.top, client.right + 1, client.bottom };
        dc.DrawText(mText, text, DT_WORDBREAK);
        return 0;
    }
    return DefaultProc(message, wParam, lParam);
}

} // namespace KEL
