#include "controls/DialogSettingsWarningDlg.h"

#include <algorithm>

#include "controls/ErrorProvider.h"
#include "ui/Desktop.h"
#include "ui/Dialog.h"
#include "ui/MessageQueue.h"
#include "ui/Paint.h"
#include "ui/Window.h"

namespace KELControls {

using namespace vx::ui;

namespace {

DialogTemplate WarningTemplate()
{
    DialogTemplate t;
    t.style = WS_POPUP | WS_CAPTION | DS_MODALFRAME | DS_SETFONT;
    t.units = { 0, 0, 252, 66 };
    const auto box = [](int x, int y, int w, int h) { return Rect { x, y, x + w, y + h }; };
    t.items = {
        { kButtonClass, L"OK", IDCANCEL, WS_CHILD | WS_VISIBLE | WS_TABSTOP | BS_DEFPUSHBUTTON, box(100, 45, 50, 14) },
        { kStaticClass, L"One or more settings are invalid and need correcting.", -1, WS_CHILD | WS_VISIBLE | SS_LEFT,
            box(47, 7, 177, 11) },
        { kStaticClass, L"The invalid settings are marked with a", -1, WS_CHILD | WS_VISIBLE | SS_LEFT,
            box(47, 18, 124, 11) },
        { kStaticClass, L"", DialogSettingsWarningDlg::kMarkerId, WS_CHILD | WS_VISIBLE | SS_BITMAP,
            box(172, 18, 8, 8) },
        { kStaticClass, L"", DialogSettingsWarningDlg::kIconId, WS_CHILD | WS_VISIBLE | SS_BITMAP, box(7, 7, 20, 20) },
        { kStaticClass, L"Correct these settings before continuing.", -1, WS_CHILD | WS_VISIBLE | SS_LEFT,
            box(47, 29, 139, 11) },
    };
    return t;
}

const DialogTemplateRegistrar kTemplate(DialogSettingsWarningDlg::kTemplateId, 0, WarningTemplate());

} // namespace

// ---- BitmapWindow ---------------------------------------------------------------------------------

BitmapWindow::BitmapWindow(HWND parent, int id, BitmapPtr bitmap, int layout)
    : mBitmap(std::move(bitmap))
    , mLayout(layout)
{
    if (!Attach(GetDlgItem(parent, id)))
        return;
    Rect window;
    GetWindowRect(GetHandle(), &window);
    if (mLayout == kResizeToBitmap && mBitmap) {
        Point topLeft { window.left, window.top };
        ScreenToClient(parent, &topLeft);
        SetWindowPos(GetHandle(), nullptr, topLeft.x, topLeft.y, mBitmap->Width(), mBitmap->Height(), SWP_NOZORDER);
        GetWindowRect(GetHandle(), &window);
    }
    mWidth = window.Width();
    mHeight = window.Height();
}

void BitmapWindow::Paint(DC& dc)
{
    Rect client;
    GetClientRect(GetHandle(), &client);
    dc.FillSolidRect(client, GetSysColor(COLOR_BTNFACE));
    if (mBitmap) {
        const int w = mBitmap->Width();
        const int h = mBitmap->Height();
        Point at { 0, 0 };
        if (mLayout == kCentre)
            at = { (client.Width() - w) / 2, (client.Height() - h) / 2 };
        else if (mLayout == kAlignBottom)
            at = { 0, client.Height() - h };
        const Rect dest { at.x, at.y, at.x + w, at.y + h };
        if (!dc.TransparentBlt(dest, mBitmap, { 0, 0, w, h }, mBitmap->Pixel(0, 0)))
            dc.BitBlt(dest, mBitmap, { 0, 0 });
    }
    if (overlay)
        overlay(dc, client);
}

LRESULT BitmapWindow::WindowProc(UINT message, WPARAM wParam, LPARAM lParam)
{
    if (message == WM_PAINT) {
        PaintDC dc(GetHandle());
        Paint(dc);
        return 0;
    }
    return DefaultProc(message, wParam, lParam);
}

// ---- The warning dialog ---------------------------------------------------------------------------

DialogSettingsWarningDlg::DialogSettingsWarningDlg(HWND parent)
    : KEL::DialogBase(parent, kTemplateId, vx::res::ModuleOf(&kTemplate))
{
}

DialogSettingsWarningDlg::~DialogSettingsWarningDlg() = default;

void DialogSettingsWarningDlg::SetupWindow()
{
    HWND dialog = GetHandle();
    SetWindowText(dialog, L"Varnex");
    const int dpi = ShcoreDLL::GetDpiForWindow(dialog).x;
    // The same marker the fields show, on the face colour, so it sits in the text without an edge.
    const int side = dpi * 12 / 96;
    BitmapPtr marker = Bitmap::Create(side, side);
    if (BitmapPtr icon = ErrorProvider::ScaledIcon(StockIcon::Error, { side, side }, dpi)) {
        DC dc(marker);
        dc.FillSolidRect({ 0, 0, side, side }, GetSysColor(COLOR_BTNFACE));
        dc.AlphaBlend({ 0, 0, side, side }, icon, { 0, 0, side, side }, 255, true);
        dc.Flush();
    }
    mMarker = std::make_unique<BitmapWindow>(dialog, kMarkerId, marker, BitmapWindow::kResizeToBitmap);
    mIcon = LoadStockIcon(StockIcon::Error, true, dpi);
    SendMessage(GetDlgItem(dialog, kIconId), STM_SETIMAGE, 0, reinterpret_cast<LPARAM>(&mIcon));

    // Centred on the work area of the nearest monitor, then kept inside it; the top-left corner
    // wins when the dialog is larger than the work area.
    Rect window;
    GetWindowRect(dialog, &window);
    Monitor monitor;
    GetMonitorInfo(MonitorFromRect(window, MONITOR_DEFAULTTONEAREST), &monitor);
    const Rect& work = monitor.workArea;
    int x = work.left + (work.Width() - window.Width()) / 2;
    int y = work.top + (work.Height() - window.Height()) / 2;
    if (y + window.Height() > work.bottom)
        y = work.bottom - window.Height();
    if (x + window.Width() > work.right)
        x = work.right - window.Width();
    y = std::max(y, static_cast<int>(work.top));
    x = std::max(x, static_cast<int>(work.left));
    SetWindowPos(dialog, nullptr, x, y, 0, 0, SWP_NOSIZE | SWP_NOZORDER);
}

INT_PTR DialogSettingsWarningDlg::DialogFunction(UINT message, WPARAM wParam, LPARAM lParam)
{
    if (message == WM_INITDIALOG) {
        SetupWindow();
        return 1;
    }
    return KEL::DialogBase::DialogFunction(message, wParam, lParam);
}

} // namespace KELControls
