#pragma once
// A rendered plot leaves the program: printed on one page with a title and two footers, put on
// the clipboard as a picture beside its SVG text, or saved as an image file.
#include <map>
#include <memory>
#include <string>

#include "plotcontrol/svg/PrintableSvgRenderer.h"
#include "ui/Desktop.h"
#include "ui/Gdi.h"

namespace KEL {

// What the print dialog chose: the printer (a print target, or a PDF file when there is none),
// its page in dots, its resolution and the print quality the user asked for (dots per inch; 0 or
// below: the printer's own).
struct PlotPrintDialog {
    std::shared_ptr<vx::ui::PrintTarget> target;
    std::string outputPath;
    vx::ui::Size page { 2480, 3508 }; // A4 at 300 dpi
    int deviceDpi = 300;
    int printQuality = 300;
    std::wstring title; // the document name and the page title
    std::unique_ptr<vx::ui::PrinterDC> printer; // made by PrintPlotSvg
};

struct PlotPrintResult {
    bool printed = false;
    std::string error;
};

// Where a picture of w x h goes on a printable area of W x H dots: as large as fits, centred
// across the other direction. Empty for an empty picture.
vx::ui::Rect FitPicture(float width, float height, int pageWidth, int pageHeight);

// Shows the print dialog of the window system (the gtk backend's asks the user for a printer;
// headless, the file set for printing) and keeps its choice in `dialog`. False when cancelled.
bool ChoosePlotPrinter(vx::ui::HWND owner, PlotPrintDialog& dialog);

// Prints the renderer's picture on one page with the dialog's title and the footers
// "Printed on <date time> for <user>" and "Page 1 of 1".
PlotPrintResult PrintPlotSvg(PlotPrintDialog& dialog, PrintableSvgRenderer& renderer);

// Renders the SVG and prints it: printed, or the reason it was not (an SVG that cannot be read,
// a printer or file that cannot take the document). Shows nothing: the caller reports it.
PlotPrintResult PrintPlotFromSvg(const std::string& svg, PlotPrintDialog& dialog);

// The clipboard format of the SVG text beside the picture.
unsigned SvgClipboardFormat();
// Renders the SVG and puts the picture (CF_ENHMETAFILE: the picture as a one-page PDF drawn from
// the recording), the SVG text ("image/svg+xml;utf8") and the picture as PNG on the clipboard; the
// PDF and the PNG are drawn when first read. A failure is shown in a message box and leaves the
// clipboard as it was.
bool CopyPlotSvgToClipboard(vx::ui::HWND owner, const std::string& svg);

// The clipboard format of the PNG picture for other applications ("PNG", published as image/png).
unsigned PngClipboardFormat();
// A recorded picture played into a bitmap of its size, laid onto white, as PNG bytes; empty when
// the picture is empty or too large.
std::vector<std::uint8_t> MetafileToPng(const SvgMetafile& picture);
// A recorded picture drawn into a one-page PDF document of its size (the metafile's bytes).
std::vector<std::uint8_t> MetafileToPdf(const SvgMetafile& picture);
// Plays a recorded picture into `target`, scaled into `dest`.
void PlayMetafile(const SvgMetafile& picture, vx::ui::DC& target, const vx::ui::Rect& dest);

// Image file types by extension (lower case, with the dot) and their MIME types.
const std::map<std::wstring, std::string>& ImageMimeTypes();
// Saves a bitmap by the file name's extension, written to a temporary file and renamed into
// place. JPEG and GIF have no transparency: the picture is laid onto white for them.
ImageExportResult SaveImageFile(const vx::ui::Bitmap& bitmap, const std::wstring& fileName);

} // namespace KEL
