#include "controls/ResourceBitmap.h"

#include "ui/Resources.h"

bool TGdiPlusBitmapResource::Load(LPCWSTR name, HMODULE module)
{
    mBitmap.reset();
    mBitmap = vx::ui::LoadPngResource(module, name, vx::ui::RT_PNG);
    return mBitmap != nullptr;
}

bool TGdiPlusBitmapSVGResource::Load(LPCWSTR name, int width, int height, HMODULE module)
{
    mBitmap.reset();
    if (width < 1 || height < 1)
        return false;
    mBitmap = vx::ui::LoadSvgResource(module, name, width, height);
    // A failed rasterisation holds nothing, so the caller's PNG fall-back runs.
    return mBitmap != nullptr && mBitmap->Width() == width && mBitmap->Height() == height;
}
