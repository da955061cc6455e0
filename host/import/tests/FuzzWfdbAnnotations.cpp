// Fuzzes the MIT annotation parser: any bytes give annotations or an ImportError.
#include "host/import/Wfdb.h"

#include <cstddef>
#include <cstdint>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    try {
        vx::import::ParseAnnotations(std::span<const uint8_t>(data, size), "fuzz.atr");
    } catch (const vx::import::ImportError&) {
    }
    return 0;
}
