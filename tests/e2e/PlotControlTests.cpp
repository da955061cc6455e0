// Every plotter type through the real plot control in WebKitGTK under the virtual display: the
// markup goes in as a view sends it, the page compiles it through the control, asks the control
// for its numbers and labels, and draws. The test then looks at the screen (the plotter's own
// colours in the plot area, tick labels beside it), has the page copy the plot, checks that the
// SVG stays inside what the printable reader reads, and looks at the picture that copy put on
// the clipboard, drawn by that reader.
#include <gtest/gtest.h>

#include <algorithm>
#include <climits>
#include <cmath>
#include <cstdlib>
#include <fstream>
#include <numbers>

#include "PlotControlHarness.h"
#include "PrintableSvgSubset.h"
#include "VirtualDisplay.h"
#include "log/Log.h"
#include "plotcontrol/control/EtchNotifications.h"
#include "plotcontrol/svg/PlotOutput.h"
#include "ui/Backend.h"
#include "ui/Controls.h"
#include "ui/Desktop.h"
#include "ui/Dialog.h"
#include "ui/EventLoop.h"
#include "ui/MessageQueue.h"
#include "ui/Window.h"
#include "ui/gtk/GtkBackend.h"
#include "webview/WebKitEngine.h"

// The X server's input, as a user's pointer moves (last: its macros would meet the names above).
#include <X11/Xlib.h>
#include <X11/extensions/XTest.h>

namespace {

using nlohmann::json;
using namespace vx::e2e;
namespace ui = vx::ui;

bool gReady = false;
std::string gWhy;

// Text counts as ink of any grey near black: how dark anti-aliased glyphs come out depends on
// the fonts installed.
constexpr int kTextInk = 170;
constexpr int kWaitMs = 20000;
constexpr int kWidth = 520;
constexpr int kHeight = 380;

std::vector<float> Series(int n, float (*f)(int))
{
    std::vector<float> v(static_cast<std::size_t>(n));
    for (int i = 0; i < n; ++i)
        v[std::size_t(i)] = f(i);
    return v;
}

struct Source {
    std::wstring id;
    std::vector<float> values;
    std::vector<std::wstring> labels;
};

// What must show in a region of the plot: at least `min` (at most `max`) pixels near `colour`.
// Regions: "area" (the plot area), "bottom" (its lowest 16 pixels), or the box of a region
// plotter by its type ("legend", "text_region").
struct Probe {
    const char* what;
    const char* region;
    ui::Colour colour;
    int min;
    int max = INT_MAX;
    int tolerance = 24;
};

// A place in data units where `colour` must (or must not) show, within 2 pixels.
struct Mark {
    const char* what;
    double x, y;
    ui::Colour colour;
    bool drawn;
    int tolerance = 110;
};

struct PlotCase {
    const char* name;
    std::wstring markup;
    std::vector<Source> sources;
    std::vector<Probe> probes;
    // Steps in the page once the plot has painted (mouse input), and the notification they make
    // the control send (-1: none).
    std::string then = {};
    int notice = -1;
    std::vector<Mark> marks = {};
};

void PrintTo(const PlotCase& c, std::ostream* out)
{
    *out << c.name;
}

constexpr ui::Colour Rgb(int r, int g, int b)
{
    return ui::Colour::Rgb(std::uint8_t(r), std::uint8_t(g), std::uint8_t(b));
}

const ui::Colour kBlue = Rgb(0x1f, 0x3f, 0xbf);
constexpr double kHalfRoot2 = std::numbers::sqrt2 / 2;
const ui::Colour kBlack = Rgb(0, 0, 0);

std::vector<float> Rr()
{
    auto rr = Series(300, [](int i) { return 0.82f + 0.06f * std::sin(i / 9.0f) + 0.01f * std::sin(i * 1.7f); });
    rr[150] = std::nanf(""); // a gap
    return rr;
}
std::vector<float> PoincareX()
{
    return Series(200, [](int i) { return 0.82f + 0.06f * std::sin(i / 5.0f); });
}
std::vector<float> PoincareY()
{
    return Series(200, [](int i) { return 0.82f + 0.06f * std::sin((i + 1) / 5.0f); });
}

const std::wstring kTplotRr
    = L"tplot: {id: 'rr', xdata: [0:1:end], ydata: '$RR' [0:1:2147483647], colour: #1f3fbfff}, ";
const std::wstring kGrey = L"graticule: { colour: #c8c8c8ff }, ";

std::vector<PlotCase> Cases()
{
    const Source rr { L"$RR", Rr(), {} };
    return {
        { "timeplot_and_cursor",
            L"topmargin: 40, rightmargin: 40, tplot: {id: 'hrv_tachogram_view', cursor: { readout: 'RR Interval {0} = "
            L"{1} s' }, "
            L"xdata: [0:1:end], ydata: '$RR' [0:1:2147483647], colour: #1f3fbfff}, "
                + kGrey + L"xlabel: 'Interval Number', ylabel: 'RR Interval (s)', ",
            { rr },
            { { "line", "area", kBlue, 250 }, { "cursor lines", "area", Rgb(128, 128, 128), 100, INT_MAX, 40 } },
            "await hover(0.4, 0.3);" },
        { "scatter_and_ellipse",
            L"topmargin: 40, rightmargin: 40, scatter: {id: 'hrv_poincare_view', cursor: { readout: '{0} s, {1} s' }, "
            L"ellipse: {x: 0.82, y: 0.82, a: 0.08, b: 0.03, rotate: -45, colour: #000000ff, draw_axes: true}, "
            L"xdata: '$PX' [0:1:2147483647], ydata: '$PY' [0:1:2147483647], colour: #1f3fbfff}, "
            L"graticule: { colour: #c8c8c8ff, style: 'dashed' }, xlabel: 'RR Interval (s)', ylabel: 'Next RR Interval "
            L"(s)', ",
            { { L"$PX", PoincareX(), {} }, { L"$PY", PoincareY(), {} } }, { { "points", "area", kBlue, 300 } }, {}, -1,
            // rotate: -45 lays the long axis (a) along the line of identity, the short one (b)
            // across it: 0.9 a from the centre, a's line shows along x = y and nothing across.
            { { "a up the line of identity", 0.82 + 0.9 * 0.08 * kHalfRoot2, 0.82 + 0.9 * 0.08 * kHalfRoot2, kBlack,
                  true },
                { "a down the line of identity", 0.82 - 0.9 * 0.08 * kHalfRoot2, 0.82 - 0.9 * 0.08 * kHalfRoot2, kBlack,
                    true },
                { "b across it", 0.82 - 0.9 * 0.03 * kHalfRoot2, 0.82 + 0.9 * 0.03 * kHalfRoot2, kBlack, true },
                { "no axis down-right across it", 0.82 + 0.9 * 0.08 * kHalfRoot2, 0.82 - 0.9 * 0.08 * kHalfRoot2,
                    kBlack, false },
                { "no axis up-left across it", 0.82 - 0.9 * 0.08 * kHalfRoot2, 0.82 + 0.9 * 0.08 * kHalfRoot2, kBlack,
                    false } } },
        { "box",
            L"scatter: {id: 'hrv_classifier_view', box: {id: 'classifier_box', colour: #ff0000ff, showvalues: true, "
            L"draggable: true, range_x: { min: 700, max: 900}, range_y: { min: 0.1, max: 0.5}, "
            L"plotcolours: [#0050ffff, #ff00aaff, #00a000ff, #ffaa00ff]}, xdata: '$CX' [0:1:end], ydata: '$CY' "
            L"[0:1:end], "
            L"colour: #1f3fbfff}, "
                + kGrey + L"xlabel: 'RR Interval (ms)', ylabel: 'Complexity', ",
            { { L"$CX", Series(200, [](int i) { return 800.0f + 150.0f * std::sin(float(i)); }), {} },
                { L"$CY", Series(200, [](int i) { return 0.3f + 0.25f * std::cos(i * 1.3f); }), {} } },
            { { "box", "area", Rgb(255, 0, 0), 200 }, { "points inside", "area", Rgb(0, 0x50, 0xff), 30 },
                { "points left of it", "area", Rgb(0xff, 0, 0xaa), 30 },
                { "points right of it", "area", Rgb(0, 0xa0, 0), 30 } },
            "await drag(0.5, 0.5, 0.6, 0.5);", KEL::kBoxResized },
        { "histogram",
            L"histogram: {id: 'hrv_rr_histogram_view', bins: [0.6:0.02:end], heights: '$HIST' [0:1:end], colour: "
            L"#000000ff, "
            L"fillcolour: #1f3fbfff}, "
                + kGrey + L"xlabel: 'RR Interval (s)', ylabel: 'Count', ",
            { { L"$HIST",
                Series(25, [](int i) { return std::round(50.0f * std::exp(-(i - 11.0f) * (i - 11.0f) / 18.0f)); }),
                {} } },
            { { "bars", "area", kBlue, 2000 } } },
        { "bar_with_native_labels",
            L"bar: {id: 'bands', heightsgroup: '$BANDS' [0:1:end], xlabels: '$BANDS' #000000ff, centered_xlabels: "
            L"true, "
            L"colour: #000000ff, fillcolour: #2e8b57ff}, ylabel: 'Power (ms^2)', ",
            { { L"$BANDS", { 310, 820, 450 }, { L"VLF", L"LF", L"HF" } } },
            { { "bars", "area", Rgb(0x2e, 0x8b, 0x57), 3000 }, { "labels", "bottom", kBlack, 12, INT_MAX, 70 } } },
        { "vlines",
            L"tplot: {id: 'hrv_spectrum_view', vlines: {id: 'spectrum_freq_bands', colour: #787878ff, "
            L"fillcolours: [#0000ff40, #00ff0040], showvalues: true, textcolour: 'blue', draggable: true, "
            L"positions: [[0, 0.04], [0.04, 0.15]]}, xdata: [0:0.01:end], ydata: '$PSD' [0:1:end], colour: #1f3fbfff}, "
                + kGrey + L"xlabel: 'Frequency (Hz)', ylabel: 'Power (s^2/Hz)', ",
            { { L"$PSD", Series(50, [](int i) { return 0.0008f * std::exp(-(i - 10.0f) * (i - 10.0f) / 10.0f); }),
                {} } },
            { { "first band", "area", OverWhite(Rgb(0, 0, 255), 0x40), 1500, INT_MAX, 10 },
                { "second band", "area", OverWhite(Rgb(0, 255, 0), 0x40), 3000, INT_MAX, 10 },
                { "lines", "area", Rgb(120, 120, 120), 300, INT_MAX, 10 } },
            "await drag(0.15 / 0.49, 0.5, 0.4, 0.5);", KEL::kVLinesDragged },
        { "legend",
            L"legend: {id: 'hrv_legend', titles: ['Measured', 'Mean'], x_percent: 0.6, y_percent: 0.15}, " + kTplotRr
                + L"tplot: {id: 'mean', xdata: [0:1:end], ydata: '$MEAN' [0:1:end], colour: #e07000ff}, " + kGrey,
            { rr, { L"$MEAN", std::vector<float>(300, 0.8f), {} } },
            { { "entry text", "legend", kBlack, 40, INT_MAX, kTextInk }, { "first entry", "legend", kBlue, 12 },
                { "second entry", "legend", Rgb(0xe0, 0x70, 0), 12 } },
            "await drag(0.58, 0.21, 0.7, 0.4);", KEL::kRegionPosChanged },
        { "text_region",
            L"text_region: {id: 'note', text: 'Supine rest', font_size: 16, x_percent: 0.3, y_percent: 0.3}, "
                + kTplotRr + kGrey,
            { rr }, { { "text", "text_region", kBlack, 60, INT_MAX, kTextInk } } },
        { "fractal",
            L"frac: {iterations: 24}, fullrange_xscalemin: -2, fullrange_xscalemax: 0.8, fullrange_yscalemin: -1.2, "
            L"fullrange_yscalemax: 1.2, ",
            {},
            { { "set", "area", kBlack, 3000, INT_MAX, 10 }, { "edge", "area", Rgb(255, 0, 0), 300, INT_MAX, 10 } } },
        { "graticule", L"grat: { colour: #00a0a0ff, minor_colour: #c0f0f0ff, style: 'dotted' }, " + kTplotRr, { rr },
            { { "grid", "area", Rgb(0, 0xa0, 0xa0), 150 }, { "line", "area", kBlue, 250 } } },
        { "no_graticule", L"grat: null, " + kTplotRr, { rr },
            { { "default grid", "area", Rgb(152, 255, 255), 0, 0, 10 }, { "line", "area", kBlue, 250 } } },
        { "drag_scroller", L"drag_scroller: {}, " + kTplotRr + kGrey, { rr }, { { "line", "area", kBlue, 250 } },
            "await drag(0.5, 0.5, 0.3, 0.5);", KEL::kXScalingChanged },
        { "zoom", kTplotRr + kGrey, { rr }, { { "line", "area", kBlue, 250 } },
            "plot.root.querySelector('button[title=\"Zoom in\"]').click(); await frame(); await frame();",
            KEL::kZoomLevelChanged },
    };
}

ui::Rect Region(const json& painted, const char* region)
{
    const std::string name = region;
    if (name == "area")
        return RectOf(painted.at("area"), 3);
    if (name == "bottom") {
        ui::Rect a = RectOf(painted.at("area"), 2);
        a.top = a.bottom - 16;
        return a;
    }
    return RectOf(painted.at("boxes").at(name), 1);
}

void ExpectProbes(const PlotCase& c, const ui::Bitmap& image, const json& painted, const char* where)
{
    for (const Probe& p : c.probes) {
        const int n = CountNear(image, Region(painted, p.region), p.colour, p.tolerance);
        EXPECT_GE(n, p.min) << where << ": " << p.what;
        EXPECT_LE(n, p.max) << where << ": " << p.what;
    }
    // Marks in data units, placed through the scales the page reported.
    const json& scales = painted.at("scales");
    for (const Mark& m : c.marks) {
        const auto pix = [](const json& s, int at, double v) {
            const double zero = s[at].get<double>(), one = s[at + 1].get<double>();
            return static_cast<int>(std::lround(zero + (one - zero) * v));
        };
        const int x = pix(scales, 0, m.x), y = pix(scales, 2, m.y);
        const int n = CountNear(image, { x - 2, y - 2, x + 3, y + 3 }, m.colour, m.tolerance);
        if (m.drawn)
            EXPECT_GT(n, 0) << where << ": " << m.what << " at pixel " << x << ", " << y;
        else
            EXPECT_EQ(n, 0) << where << ": " << m.what << " at pixel " << x << ", " << y;
    }
    // The scales beside the plot area carry their tick labels: ink of any grey, since how dark
    // and how far below the axis the text is depends on the fonts installed.
    const ui::Rect area = RectOf(painted.at("area"));
    constexpr int kInk = 170;
    EXPECT_GE(CountDark(image, { 0, area.top, area.left - 6, area.bottom }, kInk), 30) << where << ": y scale labels";
    EXPECT_GE(CountDark(image, { area.left, area.bottom + 3, area.right, area.bottom + 24 }, kInk), 30)
        << where << ": x scale labels";
}

void Save(const ui::Bitmap& image, const std::string& name)
{
    if (const char* dir = std::getenv("VX_E2E_SHOTS"))
        image.SavePng(std::string(dir) + "/" + name + ".png");
}

class PlotterTypes : public testing::TestWithParam<PlotCase> {
protected:
    void SetUp() override
    {
        ASSERT_TRUE(gReady) << "no web view here: " << gWhy;
        // A failing copy says so in a message box: answered here, and kept for the test to see.
        previousBoxes = ui::SetMessageBoxHandler([this](const ui::MessageBoxRequest& r) {
            messageBoxes.push_back(r.text);
            return ui::IDOK;
        });
    }
    void TearDown() override
    {
        if (gReady)
            ui::SetMessageBoxHandler(previousBoxes);
    }
    ui::MessageBoxHandler previousBoxes;
    std::vector<std::wstring> messageBoxes;
};

TEST_P(PlotterTypes, AreDrawnFromMarkupAndCopiedInsideThePrintableSubset)
{
    const PlotCase& c = GetParam();
    vx::log::Capture log;
    PlotWindow window(L"plot", 40, 40, kWidth, kHeight);
    ASSERT_TRUE(window.Ok());
    std::vector<SeriesSource*> sources;
    for (const Source& s : c.sources)
        sources.push_back(window.AddSource(s.id, s.values, s.labels));

    ASSERT_TRUE(window.SetMarkupAndWatch(c.markup, c.then));
    const auto painted = window.WaitForReport("painted", kWaitMs);
    ASSERT_TRUE(painted) << testing::PrintToString(window.ScriptErrors()) << testing::PrintToString(log.Lines());
    EXPECT_TRUE(window.ScriptErrors().empty()) << testing::PrintToString(window.ScriptErrors());
    for (const std::string& line : log.Lines())
        EXPECT_EQ(line.find("script error"), std::string::npos) << line;
    EXPECT_TRUE((*painted)["error"].is_null()) << painted->dump();

    // Compiled by the control, no property refused, and every source read through the bindings.
    const auto compiled = window.Notices().Of(KEL::kCompileMarkup);
    ASSERT_EQ(compiled.size(), 1u);
    EXPECT_EQ(compiled[0].flag, 1);
    for (const PlotNotice& bad : window.Notices().Of(KEL::kBadPlotterProperty))
        ADD_FAILURE() << "bad property: " << testing::PrintToString(bad.texts);
    for (std::size_t i = 0; i < sources.size(); ++i)
        EXPECT_GT(sources[i]->blocksRead, 0) << "source " << testing::PrintToString(c.sources[i].id) << " was not read";
    for (const json& p : (*painted)["plotters"]) {
        if (p[0] == "timeplot" || p[0] == "scatter" || p[0] == "histogram" || p[0] == "bar") {
            EXPECT_GT(p[1].get<int>(), 0) << p.dump();
        }
    }
    if (c.notice >= 0) {
        EXPECT_FALSE(window.Notices().Of(unsigned(c.notice)).empty())
            << "the steps in the page sent no notification " << c.notice;
    }

    // What the display shows, once the compositor has caught up with the page.
    // Every probe that asks for something drawn is waited for (a grid may show before the trace).
    ui::BitmapPtr shot;
    ui::RunGtkUntil(
        [&] {
            shot = window.Screenshot();
            return shot && std::all_of(c.probes.begin(), c.probes.end(), [&](const Probe& p) {
                return p.max != INT_MAX || CountNear(*shot, Region(*painted, p.region), p.colour, p.tolerance) >= p.min;
            });
        },
        3000);
    ASSERT_TRUE(shot);
    Save(*shot, c.name);
    ExpectProbes(c, *shot, *painted, "screen");

    // The copy: SVG through the SetSVG binding, drawn by the printable reader onto the clipboard.
    ASSERT_TRUE(window.Control().ExecJavaScript(KEL::String(L"etch.get_plot('local').copy('copy');")));
    const auto copied = window.WaitForNotice(KEL::kSetSVG, kWaitMs);
    ASSERT_TRUE(copied);
    ASSERT_EQ(copied->texts.size(), 3u);
    EXPECT_EQ(copied->texts[1], "copy");
    const std::string& svg = copied->texts[2];
    if (const char* dir = std::getenv("VX_E2E_SHOTS"))
        std::ofstream(std::string(dir) + "/" + c.name + ".svg") << svg;
    EXPECT_EQ(OutsidePrintableSubset(svg), std::vector<std::string>()) << svg.substr(0, 2000);
    EXPECT_TRUE(messageBoxes.empty()) << testing::PrintToString(messageBoxes);
    const auto png = ui::GetClipboardData(KEL::PngClipboardFormat());
    ASSERT_TRUE(png);
    ui::BitmapPtr picture = ui::Bitmap::FromPng(*png);
    ASSERT_TRUE(picture);
    EXPECT_EQ(picture->Width(), (*painted)["size"][0].get<int>());
    EXPECT_EQ(picture->Height(), (*painted)["size"][1].get<int>());
    Save(*picture, std::string(c.name) + "_copy");
    ExpectProbes(c, *picture, *painted, "copy");
    EXPECT_EQ(ui::GetClipboardData(KEL::SvgClipboardFormat()), std::vector<std::uint8_t>(svg.begin(), svg.end()));
}

INSTANTIATE_TEST_SUITE_P(InWebKit, PlotterTypes, testing::ValuesIn(Cases()),
    [](const testing::TestParamInfo<PlotCase>& info) { return std::string(info.param.name); });

// The scale menu's Set Scale... opens its dialog where the pointer is, also when the pointer
// has only moved over the plot's web view (whose input never reaches the window system's
// messages).
TEST(ScaleRangeDialog, OpensAtThePointerOverThePlot)
{
    if (!gReady)
        GTEST_SKIP() << "no web view here: " << gWhy;
    PlotWindow window(L"plot", 40, 40, kWidth, kHeight);
    ASSERT_TRUE(window.Ok());
    window.AddSource(L"$RR", Rr());
    ASSERT_TRUE(window.SetMarkupAndWatch(kTplotRr + kGrey));
    ASSERT_TRUE(window.WaitForReport("painted", kWaitMs));

    Display* x = XOpenDisplay(nullptr);
    ASSERT_NE(x, nullptr);
    for (const ui::Point client : { ui::Point { 200, 120 }, ui::Point { 330, 90 } }) {
        ui::Point pointer = client;
        ui::ClientToScreen(window.Frame(), &pointer);
        XTestFakeMotionEvent(x, -1, pointer.x, pointer.y, 0);
        XSync(x, False);
        ui::RunGtkUntil([] { return false; }, 200);
        std::optional<ui::Rect> placed;
        const auto previous = ui::SetDialogScript([&](ui::HWND dialog) {
            ui::Rect r;
            ui::GetWindowRect(dialog, &r);
            placed = r;
            ui::PostMessage(dialog, ui::WM_COMMAND, ui::MAKEWPARAM(ui::IDCANCEL, ui::BN_CLICKED), 0);
        });
        ui::SendMessage(window.Control().GetHandle(), ui::WM_COMMAND, KEL::kMenuSetScale, 0);
        ui::RunGtkUntil([&] { return placed.has_value(); }, kWaitMs);
        ui::SetDialogScript(previous);
        ASSERT_TRUE(placed) << "the dialog did not open";
        EXPECT_EQ(placed->left, pointer.x);
        EXPECT_EQ(placed->top, pointer.y);
    }
    XCloseDisplay(x);
}

} // namespace

int main(int argc, char** argv)
{
    testing::InitGoogleTest(&argc, argv);
    vx::e2e::SkipUnlessInstalled({ "Xvfb" });
    RunWebViewTestsOnDisplay("vx_plot_e2e_", 60, true, gReady, gWhy);
}
