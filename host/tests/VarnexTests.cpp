// varnex as a user runs it: loading the test extension with the framework registered by the
// host, and with the framework left to the extension's own loader (libcaf.so from varnex's folder).
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

VarnexRun RunVarnex(const std::string& arguments)
{
    return vx::test::VarnexOutputs(arguments,
        std::filesystem::path(::testing::TempDir()) / ::testing::UnitTest::GetInstance()->current_test_info()->name());
}

} // namespace

TEST(Varnex, ListsTheRegistrationsWhoeverMakesTheFrameworkReachable)
{
    const std::string expected = "DllRegisterClassObjects 0x00000000\n"
                                 "class 0x00010001 {6E8B4C21-3F0A-4D7B-9C15-2A4E5F6B7C80}\n"
                                 "class 0x00010002 {6E8B4C21-3F0A-4D7B-9C15-2A4E5F6B7C80}\n"
                                 "message-class\n"
                                 "unit-test\n";
    for (const char* source : { "host", "extension" }) {
        const VarnexRun run = RunVarnex(std::string("list-classes --framework=") + source + " " + TEST_EXTENSION_PATH);
        EXPECT_EQ(run.exitCode, 0) << source << "\n" << run.err;
        EXPECT_EQ(run.out, expected) << source;
        // The extension's host-routed message box reached the host's headless message boxes.
        EXPECT_NE(run.err.find("MessageBox \"Varnex\": Test extension registered -> 1"), std::string::npos)
            << source << "\n"
            << run.err;
        EXPECT_NE(run.err.find("Build label: Test Extension 1.0 beta 7"), std::string::npos) << source;
        EXPECT_EQ(run.err.find("Varn failed to load"), std::string::npos) << source;
    }
}

TEST(Varnex, RefusesBadCommandLinesAndLibraries)
{
    struct Case {
        std::string arguments;
        int exitCode;
        std::string errorText;
    };
    const Case cases[] = {
        { "", 2, "usage: varnex" },
        { "list-classes", 2, "usage: varnex" },
        { "analyse", 2, "no record given" },
        { "analyse /nonexistent/x.hea", 1, "cannot be opened" },
        { "list-classes --framework=elsewhere x", 2, "usage: varnex" },
        { "list-classes a b", 2, "usage: varnex" },
        { "list-classes /nonexistent/libnothing.so", 1, "cannot load /nonexistent/libnothing.so" },
        // A library that loads but is no extension: the host's own framework library.
        { std::string("list-classes ") + CAF_LIBRARY_PATH, 1, "has no DllRegisterClassObjects" },
    };
    for (const Case& c : cases) {
        const VarnexRun run = RunVarnex(c.arguments);
        EXPECT_EQ(run.exitCode, c.exitCode) << c.arguments;
        EXPECT_NE(run.err.find(c.errorText), std::string::npos) << c.arguments << "\n" << run.err;
        EXPECT_EQ(run.out, "") << c.arguments;
    }
}
