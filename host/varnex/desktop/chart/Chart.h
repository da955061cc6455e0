#pragma once
// The recording's chart in the desktop host's main frame: a data window with a strip per channel
// (grid, scale and trace) and one per channel that a channel calculation computes (with its guide
// lines), the recording's annotations as marks on the first strip, the beats of the analysis as
// marks on every recorded channel's strip (drawn by the event-draw class of their type), the
// selection the user drags, the time scale, the scroll bar and the zoom strip.
#include <cstdint>
#include <functional>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include "host/hrvdoc/HrvHostDocument.h"
#include "host/recording/Recording.h"
#include "host/tracedraw/TraceHost.h"
#include "ui/Geometry.h"
#include "ui/Messages.h"
#include "varnex/desktop/chart/ChartObjects.h"

namespace vx::eventdraw {
class EventDrawClasses;
}
namespace VarnDraw {
class DataPane;
}

namespace VarnDraw {
struct IVarnRecordDrawer;
}

namespace varnex {

class RecordingChart {
public:
    // `eventDraw`: the event-draw classes the extension registered (kept by the caller for the
    // chart's life); without them no beats are drawn.
    RecordingChart(vx::ui::HWND parent, const vx::ui::Rect& rect, std::shared_ptr<vx::host::Recording> recording,
        const vx::eventdraw::EventDrawClasses* eventDraw = nullptr);
    ~RecordingChart();
    RecordingChart(const RecordingChart&) = delete;
    RecordingChart& operator=(const RecordingChart&) = delete;

    vx::ui::HWND Handle() const;
    void Place(const vx::ui::Rect& rect);
    // Adds a drawer to a channel's strip (the chart takes its own reference).
    void AddStripDrawer(int channel, VarnDraw::IVarnRecordDrawer* drawer);
    // A channel strip's rectangle in the chart window's client coordinates.
    vx::ui::Rect StripRect(int channel) const;

    // The beats to mark (a snapshot of the analysis's events); null: none. The chart redraws.
    void SetBeats(std::shared_ptr<const vx::host::ComputedEvents> beats);
    // Shows the channels the document computes by channel calculations, each in a strip of its
    // own after the recording's channels: their samples as the calculation gives them, scaled to
    // their values, and the guide lines the host keeps for each channel (its display settings,
    // which the strip's graticule draws). Called again after each change, it makes the strips anew.
    void ShowCalculatedChannels(
        vx::host::HostDocument& document, const std::map<std::int32_t, vx::host::ChannelGuides>& guides);
    // The host channel shown in each strip of a calculated channel, in strip order.
    std::vector<std::uint32_t> CalculatedChannels() const;
    // Told each time the user sets the selection with the mouse.
    void SetSelectionListener(std::function<void(const ChartSelection&)> listener);
    const ChartSelection& Selection() const;
    // Shows a selection set elsewhere (the document's); the listener is not told.
    void SetSelection(const ChartSelection& selection);
    // Where the selection is drawn (window coordinates); empty when none of it is in view.
    vx::ui::Rect SelectionBand() const;
    // The hint of the beat mark under the mouse; empty when the mouse is on none.
    std::wstring Hint() const;
    // The beat whose mark is under the mouse: its tick and the mark's place in the chart
    // window; false when the mouse is on none.
    bool BeatUnderMouse(std::int64_t& tick, vx::ui::Rect& mark) const;
    // Online play of the host document: the chart follows the record being sampled as it grows.
    void Follow(int record, vx::host::HrvHostOptions::OnlineStep step);
    // The pane's document: online play feeds it.
    vx::host::HostPaneDocument& PaneDocument();
    VarnDraw::DataPane& Pane();
    // The window x of a record tick at the current scroll position and zoom.
    int XOf(std::int64_t tick) const;
    // The window x of each beat mark drawn in the plot area now (none while no beats are shown).
    std::vector<int> BeatMarksInView() const;

private:
    struct Parts;
    std::unique_ptr<Parts> mParts;
};

} // namespace varnex
