#pragma once
// What the desktop chart draws over its strips and does with the mouse: the selection the user
// drags (the document's selection that the beat-mark commands act on) and the hint of the beat
// mark under the mouse, which the event-draw class of the beats' type words.
#include <cstdint>
#include <functional>
#include <memory>
#include <string>

#include "host/tracedraw/TraceHost.h"
#include "tracedraw/DataPane.h"

namespace vx::eventdraw {
class EventDrawClasses;
}

namespace varnex {

// A stretch from `start` of `record` to `end` of `endRecord` in ticks (end exclusive), or a
// cursor at `start` (a click). The user's drags stay within one record; the document's
// selections (the analysed range) may span records.
struct ChartSelection {
    bool empty = true;
    bool point = false;
    int record = 0;
    std::int64_t start = 0;
    std::int64_t end = 0;
    int endRecord = 0;
    bool operator==(const ChartSelection&) const = default;
};

// The tick of a record under a window x of the pane (clamped to the plot area), and back.
std::int64_t TickAt(const VarnDraw::DataPane& pane, int x);
double XOfTick(const VarnDraw::DataPane& pane, double tick);

// Dragging with the left button over a channel strip selects the stretch between the press and
// the release; a click without a drag puts the cursor there. The selection is kept in ticks, so
// it stays on its data while the chart scrolls and zooms, and is drawn as a tinted band.
class SelectionObject final : public VarnDraw::InteractiveObject {
public:
    static constexpr int kClickSlop = 2; // pixels a press may move and stay a click
    static constexpr vx::ui::Colour kTint = vx::ui::Colour::Rgb(51, 153, 255);
    static constexpr int kTintAlpha = 70;

    explicit SelectionObject(std::function<void(const ChartSelection&)> changed)
        : mChanged(std::move(changed))
    {
    }
    bool OnMouse(VarnDraw::DataPane& pane, UINT message, DWORD keys, vx::ui::Point point) override;
    void Paint(VarnDraw::DataPane& pane, vx::ui::DC& dc) override;

    const ChartSelection& Selection() const { return mSelection; }
    // A selection set elsewhere (by the document): drawn from now on; the listener is not told.
    void SetSelection(VarnDraw::DataPane& pane, const ChartSelection& selection);
    bool Dragging() const { return mDragging; }
    // The band of the selection (or of the drag under way) in window coordinates, within the
    // plot area; empty when nothing of it is in view in the record the pane shows.
    vx::ui::Rect Band(const VarnDraw::DataPane& pane) const;

private:
    void Track(VarnDraw::DataPane& pane, int x);
    void Redraw(VarnDraw::DataPane& pane, const vx::ui::Rect& before);

    std::function<void(const ChartSelection&)> mChanged;
    ChartSelection mSelection;
    bool mDragging = false;
    int mAnchorX = 0;
    std::int64_t mAnchorTick = 0;
};

// Looks up the beat mark under the mouse and shows the hint text that the event-draw class of the
// beats' type gives for it in a tooltip over the mark.
class BeatHintObject final : public VarnDraw::InteractiveObject {
public:
    BeatHintObject(
        const vx::eventdraw::EventDrawClasses& classes, vx::host::ComputedEventChannel& beats, vx::ui::HWND tooltip)
        : mClasses(classes)
        , mBeats(beats)
        , mTooltip(tooltip)
    {
    }
    bool OnMouse(VarnDraw::DataPane& pane, UINT message, DWORD keys, vx::ui::Point point) override;
    void Notify(VarnDraw::DataPane& pane, const VarnDraw::PaneNotification& n) override;

    const std::wstring& Hint() const { return mHint; }
    // The tick of the beat whose mark is under the mouse (-1: none) and the mark's place.
    std::int64_t Beat() const { return mBeatTick; }
    const vx::ui::Rect& Mark() const { return mMark; }

private:
    void Show(VarnDraw::DataPane& pane, const std::wstring& text, const vx::ui::Rect& mark);

    const vx::eventdraw::EventDrawClasses& mClasses;
    vx::host::ComputedEventChannel& mBeats;
    vx::ui::HWND mTooltip;
    std::wstring mHint;
    std::int64_t mBeatTick = -1;
    vx::ui::Rect mMark {};
};

} // namespace varnex
