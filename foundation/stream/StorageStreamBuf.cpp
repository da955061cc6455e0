#include "foundation/stream/StorageStreamBuf.h"

#include <algorithm>

namespace KEL {

namespace {
const std::streampos kBadPos(std::streamoff(-1));
}

StorageStreamBuf::StorageStreamBuf() noexcept = default;

StorageStreamBuf::~StorageStreamBuf()
{
    Close();
}

bool StorageStreamBuf::Open(IStream* stream)
{
    if (mOpen || !stream)
        return false;
    STATSTG stat {};
    if (FAILED(stream->Stat(&stat, STATFLAG_NONAME)))
        return false;
    ULARGE_INTEGER here;
    if (FAILED(stream->Seek(LARGE_INTEGER { 0 }, STREAM_SEEK_CUR, &here)))
        return false;
    switch (stat.grfMode & 3) {
    case STGM_READ:
        mAccess = kRead;
        break;
    case STGM_WRITE:
        mAccess = kWrite;
        break;
    case STGM_READWRITE:
        mAccess = kReadWrite;
        break;
    default:
        return false;
    }
    stream->AddRef();
    mStream = stream;
    mPosition = here.QuadPart;
    mOpen = true;
    setg(BufferStart(), BufferStart(), BufferStart());
    if (mAccess & kWrite)
        ResetPutArea();
    else
        setp(nullptr, nullptr);
    return true;
}

void StorageStreamBuf::ResetPutArea() noexcept
{
    setp(BufferStart(), BufferStart() + kBufferSize);
    mHighWater = nullptr;
}

bool StorageStreamBuf::Close()
{
    if (!mOpen)
        return true;
    const bool flushed = !(mAccess & kWrite) || sync() == 0;
    mStream->Release();
    mStream = nullptr;
    mOpen = false;
    setg(nullptr, nullptr, nullptr);
    setp(nullptr, nullptr);
    return flushed;
}

int StorageStreamBuf::sync()
{
    if (!mOpen)
        return -1;
    const std::size_t pending
        = pbase() ? static_cast<std::size_t>(std::max(pptr(), mHighWater ? mHighWater : pbase()) - pbase()) : 0;
    if (pending > 0) {
        ULONG written = 0;
        const HRESULT hr = mStream->Write(pbase(), static_cast<ULONG>(pending), &written);
        mPosition += written;
        ResetPutArea();
        return FAILED(hr) || written != pending ? -1 : 0;
    }
    if (gptr() < egptr()) {
        const auto unread = static_cast<LONGLONG>(egptr() - gptr());
        ULARGE_INTEGER now;
        setg(BufferStart(), BufferStart(), BufferStart());
        if (FAILED(mStream->Seek(LARGE_INTEGER { -unread }, STREAM_SEEK_CUR, &now)))
            return -1;
        mPosition = now.QuadPart;
    }
    return 0;
}

StorageStreamBuf::int_type StorageStreamBuf::underflow()
{
    if (!mOpen || !(mAccess & kRead))
        return traits_type::eof();
    if (gptr() < egptr())
        return traits_type::to_int_type(*gptr());
    if (sync() != 0)
        return traits_type::eof();
    // Reading and writing share the buffer: a later write starts a fresh put area in overflow.
    setp(nullptr, nullptr);
    ULONG got = 0;
    const HRESULT hr = mStream->Read(BufferStart(), kBufferSize, &got);
    got = std::min<ULONG>(got, kBufferSize);
    mPosition += got;
    if (FAILED(hr) || got == 0) {
        setg(BufferStart(), BufferStart(), BufferStart());
        return traits_type::eof();
    }
    setg(BufferStart(), BufferStart(), BufferStart() + got);
    return traits_type::to_int_type(*gptr());
}

StorageStreamBuf::int_type StorageStreamBuf::overflow(int_type c)
{
    if (!mOpen || !(mAccess & kWrite))
        return traits_type::eof();
    if (sync() != 0)
        return traits_type::eof();
    setg(BufferStart(), BufferStart(), BufferStart());
    ResetPutArea();
    if (traits_type::eq_int_type(c, traits_type::eof()))
        return traits_type::not_eof(c);
    *pptr() = traits_type::to_char_type(c);
    pbump(1);
    return c;
}

StorageStreamBuf::pos_type StorageStreamBuf::BaseSeek(off_type offset, std::ios_base::seekdir dir)
{
    if (!mOpen || sync() != 0)
        return kBadPos;
    DWORD origin = STREAM_SEEK_SET;
    if (dir == std::ios_base::cur)
        origin = STREAM_SEEK_CUR;
    else if (dir == std::ios_base::end)
        origin = STREAM_SEEK_END;
    ULARGE_INTEGER now;
    if (FAILED(mStream->Seek(LARGE_INTEGER { offset }, origin, &now)))
        return kBadPos;
    mPosition = now.QuadPart;
    return pos_type(static_cast<off_type>(now.QuadPart));
}

StorageStreamBuf::pos_type StorageStreamBuf::seekoff(
    off_type offset, std::ios_base::seekdir dir, std::ios_base::openmode)
{
    return BaseSeek(offset, dir);
}

StorageStreamBuf::pos_type StorageStreamBuf::seekpos(pos_type position, std::ios_base::openmode which)
{
    // Through the derived seekoff, so that the buffered fast paths apply to absolute seeks too.
    return seekoff(off_type(position), std::ios_base::beg, which);
}

StorageStreamBuf::pos_type StorageInStreamBuf::seekoff(
    off_type offset, std::ios_base::seekdir dir, std::ios_base::openmode which)
{
    if (!mOpen)
        return kBadPos;
    const auto unread = static_cast<off_type>(egptr() - gptr());
    const auto current = static_cast<off_type>(mPosition) - unread;
    if (dir == std::ios_base::cur && offset == 0)
        return pos_type(current);
    if (dir == std::ios_base::beg || dir == std::ios_base::cur) {
        const off_type target = dir == std::ios_base::beg ? offset : current + offset;
        const off_type bufferedStart = static_cast<off_type>(mPosition) - static_cast<off_type>(egptr() - eback());
        if (egptr() > eback() && target >= bufferedStart && target < static_cast<off_type>(mPosition)) {
            setg(eback(), eback() + (target - bufferedStart), egptr());
            return pos_type(target);
        }
    }
    return StorageStreamBuf::seekoff(offset, dir, which);
}

StorageStreamBuf::pos_type StorageOutStreamBuf::seekoff(
    off_type offset, std::ios_base::seekdir dir, std::ios_base::openmode which)
{
    if (!mOpen)
        return kBadPos;
    if (!pbase())
        return StorageStreamBuf::seekoff(offset, dir, which);
    const auto current = static_cast<off_type>(mPosition) + static_cast<off_type>(pptr() - pbase());
    if (dir == std::ios_base::cur && offset == 0)
        return pos_type(current);
    if (dir == std::ios_base::beg || dir == std::ios_base::cur) {
        if (!mHighWater || mHighWater < pptr())
            mHighWater = pptr();
        const off_type target = dir == std::ios_base::beg ? offset : current + offset;
        const auto start = static_cast<off_type>(mPosition);
        if (target >= start && target <= start + static_cast<off_type>(mHighWater - pbase())) {
            char* const base = pbase();
            char* const end = epptr();
            setp(base, end);
            pbump(static_cast<int>(target - start));
            return pos_type(target);
        }
    }
    return StorageStreamBuf::seekoff(offset, dir, which);
}

} // namespace KEL
