#pragma once
// A web view without a browser, for unit tests: it records what is sent to the page (the page
// text, the start-up scripts, every evaluated script) and lets a test call a bound function as a
// page script would, then read the reply. Its native handles are real windows of the window
// system (a hidden top-level window of its own unless one is given, and a child widget window),
// so code that re-parents or sizes them runs as it does with the real engine.
//
//   vx::webview::FakeEngine engine;            // installed until it goes out of scope
//   ... code under test calls webview_create ...
//   auto* view = engine.Last();
//   std::string id = view->Call("etch_proxy_HasData", "[]");
//   EXPECT_EQ(view->ReplyTo(id)->result, R"({"result":false})");
#include <map>
#include <optional>
#include <string>
#include <vector>

#include "ui/Messages.h"
#include "webview/WebView.h"

namespace vx::webview {

class FakeEngine;

class FakeWebView final : public Instance {
public:
    FakeWebView(FakeEngine* engine, bool debug, ui::HWND window);
    ~FakeWebView() override;

    webview_error_t Run() override;
    webview_error_t Terminate() override;
    webview_error_t Dispatch(std::function<void()> call) override;
    void* NativeHandle(webview_native_handle_kind_t kind) override;
    webview_error_t SetTitle(const std::string& title) override;
    webview_error_t SetSize(int width, int height, webview_hint_t hints) override;
    webview_error_t Navigate(const std::string& url) override;
    webview_error_t SetHtml(const std::string& html) override;
    webview_error_t Init(const std::string& script) override;
    webview_error_t Eval(const std::string& script) override;
    webview_error_t Bind(const std::string& name, BoundFunction function) override;
    webview_error_t Unbind(const std::string& name) override;
    webview_error_t Return(const std::string& id, int status, const std::string& result) override;
    // Without a path the "dialog" gives `printDialogAnswer`. With one, the page's text (tags
    // dropped, one line per block) is written into that PDF file, a page per screenful of lines,
    // so that tests can read back what was printed.
    webview_error_t Print(const std::string& title, const std::string& pdfPath) override;

    // What was sent.
    bool debug = false;
    std::string html;
    std::string url;
    std::string title;
    int width = 0, height = 0;
    webview_hint_t hints = WEBVIEW_HINT_NONE;
    std::vector<std::string> initScripts;
    std::vector<std::string> evaluated;
    bool terminated = false;

    struct PrintRequest {
        std::string title, path, html;
    };
    std::vector<PrintRequest> printed;
    webview_error_t printDialogAnswer = WEBVIEW_ERROR_CANCELED;

    // The result code Eval gives (and then records nothing); OK by default.
    webview_error_t evalResult = WEBVIEW_ERROR_OK;

    bool IsBound(const std::string& name) const { return mBindings.count(name) != 0; }
    std::vector<std::string> BoundNames() const;

    // Calls a bound function as window[name](...args) would, with `argsJson` the JSON text of the
    // argument array; returns the call's request id. Exceptions of the function pass through.
    // Throws std::out_of_range when the name is not bound.
    std::string Call(const std::string& name, const std::string& argsJson);

    struct Reply {
        int status = 0;
        std::string result;
    };
    // The answer to a call, once webview_return gave it.
    std::optional<Reply> ReplyTo(const std::string& id) const;

    // Runs the calls queued by webview_dispatch, in order; returns how many ran.
    int RunDispatched();

    ui::HWND topWindow = nullptr;
    ui::HWND widgetWindow = nullptr;

private:
    FakeEngine* mEngine;
    bool mOwnsTopWindow = false;
    std::map<std::string, BoundFunction> mBindings;
    std::map<std::string, std::optional<Reply>> mCalls; // id -> reply once given
    std::vector<std::function<void()>> mDispatched;
    unsigned mNextId = 1;
};

// The text of an HTML page as a browser would lay it out roughly: tags dropped, the content of
// head, style and script elements skipped, a line break for each block element, the common
// character references decoded, runs of blanks made one.
std::string PageText(const std::string& html);

// Installs itself as the process's web-view engine for its lifetime (then restores the previous).
class FakeEngine {
public:
    FakeEngine();
    ~FakeEngine();
    FakeEngine(const FakeEngine&) = delete;
    FakeEngine& operator=(const FakeEngine&) = delete;

    // webview_create gives null while set.
    bool failCreate = false;

    // Web views made through this engine and not destroyed yet, oldest first.
    const std::vector<FakeWebView*>& Live() const { return mLive; }
    FakeWebView* Last() const { return mLive.empty() ? nullptr : mLive.back(); }
    int created = 0;
    int destroyed = 0;

private:
    friend class FakeWebView;
    EngineFactory mPrevious;
    std::vector<FakeWebView*> mLive;
};

} // namespace vx::webview
