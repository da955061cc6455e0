#pragma once
// An IStream over bytes in memory (the platform's memory stream): what tests, fuzzers and
// in-memory copies of persisted objects write to and read from.
#include <cstdint>
#include <vector>

#include "com/Storage.h"
#include "foundation/base/SimpleUnknownImp.h"

namespace KEL {

class MemoryStream : public SimpleUnknownImp1<IStream> {
public:
    // Created with one reference for the caller. `mode` is reported by Stat (STGM_READ,
    // STGM_WRITE or STGM_READWRITE).
    static MemoryStream* Create(std::vector<std::uint8_t> bytes = {}, DWORD mode = STGM_READWRITE);

    const std::vector<std::uint8_t>& Bytes() const noexcept { return mBytes; }
    void Rewind() noexcept { mPosition = 0; }

    HRESULT QueryInterface(REFIID iid, void** out) override;
    HRESULT Read(void* buffer, ULONG cb, ULONG* read) override;
    HRESULT Write(const void* buffer, ULONG cb, ULONG* written) override;
    HRESULT Seek(LARGE_INTEGER move, DWORD origin, ULARGE_INTEGER* newPosition) override;
    HRESULT SetSize(ULARGE_INTEGER size) override;
    HRESULT CopyTo(IStream*, ULARGE_INTEGER, ULARGE_INTEGER*, ULARGE_INTEGER*) override { return E_NOTIMPL; }
    HRESULT Commit(DWORD) override { return S_OK; }
    HRESULT Revert() override { return S_OK; }
    HRESULT LockRegion(ULARGE_INTEGER, ULARGE_INTEGER, DWORD) override { return STG_E_INVALIDFUNCTION; }
    HRESULT UnlockRegion(ULARGE_INTEGER, ULARGE_INTEGER, DWORD) override { return STG_E_INVALIDFUNCTION; }
    HRESULT Stat(STATSTG* stat, DWORD flags) override;
    HRESULT Clone(IStream**) override { return E_NOTIMPL; }

protected:
    MemoryStream(std::vector<std::uint8_t> bytes, DWORD mode);

private:
    std::vector<std::uint8_t> mBytes;
    std::uint64_t mPosition = 0;
    DWORD mMode;
};

} // namespace KEL
