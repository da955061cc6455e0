#pragma once
// A dialog push button with a picture and its caption: hot tracking, an optional toggle mode, a
// themed face ("BUTTON", or the flat "TOOLBAR" look), a grey glyph when disabled and a tooltip
// popup once the mouse has rested on it.
#include <memory>
#include <string>

#include "controls/Popup.h"
#include "controls/SubclassedWindow.h"
#include "res/Resource.h"
#include "ui/Gdi.h"

namespace KELControls {

// The disabled look of a glyph: every pixel turned grey by the colour matrix (each channel
// 0.22288311 (red, green) or 0.24626459 (blue) times the sum of the three, plus 0.4, at most 1),
// alpha kept; pixels of the key colour 0xC0C0C0 become transparent.
vx::ui::BitmapPtr GreyGlyph(const vx::ui::BitmapPtr& glyph);

class TBmpTxtButton : public SubclassedWindow {
public:
    // Glyph-button state flags.
    enum : unsigned { kPressed = 1, kHighlighted = 2, kDefault = 4, kDisabled = 8, kShowText = 16 };
    static constexpr UINT kTooltipTimer = 1;
    static constexpr UINT kTooltipPeriodMs = 500;
    static constexpr int kTooltipLifetimeMs = 5000;

    // Takes over the dialog's button `id`.
    TBmpTxtButton(HWND parent, int id, std::wstring tooltip);
    ~TBmpTxtButton() override;

    // The glyph from the bitmap resource `id` of `module` (null: this program); false when missing.
    bool SetBitmap(WORD id, HMODULE module = nullptr);
    void SetGlyph(vx::ui::BitmapPtr glyph);
    void SetTooltip(const std::wstring& text) { mTooltip = text; }
    // "BUTTON" (the default) or "TOOLBAR" (flat).
    void SetThemeClass(const std::wstring& themeClass);
    void SetToggleMode(bool toggle) { mToggleMode = toggle; }
    // The background from the parent's WM_CTLCOLORBTN brush instead of the face colour.
    void SetParentBackground(bool on) { mParentBackground = on; }

    unsigned State() const { return mState; }
    bool IsHot() const { return mHot; }
    bool IsToggledOn() const { return mToggleOn; }
    bool TooltipSuppressed() const { return mSuppressed; }
    int TooltipElapsedMs() const { return mElapsedMs; }
    // The tooltip popup's window, or null.
    HWND TooltipWindow() const { return mPopup ? mPopup->GetHandle() : nullptr; }

    // Draws the whole button into `dc` (client coordinates).
    void Paint(vx::ui::DC& dc);

protected:
    LRESULT WindowProc(UINT message, WPARAM wParam, LPARAM lParam) override;

private:
    void OnMouseMove(vx::ui::Point p);
    void HotOff();
    void OnTimer();
    void CloseTooltip();
    void Repaint();
    bool IsToolbar() const { return mThemeClass == L"TOOLBAR"; }
    void SetPressed(bool pressed);
    void PaintFace(vx::ui::DC& dc, const vx::ui::Rect& client);

    std::wstring mThemeClass = L"BUTTON";
    std::wstring mTooltip;
    std::unique_ptr<KEL::Popup> mPopup;
    vx::ui::BitmapPtr mGlyph;
    unsigned mState = kShowText;
    bool mHot = false, mSuppressed = false, mKeyboardFocus = false, mTracking = false;
    bool mTooltipShown = false, mTimerRunning = false;
    int mElapsedMs = 0;
    bool mToggleMode = false, mToggleOn = false;
    bool mParentBackground = false;
};

} // namespace KELControls
