#pragma once
// The recording's comments on the desktop chart: each drawn on its channel's trace (a disc, a
// dotted line down the strip and its text beside it; a comment of the whole record on every
// trace), and the popup that a click on one, or the document's request to show a comment, opens.
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "host/recording/Recording.h"
#include "hostframework/interfaces/CommentInterfaces.h"
#include "tracedraw/Drawer.h"
#include "ui/Geometry.h"
#include "ui/Messages.h"

namespace varnex {

class ChartComments {
public:
    explicit ChartComments(std::shared_ptr<const vx::host::Recording> recording);
    ~ChartComments();
    ChartComments(const ChartComments&) = delete;
    ChartComments& operator=(const ChartComments&) = delete;

    // The drawer of the comments on channel `channel`'s strip, with a reference for the caller.
    VarnDraw::IVarnRecordDrawer* MakeDrawer(int channel);
    // Watches the clicks on the chart's window; `stripRect` gives a channel strip's rectangle in
    // the window's client coordinates.
    void Attach(vx::ui::HWND chart, std::function<vx::ui::Rect(int channel)> stripRect);

    // Opens the popup of `comment` (the document's request): on its marker when the chart shows
    // it, else at the top of the chart. False when the comment opens no popup.
    bool Show(IVarnComment* comment);
    // Opens the popup of `comment` on a marker the chart draws at `marker` (the chart window's
    // client coordinates): a beat mark the user clicked.
    bool ShowAt(IVarnComment* comment, const vx::ui::Rect& marker);
    // A click at a point of the chart's window: opens the popup of the comment whose marker is
    // there (true), or closes an open popup.
    bool Click(vx::ui::Point point);
    // The marker of the `index`-th comment drawn, in the chart window's client coordinates
    // (scripted use); false when it has not been drawn.
    bool MarkerCentre(std::size_t index, vx::ui::Point& centre) const;
    // The open popup's window (null when none).
    vx::ui::HWND Popup() const;
    // What the open popup shows, "t = TIME: TEXT" (empty when none is open).
    std::wstring PopupSummary() const;
    void ClosePopup();

    // The time a comment's popup shows for a position.
    std::wstring TimeText(int record, std::int64_t offset) const;

    struct Drawn;
    struct Entry;
    struct StripView;

private:
    friend class CommentStripDrawer;
    // The mapping of a strip's last drawing (the whole strip follows it, also after a scroll).
    void Viewed(const StripView& view);
    // The markers the strips show now, strip by strip in position order.
    std::vector<Drawn> Visible() const;
    bool Open(IVarnComment* comment, const vx::ui::Rect& marker, int record, std::int64_t offset);
    static vx::ui::LRESULT ChartProc(vx::ui::HWND, UINT, vx::ui::WPARAM, vx::ui::LPARAM);

    std::shared_ptr<const vx::host::Recording> mRecording;
    std::vector<std::unique_ptr<Entry>> mEntries;
    std::vector<StripView> mViews; // one per strip drawn
    vx::ui::HWND mChart = nullptr;
    vx::ui::WNDPROC mChartProc = nullptr;
    std::function<vx::ui::Rect(int)> mStripRect;
    ICommentPopupWindow* mPopup = nullptr; // held
    std::wstring mPopupSummary;
};

} // namespace varnex
