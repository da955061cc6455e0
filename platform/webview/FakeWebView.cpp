#include "webview/FakeWebView.h"

#include <algorithm>
#include <cctype>
#include <cstdlib>
#include <sstream>
#include <stdexcept>

#include "text/Unicode.h"
#include "ui/Desktop.h"
#include "ui/Gdi.h"
#include "ui/Window.h"

namespace vx::webview {
namespace {

constexpr wchar_t kTopClass[] = L"VxFakeWebViewWindow";
constexpr wchar_t kWidgetClass[] = L"VxFakeWebViewWidget";

void RegisterClasses()
{
    static const bool registered = [] {
        ui::RegisterClass({ kTopClass, 0, ui::DefWindowProc });
        ui::RegisterClass({ kWidgetClass, 0, ui::DefWindowProc });
        return true;
    }();
    (void)registered;
}

std::wstring Wide(const std::string& utf8)
{
    std::wstring out;
    const auto* p = reinterpret_cast<const unsigned char*>(utf8.data());
    const auto* end = p + utf8.size();
    while (p < end) {
        char32_t c = 0;
        out += text::DecodeUtf8(p, end, c) ? static_cast<wchar_t>(c) : L'\uFFFD';
    }
    return out;
}

} // namespace

FakeWebView::FakeWebView(FakeEngine* engine, bool debugOn, ui::HWND window)
    : debug(debugOn)
    , mEngine(engine)
{
    RegisterClasses();
    topWindow = window;
    if (topWindow == nullptr) {
        topWindow = ui::CreateWindowEx(0, kTopClass, L"", ui::WS_POPUP, 0, 0, 640, 480, nullptr, 0, nullptr);
        mOwnsTopWindow = true;
    }
    widgetWindow = ui::CreateWindowEx(
        0, kWidgetClass, L"", ui::WS_CHILD | ui::WS_VISIBLE, 0, 0, 640, 480, topWindow, 1, nullptr);
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

webview_error_t FakeWebView::Print(const std::string& jobTitle, const std::string& pdfPath)
{
    printed.push_back({ jobTitle, pdfPath, html });
    if (pdfPath.empty())
        return printDialogAnswer;
    std::vector<std::wstring> lines;
    std::istringstream in(PageText(html));
    for (std::string line; std::getline(in, line);)
        lines.push_back(Wide(line));
    constexpr int kLinesPerPage = 60;
    ui::PrintJob job;
    job.title = Wide(jobTitle);
    job.pages = std::max<int>(1, (static_cast<int>(lines.size()) + kLinesPerPage - 1) / kLinesPerPage);
    job.drawPage = [&](ui::DC& dc, int page) {
        ui::Font font;
        font.face = L"DejaVu Sans";
        font.height = -40;
        dc.SelectFont(font);
        const int first = page * kLinesPerPage;
        for (int i = first; i < std::min<int>(first + kLinesPerPage, static_cast<int>(lines.size())); ++i) {
            ui::Rect row { 150, 150 + (i - first) * 52, job.pageSize.cx - 150, 150 + (i - first + 1) * 52 };
            dc.DrawText(lines[static_cast<std::size_t>(i)], row, ui::DT_LEFT | ui::DT_SINGLELINE | ui::DT_NOPREFIX);
        }
    };
    return ui::PrintToPdf(job, pdfPath) ? WEBVIEW_ERROR_OK : WEBVIEW_ERROR_UNSPECIFIED;
}

std::string PageText(const std::string& html)
{
    static const char* const kBlocks[]
        = { "p", "div", "h1", "h2", "h3", "h4", "h5", "h6", "tr", "br", "table", "li", "ul", "hr" };
    static const char* const kSkipped[] = { "head", "style", "script" };
    std::string text;
    std::string skipping;
    std::size_t i = 0;
    while (i < html.size()) {
        if (html[i] == '<') {
            const std::size_t end = html.find('>', i);
            if (end == std::string::npos)
                break;
            std::string tag = html.substr(i + 1, end - i - 1);
            i = end + 1;
            const bool closing = !tag.empty() && tag[0] == '/';
            std::string name;
            for (char c : tag.substr(closing ? 1 : 0)) {
                if (!std::isalnum(static_cast<unsigned char>(c)))
                    break;
                name += static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
            }
            if (!skipping.empty()) {
                if (closing && name == skipping)
                    skipping.clear();
                continue;
            }
            if (!closing && std::find_if(std::begin(kSkipped), std::end(kSkipped), [&](const char* s) {
                    return name == s;
                }) != std::end(kSkipped)) {
                skipping = name;
                continue;
            }
            const bool block = std::find_if(std::begin(kBlocks), std::end(kBlocks), [&](const char* b) {
                return name == b;
            }) != std::end(kBlocks);
            text += block ? '\n' : ' ';
            continue;
        }
        if (!skipping.empty()) {
            ++i;
            continue;
        }
        if (html[i] == '&') {
            const std::size_t end = html.find(';', i);
            if (end != std::string::npos && end - i <= 8) {
                const std::string ref = html.substr(i + 1, end - i - 1);
                std::string decoded;
                if (ref == "amp")
                    decoded = "&";
                else if (ref == "lt")
                    decoded = "<";
                else if (ref == "gt")
                    decoded = ">";
                else if (ref == "quot")
                    decoded = "\"";
                else if (ref == "nbsp")
                    decoded = " ";
                else if (ref.size() > 1 && ref[0] == '#')
                    text::AppendUtf8(
                        decoded, static_cast<char32_t>(std::strtoul(ref.c_str() + 1, nullptr, 10) % 0x110000));
                if (!decoded.empty()) {
                    text += decoded;
                    i = end + 1;
                    continue;
                }
            }
        }
        const char c = html[i++];
        text += (c == '\r' || c == '\n' || c == '\t') ? ' ' : c;
    }
    // One blank between words, no blank lines.
    std::string out;
    std::istringstream lines(text);
    for (std::string line; std::getline(lines, line);) {
        std::istringstream words(line);
        std::string word, joined;
        while (words >> word)
            joined += (joined.empty() ? "" : " ") + word;
        if (!joined.empty())
            out += joined + "\n";
    }
    return out;
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
    call->second = Reply { status, result };
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
