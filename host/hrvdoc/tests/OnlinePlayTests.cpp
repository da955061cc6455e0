// Online play paced by the window system's timer: the play returns at once and one block arrives
// per tick on this thread, so a window stays responsive while it plays.
#include <gtest/gtest.h>

#include <memory>
#include <utility>
#include <vector>

#include "host/hrvdoc/HrvHostDocument.h"
#include "ui/Clock.h"
#include "ui/EventLoop.h"

namespace {

using Step = vx::host::HrvHostOptions::OnlineStep;

// One record of one channel at 100 Hz.
std::shared_ptr<vx::host::Recording> OneChannel(int samples)
{
    auto r = std::make_shared<vx::host::Recording>();
    vx::host::ChannelSetup channel;
    channel.title = L"ECG";
    r->channels.push_back(channel);
    const int record = r->AddRecord(0.01, 0.0);
    std::vector<float> values(static_cast<std::size_t>(samples));
    for (int i = 0; i < samples; ++i)
        values[static_cast<std::size_t>(i)] = static_cast<float>(i);
    r->records[static_cast<std::size_t>(record)].channels[0].Append(values);
    r->records[static_cast<std::size_t>(record)].length = samples;
    return r;
}

class OnlinePlay : public testing::Test {
protected:
    void SetUp() override { mPrevious = vx::ui::SetClock(&mClock); }
    void TearDown() override
    {
        vx::ui::RunUntilIdle();
        vx::ui::SetClock(mPrevious);
    }
    vx::ui::ManualClock mClock;
    vx::ui::Clock* mPrevious = nullptr;
};

} // namespace

TEST_F(OnlinePlay, APacedPlayDeliversOneBlockPerTickUntilTheRecordIsPlayed)
{
    auto recording = OneChannel(1000);
    vx::host::HrvHostDocument host(recording);
    std::vector<std::pair<int, Step>> heard;
    host.options.online = [&](int record, Step step) { heard.emplace_back(record, step); };
    const auto source = OneChannel(1000);

    // Blocks of 1 s at twice real time: one block every 500 ms.
    ASSERT_TRUE(host.StartOnlinePlay(source, 0, 1.0, 2.0));
    EXPECT_TRUE(host.OnlinePlaying());
    ASSERT_EQ(recording->RecordCount(), 2);
    EXPECT_EQ(recording->samplingRecord, 1);
    EXPECT_EQ(recording->records[1].length, 0) << "nothing is played before the first tick";
    EXPECT_FALSE(host.StartOnlinePlay(source, 0, 1.0, 2.0)) << "one play at a time";

    vx::ui::RunFor(499);
    EXPECT_EQ(recording->records[1].length, 0);
    vx::ui::RunFor(1);
    EXPECT_EQ(recording->records[1].length, 100);
    vx::ui::RunFor(1000);
    EXPECT_EQ(recording->records[1].length, 300);
    vx::ui::RunFor(5000);
    EXPECT_EQ(recording->records[1].length, 1000);
    EXPECT_FALSE(host.OnlinePlaying());
    EXPECT_EQ(recording->samplingRecord, -1);
    // What was played is the source's record.
    std::vector<float> played(1000);
    recording->ReadPhysical(0, 1, 0, played);
    EXPECT_EQ(played[0], 0.0f);
    EXPECT_EQ(played[999], 999.0f);

    std::vector<std::pair<int, Step>> expected { { 1, Step::Started } };
    for (int i = 0; i < 10; ++i)
        expected.emplace_back(1, Step::Block);
    expected.emplace_back(1, Step::Stopped);
    EXPECT_EQ(heard, expected);
}

TEST_F(OnlinePlay, BadPlaysAreRefusedAndAStoppedPlayKeepsWhatItPlayed)
{
    auto recording = OneChannel(10);
    vx::host::HrvHostDocument host(recording);
    auto twoChannels = OneChannel(100);
    twoChannels->AddChannel(twoChannels->channels[0]);
    struct Case {
        const char* what;
        std::shared_ptr<const vx::host::Recording> source;
        int record;
        double block, speed;
    };
    const Case cases[] = {
        { "no source", nullptr, 0, 1.0, 1.0 },
        { "no such record", OneChannel(100), 1, 1.0, 1.0 },
        { "other channels", twoChannels, 0, 1.0, 1.0 },
        { "no speed", OneChannel(100), 0, 1.0, 0.0 },
        { "no block", OneChannel(100), 0, 0.0, 1.0 },
    };
    for (const Case& c : cases) {
        EXPECT_FALSE(host.StartOnlinePlay(c.source, c.record, c.block, c.speed)) << c.what;
        EXPECT_FALSE(host.OnlinePlaying()) << c.what;
        EXPECT_EQ(recording->samplingRecord, -1) << c.what;
    }
    EXPECT_EQ(recording->RecordCount(), 1) << "a refused play adds no record";

    ASSERT_TRUE(host.StartOnlinePlay(OneChannel(1000), 0, 1.0, 1.0));
    vx::ui::RunFor(2000);
    host.StopOnlinePlay();
    EXPECT_FALSE(host.OnlinePlaying());
    EXPECT_EQ(recording->samplingRecord, -1);
    EXPECT_EQ(recording->records[1].length, 200);
    vx::ui::RunFor(5000);
    EXPECT_EQ(recording->records[1].length, 200) << "no block after the stop";
}
