#include "host/recording/Recording.h"

#include "host/calc/CalcError.h"

#include <algorithm>
#include <cmath>
#include <cstring>
#include <limits>

namespace vx::host {

SampleStore::SampleStore(int64_t length, Loader loader)
    : mDeferred(std::make_shared<Deferred>())
{
    mDeferred->length = length;
    mDeferred->loader = std::move(loader);
}

SampleStore::SampleStore(int64_t length, StretchReader reader, BlockCache& cache)
    : mDeferred(std::make_shared<Deferred>())
{
    mDeferred->length = length;
    mDeferred->stretches = std::move(reader);
    mDeferred->cache = &cache;
    mDeferred->source = cache.NewSource();
}

SampleStore::Deferred::~Deferred()
{
    if (cache)
        cache->Forget(source);
}

const std::variant<std::vector<int16_t>, std::vector<float>>& SampleStore::Data() const
{
    if (!mDeferred)
        return mData;
    Deferred& d = *mDeferred;
    if (d.stretches)
        throw std::logic_error("the samples of a streamed channel are never held whole");
    if (!d.loaded.load(std::memory_order_acquire)) {
        std::lock_guard lock(d.mutex);
        if (!d.loaded.load(std::memory_order_relaxed)) {
            Samples samples = d.loader();
            if (std::visit([](const auto& v) { return static_cast<int64_t>(v.size()); }, samples) != d.length)
                throw RecordingError("a channel's file no longer holds the " + std::to_string(d.length)
                    + " samples it held when the recording was opened");
            d.data = std::move(samples);
            d.loader = nullptr;
            d.loaded.store(true, std::memory_order_release);
        }
    }
    return d.data;
}

std::optional<SampleStore> SampleStore::Prefix(const SampleStore& source, int64_t shown)
{
    if (!source.mDeferred || source.mShown >= 0 || shown < 0 || shown > source.mDeferred->length)
        return std::nullopt;
    SampleStore s;
    s.mDeferred = source.mDeferred;
    s.mShown = shown;
    return s;
}

bool SampleStore::Grow(int64_t count)
{
    if (!mDeferred || mShown < 0 || count < 0 || count > mDeferred->length - mShown)
        return false;
    mShown += count;
    return true;
}

int64_t SampleStore::Length() const
{
    if (mShown >= 0)
        return mShown;
    if (mDeferred)
        return mDeferred->length;
    return std::visit([](const auto& v) { return static_cast<int64_t>(v.size()); }, mData);
}

void SampleStore::ReadStreamed(int64_t start, std::span<float> out) const
{
    if (start < 0 || start + static_cast<int64_t>(out.size()) > Length())
        throw std::out_of_range("sample read outside the channel");
    const Deferred& d = *mDeferred;
    constexpr int64_t kBlock = BlockCache::kBlockSamples;
    std::size_t done = 0;
    while (done < out.size()) {
        const int64_t at = start + static_cast<int64_t>(done);
        const int64_t index = at / kBlock;
        const int64_t first = index * kBlock;
        const auto samples = static_cast<std::size_t>(std::min(kBlock, d.length - first));
        const BlockCache::Block block
            = d.cache->Get(d.source, index, samples, [&](std::span<int16_t> into) { d.stretches(first, into); });
        const auto from = static_cast<std::size_t>(at - first);
        const std::size_t take = std::min(samples - from, out.size() - done);
        std::copy_n(
            block->begin() + static_cast<std::ptrdiff_t>(from), take, out.begin() + static_cast<std::ptrdiff_t>(done));
        done += take;
    }
}

bool SampleStore::RangeStreamed(int64_t length, double& low, double& high) const
{
    // Read past the cache, a block at a time, so that a scan of the whole channel does not push
    // out the blocks that readers use.
    std::vector<int16_t> block(static_cast<std::size_t>(std::min(BlockCache::kBlockSamples, length)));
    int lo = 32767, hi = -32768;
    for (int64_t at = 0; at < length; at += BlockCache::kBlockSamples) {
        const std::span<int16_t> part(
            block.data(), static_cast<std::size_t>(std::min(BlockCache::kBlockSamples, length - at)));
        mDeferred->stretches(at, part);
        for (const int16_t v : part) {
            lo = std::min<int>(lo, v);
            hi = std::max<int>(hi, v);
        }
    }
    low = lo;
    high = hi;
    return length > 0;
}

void SampleStore::Read(int64_t start, std::span<float> out) const
{
    if (IsStreamed())
        return ReadStreamed(start, out);
    std::visit(
        [&](const auto& v) {
            if (start < 0
                || start + static_cast<int64_t>(out.size()) > std::min(static_cast<int64_t>(v.size()), Length()))
                throw std::out_of_range("sample read outside the channel");
            std::copy_n(v.begin() + start, out.size(), out.begin());
        },
        Data());
}

bool SampleStore::Range(double& low, double& high) const
{
    // NaN samples (gaps in a text file) take no part in the range.
    if (Length() == 0)
        return false;
    if (IsStreamed()) {
        if (mShown >= 0)
            return RangeStreamed(mShown, low, high);
        // The whole channel's range is found once.
        Deferred& d = *mDeferred;
        std::lock_guard lock(d.mutex);
        if (!d.ranged) {
            d.anyInRange = RangeStreamed(d.length, d.low, d.high);
            d.ranged = true;
        }
        low = d.low;
        high = d.high;
        return d.anyInRange;
    }
    return std::visit(
        [&](const auto& v) {
            bool any = false;
            double lo = 0, hi = 0;
            const auto shown = static_cast<std::size_t>(std::min(static_cast<int64_t>(v.size()), Length()));
            for (std::size_t i = 0; i < shown; ++i) {
                const double d = static_cast<double>(v[i]);
                if (std::isnan(d))
                    continue;
                lo = any ? std::min(lo, d) : d;
                hi = any ? std::max(hi, d) : d;
                any = true;
            }
            if (any) {
                low = lo;
                high = hi;
            }
            return any;
        },
        Data());
}

void SampleStore::Append(std::span<const float> values)
{
    if (IsStreamed()) {
        // A store that grows keeps its samples itself (a prefix store the ones it shows).
        std::vector<int16_t> raw(static_cast<std::size_t>(Length()));
        for (int64_t at = 0; at < Length(); at += BlockCache::kBlockSamples)
            mDeferred->stretches(at,
                std::span(raw).subspan(static_cast<std::size_t>(at),
                    static_cast<std::size_t>(std::min(BlockCache::kBlockSamples, Length() - at))));
        mData = std::move(raw);
        mDeferred.reset();
        mShown = -1;
    } else if (mDeferred) {
        // A store that grows keeps its samples itself (a prefix store the ones it shows).
        const int64_t shown = Length();
        mData = Data();
        std::visit([&](auto& v) { v.resize(static_cast<std::size_t>(shown)); }, mData);
        mDeferred.reset();
        mShown = -1;
    }
    if (auto* raw = std::get_if<std::vector<int16_t>>(&mData)) {
        for (float f : values) {
            const double r = std::isnan(f) ? 0.0 : std::clamp(std::round(static_cast<double>(f)), -32768.0, 32767.0);
            raw->push_back(static_cast<int16_t>(r));
        }
    } else {
        auto& v = std::get<std::vector<float>>(mData);
        v.insert(v.end(), values.begin(), values.end());
    }
}

void SampleStore::Reserve(int64_t count)
{
    if (mDeferred || count <= 0)
        return;
    std::visit([&](auto& v) { v.reserve(static_cast<std::size_t>(count)); }, mData);
}

std::size_t SampleStore::Bytes() const
{
    if (IsStreamed())
        return mDeferred->cache->BytesOf(mDeferred->source);
    if (mDeferred && !mDeferred->loaded.load(std::memory_order_acquire))
        return 0;
    return std::visit([](const auto& v) { return v.capacity() * sizeof(v[0]); }, mDeferred ? mDeferred->data : mData);
}

std::size_t EventChannel::Count(int record) const
{
    if (record < 0 || record >= static_cast<int>(records.size()) || recordSize == 0)
        return 0;
    return records[static_cast<std::size_t>(record)].size() / recordSize;
}

int32_t EventChannel::Position(int record, std::size_t i) const
{
    int32_t p;
    std::memcpy(&p, records[static_cast<std::size_t>(record)].data() + i * recordSize, sizeof p);
    return p;
}

int Recording::AddChannel(ChannelSetup setup)
{
    channels.push_back(std::move(setup));
    for (Record& r : records)
        r.channels.resize(channels.size());
    return static_cast<int>(channels.size()) - 1;
}

int Recording::AddRecord(double interval, double startTime)
{
    Record r;
    r.interval = interval;
    r.startTime = startTime;
    r.channels.resize(channels.size());
    records.push_back(std::move(r));
    return static_cast<int>(records.size()) - 1;
}

void Recording::Validate(const std::string& source) const
{
    for (std::size_t r = 0; r < records.size(); ++r) {
        const Record& rec = records[r];
        if (!(rec.interval > 0) || !std::isfinite(rec.interval))
            throw RecordingError(source + ": record " + std::to_string(r + 1) + " has no valid sample interval");
        if (rec.channels.size() != channels.size())
            throw RecordingError(source + ": record " + std::to_string(r + 1) + " does not hold every channel");
        for (std::size_t c = 0; c < channels.size(); ++c) {
            const int tps = std::max(1, channels[c].ticksPerSample);
            const int64_t expected = rec.length / tps;
            if (rec.channels[c].Length() != expected)
                throw RecordingError(source + ": channel " + std::to_string(c + 1) + " of record "
                    + std::to_string(r + 1) + " holds " + std::to_string(rec.channels[c].Length()) + " samples where "
                    + std::to_string(expected) + " are expected");
        }
    }
}

int64_t Recording::ChannelLength(int channel, int record) const
{
    if (record < 0 || record >= RecordCount() || channel < 0 || channel >= ChannelCount())
        return 0;
    return records[static_cast<std::size_t>(record)].channels[static_cast<std::size_t>(channel)].Length();
}

void Recording::ReadPhysical(int channel, int record, int64_t start, std::span<float> out) const
{
    const ChannelSetup& setup = channels.at(static_cast<std::size_t>(channel));
    records.at(static_cast<std::size_t>(record)).channels.at(static_cast<std::size_t>(channel)).Read(start, out);
    if (setup.factor != 1.0 || setup.offset != 0.0)
        for (float& v : out)
            v = static_cast<float>(setup.ToPhysical(v));
}

bool Recording::PhysicalRange(int channel, double& low, double& high) const
{
    if (channel < 0 || channel >= ChannelCount())
        return false;
    bool any = false;
    double lo = std::numeric_limits<double>::max(), hi = -std::numeric_limits<double>::max();
    for (const Record& r : records) {
        double a, b;
        if (r.channels[static_cast<std::size_t>(channel)].Range(a, b)) {
            lo = std::min(lo, a);
            hi = std::max(hi, b);
            any = true;
        }
    }
    if (!any)
        return false;
    const ChannelSetup& s = channels[static_cast<std::size_t>(channel)];
    low = std::min(s.ToPhysical(lo), s.ToPhysical(hi)); // a negative factor swaps the ends
    high = std::max(s.ToPhysical(lo), s.ToPhysical(hi));
    return true;
}

std::size_t Recording::SampleBytes() const
{
    std::size_t total = 0;
    for (const Record& r : records)
        for (const SampleStore& s : r.channels)
            total += s.Bytes();
    return total;
}

calc::TimeBase Recording::ChannelInfo(int channel, int record) const
{
    if (record < 0 || record >= RecordCount() || channel < 0 || channel >= ChannelCount())
        return {};
    const Record& r = records[static_cast<std::size_t>(record)];
    const int tps = std::max(1, channels[static_cast<std::size_t>(channel)].ticksPerSample);
    return { r.channels[static_cast<std::size_t>(channel)].Length(), r.interval * tps };
}

calc::TimeBase Recording::RecordInfo(int record) const
{
    if (record < 0 || record >= RecordCount())
        return {};
    const Record& r = records[static_cast<std::size_t>(record)];
    return { r.length, r.interval };
}

void Recording::ReadChannel(int channel, int record, int64_t start, std::span<float> out, bool raw)
{
    try {
        if (raw)
            records.at(static_cast<std::size_t>(record))
                .channels.at(static_cast<std::size_t>(channel))
                .Read(start, out);
        else
            ReadPhysical(channel, record, start, out);
    } catch (const RecordingError& e) {
        // A channel decoded on first use whose file changed since it was opened.
        throw calc::CalcError(e.what());
    }
}

} // namespace vx::host
