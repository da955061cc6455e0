#include "hostframework/comments/Comments.h"

#include <algorithm>

#include "foundation/String.h"
#include "foundation/base/ExceptionBoundary.h"
#include "hostframework/comments/CommentDrawing.h"

namespace vx::hf {

namespace {

struct Fields {
    std::int64_t position = 0;
    DWORD channel = 0, value = 0, kind = 0;
    std::wstring text;
};

Fields FieldsOf(IVarnComment* c)
{
    Fields f;
    IKELString* text = nullptr;
    c->GetInfo(&f.position, &f.channel, &f.value, &text);
    c->GetKind(&f.kind);
    KEL::String s;
    s.AssignRep(text);
    f.text = s.ToWString();
    return f;
}

} // namespace

void CommentMarkerRect(LONG dpi, LONG x, LONG y, LONG* rect)
{
    const LONG r = 3 * std::max<LONG>(dpi / 96, 1);
    rect[0] = x - r;
    rect[1] = y;
    rect[2] = x + 1 + r;
    rect[3] = y + 1 + 2 * r;
}

int CompareComments(IVarnComment* a, IVarnComment* b)
{
    const Fields x = FieldsOf(a), y = FieldsOf(b);
    // Record (low half), then offset (high half), value, kind, channel and text.
    const auto record = [](std::int64_t p) { return std::int32_t(p & 0xFFFFFFFF); };
    const auto offset = [](std::int64_t p) { return std::int32_t(p >> 32); };
    if (record(x.position) != record(y.position))
        return record(x.position) < record(y.position) ? -1 : 1;
    if (offset(x.position) != offset(y.position))
        return offset(x.position) < offset(y.position) ? -1 : 1;
    if (x.value != y.value)
        return x.value < y.value ? -1 : 1;
    if (x.kind != y.kind)
        return x.kind < y.kind ? -1 : 1;
    if (x.channel != y.channel)
        return x.channel < y.channel ? -1 : 1;
    return x.text.compare(y.text) < 0 ? -1 : x.text == y.text ? 0 : 1;
}

EventDataComment::EventDataComment(std::int32_t recordNumber, std::int32_t offset, DWORD channel, const void* record,
    std::size_t bytes, DWORD kind, IEventDraw* draw)
    : mKind(kind)
    , mOffset(offset)
    , mRecord(recordNumber)
    , mChannel(channel)
{
    // A kind without a draw class gives a plain comment, never a call through nothing.
    if (kind != 0 && draw && record) {
        DWORD colour = 0xFFFFFF;
        if (SUCCEEDED(draw->GetMarkColour(record, static_cast<ULONG>(bytes), &colour)))
            mFill = colour;
        BSTR text = nullptr;
        if (SUCCEEDED(draw->GetHintText(record, static_cast<ULONG>(bytes), &text)) && text)
            mText = text;
        SysFreeString(text);
    }
}

HRESULT EventDataComment::GetInfo(std::int64_t* position, DWORD* channel, DWORD* value, IKELString** text)
{
    if (position)
        *position = std::int64_t(std::uint32_t(mRecord)) | (std::int64_t(mOffset) << 32);
    if (channel)
        *channel = mChannel;
    if (value)
        *value = mValue;
    if (text)
        *text = KEL::String(mText.c_str()).CopyRep();
    return S_OK;
}

HRESULT EventDataComment::GetAbsolutePosition(std::int64_t* position)
{
    if (!position)
        return E_INVALIDARG;
    *position = std::int64_t(std::uint32_t(mOffset)) | (std::int64_t(mRecord) << 32);
    return S_OK;
}

HRESULT EventDataComment::GetFillColour(WORD selected, DWORD* colour)
{
    if (!colour)
        return E_INVALIDARG;
    *colour = selected ? 0 : mFill;
    return S_OK;
}

HRESULT EventDataComment::GetMarkerRect(LONG dpi, LONG x, LONG y, LONG* rect)
{
    if (!rect)
        return E_INVALIDARG;
    CommentMarkerRect(dpi, x, y, rect);
    return S_OK;
}

LONG EventDataComment::IsNotLess(IVarnComment* other)
{
    if (!other)
        return 1;
    return CompareComments(this, other) >= 0 ? 1 : 0;
}

LONG EventDataComment::IsDifferent(IVarnComment* other)
{
    if (other == this)
        return 0;
    if (!other)
        return 1;
    return CompareComments(this, other) != 0 ? 1 : 0;
}

HRESULT EventDataComment::SetText(const wchar_t* text)
{
    mText = text ? text : L"";
    return S_OK;
}

HRESULT EventDataComment::Draw(vx::ui::DC* dc, vx::ui::DC* target, const CommentDrawInfo* info)
{
    if (!dc || !info)
        return E_INVALIDARG;
    return Guarded("event comment: draw", [&] {
        DrawEventComment(this, *dc, target, *info);
        return S_OK;
    });
}

HRESULT EventDataComment::HitTest(vx::ui::DC* dc, vx::ui::Point at, vx::ui::Point point, DWORD* code)
{
    if (!dc || !code)
        return E_INVALIDARG;
    LONG r[4];
    CommentMarkerRect(dc->GetDeviceCaps(vx::ui::LOGPIXELSY), at.x, at.y, r);
    const bool inside = point.x >= r[0] && point.x < r[2] && point.y >= r[1] && point.y < r[3];
    *code = inside ? 4 : 0;
    return inside ? S_OK : S_FALSE;
}

HRESULT EventDataComment::Highlight(vx::ui::HWND window, vx::ui::Point point, DWORD duration)
{
    return Guarded("event comment: highlight", [&] {
        HighlightComment(this, window, point, int(duration));
        return S_OK;
    });
}

HRESULT EventDataComment::AnimateShape(
    vx::ui::HWND window, DWORD shape, const vx::ui::Rect* from, const vx::ui::Rect* to, DWORD duration)
{
    if (!from || !to)
        return E_INVALIDARG;
    return Guarded("event comment: animate", [&] {
        AnimateCommentShape(window, int(shape), *from, *to, int(duration));
        return S_OK;
    });
}

ShowComment2Msg::ShowComment2Msg(IVarnComment* comment, DWORD value)
    : mComment(comment)
    , mValue(value)
{
    if (mComment)
        mComment->AddRef();
}

ShowComment2Msg::~ShowComment2Msg()
{
    if (mComment)
        mComment->Release();
}

HRESULT ShowComment2Msg::Clone(IMessage** out)
{
    if (!out)
        return E_POINTER;
    auto* copy = new ShowComment2Msg(mComment, mValue);
    copy->AddRef();
    *out = copy;
    return S_OK;
}

HRESULT ShowComment2Msg::GetData(IUnknown** out)
{
    if (out)
        *out = nullptr;
    return S_FALSE;
}

HRESULT ShowComment2Msg::IsSender(ULONGLONG sender, WORD* isSender)
{
    if (!isSender)
        return E_POINTER;
    *isSender = sender == mSender ? 0xFFFF : 0;
    return S_OK;
}

HRESULT ShowComment2Msg::GetComment(IVarnComment** out)
{
    if (out) {
        *out = mComment;
        if (mComment)
            mComment->AddRef();
    }
    return S_OK;
}

} // namespace vx::hf
