#pragma once
// The notice a settings dialog shows on OK while fields are marked invalid, with the marker
// picture inline in its text, and the static control that paints such a picture.
#include <functional>
#include <memory>

#include "controls/SubclassedWindow.h"
#include "foundation/ui/PlatformHelpers.h"
#include "ui/Gdi.h"

namespace KELControls {

// A static control painting a bitmap on the 3D face colour, the bitmap's top-left pixel colour
// transparent.
class BitmapWindow : public SubclassedWindow {
public:
    enum Layout { kAlignBottom = 1, kCentre = 2, kBitmapSize = 3, kResizeToBitmap = 4 };
    BitmapWindow(HWND parent, int id, vx::ui::BitmapPtr bitmap, int layout);
    // Drawn over the bitmap, when set.
    std::function<void(vx::ui::DC&, const vx::ui::Rect&)> overlay;

protected:
    LRESULT WindowProc(UINT message, WPARAM wParam, LPARAM lParam) override;

private:
    void Paint(vx::ui::DC& dc);
    vx::ui::BitmapPtr mBitmap;
    int mLayout;
    int mWidth = 0;
    int mHeight = 0;
};

class DialogSettingsWarningDlg : public KEL::DialogBase {
public:
    static constexpr WORD kTemplateId = 300;
    static constexpr int kIconId = 1001;
    static constexpr int kMarkerId = 1002;

    explicit DialogSettingsWarningDlg(HWND parent);
    ~DialogSettingsWarningDlg() override;

protected:
    vx::ui::INT_PTR DialogFunction(UINT message, WPARAM wParam, LPARAM lParam) override;

private:
    void SetupWindow();
    std::unique_ptr<BitmapWindow> mMarker;
    vx::ui::BitmapPtr mIcon;
};

} // namespace KELControls
