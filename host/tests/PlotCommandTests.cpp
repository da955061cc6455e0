// `varnex analyse --plot VIEW=FILE`: what it refuses before any work, each with one line. The
// pictures themselves need a display and are checked end to end (tests/e2e).
#include <gtest/gtest.h>

#include <filesystem>
#include <string>

#include "VarnexCommand.h"

namespace fs = std::filesystem;

TEST(PlotCommand, RefusesUnknownViewsFileTypesAndInputsInOneLine)
{
    const fs::path scratch = fs::temp_directory_path() / ("vx_plotcmd_" + std::to_string(::getpid()));
    fs::create_directories(scratch);
    const std::string record = (vx::test::TestData() / "mitdb" / "100.hea").string();
    struct Case {
        std::string plot;
        const char* says;
    };
    const Case cases[] = {
        { "tachogram", "--plot needs VIEW=FILE" }, { "=t.svg", "--plot needs VIEW=FILE" },
        { "tachogram=", "--plot needs VIEW=FILE" }, { "histogram=h.svg", "--plot knows no view histogram" },
        { "spectrum=" + (scratch / "s.pdf").string(), "writes .svg, .png, .jpg, .jpeg, .gif, .tif or .tiff" },
        { "poincare=" + record, "100.hea" }, // the recording itself is never overwritten
    };
    for (const Case& c : cases) {
        const vx::test::VarnexStreams run
            = vx::test::VarnexOutputs("analyse " + record + " --plot '" + c.plot + "'", scratch);
        EXPECT_NE(run.exitCode, 0) << c.plot;
        EXPECT_NE(run.err.find(c.says), std::string::npos) << c.plot << ": " << run.err;
        EXPECT_EQ(std::count(run.err.begin(), run.err.end(), '\n'), 1) << run.err;
        EXPECT_TRUE(run.out.empty()) << run.out;
    }
    EXPECT_TRUE(fs::exists(record));
    fs::remove_all(scratch);
}
