#include <gtest/gtest.h>

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <memory>
#include <string>

#include <gdk-pixbuf/gdk-pixbuf.h>

#include "plotcontrol/svg/PlotOutput.h"

namespace fs = std::filesystem;
using KEL::RenderPrintableSvg;

namespace {

const std::string kPlot
    = "<svg xmlns=\"http://www.w3.org/2000/svg\" width=\"800\" height=\"400\">"
      "<rect x=\"0\" y=\"0\" width=\"400\" height=\"400\" style=\"fill:#ff0000\"/>"
      "<path style=\"stroke:#0000ff;stroke-width:3\" d=\"M 420 380 L 600 40 L 780 200\"/>"
      "<text x=\"600\" y=\"380\" text-anchor=\"middle\" style=\"fill:#000000;font-size:20\">Tachogram</text>"
      "</svg>";

class TempDir {
public:
    TempDir()
    {
        std::string pattern = (fs::temp_directory_path() / "plotsvg-XXXXXX").string();
        mPath = mkdtemp(pattern.data());
    }
    ~TempDir() { fs::remove_all(mPath); }
    fs::path operator/(const std::string& name) const { return mPath / name; }
    const fs::path& Path() const { return mPath; }

private:
    fs::path mPath;
};

std::string Shell(const std::string& command)
{
    std::string out;
    if (FILE* pipe = popen(command.c_str(), "r")) {
        char buffer[4096];
        while (std::size_t n = std::fread(buffer, 1, sizeof buffer, pipe))
            out.append(buffer, n);
        pclose(pipe);
    }
    return out;
}

std::string Collapse(std::string text)
{
    std::string out;
    for (char c : text)
        if (!(c == ' ' && !out.empty() && out.back() == ' '))
            out += c == '\n' ? ' ' : c;
    return out;
}

} // namespace

TEST(PlotPrinting, PictureFillsThePrintableAreaCentred)
{
    EXPECT_EQ(KEL::FitPicture(800, 400, 4800, 6600), (vx::ui::Rect { 0, 2100, 4800, 4500 }));
    EXPECT_EQ(KEL::FitPicture(400, 800, 4800, 6600), (vx::ui::Rect { 750, 0, 4050, 6600 }));
    EXPECT_TRUE(KEL::FitPicture(0, 0, 4800, 6600).IsEmpty());
}

// Headless, the print dialog chooses the file set for printing (none set: cancelled), and the
// plot prints there with the page the dialog kept.
TEST(PlotPrinting, HeadlessTheDialogChoosesThePrintFile)
{
    TempDir dir;
    KEL::PlotPrintDialog cancelled;
    vx::ui::SetPrintToFile({});
    EXPECT_FALSE(KEL::ChoosePlotPrinter(nullptr, cancelled));

    const std::string path = (dir / "chosen.pdf").string();
    vx::ui::SetPrintToFile(path);
    KEL::PlotPrintDialog dialog;
    dialog.page = { 1650, 1275 }; // landscape letter at 150 dpi
    dialog.deviceDpi = 150;
    dialog.title = L"Chosen";
    ASSERT_TRUE(KEL::ChoosePlotPrinter(nullptr, dialog));
    vx::ui::SetPrintToFile({});
    EXPECT_EQ(dialog.outputPath, path);
    EXPECT_EQ(dialog.target, nullptr);
    auto renderer = RenderPrintableSvg(kPlot, "", L"");
    ASSERT_TRUE(KEL::PrintPlotSvg(dialog, *renderer).printed);
    const std::string info = Shell("pdfinfo '" + path + "'");
    EXPECT_NE(info.find("792 x 612"), std::string::npos) << info;
}

TEST(PlotPrinting, OnePageWithTitleFootersAndThePlot)
{
    TempDir dir;
    for (int quality : { 300, 0, -4 }) { // 0 and below: the printer's own resolution
        KEL::PlotPrintDialog dialog;
        dialog.outputPath = (dir / ("plot" + std::to_string(quality + 10) + ".pdf")).string();
        dialog.page = { 1275, 1650 }; // US letter at 150 dpi
        dialog.deviceDpi = 150;
        dialog.printQuality = quality;
        dialog.title = L"RR intervals of subject 7";
        auto renderer = RenderPrintableSvg(kPlot, "", L"");
        const KEL::PlotPrintResult result = KEL::PrintPlotSvg(dialog, *renderer);
        ASSERT_TRUE(result.printed) << result.error;
        EXPECT_EQ(dialog.printer, nullptr);

        const std::string info = Shell("pdfinfo '" + dialog.outputPath + "'");
        const std::size_t pages = info.find("Pages:");
        ASSERT_NE(pages, std::string::npos) << info;
        EXPECT_EQ(std::stoi(info.substr(pages + 6)), 1) << info;
        const std::string text = Collapse(Shell("pdftotext -layout '" + dialog.outputPath + "' -"));
        EXPECT_NE(text.find("RR intervals of subject 7"), std::string::npos) << text;
        EXPECT_NE(text.find("Printed on "), std::string::npos) << text;
        EXPECT_NE(text.find("Page 1 of 1"), std::string::npos) << text;
        EXPECT_NE(text.find("Tachogram"), std::string::npos) << text; // the plot's own text

        // The plot's red half fills the left of the picture band in the middle of the page.
        const std::string png = (dir / "page").string();
        Shell("pdftoppm -r 50 -png -singlefile '" + dialog.outputPath + "' '" + png + "'");
        GdkPixbuf* page = gdk_pixbuf_new_from_file((png + ".png").c_str(), nullptr);
        ASSERT_NE(page, nullptr);
        const int w = gdk_pixbuf_get_width(page), h = gdk_pixbuf_get_height(page);
        const guchar* px = gdk_pixbuf_get_pixels(page);
        const int stride = gdk_pixbuf_get_rowstride(page), n = gdk_pixbuf_get_n_channels(page);
        const guchar* mid = px + (h / 2) * stride + (w / 4) * n;
        EXPECT_GT(mid[0], 200);
        EXPECT_LT(mid[1], 60);
        const guchar* top = px + (h / 5) * stride + (w / 4) * n; // above the band: white
        EXPECT_GT(top[1], 200);
        g_object_unref(page);
    }
}

// A print that fails says why and shows nothing itself: the one who asked for it reports it.
TEST(PlotPrinting, FailedPrintTellsWhyAndShowsNothing)
{
    const struct {
        const char* what;
        std::string svg;
        std::string path;
        const char* why;
    } cases[] = {
        { "a folder that does not exist", kPlot, "/nonexistent/folder/plot.pdf",
            "could not start the document \"Spectrum\" (/nonexistent/folder/plot.pdf)" },
        { "a device that takes no data", kPlot, "/dev/full", "could not finish the document (/dev/full)" },
        { "a picture the printable reader cannot read", "<svg><feGaussianBlur/></svg>",
            (fs::temp_directory_path() / "plotsvg-never.pdf").string(),
            "Printable SVG generated by this plot is invalid" },
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        KEL::PlotPrintDialog dialog;
        dialog.outputPath = c.path;
        dialog.title = L"Spectrum";
        vx::ui::TakeMessageBoxRequests();
        const KEL::PlotPrintResult result = KEL::PrintPlotFromSvg(c.svg, dialog);
        EXPECT_FALSE(result.printed);
        EXPECT_NE(result.error.find(c.why), std::string::npos) << result.error;
        EXPECT_TRUE(vx::ui::TakeMessageBoxRequests().empty());
        EXPECT_EQ(dialog.printer, nullptr);
    }
    EXPECT_FALSE(fs::exists(fs::temp_directory_path() / "plotsvg-never.pdf"));
}

TEST(PlotClipboard, CopyPutsPictureBesideSvgText)
{
    ASSERT_TRUE(KEL::CopyPlotSvgToClipboard(nullptr, kPlot));
    auto svg = vx::ui::GetClipboardData(KEL::SvgClipboardFormat());
    ASSERT_TRUE(svg);
    EXPECT_EQ(std::string(svg->begin(), svg->end()), kPlot);
    auto picture = vx::ui::GetClipboardData(vx::ui::CF_ENHMETAFILE);
    ASSERT_TRUE(picture);
    ASSERT_GT(picture->size(), 4u);
    EXPECT_EQ(std::string(picture->begin(), picture->begin() + 4), "%PDF");
    TempDir dir;
    const fs::path pdf = dir / "copy.pdf";
    std::ofstream(pdf, std::ios::binary)
        .write(reinterpret_cast<const char*>(picture->data()), std::streamsize(picture->size()));
    EXPECT_NE(Shell("pdftotext '" + pdf.string() + "' -").find("Tachogram"), std::string::npos);

    // Other applications get the picture as PNG: the SVG's size, its red half red, the rest
    // laid onto white.
    auto png = vx::ui::GetClipboardData(KEL::PngClipboardFormat());
    ASSERT_TRUE(png);
    GdkPixbufLoader* loader = gdk_pixbuf_loader_new_with_type("png", nullptr);
    ASSERT_TRUE(gdk_pixbuf_loader_write(loader, png->data(), png->size(), nullptr));
    ASSERT_TRUE(gdk_pixbuf_loader_close(loader, nullptr));
    GdkPixbuf* bitmap = gdk_pixbuf_loader_get_pixbuf(loader);
    ASSERT_NE(bitmap, nullptr);
    EXPECT_EQ(gdk_pixbuf_get_width(bitmap), 800);
    EXPECT_EQ(gdk_pixbuf_get_height(bitmap), 400);
    const guchar* px = gdk_pixbuf_get_pixels(bitmap);
    const int stride = gdk_pixbuf_get_rowstride(bitmap), n = gdk_pixbuf_get_n_channels(bitmap);
    const guchar* red = px + 200 * stride + 200 * n;
    EXPECT_GT(red[0], 200);
    EXPECT_LT(red[1], 60);
    const guchar* white = px + 20 * stride + 500 * n;
    EXPECT_GT(white[0], 240);
    EXPECT_GT(white[1], 240);
    EXPECT_GT(white[2], 240);
    if (n == 4) {
        EXPECT_EQ(white[3], 255);
    }
    g_object_unref(loader);

    // A bad picture leaves the clipboard as it was.
    vx::ui::SetClipboardText(L"kept");
    vx::ui::TakeMessageBoxRequests();
    EXPECT_FALSE(KEL::CopyPlotSvgToClipboard(nullptr, "<svg><clipPath id=\"c\"><g/></clipPath></svg>"));
    EXPECT_EQ(vx::ui::GetClipboardText(), L"kept");
    EXPECT_EQ(vx::ui::TakeMessageBoxRequests().size(), 1u);
}

TEST(PlotImageExport, EveryFormatIsWrittenAndReadsBackAtItsSize)
{
    TempDir dir;
    for (const char* name : { "plot.png", "plot.jpg", "plot.jpeg", "plot.gif", "plot.tif", "plot.tiff" }) {
        const fs::path path = dir / name;
        // A red square on a transparent picture: JPEG and GIF show the transparency as white.
        const std::string svg = "<svg width=\"120\" height=\"60\"><rect x=\"0\" y=\"0\" width=\"30\" height=\"30\" "
                                "style=\"fill:#ff0000\"/></svg>";
        auto renderer = RenderPrintableSvg(svg, "", path.wstring());
        const KEL::ImageExportResult result = renderer->ExportImage();
        ASSERT_TRUE(result.saved) << name << ": " << result.error;
        GError* error = nullptr;
        GdkPixbuf* image = gdk_pixbuf_new_from_file(path.c_str(), &error);
        ASSERT_NE(image, nullptr) << name << ": " << (error ? error->message : "");
        EXPECT_EQ(gdk_pixbuf_get_width(image), 120) << name;
        EXPECT_EQ(gdk_pixbuf_get_height(image), 60) << name;
        const guchar* px = gdk_pixbuf_get_pixels(image);
        const int stride = gdk_pixbuf_get_rowstride(image), n = gdk_pixbuf_get_n_channels(image);
        const guchar* red = px + 15 * stride + 15 * n;
        EXPECT_GT(red[0], 230) << name;
        EXPECT_LT(red[1], 30) << name;
        const guchar* empty = px + 45 * stride + 90 * n;
        const std::string type = fs::path(name).extension().string();
        if (type == ".jpg" || type == ".jpeg" || type == ".gif") {
            EXPECT_GT(empty[0], 240) << name;
            EXPECT_GT(empty[1], 240) << name;
        } else {
            ASSERT_EQ(n, 4) << name;
            EXPECT_EQ(empty[3], 0) << name;
        }
        g_object_unref(image);
    }
    // Nothing but the images is left in the folder.
    EXPECT_EQ(std::distance(fs::directory_iterator(dir.Path()), fs::directory_iterator()), 6);
}

TEST(PlotImageExport, RefusalsAreReportedAndLeaveNoFile)
{
    TempDir dir;
    const std::string svg = "<svg width=\"20\" height=\"10\"/>";
    // Extensions are matched exactly as listed: upper case is not an image type here.
    auto upper = RenderPrintableSvg(svg, "", (dir / "plot.PNG").wstring());
    const KEL::ImageExportResult unknown = upper->ExportImage();
    EXPECT_FALSE(unknown.saved);
    EXPECT_NE(unknown.error.find("is not a known image type"), std::string::npos) << unknown.error;
    EXPECT_FALSE(RenderPrintableSvg(svg, "", (dir / "plot").wstring())->ExportImage().saved);
    EXPECT_FALSE(RenderPrintableSvg(svg, "", L"")->ExportImage().saved);

    struct Case {
        std::string svg;
        std::wstring name;
        const char* message;
    };
    const Case cases[] = {
        { svg, L"plot.emf", ".emf" },
        { svg, L"plot.EMF", ".emf" },
        { "<svg width=\"0\" height=\"10\"/>", L"plot.png", "cannot be saved as an image" },
        { "<svg width=\"-5\" height=\"10\"/>", L"plot.png", "cannot be saved as an image" },
        { "<svg/>", L"plot.png", "cannot be saved as an image" },
        { "<svg width=\"100000\" height=\"100000\"/>", L"plot.png", "cannot be saved as an image" },
    };
    for (const Case& c : cases) {
        try {
            RenderPrintableSvg(c.svg, "", (dir.Path() / c.name).wstring());
            ADD_FAILURE() << c.svg;
        } catch (const std::runtime_error& e) {
            EXPECT_NE(std::string(e.what()).find(c.message), std::string::npos) << e.what();
        }
    }

    // A file that cannot be written: the error names it; no temporary file stays behind and an
    // earlier file of that name is untouched.
    EXPECT_FALSE(RenderPrintableSvg(svg, "", L"/nonexistent/folder/plot.png")->ExportImage().saved);
    fs::create_directory(dir / "taken.png");
    const KEL::ImageExportResult blocked = RenderPrintableSvg(svg, "", (dir / "taken.png").wstring())->ExportImage();
    EXPECT_FALSE(blocked.saved);
    EXPECT_NE(blocked.error.find("taken.png\" cannot be written"), std::string::npos) << blocked.error;
    EXPECT_TRUE(fs::is_directory(dir / "taken.png"));
    EXPECT_EQ(std::distance(fs::directory_iterator(dir.Path()), fs::directory_iterator()), 1);
}
