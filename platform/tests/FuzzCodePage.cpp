// Decoding arbitrary bytes in each code page must stay in bounds, size its output exactly, and
// give text that encodes back to the same bytes whenever the input was well formed.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>

#include "text/CodePage.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    if (size == 0 || size > 4096)
        return 0;
    const char* bytes = reinterpret_cast<const char*>(data);
    const int length = static_cast<int>(size);
    for (UINT cp : { CP_UTF8, CP_ACP }) {
        const int needed = MultiByteToWideChar(cp, 0, bytes, length, nullptr, 0);
        if (needed <= 0 || needed > length)
            std::abort();
        std::wstring wide(static_cast<std::size_t>(needed), L'\0');
        if (MultiByteToWideChar(cp, 0, bytes, length, wide.data(), needed) != needed)
            std::abort();
        const int strict = MultiByteToWideChar(cp, MB_ERR_INVALID_CHARS, bytes, length, nullptr, 0);
        const int back = WideCharToMultiByte(cp, 0, wide.data(), needed, nullptr, 0, nullptr, nullptr);
        std::string narrow(static_cast<std::size_t>(back), '\0');
        if (back <= 0 || WideCharToMultiByte(cp, 0, wide.data(), needed, narrow.data(), back, nullptr, nullptr) != back)
            std::abort();
        if (strict > 0 && narrow != std::string(bytes, size))
            std::abort();
    }
    return 0;
}
