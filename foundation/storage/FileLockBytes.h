#pragma once
// The byte array under a compound file: one file on disk, read and written at absolute offsets
// with positioned I/O (no file pointer is kept). A temporary storage's file is removed at the last
// release; its name stays valid while it is open.
#include <atomic>
#include <string>

#include "foundation/storage/KelInterfaces.h"

namespace FileLockBytesImpl {

class FileLockBytes final : public IKELLockBytes {
public:
    // Creates (or truncates) the file at `path`, made a full path first. Throws the library's
    // exception with HRESULT_FROM_WIN32 of the system's error when the file cannot be created; a
    // file that was there is then left alone. With deleteOnRelease the file is removed at the
    // last release. One reference, held by the creator.
    FileLockBytes(const std::wstring& path, bool deleteOnRelease);

    // The lock bytes of a temporary storage: on `path`, or, when it is empty, on a new unique
    // file "KEL*.tmp" in the temporary folder ($TMPDIR, else /tmp). A placeholder file created
    // here is removed again when the creation fails. Throws as the constructor.
    static FileLockBytes* CreateTemporary(const std::wstring& path);

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

    const std::wstring& Path() const { return mPath; }

private:
    ~FileLockBytes();

    std::atomic<ULONG> mRefCount{1};
    int mFile = -1;
    std::wstring mPath;
    bool mDeleteOnRelease;
    DWORD mOpenMode = 0x04011012;
    DWORD mCreateOptions = 0x4000000F;
};

} // namespace FileLockBytesImpl

namespace KEL {
// HRESULT_FROM_WIN32 of the Windows error code that stands for a system error number.
HRESULT HResultFromErrno(int error);
} // namespace KEL
