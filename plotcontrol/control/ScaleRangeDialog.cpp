#include "plotcontrol/control/ScaleRangeDialog.h"

#include <algorithm>
#include <cfloat>
#include <cmath>
#include <locale>
#include <sstream>

#include "foundation/ResString.h"
#include "res/Resource.h"
#include "ui/Desktop.h"
#include "ui/Input.h"
#include "ui/Window.h"

namespace KEL {

using namespace vx::ui;

namespace {

const vx::res::StringTableRegistrar kStrings(0,
    {
        { kRightLabelText, L"Right:" },
        { kLeftLabelText, L"Left:" },
        { kRangeLimitsText, L"Scale range must lie between %1 and %2." },
        { kRangeSpanText, L"Scale range must be greater than %1." },
        { kTopAboveBottomText, L"This scale requires that Top be greater than Bottom." },
        { kRightAboveLeftText, L"This scale requires that Right be greater than Left." },
    });

DialogTemplate ScaleRangeTemplate(bool vertical)
{
    const auto box = [](int x, int y, int w, int h) { return Rect { x, y, x + w, y + h }; };
    constexpr DWORD kEdit = WS_CHILD | WS_VISIBLE | WS_TABSTOP | WS_BORDER | ES_AUTOHSCROLL;
    constexpr DWORD kLabel = WS_CHILD | WS_VISIBLE | SS_RIGHT;
    constexpr DWORD kUnit = WS_CHILD | WS_VISIBLE | SS_LEFT;
    DialogTemplate t;
    t.caption = L"Scale Range";
    t.style = WS_POPUP | WS_CAPTION | DS_MODALFRAME | DS_SETFONT;
    t.units = { 0, 0, 160, 66 };
    t.items = {
        { kStaticClass, vertical ? L"Top:" : L"Right:", kScaleUpperLabel, kLabel, box(6, 9, 34, 8) },
        { kEditClass, L"", kScaleUpperEdit, kEdit, box(44, 7, 70, 12) },
        { kStaticClass, L"", kScaleUpperUnit, kUnit, box(118, 9, 36, 8) },
        { kStaticClass, vertical ? L"Bottom:" : L"Left:", kScaleLowerLabel, kLabel, box(6, 27, 34, 8) },
        { kEditClass, L"", kScaleLowerEdit, kEdit, box(44, 25, 70, 12) },
        { kStaticClass, L"", kScaleLowerUnit, kUnit, box(118, 27, 36, 8) },
        { kButtonClass, L"OK", IDOK, WS_CHILD | WS_VISIBLE | WS_TABSTOP | BS_DEFPUSHBUTTON, box(30, 46, 50, 14) },
        { kButtonClass, L"Cancel", IDCANCEL, WS_CHILD | WS_VISIBLE | WS_TABSTOP | BS_PUSHBUTTON, box(86, 46, 50, 14) },
    };
    return t;
}

HMODULE ThisModule()
{
    return vx::res::ModuleOf(&kStrings);
}

// Each text is loaded once and kept for the life of the process.
const std::wstring& Text(ScaleRangeText id)
{
    static const std::wstring limits = GetResString(ThisModule(), kRangeLimitsText, false).ToWString();
    static const std::wstring span = GetResString(ThisModule(), kRangeSpanText, false).ToWString();
    static const std::wstring topAbove = GetResString(ThisModule(), kTopAboveBottomText, false).ToWString();
    static const std::wstring rightAbove = GetResString(ThisModule(), kRightAboveLeftText, false).ToWString();
    static const std::wstring right = GetResString(ThisModule(), kRightLabelText, false).ToWString();
    static const std::wstring left = GetResString(ThisModule(), kLeftLabelText, false).ToWString();
    switch (id) {
    case kRangeLimitsText:
        return limits;
    case kRangeSpanText:
        return span;
    case kTopAboveBottomText:
        return topAbove;
    case kRightAboveLeftText:
        return rightAbove;
    case kRightLabelText:
        return right;
    default:
        return left;
    }
}

std::wstring Number(double value)
{
    std::wostringstream out;
    out.imbue(std::locale::classic());
    out.precision(8);
    out << value;
    return out.str();
}

std::wstring Fill(std::wstring format, const std::wstring& first, const std::wstring& second = {})
{
    if (auto at = format.find(L"%1"); at != std::wstring::npos)
        format.replace(at, 2, first);
    if (auto at = format.find(L"%2"); at != std::wstring::npos)
        format.replace(at, 2, second);
    return format;
}

// Widens the pair about its midpoint to `span`, keeping which of the two is larger.
void Widen(double& upper, double& lower, double span)
{
    const double mid = lower / 2 + upper / 2;
    const double sign = upper < lower ? -1.0 : 1.0;
    upper = mid + sign * span / 2;
    lower = mid - sign * span / 2;
}

} // namespace

const DialogTemplate* FindScaleRangeTemplate(std::wstring_view name)
{
    static const DialogTemplate vertical = ScaleRangeTemplate(true);
    static const DialogTemplate horizontal = ScaleRangeTemplate(false);
    if (name == L"SCALERANGE")
        return &vertical;
    if (name == L"SCALERANGE_HORIZ")
        return &horizontal;
    return nullptr;
}

bool ValidateScaleRange(
    double& upper, double& lower, double lowest, double highest, double minimumSpan, std::wstring* message)
{
    bool outside = false;
    const auto limit = [&](double& value, double nanLimit) {
        if (std::isnan(value)) {
            value = nanLimit;
            outside = true;
        } else if (value > highest) {
            value = highest;
            outside = true;
        } else if (value < lowest) {
            value = lowest;
            outside = true;
        }
    };
    limit(upper, highest);
    limit(lower, lowest);
    if (upper == lower) {
        upper = highest;
        lower = lowest;
        outside = true;
    }
    bool narrow = false;
    // The span is computed by halves so that limits of opposite sign do not overflow it.
    const double span = 2 * std::fabs(upper / 2 - lower / 2);
    const double least = std::max(minimumSpan, static_cast<double>(FLT_MIN));
    if (span < minimumSpan || span <= FLT_MIN) {
        Widen(upper, lower, span <= FLT_MIN ? span + FLT_MIN : least);
        narrow = true;
    }
    if (!outside && !narrow)
        return true;
    if (message) {
        if (narrow)
            *message = Fill(Text(kRangeSpanText), Number(least));
        else
            *message = Fill(Text(kRangeLimitsText), Number(lowest), Number(highest));
    }
    return false;
}

void PlaceWindow(HWND window, HWND owner, WindowPlacement mode, Point point)
{
    Rect rect;
    if (!GetWindowRect(window, &rect))
        return;
    const int w = rect.Width(), h = rect.Height();
    int x = rect.left, y = rect.top;
    if (mode == WindowPlacement::CentreOnOwner) {
        Rect around;
        if (!owner || !GetWindowRect(owner, &around)) {
            Monitor primary;
            GetMonitorInfo(MonitorFromPoint({ 0, 0 }, MONITOR_DEFAULTTOPRIMARY), &primary);
            around = primary.workArea;
        }
        x = around.left + (around.Width() - w) / 2;
        y = around.top + (around.Height() - h) / 2;
    } else {
        const Point at = mode == WindowPlacement::AtCursor ? GetPointerPos() : point;
        x = at.x;
        y = at.y;
    }
    Monitor monitor;
    GetMonitorInfo(MonitorFromRect({ x, y, x + w, y + h }, MONITOR_DEFAULTTONEAREST), &monitor);
    const Rect& work = monitor.workArea;
    if (y + h > work.bottom)
        y = work.bottom - h;
    if (x + w > work.right)
        x = work.right - w;
    if (y < work.top)
        y = work.top;
    if (x < work.left)
        x = work.left;
    SetWindowPos(window, nullptr, x, y, 0, 0, SWP_NOSIZE | SWP_NOZORDER);
}

ScaleRange::ScaleRange(HWND owner, IScaleProxy& proxy, WindowPlacement placement)
    : mOwner(owner)
    , mProxy(proxy)
    , mPlacement(placement)
{
}

ScaleRange::~ScaleRange() = default;

INT_PTR ScaleRange::Execute()
{
    const DialogTemplate* dialog = FindScaleRangeTemplate(TemplateName(mProxy.GetAxis()));
    if (!dialog)
        return -1;
    return DialogBoxIndirectParam(
        *dialog, mOwner,
        [this](HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam) {
            return DialogFunction(hwnd, message, wParam, lParam);
        },
        0);
}

INT_PTR ScaleRange::DialogFunction(HWND dialog, UINT message, WPARAM wParam, LPARAM)
{
    if (message == WM_INITDIALOG) {
        SetupWindow(dialog);
        return 1;
    }
    if (message != WM_COMMAND)
        return 0;
    const int id = LOWORD(wParam);
    if (id == IDOK) {
        if (CanClose(dialog)) {
            mProxy.SetRange(mUpper->GetValue(), mLower->GetValue());
            EndDialog(dialog, IDOK);
        }
        return 1;
    }
    if (id == IDCANCEL) {
        EndDialog(dialog, IDCANCEL);
        return 1;
    }
    return 0;
}

void ScaleRange::SetupWindow(HWND dialog)
{
    PlaceWindow(dialog, mOwner, mPlacement);
    const double lowest = mProxy.GetLowestAllowed(), highest = mProxy.GetHighestAllowed();
    mUpper = std::make_unique<KELControls::DoubleEdit>(dialog, kScaleUpperEdit, lowest, highest);
    mLower = std::make_unique<KELControls::DoubleEdit>(dialog, kScaleLowerEdit, lowest, highest);
    mUpper->precision = 8;
    mLower->precision = 8;
    mUpper->SetValue(mProxy.GetUpper());
    mLower->SetValue(mProxy.GetLower());
    const std::wstring unit = mProxy.GetUnitText().ToWString();
    SetWindowText(GetDlgItem(dialog, kScaleUpperUnit), unit);
    SetWindowText(GetDlgItem(dialog, kScaleLowerUnit), unit);
    if (mProxy.GetAxis() != 1) {
        SetWindowText(GetDlgItem(dialog, kScaleUpperLabel), Text(kRightLabelText));
        SetWindowText(GetDlgItem(dialog, kScaleLowerLabel), Text(kLeftLabelText));
    }
}

bool ScaleRange::CanClose(HWND dialog)
{
    if (!mUpper->Validate() || !mLower->Validate())
        return false;
    double upper = mUpper->GetValue(), lower = mLower->GetValue();
    const bool vertical = mProxy.GetAxis() == 1;
    if ((mProxy.GetScaleFlags() & kScaleUpperAboveLower) && lower > upper) {
        MessageBox(
            dialog, Text(vertical ? kTopAboveBottomText : kRightAboveLeftText), L"Scale Range", MB_OK | MB_ICONWARNING);
        return false;
    }
    std::wstring message;
    if (!ValidateScaleRange(upper, lower, mProxy.GetLowestAllowed(), mProxy.GetHighestAllowed(), 0, &message)) {
        MessageBox(dialog, message, L"Scale Range", MB_OK | MB_ICONWARNING);
        mUpper->SetValue(upper);
        mLower->SetValue(lower);
        return false;
    }
    return true;
}

} // namespace KEL
