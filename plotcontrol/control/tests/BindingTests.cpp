// The page's calls into the control: replies, notifications, compile and SVG paths, and requests
// of the wrong shape.
#include "plotcontrol/control/tests/ControlFixture.h"

#include <cstring>

#include "log/Log.h"
#include "ui/Desktop.h"
#include "ui/Window.h"

namespace plottest {
namespace {

using namespace KEL;
using nlohmann::json;

TEST_F(ControlTest, EveryNotificationIdSharesTheTypeHalfAndKindSevenIsUnused)
{
    const DWORD half = EtchNotificationId(kVLinesDragged) >> 16;
    EXPECT_NE(half, 0u) << "the host's type registry gives the index";
    for (const EtchNotificationKind kind :
        { kCompileMarkup, kBadPlotterProperty, kSetSVG, kBoxResized, kXScalingChanged, kYScalingChanged,
            kZoomLevelChanged, kMouseClick, kRegionPosChanged, kRegionTextChanged })
        EXPECT_EQ(EtchNotificationId(kind), (half << 16) | kind);
}

TEST_F(ControlTest, ConstantAnswers)
{
    Create();
    EXPECT_EQ(Call("etch_proxy_IsZoomEnabled", json::array()), json(false));
    EXPECT_EQ(Call("etch_proxy_RequestEquation", { "eq" }), json(""));
    EXPECT_EQ(Call("etch_proxy_SetZoomState", { "z", true, false }), json(true));
    EXPECT_TRUE(recorder->notices.empty());
}

TEST_F(ControlTest, HasDataFollowsTheRegisteredSources)
{
    Create();
    EXPECT_EQ(Call("etch_proxy_HasData", json::array()), json(false));
    auto* source = new FloatSource({ 1, 2 });
    control->SetEnumSource(String(L"$RR"), source);
    EXPECT_EQ(Call("etch_proxy_HasData", json::array()), json(true));
    control->ClearDataSources();
    EXPECT_EQ(Call("etch_proxy_HasData", json::array()), json(false));
    source->Release();
}

// The settings-carrying calls notify with the values as sent, and not at all for no values.
TEST_F(ControlTest, SettingsCallsNotifyWithTheirValues)
{
    Create();
    const struct {
        const char* binding;
        DWORD kind;
        json settings;
        std::int64_t count;
        int flag;
    } cases[] = {
        { "etch_proxy_VLinesDragged", kVLinesDragged, { 0.04, 0.15, 0.4 }, 3, -1 },
        { "etch_proxy_BoxResized", kBoxResized, { -1, 1, -2, 2 }, 4, -1 },
        { "etch_proxy_ZoomLevelChanged", kZoomLevelChanged, { 0, 5, 1, 9 }, 4, -1 },
        { "etch_proxy_XScalingChanged", kXScalingChanged, { 0, 10, 1 }, 2, 1 },
        { "etch_proxy_YScalingChanged", kYScalingChanged, { -3, 3, 0 }, 2, 0 },
    };
    for (const auto& c : cases) {
        recorder->notices.clear();
        EXPECT_EQ(Call(c.binding, { "item", c.settings }), json(true)) << c.binding;
        ASSERT_EQ(recorder->notices.size(), 1u) << c.binding;
        const Notice& n = recorder->notices[0];
        EXPECT_EQ(n.kind, c.kind);
        EXPECT_EQ(n.texts, std::vector<std::wstring> { L"item" });
        EXPECT_EQ(n.values, c.settings.get<std::vector<double>>());
        EXPECT_EQ(n.count, c.count);
        EXPECT_EQ(n.flag, c.flag);

        recorder->notices.clear();
        EXPECT_EQ(Call(c.binding, { "item", json::array() }), json(true));
        EXPECT_TRUE(recorder->notices.empty()) << c.binding;
    }
}

TEST_F(ControlTest, RegionAndPropertyCallsNotify)
{
    Create();
    EXPECT_EQ(Call("etch_proxy_RegionPosChanged", { "note", 0.25, 0.75 }), json(true));
    EXPECT_EQ(Call("etch_proxy_RegionTextChanged", { "note", "Résumé" }), json(true));
    EXPECT_EQ(Call("etch_proxy_BadPlotterProperty", { "local", "bar", "colour", "colour" }), json(true));
    EXPECT_EQ(Call("etch_proxy_BadPlotterProperty", { "local", "bar", "fill", "boolean", "true" }), json(true));
    const auto& n = recorder->notices;
    ASSERT_EQ(n.size(), 4u);
    EXPECT_EQ(n[0].kind, kRegionPosChanged);
    EXPECT_EQ(n[0].values, (std::vector<double> { 0.25, 0.75 }));
    EXPECT_EQ(n[1].texts, (std::vector<std::wstring> { L"note", L"R\u00e9sum\u00e9" }));
    EXPECT_EQ(n[2].texts, (std::vector<std::wstring> { L"bar", L"colour", L"colour", L"" }));
    EXPECT_EQ(n[3].texts, (std::vector<std::wstring> { L"bar", L"fill", L"boolean", L"true" }));
}

TEST_F(ControlTest, CompiledMarkupIsRepliedNotifiedAndRunInThePlot)
{
    Create();
    vx::log::Capture log;
    EXPECT_EQ(Call("etch_proxy_CompileMarkup", { "lo'cal", "title: 'T'" }), json(true));
    ASSERT_EQ(recorder->notices.size(), 1u);
    EXPECT_EQ(recorder->notices[0].kind, kCompileMarkup);
    EXPECT_EQ(recorder->notices[0].flag, 1);
    const std::string& script = Evaluated().back();
    EXPECT_EQ(script.rfind("etch.get_plot('lo\\'cal').setup(", 0), 0u) << script;
    EXPECT_NE(script.find("'T'"), std::string::npos);
}

// A markup that does not compile settles the page's promise with false and shows why in the plot:
// the parser's text (which names the line once), or what is wrong with a text it has no words for.
TEST_F(ControlTest, MarkupThatDoesNotCompileRepliesFalseAndShowsTheError)
{
    Create();
    const struct {
        const char* markup;
        const char* shown; // the start of the text shown
    } cases[] = {
        { "a: 1 b: 2", "Markup error: Missing comma on line 1: a: 1_ b: 2')" },
        { "title: 'T',\ntplot: {id: 'x' colour: #ff0000ff}", "Markup error: Expected " },
        { "= 3", "Markup error: the markup does not start with a declaration (name: value)')" },
        { " \n ", "Markup error: the markup is empty')" },
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.markup);
        recorder->notices.clear();
        EXPECT_EQ(Call("etch_proxy_CompileMarkup", { "local", c.markup }), json(false));
        ASSERT_EQ(recorder->notices.size(), 1u);
        EXPECT_EQ(recorder->notices[0].flag, 0);
        const std::string& script = Evaluated().back();
        const std::string call = "etch.get_plot('local').show_error('";
        ASSERT_EQ(script.rfind(call, 0), 0u) << script;
        EXPECT_EQ(script.compare(call.size(), std::strlen(c.shown), c.shown), 0) << script;
        const std::size_t line = script.find(" on line ");
        if (line != std::string::npos) {
            EXPECT_EQ(script.find(" on line ", line + 1), std::string::npos) << "the line told twice: " << script;
        }
    }
    // The second case's error lies on its second line.
    Call("etch_proxy_CompileMarkup", { "local", cases[1].markup });
    EXPECT_NE(Evaluated().back().find(" on line 2: "), std::string::npos) << Evaluated().back();
}

// Requests of the wrong shape reject the page's promise with the JSON library's text and leave
// the control working.
TEST_F(ControlTest, WrongShapesRejectThePromiseWithTheErrorText)
{
    Create();
    const struct {
        const char* binding;
        const char* request;
        const char* error;
    } cases[] = {
        { "etch_proxy_HasData", "{}", "cannot use operator[] with a numeric argument with object" },
        { "etch_proxy_CompileMarkup", "[\"local\"]", "out of range" },
        { "etch_proxy_RequestPixData", "[\"$A\", \"0\", 1, 10]", "type must be number, but is string" },
        { "etch_proxy_SetZoomState", "[\"z\", 1, 0]", "type must be boolean, but is number" },
        { "etch_proxy_XScalingChanged", "[\"local\", [0, \"1\"]]", "type must be number, but is string" },
        { "etch_proxy_MakeDropMenu", "[\"local\", 0, 0, 0, 1, 1, true, 0]", "out of range" },
        { "etch_proxy_RegionPosChanged", "not json", "parse error" },
    };
    for (const auto& c : cases) {
        const std::string id = View().Call(c.binding, c.request);
        const auto reply = View().ReplyTo(id);
        ASSERT_TRUE(reply) << c.binding;
        EXPECT_NE(reply->status, 0) << c.binding;
        EXPECT_NE(reply->result.find(c.error), std::string::npos) << c.binding << ": " << reply->result;
    }
    EXPECT_TRUE(recorder->notices.empty());
    EXPECT_EQ(Call("etch_proxy_HasData", json::array()), json(false));
}

TEST_F(ControlTest, MakeDropMenuWithoutAWindowAnswersFalse)
{
    // The page may still call after the control's window went.
    Create();
    vx::ui::DestroyWindow(control->GetHandle());
    EXPECT_EQ(Call("etch_proxy_MakeDropMenu", { "local", 0, 0, 0, 1, 1, true, 0, 1 }), json(false));
}

TEST_F(ControlTest, RepliesWriteNonFiniteNumbersAsNull)
{
    Create();
    auto* source
        = new FloatSource({ 1, std::numeric_limits<float>::quiet_NaN(), std::numeric_limits<float>::infinity() });
    control->SetEnumSource(String(L"$V"), source);
    EXPECT_EQ(Call("etch_proxy_RequestPixData", { "$V", 0, 1, 3 }), json({ 1.0, nullptr, nullptr }));
    EXPECT_EQ(lastReply->result, R"({"result":[1.0,null,null]})");
    source->Release();
}

TEST_F(ControlTest, CopiedSvgGoesToTheClipboardAndIsNotified)
{
    Create();
    const std::string svg
        = R"(<svg xmlns="http://www.w3.org/2000/svg" width="40" height="20"><rect width="10" height="10"/></svg>)";
    EXPECT_EQ(Call("etch_proxy_SetSVG", { "local", "copy", svg }), json(true));
    const auto text = vx::ui::GetClipboardData(SvgClipboardFormat());
    ASSERT_TRUE(text);
    EXPECT_NE(std::string(text->begin(), text->end()).find("<svg"), std::string::npos);
    EXPECT_TRUE(vx::ui::IsClipboardFormatAvailable(vx::ui::CF_ENHMETAFILE));
    ASSERT_EQ(recorder->notices.size(), 1u);
    EXPECT_EQ(recorder->notices[0].kind, kSetSVG);
    EXPECT_EQ(recorder->notices[0].texts[1], L"copy");
}

TEST_F(ControlTest, PrintSvgWithoutAPendingPrintOnlyNotifies)
{
    Create();
    EXPECT_EQ(Call("etch_proxy_SetSVG", { "local", "print", "<svg/>" }), json(true));
    EXPECT_EQ(Call("etch_proxy_SetSVG", { "local", "other", "<svg/>" }), json(true));
    ASSERT_EQ(recorder->notices.size(), 2u);
    EXPECT_EQ(recorder->notices[0].texts, (std::vector<std::wstring> { L"local", L"print", L"<svg/>" }));
}

// A renderer failure is caught: the kept print dialog goes, one line is logged and the page hears
// false.
TEST_F(ControlTest, SvgThatCannotBeRenderedRepliesFalseAndReleasesThePrint)
{
    Create();
    SetPlotPrintDialogHandler([](vx::ui::HWND, PlotPrintDialog& dialog) {
        dialog.outputPath = ::testing::TempDir() + "never.pdf";
        return true;
    });
    control->Print(String(L"Histogram"));
    SetPlotPrintDialogHandler({});
    ASSERT_NE(control->PendingPrint(), nullptr);
    vx::log::Capture log;
    EXPECT_EQ(Call("etch_proxy_SetSVG", { "local", "print", "<not svg" }), json(false));
    EXPECT_EQ(control->PendingPrint(), nullptr);
    const auto lines = log.Lines();
    EXPECT_EQ(std::count_if(lines.begin(), lines.end(),
                  [](const std::string& l) { return l.find("etch_proxy_SetSVG") != std::string::npos; }),
        1);
    vx::ui::TakeMessageBoxRequests();
    EXPECT_EQ(Call("etch_proxy_SetSVG", { "local", "copy", "<not svg" }), json(false));
    EXPECT_EQ(recorder->notices.size(), 2u);
    vx::ui::TakeMessageBoxRequests();
}

} // namespace
} // namespace plottest
