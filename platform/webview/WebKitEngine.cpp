#include "webview/WebKitEngine.h"

#include <webkit2/webkit2.h>

#include <map>
#include <memory>
#include <vector>

#include "log/Log.h"
#include "text/Unicode.h"
#include "ui/Backend.h"
#include "ui/EventLoop.h"
#include "ui/MessageQueue.h"
#include "ui/Window.h"
#include "ui/gtk/GtkBackend.h"
#include "webview/WebView.h"

namespace vx::webview {
namespace {

using ui::HIWORD;
using ui::LOWORD;
using ui::LPARAM;
using ui::LRESULT;
using ui::WPARAM;

constexpr wchar_t kTopClass[] = L"VxWebViewWindow";
constexpr wchar_t kWidgetClass[] = L"VxWebViewWidget";
constexpr char kScheme[] = "varnex";

// window[name] as the page sees it: posts the JSON text of its arguments to the handler of the
// same name and settles with the reply.
std::string BindingScript(const std::string& name)
{
    const std::string q = text::JsonQuoted(name);
    return "(function() { var name = " + q
        + ";\n"
          "  window[name] = function() {\n"
          "    var args = Array.prototype.slice.call(arguments);\n"
          "    return window.webkit.messageHandlers[name].postMessage(JSON.stringify(args)).then(\n"
          "      function(reply) { return JSON.parse(reply); },\n"
          "      function(error) { throw (error && error.message !== undefined) ? error.message : String(error); });\n"
          "  };\n"
          "})();\n";
}

void ServeResource(WebKitURISchemeRequest* request, gpointer)
{
    std::string name = webkit_uri_scheme_request_get_path(request);
    while (!name.empty() && name.front() == '/')
        name.erase(0, 1);
    std::string bytes, mime;
    if (!FindResource(name, bytes, mime)) {
        GError* error = g_error_new(G_IO_ERROR, G_IO_ERROR_NOT_FOUND, "no resource %s", name.c_str());
        webkit_uri_scheme_request_finish_error(request, error);
        g_error_free(error);
        return;
    }
    GBytes* data = g_bytes_new(bytes.data(), bytes.size());
    GInputStream* stream = g_memory_input_stream_new_from_bytes(data);
    webkit_uri_scheme_request_finish(request, stream, static_cast<gint64>(bytes.size()), mime.c_str());
    g_object_unref(stream);
    g_bytes_unref(data);
}

// One context for every web view of the process: nothing of a page is kept on disk, and our
// scheme serves the resources.
WebKitWebContext* SharedContext()
{
    static WebKitWebContext* context = [] {
        WebKitWebContext* c = webkit_web_context_new_ephemeral();
        webkit_web_context_register_uri_scheme(c, kScheme, ServeResource, nullptr, nullptr);
        return c;
    }();
    return context;
}

class WebKitView;

LRESULT TopProc(ui::HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam);
LRESULT WidgetProc(ui::HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam);

void RegisterClasses()
{
    static const bool registered = [] {
        ui::RegisterClass({ kTopClass, 0, TopProc });
        ui::RegisterClass({ kWidgetClass, 0, WidgetProc });
        return true;
    }();
    (void)registered;
}

class WebKitView final : public Instance {
public:
    WebKitView(bool debug, ui::HWND window);
    ~WebKitView() override;
    bool Ready() const { return mWidget != nullptr && mView != nullptr; }

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
    webview_error_t Print(const std::string& title, const std::string& pdfPath) override;

    // The widget window is going (with its parent, or by its own DestroyWindow).
    void WidgetDestroyed();
    // Our own top-level window was sized: the widget fills it while it is its child.
    void TopSized(int width, int height);

private:
    struct Binding {
        WebKitView* view;
        std::string name;
        BoundFunction function;
        WebKitUserScript* script = nullptr;
        gulong handler = 0;
    };
    struct Call {
        WebKitScriptMessageReply* reply = nullptr;
        JSCContext* context = nullptr;
        bool answered = false;
    };

    static gboolean OnMessage(
        WebKitUserContentManager*, JSCValue* value, WebKitScriptMessageReply* reply, gpointer data);
    static void OnLoadChanged(WebKitWebView*, WebKitLoadEvent event, gpointer data);
    static void OnEvaluated(GObject* source, GAsyncResult* result, gpointer);

    void Evaluate(const std::string& script);
    void StartLoad();
    void Answer(const std::string& id, int status, const std::string& result);
    void Deliver(const std::string& id, int status, const std::string& result);
    void RunLater(std::function<void()> call);
    void DropCall(Call& call);

    ui::HWND mTop = nullptr;
    ui::HWND mWidget = nullptr;
    bool mOwnsTop = false;
    DWORD mThread = 0;
    WebKitUserContentManager* mContent = nullptr;
    WebKitWebView* mView = nullptr;
    std::vector<WebKitUserScript*> mInitScripts;
    std::map<std::string, std::unique_ptr<Binding>> mBindings;
    std::map<std::string, Call> mCalls;
    unsigned mNextId = 1;
    bool mLoaded = false;
    std::vector<std::string> mQueued;
    // Calls queued on the main loop run only while the web view lives.
    std::shared_ptr<bool> mAlive = std::make_shared<bool>(true);
};

WebKitView* ViewOf(ui::HWND hwnd)
{
    return reinterpret_cast<WebKitView*>(ui::GetWindowLongPtr(hwnd, ui::GWLP_USERDATA));
}

LRESULT TopProc(ui::HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam)
{
    if (message == ui::WM_SIZE)
        if (WebKitView* view = ViewOf(hwnd))
            view->TopSized(LOWORD(static_cast<std::uintptr_t>(lParam)), HIWORD(static_cast<std::uintptr_t>(lParam)));
    return ui::DefWindowProc(hwnd, message, wParam, lParam);
}

LRESULT WidgetProc(ui::HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam)
{
    if (message == ui::WM_DESTROY)
        if (WebKitView* view = ViewOf(hwnd))
            view->WidgetDestroyed();
    return ui::DefWindowProc(hwnd, message, wParam, lParam);
}

WebKitView::WebKitView(bool debug, ui::HWND window)
    : mThread(ui::GetCurrentThreadId())
{
    RegisterClasses();
    mTop = window;
    if (mTop == nullptr) {
        mTop = ui::CreateWindowEx(
            0, kTopClass, L"", ui::WS_OVERLAPPED | ui::WS_CAPTION, 0, 0, 640, 480, nullptr, 0, nullptr);
        mOwnsTop = mTop != nullptr;
        if (mTop)
            ui::SetWindowLongPtr(mTop, ui::GWLP_USERDATA, reinterpret_cast<ui::LONG_PTR>(this));
    }
    if (!ui::IsWindow(mTop))
        return;
    ui::Rect client;
    ui::GetClientRect(mTop, &client);
    mWidget = ui::CreateWindowEx(
        0, kWidgetClass, L"", ui::WS_CHILD | ui::WS_VISIBLE, 0, 0, client.Width(), client.Height(), mTop, 1, nullptr);
    if (mWidget == nullptr)
        return;
    ui::SetWindowLongPtr(mWidget, ui::GWLP_USERDATA, reinterpret_cast<ui::LONG_PTR>(this));

    mContent = webkit_user_content_manager_new();
    WebKitSettings* settings = webkit_settings_new();
    webkit_settings_set_enable_developer_extras(settings, debug);
    webkit_settings_set_enable_javascript(settings, TRUE);
    // Plots are 2D canvas and SVG: drawn in software, which also works on displays without GL
    // (a virtual or remote X display, where GL-composited pages stay blank after a resize).
    webkit_settings_set_hardware_acceleration_policy(settings, WEBKIT_HARDWARE_ACCELERATION_POLICY_NEVER);
    mView = WEBKIT_WEB_VIEW(g_object_ref_sink(g_object_new(WEBKIT_TYPE_WEB_VIEW, "web-context", SharedContext(),
        "user-content-manager", mContent, "settings", settings, nullptr)));
    g_object_unref(settings);
    g_signal_connect(mView, "load-changed", G_CALLBACK(OnLoadChanged), this);
    ui::EmbedWidget(mWidget, mView);
}

WebKitView::~WebKitView()
{
    *mAlive = false;
    if (mView) {
        g_signal_handlers_disconnect_by_data(mView, this);
        webkit_web_view_stop_loading(mView);
    }
    for (auto& [name, binding] : mBindings) {
        g_signal_handler_disconnect(mContent, binding->handler);
        webkit_user_content_manager_unregister_script_message_handler(mContent, name.c_str());
        webkit_user_script_unref(binding->script);
    }
    mBindings.clear();
    for (auto& [id, call] : mCalls)
        DropCall(call);
    mCalls.clear();
    mQueued.clear();
    for (WebKitUserScript* script : mInitScripts)
        webkit_user_script_unref(script);
    if (mWidget) {
        ui::SetWindowLongPtr(mWidget, ui::GWLP_USERDATA, 0);
        ui::UnembedWidget(mWidget);
        if (ui::IsWindow(mWidget))
            ui::DestroyWindow(mWidget);
    }
    if (mOwnsTop && ui::IsWindow(mTop)) {
        ui::SetWindowLongPtr(mTop, ui::GWLP_USERDATA, 0);
        ui::DestroyWindow(mTop);
    }
    if (mView) {
        gtk_widget_destroy(GTK_WIDGET(mView));
        g_object_unref(mView);
    }
    if (mContent)
        g_object_unref(mContent);
}

void WebKitView::DropCall(Call& call)
{
    // A reply never given answers the page's promise with undefined, which its script rejects.
    if (call.reply)
        webkit_script_message_reply_unref(call.reply);
    if (call.context)
        g_object_unref(call.context);
    call.reply = nullptr;
    call.context = nullptr;
}

void WebKitView::WidgetDestroyed()
{
    ui::UnembedWidget(mWidget);
    mWidget = nullptr;
}

void WebKitView::TopSized(int width, int height)
{
    if (mWidget && ui::GetParent(mWidget) == mTop)
        ui::MoveWindow(mWidget, 0, 0, width, height, true);
}

void WebKitView::RunLater(std::function<void()> call)
{
    struct Later {
        std::weak_ptr<bool> alive;
        std::function<void()> call;
    };
    g_idle_add_full(
        G_PRIORITY_DEFAULT,
        +[](gpointer data) {
            auto* later = static_cast<Later*>(data);
            if (auto alive = later->alive.lock(); alive && *alive)
                later->call();
            return G_SOURCE_REMOVE;
        },
        new Later { mAlive, std::move(call) }, +[](gpointer data) { delete static_cast<Later*>(data); });
}

webview_error_t WebKitView::Run()
{
    ui::RunMessageLoop();
    return WEBVIEW_ERROR_OK;
}

webview_error_t WebKitView::Terminate()
{
    return ui::PostThreadMessage(mThread, ui::WM_QUIT, 0, 0) ? WEBVIEW_ERROR_OK : WEBVIEW_ERROR_INVALID_STATE;
}

webview_error_t WebKitView::Dispatch(std::function<void()> call)
{
    // Any thread may dispatch; the call runs on the main loop of the web view's thread.
    RunLater(std::move(call));
    return WEBVIEW_ERROR_OK;
}

void* WebKitView::NativeHandle(webview_native_handle_kind_t kind)
{
    switch (kind) {
    case WEBVIEW_NATIVE_HANDLE_KIND_UI_WINDOW:
        return mTop;
    case WEBVIEW_NATIVE_HANDLE_KIND_UI_WIDGET:
        return mWidget;
    case WEBVIEW_NATIVE_HANDLE_KIND_BROWSER_CONTROLLER:
        return mView;
    default:
        return nullptr;
    }
}

webview_error_t WebKitView::SetTitle(const std::string& title)
{
    gunichar* wide = g_utf8_to_ucs4(title.c_str(), -1, nullptr, nullptr, nullptr);
    if (!wide)
        return WEBVIEW_ERROR_INVALID_ARGUMENT;
    ui::SetWindowText(mTop, std::wstring(reinterpret_cast<const wchar_t*>(wide)));
    g_free(wide);
    return WEBVIEW_ERROR_OK;
}

webview_error_t WebKitView::SetSize(int width, int height, webview_hint_t hints)
{
    if (width < 0 || height < 0)
        return WEBVIEW_ERROR_INVALID_ARGUMENT;
    // Minimum and maximum sizes are hints for a window manager's frame; ours has none to give.
    if (hints == WEBVIEW_HINT_MIN || hints == WEBVIEW_HINT_MAX)
        return WEBVIEW_ERROR_OK;
    if (mOwnsTop && ui::IsWindow(mTop) && (!mWidget || ui::GetParent(mWidget) == mTop))
        ui::SetWindowPos(mTop, nullptr, 0, 0, width, height, ui::SWP_NOMOVE | ui::SWP_NOZORDER | ui::SWP_NOACTIVATE);
    if (mWidget)
        ui::SetWindowPos(mWidget, nullptr, 0, 0, width, height, ui::SWP_NOMOVE | ui::SWP_NOZORDER | ui::SWP_NOACTIVATE);
    return WEBVIEW_ERROR_OK;
}

void WebKitView::StartLoad()
{
    // Scripts evaluated from now on wait for the new page.
    mLoaded = false;
}

webview_error_t WebKitView::Navigate(const std::string& url)
{
    StartLoad();
    webkit_web_view_load_uri(mView, url.c_str());
    return WEBVIEW_ERROR_OK;
}

webview_error_t WebKitView::SetHtml(const std::string& html)
{
    StartLoad();
    webkit_web_view_load_html(mView, html.c_str(), kResourceBase);
    return WEBVIEW_ERROR_OK;
}

webview_error_t WebKitView::Print(const std::string& title, const std::string& pdfPath)
{
    // The page that prints is the one the user sees: let a load in progress finish first.
    constexpr int kLoadWaitMs = 20000, kPrintWaitMs = 60000;
    if (!mLoaded && !ui::RunGtkUntil([this] { return mLoaded || !mView; }, kLoadWaitMs))
        return WEBVIEW_ERROR_INVALID_STATE;
    if (!mView)
        return WEBVIEW_ERROR_INVALID_STATE;
    WebKitPrintOperation* operation = webkit_print_operation_new(mView);
    GtkPrintSettings* settings = gtk_print_settings_new();
    gtk_print_settings_set(settings, GTK_PRINT_SETTINGS_OUTPUT_BASENAME, title.c_str());
    if (!pdfPath.empty()) {
        gtk_print_settings_set_printer(settings, "Print to File");
        gtk_print_settings_set(settings, GTK_PRINT_SETTINGS_OUTPUT_FILE_FORMAT, "pdf");
        GError* error = nullptr;
        gchar* uri = g_filename_to_uri(pdfPath.c_str(), nullptr, &error);
        if (!uri) {
            vx::log::WriteLine(
                std::string("web view: cannot print to ") + pdfPath + ": " + (error ? error->message : ""));
            if (error)
                g_error_free(error);
            g_object_unref(settings);
            g_object_unref(operation);
            return WEBVIEW_ERROR_INVALID_ARGUMENT;
        }
        gtk_print_settings_set(settings, GTK_PRINT_SETTINGS_OUTPUT_URI, uri);
        g_free(uri);
    }
    webkit_print_operation_set_print_settings(operation, settings);
    g_object_unref(settings);
    struct State {
        bool finished = false;
        std::string failure;
    } state;
    const gulong finished = g_signal_connect(operation, "finished",
        G_CALLBACK(+[](WebKitPrintOperation*, gpointer data) { static_cast<State*>(data)->finished = true; }), &state);
    const gulong failed
        = g_signal_connect(operation, "failed", G_CALLBACK(+[](WebKitPrintOperation*, GError* error, gpointer data) {
              static_cast<State*>(data)->failure = error ? error->message : "unknown";
          }),
            &state);
    webview_error_t result = WEBVIEW_ERROR_OK;
    if (pdfPath.empty()) {
        GtkWidget* top = gtk_widget_get_toplevel(GTK_WIDGET(mView));
        const WebKitPrintOperationResponse response
            = webkit_print_operation_run_dialog(operation, GTK_IS_WINDOW(top) ? GTK_WINDOW(top) : nullptr);
        if (response != WEBKIT_PRINT_OPERATION_RESPONSE_PRINT)
            result = WEBVIEW_ERROR_CANCELED;
    } else {
        webkit_print_operation_print(operation);
    }
    // The pages are rendered and written after the call returns; the job is over at "finished".
    if (result == WEBVIEW_ERROR_OK && !ui::RunGtkUntil([&state] { return state.finished; }, kPrintWaitMs))
        result = WEBVIEW_ERROR_UNSPECIFIED;
    if (!state.failure.empty()) {
        vx::log::WriteLine("web view: printing failed: " + state.failure);
        result = WEBVIEW_ERROR_UNSPECIFIED;
    }
    g_signal_handler_disconnect(operation, finished);
    g_signal_handler_disconnect(operation, failed);
    g_object_unref(operation);
    return result;
}

webview_error_t WebKitView::Init(const std::string& script)
{
    WebKitUserScript* user = webkit_user_script_new(script.c_str(), WEBKIT_USER_CONTENT_INJECT_TOP_FRAME,
        WEBKIT_USER_SCRIPT_INJECT_AT_DOCUMENT_START, nullptr, nullptr);
    webkit_user_content_manager_add_script(mContent, user);
    mInitScripts.push_back(user);
    return WEBVIEW_ERROR_OK;
}

webview_error_t WebKitView::Eval(const std::string& script)
{
    if (mLoaded)
        Evaluate(script);
    else
        mQueued.push_back(script);
    return WEBVIEW_ERROR_OK;
}

void WebKitView::Evaluate(const std::string& script)
{
    // The script's own value is not wanted (a promise, a function... need not cross over).
    const std::string text = script + "\n;void 0;";
    webkit_web_view_evaluate_javascript(
        mView, text.c_str(), static_cast<gssize>(text.size()), nullptr, nullptr, nullptr, OnEvaluated, nullptr);
}

void WebKitView::OnEvaluated(GObject* source, GAsyncResult* result, gpointer)
{
    GError* error = nullptr;
    JSCValue* value = webkit_web_view_evaluate_javascript_finish(WEBKIT_WEB_VIEW(source), result, &error);
    if (value)
        g_object_unref(value);
    if (error) {
        std::string line = std::string("web view: script error: ") + error->message;
        for (char& c : line)
            if (c == '\n' || c == '\r')
                c = ' ';
        vx::log::WriteLine(line);
        g_error_free(error);
    }
}

void WebKitView::OnLoadChanged(WebKitWebView* view, WebKitLoadEvent event, gpointer data)
{
    auto* self = static_cast<WebKitView*>(data);
    if (event == WEBKIT_LOAD_STARTED) {
        self->mLoaded = false;
        return;
    }
    // A load cut short by the next one finishes too; the queue waits for the page still loading.
    if (event != WEBKIT_LOAD_FINISHED || webkit_web_view_is_loading(view))
        return;
    self->mLoaded = true;
    auto queued = std::move(self->mQueued);
    self->mQueued.clear();
    for (const std::string& script : queued)
        self->Evaluate(script);
}

webview_error_t WebKitView::Bind(const std::string& name, BoundFunction function)
{
    if (mBindings.count(name))
        return WEBVIEW_ERROR_DUPLICATE;
    if (!webkit_user_content_manager_register_script_message_handler_with_reply(mContent, name.c_str(), nullptr))
        return WEBVIEW_ERROR_DUPLICATE;
    auto binding = std::make_unique<Binding>();
    binding->view = this;
    binding->name = name;
    binding->function = std::move(function);
    const std::string script = BindingScript(name);
    binding->script = webkit_user_script_new(script.c_str(), WEBKIT_USER_CONTENT_INJECT_TOP_FRAME,
        WEBKIT_USER_SCRIPT_INJECT_AT_DOCUMENT_START, nullptr, nullptr);
    webkit_user_content_manager_add_script(mContent, binding->script);
    const std::string signal = "script-message-with-reply-received::" + name;
    binding->handler = g_signal_connect(mContent, signal.c_str(), G_CALLBACK(OnMessage), binding.get());
    mBindings.emplace(name, std::move(binding));
    // The page shown, or the one loading (which may have run its start-up scripts already), gets
    // the function too.
    Eval(script);
    return WEBVIEW_ERROR_OK;
}

webview_error_t WebKitView::Unbind(const std::string& name)
{
    auto it = mBindings.find(name);
    if (it == mBindings.end())
        return WEBVIEW_ERROR_NOT_FOUND;
    Binding& binding = *it->second;
    g_signal_handler_disconnect(mContent, binding.handler);
    webkit_user_content_manager_unregister_script_message_handler(mContent, name.c_str());
    webkit_user_content_manager_remove_script(mContent, binding.script);
    webkit_user_script_unref(binding.script);
    mBindings.erase(it);
    Eval("delete window[" + text::JsonQuoted(name) + "];");
    return WEBVIEW_ERROR_OK;
}

gboolean WebKitView::OnMessage(
    WebKitUserContentManager*, JSCValue* value, WebKitScriptMessageReply* reply, gpointer data)
{
    auto* binding = static_cast<Binding*>(data);
    WebKitView* self = binding->view;
    const std::string id = std::to_string(self->mNextId++);
    Call& call = self->mCalls[id];
    call.reply = webkit_script_message_reply_ref(reply);
    call.context = JSC_CONTEXT(g_object_ref(jsc_value_get_context(value)));
    std::string request = "[]";
    if (jsc_value_is_string(value)) {
        gchar* text = jsc_value_to_string(value);
        request = text;
        g_free(text);
    }
    // The function may unbind itself: it runs from a copy.
    BoundFunction function = binding->function;
    const std::string name = binding->name;
    try {
        function(id, request);
    } catch (const std::exception& e) {
        vx::log::WriteLine("web view: " + name + " failed: " + e.what());
        self->Answer(id, 1, e.what());
    } catch (...) {
        vx::log::WriteLine("web view: " + name + " failed");
        self->Answer(id, 1, name + " failed");
    }
    return TRUE;
}

webview_error_t WebKitView::Return(const std::string& id, int status, const std::string& result)
{
    auto it = mCalls.find(id);
    if (it == mCalls.end() || it->second.answered)
        return WEBVIEW_ERROR_NOT_FOUND;
    Answer(id, status, result);
    return WEBVIEW_ERROR_OK;
}

void WebKitView::Answer(const std::string& id, int status, const std::string& result)
{
    auto it = mCalls.find(id);
    if (it == mCalls.end() || it->second.answered)
        return;
    it->second.answered = true;
    RunLater([this, id, status, result] { Deliver(id, status, result); });
}

void WebKitView::Deliver(const std::string& id, int status, const std::string& result)
{
    auto it = mCalls.find(id);
    if (it == mCalls.end())
        return;
    Call call = it->second;
    mCalls.erase(it);
    if (status == 0) {
        JSCValue* value = jsc_value_new_string(call.context, result.c_str());
        webkit_script_message_reply_return_value(call.reply, value);
        g_object_unref(value);
    } else {
        webkit_script_message_reply_return_error_message(call.reply, result.c_str());
    }
    DropCall(call);
}

} // namespace

bool InstallWebKitEngine(std::string& error)
{
    if (ui::GetBackend()->name != "gtk") {
        error = "the web view needs the gtk backend of the window system";
        return false;
    }
    SetEngine([](bool debug, void* window) -> std::unique_ptr<Instance> {
        auto view = std::make_unique<WebKitView>(debug, static_cast<ui::HWND>(window));
        if (!view->Ready())
            return nullptr;
        return view;
    });
    return true;
}

} // namespace vx::webview
