// Channels decoded on first read, and the prefix stores through which a record played online
// shares them.
#include "host/recording/HostDocument.h"
#include "host/recording/Recording.h"

#include <gtest/gtest.h>

#include <memory>
#include <stdexcept>

namespace vx::host {
namespace {

// A channel of `length` 16-bit samples (sample i = i % 1000, and 30000 at the last one) whose
// decodings are counted.
SampleStore CountedChannel(int64_t length, std::shared_ptr<int> decodings)
{
    return SampleStore(length, [length, decodings] {
        ++*decodings;
        std::vector<int16_t> v(static_cast<std::size_t>(length));
        for (int64_t i = 0; i < length; ++i)
            v[static_cast<std::size_t>(i)] = static_cast<int16_t>(i % 1000);
        v.back() = 30000;
        return v;
    });
}

TEST(SampleStore, APrefixSharesTheChannelAndShowsOnlyWhatItHasGrownTo)
{
    auto decodings = std::make_shared<int>(0);
    const SampleStore channel = CountedChannel(5000, decodings);
    EXPECT_FALSE(SampleStore::Prefix(SampleStore(std::vector<int16_t>(10)), 0)) << "not a channel read from a file";
    EXPECT_FALSE(SampleStore::Prefix(channel, 5001)) << "beyond the channel";

    std::optional<SampleStore> prefix = SampleStore::Prefix(channel, 0);
    ASSERT_TRUE(prefix);
    EXPECT_FALSE(SampleStore::Prefix(*prefix, 0)) << "a prefix of a prefix";
    EXPECT_EQ(prefix->Length(), 0);
    double low = 0, high = 0;
    EXPECT_FALSE(prefix->Range(low, high));
    EXPECT_TRUE(prefix->Grow(1200));
    EXPECT_EQ(*decodings, 0) << "growing decodes nothing";
    EXPECT_EQ(prefix->Length(), 1200);

    std::vector<float> out(200);
    prefix->Read(1000, out);
    EXPECT_EQ(out[0], 0.0f);
    EXPECT_EQ(out[199], 199.0f);
    EXPECT_THROW(prefix->Read(1100, out), std::out_of_range) << "beyond what it shows";
    ASSERT_TRUE(prefix->Range(low, high));
    EXPECT_EQ(high, 999.0) << "the range covers what it shows only";
    EXPECT_FALSE(prefix->Grow(3801));
    EXPECT_EQ(prefix->Length(), 1200);
    EXPECT_TRUE(prefix->Grow(3800));
    ASSERT_TRUE(prefix->Range(low, high));
    EXPECT_EQ(high, 30000.0);
    EXPECT_EQ(*decodings, 1) << "the prefix and the channel share one decoding";
    EXPECT_EQ(channel.Length(), 5000);

    // Appending to a prefix keeps what it showed and then the new samples.
    std::optional<SampleStore> growing = SampleStore::Prefix(channel, 10);
    const float more[] = { 7.0f, 8.0f };
    growing->Append(more);
    std::vector<float> all(12);
    growing->Read(0, all);
    EXPECT_EQ(all[9], 9.0f);
    EXPECT_EQ(all[10], 7.0f);
    EXPECT_EQ(all[11], 8.0f);
    EXPECT_EQ(channel.Length(), 5000);
}

TEST(SampleStore, ARecordSampledFromSharedChannelsGrowsWithoutDecodingWhatNobodyReads)
{
    auto first = std::make_shared<int>(0), second = std::make_shared<int>(0);
    const SampleStore a = CountedChannel(3000, first), b = CountedChannel(3000, second);
    auto recording = std::make_shared<Recording>();
    recording->AddChannel({});
    recording->AddChannel({});
    HostDocument* created = new HostDocument(recording);
    std::unique_ptr<HostDocument, void (*)(HostDocument*)> hold(created, [](HostDocument* d) { d->Release(); });
    HostDocument& document = *created;
    ASSERT_TRUE(document.StartSampling(0.01));
    Record& sampled = recording->records.at(static_cast<std::size_t>(recording->samplingRecord));
    EXPECT_FALSE(document.DeliverShared(10)) << "its channels do not share a file's channels yet";
    sampled.channels = { *SampleStore::Prefix(a, 0), *SampleStore::Prefix(b, 0) };
    EXPECT_TRUE(document.DeliverShared(1000));
    EXPECT_TRUE(document.DeliverShared(1500));
    EXPECT_FALSE(document.DeliverShared(501)) << "more than the channels hold";
    EXPECT_EQ(sampled.length, 2500);
    EXPECT_EQ(recording->ChannelLength(1, recording->samplingRecord), 2500);
    std::vector<float> out(5);
    recording->ReadChannel(0, recording->samplingRecord, 2495, out, true);
    EXPECT_EQ(out[4], 499.0f);
    document.StopSampling();
    EXPECT_EQ(*first, 1);
    EXPECT_EQ(*second, 0) << "the channel nothing read was never decoded";
    EXPECT_NO_THROW(recording->Validate("the played record"));
}

} // namespace
} // namespace vx::host
