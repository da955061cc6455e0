// The desktop chart, headless: the beats marked in the colours the real extension's beat
// event-draw class gives them (the extension loaded as the host loads it), their hint text under
// the mouse, and the selection dragged with the mouse, all driven through window messages.
#include <gtest/gtest.h>

#include <cstring>
#include <memory>
#include <set>
#include <vector>

#include "HrvExtensionTest.h"
#include "caf/CafHost.h"
#include "caf/FrameworkServices.h"
#include "host/eventdraw/EventDrawClasses.h"
#include "hostframework/interfaces/BeatEvents.h"
#include "tracedraw/DataPane.h"
#include "ui/Clock.h"
#include "ui/EventLoop.h"
#include "ui/Gdi.h"
#include "ui/Input.h"
#include "ui/MessageQueue.h"
#include "ui/Paint.h"
#include "ui/Window.h"
#include "varnex/desktop/chart/Chart.h"
#include "varnex/startup/ExtensionLoader.h"

namespace {

namespace ui = vx::ui;
using varnex::ChartSelection;
using varnex::RecordingChart;

constexpr int kTicks = 4000;

std::shared_ptr<vx::host::Recording> TwoChannels(int ticks = kTicks)
{
    auto r = std::make_shared<vx::host::Recording>();
    for (const wchar_t* title : { L"ECG", L"Resp" }) {
        vx::host::ChannelSetup setup;
        setup.title = title;
        setup.unit = L"mV";
        r->AddChannel(setup);
    }
    const int record = r->AddRecord(0.01);
    r->records[record].length = ticks;
    for (int c = 0; c < 2; ++c) {
        std::vector<float> values(static_cast<std::size_t>(ticks));
        for (int i = 0; i < ticks; ++i)
            values[i] = static_cast<float>((i % 100) / 100.0 - 0.5 * c);
        r->records[record].channels[c] = vx::host::SampleStore(std::move(values));
    }
    return r;
}

// A beat as the fiducial enumerator hands it out.
HRV::FiducialEvent Beat(std::int32_t position, std::uint32_t beatClass)
{
    HRV::FiducialEvent e;
    e.mPosition = position;
    e.mRR = 0.8;
    e.mDeltaRR = 0.01;
    e.mRate = 75;
    e.mBeatNumber = position / 100;
    e.mClass = beatClass;
    return e;
}

std::shared_ptr<const vx::host::ComputedEvents> Snapshot(DWORD type, const std::vector<HRV::FiducialEvent>& beats)
{
    auto events = std::make_shared<vx::host::ComputedEvents>();
    events->type = type;
    events->recordSize = sizeof(HRV::FiducialEvent);
    auto bytes = std::make_shared<std::vector<std::byte>>(beats.size() * sizeof(HRV::FiducialEvent));
    std::memcpy(bytes->data(), beats.data(), bytes->size());
    events->records.push_back(bytes);
    return events;
}

class Chart : public vx::host::test::HrvExtensionTest {
protected:
    void SetUp() override
    {
        ASSERT_NO_FATAL_FAILURE(HrvExtensionTest::SetUp());
        const std::vector<IUnknown*>& objects = mClassObjects;
        ASSERT_GE(mClasses.AddAll(objects), 1);
        // The beats' type is the one the beat event-draw class says it draws.
        for (IUnknown* o : objects) {
            void* out = nullptr;
            if (FAILED(o->QueryInterface(IEventDrawClass::kIid, &out)) || !out)
                continue;
            auto* cls = static_cast<IEventDrawClass*>(out);
            BSTR name = nullptr;
            cls->GetName(&name);
            if (name && std::wstring(name) == L"PkStimEventDrawClass")
                cls->GetEventType(&mBeatType);
            SysFreeString(name);
            cls->Release();
        }
        ASSERT_NE(mBeatType, 0u);
        ASSERT_TRUE(mClasses.Has(mBeatType));

        ui::RegisterClass({ L"ChartTestFrame", 0, ui::DefWindowProc });
        mFrame = ui::CreateWindowEx(
            0, L"ChartTestFrame", L"", ui::WS_POPUP | ui::WS_VISIBLE, 0, 0, 700, 360, nullptr, 0, nullptr);
        mChart = std::make_unique<RecordingChart>(mFrame, ui::Rect { 0, 0, 640, 320 }, TwoChannels(), &mClasses);
        mChart->SetSelectionListener([this](const ChartSelection& s) { mHeard.push_back(s); });
    }
    void TearDown() override
    {
        mChart.reset();
        if (mFrame)
            ui::DestroyWindow(mFrame);
        mClasses.Clear();
        HrvExtensionTest::TearDown();
    }

    void Mouse(UINT message, int x, int y, ui::WPARAM keys = 0)
    {
        ui::SendMessage(
            mChart->Handle(), message, keys, ui::MAKELPARAM(static_cast<unsigned>(x), static_cast<unsigned>(y)));
    }
    ui::Rect Strip(int i) { return mChart->Pane().ChannelStrip(i)->StripRect(); }
    ui::BitmapPtr Shot()
    {
        // The frame has no frame of its own: its image is its client area, where the chart
        // sits at the origin.
        ui::InvalidateRect(mChart->Handle(), nullptr, false);
        return ui::CaptureWindow(mFrame);
    }

    vx::eventdraw::EventDrawClasses mClasses;
    DWORD mBeatType = 0;
    ui::HWND mFrame = nullptr;
    std::unique_ptr<RecordingChart> mChart;
    std::vector<ChartSelection> mHeard;
};

int CountColour(const ui::Bitmap& image, const ui::Rect& r, ui::Colour colour)
{
    int n = 0;
    for (int y = std::max(0, r.top); y < std::min(image.Height(), r.bottom); ++y)
        for (int x = std::max(0, r.left); x < std::min(image.Width(), r.right); ++x)
            n += image.Pixel(x, y) == colour;
    return n;
}

} // namespace

// The chart opens at the start of the record, though its strips' scales, added after the window
// was laid out the first time, narrow the plot: the record's first tick is at the plot's left edge,
// in the strips' ranges and in the scroll bar.
TEST_F(Chart, OpensAtTheStartOfTheRecord)
{
    mChart.reset();
    mChart = std::make_unique<RecordingChart>(mFrame, ui::Rect { 0, 0, 640, 320 }, TwoChannels(40000), &mClasses);
    VarnDraw::DataPane& pane = mChart->Pane();
    ASSERT_GT(pane.LatestExtent(), pane.PlotWidth()); // there is more to scroll to
    EXPECT_EQ(pane.LeftEdge(), 0);
    EXPECT_EQ(mChart->XOf(0), pane.PlotLeft());
    for (int strip = 0; strip < 2; ++strip)
        EXPECT_EQ(pane.RangeOf(strip).left, 0) << strip;
    ui::SCROLLINFO info;
    info.fMask = ui::SIF_ALL;
    pane.GetScrollBar()->GetScrollInfo(info);
    EXPECT_EQ(info.nPos, 0);
}

TEST_F(Chart, BeatsAreMarkedOnEveryStripInTheColourTheirClassGives)
{
    constexpr std::uint32_t kUsed = HRV::kClassIntervalUsable | HRV::kClassDeltaUsable;
    const std::vector<HRV::FiducialEvent> beats {
        Beat(500, kUsed), // a normal beat
        Beat(1500, kUsed | HRV::kClassRROutside), // its interval outside the limits
        Beat(2500, HRV::kClassUserAdded | kUsed), // one the user added
    };
    std::set<DWORD> colours;
    std::vector<ui::Colour> expected;
    for (const HRV::FiducialEvent& b : beats) {
        DWORD c = 0;
        ASSERT_EQ(mClasses.MarkColour(mBeatType, &b, sizeof b, c), S_OK);
        colours.insert(c);
        expected.push_back(ui::Colour { c });
    }
    ASSERT_EQ(colours.size(), 3u) << "the extension colours these classes apart";

    const ui::BitmapPtr before = Shot();
    ASSERT_TRUE(before);
    mChart->SetBeats(Snapshot(mBeatType, beats));
    const ui::BitmapPtr after = Shot();
    for (std::size_t i = 0; i < beats.size(); ++i) {
        const int x = mChart->XOf(beats[i].mPosition);
        for (int strip = 0; strip < 2; ++strip) {
            const ui::Rect around { x - 5, Strip(strip).top, x + 6, Strip(strip).bottom };
            EXPECT_EQ(CountColour(*before, around, expected[i]), 0) << "beat " << i << " strip " << strip;
            EXPECT_GT(CountColour(*after, around, expected[i]), 4) << "beat " << i << " strip " << strip;
        }
    }
    // A new analysis replaces the marks: without beats, none is left.
    mChart->SetBeats(nullptr);
    const ui::BitmapPtr cleared = Shot();
    const int x = mChart->XOf(beats[2].mPosition);
    EXPECT_EQ(CountColour(*cleared, { x - 5, Strip(0).top, x + 6, Strip(0).bottom }, expected[2]), 0);
}

TEST_F(Chart, TheMarkUnderTheMouseGivesItsHintText)
{
    constexpr std::uint32_t kUsed = HRV::kClassIntervalUsable | HRV::kClassDeltaUsable;
    const HRV::FiducialEvent first = Beat(1000, kUsed), second = Beat(1300, kUsed | HRV::kClassRROutside);
    std::wstring firstHint, secondHint;
    ASSERT_EQ(mClasses.HintText(mBeatType, &first, sizeof first, firstHint), S_OK);
    ASSERT_EQ(mClasses.HintText(mBeatType, &second, sizeof second, secondHint), S_OK);
    ASSERT_FALSE(firstHint.empty());
    ASSERT_NE(firstHint, secondHint);
    mChart->SetBeats(Snapshot(mBeatType, { first, second }));

    const int y = (Strip(1).top + Strip(1).bottom) / 2;
    const int x1 = mChart->XOf(first.mPosition), x2 = mChart->XOf(second.mPosition);
    struct Step {
        int x;
        std::wstring hint;
    };
    const Step steps[] = {
        { x1, firstHint },
        { x1 + 2, firstHint }, // within the mark's circle
        { (x1 + x2) / 2, L"" },
        { x2 - 1, secondHint },
        { x2 + 30, L"" },
    };
    for (const Step& s : steps) {
        Mouse(ui::WM_MOUSEMOVE, s.x, y);
        EXPECT_EQ(mChart->Hint(), s.hint) << "at x = " << s.x;
    }
    // The time axis and a chart without beats have no hints.
    Mouse(ui::WM_MOUSEMOVE, x1, mChart->Pane().TimeStrip()->StripRect().top + 2);
    EXPECT_EQ(mChart->Hint(), L"");
    mChart->SetBeats(nullptr);
    Mouse(ui::WM_MOUSEMOVE, x1, y);
    EXPECT_EQ(mChart->Hint(), L"");
}

TEST_F(Chart, DraggingSelectsTheStretchAndAClickPutsTheCursor)
{
    const int y = (Strip(0).top + Strip(0).bottom) / 2;
    const int a = mChart->XOf(1000), b = mChart->XOf(2000);
    struct Case {
        const char* what;
        int from, to;
        bool point;
        std::int64_t start, end;
    };
    const Case cases[] = {
        { "left to right", a, b, false, 1000, 2000 },
        { "right to left", b, a, false, 1000, 2000 },
        { "a click", a, a + 1, true, 1000, 1001 },
    };
    for (const Case& c : cases) {
        mHeard.clear();
        Mouse(ui::WM_LBUTTONDOWN, c.from, y, ui::MK_LBUTTON);
        EXPECT_EQ(ui::GetCapture(), mChart->Handle()) << c.what;
        Mouse(ui::WM_MOUSEMOVE, (c.from + c.to) / 2, y, ui::MK_LBUTTON);
        Mouse(ui::WM_MOUSEMOVE, c.to, y, ui::MK_LBUTTON);
        EXPECT_TRUE(mHeard.empty()) << c.what << ": told only at the release";
        Mouse(ui::WM_LBUTTONUP, c.to, y);
        EXPECT_EQ(ui::GetCapture(), nullptr) << c.what;
        ASSERT_EQ(mHeard.size(), 1u) << c.what;
        const ChartSelection& s = mHeard[0];
        EXPECT_FALSE(s.empty) << c.what;
        EXPECT_EQ(s.point, c.point) << c.what;
        EXPECT_EQ(s.record, 0) << c.what;
        // One pixel holds ten ticks at the chart's first zoom.
        EXPECT_NEAR(static_cast<double>(s.start), static_cast<double>(c.start), 10) << c.what;
        EXPECT_NEAR(static_cast<double>(s.end), static_cast<double>(c.end), c.point ? 10 : 10) << c.what;
        EXPECT_EQ(mChart->Selection(), s) << c.what;
    }
    // A press on the time axis selects nothing.
    mHeard.clear();
    const int timeY = mChart->Pane().TimeStrip()->StripRect().top + 2;
    Mouse(ui::WM_LBUTTONDOWN, a, timeY, ui::MK_LBUTTON);
    Mouse(ui::WM_LBUTTONUP, b, timeY);
    EXPECT_TRUE(mHeard.empty());
}

TEST_F(Chart, TheSelectionIsTintedOverBothStripsAndFollowsItsData)
{
    const ui::Colour white = ui::Colour::Rgb(255, 255, 255);
    // White background, and white background under the tint (the tint blended over white).
    const auto blend = [](int tint) { return 255 + (tint - 255) * varnex::SelectionObject::kTintAlpha / 255; };
    const ui::Colour tint = varnex::SelectionObject::kTint;
    const auto count = [&](const ui::Bitmap& image, const ui::Rect& r, bool tinted) {
        int n = 0;
        for (int y = r.top; y < r.bottom; ++y)
            for (int x = r.left; x < r.right; ++x) {
                const ui::Colour c = image.Pixel(x, y);
                n += tinted
                    ? std::abs(c.Red() - blend(tint.Red())) <= 3 && std::abs(c.Green() - blend(tint.Green())) <= 3
                        && std::abs(c.Blue() - blend(tint.Blue())) <= 3
                    : c == white;
            }
        return n;
    };
    const int y = (Strip(0).top + Strip(0).bottom) / 2;
    const int a = mChart->XOf(1000), b = mChart->XOf(2000);
    const ui::BitmapPtr before = Shot();
    Mouse(ui::WM_LBUTTONDOWN, a, y, ui::MK_LBUTTON);
    Mouse(ui::WM_MOUSEMOVE, b, y, ui::MK_LBUTTON);
    Mouse(ui::WM_LBUTTONUP, b, y);
    const ui::BitmapPtr after = Shot();
    ASSERT_TRUE(before && after);
    for (int strip = 0; strip < 2; ++strip) {
        const ui::Rect inside { a + 2, Strip(strip).top + 2, b - 2, Strip(strip).bottom - 2 };
        const ui::Rect outside { b + 4, Strip(strip).top + 2, b + 40, Strip(strip).bottom - 2 };
        const int background = count(*before, inside, false);
        EXPECT_GT(background, inside.Width() * inside.Height() / 3) << strip;
        EXPECT_EQ(count(*before, inside, true), 0) << strip;
        EXPECT_EQ(count(*after, inside, false), 0) << strip << ": no white left in the band";
        EXPECT_GE(count(*after, inside, true), background) << strip;
        EXPECT_EQ(count(*after, outside, false), count(*before, outside, false)) << strip;
    }
    // Zoomed out, the band still covers the same ticks: a narrower band at their new place.
    mChart->Pane().Zoom(false);
    const int a2 = mChart->XOf(1000), b2 = mChart->XOf(2000);
    ASSERT_LT(b2 - a2, b - a);
    const ui::BitmapPtr zoomed = Shot();
    const ui::Rect band { a2 + 1, Strip(0).top + 2, b2 - 1, Strip(0).bottom - 2 };
    EXPECT_EQ(count(*zoomed, band, false), 0);
    EXPECT_GT(count(*zoomed, { b2 + 3, band.top, b2 + 30, band.bottom }, false), 0);
    EXPECT_EQ(mChart->Selection().start, mHeard.back().start);
}

// A selection set elsewhere (the document's analysed range) is drawn where its ticks are, also
// when it runs on into the next record; the user's listener is not told of it.
TEST_F(Chart, ASelectionTheDocumentSetsIsDrawnAlsoAcrossRecords)
{
    VarnDraw::DataPane& pane = mChart->Pane();
    const int plotRight = pane.PlotLeft() + pane.PlotWidth();
    const ui::Rect first = Strip(0), last = Strip(1);
    struct Case {
        const char* what;
        ChartSelection selection;
        int left, right; // the band's columns; left == right: none
    };
    const Case cases[] = {
        { "within the record", { false, false, 0, 1000, 2000, 0 }, mChart->XOf(1000), mChart->XOf(2000) },
        { "on into the next record", { false, false, 0, 1000, 50, 1 }, mChart->XOf(1000), plotRight },
        { "a cursor", { false, true, 0, 3000, 3001, 0 }, mChart->XOf(3000), mChart->XOf(3000) + 1 },
        { "in later records only", { false, false, 1, 0, 100, 2 }, 0, 0 },
        { "none", {}, 0, 0 },
    };
    for (const Case& c : cases) {
        mChart->SetSelection(c.selection);
        EXPECT_EQ(mChart->Selection(), c.selection) << c.what;
        const ui::Rect band = mChart->SelectionBand();
        if (c.left == c.right) {
            EXPECT_TRUE(band.IsEmpty()) << c.what;
            continue;
        }
        EXPECT_EQ(band, (ui::Rect { c.left, first.top, c.right, last.bottom })) << c.what;
        // Drawn: the middle column of the band is tinted from the first strip's top to the
        // last one's bottom (a cursor solid, a stretch blended over the white background).
        const ui::BitmapPtr image = Shot();
        ASSERT_TRUE(image);
        const int x = (band.left + band.right - 1) / 2;
        const ui::Colour tint = varnex::SelectionObject::kTint;
        for (int y : { first.top + 1, last.bottom - 2 }) {
            const ui::Colour pixel = image->Pixel(x, y);
            if (c.selection.point)
                EXPECT_EQ(pixel, tint) << c.what << " at " << y;
            else
                EXPECT_LT(pixel.Red(), 250) << c.what << " at " << y;
        }
    }
    EXPECT_TRUE(mHeard.empty());
}

// A cursor or a selection scrolled off the left edge is not drawn there; the part of a
// stretch that is still in view is.
TEST_F(Chart, ASelectionScrolledOffTheLeftEdgeIsNotDrawn)
{
    VarnDraw::DataPane& pane = mChart->Pane();
    pane.Zoom(true);
    pane.Zoom(true); // 2:1, 2000 pixels of data
    ASSERT_GT(pane.LatestExtent(), pane.PlotWidth());
    const int y = (Strip(0).top + Strip(0).bottom) / 2;
    struct Case {
        const char* what;
        int from, to; // pixels right of the plot's left edge at the start
        bool drawnAfter;
    };
    const Case cases[] = {
        { "a cursor", 3, 3, false },
        { "a stretch", 3, 30, false },
        { "a stretch into what stays in view", 3, 500, true },
    };
    for (const Case& c : cases) {
        ui::SendMessage(pane.Window(), ui::WM_HSCROLL, 6, 0); // the start
        const int x0 = pane.PlotLeft() + c.from, x1 = pane.PlotLeft() + c.to;
        Mouse(ui::WM_LBUTTONDOWN, x0, y, ui::MK_LBUTTON);
        Mouse(ui::WM_MOUSEMOVE, x1, y, ui::MK_LBUTTON);
        Mouse(ui::WM_LBUTTONUP, x1, y);
        ASSERT_FALSE(mChart->SelectionBand().IsEmpty()) << c.what;
        ui::SendMessage(pane.Window(), ui::WM_HSCROLL, ui::SB_LINEDOWN, 0); // five eighths of the plot on
        const ui::Rect band = mChart->SelectionBand();
        EXPECT_EQ(!band.IsEmpty(), c.drawnAfter) << c.what;
        if (c.drawnAfter) {
            EXPECT_EQ(band.left, pane.PlotLeft()) << c.what;
        }
        // Nothing of it at the left edge's column unless it is still there.
        const ui::BitmapPtr image = Shot();
        ASSERT_TRUE(image);
        const ui::Colour edge = image->Pixel(pane.PlotLeft(), y);
        if (!c.drawnAfter) {
            EXPECT_NE(edge, varnex::SelectionObject::kTint) << c.what;
        }
        EXPECT_EQ(mChart->XOf(mChart->Selection().start) < pane.PlotLeft(), true) << c.what;
    }
}

TEST_F(Chart, OnlinePlayIntoTheDocumentIsFollowedInItsNewRecord)
{
    vx::ui::ManualClock clock;
    vx::ui::Clock* previous = vx::ui::SetClock(&clock);
    auto& recording = mChart->PaneDocument().GetRecording();
    vx::host::HrvHostDocument host(recording);
    host.options.online
        = [this](int record, vx::host::HrvHostOptions::OnlineStep step) { mChart->Follow(record, step); };
    VarnDraw::DataPane& pane = mChart->Pane();
    // Blocks of 2 s (200 samples) at four times real time: a block every 500 ms.
    ASSERT_TRUE(host.StartOnlinePlay(TwoChannels(), 0, 2.0, 4.0));
    EXPECT_TRUE(pane.Sampling());
    EXPECT_EQ(pane.LatestExtent(), 0) << "the new record, still empty";
    vx::ui::RunFor(500);
    EXPECT_EQ(pane.LatestExtent(), 20); // ten samples a pixel
    vx::ui::RunFor(9500);
    EXPECT_FALSE(host.OnlinePlaying());
    EXPECT_FALSE(pane.Sampling());
    EXPECT_EQ(pane.LatestExtent(), kTicks / 10);
    EXPECT_EQ(pane.RightEdge(), pane.LatestExtent()) << "following to the end of the played record";
    EXPECT_EQ(recording->RecordCount(), 2);
    vx::ui::SetClock(previous);
}
