#pragma once
// The host's recording: records x channels of samples, with per-channel scaling and display
// ranges, event channels, comments and a selection. Samples are stored once, in the form the file
// gave them (16-bit ADC values with a scaling, or floats), and are scaled on read; importers move
// their decoded arrays in, so a long recording is never copied after decoding.
#include "host/calc/Engine.h"
#include "host/recording/BlockCache.h"

#include <atomic>
#include <cstddef>
#include <cstdint>
#include <filesystem>
#include <functional>
#include <memory>
#include <mutex>
#include <optional>
#include <span>
#include <stdexcept>
#include <string>
#include <utility>
#include <variant>
#include <vector>

namespace vx::host {

// A file that cannot be turned into a recording; the text names the file and the problem.
class RecordingError : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

// The samples of one channel in one record.
class SampleStore {
public:
    // Decodes a channel's samples (16-bit ADC values, or floats) from its file; throws
    // RecordingError.
    using Samples = std::variant<std::vector<int16_t>, std::vector<float>>;
    using Loader = std::function<Samples()>;

    SampleStore() = default;
    explicit SampleStore(std::vector<int16_t> raw)
        : mData(std::move(raw))
    {
    }
    explicit SampleStore(std::vector<float> values)
        : mData(std::move(values))
    {
    }
    // A channel of `length` samples that are decoded from the file when first read, so
    // that a channel nothing reads is never held. Copies share the samples.
    SampleStore(int64_t length, Loader loader);
    // Reads samples [first, first + out.size()) of a channel from its file; safe to call from
    // several threads at once; throws RecordingError.
    using StretchReader = std::function<void(int64_t first, std::span<int16_t> out)>;
    // A channel of `length` 16-bit samples that is read from its file a block at a time through
    // `cache`, so that it is never held whole, whatever its length. Copies share the channel.
    SampleStore(int64_t length, StretchReader reader, BlockCache& cache = BlockCache::Shared());
    // A store that shows the first `shown` samples of a channel decoded on first read (see
    // above) and shares them: a record that is played online from a file grows by Grow instead of
    // copying what it is given. Null when `source` is not such a channel.
    static std::optional<SampleStore> Prefix(const SampleStore& source, int64_t shown);
    // Shows `count` more samples of a prefix store; false (nothing changed) for any other store or
    // beyond the channel's length.
    bool Grow(int64_t count);

    int64_t Length() const;
    bool IsInt16() const
    {
        return (mDeferred && mDeferred->stretches) || std::holds_alternative<std::vector<int16_t>>(Data());
    }
    // Whether the samples are read from the file a block at a time (never held whole).
    bool IsStreamed() const { return mDeferred && mDeferred->stretches; }
    // Stored values [start, start + out.size()), which must lie inside the store.
    void Read(int64_t start, std::span<float> out) const;
    // Lowest and highest stored value; false for an empty store.
    bool Range(double& low, double& high) const;
    // Appends values (online sampling); int16 stores round and clamp.
    void Append(std::span<const float> values);
    // Room for `count` samples in all, so that a store that grows by appending is not copied.
    void Reserve(int64_t count);
    // Bytes of samples held for this store (of a streamed store: its blocks in the cache).
    std::size_t Bytes() const;

private:
    struct Deferred {
        ~Deferred();
        int64_t length = 0;
        Loader loader;
        std::mutex mutex;
        std::atomic<bool> loaded { false };
        std::variant<std::vector<int16_t>, std::vector<float>> data;
        // A streamed channel: its reader, the cache and its key there, and its range once found.
        StretchReader stretches;
        BlockCache* cache = nullptr;
        uint64_t source = 0;
        bool ranged = false;
        bool anyInRange = false;
        double low = 0, high = 0;
    };
    void ReadStreamed(int64_t start, std::span<float> out) const;
    bool RangeStreamed(int64_t length, double& low, double& high) const;
    // The stored values: the decoded ones of a deferred store, mData otherwise.
    const std::variant<std::vector<int16_t>, std::vector<float>>& Data() const;

    std::variant<std::vector<int16_t>, std::vector<float>> mData;
    std::shared_ptr<Deferred> mDeferred;
    int64_t mShown = -1; // a prefix store's length; -1: the whole channel
};

// How a channel is shown: physical value = (stored value + offset) * factor.
struct ChannelSetup {
    std::wstring title;
    std::wstring unit;
    double factor = 1.0;
    double offset = 0.0;
    double displayLow = -1.0;
    double displayHigh = 1.0;
    // Samples per tick of the record: 1 for channels at the record's rate, a smaller divisor for
    // slower channels (an EDF file may mix rates). interval = record interval * ticksPerSample.
    int ticksPerSample = 1;

    double ToPhysical(double stored) const { return (stored + offset) * factor; }
};

struct Record {
    double interval = 0.0; // seconds per tick
    double startTime = 0.0; // seconds since the recording's start
    int64_t length = 0; // ticks
    std::wstring info; // free text the importer keeps (file name, header remarks)
    std::vector<SampleStore> channels; // one per recording channel
};

// Event records are fixed-size little-endian records that open with their i32 tick position
// (the host's event convention, shared with the calculation engine).
struct EventChannel {
    std::wstring title;
    uint32_t recordSize = 16;
    std::vector<std::vector<std::byte>> records; // per recording record, sorted by position

    std::size_t Count(int record) const;
    int32_t Position(int record, std::size_t i) const;
};

// The 16-byte record of an imported annotation: position, sub-sample fraction (0), the
// annotation code, subtype, channel and number.
struct AnnotationEvent {
    int32_t position;
    float fraction;
    uint8_t code;
    int8_t subtype;
    uint8_t channel;
    int8_t number;
    int32_t reserved;
};
static_assert(sizeof(AnnotationEvent) == 16);

struct Comment {
    int record = 0;
    int64_t position = 0;
    int channel = -1; // -1: the whole record
    std::wstring text;
};

// A position: record, then tick offset in the record.
struct TickPosition {
    int record = 0;
    int64_t offset = 0;
    auto operator<=>(const TickPosition&) const = default;
};

struct Selection {
    bool empty = true;
    TickPosition start;
    TickPosition end;
    std::vector<int> channels; // empty: every channel
};

class Recording final : public calc::IRecording {
public:
    std::vector<ChannelSetup> channels;
    std::vector<Record> records;
    std::vector<EventChannel> eventChannels;
    std::vector<Comment> comments;
    Selection selection;
    // The record being sampled online; -1 when the host is not sampling.
    int samplingRecord = -1;
    // The files the recording was read from, and what was wrong with them without stopping the
    // import (a checksum mismatch, a damaged optional annotation file).
    std::vector<std::filesystem::path> files;
    std::vector<std::string> warnings;

    // Adds a channel to every record (empty in each) and returns its index.
    int AddChannel(ChannelSetup setup);
    // Adds a record with an empty store per channel and returns its index.
    int AddRecord(double interval, double startTime = 0.0);
    // Checks that every record holds a store per channel and that channel lengths agree with the
    // record length and the channel's ticks per sample; throws RecordingError naming `source`.
    void Validate(const std::string& source) const;
    // Samples of a channel in a record (length in the channel's own samples).
    int64_t ChannelLength(int channel, int record) const;
    // Physical values [start, start + out.size()) of a channel; must lie inside the channel.
    void ReadPhysical(int channel, int record, int64_t start, std::span<float> out) const;
    // Physical range of a channel over every record; false when it holds no samples.
    bool PhysicalRange(int channel, double& low, double& high) const;
    std::size_t SampleBytes() const;

    // calc::IRecording
    int RecordCount() const override { return static_cast<int>(records.size()); }
    int ChannelCount() const override { return static_cast<int>(channels.size()); }
    calc::TimeBase ChannelInfo(int channel, int record) const override;
    calc::TimeBase RecordInfo(int record) const override;
    void ReadChannel(int channel, int record, int64_t start, std::span<float> out, bool raw) override;
    // Samples stay as they are while nothing is being sampled.
    bool ReadsConcurrently(int) const override { return samplingRecord < 0; }
};

} // namespace vx::host
