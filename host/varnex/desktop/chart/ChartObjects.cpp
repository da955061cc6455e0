#include "varnex/desktop/chart/ChartObjects.h"

#include <algorithm>
#include <cmath>
#include <cstring>

#include "host/eventdraw/EventDrawClasses.h"
#include "tracedraw/EventDrawer.h"
#include "ui/Input.h"
#include "ui/MessageQueue.h"
#include "ui/Tooltip.h"
#include "ui/Window.h"

namespace varnex {

namespace ui = vx::ui;

namespace {

// The record the pane shows (the first one while it has no record source).
int ShownRecord(VarnDraw::DataPane& pane)
{
    IRecordSource* source = nullptr;
    LONG record = 0;
    if (SUCCEEDED(pane.GetRecordSource(&source)) && source) {
        source->GetRecordIndex(&record);
        source->Release();
    }
    return std::max<LONG>(record, 0);
}

int ClampToPlot(const VarnDraw::DataPane& pane, int x)
{
    return std::clamp(x, pane.PlotLeft(), pane.PlotLeft() + pane.PlotWidth());
}

} // namespace

std::int64_t TickAt(const VarnDraw::DataPane& pane, int x)
{
    const std::int64_t column = pane.LeftEdge() + (ClampToPlot(pane, x) - pane.PlotLeft());
    return std::max<std::int64_t>(0, static_cast<std::int64_t>(std::floor(pane.SampleOf(static_cast<double>(column)))));
}

double XOfTick(const VarnDraw::DataPane& pane, double tick)
{
    const double ratio = pane.Ratio();
    return pane.PlotLeft() + (ratio > 0 ? tick / ratio : 0.0) - static_cast<double>(pane.LeftEdge());
}

// ---- Selection ---------------------------------------------------------------------------------

bool SelectionObject::OnMouse(VarnDraw::DataPane& pane, UINT message, DWORD, ui::Point point)
{
    switch (message) {
    case ui::WM_LBUTTONDOWN:
        if (pane.HitTest(point) < 0) // the time axis, or outside every strip
            return false;
        mDragging = true;
        mAnchorX = ClampToPlot(pane, point.x);
        mAnchorTick = TickAt(pane, point.x);
        ui::SetCapture(pane.Window());
        Track(pane, point.x);
        return true;
    case ui::WM_MOUSEMOVE:
        if (!mDragging)
            return false;
        Track(pane, point.x);
        return true;
    case ui::WM_LBUTTONUP: {
        if (!mDragging)
            return false;
        mDragging = false;
        if (ui::GetCapture() == pane.Window())
            ui::ReleaseCapture();
        Track(pane, point.x);
        if (mChanged)
            mChanged(mSelection);
        return true;
    }
    default:
        return false;
    }
}

void SelectionObject::Track(VarnDraw::DataPane& pane, int x)
{
    const ui::Rect before = Band(pane);
    const std::int64_t tick = TickAt(pane, x);
    mSelection.empty = false;
    mSelection.record = mSelection.endRecord = ShownRecord(pane);
    mSelection.point = std::abs(ClampToPlot(pane, x) - mAnchorX) <= kClickSlop;
    mSelection.start = mSelection.point ? mAnchorTick : std::min(mAnchorTick, tick);
    mSelection.end = mSelection.point ? mAnchorTick + 1 : std::max(mAnchorTick, tick);
    Redraw(pane, before);
}

void SelectionObject::SetSelection(VarnDraw::DataPane& pane, const ChartSelection& selection)
{
    if (mDragging || selection == mSelection)
        return;
    const ui::Rect before = Band(pane);
    mSelection = selection;
    Redraw(pane, before);
}

void SelectionObject::Redraw(VarnDraw::DataPane& pane, const ui::Rect& before)
{
    // The old band and the new one are drawn again (at least a column each for a cursor).
    const ui::Rect after = Band(pane);
    const ui::Rect both = before.IsEmpty() ? after : after.IsEmpty() ? before : before.Union(after);
    if (!both.IsEmpty())
        pane.WsInvalidateRect(both.Inflate(1, 0), false);
}

ui::Rect SelectionObject::Band(const VarnDraw::DataPane& pane) const
{
    if (mSelection.empty || pane.ChannelStripCount() == 0)
        return {};
    const int record = ShownRecord(const_cast<VarnDraw::DataPane&>(pane));
    if (record < mSelection.record || record > mSelection.endRecord)
        return {};
    const int plotLeft = pane.PlotLeft(), plotRight = pane.PlotLeft() + pane.PlotWidth();
    // A record inside the selection is covered from its start, or to its end.
    const double from = record == mSelection.record ? std::floor(XOfTick(pane, static_cast<double>(mSelection.start)))
                                                    : double(plotLeft) - 1;
    const double to = mSelection.point ? from + 1
        : record == mSelection.endRecord
        ? std::max(from + 1, std::ceil(XOfTick(pane, static_cast<double>(mSelection.end))))
        : double(plotRight) + 1;
    // Only what lies inside the plot area is drawn: a cursor or a selection scrolled off an edge
    // is not drawn there.
    const double left = std::max(from, double(plotLeft)), right = std::min(to, double(plotRight));
    if (!(right > left))
        return {};
    const ui::Rect first = pane.ChannelStrip(0)->StripRect();
    const ui::Rect last = pane.ChannelStrip(pane.ChannelStripCount() - 1)->StripRect();
    return { static_cast<int>(left), first.top, static_cast<int>(right), last.bottom };
}

void SelectionObject::Paint(VarnDraw::DataPane& pane, ui::DC& dc)
{
    const ui::Rect band = Band(pane);
    if (band.IsEmpty())
        return;
    static const ui::BitmapPtr tint = [] {
        ui::BitmapPtr b = ui::Bitmap::Create(1, 1);
        if (b) {
            b->SetArgb(0, 0, 0xFF000000u | (kTint.Red() << 16) | (kTint.Green() << 8) | kTint.Blue());
            b->MarkDirty();
        }
        return b;
    }();
    if (mSelection.point || !tint)
        dc.FillSolidRect(band, kTint);
    else
        dc.AlphaBlend(band, tint, { 0, 0, 1, 1 }, kTintAlpha, false);
}

// ---- Beat hints ---------------------------------------------------------------------------------

bool BeatHintObject::OnMouse(VarnDraw::DataPane& pane, UINT message, DWORD, ui::Point point)
{
    if (message != ui::WM_MOUSEMOVE)
        return false;
    const int strip = pane.HitTest(point);
    const auto beats = mBeats.Get();
    std::wstring text;
    ui::Rect mark {};
    std::int64_t found = -1;
    if (beats && strip >= 0 && strip < pane.ChannelStripCount() && beats->recordSize >= sizeof(std::int32_t)) {
        const int record = ShownRecord(pane);
        if (record < static_cast<int>(beats->records.size()) && beats->records[static_cast<std::size_t>(record)]) {
            const std::vector<std::byte>& bytes = *beats->records[static_cast<std::size_t>(record)];
            const std::size_t size = beats->recordSize, count = bytes.size() / size;
            // The marks within the circle's radius of the mouse; the nearest one wins.
            const double reach = VarnDraw::EventDrawer::Radius(96) + 1;
            const double ratio = pane.Ratio();
            const double low = pane.SampleOf(pane.LeftEdge() + (point.x - pane.PlotLeft()) - reach);
            const auto positionAt = [&](std::size_t i) {
                std::int32_t p;
                std::memcpy(&p, bytes.data() + i * size, sizeof p);
                return p;
            };
            std::size_t lo = 0, hi = count;
            while (lo < hi) {
                const std::size_t mid = (lo + hi) / 2;
                if (positionAt(mid) < low)
                    lo = mid + 1;
                else
                    hi = mid;
            }
            double best = reach + 1;
            for (std::size_t i = lo; i < count; ++i) {
                const double distance = XOfTick(pane, positionAt(i)) - point.x;
                if (distance > reach)
                    break;
                if (std::abs(distance) <= reach && std::abs(distance) < best) {
                    best = std::abs(distance);
                    found = static_cast<std::int64_t>(i);
                }
            }
            if (found >= 0 && ratio > 0) {
                const std::byte* event = bytes.data() + static_cast<std::size_t>(found) * size;
                if (mClasses.HintText(beats->type, event, size, text) != S_OK)
                    text.clear();
                const int x
                    = static_cast<int>(std::floor(XOfTick(pane, positionAt(static_cast<std::size_t>(found))) + 0.5));
                const ui::Rect stripRect = pane.ChannelStrip(strip)->StripRect();
                mark
                    = { x - static_cast<int>(reach), stripRect.top, x + static_cast<int>(reach) + 1, stripRect.bottom };
                found = positionAt(static_cast<std::size_t>(found));
            }
        }
    }
    if (text.empty())
        found = -1;
    if (found != mBeatTick || text != mHint) {
        mBeatTick = found;
        Show(pane, text, mark);
    }
    if (mTooltip) {
        ui::MSG msg {};
        msg.hwnd = pane.Window();
        msg.message = message;
        msg.lParam = ui::MAKELPARAM(point.x, point.y);
        ui::SendMessage(mTooltip, ui::TTM_RELAYEVENT, 0, reinterpret_cast<ui::LPARAM>(&msg));
    }
    return false; // the selection also follows the mouse
}

void BeatHintObject::Notify(VarnDraw::DataPane& pane, const VarnDraw::PaneNotification& n)
{
    using K = VarnDraw::PaneNotification;
    if ((n.kind == K::kMouseLeave || n.kind == K::kScrolled || n.kind == K::kCompression || n.kind == K::kSource)
        && !mHint.empty()) {
        mBeatTick = -1;
        Show(pane, L"", {});
    }
}

void BeatHintObject::Show(VarnDraw::DataPane& pane, const std::wstring& text, const ui::Rect& mark)
{
    mHint = text;
    mMark = text.empty() ? ui::Rect {} : mark;
    if (!mTooltip)
        return;
    // The tool is the hovered mark: a new mark is a new tool for the tooltip, which then waits
    // its initial delay again before it shows the new text.
    ui::SendMessage(mTooltip, ui::TTM_ACTIVATE, 0, 0);
    ui::TOOLINFOW tool;
    tool.hwnd = pane.Window();
    tool.uId = 1;
    tool.text = text;
    tool.rect = text.empty() ? ui::Rect {} : mark;
    ui::SendMessage(mTooltip, ui::TTM_UPDATETIPTEXTW, 0, reinterpret_cast<ui::LPARAM>(&tool));
    ui::SendMessage(mTooltip, ui::TTM_NEWTOOLRECTW, 0, reinterpret_cast<ui::LPARAM>(&tool));
    ui::SendMessage(mTooltip, ui::TTM_ACTIVATE, 1, 0);
}

} // namespace varnex
