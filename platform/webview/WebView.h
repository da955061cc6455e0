#pragma once
// The web view: a browser engine shown in a window of ours, with the calls the plot control makes
// of its web-view library (webview 0.12's C interface, names and error codes kept). The calls
// dispatch to an engine installed for the process: the WebKitGTK engine when windows are shown
// through the gtk backend, a fake in unit tests (platform/webview/FakeWebView.h). Without an
// engine (the headless backend), webview_create gives null.
//
// Threads: a web view is created, used and destroyed on one thread, the user-interface thread
// that owns its windows. Scripts evaluated before the page has loaded are queued until it has.
// A bound function runs on that thread from its message loop, synchronously, when a script calls
// it; webview_return only queues the reply, which the page receives after the handler returned.
//
// Native handles: both are windows of our window system (HWND). UI_WINDOW is the top-level window
// the web view was created in (a hidden one of its own when `window` is null); UI_WIDGET is the
// child window in which the page is shown. Re-parenting the widget window (ui::SetParent), moving
// or hiding it moves and hides the page with it.
#include <functional>
#include <memory>
#include <string>

extern "C" {

typedef struct webview* webview_t;

typedef enum {
    WEBVIEW_ERROR_MISSING_DEPENDENCY = -5,
    WEBVIEW_ERROR_CANCELED = -4,
    WEBVIEW_ERROR_INVALID_STATE = -3,
    WEBVIEW_ERROR_INVALID_ARGUMENT = -2,
    WEBVIEW_ERROR_UNSPECIFIED = -1,
    WEBVIEW_ERROR_OK = 0,
    WEBVIEW_ERROR_DUPLICATE = 1,
    WEBVIEW_ERROR_NOT_FOUND = 2,
} webview_error_t;

typedef enum {
    WEBVIEW_HINT_NONE = 0,
    WEBVIEW_HINT_MIN = 1,
    WEBVIEW_HINT_MAX = 2,
    WEBVIEW_HINT_FIXED = 3,
} webview_hint_t;

typedef enum {
    WEBVIEW_NATIVE_HANDLE_KIND_UI_WINDOW = 0,
    WEBVIEW_NATIVE_HANDLE_KIND_UI_WIDGET = 1,
    WEBVIEW_NATIVE_HANDLE_KIND_BROWSER_CONTROLLER = 2,
} webview_native_handle_kind_t;

// `window`: null, or the HWND of a top-level window of ours to show the page in. `debug`: the
// engine's developer tools are enabled. Null when no engine is installed or the engine fails.
webview_t webview_create(int debug, void* window);
// Unregisters the bindings, drops pending replies and queued scripts, destroys the windows made
// for the web view. INVALID_ARGUMENT for null.
webview_error_t webview_destroy(webview_t w);
// Runs the calling thread's message loop until webview_terminate (the window system's loop).
webview_error_t webview_run(webview_t w);
webview_error_t webview_terminate(webview_t w);
// Queues fn(w, arg) to run on the web view's thread from its message loop.
webview_error_t webview_dispatch(webview_t w, void (*fn)(webview_t w, void* arg), void* arg);
void* webview_get_window(webview_t w);
void* webview_get_native_handle(webview_t w, webview_native_handle_kind_t kind);
webview_error_t webview_set_title(webview_t w, const char* title);
webview_error_t webview_set_size(webview_t w, int width, int height, webview_hint_t hints);
webview_error_t webview_navigate(webview_t w, const char* url);
// Loads a page from UTF-8 text.
webview_error_t webview_set_html(webview_t w, const char* html);
// A script that runs at the start of every page loaded later, before the page's own scripts.
webview_error_t webview_init(webview_t w, const char* js);
// Evaluates a script in the page; returns once it is handed over or queued (script errors are
// the page's and are logged). INVALID_ARGUMENT for a null script.
webview_error_t webview_eval(webview_t w, const char* js);
// Binds window[name](...args), returning a promise: fn gets a request id, the JSON text of the
// argument array and arg. DUPLICATE when the name is bound already.
webview_error_t webview_bind(
    webview_t w, const char* name, void (*fn)(const char* id, const char* req, void* arg), void* arg);
webview_error_t webview_unbind(webview_t w, const char* name);
// Answers the call `id`: status 0 resolves the promise with JSON.parse(result), any other status
// rejects it with the result text. NOT_FOUND for an unknown or already answered id.
webview_error_t webview_return(webview_t w, const char* id, int status, const char* result);

} // extern "C"

namespace vx::webview {

// What an engine does for one web view; the C calls above check their arguments and forward here.
class Instance {
public:
    virtual ~Instance() = default;
    virtual webview_error_t Run() = 0;
    virtual webview_error_t Terminate() = 0;
    virtual webview_error_t Dispatch(std::function<void()> call) = 0;
    virtual void* NativeHandle(webview_native_handle_kind_t kind) = 0;
    virtual webview_error_t SetTitle(const std::string& title) = 0;
    virtual webview_error_t SetSize(int width, int height, webview_hint_t hints) = 0;
    virtual webview_error_t Navigate(const std::string& url) = 0;
    virtual webview_error_t SetHtml(const std::string& html) = 0;
    virtual webview_error_t Init(const std::string& script) = 0;
    virtual webview_error_t Eval(const std::string& script) = 0;
    using BoundFunction = std::function<void(const std::string& id, const std::string& request)>;
    virtual webview_error_t Bind(const std::string& name, BoundFunction function) = 0;
    virtual webview_error_t Unbind(const std::string& name) = 0;
    virtual webview_error_t Return(const std::string& id, int status, const std::string& result) = 0;
    // Prints the page (once it has loaded) with `title` as the job's title: into the PDF file
    // `pdfPath` without asking, or through the engine's print dialog when the path is empty.
    // CANCELED when the user cancelled; MISSING_DEPENDENCY for an engine that cannot print.
    virtual webview_error_t Print(const std::string& title, const std::string& pdfPath)
    {
        (void)title;
        (void)pdfPath;
        return WEBVIEW_ERROR_MISSING_DEPENDENCY;
    }
};

// The print operation of a web view (beside webview's C calls, which have none): see
// Instance::Print. INVALID_ARGUMENT for a null web view.
webview_error_t Print(webview_t w, const std::string& title, const std::string& pdfPath);

// Makes the engine's web view (null on failure): debug as for webview_create, window an HWND or
// null.
using EngineFactory = std::function<std::unique_ptr<Instance>(bool debug, void* window)>;

// Installs the engine for the process and gives back the previous one (an empty factory: no
// engine). Install it before creating web views.
EngineFactory SetEngine(EngineFactory factory);

// Pages are loaded with a base address in a scheme of our own (kResourceBase); a page's relative
// addresses ("throbber.gif") are answered from the resource source installed for the process:
// it gives the bytes and MIME type for a name, false when there is none.
inline constexpr char kResourceBase[] = "varnex://page/";
using ResourceSource = std::function<bool(const std::string& name, std::string& bytes, std::string& mime)>;
// Installs the source and gives back the previous one (an empty source answers nothing).
ResourceSource SetResourceSource(ResourceSource source);
// What the installed source gives for `name`; false when there is no source or no such resource.
bool FindResource(const std::string& name, std::string& bytes, std::string& mime);

} // namespace vx::webview
