#pragma once
// `varnex analyse --plot VIEW=FILE`: a plot view of the analysis opened as the desktop opens it,
// asked for its picture through its own Copy command (the page's SVG on the clipboard), and
// written as SVG or rendered to an image file.
#include <iosfwd>
#include <string>
#include <vector>

#include "com/Unknown.h"

namespace vx::host {
class HrvHostDocument;
}

namespace varnex {

class OutputFile;

struct PlotRequest {
    std::string view; // tachogram, spectrum, rr-histogram, drr-histogram, poincare, classifier
    std::string file; // .svg, .png, .jpg, .gif or .tif
};

// Parses "VIEW=FILE"; false with `error` set for an unknown view or file type.
bool ParsePlotRequest(const std::string& text, PlotRequest& request, std::string& error);

// The name of the view class that shows a view ("HRV Tachogram View").
std::wstring PlotViewClassName(const std::string& view);

// Everything a plot needs of the analysis: the extension's class objects, the HRV document and
// the host document that delivers the document's updates to the views, and the Copy command id
// of the plot views.
struct PlotSource {
    std::vector<IUnknown*> classObjects;
    IUnknown* document = nullptr;
    vx::host::HrvHostDocument* host = nullptr;
    DWORD copyCommand = 0;
};

// Opens the display (an error when there is none), then writes each plot's bytes to its output in
// `files` (same order as `plots`; put in place by the caller). Empty on success, else one line
// that says what failed.
std::string WritePlotFiles(const PlotSource& source, const std::vector<PlotRequest>& plots,
    const std::vector<OutputFile*>& files, int timeoutMs = 30000);

} // namespace varnex
