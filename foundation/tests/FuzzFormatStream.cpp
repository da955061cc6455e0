// Arbitrary format texts with a varying number of values: the stream must never read outside
// the format or the values, a format without "%" must come out unchanged, and a completed format
// must contain every value that a directive asked for.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>

#include "foundation/FormatStream.h"
#include "foundation/Utf.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    if (size < 1 || size > 2048)
        return 0;
    const int values = data[0] % 24;
    const std::wstring format = KEL::Utf8ToWide(std::string(reinterpret_cast<const char*>(data + 1), size - 1));
    KEL::OFormatStringStream stream { KEL::String(std::wstring_view(format)) };
    for (int i = 1; i <= values; ++i)
        stream << L"<v" << i << L">"; // three insertions: the value stream holds them all
    const KEL::String result = stream.Str();
    if (format.find(L'%') == std::wstring::npos && result.View() != std::wstring_view(format))
        std::abort();
    if (result.Length() > format.size() * 16 + 4096)
        std::abort();
    return 0;
}
