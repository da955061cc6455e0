#include "tracedraw/ScreenBitMapDC.h"

#include <cmath>
#include <string>

#include "com/LastError.h"
#include "foundation/XKEL.h"
#include "log/Log.h"

ScreenBitMapDC::ScreenBitMapDC(int width, int height)
    : vx::ui::DC(nullptr, vx::ui::GetScreenCaps())
    , mHeight(height)
    , mWidth(width)
{
    if (width < 1 || height < 1)
        return;
    mBitmap = vx::ui::Bitmap::Create(width, height);
    if (!mBitmap)
        throw XKEL(KEL::String(L"ScreenBitMapDC:: ctor fail"), HRESULT_FROM_WIN32(GetLastError()));
    SelectBitmap(mBitmap);
}

ScreenBitMapDC::~ScreenBitMapDC()
{
    SetViewportOrg({ 0, 0 });
    SetWindowOrg({ 0, 0 });
    if (mBitmap)
        SelectBitmap(nullptr);
}

namespace VarnDraw {

std::shared_ptr<ScreenBitMapDC> MakeLayerBitmap(int width, int height)
{
    try {
        return std::make_shared<ScreenBitMapDC>(width, height);
    } catch (const XKEL& e) {
        vx::log::WriteLine("trace layer of " + std::to_string(width) + " x " + std::to_string(height)
            + " pixels left unbuffered: " + e.what());
        return nullptr;
    }
}

void DrawPreTriggerBackground::SetHeight(int, int height)
{
    if (height == mHeight)
        return;
    mHeight = height;
    mPattern.reset();
    mPatternWidth = 0;
    if (height < 1)
        return;
    mPatternWidth = ((height - 1) / 20 + 1) * 20;
    mPattern = vx::ui::Bitmap::Create(mPatternWidth, height, true);
    if (!mPattern)
        return;
    vx::ui::DC dc(mPattern);
    dc.FillSolidRect({ 0, 0, mPatternWidth, height }, vx::ui::Colour::Rgb(255, 255, 255));
    vx::ui::Pen pen = vx::ui::Pen::Solid(vx::ui::Colour {}, 8);
    pen.geometric = true;
    dc.SelectPen(pen);
    const double cos67 = std::cos(1.1693705988362009);
    for (int x = 0; x < mPatternWidth + height; x += 20) {
        dc.MoveTo({ x, 0 });
        dc.LineTo({ -1, static_cast<int>(std::trunc(x / cos67)) + 1 });
    }
    dc.Flush();
}

int DrawPreTriggerBackground::Paint(vx::ui::DC& dc, std::int64_t patternOrigin, int xFrom, int xTo)
{
    if (xTo <= xFrom || mHeight == 0)
        return 1;
    if (!mPattern)
        return 0;
    // The phase is taken non-negative, so a record start left of the strip keeps the hatch in step.
    std::int64_t phase = patternOrigin % mPatternWidth;
    if (phase < 0)
        phase += mPatternWidth;
    const vx::ui::Brush previous = dc.SelectBrush(vx::ui::Brush::Solid(kHatchColour));
    int x = xFrom;
    while (x < xTo) {
        const int w = std::min(xTo - x, mPatternWidth - static_cast<int>(phase));
        dc.BitBlt({ x, 0, x + w, mHeight }, mPattern, { static_cast<int>(phase), 0 }, vx::ui::ROP_PSDPXAX);
        x += w;
        phase = (phase + w) % mPatternWidth;
    }
    dc.SelectBrush(previous);
    return 0;
}

} // namespace VarnDraw
