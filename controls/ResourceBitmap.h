#pragma once
// Toolbar and button images from a module's resources: PNG files (type "PNG") decoded as they
// are, SVG documents (type "SVG") rasterised at exactly the pixel size asked for (the DPI-scaled
// button size). The gadgets try the SVG first and fall back to the PNG of the same id.
#include "res/Resource.h"
#include "ui/Gdi.h"

class TGdiPlusBitmap {
public:
    TGdiPlusBitmap() = default;
    virtual ~TGdiPlusBitmap() = default;
    TGdiPlusBitmap(const TGdiPlusBitmap&) = delete;
    TGdiPlusBitmap& operator=(const TGdiPlusBitmap&) = delete;

    // The image held, or null.
    const vx::ui::BitmapPtr& GetBitmap() const { return mBitmap; }

protected:
    vx::ui::BitmapPtr mBitmap;
};

class TGdiPlusBitmapResource : public TGdiPlusBitmap {
public:
    // True when a bitmap was decoded; any previous one is dropped first. An id below 0x10000 is an
    // integer resource id.
    bool Load(LPCWSTR name, HMODULE module);
};

class TGdiPlusBitmapSVGResource : public TGdiPlusBitmap {
public:
    // True exactly when a bitmap of width x height is held afterwards; a size below 1 fails at once.
    bool Load(LPCWSTR name, int width, int height, HMODULE module);
};
