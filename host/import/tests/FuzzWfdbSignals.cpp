// Fuzzes the signal decoder. The input is a header text, a NUL byte, then the signal file's bytes;
// the header's signal file name is ignored and every signal is read from those bytes.
#include "host/import/Wfdb.h"

#include <cstddef>
#include <cstdint>
#include <cstring>
#include <sstream>
#include <string>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    const auto* text = reinterpret_cast<const char*>(data);
    const void* nul = std::memchr(text, 0, size);
    if (!nul)
        return 0;
    const std::size_t headerSize = static_cast<const char*>(nul) - text;
    try {
        vx::import::WfdbHeader header = vx::import::ParseHeader(std::string_view(text, headerSize), "fuzz.hea");
        if (header.sampleCount > 1000000)
            return 0; // keep memory bounded; large counts are covered by the truncation check
        for (auto& s : header.signals)
            s.fileName = "fuzz.dat";
        std::istringstream in(std::string(text + headerSize + 1, size - headerSize - 1));
        vx::import::WfdbRecord record;
        vx::import::DecodeSignalFile(header, "fuzz.dat", in, "fuzz.dat", record);
    } catch (const vx::import::ImportError&) {
    }
    return 0;
}
