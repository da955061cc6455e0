#pragma once
// The HRV channel calculation's own part: the measure a channel shows (beat period, change in
// beat period, beat rate or beat complexity) with its persisted settings, the class ids of the
// calculation and of its settings, and what a measure gives the channel: its description, unit,
// nominal range and the formula over the detector's fiducial channel.
#include <cstdint>
#include <string>

#include "com/Persist.h"
#include "com/Storage.h"
#include "foundation/base/SimpleUnknownImp.h"
#include "hostframework/calcglue/CalcClass.h"
#include "hostframework/calcglue/EnumGetter.h"
#include "hrv/core/HRVInterfaces.h"
#include "hrv/core/ModuleObjects.h"

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
// "HRVSelector(HRV_vFID,<measure>,<0|1>)" in the classic locale: the formula language has numbers,
// not words, so the interpolation flag is written as a stream writes a bool, 0 or 1.
std::wstring CalcFormula(std::uint32_t measure, bool interpolate);

// The settings persisted with a channel that carries the calculation.
class ChannelCalcSettings final : public SimpleUnknownImp2<IPersistStreamInit, IChannelCalcChoice, 0> {
public:
    HRESULT GetChoice(CalculationChoice* choice) override
    {
        if (!choice)
            return E_POINTER;
        choice->mParameter = static_cast<std::int32_t>(mParameter);
        choice->mSetGuideLines = mSetGuideLines;
        return S_OK;
    }

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

// The largest measure the selector knows (0 to 5); the settings of a larger one are refused.
inline constexpr std::uint32_t kLastMeasure = 5;

// The channel calculation "HRV Calculation": its channel shows one measure of every beat, as a
// host formula channel over the detector's fiducial channel. Its samples hold each beat's value
// from the beat on, until the next beat; before the first beat they are NaN.
class ChannelCalc final : public ChannelCalcBase {
public:
    // The site (held) gives the document; `factory` makes the formula calculation.
    ChannelCalc(ICalculationSite* site, ULONG channel, IObjectFactory* factory);

    // Samples [position, position + count) of a record of the calculation's channel. S_FALSE with
    // nothing written when the channel has no beat measure yet (no fiducial channel).
    HRESULT Calculate(LONG record, LONG position, ULONG count, float* out, ULONG* written) override;
    // Takes the measure and flags of the given settings and makes the channel the formula
    // "HRVSelector(...)" over "HRV_vFID"; S_FALSE when the document has no fiducial channel.
    // Settings of another kind, or of an unknown measure, are refused with E_INVALIDARG and
    // change nothing.
    HRESULT Setup(IUnknown* settings) override;
    HRESULT Reserved5() override { return E_NOTIMPL; }
    HRESULT GetSettings(IUnknown** settings) override;
    HRESULT GetFlags(DWORD* flags) override;
    HRESULT GetDescription(BSTR* text) override;

private:
    ~ChannelCalc() override;
    HRESULT Document(IUnknown** out) const;

    ChannelCalcSettings* mSettings; // held
    ICalculationSite* mSite = nullptr; // held
    CalcChannelSetup mSetup; // unit and nominal range of the measure, for the host's scaling
};

// The calculation's record: its class ids are T << 16 and T << 16 | 1, T the host type index of
// GUID_HRVCalculationType.
CalcClassRecord& CalculationClassRecord();

} // namespace HRV

template <class T> class CalcClass;

// The class object of the HRV channel calculation, and of its settings. The calculation class is
// a static object; it holds its settings class, which the host counts like any other object.
template <> class CalcClass<HRV::ChannelCalc> final : public CalcClassBase, public HRV::LinkedClassObject {
public:
    class SettingsClass final : public CalcSettingClassBase, public HRV::LinkedClassObject {
    public:
        explicit SettingsClass(const KEL::String& calcName);
        // New settings with their defaults, asked for `iid`; settings are never part of another
        // object (CLASS_E_NOAGGREGATION for an outer object).
        HRESULT CreateInstance(IUnknown* outer, REFIID iid, void** out) override;
        // New settings loaded from the stream; a version above 1 is refused with 0xA0048205 and
        // the new (default) settings still handed out.
        HRESULT LoadObject(IStream* stream, IUnknown** out) override;
        IUnknown* ClassObjectInterface() override { return static_cast<IPersistClassObject*>(this); }
    };

    CalcClass();
    ~CalcClass() override;

    // There is no window system here to open the "HRV Calculations" dialog on: E_NOTIMPL.
    HRESULT Configure(void* parentWindow, IUnknown* current, IUnknown** out) override;
    // E_FAIL without a site (or a site that is not an ICalculationSite).
    HRESULT CreateCalc(IUnknown* reserved, IUnknown* site, IChannelCalc** out) override;
    IUnknown* ClassObjectInterface() override { return static_cast<ICalculationClass*>(this); }

    SettingsClass& Settings() { return *mSettingsClass; }

private:
    SettingsClass* mSettingsClass; // held
};

namespace HRV {
// The module's calculation class object (built on first use, kept until the library unloads).
CalcClass<ChannelCalc>& ChannelCalcClass();
} // namespace HRV
