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
        for (auto& s : header.signals)
            s.fileName = "fuzz.dat";
        const std::string bytes(text + headerSize + 1, size - headerSize - 1);
        std::istringstream in(bytes);
        vx::import::WfdbRecord record;
        // Odd-sized inputs decode without a known file size, even-sized ones with it.
        vx::import::DecodeSignalFile(
            header, "fuzz.dat", in, "fuzz.dat", record, size % 2 ? -1 : static_cast<int64_t>(bytes.size()));
    } catch (const vx::import::ImportError&) {
    }
    return 0;
}
