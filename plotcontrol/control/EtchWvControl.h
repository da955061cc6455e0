#pragma once
// The plot window every plot view embeds: a child window hosting one web view that shows the plot
// page. The view hands it markup, numeric data sources and the ids of its clickable plots; the
// control turns these into script calls, answers the page's calls to the bound functions
// "etch_proxy_...", keeps the plot's persisted state, offers the scale menu and the scale-range
// dialog, prints, and tells its observers what the user did in the plot (EtchNotifications.h).
//
// Everything runs on the thread that created the control (the user-interface thread): the web
// view delivers the page's calls from that thread's message loop, so no thread of its own is
// needed.
#include <functional>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include <nlohmann/json.hpp>

#include "foundation/String.h"
#include "foundation/ui/InterThreadNotifier.h"
#include "hostframework/events/MessageChain.h"
#include "hostframework/interfaces/PlotDataInterfaces.h"
#include "plotcontrol/control/EtchNotifications.h"
#include "plotcontrol/control/EtchPersistTask.h"
#include "plotcontrol/control/ScaleProxy.h"
#include "plotcontrol/svg/PlotOutput.h"
#include "ui/Menu.h"
#include "webview/WebView.h"

namespace KEL {

// The scale menu's commands.
enum EtchMenuCommand : UINT {
    kMenuAutoScale = 113,
    kMenuUnipolar = 127,
    kMenuBipolar = 131,
    kMenuInvert = 137,
    kMenuSetScale = 139,
};

// The print dialog a control shows before it asks the page for the plot: fills in the printer and
// answers whether the user chose Print. By default the window system's print dialog
// (ChoosePlotPrinter); without a handler printing is cancelled.
using PlotPrintDialogHandler = std::function<bool(vx::ui::HWND owner, PlotPrintDialog& dialog)>;
PlotPrintDialogHandler SetPlotPrintDialogHandler(PlotPrintDialogHandler handler);

// The markup made safe for a single-quoted script literal, in one pass: backslash, quote, a lone
// CR or LF and U+2028/U+2029 become escapes; a CR LF pair becomes "\n\" followed by CR LF, so the
// script keeps one line per markup line.
std::wstring EscapeMarkupLiteral(const std::wstring& markup);

class EtchWvControl : public InterThreadNotifier, public SimpleUnknownImp1<CAFSubject, 1> {
public:
    // `hostObject` (may be null; held) answers the settings registrar of plot state.
    explicit EtchWvControl(IUnknown* hostObject);
    ~EtchWvControl() override;
    EtchWvControl(const EtchWvControl&) = delete;
    EtchWvControl& operator=(const EtchWvControl&) = delete;
    // The subject's notification to observers; the notifier's call is the other Notify.
    using SimpleUnknownImp1<CAFSubject, 1>::Notify;

    // Makes the window as a child of `parent`, the web view, its bindings and page. False for an
    // invalid parent or when the window or web view cannot be made.
    bool Create(vx::ui::HWND parent);
    // Makes the persisted state of `plotId` (once) and the scale proxies over it.
    void SetPlotId(const String& plotId);
    // Sends the markup, with the persisted state appended, to the page. True when the script was
    // handed over.
    bool SetMarkup(const String& markup);
    void ReapplyMarkup();
    void PlotterDataChanged(const String& plotterId, std::int32_t start);
    void SetEnumSource(const String& dataId, IEnumFloatEx* source);
    void RegisterClickablePlot(
        const String& yDataId, const String& xDataId, const String& plotterId, std::int32_t xyFlag);
    void ClearDataSources();
    // Shows the print dialog; on Print asks the page for the plot, which comes back as SVG.
    void Print(const String& title);
    bool ExecJavaScript(const String& script);

    vx::ui::HWND GetHandle() const { return mHwnd; }
    webview_t GetWebView() const { return mWebView; }
    EtchPersistTask* GetPersistTask() const { return mPersistTask; }
    IScaleProxy* GetScaleProxy(bool vertical) const { return vertical ? mYProxy.get() : mXProxy.get(); }
    const std::wstring& GetMarkup() const { return mMarkup; }
    // The print dialog kept between Print and the plot's SVG (null when none).
    const PlotPrintDialog* PendingPrint() const { return mPrintDialog.get(); }
    const String& PrintTitle() const { return mPrintTitle; }

    // The names bound in the page, in binding order.
    static const std::vector<std::string>& BindingNames();

    // The double-click time handed to the page with the first markup.
    static constexpr int kDoubleClickMs = 500;

protected:
    // The notifier's call: the scale-range dialog (wParam 0).
    LRESULT Notify(WPARAM wParam, LPARAM lParam) override;

private:
    using Handler = void (EtchWvControl::*)(const std::string& id, const nlohmann::json& args);
    struct Binding {
        EtchWvControl* control;
        Handler handler;
        std::string name;
    };
    static void Dispatch(const char* id, const char* request, void* binding);
    static vx::ui::LRESULT WindowProc(vx::ui::HWND hwnd, UINT message, vx::ui::WPARAM wParam, vx::ui::LPARAM lParam);
    vx::ui::LRESULT ProcessWindowMessage(UINT message, vx::ui::WPARAM wParam, vx::ui::LPARAM lParam);

    bool SetupBindings();
    void DestroyWebView();
    void Reply(const std::string& id, const nlohmann::json& result);
    void Reject(const std::string& id, const std::string& error);
    bool Eval(const std::string& script);
    void Send(EtchNotificationKind kind, const void* payload);
    std::string MenuScaleScript(const char* call) const;

    void OnInitMenuPopup(vx::ui::HMENU menu);
    void OnUninitMenuPopup();
    bool OnCommand(UINT id);
    IScaleProxy* MenuProxy() const { return GetScaleProxy(mMenuIsVertical); }

    // The bindings (EtchBindings.cpp).
    void CompileMarkup(const std::string& id, const nlohmann::json& args);
    void MakeDropMenu(const std::string& id, const nlohmann::json& args);
    void SetSVG(const std::string& id, const nlohmann::json& args);
    void HasData(const std::string& id, const nlohmann::json& args);
    void BoxResized(const std::string& id, const nlohmann::json& args);
    void XScalingChanged(const std::string& id, const nlohmann::json& args);
    void YScalingChanged(const std::string& id, const nlohmann::json& args);
    void ZoomLevelChanged(const std::string& id, const nlohmann::json& args);
    void RequestEquation(const std::string& id, const nlohmann::json& args);
    void BadPlotterProperty(const std::string& id, const nlohmann::json& args);
    void IsZoomEnabled(const std::string& id, const nlohmann::json& args);
    void SetZoomState(const std::string& id, const nlohmann::json& args);
    void RegionPosChanged(const std::string& id, const nlohmann::json& args);
    void RegionTextChanged(const std::string& id, const nlohmann::json& args);
    void VLinesDragged(const std::string& id, const nlohmann::json& args);
    void ValuesChanged(EtchNotificationKind kind, const std::string& id, const nlohmann::json& args);
    void ScalingChanged(EtchNotificationKind kind, const std::string& id, const nlohmann::json& args);
    // The data requests (EtchDataRequests.cpp).
    void RequestPixData(const std::string& id, const nlohmann::json& args);
    void RequestLabelsData(const std::string& id, const nlohmann::json& args);
    void OnMouseClick(const std::string& id, const nlohmann::json& args);
    void OnMouseMove(const std::string& id, const nlohmann::json& args);

    struct ClickablePlot {
        std::string xDataId;
        std::string yDataId;
        std::int32_t xyFlag = 0;
    };
    IEnumFloatEx* FindSource(const std::string& dataId) const;

    IUnknown* mHostObject = nullptr; // held
    vx::ui::HWND mHwnd = nullptr;
    webview_t mWebView = nullptr;
    std::vector<std::unique_ptr<Binding>> mBindings;
    bool mFirstMarkup = false;
    std::wstring mMarkup;
    std::map<std::string, IEnumFloatEx*> mSources; // held
    std::map<std::string, ClickablePlot> mClickablePlots; // by y data id
    std::map<std::string, std::string> mPlotterIds; // y data id to plotter id
    EtchPersistTask* mPersistTask = nullptr; // held
    std::unique_ptr<ScaleProxy> mXProxy;
    std::unique_ptr<ScaleProxy> mYProxy;
    std::int32_t mMenuScaleIndex = 0;
    std::string mMenuPlotId;
    vx::ui::HMENU mDropMenu = nullptr;
    bool mMenuPending = false;
    bool mMenuItemsEnabled = false;
    bool mMenuIsVertical = false;
    // Each control prints on its own: the dialog chosen for its last Print and its title.
    std::unique_ptr<PlotPrintDialog> mPrintDialog;
    String mPrintTitle;
};

} // namespace KEL
