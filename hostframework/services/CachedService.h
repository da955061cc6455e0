#pragma once
// One host service fetched on first use and kept for the life of the process.
//
// The cache keeps no reference: the reference a fetch returns is released at once, since the
// framework keeps its services alive as long as the process runs. The pointer is published with
// release semantics and read with acquire semantics, so a thread that finds it set also sees the
// object it points to fully built; the fetch itself runs under the cache's own lock, so two
// threads never fetch the same service twice.
#include <atomic>
#include <mutex>

#include "com/Unknown.h"

namespace vx::hf {

template <class I> class CachedService {
public:
    // `fetch` runs under the lock and returns the service with one reference, or null.
    template <class Fetch> I* Get(Fetch&& fetch)
    {
        if (I* cached = mPointer.load(std::memory_order_acquire))
            return cached;
        std::lock_guard lock(mLock);
        I* pointer = mPointer.load(std::memory_order_relaxed);
        if (!pointer) {
            pointer = fetch();
            if (pointer) {
                pointer->Release();
                mPointer.store(pointer, std::memory_order_release);
            }
        }
        return pointer;
    }

private:
    std::mutex mLock;
    std::atomic<I*> mPointer { nullptr };
};

} // namespace vx::hf
