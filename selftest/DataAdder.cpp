#include "selftest/DataAdder.h"

#include <algorithm>
#include <cmath>
#include <ctime>
#include <limits>

#include "com/Ref.h"
#include "foundation/base/ExceptionBoundary.h"
#include "foundation/core/Rational.h"
#include "hostframework/calcglue/ChannelManager.h"
#include "hostframework/interfaces/CalcInterfaces.h"
#include "hostframework/interfaces/RecordingInterfaces.h"
#include "hostframework/services/CachedService.h"
#include "hostframework/services/CafFrameWork.h"
#include "selftest/UnitTestBase.h"

namespace ExtLib {
namespace {

constexpr GUID kRecordDataFactoryType = vx::com::MakeGuid("{087B8989-C731-48AF-9B76-A38483EAB354}");

void Check(bool ok, const char* expression, unsigned line, const KEL::String& message = {})
{
    UnitTestBase::Check(ok, expression, __FILE__, line, message);
}

IGenericClassObject* RecordDataFactory()
{
    static vx::hf::CachedService<IGenericClassObject> cache;
    return cache.Get([] {
        const DWORD key = DWORD(HostTypeIndex(kRecordDataFactoryType)) << 16;
        return vx::hf::CreateFromHostClass<IGenericClassObject>(key);
    });
}

using vx::com::Query;

} // namespace

IUnknown* CreateRecordData()
{
    IGenericClassObject* factory = RecordDataFactory();
    Check(factory != nullptr, "RecordDataFactory()", 31, KEL::String(L"The host offers no record-data factory."));
    void* out = nullptr;
    const HRESULT hr = factory->CreateInstance(nullptr, IHostRecordData::kIid, &out);
    Check(SUCCEEDED(hr) && out, "hr==S_OK", 36);
    return static_cast<IHostRecordData*>(out);
}

// --- DataAdderBase -------------------------------------------------------------------------------

DataAdderBase::DataAdderBase(IUnknown* recordData)
{
    if (!recordData) {
        mOwnRecordData = CreateRecordData();
        recordData = mOwnRecordData;
    }
    mRecordData = recordData;
    mRecordData->AddRef();
}

DataAdderBase::~DataAdderBase()
{
    if (mRecordData)
        mRecordData->Release();
    if (mOwnRecordData)
        mOwnRecordData->Release();
}

HRESULT DataAdderBase::CreateChannelSource(DWORD, LONG, IUnknown** source)
{
    if (source)
        *source = nullptr;
    return E_NOTIMPL;
}

HRESULT DataAdderBase::GetTicks(LONG*)
{
    return E_NOTIMPL;
}

void DataAdderBase::SetChannelSet(const KEL::Bitset& channels)
{
    mChannelSet = channels;
}

void DataAdderBase::AddChannels(const KEL::Bitset& channels)
{
    mChannelSet |= channels;
}

void DataAdderBase::RemoveChannels(const KEL::Bitset& channels)
{
    mChannelSet |= channels;
    mChannelSet ^= channels;
}

// --- FormulaDataAdder ----------------------------------------------------------------------------

FormulaDataAdder::FormulaDataAdder(IUnknown* recordData)
    : DataAdderBase(recordData)
{
    mTicks = 10240;
}

HRESULT FormulaDataAdder::GetTicks(LONG* ticks)
{
    if (!ticks)
        return E_POINTER;
    *ticks = mTicks;
    return S_OK;
}

HRESULT FormulaDataAdder::CreateChannelSource(DWORD, LONG channel, IUnknown** source)
{
    if (!source)
        return E_POINTER;
    *source = nullptr;
    // The host calls this: a failed check or an allocation failure becomes an HRESULT here.
    if (channel < 0 || static_cast<std::size_t>(channel) >= mSampleRates.size())
        return E_INVALIDARG;
    return vx::hf::Guarded("FormulaDataAdder::CreateChannelSource", [&] { return MakeChannelSource(channel, source); });
}

HRESULT FormulaDataAdder::MakeChannelSource(LONG channel, IUnknown** source)
{
    IRecordingDoc* document = Query<IRecordingDoc>(mRecordData).Detach();
    IHostClassObject* factory = ObjectFactoryAccessor::Get();
    if (!factory) {
        if (document)
            document->Release();
        Check(false, "ObjectFactoryAccessor::Get()", 92, KEL::String(L"CAF.DLL couldnt be loaded?"));
    }
    IEnumCreator* calcClass = nullptr;
    HRESULT hr
        = factory->CreateObject(ArithmeticCalcClassId(), IEnumCreator::kIid, reinterpret_cast<void**>(&calcClass));
    ICalcEnum* calc = nullptr;
    if (SUCCEEDED(hr) && calcClass)
        hr = calcClass->CreateEnumerator(document, &calc);
    if (calcClass)
        calcClass->Release();
    if (document)
        document->Release();
    if (FAILED(hr) || !calc)
        return FAILED(hr) ? hr : E_FAIL;
    const auto index = static_cast<std::size_t>(channel);
    const std::wstring formula = index < mExpressions.size() ? mExpressions[index] : L"0";
    DWORD flags = 0;
    hr = calc->SetParams(formula.c_str(), &flags);
    if (SUCCEEDED(hr))
        hr = calc->Init(0, 0, nullptr, nullptr, 1.0 / mSampleRates[index], 0);
    if (SUCCEEDED(hr))
        hr = calc->Seek(0);
    if (SUCCEEDED(hr))
        hr = calc->QueryInterface(IFloatStreamEx::kIid, reinterpret_cast<void**>(source));
    calc->Release();
    return hr;
}

void FormulaDataAdder::SetChannels(
    const std::vector<std::wstring>& expressions, std::int32_t ticks, const std::vector<double>& rates)
{
    mExpressions = expressions;
    mSampleRates = rates;
    Check(mExpressions.size() == mSampleRates.size(), "mExpressions.size() == mSampleRates.size()", 60);
    const std::size_t given = mExpressions.size();
    if (mExpressions.empty()) {
        mExpressions.push_back(L"1");
        mSampleRates.push_back(1000.0);
    }
    mTicks = ticks;
    if (mChannelSet.None())
        mChannelSet.SetLowBits(static_cast<std::uint32_t>(given));
    mTickRate = *std::max_element(mSampleRates.begin(), mSampleRates.end());
}

void FormulaDataAdder::AddSamples(double startTime)
{
    IRecordingSink* sink = Query<IRecordingSink>(mRecordData).Detach();
    if (sink)
        sink->Release(); // the record data keeps its sink
    mSink = sink;
    if (startTime == 0.0)
        startTime = static_cast<double>(std::time(nullptr));
    Check(mSink != nullptr, "mSink.IsValid()", 391);
    Check(mTicks != -1, "mTicks!=-1", 392);
    Check(mTickRate > 0, "mTickRate>0", 393);
    KEL::Bitset channels = mChannelSet;
    if (channels.None())
        channels.Set(0);
    // A rate below 1 Hz has no whole number of samples per second: the rational throws.
    const KEL::Rational tickInterval(1, static_cast<std::int64_t>(mTickRate));
    for (std::size_t i = 0; i < mSampleRates.size(); ++i) {
        vx::hf::ChannelDisplay display;
        display.top = std::numeric_limits<float>::infinity();
        display.bottom = -std::numeric_limits<float>::infinity();
        if (i < mRanges.size() && mRanges[i] < 0) {
            display.top = 10.0f;
            display.bottom = -10.0f;
        }
        display.unit = L"V";
        const KEL::Rational channelInterval(1, static_cast<std::int64_t>(mSampleRates[i]));
        const bool inSet = channels.Test(static_cast<std::uint32_t>(i));
        mSink->AnnounceChannel(static_cast<ULONG>(i), inSet ? VARIANT_TRUE : VARIANT_FALSE, &display,
            { channelInterval.Numerator(), channelInterval.Denominator() },
            { tickInterval.Numerator(), tickInterval.Denominator() }, 0x80020003u, this);
    }
    VARIANT_BOOL canSample = VARIANT_FALSE;
    mSink->CanSample(L"", &canSample);
    Check(canSample != VARIANT_FALSE, "canSample", 446);
    mSink->PrepareRecord(0);
    mSink->StartRecord(0, this, 1.0 / mTickRate, startTime, 0, mRecordFlags, VARIANT_TRUE);
    mTicksAdded = 0;
}

void FormulaDataAdder::CommitTicks(std::uint32_t n)
{
    Check(mSink != nullptr, "mSink", 487);
    const auto total = static_cast<std::uint32_t>(std::max(mTicks, 0));
    n = std::min(n, total - std::min(mTicksAdded, total));
    mSink->CommitTicks(n, total);
    mTicksAdded += n;
    IHostRecordData* recdata = Query<IHostRecordData>(mRecordData).Detach();
    Check(recdata != nullptr, "recdata", 494);
    vx::hf::RecordTick end;
    recdata->GetEndPosition(0, &end);
    recdata->Release();
    Check(end.tick == static_cast<std::int32_t>(mTicksAdded), "endpos.mRecordOffset == mTicksAdded", 497);
}

void FormulaDataAdder::CloseRecord()
{
    if (!mSink)
        return;
    DWORD result = 0;
    mSink->EndRecord(0, &result);
    mSink->CloseRecord(VARIANT_TRUE);
    mSink = nullptr;
}

void FormulaDataAdder::AddRecord(const std::vector<std::wstring>& expressions, std::int32_t ticks,
    const std::vector<double>& rates, double startTime)
{
    StartRecord(expressions, ticks, rates, startTime);
    CommitTicks(static_cast<std::uint32_t>(std::max(mTicks, 0)));
    CloseRecord();
}

void FormulaDataAdder::AddRecordAtRate(
    const std::vector<std::wstring>& expressions, std::int32_t ticks, double rate, double startTime)
{
    AddRecord(expressions, ticks, std::vector<double>(expressions.size(), rate), startTime);
}

void FormulaDataAdder::StartRecord(const std::vector<std::wstring>& expressions, std::int32_t ticks,
    const std::vector<double>& rates, double startTime)
{
    SetChannels(expressions, ticks, rates);
    AddSamples(startTime);
}

void FormulaDataAdder::StartRecordAtRate(
    const std::vector<std::wstring>& expressions, std::int32_t ticks, double rate, double startTime)
{
    StartRecord(expressions, ticks, std::vector<double>(expressions.size(), rate), startTime);
}

} // namespace ExtLib
