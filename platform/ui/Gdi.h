#pragma once
// Drawing: bitmaps (ARGB32 images in cairo's layout), pens, brushes, fonts and device contexts.
// A device context draws on a bitmap (raster), on a PDF document (printer) or nowhere (a
// recording context); any of them can also record its commands, which stands in for metafiles
// and print previews and lets tests read what was drawn. Coordinates follow the original
// platform: logical units mapped through the window and viewport origins and extents, rectangles
// with exclusive right and bottom edges, lines that leave out their last pixel.
#include <array>
#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <span>
#include <string>
#include <vector>

#include "com/HResult.h"
#include "ui/Geometry.h"
#include "ui/Region.h"

typedef struct _cairo_surface cairo_surface_t;
typedef struct _cairo cairo_t;

namespace vx::ui {

// ---- Bitmaps ------------------------------------------------------------------------------

class Bitmap;
using BitmapPtr = std::shared_ptr<Bitmap>;

class Bitmap {
public:
    ~Bitmap();
    Bitmap(const Bitmap&) = delete;
    Bitmap& operator=(const Bitmap&) = delete;

    // A bitmap of the given size, cleared to transparent black; null for a size below 1 or
    // when the memory cannot be had (the caller decides what that means).
    static BitmapPtr Create(int width, int height, bool monochrome = false);
    // Decodes a PNG; null when the bytes are not one.
    static BitmapPtr FromPng(std::span<const std::uint8_t> bytes);
    // Rasterises an SVG document at exactly width x height pixels; null on bad input or size.
    static BitmapPtr FromSvg(std::span<const std::uint8_t> bytes, int width, int height);

    int Width() const { return mWidth; }
    int Height() const { return mHeight; }
    Size GetSize() const { return { mWidth, mHeight }; }
    // Monochrome bitmaps hold only black and white (stamps and masks).
    bool IsMonochrome() const { return mMonochrome; }

    // Premultiplied 0xAARRGGBB, as cairo keeps it. Out of range reads give 0.
    std::uint32_t Argb(int x, int y) const;
    void SetArgb(int x, int y, std::uint32_t argb);
    // The colour of a pixel without its alpha (0x00BBGGRR).
    Colour Pixel(int x, int y) const;
    std::uint8_t Alpha(int x, int y) const { return static_cast<std::uint8_t>(Argb(x, y) >> 24); }

    std::vector<std::uint8_t> EncodePng() const;
    bool SavePng(const std::string& path) const;
    BitmapPtr Copy() const;

    cairo_surface_t* Surface() const { return mSurface; }
    // Tell cairo that pixels were written directly.
    void MarkDirty();

private:
    Bitmap(cairo_surface_t* surface, bool monochrome);
    cairo_surface_t* mSurface = nullptr;
    int mWidth = 0, mHeight = 0;
    bool mMonochrome = false;
};

// ---- Drawing objects ----------------------------------------------------------------------

enum PenStyle : int { PS_SOLID = 0, PS_DASH = 1, PS_DOT = 2, PS_DASHDOT = 3, PS_NULL = 5, PS_ALTERNATE = 8 };
enum PenCap : int { PS_ENDCAP_ROUND = 0x000, PS_ENDCAP_SQUARE = 0x100, PS_ENDCAP_FLAT = 0x200 };

struct Pen {
    int style = PS_SOLID;
    int width = 0; // 0 or 1 with !geometric: a cosmetic one-pixel pen
    Colour colour {};
    bool geometric = false;
    int cap = PS_ENDCAP_ROUND;

    static Pen Solid(Colour c, int width = 0) { return { PS_SOLID, width, c, false, PS_ENDCAP_ROUND }; }
    static Pen Null() { return { PS_NULL, 0, {}, false, PS_ENDCAP_ROUND }; }
    bool IsCosmetic() const { return !geometric && width <= 1; }
    friend bool operator==(const Pen&, const Pen&) = default;
};

enum class BrushStyle { Solid, Null, Hatched, Pattern };
enum HatchStyle : int {
    HS_HORIZONTAL = 0,
    HS_VERTICAL = 1,
    HS_FDIAGONAL = 2,
    HS_BDIAGONAL = 3,
    HS_CROSS = 4,
    HS_DIAGCROSS = 5
};

struct Brush {
    BrushStyle style = BrushStyle::Solid;
    Colour colour {};
    int hatch = 0;
    BitmapPtr pattern; // a pattern brush tiles this bitmap from the brush origin

    static Brush Solid(Colour c) { return { BrushStyle::Solid, c, 0, nullptr }; }
    static Brush Null() { return { BrushStyle::Null, {}, 0, nullptr }; }
    static Brush Hatched(int hatch, Colour c) { return { BrushStyle::Hatched, c, hatch, nullptr }; }
    static Brush Pattern(BitmapPtr bitmap) { return { BrushStyle::Pattern, {}, 0, std::move(bitmap) }; }
    friend bool operator==(const Brush&, const Brush&) = default;
};

constexpr int FW_NORMAL = 400;
constexpr int FW_BOLD = 700;

// A logical font. Height < 0: the character (em) height in logical units; > 0: the cell height
// (ascent + descent); 0: a default of 13 pixels. Escapement in tenths of a degree, anticlockwise.
struct Font {
    std::wstring face = L"MS Shell Dlg 2";
    int height = 0;
    int width = 0;
    int escapement = 0;
    int orientation = 0;
    int weight = FW_NORMAL;
    bool italic = false;
    bool underline = false;
    int charSet = 1;
    int outPrecision = 0;
    int clipPrecision = 0;
    int quality = 0;
    int pitchAndFamily = 0;
    static Font OfHeight(int height, int weight = FW_NORMAL)
    {
        Font f;
        f.height = height;
        f.weight = weight;
        return f;
    }
    friend bool operator==(const Font&, const Font&) = default;
};

// The font family that draws a face name here (the dialog and GUI faces map onto DejaVu Sans).
std::string FontFamilyFor(const std::wstring& face);

struct TextMetrics {
    int height = 0; // ascent + descent
    int ascent = 0;
    int descent = 0;
    int internalLeading = 0;
    int externalLeading = 0;
    int aveCharWidth = 0;
    int maxCharWidth = 0;
};

// ---- Device information -------------------------------------------------------------------

constexpr int DT_PLOTTER = 0;
constexpr int DT_RASDISPLAY = 1;
constexpr int DT_RASPRINTER = 2;
constexpr int DT_METAFILE = 5;

enum DeviceCapIndex : int {
    TECHNOLOGY = 2,
    HORZSIZE = 4,
    VERTSIZE = 6,
    HORZRES = 8,
    VERTRES = 10,
    BITSPIXEL = 12,
    PLANES = 14,
    LOGPIXELSX = 88,
    LOGPIXELSY = 90,
    PHYSICALWIDTH = 110,
    PHYSICALHEIGHT = 111,
    RASTERCAPS = 38
};

struct DeviceCaps {
    int technology = DT_RASDISPLAY;
    int bitsPerPixel = 32;
    int dpiX = 96;
    int dpiY = 96;
    Size resolution {}; // pixels; 0 = the target's size
};

// What a raster context on the screen reports (tests change the depth, technology or DPI).
DeviceCaps GetScreenCaps();
void SetScreenCaps(const DeviceCaps& caps);

// ---- System colours -----------------------------------------------------------------------

enum SysColourIndex : int {
    COLOR_SCROLLBAR = 0,
    COLOR_BACKGROUND = 1,
    COLOR_ACTIVECAPTION = 2,
    COLOR_INACTIVECAPTION = 3,
    COLOR_MENU = 4,
    COLOR_WINDOW = 5,
    COLOR_WINDOWFRAME = 6,
    COLOR_MENUTEXT = 7,
    COLOR_WINDOWTEXT = 8,
    COLOR_CAPTIONTEXT = 9,
    COLOR_ACTIVEBORDER = 10,
    COLOR_INACTIVEBORDER = 11,
    COLOR_APPWORKSPACE = 12,
    COLOR_HIGHLIGHT = 13,
    COLOR_HIGHLIGHTTEXT = 14,
    COLOR_BTNFACE = 15,
    COLOR_BTNSHADOW = 16,
    COLOR_GRAYTEXT = 17,
    COLOR_BTNTEXT = 18,
    COLOR_INACTIVECAPTIONTEXT = 19,
    COLOR_BTNHIGHLIGHT = 20,
    COLOR_3DDKSHADOW = 21,
    COLOR_3DLIGHT = 22,
    COLOR_INFOTEXT = 23,
    COLOR_INFOBK = 24,
    COLOR_HOTLIGHT = 26,
    COLOR_GRADIENTACTIVECAPTION = 27,
    COLOR_GRADIENTINACTIVECAPTION = 28,
    COLOR_MENUHILIGHT = 29,
    COLOR_MENUBAR = 30,
    kSysColourCount = 31
};
Colour GetSysColor(int index);
// Replaces the table (tests; a theme change). Sends nothing: callers post WM_SYSCOLORCHANGE.
void SetSysColors(std::span<const std::pair<int, Colour>> colours);
void ResetSysColors();

// ---- Recorded commands --------------------------------------------------------------------

// One drawing command as a recording context keeps it. `Describe` gives a stable one-line text
// (tests compare those); the fields let a recording be played into another context.
struct DrawCommand {
    enum class Op {
        SetTextColour,
        SetBkColour,
        SetBkMode,
        SetTextAlign,
        SelectPen,
        SelectBrush,
        SelectFont,
        SetWindowOrg,
        SetViewportOrg,
        SetWindowExt,
        SetViewportExt,
        SetClip,
        SetBrushOrg,
        SetStretchMode,
        FillRect,
        FrameRect,
        PatBlt,
        Rectangle,
        RoundRect,
        Ellipse,
        Polygon,
        PolyPolyline,
        LineTo,
        MoveTo,
        SetPixel,
        TextOut,
        DrawText,
        FillRegion,
        Blit,
        StretchBlit,
        AlphaBlit,
        TransparentBlit,
        MaskBlit,
        FocusRect,
        Save,
        Restore,
        SetRop2
    };
    Op op {};
    Rect rect {};
    Rect source {};
    std::vector<Point> points;
    std::vector<int> counts;
    std::wstring text;
    int value = 0; // a mode, flags, raster operation or alpha
    Colour colour {};
    Pen pen {};
    Brush brush {};
    Font font {};
    BitmapPtr bitmap;
    BitmapPtr mask;
    Region region;

    std::string Describe() const;
};

// ---- Device contexts ----------------------------------------------------------------------

constexpr int TRANSPARENT = 1;
constexpr int OPAQUE = 2;

constexpr UINT TA_LEFT = 0, TA_RIGHT = 2, TA_CENTER = 6, TA_TOP = 0, TA_BOTTOM = 8, TA_BASELINE = 24;

constexpr UINT ETO_OPAQUE = 0x0002;
constexpr UINT ETO_CLIPPED = 0x0004;

constexpr UINT DT_TOP = 0x0000, DT_LEFT = 0x0000, DT_CENTER = 0x0001, DT_RIGHT = 0x0002, DT_VCENTER = 0x0004,
               DT_BOTTOM = 0x0008, DT_WORDBREAK = 0x0010, DT_SINGLELINE = 0x0020, DT_EXPANDTABS = 0x0040,
               DT_NOCLIP = 0x0100, DT_CALCRECT = 0x0400, DT_NOPREFIX = 0x0800, DT_END_ELLIPSIS = 0x8000;

// Raster operations that blits understand.
constexpr DWORD SRCCOPY = 0x00CC0020;
constexpr DWORD SRCAND = 0x008800C6;
constexpr DWORD SRCPAINT = 0x00EE0086;
constexpr DWORD SRCINVERT = 0x00660046;
constexpr DWORD PATCOPY = 0x00F00021;
constexpr DWORD BLACKNESS = 0x00000042;
constexpr DWORD WHITENESS = 0x00FF0062;
constexpr DWORD DSTINVERT = 0x00550009;
// The brush where the source is black, the target where it is white (stamping through a mask).
constexpr DWORD ROP_PSDPXAX = 0x00B8074A;

// Mix modes of pens: R2_NOT inverts what the pen covers (drawing the same shape twice restores it).
constexpr int R2_NOT = 6, R2_COPYPEN = 13;

constexpr int BLACKONWHITE = 1, WHITEONBLACK = 2, COLORONCOLOR = 3, HALFTONE = 4;
constexpr int MM_TEXT = 1, MM_ANISOTROPIC = 8;

class DC {
public:
    // A raster context over a bitmap (device information from the screen unless given).
    explicit DC(BitmapPtr target, std::optional<DeviceCaps> caps = {});
    virtual ~DC();
    DC(const DC&) = delete;
    DC& operator=(const DC&) = delete;

    // A context that draws nowhere and records everything (a metafile stand-in). `caps` is the
    // device it stands for (a metafile is made for a reference device).
    static std::unique_ptr<DC> CreateRecording(Size extent, DeviceCaps caps = { DT_METAFILE, 32, 96, 96, {} });
    // A context drawing on what `cr` draws on (a print job's page), its device units mapped through
    // cr's present transformation.
    static std::unique_ptr<DC> OverCairo(cairo_t* cr, DeviceCaps caps, Size extent);
    // A memory context "compatible with" another (or the screen): no bitmap until one is selected.
    static std::unique_ptr<DC> CreateMemory(const DC* compatible = nullptr);

    // Starts keeping every command also on a drawing context (spy); Commands() reads them.
    void StartRecording();
    bool IsRecording() const { return mRecording; }
    const std::vector<DrawCommand>& Commands() const { return mCommands; }
    std::vector<std::string> DescribeCommands() const;
    void ClearCommands() { mCommands.clear(); }
    // Replays recorded commands into `target` (as PlayEnhMetaFile does).
    static void Play(const std::vector<DrawCommand>& commands, DC& target);

    // The bitmap drawn on (null for recordings and printers). A memory context selects one.
    BitmapPtr GetBitmap() const { return mTarget; }
    BitmapPtr SelectBitmap(BitmapPtr bitmap); // returns the previous one
    bool HasTarget() const { return mCairo != nullptr; }

    int GetDeviceCaps(int index) const;
    const DeviceCaps& Caps() const { return mCaps; }
    void SetCaps(const DeviceCaps& caps) { mCaps = caps; }

    // State.
    Colour SetTextColor(Colour c);
    Colour GetTextColor() const { return mTextColour; }
    Colour SetBkColor(Colour c);
    Colour GetBkColor() const { return mBkColour; }
    int SetBkMode(int mode);
    int GetBkMode() const { return mBkMode; }
    UINT SetTextAlign(UINT align);
    UINT GetTextAlign() const { return mTextAlign; }
    Pen SelectPen(const Pen& pen);
    const Pen& GetPen() const { return mPen; }
    Brush SelectBrush(const Brush& brush);
    const Brush& GetBrush() const { return mBrush; }
    Font SelectFont(const Font& font);
    const Font& GetFont() const { return mFont; }
    Point SetBrushOrg(Point origin);
    int SetROP2(int mode);
    int GetROP2() const { return mRop2; }
    int SetStretchBltMode(int mode);
    int GetStretchBltMode() const { return mStretchMode; }
    int SaveDC();
    bool RestoreDC(int saved); // -1: the last one

    // Mapping: device = (logical - windowOrg) * viewportExt / windowExt + viewportOrg.
    int SetMapMode(int mode);
    int GetMapMode() const { return mMapMode; }
    Point SetWindowOrg(Point p);
    Point GetWindowOrg() const { return mWindowOrg; }
    Point SetViewportOrg(Point p);
    Point GetViewportOrg() const { return mViewportOrg; }
    Size SetWindowExt(Size s);
    Size GetWindowExt() const { return mWindowExt; }
    Size SetViewportExt(Size s);
    Size GetViewportExt() const { return mViewportExt; }
    Point LogicalToDevice(Point p) const;
    Point DeviceToLogical(Point p) const;

    // Clipping in device coordinates; an empty optional removes the clip.
    void SelectClipRegion(std::optional<Region> region);
    void IntersectClipRect(const Rect& logical);
    void ExcludeClipRect(const Rect& logical);
    std::optional<Region> GetClipRegion() const { return mClip; }
    Rect GetClipBox() const; // logical

    // Drawing.
    void FillRect(const Rect& rect, const Brush& brush);
    void FillSolidRect(const Rect& rect, Colour colour) { FillRect(rect, Brush::Solid(colour)); }
    void FrameRect(const Rect& rect, const Brush& brush);
    bool PatBlt(const Rect& rect, DWORD rop);
    void Rectangle(const Rect& rect);
    void RoundRect(const Rect& rect, Size corner);
    void Ellipse(const Rect& rect);
    void Polygon(std::span<const Point> points);
    Point MoveTo(Point p);
    void LineTo(Point p);
    Point GetCurrentPosition() const { return mCurrent; }
    void Polyline(std::span<const Point> points);
    // Several polylines in one call; counts[i] points each.
    void PolyPolyline(std::span<const Point> points, std::span<const int> counts);
    void SetPixel(Point p, Colour c);
    Colour GetPixel(Point p) const; // CLR_INVALID outside
    void FillRegion(const Region& logical, const Brush& brush);
    void DrawFocusRect(const Rect& rect);

    // Text. `rect` may be null; ETO_OPAQUE fills it with the background colour first.
    void ExtTextOut(Point p, UINT options, const Rect* rect, const std::wstring& text);
    void TextOut(Point p, const std::wstring& text) { ExtTextOut(p, 0, nullptr, text); }
    // Returns the height of the text drawn; DT_CALCRECT only measures and adjusts `rect`.
    int DrawText(const std::wstring& text, Rect& rect, UINT format);
    Size GetTextExtent(const std::wstring& text) const;
    TextMetrics GetTextMetrics() const;

    // Blits from a bitmap (a source context's GetBitmap()). Source rectangles are in pixels.
    bool BitBlt(const Rect& dest, const BitmapPtr& source, Point sourceOrigin, DWORD rop = SRCCOPY);
    bool StretchBlt(const Rect& dest, const BitmapPtr& source, const Rect& sourceRect, DWORD rop = SRCCOPY);
    // Constant alpha (0-255) over the source's own per-pixel alpha when `perPixel`.
    bool AlphaBlend(
        const Rect& dest, const BitmapPtr& source, const Rect& sourceRect, int constantAlpha, bool perPixel);
    // Leaves out the source pixels of the key colour.
    bool TransparentBlt(const Rect& dest, const BitmapPtr& source, const Rect& sourceRect, Colour key);

    cairo_t* Cairo() const { return mCairo; }
    // Flushes drawing to the target (before pixels are read or a page is finished).
    void Flush();

protected:
    DC(); // a recording context
    void AttachSurface(cairo_surface_t* surface);
    void DetachSurface();
    void ApplyState(); // transform and clip into cairo
    DeviceCaps mCaps {};
    Size mExtent {}; // recordings and printers

private:
    struct Saved;
    void Record(DrawCommand command);
    void DrawCosmeticPolyline(std::span<const Point> points, bool closed);
    void SetSourceBrush(const Brush& brush);
    void FillPath(const Brush& brush);
    void StrokePath(bool cosmeticAsPixels);
    bool CanDraw() const { return mCairo != nullptr; }
    void PixelFill(const Region& deviceArea, const std::function<std::uint32_t(int, int, std::uint32_t)>& shade);
    Rect ToDevice(const Rect& logical) const;
    bool IsPlainTranslation() const;

    BitmapPtr mTarget;
    cairo_t* mCairo = nullptr;
    bool mRecording = false;
    std::vector<DrawCommand> mCommands;

    Colour mTextColour {};
    Colour mBkColour { 0xFFFFFF };
    int mBkMode = OPAQUE;
    UINT mTextAlign = TA_LEFT | TA_TOP;
    Pen mPen {};
    Brush mBrush = Brush::Solid({ 0xFFFFFF });
    Font mFont {};
    Point mBrushOrg {};
    int mStretchMode = BLACKONWHITE;
    int mRop2 = R2_COPYPEN;
    int mMapMode = MM_TEXT;
    Point mWindowOrg {}, mViewportOrg {};
    Size mWindowExt { 1, 1 }, mViewportExt { 1, 1 };
    Point mCurrent {};
    std::array<double, 6> mBase { 1, 0, 0, 1, 0, 0 }; // device units to the target's (cairo order)
    std::optional<Region> mClip;
    std::vector<std::shared_ptr<Saved>> mSaved;
};

constexpr std::uint32_t CLR_INVALID = 0xFFFFFFFF;

// Where a printer context's pages go when not to a PDF file: a printer chosen in a print dialog.
// Begin gives the surface to draw on for a document of pages `pagePoints` large (1/72 inch); End
// delivers what was drawn (`ok` false: the document failed, deliver nothing) and tells whether it
// went out.
class PrintTarget {
public:
    virtual ~PrintTarget() = default;
    virtual cairo_surface_t* Begin(const std::wstring& title, double widthPoints, double heightPoints) = 0;
    virtual bool End(bool ok) = 0;
    // The place the pages go, for messages ("Print to File", a printer's name).
    virtual std::string Name() const = 0;
};

// A printer: a context over a PDF document written to a file (or a print target's surface), one
// page per StartPage/EndPage. Logical units are device pixels of `dpi` dots per inch; pages are
// `pageSize` in those units.
class PrinterDC : public DC {
public:
    PrinterDC(std::string path, Size pageSizePixels, int dpi = 300);
    PrinterDC(std::shared_ptr<PrintTarget> target, Size pageSizePixels, int dpi = 300);
    ~PrinterDC() override;
    bool StartDoc(const std::wstring& title);
    bool StartPage();
    bool EndPage();
    bool EndDoc();
    const std::string& Path() const { return mPath; }
    int PagesWritten() const { return mPages; }

private:
    std::string mPath;
    std::shared_ptr<PrintTarget> mTarget;
    Size mPage;
    int mDpi;
    cairo_surface_t* mSurface = nullptr;
    bool mInPage = false;
    int mPages = 0;
};

// MulDiv with the original platform's rounding: a * b / c rounded half away from zero, -1 when
// c is 0 or the result does not fit in 32 bits.
int MulDiv(int a, int b, int c);

} // namespace vx::ui
