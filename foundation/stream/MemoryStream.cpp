#include "foundation/stream/MemoryStream.h"

#include <algorithm>
#include <cstring>

namespace KEL {

MemoryStream::MemoryStream(std::vector<std::uint8_t> bytes, DWORD mode)
    : mBytes(std::move(bytes))
    , mMode(mode)
{
}

MemoryStream* MemoryStream::Create(std::vector<std::uint8_t> bytes, DWORD mode)
{
    auto* stream = new MemoryStream(std::move(bytes), mode);
    stream->AddRef();
    return stream;
}

HRESULT MemoryStream::QueryInterface(REFIID iid, void** out)
{
    if (out && iid == ISequentialStream::kIid) {
        *out = static_cast<ISequentialStream*>(this);
        AddRef();
        return S_OK;
    }
    return SimpleUnknownImp1<IStream>::QueryInterface(iid, out);
}

HRESULT MemoryStream::Read(void* buffer, ULONG cb, ULONG* read)
{
    if (!buffer && cb)
        return STG_E_INVALIDPOINTER;
    const std::uint64_t available = mPosition < mBytes.size() ? mBytes.size() - mPosition : 0;
    const auto count = static_cast<ULONG>(std::min<std::uint64_t>(cb, available));
    if (count)
        std::memcpy(buffer, mBytes.data() + mPosition, count);
    mPosition += count;
    if (read)
        *read = count;
    return count == cb ? S_OK : S_FALSE;
}

HRESULT MemoryStream::Write(const void* buffer, ULONG cb, ULONG* written)
{
    if (written)
        *written = 0;
    if (!buffer && cb)
        return STG_E_INVALIDPOINTER;
    if ((mMode & 3) == STGM_READ)
        return STG_E_ACCESSDENIED;
    if (mBytes.size() < mPosition + cb)
        mBytes.resize(mPosition + cb);
    if (cb)
        std::memcpy(mBytes.data() + mPosition, buffer, cb);
    mPosition += cb;
    if (written)
        *written = cb;
    return S_OK;
}

HRESULT MemoryStream::Seek(LARGE_INTEGER move, DWORD origin, ULARGE_INTEGER* newPosition)
{
    std::int64_t base = 0;
    switch (origin) {
    case STREAM_SEEK_SET:
        base = 0;
        break;
    case STREAM_SEEK_CUR:
        base = static_cast<std::int64_t>(mPosition);
        break;
    case STREAM_SEEK_END:
        base = static_cast<std::int64_t>(mBytes.size());
        break;
    default:
        return STG_E_INVALIDFUNCTION;
    }
    const std::int64_t target = base + move.QuadPart;
    if (target < 0)
        return STG_E_INVALIDFUNCTION;
    mPosition = static_cast<std::uint64_t>(target);
    if (newPosition)
        newPosition->QuadPart = mPosition;
    return S_OK;
}

HRESULT MemoryStream::SetSize(ULARGE_INTEGER size)
{
    if ((mMode & 3) == STGM_READ)
        return STG_E_ACCESSDENIED;
    if (size.QuadPart > (std::uint64_t { 1 } << 31))
        return STG_E_MEDIUMFULL;
    mBytes.resize(size.QuadPart);
    return S_OK;
}

HRESULT MemoryStream::Stat(STATSTG* stat, DWORD)
{
    if (!stat)
        return STG_E_INVALIDPOINTER;
    *stat = STATSTG {};
    stat->type = STGTY_STREAM;
    stat->cbSize.QuadPart = mBytes.size();
    stat->grfMode = mMode;
    return S_OK;
}

} // namespace KEL
