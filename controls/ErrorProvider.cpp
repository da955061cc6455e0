#include "controls/ErrorProvider.h"

#include <cmath>

#include "controls/BalloonHelp.h"
#include "controls/Popup.h"
#include "foundation/ui/PlatformHelpers.h"
#include "ui/Controls.h"
#include "ui/Input.h"
#include "ui/Paint.h"
#include "ui/Timer.h"
#include "ui/Window.h"

namespace KELControls {

using namespace vx::ui;

namespace {

constexpr DWORD kExTransparent = 0x20;
constexpr DWORD kSsNotify = 0x100;
constexpr UINT_PTR kHoverTimer = 1;
constexpr int kHoverTick = 50;
constexpr int kPopupLife = 5000;

Point LParamPoint(LPARAM lParam)
{
    return { static_cast<std::int16_t>(lParam & 0xFFFF), static_cast<std::int16_t>((lParam >> 16) & 0xFFFF) };
}

} // namespace

// A stock icon at the marker's size, keeping its alpha.
BitmapPtr ErrorProvider::ScaledIcon(StockIcon icon, Size size, int dpi)
{
    BitmapPtr source = LoadStockIcon(icon, false, dpi);
    BitmapPtr target = Bitmap::Create(size.cx, size.cy);
    if (!source || !target)
        return nullptr;
    DC dc(target);
    dc.SetStretchBltMode(HALFTONE);
    if (!dc.AlphaBlend({ 0, 0, size.cx, size.cy }, source, { 0, 0, source->Width(), source->Height() }, 255, true))
        return nullptr;
    dc.Flush();
    return target;
}

unsigned ErrorProvider::NormaliseOptions(unsigned options)
{
    const auto pick = [](unsigned value, std::initializer_list<unsigned> order, unsigned fallback) {
        for (unsigned bit : order)
            if (value & bit)
                return bit;
        return fallback;
    };
    constexpr unsigned icons = kErrorIcon | kWarningIcon | kInfoIcon;
    constexpr unsigned displays = kBalloon | kPopup | kNoDisplay;
    const unsigned icon = pick(options, { kWarningIcon, kErrorIcon, kInfoIcon }, kErrorIcon);
    const unsigned display = pick(options, { kBalloon, kPopup, kNoDisplay }, kBalloon);
    return (options & ~(icons | displays)) | icon | display;
}

ErrorProvider::ErrorProvider(HWND parent, int id)
{
    Attach(GetDlgItem(parent, id));
    mTitle.clear();
    mMessage.clear();
    HWND hwnd = GetHandle();
    if (!hwnd)
        return;
    ShowWindow(hwnd, SW_HIDE);
    SetWindowLongPtr(hwnd, GWL_EXSTYLE, GetWindowLongPtr(hwnd, GWL_EXSTYLE) | kExTransparent);
    Setup();
}

ErrorProvider::~ErrorProvider()
{
    if (WTL::CBalloonHelp* balloon = WTL::CBalloonHelp::FromWindow(mBalloon))
        balloon->Hide();
}

void ErrorProvider::SetOptions(unsigned options)
{
    mOptions = GetHandle() ? NormaliseOptions(options) : options;
    if (GetHandle())
        InvalidateRect(GetHandle(), nullptr, true);
}

Size ErrorProvider::IconSize() const
{
    const auto dpi = ShcoreDLL::GetDpiForWindow(GetHandle());
    return { static_cast<int>(dpi.x / 96.0 * 12), static_cast<int>(dpi.y / 96.0 * 12) };
}

HWND ErrorProvider::BalloonWindow() const
{
    return mBalloon && IsWindow(mBalloon) ? mBalloon : nullptr;
}

HWND ErrorProvider::PopupWindow() const
{
    return mPopup ? mPopup->GetHandle() : nullptr;
}

void ErrorProvider::Setup()
{
    HWND hwnd = GetHandle();
    SetWindowLongPtr(hwnd, GWL_STYLE, GetWindowLongPtr(hwnd, GWL_STYLE) | kSsNotify);
    mOptions = NormaliseOptions(mOptions);
    // Keep the left and bottom edges, at the icon's size.
    Rect window;
    GetWindowRect(hwnd, &window);
    Point topLeft { window.left, window.top };
    ScreenToClient(GetParent(hwnd), &topLeft);
    const Size icon = IconSize();
    MoveWindow(hwnd, topLeft.x, topLeft.y + window.Height() - icon.cy, icon.cx, icon.cy, true);
}

void ErrorProvider::LoadImages()
{
    mImagesLoaded = true;
    const Size icon = IconSize();
    mImages = std::make_unique<ImageList>(Size { icon.cx, icon.cx });
    const int dpi = ShcoreDLL::GetDpiForWindow(GetHandle()).x;
    for (StockIcon s : { StockIcon::Error, StockIcon::Warning, StockIcon::Information }) {
        BitmapPtr image = ScaledIcon(s, mImages->ImageSize(), dpi);
        if (!image || mImages->Add(image) < 0) {
            mImages.reset(); // draws nothing rather than the wrong picture
            break;
        }
    }
}

void ErrorProvider::Paint(DC& dc)
{
    if (!mImagesLoaded)
        LoadImages();
    if (!mImages)
        return;
    const int index = (mOptions & kErrorIcon) ? 0 : (mOptions & kWarningIcon) ? 1 : 2;
    if (index < mImages->Count())
        mImages->Draw(dc, index, { 0, 0 });
}

// The hot rectangle alone would close the balloon on the way from the marker to its link: with a
// link it also takes in the balloon, which the tail joins to the marker.
void ErrorProvider::TakeInBalloon(WTL::CBalloonHelp& balloon, const Rect& hot)
{
    Rect window;
    GetWindowRect(balloon.GetHandle(), &window);
    balloon.SetHotRect(hot.Union(window));
}

void ErrorProvider::ShowBalloon()
{
    HWND hwnd = GetHandle();
    Rect window;
    GetWindowRect(hwnd, &window);
    const Point anchor { (window.left + window.right) / 2, (window.top + window.bottom) / 2 };
    Rect hot;
    GetClientRect(hwnd, &hot);
    Point origin { 0, 0 };
    ClientToScreen(hwnd, &origin);
    hot = { hot.left + origin.x, hot.top + origin.y, hot.right + origin.x, hot.bottom + origin.y };
    const StockIcon icon = (mOptions & kInfoIcon) ? StockIcon::Information
        : (mOptions & kErrorIcon)                 ? StockIcon::Error
                                                  : StockIcon::Warning;

    // With a link, the balloon stays open while the mouse is over it, so that it can be clicked.
    const bool link = (mOptions & kLink) && !mLinkText.empty() && mLinkCallback;
    const unsigned options = link ? 0xE7E00u : 0x87E00u;

    // One balloon per marker: while it is up it is moved and refilled, never doubled.
    if (WTL::CBalloonHelp* balloon = WTL::CBalloonHelp::FromWindow(BalloonWindow())) {
        balloon->SetIcon(icon);
        balloon->SetHotRect(hot);
        balloon->SetLink(link ? mLinkText : std::wstring {}, link ? mLinkCallback : nullptr);
        balloon->Create(GetParent(hwnd), mTitle, mMessage, &anchor, options, {}, 0);
        if (link)
            TakeInBalloon(*balloon, hot);
        return;
    }
    auto* balloon = new WTL::CBalloonHelp();
    balloon->SetHotRect(hot);
    if (link)
        balloon->SetLink(mLinkText, mLinkCallback);
    if (!balloon->Create(GetParent(hwnd), mTitle, mMessage, &anchor, options | WTL::CBalloonHelp::kNoShow, {}, 0)) {
        delete balloon;
        mBalloon = nullptr;
        return;
    }
    balloon->SetIcon(icon);
    balloon->Reposition();
    if (link)
        TakeInBalloon(*balloon, hot);
    mBalloon = balloon->GetHandle();
    ShowWindow(mBalloon, SW_SHOWNA);
}

void ErrorProvider::OnTimer()
{
    if (mMessage.empty())
        return;
    mElapsed += kHoverTick;
    if (mElapsed >= kHoverTick && mElapsed <= kPopupLife) {
        if (!mPopupShown) {
            mPopupShown = true;
            Point cursor = GetCursorPos();
            mPopup = std::make_unique<KEL::Popup>(GetHandle(), Point { cursor.x - 3, cursor.y + 19 }, mMessage);
        }
    } else if (mElapsed > kPopupLife) {
        KillTimer(GetHandle(), kHoverTimer);
        mElapsed = 0;
        mPopup.reset();
    }
}

LRESULT ErrorProvider::WindowProc(UINT message, WPARAM wParam, LPARAM lParam)
{
    HWND hwnd = GetHandle();
    switch (message) {
    case WM_PAINT: {
        PaintDC dc(hwnd);
        Paint(dc);
        return 0;
    }
    case WM_MOUSEMOVE: {
        if (!mTracking) {
            TRACKMOUSEEVENT track;
            track.dwFlags = TME_LEAVE;
            track.hwndTrack = hwnd;
            TrackMouseEvent(&track);
            mTracking = true;
        }
        const Point p = LParamPoint(lParam);
        if (mOptions & kBalloon) {
            if (std::hypot(double(p.x - mLastMouse.x), double(p.y - mLastMouse.y)) > 3.0) {
                mLastMouse = p;
                ShowBalloon();
            }
        } else if ((mOptions & kPopup) && !mPopupShown && !mMessage.empty()) {
            SetTimer(hwnd, kHoverTimer, kHoverTick);
        }
        return DefaultProc(message, wParam, lParam);
    }
    case WM_LBUTTONDOWN:
    case WM_MBUTTONDOWN:
    case WM_RBUTTONDOWN:
        if (mOptions & kBalloon)
            ShowBalloon();
        else if (mOptions & kPopup)
            SetTimer(hwnd, kHoverTimer, kHoverTick);
        if (message == WM_LBUTTONDOWN && mClick)
            mClick();
        return 0;
    case WM_NCHITTEST:
        return 1; // HTCLIENT: a notifying static takes the mouse
    case WM_MOUSELEAVE:
        // Leaving ends a popup's hover: its timer stops and the popup goes.
        if (mOptions & kPopup) {
            KillTimer(hwnd, kHoverTimer);
            mPopup.reset();
            mPopupShown = false;
        }
        mTracking = false;
        return 0;
    case WM_TIMER:
        if (wParam == kHoverTimer && (mOptions & kPopup))
            OnTimer();
        return 0;
    default:
        return DefaultProc(message, wParam, lParam);
    }
}

} // namespace KELControls
