#pragma once
// The streaming model of the engine. A formula compiles into a graph of Signal objects; every
// Signal can produce any stretch of any record on demand. Stages that look at their neighbourhood
// (filters, normalisation, peak detection) declare a bounded look-back and look-ahead and compute
// their output on a fixed grid of blocks, so that
//  - any request, in any order and partition, gives exactly the samples a whole-record pass gives
//    (the value at a position depends only on the grid, never on the request history);
//  - a seek costs one block plus the stage's margins, never a pass from the record start;
//  - memory is a few blocks per stage, whatever the record length.
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <memory>
#include <span>
#include <vector>

namespace vx::calc {

// Length (samples) and sample interval (seconds) of one record of a channel.
struct TimeBase {
    int64_t length = 0;
    double interval = 0.0;
    double Rate() const { return interval > 0 ? 1.0 / interval : 0.0; }
    bool operator==(const TimeBase&) const = default;
};

class Signal {
public:
    virtual ~Signal() = default;
    virtual TimeBase Info(int record) = 0;
    // Fills out with the samples [start, start + out.size()) of the record. Positions before 0 or
    // at or after the length read as the first or last sample (constant extension), so stages
    // never need special cases at record edges; an empty record reads as zeros.
    virtual void Read(int record, int64_t start, std::span<float> out) = 0;
    // Lets go of what the stage and the stages it reads keep between reads (cached blocks,
    // buffers): the next read computes again what it needs, with the same result.
    virtual void Trim() { }
};

// A stage whose output is computed block by block on a fixed grid, with a small cache of the most
// recently used blocks.
class BlockSignal : public Signal {
public:
    static constexpr int64_t kBlock = 1 << 14;
    static constexpr std::size_t kMaxBlocks = 128; // at most 8 MB of cache per stage
    // 16384-sample blocks: large enough that per-block overhead is small, small enough that a
    // seek computes little more than it needs (each stage's look-around costs a block of the
    // stage below on each side).

    void Read(int record, int64_t start, std::span<float> out) final;
    // Drops the cached blocks; a stage overrides it to trim its inputs and buffers as well.
    void Trim() override;

protected:
    // Computes samples [start, start + out.size()) of the record, where start is a multiple of
    // kBlock and the stretch lies inside the record.
    virtual void ComputeBlock(int record, int64_t start, std::span<float> out) = 0;

private:
    struct Block {
        int record = -1;
        int64_t index = -1;
        uint64_t lastUse = 0;
        std::vector<float> data;
    };
    const Block& Fetch(int record, int64_t index, int64_t length);

    std::vector<Block> mBlocks;
    std::size_t mCapacity = 4;
    uint64_t mUseClock = 0;
};

// Events are fixed-size little-endian records that open with an i32 position in samples and an
// f32 sub-sample fraction. The engine's own peak events are 16 bytes: position, fraction and an
// f64 value; events of extension enumerators have the enumerator's record size.
struct EventBuffer {
    uint32_t recordSize = 16;
    std::vector<std::byte> bytes;

    std::size_t Count() const { return recordSize ? bytes.size() / recordSize : 0; }
    int32_t Position(std::size_t i) const
    {
        int32_t p;
        std::memcpy(&p, bytes.data() + i * recordSize, sizeof p);
        return p;
    }
    const std::byte* Record(std::size_t i) const { return bytes.data() + i * recordSize; }
    void Append(const std::byte* record) { bytes.insert(bytes.end(), record, record + recordSize); }
    void Clear() { bytes.clear(); }
};

// The 16-byte event of the engine's own event channels.
struct ValueEvent {
    int32_t position;
    float fraction;
    double value;
};
static_assert(sizeof(ValueEvent) == 16);

void AppendValueEvent(EventBuffer& buffer, int32_t position, double value);
double EventValue(const EventBuffer& buffer, std::size_t i); // the f64 at offset 8 of a 16-byte event

// Events an event stage keeps, handed to a reader that holds them too without a copy: runs of
// `count` whole records from record `first` of a block the stage no longer changes there.
struct SharedEventRun {
    std::shared_ptr<const std::vector<std::byte>> block;
    std::size_t first = 0;
    std::size_t count = 0;
};
struct SharedEvents {
    uint32_t recordSize = 0;
    std::vector<SharedEventRun> runs; // in position order
};

class EventSignal {
public:
    virtual ~EventSignal() = default;
    virtual TimeBase Info(int record) = 0;
    virtual uint32_t RecordSize() = 0;
    // The event type of its records (an extension enumerator's); 0: none.
    virtual uint32_t EventType() { return 0; }
    // Appends the events with start <= position < end of the record, in position order.
    virtual void Read(int record, int64_t start, int64_t end, EventBuffer& out) = 0;
    // The same events as Read gives, as runs of the blocks the stage keeps them in (replacing
    // `out`), for a reader that holds many events for long. False when the stage does not keep
    // them all: Read them then.
    virtual bool ReadShared(int, int64_t, int64_t, SharedEvents&) { return false; }
    // As Signal::Trim.
    virtual void Trim() { }
};

// Helper for stages: reads input [start, start + count) into a reusable buffer.
inline std::span<const float> ReadInto(
    Signal& input, int record, int64_t start, std::size_t count, std::vector<float>& buffer)
{
    buffer.resize(count);
    input.Read(record, start, buffer);
    return buffer;
}

} // namespace vx::calc
