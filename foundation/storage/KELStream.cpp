#include "foundation/storage/KELStream.h"

#include <algorithm>
#include <mutex>
#include <vector>

#include "foundation/base/RefCount.h"
#include "foundation/storage/ElementTable.h"
#include "foundation/storage/KELStorage.h"
#include "foundation/storage/StorageAllocator.h"
#include "foundation/storage/StorageError.h"

namespace KEL {

using namespace StorageFormat;

KELStream::KELStream(KELStorage* parent, Element& element)
    : mAllocator(parent->Allocator())
    , mElement(element)
    , mParent(parent)
{
    mCursor = element.start;
    mVersion = element.chainVersion;
    ++element.openCount;
    element.cursors.push_back(&mCursor);
    parent->AddRef();
}

KELStream::~KELStream() = default;

HRESULT KELStream::QueryInterface(REFIID iid, void** out)
{
    if (!out)
        return E_POINTER;
    *out = nullptr;
    if (iid == IUnknown::kIid || iid == IStream::kIid || iid == ISequentialStream::kIid)
        *out = static_cast<IStream*>(this);
    else if (iid == IKELStream::kIid)
        *out = static_cast<IKELStream*>(this);
    else
        return E_NOINTERFACE;
    AddRef();
    return S_OK;
}

ULONG KELStream::AddRef()
{
    return vx::com::AddRefCount(mRefCount);
}

ULONG KELStream::Release()
{
    ULONG count = 0;
    if (!vx::com::ReleaseCount(mRefCount, count))
        return count;
    {
        std::lock_guard lock(mAllocator.Mutex());
        --mElement.openCount;
        auto& cursors = mElement.cursors;
        cursors.erase(std::find(cursors.begin(), cursors.end(), &mCursor));
    }
    KELStorage* parent = mParent;
    delete this;
    parent->Release(); // may run the parent's closing commit: the mutex is not held here
    return 0;
}

// Finds the cursor's cluster again after the element's chain changed under it (a copy-on-write,
// a shrink or a release through another stream on the same element).
void KELStream::Resync()
{
    if (mVersion == mElement.chainVersion)
        return;
    mCursor = mAllocator.Locate(mElement, std::min(mCursor.position, mElement.Size()));
    mVersion = mElement.chainVersion;
}

HRESULT KELStream::ReadLocked(void* buffer, ULONG cb, ULONG* read)
{
    *read = 0;
    Resync();
    if (mCursor.Cluster() == 0) {
        if (mCursor.position != 0)
            return E_FAIL;
        mCursor = mElement.start;
    }
    const std::uint64_t size = mElement.Size();
    if (mCursor.position >= size || mCursor.Cluster() == 0)
        return S_OK;
    const ULONG want = static_cast<ULONG>(std::min<std::uint64_t>(cb, size - mCursor.position));
    HRESULT hr = S_OK;
    while (*read < want) {
        ULONG got = 0;
        hr = mAllocator.ReadChunk(mElement, mCursor, static_cast<std::uint8_t*>(buffer) + *read, want - *read, &got);
        *read += got;
        if (hr != S_OK || got == 0)
            break;
    }
    return FAILED(hr) ? hr : S_OK;
}

HRESULT KELStream::Read(void* buffer, ULONG cb, ULONG* read)
{
    ULONG dummy = 0;
    if (!read)
        read = &dummy;
    *read = 0;
    if (!buffer && cb != 0)
        return STG_E_INVALIDPOINTER;
    try {
        std::lock_guard lock(mAllocator.Mutex());
        return ReadLocked(buffer, cb, read);
    } catch (const std::exception& e) {
        return StorageErrorCode(e);
    }
}

HRESULT KELStream::Write(const void* buffer, ULONG cb, ULONG* written)
{
    ULONG dummy = 0;
    if (!written)
        written = &dummy;
    *written = 0;
    if (cb == 0)
        return S_OK;
    if (!buffer)
        return STG_E_INVALIDPOINTER;
    try {
        std::lock_guard lock(mAllocator.Mutex());
        Resync();
        HRESULT hr = mAllocator.EnsureFirstCluster(mElement);
        if (FAILED(hr))
            return hr;
        Resync();
        while (*written < cb) {
            ULONG done = 0;
            hr = mAllocator.WriteChunk(
                mElement, mCursor, static_cast<const std::uint8_t*>(buffer) + *written, cb - *written, &done);
            mVersion = mElement.chainVersion; // a copy-on-write moved this cursor itself
            *written += done;
            if (FAILED(hr) || done == 0)
                return FAILED(hr) ? hr : E_FAIL;
        }
        return S_OK;
    } catch (const std::exception& e) {
        return StorageErrorCode(e);
    }
}

HRESULT KELStream::Seek(LARGE_INTEGER move, DWORD origin, ULARGE_INTEGER* newPosition)
{
    try {
        std::lock_guard lock(mAllocator.Mutex());
        Resync();
        HRESULT hr = S_OK;
        std::int64_t delta = 0;
        switch (origin) {
        case STREAM_SEEK_SET:
            if (move.QuadPart < 0)
                return STG_E_INVALIDPOINTER;
            delta = move.QuadPart - static_cast<std::int64_t>(mCursor.position);
            break;
        case STREAM_SEEK_CUR:
            delta = move.QuadPart;
            break;
        case STREAM_SEEK_END:
            delta = static_cast<std::int64_t>(mElement.Size()) + move.QuadPart
                - static_cast<std::int64_t>(mCursor.position);
            break;
        default:
            return STG_E_INVALIDFUNCTION;
        }
        if (delta < 0 && std::uint64_t(-delta) > mCursor.position)
            return STG_E_INVALIDPOINTER;
        const std::uint64_t target = mCursor.position + delta;
        if (target == 0) {
            mCursor = mElement.start;
        } else if (target != mCursor.position || mCursor.Cluster() == 0) {
            // Only a move to a non-zero position needs the first cluster.
            if (FAILED(hr = mAllocator.EnsureFirstCluster(mElement)))
                return hr;
            Resync();
            if (mCursor.Cluster() == 0)
                mCursor = mElement.start;
            hr = mAllocator.SeekCursor(mElement, mCursor, static_cast<std::int64_t>(target - mCursor.position));
        }
        if (newPosition)
            newPosition->QuadPart = mCursor.position;
        return hr;
    } catch (const std::exception& e) {
        return StorageErrorCode(e);
    }
}

HRESULT KELStream::SetSize(ULARGE_INTEGER size)
{
    try {
        std::lock_guard lock(mAllocator.Mutex());
        Resync();
        if (size.QuadPart == mElement.Size())
            return S_OK;
        HRESULT hr = S_OK;
        if (size.QuadPart == 0) {
            mAllocator.ReleaseChain(mElement);
        } else {
            if (FAILED(hr = mAllocator.EnsureFirstCluster(mElement)))
                return hr;
            hr = mAllocator.ResizeChain(mElement, size.QuadPart);
        }
        Resync();
        return hr;
    } catch (const std::exception& e) {
        return StorageErrorCode(e);
    }
}

HRESULT KELStream::CopyTo(IStream* dest, ULARGE_INTEGER cb, ULARGE_INTEGER* read, ULARGE_INTEGER* written)
{
    if (read)
        read->QuadPart = 0;
    if (written)
        written->QuadPart = 0;
    if (!dest)
        return STG_E_INVALIDPOINTER;
    try {
        std::vector<std::uint8_t> buffer(kClusterSize);
        std::uint64_t remaining = cb.QuadPart;
        HRESULT hr = S_OK;
        // Chunk by chunk, this file's mutex is held only while reading: the destination (another
        // file, or this one) takes its own in Write.
        while (remaining != 0) {
            ULONG got = 0;
            {
                std::lock_guard lock(mAllocator.Mutex());
                hr = ReadLocked(
                    buffer.data(), static_cast<ULONG>(std::min<std::uint64_t>(remaining, kClusterSize)), &got);
            }
            if (read)
                read->QuadPart += got;
            if (FAILED(hr) || got == 0)
                break;
            ULONG put = 0;
            hr = dest->Write(buffer.data(), got, &put);
            if (written)
                written->QuadPart += put;
            if (FAILED(hr) || put == 0)
                break;
            remaining -= got;
        }
        return hr;
    } catch (const std::exception& e) {
        return StorageErrorCode(e);
    }
}

HRESULT KELStream::Commit(DWORD)
{
    return S_OK;
}
HRESULT KELStream::Revert()
{
    return E_NOTIMPL;
}
HRESULT KELStream::LockRegion(ULARGE_INTEGER, ULARGE_INTEGER, DWORD)
{
    return E_NOTIMPL;
}
HRESULT KELStream::UnlockRegion(ULARGE_INTEGER, ULARGE_INTEGER, DWORD)
{
    return E_NOTIMPL;
}

HRESULT KELStream::Stat(STATSTG* statstg, DWORD statFlag)
{
    if (!statstg)
        return STG_E_INVALIDPOINTER;
    std::lock_guard lock(mAllocator.Mutex());
    return StatElement(mElement, statstg, statFlag);
}

HRESULT KELStream::Clone(IStream** out)
{
    if (!out)
        return STG_E_INVALIDPOINTER;
    *out = nullptr;
    try {
        std::lock_guard lock(mAllocator.Mutex());
        auto* clone = new KELStream(mParent, mElement);
        clone->mCursor = mCursor;
        clone->mVersion = mVersion;
        *out = clone;
        return S_OK;
    } catch (const std::exception& e) {
        return StorageErrorCode(e, STG_E_INSUFFICIENTMEMORY);
    }
}

HRESULT KELStream::GetDirectAccess(ULARGE_INTEGER, ULONG, void** out)
{
    if (out)
        *out = nullptr;
    return S_FALSE;
}

HRESULT KELStream::GetCacheHint(DWORD* out)
{
    return mParent->GetCacheHint(out);
}
bool KELStream::GetLockBytes(ILockBytes** out)
{
    return mParent->GetLockBytes(out);
}

} // namespace KEL
