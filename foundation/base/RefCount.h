#pragma once
// The one way a reference count reaches zero in this system. On the final release the count is
// parked at kDyingCount before the object is destroyed, so an AddRef/Release pair made while the
// destructor runs moves the count away from that value and back, never through zero, and cannot
// start a second destruction.
#include <atomic>

#include "com/HResult.h"

namespace vx::com {

constexpr ULONG kDyingCount = 0xC0000001u;

inline ULONG AddRefCount(std::atomic<ULONG>& count) noexcept
{
    return count.fetch_add(1) + 1;
}

// Decrements the count. Returns true when this call released the last reference; the count is
// then kDyingCount and the caller destroys the object (and reports 0 to its own caller).
inline bool ReleaseCount(std::atomic<ULONG>& count, ULONG& newCount) noexcept
{
    newCount = count.fetch_sub(1) - 1;
    if (newCount != 0)
        return false;
    count.store(kDyingCount);
    return true;
}

} // namespace vx::com
