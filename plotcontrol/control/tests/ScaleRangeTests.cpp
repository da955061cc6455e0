// The scale proxies over a plot's persisted ranges and the scale-range dialog, run headless.
#include <gtest/gtest.h>

#include <cfloat>
#include <cmath>

#include "plotcontrol/control/ScaleRangeDialog.h"
#include "plotcontrol/control/tests/ControlFixture.h"
#include "ui/Desktop.h"
#include "ui/Input.h"
#include "ui/MessageQueue.h"
#include "ui/Window.h"

namespace plottest {
namespace {

using namespace KEL;
using vx::ui::HWND;

struct LocalTask {
    LocalTask()
        : task(new EtchPersistTask(String(UniquePlotId("proxy")), nullptr, nullptr))
    {
    }
    ~LocalTask() { task->Release(); }
    EtchPersistTask* task;
};

TEST(ScaleProxy, ReadsItsAxisAndSendsBothSetAxes)
{
    LocalTask t;
    ScaleProxy x(t.task, 0), y(t.task, 1), other(t.task, 2);
    EXPECT_EQ(y.GetLower(), 0);
    EXPECT_EQ(y.GetUpper(), 0);
    EXPECT_EQ(other.GetLower(), -DBL_MAX);
    EXPECT_EQ(other.GetUpper(), DBL_MAX);
    EXPECT_EQ(x.GetLowestAllowed(), -DBL_MAX);
    EXPECT_EQ(x.GetHighestAllowed(), DBL_MAX);
    EXPECT_EQ(x.GetScaleFlags(), 0u);
    EXPECT_TRUE(x.GetUnitText().IsEmpty());

    y.SetRange(10, 0);
    EXPECT_EQ(t.task->YRange(), (ScaleRangePair { 10, 0 }));
    EXPECT_EQ(t.task->XRange(), (ScaleRangePair { 0, 0 }));
    x.SetRange(-1, 3); // inverted ranges are accepted
    EXPECT_EQ(t.task->XRange(), (ScaleRangePair { -1, 3 }));
    EXPECT_EQ(x.GetLower(), 3);
    EXPECT_EQ(y.GetUpper(), 10);
}

TEST(ScaleProxy, SwapExchangesOnlyASetPair)
{
    LocalTask t;
    ScaleProxy x(t.task, 0), y(t.task, 1);
    x.Swap();
    EXPECT_EQ(t.task->XRange(), (ScaleRangePair { 0, 0 }));
    t.task->StoreYRange({ 5, 1 });
    y.Swap();
    EXPECT_EQ(t.task->YRange(), (ScaleRangePair { 1, 5 }));
    EXPECT_EQ(t.task->XRange(), (ScaleRangePair { 0, 0 }));
}

TEST(ScaleRangeValidation, CorrectsThePairAndSaysWhy)
{
    const double inf = std::numeric_limits<double>::infinity();
    const struct {
        double upper, lower;
        double lowest, highest;
        bool ok;
        double upperOut, lowerOut;
        const wchar_t* message;
    } cases[] = {
        { 10, 0, -100, 100, true, 10, 0, L"" },
        { 0, 10, -100, 100, true, 0, 10, L"" },
        { 500, 0, -100, 100, false, 100, 0, L"Scale range must lie between -100 and 100." },
        { inf, -inf, -100, 100, false, 100, -100, L"Scale range must lie between -100 and 100." },
        { std::nan(""), 1, -100, 100, false, 100, 1, L"Scale range must lie between -100 and 100." },
        { 3, 3, -100, 100, false, 100, -100, L"Scale range must lie between -100 and 100." },
        { 1e-39, 0, -100, 100, false, 1e-39 / 2 + (1e-39 + FLT_MIN) / 2, 1e-39 / 2 - (1e-39 + FLT_MIN) / 2,
            L"Scale range must be greater than 1.1754944e-38." },
        { DBL_MAX, -DBL_MAX, -DBL_MAX, DBL_MAX, true, DBL_MAX, -DBL_MAX, L"" },
    };
    for (const auto& c : cases) {
        double upper = c.upper, lower = c.lower;
        std::wstring message;
        EXPECT_EQ(ValidateScaleRange(upper, lower, c.lowest, c.highest, 0, &message), c.ok) << c.upper;
        EXPECT_DOUBLE_EQ(upper, c.upperOut) << c.upper;
        EXPECT_DOUBLE_EQ(lower, c.lowerOut) << c.upper;
        EXPECT_EQ(message, c.message);
    }
}

TEST(ScaleRangeTemplates, BothTemplatesCarryTheFieldsTheDialogUses)
{
    for (const wchar_t* name : { L"SCALERANGE", L"SCALERANGE_HORIZ" }) {
        const vx::ui::DialogTemplate* t = FindScaleRangeTemplate(name);
        ASSERT_NE(t, nullptr);
        for (int id : { 101, 102, 103, 104, 105, 106, vx::ui::IDOK, vx::ui::IDCANCEL })
            EXPECT_TRUE(std::any_of(t->items.begin(), t->items.end(), [id](const auto& item) { return item.id == id; }))
                << id;
    }
    EXPECT_EQ(FindScaleRangeTemplate(L"SCALERANGE_VERT"), nullptr);
}

class ScaleRangeDialogTest : public ::testing::Test {
protected:
    void TearDown() override
    {
        vx::ui::SetDialogScript({});
        vx::ui::SetMonitors({});
        vx::ui::TakeMessageBoxRequests();
    }
    // Runs the dialog; `script` types into it and ends it.
    vx::ui::INT_PTR Run(IScaleProxy& proxy, std::function<void(HWND)> script)
    {
        vx::ui::SetDialogScript([script](HWND dialog) { script(dialog); });
        ScaleRange dialog(nullptr, proxy);
        return dialog.Execute();
    }
    static void Type(HWND dialog, int id, const wchar_t* text)
    {
        vx::ui::SetWindowText(vx::ui::GetDlgItem(dialog, id), text);
    }
    static void Press(HWND dialog, int id) { vx::ui::SendMessage(dialog, vx::ui::WM_COMMAND, id, 0); }
    LocalTask t;
};

TEST_F(ScaleRangeDialogTest, OpensWithTheAxisRangeAndOkHandsTheTypedRangeToTheProxy)
{
    t.task->StoreYRange({ 2.5, -1 });
    ScaleProxy y(t.task, 1);
    std::wstring upper, lower, upperLabel;
    const auto result = Run(y, [&](HWND dialog) {
        upper = vx::ui::GetWindowText(vx::ui::GetDlgItem(dialog, kScaleUpperEdit));
        lower = vx::ui::GetWindowText(vx::ui::GetDlgItem(dialog, kScaleLowerEdit));
        upperLabel = vx::ui::GetWindowText(vx::ui::GetDlgItem(dialog, kScaleUpperLabel));
        Type(dialog, kScaleUpperEdit, L"-4"); // below the lower value: an inverted axis, accepted
        Type(dialog, kScaleLowerEdit, L"6.123456789");
        Press(dialog, vx::ui::IDOK);
    });
    EXPECT_EQ(result, vx::ui::IDOK);
    EXPECT_EQ(upper, L"2.5");
    EXPECT_EQ(lower, L"-1");
    EXPECT_EQ(upperLabel, L"Top:");
    EXPECT_EQ(t.task->YRange(), (ScaleRangePair { -4, 6.1234568 })) << "eight significant digits";
}

TEST_F(ScaleRangeDialogTest, HorizontalAxisReadsRightAndLeft)
{
    ScaleProxy x(t.task, 0);
    std::wstring upperLabel, lowerLabel;
    Run(x, [&](HWND dialog) {
        upperLabel = vx::ui::GetWindowText(vx::ui::GetDlgItem(dialog, kScaleUpperLabel));
        lowerLabel = vx::ui::GetWindowText(vx::ui::GetDlgItem(dialog, kScaleLowerLabel));
        Press(dialog, vx::ui::IDCANCEL);
    });
    EXPECT_EQ(upperLabel, L"Right:");
    EXPECT_EQ(lowerLabel, L"Left:");
    EXPECT_EQ(t.task->XRange(), (ScaleRangePair { 0, 0 }));
}

TEST_F(ScaleRangeDialogTest, EqualValuesAreCorrectedShownAndTheDialogStays)
{
    ScaleProxy y(t.task, 1);
    bool stillOpen = false;
    std::wstring corrected;
    Run(y, [&](HWND dialog) {
        Type(dialog, kScaleUpperEdit, L"3");
        Type(dialog, kScaleLowerEdit, L"3");
        Press(dialog, vx::ui::IDOK);
        stillOpen = vx::ui::IsWindow(dialog);
        corrected = vx::ui::GetWindowText(vx::ui::GetDlgItem(dialog, kScaleUpperEdit));
        Press(dialog, vx::ui::IDCANCEL);
    });
    EXPECT_TRUE(stillOpen);
    const auto boxes = vx::ui::TakeMessageBoxRequests();
    ASSERT_EQ(boxes.size(), 1u);
    EXPECT_EQ(boxes[0].text.rfind(L"Scale range must lie between", 0), 0u);
    EXPECT_EQ(corrected, L"1.7976931e+308");
    EXPECT_EQ(t.task->YRange(), (ScaleRangePair { 0, 0 }));
}

TEST_F(ScaleRangeDialogTest, ADialogOpenedNearTheCornerIsKeptOnTheWorkArea)
{
    vx::ui::SetMonitors({ { { 0, 0, 800, 600 }, { 0, 0, 800, 560 }, 96, true } });
    static const bool registered = vx::ui::RegisterClass({ L"ScaleRangeTestAnchor", 0, &vx::ui::DefWindowProc });
    (void)registered;
    HWND anchor = vx::ui::CreateWindowEx(
        0, L"ScaleRangeTestAnchor", L"", vx::ui::WS_POPUP | vx::ui::WS_VISIBLE, 0, 0, 800, 600, nullptr, 0, nullptr);
    vx::ui::InjectMouse(anchor, vx::ui::WM_MOUSEMOVE, { 790, 590 });
    ScaleProxy y(t.task, 1);
    vx::ui::Rect placed;
    Run(y, [&](HWND dialog) {
        vx::ui::GetWindowRect(dialog, &placed);
        Press(dialog, vx::ui::IDCANCEL);
    });
    vx::ui::DestroyWindow(anchor);
    EXPECT_GT(placed.Width(), 0);
    EXPECT_EQ(placed.right, 800);
    EXPECT_EQ(placed.bottom, 560);
}

} // namespace
} // namespace plottest
