// Session files as a host reads them from disk: any bytes either are refused with a reason, or
// decode into content that encodes to a file that decodes to the same content again.
//   input: the file's bytes; byte 0 bit 0 set: the checksum is made to match first, so that the
//   fuzzer reaches the sections behind it.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <vector>

#include "host/hrvdoc/Session.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    if (size == 0)
        return 0;
    std::vector<std::uint8_t> bytes(data + 1, data + size);
    if ((data[0] & 1) && bytes.size() >= 4) {
        const std::uint32_t crc = vx::host::Crc32(bytes.data(), bytes.size() - 4);
        for (int i = 0; i < 4; ++i)
            bytes[bytes.size() - 4 + std::size_t(i)] = static_cast<std::uint8_t>(crc >> (8 * i));
    }
    vx::host::SessionContent content;
    try {
        content = vx::host::DecodeSession(bytes);
    } catch (const vx::host::SessionError&) {
        return 0;
    }
    const vx::host::SessionContent again = vx::host::DecodeSession(vx::host::EncodeSession(content));
    if (again.objects.size() != content.objects.size() || again.channels.size() != content.channels.size()
        || again.links.size() != content.links.size())
        std::abort();
    for (std::size_t i = 0; i < content.objects.size(); ++i)
        if (again.objects[i].bytes != content.objects[i].bytes || again.objects[i].index != content.objects[i].index)
            std::abort();
    for (std::size_t i = 0; i < content.channels.size(); ++i)
        if (again.channels[i].name != content.channels[i].name
            || again.channels[i].formula != content.channels[i].formula)
            std::abort();
    return 0;
}
