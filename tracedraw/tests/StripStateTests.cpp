// What strips keep between sessions (their stream state), the scales they take from the records'
// channel settings, and the graticule that follows the shown record's own scale.
#include <gtest/gtest.h>

#include <cstring>
#include <sstream>

#include "foundation/XKEL.h"
#include "foundation/stream/BinStream.h"
#include "host/tracedraw/TraceHost.h"
#include "tracedraw/ChildPane.h"
#include "tracedraw/Graticule.h"
#include "tracedraw/TimeScale.h"

using namespace VarnDraw;

namespace {

std::string Words(std::initializer_list<std::uint32_t> words, int doubles = 0)
{
    std::string s;
    for (std::uint32_t w : words)
        s.append(reinterpret_cast<const char*>(&w), 4);
    for (int i = 0; i < doubles; ++i) {
        const double d = 1.5 * i;
        s.append(reinterpret_cast<const char*>(&d), 8);
    }
    return s;
}

struct ScaleFactoryScope {
    ScaleFactoryScope()
    {
        auto* factory = new vx::host::HostScaleFactory;
        factory->AddRef();
        SetHostScaleFactory(factory);
        factory->Release();
    }
    ~ScaleFactoryScope() { SetHostScaleFactory(nullptr); }
};

} // namespace

TEST(StripState, VersionsAreWrittenReadOrRefused)
{
    enum Kind { Channel, Time };
    struct Case {
        Kind kind;
        std::string stream;
        bool refused;
    };
    const std::uint32_t marker = 0x12345678;
    const Case cases[] = {
        { Channel, Words({ 3, marker }), false },
        { Channel, Words({ 2 }, 4) + Words({ marker }), false }, // version 2's four values are skipped
        { Channel, Words({ 1, marker }), false },
        { Channel, Words({ 4, marker }), true },
        { Time, Words({ 2, marker }), false },
        { Time, Words({ 3, marker }), true },
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(testing::Message() << (c.kind == Channel ? "channel " : "time ") << c.stream.size());
        ChannelPane channel(ChannelPaneInit {});
        TimeScale time;
        std::stringbuf buffer(c.stream);
        KEL::BinIStream in(&buffer);
        try {
            c.kind == Channel ? channel.Load(&in) : time.Load(&in);
            EXPECT_FALSE(c.refused);
            ULONG next = 0;
            in.ReadUInt32(&next);
            EXPECT_EQ(next, marker); // nothing more and nothing less was read
        } catch (const XKEL& e) {
            EXPECT_TRUE(c.refused);
            EXPECT_EQ(static_cast<std::uint32_t>(e.GetHResult()), 0xA0048205u);
        }
    }
    // What is written: the version alone.
    for (Kind kind : { Channel, Time }) {
        std::stringbuf buffer;
        {
            KEL::BinOStream out(&buffer);
            ChannelPane channel(ChannelPaneInit {});
            TimeScale time;
            kind == Channel ? channel.Save(&out) : time.Save(&out);
        }
        EXPECT_EQ(buffer.str(), Words({ kind == Channel ? 3u : 2u }));
    }
}

namespace {

// A record source whose records 1 and 2 have channel settings: record r shows (r, r + 10) in "uV<r>".
class RecordSettingsSource final : public SimpleUnknownImp2<IRecordSource, IRecordChannelScale, 0> {
public:
    HRESULT SetAxis(DWORD, LONG) override { return S_OK; }
    HRESULT GetCurrentPosition(std::int64_t* p) override { return *p = 0, S_OK; }
    HRESULT GetCurrentRecord(IUnknown** r) override { return *r = nullptr, S_FALSE; }
    HRESULT GetRecordIndex(LONG* r) override { return *r = 0, S_OK; }
    HRESULT GetSampleInterval(double* s) override { return *s = 0.001, S_OK; }
    HRESULT PixelsToSamples(DWORD, LONG, LONG, LONG, double*, double*) override { return E_NOTIMPL; }
    HRESULT SampleToPixel(DWORD, LONG, double, double*) override { return E_NOTIMPL; }
    HRESULT GetRecordCount(LONG* count) override { return *count = 4, S_OK; }
    HRESULT GetChannelScale(LONG record, LONG, BSTR* unit, vx::hf::DisplayRange* range) override
    {
        if (record != 1 && record != 2)
            return S_FALSE;
        *unit = SysAllocString((L"uV" + std::to_wstring(record)).c_str());
        *range = { double(record), double(record) + 10 };
        return S_OK;
    }
};

} // namespace

TEST(ChannelPane, ScalesTakeTheirSettingsFromTheFirstAndLastRecordThatHasThem)
{
    ScaleFactoryScope factory;
    auto* source = new RecordSettingsSource;
    source->AddRef();
    DrawerDataPane pane;
    pane.SetRecordSource(source);
    ChannelPaneInit init;
    init.scaleOptions = 0xC0000000u; // both scales
    auto* strip = new ChannelPane(init);
    pane.AddStrip(strip);
    ASSERT_EQ(strip->CreateScales(nullptr, 0), S_OK);
    auto scale = [&](int number) {
        IHostScale* s = number == 1 ? strip->GetScale1() : strip->GetScale2();
        s->Release(); // the strip keeps its own
        return static_cast<vx::host::HostScale*>(s);
    };
    auto unitOf = [](vx::host::HostScale* s) {
        BSTR text = nullptr;
        s->GetUnitText(&text);
        std::wstring out = text ? text : L"";
        SysFreeString(text);
        return out;
    };

    strip->UpdateScales(0, 3);
    vx::hf::DisplayRange r1, r2;
    scale(1)->GetRange(&r1);
    scale(2)->GetRange(&r2);
    EXPECT_EQ(r1.bottom, 1.0); // the first record with settings, searching forwards
    EXPECT_EQ(r2.bottom, 2.0); // the last, searching backwards
    EXPECT_EQ(unitOf(scale(1)), L"uV1");
    EXPECT_EQ(unitOf(scale(2)), L"uV2");
    EXPECT_TRUE(scale(1)->Shown());
    EXPECT_TRUE(scale(2)->Shown());

    // No record in the range has settings: both scales are hidden.
    strip->UpdateScales(3, 3);
    EXPECT_FALSE(scale(1)->Shown());
    EXPECT_FALSE(scale(2)->Shown());
    strip->UpdateScales(2, 1);
    EXPECT_FALSE(scale(1)->Shown());
    source->Release();
}

TEST(ChannelPane, HostRecordsHaveChannelSettingsWhereTheyHoldSamples)
{
    auto recording = std::make_shared<vx::host::Recording>();
    recording->AddChannel({ L"ECG", L"mV", 1.0, 0.0, -2.0, 3.0 });
    recording->AddRecord(0.001);
    const int full = recording->AddRecord(0.001);
    recording->records[full].length = 4;
    recording->records[full].channels[0] = vx::host::SampleStore(std::vector<float> { 0, 1, 2, 3 });
    auto* source = new vx::host::HostRecordSource(recording, full);
    source->AddRef();
    BSTR unit = nullptr;
    vx::hf::DisplayRange range;
    EXPECT_EQ(source->GetChannelScale(0, 0, &unit, &range), S_FALSE);
    EXPECT_EQ(source->GetChannelScale(full, 1, &unit, &range), S_FALSE);
    ASSERT_EQ(source->GetChannelScale(full, 0, &unit, &range), S_OK);
    EXPECT_STREQ(unit, L"mV");
    EXPECT_EQ(range.bottom, -2.0);
    EXPECT_EQ(range.top, 3.0);
    SysFreeString(unit);
    source->Release();
}

TEST(Graticule, WithTheOptionSetTheGridFollowsTheRecordsOwnScale)
{
    ScaleFactoryScope factory;
    auto recording = std::make_shared<vx::host::Recording>();
    recording->AddChannel({ L"ECG", L"mV", 1.0, 0.0, 0.0, 4.0 });
    const int record = recording->AddRecord(0.001);
    recording->records[record].length = 100;
    recording->records[record].channels[0] = vx::host::SampleStore(std::vector<float>(100, 1.0f));
    auto* source = new vx::host::HostRecordSource(recording, record);
    source->AddRef();
    source->SetView(0.0, 1.0);
    DrawerDataPane pane;
    pane.SetRecordSource(source);
    auto* strip = new ChannelPane(ChannelPaneInit {});
    pane.AddStrip(strip);
    strip->SetBounds(40, 0, { 0, 0, 40, 100 });

    auto majorRows = [](GraticuleDrawer* grid) {
        std::vector<int> rows;
        for (auto [row, kind] : grid->GridRows())
            if (kind == 2)
                rows.push_back(row);
        return rows;
    };
    auto* plain = new GraticuleDrawer(0, MakeIdentity(0, 0), 0, 0, 0xFFFFFF);
    auto* own = new GraticuleDrawer(0, MakeIdentity(0, 0), 0, 0, 0xFFFFFF);
    own->SetOption(1);
    for (auto* g : { plain, own }) {
        g->AddRef();
        pane.AddDrawer(0, 0, g, 255);
        g->SetRecord(record, 0);
    }
    auto dc = vx::ui::DC::CreateRecording({ 40, 100 });
    DrawParams params;
    params.xTo = 40;
    params.strip = { 0, 0, 40, 100 };
    params.block = 0;
    for (auto* g : { plain, own })
        g->Draw(dc.get(), &params);
    // The record shows 0..4 mV over 100 rows: a major line every 25 rows.
    EXPECT_EQ(majorRows(own), (std::vector<int> { 100, 75, 50, 25, 0 }));
    EXPECT_TRUE(majorRows(plain).empty()); // it waits for the strip's scale
    for (auto* g : { plain, own })
        g->Release();
    source->Release();
}
