// Arbitrary bytes through the binary stream reader: the first input byte picks a sequence of
// reads, the rest is the stream. Bad strings may throw XKEL; nothing may crash, leak, read out
// of bounds or allocate by an untrusted count.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <vector>

#include "foundation/XKEL.h"
#include "foundation/stream/MemoryStream.h"
#include "foundation/stream/StorageBinStream.h"
#include "log/Log.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    if (size < 1 || size > 65536)
        return 0;
    static vx::log::Capture quiet; // XKEL writes a boot-log line per bad string
    const std::uint8_t plan = data[0];
    auto* mem = KEL::MemoryStream::Create(std::vector<std::uint8_t>(data + 1, data + size), STGM_READ);
    {
        KEL::StorageBinIStreamLite in(mem);
        for (int step = 0; step < 64 && in.Good(); ++step) {
            try {
                switch ((plan >> (step % 4 * 2)) & 3) {
                case 0:
                    (void)in.GetString();
                    break;
                case 1:
                    (void)in.GetU32();
                    break;
                case 2:
                    (void)in.GetF64();
                    break;
                default: {
                    std::uint8_t block[16];
                    in.GetBytes(block, in.GetByte() % 17);
                    break;
                }
                }
            } catch (const XKEL&) {
                break;
            }
        }
        if (!in.Good() && in.GetU32() != 0)
            std::abort(); // a bad stream yields zeros
    }
    if (mem->Release() != 0)
        std::abort();
    quiet.Clear();
    return 0;
}
