#pragma once
// A plot control as a plot view uses it, shown on the virtual display over WebKitGTK: the host
// framework registered as the host registers it, series sources over vectors, an observer that
// keeps the control's notifications, and a test binding through which a watcher script in the
// page reports when the plot has set itself up, fetched its data and painted.
#include <chrono>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include <nlohmann/json.hpp>

#include "foundation/base/SimpleUnknownImp.h"
#include "hostframework/interfaces/PlotDataInterfaces.h"
#include "plotcontrol/control/EtchWvControl.h"
#include "ui/Gdi.h"
#include "ui/Window.h"

namespace vx::e2e {

class VirtualDisplay;

// Starts `display`, points this process at it and installs the gtk backend of the window system
// with the WebKitGTK web view over it. False, with the reason in `why`, when any step fails.
bool StartWebViewsOnDisplay(VirtualDisplay& display, std::string& why);

// Registers the host framework's class object for the process, as the host does at start, so
// that the control finds the subject registry, the type ids and the plot-state registrar.
void RegisterHostFramework();
void RevokeHostFramework();

// The run of a program whose web views show in this process on a virtual display: a fresh home
// (named from `homePrefix`) applied to this process, the display with the web views started on it
// (`ready`, or `why` says why not), with the host framework registered around the tests when
// `withFramework`, and a watchdog of `seconds` per test. Ends the process with what RUN_ALL_TESTS
// returned once the display is stopped: GTK must not touch it again.
[[noreturn]] void RunWebViewTestsOnDisplay(
    const std::string& homePrefix, int seconds, bool withFramework, bool& ready, std::string& why);

// A series of floats (NaN: a gap), optionally with a text per element.
class SeriesSource final : public SimpleUnknownImp2<IEnumFloatEx, KEL::IEtchEnum, 1> {
public:
    explicit SeriesSource(std::vector<float> values, std::vector<std::wstring> labels = {});
    HRESULT QueryInterface(REFIID iid, void** out) override;
    HRESULT Clone(IEnumFloatEx** out) override;
    HRESULT Skip(LONG count, LONG* skipped) override;
    HRESULT GetPosition(LONG* position) override;
    HRESULT GetSampledFlag(WORD* flag) override;
    HRESULT GetExtent(std::int64_t* extent) override;
    HRESULT Next(ULONG count, float* values, ULONG* fetched) override;
    HRESULT GetElementText(LONG index, KEL::String* text) override;

    int blocksRead = 0;

private:
    std::vector<float> mValues;
    std::vector<std::wstring> mLabels;
    LONG mPosition = 0;
};

// A notification as an observer of the control saw it, its texts copied.
struct PlotNotice {
    unsigned kind = 0;
    std::vector<std::string> texts;
    std::vector<double> values;
    int flag = -1;
};

class NoticeLog final : public SimpleUnknownImp1<IObserver, 1> {
public:
    HRESULT OnAttach(ISubject*) override { return S_OK; }
    HRESULT OnNotify(ISubject* subject, DWORD eventId, ULONGLONG flags, ULONGLONG value) override;
    std::vector<PlotNotice> Of(unsigned kind) const;
    std::vector<PlotNotice> notices;
};

// A top-level window with a plot control filling its client area at (x, y) of the screen.
// Windows shown together must not overlap: screenshots are taken from the display.
class PlotWindow {
public:
    PlotWindow(const std::wstring& title, int x, int y, int width, int height);
    ~PlotWindow();
    PlotWindow(const PlotWindow&) = delete;
    PlotWindow& operator=(const PlotWindow&) = delete;

    // False when the control or its web view could not be made.
    bool Ok() const { return mOk; }
    KEL::EtchWvControl& Control() { return *mControl; }
    NoticeLog& Notices() { return *mNotices; }
    vx::ui::HWND Frame() const { return mFrame; }

    // Registers a source under `dataId` (released with the window).
    SeriesSource* AddSource(
        const std::wstring& dataId, std::vector<float> values, std::vector<std::wstring> labels = {});
    // Sends the markup and starts a watcher in the page that reports (kind "painted") once the
    // plot has been set up from it, all its data has arrived and it has painted; `then` is run in
    // the page before that report with `plot`, `area` and the helpers `hover`, `drag` and
    // `frame` in scope. Script errors of the page are reported too (kind "error").
    bool SetMarkupAndWatch(const std::wstring& markup, const std::string& then = {});
    // Runs the window system's loop until a report of `kind` arrives or `timeoutMs` passes.
    std::optional<nlohmann::json> WaitForReport(const std::string& kind, int timeoutMs);
    // Runs the loop until a notification of `kind` has arrived.
    std::optional<PlotNotice> WaitForNotice(unsigned kind, int timeoutMs);
    // Everything the page reported, in order.
    const std::vector<nlohmann::json>& Reports() const { return mReports; }
    std::vector<std::string> ScriptErrors() const;
    // The frame's client area as shown on the display.
    vx::ui::BitmapPtr Screenshot() const;

private:
    vx::ui::HWND mFrame = nullptr;
    std::unique_ptr<KEL::EtchWvControl> mControl;
    NoticeLog* mNotices = nullptr;
    std::vector<SeriesSource*> mSources;
    std::vector<nlohmann::json> mReports;
    bool mOk = false;
};

// ---- Pixel probes ------------------------------------------------------------------------------

// Pixels of `image` within `area` whose channels each lie within `tolerance` of `colour`.
int CountNear(const vx::ui::Bitmap& image, const vx::ui::Rect& area, vx::ui::Colour colour, int tolerance);
// Pixels within `area` darker than `level` in every channel (text, axes).
int CountDark(const vx::ui::Bitmap& image, const vx::ui::Rect& area, int level = 90);
// `colour` with `alpha` (0..255) laid over white.
vx::ui::Colour OverWhite(vx::ui::Colour colour, int alpha);
// A rectangle [x, y, w, h] of a page report, shrunk by `inset` on every side.
vx::ui::Rect RectOf(const nlohmann::json& xywh, int inset = 0);

} // namespace vx::e2e
