#pragma once
// The recording's chart in the desktop host's main frame: a data window with a strip per channel
// (grid, scale and trace), the recording's annotations as marks on the first strip, the time
// scale, the scroll bar and the zoom strip.
#include <memory>

#include "host/recording/Recording.h"
#include "ui/Geometry.h"
#include "ui/Messages.h"

namespace VarnDraw {
struct IVarnRecordDrawer;
}

namespace varnex {

class RecordingChart {
public:
    RecordingChart(vx::ui::HWND parent, const vx::ui::Rect& rect, std::shared_ptr<vx::host::Recording> recording);
    ~RecordingChart();
    RecordingChart(const RecordingChart&) = delete;
    RecordingChart& operator=(const RecordingChart&) = delete;

    vx::ui::HWND Handle() const;
    void Place(const vx::ui::Rect& rect);
    // Adds a drawer to a channel's strip (the chart takes its own reference).
    void AddStripDrawer(int channel, VarnDraw::IVarnRecordDrawer* drawer);
    // A channel strip's rectangle in the chart window's client coordinates.
    vx::ui::Rect StripRect(int channel) const;

private:
    struct Parts;
    std::unique_ptr<Parts> mParts;
};

} // namespace varnex
