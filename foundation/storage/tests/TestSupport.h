#pragma once
// Helpers shared by the storage tests.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "foundation/storage/KELStorage.h"
#include "foundation/storage/MemoryLockBytes.h"
#include "foundation/storage/StorageAllocator.h"

namespace vxtest {

inline std::uint32_t U32At(const std::vector<std::uint8_t>& b, std::size_t at)
{
    return b[at] | b[at + 1] << 8 | b[at + 2] << 16 | std::uint32_t(b[at + 3]) << 24;
}
inline std::uint64_t U64At(const std::vector<std::uint8_t>& b, std::size_t at)
{
    return U32At(b, at) | std::uint64_t(U32At(b, at + 4)) << 32;
}
inline std::uint64_t ClusterAt(std::uint32_t c)
{
    return std::uint64_t(c - 2) * 32768 + 512;
}

inline KEL::KELStorage* Kel(IStorage* s)
{
    return static_cast<KEL::KELStorage*>(s);
}

// A new root storage in memory; the test keeps a reference to the bytes.
struct MemoryFile {
    KEL::MemoryLockBytes* bytes = new KEL::MemoryLockBytes();
    IStorage* root = nullptr;
    MemoryFile() { EXPECT_EQ(KEL::KELStorage::CreateOnLockBytes(bytes, &root), S_OK); }
    ~MemoryFile()
    {
        if (root)
            root->Release();
        bytes->Release();
    }
    void Close()
    {
        root->Release();
        root = nullptr;
    }
};

inline HRESULT WriteAll(IStream* s, const std::vector<std::uint8_t>& data)
{
    ULONG written = 0;
    return s->Write(data.data(), static_cast<ULONG>(data.size()), &written);
}

inline std::vector<std::uint8_t> ReadAll(IStream* s)
{
    STATSTG st;
    s->Stat(&st, STATFLAG_NONAME);
    std::vector<std::uint8_t> out(static_cast<std::size_t>(st.cbSize.QuadPart));
    s->Seek({ 0 }, STREAM_SEEK_SET, nullptr);
    ULONG read = 0;
    s->Read(out.data(), static_cast<ULONG>(out.size()), &read);
    out.resize(read);
    return out;
}

inline std::vector<std::uint8_t> Pattern(std::size_t n, unsigned seed)
{
    std::vector<std::uint8_t> v(n);
    for (std::size_t i = 0; i < n; ++i)
        v[i] = static_cast<std::uint8_t>((i * 131 + seed * 7 + (i >> 8)) & 0xFF);
    return v;
}

} // namespace vxtest
