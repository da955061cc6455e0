// Arbitrary bytes through every HRV loader (settings and data, current and legacy layouts).
// A load either refuses (an unknown version, or settings outside their ranges) and changes
// nothing but the loaded version, or succeeds with valid settings; what it loaded must save and
// load back to the same values.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <vector>

#include "foundation/XKEL.h"
#include "foundation/stream/MemoryStream.h"
#include "hrv/core/Data.h"
#include "log/Log.h"

namespace {

std::vector<std::uint8_t> SaveOf(IPersistStreamInit& object)
{
    auto* mem = KEL::MemoryStream::Create();
    if (object.Save(mem, 1) != S_OK)
        std::abort();
    std::vector<std::uint8_t> bytes = mem->Bytes();
    mem->Release();
    return bytes;
}

HRESULT LoadFrom(IPersistStreamInit& object, std::vector<std::uint8_t> bytes)
{
    auto* mem = KEL::MemoryStream::Create(std::move(bytes), STGM_READ);
    const HRESULT hr = object.Load(mem);
    mem->Release();
    return hr;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    if (size < 1 || size > 65536)
        return 0;
    static vx::log::Capture quiet;
    const std::vector<std::uint8_t> bytes(data + 1, data + size);
    auto* settings = new HRV::Settings();
    settings->AddRef();
    auto* hrvData = new HRV::Data(settings);
    hrvData->AddRef();
    IPersistStreamInit& target = (data[0] & 1) ? static_cast<IPersistStreamInit&>(*hrvData) : *settings;

    const std::vector<std::uint8_t> before = SaveOf(target);
    const HRESULT hr = LoadFrom(target, bytes);
    if (hr != S_OK && hr != KEL::kStreamVersionTooNew && hr != E_INVALIDARG)
        std::abort();
    if (!settings->IsValid())
        std::abort(); // no load leaves a value outside its range
    const std::vector<std::uint8_t> after = SaveOf(target);
    if (hr != S_OK && after != before)
        std::abort(); // a refused stream changes nothing that is saved

    // What was loaded reads back the same.
    auto* settings2 = new HRV::Settings();
    settings2->AddRef();
    auto* data2 = new HRV::Data(settings2);
    data2->AddRef();
    IPersistStreamInit& again = (data[0] & 1) ? static_cast<IPersistStreamInit&>(*data2) : *settings2;
    if (LoadFrom(again, after) != S_OK || SaveOf(again) != after)
        std::abort();

    data2->Release();
    settings2->Release();
    hrvData->Release();
    settings->Release();
    quiet.Clear();
    return 0;
}
