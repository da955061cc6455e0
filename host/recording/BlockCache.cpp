#include "host/recording/BlockCache.h"

namespace vx::host {

BlockCache::BlockCache(std::size_t limitBytes)
    : mLimit(limitBytes)
{
}

BlockCache& BlockCache::Shared()
{
    // Never destroyed: a channel that outlives the statics at exit still lets its blocks go here.
    static BlockCache* const cache = new BlockCache(kSharedBytes);
    return *cache;
}

uint64_t BlockCache::NewSource()
{
    std::lock_guard lock(mMutex);
    return mNextSource++;
}

void BlockCache::Forget(uint64_t source)
{
    std::lock_guard lock(mMutex);
    for (auto it = mOrder.begin(); it != mOrder.end();)
        if (it->key.source == source) {
            mBytes -= it->block->size() * sizeof(int16_t);
            mIndex.erase(it->key);
            it = mOrder.erase(it);
        } else
            ++it;
}

BlockCache::Block BlockCache::Get(uint64_t source, int64_t index, std::size_t samples, const Decode& decode)
{
    const Key key { source, index };
    std::unique_lock lock(mMutex);
    if (const auto found = mIndex.find(key); found != mIndex.end()) {
        mOrder.splice(mOrder.begin(), mOrder, found->second);
        return found->second->block;
    }
    if (const auto pending = mDecoding.find(key); pending != mDecoding.end()) {
        const std::shared_future<Block> wait = pending->second;
        lock.unlock();
        return wait.get();
    }
    std::promise<Block> decoded;
    mDecoding.emplace(key, decoded.get_future().share());
    lock.unlock();
    Block block;
    try {
        auto fresh = std::make_shared<std::vector<int16_t>>(samples);
        decode(*fresh);
        block = std::move(fresh);
    } catch (...) {
        lock.lock();
        mDecoding.erase(key);
        lock.unlock();
        decoded.set_exception(std::current_exception());
        throw;
    }
    lock.lock();
    mDecoding.erase(key);
    mOrder.push_front({ key, block });
    mIndex.emplace(key, mOrder.begin());
    mBytes += samples * sizeof(int16_t);
    EvictOverLimit();
    lock.unlock();
    decoded.set_value(block);
    return block;
}

void BlockCache::EvictOverLimit()
{
    // The block just added (at the front) stays even when it alone exceeds the bound.
    while (mBytes > mLimit && mOrder.size() > 1) {
        const Entry& last = mOrder.back();
        mBytes -= last.block->size() * sizeof(int16_t);
        mIndex.erase(last.key);
        mOrder.pop_back();
    }
}

std::size_t BlockCache::Bytes() const
{
    std::lock_guard lock(mMutex);
    return mBytes;
}

std::size_t BlockCache::BytesOf(uint64_t source) const
{
    std::lock_guard lock(mMutex);
    std::size_t bytes = 0;
    for (const Entry& e : mOrder)
        if (e.key.source == source)
            bytes += e.block->size() * sizeof(int16_t);
    return bytes;
}

} // namespace vx::host
