// The bridge from an extension's calculation-enumerator classes to the host's engine, with a
// small extension of the test's own: "above(signal, peaks, threshold)" gives one 16-byte event at
// every peak event of the second source whose signal sample lies above the threshold.
#include "foundation/base/SimpleUnknownImp.h"
#include "host/calc/CalcError.h"
#include "host/calc/tests/TestRecording.h"
#include "host/extcalc/ExtensionEnumerators.h"
#include "hostframework/interfaces/SelfTestInterfaces.h"

#include <gtest/gtest.h>

#include <cstring>
#include <locale>
#include <sstream>

using namespace vx;

namespace {

BSTR Make(const wchar_t* text)
{
    return SysAllocString(text);
}

// The modes the enumerators were started with, in order, and whether they answer "nothing yet"
// (no event, no progress) to every Next, as an enumerator of a growing record does at its end.
std::vector<DWORD> gModes;
bool gWaiting = false;

class AboveEnum final : public SimpleUnknownImp2<ICalcEnum, IEnumEventEx, 0> {
public:
    HRESULT GetClassId(DWORD* id) override { return *id = 0, S_OK; }
    HRESULT GetClassObject(IUnknown** out) override { return *out = nullptr, E_NOTIMPL; }
    HRESULT SetParams(const wchar_t* text, DWORD* flags) override
    {
        std::wistringstream in(text);
        in.imbue(std::locale::classic());
        std::wstring word;
        int sources = 0;
        in >> word >> sources >> mThreshold;
        if (in.fail() || sources != 2 || mThreshold < 0)
            return E_INVALIDARG;
        *flags = 0x40000000;
        return S_OK;
    }
    HRESULT GetParams(BSTR* text) override { return *text = Make(L""), S_OK; }
    HRESULT Clone(ICalcEnum**) override { return E_NOTIMPL; }
    HRESULT Init(LONG, ULONG count, IUnknown* const* sources, IUnitName* const*, double, DWORD mode) override
    {
        gModes.push_back(mode);
        ClearSources();
        if (count != 2 || FAILED(sources[0]->QueryInterface(IFloatStreamEx::kIid, reinterpret_cast<void**>(&mSignal)))
            || FAILED(sources[1]->QueryInterface(IEnumEventEx::kIid, reinterpret_cast<void**>(&mPeaks))))
            return E_INVALIDARG;
        return S_OK;
    }
    HRESULT Seek(LONG position) override { return mPeaks->Find(0, position, position, 0x7FFFFFFF); }
    HRESULT ClearSources() override
    {
        if (mSignal)
            mSignal->Release();
        if (mPeaks)
            mPeaks->Release();
        mSignal = nullptr;
        mPeaks = nullptr;
        return S_OK;
    }
    HRESULT Next(ULONG bytes, LONG end, void* buffer, ULONG* count, LONG* next) override
    {
        *count = 0;
        if (gWaiting) {
            *next = 0;
            return S_OK;
        }
        std::vector<std::byte> peaks(16 * 4);
        ULONG n = 0;
        LONG after = 0;
        if (FAILED(mPeaks->Next(
                static_cast<ULONG>(std::min<std::size_t>(peaks.size(), bytes)), end, peaks.data(), &n, &after)))
            return E_FAIL;
        auto* out = static_cast<std::byte*>(buffer);
        for (ULONG i = 0; i < n; ++i) {
            int32_t p;
            std::memcpy(&p, peaks.data() + 16 * i, 4);
            LONG at = 0, moved = 0;
            mSignal->GetPosition(&at);
            mSignal->SeekRelative(p - at, &moved);
            float v = 0;
            ULONG read = 0;
            mSignal->Read(1, &v, &read);
            if (read == 1 && v > mThreshold) {
                const double value = v;
                std::memcpy(out + 16 * *count, &p, 4);
                std::memset(out + 16 * *count + 4, 0, 4);
                std::memcpy(out + 16 * *count + 8, &value, 8);
                ++*count;
            }
        }
        *next = after;
        return after == 0x7FFFFFFF ? S_FALSE : S_OK;
    }
    HRESULT Find(LONG, LONG, LONG, LONG) override { return E_NOTIMPL; }
    HRESULT GetPosition(LONG* p) override { return *p = 0, S_OK; }
    HRESULT Reserved6(LONG*) override { return E_NOTIMPL; }
    HRESULT Clone(IEnumEventEx**) override { return E_NOTIMPL; }
    HRESULT GetRecordSize(ULONG* size) override { return *size = 16, S_OK; }
    HRESULT GetEventType(DWORD* type) override { return *type = 0, S_OK; }
    HRESULT Reserved10(LONG*) override { return E_NOTIMPL; }
    HRESULT GetTimeBase(vx::hf::RateRatio* r) override { return *r = {}, S_OK; }
    ~AboveEnum() override { ClearSources(); }

private:
    IFloatStreamEx* mSignal = nullptr;
    IEnumEventEx* mPeaks = nullptr;
    double mThreshold = 0;
};

class AboveClass final : public ICalcEnumClass2, public ICalcNumericParamsFuncClass {
public:
    HRESULT QueryInterface(REFIID iid, void** out) override
    {
        if (iid == IUnknown::kIid || iid == ICAFClassObject::kIid || iid == ICalcEnumClass2::kIid)
            *out = static_cast<ICalcEnumClass2*>(this);
        else if (iid == ICalcNumericParamsFuncClass::kIid)
            *out = static_cast<ICalcNumericParamsFuncClass*>(this);
        else
            return *out = nullptr, E_NOINTERFACE;
        return S_OK;
    }
    ULONG AddRef() override { return 1; }
    ULONG Release() override { return 1; }
    HRESULT GetClassId(DWORD* id) override { return *id = 7, S_OK; }
    HRESULT GetName(BSTR* name) override { return *name = Make(L"AboveEnum"), S_OK; }
    HRESULT GetNameString(IKELString** out) override { return *out = nullptr, E_NOTIMPL; }
    HRESULT GetDescription(IKELString** out) override { return *out = nullptr, E_NOTIMPL; }
    HRESULT CreateInstance(IUnknown*, ICalcEnum** out) override
    {
        auto* e = new AboveEnum();
        e->AddRef();
        *out = e;
        return S_OK;
    }
    HRESULT GetFunctionName(DWORD, BSTR* name) override { return *name = Make(L"Above"), S_OK; }
    HRESULT GetFunctionInfo(DWORD, BSTR* name, DWORD* id, DWORD* count) override
    {
        *name = Make(L"Above");
        *id = 7;
        *count = 3;
        return S_OK;
    }
    HRESULT GetParamInfo(DWORD index, double* maximum, double* minimum, DWORD* flags, BSTR* name) override
    {
        if (index > 2)
            return E_INVALIDARG;
        *maximum = 10;
        *minimum = -10;
        *flags = 0x40000000;
        *name = Make(index == 0 ? L"Signal" : index == 1 ? L"Peaks" : L"Threshold");
        return S_OK;
    }
    HRESULT CheckSource(DWORD index, DWORD flags) override
    {
        if (index == 0)
            return (flags & kCalcSourceSampled) ? S_OK : S_FALSE;
        if (index == 1)
            return (flags & kCalcSourceEvents) ? S_OK : S_FALSE;
        return E_INVALIDARG;
    }
};

// A class object of another kind.
class PlainClass final : public SimpleUnknownImp1<ICAFClassObject, 1> {
public:
    HRESULT GetClassId(DWORD* id) override { return *id = 9, S_OK; }
};

struct BridgeFixture : ::testing::Test {
    std::shared_ptr<calc::test::TestRecording> recording = std::make_shared<calc::test::TestRecording>();
    std::unique_ptr<calc::Engine> engine;
    AboveClass cls;
    BridgeFixture()
    {
        calc::test::TestRecording::Record r;
        r.rate = 100;
        std::vector<float> s(1000, 0.0f);
        for (int i = 50; i < 1000; i += 100)
            s[static_cast<std::size_t>(i)] = i < 500 ? 1.0f : 3.0f;
        r.channels.push_back(s);
        recording->records.push_back(r);
        engine = std::make_unique<calc::Engine>(recording);
    }
};

TEST_F(BridgeFixture, RegisteredClassIsCallableFromFormulas)
{
    const auto described = extcalc::DescribeEnumeratorClass(static_cast<ICalcEnumClass2*>(&cls));
    ASSERT_TRUE(described);
    EXPECT_EQ(described->functionName, "Above");
    ASSERT_EQ(described->params.size(), 3u);
    EXPECT_EQ(described->params[0].kind, calc::EnumeratorParam::Kind::Samples);
    EXPECT_EQ(described->params[1].kind, calc::EnumeratorParam::Kind::Events);
    EXPECT_EQ(described->params[2].kind, calc::EnumeratorParam::Kind::Number);
    EXPECT_EQ(described->params[2].name, "Threshold");

    ASSERT_EQ(extcalc::RegisterExtensionEnumerators(*engine, { static_cast<ICalcEnumClass2*>(&cls) }), 1);
    engine->SetFormula(L"peaks", L"cmpeakdet(Ch1,0.5,0.2,30)");
    engine->SetFormula(L"big", L"above(Ch1,peaks,2)");
    calc::EventBuffer events;
    engine->Channel(L"big").events->Read(0, 0, 1000, events);
    ASSERT_EQ(events.Count(), 5u);
    EXPECT_EQ(events.Position(0), 550);
    EXPECT_DOUBLE_EQ(calc::EventValue(events, 4), 3.0);
    // A stretch in the middle.
    events.Clear();
    engine->Channel(L"big").events->Read(0, 700, 900, events);
    ASSERT_EQ(events.Count(), 2u);
    EXPECT_EQ(events.Position(0), 750);
}

TEST_F(BridgeFixture, RefusalsReachTheFormula)
{
    extcalc::RegisterExtensionEnumerators(*engine, { static_cast<ICalcEnumClass2*>(&cls) });
    engine->SetFormula(L"peaks", L"cmpeakdet(Ch1,0.5,0.2,30)");
    // Refused by the enumerator's own check, by the published range, by a source of the wrong kind.
    EXPECT_THROW(engine->SetFormula(L"x", L"above(Ch1,peaks,-1)"), calc::FormulaError);
    EXPECT_THROW(engine->SetFormula(L"x", L"above(Ch1,peaks,20)"), calc::FormulaError);
    EXPECT_THROW(engine->SetFormula(L"x", L"above(peaks,peaks,1)"), calc::FormulaError);
    EXPECT_FALSE(engine->HasChannel(L"x") && !engine->Formula(L"x").empty());
    // Other class objects are passed over.
    auto* plain = new PlainClass();
    EXPECT_FALSE(extcalc::DescribeEnumeratorClass(plain));
    EXPECT_EQ(extcalc::RegisterExtensionEnumerators(*engine, { plain, nullptr }), 0);
    plain->Release();
    // The same function name twice is refused.
    EXPECT_THROW(
        extcalc::RegisterExtensionEnumerators(*engine, { static_cast<ICalcEnumClass2*>(&cls) }), calc::CalcError);
}

// While the probe says the record grows, the enumerators start in sampling mode and may wait for
// data; once it says sampling has ended they start again without it, and an enumerator that then
// makes no progress is an error.
TEST_F(BridgeFixture, EnumeratorsOfAGrowingRecordStartInSamplingModeUntilItEnds)
{
    bool growing = true;
    extcalc::RegisterExtensionEnumerators(*engine, { static_cast<ICalcEnumClass2*>(&cls) }, nullptr,
        [&growing](int record) { return growing && record == 0; });
    engine->SetFormula(L"peaks", L"cmpeakdet(Ch1,0.5,0.2,30)");
    engine->SetFormula(L"big", L"above(Ch1,peaks,2)");
    gModes.clear();
    gWaiting = true;
    calc::EventBuffer events;
    engine->Channel(L"big").events->Read(0, 0, 1000, events); // nothing yet, and no error
    EXPECT_EQ(events.Count(), 0u);
    ASSERT_FALSE(gModes.empty());
    EXPECT_EQ(gModes.back(), kCalcEnumSampling);

    growing = false;
    gWaiting = false;
    engine->Channel(L"big").events->Read(0, 0, 1000, events);
    EXPECT_EQ(events.Count(), 5u); // all of them, read again from where the wait began
    EXPECT_EQ(gModes.back(), 0u);

    gWaiting = true;
    engine->SetFormula(L"stuck", L"above(Ch1,peaks,2)");
    EXPECT_THROW(engine->Channel(L"stuck").events->Read(0, 0, 1000, events), calc::CalcError);
    gWaiting = false;
}

} // namespace
