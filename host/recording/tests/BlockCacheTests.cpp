// Channels read from their file a block at a time through the bounded block cache: the cache
// stays within its bound, every reader (on any thread, across block edges) gets the samples the
// whole file decoded at once gives, and a file that is cut short or edited is reported.
#include "host/calc/CalcError.h"
#include "host/import/Wfdb.h"
#include "host/recording/BlockCache.h"
#include "host/recording/Import.h"
#include "host/recording/Recording.h"

#include <gtest/gtest.h>

#include <atomic>
#include <filesystem>
#include <fstream>
#include <random>
#include <thread>
#include <unistd.h>

namespace vx::host {
namespace {

namespace fs = std::filesystem;
constexpr int64_t kBlock = BlockCache::kBlockSamples;

class TempDir {
public:
    TempDir()
    {
        mPath
            = fs::temp_directory_path() / ("vxblocks-" + std::to_string(::getpid()) + "-" + std::to_string(sCounter++));
        fs::create_directories(mPath);
    }
    ~TempDir() { fs::remove_all(mPath); }
    const fs::path& Path() const { return mPath; }

private:
    static inline int sCounter = 0;
    fs::path mPath;
};

// A sample that differs from its neighbours and from the same place in other blocks.
int16_t SampleAt(int64_t i)
{
    return static_cast<int16_t>((i * 7919 + i / kBlock * 13) % 4001 - 2000);
}

// A streamed channel of computed samples whose block decodings are counted.
SampleStore CountedStream(int64_t length, BlockCache& cache, std::shared_ptr<std::atomic<int>> decodings)
{
    return SampleStore(
        length,
        [decodings](int64_t first, std::span<int16_t> out) {
            ++*decodings;
            for (std::size_t i = 0; i < out.size(); ++i)
                out[i] = SampleAt(first + static_cast<int64_t>(i));
        },
        cache);
}

TEST(BlockCache, StaysWithinItsBoundAndReadsAcrossBlockEdges)
{
    BlockCache cache(4 * kBlock * sizeof(int16_t));
    auto decodings = std::make_shared<std::atomic<int>>(0);
    const int64_t length = 10 * kBlock + 123; // a short last block
    const SampleStore store = CountedStream(length, cache, decodings);
    EXPECT_TRUE(store.IsStreamed());
    EXPECT_TRUE(store.IsInt16());
    EXPECT_EQ(store.Length(), length);
    EXPECT_EQ(store.Bytes(), 0u) << "nothing is decoded before it is read";

    // Stretches that start, end or cross block edges, and the channel's last samples.
    const std::pair<int64_t, std::size_t> reads[] = { { 0, 1 }, { kBlock - 1, 2 }, { kBlock - 5, 10 },
        { 2 * kBlock, static_cast<std::size_t>(kBlock) }, { 3 * kBlock - 7, static_cast<std::size_t>(2 * kBlock + 14) },
        { length - 200, 200 }, { length - 1, 1 }, { 10 * kBlock, 123 } };
    for (const auto& [start, count] : reads) {
        std::vector<float> out(count);
        store.Read(start, out);
        for (std::size_t i = 0; i < count; ++i)
            ASSERT_EQ(out[i], SampleAt(start + static_cast<int64_t>(i))) << "read at " << start << ", sample " << i;
        EXPECT_LE(cache.Bytes(), cache.Limit());
    }
    std::vector<float> one(1);
    EXPECT_THROW(store.Read(length, one), std::out_of_range);
    EXPECT_THROW(store.Read(-1, one), std::out_of_range);

    // A walk over the whole channel keeps at most the bound; the block last read stays, the
    // first one read was let go and is decoded again.
    std::vector<float> all(static_cast<std::size_t>(length));
    store.Read(0, all);
    EXPECT_EQ(cache.Bytes(), 4 * kBlock * sizeof(int16_t) - (kBlock - 123) * sizeof(int16_t));
    EXPECT_EQ(store.Bytes(), cache.Bytes());
    const int before = *decodings;
    store.Read(length - 10, std::span(all.data(), 10));
    EXPECT_EQ(*decodings, before) << "a block in the cache is not decoded again";
    store.Read(0, std::span(all.data(), 10));
    EXPECT_EQ(*decodings, before + 1) << "an evicted block is decoded again";
    EXPECT_EQ(all[5], SampleAt(5));

    double low = 0, high = 0;
    ASSERT_TRUE(store.Range(low, high));
    EXPECT_EQ(low, -2000.0);
    EXPECT_EQ(high, 2000.0);

    // A prefix of a streamed channel shares it and shows only what it has grown to.
    std::optional<SampleStore> prefix = SampleStore::Prefix(store, 0);
    ASSERT_TRUE(prefix);
    EXPECT_TRUE(prefix->Grow(kBlock + 3));
    std::vector<float> edge(4);
    prefix->Read(kBlock - 1, edge);
    EXPECT_EQ(edge[3], SampleAt(kBlock + 2));
    EXPECT_THROW(prefix->Read(kBlock, edge), std::out_of_range);
    // Appending to it keeps what it showed, then the new samples, in the store itself.
    const float more[] = { 7.0f };
    prefix->Append(more);
    EXPECT_FALSE(prefix->IsStreamed());
    std::vector<float> tail(2);
    prefix->Read(kBlock + 2, tail);
    EXPECT_EQ(tail[0], SampleAt(kBlock + 2));
    EXPECT_EQ(tail[1], 7.0f);
    EXPECT_EQ(store.Length(), length);
}

TEST(BlockCache, AGoneChannelLeavesNothingAndAFailedDecodeKeepsNothing)
{
    BlockCache cache(8 * kBlock * sizeof(int16_t));
    {
        auto decodings = std::make_shared<std::atomic<int>>(0);
        const SampleStore store = CountedStream(3 * kBlock, cache, decodings);
        std::vector<float> out(static_cast<std::size_t>(3 * kBlock));
        store.Read(0, out);
        EXPECT_EQ(cache.Bytes(), 3 * kBlock * sizeof(int16_t));
    }
    EXPECT_EQ(cache.Bytes(), 0u);
    const SampleStore failing(
        2 * kBlock, [](int64_t, std::span<int16_t>) { throw RecordingError("f.dat: truncated"); }, cache);
    std::vector<float> out(10);
    EXPECT_THROW(failing.Read(0, out), RecordingError);
    EXPECT_EQ(cache.Bytes(), 0u);
}

// Several threads reading random stretches of the same channels through a cache far smaller than
// the channels get exactly the computed samples.
TEST(BlockCache, ConcurrentReadersGetIdenticalSamples)
{
    BlockCache cache(6 * kBlock * sizeof(int16_t));
    auto decodings = std::make_shared<std::atomic<int>>(0);
    const int64_t length = 40 * kBlock + 999;
    const SampleStore a = CountedStream(length, cache, decodings), b = CountedStream(length / 2, cache, decodings);
    std::atomic<int> wrong { 0 };
    std::vector<std::thread> readers;
    for (unsigned t = 0; t < 8; ++t)
        readers.emplace_back([&, t] {
            std::mt19937_64 random(t);
            std::vector<float> out;
            for (int i = 0; i < 300; ++i) {
                const SampleStore& store = i % 3 == 0 ? b : a;
                const auto count = static_cast<std::size_t>(random() % (3 * kBlock) + 1);
                const int64_t start = static_cast<int64_t>(
                    random() % static_cast<uint64_t>(store.Length() - static_cast<int64_t>(count)));
                out.resize(count);
                store.Read(start, out);
                for (std::size_t k = 0; k < count; ++k)
                    if (out[k] != SampleAt(start + static_cast<int64_t>(k)))
                        ++wrong;
            }
        });
    for (std::thread& r : readers)
        r.join();
    EXPECT_EQ(wrong.load(), 0);
    EXPECT_LE(cache.Bytes(), cache.Limit());

    // Readers that start together on the same blocks of a cache that holds them all: each block
    // is decoded once, the others wait for it.
    BlockCache roomy(64 * kBlock * sizeof(int16_t));
    auto once = std::make_shared<std::atomic<int>>(0);
    const SampleStore c = CountedStream(32 * kBlock, roomy, once);
    readers.clear();
    for (int t = 0; t < 8; ++t)
        readers.emplace_back([&] {
            std::vector<float> out(static_cast<std::size_t>(kBlock / 4));
            for (int64_t at = 0; at < c.Length(); at += kBlock / 4) {
                c.Read(at, out);
                if (out[7] != SampleAt(at + 7))
                    ++wrong;
            }
        });
    for (std::thread& r : readers)
        r.join();
    EXPECT_EQ(wrong.load(), 0);
    EXPECT_EQ(once->load(), 32);
}

// --- WFDB signal files read a block at a time ---------------------------------------------------

struct Layout {
    const char* what;
    int format;
    int signals;
    int64_t frames;
    int byteOffset;
};

// A record whose samples differ everywhere; the signal file in format 212 or 16.
fs::path WriteRecord(const fs::path& dir, const Layout& layout)
{
    std::vector<int> samples; // file order
    for (int64_t f = 0; f < layout.frames; ++f)
        for (int s = 0; s < layout.signals; ++s)
            samples.push_back(static_cast<int>((f * 31 + s * 577 + f / 1000) % 4096) - 2048);
    std::string bytes(static_cast<std::size_t>(layout.byteOffset), '\x55');
    if (layout.format == 16)
        for (const int v : samples) {
            bytes.push_back(static_cast<char>(v & 0xFF));
            bytes.push_back(static_cast<char>((v >> 8) & 0xFF));
        }
    else
        for (std::size_t i = 0; i < samples.size(); i += 2) {
            const int a = samples[i] & 0xFFF;
            const int c = i + 1 < samples.size() ? samples[i + 1] & 0xFFF : 0;
            bytes.push_back(static_cast<char>(a & 0xFF));
            bytes.push_back(static_cast<char>((a >> 8) | ((c >> 8) << 4)));
            if (i + 1 < samples.size())
                bytes.push_back(static_cast<char>(c & 0xFF));
        }
    std::ofstream(dir / "rec.dat", std::ios::binary) << bytes;
    std::ofstream header(dir / "rec.hea");
    header << "rec " << layout.signals << " 360 " << layout.frames << "\n";
    for (int s = 0; s < layout.signals; ++s) {
        header << "rec.dat " << layout.format;
        if (layout.byteOffset > 0)
            header << "+" << layout.byteOffset;
        header << " 200 12 0\n";
    }
    return dir / "rec.hea";
}

TEST(StreamedWfdb, EveryLayoutReadsAsTheWholeFileDecodedAtOnce)
{
    const Layout layouts[] = {
        { "two signals in 212", 212, 2, 3 * kBlock + 17, 0 },
        { "one signal in 212, an odd number of samples", 212, 1, 2 * kBlock + 1, 0 },
        { "three signals in 212 (frames split groups)", 212, 3, kBlock + 5, 0 },
        { "one signal in 16 after a byte offset", 16, 1, 2 * kBlock + 3, 7 },
        { "two signals in 16", 16, 2, kBlock + 11, 0 },
    };
    for (const Layout& layout : layouts) {
        SCOPED_TRACE(layout.what);
        TempDir dir;
        const fs::path header = WriteRecord(dir.Path(), layout);
        const import::WfdbRecord whole = import::ReadRecord(header);
        Recording r = ImportWfdb(header);
        ASSERT_EQ(r.ChannelCount(), layout.signals);
        for (int s = 0; s < layout.signals; ++s) {
            const SampleStore& store = r.records[0].channels[static_cast<std::size_t>(s)];
            EXPECT_TRUE(store.IsStreamed());
            ASSERT_EQ(store.Length(), layout.frames);
            // Threads reading the channel in different orders and stretch sizes.
            std::atomic<int64_t> wrong { 0 };
            std::vector<std::thread> readers;
            for (int t = 0; t < 4; ++t)
                readers.emplace_back([&, t] {
                    const auto step = static_cast<int64_t>(1000 + 7919 * t);
                    std::vector<float> out;
                    for (int64_t at = t % 2 ? 0 : layout.frames / 2; at < layout.frames; at += step) {
                        out.resize(static_cast<std::size_t>(std::min(step, layout.frames - at)));
                        store.Read(at, out);
                        for (std::size_t k = 0; k < out.size(); ++k)
                            if (out[k] != whole.samples[static_cast<std::size_t>(s)][static_cast<std::size_t>(at) + k])
                                ++wrong;
                    }
                });
            for (std::thread& t : readers)
                t.join();
            EXPECT_EQ(wrong.load(), 0) << "signal " << s;
            std::vector<float> last(1);
            store.Read(layout.frames - 1, last);
            EXPECT_EQ(last[0], whole.samples[static_cast<std::size_t>(s)].back());
        }
    }
}

// The file was read whole when the record was opened; a file cut short or edited afterwards is
// reported by the read that meets it, naming the file, and nothing is read from it as samples.
TEST(StreamedWfdb, AFileCutShortOrEditedAfterOpeningIsAClearError)
{
    const Layout layout { "two signals in 212", 212, 2, 4 * kBlock, 0 };
    for (const bool truncate : { true, false }) {
        SCOPED_TRACE(truncate ? "truncated" : "edited in place");
        TempDir dir;
        auto r = std::make_shared<Recording>(ImportWfdb(WriteRecord(dir.Path(), layout)));
        std::vector<float> out(100);
        r->ReadChannel(0, 0, 0, out, true); // the first block is read before the change
        if (truncate)
            fs::resize_file(dir.Path() / "rec.dat", 3 * kBlock * 3 / 2);
        else {
            std::fstream data(dir.Path() / "rec.dat", std::ios::in | std::ios::out | std::ios::binary);
            data.seekp(3 * 3 * kBlock);
            data.put('\x01');
            data.close();
            // The file's time moves with the edit (set here: the clock of file times may not have
            // ticked since the record was opened).
            fs::last_write_time(
                dir.Path() / "rec.dat", fs::last_write_time(dir.Path() / "rec.dat") + std::chrono::seconds(2));
        }
        try {
            r->ReadChannel(1, 0, 3 * kBlock + 10, out, true);
            ADD_FAILURE() << "no error";
        } catch (const calc::CalcError& e) {
            const std::string what = e.what();
            EXPECT_NE(what.find("rec.dat"), std::string::npos) << what;
            EXPECT_NE(what.find("changed"), std::string::npos) << what;
        }
    }
}

} // namespace
} // namespace vx::host
