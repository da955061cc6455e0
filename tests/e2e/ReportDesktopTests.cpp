// The HRV report in the desktop host under a virtual display, with WebKitGTK: `varnex open`
// analyses the sample record, opens the report from the HRV menu in a frame of its own, prints it
// from File|Print into a PDF and copies it from Edit|Copy. The PDF holds the report's headings
// and values; the screenshot of the report's frame shows the rendered page.
#include <gtest/gtest.h>

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "VirtualDisplay.h"
#include "ui/Gdi.h"

namespace {

namespace fs = std::filesystem;

vx::e2e::VirtualDisplay* gDisplay = nullptr;
vx::e2e::TemporaryHome* gHome = nullptr;
std::string gWhy;

std::string Lower(std::string s)
{
    for (char& c : s)
        c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    return s;
}

TEST(DesktopReport, OpensFromTheHrvMenuPrintsToPdfAndShowsTheRenderedPage)
{
    ASSERT_FALSE(gDisplay->Display().empty()) << "no virtual display: " << gWhy;
    const fs::path pdf = gHome->Path() / "report.pdf";
    const fs::path shot = gHome->Path() / "report.png";
    std::string out;
    const int status = vx::e2e::RunOnDisplay({ VX_VARNEX, "open", VX_SAMPLE_RECORD, "--run", "HRV|Analyse", "--run",
                                                 "HRV|Report", "--print-to", pdf.string(), "--run", "File|Print...",
                                                 "--run", "Edit|Copy", "--view-screenshot", shot.string(), "--exit" },
        gDisplay->Display(), gHome->Path(), out, 90);
    ASSERT_EQ(status, 0) << out;
    EXPECT_NE(out.find("View: HRV Report View"), std::string::npos) << out;
    EXPECT_NE(out.find("Ready. Copied."), std::string::npos) << out;

    // One page or more, holding the sections' headings (shown in capitals) and the measures.
    ASSERT_TRUE(fs::exists(pdf)) << out;
    int pages = 0;
    const std::string info = vx::e2e::ShellOutput("pdfinfo '" + pdf.string() + "'");
    const std::size_t at = info.find("Pages:");
    ASSERT_NE(at, std::string::npos) << info;
    std::sscanf(info.c_str() + at, "Pages: %d", &pages);
    EXPECT_GE(pages, 1);
    // Compared without white space: where the extracted text breaks depends on the fonts.
    const std::string text = Lower(vx::e2e::ShellOutput("pdftotext '" + pdf.string() + "' -"));
    const std::string words = vx::e2e::WithoutSpace(text);
    for (const char* expected : { "general", "time-domain", "frequency-domain", "nonlinear", "analysis start",
             "block: 1, 0:00:00.000", "average rr", "rmssd", "lf/hf", "sd1", "sd2" })
        EXPECT_NE(words.find(vx::e2e::WithoutSpace(expected)), std::string::npos) << expected << " in\n" << text;

    // The page as WebKit drew it in the report's frame: white, with the headings' grey bars and
    // blue titles, and dark text in the tables.
    std::ifstream in(shot, std::ios::binary);
    const std::vector<std::uint8_t> png((std::istreambuf_iterator<char>(in)), {});
    vx::ui::BitmapPtr image = vx::ui::Bitmap::FromPng(png);
    ASSERT_TRUE(image) << "no screenshot of the report's frame";
    int white = 0, bar = 0, blue = 0, dark = 0;
    for (int y = 0; y < image->Height(); ++y)
        for (int x = 0; x < image->Width(); ++x) {
            const vx::ui::Colour c = image->Pixel(x, y);
            white += c.Red() == 255 && c.Green() == 255 && c.Blue() == 255;
            bar += c.Red() == 0xED && c.Green() == 0xED && c.Blue() == 0xED;
            blue += c.Red() < 60 && c.Green() > 100 && c.Green() < 160 && c.Blue() > 160;
            dark += c.Red() < 60 && c.Green() < 60 && c.Blue() < 60;
        }
    const int all = image->Width() * image->Height();
    EXPECT_GT(white, all / 3);
    EXPECT_GT(bar, 4 * 300 * 20) << "four heading bars";
    EXPECT_GT(blue, 200) << "heading titles";
    EXPECT_GT(dark, 1000) << "table text";
}

} // namespace

int main(int argc, char** argv)
{
    testing::InitGoogleTest(&argc, argv);
    vx::e2e::SkipUnlessInstalled({ "Xvfb", "pdftotext", "pdfinfo" });
    return vx::e2e::RunTestsOnDisplay("vx_report_e2e_", 120, gWhy, gDisplay, gHome);
}
