#include "hostframework/comments/CommentPopup.h"

#include <algorithm>
#include <mutex>

#include "foundation/String.h"
#include "foundation/base/ExceptionBoundary.h"
#include "hostframework/interfaces/HostServices.h"
#include "hostframework/services/CafFrameWork.h"
#include "ui/Desktop.h"
#include "ui/Gdi.h"
#include "ui/Paint.h"
#include "ui/Window.h"

using namespace vx::ui;

namespace vx::hf {

namespace {

constexpr int kMargin = 7;
constexpr int kCharsPerLine = 40;
constexpr int kMaxLines = 7;
// The class keeps what lies under the popup (CS_SAVEBITS).
constexpr UINT kClassSaveBits = 0x0800;

LRESULT PopupProc(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam)
{
    auto* popup = reinterpret_cast<CommentPopup*>(GetWindowLongPtr(hwnd, GWLP_USERDATA));
    return popup ? popup->WindowProc(message, wParam, lParam) : DefWindowProc(hwnd, message, wParam, lParam);
}

Font NormalFont()
{
    return Font::OfHeight(-12);
}
Font BoldFont()
{
    return Font::OfHeight(-12, FW_BOLD);
}

std::wstring CommentText(IVarnComment* comment)
{
    IKELString* text = nullptr;
    if (!comment || FAILED(comment->GetInfo(nullptr, nullptr, nullptr, &text)))
        return {};
    KEL::String s;
    s.AssignRep(text);
    return s.ToWString();
}

} // namespace

CommentPopupLayout LayOutCommentPopup(int cw, int ch, int bcw, std::size_t textLength)
{
    CommentPopupLayout l;
    l.lines = std::min<int>(int(textLength / kCharsPerLine) + 1, kMaxLines);
    l.marker = { 0, 0, 8 * cw, ch };
    l.text = { l.marker.left, l.marker.bottom + kMargin, l.marker.left + kCharsPerLine * cw,
        l.marker.bottom + kMargin + l.lines * ch };
    const Rect all { std::min(l.marker.left, l.text.left) - kMargin, std::min(l.marker.top, l.text.top) - kMargin,
        std::max(l.marker.right, l.text.right) + kMargin, std::max(l.marker.bottom, l.text.bottom) + kMargin };
    l.width = all.right - all.left;
    l.height = all.bottom - all.top;
    l.marker = { l.marker.left + 9, l.marker.top + kMargin, l.marker.right + 9, l.marker.bottom + kMargin };
    l.text = { l.text.left + kMargin, l.text.top + kMargin, l.text.right + kMargin, l.text.bottom + kMargin };
    l.label = { l.marker.right + 2 * bcw, l.marker.top };
    return l;
}

Point PlaceCommentPopup(Point anchor, int width, int height, int fallbackGap, const Rect& work)
{
    Point p;
    p.x = std::max(work.left, std::min(work.right - 10 - width, anchor.x));
    p.y = anchor.y - height;
    if (p.y < work.top + 10)
        p.y = anchor.y + fallbackGap;
    return p;
}

std::wstring CommentTimeLabel(const std::wstring& timeText)
{
    return (L"t = " + timeText).substr(0, 31);
}

bool IsHostApplicationVisible()
{
    // The store is fetched once and kept; the flag is read every time.
    static IHostValues* const store = [] {
        void* out = nullptr;
        IAppServices* services = CAFFrameWork::GetAppServices();
        if (!services || FAILED(services->QueryInterface(IHostValues::kIid, &out)))
            return static_cast<IHostValues*>(nullptr);
        return static_cast<IHostValues*>(out);
    }();
    WORD visible = 0xFFFF;
    if (store)
        store->GetFlag(L"kel\\application\\visible", 0xFFFF, &visible);
    return visible != 0;
}

HRESULT ShowCommentPopup(
    IVarnComment* comment, HWND window, const Rect& marker, std::wstring timeText, ICommentPopupWindow** out)
{
    if (!out)
        return E_INVALIDARG;
    *out = nullptr;
    if (!comment)
        return E_INVALIDARG;
    DWORD display = 0;
    comment->GetDisplayInfo(&display);
    if (display & kNoPopupFlag)
        return S_FALSE;
    return Guarded("comment: show popup", [&] {
        Point anchor { (marker.left + marker.right) / 2, marker.top };
        ClientToScreen(window, &anchor);
        auto* popup = new CommentPopup(window, anchor, comment, std::move(timeText), marker.Height());
        popup->AddRef();
        *out = popup;
        return S_OK;
    });
}

CommentPopup::CommentPopup(HWND owner, Point anchor, IVarnComment* comment, std::wstring timeText, int fallbackGap)
    : mTimeText(std::move(timeText))
    , mComment(comment)
    , mAnchor(anchor)
    , mFallbackGap(fallbackGap)
{
    if (mComment)
        mComment->AddRef();
    static std::once_flag once;
    std::call_once(once, [] { RegisterClass({ ClassName(), kClassSaveBits, &PopupProc }); });
    {
        DC screen(Bitmap::Create(1, 1));
        screen.SelectFont(NormalFont());
        const TextMetrics normal = screen.GetTextMetrics();
        screen.SelectFont(BoldFont());
        const TextMetrics bold = screen.GetTextMetrics();
        mLayout = LayOutCommentPopup(normal.aveCharWidth, normal.height + normal.externalLeading, bold.aveCharWidth,
            CommentText(mComment).size());
    }
    HMONITOR monitor = MonitorFromPoint(anchor, MONITOR_DEFAULTTONEAREST);
    Monitor info;
    Rect work { 0, 0, 1 << 20, 1 << 20 };
    if (GetMonitorInfo(monitor, &info))
        work = info.workArea;
    const Point at = PlaceCommentPopup(anchor, mLayout.width, mLayout.height, mFallbackGap, work);
    // The window's name is what it shows, for whatever reads windows rather than pixels.
    const std::wstring name = CommentTimeLabel(mTimeText) + L": " + CommentText(mComment);
    mHandle = CreateWindowEx(0, ClassName(), name.c_str(), WS_POPUP | WS_DISABLED | WS_BORDER, at.x, at.y,
        mLayout.width, mLayout.height, owner, 0, this);
    if (mHandle) {
        SetWindowLongPtr(mHandle, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(this));
        if (IsHostApplicationVisible())
            ShowWindow(mHandle, SW_SHOWNOACTIVATE);
    }
}

CommentPopup::~CommentPopup()
{
    if (mHandle && IsWindow(mHandle)) {
        SetWindowLongPtr(mHandle, GWLP_USERDATA, 0);
        DestroyWindow(mHandle);
    }
    if (mComment)
        mComment->Release();
}

HRESULT CommentPopup::GetComment(IVarnComment** out)
{
    if (!out)
        return E_INVALIDARG;
    *out = mComment;
    if (mComment)
        mComment->AddRef();
    return S_OK;
}

HRESULT CommentPopup::Refresh()
{
    if (!mHandle)
        return E_FAIL;
    InvalidateRect(mHandle, nullptr, true);
    UpdateWindow(mHandle);
    return S_OK;
}

void CommentPopup::Paint()
{
    PaintDC dc(mHandle);
    Rect client;
    GetClientRect(mHandle, &client);
    dc.FillSolidRect(client, GetSysColor(COLOR_INFOBK));
    dc.SetBkMode(TRANSPARENT);
    dc.SetTextColor(GetSysColor(COLOR_INFOTEXT));
    // The marker in miniature: the comment draws its disc at the middle of the marker rectangle
    // (no label, no line).
    if (mComment) {
        const Rect& m = mLayout.marker;
        CommentDrawInfo info;
        info.point = { (m.left + m.right) / 2, m.top + 3 };
        info.bottom = m.bottom + 3;
        info.flags = 0x08200000;
        dc.SetTextAlign(TA_CENTER);
        mComment->Draw(&dc, &dc, &info);
        dc.SetTextAlign(TA_LEFT);
    }
    dc.SelectFont(BoldFont());
    const std::wstring label = CommentTimeLabel(mTimeText);
    Rect labelArea { mLayout.label.x, mLayout.label.y, client.right, mLayout.marker.bottom };
    dc.DrawText(label, labelArea, DT_LEFT | DT_NOPREFIX);
    dc.SelectFont(NormalFont());
    Rect textArea = mLayout.text;
    dc.DrawText(CommentText(mComment), textArea, DT_LEFT | DT_WORDBREAK | DT_NOPREFIX);
}

LRESULT CommentPopup::WindowProc(UINT message, WPARAM wParam, LPARAM lParam)
{
    return GuardedValue<LRESULT>("comment popup", 0, [&]() -> LRESULT {
        if (message == WM_PAINT) {
            Paint();
            return 0;
        }
        return DefWindowProc(mHandle, message, wParam, lParam);
    });
}

} // namespace vx::hf
