#pragma once
// The small control windows beside a data pane: the horizontal scroll bar, the zoom strip (ratio
// menu, compress, expand, show-latest and horizontal auto-scale buttons) and the trace-mode strip
// of a preview. The pane drives them through the control interfaces; their commands call the
// pane back.
#include <memory>
#include <string>

#include "controls/GadgetWindow.h"
#include "foundation/core/Rational.h"
#include "ui/Controls.h"
#include "ui/Menu.h"

namespace VarnDraw {

class DataPane;
class PreviewDataPane;

class ControlBase {
public:
    virtual ~ControlBase() = default;
    // Shows the window at a non-empty rectangle, hides it at an empty one.
    virtual void SetRect(const vx::ui::Rect& rect) = 0;
    virtual bool IsEnabled() const = 0;
    virtual void Enable(bool enable) = 0;
    virtual void InvalidateWindow(bool erase) = 0;
};

class ScrollBar : public ControlBase {
public:
    virtual int GetPosition() const = 0;
    virtual void SetPosition(int position, bool redraw) = 0;
    virtual int GetValue() const = 0;
    virtual void SetValue(int value) = 0;
    // Line and page steps.
    virtual void GetPageMagnitude(int& line, int& page) const = 0;
    virtual void SetPageMagnitude(int line, int page) = 0;
    virtual bool GetScrollInfo(vx::ui::SCROLLINFO& info) const = 0;
    virtual void SetScrollInfo(const vx::ui::SCROLLINFO& info, bool redraw) = 0;
    virtual void Invalidate() = 0;
};

class ZoomControl : public ControlBase {
public:
    // "5k:1", "20:1", "x10", "x?" (three significant digits).
    static std::wstring FormatRatio(const KEL::Rational& ratio);
    // The ratio of a menu command 1130-1150; false for any other id.
    static bool RatioForCommand(UINT command, KEL::Rational& ratio);

    virtual void SetRatio(const KEL::Rational& ratio) = 0;
    virtual vx::ui::Size GetSize() const = 0;
    virtual void SetRatioText(const std::wstring& text) = 0;
    virtual void SetHintText(const std::wstring& text) = 0;
    // The follow flag of the pane: while the pane samples and does not follow, the show-latest
    // button flashes.
    virtual void SetSamplingState(bool following) = 0;
    virtual void Invalidate() = 0;
};

class PreviewControl : public ControlBase {
public:
    // Trace control: buttons 209, 210 and 211 pressed by the flags 2, 4 and 8.
    virtual void SetModeState(DWORD flags) = 0;
    // Preview control: source present (sampling can start) or not.
    virtual void SetSourcePresent(bool present) = 0;
    // Presses button 100 and runs its command.
    virtual void ReturnToDocumentView() = 0;
    // The width its buttons need (0: unknown).
    virtual int NaturalWidth() const { return 0; }
};

// Command ids of the zoom strip and the menu.
inline constexpr UINT kCmdExpand = 103, kCmdCompress = 109, kCmdRatioMenu = 214, kCmdAutoScaleX = 213,
                      kCmdShowLatest = 2149, kCmdScrollWhileSampling = 102;
inline constexpr UINT kCmdRatioFirst = 1130, kCmdRatioLast = 1150;
// Trace-mode buttons.
inline constexpr UINT kCmdStacked = 209, kCmdOverlaid = 210, kCmdSourceOnly = 211;

// The fixed-ratio menu "XCOMPRESSEXPAND".
vx::ui::HMENU CreateCompressExpandMenu();

// A window base shared by the control windows: the window handle and show/hide by rectangle.
class ControlWindow {
public:
    explicit ControlWindow(vx::ui::HWND hwnd = nullptr)
        : mHwnd(hwnd)
    {
    }
    vx::ui::HWND Handle() const { return mHwnd; }

protected:
    void Place(const vx::ui::Rect& rect);
    vx::ui::HWND mHwnd;
};

// The horizontal scroll bar: a scroll-bar control, child id 100 of the data window.
class ScrollBarWin final : public ScrollBar, public ControlWindow {
public:
    explicit ScrollBarWin(vx::ui::HWND parent);
    ~ScrollBarWin() override;

    void SetRect(const vx::ui::Rect& rect) override { Place(rect); }
    bool IsEnabled() const override;
    void Enable(bool enable) override;
    void InvalidateWindow(bool erase) override;
    int GetPosition() const override;
    void SetPosition(int position, bool redraw) override;
    int GetValue() const override { return mValue; }
    void SetValue(int value) override { mValue = value; }
    void GetPageMagnitude(int& line, int& page) const override;
    void SetPageMagnitude(int line, int page) override;
    bool GetScrollInfo(vx::ui::SCROLLINFO& info) const override;
    void SetScrollInfo(const vx::ui::SCROLLINFO& info, bool redraw) override;
    void Invalidate() override { InvalidateWindow(false); }

private:
    int mValue = 0;
    int mLine = 1, mPage = 1;
};

// The owning window hears of a left button on a strip: WM_USER+1 with 0 when it goes down and 1
// when it comes up.
inline constexpr UINT kStripButtonMessage = vx::ui::WM_USER + 1;

// The zoom strip: [2149] [213] 109 ratio-menu 103.
class ZoomControlWin final : public ZoomControl, public KELControls::UxNoEraseGadgetWindow {
public:
    // flags: bit 31 adds the show-latest button, bit 29 the horizontal auto-scale button.
    ZoomControlWin(vx::ui::HWND parent, DataPane& pane, DWORD flags);
    ~ZoomControlWin() override;

    void SetRect(const vx::ui::Rect& rect) override;
    bool IsEnabled() const override;
    void Enable(bool enable) override;
    void InvalidateWindow(bool erase) override;
    void SetRatio(const KEL::Rational& ratio) override;
    vx::ui::Size GetSize() const override;
    void SetRatioText(const std::wstring& text) override;
    void SetHintText(const std::wstring& text) override { mHint = text; }
    void SetSamplingState(bool following) override;
    void Invalidate() override { InvalidateWindow(false); }

    const std::wstring& RatioText() const { return mRatioText; }
    // The show-latest button's state: 3 while it flashes, else 0.
    int ShowLatestState() const { return mShowLatestState; }
    // Runs a command of the strip; false when it is not one of the strip's.
    bool RunCommand(UINT command);

protected:
    void CommandEnable(KELControls::UxSizableButtonGadgetEnabler& enabler) override;
    void OnStripButton(bool down) override;

private:
    DataPane& mPane;
    vx::ui::HMENU mMenu = nullptr;
    KELControls::UxSizableButtonGadget* mShowLatest = nullptr;
    KELControls::UxSizableButtonGadget* mRatioButton = nullptr;
    std::wstring mRatioText, mHint;
    int mShowLatestState = 0;
    bool mEnabled = true;
};

// The trace-mode strip of a preview: 209, 210, spacer, 211.
class TraceControlWin final : public PreviewControl, public KELControls::UxNoEraseGadgetWindow {
public:
    TraceControlWin(vx::ui::HWND parent, PreviewDataPane& pane);
    void SetRect(const vx::ui::Rect& rect) override;
    bool IsEnabled() const override;
    void Enable(bool enable) override;
    void InvalidateWindow(bool erase) override;
    void SetModeState(DWORD flags) override;
    void SetSourcePresent(bool) override { }
    void ReturnToDocumentView() override { }
    bool RunCommand(UINT command);
    DWORD ModeState() const { return mMode; }
    int NaturalWidth() const override { return mNaturalWidth; }

protected:
    void CommandEnable(KELControls::UxSizableButtonGadgetEnabler& enabler) override;
    void OnStripButton(bool down) override;

private:
    PreviewDataPane& mPane;
    KELControls::UxSizableButtonGadget* mButtons[3] {};
    DWORD mMode = 0;
    bool mStacked = true;
    int mNaturalWidth = 0;
};

// The sampling strip of a preview: [100] 101 102.
class PreviewControlWin final : public PreviewControl, public KELControls::UxNoEraseGadgetWindow {
public:
    // flags bit 30 leaves out the document-view button 100.
    PreviewControlWin(vx::ui::HWND parent, PreviewDataPane& pane, DWORD flags);
    void SetRect(const vx::ui::Rect& rect) override;
    bool IsEnabled() const override;
    void Enable(bool enable) override;
    void InvalidateWindow(bool erase) override;
    void SetModeState(DWORD) override { }
    void SetSourcePresent(bool present) override;
    void ReturnToDocumentView() override;
    bool RunCommand(UINT command);
    // The pressed button (100, 101 or 102).
    UINT Pressed() const { return mPressed; }
    bool HasButton(UINT command) const;
    bool ButtonEnabled(UINT command) const;
    int NaturalWidth() const override { return mNaturalWidth; }

protected:
    void CommandEnable(KELControls::UxSizableButtonGadgetEnabler& enabler) override;
    void OnStripButton(bool down) override;

private:
    void Press(UINT command);
    PreviewDataPane& mPane;
    KELControls::UxSizableButtonGadget* mButtons[3] {};
    UINT mPressed = 0;
    bool mEnabled = true;
    int mNaturalWidth = 0;
};

} // namespace VarnDraw
