#pragma once
// The comment a document builds for one event (its colour and text from the event's draw class),
// and the message by which it asks the host to show a comment.
#include <atomic>
#include <cstdint>
#include <string>

#include "foundation/base/SimpleUnknownImp.h"
#include "hostframework/interfaces/CommentInterfaces.h"
#include "hostframework/interfaces/EventDrawInterfaces.h"
#include "hostframework/interfaces/MessageInterfaces.h"

namespace vx::hf {

class EventDataComment final : public SimpleUnknownImp1<IVarnComment, 0> {
public:
    // The comment of the event `record` (`bytes` long) at {offset, record number} of `channel`;
    // `draw` (may be null) gives its colour and text, `kind` is its draw class key. With no draw
    // class the comment is white and has no text.
    EventDataComment(std::int32_t recordNumber, std::int32_t offset, DWORD channel, const void* record,
        std::size_t bytes, DWORD kind, IEventDraw* draw);

    HRESULT GetInfo(std::int64_t* position, DWORD* channel, DWORD* value, IKELString** text) override;
    HRESULT GetKind(DWORD* kind) override { return kind ? (*kind = mKind, S_OK) : E_INVALIDARG; }
    HRESULT GetChannel(DWORD* channel) override { return channel ? (*channel = mChannel, S_OK) : E_INVALIDARG; }
    HRESULT GetAbsoluteOffset(LONG* offset) override { return offset ? (*offset = mOffset, S_OK) : E_INVALIDARG; }
    HRESULT GetAbsolutePosition(std::int64_t* position) override;
    HRESULT GetDisplayInfo(DWORD* flags) override { return flags ? (*flags = mDisplayFlags, S_OK) : E_INVALIDARG; }
    HRESULT GetFillColour(WORD selected, DWORD* colour) override;
    HRESULT GetMarkerRect(LONG dpi, LONG x, LONG y, LONG* rect) override;
    LONG IsNotLess(IVarnComment* other) override;
    LONG IsDifferent(IVarnComment* other) override;
    HRESULT SetText(const wchar_t* text) override;
    HRESULT Draw(vx::ui::DC* dc, vx::ui::DC* target, const CommentDrawInfo* info) override;
    HRESULT HitTest(vx::ui::DC* dc, vx::ui::Point at, vx::ui::Point point, DWORD* code) override;
    HRESULT Highlight(vx::ui::HWND window, vx::ui::Point point, DWORD duration) override;
    HRESULT AnimateShape(
        vx::ui::HWND window, DWORD shape, const vx::ui::Rect* from, const vx::ui::Rect* to, DWORD duration) override;

    // Comments with display flags other than 0 draw their label (the host's own annotations).
    void SetDisplayFlags(DWORD flags) noexcept { mDisplayFlags = flags; }
    const std::wstring& Text() const noexcept { return mText; }
    DWORD FillColour() const noexcept { return mFill; }

private:
    DWORD mKind;
    DWORD mValue = 0;
    std::int32_t mOffset;
    std::int32_t mRecord;
    DWORD mChannel;
    std::wstring mText;
    DWORD mDisplayFlags = 0;
    DWORD mFill = 0xFFFFFF;
};

// The marker rectangle of a comment drawn at (x, y): r = 3 * max(dpi / 96, 1); (x - r, y,
// x + 1 + r, y + 1 + 2r).
void CommentMarkerRect(LONG dpi, LONG x, LONG y, LONG* rect);

// Compares two comments field by field: record, offset, value, kind, channel, text. Negative,
// zero or positive.
int CompareComments(IVarnComment* a, IVarnComment* b);

// The message that asks the host to show a comment. It holds its comment until its last release.
class ShowComment2Msg final : public SimpleUnknownImp2<IMessage, IShowComment2Message, 0> {
public:
    ShowComment2Msg(IVarnComment* comment, DWORD value);
    ~ShowComment2Msg() override;

    HRESULT GetId(DWORD* id) override { return id ? (*id = kMessageId, S_OK) : E_POINTER; }
    HRESULT GetFlags(DWORD* flags) override { return flags ? (*flags = 1, S_OK) : E_POINTER; }
    HRESULT Clone(IMessage** out) override;
    HRESULT GetData(IUnknown** out) override;
    HRESULT SetSender(ULONGLONG sender) override { return mSender = sender, S_OK; }
    HRESULT IsSender(ULONGLONG sender, WORD* isSender) override;
    HRESULT GetComment(IVarnComment** out) override;
    HRESULT GetValue(DWORD* value) override { return value ? (*value = mValue, S_OK) : E_POINTER; }

    static constexpr DWORD kMessageId = IShowComment2Message::kMessageId;

private:
    IVarnComment* mComment; // held
    DWORD mValue;
    ULONGLONG mSender = 0;
};

} // namespace vx::hf
