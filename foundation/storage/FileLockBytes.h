#pragma once
// The byte array under a compound file: one file on disk, read and written at absolute offsets
// with positioned I/O (no file pointer is kept). A temporary storage's file is removed at the last
// release; its name stays valid while it is open.
#include <atomic>
#include <string>

#include "foundation/String.h"
#include "foundation/XKEL.h"
#include "foundation/storage/KelInterfaces.h"

namespace KEL {
// The exception of a file that could not be created: HRESULT_FROM_WIN32 of the system's error and
// the system's text for it.
class XLockBytesCreate : public XKEL {
public:
    explicit XLockBytesCreate(HRESULT code)
        : XKEL(code)
    {
    }
};
} // namespace KEL

namespace FileLockBytesImpl {

class FileLockBytes final : public IKELLockBytes {
public:
    // Creates (or truncates) the file at `path`, made a full path first (its case kept). Throws
    // KEL::XLockBytesCreate with HRESULT_FROM_WIN32 of the system's error when the file cannot be
    // created; a file that was there is then left alone. With deleteOnRelease the file is removed
    // at the last release. One reference, held by the creator.
    FileLockBytes(const KEL::String& path, bool deleteOnRelease);

    // The lock bytes of a temporary storage: on a new unique file "KEL*.tmp" in the temporary
    // folder ($TMPDIR, else /tmp), removed at the last release (and at once when the creation
    // fails); or, when `path` is given, on that file, which is never deleted here. Throws as the
    // constructor.
    static FileLockBytes* CreateTemporary(const KEL::String& path);

    HRESULT QueryInterface(REFIID iid, void** out) override;
    ULONG AddRef() override;
    ULONG Release() override;

    HRESULT ReadAt(ULARGE_INTEGER offset, void* buffer, ULONG cb, ULONG* read) override;
    HRESULT WriteAt(ULARGE_INTEGER offset, const void* buffer, ULONG cb, ULONG* written) override;
    HRESULT Flush() override;
    HRESULT SetSize(ULARGE_INTEGER size) override;
    HRESULT LockRegion(ULARGE_INTEGER offset, ULARGE_INTEGER cb, DWORD lockType) override;
    HRESULT UnlockRegion(ULARGE_INTEGER offset, ULARGE_INTEGER cb, DWORD lockType) override;
    HRESULT Stat(STATSTG* statstg, DWORD statFlag) override;

    HRESULT GetDirectAccess(ULARGE_INTEGER offset, ULONG cb, void** out) override;
    HRESULT GetCacheHint(DWORD* out) override;
    HRESULT SetCacheHint(DWORD hint) override;

    const KEL::String& Path() const { return mPath; }

private:
    ~FileLockBytes();

    std::atomic<ULONG> mRefCount { 1 };
    int mFile = -1;
    KEL::String mPath;
    bool mDeleteOnRelease;
    DWORD mOpenMode = 0x04011012; // what Stat reports
};

} // namespace FileLockBytesImpl

namespace KEL {
// HRESULT_FROM_WIN32 of the Windows error code that stands for a system error number.
HRESULT HResultFromErrno(int error);
} // namespace KEL
