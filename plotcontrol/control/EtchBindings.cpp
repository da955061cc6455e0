// The functions the plot page calls: each gets the JSON array of the script's arguments and
// answers with {"result": ...}. A request of the wrong shape rejects the script's promise with the
// JSON library's error text; nothing is thrown out of a handler.
#include <algorithm>

#include "hostframework/services/CafFrameWork.h"
#include "log/Log.h"
#include "plotcontrol/compiler/MarkupScript.h"
#include "plotcontrol/control/EtchWvControl.h"
#include "text/Unicode.h"
#include "ui/Desktop.h"
#include "ui/Window.h"

namespace KEL {

using namespace vx::ui;
using nlohmann::json;

DWORD EtchNotificationId(EtchNotificationKind kind)
{
    static const WORD typeIndex = HostTypeIndex(kEtchNotificationType);
    return (DWORD(typeIndex) << 16) | kind;
}

namespace {

void Log(const std::string& line)
{
    vx::log::WriteLine("KELBOOTLOG: " + line);
}

String Wide(const std::string& utf8)
{
    return String::FromUtf8(utf8.data(), utf8.size());
}

std::string Text(const json& args, std::size_t i)
{
    return args.at(i).get<std::string>();
}

double Number(const json& args, std::size_t i)
{
    const json& value = args.at(i);
    if (!value.is_number())
        throw json::type_error::create(302, "type must be number, but is " + std::string(value.type_name()), &value);
    return value.get<double>();
}

bool Boolean(const json& args, std::size_t i)
{
    return args.at(i).get<bool>();
}

std::vector<double> Numbers(const json& args, std::size_t i)
{
    const json& array = args.at(i);
    if (!array.is_array())
        throw json::type_error::create(302, "type must be array, but is " + std::string(array.type_name()), &array);
    std::vector<double> values;
    values.reserve(array.size());
    for (std::size_t k = 0; k < array.size(); ++k)
        values.push_back(Number(array, k));
    return values;
}

} // namespace

const std::vector<std::string>& EtchWvControl::BindingNames()
{
    static const std::vector<std::string> names = {
        "etch_proxy_CompileMarkup",
        "etch_proxy_RequestPixData",
        "etch_proxy_MakeDropMenu",
        "etch_proxy_SetSVG",
        "etch_proxy_HasData",
        "etch_proxy_BoxResized",
        "etch_proxy_XScalingChanged",
        "etch_proxy_YScalingChanged",
        "etch_proxy_ZoomLevelChanged",
        "etch_proxy_RequestLabelsData",
        "etch_proxy_RequestEquation",
        "etch_proxy_BadPlotterProperty",
        "etch_proxy_IsZoomEnabled",
        "etch_proxy_SetZoomState",
        "etch_proxy_OnMouseClick",
        "etch_proxy_OnMouseMove",
        "etch_proxy_RegionPosChanged",
        "etch_proxy_RegionTextChanged",
        "etch_proxy_VLinesDragged",
    };
    return names;
}

bool EtchWvControl::SetupBindings()
{
    // In the order of BindingNames.
    static const Handler kHandlers[] = {
        &EtchWvControl::CompileMarkup,
        &EtchWvControl::RequestPixData,
        &EtchWvControl::MakeDropMenu,
        &EtchWvControl::SetSVG,
        &EtchWvControl::HasData,
        &EtchWvControl::BoxResized,
        &EtchWvControl::XScalingChanged,
        &EtchWvControl::YScalingChanged,
        &EtchWvControl::ZoomLevelChanged,
        &EtchWvControl::RequestLabelsData,
        &EtchWvControl::RequestEquation,
        &EtchWvControl::BadPlotterProperty,
        &EtchWvControl::IsZoomEnabled,
        &EtchWvControl::SetZoomState,
        &EtchWvControl::OnMouseClick,
        &EtchWvControl::OnMouseMove,
        &EtchWvControl::RegionPosChanged,
        &EtchWvControl::RegionTextChanged,
        &EtchWvControl::VLinesDragged,
    };
    static_assert(std::size(kHandlers) == 19);
    const std::vector<std::string>& names = BindingNames();
    for (std::size_t i = 0; i < names.size(); ++i) {
        auto binding = std::make_unique<Binding>(Binding { this, kHandlers[i], names[i] });
        if (webview_bind(mWebView, names[i].c_str(), &EtchWvControl::Dispatch, binding.get()) != WEBVIEW_ERROR_OK)
            return false;
        mBindings.push_back(std::move(binding));
    }
    return true;
}

void EtchWvControl::Dispatch(const char* id, const char* request, void* arg)
{
    const auto* binding = static_cast<const Binding*>(arg);
    EtchWvControl& control = *binding->control;
    const std::string requestId = id ? id : "";
    try {
        const json args = json::parse(request ? request : "");
        if (!args.is_array())
            throw json::type_error::create(
                305, "cannot use operator[] with a numeric argument with " + std::string(args.type_name()), &args);
        (control.*(binding->handler))(requestId, args);
    } catch (const std::exception& e) {
        vx::log::WriteLine("KELBOOTLOG: " + binding->name + " failed: " + e.what());
        control.Reject(requestId, e.what());
    }
}

void EtchWvControl::Reply(const std::string& id, const json& result)
{
    // Texts from the page or a source may hold invalid UTF-8: it is replaced, not thrown.
    // Non-finite numbers are written as null.
    const std::string text = json { { "result", result } }.dump(-1, ' ', false, json::error_handler_t::replace);
    if (id.empty() || text.empty())
        return;
    webview_return(mWebView, id.c_str(), 0, text.c_str());
}

void EtchWvControl::Reject(const std::string& id, const std::string& error)
{
    if (!id.empty())
        webview_return(
            mWebView, id.c_str(), 1, json(error).dump(-1, ' ', false, json::error_handler_t::replace).c_str());
}

void EtchWvControl::CompileMarkup(const std::string& id, const json& args)
{
    const std::string plotId = Text(args, 0), markup = Text(args, 1);
    Log("etch_proxy_CompileMarkup, got: " + plotId + " - " + markup);
    std::string script;
    if (Etch::GetSetMarkupJS(markup, plotId, script)) {
        Reply(id, true);
        const EtchCompileNotice notice { 1 };
        Send(kCompileMarkup, &notice);
        const webview_error_t code = webview_eval(mWebView, script.c_str());
        Log("GetSetMarkupJS eval result: " + std::to_string(code));
        return;
    }
    const EtchCompileNotice notice { 0 };
    Send(kCompileMarkup, &notice);
    Log("etch_proxy_CompileMarkup, big oof");
    // The page's promise settles, and the plot shows why nothing is drawn.
    Reply(id, false);
    Etch::Markup::AST ast;
    std::string error;
    int line = 0;
    Etch::ParseEtchMarkup(markup, ast, error, line);
    // The parser's text names the line itself; a text that fails without one does not start with
    // a declaration.
    if (error.empty())
        error = markup.find_first_not_of(" \t\r\n\v\f") == std::string::npos
            ? "the markup is empty"
            : "the markup does not start with a declaration (name: value)";
    std::string show;
    Etch::GetShowErrorJS("Markup error: " + error, plotId, show);
    Eval(show);
}

void EtchWvControl::MakeDropMenu(const std::string& id, const json& args)
{
    const std::string plotId = Text(args, 0);
    const double scaleIndex = Number(args, 1);
    const double left = Number(args, 2), top = Number(args, 3), right = Number(args, 4), bottom = Number(args, 5);
    const bool vertical = Boolean(args, 6);
    const double min = Number(args, 7), max = Number(args, 8);
    if (!mHwnd || !IsWindow(mHwnd)) {
        Reply(id, false);
        return;
    }
    mMenuPending = true;
    mMenuItemsEnabled = true;
    mMenuPlotId = plotId;
    mMenuScaleIndex = static_cast<std::int32_t>(std::clamp(scaleIndex, -2147483648.0, 2147483647.0));
    mMenuIsVertical = vertical;
    if (IScaleProxy* proxy = MenuProxy(); proxy && proxy->GetLower() == proxy->GetUpper())
        proxy->SetRange(max, min);

    const auto pixel = [](double v) { return static_cast<int>(std::clamp(v, -1e9, 1e9)); };
    Point topLeft { pixel(left), pixel(top) }, bottomRight { pixel(right), pixel(bottom) };
    ClientToScreen(mHwnd, &topLeft);
    ClientToScreen(mHwnd, &bottomRight);
    const Rect exclude { topLeft.x, topLeft.y, bottomRight.x, bottomRight.y };
    if (mDropMenu)
        DestroyMenu(mDropMenu);
    mDropMenu = CreatePopupMenu();
    Point anchor = bottomRight;
    if (!MonitorFromPoint(anchor, MONITOR_DEFAULTTONULL)) {
        Monitor nearest;
        GetMonitorInfo(MonitorFromPoint(anchor, MONITOR_DEFAULTTONEAREST), &nearest);
        anchor.x
            = std::clamp(anchor.x, static_cast<int>(nearest.workArea.left), static_cast<int>(nearest.workArea.right));
    }
    constexpr UINT kRightAlign = 0x0008;
    TrackPopupMenuEx(mDropMenu, kRightAlign | TPM_VERTICAL, anchor.x, anchor.y, mHwnd, &exclude);
    Reply(id, true);
}

void EtchWvControl::SetSVG(const std::string& id, const json& args)
{
    const std::string plotId = Text(args, 0), kind = Text(args, 1), svg = Text(args, 2);
    bool ok = true;
    if (kind == "copy") {
        ok = CopyPlotSvgToClipboard(mHwnd, svg);
        if (!ok)
            Log("etch_proxy_SetSVG: the plot could not be copied");
    } else if (kind == "print" && mPrintDialog) {
        // The print is over here: its outcome goes to whoever asked for it, nothing waits for the
        // user inside the page's call.
        const PlotPrintResult printed = PrintPlotFromSvg(svg, *mPrintDialog);
        mPrintDialog.reset();
        ok = printed.printed;
        if (!ok)
            Log("etch_proxy_SetSVG: the plot could not be printed");
        vx::ui::ReportPrintOutcome(
            ok ? vx::ui::PrintOutcome {} : vx::ui::PrintOutcome { vx::ui::PrintOutcome::Kind::Failed, printed.error });
    }
    const EtchSvgNotice notice { Wide(plotId), Wide(kind), Wide(svg) };
    Send(kSetSVG, &notice);
    Reply(id, ok);
}

void EtchWvControl::HasData(const std::string& id, const json&)
{
    Reply(id, !mSources.empty());
}

void EtchWvControl::ValuesChanged(EtchNotificationKind kind, const std::string& id, const json& args)
{
    const std::string itemId = Text(args, 0);
    const std::vector<double> values = Numbers(args, 1);
    if (!values.empty()) {
        const EtchValuesNotice notice { Wide(itemId), values.data(), static_cast<std::int64_t>(values.size()) };
        Send(kind, &notice);
    }
    Reply(id, true);
}

void EtchWvControl::ScalingChanged(EtchNotificationKind kind, const std::string& id, const json& args)
{
    const std::string plotId = Text(args, 0);
    const std::vector<double> values = Numbers(args, 1);
    if (!values.empty()) {
        const EtchScalingNotice notice { Wide(plotId), values.data(), static_cast<std::int32_t>(values.size() - 1),
            static_cast<BYTE>(values.back() != 0 ? 1 : 0) };
        Send(kind, &notice);
    }
    Reply(id, true);
}

void EtchWvControl::BoxResized(const std::string& id, const json& args)
{
    ValuesChanged(kBoxResized, id, args);
}

void EtchWvControl::XScalingChanged(const std::string& id, const json& args)
{
    ScalingChanged(kXScalingChanged, id, args);
}

void EtchWvControl::YScalingChanged(const std::string& id, const json& args)
{
    ScalingChanged(kYScalingChanged, id, args);
}

void EtchWvControl::ZoomLevelChanged(const std::string& id, const json& args)
{
    ValuesChanged(kZoomLevelChanged, id, args);
}

void EtchWvControl::VLinesDragged(const std::string& id, const json& args)
{
    ValuesChanged(kVLinesDragged, id, args);
}

void EtchWvControl::RequestEquation(const std::string& id, const json&)
{
    Reply(id, "");
}

void EtchWvControl::BadPlotterProperty(const std::string& id, const json& args)
{
    Text(args, 0);
    EtchBadPropertyNotice notice { Wide(Text(args, 1)), Wide(Text(args, 2)), Wide(Text(args, 3)), String() };
    // The default is written as the page gave it: a text as it stands, anything else as JSON.
    if (args.size() > 4)
        notice.defaultValue = Wide(args[4].is_string() ? args[4].get<std::string>() : args[4].dump());
    Send(kBadPlotterProperty, &notice);
    Reply(id, true);
}

void EtchWvControl::IsZoomEnabled(const std::string& id, const json&)
{
    Reply(id, false);
}

void EtchWvControl::SetZoomState(const std::string& id, const json& args)
{
    Boolean(args, 1);
    Boolean(args, 2);
    Reply(id, true);
}

void EtchWvControl::RegionPosChanged(const std::string& id, const json& args)
{
    const EtchRegionPosNotice notice { Wide(Text(args, 0)), Number(args, 1), Number(args, 2) };
    Send(kRegionPosChanged, &notice);
    Reply(id, true);
}

void EtchWvControl::RegionTextChanged(const std::string& id, const json& args)
{
    const EtchRegionTextNotice notice { Wide(Text(args, 0)), Wide(Text(args, 1)) };
    Send(kRegionTextChanged, &notice);
    Reply(id, true);
}

} // namespace KEL
