#include "foundation/storage/FileLockBytes.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <vector>

#include "foundation/base/RefCount.h"
#include "foundation/storage/FilePath.h"

namespace KEL {
HRESULT HResultFromErrno(int error)
{
    DWORD code = 1117; // ERROR_IO_DEVICE
    switch (error) {
    case ENOENT:
        code = ERROR_FILE_NOT_FOUND;
        break;
    case ENOTDIR:
        code = ERROR_PATH_NOT_FOUND;
        break;
    case EACCES:
    case EPERM:
    case EISDIR:
    case EROFS:
        code = ERROR_ACCESS_DENIED;
        break;
    case EMFILE:
    case ENFILE:
        code = 4;
        break; // ERROR_TOO_MANY_OPEN_FILES
    case ENOMEM:
        code = ERROR_NOT_ENOUGH_MEMORY;
        break;
    case EEXIST:
        code = ERROR_FILE_EXISTS;
        break;
    case EINVAL:
        code = ERROR_INVALID_PARAMETER;
        break;
    case EBADF:
        code = ERROR_INVALID_HANDLE;
        break;
    case ENOSPC:
    case EDQUOT:
        code = 112;
        break; // ERROR_DISK_FULL
    case EFBIG:
        code = 223;
        break; // ERROR_FILE_TOO_LARGE
    case ENAMETOOLONG:
        code = 206;
        break; // ERROR_FILENAME_EXCED_RANGE
    case EAGAIN:
    case EDEADLK:
        code = 33;
        break; // ERROR_LOCK_VIOLATION
    default:
        break;
    }
    return HRESULT_FROM_WIN32(code);
}
} // namespace KEL

namespace FileLockBytesImpl {

namespace {
FILETIME ToFileTime(const timespec& t)
{
    // 100 ns intervals from 1 January 1601 to the time.
    const std::uint64_t ticks
        = (std::uint64_t(t.tv_sec) + 11644473600ull) * 10000000ull + std::uint64_t(t.tv_nsec) / 100;
    return { static_cast<DWORD>(ticks), static_cast<DWORD>(ticks >> 32) };
}
} // namespace

FileLockBytes::FileLockBytes(const KEL::String& path, bool deleteOnRelease)
    : mPath(path)
    , mDeleteOnRelease(deleteOnRelease)
{
    if (!KEL::MakeFullPath(mPath))
        throw KEL::XLockBytesCreate(HRESULT_FROM_WIN32(ERROR_PATH_NOT_FOUND));
    mFile = ::open(KEL::PathToNative(mPath.ToWString()).c_str(), O_RDWR | O_CREAT | O_TRUNC | O_CLOEXEC, 0600);
    if (mFile < 0)
        throw KEL::XLockBytesCreate(KEL::HResultFromErrno(errno));
}

FileLockBytes::~FileLockBytes()
{
    if (mFile >= 0)
        ::close(mFile);
    if (mDeleteOnRelease)
        ::unlink(KEL::PathToNative(mPath.ToWString()).c_str()); // the name stayed valid while open
}

FileLockBytes* FileLockBytes::CreateTemporary(const KEL::String& path)
{
    // A file the caller named is never deleted by this library; only a name made here is.
    if (!path.IsEmpty())
        return new FileLockBytes(path, false);
    const char* folder = std::getenv("TMPDIR");
    std::string pattern = std::string(folder && *folder ? folder : "/tmp") + "/KELXXXXXX.tmp";
    std::vector<char> name(pattern.begin(), pattern.end());
    name.push_back(0);
    const int placeholder = ::mkstemps(name.data(), 4);
    if (placeholder < 0)
        throw KEL::XLockBytesCreate(KEL::HResultFromErrno(errno));
    ::close(placeholder);
    try {
        return new FileLockBytes(KEL::String(KEL::PathFromNative(name.data())), true);
    } catch (...) {
        ::unlink(name.data()); // only the placeholder made here, never a file the caller named
        throw;
    }
}

HRESULT FileLockBytes::QueryInterface(REFIID iid, void** out)
{
    if (!out)
        return E_POINTER;
    *out = nullptr;
    if (iid != IUnknown::kIid && iid != ILockBytes::kIid && iid != IKELLockBytes::kIid)
        return E_NOINTERFACE;
    *out = static_cast<IKELLockBytes*>(this);
    AddRef();
    return S_OK;
}

ULONG FileLockBytes::AddRef()
{
    return vx::com::AddRefCount(mRefCount);
}

ULONG FileLockBytes::Release()
{
    ULONG count = 0;
    if (vx::com::ReleaseCount(mRefCount, count))
        delete this;
    return count;
}

HRESULT FileLockBytes::ReadAt(ULARGE_INTEGER offset, void* buffer, ULONG cb, ULONG* read)
{
    ULONG done = 0;
    if (read)
        *read = 0;
    while (done < cb) {
        const ssize_t n = ::pread(mFile, static_cast<char*>(buffer) + done, cb - done, off_t(offset.QuadPart + done));
        if (n < 0 && errno == EINTR)
            continue;
        if (n < 0) {
            const int error = errno;
            if (read)
                *read = done;
            return KEL::HResultFromErrno(error);
        }
        if (n == 0)
            break;
        done += static_cast<ULONG>(n);
    }
    if (read)
        *read = done;
    return S_OK;
}

HRESULT FileLockBytes::WriteAt(ULARGE_INTEGER offset, const void* buffer, ULONG cb, ULONG* written)
{
    ULONG done = 0;
    HRESULT hr = S_OK;
    while (done < cb) {
        const ssize_t n
            = ::pwrite(mFile, static_cast<const char*>(buffer) + done, cb - done, off_t(offset.QuadPart + done));
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0) {
            hr = KEL::HResultFromErrno(n < 0 ? errno : ENOSPC);
            break;
        }
        done += static_cast<ULONG>(n);
    }
    if (written)
        *written = done;
    return hr;
}

HRESULT FileLockBytes::Flush()
{
    return ::fdatasync(mFile) == 0 ? S_OK : KEL::HResultFromErrno(errno);
}

HRESULT FileLockBytes::SetSize(ULARGE_INTEGER size)
{
    return ::ftruncate(mFile, off_t(size.QuadPart)) == 0 ? S_OK : KEL::HResultFromErrno(errno);
}

static HRESULT Lock(int file, ULARGE_INTEGER offset, ULARGE_INTEGER cb, short type)
{
    struct flock region { };
    region.l_type = type;
    region.l_whence = SEEK_SET;
    region.l_start = off_t(offset.QuadPart);
    region.l_len = off_t(cb.QuadPart);
    return ::fcntl(file, F_OFD_SETLK, &region) == 0 ? S_OK : KEL::HResultFromErrno(errno);
}

HRESULT FileLockBytes::LockRegion(ULARGE_INTEGER offset, ULARGE_INTEGER cb, DWORD)
{
    return Lock(mFile, offset, cb, F_WRLCK);
}

HRESULT FileLockBytes::UnlockRegion(ULARGE_INTEGER offset, ULARGE_INTEGER cb, DWORD)
{
    return Lock(mFile, offset, cb, F_UNLCK);
}

HRESULT FileLockBytes::Stat(STATSTG* statstg, DWORD statFlag)
{
    if (!statstg)
        return STG_E_INVALIDPOINTER;
    *statstg = STATSTG {};
    HRESULT hr = S_OK;
    if (!(statFlag & STATFLAG_NONAME)) {
        auto* name = static_cast<wchar_t*>(CoTaskMemAlloc((mPath.Length() + 1) * sizeof(wchar_t)));
        if (name)
            std::memcpy(name, mPath.c_str(), (mPath.Length() + 1) * sizeof(wchar_t));
        else
            hr = STG_E_INSUFFICIENTMEMORY;
        statstg->pwcsName = name;
    }
    statstg->type = STGTY_LOCKBYTES;
    statstg->grfMode = mOpenMode;
    struct stat info;
    if (::fstat(mFile, &info) != 0)
        return KEL::HResultFromErrno(errno);
    statstg->cbSize.QuadPart = static_cast<ULONGLONG>(info.st_size);
    statstg->mtime = ToFileTime(info.st_mtim);
    statstg->ctime = ToFileTime(info.st_ctim);
    statstg->atime = ToFileTime(info.st_atim);
    return hr;
}

HRESULT FileLockBytes::GetDirectAccess(ULARGE_INTEGER, ULONG, void** out)
{
    if (out)
        *out = nullptr;
    return S_OK;
}

HRESULT FileLockBytes::GetCacheHint(DWORD* out)
{
    if (out)
        *out = 0;
    return S_OK;
}

HRESULT FileLockBytes::SetCacheHint(DWORD)
{
    return S_OK;
}

} // namespace FileLockBytesImpl
