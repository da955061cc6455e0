// The channel manager and channel utilities against the stand-in host's document, whose named
// channels the host's calculation engine evaluates.
#include "host/recording/HostDocument.h"
#include "host/recording/HostSources.h"
#include "hostframework/calcglue/ChannelManager.h"
#include "hostframework/calcglue/EnumGetter.h"
#include "hostframework/enumerators/SourceCursors.h"

#include <gtest/gtest.h>

using namespace ExtLib;
using vx::hf::ChannelRef;
using vx::host::HostDocument;
using vx::host::Recording;

namespace {

constexpr DWORD kCalcKey = 0x00070000u, kSettingsKey = 0x00070001u;

// One record at 1 kHz; channel 1 holds 0, 1, ... 999 (stored values, factor 0.5, offset -10),
// channel 2 holds nothing usable for a range (all samples equal is fine; empty is not).
std::shared_ptr<Recording> MakeRecording()
{
    auto r = std::make_shared<Recording>();
    vx::host::ChannelSetup a;
    a.title = L"ECG";
    a.unit = L"mV";
    a.factor = 0.5;
    a.offset = -10;
    r->AddChannel(a);
    vx::host::ChannelSetup b;
    b.title = L"Inverted";
    b.factor = -2.0;
    r->AddChannel(b);
    r->AddRecord(0.001);
    std::vector<int16_t> v(1000), w(1000);
    for (int i = 0; i < 1000; ++i) {
        v[static_cast<std::size_t>(i)] = static_cast<int16_t>(i);
        w[static_cast<std::size_t>(i)] = static_cast<int16_t>(i % 10);
    }
    r->records[0].channels[0] = vx::host::SampleStore(std::move(v));
    r->records[0].channels[1] = vx::host::SampleStore(std::move(w));
    r->records[0].length = 1000;
    return r;
}

class TestManager final : public ArithmeticChannelManager {
public:
    explicit TestManager(IObjectFactory* f)
        : factory(f)
    {
    }
    IObjectFactory* factory;
    IObjectFactory* ObjectFactory() override { return factory; }
    DWORD CalcClassKey() override { return kCalcKey; }
    DWORD SettingsClassKey() override { return kSettingsKey; }
};

struct ManagerFixture : ::testing::Test {
    std::shared_ptr<Recording> recording = MakeRecording();
    HostDocument* doc = new HostDocument(recording);
    vx::host::HostObjectFactory* factory = new vx::host::HostObjectFactory(kCalcKey, kSettingsKey);
    TestManager manager { factory };
    ManagerFixture() { manager.SetChannelSource(static_cast<IChannelNames*>(doc)); }
    ~ManagerFixture() override
    {
        manager.SetChannelSource(nullptr);
        EXPECT_EQ(doc->Release(), 0u);
        factory->Release();
    }

    // Samples [0, n) of a channel through the host's data object.
    std::vector<float> Read(ChannelRef ref, int n)
    {
        IUnknown* object = nullptr;
        if (FAILED(doc->GetDataObject(0x40001000u, ref.number, 0, 0x7FFFFFFF, 0, &object)) || !object)
            return {};
        IFloatStreamEx* stream = nullptr;
        object->QueryInterface(IFloatStreamEx::kIid, reinterpret_cast<void**>(&stream));
        object->Release();
        std::vector<float> v(static_cast<std::size_t>(n));
        ULONG got = 0;
        stream->Read(static_cast<ULONG>(n), v.data(), &got);
        stream->Release();
        v.resize(got);
        return v;
    }
};

TEST_F(ManagerFixture, NamedChannelsGetFormulasTheEngineEvaluates)
{
    ASSERT_TRUE(manager.AddChannel(KEL::String(L"double"), KEL::String(L"Ch1*2"), KEL::String(L"")));
    ChannelRef ref;
    ASSERT_TRUE(manager.FindChannel(KEL::String(L"double"), ref));
    EXPECT_EQ(ref.number, 2u);
    auto v = Read(ref, 5);
    ASSERT_EQ(v.size(), 5u);
    EXPECT_FLOAT_EQ(v[3], 2 * (3 - 10) * 0.5f);

    // The same name again: no second host channel, only the new formula.
    ULONG shown = 0;
    doc->GetShownChannelCount(&shown);
    ASSERT_TRUE(manager.AddChannel(KEL::String(L"double"), KEL::String(L"Ch1*3"), KEL::String(L"")));
    ULONG after = 0;
    doc->GetShownChannelCount(&after);
    EXPECT_EQ(after, shown);
    EXPECT_FLOAT_EQ(Read(ref, 5)[3], 3 * (3 - 10) * 0.5f);

    // A formula the engine refuses fails and leaves the previous one.
    EXPECT_FALSE(manager.SetChannelFormula(ref, KEL::String(L"Ch1*("), KEL::String(L"")));
    EXPECT_FLOAT_EQ(Read(ref, 5)[3], 3 * (3 - 10) * 0.5f);

    // An empty formula only answers whether the channel exists.
    EXPECT_TRUE(manager.AddChannel(KEL::String(L"double"), KEL::String(L""), KEL::String(L"")));
    EXPECT_FLOAT_EQ(Read(ref, 5)[3], 3 * (3 - 10) * 0.5f);
    EXPECT_TRUE(manager.AddChannel(KEL::String(L"bare"), KEL::String(L""), KEL::String(L"")));

    // The calculation is the host's formula calculation, which offers no IChannelCalc.
    IChannelCalc* calc = nullptr;
    EXPECT_FALSE(GetChannelCalcOfClass(static_cast<IChannelNames*>(doc), ref.number, kCalcKey, &calc));
    EXPECT_EQ(calc, nullptr);
    EXPECT_TRUE(CreateChannelCalculation(static_cast<IChannelNames*>(doc), factory, kCalcKey, kSettingsKey,
        KEL::String(L"Ch1+1"), KEL::String(L""), ref));
    EXPECT_FLOAT_EQ(Read(ref, 5)[3], (3 - 10) * 0.5f + 1);
}

TEST_F(ManagerFixture, AFailedCreationIsNotRemembered)
{
    // The host refuses an empty name: the map keeps no no-channel entry for it.
    EXPECT_FALSE(manager.AddChannel(KEL::String(L""), KEL::String(L"Ch1"), KEL::String(L"")));
    EXPECT_TRUE(manager.Channels().empty());
    ChannelRef ref;
    EXPECT_FALSE(manager.FindChannel(KEL::String(L""), ref));
}

TEST_F(ManagerFixture, RemovingChannelsAndTheirFlags)
{
    EXPECT_TRUE(manager.RemoveChannel(KEL::String(L"never added"), true));
    ASSERT_TRUE(manager.AddChannel(KEL::String(L"b"), KEL::String(L"Ch1"), KEL::String(L"")));
    ASSERT_TRUE(manager.AddChannel(KEL::String(L"B"), KEL::String(L"Ch1"), KEL::String(L"")));
    EXPECT_EQ(manager.Channels().begin()->first, L"B"); // code-unit order: upper case first
    doc->SetNameFlag(0, L"b", 1);
    ASSERT_TRUE(manager.RemoveChannel(KEL::String(L"b"), true));
    EXPECT_EQ(manager.Channels().size(), 1u);
    ChannelRef ref;
    EXPECT_EQ(doc->LookUp(0, L"b", &ref), E_FAIL);
    EXPECT_EQ(doc->CalculationOf(2), nullptr);
}

TEST_F(ManagerFixture, ReferencesAsFormulaTextAndLinks)
{
    ASSERT_TRUE(manager.AddChannel(KEL::String(L"lowpass"), KEL::String(L"Ch1"), KEL::String(L"")));
    IUnknown* source = static_cast<IChannelNames*>(doc);
    const struct {
        ChannelRef ref;
        const wchar_t* text;
    } cases[] = {
        { { 2, 1 }, L"RCh3" },
        { { 2, 0 }, L"Ch3" },
        { { 0, 0x0F00 }, L"Ch1" },
        { { 2, 4 }, L"lowpass" },
        { { 0, 4 }, L"ECG" },
    };
    for (const auto& c : cases)
        EXPECT_EQ(FormatChannelReference(source, c.ref), c.text);

    EXPECT_FALSE(HasChannelLink(source, 2, 0));
    EXPECT_TRUE(AddChannelLink(source, 2, 0));
    EXPECT_TRUE(HasChannelLink(source, 2, 0));
    EXPECT_FALSE(HasChannelLink(source, 0, 2));
    EXPECT_TRUE(RemoveChannelLink(source, 2, 0));
    EXPECT_FALSE(HasChannelLink(source, 2, 0));
    EXPECT_FALSE(AddChannelLink(nullptr, 2, 0));
}

TEST_F(ManagerFixture, ValueRangeCountsAndUnits)
{
    double low = 0, high = 0;
    ASSERT_TRUE(GetChannelValueRange(doc, 0, low, high));
    EXPECT_DOUBLE_EQ(low, (0 - 10) * 0.5);
    EXPECT_DOUBLE_EQ(high, (999 - 10) * 0.5);
    ASSERT_TRUE(GetChannelValueRange(doc, 1, low, high)); // a negative factor turns it over
    EXPECT_DOUBLE_EQ(low, -18.0);
    EXPECT_DOUBLE_EQ(high, 0.0);
    // A channel with no samples: the range read leaves its empty start, which is no success.
    recording->AddChannel({});
    low = high = 7;
    EXPECT_FALSE(GetChannelValueRange(doc, 2, low, high));
    EXPECT_EQ(low, 7);
    EXPECT_FALSE(GetChannelValueRange(doc, 9, low, high));
    EXPECT_FALSE(GetChannelValueRange(nullptr, 0, low, high));

    EXPECT_EQ(GetDocumentChannelCount(nullptr), 16u);
    EXPECT_EQ(GetDocumentChannelCount(doc), 3u);

    UnitRecord unit;
    ASSERT_TRUE(GetChannelTextSetting(doc, 0, 0, unit));
    EXPECT_EQ(unit.text, L"mV");
    EXPECT_FALSE(GetChannelTextSetting(doc, 9, 0, unit));
}

// The enumerator getter reads its sources from the host document, and hears when sampling stops.
class RecordingEnum final : public SimpleUnknownImp1<ICalcEnum, 1> {
public:
    std::vector<float> firstSamples;
    int clears = 0;
    HRESULT GetClassId(DWORD* id) override
    {
        *id = 0;
        return S_OK;
    }
    HRESULT GetClassObject(IUnknown** o) override
    {
        *o = nullptr;
        return E_NOTIMPL;
    }
    HRESULT SetParams(const wchar_t*, DWORD* flags) override
    {
        *flags = 0;
        return S_OK;
    }
    HRESULT GetParams(BSTR* t) override
    {
        *t = nullptr;
        return E_NOTIMPL;
    }
    HRESULT Clone(ICalcEnum** o) override
    {
        *o = nullptr;
        return E_NOTIMPL;
    }
    HRESULT Init(LONG, ULONG n, IUnknown* const* sources, IUnitName* const*, double, DWORD) override
    {
        for (ULONG i = 0; i < n; ++i) {
            IFloatStreamEx* s = nullptr;
            sources[i]->QueryInterface(IFloatStreamEx::kIid, reinterpret_cast<void**>(&s));
            EEH3::FloatExWrapper cursor(s);
            s->Release();
            firstSamples.push_back(cursor.IsValid() ? cursor.Value() : -1.0f);
        }
        return S_OK;
    }
    HRESULT Seek(LONG) override { return S_OK; }
    HRESULT ClearSources() override
    {
        ++clears;
        return S_OK;
    }
};

class EnumClassFactory final : public SimpleUnknownImp2<IObjectFactory, IEnumCreator, 1> {
public:
    RecordingEnum* made = new RecordingEnum();
    ~EnumClassFactory() override { made->Release(); }
    HRESULT CreateInstance(DWORD, REFIID, void** out) override
    {
        *out = static_cast<IEnumCreator*>(this);
        AddRef();
        return S_OK;
    }
    HRESULT CreateEnumerator(IUnknown*, ICalcEnum** out) override
    {
        made->AddRef();
        *out = made;
        return S_OK;
    }
};

class Getter final : public EventEnumDataGetter {
public:
    Getter(IRecordingDoc* d, IObjectFactory* f)
        : EventEnumDataGetter(d)
        , factory(f)
    {
    }
    IObjectFactory* factory;
    IObjectFactory* ObjectFactory() override { return factory; }
};

TEST_F(ManagerFixture, EnumeratorSourcesComeFromTheDocumentAndStopWithSampling)
{
    ASSERT_TRUE(manager.AddChannel(KEL::String(L"x3"), KEL::String(L"Ch1*3"), KEL::String(L"")));
    auto* enums = new EnumClassFactory();
    {
        Getter g(doc, enums);
        ASSERT_TRUE(g.CreateEnum(1, KEL::String(L"f(Ch1, vCh3)")));
        ASSERT_TRUE(g.RegisterAsSink());
        int stops = 0;
        g.SetCallback([&] { ++stops; });
        ASSERT_TRUE(g.SetSources(vx::hf::MakeTickPosition(0, 20), false, 0.0));
        ASSERT_EQ(enums->made->firstSamples.size(), 2u);
        EXPECT_FLOAT_EQ(enums->made->firstSamples[0], (20 - 10) * 0.5f);
        EXPECT_FLOAT_EQ(enums->made->firstSamples[1], 3 * (20 - 10) * 0.5f);

        // A sampled record: blocks reach the recording, the stop reaches the getter.
        ASSERT_TRUE(doc->StartSampling(0.001));
        std::vector<float> a(100, 1.0f), b(100, 2.0f), shorter(99, 2.0f);
        EXPECT_TRUE(doc->DeliverBlock({ a, b }));
        EXPECT_FALSE(doc->DeliverBlock({ a, shorter })); // refused whole
        EXPECT_FALSE(doc->DeliverBlock({ a }));
        EXPECT_EQ(recording->records[1].length, 100);
        EXPECT_EQ(recording->ChannelLength(1, 1), 100);
        EXPECT_FALSE(doc->StartSampling(0.001)); // already sampling
        doc->StopSampling();
        EXPECT_EQ(stops, 1);
        EXPECT_EQ(enums->made->clears, 1);
        EXPECT_FALSE(g.SourcesSet());
    }
    EXPECT_EQ(doc->SinkCount(), 0u);
    enums->Release();
}

TEST(ReadChannelSetup, SelectionOrDisplayedRangeAndTheTimeStep)
{
    constexpr DWORD kRangeKey = 0x00090002u;
    auto recording = std::make_shared<Recording>();
    recording->AddRecord(1.0); // one tick per second
    recording->records[0].length = 2'000'000;
    auto* doc = new HostDocument(recording);
    auto* view = new vx::host::HostView(doc, kRangeKey);

    const struct {
        int64_t from, to;
        double step;
    } selections[] = { { 100, 1100, 5.0 }, { 0, 1'000'000, 2000.0 }, { 0, 200, 1.0 }, { 0, 390'000, 1000.0 } };
    for (const auto& c : selections) {
        SCOPED_TRACE(c.to - c.from);
        recording->selection.empty = false;
        recording->selection.start = { 0, c.from };
        recording->selection.end = { 0, c.to };
        std::int32_t tick = -1;
        vx::hf::DocPosition start, end;
        double step = 0;
        ReadChannelSetup(view, tick, start, end, step, kRangeKey);
        EXPECT_EQ(tick, c.from);
        EXPECT_EQ(start, (vx::hf::DocPosition { static_cast<std::int32_t>(c.from), 0 }));
        EXPECT_EQ(end, (vx::hf::DocPosition { static_cast<std::int32_t>(c.to), 0 }));
        EXPECT_EQ(step, c.step);
    }

    // Without a selection the displayed range and its scale.
    recording->selection.empty = true;
    view->rangeStart = vx::hf::MakeTickPosition(0, 10);
    view->rangeEnd = vx::hf::MakeTickPosition(0, 20);
    view->scale = 3.5;
    std::int32_t tick = -1;
    vx::hf::DocPosition start, end;
    double step = 0;
    ReadChannelSetup(view, tick, start, end, step, kRangeKey);
    EXPECT_EQ(tick, 10);
    EXPECT_EQ(end, (vx::hf::DocPosition { 20, 0 }));
    EXPECT_EQ(step, 3.5);
    // A scale below -0.5 gives 1; an end beyond the data gives the last record's end.
    view->scale = -1.0;
    view->rangeEnd = vx::hf::MakeTickPosition(5, 0);
    ReadChannelSetup(view, tick, start, end, step, kRangeKey);
    EXPECT_EQ(step, 1.0);
    EXPECT_EQ(end, (vx::hf::DocPosition { 2'000'000, 0 }));
    // A view without a range object under that key: step 1, nothing valid, no records: zeros.
    recording->records.clear();
    ReadChannelSetup(view, tick, start, end, step, kRangeKey + 1);
    EXPECT_EQ(step, 1.0);
    EXPECT_EQ(tick, 0);
    EXPECT_EQ(start, (vx::hf::DocPosition { 0, 0 }));
    EXPECT_EQ(end, (vx::hf::DocPosition { 0, 0 }));
    view->Release();
    EXPECT_EQ(doc->Release(), 0u);
}

TEST(HostDocumentEvents, AFormulaThatGivesEventsIsReadAsAnEventSource)
{
    auto recording = std::make_shared<Recording>();
    recording->AddChannel({});
    recording->AddRecord(0.001);
    std::vector<float> spikes(10000, 0.0f);
    for (std::size_t i = 500; i < spikes.size(); i += 1000)
        spikes[i] = 10.0f;
    recording->records[0].channels[0] = vx::host::SampleStore(std::move(spikes));
    recording->records[0].length = 10000;
    auto* doc = new HostDocument(recording);
    auto* factory = new vx::host::HostObjectFactory(kCalcKey, kSettingsKey);
    {
        TestManager manager(factory);
        manager.SetChannelSource(static_cast<IChannelNames*>(doc));
        ASSERT_TRUE(
            manager.AddChannel(KEL::String(L"peaks"), KEL::String(L"cmpeakdet(Ch1,3,0.3,30)"), KEL::String(L"")));
        ChannelRef ref;
        ASSERT_TRUE(manager.FindChannel(KEL::String(L"peaks"), ref));
        IUnknown* object = nullptr;
        ASSERT_EQ(doc->GetDataObject(4, ref.number, vx::hf::MakeTickPosition(0, 2000), 0x7FFFFFFF, 0, &object), S_OK);
        IEnumEventEx* source = nullptr;
        ASSERT_EQ(object->QueryInterface(IEnumEventEx::kIid, reinterpret_cast<void**>(&source)), S_OK);
        object->Release();
        EEH3::EventWrapper cursor(source);
        source->Release();
        std::vector<LONG> seen;
        for (bool ok = cursor.IsValid(); ok; ok = cursor.Next())
            seen.push_back(cursor.Position());
        // From the offset asked for on: the peaks at 2500, 3500, ... 9500.
        ASSERT_EQ(seen.size(), 8u);
        for (std::size_t i = 0; i < seen.size(); ++i)
            EXPECT_NEAR(seen[i], 2500 + 1000 * static_cast<LONG>(i), 1);
        manager.SetChannelSource(nullptr);
    }
    factory->Release();
    EXPECT_EQ(doc->Release(), 0u);
}

} // namespace
