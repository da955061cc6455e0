#pragma once
// IStorage over the compound file: a tree of storages and streams in one file.
//
// Lifetimes: a child storage and a stream hold a reference to their parent storage, so the root
// (which owns the file's allocator) goes last, and its closing commit runs when its last child
// has gone. A second open of an open storage shares its directory table.
//
// Locking: every operation takes the file's mutex once and works through unlocked helpers;
// whatever re-enters the tree (releasing an object opened internally, copying to another file)
// runs with the mutex released.
#include <atomic>
#include <memory>
#include <string>

#include "foundation/String.h"
#include "foundation/storage/KelInterfaces.h"

namespace KEL {

class ElementTable;
class StorageAllocator;
struct Element;

class KELStorage final : public IKELStorage, public IStorage {
public:
    // A new root storage in a temporary file (see FileLockBytes::CreateTemporary): a fresh
    // temporary name when `path` is empty, removed when the storage and everything opened in it
    // are released; a file the caller named stays.
    static HRESULT CreateTempStorage(const String& path, IStorage** out);
    // A new, empty root storage on the given byte array.
    static HRESULT CreateOnLockBytes(ILockBytes* lockBytes, IStorage** out);
    // The root storage of a file already in this format on the given byte array.
    static HRESULT OpenOnLockBytes(ILockBytes* lockBytes, IStorage** out);

    // IUnknown (both bases share these).
    HRESULT QueryInterface(REFIID iid, void** out) override;
    ULONG AddRef() override;
    ULONG Release() override;

    // IStorage
    HRESULT CreateStream(const OLECHAR* name, DWORD mode, DWORD reserved1, DWORD reserved2, IStream** out) override;
    HRESULT OpenStream(const OLECHAR* name, void* reserved1, DWORD mode, DWORD reserved2, IStream** out) override;
    HRESULT CreateStorage(const OLECHAR* name, DWORD mode, DWORD reserved1, DWORD reserved2, IStorage** out) override;
    HRESULT OpenStorage(
        const OLECHAR* name, IStorage* priority, DWORD mode, SNB exclude, DWORD reserved, IStorage** out) override;
    HRESULT CopyTo(DWORD ciidExclude, const IID* rgiidExclude, SNB snbExclude, IStorage* dest) override;
    HRESULT MoveElementTo(const OLECHAR* name, IStorage* dest, const OLECHAR* newName, DWORD flags) override;
    HRESULT Commit(DWORD flags) override;
    HRESULT Revert() override;
    HRESULT EnumElements(DWORD reserved1, void* reserved2, DWORD reserved3, IEnumSTATSTG** out) override;
    HRESULT DestroyElement(const OLECHAR* name) override;
    HRESULT RenameElement(const OLECHAR* oldName, const OLECHAR* newName) override;
    HRESULT SetElementTimes(
        const OLECHAR* name, const FILETIME* ctime, const FILETIME* atime, const FILETIME* mtime) override;
    HRESULT SetClass(REFCLSID clsid) override;
    HRESULT SetStateBits(DWORD stateBits, DWORD mask) override;
    HRESULT Stat(STATSTG* statstg, DWORD statFlag) override;

    // IKELStorage
    HRESULT GetCacheHint(DWORD* out) override;
    bool GetLockBytes(ILockBytes** out) override;
    HRESULT SetCacheHint(DWORD hint) override;

    // For the objects of this library.
    StorageAllocator& Allocator() const { return *mAllocator; }
    ULONG RefCount() const { return mRefCount.load(); }

private:
    KELStorage(std::unique_ptr<StorageAllocator> allocator);
    KELStorage(KELStorage* parent, Element& element, ElementTable* table);
    ~KELStorage();

    HRESULT CommitLocked(DWORD flags);
    HRESULT DestroyLocked(Element& element);
    HRESULT CreateElementLocked(const std::u16string& name, DWORD type, DWORD mode, Element*& out);

    KELStorage* mParent = nullptr;
    Element* mElement = nullptr;
    std::atomic<ULONG> mRefCount { 1 };
    ElementTable* mTable = nullptr;
    StorageAllocator* mAllocator = nullptr;
    std::unique_ptr<StorageAllocator> mOwnedAllocator; // root only
    std::unique_ptr<ElementTable> mRootTable; // root only
};

// Releases a storage held by outside code; at the last reference a KELStorage commits first.
ULONG ReleaseStorage(IStorage* storage);

// STATSTG of an element: the name from CoTaskMemAlloc unless STATFLAG_NONAME.
HRESULT StatElement(const Element& element, STATSTG* statstg, DWORD statFlag);

} // namespace KEL
