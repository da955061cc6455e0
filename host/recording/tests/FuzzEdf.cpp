// Any bytes given to the EDF reader give a recording that passes its own checks or a
// RecordingError; never a crash, a hang or an allocation beyond the input's size.
#include "host/recording/Import.h"

#include <sstream>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    std::istringstream in(std::string(reinterpret_cast<const char*>(data), size));
    try {
        vx::host::Recording r = vx::host::ParseEdf(in, "fuzz.edf");
        r.Validate("fuzz.edf");
        for (int c = 0; c < r.ChannelCount(); ++c) {
            double lo, hi;
            if (r.PhysicalRange(c, lo, hi) && lo > hi)
                __builtin_trap();
        }
    } catch (const vx::host::RecordingError&) {
    }
    return 0;
}
