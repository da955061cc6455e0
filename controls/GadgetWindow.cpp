#include "controls/GadgetWindow.h"

#include <algorithm>
#include <cmath>

#include "controls/BmpTxtButton.h"
#include "ui/Clock.h"
#include "ui/Controls.h"
#include "ui/Desktop.h"
#include "ui/EventLoop.h"
#include "ui/Input.h"
#include "ui/MessageQueue.h"
#include "ui/ModuleClass.h"
#include "ui/Paint.h"
#include "ui/Resources.h"
#include "ui/Tooltip.h"
#include "ui/Window.h"

using namespace vx::ui;

namespace KELControls {

namespace {
constexpr wchar_t kClassName[] = L"UxGadgetWindow";
constexpr int kMargin = 3;
constexpr int kGap = 2;

// A one-pixel source for translucent fills.
BitmapPtr Swatch(Colour colour)
{
    BitmapPtr bitmap = Bitmap::Create(1, 1);
    bitmap->SetArgb(
        0, 0, 0xFF000000u | (std::uint32_t(colour.Red()) << 16) | (std::uint32_t(colour.Green()) << 8) | colour.Blue());
    bitmap->MarkDirty();
    return bitmap;
}

void FillTranslucent(DC& dc, const Rect& rect, Colour colour, int alpha)
{
    dc.AlphaBlend(rect, Swatch(colour), { 0, 0, 1, 1 }, alpha, false);
}

int Scaled(int size96, double scale)
{
    return int(std::lround(size96 * scale));
}
} // namespace

int FlashAlpha(std::uint64_t clockMs)
{
    const double phase = double(clockMs % 60000);
    const double alpha = std::trunc(std::sin(phase * 3.7699111842 / 1000) * 128 + 128);
    // A sine of exactly 1 gives 256, which is no alpha.
    return std::clamp(int(alpha), 0, 255);
}

// ---- Gadgets ------------------------------------------------------------------------------

UxSizableButtonGadget::UxSizableButtonGadget(int id, WORD glyph, Size size96, WORD secondImage, std::wstring text)
    : KEL::LowPriorityTimer(0)
    , mId(id)
    , mSize96(size96)
    , mText(std::move(text))
{
    mGlyph.id = glyph;
    mSecond.id = secondImage;
}

UxSizableButtonGadget::~UxSizableButtonGadget()
{
    Stop();
}

BitmapPtr UxSizableButtonGadget::CreateImage(HMODULE module, WORD id, Size size96, double scaleX, double scaleY)
{
    const int width = Scaled(size96.cx, scaleX), height = Scaled(size96.cy, scaleY);
    TGdiPlusBitmapSVGResource svg;
    if (svg.Load(MAKEINTRESOURCEW(id), width, height, module))
        return svg.GetBitmap();
    TGdiPlusBitmapResource png;
    if (!png.Load(MAKEINTRESOURCEW(id), module))
        return nullptr;
    BitmapPtr image = png.GetBitmap();
    if (image->GetSize() == Size { width, height })
        return image;
    BitmapPtr scaled = Bitmap::Create(width, height);
    if (!scaled)
        return nullptr;
    DC dc(scaled);
    dc.SetStretchBltMode(HALFTONE);
    dc.AlphaBlend({ 0, 0, width, height }, image, { 0, 0, image->Width(), image->Height() }, 255, true);
    dc.Flush();
    return scaled;
}

void UxSizableButtonGadget::UpdateImage(Image& image, double scaleX, double scaleY)
{
    if (image.id == 1)
        return;
    if (image.image && image.scaleX == scaleX && image.scaleY == scaleY)
        return;
    image.image = CreateImage(mWindow ? mWindow->Module() : nullptr, image.id, mSize96, scaleX, scaleY);
    image.scaleX = scaleX;
    image.scaleY = scaleY;
}

void UxSizableButtonGadget::UpdateImages()
{
    const int dpi = GetDpiForWindow(mWindow ? mWindow->GetHandle() : nullptr);
    const double scale = dpi / 96.0;
    UpdateImage(mGlyph, scale, scale);
    UpdateImage(mSecond, scale, scale);
}

Size UxSizableButtonGadget::DesiredSize()
{
    UpdateImages();
    const double scale = mGlyph.scaleX > 0 ? mGlyph.scaleX : GetDpiForWindow(nullptr) / 96.0;
    Size size { Scaled(mSize96.cx, scale) + 2 * kMargin, Scaled(mSize96.cy, scale) + 2 * kMargin };
    if (!mText.empty()) {
        auto dc = DC::CreateRecording({ 1, 1 });
        dc->SelectFont(ControlFont(mWindow ? mWindow->GetHandle() : nullptr));
        size.cx += dc->GetTextExtent(mText).cx + kMargin;
    }
    return size;
}

void UxSizableButtonGadget::Invalidate()
{
    if (mWindow && mWindow->GetHandle())
        InvalidateRect(mWindow->GetHandle(), &mBounds, true);
}

void UxSizableButtonGadget::Tick()
{
    Invalidate();
    if (mWindow)
        UpdateWindow(mWindow->GetHandle());
}

// The state setters repaint only on a change: the command-update pass sets every gadget each
// time the queue runs dry, and a repaint there would keep the queue from ever running dry.
void UxSizableButtonGadget::SetEnabled(bool enabled)
{
    if (mEnabled == enabled)
        return;
    mEnabled = enabled;
    Invalidate();
}

void UxSizableButtonGadget::SetPressedLook(bool on)
{
    if (mPressedLook == on)
        return;
    mPressedLook = on;
    Invalidate();
}

void UxSizableButtonGadget::SetTooltip(const std::wstring& text)
{
    if (mTooltip == text)
        return;
    mTooltip = text;
    if (mWindow)
        mWindow->UpdateTools();
}

void UxSizableButtonGadget::ChangeText(const std::wstring& text)
{
    if (mText.empty() || text == mText)
        return;
    mText = text;
    Invalidate();
}

void UxSizableButtonGadget::SetFlash(unsigned flags)
{
    mFlash = flags & 3;
    Invalidate();
}

void UxSizableButtonGadget::MouseEnter()
{
    mPaintFlags |= kPaintHot;
    Invalidate();
}

void UxSizableButtonGadget::MouseLeave()
{
    mPaintFlags &= ~kPaintHot;
    Invalidate();
}

void UxSizableButtonGadget::LButtonDown(Point)
{
    mPaintFlags = (mPaintFlags & ~kPaintHot) | kPaintPressed;
    Invalidate();
}

bool UxSizableButtonGadget::LButtonUp(Point p)
{
    const bool wasPressed = mPaintFlags & kPaintPressed;
    mPaintFlags &= ~kPaintPressed;
    Invalidate();
    return wasPressed && mEnabled && mBounds.Contains(p);
}

void UxSizableButtonGadget::PaintFace(DC& dc, const Rect& rect)
{
    const bool pressed = (mPaintFlags & kPaintPressed) || mPressedLook;
    theme::ButtonState state = theme::ButtonState::Normal;
    if (!mEnabled)
        state = theme::ButtonState::Disabled;
    else if (pressed)
        state = theme::ButtonState::Pressed;
    else if (mPaintFlags & kPaintHot)
        state = theme::ButtonState::Hot;
    if (mWindow && mWindow->ThemeSelector() == 1)
        theme::PaintButton(dc, rect, state, L"", ControlFont(mWindow->GetHandle()));
    else if (state != theme::ButtonState::Normal)
        theme::PaintToolbarButton(dc, rect, state);
    const Rect inner = rect.Inflate(-2, -2);
    if (pressed)
        FillTranslucent(dc, inner, Colour::Rgb(0x00, 0x7E, 0xD2), 0x14);
    else if (mFlash)
        FillTranslucent(dc, inner, Colour::Rgb(0xC8, 0xF0, 0xFF), FlashAlpha(GetClock().NowMs()));
}

void UxSizableButtonGadget::Paint(DC& dc)
{
    UpdateImages();
    const Size size = mBounds.GetSize();
    BitmapPtr buffer = Bitmap::Create(size.cx, size.cy);
    if (!buffer)
        return;
    DC memory(buffer);
    const Rect local { 0, 0, size.cx, size.cy };
    theme::PaintToolbarBackground(memory, local);
    PaintFace(memory, local);
    const bool down = (mPaintFlags & kPaintPressed) || mPressedLook;
    BitmapPtr glyph = down && mSecond.image ? mSecond.image : mGlyph.image;
    int glyphRight = 0;
    if (glyph) {
        if (!mEnabled)
            glyph = GreyGlyph(glyph);
        const int areaWidth = mText.empty() ? size.cx : glyph->Width() + 2 * kMargin;
        const int x = (areaWidth - glyph->Width()) / 2, y = (size.cy - glyph->Height()) / 2;
        memory.AlphaBlend({ x, y, x + glyph->Width(), y + glyph->Height() }, glyph,
            { 0, 0, glyph->Width(), glyph->Height() }, 255, true);
        glyphRight = x + glyph->Width();
    }
    if (!mText.empty()) {
        Rect text { glyphRight + kMargin, 0, size.cx - kMargin, size.cy };
        memory.SelectFont(ControlFont(mWindow ? mWindow->GetHandle() : nullptr));
        memory.SetBkMode(TRANSPARENT);
        memory.SetTextColor(GetSysColor(mEnabled ? COLOR_BTNTEXT : COLOR_GRAYTEXT));
        memory.DrawText(mText, text, DT_LEFT | DT_VCENTER | DT_SINGLELINE);
    }
    memory.Flush();
    dc.BitBlt(mBounds, buffer, { 0, 0 }, SRCCOPY);
}

// ---- Custom button gadgets -------------------------------------------------------------------

void UxCustomButtonGadget::SetUserRect(const Rect& rect)
{
    mUserRect = rect;
    Invalidate();
}

void UxCustomButtonGadget::PaintFace(DC& dc, const Rect& rect)
{
    const Rect face = mUserRect.IsEmpty() ? rect : rect.Intersect(mUserRect);
    if (!face.IsEmpty())
        UxSizableButtonGadget::PaintFace(dc, face);
}

// ---- Menu gadgets ------------------------------------------------------------------------

UxMenuGadget::UxMenuGadget(int id, HMENU menu, HWND owner, WORD glyph, Size size96, std::wstring text)
    : UxCustomButtonGadget(id, glyph, size96, 1, std::move(text))
    , mMenu(menu)
    , mOwner(owner)
{
}

void UxMenuGadget::Open(Point screen, UINT flags)
{
    HWND window = Window() ? Window()->GetHandle() : nullptr;
    Rect exclude = Bounds();
    Point origin { 0, 0 };
    ClientToScreen(window, &origin);
    exclude = exclude.Offset(origin.x, origin.y);
    mLastCommand = TrackPopupMenuEx(mMenu, flags, screen.x, screen.y, mOwner, &exclude);
    // The click that closed the menu must not open it again.
    MSG msg;
    if (window && PeekMessage(&msg, window, WM_LBUTTONDOWN, WM_LBUTTONDOWN, PM_NOREMOVE)) {
        const Point at { short(LOWORD(msg.lParam)), short(HIWORD(msg.lParam)) };
        if (Bounds().Contains(at))
            PeekMessage(&msg, window, WM_LBUTTONDOWN, WM_LBUTTONDOWN, PM_REMOVE);
    }
}

void UxMenuGadget::LButtonDown(Point p)
{
    if (!IsEnabled())
        return;
    UxSizableButtonGadget::LButtonDown(p);
    HWND window = Window() ? Window()->GetHandle() : nullptr;
    Point corner { Bounds().left, Bounds().top };
    ClientToScreen(window, &corner);
    Open(corner, TPM_VERTICAL);
}

bool UxMenuGadget::LButtonUp(Point p)
{
    if (IsEnabled())
        UxSizableButtonGadget::LButtonUp(p);
    return false; // the menu sent the command
}

void UxMenuGadget::RButtonDown(Point)
{
    if (!IsEnabled())
        return;
    HWND window = Window() ? Window()->GetHandle() : nullptr;
    Point corner { Bounds().left, Bounds().bottom };
    ClientToScreen(window, &corner);
    Open(corner, 0);
}

UxButtonMenuGadget::UxButtonMenuGadget(
    int id, HMENU menu, HWND owner, WORD glyph, Size size96, const std::wstring& caption)
    : UxMenuGadget(id, menu, owner, glyph, size96)
    , mCaption(caption.empty() ? GetMenuString(menu, 0, MF_BYPOSITION).substr(0, 512) : caption)
{
    SetText(mCaption);
}

UxButtonMenuGadget::~UxButtonMenuGadget()
{
    if (IsMenu(Menu()))
        DestroyMenu(Menu());
}

// ---- The window ---------------------------------------------------------------------------

UxGadgetWindow::UxGadgetWindow(HWND parent, Point position, int themeSelector)
    : mSelector(themeSelector)
{
    static const std::wstring name = ModuleClassName(kClassName, &UxGadgetWindow::Proc);
    static const bool registered = RegisterClass(WindowClass { name, 0, &UxGadgetWindow::Proc });
    (void)registered;
    mHwnd
        = CreateWindowEx(0, name.c_str(), L"", WS_CHILD | WS_VISIBLE, position.x, position.y, 1, 1, parent, 0, nullptr);
    if (!mHwnd)
        return;
    SetWindowLongPtr(mHwnd, GWLP_USERDATA, LONG_PTR(this));
    mTooltip = CreateWindowEx(WS_EX_TOPMOST, kTooltipClass, L"", WS_POPUP, 0, 0, 0, 0, mHwnd, 0, nullptr);
    // The pass may outlive the strip within one idle round: it holds the strip only through this.
    mAlive = std::make_shared<UxGadgetWindow*>(this);
    mIdleHandler = AddIdleHandler([alive = mAlive] {
        if (*alive)
            (*alive)->EnableCommands();
    });
}

UxGadgetWindow::~UxGadgetWindow()
{
    if (mAlive) {
        *mAlive = nullptr;
        RemoveIdleHandler(mIdleHandler);
    }
    if (mTooltip && IsWindow(mTooltip))
        DestroyWindow(mTooltip);
    if (mHwnd && IsWindow(mHwnd)) {
        SetWindowLongPtr(mHwnd, GWLP_USERDATA, 0);
        DestroyWindow(mHwnd);
    }
}

void UxGadgetWindow::EnableCommands()
{
    for (auto& gadget : mGadgets) {
        UxSizableButtonGadgetEnabler enabler(*gadget);
        CommandEnable(enabler);
    }
}

// One tool per gadget, over its bounds, with its tip.
void UxGadgetWindow::UpdateTools()
{
    if (!mTooltip)
        return;
    for (const auto& gadget : mGadgets) {
        TOOLINFOW tool;
        tool.hwnd = mHwnd;
        tool.uId = reinterpret_cast<UINT_PTR>(gadget.get());
        tool.rect = gadget->mBounds;
        tool.text = gadget->mTooltip;
        if (!SendMessage(mTooltip, TTM_ADDTOOLW, 0, reinterpret_cast<LPARAM>(&tool))) {
            SendMessage(mTooltip, TTM_NEWTOOLRECTW, 0, reinterpret_cast<LPARAM>(&tool));
            SendMessage(mTooltip, TTM_UPDATETIPTEXTW, 0, reinterpret_cast<LPARAM>(&tool));
        }
    }
}

void UxGadgetWindow::RelayToTooltip(UINT message, WPARAM wParam, LPARAM lParam)
{
    if (!mTooltip)
        return;
    MSG msg { mHwnd, message, wParam, lParam, 0 };
    SendMessage(mTooltip, TTM_RELAYEVENT, 0, reinterpret_cast<LPARAM>(&msg));
}

UxSizableButtonGadget* UxGadgetWindow::Insert(std::unique_ptr<UxSizableButtonGadget> gadget)
{
    gadget->mWindow = this;
    mGadgets.push_back(std::move(gadget));
    LayoutSession();
    return mGadgets.back().get();
}

void UxGadgetWindow::LayoutSession()
{
    int x = kGap, height = 0;
    for (auto& gadget : mGadgets) {
        const Size size = gadget->DesiredSize();
        gadget->mBounds = { x, kGap, x + size.cx, kGap + size.cy };
        x += size.cx;
        height = std::max(height, size.cy);
    }
    Rect r;
    GetWindowRect(mHwnd, &r);
    Point origin { r.left, r.top };
    ScreenToClient(GetParent(mHwnd), &origin);
    MoveWindow(mHwnd, origin.x, origin.y, x + kGap, height + 2 * kGap, true);
    InvalidateRect(mHwnd, nullptr, true);
    UpdateTools();
}

UxSizableButtonGadget* UxGadgetWindow::GadgetFromPoint(Point client) const
{
    for (const auto& gadget : mGadgets)
        if (gadget->mBounds.Contains(client))
            return gadget.get();
    return nullptr;
}

UxSizableButtonGadget* UxGadgetWindow::Gadget(int id) const
{
    for (const auto& gadget : mGadgets)
        if (gadget->Id() == id)
            return gadget.get();
    return nullptr;
}

void UxGadgetWindow::Paint(DC& dc)
{
    Rect client;
    GetClientRect(mHwnd, &client);
    theme::PaintToolbarBackground(dc, client);
    for (auto& gadget : mGadgets)
        gadget->Paint(dc);
}

LRESULT UxGadgetWindow::Proc(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam)
{
    auto* self = reinterpret_cast<UxGadgetWindow*>(GetWindowLongPtr(hwnd, GWLP_USERDATA));
    if (!self)
        return DefWindowProc(hwnd, message, wParam, lParam);
    return self->OnMessage(message, wParam, lParam);
}

LRESULT UxGadgetWindow::OnMessage(UINT message, WPARAM wParam, LPARAM lParam)
{
    const Point p { short(LOWORD(lParam)), short(HIWORD(lParam)) };
    switch (message) {
    case WM_PAINT: {
        PaintDC dc(mHwnd);
        Paint(dc);
        return 0;
    }
    case WM_MOUSEMOVE: {
        RelayToTooltip(message, wParam, lParam);
        if (!mTracking) {
            TRACKMOUSEEVENT request { TME_LEAVE, mHwnd };
            mTracking = TrackMouseEvent(&request);
        }
        UxSizableButtonGadget* under = GadgetFromPoint(p);
        if (under != mUnderMouse) {
            if (mUnderMouse)
                mUnderMouse->MouseLeave();
            mUnderMouse = under;
            if (under && under->IsEnabled())
                under->MouseEnter();
        }
        return 0;
    }
    case WM_MOUSELEAVE:
        RelayToTooltip(message, wParam, lParam);
        if (mUnderMouse)
            mUnderMouse->MouseLeave();
        mUnderMouse = nullptr;
        mTracking = false;
        return 0;
    case WM_LBUTTONDOWN:
        RelayToTooltip(message, wParam, lParam);
        OnStripButton(true);
        if (UxSizableButtonGadget* gadget = GadgetFromPoint(p); gadget && gadget->IsEnabled()) {
            mCaptured = gadget;
            SetCapture(mHwnd);
            gadget->LButtonDown(p);
        }
        return 0;
    case WM_LBUTTONUP:
        OnStripButton(false);
        if (mCaptured) {
            UxSizableButtonGadget* gadget = mCaptured;
            mCaptured = nullptr;
            ReleaseCapture();
            if (gadget->LButtonUp(p))
                SendMessage(GetParent(mHwnd), WM_COMMAND, MAKEWPARAM(gadget->Id(), 0), LPARAM(mHwnd));
        }
        return 0;
    case WM_RBUTTONDOWN:
        RelayToTooltip(message, wParam, lParam);
        if (UxSizableButtonGadget* gadget = GadgetFromPoint(p); gadget && gadget->IsEnabled())
            gadget->RButtonDown(p);
        return 0;
    case WM_THEMECHANGED:
        LayoutSession();
        return 0;
    default:
        break;
    }
    return DefWindowProc(mHwnd, message, wParam, lParam);
}

// ---- Borderless and no-erase strips ------------------------------------------------------------

UxBorderlessGadgetWindow::UxBorderlessGadgetWindow(HWND parent, Point position, int themeSelector)
    : UxGadgetWindow(parent, position, themeSelector)
{
    if (HWND hwnd = GetHandle()) {
        const auto style = static_cast<DWORD>(GetWindowLongPtr(hwnd, GWL_STYLE));
        SetWindowLongPtr(hwnd, GWL_STYLE, LONG_PTR((style & ~WS_BORDER) | WS_CHILD));
        mReady = true;
    }
}

LRESULT UxNoEraseGadgetWindow::OnMessage(UINT message, WPARAM wParam, LPARAM lParam)
{
    if (message == WM_ERASEBKGND)
        return 1;
    return UxBorderlessGadgetWindow::OnMessage(message, wParam, lParam);
}

} // namespace KELControls
