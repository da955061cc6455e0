#pragma once
// Small helpers shared by the user-interface libraries: the DPI of a window, the theme functions,
// the 1-2-5 rounding of axis steps, colour conversion between RGB and hue-saturation-value with a
// brightness adjustment, keeping a rectangle on screen, dialog fonts, a one-pixel frame painter,
// and the base of every dialog.
#include <memory>
#include <string>

#include "com/HResult.h"
#include "res/Resource.h"
#include "ui/Controls.h"
#include "ui/Dialog.h"
#include "ui/Gdi.h"

using COLORREF = DWORD;

// The per-monitor DPI.
struct ShcoreDLL {
    struct Dpi {
        int x = 96;
        int y = 96;
    };
    // The DPI of the window's monitor; a null window, or one on no monitor, gets the primary
    // monitor's. Never 0, and nothing is kept between calls, so every thread sees the monitors as
    // they are now.
    static Dpi GetDpiForWindow(vx::ui::HWND window);
};

namespace KELLinkingUtils {

using vx::ui::HWND;

// The theme functions. The themes here are the classic painters of the window system, which are
// always present: the calls forward to them and succeed for the known classes.
struct UxThemeDLL {
    using HTHEME = void*;
    // "BUTTON", "TOOLBAR", "TOOLTIP", "TEXTSTYLE" (a list separated by ';' takes the first known);
    // null for others, as when themes are unavailable.
    static HTHEME OpenThemeData(HWND window, const wchar_t* classList);
    static HRESULT CloseThemeData(HTHEME theme);
    // Parts: BUTTON 1 push, 2 radio, 3 check; TOOLBAR 1 button. States: 1 normal, 2 hot, 3 pressed,
    // 4 disabled, 5 default/checked.
    static HRESULT DrawThemeBackground(HTHEME theme, vx::ui::DC& dc, int part, int state, const vx::ui::Rect& rect);
    static HRESULT GetThemePartSize(HTHEME theme, vx::ui::DC& dc, int part, int state, vx::ui::Size* size);
    static bool IsAppThemed();
    // Parts of "TOOLTIP": 3 the balloon, 4 the balloon's title, 5 the close button. Parts of
    // "TEXTSTYLE": 3 body title, 4 body text.
    static constexpr int TTP_BALLOON = 3, TTP_BALLOONTITLE = 4, TTP_CLOSE = 5, TEXT_BODYTITLE = 3, TEXT_BODYTEXT = 4;
    // The area a part covers in `rect`: the balloon's rounded body; other parts their rectangle.
    static HRESULT GetThemeBackgroundRegion(
        HTHEME theme, vx::ui::DC& dc, int part, int state, const vx::ui::Rect& rect, vx::ui::Region* region);
    // Text in the part's style (the body title bold) with the context's colour, DrawText's flags.
    static HRESULT DrawThemeText(HTHEME theme, vx::ui::DC& dc, int part, int state, const std::wstring& text,
        UINT flags, const vx::ui::Rect& rect);
    // The rectangle the text takes in the part's style, laid out in `bounds` (null: unbounded).
    static HRESULT GetThemeTextExtent(HTHEME theme, vx::ui::DC& dc, int part, int state, const std::wstring& text,
        UINT flags, const vx::ui::Rect* bounds, vx::ui::Rect* extent);
    // Paints what the parent shows behind `rect` of the child (its face colour).
    static HRESULT DrawThemeParentBackground(HWND window, vx::ui::DC& dc, const vx::ui::Rect& rect);
};

} // namespace KELLinkingUtils

namespace KEL {

using vx::ui::HWND;
using vx::ui::LPARAM;
using vx::ui::WPARAM;

// 1-2-5 steps: the next step above `value` (2, 5, 10 or 20 times its decade) and the largest step
// below it (0.5, 1, 2 or 5 times its decade). Zero, negative and non-finite values come back
// unchanged. The value is changed in place and returned.
double RoundUpToNiceStep(double& value);
double RoundDownToNiceStep(double& value);

struct ColourHSV {
    explicit ColourHSV(COLORREF colour);
    // Recomputes hue, saturation and value from red, green and blue.
    void Update();
    // Red, green and blue from hue, saturation and value.
    void ToRGB();

    double red = 0, green = 0, blue = 0; // 0..1 (the conversion divides by 256, 65536, 16777216)
    DWORD alpha = 0; // the colour's top byte, kept in place
    double hue = -1; // degrees, -1 when undefined
    double saturation = 0;
    double value = 0;
};

// Lowers the saturation by `factor` (clamped to -1..1) and moves the value towards 1 (positive)
// or 0 (negative) by what is left of the factor.
COLORREF AdjustColourBrightness(COLORREF colour, double factor);

// Moves (never resizes) the rectangle onto the work area of the nearest monitor.
void ClampRectToWorkArea(vx::ui::Rect& rect);

int PointsToLogicalY(const vx::ui::DC& dc, int points);
// "MS Shell Dlg 2" at `points` (0: 10, or 12 for Chinese and Japanese user interfaces).
vx::ui::Font CreateDialogFont(const vx::ui::DC& dc, int points, int escapement = 0);
vx::ui::Font CreateScaledGUIFont(const vx::ui::DC& dc);

// The four one-pixel edges of the rectangle in `colour`; the background colour is restored.
void DrawFrameRect(vx::ui::DC& dc, const vx::ui::Rect& rect, COLORREF colour);

// The base of every dialog: a dialog from a template of `module` (this library's when null) in
// the user-interface language: the parent application's when the dialog has a parent and the
// application has one, else the host's, else 0.
class DialogBase {
public:
    DialogBase(HWND parent, WORD resourceId, HMODULE module = nullptr);
    virtual ~DialogBase();
    DialogBase(const DialogBase&) = delete;
    DialogBase& operator=(const DialogBase&) = delete;

    bool HasTemplate() const { return mTemplate != nullptr; }
    LANGID Language() const { return mLanguage; }
    const vx::ui::DialogTemplate* Template() const { return mTemplate.get(); }

    // Modal run: EndDialog's result, -1 without a template.
    vx::ui::INT_PTR Execute();
    // Modeless: the dialog window, null without a template.
    HWND Create();
    HWND GetHandle() const { return mHandle; }

protected:
    // The dialog's handling of a message; answers as a dialog procedure does. The default
    // answers WM_INITDIALOG with TRUE and ends the dialog for IDOK and IDCANCEL.
    virtual vx::ui::INT_PTR DialogFunction(UINT message, WPARAM wParam, LPARAM lParam);
    HWND mParent;

private:
    vx::ui::INT_PTR Dispatch(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam);
    std::unique_ptr<vx::ui::DialogTemplate> mTemplate;
    LANGID mLanguage = 0;
    HWND mHandle = nullptr;
};

} // namespace KEL
