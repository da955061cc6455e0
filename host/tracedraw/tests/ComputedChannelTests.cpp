// The record data of a pane over a host document's formula channels: numbers the computed
// channels know are read from the calculation engine as it compiles them at that moment (samples
// as pixel runs and values, events through an enumerator), ahead of the recording's event
// channels that share those numbers; unknown numbers stay refused.
#include "host/tracedraw/TraceHost.h"

#include <gtest/gtest.h>

#include <cstring>
#include <vector>

using namespace vx::host;

namespace {

constexpr int kLength = 400;

// 400 samples at 100 Hz: 0 but for spikes of 5 at 1, 2 and 3 s; and one annotation channel.
std::shared_ptr<Recording> Spikes(float height = 5.0f)
{
    auto r = std::make_shared<Recording>();
    r->AddChannel({ L"ECG", L"mV" });
    const int record = r->AddRecord(0.01);
    std::vector<float> v(kLength, 0.0f);
    for (int p : { 100, 200, 300 })
        v[static_cast<std::size_t>(p)] = height;
    r->records[record].length = kLength;
    r->records[record].channels[0] = SampleStore(std::move(v));
    EventChannel annotations;
    annotations.records.resize(1);
    AnnotationEvent e { 50, 0.0f, 1, 0, 0, 0, 0 };
    annotations.records[0].resize(sizeof e);
    std::memcpy(annotations.records[0].data(), &e, sizeof e);
    r->eventChannels.push_back(annotations);
    return r;
}

std::vector<vx::ui::Point> Runs(IRecordData& data, ULONG channel)
{
    const vx::hf::DisplayRange range { -20, 20 };
    const vx::hf::StripGeometry g { 0.0, 4.0, 0, kLength / 4, 40 };
    ISegmentIterator* it = nullptr;
    EXPECT_EQ(data.CreateSegmentIterator(0, channel, &range, 0, &g, &it), S_OK);
    std::vector<vx::ui::Point> points;
    if (!it)
        return points;
    std::vector<vx::ui::Point> buffer(256);
    ULONG count = 0, columns = 0;
    while (it->Next(256, buffer.data(), &count, &columns) == S_OK)
        points.insert(points.end(), buffer.begin(), buffer.begin() + count);
    it->Release();
    return points;
}

std::vector<std::int32_t> Events(IRecordData& data, ULONG channel)
{
    std::vector<std::int32_t> positions;
    IEnumEventEx* events = nullptr;
    EXPECT_EQ(data.CreateEventEnumerator(0, channel, 0, 0, 0x7FFFFFFF, &events), S_OK);
    if (!events)
        return positions;
    ULONG size = 0;
    events->GetRecordSize(&size);
    std::vector<std::byte> buffer(size * 16);
    ULONG count = 0;
    LONG next = 0;
    events->Next(static_cast<ULONG>(buffer.size()), 0x7FFFFFFF, buffer.data(), &count, &next);
    for (ULONG i = 0; i < count; ++i) {
        std::int32_t p = 0;
        std::memcpy(&p, buffer.data() + i * size, sizeof p);
        positions.push_back(p);
    }
    events->Release();
    return positions;
}

} // namespace

TEST(ComputedChannels, AreReadFromTheEngineAsItComputesThemNow)
{
    auto recording = Spikes();
    vx::calc::Engine engine(recording);
    engine.SetFormula(L"D", L"Ch1 * 2");
    engine.SetFormula(L"P", L"cmpeakdet(Ch1,1,0.3,0)");
    // Number 1 also names the recording's annotations: the computed channel comes first.
    const ComputedChannels computed = [&](int number) -> std::optional<vx::calc::Compiled> {
        if (number == 1)
            return engine.Channel(L"D");
        if (number == 2)
            return engine.Channel(L"P");
        return std::nullopt;
    };
    auto* data = new HostRecordData(recording, 0, std::make_shared<ColumnCache>(), computed);
    data->AddRef();

    // The doubled channel draws as a recording of the doubled samples would, uncached, so that a
    // new formula shows at once.
    for (const float factor : { 2.0f, 3.0f }) {
        SCOPED_TRACE(factor);
        engine.SetFormula(L"D", factor == 2.0f ? L"Ch1 * 2" : L"Ch1 * 3");
        auto* plain = new HostRecordData(Spikes(5.0f * factor), 0, nullptr);
        plain->AddRef();
        EXPECT_EQ(Runs(*data, 1), Runs(*plain, 0));
        plain->Release();
        double value = 0;
        EXPECT_EQ(data->GetValue(1, 200, &value, nullptr), S_OK);
        EXPECT_EQ(value, 5.0 * factor);
    }
    WORD present = 0;
    EXPECT_EQ(data->GetPresence(1, 0, &present), S_OK);
    EXPECT_EQ(present, 1);
    vx::hf::DisplayRange range;
    EXPECT_EQ(data->QueryValues(0, 1, &range), S_FALSE); // no pass over the record for a range

    // The peak channel's events; a sampled channel has none, an event channel no pixel runs.
    EXPECT_EQ(Events(*data, 2), (std::vector<std::int32_t> { 100, 200, 300 }));
    IEnumEventEx* none = nullptr;
    EXPECT_EQ(data->CreateEventEnumerator(0, 1, 0, 0, 0x7FFFFFFF, &none), E_INVALIDARG);
    const vx::hf::DisplayRange r { -1, 1 };
    const vx::hf::StripGeometry g { 0.0, 1.0, 0, 10, 10 };
    ISegmentIterator* it = nullptr;
    EXPECT_EQ(data->CreateSegmentIterator(0, 2, &r, 0, &g, &it), E_INVALIDARG);
    // A number the computed channels do not know: the recording's own numbering.
    EXPECT_EQ(data->CreateSegmentIterator(0, 3, &r, 0, &g, &it), E_INVALIDARG);
    EXPECT_EQ(it, nullptr);
    data->Release();
}
