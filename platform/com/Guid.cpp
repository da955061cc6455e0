#include "com/Guid.h"

#include <cstdio>

namespace vx::com {

std::string GuidToString(const GUID& g)
{
    char text[39];
    std::snprintf(text, sizeof text, "{%08X-%04X-%04X-%02X%02X-%02X%02X%02X%02X%02X%02X}", g.Data1, g.Data2, g.Data3,
        g.Data4[0], g.Data4[1], g.Data4[2], g.Data4[3], g.Data4[4], g.Data4[5], g.Data4[6], g.Data4[7]);
    return text;
}

std::wstring GuidToWString(const GUID& g)
{
    const std::string narrow = GuidToString(g);
    return std::wstring(narrow.begin(), narrow.end());
}

std::size_t GuidHash::operator()(const GUID& g) const noexcept
{
    // FNV-1a over the 16 bytes.
    std::uint64_t h = 1469598103934665603ull;
    auto mix = [&h](std::uint8_t b) {
        h ^= b;
        h *= 1099511628211ull;
    };
    for (int i = 0; i < 4; ++i)
        mix(static_cast<std::uint8_t>(g.Data1 >> (8 * i)));
    mix(static_cast<std::uint8_t>(g.Data2));
    mix(static_cast<std::uint8_t>(g.Data2 >> 8));
    mix(static_cast<std::uint8_t>(g.Data3));
    mix(static_cast<std::uint8_t>(g.Data3 >> 8));
    for (std::uint8_t b : g.Data4)
        mix(b);
    return static_cast<std::size_t>(h);
}

} // namespace vx::com
