// Arbitrary bytes loaded into a unit entry: a failed load must leave the entry as it was, and a
// successful one must save back to a stream that loads to the same entry.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <vector>

#include "foundation/stream/MemoryStream.h"
#include "foundation/stream/StorageBinStream.h"
#include "foundation/units/UnitEntry.h"
#include "log/Log.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    if (size > 65536)
        return 0;
    static vx::log::Capture quiet;
    auto* entry = new KEL::UnitEntry(KEL::String(L"V"), 7);
    entry->AddRef();
    auto* mem = KEL::MemoryStream::Create(std::vector<std::uint8_t>(data, data + size), STGM_READ);
    HRESULT hr;
    {
        KEL::StorageBinIStreamLite in(mem);
        hr = entry->Load(&in);
    }
    mem->Release();
    ULONG index = 0;
    entry->GetPrefixIndex(&index);
    if (FAILED(hr) && (index != 7 || !(entry->UnitName() == L"V")))
        std::abort();
    if (SUCCEEDED(hr)) {
        auto* copy = KEL::MemoryStream::Create();
        {
            KEL::StorageBinOStreamLite out(copy);
            entry->Save(&out);
        }
        copy->Rewind();
        auto* back = new KEL::UnitEntry();
        back->AddRef();
        {
            KEL::StorageBinIStreamLite in(copy);
            if (back->Load(&in) != S_OK || !(back->UnitName() == entry->UnitName()))
                std::abort();
        }
        back->Release();
        copy->Release();
    }
    entry->Release();
    quiet.Clear();
    return 0;
}
