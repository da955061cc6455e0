#pragma once
// The control strips of the trace windows: a themed window that tiles button gadgets from left
// to right. Each gadget's glyph comes from an SVG resource rasterised at the monitor's DPI (a PNG
// of the same id scaled to size as the fall-back), and a gadget can flash: its face pulses while
// its low-priority timer ticks.
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "controls/LowPriorityTimer.h"
#include "controls/ResourceBitmap.h"
#include "ui/CommandEnabler.h"
#include "ui/Gdi.h"
#include "ui/Menu.h"

namespace KELControls {

class UxGadgetWindow;

// The flash overlay's alpha at a clock time in milliseconds: trunc(sin(phase * 3.7699111842 / 1000)
// * 128 + 128) over the milliseconds of the current minute, at most 255.
int FlashAlpha(std::uint64_t clockMs);

class UxSizableButtonGadget : public KEL::LowPriorityTimer {
public:
    enum : unsigned { kPaintPressed = 1, kPaintHot = 2 };
    // `glyph` and `secondImage` are resource ids (secondImage 1: none); the size is at 96 DPI.
    UxSizableButtonGadget(int id, WORD glyph, vx::ui::Size size96, WORD secondImage = 1, std::wstring text = {});
    ~UxSizableButtonGadget() override;

    int Id() const { return mId; }
    virtual const wchar_t* ClassName() const { return L"UxSizableButtonGadget"; }
    const vx::ui::Rect& Bounds() const { return mBounds; }
    unsigned PaintFlags() const { return mPaintFlags; }
    bool IsEnabled() const { return mEnabled; }
    void SetEnabled(bool enabled);
    // Pressed look (a checked command).
    void SetPressedLook(bool on);
    // Bits 1 and 2: flash while either is set and the timer runs (Start/Stop of the base).
    void SetFlash(unsigned flags);
    const std::wstring& Text() const { return mText; }
    // A gadget made with text takes a new one (repainted when it differs); others keep none.
    void ChangeText(const std::wstring& text);
    // The tip shown while the mouse rests on the gadget.
    const std::wstring& Tooltip() const { return mTooltip; }
    void SetTooltip(const std::wstring& text);
    unsigned Flash() const { return mFlash; }

    // Recreates the images when there are none or the window's DPI changed (Algorithms 2).
    void UpdateImages();
    const vx::ui::BitmapPtr& Glyph() const { return mGlyph.image; }
    // The desired size: the DPI-scaled glyph plus a 3-pixel margin, and the text beside it.
    vx::ui::Size DesiredSize();
    // Draws the gadget at its bounds, double-buffered.
    void Paint(vx::ui::DC& dc);

    // An image of `id` at `size96` times the scales: SVG, else the PNG scaled to size, else null.
    static vx::ui::BitmapPtr CreateImage(HMODULE module, WORD id, vx::ui::Size size96, double scaleX, double scaleY);

protected:
    void Tick() override;
    // Mouse buttons, `p` in the window's client coordinates. LButtonUp: true for a click that
    // sends the gadget's command.
    virtual void LButtonDown(vx::ui::Point p);
    virtual bool LButtonUp(vx::ui::Point p);
    virtual void RButtonDown(vx::ui::Point) { }
    void SetText(std::wstring text) { mText = std::move(text); }
    UxGadgetWindow* Window() const { return mWindow; }
    void Invalidate();

private:
    friend class UxGadgetWindow;
    struct Image {
        WORD id = 1;
        vx::ui::BitmapPtr image;
        double scaleX = 0, scaleY = 0;
    };
    void UpdateImage(Image& image, double scaleX, double scaleY);
    void MouseEnter();
    void MouseLeave();

protected:
    // The face: theme part by state, then the pressed or flashing overlay, over `rect`.
    virtual void PaintFace(vx::ui::DC& dc, const vx::ui::Rect& rect);

private:
    UxGadgetWindow* mWindow = nullptr;
    int mId;
    vx::ui::Size mSize96;
    std::wstring mText;
    std::wstring mTooltip;
    Image mGlyph, mSecond;
    vx::ui::Rect mBounds {};
    unsigned mPaintFlags = 0;
    unsigned mFlash = 0;
    bool mPressedLook = false;
    bool mEnabled = true;
};

// The command enabler of a gadget: the strip's command-update pass enables, checks and names it,
// and gives it its tip.
class UxSizableButtonGadgetEnabler : public vx::ui::CommandEnabler {
public:
    explicit UxSizableButtonGadgetEnabler(UxSizableButtonGadget& gadget)
        : vx::ui::CommandEnabler(static_cast<UINT>(gadget.Id()))
        , mGadget(gadget)
    {
    }
    void Enable(bool enable = true) override
    {
        SetHandled();
        mGadget.SetEnabled(enable);
    }
    // Only a gadget that shows text takes a new one; the gadget repaints when it changed.
    void SetText(const std::wstring& text) override
    {
        SetHandled();
        mGadget.ChangeText(text);
    }
    void SetCheck(int checked) override
    {
        SetHandled();
        mGadget.SetPressedLook(checked != 0);
    }
    void SetTooltip(const std::wstring& text) { mGadget.SetTooltip(text); }

private:
    UxSizableButtonGadget& mGadget;
};

// A button gadget whose face may cover only a rectangle of its own (in gadget coordinates; an
// empty one: the whole gadget), painted by the same rules.
class UxCustomButtonGadget : public UxSizableButtonGadget {
public:
    using UxSizableButtonGadget::UxSizableButtonGadget;
    const wchar_t* ClassName() const override { return L"UxCustomButtonGadget"; }
    const vx::ui::Rect& UserRect() const { return mUserRect; }
    void SetUserRect(const vx::ui::Rect& rect);

protected:
    void PaintFace(vx::ui::DC& dc, const vx::ui::Rect& rect) override;

private:
    vx::ui::Rect mUserRect {};
};

// A button that drops a menu below (or above) itself; the chosen command goes to `owner`.
class UxMenuGadget : public UxCustomButtonGadget {
public:
    UxMenuGadget(
        int id, vx::ui::HMENU menu, vx::ui::HWND owner, WORD glyph, vx::ui::Size size96, std::wstring text = {});
    const wchar_t* ClassName() const override { return L"UxMenuGadget"; }
    // What the last opening of the menu gave (0: dismissed).
    UINT LastCommand() const { return mLastCommand; }

protected:
    void LButtonDown(vx::ui::Point p) override;
    bool LButtonUp(vx::ui::Point p) override;
    void RButtonDown(vx::ui::Point p) override;
    vx::ui::HMENU Menu() const { return mMenu; }

private:
    void Open(vx::ui::Point screen, UINT flags);
    vx::ui::HMENU mMenu;
    vx::ui::HWND mOwner;
    UINT mLastCommand = 0;
};

// A menu gadget that owns its menu; an empty caption takes the text of the menu's first item.
class UxButtonMenuGadget : public UxMenuGadget {
public:
    UxButtonMenuGadget(
        int id, vx::ui::HMENU menu, vx::ui::HWND owner, WORD glyph, vx::ui::Size size96, const std::wstring& caption);
    ~UxButtonMenuGadget() override;
    const wchar_t* ClassName() const override { return L"UxButtonMenuGadget"; }
    const std::wstring& Caption() const { return mCaption; }

private:
    std::wstring mCaption;
};

class UxGadgetWindow {
public:
    // A child window of `parent` at `position` (height follows the gadgets). selector 1: "BUTTON".
    UxGadgetWindow(vx::ui::HWND parent, vx::ui::Point position, int themeSelector = 0);
    virtual ~UxGadgetWindow();
    UxGadgetWindow(const UxGadgetWindow&) = delete;
    UxGadgetWindow& operator=(const UxGadgetWindow&) = delete;

    vx::ui::HWND GetHandle() const { return mHwnd; }
    // Takes the gadget and lays the strip out again.
    UxSizableButtonGadget* Insert(std::unique_ptr<UxSizableButtonGadget> gadget);
    UxSizableButtonGadget* GadgetFromPoint(vx::ui::Point client) const;
    // The gadget of a command id, or null.
    UxSizableButtonGadget* Gadget(int id) const;
    // Lays the gadgets out at the window's present DPI and sizes the window to them.
    void LayoutSession();
    HMODULE Module() const { return mModule; }
    void SetModule(HMODULE module) { mModule = module; }
    void Paint(vx::ui::DC& dc);
    int ThemeSelector() const { return mSelector; }
    // The command-update pass: each gadget's enabler goes to CommandEnable. It runs whenever the
    // thread's queue has run dry, so a command's state follows what it acts on.
    void EnableCommands();
    // The tooltip control that shows the gadgets' tips.
    vx::ui::HWND TooltipWindow() const { return mTooltip; }

protected:
    // Answers the enabler of a gadget's command; untouched gadgets keep their state.
    virtual void CommandEnable(UxSizableButtonGadgetEnabler&) { }
    // A left button went down or up on the strip, before its gadgets take it.
    virtual void OnStripButton(bool /*down*/) { }
    virtual vx::ui::LRESULT OnMessage(UINT message, vx::ui::WPARAM wParam, vx::ui::LPARAM lParam);

private:
    friend class UxSizableButtonGadget;
    static vx::ui::LRESULT Proc(vx::ui::HWND, UINT, vx::ui::WPARAM, vx::ui::LPARAM);
    void UpdateTools();
    void RelayToTooltip(UINT message, vx::ui::WPARAM wParam, vx::ui::LPARAM lParam);
    vx::ui::HWND mHwnd = nullptr;
    vx::ui::HWND mTooltip = nullptr;
    int mIdleHandler = 0;
    std::shared_ptr<UxGadgetWindow*> mAlive;
    HMODULE mModule = nullptr;
    int mSelector;
    bool mTracking = false;
    UxSizableButtonGadget* mUnderMouse = nullptr;
    UxSizableButtonGadget* mCaptured = nullptr;
    std::vector<std::unique_ptr<UxSizableButtonGadget>> mGadgets;
};

// A strip without a border, a child of its parent; ready once its window is set up.
class UxBorderlessGadgetWindow : public UxGadgetWindow {
public:
    UxBorderlessGadgetWindow(vx::ui::HWND parent, vx::ui::Point position, int themeSelector = 0);
    bool IsReady() const { return mReady; }

private:
    bool mReady = false;
};

// A borderless strip that never erases its background: its paint covers every pixel, so an erase
// would only flicker. The trace windows' control strips are of this kind.
class UxNoEraseGadgetWindow : public UxBorderlessGadgetWindow {
public:
    using UxBorderlessGadgetWindow::UxBorderlessGadgetWindow;

protected:
    vx::ui::LRESULT OnMessage(UINT message, vx::ui::WPARAM wParam, vx::ui::LPARAM lParam) override;
};

} // namespace KELControls
