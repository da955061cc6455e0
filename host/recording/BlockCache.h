#pragma once
// A bounded cache of decoded sample blocks, shared by every channel that reads its samples from
// the file a block at a time. A long recording is never held whole: its blocks are decoded when
// read and the least recently used ones are let go once the cache holds more than its bound.
// Every reader (the engine's stages, the read-ahead workers, the chart) goes through the same
// cache, from any thread.
#include <cstddef>
#include <cstdint>
#include <functional>
#include <future>
#include <list>
#include <memory>
#include <mutex>
#include <span>
#include <unordered_map>
#include <vector>

namespace vx::host {

class BlockCache {
public:
    using Block = std::shared_ptr<const std::vector<int16_t>>;
    // Fills a block with its samples; throws when they cannot be read.
    using Decode = std::function<void(std::span<int16_t>)>;

    // Samples per block: 128 KiB of 16-bit samples.
    static constexpr int64_t kBlockSamples = int64_t(1) << 16;
    // The bound of the cache all recordings share.
    static constexpr std::size_t kSharedBytes = std::size_t(16) << 20;

    explicit BlockCache(std::size_t limitBytes);
    // The cache every recording of the process reads through.
    static BlockCache& Shared();

    // A key for a new source of blocks.
    uint64_t NewSource();
    // Lets every block of a source go (the source is gone, or its file changed).
    void Forget(uint64_t source);

    // Block `index` of `source`, `samples` long: the cached one, or one `decode` fills (outside
    // the cache's lock, so that readers of other blocks do not wait). A reader that asks for a
    // block another one is decoding waits for that decoding rather than repeating it. A block in
    // use stays valid after the cache lets it go. Rethrows what `decode` throws (to the readers
    // that waited for it too) and keeps nothing then.
    Block Get(uint64_t source, int64_t index, std::size_t samples, const Decode& decode);

    std::size_t Bytes() const;
    std::size_t BytesOf(uint64_t source) const;
    std::size_t Limit() const { return mLimit; }

private:
    struct Key {
        uint64_t source;
        int64_t index;
        bool operator==(const Key&) const = default;
    };
    struct KeyHash {
        std::size_t operator()(const Key& k) const
        {
            return std::hash<uint64_t>()(k.source * 0x9E3779B97F4A7C15ull ^ static_cast<uint64_t>(k.index));
        }
    };
    struct Entry {
        Key key;
        Block block;
    };
    void EvictOverLimit();

    const std::size_t mLimit;
    mutable std::mutex mMutex;
    std::list<Entry> mOrder; // most recently used first
    std::unordered_map<Key, std::list<Entry>::iterator, KeyHash> mIndex;
    std::unordered_map<Key, std::shared_future<Block>, KeyHash> mDecoding; // blocks being decoded
    std::size_t mBytes = 0;
    uint64_t mNextSource = 1;
};

} // namespace vx::host
