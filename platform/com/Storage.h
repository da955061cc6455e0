#pragma once
// Structured-storage interfaces: byte arrays (ILockBytes), streams (ISequentialStream, IStream),
// storages (IStorage) and their enumerator (IEnumSTATSTG), with the flags, types and result codes
// they use. Ids, values and method order are the documented ones, so code written against them
// keeps its meaning.
#include <cstddef>

#include "com/Bstr.h"
#include "com/Unknown.h"
#include "time/FileTime.h"

// 64-bit offsets and sizes. Only the whole 64-bit value is used by this system.
struct LARGE_INTEGER {
    LONGLONG QuadPart = 0;
};
struct ULARGE_INTEGER {
    ULONGLONG QuadPart = 0;
};

// A list of element names ending with a null pointer (exclusions of IStorage::CopyTo).
using SNB = OLECHAR**;

struct STATSTG {
    LPOLESTR pwcsName = nullptr; // from CoTaskMemAlloc; the receiver frees it with CoTaskMemFree
    DWORD type = 0;
    ULARGE_INTEGER cbSize;
    FILETIME mtime;
    FILETIME ctime;
    FILETIME atime;
    DWORD grfMode = 0;
    DWORD grfLocksSupported = 0;
    CLSID clsid;
    DWORD grfStateBits = 0;
    DWORD reserved = 0;
};
using tagSTATSTG = STATSTG;

enum STGTY : DWORD { STGTY_STORAGE = 1, STGTY_STREAM = 2, STGTY_LOCKBYTES = 3, STGTY_PROPERTY = 4 };
enum LOCKTYPE : DWORD { LOCK_WRITE = 1, LOCK_EXCLUSIVE = 2, LOCK_ONLYONCE = 4 };
enum STATFLAG : DWORD { STATFLAG_DEFAULT = 0, STATFLAG_NONAME = 1, STATFLAG_NOOPEN = 2 };
enum STREAM_SEEK : DWORD { STREAM_SEEK_SET = 0, STREAM_SEEK_CUR = 1, STREAM_SEEK_END = 2 };
enum STGC : DWORD {
    STGC_DEFAULT = 0,
    STGC_OVERWRITE = 1,
    STGC_ONLYIFCURRENT = 2,
    STGC_DANGEROUSLYCOMMITMERELYTODISKCACHE = 4,
    STGC_CONSOLIDATE = 8,
};

// Open modes (grfMode).
constexpr DWORD STGM_READ = 0x00000000;
constexpr DWORD STGM_WRITE = 0x00000001;
constexpr DWORD STGM_READWRITE = 0x00000002;
constexpr DWORD STGM_SHARE_DENY_NONE = 0x00000040;
constexpr DWORD STGM_SHARE_DENY_READ = 0x00000030;
constexpr DWORD STGM_SHARE_DENY_WRITE = 0x00000020;
constexpr DWORD STGM_SHARE_EXCLUSIVE = 0x00000010;
constexpr DWORD STGM_PRIORITY = 0x00040000;
constexpr DWORD STGM_CREATE = 0x00001000;
constexpr DWORD STGM_CONVERT = 0x00020000;
constexpr DWORD STGM_FAILIFTHERE = 0x00000000;
constexpr DWORD STGM_DIRECT = 0x00000000;
constexpr DWORD STGM_TRANSACTED = 0x00010000;
constexpr DWORD STGM_NOSCRATCH = 0x00100000;
constexpr DWORD STGM_NOSNAPSHOT = 0x00200000;
constexpr DWORD STGM_SIMPLE = 0x08000000;
constexpr DWORD STGM_DIRECT_SWMR = 0x00400000;
constexpr DWORD STGM_DELETEONRELEASE = 0x04000000;

// Storage result codes (facility 3).
constexpr HRESULT STG_E_INVALIDFUNCTION = MakeHResult(0x80030001u);
constexpr HRESULT STG_E_FILENOTFOUND = MakeHResult(0x80030002u);
constexpr HRESULT STG_E_PATHNOTFOUND = MakeHResult(0x80030003u);
constexpr HRESULT STG_E_TOOMANYOPENFILES = MakeHResult(0x80030004u);
constexpr HRESULT STG_E_ACCESSDENIED = MakeHResult(0x80030005u);
constexpr HRESULT STG_E_INVALIDHANDLE = MakeHResult(0x80030006u);
constexpr HRESULT STG_E_INSUFFICIENTMEMORY = MakeHResult(0x80030008u);
constexpr HRESULT STG_E_INVALIDPOINTER = MakeHResult(0x80030009u);
constexpr HRESULT STG_E_NOMOREFILES = MakeHResult(0x80030012u);
constexpr HRESULT STG_E_WRITEFAULT = MakeHResult(0x8003001Du);
constexpr HRESULT STG_E_READFAULT = MakeHResult(0x8003001Eu);
constexpr HRESULT STG_E_LOCKVIOLATION = MakeHResult(0x80030021u);
constexpr HRESULT STG_E_FILEALREADYEXISTS = MakeHResult(0x80030050u);
constexpr HRESULT STG_E_INVALIDPARAMETER = MakeHResult(0x80030057u);
constexpr HRESULT STG_E_MEDIUMFULL = MakeHResult(0x80030070u);
constexpr HRESULT STG_E_INVALIDHEADER = MakeHResult(0x800300FBu);
constexpr HRESULT STG_E_INVALIDNAME = MakeHResult(0x800300FCu);
constexpr HRESULT STG_E_UNKNOWN = MakeHResult(0x800300FDu);
constexpr HRESULT STG_E_UNIMPLEMENTEDFUNCTION = MakeHResult(0x800300FEu);
constexpr HRESULT STG_E_INVALIDFLAG = MakeHResult(0x800300FFu);
constexpr HRESULT STG_E_REVERTED = MakeHResult(0x80030102u);
constexpr HRESULT STG_E_CANTSAVE = MakeHResult(0x80030103u);
constexpr HRESULT STG_E_OLDFORMAT = MakeHResult(0x80030104u);
constexpr HRESULT STG_E_OLDDLL = MakeHResult(0x80030105u);
constexpr HRESULT STG_E_DOCFILECORRUPT = MakeHResult(0x80030109u);

// The byte array under a compound file.
struct ILockBytes : IUnknown {
    static constexpr IID kIid = vx::com::MakeGuid("{0000000A-0000-0000-C000-000000000046}");
    virtual HRESULT ReadAt(ULARGE_INTEGER offset, void* buffer, ULONG cb, ULONG* read) = 0;
    virtual HRESULT WriteAt(ULARGE_INTEGER offset, const void* buffer, ULONG cb, ULONG* written) = 0;
    virtual HRESULT Flush() = 0;
    virtual HRESULT SetSize(ULARGE_INTEGER size) = 0;
    virtual HRESULT LockRegion(ULARGE_INTEGER offset, ULARGE_INTEGER cb, DWORD lockType) = 0;
    virtual HRESULT UnlockRegion(ULARGE_INTEGER offset, ULARGE_INTEGER cb, DWORD lockType) = 0;
    virtual HRESULT Stat(STATSTG* statstg, DWORD statFlag) = 0;

protected:
    ~ILockBytes() = default;
};

struct ISequentialStream : IUnknown {
    static constexpr IID kIid = vx::com::MakeGuid("{0C733A30-2A1C-11CE-ADE5-00AA0044773A}");
    virtual HRESULT Read(void* buffer, ULONG cb, ULONG* read) = 0;
    virtual HRESULT Write(const void* buffer, ULONG cb, ULONG* written) = 0;

protected:
    ~ISequentialStream() = default;
};

struct IStream : ISequentialStream {
    static constexpr IID kIid = vx::com::MakeGuid("{0000000C-0000-0000-C000-000000000046}");
    virtual HRESULT Seek(LARGE_INTEGER move, DWORD origin, ULARGE_INTEGER* newPosition) = 0;
    virtual HRESULT SetSize(ULARGE_INTEGER size) = 0;
    virtual HRESULT CopyTo(IStream* dest, ULARGE_INTEGER cb, ULARGE_INTEGER* read, ULARGE_INTEGER* written) = 0;
    virtual HRESULT Commit(DWORD flags) = 0;
    virtual HRESULT Revert() = 0;
    virtual HRESULT LockRegion(ULARGE_INTEGER offset, ULARGE_INTEGER cb, DWORD lockType) = 0;
    virtual HRESULT UnlockRegion(ULARGE_INTEGER offset, ULARGE_INTEGER cb, DWORD lockType) = 0;
    virtual HRESULT Stat(STATSTG* statstg, DWORD statFlag) = 0;
    virtual HRESULT Clone(IStream** out) = 0;

protected:
    ~IStream() = default;
};

struct IEnumSTATSTG : IUnknown {
    static constexpr IID kIid = vx::com::MakeGuid("{0000000D-0000-0000-C000-000000000046}");
    virtual HRESULT Next(ULONG celt, STATSTG* rgelt, ULONG* fetched) = 0;
    virtual HRESULT Skip(ULONG celt) = 0;
    virtual HRESULT Reset() = 0;
    virtual HRESULT Clone(IEnumSTATSTG** out) = 0;

protected:
    ~IEnumSTATSTG() = default;
};

struct IStorage : IUnknown {
    static constexpr IID kIid = vx::com::MakeGuid("{0000000B-0000-0000-C000-000000000046}");
    virtual HRESULT CreateStream(const OLECHAR* name, DWORD mode, DWORD reserved1, DWORD reserved2, IStream** out) = 0;
    virtual HRESULT OpenStream(const OLECHAR* name, void* reserved1, DWORD mode, DWORD reserved2, IStream** out) = 0;
    virtual HRESULT CreateStorage(const OLECHAR* name, DWORD mode, DWORD reserved1, DWORD reserved2, IStorage** out)
        = 0;
    virtual HRESULT OpenStorage(
        const OLECHAR* name, IStorage* priority, DWORD mode, SNB exclude, DWORD reserved, IStorage** out)
        = 0;
    virtual HRESULT CopyTo(DWORD ciidExclude, const IID* rgiidExclude, SNB snbExclude, IStorage* dest) = 0;
    virtual HRESULT MoveElementTo(const OLECHAR* name, IStorage* dest, const OLECHAR* newName, DWORD flags) = 0;
    virtual HRESULT Commit(DWORD flags) = 0;
    virtual HRESULT Revert() = 0;
    virtual HRESULT EnumElements(DWORD reserved1, void* reserved2, DWORD reserved3, IEnumSTATSTG** out) = 0;
    virtual HRESULT DestroyElement(const OLECHAR* name) = 0;
    virtual HRESULT RenameElement(const OLECHAR* oldName, const OLECHAR* newName) = 0;
    virtual HRESULT SetElementTimes(
        const OLECHAR* name, const FILETIME* ctime, const FILETIME* atime, const FILETIME* mtime)
        = 0;
    virtual HRESULT SetClass(REFCLSID clsid) = 0;
    virtual HRESULT SetStateBits(DWORD stateBits, DWORD mask) = 0;
    virtual HRESULT Stat(STATSTG* statstg, DWORD statFlag) = 0;

protected:
    ~IStorage() = default;
};

// The COM task allocator: blocks handed across interfaces (STATSTG names) come from here and are
// freed by the receiver. Null in, null out; CoTaskMemFree(nullptr) does nothing.
void* CoTaskMemAlloc(std::size_t bytes);
void CoTaskMemFree(void* block);

namespace vx::com {
// Number of task-allocator blocks currently allocated: lets tests prove every name was freed.
long LiveTaskMemCount();
// Makes the next `count` CoTaskMemAlloc calls fail (tests of allocation-failure paths).
void FailNextTaskMemAllocs(long count);
} // namespace vx::com
