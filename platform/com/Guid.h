#pragma once
// GUIDs: the identity of interfaces and classes. Parsed at compile time from their registry
// text form "{xxxxxxxx-xxxx-xxxx-xxxx-xxxxxxxxxxxx}" so the documented ids stay readable.
#include <cstddef>
#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <string_view>

struct GUID {
    std::uint32_t Data1 = 0;
    std::uint16_t Data2 = 0;
    std::uint16_t Data3 = 0;
    std::uint8_t Data4[8] = {};

    friend constexpr bool operator==(const GUID& a, const GUID& b)
    {
        if (a.Data1 != b.Data1 || a.Data2 != b.Data2 || a.Data3 != b.Data3)
            return false;
        for (int i = 0; i < 8; ++i)
            if (a.Data4[i] != b.Data4[i])
                return false;
        return true;
    }
    friend constexpr bool operator<(const GUID& a, const GUID& b)
    {
        if (a.Data1 != b.Data1)
            return a.Data1 < b.Data1;
        if (a.Data2 != b.Data2)
            return a.Data2 < b.Data2;
        if (a.Data3 != b.Data3)
            return a.Data3 < b.Data3;
        for (int i = 0; i < 8; ++i)
            if (a.Data4[i] != b.Data4[i])
                return a.Data4[i] < b.Data4[i];
        return false;
    }
};
static_assert(sizeof(GUID) == 16);

using IID = GUID;
using CLSID = GUID;
using REFIID = const IID&;
using REFCLSID = const CLSID&;
using REFGUID = const GUID&;

namespace vx::com {

namespace detail {
constexpr int HexValue(char c)
{
    if (c >= '0' && c <= '9')
        return c - '0';
    if (c >= 'a' && c <= 'f')
        return c - 'a' + 10;
    if (c >= 'A' && c <= 'F')
        return c - 'A' + 10;
    return -1;
}
} // namespace detail

// Parses "{8-4-4-4-12}" (braces optional). Returns nothing for any other text.
constexpr std::optional<GUID> TryParseGuid(std::string_view text)
{
    if (text.size() == 38) {
        if (text.front() != '{' || text.back() != '}')
            return std::nullopt;
        text = text.substr(1, 36);
    }
    if (text.size() != 36)
        return std::nullopt;
    std::uint8_t bytes[16] = {};
    int nibble = 0;
    for (std::size_t i = 0; i < text.size(); ++i) {
        const bool dash = i == 8 || i == 13 || i == 18 || i == 23;
        if (dash) {
            if (text[i] != '-')
                return std::nullopt;
            continue;
        }
        const int v = detail::HexValue(text[i]);
        if (v < 0)
            return std::nullopt;
        bytes[nibble / 2] = static_cast<std::uint8_t>(bytes[nibble / 2] | (nibble % 2 == 0 ? v << 4 : v));
        ++nibble;
    }
    GUID g;
    g.Data1
        = (std::uint32_t(bytes[0]) << 24) | (std::uint32_t(bytes[1]) << 16) | (std::uint32_t(bytes[2]) << 8) | bytes[3];
    g.Data2 = static_cast<std::uint16_t>((bytes[4] << 8) | bytes[5]);
    g.Data3 = static_cast<std::uint16_t>((bytes[6] << 8) | bytes[7]);
    for (int i = 0; i < 8; ++i)
        g.Data4[i] = bytes[8 + i];
    return g;
}

// Compile-time parse of a documented id; a malformed literal fails the build.
consteval GUID MakeGuid(std::string_view text)
{
    auto g = TryParseGuid(text);
    if (!g)
        throw "malformed GUID literal";
    return *g;
}

// Registry form with braces and upper-case hex digits.
std::string GuidToString(const GUID& g);
std::wstring GuidToWString(const GUID& g);

struct GuidHash {
    std::size_t operator()(const GUID& g) const noexcept;
};

} // namespace vx::com

template <> struct std::hash<GUID> : vx::com::GuidHash {
};

inline constexpr GUID GUID_NULL {};
