#include "webview/FakeWebView.h"

#include <algorithm>
#include <stdexcept>

#include "ui/Window.h"

namespace vx::webview {
namespace {

constexpr wchar_t kTopClass[] = L"VxFakeWebViewWindow";
constexpr wchar_t kWidgetClass[] = L"VxFakeWebViewWidget";

void RegisterClasses()
{
    static const bool registered = [] {
        ui::RegisterClass({kTopClass, 0, ui::DefWindowProc});
        ui::RegisterClass({kWidgetClass, 0, ui::DefWindowProc});
        return true;
    }();
    (void)registered;
}

} // namespace

FakeWebView::FakeWebView(FakeEngine* engine, bool debugOn, ui::HWND window) : debug(debugOn), mEngine(engine)
{
    RegisterClasses();
    topWindow = window;
    if (topWindow == nullptr) {
        topWindow = ui::CreateWindowEx(0, kTopClass, L"", ui::WS_POPUP, 0, 0, 640, 480, nullptr, 0, nullptr);
        mOwnsTopWindow = true;
    }
    widgetWindow = ui::CreateWindowEx(0, kWidgetClass, L"", ui::WS_CHILD | ui::WS_VISIBLE, 0, 0, 640, 480,
        topWindow, 1, nullptr);
    mEngine->mLive.push_back(this);
    ++mEngine->created;
}

FakeWebView::~FakeWebView()
{
    mBindings.clear();
    mCalls.clear();
    if (ui::IsWindow(widgetWindow))
        ui::DestroyWindow(widgetWindow);
    if (mOwnsTopWindow && ui::IsWindow(topWindow))
        ui::DestroyWindow(topWindow);
    auto& live = mEngine->mLive;
    live.erase(std::remove(live.begin(), live.end(), this), live.end());
    ++mEngine->destroyed;
}

webview_error_t FakeWebView::Run()
{
    return WEBVIEW_ERROR_OK;
}

webview_error_t FakeWebView::Terminate()
{
    terminated = true;
    return WEBVIEW_ERROR_OK;
}

webview_error_t FakeWebView::Dispatch(std::function<void()> call)
{
    mDispatched.push_back(std::move(call));
    return WEBVIEW_ERROR_OK;
}

void* FakeWebView::NativeHandle(webview_native_handle_kind_t kind)
{
    switch (kind) {
    case WEBVIEW_NATIVE_HANDLE_KIND_UI_WINDOW:
        return topWindow;
    case WEBVIEW_NATIVE_HANDLE_KIND_UI_WIDGET:
        return widgetWindow;
    default:
        return nullptr;
    }
}

webview_error_t FakeWebView::SetTitle(const std::string& text)
{
    title = text;
    return WEBVIEW_ERROR_OK;
}

webview_error_t FakeWebView::SetSize(int w, int h, webview_hint_t hint)
{
    width = w;
    height = h;
    hints = hint;
    return WEBVIEW_ERROR_OK;
}

webview_error_t FakeWebView::Navigate(const std::string& address)
{
    url = address;
    return WEBVIEW_ERROR_OK;
}

webview_error_t FakeWebView::SetHtml(const std::string& text)
{
    html = text;
    return WEBVIEW_ERROR_OK;
}

webview_error_t FakeWebView::Init(const std::string& script)
{
    initScripts.push_back(script);
    return WEBVIEW_ERROR_OK;
}

webview_error_t FakeWebView::Eval(const std::string& script)
{
    if (evalResult != WEBVIEW_ERROR_OK)
        return evalResult;
    evaluated.push_back(script);
    return WEBVIEW_ERROR_OK;
}

webview_error_t FakeWebView::Bind(const std::string& name, BoundFunction function)
{
    if (!mBindings.emplace(name, std::move(function)).second)
        return WEBVIEW_ERROR_DUPLICATE;
    return WEBVIEW_ERROR_OK;
}

webview_error_t FakeWebView::Unbind(const std::string& name)
{
    return mBindings.erase(name) != 0 ? WEBVIEW_ERROR_OK : WEBVIEW_ERROR_NOT_FOUND;
}

webview_error_t FakeWebView::Return(const std::string& id, int status, const std::string& result)
{
    auto call = mCalls.find(id);
    if (call == mCalls.end() || call->second.has_value())
        return WEBVIEW_ERROR_NOT_FOUND;
    call->second = Reply{status, result};
    return WEBVIEW_ERROR_OK;
}

std::vector<std::string> FakeWebView::BoundNames() const
{
    std::vector<std::string> names;
    for (const auto& [name, function] : mBindings)
        names.push_back(name);
    return names;
}

std::string FakeWebView::Call(const std::string& name, const std::string& argsJson)
{
    auto binding = mBindings.find(name);
    if (binding == mBindings.end())
        throw std::out_of_range("not bound: " + name);
    std::string id = std::to_string(mNextId++);
    mCalls.emplace(id, std::nullopt);
    BoundFunction function = binding->second; // the call may unbind it
    function(id, argsJson);
    return id;
}

std::optional<FakeWebView::Reply> FakeWebView::ReplyTo(const std::string& id) const
{
    auto call = mCalls.find(id);
    return call == mCalls.end() ? std::nullopt : call->second;
}

int FakeWebView::RunDispatched()
{
    int ran = 0;
    while (!mDispatched.empty()) {
        auto call = std::move(mDispatched.front());
        mDispatched.erase(mDispatched.begin());
        call();
        ++ran;
    }
    return ran;
}

FakeEngine::FakeEngine()
{
    mPrevious = SetEngine([this](bool debug, void* window) -> std::unique_ptr<Instance> {
        if (failCreate)
            return nullptr;
        return std::make_unique<FakeWebView>(this, debug, static_cast<ui::HWND>(window));
    });
}

FakeEngine::~FakeEngine()
{
    SetEngine(std::move(mPrevious));
}

} // namespace vx::webview
