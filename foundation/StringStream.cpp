#include "foundation/StringStream.h"

#include <algorithm>
#include <cwchar>
#include <locale>

namespace KEL {

using KELString::StringRep;

StringStreamBuf::StringStreamBuf(std::ios_base::openmode mode)
    : mMode(mode)
{
}

StringStreamBuf::~StringStreamBuf() = default;

void StringStreamBuf::UpdateHigh() noexcept
{
    if (pbase())
        mHigh = std::max(mHigh, static_cast<std::size_t>(pptr() - pbase()));
}

std::size_t StringStreamBuf::Size() const noexcept
{
    return pbase() ? std::max(mHigh, static_cast<std::size_t>(pptr() - pbase())) : mHigh;
}

std::wstring_view StringStreamBuf::View() const noexcept
{
    return { mText.c_str(), Size() };
}

void StringStreamBuf::SetAreas(std::size_t putOffset, std::size_t getOffset)
{
    wchar_t* chars = mText.mText;
    const std::size_t capacity = std::min<std::size_t>(mText.Capacity(), kMaxCapacity);
    setp(chars, chars + capacity);
    pbump(static_cast<int>(putOffset));
    if (mMode & std::ios_base::in)
        setg(chars, chars + getOffset, chars + mHigh);
}

void StringStreamBuf::MoveTo(std::size_t capacity)
{
    // The characters written are copied; nothing beyond them, so no terminator is needed yet.
    StringRep* rep = StringRep::Create(capacity);
    std::wmemcpy(rep->Text(), mText.mText, mHigh);
    rep->mLength = 1;
    mText.Adopt(rep);
}

void StringStreamBuf::Establish()
{
    const bool hadArea = pbase() != nullptr;
    std::size_t put = hadArea ? static_cast<std::size_t>(pptr() - pbase()) : mPutOffset;
    const std::size_t get = eback() ? static_cast<std::size_t>(gptr() - eback()) : mGetOffset;
    UpdateHigh();
    if (mHandedOut) {
        // The caller holds the text: continue in a copy, with room to spare.
        const std::size_t capacity = mText.Capacity();
        MoveTo(capacity - mHigh < 8 ? std::min(capacity * 2, kMaxCapacity) : capacity);
        mHandedOut = false;
    } else if (!hadArea) {
        // First write: the text may be the shared empty one; writing appends to what it holds.
        mHigh = mText.Length();
        mText.MakeUnique();
        put = std::max(put, mHigh);
    }
    SetAreas(put, get);
}

StringStreamBuf::int_type StringStreamBuf::overflow(int_type c)
{
    if (traits_type::eq_int_type(c, traits_type::eof()))
        return traits_type::not_eof(c);
    if (!(mMode & std::ios_base::out))
        return traits_type::eof();
    if (!pbase() || mHandedOut)
        Establish();
    if (pptr() == epptr()) {
        UpdateHigh();
        const std::size_t written = static_cast<std::size_t>(pptr() - pbase());
        if (written >= kMaxCapacity)
            return traits_type::eof();
        const std::size_t get = eback() ? static_cast<std::size_t>(gptr() - eback()) : 0;
        MoveTo(std::min(std::max<std::size_t>(written * 2, 8), kMaxCapacity));
        SetAreas(written, get);
    }
    *pptr() = traits_type::to_char_type(c);
    pbump(1);
    return c;
}

String StringStreamBuf::GetString()
{
    UpdateHigh();
    if (!pbase())
        return mText;
    const std::size_t put = static_cast<std::size_t>(pptr() - pbase());
    const std::size_t get = eback() ? static_cast<std::size_t>(gptr() - eback()) : 0;
    if (mHigh >= mText.Capacity())
        MoveTo(std::min(mHigh + 1 + mHigh / 2, StringRep::kMaxCapacity));
    mText.mText[mHigh] = 0;
    mText.RepBase()->mLength = static_cast<ULONG>(mHigh + 1);
    // No put area until the next write, which then copies the text first.
    mPutOffset = put;
    mGetOffset = get;
    setp(nullptr, nullptr);
    setg(nullptr, nullptr, nullptr);
    mHandedOut = true;
    return mText;
}

StringStreamBuf::int_type StringStreamBuf::underflow()
{
    if (!(mMode & std::ios_base::in))
        return traits_type::eof();
    UpdateHigh();
    if (!eback()) {
        wchar_t* chars = mText.mText;
        setg(chars, chars + mGetOffset, chars + mHigh);
    } else {
        setg(eback(), gptr(), eback() + mHigh);
    }
    return gptr() < egptr() ? traits_type::to_int_type(*gptr()) : traits_type::eof();
}

StringStreamBuf::int_type StringStreamBuf::pbackfail(int_type c)
{
    if (!eback() || gptr() == eback())
        return traits_type::eof();
    if (!traits_type::eq_int_type(c, traits_type::eof()) && !traits_type::eq(traits_type::to_char_type(c), gptr()[-1]))
        return traits_type::eof();
    gbump(-1);
    return traits_type::not_eof(c);
}

StringStreamBuf::pos_type StringStreamBuf::seekoff(
    off_type offset, std::ios_base::seekdir direction, std::ios_base::openmode which)
{
    const pos_type failed(off_type(-1));
    const bool in = (which & std::ios_base::in) && (mMode & std::ios_base::in);
    const bool out = (which & std::ios_base::out) && (mMode & std::ios_base::out);
    if ((!in && !out) || (in && out && direction == std::ios_base::cur))
        return failed;
    if (out && (mMode & std::ios_base::app))
        return pos_type(off_type(Size()));
    if (mHandedOut || (out && !pbase()))
        Establish();
    UpdateHigh();
    const off_type written = static_cast<off_type>(mHigh);
    off_type base = 0;
    if (direction == std::ios_base::end)
        base = written;
    else if (direction == std::ios_base::cur)
        base = in ? (eback() ? gptr() - eback() : off_type(mGetOffset)) : pptr() - pbase();
    const off_type target = base + offset;
    if (target < 0 || target > written)
        return failed;
    if (in) {
        wchar_t* chars = mText.mText;
        setg(chars, chars + target, chars + mHigh);
    }
    if (out) {
        setp(pbase(), epptr());
        pbump(static_cast<int>(target));
    }
    return pos_type(target);
}

StringStreamBuf::pos_type StringStreamBuf::seekpos(pos_type position, std::ios_base::openmode which)
{
    return seekoff(off_type(position), std::ios_base::beg, which);
}

MemStreamBufBase::Block StringStreamBuf::LockBuffer()
{
    if (!pbase() || mHandedOut)
        Establish();
    UpdateHigh();
    return { mText.mText, mText.Capacity(), mHigh };
}

MemStreamBufBase::Block StringStreamBuf::ReserveBuffer(std::size_t length, std::size_t capacity)
{
    LockBuffer();
    mHigh = std::min(length, mText.Capacity());
    const std::size_t put = static_cast<std::size_t>(pptr() - pbase());
    const std::size_t get = eback() ? static_cast<std::size_t>(gptr() - eback()) : 0;
    if (capacity > mText.Capacity()) {
        MoveTo(std::min(capacity, kMaxCapacity));
    }
    SetAreas(std::min(put, mHigh), std::min(get, mHigh));
    return { mText.mText, mText.Capacity(), mHigh };
}

OStringStream::OStringStream()
    : std::basic_ostream<wchar_t>(nullptr)
{
    std::basic_ios<wchar_t>::rdbuf(&mBuffer);
}

OStringStream::~OStringStream() = default;

namespace Automation {
ClassicOStringStream::ClassicOStringStream()
{
    imbue(std::locale::classic());
}
} // namespace Automation

} // namespace KEL
