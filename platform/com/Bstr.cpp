#include "com/Bstr.h"

#include <atomic>
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <cwchar>
#include <limits>

namespace {
std::atomic<long> gLiveBstrs { 0 };

// Layout of one allocation: [u32 byte length][padding to the character alignment][bytes][terminator].
constexpr std::size_t kHeader
    = alignof(std::max_align_t) > sizeof(std::uint32_t) ? alignof(std::max_align_t) : sizeof(std::uint32_t);

std::uint32_t& ByteLength(BSTR text)
{
    return *reinterpret_cast<std::uint32_t*>(reinterpret_cast<char*>(text) - sizeof(std::uint32_t));
}

char* BlockOf(BSTR text)
{
    return reinterpret_cast<char*>(text) - kHeader;
}

BSTR Allocate(const void* data, std::size_t bytes)
{
    if (bytes > std::numeric_limits<std::uint32_t>::max() - kHeader - 2 * sizeof(OLECHAR))
        return nullptr;
    // Round the character area up so the terminator is a whole, aligned wchar_t.
    const std::size_t chars = (bytes + sizeof(OLECHAR) - 1) / sizeof(OLECHAR);
    char* block = static_cast<char*>(std::malloc(kHeader + (chars + 1) * sizeof(OLECHAR)));
    if (!block)
        return nullptr;
    BSTR text = reinterpret_cast<BSTR>(block + kHeader);
    std::memset(text, 0, (chars + 1) * sizeof(OLECHAR));
    if (data)
        std::memcpy(text, data, bytes);
    ByteLength(text) = static_cast<std::uint32_t>(bytes);
    gLiveBstrs.fetch_add(1);
    return text;
}
} // namespace

BSTR SysAllocString(const OLECHAR* text)
{
    if (!text)
        return nullptr;
    return Allocate(text, std::wcslen(text) * sizeof(OLECHAR));
}

BSTR SysAllocStringLen(const OLECHAR* text, UINT length)
{
    if (length > std::numeric_limits<std::uint32_t>::max() / sizeof(OLECHAR))
        return nullptr;
    return Allocate(text, std::size_t(length) * sizeof(OLECHAR));
}

BSTR SysAllocStringByteLen(const char* data, UINT bytes)
{
    return Allocate(data, bytes);
}

BOOL SysReAllocStringLen(BSTR* target, const OLECHAR* text, UINT length)
{
    if (!target)
        return 0;
    BSTR fresh = SysAllocStringLen(text, length);
    if (!fresh)
        return 0;
    SysFreeString(*target);
    *target = fresh;
    return 1;
}

BOOL SysReAllocString(BSTR* target, const OLECHAR* text)
{
    return SysReAllocStringLen(target, text, text ? static_cast<UINT>(std::wcslen(text)) : 0);
}

void SysFreeString(BSTR text)
{
    if (!text)
        return;
    gLiveBstrs.fetch_sub(1);
    std::free(BlockOf(text));
}

UINT SysStringLen(BSTR text)
{
    return text ? ByteLength(text) / sizeof(OLECHAR) : 0;
}

UINT SysStringByteLen(BSTR text)
{
    return text ? ByteLength(text) : 0;
}

namespace vx::com {
long LiveBstrCount()
{
    return gLiveBstrs.load();
}
} // namespace vx::com
