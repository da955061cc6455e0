#pragma once
// A balloon-shaped tip: a title with an icon, a content text, and a tail that points at an anchor
// on the screen. It closes when the mouse leaves (by distance, or by a hot rectangle), on a click,
// on a time-out or when the application is deactivated, and can delete itself once closed.
#include <functional>
#include <string>

#include "controls/SubclassedWindow.h"
#include "ui/Gdi.h"
#include "ui/Resources.h"

namespace WTL {

using vx::ui::HWND;

class CBalloonHelp : public KELControls::SubclassedWindow {
public:
    enum Options : unsigned {
        kShowCloseButton = 0x1,
        kShadedOutline = 0x2,
        kCloseOnLButtonDown = 0x8 | 0x10 | 0x20,
        kCloseOnMouseMove = 0x200,
        kCloseOnDeactivate = 0x800,
        kDeleteThisOnClose = 0x1000,
        kNoFadeIn = 0x2000,
        kNoFadeOut = 0x4000,
        kNoShow = 0x8000,
        kMoveTailBase = 0x10000,
        kTrackBalloon = 0x20000,
        kClickableLink = 0x40000,
        kUseHotRect = 0x80000,
    };
    static constexpr unsigned kDefaultLayout = 0x2111;

    CBalloonHelp();
    ~CBalloonHelp() override;

    // Creates (or, when the window exists, updates) the balloon and shows it unless kNoShow.
    // False when the window could not be made.
    virtual bool Create(HWND parent, const std::wstring& title, const std::wstring& content,
        const vx::ui::Point* anchor, unsigned options, const std::wstring& linkTarget = {}, unsigned timeoutMs = 0,
        unsigned layout = kDefaultLayout);
    void SetIcon(vx::ui::StockIcon icon);
    void SetAnchorPoint(vx::ui::Point screen) { mAnchor = screen; }
    void SetHotRect(const vx::ui::Rect& screen) { mHotRect = screen; }
    // A link below the content: its label, and what a click on it does (with kClickableLink).
    // Set before Reposition, which makes room for it.
    void SetLink(const std::wstring& label, std::function<void()> callback);
    // The content is laid out at least this wide (0: no minimum).
    void SetMinimumWidth(int width) { mMinimumWidth = width; }
    // Recomputes the size and places the tail's tip at the anchor, inside the anchor's monitor.
    void Reposition();
    // Closes (fading out unless kNoFadeOut or the user's tooltip effects say otherwise): the window
    // is destroyed when the posted WM_CLOSE arrives.
    void Hide();

    // Layout results (balloon-window coordinates), for the owner and tests.
    bool TailOnTop() const { return mTailOnTop; }
    vx::ui::Point TailBaseLeft() const { return mTail[0]; }
    vx::ui::Point TailTip() const { return mTail[2]; }
    int Margin() const { return mMargin; }
    // The client area is inside the margin on every side, with the tail outside it.
    // The close button (client coordinates; empty without option kShowCloseButton) and its
    // frame-control state.
    vx::ui::Rect CloseButton() const { return mCloseRect; }
    unsigned CloseButtonState() const { return mCloseState; }
    int TailHeight() const { return mTailHeight; }
    // The link's label (client coordinates; empty without a label).
    vx::ui::Rect LinkRect() const { return mLinkRect; }
    std::wstring Content() const { return mContent; }
    // The balloon attached to a window, or null.
    static CBalloonHelp* FromWindow(HWND hwnd);

protected:
    vx::ui::LRESULT WindowProc(UINT message, vx::ui::WPARAM wParam, vx::ui::LPARAM lParam) override;
    void WindowDestroyed() override;

private:
    // The frame (window coordinates): the background, the outline of the body and the tail, and
    // the shaded outline with kShadedOutline.
    void PaintFrame(vx::ui::DC& dc);
    // The contents (client coordinates): icon, title, close button, content and link.
    void PaintClient(vx::ui::DC& dc);
    // Where the client area starts in the window.
    vx::ui::Point ClientOffset() const;
    void OnMouseMove();
    // The "TOOLTIP" and "TEXTSTYLE" themes, opened again after a theme or colour change.
    void OpenThemes();
    void CloseThemes();
    void TrackCloseButton(vx::ui::Point client);
    void SetCloseState(unsigned state);
    void OnLButtonUp(vx::ui::Point client);
    // The content's size; `linkTop` gets the link's offset below the content's top.
    vx::ui::Size ContentSize(vx::ui::DC& dc, int* linkTop = nullptr, vx::ui::Size* link = nullptr) const;

    unsigned mOptions = 3;
    unsigned mLayout = kDefaultLayout;
    unsigned mTimeout = 0;
    int mMargin = 8;
    int mTailHeight = 20;
    std::wstring mTitle;
    std::wstring mContent;
    std::wstring mLinkTarget;
    vx::ui::Point mAnchor;
    vx::ui::Rect mHotRect;
    vx::ui::Point mShownAt;
    vx::ui::BitmapPtr mIcon;
    vx::ui::Point mTail[3];
    vx::ui::Rect mCloseRect;
    vx::ui::Rect mLinkRect;
    std::wstring mLinkLabel;
    std::function<void()> mLinkCallback;
    int mMinimumWidth = 0;
    unsigned mCloseState = 0x4000; // DFCS_FLAT; 0x200 marks "pressed"
    vx::ui::Region mShape;
    void* mTooltipTheme = nullptr;
    void* mTextTheme = nullptr;
    bool mTailOnTop = true;
};

} // namespace WTL
