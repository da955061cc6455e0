#include "host/tracedraw/TraceHost.h"

#include <gtest/gtest.h>

#include <atomic>
#include <cmath>
#include <cstring>
#include <vector>

#include "ui/MessageQueue.h"
#include "ui/Paint.h"
#include "ui/Window.h"

using namespace vx::host;

namespace {

// One record, one channel of the given stored values (physical = (stored + offset) * factor),
// one event channel.
std::shared_ptr<Recording> MakeRecording(std::vector<float> values, double factor = 1.0, double offset = 0.0)
{
    auto r = std::make_shared<Recording>();
    ChannelSetup setup;
    setup.unit = L"mV";
    setup.factor = factor;
    setup.offset = offset;
    r->AddChannel(setup);
    const int record = r->AddRecord(0.01);
    r->records[record].length = static_cast<int64_t>(values.size());
    r->records[record].channels[0] = SampleStore(std::move(values));
    EventChannel events;
    for (int32_t p : { 5, 20, 40 }) {
        AnnotationEvent e { p, 0.5f, 1, 0, 0, 0, 0 };
        std::vector<std::byte> bytes(sizeof e);
        std::memcpy(bytes.data(), &e, sizeof e);
        events.records.resize(1);
        events.records[0].insert(events.records[0].end(), bytes.begin(), bytes.end());
    }
    r->eventChannels.push_back(events);
    return r;
}

struct Segments {
    std::vector<vx::ui::Point> points;
    std::vector<ULONG> columnsPerBatch;
};

Segments Drain(ISegmentIterator* it, ULONG batch)
{
    Segments s;
    std::vector<vx::ui::Point> buffer(batch);
    for (;;) {
        ULONG count = 0, columns = 0;
        if (it->Next(batch, buffer.data(), &count, &columns) != S_OK)
            break;
        s.points.insert(s.points.end(), buffer.begin(), buffer.begin() + count);
        s.columnsPerBatch.push_back(columns);
    }
    return s;
}

ISegmentIterator* Iterate(HostRecordSource& source, vx::hf::DisplayRange range, vx::hf::StripGeometry g)
{
    ISegmentIterator* it = nullptr;
    EXPECT_EQ(source.RecordData()->CreateSegmentIterator(0, 0, &range, 0, &g, &it), S_OK);
    return it;
}

} // namespace

// Columns of 4 samples; range 0..10 over 10 rows, so a value v lies at row 10 - v. Each column
// is the run from its largest to its smallest value, stretched to the last row of the column
// before, and ends one past its bottom row (lines leave out their last pixel).
TEST(SegmentIterator, RunsFromMinMaxPairsJoinedToThePreviousColumn)
{
    auto rec = MakeRecording({ 1, 3, 2, 2, /**/ 6, 7, 5, 8, /**/ 4, 4, 4, 4, /**/ 9, 0 });
    auto* source = new HostRecordSource(rec, 0);
    source->AddRef();
    ISegmentIterator* it = Iterate(*source, { 0, 10 }, { 0.0, 4.0, 3, 5, 10 });
    const Segments s = Drain(it, 256);
    const std::vector<vx::ui::Point> expected {
        { 3, 7 }, { 3, 10 }, // 1..3, first column: nothing to join
        { 4, 2 }, { 4, 9 }, // 5..8 stretched to row 8 (last value 2)
        { 5, 2 }, { 5, 7 }, // 4..4 stretched to row 2 (last value 8)
        { 6, 1 }, { 6, 11 }, // 0..9, joined to row 6
    };
    EXPECT_EQ(s.points, expected);
    // The data ends inside the strip: the fifth column is not drawn.
    ASSERT_EQ(s.columnsPerBatch.size(), 1u);
    EXPECT_EQ(s.columnsPerBatch[0], 4u);
    int64_t consumed = 0;
    it->GetSamplesConsumed(&consumed);
    EXPECT_EQ(consumed, 14);
    it->Release();
    source->Release();
}

TEST(SegmentIterator, BatchesHoldWholeSegmentsAndCoverEveryColumnOnce)
{
    std::vector<float> v(3000);
    for (size_t i = 0; i < v.size(); ++i)
        v[i] = static_cast<float>(std::sin(i * 0.01));
    auto* source = new HostRecordSource(MakeRecording(v), 0);
    source->AddRef();
    ISegmentIterator* it = Iterate(*source, { -1, 1 }, { 0.0, 10.0, 0, 300, 100 });
    const Segments s = Drain(it, 255); // an odd room still gives whole segments
    EXPECT_EQ(s.points.size(), 600u);
    ULONG total = 0;
    for (ULONG c : s.columnsPerBatch) {
        EXPECT_LE(c, 127u);
        total += c;
    }
    EXPECT_EQ(total, 300u);
    it->Release();
    source->Release();
}

TEST(SegmentIterator, CachedPairsGiveTheSameRunsAndFollowTheZoom)
{
    std::vector<float> v(5000);
    for (size_t i = 0; i < v.size(); ++i)
        v[i] = static_cast<float>((i * 7919) % 101) - 50.0f;
    auto* source = new HostRecordSource(MakeRecording(v, 0.5, 10.0), 0);
    source->AddRef();
    const vx::hf::StripGeometry g { 100.0, 12.5, 0, 300, 80 };
    ISegmentIterator* a = Iterate(*source, { -40, 40 }, g);
    const Segments first = Drain(a, 256);
    a->Release();
    ASSERT_GT(source->Cache()->Bytes(), 0u);
    EXPECT_LE(source->Cache()->Bytes(), 300 * sizeof(ColumnStats) * 2);
    ISegmentIterator* b = Iterate(*source, { -40, 40 }, g);
    EXPECT_EQ(Drain(b, 256).points, first.points);
    b->Release();
    // Another zoom is computed anew, not read from the pairs of the last one.
    ISegmentIterator* c = Iterate(*source, { -40, 40 }, { 100.0, 6.25, 0, 300, 80 });
    EXPECT_NE(Drain(c, 256).points, first.points);
    c->Release();
    source->Release();
}

TEST(SegmentIterator, GapsBreakTheTraceAndBadGeometryIsRefused)
{
    const float nan = std::nanf("");
    auto* source = new HostRecordSource(MakeRecording({ 1, 1, nan, nan, 5, 5 }), 0);
    source->AddRef();
    ISegmentIterator* it = Iterate(*source, { 0, 10 }, { 0.0, 2.0, 0, 3, 10 });
    const std::vector<vx::ui::Point> expected { { 0, 9 }, { 0, 10 }, { 2, 5 }, { 2, 6 } };
    EXPECT_EQ(Drain(it, 256).points, expected);
    it->Release();
    for (double spp : { 0.0, -1.0, std::nan(""), double(INFINITY) }) {
        vx::hf::DisplayRange range { 0, 1 };
        vx::hf::StripGeometry g { 0.0, spp, 0, 3, 10 };
        ISegmentIterator* out = nullptr;
        EXPECT_EQ(source->RecordData()->CreateSegmentIterator(0, 0, &range, 0, &g, &out), E_INVALIDARG) << spp;
        EXPECT_EQ(out, nullptr);
    }
    source->Release();
}

TEST(RecordData, EventsValuesAndPolicies)
{
    auto* source = new HostRecordSource(MakeRecording({ 1, 2, 3 }, 2.0), 0, true);
    source->AddRef();
    IRecordData* data = source->RecordData();
    IEnumEventEx* events = nullptr;
    ASSERT_EQ(data->CreateEventEnumerator(0x80000000, 1, 0x40000000, 10, 0x7FFFFFFF, &events), S_OK);
    AnnotationEvent buffer[4];
    ULONG count = 0;
    LONG next = 0;
    events->Next(sizeof buffer, 0x7FFFFFFF, buffer, &count, &next);
    ASSERT_EQ(count, 2u); // from position 10 on
    EXPECT_EQ(buffer[0].position, 20);
    events->Release();
    EXPECT_EQ(data->CreateEventEnumerator(0, 0, 0, 0, 0x7FFFFFFF, &events), E_INVALIDARG); // a sample channel
    double value = 0;
    BSTR unit = nullptr;
    ASSERT_EQ(data->GetValue(0, 2, &value, &unit), S_OK);
    EXPECT_EQ(value, 6.0);
    EXPECT_STREQ(unit, L"mV");
    SysFreeString(unit);
    EXPECT_EQ(data->GetValue(0, 3, &value, nullptr), E_INVALIDARG);
    vx::hf::DisplayRange range;
    ASSERT_EQ(data->QueryValues(0, 0, &range), S_OK);
    EXPECT_EQ(range.bottom, 2.0);
    EXPECT_EQ(range.top, 6.0);
    // The colour source is there only when asked for; no event-draw classes, no object factory.
    IUnknown* colour = nullptr;
    EXPECT_EQ(source->QueryInterface(IColourSource::kIid, reinterpret_cast<void**>(&colour)), S_OK);
    colour->Release();
    EXPECT_EQ(source->QueryInterface(IObjectFactory::kIid, reinterpret_cast<void**>(&colour)), E_NOINTERFACE);
    source->Release();
}

TEST(HostScale, GridRangeAndTransform)
{
    HostScaleFactory factory;
    IHostScale* scale = nullptr;
    ASSERT_EQ(factory.CreateWindowlessScale(0, 1, 0, &scale), S_OK);
    auto* range = static_cast<HostScale*>(scale);
    vx::hf::DisplayRange r { -1, 1 };
    ASSERT_EQ(scale->SetRange(&r), S_OK);
    ULONG count = 0;
    range->GetGridLineCount(&count);
    std::vector<std::pair<double, LONG>> majors;
    for (ULONG i = 0; i < count; ++i) {
        double v;
        LONG kind;
        range->GetGridLine(i, &v, &kind);
        if (kind == 2)
            majors.emplace_back(v, kind);
    }
    ASSERT_EQ(majors.size(), 5u); // -1, -0.5, 0, 0.5, 1
    EXPECT_DOUBLE_EQ(majors[1].first, -0.5);
    EXPECT_EQ(majors[2].first, 0.0);
    vx::hf::DisplayRange empty { 2, 2 };
    EXPECT_EQ(scale->SetRange(&empty), E_INVALIDARG);
    EXPECT_EQ(scale->SetTransform(0.0, 0.0, L"mV"), E_INVALIDARG);
    ASSERT_EQ(scale->SetTransform(1000.0, 0.0, L"mV"), S_OK);
    BSTR unit = nullptr;
    scale->GetUnitText(&unit);
    EXPECT_STREQ(unit, L"mV");
    SysFreeString(unit);
    HWND window = reinterpret_cast<HWND>(1);
    scale->GetWindow(&window);
    EXPECT_EQ(window, nullptr);
    IHostScale* none = nullptr;
    EXPECT_EQ(factory.CreateScaleWindow(nullptr, 0, 0, 0, 1, &none), E_INVALIDARG);
    scale->Release();
}

namespace {
struct RangeObserver final : SimpleUnknownImp1<IDragScaleObserver, 1> {
    HRESULT ScaleDragged(DWORD, LONG a, LONG) override { return dragged.push_back(a), S_OK; }
    HRESULT ScaleSelected(LONG number, LONG) override { return selected = number, S_OK; }
    HRESULT ScaleRangeChanged(LONG, DWORD, const vx::hf::DisplayRange* range) override { return last = *range, S_OK; }
    HRESULT SendScaleCommand(LONG) override { return S_OK; }
    HRESULT GetAutoRange(DWORD, vx::hf::DisplayRange*, WORD*) override { return S_FALSE; }
    std::vector<LONG> dragged;
    LONG selected = 0;
    vx::hf::DisplayRange last { 0, 0 };
};

vx::ui::LRESULT PlainProc(vx::ui::HWND h, UINT m, vx::ui::WPARAM w, vx::ui::LPARAM l)
{
    return vx::ui::DefWindowProc(h, m, w, l);
}
} // namespace

TEST(HostScale, AScaleWindowPaintsItsAxisAndReportsDrags)
{
    vx::ui::RegisterClass({ L"ScaleTestParent", 0, &PlainProc });
    vx::ui::HWND parent = vx::ui::CreateWindowEx(
        0, L"ScaleTestParent", L"p", vx::ui::WS_POPUP | vx::ui::WS_VISIBLE, 0, 0, 200, 120, nullptr, 0, nullptr);
    ASSERT_NE(parent, nullptr);
    HostScaleFactory factory;
    factory.AddRef();
    IHostScale* scale = nullptr;
    ASSERT_EQ(factory.CreateScaleWindow(parent, 0, 0, 0, 1, &scale), S_OK);
    RangeObserver observer;
    scale->SetObserver(&observer);
    const vx::ui::Rect place { 10, 10, 60, 110 };
    scale->Place(&place);
    vx::hf::DisplayRange range { -1, 1 };
    scale->SetRange(&range);
    scale->SetTransform(1.0, 0.0, L"mV");
    vx::ui::HWND window = nullptr;
    scale->GetWindow(&window);
    ASSERT_NE(window, nullptr);

    const auto image = vx::ui::CaptureWindow(parent);
    ASSERT_TRUE(image);
    EXPECT_EQ(image->Pixel(59, 60), vx::ui::Colour {}); // the axis along the scale's right edge
    EXPECT_EQ(image->Pixel(40, 60), vx::ui::Colour { 0xFFFFFF });

    // Dragging 25 pixels down moves a range of 2 over 100 pixels by 0.5.
    vx::ui::SendMessage(window, vx::ui::WM_LBUTTONDOWN, 0, vx::ui::MAKELPARAM(20, 50));
    vx::ui::SendMessage(window, vx::ui::WM_MOUSEMOVE, 0, vx::ui::MAKELPARAM(20, 75));
    vx::ui::SendMessage(window, vx::ui::WM_LBUTTONUP, 0, vx::ui::MAKELPARAM(20, 75));
    EXPECT_EQ(observer.selected, 1);
    EXPECT_EQ(observer.dragged, (std::vector<LONG> { 25 }));
    EXPECT_DOUBLE_EQ(observer.last.bottom, -0.5);
    EXPECT_DOUBLE_EQ(observer.last.top, 1.5);
    scale->SetObserver(nullptr);
    scale->Release();
    vx::ui::DestroyWindow(parent);
    EXPECT_FALSE(vx::ui::IsWindow(window));
}

// A channel at half the record's rate is drawn and read at its own rate; a channel whose file is
// missing is left out, the others are drawn.
TEST(RecordData, SlowerAndUnreadableChannels)
{
    auto recording = MakeRecording({ 0, 0, 0, 0, 0, 0, 0, 0 });
    ChannelSetup half;
    half.ticksPerSample = 2;
    recording->AddChannel(half);
    recording->records[0].channels[1] = SampleStore(std::vector<float> { 1, 2, 3, 4 });
    recording->AddChannel(ChannelSetup {});
    recording->records[0].channels[2]
        = SampleStore(8, []() -> SampleStore::Samples { throw RecordingError("b.dat: cannot be opened"); });
    auto* source = new HostRecordSource(recording, 0);
    source->AddRef();
    IRecordData* data = source->RecordData();
    double value = 0;
    ASSERT_EQ(data->GetValue(1, 6, &value, nullptr), S_OK);
    EXPECT_EQ(value, 4.0); // tick 6 is the slower channel's sample 3
    // Columns of 4 ticks over 0..10: the slower channel's columns hold 1-2 and 3-4.
    vx::hf::DisplayRange range { 0, 10 };
    vx::hf::StripGeometry g { 0.0, 4.0, 0, 2, 10 };
    ISegmentIterator* it = nullptr;
    ASSERT_EQ(data->CreateSegmentIterator(0, 1, &range, 0, &g, &it), S_OK);
    const std::vector<vx::ui::Point> expected { { 0, 8 }, { 0, 10 }, { 1, 6 }, { 1, 9 } };
    EXPECT_EQ(Drain(it, 256).points, expected);
    it->Release();
    EXPECT_EQ(data->CreateSegmentIterator(0, 2, &range, 0, &g, &it), E_FAIL);
    EXPECT_EQ(data->QueryValues(0, 2, &range), S_FALSE);
    EXPECT_EQ(data->GetValue(2, 0, &value, nullptr), E_FAIL);
    source->Release();
}

// A 7-day channel read from its file a block at a time is drawn and scrolled through the shared
// block cache: the pairs of a window anywhere in the week are those of the same samples held in
// memory, and neither the overview of the whole week nor any window holds more than the cache's
// bound of samples.
TEST(RecordData, AWeekLongStreamedChannelScrollsInBoundedMemory)
{
    constexpr int64_t kWeek = 7LL * 24 * 3600 * 360;
    const auto sampleAt
        = [](int64_t i) { return static_cast<int16_t>((i * 7919) % 1201 - 600 + (i / (360 * 3600)) % 24 * 40); };
    auto reads = std::make_shared<std::atomic<int64_t>>(0);
    auto recording = std::make_shared<Recording>();
    ChannelSetup setup;
    setup.factor = 0.005;
    recording->AddChannel(setup);
    const int record = recording->AddRecord(1.0 / 360);
    recording->records[0].length = kWeek;
    recording->records[0].channels[0] = SampleStore(kWeek, [sampleAt, reads](int64_t first, std::span<int16_t> out) {
        *reads += static_cast<int64_t>(out.size());
        for (std::size_t i = 0; i < out.size(); ++i)
            out[i] = sampleAt(first + static_cast<int64_t>(i));
    });
    auto* source = new HostRecordSource(recording, record);
    source->AddRef();
    const BlockCache& cache = BlockCache::Shared();
    const vx::hf::DisplayRange range { -5, 5 };

    // The overview: 1000 columns over the week.
    ISegmentIterator* overview = Iterate(*source, range, { 0.0, static_cast<double>(kWeek) / 1000, 0, 1000, 200 });
    EXPECT_EQ(Drain(overview, 512).points.size(), 2000u);
    overview->Release();
    EXPECT_GE(reads->load(), kWeek) << "every sample was read";
    EXPECT_LE(cache.Bytes(), cache.Limit());

    // Ten-second windows scrolled over the week, some across block edges.
    for (const int64_t start : { int64_t(0), int64_t(65536 - 1800), kWeek / 3, kWeek / 2 + 123457, kWeek - 3600 }) {
        SCOPED_TRACE(start);
        const vx::hf::StripGeometry g { static_cast<double>(start), 6.0, 0, 600, 200 };
        ISegmentIterator* it = Iterate(*source, range, g);
        const Segments streamed = Drain(it, 256);
        it->Release();
        EXPECT_LE(cache.Bytes(), cache.Limit());
        // The same samples held in memory.
        std::vector<float> held(3600);
        for (std::size_t i = 0; i < held.size(); ++i)
            held[i] = sampleAt(start + static_cast<int64_t>(i));
        auto* reference = new HostRecordSource(MakeRecording(held, 0.005), 0);
        reference->AddRef();
        ISegmentIterator* ref = Iterate(*reference, range, { 0.0, 6.0, 0, 600, 200 });
        EXPECT_EQ(streamed.points, Drain(ref, 256).points);
        ref->Release();
        reference->Release();
    }
    source->Release();
}
