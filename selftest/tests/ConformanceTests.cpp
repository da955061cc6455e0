// The conformance routines and the synthetic data adder on the host's synthetic recordings, with
// the extension's fiducial enumerator behind a test double that can break one rule of the
// enumerator contract at a time.
#include <gtest/gtest.h>

#include <cstring>

#include "foundation/core/Rational.h"
#include "host/caf/tests/RegisteredFramework.h"
#include "host/synthetic/SyntheticRecordings.h"
#include "hostframework/enumerators/tests/ForwardingEnum.h"
#include "hostframework/services/CafFrameWork.h"
#include "hrv/analysis/Enumerators.h"
#include "log/Log.h"
#include "selftest/EventEnumTests.h"
#include "selftest/HRVSelfTests.h"

namespace {

using HRV::FiducialEvent;
constexpr LONG kEnd = 0x7FFFFFFF;

enum class Fault {
    None,
    FalseWithoutEnd, // S_FALSE at the end, with a position other than the end of the record
    EndlessAtRecordEnd, // never says the record is over: S_OK at the end asked for, or at its last tick
    Repeats, // fills every buffer with one event and never moves on
    FindOffByOne, // Find lands one tick after the event
};

// The fiducial enumerator with one fault.
class BrokenEnum final : public vx::hf::test::ForwardingEventEnum {
public:
    BrokenEnum(ICalcEnum* inner, Fault fault)
        : ForwardingEventEnum(inner)
        , mFault(fault)
    {
    }
    HRESULT Init(
        LONG record, ULONG n, IUnknown* const* sources, IUnitName* const* units, double dt, DWORD mode) override
    {
        void* stream = nullptr;
        if (n > 0 && SUCCEEDED(sources[0]->QueryInterface(IFloatStreamEx::kIid, &stream))) {
            static_cast<IFloatStreamEx*>(stream)->GetLength(&mLength);
            static_cast<IFloatStreamEx*>(stream)->Release();
        }
        return ForwardingEventEnum::Init(record, n, sources, units, dt, mode);
    }
    HRESULT Next(ULONG bytes, LONG end, void* buffer, ULONG* count, LONG* next) override
    {
        const HRESULT hr = ForwardingEventEnum::Next(bytes, end, buffer, count, next);
        switch (mFault) {
        case Fault::FalseWithoutEnd:
            if (hr == S_FALSE)
                *next = 17;
            break;
        case Fault::EndlessAtRecordEnd:
            if (hr == S_FALSE) {
                *next = end == kEnd ? mLength : end;
                return S_OK;
            }
            break;
        case Fault::Repeats:
            if (*count > 0 || mHaveFirst) {
                if (!mHaveFirst)
                    std::memcpy(&mFirst, buffer, sizeof mFirst);
                mHaveFirst = true;
                *count = bytes / sizeof mFirst;
                for (ULONG i = 0; i < *count; ++i)
                    std::memcpy(static_cast<FiducialEvent*>(buffer) + i, &mFirst, sizeof mFirst);
                *next = mFirst.mPosition;
                return S_OK;
            }
            break;
        default:
            break;
        }
        return hr;
    }
    HRESULT GetPosition(LONG* position) override
    {
        const HRESULT hr = ForwardingEventEnum::GetPosition(position);
        if (mFault == Fault::FindOffByOne && *position != kEnd)
            ++*position;
        return hr;
    }

private:
    Fault mFault;
    LONG mLength = 0;
    FiducialEvent mFirst;
    bool mHaveFirst = false;
};

// The class of "brokenfid": the fiducial enumerator's class, under another name, making broken
// enumerators.
class BrokenClass final : public vx::hf::test::ForwardingEnumClass {
public:
    explicit BrokenClass(Fault fault)
        : ForwardingEnumClass(&HRV::FiducialEnumClass(), &HRV::FiducialEnumClass())
        , mFault(fault)
    {
    }
    HRESULT GetFunctionName(DWORD, BSTR* name) override
    {
        *name = SysAllocString(L"brokenfid");
        return S_OK;
    }
    HRESULT GetFunctionInfo(DWORD index, BSTR* name, DWORD* classId, DWORD* count) override
    {
        const HRESULT hr = ForwardingEnumClass::GetFunctionInfo(index, name, classId, count);
        if (SUCCEEDED(hr) && name) {
            SysFreeString(*name);
            *name = SysAllocString(L"brokenfid");
        }
        return hr;
    }

private:
    ICalcEnum* Wrap(ICalcEnum* inner) override { return new BrokenEnum(inner, mFault); }

    Fault mFault;
};

EnumTestConfig BrokenConfig()
{
    std::wstring formula = HRV::HRV_TestFiducialEnum::FiducialFormula();
    formula.replace(0, formula.find(L'('), L"brokenfid");
    EnumTestConfig config(L"sinewave(0.9)", formula);
    config.mNumSamplesToTest = 30000; // 27 beats
    return config;
}

// The failure text of a routine, or "" when it passed.
template <class F> std::string FailureOf(F&& routine)
{
    try {
        routine();
    } catch (const UnitTestException& e) {
        return KEL::String(e.Text()).Utf8();
    }
    return "";
}

class Conformance : public caf::test::RegisteredFramework {
protected:
    void Use(Fault fault)
    {
        mClass = std::make_unique<BrokenClass>(fault);
        ITypeIdRegistry* types = nullptr;
        sFramework->QueryInterface(ITypeIdRegistry::kIid, reinterpret_cast<void**>(&types));
        mHost = std::make_unique<vx::host::SyntheticRecordingHost>(
            types, std::vector<IUnknown*> { static_cast<ICalcEnumClass2*>(mClass.get()) });
        types->Release();
    }
    void TearDown() override
    {
        mHost.reset();
        mClass.reset();
    }
    std::unique_ptr<BrokenClass> mClass;
    std::unique_ptr<vx::host::SyntheticRecordingHost> mHost;
};

} // namespace

TEST_F(Conformance, EveryRoutinePassesForTheEnumeratorAsItIs)
{
    Use(Fault::None);
    const EnumTestConfig config = BrokenConfig();
    using namespace EventEnumTests;
    EXPECT_EQ(FailureOf([&] { EventEnumTestNextOffline<FiducialEvent>(config, 80); }), "");
    EXPECT_EQ(FailureOf([&] { EventEnumTestNextOnline<FiducialEvent>(config, 80); }), "");
    EXPECT_EQ(FailureOf([&] { EventEnumBounceTest<FiducialEvent>(config, 0, 11); }), "");
    EXPECT_EQ(FailureOf([&] { EventEnumBounceTest<FiducialEvent>(config, 1, 12); }), "");
    EXPECT_EQ(FailureOf([&] { EventEnumOnlineOfflineComparison<FiducialEvent>(config); }), "");
    EXPECT_EQ(FailureOf([&] { EventEnumTestFind<FiducialEvent>(config, 13); }), "");
    EXPECT_EQ(FailureOf([&] { EventEnumTestSetSources<FiducialEvent>(config); }), "");
}

TEST_F(Conformance, ABrokenEnumeratorFailsWithTheRuleItBreaks)
{
    using namespace EventEnumTests;
    const struct {
        Fault fault;
        std::function<void(const EnumTestConfig&)> routine;
        const char* text;
    } cases[] = {
        { Fault::FalseWithoutEnd, [](const EnumTestConfig& c) { EventEnumTestNextOffline<FiducialEvent>(c, 80); },
            "Line 142 [nut==kRecordEndOffset || hr==S_OK], [Bad HResult from Next.]" },
        { Fault::FalseWithoutEnd, [](const EnumTestConfig& c) { EventEnumTestNextOnline<FiducialEvent>(c, 80); },
            "Line 214 [hr==S_OK || nut==kRecordEndOffset], [S_FALSE and kRecordEndOffset must go together.]" },
        { Fault::EndlessAtRecordEnd, [](const EnumTestConfig& c) { EventEnumTestNextOffline<FiducialEvent>(c, 80); },
            "Line 158 [preventinfiniteloop<4], [Enumerator isn't returning kRecordEndOffset at end of record]" },
        { Fault::Repeats, [](const EnumTestConfig& c) { EventEnumTestNextOffline<FiducialEvent>(c, 80); },
            "Line 146 [rounds <= config.mNumSamplesToTest], [Next keeps returning events without reaching endTick.]" },
        { Fault::Repeats, [](const EnumTestConfig& c) { EventEnumOnlineOfflineComparison<FiducialEvent>(c); },
            "Line 310 [edg.GetRecordData<TBufType>(0,vec)]" },
        { Fault::FindOffByOne, [](const EnumTestConfig& c) { EventEnumTestFind<FiducialEvent>(c, 5); },
            "Line 473 [nPos>pos0 && nPos<=pos1], [Bad position returned by Find when going backwards and no event "
            "found.]" },
        { Fault::FindOffByOne, [](const EnumTestConfig& c) { EventEnumTestSetSources<FiducialEvent>(c); },
            "Line 872 [posok], [Incorrect position after SetSources (17000 instead of 16999 in record with 17000 "
            "ticks).]" },
    };
    for (const auto& c : cases) {
        Use(c.fault);
        const std::string failure = FailureOf([&] { c.routine(BrokenConfig()); });
        EXPECT_NE(failure.find(c.text), std::string::npos) << c.text << "\n[" << failure << "]";
        EXPECT_EQ(failure.rfind("EventEnumTests.h, Line ", 0), 0u) << failure;
        TearDown();
    }
}

TEST_F(Conformance, TooShortARecordOrNoEventsFailAtOnce)
{
    Use(Fault::None);
    EnumTestConfig config = BrokenConfig();
    config.mNumSamplesToTest = 200;
    using namespace EventEnumTests;
    EXPECT_NE(
        FailureOf([&] { EventEnumTestNextOffline<FiducialEvent>(config, 80); }).find("Line 102"), std::string::npos);
    EXPECT_NE(
        FailureOf([&] { EventEnumTestNextOnline<FiducialEvent>(config, 80); }).find("Line 175"), std::string::npos);
    // A flat source has no beats.
    config = BrokenConfig();
    config.mSourceExpressions = { L"0" };
    EXPECT_NE(FailureOf([&] { EventEnumBounceTest<FiducialEvent>(config, 0, 3); }).find("Line 188 [nn>0]"),
        std::string::npos);
}

TEST_F(Conformance, TheDataAdderAnswersTheHostAndChecksItsRecord)
{
    Use(Fault::None);
    IUnknown* recordData = ExtLib::CreateRecordData();
    auto* adder = new ExtLib::FormulaDataAdder(recordData);
    adder->AddRef();
    // No expressions: one channel "1" at 1000 Hz.
    adder->SetChannels({}, 100, {});
    EXPECT_EQ(adder->Expressions(), std::vector<std::wstring> { L"1" });
    // The host's call-backs: a channel outside the channels is an argument error, not a throw.
    IUnknown* source = nullptr;
    EXPECT_EQ(adder->CreateChannelSource(0, -1, &source), E_INVALIDARG);
    EXPECT_EQ(adder->CreateChannelSource(0, 1, &source), E_INVALIDARG);
    EXPECT_EQ(source, nullptr);
    LONG ticks = 0;
    EXPECT_EQ(adder->GetTicks(&ticks), S_OK);
    EXPECT_EQ(ticks, 100);
    EXPECT_EQ(adder->GetTicks(nullptr), E_POINTER);
    // Commits stop at the record's end.
    adder->StartRecordAtRate({ L"sinewave(1)" }, 100, 1000.0, 0.0);
    adder->CommitTicks(60);
    adder->CommitTicks(60);
    EXPECT_EQ(adder->TicksAdded(), 100u);
    adder->CommitTicks(10);
    EXPECT_EQ(adder->TicksAdded(), 100u);
    adder->CloseRecord();
    double start = -1.0;
    auto* data = static_cast<IHostRecordData*>(recordData);
    EXPECT_EQ(data->GetRecordStartTime(0, 0, &start), S_OK);
    EXPECT_GT(start, 1e9); // 0.0 asks for now
    adder->Release();

    // Before any channels there is no tick rate; a rate below 1 Hz has no whole sample count.
    adder = new ExtLib::FormulaDataAdder(recordData);
    adder->AddRef();
    EXPECT_NE(FailureOf([&] { adder->AddSamples(0.0); }).find("Line 393 [mTickRate>0]"), std::string::npos);
    EXPECT_THROW(adder->AddRecordAtRate({ L"1" }, 100, 0.5, 0.0), KELRationalImp::bad_rational);
    adder->Release();
    recordData->Release();
}

TEST_F(Conformance, TheSelfTestGoesToTheRegistryOrIsFreedWithOneLine)
{
    caf::ReleaseRegistrations();
    EXPECT_EQ(HRV::RegisterSelfTests(CAFFrameWork::GetUnitTestRegistry()), S_OK);
    const auto rows = caf::Registrations();
    ASSERT_EQ(rows.size(), 1u);
    EXPECT_EQ(rows[0].kind, caf::Registration::Kind::UnitTest);
    caf::ReleaseRegistrations();

    vx::log::Capture capture;
    EXPECT_EQ(HRV::RegisterSelfTests(nullptr), E_NOINTERFACE);
    ASSERT_EQ(capture.Lines().size(), 1u);
    EXPECT_NE(capture.Lines()[0].find("HRV_TestFiducialEnum"), std::string::npos);
}

TEST(HRVSelfTest, EnumeratesTheFiducialFormulaWithFourDigitNumbers)
{
    EXPECT_EQ(HRV::HRV_TestFiducialEnum::FiducialFormula(),
        L"fiducial(ch1,cmpeakdet(ch1,0.5,0.01,10.0),0.1,0,0,2,0,2,0,0,2147483647,2147483647,0)");
}
