// Translucent fills (band shading, drop shadows, the readout's backing) come out the same in
// every picture the plot leaves the program as: the recorded picture played into PNG and PDF,
// and the bitmap of an image file.
#include <gtest/gtest.h>

#include <filesystem>

#include "plotcontrol/svg/PlotOutput.h"

namespace {

using KEL::RenderPrintableSvg;
namespace ui = vx::ui;

// A quarter-opaque blue band over white, and inside a clip path as the plot draws it.
const std::string kBands
    = "<svg xmlns=\"http://www.w3.org/2000/svg\" width=\"200\" height=\"100\">"
      "<rect x=\"0\" y=\"0\" width=\"200\" height=\"100\" style=\"fill:#ffffff;fill-opacity:1\"/>"
      "<rect x=\"10\" y=\"10\" width=\"40\" height=\"80\" style=\"fill:#0000ff;fill-opacity:0.251\"/>"
      "<clipPath id=\"c\"><rect x=\"100\" y=\"0\" width=\"100\" height=\"100\"/></clipPath>"
      "<g clip-path=\"url(#c)\"><rect x=\"90\" y=\"10\" width=\"60\" height=\"80\" "
      "style=\"fill:#00ff00;fill-opacity:0.5\"/></g>"
      "</svg>";

void ExpectBands(const ui::Bitmap& image, const char* where)
{
    SCOPED_TRACE(where);
    const auto near = [](ui::Colour c, int r, int g, int b) {
        return std::abs(c.Red() - r) <= 3 && std::abs(c.Green() - g) <= 3 && std::abs(c.Blue() - b) <= 3;
    };
    const ui::Colour blue = image.Pixel(30, 50), green = image.Pixel(120, 50), clipped = image.Pixel(95, 50);
    EXPECT_TRUE(near(blue, 191, 191, 255)) << std::hex << blue.value;
    EXPECT_TRUE(near(green, 127, 255, 127)) << std::hex << green.value;
    EXPECT_TRUE(near(clipped, 255, 255, 255)) << std::hex << clipped.value;
}

TEST(TranslucentFills, AreBlendedInTheRecordedPictureAndInTheBitmap)
{
    auto recorded = RenderPrintableSvg(kBands, {}, {})->GetMetafileHandle();
    ASSERT_TRUE(recorded);
    const auto png = KEL::MetafileToPng(*recorded);
    auto played = ui::Bitmap::FromPng(png);
    ASSERT_TRUE(played);
    ExpectBands(*played, "played into PNG");

    const std::wstring file = (std::filesystem::temp_directory_path() / "translucent_fills.png").wstring();
    auto drawn = RenderPrintableSvg(kBands, {}, file);
    ASSERT_TRUE(drawn->GetBitmap());
    ExpectBands(*drawn->GetBitmap(), "drawn into the bitmap");
}

} // namespace
