#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "foundation/XKEL.h"
#include "log/Log.h"
#include "tracedraw/ScreenBitMapDC.h"

using namespace vx::ui;

namespace {

TEST(ScreenBitMapDCs, HoldABitmapOnlyForPositiveSizesAndReportFailure)
{
    ScreenBitMapDC none(0, 30);
    EXPECT_FALSE(none.HasBitmap());
    ScreenBitMapDC layer(40, 30);
    ASSERT_TRUE(layer.HasBitmap());
    EXPECT_EQ(layer.GetBitmap()->GetSize(), (Size { 40, 30 }));
    layer.FillSolidRect({ 0, 0, 1, 1 }, Colour::Rgb(9, 9, 9));
    layer.Flush();
    EXPECT_EQ(layer.GetBitmap()->Pixel(0, 0), Colour::Rgb(9, 9, 9));
    try {
        ScreenBitMapDC huge(1 << 20, 10);
        FAIL() << "a bitmap that cannot be made must raise";
    } catch (const XKEL& e) {
        EXPECT_EQ(static_cast<DWORD>(e.GetHResult()), 0x80070008u);
        EXPECT_NE(std::string(e.what()).find("ScreenBitMapDC:: ctor fail"), std::string::npos);
    }
}

TEST(ScreenBitMapDCs, AResizeThatCannotGetABitmapLeavesTheLayerUnbufferedWithOneLine)
{
    std::vector<std::string> lines;
    auto previous = vx::log::SetSink([&](std::string_view line) { lines.emplace_back(line); });
    auto layer = VarnDraw::MakeLayerBitmap(1 << 20, 100);
    vx::log::SetSink(previous);
    EXPECT_FALSE(layer);
    const auto mine = std::count_if(
        lines.begin(), lines.end(), [](const std::string& l) { return l.find("unbuffered") != std::string::npos; });
    EXPECT_EQ(mine, 1);
    EXPECT_TRUE(VarnDraw::MakeLayerBitmap(10, 10));
}

TEST(PreTrigger, PatternWidthIsTheHeightRoundedUpToTwenty)
{
    struct Case {
        int height, width;
    };
    for (const Case& c : { Case { 1, 20 }, Case { 20, 20 }, Case { 21, 40 }, Case { 57, 60 } }) {
        VarnDraw::DrawPreTriggerBackground hatch;
        hatch.SetHeight(0, c.height);
        EXPECT_EQ(hatch.PatternWidth(), c.width) << c.height;
        ASSERT_TRUE(hatch.Pattern());
        EXPECT_TRUE(hatch.Pattern()->IsMonochrome());
    }
}

// The hatch over a strip: which columns of row `y` carry the hatch colour.
std::vector<bool> HatchedRow(std::int64_t origin, int y)
{
    VarnDraw::DrawPreTriggerBackground hatch;
    hatch.SetHeight(0, 30);
    BitmapPtr strip = Bitmap::Create(100, 30);
    DC dc(strip);
    dc.FillSolidRect({ 0, 0, 100, 30 }, Colour::Rgb(255, 255, 255));
    EXPECT_EQ(hatch.Paint(dc, origin, 0, 100), 0);
    dc.Flush();
    std::vector<bool> row;
    for (int x = 0; x < 100; ++x)
        row.push_back(strip->Pixel(x, y) == VarnDraw::DrawPreTriggerBackground::kHatchColour);
    return row;
}

TEST(PreTrigger, TheHatchTilesAtThePatternWidthAndStaysFixedToTheOrigin)
{
    const std::vector<bool> row = HatchedRow(0, 10);
    int hatched = 0;
    for (int x = 0; x < 60; ++x) { // height 30: a pattern 40 wide
        EXPECT_EQ(row[std::size_t(x)], row[std::size_t(x + 40)]) << x;
        hatched += row[std::size_t(x)];
    }
    EXPECT_GT(hatched, 10);
    EXPECT_LT(hatched, 50);
    // Column x shows pattern column (origin + x): the origin moves the hatch with it, and a negative
    // origin (the record starting left of the strip) keeps the same step.
    for (std::int64_t origin : { 7, -13, -60 - 13 }) {
        const std::vector<bool> moved = HatchedRow(origin, 10);
        for (int x = 0; x < 100; ++x)
            EXPECT_EQ(moved[std::size_t(x)], row[std::size_t(((x + origin) % 40 + 40) % 40)]) << origin << " " << x;
    }
}

TEST(PreTrigger, NothingToPaintAndNoPatternAreReported)
{
    VarnDraw::DrawPreTriggerBackground hatch;
    auto dc = DC::CreateRecording({ 10, 10 });
    EXPECT_EQ(hatch.Paint(*dc, 0, 0, 10), 1); // height 0
    hatch.SetHeight(0, 10);
    EXPECT_EQ(hatch.Paint(*dc, 0, 5, 5), 1);
    EXPECT_TRUE(dc->Commands().empty());
    EXPECT_EQ(hatch.Paint(*dc, 0, 0, 30), 0);
    // Two copies: columns 0-19 of the pattern, then 0-9 again.
    const auto commands = dc->DescribeCommands();
    EXPECT_EQ(
        std::count_if(commands.begin(), commands.end(), [](const std::string& c) { return c.rfind("Blit", 0) == 0; }),
        2);
}

} // namespace
