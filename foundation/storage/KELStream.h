#pragma once
// IStream over one element of the compound file. Each stream has its own cursor; it holds a
// reference to its parent storage.
#include <atomic>

#include "foundation/storage/Format.h"
#include "foundation/storage/KelInterfaces.h"

namespace KEL {

class KELStorage;
class StorageAllocator;
struct Element;

class KELStream final : public IKELStream, public IStream {
public:
    // A stream at position 0 with one reference; takes a reference on `parent` and counts one
    // more object open on the element. Call with the file's mutex held.
    KELStream(KELStorage* parent, Element& element);

    HRESULT QueryInterface(REFIID iid, void** out) override;
    ULONG AddRef() override;
    ULONG Release() override;

    HRESULT Read(void* buffer, ULONG cb, ULONG* read) override;
    HRESULT Write(const void* buffer, ULONG cb, ULONG* written) override;
    HRESULT Seek(LARGE_INTEGER move, DWORD origin, ULARGE_INTEGER* newPosition) override;
    HRESULT SetSize(ULARGE_INTEGER size) override;
    HRESULT CopyTo(IStream* dest, ULARGE_INTEGER cb, ULARGE_INTEGER* read, ULARGE_INTEGER* written) override;
    HRESULT Commit(DWORD flags) override;
    HRESULT Revert() override;
    HRESULT LockRegion(ULARGE_INTEGER offset, ULARGE_INTEGER cb, DWORD lockType) override;
    HRESULT UnlockRegion(ULARGE_INTEGER offset, ULARGE_INTEGER cb, DWORD lockType) override;
    HRESULT Stat(STATSTG* statstg, DWORD statFlag) override;
    HRESULT Clone(IStream** out) override;

    HRESULT GetDirectAccess(ULARGE_INTEGER position, ULONG cb, void** out) override;
    HRESULT GetCacheHint(DWORD* out) override;
    bool GetLockBytes(ILockBytes** out) override;

    ULONG RefCount() const { return mRefCount.load(); }

private:
    ~KELStream();
    void Resync();
    HRESULT ReadLocked(void* buffer, ULONG cb, ULONG* read);

    StorageFormat::Cursor mCursor;
    std::uint32_t mVersion = 0;
    StorageAllocator& mAllocator;
    Element& mElement;
    KELStorage* mParent;
    std::atomic<ULONG> mRefCount { 1 };
};

} // namespace KEL
