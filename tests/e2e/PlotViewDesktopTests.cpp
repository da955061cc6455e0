// The HRV plot views with the real plot control and WebKitGTK under the shared virtual display:
// `varnex analyse --plot` writes each view's picture through the view's own Copy, and `varnex
// open` shows the six views from the HRV menu, each drawing its plot, and Edit|Copy copies one. Without a display
// --plot says so in one line and fails, after everything else is written.
#include <gtest/gtest.h>

#include <fcntl.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <regex>
#include <string>
#include <vector>

#include "VirtualDisplay.h"
#include "ui/Gdi.h"

namespace {

namespace fs = std::filesystem;
using vx::e2e::VirtualDisplay;

VirtualDisplay* gDisplay = nullptr;
std::string gWhy;

std::string ReadAll(const fs::path& p)
{
    std::ifstream in(p, std::ios::binary);
    return std::string((std::istreambuf_iterator<char>(in)), {});
}

// What a plot's picture holds: pixels of its light background (white or the window's grey) and
// pixels the plot drew on it (dark or coloured). A window shot while covered or not yet drawn is
// all one or the other.
struct Picture {
    int background = -1;
    int drawn = -1;
};
Picture Pixels(const fs::path& png)
{
    const std::string bytes = ReadAll(png);
    vx::ui::BitmapPtr image = vx::ui::Bitmap::FromPng(std::vector<std::uint8_t>(bytes.begin(), bytes.end()));
    Picture p;
    if (!image)
        return p;
    p.background = p.drawn = 0;
    for (int y = 0; y < image->Height(); ++y)
        for (int x = 0; x < image->Width(); ++x) {
            const vx::ui::Colour c = image->Pixel(x, y);
            const int r = c.Red(), g = c.Green(), b = c.Blue();
            const bool light = std::abs(r - g) < 8 && std::abs(g - b) < 8 && r > 230;
            (light ? p.background : p.drawn)++;
        }
    return p;
}

// A plot drawn on its background: thousands of drawn pixels, and a good part of it light (the
// spectrum's shaded bands cover much of its area).
void ExpectPlot(const fs::path& png)
{
    const Picture p = Pixels(png);
    EXPECT_GT(p.drawn, 2000) << png;
    EXPECT_GT(p.background, (p.background + p.drawn) / 10) << png;
}

class PlotViewDesktop : public testing::Test {
protected:
    static void SetUpTestSuite()
    {
        vx::e2e::SkipUnlessInstalled({ "Xvfb" });
        gDisplay = vx::e2e::StartedDisplay(gWhy);
    }
    static void TearDownTestSuite()
    {
        delete gDisplay;
        gDisplay = nullptr;
    }
    void SetUp() override
    {
        mHome = fs::temp_directory_path() / ("vx_plotviews_" + std::to_string(getpid()));
        fs::create_directories(mHome);
    }
    void TearDown() override
    {
        std::error_code ec;
        fs::remove_all(mHome, ec);
    }
    int Varnex(std::vector<std::string> args, std::string& out, int seconds = 240)
    {
        args.insert(args.begin(), VX_VARNEX);
        return vx::e2e::RunOnDisplay(args, gDisplay->Display(), mHome, out, seconds);
    }
    fs::path mHome;
};

} // namespace

TEST_F(PlotViewDesktop, PlotWritesEachViewAsSvgAndTheTachogramHasAPointPerInterval)
{
    ASSERT_TRUE(gDisplay) << "no virtual display: " << gWhy;
    const std::vector<std::pair<std::string, std::string>> plots = {
        { "tachogram", "t.svg" },
        { "tachogram", "t.png" },
        { "spectrum", "s.svg" },
        { "rr-histogram", "r.svg" },
        { "drr-histogram", "d.jpg" },
        { "drr-histogram", "d.jpeg" },
        { "poincare", "p.svg" },
        { "classifier", "c.tif" },
        { "classifier", "c.tiff" },
    };
    std::vector<std::string> args = { "analyse", VX_SAMPLE_RECORD };
    for (const auto& [view, file] : plots) {
        args.push_back("--plot");
        args.push_back(view + "=" + (mHome / file).string());
    }
    std::string out;
    ASSERT_EQ(Varnex(args, out), 0) << out;
    for (const auto& [view, file] : plots) {
        ASSERT_TRUE(fs::exists(mHome / file)) << file;
        EXPECT_GT(fs::file_size(mHome / file), 1000u) << file;
    }
    // The image type follows the extension, whichever of its spellings is given.
    const auto opening = [&](const char* file) { return ReadAll(mHome / file).substr(0, 4); };
    for (const char* file : { "d.jpg", "d.jpeg" })
        EXPECT_EQ(opening(file).substr(0, 2), std::string("\xFF\xD8")) << file;
    for (const char* file : { "c.tif", "c.tiff" })
        EXPECT_TRUE(opening(file) == std::string("II*\0", 4) || opening(file) == std::string("MM\0*", 4)) << file;
    // The tachogram's trace: one path with a point per interval of the analysis.
    std::smatch beats;
    ASSERT_TRUE(std::regex_search(out, beats, std::regex("TotalCount +Total Beats +([0-9]+)"))) << out;
    const std::string svg = ReadAll(mHome / "t.svg");
    std::size_t longest = 0;
    // Each path's d attribute, found by hand: a regular expression over a path of some thousand
    // points recurses too deep for the sanitizer build's stack.
    for (std::size_t at = svg.find("<path"); at != std::string::npos; at = svg.find("<path", at + 1)) {
        const std::size_t tagEnd = svg.find('>', at);
        const std::size_t d = svg.find(" d=\"", at);
        if (d == std::string::npos || d > tagEnd)
            continue;
        const std::size_t from = d + 4, to = svg.find('"', from);
        longest = std::max<std::size_t>(
            longest, std::count_if(svg.begin() + from, svg.begin() + to, [](char c) { return c == 'M' || c == 'L'; }));
    }
    EXPECT_EQ(longest, std::stoul(beats[1])) << svg.substr(0, 400);
    // The views are open side by side and hand their pictures over one clipboard: each file holds
    // its own view's picture, labelled as that view labels its axes.
    const struct {
        const char* file;
        const char* label;
        const char* notLabel;
    } labels[] = {
        { "t.svg", "Interval Number", "Frequency (Hz)" },
        { "s.svg", "Frequency (Hz)", "Interval Number" },
        { "r.svg", ">RR Interval (s)", "Delta RR Interval" },
        { "p.svg", "Next RR Interval (ms)", "Complexity" },
    };
    for (const auto& l : labels) {
        const std::string text = ReadAll(mHome / l.file);
        EXPECT_NE(text.find(l.label), std::string::npos) << l.file;
        EXPECT_EQ(text.find(l.notLabel), std::string::npos) << l.file;
    }
    ExpectPlot(mHome / "t.png");
}

// A picture that cannot be written fails the run in one line, whatever the file type: the name the
// user gave is written in place when it is a device (or a link to one), never replaced by a file.
TEST_F(PlotViewDesktop, APlotThatCannotBeWrittenFailsTheRunAndKeepsTheLink)
{
    if (!gDisplay)
        GTEST_SKIP() << "no virtual display: " << gWhy;
    for (const char* name : { "full.png", "full.svg", "full.gif" }) {
        SCOPED_TRACE(name);
        const fs::path link = mHome / name;
        fs::create_symlink("/dev/full", link);
        std::string out;
        EXPECT_EQ(Varnex({ "analyse", VX_SAMPLE_RECORD, "--to", "60", "--plot", "tachogram=" + link.string() }, out), 1)
            << out;
        EXPECT_NE(out.find("cannot write " + link.string()), std::string::npos) << out;
        EXPECT_TRUE(fs::is_symlink(link)) << "the link stays a link";
        EXPECT_EQ(fs::read_symlink(link), "/dev/full");
        fs::remove(link);
    }
    // Nothing is left beside the link (no part file of the picture).
    for (const auto& e : fs::directory_iterator(mHome))
        EXPECT_EQ(e.path().filename().string().find("full"), std::string::npos) << e.path();
}

TEST_F(PlotViewDesktop, TheSixViewsOpenFromTheHrvMenuAndEachDraws)
{
    ASSERT_TRUE(gDisplay) << "no virtual display: " << gWhy;
    const fs::path shots = mHome / "shots";
    fs::create_directories(shots);
    std::string out;
    const int status
        = Varnex({ "open", VX_SAMPLE_RECORD, "--run", "HRV|Analyse", "--run", "HRV|AnalysisPlots|Tachogram", "--run",
                     "HRV|AnalysisPlots|Spectrum", "--run", "HRV|AnalysisPlots|RRHistogram", "--run",
                     "HRV|AnalysisPlots|DeltaRRHistogram", "--run", "HRV|AnalysisPlots|Poincare", "--run",
                     "HRV|ClassifierView", "--run", "Edit|Copy", "--view-shots", shots.string(), "--exit" },
            out);
    ASSERT_EQ(status, 0) << out;
    // Edit|Copy went to the view last opened, which put its plot on the clipboard.
    EXPECT_NE(out.find("Clipboard: image/svg+xml;utf8"), std::string::npos) << out;
    for (const char* view : { "HRV Tachogram View", "HRV Spectrum View", "HRV RR Histogram View",
             "HRV Delta RR Histogram View", "HRV Poincare View", "HRV Classifier View" }) {
        const fs::path shot = shots / (std::string(view) + ".png");
        ASSERT_TRUE(fs::exists(shot)) << view << "\n" << out;
        ExpectPlot(shot);
        if (const char* dir = std::getenv("VX_E2E_SHOTS"))
            fs::copy_file(shot, fs::path(dir) / shot.filename(), fs::copy_options::overwrite_existing);
    }
}

TEST(PlotWithoutDisplay, SaysSoInOneLineAfterWritingEverythingElse)
{
    const fs::path dir = fs::temp_directory_path() / ("vx_plot_nodisplay_" + std::to_string(getpid()));
    fs::create_directories(dir);
    const fs::path report = dir / "report.html", plot = dir / "t.svg", log = dir / "err.txt";
    std::vector<std::string> all = { "timeout", "-s", "KILL", "120", VX_VARNEX, "analyse", VX_SAMPLE_RECORD, "--report",
        report.string(), "--plot", "tachogram=" + plot.string() };
    std::vector<char*> argv;
    for (auto& a : all)
        argv.push_back(a.data());
    argv.push_back(nullptr);
    // No display, but the sanitizers' options of the test run (if any) go along.
    std::vector<std::string> environment = { "PATH=/usr/bin:/bin" };
    for (const char* name : { "ASAN_OPTIONS", "UBSAN_OPTIONS", "LSAN_OPTIONS" })
        if (const char* value = std::getenv(name))
            environment.push_back(std::string(name) + "=" + value);
    std::vector<char*> envp;
    for (auto& e : environment)
        envp.push_back(e.data());
    envp.push_back(nullptr);
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(&actions, 1, "/dev/null", O_WRONLY, 0);
    posix_spawn_file_actions_addopen(&actions, 2, log.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
    pid_t pid = 0;
    ASSERT_EQ(posix_spawnp(&pid, "timeout", &actions, nullptr, argv.data(), envp.data()), 0);
    posix_spawn_file_actions_destroy(&actions);
    int status = 0;
    waitpid(pid, &status, 0);
    const std::string err = ReadAll(log);
    EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) != 0) << err;
    // The exclusion note of the analysis may come first; the failure is the last line, alone.
    ASSERT_FALSE(err.empty());
    const std::string last = err.substr(err.rfind('\n', err.size() - 2) + 1);
    EXPECT_NE(last.find("needs a display"), std::string::npos) << err;
    EXPECT_TRUE(fs::exists(report)) << err;
    EXPECT_FALSE(fs::exists(plot));
    fs::remove_all(dir);
}
