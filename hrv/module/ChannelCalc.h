#pragma once
// The HRV channel calculation's own part: the measure a channel shows (beat period, change in
// beat period, beat rate or beat complexity) with its persisted settings, the class ids of the
// calculation and of its settings, and what a measure gives the channel: its description, unit,
// nominal range and the formula over the detector's fiducial channel.
#include <cstdint>
#include <string>

#include "com/Persist.h"
#include "com/Storage.h"
#include "hostframework/base/SimpleUnknownImp.h"

namespace HRV {

inline constexpr GUID GUID_HRVCalculationType = vx::com::MakeGuid("{1B4573BB-889E-4782-BCA3-9BA29C75270E}");

// The class ids, kept here only: the calculation T << 16, its settings T << 16 | 1, T being the
// host type index of GUID_HRVCalculationType. Each is computed once.
DWORD CalculationClassId();
DWORD CalculationSettingsClassId();

// The measures with a name.
enum CalcMeasure : std::uint32_t {
    kMeasureBeatPeriod = 0,
    kMeasureDeltaBeatPeriod = 1,
    kMeasureBeatRate = 2,
    kMeasureBeatComplexity = 5,
};

struct CalcChannelSetup {
    std::wstring unit; // "s", "BPM" or none
    float low, high; // nominal display range
    double gain; // span / 64000 of the host's 16-bit scaling; raw -32000 is `low`
};

// "HRV Calculation : <measure name>" (nothing after the colon for a measure without a name).
std::wstring CalcDescription(std::uint32_t measure);
CalcChannelSetup CalcSetupFor(std::uint32_t measure);
// "HRVSelector(HRV_vFID,<measure>,<true|false>)" in the classic locale.
std::wstring CalcFormula(std::uint32_t measure, bool interpolate);

// The settings persisted with a channel that carries the calculation.
class ChannelCalcSettings final : public SimpleUnknownImp1<IPersistStreamInit, 0> {
public:
    // Layout: u32 version 1, u32 measure, u16 set-guide-lines, u16 interpolate (non-zero: true).
    static constexpr std::uint32_t kVersion = 1;

    HRESULT GetClassID(CLSID* clsid) override;
    HRESULT IsDirty() override { return mDirty ? S_OK : S_FALSE; }
    // A version above 1 is refused with 0xA0048205 and changes nothing.
    HRESULT Load(IStream* stream) override;
    HRESULT Save(IStream* stream, BOOL clearDirty) override;
    HRESULT GetSizeMax(ULARGE_INTEGER* size) override;
    HRESULT InitNew() override;

    std::uint32_t mParameter = kMeasureBeatPeriod;
    bool mSetGuideLines = true;
    bool mInterpolate = false;

private:
    bool mDirty = false;
};

} // namespace HRV
