#include "plotcontrol/svg/PlotOutput.h"

#include <algorithm>
#include <cerrno>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <filesystem>

#include <cairo-pdf.h>
#include <cairo.h>
#include <fcntl.h>
#include <gdk-pixbuf/gdk-pixbuf.h>
#include <gif_lib.h>
#include <pwd.h>
#include <sys/stat.h>
#include <unistd.h>

#include "foundation/DateTime.h"
#include "foundation/FormatStream.h"
#include "log/Log.h"
#include "text/Unicode.h"

namespace KEL {

using vx::ui::DC;
using vx::ui::Point;
using vx::ui::Rect;

namespace {

// A drawing context over a cairo surface of our own (a PDF written to memory).
class SurfaceDC : public DC {
public:
    SurfaceDC(cairo_surface_t* surface, vx::ui::Size extent)
    {
        mCaps = { vx::ui::DT_METAFILE, 32, 96, 96, extent };
        mExtent = extent;
        AttachSurface(surface);
    }
    ~SurfaceDC() override { DetachSurface(); }
};

cairo_status_t AppendBytes(void* closure, const unsigned char* data, unsigned int length)
{
    auto* out = static_cast<std::vector<std::uint8_t>*>(closure);
    out->insert(out->end(), data, data + length);
    return CAIRO_STATUS_SUCCESS;
}

const String& PrintedOnFormat()
{
    static const String format(std::string("Printed on %1 for %2"));
    return format;
}

const String& PageFormat()
{
    static const String format(std::string("Page %1 of %2"));
    return format;
}

std::wstring UserName()
{
    std::vector<char> buffer(4096);
    passwd entry {};
    passwd* found = nullptr;
    if (getpwuid_r(geteuid(), &entry, buffer.data(), buffer.size(), &found) != 0 || !found || !found->pw_name)
        return {};
    const std::string name = found->pw_name;
    return std::wstring(name.begin(), name.end()).substr(0, 255);
}

std::wstring Widen(const std::string& utf8)
{
    std::wstring out;
    const auto* p = reinterpret_cast<const unsigned char*>(utf8.data());
    const auto* end = p + utf8.size();
    while (p < end) {
        char32_t cp = 0;
        out += vx::text::DecodeUtf8(p, end, cp) ? static_cast<wchar_t>(cp) : L'\uFFFD';
    }
    return out;
}

// A font of `points` points as the page draws it: sized in 1/300 inch for the print quality,
// shown in the printer's dots.
vx::ui::Font PageFont(const std::string& family, int points, int logPixelsY, double scale)
{
    const double size300 = std::floor(vx::ui::MulDiv(points, logPixelsY, 72) * scale);
    vx::ui::Font font;
    font.face = Widen(family);
    font.height = -std::max(1, static_cast<int>(std::lround(size300 * logPixelsY / 300.0)));
    return font;
}

void ShowError(vx::ui::HWND owner, const std::string& text, const wchar_t* caption)
{
    vx::log::WriteLine(std::string("plot output: ") + text);
    vx::ui::MessageBox(owner, Widen(text), caption, vx::ui::MB_OK | vx::ui::MB_ICONERROR);
}

} // namespace

// ---- Printing -----------------------------------------------------------------------------

Rect FitPicture(float w, float h, int W, int H)
{
    if (!(w > 0 && h > 0 && std::isfinite(w) && std::isfinite(h)) || W <= 0 || H <= 0)
        return {};
    if (double(w) / h <= double(W) / H) {
        const int width = static_cast<int>(std::floor(double(H) * w / h + 0.5));
        const int left = (W - width) / 2;
        return { left, 0, left + width, H };
    }
    const int height = static_cast<int>(std::floor(double(W) * h / w + 0.5));
    const int top = (H - height) / 2;
    return { 0, top, W, top + height };
}

void PlayMetafile(const SvgMetafile& picture, DC& target, const Rect& dest)
{
    if (picture.size.cx <= 0 || picture.size.cy <= 0 || dest.IsEmpty())
        return;
    const int saved = target.SaveDC();
    target.SetMapMode(vx::ui::MM_ANISOTROPIC);
    target.SetWindowOrg({ 0, 0 });
    target.SetWindowExt(picture.size);
    target.SetViewportOrg(dest.TopLeft());
    target.SetViewportExt({ dest.Width(), dest.Height() });
    const auto clipTo = [&](const std::optional<vx::ui::Region>& inPicture) {
        vx::ui::Region area(dest);
        if (inPicture) {
            std::vector<Rect> rects;
            for (const Rect& r : inPicture->Rects()) {
                const Point a = target.LogicalToDevice(r.TopLeft()), b = target.LogicalToDevice({ r.right, r.bottom });
                rects.push_back({ a.x, a.y, b.x, b.y });
            }
            area = vx::ui::Region::Combine(area, vx::ui::Region::FromRects(rects), vx::ui::RegionOp::And);
        }
        target.SelectClipRegion(area);
    };
    clipTo(std::nullopt);
    // Clip regions are kept in the picture's pixels: they are scaled like everything else.
    std::vector<vx::ui::DrawCommand> one(1);
    for (const vx::ui::DrawCommand& command : picture.commands) {
        if (command.op == vx::ui::DrawCommand::Op::SetClip) {
            clipTo(command.value ? std::optional<vx::ui::Region>(command.region) : std::nullopt);
            continue;
        }
        one[0] = command;
        DC::Play(one, target);
    }
    target.SelectClipRegion(std::nullopt);
    target.RestoreDC(saved);
}

bool ChoosePlotPrinter(vx::ui::HWND owner, PlotPrintDialog& dialog)
{
    vx::ui::PrinterChoice choice;
    choice.file = dialog.outputPath;
    choice.page = dialog.page;
    choice.dpi = dialog.deviceDpi;
    choice.quality = dialog.printQuality;
    if (!vx::ui::ChoosePrinter(owner, dialog.title, choice))
        return false;
    dialog.target = choice.target;
    dialog.outputPath = choice.file;
    dialog.page = choice.page;
    dialog.deviceDpi = choice.dpi;
    dialog.printQuality = choice.quality;
    return true;
}

PlotPrintResult PrintPlotSvg(PlotPrintDialog& dialog, PrintableSvgRenderer& renderer)
{
    const int quality = dialog.printQuality > 0 ? dialog.printQuality : dialog.deviceDpi;
    if (quality <= 0)
        return { false, "The printer reports no resolution" };
    const double scale = 300.0 / quality;
    dialog.printer = dialog.target
        ? std::make_unique<vx::ui::PrinterDC>(dialog.target, dialog.page, dialog.deviceDpi)
        : std::make_unique<vx::ui::PrinterDC>(dialog.outputPath, dialog.page, dialog.deviceDpi);
    vx::ui::PrinterDC& dc = *dialog.printer;
    dc.SetMapMode(vx::ui::MM_TEXT);
    const int W = dc.GetDeviceCaps(vx::ui::HORZRES), H = dc.GetDeviceCaps(vx::ui::VERTRES);
    const Rect place = FitPicture(renderer.Width(), renderer.Height(), W, H);

    if (!dc.StartDoc(dialog.title) || !dc.StartPage()) {
        dialog.printer.reset();
        return { false,
            "The printer could not start the document \"" + vx::text::UnitsToUtf8(dialog.title) + "\" ("
                + (dialog.target ? dialog.target->Name() : dialog.outputPath) + ")" };
    }
    if (SvgMetafilePtr picture = renderer.GetMetafileHandle())
        PlayMetafile(*picture, dc, place);

    const int dpiY = dc.GetDeviceCaps(vx::ui::LOGPIXELSY);
    const std::string& family = renderer.FontFamily();
    const vx::ui::Font text10 = PageFont(family, 10, dpiY, scale);
    const vx::ui::Font title16 = PageFont(family, 16, dpiY, scale);
    const vx::ui::Font footer9 = PageFont(family, 9, dpiY, scale);
    dc.SetTextColor(vx::ui::Colour::Rgb(0, 0, 0));
    dc.SetBkMode(vx::ui::TRANSPARENT);

    dc.SelectFont(title16);
    dc.SetTextAlign(vx::ui::TA_LEFT | vx::ui::TA_TOP);
    const int titleWidth = dc.GetTextExtent(dialog.title).cx;
    dc.TextOut({ static_cast<int>((W - titleWidth) * 0.5), static_cast<int>(0.02 * H) }, dialog.title);

    double localSeconds = 0;
    std::int64_t offset = 0;
    GetPreciseLocalTime(localSeconds, offset);
    String date, time;
    FormatDate(localSeconds, date);
    FormatTimeOfDay(std::fmod(localSeconds, 86400.0), time);
    OFormatStringStream printedOn(PrintedOnFormat());
    printedOn << (date.ToWString() + L" " + time.ToWString()) << UserName();
    OFormatStringStream page(PageFormat());
    page << 1 << 1;
    const std::wstring left = printedOn.Str().ToWString(), right = page.Str().ToWString();

    dc.SelectFont(footer9);
    dc.SetTextAlign(vx::ui::TA_LEFT | vx::ui::TA_BOTTOM);
    dc.TextOut({ static_cast<int>(0.02 * W), static_cast<int>(0.98 * H) }, left);
    dc.SelectFont(text10);
    const int rightWidth = dc.GetTextExtent(right).cx;
    dc.SelectFont(footer9);
    dc.TextOut({ static_cast<int>(W - rightWidth - 0.02 * W), static_cast<int>(0.98 * H) }, right);

    const bool pageDone = dc.EndPage();
    const bool docDone = dc.EndDoc();
    dialog.printer.reset();
    if (!pageDone || !docDone)
        return { false,
            "The printer could not finish the document (" + (dialog.target ? dialog.target->Name() : dialog.outputPath)
                + ")" };
    return { true, {} };
}

PlotPrintResult PrintPlotFromSvg(const std::string& svg, PlotPrintDialog& dialog)
{
    PlotPrintResult result;
    try {
        std::unique_ptr<PrintableSvgRenderer> renderer = RenderPrintableSvg(svg, {}, {});
        result = PrintPlotSvg(dialog, *renderer);
    } catch (const std::exception& e) {
        result = { false, e.what() };
    }
    if (!result.printed && result.error.empty())
        result.error = "The plot could not be printed";
    return result;
}

// ---- Clipboard ----------------------------------------------------------------------------

unsigned SvgClipboardFormat()
{
    static const unsigned format = vx::ui::RegisterClipboardFormat(L"image/svg+xml;utf8");
    return format;
}

std::vector<std::uint8_t> MetafileToPdf(const SvgMetafile& picture)
{
    std::vector<std::uint8_t> bytes;
    const int w = std::max(1, picture.size.cx), h = std::max(1, picture.size.cy);
    cairo_surface_t* surface = cairo_pdf_surface_create_for_stream(AppendBytes, &bytes, w * 0.75, h * 0.75);
    cairo_surface_set_device_scale(surface, 0.75, 0.75); // pixels at 96 dpi onto points
    {
        SurfaceDC dc(surface, { w, h });
        PlayMetafile(picture, dc, { 0, 0, picture.size.cx, picture.size.cy });
        dc.Flush();
    }
    cairo_surface_finish(surface);
    const bool ok = cairo_surface_status(surface) == CAIRO_STATUS_SUCCESS;
    cairo_surface_destroy(surface);
    if (!ok)
        bytes.clear();
    return bytes;
}

unsigned PngClipboardFormat()
{
    static const unsigned format = vx::ui::RegisterClipboardFormat(L"PNG");
    return format;
}

namespace {
// A PNG is made of a picture of at least a pixel and at most 16384 pixels a side.
bool CanMakePng(const SvgMetafile& picture)
{
    return picture.size.cx > 0 && picture.size.cy > 0 && picture.size.cx <= 16384 && picture.size.cy <= 16384;
}
} // namespace

std::vector<std::uint8_t> MetafileToPng(const SvgMetafile& picture)
{
    std::vector<std::uint8_t> bytes;
    if (!CanMakePng(picture))
        return bytes;
    cairo_surface_t* surface = cairo_image_surface_create(CAIRO_FORMAT_ARGB32, picture.size.cx, picture.size.cy);
    {
        // Laid onto white: pasted into a dark document the plot's black text stays readable.
        cairo_t* cr = cairo_create(surface);
        cairo_set_source_rgb(cr, 1, 1, 1);
        cairo_paint(cr);
        cairo_destroy(cr);
        SurfaceDC dc(surface, picture.size);
        PlayMetafile(picture, dc, { 0, 0, picture.size.cx, picture.size.cy });
        dc.Flush();
    }
    cairo_surface_flush(surface);
    const bool ok = cairo_surface_status(surface) == CAIRO_STATUS_SUCCESS
        && cairo_surface_write_to_png_stream(surface, AppendBytes, &bytes) == CAIRO_STATUS_SUCCESS;
    cairo_surface_destroy(surface);
    if (!ok)
        bytes.clear();
    return bytes;
}

bool CopyPlotSvgToClipboard(vx::ui::HWND owner, const std::string& svg)
{
    // The SVG is read and recorded now, so that a picture that cannot be drawn leaves the
    // clipboard as it was; the PDF and the PNG are drawn from the recording only when a reader asks
    // for them (pasted, or offered to another program), as drawing them takes far longer.
    SvgMetafilePtr recorded;
    try {
        std::unique_ptr<PrintableSvgRenderer> renderer = RenderPrintableSvg(svg, {}, {});
        recorded = renderer->GetMetafileHandle();
    } catch (const std::exception& e) {
        ShowError(owner, e.what(), L"Copy");
        return false;
    }
    if (!recorded || !CanMakePng(*recorded)) {
        ShowError(owner, "The plot picture could not be made", L"Copy");
        return false;
    }
    if (!vx::ui::OpenClipboard(owner)) {
        ShowError(owner, "The clipboard is in use by another program", L"Copy");
        return false;
    }
    vx::ui::EmptyClipboard();
    const bool ok
        = vx::ui::SetClipboardDataLater(vx::ui::CF_ENHMETAFILE, [recorded] { return MetafileToPdf(*recorded); })
        && vx::ui::SetClipboardData(SvgClipboardFormat(), std::vector<std::uint8_t>(svg.begin(), svg.end()))
        && vx::ui::SetClipboardDataLater(PngClipboardFormat(), [recorded] { return MetafileToPng(*recorded); });
    vx::ui::CloseClipboard();
    return ok;
}

// ---- Image files --------------------------------------------------------------------------

const std::map<std::wstring, std::string>& ImageMimeTypes()
{
    static const std::map<std::wstring, std::string> types {
        { L".png", "image/png" },
        { L".jpg", "image/jpeg" },
        { L".jpeg", "image/jpeg" },
        { L".gif", "image/gif" },
        { L".tif", "image/tiff" },
        { L".tiff", "image/tiff" },
    };
    return types;
}

namespace {

// Straight (not premultiplied) RGBA, or RGB laid onto white.
std::vector<std::uint8_t> Pixels(const vx::ui::Bitmap& bitmap, bool onWhite)
{
    const int w = bitmap.Width(), h = bitmap.Height();
    std::vector<std::uint8_t> out;
    out.reserve(std::size_t(w) * std::size_t(h) * (onWhite ? 3 : 4));
    for (int y = 0; y < h; ++y)
        for (int x = 0; x < w; ++x) {
            const std::uint32_t p = bitmap.Argb(x, y);
            const unsigned a = p >> 24, r = (p >> 16) & 0xFF, g = (p >> 8) & 0xFF, b = p & 0xFF;
            if (onWhite) {
                out.push_back(static_cast<std::uint8_t>(std::min(255u, r + 255 - a)));
                out.push_back(static_cast<std::uint8_t>(std::min(255u, g + 255 - a)));
                out.push_back(static_cast<std::uint8_t>(std::min(255u, b + 255 - a)));
            } else {
                const auto straight = [a](unsigned c) {
                    return static_cast<std::uint8_t>(a ? std::min(255u, (c * 255 + a / 2) / a) : 0);
                };
                out.push_back(straight(r));
                out.push_back(straight(g));
                out.push_back(straight(b));
                out.push_back(static_cast<std::uint8_t>(a));
            }
        }
    return out;
}

std::string WriteWithPixbuf(const vx::ui::Bitmap& bitmap, const std::string& path, const char* type)
{
    const bool opaque = std::string(type) == "jpeg";
    std::vector<std::uint8_t> pixels = Pixels(bitmap, opaque);
    const int channels = opaque ? 3 : 4;
    GdkPixbuf* pixbuf = gdk_pixbuf_new_from_data(pixels.data(), GDK_COLORSPACE_RGB, !opaque, 8, bitmap.Width(),
        bitmap.Height(), bitmap.Width() * channels, nullptr, nullptr);
    if (!pixbuf)
        return "the picture could not be converted";
    GError* error = nullptr;
    const gboolean ok = opaque ? gdk_pixbuf_save(pixbuf, path.c_str(), type, &error, "quality", "90", nullptr)
                               : gdk_pixbuf_save(pixbuf, path.c_str(), type, &error, nullptr);
    g_object_unref(pixbuf);
    std::string message;
    if (!ok)
        message = error && error->message ? error->message : "the image could not be written";
    if (error)
        g_error_free(error);
    return message;
}

std::string WriteGif(const vx::ui::Bitmap& bitmap, int fd)
{
    const int w = bitmap.Width(), h = bitmap.Height();
    const std::vector<std::uint8_t> rgb = Pixels(bitmap, true);
    const std::size_t count = std::size_t(w) * std::size_t(h);
    std::vector<GifByteType> red(count), green(count), blue(count), index(count);
    for (std::size_t i = 0; i < count; ++i) {
        red[i] = rgb[3 * i];
        green[i] = rgb[3 * i + 1];
        blue[i] = rgb[3 * i + 2];
    }
    int mapSize = 256;
    GifColorType colours[256] = {};
    if (GifQuantizeBuffer(
            unsigned(w), unsigned(h), &mapSize, red.data(), green.data(), blue.data(), index.data(), colours)
        == GIF_ERROR)
        return "the colours could not be reduced for GIF";
    int error = 0;
    GifFileType* gif = EGifOpenFileHandle(fd, &error);
    if (!gif)
        return GifErrorString(error) ? GifErrorString(error) : "the GIF file could not be opened";
    ColorMapObject* map = GifMakeMapObject(256, colours);
    bool ok = map && EGifPutScreenDesc(gif, w, h, 8, 0, map) == GIF_OK
        && EGifPutImageDesc(gif, 0, 0, w, h, false, nullptr) == GIF_OK;
    for (int y = 0; ok && y < h; ++y)
        ok = EGifPutLine(gif, index.data() + std::size_t(y) * std::size_t(w), w) == GIF_OK;
    const int lastError = gif->Error;
    if (map)
        GifFreeMapObject(map);
    int closeError = 0;
    const bool closed = EGifCloseFile(gif, &closeError) == GIF_OK; // closes the descriptor
    if (!ok)
        return GifErrorString(lastError) ? GifErrorString(lastError) : "the GIF file could not be written";
    if (!closed)
        return GifErrorString(closeError) ? GifErrorString(closeError) : "the GIF file could not be finished";
    return {};
}

} // namespace

ImageExportResult SaveImageFile(const vx::ui::Bitmap& bitmap, const std::wstring& fileName)
{
    const std::string path = vx::text::UnitsToUtf8(fileName);
    const std::size_t slash = fileName.find_last_of(L'/'), dot = fileName.find_last_of(L'.');
    const std::wstring extension = dot != std::wstring::npos && (slash == std::wstring::npos || dot > slash)
        ? fileName.substr(dot)
        : std::wstring();
    const auto type = ImageMimeTypes().find(extension);
    if (type == ImageMimeTypes().end())
        return { false,
            "\"" + path + "\" is not a known image type: use .png, .jpg, .jpeg, .gif, .tif or .tiff (in lower case)" };

    std::filesystem::path final(path);
    std::string hidden = ".";
    hidden += final.filename().string();
    hidden += ".XXXXXX";
    std::string temporary = (final.parent_path() / hidden).string();
    const int fd = mkstemp(temporary.data());
    if (fd < 0)
        return { false, "\"" + path + "\" cannot be written: " + std::strerror(errno) };
    fchmod(fd, 0644);
    std::string problem;
    const std::string& mime = type->second;
    if (mime == "image/gif") {
        problem = WriteGif(bitmap, fd); // takes the descriptor
    } else {
        close(fd);
        problem = WriteWithPixbuf(bitmap, temporary,
            mime == "image/png"        ? "png"
                : mime == "image/jpeg" ? "jpeg"
                                       : "tiff");
    }
    if (problem.empty() && std::rename(temporary.c_str(), path.c_str()) != 0)
        problem = std::strerror(errno);
    if (!problem.empty()) {
        std::remove(temporary.c_str());
        return { false, "\"" + path + "\" cannot be written: " + problem };
    }
    return { true, {} };
}

ImageExportResult PrintableSvgRenderer::ExportImage()
{
    if (!mBitmap || mFileName.empty())
        return { false, "This plot picture was not made for an image file" };
    mDC->Flush();
    return SaveImageFile(*mBitmap, mFileName);
}

} // namespace KEL
