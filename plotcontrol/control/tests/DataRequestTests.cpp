// The values, labels and click read-outs the page fetches from registered sources and formulas.
#include "plotcontrol/control/tests/ControlFixture.h"

#include <numeric>

#include "plotcontrol/compiler/FormulaEvaluator.h"

namespace plottest {
namespace {

using namespace KEL;
using nlohmann::json;

std::vector<float> Ramp(int n)
{
    std::vector<float> v(n);
    std::iota(v.begin(), v.end(), 0.0f);
    return v;
}

std::vector<double> Doubles(int from, int to)
{
    std::vector<double> v;
    for (int i = from; i < to; ++i)
        v.push_back(i);
    return v;
}

class DataRequestTest : public ControlTest {
protected:
    void SetUp() override
    {
        ControlTest::SetUp();
        Create();
        source = new FloatSource(Ramp(1000));
        bare = new FloatSource(Ramp(10), false);
        control->SetEnumSource(String(L"$HRV_Classifier_X"), source);
        control->SetEnumSource(String(L"$bare"), bare);
    }
    void TearDown() override
    {
        control->ClearDataSources();
        source->Release();
        bare->Release();
        ControlTest::TearDown();
    }
    FloatSource* source = nullptr;
    FloatSource* bare = nullptr;
};

// Sources are read in whole blocks of 256 from the tick position: the page slices what it asked.
TEST_F(DataRequestTest, PixelDataComesInWholeBlocksFromTheTickPosition)
{
    const struct {
        double tick;
        double count;
        std::vector<double> expected;
    } cases[] = {
        { 0, 10, Doubles(0, 256) },
        { 995, 10, Doubles(995, 1000) },
        { 10, 300, Doubles(10, 522) },
        { 2.9, 1, Doubles(2, 258) },
        // Out-of-range positions are clamped, never converted out of range.
        { -1e30, 3, Doubles(0, 256) },
        { 1e30, 3, {} },
        { 0, 0, {} },
        { 0, -5, {} },
    };
    for (const auto& c : cases) {
        EXPECT_EQ(Call("etch_proxy_RequestPixData", { "$HRV_Classifier_X", c.tick, 1, c.count }), json(c.expected))
            << c.tick << " " << c.count;
    }
    // Every fetch asks for a whole block.
    for (ULONG asked : source->asked)
        EXPECT_EQ(asked, 256u);
    EXPECT_EQ(Call("etch_proxy_RequestPixData", { "$unknown", 0, 1, 10 }), json::array());
}

TEST_F(DataRequestTest, AnythingElseIsAFormulaOfItsPosition)
{
    EXPECT_EQ(Call("etch_proxy_RequestPixData", { "2*t+1", 1, 0.5, 4 }), json({ 3.0, 4.0, 5.0, 6.0 }));
    EXPECT_EQ(Call("etch_proxy_RequestPixData", { "2*t+1", 1, 0.5, 0 }), json::array());
    EXPECT_EQ(Call("etch_proxy_RequestPixData", { "2*t+1", 1, 0.5, -3 }), json::array());
    // A count beyond the 32-bit range is bounded by the evaluator, not converted out of range.
    const auto huge = Call("etch_proxy_RequestPixData", { "t", 0, 1, 1e12 });
    ASSERT_TRUE(huge);
    EXPECT_EQ(huge->size(), std::size_t(Etch::kMaxFormulaValues));
    // A formula that does not compile gives NaNs, written as null.
    EXPECT_EQ(Call("etch_proxy_RequestPixData", { "t+", 0, 1, 2 }), json({ nullptr, nullptr }));
}

// Labels are numbered from where the source stands after the move, which a short series clamps.
TEST_F(DataRequestTest, LabelsFollowTheSourcePositionAfterTheSkip)
{
    const auto labels = Call("etch_proxy_RequestLabelsData", { "$HRV_Classifier_X", 998, 1, 5 });
    EXPECT_EQ(labels, json({ "#998", "#999" }));
    const auto clamped = Call("etch_proxy_RequestLabelsData", { "$HRV_Classifier_X", -7.5, 1, 2 });
    ASSERT_TRUE(clamped);
    ASSERT_EQ(clamped->size(), 256u);
    EXPECT_EQ((*clamped)[0], "#0");
    EXPECT_EQ((*clamped)[255], "#255");
    EXPECT_EQ(Call("etch_proxy_RequestLabelsData", { "$bare", 0, 1, 5 }), json::array());
    EXPECT_EQ(Call("etch_proxy_RequestLabelsData", { "$unknown", 0, 1, 5 }), json::array());
    EXPECT_EQ(Call("etch_proxy_RequestLabelsData", { "$HRV_Classifier_X", 0, 1, 0 }), json::array());
}

TEST_F(DataRequestTest, ClickReadsTheLabelOfTheRegisteredPlotIgnoringCase)
{
    control->RegisterClickablePlot(String(L"$HRV_Classifier_X"), String(L"$x"), String(L"Scatter1"), 1);
    control->RegisterClickablePlot(String(L"$bare"), String(L"$x"), String(L"Bare"), 0);
    const struct {
        json args;
        std::wstring dataId;
        std::wstring text;
        int select;
    } cases[] = {
        { { 12, "scatter1", true }, L"$HRV_Classifier_X", L"#12", 1 },
        { { 7.9, "SCATTER1", false }, L"$HRV_Classifier_X", L"#7", 0 },
        // The index is clamped before it becomes a whole number.
        { { 1e300, "Scatter1", false }, L"$HRV_Classifier_X", L"#2147483647", 0 },
        // A source without labels, or no such plotter: the index as a number and the plotter id.
        { { 4, "bare", true }, L"bare", L"4", 1 },
        { { 2.5, "nobody", false }, L"nobody", L"2.5", 0 },
    };
    for (const auto& c : cases) {
        recorder->notices.clear();
        EXPECT_EQ(Call("etch_proxy_OnMouseClick", c.args), json("someDataId"));
        ASSERT_EQ(recorder->notices.size(), 1u);
        const Notice& n = recorder->notices[0];
        EXPECT_EQ(n.kind, kMouseClick);
        EXPECT_EQ(n.texts, (std::vector<std::wstring> { c.dataId, c.text })) << c.args.dump();
        EXPECT_EQ(n.flag, c.select);
    }
}

TEST_F(DataRequestTest, MouseMoveFindsTheNearestRegisteredPlot)
{
    auto* xs = new FloatSource({ 0, 10, 20 });
    auto* ys = new FloatSource({ 0, 10, 20 });
    control->SetEnumSource(String(L"$px"), xs);
    control->SetEnumSource(String(L"$py"), ys);
    control->RegisterClickablePlot(String(L"$py"), String(L"$px"), String(L"points"), 1);
    // Pixels are units here (scale 1, offset 0); the XY search is asked for by a last element of 0.
    const auto near = Call("etch_proxy_OnMouseMove", { 11, 9, 1, 0, 1, 0, 0, 0 });
    ASSERT_TRUE(near);
    EXPECT_EQ((*near)["plotter_id"], "points");
    EXPECT_EQ((*near)["x"], "10");
    EXPECT_EQ((*near)["y"], "10");
    EXPECT_NEAR(std::stod((*near)["distance"].get<std::string>()), std::sqrt(2.0), 1e-12);

    control->ClearDataSources();
    EXPECT_EQ(Call("etch_proxy_OnMouseMove", { 11, 9, 1, 0, 1, 0 }), json::object());
    xs->Release();
    ys->Release();
}

} // namespace
} // namespace plottest
