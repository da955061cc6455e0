// The persisted plot state: the markup it appends, the sharing of changes between the plots of one
// id through the host's registrar, and the control's notifications that feed it.
#include "plotcontrol/control/tests/ControlFixture.h"

#include <cfloat>
#include <cmath>

#include "hostframework/services/CafFrameWork.h"
#include "plotcontrol/compiler/MarkupScript.h"

namespace plottest {
namespace {

using namespace KEL;
using nlohmann::json;

// The host's registrar, reached as the control reaches it.
IPlotStateRegistrar* HostRegistrar()
{
    void* out = nullptr;
    ISharedHostObject* shared = CAFFrameWork::GetSharedHostObject();
    if (!shared || FAILED(shared->QueryInterface(IPlotStateRegistrar::kIid, &out)))
        return nullptr;
    return static_cast<IPlotStateRegistrar*>(out);
}

struct Task {
    explicit Task(const std::wstring& id, IPlotStateRegistrar* registrar = HostRegistrar())
        : task(new EtchPersistTask(String(id), registrar, nullptr))
    {
        if (registrar)
            registrar->Release();
    }
    ~Task()
    {
        task->Disconnect();
        task->Release();
    }
    std::wstring Markup(std::wstring markup) const
    {
        task->WriteAxisScaleMarkup(markup);
        return markup;
    }
    EtchPersistTask* operator->() const { return task; }
    EtchPersistTask* task;
};

constexpr const wchar_t* kDefaults
    = L"yscalemin: 0.0, yscalemax: 1.0, do_initial_autoscale_y: true, xscalemin: 0.0, xscalemax: 1.0, "
      L"do_initial_autoscale_x: true, ";

TEST(PersistTask, MarkupGetsTheRangesYFirstOrTheDefaults)
{
    const double inf = std::numeric_limits<double>::infinity(), nan = std::nan("");
    const struct {
        ScaleRangePair y;
        std::wstring markup;
        std::wstring expected;
    } cases[] = {
        { { 0, 0 }, L"", L"" },
        { { 0, 0 }, L"a: 1", std::wstring(L"a: 1, ") + kDefaults },
        { { 0, 0 }, L"a: 1,  \t", std::wstring(L"a: 1,  \t") + kDefaults },
        { { 2, -1 }, L"a: 1",
            L"a: 1, yscalemin: -1,yscalemax: 2, do_initial_autoscale_y: false, xscalemin: 0.0, xscalemax: 1.0, "
            L"do_initial_autoscale_x: true, " },
        { { 1234567, 0.000123456789 }, L"a: 1",
            L"a: 1, yscalemin: 0.000123457,yscalemax: 1.23457e+06, do_initial_autoscale_y: false, xscalemin: 0.0, "
            L"xscalemax: 1.0, do_initial_autoscale_x: true, " },
        // Pairs that stand for no range.
        { { DBL_MAX, 0 }, L"a: 1", std::wstring(L"a: 1, ") + kDefaults },
        { { 5, -DBL_MAX }, L"a: 1", std::wstring(L"a: 1, ") + kDefaults },
        { { nan, 1 }, L"a: 1", std::wstring(L"a: 1, ") + kDefaults },
        { { inf, 1 }, L"a: 1", std::wstring(L"a: 1, ") + kDefaults },
        { { 1, -inf }, L"a: 1", std::wstring(L"a: 1, ") + kDefaults },
    };
    for (const auto& c : cases) {
        Task task(UniquePlotId("markup"), nullptr);
        task->StoreYRange(c.y);
        EXPECT_EQ(task.Markup(c.markup), c.expected);
    }
}

// A stored infinite limit must not make the plot's markup uncompilable.
TEST(PersistTask, MarkupWithAnInfiniteStoredLimitStillCompiles)
{
    Task task(UniquePlotId("inf"), nullptr);
    task->StoreXRange({ std::numeric_limits<double>::infinity(), 0 });
    const std::wstring markup = task.Markup(L"title: 'T'");
    std::string script;
    EXPECT_TRUE(Etch::CompileEtchMarkup(std::string(markup.begin(), markup.end()), script))
        << std::string(markup.begin(), markup.end());
}

// Positions go into the legend's and the text region's own records, found as whole names.
TEST(PersistTask, ItemPositionsGoIntoTheRecordOfTheirItem)
{
    Task task(UniquePlotId("items"), nullptr);
    task->SendItemPosition(String(L"L1"), 0.25, 0.5);
    task->SendItemPosition(String(L"note"), 0.125, 1);
    const struct {
        std::wstring markup;
        std::wstring expected;
    } cases[] = {
        { L"legend: { id: 'L1',}", L"legend: { id: 'L1', x_percent: 0.25, y_percent: 0.5,}" },
        { L"text_region: { id: \"note\" ;}", L"text_region: { id: \"note\" , x_percent: 0.125, y_percent: 1;}" },
        // Longer names that end or begin with the item's name are other properties.
        { L"mylegend: { id: 'x',}, legend: { id: 'L1',}",
            L"mylegend: { id: 'x',}, legend: { id: 'L1', x_percent: 0.25, y_percent: 0.5,}" },
        { L"legend: { plotter_id: 'x', id: 'L1',}",
            L"legend: { plotter_id: 'x', id: 'L1', x_percent: 0.25, y_percent: 0.5,}" },
        // Unknown item, or no such kind: unchanged.
        { L"legend: { id: 'other',}", L"legend: { id: 'other',}" },
        { L"legends: { id: 'L1',}", L"legends: { id: 'L1',}" },
    };
    for (const auto& c : cases) {
        std::wstring markup = c.markup + L",";
        std::wstring expected = c.expected + L"," + kDefaults;
        EXPECT_EQ(task.Markup(markup), expected);
    }
}

TEST(PersistTask, TasksOfOnePlotShareChangesThroughTheHostRegistrar)
{
    const std::wstring id = UniquePlotId("shared");
    Task a(id), b(id), other(UniquePlotId("other"));
    a->SendYRange({ 8, 2 }, false);
    a->SendItemPosition(String(L"L"), 0.1, 0.2);
    a->SendItemText(String(L"note"), String(L"Rest"));
    EXPECT_EQ(b->YRange(), (ScaleRangePair { 8, 2 }));
    EXPECT_EQ(b->YFirstRange(), (ScaleRangePair { 8, 2 }));
    EXPECT_EQ(other->YRange(), (ScaleRangePair { 0, 0 }));
    b->SendYRange({ 9, 1 }, false);
    EXPECT_EQ(a->YRange(), (ScaleRangePair { 9, 1 }));
    EXPECT_EQ(a->YFirstRange(), (ScaleRangePair { 8, 2 })) << "the first range stays";

    // A plot made later with the same id starts from what the registrar kept.
    Task later(id);
    EXPECT_EQ(later->YRange(), (ScaleRangePair { 9, 1 }));
    std::pair<double, double> position;
    ASSERT_TRUE(later->ItemPosition(String(L"L"), position));
    EXPECT_EQ(position, (std::pair<double, double> { 0.1, 0.2 }));
    String text;
    ASSERT_TRUE(later->ItemText(String(L"note"), text));
    EXPECT_EQ(text.ToWString(), L"Rest");
}

TEST(PersistTask, ViewRangesAreSentNowOrStoredUnlessKept)
{
    const std::wstring id = UniquePlotId("view");
    Task a(id), b(id);
    a->SetPersistedScaleRanges({ 0, 0 }, { 3, 1 }, false, false);
    EXPECT_EQ(a->YRange(), (ScaleRangePair { 3, 1 }));
    EXPECT_EQ(b->YRange(), (ScaleRangePair { 0, 0 })) << "stored, not sent";
    a->SetPersistedScaleRanges({ 0, 0 }, { 7, 5 }, false, true);
    EXPECT_EQ(a->YRange(), (ScaleRangePair { 3, 1 })) << "keep leaves the user's range";
    a->SetPersistedScaleRanges({ 0, 0 }, { 7, 5 }, false, false);
    EXPECT_EQ(a->YRange(), (ScaleRangePair { 7, 5 }));
    a->SetPersistedScaleRanges({ 4, 2 }, { 0, 0 }, true, false);
    EXPECT_EQ(b->XRange(), (ScaleRangePair { 4, 2 }));
    EXPECT_EQ(b->YRange(), (ScaleRangePair { 0, 0 })) << "an empty pair is not sent";
}

// What the user does in the page reaches the persisted state through the control's notifications.
TEST_F(ControlTest, ScalingAndRegionCallsBecomePersistedState)
{
    Create();
    EtchWvControl twin(&host);
    twin.SetPlotId(String(plotId));
    EXPECT_EQ(Call("etch_proxy_XScalingChanged", { "local", { 0, 10, 0 } }), json(true));
    EXPECT_EQ(Call("etch_proxy_YScalingChanged", { "local", { -2, 2, 1 } }), json(true));
    EXPECT_EQ(Call("etch_proxy_RegionPosChanged", { "legend1", 0.3, 0.4 }), json(true));
    EXPECT_EQ(Call("etch_proxy_RegionTextChanged", { "legend1", "moved" }), json(true));
    for (EtchPersistTask* task : { control->GetPersistTask(), twin.GetPersistTask() }) {
        EXPECT_EQ(task->XRange(), (ScaleRangePair { 10, 0 }));
        EXPECT_EQ(task->YRange(), (ScaleRangePair { 2, -2 }));
        String text;
        EXPECT_TRUE(task->ItemText(String(L"legend1"), text));
        EXPECT_EQ(text.ToWString(), L"moved");
    }
    control->SetMarkup(String(L"legend: { id: 'legend1',}"));
    EXPECT_NE(Evaluated().back().find("legend1\\', x_percent: 0.3, y_percent: 0.4,}"), std::string::npos)
        << Evaluated().back();
}

} // namespace
} // namespace plottest
