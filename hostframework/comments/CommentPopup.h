#pragma once
// The small window a comment opens when the user clicks its marker: a miniature of the marker, a
// bold time label "t = ..." and the comment's text wrapped below, placed just above the clicked
// point and kept inside the monitor's work area.
#include <string>

#include "foundation/base/SimpleUnknownImp.h"
#include "hostframework/interfaces/CommentInterfaces.h"
#include "ui/Geometry.h"
#include "ui/Messages.h"

namespace vx::hf {

// The popup's parts for a font of average character width `cw` and line height `ch` (bold width
// `bcw`) and a text of `textLength` characters: 40 characters a line, at most 7 lines.
struct CommentPopupLayout {
    vx::ui::Rect marker, text;
    vx::ui::Point label;
    int width = 0, height = 0;
    int lines = 0;
};
CommentPopupLayout LayOutCommentPopup(int cw, int ch, int bcw, std::size_t textLength);

// Where the popup goes: above the anchor, its right end at least 10 pixels inside the work area,
// never left of it; below the anchor by `fallbackGap` when there is no room above.
vx::ui::Point PlaceCommentPopup(
    vx::ui::Point anchor, int width, int height, int fallbackGap, const vx::ui::Rect& workArea);

// "t = " and the time text, 31 characters at most.
std::wstring CommentTimeLabel(const std::wstring& timeText);

// True unless the host's value "kel\application\visible" says false (also without a store).
bool IsHostApplicationVisible();

// A comment whose display flags have this bit never opens a popup.
inline constexpr DWORD kNoPopupFlag = 0x00080000;

// Opens the popup of `comment` for its marker rectangle `marker` (client coordinates of
// `window`): anchored on the middle of its top edge, falling back below it by its height. S_FALSE
// and no popup for a comment that opens none; *out gets the popup with a reference.
HRESULT ShowCommentPopup(IVarnComment* comment, vx::ui::HWND window, const vx::ui::Rect& marker, std::wstring timeText,
    ICommentPopupWindow** out);

class CommentPopup final : public SimpleUnknownImp1<ICommentPopupWindow, 0> {
public:
    // Made hidden-host aware: the window is shown (without activating) only when the host is
    // visible.
    CommentPopup(
        vx::ui::HWND owner, vx::ui::Point anchor, IVarnComment* comment, std::wstring timeText, int fallbackGap);
    ~CommentPopup() override;

    HRESULT GetComment(IVarnComment** out) override;
    HRESULT Refresh() override;

    vx::ui::HWND Handle() const noexcept { return mHandle; }
    const CommentPopupLayout& Layout() const noexcept { return mLayout; }
    vx::ui::LRESULT WindowProc(UINT message, vx::ui::WPARAM wParam, vx::ui::LPARAM lParam);
    static const wchar_t* ClassName() { return L"CommentPopup"; }

private:
    void Paint();

    std::wstring mTimeText;
    IVarnComment* mComment; // held
    vx::ui::Point mAnchor;
    int mFallbackGap;
    CommentPopupLayout mLayout;
    vx::ui::HWND mHandle = nullptr;
};

} // namespace vx::hf
