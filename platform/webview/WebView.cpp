// The web-view calls: argument checks, then the installed engine.
#include "webview/WebView.h"

#include <cstring>
#include <mutex>

struct webview {
    std::unique_ptr<vx::webview::Instance> instance;
};

namespace vx::webview {
namespace {

std::mutex gEngineMutex;
EngineFactory& Engine()
{
    static EngineFactory factory;
    return factory;
}

std::mutex gResourceMutex;
ResourceSource& Resources()
{
    static ResourceSource source;
    return source;
}

} // namespace

ResourceSource SetResourceSource(ResourceSource source)
{
    std::lock_guard lock(gResourceMutex);
    std::swap(Resources(), source);
    return source;
}

bool FindResource(const std::string& name, std::string& bytes, std::string& mime)
{
    ResourceSource source;
    {
        std::lock_guard lock(gResourceMutex);
        source = Resources();
    }
    return source && source(name, bytes, mime);
}

EngineFactory SetEngine(EngineFactory factory)
{
    std::lock_guard lock(gEngineMutex);
    std::swap(Engine(), factory);
    return factory;
}

} // namespace vx::webview

using vx::webview::Instance;

extern "C" {

webview_t webview_create(int debug, void* window)
{
    vx::webview::EngineFactory factory;
    {
        std::lock_guard lock(vx::webview::gEngineMutex);
        factory = vx::webview::Engine();
    }
    if (!factory)
        return nullptr;
    auto instance = factory(debug != 0, window);
    if (!instance)
        return nullptr;
    return new webview { std::move(instance) };
}

webview_error_t webview_destroy(webview_t w)
{
    if (w == nullptr)
        return WEBVIEW_ERROR_INVALID_ARGUMENT;
    delete w;
    return WEBVIEW_ERROR_OK;
}

webview_error_t webview_run(webview_t w)
{
    return w == nullptr ? WEBVIEW_ERROR_INVALID_ARGUMENT : w->instance->Run();
}

webview_error_t webview_terminate(webview_t w)
{
    return w == nullptr ? WEBVIEW_ERROR_INVALID_ARGUMENT : w->instance->Terminate();
}

webview_error_t webview_dispatch(webview_t w, void (*fn)(webview_t, void*), void* arg)
{
    if (w == nullptr || fn == nullptr)
        return WEBVIEW_ERROR_INVALID_ARGUMENT;
    return w->instance->Dispatch([w, fn, arg] { fn(w, arg); });
}

void* webview_get_window(webview_t w)
{
    return webview_get_native_handle(w, WEBVIEW_NATIVE_HANDLE_KIND_UI_WINDOW);
}

void* webview_get_native_handle(webview_t w, webview_native_handle_kind_t kind)
{
    return w == nullptr ? nullptr : w->instance->NativeHandle(kind);
}

webview_error_t webview_set_title(webview_t w, const char* title)
{
    if (w == nullptr || title == nullptr)
        return WEBVIEW_ERROR_INVALID_ARGUMENT;
    return w->instance->SetTitle(title);
}

webview_error_t webview_set_size(webview_t w, int width, int height, webview_hint_t hints)
{
    // A C caller may pass any number: it is read as a number before it is taken for a hint (an
    // enumeration holding a value outside its range may not even be read).
    int raw = 0;
    static_assert(sizeof raw == sizeof hints);
    std::memcpy(&raw, &hints, sizeof raw);
    if (w == nullptr || raw < WEBVIEW_HINT_NONE || raw > WEBVIEW_HINT_FIXED)
        return WEBVIEW_ERROR_INVALID_ARGUMENT;
    return w->instance->SetSize(width, height, hints);
}

webview_error_t webview_navigate(webview_t w, const char* url)
{
    if (w == nullptr || url == nullptr)
        return WEBVIEW_ERROR_INVALID_ARGUMENT;
    return w->instance->Navigate(url);
}

webview_error_t webview_set_html(webview_t w, const char* html)
{
    if (w == nullptr || html == nullptr)
        return WEBVIEW_ERROR_INVALID_ARGUMENT;
    return w->instance->SetHtml(html);
}

webview_error_t webview_init(webview_t w, const char* js)
{
    if (w == nullptr || js == nullptr)
        return WEBVIEW_ERROR_INVALID_ARGUMENT;
    return w->instance->Init(js);
}

webview_error_t webview_eval(webview_t w, const char* js)
{
    if (w == nullptr || js == nullptr)
        return WEBVIEW_ERROR_INVALID_ARGUMENT;
    return w->instance->Eval(js);
}

webview_error_t webview_bind(webview_t w, const char* name, void (*fn)(const char*, const char*, void*), void* arg)
{
    if (w == nullptr || name == nullptr || *name == '\0' || fn == nullptr)
        return WEBVIEW_ERROR_INVALID_ARGUMENT;
    return w->instance->Bind(
        name, [fn, arg](const std::string& id, const std::string& request) { fn(id.c_str(), request.c_str(), arg); });
}

webview_error_t webview_unbind(webview_t w, const char* name)
{
    if (w == nullptr || name == nullptr)
        return WEBVIEW_ERROR_INVALID_ARGUMENT;
    return w->instance->Unbind(name);
}

webview_error_t webview_return(webview_t w, const char* id, int status, const char* result)
{
    if (w == nullptr || id == nullptr || result == nullptr)
        return WEBVIEW_ERROR_INVALID_ARGUMENT;
    return w->instance->Return(id, status, result);
}

} // extern "C"

namespace vx::webview {
webview_error_t Print(webview_t w, const std::string& title, const std::string& pdfPath)
{
    if (w == nullptr)
        return WEBVIEW_ERROR_INVALID_ARGUMENT;
    return w->instance->Print(title, pdfPath);
}
} // namespace vx::webview
