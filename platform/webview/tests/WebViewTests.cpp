#include <gtest/gtest.h>

#include "ui/Window.h"
#include "webview/FakeWebView.h"

namespace {

using vx::webview::FakeEngine;

TEST(WebView, WithoutAnEngineNothingIsCreatedAndEveryCallRefusesNull)
{
    EXPECT_EQ(webview_create(0, nullptr), nullptr);
    EXPECT_EQ(webview_eval(nullptr, "1"), WEBVIEW_ERROR_INVALID_ARGUMENT);
    EXPECT_EQ(webview_return(nullptr, "1", 0, "{}"), WEBVIEW_ERROR_INVALID_ARGUMENT);
    EXPECT_EQ(webview_destroy(nullptr), WEBVIEW_ERROR_INVALID_ARGUMENT);
    EXPECT_EQ(webview_get_native_handle(nullptr, WEBVIEW_NATIVE_HANDLE_KIND_UI_WIDGET), nullptr);
}

TEST(WebView, CallsReachTheEngineAndMissingTextsAreInvalidArguments)
{
    FakeEngine engine;
    webview_t w = webview_create(1, nullptr);
    ASSERT_NE(w, nullptr);
    auto* view = engine.Last();
    ASSERT_NE(view, nullptr);
    EXPECT_TRUE(view->debug);

    EXPECT_EQ(webview_init(w, "window.a = 1;"), WEBVIEW_ERROR_OK);
    EXPECT_EQ(webview_set_html(w, "<p>x</p>"), WEBVIEW_ERROR_OK);
    EXPECT_EQ(webview_eval(w, "f();"), WEBVIEW_ERROR_OK);
    EXPECT_EQ(webview_eval(w, nullptr), WEBVIEW_ERROR_INVALID_ARGUMENT);
    EXPECT_EQ(webview_set_size(w, 300, 200, WEBVIEW_HINT_NONE), WEBVIEW_ERROR_OK);
    EXPECT_EQ(webview_set_size(w, 300, 200, static_cast<webview_hint_t>(7)), WEBVIEW_ERROR_INVALID_ARGUMENT);
    EXPECT_EQ(view->initScripts, std::vector<std::string> { "window.a = 1;" });
    EXPECT_EQ(view->html, "<p>x</p>");
    EXPECT_EQ(view->evaluated, std::vector<std::string> { "f();" });
    EXPECT_EQ(view->width, 300);

    // Both handles are windows of the window system; the widget is a child of the top window.
    auto* top = static_cast<vx::ui::HWND>(webview_get_native_handle(w, WEBVIEW_NATIVE_HANDLE_KIND_UI_WINDOW));
    auto* widget = static_cast<vx::ui::HWND>(webview_get_native_handle(w, WEBVIEW_NATIVE_HANDLE_KIND_UI_WIDGET));
    ASSERT_TRUE(vx::ui::IsWindow(top));
    ASSERT_TRUE(vx::ui::IsWindow(widget));
    EXPECT_EQ(vx::ui::GetParent(widget), top);

    EXPECT_EQ(webview_destroy(w), WEBVIEW_ERROR_OK);
    EXPECT_FALSE(vx::ui::IsWindow(top));
    EXPECT_FALSE(vx::ui::IsWindow(widget));
    EXPECT_EQ(engine.Live().size(), 0u);
}

struct Answerer {
    webview_t w = nullptr;
    std::string lastRequest;
};

void Answer(const char* id, const char* request, void* arg)
{
    auto* answerer = static_cast<Answerer*>(arg);
    answerer->lastRequest = request;
    webview_return(answerer->w, id, 0, R"({"result":true})");
}

TEST(WebView, BoundFunctionsAreCalledWithTheirArgumentsAndAnsweredOnce)
{
    FakeEngine engine;
    webview_t w = webview_create(0, nullptr);
    ASSERT_NE(w, nullptr);
    Answerer answerer { w, {} };
    ASSERT_EQ(webview_bind(w, "etch_proxy_HasData", Answer, &answerer), WEBVIEW_ERROR_OK);
    EXPECT_EQ(webview_bind(w, "etch_proxy_HasData", Answer, &answerer), WEBVIEW_ERROR_DUPLICATE);

    auto* view = engine.Last();
    std::string id = view->Call("etch_proxy_HasData", "[1,\"a\"]");
    EXPECT_EQ(answerer.lastRequest, "[1,\"a\"]");
    ASSERT_TRUE(view->ReplyTo(id).has_value());
    EXPECT_EQ(view->ReplyTo(id)->result, R"({"result":true})");
    EXPECT_EQ(webview_return(w, id.c_str(), 0, "{}"), WEBVIEW_ERROR_NOT_FOUND);
    EXPECT_EQ(webview_return(w, "no such call", 0, "{}"), WEBVIEW_ERROR_NOT_FOUND);

    EXPECT_EQ(webview_unbind(w, "etch_proxy_HasData"), WEBVIEW_ERROR_OK);
    EXPECT_EQ(webview_unbind(w, "etch_proxy_HasData"), WEBVIEW_ERROR_NOT_FOUND);
    EXPECT_THROW(view->Call("etch_proxy_HasData", "[]"), std::out_of_range);
    webview_destroy(w);
}

TEST(WebView, FailingEngineGivesNullAndTheEngineIsRemovedWithTheFake)
{
    {
        FakeEngine engine;
        engine.failCreate = true;
        EXPECT_EQ(webview_create(0, nullptr), nullptr);
    }
    EXPECT_EQ(webview_create(0, nullptr), nullptr);
}

} // namespace
