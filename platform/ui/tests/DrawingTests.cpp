// Drawing: regions, raster contexts (pixel probes), recordings and the PDF printer.
#include <gtest/gtest.h>

#include <cstdio>
#include <filesystem>
#include <fstream>

#include <cairo.h>

#include "ui/Desktop.h"
#include "ui/Gdi.h"

using namespace vx::ui;

namespace {

constexpr Colour kRed = Colour::Rgb(255, 0, 0);
constexpr Colour kBlue = Colour::Rgb(0, 0, 255);
constexpr Colour kWhite = Colour::Rgb(255, 255, 255);
constexpr Colour kBlack {};

BitmapPtr White(int w, int h)
{
    BitmapPtr b = Bitmap::Create(w, h);
    DC dc(b);
    dc.FillSolidRect({ 0, 0, w, h }, kWhite);
    dc.Flush();
    return b;
}

int CountColour(const Bitmap& b, Colour c, Rect area)
{
    int n = 0;
    for (int y = area.top; y < area.bottom; ++y)
        for (int x = area.left; x < area.right; ++x)
            n += b.Pixel(x, y) == c;
    return n;
}

TEST(Regions, CombiningGivesTheExpectedAreas)
{
    const Region a(Rect { 0, 0, 10, 10 }), b(Rect { 5, 5, 15, 15 });
    struct Case {
        RegionOp op;
        std::vector<Point> inside, outside;
    };
    const Case cases[] = {
        { RegionOp::And, { { 5, 5 }, { 9, 9 } }, { { 4, 4 }, { 10, 10 } } },
        { RegionOp::Or, { { 0, 0 }, { 14, 14 }, { 7, 7 } }, { { 14, 0 }, { 0, 14 } } },
        { RegionOp::Diff, { { 0, 0 }, { 9, 4 } }, { { 5, 5 }, { 12, 12 } } },
        { RegionOp::Xor, { { 0, 0 }, { 14, 14 } }, { { 7, 7 }, { 14, 0 } } },
    };
    for (const Case& c : cases) {
        const Region r = Region::Combine(a, b, c.op);
        for (Point p : c.inside)
            EXPECT_TRUE(r.Contains(p)) << int(c.op) << " " << p.x << "," << p.y;
        for (Point p : c.outside)
            EXPECT_FALSE(r.Contains(p)) << int(c.op) << " " << p.x << "," << p.y;
    }
    // Equal areas give equal rectangle lists, however they were built.
    const Region split = Region::Combine(Region(Rect { 0, 0, 10, 5 }), Region(Rect { 0, 5, 10, 10 }), RegionOp::Or);
    EXPECT_EQ(split, a);
    EXPECT_EQ(split.Rects().size(), 1u);
    EXPECT_TRUE(Region::Combine(a, a, RegionOp::Diff).IsEmpty());
    EXPECT_EQ(Region::Combine(a, b, RegionOp::Or).Bounds(), (Rect { 0, 0, 15, 15 }));
}

TEST(Regions, PolygonsAndRoundedRectanglesCoverPixelCentres)
{
    // A right triangle: row y holds the pixels whose centre is left of the hypotenuse.
    const Region tri = Region::Polygon({ { 0, 0 }, { 10, 10 }, { 0, 10 } });
    EXPECT_TRUE(tri.Contains({ 0, 9 }));
    EXPECT_TRUE(tri.Contains({ 5, 9 }));
    EXPECT_FALSE(tri.Contains({ 9, 0 }));
    EXPECT_FALSE(tri.Contains({ 0, 10 }));
    EXPECT_TRUE(Region::Polygon({ { 0, 0 }, { 5, 5 } }).IsEmpty());
    // A self-overlapping star differs between the two fill modes in its middle.
    const std::vector<Point> twice
        = { { 0, 0 }, { 20, 0 }, { 20, 20 }, { 0, 20 }, { 0, 0 }, { 20, 0 }, { 20, 20 }, { 0, 20 } };
    EXPECT_FALSE(Region::Polygon(twice, FillMode::Alternate).Contains({ 10, 10 }));
    EXPECT_TRUE(Region::Polygon(twice, FillMode::Winding).Contains({ 10, 10 }));

    const Region round = Region::RoundRect({ 0, 0, 40, 20 }, 10, 10);
    EXPECT_FALSE(round.Contains({ 0, 0 }));
    EXPECT_FALSE(round.Contains({ 39, 19 }));
    EXPECT_TRUE(round.Contains({ 20, 0 }));
    EXPECT_TRUE(round.Contains({ 0, 10 }));
    EXPECT_EQ(round.Bounds(), (Rect { 0, 0, 40, 20 }));
}

TEST(RasterDrawing, LinesLeaveOutTheirLastPixelAndShapesDrawInsideTheirRectangle)
{
    BitmapPtr b = White(20, 20);
    DC dc(b);
    dc.SelectPen(Pen::Solid(kRed));
    dc.MoveTo({ 2, 2 });
    dc.LineTo({ 8, 2 });
    dc.Flush();
    EXPECT_EQ(b->Pixel(2, 2), kRed);
    EXPECT_EQ(b->Pixel(7, 2), kRed);
    EXPECT_EQ(b->Pixel(8, 2), kWhite);
    EXPECT_EQ(dc.GetCurrentPosition(), (Point { 8, 2 }));

    dc.SelectBrush(Brush::Solid(kBlue));
    dc.Rectangle({ 10, 10, 15, 15 });
    dc.Flush();
    EXPECT_EQ(b->Pixel(10, 10), kRed); // outline
    EXPECT_EQ(b->Pixel(14, 14), kRed);
    EXPECT_EQ(b->Pixel(12, 12), kBlue); // interior
    EXPECT_EQ(b->Pixel(15, 15), kWhite); // right and bottom are exclusive

    // An alternate pen draws every other pixel.
    dc.SelectPen({ PS_ALTERNATE, 1, kBlack, false, PS_ENDCAP_ROUND });
    dc.MoveTo({ 0, 18 });
    dc.LineTo({ 10, 18 });
    dc.Flush();
    EXPECT_EQ(CountColour(*b, kBlack, { 0, 18, 10, 19 }), 5);
    EXPECT_EQ(b->Pixel(1, 18), kWhite);
}

TEST(RasterDrawing, OriginsClippingAndPatternsMoveWhatIsDrawn)
{
    BitmapPtr b = White(30, 30);
    DC dc(b);
    dc.SetViewportOrg({ 10, 10 });
    dc.FillSolidRect({ 0, 0, 5, 5 }, kRed);
    dc.Flush();
    EXPECT_EQ(b->Pixel(10, 10), kRed);
    EXPECT_EQ(b->Pixel(9, 9), kWhite);
    EXPECT_EQ(dc.GetPixel({ 0, 0 }), kRed);

    dc.SetViewportOrg({ 0, 0 });
    dc.SelectClipRegion(
        Region::Combine(Region(Rect { 0, 20, 30, 30 }), Region(Rect { 10, 20, 20, 30 }), RegionOp::Diff));
    dc.FillSolidRect({ 0, 20, 30, 30 }, kBlue);
    dc.Flush();
    EXPECT_EQ(b->Pixel(5, 25), kBlue);
    EXPECT_EQ(b->Pixel(15, 25), kWhite);
    EXPECT_EQ(dc.GetPixel({ 15, 25 }).value, CLR_INVALID);
    dc.SelectClipRegion(std::nullopt);

    // A pattern brush tiles from the brush origin.
    BitmapPtr tile = Bitmap::Create(2, 1);
    {
        DC t(tile);
        t.SetPixel({ 0, 0 }, kRed);
        t.SetPixel({ 1, 0 }, kBlue);
    }
    dc.SetBrushOrg({ 1, 0 });
    dc.FillRect({ 0, 0, 4, 1 }, Brush::Pattern(tile));
    dc.Flush();
    EXPECT_EQ(b->Pixel(0, 0), kBlue);
    EXPECT_EQ(b->Pixel(1, 0), kRed);
    EXPECT_EQ(b->Pixel(2, 0), kBlue);
}

TEST(RasterDrawing, AnisotropicMappingScalesLogicalUnits)
{
    BitmapPtr b = White(40, 40);
    DC dc(b);
    dc.SetMapMode(MM_ANISOTROPIC);
    dc.SetWindowExt({ 100, 100 });
    dc.SetViewportExt({ 20, 20 });
    dc.FillSolidRect({ 0, 0, 100, 50 }, kRed);
    dc.Flush();
    EXPECT_EQ(b->Pixel(19, 9), kRed);
    EXPECT_EQ(b->Pixel(19, 10), kWhite);
    EXPECT_EQ(b->Pixel(20, 0), kWhite);
    EXPECT_EQ(dc.LogicalToDevice({ 100, 50 }), (Point { 20, 10 }));
}

TEST(RasterDrawing, BlitsCopyStampBlendAndKeyColours)
{
    BitmapPtr src = White(4, 4);
    {
        DC s(src);
        s.FillSolidRect({ 0, 0, 2, 4 }, kRed);
    }
    BitmapPtr b = White(10, 10);
    DC dc(b);
    ASSERT_TRUE(dc.BitBlt({ 5, 5, 9, 9 }, src, { 0, 0 }));
    dc.Flush();
    EXPECT_EQ(b->Pixel(5, 5), kRed);
    EXPECT_EQ(b->Pixel(7, 5), kWhite);

    // A monochrome stamp: the brush where the mask is black, the target where it is white.
    BitmapPtr mask = Bitmap::Create(4, 1, true);
    mask->SetArgb(2, 0, 0xFFFFFFFFu);
    mask->SetArgb(3, 0, 0xFFFFFFFFu);
    mask->MarkDirty();
    dc.SelectBrush(Brush::Solid(kBlue));
    ASSERT_TRUE(dc.BitBlt({ 0, 0, 4, 1 }, mask, { 0, 0 }, ROP_PSDPXAX));
    dc.Flush();
    EXPECT_EQ(b->Pixel(0, 0), kBlue);
    EXPECT_EQ(b->Pixel(1, 0), kBlue);
    EXPECT_EQ(b->Pixel(2, 0), kWhite);

    // Constant alpha of half over black gives mid grey; the key colour leaves the target alone.
    BitmapPtr black = Bitmap::Create(2, 2);
    {
        DC s(black);
        s.FillSolidRect({ 0, 0, 2, 2 }, kBlack);
    }
    ASSERT_TRUE(dc.AlphaBlend({ 0, 8, 2, 10 }, black, { 0, 0, 2, 2 }, 128, false));
    dc.Flush();
    EXPECT_NEAR(b->Pixel(0, 8).Red(), 127, 2);
    ASSERT_TRUE(dc.TransparentBlt({ 5, 0, 9, 4 }, src, { 0, 0, 4, 4 }, kWhite));
    dc.Flush();
    EXPECT_EQ(b->Pixel(5, 0), kRed);
    EXPECT_EQ(b->Pixel(8, 0), kWhite);
    EXPECT_FALSE(dc.AlphaBlend({ 0, 0, 1, 1 }, black, { 0, 0, 1, 1 }, 300, true));
}

TEST(Text, AlignmentPlacesTheInkAroundTheReferencePoint)
{
    struct Case {
        UINT align;
        Rect inkArea; // where the ink must lie
    };
    const Case cases[] = {
        { TA_LEFT | TA_TOP, { 50, 30, 120, 60 } },
        { TA_RIGHT | TA_TOP, { 0, 30, 51, 60 } },
        { TA_CENTER | TA_BOTTOM, { 20, 0, 81, 31 } },
    };
    for (const Case& c : cases) {
        BitmapPtr b = White(120, 60);
        DC dc(b);
        dc.SetBkMode(TRANSPARENT);
        dc.SelectFont(Font::OfHeight(-14));
        dc.SetTextAlign(c.align);
        dc.TextOut({ 50, 30 }, L"Mmmm");
        dc.Flush();
        const int all = 120 * 60 - CountColour(*b, kWhite, { 0, 0, 120, 60 });
        EXPECT_GT(all, 20) << c.align;
        EXPECT_EQ(120 * 60 - CountColour(*b, kWhite, { 0, 0, 120, 60 })
                - (c.inkArea.Width() * c.inkArea.Height() - CountColour(*b, kWhite, c.inkArea)),
            0)
            << "ink outside the expected area for alignment " << c.align;
    }
}

TEST(Text, MeasuringFollowsTheFontAndDrawTextWrapsAndCalculates)
{
    DC dc(nullptr);
    dc.SelectFont(Font::OfHeight(-10));
    const Size small = dc.GetTextExtent(L"Sample");
    dc.SelectFont(Font::OfHeight(-20));
    const Size large = dc.GetTextExtent(L"Sample");
    EXPECT_GT(small.cx, 0);
    EXPECT_NEAR(large.cx, 2 * small.cx, 3);
    EXPECT_GT(dc.GetTextMetrics().height, 20);
    EXPECT_EQ(dc.GetTextExtent(L"&Open").cx, dc.GetTextExtent(L"&Open").cx);

    Rect one { 0, 0, 1000, 0 };
    dc.DrawText(L"a few words of text", one, DT_CALCRECT | DT_WORDBREAK);
    Rect narrow { 0, 0, 40, 0 };
    dc.DrawText(L"a few words of text", narrow, DT_CALCRECT | DT_WORDBREAK);
    EXPECT_GT(narrow.Height(), 2 * one.Height());
    // Mnemonic markers are not drawn unless DT_NOPREFIX asks for the text as it stands.
    Rect prefixed { 0, 0, 1000, 0 }, plain { 0, 0, 1000, 0 };
    dc.DrawText(L"&Open", prefixed, DT_CALCRECT | DT_SINGLELINE);
    dc.DrawText(L"Open", plain, DT_CALCRECT | DT_SINGLELINE);
    EXPECT_EQ(prefixed.Width(), plain.Width());
}

TEST(Recording, KeepsCommandsInOrderAndPlaysThemIntoARasterContext)
{
    auto rec = DC::CreateRecording({ 20, 20 });
    rec->SelectPen(Pen::Solid(kRed));
    rec->SelectBrush(Brush::Solid(kBlue));
    rec->Rectangle({ 2, 2, 10, 10 });
    rec->MoveTo({ 0, 15 });
    rec->LineTo({ 20, 15 });
    rec->TextOut({ 12, 1 }, L"x");
    const std::vector<std::string> expected = { "Pen #ff0000 w0", "Brush #0000ff", "Rectangle 2,2,10,10", "MoveTo 0,15",
        "LineTo 20,15", "TextOut 12,1 \"x\"" };
    EXPECT_EQ(rec->DescribeCommands(), expected);
    EXPECT_EQ(rec->GetDeviceCaps(TECHNOLOGY), DT_METAFILE);

    BitmapPtr b = White(20, 20);
    DC dc(b);
    DC::Play(rec->Commands(), dc);
    dc.Flush();
    EXPECT_EQ(b->Pixel(2, 2), kRed);
    EXPECT_EQ(b->Pixel(5, 5), kBlue);
    EXPECT_EQ(b->Pixel(19, 15), kRed);
}

TEST(Recording, SaveAndRestoreBringBackTheState)
{
    DC dc(White(4, 4));
    dc.SetTextColor(kRed);
    dc.SetViewportOrg({ 3, 3 });
    const int saved = dc.SaveDC();
    dc.SetTextColor(kBlue);
    dc.SetViewportOrg({ 0, 0 });
    dc.IntersectClipRect({ 0, 0, 1, 1 });
    EXPECT_TRUE(dc.RestoreDC(saved));
    EXPECT_EQ(dc.GetTextColor(), kRed);
    EXPECT_EQ(dc.GetViewportOrg(), (Point { 3, 3 }));
    EXPECT_FALSE(dc.GetClipRegion().has_value());
    EXPECT_FALSE(dc.RestoreDC(saved));
}

TEST(Images, PngRoundTripsAndSvgRasterisesAtTheAskedSize)
{
    BitmapPtr b = White(3, 2);
    b->SetArgb(1, 1, 0xFFFF0000u);
    b->MarkDirty();
    const auto png = b->EncodePng();
    BitmapPtr back = Bitmap::FromPng(png);
    ASSERT_TRUE(back);
    EXPECT_EQ(back->GetSize(), (Size { 3, 2 }));
    EXPECT_EQ(back->Pixel(1, 1), kRed);
    EXPECT_FALSE(Bitmap::FromPng(std::vector<std::uint8_t>(png.begin(), png.begin() + 20)));

    const std::string svg = R"(<svg xmlns="http://www.w3.org/2000/svg" viewBox="0 0 10 10">)"
                            R"(<rect x="0" y="0" width="5" height="10" fill="#ff0000"/></svg>)";
    const std::span<const std::uint8_t> bytes(reinterpret_cast<const std::uint8_t*>(svg.data()), svg.size());
    for (int side : { 24, 36 }) {
        BitmapPtr s = Bitmap::FromSvg(bytes, side, side);
        ASSERT_TRUE(s);
        EXPECT_EQ(s->GetSize(), (Size { side, side }));
        EXPECT_EQ(s->Pixel(1, side / 2), kRed);
        EXPECT_EQ(s->Alpha(side - 2, side / 2), 0);
    }
    EXPECT_FALSE(Bitmap::FromSvg(bytes, 0, 0));
    const std::string junk = "<svg";
    EXPECT_FALSE(Bitmap::FromSvg({ reinterpret_cast<const std::uint8_t*>(junk.data()), junk.size() }, 8, 8));
}

TEST(Printer, WritesAPdfWithOnePagePerPage)
{
    const auto path = std::filesystem::temp_directory_path() / ("vx_printer_" + std::to_string(::getpid()) + ".pdf");
    {
        PrinterDC printer(path.string(), { 2480, 3508 }, 300);
        EXPECT_EQ(printer.GetDeviceCaps(TECHNOLOGY), DT_RASPRINTER);
        EXPECT_EQ(printer.GetDeviceCaps(LOGPIXELSY), 300);
        ASSERT_TRUE(printer.StartDoc(L"Report"));
        for (int page = 0; page < 2; ++page) {
            ASSERT_TRUE(printer.StartPage());
            printer.TextOut({ 300, 300 }, L"Page");
            printer.Rectangle({ 300, 400, 1000, 800 });
            ASSERT_TRUE(printer.EndPage());
        }
        ASSERT_TRUE(printer.EndDoc());
        EXPECT_EQ(printer.PagesWritten(), 2);
    }
    std::ifstream in(path, std::ios::binary);
    const std::string pdf((std::istreambuf_iterator<char>(in)), {});
    EXPECT_EQ(pdf.rfind("%PDF", 0), 0u);
    EXPECT_NE(pdf.find("/Count 2"), std::string::npos);
    std::filesystem::remove(path);

    PrinterDC nowhere("/nonexistent-folder/x.pdf", { 100, 100 });
    EXPECT_FALSE(nowhere.StartDoc(L"x"));

    // A file that takes nothing (a full disk) fails the document when it ends.
    PrinterDC full("/dev/full", { 100, 100 });
    ASSERT_TRUE(full.StartDoc(L"x"));
    ASSERT_TRUE(full.StartPage());
    full.Rectangle({ 10, 10, 90, 90 });
    full.EndPage();
    EXPECT_FALSE(full.EndDoc());
}

TEST(Helpers, MulDivRoundsHalfAwayFromZeroAndReportsOverflow)
{
    struct Case {
        int a, b, c, expected;
    };
    const Case cases[] = { { 10, 96, 72, 13 }, { 3, 1, 2, 2 }, { -3, 1, 2, -2 }, { 3, -1, 2, -2 }, { 5, 1, 0, -1 },
        { 0x7FFFFFFF, 2, 1, -1 }, { 1, 1, 3, 0 }, { 2, 1, 3, 1 } };
    for (const Case& c : cases)
        EXPECT_EQ(MulDiv(c.a, c.b, c.c), c.expected) << c.a << "*" << c.b << "/" << c.c;
}

TEST(Helpers, SystemColoursAreReplaceableAndResettable)
{
    const Colour face = GetSysColor(COLOR_BTNFACE);
    const std::pair<int, Colour> change[] = { { COLOR_BTNFACE, kRed }, { 99, kBlue } };
    SetSysColors(change);
    EXPECT_EQ(GetSysColor(COLOR_BTNFACE), kRed);
    EXPECT_EQ(GetSysColor(99), Colour {});
    ResetSysColors();
    EXPECT_EQ(GetSysColor(COLOR_BTNFACE), face);
}

} // namespace

namespace {

TEST(Printing, AJobGoesToTheChosenFileOrIsCancelledAndPagesCanDrawThroughACairoTransform)
{
    PrintJob job;
    job.title = L"Report";
    job.pages = 3;
    job.pageSize = { 600, 800 };
    job.dpi = 72;
    std::vector<int> drawn;
    job.drawPage = [&](DC& dc, int page) {
        drawn.push_back(page);
        dc.TextOut({ 50, 50 }, L"Page " + std::to_wstring(page + 1));
    };
    EXPECT_FALSE(Print(job)); // nowhere to print: cancelled
    EXPECT_TRUE(drawn.empty());
    const auto path = std::filesystem::temp_directory_path() / ("vx_job_" + std::to_string(::getpid()) + ".pdf");
    SetPrintToFile(path.string());
    EXPECT_TRUE(Print(job));
    SetPrintToFile({});
    EXPECT_EQ(drawn, (std::vector<int> { 0, 1, 2 }));
    std::ifstream in(path, std::ios::binary);
    const std::string pdf((std::istreambuf_iterator<char>(in)), {});
    EXPECT_NE(pdf.find("/Count 3"), std::string::npos);
    std::filesystem::remove(path);

    // A page context keeps the transformation its cairo context had (points per printer pixel).
    BitmapPtr page = Bitmap::Create(40, 40);
    cairo_t* cr = cairo_create(page->Surface());
    cairo_scale(cr, 2, 2);
    {
        auto dc = DC::OverCairo(cr, DeviceCaps { DT_RASPRINTER, 24, 144, 144, {} }, { 20, 20 });
        EXPECT_EQ(dc->GetDeviceCaps(TECHNOLOGY), DT_RASPRINTER);
        dc->FillSolidRect({ 5, 5, 10, 10 }, kRed);
        dc->Flush();
    }
    cairo_destroy(cr);
    EXPECT_EQ(page->Pixel(12, 12), kRed);
    EXPECT_EQ(page->Pixel(19, 19), kRed);
    EXPECT_EQ(page->Alpha(8, 8), 0);
    EXPECT_EQ(page->Alpha(21, 21), 0);
}

} // namespace
