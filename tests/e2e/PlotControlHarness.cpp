#include "PlotControlHarness.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstdlib>

#include "VirtualDisplay.h"
#include "caf/CafHost.h"
#include "com/ClassObjects.h"
#include "hostframework/interfaces/FrameworkIds.h"
#include "plotcontrol/control/EtchNotifications.h"
#include "text/Unicode.h"
#include "ui/Backend.h"
#include "ui/gtk/GtkBackend.h"
#include "webview/WebKitEngine.h"
#include "webview/WebView.h"

namespace vx::e2e {

using nlohmann::json;
namespace ui = vx::ui;

namespace {

DWORD gFrameworkCookie = 0;
IUnknown* gFramework = nullptr;

std::string Utf8(const KEL::String& text)
{
    return vx::text::UnitsToUtf8(text.ToWString());
}

KEL::String Script(const std::string& text)
{
    return KEL::String::FromUtf8(text.data(), text.size());
}

constexpr wchar_t kFrameClass[] = L"VxPlotE2EFrame";

// Page side of the watcher: script errors, and the helpers of the steps run once the plot has
// painted. Evaluated after the control's page is asked for, so it runs once the page has loaded.
constexpr const char* kErrorHooks = R"JS(
window.addEventListener('error', (e) => e2e_report({ kind: 'error', error: e.message + ' @' + e.lineno }));
window.addEventListener('unhandledrejection', (e) => e2e_report({ kind: 'error',
  error: 'rejection: ' + ((e.reason && e.reason.message) || e.reason) }));
)JS";

std::string WatcherScript(const std::string& then)
{
    return R"JS((async () => {
  const plot = await etch.make_plot('local', '');
  const frame = () => new Promise((done) => requestAnimationFrame(() => done()));
  // Set up by the compiled markup of this request (set_markup has counted it already): its
  // plotters then fetch their data.
  const asked = plot.generation, t0 = performance.now();
  while (plot.generation === asked || !plot.loading) await frame();
  const t1 = performance.now();
  await Promise.all(plot.loading);
  const t2 = performance.now();
  await frame(); await frame();
  const times = { setup: t1 - t0, data: t2 - t0, painted: performance.now() - t0 };
  const at = (fx, fy) => { const r = plot.root.getBoundingClientRect(), a = plot.context().area;
    return { clientX: r.left + a.x + a.w * fx, clientY: r.top + a.y + a.h * fy, bubbles: true }; };
  const fire = (type, fx, fy) => plot.root.dispatchEvent(new MouseEvent(type, at(fx, fy)));
  const hover = async (fx, fy) => { fire('mousemove', fx, fy); await frame(); await frame(); };
  const drag = async (fx0, fy0, fx1, fy1) => { fire('mousedown', fx0, fy0); fire('mousemove', fx1, fy1);
    fire('mouseup', fx1, fy1); await frame(); await frame(); };
  let area = plot.context().area;
)JS" + then
        + R"JS(
  area = plot.context().area;
  const boxes = {};
  plot.plotters.forEach((p) => { if (p.box) { const b = p.box(plot.context()); boxes[p.type] = [b.x, b.y, b.w, b.h]; } });
  // The scales' mapping from data to page pixels: where data 0 and 1 lie on each axis.
  const ctx = plot.context(), scales = [ctx.sx.to_pix(0), ctx.sx.to_pix(1), ctx.sy.to_pix(0), ctx.sy.to_pix(1)];
  await e2e_report({ kind: 'painted', area: [area.x, area.y, area.w, area.h], boxes, error: plot.error, scales,
    size: [plot.width, plot.height], times,
    plotters: plot.plotters.map((p) => [p.type, (p.ys || p.heights || []).length]) });
})().catch((e) => e2e_report({ kind: 'error', error: 'watcher: ' + e }));)JS";
}

void Report(const char* id, const char* request, void* arg)
{
    auto* window = static_cast<std::pair<webview_t, std::vector<json>*>*>(arg);
    try {
        window->second->push_back(json::parse(request).at(0));
    } catch (const std::exception& e) {
        window->second->push_back(json { { "kind", "error" }, { "error", std::string("bad report: ") + e.what() } });
    }
    webview_return(window->first, id, 0, "true");
}

} // namespace

bool StartWebViewsOnDisplay(VirtualDisplay& display, std::string& why)
{
    if (!display.Start(why))
        return false;
    setenv("DISPLAY", display.Display().c_str(), 1);
    setenv("GDK_BACKEND", "x11", 1);
    setenv("NO_AT_BRIDGE", "1", 1);
    unsetenv("WAYLAND_DISPLAY");
    auto backend = ui::CreateGtkBackend(why);
    if (!backend)
        return false;
    ui::SetBackend(backend);
    return vx::webview::InstallWebKitEngine(why);
}

void RegisterHostFramework()
{
    void* framework = nullptr;
    if (DllGetClassObject(CLSID_CAFFrameWork, IUnknown::kIid, &framework) != S_OK)
        return;
    gFramework = static_cast<IUnknown*>(framework);
    CoRegisterClassObject(CLSID_CAFFrameWork, gFramework, CLSCTX_INPROC_SERVER, REGCLS_MULTIPLEUSE, &gFrameworkCookie);
}

void RevokeHostFramework()
{
    if (!gFramework)
        return;
    caf::ReleaseRegistrations();
    CoRevokeClassObject(gFrameworkCookie);
    gFramework->Release();
    gFramework = nullptr;
}

void RunWebViewTestsOnDisplay(
    const std::string& homePrefix, int seconds, bool withFramework, bool& ready, std::string& why)
{
    // WebKit's processes write caches and settings under the XDG folders: a fresh home per run.
    TemporaryHome home(homePrefix);
    home.Apply();
    VirtualDisplay display;
    ready = StartWebViewsOnDisplay(display, why);
    if (withFramework)
        RegisterHostFramework();
    InstallWatchdog(seconds, &display, &home);
    const int result = RUN_ALL_TESTS();
    if (withFramework)
        RevokeHostFramework();
    std::fflush(stdout);
    std::fflush(stderr);
    display.Stop();
    home.Remove();
    std::_Exit(result);
}

// ---- Sources -----------------------------------------------------------------------------------

SeriesSource::SeriesSource(std::vector<float> values, std::vector<std::wstring> labels)
    : mValues(std::move(values))
    , mLabels(std::move(labels))
{
}

HRESULT SeriesSource::QueryInterface(REFIID iid, void** out)
{
    if (mLabels.empty() && iid == KEL::IEtchEnum::kIid) {
        *out = nullptr;
        return E_NOINTERFACE;
    }
    return SimpleUnknownImp2::QueryInterface(iid, out);
}

HRESULT SeriesSource::Clone(IEnumFloatEx** out)
{
    *out = nullptr;
    return E_NOTIMPL;
}

HRESULT SeriesSource::Skip(LONG count, LONG* skipped)
{
    const std::int64_t target
        = std::clamp<std::int64_t>(std::int64_t(mPosition) + count, 0, std::int64_t(mValues.size()));
    *skipped = static_cast<LONG>(target - mPosition);
    mPosition = static_cast<LONG>(target);
    return *skipped == count ? S_OK : S_FALSE;
}

HRESULT SeriesSource::GetPosition(LONG* position)
{
    *position = mPosition;
    return S_OK;
}

HRESULT SeriesSource::GetSampledFlag(WORD* flag)
{
    *flag = 0;
    return S_FALSE;
}

HRESULT SeriesSource::GetExtent(std::int64_t* extent)
{
    *extent = static_cast<std::int64_t>(mValues.size());
    return S_OK;
}

HRESULT SeriesSource::Next(ULONG count, float* values, ULONG* fetched)
{
    ++blocksRead;
    const std::size_t n = std::min<std::size_t>(count, mValues.size() - std::size_t(mPosition));
    std::copy_n(mValues.begin() + mPosition, n, values);
    mPosition += static_cast<LONG>(n);
    *fetched = static_cast<ULONG>(n);
    return S_OK;
}

HRESULT SeriesSource::GetElementText(LONG index, KEL::String* text)
{
    if (index < 0 || std::size_t(index) >= mLabels.size())
        return E_INVALIDARG;
    *text = KEL::String(mLabels[std::size_t(index)]);
    return S_OK;
}

// ---- Notifications -----------------------------------------------------------------------------

HRESULT NoticeLog::OnNotify(ISubject*, DWORD eventId, ULONGLONG, ULONGLONG value)
{
    using namespace KEL;
    PlotNotice n;
    n.kind = eventId & 0xFFFF;
    switch (n.kind) {
    case kCompileMarkup:
        n.flag = reinterpret_cast<const EtchCompileNotice*>(value)->success;
        break;
    case kBadPlotterProperty: {
        const auto& p = *reinterpret_cast<const EtchBadPropertyNotice*>(value);
        n.texts = { Utf8(p.plotter), Utf8(p.property), Utf8(p.expectedType), Utf8(p.defaultValue) };
        break;
    }
    case kSetSVG: {
        const auto& p = *reinterpret_cast<const EtchSvgNotice*>(value);
        n.texts = { Utf8(p.plotId), Utf8(p.kind), Utf8(p.svg) };
        break;
    }
    case kVLinesDragged:
    case kBoxResized:
    case kZoomLevelChanged: {
        const auto& p = *reinterpret_cast<const EtchValuesNotice*>(value);
        n.texts = { Utf8(p.id) };
        n.values.assign(p.values, p.values + p.count);
        break;
    }
    case kXScalingChanged:
    case kYScalingChanged: {
        const auto& p = *reinterpret_cast<const EtchScalingNotice*>(value);
        n.texts = { Utf8(p.id) };
        n.values.assign(p.values, p.values + p.count + 1);
        n.flag = p.autoScale;
        break;
    }
    case kRegionPosChanged: {
        const auto& p = *reinterpret_cast<const EtchRegionPosNotice*>(value);
        n.texts = { Utf8(p.regionId) };
        n.values = { p.xPercent, p.yPercent };
        break;
    }
    default:
        break;
    }
    notices.push_back(std::move(n));
    return S_OK;
}

std::vector<PlotNotice> NoticeLog::Of(unsigned kind) const
{
    std::vector<PlotNotice> found;
    std::copy_if(
        notices.begin(), notices.end(), std::back_inserter(found), [&](const PlotNotice& n) { return n.kind == kind; });
    return found;
}

// ---- The window --------------------------------------------------------------------------------

namespace {

// The control's own view of its host object: it answers nothing, as the views' host objects do.
class ViewHostObject final : public IUnknown {
public:
    HRESULT QueryInterface(REFIID iid, void** out) override
    {
        *out = nullptr;
        if (iid != IUnknown::kIid)
            return E_NOINTERFACE;
        *out = this;
        return S_OK;
    }
    ULONG AddRef() override { return 2; }
    ULONG Release() override { return 1; }
};

ViewHostObject gViewHost;

std::wstring NextPlotId()
{
    static int next = 1;
    return L"e2e_plot_" + std::to_wstring(next++);
}

} // namespace

PlotWindow::PlotWindow(const std::wstring& title, int x, int y, int width, int height)
{
    static const bool registered = ui::RegisterClass({ kFrameClass, 0, ui::DefWindowProc });
    (void)registered;
    mFrame = ui::CreateWindowEx(0, kFrameClass, title.c_str(), ui::WS_OVERLAPPED | ui::WS_CAPTION | ui::WS_VISIBLE, x,
        y, width, height, nullptr, 0, nullptr);
    if (!mFrame)
        return;
    mControl = std::make_unique<KEL::EtchWvControl>(&gViewHost);
    mNotices = new NoticeLog;
    mControl->Attach(mNotices);
    if (!mControl->Create(mFrame))
        return;
    mControl->SetPlotId(KEL::String(NextPlotId()));
    // The report binding lives as long as the web view, which the control never destroys.
    auto* slot = new std::pair<webview_t, std::vector<json>*>(mControl->GetWebView(), &mReports);
    mOk = webview_bind(mControl->GetWebView(), "e2e_report", &Report, slot) == WEBVIEW_ERROR_OK;
    mOk = mOk && mControl->ExecJavaScript(Script(kErrorHooks));
}

PlotWindow::~PlotWindow()
{
    if (mControl) {
        if (mControl->GetWebView())
            webview_unbind(mControl->GetWebView(), "e2e_report");
        mControl->Detach(mNotices);
        mControl->ClearDataSources();
        mControl.reset();
    }
    if (mNotices)
        mNotices->Release();
    for (SeriesSource* s : mSources)
        s->Release();
    if (mFrame && ui::IsWindow(mFrame))
        ui::DestroyWindow(mFrame);
    // The web view's last evaluations (the bindings taken from the page) end with it: their
    // complaints belong to this window, not to the next one.
    ui::RunGtkUntil([] { return false; }, 300);
}

SeriesSource* PlotWindow::AddSource(
    const std::wstring& dataId, std::vector<float> values, std::vector<std::wstring> labels)
{
    auto* source = new SeriesSource(std::move(values), std::move(labels));
    mSources.push_back(source);
    mControl->SetEnumSource(KEL::String(dataId), source);
    return source;
}

bool PlotWindow::SetMarkupAndWatch(const std::wstring& markup, const std::string& then)
{
    if (!mControl->SetMarkup(KEL::String(markup)))
        return false;
    return mControl->ExecJavaScript(Script(WatcherScript(then)));
}

std::optional<json> PlotWindow::WaitForReport(const std::string& kind, int timeoutMs)
{
    std::optional<json> found;
    ui::RunGtkUntil(
        [&] {
            for (const json& r : mReports)
                if (r.value("kind", "") == kind) {
                    found = r;
                    return true;
                }
            return false;
        },
        timeoutMs);
    return found;
}

std::optional<PlotNotice> PlotWindow::WaitForNotice(unsigned kind, int timeoutMs)
{
    std::optional<PlotNotice> found;
    ui::RunGtkUntil(
        [&] {
            for (const PlotNotice& n : mNotices->notices)
                if (n.kind == kind) {
                    found = n;
                    return true;
                }
            return false;
        },
        timeoutMs);
    return found;
}

std::vector<std::string> PlotWindow::ScriptErrors() const
{
    std::vector<std::string> errors;
    for (const json& r : mReports)
        if (r.value("kind", "") == "error")
            errors.push_back(r.value("error", ""));
    return errors;
}

ui::BitmapPtr PlotWindow::Screenshot() const
{
    return ui::ScreenshotWindow(mFrame);
}

// ---- Probes ------------------------------------------------------------------------------------

int CountNear(const ui::Bitmap& image, const ui::Rect& area, ui::Colour colour, int tolerance)
{
    int count = 0;
    for (int y = std::max(0, area.top); y < std::min(image.Height(), area.bottom); ++y)
        for (int x = std::max(0, area.left); x < std::min(image.Width(), area.right); ++x) {
            const ui::Colour c = image.Pixel(x, y);
            if (std::abs(c.Red() - colour.Red()) <= tolerance && std::abs(c.Green() - colour.Green()) <= tolerance
                && std::abs(c.Blue() - colour.Blue()) <= tolerance)
                ++count;
        }
    return count;
}

int CountDark(const ui::Bitmap& image, const ui::Rect& area, int level)
{
    int count = 0;
    for (int y = std::max(0, area.top); y < std::min(image.Height(), area.bottom); ++y)
        for (int x = std::max(0, area.left); x < std::min(image.Width(), area.right); ++x) {
            const ui::Colour c = image.Pixel(x, y);
            if (c.Red() < level && c.Green() < level && c.Blue() < level)
                ++count;
        }
    return count;
}

ui::Colour OverWhite(ui::Colour colour, int alpha)
{
    const auto mix
        = [&](int channel) { return static_cast<std::uint8_t>((channel * alpha + 255 * (255 - alpha)) / 255); };
    return ui::Colour::Rgb(mix(colour.Red()), mix(colour.Green()), mix(colour.Blue()));
}

ui::Rect RectOf(const json& xywh, int inset)
{
    const auto at = [&](int i) { return static_cast<int>(std::lround(xywh.at(i).get<double>())); };
    return ui::Rect { at(0) + inset, at(1) + inset, at(0) + at(2) - inset, at(1) + at(3) - inset };
}

} // namespace vx::e2e
