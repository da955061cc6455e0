#include "plotcontrol/control/EtchWvControl.h"

#include <cctype>
#include <mutex>
#include <string>

#include "hostframework/services/CafFrameWork.h"
#include "log/Log.h"
#include "plotcontrol/control/ScaleRangeDialog.h"
#include "plotcontrol/page/EtchPage.h"
#include "plotcontrol/svg/PrintableSvgRenderer.h"
#include "text/Unicode.h"
#include "ui/Desktop.h"
#include "ui/Input.h"
#include "ui/MessageQueue.h"
#include "ui/Window.h"

namespace KEL {

using namespace vx::ui;

namespace {

constexpr const wchar_t* kClassName = L"EtchWvControl";
constexpr DWORD kControlStyle = WS_CHILD | WS_VISIBLE | WS_CLIPCHILDREN;

// Copy in the page copies the plot (as SVG, through the SetSVG binding), not the page's text.
constexpr const char* kCopyScript
    = "window.addEventListener('copy', function(e) {   e.preventDefault();   if (typeof etch !== 'undefined' && "
      "etch.get_plot) {     var plot = etch.get_plot('local');     if(plot) plot.copy('copy');   } });\n";

// WebKit draws the text of the plot's SVG overlay (legend, text regions, readouts) only in a face
// it finds by name: when none of the plot's families is installed, not even its generic family
// resolves there. The page ends the overlay's family lists with the face the font configuration
// draws sans-serif text in, which is installed (window.etch_font_fallback).
std::string FontFallbackScript()
{
    std::string name;
    for (const char c : KEL::MatchedFontFamily("sans-serif"))
        if (std::isalnum(static_cast<unsigned char>(c)) || c == ' ' || c == '-' || c == '_' || c == '.')
            name += c;
    return name.empty() ? std::string() : "window.etch_font_fallback = '" + name + "';\n";
}

std::mutex gPrintDialogMutex;
// Controls with a web view: the page's resource source is this module's while any is alive, and
// is taken back when the last goes, so the process-wide web view never calls into a module that
// has been unloaded.
int gControlsWithPage = 0;
// The window system's print dialog unless a test installs another.
PlotPrintDialogHandler gPrintDialogHandler = ChoosePlotPrinter;

void Log(const std::string& line)
{
    vx::log::WriteLine("KELBOOTLOG: " + line);
}

std::string Utf8(const String& text)
{
    return vx::text::UnitsToUtf8(text.ToWString());
}

} // namespace

PlotPrintDialogHandler SetPlotPrintDialogHandler(PlotPrintDialogHandler handler)
{
    std::lock_guard lock(gPrintDialogMutex);
    return std::exchange(gPrintDialogHandler, std::move(handler));
}

std::wstring EscapeMarkupLiteral(const std::wstring& markup)
{
    std::wstring out;
    out.reserve(markup.size() + markup.size() / 8);
    for (std::size_t i = 0; i < markup.size(); ++i) {
        const wchar_t c = markup[i];
        switch (c) {
        case L'\\':
            out += L"\\\\";
            break;
        case L'\'':
            out += L"\\'";
            break;
        case L'\r':
            if (i + 1 < markup.size() && markup[i + 1] == L'\n') {
                out += L"\\n\\\r\n"; // an escaped newline, then a line continuation
                ++i;
            } else {
                out += L"\\r";
            }
            break;
        case L'\n':
            out += L"\\n";
            break;
        case 0x2028:
            out += L"\\u2028";
            break;
        case 0x2029:
            out += L"\\u2029";
            break;
        default:
            out += c;
            break;
        }
    }
    return out;
}

EtchWvControl::EtchWvControl(IUnknown* hostObject)
    : mHostObject(hostObject)
{
    if (mHostObject)
        mHostObject->AddRef();
}

EtchWvControl::~EtchWvControl()
{
    DestroyWebView();
    if (mDropMenu)
        DestroyMenu(mDropMenu);
    mXProxy.reset();
    mYProxy.reset();
    if (mPersistTask) {
        mPersistTask->Disconnect();
        mPersistTask->Release();
    }
    if (mHostObject)
        mHostObject->Release();
    ClearDataSources();
    if (mHwnd && IsWindow(mHwnd)) {
        SetWindowLongPtr(mHwnd, GWLP_USERDATA, 0);
        DestroyWindow(mHwnd);
    }
}

void EtchWvControl::DestroyWebView()
{
    if (!mWebView)
        return;
    // The handlers go first, so that nothing the page still sends reaches a control being
    // destroyed; destroying the web view drops the replies not yet delivered.
    for (const auto& binding : mBindings)
        webview_unbind(mWebView, binding->name.c_str());
    webview_destroy(mWebView);
    mWebView = nullptr;
    mBindings.clear();
    if (--gControlsWithPage == 0) {
        vx::webview::SetResourceSource({});
        // A copied plot's picture is drawn when first pasted: drawn now, while this module's code
        // is still there to draw it.
        vx::ui::MakeClipboardDataNow();
    }
}

LRESULT EtchWvControl::WindowProc(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam)
{
    if (message == WM_NCCREATE) {
        auto* create = reinterpret_cast<CREATESTRUCTW*>(lParam);
        SetWindowLongPtr(hwnd, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(create->lpCreateParams));
    }
    auto* control = reinterpret_cast<EtchWvControl*>(GetWindowLongPtr(hwnd, GWLP_USERDATA));
    if (message == WM_NCDESTROY && control) {
        control->mHwnd = nullptr;
        SetWindowLongPtr(hwnd, GWLP_USERDATA, 0);
    }
    if (control && control->mHwnd == hwnd)
        return control->ProcessWindowMessage(message, wParam, lParam);
    return DefWindowProc(hwnd, message, wParam, lParam);
}

bool EtchWvControl::Create(HWND parent)
{
    mFirstMarkup = true;
    Log("EtchWvControl::Create");
    if (!parent || !IsWindow(parent)) {
        Log("EtchWvControl::Create - Invalid parent HWND");
        return false;
    }
    // Registered once for the process; a second registration fails harmlessly.
    static const bool registered = RegisterClass({ kClassName, CS_DBLCLKS, &EtchWvControl::WindowProc });
    (void)registered;
    mHwnd = CreateWindowEx(0, kClassName, L"", kControlStyle, 0, 0, 0, 0, parent, 0, this);
    if (!mHwnd)
        return false;
    mWebView = webview_create(1, nullptr);
    if (!mWebView) {
        Log("Failed to create webview");
        return false;
    }
    ++gControlsWithPage;
    webview_init(mWebView, kCopyScript);
    if (const std::string fonts = FontFallbackScript(); !fonts.empty())
        webview_init(mWebView, fonts.c_str());
    Rect client;
    GetClientRect(parent, &client);
    webview_set_size(mWebView, client.Width(), client.Height(), WEBVIEW_HINT_NONE);
    auto widget = static_cast<HWND>(webview_get_native_handle(mWebView, WEBVIEW_NATIVE_HANDLE_KIND_UI_WIDGET));
    auto top = static_cast<HWND>(webview_get_native_handle(mWebView, WEBVIEW_NATIVE_HANDLE_KIND_UI_WINDOW));
    if (!widget || !top)
        return false;
    SetParent(widget, parent);
    ShowWindow(top, SW_HIDE);
    if (!SetupBindings())
        Log("SetupBindings failed");
    // The page asks for its throbber and cursors by name under the web view's base address.
    vx::webview::SetResourceSource(Etch::GetEtchResource);
    webview_set_html(mWebView, Etch::GetEtchPageHtml().c_str());
    return true;
}

void EtchWvControl::SetPlotId(const String& plotId)
{
    Log("EtchWvControl::SetPlotId: " + Utf8(plotId));
    // The view's host object may carry a registrar of its own; otherwise the framework's shared
    // host object holds the host's one.
    IPlotStateRegistrar* registrar = nullptr;
    if (mHostObject
        && FAILED(mHostObject->QueryInterface(IPlotStateRegistrar::kIid, reinterpret_cast<void**>(&registrar))))
        if (ISharedHostObject* shared = CAFFrameWork::GetSharedHostObject())
            shared->QueryInterface(IPlotStateRegistrar::kIid, reinterpret_cast<void**>(&registrar));
    if (!registrar) {
        Log("EtchWvControl::SetPlotId: No settings registrar");
        return;
    }
    if (!mPersistTask) {
        mPersistTask = new EtchPersistTask(plotId, registrar, this);
        mXProxy = std::make_unique<ScaleProxy>(mPersistTask, 0);
        mYProxy = std::make_unique<ScaleProxy>(mPersistTask, 1);
    }
    registrar->Release();
}

bool EtchWvControl::SetMarkup(const String& markup)
{
    mMarkup = markup.ToWString();
    std::wstring text = mMarkup;
    if (mPersistTask)
        mPersistTask->WriteAxisScaleMarkup(text);
    else
        Log("EtchWvControl::SetMarkup: No persist task");
    const std::wstring literal = EscapeMarkupLiteral(text);
    std::wstring script = L"(async () => { (await etch.make_plot('local', '" + literal + L"')).";
    if (mFirstMarkup) {
        script += L"dblclick_ms('" + std::to_wstring(kDoubleClickMs) + L"');})();";
        mFirstMarkup = false;
    } else {
        script += L"set_markup('" + literal + L"');})();";
    }
    return ExecJavaScript(String(script));
}

void EtchWvControl::ReapplyMarkup()
{
    if (!mMarkup.empty())
        SetMarkup(String(mMarkup));
}

void EtchWvControl::PlotterDataChanged(const String& plotterId, std::int32_t start)
{
    Log("EtchWvControl::PlotterDataChanged: " + Utf8(plotterId));
    const std::wstring script = L"etch.get_plot('local').plotter_data_changed('"
        + EscapeMarkupLiteral(plotterId.ToWString()) + L"', " + std::to_wstring(start) + L", 2147483647);";
    ExecJavaScript(String(script));
}

void EtchWvControl::SetEnumSource(const String& dataId, IEnumFloatEx* source)
{
    Log("EtchWvControl::SetEnumSource: " + Utf8(dataId));
    if (source)
        source->AddRef();
    IEnumFloatEx*& slot = mSources[Utf8(dataId)];
    if (slot)
        slot->Release();
    slot = source;
}

void EtchWvControl::RegisterClickablePlot(
    const String& yDataId, const String& xDataId, const String& plotterId, std::int32_t xyFlag)
{
    Log("EtchWvControl::RegisterClickablePlot: " + Utf8(yDataId) + ", " + Utf8(xDataId) + ", " + Utf8(plotterId) + ", "
        + std::to_string(xyFlag));
    const std::string y = Utf8(yDataId);
    mClickablePlots[y] = { Utf8(xDataId), y, xyFlag };
    mPlotterIds[y] = Utf8(plotterId);
}

void EtchWvControl::ClearDataSources()
{
    Log("EtchWvControl::ClearDataSources");
    for (auto& [id, source] : mSources)
        if (source)
            source->Release();
    mSources.clear();
    mClickablePlots.clear();
    mPlotterIds.clear();
}

IEnumFloatEx* EtchWvControl::FindSource(const std::string& dataId) const
{
    auto found = mSources.find(dataId);
    return found == mSources.end() ? nullptr : found->second;
}

void EtchWvControl::Print(const String& title)
{
    mPrintTitle = title;
    mPrintDialog = std::make_unique<PlotPrintDialog>();
    mPrintDialog->title = title.ToWString();
    PlotPrintDialogHandler handler;
    {
        std::lock_guard lock(gPrintDialogMutex);
        handler = gPrintDialogHandler;
    }
    if (!handler || !handler(mHwnd, *mPrintDialog)) {
        mPrintDialog.reset();
        vx::ui::ReportPrintOutcome({ vx::ui::PrintOutcome::Kind::Cancelled, {} });
        return;
    }
    const webview_error_t code = webview_eval(mWebView, "etch.get_plot('local').copy('print');");
    Log("ExecJavaScript err: " + std::to_string(code));
    // The page prints when it sends the plot back; a page that cannot be asked never will.
    if (code != WEBVIEW_ERROR_OK) {
        mPrintDialog.reset();
        vx::ui::ReportPrintOutcome(
            { vx::ui::PrintOutcome::Kind::Failed, "The plot's page cannot be asked for the plot" });
    }
}

bool EtchWvControl::ExecJavaScript(const String& script)
{
    return Eval(Utf8(script));
}

bool EtchWvControl::Eval(const std::string& script)
{
    const webview_error_t code = webview_eval(mWebView, script.c_str());
    Log("ExecJavaScript err: " + std::to_string(code));
    return code == WEBVIEW_ERROR_OK;
}

void EtchWvControl::Send(EtchNotificationKind kind, const void* payload)
{
    CAFSubject::Notify(EtchNotificationId(kind), reinterpret_cast<ULONGLONG>(payload));
}

// ---- Window and scale menu ----------------------------------------------------------------------

LRESULT EtchWvControl::ProcessWindowMessage(UINT message, WPARAM wParam, LPARAM lParam)
{
    switch (message) {
    case WM_INITMENUPOPUP:
        OnInitMenuPopup(reinterpret_cast<HMENU>(wParam));
        return 0;
    case WM_UNINITMENUPOPUP:
        OnUninitMenuPopup();
        return 0;
    case WM_COMMAND:
        if (OnCommand(LOWORD(wParam)))
            return 0;
        break;
    default:
        break;
    }
    return DefWindowProc(mHwnd, message, wParam, lParam);
}

void EtchWvControl::OnInitMenuPopup(HMENU menu)
{
    if (!mMenuPending) {
        while (DeleteMenu(menu, 0, MF_BYPOSITION)) { }
        return;
    }
    struct Item {
        const wchar_t* text;
        UINT id;
        bool mayEnable;
    };
    static const Item kItems[] = {
        { L"Auto Scale", kMenuAutoScale, true },
        { L"Unipolar", kMenuUnipolar, true },
        { L"Bipolar", kMenuBipolar, true },
        { L"Invert Scale and Data", kMenuInvert, false },
        { L"Set Scale...", kMenuSetScale, true },
    };
    const IScaleProxy* proxy = MenuProxy();
    const bool inverted = proxy && proxy->GetLower() > proxy->GetUpper();
    for (const Item& item : kItems) {
        UINT flags = MF_STRING;
        if (!(mMenuItemsEnabled && item.mayEnable))
            flags |= MF_GRAYED | MF_DISABLED;
        if (item.id == kMenuInvert && inverted)
            flags |= MF_CHECKED;
        AppendMenu(menu, flags, item.id, item.text);
    }
}

void EtchWvControl::OnUninitMenuPopup()
{
    mMenuPending = false;
    Point cursor = GetCursorPos();
    ScreenToClient(mHwnd, &cursor);
    Eval(MenuScaleScript(("menu_closed(" + std::to_string(cursor.x) + "," + std::to_string(cursor.y) + ");").c_str()));
}

std::string EtchWvControl::MenuScaleScript(const char* call) const
{
    const std::wstring plotId
        = EscapeMarkupLiteral(String::FromUtf8(mMenuPlotId.data(), mMenuPlotId.size()).ToWString());
    return "etch.get_plot('" + vx::text::UnitsToUtf8(plotId) + "').get_scales()[" + std::to_string(mMenuScaleIndex)
        + "]." + call;
}

bool EtchWvControl::OnCommand(UINT id)
{
    switch (id) {
    case kMenuAutoScale:
        Eval(MenuScaleScript("auto_scale();"));
        return true;
    case kMenuUnipolar:
        Eval(MenuScaleScript("set_unipolar();"));
        return true;
    case kMenuBipolar:
        Eval(MenuScaleScript("set_bipolar();"));
        return true;
    case kMenuInvert:
        if (IScaleProxy* proxy = MenuProxy())
            proxy->Swap();
        ReapplyMarkup();
        return true;
    case kMenuSetScale:
        InterThreadNotifier::Post(0, 0);
        return true;
    default:
        return false;
    }
}

LRESULT EtchWvControl::Notify(WPARAM wParam, LPARAM)
{
    if (wParam != 0)
        return 0;
    IScaleProxy* proxy = MenuProxy();
    if (!proxy)
        return 1;
    ScaleRange dialog(GetApplication().mainWindow, *proxy);
    if (dialog.Execute() == IDOK)
        ReapplyMarkup();
    return 1;
}

} // namespace KEL
