#include "hrv/module/ChannelCalc.h"

#include <algorithm>
#include <cmath>
#include <limits>

#include <memory>
#include <vector>

#include "com/Bstr.h"
#include "com/Ref.h"
#include "foundation/XKEL.h"
#include "foundation/stream/StorageBinStream.h"
#include "hostframework/calcglue/ChannelManager.h"
#include "hostframework/services/CafFrameWork.h"
#include "hrv/analysis/FiducialEvent.h"
#include "hrv_ui/Dialogs.h"

namespace HRV {

CalcClassRecord& CalculationClassRecord()
{
    static CalcClassRecord record { &GUID_HRVCalculationType, 0, 1 };
    return record;
}

DWORD CalculationClassId()
{
    return CalculationClassRecord().CalcClassId();
}

DWORD CalculationSettingsClassId()
{
    return CalculationClassRecord().SettingsClassId();
}

namespace {

const wchar_t* MeasureName(std::uint32_t measure)
{
    switch (measure) {
    case kMeasureBeatPeriod:
        return L"Beat Period";
    case kMeasureDeltaBeatPeriod:
        return L"Change in Beat Period";
    case kMeasureBeatRate:
        return L"Beat Rate";
    case kMeasureBeatComplexity:
        return L"Beat Complexity";
    default:
        return L"";
    }
}

float ClampLimit(double v)
{
    constexpr double kLimit = 1e24;
    return static_cast<float>(std::clamp(v, -kLimit, kLimit));
}

} // namespace

std::wstring CalcDescription(std::uint32_t measure)
{
    return std::wstring(L"HRV Calculation : ") + MeasureName(measure);
}

CalcChannelSetup CalcSetupFor(std::uint32_t measure)
{
    double low = -10, high = 10;
    std::wstring unit;
    switch (measure) {
    case kMeasureBeatPeriod:
        low = -2, high = 2, unit = L"s";
        break;
    case kMeasureDeltaBeatPeriod:
        low = -0.1, high = 0.1, unit = L"s";
        break;
    case kMeasureBeatRate:
        low = -120, high = 120, unit = L"BPM";
        break;
    case kMeasureBeatComplexity:
        low = -2, high = 2;
        break;
    default:
        break;
    }
    CalcChannelSetup s { unit, ClampLimit(low), ClampLimit(high), 0.0 };
    double span = static_cast<double>(s.high) - static_cast<double>(s.low);
    if (!std::isfinite(span))
        span = std::numeric_limits<float>::max();
    s.gain = span / 64000.0;
    return s;
}

std::wstring CalcFormula(std::uint32_t measure, bool interpolate)
{
    return L"HRVSelector(HRV_vFID," + std::to_wstring(measure) + L"," + (interpolate ? L"1" : L"0") + L")";
}

HRESULT ChannelCalcSettings::GetClassID(CLSID* clsid)
{
    if (!clsid)
        return E_POINTER;
    *clsid = GUID_HRVCalculationType;
    return S_OK;
}

HRESULT ChannelCalcSettings::Load(IStream* stream)
{
    if (!stream)
        return E_POINTER;
    KEL::StorageBinIStreamLite in(stream);
    const std::uint32_t version = in.GetU32();
    if (!in.Good())
        return E_FAIL;
    if (version > kVersion)
        return KEL::kStreamVersionTooNew;
    const std::uint32_t parameter = in.GetU32();
    const std::uint16_t guides = in.GetU16();
    const std::uint16_t interpolate = in.GetU16();
    if (!in.Good())
        return E_FAIL; // a short stream changes nothing
    mParameter = parameter;
    mSetGuideLines = guides != 0;
    mInterpolate = interpolate != 0;
    mDirty = false;
    return S_OK;
}

HRESULT ChannelCalcSettings::Save(IStream* stream, BOOL clearDirty)
{
    if (!stream)
        return E_POINTER;
    KEL::StorageBinOStreamLite out(stream);
    out.PutU32(kVersion);
    out.PutU32(mParameter);
    out.PutU16(mSetGuideLines ? 1 : 0);
    out.PutU16(mInterpolate ? 1 : 0);
    if (out.Flush() != S_OK)
        return E_FAIL;
    if (clearDirty)
        mDirty = false;
    return S_OK;
}

HRESULT ChannelCalcSettings::GetSizeMax(ULARGE_INTEGER* size)
{
    if (!size)
        return E_POINTER;
    size->QuadPart = 4 + 4 + 4 + 2 + 2; // header word, version, measure, two flags
    return S_OK;
}

HRESULT ChannelCalcSettings::InitNew()
{
    mParameter = kMeasureBeatPeriod;
    mSetGuideLines = true;
    mInterpolate = false;
    mDirty = false;
    return S_OK;
}

// --- ChannelCalc --------------------------------------------------------------------------------

namespace {

using vx::com::Query;
using vx::com::Ref;

const wchar_t kFiducialChannel[] = L"HRV_vFID";

} // namespace

ChannelCalc::ChannelCalc(ICalculationSite* site, ULONG channel, IObjectFactory* factory)
    : ChannelCalcBase(site, 0, channel, factory)
    , mSettings(new ChannelCalcSettings)
    , mSite(site)
    , mSetup(CalcSetupFor(kMeasureBeatPeriod))
{
    mSettings->AddRef();
    mSite->AddRef();
}

ChannelCalc::~ChannelCalc()
{
    mSettings->Release();
    mSite->Release();
}

HRESULT ChannelCalc::Document(IUnknown** out) const
{
    *out = nullptr;
    const HRESULT hr = mSite->GetDocument(out);
    if (FAILED(hr) || !*out)
        return FAILED(hr) ? hr : E_UNEXPECTED;
    return S_OK;
}

HRESULT ChannelCalc::Setup(IUnknown* settings)
{
    if (!settings)
        return E_POINTER;
    const auto persist = Query<IPersistStreamInit>(settings);
    if (!persist)
        return E_INVALIDARG;
    const auto* given = dynamic_cast<const ChannelCalcSettings*>(persist.Get());
    if (!given)
        return E_INVALIDARG; // not ours: nothing changes
    mSettings->mParameter = given->mParameter;
    mSettings->mSetGuideLines = given->mSetGuideLines;
    mSettings->mInterpolate = given->mInterpolate;

    // The host's 16-bit scaling of the nominal range: raw -32000 is the bottom limit.
    mSetup = CalcSetupFor(mSettings->mParameter);
    mGain = mSetup.gain;
    mOffset = static_cast<double>(mSetup.low) + 32000.0 * mSetup.gain;
    mRangeLow = mSetup.low;
    mRangeHigh = mSetup.high;

    Ref<IUnknown> document;
    if (const HRESULT hr = Document(document.Put()); FAILED(hr))
        return hr;
    const auto names = Query<IChannelNames>(document.Get());
    vx::hf::ChannelRef fiducial;
    if (!names || FAILED(names->LookUp(0, kFiducialChannel, &fiducial)) || !fiducial.Known())
        return S_FALSE; // no detector channel yet: the channel shows nothing
    Ref<IObjectFactory> factory;
    if (FAILED(mSite->GetObjectFactory(factory.Put())) || !factory)
        return E_FAIL;
    const KEL::String formula(CalcFormula(mSettings->mParameter, mSettings->mInterpolate));
    const bool made = ExtLib::CreateChannelCalculation(document.Get(), factory.Get(), ExtLib::ArithmeticCalcClassId(),
        ExtLib::FormulaSettingsClassKey(), formula, KEL::String(), { mChannel, 0 });
    return made ? S_OK : E_FAIL;
}

HRESULT ChannelCalc::Calculate(LONG record, LONG position, ULONG count, float* out, ULONG* written)
{
    if (!out || !written)
        return E_POINTER;
    *written = 0;
    if (record < 0 || position < 0 || count > ULONG(0x7FFFFFFF - position))
        return E_INVALIDARG;
    if (count == 0)
        return S_OK;

    // The beat values of the channel's formula, read from the record's start: a sample takes the
    // value of the last beat at or before it.
    Ref<IUnknown> document;
    if (const HRESULT hr = Document(document.Put()); FAILED(hr))
        return hr;
    const auto doc = Query<IRecordingDoc>(document.Get());
    Ref<IUnknown> source, stream;
    Ref<ISourceData> data;
    Ref<IEnumEventEx> events;
    if (!doc || FAILED(doc->GetSourceObject(0, record, mChannel, source.Put()))
        || !(data = Query<ISourceData>(source.Get())) || FAILED(data->GetStream(0, 0, 0x7FFFFFFF, 0, stream.Put()))
        || !(events = Query<IEnumEventEx>(stream.Get())))
        return S_FALSE; // the channel carries no beat values (yet)
    ULONG recordSize = 0;
    if (FAILED(events->GetRecordSize(&recordSize)) || recordSize != sizeof(SelectorEvent))
        return S_FALSE;

    const LONG end = position + static_cast<LONG>(count);
    std::fill(out, out + count, std::numeric_limits<float>::quiet_NaN());
    SelectorEvent buffer[64];
    std::size_t from = 0; // first sample the next value applies to
    float value = std::numeric_limits<float>::quiet_NaN();
    for (;;) {
        ULONG n = 0;
        LONG next = 0;
        const HRESULT hr = events->Next(sizeof buffer, end, buffer, &n, &next);
        if (FAILED(hr))
            return hr;
        for (ULONG i = 0; i < n; ++i) {
            const std::size_t at = buffer[i].mPosition <= position
                ? 0
                : std::min<std::size_t>(count, std::size_t(buffer[i].mPosition - position));
            std::fill(out + from, out + std::max(from, at), value);
            from = std::max(from, at);
            value = static_cast<float>(buffer[i].mValue);
        }
        if (n == 0 || next >= end)
            break;
    }
    std::fill(out + from, out + count, value);
    *written = count;
    return S_OK;
}

HRESULT ChannelCalc::GetSettings(IUnknown** settings)
{
    if (!settings)
        return E_POINTER;
    *settings = static_cast<IPersistStreamInit*>(mSettings);
    mSettings->AddRef();
    return S_OK;
}

HRESULT ChannelCalc::GetFlags(DWORD* flags)
{
    if (!flags)
        return E_POINTER;
    *flags = 0x10000000u;
    return S_OK;
}

HRESULT ChannelCalc::GetDescription(BSTR* text)
{
    if (!text)
        return E_POINTER;
    *text = SysAllocString(CalcDescription(mSettings->mParameter).c_str());
    return *text ? S_OK : E_OUTOFMEMORY;
}

CalcClass<ChannelCalc>& ChannelCalcClass()
{
    static CalcClass<ChannelCalc> object;
    return object;
}

} // namespace HRV

// --- CalcClass<HRV::ChannelCalc> ----------------------------------------------------------------

CalcClass<HRV::ChannelCalc>::SettingsClass::SettingsClass(const KEL::String& calcName)
    : CalcSettingClassBase(HRV::CalculationClassRecord(), calcName)
{
}

HRESULT CalcClass<HRV::ChannelCalc>::SettingsClass::CreateInstance(IUnknown* outer, REFIID iid, void** out)
{
    if (!out)
        return E_POINTER;
    *out = nullptr;
    if (outer)
        return CLASS_E_NOAGGREGATION;
    auto* settings = new (std::nothrow) HRV::ChannelCalcSettings;
    if (!settings)
        return E_OUTOFMEMORY;
    settings->AddRef();
    const HRESULT hr = settings->QueryInterface(iid, out);
    settings->Release();
    return hr;
}

HRESULT CalcClass<HRV::ChannelCalc>::SettingsClass::LoadObject(IStream* stream, IUnknown** out)
{
    if (!out)
        return E_POINTER;
    *out = nullptr;
    if (!stream)
        return E_POINTER;
    const HRESULT made = CreateInstance(nullptr, IPersistStreamInit::kIid, reinterpret_cast<void**>(out));
    if (FAILED(made))
        return made;
    return static_cast<IPersistStreamInit*>(*out)->Load(stream);
}

CalcClass<HRV::ChannelCalc>::CalcClass()
    : CalcClassBase(HRV::CalculationClassRecord(), HRV::TitleOr(HRV::ModuleTitle(), L"HRV"),
        HRV::TitleOr(HRV::CalculationTitle(), L"HRV Calculation"))
    , mSettingsClass(new SettingsClass(mName))
{
    mSettingsClass->AddRef();
}

CalcClass<HRV::ChannelCalc>::~CalcClass()
{
    mSettingsClass->Release();
}

HRESULT CalcClass<HRV::ChannelCalc>::Configure(void* parentWindow, IUnknown* current, IUnknown** out)
{
    if (!out)
        return E_POINTER;
    *out = nullptr;
    try {
        // The dialog edits a copy: of the given settings when they are ours, else of the defaults.
        HRV::CalculationChoice choice;
        HRV::ChannelCalcSettings* copy = new HRV::ChannelCalcSettings;
        copy->AddRef();
        const auto persist = vx::com::Query<IPersistStreamInit>(current);
        if (persist)
            if (const auto* given = dynamic_cast<const HRV::ChannelCalcSettings*>(persist.Get())) {
                copy->mParameter = given->mParameter;
                copy->mSetGuideLines = given->mSetGuideLines;
                copy->mInterpolate = given->mInterpolate;
            }
        choice.mParameter = copy->mParameter;
        choice.mSetGuideLines = copy->mSetGuideLines;
        HRV::Dialog dialog(static_cast<vx::ui::HWND>(parentWindow), 0, choice);
        if (dialog.Execute() == 2) {
            copy->Release();
            return 1; // cancelled: no settings
        }
        copy->mParameter = choice.mParameter;
        copy->mSetGuideLines = choice.mSetGuideLines;
        *out = static_cast<IPersistStreamInit*>(copy); // the caller's reference
        return S_OK;
    } catch (...) {
        return E_OUTOFMEMORY; // nothing is thrown across the interface
    }
}

HRESULT CalcClass<HRV::ChannelCalc>::CreateCalc(IUnknown*, IUnknown* site, IChannelCalc** out)
{
    if (!out)
        return E_POINTER;
    *out = nullptr;
    ICalculationSite* calcSite = nullptr;
    if (!site || FAILED(site->QueryInterface(ICalculationSite::kIid, reinterpret_cast<void**>(&calcSite))) || !calcSite)
        return E_FAIL;
    ULONG channel = 0;
    IObjectFactory* factory = nullptr;
    HRESULT hr = calcSite->GetChannel(&channel);
    if (SUCCEEDED(hr))
        hr = calcSite->GetObjectFactory(&factory);
    if (SUCCEEDED(hr) && factory) {
        try {
            *out = new HRV::ChannelCalc(calcSite, channel, factory); // born with the caller's reference
        } catch (...) {
            hr = E_OUTOFMEMORY; // nothing is thrown across the interface
        }
    } else {
        hr = E_FAIL; // a calculation needs the host's factory to make its formula
    }
    if (factory)
        factory->Release();
    calcSite->Release();
    return hr;
}
