// Fuzzes the WFDB header parser: any text gives a header or an ImportError.
#include "host/import/Wfdb.h"

#include <cstddef>
#include <cstdint>
#include <string_view>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    try {
        vx::import::ParseHeader(std::string_view(reinterpret_cast<const char*>(data), size), "fuzz.hea");
    } catch (const vx::import::ImportError&) {
    }
    return 0;
}
