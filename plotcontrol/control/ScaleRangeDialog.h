#pragma once
// The dialog in which the user types the upper and lower values of a plot axis, built from this
// library's templates "SCALERANGE" (vertical axis) and "SCALERANGE_HORIZ" (horizontal axis).
#include <memory>
#include <string>

#include "controls/ValidatingEdit.h"
#include "plotcontrol/control/ScaleProxy.h"
#include "ui/Dialog.h"

namespace KEL {

enum ScaleRangeControl : int {
    kScaleUpperEdit = 101,
    kScaleLowerEdit = 102,
    kScaleUpperLabel = 103,
    kScaleLowerLabel = 104,
    kScaleUpperUnit = 105,
    kScaleLowerUnit = 106,
};

enum ScaleRangeText : UINT {
    kRightLabelText = 19300,
    kLeftLabelText = 19301,
    kRangeLimitsText = 22000,
    kRangeSpanText = 22001,
    kTopAboveBottomText = 22002,
    kRightAboveLeftText = 22003,
};

// This library's dialog templates by name; null for any other name.
const vx::ui::DialogTemplate* FindScaleRangeTemplate(std::wstring_view name);

// Corrects (upper, lower) in place against the limits: a NaN or infinite value or one beyond a
// limit is replaced by that limit, two equal values by the limits, a span below `minimumSpan` or
// not above the smallest normal float is widened about the midpoint. True when nothing changed;
// otherwise `message` (when given) says why.
bool ValidateScaleRange(
    double& upper, double& lower, double lowest, double highest, double minimumSpan, std::wstring* message);

// Where a dialog goes: centred over its owner (or the work area), at the mouse cursor, or at a
// given point; then kept on the work area of its monitor, the top-left corner winning.
enum class WindowPlacement { CentreOnOwner = 0, AtCursor = 1, AtPoint = 2 };
void PlaceWindow(vx::ui::HWND window, vx::ui::HWND owner, WindowPlacement mode, vx::ui::Point point = {});

class ScaleRange {
public:
    // The template follows the proxy's axis: vertical (1) or horizontal (0).
    ScaleRange(vx::ui::HWND owner, IScaleProxy& proxy, WindowPlacement placement = WindowPlacement::AtCursor);
    ~ScaleRange();
    // Modal: IDOK after the proxy took the range, IDCANCEL otherwise, -1 without a template.
    vx::ui::INT_PTR Execute();

    static const wchar_t* TemplateName(int axis) { return axis == 1 ? L"SCALERANGE" : L"SCALERANGE_HORIZ"; }

private:
    vx::ui::INT_PTR DialogFunction(vx::ui::HWND dialog, UINT message, vx::ui::WPARAM wParam, vx::ui::LPARAM lParam);
    void SetupWindow(vx::ui::HWND dialog);
    bool CanClose(vx::ui::HWND dialog);

    vx::ui::HWND mOwner;
    IScaleProxy& mProxy;
    WindowPlacement mPlacement;
    std::unique_ptr<KELControls::DoubleEdit> mUpper;
    std::unique_ptr<KELControls::DoubleEdit> mLower;
};

} // namespace KEL
