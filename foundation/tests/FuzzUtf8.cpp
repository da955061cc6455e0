// Arbitrary bytes through the UTF-8 decoders: the lenient wrapper must always give text that
// encodes to well-formed UTF-8, equal to the input whenever the input was well formed, and the
// reference-style converter must agree with the wrapper up to where it stops.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>

#include "foundation/String.h"
#include "foundation/Utf.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    if (size > 4096)
        return 0;
    const std::string bytes(reinterpret_cast<const char*>(data), size);
    const std::wstring wide = KEL::Utf8ToWide(bytes);
    const std::string back = KEL::Utf16ToUtf8(wide.data(), wide.size());
    if (KEL::Utf8ToWide(back) != wide)
        std::abort(); // the re-encoding is well formed and stable

    std::u16string units(size + 1, u'\0');
    const auto* source = reinterpret_cast<const unsigned char*>(bytes.data());
    char16_t* target = units.data();
    const auto result = KEL::ConvertUtf8ToUtf16(&source, source + size, &target, units.data() + units.size());
    if (result == KEL::conversionOK && back != bytes)
        std::abort();
    const std::wstring prefix = KEL::Utf16ToWide(units.data(), static_cast<std::size_t>(target - units.data()));
    if (wide.compare(0, prefix.size(), prefix) != 0)
        std::abort();

    KEL::String text = KEL::Utf8ToString(bytes);
    if (text.View() != std::wstring_view(wide))
        std::abort();
    return 0;
}
