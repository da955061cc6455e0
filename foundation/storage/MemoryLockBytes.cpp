#include "foundation/storage/MemoryLockBytes.h"

#include <algorithm>
#include <cstring>

#include "foundation/base/RefCount.h"

namespace KEL {

HRESULT MemoryLockBytes::QueryInterface(REFIID iid, void** out)
{
    if (!out)
        return E_POINTER;
    *out = nullptr;
    if (iid != IUnknown::kIid && iid != ILockBytes::kIid)
        return E_NOINTERFACE;
    *out = static_cast<ILockBytes*>(this);
    AddRef();
    return S_OK;
}

ULONG MemoryLockBytes::AddRef()
{
    return vx::com::AddRefCount(mRefCount);
}

ULONG MemoryLockBytes::Release()
{
    ULONG count = 0;
    if (vx::com::ReleaseCount(mRefCount, count))
        delete this;
    return count;
}

bool MemoryLockBytes::NextWriteFails()
{
    ++mWrites;
    return mFailFrom != 0 && mWrites >= mFailFrom;
}

HRESULT MemoryLockBytes::ReadAt(ULARGE_INTEGER offset, void* buffer, ULONG cb, ULONG* read)
{
    ULONG n = 0;
    if (offset.QuadPart < mBytes.size())
        n = static_cast<ULONG>(std::min<std::uint64_t>(cb, mBytes.size() - offset.QuadPart));
    if (n)
        std::memcpy(buffer, mBytes.data() + offset.QuadPart, n);
    if (read)
        *read = n;
    return S_OK;
}

HRESULT MemoryLockBytes::WriteAt(ULARGE_INTEGER offset, const void* buffer, ULONG cb, ULONG* written)
{
    if (written)
        *written = 0;
    if (NextWriteFails())
        return STG_E_WRITEFAULT;
    const std::uint64_t end = offset.QuadPart + cb;
    if (end > mCapacity)
        return STG_E_MEDIUMFULL;
    if (end > mBytes.size())
        mBytes.resize(static_cast<std::size_t>(end));
    if (cb)
        std::memcpy(mBytes.data() + offset.QuadPart, buffer, cb);
    if (written)
        *written = cb;
    return S_OK;
}

HRESULT MemoryLockBytes::Flush()
{
    return S_OK;
}

HRESULT MemoryLockBytes::SetSize(ULARGE_INTEGER size)
{
    if (NextWriteFails())
        return STG_E_WRITEFAULT;
    if (size.QuadPart > mCapacity)
        return STG_E_MEDIUMFULL;
    mBytes.resize(static_cast<std::size_t>(size.QuadPart));
    return S_OK;
}

HRESULT MemoryLockBytes::Stat(STATSTG* statstg, DWORD)
{
    if (!statstg)
        return STG_E_INVALIDPOINTER;
    *statstg = STATSTG {};
    statstg->type = STGTY_LOCKBYTES;
    statstg->cbSize.QuadPart = mBytes.size();
    return S_OK;
}

} // namespace KEL
