// Any text given to the delimited-text reader, with and without a sample rate, gives a
// recording that passes its own checks or a RecordingError.
#include "host/recording/Import.h"

#include <sstream>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    const std::string text(reinterpret_cast<const char*>(data), size);
    for (double rate : { 0.0, 250.0 }) {
        std::istringstream in(text);
        vx::host::DelimitedOptions options;
        options.sampleRate = rate;
        try {
            vx::host::Recording r = vx::host::ParseDelimited(in, "fuzz.csv", options);
            r.Validate("fuzz.csv");
            if (r.records.size() != 1 || r.records[0].length <= 0)
                __builtin_trap();
        } catch (const vx::host::RecordingError&) {
        }
    }
    return 0;
}
