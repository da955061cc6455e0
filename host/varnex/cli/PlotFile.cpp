#include "varnex/cli/PlotFile.h"

#include <stdlib.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <functional>
#include <iterator>
#include <map>
#include <memory>
#include <regex>
#include <thread>

#include "foundation/String.h"
#include "foundation/Utf.h"
#include "host/hrvdoc/HrvHostDocument.h"
#include "hostframework/interfaces/DocViewInterfaces.h"
#include "plotcontrol/svg/PlotOutput.h"
#include "plotcontrol/svg/PrintableSvgRenderer.h"
#include "ui/Desktop.h"
#include "ui/gtk/GtkBackend.h"
#include "varnex/session/OutputFile.h"
#include "varnex/views/ViewFrames.h"
#include "webview/WebKitEngine.h"

namespace varnex {

namespace {

const std::map<std::string, std::wstring>& ViewClassNames()
{
    static const std::map<std::string, std::wstring> names = {
        { "tachogram", L"HRV Tachogram View" },
        { "spectrum", L"HRV Spectrum View" },
        { "rr-histogram", L"HRV RR Histogram View" },
        { "drr-histogram", L"HRV Delta RR Histogram View" },
        { "poincare", L"HRV Poincare View" },
        { "classifier", L"HRV Classifier View" },
    };
    return names;
}

std::string Lower(std::string s)
{
    std::transform(s.begin(), s.end(), s.begin(), [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
    return s;
}

std::string ExtensionOf(const std::string& file)
{
    return Lower(std::filesystem::path(file).extension().string());
}

bool IsImageExtension(const std::string& ext)
{
    return ext == ".png" || ext == ".jpg" || ext == ".jpeg" || ext == ".gif" || ext == ".tif" || ext == ".tiff";
}

DWORD ClassIdOf(const std::vector<IUnknown*>& classObjects, const std::wstring& name)
{
    for (IUnknown* object : classObjects) {
        void* out = nullptr;
        if (!object || FAILED(object->QueryInterface(IDocViewClass::kIid, &out)) || !out)
            continue;
        auto* c = static_cast<IDocViewClass*>(out);
        IKELString* rep = nullptr;
        KEL::String text;
        DWORD id = 0;
        if (SUCCEEDED(c->GetName(&rep)))
            text.AssignRep(rep);
        const bool found = text.ToWString() == name && SUCCEEDED(c->GetClassId(&id));
        c->Release();
        if (found)
            return id;
    }
    return 0;
}

// The picture without the ids the page makes afresh for each drawing (its clip paths).
std::string Settled(const std::string& svg)
{
    static const std::regex ids("etch[a-z0-9]+_[0-9]+");
    return std::regex_replace(svg, ids, "id");
}

// The view's picture as its Copy command puts it on the clipboard; empty when none came.
std::string CopySvg(IDocView2* view, DWORD copyCommand)
{
    namespace ui = vx::ui;
    const unsigned format = KEL::SvgClipboardFormat();
    if (ui::OpenClipboard(nullptr)) {
        ui::EmptyClipboard();
        ui::CloseClipboard();
    }
    ViewFrames::SendCommand(view, copyCommand);
    ui::RunGtkUntil([&] { return ui::IsClipboardFormatAvailable(format); }, 2000);
    std::string svg;
    if (ui::OpenClipboard(nullptr)) {
        if (auto bytes = ui::GetClipboardData(format))
            svg.assign(bytes->begin(), bytes->end());
        ui::CloseClipboard();
    }
    while (!svg.empty() && svg.back() == '\0')
        svg.pop_back();
    return svg;
}

// Asks every view for its picture until its page gives the same SVG twice running, 300 ms or more
// apart (the plot has fetched its data and drawn it), or the time is up; an empty picture for a
// view that never settled. The pages load and draw side by side. A view is asked again until it
// has answered once (its page has loaded) before the next is asked, so that a late answer is never
// taken for another view's; then the views are asked in turn, the time spent on the others
// counting towards each one's pause. `onSettled` is told of each picture as it settles, while the
// other pages are still drawing.
std::vector<std::string> WaitForSvgs(const std::vector<IDocView2*>& views, DWORD copyCommand, int timeoutMs,
    const std::function<void(std::size_t, const std::string&)>& onSettled)
{
    using Clock = std::chrono::steady_clock;
    constexpr auto kPause = std::chrono::milliseconds(300);
    const auto deadline = Clock::now() + std::chrono::milliseconds(timeoutMs);
    const auto waitUntil = [](Clock::time_point t) {
        const auto ms = std::chrono::ceil<std::chrono::milliseconds>(t - Clock::now()).count();
        if (ms > 0)
            vx::ui::RunGtkUntil([] { return false; }, static_cast<int>(ms));
    };
    std::vector<std::string> previous(views.size()), settled(views.size());
    std::vector<Clock::time_point> asked(views.size());
    for (std::size_t i = 0; i < views.size(); ++i) {
        while ((previous[i] = CopySvg(views[i], copyCommand)).empty()) {
            if (Clock::now() >= deadline)
                return settled;
            waitUntil(Clock::now() + kPause);
        }
        asked[i] = Clock::now();
    }
    std::size_t left = views.size();
    while (left > 0 && Clock::now() < deadline) {
        for (std::size_t i = 0; i < views.size(); ++i) {
            if (!settled[i].empty())
                continue;
            waitUntil(asked[i] + kPause);
            std::string svg = CopySvg(views[i], copyCommand);
            asked[i] = Clock::now();
            if (!svg.empty() && Settled(svg) == Settled(previous[i])) {
                settled[i] = std::move(svg);
                --left;
                onSettled(i, settled[i]);
            } else {
                previous[i] = std::move(svg);
            }
        }
    }
    return settled;
}

// The image the renderer makes of `svg` in the type `ext` names, as bytes. The renderer writes
// image files only: it writes into a folder of this process's own, from which the bytes are read
// back, so that the output gets them the way every other output does.
std::string RenderImage(const std::string& svg, const std::string& ext)
{
    namespace fs = std::filesystem;
    std::string folder = (fs::temp_directory_path() / "varnex-plot-XXXXXX").string();
    if (!::mkdtemp(folder.data()))
        throw std::runtime_error(std::string("no scratch folder for the image (") + std::strerror(errno) + ")");
    struct Scratch {
        std::string folder;
        ~Scratch()
        {
            std::error_code ec;
            fs::remove_all(folder, ec);
        }
    } scratch { folder };
    const std::string image = folder + "/plot" + ext;
    auto renderer = KEL::RenderPrintableSvg(svg, "Varnex", KEL::Utf8ToWide(image));
    const KEL::ImageExportResult result = renderer->ExportImage();
    if (!result.saved)
        throw std::runtime_error(result.error);
    std::ifstream in(image, std::ios::binary);
    std::string bytes((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    if (in.bad() || bytes.empty())
        throw std::runtime_error("the rendered image cannot be read back");
    return bytes;
}

// The picture in the file's type, once the reader has accepted it.
std::string PlotBytes(const std::string& svg, const std::string& ext)
{
    if (ext == ".svg") {
        // The text goes out as the page made it.
        KEL::RenderPrintableSvg(svg, "Varnex", L"");
        return svg;
    }
    return RenderImage(svg, ext);
}

// Threads joined as this goes.
struct Threads {
    std::vector<std::thread> running;
    Threads() = default;
    Threads(const Threads&) = delete;
    Threads& operator=(const Threads&) = delete;
    ~Threads()
    {
        for (std::thread& t : running)
            t.join();
    }
};

} // namespace

bool ParsePlotRequest(const std::string& text, PlotRequest& request, std::string& error)
{
    const auto eq = text.find('=');
    if (eq == std::string::npos || eq == 0 || eq + 1 == text.size()) {
        error = "--plot needs VIEW=FILE";
        return false;
    }
    request.view = text.substr(0, eq);
    request.file = text.substr(eq + 1);
    if (!ViewClassNames().count(request.view)) {
        error = "--plot knows no view " + request.view
            + " (tachogram, spectrum, rr-histogram, drr-histogram, poincare or classifier)";
        return false;
    }
    const std::string ext = ExtensionOf(request.file);
    if (ext != ".svg" && !IsImageExtension(ext)) {
        error = "--plot writes .svg, .png, .jpg, .jpeg, .gif, .tif or .tiff files, not " + request.file;
        return false;
    }
    return true;
}

std::wstring PlotViewClassName(const std::string& view)
{
    const auto found = ViewClassNames().find(view);
    return found == ViewClassNames().end() ? std::wstring() : found->second;
}

std::string WritePlotFiles(const PlotSource& source, const std::vector<PlotRequest>& plots,
    const std::vector<OutputFile*>& files, int timeoutMs)
{
    namespace ui = vx::ui;
    if (plots.empty())
        return {};
    std::string error;
    auto backend = ui::CreateGtkBackend(error);
    if (!backend)
        return "--plot needs a display (" + error + "); run it under xvfb-run";
    ui::SetBackend(backend);
    // The views hand their pictures over through this process's clipboard; none of it goes to the
    // display's clipboard, which belongs to the user.
    ui::SetClipboardListener({});
    if (!vx::webview::InstallWebKitEngine(error))
        return "--plot cannot show the plot page: " + error;
    // Every view is opened before any picture is asked for, so that their pages load and draw
    // side by side.
    ViewFrames frames(source.classObjects, source.document);
    struct Delivery {
        vx::host::HrvHostDocument* host;
        ~Delivery()
        {
            if (host)
                host->options.updated = nullptr;
        }
    } delivery { source.host };
    if (source.host)
        source.host->options.updated = [&frames](DWORD id, DWORD code) { frames.DeliverUpdate(id, code); };
    std::vector<IDocView2*> views;
    for (const PlotRequest& plot : plots) {
        const DWORD classId = ClassIdOf(source.classObjects, PlotViewClassName(plot.view));
        if (!classId)
            return "the extension offers no " + plot.view + " view";
        const HRESULT opened = frames.Open(classId);
        if (FAILED(opened) || !frames.LastView())
            return "the " + plot.view + " view cannot be opened";
        views.push_back(frames.LastView());
    }
    // The views draw side by side, sharing the machine: each has its time, all together.
    const int totalMs = timeoutMs * static_cast<int>(views.size());
    // Each file's bytes are drawn on a thread of their own as soon as its view's picture has
    // settled, while this thread goes on asking the other views; the files are written once all
    // are in, in the order given.
    struct Picture {
        std::string bytes, error;
    };
    std::vector<Picture> pictures(plots.size());
    std::vector<std::string> svgs;
    {
        Threads drawing;
        svgs = WaitForSvgs(views, source.copyCommand, totalMs, [&](std::size_t i, const std::string& svg) {
            drawing.running.emplace_back([&picture = pictures[i], &plot = plots[i], svg] {
                try {
                    picture.bytes = PlotBytes(svg, ExtensionOf(plot.file));
                } catch (const std::exception& e) {
                    picture.error = "the " + plot.view + " plot's picture cannot be read: " + e.what();
                } catch (...) {
                    picture.error = "the " + plot.view + " plot's picture cannot be read";
                }
            });
        });
    } // every picture is drawn
    // Only the SVG text was wanted: the clipboard's other pictures of the last copy, drawn when
    // read, are dropped rather than drawn as the views close.
    if (ui::OpenClipboard(nullptr)) {
        ui::EmptyClipboard();
        ui::CloseClipboard();
    }
    for (std::size_t i = 0; i < plots.size(); ++i) {
        if (svgs[i].empty())
            return "the " + plots[i].view + " plot gave no picture within " + std::to_string(totalMs / 1000) + " s";
        if (!pictures[i].error.empty())
            return pictures[i].error;
        try {
            files[i]->Write(pictures[i].bytes);
        } catch (const OutputError& e) {
            return e.what();
        }
    }
    return {};
}

} // namespace varnex
