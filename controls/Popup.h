#pragma once
// A minimal tooltip: a non-activating popup with one text near the mouse, sized to the text
// (lines wrap at 300 pixels) and kept inside the work area of its monitor.
#include <string>

#include "controls/SubclassedWindow.h"
#include "ui/Gdi.h"

namespace KEL {

using vx::ui::HWND;

class Popup : public KELControls::SubclassedWindow {
public:
    static constexpr vx::ui::Colour kBackground = vx::ui::Colour::Rgb(255, 255, 225);

    // Made at once, at the point moved by (2, 2); shown (without activation) only while the host
    // application is visible.
    Popup(HWND parent, vx::ui::Point screen, const std::wstring& text);
    ~Popup() override;
    const std::wstring& Text() const { return mText; }
    // The popup's own font: the 8-point tool-bar font at the DPI of the monitor it opens on.
    const vx::ui::Font& GetFont() const { return mFont; }

    // Makes the window again when it is gone (the constructor makes it once), placed inside the
    // work area, and shows it without activation while the host application is visible. False
    // when it cannot be made.
    bool Create();

protected:
    vx::ui::LRESULT WindowProc(UINT message, vx::ui::WPARAM wParam, vx::ui::LPARAM lParam) override;

private:
    HWND mParent;
    vx::ui::Point mAt;
    std::wstring mText;
    vx::ui::Font mFont;
};

// The host application counts as visible when it has no main window or its main window is.
bool IsHostApplicationVisible();

} // namespace KEL
