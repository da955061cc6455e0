#include "hrv/module/ChannelCalc.h"

#include <algorithm>
#include <cmath>
#include <limits>

#include "foundation/XKEL.h"
#include "foundation/stream/StorageBinStream.h"
#include "hostframework/services/CafFrameWork.h"

namespace HRV {

DWORD CalculationClassId()
{
    static const DWORD id = DWORD(HostTypeIndex(GUID_HRVCalculationType)) << 16;
    return id;
}

DWORD CalculationSettingsClassId()
{
    static const DWORD id = (DWORD(HostTypeIndex(GUID_HRVCalculationType)) << 16) | 1;
    return id;
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
    return L"HRVSelector(HRV_vFID," + std::to_wstring(measure) + L"," + (interpolate ? L"true" : L"false") + L")";
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

} // namespace HRV
