#include <gtest/gtest.h>

#include <cmath>
#include <memory>

#include "controls/LowPriorityTimer.h"
#include "ui/Clock.h"
#include "ui/EventLoop.h"

namespace {

class Counter : public KEL::LowPriorityTimer {
public:
    using LowPriorityTimer::LowPriorityTimer;
    int ticks = 0;

protected:
    void Tick() override { ++ticks; }
};

class LowPriorityTimers : public testing::Test {
protected:
    void SetUp() override { mPrevious = vx::ui::SetClock(&mClock); }
    void TearDown() override { vx::ui::SetClock(mPrevious); }
    vx::ui::ManualClock mClock;
    vx::ui::Clock* mPrevious = nullptr;
};

TEST_F(LowPriorityTimers, TicksAtItsPeriodAndARestartReplacesThePeriod)
{
    Counter timer(0.1);
    ASSERT_TRUE(timer.IsRunning());
    vx::ui::RunFor(350);
    EXPECT_EQ(timer.ticks, 3);
    const auto id = timer.Id();
    ASSERT_TRUE(timer.Start(0.2));
    EXPECT_EQ(timer.Id(), id); // one timer, replaced
    timer.ticks = 0;
    vx::ui::RunFor(400);
    EXPECT_EQ(timer.ticks, 2);
}

TEST_F(LowPriorityTimers, StartAfterStopWorksAndStoppingAStoppedTimerIsHarmless)
{
    Counter timer;
    EXPECT_FALSE(timer.IsRunning());
    timer.Stop();
    EXPECT_EQ(timer.Id(), 0u);
    ASSERT_TRUE(timer.Start(0.05));
    timer.Stop();
    vx::ui::RunFor(200);
    EXPECT_EQ(timer.ticks, 0);
    ASSERT_TRUE(timer.Start(0.05));
    vx::ui::RunFor(120);
    EXPECT_EQ(timer.ticks, 2);
}

TEST_F(LowPriorityTimers, PeriodsAreRoundedAndClampedAndBadSecondsRefused)
{
    struct Case {
        double seconds;
        bool started;
        UINT period;
    };
    const Case cases[] = { { 0.1234, true, 123 }, { 0.0125, true, 13 }, { 1e12, true, 2147483647u }, { -1, false, 0 },
        { std::nan(""), false, 0 } };
    for (const Case& c : cases) {
        Counter timer;
        EXPECT_EQ(timer.Start(c.seconds), c.started) << c.seconds;
        EXPECT_EQ(timer.PeriodMs(), c.period) << c.seconds;
    }
    // A refused start leaves a running timer as it was.
    Counter running(0.1);
    EXPECT_FALSE(running.Start(-5));
    EXPECT_EQ(running.PeriodMs(), 100u);
    EXPECT_TRUE(running.IsRunning());
}

TEST_F(LowPriorityTimers, ADestroyedTimerNeverTicks)
{
    class Reporting : public KEL::LowPriorityTimer {
    public:
        explicit Reporting(int& ticks)
            : LowPriorityTimer(0.05)
            , mTicks(ticks)
        {
        }

    protected:
        void Tick() override { ++mTicks; }

    private:
        int& mTicks;
    };
    int ticks = 0;
    auto timer = std::make_unique<Reporting>(ticks);
    vx::ui::RunFor(60);
    EXPECT_EQ(ticks, 1);
    timer.reset();
    vx::ui::RunFor(200);
    EXPECT_EQ(ticks, 1);
}

} // namespace
