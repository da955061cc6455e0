#include <gtest/gtest.h>

#include <string>

#include "controls/ResourceBitmap.h"
#include "ui/Resources.h"

using namespace vx::ui;

namespace {

HMODULE Module()
{
    static const int anchor = 0;
    return vx::res::ModuleOf(&anchor);
}

// The images are compiled into this test program (controls/tests/data): 501 only a PNG, 502 an
// SVG, 503 an SVG that cannot be drawn.
class ResourceBitmaps : public testing::Test { };

TEST_F(ResourceBitmaps, SvgIsRasterisedAtExactlyTheAskedSize)
{
    TGdiPlusBitmapSVGResource svg;
    for (int side : { 24, 36 }) {
        ASSERT_TRUE(svg.Load(MAKEINTRESOURCEW(502), side, side, Module()));
        ASSERT_TRUE(svg.GetBitmap());
        EXPECT_EQ(svg.GetBitmap()->GetSize(), (Size { side, side }));
        EXPECT_EQ(svg.GetBitmap()->Pixel(side / 2, side / 2), Colour::Rgb(0, 0, 255));
    }
}

TEST_F(ResourceBitmaps, EveryFailureHoldsNoBitmapSoThePngFallBackRuns)
{
    struct Case {
        WORD id;
        int width, height;
    };
    const Case cases[] = { { 502, 0, 0 }, { 502, -4, 16 }, { 501, 16, 16 }, { 503, 16, 16 }, { 999, 16, 16 } };
    for (const Case& c : cases) {
        TGdiPlusBitmapSVGResource svg;
        ASSERT_TRUE(svg.Load(MAKEINTRESOURCEW(502), 8, 8, Module())); // something held before
        EXPECT_FALSE(svg.Load(MAKEINTRESOURCEW(c.id), c.width, c.height, Module())) << c.id << " " << c.width;
        EXPECT_FALSE(svg.GetBitmap()) << c.id;
    }
    // The id with only a PNG fails as SVG and succeeds as PNG.
    TGdiPlusBitmapResource png;
    ASSERT_TRUE(png.Load(MAKEINTRESOURCEW(501), Module()));
    EXPECT_EQ(png.GetBitmap()->GetSize(), (Size { 5, 3 }));
    EXPECT_EQ(png.GetBitmap()->Pixel(0, 0), Colour::Rgb(0, 255, 0));
    EXPECT_FALSE(png.Load(MAKEINTRESOURCEW(502), Module()));
    EXPECT_FALSE(png.GetBitmap());
}

} // namespace
