#pragma once
// The error marker beside a dialog field: a static control showing a small error, warning or
// information icon, hidden while the field is valid. Hovering or clicking shows its message in a
// balloon (or, in popup mode, a plain popup after a short hover).
#include <functional>
#include <memory>
#include <string>

#include "controls/SubclassedWindow.h"
#include "ui/Gdi.h"
#include "ui/Resources.h"

namespace KEL {
class Popup;
}
namespace WTL {
class CBalloonHelp;
}

namespace KELControls {

class ErrorProvider : public SubclassedWindow {
public:
    enum Option : unsigned {
        kBalloon = 1,
        kPopup = 2,
        kNoDisplay = 4,
        kErrorIcon = 8,
        kWarningIcon = 16,
        kInfoIcon = 32,
        kLink = 64,
    };

    // Takes over the static control `id` of `parent`, hides it and sets it up.
    ErrorProvider(HWND parent, int id);
    ~ErrorProvider() override;

    unsigned Options() const { return mOptions; }
    void SetOptions(unsigned options);
    void SetTitle(const std::wstring& title) { mTitle = title; }
    void SetMessage(const std::wstring& message) { mMessage = message; }
    const std::wstring& Title() const { return mTitle; }
    const std::wstring& Message() const { return mMessage; }
    void SetClickCallback(std::function<void()> callback) { mClick = std::move(callback); }
    // With option kLink, a link of this text below the balloon's message runs the callback.
    void SetLinkText(const std::wstring& text) { mLinkText = text; }
    void SetLinkCallback(std::function<void()> callback) { mLinkCallback = std::move(callback); }

    // The icon size: 12 pixels at 96 DPI, scaled by the window's DPI (truncated).
    vx::ui::Size IconSize() const;
    // The balloon now shown, or null.
    HWND BalloonWindow() const;
    // The popup of popup mode, or null.
    HWND PopupWindow() const;

    // Keeps the first bit of each exclusive group (icon: 16, 8, 32, default 8; display: 1, 2, 4,
    // default 1).
    static unsigned NormaliseOptions(unsigned options);
    // A small stock icon scaled to `size`, alpha kept; null when it cannot be made.
    static vx::ui::BitmapPtr ScaledIcon(vx::ui::StockIcon icon, vx::ui::Size size, int dpi);

protected:
    LRESULT WindowProc(UINT message, WPARAM wParam, LPARAM lParam) override;

private:
    void Setup();
    void Paint(vx::ui::DC& dc);
    void ShowBalloon();
    void TakeInBalloon(WTL::CBalloonHelp& balloon, const vx::ui::Rect& hot);
    void OnTimer();

    unsigned mOptions = kBalloon | kErrorIcon;
    // The three icons, made when the marker is first painted: a dialog whose fields are never
    // in error (or that is never shown) does not load them.
    void LoadImages();
    std::unique_ptr<vx::ui::ImageList> mImages;
    bool mImagesLoaded = false;
    std::wstring mTitle;
    std::wstring mMessage;
    vx::ui::Point mLastMouse { -1000, -1000 };
    std::function<void()> mClick;
    std::wstring mLinkText;
    std::function<void()> mLinkCallback;
    HWND mBalloon = nullptr;
    std::unique_ptr<KEL::Popup> mPopup;
    bool mPopupShown = false;
    int mElapsed = 0;
    bool mTracking = false;
};

} // namespace KELControls
