#include "ui/Gdi.h"

#include <cairo-pdf.h>
#include <cairo.h>
#include <dlfcn.h>
#include <librsvg/rsvg.h>
#include <pango/pangocairo.h>

#include <algorithm>
#include <array>
#include <climits>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <mutex>
#include <sstream>
#include <utility>

#include "com/LastError.h"
#include "log/Log.h"

// Commands are built with designated initialisers naming only the fields they use; the others
// keep their defaults on purpose.
#pragma GCC diagnostic ignored "-Wmissing-field-initializers"

namespace vx::ui {

// ---- Bitmaps ------------------------------------------------------------------------------

namespace {

constexpr int kMaxBitmapSide = 1 << 15;

std::uint32_t OpaqueArgb(Colour c)
{
    return 0xFF000000u | (std::uint32_t(c.Red()) << 16) | (std::uint32_t(c.Green()) << 8) | c.Blue();
}

Colour ColourOfArgb(std::uint32_t argb)
{
    const std::uint32_t a = argb >> 24;
    auto channel = [&](int shift) {
        const std::uint32_t v = (argb >> shift) & 0xFF;
        return static_cast<std::uint8_t>(a == 0 ? 0 : std::min<std::uint32_t>(255, (v * 255 + a / 2) / a));
    };
    return Colour::Rgb(channel(16), channel(8), channel(0));
}

std::string Hex(Colour c)
{
    char text[8];
    std::snprintf(text, sizeof text, "#%02x%02x%02x", c.Red(), c.Green(), c.Blue());
    return text;
}

} // namespace

Bitmap::Bitmap(cairo_surface_t* surface, bool monochrome)
    : mSurface(surface)
    , mWidth(cairo_image_surface_get_width(surface))
    , mHeight(cairo_image_surface_get_height(surface))
    , mMonochrome(monochrome)
{
}

Bitmap::~Bitmap()
{
    cairo_surface_destroy(mSurface);
}

BitmapPtr Bitmap::Create(int width, int height, bool monochrome)
{
    if (width < 1 || height < 1)
        return nullptr;
    if (width > kMaxBitmapSide || height > kMaxBitmapSide) {
        SetLastError(ERROR_NOT_ENOUGH_MEMORY);
        return nullptr;
    }
    cairo_surface_t* surface = cairo_image_surface_create(CAIRO_FORMAT_ARGB32, width, height);
    if (cairo_surface_status(surface) != CAIRO_STATUS_SUCCESS) {
        cairo_surface_destroy(surface);
        SetLastError(ERROR_NOT_ENOUGH_MEMORY);
        return nullptr;
    }
    BitmapPtr bitmap(new Bitmap(surface, monochrome));
    if (monochrome) {
        // A new monochrome bitmap is black, as on the original platform.
        for (int y = 0; y < height; ++y)
            for (int x = 0; x < width; ++x)
                bitmap->SetArgb(x, y, 0xFF000000u);
        bitmap->MarkDirty();
    }
    return bitmap;
}

namespace {

struct ReadState {
    std::span<const std::uint8_t> bytes;
    std::size_t offset = 0;
};

cairo_status_t ReadBytes(void* closure, unsigned char* data, unsigned int length)
{
    auto* state = static_cast<ReadState*>(closure);
    if (state->bytes.size() - state->offset < length)
        return CAIRO_STATUS_READ_ERROR;
    std::memcpy(data, state->bytes.data() + state->offset, length);
    state->offset += length;
    return CAIRO_STATUS_SUCCESS;
}

cairo_status_t WriteBytes(void* closure, const unsigned char* data, unsigned int length)
{
    auto* out = static_cast<std::vector<std::uint8_t>*>(closure);
    out->insert(out->end(), data, data + length);
    return CAIRO_STATUS_SUCCESS;
}

} // namespace

BitmapPtr Bitmap::FromPng(std::span<const std::uint8_t> bytes)
{
    static constexpr std::uint8_t kSignature[] = { 0x89, 'P', 'N', 'G', '\r', '\n', 0x1A, '\n' };
    if (bytes.size() < sizeof kSignature || std::memcmp(bytes.data(), kSignature, sizeof kSignature) != 0)
        return nullptr;
    ReadState state { bytes };
    cairo_surface_t* loaded = cairo_image_surface_create_from_png_stream(ReadBytes, &state);
    if (cairo_surface_status(loaded) != CAIRO_STATUS_SUCCESS) {
        cairo_surface_destroy(loaded);
        return nullptr;
    }
    BitmapPtr bitmap = Create(cairo_image_surface_get_width(loaded), cairo_image_surface_get_height(loaded));
    if (bitmap) {
        cairo_t* cr = cairo_create(bitmap->Surface());
        cairo_set_operator(cr, CAIRO_OPERATOR_SOURCE);
        cairo_set_source_surface(cr, loaded, 0, 0);
        cairo_paint(cr);
        cairo_destroy(cr);
        cairo_surface_flush(bitmap->Surface());
    }
    cairo_surface_destroy(loaded);
    return bitmap;
}

namespace {

// The SVG renderer is loaded on the first picture drawn from SVG: a program that never draws one
// (a command-line analysis) does not map and relocate it.
struct SvgLibrary {
    decltype(&rsvg_handle_new_from_data) newFromData = nullptr;
    decltype(&rsvg_handle_render_document) renderDocument = nullptr;

    static const SvgLibrary& Get()
    {
        static const SvgLibrary library = [] {
            SvgLibrary l;
            void* module = ::dlopen("librsvg-2.so.2", RTLD_NOW | RTLD_LOCAL);
            if (!module) {
                const char* why = ::dlerror();
                vx::log::WriteLine(std::string("ui: cannot load the SVG renderer: ") + (why ? why : "librsvg-2.so.2"));
                return l;
            }
            l.newFromData = reinterpret_cast<decltype(l.newFromData)>(::dlsym(module, "rsvg_handle_new_from_data"));
            l.renderDocument
                = reinterpret_cast<decltype(l.renderDocument)>(::dlsym(module, "rsvg_handle_render_document"));
            if (!l.newFromData || !l.renderDocument)
                l = SvgLibrary {};
            return l; // the module stays loaded for the process
        }();
        return library;
    }
};

} // namespace

BitmapPtr Bitmap::FromSvg(std::span<const std::uint8_t> bytes, int width, int height)
{
    if (width < 1 || height < 1 || bytes.empty())
        return nullptr;
    const SvgLibrary& svg = SvgLibrary::Get();
    if (!svg.newFromData)
        return nullptr;
    GError* error = nullptr;
    RsvgHandle* handle = svg.newFromData(bytes.data(), bytes.size(), &error);
    if (!handle) {
        if (error)
            g_error_free(error);
        return nullptr;
    }
    BitmapPtr bitmap = Create(width, height);
    if (bitmap) {
        cairo_t* cr = cairo_create(bitmap->Surface());
        const RsvgRectangle viewport { 0, 0, double(width), double(height) };
        const bool drawn = svg.renderDocument(handle, cr, &viewport, &error);
        cairo_destroy(cr);
        cairo_surface_flush(bitmap->Surface());
        if (!drawn)
            bitmap.reset();
    }
    if (error)
        g_error_free(error);
    g_object_unref(handle);
    return bitmap;
}

std::uint32_t Bitmap::Argb(int x, int y) const
{
    if (x < 0 || y < 0 || x >= mWidth || y >= mHeight)
        return 0;
    cairo_surface_flush(mSurface);
    const unsigned char* row = cairo_image_surface_get_data(mSurface) + y * cairo_image_surface_get_stride(mSurface);
    std::uint32_t value;
    std::memcpy(&value, row + 4 * x, 4);
    return value;
}

void Bitmap::SetArgb(int x, int y, std::uint32_t argb)
{
    if (x < 0 || y < 0 || x >= mWidth || y >= mHeight)
        return;
    unsigned char* row = cairo_image_surface_get_data(mSurface) + y * cairo_image_surface_get_stride(mSurface);
    std::memcpy(row + 4 * x, &argb, 4);
}

Colour Bitmap::Pixel(int x, int y) const
{
    return ColourOfArgb(Argb(x, y));
}

void Bitmap::MarkDirty()
{
    cairo_surface_mark_dirty(mSurface);
}

std::vector<std::uint8_t> Bitmap::EncodePng() const
{
    std::vector<std::uint8_t> out;
    cairo_surface_flush(mSurface);
    if (cairo_surface_write_to_png_stream(mSurface, WriteBytes, &out) != CAIRO_STATUS_SUCCESS)
        out.clear();
    return out;
}

bool Bitmap::SavePng(const std::string& path) const
{
    cairo_surface_flush(mSurface);
    return cairo_surface_write_to_png(mSurface, path.c_str()) == CAIRO_STATUS_SUCCESS;
}

BitmapPtr Bitmap::Copy() const
{
    BitmapPtr copy = Create(mWidth, mHeight, mMonochrome);
    if (copy) {
        cairo_surface_flush(mSurface);
        const int stride = cairo_image_surface_get_stride(mSurface);
        std::memcpy(cairo_image_surface_get_data(copy->mSurface), cairo_image_surface_get_data(mSurface),
            std::size_t(stride) * std::size_t(mHeight));
        copy->MarkDirty();
    }
    return copy;
}

// ---- Fonts, device information, system colours ----------------------------------------------

std::string FontFamilyFor(const std::wstring& face)
{
    // The dialog and GUI faces of the original platform are drawn with DejaVu Sans (installed
    // with fonts-dejavu-core); monospaced and serif faces with their DejaVu cousins.
    if (face.find(L"Courier") != std::wstring::npos || face.find(L"Consolas") != std::wstring::npos
        || face.find(L"Mono") != std::wstring::npos)
        return "DejaVu Sans Mono";
    if (face.find(L"Times") != std::wstring::npos || face.find(L"Serif") != std::wstring::npos)
        return "DejaVu Serif";
    return "DejaVu Sans";
}

namespace {

std::mutex gScreenMutex;
DeviceCaps gScreenCaps {};

constexpr std::array<std::uint32_t, kSysColourCount> kDefaultSysColours
    = { 0xC8C8C8, 0x000000, 0xD1B499, 0xDBCDBF, 0xF0F0F0, 0xFFFFFF, 0x646464, 0x000000, 0x000000, 0x000000, 0xB4B4B4,
          0xFCF7F4, 0xABABAB, 0xD77800, 0xFFFFFF, 0xF0F0F0, 0xA0A0A0, 0x6D6D6D, 0x000000, 0x000000, 0xFFFFFF, 0x696969,
          0xE3E3E3, 0x000000, 0xE1FFFF, 0xB5B5B5, 0xCC6600, 0xEAD1B9, 0xF2E4D7, 0xD77800, 0xF0F0F0 };
std::array<std::uint32_t, kSysColourCount> gSysColours = kDefaultSysColours;

} // namespace

DeviceCaps GetScreenCaps()
{
    std::lock_guard lock(gScreenMutex);
    return gScreenCaps;
}

void SetScreenCaps(const DeviceCaps& caps)
{
    std::lock_guard lock(gScreenMutex);
    gScreenCaps = caps;
}

Colour GetSysColor(int index)
{
    std::lock_guard lock(gScreenMutex);
    return index >= 0 && index < kSysColourCount ? Colour { gSysColours[std::size_t(index)] } : Colour {};
}

void SetSysColors(std::span<const std::pair<int, Colour>> colours)
{
    std::lock_guard lock(gScreenMutex);
    for (const auto& [index, colour] : colours)
        if (index >= 0 && index < kSysColourCount)
            gSysColours[std::size_t(index)] = colour.value;
}

void ResetSysColors()
{
    std::lock_guard lock(gScreenMutex);
    gSysColours = kDefaultSysColours;
}

int MulDiv(int a, int b, int c)
{
    if (c == 0)
        return -1;
    const long long product = static_cast<long long>(a) * b;
    long long magnitude = (std::llabs(product) + std::llabs(static_cast<long long>(c)) / 2) / std::llabs(c);
    const long long result = ((product < 0) != (c < 0)) ? -magnitude : magnitude;
    if (result > INT_MAX || result < INT_MIN)
        return -1;
    return static_cast<int>(result);
}

// ---- Command descriptions -------------------------------------------------------------------

namespace {

std::string RectText(const Rect& r)
{
    return std::to_string(r.left) + "," + std::to_string(r.top) + "," + std::to_string(r.right) + ","
        + std::to_string(r.bottom);
}

std::string PenText(const Pen& p)
{
    if (p.style == PS_NULL)
        return "null";
    std::string s = Hex(p.colour) + " w" + std::to_string(p.width);
    static const char* kStyles[] = { "solid", "dash", "dot", "dashdot", "", "null", "", "", "alternate" };
    if (p.style >= 0 && p.style <= 8 && p.style != PS_SOLID)
        s += std::string(" ") + kStyles[p.style];
    if (p.geometric)
        s += " geometric";
    return s;
}

std::string BrushText(const Brush& b)
{
    switch (b.style) {
    case BrushStyle::Solid:
        return Hex(b.colour);
    case BrushStyle::Null:
        return "null";
    case BrushStyle::Hatched:
        return "hatch" + std::to_string(b.hatch) + " " + Hex(b.colour);
    case BrushStyle::Pattern:
        return "pattern "
            + (b.pattern ? std::to_string(b.pattern->Width()) + "x" + std::to_string(b.pattern->Height()) : "-");
    }
    return "";
}

std::string Narrow(const std::wstring& text)
{
    std::string out;
    for (wchar_t c : text)
        out += c < 0x80 ? static_cast<char>(c) : '?';
    return out;
}

std::string PointsText(const std::vector<Point>& points)
{
    std::string s;
    for (const Point& p : points) {
        if (!s.empty())
            s += ' ';
        s += std::to_string(p.x);
        s += ',';
        s += std::to_string(p.y);
    }
    return s;
}

} // namespace

std::string DrawCommand::Describe() const
{
    using O = Op;
    switch (op) {
    case O::SetTextColour:
        return "TextColour " + Hex(colour);
    case O::SetBkColour:
        return "BkColour " + Hex(colour);
    case O::SetBkMode:
        return std::string("BkMode ") + (value == TRANSPARENT ? "transparent" : "opaque");
    case O::SetTextAlign:
        return "TextAlign " + std::to_string(value);
    case O::SelectPen:
        return "Pen " + PenText(pen);
    case O::SelectBrush:
        return "Brush " + BrushText(brush);
    case O::SelectFont:
        return "Font " + Narrow(font.face) + " " + std::to_string(font.height) + " w" + std::to_string(font.weight)
            + (font.escapement ? " esc" + std::to_string(font.escapement) : "");
    case O::SetWindowOrg:
        return "WindowOrg " + PointsText(points);
    case O::SetViewportOrg:
        return "ViewportOrg " + PointsText(points);
    case O::SetWindowExt:
        return "WindowExt " + PointsText(points);
    case O::SetViewportExt:
        return "ViewportExt " + PointsText(points);
    case O::SetClip: {
        std::string s = "Clip";
        for (const Rect& r : region.Rects())
            s += " " + RectText(r);
        return value ? s : "Clip none";
    }
    case O::SetBrushOrg:
        return "BrushOrg " + PointsText(points);
    case O::SetStretchMode:
        return "StretchMode " + std::to_string(value);
    case O::FillRect:
        return "FillRect " + RectText(rect) + " " + BrushText(brush);
    case O::FrameRect:
        return "FrameRect " + RectText(rect) + " " + BrushText(brush);
    case O::PatBlt:
        return "PatBlt " + RectText(rect) + " rop" + std::to_string(value);
    case O::Rectangle:
        return "Rectangle " + RectText(rect);
    case O::RoundRect:
        return "RoundRect " + RectText(rect) + " " + PointsText(points);
    case O::Ellipse:
        return "Ellipse " + RectText(rect);
    case O::Polygon:
        return "Polygon " + PointsText(points);
    case O::PolyPolyline: {
        std::string s = "PolyPolyline";
        std::size_t at = 0;
        for (int n : counts) {
            s += " [" + PointsText({ points.begin() + long(at), points.begin() + long(at + std::size_t(n)) }) + "]";
            at += std::size_t(n);
        }
        return s;
    }
    case O::MoveTo:
        return "MoveTo " + PointsText(points);
    case O::LineTo:
        return "LineTo " + PointsText(points);
    case O::SetPixel:
        return "SetPixel " + PointsText(points) + " " + Hex(colour);
    case O::TextOut:
        return "TextOut " + PointsText(points) + " \"" + Narrow(text) + "\""
            + (value ? " opt" + std::to_string(value) : "") + (rect.IsEmpty() ? "" : " " + RectText(rect));
    case O::DrawText:
        return "DrawText " + RectText(rect) + " \"" + Narrow(text) + "\" fmt" + std::to_string(value);
    case O::FillRegion: {
        std::string s = "FillRegion";
        for (const Rect& r : region.Rects())
            s += " " + RectText(r);
        return s + " " + BrushText(brush);
    }
    case O::Blit:
        return "Blit " + RectText(rect) + " from " + RectText(source) + " rop" + std::to_string(value);
    case O::StretchBlit:
        return "StretchBlit " + RectText(rect) + " from " + RectText(source);
    case O::AlphaBlit:
        return "AlphaBlit " + RectText(rect) + " from " + RectText(source) + " alpha" + std::to_string(value);
    case O::TransparentBlit:
        return "TransparentBlit " + RectText(rect) + " from " + RectText(source) + " key " + Hex(colour);
    case O::MaskBlit:
        return "MaskBlit " + RectText(rect);
    case O::FocusRect:
        return "FocusRect " + RectText(rect);
    case O::Save:
        return "Save";
    case O::Restore:
        return "Restore " + std::to_string(value);
    case O::SetRop2:
        return "Rop2 " + std::to_string(value);
    }
    return "?";
}

// ---- Device contexts ------------------------------------------------------------------------

struct DC::Saved {
    Colour textColour, bkColour;
    int bkMode;
    UINT textAlign;
    Pen pen;
    Brush brush;
    Font font;
    Point brushOrg;
    int stretchMode, mapMode;
    Point windowOrg, viewportOrg;
    Size windowExt, viewportExt;
    std::optional<Region> clip;
    int rop2 = R2_COPYPEN;
};

DC::DC()
{
    mRecording = true;
}

DC::DC(BitmapPtr target, std::optional<DeviceCaps> caps)
    : mCaps(caps ? *caps : GetScreenCaps())
{
    if (target) {
        mTarget = std::move(target);
        AttachSurface(mTarget->Surface());
    }
}

DC::~DC()
{
    DetachSurface();
}

std::unique_ptr<DC> DC::CreateRecording(Size extent, DeviceCaps caps)
{
    std::unique_ptr<DC> dc(new DC());
    dc->mCaps = caps;
    dc->mExtent = extent;
    return dc;
}

std::unique_ptr<DC> DC::OverCairo(cairo_t* cr, DeviceCaps caps, Size extent)
{
    std::unique_ptr<DC> dc(new DC());
    dc->mRecording = false;
    dc->mCaps = caps;
    dc->mExtent = extent;
    cairo_matrix_t m;
    cairo_get_matrix(cr, &m);
    dc->mBase = { m.xx, m.yx, m.xy, m.yy, m.x0, m.y0 };
    dc->AttachSurface(cairo_get_target(cr));
    return dc;
}

std::unique_ptr<DC> DC::CreateMemory(const DC* compatible)
{
    return std::make_unique<DC>(nullptr, compatible ? compatible->mCaps : GetScreenCaps());
}

void DC::AttachSurface(cairo_surface_t* surface)
{
    DetachSurface();
    mCairo = cairo_create(surface);
    ApplyState();
}

void DC::DetachSurface()
{
    if (mCairo) {
        cairo_destroy(mCairo);
        mCairo = nullptr;
    }
}

BitmapPtr DC::SelectBitmap(BitmapPtr bitmap)
{
    BitmapPtr previous = mTarget;
    Flush();
    mTarget = std::move(bitmap);
    if (mTarget)
        AttachSurface(mTarget->Surface());
    else
        DetachSurface();
    return previous;
}

void DC::Flush()
{
    if (mCairo)
        cairo_surface_flush(cairo_get_target(mCairo));
}

void DC::StartRecording()
{
    mRecording = true;
}

std::vector<std::string> DC::DescribeCommands() const
{
    std::vector<std::string> out;
    for (const DrawCommand& c : mCommands)
        out.push_back(c.Describe());
    return out;
}

void DC::Record(DrawCommand command)
{
    if (mRecording)
        mCommands.push_back(std::move(command));
}

int DC::GetDeviceCaps(int index) const
{
    Size res = mCaps.resolution;
    if (res.cx == 0 && mTarget)
        res = mTarget->GetSize();
    if (res.cx == 0)
        res = mExtent;
    switch (index) {
    case TECHNOLOGY:
        return mCaps.technology;
    case BITSPIXEL:
        return mCaps.bitsPerPixel;
    case PLANES:
        return 1;
    case LOGPIXELSX:
        return mCaps.dpiX;
    case LOGPIXELSY:
        return mCaps.dpiY;
    case HORZRES:
    case PHYSICALWIDTH:
        return res.cx;
    case VERTRES:
    case PHYSICALHEIGHT:
        return res.cy;
    case HORZSIZE:
        return mCaps.dpiX ? MulDiv(res.cx, 254, mCaps.dpiX * 10) : 0;
    case VERTSIZE:
        return mCaps.dpiY ? MulDiv(res.cy, 254, mCaps.dpiY * 10) : 0;
    case RASTERCAPS:
        return mCaps.technology == DT_PLOTTER ? 0 : 0x0001 | 0x0008 | 0x0800; // bitblt, bitmap64, stretchblt
    default:
        return 0;
    }
}

// State ---------------------------------------------------------------------------------------

Colour DC::SetTextColor(Colour c)
{
    Record({ .op = DrawCommand::Op::SetTextColour, .colour = c });
    return std::exchange(mTextColour, c);
}

Colour DC::SetBkColor(Colour c)
{
    Record({ .op = DrawCommand::Op::SetBkColour, .colour = c });
    return std::exchange(mBkColour, c);
}

int DC::SetBkMode(int mode)
{
    if (mode != TRANSPARENT && mode != OPAQUE)
        return 0;
    Record({ .op = DrawCommand::Op::SetBkMode, .value = mode });
    return std::exchange(mBkMode, mode);
}

UINT DC::SetTextAlign(UINT align)
{
    Record({ .op = DrawCommand::Op::SetTextAlign, .value = int(align) });
    return std::exchange(mTextAlign, align);
}

Pen DC::SelectPen(const Pen& pen)
{
    Record({ .op = DrawCommand::Op::SelectPen, .pen = pen });
    return std::exchange(mPen, pen);
}

Brush DC::SelectBrush(const Brush& brush)
{
    Record({ .op = DrawCommand::Op::SelectBrush, .brush = brush });
    return std::exchange(mBrush, brush);
}

Font DC::SelectFont(const Font& font)
{
    Record({ .op = DrawCommand::Op::SelectFont, .font = font });
    return std::exchange(mFont, font);
}

Point DC::SetBrushOrg(Point origin)
{
    Record({ .op = DrawCommand::Op::SetBrushOrg, .points = { origin } });
    return std::exchange(mBrushOrg, origin);
}

int DC::SetStretchBltMode(int mode)
{
    Record({ .op = DrawCommand::Op::SetStretchMode, .value = mode });
    return std::exchange(mStretchMode, mode);
}

int DC::SetROP2(int mode)
{
    Record({ .op = DrawCommand::Op::SetRop2, .value = mode });
    return std::exchange(mRop2, mode);
}

int DC::SaveDC()
{
    Record({ .op = DrawCommand::Op::Save });
    mSaved.push_back(std::make_shared<Saved>(Saved { mTextColour, mBkColour, mBkMode, mTextAlign, mPen, mBrush, mFont,
        mBrushOrg, mStretchMode, mMapMode, mWindowOrg, mViewportOrg, mWindowExt, mViewportExt, mClip, mRop2 }));
    return static_cast<int>(mSaved.size());
}

bool DC::RestoreDC(int saved)
{
    if (saved < 0)
        saved = static_cast<int>(mSaved.size()) + 1 + saved;
    if (saved < 1 || saved > static_cast<int>(mSaved.size()))
        return false;
    Record({ .op = DrawCommand::Op::Restore, .value = saved });
    const Saved s = *mSaved[std::size_t(saved - 1)];
    mSaved.resize(std::size_t(saved - 1));
    mTextColour = s.textColour;
    mBkColour = s.bkColour;
    mBkMode = s.bkMode;
    mTextAlign = s.textAlign;
    mPen = s.pen;
    mBrush = s.brush;
    mFont = s.font;
    mBrushOrg = s.brushOrg;
    mStretchMode = s.stretchMode;
    mRop2 = s.rop2;
    mMapMode = s.mapMode;
    mWindowOrg = s.windowOrg;
    mViewportOrg = s.viewportOrg;
    mWindowExt = s.windowExt;
    mViewportExt = s.viewportExt;
    mClip = s.clip;
    ApplyState();
    return true;
}

int DC::SetMapMode(int mode)
{
    const int previous = mMapMode;
    mMapMode = mode;
    if (mode == MM_TEXT) {
        mWindowExt = mViewportExt = { 1, 1 };
    }
    ApplyState();
    return previous;
}

Point DC::SetWindowOrg(Point p)
{
    Record({ .op = DrawCommand::Op::SetWindowOrg, .points = { p } });
    const Point previous = std::exchange(mWindowOrg, p);
    ApplyState();
    return previous;
}

Point DC::SetViewportOrg(Point p)
{
    Record({ .op = DrawCommand::Op::SetViewportOrg, .points = { p } });
    const Point previous = std::exchange(mViewportOrg, p);
    ApplyState();
    return previous;
}

Size DC::SetWindowExt(Size s)
{
    if (mMapMode != MM_ANISOTROPIC || s.cx == 0 || s.cy == 0)
        return mWindowExt;
    Record({ .op = DrawCommand::Op::SetWindowExt, .points = { { s.cx, s.cy } } });
    const Size previous = std::exchange(mWindowExt, s);
    ApplyState();
    return previous;
}

Size DC::SetViewportExt(Size s)
{
    if (mMapMode != MM_ANISOTROPIC || s.cx == 0 || s.cy == 0)
        return mViewportExt;
    Record({ .op = DrawCommand::Op::SetViewportExt, .points = { { s.cx, s.cy } } });
    const Size previous = std::exchange(mViewportExt, s);
    ApplyState();
    return previous;
}

bool DC::IsPlainTranslation() const
{
    return mWindowExt.cx == mViewportExt.cx && mWindowExt.cy == mViewportExt.cy;
}

Point DC::LogicalToDevice(Point p) const
{
    return { MulDiv(p.x - mWindowOrg.x, mViewportExt.cx, mWindowExt.cx) + mViewportOrg.x,
        MulDiv(p.y - mWindowOrg.y, mViewportExt.cy, mWindowExt.cy) + mViewportOrg.y };
}

Point DC::DeviceToLogical(Point p) const
{
    return { MulDiv(p.x - mViewportOrg.x, mWindowExt.cx, mViewportExt.cx) + mWindowOrg.x,
        MulDiv(p.y - mViewportOrg.y, mWindowExt.cy, mViewportExt.cy) + mWindowOrg.y };
}

Rect DC::ToDevice(const Rect& logical) const
{
    const Point a = LogicalToDevice(logical.TopLeft()), b = LogicalToDevice({ logical.right, logical.bottom });
    return { std::min(a.x, b.x), std::min(a.y, b.y), std::max(a.x, b.x), std::max(a.y, b.y) };
}

void DC::ApplyState()
{
    if (!mCairo)
        return;
    cairo_reset_clip(mCairo);
    cairo_matrix_t base;
    cairo_matrix_init(&base, mBase[0], mBase[1], mBase[2], mBase[3], mBase[4], mBase[5]);
    cairo_set_matrix(mCairo, &base);
    if (mClip) {
        for (const Rect& r : mClip->Rects())
            cairo_rectangle(mCairo, r.left, r.top, r.Width(), r.Height());
        if (mClip->IsEmpty())
            cairo_rectangle(mCairo, 0, 0, 0, 0);
        cairo_clip(mCairo);
    }
    cairo_translate(mCairo, mViewportOrg.x, mViewportOrg.y);
    cairo_scale(mCairo, double(mViewportExt.cx) / mWindowExt.cx, double(mViewportExt.cy) / mWindowExt.cy);
    cairo_translate(mCairo, -mWindowOrg.x, -mWindowOrg.y);
    cairo_set_antialias(mCairo, CAIRO_ANTIALIAS_NONE);
}

void DC::SelectClipRegion(std::optional<Region> region)
{
    Record({ .op = DrawCommand::Op::SetClip, .value = region ? 1 : 0, .region = region ? *region : Region() });
    mClip = std::move(region);
    ApplyState();
}

void DC::IntersectClipRect(const Rect& logical)
{
    const Region area(ToDevice(logical));
    SelectClipRegion(mClip ? Region::Combine(*mClip, area, RegionOp::And) : area);
}

void DC::ExcludeClipRect(const Rect& logical)
{
    Region base
        = mClip ? *mClip : Region(Rect { -kMaxBitmapSide, -kMaxBitmapSide, 4 * kMaxBitmapSide, 4 * kMaxBitmapSide });
    SelectClipRegion(Region::Combine(base, Region(ToDevice(logical)), RegionOp::Diff));
}

Rect DC::GetClipBox() const
{
    Rect box = mTarget ? Rect::FromPointSize({}, mTarget->GetSize()) : Rect::FromPointSize({}, mExtent);
    if (mClip)
        box = box.IsEmpty() ? mClip->Bounds() : box.Intersect(mClip->Bounds());
    const Point a = DeviceToLogical(box.TopLeft()), b = DeviceToLogical({ box.right, box.bottom });
    return { std::min(a.x, b.x), std::min(a.y, b.y), std::max(a.x, b.x), std::max(a.y, b.y) };
}

// Painting helpers ------------------------------------------------------------------------------

namespace {

void SetColour(cairo_t* cr, Colour c)
{
    cairo_set_source_rgb(cr, c.Red() / 255.0, c.Green() / 255.0, c.Blue() / 255.0);
}

// An 8 x 8 tile of a hatch style, transparent between the lines.
cairo_surface_t* HatchTile(int hatch, Colour c)
{
    cairo_surface_t* tile = cairo_image_surface_create(CAIRO_FORMAT_ARGB32, 8, 8);
    unsigned char* data = cairo_image_surface_get_data(tile);
    const int stride = cairo_image_surface_get_stride(tile);
    const std::uint32_t ink = OpaqueArgb(c);
    for (int y = 0; y < 8; ++y)
        for (int x = 0; x < 8; ++x) {
            bool on = false;
            switch (hatch) {
            case HS_HORIZONTAL:
                on = y == 7;
                break;
            case HS_VERTICAL:
                on = x == 7;
                break;
            case HS_FDIAGONAL:
                on = x == y;
                break;
            case HS_BDIAGONAL:
                on = x == 7 - y;
                break;
            case HS_CROSS:
                on = x == 7 || y == 7;
                break;
            case HS_DIAGCROSS:
                on = x == y || x == 7 - y;
                break;
            default:
                break;
            }
            const std::uint32_t v = on ? ink : 0;
            std::memcpy(data + y * stride + 4 * x, &v, 4);
        }
    cairo_surface_mark_dirty(tile);
    return tile;
}

} // namespace

void DC::SetSourceBrush(const Brush& brush)
{
    switch (brush.style) {
    case BrushStyle::Solid:
    case BrushStyle::Null:
        SetColour(mCairo, brush.colour);
        break;
    case BrushStyle::Hatched:
    case BrushStyle::Pattern: {
        cairo_surface_t* tile = brush.style == BrushStyle::Hatched ? HatchTile(brush.hatch, brush.colour)
                                                                   : cairo_surface_reference(brush.pattern->Surface());
        cairo_pattern_t* pattern = cairo_pattern_create_for_surface(tile);
        cairo_pattern_set_extend(pattern, CAIRO_EXTEND_REPEAT);
        cairo_pattern_set_filter(pattern, CAIRO_FILTER_NEAREST);
        // The brush origin is in device pixels; the pattern matrix maps user space to the tile.
        cairo_matrix_t matrix;
        cairo_get_matrix(mCairo, &matrix);
        cairo_matrix_translate(&matrix, 0, 0);
        cairo_matrix_t toTile;
        cairo_matrix_init_translate(&toTile, -mBrushOrg.x, -mBrushOrg.y);
        cairo_matrix_multiply(&toTile, &matrix, &toTile);
        cairo_pattern_set_matrix(pattern, &toTile);
        cairo_surface_destroy(tile);
        if (brush.style == BrushStyle::Hatched && mBkMode == OPAQUE) {
            // The gaps between the hatch lines take the background colour.
            cairo_save(mCairo);
            SetColour(mCairo, mBkColour);
            cairo_fill_preserve(mCairo);
            cairo_restore(mCairo);
        }
        cairo_set_source(mCairo, pattern);
        cairo_pattern_destroy(pattern);
        break;
    }
    }
}

void DC::FillPath(const Brush& brush)
{
    if (brush.style == BrushStyle::Null || (brush.style == BrushStyle::Pattern && !brush.pattern)) {
        cairo_new_path(mCairo);
        return;
    }
    SetSourceBrush(brush);
    cairo_fill(mCairo);
}

void DC::FillRect(const Rect& rect, const Brush& brush)
{
    Record({ .op = DrawCommand::Op::FillRect, .rect = rect, .brush = brush });
    if (!CanDraw() || rect.IsEmpty())
        return;
    cairo_rectangle(mCairo, rect.left, rect.top, rect.Width(), rect.Height());
    FillPath(brush);
}

void DC::FrameRect(const Rect& rect, const Brush& brush)
{
    Record({ .op = DrawCommand::Op::FrameRect, .rect = rect, .brush = brush });
    if (!CanDraw() || rect.IsEmpty())
        return;
    // One logical unit wide, inside the rectangle.
    cairo_rectangle(mCairo, rect.left, rect.top, rect.Width(), rect.Height());
    cairo_rectangle(mCairo, rect.left + 1, rect.top + 1, std::max(0, rect.Width() - 2), std::max(0, rect.Height() - 2));
    cairo_set_fill_rule(mCairo, CAIRO_FILL_RULE_EVEN_ODD);
    FillPath(brush);
    cairo_set_fill_rule(mCairo, CAIRO_FILL_RULE_WINDING);
}

void DC::PixelFill(const Region& deviceArea, const std::function<std::uint32_t(int, int, std::uint32_t)>& shade)
{
    if (!mTarget)
        return;
    Flush();
    Region area = Region::Combine(deviceArea, Region(Rect::FromPointSize({}, mTarget->GetSize())), RegionOp::And);
    if (mClip)
        area = Region::Combine(area, *mClip, RegionOp::And);
    for (const Rect& r : area.Rects())
        for (int y = r.top; y < r.bottom; ++y)
            for (int x = r.left; x < r.right; ++x)
                mTarget->SetArgb(x, y, shade(x, y, mTarget->Argb(x, y)));
    mTarget->MarkDirty();
}

bool DC::PatBlt(const Rect& rect, DWORD rop)
{
    Record({ .op = DrawCommand::Op::PatBlt, .rect = rect, .value = int(rop) });
    if (!CanDraw() || rect.IsEmpty())
        return true;
    switch (rop) {
    case PATCOPY:
        cairo_rectangle(mCairo, rect.left, rect.top, rect.Width(), rect.Height());
        FillPath(mBrush);
        return true;
    case BLACKNESS:
    case WHITENESS:
        cairo_rectangle(mCairo, rect.left, rect.top, rect.Width(), rect.Height());
        SetColour(mCairo, rop == BLACKNESS ? Colour {} : Colour { 0xFFFFFF });
        cairo_fill(mCairo);
        return true;
    case DSTINVERT:
        if (!mTarget)
            return false;
        PixelFill(
            Region(ToDevice(rect)), [](int, int, std::uint32_t v) { return (v & 0xFF000000u) | (~v & 0x00FFFFFFu); });
        return true;
    default:
        return false;
    }
}

// Lines ---------------------------------------------------------------------------------------

namespace {

// The pixels a cosmetic pen draws for one segment, leaving out the end point (Bresenham).
template <class F> void Bresenham(Point a, Point b, F plot)
{
    int x = a.x, y = a.y;
    const int dx = std::abs(b.x - a.x), dy = -std::abs(b.y - a.y);
    const int sx = a.x < b.x ? 1 : -1, sy = a.y < b.y ? 1 : -1;
    int err = dx + dy;
    while (!(x == b.x && y == b.y)) {
        plot(x, y);
        const int e2 = 2 * err;
        if (e2 >= dy) {
            err += dy;
            x += sx;
        }
        if (e2 <= dx) {
            err += dx;
            y += sy;
        }
    }
}

bool StyleOn(int style, int index)
{
    switch (style) {
    case PS_DASH:
        return index % 24 < 18;
    case PS_DOT:
        return index % 6 < 3;
    case PS_DASHDOT:
        return index % 18 < 9 || (index % 18 >= 12 && index % 18 < 15);
    case PS_ALTERNATE:
        return index % 2 == 0;
    default:
        return true;
    }
}

} // namespace

void DC::DrawCosmeticPolyline(std::span<const Point> points, bool closed)
{
    if (!CanDraw() || mPen.style == PS_NULL || points.size() < 2)
        return;
    if (mTarget && IsPlainTranslation()) {
        // Exact pixels, as the original platform draws one-pixel lines.
        Flush();
        const Rect bounds = Rect::FromPointSize({}, mTarget->GetSize());
        const std::uint32_t ink = OpaqueArgb(mPen.colour);
        int index = 0;
        auto plot = [&](int x, int y) {
            const bool on = StyleOn(mPen.style, index++);
            const Point d = LogicalToDevice({ x, y });
            if (!bounds.Contains(d) || (mClip && !mClip->Contains(d)))
                return;
            if (on && mRop2 == R2_NOT)
                mTarget->SetArgb(d.x, d.y, OpaqueArgb(Colour { ~mTarget->Pixel(d.x, d.y).value & 0xFFFFFF }));
            else if (on)
                mTarget->SetArgb(d.x, d.y, ink);
            else if (mBkMode == OPAQUE && mPen.style != PS_ALTERNATE)
                mTarget->SetArgb(d.x, d.y, OpaqueArgb(mBkColour));
        };
        for (std::size_t i = 0; i + 1 < points.size(); ++i)
            Bresenham(points[i], points[i + 1], plot);
        if (closed)
            Bresenham(points.back(), points.front(), plot);
        mTarget->MarkDirty();
        return;
    }
    cairo_new_path(mCairo);
    cairo_move_to(mCairo, points[0].x + 0.5, points[0].y + 0.5);
    for (std::size_t i = 1; i < points.size(); ++i)
        cairo_line_to(mCairo, points[i].x + 0.5, points[i].y + 0.5);
    if (closed)
        cairo_close_path(mCairo);
    StrokePath(false);
}

void DC::StrokePath(bool)
{
    if (mPen.style == PS_NULL) {
        cairo_new_path(mCairo);
        return;
    }
    // Inverting: white subtracted from what lies under the pen gives its complement.
    const bool invert = mRop2 == R2_NOT;
    if (invert) {
        cairo_set_operator(mCairo, CAIRO_OPERATOR_DIFFERENCE);
        cairo_set_source_rgb(mCairo, 1, 1, 1);
    } else {
        SetColour(mCairo, mPen.colour);
    }
    cairo_set_line_width(mCairo, std::max(1, mPen.width));
    cairo_set_line_cap(mCairo,
        mPen.cap == PS_ENDCAP_FLAT         ? CAIRO_LINE_CAP_BUTT
            : mPen.cap == PS_ENDCAP_SQUARE ? CAIRO_LINE_CAP_SQUARE
                                           : CAIRO_LINE_CAP_ROUND);
    cairo_set_line_join(mCairo, CAIRO_LINE_JOIN_ROUND);
    if (mPen.style != PS_SOLID) {
        const double w = std::max(1, mPen.width);
        std::vector<double> dashes;
        switch (mPen.style) {
        case PS_DASH:
            dashes = { 18 * w, 6 * w };
            break;
        case PS_DOT:
            dashes = { 3 * w, 3 * w };
            break;
        case PS_DASHDOT:
            dashes = { 9 * w, 3 * w, 3 * w, 3 * w };
            break;
        default:
            dashes = { w, w };
            break;
        }
        cairo_set_dash(mCairo, dashes.data(), int(dashes.size()), 0);
    }
    cairo_stroke(mCairo);
    cairo_set_dash(mCairo, nullptr, 0, 0);
    if (invert)
        cairo_set_operator(mCairo, CAIRO_OPERATOR_OVER);
}

Point DC::MoveTo(Point p)
{
    Record({ .op = DrawCommand::Op::MoveTo, .points = { p } });
    return std::exchange(mCurrent, p);
}

void DC::LineTo(Point p)
{
    Record({ .op = DrawCommand::Op::LineTo, .points = { p } });
    const Point from = std::exchange(mCurrent, p);
    if (!CanDraw())
        return;
    if (mPen.IsCosmetic()) {
        const Point line[] = { from, p };
        DrawCosmeticPolyline(line, false);
        return;
    }
    cairo_new_path(mCairo);
    cairo_move_to(mCairo, from.x + 0.5, from.y + 0.5);
    cairo_line_to(mCairo, p.x + 0.5, p.y + 0.5);
    StrokePath(false);
}

void DC::Polyline(std::span<const Point> points)
{
    const int count[] = { static_cast<int>(points.size()) };
    PolyPolyline(points, count);
}

void DC::PolyPolyline(std::span<const Point> points, std::span<const int> counts)
{
    Record({ .op = DrawCommand::Op::PolyPolyline,
        .points = { points.begin(), points.end() },
        .counts = { counts.begin(), counts.end() } });
    if (!CanDraw())
        return;
    std::size_t at = 0;
    for (int n : counts) {
        if (n < 0 || at + std::size_t(n) > points.size())
            return;
        const auto part = points.subspan(at, std::size_t(n));
        at += std::size_t(n);
        if (part.size() < 2)
            continue;
        if (mPen.IsCosmetic()) {
            DrawCosmeticPolyline(part, false);
            continue;
        }
        cairo_new_path(mCairo);
        cairo_move_to(mCairo, part[0].x + 0.5, part[0].y + 0.5);
        for (std::size_t i = 1; i < part.size(); ++i)
            cairo_line_to(mCairo, part[i].x + 0.5, part[i].y + 0.5);
        StrokePath(false);
    }
}

// Shapes: the interior takes the brush, the outline the pen, drawn inside the rectangle.
void DC::Rectangle(const Rect& rect)
{
    Record({ .op = DrawCommand::Op::Rectangle, .rect = rect });
    if (!CanDraw() || rect.IsEmpty())
        return;
    const bool outline = mPen.style != PS_NULL;
    const Rect inner = outline ? rect.Inflate(-1, -1) : rect;
    if (!inner.IsEmpty()) {
        cairo_rectangle(mCairo, inner.left, inner.top, inner.Width(), inner.Height());
        FillPath(mBrush);
    }
    if (!outline)
        return;
    const Point corners[] = { { rect.left, rect.top }, { rect.right - 1, rect.top },
        { rect.right - 1, rect.bottom - 1 }, { rect.left, rect.bottom - 1 } };
    if (mPen.IsCosmetic()) {
        DrawCosmeticPolyline(corners, true);
        if (rect.Width() == 1 || rect.Height() == 1)
            SetPixel({ rect.right - 1, rect.bottom - 1 }, mPen.colour);
        return;
    }
    const double w = mPen.width;
    cairo_rectangle(mCairo, rect.left + w / 2, rect.top + w / 2, rect.Width() - w, rect.Height() - w);
    StrokePath(false);
}

void DC::RoundRect(const Rect& rect, Size corner)
{
    Record({ .op = DrawCommand::Op::RoundRect, .rect = rect, .points = { { corner.cx, corner.cy } } });
    if (!CanDraw() || rect.IsEmpty())
        return;
    const double rx = std::min(corner.cx, rect.Width()) / 2.0, ry = std::min(corner.cy, rect.Height()) / 2.0;
    const double l = rect.left + 0.5, t = rect.top + 0.5, r = rect.right - 0.5, b = rect.bottom - 0.5;
    cairo_new_path(mCairo);
    if (rx <= 0 || ry <= 0) {
        cairo_rectangle(mCairo, l, t, r - l, b - t);
    } else {
        auto corner_arc = [&](double cx, double cy, double a0) {
            cairo_save(mCairo);
            cairo_translate(mCairo, cx, cy);
            cairo_scale(mCairo, rx, ry);
            cairo_arc(mCairo, 0, 0, 1, a0, a0 + M_PI / 2);
            cairo_restore(mCairo);
        };
        corner_arc(r - rx, t + ry, -M_PI / 2);
        corner_arc(r - rx, b - ry, 0);
        corner_arc(l + rx, b - ry, M_PI / 2);
        corner_arc(l + rx, t + ry, M_PI);
        cairo_close_path(mCairo);
    }
    cairo_path_t* path = cairo_copy_path(mCairo);
    FillPath(mBrush);
    cairo_append_path(mCairo, path);
    cairo_path_destroy(path);
    StrokePath(false);
}

void DC::Ellipse(const Rect& rect)
{
    Record({ .op = DrawCommand::Op::Ellipse, .rect = rect });
    if (!CanDraw() || rect.IsEmpty())
        return;
    cairo_new_path(mCairo);
    cairo_save(mCairo);
    cairo_translate(mCairo, (rect.left + rect.right) / 2.0, (rect.top + rect.bottom) / 2.0);
    cairo_scale(mCairo, std::max(0.5, (rect.Width() - 1) / 2.0), std::max(0.5, (rect.Height() - 1) / 2.0));
    cairo_arc(mCairo, 0, 0, 1, 0, 2 * M_PI);
    cairo_restore(mCairo);
    cairo_path_t* path = cairo_copy_path(mCairo);
    FillPath(mBrush);
    cairo_append_path(mCairo, path);
    cairo_path_destroy(path);
    StrokePath(false);
}

void DC::Polygon(std::span<const Point> points)
{
    Record({ .op = DrawCommand::Op::Polygon, .points = { points.begin(), points.end() } });
    if (!CanDraw() || points.size() < 2)
        return;
    cairo_new_path(mCairo);
    cairo_move_to(mCairo, points[0].x + 0.5, points[0].y + 0.5);
    for (std::size_t i = 1; i < points.size(); ++i)
        cairo_line_to(mCairo, points[i].x + 0.5, points[i].y + 0.5);
    cairo_close_path(mCairo);
    FillPath(mBrush);
    if (mPen.IsCosmetic()) {
        DrawCosmeticPolyline(points, true);
        return;
    }
    cairo_move_to(mCairo, points[0].x + 0.5, points[0].y + 0.5);
    for (std::size_t i = 1; i < points.size(); ++i)
        cairo_line_to(mCairo, points[i].x + 0.5, points[i].y + 0.5);
    cairo_close_path(mCairo);
    StrokePath(false);
}

void DC::SetPixel(Point p, Colour c)
{
    Record({ .op = DrawCommand::Op::SetPixel, .points = { p }, .colour = c });
    if (!CanDraw())
        return;
    if (mTarget) {
        const Point d = LogicalToDevice(p);
        PixelFill(Region(Rect { d.x, d.y, d.x + 1, d.y + 1 }), [&](int, int, std::uint32_t) { return OpaqueArgb(c); });
        return;
    }
    cairo_rectangle(mCairo, p.x, p.y, 1, 1);
    SetColour(mCairo, c);
    cairo_fill(mCairo);
}

Colour DC::GetPixel(Point p) const
{
    if (!mTarget)
        return { CLR_INVALID };
    const Point d = LogicalToDevice(p);
    if (!Rect::FromPointSize({}, mTarget->GetSize()).Contains(d) || (mClip && !mClip->Contains(d)))
        return { CLR_INVALID };
    cairo_surface_flush(mTarget->Surface());
    return mTarget->Pixel(d.x, d.y);
}

void DC::FillRegion(const Region& logical, const Brush& brush)
{
    // Filled in field by field: GCC 12 takes the font of a designated temporary here for
    // uninitialised.
    DrawCommand command;
    command.op = DrawCommand::Op::FillRegion;
    command.brush = brush;
    command.region = logical;
    Record(std::move(command));
    if (!CanDraw())
        return;
    for (const Rect& r : logical.Rects())
        cairo_rectangle(mCairo, r.left, r.top, r.Width(), r.Height());
    FillPath(brush);
}

void DC::DrawFocusRect(const Rect& rect)
{
    Record({ .op = DrawCommand::Op::FocusRect, .rect = rect });
    if (!mTarget || rect.IsEmpty())
        return;
    // A dotted frame that inverts every other pixel, so drawing it twice removes it.
    const Rect d = ToDevice(rect);
    Region frame = Region::Combine(Region(d), Region(d.Inflate(-1, -1)), RegionOp::Diff);
    PixelFill(frame,
        [](int x, int y, std::uint32_t v) { return ((x + y) % 2 == 0) ? (v & 0xFF000000u) | (~v & 0x00FFFFFFu) : v; });
}

// Text ------------------------------------------------------------------------------------------

namespace {

cairo_t* MeasuringContext()
{
    thread_local cairo_surface_t* surface = cairo_image_surface_create(CAIRO_FORMAT_ARGB32, 1, 1);
    thread_local cairo_t* cr = cairo_create(surface);
    return cr;
}

std::string Utf8(const std::wstring& text)
{
    std::string out;
    for (wchar_t wc : text) {
        auto c = static_cast<std::uint32_t>(wc);
        if (c > 0x10FFFF || (c >= 0xD800 && c <= 0xDFFF))
            c = 0xFFFD;
        if (c < 0x80) {
            out += static_cast<char>(c);
        } else if (c < 0x800) {
            out += static_cast<char>(0xC0 | (c >> 6));
            out += static_cast<char>(0x80 | (c & 0x3F));
        } else if (c < 0x10000) {
            out += static_cast<char>(0xE0 | (c >> 12));
            out += static_cast<char>(0x80 | ((c >> 6) & 0x3F));
            out += static_cast<char>(0x80 | (c & 0x3F));
        } else {
            out += static_cast<char>(0xF0 | (c >> 18));
            out += static_cast<char>(0x80 | ((c >> 12) & 0x3F));
            out += static_cast<char>(0x80 | ((c >> 6) & 0x3F));
            out += static_cast<char>(0x80 | (c & 0x3F));
        }
    }
    return out;
}

// DejaVu Sans: ascent + descent is 1.164 em.
constexpr double kCellPerEm = 1.164;

PangoLayout* MakeLayout(cairo_t* cr, const Font& font)
{
    PangoLayout* layout = pango_cairo_create_layout(cr);
    PangoFontDescription* desc = pango_font_description_new();
    pango_font_description_set_family(desc, FontFamilyFor(font.face).c_str());
    double em = font.height < 0 ? -font.height : font.height > 0 ? font.height / kCellPerEm : 11.0;
    em = std::max(1.0, em);
    pango_font_description_set_absolute_size(desc, em * PANGO_SCALE);
    pango_font_description_set_weight(
        desc, static_cast<PangoWeight>(std::clamp(font.weight == 0 ? 400 : font.weight, 100, 1000)));
    pango_font_description_set_style(desc, font.italic ? PANGO_STYLE_ITALIC : PANGO_STYLE_NORMAL);
    pango_layout_set_font_description(layout, desc);
    pango_font_description_free(desc);
    if (font.underline) {
        PangoAttrList* attrs = pango_attr_list_new();
        pango_attr_list_insert(attrs, pango_attr_underline_new(PANGO_UNDERLINE_SINGLE));
        pango_layout_set_attributes(layout, attrs);
        pango_attr_list_unref(attrs);
    }
    cairo_font_options_t* options = cairo_font_options_create();
    cairo_font_options_set_antialias(options, CAIRO_ANTIALIAS_GRAY);
    cairo_font_options_set_hint_metrics(options, CAIRO_HINT_METRICS_ON);
    pango_cairo_context_set_font_options(pango_layout_get_context(layout), options);
    cairo_font_options_destroy(options);
    pango_layout_context_changed(layout);
    return layout;
}

// Removes the mnemonic markers: "&x" becomes "x", "&&" becomes "&".
std::wstring StripPrefix(const std::wstring& text)
{
    std::wstring out;
    for (std::size_t i = 0; i < text.size(); ++i) {
        if (text[i] == L'&' && i + 1 < text.size())
            ++i;
        else if (text[i] == L'&')
            continue;
        out += text[i];
    }
    return out;
}

} // namespace

Size DC::GetTextExtent(const std::wstring& text) const
{
    PangoLayout* layout = MakeLayout(MeasuringContext(), mFont);
    const std::string utf8 = Utf8(text);
    pango_layout_set_text(layout, utf8.c_str(), int(utf8.size()));
    int w = 0, h = 0;
    pango_layout_get_pixel_size(layout, &w, &h);
    g_object_unref(layout);
    return { w, h };
}

TextMetrics DC::GetTextMetrics() const
{
    PangoLayout* layout = MakeLayout(MeasuringContext(), mFont);
    PangoContext* context = pango_layout_get_context(layout);
    PangoFontMetrics* metrics = pango_context_get_metrics(context, pango_layout_get_font_description(layout), nullptr);
    TextMetrics tm;
    tm.ascent = PANGO_PIXELS_CEIL(pango_font_metrics_get_ascent(metrics));
    tm.descent = PANGO_PIXELS_CEIL(pango_font_metrics_get_descent(metrics));
    tm.height = tm.ascent + tm.descent;
    tm.aveCharWidth = PANGO_PIXELS(pango_font_metrics_get_approximate_char_width(metrics));
    tm.maxCharWidth = PANGO_PIXELS(pango_font_metrics_get_approximate_digit_width(metrics)) * 2;
    const double em = mFont.height < 0 ? -mFont.height : mFont.height > 0 ? mFont.height / kCellPerEm : 11.0;
    tm.internalLeading = std::max(0, tm.height - static_cast<int>(std::lround(em)));
    pango_font_metrics_unref(metrics);
    g_object_unref(layout);
    return tm;
}

void DC::ExtTextOut(Point p, UINT options, const Rect* rect, const std::wstring& text)
{
    Record({ .op = DrawCommand::Op::TextOut,
        .rect = rect ? *rect : Rect {},
        .points = { p },
        .text = text,
        .value = int(options) });
    if (!CanDraw())
        return;
    cairo_save(mCairo);
    if (rect && (options & ETO_OPAQUE)) {
        cairo_rectangle(mCairo, rect->left, rect->top, rect->Width(), rect->Height());
        SetColour(mCairo, mBkColour);
        cairo_fill(mCairo);
    }
    if (rect && (options & ETO_CLIPPED)) {
        cairo_rectangle(mCairo, rect->left, rect->top, rect->Width(), rect->Height());
        cairo_clip(mCairo);
    }
    if (!text.empty()) {
        PangoLayout* layout = MakeLayout(mCairo, mFont);
        const std::string utf8 = Utf8(text);
        pango_layout_set_text(layout, utf8.c_str(), int(utf8.size()));
        int w = 0, h = 0;
        pango_layout_get_pixel_size(layout, &w, &h);
        const int baseline = PANGO_PIXELS(pango_layout_get_baseline(layout));
        cairo_translate(mCairo, p.x, p.y);
        if (mFont.escapement != 0)
            cairo_rotate(mCairo, -mFont.escapement / 10.0 * M_PI / 180.0);
        double x = 0, y = 0;
        if ((mTextAlign & TA_CENTER) == TA_CENTER)
            x = -w / 2.0;
        else if (mTextAlign & TA_RIGHT)
            x = -w;
        if ((mTextAlign & TA_BASELINE) == TA_BASELINE)
            y = -baseline;
        else if (mTextAlign & TA_BOTTOM)
            y = -h;
        x = std::round(x);
        if (mBkMode == OPAQUE) {
            cairo_rectangle(mCairo, x, y, w, h);
            SetColour(mCairo, mBkColour);
            cairo_fill(mCairo);
        }
        cairo_move_to(mCairo, x, y);
        SetColour(mCairo, mTextColour);
        pango_cairo_show_layout(mCairo, layout);
        g_object_unref(layout);
    }
    cairo_restore(mCairo);
}

int DC::DrawText(const std::wstring& text, Rect& rect, UINT format)
{
    Record({ .op = DrawCommand::Op::DrawText, .rect = rect, .text = text, .value = int(format) });
    const std::wstring shown = (format & DT_NOPREFIX) ? text : StripPrefix(text);
    cairo_t* cr = mCairo ? mCairo : MeasuringContext();
    PangoLayout* layout = MakeLayout(cr, mFont);
    const std::string utf8 = Utf8(shown);
    pango_layout_set_text(layout, utf8.c_str(), int(utf8.size()));
    if ((format & DT_WORDBREAK) && !(format & DT_SINGLELINE)) {
        pango_layout_set_width(layout, std::max(1, rect.Width()) * PANGO_SCALE);
        pango_layout_set_wrap(layout, PANGO_WRAP_WORD_CHAR);
    } else if (format & DT_END_ELLIPSIS) {
        pango_layout_set_width(layout, std::max(1, rect.Width()) * PANGO_SCALE);
        pango_layout_set_ellipsize(layout, PANGO_ELLIPSIZE_END);
    }
    if (format & DT_SINGLELINE)
        pango_layout_set_single_paragraph_mode(layout, TRUE);
    pango_layout_set_alignment(layout,
        (format & DT_CENTER)      ? PANGO_ALIGN_CENTER
            : (format & DT_RIGHT) ? PANGO_ALIGN_RIGHT
                                  : PANGO_ALIGN_LEFT);
    PangoRectangle ink, logical;
    pango_layout_get_pixel_extents(layout, &ink, &logical);
    const int w = logical.width, h = logical.height;
    if (format & DT_CALCRECT) {
        rect.right = rect.left + w;
        rect.bottom = rect.top + h;
        g_object_unref(layout);
        return h;
    }
    if (mCairo) {
        double x = rect.left, y = rect.top;
        const bool wrapped = pango_layout_get_width(layout) > 0;
        if (!wrapped) {
            if (format & DT_CENTER)
                x = rect.left + (rect.Width() - w) / 2;
            else if (format & DT_RIGHT)
                x = rect.right - w;
        }
        if (format & DT_SINGLELINE) {
            if (format & DT_VCENTER)
                y = rect.top + (rect.Height() - h) / 2;
            else if (format & DT_BOTTOM)
                y = rect.bottom - h;
        }
        cairo_save(mCairo);
        if (!(format & DT_NOCLIP)) {
            cairo_rectangle(mCairo, rect.left, rect.top, rect.Width(), rect.Height());
            cairo_clip(mCairo);
        }
        if (mBkMode == OPAQUE) {
            cairo_rectangle(mCairo, wrapped ? rect.left : x, y, wrapped ? rect.Width() : w, h);
            SetColour(mCairo, mBkColour);
            cairo_fill(mCairo);
        }
        cairo_move_to(mCairo, x - (wrapped ? 0 : logical.x), y);
        SetColour(mCairo, mTextColour);
        pango_cairo_show_layout(mCairo, layout);
        cairo_restore(mCairo);
    }
    g_object_unref(layout);
    return h;
}

// Blits -----------------------------------------------------------------------------------------

namespace {

std::uint32_t Invert(std::uint32_t v)
{
    return (v & 0xFF000000u) | (~v & 0x00FFFFFFu);
}

bool IsBlack(std::uint32_t v)
{
    return (v & 0x00FFFFFFu) == 0;
}

} // namespace

bool DC::BitBlt(const Rect& dest, const BitmapPtr& source, Point sourceOrigin, DWORD rop)
{
    const Rect sourceRect = Rect::FromPointSize(sourceOrigin, dest.GetSize());
    Record({ .op = DrawCommand::Op::Blit, .rect = dest, .source = sourceRect, .value = int(rop), .bitmap = source });
    if (!CanDraw() || dest.IsEmpty())
        return true;
    if (rop == PATCOPY || rop == BLACKNESS || rop == WHITENESS || rop == DSTINVERT) {
        const bool recording = std::exchange(mRecording, false);
        const bool done = PatBlt(dest, rop);
        mRecording = recording;
        return done;
    }
    if (!source)
        return false;
    const bool monoSource = source->IsMonochrome();
    if (rop == SRCCOPY && !monoSource) {
        cairo_save(mCairo);
        cairo_rectangle(mCairo, dest.left, dest.top, dest.Width(), dest.Height());
        cairo_clip(mCairo);
        cairo_set_operator(mCairo, CAIRO_OPERATOR_SOURCE);
        cairo_set_source_surface(mCairo, source->Surface(), dest.left - sourceOrigin.x, dest.top - sourceOrigin.y);
        cairo_pattern_set_filter(cairo_get_source(mCairo), CAIRO_FILTER_NEAREST);
        cairo_paint(mCairo);
        cairo_restore(mCairo);
        return true;
    }
    if (!mTarget)
        return false;
    // Raster operations pixel by pixel (device pixels; the source is not scaled).
    cairo_surface_flush(source->Surface());
    const Rect d = ToDevice(dest);
    const std::uint32_t text = OpaqueArgb(mTextColour), back = OpaqueArgb(mBkColour);
    const std::uint32_t brush = OpaqueArgb(mBrush.colour);
    auto src = [&](int x, int y) {
        const std::uint32_t s = source->Argb(sourceOrigin.x + x - d.left, sourceOrigin.y + y - d.top);
        // A monochrome source on a colour target: black takes the text colour, white the
        // background colour.
        if (monoSource && rop != ROP_PSDPXAX)
            return IsBlack(s) ? text : back;
        return s;
    };
    std::function<std::uint32_t(int, int, std::uint32_t)> shade;
    switch (rop) {
    case SRCCOPY:
        shade = [&](int x, int y, std::uint32_t) { return src(x, y); };
        break;
    case SRCAND:
        shade = [&](int x, int y, std::uint32_t t) { return 0xFF000000u | (src(x, y) & t); };
        break;
    case SRCPAINT:
        shade = [&](int x, int y, std::uint32_t t) { return 0xFF000000u | src(x, y) | t; };
        break;
    case SRCINVERT:
        shade = [&](int x, int y, std::uint32_t t) { return 0xFF000000u | ((src(x, y) ^ t) & 0xFFFFFF); };
        break;
    case ROP_PSDPXAX:
        shade = [&](int x, int y, std::uint32_t t) { return IsBlack(src(x, y)) ? brush : t; };
        break;
    default:
        return false;
    }
    PixelFill(Region(Rect::FromPointSize(d.TopLeft(), dest.GetSize())), shade);
    (void)Invert;
    return true;
}

bool DC::StretchBlt(const Rect& dest, const BitmapPtr& source, const Rect& sourceRect, DWORD rop)
{
    Record({ .op = DrawCommand::Op::StretchBlit,
        .rect = dest,
        .source = sourceRect,
        .value = int(rop),
        .bitmap = source });
    if (!CanDraw() || dest.IsEmpty() || sourceRect.IsEmpty() || !source)
        return !source ? false : true;
    if (rop == ROP_PSDPXAX && mTarget) {
        // Stamping through a stretched mask: the brush where the nearest source pixel is black.
        cairo_surface_flush(source->Surface());
        const Rect d = ToDevice(dest);
        const std::uint32_t brush = OpaqueArgb(mBrush.colour);
        const double sx = double(sourceRect.Width()) / dest.Width(), sy = double(sourceRect.Height()) / dest.Height();
        PixelFill(Region(Rect::FromPointSize(d.TopLeft(), dest.GetSize())), [&](int x, int y, std::uint32_t t) {
            const int u = sourceRect.left + static_cast<int>((x - d.left) * sx);
            const int v = sourceRect.top + static_cast<int>((y - d.top) * sy);
            return IsBlack(source->Argb(u, v)) ? brush : t;
        });
        return true;
    }
    if (rop != SRCCOPY)
        return false;
    cairo_save(mCairo);
    cairo_rectangle(mCairo, dest.left, dest.top, dest.Width(), dest.Height());
    cairo_clip(mCairo);
    cairo_translate(mCairo, dest.left, dest.top);
    cairo_scale(mCairo, double(dest.Width()) / sourceRect.Width(), double(dest.Height()) / sourceRect.Height());
    cairo_set_operator(mCairo, CAIRO_OPERATOR_SOURCE);
    cairo_set_source_surface(mCairo, source->Surface(), -sourceRect.left, -sourceRect.top);
    cairo_pattern_set_filter(
        cairo_get_source(mCairo), mStretchMode == HALFTONE ? CAIRO_FILTER_GOOD : CAIRO_FILTER_NEAREST);
    cairo_paint(mCairo);
    cairo_restore(mCairo);
    return true;
}

bool DC::AlphaBlend(const Rect& dest, const BitmapPtr& source, const Rect& sourceRect, int constantAlpha, bool perPixel)
{
    Record({ .op = DrawCommand::Op::AlphaBlit,
        .rect = dest,
        .source = sourceRect,
        .value = constantAlpha,
        .bitmap = source });
    if (!source || constantAlpha < 0 || constantAlpha > 255 || sourceRect.IsEmpty())
        return false;
    if (!CanDraw() || dest.IsEmpty())
        return true;
    BitmapPtr image = source;
    if (!perPixel) {
        image = source->Copy();
        if (!image)
            return false;
        for (int y = 0; y < image->Height(); ++y)
            for (int x = 0; x < image->Width(); ++x)
                image->SetArgb(x, y, 0xFF000000u | OpaqueArgb(source->Pixel(x, y)));
        image->MarkDirty();
    }
    cairo_save(mCairo);
    cairo_rectangle(mCairo, dest.left, dest.top, dest.Width(), dest.Height());
    cairo_clip(mCairo);
    cairo_translate(mCairo, dest.left, dest.top);
    cairo_scale(mCairo, double(dest.Width()) / sourceRect.Width(), double(dest.Height()) / sourceRect.Height());
    cairo_set_source_surface(mCairo, image->Surface(), -sourceRect.left, -sourceRect.top);
    cairo_pattern_set_filter(cairo_get_source(mCairo), CAIRO_FILTER_NEAREST);
    cairo_paint_with_alpha(mCairo, constantAlpha / 255.0);
    cairo_restore(mCairo);
    return true;
}

bool DC::TransparentBlt(const Rect& dest, const BitmapPtr& source, const Rect& sourceRect, Colour key)
{
    Record({ .op = DrawCommand::Op::TransparentBlit,
        .rect = dest,
        .source = sourceRect,
        .colour = key,
        .bitmap = source });
    if (!source || sourceRect.IsEmpty())
        return false;
    if (!CanDraw() || dest.IsEmpty())
        return true;
    BitmapPtr keyed = Bitmap::Create(sourceRect.Width(), sourceRect.Height());
    if (!keyed)
        return false;
    for (int y = 0; y < sourceRect.Height(); ++y)
        for (int x = 0; x < sourceRect.Width(); ++x) {
            const Colour c = source->Pixel(sourceRect.left + x, sourceRect.top + y);
            keyed->SetArgb(x, y, c == key ? 0 : OpaqueArgb(c));
        }
    keyed->MarkDirty();
    cairo_save(mCairo);
    cairo_rectangle(mCairo, dest.left, dest.top, dest.Width(), dest.Height());
    cairo_clip(mCairo);
    cairo_translate(mCairo, dest.left, dest.top);
    cairo_scale(mCairo, double(dest.Width()) / sourceRect.Width(), double(dest.Height()) / sourceRect.Height());
    cairo_set_source_surface(mCairo, keyed->Surface(), 0, 0);
    cairo_pattern_set_filter(cairo_get_source(mCairo), CAIRO_FILTER_NEAREST);
    cairo_paint(mCairo);
    cairo_restore(mCairo);
    return true;
}

// Playback --------------------------------------------------------------------------------------

void DC::Play(const std::vector<DrawCommand>& commands, DC& t)
{
    using O = DrawCommand::Op;
    for (const DrawCommand& c : commands) {
        const Point p0 = c.points.empty() ? Point {} : c.points[0];
        switch (c.op) {
        case O::SetTextColour:
            t.SetTextColor(c.colour);
            break;
        case O::SetBkColour:
            t.SetBkColor(c.colour);
            break;
        case O::SetBkMode:
            t.SetBkMode(c.value);
            break;
        case O::SetTextAlign:
            t.SetTextAlign(UINT(c.value));
            break;
        case O::SelectPen:
            t.SelectPen(c.pen);
            break;
        case O::SelectBrush:
            t.SelectBrush(c.brush);
            break;
        case O::SelectFont:
            t.SelectFont(c.font);
            break;
        case O::SetWindowOrg:
            t.SetWindowOrg(p0);
            break;
        case O::SetViewportOrg:
            t.SetViewportOrg(p0);
            break;
        case O::SetWindowExt:
            t.SetMapMode(MM_ANISOTROPIC);
            t.SetWindowExt({ p0.x, p0.y });
            break;
        case O::SetViewportExt:
            t.SetMapMode(MM_ANISOTROPIC);
            t.SetViewportExt({ p0.x, p0.y });
            break;
        case O::SetClip:
            t.SelectClipRegion(c.value ? std::optional<Region>(c.region) : std::nullopt);
            break;
        case O::SetBrushOrg:
            t.SetBrushOrg(p0);
            break;
        case O::SetStretchMode:
            t.SetStretchBltMode(c.value);
            break;
        case O::FillRect:
            t.FillRect(c.rect, c.brush);
            break;
        case O::FrameRect:
            t.FrameRect(c.rect, c.brush);
            break;
        case O::PatBlt:
            t.PatBlt(c.rect, DWORD(c.value));
            break;
        case O::Rectangle:
            t.Rectangle(c.rect);
            break;
        case O::RoundRect:
            t.RoundRect(c.rect, { p0.x, p0.y });
            break;
        case O::Ellipse:
            t.Ellipse(c.rect);
            break;
        case O::Polygon:
            t.Polygon(c.points);
            break;
        case O::PolyPolyline:
            t.PolyPolyline(c.points, c.counts);
            break;
        case O::MoveTo:
            t.MoveTo(p0);
            break;
        case O::LineTo:
            t.LineTo(p0);
            break;
        case O::SetPixel:
            t.SetPixel(p0, c.colour);
            break;
        case O::TextOut:
            t.ExtTextOut(p0, UINT(c.value), c.rect.IsEmpty() ? nullptr : &c.rect, c.text);
            break;
        case O::DrawText: {
            Rect r = c.rect;
            t.DrawText(c.text, r, UINT(c.value));
            break;
        }
        case O::FillRegion:
            t.FillRegion(c.region, c.brush);
            break;
        case O::Blit:
            t.BitBlt(c.rect, c.bitmap, c.source.TopLeft(), DWORD(c.value));
            break;
        case O::StretchBlit:
            t.StretchBlt(c.rect, c.bitmap, c.source, DWORD(c.value));
            break;
        case O::AlphaBlit:
            t.AlphaBlend(c.rect, c.bitmap, c.source, c.value, true);
            break;
        case O::TransparentBlit:
            t.TransparentBlt(c.rect, c.bitmap, c.source, c.colour);
            break;
        case O::MaskBlit:
            break;
        case O::FocusRect:
            t.DrawFocusRect(c.rect);
            break;
        case O::Save:
            t.SaveDC();
            break;
        case O::Restore:
            t.RestoreDC(c.value);
            break;
        case O::SetRop2:
            t.SetROP2(c.value);
            break;
        }
    }
}

// ---- Printer ------------------------------------------------------------------------------

namespace {

// A PDF file written through stdio with every write checked; EndDoc flushes and closes it, so a
// full disk or a device that takes no data fails the document instead of passing unseen. Kept as
// the surface's user data, which closes the file when the surface goes first.
struct PdfFile {
    std::FILE* file = nullptr;
    bool failed = false;
};
const cairo_user_data_key_t kPdfFileKey {};

cairo_status_t WritePdf(void* closure, const unsigned char* data, unsigned length)
{
    auto* f = static_cast<PdfFile*>(closure);
    if (f->failed || !f->file || std::fwrite(data, 1, length, f->file) != length) {
        f->failed = true;
        return CAIRO_STATUS_WRITE_ERROR;
    }
    return CAIRO_STATUS_SUCCESS;
}

void ClosePdf(void* closure)
{
    auto* f = static_cast<PdfFile*>(closure);
    if (f->file)
        std::fclose(f->file);
    delete f;
}

} // namespace

PrinterDC::PrinterDC(std::string path, Size pageSizePixels, int dpi)
    : mPath(std::move(path))
    , mPage(pageSizePixels)
    , mDpi(dpi > 0 ? dpi : 300)
{
    mCaps = { DT_RASPRINTER, 24, mDpi, mDpi, pageSizePixels };
    mExtent = pageSizePixels;
}

PrinterDC::PrinterDC(std::shared_ptr<PrintTarget> target, Size pageSizePixels, int dpi)
    : PrinterDC(std::string(), pageSizePixels, dpi)
{
    mTarget = std::move(target);
    if (mTarget)
        mPath = mTarget->Name();
}

PrinterDC::~PrinterDC()
{
    DetachSurface();
    if (mSurface) {
        // A document never ended delivers nothing.
        cairo_surface_destroy(mSurface);
        if (mTarget)
            mTarget->End(false);
    }
}

bool PrinterDC::StartDoc(const std::wstring& title)
{
    if (mSurface || mPage.cx < 1 || mPage.cy < 1)
        return false;
    const double scale = 72.0 / mDpi;
    if (mTarget) {
        // The target keeps the surface; this context only draws on it.
        mSurface = mTarget->Begin(title, mPage.cx * scale, mPage.cy * scale);
        if (!mSurface || cairo_surface_status(mSurface) != CAIRO_STATUS_SUCCESS) {
            vx::log::WriteLine("printer: cannot start a document on " + mPath);
            if (mSurface)
                mTarget->End(false);
            mSurface = nullptr;
            return false;
        }
        cairo_surface_reference(mSurface);
    } else {
        auto* file = new PdfFile { std::fopen(mPath.c_str(), "wb") };
        if (!file->file) {
            vx::log::WriteLine("printer: cannot write " + mPath);
            ClosePdf(file);
            return false;
        }
        mSurface = cairo_pdf_surface_create_for_stream(WritePdf, file, mPage.cx * scale, mPage.cy * scale);
        if (cairo_surface_status(mSurface) != CAIRO_STATUS_SUCCESS
            || cairo_surface_set_user_data(mSurface, &kPdfFileKey, file, ClosePdf) != CAIRO_STATUS_SUCCESS) {
            vx::log::WriteLine("printer: cannot write " + mPath);
            cairo_surface_destroy(mSurface);
            ClosePdf(file);
            mSurface = nullptr;
            return false;
        }
        cairo_pdf_surface_set_metadata(mSurface, CAIRO_PDF_METADATA_TITLE, Utf8(title).c_str());
    }
    cairo_surface_set_fallback_resolution(mSurface, mDpi, mDpi);
    cairo_surface_set_device_scale(mSurface, scale, scale);
    AttachSurface(mSurface);
    return true;
}

bool PrinterDC::StartPage()
{
    if (!mSurface || mInPage)
        return false;
    mInPage = true;
    return true;
}

bool PrinterDC::EndPage()
{
    if (!mSurface || !mInPage)
        return false;
    cairo_show_page(Cairo());
    mInPage = false;
    ++mPages;
    return cairo_status(Cairo()) == CAIRO_STATUS_SUCCESS;
}

bool PrinterDC::EndDoc()
{
    if (!mSurface)
        return false;
    if (mInPage)
        EndPage();
    DetachSurface();
    if (mTarget) {
        cairo_surface_flush(mSurface);
        const bool drawn = cairo_surface_status(mSurface) == CAIRO_STATUS_SUCCESS;
        cairo_surface_destroy(mSurface);
        mSurface = nullptr;
        return mTarget->End(drawn) && drawn;
    }
    cairo_surface_finish(mSurface);
    bool ok = cairo_surface_status(mSurface) == CAIRO_STATUS_SUCCESS;
    if (auto* file = static_cast<PdfFile*>(cairo_surface_get_user_data(mSurface, &kPdfFileKey)); file && file->file) {
        ok = ok && !file->failed && std::fflush(file->file) == 0;
        if (std::fclose(file->file) != 0)
            ok = false;
        file->file = nullptr;
    }
    if (!ok)
        vx::log::WriteLine("printer: cannot write " + mPath);
    cairo_surface_destroy(mSurface);
    mSurface = nullptr;
    return ok;
}

} // namespace vx::ui
