// The plot control's window, web view and page, markup, data-source registry, scale menu, print
// and destruction, driven through the fake web view and the headless window system.
#include "plotcontrol/control/tests/ControlFixture.h"

#include "log/Log.h"
#include "plotcontrol/control/ScaleRangeDialog.h"
#include "plotcontrol/page/EtchPage.h"
#include "plotcontrol/svg/PrintableSvgRenderer.h"
#include "ui/Desktop.h"
#include "ui/Dialog.h"
#include "ui/EventLoop.h"
#include "ui/Input.h"
#include "ui/Menu.h"
#include "ui/MessageQueue.h"
#include "ui/Window.h"

namespace plottest {
namespace {

using namespace KEL;
using vx::ui::HWND;

bool Contains(const std::vector<std::string>& lines, const std::string& text)
{
    return std::any_of(
        lines.begin(), lines.end(), [&](const std::string& l) { return l.find(text) != std::string::npos; });
}

TEST_F(ControlTest, CreateLoadsThePageWithTheCopyScriptAndEveryBindingIntoTheParent)
{
    Create();
    auto& view = View();
    EXPECT_TRUE(view.debug);
    EXPECT_EQ(view.html, Etch::GetEtchPageHtml());
    // The copy script, and the installed face the overlay's SVG text falls back to.
    ASSERT_EQ(view.initScripts.size(), 2u);
    EXPECT_NE(view.initScripts[0].find("window.addEventListener('copy'"), std::string::npos);
    EXPECT_NE(view.initScripts[0].find("plot.copy('copy')"), std::string::npos);
    const std::string face = KEL::MatchedFontFamily("sans-serif");
    ASSERT_FALSE(face.empty());
    EXPECT_EQ(view.initScripts[1], "window.etch_font_fallback = '" + face + "';\n");
    EXPECT_EQ(view.BoundNames().size(), 19u);
    for (const std::string& name : EtchWvControl::BindingNames())
        EXPECT_TRUE(view.IsBound(name)) << name;

    // The page sits in the parent, sized to it; the web view's own top window is hidden.
    EXPECT_EQ(vx::ui::GetParent(view.widgetWindow), parent);
    EXPECT_FALSE(vx::ui::IsWindowVisible(view.topWindow));
    vx::ui::Rect client;
    vx::ui::GetClientRect(parent, &client);
    EXPECT_EQ(view.width, client.Width());
    EXPECT_EQ(view.height, client.Height());
    EXPECT_EQ(vx::ui::GetParent(control->GetHandle()), parent);
}

TEST_F(ControlTest, CreateRefusesAMissingParentAndSurvivesAFailedWebView)
{
    vx::log::Capture log;
    EXPECT_FALSE(control->Create(nullptr));
    HWND gone = vx::ui::CreateWindowEx(0, L"PlotControlTestParent", L"", 0, 0, 0, 10, 10, nullptr, 0, nullptr);
    vx::ui::DestroyWindow(gone);
    EXPECT_FALSE(control->Create(gone));
    EXPECT_TRUE(Contains(log.Lines(), "KELBOOTLOG: EtchWvControl::Create - Invalid parent HWND"));

    engine.failCreate = true;
    EXPECT_FALSE(control->Create(parent));
    EXPECT_TRUE(Contains(log.Lines(), "KELBOOTLOG: Failed to create webview"));
    // Without a web view a markup is not handed over, and the caller hears so.
    EXPECT_FALSE(control->SetMarkup(String(L"a: 1")));
}

TEST_F(ControlTest, FirstMarkupSendsTheDoubleClickTimeLaterOnesTheMarkupTwice)
{
    Create(false);
    vx::log::Capture log;
    EXPECT_TRUE(control->SetMarkup(String(L"a: 1")));
    EXPECT_TRUE(control->SetMarkup(String(L"b: 2")));
    const auto evaluated = Evaluated();
    ASSERT_EQ(evaluated.size(), 2u);
    EXPECT_EQ(evaluated[0], "(async () => { (await etch.make_plot('local', 'a: 1')).dblclick_ms('500');})();");
    EXPECT_EQ(evaluated[1], "(async () => { (await etch.make_plot('local', 'b: 2')).set_markup('b: 2');})();");
    EXPECT_TRUE(Contains(log.Lines(), "KELBOOTLOG: EtchWvControl::SetMarkup: No persist task"));
    EXPECT_TRUE(Contains(log.Lines(), "KELBOOTLOG: ExecJavaScript err: 0"));
}

TEST(MarkupLiteral, EveryCharacterThatEndsOrBreaksTheLiteralIsEscapedInOnePass)
{
    const struct {
        std::wstring markup;
        std::wstring literal;
    } cases[] = {
        { L"title: 'it''s'", L"title: \\'it\\'\\'s\\'" },
        { L"a: \"x\\y\"", L"a: \"x\\\\y\"" },
        // A backslash before a quote stays a backslash: the quote is escaped once, not undone.
        { L"a: '\\'", L"a: \\'\\\\\\'" },
        { L"a: 1\r\nb: 2\r\nc: 3", L"a: 1\\n\\\r\nb: 2\\n\\\r\nc: 3" },
        { L"a: 1\rb: 2", L"a: 1\\rb: 2" },
        { L"a: 1\nb: 2", L"a: 1\\nb: 2" },
        { L"a: 1\n\r\nb", L"a: 1\\n\\n\\\r\nb" },
        { std::wstring(L"t: 'x") + wchar_t(0x2028) + L"y" + wchar_t(0x2029) + L"'", L"t: \\'x\\u2028y\\u2029\\'" },
    };
    for (const auto& c : cases)
        EXPECT_EQ(EscapeMarkupLiteral(c.markup), c.literal);
}

TEST_F(ControlTest, MarkupWithQuotesAndLineEndsReachesTheScriptEscaped)
{
    Create(false);
    control->SetMarkup(String(L"title: 'R\\R'\r\nx: 1"));
    EXPECT_EQ(Evaluated().back(),
        "(async () => { (await etch.make_plot('local', 'title: \\'R\\\\R\\'\\n\\\r\nx: 1')).dblclick_ms('500');})();");
    EXPECT_EQ(control->GetMarkup(), L"title: 'R\\R'\r\nx: 1");
}

TEST_F(ControlTest, MarkupCarriesThePersistedRangesOfThePlot)
{
    Create();
    control->GetPersistTask()->SetPersistedScaleRanges({ 0, 0 }, { 2, -1 }, true, false);
    control->SetMarkup(String(L"a: 1"));
    EXPECT_EQ(Evaluated().back(),
        "(async () => { (await etch.make_plot('local', 'a: 1, yscalemin: -1,yscalemax: 2, do_initial_autoscale_y: "
        "false, "
        "xscalemin: 0.0, xscalemax: 1.0, do_initial_autoscale_x: true, ')).dblclick_ms('500');})();");
    // The control keeps the markup as given, without the state.
    EXPECT_EQ(control->GetMarkup(), L"a: 1");
}

TEST_F(ControlTest, PlotterDataChangedAsksForEveryValueFromTheStart)
{
    Create();
    control->PlotterDataChanged(String(L"p"), 0);
    control->PlotterDataChanged(String(L"o'k"), 7);
    const auto evaluated = Evaluated();
    EXPECT_EQ(evaluated[0], "etch.get_plot('local').plotter_data_changed('p', 0, 2147483647);");
    EXPECT_EQ(evaluated[1], "etch.get_plot('local').plotter_data_changed('o\\'k', 7, 2147483647);");
}

TEST_F(ControlTest, SourcesAreHeldReplacedAndReleased)
{
    Create();
    auto* first = new FloatSource({ 1 });
    auto* second = new FloatSource({ 2 });
    control->SetEnumSource(String(L"$A"), first);
    EXPECT_EQ(first->RefCount(), 2u);
    control->SetEnumSource(String(L"$A"), second);
    EXPECT_EQ(first->RefCount(), 1u);
    EXPECT_EQ(second->RefCount(), 2u);
    control->SetEnumSource(String(L"$B"), nullptr);
    control->ClearDataSources();
    EXPECT_EQ(second->RefCount(), 1u);
    first->Release();
    second->Release();
}

TEST_F(ControlTest, SecondPlotIdKeepsTheFirstTaskAndItsProxies)
{
    Create();
    EtchPersistTask* task = control->GetPersistTask();
    IScaleProxy* y = control->GetScaleProxy(true);
    ASSERT_NE(task, nullptr);
    control->SetPlotId(String(L"another"));
    EXPECT_EQ(control->GetPersistTask(), task);
    EXPECT_EQ(control->GetScaleProxy(true), y);
    EXPECT_EQ(task->PlotId().ToWString(), plotId);
}

TEST_F(ControlTest, WithoutAHostObjectThereIsNoRegistrarAndNoTask)
{
    EtchWvControl lonely(nullptr);
    vx::log::Capture log;
    lonely.SetPlotId(String(L"p"));
    EXPECT_EQ(lonely.GetPersistTask(), nullptr);
    EXPECT_TRUE(Contains(log.Lines(), "KELBOOTLOG: EtchWvControl::SetPlotId: No settings registrar"));
    EXPECT_EQ(host.refs, 2u); // the fixture's control holds the host object
}

TEST_F(ControlTest, DestroyingTheControlUnbindsAndDestroysItsWebView)
{
    Create();
    const std::string pending = View().Call("etch_proxy_IsZoomEnabled", "[]");
    (void)pending;
    ASSERT_EQ(engine.Live().size(), 1u);
    HWND window = control->GetHandle();
    control->Detach(recorder);
    control.reset();
    EXPECT_EQ(engine.destroyed, 1);
    EXPECT_TRUE(engine.Live().empty());
    EXPECT_FALSE(vx::ui::IsWindow(window));
    EXPECT_EQ(host.refs, 1u);
}

// ---- Scale menu -------------------------------------------------------------------------------

class ScaleMenuTest : public ControlTest {
protected:
    void SetUp() override
    {
        ControlTest::SetUp();
        mPrevious = vx::ui::SetPopupHandler([this](const vx::ui::PopupRequest& request) {
            shown = vx::ui::GetMenuItems(request.menu);
            at = request.at;
            flags = request.flags;
            return choice;
        });
    }
    void TearDown() override
    {
        vx::ui::SetPopupHandler(mPrevious);
        ControlTest::TearDown();
    }
    // The page opens the menu of scale 1 of the y axis (or x) with the displayed range.
    void OpenMenu(bool vertical, double min = 0, double max = 10)
    {
        const auto result = Call("etch_proxy_MakeDropMenu", { "local'", 1, 10, 20, 60, 80, vertical, min, max });
        ASSERT_TRUE(result);
        EXPECT_EQ(*result, true);
    }

    UINT choice = 0;
    std::vector<vx::ui::MenuItemInfo> shown;
    vx::ui::Point at;
    UINT flags = 0;

private:
    vx::ui::PopupHandler mPrevious;
};

TEST_F(ScaleMenuTest, TheMenuOffersTheFiveItemsInvertGreyAndItsCloseIsReported)
{
    Create();
    OpenMenu(true);
    const struct {
        const wchar_t* text;
        UINT id;
        bool grey;
    } expected[] = {
        { L"Auto Scale", kMenuAutoScale, false },
        { L"Unipolar", kMenuUnipolar, false },
        { L"Bipolar", kMenuBipolar, false },
        { L"Invert Scale and Data", kMenuInvert, true },
        { L"Set Scale...", kMenuSetScale, false },
    };
    ASSERT_EQ(shown.size(), std::size(expected));
    for (std::size_t i = 0; i < shown.size(); ++i) {
        EXPECT_EQ(shown[i].text, expected[i].text);
        EXPECT_EQ(shown[i].id, expected[i].id);
        EXPECT_EQ((shown[i].state & vx::ui::MF_GRAYED) != 0, expected[i].grey) << i;
        EXPECT_EQ(shown[i].state & vx::ui::MF_CHECKED, 0u);
    }
    // Anchored at the bottom-right of the scale's rectangle on the screen.
    vx::ui::Point corner { 60, 80 };
    vx::ui::ClientToScreen(control->GetHandle(), &corner);
    EXPECT_EQ(at.x, corner.x);
    EXPECT_EQ(at.y, corner.y);
    EXPECT_EQ(flags, 0x48u);
    // The empty stored range took the displayed one.
    EXPECT_EQ(control->GetPersistTask()->YRange(), (ScaleRangePair { 10, 0 }));
    EXPECT_EQ(Evaluated().back().rfind("etch.get_plot('local\\'').get_scales()[1].menu_closed(", 0), 0u);
}

TEST_F(ScaleMenuTest, InvertIsCheckedExactlyWhenTheStoredMinimumExceedsTheMaximum)
{
    Create();
    for (const bool inverted : { false, true }) {
        control->GetPersistTask()->StoreXRange(inverted ? ScaleRangePair { 1, 5 } : ScaleRangePair { 5, 1 });
        OpenMenu(false);
        ASSERT_EQ(shown.size(), 5u);
        EXPECT_EQ((shown[3].state & vx::ui::MF_CHECKED) != 0, inverted);
        EXPECT_NE(shown[3].state & vx::ui::MF_GRAYED, 0u);
    }
}

TEST_F(ScaleMenuTest, WithNoMenuPendingThePopupComesOutEmpty)
{
    Create();
    vx::ui::HMENU menu = vx::ui::CreatePopupMenu();
    vx::ui::AppendMenu(menu, vx::ui::MF_STRING, 5, L"left over");
    vx::ui::SendMessage(control->GetHandle(), vx::ui::WM_INITMENUPOPUP, reinterpret_cast<vx::ui::WPARAM>(menu), 0);
    EXPECT_EQ(vx::ui::GetMenuItemCount(menu), 0);
    vx::ui::DestroyMenu(menu);
}

TEST_F(ScaleMenuTest, CommandsCallTheScaleOfTheMenu)
{
    Create();
    const struct {
        UINT id;
        const char* call;
    } cases[] = {
        { kMenuAutoScale, "auto_scale();" },
        { kMenuUnipolar, "set_unipolar();" },
        { kMenuBipolar, "set_bipolar();" },
    };
    for (const auto& c : cases) {
        choice = c.id;
        OpenMenu(true);
        vx::ui::RunUntilIdle();
        EXPECT_EQ(Evaluated().back(), std::string("etch.get_plot('local\\'').get_scales()[1].") + c.call);
    }
}

TEST_F(ScaleMenuTest, InvertSwapsTheStoredRangeAndResendsTheMarkup)
{
    Create();
    control->SetMarkup(String(L"a: 1"));
    control->GetPersistTask()->StoreYRange({ 4, 2 });
    vx::ui::SendMessage(control->GetHandle(), vx::ui::WM_COMMAND, kMenuInvert, 0);
    EXPECT_EQ(control->GetPersistTask()->YRange(), (ScaleRangePair { 4, 2 })) << "the x menu was the last one";
    OpenMenu(true, 2, 4);
    vx::ui::SendMessage(control->GetHandle(), vx::ui::WM_COMMAND, kMenuInvert, 0);
    EXPECT_EQ(control->GetPersistTask()->YRange(), (ScaleRangePair { 2, 4 }));
    EXPECT_NE(Evaluated().back().find("yscalemin: 4,yscalemax: 2"), std::string::npos) << Evaluated().back();
}

// Set Scale... opens the dialog of the menu's axis after the command returned; OK re-sends the
// markup with the typed range, Cancel leaves the plot alone.
TEST_F(ScaleMenuTest, SetScaleOpensTheAxisDialogFromTheMessageLoop)
{
    Create();
    control->SetMarkup(String(L"a: 1"));
    const struct {
        bool vertical;
        bool ok;
        const wchar_t* caption103;
    } cases[] = {
        { true, false, L"Top:" },
        { false, true, L"Right:" },
    };
    for (const auto& c : cases) {
        std::wstring label;
        auto previous = vx::ui::SetDialogScript([&](HWND dialog) {
            label = vx::ui::GetWindowText(vx::ui::GetDlgItem(dialog, kScaleUpperLabel));
            vx::ui::SetWindowText(vx::ui::GetDlgItem(dialog, kScaleUpperEdit), L"20");
            vx::ui::SetWindowText(vx::ui::GetDlgItem(dialog, kScaleLowerEdit), L"5");
            vx::ui::PostMessage(dialog, vx::ui::WM_COMMAND, c.ok ? vx::ui::IDOK : vx::ui::IDCANCEL, 0);
        });
        choice = kMenuSetScale;
        OpenMenu(c.vertical);
        const std::size_t before = Evaluated().size();
        EXPECT_TRUE(label.empty()) << "the dialog opens from the loop, not inside the menu";
        vx::ui::RunUntilIdle();
        vx::ui::SetDialogScript(previous);
        EXPECT_EQ(label, c.caption103);
        const ScaleRangePair range
            = c.vertical ? control->GetPersistTask()->YRange() : control->GetPersistTask()->XRange();
        if (c.ok) {
            EXPECT_EQ(range, (ScaleRangePair { 20, 5 }));
            ASSERT_GT(Evaluated().size(), before);
            EXPECT_NE(Evaluated().back().find("xscalemin: 5,xscalemax: 20"), std::string::npos);
        } else {
            EXPECT_EQ(range, (ScaleRangePair { 10, 0 })) << "only the displayed range the menu stored";
            for (std::size_t i = before; i < Evaluated().size(); ++i)
                EXPECT_EQ(Evaluated()[i].find("make_plot"), std::string::npos);
        }
    }
}

// ---- Print ------------------------------------------------------------------------------------

class PrintTest : public ControlTest {
protected:
    void TearDown() override
    {
        SetPlotPrintDialogHandler({});
        ControlTest::TearDown();
    }
};

TEST_F(PrintTest, CancelledDialogAsksThePageForNothing)
{
    Create();
    SetPlotPrintDialogHandler([](HWND, PlotPrintDialog&) { return false; });
    control->Print(String(L"Tachogram"));
    EXPECT_TRUE(Evaluated().empty());
    EXPECT_EQ(control->PendingPrint(), nullptr);
}

// Two plots printed at once each print on the dialog chosen for them, with their own title.
TEST_F(PrintTest, EachControlKeepsItsOwnPrintDialogAndTitle)
{
    Create();
    EtchWvControl other(&host);
    ASSERT_TRUE(other.Create(parent));
    auto* otherView = engine.Last();
    int shown = 0;
    SetPlotPrintDialogHandler([&](HWND, PlotPrintDialog& dialog) {
        dialog.outputPath = ::testing::TempDir() + "plot_print_" + std::to_string(++shown) + ".pdf";
        return true;
    });
    control->Print(String(L"Spectrum"));
    other.Print(String(L"Poincare"));
    EXPECT_EQ(engine.Live()[0]->evaluated.back(), "etch.get_plot('local').copy('print');");
    EXPECT_EQ(otherView->evaluated.back(), "etch.get_plot('local').copy('print');");
    ASSERT_NE(control->PendingPrint(), nullptr);
    EXPECT_EQ(control->PendingPrint()->title, L"Spectrum");
    EXPECT_EQ(other.PendingPrint()->title, L"Poincare");
    EXPECT_EQ(control->PrintTitle().ToWString(), L"Spectrum");

    const std::string svg
        = R"(<svg xmlns="http://www.w3.org/2000/svg" width="100" height="50"><rect width="10" height="10"/></svg>)";
    const std::string id = engine.Live()[0]->Call("etch_proxy_SetSVG", nlohmann::json { "local", "print", svg }.dump());
    EXPECT_EQ(engine.Live()[0]->ReplyTo(id)->result, R"({"result":true})");
    EXPECT_EQ(control->PendingPrint(), nullptr);
    ASSERT_NE(other.PendingPrint(), nullptr) << "the other plot's print is still waiting for its SVG";
    EXPECT_EQ(other.PendingPrint()->outputPath, ::testing::TempDir() + "plot_print_2.pdf");
}

// Whoever asked for a print hears how it ended: printed, cancelled in the dialog, or failed with
// the reason. Nothing waits for the user inside the page's call.
TEST_F(PrintTest, TheOutcomeOfEveryPrintIsReported)
{
    using Kind = vx::ui::PrintOutcome::Kind;
    Create();
    std::vector<vx::ui::PrintOutcome> heard;
    const auto previous = vx::ui::SetPrintOutcomeListener([&](const vx::ui::PrintOutcome& o) { heard.push_back(o); });
    const std::string svg
        = R"(<svg xmlns="http://www.w3.org/2000/svg" width="100" height="50"><rect width="10" height="10"/></svg>)";
    const struct {
        const char* what;
        std::string path;
        bool chosen;
        Kind kind;
        const char* why;
    } cases[] = {
        { "printed", ::testing::TempDir() + "plot_outcome.pdf", true, Kind::Printed, "" },
        { "cancelled", "", false, Kind::Cancelled, "" },
        { "into a missing folder", "/nonexistent/x.pdf", true, Kind::Failed,
            "could not start the document \"Poincare\" (/nonexistent/x.pdf)" },
        { "onto a full device", "/dev/full", true, Kind::Failed, "could not finish the document (/dev/full)" },
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        heard.clear();
        vx::ui::TakeMessageBoxRequests();
        SetPlotPrintDialogHandler([&](HWND, PlotPrintDialog& dialog) {
            dialog.outputPath = c.path;
            return c.chosen;
        });
        control->Print(String(L"Poincare"));
        if (c.chosen) {
            EXPECT_TRUE(heard.empty()) << "the plot prints when its page sends it";
            EXPECT_EQ(Call("etch_proxy_SetSVG", { "local", "print", svg }), nlohmann::json(c.kind == Kind::Printed));
        }
        ASSERT_EQ(heard.size(), 1u);
        EXPECT_EQ(heard[0].kind, c.kind);
        EXPECT_NE(heard[0].reason.find(c.why), std::string::npos) << heard[0].reason;
        EXPECT_TRUE(vx::ui::TakeMessageBoxRequests().empty());
        EXPECT_EQ(control->PendingPrint(), nullptr);
    }
    vx::ui::SetPrintOutcomeListener(previous);
}

} // namespace
} // namespace plottest
