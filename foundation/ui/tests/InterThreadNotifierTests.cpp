#include <gtest/gtest.h>

#include <atomic>
#include <thread>
#include <vector>

#include "foundation/ui/InterThreadNotifier.h"
#include "ui/EventLoop.h"
#include "ui/MessageQueue.h"
#include "ui/Window.h"

using namespace vx::ui;

namespace {

class Recorder : public KEL::InterThreadNotifier {
public:
    LRESULT Notify(WPARAM wParam, LPARAM lParam) override
    {
        calls.push_back({ wParam, std::this_thread::get_id() });
        return static_cast<LRESULT>(wParam) + lParam;
    }
    std::vector<std::pair<WPARAM, std::thread::id>> calls;
};

TEST(InterThreadNotifier, CallsPostedFromAWorkerRunOnTheCreatingThreadInOrder)
{
    Recorder notifier;
    std::thread worker([&] {
        for (WPARAM i = 1; i <= 3; ++i)
            EXPECT_TRUE(notifier.Post(i, 0));
    });
    worker.join();
    EXPECT_TRUE(notifier.calls.empty()); // nothing runs until the creating thread looks
    vx::ui::RunUntilIdle();
    ASSERT_EQ(notifier.calls.size(), 3u);
    for (std::size_t i = 0; i < 3; ++i) {
        EXPECT_EQ(notifier.calls[i].first, i + 1);
        EXPECT_EQ(notifier.calls[i].second, std::this_thread::get_id());
    }
}

TEST(InterThreadNotifier, SendWaitsForTheResultFromTheCreatingThread)
{
    Recorder notifier;
    LRESULT result = 0;
    std::atomic<bool> done { false };
    std::thread worker([&] {
        result = notifier.Send(40, 2);
        done = true;
    });
    while (!done)
        vx::ui::RunFor(1);
    worker.join();
    EXPECT_EQ(result, 42);
    ASSERT_EQ(notifier.calls.size(), 1u);
    EXPECT_EQ(notifier.calls[0].second, std::this_thread::get_id());
}

TEST(InterThreadNotifier, CallsStillQueuedWhenItGoesAreDroppedWithItsWindow)
{
    HWND window = nullptr;
    std::vector<WPARAM> seen;
    {
        class Counting : public KEL::InterThreadNotifier {
        public:
            explicit Counting(std::vector<WPARAM>& seen)
                : mSeen(seen)
            {
            }
            LRESULT Notify(WPARAM wParam, LPARAM) override
            {
                mSeen.push_back(wParam);
                return 0;
            }
            std::vector<WPARAM>& mSeen;
        } notifier(seen);
        window = notifier.Window();
        std::thread worker([&] { notifier.Post(7, 0); });
        worker.join();
        EXPECT_TRUE(vx::ui::IsWindow(window));
    }
    EXPECT_FALSE(vx::ui::IsWindow(window));
    vx::ui::RunUntilIdle(); // the queued call must not reach the destroyed notifier
    EXPECT_TRUE(seen.empty());
}

} // namespace
