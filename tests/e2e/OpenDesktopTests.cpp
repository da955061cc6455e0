// `varnex open` on the sample record under a virtual display: chooses HRV|Analyse from the real
// menu bar and checks the window it shows. One Xvfb serves the whole run; every child process
// has a watchdog, so a hang fails the test instead of stalling the run.
#include <gtest/gtest.h>

#include <fcntl.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <functional>
#include <regex>
#include <string>
#include <vector>

#include "VirtualDisplay.h"
#include "hrv_ui/DialogIds.h"
#include "ui/Gdi.h"

namespace {

namespace fs = std::filesystem;

using vx::e2e::VirtualDisplay;
namespace Item = HRV::ControlId;

// A control of an HRV dialog as `--dialog` names it.
std::string Id(int item)
{
    return std::to_string(item);
}

VirtualDisplay* gDisplay = nullptr;
std::string gWhy;

class Desktop : public testing::Test {
protected:
    static void SetUpTestSuite()
    {
        vx::e2e::SkipUnlessInstalled({ "Xvfb", "pdftotext", "pdfinfo" });
        gDisplay = vx::e2e::StartedDisplay(gWhy);
    }
    static void TearDownTestSuite()
    {
        delete gDisplay;
        gDisplay = nullptr;
    }
    void SetUp() override
    {
        ASSERT_TRUE(gDisplay) << "no virtual display: " << gWhy;
        mHome = fs::temp_directory_path() / ("vx_e2e_" + std::to_string(getpid()));
        fs::create_directories(mHome);
    }
    void TearDown() override
    {
        std::error_code ec;
        fs::remove_all(mHome, ec);
    }

    // Runs varnex with a watchdog of 120 s; the exit status, with its output in `out`.
    int Varnex(std::vector<std::string> args, std::string& out)
    {
        args.insert(args.begin(), VX_VARNEX);
        return vx::e2e::RunOnDisplay(args, gDisplay->Display(), mHome, out);
    }

    int Scene(const std::string& scene, const fs::path& out, std::string& log)
    {
        return vx::e2e::RunOnDisplay({ VX_GTK_SCENES, scene, out.string() }, gDisplay->Display(), mHome, log, 60);
    }

    fs::path mHome;
};

// A rectangle "name x y w h" from a scene's output.
vx::ui::Rect Reported(const std::string& log, const std::string& name)
{
    const std::size_t at = log.find("\n" + name + " ");
    int x = 0, y = 0, w = 0, h = 0;
    if (at == std::string::npos || std::sscanf(log.c_str() + at + name.size() + 2, "%d %d %d %d", &x, &y, &w, &h) != 4)
        return {};
    return { x, y, x + w, y + h };
}

int CountPixels(const vx::ui::Bitmap& image, const vx::ui::Rect& r, const std::function<bool(vx::ui::Colour)>& test)
{
    int n = 0;
    for (int y = std::max(0, r.top); y < std::min(image.Height(), r.bottom); ++y)
        for (int x = std::max(0, r.left); x < std::min(image.Width(), r.right); ++x)
            n += test(image.Pixel(x, y));
    return n;
}

TEST_F(Desktop, AnalyseFromTheMenuShowsTheMainWindowWithItsResult)
{
    const fs::path shot = mHome / "window.png";
    std::string out;
    const int status
        = Varnex({ "open", VX_SAMPLE_RECORD, "--run", "HRV|Analyse", "--screenshot", shot.string(), "--exit" }, out);
    ASSERT_EQ(status, 0) << out;
    EXPECT_NE(out.find("HRV|Analyse: done"), std::string::npos) << out;
    EXPECT_NE(out.find("Beats detected: 2273"), std::string::npos) << out;
    EXPECT_NE(out.find("Ready. HRV|Analyse finished."), std::string::npos) << out;

    std::ifstream in(shot, std::ios::binary);
    const std::vector<std::uint8_t> png((std::istreambuf_iterator<char>(in)), {});
    vx::ui::BitmapPtr image = vx::ui::Bitmap::FromPng(png);
    ASSERT_TRUE(image) << "no screenshot";
    // The frame's size (the menu bar inside it, as in a window's non-client area); a white client
    // area with dark text near its top left and the grey status line at the bottom.
    EXPECT_EQ(image->Width(), 900);
    EXPECT_EQ(image->Height(), 560);
    int dark = 0;
    for (int y = 30; y < 140; ++y)
        for (int x = 0; x < 400; ++x)
            dark += image->Pixel(x, y).Red() < 100;
    EXPECT_GT(dark, 200);
    EXPECT_EQ(image->Pixel(600, 100), vx::ui::GetSysColor(vx::ui::COLOR_WINDOW));
    // Under the summary the chart: the first channel's trace in red in the upper strip, the
    // second's in blue in the lower one.
    int red = 0, blue = 0;
    for (int y = 160; y < 490; ++y)
        for (int x = 60; x < 880; ++x) {
            const vx::ui::Colour c = image->Pixel(x, y);
            red += y < 330 && c.Red() > 150 && c.Green() < 80 && c.Blue() < 80;
            blue += y >= 330 && c.Blue() > 150 && c.Red() < 80 && c.Green() < 120;
        }
    EXPECT_GT(red, 800);
    EXPECT_GT(blue, 800);
    EXPECT_EQ(image->Pixel(600, image->Height() - 5), vx::ui::GetSysColor(vx::ui::COLOR_BTNFACE));
}

// Records in other WFDB layouts open, analyse and show their channels: several samples per frame,
// segments, FLAC, and a record one of whose signal files is missing (its channel is left blank).
TEST_F(Desktop, EveryWfdbLayoutOpensAndShowsItsChannels)
{
    const fs::path layouts = fs::path(VX_SAMPLE_RECORD).parent_path().parent_path() / "wfdb-layouts";
    std::ofstream(mHome / "r.hea") << "r 3 360 21600\na.dat 16 200 16 0 -29 0 0 MLII\n"
                                      "a.dat 16 200 16 0 -13 0 0 V5\nb.dat 16 200 16 0 0 0 0 chest\n";
    fs::copy_file(layouts / "g16.dat", mHome / "a.dat");
    for (const fs::path& record : { layouts / "spf.hea", layouts / "ms.hea", layouts / "f524.hea", mHome / "r.hea" }) {
        SCOPED_TRACE(record.filename().string());
        const fs::path shot = mHome / "window.png";
        std::string out;
        ASSERT_EQ(
            Varnex({ "open", record.string(), "--run", "HRV|Analyse", "--screenshot", shot.string(), "--exit" }, out),
            0)
            << out;
        EXPECT_NE(out.find("Beats detected: 74"), std::string::npos) << out;
        std::ifstream in(shot, std::ios::binary);
        const std::vector<std::uint8_t> png((std::istreambuf_iterator<char>(in)), {});
        vx::ui::BitmapPtr image = vx::ui::Bitmap::FromPng(png);
        ASSERT_TRUE(image) << "no screenshot";
        // MLII in red and V5 in blue, each in a strip of its own.
        int red = 0, blue = 0;
        for (int y = 160; y < 490; ++y)
            for (int x = 60; x < 880; ++x) {
                const vx::ui::Colour c = image->Pixel(x, y);
                red += c.Red() > 150 && c.Green() < 80 && c.Blue() < 80;
                blue += c.Blue() > 150 && c.Red() < 80 && c.Green() < 120;
            }
        EXPECT_GT(red, 800);
        EXPECT_GT(blue, 800);
    }
}

TEST_F(Desktop, ViewCommandsOpenTheirViewsInFramesOfTheirOwn)
{
    std::string out;
    const int status
        = Varnex({ "open", VX_SAMPLE_RECORD, "--run", "HRV|Analyse", "--run", "HRV|AnalysisPlots|Tachogram", "--run",
                     "HRV|AnalysisPlots|Poincare", "--run", "HRV|Report", "--exit" },
            out);
    ASSERT_EQ(status, 0) << out;
    // Each view has a window that fills its frame, in the order they were opened.
    const std::regex view("View: (HRV [A-Za-z ]+ View) \\(([0-9]+)x([0-9]+)\\)");
    std::vector<std::string> opened;
    for (std::sregex_iterator it(out.begin(), out.end(), view), end; it != end; ++it) {
        opened.push_back((*it)[1]);
        EXPECT_GT(std::stoi((*it)[2]), 100) << out;
        EXPECT_GT(std::stoi((*it)[3]), 100) << out;
    }
    EXPECT_EQ(opened, (std::vector<std::string> { "HRV Tachogram View", "HRV Poincare View", "HRV Report View" }))
        << out;
}

// The settings dialog from the HRV menu: "Custom" opens the detector settings, and OK with a
// longer minimum period re-analyses with fewer beats. The dialogs are shot as the user sees them.
TEST_F(Desktop, SettingsFromTheMenuReanalyseWithTheDetectorSettingsOfCustom)
{
    const fs::path settings = mHome / "settings.png", detector = mHome / "detector.png";
    std::string out;
    const int status = Varnex(
        { "open", VX_SAMPLE_RECORD, "--run", "HRV|Analyse", "--run", "HRV|Settings", "--dialog",
            "shot=" + settings.string() + ",click=" + Id(Item::kHelp) + ",select=" + Id(Item::kPreset)
                + ":8,click=" + Id(Item::kAdvanced) + ",click=1",
            "--dialog", "shot=" + detector.string() + ",type=" + Id(Item::kMinPeriod) + ":1000,click=1", "--exit" },
        out);
    ASSERT_EQ(status, 0) << out;
    EXPECT_NE(out.find("HRV|Settings: done"), std::string::npos) << out;
    const auto at = out.find("Beats detected: ");
    ASSERT_NE(at, std::string::npos) << out;
    const int beats = std::atoi(out.c_str() + at + 16);
    EXPECT_GT(beats, 300) << out;
    EXPECT_LT(beats, 1000) << out; // 2273 with the preset's 0.3 s
    // The help button wrote the topic's page from the host's resources for the browser.
    std::ifstream page(mHome / "varnex-help" / "HRV_Settings2.html");
    const std::string html((std::istreambuf_iterator<char>(page)), {});
    EXPECT_NE(html.find("<h1>HRV Settings</h1>"), std::string::npos);
    for (const fs::path& shot : { settings, detector }) {
        std::ifstream in(shot, std::ios::binary);
        const std::vector<std::uint8_t> png((std::istreambuf_iterator<char>(in)), {});
        vx::ui::BitmapPtr image = vx::ui::Bitmap::FromPng(png);
        ASSERT_TRUE(image) << shot;
        // Laid out in dialog units: wider than tall, as the templates are (422 x 236, 492 x 254).
        EXPECT_GT(image->Width(), image->Height() * 3 / 2) << shot;
        EXPECT_GT(image->Height(), 300) << shot;
        if (shot != detector)
            continue;
        // The preview over the upper part of the detector settings draws the source channel in
        // its trace colour (the first channel's red); the fields below it show none.
        int upper = 0, lower = 0;
        for (int y = 0; y < image->Height(); ++y)
            for (int x = 0; x < image->Width(); ++x)
                if (image->Pixel(x, y).value == vx::ui::Colour::Rgb(213, 0, 0).value)
                    ++(y < image->Height() * 2 / 5 ? upper : lower);
        EXPECT_GT(upper, 500) << shot;
        EXPECT_EQ(lower, 0) << shot;
    }
}

TEST_F(Desktop, AMissingRecordOrMenuItemIsOneClearErrorLine)
{
    std::string out;
    EXPECT_EQ(Varnex({ "open", (mHome / "missing.hea").string(), "--exit" }, out), 1);
    EXPECT_NE(out.find("varnex open:"), std::string::npos) << out;
    EXPECT_EQ(Varnex({ "open", VX_SAMPLE_RECORD, "--run", "HRV|NoSuchThing", "--exit" }, out), 1);
    EXPECT_NE(out.find("no menu item HRV|NoSuchThing"), std::string::npos) << out;
    EXPECT_NE(Varnex({ "open", VX_SAMPLE_RECORD, "--dialog", "shot=a.png,press=1", "--exit" }, out), 0);
    EXPECT_NE(out.find("--dialog: unknown action press=1"), std::string::npos) << out;
}

TEST_F(Desktop, ARecordTooSlowForTheLowPassCutoffShowsWhyNoBeatsAreFound)
{
    // Ten seconds sampled at 55 Hz: below twice the default low-pass cut-off of 30 Hz.
    const fs::path record = mHome / "slow.csv";
    {
        std::ofstream csv(record);
        csv << "time,ECG\n";
        for (int i = 0; i < 550; ++i)
            csv << i / 55.0 << "," << (i % 55 == 0 ? 1.0 : 0.0) << "\n";
    }
    std::string out;
    ASSERT_EQ(Varnex({ "open", record.string(), "--run", "HRV|Analyse", "--exit" }, out), 0) << out;
    const std::string reason = "No beats can be detected: record 1 is sampled at 55 Hz, too slowly for the detector's "
                               "low-pass cut-off LowPassCutoff of 30 Hz, which must lie below half the sample rate "
                               "(27.5 Hz). HRV > Settings changes LowPassCutoff.";
    // In the window's summary, pointed to by its status line.
    EXPECT_NE(out.find("HRV|Analyse: no beats"), std::string::npos) << out;
    EXPECT_NE(out.find("\n" + reason + "\n"), std::string::npos) << out;
    EXPECT_NE(out.find("Ready. HRV|Analyse found no beats (the summary says why)."), std::string::npos) << out;
}

TEST(DesktopWithoutDisplay, SaysSoInOneLineAndFails)
{
    std::vector<std::string> all = { "timeout", "-s", "KILL", "60", VX_VARNEX, "open", VX_SAMPLE_RECORD };
    std::vector<char*> argv;
    for (auto& a : all)
        argv.push_back(a.data());
    argv.push_back(nullptr);
    std::string path = "PATH=/usr/bin:/bin";
    char* envp[] = { path.data(), nullptr };
    const fs::path log = fs::temp_directory_path() / ("vx_nodisplay_" + std::to_string(getpid()));
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(&actions, 2, log.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
    pid_t pid = 0;
    ASSERT_EQ(posix_spawnp(&pid, "timeout", &actions, nullptr, argv.data(), envp), 0);
    posix_spawn_file_actions_destroy(&actions);
    int status = 0;
    waitpid(pid, &status, 0);
    std::ifstream in(log);
    const std::string err((std::istreambuf_iterator<char>(in)), {});
    fs::remove(log);
    EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) != 0);
    EXPECT_EQ(std::count(err.begin(), err.end(), '\n'), 1) << err;
    EXPECT_NE(err.find("no display"), std::string::npos) << err;
}

// The document enables its own commands: clearing the analysis is offered only once there is one.
TEST_F(Desktop, TheDocumentEnablesItsMenuCommands)
{
    std::string out;
    EXPECT_EQ(Varnex({ "open", VX_SAMPLE_RECORD, "--run", "HRV|ClearAnalysis", "--exit" }, out), 1);
    EXPECT_NE(out.find("no menu item HRV|ClearAnalysis that is enabled"), std::string::npos) << out;
    EXPECT_EQ(
        Varnex({ "open", VX_SAMPLE_RECORD, "--run", "HRV|Analyse", "--run", "HRV|ClearAnalysis", "--exit" }, out), 0)
        << out;
    EXPECT_NE(out.find("Ready. HRV|ClearAnalysis finished."), std::string::npos) << out;
}

// File|Open's chooser gives back the file the user picked, offering the recordings' filter.
TEST_F(Desktop, TheFileChooserGivesTheChosenFile)
{
    std::string log;
    ASSERT_EQ(Scene("open", VX_SAMPLE_RECORD, log), 0) << log;
    EXPECT_NE(log.find("title Open Recording\n"), std::string::npos) << log;
    EXPECT_NE(log.find("filter Recordings\n"), std::string::npos) << log;
    EXPECT_NE(log.find("chosen " + fs::canonical(VX_SAMPLE_RECORD).string() + "\n"), std::string::npos) << log;
}

// The real pointer rests on the marker of a bad field: the balloon opens on the display, and OK
// brings up the warning beside it.
TEST_F(Desktop, HoveringTheMarkerShowsTheBalloonAndOkShowsTheWarning)
{
    const fs::path shot = mHome / "hover.png";
    std::string log;
    ASSERT_EQ(Scene("hover", shot, log), 0) << log;
    EXPECT_NE(log.find("balloon shown"), std::string::npos) << log;
    std::ifstream in(shot, std::ios::binary);
    const std::vector<std::uint8_t> png((std::istreambuf_iterator<char>(in)), {});
    vx::ui::BitmapPtr image = vx::ui::Bitmap::FromPng(png);
    ASSERT_TRUE(image) << log;
    const vx::ui::Rect warning = Reported(log, "at-warning"), balloon = Reported(log, "at-balloon");
    ASSERT_FALSE(warning.IsEmpty()) << log;
    ASSERT_FALSE(balloon.IsEmpty()) << log;
    // On the display: the warning's face with its dark text, and the balloon's tip colour with its
    // text, each where the window system put them.
    const vx::ui::Colour face = vx::ui::GetSysColor(vx::ui::COLOR_BTNFACE),
                         tip = vx::ui::GetSysColor(vx::ui::COLOR_INFOBK);
    const auto dark = [](vx::ui::Colour c) { return c.Red() < 90 && c.Green() < 90 && c.Blue() < 90; };
    EXPECT_GT(CountPixels(*image, warning, [&](vx::ui::Colour c) { return c == face; }),
        warning.Width() * warning.Height() / 2);
    EXPECT_GT(CountPixels(*image, warning, dark), 100);
    EXPECT_GT(CountPixels(*image, balloon, [&](vx::ui::Colour c) { return c == tip; }),
        balloon.Width() * balloon.Height() / 3);
    EXPECT_GT(CountPixels(*image, balloon, dark), 100);
}

// A plot printed on the printer chosen in GTK's print dialog ("Print to File"): one landscape
// page with the picture's title and both footers.
TEST_F(Desktop, APlotPrintsOnTheChosenGtkPrinter)
{
    const fs::path pdf = mHome / "plot.pdf";
    std::string log;
    ASSERT_EQ(Scene("print", pdf, log), 0) << log;
    ASSERT_TRUE(fs::exists(pdf)) << log;
    const std::string info = vx::e2e::ShellOutput("pdfinfo '" + pdf.string() + "'");
    int pages = 0;
    double width = 0, height = 0;
    const std::size_t pagesAt = info.find("Pages:"), sizeAt = info.find("Page size:");
    ASSERT_TRUE(pagesAt != std::string::npos && sizeAt != std::string::npos) << info;
    std::sscanf(info.c_str() + pagesAt, "Pages: %d", &pages);
    std::sscanf(info.c_str() + sizeAt, "Page size: %lf x %lf", &width, &height);
    EXPECT_EQ(pages, 1) << info;
    EXPECT_NEAR(width, 841.89, 1) << info;
    EXPECT_NEAR(height, 595.28, 1) << info;
    // Compared without white space: where the extracted text breaks depends on the fonts.
    const std::string text = vx::e2e::ShellOutput("pdftotext '" + pdf.string() + "' -");
    const std::string words = vx::e2e::WithoutSpace(text);
    for (const char* expected : { "Tachogram", "Printed on", "Page 1 of 1", "RR intervals" })
        EXPECT_NE(words.find(vx::e2e::WithoutSpace(expected)), std::string::npos) << expected << " in\n" << text;
}

// File|Save keeps the analysis with the recording, offered only while there is something to save;
// closing a window with unsaved changes asks first. The next opening finds the analysis again.
TEST_F(Desktop, SaveAndTheQuestionOnClosingKeepTheAnalysisForTheNextOpening)
{
    const fs::path dir = mHome / "rec";
    fs::create_directories(dir);
    for (const char* ext : { ".hea", ".dat", ".atr" })
        fs::copy_file(fs::path(VX_SAMPLE_RECORD).replace_extension(ext), dir / (std::string("100") + ext));
    const std::string record = (dir / "100.hea").string();
    const fs::path session = dir / "100.hea.varnex-session";
    const fs::path question = mHome / "question.png";
    std::string out;
    EXPECT_EQ(Varnex({ "open", record, "--run", "File|Save", "--exit" }, out), 1);
    EXPECT_NE(out.find("no menu item File|Save that is enabled"), std::string::npos) << out;

    // Cancel keeps the window (the script then ends it); Save writes the session and closes.
    EXPECT_EQ(
        Varnex({ "open", record, "--run", "HRV|Analyse", "--run", "File|Close", "--dialog", "click=2", "--exit" }, out),
        0)
        << out;
    EXPECT_NE(out.find("Beats detected: 2273"), std::string::npos) << "the window stayed: " << out;
    EXPECT_FALSE(fs::exists(session));
    EXPECT_EQ(Varnex({ "open", record, "--run", "HRV|Analyse", "--run", "File|Close", "--dialog",
                         "shot=" + question.string() + ",click=6" },
                  out),
        0)
        << out;
    EXPECT_TRUE(fs::exists(session)) << out;
    std::ifstream in(question, std::ios::binary);
    const std::vector<std::uint8_t> png((std::istreambuf_iterator<char>(in)), {});
    vx::ui::BitmapPtr image = vx::ui::Bitmap::FromPng(png);
    ASSERT_TRUE(image) << "no picture of the question";
    EXPECT_GT(
        CountPixels(*image, { 0, 0, image->Width(), image->Height() }, [](vx::ui::Colour c) { return c.Red() < 100; }),
        100)
        << "the question and its buttons' texts";

    // A new process opens the recording with its analysis; clearing it and saving from the menu
    // keeps a session without one.
    EXPECT_EQ(Varnex({ "open", record, "--run", "HRV|ClearAnalysis", "--run", "File|Save", "--exit" }, out), 0) << out;
    EXPECT_NE(out.find("using the session file"), std::string::npos) << out;
    EXPECT_EQ(Varnex({ "open", record, "--run", "HRV|ClearAnalysis", "--exit" }, out), 1) << out;
}

// A channel that shows a beat measure: added from the Channel menu through the extension's
// "HRV Calculations" dialog (Beat Rate, guide lines on), drawn under the recording's channels with
// the normal-beat box as two guide lines and the bands beyond them; saved with the session, it is
// there again when the recording is opened anew.
TEST_F(Desktop, ACalculatedChannelIsAddedDrawnWithItsGuideLinesSavedAndOpenedAgain)
{
    const fs::path dir = mHome / "calc";
    fs::create_directories(dir);
    for (const char* ext : { ".hea", ".dat", ".atr" })
        fs::copy_file(fs::path(VX_SAMPLE_RECORD).replace_extension(ext), dir / (std::string("100") + ext));
    const std::string record = (dir / "100.hea").string();
    const fs::path plain = mHome / "plain.png", added = mHome / "added.png", again = mHome / "again.png";
    const auto load = [](const fs::path& path) {
        std::ifstream in(path, std::ios::binary);
        const std::vector<std::uint8_t> png((std::istreambuf_iterator<char>(in)), {});
        return vx::ui::Bitmap::FromPng(png);
    };
    // Below the summary: the chart. The guide lines' grey and the bands' pink are the extension's.
    const auto guide = [](vx::ui::Colour c) { return c == vx::ui::Colour::Rgb(137, 137, 137); };
    const auto band = [](vx::ui::Colour c) { return c == vx::ui::Colour::Rgb(254, 194, 194); };
    const auto chart = [](const vx::ui::Bitmap& image) {
        return vx::ui::Rect { 0, 150, image.Width(), image.Height() };
    };

    std::string out;
    ASSERT_EQ(Varnex({ "open", record, "--run", "HRV|Analyse", "--screenshot", plain.string(), "--exit" }, out), 0)
        << out;
    // Cancelled in the dialog: no channel.
    ASSERT_EQ(Varnex({ "open", record, "--run", "HRV|Analyse", "--run", "Channel|Add Calculation|HRV Calculation",
                         "--dialog", "select=" + Id(Item::kMeasure) + ":2,click=2", "--exit" },
                  out),
        0)
        << out;
    EXPECT_EQ(out.find("HRV Calculation 1"), std::string::npos) << out;
    EXPECT_NE(out.find("No channel was added"), std::string::npos) << out;

    ASSERT_EQ(Varnex({ "open", record, "--run", "HRV|Analyse", "--run", "Channel|Add Calculation|HRV Calculation",
                         "--dialog", "select=" + Id(Item::kMeasure) + ":2,click=1", "--screenshot", added.string(),
                         "--run", "File|Save", "--exit" },
                  out),
        0)
        << out;
    EXPECT_NE(out.find("HRV Calculation 1 (HRV Calculation : Beat Rate)"), std::string::npos) << out;
    EXPECT_TRUE(fs::exists(dir / "100.hea.varnex-session")) << out;

    ASSERT_EQ(Varnex({ "open", record, "--screenshot", again.string(), "--exit" }, out), 0) << out;
    EXPECT_NE(out.find("using the session file"), std::string::npos) << out;
    EXPECT_NE(out.find("HRV Calculation 1 (HRV Calculation : Beat Rate)"), std::string::npos) << out;

    const vx::ui::BitmapPtr before = load(plain), after = load(added), reopened = load(again);
    ASSERT_TRUE(before && after && reopened);
    EXPECT_EQ(CountPixels(*before, chart(*before), band), 0) << "no guide bands before the channel is added";
    for (const vx::ui::BitmapPtr& image : { after, reopened }) {
        // Two lines across the new strip, and the bands above and below the normal-beat box.
        EXPECT_GT(CountPixels(*image, chart(*image), guide), 2 * 600);
        EXPECT_GT(CountPixels(*image, chart(*image), band), 600 * 10);
        // Down the middle of the chart: the bands lie above and below the box between the lines,
        // which is left clear.
        const int x = image->Width() / 2;
        int first = -1, last = -1, clear = 0;
        for (int y = 150; y < image->Height(); ++y)
            if (band(image->Pixel(x, y))) {
                first = first < 0 ? y : first;
                last = y;
            }
        for (int y = first; first >= 0 && y <= last; ++y)
            clear += image->Pixel(x, y) == vx::ui::Colour::Rgb(255, 255, 255) ? 1 : 0;
        EXPECT_GT(clear, 10) << "no clear box between the bands";
    }
    if (const char* shots = std::getenv("VX_E2E_SHOTS")) {
        fs::copy_file(added, fs::path(shots) / "calculated-channel.png", fs::copy_options::overwrite_existing);
        fs::copy_file(again, fs::path(shots) / "calculated-channel-reopened.png", fs::copy_options::overwrite_existing);
    }
}

} // namespace

// The record's comments are drawn on the chart's traces; a click on the first one's marker opens
// its popup above it, with its time and text.
TEST_F(Desktop, AClickOnACommentOfTheChartShowsItsPopup)
{
    // The sample record with an annotation file of its own: one rhythm change ("+", code 28) with
    // the text "(AFL" at sample 3600 (10 s), written as the annotation format has it: a skip
    // word with its 32-bit interval (high half first), the annotation, its auxiliary text, the end.
    const fs::path record = mHome / "record";
    fs::create_directories(record);
    const fs::path sample(VX_SAMPLE_RECORD);
    fs::copy_file(sample, record / "100.hea");
    fs::copy_file(sample.parent_path() / "100.dat", record / "100.dat");
    {
        std::ofstream atr(record / "100.atr", std::ios::binary);
        auto word = [&](unsigned w) { atr.put(char(w & 0xFF)).put(char(w >> 8)); };
        word(59u << 10);
        word(0);
        word(3600);
        word(28u << 10);
        word((63u << 10) | 4);
        atr.write("(AFL", 4);
        word(0);
    }
    const fs::path shot = mHome / "comment.png";
    std::string out;
    const int status = Varnex(
        { "open", (record / "100.hea").string(), "--click-comment", "0", "--screenshot", shot.string(), "--exit" },
        out);
    ASSERT_EQ(status, 0) << out;
    EXPECT_NE(out.find("Comment popup: t = 00:00:10.000: + (AFL"), std::string::npos) << out;

    std::ifstream in(shot, std::ios::binary);
    const std::vector<std::uint8_t> png((std::istreambuf_iterator<char>(in)), {});
    vx::ui::BitmapPtr image = vx::ui::Bitmap::FromPng(png);
    ASSERT_TRUE(image) << "no screenshot";
    // The popup's tooltip background above the chart, where the summary leaves the window white.
    const vx::ui::Colour info = vx::ui::GetSysColor(vx::ui::COLOR_INFOBK);
    EXPECT_GT(
        CountPixels(*image, { 0, 0, image->Width(), image->Height() }, [&](vx::ui::Colour c) { return c == info; }),
        2000);

    EXPECT_EQ(Varnex({ "open", (record / "100.hea").string(), "--click-comment", "2", "--exit" }, out), 1);
    EXPECT_NE(out.find("no comment 2 is drawn on the chart"), std::string::npos) << out;
}

// The chart after an analysis: the beats marked on both channels in the colours of their classes,
// a drag over the first strip selects a stretch (tinted over both strips), and the beat-mark
// command removes the beats in it, after which the chart shows them no more.
TEST_F(Desktop, ADragSelectsAStretchWhoseBeatsTheRemoveCommandTakesAway)
{
    const fs::path shot = mHome / "chart.png";
    std::string out;
    const int status = Varnex({ "open", VX_SAMPLE_RECORD, "--run", "HRV|Analyse", "--drag", "300,450", "--run",
                                  "HRV|RemoveMarker", "--screenshot", shot.string(), "--exit" },
        out);
    ASSERT_EQ(status, 0) << out;
    std::smatch selection;
    ASSERT_TRUE(std::regex_search(out, selection, std::regex("Selection: ([0-9.]+)-([0-9.]+) s of record 1"))) << out;
    const double from = std::stod(selection[1]), to = std::stod(selection[2]);
    // 150 pixels at ten samples a pixel and 360 samples a second.
    EXPECT_NEAR(to - from, 150 * 10 / 360.0, 0.1) << out;
    std::smatch beats;
    ASSERT_TRUE(std::regex_search(out, beats, std::regex("Beats detected: ([0-9]+)"))) << out;
    // A few seconds of a resting heart lose a handful of beats.
    EXPECT_LT(std::stoi(beats[1]), 2273) << out;
    EXPECT_GT(std::stoi(beats[1]), 2273 - 10) << out;

    std::ifstream in(shot, std::ios::binary);
    const std::vector<std::uint8_t> png((std::istreambuf_iterator<char>(in)), {});
    vx::ui::BitmapPtr image = vx::ui::Bitmap::FromPng(png);
    ASSERT_TRUE(image) << "no screenshot";
    // The tint: light blue inside the dragged stretch, on both strips; none beyond it.
    const auto tint = [](vx::ui::Colour c) {
        return c.Blue() > 240 && c.Red() > 150 && c.Red() < 230 && c.Green() > 200 && c.Green() < 245;
    };
    EXPECT_GT(CountPixels(*image, { 310, 180, 440, 320 }, tint), 5000);
    EXPECT_GT(CountPixels(*image, { 310, 340, 440, 480 }, tint), 5000);
    EXPECT_EQ(CountPixels(*image, { 470, 180, 880, 480 }, tint), 0);
    // Beat marks left of and right of the stretch in more than one colour (by their class), and
    // no beat's coloured mark inside it in the second strip (which has no annotations of its own).
    const vx::ui::Rect marks { 60, 330, 880, 342 };
    const auto blue = [](vx::ui::Colour c) { return c.Blue() > 200 && c.Red() < 60 && c.Green() < 120; };
    const auto orange
        = [](vx::ui::Colour c) { return c.Red() > 200 && c.Green() > 120 && c.Green() < 200 && c.Blue() < 80; };
    EXPECT_GT(CountPixels(*image, marks, blue), 20);
    EXPECT_GT(CountPixels(*image, marks, orange), 20);
    EXPECT_EQ(
        CountPixels(*image, { 310, 330, 440, 342 }, blue) + CountPixels(*image, { 310, 330, 440, 342 }, orange), 0);
}

// Online play into the document: the chart follows the new record to its end.
TEST_F(Desktop, TheChartFollowsAnOnlinePlayToItsEnd)
{
    const fs::path shot = mHome / "online.png";
    std::string out;
    const int status
        = Varnex({ "open", VX_SAMPLE_RECORD, "--play", "600", "--screenshot", shot.string(), "--exit" }, out);
    ASSERT_EQ(status, 0) << out;
    EXPECT_NE(out.find("2 record(s)"), std::string::npos) << out;
    EXPECT_NE(out.find("Ready. The online play finished."), std::string::npos) << out;
    std::ifstream in(shot, std::ios::binary);
    const std::vector<std::uint8_t> png((std::istreambuf_iterator<char>(in)), {});
    vx::ui::BitmapPtr image = vx::ui::Bitmap::FromPng(png);
    ASSERT_TRUE(image) << "no screenshot";
    // The last screen of the played record: its trace reaches the right edge of the first strip.
    const auto red = [](vx::ui::Colour c) { return c.Red() > 150 && c.Green() < 80 && c.Blue() < 80; };
    EXPECT_GT(CountPixels(*image, { 860, 180, 890, 320 }, red), 20);
}
