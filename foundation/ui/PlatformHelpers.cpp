#include "foundation/ui/PlatformHelpers.h"

#include <algorithm>
#include <cmath>
#include <cstring>

#include "log/Log.h"
#include "ui/Desktop.h"
#include "ui/Window.h"

ShcoreDLL::Dpi ShcoreDLL::GetDpiForWindow(vx::ui::HWND window)
{
    const int dpi = vx::ui::GetDpiForWindow(window);
    return { dpi, dpi };
}

namespace KELLinkingUtils {

namespace {

// The theme handles: one per known class, never freed.
struct ThemeClass {
    const wchar_t* name;
};
constexpr ThemeClass kClasses[] = { { L"BUTTON" }, { L"TOOLBAR" }, { L"TOOLTIP" }, { L"TEXTSTYLE" } };

const ThemeClass* ClassOf(UxThemeDLL::HTHEME theme)
{
    for (const ThemeClass& c : kClasses)
        if (theme == &c)
            return &c;
    return nullptr;
}

vx::ui::theme::ButtonState StateOf(int state)
{
    using S = vx::ui::theme::ButtonState;
    switch (state) {
    case 2:
        return S::Hot;
    case 3:
        return S::Pressed;
    case 4:
        return S::Disabled;
    case 5:
        return S::Default;
    default:
        return S::Normal;
    }
}

} // namespace

UxThemeDLL::HTHEME UxThemeDLL::OpenThemeData(HWND, const wchar_t* classList)
{
    if (!classList)
        return nullptr;
    std::wstring list = classList;
    std::size_t start = 0;
    while (start <= list.size()) {
        const std::size_t end = std::min(list.find(L';', start), list.size());
        std::wstring name = list.substr(start, end - start);
        std::transform(
            name.begin(), name.end(), name.begin(), [](wchar_t c) { return static_cast<wchar_t>(std::towupper(c)); });
        for (const ThemeClass& c : kClasses)
            if (name == c.name)
                return const_cast<ThemeClass*>(&c);
        start = end + 1;
    }
    return nullptr;
}

HRESULT UxThemeDLL::CloseThemeData(HTHEME theme)
{
    return ClassOf(theme) ? S_OK : E_HANDLE;
}

HRESULT UxThemeDLL::DrawThemeBackground(HTHEME theme, vx::ui::DC& dc, int part, int state, const vx::ui::Rect& rect)
{
    const ThemeClass* c = ClassOf(theme);
    if (!c)
        return E_HANDLE;
    const std::wstring name = c->name;
    if (name == L"BUTTON") {
        if (part == 1)
            vx::ui::theme::PaintButton(dc, rect, StateOf(state), L"", vx::ui::Font {});
        else
            vx::ui::DrawFrameControl(dc, rect, vx::ui::DFC_BUTTON,
                (part == 2 ? vx::ui::DFCS_BUTTONRADIO : vx::ui::DFCS_BUTTONCHECK)
                    | (state >= 5 ? vx::ui::DFCS_CHECKED : 0) | (state == 4 ? vx::ui::DFCS_INACTIVE : 0));
    } else if (name == L"TOOLBAR") {
        vx::ui::theme::PaintToolbarButton(dc, rect, StateOf(state));
    } else if (name == L"TOOLTIP") {
        vx::ui::theme::PaintTooltip(dc, rect, L"", vx::ui::Font {});
    }
    return S_OK;
}

HRESULT UxThemeDLL::GetThemePartSize(HTHEME theme, vx::ui::DC& dc, int part, int, vx::ui::Size* size)
{
    if (!ClassOf(theme))
        return E_HANDLE;
    if (!size)
        return E_POINTER;
    const int side = vx::ui::MulDiv(part == 1 ? 16 : 13, dc.GetDeviceCaps(vx::ui::LOGPIXELSX), 96);
    *size = { side, side };
    return S_OK;
}

namespace {

// The font a text part draws with: the context's, bold for titles.
vx::ui::Font TextPartFont(const vx::ui::DC& dc, int part)
{
    vx::ui::Font font = dc.GetFont();
    if (part == UxThemeDLL::TEXT_BODYTITLE)
        font.weight = vx::ui::FW_BOLD;
    return font;
}

} // namespace

HRESULT UxThemeDLL::GetThemeBackgroundRegion(
    HTHEME theme, vx::ui::DC&, int part, int, const vx::ui::Rect& rect, vx::ui::Region* region)
{
    const ThemeClass* c = ClassOf(theme);
    if (!c)
        return E_HANDLE;
    if (!region)
        return E_POINTER;
    if (std::wstring(c->name) == L"TOOLTIP" && part == TTP_BALLOON)
        *region = vx::ui::Region::RoundRect({ rect.left, rect.top, rect.right + 1, rect.bottom + 1 }, 10, 10);
    else
        *region = vx::ui::Region(rect);
    return S_OK;
}

HRESULT UxThemeDLL::DrawThemeText(
    HTHEME theme, vx::ui::DC& dc, int part, int, const std::wstring& text, UINT flags, const vx::ui::Rect& rect)
{
    if (!ClassOf(theme))
        return E_HANDLE;
    const vx::ui::Font previous = dc.SelectFont(TextPartFont(dc, part));
    const int mode = dc.SetBkMode(vx::ui::TRANSPARENT);
    vx::ui::Rect r = rect;
    dc.DrawText(text, r, flags);
    dc.SetBkMode(mode);
    dc.SelectFont(previous);
    return S_OK;
}

HRESULT UxThemeDLL::GetThemeTextExtent(HTHEME theme, vx::ui::DC& dc, int part, int, const std::wstring& text,
    UINT flags, const vx::ui::Rect* bounds, vx::ui::Rect* extent)
{
    if (!ClassOf(theme))
        return E_HANDLE;
    if (!extent)
        return E_POINTER;
    const vx::ui::Font previous = dc.SelectFont(TextPartFont(dc, part));
    vx::ui::Rect r = bounds ? vx::ui::Rect { bounds->left, bounds->top, bounds->right, bounds->top } : vx::ui::Rect {};
    dc.DrawText(text, r, flags | vx::ui::DT_CALCRECT);
    dc.SelectFont(previous);
    *extent = r;
    return S_OK;
}

bool UxThemeDLL::IsAppThemed()
{
    return true;
}

HRESULT UxThemeDLL::DrawThemeParentBackground(HWND, vx::ui::DC& dc, const vx::ui::Rect& rect)
{
    dc.FillSolidRect(rect, vx::ui::GetSysColor(vx::ui::COLOR_BTNFACE));
    return S_OK;
}

} // namespace KELLinkingUtils

namespace KEL {

namespace {

// p = 10^floor(log10 v) and k = round(v / p); false when the quotient is not finite (zero,
// negative, NaN, infinite or vanishingly small values), so nothing non-finite becomes an integer.
bool Decade(double v, double& p, long long& k)
{
    if (!(v > 0) || !std::isfinite(v))
        return false;
    p = std::pow(10.0, std::floor(std::log10(v)));
    const double q = v / p;
    if (!std::isfinite(q) || !(p > 0))
        return false;
    k = static_cast<long long>(q + 0.5);
    return true;
}

} // namespace

double RoundUpToNiceStep(double& value)
{
    double p;
    long long k;
    if (!Decade(value, p, k))
        return value;
    value = k < 2 ? 2 * p : k < 5 ? 5 * p : k < 10 ? 10 * p : 20 * p;
    return value;
}

double RoundDownToNiceStep(double& value)
{
    double p;
    long long k;
    if (!Decade(value, p, k))
        return value;
    value = k >= 6 ? 5 * p : k >= 3 ? 2 * p : k == 2 ? p : 0.5 * p;
    return value;
}

ColourHSV::ColourHSV(COLORREF c)
    : red((c & 0xFF) / 256.0)
    , green((c & 0xFF00) / 65536.0)
    , blue((c & 0xFF0000) / 16777216.0)
    , alpha(c & 0xFF000000u)
{
    Update();
}

void ColourHSV::Update()
{
    const double max = std::max({ red, green, blue }), min = std::min({ red, green, blue });
    value = max;
    if (max == 0) {
        saturation = 0;
        hue = -1;
        return;
    }
    saturation = (max - min) / max;
    if (max == min) {
        hue = 0;
        return;
    }
    const double delta = max - min;
    double h = red == max ? (green - blue) / delta
        : green == max    ? 2 + (blue - red) / delta
                          : 4 + (red - green) / delta;
    h *= 60;
    if (h < 0)
        h += 360;
    hue = h;
}

void ColourHSV::ToRGB()
{
    if (saturation == 0) {
        red = green = blue = value;
        return;
    }
    const double h = hue / 60;
    const double i = std::floor(h);
    const double f = h - i;
    const double p = value * (1 - saturation), q = value * (1 - saturation * f), t = value * (1 - saturation * (1 - f));
    switch (static_cast<int>(i)) {
    case 0:
        red = value, green = t, blue = p;
        break;
    case 1:
        red = q, green = value, blue = p;
        break;
    case 2:
        red = p, green = value, blue = t;
        break;
    case 3:
        red = p, green = q, blue = value;
        break;
    case 4:
        red = t, green = p, blue = value;
        break;
    default:
        red = value, green = p, blue = q;
        break;
    }
}

COLORREF AdjustColourBrightness(COLORREF colour, double factor)
{
    factor = std::clamp(factor, -1.0, 1.0);
    ColourHSV hsv(colour);
    const double saturation = std::clamp(hsv.saturation - factor, 0.0, 1.0);
    const double rest = factor + (hsv.saturation - saturation);
    hsv.saturation = saturation;
    if (std::fabs(rest) > 0.01) {
        hsv.value = rest > 0 ? hsv.value + (1 - hsv.value) * rest : hsv.value + hsv.value * rest;
        hsv.value = std::clamp(hsv.value, 0.0, 1.0);
    }
    hsv.ToRGB();
    auto channel = [](double v) { return static_cast<DWORD>(std::clamp(v, 0.0, 1.0) * 255); };
    return channel(hsv.red) | (channel(hsv.green) << 8) | (channel(hsv.blue) << 16);
}

void ClampRectToWorkArea(vx::ui::Rect& rect)
{
    vx::ui::Monitor monitor;
    if (!vx::ui::GetMonitorInfo(vx::ui::MonitorFromRect(rect, vx::ui::MONITOR_DEFAULTTONEAREST), &monitor))
        return;
    const vx::ui::Rect& work = monitor.workArea;
    if (rect.bottom > work.bottom)
        rect = rect.Offset(0, work.bottom - rect.bottom);
    if (rect.right > work.right)
        rect = rect.Offset(work.right - rect.right, 0);
    if (rect.top < work.top)
        rect = rect.Offset(0, work.top - rect.top);
    if (rect.left < work.left)
        rect = rect.Offset(work.left - rect.left, 0);
}

int PointsToLogicalY(const vx::ui::DC& dc, int points)
{
    const int pixels = vx::ui::MulDiv(points, dc.GetDeviceCaps(vx::ui::LOGPIXELSY), 72);
    return vx::ui::MulDiv(pixels, dc.GetWindowExt().cy, dc.GetViewportExt().cy);
}

namespace {

vx::ui::Font ScaledFont(const vx::ui::DC& dc, const wchar_t* face, int points, int escapement, int pitchAndFamily)
{
    vx::ui::Font font;
    font.face = face;
    font.height = PointsToLogicalY(dc, points);
    font.width = 0;
    font.escapement = font.orientation = escapement;
    font.weight = vx::ui::FW_NORMAL;
    font.pitchAndFamily = pitchAndFamily;
    font.charSet = 1;
    font.outPrecision = dc.GetDeviceCaps(vx::ui::TECHNOLOGY) == vx::ui::DT_RASDISPLAY && escapement == 0 ? 0 : 7;
    return font;
}

} // namespace

vx::ui::Font CreateDialogFont(const vx::ui::DC& dc, int points, int escapement)
{
    if (points == 0) {
        const WORD primary = vx::ui::GetApplication().language & 0x3FF;
        points = primary == 4 || primary == 17 ? 12 : 10;
    }
    return ScaledFont(dc, L"MS Shell Dlg 2", points, escapement, 34);
}

vx::ui::Font CreateScaledGUIFont(const vx::ui::DC& dc)
{
    return ScaledFont(dc, L"Segoe UI", 10, 0, 18);
}

void DrawFrameRect(vx::ui::DC& dc, const vx::ui::Rect& r, COLORREF colour)
{
    const vx::ui::Colour previous = dc.SetBkColor({ colour });
    const vx::ui::Rect edges[] = { { r.left, r.top, r.right, r.top + 1 }, { r.left, r.top, r.left + 1, r.bottom },
        { r.right - 1, r.top, r.right, r.bottom }, { r.left, r.bottom - 1, r.right, r.bottom } };
    for (const vx::ui::Rect& edge : edges)
        dc.ExtTextOut(edge.TopLeft(), vx::ui::ETO_OPAQUE, &edge, L"");
    dc.SetBkColor(previous);
}

// ---- DialogBase ---------------------------------------------------------------------------------

namespace {

HMODULE ThisModule()
{
    static const int anchor = 0;
    return vx::res::ModuleOf(&anchor);
}

} // namespace

DialogBase::DialogBase(HWND parent, WORD resourceId, HMODULE module)
    : mParent(parent)
{
    const WORD applicationLanguage = parent ? vx::ui::GetApplication().language : 0;
    mLanguage = applicationLanguage ? applicationLanguage : vx::res::UserInterfaceLanguage();
    if (auto found = vx::ui::FindDialogTemplate(module ? module : ThisModule(), resourceId, mLanguage))
        mTemplate = std::make_unique<vx::ui::DialogTemplate>(std::move(*found));
}

DialogBase::~DialogBase()
{
    if (mHandle && vx::ui::IsWindow(mHandle))
        vx::ui::DestroyWindow(mHandle);
}

vx::ui::INT_PTR DialogBase::Dispatch(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam)
{
    if (message == vx::ui::WM_INITDIALOG)
        mHandle = hwnd;
    try {
        return DialogFunction(message, wParam, lParam);
    } catch (const std::exception& e) {
        vx::log::WriteLine(std::string("dialog: ") + e.what());
        return 0;
    }
}

vx::ui::INT_PTR DialogBase::DialogFunction(UINT message, WPARAM wParam, LPARAM)
{
    if (message == vx::ui::WM_INITDIALOG)
        return 1;
    if (message == vx::ui::WM_COMMAND
        && (vx::ui::LOWORD(wParam) == vx::ui::IDOK || vx::ui::LOWORD(wParam) == vx::ui::IDCANCEL)) {
        vx::ui::EndDialog(mHandle, vx::ui::LOWORD(wParam));
        return 1;
    }
    return 0;
}

vx::ui::INT_PTR DialogBase::Execute()
{
    if (!mTemplate)
        return -1;
    const vx::ui::INT_PTR result = vx::ui::DialogBoxIndirectParam(
        *mTemplate, mParent,
        [this](
            HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam) { return Dispatch(hwnd, message, wParam, lParam); },
        0);
    mHandle = nullptr;
    return result;
}

HWND DialogBase::Create()
{
    if (!mTemplate)
        return nullptr;
    return vx::ui::CreateDialogIndirectParam(
        *mTemplate, mParent,
        [this](
            HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam) { return Dispatch(hwnd, message, wParam, lParam); },
        0);
}

} // namespace KEL
