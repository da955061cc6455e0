// The drawers painted through the recording context and into bitmaps, over the host's record
// source and record data.
#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <vector>

#include "host/eventdraw/EventDrawClasses.h"
#include "host/tracedraw/TraceHost.h"
#include "tracedraw/ChildPane.h"
#include "tracedraw/EventDrawer.h"
#include "tracedraw/Graticule.h"
#include "tracedraw/TimeScale.h"
#include "tracedraw/TraceDrawer.h"

// Fontconfig keeps its font cache for the life of the process (the time labels measure text);
// that memory is the library's, not ours.
extern "C" const char* __lsan_default_suppressions()
{
    return "leak:libfontconfig.so\n";
}

using namespace VarnDraw;
using vx::ui::Colour;
using vx::ui::DrawCommand;
using vx::ui::Point;
using vx::ui::Rect;

namespace {

using Op = DrawCommand::Op;

// One record of `n` samples of a ramp (value = sample mod 100, so -1..1 is crossed nowhere and
// each pixel column has a known min and max), with an event channel.
std::shared_ptr<vx::host::Recording> MakeRecording(
    std::vector<float> values, std::vector<std::pair<int, float>> events = {})
{
    auto r = std::make_shared<vx::host::Recording>();
    r->AddChannel({});
    const int record = r->AddRecord(0.001);
    r->records[record].length = static_cast<int64_t>(values.size());
    r->records[record].channels[0] = vx::host::SampleStore(std::move(values));
    vx::host::EventChannel channel;
    channel.records.resize(1);
    for (auto [position, fraction] : events) {
        vx::host::AnnotationEvent e { position, fraction, 1, 0, 0, 0, 0 };
        const auto* bytes = reinterpret_cast<const std::byte*>(&e);
        channel.records[0].insert(channel.records[0].end(), bytes, bytes + sizeof e);
    }
    r->eventChannels.push_back(channel);
    return r;
}

// A pane with one channel strip of `width` x `height` showing the recording from sample 0 at
// `perPixel` samples per pixel.
struct PaneFixture {
    PaneFixture(std::shared_ptr<vx::host::Recording> recording, int width, int height, double perPixel = 1.0)
        : source(new vx::host::HostRecordSource(recording, 0))
    {
        source->AddRef();
        source->SetView(0.0, perPixel);
        pane.SetRecordSource(source);
        pane.record = 0;
        strip = new ChannelPane(ChannelPaneInit {});
        pane.AddStrip(strip);
        strip->SetBounds(width, 0, { 0, 0, width, height });
        params.samplesPerPixel = perPixel;
        params.secondsPerSample = 0.001;
        params.grid = { 0, 0, 0, 0 };
    }
    ~PaneFixture() { source->Release(); }

    // Adds a drawer the way its creator does: one reference of its own, given back after.
    template <class D> D* Add(D* drawer)
    {
        drawer->AddRef();
        EXPECT_EQ(pane.AddDrawer(0, 0, drawer, 255), S_OK);
        drawer->Release();
        return drawer;
    }

    std::vector<DrawCommand> Record()
    {
        auto dc = vx::ui::DC::CreateRecording({ strip->StripRect().Width(), strip->StripRect().Height() });
        strip->InvalidateAll();
        strip->Paint(*dc, strip->StripRect(), 0, 0xFFu, params);
        return dc->Commands();
    }

    vx::host::HostRecordSource* source;
    DrawerDataPane pane;
    ChannelPane* strip;
    DrawParams params;
};

std::vector<DrawCommand> OfOp(const std::vector<DrawCommand>& commands, Op op)
{
    std::vector<DrawCommand> out;
    for (const auto& c : commands)
        if (c.op == op)
            out.push_back(c);
    return out;
}

std::vector<float> Ramp(int n)
{
    std::vector<float> v(static_cast<std::size_t>(n));
    for (int i = 0; i < n; ++i)
        v[static_cast<std::size_t>(i)] = static_cast<float>(i % 100) / 100.0f;
    return v;
}

} // namespace

TEST(DrawOrder, LayersSortStablyAndOutOfRangeOrdersAreRefused)
{
    PaneFixture f(MakeRecording(Ramp(400), { { 10, 0.0f } }), 200, 50);
    auto* events = f.Add(new EventDrawer(0x301, MakeIdentity(1, 0)));
    auto* a = f.Add(new PolyLineTraceDrawer(0, MakeIdentity(0, 0), 1, Colour::Rgb(1, 0, 0)));
    auto* grid = f.Add(new GraticuleDrawer(0, MakeIdentity(0, 0), 0, 0, 0xFFFFFF));
    auto* b = f.Add(new PolyLineTraceDrawer(0, MakeIdentity(0, 0), 1, Colour::Rgb(2, 0, 0)));
    ASSERT_EQ(f.strip->DrawerCount(), 4u);
    EXPECT_EQ(f.strip->Drawer(0), grid);
    EXPECT_EQ(f.strip->Drawer(1), a);
    EXPECT_EQ(f.strip->Drawer(2), b);
    EXPECT_EQ(f.strip->Drawer(3), events);
    EXPECT_EQ(f.strip->Layer(0).first, 0);
    EXPECT_EQ(f.strip->Layer(2).first, 1);
    EXPECT_EQ(f.strip->Layer(2).end, 3);
    EXPECT_EQ(f.strip->Layer(3).first, 3);
    // Each drawer is held by the strip alone once its creator let go.
    EXPECT_EQ(a->RefCount(), 1u);

    vx::hf::DisplayRange range { 0, 1 };
    f.strip->ScaleRangeChanged(1, 0, &range);
    const auto commands = f.Record();
    // Background first, then trace a, trace b, then the event circle.
    std::vector<std::string> sequence;
    for (const auto& c : commands)
        if (c.op == Op::FillRect && sequence.empty())
            sequence.push_back("background");
        else if (c.op == Op::SelectPen
            && (c.pen.colour == Colour::Rgb(1, 0, 0) || c.pen.colour == Colour::Rgb(2, 0, 0)))
            sequence.push_back(c.pen.colour == Colour::Rgb(1, 0, 0) ? "a" : "b");
        else if (c.op == Op::Ellipse)
            sequence.push_back("event");
    EXPECT_EQ(sequence, (std::vector<std::string> { "background", "a", "b", "event" }));

    for (std::int32_t order : { -1, 2048, 4000 }) {
        auto* bad = new EventDrawer(order, MakeIdentity(1, 0));
        bad->AddRef();
        EXPECT_EQ(f.strip->AddDrawer(0, bad, 255), E_INVALIDARG) << order;
        EXPECT_EQ(bad->RefCount(), 1u);
        bad->Release();
    }
    EXPECT_EQ(f.strip->AddDrawer(0, nullptr, 255), E_INVALIDARG);

    int left = 0, right = 0;
    f.strip->Margins(0x300, 0x400, nullptr, left, right);
    EXPECT_EQ(left, 10);
    EXPECT_EQ(right, 10);
    f.strip->RemoveDrawers(kKindTrace, kNoIdentity);
    ASSERT_EQ(f.strip->DrawerCount(), 2u);
    EXPECT_EQ(f.strip->Drawer(0), grid);
    EXPECT_EQ(f.strip->Drawer(1), events);
}

TEST(Drawers, ClonesComeWithOneReferenceAndSourceIdsFallBack)
{
    auto* trace = new PolyLineTraceDrawer(0, MakeIdentity(3, 7), 1);
    trace->AddRef();
    std::int64_t id = 0;
    trace->GetSourceId(&id);
    EXPECT_EQ(id, MakeIdentity(3, 7));
    IVarnRecordDrawer* copy = nullptr;
    ASSERT_EQ(trace->Clone(0, &copy), S_OK);
    EXPECT_EQ(static_cast<PolyLineTraceDrawer*>(copy)->RefCount(), 1u);
    EXPECT_EQ(static_cast<PolyLineTraceDrawer*>(copy)->TraceColour(), trace->TraceColour());
    EXPECT_EQ(trace->Clone(0, nullptr), E_INVALIDARG);
    copy->Release();
    trace->Release();

    TimeScale scale;
    ASSERT_EQ(scale.DrawerCount(), 1u);
    EXPECT_EQ(scale.LabelDrawer()->RefCount(), 1u);
    scale.RemoveDrawers(0, kNoIdentity); // the label drawer comes back
    EXPECT_EQ(scale.DrawerCount(), 1u);
}

TEST(DataPane, DrawersNeverCallAPaneThatWent)
{
    auto* strip = new ChannelPane(ChannelPaneInit {});
    strip->AddRef();
    auto* trace = new PolyLineTraceDrawer(0, MakeIdentity(0, 0), 1);
    trace->AddRef();
    {
        DrawerDataPane pane;
        pane.AddStrip(strip);
        ASSERT_EQ(pane.AddDrawer(0, 0, trace, 255), S_OK);
        EXPECT_EQ(trace->DataPane(), &pane);
    }
    EXPECT_EQ(trace->DataPane(), nullptr);
    EXPECT_EQ(strip->DataPane(), nullptr);
    // Drawing without the pane is safe.
    auto dc = vx::ui::DC::CreateRecording({ 10, 10 });
    DrawParams p;
    p.xTo = 10;
    trace->Draw(dc.get(), &p);
    trace->Release();
    strip->Release();
}

TEST(DataPane, PerStripQueriesAndBackgroundColours)
{
    DrawerDataPane pane;
    pane.AddStrip(new ChannelPane(ChannelPaneInit {}));
    std::int64_t id = 0;
    std::int32_t width = 0;
    IUnknown* scale = nullptr;
    EXPECT_EQ(pane.GetScaleIdentity(1, &id), E_INVALIDARG);
    EXPECT_EQ(pane.GetStripWidth(1, &width), E_INVALIDARG);
    EXPECT_EQ(pane.GetScaleObject(1, 1, &scale), E_INVALIDARG);
    EXPECT_EQ(pane.QueryStripDrawing(1, nullptr), E_INVALIDARG);
    EXPECT_EQ(pane.GetStripWidth(0, &width), S_OK);
    EXPECT_EQ(pane.SetBlend(0, 8, 128), E_INVALIDARG);
    ASSERT_EQ(pane.SetBlend(0, 5, 128), S_OK);
    EXPECT_EQ(pane.Strip(0)->Layer(5).flags & kLayerOpaque, 0u);

    DWORD out = 0;
    pane.background = 0xFFFFFF;
    pane.TraceColourForBackground(0x123456, &out);
    EXPECT_EQ(out, 0x123456u);
    pane.background = 0;
    pane.TraceColourForBackground(0, &out);
    EXPECT_EQ(out, 0xFFFFFFu);
    pane.GetBackgroundColour(&out);
    EXPECT_EQ(out, 0u);
    pane.optionFlags = 1u << 23;
    pane.GetBackgroundColour(&out);
    EXPECT_EQ(out, 0xFFFFFFu); // print mode: white paper
    WORD print = 0;
    pane.GetPrintMode(&print);
    EXPECT_EQ(print, 0xFFFF);
}

TEST(Graticule, TimeGridColumnsRoundHalfUpAndBadSpacingsDrawNothing)
{
    PaneFixture f(MakeRecording(Ramp(400)), 60, 40);
    f.Add(new GraticuleDrawer(0, MakeIdentity(0, 0), 0, 0, 0xFFFFFF));
    f.params.grid = { 0.0, 0.0, 12.5, 4 };
    auto columns = [&] {
        std::vector<int> xs;
        for (const auto& c : OfOp(f.Record(), Op::Blit))
            xs.push_back(c.rect.left);
        return xs;
    };
    // Minor lines at 0, 12.5, 25, 37.5, 50; major lines at 0 and 50.
    EXPECT_EQ(columns(), (std::vector<int> { 0, 13, 25, 38, 50, 0, 50 }));
    for (double spacing : { 0.0, -12.5, std::nan("") }) {
        f.params.grid = { 0.0, 0.0, spacing, 4 };
        EXPECT_TRUE(columns().empty()) << spacing;
    }
    f.params.grid = { 0.0, 0.0, 12.5, 0 }; // no major lines
    EXPECT_EQ(columns().size(), 5u);
}

TEST(Graticule, GridRowsValidRangeAndGuideLines)
{
    PaneFixture f(MakeRecording(Ramp(400)), 40, 100);
    auto* grid = f.Add(new GraticuleDrawer(0, MakeIdentity(0, 0), 0, 0, 0xFFFFFF));
    auto* scale = new vx::host::HostScale(nullptr, 0, 0, 0, 1);
    scale->AddRef();
    vx::hf::DisplayRange range { -1, 1 };
    scale->SetRange(&range);
    scale->SetValidRange({ -0.5, 3.0 }); // the top maps above the strip: no fill there
    grid->SetScaleRange(1, 0, &range, static_cast<IHostScale*>(scale));
    scale->Release();
    std::vector<std::pair<int, int>> majors;
    for (auto row : grid->GridRows())
        if (row.second == 2)
            majors.push_back(row);
    EXPECT_EQ(majors, (std::vector<std::pair<int, int>> { { 100, 2 }, { 75, 2 }, { 50, 2 }, { 25, 2 }, { 0, 2 } }));
    std::vector<Rect> outOfRange;
    for (const auto& c : OfOp(f.Record(), Op::FillRect))
        if (c.brush.colour == GraticuleDrawer::kOutOfRange)
            outOfRange.push_back(c.rect);
    EXPECT_EQ(outOfRange, (std::vector<Rect> { { 0, 75, 40, 100 } }));
    // The major rows are stamped across the strip; the rows between them stay background.
    {
        auto bitmap = vx::ui::Bitmap::Create(40, 100);
        vx::ui::DC dc(bitmap);
        f.strip->InvalidateAll();
        f.strip->Paint(dc, f.strip->StripRect(), 0, 0xFFu, f.params);
        dc.Flush();
        EXPECT_NE(bitmap->Pixel(5, 50), Colour { 0xFFFFFF });
        EXPECT_EQ(bitmap->Pixel(35, 50), bitmap->Pixel(5, 50));
        EXPECT_EQ(bitmap->Pixel(5, 52), Colour { 0xFFFFFF });
    }

    // Guide lines: a finite one is drawn (clamped to 16000), a NaN one gives no line and no band.
    auto* settings = static_cast<GraticuleSettings*>(grid->GetSettings());
    settings->flags = 32 | 1 | 64 | 2 | 4 | 8;
    settings->guideValue[0] = -1e9;
    settings->guideValue[1] = std::nan("");
    settings->bandColour[2] = 0x010203;
    const auto commands = f.Record();
    std::vector<int> rows;
    for (const auto& c : OfOp(commands, Op::MoveTo))
        rows.push_back(c.points[0].y);
    EXPECT_EQ(rows, (std::vector<int> { 16000 }));
    for (const auto& c : OfOp(commands, Op::FillRect))
        EXPECT_NE(c.brush.colour.value, settings->bandColour[2]);
}

TEST(Graticule, MetafileCloneDrawsDottedLinesAndNoBackground)
{
    PaneFixture f(MakeRecording(Ramp(400)), 60, 40);
    auto* grid = new GraticuleDrawer(0, MakeIdentity(0, 0), 0, 0, 0xFFFFFF);
    grid->AddRef();
    IVarnRecordDrawer* metafile = nullptr;
    ASSERT_EQ(grid->Clone(0x40000000u, &metafile), S_OK);
    grid->Release();
    f.pane.AddDrawer(0, 0, metafile, 255);
    metafile->Release();
    f.params.grid = { 5.0, 5.0, 10.0, 5 };
    const auto commands = f.Record();
    EXPECT_TRUE(OfOp(commands, Op::FillRect).empty());
    EXPECT_TRUE(OfOp(commands, Op::Blit).empty());
    std::vector<int> xs;
    for (const auto& c : OfOp(commands, Op::MoveTo))
        xs.push_back(c.points[0].x);
    EXPECT_EQ(xs, (std::vector<int> { 5, 15, 25, 35, 45, 55, 5, 55 }));
}

TEST(TraceDrawer, DrawsTheMinMaxRunsInBatchesAndStopsWhereTheDataEnds)
{
    // 3000 samples at 10 per pixel: 300 columns, drawn in batches of 128 segments.
    PaneFixture f(MakeRecording(Ramp(3000)), 300, 100, 10.0);
    auto* trace = f.Add(new PolyLineTraceDrawer(0, MakeIdentity(0, 0), 1, Colour::Rgb(0, 0, 255)));
    vx::hf::DisplayRange range { 0, 1 };
    f.strip->ScaleRangeChanged(1, 0, &range);
    auto lines = OfOp(f.Record(), Op::PolyPolyline);
    ASSERT_EQ(lines.size(), 3u);
    EXPECT_EQ(lines[0].points.size(), 256u);
    EXPECT_EQ(lines[2].points.size(), 88u);
    EXPECT_EQ(trace->LastColumns(), 300);
    // Column 3 holds samples 30..39 (0.30..0.39): rows 61..70, joined to column 2's last (0.29 -> 71).
    EXPECT_EQ(lines[0].points[6], (Point { 3, 61 }));
    EXPECT_EQ(lines[0].points[7], (Point { 3, 72 }));
    EXPECT_FALSE(trace->HoldsIterator()); // one-shot drawing

    // A record that ends after 100 columns stops after the first, short batch.
    PaneFixture g(MakeRecording(Ramp(1000)), 300, 100, 10.0);
    auto* shortTrace = g.Add(new PolyLineTraceDrawer(0, MakeIdentity(0, 0), 1));
    g.strip->ScaleRangeChanged(1, 0, &range);
    lines = OfOp(g.Record(), Op::PolyPolyline);
    ASSERT_EQ(lines.size(), 1u);
    EXPECT_EQ(lines[0].points.size(), 200u);
    EXPECT_EQ(shortTrace->LastColumns(), 100);

    // A scale range for the other scale is not the drawer's.
    vx::hf::DisplayRange other { -5, 5 };
    EXPECT_EQ(trace->SetScaleRange(2, 0, &other, nullptr), S_FALSE);
}

TEST(TraceDrawer, PaletteAndLightenedStyle)
{
    const TracePalette twelve = SelectTraceColourTable(8, false);
    PolyLineTraceDrawer thirteen(0, MakeIdentity(13, 0), 1, {}, kNoIdentity, twelve);
    EXPECT_EQ(thirteen.TraceColour(), Colour::Rgb(0, 0, 255)); // P[O[1] mod 12]
    PolyLineTraceDrawer negative(0, MakeIdentity(static_cast<std::uint32_t>(-1), 0), 1, {}, kNoIdentity, twelve);
    EXPECT_EQ(negative.TraceColour(), Colour::Rgb(0, 255, 255)); // entry 11, not a read before the table
    EXPECT_EQ(SelectTraceColourTable(32, false).count, 18);
    EXPECT_EQ(SelectTraceColourTable(32, false).ForChannel(1), Colour::Rgb(0, 64, 255));
    EXPECT_EQ(SelectTraceColourTable(24, true).count, 20);

    auto rec = MakeRecording(Ramp(10));
    auto* source = new vx::host::HostRecordSource(rec, 0, true);
    source->AddRef();
    auto* trace = new PolyLineTraceDrawer(0, MakeIdentity(0, 0), 1, Colour::Rgb(200, 10, 10));
    trace->AddRef();
    trace->SetSource(0, source);
    vx::host::HostChannelSettings settings;
    settings.AddRef();
    settings.At(0).traceStyle = 1;
    trace->UpdateSettings(static_cast<IChannelDrawSettings*>(&settings), nullptr, 0);
    EXPECT_EQ(trace->SegmentColour(2), Colour::Rgb(66, 66, 66).value);
    EXPECT_EQ(trace->SegmentColour(0), Colour::Rgb(200, 10, 10).value);
    trace->Release();
    source->Release();
}

TEST(EventDrawer, MarksEventsAtRoundedColumnsInsideTheRange)
{
    // 1 sample per pixel; events at 0 (the range start), 5.5, 20.4 and 60 (the range end).
    PaneFixture f(MakeRecording(Ramp(100), { { 0, 0.0f }, { 5, 0.5f }, { 20, 0.4f }, { 60, 0.0f } }), 60, 30);
    f.Add(new EventDrawer(0x300, MakeIdentity(1, 0)));
    const auto commands = f.Record();
    std::vector<int> xs;
    for (const auto& c : OfOp(commands, Op::MoveTo))
        xs.push_back(c.points[0].x);
    EXPECT_EQ(xs, (std::vector<int> { 0, 6, 20 }));
    const auto circles = OfOp(commands, Op::Ellipse);
    ASSERT_EQ(circles.size(), 3u);
    EXPECT_EQ(circles[1].rect, (Rect { 3, 0, 10, 7 })); // 7 pixels at 96 dots per inch
    // No event type: white circles.
    for (const auto& c : OfOp(commands, Op::SelectBrush))
        EXPECT_EQ(c.brush.colour, Colour { 0xFFFFFF });
    EXPECT_EQ(EventDrawer::Radius(96), 3);
    EXPECT_EQ(EventDrawer::Radius(120), 3);
    EXPECT_EQ(EventDrawer::Radius(144), 4);
}

TEST(TimeScale, TickSpacingCases)
{
    struct Case {
        double s;
        double step;
        int multiplier;
        bool clock;
        int division;
    };
    const Case cases[] = {
        { 0.001, 0.05, 5, false, 5 },
        { 10.0, 300.0, 5, false, 5 },
        { 2000.0 / 18.0, 3600.0, 1, true, 6 },
    };
    for (const Case& c : cases) {
        const TickSpacing t = ComputeTickSpacing(c.s, 1.0, 1000);
        ASSERT_TRUE(t.valid) << c.s;
        EXPECT_NEAR(t.step, c.step, 1e-9) << c.s;
        EXPECT_EQ(t.multiplier, c.multiplier) << c.s;
        EXPECT_EQ(t.clock, c.clock) << c.s;
        EXPECT_EQ(t.minorDivision, c.division) << c.s;
    }
    EXPECT_NEAR(ComputeTickSpacing(0.001, 1.0, 1000).minorPixels, 10.0, 1e-9);
    for (double s : { 0.0, -1.0, std::nan(""), double(INFINITY) })
        EXPECT_FALSE(ComputeTickSpacing(s, 1.0, 1000).valid) << s;
}

TEST(TimeScale, TicksLandOnTheGridHandedToTheGraticules)
{
    auto rec = MakeRecording(Ramp(5000));
    auto* source = new vx::host::HostRecordSource(rec, 0);
    source->AddRef();
    DrawerDataPane pane;
    pane.SetRecordSource(source);
    auto* scale = new TimeScale();
    pane.AddStrip(scale);
    scale->SetBounds(400, 0, { 0, 0, 400, 30 });
    DrawParams p;
    // 1 ms per pixel gives majors of 0.05 s, 50 pixels apart; labels such as "0:00:00.05" do not
    // fit in 50 pixels, so the step is doubled once: 0.1 s, 100 pixels, minors every 20.
    p.samplesPerPixel = 1.0;
    p.secondsPerSample = 0.001;
    p.firstSample = 3.0; // the first major tick (0.1 s) lies 97 pixels in
    auto dc = vx::ui::DC::CreateRecording({ 400, 30 });
    GridParams grid;
    ASSERT_TRUE(scale->LayoutGrid(*dc, p, grid));
    EXPECT_EQ(grid.firstMajor, 97.0);
    EXPECT_EQ(grid.firstMinor, 17.0);
    EXPECT_EQ(grid.minorSpacing, 20.0);
    EXPECT_EQ(grid.majorEvery, 5);
    scale->Paint(*dc, scale->StripRect(), 0, 0xFFu, p);
    std::vector<int> xs;
    for (const auto& c : OfOp(dc->Commands(), Op::MoveTo))
        xs.push_back(c.points[0].x);
    ASSERT_EQ(xs.size(), 20u);
    EXPECT_EQ(xs[0], 17);
    EXPECT_EQ(xs[4], 97);
    EXPECT_EQ(xs[19], 397);
    source->Release();
}

TEST(ChannelPane, ScaleRangesAndPrefixes)
{
    auto* factory = new vx::host::HostScaleFactory;
    factory->AddRef();
    SetHostScaleFactory(factory);
    factory->Release();
    DrawerDataPane pane;
    auto* strip = new ChannelPane(ChannelPaneInit {});
    pane.AddStrip(strip);
    ASSERT_EQ(strip->CreateScales(nullptr, 0), S_OK);
    IHostScale* scale = strip->GetScale1();
    ASSERT_NE(scale, nullptr);
    EXPECT_FALSE(strip->SetScaleRange(0, 1, { 2.0, 2.0 }, true, true));
    ASSERT_EQ(strip->SetScaleUnit(L"", 1, 7), S_OK);
    ASSERT_TRUE(strip->SetScaleRange(0, 1, { -0.001, 0.002 }, true, true));
    vx::hf::DisplayRange shown;
    static_cast<vx::host::HostScale*>(scale)->GetRange(&shown);
    EXPECT_DOUBLE_EQ(shown.bottom, -1.0);
    EXPECT_DOUBLE_EQ(shown.top, 2.0);
    EXPECT_EQ(strip->SetScaleUnit(L"", 3, 7), E_FAIL);
    EXPECT_EQ(strip->SendScaleCommand(3), E_FAIL);
    EXPECT_FALSE(strip->HitTest({ 0, 0 }));
    scale->Release();
    SetHostScaleFactory(nullptr);
}

TEST(PixelProbes, BackgroundGridTraceAndEventLandWhereTheCommandsSay)
{
    PaneFixture f(MakeRecording(std::vector<float>(200, 0.5f), { { 30, 0.0f } }), 100, 40);
    f.Add(new GraticuleDrawer(0, MakeIdentity(0, 0), 0, 0, 0xFFFFFF));
    f.Add(new PolyLineTraceDrawer(0, MakeIdentity(0, 0), 1, Colour::Rgb(255, 0, 0)));
    f.Add(new EventDrawer(0x300, MakeIdentity(1, 0)));
    vx::hf::DisplayRange range { 0, 1 };
    f.strip->ScaleRangeChanged(1, 0, &range);
    f.params.grid = { 10.0, 10.0, 20.0, 2 };
    auto bitmap = vx::ui::Bitmap::Create(100, 40);
    vx::ui::DC dc(bitmap);
    f.strip->InvalidateAll();
    f.strip->Paint(dc, f.strip->StripRect(), 0, 0xFFu, f.params);
    dc.Flush();
    EXPECT_EQ(bitmap->Pixel(5, 35), Colour { 0xFFFFFF }); // background
    EXPECT_NE(bitmap->Pixel(10, 35), Colour { 0xFFFFFF }); // a grid column
    EXPECT_EQ(bitmap->Pixel(70, 20), Colour::Rgb(255, 0, 0)); // the trace at 0.5: row 20
    EXPECT_EQ(bitmap->Pixel(30, 3), Colour { 0xFFFFFF }); // inside the event's white circle
    EXPECT_EQ(bitmap->Pixel(27, 3), Colour {}); // its black outline
}

namespace {

// A record whose pixel runs come in batches that cover no column: a drawer that waited for the
// columns to be done would never stop.
struct StuckIterator final : SimpleUnknownImp1<ISegmentIterator, 1> {
    HRESULT Next(ULONG maxPoints, Point* points, ULONG* count, ULONG* columns) override
    {
        for (ULONG i = 0; i < maxPoints; ++i)
            points[i] = { 1, static_cast<int>(i % 2) };
        *count = maxPoints;
        *columns = 0;
        ++calls;
        return S_OK;
    }
    HRESULT GetSamplesConsumed(std::int64_t* samples) override { return *samples = 0, S_OK; }
    HRESULT AdvanceTo(std::int64_t) override { return S_OK; }
    int calls = 0;
};

struct StuckData final : SimpleUnknownImp1<IRecordData, 1> {
    HRESULT GetEventType(ULONG, DWORD*) override { return E_NOTIMPL; }
    HRESULT GetEndPosition(DWORD, std::int64_t*) override { return E_NOTIMPL; }
    HRESULT GetCurrentBlock(std::int64_t* block) override { return *block = 0, S_OK; }
    HRESULT QueryValues(DWORD, ULONG, vx::hf::DisplayRange*) override { return S_FALSE; }
    HRESULT GetPresence(ULONG, std::int64_t, WORD* present) override { return *present = 1, S_OK; }
    HRESULT GetValue(ULONG, std::int64_t, double*, BSTR*) override { return E_NOTIMPL; }
    HRESULT GetStartTime(DWORD, LONG, double*) override { return E_NOTIMPL; }
    HRESULT CreateEventEnumerator(DWORD, ULONG, DWORD, LONG, LONG, IEnumEventEx**) override { return E_NOTIMPL; }
    HRESULT CreateSegmentIterator(DWORD, ULONG, const vx::hf::DisplayRange*, std::int64_t, const vx::hf::StripGeometry*,
        ISegmentIterator** out) override
    {
        iterator.AddRef();
        *out = &iterator;
        return S_OK;
    }
    StuckIterator iterator;
};

struct StuckSource final : SimpleUnknownImp1<IRecordSource, 1> {
    HRESULT SetAxis(DWORD, LONG) override { return S_OK; }
    HRESULT GetCurrentPosition(std::int64_t* p) override { return *p = 0, S_OK; }
    HRESULT GetCurrentRecord(IUnknown** out) override
    {
        data.AddRef();
        *out = &data;
        return S_OK;
    }
    HRESULT GetRecordIndex(LONG* r) override { return *r = 0, S_OK; }
    HRESULT GetSampleInterval(double* s) override { return *s = 1, S_OK; }
    HRESULT PixelsToSamples(DWORD, LONG, LONG, LONG, double*, double*) override { return E_NOTIMPL; }
    HRESULT SampleToPixel(DWORD, LONG, double, double*) override { return E_NOTIMPL; }
    StuckData data;
};

} // namespace

TEST(TraceDrawer, ABatchThatCoversNoColumnEndsTheDrawing)
{
    StuckSource source;
    auto* trace = new PolyLineTraceDrawer(0, MakeIdentity(0, 0), 1);
    trace->AddRef();
    trace->SetSource(0, &source);
    auto dc = vx::ui::DC::CreateRecording({ 300, 50 });
    DrawParams p;
    p.xTo = 300;
    trace->Draw(dc.get(), &p);
    EXPECT_EQ(source.data.iterator.calls, 1);
    EXPECT_EQ(trace->LastColumns(), 0);
    trace->Release();
}

namespace {

// An extension's event-draw class: red marks for annotation code 1, blue for the others.
struct BeatDrawClass final : SimpleUnknownImp2<IEventDrawClass, IEventDraw, 1> {
    static constexpr DWORD kType = 0x00420001;
    HRESULT GetClassId(DWORD* id) override { return *id = kType, S_OK; }
    HRESULT GetName(BSTR* name) override { return *name = SysAllocString(L"beats"), S_OK; }
    HRESULT GetEventType(DWORD* type) override { return *type = kType, S_OK; }
    HRESULT GetRecordSize(ULONG* bytes) override { return *bytes = sizeof(vx::host::AnnotationEvent), S_OK; }
    HRESULT GetMarkColour(const void* event, ULONG bytes, DWORD* colour) override
    {
        if (bytes < sizeof(vx::host::AnnotationEvent))
            return E_INVALIDARG;
        vx::host::AnnotationEvent e;
        std::memcpy(&e, event, sizeof e);
        *colour = e.code == 1 ? 0x0000FF : 0xFF0000;
        return S_OK;
    }
    HRESULT GetHintText(const void*, ULONG, BSTR* text) override { return *text = nullptr, E_NOTIMPL; }
};

} // namespace

TEST(EventDrawer, MarksTakeTheColourOfTheirTypesDrawPolicy)
{
    auto rec = MakeRecording(Ramp(100), { { 10, 0.0f }, { 30, 0.0f } });
    BeatDrawClass beats;
    vx::eventdraw::EventDrawClasses classes;
    ASSERT_EQ(classes.Add(static_cast<IEventDrawClass*>(&beats)), S_OK);
    auto* source = new vx::host::HostRecordSource(rec, 0, false, &classes);
    source->AddRef();
    source->RecordData()->SetEventType(0, BeatDrawClass::kType);
    DrawerDataPane pane;
    pane.SetRecordSource(source);
    pane.record = 0;
    auto* strip = new ChannelPane(ChannelPaneInit {});
    pane.AddStrip(strip);
    strip->SetBounds(60, 0, { 0, 0, 60, 30 });
    auto* events = new EventDrawer(0x300, MakeIdentity(1, 0));
    events->AddRef();
    pane.AddDrawer(0, 0, events, 255);
    events->Release();
    auto dc = vx::ui::DC::CreateRecording({ 60, 30 });
    DrawParams p;
    strip->Paint(*dc, strip->StripRect(), 0, 0xFFu, p);
    std::vector<Colour> fills;
    for (const auto& c : OfOp(dc->Commands(), Op::SelectBrush))
        if (c.brush.colour != Colour { 0xFFFFFF })
            fills.push_back(c.brush.colour);
    EXPECT_EQ(fills, (std::vector<Colour> { Colour::Rgb(255, 0, 0), Colour::Rgb(255, 0, 0) }));
    classes.Clear();
    source->Release();
}
