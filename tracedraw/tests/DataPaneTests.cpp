// The data pane in its data window, driven headless: scrolling, zooming and online following
// through the window's messages with a manual clock; results read as the pane's positions, the
// strips' ranges, the scroll bar's state and the drawn commands.
#include <gtest/gtest.h>

#include <climits>
#include <cmath>
#include <cstdlib>
#include <functional>
#include <memory>
#include <sstream>

#include "foundation/XKEL.h"
#include "foundation/stream/BinStream.h"
#include "host/tracedraw/TraceHost.h"
#include "tracedraw/DataWin.h"
#include "tracedraw/Graticule.h"
#include "tracedraw/PreviewPaneBase.h"
#include "tracedraw/TraceDrawer.h"
#include "ui/Clock.h"
#include "ui/Desktop.h"
#include "ui/Dialog.h"
#include "ui/EventLoop.h"
#include "ui/Input.h"
#include "ui/MessageQueue.h"
#include "ui/Paint.h"
#include "ui/Tooltip.h"
#include "ui/Window.h"

extern "C" const char* __lsan_default_suppressions()
{
    return "leak:libfontconfig.so\n";
}

using namespace VarnDraw;
using namespace vx::ui;

namespace {

constexpr int kWindowWidth = 800, kWindowHeight = 300;

// Two channels of `length` samples at 1 kHz: channel 0 a slow sine, channel 1 a ramp.
std::shared_ptr<vx::host::Recording> MakeRecording(std::int64_t length)
{
    auto r = std::make_shared<vx::host::Recording>();
    r->AddChannel({ L"ECG", L"mV" });
    r->AddChannel({ L"Resp", L"V" });
    const int record = r->AddRecord(0.001);
    std::vector<float> a(static_cast<std::size_t>(length)), b(static_cast<std::size_t>(length));
    for (std::int64_t i = 0; i < length; ++i) {
        a[static_cast<std::size_t>(i)] = static_cast<float>(std::sin(i * 0.01));
        b[static_cast<std::size_t>(i)] = static_cast<float>((i % 100) / 100.0);
    }
    r->records[record].length = length;
    r->records[record].channels[0] = vx::host::SampleStore(std::move(a));
    r->records[record].channels[1] = vx::host::SampleStore(std::move(b));
    return r;
}

// A recording that is only long: its samples are never read.
std::shared_ptr<vx::host::Recording> MakeLongRecording(std::int64_t length)
{
    auto r = std::make_shared<vx::host::Recording>();
    r->AddChannel({ L"ECG", L"mV" });
    const int record = r->AddRecord(0.001);
    r->records[record].length = length;
    r->records[record].channels[0] = vx::host::SampleStore(length, [] { return std::vector<std::int16_t> {}; });
    return r;
}

LRESULT TopProc(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam)
{
    return DefWindowProc(hwnd, message, wParam, lParam);
}

class Pane : public DataWin<SimpleDataPane> {
public:
    using DataWin<SimpleDataPane>::DataWin;
};

class DataPaneTest : public testing::Test {
protected:
    void SetUp() override
    {
        mPrevious = SetClock(&clock);
        static const bool registered = RegisterClass({ L"TraceTestTop", 0, &TopProc });
        (void)registered;
        top = CreateWindowEx(0, L"TraceTestTop", L"", WS_POPUP | WS_VISIBLE, 0, 0, kWindowWidth, kWindowHeight + 40,
            nullptr, 0, nullptr);
    }
    void TearDown() override
    {
        pane.reset();
        if (document)
            document->Release();
        document = nullptr;
        if (top)
            DestroyWindow(top);
        top = nullptr;
        RunUntilIdle();
        SetKeyDown(VK_SHIFT, false);
        SetKeyDown(VK_CONTROL, false);
        SetClock(mPrevious);
    }

    void Open(std::shared_ptr<vx::host::Recording> recording, int strips, bool paint = false)
    {
        this->recording = recording;
        document = new vx::host::HostPaneDocument(recording);
        document->AddRef();
        pane = std::make_unique<Pane>(0u, document);
        pane->paintingSuppressed = !paint;
        pane->SetStripCount(strips);
        ASSERT_TRUE(pane->Create(top, { 0, 0, kWindowWidth, kWindowHeight }));
        RunUntilIdle();
    }

    SCROLLINFO Info() const
    {
        SCROLLINFO info;
        info.fMask = SIF_ALL;
        pane->GetScrollBar()->GetScrollInfo(info);
        return info;
    }
    int LineStep() const
    {
        int line = 0, page = 0;
        pane->GetScrollBar()->GetPageMagnitude(line, page);
        return line;
    }
    int PageStep() const
    {
        int line = 0, page = 0;
        pane->GetScrollBar()->GetPageMagnitude(line, page);
        return page;
    }
    void Key(int key, bool shift = false)
    {
        SetKeyDown(VK_SHIFT, shift);
        InjectKey(WM_KEYDOWN, key);
        RunUntilIdle();
        SetKeyDown(VK_SHIFT, false);
    }
    void Wheel(int delta, Point client, bool ctrl = false)
    {
        Point screen = client;
        ClientToScreen(pane->Handle(), &screen);
        SendMessage(pane->Handle(), WM_MOUSEWHEEL,
            MAKEWPARAM(ctrl ? MK_CONTROL : 0, static_cast<unsigned>(delta) & 0xFFFF),
            MAKELPARAM(static_cast<unsigned>(screen.x) & 0xFFFF, static_cast<unsigned>(screen.y) & 0xFFFF));
    }
    void Scroll(WPARAM code) { SendMessage(pane->Handle(), WM_HSCROLL, code, 0); }
    // Appends `count` samples to every channel and tells the panes, as online play does.
    void Grow(std::int64_t count)
    {
        auto& record = recording->records[0];
        std::vector<float> values(static_cast<std::size_t>(count), 0.5f);
        for (auto& channel : record.channels)
            channel.Append(values);
        record.length += count;
        document->BlockAdded(0);
    }

    ManualClock clock;
    HWND top = nullptr;
    std::shared_ptr<vx::host::Recording> recording;
    vx::host::HostPaneDocument* document = nullptr;
    std::unique_ptr<Pane> pane;

private:
    Clock* mPrevious = nullptr;
};

// The plot is the pane's width less a border of 1 on each side (no scales without a factory).
constexpr int kPlot = kWindowWidth - 2;

TEST_F(DataPaneTest, ScrollBarFollowsTheExtentWithItsUnit)
{
    struct Case {
        std::int64_t extent;
        bool enabled;
        int unit;
    };
    // At the natural 10:1 the extent is a tenth of the sample count.
    const Case cases[] = {
        { kPlot, false, 1 },
        { kPlot + 1, true, 1 },
        { std::int64_t(INT_MAX) - 1, true, 1 },
        { std::int64_t(INT_MAX), true, 2 },
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.extent);
        Open(MakeLongRecording(c.extent * 10), 1);
        EXPECT_EQ(pane->LatestExtent(), c.extent);
        EXPECT_EQ(pane->GetScrollBar()->IsEnabled(), c.enabled);
        if (c.enabled) {
            EXPECT_EQ(pane->ScrollUnit(), c.unit);
            const SCROLLINFO info = Info();
            EXPECT_EQ(info.nMax, c.extent / c.unit);
            EXPECT_EQ(info.nPage, static_cast<UINT>(kPlot / c.unit));
            EXPECT_EQ(info.nPos, 0); // the beginning is shown
        }
        TearDown();
        SetUp();
    }
}

TEST_F(DataPaneTest, ArrowKeysAndScrollCodesMoveTheView)
{
    Open(MakeRecording(100000), 2); // 10000 pixels at 10:1
    ASSERT_EQ(pane->LatestExtent(), 10000);
    EXPECT_EQ(pane->RightEdge(), kPlot);
    EXPECT_EQ(LineStep(), 5 * kPlot / 8);
    EXPECT_EQ(PageStep(), 5 * kPlot / 8 / 16);

    Key(VK_RIGHT);
    EXPECT_EQ(pane->RightEdge(), kPlot + LineStep());
    Key(VK_RIGHT, true);
    EXPECT_EQ(pane->RightEdge(), kPlot + LineStep() + PageStep());
    Key(VK_LEFT);
    EXPECT_EQ(pane->RightEdge(), kPlot + PageStep());
    // Every channel strip shows the new range.
    for (int i = 0; i < 2; ++i)
        EXPECT_EQ(pane->RangeOf(i), (StripRange { pane->LeftEdge(), pane->RightEdge() }));

    // Left of the beginning is clamped; the end is the latest data.
    Scroll(SB_LINEUP);
    Scroll(SB_LINEUP);
    EXPECT_EQ(pane->RightEdge(), kPlot);
    EXPECT_EQ(Info().nPos, 0);
    Scroll(7); // SB_BOTTOM
    EXPECT_EQ(pane->RightEdge(), 10000);
    EXPECT_TRUE(pane->Following());
    Scroll(6); // SB_TOP
    EXPECT_EQ(pane->RightEdge(), kPlot);
    // Outside sampling the follow flag stays as it was.
    EXPECT_TRUE(pane->Following());
}

// After any way of scrolling, at a fine and a coarse zoom, the window shows what a full repaint
// draws at that place, pixel for pixel: the pixels moved by the window, the strips' kept layers
// and the newly drawn columns agree, and the time labels at the edges are whole or not there.
TEST_F(DataPaneTest, AScrolledPaneIsWhatAFullRepaintDraws)
{
    Open(MakeRecording(3'000'000), 2, true); // 50 minutes at 1 kHz
    for (int strip = 0; strip < 2; ++strip) {
        const auto identity = MakeIdentity(static_cast<std::uint32_t>(strip), 0);
        for (IVarnRecordDrawer* d : { static_cast<IVarnRecordDrawer*>(new GraticuleDrawer(0, identity, 0, 0, 0xFFFFFF)),
                 static_cast<IVarnRecordDrawer*>(new PolyLineTraceDrawer(0, identity, 1)) }) {
            d->AddRef();
            ASSERT_EQ(pane->AddDrawer(strip, 0, d), S_OK);
            d->Release();
        }
        pane->ChannelStrip(strip)->Refresh(0);
    }
    auto* bar = dynamic_cast<ScrollBarWin*>(pane->GetScrollBar());
    ASSERT_NE(bar, nullptr);
    const auto mouse = [](HWND hwnd, UINT message, int x, int y) {
        SendMessage(hwnd, message, message == WM_LBUTTONUP ? 0 : MK_LBUTTON,
            MAKELPARAM(static_cast<unsigned>(x) & 0xFFFF, static_cast<unsigned>(y) & 0xFFFF));
    };
    const Point middle { kWindowWidth / 2, 100 };
    struct Move {
        const char* what;
        std::function<void()> act;
    };
    const Move moves[] = {
        { "line right", [&] { Scroll(SB_LINEDOWN); } },
        { "page right", [&] { Scroll(SB_PAGEDOWN); } },
        { "page right again", [&] { Scroll(SB_PAGEDOWN); } },
        { "line left", [&] { Scroll(SB_LINEUP); } },
        { "arrow key", [&] { Key(VK_RIGHT); } },
        { "shift arrow key", [&] { Key(VK_LEFT, true); } },
        { "wheel",
            [&] {
                clock.Advance(200);
                Wheel(-240, middle);
            } },
        { "thumb dragged",
            [&] {
                Rect r;
                GetClientRect(bar->Handle(), &r);
                const SCROLLINFO info = Info();
                // The thumb starts after the left arrow (as wide as the bar is high) at the
                // position's share of the track.
                const int track = r.Width() - 2 * r.Height();
                const int x
                    = r.Height() + static_cast<int>(static_cast<long long>(track) * info.nPos / (info.nMax + 1)) + 3;
                mouse(bar->Handle(), WM_LBUTTONDOWN, x, r.Height() / 2);
                mouse(bar->Handle(), WM_MOUSEMOVE, x + 37, r.Height() / 2);
                mouse(bar->Handle(), WM_MOUSEMOVE, x + 61, r.Height() / 2);
                mouse(bar->Handle(), WM_LBUTTONUP, x + 61, r.Height() / 2);
            } },
    };
    for (const KEL::Rational ratio : { KEL::Rational(10, 1), KEL::Rational(500, 1) }) {
        pane->SetCompression(ratio, nullptr, false);
        Scroll(6); // the start, drawn whole
        pane->ResetStrips();
        InvalidateRect(pane->Handle(), nullptr, true);
        RunUntilIdle();
        for (const Move& move : moves) {
            const std::int64_t before = pane->RightEdge();
            move.act();
            RunUntilIdle();
            ASSERT_NE(pane->RightEdge(), before) << move.what << " at " << ratio.Numerator() << ":1 did not scroll";
            const BitmapPtr scrolled = CaptureWindow(top);
            pane->ResetStrips();
            InvalidateRect(pane->Handle(), nullptr, true);
            const BitmapPtr full = CaptureWindow(top);
            ASSERT_TRUE(scrolled && full);
            ASSERT_EQ(scrolled->Width(), full->Width());
            int differ = 0;
            Point first { -1, -1 };
            for (int y = 0; y < full->Height(); ++y)
                for (int x = 0; x < full->Width(); ++x)
                    if (scrolled->Pixel(x, y) != full->Pixel(x, y) && differ++ == 0)
                        first = { x, y };
            EXPECT_EQ(differ, 0) << move.what << " at " << ratio.Numerator() << ":1, first at (" << first.x << ", "
                                 << first.y << ")";
        }
    }
}

// When the window changes width, a pane that shows the start of its data keeps showing it at
// the plot's left edge; scrolled on, it keeps the data at its right edge where it was.
TEST_F(DataPaneTest, AResizedPaneKeepsItsStartInViewOrElseItsRightEdge)
{
    struct Case {
        const char* what;
        bool scrolledOn;
        int width;
    };
    const Case cases[] = {
        { "at the start, narrower", false, kWindowWidth - 200 },
        { "at the start, wider", false, kWindowWidth + 100 },
        { "at the start, far narrower", false, 120 },
        { "scrolled on, narrower", true, kWindowWidth - 200 },
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        Open(MakeRecording(100000), 1, true); // 10000 pixels at 10:1
        const auto identity = MakeIdentity(0, 0);
        for (IVarnRecordDrawer* d : { static_cast<IVarnRecordDrawer*>(new GraticuleDrawer(0, identity, 0, 0, 0xFFFFFF)),
                 static_cast<IVarnRecordDrawer*>(new PolyLineTraceDrawer(0, identity, 1)) }) {
            d->AddRef();
            ASSERT_EQ(pane->AddDrawer(0, 0, d), S_OK);
            d->Release();
        }
        RunUntilIdle();
        if (c.scrolledOn)
            Scroll(SB_LINEDOWN);
        const std::int64_t before = pane->RightEdge();
        const int plotBefore = pane->PlotWidth();
        ASSERT_TRUE(MoveWindow(pane->Handle(), 0, 0, c.width, kWindowHeight, true));
        RunUntilIdle();
        ASSERT_EQ(pane->PlotWidth() - plotBefore, c.width - kWindowWidth);
        if (c.scrolledOn) {
            EXPECT_EQ(pane->RightEdge(), before);
        } else {
            EXPECT_EQ(pane->LeftEdge(), 0);
            EXPECT_EQ(Info().nPos, 0);
        }
        EXPECT_EQ(pane->RangeOf(0), (StripRange { pane->LeftEdge(), pane->RightEdge() }));
        // What the window shows after the resize is what a full repaint draws there.
        const BitmapPtr resized = CaptureWindow(top);
        pane->ResetStrips();
        InvalidateRect(pane->Handle(), nullptr, true);
        const BitmapPtr full = CaptureWindow(top);
        ASSERT_TRUE(resized && full);
        int differ = 0;
        for (int y = 0; y < full->Height(); ++y)
            for (int x = 0; x < full->Width(); ++x)
                differ += resized->Pixel(x, y) != full->Pixel(x, y);
        EXPECT_EQ(differ, 0);
        TearDown();
        SetUp();
    }
}

TEST_F(DataPaneTest, WheelScrollsByItsRateAndCtrlWheelZoomsAboutTheCursor)
{
    Open(MakeRecording(100000), 1);
    const Point middle { 400, 100 };
    clock.Advance(100);
    Wheel(-119, middle);
    EXPECT_EQ(pane->RightEdge(), kPlot); // no whole line yet
    clock.Advance(100);
    Wheel(-121, middle); // 240 in all: two lines, 200 ms after the last wheel event that moved (5 a second)
    const int step = static_cast<int>(LineStep() * (5 * 0.25 * 2 * 0.125));
    EXPECT_EQ(pane->RightEdge(), kPlot + step);
    // Two events in the same millisecond: the rate is capped, no division by zero.
    Wheel(120, middle);
    Wheel(120, middle);
    EXPECT_EQ(pane->RightEdge(), kPlot);

    // Ctrl+wheel: forward expands to the next 1-2-5 step, and the sample under the cursor stays.
    Scroll(SB_PAGEDOWN);
    Scroll(SB_LINEDOWN);
    const double before = (pane->LeftEdge() + (middle.x - pane->PlotLeft())) * pane->Ratio();
    Wheel(120, middle, true);
    EXPECT_EQ(pane->Compression(), KEL::Rational(5, 1));
    const double after = (pane->LeftEdge() + (middle.x - pane->PlotLeft())) * pane->Ratio();
    EXPECT_NEAR(after, before, pane->Ratio());
    Wheel(-120, middle, true);
    Wheel(-120, middle, true);
    EXPECT_EQ(pane->Compression(), KEL::Rational(20, 1));
    // The ends of the series: x10 does not expand further, 500k:1 does not compress further.
    for (auto [ratio, delta] :
        { std::pair { KEL::Rational(1, 10), 120 }, std::pair { KEL::Rational(500000, 1), -120 } }) {
        pane->SetCompression(ratio, nullptr, false);
        Wheel(delta, middle, true);
        EXPECT_EQ(pane->Compression(), ratio);
    }
}

TEST_F(DataPaneTest, ZoomStripAndMenuSetTheCompression)
{
    Open(MakeRecording(100000), 1);
    auto* zoom = dynamic_cast<ZoomControlWin*>(pane->GetZoomControl());
    ASSERT_NE(zoom, nullptr);
    EXPECT_EQ(zoom->RatioText(), L"10:1");
    SendMessage(pane->Handle(), WM_COMMAND, kCmdCompress, 0);
    EXPECT_EQ(pane->Compression(), KEL::Rational(20, 1));
    EXPECT_EQ(zoom->RatioText(), L"20:1");
    EXPECT_EQ(pane->LatestExtent(), 5000);
    SendMessage(pane->Handle(), WM_COMMAND, kCmdExpand, 0);
    SendMessage(pane->Handle(), WM_COMMAND, kCmdExpand, 0);
    EXPECT_EQ(pane->Compression(), KEL::Rational(5, 1));
    SendMessage(pane->Handle(), WM_COMMAND, 1130, 0);
    EXPECT_EQ(pane->Compression(), KEL::Rational(1, 10));
    EXPECT_EQ(zoom->RatioText(), L"x10");

    // The menu checks the item of the current ratio.
    HMENU menu = CreatePopupMenu();
    SendMessage(pane->Handle(), WM_INITMENUPOPUP, reinterpret_cast<WPARAM>(menu), 0);
    ASSERT_EQ(GetMenuItemCount(menu), 21);
    EXPECT_TRUE(GetMenuState(menu, 1130, MF_BYCOMMAND) & MF_CHECKED);
    EXPECT_FALSE(GetMenuState(menu, 1136, MF_BYCOMMAND) & MF_CHECKED);
    DestroyMenu(menu);
}

TEST(ZoomControl, RatioTextsAndMenuCommands)
{
    const std::pair<KEL::Rational, const wchar_t*> texts[] = {
        { KEL::Rational(1, 2), L"x2" },
        { KEL::Rational(3, 2), L"1.5:1" },
        { KEL::Rational(500000, 1), L"500k:1" },
        { KEL::Rational(2000000, 1), L"2e+03k:1" },
        { KEL::Rational(5000, 1), L"5k:1" },
        { KEL::Rational(20, 1), L"20:1" },
        { KEL::Rational(1, 10), L"x10" },
        { KEL::Rational(0, 1), L"x?" },
    };
    for (const auto& [ratio, text] : texts)
        EXPECT_EQ(ZoomControl::FormatRatio(ratio), text);
    KEL::Rational ratio;
    ASSERT_TRUE(ZoomControl::RatioForCommand(1150, ratio));
    EXPECT_EQ(ratio, KEL::Rational(500000, 1));
    ASSERT_TRUE(ZoomControl::RatioForCommand(1131, ratio));
    EXPECT_EQ(ratio, KEL::Rational(1, 5));
    EXPECT_FALSE(ZoomControl::RatioForCommand(1129, ratio));
    EXPECT_FALSE(ZoomControl::RatioForCommand(1151, ratio));
}

TEST(ScrollBarWin, WithoutAWindowItKeepsNothing)
{
    ScrollBarWin bar(nullptr); // a child without a parent is not made
    ASSERT_EQ(bar.Handle(), nullptr);
    SCROLLINFO info;
    info.fMask = SIF_ALL;
    info.nMax = 100;
    info.nPos = 50;
    bar.SetScrollInfo(info, true);
    bar.SetPageMagnitude(7, 3);
    SCROLLINFO read;
    read.fMask = SIF_ALL;
    EXPECT_FALSE(bar.GetScrollInfo(read));
    int line = 0, page = 0;
    bar.GetPageMagnitude(line, page);
    EXPECT_EQ(line, 1);
    EXPECT_EQ(page, 1);
    EXPECT_FALSE(bar.IsEnabled());
}

TEST_F(DataPaneTest, OnlineDataIsFollowedUntilTheUserScrollsBack)
{
    Open(MakeRecording(0), 2);
    auto* trace = new PolyLineTraceDrawer(0, MakeIdentity(0, 0), 1);
    trace->AddRef();
    ASSERT_EQ(pane->AddDrawer(0, 0, trace), S_OK);
    trace->Release();
    int indicator = -1;
    pane->SetSamplingIndicator([&](int on) { indicator = on; });
    document->StartSampling(0);
    EXPECT_EQ(indicator, 1);
    EXPECT_TRUE(pane->Sampling());

    // Less than a screen: the right edge is the latest data and the write position moves on.
    Grow(3000); // 300 pixels
    EXPECT_EQ(pane->RightEdge(), 300);
    EXPECT_EQ(pane->WritePosition(), 300);
    EXPECT_FALSE(pane->GetScrollBar()->IsEnabled());
    Grow(10000); // 1300 pixels: more than a screen
    const int plot = pane->PlotWidth(); // the trace drawer's margin of 1 included
    EXPECT_EQ(pane->RightEdge(), 1300);
    EXPECT_EQ(pane->WritePosition(), plot); // a shift wider than the plot
    EXPECT_TRUE(pane->GetScrollBar()->IsEnabled());
    EXPECT_EQ(pane->RangeOf(0), (StripRange { 1300 - plot, 1300 }));
    EXPECT_EQ(pane->RangeOf(1), kNoRange); // a strip without data takes no range while sampling

    auto* zoom = dynamic_cast<ZoomControlWin*>(pane->GetZoomControl());
    ASSERT_NE(zoom, nullptr);
    EXPECT_EQ(zoom->ShowLatestState(), 0);
    // One line back while sampling stops following (the show-latest button flashes); new data
    // leaves the view alone.
    Scroll(SB_LINEUP);
    EXPECT_FALSE(pane->Following());
    EXPECT_EQ(zoom->ShowLatestState(), 3);
    const std::int64_t held = pane->RightEdge();
    Grow(1000);
    EXPECT_EQ(pane->RightEdge(), held);
    EXPECT_EQ(pane->LatestExtent(), 1400);
    // The end of the scroll bar follows again; the flashing stops and starts again cleanly.
    Scroll(7);
    EXPECT_TRUE(pane->Following());
    EXPECT_EQ(zoom->ShowLatestState(), 0);
    Scroll(SB_LINEUP);
    EXPECT_EQ(zoom->ShowLatestState(), 3);
    Scroll(7);
    EXPECT_EQ(zoom->ShowLatestState(), 0);
    Grow(1000);
    EXPECT_EQ(pane->RightEdge(), 1500);

    document->StopSampling();
    EXPECT_EQ(indicator, 0);
    EXPECT_FALSE(pane->Sampling());
    EXPECT_EQ(pane->WritePosition(), plot);
}

TEST_F(DataPaneTest, OnlinePlayFeedsThePaneOneBlockPerTimerTick)
{
    auto source = MakeRecording(20000);
    auto target = std::make_shared<vx::host::Recording>();
    for (const auto& channel : source->channels)
        target->AddChannel(channel);
    Open(target, 2);
    vx::host::TimedPlayback play(source, 0, *document, 1000, 100);
    ASSERT_TRUE(play.Start());
    EXPECT_TRUE(pane->Sampling());
    EXPECT_EQ(pane->LatestExtent(), 0);
    RunFor(100); // one tick: one block
    EXPECT_EQ(play.Played(), 1000);
    EXPECT_EQ(pane->LatestExtent(), 100);
    RunFor(900);
    EXPECT_EQ(pane->LatestExtent(), 1000);
    EXPECT_EQ(pane->RightEdge(), 1000); // following past the first screen
    RunFor(2000);
    EXPECT_EQ(play.Played(), 20000);
    EXPECT_FALSE(play.Running());
    EXPECT_FALSE(pane->Sampling());
    EXPECT_EQ(target->records[0].length, 20000);
    EXPECT_EQ(document->PaneCount(), 1u);
}

TEST_F(DataPaneTest, FrozenPaneOnlyForwardsOnlineData)
{
    Open(MakeRecording(0), 1);
    pane->options |= kPaneFrozen;
    document->StartSampling(0);
    Grow(20000);
    EXPECT_FALSE(pane->Sampling());
    EXPECT_EQ(pane->RightEdge(), kPlot);
}

TEST_F(DataPaneTest, StripsLayOutAndHitTestWithoutDividingByZero)
{
    Open(MakeRecording(1000), 2);
    const Rect s0 = pane->ChannelStrip(0)->StripRect(), s1 = pane->ChannelStrip(1)->StripRect();
    const Rect time = pane->TimeStrip()->StripRect();
    EXPECT_EQ(s0.top, 1);
    EXPECT_LT(s0.bottom, s1.top + 2);
    EXPECT_LE(s1.bottom, time.top);
    EXPECT_EQ(pane->HitTest({ 100, s0.top + 5 }), 0);
    EXPECT_EQ(pane->HitTest({ 100, s1.top + 5 }), 1);
    EXPECT_EQ(pane->HitTest({ 100, time.top + 2 }), -1);
    // The right border column and left of the plot are outside every strip.
    EXPECT_EQ(pane->HitTest({ kWindowWidth - 1, s0.top + 5 }), static_cast<int>(0x80000000u));
    EXPECT_EQ(pane->HitTest({ 0, s0.top + 5 }), static_cast<int>(0x80000000u));

    // Dragged rectangles: shorter arrays than the strips are ignored.
    pane->SetDraggableRects({ 10 }, { 50 });
    EXPECT_EQ(pane->ChannelStrip(0)->StripRect(), s0);
    pane->SetDraggableRects({ 10, 80 }, { 60, 40 });
    EXPECT_EQ(pane->ChannelStrip(0)->StripRect().top, 10);
    EXPECT_EQ(pane->ChannelStrip(0)->StripRect().bottom, 70);
    EXPECT_EQ(pane->ChannelStrip(1)->StripRect().top, 80);

    pane->SetStripCount(0);
    EXPECT_EQ(pane->ChannelStripCount(), 0);
    SendMessage(pane->Handle(), WM_SIZE, 0, MAKELPARAM(600, 200));
    EXPECT_EQ(pane->HitTest({ 100, 20 }), static_cast<int>(0x80000000u));
    // A zero height does not reach the pane.
    SendMessage(pane->Handle(), WM_SIZE, 0, MAKELPARAM(300, 0));
    EXPECT_EQ(pane->PaneRect().Width(), 600);
}

TEST_F(DataPaneTest, PaintsEveryStripThroughItsDrawers)
{
    Open(MakeRecording(100000), 2);
    for (int strip = 0; strip < 2; ++strip) {
        const auto identity = MakeIdentity(static_cast<std::uint32_t>(strip), 0);
        for (IVarnRecordDrawer* d : { static_cast<IVarnRecordDrawer*>(new GraticuleDrawer(0, identity, 0, 0, 0xFFFFFF)),
                 static_cast<IVarnRecordDrawer*>(new PolyLineTraceDrawer(0, identity, 1)) }) {
            d->AddRef();
            EXPECT_EQ(pane->AddDrawer(strip, 0, d), S_OK);
            d->Release();
        }
        pane->ChannelStrip(strip)->Refresh(0);
    }
    auto* nothing = new PolyLineTraceDrawer(0, MakeIdentity(0, 0), 1);
    nothing->AddRef();
    EXPECT_EQ(pane->AddDrawer(2, 0, nothing), E_INVALIDARG);
    nothing->Release();

    auto dc = DC::CreateRecording({ kWindowWidth, kWindowHeight });
    pane->Paint(*dc, { 0, 0, kWindowWidth, kWindowHeight });
    // Each strip's trace is drawn at that strip's origin, one segment per plot column.
    int traces[2] = { 0, 0 };
    Point origin {};
    for (const DrawCommand& c : dc->Commands()) {
        if (c.op == DrawCommand::Op::SetViewportOrg)
            origin = c.points.front();
        if (c.op != DrawCommand::Op::PolyPolyline)
            continue;
        for (int strip = 0; strip < 2; ++strip)
            if (origin == pane->ChannelStrip(strip)->StripRect().TopLeft())
                traces[strip] += static_cast<int>(c.counts.size());
    }
    EXPECT_EQ(traces[0], pane->PlotWidth());
    EXPECT_EQ(traces[1], pane->PlotWidth());
}

// Segments of the trace drawn at each channel strip's origin.
std::vector<int> TraceSegments(const DC& dc, DataPane& pane)
{
    std::vector<int> segments(static_cast<std::size_t>(pane.ChannelStripCount()), 0);
    Point origin {};
    for (const DrawCommand& c : dc.Commands()) {
        if (c.op == DrawCommand::Op::SetViewportOrg)
            origin = c.points.front();
        if (c.op == DrawCommand::Op::PolyPolyline)
            for (int strip = 0; strip < pane.ChannelStripCount(); ++strip)
                if (origin == pane.ChannelStrip(strip)->StripRect().TopLeft())
                    segments[static_cast<std::size_t>(strip)] += static_cast<int>(c.counts.size());
    }
    return segments;
}

void AddTraces(DataPane& pane)
{
    for (int strip = 0; strip < pane.ChannelStripCount(); ++strip) {
        auto* d = new PolyLineTraceDrawer(0, MakeIdentity(static_cast<std::uint32_t>(strip), 0), 1);
        d->AddRef();
        pane.AddDrawer(strip, 0, d);
        d->Release();
    }
}

TEST_F(DataPaneTest, PrintableDrawingIsClippedToItsRectangleAndTheLatestData)
{
    Open(MakeRecording(100000), 2);
    AddTraces(*pane);
    pane->BeginPrinting();
    WORD print = 0;
    pane->GetPrintMode(&print);
    EXPECT_EQ(print, 0xFFFF);
    auto dc = DC::CreateRecording({ kWindowWidth, kWindowHeight });
    const Rect half { 0, 0, 400, kWindowHeight };
    pane->DrawPrintable(*dc, 0, &half);
    const int columns = 400 - pane->PlotLeft();
    EXPECT_EQ(TraceSegments(*dc, *pane), (std::vector<int> { columns, columns }));
    pane->EndPrinting();
    pane->GetPrintMode(&print);
    EXPECT_EQ(print, 0);

    // 50 pixels of data: nothing is drawn past them.
    TearDown();
    SetUp();
    Open(MakeRecording(500), 1);
    AddTraces(*pane);
    auto printed = DC::CreateRecording({ kWindowWidth, kWindowHeight });
    pane->DrawPrintable(*printed, 0, nullptr);
    auto screen = DC::CreateRecording({ kWindowWidth, kWindowHeight });
    pane->Paint(*screen, { 0, 0, kWindowWidth, kWindowHeight });
    EXPECT_EQ(pane->LeftEdge(), 0);
    EXPECT_LE(TraceSegments(*printed, *pane)[0], 50);
    EXPECT_EQ(TraceSegments(*printed, *pane), TraceSegments(*screen, *pane));
    // The clip ends at the latest data.
    const Rect strip = pane->ChannelStrip(0)->StripRect();
    const std::string clip = "Clip " + std::to_string(strip.left) + "," + std::to_string(strip.top) + ","
        + std::to_string(pane->PlotLeft() + 50) + ",";
    const auto lines = printed->DescribeCommands();
    EXPECT_TRUE(std::any_of(lines.begin(), lines.end(), [&](const std::string& l) { return l.rfind(clip, 0) == 0; }));
}

TEST_F(DataPaneTest, StateRoundTripsAndLaterVersionsAreRefused)
{
    Open(MakeRecording(1000), 2);
    std::stringbuf buffer;
    {
        KEL::BinOStream out(&buffer);
        pane->Save(&out);
    }
    const std::string saved = buffer.str();
    ASSERT_EQ(saved.size(), 4u * 4u); // two version words, one word per strip
    {
        std::stringbuf in(saved);
        KEL::BinIStream stream(&in);
        EXPECT_NO_THROW(pane->Load(&stream));
    }
    auto words = [](std::initializer_list<std::uint32_t> values) {
        std::string s;
        for (std::uint32_t v : values)
            s.append(reinterpret_cast<const char*>(&v), 4);
        return s;
    };
    std::stringbuf tooNew(words({ 3, 2 }));
    KEL::BinIStream tooNewStream(&tooNew);
    try {
        pane->Load(&tooNewStream);
        ADD_FAILURE() << "a later version was read";
    } catch (const XKEL& e) {
        EXPECT_EQ(static_cast<std::uint32_t>(e.GetHResult()), 0xA0048205u);
    }
    // A first version of 1 reads nothing more.
    std::stringbuf old(words({ 1, 2, 99 }));
    KEL::BinIStream oldStream(&old);
    EXPECT_NO_THROW(pane->Load(&oldStream));
    ULONG left = 0;
    oldStream.ReadUInt32(&left);
    EXPECT_EQ(left, 99u);
}

// A sampling source of a preview: records what the pane asks of it.
class FakeSource final : public ISamplingSource {
public:
    HRESULT QueryInterface(REFIID, void**) override { return E_NOINTERFACE; }
    ULONG AddRef() override { return ++refs; }
    ULONG Release() override { return --refs; }
    HRESULT IsSampling(DWORD, WORD* s) override
    {
        *s = sampling ? 0xFFFF : 0;
        return S_OK;
    }
    HRESULT Stop(DWORD, LONG, LONG) override
    {
        ++stops;
        sampling = false;
        return S_OK;
    }
    HRESULT Prepare(DWORD, DWORD, LONG) override { return S_OK; }
    HRESULT Start(DWORD, BSTR* text, WORD* problem) override
    {
        ++starts;
        *problem = 0;
        if (FAILED(startResult) && !errorText.empty())
            *text = SysAllocString(errorText.c_str());
        sampling = SUCCEEDED(startResult);
        return startResult;
    }
    HRESULT StartAgain(DWORD, BSTR*) override { return startResult; }
    HRESULT Link(DWORD, IPaneDocument*) override { return S_OK; }
    HRESULT Unlink(DWORD, IPaneDocument*) override { return S_OK; }
    HRESULT SetChannel(DWORD, DWORD) override { return S_OK; }

    ULONG refs = 1;
    int starts = 0, stops = 0;
    bool sampling = false;
    HRESULT startResult = S_OK;
    std::wstring errorText;
};

// A view document whose sampling document is another recording.
class SamplingViewDocument final : public SimpleUnknownImp1<IPaneDocument, 0> {
public:
    explicit SamplingViewDocument(std::shared_ptr<vx::host::Recording> r)
        : view(new vx::host::HostPaneDocument(r))
        , sampling(new vx::host::HostPaneDocument(MakeRecording(0)))
    {
        view->AddRef();
        sampling->AddRef();
    }
    ~SamplingViewDocument() override
    {
        view->Release();
        sampling->Release();
    }
    HRESULT GetRecordSource(DWORD f, IUnknown** s) override { return view->GetRecordSource(f, s); }
    HRESULT AttachPane(DWORD f, IPaneDataSink* p) override { return view->AttachPane(f, p); }
    HRESULT DetachPane(IPaneDataSink* p, std::int64_t x) override { return view->DetachPane(p, x); }
    HRESULT GetSamplingDocument(DWORD, IPaneDocument** d) override
    {
        sampling->AddRef();
        *d = sampling;
        return S_OK;
    }
    HRESULT HandOverSettings(DWORD, IPaneDocument*) override { return S_OK; }
    vx::host::HostPaneDocument* view;
    vx::host::HostPaneDocument* sampling;
};

TEST_F(DataPaneTest, PreviewSwitchesBetweenDocumentSamplingAndPause)
{
    auto* view = new SamplingViewDocument(MakeRecording(5000));
    view->AddRef();
    FakeSource source;
    std::vector<std::wstring> messages;
    {
        PreviewDataWinWButtons preview(view);
        preview.paintingSuppressed = true;
        preview.messageBox = [&](const std::wstring& text, const std::wstring& caption, UINT style, HRESULT) {
            messages.push_back(text + L"|" + caption + L"|" + std::to_wstring(style));
        };
        ASSERT_TRUE(preview.Create(top, { 0, 0, kWindowWidth, kWindowHeight }));
        auto* control = dynamic_cast<PreviewControlWin*>(preview.GetPreviewControl());
        ASSERT_NE(control, nullptr);
        EXPECT_NE(preview.GetTraceControl(), nullptr);
        EXPECT_EQ(control->Pressed(), static_cast<UINT>(kStateDocumentView));
        // Without a source sampling cannot start.
        EXPECT_FALSE(control->ButtonEnabled(kStateSampling));
        EXPECT_EQ(preview.StartSampling(), E_FAIL);
        preview.SetSource(0, &source);
        EXPECT_TRUE(control->ButtonEnabled(kStateSampling));

        SendMessage(preview.Handle(), WM_COMMAND, kStateSampling, 0);
        EXPECT_EQ(preview.SamplingState(), kStateSampling);
        EXPECT_EQ(source.starts, 1);
        EXPECT_EQ(preview.Document(), view->sampling);
        // Pressing start again while sampling does nothing; 103 starts the source again.
        SendMessage(preview.Handle(), WM_COMMAND, kStateSampling, 0);
        EXPECT_EQ(source.starts, 1);
        preview.SetSamplingState(kStateReapply);
        EXPECT_EQ(source.starts, 2);
        EXPECT_EQ(preview.SamplingState(), kStateSampling);

        SendMessage(preview.Handle(), WM_COMMAND, kStatePaused, 0);
        EXPECT_EQ(preview.SamplingState(), kStatePaused);
        EXPECT_EQ(preview.Document(), view->sampling); // the sampled data stays shown
        EXPECT_EQ(preview.StopSampling(), S_FALSE); // not sampling any more

        // A failed start: the source's text, or the standard one; a cancelled start says nothing.
        source.startResult = E_FAIL;
        source.errorText = L"Device busy";
        SendMessage(preview.Handle(), WM_COMMAND, kStateSampling, 0);
        source.errorText.clear();
        preview.SetSamplingState(kStateReapply);
        source.startResult = kSamplingCancelled;
        preview.SetSamplingState(kStateReapply);
        ASSERT_EQ(messages.size(), 2u);
        EXPECT_EQ(messages[0], L"Device busy|Varnex|8208");
        EXPECT_EQ(messages[1], L"Cannot start sampling|Varnex|8208");
        EXPECT_EQ(preview.SamplingState(), kStateSampling);

        // Taking the source away returns to the document.
        preview.SetSource(0, nullptr);
        EXPECT_EQ(preview.SamplingState(), kStateDocumentView);
        EXPECT_EQ(control->Pressed(), static_cast<UINT>(kStateDocumentView));
        EXPECT_EQ(preview.Document(), view);
    }
    EXPECT_EQ(source.refs, 1u);
    view->Release();
}

TEST_F(DataPaneTest, OverlayGivesBothScalesTheRangeOfThoseThatFindOne)
{
    auto* factory = new vx::host::HostScaleFactory;
    factory->AddRef();
    SetHostScaleFactory(factory);
    factory->Release();
    auto* view = new vx::host::HostPaneDocument(MakeRecording(5000));
    view->AddRef();
    {
        PreviewDataWinWButtons preview(view);
        preview.paintingSuppressed = true;
        ASSERT_TRUE(preview.Create(top, { 0, 0, kWindowWidth, kWindowHeight }));
        ChannelPane* strip = preview.ChannelStrip(0);
        // Two scales for the overlay.
        IHostScale* first = strip->GetScale1();
        ASSERT_NE(first, nullptr);
        auto range = [&](int number) {
            IHostScale* s = number == 1 ? strip->GetScale1() : strip->GetScale2();
            vx::hf::DisplayRange r { 0, 0 };
            if (s) {
                static_cast<vx::host::HostScale*>(s)->GetRange(&r);
                s->Release();
            }
            return r;
        };
        preview.SetScaleRange(1, { 1.0, 2.0 });
        // An empty range, a bad scale number or strip are refused and change nothing.
        EXPECT_EQ(preview.SetScaleRange(1, { 3.0, 3.0 }), E_FAIL);
        EXPECT_EQ(preview.SetScaleRange(3, { 0.0, 1.0 }), E_FAIL);
        IHostScale* none = nullptr;
        EXPECT_EQ(preview.GetScale(1, 1, &none), E_INVALIDARG);
        EXPECT_EQ(preview.GetScale(0, 3, &none), E_INVALIDARG);
        // Without drawers no scale finds a range: nothing changes.
        preview.Autoscale(kTraceOverlay, 0, 1);
        EXPECT_EQ(range(1).bottom, 1.0);
        EXPECT_EQ(range(1).top, 2.0);

        auto* trace = new PolyLineTraceDrawer(0, MakeIdentity(0, 0), 1);
        trace->AddRef();
        EXPECT_EQ(preview.AddTraceDrawer(trace, kTraceStack), S_OK);
        trace->Release();
        preview.Autoscale(kTraceOverlay, 0, 1);
        // The sine of channel 0 spans -1..1.
        EXPECT_NEAR(range(1).bottom, -1.0, 0.01);
        EXPECT_NEAR(range(1).top, 1.0, 0.01);

        // With the prefix "m" the scale shows millivolts: a range in base units, and the overlay
        // of the same sine, in mV; the trace is still drawn from the base units.
        ASSERT_EQ(preview.SetScaleUnit(1, L"V", 7), S_OK);
        ASSERT_EQ(preview.SetScaleRange(1, { 0.001, 0.002 }), S_OK);
        EXPECT_DOUBLE_EQ(range(1).bottom, 1.0);
        EXPECT_DOUBLE_EQ(range(1).top, 2.0);
        preview.Autoscale(kTraceOverlay, 0, 1);
        EXPECT_NEAR(range(1).bottom, -1000.0, 10);
        EXPECT_NEAR(range(1).top, 1000.0, 10);
        auto dc = DC::CreateRecording({ kWindowWidth, kWindowHeight });
        preview.Paint(*dc, { 0, 0, kWindowWidth, kWindowHeight });
        const Rect stripRect = strip->StripRect();
        int low = INT_MAX, high = INT_MIN;
        for (const DrawCommand& c : dc->Commands())
            if (c.op == DrawCommand::Op::PolyPolyline)
                for (Point p : c.points) {
                    low = std::min(low, p.y);
                    high = std::max(high, p.y);
                }
        // The sine spans the strip: neither a thousandth of it nor a thousand times.
        EXPECT_GE(low, -1);
        EXPECT_LE(high, stripRect.Height() + 1);
        EXPECT_GT(high - low, stripRect.Height() * 8 / 10);
        first->Release();
    }
    view->Release();
    SetHostScaleFactory(nullptr);
}

TEST_F(DataPaneTest, PreviewWithoutDocumentButtonStartsAtSampling)
{
    auto* view = new SamplingViewDocument(MakeRecording(100));
    view->AddRef();
    {
        PreviewDataWin preview(view);
        preview.paintingSuppressed = true;
        ASSERT_TRUE(preview.Create(top, { 0, 0, kWindowWidth, kWindowHeight }));
        PreviewControlWin strip(preview.Handle(), preview, 0x40000000u);
        EXPECT_FALSE(strip.HasButton(kStateDocumentView));
        EXPECT_TRUE(strip.HasButton(kStateSampling));
        EXPECT_TRUE(strip.HasButton(kStatePaused));
        EXPECT_EQ(strip.Pressed(), static_cast<UINT>(kStateSampling));
    }
    view->Release();
}

TEST_F(DataPaneTest, CtrlOverADataWindowShowsTheZoomCursorUntilTheLastWindowGoes)
{
    Open(MakeRecording(1000), 1);
    EXPECT_TRUE(DataWinBase::KeyFilterInstalled());
    SetCursor(IDC_ARROW);
    // Outside every data window nothing changes.
    InjectKey(WM_KEYDOWN, VK_CONTROL);
    RunUntilIdle();
    EXPECT_EQ(GetCursor(), IDC_ARROW);
    InjectMouse(top, WM_MOUSEMOVE, { 50, 50 });
    RunUntilIdle();
    EXPECT_TRUE(DataWinBase::MouseInside());
    InjectKey(WM_KEYDOWN, VK_CONTROL);
    RunUntilIdle();
    EXPECT_EQ(GetCursor(), IDC_SIZEALL);
    InjectKey(WM_KEYUP, VK_CONTROL);
    RunUntilIdle();
    EXPECT_EQ(GetCursor(), IDC_ARROW);
    pane.reset();
    EXPECT_FALSE(DataWinBase::KeyFilterInstalled());
}

// The host of a preview's dialog, with what each test gives it.
class FakePreviewHost final : public SimpleUnknownImp1<IPreviewHost, 0> {
public:
    HRESULT GetSizeValue(LONG which, LONG* value) override
    {
        if (sizes.empty())
            return S_FALSE;
        *value = sizes[static_cast<std::size_t>(which)];
        return S_OK;
    }
    HRESULT GetDisplayValue(LONG*) override { return S_FALSE; }
    HRESULT GetChannelDisplay(LONG* index, BSTR* unit, LONG* flag) override
    {
        *index = 3;
        *unit = SysAllocString(L"mV");
        *flag = 1;
        return S_OK;
    }
    HRESULT GetColour(LONG index, DWORD* colour) override
    {
        if (!colourService)
            return S_FALSE;
        *colour = 0x010000u * static_cast<DWORD>(index);
        return S_OK;
    }
    HRESULT GetSamplingDevices(ISamplingSource** out, WORD* busyFlag, LONG* count) override
    {
        if (!source)
            return S_FALSE;
        source->AddRef();
        *out = source;
        *busyFlag = busy ? 0xFFFF : 0;
        *count = entries;
        return S_OK;
    }
    std::vector<LONG> sizes;
    bool colourService = false;
    ISamplingSource* source = nullptr;
    bool busy = false;
    LONG entries = 1;
};

// A host document whose view document is a recording.
class HostDocumentWithView final : public SimpleUnknownImp1<IViewDocumentSource, 0> {
public:
    explicit HostDocumentWithView(IPaneDocument* view)
        : mView(view)
    {
    }
    HRESULT GetViewDocument(DWORD, IPaneDocument** out) override
    {
        mView->AddRef();
        *out = mView;
        return S_OK;
    }

private:
    IPaneDocument* mView;
};

class Preview final : public ExtLib::PreviewPaneBase {
public:
    void SetScaleUnit() override { }
};

HWND MakeDialog(bool placeholder)
{
    DialogTemplate t;
    t.caption = L"Detector";
    t.style = WS_POPUP | WS_CAPTION | WS_VISIBLE | DS_SETFONT;
    t.units = { 10, 10, 300, 200 };
    if (placeholder)
        t.items = { { kStaticClass, L"", ExtLib::kPreviewPlaceholderId, WS_CHILD | WS_VISIBLE, { 10, 20, 210, 120 } } };
    return CreateDialogIndirectParam(
        t, nullptr, [](HWND, UINT message, WPARAM, LPARAM) -> INT_PTR { return message == WM_INITDIALOG; }, 0);
}

TEST_F(DataPaneTest, PreviewPaneBaseBuildsThePreviewOverItsPlaceholder)
{
    auto* factory = new vx::host::HostScaleFactory;
    factory->AddRef();
    SetHostScaleFactory(factory);
    factory->Release();
    auto* view = new vx::host::HostPaneDocument(MakeRecording(0));
    view->AddRef();
    auto* hostDocument = new HostDocumentWithView(view);
    hostDocument->AddRef();
    FakeSource source;
    HWND dialog = MakeDialog(true);
    {
        FakePreviewHost host;
        host.sizes = { 3, 40, 8 };
        host.source = &source;
        Preview preview;
        ASSERT_EQ(preview.CreatePreviewWindow(&host, hostDocument, dialog), S_OK);
        EXPECT_TRUE(preview.Created());
        EXPECT_EQ(preview.ViewDocument(), view);
        EXPECT_EQ(preview.SizeValue(), 40);
        EXPECT_EQ(preview.UnitText(), L"mV");
        EXPECT_TRUE(preview.UnitFlag());
        EXPECT_EQ(preview.TraceColour(), ProcessTracePalette().Entry(3).value); // no colour service
        EXPECT_EQ(preview.SamplingSource(), &source);
        EXPECT_EQ(preview.Window()->Source(), &source);

        preview.PlaceOverDialogItem(7);
        Rect item {}, placed {};
        GetWindowRect(GetDlgItem(dialog, ExtLib::kPreviewPlaceholderId), &item);
        GetWindowRect(preview.Window()->Handle(), &placed);
        EXPECT_EQ(placed, item);
        EXPECT_GT(preview.Window()->PlotWidth(), 0);

        // No data yet: the given range is set directly on the strip's scale.
        const vx::hf::DisplayRange range { -2.0, 3.0 };
        preview.AutoscaleOrSetRange(0, &range);
        IHostScale* scale = preview.Window()->ChannelStrip(0)->GetScale1();
        ASSERT_NE(scale, nullptr);
        vx::hf::DisplayRange shown;
        static_cast<vx::host::HostScale*>(scale)->GetRange(&shown);
        scale->Release();
        EXPECT_EQ(shown.bottom, -2.0);
        EXPECT_EQ(shown.top, 3.0);

        preview.EnableSampling(false);
        EXPECT_EQ(preview.Window()->Source(), nullptr);
        preview.EnableSampling(true);
        EXPECT_EQ(preview.Window()->Source(), &source);

        // Built again with a busy device list, without size values and with a colour service.
        host.busy = true;
        host.sizes.clear();
        host.colourService = true;
        ASSERT_EQ(preview.CreatePreviewWindow(&host, hostDocument, dialog), S_OK);
        EXPECT_EQ(preview.SamplingSource(), nullptr);
        EXPECT_EQ(preview.SizeValue(), 16);
        EXPECT_EQ(preview.TraceColour(), 0x030000u);
    }
    EXPECT_EQ(source.refs, 1u);
    DestroyWindow(dialog);

    // Without a placeholder the preview gets an empty rectangle.
    HWND bare = MakeDialog(false);
    {
        Preview preview;
        ASSERT_EQ(preview.CreatePreviewWindow(nullptr, nullptr, bare), S_OK);
        EXPECT_EQ(preview.SizeValue(), 16);
        preview.PlaceOverDialogItem(0);
        Rect placed {};
        GetClientRect(preview.Window()->Handle(), &placed);
        EXPECT_TRUE(placed.IsEmpty());
    }
    DestroyWindow(bare);
    hostDocument->Release();
    view->Release();
    SetHostScaleFactory(nullptr);
}

} // namespace

// ---- The control strips and the layers ------------------------------------------------------

namespace {

std::vector<WPARAM> gOwnerHeard;

LRESULT StripOwnerProc(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam)
{
    if (message == kStripButtonMessage)
        gOwnerHeard.push_back(wParam);
    return DefWindowProc(hwnd, message, wParam, lParam);
}

vx::ui::Size AtDpi(HWND window, vx::ui::Size size96)
{
    const double scale = GetDpiForWindow(window) / 96.0;
    return { static_cast<int>(std::lround(size96.cx * scale)), static_cast<int>(std::lround(size96.cy * scale)) };
}

class CountingGraticule final : public GraticuleDrawer {
public:
    using GraticuleDrawer::GraticuleDrawer;
    HRESULT Draw(DC* dc, const DrawParams* params) override
    {
        ++draws;
        return GraticuleDrawer::Draw(dc, params);
    }
    int draws = 0;
};

} // namespace

TEST_F(DataPaneTest, ZoomStripShowsPicturesAndTipsAndItsButtonsFollowTheRatioLimits)
{
    Open(MakeRecording(100000), 1);
    auto* zoom = dynamic_cast<ZoomControlWin*>(pane->GetZoomControl());
    ASSERT_NE(zoom, nullptr);
    RunUntilIdle();
    struct Button {
        int id;
        const wchar_t* tip;
        bool picture;
    };
    const Button buttons[] = {
        { kCmdShowLatest, L"Show latest data", true },
        { kCmdCompress, L"Compress horizontal scaling", true },
        { kCmdRatioMenu, L"Set horizontal scaling", false },
        { kCmdExpand, L"Expand horizontal scaling", true },
    };
    for (const Button& b : buttons) {
        SCOPED_TRACE(b.id);
        const auto* gadget = zoom->Gadget(b.id);
        ASSERT_NE(gadget, nullptr);
        EXPECT_EQ(gadget->Tooltip(), b.tip);
        ASSERT_EQ(gadget->Glyph() != nullptr, b.picture);
        if (b.picture) {
            EXPECT_EQ(gadget->Glyph()->GetSize(), AtDpi(zoom->GetHandle(), { 18, 16 }));
            EXPECT_TRUE(gadget->Text().empty()); // a picture, not "-" or "+"
        }
    }
    EXPECT_EQ(SendMessage(zoom->TooltipWindow(), TTM_GETTOOLCOUNT, 0, 0), LRESULT(std::size(buttons)));

    // Once the queue has run dry, expand is off at the smallest ratio and compress at the largest;
    // a click on a button that is off does nothing.
    struct Step {
        UINT command;
        bool expand, compress;
    };
    const Step steps[] = { { 1130, false, true }, { 1136, true, true }, { 1150, true, false } };
    for (const Step& s : steps) {
        SCOPED_TRACE(s.command);
        SendMessage(pane->Handle(), WM_COMMAND, s.command, 0);
        RunUntilIdle();
        EXPECT_EQ(zoom->Gadget(kCmdExpand)->IsEnabled(), s.expand);
        EXPECT_EQ(zoom->Gadget(kCmdCompress)->IsEnabled(), s.compress);
    }
    const Rect compress = zoom->Gadget(kCmdCompress)->Bounds();
    const LPARAM at = MAKELPARAM(static_cast<unsigned>(compress.left + 2), static_cast<unsigned>(compress.top + 2));
    SendMessage(zoom->GetHandle(), WM_LBUTTONDOWN, 0, at);
    SendMessage(zoom->GetHandle(), WM_LBUTTONUP, 0, at);
    EXPECT_EQ(pane->Compression(), KEL::Rational(500000, 1));
}

TEST_F(DataPaneTest, HorizontalAutoScaleShowsAllTheDataAtTheSmallestMenuRatioThatFits)
{
    struct Case {
        std::int64_t samples;
        KEL::Rational ratio;
    };
    // The plot is 798 columns wide.
    const Case cases[] = {
        { 100000, { 200, 1 } }, // 125.3 samples a column
        { 700, { 1, 1 } }, // fits at 1:1
        { 30'000'000, { 50000, 1 } }, // 37594 a column
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.samples);
        Open(c.samples > 1'000'000 ? MakeLongRecording(c.samples) : MakeRecording(c.samples), 1);
        EXPECT_TRUE(pane->CommandEnabled(4));
        SendMessage(pane->Handle(), WM_COMMAND, kCmdAutoScaleX, 0);
        EXPECT_EQ(pane->Compression(), c.ratio);
        EXPECT_EQ(pane->LeftEdge(), 0);
        EXPECT_GE(pane->RightEdge(), pane->LatestExtent());
        pane.reset();
        document->Release();
        document = nullptr;
    }
}

TEST_F(DataPaneTest, EachStripTellsItsOwnerOfAPressAndARelease)
{
    static const bool registered = RegisterClass({ L"StripOwner", 0, &StripOwnerProc });
    (void)registered;
    HWND owner = CreateWindowEx(0, L"StripOwner", L"", WS_CHILD | WS_VISIBLE, 0, 0, 400, 100, top, 0, nullptr);
    auto* view = new SamplingViewDocument(MakeRecording(100));
    view->AddRef();
    {
        PreviewDataWinWButtons preview(view);
        preview.paintingSuppressed = true;
        ASSERT_TRUE(preview.Create(top, { 0, 0, kWindowWidth, kWindowHeight }));
        struct Case {
            const char* what;
            std::function<std::unique_ptr<KELControls::UxGadgetWindow>()> make;
            std::vector<WPARAM> press, release;
            bool focusToOwner;
        };
        const Case cases[] = {
            { "zoom", [&] { return std::make_unique<ZoomControlWin>(owner, preview, 0x80000000u); }, { 0, 1 }, { 1 },
                true },
            { "trace modes", [&] { return std::make_unique<TraceControlWin>(owner, preview); }, { 0 }, { 1 }, false },
            { "sampling", [&] { return std::make_unique<PreviewControlWin>(owner, preview, 0); }, { 0 }, { 1 }, false },
        };
        for (const Case& c : cases) {
            SCOPED_TRACE(c.what);
            auto strip = c.make();
            SetFocus(top);
            gOwnerHeard.clear();
            SendMessage(strip->GetHandle(), WM_LBUTTONDOWN, 0, MAKELPARAM(1, 1));
            EXPECT_EQ(gOwnerHeard, c.press);
            gOwnerHeard.clear();
            SendMessage(strip->GetHandle(), WM_LBUTTONUP, 0, MAKELPARAM(1, 1));
            EXPECT_EQ(gOwnerHeard, c.release);
            EXPECT_EQ(GetFocus() == owner, c.focusToOwner);
        }
    }
    DestroyWindow(owner);
    view->Release();
}

TEST_F(DataPaneTest, PreviewStripsNameTheirButtonsAndSayWhySamplingIsOff)
{
    auto* view = new SamplingViewDocument(MakeRecording(100));
    view->AddRef();
    FakeSource source;
    {
        PreviewDataWinWButtons preview(view);
        preview.paintingSuppressed = true;
        ASSERT_TRUE(preview.Create(top, { 0, 0, kWindowWidth, kWindowHeight }));
        auto* sampling = dynamic_cast<PreviewControlWin*>(preview.GetPreviewControl());
        auto* modes = dynamic_cast<TraceControlWin*>(preview.GetTraceControl());
        ASSERT_NE(sampling, nullptr);
        ASSERT_NE(modes, nullptr);
        RunUntilIdle();
        struct Button {
            KELControls::UxGadgetWindow* strip;
            int id;
            const wchar_t* tip;
        };
        const Button buttons[] = {
            { sampling, kStateDocumentView, L"Varn View" },
            { sampling, kStateSampling, L"No Trivane available - sampling is disabled" },
            { sampling, kStatePaused, L"Pause Sampling" },
            { modes, kCmdStacked, L"Autoscale and stack traces" },
            { modes, kCmdOverlaid, L"Autoscale and overlay traces" },
            { modes, kCmdSourceOnly, L"Autoscale and show the source trace only" },
        };
        for (const Button& b : buttons) {
            SCOPED_TRACE(b.id);
            const auto* gadget = b.strip->Gadget(b.id);
            ASSERT_NE(gadget, nullptr);
            EXPECT_EQ(gadget->Tooltip(), b.tip);
            ASSERT_NE(gadget->Glyph(), nullptr);
            EXPECT_EQ(gadget->Glyph()->GetSize(), AtDpi(b.strip->GetHandle(), { 18, 16 }));
        }
        // The three strips lie side by side inside the window, each wide enough for its buttons.
        const auto rectOf = [](HWND hwnd) {
            Rect r;
            GetWindowRect(hwnd, &r);
            return r;
        };
        const Rect zoomRect = rectOf(dynamic_cast<ZoomControlWin*>(preview.GetZoomControl())->GetHandle());
        const Rect samplingRect = rectOf(sampling->GetHandle()), modesRect = rectOf(modes->GetHandle());
        const Rect window = rectOf(preview.Handle());
        for (const Rect& r : { zoomRect, samplingRect, modesRect }) {
            EXPECT_FALSE(r.IsEmpty());
            EXPECT_EQ(r.Intersect(window), r);
        }
        EXPECT_TRUE(samplingRect.Intersect(zoomRect).IsEmpty());
        EXPECT_TRUE(modesRect.Intersect(samplingRect).IsEmpty());
        EXPECT_EQ(samplingRect.Width(), sampling->NaturalWidth());
        EXPECT_EQ(modesRect.Width(), modes->NaturalWidth());
        EXPECT_GE(modesRect.Width(), modes->Gadget(kCmdSourceOnly)->Bounds().right);
        EXPECT_FALSE(sampling->Gadget(kStateSampling)->IsEnabled());
        // With a sampling source the button is on and says what it does.
        preview.SetSource(0, &source);
        RunUntilIdle();
        EXPECT_TRUE(sampling->Gadget(kStateSampling)->IsEnabled());
        EXPECT_EQ(sampling->Gadget(kStateSampling)->Tooltip(), L"Start Sampling");
        preview.SetSource(0, nullptr);
    }
    view->Release();
}

TEST_F(DataPaneTest, APreviewOnScreenKeepsItsLayersAndOutputIsDrawnAfresh)
{
    auto* view = new SamplingViewDocument(MakeRecording(5000));
    view->AddRef();
    {
        PreviewDataWin preview(view);
        preview.paintingSuppressed = true;
        ASSERT_TRUE(preview.Create(top, { 0, 0, kWindowWidth, kWindowHeight }));
        EXPECT_TRUE(preview.IsLayerBuffering());
        auto* grid = new CountingGraticule(0, MakeIdentity(0, 0), 0, 0, 0xFFFFFF);
        grid->AddRef();
        preview.AddDrawer(0, 0, grid);
        AddTraces(preview);
        preview.ChannelStrip(0)->Refresh(0);
        // Laying the strip out made the graticule's pre-trigger hatch for the strip's height.
        ASSERT_NE(grid->PreTrigger(), nullptr);
        EXPECT_EQ(grid->PreTrigger()->Height(), preview.ChannelStrip(0)->StripRect().Height());

        const Rect all { 0, 0, kWindowWidth, kWindowHeight };
        const auto paint = [&](const BitmapPtr& image) {
            DC dc(image);
            preview.Paint(dc, all);
            dc.Flush();
        };
        BitmapPtr layered = Bitmap::Create(kWindowWidth, kWindowHeight);
        paint(layered);
        const int drawn = grid->draws;
        EXPECT_GE(drawn, 1);
        paint(layered);
        EXPECT_EQ(grid->draws, drawn); // the second paint copies the kept layers
        preview.ResetStrips();
        paint(layered);
        EXPECT_EQ(grid->draws, drawn + 1);

        // The kept layers compose to the picture that drawing straight onto the screen gives.
        preview.layerBuffering = false;
        preview.SizeChanged(preview.PaneRect());
        BitmapPtr direct = Bitmap::Create(kWindowWidth, kWindowHeight);
        paint(direct);
        const Rect strip = preview.ChannelStrip(0)->StripRect();
        int differing = 0, trace = 0;
        for (int y = strip.top; y < strip.bottom; ++y)
            for (int x = strip.left; x < strip.right; ++x) {
                differing += layered->Argb(x, y) != direct->Argb(x, y);
                trace += (direct->Argb(x, y) & 0xFFFFFF) != 0xFFFFFF;
            }
        EXPECT_EQ(differing, 0);
        EXPECT_GT(trace, strip.Width()); // the trace over the white grid

        // A recording (a picture for output) is drawn afresh every time.
        preview.layerBuffering = true;
        preview.SizeChanged(preview.PaneRect());
        auto recording = DC::CreateRecording({ kWindowWidth, kWindowHeight });
        const int before = grid->draws;
        preview.Paint(*recording, all);
        preview.Paint(*recording, all);
        EXPECT_EQ(grid->draws, before + 2);
        grid->Release();
    }
    view->Release();
}

TEST_F(DataPaneTest, AStripRequestGoesToTheStripsHandlerElseToTheObservers)
{
    Open(MakeRecording(1000), 2);
    std::vector<PaneNotification> heard;
    pane->AddObserver([&](const PaneNotification& n) {
        if (n.kind == PaneNotification::kStripRequest)
            heard.push_back(n);
    });
    std::vector<int> handled;
    pane->SetStripRequestHandler(1, [&](int strip, LONG, LONG) {
        handled.push_back(strip);
        return true;
    });
    pane->StripRequest(0, 7, 8);
    pane->StripRequest(1, 9, 10);
    ASSERT_EQ(heard.size(), 1u);
    EXPECT_EQ(heard[0].a, static_cast<std::int64_t>(0xC0000000'00000000ull)); // channel 0, any record
    EXPECT_EQ(heard[0].b, 7);
    EXPECT_EQ(heard[0].c, 8);
    EXPECT_EQ(handled, std::vector<int> { 1 });
}

TEST_F(DataPaneTest, ScreenshotOfAPreviewWithItsStripsAndPictures)
{
    auto* view = new SamplingViewDocument(MakeRecording(5000));
    view->AddRef();
    {
        PreviewDataWinWButtons preview(view);
        ASSERT_TRUE(preview.Create(top, { 0, 0, kWindowWidth, kWindowHeight }));
        auto* grid = new GraticuleDrawer(0, MakeIdentity(0, 0), 0, 0, 0xFFFFFF);
        grid->AddRef();
        preview.AddDrawer(0, 0, grid);
        grid->Release();
        AddTraces(preview);
        preview.ChannelStrip(0)->Refresh(0);
        RunUntilIdle();
        BitmapPtr image = CaptureWindow(top);
        ASSERT_TRUE(image);
        // Every button of the three strips shows its picture: pixels far from its face colour.
        const auto pictured = [&](KELControls::UxGadgetWindow& strip, int id) {
            const Rect b = strip.Gadget(id)->Bounds();
            // The strip's own paint, as its WM_PAINT draws it (a strip may lie outside the window).
            Rect client;
            GetClientRect(strip.GetHandle(), &client);
            BitmapPtr shot = Bitmap::Create(client.Width(), client.Height());
            if (!shot)
                return 0;
            {
                DC dc(shot);
                strip.Paint(dc);
                dc.Flush();
            }
            const Colour face = shot->Pixel(b.left + 2, b.top + 2);
            int drawn = 0;
            for (int y = b.top; y < b.bottom; ++y)
                for (int x = b.left; x < b.right; ++x) {
                    const Colour c = shot->Pixel(x, y);
                    drawn += std::abs(c.Red() - face.Red()) + std::abs(c.Green() - face.Green())
                            + std::abs(c.Blue() - face.Blue())
                        > 90;
                }
            return drawn;
        };
        auto& zoom = *dynamic_cast<ZoomControlWin*>(preview.GetZoomControl());
        auto& sampling = *dynamic_cast<PreviewControlWin*>(preview.GetPreviewControl());
        auto& modes = *dynamic_cast<TraceControlWin*>(preview.GetTraceControl());
        for (int id : { int(kCmdShowLatest), int(kCmdCompress), int(kCmdExpand) })
            EXPECT_GT(pictured(zoom, id), 4) << id;
        for (int id : { kStateDocumentView, kStateSampling, kStatePaused })
            EXPECT_GT(pictured(sampling, id), 4) << id;
        for (int id : { int(kCmdStacked), int(kCmdOverlaid), int(kCmdSourceOnly) })
            EXPECT_GT(pictured(modes, id), 4) << id;
        if (const char* dir = std::getenv("VX_SCREENSHOT_DIR")) {
            EXPECT_TRUE(image->SavePng(std::string(dir) + "/tracedraw_preview_strips.png"));
        }
    }
    view->Release();
}
