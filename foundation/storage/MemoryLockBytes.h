#pragma once
// A byte array in memory behind ILockBytes: the medium of tests and of the fuzz target. It can be
// told to fail writes, so that tests can break a commit at any step and check what the "disk"
// then holds.
#include <atomic>
#include <cstdint>
#include <vector>

#include "foundation/storage/KelInterfaces.h"

namespace KEL {

class MemoryLockBytes final : public ILockBytes {
public:
    // One reference, held by the creator.
    explicit MemoryLockBytes(std::vector<std::uint8_t> bytes = {})
        : mBytes(std::move(bytes))
    {
    }

    HRESULT QueryInterface(REFIID iid, void** out) override;
    ULONG AddRef() override;
    ULONG Release() override;

    HRESULT ReadAt(ULARGE_INTEGER offset, void* buffer, ULONG cb, ULONG* read) override;
    HRESULT WriteAt(ULARGE_INTEGER offset, const void* buffer, ULONG cb, ULONG* written) override;
    HRESULT Flush() override;
    HRESULT SetSize(ULARGE_INTEGER size) override;
    HRESULT LockRegion(ULARGE_INTEGER, ULARGE_INTEGER, DWORD) override { return S_OK; }
    HRESULT UnlockRegion(ULARGE_INTEGER, ULARGE_INTEGER, DWORD) override { return S_OK; }
    HRESULT Stat(STATSTG* statstg, DWORD statFlag) override;

    const std::vector<std::uint8_t>& Bytes() const { return mBytes; }
    // The write calls so far (WriteAt and SetSize), counted from construction.
    unsigned long Writes() const { return mWrites; }
    // Every write call from the n-th (counted as Writes() would count it) on fails with
    // STG_E_WRITEFAULT and changes nothing; 0 turns failures off.
    void FailWritesFrom(unsigned long n) { mFailFrom = n; }
    // Caps the medium: writes that would make it larger than `bytes` fail with STG_E_MEDIUMFULL.
    void SetCapacity(std::uint64_t bytes) { mCapacity = bytes; }

private:
    ~MemoryLockBytes() = default;
    bool NextWriteFails();

    std::atomic<ULONG> mRefCount { 1 };
    std::vector<std::uint8_t> mBytes;
    unsigned long mWrites = 0;
    unsigned long mFailFrom = 0;
    std::uint64_t mCapacity = ~0ull;
};

} // namespace KEL
