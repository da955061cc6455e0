#include "hrv/datapad/Parameters.h"

#include <cmath>
#include <limits>

#include "com/Ref.h"
#include "hostframework/services/CafFrameWork.h"
#include "hrv/core/HRVInterfaces.h"
#include "hrv/core/Settings.h"
#include "hrv/document/Document.h"

namespace HRV {
namespace {

constexpr double kNaN = std::numeric_limits<double>::quiet_NaN();

// A quotient whose zero denominator is a missing value, not an infinity.
double Ratio(double numerator, double denominator)
{
    return denominator == 0.0 ? kNaN : numerator / denominator;
}

double N(const AnalysisEngine& e)
{
    return static_cast<double>(e.mStats.mCount);
}
double SdOf(double m2, double n)
{
    return n < 2 ? 0.0 : std::sqrt(m2 / (n - 1));
}

const wchar_t kMs[] = L"ms";
const wchar_t kMs2[] = L"ms\u00B2";
const wchar_t kDecimal[] = L"0.0###";

using K = ParameterKind;
using S = ParameterScale;

const std::array<ParameterDesc, 27> kParameters = { {
    { L"AnalysisStart", 85, L"Analysis Start", L"Time at the start of the analysis region", K::AnalysisStart, S::None,
        L"", L"General", nullptr, nullptr },
    { L"AnalysisEnd", 89, L"Analysis End", L"Time at the end of the analysis region", K::AnalysisEnd, S::None, L"",
        L"HH:mm:ss.00", nullptr, nullptr },
    { L"TotalCount", 93, L"Total Beats", L"Displays the total number of beat intervals", K::Count, S::None, L"",
        L"General", nullptr,
        [](const AnalysisEngine& e) {
            return static_cast<std::uint32_t>(e.mNormalCount) + static_cast<std::uint32_t>(e.mEctopicCount);
        } },
    { L"NormalCount", 97, L"Normal Beats", L"Displays the number of normal intervals", K::Count, S::None, L"",
        L"General", nullptr, [](const AnalysisEngine& e) { return static_cast<std::uint32_t>(e.mNormalCount); } },
    { L"EctopicCount", 101, L"Ectopic Beats", L"Displays the number of ectopic intervals", K::Count, S::None, L"",
        L"General", nullptr, [](const AnalysisEngine& e) { return static_cast<std::uint32_t>(e.mEctopicCount); } },
    { L"MeanRR", 105, L"Average RR", L"Displays the average of the beat intervals", K::Real, S::Time, kMs, kDecimal,
        [](const AnalysisEngine& e) { return N(e) == 0 ? 0.0 : e.mStats.mSumRR / N(e); }, nullptr },
    { L"MedianRR", 109, L"Median RR", L"Displays the median of the beat intervals", K::Real, S::Time, kMs, kDecimal,
        [](const AnalysisEngine& e) { return e.mStats.mMedianRR; }, nullptr },
    { L"SDRR", 113, L"SDRR", L"Displays the standard deviation of the beat intervals", K::Real, S::Time, kMs, kDecimal,
        [](const AnalysisEngine& e) { return SdOf(e.mStats.mM2RR, N(e)); }, nullptr },
    { L"CVRR", 117, L"CVRR", L"Displays the coefficient of variation of the beat intervals", K::Real, S::None, L"",
        kDecimal, [](const AnalysisEngine& e) { return e.mStats.CVRR(); }, nullptr },
    { L"MeanRate", 121, L"Average Rate", L"Displays the average rate of the beat intervals", K::Real, S::None, L"BPM",
        kDecimal, [](const AnalysisEngine& e) { return N(e) == 0 ? 0.0 : 60.0 * e.mStats.mSumRate / N(e); }, nullptr },
    { L"SDRate", 125, L"SD Rate", L"Displays the standard deviation of the beat rate", K::Real, S::None, L"BPM",
        kDecimal, [](const AnalysisEngine& e) { return 60.0 * SdOf(e.mStats.mM2Rate, N(e)); }, nullptr },
    { L"SDSD", 129, L"SDSD", L"Displays the standard deviation of the difference between successive beat intervals",
        K::Real, S::Time, kMs, kDecimal, [](const AnalysisEngine& e) { return SdOf(e.mStats.mM2DeltaRR, N(e)); },
        nullptr },
    { L"RMSSD", 133, L"RMSSD", L"Displays the RMS of the difference between successive beat intervals", K::Real,
        S::Time, kMs, kDecimal,
        [](const AnalysisEngine& e) { return N(e) == 0 ? 0.0 : std::sqrt(e.mStats.mSumSqDeltaRR / N(e)); }, nullptr },
    { L"pNNx", 137, L"pRRx", L"Displays the percentage of beat interval differences greater than a fixed duration",
        K::Real, S::None, L"%", kDecimal,
        [](const AnalysisEngine& e) {
            return N(e) == 0 ? 0.0 : 100.0 * static_cast<double>(e.mStats.mCountOverThreshold) / N(e);
        },
        nullptr },
    { L"SD1", 145, L"SD1", L"Displays standard deviation along the minor axis of the Poincar\u00E9 distribution",
        K::Real, S::Time, kMs, kDecimal, [](const AnalysisEngine& e) { return e.mStats.SD1(); }, nullptr },
    { L"SD2", 149, L"SD2", L"Displays standard deviation along the major axis of the Poincar\u00E9 distribution",
        K::Real, S::Time, kMs, kDecimal, [](const AnalysisEngine& e) { return e.mStats.SD2(); }, nullptr },
    { L"SDARR", 141, L"SDARR", L"Displays the standard deviation of groups of averaged beat intervals", K::Real,
        S::Time, kMs, kDecimal,
        [](const AnalysisEngine& e) {
            return SdOf(e.mSegments.mM2OfMeans, static_cast<double>(e.mSegments.mNumSegments));
        },
        nullptr },
    { L"TotalPower", 153, L"Total Power", L"Displays the power contained within the entire frequency range", K::Real,
        S::Power, kMs2, kDecimal, [](const AnalysisEngine& e) { return e.mSpectrum.mTotalPower; }, nullptr },
    { L"VLFPower", 157, L"VLF Power", L"Displays the power contained within the very low frequency range", K::Real,
        S::Power, kMs2, kDecimal, [](const AnalysisEngine& e) { return e.mSpectrum.mVLFPower; }, nullptr },
    { L"VLFPowerPercent", 161, L"VLF Power (%)",
        L"Displays the percentage of power contained within the very low frequency range", K::Real, S::None, L"",
        kDecimal, [](const AnalysisEngine& e) { return 100.0 * Ratio(e.mSpectrum.mVLFPower, e.mSpectrum.mTotalPower); },
        nullptr },
    { L"LFPower", 165, L"LF Power", L"Displays the power contained within the low frequency range", K::Real, S::Power,
        kMs2, kDecimal, [](const AnalysisEngine& e) { return e.mSpectrum.mLFPower; }, nullptr },
    { L"LFPowerPercent", 169, L"LF Power (%)",
        L"Displays the percentage of power contained within the low frequency range", K::Real, S::None, L"", kDecimal,
        [](const AnalysisEngine& e) { return 100.0 * Ratio(e.mSpectrum.mLFPower, e.mSpectrum.mTotalPower); }, nullptr },
    { L"LFPowerNU", 173, L"LF Power (nu)", L"Displays the normalized power contained within the low frequency range",
        K::Real, S::None, L"", kDecimal,
        [](const AnalysisEngine& e) {
            return 100.0 * Ratio(e.mSpectrum.mLFPower, e.mSpectrum.mTotalPower - e.mSpectrum.mVLFPower);
        },
        nullptr },
    { L"HFPower", 177, L"HF Power", L"Displays the power contained within the high frequency range", K::Real, S::Power,
        kMs2, kDecimal, [](const AnalysisEngine& e) { return e.mSpectrum.mHFPower; }, nullptr },
    { L"HFPowerPercent", 181, L"HF Power (%)",
        L"Displays the percentage of power contained within the high frequency range", K::Real, S::None, L"", kDecimal,
        [](const AnalysisEngine& e) { return 100.0 * Ratio(e.mSpectrum.mHFPower, e.mSpectrum.mTotalPower); }, nullptr },
    { L"HFPowerNU", 185, L"HF Power (nu)", L"Displays the normalized power contained within the high frequency range",
        K::Real, S::None, L"", kDecimal,
        [](const AnalysisEngine& e) {
            return 100.0 * Ratio(e.mSpectrum.mHFPower, e.mSpectrum.mTotalPower - e.mSpectrum.mVLFPower);
        },
        nullptr },
    { L"LFHFRatio", 189, L"LF/HF", L"Displays the ratio of low frequency power to high frequency power", K::Real,
        S::None, L"", kDecimal,
        [](const AnalysisEngine& e) { return Ratio(e.mSpectrum.mLFPower, e.mSpectrum.mHFPower); }, nullptr },
} };

using vx::com::Query;

HRESULT HandOut(const wchar_t* text, IKELString** out)
{
    if (!out)
        return E_POINTER;
    if (!text || !*text)
        return E_FAIL;
    try {
        *out = KEL::String(text).CopyRep();
    } catch (...) {
        return E_OUTOFMEMORY;
    }
    return S_OK;
}

// One memo for every data-pad parameter: the parameters of one range analyse the same beats and
// share one computation of the statistics and the spectrum.
const std::shared_ptr<AnalysisMemo>& SharedMemo()
{
    static const auto memo = std::make_shared<AnalysisMemo>();
    return memo;
}

} // namespace

const std::array<ParameterDesc, 27>& ParameterTable()
{
    return kParameters;
}

const ParameterDesc* FindParameter(std::wstring_view id)
{
    for (const ParameterDesc& d : kParameters)
        if (id == d.id)
            return &d;
    return nullptr;
}

DWORD DocumentClassKey()
{
    static const DWORD key = DWORD(HostTypeIndex(GUID_HRVDocumentObj)) << 16;
    return key;
}

Document* FindDocument(IUnknown* hostDocument)
{
    IDataPadSource* source = Query<IDataPadSource>(hostDocument).Detach();
    if (!source)
        return nullptr;
    IUnknown* child = nullptr;
    const HRESULT hr = source->GetChildDocument(DocumentClassKey(), &child);
    source->Release();
    if (FAILED(hr) || !child)
        return nullptr;
    Document* document = nullptr;
    if (auto* own = Query<IHRVDocument>(child).Detach()) {
        document = dynamic_cast<Document*>(own);
        own->Release();
    }
    child->Release();
    return document;
}

HRVDPFuncBase::HRVDPFuncBase(IDataPadFuncClass* classObject, const ParameterDesc& desc, IUnknown* source, LONG channel)
    : ChanDataFuncIfRecordDataMatchesDoc(classObject, source, channel)
    , mDesc(desc)
{
    if (IDataPadSource* s = Query<IDataPadSource>(source).Detach()) {
        const vx::hf::SourceDescriptor own { vx::hf::kNoSourceCode, 0, 0 };
        IUnknown* access = nullptr;
        if (SUCCEEDED(s->GetDataAccess(&own, &access)) && access) {
            void* out = nullptr;
            if (SUCCEEDED(access->QueryInterface(IDataAccess::kIid, &out)))
                mDocumentDataAccess = static_cast<IDataAccess*>(out);
            access->Release();
        }
        s->Release();
    }
    mDocument = FindDocument(source);
    if (mDocument)
        mDocument->AddRef();
    mEngine.mMemo = SharedMemo();
}

HRVDPFuncBase::~HRVDPFuncBase()
{
    ReleaseSources();
    if (mDocument)
        mDocument->Release();
    if (mDocumentDataAccess)
        mDocumentDataAccess->Release();
}

HRESULT HRVDPFuncBase::QueryInterface(REFIID iid, void** out)
{
    if (out && iid == IDataFunctionTexts::kIid) {
        *out = static_cast<IDataFunctionTexts*>(this);
        AddRef();
        return S_OK;
    }
    return ChanDataFuncIfRecordDataMatchesDoc::QueryInterface(iid, out);
}

HRESULT HRVDPFuncBase::ReleaseSources()
{
    if (mSource) {
        mSource->Release();
        mSource = nullptr;
    }
    if (mDataAccess) {
        mDataAccess->Release();
        mDataAccess = nullptr;
    }
    mEngine.Reset();
    mValid = false;
    return S_OK;
}

bool HRVDPFuncBase::AnalyseRegion()
{
    IRecordData* data = Query<IRecordData>(mDataAccess).Detach();
    if (!data)
        return false;
    RecordPosition start { vx::hf::TickRecord(mRangeStart), vx::hf::TickOffset(mRangeStart) };
    RecordPosition end { vx::hf::TickRecord(mRangeEnd), vx::hf::TickOffset(mRangeEnd) };
    // An empty range covers one sample.
    if (start.mRecord == end.mRecord && start.mOffset == end.mOffset)
        ++end.mOffset;
    Settings* clone = nullptr;
    if (FAILED(mDocument->GetSettings().Clone(&clone)) || !clone) {
        data->Release();
        return false;
    }
    const auto copy = vx::com::Ref<Settings>::Adopt(clone);
    copy.Get()->mUseSelection = true;
    copy.Get()->mRangeStart = { start.mOffset, start.mRecord };
    copy.Get()->mRangeEnd = { end.mOffset, end.mRecord };
    const std::size_t used = mEngine.Analyse(0xFFFFFFFFu, data->AnalysisHost(),
        mDocument->Detector().GetFiducialChannel(), start, end, AnalysisParametersFrom(*copy.Get()));
    data->Release();
    return used != 0;
}

HRESULT HRVDPFuncBase::CalculateValue(VARIANT* result)
{
    // A host document without an HRV document has nothing to analyse.
    if (!mDocument)
        return E_FAIL;
    if (mChangeFlags & (kChannelsOrRangeChanged | kDataAccessChanged))
        mValid = AnalyseRegion();
    if (!mValid)
        return E_FAIL;
    VARIANT value;
    VariantInit(&value);
    HRESULT hr = S_OK;
    if (mDesc.kind == ParameterKind::AnalysisStart || mDesc.kind == ParameterKind::AnalysisEnd)
        hr = GetTime(mDesc.kind == ParameterKind::AnalysisEnd, &value);
    else
        ValueOf(mDesc, mEngine, &value);
    if (SUCCEEDED(hr)) {
        const HRESULT copied = VariantCopy(result, &value);
        if (FAILED(copied)) {
            result->vt = VT_ERROR;
            result->scode = copied;
            hr = copied;
        }
    }
    VariantClear(&value);
    return hr;
}

void HRVDPFuncBase::ValueOf(const ParameterDesc& desc, const AnalysisEngine& engine, VARIANT* out)
{
    VariantInit(out);
    if (desc.kind == ParameterKind::Count) {
        out->vt = VT_I4;
        out->lVal = static_cast<LONG>(desc.count(engine));
    } else if (desc.kind == ParameterKind::Real) {
        double v = desc.real(engine);
        if (desc.scale == ParameterScale::Time)
            v *= 1000.0;
        else if (desc.scale == ParameterScale::Power)
            v *= 1000.0 * 1000.0;
        out->vt = VT_R8;
        out->dblVal = v;
    }
}

HRESULT HRVDPFuncBase::GetTime(bool end, VARIANT* out)
{
    IDataPadSource* source = Query<IDataPadSource>(mSource).Detach();
    if (!source)
        return E_FAIL;
    const HRV::Position p = end ? mDocument->GetSettings().mRangeEnd : mDocument->GetSettings().mRangeStart;
    std::int64_t position = vx::hf::MakeTickPosition(p.mRecord, p.mOffset);
    if (end && p.mOffset == 0x7FFFFFFF) {
        if (IRecordData* data = Query<IRecordData>(mDataAccess).Detach()) {
            data->ResolvePosition(&position, 0xC0000000u);
            data->Release();
        }
    }
    const HRESULT hr = source->PositionToTime(nullptr, &mRangeSource, position, 0x48000000u, 0, out);
    source->Release();
    return hr;
}

HRESULT HRVDPFuncBase::GetUnitText(IKELString** out)
{
    return HandOut(mDesc.unit, out);
}
HRESULT HRVDPFuncBase::GetFormatText(IKELString** out)
{
    return HandOut(mDesc.format, out);
}

} // namespace HRV
