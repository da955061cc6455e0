// The markup writers' ranges and their edge cases: empty sources, the host's state flag, the
// axes' unit of the fallback ranges, the ellipse and the editable items.
#include <gtest/gtest.h>

#include <limits>
#include <memory>
#include <vector>

#include "foundation/units/UnitEntry.h"
#include "hrv_ui/PlotMarkup.h"

using namespace HRV;

namespace {

constexpr double kNaN = std::numeric_limits<double>::quiet_NaN();

// A source over its own vector, as the views make them (milliseconds for seconds).
struct Source {
    Source(std::vector<double> values, double factor)
        : data(std::move(values))
    {
        source = MakeSource(KEL::String(L"$S"), &data, factor, nullptr, std::make_shared<SourceLifetime>(), nullptr);
        info = InfoOf(source);
    }
    ~Source()
    {
        info->Release();
        source->Release();
    }
    std::vector<double> data;
    IEnumFloatEx* source = nullptr;
    IEtchEnumInfo* info = nullptr;
};

PlotContext Settings100()
{
    PlotContext c;
    c.rrMin = 0.4, c.rrMax = 1.6;
    c.complexityMin = 1.0, c.complexityMax = 1.5;
    c.maxFrequency = 0.5;
    c.countRR = 4, c.sumRR = 3.2, c.sd1 = 0.02, c.sd2 = 0.05;
    return c;
}

} // namespace

TEST(PlotMarkup, TachogramRangesByCountStateAndEmptySource)
{
    struct Case {
        std::size_t count;
        bool state;
        double xMax;
    };
    for (const Case& c :
        { Case { 0, false, 500 }, Case { 1234, true, 1500 }, Case { 1234, false, 1234 }, Case { 500, true, 1000 } }) {
        Source s(std::vector<double>(c.count, 0.8), 1000.0);
        PlotContext ctx = Settings100();
        ctx.hostState = c.state;
        const PlotRanges r = TachogramRanges(ctx, s.info);
        EXPECT_EQ(r.xMin, 0) << c.count;
        EXPECT_EQ(r.xMax, c.xMax) << c.count;
    }
    // An empty source falls back to the normal RR range in the axis' unit, widened by 5 %.
    Source empty({}, 1000.0);
    const PlotRanges r = TachogramRanges(Settings100(), empty.info);
    EXPECT_DOUBLE_EQ(r.yMin, 400 - 60);
    EXPECT_DOUBLE_EQ(r.yMax, 1600 + 60);
    // One value repeated: a zero span is not widened.
    Source flat({ 0.8, 0.8 }, 1000.0);
    const PlotRanges f = TachogramRanges(Settings100(), flat.info);
    EXPECT_DOUBLE_EQ(f.yMin, 800);
    EXPECT_DOUBLE_EQ(f.yMax, 800);
}

TEST(PlotMarkup, HistogramAndSpectrumDefaultsWhenEmpty)
{
    Source empty({}, 1.0);
    PlotContext ctx = Settings100();
    const PlotRanges delta = HistogramRanges(ctx, empty.info, true);
    EXPECT_EQ(delta.xMin, -200);
    EXPECT_EQ(delta.xMax, 200);
    EXPECT_EQ(delta.yMin, 0);
    EXPECT_DOUBLE_EQ(delta.yMax, 210);
    const PlotRanges rr = HistogramRanges(ctx, empty.info, false);
    EXPECT_EQ(rr.xMin, 0.4);
    EXPECT_EQ(rr.xMax, 1.6);
    EXPECT_DOUBLE_EQ(rr.yMax, 105);
    const PlotRanges spectrum = SpectrumRanges(ctx, empty.info);
    EXPECT_EQ(spectrum.xMax, 0.5);
    EXPECT_DOUBLE_EQ(spectrum.yMax, 525);
    // Bins from the histogram's first bin and width; only the y maximum widens.
    Source counts({ 2, 8, 4 }, 1.0);
    ctx.binWidth = 0.01, ctx.firstBin = 80;
    const PlotRanges bins = HistogramRanges(ctx, counts.info, false);
    EXPECT_DOUBLE_EQ(bins.xMin, 0.8);
    EXPECT_DOUBLE_EQ(bins.xMax, 0.83);
    EXPECT_DOUBLE_EQ(bins.yMin, 2);
    EXPECT_DOUBLE_EQ(bins.yMax, 8 + 0.3);
}

TEST(PlotMarkup, PoincareEllipseInMillisecondsAndLeftOutWhenAStatisticIsMissing)
{
    Source x({ 0.8, 0.9 }, 1000.0), y({ 0.9, 0.7 }, 1000.0);
    PlotContext ctx = Settings100();
    const std::wstring m = PoincareMarkup(ctx, x.info, y.info);
    EXPECT_NE(m.find(L"ellipse: {x:800, y:800, a:50, b:20, rotate: -45"), std::wstring::npos) << m;
    for (double PlotContext::*missing : { &PlotContext::sd1, &PlotContext::sd2, &PlotContext::sumRR }) {
        PlotContext c = ctx;
        c.*missing = kNaN;
        EXPECT_EQ(PoincareMarkup(c, x.info, y.info).find(L"ellipse"), std::wstring::npos);
    }
    // Empty sources fall back to the normal RR range in milliseconds on both axes.
    Source none({}, 1000.0);
    const PlotRanges r = PoincareRanges(ctx, none.info, none.info);
    EXPECT_DOUBLE_EQ(r.xMin, 340);
    EXPECT_DOUBLE_EQ(r.yMax, 1660);
}

TEST(PlotMarkup, WhileTheHostSamplesBandsAndBoxAreFixedAndSourceRangesAreNotRead)
{
    Source x({ 0.5, 2.0 }, 1000.0), y({ 0.8, 3.0 }, 1.0), powers({ 1, 5 }, 1e6);
    PlotContext ctx = Settings100();
    EXPECT_NE(SpectrumMarkup(ctx, powers.info).find(L"draggable: true"), std::wstring::npos);
    EXPECT_NE(ClassifierMarkup(ctx, x.info, y.info).find(L"draggable: true"), std::wstring::npos);
    // The box lies inside the plot: the ranges take in both the points and the settings.
    const PlotRanges open = ClassifierRanges(ctx, x.info, y.info);
    EXPECT_DOUBLE_EQ(open.xMin, 400 - 80);
    EXPECT_DOUBLE_EQ(open.xMax, 2000 + 80);
    EXPECT_DOUBLE_EQ(open.yMin, 0.8 - 0.11);
    ctx.hostState = true;
    EXPECT_NE(SpectrumMarkup(ctx, powers.info).find(L"draggable: false"), std::wstring::npos);
    EXPECT_NE(ClassifierMarkup(ctx, x.info, y.info).find(L"draggable: false"), std::wstring::npos);
    const PlotRanges sampling = ClassifierRanges(ctx, x.info, y.info);
    EXPECT_DOUBLE_EQ(sampling.xMin, 400 - 60);
    EXPECT_DOUBLE_EQ(sampling.yMax, 1.5 + 0.025);
}
