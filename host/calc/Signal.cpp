#include "host/calc/Signal.h"

#include <algorithm>

namespace vx::calc {

void BlockSignal::Read(int record, int64_t start, std::span<float> out)
{
    if (out.empty())
        return;
    const int64_t length = Info(record).length;
    if (length <= 0) {
        std::fill(out.begin(), out.end(), 0.0f);
        return;
    }
    const int64_t end = start + static_cast<int64_t>(out.size());
    const int64_t from = std::clamp<int64_t>(start, 0, length);
    const int64_t to = std::clamp<int64_t>(end, 0, length);
    if (to > from) {
        // Requests from a downstream stage span its look-back and look-ahead; keeping that many
        // blocks (up to a limit) lets its next block find them again. Each block is copied out
        // before the next is fetched, so any request works whatever the capacity.
        const auto spanned = static_cast<std::size_t>((to - 1) / kBlock - from / kBlock + 1);
        mCapacity = std::clamp(spanned + 2, mCapacity, kMaxBlocks);
        for (int64_t pos = from; pos < to;) {
            const int64_t index = pos / kBlock;
            const Block& block = Fetch(record, index, length);
            const int64_t blockStart = index * kBlock;
            const int64_t n = std::min(to, blockStart + static_cast<int64_t>(block.data.size())) - pos;
            std::copy_n(block.data.begin() + (pos - blockStart), n, out.begin() + (pos - start));
            pos += n;
        }
    }
    // Constant extension beyond the record's edges.
    if (start < 0) {
        const float first
            = to > from ? out[static_cast<std::size_t>(from - start)] : Fetch(record, 0, length).data.front();
        std::fill(out.begin(), out.begin() + (std::min<int64_t>(0, end) - start), first);
    }
    if (end > length) {
        const float last = to > from ? out[static_cast<std::size_t>(to - 1 - start)]
                                     : Fetch(record, (length - 1) / kBlock, length).data.back();
        std::fill(out.begin() + (std::max(length, start) - start), out.end(), last);
    }
}

void BlockSignal::Trim()
{
    mBlocks = {};
    mCapacity = 4;
}

const BlockSignal::Block& BlockSignal::Fetch(int record, int64_t index, int64_t length)
{
    ++mUseClock;
    for (Block& block : mBlocks)
        if (block.record == record && block.index == index) {
            block.lastUse = mUseClock;
            return block;
        }
    Block* slot;
    if (mBlocks.size() < mCapacity) {
        mBlocks.emplace_back();
        slot = &mBlocks.back();
    } else {
        slot = &*std::min_element(
            mBlocks.begin(), mBlocks.end(), [](const Block& a, const Block& b) { return a.lastUse < b.lastUse; });
    }
    const int64_t start = index * kBlock;
    slot->record = -1; // stays invalid if the computation throws
    slot->data.resize(static_cast<std::size_t>(std::min(kBlock, length - start)));
    ComputeBlock(record, start, slot->data);
    slot->record = record;
    slot->index = index;
    slot->lastUse = mUseClock;
    return *slot;
}

void AppendValueEvent(EventBuffer& buffer, int32_t position, double value)
{
    ValueEvent event { position, 0.0f, value };
    const auto* bytes = reinterpret_cast<const std::byte*>(&event);
    buffer.bytes.insert(buffer.bytes.end(), bytes, bytes + sizeof event);
}

double EventValue(const EventBuffer& buffer, std::size_t i)
{
    double v;
    std::memcpy(&v, buffer.Record(i) + 8, sizeof v);
    return v;
}

} // namespace vx::calc
