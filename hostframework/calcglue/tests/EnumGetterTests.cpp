#include "hostframework/calcglue/EnumGetter.h"

#include <gtest/gtest.h>

#include <map>
#include <stdexcept>
#include <string>
#include <vector>

#include "foundation/units/UnitEntry.h"
#include "log/Log.h"

using ExtLib::EnumGetterBase;
using ExtLib::SourceEntry;

namespace {

// A stream object that counts its references, to show that every one handed out comes back.
class FakeStream final : public SimpleUnknownImp1<IFloatStreamEx, 1> {
public:
    HRESULT GetLength(LONG* l) override
    {
        *l = 100;
        return S_OK;
    }
    HRESULT SeekRelative(LONG, LONG*) override { return S_OK; }
    HRESULT GetPosition(LONG* p) override
    {
        *p = 0;
        return S_OK;
    }
    HRESULT GetRecord(LONG* r) override
    {
        *r = 0;
        return S_OK;
    }
    HRESULT GetTimeBase(vx::hf::RateRatio* r) override
    {
        *r = {};
        return S_OK;
    }
    HRESULT Read(ULONG, float*, ULONG* n) override
    {
        *n = 0;
        return S_OK;
    }
};

class FakeSourceData final : public SimpleUnknownImp1<ISourceData, 1> {
public:
    explicit FakeSourceData(FakeStream* s)
        : stream(s)
    {
    }
    FakeStream* stream;
    HRESULT GetStream(DWORD, LONG, LONG, DWORD, IUnknown** out) override
    {
        stream->AddRef();
        *out = stream;
        return S_OK;
    }
};

class FakeDoc final : public SimpleUnknownImp2<IRecordingDoc, IOnlineRegistry, 1> {
public:
    // Channels with a source object, channels reachable only through GetDataObject; others fail.
    std::map<ULONG, FakeStream*> sources, fallbacks;
    std::vector<IOnlineDataSink*> sinks;
    std::vector<DWORD> sourceKinds;

    HRESULT GetShownChannelCount(ULONG* c) override
    {
        *c = 4;
        return S_OK;
    }
    HRESULT GetChannelCount(ULONG* c) override
    {
        *c = 4;
        return S_OK;
    }
    HRESULT GetCalculatedChannelCount(DWORD, ULONG* c) override
    {
        *c = 4;
        return S_OK;
    }
    HRESULT GetSampleInterval(DWORD, LONG, ULONG channel, double* interval) override
    {
        *interval = 0.001 * (channel + 1);
        return S_OK;
    }
    HRESULT GetDataObject(DWORD, ULONG channel, std::int64_t, LONG, DWORD, IUnknown** out) override
    {
        auto it = fallbacks.find(channel);
        *out = nullptr;
        if (it == fallbacks.end())
            return E_FAIL;
        it->second->AddRef();
        *out = it->second;
        return S_OK;
    }
    HRESULT GetSourceObject(DWORD kind, LONG, ULONG channel, IUnknown** out) override
    {
        sourceKinds.push_back(kind);
        auto it = sources.find(channel);
        *out = nullptr;
        if (it == sources.end())
            return E_FAIL;
        *out = new FakeSourceData(it->second);
        return S_OK;
    }
    HRESULT GetChannelValues(IUnknown** out) override
    {
        *out = nullptr;
        return E_NOTIMPL;
    }
    HRESULT AddSink(IOnlineDataSink* s) override
    {
        sinks.push_back(s);
        return S_OK;
    }
    HRESULT RemoveSink(IOnlineDataSink* s) override
    {
        std::erase(sinks, s);
        return S_OK;
    }
};

class FakeEnum final : public SimpleUnknownImp1<ICalcEnum, 1> {
public:
    std::wstring params;
    int inits = 0, clears = 0;
    ULONG count = 0;
    double interval = 0;
    DWORD mode = 1;
    LONG record = -1, seek = -1;
    std::vector<std::wstring> units;
    HRESULT initResult = S_OK;

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
    HRESULT SetParams(const wchar_t* text, DWORD* flags) override
    {
        params = text;
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
    HRESULT Init(LONG r, ULONG n, IUnknown* const* sources, IUnitName* const* unitNames, double v, DWORD m) override
    {
        ++inits;
        record = r;
        count = n;
        interval = v;
        mode = m;
        units.clear();
        for (ULONG i = 0; i < n; ++i) {
            EXPECT_NE(sources[i], nullptr);
            IKELString* text = nullptr;
            unitNames[i]->GetText(0, &text);
            units.push_back(KEL::String(text).ToWString());
            text->Release();
        }
        return initResult;
    }
    HRESULT Seek(LONG p) override
    {
        seek = p;
        return S_OK;
    }
    HRESULT ClearSources() override
    {
        ++clears;
        return S_OK;
    }
};

class FakeCreator final : public SimpleUnknownImp1<IEnumCreator, 1> {
public:
    explicit FakeCreator(FakeEnum* e)
        : made(e)
    {
    }
    FakeEnum* made;
    HRESULT CreateEnumerator(IUnknown* document, ICalcEnum** out) override
    {
        EXPECT_NE(document, nullptr);
        made->AddRef();
        *out = made;
        return S_OK;
    }
};

class FakeFactory final : public SimpleUnknownImp1<IObjectFactory, 1> {
public:
    FakeEnum* enumerator = nullptr;
    IUnknown* inner = nullptr;
    DWORD lastKey = 0;
    IUnknown* lastOuter = nullptr;
    HRESULT CreateInstance(DWORD classKey, REFIID iid, void** out) override
    {
        *out = nullptr;
        if (classKey != 42 || iid != IEnumCreator::kIid)
            return CLASS_E_CLASSNOTAVAILABLE;
        *out = static_cast<IEnumCreator*>(new FakeCreator(enumerator));
        return S_OK;
    }
    HRESULT CreateAggregated(IUnknown* outer, DWORD key, REFIID, void** out) override
    {
        lastOuter = outer;
        lastKey = key;
        *out = inner;
        if (inner)
            inner->AddRef();
        return inner ? S_OK : E_FAIL;
    }
};

class TestGetter final : public ExtLib::EventEnumDataGetter {
public:
    TestGetter(IRecordingDoc* d, IObjectFactory* f)
        : EventEnumDataGetter(d)
        , factory(f)
    {
    }
    IObjectFactory* factory;
    IObjectFactory* ObjectFactory() override { return factory; }
};

std::vector<SourceEntry> Parse(const wchar_t* text)
{
    std::vector<SourceEntry> out { SourceEntry {} }; // parsing starts from a cleared list
    EnumGetterBase::ParseChannelReferences(KEL::String(text), out);
    return out;
}

SourceEntry E(std::uint32_t channel, bool r = false, bool v = false)
{
    SourceEntry e;
    e.channel = channel;
    e.r = r;
    e.v = v;
    return e;
}

TEST(ParseChannelReferences, FindsEachReferenceOnce)
{
    const struct {
        const wchar_t* text;
        std::vector<SourceEntry> expected;
    } cases[] = {
        { L"rch2+ch2+channel2", { E(1, true), E(1) } },
        { L"vch10", { E(9, false, true) } },
        { L"fiducial(ch1, rch3, vch1)", { E(0), E(2, true), E(0, false, true) } },
        { L"channel12*2", { E(11) } },
        { L"x+ch", {} },
        { L"chx", {} },
        { L"channel", {} },
        { L"abc(ch3)", { E(2) } },
        // Numbers that name no channel are skipped, never turned into channel 0xFFFFFFFF.
        { L"ch0", {} },
        { L"ch0+ch1", { E(0) } },
        { L"ch-1", {} },
        { L"ch99999999999", {} },
        { L"rch00", {} },
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(testing::PrintToString(std::wstring(c.text)));
        const auto got = Parse(c.text);
        ASSERT_EQ(got.size(), c.expected.size());
        for (std::size_t i = 0; i < got.size(); ++i) {
            EXPECT_EQ(got[i].channel, c.expected[i].channel) << i;
            EXPECT_EQ(got[i].r, c.expected[i].r) << i;
            EXPECT_EQ(got[i].v, c.expected[i].v) << i;
        }
    }
}

struct GetterFixture : ::testing::Test {
    FakeDoc doc;
    FakeEnum enumerator;
    FakeFactory factory;
    FakeStream s0, s1;
    GetterFixture() { factory.enumerator = &enumerator; }
};

TEST_F(GetterFixture, CreatesTheEnumeratorAndHandsItItsSources)
{
    {
        TestGetter g(&doc, &factory);
        EXPECT_FALSE(g.CreateEnum(7, KEL::String(L"Fiducial(Ch1)")));
        EXPECT_EQ(g.Enumerator(), nullptr);
        EXPECT_FALSE(g.SetSources(0, false, 0.5));

        ASSERT_TRUE(g.CreateEnum(42, KEL::String(L"Fiducial(Ch1, RCh2)")));
        EXPECT_EQ(enumerator.params, L"Fiducial(Ch1, RCh2)"); // as given, not lower-cased
        ASSERT_EQ(g.Sources().size(), 2u);

        doc.sources[0] = &s0; // through the source object
        doc.fallbacks[1] = &s1; // only through the document's data object
        ASSERT_TRUE(g.SetSources(vx::hf::MakeTickPosition(3, 250), false, 0.5));
        EXPECT_EQ(doc.sourceKinds.front(), 0x40001000u);
        EXPECT_EQ(doc.sourceKinds.back(), 0x1001u); // the r source
        EXPECT_EQ(enumerator.inits, 1);
        EXPECT_EQ(enumerator.record, 3);
        EXPECT_EQ(enumerator.count, 2u);
        EXPECT_DOUBLE_EQ(enumerator.interval, 0.001); // the first source's interval
        EXPECT_EQ(enumerator.mode, 0xC0000000u);
        EXPECT_EQ(enumerator.units, (std::vector<std::wstring> { L"V", L"V" }));
        EXPECT_EQ(enumerator.seek, 250);
        EXPECT_EQ(g.SourceDataCount(), 2u);
        EXPECT_EQ(s0.RefCount(), 2u);

        // A second call before a stop changes nothing.
        EXPECT_FALSE(g.SetSources(vx::hf::MakeTickPosition(4, 0), false, 0.5));
        EXPECT_EQ(enumerator.inits, 1);

        // Sampling stops: without a callback nothing is thrown; the sources go.
        EXPECT_EQ(g.OnSamplingStopped(), S_OK);
        EXPECT_EQ(enumerator.clears, 1);
        EXPECT_FALSE(g.SourcesSet());
        EXPECT_EQ(s0.RefCount(), 1u);
        EXPECT_EQ(s1.RefCount(), 1u);
        ASSERT_TRUE(g.SetSources(vx::hf::MakeTickPosition(4, 0), false, 0.5));
    }
    // The destructor stops the enumerator and lets every reference go.
    EXPECT_EQ(enumerator.clears, 2);
    EXPECT_EQ(s0.RefCount(), 1u);
    EXPECT_EQ(enumerator.RefCount(), 1u);
    EXPECT_EQ(doc.RefCount(), 1u);
}

TEST_F(GetterFixture, AFailedSetSourcesLeavesEverythingAsItWas)
{
    TestGetter g(&doc, &factory);
    ASSERT_TRUE(g.CreateEnum(42, KEL::String(L"f(ch1, ch2, ch3)")));
    doc.sources[0] = &s0;
    doc.sources[1] = &s1; // channel 3 (number 2) is nowhere
    EXPECT_FALSE(g.SetSources(0, false, 0.5));
    EXPECT_FALSE(g.SourcesSet());
    EXPECT_EQ(g.SourceDataCount(), 0u);
    EXPECT_EQ(enumerator.inits, 0);
    EXPECT_EQ(s0.RefCount(), 1u);
    EXPECT_EQ(s1.RefCount(), 1u);

    // An enumerator that refuses its start keeps nothing either.
    doc.fallbacks[2] = &s0;
    enumerator.initResult = E_INVALIDARG;
    EXPECT_FALSE(g.SetSources(0, false, 0.5));
    EXPECT_EQ(g.SourceDataCount(), 0u);
    EXPECT_EQ(s0.RefCount(), 1u);
    enumerator.initResult = S_OK;
    EXPECT_TRUE(g.SetSources(0, false, 0.5));
    EXPECT_EQ(g.SourceDataCount(), 3u);
}

TEST_F(GetterFixture, TheStartModeIsTheKindModesOnlyWhetherOrNotTheGetterListensOnline)
{
    // 0xC0000000 for the kind modes 0 and 2, else 0; a getter registered as online sink adds
    // nothing: whether the record grows is for the host to say.
    struct Case {
        DWORD kindMode;
        bool online;
        DWORD mode;
    };
    for (const Case c : { Case { 0, false, 0xC0000000u }, Case { 0, true, 0xC0000000u }, Case { 2, true, 0xC0000000u },
             Case { 1, false, 0u }, Case { 1, true, 0u }, Case { 3, true, 0u } }) {
        TestGetter g(&doc, &factory);
        g.SetKindMode(c.kindMode);
        if (c.online) {
            ASSERT_TRUE(g.RegisterAsSink());
        }
        ASSERT_TRUE(g.CreateEnum(42, KEL::String(L"f(ch1)")));
        doc.sources[0] = &s0;
        ASSERT_TRUE(g.SetSources(0, false, 0.5));
        EXPECT_EQ(enumerator.mode, c.mode) << c.kindMode << (c.online ? " online" : " offline");
    }
}

TEST_F(GetterFixture, ACallbackRunsAtTheStopAndNothingEscapesTheInterface)
{
    TestGetter g(&doc, &factory);
    ASSERT_TRUE(g.RegisterAsSink());
    ASSERT_EQ(doc.sinks.size(), 1u);
    IOnlineDataSink* sink = doc.sinks.front();
    int calls = 0;
    g.SetCallback([&] { ++calls; });
    EXPECT_EQ(sink->SamplingEnd(), S_OK);
    EXPECT_EQ(calls, 1);

    ASSERT_TRUE(g.CreateEnum(42, KEL::String(L"f(ch1)")));
    doc.sources[0] = &s0;
    ASSERT_TRUE(g.SetSources(0, false, 0.5));
    g.SetCallback([] { throw std::runtime_error("callback failed"); });
    HRESULT hr = S_OK;
    {
        vx::log::Capture capture;
        EXPECT_NO_THROW(hr = sink->SamplingEnd());
        EXPECT_EQ(capture.Lines(), (std::vector<std::string> { "EnumGetterBase::OnSamplingStopped: callback failed" }));
    }
    EXPECT_EQ(hr, E_FAIL);
    EXPECT_FALSE(g.SourcesSet()); // the sources still go
    EXPECT_EQ(s0.RefCount(), 1u);

    DWORD value = 7;
    EXPECT_EQ(sink->GetValue13(&value), S_OK);
    EXPECT_EQ(value, 0u);
    EXPECT_EQ(sink->GetValue14(1, 2, 3, &value), S_OK);
    EXPECT_EQ(value, 100u);
    WORD verdict = 0;
    EXPECT_EQ(sink->MaySamplingStart(nullptr, &verdict), S_OK);
    EXPECT_EQ(verdict, 65535);
    EXPECT_EQ(sink->AddRef(), 1u);
    EXPECT_EQ(sink->Release(), 1u);
}

TEST(EnumGetterLifetime, TheDestructorLeavesTheOnlineRegistry)
{
    FakeDoc doc;
    FakeFactory factory;
    {
        TestGetter g(&doc, &factory);
        ASSERT_TRUE(g.RegisterAsSink());
        EXPECT_EQ(doc.sinks.size(), 1u);
    }
    EXPECT_TRUE(doc.sinks.empty());
}

// --- ChannelCalcBase -----------------------------------------------------------------------------

struct IInnerOnly : IUnknown {
    static constexpr IID kIid = vx::com::MakeGuid("{4021A447-7899-11D4-8110-00A0C9E26433}");
};

class Inner final : public SimpleUnknownImp1<IInnerOnly, 1> { };

class TestCalc final : public ChannelCalcBase {
public:
    TestCalc(IObjectFactory* f)
        : ChannelCalcBase(nullptr, 0, 3, f, 0x00050011)
    {
    }
    HRESULT Calculate(LONG, LONG, ULONG, float*, ULONG*) override { return E_NOTIMPL; }
    HRESULT Setup(IUnknown*) override { return S_OK; }
    HRESULT Reserved5() override { return E_NOTIMPL; }
    HRESULT GetSettings(IUnknown** s) override
    {
        *s = nullptr;
        return E_NOTIMPL;
    }
    HRESULT GetFlags(DWORD* f) override
    {
        *f = 0x10000000;
        return S_OK;
    }
    HRESULT GetDescription(BSTR* t) override
    {
        *t = nullptr;
        return E_NOTIMPL;
    }
};

TEST(ChannelCalcBase, OtherInterfacesComeFromTheInnerObject)
{
    Inner inner;
    FakeFactory factory;
    factory.inner = &inner;
    auto* calc = new TestCalc(&factory);
    EXPECT_EQ(factory.lastKey, 0x00050011u);
    EXPECT_EQ(factory.lastOuter, static_cast<IUnknown*>(static_cast<IChannelCalc*>(calc)));
    EXPECT_EQ(inner.RefCount(), 2u); // held once; its own interface is not counted
    void* out = nullptr;
    ASSERT_EQ(calc->QueryInterface(IInnerOnly::kIid, &out), S_OK);
    EXPECT_EQ(out, static_cast<void*>(static_cast<IInnerOnly*>(&inner)));
    static_cast<IUnknown*>(out)->Release();
    ASSERT_EQ(calc->QueryInterface(IChannelCalc::kIid, &out), S_OK);
    EXPECT_EQ(out, static_cast<void*>(static_cast<IChannelCalc*>(calc)));
    calc->Release();
    EXPECT_EQ(calc->QueryInterface(IOnlineDataSink::kIid, &out), E_NOINTERFACE);
    IUnknown* extra = reinterpret_cast<IUnknown*>(1);
    EXPECT_EQ(calc->GetExtra(&extra), E_NOTIMPL);
    EXPECT_EQ(extra, nullptr);
    EXPECT_EQ(calc->Refresh(), S_OK);
    calc->Release();
    EXPECT_EQ(inner.RefCount(), 1u);

    // Without an inner object only the calculation's own interfaces answer.
    factory.inner = nullptr;
    auto* alone = new TestCalc(&factory);
    EXPECT_EQ(alone->QueryInterface(IInnerOnly::kIid, &out), E_NOINTERFACE);
    alone->Release();
}

} // namespace
