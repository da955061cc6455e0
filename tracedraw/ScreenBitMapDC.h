#pragma once
// Off-screen drawing of the trace strips: the memory device context in which a buffered layer
// keeps its picture between paints, and the hatch that marks the part of a strip before the start
// of the record.
#include <cstdint>
#include <memory>

#include "ui/Gdi.h"

// A memory device context over a screen-compatible bitmap of width x height (none when either
// size is below 1).
class ScreenBitMapDC : public vx::ui::DC {
public:
    // Throws XKEL ("ScreenBitMapDC:: ctor fail", the last system error as an HRESULT) when the
    // bitmap cannot be made.
    ScreenBitMapDC(int width, int height);
    // Resets the origins and gives back the bitmap it selected.
    ~ScreenBitMapDC() override;
    int Width() const { return mWidth; }
    int Height() const { return mHeight; }
    bool HasBitmap() const { return mBitmap != nullptr; }

private:
    std::int32_t mHeight;
    std::int32_t mWidth;
    vx::ui::BitmapPtr mBitmap;
};

namespace VarnDraw {

// A layer's bitmap for a new strip size: null (the layer stays unbuffered) with one diagnostic
// line when the bitmap cannot be made, instead of the failure escaping a resize.
std::shared_ptr<ScreenBitMapDC> MakeLayerBitmap(int width, int height);

class DrawPreTriggerBackgroundBase {
public:
    virtual ~DrawPreTriggerBackgroundBase() = default;
    virtual void SetHeight(int ignored, int height) = 0;
    // 0 when painted (or without a pattern), 1 when there was nothing to paint.
    virtual int Paint(vx::ui::DC& dc, std::int64_t patternOrigin, int xFrom, int xTo) = 0;
};

class DrawPreTriggerBackground : public DrawPreTriggerBackgroundBase {
public:
    static constexpr vx::ui::Colour kHatchColour = vx::ui::Colour::Rgb(255, 239, 210);

    // Builds the pattern for `height` (the height rounded up to a multiple of 20 is its width).
    void SetHeight(int ignored, int height) override;
    // Tiles the pattern over the columns [xFrom, xTo) of the target: the hatch colour where the
    // pattern is black, the target unchanged where it is white. The pattern is fixed to
    // `patternOrigin`, the strip's pixel position of the record start (any sign).
    int Paint(vx::ui::DC& dc, std::int64_t patternOrigin, int xFrom, int xTo) override;

    int Height() const { return mHeight; }
    int PatternWidth() const { return mPatternWidth; }
    const vx::ui::BitmapPtr& Pattern() const { return mPattern; }

private:
    std::int32_t mHeight = 0;
    std::int32_t mPatternWidth = 0;
    vx::ui::BitmapPtr mPattern;
};

} // namespace VarnDraw
