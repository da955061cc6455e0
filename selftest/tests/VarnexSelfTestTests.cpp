// `varnex selftest` as a user runs it, against the built extension.
#include <gtest/gtest.h>

#include "host/tests/VarnexCommand.h"

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>

#include <sys/wait.h>
#include <unistd.h>

namespace {

using VarnexRun = vx::test::VarnexStreams;

VarnexRun Varnex(const std::string& arguments)
{
    return vx::test::VarnexOutputs(arguments, std::filesystem::path(::testing::TempDir()) / "selftest");
}

const char* const kCases[] = {
    "HRV_TestFiducialEnum::EventEnumBounceTest",
    "HRV_TestFiducialEnum::EventEnumBounceTest2",
    "HRV_TestFiducialEnum::EventEnumTestNextOffline",
    "HRV_TestFiducialEnum::EventEnumTestNextOnline",
    "HRV_TestFiducialEnum::EventEnumOnlineOfflineComparison",
    "HRV_TestFiducialEnum::EventEnumTestFind",
    "HRV_TestFiducialEnum::EventEnumTestSetSourcesMirwell",
};

} // namespace

TEST(VarnexSelfTest, RunsEveryCaseOfTheExtensionAndAllPass)
{
    const VarnexRun run = Varnex("selftest --seed 20261210");
    EXPECT_EQ(run.exitCode, 0) << run.out << run.err;
    std::string expected = "seed 20261210\n";
    for (const char* name : kCases)
        expected += std::string(name) + ": passed\n";
    expected += "7 passed, 0 failed\n";
    EXPECT_EQ(run.out, expected) << run.err;
}

TEST(VarnexSelfTest, ListsAndPicksCasesByName)
{
    const VarnexRun list = Varnex("selftest --list");
    EXPECT_EQ(list.exitCode, 0) << list.err;
    std::string names;
    for (const char* name : kCases)
        names += std::string(name) + "\n";
    EXPECT_EQ(list.out, names);

    const VarnexRun unknown = Varnex("selftest HRV_TestFiducialEnum::NoSuchCase");
    EXPECT_EQ(unknown.exitCode, 2);
    EXPECT_NE(unknown.err.find("no self-test named HRV_TestFiducialEnum::NoSuchCase"), std::string::npos)
        << unknown.err;
    const VarnexRun badSeed = Varnex("selftest --seed x");
    EXPECT_EQ(badSeed.exitCode, 2);
    EXPECT_NE(badSeed.err.find("--seed"), std::string::npos) << badSeed.err;
}

TEST(VarnexSelfTest, AFailedCaseIsReportedWithItsTextAndTheExitStatusSaysSo)
{
    const VarnexRun run = Varnex(std::string("selftest --seed 5 --extension ") + FAILING_EXTENSION_PATH);
    EXPECT_EQ(run.exitCode, 1) << run.err;
    EXPECT_EQ(run.out,
        "seed 5\n"
        "Mixed::Passes: passed\n"
        "Mixed::Fails: failed: Mixed.cpp, Line 7 [2 < 1], [never]\n"
        "Mixed::Throws: failed: out of cheese\n"
        "1 passed, 2 failed\n");
}
