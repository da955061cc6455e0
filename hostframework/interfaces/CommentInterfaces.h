#pragma once
// Comments: small objects the host draws at a point of a recording (a disc on the trace, a label)
// and shows in a popup when clicked; the host's own comments on a channel; and the message by
// which a document asks the host to show one.
#include <cstdint>

#include "com/Unknown.h"
#include "foundation/IKELString.h"
#include "ui/Geometry.h"
#include "ui/Messages.h"

namespace vx::ui {
class DC;
}

// Where and how a comment is drawn: its point on the trace, the bottom of the line down from it
// (or the alternative bottom, with kUseAlternativeBottom and a value of at least 1) and flags.
struct CommentDrawInfo {
    static constexpr DWORD kLabel = 0x00080000; // the text beside the line
    static constexpr DWORD kLine = 0x00100000; // the dotted line down to the bottom
    static constexpr DWORD kLineToo = 0x00800000; // as kLine
    static constexpr DWORD kSelected = 0x01000000; // the disc black
    static constexpr DWORD kUseAlternativeBottom = 0x02000000;
    vx::ui::Point point;
    LONG bottom = 0;
    LONG alternativeBottom = 0;
    DWORD flags = 0;
};

struct IVarnComment : IUnknown {
    static constexpr IID kIid = vx::com::MakeGuid("{2CA4E021-3F50-11D1-9980-00C0DF492697}");
    // Record number in the low half of *position, offset in the high half; each out may be null.
    // *text gets a reference.
    virtual HRESULT GetInfo(std::int64_t* position, DWORD* channel, DWORD* value, IKELString** text) = 0;
    // The class key of the event's draw class.
    virtual HRESULT GetKind(DWORD* kind) = 0;
    virtual HRESULT GetChannel(DWORD* channel) = 0;
    // The comment's sample offset within its record.
    virtual HRESULT GetAbsoluteOffset(LONG* offset) = 0;
    // {offset, record} packed: offset in the low half, record in the high half.
    virtual HRESULT GetAbsolutePosition(std::int64_t* position) = 0;
    // Display flags: 0x00080000 keeps the comment from opening a popup.
    virtual HRESULT GetDisplayInfo(DWORD* flags) = 0;
    // The disc's fill colour (0x00BBGGRR); black when selected.
    virtual HRESULT GetFillColour(WORD selected, DWORD* colour) = 0;
    // The marker rectangle of the comment drawn at (x, y) at `dpi` dots per inch: left, top,
    // right, bottom.
    virtual HRESULT GetMarkerRect(LONG dpi, LONG x, LONG y, LONG* rect) = 0;
    // 1 when this comment is not less than the other (record, offset, value, kind, channel, texts).
    virtual LONG IsNotLess(IVarnComment* other) = 0;
    // 1 when any of those fields differs; 0 for the same object.
    virtual LONG IsDifferent(IVarnComment* other) = 0;
    virtual HRESULT SetText(const wchar_t* text) = 0;
    // Draws the comment on `dc`: its label, its dotted line and its disc. `target` is the context
    // of the window itself (the same as `dc` when drawing straight on the window).
    virtual HRESULT Draw(vx::ui::DC* dc, vx::ui::DC* target, const CommentDrawInfo* info) = 0;
    // S_OK and *code 4 when `point` lies in the marker of the comment drawn at `at` on `dc`;
    // S_FALSE and 0 otherwise.
    virtual HRESULT HitTest(vx::ui::DC* dc, vx::ui::Point at, vx::ui::Point point, DWORD* code) = 0;
    // Flashes the marker drawn at `point` (client coordinates of `window`) for `duration` ms.
    virtual HRESULT Highlight(vx::ui::HWND window, vx::ui::Point point, DWORD duration) = 0;
    // Draws a shape (0 rectangle, 1 ellipse) moving from one rectangle onto another (client
    // coordinates of `window`) in ten steps within `duration` ms, leaving nothing behind.
    virtual HRESULT AnimateShape(
        vx::ui::HWND window, DWORD shape, const vx::ui::Rect* from, const vx::ui::Rect* to, DWORD duration)
        = 0;

protected:
    ~IVarnComment() = default;
};

// The host's comments on one channel of one record, handed out in position order.
struct IEnumHostComments : IUnknown {
    static constexpr IID kIid = vx::com::MakeGuid("{7C1D3A40-5E2B-4F8C-9A61-0B4E2D7F3C95}");
    // The next comment up to `limit` (forwards: positions up to it; backwards: down to it):
    // S_OK with *out held for the caller, S_FALSE with null when there is none.
    virtual HRESULT Next(LONG limit, IVarnComment** out) = 0;

protected:
    ~IEnumHostComments() = default;
};

// The host message that asks the host to show a comment (id 0x800C005A).
struct IShowComment2Message : IUnknown {
    static constexpr IID kIid = vx::com::MakeGuid("{FB92FE2E-0523-4B26-9EAF-F18F3B304B40}");
    static constexpr DWORD kMessageId = 0x800C005Au;
    // The comment, with a reference (S_OK also for a null out argument).
    virtual HRESULT GetComment(IVarnComment** out) = 0;
    virtual HRESULT GetValue(DWORD* value) = 0;

protected:
    ~IShowComment2Message() = default;
};

// The popup a comment opens when its marker is clicked.
struct ICommentPopupWindow : IUnknown {
    static constexpr IID kIid = vx::com::MakeGuid("{3F6A1C20-8B4D-4E57-A2C9-5D18E7B04A63}");
    // The comment, with a reference; E_INVALIDARG for a null argument.
    virtual HRESULT GetComment(IVarnComment** out) = 0;
    // Paints the whole popup again at once.
    virtual HRESULT Refresh() = 0;

protected:
    ~ICommentPopupWindow() = default;
};
