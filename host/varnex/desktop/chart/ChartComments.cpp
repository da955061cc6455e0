#include "varnex/desktop/chart/ChartComments.h"

#include <algorithm>
#include <cmath>
#include <cstdio>

#include "foundation/String.h"
#include "hostframework/comments/CommentPopup.h"
#include "hostframework/comments/Comments.h"
#include "ui/Desktop.h"
#include "ui/Gdi.h"
#include "ui/Window.h"

namespace varnex {

namespace ui = vx::ui;

namespace {

constexpr std::int32_t kDrawOrder = 0x400; // above the traces and the annotation marks
constexpr int kMarkerTop = 3; // the disc's top in the strip
// The host's own comments show their text beside the line.
constexpr DWORD kShowLabel = 1;

ChartComments* gWatching = nullptr; // the chart whose clicks are watched (one per process)

} // namespace

struct ChartComments::Entry {
    int record = 0;
    std::int64_t offset = 0;
    int channel = -1; // -1: every channel
    IVarnComment* comment = nullptr; // held
    ~Entry()
    {
        if (comment)
            comment->Release();
    }
};

struct ChartComments::StripView {
    int channel = 0;
    LONG record = 0;
    double firstSample = 0.0;
    double samplesPerPixel = 1.0;
    int width = 0;
    int dpi = 96;
};

struct ChartComments::Drawn {
    int channel = 0;
    std::size_t entry = 0;
    ui::Point at; // in the strip
    int dpi = 96;
};

// Draws the comments of one channel's strip in the shown record.
class CommentStripDrawer final : public VarnDraw::DrawerBase {
public:
    CommentStripDrawer(ChartComments& owner, int channel)
        : DrawerBase({ kDrawOrder, channel, 0, VarnDraw::kNoIdentity })
        , mOwner(owner)
        , mChannel(channel)
    {
    }

    HRESULT GetKind(ui::DC*, DWORD* kind, std::int32_t* left, std::int32_t* right) override
    {
        if (kind)
            *kind = VarnDraw::kKindEvents;
        if (left)
            *left = 10;
        if (right)
            *right = 10;
        return S_OK;
    }

    HRESULT Draw(ui::DC* dc, const VarnDraw::DrawParams* p) override
    {
        if (!dc || !p)
            return E_POINTER;
        if (!(p->samplesPerPixel > 0) || !std::isfinite(p->samplesPerPixel))
            return S_FALSE;
        const int dpi = dc->GetDeviceCaps(ui::LOGPIXELSY);
        mOwner.Viewed({ mChannel, RecordIndex(), p->firstSample, p->samplesPerPixel, p->strip.Width(), dpi });
        const int bottom = p->strip.Height() - 1;
        for (std::size_t i = 0; i < mOwner.mEntries.size(); ++i) {
            const ChartComments::Entry& e = *mOwner.mEntries[i];
            if (e.record != RecordIndex() || (e.channel >= 0 && e.channel != mChannel))
                continue;
            const double x = (static_cast<double>(e.offset) - p->firstSample) / p->samplesPerPixel;
            if (x < p->xFrom - 200 || x >= p->xTo + 10)
                continue; // the label reaches left of the line, so a little before the area counts too
            CommentDrawInfo info;
            info.point = { static_cast<int>(std::floor(x)), kMarkerTop };
            info.bottom = bottom;
            info.flags = CommentDrawInfo::kLabel | CommentDrawInfo::kLine;
            e.comment->Draw(dc, nullptr, &info);
        }
        return S_OK;
    }

    HRESULT Clone(DWORD, IVarnRecordDrawer** out) override
    {
        if (!out)
            return E_INVALIDARG;
        return HandOut(new CommentStripDrawer(mOwner, mChannel), out);
    }

private:
    ChartComments& mOwner;
    int mChannel;
};

ChartComments::ChartComments(std::shared_ptr<const vx::host::Recording> recording)
    : mRecording(std::move(recording))
{
    for (const vx::host::Comment& c : mRecording->comments) {
        auto e = std::make_unique<Entry>();
        e->record = c.record;
        e->offset = c.position;
        e->channel = c.channel;
        auto* comment = new vx::hf::EventDataComment(c.record, static_cast<std::int32_t>(c.position),
            static_cast<DWORD>(std::max(c.channel, 0)), nullptr, 0, 0, nullptr);
        comment->AddRef();
        comment->SetText(c.text.c_str());
        comment->SetDisplayFlags(kShowLabel);
        e->comment = comment;
        mEntries.push_back(std::move(e));
    }
}

ChartComments::~ChartComments()
{
    ClosePopup();
    if (mChart && ui::IsWindow(mChart) && mChartProc)
        ui::SetWindowLongPtr(mChart, ui::GWLP_WNDPROC, reinterpret_cast<ui::LONG_PTR>(mChartProc));
    if (gWatching == this)
        gWatching = nullptr;
}

VarnDraw::IVarnRecordDrawer* ChartComments::MakeDrawer(int channel)
{
    auto* drawer = new CommentStripDrawer(*this, channel);
    drawer->AddRef();
    return drawer;
}

void ChartComments::Attach(ui::HWND chart, std::function<ui::Rect(int)> stripRect)
{
    mChart = chart;
    mStripRect = std::move(stripRect);
    gWatching = this;
    mChartProc = reinterpret_cast<ui::WNDPROC>(
        ui::SetWindowLongPtr(chart, ui::GWLP_WNDPROC, reinterpret_cast<ui::LONG_PTR>(&ChartProc)));
}

ui::LRESULT ChartComments::ChartProc(ui::HWND hwnd, UINT message, ui::WPARAM wParam, ui::LPARAM lParam)
{
    ChartComments* self = gWatching && gWatching->mChart == hwnd ? gWatching : nullptr;
    if (self && message == ui::WM_LBUTTONDOWN) {
        const ui::Point p { static_cast<short>(ui::LOWORD(static_cast<std::uintptr_t>(lParam))),
            static_cast<short>(ui::HIWORD(static_cast<std::uintptr_t>(lParam))) };
        if (self->Click(p))
            return 0; // the click was the comment's; the chart does not start a selection with it
    }
    const ui::WNDPROC next = self ? self->mChartProc : nullptr;
    if (self && message == ui::WM_DESTROY) {
        self->ClosePopup();
        self->mChart = nullptr;
    }
    return next ? ui::CallWindowProc(next, hwnd, message, wParam, lParam)
                : ui::DefWindowProc(hwnd, message, wParam, lParam);
}

void ChartComments::Viewed(const StripView& view)
{
    for (StripView& v : mViews)
        if (v.channel == view.channel) {
            v = view;
            return;
        }
    mViews.push_back(view);
    std::sort(
        mViews.begin(), mViews.end(), [](const StripView& a, const StripView& b) { return a.channel < b.channel; });
}

std::vector<ChartComments::Drawn> ChartComments::Visible() const
{
    std::vector<Drawn> shown;
    for (const StripView& v : mViews) {
        const std::size_t first = shown.size();
        for (std::size_t i = 0; i < mEntries.size(); ++i) {
            const Entry& e = *mEntries[i];
            if (e.record != v.record || (e.channel >= 0 && e.channel != v.channel) || !(v.samplesPerPixel > 0))
                continue;
            const double x = std::floor((static_cast<double>(e.offset) - v.firstSample) / v.samplesPerPixel);
            if (x >= 0 && x < v.width)
                shown.push_back({ v.channel, i, { static_cast<int>(x), kMarkerTop }, v.dpi });
        }
        std::sort(shown.begin() + static_cast<std::ptrdiff_t>(first), shown.end(),
            [](const Drawn& a, const Drawn& b) { return a.at.x < b.at.x; });
    }
    return shown;
}

namespace {
ui::Rect MarkerOf(IVarnComment* comment, int dpi, ui::Point at)
{
    LONG r[4] {};
    comment->GetMarkerRect(dpi, at.x, at.y, r);
    return { r[0], r[1], r[2], r[3] };
}
} // namespace

bool ChartComments::MarkerCentre(std::size_t index, ui::Point& centre) const
{
    const std::vector<Drawn> shown = Visible();
    if (index >= shown.size() || !mStripRect)
        return false;
    const Drawn& d = shown[index];
    const ui::Rect strip = mStripRect(d.channel);
    const ui::Rect m = MarkerOf(mEntries[d.entry]->comment, d.dpi, d.at);
    centre = { strip.left + (m.left + m.right) / 2, strip.top + (m.top + m.bottom) / 2 };
    return true;
}

bool ChartComments::Click(ui::Point point)
{
    ClosePopup();
    if (!mStripRect)
        return false;
    auto probe = ui::DC::CreateRecording({ 1, 1 });
    for (const Drawn& d : Visible()) {
        const ui::Rect strip = mStripRect(d.channel);
        const Entry& e = *mEntries[d.entry];
        ui::DeviceCaps caps = probe->Caps();
        caps.dpiX = caps.dpiY = d.dpi;
        probe->SetCaps(caps);
        DWORD code = 0;
        const ui::Point local { point.x - strip.left, point.y - strip.top };
        if (e.comment->HitTest(probe.get(), d.at, local, &code) == S_OK) {
            const ui::Rect m = MarkerOf(e.comment, d.dpi, d.at);
            return Open(e.comment,
                { m.left + strip.left, m.top + strip.top, m.right + strip.left, m.bottom + strip.top }, e.record,
                e.offset);
        }
    }
    return false;
}

bool ChartComments::Show(IVarnComment* comment)
{
    if (!comment)
        return false;
    std::int64_t position = 0;
    comment->GetInfo(&position, nullptr, nullptr, nullptr);
    const int record = static_cast<std::int32_t>(position & 0xFFFFFFFF);
    const std::int64_t offset = static_cast<std::int32_t>(position >> 32);
    ClosePopup();
    // On its marker when the chart shows one at that place.
    for (const Drawn& d : Visible()) {
        const Entry& e = *mEntries[d.entry];
        if (e.record == record && e.offset == offset && mStripRect) {
            const ui::Rect strip = mStripRect(d.channel);
            const ui::Rect m = MarkerOf(e.comment, d.dpi, d.at);
            return Open(comment, { m.left + strip.left, m.top + strip.top, m.right + strip.left, m.bottom + strip.top },
                record, offset);
        }
    }
    ui::Rect client { 0, 0, 0, 0 };
    if (mChart)
        ui::GetClientRect(mChart, &client);
    const int middle = (client.left + client.right) / 2;
    return Open(comment, { middle, client.top + kMarkerTop, middle + 1, client.top + kMarkerTop + 1 }, record, offset);
}

bool ChartComments::ShowAt(IVarnComment* comment, const ui::Rect& marker)
{
    if (!comment)
        return false;
    std::int64_t position = 0;
    comment->GetInfo(&position, nullptr, nullptr, nullptr);
    ClosePopup();
    return Open(
        comment, marker, static_cast<std::int32_t>(position & 0xFFFFFFFF), static_cast<std::int32_t>(position >> 32));
}

bool ChartComments::Open(IVarnComment* comment, const ui::Rect& marker, int record, std::int64_t offset)
{
    ICommentPopupWindow* popup = nullptr;
    if (vx::hf::ShowCommentPopup(comment, mChart, marker, TimeText(record, offset), &popup) != S_OK || !popup)
        return false;
    mPopup = popup;
    IKELString* text = nullptr;
    comment->GetInfo(nullptr, nullptr, nullptr, &text);
    KEL::String s;
    s.AssignRep(text);
    mPopupSummary = vx::hf::CommentTimeLabel(TimeText(record, offset)) + L": " + s.ToWString();
    return true;
}

ui::HWND ChartComments::Popup() const
{
    return mPopup ? static_cast<vx::hf::CommentPopup*>(mPopup)->Handle() : nullptr;
}

std::wstring ChartComments::PopupSummary() const
{
    return mPopup ? mPopupSummary : std::wstring();
}

void ChartComments::ClosePopup()
{
    mPopupSummary.clear();
    if (mPopup) {
        mPopup->Release();
        mPopup = nullptr;
    }
}

std::wstring ChartComments::TimeText(int record, std::int64_t offset) const
{
    double seconds = 0.0;
    if (record >= 0 && record < mRecording->RecordCount()) {
        const vx::host::Record& r = mRecording->records[static_cast<std::size_t>(record)];
        seconds = r.startTime + static_cast<double>(offset) * r.interval;
    }
    const long long total = std::llround(std::max(seconds, 0.0) * 1000.0);
    const long long whole = total / 1000;
    const int millis = static_cast<int>(total % 1000);
    wchar_t text[48];
    std::swprintf(text, 48, L"%02lld:%02lld:%02lld.%03d", whole / 3600, (whole / 60) % 60, whole % 60, millis);
    return text;
}

} // namespace varnex
