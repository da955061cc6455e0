#include <gtest/gtest.h>

#include <thread>

#include "log/Log.h"

TEST(Log, CaptureCollectsLinesAndRestoresThePreviousSink)
{
    std::vector<std::string> outer;
    auto previous = vx::log::SetSink([&](std::string_view line) { outer.emplace_back(line); });
    {
        vx::log::Capture capture;
        vx::log::WriteLine("KELBOOTLOG: first");
        vx::log::WriteLine("KELBOOTLOG: \xC3\xA9t\xC3\xA9"); // UTF-8 passes through unchanged
        EXPECT_EQ(capture.Lines(), (std::vector<std::string> { "KELBOOTLOG: first", "KELBOOTLOG: \xC3\xA9t\xC3\xA9" }));
    }
    vx::log::WriteLine("after");
    EXPECT_EQ(outer, std::vector<std::string> { "after" });
    vx::log::SetSink(std::move(previous));
}

TEST(Log, ConcurrentWritersLoseNoLine)
{
    vx::log::Capture capture;
    std::vector<std::thread> threads;
    for (int t = 0; t < 4; ++t)
        threads.emplace_back([] {
            for (int i = 0; i < 250; ++i)
                vx::log::WriteLine("line");
        });
    for (auto& th : threads)
        th.join();
    EXPECT_EQ(capture.Lines().size(), 1000u);
}

TEST(Log, ThrowingSinkDoesNotEscape)
{
    auto previous = vx::log::SetSink([](std::string_view) { throw std::runtime_error("sink failed"); });
    EXPECT_NO_THROW(vx::log::WriteLine("x"));
    vx::log::SetSink(std::move(previous));
}
