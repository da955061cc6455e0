#include "reportcontrol/ReportControl.h"

#include <mutex>

#include "com/ClassObjects.h"
#include "foundation/base/SimpleUnknownImp.h"
#include "log/Log.h"
#include "text/Unicode.h"
#include "ui/Desktop.h"
#include "ui/Window.h"

namespace vx::host {

namespace ui = vx::ui;
using namespace ManagedReportView;

namespace {

constexpr wchar_t kClassName[] = L"VxReportControl";

void RegisterControlClass()
{
    static std::once_flag once;
    std::call_once(once, [] { ui::RegisterClass({ kClassName, 0, ui::DefWindowProc }); });
}

std::string Utf8(const wchar_t* text)
{
    return text ? vx::text::UnitsToUtf8(text) : std::string();
}

class Factory final : public SimpleUnknownImp1<IReportControlFactory, 0> {
public:
    IReportControl* CreateReportControl(WindowHandle parent, IInteropInterface* host, const PosRect& rect) override
    {
        return HtmlReportControl::Create(parent, host, rect);
    }
};

} // namespace

HtmlReportControl::HtmlReportControl(IInteropInterface* host)
    : mHost(host)
{
}

HtmlReportControl::~HtmlReportControl()
{
    if (mWebView)
        webview_destroy(mWebView);
    if (mWindow && ui::IsWindow(mWindow))
        ui::DestroyWindow(mWindow);
}

HtmlReportControl* HtmlReportControl::Create(WindowHandle parent, IInteropInterface* host, const PosRect& rect)
{
    if (!host || !parent || !ui::IsWindow(parent))
        return nullptr;
    auto* control = new HtmlReportControl(host);
    if (!control->Make(parent, rect)) {
        delete control;
        return nullptr;
    }
    return control;
}

bool HtmlReportControl::Make(WindowHandle parent, const PosRect& rect)
{
    RegisterControlClass();
    mWindow = ui::CreateWindowEx(0, kClassName, L"", ui::WS_CHILD | ui::WS_VISIBLE | ui::WS_CLIPCHILDREN, rect.left,
        rect.top, rect.width, rect.height, parent, 0, nullptr);
    if (!mWindow)
        return false;
    mWebView = webview_create(0, nullptr);
    if (!mWebView) {
        vx::log::WriteLine("report control: no web view can be made here");
        return false;
    }
    auto* widget = static_cast<ui::HWND>(webview_get_native_handle(mWebView, WEBVIEW_NATIVE_HANDLE_KIND_UI_WIDGET));
    auto* top = static_cast<ui::HWND>(webview_get_native_handle(mWebView, WEBVIEW_NATIVE_HANDLE_KIND_UI_WINDOW));
    if (!widget || !top)
        return false;
    // The page is shown in our window; the web view's own top-level window stays hidden.
    ui::SetParent(widget, mWindow);
    ui::ShowWindow(top, ui::SW_HIDE);
    SetSize(rect.width, rect.height);
    return true;
}

void HtmlReportControl::SetSize(std::int32_t width, std::int32_t height)
{
    PosRect rect;
    if (ui::IsWindow(mWindow)) {
        ui::Rect now;
        ui::GetWindowRect(mWindow, &now);
        ui::Point origin { now.left, now.top };
        ui::ScreenToClient(ui::GetParent(mWindow), &origin);
        rect.left = origin.x;
        rect.top = origin.y;
    }
    rect.width = width;
    rect.height = height;
    SetPosition(rect);
}

void HtmlReportControl::SetPosition(const PosRect& rect)
{
    const int width = std::max(0, rect.width), height = std::max(0, rect.height);
    if (mWindow)
        ui::MoveWindow(mWindow, rect.left, rect.top, width, height, true);
    if (!mWebView)
        return;
    webview_set_size(mWebView, width, height, WEBVIEW_HINT_NONE);
    if (auto* widget = static_cast<ui::HWND>(webview_get_native_handle(mWebView, WEBVIEW_NATIVE_HANDLE_KIND_UI_WIDGET)))
        ui::MoveWindow(widget, 0, 0, width, height, true);
}

void HtmlReportControl::Reload()
{
    ++mReloads;
    std::wstring html;
    mShown = mHost && mHost->GetHtml(html) ? vx::text::UnitsToUtf8(html) : std::string();
    if (mWebView)
        webview_set_html(mWebView, mShown.c_str());
}

bool HtmlReportControl::PrintInto(const wchar_t* title, const std::string& pdfPath)
{
    if (!mWebView)
        return false;
    const webview_error_t result = vx::webview::Print(mWebView, Utf8(title), pdfPath);
    if (result != WEBVIEW_ERROR_OK && result != WEBVIEW_ERROR_CANCELED)
        vx::log::WriteLine("report control: printing failed (" + std::to_string(static_cast<int>(result)) + ")");
    // Whoever asked for the print hears how it ended.
    ui::PrintOutcome outcome;
    if (result == WEBVIEW_ERROR_CANCELED)
        outcome.kind = ui::PrintOutcome::Kind::Cancelled;
    else if (result != WEBVIEW_ERROR_OK)
        outcome = { ui::PrintOutcome::Kind::Failed,
            pdfPath.empty() ? std::string("The report could not be printed")
                            : "The report could not be printed into " + pdfPath };
    ui::ReportPrintOutcome(outcome);
    return result == WEBVIEW_ERROR_OK;
}

bool HtmlReportControl::PrintToFile(const wchar_t* title, const char* pdfPath)
{
    return pdfPath && *pdfPath && PrintInto(title, pdfPath);
}

bool HtmlReportControl::Print(const wchar_t* title)
{
    // A process told to print into a file (scripted runs, tests) is never shown a dialog.
    return PrintInto(title, ui::PrintToFilePath());
}

void HtmlReportControl::Destroy()
{
    delete this;
}

ReportControlRegistration::ReportControlRegistration()
{
    auto* factory = new Factory;
    factory->AddRef();
    if (FAILED(CoRegisterClassObject(
            IReportControlFactory::kClsid, factory, CLSCTX_INPROC_SERVER, REGCLS_MULTIPLEUSE, &mCookie)))
        mCookie = 0;
    factory->Release();
}

ReportControlRegistration::~ReportControlRegistration()
{
    if (mCookie)
        CoRevokeClassObject(mCookie);
}

} // namespace vx::host
