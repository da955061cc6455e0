#include "com/Storage.h"

#include <atomic>
#include <cstdlib>

namespace {
std::atomic<long> gLiveBlocks { 0 };
std::atomic<long> gFailNext { 0 };
} // namespace

void* CoTaskMemAlloc(std::size_t bytes)
{
    long pending = gFailNext.load();
    while (pending > 0)
        if (gFailNext.compare_exchange_weak(pending, pending - 1))
            return nullptr;
    void* block = std::malloc(bytes == 0 ? 1 : bytes);
    if (block)
        ++gLiveBlocks;
    return block;
}

void CoTaskMemFree(void* block)
{
    if (!block)
        return;
    --gLiveBlocks;
    std::free(block);
}

namespace vx::com {
long LiveTaskMemCount()
{
    return gLiveBlocks.load();
}
void FailNextTaskMemAllocs(long count)
{
    gFailNext.store(count);
}
} // namespace vx::com
