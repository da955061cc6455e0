#include "foundation/storage/KELStorage.h"

#include <cstring>
#include <mutex>
#include <string>
#include <vector>

#include "foundation/XKEL.h"
#include "foundation/base/RefCount.h"
#include "foundation/storage/ElementName.h"
#include "foundation/storage/ElementTable.h"
#include "foundation/storage/FileLockBytes.h"
#include "foundation/storage/KELStream.h"
#include "foundation/storage/StorageAllocator.h"
#include "foundation/storage/StorageError.h"

namespace KEL {

using namespace StorageFormat;

namespace {

HRESULT CopyNameOut(const std::u16string& name, LPOLESTR* out)
{
    const std::wstring wide = NameToWide(name);
    auto* block = static_cast<wchar_t*>(CoTaskMemAlloc((wide.size() + 1) * sizeof(wchar_t)));
    *out = block;
    if (!block)
        return STG_E_INSUFFICIENTMEMORY;
    std::memcpy(block, wide.c_str(), (wide.size() + 1) * sizeof(wchar_t));
    return S_OK;
}

// Frees the clusters of an element and, for a storage, of everything below it, without opening
// any object on it (nothing below an element that is not open can be open).
HRESULT FreeSubtree(StorageAllocator& allocator, Element& element, int depth = 0)
{
    if (element.type == STGTY_STORAGE) {
        if (depth > 4096)
            return STG_E_DOCFILECORRUPT;
        ElementTable table(allocator, element);
        HRESULT hr = table.Load();
        if (FAILED(hr))
            return hr;
        for (const auto& child : table.Children())
            if (FAILED(hr = FreeSubtree(allocator, *child, depth + 1)))
                return hr;
    }
    allocator.ReleaseChain(element);
    return S_OK;
}

// Commits the open directories below `table` first, then `table` itself when it changed.
HRESULT CommitTree(ElementTable& table)
{
    for (const auto& child : table.Children())
        if (child->openTable) {
            const HRESULT hr = CommitTree(*child->openTable);
            if (FAILED(hr))
                return hr;
        }
    return table.dirChanged ? table.Write() : S_OK;
}

// The enumerator keeps a reference to its storage and a snapshot of the directory taken when it
// was made: names and values, never element pointers, which DestroyElement may delete.
class StatEnumerator final : public IEnumSTATSTG {
public:
    struct Entry {
        std::u16string name;
        STATSTG stat;
    };
    StatEnumerator(IStorage* storage, std::vector<Entry> entries)
        : mStorage(storage)
        , mEntries(std::move(entries))
    {
        mStorage->AddRef();
    }

    HRESULT QueryInterface(REFIID, void** out) override
    {
        if (out)
            *out = nullptr;
        return E_NOINTERFACE;
    }
    ULONG AddRef() override { return ++mRefCount; }
    ULONG Release() override
    {
        if (--mRefCount != 0)
            return mRefCount;
        mRefCount = vx::com::kDyingCount;
        IStorage* storage = mStorage;
        delete this;
        storage->Release();
        return 0;
    }
    HRESULT Next(ULONG celt, STATSTG* rgelt, ULONG* fetched) override
    {
        if (fetched)
            *fetched = 0;
        if (!rgelt && celt != 0)
            return STG_E_INVALIDPOINTER;
        ULONG n = 0;
        for (; n < celt && mNext < mEntries.size(); ++n, ++mNext) {
            rgelt[n] = mEntries[mNext].stat;
            CopyNameOut(mEntries[mNext].name, &rgelt[n].pwcsName); // a failed copy leaves the name null
        }
        if (fetched)
            *fetched = n;
        return n == celt ? S_OK : S_FALSE;
    }
    HRESULT Skip(ULONG celt) override
    {
        const std::size_t left = mEntries.size() - mNext;
        const std::size_t skip = std::min<std::size_t>(celt, left);
        mNext += skip;
        return skip == celt ? S_OK : S_FALSE;
    }
    HRESULT Reset() override { return E_NOTIMPL; }
    HRESULT Clone(IEnumSTATSTG** out) override
    {
        if (out)
            *out = nullptr;
        return E_NOTIMPL;
    }

private:
    ~StatEnumerator() = default;
    ULONG mRefCount = 1; // not atomic: an enumerator belongs to one thread
    IStorage* mStorage;
    std::vector<Entry> mEntries;
    std::size_t mNext = 0;
};

bool Excluded(const std::u16string& name, SNB exclude)
{
    if (!exclude)
        return false;
    for (OLECHAR** p = exclude; *p; ++p) {
        std::u16string other;
        if (SUCCEEDED(NameFromCaller(*p, other)) && NamesEqual(name, other))
            return true;
    }
    return false;
}

// The key of an element the caller means to find: a name no element can have is reported as not
// found rather than invalid.
HRESULT NameOfExisting(const OLECHAR* name, std::u16string& key)
{
    const HRESULT hr = NameFromCaller(name, key);
    return hr == STG_E_INVALIDNAME ? STG_E_FILENOTFOUND : hr;
}

} // namespace

HRESULT StatElement(const Element& element, STATSTG* statstg, DWORD statFlag)
{
    *statstg = STATSTG {};
    HRESULT hr = S_OK;
    if (!(statFlag & STATFLAG_NONAME))
        hr = CopyNameOut(element.name, &statstg->pwcsName);
    statstg->type = element.type;
    statstg->grfMode = element.mode;
    if (element.type == STGTY_STREAM)
        statstg->cbSize.QuadPart = element.Size();
    statstg->mtime = element.mtime;
    statstg->ctime = element.ctime;
    statstg->atime = element.atime;
    statstg->clsid = element.clsid;
    statstg->grfStateBits = element.stateBits;
    return hr;
}

ULONG ReleaseStorage(IStorage* storage)
{
    return storage ? storage->Release() : 0;
}

// ---- construction ----

KELStorage::KELStorage(std::unique_ptr<StorageAllocator> allocator)
    : mElement(&allocator->Root())
    , mAllocator(allocator.get())
    , mOwnedAllocator(std::move(allocator))
{
    mRootTable = std::make_unique<ElementTable>(*mAllocator, *mElement);
    mTable = mRootTable.get();
    mTable->users = 1;
    mElement->openTable = mTable;
    ++mElement->openCount;
}

KELStorage::KELStorage(KELStorage* parent, Element& element, ElementTable* table)
    : mParent(parent)
    , mElement(&element)
    , mTable(table)
    , mAllocator(parent->mAllocator)
{
    ++mTable->users;
    element.openTable = mTable;
    ++element.openCount;
    parent->AddRef();
}

KELStorage::~KELStorage() = default;

HRESULT KELStorage::CreateOnLockBytes(ILockBytes* lockBytes, IStorage** out)
{
    if (!out)
        return STG_E_INVALIDPOINTER;
    *out = nullptr;
    if (!lockBytes)
        return STG_E_INVALIDPOINTER;
    try {
        *out = static_cast<IStorage*>(new KELStorage(std::make_unique<StorageAllocator>(lockBytes)));
        return S_OK;
    } catch (const std::exception& e) {
        return StorageErrorCode(e, STG_E_INSUFFICIENTMEMORY);
    }
}

HRESULT KELStorage::OpenOnLockBytes(ILockBytes* lockBytes, IStorage** out)
{
    if (!out)
        return STG_E_INVALIDPOINTER;
    *out = nullptr;
    if (!lockBytes)
        return STG_E_INVALIDPOINTER;
    try {
        std::unique_ptr<StorageAllocator> allocator;
        HRESULT hr = StorageAllocator::Open(lockBytes, allocator);
        if (FAILED(hr))
            return hr;
        auto* root = new KELStorage(std::move(allocator));
        if (FAILED(hr = root->mTable->Load())) {
            root->Release();
            return hr;
        }
        *out = static_cast<IStorage*>(root);
        return S_OK;
    } catch (const std::exception& e) {
        return StorageErrorCode(e, STG_E_INSUFFICIENTMEMORY);
    }
}

HRESULT KELStorage::CreateTempStorage(const String& path, IStorage** out)
{
    if (!out)
        return STG_E_INVALIDPOINTER;
    *out = nullptr;
    ILockBytes* lockBytes = nullptr;
    try {
        lockBytes = FileLockBytesImpl::FileLockBytes::CreateTemporary(path);
    } catch (const std::exception& e) {
        return StorageErrorCode(e);
    }
    const HRESULT hr = CreateOnLockBytes(lockBytes, out);
    lockBytes->Release(); // the storage holds its own reference; on failure this removes the file
    return hr;
}

// ---- IUnknown ----

HRESULT KELStorage::QueryInterface(REFIID iid, void** out)
{
    if (!out)
        return E_POINTER;
    *out = nullptr;
    if (iid == IUnknown::kIid || iid == IStorage::kIid)
        *out = static_cast<IStorage*>(this);
    else if (iid == IKELStorage::kIid)
        *out = static_cast<IKELStorage*>(this);
    else
        return E_NOINTERFACE;
    AddRef();
    return S_OK;
}

ULONG KELStorage::AddRef()
{
    return vx::com::AddRefCount(mRefCount);
}

ULONG KELStorage::Release()
{
    ULONG count = 0;
    if (!vx::com::ReleaseCount(mRefCount, count))
        return count;
    KELStorage* parent = mParent;
    {
        std::lock_guard lock(mAllocator->Mutex());
        HRESULT hr = E_FAIL;
        try {
            hr = CommitLocked(STGC_OVERWRITE);
        } catch (const std::exception& e) {
            hr = StorageErrorCode(e);
        }
        if (FAILED(hr)) {
            char text[80];
            std::snprintf(text, sizeof text, "KELStorage: closing commit failed (0x%08X)", static_cast<unsigned>(hr));
            BootLog(std::string_view(text));
        }
        --mElement->openCount;
        if (--mTable->users == 0 && !mRootTable) {
            mElement->openTable = nullptr;
            delete mTable;
        }
    }
    delete this; // the root takes its table and the allocator (and the mutex) with it
    if (parent)
        parent->Release();
    return 0;
}

// ---- commit ----

HRESULT KELStorage::CommitLocked(DWORD flags)
{
    HRESULT hr = CommitTree(*mTable);
    if (FAILED(hr)) {
        const XKEL report(hr); // the diagnostic line of a failed commit
        return hr;
    }
    if (!mParent)
        hr = mAllocator->Commit(flags);
    return hr;
}

HRESULT KELStorage::Commit(DWORD flags)
{
    try {
        std::lock_guard lock(mAllocator->Mutex());
        return CommitLocked(flags);
    } catch (const std::exception& e) {
        return StorageErrorCode(e);
    }
}

HRESULT KELStorage::Revert()
{
    return E_NOTIMPL;
}

// ---- elements ----

HRESULT KELStorage::DestroyLocked(Element& element)
{
    if (element.openCount != 0)
        return STG_E_ACCESSDENIED;
    const HRESULT hr = FreeSubtree(*mAllocator, element);
    if (FAILED(hr))
        return hr;
    mTable->Remove(&element);
    MarkElementChanged(*mElement);
    return S_OK;
}

HRESULT KELStorage::CreateElementLocked(const std::u16string& name, DWORD type, DWORD mode, Element*& out)
{
    out = nullptr;
    if (Element* existing = mTable->Find(name)) {
        if (!(mode & STGM_CREATE))
            return STG_E_FILEALREADYEXISTS;
        const HRESULT hr = DestroyLocked(*existing);
        if (FAILED(hr))
            return hr;
    }
    out = &mTable->Add(name, type, mode);
    return S_OK;
}

HRESULT KELStorage::CreateStream(const OLECHAR* name, DWORD mode, DWORD, DWORD, IStream** out)
{
    if (!out)
        return STG_E_INVALIDPOINTER;
    *out = nullptr;
    std::u16string key;
    HRESULT hr = NameFromCaller(name, key);
    if (FAILED(hr))
        return hr;
    try {
        std::lock_guard lock(mAllocator->Mutex());
        Element* element = nullptr;
        if (FAILED(hr = CreateElementLocked(key, STGTY_STREAM, mode, element)))
            return hr == STG_E_FILEALREADYEXISTS || hr == STG_E_ACCESSDENIED ? hr : STG_E_INSUFFICIENTMEMORY;
        *out = new KELStream(this, *element);
        return S_OK;
    } catch (const std::exception&) {
        return STG_E_INSUFFICIENTMEMORY;
    }
}

HRESULT KELStorage::OpenStream(const OLECHAR* name, void*, DWORD mode, DWORD, IStream** out)
{
    if (!out)
        return STG_E_INVALIDPOINTER;
    *out = nullptr;
    std::u16string key;
    HRESULT hr = NameOfExisting(name, key);
    if (FAILED(hr))
        return hr;
    try {
        std::lock_guard lock(mAllocator->Mutex());
        Element* element = mTable->Find(key, STGTY_STREAM);
        if (!element)
            return STG_E_FILENOTFOUND;
        element->mode = mode;
        *out = new KELStream(this, *element);
        return S_OK;
    } catch (const std::exception& e) {
        return StorageErrorCode(e, STG_E_INSUFFICIENTMEMORY);
    }
}

HRESULT KELStorage::CreateStorage(const OLECHAR* name, DWORD mode, DWORD, DWORD, IStorage** out)
{
    if (!out)
        return STG_E_INVALIDPOINTER;
    *out = nullptr;
    std::u16string key;
    HRESULT hr = NameFromCaller(name, key);
    if (FAILED(hr))
        return hr;
    try {
        std::lock_guard lock(mAllocator->Mutex());
        Element* element = nullptr;
        if (FAILED(hr = CreateElementLocked(key, STGTY_STORAGE, mode, element)))
            return hr == STG_E_FILEALREADYEXISTS || hr == STG_E_ACCESSDENIED ? hr : E_FAIL;
        auto table = std::make_unique<ElementTable>(*mAllocator, *element);
        element->loadResult = S_OK;
        *out = static_cast<IStorage*>(new KELStorage(this, *element, table.release()));
        return S_OK;
    } catch (const std::exception&) {
        return E_FAIL;
    }
}

HRESULT KELStorage::OpenStorage(const OLECHAR* name, IStorage*, DWORD mode, SNB, DWORD, IStorage** out)
{
    if (!out)
        return STG_E_INVALIDPOINTER;
    *out = nullptr;
    std::u16string key;
    HRESULT hr = NameOfExisting(name, key);
    if (FAILED(hr))
        return hr;
    try {
        std::lock_guard lock(mAllocator->Mutex());
        Element* element = mTable->Find(key, STGTY_STORAGE);
        if (!element)
            return STG_E_FILENOTFOUND;
        ElementTable* table = element->openTable;
        std::unique_ptr<ElementTable> fresh;
        if (!table) {
            fresh = std::make_unique<ElementTable>(*mAllocator, *element);
            if (FAILED(hr = fresh->Load()))
                return hr == STG_E_DOCFILECORRUPT ? hr : STG_E_INSUFFICIENTMEMORY;
            table = fresh.get();
        }
        element->mode = mode;
        auto* child = new KELStorage(this, *element, table);
        fresh.release();
        *out = static_cast<IStorage*>(child);
        return S_OK;
    } catch (const std::exception&) {
        return STG_E_INSUFFICIENTMEMORY;
    }
}

HRESULT KELStorage::DestroyElement(const OLECHAR* name)
{
    std::u16string key;
    HRESULT hr = NameOfExisting(name, key);
    if (FAILED(hr))
        return hr;
    try {
        std::lock_guard lock(mAllocator->Mutex());
        Element* element = mTable->Find(key);
        if (!element)
            return STG_E_FILENOTFOUND;
        return DestroyLocked(*element);
    } catch (const std::exception& e) {
        return StorageErrorCode(e);
    }
}

HRESULT KELStorage::RenameElement(const OLECHAR* oldName, const OLECHAR* newName)
{
    std::u16string from, to;
    HRESULT hr = NameFromCaller(newName, to);
    if (FAILED(hr))
        return hr;
    if (FAILED(hr = NameOfExisting(oldName, from)))
        return hr;
    std::lock_guard lock(mAllocator->Mutex());
    if (mTable->Find(to))
        return STG_E_FILEALREADYEXISTS;
    Element* element = mTable->Find(from);
    if (!element)
        return STG_E_FILENOTFOUND;
    element->name = to;
    MarkElementChanged(*element);
    return S_OK;
}

HRESULT KELStorage::SetElementTimes(
    const OLECHAR* name, const FILETIME* ctime, const FILETIME* atime, const FILETIME* mtime)
{
    std::u16string key;
    HRESULT hr = NameOfExisting(name, key);
    if (FAILED(hr))
        return hr;
    std::lock_guard lock(mAllocator->Mutex());
    Element* element = mTable->Find(key);
    if (!element)
        return STG_E_FILENOTFOUND;
    if (mtime)
        element->mtime = *mtime;
    if (ctime)
        element->ctime = *ctime;
    if (atime)
        element->atime = *atime;
    MarkElementChanged(*element);
    return S_OK;
}

HRESULT KELStorage::SetClass(REFCLSID clsid)
{
    std::lock_guard lock(mAllocator->Mutex());
    mElement->clsid = clsid;
    MarkElementChanged(*mElement);
    return S_OK;
}

HRESULT KELStorage::SetStateBits(DWORD, DWORD)
{
    return S_OK;
}

HRESULT KELStorage::Stat(STATSTG* statstg, DWORD statFlag)
{
    if (!statstg)
        return STG_E_INVALIDPOINTER;
    std::lock_guard lock(mAllocator->Mutex());
    if (mParent)
        return StatElement(*mElement, statstg, statFlag);
    *statstg = STATSTG {};
    const HRESULT hr = mAllocator->LockBytes()->Stat(statstg, statFlag);
    statstg->type = STGTY_STORAGE;
    statstg->clsid = mElement->clsid;
    return hr;
}

HRESULT KELStorage::EnumElements(DWORD, void*, DWORD, IEnumSTATSTG** out)
{
    if (!out)
        return STG_E_INVALIDPOINTER;
    *out = nullptr;
    try {
        std::vector<StatEnumerator::Entry> entries;
        {
            std::lock_guard lock(mAllocator->Mutex());
            for (const auto& child : mTable->Children()) {
                StatEnumerator::Entry entry { child->name, {} };
                StatElement(*child, &entry.stat, STATFLAG_NONAME);
                entries.push_back(std::move(entry));
            }
        }
        *out = new StatEnumerator(static_cast<IStorage*>(this), std::move(entries));
        return S_OK;
    } catch (const std::exception&) {
        return STG_E_INSUFFICIENTMEMORY;
    }
}

HRESULT KELStorage::CopyTo(DWORD ciidExclude, const IID* rgiidExclude, SNB snbExclude, IStorage* dest)
{
    if (ciidExclude != 0 || rgiidExclude)
        return STG_E_INVALIDPARAMETER;
    if (!dest)
        return STG_E_INVALIDPOINTER;
    // A copy into this storage itself or below it would never end: each copied level would hold
    // a new level to copy.
    void* kel = nullptr;
    if (SUCCEEDED(dest->QueryInterface(IKELStorage::kIid, &kel))) {
        auto* target = static_cast<KELStorage*>(static_cast<IKELStorage*>(kel));
        bool inside = false;
        for (const KELStorage* s = target; s && !inside; s = s->mParent)
            inside = s->mElement == mElement;
        target->Release();
        if (inside)
            return STG_E_ACCESSDENIED;
    }
    struct Item {
        std::wstring name;
        DWORD type;
        CLSID clsid;
    };
    std::vector<Item> items;
    try {
        std::lock_guard lock(mAllocator->Mutex());
        for (const auto& child : mTable->Children())
            if (!Excluded(child->name, snbExclude))
                items.push_back({ NameToWide(child->name), child->type, child->clsid });
    } catch (const std::exception&) {
        return STG_E_INSUFFICIENTMEMORY;
    }
    // The mutex is not held from here on: every call below takes the mutex of the file it works on.
    for (const Item& item : items) {
        HRESULT hr = S_OK;
        if (item.type == STGTY_STORAGE) {
            IStorage* from = nullptr;
            IStorage* to = nullptr;
            hr = OpenStorage(item.name.c_str(), nullptr, STGM_SHARE_EXCLUSIVE, nullptr, 0, &from);
            if (SUCCEEDED(hr)) {
                hr = dest->CreateStorage(item.name.c_str(), STGM_SHARE_EXCLUSIVE | STGM_WRITE, 0, 0, &to);
                if (hr == STG_E_FILEALREADYEXISTS)
                    hr = dest->OpenStorage(
                        item.name.c_str(), nullptr, STGM_SHARE_EXCLUSIVE | STGM_WRITE, nullptr, 0, &to);
            }
            if (SUCCEEDED(hr))
                hr = to->SetClass(item.clsid);
            if (SUCCEEDED(hr))
                hr = from->CopyTo(0, nullptr, nullptr, to);
            ReleaseStorage(to);
            ReleaseStorage(from);
        } else {
            IStream* from = nullptr;
            IStream* to = nullptr;
            hr = OpenStream(item.name.c_str(), nullptr, STGM_SHARE_EXCLUSIVE, 0, &from);
            if (SUCCEEDED(hr))
                hr = dest->CreateStream(item.name.c_str(), STGM_CREATE | STGM_SHARE_EXCLUSIVE | STGM_WRITE, 0, 0, &to);
            if (SUCCEEDED(hr))
                hr = from->CopyTo(to, { ~0ull }, nullptr, nullptr);
            if (to)
                to->Release();
            if (from)
                from->Release();
        }
        if (FAILED(hr))
            return hr;
    }
    return S_OK;
}

HRESULT KELStorage::MoveElementTo(const OLECHAR*, IStorage*, const OLECHAR*, DWORD)
{
    return E_NOTIMPL;
}

// ---- IKELStorage ----

HRESULT KELStorage::GetCacheHint(DWORD* out)
{
    if (out)
        *out = 0;
    if (IKELLockBytes* kel = mAllocator->KelLockBytes())
        return kel->GetCacheHint(out);
    return S_FALSE;
}

bool KELStorage::GetLockBytes(ILockBytes** out)
{
    ILockBytes* lockBytes = mAllocator->LockBytes();
    if (out) {
        *out = lockBytes;
        if (lockBytes)
            lockBytes->AddRef();
    }
    return lockBytes == nullptr;
}

HRESULT KELStorage::SetCacheHint(DWORD hint)
{
    std::lock_guard lock(mAllocator->Mutex());
    if (!mParent)
        if (IKELLockBytes* kel = mAllocator->KelLockBytes())
            return kel->SetCacheHint(hint);
    return S_OK;
}

} // namespace KEL
