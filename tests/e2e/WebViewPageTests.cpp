// The web view over WebKitGTK under a virtual display, through the calls the plot control makes:
// pages loaded from text, start-up scripts, bound functions answered from native code, queued
// scripts, our resource scheme, the page shown over its widget window, and the real plot page.
// One Xvfb and one temporary home serve the whole run; every test has a watchdog.
#include <gtest/gtest.h>

#include <gtk/gtk.h>
#include <nlohmann/json.hpp>

#include <cstdlib>
#include <functional>
#include <list>
#include <stdexcept>
#include <string>
#include <thread>
#include <vector>

#include "PlotControlHarness.h"
#include "VirtualDisplay.h"
#include "log/Log.h"
#include "plotcontrol/compiler/MarkupScript.h"
#include "plotcontrol/page/EtchPage.h"
#include "ui/Backend.h"
#include "ui/Gdi.h"
#include "ui/Window.h"
#include "ui/gtk/GtkBackend.h"
#include "webview/WebKitEngine.h"
#include "webview/WebView.h"

namespace {

using nlohmann::json;
namespace ui = vx::ui;

bool gReady = false;
std::string gWhy;

constexpr int kWaitMs = 10000;

bool WaitFor(const std::function<bool()>& done)
{
    return ui::RunGtkUntil(done, kWaitMs);
}

constexpr wchar_t kFrameClass[] = L"VxWebViewTestFrame";

void RegisterFrameClass()
{
    static const bool registered = ui::RegisterClass({ kFrameClass, 0, ui::DefWindowProc });
    (void)registered;
}

// Screenshots are taken from the display: frames shown together must not overlap.
ui::HWND MakeFrame(const wchar_t* title, int x, int width, int height)
{
    RegisterFrameClass();
    return ui::CreateWindowEx(0, kFrameClass, title, ui::WS_OVERLAPPED | ui::WS_CAPTION | ui::WS_VISIBLE, x, 40, width,
        height, nullptr, 0, nullptr);
}

ui::HWND MakeChild(ui::HWND parent, int x, int y, int width, int height)
{
    RegisterFrameClass();
    return ui::CreateWindowEx(0, kFrameClass, L"", ui::WS_CHILD | ui::WS_VISIBLE | ui::WS_CLIPCHILDREN, x, y, width,
        height, parent, 7, nullptr);
}

// A web view made as the plot control makes it (its own top-level window, then the widget window
// moved into a window of ours), with a `report` binding through which test pages hand back what
// they saw.
class WebViewPage : public testing::Test {
protected:
    void SetUp() override
    {
        ASSERT_TRUE(gReady) << "no web view here: " << gWhy;
        w = webview_create(1, nullptr);
        ASSERT_NE(w, nullptr);
        ASSERT_EQ(BindReport(), WEBVIEW_ERROR_OK);
    }
    webview_error_t BindReport()
    {
        return Bind("report", [this](const std::string& id, const std::string& request) {
            reports.push_back(json::parse(request).at(0));
            webview_return(w, id.c_str(), 0, "true");
        });
    }
    void TearDown() override
    {
        if (w)
            webview_destroy(w);
        for (ui::HWND frame : frames)
            if (ui::IsWindow(frame))
                ui::DestroyWindow(frame);
    }

    using Handler = std::function<void(const std::string& id, const std::string& request)>;
    webview_error_t Bind(const std::string& name, Handler handler)
    {
        Handler& slot = handlers.emplace_back(std::move(handler));
        return webview_bind(w, name.c_str(), &WebViewPage::Trampoline, &slot);
    }
    static void Trampoline(const char* id, const char* request, void* arg)
    {
        (*static_cast<Handler*>(arg))(id, request);
    }

    ui::HWND Widget() const
    {
        return static_cast<ui::HWND>(webview_get_native_handle(w, WEBVIEW_NATIVE_HANDLE_KIND_UI_WIDGET));
    }
    ui::HWND TopWindow() const
    {
        return static_cast<ui::HWND>(webview_get_native_handle(w, WEBVIEW_NATIVE_HANDLE_KIND_UI_WINDOW));
    }
    // The control's steps: the widget window goes into `parent`, sized to its client area; the web
    // view's own top-level window is hidden.
    void ShowIn(ui::HWND parent)
    {
        ui::Rect client;
        ui::GetClientRect(parent, &client);
        webview_set_size(w, client.Width(), client.Height(), WEBVIEW_HINT_NONE);
        ui::SetParent(Widget(), parent);
        ui::ShowWindow(TopWindow(), ui::SW_HIDE);
    }
    bool WaitForReports(std::size_t count)
    {
        return WaitFor([&] { return reports.size() >= count; });
    }

    webview_t w = nullptr;
    std::list<Handler> handlers; // each binding's own
    std::vector<json> reports;
    std::vector<ui::HWND> frames;
};

TEST_F(WebViewPage, BoundFunctionsResolveAndRejectAfterTheStartUpScripts)
{
    vx::log::Capture log;
    std::vector<std::string> requests;
    bool inHandler = false;
    ASSERT_EQ(Bind("echo",
                  [&](const std::string& id, const std::string& request) {
                      requests.push_back(request);
                      inHandler = true;
                      // The reply reaches the page after the handler has returned.
                      EXPECT_EQ(
                          webview_return(w, id.c_str(), 0, (R"({"got":)" + request + "}").c_str()), WEBVIEW_ERROR_OK);
                      EXPECT_EQ(webview_return(w, id.c_str(), 0, "1"), WEBVIEW_ERROR_NOT_FOUND);
                      inHandler = false;
                  }),
        WEBVIEW_ERROR_OK);
    ASSERT_EQ(
        Bind("refuse",
            [&](const std::string& id, const std::string&) { webview_return(w, id.c_str(), 1, "no plot 'x' here"); }),
        WEBVIEW_ERROR_OK);
    ASSERT_EQ(Bind("fails", [&](const std::string&, const std::string&) { throw std::runtime_error("bad request"); }),
        WEBVIEW_ERROR_OK);
    EXPECT_EQ(Bind("echo", [](const std::string&, const std::string&) {}), WEBVIEW_ERROR_DUPLICATE);
    EXPECT_EQ(webview_return(w, "12345", 0, "1"), WEBVIEW_ERROR_NOT_FOUND);

    ASSERT_EQ(webview_init(w, "window.order = ['first start-up script'];"), WEBVIEW_ERROR_OK);
    ASSERT_EQ(webview_init(w, "window.order.push('second start-up script');"), WEBVIEW_ERROR_OK);
    ASSERT_EQ(webview_set_html(w, R"(<!doctype html><html><body><script>
        order.push('page');
        (async () => {
          const r = { order: window.order, bound: typeof window.echo };
          r.echo = await echo(1, 'a"b\u00e9\\', [2.5], null, true, {k: 'v'});
          try { r.refuse = ['resolved', await refuse('x')]; } catch (e) { r.refuse = ['rejected', e]; }
          try { r.fails = ['resolved', await fails()]; } catch (e) { r.fails = ['rejected', e]; }
          await report(r);
        })();
        </script></body></html>)"),
        WEBVIEW_ERROR_OK);
    ASSERT_TRUE(WaitForReports(1));

    const json& r = reports[0];
    EXPECT_EQ(r["order"], json({ "first start-up script", "second start-up script", "page" }));
    EXPECT_EQ(r["bound"], "function");
    ASSERT_EQ(requests.size(), 1u);
    EXPECT_EQ(json::parse(requests[0]), json::parse(R"([1, "a\"bé\\", [2.5], null, true, {"k": "v"}])"));
    EXPECT_EQ(r["echo"]["got"], json::parse(requests[0]));
    EXPECT_EQ(r["refuse"], json({ "rejected", "no plot 'x' here" }));
    EXPECT_EQ(r["fails"], json({ "rejected", "bad request" }));
    const auto lines = log.Lines();
    EXPECT_EQ(std::count_if(lines.begin(), lines.end(),
                  [](const std::string& l) { return l.find("fails failed: bad request") != std::string::npos; }),
        1);

    // Unbinding takes the function from the page shown and from pages loaded later.
    EXPECT_EQ(webview_unbind(w, "echo"), WEBVIEW_ERROR_OK);
    EXPECT_EQ(webview_unbind(w, "echo"), WEBVIEW_ERROR_NOT_FOUND);
    webview_eval(w, "report(typeof window.echo);");
    ASSERT_TRUE(WaitForReports(2));
    EXPECT_EQ(reports[1], "undefined");
    webview_set_html(w, "<script>report([typeof window.echo, typeof window.refuse]);</script>");
    ASSERT_TRUE(WaitForReports(3));
    EXPECT_EQ(reports[2], json({ "undefined", "function" }));
    // The name is free again, and bound while that page may still be loading, the function
    // reaches it.
    ASSERT_EQ(
        Bind("echo", [&](const std::string& id, const std::string&) { webview_return(w, id.c_str(), 0, "\"again\""); }),
        WEBVIEW_ERROR_OK);
    webview_eval(w, "echo().then(report, (e) => report('error ' + e));");
    ASSERT_TRUE(WaitForReports(4)) << testing::PrintToString(log.Lines());
    EXPECT_EQ(reports[3], "again");
}

TEST_F(WebViewPage, ScriptsEvaluatedBeforeTheLoadRunInTheLoadedPageAndTheirErrorsAreLogged)
{
    vx::log::Capture log;
    // One before the page is asked for, one while it loads; both run in it once it has loaded.
    ASSERT_EQ(webview_eval(w, "report(['before', document.getElementById('marker') !== null]);"), WEBVIEW_ERROR_OK);
    ASSERT_EQ(webview_set_html(w, "<!doctype html><p id='marker'>page</p>"), WEBVIEW_ERROR_OK);
    ASSERT_EQ(webview_eval(w, "report(['while', document.getElementById('marker').textContent]);"), WEBVIEW_ERROR_OK);
    ASSERT_EQ(webview_eval(w, "throw new Error('boom in the page');"), WEBVIEW_ERROR_OK);
    // A script whose value is a promise (the plot control's scripts are of that form) is no error.
    ASSERT_EQ(webview_eval(w, "(async () => { await report(['async', 1]); })();"), WEBVIEW_ERROR_OK);
    // A script that ends in a line comment still runs.
    ASSERT_EQ(webview_eval(w, "report(['commented', 2]); // the end"), WEBVIEW_ERROR_OK);
    ASSERT_TRUE(WaitForReports(4));
    EXPECT_EQ(reports[0], json({ "before", true }));
    EXPECT_EQ(reports[1], json({ "while", "page" }));
    EXPECT_EQ(reports[2], json({ "async", 1 }));
    EXPECT_EQ(reports[3], json({ "commented", 2 }));

    const auto lines = log.Lines();
    ASSERT_EQ(lines.size(), 1u) << (lines.empty() ? "" : lines[0]);
    EXPECT_NE(lines[0].find("boom in the page"), std::string::npos) << lines[0];
}

TEST_F(WebViewPage, TheSchemeOfThePageServesTheCursorsAndTheThrobber)
{
    // The plot page's images, from the table the plot module embeds.
    auto previous = vx::webview::SetResourceSource(Etch::GetEtchResource);
    ASSERT_EQ(webview_set_html(w, R"(<!doctype html><body><script>
        const load = (name) => new Promise((done) => {
          const img = new Image();
          img.onload = () => done([name, img.naturalWidth, img.naturalHeight]);
          img.onerror = () => done([name, 'error']);
          img.src = name;
        });
        Promise.all(['cursor_lr_move_t.cur', 'throbber.gif', 'no_such_image.gif'].map(load))
          .then((images) => report({ base: document.baseURI, images }));
        </script></body>)"),
        WEBVIEW_ERROR_OK);
    const bool reported = WaitForReports(1);
    vx::webview::SetResourceSource(previous);
    ASSERT_TRUE(reported);
    EXPECT_EQ(reports[0]["base"], vx::webview::kResourceBase);
    const json& images = reports[0]["images"];
    EXPECT_EQ(images[0], json({ "cursor_lr_move_t.cur", 32, 32 }));
    EXPECT_EQ(images[1][0], "throbber.gif");
    EXPECT_GT(images[1][1].get<int>(), 0);
    EXPECT_EQ(images[2], json({ "no_such_image.gif", "error" }));
}

// Where the page's colour shows in a screenshot of `frame`: the bounding box of its pixels.
ui::Rect RedArea(const ui::BitmapPtr& image)
{
    int left = image->Width(), top = image->Height(), right = 0, bottom = 0;
    for (int y = 0; y < image->Height(); ++y)
        for (int x = 0; x < image->Width(); ++x) {
            const ui::Colour c = image->Pixel(x, y);
            if (c.Red() > 200 && c.Green() < 60 && c.Blue() < 60) {
                left = std::min(left, x);
                top = std::min(top, y);
                right = std::max(right, x + 1);
                bottom = std::max(bottom, y + 1);
            }
        }
    return right > left ? ui::Rect { left, top, right, bottom } : ui::Rect {};
}

std::string Text(const ui::Rect& r)
{
    return "(" + std::to_string(r.left) + "," + std::to_string(r.top) + ")-(" + std::to_string(r.right) + ","
        + std::to_string(r.bottom) + ")";
}

TEST_F(WebViewPage, ThePageShowsOverItsWidgetWindowAndFollowsIt)
{
    ui::HWND frame = MakeFrame(L"web view", 20, 480, 360);
    ui::HWND other = MakeFrame(L"another window", 600, 320, 240);
    frames = { frame, other };
    ui::HWND host = MakeChild(frame, 60, 40, 300, 200);
    ShowIn(host);
    ASSERT_EQ(webview_set_html(w,
                  "<!doctype html><body style='margin:0;background:rgb(230,20,20)'>"
                  "<script>report('shown');</script></body>"),
        WEBVIEW_ERROR_OK);
    ASSERT_TRUE(WaitForReports(1));

    auto redIn = [](ui::HWND window) {
        ui::BitmapPtr shot = ui::ScreenshotWindow(window);
        return shot ? RedArea(shot) : ui::Rect {};
    };
    ui::Rect red;
    auto waitForRed = [&](ui::HWND window, ui::Rect expected) {
        return WaitFor([&] { return (red = redIn(window)) == expected; });
    };
    EXPECT_TRUE(waitForRed(frame, ui::Rect { 60, 40, 360, 240 })) << Text(red);
    if (const char* dir = std::getenv("VX_E2E_SHOTS"))
        if (auto shot = ui::ScreenshotWindow(frame))
            shot->SavePng(std::string(dir) + "/webview_in_frame.png");

    // Moved and sized with its window; clipped by its parent's client area.
    ui::MoveWindow(host, 300, 100, 400, 100, true);
    EXPECT_TRUE(waitForRed(frame, ui::Rect { 300, 100, 480, 200 })) << Text(red);
    ui::MoveWindow(host, 10, 20, 200, 100, true);
    EXPECT_TRUE(waitForRed(frame, ui::Rect { 10, 20, 210, 120 })) << Text(red);
    // Hidden and shown with it.
    ui::ShowWindow(host, ui::SW_HIDE);
    EXPECT_TRUE(waitForRed(frame, ui::Rect {})) << Text(red);
    ui::ShowWindow(host, ui::SW_SHOW);
    EXPECT_TRUE(waitForRed(frame, ui::Rect { 10, 20, 210, 120 })) << Text(red);
    // Into another top-level window.
    ui::HWND otherHost = MakeChild(other, 30, 30, 100, 80);
    ui::SetParent(Widget(), otherHost);
    EXPECT_TRUE(waitForRed(other, ui::Rect { 30, 30, 130, 110 })) << Text(red);
    EXPECT_TRUE(waitForRed(frame, ui::Rect {})) << Text(red);
    // The page still answers after the move.
    webview_eval(w, "report('moved');");
    ASSERT_TRUE(WaitForReports(2));

    // Its window destroyed with its parent: the page leaves the screen, the web view stays usable
    // until it is destroyed.
    ui::DestroyWindow(otherHost);
    EXPECT_FALSE(ui::IsWindow(Widget()));
    EXPECT_TRUE(waitForRed(other, ui::Rect {})) << Text(red);
    webview_eval(w, "report('after');");
    ASSERT_TRUE(WaitForReports(3));
}

TEST_F(WebViewPage, ThePageWithTheFocusGetsTheKeysTypedIntoItsWindow)
{
    ui::HWND frame = MakeFrame(L"keys", 20, 300, 200);
    frames = { frame };
    ShowIn(MakeChild(frame, 0, 0, 300, 200));
    webview_set_html(w,
        "<!doctype html><body><script>document.addEventListener('keydown', (e) => report(e.key));"
        "report('ready');</script></body>");
    ASSERT_TRUE(WaitForReports(1));
    auto* view = static_cast<GtkWidget*>(webview_get_native_handle(w, WEBVIEW_NATIVE_HANDLE_KIND_BROWSER_CONTROLLER));
    ASSERT_NE(view, nullptr);
    gtk_widget_grab_focus(view);
    GdkWindow* window = gtk_widget_get_window(gtk_widget_get_toplevel(view));
    ASSERT_NE(window, nullptr);
    // Keys as GTK hands them to the window (the display's keyboard is not ours to press).
    GdkDevice* keyboard = gdk_seat_get_keyboard(gdk_display_get_default_seat(gdk_window_get_display(window)));
    for (guint key : { GDK_KEY_a, GDK_KEY_Return })
        for (GdkEventType type : { GDK_KEY_PRESS, GDK_KEY_RELEASE }) {
            GdkEvent* event = gdk_event_new(type);
            event->key.window = GDK_WINDOW(g_object_ref(window));
            event->key.send_event = TRUE;
            event->key.time = GDK_CURRENT_TIME;
            event->key.keyval = key;
            GdkKeymapKey* codes = nullptr;
            gint count = 0;
            if (gdk_keymap_get_entries_for_keyval(
                    gdk_keymap_get_for_display(gdk_window_get_display(window)), key, &codes, &count)
                && count > 0)
                event->key.hardware_keycode = static_cast<guint16>(codes[0].keycode);
            g_free(codes);
            gdk_event_set_device(event, keyboard);
            gtk_main_do_event(event);
            gdk_event_free(event);
        }
    ASSERT_TRUE(WaitForReports(3));
    EXPECT_EQ(reports[1], "a");
    EXPECT_EQ(reports[2], "Enter");
}

TEST_F(WebViewPage, DestroyingWithCallsPendingOrRepliesOnTheirWayIsSafe)
{
    std::vector<std::string> held;
    ASSERT_EQ(Bind("hold", [&](const std::string& id, const std::string&) { held.push_back(id); }), WEBVIEW_ERROR_OK);
    ASSERT_EQ(
        Bind("answer", [&](const std::string& id, const std::string&) { webview_return(w, id.c_str(), 0, "42"); }),
        WEBVIEW_ERROR_OK);
    webview_set_html(w, "<script>hold(1); answer(); hold(2);</script>");
    ASSERT_TRUE(WaitFor([&] { return held.size() == 2; }));
    // The answer is queued; the two held calls have none. All are dropped with the web view.
    ASSERT_EQ(webview_destroy(w), WEBVIEW_ERROR_OK);
    w = nullptr;
    ui::RunGtkUntil([] { return false; }, 300);

    // The next web view works as the first did.
    w = webview_create(0, nullptr);
    ASSERT_NE(w, nullptr);
    ASSERT_EQ(BindReport(), WEBVIEW_ERROR_OK);
    webview_set_html(w, "<script>report('again');</script>");
    ASSERT_TRUE(WaitForReports(1));
    EXPECT_EQ(reports[0], "again");
}

TEST_F(WebViewPage, CallsDispatchedFromAnotherThreadRunOnTheViewsLoopUntilItIsTerminated)
{
    struct State {
        std::thread::id ranOn;
        int runs = 0;
    } state;
    std::thread other([&] {
        webview_dispatch(
            w,
            [](webview_t view, void* arg) {
                auto* s = static_cast<State*>(arg);
                s->ranOn = std::this_thread::get_id();
                ++s->runs;
                webview_terminate(view);
            },
            &state);
    });
    other.join();
    EXPECT_EQ(state.runs, 0); // queued, not run by the other thread
    EXPECT_EQ(webview_run(w), WEBVIEW_ERROR_OK); // returns once terminated
    EXPECT_EQ(state.runs, 1);
    EXPECT_EQ(state.ranOn, std::this_thread::get_id());
}

// The real plot page with its plotting library, answered as the plot control answers it: the
// markup is compiled natively and the set-up script evaluated.
TEST_F(WebViewPage, ThePlotPageStartsAndDrawsWithoutScriptErrors)
{
    ui::HWND frame = MakeFrame(L"plot", 20, 520, 380);
    frames = { frame };
    ui::HWND host = MakeChild(frame, 0, 0, 520, 380);
    ShowIn(host);
    auto previous = vx::webview::SetResourceSource(Etch::GetEtchResource);
    std::vector<json> errors;
    ASSERT_EQ(Bind("page_error",
                  [&](const std::string& id, const std::string& request) {
                      errors.push_back(json::parse(request));
                      webview_return(w, id.c_str(), 0, "true");
                  }),
        WEBVIEW_ERROR_OK);
    ASSERT_EQ(webview_init(w,
                  "window.addEventListener('error', (e) => page_error(e.message + ' @' + e.lineno));\n"
                  "window.addEventListener('unhandledrejection', (e) => page_error('rejection: ' + "
                  "(e.reason && e.reason.message || e.reason)));"),
        WEBVIEW_ERROR_OK);
    std::vector<std::string> compiled;
    ASSERT_EQ(Bind("etch_proxy_CompileMarkup",
                  [&](const std::string& id, const std::string& request) {
                      const json args = json::parse(request);
                      std::string script;
                      const bool ok
                          = Etch::GetSetMarkupJS(args.at(1).get<std::string>(), args.at(0).get<std::string>(), script);
                      webview_return(w, id.c_str(), 0, ok ? R"({"result":true})" : R"({"result":false})");
                      compiled.push_back(args.at(1).get<std::string>());
                      if (ok)
                          webview_eval(w, script.c_str());
                  }),
        WEBVIEW_ERROR_OK);
    for (const char* name : { "etch_proxy_HasData", "etch_proxy_IsZoomEnabled" })
        Bind(name, [&](const std::string& id, const std::string&) {
            webview_return(w, id.c_str(), 0, R"({"result":false})");
        });
    for (const char* name : { "etch_proxy_XScalingChanged", "etch_proxy_YScalingChanged", "etch_proxy_BoxResized",
             "etch_proxy_ZoomLevelChanged", "etch_proxy_SetZoomState", "etch_proxy_BadPlotterProperty" })
        Bind(name,
            [&](const std::string& id, const std::string&) { webview_return(w, id.c_str(), 0, R"({"result":true})"); });

    ASSERT_EQ(webview_set_html(w, Etch::GetEtchPageHtml().c_str()), WEBVIEW_ERROR_OK);
    const std::string markup
        = "graticule: { colour: #c8c8c8ff }, tplot: { id: 'rr', ydata: [0.8, 0.9, 0.85, 1.0, 0.95], "
          "colour: #e01010ff }, xlabel: 'Beat', ylabel: 'RR Interval (s)', ";
    webview_eval(w,
        ("(async () => { const plot = await etch.make_plot('local', '" + Etch::EscapeScriptText(markup)
            + "'); await report(typeof plot.set_markup); })();")
            .c_str());
    ASSERT_TRUE(WaitForReports(1));
    EXPECT_EQ(reports[0], "function");
    ASSERT_EQ(compiled.size(), 1u);
    EXPECT_EQ(compiled[0], markup);
    // The line of the plot is drawn in its colour.
    ui::Rect red;
    EXPECT_TRUE(WaitFor([&] {
        auto shot = ui::ScreenshotWindow(frame);
        return shot && !(red = RedArea(shot)).IsEmpty() && red.Width() > 200;
    })) << red.Width();
    if (const char* dir = std::getenv("VX_E2E_SHOTS"))
        if (auto shot = ui::ScreenshotWindow(frame))
            shot->SavePng(std::string(dir) + "/plot_page.png");
    vx::webview::SetResourceSource(previous);
    EXPECT_TRUE(errors.empty()) << json(errors).dump();
}

} // namespace

int main(int argc, char** argv)
{
    testing::InitGoogleTest(&argc, argv);
    vx::e2e::SkipUnlessInstalled({ "Xvfb" });
    vx::e2e::RunWebViewTestsOnDisplay("vx_webview_e2e_", 60, false, gReady, gWhy);
}
